// A scripted update server on 127.0.0.1 for the window tests: it serves the version file,
// the package and the package's signature below /updates/, each reply chosen by the test and
// sent at once or slowly, with a key pair made for the test. WriteSettings points a settings
// file at it, and WriteFakeInstaller makes an installer that reports how it was started.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "scripted_http_server.h"
#include "temp_dir.h"
#include "updater/update_signature.h"
#include "util/crc32.h"
#include "util/md5.h"

namespace tessavo::testing {

class UpdateServer {
 public:
  static constexpr const char* kVersionPath = "/updates/updater_200701.txt";
  static constexpr const char* kPackagePath = "/updates/updater_200701.dat";
  static constexpr const char* kSignaturePath = "/updates/updater_200701.sig";

  UpdateServer()
      : server_([this](const ScriptedHttpServer::Request& r, TTCPBlockSocket& conn) {
          return Answer(r, conn);
        }) {
    NewUpdateKeyPair(secret_key_, public_key_);
    package_.resize(20000);
    for (size_t i = 0; i < package_.size(); ++i) {
      package_[i] = static_cast<char>((i * 131 + (i >> 7)) & 0xff);
    }
    PublishRelease(10);
  }

  // The address the files lie below.
  std::string Url() const { return server_.Url("/updates/"); }
  int port() const { return server_.port(); }
  const std::string& package() const { return package_; }
  std::string PublicKeyHex() const {
    return ToHex(
        std::string_view(reinterpret_cast<const char*>(public_key_.data()), public_key_.size()));
  }
  std::vector<std::string> paths() { return server_.paths(); }

  // The version file of a release of the package announced as `version`.
  std::string VersionFile(int version) const {
    int64_t crc = CrcToSigned(CalculateCRC32String(package_));
    return "Tessavo|" + std::to_string(version) + "|2007|01|" +
           std::to_string(crc < 0 ? -crc : crc) + "|" + DigestToHex(DigestMD5(package_)) + "|eof";
  }
  // Serves the version file of `version`, the package and its valid signature.
  void PublishRelease(int version) {
    Serve(kVersionPath, LengthReply(VersionFile(version)));
    Serve(kPackagePath, PackageReply());
    Serve(kSignaturePath, LengthReply(SignUpdate(package_, secret_key_)));
  }
  // The whole reply that carries the package.
  std::string PackageReply() const { return LengthReply(package_); }

  void Serve(const std::string& path, const std::string& raw_reply, bool slowly = false) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = raw_reply;
    if (slowly) {
      slow_.insert(path);
    } else {
      slow_.erase(path);
    }
  }

  // Writes the [Updater] section of the settings file `ini_file`.
  void WriteSettings(const std::filesystem::path& ini_file,
                     const std::filesystem::path& installer) const {
    WriteFile(ini_file, "[Updater]\nServer=" + Url() + "\nInstaller=" + installer.string() +
                            "\nPublicKey=" + PublicKeyHex() + "\n");
  }

 private:
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
      SendSlowly(conn, reply, 512, 20);
    } else {
      conn.SendString(reply);
    }
    return false;
  }

  std::string secret_key_;
  UpdatePublicKey public_key_{};
  std::string package_;
  std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::set<std::string> slow_;
  ScriptedHttpServer server_;  // last: it stops before the rest goes
};

// An installer script in `folder` that writes its working folder, its arguments and their
// count to `report` (through a temporary name, so that a report that exists is whole).
inline std::filesystem::path WriteFakeInstaller(const std::filesystem::path& folder,
                                                const std::filesystem::path& report) {
  std::filesystem::path installer = folder / "fake-installer";
  WriteFile(installer,
            "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"arg:$a\"; done; "
            "echo \"count:$#\"; } > '" +
                report.string() + ".tmp' && mv '" + report.string() + ".tmp' '" + report.string() +
                "'\n");
  chmod(installer.c_str(), 0755);
  return installer;
}

// The fake installer's report, waiting for it (the installer runs detached); empty when it
// did not come within ten seconds.
inline std::string WaitForInstallerReport(const std::filesystem::path& report) {
  for (int i = 0; i < 500 && !std::filesystem::exists(report); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::filesystem::exists(report) ? ReadFile(report) : "";
}

// True when no report came within a short wait.
inline bool InstallerNeverRan(const std::filesystem::path& report) {
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return !std::filesystem::exists(report);
}

}  // namespace tessavo::testing
