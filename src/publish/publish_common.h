// Pieces shared by the FTP and the file-copy publisher (internal to src/publish).
#pragma once

#include <string>

#include "publish/publish.h"

namespace tessavo {

struct PageRecord;

namespace publish_detail {

// `text` without leading and trailing blanks and control characters.
std::string Trim(const std::string& text);

// Marks one page record published: its published CRC becomes the generated CRC it had
// when the file was sent. Runs as its own transaction.
void MarkPublished(Blog& blog, const PageRecord& sent);

// A record whose key is not a bare file name is never sent and never deleted at the
// destination. A never-published orphan just loses its row (nothing can exist remotely);
// otherwise a red line is written and true returned (counted as an error).
bool RefuseUnsafeKey(Blog& blog, Host& host, const PageRecord& rec);

// The file-copy run, without the guard against a second run.
PublishResult RunFileCopy(Blog& blog, Host& host, int limit);

}  // namespace publish_detail
}  // namespace tessavo
