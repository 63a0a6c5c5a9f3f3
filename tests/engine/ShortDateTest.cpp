// Calendar arithmetic against the standard library's calendar, and the short date format's
// writing and reading.

#include "engine/ShortDate.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using engine::CivilDate;
using engine::FormatShortDate;
using engine::ParseShortDate;

TEST(ShortDateCalendar, AgreesWithTheStandardCalendar) {
  using namespace std::chrono;
  const sys_days zero = sys_days(year{1899} / December / 30);
  for (int offset = -700000; offset <= 3000000; offset += 97) {
    year_month_day ymd{zero + days{offset}};
    if (int(ymd.year()) < 1 || int(ymd.year()) > 9999) continue;
    CivilDate c = engine::DateTimeToCivil(offset);
    ASSERT_EQ(c.year, int(ymd.year())) << offset;
    ASSERT_EQ(c.month, int(unsigned(ymd.month()))) << offset;
    ASSERT_EQ(c.day, int(unsigned(ymd.day()))) << offset;
    ASSERT_EQ(engine::CivilToDateTime(c), offset);
  }
  // The time of day does not move the date, also before 1899-12-30.
  EXPECT_EQ(engine::DateTimeToCivil(35097.99).day, 2);
  EXPECT_EQ(engine::DateTimeToCivil(-0.5).day, 29);
  EXPECT_TRUE(engine::IsValidCivil({2024, 2, 29}));
  EXPECT_FALSE(engine::IsValidCivil({2023, 2, 29}));
  EXPECT_FALSE(engine::IsValidCivil({1900, 2, 29}));
  EXPECT_FALSE(engine::IsValidCivil({2000, 13, 1}));
  EXPECT_FALSE(engine::IsValidCivil({0, 1, 1}));
}

TEST(ShortDateFormat, WritesTheWindowsPictures) {
  const double d = engine::CivilToDateTime({2023, 4, 5});
  EXPECT_EQ(FormatShortDate(d, "yyyy/MM/dd"), "2023/04/05");
  EXPECT_EQ(FormatShortDate(d, "yyyy/M/d"), "2023/4/5");
  EXPECT_EQ(FormatShortDate(d, "dd.MM.yy"), "05.04.23");
  EXPECT_EQ(FormatShortDate(d, "M/d/yyyy"), "4/5/2023");
  EXPECT_EQ(FormatShortDate(d, "yyyy'年'M'月'd'日'"), "2023年4月5日");
  EXPECT_EQ(FormatShortDate(engine::CivilToDateTime({2009, 11, 30}), "yy-M-d"), "09-11-30");
  EXPECT_EQ(FormatShortDate(0, "yyyy/MM/dd"), "1899/12/30");
}

TEST(ShortDateFormat, ReadsInTheFormatsOrder) {
  const double d = engine::CivilToDateTime({2023, 4, 5});
  EXPECT_EQ(ParseShortDate("2023/04/05", "yyyy/MM/dd"), d);
  EXPECT_EQ(ParseShortDate("2023/4/5", "yyyy/MM/dd"), d);
  EXPECT_EQ(ParseShortDate("5.4.2023", "dd.MM.yyyy"), d);
  EXPECT_EQ(ParseShortDate("4/5/23", "M/d/yyyy"), d);
  EXPECT_EQ(ParseShortDate("4/5/1999", "M/d/yyyy"), engine::CivilToDateTime({1999, 4, 5}));
  EXPECT_EQ(ParseShortDate("4/5/60", "M/d/yy"), engine::CivilToDateTime({1960, 4, 5}));
  EXPECT_EQ(ParseShortDate("1899/12/30", "yyyy/M/d"), 0.0);
  EXPECT_FALSE(ParseShortDate("2023/2/29", "yyyy/M/d"));
  EXPECT_FALSE(ParseShortDate("2023/13/1", "yyyy/M/d"));
  EXPECT_FALSE(ParseShortDate("2023/4/5/6", "yyyy/M/d"));
  EXPECT_FALSE(ParseShortDate("2023", "yyyy/M/d"));
  EXPECT_FALSE(ParseShortDate("", "yyyy/M/d"));
  EXPECT_FALSE(ParseShortDate("2023/Apr/5", "yyyy/M/d"));
  EXPECT_FALSE(ParseShortDate("12345/1/1", "yyyy/M/d"));
  // Without a year the date is in this year.
  auto thisYear = ParseShortDate("4/5", "yyyy/M/d");
  ASSERT_TRUE(thisYear);
  EXPECT_GE(engine::DateTimeToCivil(*thisYear).year, 2024);
  EXPECT_EQ(engine::DateTimeToCivil(*thisYear).month, 4);
}

TEST(ShortDateFormat, RoundTripsThroughTheUsersFormat) {
  const std::string format = engine::UserShortDateFormat();
  ASSERT_FALSE(format.empty());
  for (double d : {0.0, 1.0, 35097.0, 45000.0, engine::CivilToDateTime({2049, 12, 31})}) {
    std::string shown = FormatShortDate(d, format);
    EXPECT_EQ(ParseShortDate(shown, format), d) << shown << " / " << format;
  }
}

}  // namespace
