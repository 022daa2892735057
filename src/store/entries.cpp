// Entries: the rows of tblBlog.
#include <sqlite3.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/blog.h"
#include "store/schema.h"
#include "util/error.h"
#include "util/host.h"

namespace tessavo {
namespace {

const char* const kSelectEntry =
    "SELECT BlogKey, BlogDateTime, BlogTitle, BlogText, BlogCategory, BlogCoolURL, "
    "BlogPageType, BlogPageName, BlogKeywords, BlogTeaser, BlogSidebar, BlogExtra1, "
    "BlogExtra2, BlogTitle1, BlogTitle2, BlogMetaDesc FROM tblBlog";

const char* OrderBy(EntryOrder order) {
  return order == EntryOrder::kNewestFirst ? " ORDER BY BlogDateTime DESC, BlogKey DESC"
                                           : " ORDER BY BlogDateTime ASC, BlogKey ASC";
}

BlogRec ReadEntry(sqlite3_stmt* q) {
  BlogRec rec;
  rec.key = store::ReadInt(q, 0);
  const store::FieldSource row{"tblBlog", rec.key};
  rec.date_time = store::ReadDateTime(q, 1);
  rec.title = store::ReadText(q, 2);
  rec.text = store::ReadMemo(q, 3, row);
  rec.category = store::ReadInt(q, 4);
  rec.link = store::ReadText(q, 5);
  rec.type = store::ReadInt(q, 6);
  rec.page_name = store::ReadText(q, 7);
  rec.keywords = store::ReadText(q, 8);
  rec.teaser = store::ReadMemo(q, 9, row);
  rec.sidebar = store::ReadMemo(q, 10, row);
  rec.extra1 = store::ReadMemo(q, 11, row);
  rec.extra2 = store::ReadMemo(q, 12, row);
  rec.title1 = store::ReadText(q, 13);
  rec.title2 = store::ReadText(q, 14);
  rec.meta_desc = store::ReadText(q, 15);
  return rec;
}

void CheckEntry(const BlogRec& rec) {
  // The page name becomes a file name on the site and an argument of the publisher's
  // commands: a line break in it would end one command and start another.
  const std::string problem = NameProblem("Page Name", "BlogPageName", rec.page_name);
  if (!problem.empty()) throw Error(problem);
  store::CheckTextLength("BlogTitle", rec.title, 250);
  store::CheckTextLength("BlogCoolURL", rec.link, 250);
  store::CheckTextLength("BlogPageName", rec.page_name, 120);
  store::CheckTextLength("BlogKeywords", rec.keywords, 250);
  store::CheckTextLength("BlogTitle1", rec.title1, 250);
  store::CheckTextLength("BlogTitle2", rec.title2, 250);
  store::CheckTextLength("BlogMetaDesc", rec.meta_desc, 250);
}

// Binds the fifteen written fields, BlogDateTime to BlogMetaDesc, to parameters 1 to 15.
void BindEntry(SQLite::Statement& q, const BlogRec& rec) {
  q.bind(1, rec.date_time.Format());
  q.bind(2, rec.title);
  store::BindMemo(q, 3, rec.text);
  q.bind(4, rec.category);
  q.bind(5, rec.link);
  q.bind(6, rec.type);
  q.bind(7, rec.page_name);
  store::BindMemo(q, 8, rec.teaser);
  q.bind(9, rec.keywords);
  store::BindMemo(q, 10, rec.sidebar);
  store::BindMemo(q, 11, rec.extra1);
  store::BindMemo(q, 12, rec.extra2);
  q.bind(13, rec.title1);
  q.bind(14, rec.title2);
  q.bind(15, rec.meta_desc);
}

const char* const kInsertEntry =
    "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText, BlogCategory, BlogCoolURL, "
    "BlogPageType, BlogPageName, BlogTeaser, BlogKeywords, BlogSidebar, BlogExtra1, BlogExtra2, "
    "BlogTitle1, BlogTitle2, BlogMetaDesc) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

}  // namespace

namespace store {

int32_t InsertStarterEntry(SQLite::Database& db, const std::string& title, const std::string& text,
                           int32_t type, const std::string& page_name) {
  SQLite::Statement q(db,
                      "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText, BlogPageType, "
                      "BlogPageName) VALUES (?, ?, ?, ?, ?)");
  q.bind(1, DateTime::Now().Format());
  q.bind(2, title);
  BindMemo(q, 3, text);
  q.bind(4, type);
  q.bind(5, page_name);
  q.exec();
  return static_cast<int32_t>(db.getLastInsertRowid());
}

}  // namespace store

std::vector<BlogRec> Blog::Entries(EntryOrder order) const {
  std::vector<BlogRec> out;
  ScanEntries(order, [&](BlogRec&& rec) { out.push_back(std::move(rec)); });
  return out;
}

void Blog::ForEachEntry(EntryOrder order, const std::function<void(const BlogRec&)>& fn) const {
  ScanEntries(order, [&](BlogRec&& rec) { fn(rec); });
}

void Blog::ScanEntries(EntryOrder order, const std::function<void(BlogRec&&)>& fn) const {
  SQLite::Database& d = db();
  std::unique_ptr<store::RawStatement> q;
  store::Guarded(file_, [&] {
    const std::string sql = std::string(kSelectEntry) + OrderBy(order);
    q = std::make_unique<store::RawStatement>(d, sql.c_str());
  });
  for (;;) {
    // Only the reading is guarded: what `fn` throws passes through unchanged.
    std::optional<BlogRec> rec = store::Guarded(file_, [&]() -> std::optional<BlogRec> {
      if (!q->Step()) return std::nullopt;
      return ReadEntry(q->get());
    });
    if (!rec) break;
    fn(std::move(*rec));
  }
}

int Blog::EntryCount() const {
  return store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "SELECT COUNT(*) FROM tblBlog");
    q.executeStep();
    return q.getColumn(0).getInt();
  });
}

