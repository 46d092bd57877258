// Which access-log lines count as page requests, and what they say.
//
// A line is handled as bytes, exactly and case-sensitively. It is the view a
// LineReader hands out: at most kMaxLogLineBytes bytes, line end included,
// cut at a NUL byte.

#ifndef TOVEX_LOG_LOG_LINE_H_
#define TOVEX_LOG_LOG_LINE_H_

#include <cstddef>
#include <string_view>

namespace tovex {

// A log line is judged on at most this many bytes, line end included (the
// rest of a longer physical line is dropped by the reader).
inline constexpr size_t kMaxLogLineBytes = 511;
// Host and path texts are cut to this many bytes.
inline constexpr size_t kMaxFieldBytes = 121;
// A date component longer than this makes the line not count.
inline constexpr size_t kMaxDateComponentBytes = 127;

// Punctuation of a request line around its time stamp, matched in order.
inline constexpr std::string_view RequestPattern = " -  [//:::] ";

// Bytes that came from the log (a host, an organisation, a content path).
// A type of its own, so that a page can take them only through the escaping
// helper.
struct LogText {
  std::string_view bytes;
};

// One counted log line. `host` and `path` point into the line they were
// parsed from and are valid as long as it is.
struct LogRecord {
  std::string_view host;
  std::string_view path;
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
};

// True when the line is a request for a page: a directory or a path ending in
// .htm, .html, .shtm or .shtml.
bool IsPageRequest(std::string_view line);

// Parses a line for which IsPageRequest is true. Returns false when the line
// does not count: unknown month name, year outside 1..9999, day outside
// 1..DaysInMonth, hour outside 0..23, a date component longer than
// kMaxDateComponentBytes, no "/" after the time stamp, an empty host, or any
// scan that would run past the line end. `*record` is unspecified then.
bool ParseLogLine(std::string_view line, LogRecord* record);

// IsPageRequest(line) && ParseLogLine(line, record), in one pass where the
// line has the usual layout (" - - [10/Oct/2000:13:55:36 -0700] " after the
// host): the time stamp is then read at fixed offsets.
bool ParseCountedLine(std::string_view line, LogRecord* record);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_LINE_H_
