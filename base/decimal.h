// Decimal numbers as text: the one parser and the one formatter used for
// log fields, settings values, work-file records, file names and pages.

#ifndef TOVEX_BASE_DECIMAL_H_
#define TOVEX_BASE_DECIMAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tovex {

// Bytes AppendDecimal writes at most: a sign and 19 digits.
inline constexpr size_t kMaxDecimalBytes = 20;

// Parses an optional sign and the digits that follow at `p`, stopping at the
// first non-digit or `end`. Returns the position after the digits, or
// nullptr when there are none. Values beyond the int range saturate at its
// ends instead of wrapping.
const char* ParseDecimal(const char* p, const char* end, int* value);

// Leading white space (blank, tab, CR, LF, VT, FF) is skipped, then
// ParseDecimal; no digits gives 0.
int DecimalValue(std::string_view text);

// Writes the decimal text of `v` (no padding, "-" for negatives) at `out`
// and returns the end. REQUIRES: room for kMaxDecimalBytes bytes.
char* AppendDecimal(char* out, int64_t v);

// The decimal text of `v`.
std::string DecimalText(int64_t v);

}  // namespace tovex

#endif  // TOVEX_BASE_DECIMAL_H_
