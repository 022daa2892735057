#include "util/image_size.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "util/error.h"

namespace tessavo {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading; null when it cannot be opened.
File OpenForReading(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    errno = EISDIR;  // the reason the caller reports
    return nullptr;
  }
  return File(std::fopen(path.c_str(), "rb"));
}

File OpenOrThrow(const std::filesystem::path& path) {
  File f = OpenForReading(path);
  if (!f) {
    throw Error("Cannot open file \"" + path.string() + "\": " + std::strerror(errno));
  }
  return f;
}

bool ReadExactly(std::FILE* f, uint8_t* buf, size_t n) { return std::fread(buf, 1, n, f) == n; }

// Big-endian 16-bit number; false when fewer than 2 bytes were left.
bool ReadBigEndian16(std::FILE* f, uint16_t& value) {
  uint8_t b[2];
  if (!ReadExactly(f, b, 2)) return false;
  value = static_cast<uint16_t>(b[0] << 8 | b[1]);
  return true;
}

}  // namespace

ImageDimensions ReadJpegDimensions(const std::filesystem::path& path) {
  ImageDimensions dims;
  File file = OpenOrThrow(path);
  std::FILE* f = file.get();
  uint8_t soi[2];
  if (!ReadExactly(f, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return dims;
  int b = std::fgetc(f);
  while (b == 0xFF) {
    int m = std::fgetc(f);
    if (m == EOF) break;
    if (m == 0xFF) continue;  // fill byte
    if (m == 0xC0 || m == 0xC1) {
      uint8_t skip[3];
      if (!ReadExactly(f, skip, 3)) break;  // segment length and sample precision
      uint16_t height = 0, width = 0;
      if (!ReadBigEndian16(f, height)) break;
      dims.height = height;
      if (ReadBigEndian16(f, width)) dims.width = width;
      break;
    }
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // markers without a segment
    uint16_t length = 0;
    if (!ReadBigEndian16(f, length)) break;
    // A length below 2 would step backwards over the marker and loop for ever.
    if (length < 2) break;
    if (std::fseek(f, length - 2, SEEK_CUR) != 0) break;
    b = std::fgetc(f);
  }
  return dims;
}

ImageDimensions ReadPngDimensions(const std::filesystem::path& path) {
  static constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  ImageDimensions dims;
  File file = OpenOrThrow(path);
  std::FILE* f = file.get();
  uint8_t sig[8];
  if (!ReadExactly(f, sig, 8) || std::memcmp(sig, kSignature, 8) != 0) return dims;
  // IHDR's width and height are 32-bit big-endian at offsets 16 and 20; their low halves
  // sit at 18 and 22.
  uint16_t value = 0;
  if (std::fseek(f, 18, SEEK_SET) == 0 && ReadBigEndian16(f, value)) dims.width = value;
  if (std::fseek(f, 22, SEEK_SET) == 0 && ReadBigEndian16(f, value)) dims.height = value;
  return dims;
}

ImageDimensions ReadGifDimensions(const std::filesystem::path& path) noexcept {
  ImageDimensions dims;
  File file = OpenForReading(path);
  if (!file) return dims;
  std::FILE* f = file.get();
  uint8_t header[13];
  if (!ReadExactly(f, header, 13) || std::memcmp(header, "GIF", 3) != 0) return dims;
  if (header[10] & 0x80) {
    long table = 3L * (1L << ((header[10] & 7) + 1));
    if (std::fseek(f, table, SEEK_CUR) != 0) return dims;
  }
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c != 0x2C) continue;
    uint8_t desc[10];
    if (!ReadExactly(f, desc, 10)) break;
    dims.width = static_cast<uint16_t>(desc[4] | desc[5] << 8);
    dims.height = static_cast<uint16_t>(desc[6] | desc[7] << 8);
    break;
  }
  return dims;
}

}  // namespace tessavo
