#include "job/job.h"

#include <charconv>
#include <chrono>
#include <cstdarg>
#include <functional>
#include <optional>
#include <string>

#include "base/texts.h"
#include "job/job_run.h"
#include "job/run_folders.h"
#include "log/log_input.h"
#include "log/log_scanner.h"
#include "report/pages.h"
#include "sort/relay.h"
#include "resolve/dns_resolver.h"
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
  // Crawlers are known by their agents; lines without one were left in.
  if (run->filter_counts.agentless > 0) {
    os.messages->Note(
        FormatText(UserText::kNoAgents,
                   static_cast<long long>(run->filter_counts.agentless)));
  }
}

// What a history's pages were last made with, and whether those differ
// from this run's.
PublishedRecord PublishedNow(const Settings& settings,
                             const RunFolders& folders) {
  return {true,
          static_cast<int>(settings.run_level),
          settings.index_rows,
          settings.month_rows,
          settings.day_rows,
          folders.html_dir->id(),
          !settings.json_file.empty()};
}

// `options` on one line, for a message.
std::string OptionsShown(std::string options) {
  if (options.empty()) return "-";
  while (!options.empty() && options.back() == '\n') options.pop_back();
  for (char& c : options) {
    if (c == '\n') c = ' ';
  }
  return options;
}

// Opens the history of `settings` into run->periods, refusing one made
// with other counting options.
Status OpenHistory(JobRun* run, const RunRequest& request,
                   const RunFolders& folders, const std::string& options,
                   std::unique_ptr<History>* history) {
  const Settings& settings = run->settings;
  const std::string setting = "HISTORYDIR=" + settings.history_dir;
  const std::string path = DirectoryPath(run->ctx, settings.history_dir);
  TOVEX_RETURN_IF_ERROR(History::Open(run->ctx, path, request.rebuild,
                                      &run->periods, history));
  const FileId id = (*history)->folder()->id();
  if (id == folders.html_dir->id() || id == folders.work_dir->id()) {
    return Status::BadSetting(
        setting, std::string(TextOf(UserText::kHistoryFolderShared)));
  }
  const HistoryState& state = (*history)->state();
  if (!(*history)->empty() && state.options != options) {
    return Status::BadSetting(
        setting, FormatText(UserText::kHistoryOtherOptions,
                            OptionsShown(state.options).c_str(),
                            OptionsShown(options).c_str()));
  }
  (*history)->state().options = options;
  return Status::Ok();
}

// Reads what is new into the history and writes the pages that changed.
// `*updated` is false when nothing was new and the report is as this run
// would make it: then nothing is written at all.
Status UpdateFromHistory(JobRun* run, const RunFolders& folders,
                         const RunRequest& request, InputLog* log,
                         History* history, bool* updated) {
  HistoryState& state = history->state();
  // The old sets are folded on what the reading leaves of the cores.
  std::unique_ptr<EarlyFold> early;
  TOVEX_RETURN_IF_ERROR(EarlyFold::Start(history, &early));
  bool advanced = false;
  TOVEX_RETURN_IF_ERROR(ReadNewLines(run, log, &state, &advanced));
  const PublishedRecord now = PublishedNow(run->settings, folders);
  const bool anew = request.rebuild || state.published != now;
  *updated = advanced || anew || !run->pages.Has(kIndexPageName);
  // The JSON document holds every page: it is made whole each time.
  const bool all_pages = anew || now.json;
  if (!*updated) return Status::Ok();
  state.lines_read += run->lines_read;
  state.lines_counted += run->lines_counted;
  state.lines_left_out += run->lines_left_out;
  state.published = now;
  return WriteHistoryPages(run, history, all_pages, early.get());
}

// What the organisation options need, open for the whole run.
struct OrganisationLists {
  std::unique_ptr<PublicSuffixes> domains;
  std::unique_ptr<AsnNames> asn;
  std::optional<OrganisationRule> rule;  // none: the last two labels
  std::string text;  // the options as a history records them
  bool dns = false;  // names looked up (job/resolve_names.cc)
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
  lists->text = OrganisationOptionsText(options);
  lists->dns = options.dns;
  return Status::Ok();
}

// Progress of the lookups is shown after this many addresses.
constexpr uint64_t kResolveProgressStep = 256;

// The name cache's file where DNSCACHE names none.
constexpr char kDnsCacheName[] = "tovex-dns.cache";

