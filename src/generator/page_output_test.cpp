#include "generator/page_output.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "generator/extract.h"
#include "recording_host.h"
#include "store/blog.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "util/crc32.h"
#include "util/error.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

int32_t Crc(const std::string& text) { return CrcToSigned(CalculateCRC32String(text)); }

class PageOutputTest : public ::testing::Test {
 protected:
  PageOutputTest() {
    SetProgramFolder(dir.path() / "home");
    blog = Blog::Create(dir / "blog.zdb", host);
    out = dir / "out";
    fs::create_directories(out);
  }

  // One generation run over `pages` (name, text): reset, write every page, remove orphans,
  // flush. Returns the run's counters; the log of the run is in `host`.
  OutputCounters Run(const std::vector<std::pair<std::string, std::string>>& pages) {
    host.log.clear();
    PageWriter w(*blog, host, out);
    w.ResetGeneratedCrcs();
    for (const auto& [name, text] : pages) w.WritePage(name, text);
    w.RemoveOrphans();
    w.Flush();
    return w.counters();
  }

  PageRecord Record(const std::string& key) {
    auto rec = blog->FindPage(key);
    EXPECT_TRUE(rec) << key;
    return rec.value_or(PageRecord{});
  }

  TempDir dir;
  RecordingHost host;
  std::unique_ptr<Blog> blog;
  fs::path out;
};

TEST_F(PageOutputTest, PageRecordLifeCycle) {
  // First write: new, counted, written; published 0, generated = local = CRC.
  OutputCounters c = Run({{"index.html", "home v1"}, {"about.html", "about v1"}});
  EXPECT_EQ(c.pages_changed, 2);
  EXPECT_EQ(host.LogTexts(),
            (std::vector<std::string>{"...building page index.html", "...index.html is new.",
                                      "...building page about.html", "...about.html is new."}));
  EXPECT_EQ(ReadFile(out / "index.html"), "home v1");
  EXPECT_EQ(Record("index.html"), (PageRecord{"index.html", 0, Crc("home v1"), Crc("home v1")}));

  // Rewritten unchanged without publishing: still differs from the published CRC 0.
  WriteFile(out / "about.html", "edited by hand");
  c = Run({{"index.html", "home v1"}, {"about.html", "about v1"}});
  EXPECT_EQ(c.pages_changed, 2);
  EXPECT_TRUE(host.Logged("... index.html has changes."));
  EXPECT_EQ(ReadFile(out / "about.html"), "about v1");

  // Published: an unchanged run logs no change line, counts nothing, writes nothing.
  ASSERT_TRUE(blog->MarkAllAsPublished(host));
  EXPECT_EQ(Record("index.html").existing, Crc("home v1"));
  WriteFile(out / "about.html", "edited by hand");  // the local CRC still claims v1
  c = Run({{"index.html", "home v1"}, {"about.html", "about v1"}});
  EXPECT_EQ(c.pages_changed, 0);
  EXPECT_EQ(host.LogTexts(), (std::vector<std::string>{"...building page index.html",
                                                       "...building page about.html"}));
  EXPECT_EQ(ReadFile(out / "about.html"), "edited by hand");

  // A local file deleted by hand comes back silently.
  fs::remove(out / "index.html");
  c = Run({{"index.html", "home v1"}, {"about.html", "about v1"}});
  EXPECT_EQ(c.pages_changed, 0);
  EXPECT_EQ(host.LogTexts().size(), 2u);
  EXPECT_EQ(ReadFile(out / "index.html"), "home v1");

  // Changed: reported, counted, written; the published CRC stays.
  c = Run({{"index.html", "home v2"}, {"about.html", "about v1"}});
  EXPECT_EQ(c.pages_changed, 1);
  EXPECT_TRUE(host.Logged("... index.html has changes."));
  EXPECT_EQ(Record("index.html"),
            (PageRecord{"index.html", Crc("home v1"), Crc("home v2"), Crc("home v2")}));

  // Changed back to the published text: silent, but the local copy is repaired.
  c = Run({{"index.html", "home v1"}, {"about.html", "about v1"}});
  EXPECT_EQ(c.pages_changed, 0);
  EXPECT_EQ(ReadFile(out / "index.html"), "home v1");
  EXPECT_EQ(Record("index.html").local, Crc("home v1"));

  // Orphaned: the record stays with generated 0, the file goes, the run counts it.
  c = Run({{"index.html", "home v1"}});
  EXPECT_EQ(c.pages_removed, 1);
  EXPECT_TRUE(host.Logged("...Removing orphan page about.html"));
  EXPECT_FALSE(fs::exists(out / "about.html"));
  EXPECT_EQ(Record("about.html").generated, 0);
  // A second run still finds it orphaned and counts it although its file is gone.
  c = Run({{"index.html", "home v1"}});
  EXPECT_EQ(c.pages_removed, 1);

  // Mark All as New keeps every record and clears only the published CRC.
  host.status.clear();
  ASSERT_TRUE(blog->MarkAllAsNew(host));
  EXPECT_EQ(host.questions.back().text, "Mark all Blog Pages as NOT Published?");
  EXPECT_EQ(host.status,
            (std::vector<std::string>{"Marking all Blog Pages as NOT Published",
                                      "Marking about.html", "Marking index.html",
                                      "Marking all Blog Pages as NOT Published complete"}));
  EXPECT_EQ(blog->Pages().size(), 2u);
  EXPECT_EQ(Record("index.html"), (PageRecord{"index.html", 0, Crc("home v1"), Crc("home v1")}));
  EXPECT_EQ(Record("about.html").existing, 0);

  // Mark All as Published deletes the orphan's record.
  host.status.clear();
  ASSERT_TRUE(blog->MarkAllAsPublished(host));
  EXPECT_EQ(host.status.front(), "Marking all Blog Pages as Published");
  EXPECT_EQ(host.status.back(), "Marking all Blog Pages as Published complete");
  EXPECT_EQ(host.status_shown, host.status_closed);
  EXPECT_FALSE(blog->FindPage("about.html"));
  EXPECT_EQ(Record("index.html").existing, Crc("home v1"));
}

