#include "log/log_line.h"

#include <cstddef>
#include <cstdint>

#include "log/byte_scan.h"
#include "log/decimal.h"

namespace tovex {
namespace {

// The range a parsed time stamp must fall in to count.
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;
constexpr int kLastHour = 23;

// Days of each month in a common year.
constexpr std::array<int, 12> kDaysOfMonth = {31, 28, 31, 30, 31, 30,
                                              31, 31, 30, 31, 30, 31};

// Page markers looked for after the time stamp. Each marker but kPreCheck
// ends in a blank, so it only matches at the end of a blank-separated word.
constexpr std::string_view kDirectoryMarker = "/ ";
constexpr std::string_view kPreCheck = "htm";
constexpr std::array<std::string_view, 4> kPageSuffixes = {".htm ", ".html ",
                                                           ".shtm ", ".shtml "};

// Blank, tab, LF, VT, FF or CR: host and path end at any of them, so that a
// work-file record never gains a field.
inline bool IsSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Takes the text from `p` up to the first white space, at most
// kMaxFieldBytes bytes and never past `end`.
inline std::string_view Field(const char* p, const char* end) {
  const char* limit = end - p > static_cast<ptrdiff_t>(kMaxFieldBytes)
                          ? p + kMaxFieldBytes
                          : end;
  const char* q = p;
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

inline bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// 1..12 for a month name, 0 for anything else.
inline int MonthNumber(std::string_view name) {
  for (size_t i = 0; i < MonthNames.size(); ++i) {
    if (name == MonthNames[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace

bool IsPageRequest(std::string_view line) {
  const char* end = line.data() + line.size();
  const char* rest = SkipPatternInOrder(line.data(), end, RequestPattern);
  if (rest == nullptr) return false;
  std::string_view tail(rest, static_cast<size_t>(end - rest));
  if (Contains(tail, kDirectoryMarker)) return true;
  if (!Contains(tail, kPreCheck)) return false;
  for (std::string_view suffix : kPageSuffixes) {
    if (Contains(tail, suffix)) return true;
  }
  return false;
}

bool ParseLogLine(std::string_view line, LogRecord* record) {
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
  record->month = MonthNumber(month);
  if (record->month == 0) return false;
  record->year = DecimalValue(year);
  if (record->year < kFirstYear || record->year > kLastYear) return false;
  record->day = DecimalValue(day);
  if (record->day < 1 ||
      record->day > DaysInMonth(record->year, record->month)) {
    return false;
  }
  record->hour = DecimalValue(hour);
  if (record->hour < 0 || record->hour > kLastHour) return false;

  // Past the closing bracket and the blank after it; both must be there.
  p = FindByte(p, end, ']');
  if (p == nullptr || end - p < 2) return false;
  p = FindByte(p + 2, end, '/');
  if (p == nullptr) return false;
  record->path = Field(p, end);

  record->weekday = WeekdayOf(record->year, record->month, record->day);
  return true;
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return -1;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDaysOfMonth[month - 1];
}

int WeekdayOf(int year, int month, int day) {
  if (day > DaysInMonth(year, month)) return -1;
  // 64-bit so that no argument can overflow the sum; the divisions and the
  // remainder truncate toward zero as in the 32-bit formula.
  int64_t y = year;
  int64_t m = month;
  if (m == 1 || m == 2) {
    m += 12;
    y -= 1;
  }
  int64_t sum = y + y / 4 - y / 100 + y / 400 + (13 * m + 8) / 5 + day;
  return static_cast<int>(sum % 7);
}

}  // namespace tovex
