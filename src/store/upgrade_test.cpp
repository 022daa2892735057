// Opening blog files of older versions: every version step and its effect.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/schema.h"
#include "store/store_test_support.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

using ::testing::ElementsAre;

// Table layouts of older files, written with plain SQL.
const char* const kBlogBefore79 =
    "CREATE TABLE tblBlog (BlogKey INTEGER PRIMARY KEY AUTOINCREMENT, BlogDateTime DATETIME, "
    "BlogTitle TEXT(250), BlogText MEMO, BlogCategory INTEGER, BlogCoolURL TEXT(250), "
    "BlogPageType INTEGER, BlogPageName TEXT(120), BlogKeywords TEXT(250), BlogTeaser MEMO, "
    "BlogSidebar MEMO, BlogExtra1 MEMO, BlogExtra2 MEMO);";
const char* const kBlogAt80 =
    "CREATE TABLE tblBlog (BlogKey INTEGER PRIMARY KEY AUTOINCREMENT, BlogDateTime DATETIME, "
    "BlogTitle TEXT(250), BlogText MEMO, BlogCategory INTEGER, BlogCoolURL TEXT(250), "
    "BlogPageType INTEGER, BlogPageName TEXT(120), BlogKeywords TEXT(250), BlogTeaser MEMO, "
    "BlogSidebar MEMO, BlogExtra1 MEMO, BlogExtra2 MEMO, BlogTitle1 TEXT(250), "
    "BlogTitle2 TEXT(250), BlogMetaDesc TEXT(250));"
    "CREATE INDEX DisplayKey_tblBlog ON tblBlog (BlogDateTime DESC, BlogKey DESC);";
const char* const kOtherTables =
    "CREATE TABLE tblPictures (BlogPictureKey INTEGER PRIMARY KEY AUTOINCREMENT, "
    "BlogPictureName TEXT(120), BlogPicture BLOB, BlogPictureCRC INTEGER, BlogPictureDate "
    "DATETIME, BlogPictureSize INTEGER, BlogPictureHeight INTEGER, BlogPictureWidth INTEGER, "
    "BlogPictureType TEXT(3), BlogPictureCategory INTEGER);"
    "CREATE TABLE tblFiles (BlogFileKey INTEGER PRIMARY KEY AUTOINCREMENT, BlogFileName "
    "TEXT(120), BlogFile BLOB, BlogFileCRC INTEGER, BlogFileSize INTEGER, BlogFileDate DATETIME, "
    "BlogFileCategory INTEGER);"
    "CREATE TABLE tblOptions (OptionKey INTEGER, OptionName TEXT(120), OptionValue TEXT(250), "
    "OptionInteger INTEGER, OptionMemo MEMO);";
const char* const kPagesBefore78 =
    "CREATE TABLE tblPages (PageKey TEXT(120), PageCRCExisting INTEGER, PageCRCNew INTEGER);"
    "INSERT INTO tblPages VALUES ('index.html', 10, 20);"
    "INSERT INTO tblPages VALUES ('rss.xml', -5, 0);";
const char* const kPagesCurrent =
    "CREATE TABLE tblPages (PageKey TEXT(120), PageCRCExisting INTEGER, PageCRCNew INTEGER, "
    "PageCRCLocal INTEGER);"
    "INSERT INTO tblPages VALUES ('index.html', 10, 20, 30);";
const char* const kCategoryAt80 =
    "CREATE TABLE tblCategory (CategoryTitle TEXT(80), CategoryName TEXT(120), "
    "CategoryTextPre MEMO, CategoryTextPost MEMO, CategoryKeywords TEXT(250), CategoryTeaser "
    "MEMO, CategorySidebar MEMO, CategoryExtra1 MEMO, CategoryExtra2 MEMO, CategoryTitle1 "
    "TEXT(250), CategoryTitle2 TEXT(250), CategoryMetaDesc TEXT(250));"
    "INSERT INTO tblCategory (CategoryTitle, CategoryName) VALUES ('Old one', 'c1');"
    "INSERT INTO tblCategory (CategoryTitle, CategoryName) VALUES ('Old two', 'c2');";