TEST_F(PageOutputTest, MarkCommandsDoNothingOnNo) {
  Run({{"a.html", "a"}});
  host.answers = {false, false};
  EXPECT_FALSE(blog->MarkAllAsNew(host));
  EXPECT_FALSE(blog->MarkAllAsPublished(host));
  EXPECT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[1].text, "Mark all Blog Pages as Published?");
  EXPECT_EQ(host.status_shown, 0);
  EXPECT_EQ(Record("a.html"), (PageRecord{"a.html", 0, Crc("a"), Crc("a")}));
}

TEST_F(PageOutputTest, NamesThatAreNoBareFileNamesAreRefused) {
  OutputCounters c = Run({{"../escape.html", "x"}, {"/tmp/abs.html", "x"}, {"ok.html", "x"}});
  EXPECT_EQ(c.pages_changed, 1);
  EXPECT_FALSE(fs::exists(dir / "escape.html"));
  int red = 0;
  for (const auto& l : host.log) red += l.color == LogColor::kRed;
  EXPECT_EQ(red, 2);
  EXPECT_TRUE(host.Logged(RefusedNameLine("../escape.html")));
  EXPECT_FALSE(blog->FindPage("../escape.html"));
}

TEST_F(PageOutputTest, AFailedPageWriteStopsWithTheRecordsSavedSoFar) {
  {
    PageWriter w(*blog, host, out);
    w.ResetGeneratedCrcs();
    w.WritePage("first.html", "1");
    fs::create_directories(out / "blocked.html" / "inside");  // a folder in the page's place
    EXPECT_THROW(w.WritePage("blocked.html", "2"), Error);
    // Saved before the error propagated, without waiting for the end of the run.
    EXPECT_TRUE(blog->FindPage("first.html"));
  }
  EXPECT_TRUE(blog->FindPage("blocked.html")) << "a new record stays even when its write fails";
}

