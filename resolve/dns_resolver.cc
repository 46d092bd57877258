#include "resolve/dns_resolver.h"

#include <ares.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "platform/shared_library.h"

namespace tovex {
namespace {

// A query that finds no server answering is given up after this long and
// tried once more: a log's addresses are many, and an address whose
// servers are slow should not hold a place of the window for long. The
// budget bounds the whole anyway.
constexpr int kQueryTimeoutMs = 2000;
constexpr int kQueryTries = 2;

constexpr int kClassIn = 1;
constexpr int kTypeA = 1;
constexpr int kTypePtr = 12;
constexpr int kTypeAaaa = 28;

unsigned Get16(const unsigned char* p) {
  return static_cast<unsigned>(p[0] << 8 | p[1]);
}

// Moves `*at` past the (possibly compressed) name there; false when the
// name runs past the message or has a label type DNS does not define.
bool SkipName(const unsigned char* message, size_t length, size_t* at) {
  while (*at < length) {
    const unsigned char b = message[*at];
    if (b == 0) {
      ++*at;
      return true;
    }
    if ((b & 0xc0) == 0xc0) {
      *at += 2;
      return *at <= length;
    }
    if ((b & 0xc0) != 0) return false;
    *at += 1u + b;
  }
  return false;
}

// Calls `fn(type, rdata_offset, rdata_length)` for each record of class IN
// in the answer section. False when the message does not decode.
template <typename Fn>
bool ForEachAnswer(const unsigned char* message, int length_in, Fn fn) {
  if (length_in < 12) return false;
  const auto length = static_cast<size_t>(length_in);
  const unsigned questions = Get16(message + 4);
  const unsigned answers = Get16(message + 6);
  size_t at = 12;
  for (unsigned i = 0; i < questions; ++i) {
    if (!SkipName(message, length, &at) || length - at < 4) return false;
    at += 4;
  }
  for (unsigned i = 0; i < answers; ++i) {
    if (!SkipName(message, length, &at) || length - at < 10) return false;
    const unsigned type = Get16(message + at);
    const unsigned klass = Get16(message + at + 2);
    const unsigned data_length = Get16(message + at + 8);
    at += 10;
    if (length - at < data_length) return false;
    if (klass == kClassIn) fn(type, at, data_length);
    at += data_length;
  }
  return true;
}

}  // namespace

// c-ares's functions, from the library loaded when a resolver is made.
struct DnsResolver::Cares {
  bool Load(std::string* error) {
    library = SharedLibrary::Open(kCaresLibrary, error);
    if (library == nullptr) return false;
    const SharedLibrary& l = *library;
    if (l.Find("ares_library_init", &library_init) &&
        l.Find("ares_library_cleanup", &library_cleanup) &&
        l.Find("ares_init_options", &init_options) &&
        l.Find("ares_set_servers_ports", &set_servers_ports) &&
        l.Find("ares_destroy", &destroy) && l.Find("ares_cancel", &cancel) &&
        l.Find("ares_query", &query) &&
        l.Find("ares_expand_name", &expand_name) &&
        l.Find("ares_free_string", &free_string) &&
        l.Find("ares_getsock", &getsock) && l.Find("ares_timeout", &timeout) &&
        l.Find("ares_process_fd", &process_fd) &&
        l.Find("ares_strerror", &strerror)) {
      return true;
    }
    *error = "not the c-ares it was built for";
    return false;
  }

