// The walk over the page records with several connections at once (internal to
// src/publish).
//
// Over a slow link every file costs a few round trips however small it is; with N
// connections N files travel at the same time. The blog and the Host stay with the
// calling thread: it walks the records, writes the "...Uploading" and "...Deleting" lines
// as it hands the work out, and marks each record (or removes it) when its connection
// reports the transfer done. The connections only transfer, each on a thread of its own,
// and give back the log lines they gathered, which the calling thread writes whole.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "publish/publish_common.h"
#include "util/host.h"

namespace tessavo::publish_detail {

struct LogLine {
  LogColor color;
  std::string text;
};

// One connection of a parallel run. Used by one thread at a time; never touches the blog
// or the Host.
class TransferConnection {
 public:
  virtual ~TransferConnection() = default;
  // Sends the local file `local` under the remote name `key`; false on failure.
  virtual bool Send(const std::string& local, const std::string& key) = 0;
  // Deletes the remote file `key`; false on failure.
  virtual bool Remove(const std::string& key) = 0;
  // The red lines that report the last failure.
  virtual std::vector<LogLine> FailureReport() = 0;
  // False once the connection is lost and can take no further work.
  virtual bool Usable() = 0;
  // The lines gathered since the last call (the conversation, when it is shown).
  virtual std::vector<LogLine> TakeLines() = 0;
};

// Walks the page records as WalkPages does, with the same limit and key rules, and hands
// each transfer to an idle connection. A failed transfer is reported as in a
// one-connection run ("...KEY upload failed." or "...KEY not deleted." and the failure
// report) and its record stays; a connection that is lost takes no further work while
// the others go on; once none is left, the remaining records are left for the next run
// and counted as skipped.
void WalkPagesInParallel(Blog& blog, Host& host, PageWalk& walk,
                         const std::filesystem::path& output,
                         std::vector<std::unique_ptr<TransferConnection>>& connections);

}  // namespace tessavo::publish_detail
