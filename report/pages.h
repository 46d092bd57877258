// The three report pages, rendered from a tally and the facts of their
// period into a PageBuilder. They know nothing of files: the job tallies the
// period and stores the bytes.

#ifndef TOVEX_REPORT_PAGES_H_
#define TOVEX_REPORT_PAGES_H_

#include "report/blocks.h"
#include "report/page_builder.h"
#include "tally/tally.h"
#include "work/period_table.h"

namespace tovex {

// What the index page shows between its visitor and hour tables.
struct IndexLayout {
  // Set for a log of a single month at run levels 1 and 2: that month's
  // calendar, with day links where `day_linked` says. Otherwise the month
  // table of `periods`.
  const Period* single_month = nullptr;
  DayLinked day_linked;
  // The month table's rows link to the month pages (run levels 1 and 2).
  bool month_links = false;
};

// "index.html": the whole log.
void WriteIndexPage(const PeriodTally& tally, const RowGroup& rows,
                    const PeriodTable& periods, const IndexLayout& layout,
                    PageBuilder* page);

// The page of one month, its calendar linking the days `day_linked` names.
void WriteMonthPage(const PeriodTally& tally, const RowGroup& rows,
                    const Period& period, const DayLinked& day_linked,
                    PageBuilder* page);

// The page of one day.
void WriteDayPage(const PeriodTally& tally, const RowGroup& rows, int year,
                  int month, int day, PageBuilder* page);

}  // namespace tovex

#endif  // TOVEX_REPORT_PAGES_H_