// What --resolve dns needs, checked before any folder is touched. c-ares is
// started only once the log is read: its library and channel would add to
// the reading's peak of memory.
struct DnsSetup {
  DnsOptions options;
  ResolveCounts counts;  // of the run's lookups
};

// Reads DNSSERVER and RESOLVETIMEOUT.
Status SetUpDns(const Context& ctx, const Settings& settings,
                JobObserver* observer, DnsSetup* dns) {
  DnsOptions options;
  if (!settings.dns_server.empty()) {
    DnsServer server;
    const std::string error = ParseDnsServer(settings.dns_server, &server);
    if (!error.empty()) {
      return Status::BadSetting("DNSSERVER=" + settings.dns_server, error);
    }
    options.server = server;
  }
  if (!settings.resolve_timeout.empty()) {
    int seconds = 0;
    const std::string error =
        ParseResolveTimeout(settings.resolve_timeout, &seconds);
    if (!error.empty()) {
      return Status::BadSetting("RESOLVETIMEOUT=" + settings.resolve_timeout,
                                error);
    }
    options.budget = std::chrono::seconds(seconds);
  }
  options.stop = ctx.stop;
  if (observer != nullptr) {
    // Every few entries, not every answer: a terminal line each time.
    options.progress = [observer, next = uint64_t{0}](
                           const DnsCounts& c) mutable {
      if (c.entries < next) return;
      next = c.entries + kResolveProgressStep;
      observer->OnResolveProgress(c.entries, c.looked_up);
    };
  }
  dns->options = std::move(options);
  return Status::Ok();
}

// The name cache: DNSCACHE, else in the history folder, else in the work
// folder. `*owned` holds the folder DNSCACHE names.
Status LocateDnsCache(const Context& ctx, const Settings& settings,
                      const RunFolders& folders, History* history,
                      std::unique_ptr<Folder>* owned, DnsCache* cache) {
  if (settings.dns_cache.empty()) {
    cache->folder = history ? history->folder() : folders.work_dir.get();
    cache->name = kDnsCacheName;
    cache->path = cache->folder->path() + cache->name;
    return Status::Ok();
  }
  const std::string& v = settings.dns_cache;
  const std::string path = v[0] == kPathSeparator ? v : ctx.base_dir + v;
  const size_t cut = path.rfind(kPathSeparator) + 1;
  cache->name = path.substr(cut);
  if (cache->name.empty() || cache->name == "." || cache->name == "..") {
    return Status::BadSetting("DNSCACHE=" + v, "names no file");
  }
  std::string error;
  *owned = ctx.platform.fs->OpenFolder(path.substr(0, cut), &error);
  if (!*owned) return Status::CannotOpen(path.substr(0, cut), error);
  cache->folder = owned->get();
  cache->path = path;
  return Status::Ok();
}

// What a run counts with, made once before any folder is touched.
struct RunOptions {
  const LineFilter* filter = nullptr;  // none: no line option is on
  FilterCounts head_counts;  // what judging the inputs' heads left out
  const OrganisationRule* organisations = nullptr;  // none: the two labels
  // The options that change what is counted, one per line (a history
  // records them).
  std::string counting;
  DnsSetup* dns = nullptr;  // with --resolve dns only
};

