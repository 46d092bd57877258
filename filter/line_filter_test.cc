#include "filter/line_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log/line_reader.h"
#include "platform/posix_platform.h"

namespace tovex {
namespace {

std::string Line(std::string_view request,
                 std::string_view stamp = "10/Oct/2000:13:55:36 -0700",
                 std::string_view host = "192.0.2.1",
                 std::string_view after = " 200 1 \"-\" \"Mozilla/5.0\"") {
  return std::string(host) + " - - [" + std::string(stamp) + "] \"" +
         std::string(request) + "\"" + std::string(after) + "\n";
}

std::unique_ptr<LineFilter> Make(const FilterOptions& options) {
  PosixFileSystem fs;
  std::unique_ptr<LineFilter> filter;
  const FilterError error = LineFilter::Create(options, &fs, &filter);
  EXPECT_TRUE(error.ok()) << error.text;
  return filter;
}

// Judge on a copy of `text` in `*out`, which the record's views then point
// into.
bool Judge(const LineFilter& f, FilterState* state, std::string_view text,
           LogRecord* record, std::string* out) {
  out->assign(text);
  size_t size = out->size();
  const bool counted = f.Judge(out->data(), &size, record, state);
  EXPECT_LE(size, text.size());
  out->resize(size);  // shrinking keeps the storage
  return counted;
}

// A rewrite gives what the main rule gives on the line the server would
// have written.
TEST(LineFilterTest, RewritesAreTheLineAsIfWrittenSo) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/Asia/Tokyo")) {
    GTEST_SKIP() << "no zoneinfo";
  }
  FilterOptions options;
  options.time_zone = "Asia/Tokyo";
  options.query_pages = true;
  options.decode_paths = true;
  const auto f = Make(options);
  ASSERT_TRUE(f->active());
  struct Case {
    std::string line, want;
  } cases[] = {
      {Line("GET /?ref=tw HTTP/1.1"),
       Line("GET / HTTP/1.1", "11/Oct/2000:05:55:36 +0900")},
      {Line("GET /%E3%83%96%E3%83%AD%E3%82%B0/?a=%E3%83%96 HTTP/1.1"),
       Line("GET /\u30d6\u30ed\u30b0/ HTTP/1.1", "11/Oct/2000:05:55:36 +0900")},
      {Line("GET /a.html#x HTTP/1.1", "31/Dec/2023:23:59:59 +0000"),
       Line("GET /a.html HTTP/1.1", "01/Jan/2024:08:59:59 +0900")},
      // A stamp outside the usual layout is taken as written.
      {Line("GET / HTTP/1.1", "1/Jan/2001:0:0:0 +0"),
       Line("GET / HTTP/1.1", "1/Jan/2001:0:0:0 +0")},
      {Line("GET / HTTP/1.1", "31/Feb/2001:00:00:00 +0000"),
       Line("GET / HTTP/1.1", "31/Feb/2001:00:00:00 +0000")},
      // Outside the usual layout the offset's "-" was the main rule's dash:
      // moved to +0900, the line no longer counts.
      {"h x y [10/Oct/2000:13:55:36 -0700] \"GET\" [a/b/c:d:e:f] /x/ \n",
       "h x y [11/Oct/2000:05:55:36 +0900] \"GET\" [a/b/c:d:e:f] /x/ \n"},
      // The virtual host's prefix stays.
      {"v:80 " + Line("GET /x/?y HTTP/1.1"),
       "v:80 " + Line("GET /x/ HTTP/1.1", "11/Oct/2000:05:55:36 +0900")},
  };
  FilterState state(*f);
  for (const Case& c : cases) {
    LogRecord got, want;
    std::string rewritten;
    const bool counted = Judge(*f, &state, c.line, &got, &rewritten);
    EXPECT_EQ(rewritten, c.want) << c.line;
    ASSERT_EQ(counted, ParseCountedLine(c.want, &want)) << c.line;
    if (!counted) continue;
    EXPECT_EQ(got.path, want.path) << c.line;
    EXPECT_EQ(got.day * 100 + got.hour, want.day * 100 + want.hour) << c.line;
  }
  EXPECT_EQ(state.counts().queries_cut, 4);
  EXPECT_EQ(state.counts().paths_decoded, 1);
  // A moment a stamp cannot spell in the zone leaves the line out.
  LogRecord r;
  std::string out;
  EXPECT_FALSE(Judge(*f, &state,
                     Line("GET / HTTP/1.1", "31/Dec/9999:23:00:00 +0000"), &r,
                     &out));
  EXPECT_EQ(state.counts().time_range, 1);
}

