// The files of the web settings on the demonstration site, checked by clients nobody here
// wrote: the sitemap against the sitemap schema, the Atom feed against the Atom RELAX NG
// schema (both kept in schemas/), feedparser for the Atom feed and Python's json module for
// the JSON feed, which must carry the RSS 2.0 feed's items; and entries dated in the future, held
// back until their time.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "generator/dates.h"
#include "generator/demo.h"
#include "site_fixture.h"
#include "skip_or_fail.h"
#include "store/options.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

BlogRec NewEntry() {
  BlogRec rec;
  rec.type = kBlogEntry;
  rec.category = -1;
  return rec;
}

fs::path Schema(const char* name) { return fs::path(TESSAVO_SITE_TEST_DIR) / "schemas" / name; }

class WebSettingsTest : public SiteTest {
 protected:
  void SetUp() override {
    host.default_answer = true;  // the starter content's questions
    blog.reset();
    fs::remove(dir / "myblog.zdb");
    blog = Blog::Create(dir / "myblog.zdb", host, &host);
    ASSERT_TRUE(blog);
    BuildDemoBlog(*blog, host);  // sitemap, Atom and social cards on
    blog->SetOptionInt(opt::kCreateJsonFeed, 1);
    blog->SetOptionInt(opt::kRss091Feed, 0);
  }

  std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
    }
    return out;
  }

  // The JSON feed read by Python's json module (Debian's feedparser reads no JSON Feed):
  // the fields JSON Feed 1.1 requires, then the items in the form of Parse below.
  std::string ParseJsonFeed(const std::string& feed) {
    const fs::path script = dir / "json_feed.py";
    WriteFile(script,
              "import sys, json, datetime\n"
              "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
              "ok = d.get('version') == 'https://jsonfeed.org/version/1.1' and "
              "isinstance(d.get('title'), str) and isinstance(d.get('items'), list)\n"
              "for e in d['items']:\n"
              "    ok = ok and isinstance(e.get('id'), str) and "
              "('content_html' in e or 'content_text' in e)\n"
              "print('valid', int(ok))\n"
              "for e in d['items']:\n"
              "    t = datetime.datetime.fromisoformat(e['date_published'])\n"
              "    t = t.astimezone(datetime.timezone.utc)\n"
              "    print('item', e['title'], '|', e['url'], '|', e['id'], '|',\n"
              "          t.strftime('%Y-%m-%d %H:%M'))\n");
    auto [status, out] =
        RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(Out() / feed));
    EXPECT_EQ(status, 0) << out;
    return out;
  }

  // "title | link | id | date" of every item of a feed, as feedparser reads it.
  std::string Parse(const std::string& feed) {
    const fs::path script = dir / "feed.py";
    WriteFile(script,
              "import sys, time, feedparser\n"
              "d = feedparser.parse(sys.argv[1])\n"
              "print('bozo', int(bool(d.bozo)), d.get('bozo_exception', ''))\n"
              "print('version', d.version)\n"
              "for e in d.entries:\n"
              "    p = e.get('published_parsed')\n"
              "    print('item', e.title, '|', e.link, '|', e.get('id', ''), '|',\n"
              "          time.strftime('%Y-%m-%d %H:%M', p) if p else '-')\n");
    auto [status, out] =
        RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(Out() / feed));
    EXPECT_EQ(status, 0) << out;
    return out;
  }
};

TEST_F(WebSettingsTest, SitemapIsValidAndListsThePagesWithTheirNewestEntry) {
  blog->SetOptionInt(opt::kArchiveByDate, 0);
  BlogRec hidden = NewEntry();
  hidden.type = kHiddenPage;
  hidden.title = "Hidden";
  hidden.page_name = "secret";
  hidden.date_time = *DateTime::Parse("2024-02-10 10:00:00");
  blog->InsertEntry(hidden);
  Generate();
  ASSERT_TRUE(Exists("sitemap.xml"));
  if (RunCommand("command -v xmllint").first != 0) {
    SKIP_OR_FAIL("xmllint is not installed: libxml2-utils (scripts/setup)");
  }
  auto [status, out] = RunCommand("xmllint --noout --schema " + Quote(Schema("sitemap.xsd")) + " " +
                                  Quote(Out() / "sitemap.xml"));
  EXPECT_EQ(status, 0) << out;

  const std::string xml = Page("sitemap.xml");
  std::set<std::string> listed;
  std::regex url("<url><loc>http://www\\.example\\.com/blog/([^<]+)</loc>");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), url); it != std::sregex_iterator();
       ++it) {
    listed.insert((*it)[1]);
  }
  // Every generated page but the hidden one; no feed, design file or picture.
  std::set<std::string> pages;
  for (const auto& e : fs::directory_iterator(Out())) {
    if (e.path().extension() == ".html") pages.insert(e.path().filename().string());
  }
  ASSERT_TRUE(pages.count("secret.html"));
  pages.erase("secret.html");
  EXPECT_EQ(listed, pages);
  // The February page's newest entry is "Into the mountains".
  const std::string feb_lastmod =
      "<lastmod>" + Rfc3339Date(*DateTime::Parse("2024-02-20 12:00:00")) + "</lastmod>";
  EXPECT_THAT(xml, ::testing::HasSubstr("/blog/202402.html</loc>" + feb_lastmod));
  // The article page carries its own date.
  EXPECT_THAT(xml, ::testing::HasSubstr("/blog/how-it-is-made.html</loc><lastmod>" +
                                        Rfc3339Date(*DateTime::Parse("2024-03-05 20:30:00")) +
                                        "</lastmod>"));
  // The sitemap is tracked like a page.
  EXPECT_TRUE(LogHas("...sitemap.xml is new."));
}

