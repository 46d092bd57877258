#include "history/names_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "history/state.h"
#include "platform/testing/fake_platform.h"
#include "platform/testing/string_file.h"

namespace tovex {
namespace {

using namespace std::string_literals;
using Records = std::vector<std::pair<std::string, uint64_t>>;

class NamesFileTest : public ::testing::Test {
 protected:
  NamesFileTest() : folder_(env_.fs.OpenFolder(env_.dir.path(), nullptr)) {}

  void Write(const Records& records) {
    std::unique_ptr<NamesWriter> w;
    ASSERT_TRUE(NamesWriter::Create(folder_.get(), "1.x.tvx", &w).ok());
    for (const auto& [key, count] : records) {
      ASSERT_TRUE(w->Take({key, count, 0}).ok());
    }
    ASSERT_TRUE(w->Close().ok());
  }

  Status Read(Records* out) {
    std::unique_ptr<NamesReader> r;
    TOVEX_RETURN_IF_ERROR(
        NamesReader::Open(folder_.get(), "1.x.tvx", env_.context(), &r));
    RunRecord rec;
    while (r->Next(&rec)) out->emplace_back(std::string(rec.key), rec.count);
    return r->status();
  }

  std::string path() const { return env_.dir.path() + "1.x.tvx"; }

  FakeEnvironment env_;
  std::unique_ptr<Folder> folder_;
};

TEST_F(NamesFileTest, ReadsBackWhatWasWritten) {
  std::vector<Records> cases = {
      {},
      {{"", 1}},
      {{"\0h a"s, 3}, {"\0h ab"s, 1ull << 40}, {"\x01/", 7}},
      {{std::string(200, 'x'), 2}, {std::string(201, 'x'), 5}, {"y", 1}},
  };
  // Over many write blocks, and the steps that start writeback.
  Records large;
  for (int i = 0; i < 150000; ++i) {
    large.emplace_back(std::to_string(1000000 + i), uint64_t(i));
  }
  cases.push_back(large);
  for (const Records& want : cases) {
    folder_->Delete("1.x.tvx");
    Write(want);
    Records got;
    EXPECT_TRUE(Read(&got).ok());
    EXPECT_EQ(got, want);
  }
}

// A damaged file fails the reader, whatever part of it is hurt.
TEST_F(NamesFileTest, DamageIsAFailure) {
  Records many;
  for (int i = 0; i < 3000; ++i) {
    many.emplace_back(std::to_string(100000 + i), 1);
  }
  std::sort(many.begin(), many.end());
  Write(many);
  const std::string good = ReadFileOrEmpty(path());
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"cut in the middle", good.substr(0, good.size() / 2)},
      {"trailer cut", good.substr(0, good.size() - 1)},
      {"a byte flipped", [&] {
         std::string s = good;
         s[s.size() / 3] ^= 0x20;
         return s;
       }()},
      {"bytes after the trailer", good + "x"},
      {"another format", [&] {
         std::string s = good;
         s[4] = '\x09';
         return s;
       }()},
      {"empty", ""},
  };
  for (const auto& [what, bytes] : cases) {
    folder_->Delete("1.x.tvx");
    WriteFileOrDie(path(), bytes);
    Records got;
    EXPECT_EQ(Read(&got).code(), Status::Code::kCannotRead) << what;
  }
}

TEST(HistoryStateTest, WrittenStateReadsBackAndDamageIsRefused) {
  FakeEnvironment env;
  HistoryState state;
  state.options = "status=2xx a b";
  state.lines_read = 12;
  state.generation = 4;
  state.whole_file = "4.whole.tvx";
  state.delta_files = {"5.delta.tvx", "6.delta.tvx"};
  state.streams.push_back({});
  state.streams[0].name = "/var/log/a b.log";
  state.streams[0].check = std::string("\0\n%x", 4);
  state.streams[0].offset = 99;
  auto periods = std::make_unique<PeriodTable>();
  const int p = periods->Add(2024, 12);
  periods->Count(p, 5, 13);
  periods->Settle();
  state.periods.push_back({2024, 12, {}});
  state.periods[0].day_files[5] = "4.2024-12-5.tvx";
  const std::string path = env.dir.path() + "state";
  {
    std::unique_ptr<Folder> dir = env.fs.OpenFolder(env.dir.path(), nullptr);
    auto file = dir->CreateNew("state", nullptr);
    ASSERT_TRUE(WriteState(state, *periods, file.get(), path).ok());
    ASSERT_TRUE(file->Close());
  }
  const std::string good = ReadFileOrEmpty(path);
  auto read = [&](const std::string& bytes, HistoryState* out) {
    auto table = std::make_unique<PeriodTable>();
    StringFile file(bytes);
    Status st = ReadState(&file, path, out, table.get());
    if (st.ok()) {
      EXPECT_EQ(table->size(), 1);
      EXPECT_EQ(table->at(0).DayCount(5), 1);
    }
    return st;
  };
  HistoryState back;
  ASSERT_TRUE(read(good, &back).ok());
  EXPECT_EQ(back.options, state.options);
  EXPECT_EQ(back.streams[0].name, state.streams[0].name);
  EXPECT_EQ(back.streams[0].check, state.streams[0].check);
  EXPECT_EQ(back.periods[0].day_files[5], "4.2024-12-5.tvx");
  EXPECT_EQ(back.delta_files, state.delta_files);
  // A state of before the deltas is read as a base alone.
  std::string no_deltas = good;
  no_deltas.erase(no_deltas.find("delta "), 36);
  HistoryState old;
  ASSERT_TRUE(read(no_deltas, &old).ok());
  EXPECT_EQ(old.whole_file, state.whole_file);
  EXPECT_TRUE(old.delta_files.empty());

  std::string newer = good;
  newer.replace(newer.find(" 1"), 2, " 2");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"newer format", newer},
      {"no end", good.substr(0, good.rfind("end"))},
      {"cut", good.substr(0, good.size() / 2)},
      {"unknown line", good.substr(0, good.rfind("end")) + "what 1\nend\n"},
      {"a file name outside the folder",
       [&] {
         std::string s = good;
         s.replace(s.find("4.2024-12-5.tvx"), 15, "../../etc/passwd");
         return s;
       }()},
      {"garbage", "\xff\xfe tovex"},
      // A set named twice would count its names twice.
      {"a delta named twice",
       std::string(good).replace(good.find("6.delta"), 1, "5")},
      {"deltas without a base",
       std::string(good).erase(good.find("whole 4."), 18)},
  };
  for (const auto& [what, bytes] : cases) {
    HistoryState st;
    EXPECT_EQ(read(bytes, &st).code(), Status::Code::kCannotRead) << what;
  }
}

}  // namespace
}  // namespace tovex
