#include "report/page_model.h"

#include <algorithm>

#include "base/calendar.h"
#include "work/file_names.h"

namespace tovex {
namespace {

double Ratio(double part, double whole) {
  return whole != 0 ? part / whole : 0;
}

GraphCell Cell(int64_t accesses, int64_t max) {
  return {accesses, max != 0 ? accesses * kFullBar / max : 0};
}

template <size_t N>
std::array<GraphCell, N> Cells(const std::array<int64_t, N>& counts) {
  int64_t max = 0;
  for (int64_t n : counts) max = std::max(max, n);
  std::array<GraphCell, N> cells;
  for (size_t i = 0; i < N; ++i) cells[i] = Cell(counts[i], max);
  return cells;
}

// The non-empty entries among the first `rows`, with shares of `total`.
Ranked RankedOf(const RankTable& table, int rows, int64_t total) {
  Ranked ranked{rows, {}};
  const int shown = std::min(rows, kMaxRankRows);
  for (int i = 0;
       i < shown && table.entries[static_cast<size_t>(i)].count != 0; ++i) {
    const RankEntry& e = table.entries[static_cast<size_t>(i)];
    ranked.entries.push_back(
        {i + 1, e.view(), e.count,
         Ratio(static_cast<double>(e.count) * 100.0,
               static_cast<double>(total))});
  }
  return ranked;
}

// The figures every page has.
PageModel Common(PageModel::Kind kind, const PageTitle& title,
                 std::string file_name, const PeriodTally& t,
                 const RowGroup& rows) {
  PageModel m;
  m.kind = kind;
  m.title = title;
  m.file_name = std::move(file_name);
  m.accesses = t.total;
  m.visitors = t.visitors;
  m.average =
      Ratio(static_cast<double>(t.total), static_cast<double>(t.visitors));
  m.hours = Cells(t.hour_count);
  m.organisations = RankedOf(t.organisations, rows.organisations, t.total);
  m.domains = RankedOf(t.domains, rows.domains, t.total);
  m.contents = RankedOf(t.contents, rows.contents, t.total);
  return m;
}

// One row per day of the month, from the tally's day counts.
std::vector<CalendarDay> Calendar(int year, int month,
                                  const std::array<int64_t, 32>& day_count,
                                  const DayLinked& linked) {
  // DaysInMonth is -1 for a month that is not one: no rows then.
  const int days = std::min(DaysInMonth(year, month), 31);
  int64_t max = 0;
  for (int d = 1; d <= days; ++d) {
    max = std::max(max, day_count[static_cast<size_t>(d)]);
  }
  std::vector<CalendarDay> calendar;
  for (int d = 1; d <= days; ++d) {
    calendar.push_back({d, WeekdayOf(year, month, d),
                        Cell(day_count[static_cast<size_t>(d)], max),
                        linked && linked(d)});
  }
  return calendar;
}

}  // namespace

PageModel IndexModel(const PeriodTally& tally, const RowGroup& rows,
                     const PeriodTable& periods, const IndexLayout& layout) {
  const Period* month = layout.single_month;
  PageTitle title;
  if (month != nullptr) {
    title = {PageTitle::Kind::kMonth, month->year, month->month, 0};
  }
  PageModel m = Common(PageModel::Kind::kIndex, title,
                       std::string(kIndexPageName), tally, rows);
  m.has_weekdays = true;
  m.weekdays = Cells(tally.weekday_count);
  if (month != nullptr) {
    m.calendar = Calendar(month->year, month->month, tally.day_count,
                          layout.day_linked);
    return m;
  }
  int64_t max = 0;
  for (int i = 0; i < periods.size(); ++i) {
    max = std::max(max, periods.at(i).count);
  }
  for (int i = 0; i < periods.size(); ++i) {
    const Period& p = periods.at(i);
    m.months.push_back({p.year, p.month, Cell(p.count, max),
                        layout.month_links});
  }
  return m;
}

PageModel MonthModel(const PeriodTally& tally, const RowGroup& rows,
                     const Period& period, const DayLinked& day_linked) {
  const PageTitle title{PageTitle::Kind::kMonth, period.year, period.month, 0};
  PageModel m = Common(PageModel::Kind::kMonth, title,
                       MonthPageName(period.year, period.month), tally, rows);
  m.has_weekdays = true;
  m.weekdays = Cells(tally.weekday_count);
  m.calendar =
      Calendar(period.year, period.month, tally.day_count, day_linked);
  return m;
}

PageModel DayModel(const PeriodTally& tally, const RowGroup& rows, int year,
                   int month, int day) {
  const PageTitle title{PageTitle::Kind::kDay, year, month, day};
  return Common(PageModel::Kind::kDay, title, DayPageName(year, month, day),
                tally, rows);
}

}  // namespace tovex
