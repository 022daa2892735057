// The effects of a generation run made on one thread and carried out on another, in the
// order they were made.
//
// A run's page plan (which pages there are, their texts, their CRCs) and its effects (log
// lines, files written, page records) can go on side by side: while the thread that
// called the run writes one page's file, the plan already reads and makes the next pages.
// The plan hands each effect over with Push; the calling thread carries them out with
// Consume strictly in that order, so the log, the files and the records are exactly those
// of a run on one thread, and only that thread ever touches the output folder, the page
// records or the host.
//
// The plan hands effects over in batches, so that neither thread waits on the other for
// every line logged. The queue holds at most `capacity` effects: a plan that runs ahead
// waits, so that the memory held is a few pages' texts, whatever the size of the blog.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

namespace tessavo {

class EffectQueue {
 public:
  // Thrown by Push once the effects have stopped (an effect failed): the plan is to end
  // without doing more. Not an std::exception, so that no handler of ordinary errors in
  // the plan takes it for one.
  struct Stopped {};

  // `batch`: the effects the plan gathers before handing them over.
  EffectQueue(size_t capacity, size_t batch);
  EffectQueue(const EffectQueue&) = delete;
  EffectQueue& operator=(const EffectQueue&) = delete;

  // The plan's side (one thread). Queues one effect, waiting while `capacity` effects
  // wait; throws Stopped when the effects have stopped.
  void Push(std::function<void()> effect);
  // No more effects. A non-null `error` is the plan's failure: Consume rethrows it after
  // every effect queued before it has been carried out, as a run on one thread would.
  void Finish(std::exception_ptr error);
  // The whole of the plan's side: runs `plan` (on the calling thread, the plan's own) and
  // then Finish with what it threw; Stopped ends it quietly (the failed effect's error is
  // the one Consume throws).
  void Plan(const std::function<void()>& plan);

  // The calling thread's side. Carries out the effects in order until Finish, then
  // rethrows the plan's failure if there was one. An effect that throws stops the queue
  // (the plan's next Push throws Stopped) and its exception propagates; the effects after
  // it are dropped.
  void Consume();
  // Stops the queue without carrying out what waits (for unwinding).
  void Stop();

 private:
  using Batch = std::vector<std::function<void()>>;
  // Hands the gathered batch over, waiting for room.
  void Hand();

  std::mutex mutex_;
  std::condition_variable ready_;  // a batch queued, or the plan finished
  std::condition_variable room_;   // room in the queue, or stopped
  std::deque<Batch> batches_;
  // Batches carried out, given back so that what the plan allocated is freed on its own
  // thread: memory freed on another thread than the one that took it costs both threads.
  std::vector<Batch> spent_;
  size_t capacity_;  // in batches
  size_t batch_size_;
  Batch gathering_;  // the plan's own, not yet handed over
  bool finished_ = false;
  bool stopped_ = false;
  std::exception_ptr error_;
};

}  // namespace tessavo
