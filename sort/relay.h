// Records made on one thread and taken on another: a merge and what takes
// its records run side by side, each on a core of its own.

#ifndef TOVEX_SORT_RELAY_H_
#define TOVEX_SORT_RELAY_H_

#include <functional>

#include "base/status.h"
#include "work/run_file.h"

namespace tovex {

// Runs `produce` on a thread of its own, giving it a sink whose records
// reach `sink` on the calling thread, in the order given. Returns once the
// thread has ended: with the sink's failure (the producer's next record
// then fails and it stops), else with the producer's status.
Status Relay(const std::function<Status(RunSink*)>& produce, RunSink* sink);

}  // namespace tovex

#endif  // TOVEX_SORT_RELAY_H_
