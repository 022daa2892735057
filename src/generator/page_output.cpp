#include "generator/page_output.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>
#include <vector>

#include "util/crc32.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"

namespace fs = std::filesystem;

namespace tessavo {

namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string SqlMessage(const Blog& blog, const std::exception& e) {
  return "Cannot save the page records of " + blog.file().string() + ": " + e.what();
}

}  // namespace

std::string RefusedNameLine(const std::string& name) {
  return "*** Error: \"" + name + "\" is not a plain file name and is skipped ***";
}

PageWriter::PageWriter(Blog& blog, Host& host, fs::path output_folder)
    : blog_(&blog), host_(&host), folder_(std::move(output_folder)) {
  std::vector<PageRecord> pages = blog.Pages();
  records_.reserve(pages.size() * 2 + 64);
  for (PageRecord& rec : pages) {
    std::string key = rec.key;
    PageRecord saved = rec;
    records_.emplace(std::move(key), Slot{std::move(rec), std::move(saved), true});
  }
}

PageWriter::~PageWriter() {
  try {
    Flush();
  } catch (...) {
    // A destructor must not throw; the run has already reported its own failure.
  }
}

void PageWriter::ResetGeneratedCrcs() {
  for (auto& [key, slot] : records_) slot.rec.generated = 0;
}

PageWriter::Slot* PageWriter::FindSlot(const std::string& key) {
  auto it = records_.find(key);
  return it == records_.end() ? nullptr : &it->second;
}

const PageRecord* PageWriter::Find(const std::string& key) const {
  auto it = records_.find(key);
  return it == records_.end() ? nullptr : &it->second.rec;
}

bool PageWriter::CheckName(const std::string& name) {
  if (IsBareFileName(name)) return true;
  host_->PublishLogLineColored(LogColor::kRed, RefusedNameLine(name));
  return false;
}

void PageWriter::ListFolder() {
  if (listed_) return;
  listed_ = true;
  std::error_code ec;
  for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_regular_file(type_ec)) present_.insert(it->path().filename().string());
  }
}

bool PageWriter::LocalFileExists(const std::string& name) {
  ListFolder();
  return present_.count(name) != 0;
}

void PageWriter::WriteOutputFile(const std::string& name, std::string_view bytes) {
  ListFolder();
  const Slot* slot = FindSlot(name);
  if (present_.count(name) == 0 && (slot == nullptr || !slot->stored)) {
    // Neither a file nor a stored record has this name: a file cut short by a crash is not
    // claimed by any record and is written again by the next run, so the temporary file
    // and rename (which cost most of a first run's time) are not needed.
    WriteNewFile(folder_ / name, bytes);
  } else {
    WriteFileAtomic(folder_ / name, bytes);
  }
  present_.insert(name);
}

PageWriter::Change PageWriter::RecordGenerated(const std::string& key, int32_t crc,
                                               int* counter,
                                               const std::function<void()>& write) {
  if (Slot* slot = FindSlot(key)) {
    PageRecord rec = slot->rec;
    rec.generated = crc;
    Change change = Change::kNone;
    if (crc != rec.existing) {
      rec.local = crc;
      host_->PublishLogLine("... " + key + " has changes.");
      if (counter) ++*counter;
      write();  // the record is saved after the file is written
      change = Change::kChanged;
    }
    slot->rec = rec;
    return change;
  }
  host_->PublishLogLine("..." + key + " is new.");
  if (counter) ++*counter;
  records_.emplace(key, Slot{PageRecord{key, 0, crc, crc}, PageRecord{}, false});
  write();  // the new record stays even when the write fails
  return Change::kNew;
}

void PageWriter::RepairLocal(const std::string& key, int32_t crc,
                             const std::function<void()>& write) {
  Slot* slot = FindSlot(key);
  if (slot && slot->rec.local == crc && LocalFileExists(key)) return;
  write();
  slot = FindSlot(key);
  if (slot) slot->rec.local = crc;
}

void PageWriter::WritePage(const std::string& name, std::string_view text) {
  host_->PublishLogLine("...building page " + name);
  if (!CheckName(name)) return;
  const int32_t crc = CrcToSigned(CalculateCRC32String(text));
  auto write = [&] { WriteOutputFile(name, text); };
  try {
    RecordGenerated(name, crc, &counters_.pages_changed, write);
    RepairLocal(name, crc, write);
  } catch (...) {
    try {
      Flush();
    } catch (...) {
      // The write error is the one the person needs to see.
    }
    throw;
  }
}

void PageWriter::TrackStoredFile(StoredFileKind kind, const std::string& name, int32_t crc,
                                 const std::function<std::string()>& bytes) {
  if (!CheckName(name)) return;
  int* counter =
      kind == StoredFileKind::kPicture ? &counters_.pictures_changed : &counters_.files_changed;
  std::string data;
  bool loaded = false;
  auto write = [&] {
    if (!loaded) {
      data = bytes();
      loaded = true;
    }
    WriteOutputFile(name, data);
  };
  RecordGenerated(name, crc, counter, write);
  RepairLocal(name, crc, write);
}

