// Publishing a blog's output folder to real FTP servers (vsftpd and pyftpdlib) on
// 127.0.0.1, in passive and active mode, and the log of every run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "fake_ftp_peer.h"
#include "ftp_servers.h"
#include "publish/publish.h"
#include "site_fixture.h"
#include "skip_or_fail.h"
#include "store/options.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

std::string HostName() {
  char name[256] = {0};
  gethostname(name, sizeof name - 1);
  return name;
}

std::string Binary(int n, int seed) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>((i * 31 + seed) % 256);
  return s;
}

class FtpPublishTest : public ::testing::Test {
 protected:
  void UseServer(int port, const std::string& target, bool passive) {
    Blog& blog = *site_.blog;
    blog.SetOptionText(opt::kFtpSite, "127.0.0.1");
    blog.SetOptionText(opt::kFtpPort, std::to_string(port));
    blog.SetOptionText(opt::kFtpTargetDirectory, target);
    blog.SetOptionInt(opt::kFtpPassive, passive ? 1 : 0);
    blog.SetOptionInt(opt::kPublishingLocation, 0);
  }
  bool StartPy(const std::vector<std::string>& options = {}) {
    fs::create_directories(py_root_);
    if (!StartPyFtp(server_, py_root_, options)) return false;
    UseServer(server_.port(), "site", true);
    return true;
  }
  PublishResult Publish(bool next10 = false) {
    site_.host.log.clear();
    return PublishSite(*site_.blog, site_.host, next10);
  }

  SiteFixture site_;
  ServerProcess server_;
  fs::path py_root_ = site_.temp / "pyroot";
};

struct Mode {
  bool vsftpd;
  bool passive;
};

