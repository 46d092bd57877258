// One analysis run: from an access log to the report pages, at run level 0
// (index page), 1 (and month pages) or 2 (and day pages).
//
// A job streams the log once, writes two records per counted line into work
// files, sorts and merges them externally, writes the pages, then beeps,
// optionally opens the index page and removes its work files. Memory does
// not grow with the log.

#ifndef TOVEX_JOB_JOB_H_
#define TOVEX_JOB_JOB_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/status.h"
#include "settings/settings.h"

namespace tovex {

// Receives a job's progress. Called on the job's thread; an implementation
// that feeds a window must move the texts onto its own thread.
class JobObserver {
 public:
  virtual ~JobObserver() = default;
  // A status text ("Running!!", "Making!! - Index.html file", ...).
  virtual void OnStatus(std::string_view text) = 0;
  // Bytes of the log read so far, every few megabytes.
  virtual void OnProgress(uint64_t /*bytes_read*/, uint64_t /*bytes_total*/) {}
};

struct JobOptions {
  // Overrides RUNLEVEL of the settings file for this run.
  std::optional<int> run_level;
  // Ask the shell to open index.html at the end.
  bool open_index = true;
};

struct JobOutcome {
  std::string index_path;      // full path of index.html
  int64_t lines_counted = 0;   // lines on the report
  int64_t lines_left_out = 0;  // counted lines of months beyond the table
  int run_level = 0;           // the level that ran
};

// The beep at the end of a job.
inline constexpr int kBeepHertz = 16365;
inline constexpr int kBeepMilliseconds = 500;

// Runs one job over `log_path`. Loads its own copy of the settings first.
// `running`, when given, is cleared as the job's very last action (whatever
// the outcome). Fails with CannotOpen/CannotWrite; work files written so far
// then stay behind.
Status RunJob(const Context& ctx, const std::string& log_path,
              const JobOptions& options, JobObserver* observer,
              std::atomic<bool>* running, JobOutcome* outcome);

// Deletes every "*.html" file (not directory) of the output directory.
void DeleteOldPages(const Context& ctx, const Settings& settings);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_H_