TEST(LineFilterTest, Exclusions) {
  FilterOptions options;
  options.vhost = "WWW.example.jp";
  options.methods = {"GET"};
  options.statuses = {"2xx"};
  options.exclude_hosts = {"198.51.100.0/24"};
  options.exclude_bots = true;
  const auto f = Make(options);
  const std::string v = "www.example.jp:443 ";
  struct Case {
    std::string line;
    bool counted;
  } cases[] = {
      {v + Line("GET / HTTP/1.1"), true},
      {"www.example.jp:80 " + Line("GET / HTTP/1.1"), true},
      {"other.jp:443 " + Line("GET / HTTP/1.1"), false},  // vhost
      {Line("GET / HTTP/1.1"), false},                    // no vhost
      {v + Line("POST / HTTP/1.1"), false},               // method
      {v + Line("GET / HTTP/1.1", "10/Oct/2000:13:55:36 -0700", "h",
                " 404 1 \"-\" \"-\""),
       false},  // status
      {v + Line("GET / HTTP/1.1", "10/Oct/2000:13:55:36 -0700", "198.51.100.9"),
       false},  // host
      {v + Line("GET / HTTP/1.1", "10/Oct/2000:13:55:36 -0700", "h",
                " 200 1 \"-\" \"Googlebot/2.1\""),
       false},  // bot
      {v + Line("GET / HTTP/1.1", "10/Oct/2000:13:55:36 -0700", "h",
                " 200 1 \"-\" \"Googlebot/2.1\""),
       false},  // cached
      {v + Line("GET / HTTP/1.1", "10/Oct/2000:13:55:36 -0700", "h", " 200 1"),
       true},                                    // no agent
      {v + Line("GET /a.gif HTTP/1.1"), false},  // no page
  };
  FilterState state(*f);
  for (const Case& c : cases) {
    LogRecord r;
    std::string out;
    EXPECT_EQ(Judge(*f, &state, c.line, &r, &out), c.counted) << c.line;
    EXPECT_EQ(out, c.line);
  }
  const FilterCounts& n = state.counts();
  EXPECT_EQ((std::vector<int64_t>{n.vhost, n.methods, n.statuses, n.hosts,
                                  n.bots, n.agentless, n.left_out()}),
            (std::vector<int64_t>{2, 1, 1, 1, 2, 1, 7}));
  // With a port, only that port.
  options = {};
  options.vhost = "www.example.jp:80";
  const auto port = Make(options);
  FilterState port_state(*port);
  LogRecord r;
  std::string out;
  EXPECT_FALSE(Judge(*port, &port_state, v + Line("GET / HTTP/1.1"), &r, &out));
}

TEST(LineFilterTest, UsageErrorsNameTheOption) {
  struct Case {
    void (*set)(FilterOptions*);
    FilterOption option;
  } cases[] = {
      {[](FilterOptions* o) { o->exclude_hosts = {"10.0.0.0/33"}; },
       FilterOption::kExcludeHosts},
      {[](FilterOptions* o) { o->statuses = {"2xx,7xx"}; },
       FilterOption::kStatuses},
      {[](FilterOptions* o) { o->methods = {"GET,"}; }, FilterOption::kMethods},
      {[](FilterOptions* o) { o->vhost = "a b"; }, FilterOption::kVhost},
      {[](FilterOptions* o) { o->time_zone = "Mars/Olympus"; },
       FilterOption::kTimeZone},
      {[](FilterOptions* o) { o->time_zone = "+09:00"; },
       FilterOption::kTimeZone},
  };
  PosixFileSystem fs;
  for (const Case& c : cases) {
    FilterOptions options;
    c.set(&options);
    std::unique_ptr<LineFilter> filter;
    const FilterError e = LineFilter::Create(options, &fs, &filter);
    EXPECT_EQ(e.option, c.option) << e.text;
    EXPECT_FALSE(e.text.empty());
    EXPECT_EQ(filter, nullptr);
  }
  const auto none = Make({});
  EXPECT_FALSE(none->active());
}