class FtpPublishCycleTest : public FtpPublishTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(FtpPublishCycleTest, FullPublishNothingToSendOneChangeAndAnOrphan) {
  const Mode mode = GetParam();
  fs::path remote;
  std::string target;
  if (mode.vsftpd) {
    if (geteuid() != 0) SKIP_OR_FAIL("vsftpd starts only as root: run the tests as root");
    ASSERT_TRUE(StartVsftpd(server_, site_.temp / "vsftpd"));
    remote = site_.temp / "vsftpd/root/pub/site";
    target = "/pub/site";
  } else {
    fs::create_directories(py_root_);
    ASSERT_TRUE(StartPyFtp(server_, py_root_));
    remote = py_root_ / "site";
    target = "site";
  }
  UseServer(server_.port(), target, mode.passive);
  site_.Generate("index.html", "<html>home</html>\n");
  site_.Generate("archive.html", "<html>archive\r\nlines</html>");
  site_.Generate("rss.xml", "<rss version=\"2.0\"></rss>");
  site_.Generate("photo.jpg", Binary(150000, 3));
  site_.Generate("gone.html", "soon gone");

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.processed, 5);
  EXPECT_EQ(Describe(RemoteFiles(remote)), Describe(site_.files));
  EXPECT_EQ(site_.Outstanding(), 0);
  const std::string port = std::to_string(server_.port());
  std::vector<std::string> head = {
      "Publishing using FTP",
      "Logging on to 127.0.0.1 port " + port + " as user ",
      "Initial directory is /",
      "Changing to Directory " + target,
      "Directory " + target + " does not exist.",
      "Created Directory " + target,
      "Changing to Directory " + target,
      "Current directory is now /" + std::string(mode.vsftpd ? "pub/site" : "site"),
      "...Uploading archive.html"};
  auto texts = site_.host.LogTexts();
  ASSERT_GE(texts.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + head.size()), head);
  EXPECT_EQ(texts[texts.size() - 2], "Logging out.");
  EXPECT_EQ(texts.back(), "Upload complete.");
  EXPECT_EQ(site_.host.log.front().color, LogColor::kBlack);

  // Nothing changed: nothing is sent.
  r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.processed, 0);
  EXPECT_EQ(site_.CountLog("...Uploading"), 0);
  EXPECT_TRUE(site_.host.Logged("Changing to Directory " + target));
  EXPECT_FALSE(site_.host.Logged("Directory " + target + " does not exist."));

  // One page changes, one is no longer generated.
  site_.Generate("archive.html", "<html>archive, edited</html>");
  site_.Orphan("gone.html");
  r = Publish();
  EXPECT_EQ(r.processed, 2);
  EXPECT_EQ(site_.CountLog("...Uploading"), 1);
  EXPECT_TRUE(site_.host.Logged("...Uploading archive.html"));
  EXPECT_TRUE(site_.host.Logged("...Deleting gone.html"));
  EXPECT_EQ(Describe(RemoteFiles(remote)), Describe(site_.files));
  EXPECT_FALSE(site_.blog->FindPage("gone.html").has_value());
  EXPECT_EQ(site_.Outstanding(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpPublishCycleTest,
                         ::testing::Values(Mode{true, true}, Mode{true, false}, Mode{false, true},
                                           Mode{false, false}),
                         [](const ::testing::TestParamInfo<Mode>& test) {
                           return std::string(test.param.vsftpd ? "vsftpd" : "pyftpdlib") +
                                  (test.param.passive ? "Passive" : "Active");
                         });

TEST_F(FtpPublishTest, PublishNext10SendsTenAndCountsTheRestAsSkipped) {
  ASSERT_TRUE(StartPy());
  for (int i = 0; i < 25; ++i) {
    char name[32];
    snprintf(name, sizeof name, "page%02d.html", i);
    site_.Generate(name, "page " + std::to_string(i));
  }
  PublishResult r = Publish(true);
  EXPECT_EQ(r.processed, 10);
  EXPECT_EQ(r.skipped, 15);
  EXPECT_TRUE(site_.host.Logged("15 record(s) skipped."));
  EXPECT_TRUE(site_.host.Logged("...Uploading page09.html"));
  EXPECT_FALSE(site_.host.Logged("...Uploading page10.html"));
  EXPECT_EQ(site_.host.LogTexts().back(), "Upload complete.");
  EXPECT_EQ(site_.Outstanding(), 15);
  r = Publish(true);
  EXPECT_TRUE(site_.host.Logged("...Uploading page10.html"));
  EXPECT_TRUE(site_.host.Logged("5 record(s) skipped."));
  r = Publish(true);
  EXPECT_EQ(r.processed, 5);
  EXPECT_EQ(site_.CountLog("record(s) skipped."), 0);
  EXPECT_EQ(site_.Outstanding(), 0);
  EXPECT_EQ(Describe(RemoteFiles(py_root_ / "site")), Describe(site_.files));
}

TEST_F(FtpPublishTest, RefusedUploadIsReportedAndRetriedNextRun) {
  ASSERT_TRUE(StartPy({"--fail-stor", "b.html"}));
  site_.Generate("a.html", "a");
  site_.Generate("b.html", "b");
  site_.Generate("c.html", "c");
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 1);
  auto& log = site_.host.log;
  auto it = std::find_if(log.begin(), log.end(),
                         [](const auto& l) { return l.text == "...b.html upload failed."; });
  ASSERT_NE(it, log.end());
  EXPECT_EQ(it->color, LogColor::kBlack);
  EXPECT_EQ((it + 1)->text, "  FTP  = 550 Permission denied.");
  EXPECT_EQ((it + 1)->color, LogColor::kRed);
  EXPECT_EQ((it + 2)->text.rfind("  FTP Data IP/Port     = 127.0.0.1 / ", 0), 0u);
  EXPECT_EQ((it + 2)->color, LogColor::kRed);
  EXPECT_EQ(log.back().text, "Upload complete with 1 error(s).");
  EXPECT_EQ(log.back().color, LogColor::kRed);
  EXPECT_EQ(site_.blog->FindPage("b.html")->existing, 0);
  EXPECT_EQ(site_.Outstanding(), 1);

  Publish();
  EXPECT_EQ(site_.CountLog("...Uploading"), 1);
  EXPECT_TRUE(site_.host.Logged("...Uploading b.html"));
}

