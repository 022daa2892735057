// The update check against a scripted update server on 127.0.0.1: the version file's
// rules, the checksums, the signature, Stop Download, and the hand-over to an installer
// (a script the test writes).
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "ftp_servers.h"
#include "recording_host.h"
#include "scripted_http_server.h"
#include "temp_dir.h"
#include "updater/update_check.h"
#include "util/crc32.h"
#include "util/md5.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

namespace fs = std::filesystem;
using testing::LengthReply;
using testing::ScriptedHttpServer;

const char* kChecking = "Checking for Updates...";
const char* kNewest = "You are running the newest version of Tessavo.";
const char* kDownloading = "A newer version of Tessavo is available. Downloading...";
const char* kRefused = "Error downloading updates. Sorry.";
const char* kCancelLine = "Error: Cancel was requested";

class RecordingView : public UpdateView {
 public:
  std::vector<std::string> lines;
  std::vector<int64_t> bytes;
  std::vector<int> progress;
  std::vector<bool> stop_states;
  std::function<void(int64_t)> on_bytes;

  void AddLogLine(const std::string& text) override { lines.push_back(text); }
  void ShowBytes(int64_t total) override {
    bytes.push_back(total);
    if (on_bytes) on_bytes(total);
  }
  void ShowProgress(int percent) override { progress.push_back(percent); }
  void EnableStopDownload(bool enabled) override { stop_states.push_back(enabled); }
};

class EventHost : public testing::RecordingHost {
 public:
  std::function<void()> on_events;
  std::function<void()> on_question;
  int events = 0;
  void ProcessEvents() override {
    ++events;
    if (on_events) on_events();
  }
  bool ConfirmYesNo(const std::string& text) override {
    if (on_question) on_question();
    return RecordingHost::ConfirmYesNo(text);
  }
};

// A package of `size` bytes whose content depends on `seed`.
std::string MakePackage(size_t size, unsigned seed) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i)
    out[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 7)) & 0xff);
  return out;
}

