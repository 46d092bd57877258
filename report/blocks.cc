#include "report/blocks.h"

#include <algorithm>

#include "base/calendar.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// Largest of values[first..last], 0 for none.
template <size_t N>
int64_t MaxOf(const std::array<int64_t, N>& values, size_t first, size_t last) {
  int64_t max = 0;
  for (size_t i = first; i <= last && i < N; ++i) {
    max = std::max(max, values[i]);
  }
  return max;
}

double Ratio(double part, double whole) {
  return whole != 0 ? part / whole : 0;
}

void DayCell(PageBuilder* b, int year, int month, int day,
             const DayLinked& linked) {
  if (linked && linked(day)) {
    b->Put(Text::kDayLinkCell,
           {Arg::Own(DayPageName(year, month, day)), day});
  } else {
    b->Put(Text::kCenteredNumberCell, {day});
  }
}

// The name of weekday `w` (0 = Sunday); empty outside 0..6.
std::string_view WeekdayName(const PageBuilder& b, int w) {
  if (w < 0 || w > 6) return {};
  return b.text(static_cast<Text>(static_cast<int>(Text::kSunday) + w));
}

}  // namespace

void PageHead(PageBuilder* b, const PageTitle& title) {
  b->Put(Text::kPageStart);
  switch (title.kind) {
    case PageTitle::Kind::kWholeLog:
      b->Put(Text::kTitle);
      break;
    case PageTitle::Kind::kMonth:
      b->Put(Text::kTitleLabel,
             {Arg::Own(PeriodLabel(title.year, title.month))});
      break;
    case PageTitle::Kind::kDay:
      b->Put(Text::kTitleDate, {title.year, title.month, title.day});
      break;
  }
  b->Put(Text::kPageBody);
}

void TitleTable(PageBuilder* b, const PageTitle& title) {
  b->Put(Text::kTitleTableStart);
  switch (title.kind) {
    case PageTitle::Kind::kWholeLog:
      b->Put(Text::kHeading);
      break;
    case PageTitle::Kind::kMonth:
      b->Put(Text::kHeadingLabel,
             {Arg::Own(PeriodLabel(title.year, title.month))});
      break;
    case PageTitle::Kind::kDay:
      b->Put(Text::kHeadingDate, {title.year, title.month, title.day});
      break;
  }
  b->Put(Text::kTableEnd);
}

void CountTable(PageBuilder* b, Text heading, int64_t total) {
  b->Put(Text::kCountTableStart);
  b->Put(heading);
  b->Put(Text::kCountCell, {total});
}

void VisitorTable(PageBuilder* b, int64_t visitors, int64_t total) {
  double average =
      Ratio(static_cast<double>(total), static_cast<double>(visitors));
  b->Put(Text::kVisitorTable, {visitors, average});
}

void GraphRowTail(PageBuilder* b, int64_t value, int64_t max) {
  b->Put(Text::kValueCell, {value});
  b->BarCell(value, max);
  b->Put(Text::kRowEnd);
}

void CalendarTable(PageBuilder* b, int year, int month,
                   const std::array<int64_t, 32>& day_count,
                   const DayLinked& linked) {
  // DaysInMonth is -1 for a month that is not one: no rows then.
  const int days = std::min(DaysInMonth(year, month), 31);
  const int64_t max =
      days > 0 ? MaxOf(day_count, 1, static_cast<size_t>(days)) : 0;
  b->Put(Text::kCalendarHead);
  for (int d = 1; d <= days; ++d) {
    b->Put(Text::kRowStart);
    DayCell(b, year, month, d, linked);
    b->Put(Text::kCenteredTextCell,
           {Arg::Own(WeekdayName(*b, WeekdayOf(year, month, d)))});
    GraphRowTail(b, day_count[static_cast<size_t>(d)], max);
  }
  b->Put(Text::kTableEnd);
}

void HourTable(PageBuilder* b, const std::array<int64_t, 24>& hour_count) {
  const int64_t max = MaxOf(hour_count, 0, 23);
  b->Put(Text::kHourHead);
  for (int h = 0; h < 24; ++h) {
    b->Put(Text::kRowStart);
    b->Put(Text::kCenteredNumberCell, {h});
    GraphRowTail(b, hour_count[static_cast<size_t>(h)], max);
  }
  b->Put(Text::kTableEnd);
}

void WeekdayTable(PageBuilder* b, const std::array<int64_t, 7>& weekday_count) {
  const int64_t max = MaxOf(weekday_count, 0, 6);
  b->Put(Text::kWeekdayHead);
  for (int w = 0; w < 7; ++w) {
    b->Put(Text::kRowStart);
    b->Put(Text::kCenteredTextCell, {Arg::Own(WeekdayName(*b, w))});
    GraphRowTail(b, weekday_count[static_cast<size_t>(w)], max);
  }
  b->Put(Text::kTableEnd);
}

void RankingTable(PageBuilder* b, Ranking kind, int rows,
                  const RankEntry* entries, int64_t total) {
  static constexpr Text kHeads[] = {Text::kOrganisationHead, Text::kDomainHead,
                                    Text::kContentHead};
  b->Put(kHeads[static_cast<int>(kind)], {rows});
  const int shown = std::min(rows, kMaxRankRows);
  for (int i = 0; i < shown && entries[i].count != 0; ++i) {
    const RankEntry& e = entries[i];
    double share =
        Ratio(static_cast<double>(e.count) * 100.0, static_cast<double>(total));
    b->Put(Text::kRankRow, {i + 1, e.view(), e.count, share});
  }
  b->Put(Text::kTableEnd);
}

void PageFoot(PageBuilder* b) { b->Put(Text::kPageFoot); }

}  // namespace tovex
