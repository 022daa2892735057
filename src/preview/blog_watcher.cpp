#include "preview/blog_watcher.h"

#include <sys/stat.h>

#include <utility>

namespace tessavo {

BlogWatcher::BlogWatcher(std::filesystem::path file, Clock::duration quiet)
    : file_(std::move(file)), quiet_(quiet) {
  Rebase();
}

std::vector<BlogWatcher::Stamp> BlogWatcher::Look() const {
  std::vector<Stamp> stamps;
  for (const char* side : {"", "-wal"}) {
    Stamp stamp;
    struct stat st {};
    const std::string path = file_.string() + side;
    if (::stat(path.c_str(), &st) == 0) {
      stamp.exists = true;
      stamp.size = static_cast<std::uintmax_t>(st.st_size);
      stamp.mtime_ns =
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    }
    stamps.push_back(stamp);
  }
  return stamps;
}

void BlogWatcher::Rebase() {
  base_ = Look();
  last_ = base_;
  pending_ = false;
}

bool BlogWatcher::Due(Clock::time_point now) {
  std::vector<Stamp> seen = Look();
  if (seen != last_) {
    last_ = std::move(seen);
    last_change_ = now;
    pending_ = last_ != base_;
    return false;
  }
  return pending_ && now - last_change_ >= quiet_;
}

}  // namespace tessavo
