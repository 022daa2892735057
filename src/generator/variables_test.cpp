#include "generator/variables.h"

#include <gtest/gtest.h>

#include "generator/engine.h"
#include "generator/permalink.h"
#include "store/options.h"

namespace tessavo {
namespace {

BlogRec Entry(int32_t key, const char* when, int32_t type = kBlogEntry) {
  BlogRec rec;
  rec.key = key;
  rec.date_time = DateTime::Parse(when).value();
  rec.type = type;
  return rec;
}

EntryVarsSettings Settings() {
  EntryVarsSettings s;
  s.html_formatting = 1;
  s.cool_link_caption = "See page";
  s.read_article_caption = "(Read Article)";
  s.prefix = "my-";
  s.ext = ".html";
  return s;
}

std::string Slice(std::string_view slice, const TemplateEntryVars& e) {
  std::string out;
  ExpandEntrySlice(out, slice, e);
  return out;
}

TEST(VariableNamesTest, StagesHaveTheirNamesInOrder) {
  ASSERT_EQ(EntryVariableNames().size(), 23u);
  ASSERT_EQ(PageVariableNames().size(), 82u);
  EXPECT_EQ(EntryVariableNames().front(), "[%entry.text.css%]");
  EXPECT_EQ(EntryVariableNames()[6], "[%entry.text%]");
  EXPECT_EQ(EntryVariableNames().back(), "[%entry.attachfile.href%]");
  EXPECT_EQ(PageVariableNames().front(), "[%thispage.title%]");
  EXPECT_EQ(PageVariableNames()[22], "[%ISHOMEPAGE%]");
  EXPECT_EQ(PageVariableNames()[63], "[%custom.tag.1%]");
  EXPECT_EQ(PageVariableNames().back(), "[%linkto.index.recententries.href%]");
}

TEST(EntryVarsTest, BlogEntryValues) {
  BlogRec rec = Entry(7, "2006-01-30 14:05:00");
  rec.title = "Title";
  rec.text = "one\r\ntwo";
  rec.link = "http://example.com/";
  rec.teaser = "t";
  rec.extra1 = "x1";
  rec.title2 = "t2";
  rec.meta_desc = "desc";
  TemplateEntryVars e = BuildEntryVars(rec, Settings());
  EXPECT_EQ(e.entry_id, "7");
  EXPECT_EQ(e.entry_text, "one<BR>two");
  EXPECT_EQ(e.entry_date, "2006-01-30 14:05");
  EXPECT_EQ(e.entry_date_words, "January 30, 2006 14:05");
  EXPECT_EQ(e.entry_url_related,
            "<A HREF=\"http://example.com/\" target=\"_blank\" class=\"entrylink\">See page</A>");
  EXPECT_EQ(e.entry_permalink, "my-200601.html#e7");
  EXPECT_EQ(Slice("[%entry.text.css%]|[%entry.date.css%]|[%entry.date.words.css%]|"
                  "[%entry.title.css%]|[%entry.custom.field.1%]|[%entry.custom.title.2%]|"
                  "[%entry.metatag.description%]|[%entry.teaser%]|[%entry.attachfile%]|"
                  "[%entry.permalink.href%]",
                  e),
            "<span class=\"entrytext\">one<BR>two</span>|"
            "<span class=\"entrydate\">2006-01-30 14:05</span>|"
            "<span class=\"entrydate\">January 30, 2006 14:05</span>|"
            "<span class=\"entrytitle\">Title</span>|x1|t2|desc|t||my-200601.html#e7");
  // The ".css" form of the related link is the same anchor, its class given once.
  EXPECT_EQ(Slice("[%entry.url.related.css%]", e), e.entry_url_related);
}

TEST(EntryVarsTest, NoRelatedAddressGivesEmptyLinks) {
  TemplateEntryVars e = BuildEntryVars(Entry(1, "2006-01-30 00:00:00"), Settings());
  EXPECT_EQ(Slice("<[%entry.url.related%][%entry.url.related.css%]>", e), "<>");
}

TEST(EntryVarsTest, ArticleInListsShowsTeaserOrSummaryAndReadLink) {
  BlogRec rec = Entry(3, "2006-01-30 00:00:00", kArticle);
  rec.page_name = "story";
  rec.text = "<b>Full</b>\r\n\r\ntext";
  rec.link = "http://example.com/";
  rec.teaser = "x";  // one character: not a teaser
  TemplateEntryVars e = BuildEntryVars(rec, Settings());
  const std::string read = " <A HREF=\"my-story.html\" class=\"entrylink\">(Read Article)</A>";
  EXPECT_EQ(e.entry_text, "Fulltext" + read);
  EXPECT_EQ(e.entry_url_related, "");
  EXPECT_EQ(e.entry_permalink, "my-story.html");
  rec.teaser = "ab";
  EXPECT_EQ(BuildEntryVars(rec, Settings()).entry_text, "ab" + read);
  rec.teaser = "\xC3\xA9";  // one letter in two bytes: still one character
  EXPECT_EQ(BuildEntryVars(rec, Settings()).entry_text, "Fulltext" + read);
  rec.teaser = "\xC3\xA9t";
  EXPECT_EQ(BuildEntryVars(rec, Settings()).entry_text, "\xC3\xA9t" + read);
  TemplateEntryVars own = ArticlePageEntryVars(rec, Settings());
  EXPECT_EQ(own.entry_text, "<b>Full</b><P>text");
  EXPECT_NE(own.entry_url_related, "");
  // Made from the listing record, the article page's record is the same in every value.
  rec.keywords = "k";
  rec.sidebar = "side";
  rec.extra1 = "x1";
  rec.title2 = "t2";
  rec.meta_desc = "about";
  const TemplateEntryVars direct = ArticlePageEntryVars(rec, Settings());
  const TemplateEntryVars derived =
      ArticlePageEntryVars(BuildEntryVars(rec, Settings()), rec, Settings());
  for (int i = 0; i < static_cast<int>(EntryVariableNames().size()); ++i) {
    EXPECT_EQ(EntryVariableValue(i, derived), EntryVariableValue(i, direct))
        << EntryVariableNames()[static_cast<size_t>(i)];
  }
}

TEST(EntryVarsTest, SettingsFromOptions) {
  BlogOptionsRec options;
  options.SetInt(opt::kHtmlFormatting, 1);
  options.SetInt(opt::kEntryDateFormat, 4);
  options.SetInt(opt::kArchiveByDate, 2);
  options.SetText(opt::kCoolLinkCaption, "Go");
  options.SetText(opt::kReadArticleCaption, "Read");
  EntryVarsSettings s = EntryVarsSettings::FromOptions(options, "p", ".htm");
  EXPECT_EQ(s.html_formatting, 1);
  EXPECT_EQ(s.entry_date_format, 4);
  EXPECT_EQ(s.archive_by_date, 2);
  EXPECT_EQ(s.cool_link_caption, "Go");
  EXPECT_EQ(s.read_article_caption, "Read");
  EXPECT_EQ(s.prefix, "p");
  EXPECT_EQ(s.ext, ".htm");
}

TEST(PermalinkTest, ArchiveModes) {
  const BlogRec rec = Entry(12, "2006-01-31 23:59:00");  // a Tuesday in February's week 1
  EXPECT_EQ(EntryPermalink(rec, 0, "", ".html"), "200601.html#e12");
  EXPECT_EQ(EntryPermalink(rec, 1, "", ".html"), "2006021w.html#e12");
  EXPECT_EQ(EntryPermalink(rec, 2, "b-", ".htm"), "b-20060131.htm#e12");
  EXPECT_EQ(EntryPermalink(rec, 5, "", ".html"), "200601.html#e12");
  EXPECT_EQ(ArchivePageName(Entry(1, "2006-01-01 00:00:00").date_time, 1), "2005125w");
}

class PageValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_.home_link = "<A HREF=\"index.html\" class=\"menulink\">Blog Home</A>";
    g_.home_href = "index.html";
    g_.navbar_row =
        "<A HREF=\"index.html\" class=\"navbtn\">Blog Home</A> | "
        "<A HREF=\"bymonth.html\" class=\"navbtn\">Archives</A>";
    g_.recent_link = "<A HREF=\"recent.html\" class=\"navbtn\">Recent Entries</A>";
    g_.links_articles_row = "<A HREF=\"a.html\" class=\"entrylink\">A</A>";
    g_.rss20_name = "rss.xml";
    g_.rss091_name = "index.rss";
    g_.file_prefix = "my-";
    g_.main_title = "Blog";
    for (size_t i = 0; i < 10; ++i) g_.custom_tags[i] = "tag" + std::to_string(i + 1);
    p_.prior_link = "<a href=\"200512.html\" class=\"menulink\">December 2005</a> ";
    p_.prior_href = "200512.html";
  }
  std::string Page(std::string_view text) { return ExpandPageVariables(text, g_, e_, p_); }

