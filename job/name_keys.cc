#include "job/name_keys.h"

#include <cstring>

namespace tovex {
namespace {

constexpr char kNameEnd = ' ';

}  // namespace

std::string_view MakeKey(KeyLayout layout, const NameKey& key, char* buf) {
  char* p = buf;
  if (layout.period) *p++ = static_cast<char>(key.period);
  if (layout.day && layout.day_first) *p++ = static_cast<char>(key.day);
  *p++ = static_cast<char>(key.kind);
  std::memcpy(p, key.name.data(), key.name.size());
  p += key.name.size();
  *p++ = kNameEnd;
  if (layout.day && !layout.day_first) *p++ = static_cast<char>(key.day);
  return std::string_view(buf, static_cast<size_t>(p - buf));
}

bool ParseKey(KeyLayout layout, std::string_view bytes, NameKey* key) {
  const size_t fixed =
      size_t{2} + (layout.period ? 1u : 0u) + (layout.day ? 1u : 0u);
  if (bytes.size() < fixed) return false;
  size_t at = 0;
  key->period = layout.period ? static_cast<unsigned char>(bytes[at++]) : 0;
  const bool day_first = layout.day && layout.day_first;
  key->day = day_first ? static_cast<unsigned char>(bytes[at++]) : 0;
  const auto kind = static_cast<unsigned char>(bytes[at++]);
  if (kind > static_cast<unsigned char>(NameKind::kContent)) return false;
  key->kind = static_cast<NameKind>(kind);
  const size_t end = bytes.size() - (layout.day && !day_first ? 2u : 1u);
  if (bytes[end] != kNameEnd) return false;
  key->name = bytes.substr(at, end - at);
  if (layout.day && !day_first) {
    key->day = static_cast<unsigned char>(bytes.back());
  }
  return true;
}

}  // namespace tovex
