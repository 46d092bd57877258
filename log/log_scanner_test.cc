#include "log/log_scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "log/line_reader.h"
#include "platform/testing/string_file.h"

namespace tovex {
namespace {

// A counted line as text, so that results compare by value.
std::string Describe(const LogRecord& r) {
  std::ostringstream out;
  out << r.host << '|' << r.path << '|' << r.year << '-' << r.month << '-'
      << r.day << ' ' << r.hour;
  return out.str();
}

// What a single-threaded pass over the same bytes counts.
std::vector<std::string> Expected(const std::string& log) {
  StringFile file(log);
  LineReader lines(&file, kMaxLogLineBytes);
  std::vector<std::string> out;
  std::string_view line;
  LogRecord r;
  while (lines.Next(&line)) {
    if (IsPageRequest(line) && ParseLogLine(line, &r))
      out.push_back(Describe(r));
  }
  return out;
}

// A judge that rewrites in place (the host's first letter in upper case)
// and leaves out the lines of even days, counting what it saw.
class UpperJudge : public LineJudge {
 public:
  bool Judge(char* line, size_t* size, LogRecord* record) override {
    ++judged;
    if (*size > 0 && line[0] == 'h') line[0] = 'H';
    return ParseCountedLine(std::string_view(line, *size), record) &&
           record->day % 2 == 1;
  }
  int64_t judged = 0;
};

// What a single-threaded pass over the same bytes counts: through a judge
// when `judge`.
std::vector<std::string> Expected(const std::string& log, bool judge) {
  if (!judge) return Expected(log);
  StringFile file(log);
  LineReader lines(&file, kMaxLogLineBytes);
  UpperJudge upper;
  std::vector<std::string> out;
  std::string_view line;
  LogRecord r;
  while (lines.Next(&line)) {
    std::string copy(line);
    size_t size = copy.size();
    if (upper.Judge(copy.data(), &size, &r)) out.push_back(Describe(r));
  }
  return out;
}

std::vector<std::string> Scanned(const std::string& log, size_t read_chunk,
                                 size_t block_bytes = kScanBlockBytes,
                                 bool judge = false,
                                 bool read_on_worker = false) {
  StringFile file(log, read_chunk);
  UpperJudge scanning, reading;
  LogScanner scanner(&file,
                     judge ? ScanJudges{&scanning, &reading} : ScanJudges{},
                     block_bytes, /*drop_unended=*/false, read_on_worker);
  std::vector<std::string> out;
  LogRecord r;
  while (scanner.Next(&r)) out.push_back(Describe(r));
  EXPECT_FALSE(scanner.Next(&r));  // stays at the end
  EXPECT_EQ(scanner.bytes_read(), log.size());
  // Every line is judged once, by one thread or the other.
  if (judge) {
    EXPECT_EQ(scanning.judged + reading.judged, scanner.lines());
  }
  return out;
}

std::string PageLine(uint64_t n) {
  std::ostringstream line;
  line << 'h' << n % 97 << ".example.com - - [" << n % 28 + 1
       << "/Mar/2001:10:00:00 +0900] \"GET /p" << n % 13
       << ".html HTTP/1.0\" 200 1";
  return line.str();
}

// Lines of many lengths around the places where the scanner cuts: short
// lines, lines near the 511-byte limit, lines longer than a block, a NUL,
// lines that do not count, blank lines.
std::string MixedLog(uint64_t seed, size_t target_bytes) {
  std::string log;
  std::mt19937_64 next(seed);
  while (log.size() < target_bytes) {
    const uint64_t kind = next() % 20;
    std::string line = PageLine(next());
    if (kind == 0) {
      // Padded to sit right at the line limit, a byte or two either side.
      size_t want = kMaxLogLineBytes - 2 + next() % 5;
      line +=
          std::string(want > line.size() + 1 ? want - line.size() - 1 : 0, 'u');
    } else if (kind == 1) {
      line += std::string(next() % 3000, 'x');  // long user agent
    } else if (kind == 2) {
      line += std::string(kScanBlockBytes + next() % 1000, 'y');
    } else if (kind == 3) {
      line.insert(next() % line.size(), 1, '\0');
    } else if (kind == 4) {
      line = "GET /img.gif junk";
    } else if (kind == 5) {
      line.clear();
    } else if (kind <= 8) {
      // A long host moves the page marker to around the line limit, where
      // a cut in the wrong place changes whether the line counts.
      line.insert(0, std::string(330 + next() % 120, 'a'));
    }
    log += line + "\n";
  }
  return log;
}

TEST(LogScannerTest, CountsWhatASingleThreadedPassCounts) {
  struct Case {
    uint64_t seed;
    size_t bytes;
    size_t read_chunk;
    size_t block_bytes = kScanBlockBytes;
    bool judge = false;  // through UpperJudge
  } cases[] = {
      {1, 0, SIZE_MAX},
      {2, 3 * kScanBlockBytes, SIZE_MAX},
      {3, 3 * kScanBlockBytes, 4096},
      {4, 5 * kScanBlockBytes, 511},
      {5, 2 * kScanBlockBytes, 1},
      {6, 8 * kScanBlockBytes, 100000},
      {7, 3 * kScanBlockBytes, 4096, kScanBlockBytes / 2},
      {8, 6 * kScanBlockBytes, 100000, kScanBlockBytes, true},
      {9, 2 * kScanBlockBytes, 511, kMaxLogLineBytes + 1, true},
  };
  // Read by the caller, and by the scanning thread ahead of its scans.
  for (const bool worker : {false, true}) {
    for (const Case& c : cases) {
      std::string log = MixedLog(c.seed, c.bytes);
      EXPECT_EQ(Scanned(log, c.read_chunk, c.block_bytes, c.judge, worker),
                Expected(log, c.judge))
          << "seed " << c.seed << " worker " << worker;
      // Without the final line end, the last line still counts.
      if (!log.empty()) {
        log.pop_back();
        EXPECT_EQ(Scanned(log, c.read_chunk, c.block_bytes, c.judge, worker),
                  Expected(log, c.judge))
            << "seed " << c.seed << " worker " << worker;
      }
    }
  }
}

TEST(LogScannerTest, LongLinesAtBlockEdges) {
  // An over-long line whose head is a page request, placed so that its end
  // falls at, before and after the end of the first block.
  const std::string head = PageLine(7) + " ";
  for (long shift : {-600L, -512L, -511L, -1L, 0L, 1L, 511L, 512L, 600L}) {
    std::string log;
    while (log.size() + 200 < kScanBlockBytes - 2000)
      log += PageLine(log.size()) + "\n";
    const size_t end =
        static_cast<size_t>(static_cast<long>(kScanBlockBytes) + shift);
    std::string long_line =
        head + std::string(end - log.size() - head.size(), 'z');
    log += long_line + "\n" + PageLine(3) + "\n";
    EXPECT_EQ(Scanned(log, SIZE_MAX), Expected(log)) << "shift " << shift;
  }
}

TEST(LogScannerTest, StopsCleanlyWhenDroppedEarly) {
  std::string log = MixedLog(9, 6 * kScanBlockBytes);
  for (const bool worker : {false, true}) {
    StringFile file(log);
    LogScanner scanner(&file, {}, kScanBlockBytes, false, worker);
    LogRecord r;
    ASSERT_TRUE(scanner.Next(&r));
    // The destructor stops the scanning thread mid-log.
  }
}

}  // namespace
}  // namespace tovex
