#include "store/blog_lock.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>

#include "util/error.h"

namespace tessavo {
namespace fs = std::filesystem;

namespace {

using FileId = std::pair<dev_t, ino_t>;

// The files this process holds a BlogLock on, with the lock's descriptor.
//
// A child made by fork() (without exec) shares the parent's descriptors, and so would keep
// the lock alive after the parent lets go of it, and would take itself for the holder. It
// closes its copies at once instead: the parent goes on holding the lock alone. (Closing
// them drops no record lock of the child's: fork() passes none on.)
class HeldFiles {
 public:
  static HeldFiles& Get() {
    static HeldFiles* held = [] {
      auto* h = new HeldFiles;
      ::pthread_atfork([] { Get().mutex_.lock(); }, [] { Get().mutex_.unlock(); },
                       [] { Get().ForgetInChild(); });
      return h;
    }();
    return *held;
  }

  bool Holds(FileId id) {
    std::lock_guard<std::mutex> guard(mutex_);
    return fds_.count(id) > 0;
  }
  void Add(FileId id, int fd) {
    std::lock_guard<std::mutex> guard(mutex_);
    fds_[id] = fd;
  }
  // True when `fd` was the lock's descriptor here (not in a child that closed it).
  bool Remove(FileId id, int fd) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = fds_.find(id);
    if (it == fds_.end() || it->second != fd) return false;
    fds_.erase(it);
    return true;
  }

 private:
  void ForgetInChild() {
    for (const auto& [id, fd] : fds_) ::close(fd);
    fds_.clear();
    mutex_.unlock();
  }

  std::mutex mutex_;
  std::map<FileId, int> fds_;
};

bool HeldHere(FileId id) { return HeldFiles::Get().Holds(id); }

[[noreturn]] void ThrowRefusal(std::optional<pid_t> holder) {
  std::string text = "The blog is open in another Tessavo program";
  if (holder) text += " (process " + std::to_string(*holder) + ")";
  throw Error(text);
}

[[noreturn]] void ThrowFileError(const char* what, const fs::path& file, int err) {
  throw Error(std::string(what) + file.string() + ": " + std::strerror(err));
}

// The process that took the flock() lock on the file (dev, ino), from /proc/locks:
//   1: FLOCK  ADVISORY  WRITE 1234 fe:00:11005786 0 EOF
// with the device as hexadecimal major:minor and the inode in decimal. Requests still
// waiting for a lock are listed with "->" after the number and are skipped. Some file
// systems list another device number there than stat() gives (btrfs subvolumes, overlay
// mounts), so a lock on the same inode number counts when no device matches.
std::optional<pid_t> FlockHolder(dev_t dev, ino_t ino) {
  std::ifstream in("/proc/locks");
  std::string line;
  std::optional<pid_t> same_inode;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string number, kind, advisory, access, where;
    long pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") continue;
    if (!(fields >> advisory >> access >> pid >> where) || pid <= 0) continue;
    unsigned int major_dev = 0, minor_dev = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major_dev, &minor_dev, &inode) != 3) continue;
    if (inode != static_cast<unsigned long long>(ino)) continue;
    if (major_dev == major(dev) && minor_dev == minor(dev)) return static_cast<pid_t>(pid);
    if (!same_inode) same_inode = static_cast<pid_t>(pid);
  }
  return same_inode;
}

}  // namespace

BlogLock::BlogLock(const fs::path& file) : file_(file) {
  // A file renamed over the path between opening and locking would leave the lock on a
  // file that is no longer the blog; then the lock is taken again on what the path names.
  constexpr int kAttempts = 5;
  for (int attempt = 1;; ++attempt) {
    struct stat named {};
    if (::stat(file.c_str(), &named) != 0) ThrowFileError("Cannot open blog file ", file, errno);
    if (HeldHere({named.st_dev, named.st_ino})) ThrowRefusal(::getpid());

    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) ThrowFileError("Cannot open blog file ", file, errno);
    struct stat opened {};
    ::fstat(fd, &opened);
    int rc = 0;
    do {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      const int err = errno;
      ::close(fd);
      if (err != EWOULDBLOCK) ThrowFileError("Cannot lock blog file ", file, err);
      std::optional<pid_t> holder = FlockHolder(opened.st_dev, opened.st_ino);
      // The holder may have let go between the two looks; then try once more.
      if (!holder && attempt < kAttempts) continue;
      ThrowRefusal(holder);
    }
    struct stat now {};
    if (::stat(file.c_str(), &now) == 0 && now.st_dev == opened.st_dev &&
        now.st_ino == opened.st_ino) {
      fd_ = fd;
      dev_ = opened.st_dev;
      ino_ = opened.st_ino;
      HeldFiles::Get().Add({dev_, ino_}, fd_);
      return;
    }
    ::close(fd);
    if (attempt >= kAttempts) {
      throw Error("Cannot lock blog file " + file.string() + ": it keeps being replaced");
    }
  }
}

BlogLock::~BlogLock() { Release(); }

BlogLock::BlogLock(BlogLock&& other) noexcept
    : file_(std::move(other.file_)),
      fd_(std::exchange(other.fd_, -1)),
      dev_(other.dev_),
      ino_(other.ino_) {}

BlogLock& BlogLock::operator=(BlogLock&& other) noexcept {
  if (this != &other) {
    Release();
    file_ = std::move(other.file_);
    fd_ = std::exchange(other.fd_, -1);
    dev_ = other.dev_;
    ino_ = other.ino_;
  }
  return *this;
}

void BlogLock::Release() {
  if (fd_ < 0) return;
  if (HeldFiles::Get().Remove({dev_, ino_}, fd_)) ::close(fd_);  // ends the flock() lock
  fd_ = -1;
}

std::optional<BlogLock> BlogLock::IfOpenable(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec) || ::access(file.c_str(), R_OK) != 0) return std::nullopt;
  return BlogLock(file);
}

std::optional<pid_t> BlogLock::Holder(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  if (HeldHere({st.st_dev, st.st_ino})) return ::getpid();
  return FlockHolder(st.st_dev, st.st_ino);
}

}  // namespace tessavo
