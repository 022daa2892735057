#include "store/page_salvage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "util/error.h"

namespace tessavo::store {
namespace {

// Page kinds, from the first byte of a b-tree page.
constexpr uint8_t kIndexInterior = 0x02;
constexpr uint8_t kTableInterior = 0x05;
constexpr uint8_t kIndexLeaf = 0x0A;
constexpr uint8_t kTableLeaf = 0x0D;

// Page states.
constexpr uint8_t kClaimed = 1;  // part of a tree or of a row's overflow chain
constexpr uint8_t kFree = 2;     // on the free list
constexpr uint8_t kInChain = 4;  // on the overflow chain being followed
constexpr uint8_t kRejectionUnit = 8;
constexpr int kMaxRejections = 3;  // walks that may read a page and find it unfit

// SQLite's own b-trees are never deeper than 20 pages.
constexpr int kMaxDepth = 20;
// SQLite's limit on the size of one value, with room for a row's other fields.
constexpr uint64_t kMaxPayload = uint64_t{1} << 31;
constexpr size_t kMaxFields = 32767;
constexpr int64_t kLockByteOffset = 0x40000000;
// Gaps kept one by one before they are merged; past that they are coarsened, so that a
// file full of garbage pointers cannot fill memory with them.
constexpr size_t kMaxGaps = 4096;

uint32_t Get16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }

uint32_t Get32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Reads the variable-length integer at `p`, which must end before `end`. Returns its length,
// or 0 when it runs past `end`.
int GetVarint(const uint8_t* p, const uint8_t* end, uint64_t* value) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) {
    if (p + i >= end) return 0;
    v = (v << 7) | (p[i] & 0x7F);
    if ((p[i] & 0x80) == 0) {
      *value = v;
      return i + 1;
    }
  }
  if (p + 8 >= end) return 0;
  *value = (v << 8) | p[8];
  return 9;
}

int64_t BigEndian(const uint8_t* p, int bytes) {
  uint64_t v = (p[0] & 0x80) ? ~uint64_t{0} : 0;  // sign-extended
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return static_cast<int64_t>(v);
}

// Bytes of content that a serial type stands for; -1 for the two reserved types.
int64_t ContentSize(uint64_t serial_type) {
  static constexpr int kSizes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, -1, -1};
  if (serial_type < 12) return kSizes[serial_type];
  return static_cast<int64_t>((serial_type - 12) / 2);
}

// The serial types of a record whose header lies in the first `available` bytes at `p` of a
// payload of `size` bytes. False when the header is malformed, runs past `available`, has
// more than `max_fields` fields, or its sizes do not add up to the payload's.
bool ReadSerialTypes(const uint8_t* p, size_t available, uint64_t size, size_t max_fields,
                     std::vector<uint64_t>& types, uint64_t& header_size) {
  types.clear();
  const uint8_t* end = p + std::min<uint64_t>(available, size);
  int n = GetVarint(p, end, &header_size);
  if (n == 0 || header_size < static_cast<uint64_t>(n) || header_size > size ||
      header_size > available) {
    return false;
  }
  uint64_t content = 0;
  for (uint64_t pos = n; pos < header_size;) {
    uint64_t type = 0;
    int k = GetVarint(p + pos, p + header_size, &type);
    if (k == 0 || types.size() == max_fields) return false;
    int64_t bytes = ContentSize(type);
    if (bytes < 0 || static_cast<uint64_t>(bytes) > size) return false;
    content += static_cast<uint64_t>(bytes);
    if (content > size) return false;
    types.push_back(type);
    pos += static_cast<uint64_t>(k);
  }
  return header_size + content == size;
}