  std::unique_ptr<SharedLibrary> library;
  decltype(&ares_library_init) library_init;
  decltype(&ares_library_cleanup) library_cleanup;
  decltype(&ares_init_options) init_options;
  decltype(&ares_set_servers_ports) set_servers_ports;
  decltype(&ares_destroy) destroy;
  decltype(&ares_cancel) cancel;
  decltype(&ares_query) query;
  decltype(&ares_expand_name) expand_name;
  decltype(&ares_free_string) free_string;
  decltype(&ares_getsock) getsock;
  decltype(&ares_timeout) timeout;
  decltype(&ares_process_fd) process_fd;
  decltype(&ares_strerror) strerror;
};

// One address in the window, or one entry passing along.
struct DnsResolver::Query {
  DnsResolver* owner;
  Slot* slot;
  int index;  // -1 the PTR query, else the PTR name looked up forward
};

struct DnsResolver::Slot {
  NameEntry entry;
  bool done = true;
  IpAddress ip;
  int pending = 0;     // queries not yet answered
  int candidates = 0;  // PTR names kept
  int confirmed = -1;  // the first confirmed one
  bool forward_unanswered = false;
  char address[kMaxAddressTextBytes];
  char names[kMaxCheckedNames][kMaxHostNameBytes + 1];
  uint8_t name_sizes[kMaxCheckedNames];
  Query queries[1 + kMaxCheckedNames];
};

std::string ParseDnsServer(std::string_view text, DnsServer* server) {
  const std::string error = "bad DNS server \"" + std::string(text) +
                            "\": give an address with an optional :PORT, an "
                            "IPv6 address in brackets before a port";
  std::string_view address = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return error;
    address = text.substr(1, close - 1);
    port = text.substr(close + 1);
    if (!port.empty() && !port.starts_with(':')) return error;
  } else if (const size_t colon = text.find(':');
             colon != std::string_view::npos &&
             text.find(':', colon + 1) == std::string_view::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon);
  }
  if (!ParseAddress(address, &server->address) ||
      (text.starts_with('[') && !server->address.v6)) {
    return error;
  }
  server->port = 53;
  if (port.empty()) return std::string();
  port.remove_prefix(1);
  unsigned value = 0;
  for (char c : port) {
    if (!IsDigit(c) || (value = value * 10 + unsigned(c - '0')) > 65535) {
      return error;
    }
  }
  if (port.empty() || value == 0) return error;
  server->port = static_cast<uint16_t>(value);
  return std::string();
}

DnsResolver::DnsResolver(const DnsOptions& options)
    : options_(options), ring_(new Slot[kDnsWindow]) {
  for (size_t i = 0; i < kDnsWindow; ++i) {
    for (int q = 0; q <= static_cast<int>(kMaxCheckedNames); ++q) {
      ring_[i].queries[q] = {this, &ring_[i], q - 1};
    }
  }
}

DnsResolver::~DnsResolver() {
  if (cares_ == nullptr) return;
  // Pending callbacks run now, while the slots they name still exist.
  if (channel_ != nullptr) cares_->destroy(channel_);
  cares_->library_cleanup();
}

Status DnsResolver::Create(const DnsOptions& options,
                           std::unique_ptr<DnsResolver>* resolver) {
  auto cares = std::make_unique<Cares>();
  std::string error;
  if (!cares->Load(&error)) return Status::CannotOpen(kCaresLibrary, error);
  const std::string what = "/etc/resolv.conf";
  int rc = cares->library_init(ARES_LIB_INIT_ALL);
  if (rc != ARES_SUCCESS) {
    return Status::CannotOpen(what, cares->strerror(rc));
  }
  std::unique_ptr<DnsResolver> r(new DnsResolver(options));
  r->cares_ = std::move(cares);
  const Cares& c = *r->cares_;
  ares_options o{};
  o.timeout = kQueryTimeoutMs;
  o.tries = kQueryTries;
  rc = c.init_options(&r->channel_, &o, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES);
  if (rc == ARES_SUCCESS && options.server) {
    const DnsServer& s = *options.server;
    ares_addr_port_node node{};
    node.family = s.address.v6 ? AF_INET6 : AF_INET;
    std::memcpy(&node.addr, s.address.bytes, s.address.size());
    node.udp_port = node.tcp_port = s.port;
    rc = c.set_servers_ports(r->channel_, &node);
  }
  if (rc != ARES_SUCCESS) return Status::CannotOpen(what, c.strerror(rc));
  *resolver = std::move(r);
  return Status::Ok();
}

int DnsResolver::StopAsked() const {
  return options_.stop != nullptr ? options_.stop->load() : 0;
}

