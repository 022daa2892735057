// The generation run and its page plan, checked on the exact text of the pages.
#include <gmock/gmock.h>

#include "site_fixture.h"
#include "store/options.h"
#include "templates/package.h"

namespace tessavo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kHome = "<A HREF=\"index.html\" class=\"menulink\">Blog Home</A>";

class GenerateTest : public SiteTest {
 protected:
  GenerateTest() {
    UseTestTemplates();
    blog->SetOptionText(opt::kBlogTitle, "My Blog");
    blog->SaveOptions();
  }
};

TEST_F(GenerateTest, RunLogsItsStepsAndWritesIntoTheOutputFolder) {
  Add(kBlogEntry, "2006-01-30 10:00:00", "First");
  GenerateResult r = Generate();
  EXPECT_EQ(r.output_folder, dir.path() / "HTML" / "myblog");
  EXPECT_EQ(r.home_page, dir.path() / "HTML" / "myblog" / "index.html");
  const std::string folder = (dir.path() / "HTML" / "myblog").string() + "/";
  std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), 10u);
  EXPECT_EQ(log[0], "Generating HTML");
  EXPECT_EQ(log[1], "Output Location is " + folder);
  EXPECT_EQ(log[2], "Loading Template Package...");
  EXPECT_EQ(log[3], "Loading Template Package complete...");
  EXPECT_EQ(host.log_cleared, 1);
  // Index pages first, then the archive, home, feed and recent pages, then the summary.
  std::vector<std::string> built;
  for (const auto& l : log) {
    if (l.rfind("...building page ", 0) == 0) built.push_back(l.substr(17));
  }
  EXPECT_THAT(built, ::testing::ElementsAre("archive.html", "articles.html", "category.html",
                                            "200601.html", "index.html", "rss.xml", "recent.html"));
  const size_t n = log.size();
  EXPECT_EQ(log[n - 4], "Output Location: " + folder);
  EXPECT_EQ(log[n - 3], "Added or Changed: 7 pages, 1 files and pictures ");
  EXPECT_EQ(log[n - 2], "Removed: 0 pages ");
  EXPECT_EQ(log[n - 1], "Done!");
  EXPECT_EQ(r.pages_changed, 7);
  EXPECT_EQ(r.files_changed, 1);
  EXPECT_TRUE(Exists("test.css"));
}

TEST_F(GenerateTest, EmptyOptionsTakeTheirFallbacksAndThePrefixIsCleaned) {
  blog->SetOptionText(opt::kIndexPageName, "");
  blog->SetOptionText(opt::kArchiveIndexPageName, "");
  blog->SetOptionText(opt::kPageNamePrefix, " my:blog ");
  blog->SetOptionText(opt::kCoolLinkCaption, "");
  blog->SaveOptions();
  Add(kBlogEntry, "2006-01-30 10:00:00", "First");
  Generate();
  EXPECT_TRUE(Exists("my-blogindex.html"));
  EXPECT_TRUE(Exists("my-blogbymonth.html"));
  EXPECT_TRUE(Exists("my-blog200601.html"));
  EXPECT_EQ(blog->options().Text(opt::kPageNamePrefix), "my-blog");
  EXPECT_EQ(blog->options().Text(opt::kCoolLinkCaption), "See page");
  EXPECT_THAT(Page("my-blogindex.html"),
              HasSubstr("menu=<A HREF=\"my-blogindex.html\" class=\"menulink\">Blog Home</A> "));
  // Only in memory: the stored option is unchanged.
  std::unique_ptr<Blog> again = Blog::Open(dir / "myblog.zdb", host, OpenMode::kRead);
  EXPECT_EQ(again->options().Text(opt::kPageNamePrefix), " my:blog ");
}

