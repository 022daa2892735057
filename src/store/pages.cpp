// Page records: the rows of tblPages, one per file of the output folder.
//
// PageKey is not held to the 120 characters of its declared size: a key is a page name
// (up to 120 characters) with the file name prefix and extension around it, and cutting it
// short would make two files share one record.
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "store/blog.h"
#include "store/schema.h"
#include "util/error.h"
#include "util/host.h"

namespace tessavo {
namespace {

// A page record from the current row of a statement on kSelectPage.
PageRecord ReadPage(sqlite3_stmt* q) {
  PageRecord rec;
  rec.key = store::ReadText(q, 0);
  rec.existing = store::ReadInt(q, 1);
  rec.generated = store::ReadInt(q, 2);
  rec.local = store::ReadInt(q, 3);
  return rec;
}

const char* const kSelectPage =
    "SELECT PageKey, PageCRCExisting, PageCRCNew, PageCRCLocal FROM tblPages";

std::string SaveFailure(const std::filesystem::path& file, const std::exception& e) {
  return "Cannot save the page records of " + file.string() + ": " + e.what();
}

// The order of SQLite's storage classes in an index: null, numbers, text, blobs.
int TypeRank(int type) {
  switch (type) {
    case SQLITE_NULL:
      return 0;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return 1;
    case SQLITE_TEXT:
      return 2;
    default:
      return 3;
  }
}
constexpr int kTextRank = 2;

// A page record read by a full scan, without ReadInt's test for null: SQLite reads null
// as 0 and cuts the value to 32 bits the same way.
PageRecord ReadScannedPage(sqlite3_stmt* row) {
  PageRecord rec;
  rec.key = store::ReadText(row, 0);
  rec.existing = sqlite3_column_int(row, 1);
  rec.generated = sqlite3_column_int(row, 2);
  rec.local = sqlite3_column_int(row, 3);
  return rec;
}

// Puts `records` (in table order, each with the rank of its key's type) into the key
// index's order of types, keeping table order within each type.
void OrderByKeyType(std::vector<PageRecord>& records, const std::vector<uint8_t>& ranks) {
  std::vector<uint32_t> order(records.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return ranks[a] < ranks[b]; });
  std::vector<PageRecord> sorted;
  sorted.reserve(records.size());
  for (uint32_t i : order) sorted.push_back(std::move(records[i]));
  records = std::move(sorted);
}

constexpr size_t kInsertBatch = 64;

// A record with the first 16 bytes of its key as two big-endian numbers (zero-padded),
// which order as the bytes do.
struct KeyedRecord {
  uint64_t hi;
  uint64_t lo;
  const PageRecord* record;
};

KeyedRecord MakeKeyedRecord(const PageRecord* record) {
  const std::string& key = record->key;
  unsigned char bytes[16] = {};
  std::memcpy(bytes, key.data(), std::min<size_t>(key.size(), 16));
  KeyedRecord k{0, 0, record};
  for (int i = 0; i < 8; ++i) {
    k.hi = k.hi << 8 | bytes[i];
    k.lo = k.lo << 8 | bytes[i + 8];
  }
  return k;
}

// Sorts records by their keys in byte order, the order of the key index. Most keys differ
// in their first 16 bytes, so those are compared as numbers before the strings.
void SortByKey(std::vector<const PageRecord*>& records) {
  std::vector<KeyedRecord> items;
  items.reserve(records.size());
  for (const PageRecord* r : records) items.push_back(MakeKeyedRecord(r));
  std::sort(items.begin(), items.end(), [](const KeyedRecord& a, const KeyedRecord& b) {
    if (a.hi != b.hi) return a.hi < b.hi;
    if (a.lo != b.lo) return a.lo < b.lo;
    return a.record->key < b.record->key;
  });
  for (size_t i = 0; i < items.size(); ++i) records[i] = items[i].record;
}

// An INSERT of `rows` new page records.
std::string InsertSql(size_t rows) {
  std::string sql =
      "INSERT INTO tblPages (PageKey, PageCRCExisting, PageCRCNew, PageCRCLocal) VALUES ";
  for (size_t i = 0; i < rows; ++i) sql += i == 0 ? "(?, ?, ?, ?)" : ", (?, ?, ?, ?)";
  return sql;
}

// Binds one record to parameters first + 1 .. first + 4 of an InsertSql statement.
void BindNewRecord(store::RawStatement& insert, int first, const PageRecord& r) {
  insert.BindText(first + 1, r.key);
  insert.BindInt(first + 2, r.existing);
  insert.BindInt(first + 3, r.generated);
  insert.BindInt(first + 4, r.local);
}

void UpdateRecords(SQLite::Database& db, const std::vector<const PageRecord*>& changed) {
  if (changed.empty()) return;
  store::RawStatement update(db,
                             "UPDATE tblPages SET PageCRCExisting = ?, PageCRCNew = ?, "
                             "PageCRCLocal = ? WHERE PageKey = ?");
  for (const PageRecord* r : changed) {
    update.BindInt(1, r->existing);
    update.BindInt(2, r->generated);
    update.BindInt(3, r->local);
    update.BindText(4, r->key);
    update.Run();
  }
}

// New records go in by the batch and in key order: a first generation run brings one per
// file, most of a one-row INSERT's cost is the statement's own start and finish, and the
// key index takes ordered rows far more cheaply than scattered ones.
void InsertRecords(SQLite::Database& db, std::vector<const PageRecord*>& added) {
  SortByKey(added);
  size_t done = 0;
  if (added.size() >= kInsertBatch) {
    store::RawStatement insert(db, InsertSql(kInsertBatch).c_str());
    for (; added.size() - done >= kInsertBatch; done += kInsertBatch) {
      for (size_t b = 0; b < kInsertBatch; ++b) {
        BindNewRecord(insert, static_cast<int>(b * 4), *added[done + b]);
      }
      insert.Run();
    }
  }
  if (done < added.size()) {
    store::RawStatement insert(db, InsertSql(1).c_str());
    for (; done < added.size(); ++done) {
      BindNewRecord(insert, 0, *added[done]);
      insert.Run();
    }
  }
}

}  // namespace

