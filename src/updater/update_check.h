// The update check: asks the update server whether a newer version of Tessavo exists,
// downloads the update package, verifies it and, with the person's consent, hands it to
// the installer program, after which the program must end so that the installer can
// replace it.
//
// The desktop's updater window and `tessavo-cli update-check` drive the same UpdateCheck:
// questions and error boxes go through the Host, and what the window shows (its log, the
// byte counter, the progress bar and the Stop Download button) through an UpdateView.
//
// The server holds three files below its address: the version file updater_200701.txt,
// the package updater_200701.dat and its detached signature updater_200701.sig. The
// version file is one text of fields separated by "|": field 2 is the announced version
// number, field 5 the CRC-32 of the package (compared with the absolute value of the
// signed CRC), field 6 its MD5 in hexadecimal (any letter case), field 7 the end marker
// "eof" (any letter case). The package is saved as updater_200701.dat in the save folder
// and refused, as damaged, unless its CRC, MD5 and signature all hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "updater/update_signature.h"
#include "util/host.h"
#include "util/web_address.h"

namespace tessavo {

class THTTPSend;

// The project's own update server, used when the settings name none.
constexpr const char* kDefaultUpdateServer = kProductWebAddress;
constexpr const char* kVersionFileName = "updater_200701.txt";
constexpr const char* kPackageFileName = "updater_200701.dat";
constexpr const char* kSignatureFileName = "updater_200701.sig";
// The fixed word the installer expects after the package name.
constexpr const char* kInstallerWord = "VANTRO";
constexpr const char* kDefaultInstallerName = "tessavo-installer";
// The version below which the running program is the newest.
constexpr int64_t kRunningVersion = 10;
// Size limits of the small files (the package has the HTTP client's own limit).
constexpr int64_t kMaxVersionFileBytes = int64_t{1} << 20;
constexpr int64_t kMaxSignatureFileBytes = 4096;

struct UpdaterSettings {
  // The address the three files lie below ("http://host[:port]/[folder/]").
  std::string server = kDefaultUpdateServer;
  // The installer program; empty: tessavo-installer beside the program file.
  std::filesystem::path installer;
  // Where the package is saved; empty: DefaultSaveFolder() at the time of the check.
  std::filesystem::path save_folder;
  // The key that must have signed the package.
  UpdatePublicKey public_key = kReleasePublicKey;
};

// Reads the [Updater] section of the settings file `ini_file` over the defaults:
// "Server" (the address), "Installer" (a path) and "PublicKey" (64 hexadecimal digits; any
// other text leaves the release key). A missing or unreadable file gives the defaults.
UpdaterSettings ReadUpdaterSettings(const std::filesystem::path& ini_file);

// tessavo-installer in the folder of the program file.
std::filesystem::path DefaultInstallerPath();
// The current folder when it is writable, else the program folder.
std::filesystem::path DefaultSaveFolder();

// What the updater window shows. Every call comes from the thread that runs the check.
class UpdateView {
 public:
  virtual ~UpdateView() = default;
  // Appends a line to the log (memUpdate).
  virtual void AddLogLine(const std::string& text) = 0;
  // The bytes received so far in the current transfer (lblBytes).
  virtual void ShowBytes(int64_t total) = 0;
  // The progress bar's value, 0 to 100 (ProgressBar1).
  virtual void ShowProgress(int percent) = 0;
  // Enables or disables the Stop Download button (btnStopDownload).
  virtual void EnableStopDownload(bool enabled) = 0;
};

// How a check ended.
enum class UpdateOutcome {
  kBusy,              // a check was already running; nothing was done
  kUpToDate,          // "You are running the newest version of Tessavo."
  kNewerAvailable,    // a newer version exists (a check without download ends here)
  kDeclined,          // the package verified and the person answered No
  kCancelled,         // Stop Download ended the check
  kFailed,            // an error line or error box ended the check
  kInstallerStarted,  // the installer runs: the program must end now
};

// True when the front end must end the program now (the installer replaces it).
inline bool MustExitNow(UpdateOutcome outcome) {
  return outcome == UpdateOutcome::kInstallerStarted;
}

// The bar's value for `total` bytes of a transfer that announced `size` bytes:
// total × 100 / (size + 100), clamped to 0 to 100.
int ProgressPercent(int64_t total, int64_t size);

// The first seven "|"-separated fields of a version file (15 "|" are added first, so
// missing fields read as empty).
std::vector<std::string> SplitVersionFields(const std::string& text);

// How a window drives it: it implements UpdateView over its controls (Stop Download starts
// disabled), creates one UpdateCheck with ReadUpdaterSettings(ProgramFolder() /
// "tessavo.ini"), calls CheckForUpdate from Check for Update and StopDownload from Stop
// Download, and ends the program when MustExitNow(outcome). Events run during the check
// (Host::ProcessEvents), so a window asked to close while running() should call
// StopDownload and close once CheckForUpdate has returned.
class UpdateCheck {
 public:
  // `host` and `view` must outlive the object.
  UpdateCheck(Host& host, UpdateView& view, UpdaterSettings settings);
  ~UpdateCheck();
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  // Check for Update. With `download` off the check ends once it knows whether a newer
  // version exists, before anything is downloaded. Stop Download is enabled while the check
  // runs and disabled when it ends, on every path. Returns at once with kBusy when called
  // again while a check runs (from a window event processed during the check).
  UpdateOutcome CheckForUpdate(bool download = true);

  // Stop Download: the check ends at its next cancel test, and the running transfer (if
  // any) is aborted. Meant to be called from an event processed during the check.
  void StopDownload();

  bool running() const { return running_; }
  // The server's name in log lines: the host of the address, with ":port" when it names one.
  std::string ServerName() const;
  // The saved package of the last check that got that far (empty before).
  const std::filesystem::path& package_path() const { return package_path_; }

 private:
  UpdateOutcome RunSteps(bool download);
  // GETs `name` below the server's address with a fresh client; returns the document.
  // `show_progress` drives the byte counter and the bar.
  std::string Fetch(const std::string& name, int64_t max_bytes, bool show_progress);
  void OnBlock(THTTPSend* client, size_t bytes, bool show_progress);
  UpdateOutcome VerifyAndInstall(const std::vector<std::string>& fields);
  UpdateOutcome RefusePackage();
  UpdateOutcome StartInstaller(const std::string& verified_bytes);
  void Log(const std::string& text) { view_.AddLogLine(text); }
  std::string FileAddress(const std::string& name) const;

  Host& host_;
  UpdateView& view_;
  UpdaterSettings settings_;
  THTTPSend* current_ = nullptr;  // the client of the transfer in progress
  int64_t total_bytes_ = 0;
  bool cancel_ = false;
  bool running_ = false;
  std::filesystem::path package_path_;
};

}  // namespace tessavo
