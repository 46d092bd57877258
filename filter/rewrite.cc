#include "filter/rewrite.h"

#include <bit>
#include <cstring>

#include "base/bytes.h"
#include "base/calendar.h"
#include "filter/civil_time.h"
#include "platform/byte_screen.h"

namespace tovex {
namespace {

constexpr int kLastYear = 9999;

char* TwoDigits(char* out, int v) {
  out[0] = static_cast<char>('0' + v / 10);
  out[1] = static_cast<char>('0' + v % 10);
  return out + 2;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte "%XX" at `p` spells, or -1.
int EscapedByte(const char* p, const char* end) {
  if (end - p < 3 || p[0] != '%') return -1;
  const int high = HexValue(p[1]);
  const int low = HexValue(p[2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Decodes the escapes at `p` into `out` when they spell one character the
// rewrite takes (rewrite.h); returns its byte count, else 0. The bounds of
// the second byte are the ones that rule out overlong forms, surrogates,
// code points past U+10FFFF and, after C2, the C1 controls.
int DecodeCharacter(const char* p, const char* end, char out[4]) {
  const int lead = EscapedByte(p, end);
  int n = 0, low = 0x80, high = 0xBF;
  if (lead == 0xC2) {
    n = 2, low = 0xA0;
  } else if (lead >= 0xC3 && lead <= 0xDF) {
    n = 2;
  } else if (lead == 0xE0) {
    n = 3, low = 0xA0;
  } else if (lead == 0xED) {
    n = 3, high = 0x9F;
  } else if (lead >= 0xE1 && lead <= 0xEF) {
    n = 3;
  } else if (lead == 0xF0) {
    n = 4, low = 0x90;
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    n = 4;
  } else if (lead == 0xF4) {
    n = 4, high = 0x8F;
  } else {
    return 0;
  }
  out[0] = static_cast<char>(lead);
  for (int i = 1; i < n; ++i) {
    const int b = EscapedByte(p + 3 * i, end);
    if (b < low || b > high) return 0;
    out[i] = static_cast<char>(b);
    low = 0x80, high = 0xBF;
  }
  return n;
}

// Moves the line's bytes from `from` on up to `to`, shrinking it.
size_t CloseUp(char* line, size_t* size, char* to, char* from) {
  const size_t gap = static_cast<size_t>(from - to);
  if (gap == 0) return 0;
  std::memmove(to, from, static_cast<size_t>(line + *size - from));
  *size -= gap;
  return gap;
}

// Where `target`, a view into `line`, begins, as a writable pointer.
char* Begin(char* line, std::string_view target) {
  return line + (target.data() - line);
}

}  // namespace

int64_t StampToUtc(const StampTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay +
         t.hour * 3600 + t.minute * 60 + t.second - t.offset_minutes * 60;
}

bool UtcToStamp(int64_t utc, int32_t offset_seconds, StampTime* t) {
  const int64_t local = utc + offset_seconds;
  const int64_t days = FloorDiv(local, kSecondsPerDay);
  const CivilDate date = CivilFromDays(days);
  if (date.year < 1 || date.year > kLastYear) return false;
  const auto seconds = static_cast<int>(local - days * kSecondsPerDay);
  t->year = static_cast<int>(date.year);
  t->month = date.month;
  t->day = date.day;
  t->hour = seconds / 3600;
  t->minute = seconds / 60 % 60;
  t->second = seconds % 60;
  t->offset_minutes = offset_seconds / 60;
  return true;
}

void WriteStamp(const StampTime& t, char* out) {
  out = TwoDigits(out, t.day);
  *out++ = '/';
  std::memcpy(out, MonthNames[static_cast<size_t>(t.month - 1)].data(), 3);
  out += 3;
  *out++ = '/';
  out = TwoDigits(TwoDigits(out, t.year / 100), t.year % 100);
  *out++ = ':';
  out = TwoDigits(out, t.hour);
  *out++ = ':';
  out = TwoDigits(out, t.minute);
  *out++ = ':';
  out = TwoDigits(out, t.second);
  *out++ = ' ';
  *out++ = t.offset_minutes < 0 ? '-' : '+';
  const int offset =
      t.offset_minutes < 0 ? -t.offset_minutes : t.offset_minutes;
  TwoDigits(TwoDigits(out, offset / 60), offset % 60);
}

size_t CutQuery(char* line, size_t* size, std::string_view target) {
  if (target.empty()) return 0;
  char* p = Begin(line, target);
  char* const end = p + target.size();
  while ((p = FindAnyOf(p, end, '?', '#', '\\')) < end && *p == '\\') {
    p += end - p >= 2 ? 2 : 1;  // an escaped byte is no query
  }
  return CloseUp(line, size, p < end ? p : end, end);
}

size_t DecodeUtf8Escapes(char* line, size_t* size, std::string_view target) {
  if (target.empty()) return 0;
  char* const begin = Begin(line, target);
  char* const end = begin + target.size();
  char* read = FindAnyOf(begin, end, '%', '\\', '\\');
  if (read == end) return 0;
  char* write = read;
  char decoded[4];
  while (read < end) {
    if (*read == '\\') {
      // A backslash and the byte it escapes stay together, as written.
      *write++ = *read++;
      if (read < end) *write++ = *read++;
      continue;
    }
    const int n = *read == '%' ? DecodeCharacter(read, end, decoded) : 0;
    if (n == 0) {
      *write++ = *read++;
      continue;
    }
    std::memcpy(write, decoded, static_cast<size_t>(n));
    write += n;
    read += 3 * n;
  }
  return CloseUp(line, size, write, end);
}

}  // namespace tovex
