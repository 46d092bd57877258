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

// Counting takes two steps. Count adds to 16-bit cells, small enough that a
// log whose months are mixed keeps them in the processor's nearer caches;
// Settle moves them to each period's 64-bit cells, which are made only
// then (or when a 16-bit cell fills up), so that they take no memory while
// the log is read. The cells hold every access only after Settle.
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
  // REQUIRES: 0 <= i < size(), 1 <= day <= 31, 0 <= hour <= 23, Settle
  // has not run.
  void Count(int i, int day, int hour) {
    const auto at = static_cast<size_t>(i);
    const auto d = static_cast<size_t>(day);
    const auto h = static_cast<size_t>(hour);
    ++periods_[at].count;
    if (++(*recent_[at])[d][h] == UINT16_MAX) Carry(at, d, h);
  }
  // Adds `n` accesses of entry `i` at `day` and `hour` counted by an
  // earlier run (a history). REQUIRES: as Count's.
  void Preload(int i, int day, int hour, int64_t n);
  // Puts every access counted into the periods' cells.
  void Settle();

 private:
  using RecentCounts = std::array<std::array<uint16_t, 24>, 32>;

  // Moves one full 16-bit cell to the period's cells.
  void Carry(size_t at, size_t day, size_t hour);

  std::array<Period, kMaxPeriods> periods_{};
  std::array<std::unique_ptr<RecentCounts>, kMaxPeriods> recent_;
  std::unordered_map<int, int> index_;  // year * 16 + month -> entry
  int size_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_WORK_PERIOD_TABLE_H_
