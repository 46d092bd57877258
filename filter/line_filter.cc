#include "filter/line_filter.h"

#include <cstdio>
#include <cstring>
#include <span>

#include "base/bytes.h"
#include "base/hash.h"
#include "filter/bot_patterns.h"
#include "filter/line_fields.h"
#include "filter/list_items.h"
#include "filter/rewrite.h"
#include "platform/byte_screen.h"

namespace tovex {
namespace {

// Parts of a usual stamp: "dd/Mon/yyyy:hh:mm" up to the seconds, and the
// offset after them.
constexpr size_t kMinuteBytes = 17;
constexpr size_t kOffsetAt = 21;
constexpr size_t kOffsetBytes = 5;

// Whether the bytes between the minute and the offset of a stamp are
// ":ss " with ss 00..60.
bool HasUsualSeconds(const char* stamp) {
  const char* s = stamp + kMinuteBytes;
  return s[0] == ':' && IsDigit(s[1]) && IsDigit(s[2]) && s[3] == ' ' &&
         (s[1] < '6' || (s[1] == '6' && s[2] == '0'));
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != lower[i]) return false;
  }
  return true;
}

// The ":port" that ends `vhost`, or npos.
size_t PortColon(std::string_view vhost) {
  const size_t colon = vhost.rfind(':');
  if (colon == vhost.npos || colon == 0 || colon + 1 == vhost.size() ||
      vhost.size() - colon - 1 > kMaxPortDigits) {
    return vhost.npos;
  }
  for (char c : vhost.substr(colon + 1)) {
    if (!IsDigit(c)) return vhost.npos;
  }
  return colon;
}

// The stamp of a counted line. The main rule's host ends where the field
// parser's does; on nearly every line the usual " - - [" and a stamp of the
// usual length without "]" follow it, and that is the stamp the field
// parser would find. `*fixed` tells whether it was so: then the main rule
// matched its pattern on the blanks and dashes before the stamp and on the
// stamp's punctuation, which a moved stamp keeps; elsewhere the sign of
// the offset may have been the pattern's dash.
std::string_view CountedStamp(std::string_view line, const LogRecord& record,
                              bool* fixed) {
  const char* h = record.host.data() + record.host.size();
  const char* const end = line.data() + line.size();
  *fixed = end - h > 6 + static_cast<ptrdiff_t>(kUsualStampBytes) &&
           std::memcmp(h, " - - [", 6) == 0 && h[6 + kUsualStampBytes] == ']' &&
           FindByte(h + 6, h + 6 + kUsualStampBytes, ']') == nullptr;
  if (*fixed) return {h + 6, kUsualStampBytes};
  LineFields f;
  ParseLineFields(line, FieldDepth::kStamp, &f);
  return f.stamp;
}

// The zone `spec` names, spelt one way: a fixed offset as written ("-0000"
// is "+0000"), a name as the path of its file in `dir` with links resolved
// ("Japan" is "Asia/Tokyo"). REQUIRES: LoadTimeZone took `spec`.
std::string CanonicalZone(FileSystem* files, std::string_view dir,
                          std::string_view spec) {
  if (spec == "-0000") return "+0000";
  if (spec.size() == 5 && (spec[0] == '+' || spec[0] == '-')) {
    return std::string(spec);
  }
  const std::string real =
      files->RealPath(std::string(dir) + std::string(spec));
  const std::string real_dir =
      files->RealPath(std::string(dir)) + kPathSeparator;
  if (real.size() > real_dir.size() && real.starts_with(real_dir)) {
    return real.substr(real_dir.size());
  }
  return std::string(spec);
}

// The crawler list as the fingerprint names it: its size and hash.
std::string BotListIdentity() {
  std::string list;
  for (size_t i = 0; i < kBotPatternCount; ++i) {
    list.append(kBotPatterns[i]).append("\n");
  }
  char text[40];
  std::snprintf(text, sizeof text, "%zu:%016llx", kBotPatternCount,
                static_cast<unsigned long long>(Hash64(list)));
  return text;
}

}  // namespace

