// Decimal conversion: ParseDecimal and DecimalValue on arbitrary bytes, and
// DecimalText on every 64-bit value the input spells.
//
// Checks: the parser stops where the digits stop and gives the value an
// unbounded reading gives, saturated at the int range; DecimalValue skips
// only white space first; DecimalText writes what std::to_string writes,
// in at most kMaxDecimalBytes bytes, and reads back through the parser.

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/decimal.h"
#include "fuzz/fuzz_util.h"

namespace tovex::fuzz {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parser's rule read apart from it: sign, digits, leading zeros left
// out, more than ten significant digits always beyond the int range.
struct Reading {
  size_t used = 0;  // 0: no digits
  int value = 0;
};
Reading ReferenceParse(std::string_view s) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) i = 1;
  const size_t digits = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i == digits) return {};
  size_t first = digits;
  while (first < i && s[first] == '0') ++first;
  int64_t magnitude = 0;
  bool huge = i - first > 10;
  for (size_t k = first; !huge && k < i; ++k) {
    magnitude = magnitude * 10 + (s[k] - '0');
  }
  const int64_t v = negative ? -magnitude : magnitude;
  if (huge || v > INT_MAX || v < INT_MIN) {
    return {i, negative ? INT_MIN : INT_MAX};
  }
  return {i, static_cast<int>(v)};
}

void CheckParse(std::string_view s) {
  int value = 0;
  const char* end = ParseDecimal(s.data(), s.data() + s.size(), &value);
  const Reading want = ReferenceParse(s);
  if (want.used == 0) {
    FUZZ_CHECK(end == nullptr);
    return;
  }
  FUZZ_CHECK(end == s.data() + want.used);
  FUZZ_CHECK(value == want.value);
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  const std::string_view text = AsText(data, size);
  // Every suffix, so that each sign and digit run gets its turn.
  for (size_t i = 0; i < text.size() && i < 64; ++i) {
    CheckParse(text.substr(i));
  }
  size_t lead = 0;
  while (lead < text.size() && IsSpace(text[lead])) ++lead;
  const Reading want = ReferenceParse(text.substr(lead));
  FUZZ_CHECK(DecimalValue(text) == (want.used == 0 ? 0 : want.value));

  for (size_t i = 0; i + sizeof(int64_t) <= text.size(); i += sizeof(int64_t)) {
    int64_t v;
    std::memcpy(&v, text.data() + i, sizeof v);
    const std::string written = DecimalText(v);
    FUZZ_CHECK(written.size() <= kMaxDecimalBytes);
    FUZZ_CHECK(written == std::to_string(v));
    if (v >= INT_MIN && v <= INT_MAX) {
      FUZZ_CHECK(DecimalValue(written) == v);
    }
  }
  return 0;
}
