// Page records: the rows of tblPages, one per file of the output folder.
//
// PageKey is not held to the 120 characters of its declared size: a key is a page name
// (up to 120 characters) with the file name prefix and extension around it, and cutting it
// short would make two files share one record.
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "store/blog.h"
#include "store/schema.h"
#include "util/error.h"

namespace tessavo {
namespace {

PageRecord ReadPage(SQLite::Statement& q) {
  PageRecord rec;
  rec.key = store::ReadText(q.getColumn(0));
  rec.existing = store::ReadInt(q.getColumn(1));
  rec.generated = store::ReadInt(q.getColumn(2));
  rec.local = store::ReadInt(q.getColumn(3));
  return rec;
}

const char* const kSelectPage =
    "SELECT PageKey, PageCRCExisting, PageCRCNew, PageCRCLocal FROM tblPages";

}  // namespace

std::optional<PageRecord> Blog::FindPage(const std::string& key) const {
  return store::Guarded(file_, [&]() -> std::optional<PageRecord> {
    SQLite::Statement q(db(), std::string(kSelectPage) + " WHERE PageKey = ?");
    q.bind(1, key);
    if (!q.executeStep()) return std::nullopt;
    return ReadPage(q);
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
  return store::Guarded(file_, [&] {
    std::vector<PageRecord> out;
    SQLite::Statement q(db(), std::string(kSelectPage) + " ORDER BY PageKey");
    while (q.executeStep()) out.push_back(ReadPage(q));
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
