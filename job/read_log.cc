#include <optional>

#include "job/job_run.h"
#include "log/log_line.h"
#include "log/log_scanner.h"

namespace tovex {
namespace {

// Progress is reported after this many bytes of the log, not per line.
constexpr uint64_t kProgressStepBytes = 4u << 20;
// A stop is looked for after this many counted lines: often enough to stop
// at once, seldom enough to cost nothing.
constexpr int64_t kStopCheckLines = 4096;

// Counts the log's lines: the period table's counts and the names.
Status CountLines(JobRun* run, InputLog* log) {
  const uint64_t log_size = log->Size();
  // Each scanning thread judges through a filter state of its own.
  std::optional<FilterJudge> scanning, reading;
  ScanJudges judges;
  if (run->filter != nullptr) {
    judges = {&scanning.emplace(*run->filter), &reading.emplace(*run->filter)};
  }
  LogScanner lines(log, judges, run->scan_block_bytes);
  const KeyLayout layout = run->plan.layout;

  uint64_t next_progress = kProgressStepBytes;
  int period = -1;
  // Year and month of the last counted line; -1 before the first.
  int last_year = -1, last_month = -1;
  LogRecord rec;
  char key[kNameKeyBytes];
  while (lines.Next(&rec)) {
    if (log->bytes_read() >= next_progress && run->observer != nullptr) {
      run->observer->OnProgress(log->bytes_read(), log_size);
      next_progress = log->bytes_read() + kProgressStepBytes;
    }
    if (rec.year != last_year || rec.month != last_month) {
      period = run->periods.Find(rec.year, rec.month);
      if (period < 0) {
        period = run->periods.Add(rec.year, rec.month);
        if (period >= 0 && run->plan.new_month_text) {
          run->Show(*run->plan.new_month_text, rec.year, rec.month);
        }
      }
      last_year = rec.year;
      last_month = rec.month;
    }
    if (period < 0) {
      ++run->lines_left_out;
      continue;
    }
    if (++run->lines_counted % kStopCheckLines == 0) {
      TOVEX_RETURN_IF_ERROR(run->ctx.Stopped());
    }
    run->periods.Count(period, rec.day, rec.hour);
    TOVEX_RETURN_IF_ERROR(run->names.Add(
        MakeKey(layout, {period, NameKind::kHost, rec.host, rec.day}, key), 1));
    TOVEX_RETURN_IF_ERROR(run->names.Add(
        MakeKey(layout, {period, NameKind::kContent, rec.path, rec.day}, key),
        1));
  }
  // A read cut short by a stop is the stop.
  TOVEX_RETURN_IF_ERROR(run->ctx.Stopped());
  TOVEX_RETURN_IF_ERROR(ReadFailure(*log));
  run->lines_read = lines.lines() + log->lines_passed_over();
  if (run->filter != nullptr) {
    run->filter_counts += scanning->counts();
    run->filter_counts += reading->counts();
  }
  if (run->observer != nullptr) {
    run->observer->OnProgress(log->bytes_read(), log_size);
  }
  if (run->plan.last_month_text_again && run->periods.size() > 0) {
    run->Show(*run->plan.new_month_text, last_year, last_month);
  }
  return Status::Ok();
}

}  // namespace

Status ReadLog(JobRun* run, InputLog* log) {
  const Status status = CountLines(run, log);
  // Once the scanner's blocks are given back, the counts take their room.
  run->periods.Settle();
  return status;
}

}  // namespace tovex
