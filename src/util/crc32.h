// CRC-32 of pages, pictures and files.
//
// The variant is part of the blog file format, because stored values are compared with
// freshly computed ones: the reflected IEEE table (polynomial 0xEDB88320, the same table
// as zlib's), but the register starts at 0 and the result is not inverted. So the empty
// input gives 0, "abc" gives 0xCA6598D0 and "123456789" gives 0x2DFD2D88.
//
// Integer fields hold the signed 32-bit value with the same bits (CrcToSigned).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tessavo {

class Host;

// The CRC of the bytes of `data`; 0 for the empty input.
uint32_t CalculateCRC32String(std::string_view data);

// The CRC of the whole file at `path`; 0 for an empty file. When the file cannot be read,
// "CRC calculation error : CalculateCRC32String" goes to `diag`'s diagnostic hook (when
// given) and the result is 0. Never throws.
uint32_t CalculateCRC32File(const std::filesystem::path& path, Host* diag = nullptr);

// The signed 32-bit integer with the same bits as `crc`, the form stored in the blog file.
inline int32_t CrcToSigned(uint32_t crc) { return static_cast<int32_t>(crc); }

}  // namespace tessavo
