#include "updater/update_check.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>

#include "updater/http_client.h"
#include "updater/installer_launch.h"
#include "util/crc32.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/md5.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

constexpr const char* kVersionFileError =
    "Error. Failed to retrieve version file information from ";
constexpr const char* kUpdateFileError = "Error. Failed to retrieve update file from ";
constexpr const char* kPackageRefused = "Error downloading updates. Sorry.";
// Longest value an error box repeats.
constexpr size_t kShownValueBytes = 80;

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// A whole number: an optional sign and decimal digits, nothing else, within 18 digits.
std::optional<int64_t> WholeNumber(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size() || text.size() - i > 18) return std::nullopt;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

// The error box of a field that is not a whole number. The value comes from the network:
// it is cut short and its control bytes are shown as "?".
std::string NotANumberText(const std::string& value) {
  std::string shown = value.substr(0, kShownValueBytes);
  for (char& c : shown) {
    auto u = static_cast<unsigned char>(c);
    if (u < ' ' || u == 0x7f) c = '?';
  }
  if (value.size() > kShownValueBytes) shown += "...";
  return "'" + shown + "' is not a valid integer value";
}

bool FolderWritable(const std::filesystem::path& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

UpdaterSettings ReadUpdaterSettings(const std::filesystem::path& ini_file) {
  UpdaterSettings settings;
  std::ifstream in(ini_file, std::ios::binary);
  if (!in) return settings;
  bool in_section = false;
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      in_section = line.back() == ']' && Lower(Trim(line.substr(1, line.size() - 2))) == "updater";
      continue;
    }
    size_t eq = line.find('=');
    if (!in_section || eq == std::string::npos) continue;
    std::string key = Lower(Trim(line.substr(0, eq)));
    std::string value = Trim(line.substr(eq + 1));
    if (key == "server" && !value.empty()) {
      settings.server = value;
    } else if (key == "installer" && !value.empty()) {
      settings.installer = value;
    } else if (key == "publickey") {
      if (auto key_bytes = PublicKeyFromHex(value)) settings.public_key = *key_bytes;
    }
  }
  return settings;
}

std::filesystem::path DefaultInstallerPath() {
  return ProgramFile().parent_path() / kDefaultInstallerName;
}

std::filesystem::path DefaultSaveFolder() {
  std::error_code ec;
  std::filesystem::path current = std::filesystem::current_path(ec);
  if (!ec && FolderWritable(current)) return current;
  return ProgramFolder();
}

int ProgressPercent(int64_t total, int64_t size) {
  int64_t percent = total * 100 / (std::max<int64_t>(size, 0) + 100);
  return static_cast<int>(std::clamp<int64_t>(percent, 0, 100));
}

std::vector<std::string> SplitVersionFields(const std::string& text) {
  // Only the first seven fields are ever looked at, so a huge version file is not split
  // into millions of pieces.
  std::string padded = text + std::string(15, '|');
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() < 7) {
    size_t bar = padded.find('|', start);
    fields.push_back(padded.substr(start, bar - start));
    start = bar + 1;
  }
  return fields;
}

UpdateCheck::UpdateCheck(Host& host, UpdateView& view, UpdaterSettings settings)
    : host_(host), view_(view), settings_(std::move(settings)) {}

UpdateCheck::~UpdateCheck() = default;

std::string UpdateCheck::ServerName() const {
  HttpAddress address;
  if (!ParseHttpAddress(settings_.server, address)) return settings_.server;
  std::string host =
      address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
  return address.port == "80" ? host : host + ":" + address.port;
}

std::string UpdateCheck::FileAddress(const std::string& name) const {
  std::string base = settings_.server;
  if (base.empty() || base.back() != '/') base += '/';
  return base + name;
}

UpdateOutcome UpdateCheck::CheckForUpdate(bool download) {
  if (running_) return UpdateOutcome::kBusy;
  running_ = true;
  view_.EnableStopDownload(true);
  Log("Checking for Updates...");
  cancel_ = false;
  UpdateOutcome outcome;
  try {
    outcome = RunSteps(download);
  } catch (const Error& e) {
    host_.ShowError(e.what());
    outcome = UpdateOutcome::kFailed;
  }
  // Finishing, on every path.
  current_ = nullptr;
  view_.EnableStopDownload(false);
  running_ = false;
  return outcome;
}

void UpdateCheck::StopDownload() {
  host_.ProcessEvents();
  cancel_ = true;
  Log("Error: Cancel was requested");
  if (current_ != nullptr) current_->Abort();
  host_.ProcessEvents();
}

void UpdateCheck::OnBlock(THTTPSend* client, size_t bytes, bool show_progress) {
  if (show_progress) {
    total_bytes_ += static_cast<int64_t>(bytes);
    view_.ShowBytes(total_bytes_);
    view_.ShowProgress(ProgressPercent(total_bytes_, client->DownloadSize));
  }
  host_.ProcessEvents();
}

