// Publishing a blog's output folder by copying it into a destination folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "publish/publish.h"
#include "site_fixture.h"
#include "store/options.h"
#include "util/file_io.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> FilesIn(const fs::path& dir) {
  std::map<std::string, std::string> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::directory_iterator(dir)) {
    out[e.path().filename().string()] = ReadFile(e.path());
  }
  return out;
}

class FileCopyPublishTest : public ::testing::Test {
 protected:
  void SetDestination(const std::string& dest) {
    site_.blog->SetOptionInt(opt::kPublishingLocation, 1);
    site_.blog->SetOptionText(opt::kFileCopyDestination, dest);
  }
  PublishResult Publish(bool next10 = false) {
    site_.host.log.clear();
    return PublishSite(*site_.blog, site_.host, next10);
  }

  SiteFixture site_;
};

TEST_F(FileCopyPublishTest, MissingFolderIsCreatedValidatedAndFilled) {
  const fs::path dest = site_.temp / "deep/down/www";
  SetDestination("  " + dest.string() + "  ");
  site_.Generate("index.html", "<html>home</html>");
  site_.Generate("b.css", "body{}");
  site_.Generate("pic.jpg", std::string("\0\1\2\3", 4));

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.processed, 3);
  EXPECT_EQ(FilesIn(dest), site_.files);
  EXPECT_EQ(site_.Outstanding(), 0);
  auto texts = site_.host.LogTexts();
  ASSERT_EQ(texts.size(), 10u);
  EXPECT_EQ(texts[0], "Publishing using File Copy - Destination is " + dest.string() + "/");
  EXPECT_EQ(site_.host.log[0].color, LogColor::kBlack);
  EXPECT_EQ(texts[1], "Validating File Copy Destination...");
  ASSERT_EQ(texts[2].rfind("...Publishing temporary file  - ~~~", 0), 0u);
  std::string temp_name = texts[2].substr(texts[2].find("~~~"));
  EXPECT_EQ(temp_name.size(), 3u + 14u + 4u);
  EXPECT_EQ(temp_name.substr(17), ".$$$");
  EXPECT_EQ(texts[3], "...Removing temporary file  - " + temp_name);
  EXPECT_EQ(texts[4], "Validation complete.");
  EXPECT_EQ(texts[5], "File Copy started.");
  EXPECT_EQ(texts[6], "...Copying b.css");
  EXPECT_EQ(texts[9], "File Copy complete.");
  EXPECT_FALSE(fs::exists(dest / temp_name));

  // Nothing outstanding: only the validation and the summary.
  r = Publish();
  EXPECT_EQ(r.processed, 0);
  EXPECT_EQ(site_.CountLog("...Copying"), 0);

  // A change and an orphan.
  site_.Generate("b.css", "body{color:red}");
  site_.Orphan("pic.jpg");
  r = Publish();
  EXPECT_EQ(r.processed, 2);
  EXPECT_TRUE(site_.host.Logged("...Copying b.css"));
  EXPECT_TRUE(site_.host.Logged("...Deleting pic.jpg"));
  EXPECT_EQ(FilesIn(dest), site_.files);
  EXPECT_FALSE(site_.blog->FindPage("pic.jpg").has_value());
}

TEST_F(FileCopyPublishTest, UnusableDestinations) {
  site_.Generate("a.html", "a");
  SetDestination(" x ");
  Publish();
  ASSERT_EQ(site_.host.log.size(), 1u);
  EXPECT_EQ(site_.host.log[0].text,
            "*** Please visit the OPTIONS page for PUBLISHING OPTIONS and enter your FILE COPY "
            "information before trying to upload.");
  EXPECT_EQ(site_.host.log[0].color, LogColor::kRed);

  // Control characters around the value are trimmed like blanks.
  SetDestination(std::string("\x01x\x1f\t"));
  Publish();
  ASSERT_EQ(site_.host.log.size(), 1u);
  EXPECT_EQ(site_.host.log[0].text.rfind("*** Please visit the OPTIONS page", 0), 0u);

  // Below a regular file no folder can be made, not even by root.
  WriteFile(site_.temp / "plain.txt", "x");
  SetDestination((site_.temp / "plain.txt/www").string());
  Publish();
  EXPECT_EQ(site_.host.LogTexts().back(), "*** Unable to create destination directory.");
  EXPECT_EQ(site_.host.log.size(), 2u);

  // A folder that exists but takes no new file, not even from root.
  SetDestination("/proc");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  auto texts = site_.host.LogTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Publishing using File Copy - Destination is /proc/");
  EXPECT_EQ(texts[2].rfind("...Publishing temporary file  - ", 0), 0u);
  EXPECT_EQ(texts[3], "*** Unable to write to destination directory.");
  EXPECT_EQ(site_.host.log[3].color, LogColor::kRed);
  EXPECT_EQ(site_.Outstanding(), 1);
}

