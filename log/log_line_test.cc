#include "log/log_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "log/line_reader.h"

namespace tovex {
namespace {

constexpr std::string_view kStamp = "10/Oct/2000:13:55:36 -0700";

std::string LogLine(std::string_view request, std::string_view stamp = kStamp,
                    std::string_view host = "127.0.0.1") {
  std::string line(host);
  line.append(" - - [").append(stamp);
  line.append("] \"").append(request).append("\" 200 2326\n");
  return line;
}

// Parses and filters a copy on the heap of exactly the line's size, so that
// the address sanitizer catches a read past the line's end.
using ExactLine = std::vector<char>;

bool Filter(std::string_view line) {
  const ExactLine exact(line.begin(), line.end());
  return IsPageRequest({exact.data(), exact.size()});
}

// The filter written down step by step: a byte-by-byte match count, then
// the substring searches in their order. The fast filter must agree.
bool ReferenceFilter(std::string_view line) {
  size_t count = 0;
  size_t i = 0;
  for (; i < line.size() && count < RequestPattern.size(); ++i) {
    if (line[i] == RequestPattern[count]) ++count;
  }
  if (count < RequestPattern.size()) return false;
  std::string_view rest = line.substr(i);
  if (rest.find("/ ") != rest.npos) return true;
  if (rest.find("htm") == rest.npos) return false;
  for (std::string_view suffix : {".htm ", ".html ", ".shtm ", ".shtml "}) {
    if (rest.find(suffix) != rest.npos) return true;
  }
  return false;
}

// Cases the logs of tests/logs do not hold (directories, suffixes, queries,
// user names and markers after the request are checked end to end there).
TEST(IsPageRequestTest, Table) {
  struct Case {
    std::string line;
    bool page;
  } cases[] = {
      {LogLine("GET /index.html HTTP/1.0"), true},
      {LogLine("GET /a.xhtml HTTP/1.0"), false},
      {LogLine("GET /a.html\tHTTP/1.0"), false},  // only a blank ends it
      {"h - x.html [10/Oct/2000:13:55:36 -0700] \"GET /a.gif\"\n", false},
      {"h - - [10/Oct/2000:13:55:36 -0700] .html \n", true},
      {"h - - \"GET / HTTP/1.0\"\n", false},
      {"h - - [10/Oct/2000:13:55:36 -0700] \"GET / ", true},
      {"h - - [10/Oct/2000:13:55:36 -0700] ", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Filter(c.line), c.page) << c.line;
    EXPECT_EQ(ReferenceFilter(c.line), c.page) << "reference: " << c.line;
  }
  EXPECT_FALSE(IsPageRequest(std::string_view()));
}

// Random lines built from the bytes that matter, with markers at every
// distance from the time stamp and from the ends of sixteen-byte blocks.
TEST(IsPageRequestTest, AgreesWithReferenceOnRandomLines) {
  std::mt19937 rng(20001010);
  const std::string_view alphabet = " -[/:].shtmlx\t\"";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 70);
  int pages = 0;
  for (int n = 0; n < 200000; ++n) {
    std::string line;
    if (n % 2 == 0) line = "h - - [1/Jan/2001:0:0:0 +0] ";
    for (int k = length(rng); k > 0; --k) line += alphabet[pick(rng)];
    bool expected = ReferenceFilter(line);
    pages += expected;
    ASSERT_EQ(Filter(line), expected) << "'" << line << "'";
  }
  EXPECT_GT(pages, 1000);  // the lines do reach the suffix tests
}

// The outcome of a parse, with the line the record's views point into.
struct Parsed {
  explicit Parsed(std::string_view text) : line(text.begin(), text.end()) {
    ok = ParseLogLine({line.data(), line.size()}, &record);
  }
  ExactLine line;
  bool ok;
  LogRecord record;
};

// Long fields, odd hosts and paths, invalid dates and leap years are checked
// end to end (tests/logs/long-fields.log, invalid-dates.log, edge-cases.log,
// leap-february.log); here what those logs do not reach.
TEST(ParseLogLineTest, Fields) {
  const std::string day127 = std::string(125, '0') + std::string(kStamp);
  struct Case {
    std::string line;
    std::string host;
    std::string path;
  } cases[] = {
      {"h - - [10/Oct/2000:13:55:36 -0700] /a.html", "h", "/a.html"},
      // The step past "]" skips two bytes whatever they are.
      {"h - - [10/Oct/2000:13:55:36 -0700]/a /b.html \n", "h", "/b.html"},
      // Every white-space byte ends both; its neighbours do not.
      {LogLine("GET /x\ty.html HTTP/1.0", kStamp, "ab\vcd"), "ab", "/x"},
      {LogLine("GET /x\fy.html HTTP/1.0", kStamp, "ab\rcd"), "ab", "/x"},
      {LogLine("GET /x\by HTTP/1.0", kStamp, "a\x1f\x7f\xa0"), "a\x1f\x7f\xa0",
       "/x\by"},
      {LogLine("GET / HTTP/1.0", day127), "127.0.0.1", "/"},  // still fits
      // Past the first sixteen bytes, and a control byte that is not space.
      {LogLine("GET /" + std::string(20, 'p') + "\x01q\fr.html HTTP/1.0",
               kStamp, std::string(17, 'h') + "\x1f\ri"),
       std::string(17, 'h') + "\x1f", "/" + std::string(20, 'p') + "\x01q"},
  };
  for (const Case& c : cases) {
    Parsed p(c.line);
    const LogRecord& r = p.record;
    ASSERT_TRUE(p.ok) << c.line;
    EXPECT_EQ(r.host, c.host) << c.line;
    EXPECT_EQ(r.path, c.path) << c.line;
    EXPECT_EQ((std::vector<int>{r.year, r.month, r.day, r.hour}),
              (std::vector<int>{2000, 10, 10, 13}))
        << c.line;
  }
}

// Every cut before the path's "/" leaves a line that does not count (and no
// scan reads past the cut), as does a date component over 127 bytes.
TEST(ParseLogLineTest, MalformedLinesAreNotCounted) {
  const std::string full = LogLine("GET / HTTP/1.0");
  for (size_t n = 0; n <= full.find("/ "); ++n) {
    EXPECT_FALSE(Parsed(full.substr(0, n)).ok) << n;
  }
  EXPECT_TRUE(Parsed(full.substr(0, full.find("/ ") + 1)).ok);
  const std::string day128 = std::string(126, '0') + std::string(kStamp);
  EXPECT_FALSE(Parsed(LogLine("GET / HTTP/1.0", day128)).ok);
}

// The one-pass reading gives what the filter and the parser give apart:
// on usual lines with each byte from the host's end to past the time stamp
// replaced by each byte that matters, cut at every length, and with hosts
// that end in other white space or reach the field limit.
TEST(ParseCountedLineTest, AgreesWithFilterAndParser) {
  const std::string_view bytes = " -[/:]+9\t\n";
  std::vector<std::string> lines;
  for (const std::string& host :
       {std::string("h"), std::string("a\tb"), std::string(121, 'h'),
        std::string(122, 'h')}) {
    for (std::string_view request : {"GET /a.html HTTP/1.0", "GET /a.gif"}) {
      const std::string usual = LogLine(request, kStamp, host);
      for (size_t n = 0; n <= usual.size(); ++n) {
        lines.push_back(usual.substr(0, n));
      }
      const size_t from = usual.find(" - - [");
      for (size_t i = from; i < from + 40; ++i) {
        for (char b : bytes) {
          lines.push_back(usual);
          lines.back()[i] = b;
        }
      }
    }
  }
  int counted = 0;
  for (const std::string& text : lines) {
    const ExactLine exact(text.begin(), text.end());
    const std::string_view line(exact.data(), exact.size());
    LogRecord fast, apart;
    const bool ok = ParseCountedLine(line, &fast);
    ASSERT_EQ(ok, IsPageRequest(line) && ParseLogLine(line, &apart)) << text;
    if (!ok) continue;
    ++counted;
    EXPECT_EQ(fast.host, apart.host) << text;
    EXPECT_EQ(fast.path, apart.path) << text;
    EXPECT_EQ(
        (std::vector<int>{fast.year, fast.month, fast.day, fast.hour}),
        (std::vector<int>{apart.year, apart.month, apart.day, apart.hour}))
        << text;
  }
  EXPECT_GT(counted, 100);
}

// A line read after a virtual host's prefix gives what the same line
// without it gives; anything short of the prefix's shape is read as before.
TEST(VirtualHostTest, PrefixIsReadOnlyWhereThreeFieldsFollow) {
  const std::string common = LogLine("GET / HTTP/1.0", kStamp, "1.2.3.4");
  struct Case {
    std::string line;
    std::string vhost;  // empty: the line is read as it stands
  } cases[] = {
      {"www.example.jp:80 " + common, "www.example.jp:80"},
      {"[2001:db8::1]:443 " + LogLine("GET / HTTP/1.0", kStamp, "::1"),
       "[2001:db8::1]:443"},
      {"h:65535 " + common, "h:65535"},
      {"h:123456 " + common, ""},  // a port has at most five digits
      {":80 " + common, ""},       // no name
      {"h: " + common, ""},        // no port
      {"h:8x " + common, ""},
      {"h:80  " + common, ""},  // an empty field
      {"h:80 " + LogLine("GET / HTTP/1.0", kStamp, "a b"), ""},  // four
      {"h:80 1.2.3.4 - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\"\n",
       ""},  // two
      {"h:80 1.2.3.4 - -[10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\"\n",
       ""},
      {"a\tb:80 " + common, ""},
      {std::string(118, 'h') + ":80 " + common, std::string(118, 'h') + ":80"},
      {std::string(119, 'h') + ":80 " + common, ""},  // over kMaxFieldBytes
      // An IPv6 client of the common layout is no virtual host.
      {LogLine("GET / HTTP/1.0", kStamp, "2001:db8::80"), ""},
  };
  for (const Case& c : cases) {
    const ExactLine exact(c.line.begin(), c.line.end());
    const std::string_view line(exact.data(), exact.size());
    const size_t prefix = c.vhost.empty() ? 0 : c.vhost.size() + 1;
    EXPECT_EQ(VirtualHostPrefixBytes(line), prefix) << c.line;
    LogRecord got, alone;
    const std::string_view rest = line.substr(prefix);
    const bool ok = ParseCountedLine(line, &got);
    ASSERT_EQ(ok, ParseCountedLine(rest, &alone)) << c.line;
    EXPECT_EQ(ok, IsPageRequest(line) && ParseLogLine(line, &got)) << c.line;
    if (!ok) continue;
    EXPECT_EQ(got.vhost, c.vhost) << c.line;
    EXPECT_EQ(got.host, alone.host) << c.line;
    EXPECT_EQ(got.path, alone.path) << c.line;
  }
}

// The prefix's rule changes the reading of no line of the hand-made and the
// real logs: none of them has a line that looks like one.
TEST(VirtualHostTest, NoLineOfTheTestLogsHasThePrefix) {
  namespace fs = std::filesystem;
  int logs = 0;
  for (const char* dir : {TOVEX_SOURCE_DIR "/tests/logs", TOVEX_REAL_LOGS_DIR}) {
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
      if (e.path().extension() != ".log") continue;
      std::ifstream in(e.path(), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)), {});
      LineReader lines(text, kMaxLogLineBytes);
      std::string_view line;
      while (lines.Next(&line)) {
        ASSERT_EQ(VirtualHostPrefixBytes(line), 0u) << e.path() << ": " << line;
      }
      ++logs;
    }
  }
  EXPECT_GT(logs, 10);
}

}  // namespace
}  // namespace tovex
