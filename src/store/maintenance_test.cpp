#include "store/maintenance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <fstream>
#include <map>
#include <random>

#include "recording_host.h"
#include "skip_or_fail.h"
#include "store/blog.h"
#include "store/blog_connection.h"
#include "temp_dir.h"
#include "util/error.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

SQLite::Database& Db(const Blog& blog) { return store::BlogConnection::Of(blog); }

std::string Text(std::mt19937& rng, size_t n) {
  static const char kWords[] = "abcdefghijklmnopqrstuvwxyz     ";
  std::string s(n, ' ');
  for (char& c : s) c = kWords[rng() % (sizeof kWords - 1)];
  return s;
}

class MaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramFolder(dir_.path() / "home");
    blog_ = Blog::Create(file_, host_);
    ASSERT_TRUE(blog_);
  }

  void AddEntries(int count, size_t length = 1200) {
    std::mt19937 rng(7);
    std::vector<BlogRec> recs;
    for (int i = 0; i < count; ++i) {
      BlogRec r;
      r.date_time = DateTime{2006, 1, 1 + i % 28, i % 24, i % 60, 0};
      r.title = "Entry " + std::to_string(i);
      r.text = Text(rng, length);
      recs.push_back(r);
    }
    blog_->InsertEntries(recs);
  }

  // tblOptions as stored in the file, not as held in memory.
  std::string StoredOptionText(int key) {
    SQLite::Database db(file_.string(), SQLite::OPEN_READONLY);
    SQLite::Statement q(db, "SELECT OptionValue FROM tblOptions WHERE OptionKey = ?");
    q.bind(1, key);
    return q.executeStep() ? q.getColumn(0).getString() : "<none>";
  }

  TempDir dir_;
  fs::path file_ = dir_ / "diary.zdb";
  RecordingHost host_;
  std::unique_ptr<Blog> blog_;
};

TEST_F(MaintenanceTest, RotationKeepsTheNumberAsked) {
  AddEntries(3);
  fs::path folder = dir_ / "backups";
  fs::path target = folder / "diary.zdb";
  for (int k = 1; k <= 5; ++k) WriteFile(BackupFileName(target, k), "backup " + std::to_string(k));
  std::string old_location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 3);

  ASSERT_TRUE(BackupBlog(blog_, host_, old_location, 5));

  EXPECT_EQ(BackupFileName(target, 1), folder / "diary.~1");
  EXPECT_EQ(ReadFile(folder / "diary.~2"), "backup 1");
  EXPECT_EQ(ReadFile(folder / "diary.~3"), "backup 2");
  EXPECT_FALSE(fs::exists(folder / "diary.~4"));
  EXPECT_FALSE(fs::exists(folder / "diary.~5"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
  // The newest backup is a blog file with the entries.
  RecordingHost other;
  fs::copy_file(folder / "diary.~1", dir_ / "restored.zdb");
  EXPECT_EQ(Blog::Open(dir_ / "restored.zdb", other)->EntryCount(), 3);

  ASSERT_TRUE(blog_ && blog_->IsOpen());
  EXPECT_EQ(blog_->EntryCount(), 3);
  EXPECT_EQ(blog_->options().Text(opt::kBackupLocation), folder.string());  // saved and reloaded
  ASSERT_FALSE(host_.informations.empty());
  EXPECT_EQ(host_.informations.back(), "File backup was successfully.");
  EXPECT_FALSE(host_.status_open);
  EXPECT_EQ(host_.status.front(), "Compacting Blog File ");
  EXPECT_EQ(host_.status.back(), "Compacting Blog File complete");
  EXPECT_NE(std::find(host_.status.begin(), host_.status.end(), "Compacting Blog File 100%"),
            host_.status.end());
}

TEST_F(MaintenanceTest, KeepingNoneDeletesEveryNumberAndWritesOne) {
  fs::path folder = dir_ / "b";
  fs::path target = folder / "diary.zdb";
  for (int k : {0, 1, 2, 24, 25, 26}) WriteFile(BackupFileName(target, k), "old");
  std::string location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 0);
  ASSERT_TRUE(BackupBlog(blog_, host_, location, 5));
  for (int k : {0, 2, 24, 25}) EXPECT_FALSE(fs::exists(BackupFileName(target, k))) << k;
  EXPECT_NE(ReadFile(BackupFileName(target, 1)), "old");
  EXPECT_EQ(ReadFile(BackupFileName(target, 26)), "old");  // beyond the 25 deleted
}