TEST_F(PageOutputTest, PicturesAndFilesAreTrackedWithTheirStoredCrc) {
  WriteFile(dir / "src" / "pic.gif", "GIF89a-picture");
  WriteFile(dir / "src" / "notes.txt", "notes");
  WriteFile(dir / "src" / "INDEX.html", "my own home page");
  ASSERT_TRUE(blog->AddPicture(dir / "src" / "pic.gif", host));
  ASSERT_TRUE(blog->AddFile(dir / "src" / "notes.txt", host));
  ASSERT_TRUE(blog->AddFile(dir / "src" / "INDEX.html", host));

  host.log.clear();
  PageWriter w(*blog, host, out);
  w.ResetGeneratedCrcs();
  w.WritePage("index.html", "generated home");
  w.CopyPicturesAndFiles("index.html");
  w.Flush();
  EXPECT_EQ(w.counters().pictures_changed, 1);
  EXPECT_EQ(w.counters().files_changed, 2);
  EXPECT_EQ(w.counters().pages_changed, 1);
  EXPECT_TRUE(w.index_page_overwritten());
  EXPECT_EQ(ReadFile(out / "pic.gif"), "GIF89a-picture");
  EXPECT_EQ(ReadFile(out / "index.html"), "my own home page");
  EXPECT_FALSE(fs::exists(out / "INDEX.html"));
  auto pic = blog->FindPicture("pic.gif");
  ASSERT_TRUE(pic);
  EXPECT_EQ(Record("pic.gif"), (PageRecord{"pic.gif", 0, pic->crc, pic->crc}));
  EXPECT_EQ(Record("index.html").generated, Crc("my own home page"));

  std::vector<std::string> expected = {
      "...building page index.html", "...index.html is new.",
      "processing picture pic.gif",  "...pic.gif is new.",
      "processing file INDEX.html",  "*** This page will overwrite the Blog Index Page ***",
      "... index.html has changes.", "processing file notes.txt",
      "...notes.txt is new."};
  EXPECT_EQ(host.LogTexts(), expected);
  EXPECT_EQ(host.log[5].color, LogColor::kGreen);
}

TEST_F(PageOutputTest, EveryRecordIsFoundByItsExactKeyOnly) {
  // Enough records to grow the lookup table several times, with keys that differ only in
  // case, length, a trailing byte or an embedded NUL.
  std::vector<std::pair<std::string, std::string>> pages;
  for (int i = 0; i < 3000; ++i) {
    pages.emplace_back("page" + std::to_string(i) + ".html", "text " + std::to_string(i));
  }
  pages.emplace_back("Page1.html", "upper case");
  pages.emplace_back("page1.html.html", "longer");
  Run(pages);
  {
    PageWriter w(*blog, host, out);  // the records as read back from the blog
    for (const auto& [name, text] : pages) {
      const PageRecord* rec = w.Find(name);
      ASSERT_NE(rec, nullptr) << name;
      EXPECT_EQ(*rec, (PageRecord{name, 0, Crc(text), Crc(text)}));
    }
    for (const std::string& miss :
         {std::string("page1.htm"), std::string("page1.html "), std::string("PAGE1.HTML"),
          std::string("page3000.html"), std::string("page-1.html"), std::string("page1.html\0", 11),
          std::string()}) {
      EXPECT_EQ(w.Find(miss), nullptr) << miss;
    }
  }
  EXPECT_EQ(blog->Pages().size(), pages.size());
}

TEST_F(PageOutputTest, OfKeysThatReadAlikeTheFirstInKeyOrderKeepsTheRecord) {
  {
    // Rows another tool left, written through a connection of its own: a key stored as a
    // blob reads as the same text as the text key after it, a null key as the empty key.
    SQLite::Database raw(blog->file().string(), SQLite::OPEN_READWRITE);
    raw.exec(
        "INSERT INTO tblPages VALUES (CAST('5' AS BLOB), 1, 1, 1), ('5', 2, 2, 2), "
        "('', 3, 3, 3), (NULL, 4, 4, 4), ('6', 5, 5, 5)");
  }
  PageWriter w(*blog, host, out);
  ASSERT_NE(w.Find("5"), nullptr);
  EXPECT_EQ(*w.Find("5"), (PageRecord{"5", 2, 2, 2}));  // text comes before blobs
  ASSERT_NE(w.Find(""), nullptr);
  EXPECT_EQ(*w.Find(""), (PageRecord{"", 4, 4, 4}));  // null comes before text
  EXPECT_EQ(*w.Find("6"), (PageRecord{"6", 5, 5, 5}));
}