void Exec(const std::filesystem::path& file, const std::string& sql) {
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  db.exec(sql);
}

void AddOption(const std::filesystem::path& file, int key, const std::string& value,
               std::optional<int> integer = std::nullopt) {
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
  SQLite::Statement q(db,
                      "INSERT INTO tblOptions (OptionKey, OptionName, OptionValue, OptionInteger) "
                      "VALUES (?, 'old caption', ?, ?)");
  q.bind(1, key);
  q.bind(2, value);
  if (integer) q.bind(3, *integer);
  q.exec();
}

std::vector<std::string> ColumnNames(SQLite::Database& db, const std::string& table) {
  std::vector<std::string> out;
  SQLite::Statement q(db, "SELECT name FROM pragma_table_info(?) ORDER BY cid");
  q.bind(1, table);
  while (q.executeStep()) out.push_back(q.getColumn(0).getString());
  return out;
}

int Count(SQLite::Database& db, const std::string& sql) {
  SQLite::Statement q(db, sql);
  q.executeStep();
  return q.getColumn(0).getInt();
}

std::string DumpTable(const std::filesystem::path& file, const std::string& table) {
  std::string all = DumpDatabase(file), out;
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    std::string line = all.substr(pos, end - pos);
    if (line.rfind(table + ":", 0) == 0 || line.find(" " + table + ": ") != std::string::npos ||
        line.find("ON " + table + " ") != std::string::npos) {
      out += line + "\n";
    }
    pos = end + 1;
  }
  return out;
}

const std::vector<std::string> kCurrentCategoryColumns = {
    "CategoryKey",      "CategoryTitle",  "CategoryName",    "CategoryText",
    "CategoryKeywords", "CategoryTeaser", "CategorySidebar", "CategoryExtra1",
    "CategoryExtra2",   "CategoryTitle1", "CategoryTitle2",  "CategoryMetaDesc"};

using UpgradeTest = StoreTest;

