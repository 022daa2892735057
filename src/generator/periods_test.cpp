#include <gtest/gtest.h>

#include "generator/run.h"
#include "generator/site_run.h"

namespace tessavo {
namespace {

TEST(PeriodsTest, KeysAndTitlesOfADate) {
  EntryPeriods p = PeriodsOf(*DateTime::Parse("2006-01-30 10:00:00"));
  EXPECT_EQ(p.month_key, 200601);
  EXPECT_EQ(p.week_key, 2006021);  // the week of Thursday 2 February
  EXPECT_EQ(p.day_key, 20060130);
  EXPECT_EQ(p.month_title, "January 2006");
  EXPECT_EQ(p.week_title, "2006-01-30 to 2006-02-05");
  EXPECT_EQ(p.day_title, "2006-01-30");

  EntryPeriods sunday = PeriodsOf(*DateTime::Parse("2006-01-01 23:59:59"));
  EXPECT_EQ(sunday.week_key, 2005125);
  EXPECT_EQ(sunday.week_title, "2005-12-26 to 2006-01-01");
  EXPECT_EQ(sunday.month_key, 200601);
}

TEST(PeriodsTest, CleanPagePrefix) {
  EXPECT_EQ(CleanPagePrefix(" my:blog "), "my-blog");
  EXPECT_EQ(CleanPagePrefix("a\\b/c:d*e\"f<g>h|i"), "a-b-c-d-e-f-g-h-i");
  EXPECT_EQ(CleanPagePrefix("   "), "");
}

}  // namespace
}  // namespace tessavo
