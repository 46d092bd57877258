#include "base/calendar.h"

#include <cstdint>

namespace tovex {
namespace {

// Days of each month in a common year.
constexpr std::array<int, 12> kDaysOfMonth = {31, 28, 31, 30, 31, 30,
                                              31, 31, 30, 31, 30, 31};

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

int MonthNumber(std::string_view name) {
  for (size_t i = 0; i < MonthNames.size(); ++i) {
    if (name == MonthNames[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return -1;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDaysOfMonth[static_cast<size_t>(month - 1)];
}

int WeekdayOf(int year, int month, int day) {
  if (day > DaysInMonth(year, month)) return -1;
  // 64-bit so that no argument can overflow the sum; the divisions and the
  // remainder truncate toward zero as in the 32-bit formula.
  int64_t y = year;
  int64_t m = month;
  if (m == 1 || m == 2) {
    m += 12;
    y -= 1;
  }
  int64_t sum = y + y / 4 - y / 100 + y / 400 + (13 * m + 8) / 5 + day;
  return static_cast<int>(sum % 7);
}

}  // namespace tovex
