// Publishing by FTPS (explicit, AUTH TLS) to real servers on 127.0.0.1: vsftpd with TLS
// required on the logon and every data connection (session reuse included), and
// pyftpdlib's TLS handler for exact replies. Certificates are made by the test: signed by
// a test authority the process trusts, self-signed, for another name, expired.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "ftp_servers.h"
#include "publish/publish.h"
#include "publish/trust_store.h"
#include "site_fixture.h"
#include "store/options.h"
#include "test_certificates.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

std::string Binary(int n, int seed) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>((i * 31 + seed) % 256);
  return s;
}

class FtpsPublishTest : public ::testing::Test {
 protected:
  void SetUp() override { TrustTestAuthority(); }

  void UseServer(int port, const std::string& target, bool passive) {
    Blog& blog = *site_.blog;
    blog.SetOptionText(opt::kFtpSite, "127.0.0.1");
    blog.SetOptionText(opt::kFtpPort, std::to_string(port));
    blog.SetOptionText(opt::kFtpTargetDirectory, target);
    blog.SetOptionInt(opt::kFtpPassive, passive ? 1 : 0);
    blog.SetOptionInt(opt::kPublishingLocation, kPublishByFtps);
  }
  CertificateFiles Certificate(const std::string& stem, CertificateSpec spec = {}) {
    return MakeCertificate(site_.temp / "certs", stem, spec);
  }
  bool StartPy(const CertificateFiles& cert, std::vector<std::string> extra = {}) {
    fs::create_directories(py_root_);
    std::vector<std::string> args = {"--tls", cert.cert.string(), cert.key.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    if (!StartPyFtp(server_, py_root_, args)) return false;
    UseServer(server_.port(), "site", true);
    return true;
  }
  PublishResult Publish(int connections = 1) {
    site_.host.log.clear();
    site_.host.questions.clear();
    PublishOptions run;
    run.connections = connections;
    return PublishSite(*site_.blog, site_.host, run);
  }
  const RecordingHost::LogLine* Find(const std::string& prefix) const {
    for (const auto& l : site_.host.log) {
      if (l.text.rfind(prefix, 0) == 0) return &l;
    }
    return nullptr;
  }
  void GenerateSite() {
    site_.Generate("index.html", "<html>home</html>\n");
    site_.Generate("archive.html", "<html>archive\r\nlines</html>");
    site_.Generate("photo.jpg", Binary(150000, 3));
    site_.Generate("one.txt", "1");
  }

  SiteFixture site_;
  ServerProcess server_;
  fs::path py_root_ = site_.temp / "pyroot";
};

// vsftpd insists on TLS for the logon and for every data connection, and on the data
// connections reusing the control connection's session.
class VsftpdFtpsTest : public FtpsPublishTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VsftpdFtpsTest, PublishesByteForByteWithTheLogOfFtpAndOneBlueTlsLine) {
  TESSAVO_REQUIRE(geteuid() == 0, "vsftpd runs as root");
  TESSAVO_REQUIRE(fs::exists("/usr/sbin/vsftpd"), "install vsftpd (scripts/setup)");
  const bool passive = GetParam();
  CertificateFiles cert = Certificate("vsftpd");
  ASSERT_TRUE(StartVsftpdTls(server_, site_.temp / "vsftpd", cert.cert, cert.key));
  UseServer(server_.port(), "/pub/site", passive);
  GenerateSite();
  site_.Generate("gone.html", "soon gone");

  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 0) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(r.processed, 5);
  const fs::path remote = site_.temp / "vsftpd/root/pub/site";
  EXPECT_EQ(Describe(RemoteFiles(remote)), Describe(site_.files));
  EXPECT_EQ(site_.Outstanding(), 0);
  EXPECT_TRUE(site_.host.questions.empty());  // signed by an authority the process trusts

  // The lines of an FTP run, with one blue line about the TLS connection after the logon.
  auto texts = site_.host.LogTexts();
  const std::string port = std::to_string(server_.port());
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Publishing using FTP");
  EXPECT_EQ(texts[1], "Logging on to 127.0.0.1 port " + port + " as user ");
  EXPECT_EQ(site_.host.log[2].color, LogColor::kBlue);
  EXPECT_EQ(texts[2].rfind("Connection secured with TLSv1.", 0), 0u) << texts[2];
  EXPECT_NE(texts[2].find(", cipher "), std::string::npos);
  EXPECT_EQ(texts[3], "Initial directory is /");
  EXPECT_EQ(std::count_if(site_.host.log.begin(), site_.host.log.end(),
                          [](const auto& l) { return l.color == LogColor::kBlue; }),
            1);
  EXPECT_EQ(texts.back(), "Upload complete.");

  // One change and one orphan.
  site_.Generate("archive.html", "<html>archive, edited</html>");
  site_.Orphan("gone.html");
  r = Publish();
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.processed, 2);
  EXPECT_EQ(Describe(RemoteFiles(remote)), Describe(site_.files));
  EXPECT_FALSE(site_.blog->FindPage("gone.html").has_value());

  // Four connections end with the same folder.
  for (int i = 0; i < 12; ++i)
    site_.Generate("p" + std::to_string(i) + ".html", Binary(5000 + i, i));
  r = Publish(4);
  EXPECT_EQ(r.errors, 0) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(Describe(RemoteFiles(remote)), Describe(site_.files));
  EXPECT_EQ(site_.Outstanding(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, VsftpdFtpsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return std::string(p.param ? "Passive" : "Active");
                         });

