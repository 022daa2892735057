// Repair Blog against what really happens to blog files: a writer killed after its commits,
// damage on index, interior, leaf and overflow pages (cycles, pointers past the end,
// plausible but wrong page headers, random bytes, pages of another version of the file
// written over this one), and a repair that is itself killed while it puts the new file in
// place.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "recording_host.h"
#include "store/blog.h"
#include "store/maintenance.h"
#include "store/schema.h"
#include "temp_dir.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

using RowKey = std::pair<std::string, int64_t>;  // table, row number
using Rows = std::map<RowKey, std::string>;      // every field, quoted

constexpr int64_t kPageSize = 4096;
constexpr auto kTimeBound = std::chrono::seconds(20);

// The helpers below open files read-write: a read-only connection would leave empty log
// files beside them.

// Every row of every blog table.
Rows ReadRows(const fs::path& file) {
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
  Rows rows;
  for (const char* table : store::kTableNames) {
    std::string fields = "''";
    SQLite::Statement info(db, "SELECT name FROM pragma_table_info(?)");
    info.bind(1, table);
    while (info.executeStep())
      fields += " || '|' || quote(\"" + info.getColumn(0).getString() + "\")";
    SQLite::Statement q(db, "SELECT rowid, " + fields + " FROM " + table);
    while (q.executeStep()) rows[{table, q.getColumn(0).getInt64()}] = q.getColumn(1).getString();
  }
  return rows;
}

std::string IntegrityCheck(const fs::path& file) {
  try {
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
    SQLite::Statement check(db, "PRAGMA integrity_check");
    std::string out;
    while (check.executeStep()) out += check.getColumn(0).getString();
    return out;
  } catch (const SQLite::Exception& e) {
    return e.what();
  }
}

int64_t CountEntries(const fs::path& file) {
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
  return db.execAndGet("SELECT count(*) FROM tblBlog NOT INDEXED").getInt64();
}

// The file a failed repair kept the recovered rows in, as its log names it.
fs::path KeptCopy(const std::string& log) {
  const std::string lead = "The rows recovered are in ";
  const size_t at = log.find(lead);
  if (at == std::string::npos) return {};
  const size_t end = log.find(". The damaged file", at);
  return log.substr(at + lead.size(), end - at - lead.size());
}

std::string Letters(std::mt19937& rng, size_t n) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz   ";
  std::string s(n, ' ');
  for (char& c : s) c = kLetters[rng() % (sizeof kLetters - 1)];
  return s;
}

std::string Marker(const char* prefix, int64_t key, int digits) {
  std::string n = std::to_string(key);
  return prefix +
         std::string(static_cast<size_t>(std::max(0, digits - static_cast<int>(n.size()))), '0') +
         n;
}

// A page of the file, as dbstat saw it before the damage.
struct PageInfo {
  int64_t page;
  std::string name;  // table or index
  std::string kind;  // internal, leaf, overflow
};

std::vector<PageInfo> ListPages(const fs::path& file) {
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
  SQLite::Statement q(db, "SELECT pageno, name, pagetype FROM dbstat ORDER BY pageno");
  std::vector<PageInfo> pages;
  while (q.executeStep()) {
    pages.push_back(
        {q.getColumn(0).getInt64(), q.getColumn(1).getString(), q.getColumn(2).getString()});
  }
  return pages;
}

// Overwrites pages of a closed blog file and remembers which rows lived on them: every
// entry's title is "row-NNNNN" and every picture's name and each 512 bytes of its data
// carry "pic-NNN" (NNNNN, NNN being the row number), so the original bytes of a damaged page
// name the rows it held.
class Damage {
 public:
  explicit Damage(fs::path file) : file_(std::move(file)), pages_(ListPages(file_)) {
    page_count_ = static_cast<int64_t>(fs::file_size(file_)) / kPageSize;
  }

