#include "zlib_bomb.h"

#include <zlib.h>

#include <stdexcept>
#include <vector>

namespace tessavo::testing {
namespace {

constexpr size_t kChunk = size_t{1} << 20;

// Deflates `n` zero bytes with `flush` and returns what the stream produced.
std::string Step(z_stream& zs, size_t n, int flush) {
  static const std::vector<unsigned char> zeros(kChunk, 0);
  std::vector<unsigned char> buffer(size_t{1} << 16);
  std::string out;
  zs.next_in = const_cast<unsigned char*>(zeros.data());
  zs.avail_in = static_cast<uInt>(n);
  do {
    zs.next_out = buffer.data();
    zs.avail_out = static_cast<uInt>(buffer.size());
    deflate(&zs, flush);
    out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - zs.avail_out);
  } while (zs.avail_out == 0);
  return out;
}

}  // namespace

std::string ZlibBomb(size_t inflated) {
  // After a full flush the compressor starts each further megabyte of zeros from the same
  // state and writes the same bytes for it, so those bytes are repeated rather than made
  // again; the checksum at the end is that of `inflated` zero bytes.
  z_stream zs{};
  if (deflateInit(&zs, Z_BEST_COMPRESSION) != Z_OK) throw std::runtime_error("deflateInit");
  const size_t whole = inflated / kChunk;
  const size_t rest = inflated % kChunk;
  std::string out;
  std::string repeated;
  for (size_t i = 0; i < whole; ++i) {
    if (i >= 3) {
      out += repeated;
      continue;
    }
    std::string piece = Step(zs, kChunk, Z_FULL_FLUSH);
    if (i == 2 && piece != repeated) {
      deflateEnd(&zs);
      throw std::runtime_error("zlib does not repeat itself here");
    }
    repeated = piece;
    out += piece;
  }
  out += Step(zs, rest, Z_FINISH);
  deflateEnd(&zs);
  // Adler-32 of n zero bytes: a = 1, b = n mod 65521.
  const uLong adler = ((inflated % 65521) << 16) | 1;
  for (int i = 0; i < 4; ++i) {
    out[out.size() - 4 + i] = static_cast<char>((adler >> (24 - 8 * i)) & 0xff);
  }
  return out;
}

}  // namespace tessavo::testing
