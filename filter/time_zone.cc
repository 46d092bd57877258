#include "filter/time_zone.h"

#include <algorithm>
#include <memory>

#include "base/bytes.h"
#include "base/calendar.h"
#include "filter/civil_time.h"
#include "filter/list_items.h"

namespace tovex {
namespace {

constexpr int32_t kSecondsPerHour = 3600;
// POSIX bounds an offset's hours by 24; RFC 8536 lets a rule's transition
// time run to 167 hours (a week) either way.
constexpr int kMaxOffsetHours = 24;
constexpr int kMaxRuleTimeHours = 167;
// A local time type further from UTC than this is no real zone (RFC 8536
// allows -89999..93599).
constexpr int32_t kMaxUtcOffset = 26 * kSecondsPerHour;
constexpr size_t kTzifHeaderBytes = 44;
constexpr size_t kTypeBytes = 6;

class Cursor {
 public:
  explicit Cursor(std::string_view text)
      : p_(text.data()), end_(text.data() + text.size()) {}
  bool AtEnd() const { return p_ == end_; }
  char Peek() const { return AtEnd() ? '\0' : *p_; }
  bool Take(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++p_;
    return true;
  }
  // Up to `max_digits` digits, at least one.
  bool Number(int max_digits, int* value) {
    int n = 0;
    *value = 0;
    while (n < max_digits && !AtEnd() && IsDigit(*p_)) {
      *value = *value * 10 + (*p_++ - '0');
      ++n;
    }
    return n > 0;
  }
  const char* p_;
  const char* end_;
};

bool IsAlpha(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A zone abbreviation: three or more letters, or <...> of letters, digits,
// "+" and "-".
bool ParseName(Cursor* c) {
  int n = 0;
  if (c->Take('<')) {
    while (IsAlpha(c->Peek()) || IsDigit(c->Peek()) || c->Peek() == '+' ||
           c->Peek() == '-') {
      c->Take(c->Peek());
      ++n;
    }
    return n >= 3 && c->Take('>');
  }
  while (IsAlpha(c->Peek())) {
    c->Take(c->Peek());
    ++n;
  }
  return n >= 3;
}

// [+-]hh[:mm[:ss]] as signed seconds.
bool ParseTime(Cursor* c, int max_hours, int32_t* seconds) {
  const bool negative = c->Take('-');
  if (!negative) c->Take('+');
  int h, m = 0, s = 0;
  if (!c->Number(3, &h) || h > max_hours) return false;
  if (c->Take(':') && (!c->Number(2, &m) || m > 59 ||
                       (c->Take(':') && (!c->Number(2, &s) || s > 59)))) {
    return false;
  }
  *seconds = (negative ? -1 : 1) * (h * kSecondsPerHour + m * 60 + s);
  return true;
}

bool ParseDate(Cursor* c, PosixTz::Date* d) {
  if (c->Take('M')) {
    d->kind = 'M';
    if (!c->Number(2, &d->month) || d->month < 1 || d->month > 12 ||
        !c->Take('.') || !c->Number(1, &d->week) || d->week < 1 ||
        d->week > 5 || !c->Take('.') || !c->Number(1, &d->weekday) ||
        d->weekday > 6) {
      return false;
    }
  } else {
    d->kind = c->Take('J') ? 'J' : 'D';
    if (!c->Number(3, &d->day) || d->day > 365 ||
        (d->kind == 'J' && d->day < 1)) {
      return false;
    }
  }
  d->time = 2 * kSecondsPerHour;
  return !c->Take('/') || ParseTime(c, kMaxRuleTimeHours, &d->time);
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// The day number of `d` in `year`.
int64_t DayOf(const PosixTz::Date& d, int64_t year) {
  const int64_t jan1 = DaysFromCivil(year, 1, 1);
  if (d.kind == 'J') return jan1 + d.day - 1 + (IsLeap(year) && d.day >= 60);
  if (d.kind == 'D') return jan1 + d.day;
  const int64_t first = DaysFromCivil(year, d.month, 1);
  int day = 1 + (d.weekday - WeekdayOfDays(first) + 7) % 7 + (d.week - 1) * 7;
  const int days_in_month =
      d.month == 2 ? (IsLeap(year) ? 29 : 28) : DaysInMonth(2001, d.month);
  while (day > days_in_month) day -= 7;
  return first + day - 1;
}

uint32_t Be32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) |
         (uint32_t{u[2]} << 8) | u[3];
}

int64_t Be64(const char* p) {
  return static_cast<int64_t>((uint64_t{Be32(p)} << 32) | Be32(p + 4));
}

struct TzifCounts {
  uint64_t isut, isstd, leap, time, type, chars;

