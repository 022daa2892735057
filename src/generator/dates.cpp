#include "generator/dates.h"

#include <langinfo.h>

#include <cctype>
#include <cstdio>
#include <ctime>

namespace tessavo {

namespace {

// Pattern letters are ASCII, so ASCII case folding is all a pattern needs.
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Length of the run of `c` (either letter case) that starts at pattern[i].
size_t RunLength(std::string_view pattern, size_t i, char c) {
  size_t n = 0;
  while (i + n < pattern.size() && LowerAscii(pattern[i + n]) == c) ++n;
  return n;
}

bool StartsWithNoCase(std::string_view text, size_t i, std::string_view what) {
  if (text.size() - i < what.size()) return false;
  for (size_t k = 0; k < what.size(); ++k) {
    if (LowerAscii(text[i + k]) != what[k]) return false;
  }
  return true;
}

// The separator that follows the hour in a strftime time format, or "" when none shows.
std::string SeparatorAfterHour(const char* format, int depth) {
  if (format == nullptr || depth > 2) return "";
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%' || p[1] == '\0') continue;
    char conv = p[1];
    if (conv == 'E' || conv == 'O') conv = p[2];
    switch (conv) {
      case 'T':
      case 'R':
        return ":";
      case 'r':
        return SeparatorAfterHour(nl_langinfo(T_FMT_AMPM), depth + 1);
      case 'H':
      case 'I':
      case 'k':
      case 'l': {
        const char* after = p + ((p[1] == 'E' || p[1] == 'O') ? 3 : 2);
        if (*after != '\0' && *after != '%') return std::string(1, *after);
        return "";
      }
      default:
        break;
    }
  }
  return "";
}

}  // namespace

// Appends `value` with at least `width` digits, zero-padded ("%0*d"); the generator formats
// two dates for every entry of every run, so this avoids the printf machinery.
void AppendZeroPadded(std::string& out, int value, int width) {
  if (value < 0 || value > 99999999) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    out += buf;
    return;
  }
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int pad = width - n; pad > 0; --pad) out.push_back('0');
  while (n > 0) out.push_back(digits[--n]);
}

std::string IsoDateText(const DateTime& date) {
  std::string out;
  out.reserve(10);
  AppendZeroPadded(out, date.year, 4);
  out.push_back('-');
  AppendZeroPadded(out, date.month, 2);
  out.push_back('-');
  AppendZeroPadded(out, date.day, 2);
  return out;
}

std::string YearText(int year) {
  std::string out;
  AppendZeroPadded(out, year, 4);
  return out;
}

int IsoWeekday(const DateTime& date) {
  // DayOfWeek: 1 Sunday .. 7 Saturday.
  return (date.DayOfWeek() + 5) % 7 + 1;
}

MonthWeek WeekOfMonth(const DateTime& date) {
  const int year = date.year;
  const int month = date.month;
  const int day = date.day;
  DateTime first;
  first.year = year;
  first.month = month;
  first.day = 1;
  const int first_weekday = IsoWeekday(first);
  int n = first_weekday >= 5 ? day - (8 - first_weekday) : day + first_weekday - 1;
  if (n <= 0) {
    DateTime last_of_previous;
    last_of_previous.year = month == 1 ? year - 1 : year;
    last_of_previous.month = month == 1 ? 12 : month - 1;
    last_of_previous.day = DateTime::DaysInMonth(last_of_previous.year, last_of_previous.month);
    return WeekOfMonth(last_of_previous);
  }
  const int days = DateTime::DaysInMonth(year, month);
  DateTime last = first;
  last.day = days;
  const int last_weekday = IsoWeekday(last);
  if (last_weekday <= 3 && days - day < last_weekday) {
    return MonthWeek{month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1};
  }
  return MonthWeek{year, month, (n + 6) / 7};
}

int WeekKey(const DateTime& date) {
  MonthWeek w = WeekOfMonth(date);
  return w.year * 1000 + w.month * 10 + w.week;
}

std::string LongMonthName(int month) {
  static constexpr const char* kEnglish[12] = {"January",   "February", "March",    "April",
                                               "May",       "June",     "July",     "August",
                                               "September", "October",  "November", "December"};
  if (month < 1 || month > 12) return "";
  const char* name = nl_langinfo(static_cast<nl_item>(MON_1 + month - 1));
  if (name == nullptr || *name == '\0') return kEnglish[month - 1];
  return name;
}

