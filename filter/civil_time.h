// Proleptic Gregorian dates as day numbers, for moving a time stamp from
// one offset to another (H. Hinnant's days_from_civil and civil_from_days:
// exact over the whole int64 range the callers use, no table, no library
// time functions, whose zone is the process's).

#ifndef TOVEX_FILTER_CIVIL_TIME_H_
#define TOVEX_FILTER_CIVIL_TIME_H_

#include <cstdint>

namespace tovex {

inline constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to year-month-day. REQUIRES: 1 <= month <= 12.
constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

constexpr CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2), month, day};
}

// 0 (Sunday) to 6 of a day number.
constexpr int WeekdayOfDays(int64_t days) {
  return static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01: Thursday
}

// Floor division, for instants before 1970.
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

}  // namespace tovex

#endif  // TOVEX_FILTER_CIVIL_TIME_H_
