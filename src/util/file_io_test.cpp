#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "util/compress.h"
#include "util/crc32.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo {
namespace {

TEST(CompressTest, RoundTripsTextsOfEverySize) {
  std::mt19937 rng(7);
  for (size_t size :
       {size_t{0}, size_t{1}, size_t{100}, size_t{1200}, size_t{70000}, size_t{3000000}}) {
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
  const std::string expected =
      "Cannot write " + (dir / "out" / "a.html").string() + ": No such file or directory";
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

// Holds, and HoldsCrc with the size and CRC of the same bytes, which must agree.
bool Held(const FolderHandle& folder, const std::string& name, std::string_view bytes) {
  const bool held = folder.Holds(name, bytes);
  EXPECT_EQ(folder.HoldsCrc(name, bytes.size(), CalculateCRC32String(bytes)), held) << name;
  return held;
}

TEST(FolderHandleTest, HoldsOnlyWhatAReplacementWouldLeave) {
  testing::TempDir dir;
  FolderHandle folder(dir.path());
  folder.WriteFileAtomic("a.html", "same text");
  EXPECT_TRUE(Held(folder, "a.html", "same text"));
  EXPECT_FALSE(Held(folder, "a.html", "same texT"));
  EXPECT_FALSE(Held(folder, "a.html", "same tex"));
  EXPECT_FALSE(Held(folder, "a.html", "same text!"));
  EXPECT_FALSE(Held(folder, "a.html", ""));
  EXPECT_FALSE(Held(folder, "missing.html", ""));

  folder.WriteFileAtomic("empty.html", "");
  EXPECT_TRUE(Held(folder, "empty.html", ""));

  // Larger than one read: equal, and different in the last byte only.
  std::string big(200000, 'b');
  folder.WriteFileAtomic("big.html", big);
  EXPECT_TRUE(Held(folder, "big.html", big));
  big.back() = 'c';
  EXPECT_FALSE(Held(folder, "big.html", big));

  // Other permissions, a second hard link, a link or a folder: a replacement would change
  // them, so they are not held.
  fs::permissions(dir / "a.html", fs::perms(0600));
  EXPECT_FALSE(Held(folder, "a.html", "same text"));
  fs::permissions(dir / "a.html", fs::perms(0644));
  EXPECT_TRUE(Held(folder, "a.html", "same text"));
  fs::create_hard_link(dir / "a.html", dir / "twin.html");
  EXPECT_FALSE(Held(folder, "a.html", "same text"));
  fs::remove(dir / "twin.html");
  fs::create_symlink("a.html", dir / "link.html");
  EXPECT_FALSE(Held(folder, "link.html", "same text"));
  fs::create_directory(dir / "folder.html");
  EXPECT_FALSE(Held(folder, "folder.html", ""));
  mkfifo((dir / "fifo.html").c_str(), 0644);
  EXPECT_FALSE(Held(folder, "fifo.html", ""));

  // By size and CRC: another CRC of the right size is not held.
  EXPECT_FALSE(folder.HoldsCrc("a.html", 9, CalculateCRC32String("same text") ^ 1u));
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

// --- temporary files left behind by a killed writer ------------------------------------------

std::vector<std::string> TempNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const std::string& name : Names(folder)) {
    if (IsTempFileName(name)) names.push_back(name);
  }
  return names;
}

// A file left exactly as a kill leaves a temporary file: a private regular file, unlocked.
void LeaveStrayFile(const fs::path& path, const std::string& bytes) {
  WriteFile(path, bytes);
  fs::permissions(path, fs::perms(0600));
}

TEST(TempFileTest, TheNamingPatternOfTheAtomicWriters) {
  EXPECT_TRUE(IsTempFileName("index.html.tmp-AbC123"));
  EXPECT_TRUE(IsTempFileName("x.tmp-000000"));
  EXPECT_TRUE(IsTempFileName("a b.tmp-zzzzzz"));
  EXPECT_FALSE(IsTempFileName(".tmp-AbC123"));  // no name before it
  EXPECT_FALSE(IsTempFileName("notes.tmp-old"));
  EXPECT_FALSE(IsTempFileName("x.tmp-ABC"));
  EXPECT_FALSE(IsTempFileName("x.tmp-ABCDEFG"));
  EXPECT_FALSE(IsTempFileName("x.tmp-ABC-EF"));
  EXPECT_FALSE(IsTempFileName("x.tmp-ABCDE\xc3\xa9"));
  EXPECT_FALSE(IsTempFileName("x.TMP-ABCDEF"));
  EXPECT_FALSE(IsTempFileName("x.tmp_ABCDEF"));
  EXPECT_FALSE(IsTempFileName("index.html"));

  // What the writers make while they write has that form.
  testing::TempDir dir;
  std::vector<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    std::string tmp = (dir / "p.html").string() + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());  // the form the path writer always had
    ASSERT_GE(fd, 0);
    close(fd);
    seen.push_back(fs::path(tmp).filename());
  }
  for (const std::string& name : seen) EXPECT_TRUE(IsTempFileName(name)) << name;
}

TEST(TempFileTest, NamesNearTheLimitStillGetATemporaryFile) {
  testing::TempDir dir;
  FolderHandle folder(dir.path());
  // 250 bytes is a valid name; with ".tmp-XXXXXX" added it would not be.
  const std::string name(250, 'n');
  WriteFileAtomic(dir / name, "by path");
  EXPECT_EQ(ReadWholeFile(dir / name), "by path");
  folder.WriteFileAtomic(name, "by folder");
  EXPECT_EQ(ReadWholeFile(dir / name), "by folder");
  // A name of multi-byte characters is cut between characters.
  std::string umlauts = "u";
  while (umlauts.size() < 253) umlauts += "\xc3\xa4";
  folder.WriteFileAtomic(umlauts, "x");
  EXPECT_EQ(ReadWholeFile(dir / umlauts), "x");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{name, umlauts}));
}

