// Deflate and inflate for the memo and binary fields of the blog file (zlib format, level 9).
#pragma once

#include <string>
#include <string_view>

namespace tessavo {

// zlib-compressed form of `data` at level 9; the empty input gives the empty output.
std::string Deflate(std::string_view data);
// The inverse of Deflate; the empty input gives the empty output. Throws Error on damaged data.
std::string Inflate(std::string_view data);

}  // namespace tessavo
