// What is known of one address's name: the answer of a lookup, an entry of
// the cache file, or a request to look it up. The resolver, the cache and
// the pass that joins them all hand these along, in address order.

#ifndef TOVEX_RESOLVE_NAME_ENTRY_H_
#define TOVEX_RESOLVE_NAME_ENTRY_H_

#include <cstdint>
#include <string_view>

#include "base/status.h"

namespace tovex {

enum class NameOutcome : uint8_t {
  // Not known: the time budget ran out, the server failed, refused or never
  // answered. Never stored. On the way into a resolver: "look it up".
  kUnanswered,
  // The PTR name's own A (IPv4) or AAAA (IPv6) records hold the address.
  kConfirmed,
  // No PTR record: NXDOMAIN, or an answer without one.
  kNoName,
  // PTR names that do not resolve back to the address (their forward lookup
  // finds no such name, no record of the family, or other addresses).
  kUnconfirmed,
  // PTR records, none of them a name of host-name syntax.
  kBadName,
};

// Every view is valid until the next call of whatever handed the entry out.
struct NameEntry {
  std::string_view address;  // the text as the log has it
  int64_t time = 0;          // Unix seconds of the answer
  NameOutcome outcome = NameOutcome::kUnanswered;
  std::string_view name;  // kConfirmed only: normalised (host_name.h)
  // Set by a resolver on the entries it looked up (answered or not), clear
  // on those it passed along as they came.
  bool looked_up = false;
};

// Where entries come from, one after the other (for a cache file, in
// strictly increasing byte order of address).
class NameSource {
 public:
  virtual ~NameSource() = default;
  // The next entry; false at the end or on a failure, which status() tells.
  virtual bool Next(NameEntry* entry) = 0;
  virtual Status status() const { return Status::Ok(); }
};

class NameSink {
 public:
  virtual ~NameSink() = default;
  // Takes one entry; its views are valid only during the call. A failure
  // ends the stream.
  virtual Status Take(const NameEntry& entry) = 0;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_NAME_ENTRY_H_
