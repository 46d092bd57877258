#include "cli/cli.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/texts.h"
#include "filter/line_filter.h"
#include "job/job.h"
#include "log/log_input.h"
#include "resolve/dns_resolver.h"
#include "tally/organisation_rule.h"
#include "tovex_version.h"

namespace tovex {
namespace {

constexpr char kVersion[] = TOVEX_VERSION;
constexpr char kUsage[] =
    "usage: tovex-cli [OPTIONS] LOG...\n"
    "\n"
    "Analyses an access log (common or combined layout) and writes the HTML\n"
    "report. Several LOGs are one log, read oldest first; \"-\" is standard\n"
    "input; gzip-compressed logs are read as they are.\n"
    "\n"
    "  --run-level N        0: index page only, 1: and month pages,\n"
    "                       2: and day pages (default: RUNLEVEL)\n"
    "  -o, --output DIR     write the pages into DIR (default: HTMLDIR)\n"
    "  -c, --settings FILE  the settings file (default: ./quorvane.ini);\n"
    "                       its folder is the base of WORKDIR and HTMLDIR\n"
    "  --json FILE          also write the report's figures as JSON to FILE\n"
    "                       (\"-\": standard output; default: JSONFILE)\n"
    "  --history DIR        keep the figures in DIR and read only what is new\n"
    "                       in each LOG (default: HISTORYDIR)\n"
    "  --rebuild            forget the history and start it from the LOGs\n"
    "  --organisations R    an organisation is a host name's last two labels\n"
    "                       (R=labels) or its registrable domain by the\n"
    "                       public suffix list (R=domain) (default:\n"
    "                       ORGANISATIONS, else labels)\n"
    "  --resolve R          R=dns: numeric clients are counted under their\n"
    "                       names, looked up and confirmed forward in DNS;\n"
    "                       R=asn: a numeric client's organisation is its\n"
    "                       autonomous system, from libloc's database;\n"
    "                       R=dns,asn: both (default: RESOLVE)\n"
    "  --dns-cache FILE     the lookups' cache (default: DNSCACHE, else in\n"
    "                       the history or work folder)\n"
    "  --dns-server A[:P]   ask this DNS server (default: DNSSERVER, else\n"
    "                       the system's resolver configuration)\n"
    "  --resolve-timeout S  seconds the lookups may take; 0: the cache only\n"
    "                       (default: RESOLVETIMEOUT, else 30)\n"
    "  -q, --quiet          print only errors and warnings\n"
    "  --open               open the index page in the web browser when done\n"
    "  -h, --help           show this text\n"
    "  --version            show the version\n"
    "  --                   end of the options\n"
    "\n"
    "Line options (default: the settings file's keys; off):\n"
    "  --exclude-host LIST  leave out clients: addresses, CIDR ranges and\n"
    "                       names or *.name patterns, comma-separated;\n"
    "                       repeatable (EXCLUDEHOSTS)\n"
    "  --exclude-bots       leave out the crawlers of the crawler-user-agents\n"
    "                       list, by user agent (EXCLUDEBOTS=1)\n"
    "  --status LIST        count only these statuses: 404, 2xx (STATUS)\n"
    "  --methods LIST       count only these methods: GET,HEAD (METHODS)\n"
    "  --vhost NAME         count only the lines of virtual host NAME or\n"
    "                       NAME:PORT (VHOST)\n"
    "  --tz ZONE            time stamps in ZONE: Asia/Tokyo or +0900\n"
    "                       (TIMEZONE)\n"
    "  --query-pages        a path's ?query and #fragment cut off, so that\n"
    "                       /a.html?x=1 is the page /a.html (QUERYPAGES=1)\n"
    "  --decode-paths       UTF-8 escapes in paths decoded and shown in\n"
    "                       Shift-JIS (DECODEPATHS=1)\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be opened, read or written,\n"
    "2 wrong usage, 3 not an access log, 4 another run holds the work,\n"
    "output or history folder, 128+N stopped by signal N.\n";

struct Options {
  std::optional<RunLevel> run_level;
  std::optional<std::string> output;
  std::optional<std::string> settings;
  std::optional<std::string> json;
  std::optional<std::string> history;
  bool rebuild = false;
  std::optional<std::string> organisations;
  std::optional<std::string> resolve;
  std::optional<std::string> dns_cache;
  bool quiet = false;
  bool open = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> inputs;
  // The line options given, as the settings file would spell them.
  std::vector<RunRequest::Override> overrides;
};

// A line option of the command line and the settings field it overrides.
struct LineOption {
  std::string_view name;
  std::string Settings::*field;
  bool takes_value;
  bool repeats;  // values add up, as a list's items
};
constexpr LineOption kLineOptions[] = {
    {"--exclude-host", &Settings::exclude_hosts, true, true},
    {"--exclude-bots", &Settings::exclude_bots, false, false},
    {"--status", &Settings::statuses, true, true},
    {"--methods", &Settings::methods, true, true},
    {"--vhost", &Settings::vhost, true, false},
    {"--tz", &Settings::time_zone, true, false},
    {"--query-pages", &Settings::query_pages, false, false},
    {"--decode-paths", &Settings::decode_paths, false, false},
};

// An error text naming `option` and the bad item of `value`, or empty when
// the filter takes the value. The check is the filter's own, on this value
// alone.
std::string CheckLineOption(const LineOption& option, const std::string& value,
                            FileSystem* fs) {
  if (!option.takes_value) return std::string();
  if (value.empty()) return std::string(option.name) + " needs a value";
  Settings given;
  given.*option.field = value;
  FilterOptions options;
  for (auto [list, items] :
       {std::pair(&given.exclude_hosts, &options.exclude_hosts),
        std::pair(&given.statuses, &options.statuses),
        std::pair(&given.methods, &options.methods)}) {
    if (!list->empty()) items->push_back(*list);
  }
  options.vhost = given.vhost;
  options.time_zone = given.time_zone;
  std::unique_ptr<LineFilter> filter;
  const FilterError error = LineFilter::Create(options, fs, &filter);
  return error.ok() ? std::string()
                    : std::string(option.name) + ": " + error.text;
}

// Takes a line option into `*overrides`: a repeated list grows by its
// items, any other value replaces the one before.
void AddLineOption(const LineOption& option, std::string value,
                   std::vector<RunRequest::Override>* overrides) {
  for (RunRequest::Override& o : *overrides) {
    if (o.field != option.field) continue;
    o.value = option.repeats ? o.value + "," + value : std::move(value);
    return;
  }
  overrides->push_back({option.field, std::move(value)});
}

// The value of option `arg` ("--name VALUE", "--name=VALUE" or "-x VALUE"),
// or an error text. `*i` moves past a separate value.
std::string OptionValue(int argc, const char* const* argv, int* i,
                        std::string_view arg, std::string_view name,
                        std::string* value) {
  if (arg.size() > name.size() && arg[name.size()] == '=') {
    *value = std::string(arg.substr(name.size() + 1));
    return std::string();
  }
  if (++*i >= argc) return std::string(name) + " needs a value";
  *value = argv[*i];
  return std::string();
}

bool Is(std::string_view arg, std::string_view short_name,
        std::string_view long_name) {
  return arg == short_name ||
         (arg.starts_with(long_name) &&
          (arg.size() == long_name.size() || arg[long_name.size()] == '='));
}

// The line option `arg` names, or null.
const LineOption* LineOptionOf(std::string_view arg) {
  for (const LineOption& o : kLineOptions) {
    if (o.takes_value ? Is(arg, "", o.name) : arg == o.name) return &o;
  }
  return nullptr;
}

// Takes the line option `option` at argv[*i] (`*i` moves past a separate
// value); returns an error text, or empty.
std::string TakeLineOption(const LineOption& option, int argc,
                           const char* const* argv, int* i, FileSystem* fs,
                           Options* opts) {
  std::string value(1, '1');
  if (option.takes_value) {
    std::string error =
        OptionValue(argc, argv, i, argv[*i], option.name, &value);
    if (error.empty()) error = CheckLineOption(option, value, fs);
    if (!error.empty()) return error;
  }
  AddLineOption(option, std::move(value), &opts->overrides);
  return std::string();
}

// Returns an error text, or empty when the command line is sound. Line
// options' values are checked here, through `fs` (a time zone's file).
std::string ParseArgs(int argc, const char* const* argv, FileSystem* fs,
                      Options* opts) {
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string value, error;
    const LineOption* line_option = options_end ? nullptr : LineOptionOf(arg);
    if (line_option != nullptr) {
      error = TakeLineOption(*line_option, argc, argv, &i, fs, opts);
    } else if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
      opts->inputs.emplace_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "--help" || arg == "-h") {
      opts->help = true;
    } else if (arg == "--version") {
      opts->version = true;
    } else if (arg == "--open") {
      opts->open = true;
    } else if (arg == "--quiet" || arg == "-q") {
      opts->quiet = true;
    } else if (Is(arg, "", "--run-level")) {
      error = OptionValue(argc, argv, &i, arg, "--run-level", &value);
      if (error.empty() && value != "0" && value != "1" && value != "2") {
        error = "--run-level takes 0, 1 or 2";
      }
      if (error.empty()) opts->run_level = RunLevelOf(value[0] - '0');
    } else if (Is(arg, "-o", "--output")) {
      error = OptionValue(argc, argv, &i, arg, arg == "-o" ? "-o" : "--output",
                          &value);
      opts->output = value;
    } else if (Is(arg, "", "--json")) {
      error = OptionValue(argc, argv, &i, arg, "--json", &value);
      if (error.empty() && value.empty()) error = "--json needs a file";
      opts->json = value;
    } else if (Is(arg, "", "--history")) {
      error = OptionValue(argc, argv, &i, arg, "--history", &value);
      if (error.empty() && value.empty()) error = "--history needs a folder";
      opts->history = value;
    } else if (arg == "--rebuild") {
      opts->rebuild = true;
    } else if (Is(arg, "", "--organisations")) {
      error = OptionValue(argc, argv, &i, arg, "--organisations", &value);
      OrganisationOptions unused;
      if (error.empty() &&
          (value.empty() || !ParseOrganisationsValue(value, &unused).empty())) {
        error = "--organisations takes labels or domain";
      }
      opts->organisations = value;
    } else if (Is(arg, "", "--resolve")) {
      error = OptionValue(argc, argv, &i, arg, "--resolve", &value);
      OrganisationOptions unused;
      if (error.empty() &&
          (value.empty() || !ParseResolveValue(value, &unused).empty())) {
        error = "--resolve takes dns, asn or dns,asn";
      }
      opts->resolve = value;
    } else if (Is(arg, "", "--dns-cache")) {
      error = OptionValue(argc, argv, &i, arg, "--dns-cache", &value);
      if (error.empty() && value.empty()) error = "--dns-cache needs a file";
      opts->dns_cache = value;
    } else if (Is(arg, "", "--dns-server")) {
      error = OptionValue(argc, argv, &i, arg, "--dns-server", &value);
      DnsServer unused;
      if (error.empty()) error = ParseDnsServer(value, &unused);
      opts->overrides.push_back({&Settings::dns_server, value});
    } else if (Is(arg, "", "--resolve-timeout")) {
      error = OptionValue(argc, argv, &i, arg, "--resolve-timeout", &value);
      int unused = 0;
      if (error.empty()) error = ParseResolveTimeout(value, &unused);
      if (!error.empty()) error = "--resolve-timeout " + error;
      opts->overrides.push_back({&Settings::resolve_timeout, value});
    } else if (Is(arg, "-c", "--settings")) {
      error = OptionValue(argc, argv, &i, arg,
                          arg == "-c" ? "-c" : "--settings", &value);
      opts->settings = value;
    } else {
      error = "unknown option " + std::string(arg);
    }
    if (!error.empty()) return error;
  }
  if (opts->help || opts->version) return std::string();
  if (opts->inputs.empty()) return "no log given";
  if (std::count(opts->inputs.begin(), opts->inputs.end(), kStandardInputName) >
      1) {
    return "standard input (\"-\") can be read only once";
  }
  return std::string();
}

