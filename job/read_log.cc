#include <memory>

#include "history/streams.h"
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

// Counts counted lines into a run: their period's cells and their host and
// content under their keys in run->names. Periods are created in order of
// first appearance; lines of months beyond the table are counted in
// run->lines_left_out only.
class LineCounter {
 public:
  LineCounter(JobRun* run, InputLog* log) : run_(run), log_(log) {
    // Each scanning thread judges through a filter state of its own, kept
    // from one input to the next with its caches.
    if (run->filter != nullptr) {
      scanning_ = std::make_unique<FilterJudge>(*run->filter);
      reading_ = std::make_unique<FilterJudge>(*run->filter);
      judges_ = {scanning_.get(), reading_.get()};
    }
  }

  // A scanner of `file` for this counter.
  std::unique_ptr<LogScanner> Scanner(ReadableFile* file,
                                      bool drop_unended = false) {
    return std::make_unique<LogScanner>(file, judges_, run_->scan_block_bytes,
                                        drop_unended, run_->read_on_worker);
  }

  // Every counted line of `lines`, until its end.
  Status Count(LogScanner* lines) {
    const KeyLayout layout = run_->plan.layout;
    LogRecord rec;
    char key[kNameKeyBytes];
    while (lines->Next(&rec)) {
      if (log_->bytes_read() >= next_progress_ && run_->observer != nullptr) {
        run_->observer->OnProgress(log_->bytes_read(), log_->Size());
        next_progress_ = log_->bytes_read() + kProgressStepBytes;
      }
      if (rec.year != last_year_ || rec.month != last_month_) NewMonth(rec);
      if (period_ < 0) {
        ++run_->lines_left_out;
        continue;
      }
      if (++run_->lines_counted % kStopCheckLines == 0) {
        TOVEX_RETURN_IF_ERROR(run_->ctx.Stopped());
      }
      run_->periods.Count(period_, rec.day, rec.hour);
      TOVEX_RETURN_IF_ERROR(run_->names.Add(
          MakeKey(layout, {period_, NameKind::kHost, rec.host, rec.day}, key),
          1));
      TOVEX_RETURN_IF_ERROR(run_->names.Add(
          MakeKey(layout, {period_, NameKind::kContent, rec.path, rec.day},
                  key),
          1));
    }
    run_->lines_read += lines->lines();
    // A read cut short by a stop is the stop.
    TOVEX_RETURN_IF_ERROR(run_->ctx.Stopped());
    return ReadFailure(*log_);
  }

  // The months (year × 12 + month - 1) counted lines fell in since the
  // last call; -1 for none.
  void TakeSpan(int* first, int* last) {
    *first = first_;
    *last = last_;
    first_ = last_ = -1;
  }

  // Ends the reading: progress, and the last month's text again where the
  // plan has it.
  void Finish() {
    run_->lines_read += log_->lines_passed_over();
    if (run_->filter != nullptr) {
      run_->filter_counts += scanning_->counts();
      run_->filter_counts += reading_->counts();
    }
    if (run_->observer != nullptr) {
      run_->observer->OnProgress(log_->bytes_read(), log_->Size());
    }
    if (run_->plan.last_month_text_again && run_->periods.size() > 0) {
      run_->Show(*run_->plan.new_month_text, last_year_, last_month_);
    }
  }

 private:
  void NewMonth(const LogRecord& rec) {
    period_ = run_->periods.Find(rec.year, rec.month);
    if (period_ < 0) {
      period_ = run_->periods.Add(rec.year, rec.month);
      if (period_ >= 0 && run_->plan.new_month_text) {
        run_->Show(*run_->plan.new_month_text, rec.year, rec.month);
      }
    }
    last_year_ = rec.year;
    last_month_ = rec.month;
    const int month = rec.year * 12 + rec.month - 1;
    if (period_ >= 0) {
      first_ = first_ < 0 ? month : std::min(first_, month);
      last_ = std::max(last_, month);
    }
  }

  JobRun* run_;
  InputLog* log_;
  std::unique_ptr<FilterJudge> scanning_, reading_;
  ScanJudges judges_;
  uint64_t next_progress_ = kProgressStepBytes;
  int period_ = -1;
  // Year and month of the last counted line; -1 before the first.
  int last_year_ = -1, last_month_ = -1;
  int first_ = -1, last_ = -1;
};

}  // namespace

Status ReadLog(JobRun* run, InputLog* log) {
  LineCounter counter(run, log);
  Status status;
  status = counter.Count(counter.Scanner(log).get());
  if (status.ok()) counter.Finish();
  // Once the scanner's blocks are given back, the counts take their room.
  run->periods.Settle();
  return status;
}

Status ReadNewLines(JobRun* run, InputLog* log, HistoryState* state,
                    bool* advanced) {
  LineCounter counter(run, log);
  int stream = -1;
  uint64_t from = 0;
  auto plan = [&](const InputHead& head) {
    const InputStart start = PlanInput(head, *state, &stream);
    from = start.offset;
    return start;
  };
  ReadableFile* input = nullptr;
  size_t index = 0;
  Status status;
  while (status.ok() && log->NextInput(plan, &input, &index)) {
    const InputHead head = log->heads()[index];
    // A plain log's unended last line may still be being written; a
    // compressed one is whole.
    status = counter.Count(
        counter.Scanner(input, /*drop_unended=*/!head.gzip).get());
    log->EndInput(/*consume_unended=*/head.gzip);
    if (status.ok()) status = ReadFailure(*log);
    if (!status.ok()) break;
    const InputEnd& end = log->ends()[index];
    int first = -1, last = -1;
    counter.TakeSpan(&first, &last);
    *advanced |= stream < 0 || end.restarted || end.offset != from;
    const std::string note =
        RecordInput(head, end, stream, first, last, state);
    if (!note.empty()) {
      run->ctx.platform.messages->Warn(
          FormatText(UserText::kStreamCountedAgain, note.c_str()));
    }
  }
  if (status.ok()) status = ReadFailure(*log);
  if (status.ok()) counter.Finish();
  run->periods.Settle();
  return status;
}

}  // namespace tovex
