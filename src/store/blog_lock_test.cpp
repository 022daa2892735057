// One process writes a blog at a time: the lock, reading beside a writer, reading a blog
// whose folder cannot be written, and the permissions of blog files and their copies.
#include "store/blog_lock.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <string>

#include "blog_holder.h"
#include "mounts.h"
#include "store/file_mode.h"
#include "store/maintenance.h"
#include "store/store_test_support.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

namespace fs = std::filesystem;
using testing::BlogHolder;
using testing::ReadFile;
using testing::ScopedMount;
using testing::WriteFile;

std::string Refusal(pid_t pid) {
  return "The blog is open in another Tessavo program (process " + std::to_string(pid) + ")";
}

// The text of the Error `fn` throws, or "" when it throws none.
template <class Fn>
std::string ErrorOf(Fn&& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

ino_t InodeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_ino;
}

std::vector<std::string> Titles(const Blog& blog) {
  std::vector<std::string> titles;
  for (const BlogRec& r : blog.Entries()) titles.push_back(r.title);
  return titles;
}

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

class BlogLockTest : public StoreTest {
 protected:
  void SetUp() override {
    auto blog = NewBlog();
    ASSERT_TRUE(blog);
    blog->InsertEntry(Entry("first"));
  }
};

TEST_F(BlogLockTest, ASecondWriterIsRefusedAndAReaderWorksBesideTheFirst) {
  BlogHolder holder(Path(), "written by the holder");
  ASSERT_TRUE(holder.started()) << holder.error();
  EXPECT_EQ(BlogLock::Holder(Path()), holder.pid());

  EXPECT_EQ(ErrorOf([&] { Blog::Open(Path(), host); }), Refusal(holder.pid()));
  EXPECT_EQ(ErrorOf([&] { BlogLock lock(Path()); }), Refusal(holder.pid()));

  // Reading takes no lock and sees what the other process committed.
  auto reader = Blog::Open(Path(), host, OpenMode::kRead);
  EXPECT_TRUE(reader->read_only());
  std::vector<std::string> titles = Titles(*reader);
  EXPECT_TRUE(Has(titles, "first"));
  EXPECT_TRUE(Has(titles, "written by the holder"));
  EXPECT_EQ(reader->options().Text(opt::kBlogTitle), "Please enter a Title");
  // A reader does not write.
  EXPECT_THROW(reader->InsertEntry(Entry("not here")), Error);
  reader.reset();

  // The kernel lets go of the lock of a killed process.
  holder.Kill();
  EXPECT_FALSE(BlogLock::Holder(Path()));
  auto writer = Blog::Open(Path(), host);
  EXPECT_FALSE(writer->read_only());
  EXPECT_EQ(BlogLock::Holder(Path()), ::getpid());
  EXPECT_TRUE(Has(Titles(*writer), "written by the holder"));
}

TEST_F(BlogLockTest, TheLockIsHeldWhileOpenAndEndsWithClose) {
  auto blog = Blog::Open(Path(), host);
  // A second writer in the same process is refused as well.
  EXPECT_EQ(ErrorOf([&] { Blog::Open(Path(), host); }), Refusal(::getpid()));
  {
    // Another process cannot take it either.
    BlogHolder other(Path());
    EXPECT_FALSE(other.started());
    EXPECT_EQ(other.error(), Refusal(::getpid()));
  }
  blog->Close();
  EXPECT_FALSE(BlogLock::Holder(Path()));
  BlogHolder other(Path());
  EXPECT_TRUE(other.started()) << other.error();
}

TEST_F(BlogLockTest, CreatingTakesTheLock) {
  auto blog = NewBlog("new.zdb");
  ASSERT_TRUE(blog);
  BlogHolder other(Path("new.zdb"));
  EXPECT_EQ(other.error(), Refusal(::getpid()));
}