// Splits a whole record into its fields. False when it is not a well-formed record of at
// most `max_fields` fields.
bool DecodeRecord(std::string_view payload, size_t max_fields, std::vector<uint64_t>& types,
                  std::vector<StoredField>& fields) {
  const auto* p = reinterpret_cast<const uint8_t*>(payload.data());
  uint64_t header_size = 0;
  if (!ReadSerialTypes(p, payload.size(), payload.size(), max_fields, types, header_size)) {
    return false;
  }
  fields.assign(types.size(), StoredField{});
  uint64_t pos = header_size;
  for (size_t i = 0; i < types.size(); ++i) {
    const uint64_t t = types[i];
    const auto bytes = static_cast<size_t>(ContentSize(t));
    StoredField& f = fields[i];
    if (t == 0) {
      f.type = SQLITE_NULL;
    } else if (t <= 6) {
      f.type = SQLITE_INTEGER;
      f.integer = BigEndian(p + pos, static_cast<int>(bytes));
    } else if (t == 7) {
      f.type = SQLITE_FLOAT;
      const auto bits = static_cast<uint64_t>(BigEndian(p + pos, 8));
      std::memcpy(&f.real, &bits, sizeof f.real);
    } else if (t == 8 || t == 9) {
      f.type = SQLITE_INTEGER;
      f.integer = t == 9 ? 1 : 0;
    } else {
      f.type = (t % 2 == 0) ? SQLITE_BLOB : SQLITE_TEXT;
      f.bytes = payload.substr(pos, bytes);
    }
    pos += bytes;
  }
  return true;
}

// Sorts and merges the gaps; when many remain, one gap from the first to the last stands
// for them all.
void TidyGaps(std::vector<KeyGap>& gaps) {
  std::sort(gaps.begin(), gaps.end(),
            [](const KeyGap& a, const KeyGap& b) { return a.first < b.first; });
  std::vector<KeyGap> merged;
  for (const KeyGap& g : gaps) {
    if (!merged.empty() && (merged.back().last == INT64_MAX || g.first <= merged.back().last + 1)) {
      merged.back().last = std::max(merged.back().last, g.last);
    } else {
      merged.push_back(g);
    }
  }
  if (merged.size() > kMaxGaps / 2) merged = {{merged.front().first, merged.back().last}};
  gaps = std::move(merged);
}

void AddGap(TreeWalk& walk, int64_t first, int64_t last) {
  walk.gaps.push_back({first, last});
  if (walk.gaps.size() >= kMaxGaps) TidyGaps(walk.gaps);
}

bool FitsShape(const std::vector<uint64_t>& types, const RowShape& shape) {
  if (types.size() > static_cast<size_t>(shape.columns)) return false;
  const auto rowid = static_cast<size_t>(shape.rowid_column);
  return shape.rowid_column < 0 || rowid >= types.size() || types[rowid] == 0;
}

}  // namespace

// A page waiting to be read in a walk, with the row numbers its rows must lie in.
struct SalvageReader::Pending {
  int64_t page;
  int64_t first;
  int64_t last;
  int depth;
};

// The b-tree header of a page: the page kind and where the cell pointer array lies.
struct SalvageReader::PageHeader {
  uint8_t type = 0;
  int cells = 0;
  int pointers = 0;  // offset of the cell pointer array
  int right_child_at = 0;

  bool interior() const { return type == kIndexInterior || type == kTableInterior; }
};

// One cell of a page: its child, row number and where its payload lies.
struct SalvageReader::Cell {
  int64_t child = 0;
  int64_t rowid = 0;
  uint64_t payload_size = 0;
  size_t local_at = 0;  // offset of the payload's first bytes on the page
  size_t local_size = 0;
  uint32_t first_overflow = 0;  // 0 when the whole payload is on the page
};

bool SalvageReader::ReadHeader(const std::vector<uint8_t>& page, int64_t page_number,
                               int64_t usable, PageHeader* h) {
  const int offset = page_number == 1 ? 100 : 0;
  h->type = page[offset];
  if (h->type != kIndexInterior && h->type != kTableInterior && h->type != kIndexLeaf &&
      h->type != kTableLeaf) {
    return false;
  }
  h->cells = static_cast<int>(Get16(&page[offset + 3]));
  h->pointers = offset + (h->interior() ? 12 : 8);
  h->right_child_at = offset + 8;
  return h->pointers + 2 * int64_t{h->cells} <= usable;
}

// Offset of cell `i`, or -1 when the pointer leads outside the cell content area.
int SalvageReader::CellOffset(const std::vector<uint8_t>& page, const PageHeader& h, int i,
                              int64_t usable) {
  const int offset = static_cast<int>(Get16(&page[h.pointers + 2 * i]));
  if (offset < h.pointers + 2 * h.cells || offset >= usable) return -1;
  return offset;
}

// A cell of a page no walk took, with the serial types of its record.
struct SalvageReader::StrayCell {
  Cell cell;
  std::vector<uint64_t> types;
};

