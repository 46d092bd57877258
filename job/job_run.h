// The state one job carries through its stages, shared by the job's files.
// Not part of the job's interface (see job.h).

#ifndef TOVEX_JOB_JOB_RUN_H_
#define TOVEX_JOB_JOB_RUN_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/texts.h"
#include "job/job.h"
#include "job/name_keys.h"
#include "log/log_input.h"
#include "report/page_builder.h"
#include "report/page_text.h"
#include "settings/settings.h"
#include "sort/aggregator.h"
#include "tally/tally.h"
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

struct JobRun {
  // `stop`, when given, is read at every step: once it holds a nonzero
  // signal number the run stops with Cancelled.
  JobRun(const Context& c, const Settings& s, const PageText& t, JobObserver* o,
         WorkFolder* w, PageFolder* p, const std::atomic<int>* stop);

  // Shows a status text from the table, its conversions filled
  // printf-style.
  void Show(UserText text, ...);

  // Stages a finished page as `name`.
  Status WritePage(const std::string& name, const PageBuilder& page);

  // Cancelled with the signal once a stop was asked for; else Ok.
  Status Stopped() const {
    const int signal = stop_ != nullptr ? stop_->load() : 0;
    return signal == 0 ? Status::Ok() : Status::Cancelled(signal);
  }

  // The layout of the names' keys at this run level.
  KeyLayout layout() const {
    return {settings.run_level != RunLevel::kYear,
            settings.run_level == RunLevel::kDay};
  }

  const Context ctx;
  const Settings settings;
  const PageText& texts;
  JobObserver* observer;
  WorkFolder& work;
  PageFolder& pages;
  PeriodTable periods;
  Aggregator names;
  int64_t lines_read = 0;
  int64_t lines_counted = 0;
  int64_t lines_left_out = 0;
  // Year and month of the last counted line; -1 before the first.
  int last_year = -1;
  int last_month = -1;
  // One page's figures at a time.
  PeriodTally tally;

 private:
  const std::atomic<int>* stop_;
};

// Reads the log once and counts every counted line: its period's cells and
// its host and content under their keys in run->names. Periods are created
// in order of first appearance; `on_new_period` runs for each (its status
// text). Lines of months beyond the table's capacity are counted in
// run->lines_left_out only.
Status ReadLog(JobRun* run, InputLog* log,
               void (*on_new_period)(JobRun* run, int period));

// After reading: every page of the run level.
Status WritePages(JobRun* run);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_RUN_H_