// `path` as seen from `base` (a directory with its trailing separator).
std::string FromBase(const std::string& base, const std::string& path) {
  return !path.empty() && path[0] == kPathSeparator ? path : base + path;
}

// Status texts go to stderr a line each; on a terminal the share of the log
// read so far is shown on a line that the next text overwrites.
class StderrObserver : public JobObserver {
 public:
  StderrObserver(std::FILE* err, bool quiet)
      : err_(err),
        terminal_(!quiet && ::isatty(::fileno(err)) != 0),
        quiet_(quiet) {}

  void OnStatus(std::string_view text) override {
    if (quiet_) return;
    ClearProgress();
    std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
  }

  void OnProgress(uint64_t bytes_read, uint64_t bytes_total) override {
    if (!terminal_ || bytes_total == 0) return;
    const unsigned percent =
        static_cast<unsigned>(bytes_read * 100 / bytes_total);
    std::fprintf(err_, "\rReading %3u%%", percent > 100 ? 100 : percent);
    std::fflush(err_);
    progress_shown_ = true;
  }

  void OnResolveProgress(uint64_t addresses, uint64_t looked_up) override {
    if (!terminal_) return;
    std::fprintf(err_, "\rResolving %llu addresses, %llu looked up",
                 static_cast<unsigned long long>(addresses),
                 static_cast<unsigned long long>(looked_up));
    std::fflush(err_);
    progress_shown_ = true;
  }

