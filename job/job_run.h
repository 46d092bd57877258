// The state one job carries through its stages, shared by the job's files.
// Not part of the job's interface (see job.h).

#ifndef TOVEX_JOB_JOB_RUN_H_
#define TOVEX_JOB_JOB_RUN_H_

#include <cstdint>
#include <memory>
#include <string>

#include "base/texts.h"
#include "job/job.h"
#include "report/page_builder.h"
#include "report/page_text.h"
#include "settings/settings.h"
#include "tally/tally.h"
#include "work/period_table.h"
#include "work/work_file.h"

namespace tovex {

// Receives each counted line's two records during the reading stage.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Opens what must exist even when no line counts; called once the log is
  // open.
  virtual Status Start() = 0;
  // `period` is the line's PeriodTable index.
  virtual Status Add(int period, std::string_view host, std::string_view path,
                     int day, int hour, int weekday) = 0;
  // Flushes and closes whatever is open.
  virtual Status Finish() = 0;
};

struct JobRun {
  JobRun(const Context& c, const Settings& s, const PageText& t, JobObserver* o)
      : ctx(c), settings(s), work(c, s.work_dir), texts(t), observer(o) {}

  // Shows a status text from the table, its conversions filled
  // printf-style.
  void Show(UserText text, ...);

  // A PeriodTally for one page at a time; allocated once per job.
  PeriodTally* tally();

  // Writes a finished page into the output directory as `name`, replacing
  // an earlier file of that name.
  Status WritePage(const std::string& name, const PageBuilder& page);
  // Whether the output directory holds the page of that date.
  bool HasDayPage(int year, int month, int day) const;

  const Context ctx;
  const Settings settings;
  const WorkDir work;
  const PageText& texts;
  JobObserver* observer;
  PeriodTable periods;
  int64_t lines_counted = 0;
  int64_t lines_left_out = 0;
  // Year and month of the last counted line; -1 before the first.
  int last_year = -1;
  int last_month = -1;

 private:
  std::unique_ptr<PeriodTally> tally_;
};

// Reads the log once, line by line, and hands every counted line to `sink`
// with its PeriodTable entry, creating entries in order of first appearance
// and counting each entry's lines. `on_new_period` runs for each new entry
// (its status text). Lines of months beyond the table's capacity are counted
// in run->lines_left_out only.
Status ReadLog(JobRun* run, const std::string& log_path, RecordSink* sink,
               void (*on_new_period)(JobRun* run, int period));

// The stages after reading, by run level.
Status FinishYearJob(JobRun* run);
Status FinishMonthJob(JobRun* run);
Status FinishDayJob(JobRun* run);

// Sinks for the reading stage: run level 0 writes every line to the whole
// log's pair; the month and day levels write each line to its period's pair.
std::unique_ptr<RecordSink> NewIndexSink(JobRun* run);
std::unique_ptr<RecordSink> NewPeriodSink(JobRun* run);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_RUN_H_
