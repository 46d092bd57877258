#include "base/decimal.h"

#include <climits>

#include "base/bytes.h"

namespace tovex {

const char* ParseDecimal(const char* p, const char* end, int* value) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const char* digits = p;
  // Accumulate as a negative number so that INT_MIN is reachable.
  long long v = 0;
  bool saturated = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    if (saturated) continue;
    v = v * 10 - (*p - '0');
    if (v < static_cast<long long>(INT_MIN)) saturated = true;
  }
  if (p == digits) return nullptr;
  if (saturated) {
    *value = negative ? INT_MIN : INT_MAX;
  } else if (negative) {
    *value = static_cast<int>(v);
  } else {
    *value =
        v < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-v);
  }
  return p;
}

int DecimalValue(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && IsSpace(*p)) ++p;
  int value = 0;
  return ParseDecimal(p, end, &value) != nullptr ? value : 0;
}

char* AppendDecimal(char* out, int64_t v) {
  char digits[kMaxDecimalBytes];
  uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  return out;
}

std::string DecimalText(int64_t v) {
  char buf[kMaxDecimalBytes];
  return std::string(buf, AppendDecimal(buf, v));
}

}  // namespace tovex
