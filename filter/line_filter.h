// The opt-in options that narrow or correct what a log's page requests
// say, as one filter the log scanner runs on every line.
//
// Each option either leaves a line out or rewrites it in place into what
// the server would have written under it; the unchanged main rule
// (ParseCountedLine) then judges the rewritten line. So a run with an
// option equals a run without it over the log rewritten as the option
// means. A rewrite never makes a line longer.
//
// One LineFilter is built per run, validated, and then only read: the
// scanning threads share it. Each thread keeps its own FilterState.

#ifndef TOVEX_FILTER_LINE_FILTER_H_
#define TOVEX_FILTER_LINE_FILTER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/bot_filter.h"
#include "filter/host_filter.h"
#include "filter/line_fields.h"
#include "filter/request_filter.h"
#include "filter/time_zone.h"
#include "log/line_judge.h"
#include "log/log_line.h"
#include "platform/platform.h"

namespace tovex {

// The options as given, by command line or settings file. Empty lists and
// texts, and false, leave their option off. A list element is one option
// value ("10.0.0.0/8,*.example.jp"); options that repeat add elements.
struct FilterOptions {
  // --exclude-host, EXCLUDEHOSTS=: items as HostFilter::Add takes them.
  std::vector<std::string> exclude_hosts;
  // --exclude-bots, EXCLUDEBOTS=1: agents the crawler list matches.
  bool exclude_bots = false;
  // --status, STATUS= (StatusFilter::Add) and --methods, METHODS=
  // (MethodFilter::Add): only lines with one of them count.
  std::vector<std::string> statuses;
  std::vector<std::string> methods;
  // --vhost, VHOST=: only lines of that virtual host count (and so no line
  // without a virtual host's prefix). "name" takes the host on any port,
  // "name:port" on that port alone; names compare without regard to ASCII
  // case.
  std::string vhost;
  // --tz, TIMEZONE=: "+hhmm"/"-hhmm" or an IANA name (LoadTimeZone).
  std::string time_zone;
  // --query-pages, QUERYPAGES=1: "?..." and "#..." cut off the target.
  bool query_pages = false;
  // --decode-paths, DECODEPATHS=1: UTF-8 escapes of the target decoded
  // (DecodeUtf8Escapes).
  bool decode_paths = false;
  // Where IANA zone names are looked up, with its trailing separator.
  std::string zoneinfo_dir = std::string(kSystemZoneinfoDir);
};

// The option a usage error is about.
enum class FilterOption {
  kNone,
  kExcludeHosts,
  kExcludeBots,
  kStatuses,
  kMethods,
  kVhost,
  kTimeZone,
};

// A usage error: the option and a text that names the bad item (without
// the option's name, which the caller spells as the user did).
struct FilterError {
  FilterOption option = FilterOption::kNone;
  std::string text;
  bool ok() const { return option == FilterOption::kNone; }
};

// What the filter did, for the summary line. A page request that several
// exclusions would leave out is counted by the first of: vhost, methods,
// statuses, hosts, bots.
struct FilterCounts {
  // Page requests left out by each exclusion.
  int64_t vhost = 0;
  int64_t methods = 0;
  int64_t statuses = 0;
  int64_t hosts = 0;
  int64_t bots = 0;
  // Page requests left out because their moment, in the --tz zone, falls
  // outside the years 1..9999 that a stamp can spell.
  int64_t time_range = 0;
  // Page requests left in because the line has no user agent (the common
  // layout) while bots are excluded: worth a note once.
  int64_t agentless = 0;
  // Agents RE2 could not judge (its matcher out of memory): left in.
  int64_t bots_unjudged = 0;
  // Counted lines a rewrite changed.
  int64_t stamps_moved = 0;
  int64_t queries_cut = 0;
  int64_t paths_decoded = 0;

  int64_t left_out() const {
    return vhost + methods + statuses + hosts + bots + time_range;
  }
  // Only the counts of lines left out: what an input head's judge adds,
  // since the lines of a head that count are judged again by the scanner.
  FilterCounts exclusions() const {
    FilterCounts c;
    c.vhost = vhost, c.methods = methods, c.statuses = statuses;
    c.hosts = hosts, c.bots = bots, c.time_range = time_range;
    return c;
  }
  FilterCounts& operator+=(const FilterCounts& o);
};

// What one option did in a run, for the summary line.
struct OptionEffect {
  std::string_view option;  // as the command line spells it ("--status")
  bool rewrites = false;    // an option that rewrites lines
  int64_t left_out = 0;     // page requests it left out
  int64_t rewritten = 0;    // counted lines it changed (rewrites only)
};

class LineFilter;

// One scanning thread's state: its counts and caches. Fixed size: the bot
// cache (BotVerdictCache, about 128 KB, only when bots are excluded) and the
// last time stamp moved.
class FilterState {
 public:
  explicit FilterState(const LineFilter& filter);

