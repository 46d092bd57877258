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
  p.cells.reset();
  recent_[static_cast<size_t>(size_)] = std::make_unique<RecentCounts>();
  index_[KeyOf(year, month)] = size_;
  return size_++;
}

void PeriodTable::Carry(size_t at, size_t day, size_t hour) {
  Period& p = periods_[at];
  if (!p.cells) p.cells = std::make_unique<DayHourCounts>();
  uint16_t& recent = (*recent_[at])[day][hour];
  (*p.cells)[day][hour] += recent;
  recent = 0;
}

void PeriodTable::Preload(int i, int day, int hour, int64_t n) {
  Period& p = periods_[static_cast<size_t>(i)];
  if (!p.cells) p.cells = std::make_unique<DayHourCounts>();
  (*p.cells)[static_cast<size_t>(day)][static_cast<size_t>(hour)] += n;
  p.count += n;
}

void PeriodTable::Settle() {
  for (size_t i = 0; i < static_cast<size_t>(size_); ++i) {
    Period& p = periods_[i];
    if (!p.cells) p.cells = std::make_unique<DayHourCounts>();
    const RecentCounts& recent = *recent_[i];
    for (size_t d = 0; d < recent.size(); ++d) {
      for (size_t h = 0; h < recent[d].size(); ++h) {
        (*p.cells)[d][h] += recent[d][h];
      }
    }
    recent_[i].reset();
  }
}

}  // namespace tovex