FilterCounts& FilterCounts::operator+=(const FilterCounts& o) {
  vhost += o.vhost;
  methods += o.methods;
  statuses += o.statuses;
  hosts += o.hosts;
  bots += o.bots;
  time_range += o.time_range;
  agentless += o.agentless;
  bots_unjudged += o.bots_unjudged;
  stamps_moved += o.stamps_moved;
  queries_cut += o.queries_cut;
  paths_decoded += o.paths_decoded;
  return *this;
}

FilterState::FilterState(const LineFilter& filter) {
  if (filter.excludes_bots()) bots_ = std::make_unique<BotVerdictCache>();
}

FilterError LineFilter::Create(const FilterOptions& options, FileSystem* files,
                               std::unique_ptr<LineFilter>* filter) {
  std::unique_ptr<LineFilter> f(new LineFilter());
  FilterError error = f->Build(options, files);
  if (error.ok()) *filter = std::move(f);
  return error;
}

FilterError LineFilter::Build(const FilterOptions& options, FileSystem* files) {
  for (const std::string& list : options.exclude_hosts) {
    std::string error = hosts_.Add(list);
    if (!error.empty()) return {FilterOption::kExcludeHosts, error};
  }
  for (const std::string& list : options.statuses) {
    std::string error = statuses_.Add(list);
    if (!error.empty()) return {FilterOption::kStatuses, error};
  }
  for (const std::string& list : options.methods) {
    std::string error = methods_.Add(list);
    if (!error.empty()) return {FilterOption::kMethods, error};
  }
  if (!options.vhost.empty()) {
    std::string_view name = options.vhost;
    for (char c : name) {
      if (IsSpace(c) || c == ',') {
        return {FilterOption::kVhost,
                Quoted(options.vhost) + " is not a virtual host name"};
      }
    }
    const size_t colon = PortColon(name);
    if (colon != name.npos) {
      vhost_port_ = std::string(name.substr(colon + 1));
      name = name.substr(0, colon);
    }
    for (char c : name) vhost_name_ += Lower(c);
  }
  if (!options.time_zone.empty()) {
    zone_ = std::make_unique<TimeZone>();
    std::string error = LoadTimeZone(files, options.zoneinfo_dir,
                                     options.time_zone, zone_.get());
    if (!error.empty()) return {FilterOption::kTimeZone, error};
    zone_name_ = CanonicalZone(files, options.zoneinfo_dir, options.time_zone);
  }
  if (options.exclude_bots) {
    bots_ = std::make_unique<BotMatcher>();
    std::string error = bots_->Compile(
        std::span<const std::string_view>(kBotPatterns, kBotPatternCount),
        kBotSetMemoryBytes);
    if (!error.empty()) return {FilterOption::kExcludeBots, error};
  }
  query_pages_ = options.query_pages;
  decode_paths_ = options.decode_paths;
  rewrites_ = zone_ != nullptr || query_pages_ || decode_paths_;
  excludes_ = !hosts_.empty() || !statuses_.empty() || !methods_.empty() ||
              !vhost_name_.empty() || bots_ != nullptr;
  return {};
}

std::string LineFilter::Fingerprint() const {
  std::string text;
  const auto add = [&text](std::string_view name, std::string_view value) {
    text.append(name);
    if (!value.empty()) text.append("=").append(value);
    text += '\n';
  };
  if (!vhost_name_.empty()) {
    add("vhost",
        vhost_port_.empty() ? vhost_name_ : vhost_name_ + ":" + vhost_port_);
  }
  if (!methods_.empty()) add("methods", methods_.CanonicalText());
  if (!statuses_.empty()) add("status", statuses_.CanonicalText());
  if (!hosts_.empty()) add("exclude-host", hosts_.CanonicalText());
  if (bots_ != nullptr) add("exclude-bots", BotListIdentity());
  if (zone_ != nullptr) add("tz", zone_name_);
  if (query_pages_) add("query-pages", "");
  if (decode_paths_) add("decode-paths", "");
  return text;
}

