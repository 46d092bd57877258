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
Status CountLines(JobRun* run, InputLog* log,
                  void (*on_new_period)(JobRun* run, int period)) {
  const uint64_t log_size = log->Size();
  LogScanner lines(log);
  const KeyLayout layout = run->layout();

  uint64_t next_progress = kProgressStepBytes;
  int period = -1;
  LogRecord rec;
  char key[kNameKeyBytes];
  while (lines.Next(&rec)) {
    if (log->bytes_read() >= next_progress && run->observer != nullptr) {
      run->observer->OnProgress(log->bytes_read(), log_size);
      next_progress = log->bytes_read() + kProgressStepBytes;
    }
    if (rec.year != run->last_year || rec.month != run->last_month) {
      period = run->periods.Find(rec.year, rec.month);
      if (period < 0) {
        period = run->periods.Add(rec.year, rec.month);
        if (period >= 0 && on_new_period != nullptr) on_new_period(run, period);
      }
      run->last_year = rec.year;
      run->last_month = rec.month;
    }
    if (period < 0) {
      ++run->lines_left_out;
      continue;
    }
    if (++run->lines_counted % kStopCheckLines == 0) {
      TOVEX_RETURN_IF_ERROR(run->Stopped());
    }
    run->periods.Count(period, rec.day, rec.hour);
    TOVEX_RETURN_IF_ERROR(run->names.Add(
        MakeKey(layout, {period, NameKind::kHost, rec.host, rec.day}, key), 1));
    TOVEX_RETURN_IF_ERROR(run->names.Add(
        MakeKey(layout, {period, NameKind::kContent, rec.path, rec.day}, key),
        1));
  }
  TOVEX_RETURN_IF_ERROR(ReadFailure(*log));
  run->lines_read = lines.lines() + log->lines_passed_over();
  if (run->observer != nullptr) {
    run->observer->OnProgress(log->bytes_read(), log_size);
  }
  return Status::Ok();
}

}  // namespace

Status ReadLog(JobRun* run, InputLog* log,
               void (*on_new_period)(JobRun* run, int period)) {
  const Status status = CountLines(run, log, on_new_period);
  // Once the scanner's blocks are given back, the counts take their room.
  run->periods.Settle();
  return status;
}

}  // namespace tovex