TEST_F(FileCopyPublishTest, FailuresAndOrphans) {
  const fs::path dest = site_.temp / "www";
  SetDestination(dest.string() + "/");
  site_.Generate("a.html", "a");
  site_.Generate("b.html", "b");
  site_.Generate("c.html", "c");
  site_.Generate("d.html", "d");
  Publish();
  ASSERT_EQ(site_.Outstanding(), 0);

  // a.html changes but its output file is deleted by hand; b.html is an orphan whose copy
  // is already gone; c.html is an orphan whose copy cannot be removed; d.html is an orphan.
  site_.Generate("a.html", "a2");
  fs::remove(site_.blog->OutputFolder() / "a.html");
  site_.Orphan("b.html");
  fs::remove(dest / "b.html");
  site_.Orphan("c.html");
  fs::remove(dest / "c.html");
  fs::create_directories(dest / "c.html" / "busy");
  site_.Orphan("d.html");
  site_.blog->InsertPage(PageRecord{"../outside.html", 0, 77, 77});

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 3);
  const auto& log = site_.host.log;
  auto line = [&](const std::string& text) {
    for (const auto& l : log) {
      if (l.text == text) return l;
    }
    return RecordingHost::LogLine{LogColor::kGreen, "(missing) " + text};
  };
  EXPECT_EQ(line("...a.html copy failed.").color, LogColor::kRed);
  EXPECT_EQ(line("...c.html not deleted.").color, LogColor::kBlack);
  EXPECT_EQ(log.back().text, "File Copy complete with 3 error(s).");
  EXPECT_EQ(log.back().color, LogColor::kRed);
  EXPECT_NE(site_.blog->FindPage("a.html")->existing, site_.blog->FindPage("a.html")->generated);
  EXPECT_FALSE(site_.blog->FindPage("b.html").has_value());
  EXPECT_TRUE(site_.blog->FindPage("c.html").has_value());
  EXPECT_FALSE(site_.blog->FindPage("d.html").has_value());
  EXPECT_FALSE(fs::exists(dest / "d.html"));
  EXPECT_FALSE(fs::exists(dest.parent_path() / "outside.html"));
  EXPECT_EQ(ReadFile(dest / "a.html"), "a");  // the old copy stays
}

TEST_F(FileCopyPublishTest, PublishNext10) {
  const fs::path dest = site_.temp / "www";
  SetDestination(dest.string());
  for (int i = 0; i < 25; ++i) {
    char name[32];
    snprintf(name, sizeof name, "p%02d.html", i);
    site_.Generate(name, name);
  }
  PublishResult r = Publish(true);
  EXPECT_EQ(r.processed, 10);
  EXPECT_EQ(r.skipped, 15);
  EXPECT_TRUE(site_.host.Logged("15 record(s) skipped."));
  EXPECT_EQ(site_.host.LogTexts().back(), "File Copy complete.");
  EXPECT_EQ(FilesIn(dest).size(), 10u);
  EXPECT_TRUE(fs::exists(dest / "p09.html"));
  Publish(true);
  Publish(true);
  EXPECT_EQ(site_.Outstanding(), 0);
  EXPECT_EQ(FilesIn(dest), site_.files);
}

