// What one job's stages share: the plan decided from its run level, its
// folders and services, and the counts it collects while reading. Not part
// of the job's interface (see job.h).

#ifndef TOVEX_JOB_JOB_RUN_H_
#define TOVEX_JOB_JOB_RUN_H_

#include <cstdint>
#include <optional>

#include "base/texts.h"
#include "job/job.h"
#include "job/json_report.h"
#include "job/name_keys.h"
#include "log/log_input.h"
#include "report/page_builder.h"
#include "report/page_model.h"
#include "report/page_text.h"
#include "settings/settings.h"
#include "sort/aggregator.h"
#include "tally/organisation_rule.h"
#include "work/period_table.h"
#include "work/work_folder.h"

namespace tovex {

// Memory for the names of the whole log before they spill to runs; twice
// this while a full table is spilled in the background and the next fills.
inline constexpr size_t kNameTableBytes = 768 << 10;
// Memory for one page's organisations before they spill: a month or the
// whole log, and each of the up to 31 days open at once.
inline constexpr size_t kPeriodOrganisationBytes = 512 << 10;
inline constexpr size_t kDayOrganisationBytes = 16 << 10;

// What a run makes, decided once from its run level; the stages follow it
// and decide nothing of their own.
struct RunPlan {
  RunLevel level = RunLevel::kYear;
  bool month_pages = false;  // a page per month (and links to them)
  bool day_pages = false;    // a page per day with accesses (and links)
  // The names' keys: by period where months have pages, by day where days
  // have.
  KeyLayout layout;
  // Shown with year and month as the log reaches each new month.
  std::optional<UserText> new_month_text;
  // Shown again for the last line's month once the log is read.
  bool last_month_text_again = false;
  // Shown for each month as its names are tallied.
  bool month_text_when_tallied = false;
};

RunPlan PlanRun(RunLevel level);

struct JobRun {
  JobRun(const Context& c, const RunPlan& p, const Settings& s,
         const PageText& t, JobObserver* o, WorkFolder* w, PageFolder* f);

  // Shows a status text from the table, its conversions filled
  // printf-style.
  void Show(UserText text, ...);

  // Renders a finished page and stages it.
  Status WritePage(const PageModel& model);

  const Context ctx;  // its stop ends the run with Cancelled
  const RunPlan plan;
  const Settings settings;
  const PageText& texts;
  JobObserver* const observer;
  WorkFolder& work;
  PageFolder& pages;
  JsonReport* json = nullptr;  // when the run writes the JSON document
  // Null: every tally takes the last two labels.
  const OrganisationRule* organisations = nullptr;
  // Filled by ReadLog, read by the page stages.
  PeriodTable periods;
  Aggregator names;
  int64_t lines_read = 0;
  int64_t lines_counted = 0;
  int64_t lines_left_out = 0;  // counted lines of months beyond the table
};

// Reads the log once and counts every counted line: its period's cells and
// its host and content under their keys in run->names. Periods are created
// in order of first appearance. Lines of months beyond the table's capacity
// are counted in run->lines_left_out only.
Status ReadLog(JobRun* run, InputLog* log);

// After reading: every page of the plan.
Status WritePages(JobRun* run);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_RUN_H_
