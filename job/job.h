// One analysis run, from an access log to the report pages, at run level 0
// (index page), 1 (and month pages) or 2 (and day pages).
//
// RunAnalysis is the whole run as both front ends start it: it loads the
// settings, takes its folders, opens and checks the log, runs the job and
// puts the pages in place. The job streams the log once, counting each
// counted line's host and content in a table of bounded size that spills
// sorted runs to its work folder, merges them, tallies each period as its
// names come out of the merge and stages its page, then beeps, optionally
// opens the index page and removes its work files. Memory does not grow
// with the log.

#ifndef TOVEX_JOB_JOB_H_
#define TOVEX_JOB_JOB_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "filter/line_filter.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "work/file_names.h"

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
  // With --resolve dns: client addresses dealt with so far, and of those,
  // looked up in DNS (the others were in the cache).
  virtual void OnResolveProgress(uint64_t /*addresses*/,
                                 uint64_t /*looked_up*/) {}
};

struct RunRequest {
  // The log: one or more inputs, read as one (log/log_input.h); "-" is
  // standard input.
  std::vector<std::string> inputs;
  // Overrides RUNLEVEL of the settings file for this run.
  std::optional<RunLevel> run_level;
  // Overrides HTMLDIR of the settings file for this run.
  std::optional<std::string> output_dir;
  // Overrides JSONFILE of the settings file for this run: the JSON
  // document of the report's figures ("-": `standard_output`, which must
  // then be given; empty: none).
  std::optional<std::string> json_file;
  WritableFile* standard_output = nullptr;
  // Overrides HISTORYDIR of the settings file for this run: the history
  // the run adds its new lines to and makes the report from (empty: none).
  std::optional<std::string> history_dir;
  // Forgets the history and starts it again from the inputs.
  bool rebuild = false;
  // Override line keys of the settings file for this run (the line
  // options: EXCLUDEHOSTS=, ... DECODEPATHS=), each value as the file would
  // spell it.
  struct Override {
    std::string Settings::*field;
    std::string value;
  };
  std::vector<Override> overrides;
  // Override ORGANISATIONS and RESOLVE of the settings file for this run
  // (tally/organisation_rule.h says what they take).
  std::optional<std::string> organisations;
  std::optional<std::string> resolve;
  // The settings file's name in the base directory.
  std::string settings_file = std::string(kSettingsFileName);
  // When given, read all along: a nonzero value (the number of the signal
  // that asked for it) stops the run with Cancelled, leaving the old report
  // as it was and no work file behind.
  const std::atomic<int>* cancel = nullptr;
  // Ask the shell to open index.html at the end.
  bool open_index = true;
};

struct JobOutcome {
  std::string index_path;      // full path of index.html
  int64_t lines_read = 0;      // lines of the log
  int64_t lines_counted = 0;   // lines on the report
  int64_t lines_left_out = 0;  // counted lines of months beyond the table
  // With a history: false when no input had anything new (nothing was
  // written).
  bool updated = true;
  RunLevel run_level = RunLevel::kYear;  // the level that ran
  // What each line option on did; empty when none is on.
  std::vector<OptionEffect> filter_effects;
  // With --resolve dns: client addresses DNS did not answer in time.
  int64_t unanswered = 0;
};

// The longest RESOLVETIMEOUT: an hour, past which a daily run is better off
// without the names than waiting on a resolver that is in trouble.
inline constexpr int kMaxResolveSeconds = 3600;

// Takes RESOLVETIMEOUT's value (--resolve-timeout): whole seconds from 0 to
// kMaxResolveSeconds. Returns an error text saying so, or empty.
std::string ParseResolveTimeout(std::string_view value, int* seconds);

// The stop a front end asks for without a signal (the window closing).
inline constexpr int kStopAsked = -1;

// The beep at the end of a job.
inline constexpr int kBeepHertz = 16365;
inline constexpr int kBeepMilliseconds = 500;

// Runs one analysis of `request.inputs`. `running`, when given, is set at
// the start and cleared as the very last action, whatever the outcome.
//
// The work and output folders are made where missing and locked for the
// run (Busy when another run holds one); the inputs are opened and checked;
// the pages are staged and put in place together at the end, then the old
// report pages the new report lacks go. Any failure before that, and a
// stop, leave the output folder as it was and no work file behind. Fails
// with NotAccessLog when the log is refused, CannotOpen, CannotRead,
// CorruptInput, CannotMakeFolder or CannotWrite for files, NoConverter
// when no page can be made, Cancelled when stopped, BadSetting naming the
// key and value of a line option that cannot be used (before any folder is
// touched).
Status RunAnalysis(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, std::atomic<bool>* running,
                   JobOutcome* outcome);

}  // namespace tovex

#endif  // TOVEX_JOB_JOB_H_
