#include "schedule.h"

#include <cstddef>

#include "calendar.h"

namespace tovex::loggen {
namespace {

// Share of a day's traffic per hour (any unit): a Japanese site's day.
constexpr uint64_t kHourWeights[24] = {30, 20, 12, 8,  6,  7,  12, 22,
                                       35, 48, 55, 58, 62, 58, 55, 54,
                                       52, 50, 48, 50, 56, 62, 58, 45};
constexpr uint64_t kHourTotal = [] {
  uint64_t sum = 0;
  for (uint64_t w : kHourWeights) sum += w;
  return sum;
}();
// Weighted seconds of one day: the unit in which lines are spread over it.
constexpr uint64_t kDaySpan = kHourTotal * 3600;

// Sunday .. Saturday.
constexpr uint64_t kWeekdayWeights[7] = {80, 105, 104, 103, 102, 98, 78};

}  // namespace

Schedule::Schedule(uint64_t seed, int64_t first_day, int64_t days,
                   uint64_t lines)
    : rng_(Mix2(seed, 0x5c4ed)),
      lines_(lines),
      first_day_(first_day),
      day_(-1),
      quota_(0),
      done_(0),
      first_of_day_(false) {
  cumulative_.reserve(static_cast<size_t>(days) + 1);
  cumulative_.push_back(0);
  for (int64_t d = 0; d < days; ++d) {
    uint64_t w =
        kWeekdayWeights[WeekdayOfDays(first_day + d)] * rng_.Between(85, 115);
    if (rng_.OneIn(40)) w = w * 5 / 2;  // a day with news or a campaign
    cumulative_.push_back(cumulative_.back() + w);
  }
}

void Schedule::StartDay() {
  ++day_;
  const unsigned __int128 total = cumulative_.back();
  const auto share = [&](int64_t d) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(lines_) *
                                 cumulative_[static_cast<size_t>(d)] / total);
  };
  quota_ = share(day_ + 1) - share(day_);
  done_ = 0;
}

int64_t Schedule::Next() {
  first_of_day_ = false;
  while (done_ == quota_) {
    StartDay();
    first_of_day_ = true;
  }
  // The k-th of q lines falls in the k-th of q equal slices of the weighted
  // day, at a random place inside it: increasing, yet not evenly spaced.
  const uint64_t target =
      (done_ * kDaySpan + rng_.Below(static_cast<uint32_t>(kDaySpan))) / quota_;
  ++done_;
  uint64_t hour = 0;
  uint64_t below = 0;
  while (hour < 23 && below + kHourWeights[hour] * 3600 <= target) {
    below += kHourWeights[hour] * 3600;
    ++hour;
  }
  const uint64_t second = (target - below) / kHourWeights[hour];
  return day_start() + static_cast<int64_t>(hour * 3600 + second);
}

}  // namespace tovex::loggen
