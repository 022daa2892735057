#include "generator/page_output.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "util/crc32.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace tessavo {

std::string RefusedNameLine(const std::string& name) {
  return "*** Error: \"" + ShowControlCharacters(name) +
         "\" is not a plain file name and is skipped ***";
}

std::string UnwritableNameLine(const std::string& name) {
  if (!IsBareFileName(name)) return RefusedNameLine(name);
  if (HasControlCharacter(name)) {
    return "*** Error: \"" + ShowControlCharacters(name) +
           "\" holds a control character and is skipped ***";
  }
  if (name.size() > kMaxWritableNameBytes) {
    return "*** Error: \"" + name + "\" is too long for a file name (" +
           std::to_string(name.size()) + " bytes, at most " +
           std::to_string(kMaxWritableNameBytes) + ") and is skipped ***";
  }
  return {};
}

PageWriter::PageWriter(Blog& blog, Host& host, fs::path output_folder)
    : blog_(&blog), host_(&host), folder_(std::move(output_folder)) {
  // Keys that read as the same text come first in key order (see PagesInStorageOrder):
  // the first of them keeps the record.
  for (PageRecord& rec : blog.PagesInStorageOrder()) {
    const size_t hash = HashKey(rec.key);
    if (FindSlot(rec.key, hash) == kNoSlot) AddSlot(std::move(rec), true, hash);
  }
}

PageWriter::~PageWriter() {
  try {
    Flush();
  } catch (...) {
    // A destructor must not throw; the run has already reported its own failure.
  }
}

size_t PageWriter::HashKey(std::string_view key) { return std::hash<std::string_view>()(key); }

uint32_t PageWriter::FindSlot(std::string_view key, size_t hash) const {
  if (buckets_.empty()) return kNoSlot;
  const size_t mask = buckets_.size() - 1;
  for (size_t b = hash & mask;; b = (b + 1) & mask) {
    const uint32_t i = buckets_[b];
    if (i == kNoSlot) return kNoSlot;
    if (slots_[i].hash == hash && slots_[i].rec.key == key) return i;
  }
}

uint32_t PageWriter::AddSlot(PageRecord rec, bool stored, size_t hash) {
  // At most half the buckets in use keeps the probes short.
  if ((slots_.size() + 1) * 2 > buckets_.size()) {
    Rehash(std::max<size_t>(64, buckets_.size() * 2));
  }
  Slot slot;
  slot.hash = hash;
  slot.stored = stored;
  if (stored) {
    slot.saved_existing = rec.existing;
    slot.saved_generated = rec.generated;
    slot.saved_local = rec.local;
  }
  // A file listed before its record was made moves into the record.
  if (listed_) slot.present = unrecorded_files_.erase(rec.key) != 0;
  slot.rec = std::move(rec);
  const uint32_t index = static_cast<uint32_t>(slots_.size());
  const size_t mask = buckets_.size() - 1;
  size_t b = slot.hash & mask;
  while (buckets_[b] != kNoSlot) b = (b + 1) & mask;
  buckets_[b] = index;
  slots_.push_back(std::move(slot));
  return index;
}

void PageWriter::Rehash(size_t buckets) {
  buckets_.assign(buckets, kNoSlot);
  const size_t mask = buckets - 1;
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    size_t b = slots_[i].hash & mask;
    while (buckets_[b] != kNoSlot) b = (b + 1) & mask;
    buckets_[b] = i;
  }
}

void PageWriter::ResetGeneratedCrcs() {
  for (Slot& slot : slots_) slot.rec.generated = 0;
}

const PageRecord* PageWriter::Find(const std::string& key) const {
  const uint32_t i = FindSlot(key);
  return i == kNoSlot ? nullptr : &slots_[i].rec;
}

bool PageWriter::CheckName(const std::string& name) {
  const std::string refusal = UnwritableNameLine(name);
  if (refusal.empty()) return true;
  host_->PublishLogLineColored(LogColor::kRed, refusal);
  return false;
}

FolderHandle& PageWriter::Folder() {
  // A folder that cannot be opened yet is tried again at the next operation; meanwhile
  // the handle works through full paths.
  if (!folder_handle_ || !folder_handle_->is_open()) {
    folder_handle_ = std::make_unique<FolderHandle>(folder_);
  }
  return *folder_handle_;
}

