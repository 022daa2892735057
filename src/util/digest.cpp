#include "util/digest.h"

#include <xxhash.h>

namespace tessavo {

Digest DigestOf(std::string_view bytes) {
  const XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
  return Digest{h.low64, h.high64};
}

uint64_t Digest64Of(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

DigestBuilder& DigestBuilder::Add(std::string_view part) {
  // The length first, so that ("ab", "c") and ("a", "bc") differ; a long part stands in
  // by its 64-bit digest, which keeps the buffer small.
  const uint64_t size = part.size();
  Feed(&size, sizeof size);
  if (part.size() <= 64) {
    Feed(part.data(), part.size());
  } else {
    const uint64_t digest = Digest64Of(part);
    Feed(&digest, sizeof digest);
  }
  return *this;
}

DigestBuilder& DigestBuilder::Add(int64_t number) {
  Feed(&number, sizeof number);
  return *this;
}

DigestBuilder& DigestBuilder::Add(const Digest& digest) {
  Feed(&digest.low, sizeof digest.low);
  Feed(&digest.high, sizeof digest.high);
  return *this;
}

}  // namespace tessavo
