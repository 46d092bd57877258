// Decimal text to integer, the one conversion used for log fields, settings
// values and period labels.

#ifndef TOVEX_LOG_DECIMAL_H_
#define TOVEX_LOG_DECIMAL_H_

#include <string_view>

namespace tovex {

// Leading blanks (space, tab, CR, LF, VT, FF) are skipped, then an optional
// sign and the digits up to the first non-digit are taken; no digits gives 0.
// Values beyond the int range saturate at its ends instead of wrapping.
int DecimalValue(std::string_view text);

}  // namespace tovex

#endif  // TOVEX_LOG_DECIMAL_H_
