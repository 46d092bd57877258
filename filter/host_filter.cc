#include "filter/host_filter.h"

#include <cstdio>
#include <utility>

#include "base/bytes.h"
#include "filter/list_items.h"

namespace tovex {
namespace {

// The longest host name DNS allows, and its longest label.
constexpr size_t kMaxNameBytes = 253;
constexpr size_t kMaxLabelBytes = 63;
constexpr int kAddressBits = 128;
constexpr int kIpv4Bits = 32;

bool ParseIpv4(std::string_view s, uint8_t* out) {
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (i >= s.size() || s[i++] != '.')) return false;
    const size_t first = i;
    int value = 0;
    while (i < s.size() && IsDigit(s[i]) && i - first < 3) {
      value = value * 10 + (s[i++] - '0');
    }
    if (i == first || value > 255 || (s[first] == '0' && i - first > 1)) {
      return false;
    }
    out[part] = static_cast<uint8_t>(value);
  }
  return i == s.size();
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseIpv6(std::string_view s, uint8_t* out) {
  uint8_t groups[16] = {};
  int n = 0;     // bytes filled
  int gap = -1;  // where "::" stands, in bytes
  size_t i = 0;
  if (s.starts_with("::")) {
    gap = 0;
    i = 2;
  }
  while (i < s.size()) {
    const size_t first = i;
    int value = 0;
    while (i < s.size() && HexValue(s[i]) >= 0 && i - first < 4) {
      value = value * 16 + HexValue(s[i++]);
    }
    if (i < s.size() && s[i] == '.') {
      // A dotted IPv4 tail takes the last four bytes.
      if (n > 12 || !ParseIpv4(s.substr(first), groups + n)) return false;
      n += 4;
      break;
    }
    if (i == first || n == 16) return false;
    groups[n++] = static_cast<uint8_t>(value >> 8);
    groups[n++] = static_cast<uint8_t>(value & 0xff);
    if (i == s.size()) break;
    if (s[i++] != ':' || i == s.size()) return false;
    if (s[i] == ':') {
      if (gap >= 0) return false;
      gap = n;
      ++i;
    }
  }
  if (gap < 0 ? n != 16 : n > 14) return false;
  const int tail = n - (gap < 0 ? n : gap);
  for (int k = 0; k < 16; ++k) out[k] = 0;
  for (int k = 0; k < n - tail; ++k) out[k] = groups[k];
  for (int k = 0; k < tail; ++k) out[16 - tail + k] = groups[n - tail + k];
  return true;
}

bool IsMapped(const HostAddress& a) {
  for (int k = 0; k < 10; ++k) {
    if (a.bytes[static_cast<size_t>(k)] != 0) return false;
  }
  return a.bytes[10] == 0xff && a.bytes[11] == 0xff;
}

// Whether the first `bits` bits of `a` and `b` agree.
bool SamePrefix(const HostAddress& a, const HostAddress& b, int bits) {
  size_t k = 0;
  for (; bits >= 8; bits -= 8, ++k) {
    if (a.bytes[k] != b.bytes[k]) return false;
  }
  if (bits == 0) return true;
  const auto mask = static_cast<uint8_t>(0xff << (8 - bits));
  return ((a.bytes[k] ^ b.bytes[k]) & mask) == 0;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != lower[i]) return false;
  }
  return true;
}

bool IsNameByte(char c) {
  return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '-' ||
         c == '_';
}

// Letters, digits, "-" and "_" in non-empty labels of at most 63 bytes.
bool IsHostName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  size_t label = 0;
  for (char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (!IsNameByte(c) || ++label > kMaxLabelBytes) {
      return false;
    }
  }
  return label > 0;
}

// A range as CanonicalText writes it.
std::string RangeText(const HostAddress& base, int prefix_bits) {
  char text[48];
  const uint8_t* b = base.bytes.data();
  if (base.v4) {
    std::snprintf(text, sizeof text, "%d.%d.%d.%d/%d", b[12], b[13], b[14],
                  b[15], prefix_bits - (kAddressBits - kIpv4Bits));
    return text;
  }
  std::string out;
  for (int g = 0; g < 8; ++g) {
    std::snprintf(text, sizeof text, g == 0 ? "%x" : ":%x",
                  b[2 * g] << 8 | b[2 * g + 1]);
    out += text;
  }
  return out + "/" + std::to_string(prefix_bits);
}

}  // namespace

