#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

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

namespace tessavo {
namespace {

namespace fs = std::filesystem;
using testing::WriteFile;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ErrorText(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(FolderHandleTest, WritesNewAndReplacedFilesLikeThePathFunctions) {
  testing::TempDir dir;
  FolderHandle folder(dir.path());
  ASSERT_TRUE(folder.is_open());
  folder.WriteNewFile("page.html", "fresh");
  EXPECT_EQ(ReadWholeFile(dir / "page.html"), "fresh");
  folder.WriteNewFile("page.html", "replaced, since it existed");
  EXPECT_EQ(ReadWholeFile(dir / "page.html"), "replaced, since it existed");
  for (int i = 0; i < 50; ++i) folder.WriteFileAtomic("page.html", std::to_string(i));
  EXPECT_EQ(ReadWholeFile(dir / "page.html"), "49");
  folder.WriteFileAtomic("other.html", "");
  EXPECT_EQ(ReadWholeFile(dir / "other.html"), "");
  // No temporary file is left behind, and a replaced file is readable by everyone.
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"other.html", "page.html"}));
  EXPECT_EQ(fs::status(dir / "page.html").permissions(), fs::perms(0644));

  // A failure names the full path with the reason, exactly as the path functions do, and
  // leaves nothing behind.
  fs::create_directory(dir / "sub");
  WriteFile(dir / "sub" / "keep", "x");
  const std::string expected = ErrorText([&] { WriteNewFile(dir / "sub", "x"); });
  EXPECT_EQ(expected, "Cannot write " + (dir / "sub").string() + ": Is a directory");
  EXPECT_EQ(ErrorText([&] { folder.WriteNewFile("sub", "x"); }), expected);
  EXPECT_EQ(ErrorText([&] { folder.WriteFileAtomic("sub", "x"); }), expected);
  const std::string too_long(300, 'n');
  EXPECT_EQ(ErrorText([&] { folder.WriteNewFile(too_long, "x"); }),
            ErrorText([&] { WriteNewFile(dir / too_long, "x"); }));
  EXPECT_EQ(ErrorText([&] { folder.WriteFileAtomic(too_long, "x"); }),
            ErrorText([&] { WriteFileAtomic(dir / too_long, "x"); }));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"other.html", "page.html", "sub"}));
}

TEST(FolderHandleTest, AMissingFolderFallsBackToFullPaths) {
  testing::TempDir dir;
  FolderHandle folder(dir / "out");
  EXPECT_FALSE(folder.is_open());
  const std::string expected = "Cannot write " + (dir / "out" / "a.html").string() +
                               ": No such file or directory";
  EXPECT_EQ(ErrorText([&] { folder.WriteNewFile("a.html", "x"); }), expected);
  EXPECT_EQ(ErrorText([&] { folder.WriteFileAtomic("a.html", "x"); }), expected);
  EXPECT_FALSE(folder.Holds("a.html", "x"));
  EXPECT_FALSE(folder.Remove("a.html"));
  // Created later, the folder is reached through its path.
  fs::create_directory(dir / "out");
  folder.WriteNewFile("a.html", "new");
  folder.WriteFileAtomic("b.html", "replaced");
  EXPECT_EQ(ReadWholeFile(dir / "out" / "a.html"), "new");
  EXPECT_EQ(ReadWholeFile(dir / "out" / "b.html"), "replaced");
  EXPECT_TRUE(folder.Holds("b.html", "replaced"));
  EXPECT_TRUE(folder.Remove("a.html"));
  EXPECT_EQ(Names(dir / "out"), (std::vector<std::string>{"b.html"}));
  int listed = 0;
  folder.ForEachRegularFile([&](std::string_view) { ++listed; });
  EXPECT_EQ(listed, 0);  // listing needs the folder open
}

TEST(FolderHandleTest, ListsRegularFilesAndLinksToThem) {
  testing::TempDir dir;
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    expected.push_back("article" + std::to_string(i) + ".html");
    WriteFile(dir / expected.back(), "x");
  }
  fs::create_directory(dir / "folder.html");
  fs::create_symlink("article1.html", dir / "link.html");
  fs::create_symlink("nowhere.html", dir / "dangling.html");
  fs::create_directory_symlink("folder.html", dir / "folder-link.html");
  mkfifo((dir / "fifo.html").c_str(), 0644);
  expected.push_back("link.html");
  std::sort(expected.begin(), expected.end());

  FolderHandle folder(dir.path());
  std::vector<std::string> listed;
  folder.ForEachRegularFile([&](std::string_view name) { listed.emplace_back(name); });
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, expected);

  // The same answer as the standard library's view of the folder.
  std::vector<std::string> standard;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    if (e.is_regular_file()) standard.push_back(e.path().filename());
  }
  std::sort(standard.begin(), standard.end());
  EXPECT_EQ(listed, standard);
}

TEST(FolderHandleTest, HoldsOnlyWhatAReplacementWouldLeave) {
  testing::TempDir dir;
  FolderHandle folder(dir.path());
  folder.WriteFileAtomic("a.html", "same text");
  EXPECT_TRUE(folder.Holds("a.html", "same text"));
  EXPECT_FALSE(folder.Holds("a.html", "same texT"));
  EXPECT_FALSE(folder.Holds("a.html", "same tex"));
  EXPECT_FALSE(folder.Holds("a.html", "same text!"));
  EXPECT_FALSE(folder.Holds("a.html", ""));
  EXPECT_FALSE(folder.Holds("missing.html", ""));

  folder.WriteFileAtomic("empty.html", "");
  EXPECT_TRUE(folder.Holds("empty.html", ""));

  // Larger than one read: equal, and different in the last byte only.
  std::string big(200000, 'b');
  folder.WriteFileAtomic("big.html", big);
  EXPECT_TRUE(folder.Holds("big.html", big));
  big.back() = 'c';
  EXPECT_FALSE(folder.Holds("big.html", big));

  // Other permissions, a second hard link, a link or a folder: a replacement would change
  // them, so they are not held.
  fs::permissions(dir / "a.html", fs::perms(0600));
  EXPECT_FALSE(folder.Holds("a.html", "same text"));
  fs::permissions(dir / "a.html", fs::perms(0644));
  EXPECT_TRUE(folder.Holds("a.html", "same text"));
  fs::create_hard_link(dir / "a.html", dir / "twin.html");
  EXPECT_FALSE(folder.Holds("a.html", "same text"));
  fs::remove(dir / "twin.html");
  fs::create_symlink("a.html", dir / "link.html");
  EXPECT_FALSE(folder.Holds("link.html", "same text"));
  fs::create_directory(dir / "folder.html");
  EXPECT_FALSE(folder.Holds("folder.html", ""));
  mkfifo((dir / "fifo.html").c_str(), 0644);
  EXPECT_FALSE(folder.Holds("fifo.html", ""));
}

TEST(FolderHandleTest, RemovesFilesAndEmptyFolders) {
  testing::TempDir dir;
  FolderHandle folder(dir.path());
  WriteFile(dir / "a.html", "x");
  fs::create_directory(dir / "empty");
  WriteFile(dir / "full" / "x", "x");
  EXPECT_TRUE(folder.Remove("a.html"));
  EXPECT_TRUE(folder.Remove("empty"));
  EXPECT_FALSE(folder.Remove("full"));
  EXPECT_FALSE(folder.Remove("a.html"));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"full"}));
}

}  // namespace
}  // namespace tessavo
