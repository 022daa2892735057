// Creating, opening and closing blog files, and the start-up wizard.
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/schema.h"
#include "store/store_test_support.h"
#include "util/compress.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Columns(SQLite::Database& db, const std::string& table) {
  std::vector<std::string> out;
  SQLite::Statement q(db, "SELECT name, type FROM pragma_table_info(?) ORDER BY cid");
  q.bind(1, table);
  while (q.executeStep())
    out.push_back(q.getColumn(0).getString() + " " + q.getColumn(1).getString());
  return out;
}

std::vector<std::string> Indexes(SQLite::Database& db, const std::string& table) {
  std::vector<std::string> out;
  SQLite::Statement q(db,
                      "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? "
                      "AND sql IS NOT NULL ORDER BY name");
  q.bind(1, table);
  while (q.executeStep()) out.push_back(q.getColumn(0).getString());
  return out;
}

using CreateTest = StoreTest;

TEST_F(CreateTest, NewBlogHasTheSixTablesTheVersionRowAndEveryOption) {
  auto blog = NewBlog();
  ASSERT_NE(blog, nullptr);
  EXPECT_TRUE(blog->IsOpen());
  EXPECT_EQ(blog->FileVersion(), 83);
  SQLite::Database& db = Db(*blog);

  std::vector<std::string> tables;
  SQLite::Statement q(db,
                      "SELECT name FROM sqlite_master WHERE type = 'table' "
                      "AND name NOT LIKE 'sqlite_%' ORDER BY rowid");
  while (q.executeStep()) tables.push_back(q.getColumn(0).getString());
  EXPECT_THAT(tables, ElementsAre("tblBlog", "tblPictures", "tblFiles", "tblOptions", "tblCategory",
                                  "tblPages"));

  EXPECT_THAT(
      Columns(db, "tblBlog"),
      ElementsAre("BlogKey INTEGER", "BlogDateTime DATETIME", "BlogTitle TEXT(250)",
                  "BlogText MEMO", "BlogCategory INTEGER", "BlogCoolURL TEXT(250)",
                  "BlogPageType INTEGER", "BlogPageName TEXT(120)", "BlogKeywords TEXT(250)",
                  "BlogTeaser MEMO", "BlogSidebar MEMO", "BlogExtra1 MEMO", "BlogExtra2 MEMO",
                  "BlogTitle1 TEXT(250)", "BlogTitle2 TEXT(250)", "BlogMetaDesc TEXT(250)"));
  EXPECT_THAT(
      Columns(db, "tblPictures"),
      ElementsAre("BlogPictureKey INTEGER", "BlogPictureName TEXT(120)", "BlogPicture BLOB",
                  "BlogPictureCRC INTEGER", "BlogPictureDate DATETIME", "BlogPictureSize INTEGER",
                  "BlogPictureHeight INTEGER", "BlogPictureWidth INTEGER",
                  "BlogPictureType TEXT(3)", "BlogPictureCategory INTEGER"));
  EXPECT_THAT(Columns(db, "tblFiles"),
              ElementsAre("BlogFileKey INTEGER", "BlogFileName TEXT(120)", "BlogFile BLOB",
                          "BlogFileCRC INTEGER", "BlogFileSize INTEGER", "BlogFileDate DATETIME",
                          "BlogFileCategory INTEGER"));
  EXPECT_THAT(Columns(db, "tblOptions"),
              ElementsAre("OptionKey INTEGER", "OptionName TEXT(120)", "OptionValue TEXT(250)",
                          "OptionInteger INTEGER", "OptionMemo MEMO"));
  EXPECT_THAT(
      Columns(db, "tblCategory"),
      ElementsAre("CategoryKey INTEGER", "CategoryTitle TEXT(250)", "CategoryName TEXT(120)",
                  "CategoryText MEMO", "CategoryKeywords TEXT(250)", "CategoryTeaser MEMO",
                  "CategorySidebar MEMO", "CategoryExtra1 MEMO", "CategoryExtra2 MEMO",
                  "CategoryTitle1 TEXT(250)", "CategoryTitle2 TEXT(250)",
                  "CategoryMetaDesc TEXT(250)"));
  EXPECT_THAT(Columns(db, "tblPages"), ElementsAre("PageKey TEXT(120)", "PageCRCExisting INTEGER",
                                                   "PageCRCNew INTEGER", "PageCRCLocal INTEGER"));

  EXPECT_THAT(Indexes(db, "tblBlog"), ElementsAre("DisplayKey_tblBlog"));
  EXPECT_THAT(Indexes(db, "tblPictures"), ElementsAre("DisplayKey_tblPictures"));
  EXPECT_THAT(Indexes(db, "tblFiles"), ElementsAre("DisplayKey_tblFiles"));
  EXPECT_THAT(Indexes(db, "tblOptions"), ElementsAre("DisplayKey_tblOptions"));
  EXPECT_THAT(Indexes(db, "tblCategory"),
              ElementsAre("DisplayKey_tblCategory", "NameKey_tblCategory"));
  EXPECT_THAT(Indexes(db, "tblPages"), ElementsAre("DisplayKey_tblPages"));

  SQLite::Statement count(db, "SELECT COUNT(*) FROM tblOptions");
  count.executeStep();
  EXPECT_EQ(count.getColumn(0).getInt(), 73);

  SQLite::Statement version(db,
                            "SELECT OptionName, OptionValue, OptionInteger, typeof(OptionMemo), "
                            "length(OptionMemo) FROM tblOptions WHERE OptionKey = 999");
  ASSERT_TRUE(version.executeStep());
  EXPECT_EQ(version.getColumn(0).getString(), "Internal File Version");
  EXPECT_EQ(version.getColumn(1).getString(), "83");
  EXPECT_EQ(version.getColumn(2).getInt(), 83);
  EXPECT_EQ(version.getColumn(3).getString(), "blob");
  EXPECT_EQ(version.getColumn(4).getInt(), 0);

  EXPECT_EQ(blog->EntryCount(), 0);
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(blog->options().Text(opt::kBackupLocation), (dir.path() / "home").string());
}

