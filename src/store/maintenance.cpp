#include "store/maintenance.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "store/blog.h"
#include "store/blog_lock.h"
#include "store/file_mode.h"
#include "store/options.h"
#include "store/page_salvage.h"
#include "store/row_rescue.h"
#include "store/schema.h"
#include "util/error.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace fs = std::filesystem;

namespace tessavo {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Shows the status window for one operation and closes it on every way out.
class StatusWindow {
 public:
  StatusWindow(Host& host, std::string title) : host_(host), title_(std::move(title)) {
    host_.ShowStatus();
    host_.SetStatus(title_ + " ");
  }
  ~StatusWindow() { host_.CloseStatus(); }
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;

  void Percent(int pct) {
    pct = std::clamp(pct, 0, 100);
    if (pct == last_) return;
    last_ = pct;
    host_.SetStatus(title_ + " " + std::to_string(pct) + "%");
  }
  void Complete() { host_.SetStatus(title_ + " complete"); }

 private:
  Host& host_;
  std::string title_;
  int last_ = -1;
};

void RemoveQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

void RemoveDatabaseFiles(const fs::path& p) {
  RemoveQuietly(p);
  RemoveQuietly(p.string() + "-journal");
  RemoveQuietly(p.string() + "-wal");
  RemoveQuietly(p.string() + "-shm");
}

// While VACUUM INTO runs, the percentage is the size written so far against the size of
// the source's pages in use, spread over [first, last] of the status window's percentages.
struct CopyProgress {
  StatusWindow* status;
  std::string temp;
  int64_t expected;
  int first;
  int last;
};

int OnVacuumProgress(void* arg) {
  auto* p = static_cast<CopyProgress*>(arg);
  struct stat st {};
  if (p->expected > 0 && ::stat(p->temp.c_str(), &st) == 0) {
    int64_t done = std::min<int64_t>(st.st_size, p->expected);
    p->status->Percent(p->first + static_cast<int>(done * (p->last - p->first) / p->expected));
  }
  return 0;
}

// Writes a compacted copy of the closed blog file `from` into `temp`, a name that must be
// free, made with the permission bits `mode`. On failure `temp` is removed and the error
// rethrown as Error with the database's text.
void WriteCompactedCopy(const fs::path& from, const fs::path& temp, mode_t mode,
                        StatusWindow& status, int first, int last) {
  try {
    CreateEmptyFile(temp, mode);
    // Read-write, so that closing the connection folds the write-ahead log back into the
    // file instead of leaving its side files behind.
    SQLite::Database db(from.string(), SQLite::OPEN_READWRITE);
    int64_t pages = db.execAndGet("PRAGMA page_count").getInt64();
    int64_t free_pages = db.execAndGet("PRAGMA freelist_count").getInt64();
    int64_t page_size = db.execAndGet("PRAGMA page_size").getInt64();
    CopyProgress progress{&status, temp.string(), (pages - free_pages) * page_size, first, last};
    status.Percent(first);
    sqlite3_progress_handler(db.getHandle(), 2000, OnVacuumProgress, &progress);
    SQLite::Statement vacuum(db, "VACUUM INTO ?");
    vacuum.bind(1, temp.string());
    vacuum.exec();
    sqlite3_progress_handler(db.getHandle(), 0, nullptr, nullptr);
  } catch (const std::exception& e) {
    RemoveDatabaseFiles(temp);
    throw Error(e.what());
  }
}

// Copies every page of the database `from` into the blog file `to` through SQLite, in one
// transaction of `to`'s own, and folds the log into the file. A reader of `to` in another
// program goes on seeing the old pages until it starts its next read; one killed half-way
// leaves the old file as it was.
void CopyPagesInto(const fs::path& from, const fs::path& to, StatusWindow& status, int first,
                   int last) {
  SQLite::Database src(from.string(), SQLite::OPEN_READONLY);
  SQLite::Database dst(to.string(), SQLite::OPEN_READWRITE);
  dst.setBusyTimeout(5000);
  sqlite3_backup* copy = sqlite3_backup_init(dst.getHandle(), "main", src.getHandle(), "main");
  if (copy == nullptr) throw Error(sqlite3_errmsg(dst.getHandle()));
  int rc = SQLITE_OK;
  int waits = 0;
  while (true) {
    rc = sqlite3_backup_step(copy, 256);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
      // Another connection is in the middle of a write; the lock keeps writers away, so
      // this is a reader bringing an old file up to date or a checkpoint: wait a little.
      if (++waits > 500) break;
      ::usleep(10000);
      continue;
    }
    const int total = sqlite3_backup_pagecount(copy);
    if (total > 0) {
      status.Percent(first + (total - sqlite3_backup_remaining(copy)) * (last - first) / total);
    }
    if (rc != SQLITE_OK) break;
  }
  const int finished = sqlite3_backup_finish(copy);
  if (rc != SQLITE_DONE || finished != SQLITE_OK) throw Error(sqlite3_errmsg(dst.getHandle()));
  // The log now holds the whole file; writing it back now also cuts the file down to its
  // new size. Readers that are still on an older view keep that part for later.
  dst.setBusyTimeout(0);
  dst.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

// A hidden name beside `file` with `suffix`, for the work files of backups.
fs::path HiddenBeside(const fs::path& file, const std::string& suffix) {
  return file.parent_path() / ("." + file.filename().string() + suffix);
}

// Backups that give way to the new one are first set aside under this name and deleted
// only once the new backup is in place.
fs::path SetAside(const fs::path& backup) { return HiddenBeside(backup, ".dropped"); }

// What a killed backup left behind: the copy it was writing, and a rotation stopped half way.
// A rotation only sets the oldest backups aside and moves the others up by one, so the
// backups that are left, newest first, followed by those set aside, are the backups as they
// were before it started; they take the names <name>.~1, .~2, ... again in that order, so
// that the gap a stopped rotation leaves does not make the next one drop a backup it should
// keep. Without a trace of a killed run the backups are left exactly as they are.
void CleanUpAfterKilledBackup(const fs::path& target, const fs::path& temp) {
  std::error_code ec;
  const bool killed_copy = fs::exists(fs::symlink_status(temp, ec));
  RemoveDatabaseFiles(temp);
  std::vector<fs::path> kept, aside;
  for (int k = 1; k <= 25; ++k) {
    const fs::path backup = BackupFileName(target, k);
    if (fs::is_regular_file(fs::symlink_status(backup, ec))) kept.push_back(backup);
    if (fs::is_regular_file(fs::symlink_status(SetAside(backup), ec))) {
      aside.push_back(SetAside(backup));
    }
  }
  if (!killed_copy && aside.empty()) return;
  std::vector<fs::path> order = kept;
  order.insert(order.end(), aside.begin(), aside.end());
  // Each file moves to a name no later than its own, which the files before it have left.
  // Past 25 names, files set aside go as the rotation would have dropped them; when a
  // folder or a failed rename is in the way, the rest stay as they are for the next run.
  for (size_t i = 0; i < order.size(); ++i) {
    if (i >= 25) {
      RemoveQuietly(order[i]);
      continue;
    }
    const fs::path name = BackupFileName(target, static_cast<int>(i) + 1);
    if (order[i] == name) continue;
    if (fs::exists(fs::symlink_status(name, ec))) break;
    fs::rename(order[i], name, ec);
    if (ec) break;
  }
}

// The rotation with n = `keep`, then `copy` becomes <name>.~1. With n up to 25 the backups
// B(25) down to B(n) go (a folder in their place stays, as a failed delete leaves it);
// then B(k) moves to B(k + 1) for k = n - 1 down to 1 where nothing is in the way. Every
// step is undone when a later one fails, so that the backups are then as they were; the
// error names the folder.
void RotateBackups(const fs::path& target, int keep, const fs::path& copy) {
  struct Move {
    fs::path from;
    fs::path to;
  };
  std::vector<Move> moves;
  std::vector<fs::path> dropped;
  std::error_code ec;
  auto undo_and_throw = [&](const fs::path& name, const std::error_code& why) {
    std::error_code ignored;
    for (auto m = moves.rbegin(); m != moves.rend(); ++m) fs::rename(m->to, m->from, ignored);
    throw Error("File backup into " + target.parent_path().string() + "/ failed: cannot rename " +
                name.string() + ": " + why.message());
  };
  auto set_aside = [&](const fs::path& backup) {
    auto st = fs::symlink_status(backup, ec);
    if (!fs::exists(st) || fs::is_directory(st)) return;
    fs::path aside = SetAside(backup);
    RemoveQuietly(aside);
    fs::rename(backup, aside, ec);
    if (ec) undo_and_throw(backup, ec);
    moves.push_back({backup, aside});
    dropped.push_back(aside);
  };

  if (keep <= 25) {
    for (int k = 25; k >= keep; --k) set_aside(BackupFileName(target, k));
  }
  // Renames never replace a file that is in the way; such a rename is left out and its
  // file stays as it is.
  for (int k = keep - 1; k >= 1; --k) {
    fs::path older = BackupFileName(target, k);
    fs::path newer = BackupFileName(target, k + 1);
    if (!fs::exists(older, ec) || fs::exists(newer, ec)) continue;
    fs::rename(older, newer, ec);
    if (!ec) moves.push_back({older, newer});
  }
  // A B(1) still there (its move was in the way, above 25 backups) is replaced.
  const fs::path newest = BackupFileName(target, 1);
  set_aside(newest);
  fs::rename(copy, newest, ec);
  if (ec) undo_and_throw(newest, ec);
  for (const fs::path& aside : dropped) RemoveQuietly(aside);
}

}  // namespace

