// The fields of an access-log line that the line filter's options look at,
// found in one forward pass over the line's bytes without allocation.
//
// The line is a LineReader's view (log/log_line.h): at most
// kMaxLogLineBytes bytes, its line end included, possibly the cut head of a
// longer physical line. Every view below points into it.

#ifndef TOVEX_FILTER_LINE_FIELDS_H_
#define TOVEX_FILTER_LINE_FIELDS_H_

#include <cstddef>
#include <string_view>

namespace tovex {

// "dd/Mon/yyyy:hh:mm:ss +zzzz", the time stamp every common server writes.
inline constexpr size_t kUsualStampBytes = 26;

// A time stamp's values, as written.
struct StampTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;          // 0..60: a leap second is written as 60
  int offset_minutes = 0;  // east of UTC, as the stamp's +hhmm says
};

struct LineFields {
  // "name:port" when the line has a virtual host's prefix
  // (VirtualHostPrefixBytes), else empty.
  std::string_view vhost;
  // The client: the first field after the prefix, up to white space, at
  // most kMaxFieldBytes (as ParseLogLine takes it).
  std::string_view host;
  // From after the first "[" past the host up to the next "]"; empty and
  // data() null when either is missing.
  std::string_view stamp;
  // Whether the line has the usual layout (IsUsualLayout).
  bool usual_layout = false;
  // Inside the request's quotes ("] \"" must follow the stamp's "]"): up to
  // the first '"' that no backslash escapes, or to the end of the line's
  // text when the line is cut inside it. Empty and data() null when the line
  // has no request.
  std::string_view request;
  bool request_closed = false;  // its closing quote is in the line
  // The request's first blank-separated token, and the next one: the path
  // and query as the client sent them. `target` is empty when no blank
  // follows the method.
  std::string_view method;
  std::string_view target;
  // The status: the three digits of the field after the request's closing
  // quote; -1 when that field is not three digits.
  int status = -1;
  // The user agent, the second quoted field after the request (the combined
  // layout's "referer" "agent"; any fields after it, like nginx's
  // X-Forwarded-For, are ignored). When the line is cut inside it, what is
  // left of it. `has_agent` is false where there is none: the common layout.
  bool has_agent = false;
  std::string_view agent;
};

// Whether `line` has the usual layout: a client of at most kMaxFieldBytes
// without white space, " - - [", a stamp shaped "dd/Mon/yyyy:hh:mm:ss
// +zzzz" (digits where digits go, values unchecked, no "]"), and "] \"".
// The main rule reads such a line's stamp at fixed offsets. A virtual
// host's prefix is never followed by it (three fields come before its
// "[").
bool IsUsualLayout(std::string_view line);

// Reads `stamp` when it is the usual kUsualStampBytes bytes and its values
// make a real moment: day within its month, hour 0..23, minute 0..59,
// second 0..60, offset at most 23:59, year 1..9999. False otherwise.
// Apart from ParseLineFields, since a caller that has seen the same bytes
// before need not read them again.
bool ReadUsualStamp(std::string_view stamp, StampTime* time);

// How far ParseLineFields goes: the rewrite of the stamp needs the fields up
// to the stamp, the other rewrites up to the request target, the status
// filter up to the status, the crawler filter all of them.
enum class FieldDepth { kStamp, kTarget, kStatus, kAll };

// Fills `*fields` (all of it reset first) from `line`. Fields the line does
// not have stay empty; a hostile line only yields empty or shorter fields.
void ParseLineFields(std::string_view line, FieldDepth depth,
                     LineFields* fields);

// The line without its line end ("\n", and a "\r" before it).
std::string_view LineText(std::string_view line);

}  // namespace tovex

#endif  // TOVEX_FILTER_LINE_FIELDS_H_