TEST_F(PageOutputTest, AFileThatAlreadyHoldsTheTextIsNotReplaced) {
  Run({{"same.html", "same"}, {"edited.html", "text"}, {"mode.html", "text"}});
  // Unpublished, so every page has changes on every run and is written again.
  WriteFile(out / "edited.html", "edited by hand");
  fs::permissions(out / "mode.html", fs::perms(0600));
  const auto inode = [&](const char* name) {
    struct stat st {};
    stat((out / name).c_str(), &st);
    return st.st_ino;
  };
  const auto same_inode = inode("same.html");
  const auto mode_inode = inode("mode.html");
  OutputCounters c = Run({{"same.html", "same"}, {"edited.html", "text"}, {"mode.html", "text"}});
  EXPECT_EQ(c.pages_changed, 3);
  EXPECT_TRUE(host.Logged("... same.html has changes."));
  EXPECT_EQ(inode("same.html"), same_inode);  // kept as it was
  EXPECT_EQ(ReadFile(out / "edited.html"), "text");
  EXPECT_NE(inode("mode.html"), mode_inode);  // replaced, with the usual permissions
  EXPECT_EQ(fs::status(out / "mode.html").permissions(), fs::perms(0644));
}

TEST_F(PageOutputTest, FilesWithoutRecordsAreReplacedAndLinksResolved) {
  // A file no record claims is replaced atomically, and a link to a file counts as the
  // file being there.
  WriteFile(out / "stray.html", "stray");
  Run({{"target.html", "target"}});
  fs::create_symlink("target.html", out / "link.html");
  {
    PageWriter w(*blog, host, out);
    w.WriteOutputFile("stray.html", "written over");
    w.Flush();
  }
  EXPECT_EQ(ReadFile(out / "stray.html"), "written over");
  EXPECT_FALSE(blog->FindPage("stray.html"));
  ASSERT_TRUE(blog->MarkAllAsPublished(host));
  fs::create_symlink("nowhere.html", out / "dangling.html");
  {
    // A new record claims the link's content as its local copy: nothing to repair.
    PageWriter w(*blog, host, out);
    w.RecordGenerated("link.html", Crc("target"), nullptr, [] {});
    int writes = 0;
    w.RepairLocal("link.html", Crc("target"), [&] { ++writes; });
    EXPECT_EQ(writes, 0);
    // A dangling link is no file: the record's local copy is repaired.
    w.RecordGenerated("dangling.html", Crc("x"), nullptr, [] {});
    w.RepairLocal("dangling.html", Crc("x"), [&] { ++writes; });
    EXPECT_EQ(writes, 1);
  }
  {
    PageWriter w(*blog, host, out);
    w.ResetGeneratedCrcs();
    int writes = 0;
    w.RecordGenerated("link.html", Crc("target"), nullptr, [&] { ++writes; });
    w.RepairLocal("link.html", Crc("target"), [&] { ++writes; });
    EXPECT_EQ(writes, 1) << "unpublished: written once by the change, not repaired again";
  }
  EXPECT_TRUE(fs::is_symlink(out / "link.html"));
}

class ExtractTest : public PageOutputTest {
 protected:
  PackageLines Package(std::vector<std::string> files) {
    PackageLines lines = NewPackageLines();
    for (auto& f : files) lines.push_back(std::move(f));
    return lines;
  }
  OutputCounters Extract(const PackageLines& lines) {
    host.log.clear();
    PageWriter w(*blog, host, out);
    w.ResetGeneratedCrcs();
    ExtractTemplateFiles(w, lines);
    w.Flush();
    return w.counters();
  }
};