// One bad record never stops publishing: a name too long for a file or holding a line
// break is refused in red, a name near the limit is copied (its temporary name is cut
// short), an unreadable source fails in red; every other file goes.
TEST_F(FileCopyPublishTest, RecordsThatCannotBeCopiedAreSkippedAndTheRestGoes) {
  const fs::path dest = site_.temp / "www";
  SetDestination(dest.string());
  site_.Generate("a.html", "a");
  const std::string too_long = std::string(300, 'd') + ".css";
  site_.blog->InsertPage(PageRecord{too_long, 0, 77, 77});
  site_.Generate("line\nbreak.html", "a name from an old blog file");
  const std::string near_limit = std::string(250, 'n') + ".gif";
  site_.Generate(near_limit, "a design file with a long name");
  site_.Generate("gone.html", "gone");
  fs::remove(site_.blog->OutputFolder() / "gone.html");
  site_.Generate("z.html", "z");

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 3);
  const auto& log = site_.host.log;
  auto red = [&](const std::string& text) {
    return std::any_of(log.begin(), log.end(),
                       [&](const auto& l) { return l.text == text && l.color == LogColor::kRed; });
  };
  EXPECT_TRUE(red("*** " + too_long + " is too long for a file name; not published."));
  EXPECT_TRUE(red("*** line\\nbreak.html holds a control character; not published."));
  EXPECT_TRUE(red("...gone.html copy failed."));
  EXPECT_EQ(log.back().text, "File Copy complete with 3 error(s).");
  EXPECT_EQ(ReadFile(dest / "a.html"), "a");
  EXPECT_EQ(ReadFile(dest / "z.html"), "z");
  EXPECT_EQ(ReadFile(dest / near_limit), "a design file with a long name");
  EXPECT_FALSE(fs::exists(dest / "line\nbreak.html"));
  EXPECT_EQ(site_.Outstanding(), 3);

  // The next run tries only what is still outstanding, and the refused ones again.
  WriteFile(site_.blog->OutputFolder() / "gone.html", "gone");
  r = Publish();
  EXPECT_EQ(r.errors, 2);
  EXPECT_EQ(r.processed, 1);
  EXPECT_EQ(ReadFile(dest / "gone.html"), "gone");
}

std::vector<std::string> TempNames(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (IsTempFileName(e.path().filename().string())) out.push_back(e.path().filename());
  }
  return out;
}

// A copy killed in the middle leaves its temporary file (private, unlocked) in the
// destination, a run killed during the validation its validation file; the next run clears
// such files away and nothing else.
TEST_F(FileCopyPublishTest, StrayTemporaryFilesInTheDestinationAreRemoved) {
  const fs::path dest = site_.temp / "www";
  SetDestination(dest.string());
  site_.Generate("index.html", "home");
  site_.Generate("data.tmp-ABC123", "a published file with a name of that form");
  Publish();
  ASSERT_EQ(FilesIn(dest), site_.files);

  for (const char* stray : {"index.html.tmp-Ab12Cd", "big.bin.tmp-000000"}) {
    WriteFile(dest / stray, "half cop");
    fs::permissions(dest / stray, fs::perms(0600));
  }
  WriteFile(dest / "notes.tmp-old", "the owner's");
  WriteFile(dest / "x.tmp-ABC", "the owner's");
  // Validation files of runs killed between writing and removing them (one cut short),
  // and files that only look alike.
  const std::string full = (dest / "~~~20240131235959.$$$").string();
  WriteFile(dest / "~~~20240131235959.$$$", full);
  const std::string half = (dest / "~~~20240201000000.$$$").string();
  WriteFile(dest / "~~~20240201000000.$$$", half.substr(0, 10));
  WriteFile(dest / "~~~20240202000000.$$$", "something else");
  WriteFile(dest / "~~~2024.$$$", (dest / "~~~2024.$$$").string());
  site_.Generate("index.html", "home, edited");
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 0);
  std::map<std::string, std::string> expected = site_.files;
  expected["notes.tmp-old"] = "the owner's";
  expected["x.tmp-ABC"] = "the owner's";
  expected["~~~20240202000000.$$$"] = "something else";
  expected["~~~2024.$$$"] = (dest / "~~~2024.$$$").string();
  EXPECT_EQ(FilesIn(dest), expected);
  // The log is the usual one: the clean-up says nothing.
  auto texts = site_.host.LogTexts();
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(texts[5], "File Copy started.");
  EXPECT_EQ(texts[6], "...Copying index.html");
  EXPECT_EQ(texts[7], "File Copy complete.");
}

