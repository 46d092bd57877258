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
  // Eight bytes a step: agents are a hundred bytes or more, and a byte-wise
  // hash would cost more than the rest of the line's filtering.
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  uint64_t h = agent.size() * kMultiplier;
  size_t i = 0;
  for (; i + 8 <= agent.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, agent.data() + i, 8);
    h = (h ^ word) * kMultiplier;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, agent.data() + i, agent.size() - i);
  h = (h ^ tail) * kMultiplier;
  return h ^ (h >> 32);
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
