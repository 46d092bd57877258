#include "calendar.h"

#include <cstring>

namespace tovex::loggen {
namespace {

constexpr char kMonthNames[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void Put2(char* out, int v) {
  out[0] = static_cast<char>('0' + v / 10);
  out[1] = static_cast<char>('0' + v % 10);
}

}  // namespace

// Howard Hinnant's days_from_civil: exact for every Gregorian date, no
// floating point and no table.
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2);
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2));
  return {year, month, day};
}

int WeekdayOfDays(int64_t days) {
  return static_cast<int>(FloorMod(days + 4, 7));  // 1970-01-01: Thursday
}

int64_t AddMonths(int year, int month, int months) {
  const int64_t index = static_cast<int64_t>(year) * 12 + (month - 1) + months;
  return DaysFromCivil(static_cast<int>(FloorDiv(index, 12)),
                       static_cast<int>(FloorMod(index, 12)) + 1, 1);
}

StampFormatter::StampFormatter(const char* zone)
    : cached_day_(INT64_MIN), date_len_(0) {
  std::memcpy(zone_, zone, 5);
  zone_[5] = '\0';
}

int StampFormatter::Format(int64_t t, char* out) {
  const int64_t day = FloorDiv(t, kSecondsPerDay);
  if (day != cached_day_) {
    const CivilDate d = CivilFromDays(day);
    char* p = date_;
    Put2(p, d.day);
    p[2] = '/';
    std::memcpy(p + 3, kMonthNames[d.month - 1], 3);
    p[6] = '/';
    p[7] = static_cast<char>('0' + d.year / 1000 % 10);
    p[8] = static_cast<char>('0' + d.year / 100 % 10);
    p[9] = static_cast<char>('0' + d.year / 10 % 10);
    p[10] = static_cast<char>('0' + d.year % 10);
    p[11] = ':';
    date_len_ = 12;
    cached_day_ = day;
  }
  const int64_t s = t - day * kSecondsPerDay;
  char* p = out;
  std::memcpy(p, date_, date_len_);
  p += date_len_;
  Put2(p, static_cast<int>(s / 3600));
  p[2] = ':';
  Put2(p + 3, static_cast<int>(s / 60 % 60));
  p[5] = ':';
  Put2(p + 6, static_cast<int>(s % 60));
  p[8] = ' ';
  std::memcpy(p + 9, zone_, 5);
  return static_cast<int>(p + 14 - out);
}

}  // namespace tovex::loggen