std::optional<PageRecord> Blog::FindPage(const std::string& key) const {
  return store::Guarded(file_, [&]() -> std::optional<PageRecord> {
    const std::string sql = std::string(kSelectPage) + " WHERE PageKey = ?";
    store::RawStatement q(db(), sql.c_str());
    q.BindText(1, key);
    if (!q.Step()) return std::nullopt;
    return ReadPage(q.get());
  });
}

void Blog::InsertPage(const PageRecord& rec) {
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(),
                        "INSERT INTO tblPages (PageKey, PageCRCExisting, PageCRCNew, "
                        "PageCRCLocal) VALUES (?, ?, ?, ?)");
    q.bind(1, rec.key);
    q.bind(2, rec.existing);
    q.bind(3, rec.generated);
    q.bind(4, rec.local);
    q.exec();
  });
}

void Blog::UpdatePage(const PageRecord& rec) {
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(),
                        "UPDATE tblPages SET PageCRCExisting = ?, PageCRCNew = ?, "
                        "PageCRCLocal = ? WHERE PageKey = ?");
    q.bind(1, rec.existing);
    q.bind(2, rec.generated);
    q.bind(3, rec.local);
    q.bind(4, rec.key);
    if (q.exec() == 0) throw Error("There is no page record " + rec.key + ".");
  });
}

void Blog::DeletePage(const std::string& key) {
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "DELETE FROM tblPages WHERE PageKey = ?");
    q.bind(1, key);
    q.exec();
  });
}

int Blog::PageCount() const {
  return store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "SELECT COUNT(*) FROM tblPages");
    q.executeStep();
    return q.getColumn(0).getInt();
  });
}

std::vector<PageRecord> Blog::Pages() const {
  // A raw statement: the scan covers one row per output file, and the wrapper's checks
  // and Column objects per field cost more than the rows themselves.
  return store::Guarded(file_, [&] {
    std::vector<PageRecord> out;
    const std::string sql = std::string(kSelectPage) + " ORDER BY PageKey";
    store::RawStatement q(db(), sql.c_str());
    while (q.Step()) out.push_back(ReadPage(q.get()));
    return out;
  });
}

std::vector<PageRecord> Blog::PagesInStorageOrder() const {
  // The rows in table order, through the connection's own handle: walking the key index
  // would cost a table seek per row, and the wrapper's checks and Column objects per field
  // cost more than the rows themselves.
  return store::Guarded(file_, [&] {
    std::vector<PageRecord> records;
    std::vector<uint8_t> ranks;  // of each record's key type, before any conversion
    bool all_text = true;
    store::RawStatement q(db(), (std::string(kSelectPage) + " ORDER BY rowid").c_str());
    while (q.Step()) {
      const int rank = TypeRank(sqlite3_column_type(q.get(), 0));
      all_text = all_text && rank == kTextRank;
      ranks.push_back(static_cast<uint8_t>(rank));
      records.push_back(ReadScannedPage(q.get()));
    }
    if (!all_text) OrderByKeyType(records, ranks);
    return records;
  });
}

void Blog::SavePageRecords(const std::vector<const PageRecord*>& changed,
                           std::vector<const PageRecord*> added) {
  if (changed.empty() && added.empty()) return;
  try {
    SQLite::Transaction tr(db());
    UpdateRecords(db(), changed);
    InsertRecords(db(), added);
    tr.commit();
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error(SaveFailure(file_, e));
  }
}

void Blog::ResetGeneratedCrcs() {
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "UPDATE tblPages SET PageCRCNew = 0");
    q.exec();
  });
}

// One of the two mark commands: the question, the status window, one pass over the
// records in PageKey order inside one transaction, and the closing status line.
bool Blog::MarkAll(Host& host, const std::string& question, const std::string& title,
                   bool published) {
  if (!host.ConfirmYesNo(question)) return false;
  host.ShowStatus();
  host.SetStatus(title);
  try {
    std::vector<PageRecord> pages = Pages();  // each record visited exactly once
    SQLite::Transaction tr(db());
    SQLite::Statement set_existing(db(),
                                   "UPDATE tblPages SET PageCRCExisting = ? WHERE PageKey = ?");
    SQLite::Statement remove(db(), "DELETE FROM tblPages WHERE PageKey = ?");
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
    throw Error(SaveFailure(file_, e));
  }
  host.SetStatus(title + " complete");
  host.CloseStatus();
  return true;
}

bool Blog::MarkAllAsNew(Host& host) {
  return MarkAll(host, "Mark all Blog Pages as NOT Published?",
                 "Marking all Blog Pages as NOT Published", false);
}

bool Blog::MarkAllAsPublished(Host& host) {
  return MarkAll(host, "Mark all Blog Pages as Published?", "Marking all Blog Pages as Published",
                 true);
}

}  // namespace tessavo
