#include "job/job.h"

#include <cstdarg>

#include "base/texts.h"
#include "job/job_run.h"
#include "log/log_input.h"
#include "work/file_names.h"

namespace tovex {
namespace {

void ShowProcessing(JobRun* run, int period) {
  const Period& p = run->periods.at(period);
  run->Show(UserText::kProcessing, p.year, p.month);
}

void ShowTempFile(JobRun* run, int period) {
  const Period& p = run->periods.at(period);
  run->Show(UserText::kMakingTempFile, p.year, p.month);
}

// Everything between the first status text and the clean-up.
Status Analyse(JobRun* run, InputLog* log) {
  switch (run->settings.run_level) {
    case RunLevel::kYear:
      TOVEX_RETURN_IF_ERROR(ReadLog(run, log, ShowProcessing));
      break;
    case RunLevel::kMonth:
      TOVEX_RETURN_IF_ERROR(ReadLog(run, log, ShowTempFile));
      break;
    case RunLevel::kDay:
      TOVEX_RETURN_IF_ERROR(ReadLog(run, log, nullptr));
      break;
  }
  return WritePages(run);
}

void Epilogue(JobRun* run, int64_t start, bool open_index,
              const std::string& index_path) {
  const Platform& os = run->ctx.platform;
  const int64_t end = os.clock->NowSeconds();
  run->Show(UserText::kFinished, static_cast<double>(end - start));
  os.beeper->Beep(kBeepHertz, kBeepMilliseconds);
  if (open_index && !os.shell->Open(index_path)) {
    os.messages->Warn(std::string(TextOf(UserText::kNoBrowser)));
  }
  if (run->lines_left_out > 0) {
    os.messages->Warn(FormatText(UserText::kMonthsLeftOut, kMaxPeriods,
                                 static_cast<long long>(run->lines_left_out)));
  }
}

// The job proper, from its first status text to the removal of its files.
Status RunJob(const Context& ctx, const Settings& settings,
              const RunRequest& request, InputLog* log, JobObserver* observer,
              JobOutcome* outcome) {
  if (observer != nullptr) {
    observer->OnStatus(TextOf(UserText::kRunning));
  }
  const int64_t start = ctx.platform.clock->NowSeconds();
  const PageText texts(ctx.platform.encoder);
  if (!texts.ok()) return Status::NoConverter();
  // A PeriodTable and a PeriodTally are too large for a worker's stack.
  auto run = std::make_unique<JobRun>(ctx, settings, texts, observer);
  const Status analysed = Analyse(run.get(), log);
  // The work files go whatever the outcome.
  run->work.RemoveFiles();
  TOVEX_RETURN_IF_ERROR(analysed);

  const std::string index_path =
      JoinPath(ctx, settings.html_dir, kIndexPageName);
  Epilogue(run.get(), start, request.open_index, index_path);
  if (outcome != nullptr) {
    outcome->index_path = index_path;
    outcome->lines_counted = run->lines_counted;
    outcome->lines_left_out = run->lines_left_out;
    outcome->run_level = settings.run_level;
  }
  return Status::Ok();
}

// Deletes every "*.html" file (not directory) of the output directory.
void DeleteOldPages(const Context& ctx, const Settings& settings) {
  const std::string dir = JoinPath(ctx, settings.html_dir, "");
  for (const DirEntry& entry : ctx.platform.fs->List(dir, "*.html")) {
    if (!entry.is_directory) ctx.platform.fs->Delete(dir + entry.name);
  }
}

Status RunSequence(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, JobOutcome* outcome) {
  Settings settings;
  TOVEX_RETURN_IF_ERROR(LoadSettings(ctx, &settings, request.settings_file));
  if (request.run_level) settings.run_level = *request.run_level;
  if (request.output_dir) settings.html_dir = *request.output_dir;
  for (const std::string* dir : {&settings.work_dir, &settings.html_dir}) {
    TOVEX_RETURN_IF_ERROR(MakeFolder(ctx, DirectoryPath(ctx, *dir)));
  }
  // A log that cannot be read or is refused leaves the old pages alone.
  std::unique_ptr<InputLog> log;
  TOVEX_RETURN_IF_ERROR(OpenLog(ctx, request.inputs, &log));
  DeleteOldPages(ctx, settings);
  return RunJob(ctx, settings, request, log.get(), observer, outcome);
}

}  // namespace

void JobRun::Show(UserText text, ...) {
  if (observer == nullptr) return;
  va_list args;
  va_start(args, text);
  const std::string line = FormatTextV(text, args);
  va_end(args);
  observer->OnStatus(line);
}

JobRun::JobRun(const Context& c, const Settings& s, const PageText& t,
               JobObserver* o)
    : ctx(c),
      settings(s),
      texts(t),
      observer(o),
      work(c, JoinPath(c, s.work_dir, "")),
      names(&work, kNameTableBytes) {}

Status JobRun::WritePage(const std::string& name, const PageBuilder& page) {
  const std::string path = JoinPath(ctx, settings.html_dir, name);
  std::unique_ptr<WritableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, OpenMode::kWrite, &file));
  const std::string& bytes = page.page();
  const bool written = file->Write(bytes.data(), bytes.size());
  if (!file->Close() || !written) return Status::CannotWrite(path);
  return Status::Ok();
}

Status RunAnalysis(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, std::atomic<bool>* running,
                   JobOutcome* outcome) {
  if (running != nullptr) running->store(true);
  Status status = RunSequence(ctx, request, observer, outcome);
  if (running != nullptr) running->store(false);
  return status;
}

}  // namespace tovex
