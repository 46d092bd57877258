// One analysis run, from an access log to the report pages, at run level 0
// (index page), 1 (and month pages) or 2 (and day pages).
//
// RunAnalysis is the whole run as both front ends start it: it loads the
// settings, deletes the old pages, checks the log and runs the job. The job
// streams the log once, writes two records per counted line into work
// files, sorts and merges them externally, tallies each period and writes
// its page, then beeps, optionally opens the index page and removes its work
// files. Memory does not grow with the log.

#ifndef TOVEX_JOB_JOB_H_
#define TOVEX_JOB_JOB_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace tovex {

// Receives a run's progress. Called on the run's thread; an implementation
// that feeds a window must move the texts onto its own thread.
class JobObserver {
 public:
  virtual ~JobObserver() = default;
  // A status text ("Running!!", "Making!! - Index.html file", ...).
  virtual void OnStatus(std::string_view text) = 0;
  // Bytes of the log read so far, every few megabytes.
  virtual void OnProgress(uint64_t /*bytes_read*/, uint64_t /*bytes_total*/) {}
};

struct RunRequest {
  std::string log_path;
  // Overrides RUNLEVEL of the settings file for this run.
  std::optional<RunLevel> run_level;
  // Ask the shell to open index.html at the end.
  bool open_index = true;
};

struct JobOutcome {
  std::string index_path;      // full path of index.html
  int64_t lines_counted = 0;   // lines on the report
  int64_t lines_left_out = 0;  // counted lines of months beyond the table
  RunLevel run_level = RunLevel::kYear;  // the level that ran
};

// The beep at the end of a job.
inline constexpr int kBeepHertz = 16365;
inline constexpr int kBeepMilliseconds = 500;

// Runs one analysis of `request.log_path`. `running`, when given, is set at
// the start and cleared as the very last action, whatever the outcome.
// Fails with NotAccessLog when the log is refused (the old pages are gone
// then), CannotOpen/CannotWrite for files, NoConverter when no page can be
// made; work files written so far then stay behind.
Status RunAnalysis(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, std::atomic<bool>* running,
                   JobOutcome* outcome);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_H_