TEST_F(CreateTest, ExistingFileIsRefusedAndLeftAlone) {
  auto path = tessavo::testing::WriteFile(Path(), "not a blog");
  EXPECT_EQ(Blog::Create(path, host, &host), nullptr);
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0],
            "Blog already Exists -- choose \"Open Blog\" rather than \"Start a New Blog\".\n\n" +
                path.string());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(tessavo::testing::ReadFile(path), "not a blog");
}

TEST_F(CreateTest, MissingFolderIsAnErrorAndLeavesNoFile) {
  EXPECT_THROW(Blog::Create(dir / "no/such/folder/blog.zdb", host), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "no/such/folder/blog.zdb"));
}

const char* const kQuestions[] = {
    "Question 1 of 5 \n\nWould you like to see \"Recent Entries\" on your home page?",
    "Question 2 of 5 \n\nWould you like to insert an \"About\" page for your Blog?",
    "Question 3 of 5 \n\nWould you like to insert a \"Links\" page for your Blog?",
    "Question 4 of 5 \n\nWould you like to set basic options for your Blog?",
    "Question 5 of 5 \n\nWould you like to choose a template for your Blog?",
};

const char* const kWelcomeText =
    "This is a sample entry.<p>You can delete it by selecting it and clicking on "
    "<i>Remove Entry</i>.";

TEST_F(CreateTest, WizardYesToRecentEntriesOnlyGivesHomeRecentAndWelcome) {
  host.answers = {true, false, false, false, false};
  auto blog = Blog::Create(Path(), host, &host);
  ASSERT_NE(blog, nullptr);
  ASSERT_EQ(host.questions.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(host.questions[i].kind, "yesno");
    EXPECT_EQ(host.questions[i].text, kQuestions[i]);
  }
  EXPECT_EQ(host.basic_options_runs, 0);
  EXPECT_EQ(host.template_options_runs, 0);

  auto entries = blog->Entries(EntryOrder::kOldestFirst);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].type, kHomePage);
  EXPECT_EQ(entries[0].title, "");
  EXPECT_EQ(entries[0].text, "");
  EXPECT_EQ(entries[1].type, kRecentEntriesPage);
  EXPECT_EQ(entries[1].text, "");
  EXPECT_EQ(entries[2].type, kBlogEntry);
  EXPECT_EQ(entries[2].title, "Welcome to Tessavo");
  EXPECT_EQ(entries[2].text, kWelcomeText);
  for (const auto& e : entries) {
    EXPECT_EQ(e.page_name, "");
    EXPECT_EQ(e.category, 0);  // left empty: no category
  }
  EXPECT_EQ(blog->options().Int(opt::kShowRecentOnHome), 1);
  EXPECT_EQ(blog->options().Int(opt::kRecentInNavBar), 0);
}

