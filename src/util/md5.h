// MD5 message digest (RFC 1321) of a byte string or a whole file, and its hexadecimal form.
// The updater checks downloaded packages with it beside the CRC-32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessavo {

using Md5Digest = std::array<uint8_t, 16>;

// Incremental MD5: Update any number of times, then Final once.
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  void Update(std::string_view data) { Update(data.data(), data.size()); }
  // REQUIRES: called once; the object is spent afterwards.
  Md5Digest Final();

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t bit_count_ = 0;
  uint8_t buffer_[64];
};

Md5Digest DigestMD5(std::string_view data);

// The digest of the whole file, read through a read-only memory map. A file that cannot be
// opened or mapped (an empty file included) gives the digest of the empty input,
// d41d8cd98f00b204e9800998ecf8427e. Never throws.
Md5Digest FileDigestMD5(const std::filesystem::path& path);

// The 16 bytes in order as 32 lower-case hexadecimal digits.
std::string DigestToHex(const Md5Digest& digest);

}  // namespace tessavo