TEST_F(FtpPublishTest, EveryUploadFailingLeavesEveryRecordAsItWas) {
  ASSERT_TRUE(StartPy({"--fail-stor", "a.html", "--fail-stor", "b.html"}));
  site_.Generate("a.html", "a");
  site_.Generate("b.html", "b");
  const auto before = site_.blog->Pages();
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 2);
  EXPECT_EQ(r.processed, 2);
  EXPECT_EQ(site_.host.log.back().text, "Upload complete with 2 error(s).");
  EXPECT_EQ(site_.host.log.back().color, LogColor::kRed);
  EXPECT_EQ(site_.blog->Pages(), before);
}

TEST_F(FtpPublishTest, InterruptedRunThenRepeatSendsExactlyWhatIsOutstanding) {
  ASSERT_TRUE(StartPy({"--drop-stor", "c.html"}));
  for (const char* k : {"a.html", "b.html", "c.html", "d.html", "e.html"}) {
    site_.Generate(k, std::string("content of ") + k);
  }
  PublishResult r = Publish();
  EXPECT_GE(r.errors, 1);
  EXPECT_EQ(site_.blog->FindPage("a.html")->existing, site_.blog->FindPage("a.html")->generated);
  EXPECT_EQ(site_.blog->FindPage("b.html")->existing, site_.blog->FindPage("b.html")->generated);
  EXPECT_EQ(site_.blog->FindPage("c.html")->existing, 0);
  const int outstanding = site_.Outstanding();
  EXPECT_EQ(outstanding, 5 - 2);

  ServerProcess healthy;
  ASSERT_TRUE(StartPyFtp(healthy, py_root_));
  UseServer(healthy.port(), "site", true);
  r = Publish();
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(site_.CountLog("...Uploading"), outstanding);
  EXPECT_FALSE(site_.host.Logged("...Uploading a.html"));
  EXPECT_EQ(Describe(RemoteFiles(py_root_ / "site")), Describe(site_.files));
}

TEST_F(FtpPublishTest, OrphanDeletionRules) {
  ASSERT_TRUE(StartPy());
  site_.Generate("kept.html", "kept");
  site_.Generate("never.html", "never published");
  site_.Generate("vanished.html", "published, then removed by hand");
  // never.html is not published; the other two are.
  Publish();
  auto never = site_.blog->FindPage("never.html");
  never->existing = 0;
  site_.blog->UpdatePage(*never);
  fs::remove(py_root_ / "site/never.html");
  fs::remove(py_root_ / "site/vanished.html");
  site_.Orphan("never.html");
  site_.Orphan("vanished.html");

  PublishResult r = Publish();
  EXPECT_EQ(r.errors, 1);
  EXPECT_FALSE(site_.blog->FindPage("never.html").has_value());  // removed although DELE failed
  EXPECT_TRUE(site_.blog->FindPage("vanished.html").has_value());
  EXPECT_TRUE(site_.host.Logged("...vanished.html not deleted."));
  EXPECT_FALSE(site_.host.Logged("...never.html not deleted."));
  EXPECT_EQ(site_.host.LogTexts().back(), "Upload complete with 1 error(s).");
  Publish();
  EXPECT_TRUE(site_.host.Logged("...Deleting vanished.html"));
}

TEST_F(FtpPublishTest, ConversationIsShownInBlueIncludingThePassword) {
  ASSERT_TRUE(StartPy());
  site_.blog->SetOptionInt(opt::kShowFtpConversation, 1);
  site_.Generate("a.html", "a");
  Publish();
  const auto& log = site_.host.log;
  auto find = [&](const std::string& text) {
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i].text == text) return static_cast<int>(i);
    }
    return -1;
  };
  int logon = find("Logging on to 127.0.0.1 port " + std::to_string(server_.port()) + " as user ");
  int user = find("  FTP = USER anonymous");
  int pass = find("  FTP = PASS anonymous@" + HostName());
  int upload = find("...Uploading a.html");
  int stor = find("  FTP = STOR a.html");
  int quit = find("  FTP = QUIT");
  ASSERT_GE(logon, 0);
  EXPECT_LT(logon, user);
  EXPECT_LT(user, pass);
  EXPECT_LT(pass, upload);
  EXPECT_LT(upload, stor);
  EXPECT_LT(stor, quit);
  EXPECT_EQ(log[pass].color, LogColor::kBlue);
  EXPECT_GE(find("  FTP = 220 pyftpdlib test server ready."), 0);
  for (const auto& l : log) {
    if (l.text.rfind("  FTP = ", 0) == 0) {
      EXPECT_EQ(l.color, LogColor::kBlue) << l.text;
    }
  }
  std::vector<std::string> sequence;
  for (const auto& l : log) {
    if (l.text.rfind("  FTP = ", 0) != 0) continue;
    std::string word = l.text.substr(8, l.text.find(' ', 8) - 8);
    if (word == "EPSV" || word == "TYPE" || word == "ALLO" || word == "REST" || word == "STOR") {
      sequence.push_back(word);
    }
  }
  ASSERT_GE(sequence.size(), 5u);
  // One upload: EPSV, TYPE, ALLO, REST, STOR after the logon's TYPE and REST probe.
  std::vector<std::string> tail(sequence.end() - 5, sequence.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"EPSV", "TYPE", "ALLO", "REST", "STOR"}));
}

