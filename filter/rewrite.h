// The in-place rewrites of a log line: each makes the line what the server
// would have written under the option, and none makes it longer, so that
// they work inside the block the log was read into.

#ifndef TOVEX_FILTER_REWRITE_H_
#define TOVEX_FILTER_REWRITE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filter/line_fields.h"

namespace tovex {

// The moment `t` (written at its own offset) as seconds since 1970 UTC.
int64_t StampToUtc(const StampTime& t);

// `utc` as the time of day at `offset_seconds` east, the offset written in
// whole minutes toward zero as strftime's %z does. False when the year
// leaves 1..9999, which four digits cannot hold.
bool UtcToStamp(int64_t utc, int32_t offset_seconds, StampTime* t);

// Writes `t` as "dd/Mon/yyyy:hh:mm:ss +zzzz" (kUsualStampBytes bytes) at
// `out`. REQUIRES: `t` within the ranges UtcToStamp gives.
void WriteStamp(const StampTime& t, char* out);

// Cuts "?..." or "#..." off the request target `target`, which lies in the
// line [line, line + *size): the rest of the line moves up and *size
// shrinks. Returns the bytes cut (0 when the target has neither). A "?" or
// "#" that a backslash escapes (Apache's \") is no query.
size_t CutQuery(char* line, size_t* size, std::string_view target);

// Decodes, in the request target `target` of the line [line, line + *size),
// each run of %XX escapes that spells one well-formed UTF-8 character
// outside ASCII and the C1 controls (U+00A0..U+10FFFF, shortest form, no
// surrogates; hex digits of either case) into its bytes; every other "%"
// stays as written, so no decoded byte is ASCII: no white space, NUL,
// control byte, "/", "?" or "%" appears. A backslash and the byte after it
// stay as written. The rest of the line moves up and *size shrinks.
// Returns the bytes saved (0 when nothing was decoded).
size_t DecodeUtf8Escapes(char* line, size_t* size, std::string_view target);

}  // namespace tovex

#endif  // TOVEX_FILTER_REWRITE_H_