TEST_F(WebSettingsTest, NoSitemapWithoutAnHttpAddress) {
  blog->SetOptionText(opt::kBlogUrl, "www.example.com/blog/");
  Generate();
  EXPECT_FALSE(Exists("sitemap.xml"));
  EXPECT_EQ(LogCount("sitemap.xml needs the Blog Url"), 1);
}

TEST_F(WebSettingsTest, AtomAndJsonFeedsCarryTheRssItems) {
  Generate();
  ASSERT_TRUE(Exists("atom.xml"));
  ASSERT_TRUE(Exists("feed.json"));
  if (RunCommand("command -v xmllint").first != 0) {
    SKIP_OR_FAIL("xmllint is not installed: libxml2-utils (scripts/setup)");
  }
  auto [status, out] = RunCommand("xmllint --noout --relaxng " + Quote(Schema("atom.rng")) + " " +
                                  Quote(Out() / "atom.xml"));
  EXPECT_EQ(status, 0) << out;
  if (RunCommand("/usr/bin/python3 -c 'import feedparser'").first != 0) {
    SKIP_OR_FAIL("feedparser is not installed: python3-feedparser (scripts/setup)");
  }
  const std::string rss = Parse("rss.xml");
  const std::string atom = Parse("atom.xml");
  const std::string json = ParseJsonFeed("feed.json");
  EXPECT_THAT(atom, ::testing::HasSubstr("bozo 0"));
  EXPECT_THAT(atom, ::testing::HasSubstr("version atom10"));
  EXPECT_THAT(json, ::testing::HasSubstr("valid 1"));
  const auto rss_items = Lines(rss, "item ");
  ASSERT_GE(rss_items.size(), 6u);
  EXPECT_EQ(Lines(atom, "item "), rss_items);
  EXPECT_EQ(Lines(json, "item "), rss_items);
  // Ids are the permalinks; dates carry the local offset of their day.
  EXPECT_THAT(Page("atom.xml"),
              ::testing::HasSubstr("<id>http://www.example.com/blog/how-it-is-made.html</id>\r\n"
                                   "<published>" +
                                   Rfc3339Date(*DateTime::Parse("2024-03-05 20:30:00"))));
  EXPECT_THAT(Page("feed.json"),
              ::testing::HasSubstr("\"date_published\":\"" +
                                   Rfc3339Date(*DateTime::Parse("2024-03-05 20:30:00")) + "\""));
  // The pages name the feeds for discovery.
  const std::string home = Page("index.html");
  EXPECT_THAT(home, ::testing::HasSubstr("<link rel=\"alternate\" type=\"application/atom+xml\" "
                                         "title=\"Tessavo Demo Blog (Atom)\" "
                                         "href=\"http://www.example.com/blog/atom.xml\">"));
  EXPECT_THAT(home, ::testing::HasSubstr("type=\"application/feed+json\""));
  EXPECT_THAT(home, ::testing::HasSubstr("<link rel=\"canonical\" "
                                         "href=\"http://www.example.com/blog/index.html\">"));
}

TEST_F(WebSettingsTest, FeedsOffGiveNoFilesAndNoLinks) {
  blog->SetOptionInt(opt::kCreateAtomFeed, 0);
  blog->SetOptionInt(opt::kCreateJsonFeed, 0);
  blog->SetOptionInt(opt::kSocialMetaTags, 0);
  blog->SetOptionText(opt::kBlogLanguage, "fi");
  Generate();
  EXPECT_FALSE(Exists("atom.xml"));
  EXPECT_FALSE(Exists("feed.json"));
  const std::string home = Page("index.html");
  EXPECT_THAT(home, ::testing::Not(::testing::HasSubstr("application/atom+xml")));
  EXPECT_THAT(home, ::testing::Not(::testing::HasSubstr("canonical")));
  EXPECT_THAT(home, ::testing::Not(::testing::HasSubstr("og:title")));
  EXPECT_THAT(home, ::testing::HasSubstr("<html lang=\"fi\">"));
  EXPECT_THAT(home, ::testing::HasSubstr("application/rss+xml"));
}