TEST_F(ExtractTest, TemplateFilesFollowThePageRules) {
  const std::string S(1, '\x01');
  PackageLines lines = Package({BuildFileRecord("style.css", "body{}"), "A" + S + "x.gif" + S,
                                BuildFileRecord("logo.gif", "GIF")});
  OutputCounters c = Extract(lines);
  EXPECT_EQ(c.files_changed, 2);
  EXPECT_EQ(host.LogTexts(),
            (std::vector<std::string>{
                "Processing Template Package...", "...Extracting Template File style.css",
                "...style.css is new.", "...Extracting Template File logo.gif",
                "...logo.gif is new.", "Processing Template Package complete..."}));
  EXPECT_EQ(ReadFile(out / "style.css"), "body{}");
  EXPECT_EQ(Record("style.css"), (PageRecord{"style.css", 0, Crc("body{}"), Crc("body{}")}));

  // Published and unchanged: only the extracting lines; a deleted file comes back silently.
  ASSERT_TRUE(blog->MarkAllAsPublished(host));
  fs::remove(out / "logo.gif");
  c = Extract(lines);
  EXPECT_EQ(c.files_changed, 0);
  EXPECT_EQ(host.LogTexts().size(), 4u);
  EXPECT_EQ(ReadFile(out / "logo.gif"), "GIF");

  // Changed in the package after publishing.
  lines[10] = BuildFileRecord("style.css", "body{color:red}");
  c = Extract(lines);
  EXPECT_EQ(c.files_changed, 1);
  EXPECT_TRUE(host.Logged("... style.css has changes."));
  EXPECT_EQ(Record("style.css").existing, Crc("body{}"));
  EXPECT_EQ(Record("style.css").generated, Crc("body{color:red}"));
}

TEST_F(ExtractTest, PicturesAndFilesOfTheBlogOverrideTemplateFiles) {
  WriteFile(dir / "src" / "Logo.GIF", "the blog's own logo");
  ASSERT_TRUE(blog->AddPicture(dir / "src" / "Logo.GIF", host));
  Extract(Package({BuildFileRecord("logo.gif", "GIF")}));
  EXPECT_TRUE(host.Logged("...Note: Template file logo.gif is overriden by Pictures or Files"));
  EXPECT_FALSE(fs::exists(out / "logo.gif"));
  EXPECT_FALSE(blog->FindPage("logo.gif"));
}

TEST_F(ExtractTest, PathNamesAreRefusedAndBadHexShowsTheMessage) {
  const std::string S(1, '\x01');
  OutputCounters c = Extract(Package({"A" + S + "../../evil.sh" + S + "41424344" + S,
                                      "A" + S + "sub/x.css" + S + "41424344" + S,
                                      "A" + S + "bad.gif" + S + "4G4243" + S}));
  EXPECT_FALSE(fs::exists(dir / "evil.sh"));
  EXPECT_FALSE(fs::exists(out / "sub"));
  EXPECT_TRUE(host.Logged(RefusedNameLine("../../evil.sh")));
  EXPECT_TRUE(host.Logged(RefusedNameLine("sub/x.css")));
  EXPECT_EQ(host.informations,
            std::vector<std::string>{"Error extracting bad.gif from template package. Sorry."});
  EXPECT_EQ(c.files_changed, 1);
  // The row is saved all the same, with the CRC of the empty decoding.
  EXPECT_EQ(Record("bad.gif"), (PageRecord{"bad.gif", 0, 0, 0}));
  EXPECT_FALSE(fs::exists(out / "bad.gif"));
}

TEST_F(ExtractTest, BuiltInPackageExtractsItsSixFiles) {
  host.log.clear();
  PageWriter w(*blog, host, out);
  LoadedPackage p = LoadAndExtractTemplatePackage(w, dir.path() / "home", "@default.tem");
  EXPECT_EQ(p.source, LoadedPackage::Source::kBuiltIn);
  EXPECT_EQ(w.counters().files_changed, 6);
  for (const char* name :
       {"clear.gif", "xml.gif", "tag.gif", "leftside.jpg", "default.css", "favicon.ico"}) {
    EXPECT_TRUE(fs::exists(out / name)) << name;
  }
}

}  // namespace
}  // namespace tessavo
