// Time zones for moving a log's time stamps into one zone: a fixed offset
// or an IANA zone read from the system's TZif files (RFC 8536), parsed here
// rather than through the C library, whose zone belongs to the whole
// process. Only the offset at a moment is needed, never names or DST flags.

#ifndef TOVEX_FILTER_TIME_ZONE_H_
#define TOVEX_FILTER_TIME_ZONE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tovex {

// Where Debian keeps the zone files.
inline constexpr std::string_view kSystemZoneinfoDir = "/usr/share/zoneinfo/";
// A zone file larger than this is refused unread: the largest file of the
// IANA data is under 4 KB.
inline constexpr size_t kMaxTzifBytes = 256 * 1024;

// A POSIX TZ rule ("EST5EDT,M3.2.0,M11.1.0"), the footer of a TZif file that
// gives the offsets after its last transition.
struct PosixTz {
  // One end of daylight time: day `kind` 'J' (1..365, Feb 29 never counted),
  // 'D' (0..365 from Jan 1, Feb 29 counted) or 'M' (month, week 1..5 where 5
  // is the last, weekday 0..6 from Sunday), at `time` seconds of local time.
  struct Date {
    char kind = 'M';
    int day = 0;  // J and D
    int month = 0, week = 0, weekday = 0;
    int32_t time = 2 * 3600;
  };
  int32_t std_offset = 0;  // seconds east of UTC
  bool has_dst = false;
  int32_t dst_offset = 0;
  Date start, end;  // start in standard time, end in daylight time

  // Parses `text`. False, `*this` unspecified, for anything outside the
  // POSIX grammar with RFC 8536's extensions (hours up to 167 in rule times,
  // <...> names).
  bool Parse(std::string_view text);
  // Seconds east of UTC at `utc` (seconds since 1970-01-01 00:00 UTC).
  int32_t OffsetAt(int64_t utc) const;
};

class TimeZone {
 public:
  // UTC.
  TimeZone() = default;
  static TimeZone Fixed(int32_t offset_seconds);

  // Reads TZif data of version 2 or later: its 64-bit transitions and its
  // footer. Returns an empty text, or why the data is refused (truncated,
  // inconsistent counts, unordered transitions, offsets beyond a day, leap
  // seconds, a footer that does not parse); `*zone` is unchanged then.
  static std::string FromTzif(std::string_view data, TimeZone* zone);

  // Seconds east of UTC in effect at `utc`: before the first transition
  // the first local time type, after the last one the footer's rule (or,
  // without one, the last transition's type).
  int32_t OffsetAt(int64_t utc) const;

 private:
  std::vector<int64_t> transitions_;  // ascending
  std::vector<int32_t> offsets_;      // in effect from each transition on
  int32_t first_offset_ = 0;
  bool has_footer_ = false;
  PosixTz footer_;
};

// `spec` is a fixed offset "+hhmm" / "-hhmm" (hh 00..23, mm 00..59) or an
// IANA zone name, read from `zoneinfo_dir` (with its trailing separator)
// through `files`. Returns an empty text, or the error text that names
// `spec`: a name with a "." or ".." component, a leading "/" or bytes
// outside letters, digits and "/_+-."; no such zone; a file that is no
// usable TZif data.
std::string LoadTimeZone(FileSystem* files, std::string_view zoneinfo_dir,
                         std::string_view spec, TimeZone* zone);

}  // namespace tovex

#endif  // TOVEX_FILTER_TIME_ZONE_H_
