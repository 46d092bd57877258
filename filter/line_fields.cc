#include "filter/line_fields.h"

#include <bit>

#include "base/bytes.h"
#include "base/calendar.h"
#include "log/log_line.h"
#include "platform/byte_screen.h"

namespace tovex {
namespace {

// The largest stamp offset read as one: no zone is a day away from UTC.
constexpr int kMaxOffsetHours = 23;

bool TwoDigits(const char* p, int limit, int* value) {
  if (!IsDigit(p[0]) || !IsDigit(p[1])) return false;
  *value = (p[0] - '0') * 10 + (p[1] - '0');
  return *value <= limit;
}

}  // namespace

bool ReadUsualStamp(std::string_view s, StampTime* t) {
  int y_high, y_low, off_h, off_m;
  if (s.size() != kUsualStampBytes || s[2] != '/' || s[6] != '/' ||
      s[11] != ':' || s[14] != ':' || s[17] != ':' || s[20] != ' ' ||
      (s[21] != '+' && s[21] != '-') || !TwoDigits(&s[0], 31, &t->day) ||
      !TwoDigits(&s[7], 99, &y_high) || !TwoDigits(&s[9], 99, &y_low) ||
      !TwoDigits(&s[12], 23, &t->hour) || !TwoDigits(&s[15], 59, &t->minute) ||
      !TwoDigits(&s[18], 60, &t->second) ||
      !TwoDigits(&s[22], kMaxOffsetHours, &off_h) ||
      !TwoDigits(&s[24], 59, &off_m)) {
    return false;
  }
  t->month = MonthNumber(s.substr(3, 3));
  t->year = y_high * 100 + y_low;
  t->offset_minutes = (s[21] == '-' ? -1 : 1) * (off_h * 60 + off_m);
  return t->month != 0 && t->year >= 1 && t->day >= 1 &&
         t->day <= DaysInMonth(t->year, t->month);
}

namespace {

// The first blank or unescaped quote from `p`, passing over every byte a
// backslash escapes (Apache writes a quote in the request as \" and a
// backslash as \\); `end` when there is none.
const char* TokenEnd(const char* p, const char* end) {
  while ((p = FindAnyOf(p, end, ' ', '"', '\\')) < end && *p == '\\') {
    if (end - p < 2) return end;
    p += 2;
  }
  return p;
}

// The closing quote of a quoted field from `p`: the first quote after an
// even run of backslashes.
const char* QuoteEnd(const char* p, const char* end) {
  for (const char* q = p;; ++q) {
    q = FindAnyOf(q, end, '"', '"', '"');
    if (q == end) return end;
    const char* b = q;
    while (b > p && b[-1] == '\\') --b;
    if ((q - b) % 2 == 0) return q;
  }
}

std::string_view Span(const char* begin, const char* end) {
  return {begin, static_cast<size_t>(end - begin)};
}

// The status and the user agent, from the request's closing quote `q`.
void ParseAfterRequest(const char* q, const char* end, FieldDepth depth,
                       LineFields* f) {
  const char* p = q + 1;
  if (p < end && *p == ' ') {
    const char* field_end = FindAnyOf(p + 1, end, ' ', ' ', ' ');
    if (field_end - p == 4 && IsDigit(p[1]) && IsDigit(p[2]) && IsDigit(p[3])) {
      f->status = (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    }
    p = field_end;
  }
  if (depth != FieldDepth::kAll) return;
  // The referer, then the agent right after its closing quote and a blank.
  const char* referer = FindAnyOf(p, end, '"', '"', '"');
  if (referer == end) return;
  const char* close = QuoteEnd(referer + 1, end);
  if (end - close < 3 || close[1] != ' ' || close[2] != '"') return;
  f->has_agent = true;
  f->agent = Span(close + 3, QuoteEnd(close + 3, end));
}

// Whether the kUsualStampBytes bytes at `stamp` hold a "]".
bool HasCloseBracket(const char* stamp) {
  constexpr int kTail = static_cast<int>(kUsualStampBytes) - kByteScreenWidth;
  if constexpr (kByteScreenWidth > 0 && kTail >= 0) {
    return (ScreenAnyOf(stamp, ']', ']', ']') |
            ScreenAnyOf(stamp + kTail, ']', ']', ']')) != 0;
  }
  return FindByte(stamp, stamp + kUsualStampBytes, ']') != nullptr;
}

// Whether [p, end) holds white space. REQUIRES: the kByteScreenWidth
// bytes from every byte of it are readable (the usual layout's stamp
// follows).
bool HasSpace(const char* p, const char* end) {
  if constexpr (kByteScreenWidth > 0) {
    // White space other than the blank is below it; the blank itself is
    // looked for by the caller.
    for (; p < end; p += kByteScreenWidth) {
      unsigned low = ScreenAtMost(p, '\r');
      if (end - p < kByteScreenWidth) low &= (1u << (end - p)) - 1;
      for (; low != 0; low &= low - 1) {
        if (IsSpace(p[std::countr_zero(low)])) return true;
      }
    }
    return false;
  }
  for (; p < end; ++p) {
    if (IsSpace(*p)) return true;
  }
  return false;
}

// Whether the kUsualStampBytes bytes at `s` are shaped like
// "dd/Mon/yyyy:hh:mm:ss +zzzz", digits where the digits go (their values
// unchecked): the shape the main rule reads at fixed offsets.
bool HasUsualShape(const char* s) {
  for (int i : {0, 1, 7, 8, 9, 10, 12, 13, 15, 16, 18, 19, 22, 23, 24, 25}) {
    if (!IsDigit(s[i])) return false;
  }
  for (int i : {3, 4, 5}) {
    if (s[i] == '/') return false;
  }
  return s[2] == '/' && s[6] == '/' && s[11] == ':' && s[14] == ':' &&
         s[17] == ':' && s[20] == ' ' && (s[21] == '+' || s[21] == '-');
}

// The blank after the client where [p, end) has the usual layout
// (IsUsualLayout), else nullptr; where it holds, the general reading finds
// the same fields.
const char* UsualBlank(const char* p, const char* end) {
  constexpr ptrdiff_t kRequestAt = 6 + kUsualStampBytes + 3;
  const char* blank = FindByte(p, end, ' ');
  if (blank == nullptr || blank == p ||
      blank - p > static_cast<ptrdiff_t>(kMaxFieldBytes) ||
      end - blank < kRequestAt || std::memcmp(blank, " - - [", 6) != 0 ||
      std::memcmp(blank + 6 + kUsualStampBytes, "] \"", 3) != 0 ||
      !HasUsualShape(blank + 6) || HasCloseBracket(blank + 6) ||
      HasSpace(p, blank)) {
    return nullptr;
  }
  return blank;
}

}  // namespace

bool IsUsualLayout(std::string_view line) {
  const std::string_view text = LineText(line);
  return UsualBlank(text.data(), text.data() + text.size()) != nullptr;
}

std::string_view LineText(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

void ParseLineFields(std::string_view line, FieldDepth depth, LineFields* f) {
  *f = LineFields();
  const std::string_view text = LineText(line);
  const char* const end = text.data() + text.size();
  if (const char* blank = UsualBlank(text.data(), end); blank != nullptr) {
    f->usual_layout = true;
    f->host = Span(text.data(), blank);
    f->stamp = Span(blank + 6, blank + 6 + kUsualStampBytes);
  } else {
    const size_t prefix = VirtualHostPrefixBytes(line);
    if (prefix > 0) f->vhost = line.substr(0, prefix - 1);
    const char* p = text.data() + prefix;
    const char* host_end = p;
    while (host_end < end &&
           host_end - p < static_cast<ptrdiff_t>(kMaxFieldBytes) &&
           !IsSpace(*host_end)) {
      ++host_end;
    }
    f->host = Span(p, host_end);
    const char* open = FindByte(host_end, end, '[');
    if (open == nullptr) return;
    const char* close = FindByte(open + 1, end, ']');
    if (close == nullptr) return;
    f->stamp = Span(open + 1, close);
  }
  if (depth == FieldDepth::kStamp) return;
  const char* const close = f->stamp.data() + f->stamp.size();
  if (end - close < 3 || close[1] != ' ' || close[2] != '"') return;
  const char* request = close + 3;
  const char* method_end = TokenEnd(request, end);
  f->method = Span(request, method_end);
  const char* target_end = method_end;
  if (method_end < end && *method_end == ' ') {
    target_end = TokenEnd(method_end + 1, end);
    f->target = Span(method_end + 1, target_end);
  }
  if (depth == FieldDepth::kTarget) return;
  const char* quote = QuoteEnd(target_end, end);
  f->request = Span(request, quote);
  if (quote == end) return;
  f->request_closed = true;
  ParseAfterRequest(quote, end, depth, f);
}

}  // namespace tovex