bool IsBlogFileExtension(const fs::path& file) {
  return Lower(file.extension().string()) == ".zdb";
}

fs::path BackupFileName(const fs::path& target, int k) {
  fs::path p = target;
  p.replace_extension(".~" + std::to_string(k));
  return p;
}

void CompactCopy(const fs::path& from, const fs::path& to, Host& host, const std::string& title) {
  StatusWindow status(host, title);
  fs::path folder = to.parent_path().empty() ? fs::path(".") : to.parent_path();
  fs::path temp = folder / ("." + to.filename().string() + ".compacting");
  RemoveDatabaseFiles(temp);
  WriteCompactedCopy(from, temp, FilePermissions(from), status, 0, 99);
  std::error_code ec;
  fs::rename(temp, to, ec);
  if (ec) {
    RemoveDatabaseFiles(temp);
    throw Error("Cannot write " + to.string() + ": " + ec.message());
  }
  status.Percent(100);
  status.Complete();
}

bool BackupBlog(std::unique_ptr<Blog>& blog, Host& host, const std::string& old_location,
                int old_keep) {
  const fs::path file = blog->file();
  const std::string location = blog->options().Text(opt::kBackupLocation);
  const int keep = blog->options().Int(opt::kBackupsToKeep);

  // An empty location would name the root folder; backups then go to the program folder,
  // the option's default.
  std::string folder = location.empty() ? ProgramFolder().string() : location;
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    blog->SetOptionText(opt::kBackupLocation, old_location);
    blog->SetOptionInt(opt::kBackupsToKeep, old_keep);
    host.ShowInformation("File backup cancelled. Unable to create directory: " + folder);
    return false;
  }
  const fs::path target = fs::path(folder) / file.filename();

  if (Lower(location) != Lower(old_location) || keep != old_keep) blog->SaveOptions();

  // The blog is closed for the copy, but its lock is kept: no other program may start
  // changing it in between.
  BlogLock lock = blog->CloseKeepingLock();
  blog.reset();
  // The copy comes first, under a hidden name in the backup folder, so that a copy that
  // fails (on a full disk, say) leaves every backup there as it was; only then the older
  // backups make room and the copy takes the name <name>.~1.
  const fs::path temp = HiddenBeside(BackupFileName(target, 1), ".writing");
  try {
    CleanUpAfterKilledBackup(target, temp);
    StatusWindow status(host, "Compacting Blog File");
    WriteCompactedCopy(file, temp, FilePermissions(file), status, 0, 99);
    status.Percent(100);
    status.Complete();
  } catch (const std::exception& e) {
    RemoveDatabaseFiles(temp);
    blog = Blog::Open(std::move(lock), host);
    throw Error("File backup into " + folder + " failed: " + e.what());
  }
  try {
    RotateBackups(target, keep, temp);
  } catch (...) {
    RemoveDatabaseFiles(temp);
    blog = Blog::Open(std::move(lock), host);
    throw;
  }
  blog = Blog::Open(std::move(lock), host);
  host.ShowInformation("File backup was successfully.");
  return true;
}

