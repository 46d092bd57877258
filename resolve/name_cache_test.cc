#include "resolve/name_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix_platform.h"
#include "platform/testing/fake_platform.h"
#include "platform/testing/string_file.h"

namespace tovex {
namespace {

// Every entry of a cache text as "address time value" lines, then the
// reader's status.
std::string ReadAll(const std::string& text) {
  std::unique_ptr<NameCacheReader> reader;
  Status s = NameCacheReader::Open(std::make_unique<StringFile>(text, 7),
                                   "names", &reader);
  if (!s.ok()) return "open: " + s.detail();
  std::string out;
  NameEntry e;
  while (reader->Next(&e)) {
    out += std::string(e.address) + " " + std::to_string(e.time) + " " +
           std::to_string(static_cast<int>(e.outcome)) + std::string(e.name) +
           "\n";
  }
  return out + (reader->status().ok() ? "ok" : reader->status().detail());
}

TEST(NameCacheTest, RoundTripLeavesOutWhatTheReaderWouldRefuse) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string path = dir.path() + "names";
  NameCacheWriter writer(
      fs.OpenFolder(dir.path(), nullptr)->CreateNew("names", nullptr), path);
  const NameEntry entries[] = {
      {"192.0.2.1", 100, NameOutcome::kConfirmed, "one.test"},
      {"192.0.2.1", 100, NameOutcome::kNoName, {}},       // not above
      {"192.0.2.10", 100, NameOutcome::kUnanswered, {}},  // never stored
      {"192.0.2.2", 100, NameOutcome::kConfirmed, "Up.test"},
      {"192.0.2.3", 100, NameOutcome::kConfirmed, "<b>.test"},
      {"192.0.2.4", -1, NameOutcome::kNoName, {}},
      {"example.jp", 100, NameOutcome::kNoName, {}},
      {"192.0.2.5", 101, NameOutcome::kNoName, {}},
      {"192.0.2.6", 102, NameOutcome::kUnconfirmed, {}},
      {"2001:db8::1", 103, NameOutcome::kBadName, {}},
  };
  for (const NameEntry& e : entries) ASSERT_TRUE(writer.Take(e).ok());
  ASSERT_TRUE(writer.Close().ok());
  EXPECT_EQ(writer.entries(), 4u);
  EXPECT_EQ(writer.left_out(), 5u);
  const std::string text = ReadFileOrEmpty(path);
  EXPECT_EQ(text,
            "tovex-names 1\n"
            "192.0.2.1 100 one.test\n"
            "192.0.2.5 101 !none\n"
            "192.0.2.6 102 !unconfirmed\n"
            "2001:db8::1 103 !bad\n"
            "end 4\n");
  EXPECT_EQ(ReadAll(text),
            "192.0.2.1 100 1one.test\n192.0.2.5 101 2\n192.0.2.6 102 3\n"
            "2001:db8::1 103 4\nok");
}

TEST(NameCacheTest, HostileOrForeignFilesAreReportedNotMisread) {
  const std::string head = "tovex-names 1\n192.0.2.1 100 one.test\n";
  const std::string good = "192.0.2.1 100 1one.test\n";
  struct Case {
    std::string text;
    std::string read;
  } cases[] = {
      {"", "open: not a name cache"},
      {"tovex-names 2 zstd\nanything", "open: format 2 is newer than 1"},
      {"tovex-names 1 extra\n", "open: not a name cache"},
      {"tovex-names 0\n", "open: not a name cache"},
      {"names 1\n", "open: not a name cache"},
      {head + "end 1\n", good + "ok"},
      {head, good + "cut short"},
      {head + "end 2\n", good + "damaged at line 3"},
      {head + "end 1\nmore\n", good + "damaged at line 4"},
      {head + "192.0.2.2 100 evil\x01.test\nend 2\n",
       good + "damaged at line 3"},
      {head + "192.0.2.2 100 <script>.test\nend 2\n",
       good + "damaged at line 3"},
      {head + "192.0.2.2 100 Upper.test\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 100 " + std::string(300, 'a') + "\nend 2\n",
       good + "damaged at line 3"},
      {head + "192.0.2.0 100 !none\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.1 100 !none\nend 2\n", good + "damaged at line 3"},
      {head + "host.test 100 !none\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 -5 !none\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 100 !maybe\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 100 !none \nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2  100 !none\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 100 !none\r\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 100\nend 2\n", good + "damaged at line 3"},
      {head + "192.0.2.2 100 !none", good + "damaged at line 3"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadAll(c.text), c.read) << c.text;
}

TEST(NameCacheTest, FreshForAWeekOrADayNeverFromTheFuture) {
  const int64_t now = 1000000;
  struct Case {
    NameOutcome outcome;
    int64_t age;
    bool fresh;
  } cases[] = {
      {NameOutcome::kConfirmed, 0, true},
      {NameOutcome::kConfirmed, kNameLifetimeSeconds - 1, true},
      {NameOutcome::kConfirmed, kNameLifetimeSeconds, false},
      {NameOutcome::kNoName, kFailureLifetimeSeconds - 1, true},
      {NameOutcome::kUnconfirmed, kFailureLifetimeSeconds, false},
      {NameOutcome::kBadName, 2 * kFailureLifetimeSeconds, false},
      {NameOutcome::kConfirmed, -1, false},
      {NameOutcome::kUnanswered, 0, false},
  };
  for (const Case& c : cases) {
    NameEntry e{"192.0.2.1", now - c.age, c.outcome, "a.test"};
    EXPECT_EQ(IsFresh(e, now), c.fresh)
        << static_cast<int>(c.outcome) << " " << c.age;
  }
}

}  // namespace
}  // namespace tovex