TEST_F(UpgradeTest, AFileWithoutTheVersionRowRunsEveryStep) {
  const auto file = Path("old.zdb");
  Exec(file, std::string(kBlogBefore79) + kOtherTables + kPagesBefore78 +
                 "CREATE TABLE tblCategory (CategoryKey INTEGER PRIMARY KEY, CategoryTitle TEXT);"
                 "INSERT INTO tblCategory VALUES (9, 'ancient');"
                 "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText, BlogCategory) "
                 "VALUES ('2005-06-07 08:09:10', 'First', 'plain old text', 3);"
                 "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogCategory) "
                 "VALUES ('2005-06-08 08:09:10', 'Second', 5);");
  AddOption(file, 101, "Old Title");
  AddOption(file, 211, "home");
  AddOption(file, 215, "Start");
  AddOption(file, 212, "arch");
  AddOption(file, 216, "Archive list");
  AddOption(file, 213, "arts");
  AddOption(file, 217, "All Articles");
  AddOption(file, 218, "(More)");
  AddOption(file, 231, "", 1);
  AddOption(file, 232, "", 1);
  AddOption(file, 241, "stale");  // replaced by the renumbered 211
  AddOption(file, 611, "tag one");
  AddOption(file, 245, "No", 0);
  AddOption(file, 268, "", 2);
  AddOption(file, 103, "7", 7);

  auto blog = Blog::Open(file, host);
  EXPECT_TRUE(host.informations.empty());
  EXPECT_EQ(blog->FileVersion(), 83);
  const BlogOptionsRec& o = blog->options();
  EXPECT_EQ(o.Text(opt::kBlogTitle), "Old Title");
  EXPECT_EQ(o.Int(opt::kIndexEntries), 7);
  // Step 1: renumbered options.
  EXPECT_EQ(o.Text(opt::kIndexPageName), "home");
  EXPECT_EQ(o.Text(opt::kIndexPageCaption), "Start");
  EXPECT_EQ(o.Text(opt::kArchiveIndexPageName), "arch");
  EXPECT_EQ(o.Text(opt::kArchiveIndexCaption), "Archive list");
  EXPECT_EQ(o.Text(opt::kArticleIndexPageName), "arts");
  EXPECT_EQ(o.Text(opt::kArticleIndexCaption), "All Articles");
  EXPECT_EQ(o.Text(opt::kReadArticleCaption), "(More)");
  EXPECT_EQ(o.Int(opt::kArticleIndexLink), 1);
  EXPECT_EQ(o.Int(opt::kArticleIndexGrouping), 1);
  // Step 5: categories ignored, custom tags moved.
  EXPECT_EQ(o.Int(opt::kArchiveByCategory), 3);
  EXPECT_EQ(o.Text(opt::kCustomTag1), "tag one");
  // Steps 6 and 7.
  EXPECT_EQ(o.Int(opt::kPublishingLocation), 0);
  EXPECT_EQ(o.Text(opt::kFileCopyDestination), "");
  EXPECT_EQ(o.Int(opt::kShowRecentOnHome), 1);
  EXPECT_EQ(o.Text(opt::kRecentPageName), "recent");
  EXPECT_EQ(o.Text(opt::kRecentLinkCaption), "Recent Entries");
  EXPECT_EQ(o.Text(opt::kRecentPageTitle), "Recent Entries");
  EXPECT_EQ(o.Int(opt::kRecentInNavBar), 0);
  EXPECT_EQ(o.Int(opt::kArticleListStyle), 0);
  EXPECT_EQ(o.Int(opt::kCategoryListStyle), 0);

  SQLite::Database& db = Db(*blog);
  EXPECT_EQ(Count(db, "SELECT COUNT(*) FROM tblOptions"), 73);
  EXPECT_EQ(Count(db,
                  "SELECT COUNT(*) FROM tblOptions WHERE OptionKey IN "
                  "(211, 212, 213, 215, 216, 217, 218, 231, 232)"),
            0);
  EXPECT_EQ(Count(db,
                  "SELECT COUNT(*) FROM tblOptions WHERE OptionKey = 999 AND "
                  "OptionInteger = 83 AND OptionValue = '83'"),
            1);
  // Step 2: page records kept with the new CRC.
  EXPECT_THAT(ColumnNames(db, "tblPages"),
              ElementsAre("PageKey", "PageCRCExisting", "PageCRCNew", "PageCRCLocal"));
  EXPECT_THAT(blog->Pages(),
              ElementsAre(PageRecord{"index.html", 10, 20, 0}, PageRecord{"rss.xml", -5, 0, 0}));
  // Steps 3 and 4: entries kept, new fields empty.
  EXPECT_EQ(ColumnNames(db, "tblBlog").size(), 16u);
  EXPECT_EQ(ColumnNames(db, "tblBlog").back(), "BlogMetaDesc");
  auto entries = blog->Entries(EntryOrder::kOldestFirst);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].title, "First");
  EXPECT_EQ(entries[0].text, "plain old text");
  EXPECT_EQ(entries[0].category, 3);
  EXPECT_EQ(entries[0].title1, "");
  EXPECT_EQ(entries[0].meta_desc, "");
  // Step 5: an empty category table in the current layout whose numbers start above every
  // number the entries or the old table carried.
  EXPECT_EQ(ColumnNames(db, "tblCategory"), kCurrentCategoryColumns);
  EXPECT_EQ(blog->CategoryCount(), 0);
  EXPECT_EQ(blog->InsertCategory(Blog::NewCategoryRec()), 10);
  EXPECT_EQ(Count(db,
                  "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name IN "
                  "('DisplayKey_tblCategory', 'NameKey_tblCategory')"),
            2);

  // Opened again, the file is current and stays as it is.
  blog->Close();
  const std::string bytes = tessavo::testing::ReadFile(file);
  Blog::Open(file, host);
  EXPECT_EQ(tessavo::testing::ReadFile(file), bytes);
}