std::vector<OptionEffect> LineFilter::Effects(const FilterCounts& c) const {
  std::vector<OptionEffect> effects;
  if (!vhost_name_.empty()) effects.push_back({"--vhost", false, c.vhost, 0});
  if (!methods_.empty()) effects.push_back({"--methods", false, c.methods, 0});
  if (!statuses_.empty()) effects.push_back({"--status", false, c.statuses, 0});
  if (!hosts_.empty()) {
    effects.push_back({"--exclude-host", false, c.hosts, 0});
  }
  if (bots_ != nullptr) {
    effects.push_back({"--exclude-bots", false, c.bots, 0});
  }
  if (zone_ != nullptr) {
    effects.push_back({"--tz", true, c.time_range, c.stamps_moved});
  }
  if (query_pages_) {
    effects.push_back({"--query-pages", true, 0, c.queries_cut});
  }
  if (decode_paths_) {
    effects.push_back({"--decode-paths", true, 0, c.paths_decoded});
  }
  return effects;
}

std::vector<std::string_view> LineFilter::SkippedBotPatterns() const {
  std::vector<std::string_view> skipped;
  if (bots_ == nullptr) return skipped;
  for (size_t i : bots_->skipped()) skipped.push_back(kBotPatterns[i]);
  return skipped;
}

bool LineFilter::MoveStamp(char* line, std::string_view stamp_bytes,
                           FilterState* state, StampTime* local,
                           bool* moved) const {
  *moved = false;
  if (stamp_bytes.size() != kUsualStampBytes) return true;
  char* const stamp = line + (stamp_bytes.data() - line);
  // Most lines share their minute with the line before: the bytes alone
  // tell, and they were read and checked then.
  FilterState::StampCache& cache = state->stamp_;
  if (cache.valid && std::memcmp(stamp, cache.from, kMinuteBytes) == 0 &&
      std::memcmp(stamp + kOffsetAt, cache.from + kMinuteBytes, kOffsetBytes) ==
          0 &&
      HasUsualSeconds(stamp)) {
    std::memcpy(stamp, cache.to, kMinuteBytes);
    std::memcpy(stamp + kOffsetAt, cache.to + kMinuteBytes, kOffsetBytes);
    *local = cache.to_time;
    *moved = true;
    return true;
  }
  StampTime time;
  if (!ReadUsualStamp(stamp_bytes, &time)) return true;
  StampTime minute = time;
  minute.second = 0;
  const int64_t utc = StampToUtc(minute);
  const int32_t offset = zone_->OffsetAt(utc);
  // An offset of whole minutes leaves the seconds as written (a leap
  // second stays one); only local mean times of old dates have seconds.
  const bool whole = offset % 60 == 0;
  if (!UtcToStamp(whole ? utc : utc + time.second, offset, local)) {
    return false;
  }
  if (whole) local->second = time.second;
  char written[kUsualStampBytes];
  WriteStamp(*local, written);
  if (whole) {
    std::memcpy(cache.from, stamp, kMinuteBytes);
    std::memcpy(cache.from + kMinuteBytes, stamp + kOffsetAt, kOffsetBytes);
    std::memcpy(cache.to, written, kMinuteBytes);
    std::memcpy(cache.to + kMinuteBytes, written + kOffsetAt, kOffsetBytes);
    cache.to_time = *local;
    cache.valid = true;
  }
  std::memcpy(stamp, written, kUsualStampBytes);
  *moved = true;
  return true;
}