  std::vector<int64_t> Pages(const std::string& name, const std::string& kind) const {
    std::vector<int64_t> out;
    for (const PageInfo& p : pages_) {
      if (p.name == name && (kind.empty() || p.kind == kind)) out.push_back(p.page);
    }
    return out;
  }
  int64_t Root(const std::string& table) const {
    SQLite::Database db(file_.string(), SQLite::OPEN_READWRITE);
    SQLite::Statement q(db, "SELECT rootpage FROM sqlite_master WHERE name = ?");
    q.bind(1, table);
    return q.executeStep() ? q.getColumn(0).getInt64() : 0;
  }
  int64_t page_count() const { return page_count_; }

  std::string Read(int64_t page) const {
    std::ifstream f(file_, std::ios::binary);
    f.seekg((page - 1) * kPageSize);
    std::string bytes(kPageSize, '\0');
    f.read(bytes.data(), kPageSize);
    return bytes;
  }
  void Write(int64_t page, const std::string& bytes, size_t from = 0) {
    Touch(Read(page));
    std::fstream f(file_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((page - 1) * kPageSize + static_cast<int64_t>(from));
    f.write(bytes.data() + from, static_cast<std::streamsize>(kPageSize - from));
  }
  void Random(int64_t page, size_t from = 0) {
    std::string bytes(kPageSize, '\0');
    for (char& c : bytes) c = static_cast<char>(rng_());
    Write(page, bytes, from);
  }
  void Put32(std::string& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
  }
  void Put16(std::string& bytes, size_t at, uint32_t v) {
    bytes[at] = static_cast<char>(v >> 8);
    bytes[at + 1] = static_cast<char>(v);
  }
  // A variable-length integer of two bytes (v below 16384).
  void PutVarint2(std::string& bytes, size_t at, uint32_t v) {
    bytes[at] = static_cast<char>(0x80 | (v >> 7));
    bytes[at + 1] = static_cast<char>(v & 0x7F);
  }

  // The rows that lived on damaged pages.
  const std::set<RowKey>& touched() const { return touched_; }
  std::mt19937& rng() { return rng_; }

 private:
  void Touch(const std::string& original) {
    for (const auto& [prefix, table, digits] :
         {std::tuple{"row-", "tblBlog", 5}, std::tuple{"pic-", "tblPictures", 3}}) {
      for (size_t at = original.find(prefix); at != std::string::npos;
           at = original.find(prefix, at + 1)) {
        const std::string digits_text = original.substr(at + 4, static_cast<size_t>(digits));
        if (digits_text.size() == static_cast<size_t>(digits) &&
            std::all_of(digits_text.begin(), digits_text.end(), ::isdigit)) {
          touched_.insert({table, std::stoll(digits_text)});
        }
      }
    }
  }

  fs::path file_;
  std::vector<PageInfo> pages_;
  int64_t page_count_ = 0;
  std::set<RowKey> touched_;
  std::mt19937 rng_{20240501};
};

class RepairTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramFolder(dir_.path() / "home"); }

  // A blog of about 3 MB: `entries` entries with short texts (so tblBlog is three levels
  // deep) of which every seventh is deleted again, and `pictures` pictures of 6 to 40 KB
  // (rows that run over onto overflow pages). Closed, with no log beside it.
  void MakeBlog(const fs::path& file, int entries = 20000, int pictures = 30) {
    Blog::Create(file, host_).reset();
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
    std::mt19937 rng(5);
    db.exec("BEGIN");
    SQLite::Statement entry(db,
                            "INSERT INTO tblBlog (BlogKey, BlogDateTime, BlogTitle, BlogText, "
                            "BlogPageType) VALUES (?, ?, ?, ?, 0)");
    for (int key = 1; key <= entries; ++key) {
      entry.bind(1, key);
      entry.bind(2, "2006-01-" + Marker("", 1 + key % 28, 2) + " 10:00:00");
      entry.bind(3, Marker("row-", key, 5));
      const std::string text = Letters(rng, 40 + rng() % 120);
      entry.bind(4, text.data(), static_cast<int>(text.size()));
      entry.exec();
      entry.reset();
    }
    SQLite::Statement picture(db,
                              "INSERT INTO tblPictures (BlogPictureKey, BlogPictureName, "
                              "BlogPicture, BlogPictureSize) VALUES (?, ?, ?, ?)");
    for (int key = 1; key <= pictures; ++key) {
      std::string data;
      const size_t size = 6000 + rng() % 34000;
      while (data.size() < size) data += Marker("pic-", key, 3) + "|" + Letters(rng, 504);
      picture.bind(1, key);
      picture.bind(2, Marker("pic-", key, 3) + ".png");
      picture.bind(3, data.data(), static_cast<int>(data.size()));
      picture.bind(4, static_cast<int64_t>(data.size()));
      picture.exec();
      picture.reset();
    }
    db.exec("DELETE FROM tblBlog WHERE BlogKey % 7 = 0");
    db.exec("COMMIT");
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }

  // Repairs `file_` within the time bound; returns the file holding the recovered rows.
  fs::path TimedRepair(bool* ok, std::string* log) {
    const auto start = std::chrono::steady_clock::now();
    *ok = RepairBlog(file_, host_, log, dir_ / "work.new");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, kTimeBound) << "repair took "
                                << std::chrono::duration_cast<std::chrono::seconds>(took).count()
                                << " s";
    return *ok ? file_ : KeptCopy(*log);
  }

  TempDir dir_;
  fs::path file_ = dir_ / "diary.zdb";
  RecordingHost host_;
};