  TemplateGlobalVars g_;
  TemplateEntryVars e_;
  TemplatePageVars p_;
};

TEST_F(PageValuesTest, LinkForms) {
  EXPECT_EQ(Page("[%linkto.index.mainpage%]"), "<A HREF=\"index.html\">Blog Home</A>");
  EXPECT_EQ(Page("[%linkto.index.mainpage.css%]"), g_.home_link);
  EXPECT_EQ(Page("[%linkto.index.mainpage.href%]"), "index.html");
  EXPECT_EQ(Page("[%links.navbar.row%]"), g_.navbar_row);
  EXPECT_EQ(Page("[%linkto.index.recententries%]"), g_.recent_link);
  EXPECT_EQ(Page("[%links.articles.row%]"), "<A HREF=\"a.html\">A</A>");
  EXPECT_EQ(Page("[%linkto.prior%]|[%linkto.prior.css%]|[%linkto.prior.month%]|"
                 "[%linkto.prior.href%]"),
            "<a href=\"200512.html\">December 2005</a> |" + p_.prior_link + "|" + p_.prior_link +
                "|200512.html");
  EXPECT_EQ(Page("[%linkto.rss20.href%] [%linkto.rss091.href%]"), "my-rss.xml my-index.rss");
  EXPECT_EQ(Page("[%custom.tag.1%],[%custom.tag.10%]"), "tag1,tag10");
  EXPECT_EQ(Page("[%mainpage.title.css%]"), "<span class=\"maintitle\">Blog</span>");
  EXPECT_EQ(Page("<[%linkto.parent.site%][%category.title%][%linkto.parent.category%]>"), "<>");
}

