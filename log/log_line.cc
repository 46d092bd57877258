#include "log/log_line.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"
#include "base/calendar.h"
#include "base/decimal.h"
#include "platform/byte_screen.h"

namespace tovex {
namespace {

// The range a parsed time stamp must fall in to count.
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;
constexpr int kLastHour = 23;

// A page marker is a blank right after "/" (a directory), or right after
// one of the page suffixes ".htm", ".html", ".shtm", ".shtml". Its blank
// makes it match only at the end of a blank-separated word.
//
// Looking at every blank that follows "/", "m" or "l" finds exactly the
// lines that contain "/ " or one of ".htm ", ".html ", ".shtm ", ".shtml ";
// each of these contains "htm", so a separate search for "htm" first would
// never change the answer.

// Whether the blank at `blank` ends a page marker that lies wholly in
// [begin, blank]. REQUIRES: begin < blank.
inline bool EndsPageMarker(const char* begin, const char* blank) {
  if (blank[-1] == '/') return true;
  const char* e = blank;
  if (e[-1] == 'l') --e;
  if (e - begin < 4 || e[-1] != 'm' || e[-2] != 't' || e[-3] != 'h') {
    return false;
  }
  return e[-4] == '.' || (e - begin >= 5 && e[-4] == 's' && e[-5] == '.');
}

// Whether [begin, end) contains a page marker. Most lines of a log are not
// page requests and have to be scanned to their end, so sixteen bytes are
// screened at a time where the processor allows it.
bool HasPageMarker(const char* begin, const char* end) {
  if (end - begin < 2) return false;
  const char* p = begin + 1;  // where a marker's blank can first be
  if constexpr (kByteScreenWidth > 0) {
    for (; end - p >= kByteScreenWidth; p += kByteScreenWidth) {
      for (unsigned candidates = ScreenBlanksAfter(p, '/', 'm', 'l');
           candidates != 0; candidates &= candidates - 1) {
        if (EndsPageMarker(begin, p + std::countr_zero(candidates))) {
          return true;
        }
      }
    }
  }
  for (; p < end; ++p) {
    if (*p == ' ' && EndsPageMarker(begin, p)) return true;
  }
  return false;
}

// Takes the text from `p` up to the first white space, at most
// kMaxFieldBytes bytes and never past `end`. White space is never above a
// blank, so sixteen bytes are screened at a time where the processor
// allows it.
inline std::string_view Field(const char* p, const char* end) {
  const char* limit = end - p > static_cast<ptrdiff_t>(kMaxFieldBytes)
                          ? p + kMaxFieldBytes
                          : end;
  const char* q = p;
  if constexpr (kByteScreenWidth > 0) {
    for (; limit - q >= kByteScreenWidth; q += kByteScreenWidth) {
      for (unsigned low = ScreenAtMost(q, ' '); low != 0; low &= low - 1) {
        const char* c = q + std::countr_zero(low);
        if (IsSpace(*c)) return std::string_view(p, static_cast<size_t>(c - p));
      }
    }
  }
  while (q < limit && !IsSpace(*q)) ++q;
  return std::string_view(p, static_cast<size_t>(q - p));
}

// Takes the date component from `*p` up to `delimiter` and moves `*p` past
// the delimiter. False when the delimiter is missing or the component is too
// long to be a date component.
inline bool Component(const char** p, const char* end, char delimiter,
                      std::string_view* component) {
  const char* d = FindByte(*p, end, delimiter);
  if (d == nullptr || d - *p > static_cast<ptrdiff_t>(kMaxDateComponentBytes)) {
    return false;
  }
  *component = std::string_view(*p, static_cast<size_t>(d - *p));
  *p = d + 1;
  return true;
}

// Checks the values of the date components and takes them.
bool TakeStamp(int day, int month, int year, int hour, LogRecord* record) {
  if (month == 0 || year < kFirstYear || year > kLastYear || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > kLastHour) {
    return false;
  }
  record->year = year;
  record->month = month;
  record->day = day;
  record->hour = hour;
  return true;
}

// Takes the path: past the first "]" from `p` and the byte after it, from
// the next "/" on.
bool TakePath(const char* p, const char* end, LogRecord* record) {
  p = FindByte(p, end, ']');
  if (p == nullptr || end - p < 2) return false;
  p = FindByte(p + 2, end, '/');
  if (p == nullptr) return false;
  record->path = Field(p, end);
  return true;
}

bool AreDigits(const char* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (!IsDigit(p[i])) return false;
  }
  return true;
}

// The value of `n` digits, as DecimalValue gives it. REQUIRES: AreDigits.
int DigitsValue(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

// What follows the host in the usual layout: " - - [dd/Mon/yyyy:hh:mm:ss
// +zzzz] ". In it every step of the request pattern finds its byte at a
// fixed offset, and so does every search of the parse.
constexpr ptrdiff_t kUsualStampBytes = 34;
constexpr int kUsualDay = 6, kUsualMonth = 9, kUsualYear = 13, kUsualHour = 18;
constexpr int kUsualClose = 32;  // the "]"

bool IsUsualStamp(const char* s, const char* end) {
  return end - s >= kUsualStampBytes && std::memcmp(s, " - - [", 6) == 0 &&
         AreDigits(s + kUsualDay, 2) && s[8] == '/' && s[9] != '/' &&
         s[10] != '/' && s[11] != '/' && s[12] == '/' &&
         AreDigits(s + kUsualYear, 4) && s[17] == ':' &&
         AreDigits(s + kUsualHour, 2) && s[20] == ':' && AreDigits(s + 21, 2) &&
         s[23] == ':' && AreDigits(s + 24, 2) && s[26] == ' ' &&
         (s[27] == '+' || s[27] == '-') && AreDigits(s + 28, 4) &&
         s[kUsualClose] == ']' && s[33] == ' ';
}

// Whether [p, end) is `n` fields, each non-empty and ended by one blank,
// followed by "[".
bool FieldsBeforeStamp(const char* p, const char* end, int n) {
  for (int i = 0; i < n; ++i) {
    const char* blank = FindByte(p, end, ' ');
    if (blank == nullptr || blank == p || FindByte(p, blank, '[') != nullptr) {
      return false;
    }
    p = blank + 1;
  }
  return p < end && *p == '[';
}

// IsPageRequest for a line without a virtual host's prefix.
bool IsCommonPageRequest(std::string_view line) {
  const char* end = line.data() + line.size();
  // The rest of the line, from the byte after the time stamp's blank.
  const char* rest = SkipPatternInOrder(line.data(), end, RequestPattern);
  return rest != nullptr && HasPageMarker(rest, end);
}

// ParseLogLine for a line without a virtual host's prefix; leaves
// `record->vhost` alone.
bool ParseCommonLine(std::string_view line, LogRecord* record) {
  const char* p = line.data();
  const char* const end = p + line.size();

  record->host = Field(p, end);
  if (record->host.empty()) return false;
  // A host cut at its limit leaves the cursor inside the host text.
  p += record->host.size();

  p = FindByte(p, end, '[');
  if (p == nullptr) return false;
  ++p;

  std::string_view day, month, year, hour;
  if (!Component(&p, end, '/', &day) || !Component(&p, end, '/', &month) ||
      !Component(&p, end, ':', &year) || !Component(&p, end, ':', &hour)) {
    return false;
  }
  return TakeStamp(DecimalValue(day), MonthNumber(month), DecimalValue(year),
                   DecimalValue(hour), record) &&
         TakePath(p, end, record);
}

}  // namespace

size_t VirtualHostPrefixBytes(std::string_view line) {
  const char* const p = line.data();
  const char* const end = p + line.size();
  const char* const blank = FindByte(p, end, ' ');
  if (blank == nullptr ||
      blank - p > static_cast<ptrdiff_t>(kMaxFieldBytes)) {
    return 0;
  }
  const char* digits = blank;
  while (digits > p && IsDigit(digits[-1])) --digits;
  const ptrdiff_t port = blank - digits;
  // The name before the ":" is not empty.
  if (port == 0 || port > static_cast<ptrdiff_t>(kMaxPortDigits) ||
      digits - p < 2 || digits[-1] != ':') {
    return 0;
  }
  for (const char* q = p; q < digits; ++q) {
    if (IsSpace(*q)) return 0;
  }
  if (!FieldsBeforeStamp(blank + 1, end, 3)) return 0;
  return static_cast<size_t>(blank + 1 - p);
}

bool IsPageRequest(std::string_view line) {
  return IsCommonPageRequest(line.substr(VirtualHostPrefixBytes(line)));
}

bool ParseLogLine(std::string_view line, LogRecord* record) {
  const size_t prefix = VirtualHostPrefixBytes(line);
  record->vhost = line.substr(0, prefix == 0 ? 0 : prefix - 1);
  return ParseCommonLine(line.substr(prefix), record);
}

bool ParseCountedLine(std::string_view line, LogRecord* record) {
  const char* const p = line.data();
  const char* const end = p + line.size();
  // The blank after the host opens the request pattern.
  const char* const s = FindByte(p, end, ' ');
  if (s == nullptr || s == p || !IsUsualStamp(s, end)) {
    // A virtual host's prefix is never followed by the usual stamp (three
    // fields come before its "["), so only this path looks for one.
    const size_t prefix = VirtualHostPrefixBytes(line);
    const std::string_view rest = line.substr(prefix);
    record->vhost = line.substr(0, prefix == 0 ? 0 : prefix - 1);
    return IsCommonPageRequest(rest) && ParseCommonLine(rest, record);
  }
  if (!HasPageMarker(s + kUsualStampBytes, end)) return false;
  record->vhost = {};
  record->host = Field(p, end);
  // A host cut at its limit or ended by other white space is not the
  // usual layout after all.
  if (p + record->host.size() != s) return ParseCommonLine(line, record);
  return TakeStamp(DigitsValue(s + kUsualDay, 2),
                   MonthNumber({s + kUsualMonth, 3}),
                   DigitsValue(s + kUsualYear, 4),
                   DigitsValue(s + kUsualHour, 2), record) &&
         TakePath(s + kUsualClose, end, record);
}

}  // namespace tovex