TEST_F(UpgradeTest, AVersion80File) {
  const auto file = Path("v80.zdb");
  Exec(file, std::string(kBlogAt80) + kOtherTables + kPagesCurrent + kCategoryAt80);
  {
    // An entry written with deflated memos and every field set.
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
    SQLite::Statement q(db,
                        "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText, BlogCategory, "
                        "BlogCoolURL, BlogPageType, BlogPageName, BlogKeywords, BlogTeaser, "
                        "BlogSidebar, BlogExtra1, BlogExtra2, BlogTitle1, BlogTitle2, "
                        "BlogMetaDesc) VALUES ('2010-01-01 12:00:00', 'T', ?, 2, 'u', 1, 'p', "
                        "'k', ?, ?, ?, ?, 't1', 't2', 'md')");
    store::BindMemo(q, 1, "text");
    store::BindMemo(q, 2, "teaser");
    store::BindMemo(q, 3, "side");
    store::BindMemo(q, 4, "x1");
    store::BindMemo(q, 5, "x2");
    q.exec();
  }
  AddOption(file, 999, "80", 80);
  AddOption(file, 114, "", 0);
  AddOption(file, 611, "tag one");
  AddOption(file, 620, std::string(200, 't'));
  AddOption(file, 245, "", 0);
  AddOption(file, 249, "", 1);
  const std::string blog_before = DumpTable(file, "tblBlog");
  ASSERT_FALSE(blog_before.empty());

  auto blog = Blog::Open(file, host);
  EXPECT_TRUE(host.informations.empty());
  EXPECT_EQ(blog->FileVersion(), 83);
  EXPECT_EQ(blog->options().Int(opt::kArchiveByCategory), 3);
  EXPECT_EQ(blog->options().Text(opt::kCustomTag1), "tag one");
  EXPECT_EQ(blog->options().Text(opt::kCustomTag1 + 9), std::string(200, 't'));
  EXPECT_EQ(blog->options().Text(opt::kCustomTag1 + 1), "");
  EXPECT_EQ(blog->options().Int(opt::kShowRecentOnHome), 1);
  EXPECT_EQ(blog->options().Int(opt::kRecentInNavBar), 0);

  SQLite::Database& db = Db(*blog);
  {
    SQLite::Statement tag(db,
                          "SELECT OptionValue, OptionMemo FROM tblOptions WHERE OptionKey = 620");
    ASSERT_TRUE(tag.executeStep());
    EXPECT_EQ(tag.getColumn(0).getString(), std::string(50, 't') + "...");
    EXPECT_TRUE(tag.getColumn(1).isBlob());
    EXPECT_EQ(store::ReadMemo(tag.getColumn(1)), std::string(200, 't'));
  }
  EXPECT_EQ(ColumnNames(db, "tblCategory"), kCurrentCategoryColumns);
  EXPECT_EQ(blog->CategoryCount(), 0);
  blog->Close();
  EXPECT_EQ(DumpTable(file, "tblBlog"), blog_before);

  auto reopened = Blog::Open(file, host);
  auto entry = reopened->FindEntry(1);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->text, "text");
  EXPECT_EQ(entry->extra2, "x2");
  EXPECT_EQ(entry->meta_desc, "md");
  EXPECT_EQ(entry->category, 2);
}

TEST_F(UpgradeTest, AVersion81FileOnlyGetsTheNewOptions) {
  auto blog = NewBlog("v81.zdb");
  BlogRec cat = Blog::NewCategoryRec();
  cat.title = "Kept";
  blog->InsertCategory(cat);
  blog->SetOptionInt(opt::kArchiveByCategory, 1);
  blog->SetOptionInt(opt::kShowRecentOnHome, 0);
  blog->SetOptionText(opt::kRecentPageName, "latest");
  blog->SetOptionInt(opt::kArticleListStyle, 3);
  blog->SetOptionInt(opt::kPublishingLocation, 1);
  blog->SetOptionText(opt::kCustomTag1, "memo tag");
  blog->SaveOptions();
  store::WriteVersionRow(Db(*blog), 81);
  blog->Close();

  auto opened = Blog::Open(Path("v81.zdb"), host);
  EXPECT_EQ(opened->FileVersion(), 83);
  EXPECT_EQ(opened->options().Int(opt::kArchiveByCategory), 1);
  EXPECT_EQ(opened->options().Text(opt::kCustomTag1), "memo tag");
  EXPECT_EQ(opened->options().Int(opt::kShowRecentOnHome), 1);
  EXPECT_EQ(opened->options().Text(opt::kRecentPageName), "recent");
  EXPECT_EQ(opened->options().Int(opt::kArticleListStyle), 0);
  EXPECT_EQ(opened->options().Int(opt::kPublishingLocation), 0);
  EXPECT_EQ(opened->Categories().size(), 1u);
}