  const FilterCounts& counts() const { return counts_; }

 private:
  friend class LineFilter;
  // The last minute moved to the zone: "dd/Mon/yyyy:hh:mm" and "+zzzz" as
  // read and as written. Lines come in time order, so most hit it.
  struct StampCache {
    bool valid = false;
    char from[22];
    char to[22];
    StampTime to_time;  // the seconds aside
  };

  FilterCounts counts_;
  std::unique_ptr<BotVerdictCache> bots_;
  StampCache stamp_;
};

class LineFilter {
 public:
  // Validates `options` and builds the filter: loads the zone (through
  // `files`), compiles the bot list. On a usage error returns it and leaves
  // `*filter` alone; nothing else fails.
  static FilterError Create(const FilterOptions& options, FileSystem* files,
                            std::unique_ptr<LineFilter>* filter);

  // Whether any option is on. When none is, Judge is ParseCountedLine, and
  // a caller may as well call that.
  bool active() const { return rewrites_ || excludes_; }
  bool excludes_bots() const { return bots_ != nullptr; }
  // Whether UTF-8 escapes are decoded: the pages then show UTF-8 content
  // names in Shift-JIS.
  bool decodes_paths() const { return decode_paths_; }

  // Every option that changes what is counted, as one canonical text: one
  // "name=value" line per option on, in a fixed order, lists sorted and
  // without repeats, a zone by the name of its file (links resolved), the
  // crawler list by its size and hash. Empty when no option is on. Two
  // filters with the same text count every log alike.
  std::string Fingerprint() const;

  // What each option on did, given the summed counts of the run, in the
  // order of Fingerprint.
  std::vector<OptionEffect> Effects(const FilterCounts& counts) const;

  // Rewrites the line [line, line + *size) in place (the time stamp moved
  // to the zone, the query cut, the path decoded; *size may shrink), then
  // judges it with ParseCountedLine into `*record` (its views point into
  // the rewritten line), then leaves it out when an exclusion says so.
  // Returns whether the line counts; `state`'s counts follow.
  // REQUIRES: the line is a LineReader's view (at most kMaxLogLineBytes),
  // writable; `state` was made for this filter and is used by one thread.
  //
  // Stamps not in the usual layout "dd/Mon/yyyy:hh:mm:ss +zzzz" with real
  // values are left as written; the zone's offset is the one at the start
  // of the stamp's minute. A physical line over kMaxLogLineBytes is
  // rewritten by the head the reader keeps of it.
  bool Judge(char* line, size_t* size, LogRecord* record,
             FilterState* state) const;

  // The crawler patterns RE2 could not compile and that are left out, as
  // written in the list; empty unless bots are excluded.
  std::vector<std::string_view> SkippedBotPatterns() const;

 private:
  LineFilter() = default;
  FilterError Build(const FilterOptions& options, FileSystem* files);
  // Moves `stamp`, a view into `line`, into the zone when it is a usual
  // one, and sets `*local` (and `*moved`) to what it now says. False when
  // the moment cannot be spelled there; the stamp stays as written then,
  // as it does when it is not a usual one.
  bool MoveStamp(char* line, std::string_view stamp, FilterState* state,
                 StampTime* local, bool* moved) const;
  // The exclusion that leaves a counted line out, as the count it adds to,
  // or nullptr.
  int64_t* Exclusion(std::string_view line, const LogRecord& record,
                     FilterState* state) const;
  bool MatchesVhost(std::string_view vhost) const;
  bool IsBot(std::string_view agent, FilterState* state) const;

  bool rewrites_ = false;
  bool excludes_ = false;
  std::unique_ptr<TimeZone> zone_;
  std::string zone_name_;  // canonical: "+hhmm" or the file's name
  bool query_pages_ = false;
  bool decode_paths_ = false;
  std::string vhost_name_;  // lower case; empty: every line counts
  std::string vhost_port_;  // empty: any port
  MethodFilter methods_;
  StatusFilter statuses_;
  HostFilter hosts_;
  std::unique_ptr<BotMatcher> bots_;
};

// A LineFilter as the scanner takes it (log/line_judge.h): the judge of one
// thread, with the state of its own.
class FilterJudge final : public LineJudge {
 public:
  // `filter` must outlive the judge.
  explicit FilterJudge(const LineFilter& filter)
      : filter_(filter), state_(filter) {}
  bool Judge(char* line, size_t* size, LogRecord* record) override {
    return filter_.Judge(line, size, record, &state_);
  }
  const FilterCounts& counts() const { return state_.counts(); }

 private:
  const LineFilter& filter_;
  FilterState state_;
};

}  // namespace tovex

#endif  // TOVEX_FILTER_LINE_FILTER_H_
