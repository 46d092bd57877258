// The months of one run, in the order the log first presents them, with the
// accesses of each.

#ifndef TOVEX_WORK_PERIOD_TABLE_H_
#define TOVEX_WORK_PERIOD_TABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace tovex {

// Months one run can hold; lines of further months are not counted.
inline constexpr int kMaxPeriods = 240;

struct Period {
  int year = 0;
  int month = 0;
  int64_t count = 0;  // accesses
};

class PeriodTable {
 public:
  int size() const { return size_; }
  const Period& at(int i) const { return periods_[static_cast<size_t>(i)]; }
  Period& at(int i) { return periods_[static_cast<size_t>(i)]; }

  // Index of the entry of year and month, or -1.
  int Find(int year, int month) const;
  // Appends an entry for year and month with count 0; returns its index, or
  // -1 when the table is full. REQUIRES: Find(year, month) == -1.
  int Add(int year, int month);

 private:
  std::array<Period, kMaxPeriods> periods_;
  int size_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_WORK_PERIOD_TABLE_H_