namespace {

const char* const kSelectListItem =
    "SELECT BlogKey, BlogDateTime, BlogTitle, BlogPageType, BlogCategory FROM tblBlog";

EntryListItem ReadListItem(sqlite3_stmt* q) {
  EntryListItem item;
  item.key = store::ReadInt(q, 0);
  item.date_time = store::ReadDateTime(q, 1);
  item.title = store::ReadText(q, 2);
  item.type = store::ReadInt(q, 3);
  item.category = store::ReadInt(q, 4);
  return item;
}

}  // namespace

std::vector<int32_t> Blog::EntryKeys(EntryOrder order) const {
  return store::Guarded(file_, [&] {
    // BlogDateTime and BlogKey are both in the date index, so this reads no table row.
    const std::string sql = std::string("SELECT BlogKey FROM tblBlog") + OrderBy(order);
    store::RawStatement q(db(), sql.c_str());
    std::vector<int32_t> keys;
    while (q.Step()) keys.push_back(store::ReadInt(q.get(), 0));
    return keys;
  });
}

std::vector<EntryListItem> Blog::EntryListItems(const std::vector<int32_t>& keys) const {
  return store::Guarded(file_, [&] {
    const std::string sql = std::string(kSelectListItem) + " WHERE BlogKey = ?";
    store::RawStatement q(db(), sql.c_str());
    std::vector<EntryListItem> items;
    items.reserve(keys.size());
    for (int32_t key : keys) {
      q.BindInt(1, key);
      const bool found = q.Step();
      if (found) items.push_back(ReadListItem(q.get()));
      q.Reset();
    }
    return items;
  });
}

