// Page output and change tracking: the one place that writes files into the output folder
// during a generation run, and keeps their page records (tblPages) in step.
//
// Every output file has a page record with three CRCs: the copy last published
// (PageCRCExisting, 0 = none), the copy produced by the last run (PageCRCNew, 0 = orphan)
// and the copy last written locally (PageCRCLocal). A file is reported and counted when it
// differs from the published copy (or has none); a file equal to the published copy is
// rewritten silently when the local copy is missing or differs.
//
// A PageWriter serves one generation run. It reads every page record once when it is
// made and keeps the changes in memory; Flush() writes the records that differ from their
// rows to tblPages in one transaction.
// The run calls Flush() at its end; a page that cannot be written flushes what was done so
// far before its error propagates, and the destructor flushes what is left (swallowing
// errors). The output folder is opened and listed once, at the first file operation, and
// the listing is kept up to date as files are written and removed. A file that is to be
// replaced but already holds exactly the new bytes is left as it is.
//
// Names that are not bare file names (a separator, "..", an absolute form, a NUL) are
// never written, nor names that hold a control character (a line break would reach the
// publisher's commands) or that are longer than kMaxWritableNameBytes: they are refused
// with a red log line and skipped, and the run goes on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "store/blog.h"

namespace tessavo {

class FolderHandle;
class Host;

// The run counters that page output increments.
struct OutputCounters {
  int pages_changed = 0;     // pages and feeds added or changed
  int files_changed = 0;     // extra files and template files added or changed
  int pictures_changed = 0;  // pictures added or changed
  int pages_removed = 0;     // orphans removed
};

enum class StoredFileKind { kPicture, kFile, kTemplateFile };

class PageWriter {
 public:
  // Reads every page record of `blog`. `output_folder` need not exist yet; it must exist
  // by the first file operation.
  PageWriter(Blog& blog, Host& host, std::filesystem::path output_folder);
  ~PageWriter();
  PageWriter(const PageWriter&) = delete;
  PageWriter& operator=(const PageWriter&) = delete;

  // Sets PageCRCNew to 0 in every page record (the start of a run).
  void ResetGeneratedCrcs();

  // Writes one page or feed: logs "...building page " + name, then "... " + name +
  // " has changes." or "..." + name + " is new." when the text differs from the published
  // copy, and writes the text byte for byte. Throws Error when the file cannot be written
  // (after flushing the records saved so far).
  void WritePage(const std::string& name, std::string_view text);
  // WritePage for a text whose CRC the caller has already taken.
  void WritePage(const std::string& name, std::string_view text, int32_t crc);

  // WritePage for a page known only by the CRC and size of its text (a page made from the
  // same inputs as in an earlier run). The logs, counts and records are WritePage's; a
  // file to be replaced that already holds a copy of this size and CRC is kept, and only
  // when a file must really be written is `render` asked for the text.
  void WriteKnownPage(const std::string& name, int32_t crc, uint64_t size,
                      const std::function<std::string()>& render);

  // Copies one stored file (picture, extra file, template file) with the same rules as
  // WritePage, using `crc` (the stored CRC, signed) instead of the CRC of the text and
  // asking `bytes` for the content only when the file is to be written. Logs nothing of
  // its own beyond the change lines; counts into pictures or files. Throws Error when the
  // file cannot be written; the record keeps what the rules saved before the write.
  void TrackStoredFile(StoredFileKind kind, const std::string& name, int32_t crc,
                       const std::function<std::string()>& bytes);

  // Copies every picture (in name order) and then every extra file (in name order),
  // each with "processing picture " / "processing file " + name; an error inside one row
  // skips the rest of that row. An extra file named like `home_page_file` (ignoring
  // letter case) sets index_page_overwritten(), logs the green line
  // "*** This page will overwrite the Blog Index Page ***" and takes the home page's file
  // and page record.
  void CopyPicturesAndFiles(const std::string& home_page_file);

  // Every record with PageCRCNew 0, in PageKey order: "...Removing orphan page " + key,
  // its local file deleted when present, and one more page removed. The records stay.
  void RemoveOrphans();

