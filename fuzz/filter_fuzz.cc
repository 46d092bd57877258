// The line filter's field parser and rewrites on one line of arbitrary
// bytes (the first byte picks the options and the zone).
//
// Checks: every field lies in the line; a rewrite never makes the line
// longer, and decoding never adds an ASCII byte (so no white space, NUL,
// control byte or "/"), and a second decoding changes nothing; Judge
// gives exactly what the main rule gives on the line rewritten in full by
// the public rewrites (which shows that rewriting only counted lines loses
// nothing), and judging its own output again changes neither the line nor
// the outcome.

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "filter/line_fields.h"
#include "filter/line_filter.h"
#include "filter/rewrite.h"
#include "filter/time_zone.h"
#include "fuzz/fuzz_util.h"
#include "log/log_line.h"
#include "platform/posix_platform.h"

namespace tovex::fuzz {
namespace {

constexpr const char* kZones[] = {"+0900", "-1130", "+0000", "-0000"};

void CheckInside(std::string_view line, std::string_view field) {
  if (field.empty()) return;
  FUZZ_CHECK(field.data() >= line.data());
  FUZZ_CHECK(field.data() + field.size() <= line.data() + line.size());
}

std::array<size_t, 128> AsciiCounts(std::string_view s) {
  std::array<size_t, 128> n{};
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 128) ++n[static_cast<size_t>(c)];
  }
  return n;
}

// The line as the options mean it, by the public rewrites alone.
std::string RewriteInFull(std::string line, bool query, bool decode,
                          const TimeZone* zone) {
  size_t size = line.size();
  LineFields f;
  ParseLineFields(line, FieldDepth::kTarget, &f);
  if (query) {
    CutQuery(line.data(), &size, f.target);
    line.resize(size);
    ParseLineFields(line, FieldDepth::kTarget, &f);
  }
  StampTime t;
  if (zone != nullptr && ReadUsualStamp(f.stamp, &t)) {
    StampTime minute = t, local;
    minute.second = 0;
    const int64_t utc = StampToUtc(minute);
    const int32_t offset = zone->OffsetAt(utc);
    if (!UtcToStamp(utc, offset, &local)) return std::string();
    local.second = t.second;
    WriteStamp(local, line.data() + (f.stamp.data() - line.data()));
  }
  if (decode) {
    DecodeUtf8Escapes(line.data(), &size, f.target);
    line.resize(size);
  }
  return line;
}

void CheckFields(std::string_view line) {
  LineFields f;
  ParseLineFields(line, FieldDepth::kAll, &f);
  for (std::string_view v :
       {f.vhost, f.host, f.stamp, f.request, f.method, f.target, f.agent}) {
    CheckInside(line, v);
  }
  FUZZ_CHECK(f.status == -1 || (f.status >= 0 && f.status <= 999));
  FUZZ_CHECK(f.host.size() <= kMaxFieldBytes);
}

void CheckDecoding(std::string_view line) {
  LineFields f;
  std::string copy(line);
  ParseLineFields(copy, FieldDepth::kTarget, &f);
  size_t size = copy.size();
  const std::array<size_t, 128> before = AsciiCounts(copy);
  DecodeUtf8Escapes(copy.data(), &size, f.target);
  FUZZ_CHECK(size <= line.size());
  copy.resize(size);
  const std::array<size_t, 128> after = AsciiCounts(copy);
  for (size_t c = 0; c < 128; ++c) FUZZ_CHECK(after[c] <= before[c]);
  ParseLineFields(copy, FieldDepth::kTarget, &f);
  FUZZ_CHECK(DecodeUtf8Escapes(copy.data(), &size, f.target) == 0);
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  if (size == 0) return 0;
  const uint8_t control = data[0];
  std::string_view line = fuzz::AsText(data + 1, size - 1);
  if (line.size() > kMaxLogLineBytes) line = line.substr(0, kMaxLogLineBytes);
  // An exact copy on the heap, so that a read past its end is seen.
  const std::unique_ptr<char[]> exact(new char[line.size() + 1]);
  std::memcpy(exact.get(), line.data(), line.size());
  line = std::string_view(exact.get(), line.size());
  fuzz::CheckFields(line);
  fuzz::CheckDecoding(line);

  FilterOptions options;
  options.query_pages = (control & 1) != 0;
  options.decode_paths = (control & 2) != 0;
  if ((control & 4) != 0) options.time_zone = fuzz::kZones[(control >> 3) & 3];
  static PosixFileSystem fs;
  std::unique_ptr<LineFilter> filter;
  FUZZ_CHECK(LineFilter::Create(options, &fs, &filter).ok());
  TimeZone zone;
  if (!options.time_zone.empty()) {
    FUZZ_CHECK(LoadTimeZone(&fs, "", options.time_zone, &zone).empty());
  }
  FilterState state(*filter);
  std::string once(line);
  size_t n = once.size();
  LogRecord got;
  const bool counted = filter->Judge(once.data(), &n, &got, &state);
  FUZZ_CHECK(n <= line.size());
  once.resize(n);

  const std::string full = fuzz::RewriteInFull(
      std::string(line), options.query_pages, options.decode_paths,
      options.time_zone.empty() ? nullptr : &zone);
  LogRecord want;
  FUZZ_CHECK(counted == (!full.empty() && ParseCountedLine(full, &want)));
  if (counted) {
    FUZZ_CHECK(once == full);
    FUZZ_CHECK(got.host == want.host && got.path == want.path &&
               got.vhost == want.vhost);
    FUZZ_CHECK(got.year == want.year && got.month == want.month &&
               got.day == want.day && got.hour == want.hour);
  }
  std::string twice = once;
  size_t m = twice.size();
  LogRecord again;
  FUZZ_CHECK(filter->Judge(twice.data(), &m, &again, &state) == counted);
  FUZZ_CHECK(std::string_view(twice.data(), m) == once || !counted);
  return 0;
}
