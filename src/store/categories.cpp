// Categories: the rows of tblCategory, and removing a category from the entries using it.
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "store/blog.h"
#include "store/schema.h"
#include "util/error.h"
#include "util/host.h"

namespace tessavo {
namespace {

const char* const kSelectCategory =
    "SELECT CategoryKey, CategoryTitle, CategoryName, CategoryText, CategoryKeywords, "
    "CategoryTeaser, CategorySidebar, CategoryExtra1, CategoryExtra2, CategoryTitle1, "
    "CategoryTitle2, CategoryMetaDesc FROM tblCategory";

BlogRec ReadCategory(SQLite::Statement& q) {
  BlogRec rec;
  rec.key = store::ReadInt(q.getColumn(0));
  const store::FieldSource row{"tblCategory", rec.key};
  rec.date_time = DateTime::Now();
  rec.title = store::ReadText(q.getColumn(1));
  rec.page_name = store::ReadText(q.getColumn(2));
  rec.text = store::ReadMemo(q.getColumn(3), row);
  rec.keywords = store::ReadText(q.getColumn(4));
  rec.teaser = store::ReadMemo(q.getColumn(5), row);
  rec.sidebar = store::ReadMemo(q.getColumn(6), row);
  rec.extra1 = store::ReadMemo(q.getColumn(7), row);
  rec.extra2 = store::ReadMemo(q.getColumn(8), row);
  rec.title1 = store::ReadText(q.getColumn(9));
  rec.title2 = store::ReadText(q.getColumn(10));
  rec.meta_desc = store::ReadText(q.getColumn(11));
  rec.category = -1;
  rec.type = 1;
  return rec;
}

void CheckCategory(const BlogRec& rec) {
  // The category's name is the file name of its page, as an entry's page name is.
  const std::string problem = NameProblem("Category Name", "CategoryName", rec.page_name);
  if (!problem.empty()) throw Error(problem);
  store::CheckTextLength("CategoryTitle", rec.title, 250);
  store::CheckTextLength("CategoryName", rec.page_name, 120);
  store::CheckTextLength("CategoryKeywords", rec.keywords, 250);
  store::CheckTextLength("CategoryTitle1", rec.title1, 250);
  store::CheckTextLength("CategoryTitle2", rec.title2, 250);
  store::CheckTextLength("CategoryMetaDesc", rec.meta_desc, 250);
}

// Binds the eleven written fields, CategoryTitle to CategoryMetaDesc, to parameters 1 to 11.
void BindCategory(SQLite::Statement& q, const BlogRec& rec) {
  q.bind(1, rec.title);
  store::BindMemo(q, 2, rec.text);
  q.bind(3, rec.page_name);
  store::BindMemo(q, 4, rec.teaser);
  q.bind(5, rec.keywords);
  store::BindMemo(q, 6, rec.sidebar);
  store::BindMemo(q, 7, rec.extra1);
  store::BindMemo(q, 8, rec.extra2);
  q.bind(9, rec.title1);
  q.bind(10, rec.title2);
  q.bind(11, rec.meta_desc);
}

std::string LimitMessage() {
  return "Tessavo allows a maximum of " + std::to_string(Blog::kMaxCategories) + " categories.";
}

// Keeps the status window's open/close pairs balanced on every way out of a scan.
class StatusWindow {
 public:
  StatusWindow(Host& host, const std::string& caption, const std::string& text) : host_(host) {
    host_.ShowStatus();
    host_.SetStatusCaption(caption);
    host_.SetStatus(text);
  }
  ~StatusWindow() { host_.CloseStatus(); }
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;

 private:
  Host& host_;
};

}  // namespace

std::vector<BlogRec> Blog::Categories() const {
  return store::Guarded(file_, [&] {
    std::vector<BlogRec> out;
    SQLite::Statement q(db(), std::string(kSelectCategory) + " ORDER BY CategoryKey");
    while (q.executeStep()) out.push_back(ReadCategory(q));
    return out;
  });
}

std::optional<BlogRec> Blog::FindCategory(int32_t key) const {
  return store::Guarded(file_, [&]() -> std::optional<BlogRec> {
    SQLite::Statement q(db(), std::string(kSelectCategory) + " WHERE CategoryKey = ?");
    q.bind(1, key);
    if (!q.executeStep()) return std::nullopt;
    return ReadCategory(q);
  });
}

int Blog::CategoryCount() const {
  return store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "SELECT COUNT(*) FROM tblCategory");
    q.executeStep();
    return q.getColumn(0).getInt();
  });
}