// Every row not on a damaged page came back as it was, and no row came back that was not
// in the file (as `before`, or as `also` has it) before. A row on a damaged page may come
// back with what the damage left in its data, when that still reads as data.
void ExpectRowsRecovered(const Rows& before, const Rows& after, const std::set<RowKey>& touched,
                         const Rows& also = {}) {
  int missing = 0;
  for (const auto& [key, row] : before) {
    if (touched.count(key)) continue;
    auto it = after.find(key);
    if (it == after.end()) {
      if (++missing <= 5) ADD_FAILURE() << key.first << " row " << key.second << " is missing";
      continue;
    }
    auto other = also.find(key);
    if (it->second != row && (other == also.end() || other->second != it->second)) {
      ADD_FAILURE() << key.first << " row " << key.second << " changed";
    }
  }
  EXPECT_EQ(missing, 0);
  int injected = 0;
  for (const auto& [key, row] : after) {
    auto was = before.find(key);
    auto other = also.find(key);
    const bool known = (was != before.end() && (was->second == row || touched.count(key))) ||
                       (other != also.end() && other->second == row);
    if (!known && ++injected <= 5) {
      ADD_FAILURE() << key.first << " row " << key.second << " is not a row of the file";
    }
  }
  EXPECT_EQ(injected, 0);
}

// --- A writer killed after its commits -----------------------------------------------------