SalvageReader::SalvageReader(const std::filesystem::path& file,
                             std::function<void(int64_t)> progress)
    : progress_(std::move(progress)) {
  fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Error("Cannot open " + file.string() + ": " + std::strerror(errno));
  uint8_t header[100];
  struct stat st {};
  const bool read_ok = ::fstat(fd_, &st) == 0 && ::pread(fd_, header, sizeof header, 0) == 100;
  const std::string_view magic(reinterpret_cast<const char*>(header), 16);
  if (!read_ok || magic != std::string_view("SQLite format 3\0", 16)) {
    ::close(fd_);
    fd_ = -1;
    throw Error(file.string() + " is not a database file");
  }
  page_size_ = Get16(header + 16) == 1 ? 65536 : Get16(header + 16);
  usable_ = page_size_ - header[20];
  if (page_size_ < 512 || (page_size_ & (page_size_ - 1)) != 0 || usable_ < 480) {
    ::close(fd_);
    fd_ = -1;
    throw Error(file.string() + ": the database header is damaged");
  }
  page_count_ = st.st_size / page_size_;
  // The size in the header counts only while the header is current.
  const uint32_t in_header = Get32(header + 28);
  if (in_header != 0 && Get32(header + 24) == Get32(header + 92) && in_header < page_count_) {
    page_count_ = in_header;
  }
  const uint32_t encoding = Get32(header + 56);
  encoding_ = encoding == 2 ? SQLITE_UTF16LE : encoding == 3 ? SQLITE_UTF16BE : SQLITE_UTF8;
  first_free_trunk_ = Get32(header + 32);
  lock_page_ = kLockByteOffset / page_size_ + 1;
  state_.assign(static_cast<size_t>(page_count_) + 1, 0);
  overflow_.resize(static_cast<size_t>(page_size_));
  chain_budget_ = 2 * page_count_ + 1024;
}

SalvageReader::~SalvageReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool SalvageReader::ReadPage(int64_t page, std::vector<uint8_t>& buffer) {
  buffer.resize(static_cast<size_t>(page_size_));
  ++reads_;
  if (progress_ && reads_ % 256 == 0) progress_(reads_);
  const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), (page - 1) * page_size_);
  return n == page_size_;
}

bool SalvageReader::Reachable(int64_t page) const {
  if (page < 1 || page > page_count_ || page == lock_page_) return false;
  const uint8_t s = state_[static_cast<size_t>(page)];
  return (s & (kClaimed | kFree | kInChain)) == 0 && s / kRejectionUnit < kMaxRejections;
}

void SalvageReader::Reject(int64_t page) {
  uint8_t& s = state_[static_cast<size_t>(page)];
  if (s / kRejectionUnit < kMaxRejections) s += kRejectionUnit;
}

// How much of a payload of `size` bytes stays on the page, after the file format.
int64_t SalvageReader::LocalSize(int64_t size, bool table_leaf) const {
  const int64_t u = usable_;
  const int64_t max_local = table_leaf ? u - 35 : (u - 12) * 64 / 255 - 23;
  const int64_t min_local = (u - 12) * 32 / 255 - 23;
  if (size <= max_local) return size;
  const int64_t k = min_local + (size - min_local) % (u - 4);
  return k <= max_local ? k : min_local;
}

bool SalvageReader::ParseCell(const std::vector<uint8_t>& page, int offset, uint8_t type,
                              Cell* cell) const {
  const uint8_t* const end = page.data() + usable_;
  int64_t at = offset;  // offsets, not pointers, so that nothing points past the page
  if (type == kIndexInterior || type == kTableInterior) {
    if (at + 4 > usable_) return false;
    cell->child = Get32(page.data() + at);
    at += 4;
  }
  if (type == kTableInterior) {
    uint64_t key = 0;
    if (GetVarint(page.data() + at, end, &key) == 0) return false;
    cell->rowid = static_cast<int64_t>(key);
    return true;
  }
  int n = GetVarint(page.data() + at, end, &cell->payload_size);
  if (n == 0) return false;
  at += n;
  if (type == kTableLeaf) {
    uint64_t rowid = 0;
    n = GetVarint(page.data() + at, end, &rowid);
    if (n == 0) return false;
    cell->rowid = static_cast<int64_t>(rowid);
    at += n;
  }
  const uint64_t size = cell->payload_size;
  if (size > kMaxPayload) return false;
  const int64_t local = LocalSize(static_cast<int64_t>(size), type == kTableLeaf);
  const bool spills = static_cast<uint64_t>(local) < size;
  if (at + local + (spills ? 4 : 0) > usable_) return false;
  cell->local_at = static_cast<size_t>(at);
  cell->local_size = static_cast<size_t>(local);
  cell->first_overflow = spills ? Get32(page.data() + at + local) : 0;
  const uint64_t overflow_room =
      static_cast<uint64_t>(page_count_) * static_cast<uint64_t>(usable_ - 4);
  return !spills ||
         (cell->first_overflow != 0 && size - static_cast<uint64_t>(local) <= overflow_room);
}

