#include "filter/line_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovex {
namespace {

constexpr std::string_view kCombined =
    "1.2.3.4 - - [10/Oct/2000:13:55:36 -0700] \"GET /a.html?q=1 HTTP/1.1\" "
    "200 2326 \"http://r/\" \"Mozilla/5.0 (bot)\"\n";

struct Want {
  std::string vhost, host, stamp, method, target;
  int status;
  bool has_agent;
  std::string agent;
};

LineFields Parse(std::string_view line) {
  LineFields f, to_status;
  ParseLineFields(line, FieldDepth::kAll, &f);
  // The status filter's depth finds the same status, and stops there.
  ParseLineFields(line, FieldDepth::kStatus, &to_status);
  EXPECT_EQ(to_status.status, f.status) << line;
  EXPECT_EQ(to_status.target, f.target) << line;
  EXPECT_FALSE(to_status.has_agent) << line;
  return f;
}

TEST(LineFieldsTest, Layouts) {
  struct Case {
    std::string line;
    Want want;
  } cases[] = {
      {std::string(kCombined),
       {"", "1.2.3.4", "10/Oct/2000:13:55:36 -0700", "GET", "/a.html?q=1", 200,
        true, "Mozilla/5.0 (bot)"}},
      // Common layout, CR LF: no agent.
      {"h - - [1/Jan/2001:0:0:0 +0] \"HEAD / HTTP/1.0\" 304 0\r\n",
       {"", "h", "1/Jan/2001:0:0:0 +0", "HEAD", "/", 304, false, ""}},
      // A virtual host, nginx's extra X-Forwarded-For after the agent.
      {"www.example.jp:443 ::1 - - [10/Oct/2000:13:55:36 +0900] \"GET / "
       "HTTP/2.0\" 404 1 \"-\" \"UA\" \"10.0.0.1\"\n",
       {"www.example.jp:443", "::1", "10/Oct/2000:13:55:36 +0900", "GET", "/",
        404, true, "UA"}},
      // Escaped quotes and backslashes inside the request and the agent.
      {"h - - [x] \"GET /a\\\"b HTTP/1.0\\\\\" 200 1 \"-\" \"a \\\"q\\\" b\"\n",
       {"", "h", "x", "GET", "/a\\\"b", 200, true, "a \\\"q\\\" b"}},
      // HTTP/0.9, a status that is not three digits, an empty request.
      {"h - - [x] \"GET /x.html\" 2000 1\n",
       {"", "h", "x", "GET", "/x.html", -1, false, ""}},
      {"h - - [x] \"-\" 400 0 \"-\" \"-\"\n",
       {"", "h", "x", "-", "", 400, true, "-"}},
      // A line cut inside the agent keeps what is left of it.
      {"h - - [x] \"GET / HTTP/1.1\" 200 1 \"-\" \"Mozilla/5.0 (Lin",
       {"", "h", "x", "GET", "/", 200, true, "Mozilla/5.0 (Lin"}},
      // No request where "] \"" does not follow the stamp.
      {"h - - [x]\"GET / HTTP/1.1\" 200 1\n",
       {"", "h", "x", "", "", -1, false, ""}},
      {"h - - x] \"GET /\n", {"", "h", "", "", "", -1, false, ""}},
      // Markup and control bytes are only bytes.
      {"<b>\x01 - - [x] \"GET /<script>\x7f\x1b HTTP/1.1\" 200 1 \"\" "
       "\"\xff\"\n",
       {"", "<b>\x01", "x", "GET", "/<script>\x7f\x1b", 200, true, "\xff"}},
  };
  for (const Case& c : cases) {
    const LineFields f = Parse(c.line);
    const Want got{std::string(f.vhost),  std::string(f.host),
                   std::string(f.stamp),  std::string(f.method),
                   std::string(f.target), f.status,
                   f.has_agent,           std::string(f.agent)};
    EXPECT_EQ(got.vhost, c.want.vhost) << c.line;
    EXPECT_EQ(got.host, c.want.host) << c.line;
    EXPECT_EQ(got.stamp, c.want.stamp) << c.line;
    EXPECT_EQ(got.method, c.want.method) << c.line;
    EXPECT_EQ(got.target, c.want.target) << c.line;
    EXPECT_EQ(got.status, c.want.status) << c.line;
    EXPECT_EQ(got.has_agent, c.want.has_agent) << c.line;
    EXPECT_EQ(got.agent, c.want.agent) << c.line;
  }
}

TEST(LineFieldsTest, UsualStamp) {
  struct Case {
    std::string stamp;
    bool usual;
    StampTime time;
  } cases[] = {
      {"10/Oct/2000:13:55:36 -0700", true, {2000, 10, 10, 13, 55, 36, -420}},
      {"29/Feb/2024:23:59:60 +0530", true, {2024, 2, 29, 23, 59, 60, 330}},
      {"29/Feb/2023:00:00:00 +0000", false, {}},  // no such day
      {"10/Oct/0000:13:55:36 -0700", false, {}},
      {"10/oct/2000:13:55:36 -0700", false, {}},  // months are exact
      {"10/Oct/2000:24:00:00 -0700", false, {}},
      {"10/Oct/2000:13:60:00 -0700", false, {}},
      {"10/Oct/2000:13:55:61 -0700", false, {}},
      {"10/Oct/2000:13:55:36 +2400", false, {}},
      {"10/Oct/2000:13:55:36 +0060", false, {}},
      {"10/Oct/2000:13:55:36 0700 ", false, {}},
      {"1/Oct/2000:13:55:36 -07000", false, {}},
  };
  for (const Case& c : cases) {
    StampTime t;
    ASSERT_EQ(ReadUsualStamp(c.stamp, &t), c.usual) << c.stamp;
    if (!c.usual) continue;
    EXPECT_EQ(
        (std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second,
                          t.offset_minutes}),
        (std::vector<int>{c.time.year, c.time.month, c.time.day, c.time.hour,
                          c.time.minute, c.time.second, c.time.offset_minutes}))
        << c.stamp;
  }
}

// Cut at every length (as a reader cuts a long line), each copy exactly
// its size on the heap for the address sanitizer: every field lies in the
// line and, once the cut keeps the stamp's "[" (and with it the virtual
// host's prefix), is the whole line's field or a head of it.
TEST(LineFieldsTest, TruncatedAtEveryLength) {
  const std::string line =
      "www.example.jp:80 " +
      std::string(kCombined.substr(0, kCombined.size() - 1)) +
      " \"x-forwarded\"\n";
  const LineFields whole = Parse(line);
  ASSERT_TRUE(whole.has_agent);
  for (size_t n = 0; n <= line.size(); ++n) {
    const std::vector<char> exact(line.begin(),
                                  line.begin() + static_cast<ptrdiff_t>(n));
    const std::string_view cut(exact.data(), n);
    const LineFields f = Parse(cut);
    for (auto [part, full] : {std::pair{f.vhost, whole.vhost},
                              {f.host, whole.host},
                              {f.stamp, whole.stamp},
                              {f.method, whole.method},
                              {f.target, whole.target},
                              {f.agent, whole.agent}}) {
      if (part.empty()) continue;
      ASSERT_GE(part.data(), cut.data()) << n;
      ASSERT_LE(part.data() + part.size(), cut.data() + cut.size()) << n;
      if (n > line.find('[')) {
        ASSERT_TRUE(full.starts_with(part)) << n << ": " << part;
      }
    }
    ASSERT_TRUE(f.status == -1 || f.status == whole.status) << n;
  }
}

}  // namespace
}  // namespace tovex
