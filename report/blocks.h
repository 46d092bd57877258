// The markup blocks the report pages are made of. Each appends its exact
// text to a PageBuilder; the page writers put them in order and add the
// breaks between tables.

#ifndef TOVEX_REPORT_BLOCKS_H_
#define TOVEX_REPORT_BLOCKS_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "report/page_builder.h"
#include "tally/tally.h"

namespace tovex {

// What a page is about: the whole log, one month, or one day.
struct PageTitle {
  enum class Kind { kWholeLog, kMonth, kDay };
  Kind kind = Kind::kWholeLog;
  int year = 0;  // kMonth and kDay
  int month = 0;
  int day = 0;  // kDay
};

void PageHead(PageBuilder* b, const PageTitle& title);
void TitleTable(PageBuilder* b, const PageTitle& title);
// `heading` is Text::kTotalHeading or Text::kCountHeading.
void CountTable(PageBuilder* b, Text heading, int64_t total);
// The average is total ÷ visitors, 0.0 without visitors.
void VisitorTable(PageBuilder* b, int64_t visitors, int64_t total);

// Whether a day of the calendar's month links to its page (the page of
// that day exists in the report).
using DayLinked = std::function<bool(int day)>;
// One row per day of the month; a day links to its page when `linked` says.
void CalendarTable(PageBuilder* b, int year, int month,
                   const std::array<int64_t, 32>& day_count,
                   const DayLinked& linked);
void HourTable(PageBuilder* b, const std::array<int64_t, 24>& hour_count);
void WeekdayTable(PageBuilder* b, const std::array<int64_t, 7>& weekday_count);

enum class Ranking { kOrganisations, kDomains, kContents };
// The non-empty entries among the first `rows`, with shares of `total`.
// REQUIRES: `entries` holds at least min(rows, kMaxRankRows) entries.
void RankingTable(PageBuilder* b, Ranking kind, int rows,
                  const RankEntry* entries, int64_t total);
void PageFoot(PageBuilder* b);

// A graph-table row's value cell, bar cell and row end.
void GraphRowTail(PageBuilder* b, int64_t value, int64_t max);

}  // namespace tovex

#endif  // TOVEX_REPORT_BLOCKS_H_