  void ClearProgress() {
    if (!progress_shown_) return;
    std::fputs("\r\033[K", err_);
    progress_shown_ = false;
  }

 private:
  std::FILE* err_;
  bool terminal_;
  bool quiet_;
  bool progress_shown_ = false;
};

// Messages of a quiet run: notes are left out, warnings pass.
class QuietMessages : public Messages {
 public:
  explicit QuietMessages(Messages* messages) : messages_(messages) {}
  void Warn(const std::string& text) override { messages_->Warn(text); }
  void Note(const std::string& /*text*/) override {}
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return messages_->AskYesNo(text, caption);
  }

 private:
  Messages* messages_;
};

// The summary line: kSummary, and what each line option on did.
std::string Summary(const JobOutcome& outcome) {
  std::string text = FormatText(
      UserText::kSummary, static_cast<long long>(outcome.lines_read),
      static_cast<long long>(outcome.lines_counted),
      static_cast<long long>(outcome.lines_read - outcome.lines_counted));
  for (const OptionEffect& e : outcome.filter_effects) {
    const std::string option(e.option);
    if (!e.rewrites || e.left_out > 0) {
      text += FormatText(UserText::kOptionLeftOut, option.c_str(),
                         static_cast<long long>(e.left_out));
    }
    if (e.rewrites) {
      text += FormatText(UserText::kOptionRewrote, option.c_str(),
                         static_cast<long long>(e.rewritten));
    }
  }
  if (outcome.unanswered > 0) {
    text += FormatText(UserText::kUnanswered,
                       static_cast<long long>(outcome.unanswered));
  }
  return text;
}

