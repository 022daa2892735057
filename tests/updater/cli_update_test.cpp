// tessavo-cli update-check end to end: the built program against a scripted update server,
// with a key pair and signature made by tessavo-sign-update and a fake installer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>

#include "cli_run.h"
#include "scripted_http_server.h"
#include "util/crc32.h"
#include "util/md5.h"

namespace tessavo {
namespace {

namespace fs = std::filesystem;
using testing::CliFixture;
using testing::CliResult;
using testing::LengthReply;
using testing::ScriptedHttpServer;

// Runs tessavo-sign-update with `args` in `dir`; returns its stdout, or fails the test.
std::string SignTool(const std::vector<std::string>& args, const fs::path& dir, int* status) {
  CliResult r = testing::RunProgram(TESSAVO_SIGN_UPDATE_EXE, args, dir, dir / "home");
  *status = r.status;
  return r.out;
}

class CliUpdateTest : public ::testing::Test {
 protected:
  CliUpdateTest()
      : server_([this](const ScriptedHttpServer::Request& r, TTCPBlockSocket& conn) {
          std::string path = r[0].substr(4, r[0].rfind(' ') - 4);
          auto it = files_.find(path);
          conn.SendString(it == files_.end()
                              ? LengthReply("<html>404 Not Found</html>", "404 Not Found")
                              : LengthReply(it->second));
          return false;
        }) {}

  void SetUp() override {
    int status = -1;
    std::istringstream keys(SignTool({"--new-key"}, cli_.dir(), &status));
    ASSERT_EQ(status, 0);
    std::string word;
    keys >> word >> secret_ >> word >> public_;
    ASSERT_EQ(secret_.size(), 128u);
    ASSERT_EQ(public_.size(), 64u);

    package_ = std::string(30000, 'p') + "end of the package";
    fs::path work = cli_ / "release";
    fs::create_directories(work);
    testing::WriteFile(work / "updater_200701.dat", package_);
    SignTool({secret_, (work / "updater_200701.dat").string()}, cli_.dir(), &status);
    ASSERT_EQ(status, 0);
    files_["/updater_200701.dat"] = package_;
    files_["/updater_200701.sig"] = testing::ReadFile(work / "updater_200701.sig");
    int64_t crc = CrcToSigned(CalculateCRC32String(package_));
    files_["/updater_200701.txt"] = "Tessavo|10|2007|01|" + std::to_string(crc < 0 ? -crc : crc) +
                                    "|" + DigestToHex(DigestMD5(package_)) + "|eof";

    installer_ = cli_ / "installer.sh";
    report_ = cli_ / "installer-report.txt";
    testing::WriteFile(installer_,
                       "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"arg:$a\"; done; } > '" +
                           report_.string() + ".tmp' && mv '" + report_.string() + ".tmp' '" +
                           report_.string() + "'\n");
    chmod(installer_.c_str(), 0755);
    testing::WriteFile(cli_.home() / "tessavo.ini", "[Updater]\nServer=" + server_.Url("/") +
                                                        "\nInstaller=" + installer_.string() +
                                                        "\nPublicKey=" + public_ + "\n");
  }