  // Bytes of the data block that follows the header, with `time_bytes`-byte
  // transition and leap-second times.
  uint64_t DataBytes(uint64_t time_bytes) const {
    return time * (time_bytes + 1) + type * kTypeBytes + chars +
           leap * (time_bytes + 4) + isstd + isut;
  }
};

// Reads a header at `p`; an empty text when it is a sound one.
std::string ReadHeader(std::string_view data, TzifCounts* n) {
  if (data.size() < kTzifHeaderBytes || data.substr(0, 4) != "TZif") {
    return "not TZif data";
  }
  if (data[4] < '2') return "TZif version 1, without 64-bit data";
  const char* c = data.data() + 20;
  *n = {Be32(c),      Be32(c + 4),  Be32(c + 8),
        Be32(c + 12), Be32(c + 16), Be32(c + 20)};
  if (n->type == 0 || n->type > 256 || n->chars == 0 ||
      (n->isut != 0 && n->isut != n->type) ||
      (n->isstd != 0 && n->isstd != n->type)) {
    return "inconsistent TZif counts";
  }
  if (n->leap != 0) return "leap-second zone (right/...) not supported";
  return std::string();
}

}  // namespace

bool PosixTz::Parse(std::string_view text) {
  Cursor c(text);
  int32_t west;
  if (!ParseName(&c) || !ParseTime(&c, kMaxOffsetHours, &west)) return false;
  std_offset = -west;
  has_dst = !c.AtEnd();
  if (!has_dst) return true;
  if (!ParseName(&c)) return false;
  dst_offset = std_offset + kSecondsPerHour;
  if (!c.AtEnd() && c.Peek() != ',') {
    if (!ParseTime(&c, kMaxOffsetHours, &west)) return false;
    dst_offset = -west;
  }
  if (c.AtEnd()) {
    // POSIX leaves the rule to the implementation; this is tzcode's.
    start = {'M', 0, 3, 2, 0, 2 * kSecondsPerHour};
    end = {'M', 0, 11, 1, 0, 2 * kSecondsPerHour};
    return true;
  }
  return c.Take(',') && ParseDate(&c, &start) && c.Take(',') &&
         ParseDate(&c, &end) && c.AtEnd();
}

int32_t PosixTz::OffsetAt(int64_t utc) const {
  if (!has_dst) return std_offset;
  const int64_t year =
      CivilFromDays(FloorDiv(utc + std_offset, kSecondsPerDay)).year;
  const int64_t begins =
      DayOf(start, year) * kSecondsPerDay + start.time - std_offset;
  const int64_t ends =
      DayOf(end, year) * kSecondsPerDay + end.time - dst_offset;
  // Southern zones have daylight time across the turn of the year.
  const bool dst = begins < ends ? begins <= utc && utc < ends
                                 : !(ends <= utc && utc < begins);
  return dst ? dst_offset : std_offset;
}

TimeZone TimeZone::Fixed(int32_t offset_seconds) {
  TimeZone zone;
  zone.first_offset_ = offset_seconds;
  return zone;
}

std::string TimeZone::FromTzif(std::string_view data, TimeZone* zone) {
  TzifCounts n;
  std::string error = ReadHeader(data, &n);
  if (!error.empty()) return error;
  const uint64_t v1_bytes = kTzifHeaderBytes + n.DataBytes(4);
  if (v1_bytes > data.size()) return "truncated TZif data";
  data.remove_prefix(v1_bytes);
  error = ReadHeader(data, &n);
  if (!error.empty()) return error;
  const uint64_t v2_bytes = kTzifHeaderBytes + n.DataBytes(8);
  if (v2_bytes > data.size()) return "truncated TZif data";

  TimeZone z;
  const char* times = data.data() + kTzifHeaderBytes;
  const char* indices = times + n.time * 8;
  const char* types = indices + n.time;
  const auto offset_of = [&](uint64_t type, int32_t* offset) {
    *offset = static_cast<int32_t>(Be32(types + type * kTypeBytes));
    const auto isdst = static_cast<unsigned char>(types[type * kTypeBytes + 4]);
    const auto desig = static_cast<unsigned char>(types[type * kTypeBytes + 5]);
    return *offset >= -kMaxUtcOffset && *offset <= kMaxUtcOffset &&
           isdst <= 1 && desig < n.chars;
  };
  for (uint64_t t = 0; t < n.type; ++t) {
    int32_t offset;
    if (!offset_of(t, &offset)) return "bad TZif local time type";
    if (t == 0) z.first_offset_ = offset;
  }
  z.transitions_.reserve(n.time);
  z.offsets_.reserve(n.time);
  for (uint64_t i = 0; i < n.time; ++i) {
    const int64_t at = Be64(times + i * 8);
    const auto type = static_cast<unsigned char>(indices[i]);
    int32_t offset;
    if ((i > 0 && at <= z.transitions_.back()) || type >= n.type) {
      return "unordered TZif transitions";
    }
    offset_of(type, &offset);
    z.transitions_.push_back(at);
    z.offsets_.push_back(offset);
  }

  // The footer: "\n", a POSIX TZ rule (perhaps empty), "\n".
  std::string_view footer = data.substr(v2_bytes);
  const size_t close = footer.find('\n', 1);
  if (footer.empty() || footer[0] != '\n' || close == footer.npos) {
    return "TZif data without its footer";
  }
  footer = footer.substr(1, close - 1);
  z.has_footer_ = !footer.empty();
  if (z.has_footer_ && !z.footer_.Parse(footer)) {
    return "bad TZif footer rule";
  }
  *zone = std::move(z);
  return std::string();
}

int32_t TimeZone::OffsetAt(int64_t utc) const {
  if (transitions_.empty() || utc >= transitions_.back()) {
    if (has_footer_) return footer_.OffsetAt(utc);
    return transitions_.empty() ? first_offset_ : offsets_.back();
  }
  const auto next =
      std::upper_bound(transitions_.begin(), transitions_.end(), utc);
  if (next == transitions_.begin()) return first_offset_;
  return offsets_[static_cast<size_t>(next - transitions_.begin() - 1)];
}

namespace {

// "+hhmm" / "-hhmm".
bool ParseFixedOffset(std::string_view spec, int32_t* seconds) {
  if (spec.size() != 5 || (spec[0] != '+' && spec[0] != '-')) return false;
  for (char c : spec.substr(1)) {
    if (!IsDigit(c)) return false;
  }
  const int h = (spec[1] - '0') * 10 + (spec[2] - '0');
  const int m = (spec[3] - '0') * 10 + (spec[4] - '0');
  if (h > 23 || m > 59) return false;
  *seconds = (spec[0] == '-' ? -1 : 1) * (h * kSecondsPerHour + m * 60);
  return true;
}

// A name that stays inside the zone folder and holds only the bytes of IANA
// zone names.
bool IsZoneName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name[0] == '/') return false;
  for (char c : name) {
    if (!IsAlpha(c) && !IsDigit(c) && c != '/' && c != '_' && c != '+' &&
        c != '-' && c != '.') {
      return false;
    }
  }
  size_t begin = 0;
  while (begin <= name.size()) {
    size_t slash = name.find('/', begin);
    if (slash == name.npos) slash = name.size();
    const std::string_view part = name.substr(begin, slash - begin);
    if (part.empty() || part == "." || part == "..") return false;
    begin = slash + 1;
  }
  return true;
}

}  // namespace

