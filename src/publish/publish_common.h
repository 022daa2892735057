// Pieces shared by the FTP and the file-copy publisher (internal to src/publish).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "publish/publish.h"

namespace tessavo {

struct PageRecord;
struct BlogOptionsRec;

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
  int skipped = 0;  // records over the limit

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

// The SFTP run, without the guard against a second run.
PublishResult RunSftp(Blog& blog, Host& host, const PublishOptions& options);

// The password of this run: the environment's kPasswordVariable when it is set and not
// empty, else the "FTP Password" option.
std::string RunPassword(const BlogOptionsRec& options);

// `text` with `secret` shown as asterisks: a "PASS secret" command always, and every other
// occurrence when the secret is at least three characters long (a shorter one would blot
// out ordinary words).
std::string MaskSecret(const std::string& text, const std::string& secret);

// Verify: marks every published record whose file `remote` (name -> size) lacks, or holds
// with another size than the local file in `output`, as not published, with a line for
// each. Returns how many were marked.
int MarkWrongRemoteFiles(Blog& blog, Host& host, const std::filesystem::path& output,
                         const std::map<std::string, int64_t>& remote);
// The line that says how many files verify found wrong.
void WriteVerifySummary(Host& host, int wrong);

}  // namespace publish_detail
}  // namespace tessavo
