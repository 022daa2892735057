#include "generator/permalink.h"

#include <cstdio>

#include "generator/dates.h"

namespace tessavo {

std::string ArchivePageName(const DateTime& date, int archive_by_date) {
  char buf[32];
  if (archive_by_date == 1) {
    std::snprintf(buf, sizeof buf, "%dw", WeekKey(date));
  } else if (archive_by_date == 2) {
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year, date.month, date.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d%02d", date.year, date.month);
  }
  return buf;
}

std::string EntryPermalink(const BlogRec& entry, int archive_by_date, std::string_view prefix,
                           std::string_view ext) {
  std::string link(prefix);
  if (entry.type == kArticle) {
    link += entry.page_name;
    link += ext;
    return link;
  }
  link += ArchivePageName(entry.date_time, archive_by_date);
  link += ext;
  link += "#e";
  link += std::to_string(entry.key);
  return link;
}

}  // namespace tessavo
