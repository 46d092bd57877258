// Host names and numeric addresses as the resolver sees them. Every name
// that comes from DNS, or back from a cache file, passes IsHostNameSyntax
// before it is used: such a name is safe to put in a work-file record and on
// a page (no blank, no markup, no control byte) and cannot pass for an
// address.

#ifndef TOVEX_RESOLVE_HOST_NAME_H_
#define TOVEX_RESOLVE_HOST_NAME_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tovex {

// The limits of a name in DNS (RFC 1035), dots included, no trailing dot.
inline constexpr size_t kMaxHostNameBytes = 253;
inline constexpr size_t kMaxLabelBytes = 63;
// The longest address text inet_pton reads: a full IPv6 address with an
// IPv4 tail ("ffff:...:255.255.255.255").
inline constexpr size_t kMaxAddressTextBytes = 45;

// True when `name` is 1..kMaxHostNameBytes bytes of letters, digits, hyphens
// and dots, in labels of 1..kMaxLabelBytes bytes, and its last label is not
// all digits: "192.0.2.1" read as a name would be counted as an address.
bool IsHostNameSyntax(std::string_view name);

// `name` with ASCII letters lower-cased and one trailing dot dropped, into
// `*out` (whose capacity is reused). False when the result fails
// IsHostNameSyntax; `*out` is unspecified then.
bool NormaliseHostName(std::string_view name, std::string* out);

// True when `name` passes IsHostNameSyntax and has no upper-case letter:
// what NormaliseHostName makes.
bool IsNormalHostName(std::string_view name);

// An address in network byte order. An IPv4-mapped IPv6 address
// ("::ffff:192.0.2.1", how a dual-stack socket logs an IPv4 client) is
// taken as the IPv4 address: that is the one its reverse and forward names
// live under.
struct IpAddress {
  bool v6 = false;
  uint8_t bytes[16] = {};  // the first 4 for IPv4

  size_t size() const { return v6 ? 16 : 4; }
};

// Parses an IPv4 or IPv6 address text (inet_pton's forms; no zone, no
// brackets, no port). False for anything else, a host name among them.
bool ParseAddress(std::string_view text, IpAddress* address);

inline bool IsNumericAddress(std::string_view text) {
  IpAddress unused;
  return ParseAddress(text, &unused);
}

inline bool SameAddress(const IpAddress& a, const IpAddress& b) {
  if (a.v6 != b.v6) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a.bytes[i] != b.bytes[i]) return false;
  }
  return true;
}

// Bytes a reverse-lookup name takes at most, its NUL included: 32 nibbles
// with their dots and "ip6.arpa".
inline constexpr size_t kReverseNameBytes = 73;

// Writes the name whose PTR record names `address` ("1.2.0.192.in-addr.arpa",
// or 32 nibbles under "ip6.arpa"), NUL-terminated, at `out`.
void ReverseName(const IpAddress& address, char out[kReverseNameBytes]);

}  // namespace tovex

#endif  // TOVEX_RESOLVE_HOST_NAME_H_