TEST_F(PageValuesTest, PageKindFlags) {
  const std::string flags =
      "[%ISHOMEPAGE%]/[%ISINDEXPAGE%]/[%ISENTRYPAGE%]/[%ISARTICLEPAGE%]/[%ISSTATICPAGE%]/"
      "[%ISHIDDENPAGE%]";
  const char* expected[] = {"/////",     "/////",     "TRUE/////", "/TRUE////", "//TRUE///",
                            "///TRUE//", "////TRUE/", "/////TRUE", "/////"};
  for (int kind = 0; kind <= 8; ++kind) {
    p_.page_kind = kind;
    EXPECT_EQ(Page(flags), expected[kind]) << "kind " << kind;
  }
}

// Every variable of both stages, in replacement order, with the value it yields. Link
// fields carry a class so that the plain form (class removed) shows.
TEST(VariableTableTest, EveryNameInOrderWithItsValue) {
  auto link = [](const std::string& target, const std::string& cls) {
    return "<A HREF=\"" + target + "\" class=\"" + cls + "\">" + target + "</A>";
  };
  auto plain = [](const std::string& target) {
    return "<A HREF=\"" + target + "\">" + target + "</A>";
  };
  auto span = [](const std::string& cls, const std::string& v) {
    return "<span class=\"" + cls + "\">" + v + "</span>";
  };

  TemplateEntryVars e;
  e.entry_id = "42";
  e.entry_title = "ETitle";
  e.entry_date = "EDate";
  e.entry_date_words = "EWords";
  e.entry_text = "EText";
  e.entry_url_related = link("rel", "entrylink");
  e.entry_teaser = "ETeaser";
  e.entry_keywords = "EKeys";
  e.entry_sidebar = "ESide";
  e.entry_custom_field1 = "EF1";
  e.entry_custom_field2 = "EF2";
  e.entry_custom_title1 = "ET1";
  e.entry_custom_title2 = "ET2";
  e.entry_meta_description = "EMeta";
  e.entry_permalink = "EPerma";
  e.category_title = "CTitle";
  e.category_text = "CText";
  e.parent_category_link = link("pcat", "menulink");

  const std::vector<std::pair<std::string, std::string>> entry_stage = {
      {"[%entry.text.css%]", span("entrytext", "EText")},
      {"[%entry.date.css%]", span("entrydate", "EDate")},
      {"[%entry.date.words.css%]", span("entrydate", "EWords")},
      {"[%entry.title.css%]", span("entrytitle", "ETitle")},
      {"[%entry.url.related.css%]", link("rel", "entrylink")},
      {"[%entry.sidebar.css%]", span("entrytext", "ESide")},
      {"[%entry.text%]", "EText"},
      {"[%entry.date%]", "EDate"},
      {"[%entry.date.words%]", "EWords"},
      {"[%entry.title%]", "ETitle"},
      {"[%entry.url.related%]", link("rel", "entrylink")},
      {"[%entry.id%]", "42"},
      {"[%entry.metatag.keywords%]", "EKeys"},
      {"[%entry.metatag.description%]", "EMeta"},
      {"[%entry.teaser%]", "ETeaser"},
      {"[%entry.sidebar%]", "ESide"},
      {"[%entry.custom.field.1%]", "EF1"},
      {"[%entry.custom.field.2%]", "EF2"},
      {"[%entry.custom.title.1%]", "ET1"},
      {"[%entry.custom.title.2%]", "ET2"},
      {"[%entry.permalink.href%]", "EPerma"},
      {"[%entry.attachfile%]", ""},
      {"[%entry.attachfile.href%]", ""},
  };
  ASSERT_EQ(EntryVariableNames().size(), entry_stage.size());
  for (size_t i = 0; i < entry_stage.size(); ++i) {
    EXPECT_EQ(EntryVariableNames()[i], entry_stage[i].first) << i;
    EXPECT_EQ(Slice(entry_stage[i].first, e), entry_stage[i].second) << entry_stage[i].first;
  }

  TemplateGlobalVars g;
  g.main_title = "MTitle";
  g.main_url = "MUrl";
  g.main_about = "MAbout";
  g.links_by_month_column = link("bmc", "entrylink");
  g.links_by_month_row = link("bmr", "menulink");
  g.links_static_column = link("sc", "menulink");
  g.links_static_row = link("sr", "entrylink");
  g.navbar_column = link("nc", "navbtn");
  g.navbar_row = link("nr", "navbtn");
  g.links_articles_column = link("ac", "entrylink");
  g.links_articles_row = link("ar", "menulink");
  g.parent_site_link = link("ps", "menulink");
  g.home_link = link("home", "menulink");
  g.home_href = "HHref";
  g.articles_link = link("arts", "menulink");
  g.articles_href = "AHref";
  g.by_month_link = link("bym", "menulink");
  g.by_month_href = "BHref";
  g.rss20_name = "r20.xml";
  g.rss091_name = "r091.xml";
  for (size_t i = 0; i < 10; ++i) g.custom_tags[i] = "CT" + std::to_string(i + 1);
  g.category_index_link = link("cix", "menulink");
  g.links_by_category_column = link("cc", "entrylink");
  g.links_by_category_row = link("cr", "menulink");
  g.recent_link = link("rec", "navbtn");
  g.recent_href = "RHref";
  g.file_prefix = "pre-";

  TemplatePageVars p;
  p.page_title = "PTitle";
  p.menu_tree = link("m1", "menulink") + " : " + link("m2", "menulink");
  p.page_kind = kPageKindStatic;
  p.prior_link = link("prior", "menulink");
  p.prior_href = "PriorHref";
  p.next_link = link("next", "menulink");
  p.next_href = "NextHref";
  p.parent_link = link("parent", "menulink");
  p.parent_href = "ParentHref";
  p.page_keywords = "PKeys";
  p.page_description = "PDesc";

  const std::vector<std::pair<std::string, std::string>> page_stage = {
      {"[%thispage.title%]", "PTitle"},
      {"[%thispage.title.css%]", span("pagetitle", "PTitle")},
      {"[%thispage.menutree%]", plain("m1") + " : " + plain("m2")},
      {"[%thispage.menutree.css%]", p.menu_tree},
      {"[%linkto.prior.month%]", p.prior_link},
      {"[%linkto.prior.month.href%]", "PriorHref"},
      {"[%linkto.next.month%]", p.next_link},
      {"[%linkto.next.month.href%]", "NextHref"},
      {"[%linkto.parent.by.month%]", p.parent_link},
      {"[%linkto.parent.by.month.href%]", "ParentHref"},
      {"[%linkto.prior%]", plain("prior")},
      {"[%linkto.prior.css%]", p.prior_link},
      {"[%linkto.prior.href%]", "PriorHref"},
      {"[%linkto.next%]", plain("next")},
      {"[%linkto.next.css%]", p.next_link},
      {"[%linkto.next.href%]", "NextHref"},
      {"[%linkto.parent%]", plain("parent")},
      {"[%linkto.parent.css%]", p.parent_link},
      {"[%linkto.parent.href%]", "ParentHref"},
      {"[%category.title%]", "CTitle"},
      {"[%category.text%]", "CText"},
      {"[%linkto.parent.category%]", e.parent_category_link},
      {"[%ISHOMEPAGE%]", ""},
      {"[%ISINDEXPAGE%]", ""},
      {"[%ISENTRYPAGE%]", ""},
      {"[%ISARTICLEPAGE%]", ""},
      {"[%ISSTATICPAGE%]", "TRUE"},
      {"[%ISHIDDENPAGE%]", ""},
      {"[%thispage.metatag.keywords%]", "PKeys"},
      {"[%thispage.metatag.description%]", "PDesc"},
      {"[%mainpage.title%]", "MTitle"},
      {"[%mainpage.title.css%]", span("maintitle", "MTitle")},
      {"[%mainpage.url%]", "MUrl"},
      {"[%mainpage.url.css%]", span("mainurl", "MUrl")},
      {"[%mainpage.about%]", "MAbout"},
      {"[%mainpage.about.css%]", span("mainabout", "MAbout")},
      {"[%links.by.month.column%]", plain("bmc")},
      {"[%links.by.month.column.css%]", g.links_by_month_column},
      {"[%links.by.month.row%]", plain("bmr")},
      {"[%links.by.month.row.css%]", g.links_by_month_row},
      {"[%links.static.column%]", plain("sc")},
      {"[%links.static.column.css%]", g.links_static_column},
      {"[%links.static.row%]", plain("sr")},
      {"[%links.static.row.css%]", g.links_static_row},
      {"[%links.navbar.column%]", g.navbar_column},
      {"[%links.navbar.row%]", g.navbar_row},
      {"[%links.articles.column%]", plain("ac")},
      {"[%links.articles.column.css%]", g.links_articles_column},
      {"[%links.articles.row%]", plain("ar")},
      {"[%links.articles.row.css%]", g.links_articles_row},
      {"[%linkto.parent.site%]", plain("ps")},
      {"[%linkto.parent.site.css%]", g.parent_site_link},
      {"[%linkto.index.mainpage%]", plain("home")},
      {"[%linkto.index.mainpage.css%]", g.home_link},
      {"[%linkto.index.mainpage.href%]", "HHref"},
      {"[%linkto.index.articles%]", plain("arts")},
      {"[%linkto.index.articles.css%]", g.articles_link},
      {"[%linkto.index.articles.href%]", "AHref"},
      {"[%linkto.index.by.month%]", plain("bym")},
      {"[%linkto.index.by.month.css%]", g.by_month_link},
      {"[%linkto.index.by.month.href%]", "BHref"},
      {"[%linkto.rss20.href%]", "pre-r20.xml"},
      {"[%linkto.rss091.href%]", "pre-r091.xml"},
      {"[%custom.tag.1%]", "CT1"},
      {"[%custom.tag.2%]", "CT2"},
      {"[%custom.tag.3%]", "CT3"},
      {"[%custom.tag.4%]", "CT4"},
      {"[%custom.tag.5%]", "CT5"},
      {"[%custom.tag.6%]", "CT6"},
      {"[%custom.tag.7%]", "CT7"},
      {"[%custom.tag.8%]", "CT8"},
      {"[%custom.tag.9%]", "CT9"},
      {"[%custom.tag.10%]", "CT10"},
      {"[%linkto.index.category%]", plain("cix")},
      {"[%links.by.category.column%]", plain("cc")},
      {"[%links.by.category.row%]", plain("cr")},
      {"[%linkto.index.category.css%]", g.category_index_link},
      {"[%links.by.category.column.css%]", g.links_by_category_column},
      {"[%links.by.category.row.css%]", g.links_by_category_row},
      {"[%linkto.index.recententries%]", g.recent_link},
      {"[%linkto.index.recententries.css%]", g.recent_link},
      {"[%linkto.index.recententries.href%]", "RHref"},
  };
  ASSERT_EQ(PageVariableNames().size(), page_stage.size());
  for (size_t i = 0; i < page_stage.size(); ++i) {
    EXPECT_EQ(PageVariableNames()[i], page_stage[i].first) << i;
    EXPECT_EQ(ExpandPageVariables(page_stage[i].first, g, e, p), page_stage[i].second)
        << page_stage[i].first;
  }
}

}  // namespace
TEST(WebVariablesTest, FirstPictureSource) {
  EXPECT_EQ(FirstPictureSource("no picture <b>here</b>"), "");
  EXPECT_EQ(FirstPictureSource("a <IMG SRC=\"one.png\"> b <img src=\"two.png\">"), "one.png");
  EXPECT_EQ(FirstPictureSource("<img alt='x' src='q.jpg'>"), "q.jpg");
  EXPECT_EQ(FirstPictureSource("<img width=3 src = bare.gif height=3>"), "bare.gif");
  EXPECT_EQ(FirstPictureSource("<img data-src=\"lazy.png\" src=\"real.png\">"), "real.png");
  EXPECT_EQ(FirstPictureSource("<imgx src=\"no.png\"><img src=\"yes.png\"/>"), "yes.png");
  EXPECT_EQ(FirstPictureSource("<img src=\"unclosed"), "");
}

