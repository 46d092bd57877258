#include "history/whole_set.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

using Records = std::vector<std::pair<std::string, uint64_t>>;

TEST(FoldWholeSetTest, FoldsWhenTheDeltasAreManyOrLarge) {
  struct Case {
    uint64_t base_bytes;
    size_t deltas;
    uint64_t delta_bytes;
    bool fold;
  };
  const Case cases[] = {
      {0, 0, 0, true},  // no base yet
      {1000, 0, 0, false},
      {1000, kMaxDeltaSets - 1, 250, false},
      {1000, kMaxDeltaSets, 10, true},
      {1000, 2, 251, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FoldWholeSet(c.base_bytes, c.deltas, c.delta_bytes), c.fold)
        << c.base_bytes << " " << c.deltas << " " << c.delta_bytes;
  }
}

class WholeSetTest : public ::testing::Test {
 protected:
  WholeSetTest() {
    EXPECT_TRUE(History::Open(env_.context(), env_.dir.path() + "h/", false,
                              &periods_, &history_)
                    .ok());
  }

  void Write(const std::string& name, const Records& records) {
    std::unique_ptr<NamesWriter> w;
    ASSERT_TRUE(NamesWriter::Create(history_->folder(), name, &w).ok());
    for (const auto& [key, count] : records) {
      ASSERT_TRUE(w->Take({key, count, 0}).ok());
    }
    ASSERT_TRUE(w->Close().ok());
  }

  FakeEnvironment env_;
  PeriodTable periods_;
  std::unique_ptr<History> history_;
};

// The old sets read as one, whatever their number; the new file goes
// where the fold rule says, a delta of no names nowhere.
TEST_F(WholeSetTest, ReadsBaseAndDeltasAsOneAndRecordsTheNewFile) {
  struct Case {
    const char* what;
    std::vector<Records> sets;  // base first
    Records fresh;
    Records want;
    bool fold;
  };
  // The base outweighs small deltas by more than the fold's share; its
  // padding keys (digits) sort before the letters.
  auto padded = [](const Records& r) {
    Records out;
    for (int i = 100; i < 200; ++i) out.emplace_back(std::to_string(i), 1);
    out.insert(out.end(), r.begin(), r.end());
    return out;
  };
  const Records base = padded({{"a", 1}, {"c", 2}, {"e", 4}});
  const std::vector<Case> cases = {
      {"none yet", {}, {{"b", 1}}, {}, true},
      {"a base alone", {base}, {{"b", 1}}, base, false},
      {"base and deltas",
       {base, {{"a", 5}, {"d", 1}}, {{"c", 1}, {"d", 2}, {"f", 7}}},
       {},
       padded({{"a", 6}, {"c", 3}, {"d", 3}, {"e", 4}, {"f", 7}}),
       false},
      {"too many deltas",
       {base, {{"b", 1}}, {{"b", 1}}, {{"b", 1}}, {{"b", 1}}, {{"b", 1}},
        {{"b", 1}}, {{"b", 1}}, {{"b", 1}}},
       {{"b", 1}},
       padded({{"a", 1}, {"b", 8}, {"c", 2}, {"e", 4}}),
       true},
  };
  for (const Case& c : cases) {
    HistoryState& state = history_->state();
    state.whole_file.clear();
    state.delta_files.clear();
    for (size_t i = 0; i < c.sets.size(); ++i) {
      const std::string name = std::to_string(i + 1) + ".x.tvx";
      Write(name, c.sets[i]);
      (i == 0 ? state.whole_file : state.delta_files.emplace_back()) = name;
    }
    const std::vector<std::string> deltas_before = state.delta_files;
    std::unique_ptr<WholeSetUpdate> update;
    ASSERT_TRUE(WholeSetUpdate::Start(history_.get(), &update).ok()) << c.what;
    EXPECT_EQ(update->fold(), c.fold) << c.what;
    Records got;
    RunRecord r;
    while (update->old_records()->Next(&r)) {
      got.emplace_back(std::string(r.key), r.count);
    }
    EXPECT_TRUE(update->old_records()->status().ok()) << c.what;
    EXPECT_EQ(got, c.want) << c.what;
    for (const auto& [key, count] : c.fresh) {
      ASSERT_TRUE(update->out()->Take({key, count, 0}).ok());
    }
    ASSERT_TRUE(update->Finish().ok()) << c.what;
    std::vector<std::string> deltas_after = deltas_before;
    if (!c.fold && !c.fresh.empty()) deltas_after.push_back("1.delta.tvx");
    EXPECT_EQ(state.whole_file, c.fold ? "1.whole.tvx" : "1.x.tvx") << c.what;
    EXPECT_EQ(state.delta_files, c.fold ? std::vector<std::string>{}
                                        : deltas_after)
        << c.what;
    update.reset();
    for (const DirEntry& e : ListFolder(history_->folder()->path())) {
      if (e.name.ends_with(".tvx")) history_->folder()->Delete(e.name);
    }
  }
}

// A damaged delta fails the read of the whole set: no count of it may
// reach the index.
TEST_F(WholeSetTest, ADamagedDeltaFailsTheRead) {
  Write("0.whole.tvx", {{"a", 1}, {"b", 1}});
  WriteFileOrDie(history_->folder()->path() + "0.delta.tvx", "TVXN\x01junk");
  history_->state().whole_file = "0.whole.tvx";
  history_->state().delta_files = {"0.delta.tvx"};
  std::unique_ptr<WholeSetUpdate> update;
  ASSERT_TRUE(WholeSetUpdate::Start(history_.get(), &update).ok());
  RunRecord r;
  while (update->old_records()->Next(&r)) {
  }
  EXPECT_EQ(update->old_records()->status().code(), Status::Code::kCannotRead);
}

}  // namespace
}  // namespace tovex
