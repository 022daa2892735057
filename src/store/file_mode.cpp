#include "store/file_mode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "util/error.h"

namespace tessavo {

mode_t FilePermissions(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return kOwnerOnly;
  return st.st_mode & 07777;
}

void CreateEmptyFile(const std::filesystem::path& path, mode_t mode) {
  // Made owner-only first; the exact bits are set on the open file, past the umask.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw Error("Cannot create " + path.string() + ": " + std::strerror(errno));
  if (::fchmod(fd, mode) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(path.c_str());
    throw Error("Cannot set the permissions of " + path.string() + ": " + std::strerror(err));
  }
  ::close(fd);
}

void CopyPermissions(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::chmod(to.c_str(), FilePermissions(from)) != 0) {
    throw Error("Cannot set the permissions of " + to.string() + ": " + std::strerror(errno));
  }
}

}  // namespace tessavo
