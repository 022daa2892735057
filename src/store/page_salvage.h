// Reading the rows of a damaged SQLite database file straight from its pages.
//
// SQLite stops reading a table at its first damaged page, and every way of seeking past the
// damage goes through the same damaged pages again; on a file whose pages point at each
// other or at garbage that can take hours. SalvageReader walks the b-trees itself, after
// the file format:
//
//  - a page is taken by at most one tree: a page met a second time (a cycle, or two trees
//    pointing at one page) ends that branch, and so do pointers past the end of the file
//    and pages of the wrong kind;
//  - every row must lie in the range of row numbers its parent pages gave it, and its
//    record must be well formed and fit the table's shape, so rows of another table or of
//    a page copied from elsewhere are not taken for this table's;
//  - what a walk could not read is reported as gaps in the range of row numbers;
//  - rows of sound leaf pages that damage above them cut off from their tree are read
//    afterwards from the pages no walk took (free pages, which hold deleted rows, aside).
//
// Each page is read a bounded number of times and memory stays within a few bytes per page
// plus the largest row, so a salvage takes time in proportion to the file's size.
//
// The reader looks at the file alone: bring any write-ahead log or hot journal beside it
// into the file first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessavo::store {

// One field of a row as stored. `bytes` (text and blobs) points into the reader's buffers
// and is valid only during the call that hands the row over.
struct StoredField {
  int type = 5;  // SQLITE_NULL (5), SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT or SQLITE_BLOB
  int64_t integer = 0;
  double real = 0;
  std::string_view bytes;
};

// What a table's rows look like, to tell them from garbage and from other tables' rows.
struct RowShape {
  int columns = 0;        // a row has at most this many fields (fewer when columns were added)
  int rowid_column = -1;  // the column that is the row number (stored as NULL), or -1
};

using RowSink = std::function<void(int64_t rowid, const std::vector<StoredField>& fields)>;

// Row numbers first..last (both included) where rows may be missing.
struct KeyGap {
  int64_t first;
  int64_t last;
};

// What one walk of a table or an index found.
struct TreeWalk {
  int64_t rows = 0;           // rows (index entries) handed over
  int64_t damaged_pages = 0;  // pages skipped, or read with cells that had to be skipped
  std::vector<KeyGap> gaps;   // tables only: where rows may be missing, in order, apart

  bool clean() const { return damaged_pages == 0; }
};

// A table, for the pass over the pages no walk took.
struct StrayRowTarget {
  RowShape shape;
  std::function<bool(int64_t rowid)> wants;
  RowSink sink;
};

class SalvageReader {
 public:
  // Opens `file` and reads its header. `progress` (when given) is called now and then with
  // the number of pages read so far. Throws Error when the file cannot be read or is not
  // an SQLite database file.
  explicit SalvageReader(const std::filesystem::path& file,
                         std::function<void(int64_t)> progress = {});
  ~SalvageReader();
  SalvageReader(const SalvageReader&) = delete;
  SalvageReader& operator=(const SalvageReader&) = delete;

  int64_t page_count() const { return page_count_; }
  // SQLITE_UTF8, SQLITE_UTF16LE or SQLITE_UTF16BE: the encoding of every text field.
  int text_encoding() const { return encoding_; }

  // Walks the table b-tree whose root is page `root` (page 1 holds the table list) and
  // hands every row that fits `shape` to `sink`, in ascending row number.
  TreeWalk ReadTable(int64_t root, const RowShape& shape, const RowSink& sink);

  // Walks the index b-tree whose root is page `root`, whose entries have `fields` fields
  // (the indexed columns and the row number), and hands the row number of every entry to
  // `sink`.
  TreeWalk ReadIndex(int64_t root, int fields, const std::function<void(int64_t)>& sink);

  // Marks the pages of the free list, so that ReadStrayRows leaves the deleted rows on them
  // alone. Run it after the walks: a tree outranks a free list that claims its pages.
  void MarkFreePages();

  // Reads the table leaf pages that no walk took and that are not free. Each such page goes
  // to the target whose shape fits every row on it, preferring the one whose columns most
  // rows fill exactly (none when two fit equally well); the rows on it that the target
  // wants go to its sink. Returns the number of rows handed over.
  int64_t ReadStrayRows(const std::vector<StrayRowTarget>& targets);

 private:
  struct PageHeader;
  struct Pending;
  struct Cell;
  struct StrayCell;

  static bool ReadHeader(const std::vector<uint8_t>& page, int64_t page_number, int64_t usable,
                         PageHeader* h);
  static int CellOffset(const std::vector<uint8_t>& page, const PageHeader& h, int i,
                        int64_t usable);
  bool ReadPage(int64_t page, std::vector<uint8_t>& buffer);
  bool Reachable(int64_t page) const;
  void Reject(int64_t page);
  bool FetchTreePage(const Pending& at, uint8_t interior, uint8_t leaf, std::vector<uint8_t>& page,
                     PageHeader* h);
  int64_t LocalSize(int64_t size, bool table_leaf) const;
  bool ParseCell(const std::vector<uint8_t>& page, int offset, uint8_t type, Cell* cell) const;
  bool GatherPayload(const std::vector<uint8_t>& page, const Cell& cell,
                     std::vector<int64_t>* chain, std::string_view* payload);
  void EndChain(const std::vector<int64_t>& chain, bool claim);
  bool TakeRow(const std::vector<uint8_t>& page, const Cell& cell, const RowShape& shape,
               bool index_entry);
  void ExpandTableInterior(const std::vector<uint8_t>& page, const PageHeader& h, const Pending& at,
                           std::vector<Pending>& stack, TreeWalk& walk);
  void ReadLeafRows(const std::vector<uint8_t>& page, const PageHeader& h, const Pending& at,
                    const RowShape& shape, const RowSink& sink, TreeWalk& walk);
  void ReadIndexEntries(const std::vector<uint8_t>& page, const PageHeader& h, const Pending& at,
                        const RowShape& entry, const std::function<void(int64_t)>& sink,
                        std::vector<Pending>& stack, TreeWalk& walk);
  int TakeStrayPage(const std::vector<uint8_t>& page, int64_t page_number,
                    const std::vector<StrayRowTarget>& targets);
  std::vector<StrayCell> StrayCells(const std::vector<uint8_t>& page, const PageHeader& h);
  static const StrayRowTarget* BestTarget(const std::vector<StrayCell>& cells,
                                          const std::vector<StrayRowTarget>& targets);

  int fd_ = -1;
  int64_t page_size_ = 0;
  int64_t usable_ = 0;
  int64_t page_count_ = 0;
  int64_t lock_page_ = 0;  // the page that holds the file-lock bytes; never part of a tree
  int encoding_ = 1;
  uint32_t first_free_trunk_ = 0;
  std::vector<uint8_t> state_;     // per page: claimed, free, on the chain followed, rejections
  std::vector<uint8_t> overflow_;  // one overflow page at a time
  std::string payload_;            // the payload of a row that spills onto overflow pages
  std::vector<uint64_t> types_;    // the serial types of the row last read
  std::vector<StoredField> fields_;
  int64_t reads_ = 0;
  int64_t chain_budget_ = 0;  // reads left for overflow chains that turn out broken
  std::function<void(int64_t)> progress_;
};

}  // namespace tessavo::store
