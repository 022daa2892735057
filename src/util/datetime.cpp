#include "util/datetime.h"

#include <cstdio>
#include <ctime>

namespace tessavo {
namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr int64_t kSerialOf1970 = 25569;  // 1970-01-01 as a day serial

bool ReadNumber(std::string_view text, size_t pos, size_t len, int& out) {
  if (pos + len > text.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + len; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  out = v;
  return true;
}

}  // namespace

DateTime DateTime::Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::optional<DateTime> DateTime::Parse(std::string_view text) {
  DateTime dt;
  if (!ReadNumber(text, 0, 4, dt.year) || text.size() < 10 || text[4] != '-' || text[7] != '-' ||
      !ReadNumber(text, 5, 2, dt.month) || !ReadNumber(text, 8, 2, dt.day)) {
    return std::nullopt;
  }
  dt.hour = dt.minute = dt.second = 0;
  if (text.size() > 10) {
    if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
    if (!ReadNumber(text, 11, 2, dt.hour) || text.size() < 16 || text[13] != ':' ||
        !ReadNumber(text, 14, 2, dt.minute)) {
      return std::nullopt;
    }
    if (text.size() > 16) {
      if (text.size() != 19 || text[16] != ':' || !ReadNumber(text, 17, 2, dt.second)) {
        return std::nullopt;
      }
    }
  }
  if (!dt.IsValid()) return std::nullopt;
  return dt;
}

bool DateTime::IsValid() const {
  return year >= 1899 && year <= 2999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
         minute <= 59 && second >= 0 && second <= 59;
}

std::string DateTime::Format() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return buf;
}

std::string DateTime::Stamp() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute,
                second);
  return buf;
}

int DateTime::DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

int64_t DateTime::DaySerial() const {
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
         kSerialOf1970;
}

DateTime DateTime::FromDaySerial(int64_t serial) {
  int64_t z = serial - kSerialOf1970 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  DateTime dt;
  dt.year = static_cast<int>(y + (m <= 2));
  dt.month = static_cast<int>(m);
  dt.day = static_cast<int>(d);
  return dt;
}

int DateTime::DayOfWeek() const {
  // 1899-12-30 (serial 0) was a Saturday (7).
  int64_t r = DaySerial() % 7;
  if (r < 0) r += 7;
  return static_cast<int>((r + 6) % 7) + 1;
}

}  // namespace tessavo
