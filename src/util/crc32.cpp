#include "util/crc32.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "util/host.h"

namespace tessavo {

// The usual CRC-32 inverts the register on the way in and on the way out. Handing it the
// inverse of our start value (0) and inverting its result leaves exactly the plain table
// loop: register = table[(b ^ register) & 0xFF] ^ (register >> 8), starting at 0.
// libdeflate computes it with carry-less multiplication where the processor has it.
uint32_t CalculateCRC32String(std::string_view data) {
  if (data.empty()) return 0;
  return ~libdeflate_crc32(0xFFFFFFFFU, data.data(), data.size());
}

uint32_t CalculateCRC32File(const std::filesystem::path& path, Host* diag) {
  // The whole file is read first, so a read error gives 0 rather than a partial CRC.
  std::string bytes;
  bool ok = false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ok = true;
    char buf[1 << 16];
    while (true) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
  }
  if (!ok) {
    if (diag) diag->Diagnostic("CRC calculation error : CalculateCRC32String");
    return 0;
  }
  return CalculateCRC32String(bytes);
}

}  // namespace tessavo