  // Writes the changed page records to tblPages in one transaction. Safe to call often.
  void Flush();

  // True when `name` can be written (UnwritableNameLine is empty); otherwise logs that red
  // refusal line.
  bool CheckName(const std::string& name);

  const OutputCounters& counters() const { return counters_; }
  OutputCounters& counters() { return counters_; }
  bool index_page_overwritten() const { return index_page_overwritten_; }
  // The in-memory record of `key`, or nullptr. For callers that need a record's state.
  const PageRecord* Find(const std::string& key) const;
  const std::filesystem::path& output_folder() const { return folder_; }
  Host& host() const { return *host_; }
  Blog& blog() const { return *blog_; }

  // Exposed for the template file extraction, which has its own failure messages:
  // step 3 of the rules (lookup, change lines, counting, the first write) and step 4
  // (the silent repair). `write` writes the file and may throw.
  enum class Change { kNone, kChanged, kNew };
  Change RecordGenerated(const std::string& key, int32_t crc, int* counter,
                         const std::function<void()>& write);
  void RepairLocal(const std::string& key, int32_t crc, const std::function<void()>& write);
  // Writes `bytes` to output folder + name and notes the file as present: in place when
  // neither a file nor a stored record has the name, else atomically (a file that already
  // holds exactly `bytes` is kept as it is).
  void WriteOutputFile(const std::string& name, std::string_view bytes);

 private:
  static constexpr uint32_t kNoSlot = 0xFFFFFFFFu;
  struct Slot {
    PageRecord rec;              // the record as this run has made it
    int32_t saved_existing = 0;  // the row as tblPages holds it (when `stored`)
    int32_t saved_generated = 0;
    int32_t saved_local = 0;
    bool stored = false;   // a row exists in tblPages
    bool present = false;  // the output folder holds a file of this name
    size_t hash = 0;       // of rec.key
  };

  // The records: one slot per key, found through an open-addressing table of slot
  // numbers, so that a page costs one hash and one probe.
  static size_t HashKey(std::string_view key);
  uint32_t FindSlot(std::string_view key) const { return FindSlot(key, HashKey(key)); }
  uint32_t FindSlot(std::string_view key, size_t hash) const;
  uint32_t AddSlot(PageRecord rec, bool stored, size_t hash);
  void Rehash(size_t buckets);

  FolderHandle& Folder();
  void ListFolder();
  bool Present(uint32_t slot);
  // Writes a file in place when neither a file nor a stored record has its name, else
  // replaces it atomically unless it already holds exactly `bytes`.
  void WriteNamed(const std::string& name, std::string_view bytes, bool present, bool stored);
  void WriteSlotFile(uint32_t slot, std::string_view bytes);
  // Step 3 and step 4 on a slot; `write(slot)` writes the file.
  template <class Write>
  uint32_t Generate(const std::string& key, int32_t crc, int* counter, Write& write,
                    Change* change);
  template <class Write>
  void Repair(uint32_t slot, int32_t crc, Write& write);
  // The change tracking of one page: its log lines, record and file.
  template <class Write>
  void TrackPage(const std::string& name, int32_t crc, Write& write);

  Blog* blog_;
  Host* host_;
  std::filesystem::path folder_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> buckets_;  // slot numbers or kNoSlot; the size is a power of two
  std::unordered_set<std::string> unrecorded_files_;  // files in the folder without a record
  std::unique_ptr<FolderHandle> folder_handle_;       // opened at the first file operation
  bool listed_ = false;
  bool index_page_overwritten_ = false;
  OutputCounters counters_;
};

// The red line that refuses a name that is not a bare file name.
std::string RefusedNameLine(const std::string& name);
// The red line that refuses a name the output folder cannot take: not a bare file name
// (RefusedNameLine), a control character, or more than kMaxWritableNameBytes bytes.
// Empty when the name can be written.
std::string UnwritableNameLine(const std::string& name);

}  // namespace tessavo