void CompactBlog(std::unique_ptr<Blog>& blog, Host& host) {
  const fs::path file = blog->file();
  const fs::path temp = file.string() + ".tmp";
  // The blog is closed for compacting but its lock is kept throughout.
  BlogLock lock = blog->CloseKeepingLock();
  blog.reset();
  // The compacted copy is written beside the file and then copied back into the file
  // through SQLite rather than renamed over it: the file keeps its identity, owner and
  // permissions, and a program reading the blog meanwhile (reading takes no lock) goes on
  // reading a sound file. A file renamed over the blog under such a reader would share
  // its -wal and -shm side files, which are found by name, with the reader's old file.
  try {
    StatusWindow status(host, "Compacting Blog File");
    RemoveDatabaseFiles(temp);  // left by a compact that was killed
    WriteCompactedCopy(file, temp, kOwnerOnly, status, 0, 50);
    CopyPagesInto(temp, file, status, 50, 99);
    RemoveDatabaseFiles(temp);
    status.Percent(100);
    status.Complete();
  } catch (const std::exception& e) {
    RemoveDatabaseFiles(temp);
    blog = Blog::Open(std::move(lock), host);
    throw Error(e.what());
  }
  blog = Blog::Open(std::move(lock), host);
  host.ShowInformation("File compress was successfully.");
}