// The absolute value of the signed CRC, as the version file gives it.
std::string CrcField(const std::string& bytes) {
  int64_t v = CrcToSigned(CalculateCRC32String(bytes));
  return std::to_string(v < 0 ? -v : v);
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest()
      : server_([this](const ScriptedHttpServer::Request& r, TTCPBlockSocket& conn) {
          return Answer(r, conn);
        }) {}

  void SetUp() override {
    ASSERT_GE(sodium_init(), 0);
    crypto_sign_keypair(public_key_.data(), secret_key_);
    package_ = MakePackage(20000, 1);
    save_ = temp_ / "save";
    fs::create_directories(save_);
    installer_ = temp_ / "fake-installer";
    installer_out_ = temp_ / "installer-ran.txt";
    testing::WriteFile(installer_,
                       "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"arg:$a\"; done; "
                       "echo \"count:$#\"; } > '" +
                           installer_out_.string() + ".tmp' && mv '" + installer_out_.string() +
                           ".tmp' '" + installer_out_.string() + "'\n");
    chmod(installer_.c_str(), 0755);
    settings_.server = server_.Url("/updates/");
    settings_.installer = installer_;
    settings_.save_folder = save_;
    settings_.public_key = public_key_;
    PublishRelease("Tessavo|10|2007|01|" + CrcField(package_) + "|" +
                   DigestToHex(DigestMD5(package_)) + "|eof");
  }

  // Serves `version_file`, the package and its valid signature.
  void PublishRelease(const std::string& version_file) {
    Serve("/updates/updater_200701.txt", LengthReply(version_file));
    Serve("/updates/updater_200701.dat", LengthReply(package_));
    Serve("/updates/updater_200701.sig", LengthReply(Sign(package_)));
  }

  std::string Sign(const std::string& bytes) {
    std::string sig(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                         secret_key_);
    return sig;
  }

  void Serve(const std::string& path, const std::string& raw_reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = raw_reply;
  }
  // A reply sent in pieces with pauses, for Stop Download.
  void ServeSlowly(const std::string& path, const std::string& raw_reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = raw_reply;
    slow_.insert(path);
  }

  bool Answer(const ScriptedHttpServer::Request& r, TTCPBlockSocket& conn) {
    std::string path = r[0].substr(4, r[0].rfind(' ') - 4);
    std::string reply;
    bool slow;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = replies_.find(path);
      reply = it != replies_.end()
                  ? it->second
                  : LengthReply("<html><body>404 Not Found</body></html>", "404 Not Found");
      slow = slow_.count(path) > 0;
    }
    if (slow) {
      testing::SendSlowly(conn, reply, 512, 20);
    } else {
      conn.SendString(reply);
    }
    return false;
  }

  UpdateOutcome Run(bool download = true) {
    UpdateCheck check(host_, view_, settings_);
    return check.CheckForUpdate(download);
  }

  std::vector<std::string> Paths() { return server_.paths(); }
  fs::path SavedPackage() const { return save_ / "updater_200701.dat"; }

  // Waits for the fake installer's report (it runs detached).
  std::string InstallerReport() {
    for (int i = 0; i < 500 && !fs::exists(installer_out_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(installer_out_) ? testing::ReadFile(installer_out_) : "";
  }
  // True when the installer did not run within a short wait.
  bool InstallerNeverRan() {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return !fs::exists(installer_out_);
  }

  void ExpectFinishedWithStopDisabled() {
    ASSERT_FALSE(view_.stop_states.empty());
    EXPECT_TRUE(view_.stop_states.front());
    EXPECT_FALSE(view_.stop_states.back());
  }

  testing::TempDir temp_;
  fs::path save_;
  fs::path installer_;
  fs::path installer_out_;
  UpdatePublicKey public_key_;
  unsigned char secret_key_[crypto_sign_SECRETKEYBYTES];
  std::string package_;
  UpdaterSettings settings_;
  EventHost host_;
  RecordingView view_;
  std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::set<std::string> slow_;
  ScriptedHttpServer server_;  // last: it stops before the rest goes
};

TEST_F(UpdateCheckTest, Version9IsTheNewest) {
  PublishRelease("x|9|a|b|1|m|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kUpToDate);
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kNewest}));
  EXPECT_EQ(Paths(), std::vector<std::string>{"/updates/updater_200701.txt"});
  EXPECT_EQ(view_.stop_states, (std::vector<bool>{true, false}));
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_FALSE(fs::exists(SavedPackage()));
}

TEST_F(UpdateCheckTest, NegativeVersionsAndSignsAreWholeNumbers) {
  PublishRelease("x|-12|a|b|1|m|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kUpToDate);
  PublishRelease("x|+9|a|b|1|m|EOF");
  EXPECT_EQ(Run(), UpdateOutcome::kUpToDate);
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(UpdateCheckTest, AllRightAsksAndHandsThePackageToTheInstaller) {
  host_.answers = {true};
  EXPECT_EQ(Run(), UpdateOutcome::kInstallerStarted);
  EXPECT_TRUE(MustExitNow(UpdateOutcome::kInstallerStarted));
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kDownloading}));
  ASSERT_EQ(host_.questions.size(), 1u);
  EXPECT_EQ(host_.questions[0].kind, "yesno");
  EXPECT_EQ(host_.questions[0].text, "Install Updates?");
  EXPECT_EQ(Paths(),
            (std::vector<std::string>{"/updates/updater_200701.txt", "/updates/updater_200701.dat",
                                      "/updates/updater_200701.sig"}));
  EXPECT_TRUE(testing::ReadFile(SavedPackage()) == package_);
  EXPECT_EQ(InstallerReport(),
            fs::canonical(save_).string() + "\narg:updater_200701.dat\narg:VANTRO\ncount:2\n");
  ExpectFinishedWithStopDisabled();
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(UpdateCheckTest, AnsweringNoInstallsNothing) {
  host_.answers = {false};
  EXPECT_EQ(Run(), UpdateOutcome::kDeclined);
  EXPECT_EQ(host_.questions.size(), 1u);
  EXPECT_TRUE(InstallerNeverRan());
  EXPECT_TRUE(fs::exists(SavedPackage()));
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, ByteCounterAndBarFollowTheTransfers) {
  host_.answers = {false};
  Run();
  ASSERT_FALSE(view_.bytes.empty());
  // Two transfers shown (version file and package), each starting from 0.
  EXPECT_EQ(std::count(view_.bytes.begin(), view_.bytes.end(), 0), 2);
  EXPECT_GT(view_.bytes.back(), static_cast<int64_t>(package_.size()));
  EXPECT_EQ(view_.progress.back(), 100);
  for (int p : view_.progress) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p, 100);
  }
  EXPECT_GT(host_.events, 0);
}

