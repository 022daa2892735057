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
#include <sstream>
#include <system_error>
#include <vector>

#include "store/blog.h"
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
// the source's pages in use.
struct CopyProgress {
  StatusWindow* status;
  std::string temp;
  int64_t expected;
};

int OnVacuumProgress(void* arg) {
  auto* p = static_cast<CopyProgress*>(arg);
  struct stat st {};
  if (p->expected > 0 && ::stat(p->temp.c_str(), &st) == 0) {
    p->status->Percent(static_cast<int>(std::min<int64_t>(99, st.st_size * 100 / p->expected)));
  }
  return 0;
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
  std::string temp = (folder / ("." + to.filename().string() + ".compacting")).string();
  RemoveDatabaseFiles(temp);
  try {
    // Read-write, so that closing the connection folds the write-ahead log back into the
    // file instead of leaving its side files behind.
    SQLite::Database db(from.string(), SQLite::OPEN_READWRITE);
    int64_t pages = db.execAndGet("PRAGMA page_count").getInt64();
    int64_t free_pages = db.execAndGet("PRAGMA freelist_count").getInt64();
    int64_t page_size = db.execAndGet("PRAGMA page_size").getInt64();
    CopyProgress progress{&status, temp, (pages - free_pages) * page_size};
    status.Percent(0);
    sqlite3_progress_handler(db.getHandle(), 2000, OnVacuumProgress, &progress);
    SQLite::Statement vacuum(db, "VACUUM INTO ?");
    vacuum.bind(1, temp);
    vacuum.exec();
    sqlite3_progress_handler(db.getHandle(), 0, nullptr, nullptr);
  } catch (const std::exception& e) {
    RemoveDatabaseFiles(temp);
    throw Error(e.what());
  }
  std::error_code ec;
  fs::rename(temp, to, ec);
  if (ec) {
    RemoveDatabaseFiles(temp);
    throw Error("Cannot write " + to.string() + ": " + ec.message());
  }
  status.Percent(100);
  status.Complete();
}

bool BackupBlog(std::unique_ptr<Blog>& blog, const std::string& old_location, int old_keep) {
  Host& host = blog->host();
  const fs::path file = blog->file();
  const std::string location = blog->options.Text(opt::kBackupLocation);
  const int keep = blog->options.Int(opt::kBackupsToKeep);

  // An empty location would name the root folder; backups then go to the program folder,
  // the option's default.
  std::string folder = location.empty() ? ProgramFolder().string() : location;
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    blog->options.SetText(opt::kBackupLocation, old_location);
    blog->options.SetInt(opt::kBackupsToKeep, old_keep);
    host.ShowInformation("File backup cancelled. Unable to create directory: " + folder);
    return false;
  }
  const fs::path target = fs::path(folder) / file.filename();

  if (Lower(location) != Lower(old_location) || keep != old_keep) blog->SaveOptions();

  // Rotation: <name>.~1 is the newest. Renames never replace a file that is in the way;
  // such a rename fails and leaves its file as it is.
  if (keep <= 25) {
    for (int k = 25; k >= keep; --k) RemoveQuietly(BackupFileName(target, k));
  }
  for (int k = keep - 1; k >= 1; --k) {
    fs::path older = BackupFileName(target, k);
    fs::path newer = BackupFileName(target, k + 1);
    if (!fs::exists(older, ec) || fs::exists(newer, ec)) continue;
    fs::rename(older, newer, ec);
  }

  blog.reset();
  try {
    CompactCopy(file, BackupFileName(target, 1), host);
  } catch (const Error&) {
    blog = Blog::Open(file, host);
    throw;
  }
  blog = Blog::Open(file, host);
  host.ShowInformation("File backup was successfully.");
  return true;
}

void CompactBlog(std::unique_ptr<Blog>& blog) {
  Host& host = blog->host();
  const fs::path file = blog->file();
  const fs::path temp = file.string() + ".tmp";
  blog.reset();
  try {
    CompactCopy(file, temp, host);
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
      RemoveQuietly(temp);
      throw Error("Cannot write " + file.string() + ": " + ec.message());
    }
  } catch (const Error&) {
    blog = Blog::Open(file, host);
    throw;
  }
  blog = Blog::Open(file, host);
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
