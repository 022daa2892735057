#include "generator/dates.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "skip_or_fail.h"
#include "temp_dir.h"

namespace tessavo {
namespace {

DateTime At(const char* text) {
  std::optional<DateTime> d = DateTime::Parse(text);
  EXPECT_TRUE(d.has_value()) << text;
  return d.value_or(DateTime{});
}

class EntryDatesTest : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_TIME, "C"); }
};

TEST_F(EntryDatesTest, EachFormatGivesItsShortAndLongText) {
  const DateTime d = At("2006-03-05 14:05:09");
  struct Case {
    int format;
    const char* short_text;
    const char* long_text;
  };
  const Case cases[] = {
      {0, "2006-03-05 14:05", "March 5, 2006 14:05"},
      {1, "2006-03-05 14:05", "March 5, 2006  2:05 pm"},
      {2, "2006-03-05", "March 5, 2006"},
      {3, "2006-03-05 14:05", "2006-03-05 14:05"},
      {4, "2006-03-05", "2006-03-05"},
      {5, "05-03-2006", "05-03-2006"},
      {6, "05-03-2006 14:05", "05-03-2006 14:05"},
      {7, "05-03-2006 2:05 pm", "05-03-2006 2:05 pm"},
      {9, "2006-03-05 14:05", "March 5, 2006 14:05"},
      {-1, "2006-03-05 14:05", "March 5, 2006 14:05"},
  };
  for (const Case& c : cases) {
    EntryDateTexts t = EntryDates(d, c.format);
    EXPECT_EQ(t.short_text, c.short_text) << "format " << c.format;
    EXPECT_EQ(t.long_text, c.long_text) << "format " << c.format;
  }
}

TEST_F(EntryDatesTest, TwelveHourClockAroundMidnightAndNoon) {
  EXPECT_EQ(EntryDates(At("2006-12-25 00:30:00"), 7).short_text, "25-12-2006 12:30 am");
  EXPECT_EQ(EntryDates(At("2006-12-25 11:59:00"), 7).short_text, "25-12-2006 11:59 am");
  EXPECT_EQ(EntryDates(At("2006-12-25 12:00:00"), 1).long_text, "December 25, 2006  12:00 pm");
  EXPECT_EQ(EntryDates(At("2006-01-09 09:07:00"), 0).long_text, "January 9, 2006 09:07");
}

TEST_F(EntryDatesTest, PatternLettersAndLiterals) {
  const DateTime d = At("2006-01-30 08:04:03");
  EXPECT_EQ(FormatDatePattern(d, "mmmm yyyy"), "January 2006");
  EXPECT_EQ(FormatDatePattern(d, "yyyymmdd"), "20060130");
  EXPECT_EQ(FormatDatePattern(d, "d/m h-n-s [x]"), "30/1 8-4-3 [x]");
  EXPECT_EQ(FormatDatePattern(d, "hh:nn:ss"), "08:04:03");
  EXPECT_EQ(TimeSeparator(), ":");
  EXPECT_EQ(LongMonthName(12), "December");
}

