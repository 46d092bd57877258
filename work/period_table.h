// The months of one run, in the order the log first presents them, with the
// accesses of each by day and hour.

#ifndef TOVEX_WORK_PERIOD_TABLE_H_
#define TOVEX_WORK_PERIOD_TABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace tovex {

// Months one run can hold; lines of further months are not counted.
inline constexpr int kMaxPeriods = 240;

// Accesses by day of the month (1..31; 0 unused) and hour.
using DayHourCounts = std::array<std::array<int64_t, 24>, 32>;

struct Period {
  int year = 0;
  int month = 0;
  int64_t count = 0;  // accesses
  // Allocated when the entry is added: a run of one month needs one.
  std::unique_ptr<DayHourCounts> cells;

  // Accesses on `day`; 0 without cells.
  int64_t DayCount(int day) const;
};

class PeriodTable {
 public:
  int size() const { return size_; }
  const Period& at(int i) const { return periods_[static_cast<size_t>(i)]; }

  // Index of the entry of year and month, or -1.
  int Find(int year, int month) const;
  // Appends an entry for year and month with no accesses; returns its
  // index, or -1 when the table is full. REQUIRES: Find(year, month) == -1.
  int Add(int year, int month);
  // Counts one access of entry `i` at `day` and `hour`.
  // REQUIRES: 0 <= i < size(), 1 <= day <= 31, 0 <= hour <= 23.
  void Count(int i, int day, int hour) {
    Period& p = periods_[static_cast<size_t>(i)];
    ++p.count;
    ++(*p.cells)[static_cast<size_t>(day)][static_cast<size_t>(hour)];
  }

 private:
  std::array<Period, kMaxPeriods> periods_{};
  std::unordered_map<int, int> index_;  // year * 16 + month -> entry
  int size_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_WORK_PERIOD_TABLE_H_