bool SalvageReader::GatherPayload(const std::vector<uint8_t>& page, const Cell& cell,
                                  std::vector<int64_t>* chain, std::string_view* payload) {
  const char* local = reinterpret_cast<const char*>(page.data()) + cell.local_at;
  if (cell.first_overflow == 0) {
    *payload = std::string_view(local, cell.local_size);
    return true;
  }
  payload_.assign(local, cell.local_size);
  uint64_t left = cell.payload_size - cell.local_size;
  int64_t next = cell.first_overflow;
  while (left > 0) {
    if (chain_budget_ <= 0 || next < 1 || next > page_count_ || next == lock_page_ ||
        (state_[static_cast<size_t>(next)] & (kClaimed | kFree | kInChain)) != 0 ||
        !ReadPage(next, overflow_)) {
      chain_budget_ -= static_cast<int64_t>(chain->size());
      return false;
    }
    state_[static_cast<size_t>(next)] |= kInChain;
    chain->push_back(next);
    const auto take = static_cast<size_t>(std::min<uint64_t>(left, usable_ - 4));
    payload_.append(reinterpret_cast<const char*>(overflow_.data()) + 4, take);
    left -= take;
    next = Get32(overflow_.data());
  }
  // The last page of a chain points nowhere; one that does is not what the row ran onto.
  if (next != 0) {
    chain_budget_ -= static_cast<int64_t>(chain->size());
    return false;
  }
  *payload = payload_;
  return true;
}

void SalvageReader::EndChain(const std::vector<int64_t>& chain, bool claim) {
  for (int64_t page : chain) {
    uint8_t& s = state_[static_cast<size_t>(page)];
    s = static_cast<uint8_t>(s & ~kInChain);
    if (claim) s |= kClaimed;
  }
}

// Reads the row in `cell` into fields_ when it fits `shape` (an index entry: when it has
// exactly shape.columns fields, the last a row number), and then claims its overflow pages.
bool SalvageReader::TakeRow(const std::vector<uint8_t>& page, const Cell& cell,
                            const RowShape& shape, bool index_entry) {
  std::vector<int64_t> chain;
  std::string_view payload;
  bool ok = GatherPayload(page, cell, &chain, &payload) &&
            DecodeRecord(payload, static_cast<size_t>(shape.columns), types_, fields_) &&
            FitsShape(types_, shape);
  if (ok && index_entry) {
    ok = fields_.size() == static_cast<size_t>(shape.columns) &&
         fields_.back().type == SQLITE_INTEGER;
  }
  EndChain(chain, ok);
  return ok;
}

// Reads the page a walk comes to into `page` when it is one the walk may take: in the file,
// taken by no tree yet, and an interior page (not too deep) or a leaf of the walk's kind. A
// page of another kind is marked as rejected once more.
bool SalvageReader::FetchTreePage(const Pending& at, uint8_t interior, uint8_t leaf,
                                  std::vector<uint8_t>& page, PageHeader* h) {
  if (!Reachable(at.page)) return false;
  if (ReadPage(at.page, page) && ReadHeader(page, at.page, usable_, h) &&
      (h->type == leaf || (h->type == interior && at.depth < kMaxDepth))) {
    return true;
  }
  Reject(at.page);
  return false;
}

TreeWalk SalvageReader::ReadTable(int64_t root, const RowShape& shape, const RowSink& sink) {
  TreeWalk walk;
  std::vector<Pending> stack{{root, INT64_MIN, INT64_MAX, 0}};
  std::vector<uint8_t> page;
  while (!stack.empty()) {
    const Pending at = stack.back();
    stack.pop_back();
    PageHeader h;
    if (!FetchTreePage(at, kTableInterior, kTableLeaf, page, &h)) {
      ++walk.damaged_pages;
      AddGap(walk, at.first, at.last);
      continue;
    }
    if (h.type == kTableInterior) {
      state_[static_cast<size_t>(at.page)] |= kClaimed;
      ExpandTableInterior(page, h, at, stack, walk);
    } else {
      ReadLeafRows(page, h, at, shape, sink, walk);
    }
  }
  TidyGaps(walk.gaps);
  return walk;
}

