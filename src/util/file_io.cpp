#include "util/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "util/crc32.h"
#include "util/error.h"

namespace tessavo {

namespace {

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

[[noreturn]] void ThrowCannotWrite(const std::filesystem::path& folder, const std::string& name,
                                   int err) {
  throw Error("Cannot write " + (folder / name).string() + ": " + std::strerror(err));
}

// Six letters or digits for a temporary file name, as mkstemp would choose them. The
// names only need to differ from each other; O_EXCL keeps a clash from doing harm.
std::string NextTempSuffix(uint64_t& state) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  state += 0x9E3779B97F4A7C15ull;  // splitmix64
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  std::string suffix(6, 'X');
  for (char& c : suffix) {
    c = kChars[z % 62];
    z /= 62;
  }
  return suffix;
}

uint64_t TempSeed(const void* owner) {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
    seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  return seed ^ (static_cast<uint64_t>(::getpid()) << 32) ^ reinterpret_cast<uintptr_t>(owner);
}

constexpr std::string_view kTempMark = ".tmp-";
constexpr size_t kTempSuffixLength = 6;

bool IsTempSuffixChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// NAME.tmp-SUFFIX for the target file name `name`, NAME cut (at a character boundary of
// UTF-8 text) so that the whole is still a name the file system takes: a target whose
// name is near the limit must not fail for its temporary name alone.
std::string TempNameFor(std::string_view name, const std::string& suffix) {
  const size_t room = kMaxFileNameBytes - kTempMark.size() - suffix.size();
  size_t keep = std::min(name.size(), room);
  if (keep < name.size()) {
    while (keep > 1 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  }
  std::string out(name.substr(0, keep));
  out += kTempMark;
  out += suffix;
  return out;
}

// Creates a new temporary file for `name` in `dir` (its path there is `prefix` followed by
// the temporary name, stored in `tmp`) and locks it, so that a clean-up in another
// process leaves it alone while it is written. -1 with errno set on failure.
int CreateLockedTemp(int dir, const std::string& prefix, std::string_view name, uint64_t& state,
                     std::string& tmp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = prefix + TempNameFor(name, NextTempSuffix(state));
    int fd = ::openat(dir, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    // A file system without locks gets none. A clean-up that took the new file for a stray
    // one between its creation and the lock has unlinked it, which the link count shows:
    // then another name is tried.
    struct stat st;
    if (::flock(fd, LOCK_EX) != 0 || (::fstat(fd, &st) == 0 && st.st_nlink > 0)) return fd;
    ::close(fd);
  }
  errno = EEXIST;
  return -1;
}

// The atomic write: the temporary file (see CreateLockedTemp), then a rename over `target`.
// `shown` names the file in errors.
void WriteAtomicAt(int dir, const std::string& prefix, const std::string& target,
                   std::string_view name, std::string_view bytes, uint64_t& state,
                   const std::filesystem::path& shown, mode_t mode = 0644) {
  auto fail = [&shown](int err) {
    throw Error("Cannot write " + shown.string() + ": " + std::strerror(err));
  };
  std::string tmp;
  int fd = CreateLockedTemp(dir, prefix, name, state, tmp);
  if (fd < 0) fail(errno);
  if (!WriteAll(fd, bytes)) {
    int err = errno;
    ::unlinkat(dir, tmp.c_str(), 0);
    ::close(fd);
    fail(err);
  }
  fchmod(fd, mode);
  // The lock lives as long as any descriptor of the file: a second one keeps it over the
  // rename, while closing the first still reports a write that failed late.
  const int lock_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  int err = 0;
  if (::close(fd) != 0 || ::renameat(dir, tmp.c_str(), dir, target.c_str()) != 0) {
    err = errno;
    ::unlinkat(dir, tmp.c_str(), 0);
  }
  if (lock_fd >= 0) ::close(lock_fd);
  if (err != 0) fail(err);
}

// Removes the temporary file `name` of `dir` when it is a stray one: a regular file of
// this user that no writer holds locked.
bool RemoveIfStray(int dir, const std::string& name) {
  int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool removed = false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
      (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)) {
    // The name must still be this file: its writer may have renamed it meanwhile.
    struct stat now;
    if (::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == st.st_ino &&
        now.st_dev == st.st_dev) {
      removed = ::unlinkat(dir, name.c_str(), 0) == 0;
    }
  }
  ::close(fd);  // after the unlink, so that a writer that waits for the lock sees it
  return removed;
}

}  // namespace

void WriteNewFile(const std::filesystem::path& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return WriteFileAtomic(path, bytes);
    throw Error("Cannot write " + path.string() + ": " + std::strerror(errno));
  }
  if (!WriteAll(fd, bytes)) {
    int err = errno;
    ::close(fd);
    ::unlink(path.c_str());
    throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(path.c_str());
    throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
  }
}

void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
  uint64_t state = TempSeed(&path);
  const std::string parent = path.parent_path().string();
  WriteAtomicAt(AT_FDCWD, parent.empty() ? std::string() : parent + "/", path.string(),
                path.filename().string(), bytes, state, path);
}

void WritePrivateFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
  uint64_t state = TempSeed(&path);
  const std::string parent = path.parent_path().string();
  WriteAtomicAt(AT_FDCWD, parent.empty() ? std::string() : parent + "/", path.string(),
                path.filename().string(), bytes, state, path, 0600);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw Error("Cannot read " + path.string() + ": it is a folder");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("Cannot read " + path.string() + ": " + std::strerror(errno));
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) throw Error("Cannot read " + path.string());
  return std::move(ss).str();
}

