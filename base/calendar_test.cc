#include "base/calendar.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tovex {
namespace {

// Every day of years 1 to 9999 against the standard library's calendar.
TEST(CalendarTest, AgreesWithTheGregorianCalendar) {
  using namespace std::chrono;
  for (int y = 1; y <= 9999; ++y) {
    for (unsigned m = 1; m <= 12; ++m) {
      const int last = DaysInMonth(y, static_cast<int>(m));
      const year_month_day_last ymdl(year{y}, month_day_last(month{m}));
      ASSERT_EQ(last, static_cast<int>(static_cast<unsigned>(ymdl.day())))
          << y << "-" << m;
      for (unsigned d = 1; d <= static_cast<unsigned>(last); ++d) {
        const int expected = static_cast<int>(
            weekday(sys_days(year_month_day(year{y}, month{m}, day{d})))
                .c_encoding());
        const int got = WeekdayOf(y, static_cast<int>(m), static_cast<int>(d));
        if (got != expected) {
          FAIL() << y << "-" << m << "-" << d << ": " << got << " instead of "
                 << expected;
        }
      }
    }
  }
}

TEST(CalendarTest, DaysOutsideAMonth) {
  struct Case {
    int year, month, day, weekday;
  } cases[] = {
      {2001, 3, 0, 3},   {2001, 2, 29, -1}, {2001, 4, 31, -1},
      {2001, 13, 0, -1}, {2001, 0, 1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WeekdayOf(c.year, c.month, c.day), c.weekday)
        << c.year << "-" << c.month << "-" << c.day;
  }
  EXPECT_EQ(DaysInMonth(2001, 0), -1);
  EXPECT_EQ(DaysInMonth(2001, 13), -1);
}

}  // namespace
}  // namespace tovex