TEST_F(MaintenanceTest, AboveTwentyFiveNothingIsDeletedAndRenamesNeverOverwrite) {
  fs::path folder = dir_ / "b";
  fs::path target = folder / "diary.zdb";
  WriteFile(BackupFileName(target, 1), "one");
  WriteFile(BackupFileName(target, 2), "two");
  WriteFile(BackupFileName(target, 4), "four");
  std::string location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 30);
  ASSERT_TRUE(BackupBlog(blog_, host_, location, 5));
  // 4 -> 5; 2 -> 3 then 1 -> 2; nothing was in the way of those.
  EXPECT_EQ(ReadFile(BackupFileName(target, 5)), "four");
  EXPECT_EQ(ReadFile(BackupFileName(target, 3)), "two");
  EXPECT_EQ(ReadFile(BackupFileName(target, 2)), "one");
  EXPECT_FALSE(fs::exists(BackupFileName(target, 4)));
}

// A backup killed half way through its rotation leaves a gap among the backups and the
// oldest set aside; the next backup first puts them back in order, so that it keeps the
// newest ones exactly as a rotation that had not been stopped.
TEST_F(MaintenanceTest, ARotationStoppedHalfWayIsPutBackBeforeTheNextOne) {
  fs::path folder = dir_ / "b";
  fs::path target = folder / "diary.zdb";
  const fs::path writing = folder / ".diary.~1.writing";
  auto aside = [&](int k) {
    return folder / ("." + BackupFileName(target, k).filename().string() + ".dropped");
  };
  std::string location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 3);

  struct Stop {
    const char* after;
    std::map<int, std::string> backups;  // k -> content
    bool copy_left;
  };
  // Before the stopped run: ~1 "one", ~2 "two", ~3 "three" (the oldest, to go).
  const std::vector<Stop> stops{
      {"set aside", {{1, "one"}, {2, "two"}}, true},
      {"first move", {{1, "one"}, {3, "two"}}, true},
      {"second move", {{2, "one"}, {3, "two"}}, true},
      {"new backup placed", {{1, "new"}, {2, "one"}, {3, "two"}}, false},
  };
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.after);
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [k, text] : stop.backups) WriteFile(BackupFileName(target, k), text);
    WriteFile(aside(3), "three");
    if (stop.copy_left) WriteFile(writing, "half a copy");

    ASSERT_TRUE(BackupBlog(blog_, host_, location, 3));
    location = folder.string();

    const std::string newest = ReadFile(BackupFileName(target, 1));
    EXPECT_EQ(newest.substr(0, 15), std::string("SQLite format 3", 15));
    if (stop.copy_left) {
      EXPECT_EQ(ReadFile(BackupFileName(target, 2)), "one");
      EXPECT_EQ(ReadFile(BackupFileName(target, 3)), "two");
    } else {  // that run had done its work: its backup is now the second newest
      EXPECT_EQ(ReadFile(BackupFileName(target, 2)), "new");
      EXPECT_EQ(ReadFile(BackupFileName(target, 3)), "one");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
  }
}

// Without a trace of a killed run, backups the person numbered with gaps stay as they are.
TEST_F(MaintenanceTest, GapsWithoutAKilledRunAreLeftAlone) {
  fs::path folder = dir_ / "b";
  fs::path target = folder / "diary.zdb";
  WriteFile(BackupFileName(target, 1), "one");
  WriteFile(BackupFileName(target, 3), "three");
  std::string location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 5);
  ASSERT_TRUE(BackupBlog(blog_, host_, location, 5));
  EXPECT_EQ(ReadFile(BackupFileName(target, 2)), "one");
  EXPECT_EQ(ReadFile(BackupFileName(target, 4)), "three");
  EXPECT_FALSE(fs::exists(BackupFileName(target, 3)));
}