// --- Repair --------------------------------------------------------------------------------

namespace {

std::function<void(const std::string&)>& StepObserver() {
  static std::function<void(const std::string&)> observer;
  return observer;
}

void StepDone(const std::string& step) {
  if (StepObserver()) StepObserver()(step);
}

fs::path WithSuffix(const fs::path& p, const char* suffix) { return p.string() + suffix; }

fs::path FolderOf(const fs::path& p) {
  return p.parent_path().empty() ? fs::path(".") : p.parent_path();
}

// The side files in which SQLite keeps changes not yet in the database file itself.
constexpr const char* kLogSuffixes[] = {"-wal", "-journal"};

// True when the side file begins as a log or a journal that holds changes does: an empty
// log, or a journal whose header was wiped at its commit, holds none.
bool HoldsChanges(const fs::path& side, const char* suffix) {
  std::ifstream in(side, std::ios::binary);
  unsigned char head[8] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  if (std::string_view(suffix) == "-wal") {
    return head[0] == 0x37 && head[1] == 0x7F && head[2] == 0x06 && (head[3] & 0xFE) == 0x82;
  }
  static constexpr unsigned char kJournal[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
  return std::equal(head, head + 8, kJournal);
}

// True when a log or journal with changes lies beside `file`.
bool LogBeside(const fs::path& file) {
  for (const char* suffix : kLogSuffixes) {
    if (HoldsChanges(WithSuffix(file, suffix), suffix)) return true;
  }
  return false;
}

mode_t FileMode(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
}

// --- Bringing the damaged file to one consistent state

// Folds the write-ahead log beside `file` into it (or rolls a hot journal back), as the next
// connection to the file would, so that the file alone holds every committed change.
// Returns an empty text when no log with changes is left beside it, otherwise why not.
std::string FoldLog(const fs::path& file) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  // Reading the header opens the log without reading the table list, which may be
  // damaged; closing the only connection then copies the log into the file.
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA user_version", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  }
  std::string why = rc == SQLITE_OK ? "" : sqlite3_errmsg(db);
  sqlite3_close(db);
  if (!LogBeside(file)) return {};
  return why.empty() ? "it is in use" : why;
}

// Where the rows are read from.
struct RepairSource {
  fs::path pages;         // the file whose pages are read
  fs::path snapshot;      // a copy made for reading, removed afterwards
  bool log_left = false;  // a log with changes stays beside the blog file
  bool complete = true;   // false when the changes in that log could not be read
};

// Brings the blog file to one consistent state for reading: its log folded into it or,
// when the file cannot take that (it is read-only, or another program still reads it), into
// a copy of file and log made beside the work file.
RepairSource SettleSource(const fs::path& file, const fs::path& repaired, std::ostream& log) {
  RepairSource source;
  source.pages = file;
  if (!LogBeside(file)) return source;
  const std::string why = FoldLog(file);
  if (why.empty()) return source;
  source.log_left = true;
  source.snapshot = WithSuffix(repaired, ".snapshot");
  RemoveDatabaseFiles(source.snapshot);
  std::error_code ec;
  fs::copy_file(file, source.snapshot, ec);
  for (const char* suffix : kLogSuffixes) {
    if (!ec && fs::exists(WithSuffix(file, suffix))) {
      fs::copy_file(WithSuffix(file, suffix), WithSuffix(source.snapshot, suffix), ec);
    }
  }
  if (!ec && FoldLog(source.snapshot).empty()) {
    source.pages = source.snapshot;
    return source;
  }
  log << "The log of recent changes beside the blog file could not be read (" << why
      << "); the changes in it are missing.\n";
  source.complete = false;
  return source;
}

// What copying the rows came to.
struct Recovery {
  bool every_row = false;  // every row is in the repaired file, and it is sound
  int64_t rows = 0;
};

// Copies every row that can be read from `file` into a new file `repaired` (readable as
// the blog file is) and writes what happened to `log`.
Recovery RecoverRows(const fs::path& file, const fs::path& repaired, mode_t mode,
                     StatusWindow& status, RepairSource& source, std::ostream& log) {
  Recovery result;
  RemoveDatabaseFiles(repaired);
  try {
    if (!fs::is_regular_file(file)) throw Error("Cannot open " + file.string());
    source = SettleSource(file, repaired, log);
    int64_t pages = 0;
    store::SalvageReader reader(source.pages, [&](int64_t read) {
      if (pages > 0) status.Percent(static_cast<int>(std::min<int64_t>(99, read * 100 / pages)));
    });
    pages = reader.page_count();
    SQLite::Database target(repaired.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    ::chmod(repaired.c_str(), mode);
    // The file is synced before it replaces anything; until then a crash only costs the
    // work file, which the next repair makes again.
    target.exec("PRAGMA journal_mode = MEMORY");
    target.exec("PRAGMA synchronous = OFF");
    const store::RescueResult rescue = store::RescueRows(reader, target);
    log << rescue.report;
    result.every_row = rescue.every_row && source.complete;
    result.rows = rescue.rows;
    status.Percent(100);
  } catch (const std::exception& e) {
    log << "Repair failed: " << e.what() << "\n";
  }
  return result;
}

// --- Putting the repaired file in place

[[noreturn]] void ThrowFileError(const std::string& what, const fs::path& p, int err) {
  throw Error(what + " " + p.string() + ": " + std::strerror(err));
}

void SyncFile(const fs::path& p) {
  const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowFileError("Cannot open", p, errno);
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0) ThrowFileError("Cannot write", p, err);
}

void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void Rename(const fs::path& from, const fs::path& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) ThrowFileError("Cannot rename", from, errno);
}

