// Local date-times to the second, years 1899 to 2999.
//
// This is the one place that formats and parses the dates of the blog file. In the blog
// file a date-time is stored as the text "yyyy-mm-dd hh:nn:ss", which sorts in time order.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessavo {

struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;

  // The local date and time now, to the second.
  static DateTime Now();

  // Accepts "yyyy-mm-dd hh:nn:ss", "yyyy-mm-dd hh:nn", "yyyy-mm-ddThh:nn:ss" and "yyyy-mm-dd".
  // Returns nothing for any other form or an impossible date or time.
  static std::optional<DateTime> Parse(std::string_view text);

  // "yyyy-mm-dd hh:nn:ss": the blog file's stored form and the form used in messages.
  std::string Format() const;
  // "yyyymmddhhnnss": default page and category names.
  std::string Stamp() const;

  // Day of the week, 1 = Sunday ... 7 = Saturday.
  int DayOfWeek() const;
  // Days since 1899-12-30 (the day serial of the date part).
  int64_t DaySerial() const;
  // The date of a day serial, at midnight.
  static DateTime FromDaySerial(int64_t serial);
  // Number of days of the given month.
  static int DaysInMonth(int year, int month);
  bool IsValid() const;

  auto operator<=>(const DateTime&) const = default;
};

}  // namespace tessavo