bool IsBareFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == '\0') return false;
  }
  // Drive-letter forms such as "C:" are absolute on the system the format came from.
  if (name.size() >= 2 && name[1] == ':') return false;
  return true;
}

bool IsTempFileName(std::string_view name) {
  const size_t tail = kTempMark.size() + kTempSuffixLength;
  if (name.size() <= tail) return false;
  const std::string_view suffix = name.substr(name.size() - kTempSuffixLength);
  return name.substr(name.size() - tail, kTempMark.size()) == kTempMark &&
         std::all_of(suffix.begin(), suffix.end(), IsTempSuffixChar);
}

int RemoveStrayTempFiles(const std::filesystem::path& folder,
                         const std::function<bool(std::string_view)>& keep) {
  return FolderHandle(folder).RemoveStrayTempFiles(keep);
}

// --- FolderHandle ----------------------------------------------------------------------------

FolderHandle::FolderHandle(std::filesystem::path folder)
    : path_(std::move(folder)), temp_state_(TempSeed(this)) {
  fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

int FolderHandle::Locate(const std::string& name, std::string& storage,
                         const char*& relative) const {
  if (fd_ >= 0) {
    relative = name.c_str();
    return fd_;
  }
  storage = (path_ / name).string();
  relative = storage.c_str();
  return AT_FDCWD;
}

void FolderHandle::ForEachRegularFile(const std::function<void(std::string_view)>& fn) const {
  if (fd_ < 0) return;
  // A descriptor of its own, so that reading the entries leaves fd_ untouched.
  int list_fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list_fd < 0) return;
  DIR* dir = ::fdopendir(list_fd);
  if (dir == nullptr) {
    ::close(list_fd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const unsigned char type = entry->d_type;
    if (type == DT_REG) {
      fn(entry->d_name);
    } else if (type == DT_LNK || type == DT_UNKNOWN) {
      // A link counts by what it points to; some file systems do not tell the type at all.
      struct stat st;
      if (::fstatat(fd_, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) fn(entry->d_name);
    }
  }
  ::closedir(dir);
}

void FolderHandle::WriteNewFile(const std::string& name, std::string_view bytes) const {
  if (fd_ < 0) return tessavo::WriteNewFile(path_ / name, bytes);
  int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return WriteFileAtomic(name, bytes);
    ThrowCannotWrite(path_, name, errno);
  }
  if (!WriteAll(fd, bytes)) {
    int err = errno;
    ::close(fd);
    ::unlinkat(fd_, name.c_str(), 0);
    ThrowCannotWrite(path_, name, err);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlinkat(fd_, name.c_str(), 0);
    ThrowCannotWrite(path_, name, err);
  }
}

void FolderHandle::WriteFileAtomic(const std::string& name, std::string_view bytes) const {
  if (fd_ < 0) return tessavo::WriteFileAtomic(path_ / name, bytes);
  WriteAtomicAt(fd_, std::string(), name, name, bytes, temp_state_, path_ / name);
}

int FolderHandle::OpenKeptFile(const std::string& name, uint64_t size) const {
  std::string storage;
  const char* relative = nullptr;
  const int dir = Locate(name, storage, relative);
  // No links followed, and no wait on a FIFO that has taken the name.
  int fd = ::openat(dir, relative, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0644 &&
      st.st_nlink == 1 && st.st_uid == ::geteuid() && static_cast<uint64_t>(st.st_size) == size) {
    return fd;
  }
  ::close(fd);
  return -1;
}

bool FolderHandle::HoldsCrc(const std::string& name, uint64_t size, uint32_t crc) const {
  const int fd = OpenKeptFile(name, size);
  if (fd < 0) return false;
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  char extra;
  const bool whole = done == bytes.size() && ::read(fd, &extra, 1) == 0;
  ::close(fd);
  return whole && CalculateCRC32String(bytes) == crc;
}

bool FolderHandle::Holds(const std::string& name, std::string_view bytes) const {
  const int fd = OpenKeptFile(name, bytes.size());
  if (fd < 0) return false;
  bool same = true;
  size_t done = 0;
  char buf[1 << 16];
  while (same) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      same = false;
    } else if (n == 0) {
      break;
    } else if (static_cast<size_t>(n) > bytes.size() - done ||
               std::memcmp(buf, bytes.data() + done, static_cast<size_t>(n)) != 0) {
      same = false;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  return same && done == bytes.size();
}

bool FolderHandle::Remove(const std::string& name) const {
  if (fd_ < 0) {
    std::error_code ec;
    return std::filesystem::remove(path_ / name, ec);
  }
  // As remove(3): unlink, and rmdir when the name is a folder.
  if (::unlinkat(fd_, name.c_str(), 0) == 0) return true;
  return errno == EISDIR && ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;
}

int FolderHandle::RemoveStrayTempFiles(const std::function<bool(std::string_view)>& keep) const {
  if (fd_ < 0) return 0;
  // The names first, then the removals, so the listing never sees its own changes.
  std::vector<std::string> names;
  int list_fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list_fd < 0) return 0;
  DIR* dir = ::fdopendir(list_fd);
  if (dir == nullptr) {
    ::close(list_fd);
    return 0;
  }
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (IsTempFileName(name) && !(keep && keep(name))) names.emplace_back(name);
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& name : names) removed += RemoveIfStray(fd_, name) ? 1 : 0;
  return removed;
}

}  // namespace tessavo
