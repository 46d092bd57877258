#include "options.h"

#include <cstring>
#include <string_view>

namespace tovex::loggen {
namespace {

bool ParseUnsigned(std::string_view text, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool ParseStart(std::string_view text, Options* o) {
  uint64_t year = 0;
  uint64_t month = 0;
  if (text.size() != 7 || text[4] != '-' ||
      !ParseUnsigned(text.substr(0, 4), kMaxYear, &year) ||
      !ParseUnsigned(text.substr(5, 2), 12, &month) || year < kMinYear ||
      month < 1) {
    return false;
  }
  o->start_year = static_cast<int>(year);
  o->start_month = static_cast<int>(month);
  return true;
}

bool ParseZone(std::string_view text, Options* o) {
  if (text.size() != 5 || (text[0] != '+' && text[0] != '-')) return false;
  for (char c : text.substr(1)) {
    if (c < '0' || c > '9') return false;
  }
  o->zone = std::string(text);
  return true;
}

bool ParseLayout(std::string_view text, Options* o) {
  if (text == "common") {
    o->layout = Layout::kCommon;
  } else if (text == "combined") {
    o->layout = Layout::kCombined;
  } else if (text == "mixed") {
    o->layout = Layout::kMixed;
  } else {
    return false;
  }
  return true;
}

// Applies option `name` with `value`; false when the value is bad.
bool Apply(std::string_view name, std::string_view value, Options* o) {
  uint64_t n = 0;
  if (name == "--lines") {
    if (!ParseUnsigned(value, kMaxLines, &n)) return false;
    o->lines = n;
  } else if (name == "--months") {
    if (!ParseUnsigned(value, kMaxMonths, &n) || n < 1) return false;
    o->months = static_cast<int>(n);
  } else if (name == "--seed") {
    if (!ParseUnsigned(value, UINT64_MAX, &n)) return false;
    o->seed = n;
  } else if (name == "--start") {
    return ParseStart(value, o);
  } else if (name == "--layout") {
    return ParseLayout(value, o);
  } else if (name == "--zone") {
    return ParseZone(value, o);
  } else if (name == "--out") {
    if (value.empty()) return false;
    o->out = std::string(value);
  }
  return true;
}

bool TakesValue(std::string_view name) {
  for (std::string_view known : {"--lines", "--months", "--seed", "--start",
                                 "--layout", "--zone", "--out"}) {
    if (name == known) return true;
  }
  return false;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options,
                  std::FILE* err) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options->help = true;
      continue;
    }
    if (arg == "--crlf") {
      options->crlf = true;
      continue;
    }
    std::string_view name = arg;
    std::string_view value;
    bool has_value = false;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    if (!TakesValue(name)) {
      std::fprintf(err, "tovex-loggen: unknown option %s (see --help)\n",
                   argv[i]);
      return false;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        std::fprintf(err, "tovex-loggen: %s needs a value\n", argv[i]);
        return false;
      }
      value = argv[++i];
    }
    if (!Apply(name, value, options)) {
      std::fprintf(err, "tovex-loggen: bad value for %.*s: %.*s\n",
                   static_cast<int>(name.size()), name.data(),
                   static_cast<int>(value.size()), value.data());
      return false;
    }
  }
  const int last =
      options->start_year * 12 + options->start_month - 1 + options->months - 1;
  if (last / 12 > kMaxYear) {
    std::fprintf(err, "tovex-loggen: the months run past the year %d\n",
                 kMaxYear);
    return false;
  }
  return true;
}

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: tovex-loggen [options]\n"
      "Writes a made-up but realistic web-server access log. The same options\n"
      "always give the same bytes.\n"
      "\n"
      "  --lines N        number of lines (default 10000)\n"
      "  --layout L       common, combined or mixed (line by line); default\n"
      "                   combined\n"
      "  --months M       months the log spans (default 1)\n"
      "  --start YYYY-MM  first month (default 2024-01)\n"
      "  --seed S         seed of everything random (default 1)\n"
      "  --zone +HHMM     time-zone text of the stamps (default +0900)\n"
      "  --crlf           end lines with CR LF instead of LF\n"
      "  --out FILE       write to FILE instead of standard output\n"
      "  --help           this text\n"
      "\n"
      "The sample of the repository:\n"
      "  tovex-loggen --lines 5500 --layout mixed --months 4 --start 2024-11 "
      "--seed 20241101 --out samples/sample.log\n",
      out);
}

}  // namespace tovex::loggen
