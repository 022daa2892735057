// Date texts of the generator: entry dates by the "Entry Date Format" option, date
// patterns, RFC 822 feed dates, and the week-of-month rule shared by archive pages and
// permalinks.
//
// Month names and the time separator come from the C library's LC_TIME data (under the
// C locale: English names and a colon). Feed dates never follow the locale.
#pragma once

#include <string>
#include <string_view>

#include "util/datetime.h"

namespace tessavo {

// The week an archive groups a date into. Weeks run Monday to Sunday and belong to the
// month that holds their Thursday, so year and month can differ from the date's own
// near a month's end: 2006-01-30 is week 1 of 2006-02, 2006-01-01 week 5 of 2005-12.
struct MonthWeek {
  int year = 0;
  int month = 0;
  int week = 0;  // 1..5
};
MonthWeek WeekOfMonth(const DateTime& date);

// year * 1000 + month * 10 + week of WeekOfMonth (2006021).
int WeekKey(const DateTime& date);

// ISO weekday, Monday 1 .. Sunday 7.
int IsoWeekday(const DateTime& date);

// Formats `date` by a pattern: "yyyy" year, "mmmm" full month name (locale), "mm" month
// with two digits, "dd" / "d" day with / without leading zero, "hh" / "h" hour with /
// without leading zero (12-hour clock when the pattern holds "am/pm"), "nn" minutes,
// "ss" seconds, "am/pm" replaced by "am" before noon and "pm" from noon on, ":" the
// locale's time separator; every other character stands for itself.
std::string FormatDatePattern(const DateTime& date, std::string_view pattern);

// Appends `value` in decimal with at least `width` digits, zero-padded (as "%0*d").
void AppendZeroPadded(std::string& out, int value, int width);

// "yyyy-mm-dd" (four-digit year, two-digit month and day).
std::string IsoDateText(const DateTime& date);
// The year with at least four digits ("%04d").
std::string YearText(int year);

// Full month name of month 1..12 from LC_TIME ("January" under the C locale).
std::string LongMonthName(int month);
// The time separator of LC_TIME (":" under the C locale).
std::string TimeSeparator();

// The short (EntryDate) and long (EntryDateWords) texts of an entry date for a value of
// option 106 "Entry Date Format"; values outside 0..7 behave as 0.
struct EntryDateTexts {
  std::string short_text;
  std::string long_text;
};
EntryDateTexts EntryDates(const DateTime& date, int entry_date_format);

// "Sun, 5 Mar 2006 14:05:00 +0100": English names, colons always, offset in minutes east
// of UTC written as sign and "hhmm" (zero is "+0000").
std::string Rfc822Date(const DateTime& date, int utc_offset_minutes);
// Rfc822Date with the system's offset from UTC at this moment.
std::string Rfc822Date(const DateTime& date);
// The system's offset from UTC now, in minutes east (daylight saving time included).
int LocalUtcOffsetMinutes();
// The system's offset from UTC in force at the local date and time `date` (its daylight
// saving time included), in minutes east.
int LocalUtcOffsetMinutesAt(const DateTime& date);

// "2006-03-05T14:05:09+01:00" (RFC 3339, the form of Atom, JSON Feed and sitemaps), the
// offset in minutes east of UTC ("+00:00" for zero).
std::string Rfc3339Date(const DateTime& date, int utc_offset_minutes);
// Rfc3339Date with the local offset in force at that date.
std::string Rfc3339Date(const DateTime& date);

}  // namespace tessavo
