#include "util/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

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
  std::string tmp = path.string() + ".tmp-XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) {
    throw Error("Cannot write " + path.string() + ": " + std::strerror(errno));
  }
  if (!WriteAll(fd, bytes)) {
    int err = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
  }
  fchmod(fd, 0644);
  if (::close(fd) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
  }
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


// --- FolderHandle ----------------------------------------------------------------------------

namespace {

[[noreturn]] void ThrowCannotWrite(const std::filesystem::path& folder, const std::string& name,
                                   int err) {
  throw Error("Cannot write " + (folder / name).string() + ": " + std::strerror(err));
}

// Six letters or digits for a temporary file name, as mkstemp would choose them. The
// names only need to differ from each other; O_EXCL keeps a clash from doing harm.
std::string NextTempSuffix(uint64_t& state) {
  static constexpr char kChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
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
    seed = static_cast<uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
  }
  return seed ^ (static_cast<uint64_t>(::getpid()) << 32) ^ reinterpret_cast<uintptr_t>(owner);
}

}  // namespace

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
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = name + ".tmp-" + NextTempSuffix(temp_state_);
    fd = ::openat(fd_, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) ThrowCannotWrite(path_, name, errno);
  if (!WriteAll(fd, bytes)) {
    int err = errno;
    ::close(fd);
    ::unlinkat(fd_, tmp.c_str(), 0);
    ThrowCannotWrite(path_, name, err);
  }
  fchmod(fd, 0644);
  if (::close(fd) != 0 || ::renameat(fd_, tmp.c_str(), fd_, name.c_str()) != 0) {
    int err = errno;
    ::unlinkat(fd_, tmp.c_str(), 0);
    ThrowCannotWrite(path_, name, err);
  }
}

bool FolderHandle::Holds(const std::string& name, std::string_view bytes) const {
  std::string storage;
  const char* relative = nullptr;
  const int dir = Locate(name, storage, relative);
  // No links followed, and no wait on a FIFO that has taken the name.
  int fd = ::openat(dir, relative, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0644 &&
              st.st_nlink == 1 && st.st_uid == ::geteuid() &&
              static_cast<uint64_t>(st.st_size) == bytes.size();
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

}  // namespace tessavo