TEST_F(CreateTest, WizardNoToRecentEntriesStoresOptionsAndSampleHomeText) {
  host.default_answer = false;
  auto blog = Blog::Create(Path(), host, &host);
  ASSERT_NE(blog, nullptr);
  EXPECT_EQ(host.questions.size(), 5u);
  auto entries = blog->Entries(EntryOrder::kOldestFirst);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].type, kHomePage);
  EXPECT_EQ(entries[0].title, "");
  EXPECT_EQ(entries[0].text,
            "This is a sample home page.<p>You can change it by editing \"home page\" entry in "
            "the blog entry list.<p>Recent Entries can be found on "
            "[%linkto.index.recententries.css%]. ");
  EXPECT_EQ(entries[1].type, kRecentEntriesPage);
  EXPECT_EQ(entries[1].text, "");
  EXPECT_EQ(entries[2].title, "Welcome to Tessavo");

  blog->Close();
  auto reopened = Blog::Open(Path(), host);
  EXPECT_EQ(reopened->options().Int(opt::kShowRecentOnHome), 0);
  EXPECT_EQ(reopened->options().Int(opt::kRecentInNavBar), 1);
}

TEST_F(CreateTest, WizardAllYesAddsPagesAndSavesOnlyDialogsEndedWithSave) {
  host.default_answer = true;
  host.basic_options_dialog = [](BlogOptionsRec& rec) {
    rec.SetText(opt::kBlogTitle, "My Blog");
    return true;
  };
  host.template_options_dialog = [](BlogOptionsRec& rec) {
    rec.SetText(opt::kTemplateFile, "other.tem");
    return false;
  };
  auto blog = Blog::Create(Path(), host, &host);
  ASSERT_NE(blog, nullptr);
  EXPECT_EQ(host.basic_options_runs, 1);
  EXPECT_EQ(host.template_options_runs, 1);

  auto entries = blog->Entries(EntryOrder::kOldestFirst);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[2].title, "About Me");
  EXPECT_EQ(entries[2].text, "Please enter some information here...");
  EXPECT_EQ(entries[2].type, kStaticPage);
  EXPECT_EQ(entries[2].page_name, "about");
  EXPECT_EQ(entries[3].title, "Links");
  EXPECT_EQ(entries[3].text, "Please enter favorite links here...");
  EXPECT_EQ(entries[3].type, kStaticPage);
  EXPECT_EQ(entries[3].page_name, "links");
  EXPECT_EQ(entries[4].title, "Welcome to Tessavo");
  // Newest first puts the welcome entry on top (same second, higher key).
  EXPECT_EQ(blog->Entries().front().title, "Welcome to Tessavo");

  blog->Close();
  auto reopened = Blog::Open(Path(), host);
  EXPECT_EQ(reopened->options().Text(opt::kBlogTitle), "My Blog");
  EXPECT_EQ(reopened->options().Text(opt::kTemplateFile), "@default.tem");
}

TEST_F(CreateTest, WizardDialogOptionsThatCannotBeStoredAreReportedAndTheWizardGoesOn) {
  host.default_answer = true;
  host.basic_options_dialog = [](BlogOptionsRec& rec) {
    rec.SetText(opt::kBlogTitle, std::string(251, 't'));
    return true;
  };
  host.template_options_dialog = [](BlogOptionsRec& rec) {
    rec.SetText(opt::kTemplateFile, "other.tem");
    return true;
  };
  auto blog = Blog::Create(Path(), host, &host);
  ASSERT_NE(blog, nullptr);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_THAT(host.errors[0], HasSubstr("Blog Title"));
  EXPECT_EQ(host.questions.size(), 5u);
  EXPECT_EQ(blog->Entries().front().title, "Welcome to Tessavo");

  blog->Close();
  auto reopened = Blog::Open(Path(), host);
  EXPECT_EQ(reopened->options().Text(opt::kBlogTitle), "Please enter a Title");
  EXPECT_EQ(reopened->options().Text(opt::kTemplateFile), "other.tem");
}

