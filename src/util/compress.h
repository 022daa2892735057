// Deflate and inflate for the memo and binary fields of the blog file (zlib format, level 9).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessavo {

// zlib-compressed form of `data` at level 9; the empty input gives the empty output.
std::string Deflate(std::string_view data);
// How far a stored field may inflate unless its caller knows better: far above any text
// a person writes, and far below what a hostile file could make a reader allocate (a
// 1 MB zlib stream can inflate to a gigabyte).
inline constexpr size_t kInflateLimit = size_t{64} << 20;

// The inverse of Deflate; the empty input gives the empty output. Throws Error on damaged
// data, and when the data inflates to more than `limit` bytes, without ever holding more
// than about `limit` bytes.
std::string Inflate(std::string_view data, size_t limit = kInflateLimit);

// The limit as a person reads it: "64 MB".
std::string InflateLimitText(size_t limit);

}  // namespace tessavo
