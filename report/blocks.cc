#include "report/blocks.h"

#include <string>

#include "base/calendar.h"
#include "work/file_names.h"

namespace tovex {
namespace {

void DayCell(PageBuilder* b, int year, int month, const CalendarDay& day) {
  if (day.linked) {
    b->Put(Text::kDayLinkCell,
           {Arg::Own(DayPageName(year, month, day.day)), day.day});
  } else {
    b->Put(Text::kCenteredNumberCell, {day.day});
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

void VisitorTable(PageBuilder* b, int64_t visitors, double average) {
  b->Put(Text::kVisitorTable, {visitors, average});
}

void GraphRowTail(PageBuilder* b, const GraphCell& cell) {
  b->Put(Text::kValueCell, {cell.accesses});
  b->BarCell(cell.bar);
  b->Put(Text::kRowEnd);
}

void CalendarTable(PageBuilder* b, int year, int month,
                   const std::vector<CalendarDay>& days) {
  b->Put(Text::kCalendarHead);
  for (const CalendarDay& d : days) {
    b->Put(Text::kRowStart);
    DayCell(b, year, month, d);
    b->Put(Text::kCenteredTextCell, {Arg::Own(WeekdayName(*b, d.weekday))});
    GraphRowTail(b, d.cell);
  }
  b->Put(Text::kTableEnd);
}

void HourTable(PageBuilder* b, const std::array<GraphCell, 24>& hours) {
  b->Put(Text::kHourHead);
  for (int h = 0; h < 24; ++h) {
    b->Put(Text::kRowStart);
    b->Put(Text::kCenteredNumberCell, {h});
    GraphRowTail(b, hours[static_cast<size_t>(h)]);
  }
  b->Put(Text::kTableEnd);
}

void WeekdayTable(PageBuilder* b, const std::array<GraphCell, 7>& weekdays) {
  b->Put(Text::kWeekdayHead);
  for (int w = 0; w < 7; ++w) {
    b->Put(Text::kRowStart);
    b->Put(Text::kCenteredTextCell, {Arg::Own(WeekdayName(*b, w))});
    GraphRowTail(b, weekdays[static_cast<size_t>(w)]);
  }
  b->Put(Text::kTableEnd);
}

void MonthTable(PageBuilder* b, const std::vector<MonthRow>& months) {
  b->Put(Text::kMonthHead);
  for (const MonthRow& m : months) {
    const std::string label = PeriodLabel(m.year, m.month);
    b->Put(Text::kRowStart);
    if (m.linked) {
      b->Put(Text::kMonthLinkCell,
             {Arg::Own(MonthPageName(m.year, m.month)), Arg::Own(label)});
    } else {
      b->Put(Text::kCenteredTextCell, {Arg::Own(label)});
    }
    GraphRowTail(b, m.cell);
  }
  b->Put(Text::kTableEnd);
}

void RankingTable(PageBuilder* b, Ranking kind, const Ranked& ranked) {
  static constexpr Text kHeads[] = {Text::kOrganisationHead, Text::kDomainHead,
                                    Text::kContentHead};
  b->Put(kHeads[static_cast<int>(kind)], {ranked.rows});
  for (const RankedRow& r : ranked.entries) {
    b->Put(
        Text::kRankRow,
        {r.rank, kind == Ranking::kContents ? Arg::Path(r.name) : Arg(r.name),
         r.accesses, r.share});
  }
  b->Put(Text::kTableEnd);
}

void PageFoot(PageBuilder* b) { b->Put(Text::kPageFoot); }

}  // namespace tovex
