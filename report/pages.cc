#include "report/pages.h"

#include "report/blocks.h"

namespace tovex {
namespace {

// The tables every page ends with, the last one without a break after it.
void Rankings(PageBuilder* b, const PageModel& m) {
  RankingTable(b, Ranking::kOrganisations, m.organisations);
  b->Put(Text::kBreak);
  RankingTable(b, Ranking::kDomains, m.domains);
  b->Put(Text::kBreak);
  RankingTable(b, Ranking::kContents, m.contents);
  PageFoot(b);
}

// Title, count and visitor tables, each followed by a break.
void PageTop(PageBuilder* b, const PageModel& m) {
  PageHead(b, m.title);
  TitleTable(b, m.title);
  b->Put(Text::kBreak);
  CountTable(b,
             m.kind == PageModel::Kind::kIndex ? Text::kTotalHeading
                                               : Text::kCountHeading,
             m.accesses);
  b->Put(Text::kBreak);
  VisitorTable(b, m.visitors, m.average);
  b->Put(Text::kBreak);
}

}  // namespace

void RenderHtml(const PageModel& m, PageBuilder* b) {
  PageTop(b, m);
  if (m.kind == PageModel::Kind::kDay) {
    HourTable(b, m.hours);
    b->Put(Text::kBreak);
    Rankings(b, m);
    return;
  }
  // A month's page, or an index of one month, shows its calendar.
  if (m.title.kind == PageTitle::Kind::kMonth) {
    CalendarTable(b, m.title.year, m.title.month, m.calendar);
  } else {
    MonthTable(b, m.months);
  }
  b->Put(Text::kBreak);
  HourTable(b, m.hours);
  b->Put(Text::kBreak);
  WeekdayTable(b, m.weekdays);
  b->Put(Text::kBreak);
  Rankings(b, m);
}

}  // namespace tovex