TEST_F(UpdateCheckTest, PercentageRule) {
  EXPECT_EQ(ProgressPercent(0, 0), 0);
  EXPECT_EQ(ProgressPercent(50, 0), 50);
  EXPECT_EQ(ProgressPercent(500, 0), 100);
  EXPECT_EQ(ProgressPercent(550, 1000), 50);
  EXPECT_EQ(ProgressPercent(1099, 1000), 99);
  EXPECT_EQ(ProgressPercent(1100, 1000), 100);
  EXPECT_EQ(ProgressPercent(5000, 1000), 100);
  EXPECT_EQ(ProgressPercent(-5, 1000), 0);
}

TEST_F(UpdateCheckTest, SixFieldsFailTheEofTest) {
  PublishRelease("Tessavo|10|2007|01|" + CrcField(package_) + "|" +
                 DigestToHex(DigestMD5(package_)));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  std::string name = "127.0.0.1:" + std::to_string(server_.port());
  EXPECT_EQ(view_.lines,
            (std::vector<std::string>{
                kChecking, "Error. Failed to retrieve version file information from " + name}));
  EXPECT_EQ(Paths().size(), 1u);
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, EofIsComparedWithoutLetterCaseButExactly) {
  PublishRelease("x|9|a|b|1|m|EoF|more|fields");
  EXPECT_EQ(Run(), UpdateOutcome::kUpToDate);
  PublishRelease("x|9|a|b|1|m|eof\n");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  PublishRelease("x|9|a|b|1|m| eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
}

TEST_F(UpdateCheckTest, ShortVersionFileFails) {
  PublishRelease("|9||eof");  // 7 bytes
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back(),
            "Error. Failed to retrieve version file information from 127.0.0.1:" +
                std::to_string(server_.port()));
}

TEST_F(UpdateCheckTest, NoServerFails) {
  settings_.server = "http://127.0.0.1:" + std::to_string(testing::FreePort()) + "/";
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.size(), 2u);
  EXPECT_EQ(view_.lines.back().rfind(
                "Error. Failed to retrieve version file information from 127.0.0.1:", 0),
            0u);
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, A404PageNeverInstalls) {
  // The reply code is not tested: the page fails the eof test.
  Serve("/updates/updater_200701.txt",
        LengthReply("<html><body>Not Found|10|x</body></html>", "404 Not Found"));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back().rfind("Error. Failed to retrieve version file information", 0), 0u);

  // A missing package: its 404 page fails the checksums.
  PublishRelease("Tessavo|10|2007|01|" + CrcField(package_) + "|" +
                 DigestToHex(DigestMD5(package_)) + "|eof");
  Serve("/updates/updater_200701.dat",
        LengthReply("<html><body>404 Not Found</body></html>", "404 Not Found"));
  view_.lines.clear();
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kDownloading, kRefused}));
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(InstallerNeverRan());
}

TEST_F(UpdateCheckTest, AShortPackageFails) {
  Serve("/updates/updater_200701.dat", LengthReply("123456789"));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back(), "Error. Failed to retrieve update file from 127.0.0.1:" +
                                    std::to_string(server_.port()));
  EXPECT_FALSE(fs::exists(SavedPackage()));
}