TEST_F(BlogLockTest, RepairIsRefusedWhileAnotherProcessHoldsTheBlog) {
  BlogHolder holder(Path());
  ASSERT_TRUE(holder.started()) << holder.error();
  const std::string before = ReadFile(Path());
  EXPECT_EQ(ErrorOf([&] { RepairBlog(Path(), host, nullptr, dir / "work.new"); }),
            Refusal(holder.pid()));
  EXPECT_EQ(ReadFile(Path()), before);
  EXPECT_FALSE(fs::exists(dir / "blog.old"));
  EXPECT_FALSE(fs::exists(dir / "work.new"));
  holder.Kill();
  EXPECT_TRUE(RepairBlog(Path(), host, nullptr, dir / "work.new"));
}

// A process that tries to take the lock over and over until it is told to stop, and
// then reports whether it ever got it.
class LockProber {
 public:
  explicit LockProber(const fs::path& file) {
    if (::pipe(control_) != 0 || ::pipe(result_) != 0) return;
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    long attempts = 0;
    std::string report;
    while (true) {
      pollfd p{control_[0], POLLIN, 0};
      if (::poll(&p, 1, 0) > 0) break;
      try {
        BlogLock lock(file);
        report = "took the lock";
        break;
      } catch (const Error&) {
        ++attempts;
      }
    }
    if (report.empty()) report = "attempts " + std::to_string(attempts);
    if (::write(result_[1], report.data(), report.size()) < 0) _exit(1);
    _exit(0);
  }
  // Stops the prober and returns its report.
  std::string Stop() {
    if (::write(control_[1], "x", 1) < 0) return "no prober";
    char buf[128];
    ssize_t n = ::read(result_[0], buf, sizeof buf);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "no report";
  }

 private:
  int control_[2] = {-1, -1};
  int result_[2] = {-1, -1};
  pid_t pid_ = -1;
};

TEST_F(BlogLockTest, BackupAndCompactNeverLetGoOfTheLock) {
  auto blog = Blog::Open(Path(), host);
  std::vector<BlogRec> recs(200, Entry("filler"));
  for (BlogRec& r : recs) r.text = std::string(3000, 'f');
  blog->InsertEntries(recs);
  blog->SetOptionText(opt::kBackupLocation, (dir / "backups").string());
  blog->SetOptionInt(opt::kBackupsToKeep, 2);

  LockProber prober(Path());
  for (int i = 0; i < 3; ++i) {
    CompactBlog(blog, host);
    ASSERT_TRUE(blog && blog->IsOpen());
    ASSERT_TRUE(BackupBlog(blog, host, (dir / "backups").string(), 2));
    ASSERT_TRUE(blog && blog->IsOpen());
  }
  std::string report = prober.Stop();
  ASSERT_EQ(report.rfind("attempts ", 0), 0u) << report;
  EXPECT_GT(std::stol(report.substr(9)), 0);
  EXPECT_EQ(blog->EntryCount(), 201);
}

TEST_F(BlogLockTest, CompactIsRefusedToOthersWhileItRunsAndKeepsTheFile) {
  auto blog = Blog::Open(Path(), host);
  const ino_t inode = InodeOf(Path());
  CompactBlog(blog, host);
  // Compacting writes the compacted pages into the file itself.
  EXPECT_EQ(InodeOf(Path()), inode);
  EXPECT_EQ(Titles(*blog), std::vector<std::string>{"first"});
}

