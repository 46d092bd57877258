#include "history/whole_set.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/testing/fake_platform.h"
#include "platform/testing/string_file.h"

namespace tovex {
namespace {

using Records = std::vector<std::pair<std::string, uint64_t>>;

// A new history in `env`.
std::unique_ptr<History> OpenHistory(FakeEnvironment* env) {
  PeriodTable periods;
  std::unique_ptr<History> history;
  EXPECT_TRUE(History::Open(env->context(), env->dir.path() + "h/", false,
                            &periods, &history)
                  .ok());
  return history;
}

// Writes `sets` (base first) as the state's base and deltas.
void WriteSets(History* history, const std::vector<Records>& sets) {
  HistoryState& state = history->state();
  state.whole_file.clear();
  state.delta_files.clear();
  for (size_t i = 0; i < sets.size(); ++i) {
    const std::string name = std::to_string(i + 1) + ".x.tvx";
    std::unique_ptr<NamesWriter> w;
    ASSERT_TRUE(NamesWriter::Create(history->folder(), name, &w).ok());
    for (const auto& [key, n] : sets[i]) ASSERT_TRUE(w->Take({key, n, 0}).ok());
    ASSERT_TRUE(w->Close().ok());
    (i == 0 ? state.whole_file : state.delta_files.emplace_back()) = name;
  }
}

TEST(WholeSetTest, FoldsWhenTheDeltasAreManyOrLarge) {
  const struct {
    uint64_t base_bytes;
    size_t deltas;
    uint64_t delta_bytes;
    bool fold;
  } cases[] = {
      {0, 0, 0, true},  // no base yet
      {1000, 0, 0, false},
      {1000, kMaxDeltaSets - 1, 250, false},
      {1000, kMaxDeltaSets, 10, true},
      {1000, 2, 251, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FoldWholeSet(c.base_bytes, c.deltas, c.delta_bytes), c.fold)
        << c.base_bytes << " " << c.deltas << " " << c.delta_bytes;
  }
}

// The old sets read as one, whatever their number; the new file goes
// where the fold rule says, a delta of no names nowhere.
TEST(WholeSetTest, ReadsBaseAndDeltasAsOneAndRecordsTheNewFile) {
  // The base outweighs small deltas by more than the fold's share; its
  // padding keys (digits) sort before the letters.
  auto padded = [](const Records& r) {
    Records out;
    for (int i = 100; i < 200; ++i) out.emplace_back(std::to_string(i), 1);
    out.insert(out.end(), r.begin(), r.end());
    return out;
  };
  const Records base = padded({{"a", 1}, {"c", 2}, {"e", 4}});
  std::vector<Records> many(kMaxDeltaSets + 1, {{"b", 1}});
  many[0] = base;
  const struct {
    const char* what;
    std::vector<Records> sets;  // base first
    Records fresh, want;
    bool fold;
  } cases[] = {
      {"none yet", {}, {{"b", 1}}, {}, true},
      {"a base alone", {base}, {}, base, false},
      {"base and deltas",
       {base, {{"a", 5}, {"d", 1}}, {{"c", 1}, {"d", 2}, {"f", 7}}},
       {{"b", 1}},
       padded({{"a", 6}, {"c", 3}, {"d", 3}, {"e", 4}, {"f", 7}}),
       false},
      {"too many deltas",
       many,
       {{"b", 1}},
       padded({{"a", 1}, {"b", kMaxDeltaSets}, {"c", 2}, {"e", 4}}),
       true},
  };
  FakeEnvironment env;
  std::unique_ptr<History> history = OpenHistory(&env);
  ASSERT_NE(history, nullptr);
  HistoryState& state = history->state();
  for (const auto& c : cases) {
    WriteSets(history.get(), c.sets);
    std::vector<std::string> deltas =
        c.fold ? std::vector<std::string>{} : state.delta_files;
    if (!c.fold && !c.fresh.empty()) deltas.push_back("1.delta.tvx");
    std::unique_ptr<WholeSetUpdate> update;
    ASSERT_TRUE(WholeSetUpdate::Start(history.get(), &update).ok()) << c.what;
    EXPECT_EQ(update->fold(), c.fold) << c.what;
    Records got;
    for (RunRecord r; update->old_records()->Next(&r);) {
      got.emplace_back(std::string(r.key), r.count);
    }
    EXPECT_TRUE(update->old_records()->status().ok()) << c.what;
    EXPECT_EQ(got, c.want) << c.what;
    for (const auto& [key, n] : c.fresh)
      ASSERT_TRUE(update->out()->Take({key, n, 0}).ok());
    ASSERT_TRUE(update->Finish().ok()) << c.what;
    EXPECT_EQ(state.whole_file, c.fold ? "1.whole.tvx" : "1.x.tvx") << c.what;
    EXPECT_EQ(state.delta_files, deltas) << c.what;
    update.reset();
    for (const DirEntry& e : ListFolder(history->folder()->path())) {
      if (e.name.ends_with(".tvx")) history->folder()->Delete(e.name);
    }
  }
}

// A fold begun early, whether it ends or is stopped, leaves the update
// reading the same names, and the state naming each set once.
TEST(WholeSetTest, AnEarlyFoldReadsAsTheOldSets) {
  Records base;
  for (int i = 1000; i < 4000; ++i) base.emplace_back(std::to_string(i), 1);
  const Records delta = {{"1000", 2}, {"a", 1}};
  Records want = base;
  want[0].second = 1 + 2 * kMaxDeltaSets;
  want.emplace_back("a", kMaxDeltaSets);
  const struct {
    const char* what;
    bool wait;
    bool damaged;
  } cases[] = {
      {"ended", true, false},
      {"stopped at once", false, false},
      {"a damaged delta", true, true},
  };
  for (const auto& c : cases) {
    FakeEnvironment env;
    std::unique_ptr<History> history = OpenHistory(&env);
    ASSERT_NE(history, nullptr);
    HistoryState& state = history->state();
    std::vector<Records> sets(kMaxDeltaSets + 1, delta);
    sets[0] = base;
    WriteSets(history.get(), sets);
    if (c.damaged) {
      WriteFileOrDie(history->folder()->path() + state.delta_files[1], "TVXN");
    }
    std::unique_ptr<EarlyFold> early;
    ASSERT_TRUE(EarlyFold::Start(history.get(), &early).ok()) << c.what;
    ASSERT_NE(early, nullptr) << c.what;
    const std::string folded = early->Take(c.wait);
    if (c.wait) {
      EXPECT_EQ(folded.empty(), c.damaged) << c.what;
    }
    std::unique_ptr<WholeSetUpdate> update;
    ASSERT_TRUE(WholeSetUpdate::Start(history.get(), folded, &update).ok())
        << c.what;
    Records got;
    for (RunRecord r; update->old_records()->Next(&r);) {
      got.emplace_back(std::string(r.key), r.count);
    }
    if (c.damaged) {
      EXPECT_EQ(update->old_records()->status().code(),
                Status::Code::kCannotRead);
      continue;
    }
    EXPECT_TRUE(update->old_records()->status().ok()) << c.what;
    EXPECT_EQ(got, want) << c.what;
    ASSERT_TRUE(update->out()->Take({"b", 1, 0}).ok());
    ASSERT_TRUE(update->Finish().ok()) << c.what;
    EXPECT_EQ(state.whole_file, folded.empty() ? "1.whole.tvx" : folded)
        << c.what;
    EXPECT_EQ(state.delta_files, folded.empty()
                                     ? std::vector<std::string>{}
                                     : std::vector<std::string>{"1.delta.tvx"})
        << c.what;
  }
}

}  // namespace
}  // namespace tovex