TEST_F(GenerateTest, EveryEmptyOptionTakesItsFallbackInMemory) {
  const std::vector<std::pair<int, std::string>> fallbacks = {
      {101, "Blog"},          {241, "index"},          {251, "bymonth"},
      {261, "articles"},      {214, "See page"},       {242, "Blog Home"},
      {252, "Archives"},      {262, "Articles"},       {263, "(Read Article)"},
      {401, "index.rss"},     {402, "rss.xml"},        {253, "Archive by Month"},
      {264, "Article Index"}, {254, "Daily Entries"},  {255, "Weekly Entries"},
      {271, "category"},      {272, "Category Index"}, {273, "Category Index"},
      {246, "recent"},        {247, "Recent Entries"}, {248, "Recent Entries"},
  };
  for (const auto& [key, value] : fallbacks) blog->SetOptionText(key, "");
  blog->SetOptionText(opt::kBlogUrl, "http://example.com/");
  blog->SaveOptions();
  BlogRec e;
  e.date_time = *DateTime::Parse("2006-01-30 10:00:00");
  e.title = "Linked";
  e.text = "x";
  e.link = "http://elsewhere.example/";
  blog->InsertEntry(e);
  Generate();
  for (const auto& [key, value] : fallbacks) {
    EXPECT_EQ(blog->options().Text(key), value) << "option " << key;
  }
  // The stored options stay empty.
  std::unique_ptr<Blog> again = Blog::Open(dir / "myblog.zdb", host, OpenMode::kRead);
  for (const auto& [key, value] : fallbacks) EXPECT_EQ(again->options().Text(key), "") << key;
  EXPECT_TRUE(Exists("bymonth.html"));
  EXPECT_TRUE(Exists("recent.html"));
  EXPECT_THAT(Page("rss.xml"), HasSubstr("<title>Blog</title>"));
  EXPECT_THAT(Page("rss.xml"),
              HasSubstr("&lt;A HREF=&quot;http://elsewhere.example/&quot; "
                        "target=&quot;_blank&quot;&gt;See page&lt;/A&gt;</description>"));
}

TEST_F(GenerateTest, HtmExtensionOption) {
  blog->SetOptionInt(opt::kHtmlExtension, 1);
  Add(kBlogEntry, "2006-01-30 10:00:00", "First");
  Generate();
  EXPECT_TRUE(Exists("index.htm"));
  EXPECT_TRUE(Exists("200601.htm"));
  EXPECT_FALSE(Exists("index.html"));
}

TEST_F(GenerateTest, IndexEntriesFiveWithTenEntries) {
  blog->SetOptionInt(opt::kIndexEntries, 5);
  std::vector<int32_t> keys;
  for (int m = 1; m <= 10; ++m) {
    char date[32];
    std::snprintf(date, sizeof date, "2006-%02d-15 12:00:00", m);
    keys.push_back(Add(kBlogEntry, date, "E" + std::to_string(m)));
  }
  Generate();
  std::string expected_home =
      "<T2 title=My Blog kind=2 menu=" + kHome +
      " prior=<a href=\"200605.html\" class=\"menulink\">May 2006</a> |200605.html next=| "
      "parent=| kw=My Blog desc=My Blog>\n[S3]\n";
  for (int m = 10; m >= 5; --m) {
    expected_home += "[S4 " + std::to_string(keys[static_cast<size_t>(m - 1)]) + " E" +
                     std::to_string(m) + "]\n";
  }
  expected_home += "[S5]\n[S6]\n";
  EXPECT_EQ(Page("index.html"), expected_home);

  std::string recent = Page("recent.html");
  EXPECT_EQ(recent.substr(0, recent.find('\n')),
            "<T6 title=Recent Entries kind=6 menu=" + kHome +
                " prior=<a href=\"200605.html\" class=\"menulink\">May 2006</a> |200605.html "
                "next=| parent=| kw=Recent Entries desc=Recent Entries>");
  EXPECT_EQ(std::count(recent.begin(), recent.end(), '\n'), 9);  // S1, S3, 5 x S4, S5, S6
  EXPECT_THAT(recent, HasSubstr(" E6]\n[S5]"));
  EXPECT_THAT(recent, Not(HasSubstr(" E5]")));
}

TEST_F(GenerateTest, HomePageWithoutRecentEntriesDropsItsPriorLink) {
  blog->SetOptionInt(opt::kShowRecentOnHome, 0);
  Add(kBlogEntry, "2006-01-30 10:00:00", "First");
  Generate();
  EXPECT_EQ(Page("index.html"), "<T2 title=My Blog kind=2 menu=" + kHome +
                                    " prior=| next=| parent=| kw=My Blog desc=My Blog>\n[S6]\n");
}