std::string UpdateCheck::Fetch(const std::string& name, int64_t max_bytes, bool show_progress) {
  THTTPSend client;
  client.MaxDocumentSize = max_bytes;
  if (show_progress) {
    total_bytes_ = 0;
    view_.ShowBytes(0);
    view_.ShowProgress(0);
  }
  client.OnStatus = [this, show_progress](THTTPSend* sender, size_t bytes) {
    OnBlock(sender, bytes, show_progress);
  };
  current_ = &client;
  // The reply code is not tested: a failed or refused transfer leaves a short document,
  // which the steps below report.
  client.HTTPMethod("GET", FileAddress(name));
  current_ = nullptr;
  return client.Document.str();
}

UpdateOutcome UpdateCheck::RunSteps(bool download) {
  std::string version_text = Fetch(kVersionFileName, kMaxVersionFileBytes, true);
  if (version_text.size() < 10) {
    Log(kVersionFileError + ServerName());
    return UpdateOutcome::kFailed;
  }
  if (cancel_) return UpdateOutcome::kCancelled;

  std::vector<std::string> fields = SplitVersionFields(version_text);
  version_text.clear();
  if (Lower(fields[6]) != "eof") {
    Log(kVersionFileError + ServerName());
    return UpdateOutcome::kFailed;
  }
  std::optional<int64_t> version = WholeNumber(fields[1]);
  if (!version) {
    host_.ShowError(NotANumberText(fields[1]));
    return UpdateOutcome::kFailed;
  }
  if (*version < kRunningVersion) {
    Log("You are running the newest version of Tessavo.");
    return UpdateOutcome::kUpToDate;
  }
  if (!download) {
    Log("A newer version of Tessavo is available.");
    return UpdateOutcome::kNewerAvailable;
  }
  Log("A newer version of Tessavo is available. Downloading...");

  std::string package = Fetch(kPackageFileName, kMaxHttpDocumentBytes, true);
  if (package.size() < 10) {
    Log(kUpdateFileError + ServerName());
    return UpdateOutcome::kFailed;
  }
  std::filesystem::path folder =
      settings_.save_folder.empty() ? DefaultSaveFolder() : settings_.save_folder;
  package_path_ = folder / kPackageFileName;
  WriteFileAtomic(package_path_, package);
  package.clear();
  if (cancel_) return UpdateOutcome::kCancelled;
  return VerifyAndInstall(fields);
}

UpdateOutcome UpdateCheck::VerifyAndInstall(const std::vector<std::string>& fields) {
  uint32_t crc = CalculateCRC32File(package_path_, &host_);
  std::string md5 = DigestToHex(FileDigestMD5(package_path_));
  std::optional<int64_t> announced_crc = WholeNumber(fields[4]);
  if (!announced_crc) {
    host_.ShowError(NotANumberText(fields[4]));
    return UpdateOutcome::kFailed;
  }
  // The absolute value is taken in 64 bits, so the CRC 0x80000000 reads 2147483648.
  int64_t crc_value = CrcToSigned(crc);
  if (crc_value < 0) crc_value = -crc_value;
  if (crc_value != *announced_crc || md5 != Lower(fields[5])) {
    Log(kPackageRefused);
    return UpdateOutcome::kFailed;
  }

  // The checksums come from the same server as the package; only the signature shows that
  // we released it.
  std::string signature = Fetch(kSignatureFileName, kMaxSignatureFileBytes, false);
  if (cancel_) {
    std::error_code ec;
    std::filesystem::remove(package_path_, ec);
    return UpdateOutcome::kCancelled;
  }
  std::string bytes = ReadWholeFile(package_path_);
  if (!VerifyUpdateSignature(bytes, signature, settings_.public_key)) return RefusePackage();

  if (!host_.ConfirmYesNo("Install Updates?")) return UpdateOutcome::kDeclined;
  return StartInstaller(bytes);
}

UpdateOutcome UpdateCheck::RefusePackage() {
  Log(kPackageRefused);
  std::error_code ec;
  std::filesystem::remove(package_path_, ec);
  return UpdateOutcome::kFailed;
}

UpdateOutcome UpdateCheck::StartInstaller(const std::string& verified_bytes) {
  // The question may have stood open for a long time: hand over only the bytes that were
  // verified.
  std::string now;
  try {
    now = ReadWholeFile(package_path_);
  } catch (const Error&) {
    return RefusePackage();
  }
  if (now != verified_bytes) return RefusePackage();

  std::filesystem::path installer =
      settings_.installer.empty() ? DefaultInstallerPath() : settings_.installer;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(installer, ec)) {
    Log("Error. The installer program " + installer.string() + " was not found.");
    return UpdateOutcome::kFailed;
  }
  std::string error;
  if (!StartDetachedProgram(installer, {kPackageFileName, kInstallerWord},
                            package_path_.parent_path(), error)) {
    Log("Error. The installer program " + installer.string() + " could not be started: " + error);
    return UpdateOutcome::kFailed;
  }
  return UpdateOutcome::kInstallerStarted;
}

}  // namespace tessavo