// Runs a child that opens the blog, saves `count` entries one by one (each its own commit)
// and is killed with SIGKILL before it closes the blog. The committed entries are then only
// in the blog's write-ahead log.
void KillWriterAfterCommits(const fs::path& file, int count) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    RecordingHost host;
    auto blog = Blog::Open(file, host);
    for (int i = 0; i < count; ++i) {
      BlogRec rec;
      rec.title = "committed " + std::to_string(i);
      rec.text = std::string(300, 'c');
      rec.date_time = DateTime{2024, 5, 1, 10, 0, i % 60};
      blog->InsertEntry(rec);
    }
    if (write(ready[1], "x", 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_GT(fs::file_size(file.string() + "-wal"), 0u) << "the commits are not in the log";
}

TEST_F(RepairTest, AfterAKilledWriterEveryCommittedRowIsRepairedAndKept) {
  {
    auto blog = Blog::Create(file_, host_);
    blog->InsertEntry(BlogRec{});
  }
  KillWriterAfterCommits(file_, 40);

  std::string log;
  EXPECT_TRUE(RepairBlog(file_, host_, &log, dir_ / "work.new")) << log;
  EXPECT_EQ(host_.informations.back(), "All data repaired successfully.");
  EXPECT_NE(log.find("tblBlog: 41 rows recovered\n"), std::string::npos) << log;
  // No log of the damaged file is left for the repaired one to read as its own.
  EXPECT_FALSE(fs::exists(file_.string() + "-wal") && fs::file_size(file_.string() + "-wal") > 0);
  EXPECT_EQ(IntegrityCheck(file_), "ok");
  EXPECT_EQ(CountEntries(file_), 41);
  auto repaired = Blog::Open(file_, host_);
  EXPECT_EQ(repaired->EntryCount(), 41);
  EXPECT_EQ(repaired->Entries().front().text, std::string(300, 'c'));
  repaired.reset();
  // The kept old file holds the committed rows too.
  EXPECT_EQ(CountEntries(dir_ / "diary.old"), 41);
}

TEST_F(RepairTest, ALogThatCannotBeFoldedInTravelsWithTheOldFile) {
  {
    auto blog = Blog::Create(file_, host_);
    blog->InsertEntry(BlogRec{});
  }
  KillWriterAfterCommits(file_, 25);
  // A reading program keeps the log open, so it cannot be folded into the file.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t reader = fork();
  ASSERT_NE(reader, -1);
  if (reader == 0) {
    SQLite::Database db(file_.string(), SQLite::OPEN_READONLY);
    db.exec("BEGIN");
    const int64_t rows = db.execAndGet("SELECT count(*) FROM tblBlog").getInt64();
    if (write(ready[1], rows == 26 ? "y" : "n", 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  EXPECT_EQ(c, 'y');

  std::string log;
  const bool ok = RepairBlog(file_, host_, &log, dir_ / "work.new");
  kill(reader, SIGKILL);
  waitpid(reader, nullptr, 0);
  EXPECT_TRUE(ok) << log;
  EXPECT_EQ(IntegrityCheck(file_), "ok");
  EXPECT_EQ(CountEntries(file_), 26);
  EXPECT_FALSE(fs::exists(file_.string() + "-wal"));
  // The old file's rows are in it and the log that went with it.
  EXPECT_TRUE(fs::exists(dir_ / "diary.old-wal"));
  EXPECT_EQ(CountEntries(dir_ / "diary.old"), 26);
  EXPECT_FALSE(fs::exists(dir_ / "work.new.snapshot"));
}

TEST_F(RepairTest, AHotJournalIsRolledBackFirst) {
  Blog::Create(file_, host_).reset();
  {
    SQLite::Database db(file_.string(), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA journal_mode = DELETE");
    db.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
        "INSERT INTO tblBlog (BlogTitle, BlogText) SELECT 'kept', randomblob(300) FROM n");
  }
  const Rows before = ReadRows(file_);
  // A writer of a file without a write-ahead log dies in the middle of a transaction that
  // no longer fits its cache: the file holds half of it, the journal what it replaced.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    SQLite::Database db(file_.string(), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA cache_size = 10");
    db.exec("BEGIN");
    db.exec("UPDATE tblBlog SET BlogText = randomblob(700)");
    db.exec("DELETE FROM tblBlog WHERE BlogKey % 3 = 0");
    if (write(ready[1], "x", 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_GT(fs::file_size(file_.string() + "-journal"), 0u);

  std::string log;
  EXPECT_TRUE(RepairBlog(file_, host_, &log, dir_ / "work.new")) << log;
  EXPECT_FALSE(fs::exists(file_.string() + "-journal"));
  EXPECT_EQ(IntegrityCheck(file_), "ok");
  EXPECT_TRUE(ReadRows(file_) == before);
  EXPECT_TRUE(ReadRows(dir_ / "diary.old") == before);
}

// --- What is recovered, and what is said ------------------------------------------------

TEST_F(RepairTest, DamageOnlyInAnIndexIsRepairedAndReplacesTheFile) {
  MakeBlog(file_, 3000, 3);
  const Rows before = ReadRows(file_);
  Damage damage(file_);
  for (int64_t page : damage.Pages("DisplayKey_tblBlog", "")) damage.Random(page);
  const std::string damaged = ReadFile(file_);
  ASSERT_NE(IntegrityCheck(file_), "ok");
  ::chmod(file_.c_str(), 0640);

  bool ok = false;
  std::string log;
  const fs::path repaired = TimedRepair(&ok, &log);
  EXPECT_TRUE(ok) << log;
  EXPECT_EQ(host_.informations.back(), "All data repaired successfully.");
  EXPECT_NE(log.find("DisplayKey_tblBlog: damaged; built afresh."), std::string::npos) << log;
  EXPECT_EQ(IntegrityCheck(file_), "ok");
  ExpectRowsRecovered(before, ReadRows(file_), {});
  EXPECT_EQ(ReadRows(file_).size(), before.size());
  EXPECT_EQ(ReadFile(dir_ / "diary.old"), damaged);
  EXPECT_FALSE(fs::exists(dir_ / "work.new"));
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(RepairTest, LostRowsAreCountedAndTheRecoveredCopyIsNeverRemoved) {
  MakeBlog(file_, 3000, 3);
  const Rows before = ReadRows(file_);
  Damage damage(file_);
  const std::vector<int64_t> leaves = damage.Pages("tblBlog", "leaf");
  damage.Random(leaves[leaves.size() / 3]);
  damage.Random(leaves[leaves.size() / 2]);
  const std::string damaged = ReadFile(file_);
  const size_t lost = damage.touched().size();
  ASSERT_GT(lost, 10u);
  ::chmod(file_.c_str(), 0600);

  std::string log;
  EXPECT_FALSE(RepairBlog(file_, host_, &log, dir_ / "work.new"));
  EXPECT_EQ(host_.informations.back(),
            "Some problems could not be repaired. See repair log:" + log);
  const size_t kept_rows = std::count_if(before.begin(), before.end(),
                                         [](const auto& r) { return r.first.first == "tblBlog"; });
  EXPECT_NE(log.find("tblBlog: " + std::to_string(kept_rows - lost) + " rows recovered, " +
                     std::to_string(lost) + " rows lost (damage on 2 pages)\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("tblOptions: "), std::string::npos) << log;
  const fs::path first = dir_ / "diary-recovered-1.zdb";
  EXPECT_EQ(KeptCopy(log), first) << log;
  EXPECT_EQ(ReadFile(file_), damaged);
  EXPECT_FALSE(fs::exists(dir_ / "diary.old"));
  EXPECT_FALSE(fs::exists(dir_ / "work.new"));
  EXPECT_EQ(IntegrityCheck(first), "ok");
  ExpectRowsRecovered(before, ReadRows(first), damage.touched());
  struct stat st {};
  ASSERT_EQ(::stat(first.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // A second attempt keeps the first copy and makes another.
  const std::string first_bytes = ReadFile(first);
  EXPECT_FALSE(RepairBlog(file_, host_, &log, dir_ / "work.new"));
  EXPECT_EQ(KeptCopy(log), dir_ / "diary-recovered-2.zdb") << log;
  EXPECT_EQ(ReadFile(first), first_bytes);
  EXPECT_TRUE(fs::exists(dir_ / "diary-recovered-2.zdb"));
}

// --- Damage of every kind, repaired in time ------------------------------------------------

struct DamageCase {
  const char* name;
  void (*apply)(Damage&);
  bool every_row;  // every row can be recovered: only index or interior pages are damaged
};

void RandomInteriorPages(Damage& d) {
  for (int64_t page : d.Pages("tblBlog", "internal")) d.Random(page);
}

// Interior pages that claim to be interior pages, pointing at the root, at themselves, at
// each other, past the end of the file and at page 0, with plausible keys.
void InteriorCycles(Damage& d) {
  const std::vector<int64_t> interior = d.Pages("tblBlog", "internal");
  const int64_t root = d.Root("tblBlog");
  for (size_t i = 0; i < interior.size(); ++i) {
    std::string bytes(kPageSize, '\0');
    const int64_t children[] = {root,
                                interior[i],
                                interior[(i + 1) % interior.size()],
                                d.page_count() + 7,
                                0,
                                interior[(i + 2) % interior.size()]};
    const int cells = 6;
    bytes[0] = 0x05;
    d.Put16(bytes, 3, cells);
    d.Put16(bytes, 5, 4000);
    d.Put32(bytes, 8, static_cast<uint32_t>(d.page_count() + 1000));
    for (int c = 0; c < cells; ++c) {
      const size_t at = 4000 + static_cast<size_t>(c) * 8;
      d.Put16(bytes, 12 + 2 * static_cast<size_t>(c), static_cast<uint32_t>(at));
      d.Put32(bytes, at, static_cast<uint32_t>(children[c]));
      d.PutVarint2(bytes, at + 4, 1000 + static_cast<uint32_t>(c) * 1000);
    }
    d.Write(interior[i], bytes);
  }
}

void RandomIndexAndInteriorPages(Damage& d) {
  for (int64_t page : d.Pages("DisplayKey_tblBlog", "internal")) d.Random(page);
  RandomInteriorPages(d);
}

// Leaf pages with a plausible header and cells that are garbage: huge sizes, overflow
// pointers into cycles and past the end.
void PlausibleLeaves(Damage& d) {
  const std::vector<int64_t> leaves = d.Pages("tblBlog", "leaf");
  for (size_t i = 0; i < leaves.size(); i += 9) {
    std::string bytes(kPageSize, '\0');
    for (char& c : bytes) c = static_cast<char>(d.rng()());
    bytes[0] = 0x0D;
    const int cells = 200;
    d.Put16(bytes, 3, cells);
    for (int c = 0; c < cells; ++c) {
      d.Put16(bytes, 8 + 2 * static_cast<size_t>(c), 500 + d.rng()() % 3500);
    }
    d.Write(leaves[i], bytes);
  }
}

// A leaf copied over another leaf of the same table, and the root copied over a leaf.
void CopiedPages(Damage& d) {
  const std::vector<int64_t> leaves = d.Pages("tblBlog", "leaf");
  d.Write(leaves[10], d.Read(leaves[200]));
  d.Write(leaves[300], d.Read(d.Root("tblBlog")));
  const std::vector<int64_t> interior = d.Pages("tblBlog", "internal");
  d.Write(interior.back(), d.Read(interior.front()));
}

// Overflow chains that loop back on themselves or lead into a leaf of another table.
void OverflowCycles(Damage& d) {
  const std::vector<int64_t> overflow = d.Pages("tblPictures", "overflow");
  const std::vector<int64_t> leaves = d.Pages("tblBlog", "leaf");
  for (size_t i = 0; i < overflow.size(); i += 11) {
    std::string bytes = d.Read(overflow[i]);
    d.Put32(bytes, 0, static_cast<uint32_t>(i % 2 ? overflow[i] : leaves[i % leaves.size()]));
    d.Write(overflow[i], bytes);
  }
}

void ScatteredRandomPages(Damage& d) {
  std::vector<int64_t> candidates;
  for (const char* name : {"tblBlog", "tblPictures", "DisplayKey_tblBlog"}) {
    for (int64_t page : d.Pages(name, "")) candidates.push_back(page);
  }
  for (int64_t page : candidates) {
    if (d.rng()() % 100 < 8) d.Random(page);
  }
}

// The table list on page 1 (behind the file header) is garbage.
void LostTableList(Damage& d) { d.Random(1, 100); }

const DamageCase kDamageCases[] = {
    {"RandomInteriorPages", RandomInteriorPages, true},
    {"InteriorCycles", InteriorCycles, true},
    {"RandomIndexAndInteriorPages", RandomIndexAndInteriorPages, false},
    {"PlausibleLeaves", PlausibleLeaves, false},
    {"CopiedPages", CopiedPages, false},
    {"OverflowCycles", OverflowCycles, false},
    {"ScatteredRandomPages", ScatteredRandomPages, false},
    {"LostTableList", LostTableList, false},
};

class DamagedFileTest : public RepairTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFileTest, RecoversEveryRowOnSoundPagesInTime) {
  MakeBlog(file_);
  const Rows before = ReadRows(file_);
  Damage damage(file_);
  GetParam().apply(damage);

  bool ok = false;
  std::string log;
  const fs::path repaired = TimedRepair(&ok, &log);
  EXPECT_FALSE(host_.status_open);
  if (GetParam().every_row) {
    EXPECT_TRUE(ok) << log;
    EXPECT_TRUE(damage.touched().empty());
  }
  ASSERT_FALSE(repaired.empty()) << log;
  EXPECT_EQ(IntegrityCheck(repaired), "ok");
  ExpectRowsRecovered(before, ReadRows(repaired), damage.touched());
  if (!ok) {
    EXPECT_NE(log.find("rows lost"), std::string::npos) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedFileTest, ::testing::ValuesIn(kDamageCases),
                         [](const auto& p) { return std::string(p.param.name); });

// A second program went on writing to the file after it had been swapped for a compacted
// copy: pages of the diverged old file land in the new one at their old places.
TEST_F(RepairTest, PagesOfAnotherVersionWrittenOverTheFileAreSortedOutInTime) {
  const fs::path old_file = dir_ / "old.zdb";
  MakeBlog(old_file);
  {
    SQLite::Database db(old_file.string(), SQLite::OPEN_READWRITE);
    SQLite::Statement vacuum(db, "VACUUM INTO ?");
    vacuum.bind(1, file_.string());
    vacuum.exec();
    // The other program's changes after the swap.
    db.exec("UPDATE tblBlog SET BlogText = X'00' || BlogText WHERE BlogKey % 5 = 0");
    db.exec(
        "INSERT INTO tblBlog (BlogTitle, BlogText) SELECT 'row-9' || substr(BlogTitle, 5), "
        "BlogText FROM tblBlog WHERE BlogKey < 3000");
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  const Rows before = ReadRows(file_);
  const Rows other = ReadRows(old_file);
  Damage damage(file_);
  std::mt19937 rng(11);
  const std::string old_bytes = ReadFile(old_file);
  for (int64_t page = 2; page <= damage.page_count(); ++page) {
    if (rng() % 100 >= 30 || page * kPageSize > static_cast<int64_t>(old_bytes.size())) continue;
    damage.Write(page, old_bytes.substr(static_cast<size_t>((page - 1) * kPageSize), kPageSize));
  }

  bool ok = false;
  std::string log;
  const fs::path repaired = TimedRepair(&ok, &log);
  ASSERT_FALSE(repaired.empty()) << log;
  EXPECT_EQ(IntegrityCheck(repaired), "ok");
  ExpectRowsRecovered(before, ReadRows(repaired), damage.touched(), other);
}

// --- A repair killed while it puts the repaired file in place ----------------------------

class KilledRepairTest : public RepairTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(KilledRepairTest, LeavesAWholeBlogAtItsPathAndTheNextRepairFinishes) {
  MakeBlog(file_, 3000, 3);
  const Rows before = ReadRows(file_);
  Damage damage(file_);
  for (int64_t page : damage.Pages("DisplayKey_tblBlog", "leaf")) damage.Random(page);
  const std::string damaged = ReadFile(file_);

  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    const std::string step = GetParam();
    SetRepairStepObserver([&](const std::string& done) {
      if (done == step) raise(SIGKILL);
    });
    RecordingHost host;
    RepairBlog(file_, host, nullptr, dir_ / "work.new");
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the repair never reached the step";

  // The old or the new blog, whole, is at the blog's path.
  ASSERT_TRUE(fs::exists(file_));
  if (ReadFile(file_) != damaged) {
    EXPECT_EQ(IntegrityCheck(file_), "ok");
    EXPECT_EQ(ReadRows(file_), before);
  }
  EXPECT_FALSE(fs::exists(file_.string() + "-wal") && fs::file_size(file_.string() + "-wal") > 0);

  // The next repair finishes, and nothing of the killed one is left behind.
  std::string log;
  EXPECT_TRUE(RepairBlog(file_, host_, &log, dir_ / "work.new")) << log;
  EXPECT_EQ(ReadRows(file_), before);
  EXPECT_EQ(IntegrityCheck(file_), "ok");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    if (entry.path().filename() != "home") names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"diary.zdb", "diary.old"}));
}

INSTANTIATE_TEST_SUITE_P(Steps, KilledRepairTest,
                         ::testing::Values("staged", "old kept", "side files cleared", "swapped"),
                         [](const auto& p) {
                           std::string name = p.param;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

}  // namespace
}  // namespace tessavo
