// The crawler-user-agents list (github.com/monperrus/crawler-user-agents,
// MIT), compiled in at build time from filter/data/ by bot_patterns.cmake.

#ifndef TOVEX_FILTER_BOT_PATTERNS_H_
#define TOVEX_FILTER_BOT_PATTERNS_H_

#include <cstddef>
#include <iterator>
#include <string_view>

namespace tovex {

// The regular expressions of the list, in its order, matched anywhere in a
// user agent and case-sensitively, as the list means them.
extern const std::string_view kBotPatterns[];
extern const size_t kBotPatternCount;

}  // namespace tovex

#endif  // TOVEX_FILTER_BOT_PATTERNS_H_
