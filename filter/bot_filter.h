// Which user agents are crawlers: the compiled-in crawler-user-agents list
// as one RE2::Set, and a fixed-size cache of verdicts, since a log's agents
// repeat far more than they differ.

#ifndef TOVEX_FILTER_BOT_FILTER_H_
#define TOVEX_FILTER_BOT_FILTER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}  // namespace re2

namespace tovex {

// RE2's memory for the set: its program and its matcher's cache of
// states. RE2 compiles the list only within about 1.6 MB (it wants room
// for a few states of the largest size); 2 MB leaves a margin. The cache
// fills only as new agents are matched, and the verdict cache keeps those
// few, so the set stays near its program's 0.4 MB (bench/README.md).
inline constexpr int64_t kBotSetMemoryBytes = 2 << 20;

enum class BotVerdict { kHuman, kBot, kUnknown };

class BotMatcher {
 public:
  BotMatcher();
  ~BotMatcher();
  BotMatcher(const BotMatcher&) = delete;
  BotMatcher& operator=(const BotMatcher&) = delete;

  // Compiles `patterns` (unanchored, case-sensitive) into one set within
  // `max_mem` bytes. A pattern RE2 cannot parse (look-arounds, back
  // references) is left out and its index kept in skipped(). Returns an
  // empty text, or why the set could not be compiled (over `max_mem`).
  std::string Compile(std::span<const std::string_view> patterns,
                      int64_t max_mem);

  // Whether `agent` matches a pattern; kUnknown when RE2's matcher ran out
  // of memory. Safe to call from several threads at once.
  // REQUIRES: Compile succeeded.
  BotVerdict Match(std::string_view agent) const;

  // Indices into the patterns given to Compile, ascending.
  const std::vector<size_t>& skipped() const { return skipped_; }

 private:
  class Set;
  std::unique_ptr<Set> set_;
  std::vector<size_t> skipped_;
};

// Verdicts of recent user agents, for one thread: direct-mapped slots
// holding the whole agent, so that a hit is exact. Fixed size, no
// allocation after construction; a slot's memory becomes resident only
// once it is used.
class BotVerdictCache {
 public:
  // Slots of the cache; the real logs at hand have at most a few hundred
  // agents among their page requests.
  static constexpr size_t kSlots = 256;
  // Agents longer than this are matched every time; hardly one in twenty
  // is.
  static constexpr size_t kKeyBytes = 240;

  BotVerdictCache();

  // The agent's cached verdict, or kUnknown.
  BotVerdict Find(std::string_view agent) const;
  // Keeps `verdict` (not kUnknown) for `agent` when it fits a slot.
  void Put(std::string_view agent, BotVerdict verdict);

 private:
  struct Slot {
    uint64_t hash;
    uint8_t size;  // key bytes, 0 for an empty slot (an empty agent is
                   // never cached)
    bool bot;
    char key[kKeyBytes];
  };
  struct Free {
    void operator()(Slot* slots) const;
  };
  static uint64_t Hash(std::string_view agent);

  // Zeroed by calloc, which leaves fresh pages untouched.
  std::unique_ptr<Slot[], Free> slots_;
};

}  // namespace tovex

#endif  // TOVEX_FILTER_BOT_FILTER_H_
