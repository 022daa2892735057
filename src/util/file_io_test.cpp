#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

#include "temp_dir.h"
#include "util/compress.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo {
namespace {

TEST(CompressTest, RoundTripsTextsOfEverySize) {
  std::mt19937 rng(7);
  for (size_t size : {size_t{0}, size_t{1}, size_t{100}, size_t{1200}, size_t{70000},
                      size_t{3000000}}) {
    std::string text(size, '\0');
    for (auto& c : text) c = static_cast<char>("abc <p>\n\x01\xff"[rng() % 10]);
    std::string packed = Deflate(text);
    EXPECT_EQ(Inflate(packed), text) << size;
    if (size == 0) {
      EXPECT_TRUE(packed.empty());
    }
  }
  // The reused compressor gives the same output twice.
  EXPECT_EQ(Deflate("hello hello hello"), Deflate("hello hello hello"));
}

TEST(CompressTest, ExtremeRatiosAndStreamsFromOtherWritersInflate) {
  // Runs of one byte compress about a thousand to one: larger than any first guess of
  // the output size.
  const std::string run(4000000, 'a');
  EXPECT_EQ(Inflate(Deflate(run)), run);
  // A stream written by zlib's own one-shot compressor at another level, and one with
  // bytes after its end (a reader stops at the end of the stream).
  const std::string text = "Entry text <b>with</b> markup\r\n\r\nand a second paragraph.";
  std::string packed(compressBound(text.size()), '\0');
  uLongf size = packed.size();
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                      reinterpret_cast<const Bytef*>(text.data()), text.size(), 1),
            Z_OK);
  packed.resize(size);
  EXPECT_EQ(Inflate(packed), text);
  EXPECT_EQ(Inflate(packed + "trailing"), text);
}

TEST(CompressTest, DamagedDataIsAnError) {
  std::string packed = Deflate(std::string(5000, 'x') + "tail");
  EXPECT_THROW(Inflate(packed.substr(0, packed.size() / 2)), Error);
  EXPECT_THROW(Inflate("not compressed at all"), Error);
}

TEST(FileIoTest, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
  testing::TempDir dir;
  auto p = dir / "page.html";
  WriteFileAtomic(p, "first");
  WriteFileAtomic(p, "second, longer");
  EXPECT_EQ(ReadWholeFile(p), "second, longer");
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(FileIoTest, WritingIntoAMissingFolderFailsWithTheFileName) {
  testing::TempDir dir;
  try {
    WriteFileAtomic(dir / "missing" / "x.html", "x");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("x.html"), std::string::npos);
  }
}

TEST(FileIoTest, ReadingAFolderOrMissingFileIsAnError) {
  testing::TempDir dir;
  EXPECT_THROW(ReadWholeFile(dir.path()), Error);
  EXPECT_THROW(ReadWholeFile(dir / "nope"), Error);
}

TEST(FileIoTest, BareFileNames) {
  EXPECT_TRUE(IsBareFileName("index.html"));
  EXPECT_TRUE(IsBareFileName("..hidden"));
  EXPECT_FALSE(IsBareFileName(""));
  EXPECT_FALSE(IsBareFileName("."));
  EXPECT_FALSE(IsBareFileName(".."));
  EXPECT_FALSE(IsBareFileName("a/b"));
  EXPECT_FALSE(IsBareFileName("a\\b"));
  EXPECT_FALSE(IsBareFileName("/etc/passwd"));
  EXPECT_FALSE(IsBareFileName("C:evil"));
  EXPECT_FALSE(IsBareFileName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace tessavo

namespace tessavo {
namespace {

TEST(FileIoTest, NewFilesAreWrittenInPlaceAndExistingOnesReplaced) {
  testing::TempDir dir;
  auto p = dir / "new.html";
  WriteNewFile(p, "fresh");
  EXPECT_EQ(ReadWholeFile(p), "fresh");
  EXPECT_EQ(std::filesystem::status(p).permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::others_read);
  WriteNewFile(p, "replaced, since it existed");
  EXPECT_EQ(ReadWholeFile(p), "replaced, since it existed");
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
  EXPECT_THROW(WriteNewFile(dir / "missing" / "x.html", "x"), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

}  // namespace
}  // namespace tessavo
