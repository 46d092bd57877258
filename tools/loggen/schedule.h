// When each line of the log happens: the lines are spread over the calendar
// days of the chosen months by day weights (weekdays busier than weekends,
// some days busier still), and over each day by an hourly profile (quiet
// nights, busy lunch hour and evening). The times come out in order.

#ifndef TOVEX_TOOLS_LOGGEN_SCHEDULE_H_
#define TOVEX_TOOLS_LOGGEN_SCHEDULE_H_

#include <cstdint>
#include <vector>

#include "rng.h"

namespace tovex::loggen {

class Schedule {
 public:
  // `lines` times over the days [first_day, first_day + days), day numbers as
  // DaysFromCivil gives them. REQUIRES: days >= 1.
  Schedule(uint64_t seed, int64_t first_day, int64_t days, uint64_t lines);

  // The time of the next line in seconds since 1970 (local time), never
  // earlier than the previous one. REQUIRES: fewer than `lines` calls so far.
  int64_t Next();

  // Whether the time from the last Next is the first of its day.
  bool first_of_day() const { return first_of_day_; }
  // Midnight that starts the day of the last Next.
  int64_t day_start() const { return (first_day_ + day_) * 86400; }

 private:
  void StartDay();

  Rng rng_;
  uint64_t lines_;
  int64_t first_day_;
  std::vector<uint64_t> cumulative_;  // day weights summed, one per day + 1
  int64_t day_;                       // index of the current day
  uint64_t quota_;                    // lines of the current day
  uint64_t done_;                     // lines handed out in the current day
  bool first_of_day_;
};

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_SCHEDULE_H_
