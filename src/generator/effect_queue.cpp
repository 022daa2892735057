#include "generator/effect_queue.h"

#include <algorithm>
#include <utility>

namespace tessavo {

EffectQueue::EffectQueue(size_t capacity, size_t batch)
    : capacity_(std::max<size_t>(1, capacity / std::max<size_t>(1, batch))),
      batch_size_(std::max<size_t>(1, batch)) {
  gathering_.reserve(batch_size_);
}

void EffectQueue::Push(std::function<void()> effect) {
  gathering_.push_back(std::move(effect));
  if (gathering_.size() >= batch_size_) Hand();
}

void EffectQueue::Hand() {
  std::vector<Batch> spent;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return stopped_ || batches_.size() < capacity_; });
    if (stopped_) {
      gathering_.clear();
      throw Stopped{};
    }
    spent.swap(spent_);
    if (!gathering_.empty()) {
      batches_.push_back(std::move(gathering_));
      // The other thread waits only while the queue is empty.
      if (batches_.size() == 1) ready_.notify_one();
    }
  }
  gathering_.clear();
  // A spent batch's storage serves as the next one.
  if (!spent.empty()) {
    gathering_.swap(spent.back());
    gathering_.clear();
  }
  gathering_.reserve(batch_size_);
}

void EffectQueue::Finish(std::exception_ptr error) {
  try {
    Hand();
  } catch (const Stopped&) {
    // Nobody carries out effects any more.
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    error_ = std::move(error);
  }
  ready_.notify_one();
}

void EffectQueue::Plan(const std::function<void()>& plan) {
  std::exception_ptr error;
  try {
    plan();
  } catch (const Stopped&) {
  } catch (...) {
    error = std::current_exception();
  }
  Finish(error);
}

void EffectQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    batches_.clear();
  }
  room_.notify_all();
}

void EffectQueue::Consume() {
  std::deque<Batch> taken;
  while (true) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return finished_ || !batches_.empty(); });
      if (batches_.empty()) {
        if (error_) std::rethrow_exception(error_);
        return;
      }
      // Everything that waits, taken at once: the plan refills the queue meanwhile.
      taken.swap(batches_);
    }
    room_.notify_one();
    try {
      for (Batch& batch : taken) {
        for (std::function<void()>& effect : batch) effect();
      }
    } catch (...) {
      Stop();
      throw;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (Batch& batch : taken) spent_.push_back(std::move(batch));
    taken.clear();
  }
}

}  // namespace tessavo
