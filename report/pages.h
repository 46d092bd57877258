// The three report pages. Each tallies its period's sorted work files, then
// writes one HTML file in Shift-JIS into the output directory, replacing an
// earlier file of the same name.
//
// Every page writer takes a caller-owned PeriodTally as scratch space so
// that no page allocates its 150 kB tables anew. All of them fail with
// CannotOpen when a work file or the page cannot be opened, and CannotWrite
// when the page could not be written completely.

#ifndef TOVEX_REPORT_PAGES_H_
#define TOVEX_REPORT_PAGES_H_

#include <cstdint>

#include "job/period_table.h"
#include "platform/platform.h"
#include "platform/status.h"
#include "settings/settings.h"
#include "sort/tally.h"

namespace tovex {

// "index.html" from "index.dk" and "index.hk": the whole log. With the
// single-month marker set it shows that month's calendar, linking the days
// whose pages exist; otherwise a month table (linked when run level > 0).
Status WriteIndexPage(const Context& ctx, const Settings& settings,
                      const PeriodTable& periods, PeriodTally* scratch);

// The page "<label>.html" of entry `index` from "<index+1>.dk" and
// "<index+1>.hk"; stores the month's total into `*count`.
Status WriteMonthPage(const Context& ctx, const Settings& settings,
                      const PeriodTable& periods, int index, int64_t* count,
                      PeriodTally* scratch);

// The page "<year>-<month>-<day>.html" from "<day>.ddy" and "<day>.hdy".
Status WriteDayPage(const Context& ctx, const Settings& settings, int year,
                    int month, int day, PeriodTally* scratch);

}  // namespace tovex

#endif  // TOVEX_REPORT_PAGES_H_