TEST_F(FtpPublishTest, MissingSiteAndEmptyPort) {
  site_.blog->SetOptionText(opt::kFtpSite, "ab");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  ASSERT_EQ(site_.host.log.size(), 2u);
  EXPECT_EQ(site_.host.log[0].text,
            "*** Warning: Can not upload files yet - FTP information required.");
  EXPECT_EQ(site_.host.log[1].text,
            "*** Please visit the OPTIONS page for PUBLISHING OPTIONS and enter your FTP "
            "information before trying to upload.");
  EXPECT_EQ(site_.host.log[1].color, LogColor::kRed);

  // Three characters are enough to start a run; the user name may be empty.
  site_.blog->SetOptionText(opt::kFtpSite, "::1");
  site_.blog->SetOptionText(opt::kFtpPort, std::to_string(FreePort()));
  r = Publish();
  EXPECT_FALSE(r.completed);
  ASSERT_GE(site_.host.log.size(), 3u);
  EXPECT_EQ(site_.host.log[0].text, "Publishing using FTP");
  EXPECT_EQ(site_.host.log[0].color, LogColor::kBlack);
  EXPECT_EQ(site_.host.log[1].text,
            "Logging on to ::1 port " + site_.blog->options().Text(opt::kFtpPort) + " as user ");
  EXPECT_EQ(site_.host.log[2].text, "Logon failed");

  // A port nothing listens on shows the failure; an empty port becomes 21.
  UseServer(FreePort(), "", true);
  site_.blog->SetOptionText(opt::kFtpUserid, "joe");
  r = Publish();
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(site_.host.Logged("Logon failed"));
  EXPECT_EQ(site_.host.log.back().text, "  FTP Data IP/Port     =  / ");
  site_.blog->SetOptionText(opt::kFtpPort, "");
  site_.blog->SetOptionText(opt::kFtpSite, "127.0.0.2");
  Publish();
  EXPECT_EQ(site_.host.log[1].text, "Logging on to 127.0.0.2 port 21 as user joe");
  EXPECT_EQ(site_.blog->options().Text(opt::kFtpPort), "21");
}

TEST_F(FtpPublishTest, RefusedLogonReportsTheReplyAndTouchesNothing) {
  ASSERT_TRUE(StartPy({"--reject-pass"}));
  site_.blog->SetOptionText(opt::kFtpUserid, "joe");
  site_.blog->SetOptionText(opt::kFtpPassword, "wrong");
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  auto texts = site_.host.LogTexts();
  std::vector<std::string> want = {
      "Publishing using FTP",
      "Logging on to 127.0.0.1 port " + std::to_string(server_.port()) + " as user joe",
      "Logon failed", "  FTP  = 530 Login incorrect.", "  FTP Data IP/Port     =  / "};
  EXPECT_EQ(texts, want);
  EXPECT_EQ(site_.host.log[2].color, LogColor::kRed);
  EXPECT_EQ(site_.Outstanding(), 1);
}