TEST_F(GenerateTest, TwoHomePageEntriesTheOlderWins) {
  Add(kHomePage, "2006-01-01 10:00:00", "Older home", "Welcome home");
  Add(kHomePage, "2006-02-01 10:00:00", "Newer home", "Ignored");
  Add(kRecentEntriesPage, "2006-01-01 10:00:00", "Latest", "");
  Add(kRecentEntriesPage, "2006-01-02 10:00:00", "Latest again", "");
  Generate();
  EXPECT_EQ(ColorOf("*** Error: Duplicate Home Page entry will be skipped ***"), LogColor::kRed);
  EXPECT_EQ(ColorOf("*** Error: Duplicate Recent Entries page will be skipped ***"),
            LogColor::kRed);
  std::string home = Page("index.html");
  EXPECT_THAT(home, HasSubstr("<T2 title=Older home kind=2 "));
  EXPECT_THAT(home, HasSubstr("[S2 Older home: Welcome home]\n"));
  EXPECT_THAT(home, Not(HasSubstr("Newer")));
  std::string recent = Page("recent.html");
  EXPECT_THAT(recent, HasSubstr("<T6 title=Latest kind=6 "));
  EXPECT_THAT(recent, Not(HasSubstr("[S2")));  // its text is empty
}

TEST_F(GenerateTest, ArticleNamedLikeTheArchiveIndexOverwritesIt) {
  blog->SetOptionText(opt::kArchiveIndexPageName, "bymonth");
  Add(kBlogEntry, "2006-01-30 10:00:00", "Entry");
  Add(kArticle, "2006-01-31 10:00:00", "Sneaky", "Article text", "ByMonth");
  Generate();
  EXPECT_EQ(ColorOf("*** This page will overwrite the Blog Index by Month Page ***"),
            LogColor::kGreen);
  // The article takes the archive index's file even where letter case differs.
  EXPECT_FALSE(Exists("ByMonth.html"));
  std::string page = Page("bymonth.html");
  EXPECT_THAT(page, HasSubstr("<T5 title=Sneaky kind=3 "));
  EXPECT_THAT(page, HasSubstr("[S2 Sneaky: Article text]"));
  EXPECT_TRUE(Exists("index.html"));
}

TEST_F(GenerateTest, ArticleNamedLikeTheArticleIndexReplacesItsFile) {
  Add(kArticle, "2006-01-31 10:00:00", "Mine", "Article text", "articles");
  Generate();
  EXPECT_EQ(ColorOf("*** This page will overwrite the Blog Article Index Page ***"),
            LogColor::kGreen);
  EXPECT_THAT(Page("articles.html"), HasSubstr("<T5 title=Mine kind=3 "));
  EXPECT_EQ(LogCount("...building page articles.html"), 2);
}

TEST_F(GenerateTest, StaticPageNamedLikeTheHomePageStandsInForIt) {
  Add(kBlogEntry, "2006-01-30 10:00:00", "Entry");
  Add(kStaticPage, "2006-01-31 10:00:00", "Welcome", "Static text", "index");
  Generate();
  EXPECT_EQ(ColorOf("*** This page will overwrite the Blog Index Page ***"), LogColor::kGreen);
  EXPECT_EQ(LogCount("...building page index.html"), 1);
  std::string page = Page("index.html");
  EXPECT_EQ(page.substr(0, page.find(" menu=")), "<T6 title=Welcome kind=2");
  EXPECT_THAT(page, HasSubstr("[S2 Welcome: Static text]"));
  EXPECT_EQ(blog->FindPage("index.html")->generated != 0, true);
}

TEST_F(GenerateTest, ArticleNamedLikeTheHomePageAndHiddenPage) {
  Add(kArticle, "2006-01-30 10:00:00", "Front", "x", "INDEX");
  Add(kHiddenPage, "2006-01-31 10:00:00", "Secret", "y", "secret");
  Generate();
  EXPECT_EQ(LogCount("*** This page will overwrite the Blog Index Page ***"), 1);
  EXPECT_EQ(LogCount("...building page index.html"), 1);
  EXPECT_THAT(Page("index.html"), HasSubstr("<T5 title=Front kind=2 "));
  EXPECT_FALSE(Exists("INDEX.html"));
  EXPECT_THAT(Page("secret.html"),
              HasSubstr("<T6 title=Secret kind=7 menu=" + kHome +
                        " prior=| next=| parent=" + kHome + "|index.html kw=Secret desc=Secret>"));
}

