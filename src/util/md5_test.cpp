#include "util/md5.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "temp_dir.h"

namespace tessavo {
namespace {

TEST(Md5Test, RfcVectors) {
  EXPECT_EQ(DigestToHex(DigestMD5("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(DigestToHex(DigestMD5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestToHex(DigestMD5("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(DigestToHex(DigestMD5("abcdefghijklmnopqrstuvwxyz")),
            "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(
      DigestToHex(DigestMD5(
          "12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
      "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, PaddingBoundariesAndPiecewiseUpdates) {
  // 55, 56 and 64 bytes straddle the length field; the digest must not depend on how the
  // input is cut into Update calls.
  for (size_t n : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    std::string data(n, 'x');
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>('a' + i % 26);
    Md5 md5;
    for (size_t i = 0; i < n; i += 7) md5.Update(std::string_view(data).substr(i, 7));
    EXPECT_EQ(md5.Final(), DigestMD5(data)) << n;
  }
  EXPECT_EQ(DigestToHex(DigestMD5(std::string(1000000, 'a'))), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5Test, FileDigest) {
  testing::TempDir dir;
  EXPECT_EQ(DigestToHex(FileDigestMD5(testing::WriteFile(dir / "empty", ""))),
            "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(DigestToHex(FileDigestMD5(testing::WriteFile(dir / "abc", "abc"))),
            "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestToHex(FileDigestMD5(dir / "missing")), "d41d8cd98f00b204e9800998ecf8427e");

  // A file another program holds open for writing is still digested.
  std::ofstream writer(dir / "busy", std::ios::binary);
  writer << "abc";
  writer.flush();
  EXPECT_EQ(DigestToHex(FileDigestMD5(dir / "busy")), "900150983cd24fb0d6963f7d28e17f72");
}

// Paths that cannot be read as a file, whoever runs the test (root included): a folder, a
// name below a plain file, and a link that points at itself.
TEST(Md5Test, UnreadableFileGivesTheEmptyDigest) {
  testing::TempDir dir;
  auto file = testing::WriteFile(dir / "abc", "abc");
  ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
  for (const std::filesystem::path& path : {dir.path(), file / "inside", dir / "loop"}) {
    EXPECT_EQ(DigestToHex(FileDigestMD5(path)), "d41d8cd98f00b204e9800998ecf8427e") << path;
  }
}

}  // namespace
}  // namespace tessavo
