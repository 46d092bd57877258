#include "resolve/host_name.h"

#include <arpa/inet.h>

#include <cstring>

#include "base/bytes.h"

namespace tovex {
namespace {

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) ||
         c == '-';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsHostNameSyntax(std::string_view name) {
  if (name.empty() || name.size() > kMaxHostNameBytes) return false;
  size_t label = 0;  // bytes of the current label
  bool digits_only = true;
  for (char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
      digits_only = true;
    } else if (!IsNameByte(c) || ++label > kMaxLabelBytes) {
      return false;
    } else {
      digits_only = digits_only && IsDigit(c);
    }
  }
  return label > 0 && !digits_only;
}

bool NormaliseHostName(std::string_view name, std::string* out) {
  if (name.ends_with('.')) name.remove_suffix(1);
  out->assign(name);
  for (char& c : *out) c = Lower(c);
  return IsHostNameSyntax(*out);
}

bool IsNormalHostName(std::string_view name) {
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') return false;
  }
  return IsHostNameSyntax(name);
}

bool ParseAddress(std::string_view text, IpAddress* address) {
  if (text.empty() || text.size() > kMaxAddressTextBytes) return false;
  char buf[kMaxAddressTextBytes + 1];
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = '\0';
  *address = IpAddress();
  if (inet_pton(AF_INET, buf, address->bytes) == 1) return true;
  if (inet_pton(AF_INET6, buf, address->bytes) != 1) return false;
  static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0,    0,
                                          0, 0, 0, 0, 0xff, 0xff};
  if (std::memcmp(address->bytes, kMapped, sizeof(kMapped)) == 0) {
    std::memmove(address->bytes, address->bytes + 12, 4);
    std::memset(address->bytes + 4, 0, 12);
  } else {
    address->v6 = true;
  }
  return true;
}

void ReverseName(const IpAddress& address, char out[kReverseNameBytes]) {
  static constexpr char kHex[] = "0123456789abcdef";
  char* p = out;
  if (address.v6) {
    for (size_t i = 16; i > 0; --i) {
      const uint8_t b = address.bytes[i - 1];
      *p++ = kHex[b & 0xf];
      *p++ = '.';
      *p++ = kHex[b >> 4];
      *p++ = '.';
    }
    std::memcpy(p, "ip6.arpa", sizeof("ip6.arpa"));
    return;
  }
  for (size_t i = 4; i > 0; --i) {
    unsigned b = address.bytes[i - 1];
    if (b >= 100) *p++ = static_cast<char>('0' + b / 100);
    if (b >= 10) *p++ = static_cast<char>('0' + b / 10 % 10);
    *p++ = static_cast<char>('0' + b % 10);
    *p++ = '.';
  }
  std::memcpy(p, "in-addr.arpa", sizeof("in-addr.arpa"));
}

}  // namespace tovex