// Gives `from` the second name `to` (replacing `to` in one step): a hard link, or a synced
// copy where the file system has none.
void LinkOrCopy(const fs::path& from, const fs::path& to) {
  const fs::path temp = FolderOf(to) / ("." + to.filename().string() + ".linking");
  RemoveQuietly(temp);
  if (::link(from.c_str(), temp.c_str()) != 0) {
    std::error_code ec;
    fs::copy_file(from, temp, ec);
    if (ec) {
      RemoveQuietly(temp);
      throw Error("Cannot copy " + from.string() + ": " + ec.message());
    }
    SyncFile(temp);
  }
  Rename(temp, to);
  // When `to` already was a name of the same file, the rename did nothing.
  RemoveQuietly(temp);
}

// The repaired file, complete and synced, under a temporary name in the blog's folder (the
// work file may lie on another file system), with the blog file's permissions.
void StageBeside(const fs::path& repaired, const fs::path& staged, mode_t mode) {
  RemoveQuietly(staged);
  if (::link(repaired.c_str(), staged.c_str()) != 0) {
    std::error_code ec;
    fs::copy_file(repaired, staged, ec);
    if (ec) {
      RemoveQuietly(staged);
      throw Error("Cannot copy " + repaired.string() + ": " + ec.message());
    }
  }
  ::chmod(staged.c_str(), mode);
  SyncFile(staged);
}

// The blog file, as it is, also under its ".old" name. The side files of an earlier ".old"
// would be read as the new one's own log, so they go first. When the blog's log could not
// be folded into it, the log goes along with it.
void KeepOldFile(const fs::path& file, bool with_log) {
  fs::path old = file;
  old.replace_extension(".old");
  for (const char* suffix : {"-wal", "-shm", "-journal"}) RemoveQuietly(WithSuffix(old, suffix));
  LinkOrCopy(file, old);
  if (!with_log) return;
  for (const char* suffix : kLogSuffixes) {
    std::error_code ec;
    if (fs::exists(WithSuffix(file, suffix), ec)) {
      LinkOrCopy(WithSuffix(file, suffix), WithSuffix(old, suffix));
    }
  }
}

// A log left beside the blog's path would be read as the repaired file's own and damage it.
void ClearSideFiles(const fs::path& file) {
  for (const char* suffix : {"-wal", "-journal", "-shm"}) {
    const fs::path side = WithSuffix(file, suffix);
    std::error_code ec;
    fs::remove(side, ec);
    if (fs::exists(side, ec)) throw Error("Cannot remove " + side.string());
  }
}