TEST(TempFileTest, RemovesStrayTemporaryFilesAndNothingElse) {
  testing::TempDir dir;
  WriteFile(dir / "outside.txt", "not to be touched");
  LeaveStrayFile(dir / "index.html.tmp-Q9x2Lm", "<html>half");
  LeaveStrayFile(dir / "photo.jpg.tmp-000000", "");
  LeaveStrayFile(dir / "kept.tmp-KEEPME", "a published file of that name");
  WriteFile(dir / "index.html", "<html>whole</html>");
  // Files a person made, that only look alike.
  WriteFile(dir / "notes.tmp-old", "mine");
  WriteFile(dir / "x.tmp-ABC", "mine");
  WriteFile(dir / "x.tmp-ABCDEFG", "mine");
  WriteFile(dir / ".tmp-ABCDEF", "mine");
  // Not regular files: a link (to a file outside, which must survive), a folder, a pipe.
  fs::create_symlink(dir / "outside.txt", dir / "link.html.tmp-AAAAAA");
  fs::create_directory(dir / "folder.tmp-BBBBBB");
  ASSERT_EQ(mkfifo((dir / "pipe.tmp-CCCCCC").c_str(), 0600), 0);

  const int removed = RemoveStrayTempFiles(
      dir.path(), [](std::string_view name) { return name == "kept.tmp-KEEPME"; });
  EXPECT_EQ(removed, 2);
  EXPECT_EQ(
      Names(dir.path()),
      (std::vector<std::string>{".tmp-ABCDEF", "folder.tmp-BBBBBB", "index.html", "kept.tmp-KEEPME",
                                "link.html.tmp-AAAAAA", "notes.tmp-old", "outside.txt",
                                "pipe.tmp-CCCCCC", "x.tmp-ABC", "x.tmp-ABCDEFG"}));
  EXPECT_EQ(ReadWholeFile(dir / "outside.txt"), "not to be touched");
  EXPECT_EQ(ReadWholeFile(dir / "index.html"), "<html>whole</html>");
  // Without a keeper, and in a folder that does not exist.
  EXPECT_EQ(RemoveStrayTempFiles(dir.path()), 1);
  EXPECT_FALSE(fs::exists(dir / "kept.tmp-KEEPME"));
  EXPECT_EQ(RemoveStrayTempFiles(dir / "missing"), 0);
}

// A child process that rewrites one large file for ever, through `write`, and is killed
// and reaped when the object goes.
class Writer {
 public:
  explicit Writer(const std::function<void()>& write) : pid_(fork()) {
    if (pid_ == 0) {
      try {
        for (;;) write();
      } catch (...) {
      }
      _exit(1);
    }
  }
  ~Writer() { Kill(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool started() const { return pid_ > 0; }
  void Stop() {
    kill(pid_, SIGSTOP);
    waitid(P_PID, static_cast<id_t>(pid_), nullptr, WSTOPPED);
  }
  void Continue() { kill(pid_, SIGCONT); }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

// True when another process holds `path` locked.
bool LockedElsewhere(const fs::path& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return locked;
}

// Stops `writer` in the middle of a write (its temporary file there and locked) and returns
// the temporary file's name; "" when that did not happen within ten seconds.
std::string StopInTheMiddleOfAWrite(Writer& writer, const fs::path& folder) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    writer.Stop();
    // Stopped between two writes, or between creating the file and locking it: go on.
    for (const std::string& name : TempNames(folder)) {
      if (LockedElsewhere(folder / name)) return name;
    }
    writer.Continue();
    usleep(500);
  }
  return "";
}

class KilledWriterTest : public ::testing::TestWithParam<bool> {};

// A writer killed with SIGKILL in the middle of a write leaves its temporary file; the next
// run's clean-up removes it, while the temporary file of a writer that is still alive (here:
// stopped in the middle of its write) stays.
TEST_P(KilledWriterTest, StrayFileOfAKilledWriterGoesAndALiveOneStays) {
  const bool through_folder = GetParam();
  testing::TempDir dir;
  const std::string bytes(8 << 20, 'w');
  Writer writer([&] {
    if (through_folder) {
      static FolderHandle folder(dir.path());
      folder.WriteFileAtomic("big.html", bytes);
    } else {
      WriteFileAtomic(dir / "big.html", bytes);
    }
  });
  ASSERT_TRUE(writer.started());
  const std::string temp = StopInTheMiddleOfAWrite(writer, dir.path());
  ASSERT_FALSE(temp.empty()) << "never caught the writer in the middle of a write";

  EXPECT_EQ(RemoveStrayTempFiles(dir.path()), 0);
  EXPECT_TRUE(fs::exists(dir / temp));

  writer.Kill();
  ASSERT_TRUE(fs::exists(dir / temp));  // as the kill left it
  EXPECT_EQ(TempNames(dir.path()).size(), 1u);
  EXPECT_EQ(RemoveStrayTempFiles(dir.path()), 1);
  EXPECT_TRUE(TempNames(dir.path()).empty());
  // What stands under the real name is always a whole file.
  if (fs::exists(dir / "big.html")) {
    EXPECT_EQ(ReadWholeFile(dir / "big.html"), bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, KilledWriterTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& test) {
                           return std::string(test.param ? "FolderHandle" : "Path");
                         });

}  // namespace
}  // namespace tessavo
