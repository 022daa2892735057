// Pieces shared by the FTP and the file-copy publisher (internal to src/publish).
#pragma once

#include <functional>
#include <string>

#include "publish/publish.h"

namespace tessavo {

struct PageRecord;

namespace publish_detail {

// `text` without leading and trailing blanks and control characters.
std::string Trim(const std::string& text);

// `name` with every control character written out (\r, \n, \0, \xHH), so that a log line
// naming it stays one line and shows what is there.
std::string ShownName(const std::string& name);

// Marks one page record published: its published CRC becomes the generated CRC it had
// when the file was sent. Runs as its own transaction.
void MarkPublished(Blog& blog, const PageRecord& sent);

// Why `key` cannot stand as a file name at a destination (not a bare file name, control
// characters, longer than a file name may be); empty when it can.
std::string UnusableKeyReason(const std::string& key);

// A record whose key cannot be used at the destination is never sent and never deleted
// there. A never-published orphan just loses its row (nothing can exist remotely);
// otherwise a red line naming the key is written and true returned (counted as an error).
bool RefuseUnsafeKey(Blog& blog, Host& host, const PageRecord& rec);

// The counters of one walk over the page records.
struct PageWalk {
  explicit PageWalk(int record_limit) : limit(record_limit) {}
  int limit;
  int processed = 0;  // records sent, deleted or failed
  int errors = 0;
  int skipped = 0;    // records over the limit

  PublishResult Result() const { return {true, processed, errors, skipped}; }
};

// Walks the page records in table order and calls `send` for every record whose file has
// to go to the destination and `remove` for every orphan, while the limit allows;
// records that need no work are passed over, records over the limit counted as skipped,
// and records with unusable keys refused. `send` and `remove` count what they did.
void WalkPages(Blog& blog, Host& host, PageWalk& walk,
               const std::function<void(const PageRecord&)>& send,
               const std::function<void(const PageRecord&)>& remove);

// The skipped line (when records were skipped), then `done` followed by "." when there were
// no errors, else in red followed by " with N error(s).".
void WriteSummary(Host& host, const PageWalk& walk, const std::string& done);

// The file-copy run, without the guard against a second run.
PublishResult RunFileCopy(Blog& blog, Host& host, int limit);

}  // namespace publish_detail
}  // namespace tessavo