TEST(WebVariablesTest, AbsoluteAddress) {
  const std::string site = "http://www.example.com/blog/";
  EXPECT_EQ(AbsoluteAddress(site, "pic.png"), "http://www.example.com/blog/pic.png");
  EXPECT_EQ(AbsoluteAddress(site, "/img/pic.png"), "http://www.example.com/img/pic.png");
  EXPECT_EQ(AbsoluteAddress(site, "https://cdn.example.org/p.png"),
            "https://cdn.example.org/p.png");
  EXPECT_EQ(AbsoluteAddress(site, "//cdn.example.org/p.png"), "//cdn.example.org/p.png");
  EXPECT_EQ(AbsoluteAddress(site, "a:b/c.png"), "a:b/c.png");
  EXPECT_EQ(AbsoluteAddress(site, "dir/a:b.png"), "http://www.example.com/blog/dir/a:b.png");
  EXPECT_EQ(AbsoluteAddress(site, ""), "");
  EXPECT_EQ(AbsoluteAddress("", "pic.png"), "");
}

TEST(WebVariablesTest, ValuesFollowTheSettings) {
  TemplateGlobalVars g;
  g.language = "de-CH";
  g.site_address = "https://example.com/b/";
  g.file_prefix = "my-";
  g.rss20_name = "rss.xml";
  TemplatePageVars p;
  p.page_file = "my-202401.html";
  p.first_picture = "p.png";
  ASSERT_EQ(WebVariableNames().size(), 6u);
  EXPECT_EQ(WebVariableValue(4, g, p), "");  // feeds off
  EXPECT_EQ(WebVariableValue(5, g, p), "");
  g.atom_file = "my-atom.xml";
  g.json_file = "my-feed.json";
  EXPECT_EQ(WebVariableValue(4, g, p), "https://example.com/b/my-atom.xml");
  EXPECT_EQ(WebVariableValue(5, g, p), "https://example.com/b/my-feed.json");
  EXPECT_EQ(WebVariableValue(0, g, p), "de-CH");
  // Off: no canonical address and no picture.
  EXPECT_EQ(WebVariableValue(1, g, p), "");
  EXPECT_EQ(WebVariableValue(3, g, p), "");
  EXPECT_EQ(WebVariableValue(2, g, p), "https://example.com/b/my-rss.xml");
  g.social_tags = true;
  EXPECT_EQ(WebVariableValue(1, g, p), "https://example.com/b/my-202401.html");
  EXPECT_EQ(WebVariableValue(3, g, p), "https://example.com/b/p.png");
  // Without an http(s) address of the blog there is no absolute address to give.
  g.site_address.clear();
  EXPECT_EQ(WebVariableValue(1, g, p), "");
  EXPECT_EQ(WebVariableValue(2, g, p), "my-rss.xml");
  EXPECT_EQ(WebVariableValue(3, g, p), "");
}

TEST(WebVariablesTest, ExpandedAfterThePageStage) {
  TemplateGlobalVars g;
  g.language = "fi";
  g.main_title = "[%blog.language%]";  // a page-stage value that names a later variable
  TemplatePageVars p;
  const std::string page =
      ExpandPageVariables("<html lang=\"[%blog.language%]\">[%mainpage.title%]", g, {}, p);
  EXPECT_EQ(page, "<html lang=\"[%blog.language%]\">[%blog.language%]");
  EXPECT_EQ(ExpandWebVariables(page, g, p), "<html lang=\"fi\">fi");
  EXPECT_EQ(ExpandWebVariables("plain", g, p), "plain");
}

}  // namespace tessavo
