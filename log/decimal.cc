#include "log/decimal.h"

#include <climits>

namespace tovex {

int DecimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
          text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that INT_MIN is reachable.
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 - (text[i] - '0');
    if (v < static_cast<long long>(INT_MIN)) {
      return negative ? INT_MIN : INT_MAX;
    }
  }
  if (negative) return static_cast<int>(v);
  return v < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-v);
}

}  // namespace tovex
