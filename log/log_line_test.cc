#include "log/log_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

TEST(IsPageRequestTest, Requests) {
  struct Case {
    const char* request;
    bool page;
  } cases[] = {
      {"GET /index.html HTTP/1.0", true},
      {"GET / HTTP/1.0", true},
      {"GET /docs/ HTTP/1.0", true},
      {"GET /docs HTTP/1.0", false},
      {"GET /img/logo.gif HTTP/1.0", false},
      {"GET /a.htm HTTP/1.0", true},
      {"GET /a.shtm HTTP/1.0", true},
      {"GET /a.shtml HTTP/1.0", true},
      {"GET /a.html?x=1 HTTP/1.0", false},
      {"GET /A.HTML HTTP/1.0", false},
      {"GET /a.htmx HTTP/1.0", false},
      {"GET /a.htmll HTTP/1.0", false},
      {"GET /a.xhtml HTTP/1.0", false},
      {"GET /ahtml HTTP/1.0", false},
      {"GET /a.html", false},            // no protocol: a quote follows
      {"GET /a.html\tHTTP/1.0", false},  // only a blank ends the suffix
      {"GET http://example.com/ HTTP/1.0", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Filter(LogLine(c.request)), c.page) << c.request;
  }
}

TEST(IsPageRequestTest, Lines) {
  struct Case {
    const char* name;
    std::string line;
    bool page;
  } cases[] = {
      {"user name in the user field",
       LogLine("GET /index.html HTTP/1.0", kStamp, "h", "frank"), true},
      {"names in ident and user fields",
       "h ident frank [10/Oct/2000:13:55:36 -0700] \"GET /index.html "
       "HTTP/1.0\" 200 1\n",
       false},
      {"lone dash request, status 400",
       "h - - [10/Oct/2000:13:55:36 -0700] \"-\" 400 0\n", false},
      {"marker in a later field",
       LogLine("GET /a.gif HTTP/1.0") + " \"-\" \"bot/ see a.html \"\n", true},
      {"marker only before the time stamp",
       LogLine("GET /a.gif HTTP/1.0", kStamp, "h", "x.html"), false},
      {"marker right at the start of the rest",
       "h - - [10/Oct/2000:13:55:36 -0700] .html \n", true},
      {"no time stamp", "h - - \"GET / HTTP/1.0\"\n", false},
      {"line end cut off", "h - - [10/Oct/2000:13:55:36 -0700] \"GET / ", true},
      {"pattern without anything after it",
       "h - - [10/Oct/2000:13:55:36 -0700] ", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Filter(c.line), c.page) << c.name;
    EXPECT_EQ(ReferenceFilter(c.line), c.page) << "reference: " << c.name;
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

Parsed Parse(std::string_view text) { return Parsed(text); }

TEST(ParseLogLineTest, WorkedExample) {
  Parsed p = Parse(
      "127.0.0.1 - frank [10/Oct/2000:13:55:36 -0700] \"GET /index.html "
      "HTTP/1.0\" 200 2326\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.record.host, "127.0.0.1");
  EXPECT_EQ(p.record.path, "/index.html");
  EXPECT_EQ(p.record.year, 2000);
  EXPECT_EQ(p.record.month, 10);
  EXPECT_EQ(p.record.day, 10);
  EXPECT_EQ(p.record.hour, 13);
  EXPECT_EQ(p.record.weekday, 2);
}

TEST(ParseLogLineTest, HostAndPath) {
  const std::string h121(121, 'h'), h122(122, 'h');
  const std::string p120 = "/" + std::string(119, 'p');
  const std::string p121 = p120 + "q", p122 = p121 + "r";
  struct Case {
    const char* name;
    std::string line;
    std::string host;
    std::string path;
  } cases[] = {
      {"query string kept", LogLine("GET /a.html?x=1&y=2 HTTP/1.0"),
       "127.0.0.1", "/a.html?x=1&y=2"},
      {"full address", LogLine("GET http://example.com/a.html HTTP/1.0"),
       "127.0.0.1", "//example.com/a.html"},
      {"IPv6 host", LogLine("GET / HTTP/1.0", kStamp, "2001:db8::1"),
       "2001:db8::1", "/"},
      {"host of 121 bytes", LogLine("GET / HTTP/1.0", kStamp, h121), h121, "/"},
      {"host of 122 bytes", LogLine("GET / HTTP/1.0", kStamp, h122), h121, "/"},
      {"path of 121 bytes", LogLine("GET " + p121 + " HTTP/1.0"), "127.0.0.1",
       p121},
      {"path of 122 bytes", LogLine("GET " + p122 + " HTTP/1.0"), "127.0.0.1",
       p121},
      {"path at the line end", "h - - [10/Oct/2000:13:55:36 -0700] /a.html",
       "h", "/a.html"},
      {"path before CR LF", "h - - [10/Oct/2000:13:55:36 -0700] /a.html\r\n",
       "h", "/a.html"},
      // The step past "]" skips two bytes whatever they are.
      {"slash right after the bracket",
       "h - - [10/Oct/2000:13:55:36 -0700]/a /b.html \n", "h", "/b.html"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.line);
    ASSERT_TRUE(p.ok) << c.name;
    EXPECT_EQ(p.record.host, c.host) << c.name;
    EXPECT_EQ(p.record.path, c.path) << c.name;
    EXPECT_EQ(p.record.day, 10) << c.name;
  }
}

// A host cut at its limit leaves the search for "[" inside the host text; a
// shorter host is passed over whole.
TEST(ParseLogLineTest, SearchForStampStartsWhereTheHostStops) {
  const std::string stamp_in_host = "[2/Feb/2002:03:";
  Parsed cut = Parse(
      LogLine("GET / HTTP/1.0", kStamp, std::string(121, 'h') + stamp_in_host));
  ASSERT_TRUE(cut.ok);
  EXPECT_EQ(cut.record.host, std::string(121, 'h'));
  EXPECT_EQ(cut.record.year, 2002);
  EXPECT_EQ(cut.record.day, 2);
  EXPECT_EQ(cut.record.hour, 3);

  Parsed whole = Parse(LogLine("GET / HTTP/1.0", kStamp, "h" + stamp_in_host));
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(whole.record.host, "h" + stamp_in_host);
  EXPECT_EQ(whole.record.year, 2000);
}

TEST(ParseLogLineTest, WhiteSpaceEndsHostAndPath) {
  for (char space : {' ', '\t', '\n', '\v', '\f', '\r'}) {
    std::string host = std::string("ab") + space + "cd";
    std::string path = std::string("/x") + space + "y.html";
    Parsed p = Parse(LogLine("GET " + path + " HTTP/1.0", kStamp, host));
    ASSERT_TRUE(p.ok) << int{space};
    EXPECT_EQ(p.record.host, "ab") << int{space};
    EXPECT_EQ(p.record.path, "/x") << int{space};
  }
  // Neighbours of the white-space bytes belong to the name.
  for (char other : {'\b', '\x0e', '\x1f', '\x7f', '\x85', '\x89', '\xa0'}) {
    std::string host = std::string("ab") + other + "cd";
    Parsed p = Parse(LogLine("GET /" + host + " HTTP/1.0", kStamp, host));
    ASSERT_TRUE(p.ok) << int{other};
    EXPECT_EQ(p.record.host, host) << int{other};
    EXPECT_EQ(p.record.path, "/" + host) << int{other};
  }
}

TEST(ParseLogLineTest, DateEdges) {
  auto zeros = [](size_t n) { return std::string(n, '0'); };
  struct Case {
    std::string stamp;
    bool ok;
    int year, month, day, hour;
  } cases[] = {
      {"1/Jan/0:00:00:00", false, 0, 0, 0, 0},
      {"1/Jan/1:00:00:00", true, 1, 1, 1, 0},
      {"31/Dec/9999:23:59:59", true, 9999, 12, 31, 23},
      {"1/Jan/10000:00:00:00", false, 0, 0, 0, 0},
      {"1/Jan/-2000:00:00:00", false, 0, 0, 0, 0},
      // Would be 2001 if the conversion wrapped at 32 bits.
      {"1/Jan/4294969297:00:00:00", false, 0, 0, 0, 0},
      {"0/Jan/2001:00:00:00", false, 0, 0, 0, 0},
      {"1/Jan/2001:00:00:00", true, 2001, 1, 1, 0},
      {"31/Jan/2001:00:00:00", true, 2001, 1, 31, 0},
      {"32/Jan/2001:00:00:00", false, 0, 0, 0, 0},
      {"30/Apr/2001:00:00:00", true, 2001, 4, 30, 0},
      {"31/Apr/2001:00:00:00", false, 0, 0, 0, 0},
      {"29/Feb/2000:00:00:00", true, 2000, 2, 29, 0},
      {"29/Feb/1900:00:00:00", false, 0, 0, 0, 0},
      {"29/Feb/2004:00:00:00", true, 2004, 2, 29, 0},
      {"29/Feb/2001:00:00:00", false, 0, 0, 0, 0},
      {"28/Feb/2001:00:00:00", true, 2001, 2, 28, 0},
      {"-1/Jan/2001:00:00:00", false, 0, 0, 0, 0},
      {"/Jan/2001:00:00:00", false, 0, 0, 0, 0},
      {" 5/Jan/2001:7:00:00", true, 2001, 1, 5, 7},
      {"10/Oct/2000:-1:00:00", false, 0, 0, 0, 0},
      {"10/Oct/2000:23:00:00", true, 2000, 10, 10, 23},
      {"10/Oct/2000:24:00:00", false, 0, 0, 0, 0},
      {"10/oct/2000:13:00:00", false, 0, 0, 0, 0},
      {"10/Octo/2000:13:00:00", false, 0, 0, 0, 0},
      {"10//2000:13:00:00", false, 0, 0, 0, 0},
      // Components of 127 bytes fit, 128 do not.
      {zeros(125) + "10/Oct/2000:13:00:00", true, 2000, 10, 10, 13},
      {zeros(126) + "10/Oct/2000:13:00:00", false, 0, 0, 0, 0},
      {"10/Oct/" + zeros(123) + "2000:13:00:00", true, 2000, 10, 10, 13},
      {"10/Oct/" + zeros(124) + "2000:13:00:00", false, 0, 0, 0, 0},
      {"10/Oct/2000:" + zeros(125) + "13:00:00", true, 2000, 10, 10, 13},
      {"10/Oct/2000:" + zeros(126) + "13:00:00", false, 0, 0, 0, 0},
      {"10/" + std::string(128, 'O') + "/2000:13:00:00", false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(LogLine("GET / HTTP/1.0", c.stamp + " -0700"));
    ASSERT_EQ(p.ok, c.ok) << c.stamp;
    if (!c.ok) continue;
    EXPECT_EQ(p.record.year, c.year) << c.stamp;
    EXPECT_EQ(p.record.month, c.month) << c.stamp;
    EXPECT_EQ(p.record.day, c.day) << c.stamp;
    EXPECT_EQ(p.record.hour, c.hour) << c.stamp;
  }
}

TEST(ParseLogLineTest, MonthNames) {
  const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) {
    std::string stamp = std::string("1/") + names[m - 1] + "/2001:00:00:00 +0";
    Parsed p = Parse(LogLine("GET / HTTP/1.0", stamp));
    ASSERT_TRUE(p.ok) << stamp;
    EXPECT_EQ(p.record.month, m);
  }
}

TEST(ParseLogLineTest, MalformedLinesAreNotCounted) {
  struct Case {
    const char* name;
    std::string line;
  } cases[] = {
      {"empty line", ""},
      {"starts with a blank (empty host)", " " + LogLine("GET / HTTP/1.0")},
      {"no bracket", "h - - 10/Oct/2000:13:55:36 -0700 \"GET / HTTP/1.0\"\n"},
      {"ends after the bracket", "h - - ["},
      {"ends in the day", "h - - [10"},
      {"ends in the month", "h - - [10/Oct"},
      {"ends in the year", "h - - [10/Oct/2000"},
      {"ends in the hour", "h - - [10/Oct/2000:13"},
      {"no closing bracket", "h - - [10/Oct/2000:13:55:36 -0700"},
      {"ends at the closing bracket", "h - - [10/Oct/2000:13:55:36 -0700]"},
      {"ends one byte past it", "h - - [10/Oct/2000:13:55:36 -0700] "},
      {"nothing after the time stamp", "h - - [10/Oct/2000:13:55:36 -0700] \n"},
      {"lone dash request, no slash after the time stamp",
       "h/x - - [10/Oct/2000:13:55:36 -0700] \"-\" 400 0\n"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Parse(c.line).ok) << c.name;
  }
  LogRecord record;
  EXPECT_FALSE(ParseLogLine(std::string_view(), &record));
}

// Whatever the bytes, an accepted line yields values the page writers can
// index with, and names that read back from a work-file record.
TEST(ParseLogLineTest, AcceptedRecordsAreInRange) {
  std::mt19937 rng(31);
  const std::vector<std::string> parts = {
      " ",  "\t", "[",  "]",     "/",   ":",    "-",    "Feb",    "Oct", "oct",
      "0",  "1",  "29", "31",    "24",  "2000", "1900", "99999",  "h",   "x",
      "\"", "\r", "\n", "-0700", "GET", " /",   "/ ",   "a.html", "9"};
  std::uniform_int_distribution<size_t> pick(0, parts.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  int accepted = 0;
  for (int n = 0; n < 100000; ++n) {
    std::string line = n % 3 == 0 ? "h [1/Feb/2000:" : "";
    for (int k = length(rng); k > 0; --k) line += parts[pick(rng)];
    Parsed p = Parse(line);
    if (!p.ok) continue;
    ++accepted;
    const LogRecord& r = p.record;
    ASSERT_GE(r.year, 1) << line;
    ASSERT_LE(r.year, 9999) << line;
    ASSERT_GE(r.month, 1) << line;
    ASSERT_LE(r.month, 12) << line;
    ASSERT_GE(r.day, 1) << line;
    ASSERT_LE(r.day, DaysInMonth(r.year, r.month)) << line;
    ASSERT_GE(r.hour, 0) << line;
    ASSERT_LE(r.hour, 23) << line;
    ASSERT_GE(r.weekday, 0) << line;
    ASSERT_LE(r.weekday, 6) << line;
    ASSERT_FALSE(r.host.empty()) << line;
    ASSERT_LE(r.host.size(), kMaxFieldBytes) << line;
    ASSERT_LE(r.path.size(), kMaxFieldBytes) << line;
    ASSERT_EQ(r.path.substr(0, 1), "/") << line;
    for (std::string_view name : {r.host, r.path}) {
      ASSERT_EQ(name.find_first_of(" \t\n\v\f\r"), name.npos) << line;
    }
  }
  EXPECT_GT(accepted, 100);
}

TEST(DaysInMonthTest, Table) {
  struct Case {
    int year, month, days;
  } cases[] = {
      {2001, 2, 28}, {2001, 4, 30}, {2001, 12, 31},
      {1900, 2, 28}, {2000, 2, 29}, {2004, 2, 29},
      {2100, 2, 28}, {2001, 0, -1}, {2001, 13, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
  }
}

TEST(WeekdayOfTest, WorkedValues) {
  struct Case {
    int year, month, day, weekday;
  } cases[] = {
      {2001, 1, 1, 1},  {2000, 2, 29, 2},  {2000, 10, 10, 2}, {1999, 12, 31, 5},
      {2001, 3, 0, 3},  {2001, 2, 29, -1}, {2001, 4, 31, -1}, {2001, 13, 0, -1},
      {2001, 0, 1, -1}, {1, 1, 1, 1},      {9999, 12, 31, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WeekdayOf(c.year, c.month, c.day), c.weekday)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(WeekdayOfTest, AgreesWithTheGregorianCalendar) {
  using namespace std::chrono;
  for (int y = 1; y <= 9999; ++y) {
    for (unsigned m = 1; m <= 12; ++m) {
      const int last = DaysInMonth(y, static_cast<int>(m));
      const year_month_day_last ymdl(year{y}, month_day_last(month{m}));
      ASSERT_EQ(last, static_cast<int>(static_cast<unsigned>(ymdl.day())))
          << y << "-" << m;
      for (unsigned d = 1; d <= static_cast<unsigned>(last); ++d) {
        const int expected = static_cast<int>(
            weekday(sys_days(year_month_day(year{y}, month{m}, day{d})))
                .c_encoding());
        const int got = WeekdayOf(y, static_cast<int>(m), static_cast<int>(d));
        if (got != expected) {
          FAIL() << y << "-" << m << "-" << d << ": " << got << " instead of "
                 << expected;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tovex
