// Inflating stored fields stops at a limit, so that a hostile blog file cannot make a
// reader allocate gigabytes.
#include <gtest/gtest.h>

#include <string>

#include "util/compress.h"
#include "util/error.h"
#include "zlib_bomb.h"

namespace tessavo {
namespace {

std::string ErrorOf(std::string_view data, size_t limit = kInflateLimit) {
  try {
    Inflate(data, limit);
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

TEST(InflateLimitTest, AFieldUpToTheLimitInflatesAndOneByteMoreDoesNot) {
  EXPECT_EQ(kInflateLimit, size_t{64} << 20);
  EXPECT_EQ(InflateLimitText(kInflateLimit), "64 MB");
  const std::string text = "hello, hello, hello";
  const std::string packed = Deflate(text);
  EXPECT_EQ(Inflate(packed, text.size()), text);
  EXPECT_EQ(ErrorOf(packed, text.size() - 1),
            "The blog file holds a field that inflates to more than " +
                InflateLimitText(text.size() - 1));

  EXPECT_EQ(Inflate(testing::ZlibBomb(kInflateLimit)), std::string(kInflateLimit, '\0'));
  EXPECT_EQ(ErrorOf(testing::ZlibBomb(kInflateLimit + 1)),
            "The blog file holds a field that inflates to more than 64 MB");
}

TEST(InflateLimitTest, ABombStopsAtTheLimit) {
  const std::string bomb = testing::ZlibBomb(size_t{200} << 20);
  ASSERT_LT(bomb.size(), size_t{400} << 10);
  EXPECT_EQ(ErrorOf(bomb), "The blog file holds a field that inflates to more than 64 MB");
  // Cut short, the same stream is damaged and too large at once; too large is found first.
  EXPECT_EQ(ErrorOf(bomb.substr(0, bomb.size() / 2)),
            "The blog file holds a field that inflates to more than 64 MB");
  // A damaged small field is still told apart.
  EXPECT_EQ(ErrorOf("not compressed at all"), "The blog file holds a damaged compressed field");
}

}  // namespace
}  // namespace tessavo