TEST_F(GenerateTest, FreeFormatAndRedirectPages) {
  blog->SetOptionText(opt::kPageNamePrefix, "p-");
  Add(kFreeFormatPage, "2006-01-30 10:00:00", "Feed", "<feed>[%entry.title%]</feed>", " feed.xml ");
  Add(kFreeFormatPage, "2006-01-30 11:00:00", "Notes", "plain notes", "notes");
  BlogRec redirect;
  redirect.type = kRedirectPage;
  redirect.date_time = *DateTime::Parse("2006-01-30 12:00:00");
  redirect.title = "Away";
  redirect.page_name = "away";
  redirect.link = " http://example.com/x ";
  blog->InsertEntry(redirect);
  Add(kRedirectPage, "2006-01-30 13:00:00", "Nowhere", "", "nowhere");
  Generate();
  EXPECT_EQ(Page("p-feed.xml"), "<feed>[%entry.title%]</feed>");
  EXPECT_EQ(Page("p-notes.html"), "plain notes");
  EXPECT_EQ(Page("p-away.html"),
            "<html><head><title>Loading page...</title><meta http-equiv=\"refresh\" "
            "content=\"2;URL=http://example.com/x\"><script>url='http://example.com/x'; "
            "if(document.images) { top.location.replace(url); }else { top.location.href=url; }"
            "</script></head><body>Loading <a href=\"http://example.com/x\">page</a>..."
            "</body></html>");
  EXPECT_EQ(ColorOf("*** Error: no URL specified for redirect page ***"), LogColor::kRed);
  EXPECT_FALSE(Exists("p-nowhere.html"));
  EXPECT_FALSE(blog->FindPage("p-nowhere.html").has_value());
}

TEST_F(GenerateTest, PageNamesThatLeaveTheOutputFolderAreRefused) {
  Add(kStaticPage, "2006-01-30 10:00:00", "Evil", "x", "../evil");
  Generate();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "HTML" / "evil.html"));
  bool red = false;
  for (const auto& l : host.log)
    red |= l.color == LogColor::kRed && l.text.find("evil") != std::string::npos;
  EXPECT_TRUE(red);
}

TEST_F(GenerateTest, ArticlePageLinksToItsArchiveOrCategory) {
  BlogRec cat = Blog::NewCategoryRec();
  cat.title = "Travel";
  cat.page_name = "travel";
  const int32_t travel = blog->InsertCategory(cat);
  BlogRec a;
  a.type = kArticle;
  a.date_time = *DateTime::Parse("2006-01-30 10:00:00");
  a.title = "Guide";
  a.text = "Full\r\n\r\ntext";
  a.page_name = "guide";
  a.link = "http://example.com/";
  a.keywords = "k1";
  blog->InsertEntry(a);
  a.title = "Filed";
  a.page_name = "filed";
  a.category = travel;
  a.keywords = "";
  a.meta_desc = "About filing";
  blog->InsertEntry(a);
  blog->SetOptionInt(opt::kHtmlFormatting, 1);
  Generate();
  const std::string month = "<a href=\"200601.html\" class=\"menulink\">January 2006</a>";
  EXPECT_EQ(Page("guide.html"),
            "<T5 title=Guide kind=5 menu=" + kHome + " : " + month + " prior=| next=| parent=" +
                month + "|200601.html kw=k1 desc=Guide>\n[S2 Guide: Full<P>text]\n[S6]\n");
  const std::string travel_link = "<a href=\"travel.html\" class=\"menulink\">Travel</a>\n";
  EXPECT_EQ(Page("filed.html"),
            "<T5 title=Filed kind=5 menu=" + kHome + " : " + travel_link +
                " prior=| next=| parent=" + travel_link +
                "|travel.html kw=Filed desc=About filing>\n[S2 Filed: Full<P>text]\n[S6]\n");
  // In lists the article shows its summary and the read-the-article link.
  EXPECT_THAT(Page("200601.html"), HasSubstr("[S4 1 Guide]"));
}

