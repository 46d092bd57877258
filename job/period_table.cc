#include "job/period_table.h"

#include <cstdio>

namespace tovex {

int PeriodTable::Find(int year, int month) const {
  for (int i = 0; i < size_; ++i) {
    const Period& p = periods_[static_cast<size_t>(i)];
    if (p.year == year && p.month == month) return i;
  }
  return -1;
}

int PeriodTable::Add(int year, int month) {
  if (size_ >= kMaxPeriods) return -1;
  Period& p = periods_[static_cast<size_t>(size_)];
  p.year = year;
  p.month = month;
  p.count = 0;
  int n = std::snprintf(p.label_text.data(), p.label_text.size(), "%d-%d", year,
                        month);
  if (n < 0) n = 0;
  if (n >= static_cast<int>(p.label_text.size())) {
    n = static_cast<int>(p.label_text.size()) - 1;
  }
  p.label_size = static_cast<uint8_t>(n);
  return size_++;
}

void PeriodTable::ClearCounts() {
  for (Period& p : periods_) p.count = 0;
}

}  // namespace tovex