TEST_F(FtpPublishTest, TargetThatCannotBeCreatedGivesUp) {
  ASSERT_TRUE(StartPy());
  site_.blog->SetOptionText(opt::kFtpTargetDirectory, "no/such/parents");
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  auto texts = site_.host.LogTexts();
  auto at = std::find(texts.begin(), texts.end(), "Error creating Directory no/such/parents");
  ASSERT_NE(at, texts.end());
  EXPECT_EQ(*(at + 1), "Giving up!");
  EXPECT_EQ((at + 2)->rfind("  FTP  = 550", 0), 0u);
  EXPECT_EQ(texts.back().rfind("  FTP Data IP/Port     = ", 0), 0u);
  EXPECT_EQ(site_.Outstanding(), 1);
}

TEST_F(FtpPublishTest, DirectoryMismatchAsksAndCancelStops) {
  ASSERT_TRUE(StartPy());
  fs::create_directories(py_root_ / "site");
  site_.blog->SetOptionText(opt::kFtpTargetDirectory, "site/../site");
  site_.Generate("a.html", "a");
  site_.host.answers = {false};
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  ASSERT_EQ(site_.host.questions.size(), 1u);
  EXPECT_EQ(site_.host.questions[0].kind, "okcancel");
  EXPECT_EQ(site_.host.questions[0].text,
            "Current directory is now /site\n\nand not site/../site\n\nso target directory "
            "may be wrong...\n\nProceed with upload?");
  EXPECT_EQ(site_.host.LogTexts().back(), "Current directory is now /site");
  EXPECT_EQ(site_.Outstanding(), 1);

  site_.host.answers = {true};
  r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(ReadFile(py_root_ / "site/a.html"), "a");
}

TEST_F(FtpPublishTest, KeysThatAreNotPlainNamesAreNeverSent) {
  ASSERT_TRUE(StartPy());
  site_.Generate("ok.html", "ok");
  site_.blog->InsertPage(PageRecord{"../escape.html", 0, 1234, 1234});
  WriteFile(site_.blog->OutputFolder().parent_path() / "escape.html", "outside");
  PublishResult r = Publish();
  EXPECT_EQ(r.errors, 1);
  EXPECT_FALSE(fs::exists(py_root_ / "escape.html"));
  EXPECT_TRUE(fs::exists(py_root_ / "site/ok.html"));
  EXPECT_EQ(site_.CountLog("...Uploading"), 1);
  bool red = false;
  for (const auto& l : site_.host.log) {
    red |= l.color == LogColor::kRed && l.text.find("../escape.html") != std::string::npos;
  }
  EXPECT_TRUE(red);
}

// Names with line breaks (possible in an old blog file) would carry a second command to
// the server inside STOR or DELE. Such records are refused with a red line and left
// unpublished; the rest of the run goes on. Against both real servers.
class FtpInjectionPublishTest : public FtpPublishTest,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(FtpInjectionPublishTest, PageNamedWithALineBreakDeletesNothing) {
  const bool vsftpd = GetParam();
  fs::path remote;
  std::string target;
  if (vsftpd) {
    if (geteuid() != 0) SKIP_OR_FAIL("vsftpd starts only as root: run the tests as root");
    ASSERT_TRUE(StartVsftpd(server_, site_.temp / "vsftpd"));
    remote = site_.temp / "vsftpd/root/pub/site";
    target = "/pub/site";
  } else {
    fs::create_directories(py_root_);
    ASSERT_TRUE(StartPyFtp(server_, py_root_));
    remote = py_root_ / "site";
    target = "site";
  }
  UseServer(server_.port(), target, true);
  WriteFile(remote / "victim.txt", "precious");
  chmod(remote.c_str(), 0777);
  chmod((remote / "victim.txt").c_str(), 0666);

