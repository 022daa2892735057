#include "util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

}  // namespace tessavo