namespace {
std::string ShortMonthName(int month) {
  static constexpr const char* kEnglish[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (month < 1 || month > 12) return "";
  const char* name = nl_langinfo(static_cast<nl_item>(ABMON_1 + month - 1));
  if (name == nullptr || *name == '\0') return kEnglish[month - 1];
  return name;
}
}  // namespace

std::string TimeSeparator() {
  // Every entry date of a run asks for it; the answer changes only with the locale.
  thread_local std::string format;
  thread_local std::string format_ampm;
  thread_local std::string separator;
  const char* current = nl_langinfo(T_FMT);
  const char* current_ampm = nl_langinfo(T_FMT_AMPM);
  if (current == nullptr) current = "";
  if (current_ampm == nullptr) current_ampm = "";
  if (separator.empty() || format != current || format_ampm != current_ampm) {
    format = current;
    format_ampm = current_ampm;
    separator = SeparatorAfterHour(current, 0);
    if (separator.empty()) separator = ":";
  }
  return separator;
}

std::string FormatDatePattern(const DateTime& date, std::string_view pattern) {
  bool twelve_hour = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (StartsWithNoCase(pattern, i, "am/pm")) twelve_hour = true;
  }
  int hour = date.hour;
  if (twelve_hour) {
    hour %= 12;
    if (hour == 0) hour = 12;
  }
  std::string separator;  // looked up on first use
  std::string out;
  out.reserve(pattern.size() + 16);
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = LowerAscii(pattern[i]);
    if (c == 'a' && StartsWithNoCase(pattern, i, "am/pm")) {
      out += date.hour < 12 ? "am" : "pm";
      i += 5;
      continue;
    }
    size_t run;
    switch (c) {
      case 'y':
        run = RunLength(pattern, i, 'y');
        if (run >= 3) {
          AppendZeroPadded(out, date.year, 4);
          i += run >= 4 ? 4 : 3;
        } else {
          AppendZeroPadded(out, date.year % 100, 2);
          i += run;
        }
        continue;
      case 'm':
        run = RunLength(pattern, i, 'm');
        if (run >= 4) {
          out += LongMonthName(date.month);
          i += 4;
        } else if (run == 3) {
          out += ShortMonthName(date.month);
          i += 3;
        } else if (run == 2) {
          AppendZeroPadded(out, date.month, 2);
          i += 2;
        } else {
          AppendZeroPadded(out, date.month, 1);
          i += 1;
        }
        continue;
      case 'd':
      case 'h':
      case 'n':
      case 's': {
        const int value = c == 'd'   ? date.day
                          : c == 'h' ? hour
                          : c == 'n' ? date.minute
                                     : date.second;
        run = RunLength(pattern, i, c);
        if (run >= 2) {
          AppendZeroPadded(out, value, 2);
          i += 2;
        } else {
          AppendZeroPadded(out, value, 1);
          i += 1;
        }
        continue;
      }
      case ':':
        if (separator.empty()) separator = TimeSeparator();
        out += separator;
        ++i;
        continue;
      default:
        out.push_back(pattern[i]);
        ++i;
    }
  }
  return out;
}

EntryDateTexts EntryDates(const DateTime& date, int entry_date_format) {
  const char* short_pattern = "yyyy-mm-dd hh:nn";
  const char* long_pattern = "mmmm d, yyyy hh:nn";
  switch (entry_date_format) {
    case 1:
      long_pattern = "mmmm d, yyyy  h:nn am/pm";
      break;
    case 2:
      short_pattern = "yyyy-mm-dd";
      long_pattern = "mmmm d, yyyy";
      break;
    case 3:
      long_pattern = "yyyy-mm-dd hh:nn";
      break;
    case 4:
      short_pattern = long_pattern = "yyyy-mm-dd";
      break;
    case 5:
      short_pattern = long_pattern = "dd-mm-yyyy";
      break;
    case 6:
      short_pattern = long_pattern = "dd-mm-yyyy hh:nn";
      break;
    case 7:
      short_pattern = long_pattern = "dd-mm-yyyy h:nn am/pm";
      break;
    default:
      break;
  }
  return EntryDateTexts{FormatDatePattern(date, short_pattern),
                        FormatDatePattern(date, long_pattern)};
}

std::string Rfc822Date(const DateTime& date, int utc_offset_minutes) {
  static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int dow = date.DayOfWeek();
  const char* day_name = dow >= 1 && dow <= 7 ? kDays[dow - 1] : "Sun";
  const char* month_name = date.month >= 1 && date.month <= 12 ? kMonths[date.month - 1] : "Jan";
  char year_time[64];
  std::snprintf(year_time, sizeof year_time, "%04d %02d:%02d:%02d", date.year, date.hour,
                date.minute, date.second);
  const int magnitude = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
  char offset[32];
  std::snprintf(offset, sizeof offset, "%c%.2d%.2d", utc_offset_minutes < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s, %d %s %s %s", day_name, date.day, month_name, year_time,
                offset);
  return buf;
}

int LocalUtcOffsetMinutes() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

std::string Rfc822Date(const DateTime& date) { return Rfc822Date(date, LocalUtcOffsetMinutes()); }

int LocalUtcOffsetMinutesAt(const DateTime& date) {
  std::tm local{};
  local.tm_year = date.year - 1900;
  local.tm_mon = date.month - 1;
  local.tm_mday = date.day;
  local.tm_hour = date.hour;
  local.tm_min = date.minute;
  local.tm_sec = date.second;
  local.tm_isdst = -1;  // let the time zone rules say
  const std::time_t at = std::mktime(&local);
  if (at == static_cast<std::time_t>(-1)) return LocalUtcOffsetMinutes();
  std::tm back{};
  localtime_r(&at, &back);
  return static_cast<int>(back.tm_gmtoff / 60);
}

std::string Rfc3339Date(const DateTime& date, int utc_offset_minutes) {
  const int off = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", date.year, date.month,
                date.day, date.hour, date.minute, date.second, utc_offset_minutes < 0 ? '-' : '+',
                off / 60, off % 60);
  return buf;
}

std::string Rfc3339Date(const DateTime& date) {
  return Rfc3339Date(date, LocalUtcOffsetMinutesAt(date));
}

}  // namespace tessavo
