// Page names the output folder cannot take (control characters, too long, empty), names
// that differ only in letter case, and links to pages that took an index page's name.
#include <gmock/gmock.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <regex>
#include <set>

#include "site_fixture.h"
#include "store/options.h"
#include "templates/package.h"
#include "util/file_io.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class NamesTest : public SiteTest {
 protected:
  NamesTest() {
    UseTestTemplates();
    blog->SetOptionText(opt::kBlogTitle, "My Blog");
    blog->SetOptionText(opt::kBlogUrl, "http://www.example.com/blog/");
    blog->SetOptionText(opt::kIndexPageName, "index");
    blog->SetOptionText(opt::kArchiveIndexPageName, "bymonth");
    blog->SetOptionText(opt::kArticleIndexPageName, "articles");
    blog->SaveOptions();
  }

  // Rows as an older program or another tool could have left them, written past the
  // store's checks through a connection of their own.
  void InsertRaw(const std::string& sql, const std::vector<std::string>& texts) {
    SQLite::Database raw(blog->file().string(), SQLite::OPEN_READWRITE);
    SQLite::Statement q(raw, sql);
    for (size_t i = 0; i < texts.size(); ++i) q.bind(static_cast<int>(i + 1), texts[i]);
    q.exec();
  }
  void AddRawEntry(int type, const std::string& title, const std::string& page_name) {
    InsertRaw(
        "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText, BlogPageType, BlogPageName, "
        "BlogCoolURL, BlogCategory) VALUES ('2006-01-31 10:00:00', ?, 'text', " +
            std::to_string(type) + ", ?, 'http://example.com/', -1)",
        {title, page_name});
  }

  std::vector<std::string> RedLines() const {
    std::vector<std::string> out;
    for (const auto& l : host.log) {
      if (l.color == LogColor::kRed) out.push_back(l.text);
    }
    return out;
  }
  std::vector<std::string> OutputFiles() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(Out())) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }
  static bool HasControl(const std::string& s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; });
  }
};

TEST_F(NamesTest, PagesAndFilesWithControlCharactersInAnOldFileAreSkipped) {
  Add(kBlogEntry, "2006-01-30 10:00:00", "Fine");
  AddRawEntry(kStaticPage, "Injected", "x\r\nDELE victim.txt");
  AddRawEntry(kArticle, "Tabbed", "a\tb");
  AddRawEntry(kRedirectPage, "Redirect", "r\n");
  AddRawEntry(kFreeFormatPage, "Free", "free\x7F.txt");
  InsertRaw("INSERT INTO tblCategory (CategoryTitle, CategoryName) VALUES ('Cat', ?)",
            {"cat\r\nDELE x"});
  InsertRaw(
      "INSERT INTO tblPictures (BlogPictureName, BlogPicture, BlogPictureCRC, "
      "BlogPictureSize) VALUES (?, 'GIF89a', 5, 6)",
      {"pic\r\nDELE y.gif"});
  InsertRaw(
      "INSERT INTO tblFiles (BlogFileName, BlogFile, BlogFileCRC, BlogFileSize) "
      "VALUES (?, 'data', 7, 4), ('good.txt', 'ok', 8, 2)",
      {"file\n.txt"});
  GenerateResult r = Generate();
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(LogHas("Done!"));
  for (const char* shown :
       {"x\\r\\nDELE victim.txt.html", "a\\tb.html", "r\\n.html", "free\\x7F.txt",
        "cat\\r\\nDELE x.html", "pic\\r\\nDELE y.gif", "file\\n.txt"}) {
    EXPECT_EQ(ColorOf("*** Error: \"" + std::string(shown) +
                      "\" holds a control character and is skipped ***"),
              LogColor::kRed)
        << shown;
  }
  // No log line carries a raw line break, and nothing of them reached the folder or the
  // page records that publishing walks.
  for (const auto& l : host.log) EXPECT_FALSE(HasControl(l.text)) << l.text;
  for (const std::string& f : OutputFiles()) EXPECT_FALSE(HasControl(f)) << f;
  for (const PageRecord& p : blog->Pages()) EXPECT_FALSE(HasControl(p.key)) << p.key;
  EXPECT_TRUE(Exists("good.txt"));
  EXPECT_TRUE(Exists("200601.html"));
  EXPECT_TRUE(Exists("index.html"));
}

