#include "base/hash.h"

#include <bit>
#include <cstring>

namespace tovex {
namespace {

constexpr uint64_t kP1 = 11400714785074694791ull;
constexpr uint64_t kP2 = 14029467366897019727ull;
constexpr uint64_t kP3 = 1609587929392839161ull;
constexpr uint64_t kP4 = 9650029242287828579ull;
constexpr uint64_t kP5 = 2870177450012600261ull;

uint64_t Read64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    v = __builtin_bswap64(v);
  }
  return v;
}

uint32_t Read32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    v = __builtin_bswap32(v);
  }
  return v;
}

uint64_t Round(uint64_t acc, uint64_t input) {
  acc += input * kP2;
  return std::rotl(acc, 31) * kP1;
}

uint64_t Merge(uint64_t acc, uint64_t v) {
  acc ^= Round(0, v);
  return acc * kP1 + kP4;
}

}  // namespace

uint64_t Hash64(std::string_view bytes, uint64_t seed) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  uint64_t h;
  if (bytes.size() >= 32) {
    uint64_t v1 = seed + kP1 + kP2, v2 = seed + kP2, v3 = seed,
             v4 = seed - kP1;
    for (; end - p >= 32; p += 32) {
      v1 = Round(v1, Read64(p));
      v2 = Round(v2, Read64(p + 8));
      v3 = Round(v3, Read64(p + 16));
      v4 = Round(v4, Read64(p + 24));
    }
    h = std::rotl(v1, 1) + std::rotl(v2, 7) + std::rotl(v3, 12) +
        std::rotl(v4, 18);
    h = Merge(Merge(Merge(Merge(h, v1), v2), v3), v4);
  } else {
    h = seed + kP5;
  }
  h += bytes.size();
  for (; end - p >= 8; p += 8) {
    h ^= Round(0, Read64(p));
    h = std::rotl(h, 27) * kP1 + kP4;
  }
  if (end - p >= 4) {
    h ^= static_cast<uint64_t>(Read32(p)) * kP1;
    h = std::rotl(h, 23) * kP2 + kP3;
    p += 4;
  }
  for (; p < end; ++p) {
    h ^= static_cast<uint64_t>(static_cast<unsigned char>(*p)) * kP5;
    h = std::rotl(h, 11) * kP1;
  }
  h ^= h >> 33;
  h *= kP2;
  h ^= h >> 29;
  h *= kP3;
  h ^= h >> 32;
  return h;
}

}  // namespace tovex