namespace {

// Appends one stored value to `row` as its type and a digest of its bytes (read where
// SQLite holds them: a long text is not copied).
void AppendStoredValue(std::string& row, sqlite3_stmt* q, int column) {
  const int type = sqlite3_column_type(q, column);
  row.push_back(static_cast<char>('0' + type));
  uint64_t value = 0;
  if (type == SQLITE_INTEGER) {
    const int64_t v = sqlite3_column_int64(q, column);
    std::memcpy(&value, &v, sizeof v);
  } else if (type == SQLITE_FLOAT) {
    const double v = sqlite3_column_double(q, column);
    std::memcpy(&value, &v, sizeof v);
  } else if (type != SQLITE_NULL) {
    const void* data =
        type == SQLITE_BLOB ? sqlite3_column_blob(q, column) : sqlite3_column_text(q, column);
    const size_t size = static_cast<size_t>(sqlite3_column_bytes(q, column));
    value = Digest64Of(std::string_view(static_cast<const char*>(data), data ? size : 0));
  }
  row.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

std::vector<BlogRec> Blog::EntryHeads(EntryOrder order, bool teasers,
                                      std::vector<Digest>& digests) const {
  return store::Guarded(file_, [&] {
    db();  // throws when the blog is closed
    // A connection of its own, so that a run may read the entries on another thread while
    // this one loads the rest.
    const std::unique_ptr<SQLite::Database> own = OpenReadConnection();
    SQLite::Database& conn = *own;
    // The order comes from the date index alone; the rows are then read in the order they
    // lie in the file, which is much faster than looking each one up from the index.
    SQLite::Transaction reading(conn);  // one snapshot for both reads; nothing is written
    std::vector<int32_t> keys;
    {
      const std::string sql = std::string("SELECT BlogKey FROM tblBlog") + OrderBy(order);
      store::RawStatement q(conn, sql.c_str());
      while (q.Step()) keys.push_back(store::ReadInt(q.get(), 0));
    }
    std::unordered_map<int32_t, size_t> place;
    place.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) place.emplace(keys[i], i);

    std::vector<BlogRec> out(keys.size());
    digests.assign(keys.size(), Digest{});
    store::RawStatement q(conn, kSelectEntry);
    std::string row;
    while (q.Step()) {
      sqlite3_stmt* s = q.get();
      auto at = place.find(store::ReadInt(s, 0));
      if (at == place.end()) continue;
      // The digest first: reading a column as another type would change how it reads.
      row.clear();
      for (int c = 0; c < 16; ++c) AppendStoredValue(row, s, c);
      digests[at->second] = DigestOf(row);

      BlogRec& rec = out[at->second];
      rec.key = store::ReadInt(s, 0);
      const store::FieldSource source{"tblBlog", rec.key};
      rec.date_time = store::ReadDateTime(s, 1);
      rec.title = store::ReadText(s, 2);
      rec.category = store::ReadInt(s, 4);
      rec.link = store::ReadText(s, 5);
      rec.type = store::ReadInt(s, 6);
      rec.page_name = store::ReadText(s, 7);
      rec.keywords = store::ReadText(s, 8);
      if (teasers) rec.teaser = store::ReadMemo(s, 9, source);
      rec.title1 = store::ReadText(s, 13);
      rec.title2 = store::ReadText(s, 14);
      rec.meta_desc = store::ReadText(s, 15);
      if (rec.type == kStaticPage) rec.text = store::ReadMemo(s, 3, source);
    }
    return out;
  });
}

struct EntryTextReader::Statement {
  // One read transaction for all the reads: outside one, every read takes and drops the
  // file's locks, which costs more than the read.
  explicit Statement(std::unique_ptr<SQLite::Database> own)
      : db(std::move(own)),
        reading(*db),
        q(*db,
          "SELECT BlogText, BlogSidebar, BlogExtra1, BlogExtra2, BlogTeaser FROM tblBlog "
          "WHERE BlogKey = ?") {}
  std::unique_ptr<SQLite::Database> db;
  SQLite::Transaction reading;  // rolled back at the end: nothing is written
  store::RawStatement q;
};

EntryTextReader::EntryTextReader(const Blog& blog)
    : file_(blog.file_), statement_(store::Guarded(file_, [&] {
        // Its own connection: the Blog's stays free for the thread that owns it.
        blog.db();  // throws when the blog is closed
        return std::make_unique<Statement>(blog.OpenReadConnection());
      })) {}

EntryTextReader::~EntryTextReader() = default;

void EntryTextReader::Read(BlogRec& rec) {
  store::Guarded(file_, [&] {
    store::RawStatement& q = statement_->q;
    q.BindInt(1, rec.key);
    if (!q.Step()) {
      q.Reset();
      throw Error("Error in blog file " + file_.string() + ": the entry with key " +
                  std::to_string(rec.key) + " is gone");
    }
    const store::FieldSource source{"tblBlog", rec.key};
    try {
      rec.text = store::ReadMemo(q.get(), 0, source);
      rec.sidebar = store::ReadMemo(q.get(), 1, source);
      rec.extra1 = store::ReadMemo(q.get(), 2, source);
      rec.extra2 = store::ReadMemo(q.get(), 3, source);
      rec.teaser = store::ReadMemo(q.get(), 4, source);
    } catch (...) {
      q.Reset();
      throw;
    }
    q.Reset();
  });
}

std::unique_ptr<EntryTextReader> Blog::OpenEntryTexts() const {
  return std::unique_ptr<EntryTextReader>(new EntryTextReader(*this));
}

std::optional<BlogRec> Blog::FindEntry(int32_t key) const {
  return store::Guarded(file_, [&]() -> std::optional<BlogRec> {
    const std::string sql = std::string(kSelectEntry) + " WHERE BlogKey = ?";
    store::RawStatement q(db(), sql.c_str());
    q.BindInt(1, key);
    if (!q.Step()) return std::nullopt;
    return ReadEntry(q.get());
  });
}

int32_t Blog::InsertEntry(const BlogRec& rec) {
  CheckEntry(rec);
  return store::Guarded(file_, [&] {
    store::WriteTransaction tx(db());
    SQLite::Statement q(db(), kInsertEntry);
    BindEntry(q, rec);
    q.exec();
    auto key = static_cast<int32_t>(db().getLastInsertRowid());
    tx.Commit();
    return key;
  });
}

void Blog::UpdateEntry(const BlogRec& rec) {
  CheckEntry(rec);
  store::Guarded(file_, [&] {
    store::WriteTransaction tx(db());
    SQLite::Statement q(db(),
                        "UPDATE tblBlog SET BlogDateTime = ?, BlogTitle = ?, BlogText = ?, "
                        "BlogCategory = ?, BlogCoolURL = ?, BlogPageType = ?, BlogPageName = ?, "
                        "BlogTeaser = ?, BlogKeywords = ?, BlogSidebar = ?, BlogExtra1 = ?, "
                        "BlogExtra2 = ?, BlogTitle1 = ?, BlogTitle2 = ?, BlogMetaDesc = ? "
                        "WHERE BlogKey = ?");
    BindEntry(q, rec);
    q.bind(16, rec.key);
    if (q.exec() == 0) {
      throw Error("There is no blog entry with key " + std::to_string(rec.key) + ".");
    }
    tx.Commit();
  });
}

void Blog::ApplyPageNameRule(BlogRec& rec) const {
  std::vector<BlogRec> one{std::move(rec)};
  ApplyPageNameRule(one);
  rec = std::move(one.front());
}

void Blog::ApplyPageNameRule(std::vector<BlogRec>& recs) const {
  // The names in use are read only when a record needs a time-stamp name.
  std::optional<std::unordered_map<std::string, std::vector<int32_t>>> in_use;
  std::unordered_set<std::string> given;  // to earlier records of `recs`
  const DateTime now = DateTime::Now();
  for (BlogRec& rec : recs) {
    auto taken = [&](const std::string& name) {
      if (given.count(name) > 0) return true;
      if (!in_use) {
        in_use.emplace();
        store::Guarded(file_, [&] {
          store::RawStatement q(db(), "SELECT BlogKey, BlogPageName FROM tblBlog");
          while (q.Step()) {
            (*in_use)[store::ReadText(q.get(), 1)].push_back(store::ReadInt(q.get(), 0));
          }
        });
      }
      auto it = in_use->find(name);
      if (it == in_use->end()) return false;
      // The entry's own row does not take the name from it.
      for (int32_t key : it->second) {
        if (key != rec.key) return true;
      }
      return false;
    };
    const std::string before = rec.page_name;
    tessavo::ApplyPageNameRule(rec, now, taken);
    if (rec.page_name != before && !rec.page_name.empty()) given.insert(rec.page_name);
  }
}

bool Blog::RemoveEntry(int32_t key, Host& host) {
  std::optional<BlogRec> rec = FindEntry(key);
  if (!rec) return false;
  if (!host.ConfirmOkCancel("Remove Blog Entry? \n\n" + rec->title + " (" +
                            rec->date_time.Format() + ").")) {
    return false;
  }
  DeleteEntry(key);
  return true;
}

void Blog::DeleteEntry(int32_t key) {
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "DELETE FROM tblBlog WHERE BlogKey = ?");
    q.bind(1, key);
    q.exec();
  });
}

std::vector<int32_t> Blog::InsertEntries(const std::vector<BlogRec>& recs) {
  for (const BlogRec& rec : recs) CheckEntry(rec);
  return store::Guarded(file_, [&] {
    std::vector<int32_t> keys;
    keys.reserve(recs.size());
    store::WriteTransaction tx(db());
    SQLite::Statement q(db(), kInsertEntry);
    for (const BlogRec& rec : recs) {
      BindEntry(q, rec);
      q.exec();
      q.reset();
      keys.push_back(static_cast<int32_t>(db().getLastInsertRowid()));
    }
    tx.Commit();
    return keys;
  });
}

}  // namespace tessavo
