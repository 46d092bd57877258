// The two joins a run makes with the name cache, both in address order and
// in fixed memory: ResolveAddresses, once, makes the new cache from the old
// one and the run's distinct addresses, looking up what the old one lacks;
// SortedNameLookup then gives the confirmed name of each address as the
// run's sorted names come by, once per period.

#ifndef TOVEX_RESOLVE_RESOLVE_PASS_H_
#define TOVEX_RESOLVE_RESOLVE_PASS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"
#include "resolve/dns_resolver.h"
#include "resolve/name_cache.h"

namespace tovex {

// The run's distinct client addresses, in strictly increasing byte order.
class AddressSource {
 public:
  virtual ~AddressSource() = default;
  // The next address, valid until the next call; false at the end or on a
  // failure, which status() tells.
  virtual bool Next(std::string_view* address) = 0;
  virtual Status status() const { return Status::Ok(); }
};

struct ResolveCounts {
  uint64_t addresses = 0;   // the run's addresses
  uint64_t reused = 0;      // of those, answered by a fresh cache entry
  uint64_t resolved = 0;    // of those, looked up in DNS
  uint64_t confirmed = 0;   // of those looked up, confirmed
  uint64_t unanswered = 0;  // of those looked up, not answered in time
  uint64_t kept = 0;        // fresh entries of addresses not seen this run
  uint64_t left_out = 0;    // entries beyond kMaxCacheEntries
  // The old cache's trouble found while reading it: Ok, or CannotRead when
  // it is damaged or a read failed. Never a failure of the pass: the
  // entries before the trouble count, the rest are as if absent, and the
  // new cache replaces the file. The caller shows it as a warning, as it
  // does the failure of NameCacheReader::Open (a newer format, no cache
  // file), after which it passes no old cache at all.
  Status old_cache;
};

// Writes the new cache into `new_cache`: every address of `addresses` with a
// fresh entry in `old_cache` keeps it; the others are looked up through
// `resolver` and written with time `now` unless unanswered (an expired
// entry whose lookup goes unanswered is dropped); fresh entries of addresses
// not in `addresses` are kept; expired ones go. `old_cache` may be null (no
// cache yet). An address that is not numeric or not above the one before is
// passed over. The caller closes `new_cache` and publishes it.
// Fails with the failure of `addresses`, of the resolver (Cancelled on a
// stop) or of `new_cache`.
Status ResolveAddresses(AddressSource* addresses, NameCacheReader* old_cache,
                        NameCacheWriter* new_cache, NameResolver* resolver,
                        int64_t now, ResolveCounts* counts);

// The confirmed names of a cache file (one ResolveAddresses wrote), for
// lookups in non-decreasing address order that start over from the top
// with Restart: one block of the file in memory at any time.
class SortedNameLookup {
 public:
  explicit SortedNameLookup(std::unique_ptr<NameCacheReader> reader);

  // The confirmed name of `address`, valid until the next call; empty when
  // the cache has none (no entry, a failure mark). An address below the one
  // before starts over from the top (slow: the caller should not).
  std::string_view Find(std::string_view address);
  // Back to the top, for the next period.
  Status Restart();
  // The reader's failure; Find gives empty once there was one.
  Status status() const { return reader_->status(); }

 private:
  std::unique_ptr<NameCacheReader> reader_;
  std::string last_;   // the address of the lookup before
  NameEntry current_;  // the first entry not below it
  bool have_current_ = false;
  bool at_end_ = false;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_RESOLVE_PASS_H_