Status DnsResolver::Resolve(NameSource* source, NameSink* sink) {
  counts_ = DnsCounts();
  expired_ = false;
  const auto deadline = std::chrono::steady_clock::now() + options_.budget;
  size_t head = 0;
  size_t used = 0;
  bool source_done = false;
  Status status;
  while (status.ok()) {
    if (const int stop = StopAsked(); stop != 0) {
      status = Status::Cancelled(stop);
      break;
    }
    if (!expired_ && std::chrono::steady_clock::now() >= deadline) Expire();
    NameEntry entry;
    while (!source_done && used < kDnsWindow) {
      if (!source->Next(&entry)) {
        source_done = true;
        status = source->status();
        break;
      }
      Admit(&ring_[(head + used++) % kDnsWindow], entry);
    }
    bool emitted = false;
    while (status.ok() && used > 0 && ring_[head].done) {
      status = Emit(ring_[head], sink);
      head = (head + 1) % kDnsWindow;
      --used;
      emitted = true;
    }
    if (emitted && options_.progress) options_.progress(counts_);
    if (used == 0 && source_done) break;
    if (status.ok() && !emitted) Wait(deadline);
  }
  // What is still under way ends here, its slots free for the next call.
  Expire();
  return status;
}

void DnsResolver::Expire() {
  expired_ = true;
  cares_->cancel(channel_);
}

void DnsResolver::Admit(Slot* slot, const NameEntry& entry) {
  // An empty view may have no storage, which memcpy must not see.
  const std::string_view address =
      entry.address.substr(0, kMaxAddressTextBytes);
  if (!address.empty()) address.copy(slot->address, address.size());
  slot->entry = entry;
  slot->entry.address = std::string_view(slot->address, address.size());
  slot->done = true;
  if (entry.outcome != NameOutcome::kUnanswered) {
    const std::string_view name = entry.name.substr(0, kMaxHostNameBytes);
    if (!name.empty()) name.copy(slot->names[0], name.size());
    slot->entry.name = std::string_view(slot->names[0], name.size());
    return;
  }
  slot->entry.looked_up = true;
  slot->entry.name = std::string_view();
  if (expired_ || !ParseAddress(slot->entry.address, &slot->ip)) return;
  slot->done = false;
  slot->pending = 1;
  slot->candidates = 0;
  slot->confirmed = -1;
  slot->forward_unanswered = false;
  char reverse[kReverseNameBytes];
  ReverseName(slot->ip, reverse);
  cares_->query(channel_, reverse, kClassIn, kTypePtr, &DnsResolver::OnAnswer,
                &slot->queries[0]);
}

void DnsResolver::OnAnswer(void* arg, int status, int /*timeouts*/,
                           unsigned char* answer, int length) {
  const Query* q = static_cast<const Query*>(arg);
  if (q->index < 0) {
    q->owner->OnPtr(q->slot, status, answer, length);
  } else {
    q->owner->OnForward(q->slot, q->index, status, answer, length);
  }
}

void DnsResolver::OnPtr(Slot* slot, int status, const unsigned char* answer,
                        int length) {
  if (status == ARES_ENOTFOUND || status == ARES_ENODATA) {
    return Finish(slot, NameOutcome::kNoName, -1);
  }
  int records = 0;
  std::string& name = scratch_;
  const bool decoded =
      status == ARES_SUCCESS &&
      ForEachAnswer(answer, length, [&](unsigned type, size_t at, size_t) {
        if (type != kTypePtr) return;
        ++records;
        char* expanded = nullptr;
        long used = 0;
        if (cares_->expand_name(answer + at, answer, length, &expanded,
                                &used) != ARES_SUCCESS) {
          return;
        }
        // c-ares writes a byte outside a name's alphabet as an escape, which
        // fails the syntax test as the byte would.
        const bool good = NormaliseHostName(expanded, &name);
        cares_->free_string(expanded);
        if (!good || slot->candidates == kMaxCheckedNames) return;
        for (int i = 0; i < slot->candidates; ++i) {
          if (name == std::string_view(slot->names[i], slot->name_sizes[i])) {
            return;
          }
        }
        std::memcpy(slot->names[slot->candidates], name.c_str(),
                    name.size() + 1);
        slot->name_sizes[slot->candidates++] =
            static_cast<uint8_t>(name.size());
      });
  if (!decoded || expired_) return Finish(slot, NameOutcome::kUnanswered, -1);
  if (records == 0) return Finish(slot, NameOutcome::kNoName, -1);
  if (slot->candidates == 0) return Finish(slot, NameOutcome::kBadName, -1);
  // A callback may come within ares_query itself: every query is counted
  // before the first is sent.
  slot->pending = slot->candidates;
  const int type = slot->ip.v6 ? kTypeAaaa : kTypeA;
  for (int i = 0, n = slot->candidates; i < n; ++i) {
    cares_->query(channel_, slot->names[i], kClassIn, type,
                  &DnsResolver::OnAnswer, &slot->queries[1 + i]);
  }
}