TEST_F(FtpsPublishTest, SelfSignedCertificateIsAskedAboutAndRememberedForTheHost) {
  CertificateFiles cert = Certificate("self", {.self_signed = true});
  ASSERT_TRUE(StartPy(cert));
  site_.Generate("a.html", "a");

  // No: the run ends before the logon, nothing is marked.
  site_.host.answers = {false};
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  ASSERT_EQ(site_.host.questions.size(), 1u);
  EXPECT_EQ(site_.host.questions[0].kind, "yesno");
  const std::string server = "127.0.0.1:" + std::to_string(server_.port());
  const std::string& question = site_.host.questions[0].text;
  EXPECT_EQ(question.rfind("The certificate of " + server + " could not be verified (", 0), 0u)
      << question;
  EXPECT_NE(question.find("self-signed"), std::string::npos) << question;
  EXPECT_NE(question.find("\n\nSHA-256 fingerprint:\n"), std::string::npos);
  EXPECT_NE(question.find("\n\nTrust this certificate for " + server + "?"), std::string::npos);
  EXPECT_TRUE(site_.host.Logged("Logon failed"));
  EXPECT_EQ(site_.Outstanding(), 1);
  EXPECT_FALSE(fs::exists(py_root_ / "site/a.html"));
  EXPECT_FALSE(fs::exists(CertificateTrustFile()));

  // Yes: published, and the fingerprint is kept in the program folder, readable by the
  // owner only.
  site_.host.answers = {true};
  r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(ReadFile(py_root_ / "site/a.html"), "a");
  ASSERT_TRUE(fs::exists(CertificateTrustFile()));
  struct stat st;
  ASSERT_EQ(stat(CertificateTrustFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const size_t at = question.find("fingerprint:\n") + 13;
  const std::string fingerprint = question.substr(at, question.find('\n', at) - at);
  EXPECT_EQ(fingerprint.size(), 95u);
  EXPECT_EQ(TrustStore(CertificateTrustFile()).Find(server), fingerprint);

  // Next time nothing is asked.
  site_.Generate("a.html", "a2");
  r = Publish();
  EXPECT_TRUE(site_.host.questions.empty());
  EXPECT_EQ(ReadFile(py_root_ / "site/a.html"), "a2");

  // Another certificate on the same server is refused, naming both fingerprints.
  server_.Stop();
  CertificateFiles other = Certificate("other", {.self_signed = true});
  ServerProcess second;
  std::vector<std::string> args = {"--port", std::to_string(server_.port()), "--tls",
                                   other.cert.string(), other.key.string()};
  ASSERT_TRUE(StartPyFtp(second, py_root_, args));
  site_.Generate("a.html", "a3");
  r = Publish();
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(site_.host.questions.empty());
  const auto* refused = Find("*** The certificate of " + server + " has changed: trusted SHA-256 " +
                             fingerprint + ", now ");
  ASSERT_NE(refused, nullptr) << ::testing::PrintToString(site_.host.LogTexts());
  EXPECT_EQ(refused->color, LogColor::kRed);
  EXPECT_NE(refused->text.find(". Connection refused."), std::string::npos);
  EXPECT_TRUE(site_.host.Logged("Logon failed"));
  EXPECT_EQ(ReadFile(py_root_ / "site/a.html"), "a2");
  EXPECT_EQ(site_.Outstanding(), 1);
}

struct BadCertificate {
  const char* label;
  CertificateSpec spec;
  const char* reason;  // part of the question's text
};

class BadCertificateTest : public FtpsPublishTest,
                           public ::testing::WithParamInterface<BadCertificate> {};

TEST_P(BadCertificateTest, IsAskedAboutAndNoEndsTheRunWithNothingMarked) {
  CertificateFiles cert = Certificate("bad", GetParam().spec);
  ASSERT_TRUE(StartPy(cert));
  site_.Generate("a.html", "a");
  site_.Generate("b.html", "b");
  const auto before = site_.blog->Pages();
  site_.host.answers = {false};
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  ASSERT_EQ(site_.host.questions.size(), 1u);
  EXPECT_NE(site_.host.questions[0].text.find(GetParam().reason), std::string::npos)
      << site_.host.questions[0].text;
  EXPECT_EQ(site_.blog->Pages(), before);
  EXPECT_FALSE(fs::exists(py_root_ / "site"));
  auto texts = site_.host.LogTexts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[2], "Logon failed");
  EXPECT_EQ(texts[3], "  FTP  = The certificate of 127.0.0.1 is not trusted: connection closed.");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BadCertificateTest,
    ::testing::Values(BadCertificate{"Expired",
                                     {.valid_from_days = -30, .valid_to_days = -1},
                                     "certificate has expired"},
                      BadCertificate{"SelfSigned", {.self_signed = true}, "self-signed"},
                      BadCertificate{"OtherName", {.name = "www.example.org"}, "mismatch"}),
    [](const ::testing::TestParamInfo<BadCertificate>& p) { return p.param.label; });

TEST_F(FtpsPublishTest, ServerRefusingProtPFailsTheLogonWithItsReply) {
  ASSERT_TRUE(StartPy(Certificate("ok"), {"--refuse-prot-p"}));
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  const auto texts = site_.host.LogTexts();
  auto at = std::find(texts.begin(), texts.end(), "Logon failed");
  ASSERT_NE(at, texts.end());
  EXPECT_EQ(*(at + 1), "  FTP  = 536 Requested PROT level not supported by mechanism.");
  EXPECT_EQ(site_.Outstanding(), 1);
}

TEST_F(FtpsPublishTest, HandshakeTheServerDropsFailsTheLogon) {
  ASSERT_TRUE(StartPy(Certificate("ok"), {"--drop-handshake"}));
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_FALSE(r.completed);
  const auto texts = site_.host.LogTexts();
  auto at = std::find(texts.begin(), texts.end(), "Logon failed");
  ASSERT_NE(at, texts.end());
  EXPECT_EQ((at + 1)->rfind("  FTP  = TLS handshake failed", 0), 0u) << *(at + 1);
  EXPECT_EQ(site_.Outstanding(), 1);
}

TEST_F(FtpsPublishTest, ConversationShowsTheCommandsButNeverThePassword) {
  fs::create_directories(py_root_);
  CertificateFiles cert = Certificate("ok");
  ASSERT_TRUE(StartPyFtp(server_, py_root_,
                         {"--tls", cert.cert.string(), cert.key.string(), "--user", "writer",
                          "--password", "Sup3r-s3cret"}));
  UseServer(server_.port(), "site", true);
  site_.blog->SetOptionText(opt::kFtpUserid, "writer");
  site_.blog->SetOptionText(opt::kFtpPassword, "Sup3r-s3cret");
  site_.blog->SetOptionInt(opt::kShowFtpConversation, 1);
  site_.Generate("a.html", "a");
  PublishResult r = Publish();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(ReadFile(py_root_ / "site/a.html"), "a");
  EXPECT_TRUE(site_.host.Logged("  FTP = AUTH TLS"));
  EXPECT_TRUE(site_.host.Logged("  FTP = PBSZ 0"));
  EXPECT_TRUE(site_.host.Logged("  FTP = PROT P"));
  EXPECT_TRUE(site_.host.Logged("  FTP = PASS ********"));
  for (const auto& l : site_.host.log) {
    EXPECT_EQ(l.text.find("Sup3r-s3cret"), std::string::npos) << l.text;
  }
}

}  // namespace
}  // namespace tessavo::testing