TEST_F(UpdateCheckTest, RightCrcWrongMd5IsRejected) {
  std::string md5 = DigestToHex(DigestMD5(package_));
  md5[0] = md5[0] == '0' ? '1' : '0';
  PublishRelease("Tessavo|10|2007|01|" + CrcField(package_) + "|" + md5 + "|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kDownloading, kRefused}));
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(InstallerNeverRan());
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, WrongCrcIsRejected) {
  PublishRelease("Tessavo|10|2007|01|12345|" + DigestToHex(DigestMD5(package_)) + "|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back(), kRefused);
  EXPECT_TRUE(host_.questions.empty());
}

TEST_F(UpdateCheckTest, Md5InCapitalsAndANegativeCrcAreAccepted) {
  // A package whose CRC has its top bit set: the version file holds the absolute value.
  unsigned seed = 2;
  while (CrcToSigned(CalculateCRC32String(package_)) >= 0) package_ = MakePackage(20000, seed++);
  std::string md5 = DigestToHex(DigestMD5(package_));
  for (char& c : md5) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  PublishRelease("Tessavo|10|2007|01|" + CrcField(package_) + "|" + md5 + "|eof");
  host_.answers = {false};
  EXPECT_EQ(Run(), UpdateOutcome::kDeclined);
  EXPECT_EQ(host_.questions.size(), 1u);

  // The signed value itself (negative) does not match.
  PublishRelease("Tessavo|10|2007|01|" +
                 std::to_string(CrcToSigned(CalculateCRC32String(package_))) + "|" + md5 + "|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back(), kRefused);
}

TEST_F(UpdateCheckTest, AWrongSignatureIsRejectedAndTheFileDeleted) {
  // Signed by another key.
  unsigned char other_pk[crypto_sign_PUBLICKEYBYTES];
  unsigned char other_sk[crypto_sign_SECRETKEYBYTES];
  crypto_sign_keypair(other_pk, other_sk);
  std::string sig(crypto_sign_BYTES, '\0');
  crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                       reinterpret_cast<const unsigned char*>(package_.data()), package_.size(),
                       other_sk);
  Serve("/updates/updater_200701.sig", LengthReply(sig));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kDownloading, kRefused}));
  EXPECT_FALSE(fs::exists(SavedPackage()));
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(InstallerNeverRan());
  ExpectFinishedWithStopDisabled();

  // Our key, but over other bytes; and one bit changed.
  Serve("/updates/updater_200701.sig", LengthReply(Sign(package_ + "x")));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_FALSE(fs::exists(SavedPackage()));
  std::string flipped = Sign(package_);
  flipped[10] ^= 1;
  Serve("/updates/updater_200701.sig", LengthReply(flipped));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_FALSE(fs::exists(SavedPackage()));
  EXPECT_TRUE(host_.questions.empty());
}

TEST_F(UpdateCheckTest, AMissingSignatureIsRejectedAndTheFileDeleted) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.erase("/updates/updater_200701.sig");
  }
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kDownloading, kRefused}));
  EXPECT_FALSE(fs::exists(SavedPackage()));
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(InstallerNeverRan());
  // A signature file of the wrong length.
  Serve("/updates/updater_200701.sig", LengthReply(Sign(package_) + "\n"));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_FALSE(fs::exists(SavedPackage()));
}

TEST_F(UpdateCheckTest, TheReleaseKeyRefusesATestSignature) {
  settings_.public_key = kReleasePublicKey;
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back(), kRefused);
  EXPECT_TRUE(host_.questions.empty());
}

TEST_F(UpdateCheckTest, StopDownloadDuringASlowDownloadInstallsNothing) {
  ServeSlowly("/updates/updater_200701.dat", LengthReply(package_));
  UpdateCheck check(host_, view_, settings_);
  bool stopped = false;
  view_.on_bytes = [&](int64_t total) {
    // Once the package is on its way, the person presses Stop Download.
    if (!stopped && total > 3000 && view_.lines.size() == 2) {
      stopped = true;
      check.StopDownload();
    }
  };
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(check.CheckForUpdate(), UpdateOutcome::kCancelled);
  EXPECT_TRUE(stopped);
  // The slow server would need about a second more: the abort ended the transfer.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kDownloading, kCancelLine}));
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(InstallerNeverRan());
  ExpectFinishedWithStopDisabled();
  // What arrived may be saved, but it is short of the package.
  if (fs::exists(SavedPackage())) {
    EXPECT_LT(fs::file_size(SavedPackage()), package_.size());
  }
  EXPECT_EQ(Paths().size(), 2u);
}

