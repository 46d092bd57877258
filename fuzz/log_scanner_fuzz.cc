// The two-thread log scanner against a single-threaded reading of the same
// bytes (a differential target: any difference is a crash).
//
// Input: a byte k, then k % 8 bytes of read sizes (fuzz_util.h ReadSizes),
// then the log. The scanner and a LineReader both read the log in reads of
// those sizes; a LineReader over the whole text is the reference.
//
// Checks: the same counted lines in the same order (host, path, date); the
// scanner reports every byte read and every line the reference saw; it
// stays at the end once there.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "log/line_reader.h"
#include "log/log_line.h"
#include "log/log_scanner.h"

namespace tovex::fuzz {
namespace {

struct Counted {
  std::string host, path;
  int year, month, day, hour;
  bool operator==(const Counted&) const = default;
};

Counted Copy(const LogRecord& r) {
  return {
      std::string(r.host), std::string(r.path), r.year, r.month, r.day, r.hour};
}

struct Pass {
  std::vector<Counted> counted;
  int64_t lines = 0;
};

Pass Reference(LineReader* lines) {
  Pass pass;
  std::string_view line;
  LogRecord r;
  while (lines->Next(&line)) {
    FUZZ_CHECK(line.size() <= kMaxLogLineBytes);
    ++pass.lines;
    if (IsPageRequest(line) && ParseLogLine(line, &r)) {
      pass.counted.push_back(Copy(r));
    }
  }
  return pass;
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  std::string_view text = AsText(data, size);
  if (text.empty()) return -1;
  const size_t k = static_cast<unsigned char>(text[0]) % 8;
  if (text.size() < 1 + k) return -1;
  const std::vector<size_t> sizes = ReadSizes(text.substr(1, k));
  const std::string log(text.substr(1 + k));

  LineReader whole(log, kMaxLogLineBytes);
  const Pass want = Reference(&whole);
  StringFile choppy_lines(log, sizes);
  LineReader read(&choppy_lines, kMaxLogLineBytes);
  const Pass read_pass = Reference(&read);
  FUZZ_CHECK(read_pass.counted == want.counted);
  FUZZ_CHECK(read_pass.lines == want.lines);
  FUZZ_CHECK(read.bytes_read() == log.size());

  // The reading on either thread.
  const bool read_on_worker = (static_cast<unsigned char>(text[0]) & 8) != 0;
  StringFile choppy_scan(log, sizes);
  LogScanner scanner(&choppy_scan, {}, kScanBlockBytes, false, read_on_worker);
  std::vector<Counted> got;
  LogRecord r;
  while (scanner.Next(&r)) {
    FUZZ_CHECK(got.size() < want.counted.size());
    got.push_back(Copy(r));
    FUZZ_CHECK(got.back() == want.counted[got.size() - 1]);
  }
  FUZZ_CHECK(got.size() == want.counted.size());
  FUZZ_CHECK(!scanner.Next(&r));
  FUZZ_CHECK(scanner.bytes_read() == log.size());
  FUZZ_CHECK(scanner.lines() == want.lines);
  return 0;
}
