#include "log/log_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log_line.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

const std::string kGood =
    "127.0.0.1 - - [10/Oct/2000:13:55:36 -0700] \"GET /a.gif HTTP/1.0\" 200 "
    "2326\n";

std::string Repeat(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

// A combined line whose user agent takes it to `bytes` bytes, "\n" included.
std::string CombinedLine(size_t bytes) {
  std::string line =
      "10.0.0.1 - - [17/May/2015:10:05:03 +0000] \"GET /index.html HTTP/1.1\" "
      "200 7697 \"http://example.com/\" \"Mozilla/5.0 ";
  line.append(bytes - line.size() - 2, 'x');
  return line + "\"\n";
}

class IsAccessLogTest : public ::testing::Test {
 protected:
  // Writes `content` to a file and checks it. The verdict must not depend
  // on what the caller's flag held before.
  bool Check(const std::string& content) {
    std::string path = env_.dir.path() + "access.log";
    WriteFileOrDie(path, content);
    bool from_true = true, from_false = false;
    EXPECT_TRUE(IsAccessLog(env_.context(), path, &from_true).ok());
    EXPECT_TRUE(IsAccessLog(env_.context(), path, &from_false).ok());
    EXPECT_EQ(from_true, from_false);
    return from_false;
  }

  FakeEnvironment env_;
};

TEST_F(IsAccessLogTest, Files) {
  using namespace std::string_literals;
  const std::string user =
      "h - frank [10/Oct/2000:13:55:36 -0700] \"GET / "
      "HTTP/1.0\" 200 1\n";
  const std::string dash = "h - - [10/Oct/2000:13:55:36 -0700] \"-\" 400 0\n";
  // The time stamp's closing blank exactly at the line's 511th byte, and one
  // byte further.
  const std::string stamp = " - - [10/Oct/2000:13:55:36 -0700] ";
  const std::string just_fits = std::string(511 - stamp.size(), 'h') + stamp;
  const std::string one_over = "h" + just_fits;
  struct Case {
    const char* name;
    std::string content;
    bool is_log;
  } cases[] = {
      {"empty file", "", false},
      {"one line", kGood, true},
      {"one line without line end", kGood.substr(0, kGood.size() - 1), true},
      {"four lines, fifth bad", Repeat(kGood, 4) + "garbage\n", false},
      {"five lines, sixth bad", Repeat(kGood, 5) + "garbage\n", true},
      {"user name in the first line", user + Repeat(kGood, 2), false},
      {"lone-dash request", dash + kGood, true},
      {"blank first line", "\n" + kGood, false},
      {"no blank after the time stamp",
       "h - - [10/Oct/2000:13:55:36 -0700]\n" + kGood, false},
      {"comment line", "# comment\n" + kGood, false},
      {"CR LF lines",
       "h - - [10/Oct/2000:13:55:36 -0700] \"GET / "
       "HTTP/1.0\" 200 1\r\n" +
           kGood,
       true},
      {"first line over 511 bytes", CombinedLine(700) + Repeat(kGood, 2), true},
      {"long first line, bad second", CombinedLine(700) + "garbage\n", false},
      {"time stamp ends at byte 511", just_fits + "\"GET /\"\n" + kGood, true},
      {"time stamp ends at byte 512", one_over + "\"GET /\"\n" + kGood, false},
      {"NUL before the time stamp",
       "h - - \0[10/Oct/2000:13:55:36 -0700] "
       "\"GET / HTTP/1.0\" 200 1\n"s +
           kGood,
       false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.content), c.is_log) << c.name;
  }
}

TEST_F(IsAccessLogTest, MissingFileCannotBeOpened) {
  std::string path = env_.dir.path() + "missing.log";
  bool is_log = false;
  Status status = IsAccessLog(env_.context(), path, &is_log);
  EXPECT_EQ(status.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(status.path(), path);
}

// Every real log passes but the one that starts with "#" comments.
TEST_F(IsAccessLogTest, RealLogs) {
  const std::string dir = TOVEX_REAL_LOGS_DIR;
  std::vector<DirEntry> logs = env_.fs.List(dir, "*.log");
  if (logs.empty()) GTEST_SKIP() << "no real logs in " << dir;
  for (const DirEntry& entry : logs) {
    if (entry.is_directory) continue;
    bool is_log = false;
    Status status =
        IsAccessLog(env_.context(), dir + "/" + entry.name, &is_log);
    ASSERT_TRUE(status.ok()) << entry.name;
    EXPECT_EQ(is_log, entry.name != "awstats-testglobal-2001-01.log")
        << entry.name;
  }
}

}  // namespace
}  // namespace tovex
