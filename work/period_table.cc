#include "work/period_table.h"

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
  periods_[static_cast<size_t>(size_)] = Period{year, month, 0};
  return size_++;
}

}  // namespace tovex
