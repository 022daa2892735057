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

namespace tessavo {

class Blog;
class Host;

// Record limits of the two Publish buttons.
constexpr int kPublishAllLimit = 999999;  // "Publish to Web"
constexpr int kPublishNextLimit = 10;     // "Publish Next 10"

struct PublishResult {
  // True when the run walked the page records and wrote its summary line. False when it
  // stopped early: options missing, logon failed, the target directory could not be
  // entered or created, the directory confirmation was cancelled, the destination could
  // not be used, or another run was in progress.
  bool completed = false;
  int processed = 0;  // records uploaded/copied, deleted or failed
  int errors = 0;     // failed uploads, copies and deletions
  int skipped = 0;    // records over the limit, left for the next run
};

// The Publish buttons: file copy when the "Publishing Location" option is 1, otherwise
// FTP. `next10` selects the limit of "Publish Next 10". The log is not cleared. While a
// run is in progress a second call returns at once (completed false) and does nothing.
// Store errors (the blog file cannot be written) propagate as tessavo::Error after the
// connection has been released.
PublishResult PublishSite(Blog& blog, Host& host, bool next10);

// The two publishers with an explicit record limit.
PublishResult PublishByFtp(Blog& blog, Host& host, int limit);
PublishResult PublishByFileCopy(Blog& blog, Host& host, int limit);

}  // namespace tessavo