BlogRec Blog::NewCategoryRec() {
  BlogRec rec;
  rec.key = -1;
  rec.date_time = DateTime::Now();
  rec.category = -1;
  rec.type = 1;
  rec.page_name = "c" + rec.date_time.Stamp();
  return rec;
}

bool Blog::CheckCategoryLimit(Host& host) {
  if (CategoryCount() < kMaxCategories) return true;
  host.ShowInformation(LimitMessage());
  return false;
}

int32_t Blog::InsertCategory(const BlogRec& rec) {
  CheckCategory(rec);
  return store::Guarded(file_, [&] {
    store::WriteTransaction tx(db());
    // The limit holds whoever inserts; the front ends ask CheckCategoryLimit first.
    if (CategoryCount() >= kMaxCategories) throw Error(LimitMessage());
    SQLite::Statement q(db(),
                        "INSERT INTO tblCategory (CategoryTitle, CategoryText, CategoryName, "
                        "CategoryTeaser, CategoryKeywords, CategorySidebar, CategoryExtra1, "
                        "CategoryExtra2, CategoryTitle1, CategoryTitle2, CategoryMetaDesc) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    BindCategory(q, rec);
    q.exec();
    auto key = static_cast<int32_t>(db().getLastInsertRowid());
    tx.Commit();
    return key;
  });
}

void Blog::UpdateCategory(const BlogRec& rec) {
  CheckCategory(rec);
  store::Guarded(file_, [&] {
    store::WriteTransaction tx(db());
    SQLite::Statement q(db(),
                        "UPDATE tblCategory SET CategoryTitle = ?, CategoryText = ?, "
                        "CategoryName = ?, CategoryTeaser = ?, CategoryKeywords = ?, "
                        "CategorySidebar = ?, CategoryExtra1 = ?, CategoryExtra2 = ?, "
                        "CategoryTitle1 = ?, CategoryTitle2 = ?, CategoryMetaDesc = ? "
                        "WHERE CategoryKey = ?");
    BindCategory(q, rec);
    q.bind(12, rec.key);
    if (q.exec() == 0) {
      throw Error("There is no category with key " + std::to_string(rec.key) + ".");
    }
    tx.Commit();
  });
}

bool Blog::RemoveCategory(int32_t key, Host& host) {
  std::optional<BlogRec> category = FindCategory(key);
  if (!category) return false;
  const std::string& title = category->title;

  // Counting pass over every entry, in the entry list's order.
  int count = 0;
  {
    StatusWindow status(host, "Checking Blog...",
                        "Checking Blog for existing category \"" + title + "\"...");
    store::Guarded(file_, [&] {
      SQLite::Statement q(db(),
                          "SELECT BlogCategory FROM tblBlog "
                          "ORDER BY BlogDateTime DESC, BlogKey DESC");
      int visited = 0;
      while (q.executeStep()) {
        ++visited;
        if (store::ReadInt(q.getColumn(0)) == key) ++count;
        host.SetStatus("Checking Record  " + std::to_string(visited) + ". Found " +
                       std::to_string(count) + " so far...");
      }
    });
    host.SetStatus("Complete...");
  }

  if (count > 0 &&
      !host.ConfirmOkCancel("Category \"" + title + "\" is being used on " + std::to_string(count) +
                            " entries." + "\n\n" + "Continue?")) {
    return false;
  }
  if (!host.ConfirmOkCancel("Remove Category \" " + title + "\"")) return false;

  // The deletion and the clearing of the entries form one transaction.
  store::Guarded(file_, [&] {
    store::WriteTransaction tx(db());
    SQLite::Statement del(db(), "DELETE FROM tblCategory WHERE CategoryKey = ?");
    del.bind(1, key);
    del.exec();
    if (count > 0) {
      StatusWindow status(host, "Updating Blog...",
                          "Removing category \"" + title + "\" from entries...");
      SQLite::Statement q(db(),
                          "SELECT BlogKey, BlogCategory FROM tblBlog "
                          "ORDER BY BlogDateTime DESC, BlogKey DESC");
      SQLite::Statement clear(db(), "UPDATE tblBlog SET BlogCategory = -1 WHERE BlogKey = ?");
      int visited = 0;
      int cleared = 0;
      while (q.executeStep()) {
        ++visited;
        if (store::ReadInt(q.getColumn(1)) == key) {
          clear.bind(1, q.getColumn(0).getInt64());
          clear.exec();
          clear.reset();
          ++cleared;
        }
        host.SetStatus("Checking Record  " + std::to_string(visited) + ". Cleared " +
                       std::to_string(cleared) + " so far...");
      }
      host.SetStatus("Complete...");
    }
    tx.Commit();
  });
  return true;
}

}  // namespace tessavo
