// Publishing: makes a web server (FTP) or a destination folder (file copy) match the
// blog's output folder, driven by the page records.
//
// A file whose generated CRC differs from its published CRC is sent and its record marked
// published right after the transfer succeeded, each record in its own transaction, so a
// run that is interrupted at any point is simply repeated and sends only what is still
// outstanding. A record whose generated CRC is 0 (an orphan) is deleted at the
// destination and its record removed. Every step is reported as a Publish log line
// through the blog's Host.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessavo {

class Blog;
class Host;

// Record limits of the two Publish buttons.
constexpr int kPublishAllLimit = 999999;  // "Publish to Web"
constexpr int kPublishNextLimit = 10;     // "Publish Next 10"

// The values of the "Publishing Location" option.
enum PublishingLocation : int {
  kPublishByFtp = 0,
  kPublishByFileCopy = 1,
  kPublishByFtps = 2,  // explicit FTPS (AUTH TLS)
  kPublishBySftp = 3,
};

// The port used when the "FTP Port" option is empty: 22 for SFTP, else 21.
const char* DefaultPortFor(int location);

// Most connections a run opens at once.
constexpr int kMaxPublishConnections = 16;
// Connections a run opens when the program's settings say nothing.
constexpr int kDefaultPublishConnections = 4;

// How a run goes, beyond the record limit.
struct PublishOptions {
  int limit = kPublishAllLimit;
  // FTP, FTPS and SFTP: files sent at once over as many connections (1 to
  // kMaxPublishConnections). 1 is the one-connection run with its exact log.
  int connections = 1;
  // Before the walk, list the target directory and mark every published file that the
  // server lacks or holds with another size as not published, so that it is sent again.
  bool verify = false;
};

// The program's publishing settings: the [Publish] section of the settings file
// (Connections=N). A missing file or key gives the defaults; values are kept within 1 to
// kMaxPublishConnections.
struct PublishSettings {
  int connections = kDefaultPublishConnections;
  // SFTP logon with this private key file (OpenSSH format) before the password; empty:
  // password only.
  std::filesystem::path sftp_key_file;
};
PublishSettings ReadPublishSettings(const std::filesystem::path& ini_file);

// The environment variable whose value, when set and not empty, is used as the FTP password
// for a run instead of the stored option, so that scripts need not store it.
constexpr const char* kPasswordVariable = "TESSAVO_FTP_PASSWORD";

struct PublishResult {
  // True when the run walked the page records and wrote its summary line. False when it
  // stopped early: options missing, logon failed, the target directory could not be
  // entered or created, the directory confirmation was cancelled, the destination could
  // not be used, or another run was in progress.
  bool completed = false;
  int processed = 0;       // records uploaded/copied, deleted or failed
  int errors = 0;          // failed uploads, copies and deletions
  int skipped = 0;         // records over the limit, left for the next run
  int verified_wrong = 0;  // verify: published files missing or of another size remotely
};

// What a run would do now, found without touching the server or the records.
struct PublishPlan {
  std::string location;              // "FTP", "FTPS", "SFTP" or "File Copy"
  std::vector<std::string> send;     // page keys whose files would be sent, in walk order
  std::vector<std::string> remove;   // page keys whose remote files would be deleted
  std::vector<std::string> refused;  // keys that cannot be used at a destination (errors)
  int skipped = 0;                   // records over the limit
};
PublishPlan PlanPublish(const Blog& blog, int limit);

// Writes the plan as Publish log lines: "Would send KEY", "Would delete KEY", the refused
// keys in red, then a summary line.
void ShowPublishPlan(Host& host, const PublishPlan& plan);

// The Publish buttons: file copy when the "Publishing Location" option is 1, otherwise
// FTP. `next10` selects the limit of "Publish Next 10". The log is not cleared. While a
// run is in progress a second call returns at once (completed false) and does nothing.
// Store errors (the blog file cannot be written) propagate as tessavo::Error after the
// connection has been released.
PublishResult PublishSite(Blog& blog, Host& host, bool next10);
// The same with the options of the run (parallel connections, verify).
PublishResult PublishSite(Blog& blog, Host& host, const PublishOptions& options);

// The two publishers with an explicit record limit.
PublishResult PublishByFtp(Blog& blog, Host& host, int limit);
PublishResult PublishByFileCopy(Blog& blog, Host& host, int limit);
// FTP (tls false) or FTPS (tls true), and SFTP, with the run's options.
PublishResult PublishByFtp(Blog& blog, Host& host, const PublishOptions& options, bool tls);
PublishResult PublishBySftp(Blog& blog, Host& host, const PublishOptions& options);

}  // namespace tessavo
