// The generated site of the demonstration blog, checked by clients nobody here wrote:
// HTML Tidy for the pages, xmllint and the Python feedparser for the feeds, and a walk
// over every relative link.
#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
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

bool HaveTool(const std::string& tool) { return RunCommand("command -v " + tool).first == 0; }

class ClientsTest : public SiteTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    host.default_answer = true;  // the starter content's questions
    blog.reset();
    fs::remove(dir / "myblog.zdb");
    blog = Blog::Create(dir / "myblog.zdb", host, &host);
    ASSERT_TRUE(blog);
    BuildDemoBlog(*blog, host);
    blog->SetOptionInt(opt::kArchiveByDate, GetParam());
    blog->SetOptionInt(opt::kRss091Feed, 0);
    blog->SetOptionInt(opt::kHtmlFormatting, 1);
    blog->SetOptionInt(opt::kRecentInNavBar, 1);
    blog->SetOptionInt(opt::kArticleIndexLink, 1);
    Generate();
  }

  std::vector<fs::path> Files(const std::string& ext) const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(Out())) {
      if (e.path().extension() == ext) out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_P(ClientsTest, EveryPagePassesTidyWithoutErrors) {
  if (!HaveTool("tidy")) SKIP_OR_FAIL("tidy is not installed (scripts/setup)");
  std::vector<fs::path> pages = Files(".html");
  ASSERT_GE(pages.size(), 10u);
  for (const fs::path& page : pages) {
    auto [status, out] = RunCommand("tidy -errors -q " + Quote(page));
    // Exit status 2 means errors; 1 warnings only.
    EXPECT_LT(status, 2) << page << "\n" << out;
  }
}

TEST_P(ClientsTest, FeedsAreWellFormedAndParse) {
  if (!HaveTool("xmllint")) SKIP_OR_FAIL("xmllint is not installed: libxml2-utils (scripts/setup)");
  for (const char* feed : {"rss.xml", "index.rss"}) {
    ASSERT_TRUE(Exists(feed)) << feed;
    auto [status, out] = RunCommand("xmllint --noout " + Quote(Out() / feed));
    EXPECT_EQ(status, 0) << feed << "\n" << out;
  }
  if (RunCommand("/usr/bin/python3 -c 'import feedparser'").first != 0) {
    SKIP_OR_FAIL("feedparser is not installed: python3-feedparser (scripts/setup)");
  }
  const fs::path script = dir / "feed.py";
  WriteFile(script,
            "import sys, time, feedparser\n"
            "d = feedparser.parse(sys.argv[1])\n"
            "print('bozo', int(bool(d.bozo)))\n"
            "print('version', d.version)\n"
            "print('channel', d.feed.get('title', ''), '|', d.feed.get('link', ''))\n"
            "for e in d.entries:\n"
            "    p = e.get('published_parsed')\n"
            "    print('item', e.title, '|', e.link, '|', time.strftime('%Y-%m-%d %H:%M', p) if p "
            "else '-')\n");
  // The entries the feeds should list: types 0 and 1, newest first.
  std::vector<BlogRec> listed;
  for (const BlogRec& e : blog->Entries()) {
    if (e.type == kBlogEntry || e.type == kArticle) listed.push_back(e);
  }
  ASSERT_GE(listed.size(), 6u);  // the demo's six and the starter content's
  if (listed.size() > 10) listed.resize(10);
  auto [status, out] =
      RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(Out() / "rss.xml"));
  ASSERT_EQ(status, 0) << out;
  std::istringstream lines(out);
  std::string line;
  std::vector<std::string> items;
  while (std::getline(lines, line)) {
    if (line.rfind("item ", 0) == 0) items.push_back(line.substr(5));
  }
  EXPECT_THAT(out, ::testing::HasSubstr("bozo 0\nversion rss20\n"));
  EXPECT_THAT(out, ::testing::HasSubstr(
                       "channel Tessavo Demo Blog | http://www.example.com/blog/index.html\n"));
  ASSERT_EQ(items.size(), listed.size()) << out;
  for (size_t i = 0; i < listed.size(); ++i) {
    const BlogRec& e = listed[i];
    // feedparser gives the date in UTC; the feed carries the offset of the run.
    const int64_t minutes = e.date_time.DaySerial() * 1440 + e.date_time.hour * 60 +
                            e.date_time.minute - LocalUtcOffsetMinutes();
    const int64_t day = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
    const DateTime utc = DateTime::FromDaySerial(day);
    const int64_t in_day = minutes - day * 1440;
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", utc.year, utc.month, utc.day,
                  static_cast<int>(in_day / 60), static_cast<int>(in_day % 60));
    const std::string prefix = e.title + " | http://www.example.com/blog/";
    EXPECT_EQ(items[i].rfind(prefix, 0), 0u) << items[i];
    EXPECT_NE(
        items[i].find(e.type == kArticle ? e.page_name + ".html" : "#e" + std::to_string(e.key)),
        std::string::npos)
        << items[i];
    EXPECT_EQ(items[i].substr(items[i].size() - 16), date) << items[i];
  }
  auto [s091, out091] =
      RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(Out() / "index.rss"));
  EXPECT_EQ(s091, 0);
  EXPECT_THAT(out091, ::testing::HasSubstr("bozo 0\nversion rss091"));
}

TEST_P(ClientsTest, EveryRelativeLinkResolves) {
  const std::regex attr("(?:href|src)\\s*=\\s*\"([^\"]*)\"", std::regex::icase);
  int checked = 0;
  for (const fs::path& page : Files(".html")) {
    const std::string text = ReadFile(page);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), attr);
         it != std::sregex_iterator(); ++it) {
      std::string target = (*it)[1];
      if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0 ||
          target.rfind("mailto:", 0) == 0 || target.empty() || target[0] == '#') {
        continue;
      }
      target = target.substr(0, target.find('#'));
      EXPECT_TRUE(fs::exists(Out() / target)) << page.filename() << " links to missing " << target;
      ++checked;
    }
  }
  EXPECT_GT(checked, 50);
}

INSTANTIATE_TEST_SUITE_P(ArchiveModes, ClientsTest, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace tessavo::testing
