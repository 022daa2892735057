#include "util/digest.h"

#include <xxhash.h>

#include <new>

namespace tessavo {

Digest DigestOf(std::string_view bytes) {
  const XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
  return Digest{h.low64, h.high64};
}

uint64_t Digest64Of(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

DigestBuilder::DigestBuilder() : state_(XXH3_createState()) {
  if (state_ == nullptr) throw std::bad_alloc();
  XXH3_128bits_reset(static_cast<XXH3_state_t*>(state_));
}

DigestBuilder::~DigestBuilder() { XXH3_freeState(static_cast<XXH3_state_t*>(state_)); }

void DigestBuilder::Feed(const void* data, size_t size) {
  XXH3_128bits_update(static_cast<XXH3_state_t*>(state_), data, size);
}

DigestBuilder& DigestBuilder::Add(std::string_view part) {
  const uint64_t size = part.size();
  Feed(&size, sizeof size);
  Feed(part.data(), part.size());
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

Digest DigestBuilder::Finish() const {
  const XXH128_hash_t h = XXH3_128bits_digest(static_cast<XXH3_state_t*>(state_));
  return Digest{h.low64, h.high64};
}

}  // namespace tessavo
