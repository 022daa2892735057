#include "generator/effect_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessavo {
namespace {

// The plan's side on a thread of its own.
std::thread StartPlan(EffectQueue& queue, std::function<void()> plan) {
  return std::thread([&queue, plan = std::move(plan)] { queue.Plan(plan); });
}

TEST(EffectQueueTest, EffectsRunInOrderOnTheConsumingThreadWithFewWaiting) {
  EffectQueue queue(8, 2);
  std::vector<int> done;
  std::atomic<int> pushed{0};
  int most_waiting = 0;
  const std::thread::id consumer = std::this_thread::get_id();
  bool all_here = true;
  std::thread plan = StartPlan(queue, [&] {
    for (int i = 0; i < 20000; ++i) {
      queue.Push([&, i] {
        done.push_back(i);
        all_here = all_here && std::this_thread::get_id() == consumer;
        // What the plan made beyond the effects carried out: the queue, the batches taken
        // and the one being gathered.
        most_waiting = std::max(most_waiting, pushed.load() - static_cast<int>(done.size()));
      });
      ++pushed;
    }
  });
  queue.Consume();
  plan.join();
  ASSERT_EQ(done.size(), 20000u);
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(done[static_cast<size_t>(i)], i);
  EXPECT_TRUE(all_here);
  EXPECT_LE(most_waiting, 2 * 8 + 2);
}

TEST(EffectQueueTest, APlanErrorComesAfterEveryEffectMadeBeforeIt) {
  EffectQueue queue(4, 2);
  std::vector<int> done;
  std::thread plan = StartPlan(queue, [&] {
    for (int i = 0; i < 100; ++i) queue.Push([&, i] { done.push_back(i); });
    throw std::runtime_error("damaged text");
  });
  try {
    queue.Consume();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "damaged text");
    EXPECT_EQ(done.size(), 100u);
  }
  plan.join();
}

TEST(EffectQueueTest, AFailedEffectStopsThePlanAndDropsTheRest) {
  EffectQueue queue(4, 2);
  std::vector<int> done;
  std::atomic<bool> plan_stopped{false};
  std::atomic<int> pushed{0};
  std::thread plan([&] {
    try {
      for (int i = 0; i < 1000000; ++i) {
        queue.Push([&, i] {
          if (i == 50) throw std::runtime_error("disk full");
          done.push_back(i);
        });
        ++pushed;
      }
    } catch (const EffectQueue::Stopped&) {
      plan_stopped = true;
    }
    queue.Finish(nullptr);
  });
  EXPECT_THROW(queue.Consume(), std::runtime_error);
  plan.join();
  EXPECT_TRUE(plan_stopped);
  EXPECT_LT(pushed.load(), 1000000);
  ASSERT_EQ(done.size(), 50u);
  EXPECT_EQ(done.back(), 49);
}

TEST(EffectQueueTest, StopReleasesAPlanWaitingForRoom) {
  EffectQueue queue(1, 1);
  std::atomic<bool> stopped{false};
  std::thread plan([&] {
    try {
      for (;;) queue.Push([] {});
    } catch (const EffectQueue::Stopped&) {
      stopped = true;
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  queue.Stop();
  plan.join();
  EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace tessavo