// Spellings of the same options share a fingerprint; other options, or the
// same with another value, do not.
TEST(LineFilterTest, FingerprintIsCanonical) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/Japan")) {
    GTEST_SKIP() << "no zoneinfo";
  }
  using Set = void (*)(FilterOptions*);
  const std::vector<std::vector<Set>> groups = {
      {[](FilterOptions*) {}},
      {[](FilterOptions* o) { o->exclude_hosts = {"10.0.0.0/8,*.Example.jp"}; },
       [](FilterOptions* o) {
         o->exclude_hosts = {"*.example.jp", "10.0.0.0/8,10.0.0.0/8"};
       }},
      {[](FilterOptions* o) {
         o->exclude_hosts = {"::ffff:10.0.0.1,2001:db8::"};
       },
       [](FilterOptions* o) {
         o->exclude_hosts = {"2001:DB8:0::0/128,10.0.0.1"};
       }},
      {[](FilterOptions* o) { o->statuses = {"2xx,304"}; },
       [](FilterOptions* o) {
         o->statuses = {"304", "200,2xx"};
       }},
      {[](FilterOptions* o) { o->statuses = {"2xx"}; }},
      {[](FilterOptions* o) { o->methods = {"GET,HEAD"}; },
       [](FilterOptions* o) {
         o->methods = {"HEAD", "GET,GET"};
       }},
      {[](FilterOptions* o) { o->vhost = "Example.jp"; },
       [](FilterOptions* o) { o->vhost = "example.JP"; }},
      {[](FilterOptions* o) { o->vhost = "example.jp:80"; }},
      {[](FilterOptions* o) { o->time_zone = "Japan"; },
       [](FilterOptions* o) { o->time_zone = "Asia/Tokyo"; }},
      {[](FilterOptions* o) { o->time_zone = "+0900"; }},
      {[](FilterOptions* o) { o->time_zone = "-0000"; },
       [](FilterOptions* o) { o->time_zone = "+0000"; }},
      {[](FilterOptions* o) { o->exclude_bots = true; }},
      {[](FilterOptions* o) { o->query_pages = true; }},
      {[](FilterOptions* o) { o->decode_paths = true; }},
      {[](FilterOptions* o) {
        o->query_pages = o->decode_paths = true;
        o->methods = {"GET"};
      }},
  };
  std::vector<std::string> seen;
  for (const std::vector<Set>& group : groups) {
    std::string first;
    for (size_t i = 0; i < group.size(); ++i) {
      FilterOptions options;
      group[i](&options);
      const std::string text = Make(options)->Fingerprint();
      if (i == 0) first = text;
      EXPECT_EQ(text, first) << "spelling " << i << " of " << first;
    }
    EXPECT_EQ(first.empty(), seen.empty()) << first;  // only no options
    EXPECT_EQ(std::count(seen.begin(), seen.end(), first), 0) << first;
    seen.push_back(first);
  }
}

// Over the hand-made and real logs: without options Judge is the main rule;
// every rewrite is idempotent (a line rewritten once is already what the
// server would have written) and never longer.
TEST(LineFilterTest, RealLogs) {
  FilterOptions options;
  options.query_pages = true;
  options.decode_paths = true;
  options.time_zone = "+0900";
  const auto plain = Make({});
  const auto f = Make(options);
  FilterState plain_state(*plain), state(*f);
  int64_t lines = 0, cut = 0;
  for (const char* dir :
       {TOVEX_SOURCE_DIR "/tests/logs", TOVEX_REAL_LOGS_DIR}) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      if (e.path().extension() != ".log") continue;
      std::ifstream in(e.path(), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)), {});
      LineReader reader(text, kMaxLogLineBytes);
      std::string_view line;
      while (reader.Next(&line)) {
        ++lines;
        LogRecord a, b;
        std::string once, twice;
        ASSERT_EQ(Judge(*plain, &plain_state, std::string(line), &a, &once),
                  ParseCountedLine(line, &b));
        Judge(*f, &state, std::string(line), &a, &once);
        Judge(*f, &state, once, &b, &twice);
        ASSERT_EQ(once, twice) << e.path();
        cut += once.size() < line.size();
      }
    }
  }
  // The real logs are beside the checkout on developers' machines and CI.
  if (std::filesystem::is_directory(TOVEX_REAL_LOGS_DIR)) {
    EXPECT_GT(lines, 50000);
    EXPECT_GT(cut, 1000);
  }
}

}  // namespace
}  // namespace tovex
