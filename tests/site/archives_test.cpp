// Archive pages by month, week and day, with their chains of prior and next links.
#include <gmock/gmock.h>

#include <algorithm>

#include "site_fixture.h"
#include "store/options.h"

namespace tessavo::testing {
namespace {

using ::testing::HasSubstr;

const std::string kHome = "<A HREF=\"index.html\" class=\"menulink\">Blog Home</A>";

std::string Link(const std::string& href, const std::string& title) {
  return "<a href=\"" + href + "\" class=\"menulink\">" + title + "</a>";
}

class ArchivesTest : public SiteTest {
 protected:
  void SetUpMode(int mode) {
    UseTestTemplates();
    blog->SetOptionInt(opt::kArchiveByDate, mode);
    a_ = Add(kBlogEntry, "2006-01-30 09:00:00", "A");
    b_ = Add(kBlogEntry, "2006-02-02 09:00:00", "B");
  }
  std::string Anchor(int32_t key, const std::string& title) const {
    return "<A name=\"e" + std::to_string(key) + "\"></A>[S4 " + std::to_string(key) + " " + title +
           "]\n";
  }
  static std::string Head(const std::string& title, const std::string& menu,
                          const std::string& prior, const std::string& prior_href,
                          const std::string& next, const std::string& next_href,
                          const std::string& self, const std::string& self_href) {
    return "<T4 title=" + title + " kind=4 menu=" + menu + " prior=" + prior + "|" + prior_href +
           " next=" + next + "|" + next_href + " parent=" + self + "|" + self_href +
           " kw=" + title + " desc=" + title + ">\n";
  }
  int32_t a_ = 0, b_ = 0;
};

TEST_F(ArchivesTest, MonthPagesInModeZero) {
  SetUpMode(0);
  Generate();
  const std::string jan = Link("200601.html", "January 2006");
  const std::string feb = Link("200602.html", "February 2006");
  EXPECT_EQ(Page("200601.html"), Head("January 2006", kHome, "", "", feb + " ", "200602.html",
                                      jan + " ", "200601.html") +
                                     "[S3]\n" + Anchor(a_, "A") + "[S5]\n[S6]\n");
  EXPECT_EQ(Page("200602.html"), Head("February 2006", kHome, jan + " ", "200601.html", "", "",
                                      feb + " ", "200602.html") +
                                     "[S3]\n" + Anchor(b_, "B") + "[S5]\n[S6]\n");
  // Permalinks of the entries point at their month pages.
  EXPECT_THAT(Page("rss.xml"), HasSubstr("200601.html#e" + std::to_string(a_)));
}

TEST_F(ArchivesTest, UnknownArchiveModeArchivesByMonth) {
  SetUpMode(9);
  Generate();
  EXPECT_THAT(Page("200601.html"), HasSubstr("[S3]\n" + Anchor(a_, "A") + "[S5]\n"));
  EXPECT_THAT(Page("rss.xml"), HasSubstr("200602.html#e" + std::to_string(b_)));
}

TEST_F(ArchivesTest, WeekPagesInModeOne) {
  SetUpMode(1);
  Generate();
  const std::string week_title = "2006-01-30 to 2006-02-05";
  const std::string week = Link("2006021w.html", week_title);
  const std::string jan = Link("200601.html", "January 2006");
  const std::string feb = Link("200602.html", "February 2006");
  EXPECT_EQ(Page("2006021w.html"),
            Head(week_title, kHome + " : " + jan, "", "", "", "", week + " ", "2006021w.html") +
                "[S3]\n" + Anchor(a_, "A") + Anchor(b_, "B") + "[S5]\n[S6]\n");
  const std::string week_item =
      "<A HREF=\"2006021w.html\" class=\"entrylink\">" + week_title + "</A><BR>";
  EXPECT_EQ(Page("200601.html"), Head("January 2006", kHome, "", "", feb + " ", "200602.html",
                                      jan + " ", "200601.html") +
                                     "[S2 Weekly Entries: " + week_item + "]\n[S6]\n");
  EXPECT_EQ(Page("200602.html"), Head("February 2006", kHome, jan + " ", "200601.html", "", "",
                                      feb + " ", "200602.html") +
                                     "[S2 Weekly Entries: " + week_item + "]\n[S6]\n");
  EXPECT_FALSE(Exists("2006051w.html"));
  // The home page's prior link goes to the week of the oldest listed entry.
  EXPECT_THAT(Page("index.html"), HasSubstr(" prior=" + week + " |2006021w.html "));
}

TEST_F(ArchivesTest, DayPagesInModeTwo) {
  SetUpMode(2);
  const int32_t c = Add(kArticle, "2006-02-02 18:00:00", "C", "art", "c");
  Generate();
  const std::string jan = Link("200601.html", "January 2006");
  const std::string feb = Link("200602.html", "February 2006");
  const std::string d30 = Link("20060130.html", "2006-01-30");
  const std::string d02 = Link("20060202.html", "2006-02-02");
  EXPECT_EQ(Page("20060130.html"), Head("2006-01-30", kHome + " : " + jan, "", "", d02 + " ",
                                        "20060202.html", d30 + " ", "20060130.html") +
                                       "[S3]\n" + Anchor(a_, "A") + "[S5]\n[S6]\n");
  EXPECT_EQ(Page("20060202.html"), Head("2006-02-02", kHome + " : " + feb, d30 + " ",
                                        "20060130.html", "", "", d02 + " ", "20060202.html") +
                                       "[S3]\n" + Anchor(b_, "B") + Anchor(c, "C") +
                                       "[S5]\n[S6]\n");
  EXPECT_EQ(
      Page("200602.html"),
      Head("February 2006", kHome, jan + " ", "200601.html", "", "", feb + " ", "200602.html") +
          "[S2 Daily Entries: <A HREF=\"20060202.html\" class=\"entrylink\">2006-02-02</A>"
          "<BR>]\n[S6]\n");
  // The article's own page hangs below its day page.
  EXPECT_THAT(Page("c.html"), HasSubstr("menu=" + kHome + " : " + d02 +
                                        " prior=| next=| parent=" + d02 + "|20060202.html "));
}

TEST_F(ArchivesTest, OldestRowStaticStillGetsItsMonthPage) {
  UseTestTemplates();
  Add(kStaticPage, "2005-12-10 09:00:00", "About", "me", "about");
  const int32_t e = Add(kBlogEntry, "2006-01-30 09:00:00", "A");
  Generate();
  const std::string dec = Link("200512.html", "December 2005");
  const std::string jan = Link("200601.html", "January 2006");
  EXPECT_EQ(Page("200512.html"), Head("December 2005", kHome, "", "", jan + " ", "200601.html",
                                      dec + " ", "200512.html") +
                                     "[S3]\n[S5]\n[S6]\n");
  EXPECT_THAT(Page("200601.html"), HasSubstr(" prior=" + dec + " |200512.html "));
  EXPECT_THAT(Page("200601.html"), HasSubstr(Anchor(e, "A")));
  // The month list shows only months with entries.
  EXPECT_THAT(Page("archive.html"), ::testing::Not(HasSubstr("December")));
}

// The pages of the second pass are written as the rows arrive: an archive page when a row
// of the next period closes it (month before week or day), single pages in between.
TEST_F(ArchivesTest, SecondPassWritesArchiveAndSinglePagesInRowOrder) {
  UseTestTemplates();
  Add(kBlogEntry, "2006-01-10 09:00:00", "E1");
  Add(kArticle, "2006-01-20 09:00:00", "A1", "art", "a1");
  Add(kBlogEntry, "2006-02-05 09:00:00", "E2");
  Add(kStaticPage, "2006-02-06 09:00:00", "S1", "st", "s1");
  auto built = [this] {
    std::vector<std::string> names;
    for (const std::string& l : Log()) {
      if (l.rfind("...building page ", 0) == 0) names.push_back(l.substr(17));
    }
    return names;
  };
  blog->SetOptionText(opt::kBlogUrl, "");
  Generate();
  // The feeds open after the home page in the third pass: their warnings come after the
  // pages of the second pass and before the home page is written.
  const std::vector<std::string> log = Log();
  const auto at = [&log](const std::string& line) {
    return std::find(log.begin(), log.end(), line) - log.begin();
  };
  EXPECT_LT(at("...building page 200602.html"),
            at("*** Warning: RSS feed files will not validate - data missing"));
  EXPECT_LT(at("*** Warning: RSS feed files will not validate - data missing"),
            at("...building page index.html"));
  EXPECT_EQ(LogCount("*** Warning: RSS feed files will not validate - data missing"), 2);
  EXPECT_THAT(built(), ::testing::ElementsAre("archive.html", "articles.html", "category.html",
                                              "a1.html", "200601.html", "s1.html", "200602.html",
                                              "index.html", "rss.xml", "recent.html"));
  blog->SetOptionInt(opt::kArchiveByDate, 2);
  Generate();
  EXPECT_THAT(built(), ::testing::ElementsAre(
                           "archive.html", "articles.html", "category.html", "20060110.html",
                           "a1.html", "200601.html", "20060120.html", "s1.html", "200602.html",
                           "20060205.html", "index.html", "rss.xml", "recent.html"));
  blog->SetOptionInt(opt::kArchiveByDate, 1);
  Generate();
  EXPECT_THAT(built(), ::testing::ElementsAre(
                           "archive.html", "articles.html", "category.html", "2006012w.html",
                           "a1.html", "200601.html", "2006013w.html", "s1.html", "200602.html",
                           "2006021w.html", "index.html", "rss.xml", "recent.html"));
}

TEST_F(ArchivesTest, WeekRuleAcrossTheYear) {
  UseTestTemplates();
  blog->SetOptionInt(opt::kArchiveByDate, 1);
  const int32_t e = Add(kBlogEntry, "2006-01-01 09:00:00", "NewYear");
  Generate();
  EXPECT_TRUE(Exists("2005125w.html"));
  EXPECT_THAT(Page("2005125w.html"), HasSubstr("title=2005-12-26 to 2006-01-01 "));
  EXPECT_THAT(Page("rss.xml"), HasSubstr("2005125w.html#e" + std::to_string(e)));
}

}  // namespace
}  // namespace tessavo::testing
