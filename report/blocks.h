// The markup blocks the report pages are made of. Each appends its exact
// text, for figures of a page model, to a PageBuilder; the page writers put
// them in order and add the breaks between tables.

#ifndef TOVEX_REPORT_BLOCKS_H_
#define TOVEX_REPORT_BLOCKS_H_

#include <array>
#include <cstdint>
#include <vector>

#include "report/page_builder.h"
#include "report/page_model.h"

namespace tovex {

void PageHead(PageBuilder* b, const PageTitle& title);
void TitleTable(PageBuilder* b, const PageTitle& title);
// `heading` is Text::kTotalHeading or Text::kCountHeading.
void CountTable(PageBuilder* b, Text heading, int64_t total);
void VisitorTable(PageBuilder* b, int64_t visitors, double average);

// One row per day of the month; a day links to its page where linked.
void CalendarTable(PageBuilder* b, int year, int month,
                   const std::vector<CalendarDay>& days);
void HourTable(PageBuilder* b, const std::array<GraphCell, 24>& hours);
void WeekdayTable(PageBuilder* b, const std::array<GraphCell, 7>& weekdays);
// The index page's accesses per period, linked to the month pages where
// linked.
void MonthTable(PageBuilder* b, const std::vector<MonthRow>& months);

enum class Ranking { kOrganisations, kDomains, kContents };
void RankingTable(PageBuilder* b, Ranking kind, const Ranked& ranked);
void PageFoot(PageBuilder* b);

// A graph-table row's value cell, bar cell and row end.
void GraphRowTail(PageBuilder* b, const GraphCell& cell);

}  // namespace tovex

#endif  // TOVEX_REPORT_BLOCKS_H_