TEST_F(NamesTest, NamesTooLongForAFileAreSkippedAndTheRunGoesOn) {
  const size_t room = kMaxWritableNameBytes - std::string(".html").size();
  // Longer than the 120 characters of the field: an older file's, or one of multi-byte
  // letters (120 CJK characters are 360 bytes).
  AddRawEntry(kStaticPage, "Longest", std::string(room, 'a'));
  AddRawEntry(kStaticPage, "Too long", std::string(room + 1, 'b'));
  AddRawEntry(kArticle, "Far too long", std::string(300, 'c'));
  InsertRaw(
      "INSERT INTO tblFiles (BlogFileName, BlogFile, BlogFileCRC, BlogFileSize) "
      "VALUES (?, 'data', 7, 4)",
      {std::string(256, 'f')});
  // A template package whose design file has a name no file system takes.
  PackageLines lines = SplitPackageLines(ReadFile(dir / "test.tem"));
  lines.push_back(BuildFileRecord(std::string(252, 't') + ".css", "p {}\n"));
  WriteFile(dir / "test.tem", JoinPackageLines(lines));

  for (int run = 0; run < 2; ++run) {  // the second run replaces what the first wrote
    GenerateResult r = Generate();
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(LogHas("Done!"));
    EXPECT_TRUE(Exists(std::string(room, 'a') + ".html"));
    EXPECT_THAT(Page(std::string(room, 'a') + ".html"), HasSubstr("[S2 Longest: text]"));
    EXPECT_EQ(ColorOf("*** Error: \"" + std::string(room + 1, 'b') +
                      ".html\" is too long for a file name (256 bytes, at most 255) and is "
                      "skipped ***"),
              LogColor::kRed);
    EXPECT_EQ(ColorOf("*** Error: \"" + std::string(300, 'c') +
                      ".html\" is too long for a file name (305 bytes, at most 255) and is "
                      "skipped ***"),
              LogColor::kRed);
    EXPECT_EQ(ColorOf("*** Error: \"" + std::string(256, 'f') +
                      "\" is too long for a file name (256 bytes, at most 255) and is skipped "
                      "***"),
              LogColor::kRed);
    EXPECT_EQ(ColorOf("*** Error: \"" + std::string(252, 't') +
                      ".css\" is too long for a file name (256 bytes, at most 255) and is "
                      "skipped ***"),
              LogColor::kRed);
    EXPECT_TRUE(host.informations.empty()) << host.informations.front();
    EXPECT_TRUE(Exists("test.css"));
  }
  // Nothing publishing would have to send and could not find.
  for (const PageRecord& p : blog->Pages()) {
    EXPECT_LE(p.key.size(), kMaxWritableNameBytes) << p.key;
    EXPECT_TRUE(Exists(p.key)) << p.key;
  }
}