TEST_F(GenerateTest, IndexAndCategoryPages) {
  BlogRec cat = Blog::NewCategoryRec();
  cat.title = " Travel ";
  cat.page_name = "travel";
  cat.text = "Trips.";
  cat.keywords = "trip";
  const int32_t travel = blog->InsertCategory(cat);
  BlogRec unused = Blog::NewCategoryRec();
  unused.title = "Empty";
  unused.page_name = "empty";
  blog->InsertCategory(unused);
  BlogRec e;
  e.date_time = *DateTime::Parse("2006-01-30 10:00:00");
  e.title = "Out";
  e.text = "x";
  e.category = travel;
  const int32_t key = blog->InsertEntry(e);
  blog->SetOptionInt(opt::kCategoryListStyle, 2);
  blog->SetOptionText(opt::kDefaultDescription, "Blog about");
  blog->SetOptionInt(opt::kDefaultArchiveMetaDesc, 1);
  Generate();
  const std::string cat_index = "<A HREF=\"category.html\" class=\"menulink\">Category Index</A>";
  EXPECT_EQ(Page("travel.html"),
            "<T3 title=Travel kind=3 menu=" + kHome + " : " + cat_index +
                " prior=| next=| parent=" + kHome +
                "|index.html kw=trip desc=Blog about Travel>\n[S2 Travel: Trips.<p><ul><li>"
                "<a href=\"200601.html#e" +
                std::to_string(key) + "\" class=\"entrylink\">Out</a></ul>]\n[S6]\n");
  EXPECT_THAT(Page("empty.html"), HasSubstr("[S2 Empty: ]"));
  EXPECT_EQ(
      Page("category.html"),
      "<T3 title=Category Index kind=3 menu=" + kHome + " prior=| next=| parent=" + kHome +
          "|index.html kw=Category Index desc=Blog about Category Index>\n"
          "[S2 Category Index: <ul><li><a href=\"travel.html\" class=\"entrylink\">Travel</a>\n"
          "<li><a href=\"empty.html\" class=\"entrylink\">Empty</a>\n</ul>]\n[S6]\n");
  EXPECT_EQ(Page("archive.html"),
            "<T3 title=Archive by Month kind=3 menu=" + kHome + " prior=| next=| parent=" + kHome +
                "|index.html kw=Archive by Month desc=Blog about Archive by Month>\n"
                "[S2 Archive by Month: <A HREF=\"200601.html\" class=\"entrylink\">January 2006</A>"
                "<BR>]\n[S6]\n");

  // Option 114 = 3: no category pages at all.
  blog->SetOptionInt(opt::kArchiveByCategory, 3);
  Generate();
  EXPECT_EQ(LogCount("...building page travel.html"), 0);
  EXPECT_EQ(LogCount("...building page category.html"), 0);
  EXPECT_TRUE(LogHas("...Removing orphan page travel.html"));
}

