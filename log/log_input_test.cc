#include "log/log_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/gzip_testutil.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

// A counted line of the given day, and lines that are not counted.
std::string Page(int day, const char* host = "h") {
  return std::string(host) + " - - [" + std::to_string(day) +
         "/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n";
}
const std::string kImage =
    "i - - [10/Oct/2000:13:55:36 -0700] \"GET /a.gif HTTP/1.0\" 200 1\n";

std::string ReadAll(ReadableFile* file) {
  std::string out;
  char buf[7];  // short reads cross every boundary
  while (size_t got = file->Read(buf, sizeof buf)) out.append(buf, got);
  return out;
}

class LogInputTest : public ::testing::Test {
 protected:
  // Writes `files` (name, bytes; "-" goes to standard input), opens them
  // in that order and reads the log; `*text` gets what the job would read.
  Status Open(const std::vector<std::pair<std::string, std::string>>& files,
              std::string* text = nullptr) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) {
      names.push_back(name == "-" ? name : env_.dir.path() + name);
      if (name == "-") {
        env_.fs.standard_input = bytes;
      } else {
        WriteFileOrDie(names.back(), bytes);
      }
    }
    std::unique_ptr<InputLog> log;
    TOVEX_RETURN_IF_ERROR(OpenLog(env_.context(), names, &log));
    const std::string read = ReadAll(log.get());
    if (text != nullptr) *text = read;
    return ReadFailure(*log);
  }

  FakeEnvironment env_;
};

// The format check judges every input on its own, by its first five lines
// as the job reads them. Empty logs, blank lines and user names are refused
// end to end by the reference check (tests/logs/refused-*.log).
TEST_F(LogInputTest, FormatCheck) {
  using namespace std::string_literals;
  const std::string good = Page(10);
  const std::string stamp = " - - [10/Oct/2000:13:55:36 -0700] ";
  const std::string just_fits = std::string(511 - stamp.size(), 'h') + stamp;
  struct Case {
    std::string content;
    bool is_log;
  } cases[] = {
      {good, true},
      {good.substr(0, good.size() - 1), true},
      {good + good + good + good + "garbage\n", false},
      {good + good + good + good + good + "garbage\n", true},
      {"h - - [10/Oct/2000:13:55:36 -0700] \"-\" 400 0\n" + good, true},
      {just_fits + "\"GET /\"\n" + good, true},
      {"h" + just_fits + "\"GET /\"\n" + good, false},
      {"h - - \0[10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 1\n"s + good,
       false},
      {Gzip(good + kImage), true},
      {Gzip("garbage\n"), false},
  };
  for (const Case& c : cases) {
    const Status st = Open({{"a.log", c.content}});
    EXPECT_EQ(st.code(),
              c.is_log ? Status::Code::kOk : Status::Code::kNotAccessLog)
        << c.content.substr(0, 60);
    if (!c.is_log) {
      EXPECT_EQ(st.path(), env_.dir.path() + "a.log");
    }
  }
}

// Several inputs are one log: empty ones passed over with a note, the rest
// oldest first by their first counted line (ties in the order given, none
// last), each from that line on, each ending with a line end of its own
// (the last one too). Of a long line that a stream's head held, its first
// 512 bytes are kept: still too long, it counts by the same head.
TEST_F(LogInputTest, SeveralInputsAreOneLog) {
  const std::string long_tail = Page(9).substr(0, 40) + std::string(600, 'x');
  std::string text;
  ASSERT_TRUE(Open({{"images.log", kImage + kImage},
                    {"late.log",
                     kImage + Page(20) + kImage.substr(0, kImage.size() - 1)},
                    {"empty.log", ""},
                    {"-", Page(9, "s") + long_tail},
                    {"early.gz", Gzip(Page(3) + Page(4)) + Gzip(Page(5))},
                    {"tie.log", Page(9, "t")}},
                   &text)
                  .ok());
  EXPECT_EQ(text, Page(3) + Page(4) + Page(5) + Page(9, "s") +
                      long_tail.substr(0, 512) + "\n" + Page(9, "t") +
                      Page(20) + kImage);
  EXPECT_EQ(env_.messages.warnings.size(), 1u);
  EXPECT_NE(env_.messages.warnings[0].find("empty.log"), std::string::npos);

  EXPECT_EQ(Open({{"a.log", ""}, {"b.gz", Gzip("")}}).code(),
            Status::Code::kNotAccessLog);
}

TEST_F(LogInputTest, BrokenInputsNameTheInputAndTheReason) {
  std::string lines;
  for (int i = 0; i < 3000; ++i) {
    lines += Page(i % 28 + 1, std::to_string(i * 7919).c_str());
  }
  const std::string gz = Gzip(lines);
  std::string corrupt = gz;
  corrupt[gz.size() / 2] ^= 0x55;
  // The last one breaks off within the lines the format check reads.
  const std::string short_gz = Gzip(Page(1) + Page(2));
  for (const std::string& content :
       {gz.substr(0, gz.size() - 10), corrupt, gz + "trailing",
        short_gz.substr(0, short_gz.size() / 2)}) {
    const Status st = Open({{"a.gz", content}});
    EXPECT_EQ(st.code(), Status::Code::kCorruptInput);
    EXPECT_EQ(st.path(), env_.dir.path() + "a.gz");
    EXPECT_FALSE(st.detail().empty());
  }
  // A read error of a compressed input is no corrupt stream.
  for (const auto& [name, content] :
       {std::pair{"a.log", Page(1) + Page(2)}, {"b.gz", gz}}) {
    env_.fs.fail_read = name;
    env_.fs.fail_after = 30;
    EXPECT_EQ(Open({{name, content}}).code(), Status::Code::kCannotRead);
  }
  std::unique_ptr<InputLog> log;
  const Status st = OpenLog(env_.context(), {env_.dir.path() + "none"}, &log);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
}

}  // namespace
}  // namespace tovex
