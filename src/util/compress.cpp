#include "util/compress.h"

#include <zlib.h>

#include "util/error.h"

namespace tessavo {

std::string Deflate(std::string_view data) {
  if (data.empty()) return {};
  uLongf bound = compressBound(static_cast<uLong>(data.size()));
  std::string out(bound, '\0');
  int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &bound,
                     reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                     Z_BEST_COMPRESSION);
  if (rc != Z_OK) throw Error("Compression failed (zlib error " + std::to_string(rc) + ")");
  out.resize(bound);
  return out;
}

std::string Inflate(std::string_view data) {
  if (data.empty()) return {};
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw Error("Decompression failed");
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  std::string out;
  out.resize(data.size() * 4 + 64);
  int rc = Z_OK;
  while (true) {
    if (zs.total_out >= out.size()) out.resize(out.size() * 2);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + zs.total_out);
    zs.avail_out = static_cast<uInt>(out.size() - zs.total_out);
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;
  }
  out.resize(zs.total_out);
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) throw Error("The blog file holds a damaged compressed field");
  return out;
}

}  // namespace tessavo