// Standard output as a file the job writes the JSON document to.
class StreamFile : public WritableFile {
 public:
  explicit StreamFile(std::FILE* stream) : stream_(stream) {}
  bool Write(const char* data, size_t n) override {
    if (std::fwrite(data, 1, n, stream_) == n) return true;
    errno_ = errno;
    return false;
  }
  bool Close() override {
    if (std::fflush(stream_) == 0 && errno_ == 0) return true;
    if (errno_ == 0) errno_ = errno;
    return false;
  }
  std::string error() const override {
    return errno_ == 0 ? std::string() : std::strerror(errno_);
  }

 private:
  std::FILE* stream_;
  int errno_ = 0;
};

int Fail(const Status& status, std::FILE* err) {
  std::fputs(status.Message().c_str(), err);
  return status.ExitCode();
}

}  // namespace

int RunCli(int argc, const char* const* argv, const Platform& platform,
           const std::string& base_dir, std::FILE* out, std::FILE* err,
           const std::atomic<int>* stop) {
  Options opts;
  std::string error = ParseArgs(argc, argv, platform.fs, &opts);
  if (!error.empty()) {
    std::fprintf(err, "tovex-cli: %s\n\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  if (opts.help) {
    std::fputs(kUsage, out);
    return kExitDone;
  }
  if (opts.version) {
    std::fprintf(out, "tovex-cli %s\n", kVersion);
    return kExitDone;
  }

  Context ctx;
  ctx.base_dir = base_dir;
  ctx.platform = platform;
  QuietMessages quiet_messages(platform.messages);
  if (opts.quiet) ctx.platform.messages = &quiet_messages;
  RunRequest request;
  if (opts.settings) {
    // The settings file's folder is the base directory.
    const std::string path = FromBase(base_dir, *opts.settings);
    const size_t cut = path.rfind(kPathSeparator) + 1;
    ctx.base_dir = path.substr(0, cut);
    request.settings_file = path.substr(cut);
  }
  // Paths on the command line are the shell's: from the current directory.
  if (opts.output) request.output_dir = FromBase(base_dir, *opts.output);
  StreamFile standard_output(out);
  const bool json_out = opts.json && *opts.json == "-";
  if (opts.json) {
    request.json_file = json_out ? *opts.json : FromBase(base_dir, *opts.json);
  }
  request.standard_output = &standard_output;
  if (opts.history) request.history_dir = FromBase(base_dir, *opts.history);
  request.rebuild = opts.rebuild;
  request.inputs = opts.inputs;
  request.overrides = opts.overrides;
  request.run_level = opts.run_level;
  request.organisations = opts.organisations;
  request.resolve = opts.resolve;
  // A file named on the command line is the shell's, from the current
  // directory.
  if (opts.dns_cache) {
    request.overrides.push_back(
        {&Settings::dns_cache, FromBase(base_dir, *opts.dns_cache)});
  }
  request.open_index = opts.open;
  request.cancel = stop;
  StderrObserver observer(err, opts.quiet);
  JobOutcome outcome;
  const Status status = RunAnalysis(ctx, request, &observer, nullptr, &outcome);
  observer.ClearProgress();
  if (!status.ok()) return Fail(status, err);
  if (opts.quiet || json_out) return kExitDone;
  observer.OnStatus(Summary(outcome));
  // A script that reads the path must get it whole, or learn that it did
  // not.
  if (std::fprintf(out, "%s\n", outcome.index_path.c_str()) < 0 ||
      std::fflush(out) != 0) {
    return Fail(Status::CannotWrite("stdout", std::strerror(errno)), err);
  }
  return kExitDone;
}

}  // namespace tovex