// The new files are pages like any other: tracked, and orphans once their setting is off.
TEST_F(WebSettingsTest, FilesOfASettingTurnedOffAreRemovedAsOrphans) {
  Generate();
  for (const char* name : {"sitemap.xml", "atom.xml", "feed.json"}) {
    ASSERT_TRUE(Exists(name)) << name;
    EXPECT_TRUE(LogHas("..." + std::string(name) + " is new.")) << name;
  }
  blog->SetOptionInt(opt::kCreateSitemap, 0);
  blog->SetOptionInt(opt::kCreateAtomFeed, 0);
  blog->SetOptionInt(opt::kCreateJsonFeed, 0);
  Generate();
  for (const char* name : {"sitemap.xml", "atom.xml", "feed.json"}) {
    EXPECT_FALSE(Exists(name)) << name;
    EXPECT_TRUE(LogHas("...Removing orphan page " + std::string(name))) << name;
  }
  // Their records stay until publishing has deleted the files on the server.
  int found = 0;
  for (const PageRecord& rec : blog->Pages()) {
    if (rec.key != "sitemap.xml") continue;
    ++found;
    EXPECT_EQ(rec.generated, 0);
  }
  EXPECT_EQ(found, 1);
}

// An entry a minute after the generation time is nowhere until a run after its time.
TEST_F(WebSettingsTest, EntriesDatedInTheFutureAreHeldBack) {
  blog->SetOptionInt(opt::kHoldBackFutureEntries, 1);
  blog->SetOptionInt(opt::kCreateJsonFeed, 0);
  const DateTime now = *DateTime::Parse("2024-04-10 12:00:00");
  BlogRec later = NewEntry();
  later.title = "Scheduled news";
  later.text = "Not yet.";
  later.date_time = *DateTime::Parse("2024-05-01 00:00:00");  // a month of its own
  blog->InsertEntry(later);
  BlogRec soon = NewEntry();
  soon.title = "Almost there";
  soon.text = "In a minute.";
  soon.date_time = *DateTime::Parse("2024-04-10 12:01:00");
  const int32_t soon_key = blog->InsertEntry(soon);
  // The starter content is dated today: out of the way, before the generation time.
  for (BlogRec e : blog->Entries()) {
    if (e.date_time > *DateTime::Parse("2024-05-01 00:00:00")) {
      e.date_time = *DateTime::Parse("2024-04-01 09:00:00");
      blog->UpdateEntry(e);
    }
  }

  GenerateResult r = GeneratePages(*blog, host, now);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(
      LogHas("Held back 2 entries dated after the generation time 2024-04-10 12:00:00; "
             "the next one is dated 2024-04-10 12:01:00"));
  EXPECT_FALSE(Exists("202405.html"));
  for (const auto& e : fs::directory_iterator(Out())) {
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_THAT(text.str(), ::testing::Not(::testing::HasSubstr("Almost there"))) << e.path();
    EXPECT_THAT(text.str(), ::testing::Not(::testing::HasSubstr("Scheduled news"))) << e.path();
    EXPECT_THAT(text.str(), ::testing::Not(::testing::HasSubstr("202405"))) << e.path();
  }

  // A minute later the first one is in: on its month page, the home page, the feeds and the
  // sitemap; the other still waits.
  r = GeneratePages(*blog, host, *DateTime::Parse("2024-04-10 12:01:00"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(
      LogHas("Held back 1 entry dated after the generation time 2024-04-10 12:01:00; "
             "the next one is dated 2024-05-01 00:00:00"));
  EXPECT_THAT(Page("202404.html"), ::testing::HasSubstr("Almost there"));
  EXPECT_THAT(Page("index.html"), ::testing::HasSubstr("Almost there"));
  EXPECT_THAT(Page("rss.xml"), ::testing::HasSubstr("#e" + std::to_string(soon_key)));
  EXPECT_THAT(Page("atom.xml"), ::testing::HasSubstr("Almost there"));
  EXPECT_THAT(Page("sitemap.xml"),
              ::testing::HasSubstr("202404.html</loc><lastmod>" +
                                   Rfc3339Date(*DateTime::Parse("2024-04-10 12:01:00"))));
  EXPECT_FALSE(Exists("202405.html"));

  // After its time, the month page of the second one appears.
  r = GeneratePages(*blog, host, *DateTime::Parse("2024-05-01 00:00:00"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(LogCount("Held back"), 0);
  ASSERT_TRUE(Exists("202405.html"));
  EXPECT_THAT(Page("202405.html"), ::testing::HasSubstr("Scheduled news"));

  // With the setting off, nothing is held back whatever the time.
  blog->SetOptionInt(opt::kHoldBackFutureEntries, 0);
  r = GeneratePages(*blog, host, *DateTime::Parse("2000-01-01 00:00:00"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(Exists("202405.html"));
}

}  // namespace
}  // namespace tessavo::testing
