#include "filter/bot_filter.h"

#include <re2/re2.h>
#include <re2/set.h>

#include <cstdlib>
#include <cstring>

#include "platform/memory.h"

namespace tovex {

class BotMatcher::Set {
 public:
  explicit Set(const RE2::Options& options) : set(options, RE2::UNANCHORED) {}
  RE2::Set set;
};

BotMatcher::BotMatcher() = default;
BotMatcher::~BotMatcher() = default;

std::string BotMatcher::Compile(std::span<const std::string_view> patterns,
                                int64_t max_mem) {
  RE2::Options options;
  // A skipped pattern is reported by the caller, not on stderr.
  options.set_log_errors(false);
  options.set_max_mem(max_mem);
  set_ = std::make_unique<Set>(options);
  skipped_.clear();
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (set_->set.Add(patterns[i], nullptr) < 0) skipped_.push_back(i);
  }
  const bool compiled = set_->set.Compile();
  // Parsing and compiling 1,500 patterns takes several times the memory
  // the compiled set keeps.
  ReturnFreeMemory();
  if (!compiled) {
    set_.reset();
    return "the crawler list does not compile within " +
           std::to_string(max_mem >> 10) + " KB";
  }
  return std::string();
}

BotVerdict BotMatcher::Match(std::string_view agent) const {
  RE2::Set::ErrorInfo info{RE2::Set::kNoError};
  if (set_->set.Match(re2::StringPiece(agent.data(), agent.size()), nullptr,
                      &info)) {
    return BotVerdict::kBot;
  }
  return info.kind == RE2::Set::kNoError ? BotVerdict::kHuman
                                         : BotVerdict::kUnknown;
}

BotVerdictCache::BotVerdictCache()
    : slots_(static_cast<Slot*>(std::calloc(kSlots, sizeof(Slot)))) {}

void BotVerdictCache::Free::operator()(Slot* slots) const { std::free(slots); }

uint64_t BotVerdictCache::Hash(std::string_view agent) {
  // Every byte, sixteen a step in two independent lanes: agents are a
  // hundred bytes or more, and one chain of multiplications would cost
  // more than the rest of the line's filtering.
  constexpr uint64_t kOdd1 = 0x9E3779B97F4A7C15ull,
                     kOdd2 = 0xC2B2AE3D27D4EB4Full;
  const size_t n = agent.size();
  uint64_t a = n * kOdd1, b = ~n;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    uint64_t w[2];
    std::memcpy(w, agent.data() + i, 16);
    a = (a ^ w[0]) * kOdd1;
    b = (b ^ w[1]) * kOdd2;
  }
  uint64_t w[2] = {0, 0};
  std::memcpy(w, agent.data() + i, n - i);
  a = (a ^ w[0]) * kOdd1;
  b = (b ^ w[1]) * kOdd2;
  // A product's low bits see only its factors' low bits, and the slot is
  // taken from the low bits: the high ones are folded down.
  uint64_t h = a ^ ((b << 31) | (b >> 33));
  h = (h ^ (h >> 32)) * kOdd1;
  return h ^ (h >> 29);
}

BotVerdict BotVerdictCache::Find(std::string_view agent) const {
  // Without its memory the cache only misses.
  if (slots_ == nullptr || agent.empty() || agent.size() > kKeyBytes)
    return BotVerdict::kUnknown;
  const uint64_t h = Hash(agent);
  const Slot& s = slots_[h % kSlots];
  if (s.hash != h || s.size != agent.size() ||
      std::memcmp(s.key, agent.data(), agent.size()) != 0) {
    return BotVerdict::kUnknown;
  }
  return s.bot ? BotVerdict::kBot : BotVerdict::kHuman;
}

void BotVerdictCache::Put(std::string_view agent, BotVerdict verdict) {
  if (slots_ == nullptr || agent.empty() || agent.size() > kKeyBytes ||
      verdict == BotVerdict::kUnknown) {
    return;
  }
  const uint64_t h = Hash(agent);
  Slot& s = slots_[h % kSlots];
  s.hash = h;
  s.size = static_cast<uint8_t>(agent.size());
  s.bot = verdict == BotVerdict::kBot;
  std::memcpy(s.key, agent.data(), agent.size());
}

}  // namespace tovex
