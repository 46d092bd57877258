// What one job's stages share: the plan decided from its run level, its
// folders and services, and the counts it collects while reading. Not part
// of the job's interface (see job.h).

#ifndef TOVEX_JOB_JOB_RUN_H_
#define TOVEX_JOB_JOB_RUN_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/texts.h"
#include "filter/line_filter.h"
#include "history/history.h"
#include "history/whole_set.h"
#include "job/job.h"
#include "job/json_report.h"
#include "job/name_keys.h"
#include "log/log_input.h"
#include "report/page_builder.h"
#include "report/page_model.h"
#include "report/page_text.h"
#include "resolve/resolve_pass.h"
#include "settings/settings.h"
#include "sort/aggregator.h"
#include "tally/organisation_rule.h"
#include "work/period_table.h"
#include "work/work_folder.h"

namespace tovex {

// Memory for the names of the whole log before they spill to runs; twice
// this while a full table is spilled in the background and the next fills.
inline constexpr size_t kNameTableBytes = 768 << 10;
// The crawler set, once compiled, keeps about 1.5 MB resident (RE2's
// program, its matcher's work queues and states); a run that excludes bots
// gives as much up here and in the log's blocks, to stay within 8 MB.
inline constexpr size_t kBotsNameTableBytes = 512 << 10;
inline constexpr size_t kBotsScanBlockBytes = 128 << 10;
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
  // `filter` (null when no line option is on) must outlive the run.
  // `small_blocks`: the log is read in kBotsScanBlockBytes blocks (room
  // for an inflater).
  JobRun(const Context& c, const RunPlan& p, const Settings& s,
         const PageText& t, JobObserver* o, WorkFolder* w, PageFolder* f,
         const LineFilter* filter, bool small_blocks = false);

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
  // When line options are on: the filter the log is read through, and
  // what it did (ReadLog adds to what the input heads' judging found).
  const LineFilter* const filter;
  FilterCounts filter_counts;
  const size_t scan_block_bytes;  // the log's blocks (LogScanner)
  // The log is read on the scanner's thread (LogScanner): set where
  // reading costs work (inflating) and no input can wait without end.
  bool read_on_worker = false;
  // Null: every tally takes the last two labels.
  const OrganisationRule* organisations = nullptr;
  // Filled by ReadLog, read by the page stages.
  PeriodTable periods;
  Aggregator names;
  // With --resolve dns: drains `names` as DrainResolvedNames does, once.
  std::function<Status(RunSink*)> resolved_drain;
  // Hands every name in key order to `sink` and leaves none: on a thread of
  // its own (a relay), or with resolved_drain on this one.
  Status DrainNames(RunSink* sink);
  int64_t lines_read = 0;
  int64_t lines_counted = 0;
  int64_t lines_left_out = 0;  // counted lines of months beyond the table
};

// The line options of `settings` as one filter, built and checked;
// `*filter` stays null when no option is on. Fails with BadSetting naming
// the key and value that cannot be used.
Status MakeLineFilter(const Context& ctx, const Settings& settings,
                      std::unique_ptr<LineFilter>* filter);

// Reads the log once and counts every counted line: its period's cells and
// its host and content under their keys in run->names. Periods are created
// in order of first appearance. Lines of months beyond the table's capacity
// are counted in run->lines_left_out only. With run->filter, lines are
// judged through it, and what it did is added to run->filter_counts.
Status ReadLog(JobRun* run, InputLog* log);

// After reading: every page of the plan.
Status WritePages(JobRun* run);

// With a history: reads what is new in each input of `log` (InputMode::
// kHistory), from where `state` says its stream was left, and records in
// `state` where each was read up to. `*advanced` is set when any input
// gave bytes not read before. The names are keyed day first.
Status ReadNewLines(JobRun* run, InputLog* log, HistoryState* state,
                    bool* advanced);

// With a history, after ReadNewLines: adds the new names to the history's
// day and whole-log sets (new files named in the state) and writes the
// pages of the months that got lines, those missing from the output
// folder, and the index; every page with `all_pages`. The other pages of
// the report are listed with run->pages as kept. `early` (may be null)
// folds the old whole-log sets meanwhile.
Status WriteHistoryPages(JobRun* run, History* history, bool all_pages,
                         EarlyFold* early);

// Where the name cache of --resolve dns lives: the file `name` of `folder`
// (not owned), shown as `path`.
struct DnsCache {
  Folder* folder = nullptr;
  std::string name;
  std::string path;
};

// With --resolve dns, after reading (ReadLog or ReadNewLines): looks up the
// run's numeric clients, renews `cache` (its answers reused while fresh,
// the new file put in place of the old by rename), and hands run->names to
// `sink` in key order as if the log had held each confirmed name in place
// of its address, leaving none. Called on the job's thread: the sink and
// the status texts are. Trouble with the old cache is a warning; a failure
// of the new one, of the work files, of the resolver (Cancelled on a stop)
// or of the sink fails the run.
Status DrainResolvedNames(JobRun* run, NameResolver* resolver,
                          const DnsCache& cache, ResolveCounts* counts,
                          RunSink* sink);

// What the page stages share.
//
// Feeds a stream of names with the whole-log layout into a tally.
class IndexNames : public RunSink {
 public:
  IndexNames(NameTally* tally, const JobRun* run) : tally_(tally), run_(run) {}
  Status Take(const RunRecord& r) override;
  static Status Add(NameTally* tally, NameKind kind, std::string_view name,
                    int64_t count);

 private:
  NameTally* tally_;
  const JobRun* run_;
  int64_t taken_ = 0;
};
// Day pages exist where the plan has them, for the days with accesses.
DayLinked DayLinksOf(const JobRun& run, const Period& p);
// The index page of the whole log's names, which `feed` hands to a sink.
Status TallyAndWriteIndex(JobRun* run,
                          const std::function<Status(RunSink*)>& feed);
// The two halves of TallyAndWriteIndex: the index's figures into `*tally`
// (empty before), then its page. TallyIndex touches nothing of `run` but
// its work folder, periods, organisation rule and stop.
Status TallyIndex(JobRun* run, const std::function<Status(RunSink*)>& feed,
                  PeriodTally* tally);
Status WriteIndex(JobRun* run, const PeriodTally& tally);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_RUN_H_
