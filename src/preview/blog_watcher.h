// BlogWatcher: notices that a blog file has been changed by some program, so that the live
// preview can generate the site again.
//
// It polls the file and its write-ahead log (the "-wal" beside it) for their size,
// modification time and identity: portable, cheap at a few polls a second, and blind to
// nothing a writer does. A change is reported once the files have stayed quiet for a
// while, so that a burst of writes (an import, a program saving entry after entry) leads
// to one generation, not many.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace tessavo {

class BlogWatcher {
 public:
  using Clock = std::chrono::steady_clock;

  // Watches `file` and `file`-wal; a change is due after `quiet` without further change.
  explicit BlogWatcher(std::filesystem::path file,
                       Clock::duration quiet = std::chrono::milliseconds(400));

  // Takes the files as they are now as the state the site was generated from (call it
  // after a generation, whose own writes to the blog are no change to react to).
  void Rebase();

  // Looks at the files at `now`. True when they differ from the state of the last Rebase
  // and have not changed for the quiet time; it stays true until the next Rebase.
  bool Due(Clock::time_point now);

  // True while a change has been seen and not yet taken up by a Rebase.
  bool pending() const { return pending_; }

 private:
  struct Stamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::int64_t mtime_ns = 0;
    std::uint64_t inode = 0;
    bool operator==(const Stamp&) const = default;
  };
  std::vector<Stamp> Look() const;

  std::filesystem::path file_;
  Clock::duration quiet_;
  std::vector<Stamp> base_;
  std::vector<Stamp> last_;
  Clock::time_point last_change_{};
  bool pending_ = false;
};

}  // namespace tessavo
