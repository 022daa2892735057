// Publishing by SFTP to OpenSSH's sshd started by the test on 127.0.0.1: password and key
// logons, the target directory created, files renamed into place, orphans deleted, the
// host key asked about once and a changed one refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "ftp_servers.h"
#include "publish/publish.h"
#include "publish/trust_store.h"
#include "site_fixture.h"
#include "store/options.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

std::string Bytes(int n, int seed) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>((i * 11 + seed) % 256);
  return s;
}

class SftpPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TESSAVO_REQUIRE(geteuid() == 0, "the SFTP tests add a user and start sshd as root");
    TESSAVO_REQUIRE(fs::exists("/usr/sbin/sshd") && fs::exists("/usr/bin/ssh-keygen"),
                    "install openssh-server (scripts/setup)");
    base_ = site_.temp / "sshd";
    ASSERT_TRUE(StartSshd(server_, base_, setup_));
    Blog& blog = *site_.blog;
    blog.SetOptionText(opt::kFtpSite, "127.0.0.1");
    blog.SetOptionText(opt::kFtpPort, std::to_string(server_.port()));
    blog.SetOptionText(opt::kFtpTargetDirectory, "www/blog");
    blog.SetOptionText(opt::kFtpUserid, setup_.user);
    blog.SetOptionText(opt::kFtpPassword, setup_.password);
    blog.SetOptionInt(opt::kPublishingLocation, kPublishBySftp);
  }
  PublishResult Publish(int connections = 1, bool answer = true) {
    site_.host.log.clear();
    site_.host.questions.clear();
    site_.host.answers = {answer};
    PublishOptions run;
    run.connections = connections;
    return PublishSite(*site_.blog, site_.host, run);
  }
  fs::path Remote() const { return base_ / "home/www/blog"; }
  const RecordingHost::LogLine* Find(const std::string& prefix) const {
    for (const auto& l : site_.host.log) {
      if (l.text.rfind(prefix, 0) == 0) return &l;
    }
    return nullptr;
  }

  SiteFixture site_;
  SshdSetup setup_;
  ServerProcess server_;
  fs::path base_;
};

TEST_F(SftpPublishTest, PasswordLogonUploadsRenamesIntoPlaceAndDeletesOrphans) {
  site_.Generate("index.html", "<html>home</html>\n");
  site_.Generate("photo.jpg", Bytes(200000, 5));
  site_.Generate("gone.html", "soon gone");
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 0) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(r.processed, 3);
  EXPECT_EQ(Describe(RemoteFiles(Remote())), Describe(site_.files));
  EXPECT_EQ(site_.Outstanding(), 0);
  // The host key was asked about once and is known now.
  ASSERT_EQ(site_.host.questions.size(), 1u);
  const std::string server = "127.0.0.1:" + std::to_string(server_.port());
  EXPECT_EQ(site_.host.questions[0].text.rfind("The host key of " + server +
                                                   " could not be verified (not yet known)."
                                                   "\n\nSHA-256 fingerprint:\nSHA256:",
                                               0),
            0u)
      << site_.host.questions[0].text;
  ASSERT_TRUE(TrustStore(SshKnownHostsFile()).Find(server).has_value());
  auto texts = site_.host.LogTexts();
  const std::vector<std::string> head = {
      "Publishing using SFTP",
      "Logging on to 127.0.0.1 port " + std::to_string(server_.port()) + " as user " + setup_.user,
      "Initial directory is " + (base_ / "home").string(),
      "Changing to Directory www/blog",
      "Directory www/blog does not exist.",
      "Created Directory www/blog",
      "Current directory is now " + Remote().string()};
  ASSERT_GE(texts.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + head.size()), head);
  EXPECT_EQ(texts[texts.size() - 2], "Logging out.");
  EXPECT_EQ(texts.back(), "Upload complete.");
  for (const auto& l : site_.host.log) {
    EXPECT_EQ(l.text.find(setup_.password), std::string::npos) << l.text;
  }

  // A change and an orphan; nothing is asked now, and no temporary file stays behind.
  site_.Generate("index.html", "<html>home, changed</html>\n");
  site_.Orphan("gone.html");
  r = Publish();
  EXPECT_TRUE(site_.host.questions.empty());
  EXPECT_EQ(r.processed, 2);
  EXPECT_TRUE(site_.host.Logged("...Deleting gone.html"));
  EXPECT_EQ(Describe(RemoteFiles(Remote())), Describe(site_.files));
  EXPECT_FALSE(site_.blog->FindPage("gone.html").has_value());

  // Four sessions end with the same folder.
  for (int i = 0; i < 20; ++i)
    site_.Generate("p" + std::to_string(i) + ".html", Bytes(3000 + i, i));
  r = Publish(4);
  EXPECT_EQ(r.errors, 0) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(Describe(RemoteFiles(Remote())), Describe(site_.files));
  EXPECT_EQ(site_.Outstanding(), 0);
}

TEST_F(SftpPublishTest, PrivateKeyFileLogsOnWithoutAPassword) {
  site_.blog->SetOptionText(opt::kFtpPassword, "");
  WriteFile(ProgramFolder() / "tessavo.ini",
            "[Publish]\nSftpKeyFile=" + (base_ / "client_key").string() + "\n");
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(ReadFile(Remote() / "a.html"), "a");

  // Without key and password there is nothing to log on with.
  WriteFile(ProgramFolder() / "tessavo.ini", "[Publish]\n");
  site_.Generate("a.html", "a2");
  r = Publish();
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(site_.host.Logged("Logon failed"));
  EXPECT_EQ(site_.Outstanding(), 1);
}

TEST_F(SftpPublishTest, UnknownHostKeyAnsweredNoEndsTheRunWithNothingMarked) {
  site_.Generate("a.html", "a");
  PublishResult r = Publish(1, false);
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(site_.host.questions.size(), 1u);
  EXPECT_TRUE(site_.host.Logged("Logon failed"));
  EXPECT_EQ(site_.Outstanding(), 1);
  EXPECT_FALSE(fs::exists(Remote()));
  EXPECT_FALSE(fs::exists(SshKnownHostsFile()));
}

TEST_F(SftpPublishTest, ChangedHostKeyIsRefusedNamingBothFingerprints) {
  site_.Generate("a.html", "a");
  ASSERT_TRUE(Publish().completed);
  const std::string server = "127.0.0.1:" + std::to_string(server_.port());
  const std::string trusted = *TrustStore(SshKnownHostsFile()).Find(server);

  // The same server comes back with another host key.
  server_.Stop();
  SshdSetup other = setup_;
  other.host_key = base_ / "other_host_key";
  other.port = server_.port();
  ServerProcess changed;
  ASSERT_TRUE(StartSshd(changed, base_, other));
  site_.Generate("a.html", "a2");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(site_.host.questions.empty());
  const auto* line = Find("*** The host key of " + server + " has changed: trusted SHA-256 " +
                          trusted + ", now SHA256:");
  ASSERT_NE(line, nullptr) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(line->color, LogColor::kRed);
  EXPECT_TRUE(site_.host.Logged("Logon failed"));
  EXPECT_EQ(ReadFile(Remote() / "a.html"), "a");
  EXPECT_EQ(site_.Outstanding(), 1);
}

}  // namespace
}  // namespace tessavo::testing