  site_.Generate("a.html", "a");
  const std::string evil = "x\r\nDELE victim.txt";
  site_.Generate(evil, "evil");  // the local file exists: Linux takes such a name
  site_.Generate("b.html", "b");
  // An orphan of that kind that was published once, and one that never was.
  site_.blog->InsertPage(PageRecord{"y\r\nDELE victim.txt", 55, 0, 55});
  site_.blog->InsertPage(PageRecord{"z\nDELE victim.txt", 0, 0, 66});

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 2);
  EXPECT_EQ(r.processed, 2);
  EXPECT_EQ(ReadFile(remote / "victim.txt"), "precious");
  EXPECT_EQ(ReadFile(remote / "a.html"), "a");
  EXPECT_EQ(ReadFile(remote / "b.html"), "b");
  const auto& log = site_.host.log;
  auto red = [&](const std::string& text) {
    return std::any_of(log.begin(), log.end(),
                       [&](const auto& l) { return l.text == text && l.color == LogColor::kRed; });
  };
  EXPECT_TRUE(red("*** x\\r\\nDELE victim.txt holds a control character; not published."));
  EXPECT_TRUE(red("*** y\\r\\nDELE victim.txt holds a control character; not published."));
  EXPECT_EQ(site_.CountLog("...Uploading"), 2);
  EXPECT_EQ(site_.CountLog("...Deleting"), 0);
  for (const auto& l : log) EXPECT_EQ(l.text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(log.back().text, "Upload complete with 2 error(s).");
  EXPECT_EQ(log.back().color, LogColor::kRed);
  // The refused records stay as they were; the never-published orphan lost its row.
  EXPECT_EQ(site_.blog->FindPage(evil)->existing, 0);
  EXPECT_EQ(site_.blog->FindPage("y\r\nDELE victim.txt")->existing, 55);
  EXPECT_FALSE(site_.blog->FindPage("z\nDELE victim.txt").has_value());

  // The next run reports them again and sends nothing else.
  r = Publish();
  EXPECT_EQ(r.errors, 2);
  EXPECT_EQ(r.processed, 0);
  EXPECT_EQ(ReadFile(remote / "victim.txt"), "precious");
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpInjectionPublishTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& test) {
                           return std::string(test.param ? "vsftpd" : "pyftpdlib");
                         });

// A target directory with a line break reaches the client itself, which refuses to send
// it: the run gives up as for a directory that cannot be made, with the reason in red.
TEST_F(FtpPublishTest, TargetDirectoryWithALineBreakIsNotSent) {
  ASSERT_TRUE(StartPy());
  WriteFile(py_root_ / "victim.txt", "precious");
  site_.blog->SetOptionText(opt::kFtpTargetDirectory, "site\r\nDELE victim.txt");
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  auto texts = site_.host.LogTexts();
  auto at = std::find(texts.begin(), texts.end(), "Giving up!");
  ASSERT_NE(at, texts.end());
  EXPECT_EQ(*(at + 1), "  FTP  = MKD not sent: its argument holds a CR, LF or NUL character.");
  EXPECT_EQ(ReadFile(py_root_ / "victim.txt"), "precious");
  EXPECT_EQ(site_.Outstanding(), 1);
}

// One bad record never stops publishing: a name too long for a file, a local file that is
// gone or is a folder. Each is named in red; every other file goes, and the run reports
// the errors in its summary.
TEST_F(FtpPublishTest, RecordsThatCannotBeSentAreSkippedAndTheRestGoes) {
  ASSERT_TRUE(StartPy());
  site_.Generate("a.html", "a");
  const std::string too_long = std::string(300, 'd') + ".css";
  site_.blog->InsertPage(PageRecord{too_long, 0, 77, 77});
  site_.Generate("gone.html", "gone");
  fs::remove(site_.blog->OutputFolder() / "gone.html");
  site_.Generate("folder.gif", "x");
  fs::remove(site_.blog->OutputFolder() / "folder.gif");
  fs::create_directories(site_.blog->OutputFolder() / "folder.gif");
  const std::string near_limit = std::string(250, 'n');
  site_.Generate(near_limit, "a name near the limit is fine");
  site_.Generate("z.html", "z");

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 3);
  EXPECT_EQ(ReadFile(py_root_ / "site/a.html"), "a");
  EXPECT_EQ(ReadFile(py_root_ / "site/z.html"), "z");
  EXPECT_EQ(ReadFile(py_root_ / "site" / near_limit), "a name near the limit is fine");
  const auto& log = site_.host.log;
  auto line = [&](const std::string& text) {
    for (const auto& l : log) {
      if (l.text == text) return l;
    }
    return RecordingHost::LogLine{LogColor::kGreen, "(missing) " + text};
  };
  EXPECT_EQ(line("*** " + too_long + " is too long for a file name; not published.").color,
            LogColor::kRed);
  const fs::path out = site_.blog->OutputFolder();
  EXPECT_EQ(
      line("  FTP  = Cannot read " + (out / "gone.html").string() + ": No such file or directory")
          .color,
      LogColor::kRed);
  EXPECT_EQ(
      line("  FTP  = Cannot read " + (out / "folder.gif").string() + ": not a regular file").color,
      LogColor::kRed);
  EXPECT_TRUE(site_.host.Logged("...gone.html upload failed."));
  EXPECT_EQ(log.back().text, "Upload complete with 3 error(s).");
  EXPECT_EQ(site_.Outstanding(), 3);

  // Once the files are back, the next run sends them; the long name stays refused.
  WriteFile(out / "gone.html", "gone");
  fs::remove(out / "folder.gif");
  WriteFile(out / "folder.gif", "x");
  r = Publish();
  EXPECT_EQ(r.errors, 1);
  EXPECT_EQ(r.processed, 2);
  EXPECT_EQ(ReadFile(py_root_ / "site/gone.html"), "gone");
}

