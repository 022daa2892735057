// Addresses of entries on the generated site.
#pragma once

#include <string>
#include <string_view>

#include "store/blog_rec.h"
#include "util/datetime.h"

namespace tessavo {

// The name (without prefix and extension) of the archive page that holds a date, by
// option 104 "Archive by Date": 0 "yyyymm", 1 week key + "w" ("2006021w"), 2 "yyyymmdd".
// Other values are treated as 0.
std::string ArchivePageName(const DateTime& date, int archive_by_date);

// The permalink of an entry: for an article (type 1) prefix + BlogPageName + ext; for any
// other entry prefix + ArchivePageName + ext + "#e" + BlogKey.
std::string EntryPermalink(const BlogRec& entry, int archive_by_date, std::string_view prefix,
                           std::string_view ext);

}  // namespace tessavo
