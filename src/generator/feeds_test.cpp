#include "generator/feeds.h"

#include <gtest/gtest.h>

#include "generator/permalink.h"
#include "recording_host.h"

namespace tessavo {
namespace {

using testing::RecordingHost;

BlogOptionsRec Options() {
  BlogOptionsRec o;
  o.Reset("/tmp");
  o.SetText(opt::kBlogTitle, "My & Blog");
  o.SetText(opt::kBlogUrl, " http://example.com/blog ");
  o.SetText(opt::kIndexPageName, "index");
  o.SetText(opt::kRss091PageName, "index.rss");
  o.SetText(opt::kRss20PageName, "rss.xml");
  o.SetText(opt::kRssChannelTitle, "");
  o.SetText(opt::kRssChannelLink, "");
  o.SetText(opt::kRssDescription, "About <things>");
  o.SetText(opt::kCoolLinkCaption, "See page");
  o.SetInt(opt::kRssItemEntries, 10);
  o.SetInt(opt::kRssItemText, 0);
  o.SetInt(opt::kRss091Feed, 1);
  o.SetInt(opt::kHtmlFormatting, 0);
  return o;
}

PageNaming Naming() {
  PageNaming n;
  n.prefix = "";
  n.ext = ".html";
  return n;
}

BlogRec Entry(int key, int type, const std::string& title, const std::string& text) {
  BlogRec e;
  e.key = key;
  e.type = type;
  e.title = title;
  e.text = text;
  e.date_time = *DateTime::Parse("2006-01-30 10:00:00");
  e.page_name = "page" + std::to_string(key);
  return e;
}

TEST(FeedsTest, DefaultOptionsWriteOnlyRss20) {
  BlogOptionsRec o = Options();
  RecordingHost host;
  FeedBuilder f(o, Naming(), host);
  f.Start(std::nullopt);
  auto feeds = f.Finish();
  ASSERT_EQ(feeds.size(), 1u);
  EXPECT_EQ(feeds[0].name, "rss.xml");
  const std::string& t = feeds[0].text;
  EXPECT_EQ(t.rfind("<?xml version=\"1.0\" ?>\r\n<rss version=\"2.0\">\r\n<channel>\r\n"
                    "<title>My &amp; Blog</title>\r\n"
                    "<link>http://example.com/blog/index.html</link>\r\n"
                    "<description>About &lt;things&gt;</description>\r\n"
                    "<language>en-us</language>\r\n<pubDate>",
                    0),
            0u)
      << t;
  EXPECT_NE(t.find("<generator>Tessavo ( http://www.tessavo.com/ )</generator>\r\n"),
            std::string::npos);
  EXPECT_EQ(t.substr(t.size() - 20), "</channel>\r\n</rss>\r\n");
  EXPECT_TRUE(host.log.empty());

  o.SetInt(opt::kRss091Feed, 0);
  FeedBuilder g(o, Naming(), host);
  g.Start(std::nullopt);
  feeds = g.Finish();
  ASSERT_EQ(feeds.size(), 2u);
  EXPECT_EQ(feeds[0].name, "index.rss");
  EXPECT_EQ(feeds[0].text.find(std::string("<?xml version=\"1.0\" ?>\r\n") + kRss091Doctype +
                               "\r\n<rss version=\"0.91\">\r\n"),
            0u);
}

TEST(FeedsTest, ItemsSkipPagesAndHonourTheLimit) {
  BlogOptionsRec o = Options();
  o.SetInt(opt::kRssItemEntries, 0);  // becomes 1
  RecordingHost host;
  FeedBuilder f(o, Naming(), host);
  f.Start(DateTime::Parse("2006-02-01 08:00:00"));
  EXPECT_EQ(f.item_limit(), 1);
  f.AddItem(Entry(9, kStaticPage, "Static", "x"));
  f.AddItem(Entry(8, kBlogEntry, "Tom & Jerry", "<b>Hi</b> there"));
  f.AddItem(Entry(7, kBlogEntry, "Second", "y"));
  std::string t = f.Finish()[0].text;
  EXPECT_EQ(t.find("Static"), std::string::npos);
  EXPECT_EQ(t.find("Second"), std::string::npos);
  EXPECT_NE(
      t.find("<item>\r\n<title>Tom &amp; Jerry</title>\r\n"
             "<link>http://example.com/blog/200601.html#e8</link>\r\n"
             "<guid>http://example.com/blog/200601.html#e8</guid>\r\n<pubDate>Mon, 30 Jan 2006 "
             "10:00:00 "),
      std::string::npos)
      << t;
  EXPECT_NE(t.find("<description>&lt;BASE HREF=&quot;http://example.com/blog/&quot;&gt;"
                   "&lt;b&gt;Hi&lt;/b&gt; there</description>"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("<pubDate>Wed, 1 Feb 2006 08:00:00 "), std::string::npos);

  o.SetInt(opt::kRssItemEntries, 250);
  FeedBuilder g(o, Naming(), host);
  g.Start(std::nullopt);
  EXPECT_EQ(g.item_limit(), 100);
}

TEST(FeedsTest, TeaserModeRelatedLinkAndMissingAddresses) {
  BlogOptionsRec o = Options();
  o.SetText(opt::kBlogUrl, "");
  o.SetInt(opt::kRss091Feed, 0);
  RecordingHost host;
  FeedBuilder f(o, Naming(), host);
  f.Start(std::nullopt);
  ASSERT_EQ(host.log.size(), 4u);
  EXPECT_EQ(host.log[0].text, "*** Warning: RSS feed files will not validate - data missing");
  EXPECT_EQ(host.log[0].color, LogColor::kRed);
  EXPECT_EQ(
      host.log[1].text.rfind("*** Please visit the OPTIONS page for BASIC OPTIONS and enter a "
                             "valid BLOG URL. For example ",
                             0),
      0u);
  EXPECT_EQ(host.log[3].text.rfind("*** Please visit the OPTIONS page for RSS OPTIONS and enter a "
                                   "valid RSS CHANNEL LINK. For example ",
                                   0),
            0u);
  BlogRec a = Entry(3, kArticle, "Art", "<p>Body</p>");
  a.link = "http://x.example/";
  f.AddItem(a);
  auto feeds = f.Finish();
  ASSERT_EQ(feeds.size(), 2u);
  EXPECT_NE(feeds[0].text.find("<link>page3.html</link>\r\n<description>Body</description>"),
            std::string::npos)
      << feeds[0].text;
  EXPECT_NE(feeds[1].text.find("&lt;BASE HREF=&quot;&quot;&gt;&lt;p&gt;Body&lt;/p&gt; &lt;A "
                               "HREF=&quot;http://x.example/&quot; target=&quot;_blank&quot;&gt;"
                               "See page&lt;/A&gt;</description>"),
            std::string::npos)
      << feeds[1].text;

  o.SetInt(opt::kRssItemText, 1);
  FeedBuilder g(o, Naming(), host);
  g.Start(std::nullopt);
  g.AddItem(a);
  EXPECT_NE(g.Finish()[1].text.find("<description>Body</description>"), std::string::npos);
}

TEST(FeedsTest, ItemLinksAreThePermalinksOfTheArchiveMode) {
  BlogOptionsRec o = Options();
  RecordingHost host;
  PageNaming naming = Naming();
  naming.prefix = "b-";
  naming.ext = ".htm";
  const char* const expected[3] = {"b-200601.htm#e5", "b-2006021w.htm#e5", "b-20060131.htm#e5"};
  for (int mode : {0, 1, 2}) {
    naming.archive_mode = mode;
    FeedBuilder f(o, naming, host);
    f.Start(std::nullopt);
    BlogRec e = Entry(5, kBlogEntry, "Last of January", "x");
    e.date_time = *DateTime::Parse("2006-01-31 22:00:00");  // its week belongs to February
    f.AddItem(e);
    f.AddItem(Entry(6, kArticle, "Art", "y"));
    const std::string t = f.Finish()[0].text;
    EXPECT_EQ(EntryPermalink(e, mode, "b-", ".htm"), expected[mode]);
    const std::string link = std::string("http://example.com/blog/") + expected[mode];
    EXPECT_NE(t.find("<link>" + link + "</link>\r\n<guid>" + link + "</guid>"), std::string::npos)
        << t;
    EXPECT_NE(t.find("<link>http://example.com/blog/b-page6.htm</link>"), std::string::npos);
  }
}

TEST(FeedsTest, ControlCharactersInEntriesLeaveTheFeedWellFormed) {
  BlogOptionsRec o = Options();
  o.SetText(opt::kRssDescription, "Desc\x1B");
  RecordingHost host;
  FeedBuilder f(o, Naming(), host);
  f.Start(std::nullopt);
  f.AddItem(Entry(4, kBlogEntry, "Bell\x07 title",
                  "Form\x0C"
                  "feed\r\nnext"));
  const std::string t = f.Finish()[0].text;
  EXPECT_NE(t.find("<description>Desc</description>"), std::string::npos) << t;
  EXPECT_NE(t.find("<title>Bell title</title>"), std::string::npos) << t;
  EXPECT_NE(t.find("Formfeed\r\nnext</description>"), std::string::npos) << t;
  for (char c : t) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE(b >= 0x20 || c == '\r' || c == '\n' || c == '\t') << static_cast<int>(b);
  }
}

TEST(FeedsTest, RandomAndDelimiterEscapesAreResolved) {
  BlogOptionsRec o = Options();
  o.SetText(opt::kRssDescription, "n=[%RANDOM%] **[**%x**%**]");
  RecordingHost host;
  FeedBuilder f(o, Naming(), host);
  f.Start(std::nullopt);
  std::string t = f.Finish()[0].text;
  EXPECT_EQ(t.find("[%RANDOM%]"), std::string::npos);
  EXPECT_NE(t.find(" [%x%]</description>"), std::string::npos) << t;
}

}  // namespace
}  // namespace tessavo