TEST_F(NamesTest, PagesWithoutANameAreSkipped) {
  Add(kArticle, "2006-01-30 10:00:00", "First", "x", "");
  Add(kArticle, "2006-01-30 11:00:00", "Second", "y", "");
  Add(kStaticPage, "2006-01-30 12:00:00", "Static", "z", "");
  Add(kHiddenPage, "2006-01-30 13:00:00", "Hidden", "h", "");
  BlogRec redirect;
  redirect.type = kRedirectPage;
  redirect.date_time = *DateTime::Parse("2006-01-30 14:00:00");
  redirect.title = "Away";
  redirect.link = "http://example.com/";
  blog->InsertEntry(redirect);
  Add(kFreeFormatPage, "2006-01-30 15:00:00", "Free", "raw", "   ");
  BlogRec category = Blog::NewCategoryRec();
  category.title = "Nameless";
  category.page_name = "";
  blog->InsertCategory(category);
  GenerateResult r = Generate();
  ASSERT_TRUE(r.ok);
  for (const char* what :
       {"Article Page \"First\" (2006-01-30 10:00:00)",
        "Article Page \"Second\" (2006-01-30 11:00:00)",
        "Static Page \"Static\" (2006-01-30 12:00:00)",
        "Hidden Page \"Hidden\" (2006-01-30 13:00:00)",
        "Redirect page \"Away\" (2006-01-30 14:00:00)",
        "Free Format Page \"Free\" (2006-01-30 15:00:00)", "Category \"Nameless\""}) {
    EXPECT_EQ(ColorOf("*** Error: " + std::string(what) + " has no page name and is skipped ***"),
              LogColor::kRed)
        << what;
  }
  EXPECT_FALSE(Exists(".html"));
  EXPECT_FALSE(blog->FindPage(".html").has_value());
  EXPECT_EQ(LogCount("...building page .html"), 0);
  EXPECT_TRUE(Exists("index.html"));
}

TEST_F(NamesTest, IndexNamesAreComparedWithoutRegardToLetterCaseInEveryScript) {
  blog->SetOptionText(opt::kIndexPageName, "\xC3\x84rger");  // Ärger
  blog->SetOptionText(opt::kArchiveIndexPageName,
                      "\xC3\x9C"
                      "bersicht");  // Übersicht
  blog->SaveOptions();
  Add(kBlogEntry, "2006-01-30 10:00:00", "Entry");
  Add(kStaticPage, "2006-01-31 10:00:00", "Home", "static", "\xC3\xA4RGER");
  Add(kArticle, "2006-02-01 10:00:00", "Over", "article",
      "\xC3\xBC"
      "BERSICHT");
  Generate();
  EXPECT_EQ(ColorOf("*** This page will overwrite the Blog Index Page ***"), LogColor::kGreen);
  EXPECT_EQ(ColorOf("*** This page will overwrite the Blog Index by Month Page ***"),
            LogColor::kGreen);
  EXPECT_FALSE(Exists("\xC3\xA4RGER.html"));
  EXPECT_FALSE(
      Exists("\xC3\xBC"
             "BERSICHT.html"));
  EXPECT_THAT(Page("\xC3\x84rger.html"), HasSubstr("<T6 title=Home kind=2 "));
  EXPECT_THAT(Page("\xC3\x9C"
                   "bersicht.html"),
              HasSubstr("<T5 title=Over kind=3 "));
}

TEST_F(NamesTest, AnExtraFileNamedLikeTheHomePageInAnotherScriptsCaseReplacesIt) {
  blog->SetOptionText(opt::kIndexPageName, "\xC3\xA9t\xC3\xA9");  // été
  blog->SaveOptions();
  WriteFile(dir / "in" / "\xC3\x89T\xC3\x89.html", "<p>my own home page</p>");
  ASSERT_TRUE(blog->AddFile(dir / "in" / "\xC3\x89T\xC3\x89.html", host));
  Generate();
  EXPECT_EQ(ColorOf("*** This page will overwrite the Blog Index Page ***"), LogColor::kGreen);
  EXPECT_EQ(Page("\xC3\xA9t\xC3\xA9.html"), "<p>my own home page</p>");
  EXPECT_FALSE(Exists("\xC3\x89T\xC3\x89.html"));
}