void DnsResolver::OnForward(Slot* slot, int index, int status,
                            const unsigned char* answer, int length) {
  const size_t size = slot->ip.size();
  const unsigned type = slot->ip.v6 ? kTypeAaaa : kTypeA;
  bool holds = false;
  if (status == ARES_SUCCESS) {
    ForEachAnswer(answer, length, [&](unsigned t, size_t at, size_t n) {
      holds = holds || (t == type && n == size &&
                        std::memcmp(answer + at, slot->ip.bytes, size) == 0);
    });
  } else if (status != ARES_ENOTFOUND && status != ARES_ENODATA) {
    slot->forward_unanswered = true;
  }
  if (holds && (slot->confirmed < 0 || index < slot->confirmed)) {
    slot->confirmed = index;
  }
  if (--slot->pending > 0) return;
  if (slot->confirmed >= 0) {
    Finish(slot, NameOutcome::kConfirmed, slot->confirmed);
  } else {
    Finish(slot,
           slot->forward_unanswered ? NameOutcome::kUnanswered
                                    : NameOutcome::kUnconfirmed,
           -1);
  }
}

void DnsResolver::Finish(Slot* slot, NameOutcome outcome, int name) {
  slot->entry.outcome = outcome;
  if (name >= 0) {
    slot->entry.name =
        std::string_view(slot->names[name], slot->name_sizes[name]);
  }
  slot->pending = 0;
  slot->done = true;
}

Status DnsResolver::Emit(const Slot& slot, NameSink* sink) {
  ++counts_.entries;
  if (slot.entry.looked_up) {
    ++counts_.looked_up;
    switch (slot.entry.outcome) {
      case NameOutcome::kConfirmed:
        ++counts_.confirmed;
        break;
      case NameOutcome::kNoName:
        ++counts_.no_name;
        break;
      case NameOutcome::kUnconfirmed:
        ++counts_.unconfirmed;
        break;
      case NameOutcome::kBadName:
        ++counts_.bad_name;
        break;
      case NameOutcome::kUnanswered:
        ++counts_.unanswered;
        break;
    }
  }
  return sink->Take(slot.entry);
}

void DnsResolver::Wait(std::chrono::steady_clock::time_point deadline) {
  ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
  const int bits = cares_->getsock(channel_, sockets, ARES_GETSOCK_MAXNUM);
  pollfd fds[ARES_GETSOCK_MAXNUM];
  nfds_t n = 0;
  for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
    short events = 0;
    if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
    if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
    if (events != 0) fds[n++] = {sockets[i], events, 0};
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  const auto slice = std::clamp(left, std::chrono::milliseconds(0),
                                std::chrono::milliseconds(kDnsWaitSlice));
  timeval most{0, static_cast<long>(slice.count()) * 1000};
  timeval tv;
  const timeval* t = cares_->timeout(channel_, &most, &tv);
  const int ms = static_cast<int>(t->tv_sec * 1000 + (t->tv_usec + 999) / 1000);
  if (poll(fds, n, ms) <= 0) {
    cares_->process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    return;
  }
  for (nfds_t i = 0; i < n; ++i) {
    const bool in = (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    const bool out = (fds[i].revents & POLLOUT) != 0;
    cares_->process_fd(channel_, in ? fds[i].fd : ARES_SOCKET_BAD,
                       out ? fds[i].fd : ARES_SOCKET_BAD);
  }
}

}  // namespace tovex
