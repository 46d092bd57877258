// The months of one run, in the order the log first presents them, with the
// accesses of each.

#ifndef TOVEX_JOB_PERIOD_TABLE_H_
#define TOVEX_JOB_PERIOD_TABLE_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace tovex {

// Months one run can hold; lines of further months are not counted.
inline constexpr int kMaxPeriods = 240;
// A label "year-month" of a year up to 9999 fits with room to spare.
inline constexpr size_t kPeriodLabelBytes = 15;

struct Period {
  int year = 0;
  int month = 0;
  int64_t count = 0;  // accesses; -1 in entry 0 is the single-month marker
  std::array<char, kPeriodLabelBytes> label_text{};
  uint8_t label_size = 0;

  // "%d-%d" of year and month, no zero padding ("2001-3").
  std::string_view label() const {
    return std::string_view(label_text.data(), label_size);
  }
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

  void Clear() { size_ = 0; }
  void ClearCounts();

  // A log of fewer than two months at the month and day levels: entry 0's
  // count becomes -1 and the index page shows that month's calendar.
  // REQUIRES: size() >= 1.
  void SetSingleMonthMarker() { periods_[0].count = -1; }
  bool HasSingleMonthMarker() const {
    return size_ >= 1 && periods_[0].count == -1;
  }

 private:
  std::array<Period, kMaxPeriods> periods_;
  int size_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_JOB_PERIOD_TABLE_H_
