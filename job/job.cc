#include "job/job.h"

#include <algorithm>
#include <cstdio>

#include "job/job_run.h"

namespace tovex {
namespace {

constexpr char kNoBrowserMessage[] =
    "Webブラウザ－がインストールされていません!!";

void ShowProcessing(JobRun* run, int period) {
  const Period& p = run->periods.at(period);
  run->Show("Processing!! - %d-%d", p.year, p.month);
}

void ShowTempFile(JobRun* run, int period) {
  const Period& p = run->periods.at(period);
  run->Show("Making!! - %d-%d temp file", p.year, p.month);
}

std::string LeftOutMessage(int64_t lines) {
  char text[160];
  std::snprintf(text, sizeof text,
                "%d か月を超えた月の %lld 行は集計していません!!", kMaxPeriods,
                static_cast<long long>(lines));
  return text;
}

// Everything between the first status text and the clean-up.
Status Analyse(JobRun* run, const std::string& log_path) {
  const int level = run->settings.run_level;
  if (level == 0) {
    auto sink = NewIndexSink(run);
    TOVEX_RETURN_IF_ERROR(ReadLog(run, log_path, sink.get(), ShowProcessing));
    return FinishYearJob(run);
  }
  auto sink = NewPeriodSink(run);
  if (level == 1) {
    TOVEX_RETURN_IF_ERROR(ReadLog(run, log_path, sink.get(), ShowTempFile));
    return FinishMonthJob(run);
  }
  // No day file of an earlier run may leak into this one's days.
  RemoveDayFiles(run->ctx, run->settings.work_dir, kLastDayFileNumber);
  TOVEX_RETURN_IF_ERROR(ReadLog(run, log_path, sink.get(), nullptr));
  return FinishDayJob(run);
}

void Epilogue(JobRun* run, int64_t start, const JobOptions& options,
              const std::string& index_path) {
  const Platform& os = run->ctx.platform;
  const int64_t end = os.clock->NowSeconds();
  run->Show("Finished!! - taken %6.0f sec", static_cast<double>(end - start));
  os.beeper->Beep(kBeepHertz, kBeepMilliseconds);
  if (options.open_index && os.shell->Open(index_path) <= kShellFailureLimit) {
    os.messages->Warn(kNoBrowserMessage);
  }
  RemoveWorkFiles(run->ctx, run->settings.work_dir);
  if (run->lines_left_out > 0) {
    os.messages->Warn(LeftOutMessage(run->lines_left_out));
  }
}

Status RunJobUnguarded(const Context& ctx, const std::string& log_path,
                       const JobOptions& options, JobObserver* observer,
                       std::atomic<bool>* running, JobOutcome* outcome) {
  if (observer != nullptr) observer->OnStatus("Running!!");
  if (running != nullptr) running->store(true);
  const int64_t start = ctx.platform.clock->NowSeconds();

  Settings settings;
  TOVEX_RETURN_IF_ERROR(LoadSettings(ctx, &settings));
  if (options.run_level) {
    settings.run_level =
        std::clamp(*options.run_level, kMinRunLevel, kMaxRunLevel);
  }
  // A PeriodTable and a PeriodTally are too large for a worker's stack.
  auto run = std::make_unique<JobRun>(ctx, settings, observer);
  TOVEX_RETURN_IF_ERROR(Analyse(run.get(), log_path));

  const std::string index_path = JoinPath(ctx, settings.html_dir, "index.html");
  Epilogue(run.get(), start, options, index_path);
  if (outcome != nullptr) {
    outcome->index_path = index_path;
    outcome->lines_counted = run->lines_counted;
    outcome->lines_left_out = run->lines_left_out;
    outcome->run_level = settings.run_level;
  }
  return Status::Ok();
}

}  // namespace

Status RunJob(const Context& ctx, const std::string& log_path,
              const JobOptions& options, JobObserver* observer,
              std::atomic<bool>* running, JobOutcome* outcome) {
  Status status =
      RunJobUnguarded(ctx, log_path, options, observer, running, outcome);
  if (running != nullptr) running->store(false);
  return status;
}

void DeleteOldPages(const Context& ctx, const Settings& settings) {
  const std::string dir = JoinPath(ctx, settings.html_dir, "");
  for (const DirEntry& entry : ctx.platform.fs->List(dir, "*.html")) {
    if (!entry.is_directory) ctx.platform.fs->Delete(dir + entry.name);
  }
}

}  // namespace tovex
