// Digests of the inputs of a computation: 128-bit XXH3 values, for telling "the same
// inputs as last time" apart from "something changed" without keeping the inputs. Not a
// cryptographic hash: the inputs come from the person's own blog, not from an adversary
// who could gain anything by making two of them collide.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessavo {

struct Digest {
  uint64_t low = 0;
  uint64_t high = 0;

  bool operator==(const Digest&) const = default;
  bool operator<(const Digest& o) const { return high != o.high ? high < o.high : low < o.low; }
};

// The digest of one run of bytes, taken whole (faster than a builder for one part).
Digest DigestOf(std::string_view bytes);

// A 64-bit digest of one run of bytes, for parts that are digested again as a whole.
uint64_t Digest64Of(std::string_view bytes);

// Feeds parts one after another; every part is framed by its length, so that ("ab", "c")
// and ("a", "bc") give different digests.
class DigestBuilder {
 public:
  DigestBuilder() { buffer_.reserve(256); }

  DigestBuilder& Add(std::string_view part);
  DigestBuilder& Add(int64_t number);
  DigestBuilder& Add(const Digest& digest);
  Digest Finish() const { return DigestOf(buffer_); }

 private:
  void Feed(const void* data, size_t size) { buffer_.append(static_cast<const char*>(data), size); }
  // The parts as they are, or a part's own digest when it is long.
  std::string buffer_;
};

}  // namespace tessavo