// The job proper, from its first status text to its pages in place.
Status RunJob(const Context& ctx, const Settings& settings,
              const RunRequest& request, InputLog* log, RunFolders* folders,
              const RunOptions& options, JobObserver* observer,
              JobOutcome* outcome) {
  if (observer != nullptr) {
    observer->OnStatus(TextOf(UserText::kRunning));
  }
  const int64_t start = ctx.platform.clock->NowSeconds();
  const PageText texts(ctx.platform.encoder);
  if (!texts.ok()) return Status::NoConverter();
  const bool with_history = !settings.history_dir.empty();
  RunPlan plan = PlanRun(settings.run_level);
  // A history keeps every day's names whatever the level.
  if (with_history) plan.layout = {true, true, true};
  // A PeriodTable is too large for a worker's stack.
  // An inflater's state and input take room the scanner's blocks give.
  bool gzip = false;
  bool seekable = true;
  for (const InputHead& head : log->heads()) {
    gzip |= head.gzip;
    seekable &= head.seekable;
  }
  auto run = std::make_unique<JobRun>(ctx, plan, settings, texts, observer,
                                      folders->work.get(),
                                      folders->pages.get(), options.filter,
                                      gzip);
  // Inflating on the scanner's thread leaves the reading thread to count.
  run->read_on_worker = gzip && seekable;
  run->organisations = options.organisations;
  std::unique_ptr<History> history;
  if (with_history) {
    TOVEX_RETURN_IF_ERROR(OpenHistory(run.get(), request, *folders,
                                      options.counting, &history));
  }
  std::unique_ptr<JsonReport> json;
  std::unique_ptr<JsonTarget> json_target;
  if (!settings.json_file.empty()) {
    TOVEX_RETURN_IF_ERROR(JsonTarget::Open(
        ctx, settings.json_file, request.standard_output,
        folders->html_dir.get(), folders->pages.get(), &json_target));
    json = std::make_unique<JsonReport>(folders->work.get());
    run->json = json.get();
  }
  std::unique_ptr<Folder> cache_folder;
  DnsCache cache;
  if (options.dns != nullptr) {
    TOVEX_RETURN_IF_ERROR(LocateDnsCache(ctx, settings, *folders,
                                         history.get(), &cache_folder, &cache));
    run->resolved_drain = [r = run.get(), &options, &cache](RunSink* sink) {
      std::unique_ptr<DnsResolver> resolver;
      TOVEX_RETURN_IF_ERROR(
          DnsResolver::Create(options.dns->options, &resolver));
      return DrainResolvedNames(r, resolver.get(), cache,
                                &options.dns->counts, sink);
    };
  }
  // A history reads each input from where it was left, heads too: their
  // exclusions are counted as the lines are read.
  if (!history) run->filter_counts = options.head_counts;
  bool updated = true;
  if (history) {
    TOVEX_RETURN_IF_ERROR(UpdateFromHistory(run.get(), *folders, request, log,
                                            history.get(), &updated));
  } else {
    TOVEX_RETURN_IF_ERROR(ReadLog(run.get(), log));
    TOVEX_RETURN_IF_ERROR(WritePages(run.get()));
  }
  if (updated) {
    // The figures of the pages: with a history, of every line it holds.
    const HistoryState* totals = history ? &history->state() : nullptr;
    const std::string head = JsonReportHead(
        "tovex " TOVEX_VERSION, static_cast<int>(settings.run_level),
        totals ? totals->lines_read : run->lines_read,
        totals ? totals->lines_counted : run->lines_counted,
        settings.index_rows, settings.month_rows, settings.day_rows);
    if (json) TOVEX_RETURN_IF_ERROR(json_target->Stage(json.get(), head));
    // The last moment a stop leaves the old report as it was; once the
    // pages go in place, they all do.
    TOVEX_RETURN_IF_ERROR(ctx.Stopped());
    TOVEX_RETURN_IF_ERROR(folders->pages->Commit());
    // The pages are committed first: a run killed between the two steps
    // leaves pages the next run puts in place and then, having read the
    // same lines again, makes anew; a history that cannot be written
    // takes the pages back.
    if (history) {
      const Status committed = history->Commit(run->periods);
      if (!committed.ok()) {
        folders->pages->Withdraw();
        return committed;
      }
    }
    TOVEX_RETURN_IF_ERROR(folders->pages->Install());
    if (json) TOVEX_RETURN_IF_ERROR(json_target->Finish(json.get(), head));
  }

  const std::string index_path = folders->pages->PublishedPath(kIndexPageName);
  Epilogue(run.get(), start, request.open_index, index_path);
  if (outcome != nullptr) {
    outcome->index_path = index_path;
    outcome->lines_read = run->lines_read;
    outcome->lines_counted = run->lines_counted;
    outcome->lines_left_out = run->lines_left_out;
    outcome->run_level = settings.run_level;
    outcome->updated = updated;
    if (options.filter != nullptr) {
      outcome->filter_effects = options.filter->Effects(run->filter_counts);
    }
    if (options.dns != nullptr) {
      outcome->unanswered =
          static_cast<int64_t>(options.dns->counts.unanswered);
    }
  }
  return Status::Ok();
}