void PageWriter::ListFolder() {
  if (listed_) return;
  listed_ = true;
  Folder().ForEachRegularFile([&](std::string_view name) {
    const uint32_t i = FindSlot(name);
    if (i != kNoSlot) {
      slots_[i].present = true;
    } else {
      unrecorded_files_.emplace(name);
    }
  });
}

bool PageWriter::Present(uint32_t slot) {
  ListFolder();
  return slots_[slot].present;
}

void PageWriter::WriteNamed(const std::string& name, std::string_view bytes, bool present,
                            bool stored) {
  FolderHandle& folder = Folder();
  if (!present && !stored) {
    // Neither a file nor a stored record has this name: a file cut short by a crash is not
    // claimed by any record and is written again by the next run, so the temporary file
    // and rename (which cost most of a first run's time) are not needed.
    folder.WriteNewFile(name, bytes);
  } else if (!present || !folder.Holds(name, bytes)) {
    // Replacing a file makes some file systems (ext4) push the new data to the disk at
    // once, about a millisecond per file; a file that already holds these bytes is kept.
    folder.WriteFileAtomic(name, bytes);
  }
}

void PageWriter::WriteSlotFile(uint32_t slot, std::string_view bytes) {
  ListFolder();
  const Slot& s = slots_[slot];
  WriteNamed(s.rec.key, bytes, s.present, s.stored);
  slots_[slot].present = true;
}

void PageWriter::WriteOutputFile(const std::string& name, std::string_view bytes) {
  ListFolder();
  const uint32_t slot = FindSlot(name);
  if (slot != kNoSlot) return WriteSlotFile(slot, bytes);
  const bool present = unrecorded_files_.count(name) != 0;
  WriteNamed(name, bytes, present, false);
  if (!present) unrecorded_files_.insert(name);
}

template <class Write>
uint32_t PageWriter::Generate(const std::string& key, int32_t crc, int* counter, Write& write,
                              Change* change) {
  const size_t hash = HashKey(key);
  uint32_t slot = FindSlot(key, hash);
  if (slot != kNoSlot) {
    *change = Change::kNone;
    if (crc != slots_[slot].rec.existing) {
      host_->PublishLogLine("... " + key + " has changes.");
      if (counter) ++*counter;
      write(slot);  // the record is saved after the file is written
      slots_[slot].rec.local = crc;
      *change = Change::kChanged;
    }
    slots_[slot].rec.generated = crc;
    return slot;
  }
  host_->PublishLogLine("..." + key + " is new.");
  if (counter) ++*counter;
  slot = AddSlot(PageRecord{key, 0, crc, crc}, false, hash);
  *change = Change::kNew;
  write(slot);  // the new record stays even when the write fails
  return slot;
}

template <class Write>
void PageWriter::Repair(uint32_t slot, int32_t crc, Write& write) {
  if (slot != kNoSlot && slots_[slot].rec.local == crc && Present(slot)) return;
  write(slot);
  if (slot != kNoSlot) slots_[slot].rec.local = crc;
}

PageWriter::Change PageWriter::RecordGenerated(const std::string& key, int32_t crc, int* counter,
                                               const std::function<void()>& write) {
  auto call = [&](uint32_t) { write(); };
  Change change = Change::kNone;
  Generate(key, crc, counter, call, &change);
  return change;
}

void PageWriter::RepairLocal(const std::string& key, int32_t crc,
                             const std::function<void()>& write) {
  auto call = [&](uint32_t) { write(); };
  Repair(FindSlot(key), crc, call);
}

template <class Write>
void PageWriter::TrackPage(const std::string& name, int32_t crc, Write& write) {
  host_->PublishLogLine("...building page " + ShowControlCharacters(name));
  if (!CheckName(name)) return;
  try {
    Change change;
    const uint32_t slot = Generate(name, crc, &counters_.pages_changed, write, &change);
    Repair(slot, crc, write);
  } catch (...) {
    try {
      Flush();
    } catch (...) {
      // The write error is the one the person needs to see.
    }
    throw;
  }
}

void PageWriter::WritePage(const std::string& name, std::string_view text) {
  WritePage(name, text, CrcToSigned(CalculateCRC32String(text)));
}

void PageWriter::WritePage(const std::string& name, std::string_view text, int32_t crc) {
  auto write = [&](uint32_t slot) { WriteSlotFile(slot, text); };
  TrackPage(name, crc, write);
}

