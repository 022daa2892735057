#include "util/datetime.h"

#include <gtest/gtest.h>

namespace tessavo {
namespace {

TEST(DateTimeTest, FormatsAndParsesTheStoredForm) {
  DateTime dt{2006, 1, 30, 7, 5, 9};
  EXPECT_EQ(dt.Format(), "2006-01-30 07:05:09");
  EXPECT_EQ(dt.Stamp(), "20060130070509");
  EXPECT_EQ(DateTime::Parse("2006-01-30 07:05:09"), dt);
  EXPECT_EQ(DateTime::Parse("2006-01-30"), (DateTime{2006, 1, 30, 0, 0, 0}));
  EXPECT_EQ(DateTime::Parse("2006-01-30 07:05"), (DateTime{2006, 1, 30, 7, 5, 0}));
}

TEST(DateTimeTest, RejectsImpossibleDates) {
  EXPECT_FALSE(DateTime::Parse("2006-02-29 00:00:00"));
  EXPECT_TRUE(DateTime::Parse("2004-02-29 00:00:00"));
  EXPECT_FALSE(DateTime::Parse("2006-13-01"));
  EXPECT_FALSE(DateTime::Parse("2006-01-01 24:00:00"));
  EXPECT_FALSE(DateTime::Parse("3000-01-01"));
  EXPECT_FALSE(DateTime::Parse("06-01-01"));
  EXPECT_FALSE(DateTime::Parse("2006-01-01 10:00:00x"));
}

TEST(DateTimeTest, DaySerialsRoundTripAndGiveTheWeekday) {
  EXPECT_EQ((DateTime{1899, 12, 30}).DaySerial(), 0);
  EXPECT_EQ((DateTime{1970, 1, 1}).DaySerial(), 25569);
  EXPECT_EQ((DateTime{2006, 1, 30}).DayOfWeek(), 2);  // a Monday
  EXPECT_EQ((DateTime{2006, 2, 5}).DayOfWeek(), 1);   // a Sunday
  for (int64_t s = -10; s < 400000; s += 97) {
    EXPECT_EQ(DateTime::FromDaySerial(s).DaySerial(), s);
  }
}

}  // namespace
}  // namespace tessavo
