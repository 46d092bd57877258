// Reverse lookups of client addresses, confirmed forward, on c-ares: "as if
// the server had logged names". A name counts only when its own A (IPv4) or
// AAAA (IPv6) records hold the address, so a client cannot name itself by
// its PTR record alone.
//
// The resolver takes a stream of entries and hands out one entry for each,
// in input order, with up to kDnsWindow of them under way at once: a sorted
// stream comes out sorted, and nothing but the window is buffered. One
// thread does it all: c-ares runs its queries on non-blocking sockets, and
// Resolve waits for them with poll().

#ifndef TOVEX_RESOLVE_DNS_RESOLVER_H_
#define TOVEX_RESOLVE_DNS_RESOLVER_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "resolve/host_name.h"
#include "resolve/name_entry.h"

struct ares_channeldata;  // c-ares's channel, kept out of this header

namespace tovex {

// Entries under way at once. Enough to hide a resolver's round trips (an
// address takes two, PTR then A or AAAA: at 100 ms each, 128 at once give
// some 600 addresses a second); few enough that a recursive server on a
// small machine does not start dropping queries.
inline constexpr size_t kDnsWindow = 128;

// PTR names of one address that are looked up forward, at most: several are
// rare (shared hosting), and each costs a query.
inline constexpr size_t kMaxCheckedNames = 4;

// An explicit server: the option's ADDR[:PORT].
struct DnsServer {
  IpAddress address;
  uint16_t port = 53;
};

// Parses "192.0.2.53", "192.0.2.53:5353", "2001:db8::53",
// "[2001:db8::53]" or "[2001:db8::53]:5353". Returns empty, or an error
// text naming `text` for the caller to show as a usage error.
std::string ParseDnsServer(std::string_view text, DnsServer* server);

struct DnsCounts {
  uint64_t entries = 0;    // handed out so far
  uint64_t looked_up = 0;  // of those, looked up (answered or not)
  uint64_t confirmed = 0;  // of those looked up, by outcome
  uint64_t no_name = 0;
  uint64_t unconfirmed = 0;
  uint64_t bad_name = 0;
  uint64_t unanswered = 0;
};

struct DnsOptions {
  // None: the system's resolver configuration (/etc/resolv.conf).
  std::optional<DnsServer> server;
  // The whole of Resolve's waiting, from its start: when it is over, every
  // entry not yet answered, and every later one, comes out unanswered at
  // once.
  std::chrono::milliseconds budget{30000};
  // When given, read all along: nonzero (the number of the signal that
  // asked for it) ends Resolve with Cancelled(that value) within
  // kDnsWaitSlice.
  const std::atomic<int>* stop = nullptr;
  // When given, called after entries were handed out, with the counts so
  // far.
  std::function<void(const DnsCounts&)> progress;
};

// How often Resolve looks at the stop flag while it waits.
inline constexpr std::chrono::milliseconds kDnsWaitSlice{100};

// Maps a stream of entries to a stream of entries in the same order;
// DnsResolver looks names up in DNS, a test may bring its own.
class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // Hands `sink` one entry for each entry of `source`, in source order. An
  // unanswered entry is looked up: it comes out with its address and time,
  // an outcome and `looked_up` set. Any other entry (from a cache) passes
  // along as it is, holding its place in the order. Fails with the
  // source's or the sink's failure, or Cancelled once a stop was asked for;
  // the sink has then had a prefix of the stream.
  virtual Status Resolve(NameSource* source, NameSink* sink) = 0;
};

// c-ares, loaded when a resolver is made: a run that resolves nothing maps
// none of it.
inline constexpr char kCaresLibrary[] = "libcares.so.2";

class DnsResolver : public NameResolver {
 public:
  // CannotOpen(kCaresLibrary, the loader's reason) without c-ares;
  // CannotOpen(the resolver configuration, c-ares's reason) when c-ares
  // cannot start, which only a machine out of memory or descriptors sees.
  // Resolvers are made and used on one thread at a time: c-ares's library
  // start-up is not safe to run on two at once.
  static Status Create(const DnsOptions& options,
                       std::unique_ptr<DnsResolver>* resolver);
  ~DnsResolver() override;
  DnsResolver(const DnsResolver&) = delete;
  DnsResolver& operator=(const DnsResolver&) = delete;

  // As NameResolver::Resolve. The confirmed name is the first PTR name, in
  // the answer's order, whose forward records hold the address; up to
  // kMaxCheckedNames PTR names are tried. A forward lookup the server fails
  // to answer makes the entry unanswered rather than unconfirmed, unless
  // another name confirms: a failure is stored, an unanswered entry is
  // asked again next time. An address text that is no address comes out
  // unanswered (cut to kMaxAddressTextBytes when longer).
  Status Resolve(NameSource* source, NameSink* sink) override;

  // The counts of the last Resolve.
  const DnsCounts& counts() const { return counts_; }

 private:
  struct Cares;
  struct Slot;
  struct Query;

  explicit DnsResolver(const DnsOptions& options);
  static void OnAnswer(void* arg, int status, int timeouts,
                       unsigned char* answer, int length);
  void OnPtr(Slot* slot, int status, const unsigned char* answer, int length);
  void OnForward(Slot* slot, int index, int status, const unsigned char* answer,
                 int length);
  void Admit(Slot* slot, const NameEntry& entry);
  void Finish(Slot* slot, NameOutcome outcome, int name);
  Status Emit(const Slot& slot, NameSink* sink);
  void Wait(std::chrono::steady_clock::time_point deadline);
  void Expire();
  int StopAsked() const;

  DnsOptions options_;
  std::unique_ptr<Cares> cares_;
  std::unique_ptr<Slot[]> ring_;
  ares_channeldata* channel_ = nullptr;
  bool expired_ = false;
  DnsCounts counts_;
  std::string scratch_;  // a PTR name being checked
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_DNS_RESOLVER_H_