// A settings file is made with defaults only where none exists; one that
// exists but cannot be read fails the run.
Status RunSequence(const Context& ctx, const RunRequest& request,
                   JobObserver* observer, JobOutcome* outcome) {
  Settings settings;
  TOVEX_RETURN_IF_ERROR(LoadSettings(ctx, &settings, request.settings_file,
                                     request.output_dir.has_value()));
  if (request.run_level) settings.run_level = *request.run_level;
  if (request.output_dir) settings.html_dir = *request.output_dir;
  if (request.json_file) settings.json_file = *request.json_file;
  if (request.history_dir) settings.history_dir = *request.history_dir;
  for (const RunRequest::Override& o : request.overrides) {
    settings.*o.field = o.value;
  }
  if (request.organisations) settings.organisations = *request.organisations;
  if (request.resolve) settings.resolve = *request.resolve;
  std::unique_ptr<LineFilter> filter;
  TOVEX_RETURN_IF_ERROR(MakeLineFilter(ctx, settings, &filter));
  OrganisationLists lists;
  TOVEX_RETURN_IF_ERROR(OpenOrganisationLists(settings, &lists));
  std::unique_ptr<DnsSetup> dns;
  if (lists.dns) {
    dns = std::make_unique<DnsSetup>();
    TOVEX_RETURN_IF_ERROR(SetUpDns(ctx, settings, observer, dns.get()));
  }
  RunFolders folders;
  TOVEX_RETURN_IF_ERROR(LockFolders(ctx, settings, &folders));
  // A log that cannot be read, is refused, or is a file the run would
  // replace leaves everything as it was. Its heads are judged through the
  // filter, so that each input starts at its first line that counts.
  std::unique_ptr<InputLog> log;
  std::unique_ptr<FilterJudge> heads;
  if (filter) heads = std::make_unique<FilterJudge>(*filter);
  TOVEX_RETURN_IF_ERROR(OpenLog(
      ctx, request.inputs,
      settings.history_dir.empty() ? InputMode::kOneLog : InputMode::kHistory,
      &log, heads.get()));
  const FilterCounts head_counts =
      heads ? heads->counts().exclusions() : FilterCounts();
  heads.reset();  // its caches are not needed again
  TOVEX_RETURN_IF_ERROR(CheckInputs(folders, *log));
  TOVEX_RETURN_IF_ERROR(PrepareFolders(ctx, &folders));
  RunOptions options;
  options.filter = filter.get();
  options.head_counts = head_counts;
  options.organisations = lists.rule ? &*lists.rule : nullptr;
  options.dns = dns.get();
  options.counting = filter ? filter->Fingerprint() : std::string();
  if (!lists.text.empty()) options.counting += lists.text + "\n";
  return RunJob(ctx, settings, request, log.get(), &folders, options,
                observer, outcome);
}

}  // namespace

std::string ParseResolveTimeout(std::string_view value, int* seconds) {
  int n = -1;
  const auto [end, ec] =
      std::from_chars(value.data(), value.data() + value.size(), n);
  if (ec != std::errc() || end != value.data() + value.size() || n < 0 ||
      n > kMaxResolveSeconds) {
    return "takes whole seconds from 0 (the cache alone) to " +
           std::to_string(kMaxResolveSeconds);
  }
  *seconds = n;
  return std::string();
}

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
               const PageText& t, JobObserver* o, WorkFolder* w, PageFolder* f,
               const LineFilter* line_filter, bool small_blocks)
    : ctx(c),
      plan(p),
      settings(s),
      texts(t),
      observer(o),
      work(*w),
      pages(*f),
      filter(line_filter),
      scan_block_bytes(small_blocks ||
                               (line_filter != nullptr &&
                                line_filter->excludes_bots())
                           ? kBotsScanBlockBytes
                           : kScanBlockBytes),
      names(w,
            line_filter != nullptr && line_filter->excludes_bots()
                ? kBotsNameTableBytes
                : kNameTableBytes,
            /*background=*/true) {}

Status JobRun::DrainNames(RunSink* sink) {
  if (resolved_drain) return std::exchange(resolved_drain, nullptr)(sink);
  return Relay([this](RunSink* s) { return names.Drain(s); }, sink);
}

Status JobRun::WritePage(const PageModel& model) {
  TOVEX_RETURN_IF_ERROR(ctx.Stopped());
  PageBuilder page(texts, filter != nullptr && filter->decodes_paths()
                              ? ctx.platform.encoder
                              : nullptr);
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
