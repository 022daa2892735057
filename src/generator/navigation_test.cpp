#include "generator/navigation.h"

#include <gtest/gtest.h>

#include "util/datetime.h"

namespace tessavo {
namespace {

BlogOptionsRec Options() {
  BlogOptionsRec o;
  o.Reset("/tmp");
  o.SetText(opt::kIndexPageName, "index");
  o.SetText(opt::kIndexPageCaption, "Blog Home");
  o.SetText(opt::kArchiveIndexPageName, "bymonth");
  o.SetText(opt::kArchiveIndexCaption, "Archives");
  o.SetText(opt::kArticleIndexPageName, "articles");
  o.SetText(opt::kArticleIndexCaption, "Articles");
  o.SetText(opt::kRecentPageName, "recent");
  o.SetText(opt::kRecentLinkCaption, "Recent Entries");
  o.SetText(opt::kCategoryIndexPageName, "category");
  o.SetText(opt::kCategoryIndexCaption, "Category Index");
  o.SetText(opt::kParentSiteUrl, "");
  o.SetText(opt::kParentSiteCaption, "");
  o.SetInt(opt::kRecentInNavBar, 0);
  o.SetInt(opt::kArticleIndexLink, 0);
  o.SetInt(opt::kCategoryIndexInNavBar, 0);
  o.SetInt(opt::kArchiveByCategory, 0);
  o.SetInt(opt::kArticleListStyle, 0);
  o.SetInt(opt::kArticleIndexGrouping, 0);
  o.SetInt(opt::kArticleTeasersOnIndex, 0);
  o.SetInt(opt::kCategoryTeasers, 0);
  return o;
}

PageNaming Naming(int mode = 0) {
  PageNaming n;
  n.prefix = "p-";
  n.ext = ".html";
  n.archive_mode = mode;
  return n;
}

BlogRec Entry(int key, int type, const std::string& date, const std::string& title,
              const std::string& page_name = "") {
  BlogRec e;
  e.key = key;
  e.type = type;
  e.date_time = *DateTime::Parse(date);
  e.title = title;
  e.page_name = page_name;
  e.text = "some text here";
  return e;
}

EntryPeriods Periods(int month_key, const std::string& month_title, int week_key = 0,
                     int day_key = 0) {
  EntryPeriods p;
  p.month_key = month_key;
  p.month_title = month_title;
  p.week_key = week_key;
  p.day_key = day_key;
  return p;
}

TEST(NavigationTest, IndexLinksAndNavbarWithoutParentSite) {
  BlogOptionsRec o = Options();
  NavigationBuilder nav(o, Naming());
  const SiteLinks& l = nav.links();
  EXPECT_EQ(l.parent_site_link, "");
  EXPECT_EQ(l.home_link, "<A HREF=\"p-index.html\" class=\"menulink\">Blog Home</A>");
  EXPECT_EQ(l.home_href, "p-index.html");
  EXPECT_EQ(l.BaseMenuTree(), l.home_link);
  EXPECT_EQ(l.recent_link, "<A HREF=\"p-recent.html\" class=\"navbtn\">Recent Entries</A>");
  EXPECT_EQ(l.navbar_column,
            "<A HREF=\"p-index.html\" class=\"navbtn\">Blog Home</A><BR>"
            "<A HREF=\"p-bymonth.html\" class=\"navbtn\">Archives</A>");
  EXPECT_EQ(l.navbar_row,
            "<A HREF=\"p-index.html\" class=\"navbtn\">Blog Home</A> | "
            "<A HREF=\"p-bymonth.html\" class=\"navbtn\">Archives</A>");
}

TEST(NavigationTest, ParentSiteWithoutCaptionReadsMainSiteAndOptionalButtons) {
  BlogOptionsRec o = Options();
  o.SetText(opt::kParentSiteUrl, "http://example.com/");
  o.SetInt(opt::kRecentInNavBar, 1);
  o.SetInt(opt::kArticleIndexLink, 1);
  o.SetInt(opt::kCategoryIndexInNavBar, 1);
  NavigationBuilder nav(o, Naming());
  const SiteLinks& l = nav.links();
  EXPECT_EQ(o.Text(opt::kParentSiteCaption), "Main Site");
  EXPECT_EQ(l.parent_site_link, "<A HREF=\"http://example.com/\" class=\"menulink\">Main Site</A>");
  EXPECT_EQ(l.BaseMenuTree(), l.parent_site_link + " : " + l.home_link);
  EXPECT_EQ(l.navbar_row,
            "<A HREF=\"http://example.com/\" class=\"navbtn\">Main Site</A> | "
            "<A HREF=\"p-index.html\" class=\"navbtn\">Blog Home</A> | "
            "<A HREF=\"p-bymonth.html\" class=\"navbtn\">Archives</A> | "
            "<A HREF=\"p-recent.html\" class=\"navbtn\">Recent Entries</A> | "
            "<A HREF=\"p-articles.html\" class=\"navbtn\">Articles</A> | "
            "<A HREF=\"p-category.html\" class=\"navbtn\">Category Index</A>");
  // Category index button disappears without category archives.
  BlogOptionsRec o3 = Options();
  o3.SetInt(opt::kCategoryIndexInNavBar, 1);
  o3.SetInt(opt::kArchiveByCategory, 3);
  NavigationBuilder nav3(o3, Naming());
  EXPECT_EQ(nav3.links().navbar_row.find("category"), std::string::npos);
}

TEST(NavigationTest, StaticPagesNewestFirstAndOutsideLinks) {
  BlogOptionsRec o = Options();
  NavigationBuilder nav(o, Naming());
  BlogRec s1 = Entry(3, kStaticPage, "2006-03-01", " About ", " about ");
  BlogRec s2 = Entry(2, kStaticPage, "2006-02-01", "Links", "links");
  BlogRec s3 = Entry(1, kStaticPage, "2006-01-01", "Elsewhere", "elsewhere");
  s3.text = "";
  s3.link = " http://other.example/ ";
  nav.AddEntry(s1, Periods(200603, "March 2006"));
  nav.AddEntry(s2, Periods(200602, "February 2006"));
  nav.AddEntry(s3, Periods(200601, "January 2006"));
  nav.Finish({});
  const SiteLinks& l = nav.links();
  EXPECT_EQ(l.static_column,
            "<A HREF=\"p-about.html\" class=\"menulink\">About</A><BR>"
            "<A HREF=\"p-links.html\" class=\"menulink\">Links</A><BR>"
            "<A HREF=\"http://other.example/\" class=\"menulink\">Elsewhere</A>");
  EXPECT_EQ(l.static_row,
            "<A HREF=\"p-about.html\" class=\"menulink\">About</A> | "
            "<A HREF=\"p-links.html\" class=\"menulink\">Links</A> | "
            "<A HREF=\"http://other.example/\" class=\"menulink\">Elsewhere</A>");
  const std::string tail =
      "<A HREF=\"p-bymonth.html\" class=\"navbtn\">Archives</A><BR>"
      "<A HREF=\"p-about.html\" class=\"navbtn\">About</A><BR>"
      "<A HREF=\"p-links.html\" class=\"navbtn\">Links</A><BR>"
      "<A HREF=\"http://other.example/\" class=\"navbtn\">Elsewhere</A>";
  EXPECT_NE(l.navbar_column.find(tail), std::string::npos) << l.navbar_column;
  // A month with only static pages is not in the month list.
  EXPECT_EQ(l.by_month_column, "");
}

TEST(NavigationTest, MonthListAndArticleLists) {
  BlogOptionsRec o = Options();
  NavigationBuilder nav(o, Naming());
  nav.AddEntry(Entry(4, kBlogEntry, "2006-02-02", "B"), Periods(200602, "February 2006"));
  nav.AddEntry(Entry(3, kArticle, "2006-02-01", "Art B", "artb"), Periods(200602, "February 2006"));
  nav.AddEntry(Entry(2, kArticle, "2006-01-30", "Art A", "arta"), Periods(200601, "January 2006"));
  nav.Finish({});
  const SiteLinks& l = nav.links();
  EXPECT_EQ(l.by_month_column,
            "<A HREF=\"p-200602.html\" class=\"entrylink\">February 2006</A><BR>"
            "<A HREF=\"p-200601.html\" class=\"entrylink\">January 2006</A><BR>");
  EXPECT_EQ(l.by_month_row,
            "<A HREF=\"p-200602.html\" class=\"entrylink\">February 2006</A>  | "
            "<A HREF=\"p-200601.html\" class=\"entrylink\">January 2006</A> ");
  EXPECT_EQ(l.articles_column,
            "<A HREF=\"p-artb.html\" class=\"entrylink\">Art B</A><br>"
            "<A HREF=\"p-arta.html\" class=\"entrylink\">Art A</A>");
  EXPECT_EQ(l.article_index_list, l.articles_column);
}

TEST(NavigationTest, ArticleListStyleTwoGroupedByMonth) {
  BlogOptionsRec o = Options();
  o.SetInt(opt::kArticleListStyle, 2);
  o.SetInt(opt::kArticleIndexGrouping, 1);
  o.SetInt(opt::kArticleTeasersOnIndex, 1);
  NavigationBuilder nav(o, Naming());
  BlogRec b = Entry(3, kArticle, "2006-02-01", "B", "b");
  b.teaser = " tease ";
  nav.AddEntry(b, Periods(200602, "February 2006"));
  nav.AddEntry(Entry(2, kArticle, "2006-01-30", "A", "a"), Periods(200601, "January 2006"));
  nav.Finish({});
  EXPECT_EQ(nav.links().article_index_list,
            "February 2006<br><ul><li><A HREF=\"p-b.html\" class=\"entrylink\">B</A> - tease"
            "</ul><p>January 2006<br><ul><li><A HREF=\"p-a.html\" class=\"entrylink\">A</A></ul>");
}

TEST(NavigationTest, ArticleListStylesWithAndWithoutGrouping) {
  const std::string b = "<A HREF=\"p-b.html\" class=\"entrylink\">B</A>";
  const std::string a = "<A HREF=\"p-a.html\" class=\"entrylink\">A</A>";
  struct Case {
    int style;
    int grouping;
    int teasers;
    std::string expected;
  };
  const Case cases[] = {
      {0, 1, 0, "February 2006<br><br>" + b + "<p>January 2006<br><br>" + a},
      {1, 0, 1, b + " - tease<p>" + a},
      {1, 1, 0, "February 2006<br><p>" + b + "<p>January 2006<br><p>" + a},
      {3, 0, 0, "<ol><li>" + b + "<li>" + a + "</ol>"},
      {3, 1, 1,
       "February 2006<br><ol><li>" + b + " - tease</ol><p>January 2006<br><ol><li>" + a + "</ol>"},
  };
  for (const Case& c : cases) {
    BlogOptionsRec o = Options();
    o.SetInt(opt::kArticleListStyle, c.style);
    o.SetInt(opt::kArticleIndexGrouping, c.grouping);
    o.SetInt(opt::kArticleTeasersOnIndex, c.teasers);
    NavigationBuilder nav(o, Naming());
    BlogRec newer = Entry(3, kArticle, "2006-02-01", "B", "b");
    newer.teaser = " tease ";
    nav.AddEntry(newer, Periods(200602, "February 2006"));
    nav.AddEntry(Entry(1, kBlogEntry, "2006-01-31", "E"), Periods(200601, "January 2006"));
    nav.AddEntry(Entry(2, kArticle, "2006-01-30", "A", "a"), Periods(200601, "January 2006"));
    nav.Finish({});
    EXPECT_EQ(nav.links().article_index_list, c.expected) << c.style << " " << c.grouping;
  }
}

TEST(NavigationTest, CategorySlotsByTypeAndOption) {
  BlogRec cat;
  cat.key = 7;
  cat.title = " Travel ";
  cat.page_name = " travel ";
  cat.teaser = "trips";
  BlogRec entry = Entry(5, kBlogEntry, "2006-01-30", "Went out");
  entry.category = 7;
  BlogRec article = Entry(6, kArticle, "2006-01-31", "Guide", "guide");
  article.category = 7;
  BlogRec free_page = Entry(8, kFreeFormatPage, "2006-01-31", "Notes", " notes.txt ");
  free_page.category = 7;
  BlogRec redirect = Entry(9, kRedirectPage, "2006-01-31", "Away", "away");
  redirect.category = 7;
  BlogRec hidden = Entry(10, kHiddenPage, "2006-01-31", "Hidden", "hid");
  hidden.category = 7;

  for (int mode : {0, 1, 2, 3}) {
    BlogOptionsRec o = Options();
    o.SetInt(opt::kArchiveByCategory, mode);
    o.SetInt(opt::kCategoryTeasers, 1);
    NavigationBuilder nav(o, Naming(2));
    nav.AddEntry(hidden, Periods(200601, "January 2006", 2006021, 20060131));
    nav.AddEntry(redirect, Periods(200601, "January 2006", 2006021, 20060131));
    nav.AddEntry(free_page, Periods(200601, "January 2006", 2006021, 20060131));
    nav.AddEntry(article, Periods(200601, "January 2006", 2006021, 20060131));
    nav.AddEntry(entry, Periods(200601, "January 2006", 2006021, 20060130));
    nav.Finish({cat});
    const std::string& list = nav.links().category_slots.ListOf(7);
    const std::string art = "<a href=\"p-guide.html\" class=\"entrylink\">Guide</a><br>\n";
    const std::string ent = "<a href=\"p-20060130.html#e5\" class=\"entrylink\">Went out</a><br>\n";
    const std::string fre = "<a href=\"p-notes.txt\" class=\"entrylink\">Notes</a><br>\n";
    const std::string red = "<a href=\"p-away.html\" class=\"entrylink\">Away</a><br>\n";
    if (mode == 0) {
      EXPECT_EQ(list, red + fre + art + ent);
    } else if (mode == 1) {
      EXPECT_EQ(list, art);
    } else if (mode == 2) {
      EXPECT_EQ(list, red + fre + ent);
    }
    if (mode == 3) {
      EXPECT_EQ(list, "");
      EXPECT_EQ(nav.links().category_index_link, "");
      EXPECT_EQ(nav.links().category_column, "");
    } else {
      EXPECT_EQ(nav.links().category_index_link,
                "<A HREF=\"p-category.html\" class=\"menulink\">Category Index</A>");
      EXPECT_EQ(nav.links().category_column,
                "<a href=\"p-travel.html\" class=\"entrylink\">Travel</a> - trips\n");
    }
  }
}

TEST(NavigationTest, CategoryListStyles) {
  const std::string list = "<a>x</a><br>\n<a>y</a><br>\n";
  EXPECT_EQ(ApplyCategoryListStyle(list, 0, true), list);
  EXPECT_EQ(ApplyCategoryListStyle(list, 1, true), "<a>x</a><p>\n<a>y</a><p>\n");
  EXPECT_EQ(ApplyCategoryListStyle(list, 2, true), "<ul><li><a>x</a><li>\n<a>y</a></ul>");
  EXPECT_EQ(ApplyCategoryListStyle(list, 3, true), "<ol><li><a>x</a><li>\n<a>y</a></ol>");
  EXPECT_EQ(ApplyCategoryListStyle("", 2, true), "");
  EXPECT_EQ(ApplyCategoryListStyle("<a>x</a>\n<br><a>y</a>\n", 2, false),
            "<ul><li><a>x</a>\n<li><a>y</a>\n</ul>");
}

TEST(NavigationTest, SlotTableHolds502Categories) {
  CategorySlots slots;
  for (int k = 0; k < CategorySlots::kSlots; ++k) ASSERT_NE(slots.SlotFor(k), nullptr);
  EXPECT_EQ(slots.SlotFor(9999), nullptr);
  EXPECT_NE(slots.SlotFor(3), nullptr);
}

TEST(NavigationTest, NamingAndPageLinks) {
  PageNaming n = Naming(1);
  EXPECT_EQ(n.FreeFormatFile(" feed.xml "), "p-feed.xml");
  EXPECT_EQ(n.FreeFormatFile("notes"), "p-notes.html");
  EXPECT_EQ(n.WeekFile(2006021), "p-2006021w.html");
  EntryPeriods p = Periods(200601, "January 2006", 2006021, 20060130);
  p.week_title = "2006-01-30 to 2006-02-05";
  EXPECT_EQ(ArchiveLink(n, p),
            "<a href=\"p-2006021w.html\" class=\"menulink\">2006-01-30 to 2006-02-05</a>");
  BlogRec c;
  c.title = " T ";
  c.page_name = " t ";
  EXPECT_EQ(CategoryLink(n, c), "<a href=\"p-t.html\" class=\"menulink\">T</a>\n");
  EXPECT_EQ(TrimBlanks(" \t x y \r\n"), "x y");
}

TEST(WrittenPageNameTest, PagesThatTakeAnIndexPagesNameTakeItsSpelling) {
  const IndexPageNames names{"index", "ByMonth",
                             "\xC3\x9C"
                             "bersicht"};
  auto written = [&](int32_t type, const std::string& name) {
    BlogRec e;
    e.type = type;
    e.page_name = name;
    return WrittenPageName(e, names);
  };
  EXPECT_EQ(written(kArticle, "INDEX"), "index");
  EXPECT_EQ(written(kArticle, "bymonth"), "ByMonth");
  EXPECT_EQ(written(kArticle,
                    "\xC3\xBC"
                    "BERSICHT"),
            "\xC3\x9C"
            "bersicht");
  EXPECT_EQ(written(kStaticPage, "Index"), "index");
  EXPECT_EQ(written(kHiddenPage, "iNDEX"), "index");
  // Static and hidden pages take only the home page's name; other types none.
  EXPECT_EQ(written(kStaticPage, "BYMONTH"), "BYMONTH");
  EXPECT_EQ(written(kRedirectPage, "INDEX"), "INDEX");
  EXPECT_EQ(written(kFreeFormatPage, "INDEX"), "INDEX");
  EXPECT_EQ(written(kArticle, "index "), "index ");  // the name is compared untrimmed
  EXPECT_EQ(written(kArticle, "other"), "other");
  // When the index names match each other, the last that matches counts, as for the file.
  const IndexPageNames same{"home", "Home", "HOME"};
  BlogRec e;
  e.type = kArticle;
  e.page_name = "hOmE";
  EXPECT_EQ(WrittenPageName(e, same), "HOME");
  e.type = kStaticPage;
  EXPECT_EQ(WrittenPageName(e, same), "home");
}

}  // namespace
}  // namespace tessavo
