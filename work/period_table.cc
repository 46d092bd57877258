#include "work/period_table.h"

namespace tovex {
namespace {

int KeyOf(int year, int month) { return year * 16 + month; }

}  // namespace

int64_t Period::DayCount(int day) const {
  int64_t n = 0;
  if (!cells) return 0;
  for (int64_t c : (*cells)[static_cast<size_t>(day)]) n += c;
  return n;
}

int PeriodTable::Find(int year, int month) const {
  auto it = index_.find(KeyOf(year, month));
  return it == index_.end() ? -1 : it->second;
}

int PeriodTable::Add(int year, int month) {
  if (size_ >= kMaxPeriods) return -1;
  Period& p = periods_[static_cast<size_t>(size_)];
  p.year = year;
  p.month = month;
  p.count = 0;
  if (!p.cells) p.cells = std::make_unique<DayHourCounts>();
  p.cells->fill({});
  index_[KeyOf(year, month)] = size_;
  return size_++;
}

}  // namespace tovex
