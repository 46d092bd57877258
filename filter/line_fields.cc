#include "filter/line_fields.h"

#include "base/bytes.h"
#include "base/calendar.h"
#include "log/log_line.h"

namespace tovex {
namespace {

// The largest stamp offset read as one: no zone is a day away from UTC.
constexpr int kMaxOffsetHours = 23;

bool TwoDigits(const char* p, int limit, int* value) {
  if (!IsDigit(p[0]) || !IsDigit(p[1])) return false;
  *value = (p[0] - '0') * 10 + (p[1] - '0');
  return *value <= limit;
}

// Reads "dd/Mon/yyyy:hh:mm:ss +zzzz". REQUIRES: stamp.size() is
// kUsualStampBytes.
bool ReadUsualStamp(std::string_view s, StampTime* t) {
  int y_high, y_low, off_h, off_m;
  if (s[2] != '/' || s[6] != '/' || s[11] != ':' || s[14] != ':' ||
      s[17] != ':' || s[20] != ' ' || (s[21] != '+' && s[21] != '-') ||
      !TwoDigits(&s[0], 31, &t->day) || !TwoDigits(&s[7], 99, &y_high) ||
      !TwoDigits(&s[9], 99, &y_low) || !TwoDigits(&s[12], 23, &t->hour) ||
      !TwoDigits(&s[15], 59, &t->minute) ||
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

// The first byte from `p` that is `stop` or a quote, passing over every
// byte a backslash escapes (Apache writes a quote in the request as \"
// and a backslash as \\); `end` when there is none.
const char* UnescapedEnd(const char* p, const char* end, char stop) {
  while (p < end && *p != stop && *p != '"') {
    if (*p == '\\' && end - p < 2) return end;
    p += *p == '\\' ? 2 : 1;
  }
  return p;
}

// The end of a token of the request: its blank or closing quote.
const char* TokenEnd(const char* p, const char* end) {
  return UnescapedEnd(p, end, ' ');
}

// The closing quote of a quoted field.
const char* QuoteEnd(const char* p, const char* end) {
  return UnescapedEnd(p, end, '"');
}

std::string_view Span(const char* begin, const char* end) {
  return {begin, static_cast<size_t>(end - begin)};
}

// The status and the user agent, from the request's closing quote `q`.
void ParseAfterRequest(const char* q, const char* end, LineFields* f) {
  const char* p = q + 1;
  if (p < end && *p == ' ') {
    const char* field_end = FindByte(p + 1, end, ' ');
    if (field_end == nullptr) field_end = end;
    if (field_end - p == 4 && IsDigit(p[1]) && IsDigit(p[2]) && IsDigit(p[3])) {
      f->status = (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    }
    p = field_end;
  }
  // The referer, then the agent right after its closing quote and a blank.
  const char* referer = FindByte(p, end, '"');
  if (referer == nullptr) return;
  const char* close = QuoteEnd(referer + 1, end);
  if (end - close < 3 || close[1] != ' ' || close[2] != '"') return;
  f->has_agent = true;
  f->agent = Span(close + 3, QuoteEnd(close + 3, end));
}

}  // namespace

std::string_view LineText(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

void ParseLineFields(std::string_view line, FieldDepth depth, LineFields* f) {
  *f = LineFields();
  const size_t prefix = VirtualHostPrefixBytes(line);
  if (prefix > 0) f->vhost = line.substr(0, prefix - 1);
  const std::string_view text = LineText(line);
  const char* p = text.data() + prefix;
  const char* const end = text.data() + text.size();

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
  f->usual_stamp =
      f->stamp.size() == kUsualStampBytes && ReadUsualStamp(f->stamp, &f->time);

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
  ParseAfterRequest(quote, end, f);
}

}  // namespace tovex
