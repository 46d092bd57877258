// The figures of one report page, each computed once, here: what its HTML
// page shows and what the JSON document holds of it. The writers
// (report/pages.h, report/json_page.h) render a model and compute nothing.
// Texts from the log stay views into the tally the model was made from,
// which must outlive it.

#ifndef TOVEX_REPORT_PAGE_MODEL_H_
#define TOVEX_REPORT_PAGE_MODEL_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "log/log_line.h"
#include "tally/tally.h"
#include "work/period_table.h"

namespace tovex {

// What a page's title names: the whole log, one month, or one day.
struct PageTitle {
  enum class Kind { kWholeLog, kMonth, kDay };
  Kind kind = Kind::kWholeLog;
  int year = 0;  // kMonth and kDay
  int month = 0;
  int day = 0;  // kDay
};

// A row of a graph table: its accesses and the length of its bar.
struct GraphCell {
  int64_t accesses = 0;
  // Bar characters: accesses × kFullBar ÷ the table's largest value.
  int64_t bar = 0;
};

// Bar characters of the row holding the table's largest value.
inline constexpr int64_t kFullBar = 20;

struct CalendarDay {
  int day = 0;
  int weekday = 0;  // 0 = Sunday
  GraphCell cell;
  bool linked = false;  // the day's page exists
};

struct MonthRow {
  int year = 0;
  int month = 0;
  GraphCell cell;
  bool linked = false;  // the month's page exists
};

struct RankedRow {
  int rank = 0;
  LogText name;
  int64_t accesses = 0;
  double share = 0;  // per cent of the page's accesses
};

struct Ranked {
  int rows = 0;  // the rows the table is set to show
  std::vector<RankedRow> entries;
};

struct PageModel {
  enum class Kind { kIndex, kMonth, kDay };
  Kind kind = Kind::kIndex;
  PageTitle title;  // an index of a one-month log is titled as that month
  std::string file_name;
  int64_t accesses = 0;
  int64_t visitors = 0;
  double average = 0;  // accesses per visitor; 0 without visitors
  std::array<GraphCell, 24> hours;
  bool has_weekdays = false;  // index and month pages
  std::array<GraphCell, 7> weekdays;
  // One row per day of the month: month pages, and an index of one month.
  std::vector<CalendarDay> calendar;
  // One row per period, in the order the log first presents them: an index
  // of several months.
  std::vector<MonthRow> months;
  Ranked organisations;
  Ranked domains;
  Ranked contents;
};

// Whether a day of the calendar's month has a page in the report.
using DayLinked = std::function<bool(int day)>;

// What the index page shows between its visitor and hour tables.
struct IndexLayout {
  // Set for a log of a single month at run levels 1 and 2: that month's
  // calendar, with day links where `day_linked` says. Otherwise the month
  // table of the periods.
  const Period* single_month = nullptr;
  DayLinked day_linked;
  // The month table's rows link to the month pages (run levels 1 and 2).
  bool month_links = false;
};

// "index.html": the whole log.
PageModel IndexModel(const PeriodTally& tally, const RowGroup& rows,
                     const PeriodTable& periods, const IndexLayout& layout);
// The page of one month, its calendar linking the days `day_linked` names.
PageModel MonthModel(const PeriodTally& tally, const RowGroup& rows,
                     const Period& period, const DayLinked& day_linked);
// The page of one day.
PageModel DayModel(const PeriodTally& tally, const RowGroup& rows, int year,
                   int month, int day);

}  // namespace tovex

#endif  // TOVEX_REPORT_PAGE_MODEL_H_
