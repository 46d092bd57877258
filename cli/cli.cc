#include "cli/cli.h"

#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "base/texts.h"
#include "job/job.h"
#include "tovex_version.h"

namespace tovex {
namespace {

constexpr char kVersion[] = TOVEX_VERSION;
constexpr char kUsage[] =
    "usage: tovex-cli [--run-level 0|1|2] [--open] LOGFILE\n"
    "\n"
    "Analyses an access log (common or combined layout) and writes the HTML\n"
    "report into the output directory named by quorvane.ini in the current\n"
    "directory (created with defaults when missing).\n"
    "\n"
    "  --run-level N  0: index page only, 1: and month pages, 2: and day "
    "pages\n"
    "                 (default: RUNLEVEL of quorvane.ini)\n"
    "  --open         open the index page in the web browser when done\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be opened, 2 wrong usage,\n"
    "3 not an access log.\n";

struct Options {
  std::optional<RunLevel> run_level;
  bool open = false;
  bool help = false;
  bool version = false;
  std::string log_path;
};

// Returns an error text, or empty when the command line is sound.
std::string ParseArgs(int argc, const char* const* argv, Options* opts) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      opts->help = true;
    } else if (arg == "--version") {
      opts->version = true;
    } else if (arg == "--open") {
      opts->open = true;
    } else if (arg == "--run-level" || arg.starts_with("--run-level=")) {
      std::string_view value;
      if (arg == "--run-level") {
        if (++i >= argc) return "--run-level needs a value";
        value = argv[i];
      } else {
        value = arg.substr(std::strlen("--run-level="));
      }
      if (value != "0" && value != "1" && value != "2") {
        return "--run-level takes 0, 1 or 2";
      }
      opts->run_level = RunLevelOf(value[0] - '0');
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return "unknown option " + std::string(arg);
    } else if (!opts->log_path.empty()) {
      return "only one log file, please";
    } else {
      opts->log_path = std::string(arg);
    }
  }
  if (!opts->help && !opts->version && opts->log_path.empty()) {
    return "no log file given";
  }
  return std::string();
}

// Status texts go to stderr a line each; on a terminal the share of the log
// read so far is shown on a line that the next text overwrites.
class StderrObserver : public JobObserver {
 public:
  explicit StderrObserver(std::FILE* err)
      : err_(err), terminal_(::isatty(::fileno(err)) != 0) {}

  void OnStatus(std::string_view text) override {
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

  void ClearProgress() {
    if (!progress_shown_) return;
    std::fputs("\r\033[K", err_);
    progress_shown_ = false;
  }

 private:
  std::FILE* err_;
  bool terminal_;
  bool progress_shown_ = false;
};

int Fail(const Status& status, std::FILE* err) {
  std::fputs(status.Message().c_str(), err);
  return status.ExitCode();
}

}  // namespace

int RunCli(int argc, const char* const* argv, const Platform& platform,
           const std::string& base_dir, std::FILE* out, std::FILE* err) {
  Options opts;
  std::string error = ParseArgs(argc, argv, &opts);
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
  RunRequest request;
  request.log_path = opts.log_path;
  request.run_level = opts.run_level;
  request.open_index = opts.open;
  StderrObserver observer(err);
  JobOutcome outcome;
  const Status status = RunAnalysis(ctx, request, &observer, nullptr, &outcome);
  observer.ClearProgress();
  if (!status.ok()) return Fail(status, err);
  std::fprintf(out, "%s\n", outcome.index_path.c_str());
  return kExitDone;
}

}  // namespace tovex