// A server whose reply to one STOR never ends: the connection is dropped, the rest of the
// run fails quickly instead of hanging, and nothing is marked published that was not sent.
TEST_F(FtpPublishTest, EndlessReplyDuringTheRunEndsItWithErrors) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220 Ready.\r\n");
    if (!AnswerUntil(conn, [](const std::string& c) { return c.rfind("EPSV", 0) == 0; })) {
      return;
    }
    conn.SendString("229-Extended Passive Mode, and then some\r\n");
    SendForEver(conn, "229-more\r\n");
  });
  UseServer(std::stoi(peer.port()), "", true);
  site_.Generate("a.html", "a");
  site_.Generate("b.html", "b");
  auto start = std::chrono::steady_clock::now();
  PublishResult r = Publish();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 2);
  EXPECT_TRUE(site_.host.Logged(
      "  FTP  = Reply longer than 10000 lines or 1048576 bytes: connection closed."));
  EXPECT_EQ(site_.host.LogTexts().back(), "Upload complete with 2 error(s).");
  EXPECT_EQ(site_.Outstanding(), 2);
}

// After MKD the client sends CDUP and CWD target without checking either; a relative target
// made below a non-root initial directory is then not entered, and the directory check asks.
TEST_F(FtpPublishTest, RelativeTargetCreatedBelowTheInitialDirectoryIsCaughtByTheCheck) {
  std::string cwd = "/home/user";
  bool made = false;
  FakeFtpPeer peer("220 Ready.\r\n", [&](const std::string& c) -> std::string {
    if (c == "PWD") return "257 \"" + cwd + "\" is current.\r\n";
    if (c == "CDUP") {
      cwd = cwd.substr(0, cwd.rfind('/'));
      if (cwd.empty()) cwd = "/";
      return "250 Ok.\r\n";
    }
    if (c == "MKD blog") {
      made = true;
      return "257 \"/home/user/blog\" created.\r\n";
    }
    if (c.rfind("CWD ", 0) == 0) {
      std::string to = c.substr(4);
      if (to == "blog" && made && cwd == "/home/user") {
        cwd = "/home/user/blog";
        return "250 Ok.\r\n";
      }
      return "550 No such directory.\r\n";
    }
    return DefaultAnswer(c);
  });
  UseServer(std::stoi(peer.port()), "blog", true);
  site_.host.answers = {false};
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  ASSERT_EQ(site_.host.questions.size(), 1u);
  EXPECT_EQ(site_.host.questions[0].text,
            "Current directory is now /home\n\nand not blog\n\nso target directory may be "
            "wrong...\n\nProceed with upload?");
  EXPECT_TRUE(site_.host.Logged("Created Directory blog"));
  EXPECT_TRUE(site_.host.Logged("Current directory is now /home"));
  auto cmds = peer.commands();
  auto mkd = std::find(cmds.begin(), cmds.end(), "MKD blog");
  ASSERT_NE(mkd, cmds.end());
  ASSERT_GE(cmds.end() - mkd, 6);
  EXPECT_EQ(*(mkd + 1), "CDUP");
  EXPECT_EQ(*(mkd + 2), "CWD blog");
  EXPECT_EQ(*(mkd + 3), "PWD");
  EXPECT_EQ(*(mkd + 4), "PWD");
  EXPECT_EQ(*(mkd + 5), "PWD");
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "CWD blog"), 2);
}