// Every relative href and src of every page, and every link of the feed, names a file that
// the run wrote.
class LinksTest : public NamesTest {
 protected:
  LinksTest() {
    PackageLines lines = SplitPackageLines(ReadFile(dir / "test.tem"));
    for (int t = 1; t <= 6; ++t) {
      TemplateFields f;
      f[0] = std::to_string(t);
      for (int s = 1; s <= 6; ++s) f[static_cast<size_t>(s)] = TestSlice(t, s);
      f[1] +=
          "[%links.static.column%] [%links.static.row%] [%links.navbar.column%] "
          "[%links.articles.column%] [%links.articles.row%] [%links.by.category.column%] "
          "[%linkto.index.articles%] [%linkto.index.by.month%]\n";
      f[4] = "<a href=\"[%entry.permalink.href%]\">[%entry.title%]</a> [%entry.text%]\n";
      lines[static_cast<size_t>(t)] = BuildTemplateRecord(f);
    }
    WriteFile(dir / "test.tem", JoinPackageLines(lines));
    blog->SetOptionInt(opt::kShowRecentOnHome, 1);
    blog->SetOptionInt(opt::kArchiveByCategory, 0);
    blog->SaveOptions();
  }

  void ExpectEveryLinkResolves(const std::set<std::string>& must_not_appear) {
    const std::regex attr("(?:href|src)\\s*=\\s*\"([^\"]*)\"", std::regex::icase);
    int checked = 0;
    for (const std::string& name : OutputFiles()) {
      const std::string text = ReadFile(Out() / name);
      for (const std::string& bad : must_not_appear) {
        EXPECT_EQ(text.find(bad), std::string::npos) << name << " names " << bad;
      }
      if (fs::path(name).extension() != ".html") continue;
      for (auto it = std::sregex_iterator(text.begin(), text.end(), attr);
           it != std::sregex_iterator(); ++it) {
        std::string target = (*it)[1];
        if (target.rfind("http://", 0) == 0 || target.empty() || target[0] == '#') continue;
        target = target.substr(0, target.find('#'));
        EXPECT_TRUE(Exists(target)) << name << " links to missing " << target;
        ++checked;
      }
    }
    EXPECT_GT(checked, 30);
    const std::string feed = Page("rss.xml");
    const std::regex link("<link>http://www\\.example\\.com/blog/([^<#]*)");
    int items = 0;
    for (auto it = std::sregex_iterator(feed.begin(), feed.end(), link);
         it != std::sregex_iterator(); ++it) {
      EXPECT_TRUE(Exists((*it)[1])) << "the feed links to missing " << (*it)[1];
      ++items;
    }
    EXPECT_GE(items, 3);
  }
};

TEST_F(LinksTest, PagesThatTookAnIndexPagesNameAreLinkedByThatName) {
  BlogRec category = Blog::NewCategoryRec();
  category.title = "Travel";
  category.page_name = "travel";
  const int32_t travel = blog->InsertCategory(category);
  Add(kBlogEntry, "2006-01-29 10:00:00", "Entry");
  BlogRec front;
  front.type = kArticle;
  front.date_time = *DateTime::Parse("2006-01-30 10:00:00");
  front.title = "Front";
  front.text = "front text";
  front.page_name = "INDEX";
  front.category = travel;
  blog->InsertEntry(front);
  Add(kArticle, "2006-01-31 10:00:00", "Months", "by month", "ByMonth");
  Add(kArticle, "2006-02-01 10:00:00", "List", "all articles", "ARTICLES");
  Add(kStaticPage, "2006-02-02 10:00:00", "About", "about", "Index");
  Add(kArticle, "2006-02-03 10:00:00", "Plain", "plain", "plain");
  Generate();
  EXPECT_FALSE(Exists("INDEX.html"));
  EXPECT_FALSE(Exists("ByMonth.html"));
  EXPECT_FALSE(Exists("ARTICLES.html"));
  EXPECT_FALSE(Exists("Index.html"));
  // The article index and the category page list the articles by the written names.
  EXPECT_THAT(Page("travel.html"),
              HasSubstr("<a href=\"index.html\" class=\"entrylink\">Front</a>"));
  ExpectEveryLinkResolves({"INDEX.html", "ByMonth.html", "ARTICLES.html", "Index.html"});
}

}  // namespace
}  // namespace tessavo::testing