  std::string Report() {
    for (int i = 0; i < 500 && !fs::exists(report_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(report_) ? testing::ReadFile(report_) : "";
  }

  CliFixture cli_;
  std::string secret_;
  std::string public_;
  std::string package_;
  fs::path installer_;
  fs::path report_;
  std::map<std::string, std::string> files_;
  ScriptedHttpServer server_;
};

TEST_F(CliUpdateTest, ChecksWithoutDownloading) {
  CliResult r = cli_.Run({"update-check"});
  EXPECT_EQ(r.status, 0) << testing::Describe(r);
  EXPECT_EQ(r.out, "Checking for Updates...\nA newer version of Tessavo is available.\n");
  EXPECT_EQ(server_.paths(), std::vector<std::string>{"/updater_200701.txt"});

  files_["/updater_200701.txt"] = "x|9|a|b|1|m|eof";
  r = cli_.Run({"update-check"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Checking for Updates...\nYou are running the newest version of Tessavo.\n");
}

TEST_F(CliUpdateTest, DownloadsVerifiesAndStartsTheInstaller) {
  CliResult r = cli_.Run({"update-check", "--download", "--yes"});
  EXPECT_EQ(r.status, 0) << testing::Describe(r);
  EXPECT_EQ(r.out,
            "Checking for Updates...\nA newer version of Tessavo is available. Downloading...\n");
  EXPECT_EQ(Report(),
            fs::canonical(cli_.dir()).string() + "\narg:updater_200701.dat\narg:VANTRO\n");
  EXPECT_TRUE(testing::ReadFile(cli_ / "updater_200701.dat") == package_);
}

TEST_F(CliUpdateTest, WithoutYesNothingIsInstalled) {
  CliResult r = cli_.Run({"update-check", "--download"});
  EXPECT_EQ(r.status, 0) << testing::Describe(r);
  EXPECT_NE(r.err.find("Install Updates?"), std::string::npos) << r.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(report_));
}

TEST_F(CliUpdateTest, AForgedPackageIsRefused) {
  // The attacker controls the server: new package, matching checksums, old signature.
  std::string forged = package_ + "#!/bin/sh evil";
  int64_t crc = CrcToSigned(CalculateCRC32String(forged));
  files_["/updater_200701.dat"] = forged;
  files_["/updater_200701.txt"] = "Tessavo|10|2007|01|" + std::to_string(crc < 0 ? -crc : crc) +
                                  "|" + DigestToHex(DigestMD5(forged)) + "|eof";
  CliResult r = cli_.Run({"update-check", "--download", "--yes"});
  EXPECT_EQ(r.status, 1) << testing::Describe(r);
  EXPECT_EQ(r.out,
            "Checking for Updates...\nA newer version of Tessavo is available. Downloading...\n"
            "Error downloading updates. Sorry.\n");
  EXPECT_FALSE(fs::exists(cli_ / "updater_200701.dat"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(report_));
}

TEST_F(CliUpdateTest, TheReleaseKeyIsUsedWithoutSetting) {
  testing::WriteFile(cli_.home() / "tessavo.ini", "[Updater]\nServer=" + server_.Url("/") +
                                                      "\nInstaller=" + installer_.string() + "\n");
  CliResult r = cli_.Run({"update-check", "--download", "--yes"});
  EXPECT_EQ(r.status, 1) << testing::Describe(r);
  EXPECT_NE(r.out.find("Error downloading updates. Sorry."), std::string::npos);
}

TEST_F(CliUpdateTest, AnUnreachableServerFails) {
  testing::WriteFile(cli_.home() / "tessavo.ini", "[Updater]\nServer=http://127.0.0.1:1/\n");
  CliResult r = cli_.Run({"update-check"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "Checking for Updates...\n"
            "Error. Failed to retrieve version file information from 127.0.0.1:1\n");
}

TEST_F(CliUpdateTest, SignToolRefusesBadKeysAndVerifies) {
  int status = -1;
  SignTool({"abc", (cli_ / "release" / "updater_200701.dat").string()}, cli_.dir(), &status);
  EXPECT_EQ(status, 2);
  std::string out =
      SignTool({"--verify", public_, (cli_ / "release" / "updater_200701.dat").string()},
               cli_.dir(), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "valid\n");
  testing::WriteFile(cli_ / "release" / "updater_200701.dat", package_ + "x");
  out = SignTool({"--verify", public_, (cli_ / "release" / "updater_200701.dat").string()},
                 cli_.dir(), &status);
  EXPECT_EQ(status, 1);
  // The seed alone (the first half of the secret key) signs the same.
  SignTool({secret_.substr(0, 64), (cli_ / "release" / "updater_200701.dat").string(),
            (cli_ / "seed.sig").string()},
           cli_.dir(), &status);
  EXPECT_EQ(status, 0);
  SignTool(
      {secret_, (cli_ / "release" / "updater_200701.dat").string(), (cli_ / "full.sig").string()},
      cli_.dir(), &status);
  EXPECT_TRUE(testing::ReadFile(cli_ / "seed.sig") == testing::ReadFile(cli_ / "full.sig"));
}

}  // namespace
}  // namespace tessavo