bool LineFilter::Judge(char* line, size_t* size, LogRecord* record,
                       FilterState* state) const {
  FilterCounts& counts = state->counts_;
  size_t cut = 0;
  if (query_pages_ &&
      FindAnyOf(line, line + *size, '?', '#', '#') < line + *size) {
    // Cutting the query decides whether a line is a page: it comes first.
    LineFields f;
    ParseLineFields({line, *size}, FieldDepth::kTarget, &f);
    cut = CutQuery(line, size, f.target);
  }
  bool counted = ParseCountedLine({line, *size}, record);
  bool moved = false;
  size_t decoded = 0;
  if (zone_ != nullptr || decode_paths_) {
    // A moved stamp keeps its punctuation, and decoding keeps every ASCII
    // byte in order after the stamp, so neither changes whether a line in
    // the usual layout counts: such a line needs the rewrite only when it
    // counts. Any other line is rewritten and judged again (there the main
    // rule may read a date component across the request, and a component's
    // length limit is met or not by the bytes a decoding saves).
    if (!counted && IsUsualLayout({line, *size})) return false;
    LineFields f;
    bool fixed = false;
    if (decode_paths_ || !counted) {
      ParseLineFields({line, *size}, FieldDepth::kTarget, &f);
      fixed = counted && f.usual_layout;
    } else {
      f.stamp = CountedStamp({line, *size}, *record, &fixed);
    }
    StampTime local;
    if (zone_ != nullptr && !MoveStamp(line, f.stamp, state, &local, &moved)) {
      counts.time_range += counted;
      return false;
    }
    if (decode_paths_) decoded = DecodeUtf8Escapes(line, size, f.target);
    if (decoded > 0 || (moved && !fixed) || !counted) {
      counted = ParseCountedLine({line, *size}, record);
    } else if (moved) {
      // The stamp is where the main rule read the date; it reads the moved
      // one the same way.
      record->year = local.year;
      record->month = local.month;
      record->day = local.day;
      record->hour = local.hour;
    }
  }
  if (!counted) return false;
  if (excludes_) {
    int64_t* count = Exclusion({line, *size}, *record, state);
    if (count != nullptr) {
      ++*count;
      return false;
    }
  }
  counts.stamps_moved += moved;
  counts.queries_cut += cut > 0;
  counts.paths_decoded += decoded > 0;
  return true;
}

int64_t* LineFilter::Exclusion(std::string_view line, const LogRecord& record,
                               FilterState* state) const {
  FilterCounts& counts = state->counts_;
  if (!vhost_name_.empty() && !MatchesVhost(record.vhost)) {
    return &counts.vhost;
  }
  if (methods_.empty() && statuses_.empty() && hosts_.empty() &&
      bots_ == nullptr) {
    return nullptr;
  }
  LineFields f;
  ParseLineFields(line,
                  bots_ != nullptr     ? FieldDepth::kAll
                  : !statuses_.empty() ? FieldDepth::kStatus
                                       : FieldDepth::kTarget,
                  &f);
  if (!methods_.empty() && !methods_.Allows(f.method)) return &counts.methods;
  if (!statuses_.empty() && !statuses_.Allows(f.status)) {
    return &counts.statuses;
  }
  if (!hosts_.empty() && hosts_.Matches(record.host)) return &counts.hosts;
  if (bots_ != nullptr) {
    if (!f.has_agent) {
      ++counts.agentless;
    } else if (IsBot(f.agent, state)) {
      return &counts.bots;
    }
  }
  return nullptr;
}

bool LineFilter::MatchesVhost(std::string_view vhost) const {
  const size_t colon = PortColon(vhost);
  if (colon == vhost.npos) return false;
  return EqualNoCase(vhost.substr(0, colon), vhost_name_) &&
         (vhost_port_.empty() || vhost.substr(colon + 1) == vhost_port_);
}

bool LineFilter::IsBot(std::string_view agent, FilterState* state) const {
  BotVerdict verdict = state->bots_->Find(agent);
  if (verdict == BotVerdict::kUnknown) {
    verdict = bots_->Match(agent);
    if (verdict == BotVerdict::kUnknown) {
      ++state->counts_.bots_unjudged;
      return false;
    }
    state->bots_->Put(agent, verdict);
  }
  return verdict == BotVerdict::kBot;
}

}  // namespace tovex