using OpenTest = StoreTest;

TEST_F(OpenTest, MissingFileIsAnErrorAndIsNotCreated) {
  try {
    Blog::Open(Path("missing.zdb"), host);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open blog file " + Path("missing.zdb").string() + ": file not found");
  }
  EXPECT_FALSE(std::filesystem::exists(Path("missing.zdb")));
}

TEST_F(OpenTest, FilesThatAreNoBlogAreErrorsAndStayUntouched) {
  std::string garbage(4096, 'x');
  auto garbage_path = tessavo::testing::WriteFile(Path("garbage.zdb"), garbage);
  auto empty_path = tessavo::testing::WriteFile(Path("empty.zdb"), "");
  {
    SQLite::Database other(Path("other.zdb").string(),
                           SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    other.exec("CREATE TABLE tblBlog (x); INSERT INTO tblBlog VALUES (1)");
  }
  const std::string other_bytes = tessavo::testing::ReadFile(Path("other.zdb"));

  for (const auto& path : {garbage_path, empty_path, Path("other.zdb")}) {
    try {
      Blog::Open(path, host);
      ADD_FAILURE() << "no error for " << path;
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("Cannot open blog file " + path.string() + ": "));
    }
  }
  EXPECT_EQ(tessavo::testing::ReadFile(garbage_path), garbage);
  EXPECT_EQ(tessavo::testing::ReadFile(empty_path), "");
  EXPECT_EQ(tessavo::testing::ReadFile(Path("other.zdb")), other_bytes);
  EXPECT_FALSE(std::filesystem::exists(Path("other.zdb-journal")));
  try {
    Blog::Open(Path("other.zdb"), host);
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("not a Tessavo blog file"));
  }
  EXPECT_THROW(Blog::Open(dir.path(), host), Error);
}

TEST_F(OpenTest, OpeningACurrentFileChangesNothing) {
  {
    auto blog = NewBlog();
    blog->InsertEntry(Entry("one"));
    BlogRec cat = Blog::NewCategoryRec();
    cat.title = "Cat";
    blog->InsertCategory(cat);
    blog->InsertPage({"index.html", 1, 2, 3});
    blog->SetOptionText(opt::kAbout, "about text");
    blog->SaveOptions();
  }
  const std::string bytes = tessavo::testing::ReadFile(Path());
  {
    auto blog = Blog::Open(Path(), host);
    EXPECT_EQ(blog->options().Text(opt::kAbout), "about text");
    EXPECT_EQ(blog->EntryCount(), 1);
    blog->Close();
    EXPECT_FALSE(blog->IsOpen());
    blog->Close();  // a second close is harmless
  }
  EXPECT_EQ(tessavo::testing::ReadFile(Path()), bytes);
  EXPECT_TRUE(host.informations.empty());
}

TEST_F(OpenTest, NameAndOutputFolderComeFromTheFileName) {
  auto blog = NewBlog("My Diary.zdb");
  EXPECT_EQ(blog->Name(), "My Diary");
  EXPECT_EQ(blog->OutputFolder(), dir.path() / "home" / "HTML" / "My Diary");
  EXPECT_EQ(blog->file(), Path("My Diary.zdb"));
}

TEST_F(OpenTest, AKilledWriterLeavesAnIntactBlog) {
  {
    auto blog = NewBlog();
    blog->InsertEntry(Entry("kept"));
  }
  pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    // The child writes a lot inside a transaction and dies before committing.
    RecordingHost child_host;
    auto blog = Blog::Open(Path(), child_host);
    store::WriteTransaction tx(Db(*blog));
    std::vector<BlogRec> many(2000, Entry("lost"));
    many[0].text = std::string(200000, 'z');
    blog->InsertEntries(many);
    blog->DeleteEntry(1);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  auto blog = Blog::Open(Path(), host);
  auto entries = blog->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].title, "kept");
  SQLite::Statement check(Db(*blog), "PRAGMA integrity_check");
  ASSERT_TRUE(check.executeStep());
  EXPECT_EQ(check.getColumn(0).getString(), "ok");
}

}  // namespace
}  // namespace tessavo::store_test
