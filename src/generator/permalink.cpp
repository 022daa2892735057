#include "generator/permalink.h"

#include "generator/dates.h"

namespace tessavo {

std::string ArchivePageName(const DateTime& date, int archive_by_date) {
  std::string name;
  name.reserve(12);
  if (archive_by_date == 1) {
    AppendZeroPadded(name, WeekKey(date), 1);
    name.push_back('w');
  } else {
    AppendZeroPadded(name, date.year, 4);
    AppendZeroPadded(name, date.month, 2);
    if (archive_by_date == 2) AppendZeroPadded(name, date.day, 2);
  }
  return name;
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