TEST_F(BlogLockTest, AReaderInAnotherProcessReadsSoundDataAcrossACompact) {
  int64_t before = 0;
  int64_t size_before = 0;
  {
    auto blog = Blog::Open(Path(), host);
    std::vector<BlogRec> recs;
    for (int i = 0; i < 300; ++i) {
      recs.push_back(Entry("entry " + std::to_string(i)));
      recs.back().text = std::string(2000, static_cast<char>('a' + i % 26));
    }
    blog->InsertEntries(recs);
    Db(*blog).exec("DELETE FROM tblBlog WHERE BlogKey % 3 <> 0");
    Db(*blog).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    before = blog->EntryCount();
    size_before = static_cast<int64_t>(fs::file_size(Path()));
  }
  // The reader is started while this process has no connection to the blog: a child
  // made by fork() must not share SQLite's state of open files with its parent.
  int ready[2], go[2], report[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(report), 0);
  pid_t reader = ::fork();
  if (reader == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::close(go[1]);  // so that a test that dies early ends the wait below
    std::string text;
    try {
      RecordingHost h;
      auto r = Blog::Open(Path(), h, OpenMode::kRead);
      text = std::to_string(r->EntryCount());
      if (::write(ready[1], "r", 1) != 1) _exit(1);
      char c;
      if (::read(go[0], &c, 1) != 1) _exit(1);
      // Every text must still be the one its title says.
      int sound = 0;
      for (const BlogRec& e : r->Entries()) {
        if (e.title.rfind("entry ", 0) != 0) continue;
        int i = std::stoi(e.title.substr(6));
        if (e.text == std::string(2000, static_cast<char>('a' + i % 26))) ++sound;
      }
      text += " " + std::to_string(r->EntryCount()) + " " + std::to_string(sound);
    } catch (const std::exception& e) {
      text = e.what();
    }
    if (::write(report[1], text.data(), text.size()) < 0) _exit(1);
    _exit(0);
  }
  ::close(go[0]);
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  auto blog = Blog::Open(Path(), host);
  CompactBlog(blog, host);
  blog->InsertEntry(Entry("after the compact"));
  ASSERT_EQ(::write(go[1], "g", 1), 1);
  char buf[256];
  ssize_t n = ::read(report[0], buf, sizeof buf);
  int status = 0;
  ::waitpid(reader, &status, 0);
  ASSERT_GT(n, 0);
  EXPECT_EQ(
      std::string(buf, static_cast<size_t>(n)),
      std::to_string(before) + " " + std::to_string(before + 1) + " " + std::to_string(before));
  blog.reset();
  EXPECT_LT(static_cast<int64_t>(fs::file_size(Path())), size_before);
  SQLite::Database db(Path().string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(db.execAndGet("PRAGMA integrity_check").getString(), "ok");
}

TEST_F(BlogLockTest, AReaderOfAnOlderFileBringsItUpToDateFirst) {
  {
    SQLite::Database db(Path().string(), SQLite::OPEN_READWRITE);
    db.exec("UPDATE tblOptions SET OptionInteger = 82, OptionValue = '82' WHERE OptionKey = 999");
  }
  auto reader = Blog::Open(Path(), host, OpenMode::kRead);
  EXPECT_TRUE(reader->read_only());
  EXPECT_EQ(reader->FileVersion(), opt::kCurrentFileVersion);
  EXPECT_FALSE(BlogLock::Holder(Path()));
}

// --- Permissions ---------------------------------------------------------------------------

TEST_F(BlogLockTest, BlogFilesAreMadeForTheirOwnerOnly) {
  const mode_t old_mask = ::umask(0);
  auto blog = NewBlog("open.zdb");
  ::umask(old_mask);
  ASSERT_TRUE(blog);
  blog->InsertEntry(Entry("x"));
  EXPECT_EQ(ModeOf(Path("open.zdb")), 0600u);
  ASSERT_TRUE(fs::exists(Path("open.zdb").string() + "-wal"));
  EXPECT_EQ(ModeOf(Path("open.zdb").string() + "-wal"), 0600u);
  EXPECT_EQ(ModeOf(Path("open.zdb").string() + "-shm"), 0600u);
}

TEST_F(BlogLockTest, CompactAndBackupKeepThePermissionsOfTheOriginal) {
  EXPECT_EQ(ModeOf(Path()), 0600u);
  auto blog = Blog::Open(Path(), host);
  const fs::path folder = dir / "backups";
  blog->SetOptionText(opt::kBackupLocation, folder.string());
  ASSERT_TRUE(BackupBlog(blog, host, "", 5));
  EXPECT_EQ(ModeOf(folder / "blog.~1"), 0600u);

  ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
  const mode_t old_mask = ::umask(077);
  CompactBlog(blog, host);
  EXPECT_EQ(ModeOf(Path()), 0640u);
  ASSERT_TRUE(BackupBlog(blog, host, folder.string(), 5));
  ::umask(old_mask);
  EXPECT_EQ(ModeOf(folder / "blog.~1"), 0640u);
  EXPECT_EQ(ModeOf(folder / "blog.~2"), 0600u);
  blog.reset();
  CompactCopy(Path(), dir / "copy.zdb", host);
  EXPECT_EQ(ModeOf(dir / "copy.zdb"), 0640u);
}

TEST(FileModeTest, CreateEmptyFileSetsExactlyTheBitsAsked) {
  testing::TempDir dir;
  const mode_t old_mask = ::umask(022);
  CreateEmptyFile(dir / "a", 0640);
  CreateEmptyFile(dir / "b", 0600);
  ::umask(old_mask);
  EXPECT_EQ(ModeOf(dir / "a"), 0640u);
  EXPECT_EQ(ModeOf(dir / "b"), 0600u);
  EXPECT_EQ(fs::file_size(dir / "a"), 0u);
  EXPECT_THROW(CreateEmptyFile(dir / "a", 0600), Error);  // never replaces a file
  EXPECT_EQ(ModeOf(dir / "a"), 0640u);
  CopyPermissions(dir / "a", dir / "b");
  EXPECT_EQ(ModeOf(dir / "b"), 0640u);
}

// --- A folder that cannot be written ------------------------------------------------------

class ReadOnlyFolderTest : public StoreTest {
 protected:
  fs::path Source() const { return dir / "src"; }
  fs::path View() const { return dir / "ro"; }
};

TEST_F(ReadOnlyFolderTest, ABlogInAReadOnlyFolderCanBeRead) {
  fs::create_directories(Source());
  {
    auto blog = Blog::Create(Source() / "blog.zdb", host);
    blog->InsertEntry(Entry("kept"));
  }
  ASSERT_FALSE(fs::exists(Source() / "blog.zdb-wal"));  // closed cleanly
  std::string why;
  auto view = ScopedMount::ReadOnlyView(Source(), View(), &why);
  if (!view) TESSAVO_SKIP_OR_FAIL(why);
  ASSERT_NE(::access(View().c_str(), W_OK), 0) << "the view must be read-only, even for root";

  auto reader = Blog::Open(View() / "blog.zdb", host, OpenMode::kRead);
  EXPECT_EQ(Titles(*reader), std::vector<std::string>{"kept"});
  EXPECT_EQ(reader->options().Text(opt::kBlogTitle), "Please enter a Title");
  reader.reset();
  // Changing it is refused with the database's error, not a crash.
  EXPECT_THROW(
      {
        auto writer = Blog::Open(View() / "blog.zdb", host);
        writer->InsertEntry(Entry("no"));
      },
      Error);
  EXPECT_FALSE(fs::exists(Source() / "blog.zdb-wal"));
}

TEST_F(ReadOnlyFolderTest, CommitsLeftInTheLogByAKilledWriterAreRead) {
  fs::create_directories(Source());
  { Blog::Create(Source() / "blog.zdb", host)->InsertEntry(Entry("before")); }
  {
    BlogHolder killed(Source() / "blog.zdb", "committed before the kill");
    ASSERT_TRUE(killed.started()) << killed.error();
  }  // kill -9
  ASSERT_TRUE(fs::exists(Source() / "blog.zdb-wal"));
  ASSERT_TRUE(fs::exists(Source() / "blog.zdb-shm"));
  std::string why;
  auto view = ScopedMount::ReadOnlyView(Source(), View(), &why);
  if (!view) TESSAVO_SKIP_OR_FAIL(why);
  auto reader = Blog::Open(View() / "blog.zdb", host, OpenMode::kRead);
  std::vector<std::string> titles = Titles(*reader);
  EXPECT_TRUE(Has(titles, "before"));
  EXPECT_TRUE(Has(titles, "committed before the kill"));
}

// --- Backup onto a full disk ---------------------------------------------------------------

TEST_F(BlogLockTest, ABackupThatDoesNotFitLeavesEveryOldBackupAsItWas) {
  std::string why;
  const fs::path folder = dir / "small";
  auto disk = ScopedMount::SmallTmpfs(folder, 256 * 1024, &why);
  if (!disk) TESSAVO_SKIP_OR_FAIL(why);
  const fs::path target = folder / "blog.zdb";
  for (int k = 1; k <= 3; ++k) {
    WriteFile(BackupFileName(target, k), "backup " + std::to_string(k) + std::string(20000, 'b'));
  }
  auto blog = Blog::Open(Path(), host);
  // Far more than the disk holds, and nothing that compresses.
  std::string noise(600 * 1024, '\0');
  uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  WriteFile(dir / "noise.bin", noise);
  ASSERT_TRUE(blog->AddFile(dir / "noise.bin", host));
  blog->SetOptionText(opt::kBackupLocation, folder.string());
  blog->SetOptionInt(opt::kBackupsToKeep, 3);

  const std::string error = ErrorOf([&] { BackupBlog(blog, host, folder.string(), 3); });
  EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(ReadFile(BackupFileName(target, k)),
              "backup " + std::to_string(k) + std::string(20000, 'b'));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3)
      << "nothing but the three backups";
  ASSERT_TRUE(blog && blog->IsOpen());
  EXPECT_EQ(blog->FileBytes(blog->Files()[0].key), noise);
  EXPECT_FALSE(host.status_open);
}

