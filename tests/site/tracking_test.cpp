// Repeated runs: change tracking, Mark All as Published, orphans.
#include <gmock/gmock.h>

#include "generator/page_output.h"
#include "site_fixture.h"
#include "store/options.h"
#include "util/file_io.h"

namespace tessavo::testing {
namespace {

using ::testing::HasSubstr;

class TrackingTest : public SiteTest {
 protected:
  TrackingTest() {
    UseTestTemplates();
    Add(kBlogEntry, "2006-01-30 09:00:00", "A");
    Add(kBlogEntry, "2006-02-02 09:00:00", "B");
    about_ = Add(kStaticPage, "2006-01-01 09:00:00", "About", "me", "about");
  }
  int32_t about_ = 0;
};

TEST_F(TrackingTest, UnchangedRunAfterMarkAllAsPublishedReportsNothing) {
  GenerateResult first = Generate();
  EXPECT_GT(first.pages_changed, 0);
  EXPECT_EQ(LogCount(" is new."), first.pages_changed + first.files_changed);
  // Without publishing every page is reported again.
  GenerateResult second = Generate();
  EXPECT_EQ(second.pages_changed, first.pages_changed);
  EXPECT_EQ(LogCount(" has changes."), second.pages_changed + second.files_changed);

  ASSERT_TRUE(blog->MarkAllAsPublished(host));
  const auto before = std::filesystem::last_write_time(Out() / "index.html");
  GenerateResult third = Generate();
  EXPECT_EQ(LogCount("has changes."), 0);
  EXPECT_EQ(LogCount("is new."), 0);
  EXPECT_EQ(LogCount("...building page "), third.pages_built);
  EXPECT_EQ(third.pages_changed, 0);
  EXPECT_TRUE(LogHas("Added or Changed: 0 pages, 0 files and pictures "));
  EXPECT_TRUE(LogHas("Removed: 0 pages "));
  EXPECT_EQ(std::filesystem::last_write_time(Out() / "index.html"), before);

  // A deleted local copy is restored silently.
  std::filesystem::remove(Out() / "200601.html");
  Generate();
  EXPECT_TRUE(Exists("200601.html"));
  EXPECT_EQ(LogCount("200601.html has changes."), 0);
}

TEST_F(TrackingTest, EditingOneEntryReportsOnlyThePagesThatShowIt) {
  Generate();
  ASSERT_TRUE(blog->MarkAllAsPublished(host));
  BlogRec a = *blog->FindEntry(1);
  a.title = "A changed";
  blog->UpdateEntry(a);
  Generate();
  std::vector<std::string> changed;
  for (const auto& l : Log()) {
    if (l.size() > 13 && l.substr(l.size() - 13) == " has changes.") changed.push_back(l);
  }
  EXPECT_THAT(changed, ::testing::UnorderedElementsAre(
                           "... 200601.html has changes.", "... index.html has changes.",
                           "... recent.html has changes.", "... rss.xml has changes."));
}

TEST_F(TrackingTest, RenamedStaticPageBecomesAnOrphan) {
  Generate();
  EXPECT_TRUE(Exists("about.html"));
  BlogRec about = *blog->FindEntry(about_);
  about.page_name = "me";
  blog->UpdateEntry(about);
  GenerateResult r = Generate();
  EXPECT_TRUE(LogHas("...me.html is new."));
  EXPECT_TRUE(LogHas("...Removing orphan page about.html"));
  EXPECT_FALSE(Exists("about.html"));
  EXPECT_EQ(r.pages_removed, 1);
  EXPECT_TRUE(LogHas("Removed: 1 pages "));
  std::optional<PageRecord> rec = blog->FindPage("about.html");
  ASSERT_TRUE(rec.has_value());
  EXPECT_EQ(rec->generated, 0);
}

TEST_F(TrackingTest, APageThatCannotBeWrittenStopsTheRun) {
  // A folder in the place of an archive page: the page file cannot be written.
  std::filesystem::create_directories(Out() / "200601.html" / "blocker");
  GenerateResult r = GeneratePages(*blog, host);
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], r.error);
  EXPECT_THAT(r.error, HasSubstr("200601.html"));
  EXPECT_FALSE(LogHas("Done!"));
  // The index pages written before stay, with their records.
  EXPECT_TRUE(Exists("archive.html"));
  std::unique_ptr<Blog> again = Blog::Open(dir / "myblog.zdb", host, OpenMode::kRead);
  EXPECT_TRUE(again->FindPage("archive.html").has_value());
  EXPECT_FALSE(again->FindPage("index.html").has_value());
}

TEST_F(TrackingTest, PicturesAndExtraFilesAreCopied) {
  WriteFile(dir / "pic.png", "not really a picture");
  ASSERT_TRUE(blog->AddPicture(dir / "pic.png", host));
  WriteFile(dir / "index.html", "<p>extra home</p>");
  ASSERT_TRUE(blog->AddFile(dir / "index.html", host));
  GenerateResult r = Generate();
  EXPECT_TRUE(LogHas("processing picture pic.png"));
  EXPECT_TRUE(LogHas("processing file index.html"));
  EXPECT_TRUE(LogHas("*** This page will overwrite the Blog Index Page ***"));
  EXPECT_EQ(Page("index.html"), "<p>extra home</p>");
  EXPECT_EQ(Page("pic.png"), "not really a picture");
  EXPECT_EQ(r.pictures_changed, 1);
}

// A run killed in the middle of a write leaves its temporary file (NAME.tmp-XXXXXX, private,
// unlocked) in the output folder; the next run clears such files away and nothing else.
TEST_F(TrackingTest, StrayTemporaryFilesOfAKilledRunAreRemovedAndNothingElse) {
  // An extra file whose name merely has the form of a temporary file is part of the site.
  WriteFile(dir / "report.tmp-ABC123", "a report");
  ASSERT_TRUE(blog->AddFile(dir / "report.tmp-ABC123", host));
  Generate();
  ASSERT_EQ(Page("report.tmp-ABC123"), "a report");
  const std::string home = Page("index.html");

  for (const char* stray :
       {"index.html.tmp-Ab12Cd", "200601.html.tmp-ZZZZZZ", "gone-long-ago.html.tmp-000000"}) {
    WriteFile(Out() / stray, "<html>half writ");
    std::filesystem::permissions(Out() / stray, std::filesystem::perms(0600));
  }
  WriteFile(Out() / "notes.tmp-old", "mine");
  WriteFile(Out() / "x.tmp-ABC", "mine");
  WriteFile(Out() / "y.tmp-ABCDEFG", "mine");

  Generate();
  EXPECT_FALSE(Exists("index.html.tmp-Ab12Cd"));
  EXPECT_FALSE(Exists("200601.html.tmp-ZZZZZZ"));
  EXPECT_FALSE(Exists("gone-long-ago.html.tmp-000000"));
  EXPECT_EQ(Page("notes.tmp-old"), "mine");
  EXPECT_EQ(Page("x.tmp-ABC"), "mine");
  EXPECT_EQ(Page("y.tmp-ABCDEFG"), "mine");
  EXPECT_EQ(Page("report.tmp-ABC123"), "a report");
  EXPECT_EQ(Page("index.html"), home);
  int temps = 0;
  for (const auto& e : std::filesystem::directory_iterator(Out())) {
    temps += IsTempFileName(e.path().filename().string()) ? 1 : 0;
  }
  EXPECT_EQ(temps, 1);  // report.tmp-ABC123, the site's own file
}

}  // namespace
}  // namespace tessavo::testing
