#include "log/log_line.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace tovex {
namespace {

constexpr std::string_view kStamp = "10/Oct/2000:13:55:36 -0700";

std::string LogLine(std::string_view request, std::string_view stamp = kStamp,
                    std::string_view host = "127.0.0.1",
                    std::string_view user = "-") {
  std::string line(host);
  line.append(" - ").append(user).append(" [").append(stamp);
  line.append("] \"").append(request).append("\" 200 2326\n");
  return line;
}

// A copy on the heap of exactly the line's size, so that the address
// sanitizer catches a read past the line's end.
class ExactLine {
 public:
  explicit ExactLine(std::string_view text)
      : size_(text.size()), bytes_(new char[text.size()]) {
    std::copy(text.begin(), text.end(), bytes_.get());
  }
  std::string_view view() const { return {bytes_.get(), size_}; }

 private:
  size_t size_;
  std::unique_ptr<char[]> bytes_;
};

bool Filter(std::string_view line) {
  return IsPageRequest(ExactLine(line).view());
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

TEST(IsPageRequestTest, Table) {
  struct Case {
    std::string line;
    bool page;
  } cases[] = {
      {LogLine("GET /index.html HTTP/1.0"), true},
      {LogLine("GET /docs/ HTTP/1.0"), true},
      {LogLine("GET /docs HTTP/1.0"), false},
      {LogLine("GET /img/logo.gif HTTP/1.0"), false},
      {LogLine("GET /a.shtm HTTP/1.0"), true},
      {LogLine("GET /a.html?x=1 HTTP/1.0"), false},
      {LogLine("GET /a.xhtml HTTP/1.0"), false},
      {LogLine("GET /a.html"), false},            // a quote follows
      {LogLine("GET /a.html\tHTTP/1.0"), false},  // only a blank ends it
      {LogLine("GET /index.html HTTP/1.0", kStamp, "h", "frank"), true},
      {"h ident frank [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\"\n",
       false},
      {"h - - [10/Oct/2000:13:55:36 -0700] \"-\" 400 0\n", false},
      {LogLine("GET /a.gif HTTP/1.0") + " \"bot/ see a.html \"\n", true},
      {LogLine("GET /a.gif HTTP/1.0", kStamp, "h", "x.html"), false},
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
  explicit Parsed(std::string_view text) : line(text) {
    ok = ParseLogLine(line.view(), &record);
  }
  ExactLine line;
  bool ok;
  LogRecord record;
};

TEST(ParseLogLineTest, HostAndPath) {
  const std::string h121(121, 'h'), h122(122, 'h');
  const std::string p121 = "/" + std::string(120, 'p');
  struct Case {
    std::string line;
    std::string host;
    std::string path;
  } cases[] = {
      {LogLine("GET /a.html?x=1&y=2 HTTP/1.0"), "127.0.0.1", "/a.html?x=1&y=2"},
      {LogLine("GET http://example.com/a.html HTTP/1.0"), "127.0.0.1",
       "//example.com/a.html"},
      {LogLine("GET / HTTP/1.0", kStamp, "2001:db8::1"), "2001:db8::1", "/"},
      {LogLine("GET / HTTP/1.0", kStamp, h121), h121, "/"},
      {LogLine("GET / HTTP/1.0", kStamp, h122), h121, "/"},
      {LogLine("GET " + p121 + "r HTTP/1.0"), "127.0.0.1", p121},
      {"h - - [10/Oct/2000:13:55:36 -0700] /a.html", "h", "/a.html"},
      // The step past "]" skips two bytes whatever they are.
      {"h - - [10/Oct/2000:13:55:36 -0700]/a /b.html \n", "h", "/b.html"},
      // Every white-space byte ends both; its neighbours do not.
      {LogLine("GET /x\ty.html HTTP/1.0", kStamp, "ab\vcd"), "ab", "/x"},
      {LogLine("GET /x\fy.html HTTP/1.0", kStamp, "ab\rcd"), "ab", "/x"},
      {LogLine("GET /x\by HTTP/1.0", kStamp, "a\x1f\x7f\xa0"), "a\x1f\x7f\xa0",
       "/x\by"},
  };
  for (const Case& c : cases) {
    Parsed p(c.line);
    ASSERT_TRUE(p.ok) << c.line;
    EXPECT_EQ(p.record.host, c.host) << c.line;
    EXPECT_EQ(p.record.path, c.path) << c.line;
    EXPECT_EQ(p.record.day, 10) << c.line;
  }
}

TEST(ParseLogLineTest, Dates) {
  auto zeros = [](size_t n) { return std::string(n, '0'); };
  struct Case {
    std::string stamp;
    bool ok;
    int year, month, day, hour, weekday;
  } cases[] = {
      {"10/Oct/2000:13:55:36", true, 2000, 10, 10, 13, 2},
      {"31/Dec/9999:23:59:59", true, 9999, 12, 31, 23, 5},
      {" 5/Jan/2001:7:00:00", true, 2001, 1, 5, 7, 5},
      {"29/Feb/2000:00:00:00", true, 2000, 2, 29, 0, 2},
      {"1/Jan/0:00:00:00", false, 0, 0, 0, 0, 0},
      {"1/Jan/10000:00:00:00", false, 0, 0, 0, 0, 0},
      {"1/Jan/-2000:00:00:00", false, 0, 0, 0, 0, 0},
      // Would be 2001 if the conversion wrapped at 32 bits.
      {"1/Jan/4294969297:00:00:00", false, 0, 0, 0, 0, 0},
      {"0/Jan/2001:00:00:00", false, 0, 0, 0, 0, 0},
      {"32/Jan/2001:00:00:00", false, 0, 0, 0, 0, 0},
      {"31/Apr/2001:00:00:00", false, 0, 0, 0, 0, 0},
      {"29/Feb/2001:00:00:00", false, 0, 0, 0, 0, 0},
      {"/Jan/2001:00:00:00", false, 0, 0, 0, 0, 0},
      {"10/Oct/2000:-1:00:00", false, 0, 0, 0, 0, 0},
      {"10/Oct/2000:24:00:00", false, 0, 0, 0, 0, 0},
      {"10/oct/2000:13:00:00", false, 0, 0, 0, 0, 0},
      {"10/Octo/2000:13:00:00", false, 0, 0, 0, 0, 0},
      // Components of 127 bytes fit, 128 do not.
      {zeros(125) + "10/Oct/2000:13:00:00", true, 2000, 10, 10, 13, 2},
      {zeros(126) + "10/Oct/2000:13:00:00", false, 0, 0, 0, 0, 0},
      {"10/Oct/2000:" + zeros(125) + "13:00:00", true, 2000, 10, 10, 13, 2},
      {"10/Oct/2000:" + zeros(126) + "13:00:00", false, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Parsed p(LogLine("GET / HTTP/1.0", c.stamp + " -0700"));
    ASSERT_EQ(p.ok, c.ok) << c.stamp;
    if (!c.ok) continue;
    const LogRecord& r = p.record;
    EXPECT_EQ(r.year * 10000 + r.month * 100 + r.day,
              c.year * 10000 + c.month * 100 + c.day)
        << c.stamp;
    EXPECT_EQ(r.hour, c.hour) << c.stamp;
    EXPECT_EQ(r.weekday, c.weekday) << c.stamp;
  }
}

TEST(ParseLogLineTest, MalformedLinesAreNotCounted) {
  const std::string cases[] = {
      "",
      std::string(" ") + LogLine("GET / HTTP/1.0"),  // empty host
      "h - - 10/Oct/2000:13:55:36 -0700 \"GET / HTTP/1.0\"\n",
      "h - - [",
      "h - - [10/Oct",
      "h - - [10/Oct/2000:13",
      "h - - [10/Oct/2000:13:55:36 -0700",
      "h - - [10/Oct/2000:13:55:36 -0700]",
      "h - - [10/Oct/2000:13:55:36 -0700] ",
      "h - - [10/Oct/2000:13:55:36 -0700] \n",
      "h/x - - [10/Oct/2000:13:55:36 -0700] \"-\" 400 0\n",
  };
  for (const std::string& line : cases) {
    EXPECT_FALSE(Parsed(line).ok) << line;
  }
}

}  // namespace
}  // namespace tovex
