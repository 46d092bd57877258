// Which stream read before an input is, and where to go on in it: a stream
// is known by its first content bytes (a renamed, compressed or copied log
// is the same stream), and gone on with from the offset it was read up to,
// once the bytes before that offset are the ones read then.

#ifndef TOVEX_HISTORY_STREAMS_H_
#define TOVEX_HISTORY_STREAMS_H_

#include <string>

#include "history/state.h"
#include "log/log_input.h"

namespace tovex {

// Where to go on in the input whose head is `head`; `*stream` gets its
// stream's place in state.streams, or -1 for a new one. A compressed copy
// of what was read whole (its gzip trailer holds the CRC-32 and length read
// before) is skipped without being decompressed.
InputStart PlanInput(const InputHead& head, const HistoryState& state,
                     int* stream);

// Records where the input read as stream `stream` (-1: new) ended, with
// the months its counted lines fell in (year × 12 + month - 1; -1: none).
// Returns a note to show when the input is a new stream that counted months
// a stream of the same name counted before (a log rewritten in place, read
// again as new), else empty.
std::string RecordInput(const InputHead& head, const InputEnd& end,
                        int stream, int first_month, int last_month,
                        HistoryState* state);

}  // namespace tovex

#endif  // TOVEX_HISTORY_STREAMS_H_