void PageWriter::WriteKnownPage(const std::string& name, int32_t crc, uint64_t size,
                                const std::function<std::string()>& render) {
  auto write = [&](uint32_t slot) {
    ListFolder();
    const Slot& s = slots_[slot];
    // What WriteNamed would keep, known by its size and CRC instead of its bytes.
    if (s.present && Folder().HoldsCrc(s.rec.key, size, static_cast<uint32_t>(crc))) return;
    WriteSlotFile(slot, render());
  };
  TrackPage(name, crc, write);
}

void PageWriter::TrackStoredFile(StoredFileKind kind, const std::string& name, int32_t crc,
                                 const std::function<std::string()>& bytes) {
  if (!CheckName(name)) return;
  int* counter =
      kind == StoredFileKind::kPicture ? &counters_.pictures_changed : &counters_.files_changed;
  std::string data;
  bool loaded = false;
  auto write = [&](uint32_t slot) {
    if (!loaded) {
      data = bytes();
      loaded = true;
    }
    WriteSlotFile(slot, data);
  };
  Change change;
  const uint32_t slot = Generate(name, crc, counter, write, &change);
  Repair(slot, crc, write);
}

void PageWriter::CopyPicturesAndFiles(const std::string& home_page_file) {
  for (const StoredFile& pic : blog_->Pictures()) {
    host_->PublishLogLine("processing picture " + ShowControlCharacters(pic.name));
    try {
      const int32_t key = pic.key;
      TrackStoredFile(StoredFileKind::kPicture, pic.name, pic.crc,
                      [&] { return blog_->PictureBytes(key); });
    } catch (const std::exception&) {
      // An error inside one row skips the rest of that row only.
    }
  }
  for (const StoredFile& file : blog_->Files()) {
    host_->PublishLogLine("processing file " + ShowControlCharacters(file.name));
    std::string name = file.name;
    if (!home_page_file.empty() && SameNameIgnoringCase(name, home_page_file)) {
      index_page_overwritten_ = true;
      host_->PublishLogLineColored(LogColor::kGreen,
                                   "*** This page will overwrite the Blog Index Page ***");
      // The file takes the home page's own file and record, whatever its letter case.
      name = home_page_file;
    }
    try {
      const int32_t key = file.key;
      TrackStoredFile(StoredFileKind::kFile, name, file.crc, [&] { return blog_->FileBytes(key); });
    } catch (const std::exception&) {
    }
  }
}

void PageWriter::RemoveOrphans() {
  std::vector<uint32_t> orphans;
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].rec.generated == 0) orphans.push_back(i);
  }
  std::sort(orphans.begin(), orphans.end(),
            [&](uint32_t a, uint32_t b) { return slots_[a].rec.key < slots_[b].rec.key; });
  for (uint32_t i : orphans) {
    const std::string& key = slots_[i].rec.key;
    host_->PublishLogLine("...Removing orphan page " + ShowControlCharacters(key));
    // Only the name's place matters here: a file that an older run wrote under a name no
    // longer written (too long, a control character) goes as any orphan does.
    if (IsBareFileName(key)) {
      Folder().Remove(key);
      slots_[i].present = false;
    } else {
      host_->PublishLogLineColored(LogColor::kRed, RefusedNameLine(key));
    }
    ++counters_.pages_removed;
  }
}

void PageWriter::Flush() {
  std::vector<uint32_t> inserts;
  std::vector<uint32_t> updates;
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (!s.stored) {
      inserts.push_back(i);
    } else if (s.rec.existing != s.saved_existing || s.rec.generated != s.saved_generated ||
               s.rec.local != s.saved_local) {
      updates.push_back(i);
    }
  }
  if (inserts.empty() && updates.empty()) return;
  auto records = [&](const std::vector<uint32_t>& slots) {
    std::vector<const PageRecord*> out;
    out.reserve(slots.size());
    for (uint32_t i : slots) out.push_back(&slots_[i].rec);
    return out;
  };
  blog_->SavePageRecords(records(updates), records(inserts));
  for (const std::vector<uint32_t>* written : {&inserts, &updates}) {
    for (uint32_t i : *written) {
      Slot& slot = slots_[i];
      slot.saved_existing = slot.rec.existing;
      slot.saved_generated = slot.rec.generated;
      slot.saved_local = slot.rec.local;
      slot.stored = true;
    }
  }
}

}  // namespace tessavo