TEST_F(MaintenanceTest, EmptyLocationBacksUpIntoTheProgramFolder) {
  blog_->SetOptionText(opt::kBackupLocation, "");
  blog_->SetOptionInt(opt::kBackupsToKeep, 2);
  ASSERT_TRUE(BackupBlog(blog_, host_, "", 2));
  EXPECT_TRUE(fs::exists(dir_.path() / "home" / "diary.~1"));
}

TEST_F(MaintenanceTest, OptionsAreSavedOnlyWhenLocationOrNumberChanged) {
  fs::path folder = dir_ / "Backups";
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 5);
  blog_->SaveOptions();
  ASSERT_EQ(StoredOptionText(opt::kBackupsToKeep), "5");

  // Only the number changes: saved before the backup.
  blog_->SetOptionInt(opt::kBackupsToKeep, 2);
  ASSERT_TRUE(BackupBlog(blog_, host_, folder.string(), 5));
  EXPECT_EQ(StoredOptionText(opt::kBackupsToKeep), "2");

  // A location that differs only in letter case counts as unchanged: nothing is saved.
  fs::path upper = dir_ / "BACKUPS";
  blog_->SetOptionText(opt::kBackupLocation, upper.string());
  ASSERT_TRUE(BackupBlog(blog_, host_, folder.string(), 2));
  EXPECT_EQ(StoredOptionText(opt::kBackupLocation), folder.string());
  EXPECT_TRUE(fs::exists(upper / "diary.~1"));
}

TEST_F(MaintenanceTest, FolderThatCannotBeCreatedCancelsAndRestoresTheOptions) {
  WriteFile(dir_ / "plain", "a file, not a folder");
  std::string bad = (dir_ / "plain" / "sub").string();
  std::string old_location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, bad);
  blog_->SetOptionInt(opt::kBackupsToKeep, 9);
  EXPECT_FALSE(BackupBlog(blog_, host_, old_location, 5));
  ASSERT_EQ(host_.informations.size(), 1u);
  EXPECT_EQ(host_.informations[0],
            "File backup cancelled. Unable to create directory: " + bad + "/");
  EXPECT_EQ(blog_->options().Text(opt::kBackupLocation), old_location);
  EXPECT_EQ(blog_->options().Int(opt::kBackupsToKeep), 5);
  EXPECT_EQ(StoredOptionText(opt::kBackupsToKeep), "5");
  EXPECT_TRUE(blog_->IsOpen());
  EXPECT_EQ(host_.status_shown, 0);
}

TEST_F(MaintenanceTest, CompactKeepsTheDataAndShrinksTheFile) {
  AddEntries(300);
  WriteFile(dir_ / "pic.png", std::string(50000, 'p'));
  ASSERT_TRUE(blog_->AddPicture(dir_ / "pic.png", host_));
  Db(*blog_).exec("DELETE FROM tblBlog WHERE BlogKey > 20");
  auto before_entries = blog_->Entries();
  Db(*blog_).exec("PRAGMA wal_checkpoint(TRUNCATE)");
  auto size_before = fs::file_size(file_);

  CompactBlog(blog_, host_);

  ASSERT_TRUE(blog_ && blog_->IsOpen());
  EXPECT_EQ(blog_->Entries(), before_entries);
  EXPECT_EQ(blog_->PictureBytes(blog_->Pictures()[0].key), std::string(50000, 'p'));
  EXPECT_LT(fs::file_size(file_), size_before);
  EXPECT_FALSE(fs::exists(file_.string() + ".tmp"));
  EXPECT_EQ(host_.informations.back(), "File compress was successfully.");
  EXPECT_EQ(host_.status.front(), "Compacting Blog File ");
  EXPECT_EQ(host_.status.back(), "Compacting Blog File complete");
  EXPECT_EQ(host_.status_shown, 1);
  EXPECT_EQ(host_.status_closed, 1);
}