// A publishing process killed with SIGKILL in the middle of copying a large file; the next
// run leaves the destination holding exactly the site.
TEST_F(FileCopyPublishTest, KilledInTheMiddleOfACopyThenRunAgain) {
  const fs::path dest = site_.temp / "www";
  SetDestination(dest.string());
  std::string big(24 << 20, '\0');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i / 4096);
  site_.Generate("a.html", "a");
  site_.Generate("big.bin", big);
  const fs::path file = site_.blog->file();
  site_.blog.reset();  // the child opens the blog itself

  std::string stray;
  for (int attempt = 0; attempt < 20 && stray.empty(); ++attempt) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        RecordingHost host;
        auto blog = Blog::Open(file, host);
        blog->SetOptionInt(opt::kPublishingLocation, 1);
        blog->SetOptionText(opt::kFileCopyDestination, dest.string());
        for (;;) {
          auto rec = blog->FindPage("big.bin");
          rec->existing = 0;
          blog->UpdatePage(*rec);
          RecordingHost quiet;
          PublishSite(*blog, quiet, false);
        }
      } catch (...) {
      }
      _exit(1);
    }
    // Stop the child; kill it if it is in the middle of a copy, else let it go on.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (stray.empty() && std::chrono::steady_clock::now() < end) {
      usleep(2000);
      kill(child, SIGSTOP);
      waitid(P_PID, static_cast<id_t>(child), nullptr, WSTOPPED);
      if (fs::exists(dest)) {
        auto names = TempNames(dest);
        if (!names.empty()) stray = names.front();
      }
      if (stray.empty()) kill(child, SIGCONT);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  ASSERT_FALSE(stray.empty()) << "the child was never caught in the middle of a copy";
  ASSERT_TRUE(fs::exists(dest / stray));  // as the kill left it

  site_.blog = Blog::Open(file, site_.host);
  SetDestination(dest.string());
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(site_.Outstanding(), 0);
  std::map<std::string, std::string> there = FilesIn(dest);
  EXPECT_EQ(there.size(), site_.files.size());
  for (const auto& [name, bytes] : site_.files) {
    EXPECT_TRUE(there.count(name) && there[name] == bytes) << name;
  }
  EXPECT_TRUE(TempNames(dest).empty());
}

// A host whose log lets events run: a second press of the button while a run is in
// progress must not start a second run.
class ReentrantHost : public RecordingHost {
 public:
  Blog* blog = nullptr;
  int nested_runs = 0;
  PublishResult nested;
  void PublishLogLine(const std::string& text) override {
    RecordingHost::PublishLogLine(text);
    if (blog != nullptr && nested_runs == 0 && text.rfind("...Copying", 0) == 0) {
      ++nested_runs;
      nested = PublishSite(*blog, *this, false);
    }
  }
};

TEST_F(FileCopyPublishTest, SecondRunCannotStartWhileOneIsInProgress) {
  SetDestination((site_.temp / "www").string());
  site_.Generate("a.html", "a");
  site_.Generate("b.html", "b");
  ReentrantHost host;
  host.blog = site_.blog.get();
  PublishResult r = PublishSite(*site_.blog, host, false);
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.processed, 2);
  EXPECT_EQ(host.nested_runs, 1);
  EXPECT_FALSE(host.nested.completed);
  EXPECT_EQ(host.CountLogContaining("Publishing using File Copy"), 1);
  EXPECT_EQ(host.CountLogContaining("...Copying"), 2);
  // Once the run is over, the next one starts normally.
  site_.Generate("a.html", "a2");
  EXPECT_TRUE(PublishSite(*site_.blog, site_.host, false).completed);
}

}  // namespace
}  // namespace tessavo::testing
