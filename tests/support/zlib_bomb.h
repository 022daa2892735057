// A hostile field for tests: a small zlib stream that inflates to a great many bytes.
#pragma once

#include <cstddef>
#include <string>

namespace tessavo::testing {

// A zlib stream (level 9) of `inflated` zero bytes: about a thousandth of that in size.
std::string ZlibBomb(size_t inflated);

}  // namespace tessavo::testing
