#include "publish/parallel_walk.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "store/blog.h"

namespace tessavo::publish_detail {
namespace {

struct Job {
  PageRecord rec;
  bool remove = false;
  std::string local;
};

struct Outcome {
  Job job;
  bool ok = false;
  bool usable = true;
  std::vector<LogLine> lines;    // the conversation of the transfer
  std::vector<LogLine> failure;  // the failure report
};

// Jobs out to the connections, outcomes back to the calling thread.
class Exchange {
 public:
  void Give(Job job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    job_ready_.notify_one();
  }
  // The next job, or false once the exchange is closed and no job is left.
  bool Take(Job& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    job_ready_.wait(lock, [this] { return !jobs_.empty() || closed_; });
    if (jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
    return true;
  }
  void Report(Outcome outcome) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_.push_back(std::move(outcome));
    }
    outcome_ready_.notify_one();
  }
  // Waits up to `wait` for an outcome.
  bool Collect(Outcome& outcome, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!outcome_ready_.wait_for(lock, wait, [this] { return !done_.empty(); })) return false;
    outcome = std::move(done_.front());
    done_.pop_front();
    return true;
  }
  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    job_ready_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable job_ready_;
  std::condition_variable outcome_ready_;
  std::deque<Job> jobs_;
  std::deque<Outcome> done_;
  bool closed_ = false;
};

// A connection's thread: takes jobs until the exchange closes or the connection is lost.
void Work(TransferConnection& conn, Exchange& exchange) {
  Job job;
  while (exchange.Take(job)) {
    Outcome out;
    out.ok = job.remove ? conn.Remove(job.rec.key) : conn.Send(job.local, job.rec.key);
    out.lines = conn.TakeLines();
    if (!out.ok) {
      out.failure = conn.FailureReport();
      out.usable = conn.Usable();
    }
    out.job = std::move(job);
    const bool go_on = out.usable;
    exchange.Report(std::move(out));
    if (!go_on) return;
  }
}

void WriteLines(Host& host, const std::vector<LogLine>& lines) {
  for (const LogLine& line : lines) {
    if (line.color == LogColor::kBlack) {
      host.PublishLogLine(line.text);
    } else {
      host.PublishLogLineColored(line.color, line.text);
    }
  }
}

// The calling thread's side: hands out work while connections are idle and books what
// comes back.
class Dispatcher {
 public:
  Dispatcher(Blog& blog, Host& host, PageWalk& walk, size_t connections)
      : blog_(blog), host_(host), walk_(walk), live_(connections) {}

  Exchange& exchange() { return exchange_; }

  // Waits until a connection is free (or none is left); false when none is left.
  bool WaitForIdleConnection() {
    while (in_flight_ >= live_ && live_ > 0) BookNext();
    return live_ > 0;
  }

  void Hand(Job job) {
    host_.PublishLogLine((job.remove ? "...Deleting " : "...Uploading ") + job.rec.key);
    ++walk_.processed;
    ++in_flight_;
    exchange_.Give(std::move(job));
  }

  void Finish() {
    while (in_flight_ > 0) BookNext();
    exchange_.Close();
  }

 private:
  void BookNext() {
    Outcome out;
    // The host's window stays live while the connections work.
    while (!exchange_.Collect(out, std::chrono::milliseconds(50))) host_.ProcessEvents();
    --in_flight_;
    Book(out);
  }

  void Book(const Outcome& out) {
    WriteLines(host_, out.lines);
    const PageRecord& rec = out.job.rec;
    if (out.ok) {
      if (out.job.remove) {
        blog_.DeletePage(rec.key);
      } else {
        MarkPublished(blog_, rec);
      }
    } else if (out.job.remove && rec.existing == 0) {
      // Never published: nothing can be missed on the server.
      blog_.DeletePage(rec.key);
    } else {
      host_.PublishLogLine("..." + rec.key +
                           (out.job.remove ? " not deleted." : " upload failed."));
      WriteLines(host_, out.failure);
      ++walk_.errors;
    }
    if (!out.usable) {
      --live_;
      if (live_ == 0) {
        host_.PublishLogLineColored(LogColor::kRed,
                                    "*** Every connection to the server was lost; the "
                                    "remaining files are left for the next run.");
      }
    }
  }

  Blog& blog_;
  Host& host_;
  PageWalk& walk_;
  Exchange exchange_;
  size_t live_;
  size_t in_flight_ = 0;
};

}  // namespace

void WalkPagesInParallel(Blog& blog, Host& host, PageWalk& walk,
                         const std::filesystem::path& output,
                         std::vector<std::unique_ptr<TransferConnection>>& connections) {
  Dispatcher dispatcher(blog, host, walk, connections.size());
  std::vector<std::thread> threads;
  for (auto& conn : connections) {
    threads.emplace_back([&conn, &dispatcher] { Work(*conn, dispatcher.exchange()); });
  }
  try {
    for (const PageRecord& rec : blog.Pages()) {
      if (rec.generated != 0 && rec.existing == rec.generated) continue;
      if (!UnusableKeyReason(rec.key).empty()) {
        if (RefuseUnsafeKey(blog, host, rec)) ++walk.errors;
        continue;
      }
      if (walk.processed >= walk.limit || !dispatcher.WaitForIdleConnection()) {
        ++walk.skipped;
        continue;
      }
      dispatcher.Hand(Job{rec, rec.generated == 0, (output / rec.key).string()});
    }
    dispatcher.Finish();
  } catch (...) {
    // A store error ends the run; the connections finish what they hold first.
    dispatcher.exchange().Close();
    for (auto& t : threads) t.join();
    throw;
  }
  for (auto& t : threads) t.join();
}

}  // namespace tessavo::publish_detail