TEST_F(UpgradeTest, AVersion82FileOnlyGetsTheNewVersionRow) {
  auto blog = NewBlog("v82.zdb");
  blog->SetOptionInt(opt::kArticleListStyle, 3);
  blog->SetOptionInt(opt::kShowRecentOnHome, 0);
  blog->SaveOptions();
  store::WriteVersionRow(Db(*blog), 82);
  blog->Close();
  auto opened = Blog::Open(Path("v82.zdb"), host);
  EXPECT_EQ(opened->FileVersion(), 83);
  EXPECT_EQ(opened->options().Int(opt::kArticleListStyle), 3);
  EXPECT_EQ(opened->options().Int(opt::kShowRecentOnHome), 0);
}

TEST_F(UpgradeTest, FieldsThatCannotBeAddedAreReported) {
  // Virtual tables cannot be altered: the upgrade reports it and goes on.
  const auto file = Path("v77.zdb");
  Exec(file, std::string(kOtherTables) + kCategoryAt80 +
                 "CREATE VIRTUAL TABLE tblBlog USING fts5(BlogKey, BlogDateTime, BlogTitle, "
                 "BlogText, BlogCategory, BlogCoolURL, BlogPageType, BlogPageName, "
                 "BlogKeywords, BlogTeaser, BlogSidebar, BlogExtra1, BlogExtra2);"
                 "INSERT INTO tblBlog (BlogKey, BlogTitle) VALUES (1, 'kept');"
                 "CREATE VIRTUAL TABLE tblPages USING fts5(PageKey, PageCRCExisting, "
                 "PageCRCNew);"
                 "INSERT INTO tblPages VALUES ('index.html', 1, 2);");
  AddOption(file, 999, "77", 77);

  auto blog = Blog::Open(file, host);
  EXPECT_THAT(host.informations,
              ElementsAre("Error upgrading tblPages: virtual tables may not be altered\n\n"
                          "Recreating...",
                          "Error upgrading tblBlogs: virtual tables may not be altered",
                          "Error upgrading tblBlogs: virtual tables may not be altered"));
  EXPECT_EQ(blog->FileVersion(), 83);
  SQLite::Database& db = Db(*blog);
  EXPECT_THAT(ColumnNames(db, "tblPages"),
              ElementsAre("PageKey", "PageCRCExisting", "PageCRCNew", "PageCRCLocal"));
  EXPECT_TRUE(blog->Pages().empty());
  EXPECT_EQ(Count(db, "SELECT COUNT(*) FROM tblBlog"), 1);
  EXPECT_EQ(ColumnNames(db, "tblCategory"), kCurrentCategoryColumns);
}

TEST_F(UpgradeTest, AFailingUpgradeLeavesTheFileAsItWas) {
  const auto file = Path("v80.zdb");
  Exec(file, std::string(kBlogAt80) + kOtherTables + kPagesCurrent + kCategoryAt80 +
                 "CREATE TRIGGER no_version BEFORE INSERT ON tblOptions "
                 "WHEN NEW.OptionKey = 999 BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  const std::string before = DumpDatabase(file);
  try {
    Blog::Open(file, host);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr(file.string()));
    EXPECT_THAT(e.what(), ::testing::HasSubstr("refused"));
  }
  EXPECT_EQ(DumpDatabase(file), before);
}

}  // namespace
}  // namespace tessavo::store_test
