#include "store/maintenance.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

#include "store/blog.h"
#include "store/blog_lock.h"
#include "store/file_mode.h"
#include "store/options.h"
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

// What a killed backup left behind: the copy it was writing, and backups it had set aside,
// which go back to their names when those are free (the rotation then treats them as
// usual) and are deleted otherwise.
void CleanUpAfterKilledBackup(const fs::path& target, const fs::path& temp) {
  RemoveDatabaseFiles(temp);
  std::error_code ec;
  for (int k = 0; k <= 25; ++k) {
    fs::path backup = BackupFileName(target, k);
    fs::path aside = SetAside(backup);
    if (!fs::is_regular_file(fs::symlink_status(aside, ec))) continue;
    if (fs::exists(fs::symlink_status(backup, ec))) {
      RemoveQuietly(aside);
    } else {
      fs::rename(aside, backup, ec);
    }
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

void CompactBlog(std::unique_ptr<Blog>& blog) {
  Host& host = blog->host();
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

struct TableCopy {
  int64_t rows = 0;
  int errors = 0;
};

std::vector<std::string> ColumnNames(SQLite::Database& db, const std::string& table) {
  std::vector<std::string> cols;
  SQLite::Statement q(db, "SELECT name FROM pragma_table_info(?)");
  q.bind(1, table);
  while (q.executeStep()) cols.push_back(q.getColumn(0).getString());
  return cols;
}

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Copies every row of `table` that can still be read. A damaged page ends a scan; the scan
// then goes on behind it (found by seeking ever further by row number), and the row numbers
// it jumped over are looked up one by one so that rows on sound pages are not lost.
TableCopy CopyRows(SQLite::Database& src, SQLite::Database& dst, const std::string& table,
                   std::ostringstream& log) {
  TableCopy result;
  std::vector<std::string> cols = ColumnNames(dst, table);
  std::vector<std::string> src_cols;
  try {
    src_cols = ColumnNames(src, table);
  } catch (const std::exception& e) {
    log << table << ": cannot read the layout: " << e.what() << "\n";
    ++result.errors;
    return result;
  }
  std::vector<std::string> common;
  for (const auto& c : cols) {
    if (std::find(src_cols.begin(), src_cols.end(), c) != src_cols.end()) common.push_back(c);
  }
  if (common.empty()) {
    log << table << ": no readable fields\n";
    ++result.errors;
    return result;
  }
  std::string list;
  std::string marks;
  for (const auto& c : common) {
    list += (list.empty() ? "" : ", ") + Quoted(c);
    marks += marks.empty() ? "?" : ", ?";
  }
  SQLite::Statement insert(dst, "INSERT INTO " + Quoted(table) + " (" + list + ") VALUES (" +
                                    marks + ")");
  const std::string select = "SELECT rowid, " + list + " FROM " + Quoted(table);
  std::set<int64_t> copied;

  auto copy_row = [&](SQLite::Statement& q) {
    int64_t rowid = q.getColumn(0).getInt64();
    if (!copied.insert(rowid).second) return;
    try {
      insert.reset();
      insert.clearBindings();
      for (int i = 0; i < static_cast<int>(common.size()); ++i) {
        SQLite::Column col = q.getColumn(i + 1);
        switch (col.getType()) {
          case SQLITE_INTEGER: insert.bind(i + 1, col.getInt64()); break;
          case SQLITE_FLOAT: insert.bind(i + 1, col.getDouble()); break;
          case SQLITE_TEXT: insert.bind(i + 1, col.getString()); break;
          case SQLITE_BLOB: insert.bind(i + 1, col.getBlob(), col.getBytes()); break;
          default: insert.bind(i + 1); break;
        }
      }
      insert.exec();
      ++result.rows;
    } catch (const std::exception& e) {
      log << table << ": row " << rowid << " could not be stored: " << e.what() << "\n";
      ++result.errors;
    }
  };

  std::vector<std::pair<int64_t, int64_t>> gaps;  // row numbers [first, last) jumped over
  int64_t next = INT64_MIN;
  while (true) {
    try {
      SQLite::Statement q(src, select + " WHERE rowid >= ? ORDER BY rowid");
      q.bind(1, next);
      while (q.executeStep()) {
        next = q.getColumn(0).getInt64() + 1;
        copy_row(q);
      }
      break;
    } catch (const std::exception& e) {
      log << table << ": read error after row " << (next == INT64_MIN ? 0 : next - 1) << ": "
          << e.what() << "\n";
      ++result.errors;
    }
    // Seek behind the damage.
    int64_t base = next == INT64_MIN ? 0 : next;
    bool resumed = false;
    for (int64_t delta = 1; delta > 0 && delta <= (int64_t{1} << 40); delta *= 2) {
      try {
        SQLite::Statement probe(src, "SELECT rowid FROM " + Quoted(table) +
                                         " WHERE rowid >= ? ORDER BY rowid LIMIT 1");
        probe.bind(1, base + delta);
        if (!probe.executeStep()) break;  // nothing behind the damage
        int64_t found = probe.getColumn(0).getInt64();
        gaps.emplace_back(base, found);
        next = found;
        resumed = true;
        break;
      } catch (const std::exception&) {
      }
    }
    if (!resumed) {
      // Damage up to the end: look up to the highest number ever handed out.
      int64_t last = base + (int64_t{1} << 16);
      try {
        SQLite::Statement seq(src, "SELECT seq FROM sqlite_sequence WHERE name = ?");
        seq.bind(1, table);
        if (seq.executeStep()) last = std::max(last, seq.getColumn(0).getInt64() + 1);
      } catch (const std::exception&) {
      }
      gaps.emplace_back(base, last);
      break;
    }
  }

  // Rows in the jumped-over ranges that sit on sound pages.
  constexpr int64_t kMaxLookups = int64_t{1} << 20;
  SQLite::Statement lookup(src, select + " WHERE rowid = ?");
  for (auto [first, last] : gaps) {
    if (last - first > kMaxLookups) last = first + kMaxLookups;
    for (int64_t rowid = first; rowid < last; ++rowid) {
      if (copied.count(rowid)) continue;
      try {
        lookup.tryReset();
        lookup.bind(1, rowid);
        if (lookup.executeStep()) copy_row(lookup);
      } catch (const std::exception&) {
        // A row on a damaged page: counted by the scan's error above.
      }
    }
  }
  return result;
}

// Renames `from` to `to`; across file systems, copies into the target folder first.
void MoveFile(const fs::path& from, const fs::path& to, std::error_code& ec) {
  fs::rename(from, to, ec);
  if (!ec || ec != std::errc::cross_device_link) return;
  fs::path temp = to.parent_path() / ("." + to.filename().string() + ".moving");
  ec.clear();
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, to, ec);
  std::error_code ignored;
  if (ec) fs::remove(temp, ignored);
  else fs::remove(from, ignored);
}

struct SchemaObject {
  std::string type, name, sql;
};

}  // namespace

bool RepairBlog(const fs::path& file, Host& host, std::string* log_out,
                const fs::path& work_file) {
  const std::optional<BlogLock> lock = BlogLock::IfOpenable(file);
  fs::path repaired = work_file;
  if (repaired.empty()) {
    // The program file's name with ".new", in the program folder (which, unlike the
    // program file's own folder, is always writable).
    repaired = ProgramFolder() / ProgramFile().filename();
    repaired.replace_extension(".new");
  }
  std::ostringstream log;
  bool sound = true;
  {
    StatusWindow status(host, "Repairing Blog File");
    RemoveDatabaseFiles(repaired);
    try {
      if (!fs::is_regular_file(file)) throw Error("Cannot open " + file.string());
      SQLite::Database src(file.string(), SQLite::OPEN_READONLY);
      SQLite::Database dst(repaired.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);

      // The damaged file's own integrity check.
      try {
        SQLite::Statement check(src, "PRAGMA integrity_check(100)");
        std::vector<std::string> problems;
        while (check.executeStep()) problems.push_back(check.getColumn(0).getString());
        if (!(problems.size() == 1 && problems[0] == "ok")) {
          sound = false;
          log << "Integrity check:\n";
          for (const auto& p : problems) log << "  " << p << "\n";
        }
      } catch (const std::exception& e) {
        sound = false;
        log << "Integrity check failed: " << e.what() << "\n";
      }

      // Tables and indexes in the damaged file's own layout (so that an older file version
      // is upgraded as usual when it is opened); the current layout for a blog table whose
      // definition cannot be read.
      std::vector<SchemaObject> objects;
      try {
        SQLite::Statement q(src,
                            "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                            "AND name NOT LIKE 'sqlite_%' AND type IN ('table', 'index') "
                            "ORDER BY type DESC, rowid");
        while (q.executeStep()) {
          objects.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(),
                             q.getColumn(2).getString()});
        }
      } catch (const std::exception& e) {
        sound = false;
        objects.clear();
        log << "Table list unreadable: " << e.what() << "\n";
      }
      std::vector<std::string> tables;
      for (const auto& o : objects) {
        if (o.type != "table") continue;
        try {
          dst.exec(o.sql);
          tables.push_back(o.name);
        } catch (const std::exception& e) {
          log << o.name << ": cannot be created as it was: " << e.what() << "\n";
        }
      }
      for (const char* name : store::kTableNames) {
        if (std::find(tables.begin(), tables.end(), name) != tables.end()) continue;
        if (!store::TableExists(dst, name)) store::CreateTable(dst, name);
        tables.push_back(name);
        bool listed = std::any_of(objects.begin(), objects.end(),
                                  [&](const SchemaObject& o) { return o.name == name; });
        if (!listed) {
          sound = false;
          log << name << ": missing from the damaged file; created empty\n";
        }
      }

      // Rows, table by table, in one transaction.
      SQLite::Transaction tx(dst);
      int done = 0;
      for (const auto& table : tables) {
        TableCopy copy = CopyRows(src, dst, table, log);
        log << table << ": " << copy.rows << " rows recovered";
        if (copy.errors > 0) log << ", " << copy.errors << " errors";
        log << "\n";
        if (copy.errors > 0) sound = false;
        status.Percent(static_cast<int>(++done * 100 / tables.size()));
      }
      // Auto-number counters, so that no number is handed out twice.
      try {
        SQLite::Statement seq(src, "SELECT name, seq FROM sqlite_sequence");
        while (seq.executeStep()) {
          SQLite::Statement up(dst, "UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?");
          up.bind(1, seq.getColumn(1).getInt64());
          up.bind(2, seq.getColumn(0).getString());
          up.exec();
          if (dst.getChanges() == 0) {
            SQLite::Statement ins(dst, "INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)");
            ins.bind(1, seq.getColumn(0).getString());
            ins.bind(2, seq.getColumn(1).getInt64());
            ins.exec();
          }
        }
      } catch (const std::exception& e) {
        log << "Auto-number counters unreadable: " << e.what() << "\n";
      }
      tx.commit();

      // Indexes are built afresh from the copied rows.
      for (const auto& o : objects) {
        if (o.type != "index") continue;
        try {
          dst.exec(o.sql);
        } catch (const std::exception& e) {
          sound = false;
          log << o.name << ": index cannot be rebuilt: " << e.what() << "\n";
        }
      }
    } catch (const std::exception& e) {
      sound = false;
      log << "Repair failed: " << e.what() << "\n";
    }
    status.Complete();
  }
  std::string text = log.str();
  if (log_out) *log_out = text;

  if (sound) {
    fs::path old = file;
    old.replace_extension(".old");
    std::error_code ec;
    fs::remove(old, ec);
    fs::rename(file, old, ec);
    if (!ec) {
      MoveFile(repaired, file, ec);
      std::error_code back;
      if (ec) fs::rename(old, file, back);
    }
    if (ec) {
      sound = false;
      text += "Cannot replace " + file.string() + ": " + ec.message() + "\n";
      if (log_out) *log_out = text;
    }
  }
  if (sound) {
    host.ShowInformation("All data repaired successfully.");
  } else {
    host.ShowInformation("Some problems could not be repaired. See repair log:" + text);
  }
  return sound;
}

}  // namespace tessavo
