// Civil dates and the Apache time stamp text, on a plain count of seconds.
// The generator keeps time as seconds since 1970-01-01 00:00:00 in the
// server's local time: the log shows local time and no zone arithmetic is
// ever needed.

#ifndef TOVEX_TOOLS_LOGGEN_CALENDAR_H_
#define TOVEX_TOOLS_LOGGEN_CALENDAR_H_

#include <cstddef>
#include <cstdint>

namespace tovex::loggen {

inline constexpr int64_t kSecondsPerDay = 86400;

struct CivilDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

// Days since 1970-01-01 of a proleptic Gregorian date (negative before).
int64_t DaysFromCivil(int year, int month, int day);

// Inverse of DaysFromCivil.
CivilDate CivilFromDays(int64_t days);

// 0 = Sunday .. 6 = Saturday.
int WeekdayOfDays(int64_t days);

// Day number of the first day of the month `months` after year-month.
int64_t AddMonths(int year, int month, int months);

// Floor division and modulo, for times before 1970.
inline int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
inline int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Writes "dd/Mon/yyyy:hh:mm:ss " + zone for the second `t`, with a cached
// date part: consecutive stamps are mostly on the same day.
class StampFormatter {
 public:
  // `zone` is the five-character offset text, e.g. "+0900".
  explicit StampFormatter(const char* zone);

  // Writes the stamp (without brackets) at `out`; returns the byte count.
  // REQUIRES: room for kMaxStamp bytes at `out`.
  int Format(int64_t t, char* out);

  static constexpr int kMaxStamp = 32;

 private:
  int64_t cached_day_;
  char date_[16];  // "dd/Mon/yyyy:"
  std::size_t date_len_;
  char zone_[6];
};

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_CALENDAR_H_