TEST_F(GenerateTest, NavigationListsReachEveryPage) {
  blog->SetOptionText(opt::kParentSiteUrl, "http://example.com/");
  Add(kStaticPage, "2006-01-01 10:00:00", "About", "me", "about");
  Add(kStaticPage, "2006-01-02 10:00:00", "Links", "x", "links");
  Add(kStaticPage, "2006-01-03 10:00:00", "Out", "", "out");
  BlogRec out = *blog->FindEntry(3);
  out.link = "http://elsewhere.example/";
  blog->UpdateEntry(out);
  Add(kBlogEntry, "2006-01-30 10:00:00", "Entry");
  // A template slice that shows the lists.
  PackageLines lines = NewPackageLines();
  TemplateFields f;
  f[0] = "1";
  f[1] =
      "[%links.navbar.row%]\n[%links.static.column%]\n[%thispage.menutree%]\n"
      "[%linkto.parent.site%]\n----------------------------------------------------";
  lines[1] = BuildTemplateRecord(f);
  for (int t = 2; t <= 6; ++t) lines[static_cast<size_t>(t)] = std::to_string(t) + "\x01";
  WriteFile(dir / "nav.tem", JoinPackageLines(lines));
  blog->SetOptionText(opt::kTemplateFile, "nav.tem");
  Generate();
  EXPECT_EQ(Page("index.html"),
            "<A HREF=\"http://example.com/\" class=\"navbtn\">Main Site</A> | "
            "<A HREF=\"index.html\" class=\"navbtn\">Blog Home</A> | "
            "<A HREF=\"archive.html\" class=\"navbtn\">Archives</A> | "
            "<A HREF=\"category.html\" class=\"navbtn\">Category Index</A> | "
            "<A HREF=\"http://elsewhere.example/\" class=\"navbtn\">Out</A> | "
            "<A HREF=\"links.html\" class=\"navbtn\">Links</A> | "
            "<A HREF=\"about.html\" class=\"navbtn\">About</A>\n"
            "<A HREF=\"http://elsewhere.example/\">Out</A><BR>"
            "<A HREF=\"links.html\">Links</A><BR><A HREF=\"about.html\">About</A>\n"
            "<A HREF=\"http://example.com/\">Main Site</A> : <A HREF=\"index.html\">Blog Home</A>\n"
            "<A HREF=\"http://example.com/\">Main Site</A>\n"
            "----------------------------------------------------");
  EXPECT_TRUE(Exists("out.html"));  // its own page is still written
}

TEST_F(GenerateTest, LinkListsInTheirPlainAndClassForms) {
  blog->SetOptionText(opt::kArchiveIndexPageName, "archive");
  blog->SetOptionText(opt::kArchiveIndexCaption, "Archives");
  blog->SetOptionText(opt::kArticleIndexCaption, "Articles");
  blog->SetOptionText(opt::kRecentLinkCaption, "Recent Entries");
  blog->SetOptionText(opt::kCategoryIndexCaption, "Category Index");
  blog->SetOptionInt(opt::kRecentInNavBar, 1);
  blog->SetOptionInt(opt::kArticleIndexLink, 1);
  blog->SetOptionInt(opt::kCategoryIndexInNavBar, 1);
  blog->SetOptionInt(opt::kCategoryTeasers, 1);
  BlogRec cat = Blog::NewCategoryRec();
  cat.title = "Travel";
  cat.page_name = "travel";
  cat.teaser = "Trips";
  blog->InsertCategory(cat);
  Add(kStaticPage, "2006-01-01 10:00:00", "About", "about me", "about");
  Add(kArticle, "2006-01-20 10:00:00", "Guide", "text", "guide");
  Add(kBlogEntry, "2006-02-02 10:00:00", "E");
  PackageLines lines = NewPackageLines();
  TemplateFields f;
  f[0] = "1";
  f[1] =
      "[%links.navbar.column%]\n[%links.by.month.column%]\n[%links.by.month.row.css%]\n"
      "[%links.articles.column%]\n[%links.articles.row.css%]\n[%links.static.row.css%]\n"
      "[%linkto.index.category%]\n[%links.by.category.row.css%]|\n"
      "[%linkto.index.recententries%]\n[%linkto.rss20.href%]";
  lines[1] = BuildTemplateRecord(f);
  for (int t = 2; t <= 6; ++t) lines[static_cast<size_t>(t)] = std::to_string(t) + "\x01";
  WriteFile(dir / "lists.tem", JoinPackageLines(lines));
  blog->SetOptionText(opt::kTemplateFile, "lists.tem");
  Generate();
  EXPECT_EQ(Page("index.html"),
            "<A HREF=\"index.html\" class=\"navbtn\">Blog Home</A><BR>"
            "<A HREF=\"archive.html\" class=\"navbtn\">Archives</A><BR>"
            "<A HREF=\"recent.html\" class=\"navbtn\">Recent Entries</A><BR>"
            "<A HREF=\"articles.html\" class=\"navbtn\">Articles</A><BR>"
            "<A HREF=\"category.html\" class=\"navbtn\">Category Index</A><BR>"
            "<A HREF=\"about.html\" class=\"navbtn\">About</A>\n"
            "<A HREF=\"200602.html\">February 2006</A><BR>"
            "<A HREF=\"200601.html\">January 2006</A><BR>\n"
            "<A HREF=\"200602.html\" class=\"entrylink\">February 2006</A>  | "
            "<A HREF=\"200601.html\" class=\"entrylink\">January 2006</A> \n"
            "<A HREF=\"guide.html\">Guide</A>\n"
            "<A HREF=\"guide.html\" class=\"entrylink\">Guide</A>\n"
            "<A HREF=\"about.html\" class=\"menulink\">About</A>\n"
            "<A HREF=\"category.html\">Category Index</A>\n"
            "<a href=\"travel.html\" class=\"entrylink\">Travel</a> - Trips\n|\n"
            "<A HREF=\"recent.html\" class=\"navbtn\">Recent Entries</A>\n"
            "rss.xml");
}