void SalvageReader::ExpandTableInterior(const std::vector<uint8_t>& page, const PageHeader& h,
                                        const Pending& at, std::vector<Pending>& stack,
                                        TreeWalk& walk) {
  std::vector<Pending> children;
  int64_t first = at.first;  // the lowest row number the next child may hold
  bool open = true;          // false once a key reached the highest row number
  bool damaged = false;
  for (int i = 0; i < h.cells; ++i) {
    Cell cell;
    const int offset = CellOffset(page, h, i, usable_);
    if (offset < 0 || !ParseCell(page, offset, kTableInterior, &cell) || !open ||
        cell.rowid < first || cell.rowid > at.last) {
      damaged = true;
      continue;
    }
    children.push_back({cell.child, first, cell.rowid, at.depth + 1});
    open = cell.rowid != INT64_MAX;
    if (open) first = cell.rowid + 1;
  }
  if (open) {
    children.push_back({Get32(&page[h.right_child_at]), first, at.last, at.depth + 1});
  } else {
    damaged = true;
  }
  if (damaged) {
    ++walk.damaged_pages;
    AddGap(walk, at.first, at.last);
  }
  // Reversed, so that the leftmost child is read first and rows come in ascending order.
  stack.insert(stack.end(), children.rbegin(), children.rend());
}

void SalvageReader::ReadLeafRows(const std::vector<uint8_t>& page, const PageHeader& h,
                                 const Pending& at, const RowShape& shape, const RowSink& sink,
                                 TreeWalk& walk) {
  int taken = 0;
  int skipped = 0;
  int64_t first = at.first;
  bool open = true;
  for (int i = 0; i < h.cells; ++i) {
    Cell cell;
    const int offset = CellOffset(page, h, i, usable_);
    if (offset < 0 || !ParseCell(page, offset, kTableLeaf, &cell) || !open || cell.rowid < first ||
        cell.rowid > at.last || !TakeRow(page, cell, shape, false)) {
      ++skipped;
      continue;
    }
    sink(cell.rowid, fields_);
    ++taken;
    ++walk.rows;
    open = cell.rowid != INT64_MAX;
    if (open) first = cell.rowid + 1;
  }
  // A page none of whose rows fit is not this table's: another walk may want it.
  if (taken > 0 || h.cells == 0) {
    state_[static_cast<size_t>(at.page)] |= kClaimed;
  } else {
    Reject(at.page);
  }
  if (skipped > 0) {
    ++walk.damaged_pages;
    AddGap(walk, at.first, at.last);
  }
}

TreeWalk SalvageReader::ReadIndex(int64_t root, int fields,
                                  const std::function<void(int64_t)>& sink) {
  TreeWalk walk;
  std::vector<Pending> stack{{root, INT64_MIN, INT64_MAX, 0}};
  std::vector<uint8_t> page;
  while (!stack.empty()) {
    const Pending at = stack.back();
    stack.pop_back();
    PageHeader h;
    if (!FetchTreePage(at, kIndexInterior, kIndexLeaf, page, &h)) {
      ++walk.damaged_pages;
      continue;
    }
    state_[static_cast<size_t>(at.page)] |= kClaimed;
    ReadIndexEntries(page, h, at, RowShape{fields, -1}, sink, stack, walk);
  }
  return walk;
}

void SalvageReader::ReadIndexEntries(const std::vector<uint8_t>& page, const PageHeader& h,
                                     const Pending& at, const RowShape& entry,
                                     const std::function<void(int64_t)>& sink,
                                     std::vector<Pending>& stack, TreeWalk& walk) {
  bool damaged = false;
  for (int i = 0; i < h.cells; ++i) {
    Cell cell;
    const int offset = CellOffset(page, h, i, usable_);
    if (offset < 0 || !ParseCell(page, offset, h.type, &cell)) {
      damaged = true;
      continue;
    }
    if (h.interior()) stack.push_back({cell.child, 0, 0, at.depth + 1});
    // The row number is the entry's last field.
    if (!TakeRow(page, cell, entry, true)) {
      damaged = true;
      continue;
    }
    sink(fields_.back().integer);
    ++walk.rows;
  }
  if (h.interior()) stack.push_back({Get32(&page[h.right_child_at]), 0, 0, at.depth + 1});
  if (damaged) ++walk.damaged_pages;
}