TEST_F(UpdateCheckTest, StopDownloadOutsideATransferEndsAtTheNextTest) {
  UpdateCheck check(host_, view_, settings_);
  int calls = 0;
  host_.on_events = [&] {
    // During the version file's transfer.
    if (++calls == 1) check.StopDownload();
  };
  EXPECT_EQ(check.CheckForUpdate(), UpdateOutcome::kCancelled);
  EXPECT_EQ(view_.lines.front(), kChecking);
  EXPECT_NE(std::find(view_.lines.begin(), view_.lines.end(), kCancelLine), view_.lines.end());
  EXPECT_TRUE(InstallerNeverRan());
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, ANonNumberVersionShowsAnErrorBox) {
  PublishRelease("x|ten|a|b|1|m|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(host_.errors, std::vector<std::string>{"'ten' is not a valid integer value"});
  EXPECT_EQ(view_.lines, std::vector<std::string>{kChecking});
  ExpectFinishedWithStopDisabled();
  for (std::string field :
       {" 10", "10 ", "1 0", "", "0x10", "10.0", "--1", "99999999999999999999"}) {
    host_.errors.clear();
    PublishRelease("x|" + field + "|a|b|1|m|eof");
    EXPECT_EQ(Run(), UpdateOutcome::kFailed) << field;
    EXPECT_EQ(host_.errors,
              std::vector<std::string>{"'" + field + "' is not a valid integer value"});
  }
}

TEST_F(UpdateCheckTest, ANonNumberCrcShowsAnErrorBox) {
  PublishRelease("Tessavo|10|2007|01|12ab|" + DigestToHex(DigestMD5(package_)) + "|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(host_.errors, std::vector<std::string>{"'12ab' is not a valid integer value"});
  EXPECT_TRUE(host_.questions.empty());
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, AHugeVersionFileFails) {
  std::string huge = "x|9|a|b|1|m|eof|" + std::string(3 << 20, 'h');
  Serve("/updates/updater_200701.txt", LengthReply(huge));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back().rfind("Error. Failed to retrieve version file information", 0), 0u);
  // Endless, without a length.
  Serve("/updates/updater_200701.txt", "HTTP/1.0 200 OK\r\n\r\n" + std::string(2 << 20, '|'));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
}

TEST_F(UpdateCheckTest, ABinaryVersionFileFailsQuietly) {
  std::string binary = MakePackage(5000, 9);
  binary[3] = '\0';
  Serve("/updates/updater_200701.txt", LengthReply(binary));
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back().rfind("Error. Failed to retrieve version file information", 0), 0u);

  // Binary garbage in field 2 reaches the error box shown safely and cut short.
  std::string field(300, '\x01');
  PublishRelease("x|" + field + "|a|b|1|m|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0], "'" + std::string(80, '?') + "...' is not a valid integer value");
}

TEST_F(UpdateCheckTest, AMissingInstallerIsLoggedAndNothingStarts) {
  settings_.installer = temp_ / "no-such-installer";
  host_.answers = {true};
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(view_.lines.back(), "Error. The installer program " +
                                    (temp_ / "no-such-installer").string() + " was not found.");
  EXPECT_TRUE(InstallerNeverRan());
  ExpectFinishedWithStopDisabled();
}

TEST_F(UpdateCheckTest, APackageChangedWhileTheQuestionStoodIsRefused) {
  host_.answers = {true};
  host_.on_question = [&] { testing::WriteFile(SavedPackage(), package_ + "tampered"); };
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_EQ(host_.questions.size(), 1u);
  EXPECT_EQ(view_.lines.back(), kRefused);
  EXPECT_TRUE(InstallerNeverRan());
  EXPECT_FALSE(fs::exists(SavedPackage()));
}

TEST_F(UpdateCheckTest, APackageChangedBeforeTheSignatureTestIsRefused) {
  // The signature is checked on the saved file, which is what the installer gets.
  host_.on_events = [&] {
    if (fs::exists(SavedPackage()) && testing::ReadFile(SavedPackage()) == package_) {
      testing::WriteFile(SavedPackage(), package_ + "tampered");
    }
  };
  EXPECT_EQ(Run(), UpdateOutcome::kFailed);
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_EQ(view_.lines.back(), kRefused);
  EXPECT_FALSE(fs::exists(SavedPackage()));
}

TEST_F(UpdateCheckTest, ASecondCheckWhileOneRunsIsRefused) {
  UpdateCheck check(host_, view_, settings_);
  UpdateOutcome inner = UpdateOutcome::kFailed;
  host_.on_events = [&] {
    if (inner == UpdateOutcome::kFailed) inner = check.CheckForUpdate();
  };
  PublishRelease("x|9|a|b|1|m|eof");
  EXPECT_EQ(check.CheckForUpdate(), UpdateOutcome::kUpToDate);
  EXPECT_EQ(inner, UpdateOutcome::kBusy);
  EXPECT_EQ(view_.lines, (std::vector<std::string>{kChecking, kNewest}));
}

TEST_F(UpdateCheckTest, CheckWithoutDownloadStopsBeforeThePackage) {
  EXPECT_EQ(Run(false), UpdateOutcome::kNewerAvailable);
  EXPECT_EQ(view_.lines,
            (std::vector<std::string>{kChecking, "A newer version of Tessavo is available."}));
  EXPECT_EQ(Paths().size(), 1u);
}

TEST_F(UpdateCheckTest, ServerNameAndAddresses) {
  UpdaterSettings s;
  s.server = "http://www.example.org/path";
  UpdateCheck a(host_, view_, s);
  EXPECT_EQ(a.ServerName(), "www.example.org");
  s.server = "http://example.org:8080/x/";
  UpdateCheck b(host_, view_, s);
  EXPECT_EQ(b.ServerName(), "example.org:8080");
  // Without the final slash the files still lie below the address.
  settings_.server = server_.Url("/updates");
  PublishRelease("x|9|a|b|1|m|eof");
  EXPECT_EQ(Run(), UpdateOutcome::kUpToDate);
}

TEST(UpdaterSettingsTest, DefaultsAndTheSettingsFile) {
  testing::TempDir temp;
  UpdaterSettings d = ReadUpdaterSettings(temp / "missing.ini");
  EXPECT_EQ(d.server, kDefaultUpdateServer);
  EXPECT_EQ(std::string(kDefaultUpdateServer), "http://www.tessavo.com/");
  EXPECT_TRUE(d.installer.empty());
  EXPECT_EQ(d.public_key, kReleasePublicKey);
  EXPECT_EQ(DefaultInstallerPath(), ProgramFile().parent_path() / "tessavo-installer");
  EXPECT_EQ(DefaultSaveFolder(), fs::current_path());

  std::string hex(64, 'a');
  testing::WriteFile(temp / "tessavo.ini",
                     "[Form]\nServer=http://wrong/\n[updater]\n server = http://127.0.0.1:81/u/ \n"
                     "INSTALLER=/opt/inst\nPublicKey=" +
                         hex + "\n[Other]\nInstaller=/x\n");
  UpdaterSettings s = ReadUpdaterSettings(temp / "tessavo.ini");
  EXPECT_EQ(s.server, "http://127.0.0.1:81/u/");
  EXPECT_EQ(s.installer, "/opt/inst");
  UpdatePublicKey aa;
  aa.fill(0xaa);
  EXPECT_EQ(s.public_key, aa);

  testing::WriteFile(temp / "bad.ini", "[Updater]\nPublicKey=xyz\n");
  EXPECT_EQ(ReadUpdaterSettings(temp / "bad.ini").public_key, kReleasePublicKey);
}

TEST(UpdaterSettingsTest, VersionFieldsArePaddedAndCut) {
  EXPECT_EQ(SplitVersionFields("a|b"), (std::vector<std::string>{"a", "b", "", "", "", "", ""}));
  EXPECT_EQ(SplitVersionFields("1|2|3|4|5|6|7|8|9"),
            (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(SplitVersionFields("no bars").size(), 7u);
}

}  // namespace
}  // namespace tessavo