TEST_F(GenerateTest, FeedsFollowTheOptions) {
  blog->SetOptionText(opt::kBlogUrl, "http://example.com/blog");
  Add(kStaticPage, "2006-02-01 10:00:00", "Newest static", "x", "st");
  Add(kBlogEntry, "2006-01-30 10:00:00", "Tom & Jerry", "<b>bold</b>");
  Generate();
  EXPECT_TRUE(Exists("rss.xml"));
  EXPECT_FALSE(Exists("index.rss"));
  std::string feed = Page("rss.xml");
  EXPECT_THAT(feed, HasSubstr("<pubDate>Wed, 1 Feb 2006 10:00:00 "));
  EXPECT_THAT(feed, HasSubstr("<title>Tom &amp; Jerry</title>\r\n"
                              "<link>http://example.com/blog/200601.html#e2</link>"));
  EXPECT_THAT(feed, Not(HasSubstr("Newest static")));
  EXPECT_EQ(LogCount("*** Warning: RSS feed files will not validate"), 0);
  blog->SetOptionInt(opt::kRss091Feed, 0);
  Generate();
  EXPECT_TRUE(Exists("index.rss"));
  EXPECT_TRUE(LogHas("...building page index.rss"));
}

TEST_F(GenerateTest, EmptyBlogGetsIndexHomeRecentAndFeed) {
  Generate();
  EXPECT_TRUE(Exists("index.html"));
  EXPECT_TRUE(Exists("recent.html"));
  EXPECT_TRUE(Exists("archive.html"));
  EXPECT_TRUE(Exists("rss.xml"));
  EXPECT_THAT(Page("rss.xml"), Not(HasSubstr("<item>")));
}

TEST_F(GenerateTest, PreviewPages) {
  Add(kBlogEntry, "2006-01-30 10:00:00", "First");
  GenerateResult r = Generate();
  std::optional<std::filesystem::path> p = PreviewPages(*blog, host);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(*p, r.home_page);
  std::filesystem::remove(r.home_page);
  EXPECT_FALSE(PreviewPages(*blog, host).has_value());
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0],
            "Error: Index File is missing. Preview failed.\n\n" + r.home_page.string());
}

TEST_F(GenerateTest, MissingTemplatePackageFallsBack) {
  blog->SetOptionText(opt::kTemplateFile, "nothere.tem");
  Add(kBlogEntry, "2006-01-30 10:00:00", "First");
  Generate();
  EXPECT_EQ(ColorOf("Error opening template package: nothere.tem"), LogColor::kRed);
  EXPECT_EQ(ColorOf("Loading internal copy of default template package instead."), LogColor::kRed);
  EXPECT_TRUE(Exists("default.css"));
}

TEST_F(GenerateTest, OutputFolderThatCannotBeCreatedStopsTheRun) {
  std::filesystem::create_directories(dir.path() / "HTML");
  WriteFile(dir.path() / "HTML" / "myblog", "a file, not a folder");
  GenerateResult r = GeneratePages(*blog, host);
  EXPECT_FALSE(r.ok);
  const std::string folder = (dir.path() / "HTML" / "myblog").string() + "/";
  EXPECT_EQ(r.error, "Cannot create " + folder);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Cannot create " + folder);
}

}  // namespace
}  // namespace tessavo::testing