TEST_F(MaintenanceTest, AFailedCopyLeavesNoTargetAndReopensTheBlog) {
  blog_.reset();
  EXPECT_THROW(CompactCopy(file_, dir_ / "missing" / "x.~1", host_), Error);
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_THROW(CompactCopy(dir_ / "nothing.zdb", dir_ / "x.~1", host_), Error);
  EXPECT_FALSE(fs::exists(dir_ / "x.~1"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2)
      << "only the blog file and the program folder";
  EXPECT_FALSE(host_.status_open);

  // A backup whose copy fails (the target is a folder) still ends with the blog open.
  blog_ = Blog::Open(file_, host_);
  fs::path folder = dir_ / "b";
  fs::create_directories(folder / "diary.~1" / "inside");
  std::string location = blog_->options().Text(opt::kBackupLocation);
  blog_->SetOptionText(opt::kBackupLocation, folder.string());
  blog_->SetOptionInt(opt::kBackupsToKeep, 1);
  // keep 1 deletes B(25)..B(1); a non-empty folder survives the delete, so the copy fails.
  EXPECT_THROW(BackupBlog(blog_, host_, location, 1), Error);
  ASSERT_TRUE(blog_ && blog_->IsOpen());
  EXPECT_TRUE(fs::is_directory(folder / "diary.~1" / "inside"));
}

TEST(BlogFileExtensionTest, IgnoresCase) {
  EXPECT_TRUE(IsBlogFileExtension("a/b.zdb"));
  EXPECT_TRUE(IsBlogFileExtension("B.ZDB"));
  EXPECT_TRUE(IsBlogFileExtension("x.Zdb"));
  EXPECT_FALSE(IsBlogFileExtension("x.zdb.bak"));
  EXPECT_FALSE(IsBlogFileExtension("zdb"));
  EXPECT_FALSE(IsBlogFileExtension("x.db"));
}

// --- Repair --------------------------------------------------------------------------------

TEST_F(MaintenanceTest, RepairOfASoundFileReplacesItAndKeepsTheOld) {
  AddEntries(40);
  blog_.reset();
  WriteFile(dir_ / "diary.old", "an older damaged copy");
  fs::path work = dir_ / "work.new";
  std::string log;
  EXPECT_TRUE(RepairBlog(file_, host_, &log, work));
  EXPECT_EQ(host_.informations.back(), "All data repaired successfully.");
  EXPECT_NE(log.find("tblBlog: 40 rows recovered"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(work));
  EXPECT_NE(ReadFile(dir_ / "diary.old"), "an older damaged copy");
  auto repaired = Blog::Open(file_, host_);
  EXPECT_EQ(repaired->EntryCount(), 40);
  EXPECT_EQ(repaired->FileVersion(), opt::kCurrentFileVersion);
  // Auto-numbers carry on from where the damaged file was.
  int32_t key = repaired->InsertEntry(BlogRec{});
  EXPECT_EQ(key, 41);
  EXPECT_EQ(host_.status.front(), "Repairing Blog File ");
  EXPECT_EQ(host_.status.back(), "Repairing Blog File complete");
  EXPECT_FALSE(host_.status_open);
}

TEST_F(MaintenanceTest, RepairWritesBesideTheProgramFileByDefault) {
  blog_.reset();
  fs::path work = dir_.path() / "home" / ProgramFile().filename();
  work.replace_extension(".new");
  std::string log;
  EXPECT_TRUE(RepairBlog(file_, host_, &log));
  EXPECT_EQ(log.find("Repair failed"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(work));  // renamed onto the blog file
  EXPECT_TRUE(fs::exists(dir_ / "diary.old"));
}

TEST_F(MaintenanceTest, RepairedFileIsMovedAcrossFileSystems) {
  struct stat a {
  }, b{};
  if (::stat("/dev/shm", &b) != 0 || ::stat(dir_.path().c_str(), &a) != 0 || a.st_dev == b.st_dev ||
      ::access("/dev/shm", W_OK) != 0) {
    SKIP_OR_FAIL("needs a writable /dev/shm on a file system of its own (a tmpfs)");
  }
  AddEntries(5);
  blog_.reset();
  fs::path work = "/dev/shm/tessavo-repair-" + std::to_string(::getpid()) + ".new";
  std::string log;
  EXPECT_TRUE(RepairBlog(file_, host_, &log, work)) << log;
  EXPECT_FALSE(fs::exists(work));
  EXPECT_EQ(Blog::Open(file_, host_)->EntryCount(), 5);
  EXPECT_TRUE(fs::exists(dir_ / "diary.old"));
}

TEST_F(MaintenanceTest, RepairOfADamagedPageRecoversTheRestAndReports) {
  AddEntries(300);
  int options = 0;
  {
    SQLite::Statement q(Db(*blog_), "SELECT count(*) FROM tblOptions");
    q.executeStep();
    options = q.getColumn(0).getInt();
  }
  // A leaf page of tblBlog in the middle of the table, and how many rows it holds.
  int64_t page = 0;
  int cells = 0;
  int64_t page_size = Db(*blog_).execAndGet("PRAGMA page_size").getInt64();
  try {
    SQLite::Statement q(Db(*blog_),
                        "SELECT pageno, ncell FROM dbstat WHERE name = 'tblBlog' AND "
                        "pagetype = 'leaf' ORDER BY pageno");
    std::vector<std::pair<int64_t, int>> leaves;
    while (q.executeStep()) leaves.emplace_back(q.getColumn(0).getInt64(), q.getColumn(1).getInt());
    ASSERT_GT(leaves.size(), 4u);
    page = leaves[leaves.size() / 2].first;
    cells = leaves[leaves.size() / 2].second;
  } catch (const SQLite::Exception&) {
    SKIP_OR_FAIL("this SQLite has no dbstat table (Debian's libsqlite3 has it: scripts/setup)");
  }
  blog_.reset();
  {
    std::fstream f(file_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((page - 1) * page_size + 8);
    std::string garbage(static_cast<size_t>(page_size - 8), '\xA5');
    f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  std::string damaged = ReadFile(file_);

  fs::path work = dir_ / "work.new";
  std::string log;
  EXPECT_FALSE(RepairBlog(file_, host_, &log, work));
  ASSERT_FALSE(host_.informations.empty());
  EXPECT_EQ(host_.informations.back(),
            "Some problems could not be repaired. See repair log:" + log);
  EXPECT_NE(log.find("tblBlog"), std::string::npos) << log;
  EXPECT_NE(log.find("tblBlog: " + std::to_string(300 - cells) + " rows recovered"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("tblBlog: " + std::to_string(300 - cells) + " rows recovered, " +
                     std::to_string(cells) + " rows lost"),
            std::string::npos)
      << log;
  // The damaged file stays where it was, unchanged; the recovered rows are in a numbered
  // copy beside the work file, which the log names.
  EXPECT_EQ(ReadFile(file_), damaged);
  EXPECT_FALSE(fs::exists(dir_ / "diary.old"));
  EXPECT_FALSE(fs::exists(work));
  const fs::path kept = dir_ / "diary-recovered-1.zdb";
  EXPECT_NE(log.find("The rows recovered are in " + kept.string() + "."), std::string::npos) << log;
  auto recovered = Blog::Open(kept, host_);
  EXPECT_EQ(recovered->EntryCount(), 300 - cells);
  SQLite::Statement q(Db(*recovered), "SELECT count(*) FROM tblOptions");
  q.executeStep();
  EXPECT_EQ(q.getColumn(0).getInt(), options);
}

TEST_F(MaintenanceTest, RepairOfSomethingThatIsNoDatabaseFails) {
  blog_.reset();
  WriteFile(file_, std::string(10000, 'x'));
  std::string log;
  EXPECT_FALSE(RepairBlog(file_, host_, &log, dir_ / "work.new"));
  EXPECT_FALSE(log.empty());
  EXPECT_EQ(ReadFile(file_), std::string(10000, 'x'));
  EXPECT_FALSE(RepairBlog(dir_ / "none.zdb", host_, &log, dir_ / "work.new"));
  EXPECT_EQ(host_.informations.size(), 2u);
}

}  // namespace
}  // namespace tessavo
