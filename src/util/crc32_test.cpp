#include "util/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "recording_host.h"
#include "temp_dir.h"

namespace tessavo {
namespace {

// The plain table loop the stored values are defined by, kept here as the reference the
// fast version is checked against.
uint32_t ReferenceCrc(const std::string& data) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  uint32_t reg = 0;
  for (unsigned char b : data) reg = table[(b ^ reg) & 0xFF] ^ (reg >> 8);
  return reg;
}

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(CalculateCRC32String(""), 0u);
  EXPECT_EQ(CalculateCRC32String("abc"), 0xCA6598D0u);
  EXPECT_EQ(CalculateCRC32String("123456789"), 0x2DFD2D88u);
  EXPECT_EQ(CrcToSigned(CalculateCRC32String("abc")), -899311408);
  EXPECT_EQ(CrcToSigned(0x7FFFFFFFu), 0x7FFFFFFF);
  EXPECT_EQ(CrcToSigned(0xFFFFFFFFu), -1);
}

TEST(Crc32Test, EqualsTheTableLoopOnRandomInputs) {
  std::mt19937 rng(20061);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 5000);
  for (int i = 0; i < 300; ++i) {
    std::string data(static_cast<size_t>(length(rng)), '\0');
    for (char& c : data) c = static_cast<char>(byte(rng));
    ASSERT_EQ(CalculateCRC32String(data), ReferenceCrc(data)) << "length " << data.size();
  }
  // Embedded NULs and every byte value.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(CalculateCRC32String(all), ReferenceCrc(all));
}

TEST(Crc32Test, TopBitSetStoresNegativeAndComparesEqualAgain) {
  uint32_t crc = CalculateCRC32String("abc");
  ASSERT_TRUE(crc & 0x80000000u);
  int32_t stored = CrcToSigned(crc);
  EXPECT_LT(stored, 0);
  EXPECT_EQ(stored, CrcToSigned(CalculateCRC32String(std::string("abc"))));
  EXPECT_EQ(static_cast<uint32_t>(stored), crc);
}

TEST(Crc32Test, FileFormMatchesStringFormAndReportsUnreadableFiles) {
  testing::TempDir dir;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 13);
  auto file = testing::WriteFile(dir / "data.bin", bytes);
  testing::RecordingHost host;
  EXPECT_EQ(CalculateCRC32File(file, &host), CalculateCRC32String(bytes));
  EXPECT_EQ(CalculateCRC32File(testing::WriteFile(dir / "empty", ""), &host), 0u);
  EXPECT_TRUE(host.diagnostics.empty());

  EXPECT_EQ(CalculateCRC32File(dir / "missing", &host), 0u);
  EXPECT_EQ(CalculateCRC32File(dir.path(), &host), 0u);  // a folder cannot be read
  ASSERT_EQ(host.diagnostics.size(), 2u);
  EXPECT_EQ(host.diagnostics[0], "CRC calculation error : CalculateCRC32String");
  EXPECT_EQ(CalculateCRC32File(dir / "missing"), 0u);  // no hook: still quiet
}

}  // namespace
}  // namespace tessavo
