#include "report/pages.h"

#include <algorithm>
#include <string>

#include "work/file_names.h"

namespace tovex {
namespace {

// The tables every page ends with, the last one without a break after it.
void Rankings(PageBuilder* b, const PeriodTally& t, const RowGroup& rows) {
  RankingTable(b, Ranking::kOrganisations, rows.organisations,
               t.organisations.entries.data(), t.total);
  b->Put(Text::kBreak);
  RankingTable(b, Ranking::kDomains, rows.domains, t.domains.entries.data(),
               t.total);
  b->Put(Text::kBreak);
  RankingTable(b, Ranking::kContents, rows.contents, t.contents.entries.data(),
               t.total);
  PageFoot(b);
}

// Title, count and visitor tables, each followed by a break.
void PageTop(PageBuilder* b, const PageTitle& title, Text count_heading,
             const PeriodTally& t) {
  PageHead(b, title);
  TitleTable(b, title);
  b->Put(Text::kBreak);
  CountTable(b, count_heading, t.total);
  b->Put(Text::kBreak);
  VisitorTable(b, t.visitors, t.total);
  b->Put(Text::kBreak);
}

// The index page's accesses per period, linked to the month pages when
// those exist.
void MonthTable(PageBuilder* b, const PeriodTable& periods, bool links) {
  int64_t max = 0;
  for (int i = 0; i < periods.size(); ++i) {
    max = std::max(max, periods.at(i).count);
  }
  b->Put(Text::kMonthHead);
  for (int i = 0; i < periods.size(); ++i) {
    const Period& p = periods.at(i);
    const std::string label = PeriodLabel(p.year, p.month);
    b->Put(Text::kRowStart);
    if (links) {
      b->Put(Text::kMonthLinkCell,
             {Arg::Own(MonthPageName(p.year, p.month)), Arg::Own(label)});
    } else {
      b->Put(Text::kCenteredTextCell, {Arg::Own(label)});
    }
    GraphRowTail(b, p.count, max);
  }
  b->Put(Text::kTableEnd);
}

// The end that the index and month pages share after their per-period
// table: hours, weekdays and the three rankings.
void PeriodPageEnd(PageBuilder* b, const PeriodTally& tally,
                   const RowGroup& rows) {
  b->Put(Text::kBreak);
  HourTable(b, tally.hour_count);
  b->Put(Text::kBreak);
  WeekdayTable(b, tally.weekday_count);
  b->Put(Text::kBreak);
  Rankings(b, tally, rows);
}

}  // namespace

void WriteIndexPage(const PeriodTally& tally, const RowGroup& rows,
                    const PeriodTable& periods, const IndexLayout& layout,
                    PageBuilder* page) {
  const Period* month = layout.single_month;
  PageTitle title;
  if (month != nullptr) {
    title = {PageTitle::Kind::kMonth, month->year, month->month, 0};
  }
  PageTop(page, title, Text::kTotalHeading, tally);
  if (month != nullptr) {
    CalendarTable(page, month->year, month->month, tally.day_count,
                  layout.day_linked);
  } else {
    MonthTable(page, periods, layout.month_links);
  }
  PeriodPageEnd(page, tally, rows);
}

void WriteMonthPage(const PeriodTally& tally, const RowGroup& rows,
                    const Period& period, const DayLinked& day_linked,
                    PageBuilder* page) {
  const PageTitle title{PageTitle::Kind::kMonth, period.year, period.month, 0};
  PageTop(page, title, Text::kCountHeading, tally);
  CalendarTable(page, period.year, period.month, tally.day_count, day_linked);
  PeriodPageEnd(page, tally, rows);
}

void WriteDayPage(const PeriodTally& tally, const RowGroup& rows, int year,
                  int month, int day, PageBuilder* page) {
  const PageTitle title{PageTitle::Kind::kDay, year, month, day};
  PageTop(page, title, Text::kCountHeading, tally);
  HourTable(page, tally.hour_count);
  page->Put(Text::kBreak);
  Rankings(page, tally, rows);
}

}  // namespace tovex
