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

void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
  std::string tmp = path.string() + ".tmp-XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) {
    throw Error("Cannot write " + path.string() + ": " + std::strerror(errno));
  }
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
    }
    p += n;
    left -= static_cast<size_t>(n);
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