// A locale whose time separator is a full stop and whose month names are Finnish, built
// from the system's locale sources (skipped where those are missing, except in CI).
TEST(LocaleDatesTest, EntryDatesFollowTheLocaleButFeedDatesDoNot) {
  testing::TempDir dir;
  const std::string command =
      "localedef -i fi_FI -f UTF-8 '" + (dir / "fi_FI.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    SKIP_OR_FAIL(
        "cannot build a test locale: localedef needs the locale sources of the Debian "
        "package locales (scripts/setup)");
  }
  const char* old = std::getenv("LOCPATH");
  std::string saved = old ? old : "";
  setenv("LOCPATH", dir.path().c_str(), 1);
  const bool loaded = std::setlocale(LC_TIME, "fi_FI.UTF-8") != nullptr;
  std::string short_text, long_text, separator, feed;
  if (loaded) {
    const DateTime d = At("2006-03-05 14:05:09");
    EntryDateTexts t = EntryDates(d, 0);
    short_text = t.short_text;
    long_text = t.long_text;
    separator = TimeSeparator();
    feed = Rfc822Date(d, 0);
  }
  std::setlocale(LC_TIME, "C");
  if (old) {
    setenv("LOCPATH", saved.c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
  if (!loaded) SKIP_OR_FAIL("the test locale built by localedef does not load");
  EXPECT_EQ(separator, ".");
  EXPECT_EQ(short_text, "2006-03-05 14.05");
  EXPECT_EQ(long_text, "maaliskuu 5, 2006 14.05");
  EXPECT_EQ(feed, "Sun, 5 Mar 2006 14:05:09 +0000");
}

TEST(Rfc822DateTest, EnglishNamesAndOffsets) {
  const DateTime d = At("2006-03-05 14:05:09");
  EXPECT_EQ(Rfc822Date(d, 60), "Sun, 5 Mar 2006 14:05:09 +0100");
  EXPECT_EQ(Rfc822Date(d, 0), "Sun, 5 Mar 2006 14:05:09 +0000");
  EXPECT_EQ(Rfc822Date(d, -300), "Sun, 5 Mar 2006 14:05:09 -0500");
  EXPECT_EQ(Rfc822Date(d, 330), "Sun, 5 Mar 2006 14:05:09 +0530");
  EXPECT_EQ(Rfc822Date(d, -30), "Sun, 5 Mar 2006 14:05:09 -0030");
  EXPECT_EQ(Rfc822Date(At("2007-12-31 00:00:00"), 0), "Mon, 31 Dec 2007 00:00:00 +0000");
}

TEST(Rfc822DateTest, UsesTheSystemOffset) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "XYZ-2", 1);  // two hours east of UTC, no daylight saving
  tzset();
  EXPECT_EQ(LocalUtcOffsetMinutes(), 120);
  EXPECT_EQ(Rfc822Date(At("2006-03-06 01:02:03")), "Mon, 6 Mar 2006 01:02:03 +0200");
  setenv("TZ", "ABC+3:30", 1);
  tzset();
  EXPECT_EQ(LocalUtcOffsetMinutes(), -210);
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(WeekOfMonthTest, WeeksNearTheEdgesOfMonths) {
  EXPECT_EQ(WeekKey(At("2006-01-30")), 2006021);  // Monday: the week's Thursday is in February
  EXPECT_EQ(WeekKey(At("2006-02-02")), 2006021);
  EXPECT_EQ(WeekKey(At("2006-01-01")), 2005125);  // Sunday: last week of December
  EXPECT_EQ(WeekKey(At("2006-01-02")), 2006011);
  EXPECT_EQ(WeekKey(At("2008-12-29")), 2009011);  // rolls over into January
  EXPECT_EQ(WeekKey(At("2008-12-31")), 2009011);
  EXPECT_EQ(WeekKey(At("2008-12-28")), 2008124);
  MonthWeek w = WeekOfMonth(At("2006-01-31"));
  EXPECT_EQ(w.year, 2006);
  EXPECT_EQ(w.month, 2);
  EXPECT_EQ(w.week, 1);
}

TEST(WeekOfMonthTest, EveryWeekRunsMondayToSundayAndBelongsToItsThursdaysMonth) {
  DateTime day = At("1999-12-27");  // a Monday
  const DateTime end = At("2031-01-01");
  while (day < end) {
    ASSERT_EQ(IsoWeekday(day), 1);
    const DateTime thursday = DateTime::FromDaySerial(day.DaySerial() + 3);
    const int expected = thursday.year * 1000 + thursday.month * 10 + (thursday.day + 6) / 7;
    for (int k = 0; k < 7; ++k) {
      const DateTime d = DateTime::FromDaySerial(day.DaySerial() + k);
      ASSERT_EQ(WeekKey(d), expected) << d.Format();
    }
    day = DateTime::FromDaySerial(day.DaySerial() + 7);
  }
}

TEST(ZeroPaddedTest, WritesWhatPrintfWrites) {
  for (int width = 1; width <= 4; ++width) {
    for (int value : {0, 1, 7, 9, 10, 99, 100, 2006, 9999, 10000, 99999999, 100000000, 2147483647,
                      -1, -7, -2006}) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%0*d", width, value);
      std::string out = "x";
      AppendZeroPadded(out, value, width);
      EXPECT_EQ(out, std::string("x") + expected) << value << " width " << width;
    }
  }
  DateTime early;
  early.year = 999;
  early.month = 1;
  early.day = 2;
  EXPECT_EQ(IsoDateText(early), "0999-01-02");
}

}  // namespace
}  // namespace tessavo
