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

// Digits a port of a virtual host's prefix has at most (65535).
inline constexpr size_t kMaxPortDigits = 5;

// One counted log line. `vhost`, `host` and `path` point into the line they
// were parsed from and are valid as long as it is.
struct LogRecord {
  // "name:port" of a virtual-host line (see VirtualHostPrefixBytes); empty
  // for every other line.
  std::string_view vhost;
  std::string_view host;
  std::string_view path;
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
};

// Apache's vhost_combined layout writes "name:port " before a common-log
// line. Returns the length of that prefix, its blank included, when the
// line has one, else 0. A prefix is the line's first blank-separated field,
// at most kMaxFieldBytes bytes without white space, ending in ":" and 1 to
// kMaxPortDigits digits after a non-empty name; and after its blank exactly
// three non-empty fields, each ended by one blank, lead to the line's first
// "[" (the client, ident and user of the common layout). An ordinary line has
// only those three, so no line without the prefix is read differently.
//
// The functions below judge a line that has the prefix on what follows it,
// exactly as if the server had written it without.
size_t VirtualHostPrefixBytes(std::string_view line);

// True when the line is a request for a page: a directory or a path ending in
// .htm, .html, .shtm or .shtml.
bool IsPageRequest(std::string_view line);

// Parses a line for which IsPageRequest is true. Returns false when the line
// does not count: unknown month name, year outside 1..9999, day outside
// 1..DaysInMonth, hour outside 0..23, a date component longer than
// kMaxDateComponentBytes, no "/" after the time stamp, an empty host, or any
// scan that would run past the line end. `*record` is unspecified then.
// `record->vhost` is set on success.
bool ParseLogLine(std::string_view line, LogRecord* record);

// IsPageRequest(line) && ParseLogLine(line, record), in one pass where the
// line has the usual layout (" - - [10/Oct/2000:13:55:36 -0700] " after the
// host): the time stamp is then read at fixed offsets.
bool ParseCountedLine(std::string_view line, LogRecord* record);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_LINE_H_
