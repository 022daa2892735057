// Page records: the rows of tblPages, one per file of the output folder.
//
// PageKey is not held to the 120 characters of its declared size: a key is a page name
// (up to 120 characters) with the file name prefix and extension around it, and cutting it
// short would make two files share one record.
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <memory>

#include "store/blog.h"
#include "store/schema.h"
#include "util/error.h"

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

void Blog::ResetGeneratedCrcs() {
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "UPDATE tblPages SET PageCRCNew = 0");
    q.exec();
  });
}

}  // namespace tessavo