TEST_F(BlogLockTest, ARotationThatCannotFinishIsUndone) {
  const fs::path folder = dir / "b";
  const fs::path target = folder / "blog.zdb";
  // Keeping one, B(2) and B(4) go; a folder named B(1) stays (a delete cannot remove it),
  // and the new backup cannot take its place.
  fs::create_directories(BackupFileName(target, 1) / "inside");
  WriteFile(BackupFileName(target, 2), "two");
  WriteFile(BackupFileName(target, 4), "four");
  auto blog = Blog::Open(Path(), host);
  blog->SetOptionText(opt::kBackupLocation, folder.string());
  blog->SetOptionInt(opt::kBackupsToKeep, 1);
  const std::string error = ErrorOf([&] { BackupBlog(blog, host, folder.string(), 1); });
  EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(BackupFileName(target, 1) / "inside"));
  EXPECT_EQ(ReadFile(BackupFileName(target, 2)), "two");
  EXPECT_EQ(ReadFile(BackupFileName(target, 4)), "four");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
  ASSERT_TRUE(blog && blog->IsOpen());
}

TEST_F(BlogLockTest, ABackupKilledHalfWayIsCleanedUpByTheNext) {
  const fs::path folder = dir / "b";
  const fs::path target = folder / "blog.zdb";
  // What a backup killed between setting B(3) aside and renaming its copy leaves.
  WriteFile(folder / ".blog.~1.writing", "half a copy");
  WriteFile(folder / ".blog.~3.dropped", "three");
  WriteFile(BackupFileName(target, 2), "one");
  auto blog = Blog::Open(Path(), host);
  blog->SetOptionText(opt::kBackupLocation, folder.string());
  blog->SetOptionInt(opt::kBackupsToKeep, 5);
  ASSERT_TRUE(BackupBlog(blog, host, folder.string(), 5));
  EXPECT_FALSE(fs::exists(folder / ".blog.~1.writing"));
  EXPECT_FALSE(fs::exists(folder / ".blog.~3.dropped"));
  // The backups before it, in their order and without the gap it left, after the new one.
  EXPECT_TRUE(fs::exists(BackupFileName(target, 1)));
  EXPECT_EQ(ReadFile(BackupFileName(target, 2)), "one");
  EXPECT_EQ(ReadFile(BackupFileName(target, 3)), "three");
  EXPECT_FALSE(fs::exists(BackupFileName(target, 4)));
}

}  // namespace
}  // namespace tessavo::store_test
