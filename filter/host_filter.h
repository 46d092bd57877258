// Client hosts left out of the count: IPv4 and IPv6 addresses, CIDR ranges
// of both, and host names or "*." name patterns.

#ifndef TOVEX_FILTER_HOST_FILTER_H_
#define TOVEX_FILTER_HOST_FILTER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovex {

// An address as 16 bytes; an IPv4 one as its IPv4-mapped IPv6 form
// (::ffff:a.b.c.d), with `v4` set.
struct HostAddress {
  std::array<uint8_t, 16> bytes{};
  bool v4 = false;
};

// Parses dotted-decimal IPv4 ("192.0.2.1": four parts 0..255, no leading
// zeros) or IPv6 text (RFC 4291: hex groups, one "::", a dotted IPv4 tail;
// no zone, no brackets). An IPv4-mapped IPv6 address is taken as the IPv4
// address it maps, since a dual-stack server logs one client either way.
bool ParseHostAddress(std::string_view text, HostAddress* address);

class HostFilter {
 public:
  // Adds the comma-separated items of `list`: an address; a range
  // "address/length" (length 0..32 for IPv4, 0..128 for IPv6, no bits set
  // past it); a host name ("crawler.example.jp", exactly that name); or
  // "*." before a name ("*.example.co.jp": every name that ends in
  // ".example.co.jp", at any depth, but not example.co.jp itself). Names
  // are letters, digits, "-" and "_" in dot-separated labels and compare
  // without regard to ASCII case. Returns an empty text, or the error text
  // naming the first bad item (an empty item, a malformed address or
  // range, a length out of range, a bad name pattern); the items before it
  // stay added.
  std::string Add(std::string_view list);

  bool empty() const { return networks_.empty() && names_.empty(); }

  // Whether the client field `host` matches an item. A host that parses as
  // an address is compared as one (IPv4 items match IPv4 and IPv4-mapped
  // hosts, IPv6 items the other IPv6 hosts); any other host by name.
  bool Matches(std::string_view host) const;

  // The items as one text, the same for every spelling of the same items:
  // addresses as ranges ("192.0.2.1/32", IPv6 as eight hex groups), names
  // in lower case, sorted, each once, comma-separated.
  std::string CanonicalText() const;

 private:
  struct Network {
    HostAddress base;   // its bits past the prefix are zero
    int prefix_bits;  // of the 16 bytes, so an IPv4 /8 is 104
  };
  struct Name {
    std::string text;  // lower case; ".example.co.jp" for a pattern
    bool suffix;
  };
  std::string AddItem(std::string_view item);

  std::vector<Network> networks_;
  std::vector<Name> names_;
};

}  // namespace tovex

#endif  // TOVEX_FILTER_HOST_FILTER_H_
