// The page filter and the line parser on one line of arbitrary bytes.
//
// Checks: IsPageRequest agrees with a byte-by-byte reading of its rule
// (after a virtual host's prefix, found apart); a parsed record's host and
// path lie inside the line, are at most kMaxFieldBytes, hold no white space,
// the host opens the line or follows the prefix and the path starts with "/"; its date is a real one, whose weekday the calendar gets
// right;
// and the record, written back as a plain log line, parses to itself;
// ParseCountedLine gives what IsPageRequest and ParseLogLine give apart.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/calendar.h"
#include "fuzz/fuzz_util.h"
#include "log/log_line.h"

namespace tovex::fuzz {
namespace {

// The "name:port " prefix read field by field: the first field ends in ":"
// and digits after a name, then exactly "A B C [" with non-empty A, B, C.
size_t ReferencePrefix(std::string_view line) {
  const size_t blank = line.find(' ');
  if (blank == line.npos || blank > kMaxFieldBytes) return 0;
  const std::string_view first = line.substr(0, blank);
  const size_t colon = first.rfind(':');
  if (colon == first.npos || colon == 0) return 0;
  const std::string_view port = first.substr(colon + 1);
  if (port.empty() || port.size() > kMaxPortDigits) return 0;
  for (char c : port) {
    if (!IsDigit(c)) return 0;
  }
  for (char c : first.substr(0, colon)) {
    if (IsSpace(c)) return 0;
  }
  const std::string_view rest = line.substr(blank + 1);
  const size_t bracket = rest.find('[');
  if (bracket == rest.npos) return 0;
  const std::string_view fields = rest.substr(0, bracket);
  int blanks = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] != ' ') continue;
    if (i == 0 || fields[i - 1] == ' ') return 0;  // an empty field
    ++blanks;
  }
  return blanks == 3 && fields.back() == ' ' ? blank + 1 : 0;
}

// The filter's rule read byte by byte: RequestPattern matched in order,
// then, in the rest of the line, "/ " or a page suffix followed by a blank.
bool ReferenceFilter(std::string_view line) {
  line.remove_prefix(ReferencePrefix(line));
  size_t matched = 0, i = 0;
  for (; i < line.size() && matched < RequestPattern.size(); ++i) {
    if (line[i] == RequestPattern[matched]) ++matched;
  }
  if (matched < RequestPattern.size()) return false;
  const std::string_view rest = line.substr(i);
  for (std::string_view marker :
       {"/ ", ".htm ", ".html ", ".shtm ", ".shtml "}) {
    if (rest.find(marker) != rest.npos) return true;
  }
  return false;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil), for a weekday reckoned apart from the calendar module.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CheckField(std::string_view line, std::string_view field) {
  FUZZ_CHECK(field.size() <= kMaxFieldBytes);
  FUZZ_CHECK(field.data() >= line.data());
  FUZZ_CHECK(field.data() + field.size() <= line.data() + line.size());
  for (char c : field) FUZZ_CHECK(!IsSpace(c));
}

void CheckRecord(std::string_view line, const LogRecord& r) {
  CheckField(line, r.host);
  CheckField(line, r.path);
  const size_t prefix = ReferencePrefix(line);
  FUZZ_CHECK(r.vhost == line.substr(0, prefix == 0 ? 0 : prefix - 1));
  FUZZ_CHECK(!r.host.empty() && r.host.data() == line.data() + prefix);
  FUZZ_CHECK(!r.path.empty() && r.path[0] == '/');
  FUZZ_CHECK(r.year >= 1 && r.year <= 9999);
  FUZZ_CHECK(r.month >= 1 && r.month <= 12);
  FUZZ_CHECK(r.day >= 1 && r.day <= DaysInMonth(r.year, r.month));
  FUZZ_CHECK(r.hour >= 0 && r.hour <= 23);
  const int64_t days = DaysFromCivil(r.year, r.month, r.day);
  FUZZ_CHECK(WeekdayOf(r.year, r.month, r.day) ==
             ((days % 7 + 7) % 7 + 4) % 7);  // 1970-1-1: Thu

  // Written back as a plain line, the record parses to itself.
  char stamp[64];
  std::snprintf(
      stamp, sizeof stamp, " - - [%d/%s/%d:%d:00:00 +0000] \"GET ", r.day,
      std::string(MonthNames[static_cast<size_t>(r.month - 1)]).c_str(), r.year,
      r.hour);
  std::string again(r.vhost);
  if (!again.empty()) again += ' ';
  again += std::string(r.host) + stamp + std::string(r.path) + " HTTP/1.0\"\n";
  LogRecord back;
  FUZZ_CHECK(ParseLogLine(again, &back));
  FUZZ_CHECK(back.vhost == r.vhost && back.host == r.host &&
             back.path == r.path);
  FUZZ_CHECK(back.year == r.year && back.month == r.month &&
             back.day == r.day && back.hour == r.hour);
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  // The input is exactly one line (libFuzzer's buffer has no slack, so
  // the address sanitizer sees any read past its end).
  const std::string_view line = fuzz::AsText(data, size);
  FUZZ_CHECK(IsPageRequest(line) == fuzz::ReferenceFilter(line));
  LogRecord record;
  const bool parsed = ParseLogLine(line, &record);
  if (parsed) fuzz::CheckRecord(line, record);
  // The one-pass reading agrees with the filter and parser apart.
  LogRecord fast;
  const bool counted = ParseCountedLine(line, &fast);
  FUZZ_CHECK(counted == (IsPageRequest(line) && parsed));
  if (counted) {
    FUZZ_CHECK(fast.vhost == record.vhost && fast.host == record.host &&
               fast.path == record.path);
    FUZZ_CHECK(fast.year == record.year && fast.month == record.month &&
               fast.day == record.day && fast.hour == record.hour);
  }
  return 0;
}