void PageWriter::CopyPicturesAndFiles(const std::string& home_page_file) {
  for (const StoredFile& pic : blog_->Pictures()) {
    host_->PublishLogLine("processing picture " + pic.name);
    try {
      const int32_t key = pic.key;
      TrackStoredFile(StoredFileKind::kPicture, pic.name, pic.crc,
                      [&] { return blog_->PictureBytes(key); });
    } catch (const std::exception&) {
      // An error inside one row skips the rest of that row only.
    }
  }
  for (const StoredFile& file : blog_->Files()) {
    host_->PublishLogLine("processing file " + file.name);
    std::string name = file.name;
    if (!home_page_file.empty() && EqualsIgnoreCase(name, home_page_file)) {
      index_page_overwritten_ = true;
      host_->PublishLogLineColored(LogColor::kGreen,
                                   "*** This page will overwrite the Blog Index Page ***");
      // The file takes the home page's own file and record, whatever its letter case.
      name = home_page_file;
    }
    try {
      const int32_t key = file.key;
      TrackStoredFile(StoredFileKind::kFile, name, file.crc,
                      [&] { return blog_->FileBytes(key); });
    } catch (const std::exception&) {
    }
  }
}

void PageWriter::RemoveOrphans() {
  std::vector<std::string> orphans;
  for (const auto& [key, slot] : records_) {
    if (slot.rec.generated == 0) orphans.push_back(key);
  }
  std::sort(orphans.begin(), orphans.end());
  for (const std::string& key : orphans) {
    host_->PublishLogLine("...Removing orphan page " + key);
    if (CheckName(key)) {
      std::error_code ec;
      fs::remove(folder_ / key, ec);
      present_.erase(key);
    }
    ++counters_.pages_removed;
  }
}

void PageWriter::Flush() {
  std::vector<Slot*> dirty;
  for (auto& [key, slot] : records_) {
    if (!slot.stored || !(slot.rec == slot.saved)) dirty.push_back(&slot);
  }
  if (dirty.empty()) return;
  try {
    SQLite::Database& db = blog_->db();
    SQLite::Transaction tr(db);
    SQLite::Statement update(db,
                             "UPDATE tblPages SET PageCRCExisting = ?, PageCRCNew = ?, "
                             "PageCRCLocal = ? WHERE PageKey = ?");
    SQLite::Statement insert(db,
                             "INSERT INTO tblPages (PageKey, PageCRCExisting, PageCRCNew, "
                             "PageCRCLocal) VALUES (?, ?, ?, ?)");
    for (Slot* slot : dirty) {
      const PageRecord& r = slot->rec;
      SQLite::Statement& q = slot->stored ? update : insert;
      if (slot->stored) {
        q.bind(1, r.existing);
        q.bind(2, r.generated);
        q.bind(3, r.local);
        q.bind(4, r.key);
      } else {
        q.bind(1, r.key);
        q.bind(2, r.existing);
        q.bind(3, r.generated);
        q.bind(4, r.local);
      }
      q.exec();
      q.reset();
    }
    tr.commit();
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error(SqlMessage(*blog_, e));
  }
  for (Slot* slot : dirty) {
    slot->saved = slot->rec;
    slot->stored = true;
  }
}

namespace {

// Runs one of the two mark commands: the question, the status window, one pass over the
// records in PageKey order inside one transaction, and the closing status line.
bool MarkAll(Blog& blog, Host& host, const std::string& question, const std::string& title,
             bool published) {
  if (!host.ConfirmYesNo(question)) return false;
  host.ShowStatus();
  host.SetStatus(title);
  try {
    std::vector<PageRecord> pages = blog.Pages();  // each record visited exactly once
    SQLite::Database& db = blog.db();
    SQLite::Transaction tr(db);
    SQLite::Statement set_existing(db,
                                   "UPDATE tblPages SET PageCRCExisting = ? WHERE PageKey = ?");
    SQLite::Statement remove(db, "DELETE FROM tblPages WHERE PageKey = ?");
    for (const PageRecord& rec : pages) {
      host.SetStatus("Marking " + rec.key);
      if (published && rec.generated == 0) {
        remove.bind(1, rec.key);
        remove.exec();
        remove.reset();
        continue;
      }
      set_existing.bind(1, published ? rec.generated : 0);
      set_existing.bind(2, rec.key);
      set_existing.exec();
      set_existing.reset();
    }
    tr.commit();
  } catch (const std::exception& e) {
    host.CloseStatus();
    if (dynamic_cast<const Error*>(&e)) throw;
    throw Error(SqlMessage(blog, e));
  }
  host.SetStatus(title + " complete");
  host.CloseStatus();
  return true;
}

}  // namespace

bool MarkAllAsNew(Blog& blog, Host& host) {
  return MarkAll(blog, host, "Mark all Blog Pages as NOT Published?",
                 "Marking all Blog Pages as NOT Published", false);
}

bool MarkAllAsPublished(Blog& blog, Host& host) {
  return MarkAll(blog, host, "Mark all Blog Pages as Published?",
                 "Marking all Blog Pages as Published", true);
}

}  // namespace tessavo
