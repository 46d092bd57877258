#include "filter/bot_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/bot_patterns.h"

namespace tovex {
namespace {

struct Instance {
  size_t pattern;
  std::string_view agent;
};

// Each pattern's example agents, as the list gives them.
constexpr Instance kInstances[] = {
#include "bot_instances.inc"
};

const BotMatcher& ListMatcher() {
  static const BotMatcher* matcher = [] {
    auto* m = new BotMatcher();
    EXPECT_EQ(m->Compile({kBotPatterns, kBotPatternCount}, kBotSetMemoryBytes),
              "");
    return m;
  }();
  return *matcher;
}

// The list's own examples catch a pattern mangled on its way into C++ or
// read differently by RE2 than by the list's JavaScript tests.
TEST(BotMatcherTest, MatchesTheListsExamples) {
  const BotMatcher& m = ListMatcher();
  EXPECT_TRUE(m.skipped().empty());
  EXPECT_GT(kBotPatternCount, 1000u);
  EXPECT_GT(std::size(kInstances), kBotPatternCount);
  for (const Instance& i : kInstances) {
    EXPECT_EQ(m.Match(i.agent), BotVerdict::kBot)
        << kBotPatterns[i.pattern] << ": " << i.agent;
  }
  for (std::string_view browser :
       {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 "
        "(KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
        "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) "
        "AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 "
        "Mobile/15E148 Safari/604.1",
        "Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 "
        "Firefox/121.0",
        "", "-"}) {
    EXPECT_EQ(m.Match(browser), BotVerdict::kHuman) << browser;
  }
}

TEST(BotMatcherTest, SkipsWhatRe2CannotParse) {
  const std::vector<std::string_view> patterns = {"a(?=b)", "x", "(a)\\1",
                                                  "y[z"};
  BotMatcher m;
  ASSERT_EQ(m.Compile(patterns, kBotSetMemoryBytes), "");
  EXPECT_EQ(m.skipped(), (std::vector<size_t>{0, 2, 3}));
  EXPECT_EQ(m.Match("..x.."), BotVerdict::kBot);
  EXPECT_EQ(m.Match("ab"), BotVerdict::kHuman);
  BotMatcher small;
  EXPECT_NE(small.Compile({kBotPatterns, kBotPatternCount}, 256 << 10), "");
}

TEST(BotVerdictCacheTest, HitsAreExact) {
  BotVerdictCache cache;
  const std::string a = "Googlebot/2.1", b = "Googlebot/2.2";
  const std::string long_agent(BotVerdictCache::kKeyBytes + 1, 'a');
  EXPECT_EQ(cache.Find(a), BotVerdict::kUnknown);
  cache.Put(a, BotVerdict::kBot);
  cache.Put(long_agent, BotVerdict::kBot);
  cache.Put("", BotVerdict::kBot);
  EXPECT_EQ(cache.Find(a), BotVerdict::kBot);
  EXPECT_EQ(cache.Find(b), BotVerdict::kUnknown);
  EXPECT_EQ(cache.Find(a.substr(1)), BotVerdict::kUnknown);
  EXPECT_EQ(cache.Find(long_agent), BotVerdict::kUnknown);
  EXPECT_EQ(cache.Find(""), BotVerdict::kUnknown);
  // More agents than slots: each lookup is still right or a miss.
  for (int i = 0; i < 3000; ++i) {
    cache.Put("agent " + std::to_string(i),
              i % 3 == 0 ? BotVerdict::kBot : BotVerdict::kHuman);
  }
  int hits = 0;
  for (int i = 0; i < 3000; ++i) {
    const BotVerdict v = cache.Find("agent " + std::to_string(i));
    if (v == BotVerdict::kUnknown) continue;
    ++hits;
    EXPECT_EQ(v, i % 3 == 0 ? BotVerdict::kBot : BotVerdict::kHuman) << i;
  }
  EXPECT_GT(hits, 100);
}

}  // namespace
}  // namespace tovex