// Directory names that differ only in letter case are one name in any script.
TEST_F(FtpPublishTest, DirectoryCheckIgnoresLetterCaseBeyondAscii) {
  const std::string target = "\xC3\x84rger";  // Ärger
  std::string cwd = "/home/user";
  FakeFtpPeer peer("220 Ready.\r\n", [&](const std::string& c) -> std::string {
    if (c == "PWD") return "257 \"" + cwd + "\" is current.\r\n";
    if (c == "CWD " + target) {
      cwd = "/home/user/\xC3\xA4RGER";
      return "250 Ok.\r\n";
    }
    return DefaultAnswer(c);
  });
  UseServer(std::stoi(peer.port()), target, true);
  site_.host.answers = {false};
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_TRUE(site_.host.questions.empty()) << site_.host.questions[0].text;
}

// The target is sent and logged exactly as entered; the check compares the trimmed target
// with the server's directory without regard to letter case, and asks only on a mismatch,
// naming the trimmed target.
TEST_F(FtpPublishTest, DirectoryCheckOrderAndComparison) {
  auto run = [&](const std::string& target, const std::string& lands_in,
                 std::vector<std::string>& commands) {
    std::string cwd = "/home/user";
    FakeFtpPeer peer("220 Ready.\r\n", [&](const std::string& c) -> std::string {
      if (c == "PWD") return "257 \"" + cwd + "\" is current.\r\n";
      if (c == "CWD " + target) {
        cwd = lands_in;
        return "250 Ok.\r\n";
      }
      return DefaultAnswer(c);
    });
    UseServer(std::stoi(peer.port()), target, true);
    PublishResult r = Publish();
    commands = peer.commands();
    return r;
  };

  std::vector<std::string> cmds;
  PublishResult r = run(" Blog ", "/home/user/blog", cmds);
  EXPECT_TRUE(r.completed);
  EXPECT_TRUE(site_.host.questions.empty());
  const std::string port = site_.blog->options().Text(opt::kFtpPort);
  EXPECT_EQ(site_.host.LogTexts(),
            (std::vector<std::string>{
                "Publishing using FTP", "Logging on to 127.0.0.1 port " + port + " as user ",
                "Initial directory is /home/user", "Changing to Directory  Blog ",
                "Current directory is now /home/user/blog", "Logging out.", "Upload complete."}));
  std::vector<std::string> after_logon(std::find(cmds.begin(), cmds.end(), "MODE S"), cmds.end());
  EXPECT_EQ(after_logon, (std::vector<std::string>{"MODE S", "REST 0", "REST 1", "REST 0", "PWD",
                                                   "PWD", "CWD  Blog ", "PWD", "PWD", "QUIT"}));

  // A mismatch asks once more for the directory before the question; OK goes on.
  site_.host.answers = {true};
  r = run(" other ", "/home/user", cmds);
  EXPECT_TRUE(r.completed);
  ASSERT_EQ(site_.host.questions.size(), 1u);
  EXPECT_EQ(site_.host.questions[0].text,
            "Current directory is now /home/user\n\nand not other\n\nso target directory "
            "may be wrong...\n\nProceed with upload?");
  after_logon.assign(std::find(cmds.begin(), cmds.end(), "REST 1") + 2, cmds.end());
  EXPECT_EQ(after_logon,
            (std::vector<std::string>{"PWD", "PWD", "CWD  other ", "PWD", "PWD", "PWD", "QUIT"}));
  EXPECT_EQ(site_.host.LogTexts().back(), "Upload complete.");
}

}  // namespace
}  // namespace tessavo::testing
