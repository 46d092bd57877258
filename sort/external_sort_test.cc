#include "sort/external_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

using Lines = std::vector<std::string>;

std::string Join(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

// std::string compares its bytes as unsigned values, a prefix first: the
// record order.
Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Host-like records with many repeats (duplicates must all be kept, side by
// side) and long shared prefixes, so that comparisons must look past the
// first eight bytes.
Lines HostRecords(int count, unsigned seed) {
  std::mt19937 rng(seed);
  Lines lines;
  lines.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto r = static_cast<unsigned>(rng());
    std::string name =
        r % 3 == 0 ? "192.168." + std::to_string(r % 7) + "." +
                         std::to_string((r >> 8) % 40)
        : r % 3 == 1
            ? "dialup-" + std::to_string((r >> 4) % 500) +
                  ".tokyo.example.ne.jp"
            : "/docs/manual/" + std::to_string((r >> 6) % 90) + ".html";
    lines.push_back(name + " " + std::to_string(1 + r % 31) + " " +
                    std::to_string((r >> 10) % 24) + " " +
                    std::to_string((r >> 16) % 7) + "\n");
  }
  return lines;
}

class ExternalSortTest : public ::testing::Test {
 protected:
  ExternalSortTest() {
    std::filesystem::create_directory(env_.dir.path() + "work");
  }

  std::string Path(const std::string& name) const { return work_.PathOf(name); }
  void Write(const std::string& name, const std::string& text) {
    WriteFileOrDie(Path(name), text);
  }
  std::string Read(const std::string& name) const {
    return ReadFileOrEmpty(Path(name));
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(Path(name));
  }

  FakeEnvironment env_;
  WorkDir work_{env_.context(), "work\\"};
};

TEST_F(ExternalSortTest, ChunksAndResultByRecordCount) {
  struct Case {
    int records;
    std::vector<int> chunk_sizes;  // records in 1.s, 2.s, ...
    std::vector<std::string> intermediates;
  } cases[] = {
      {0, {0}, {}},
      {4999, {4999}, {}},
      {5000, {5000, 0}, {}},
      {5001, {5000, 1}, {}},
      {20001, {5000, 5000, 5000, 5000, 1}, {"6.s", "7.s"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.records);
    Lines input = HostRecords(c.records, static_cast<unsigned>(c.records));
    Write("a.dk", Join(input));
    ASSERT_TRUE(SortWorkFile(work_, "a.dk").ok());
    EXPECT_EQ(Read("a.dk"), Join(Sorted(input)));

    // Each chunk is its slice of the input, sorted; none follows the last.
    size_t start = 0;
    for (size_t i = 0; i < c.chunk_sizes.size(); ++i) {
      std::string chunk = std::to_string(i + 1) + ".s";
      ASSERT_TRUE(Exists(chunk)) << chunk;
      Lines slice(input.begin() + static_cast<long>(start),
                  input.begin() + static_cast<long>(start) + c.chunk_sizes[i]);
      EXPECT_EQ(Read(chunk), Join(Sorted(slice))) << chunk;
      start += static_cast<size_t>(c.chunk_sizes[i]);
    }
    for (const std::string& name : c.intermediates) {
      EXPECT_TRUE(Exists(name)) << name;
    }
    size_t after = c.chunk_sizes.size() + c.intermediates.size() + 1;
    EXPECT_FALSE(Exists(std::to_string(after) + ".s"));
    for (size_t n = 1; n < after; ++n) {
      std::filesystem::remove(Path(std::to_string(n) + ".s"));
    }
  }
}

TEST_F(ExternalSortTest, RecordOrderEdgeCases) {
  struct Case {
    const char* why;
    Lines sorted;  // expected order; fed in reverse
  } cases[] = {
      {"blank before a longer name", {"a 1 1 1\n", "ab 1 1 1\n"}},
      {"bytes from 0x80 after ASCII",
       {"z 1 1 1\n", "\x7f 1 1 1\n", "\x80 1 1 1\n", "\xe3\x81\x82 1 1 1\n",
        "\xff 1 1 1\n"}},
      {"a prefix before its extension", {"abc", "abc\n", "abc 1\n"}},
      {"the line end takes part", {"a\tb\n", "a\n", "a b\n", "ab\n"}},
      {"differences past the first eight bytes",
       {"abcdefgh\n", "abcdefgh 1\n", "abcdefghabcdefgh\n",
        "abcdefghabcdefgh\n", "abcdefghabcdefgi\n", "abcdefgi\n"}},
      {"a prefix ending on an eight-byte boundary",
       {"abcdefgh", "abcdefgh\n", "abcdefghabcdefgh\n", "abcdefghabcdefgh \n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    // Sorted in one chunk, and merged from one-record files. Only the
    // smallest line may lack its line end: fed in reverse, it comes last.
    Lines reversed(c.sorted.rbegin(), c.sorted.rend());
    for (size_t i = 1; i < c.sorted.size(); ++i) {
      ASSERT_EQ(c.sorted[i].back(), '\n');
    }
    Write("a.dk", Join(reversed));
    ASSERT_TRUE(SortWorkFile(work_, "a.dk").ok());
    EXPECT_EQ(Read("a.dk"), Join(c.sorted));
    for (size_t i = 0; i < reversed.size(); ++i) {
      Write(std::to_string(i + 1) + ".m", reversed[i]);
    }
    ASSERT_TRUE(MergeNumberedFiles(work_, 1, static_cast<int>(reversed.size()),
                                   "out.m", "m")
                    .ok());
    EXPECT_EQ(Read("out.m"), Join(c.sorted));
  }
}

TEST_F(ExternalSortTest, RandomBytesAndSharedPrefixesMatchStdSort) {
  // Few distinct bytes and long common heads: many ties in every key
  // window, records ending inside a window, duplicates across chunks.
  const std::string alphabet = std::string("ab \t\x7f\x80\xff", 7);
  std::mt19937 rng(7);
  Lines input;
  for (int i = 0; i < 12000; ++i) {
    std::string line(rng() % 4 * 8, 'a');
    size_t tail = rng() % 20;
    for (size_t j = 0; j < tail; ++j) line += alphabet[rng() % alphabet.size()];
    input.push_back(line + "\n");
  }
  Write("r.hk", Join(input));
  ASSERT_TRUE(SortWorkFile(work_, "r.hk").ok());
  EXPECT_EQ(Read("r.hk"), Join(Sorted(input)));
}

// Each numbered input i holds lines that interleave with its neighbours'
// and one line that every input shares.
Lines NumberedInput(int i) {
  return Sorted(
      {"h" + std::to_string(i % 5) + " " + std::to_string(i) + " 0 0\n",
       "h" + std::to_string(i % 3) + " " + std::to_string(i) + " 1 0\n",
       "shared 1 1 1\n"});
}

Lines UnionOf(const std::vector<int>& numbers) {
  Lines all;
  for (int i : numbers) {
    Lines part = NumberedInput(i);
    all.insert(all.end(), part.begin(), part.end());
  }
  return Sorted(all);
}

std::vector<int> Range(int first, int last) {
  std::vector<int> numbers;
  for (int i = first; i <= last; ++i) numbers.push_back(i);
  return numbers;
}

TEST_F(ExternalSortTest, MergeNumberedFilesPassesAndNumbering) {
  struct Intermediate {
    int number;
    int first_input;
    int last_input;
  };
  struct Case {
    int first;
    int last;
    std::vector<Intermediate> intermediates;
    int first_unused;  // the number after the last intermediate
  } cases[] = {
      {1, 1, {}, 2},
      {1, 4, {}, 5},
      {1, 5, {{6, 1, 4}, {7, 5, 5}}, 8},
      {1, 9, {{10, 1, 4}, {11, 5, 8}, {12, 9, 9}}, 13},
      {3, 8, {{9, 3, 6}, {10, 7, 8}}, 11},
      {1,
       31,
       {{32, 1, 4},
        {33, 5, 8},
        {38, 25, 28},
        {39, 29, 31},
        {40, 1, 16},
        {41, 17, 31}},
       42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << "-" << c.last);
    for (int i = c.first; i <= c.last; ++i) {
      Write(std::to_string(i) + ".ddy", Join(NumberedInput(i)));
    }
    ASSERT_TRUE(MergeNumberedFiles(work_, c.first, c.last, "7.dk", "ddy").ok());
    EXPECT_EQ(Read("7.dk"), Join(UnionOf(Range(c.first, c.last))));
    for (const Intermediate& m : c.intermediates) {
      EXPECT_EQ(Read(std::to_string(m.number) + ".ddy"),
                Join(UnionOf(Range(m.first_input, m.last_input))))
          << m.number;
    }
    EXPECT_FALSE(Exists(std::to_string(c.first_unused) + ".ddy"));
    for (int i = 1; i < c.first_unused; ++i) {
      std::filesystem::remove(Path(std::to_string(i) + ".ddy"));
    }
  }
}

TEST_F(ExternalSortTest, MergeNumberedFilesSkipsMissingNumbers) {
  struct Case {
    std::vector<int> present;
  } cases[] = {
      {{}},          {{1}}, {{31}}, {{1, 2, 5}}, {{3, 9, 17, 18, 30, 31}},
      {Range(1, 31)}};
  for (const Case& c : cases) {
    for (int i : c.present) {
      Write(std::to_string(i) + ".hdy", Join(NumberedInput(i)));
    }
    ASSERT_TRUE(MergeNumberedFiles(work_, 1, 31, "2.hk", "hdy").ok());
    EXPECT_EQ(Read("2.hk"), Join(UnionOf(c.present)));
    for (int i = 1; i <= kLastDayFileNumber; ++i) {
      std::filesystem::remove(Path(std::to_string(i) + ".hdy"));
    }
  }
}

// last < first: no input at all, yet the output is made, empty.
TEST_F(ExternalSortTest, NoInputWritesAnEmptyOutput) {
  Write("1.dk", Join(NumberedInput(1)));
  Write("index.dk", "stale 1 1 1\n");
  ASSERT_TRUE(MergeNumberedFiles(work_, 1, 0, "index.dk", "dk").ok());
  EXPECT_TRUE(Exists("index.dk"));
  EXPECT_EQ(Read("index.dk"), "");
}

TEST_F(ExternalSortTest, MergeFourSlots) {
  Write("a.x", "a 1 1 1\nc 1 1 1\nc 1 1 1\n");
  Write("b.x", "b 1 1 1\nc 1 1 1\nd 1 1 1\n");
  Write("e.x", "");
  Write("f.x", "e 1 1 1\n");
  struct Case {
    std::array<std::string, kMergeWays> slots;
    std::string merged;
  } cases[] = {
      {{"NULL", "NULL", "NULL", "NULL"}, ""},
      {{"NULL", "missing.x", "e.x", "NULL"}, ""},
      {{"b.x", "missing.x", "NULL", "a.x"},
       "a 1 1 1\nb 1 1 1\nc 1 1 1\nc 1 1 1\nc 1 1 1\nd 1 1 1\n"},
      {{"f.x", "e.x", "b.x", "a.x"},
       "a 1 1 1\nb 1 1 1\nc 1 1 1\nc 1 1 1\nc 1 1 1\nd 1 1 1\ne 1 1 1\n"},
      {{"a.x", "a.x", "a.x", "a.x"},
       "a 1 1 1\na 1 1 1\na 1 1 1\na 1 1 1\n"
       "c 1 1 1\nc 1 1 1\nc 1 1 1\nc 1 1 1\n"
       "c 1 1 1\nc 1 1 1\nc 1 1 1\nc 1 1 1\n"},
  };
  for (const Case& c : cases) {
    Write("out.x", "stale 1 1 1\n");
    ASSERT_TRUE(MergeFour(work_, c.slots, "out.x").ok());
    EXPECT_EQ(Read("out.x"), c.merged) << c.slots[0] << " " << c.slots[1] << " "
                                       << c.slots[2] << " " << c.slots[3];
  }
}

TEST_F(ExternalSortTest, InputThatCannotBeOpenedCountsAsEmpty) {
  Write("a.x", "a 1 1 1\n");
  Write("locked.x", "b 1 1 1\n");
  env_.fs.fail_open = "locked.x";
  ASSERT_TRUE(
      MergeFour(work_, {"locked.x", "a.x", "NULL", "NULL"}, "out.x").ok());
  EXPECT_EQ(Read("out.x"), "a 1 1 1\n");
}

TEST_F(ExternalSortTest, OpenFailuresNameTheFullPath) {
  Status missing = SortWorkFile(work_, "missing.dk");
  EXPECT_EQ(missing.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(missing.path(), Path("missing.dk"));

  enum class Op { kSort, kMergeFour, kMergeNumbered };
  struct Case {
    const char* fails;  // the file that cannot be created
    Op op;
  } cases[] = {
      {"1.s", Op::kSort},
      {"6.s", Op::kSort},
      {"out.x", Op::kMergeFour},
      {"7.s", Op::kMergeNumbered},
      {"out.x", Op::kMergeNumbered},
  };
  Lines input = HostRecords(20001, 1);  // five chunks: 6.s and 7.s follow
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fails);
    Write("x.dk", Join(input));
    for (int i = 1; i <= 5; ++i) Write(std::to_string(i) + ".s", "");
    env_.fs.fail_open = c.fails;
    Status st = c.op == Op::kSort ? SortWorkFile(work_, "x.dk")
                : c.op == Op::kMergeFour
                    ? MergeFour(work_, {"1.s", "NULL", "NULL", "NULL"}, "out.x")
                    : MergeNumberedFiles(work_, 1, 5, "out.x", "s");
    env_.fs.fail_open.clear();
    EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
    EXPECT_EQ(st.path(), Path(c.fails));
  }
}

TEST_F(ExternalSortTest, WriteFailuresAreReported) {
  struct Case {
    const char* fail_write;
    int64_t after;
  } cases[] = {{"1.s", 0}, {"5.s", 0}, {"7.s", 10}, {"x.dk", 5000}};
  Lines input = HostRecords(20001, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fail_write);
    Write("x.dk", Join(input));
    env_.fs.fail_write = c.fail_write;
    env_.fs.fail_write_after = c.after;
    Status st = SortWorkFile(work_, "x.dk");
    env_.fs.fail_write.clear();
    EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
    EXPECT_EQ(st.path(), Path(c.fail_write));
  }
}

}  // namespace
}  // namespace tovex