void SalvageReader::MarkFreePages() {
  std::vector<uint8_t> page;
  int64_t trunk = first_free_trunk_;
  for (int64_t guard = 0; trunk != 0 && guard < page_count_; ++guard) {
    if (trunk < 1 || trunk > page_count_ ||
        (state_[static_cast<size_t>(trunk)] & (kClaimed | kFree)) != 0 || !ReadPage(trunk, page)) {
      return;
    }
    state_[static_cast<size_t>(trunk)] |= kFree;
    const uint32_t leaves = Get32(&page[4]);
    if (leaves > usable_ / 4 - 2) return;
    for (uint32_t k = 0; k < leaves; ++k) {
      const int64_t leaf = Get32(&page[8 + 4 * k]);
      if (leaf >= 1 && leaf <= page_count_ && (state_[static_cast<size_t>(leaf)] & kClaimed) == 0) {
        state_[static_cast<size_t>(leaf)] |= kFree;
      }
    }
    trunk = Get32(&page[0]);
  }
}

int64_t SalvageReader::ReadStrayRows(const std::vector<StrayRowTarget>& targets) {
  if (targets.empty()) return 0;
  int64_t taken = 0;
  std::vector<uint8_t> page;
  for (int64_t p = 2; p <= page_count_; ++p) {
    if ((state_[static_cast<size_t>(p)] & (kClaimed | kFree)) != 0 || p == lock_page_) continue;
    if (!ReadPage(p, page) || page[0] != kTableLeaf) continue;
    taken += TakeStrayPage(page, p, targets);
  }
  return taken;
}

int SalvageReader::TakeStrayPage(const std::vector<uint8_t>& page, int64_t page_number,
                                 const std::vector<StrayRowTarget>& targets) {
  PageHeader h;
  if (!ReadHeader(page, page_number, usable_, &h)) return 0;
  const std::vector<StrayCell> cells = StrayCells(page, h);
  const StrayRowTarget* target = BestTarget(cells, targets);
  if (target == nullptr) return 0;
  int taken = 0;
  for (const StrayCell& stray : cells) {
    if (!target->wants(stray.cell.rowid)) continue;
    if (!TakeRow(page, stray.cell, target->shape, false)) continue;
    target->sink(stray.cell.rowid, fields_);
    ++taken;
  }
  if (taken > 0) state_[static_cast<size_t>(page_number)] |= kClaimed;
  return taken;
}

// The cells of a leaf page whose record header can be read from the page itself.
std::vector<SalvageReader::StrayCell> SalvageReader::StrayCells(const std::vector<uint8_t>& page,
                                                                const PageHeader& h) {
  std::vector<StrayCell> cells;
  for (int i = 0; i < h.cells; ++i) {
    StrayCell stray;
    uint64_t header_size = 0;
    const int offset = CellOffset(page, h, i, usable_);
    if (offset >= 0 && ParseCell(page, offset, kTableLeaf, &stray.cell) &&
        ReadSerialTypes(page.data() + stray.cell.local_at, stray.cell.local_size,
                        stray.cell.payload_size, kMaxFields, stray.types, header_size)) {
      cells.push_back(std::move(stray));
    }
  }
  return cells;
}

// The target whose shape fits every row, preferring the one whose columns most rows fill
// exactly; none when two fit equally well.
const StrayRowTarget* SalvageReader::BestTarget(const std::vector<StrayCell>& cells,
                                                const std::vector<StrayRowTarget>& targets) {
  const StrayRowTarget* best = nullptr;
  int best_exact = -1;
  bool tie = false;
  for (const StrayRowTarget& target : targets) {
    int exact = 0;
    bool fits = !cells.empty();
    for (const StrayCell& stray : cells) {
      fits = fits && FitsShape(stray.types, target.shape);
      exact += stray.types.size() == static_cast<size_t>(target.shape.columns) ? 1 : 0;
    }
    if (!fits) continue;
    if (exact > best_exact) {
      best = &target;
      best_exact = exact;
      tie = false;
    } else if (exact == best_exact) {
      tie = true;
    }
  }
  return tie ? nullptr : best;
}

}  // namespace tessavo::store