bool ParseHostAddress(std::string_view text, HostAddress* address) {
  HostAddress a;
  if (text.find(':') == text.npos) {
    if (!ParseIpv4(text, a.bytes.data() + 12)) return false;
    a.bytes[10] = a.bytes[11] = 0xff;
  } else if (!ParseIpv6(text, a.bytes.data())) {
    return false;
  }
  a.v4 = IsMapped(a);
  *address = a;
  return true;
}

std::string HostFilter::Add(std::string_view list) {
  const std::string_view whole = list;
  std::string_view item;
  while (NextItem(&list, &item)) {
    if (item.empty()) return EmptyItemError(whole);
    std::string error = AddItem(item);
    if (!error.empty()) return error;
  }
  return std::string();
}

std::string HostFilter::AddItem(std::string_view item) {
  const size_t slash = item.find('/');
  const std::string_view text = item.substr(0, slash);
  HostAddress base;
  const bool address = ParseHostAddress(text, &base);
  if (slash == item.npos && address) {
    networks_.push_back({base, kAddressBits});
    return std::string();
  }
  if (slash != item.npos) {
    const std::string_view length = item.substr(slash + 1);
    int bits = 0;
    bool digits = !length.empty() && length.size() <= 3;
    for (char c : length) {
      digits = digits && IsDigit(c);
      if (digits) bits = bits * 10 + (c - '0');
    }
    if (!address || !digits) return Quoted(item) + ": malformed CIDR range";
    // An IPv4-mapped base was written as IPv6, so its length counts all
    // 128 bits; a mapped range shorter than 96 bits is left an IPv6 one.
    const bool v4_text = text.find(':') == text.npos;
    const int max_bits = v4_text ? kIpv4Bits : kAddressBits;
    if (bits > max_bits) {
      return Quoted(item) + ": prefix length " + std::string(length) +
             " out of range 0.." + std::to_string(max_bits);
    }
    if (v4_text) bits += kAddressBits - kIpv4Bits;
    if (base.v4 && bits < kAddressBits - kIpv4Bits) base.v4 = false;
    HostAddress masked{};
    masked.v4 = base.v4;
    for (int k = 0; k < bits; ++k) {
      const size_t byte = static_cast<size_t>(k / 8);
      masked.bytes[byte] |=
          static_cast<uint8_t>(base.bytes[byte] & (0x80 >> (k % 8)));
    }
    if (masked.bytes != base.bytes) {
      return Quoted(item) + ": bits set past the prefix length";
    }
    networks_.push_back({base, bits});
    return std::string();
  }
  // Not an address: a name, unless it can only have meant one.
  if (item.find(':') != item.npos ||
      item.find_first_not_of("0123456789.") == item.npos) {
    return Quoted(item) + ": malformed address";
  }
  const bool suffix = item.starts_with("*.");
  if (!IsHostName(suffix ? item.substr(2) : item)) {
    return Quoted(item) +
           ": bad name pattern (a host name, or \"*.\" before one)";
  }
  Name name{std::string(suffix ? item.substr(1) : item), suffix};
  for (char& c : name.text) c = Lower(c);
  names_.push_back(std::move(name));
  return std::string();
}

bool HostFilter::Matches(std::string_view host) const {
  HostAddress a;
  if (ParseHostAddress(host, &a)) {
    for (const Network& n : networks_) {
      if (n.base.v4 == a.v4 && SamePrefix(n.base, a, n.prefix_bits)) {
        return true;
      }
    }
    return false;
  }
  for (const Name& n : names_) {
    if (n.suffix
            ? host.size() > n.text.size() &&
                  EqualNoCase(host.substr(host.size() - n.text.size()), n.text)
            : EqualNoCase(host, n.text)) {
      return true;
    }
  }
  return false;
}

std::string HostFilter::CanonicalText() const {
  std::vector<std::string> items;
  for (const Network& n : networks_) {
    items.push_back(RangeText(n.base, n.prefix_bits));
  }
  for (const Name& n : names_) items.push_back((n.suffix ? "*" : "") + n.text);
  return SortedList(std::move(items));
}

}  // namespace tovex
