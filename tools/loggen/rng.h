// Random numbers for the log generator. The algorithms are spelt out here
// (splitmix64 for seeding and hashing, xoshiro256** for the stream) instead of
// taken from <random>, whose distributions differ between library versions:
// a seed must give the same log, byte for byte, on every build.

#ifndef TOVEX_TOOLS_LOGGEN_RNG_H_
#define TOVEX_TOOLS_LOGGEN_RNG_H_

#include <bit>
#include <cstdint>

namespace tovex::loggen {

// The splitmix64 finaliser: a stable hash of one 64-bit value, used to derive
// per-host and per-page choices that do not depend on the order of drawing.
inline uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// Hashes two values into one; Mix2(a, b) differs from Mix2(b, a).
inline uint64_t Mix2(uint64_t a, uint64_t b) { return Mix(Mix(a) ^ b); }

// xoshiro256** seeded through splitmix64.
class Rng {
 public:
  explicit Rng(uint64_t seed) {
    for (uint64_t& word : s_) {
      seed += 0x9e3779b97f4a7c15ULL;
      word = Mix(seed);
    }
  }

  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, n) for n >= 1, by multiply-and-shift: the bias is below
  // 2^-32 and there is no rejection loop, so the draw count per call is fixed.
  uint32_t Below(uint32_t n) {
    return static_cast<uint32_t>(((Next() >> 32) * n) >> 32);
  }

  // Uniform in [lo, hi].
  uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }

  // True with probability 1/n.
  bool OneIn(uint32_t n) { return Below(n) == 0; }

  // True with probability p/1000.
  bool PerMille(uint32_t p) { return Below(1000) < p; }

  // A rank in [0, n) with Zipf-like popularity (exponent about 1): an octave
  // [2^b - 1, 2^(b+1) - 1) is chosen uniformly, then a rank inside it. Rank 0
  // gets 1/octaves of the draws, ranks 1 and 2 half that each, and so on.
  uint32_t Zipf(uint32_t n) {
    const uint32_t b = Below(static_cast<uint32_t>(std::bit_width(n)));
    const uint64_t lo = (uint64_t{1} << b) - 1;
    uint64_t hi = (uint64_t{2} << b) - 1;
    if (hi > n) hi = n;
    return static_cast<uint32_t>(lo + Below(static_cast<uint32_t>(hi - lo)));
  }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  uint64_t s_[4];
};

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_RNG_H_
