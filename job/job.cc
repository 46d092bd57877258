#include "job/job.h"

#include <cstdarg>

#include "base/texts.h"
#include "job/job_run.h"
#include "job/run_folders.h"
#include "log/log_input.h"
#include "report/pages.h"
#include "tovex_version.h"
#include "work/file_names.h"

namespace tovex {
namespace {

void Epilogue(JobRun* run, int64_t start, bool open_index,
              const std::string& index_path) {
  const Platform& os = run->ctx.platform;
  const int64_t end = os.clock->NowSeconds();
  run->Show(UserText::kFinished, static_cast<double>(end - start));
  os.beeper->Beep(kBeepHertz, kBeepMilliseconds);
  if (open_index) {
    if (!os.shell->HasDisplay()) {
      os.messages->Warn(std::string(TextOf(UserText::kNoDisplay)));
    } else if (!os.shell->Open(index_path)) {
      os.messages->Warn(std::string(TextOf(UserText::kNoBrowser)));
    }
  }
  if (run->lines_left_out > 0) {
    os.messages->Warn(FormatText(UserText::kMonthsLeftOut, kMaxPeriods,
                                 static_cast<long long>(run->lines_left_out)));
  }
}

// What the organisation options need, open for the whole run.
struct OrganisationLists {
  std::unique_ptr<PublicSuffixes> domains;
  std::unique_ptr<AsnNames> asn;
  std::optional<OrganisationRule> rule;  // none: the last two labels
};

// Before any folder is touched: a value that cannot be used or a list that
// cannot be opened leaves everything as it was.
Status OpenOrganisationLists(const Settings& settings,
                             OrganisationLists* lists) {
  OrganisationOptions options;
  std::string error = ParseOrganisationsValue(settings.organisations, &options);
  if (!error.empty()) {
    return Status::BadSetting("ORGANISATIONS=" + settings.organisations, error);
  }
  error = ParseResolveValue(settings.resolve, &options);
  if (!error.empty()) {
    return Status::BadSetting("RESOLVE=" + settings.resolve, error);
  }
  if (options.domains) {
    TOVEX_RETURN_IF_ERROR(PublicSuffixes::Open(&lists->domains));
  }
  if (options.asn) {
    TOVEX_RETURN_IF_ERROR(AsnNames::Open(kAsnDatabasePath, &lists->asn));
  }
  if (options.domains || options.asn) {
    lists->rule.emplace(lists->domains.get(), lists->asn.get());
  }
  return Status::Ok();
}

// The job proper, from its first status text to its pages in place.
Status RunJob(const Context& ctx, const Settings& settings,
              const RunRequest& request, InputLog* log, RunFolders* folders,
              const OrganisationRule* organisations, JobObserver* observer,
              JobOutcome* outcome) {
  if (observer != nullptr) {
    observer->OnStatus(TextOf(UserText::kRunning));
  }
  const int64_t start = ctx.platform.clock->NowSeconds();
  const PageText texts(ctx.platform.encoder);
  if (!texts.ok()) return Status::NoConverter();
  // A PeriodTable is too large for a worker's stack.
  auto run = std::make_unique<JobRun>(
      ctx, PlanRun(settings.run_level), settings, texts, observer,
      folders->work.get(), folders->pages.get());
  run->organisations = organisations;
  std::unique_ptr<JsonReport> json;
  std::unique_ptr<JsonTarget> json_target;
  if (!settings.json_file.empty()) {
    TOVEX_RETURN_IF_ERROR(JsonTarget::Open(
        ctx, settings.json_file, request.standard_output,
        folders->html_dir.get(), folders->pages.get(), &json_target));
    json = std::make_unique<JsonReport>(folders->work.get());
    run->json = json.get();
  }
  TOVEX_RETURN_IF_ERROR(ReadLog(run.get(), log));
  TOVEX_RETURN_IF_ERROR(WritePages(run.get()));
  const std::string head = JsonReportHead(
      "tovex " TOVEX_VERSION, static_cast<int>(settings.run_level),
      run->lines_read, run->lines_counted, settings.index_rows,
      settings.month_rows, settings.day_rows);
  if (json) TOVEX_RETURN_IF_ERROR(json_target->Stage(json.get(), head));
  // The last moment a stop leaves the old report as it was; once the pages
  // go in place, they all do.
  TOVEX_RETURN_IF_ERROR(ctx.Stopped());
  TOVEX_RETURN_IF_ERROR(folders->pages->Publish());
  if (json) TOVEX_RETURN_IF_ERROR(json_target->Finish(json.get(), head));

  const std::string index_path = folders->pages->PublishedPath(kIndexPageName);
  Epilogue(run.get(), start, request.open_index, index_path);
  if (outcome != nullptr) {
    outcome->index_path = index_path;
    outcome->lines_read = run->lines_read;
    outcome->lines_counted = run->lines_counted;
    outcome->lines_left_out = run->lines_left_out;
    outcome->run_level = settings.run_level;
  }
  return Status::Ok();
}

// A settings file is made with defaults only where none exists; one that
// exists but cannot be read fails the run.
Status RunSequence(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, JobOutcome* outcome) {
  Settings settings;
  TOVEX_RETURN_IF_ERROR(LoadSettings(ctx, &settings, request.settings_file));
  if (request.run_level) settings.run_level = *request.run_level;
  if (request.output_dir) settings.html_dir = *request.output_dir;
  if (request.json_file) settings.json_file = *request.json_file;
  if (request.organisations) settings.organisations = *request.organisations;
  if (request.resolve) settings.resolve = *request.resolve;
  OrganisationLists lists;
  TOVEX_RETURN_IF_ERROR(OpenOrganisationLists(settings, &lists));
  RunFolders folders;
  TOVEX_RETURN_IF_ERROR(LockFolders(ctx, settings, &folders));
  // A log that cannot be read, is refused, or is a file the run would
  // replace leaves everything as it was.
  std::unique_ptr<InputLog> log;
  TOVEX_RETURN_IF_ERROR(OpenLog(ctx, request.inputs, &log));
  TOVEX_RETURN_IF_ERROR(CheckInputs(folders, *log));
  TOVEX_RETURN_IF_ERROR(PrepareFolders(ctx, &folders));
  return RunJob(ctx, settings, request, log.get(), &folders,
                lists.rule ? &*lists.rule : nullptr, observer, outcome);
}

}  // namespace

RunPlan PlanRun(RunLevel level) {
  const bool months = level != RunLevel::kYear, days = level == RunLevel::kDay;
  RunPlan plan{level,        months,
               days,         {months, days},
               std::nullopt, level == RunLevel::kMonth,
               days};
  if (level == RunLevel::kYear) plan.new_month_text = UserText::kProcessing;
  if (level == RunLevel::kMonth)
    plan.new_month_text = UserText::kMakingTempFile;
  return plan;
}

void JobRun::Show(UserText text, ...) {
  if (observer == nullptr) return;
  va_list args;
  va_start(args, text);
  const std::string line = FormatTextV(text, args);
  va_end(args);
  observer->OnStatus(line);
}

JobRun::JobRun(const Context& c, const RunPlan& p, const Settings& s,
               const PageText& t, JobObserver* o, WorkFolder* w, PageFolder* f)
    : ctx(c),
      plan(p),
      settings(s),
      texts(t),
      observer(o),
      work(*w),
      pages(*f),
      names(w, kNameTableBytes, /*background=*/true) {}

Status JobRun::WritePage(const PageModel& model) {
  TOVEX_RETURN_IF_ERROR(ctx.Stopped());
  PageBuilder page(texts);
  RenderHtml(model, &page);
  if (json != nullptr) TOVEX_RETURN_IF_ERROR(json->Add(model));
  return pages.Write(model.file_name, page.page());
}

Status RunAnalysis(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, std::atomic<bool>* running,
                   JobOutcome* outcome) {
  if (running != nullptr) running->store(true);
  Context run_ctx = ctx;
  run_ctx.stop = request.cancel;
  Status status = RunSequence(run_ctx, request, observer, outcome);
  // A stop that came while the pages went in place did not stop the run.
  if (running != nullptr) running->store(false);
  return status;
}

}  // namespace tovex
