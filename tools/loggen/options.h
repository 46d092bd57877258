// Command line of tovex-loggen.

#ifndef TOVEX_TOOLS_LOGGEN_OPTIONS_H_
#define TOVEX_TOOLS_LOGGEN_OPTIONS_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace tovex::loggen {

enum class Layout { kCommon, kCombined, kMixed };

struct Options {
  uint64_t lines = 10000;
  Layout layout = Layout::kCombined;
  int months = 1;
  int start_year = 2024;
  int start_month = 1;
  uint64_t seed = 1;
  std::string out;  // empty: standard output
  std::string zone = "+0900";
  bool crlf = false;
  bool help = false;
};

// Limits that keep every time stamp a four-digit year and every count within
// the generator's 32-bit draws.
inline constexpr uint64_t kMaxLines = 4000000000ULL;
inline constexpr int kMaxMonths = 1200;
inline constexpr int kMinYear = 1000;
inline constexpr int kMaxYear = 9999;

// Parses argv into `options`. On a bad argument writes a message to `err`
// and returns false.
bool ParseOptions(int argc, const char* const* argv, Options* options,
                  std::FILE* err);

// The --help text.
void PrintUsage(std::FILE* out);

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_OPTIONS_H_