// Puts the repaired file in the blog file's place so that at every moment a whole blog is
// at the blog's path: the repaired file is first made complete in the blog's folder, the
// blog file then gets its second name ".old", and a single rename swaps the repaired file
// in. Only while the two files change places does the blog's path hold the old file without
// a log that could not be folded into it (that log then lies beside the ".old" file).
bool ReplaceWithRepaired(const fs::path& file, const fs::path& repaired, mode_t mode, bool with_log,
                         std::ostream& log) {
  const fs::path staged = FolderOf(file) / ("." + file.filename().string() + ".repaired");
  bool cleared = false;
  try {
    StageBeside(repaired, staged, mode);
    // Locked before it takes the blog's name, so that no other program finds an unlocked
    // blog at the path while this repair still works on it.
    const BlogLock staged_lock(staged);
    StepDone("staged");
    KeepOldFile(file, with_log);
    StepDone("old kept");
    ClearSideFiles(file);
    cleared = true;
    StepDone("side files cleared");
    Rename(staged, file);
    StepDone("swapped");
    SyncFolder(FolderOf(file));
    RemoveDatabaseFiles(repaired);
    return true;
  } catch (const Error& e) {
    RemoveQuietly(staged);
    if (cleared && with_log) {
      fs::path old = file;
      old.replace_extension(".old");
      for (const char* suffix : kLogSuffixes) {
        ::link(WithSuffix(old, suffix).c_str(), WithSuffix(file, suffix).c_str());
      }
    }
    log << "Cannot replace " << file.string() << ": " << e.what() << "\n";
    return false;
  }
}

// Keeps the repaired file under a numbered name of its own beside the work file, which no
// later repair removes, and says where it is.
void KeepRecoveredCopy(const fs::path& file, const fs::path& repaired, int64_t rows,
                       std::ostream& log) {
  std::error_code ec;
  if (rows == 0 || !fs::exists(repaired, ec)) {
    RemoveDatabaseFiles(repaired);
    return;
  }
  for (int n = 1; n < 100000; ++n) {
    const fs::path copy =
        FolderOf(repaired) / (file.stem().string() + "-recovered-" + std::to_string(n) + ".zdb");
    // A hard link never replaces a file; without hard links, a rename after a look.
    bool kept = ::link(repaired.c_str(), copy.c_str()) == 0;
    if (!kept && errno == EEXIST) continue;
    if (!kept) {
      if (fs::exists(copy, ec)) continue;
      fs::rename(repaired, copy, ec);
      if (ec) break;
    }
    RemoveQuietly(repaired);
    log << "The rows recovered are in " << copy.string() << ". The damaged file " << file.string()
        << " was left in place.\n";
    return;
  }
  log << "The rows recovered are in " << repaired.string() << " until the next repair.\n";
}

fs::path DefaultRepairFile() {
  // The program file's name with ".new", in the program folder (which, unlike the
  // program file's own folder, is always writable).
  fs::path repaired = ProgramFolder() / ProgramFile().filename();
  repaired.replace_extension(".new");
  return repaired;
}

}  // namespace

void SetRepairStepObserver(std::function<void(const std::string&)> observer) {
  StepObserver() = std::move(observer);
}

bool RepairBlog(const fs::path& file, Host& host, std::string* log_out, const fs::path& work_file) {
  const std::optional<BlogLock> lock = BlogLock::IfOpenable(file);
  const fs::path repaired = work_file.empty() ? DefaultRepairFile() : work_file;
  const mode_t mode = FileMode(file);
  std::ostringstream log;
  log << "\n";
  RepairSource source;
  Recovery recovery;
  {
    StatusWindow status(host, "Repairing Blog File");
    recovery = RecoverRows(file, repaired, mode, status, source, log);
    status.Complete();
  }
  const bool replaced =
      recovery.every_row && ReplaceWithRepaired(file, repaired, mode, source.log_left, log);
  if (!replaced) KeepRecoveredCopy(file, repaired, recovery.rows, log);
  if (!source.snapshot.empty()) RemoveDatabaseFiles(source.snapshot);

  const std::string text = log.str();
  if (log_out) *log_out = text;
  host.ShowInformation(replaced ? "All data repaired successfully."
                                : "Some problems could not be repaired. See repair log:" + text);
  return replaced;
}

}  // namespace tessavo