std::string LoadTimeZone(FileSystem* files, std::string_view zoneinfo_dir,
                         std::string_view spec, TimeZone* zone) {
  const std::string quoted = Quoted(spec);
  int32_t fixed;
  if (ParseFixedOffset(spec, &fixed)) {
    *zone = TimeZone::Fixed(fixed);
    return std::string();
  }
  if (!IsZoneName(spec)) {
    return quoted + " is neither +hhmm nor a time-zone name";
  }
  std::string error;
  const std::string path = std::string(zoneinfo_dir) + std::string(spec);
  std::unique_ptr<ReadableFile> file = files->OpenRead(path, &error);
  if (file == nullptr) return "unknown time zone " + quoted;
  std::string data(kMaxTzifBytes + 1, '\0');
  size_t size = 0;
  while (size < data.size()) {
    const size_t got = file->Read(data.data() + size, data.size() - size);
    if (got == 0) break;
    size += got;
  }
  if (!file->error().empty()) {
    return "time zone " + quoted + ": " + path + ": " + file->error();
  }
  if (size > kMaxTzifBytes) return "time zone " + quoted + ": file too large";
  data.resize(size);
  error = TimeZone::FromTzif(data, zone);
  if (!error.empty()) return "time zone " + quoted + ": " + error;
  return std::string();
}

}  // namespace tovex
