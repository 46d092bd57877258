#include "sort/aggregator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "platform/testing/fake_platform.h"
#include "sort/merge.h"

namespace tovex {
namespace {

using Counts = std::map<std::string, std::pair<uint64_t, uint64_t>>;

// Collects what a drain hands out, checking the order on the way.
class Collect : public RunSink {
 public:
  Status Take(const RunRecord& r) override {
    EXPECT_TRUE(got.empty() || KeyLess(std::prev(got.end())->first, r.key))
        << "out of order: " << r.key;
    got[std::string(r.key)] = {r.count, r.first};
    return Status::Ok();
  }
  Counts got;
};

class AggregatorTest : public ::testing::Test {
 protected:
  AggregatorTest() { NewFolder(); }

  void NewFolder() {
    work_.reset();
    base_ = env_.fs.OpenFolder(env_.dir.path(), nullptr);
    EXPECT_TRUE(WorkFolder::Create(env_.context(), base_.get(), &work_).ok());
  }

  FakeEnvironment env_;
  std::unique_ptr<Folder> base_;
  std::unique_ptr<WorkFolder> work_;
};

// Keys of every length up to the limit, bytes of every value, many
// repeats; against a map. The memory sizes force no spill, a few spills,
// and so many that the merge needs passes of its own; spilled on the
// adding thread and in the background. Keys in random order spill runs
// that all overlap; keys that drift upwards, as a log's periods do, spill
// runs that are read in turn, some sharing their boundary key.
TEST_F(AggregatorTest, CountsEveryKeyOnceInOrder) {
  for (size_t memory : {size_t{16} << 20, size_t{64} << 10, size_t{6} << 10})
    for (bool background : {false, true})
      for (bool drifting : {false, true}) {
        std::mt19937_64 rng(memory);
        Aggregator agg(work_.get(), memory, background);
        Counts want;
        for (int i = 0; i < 40000; ++i) {
          std::string key(
              rng() % 3 == 0 ? rng() % kMaxKeyBytes + 1 : rng() % 6 + 1, '\0');
          for (char& c : key) c = static_cast<char>(rng() % 5 * 60);
          if (drifting) key[0] = static_cast<char>(i / 200);
          const uint64_t count = rng() % 3 + 1, first = rng() % 1000;
          auto [it, fresh] = want.try_emplace(key, 0, first);
          it->second.first += count;
          it->second.second = std::min(it->second.second, first);
          ASSERT_TRUE(agg.Add(key, count, first).ok());
        }
        Collect sink;
        ASSERT_TRUE(agg.Drain(&sink).ok());
        EXPECT_EQ(sink.got, want) << memory;
        EXPECT_EQ(agg.spilled_bytes() > 0, memory < (size_t{16} << 20))
            << memory;
        EXPECT_TRUE(work_->folder()->List("*").empty()) << "runs left";
        // Drained, it starts over.
        ASSERT_TRUE(agg.Add("x", 2).ok());
        Collect again;
        ASSERT_TRUE(agg.Drain(&again).ok());
        EXPECT_EQ(again.got, (Counts{{"x", {2, 0}}}));
      }
}

// A run that cannot be written, cannot be read back or does not decode
// fails the aggregator with its path. The faults come from the file system,
// never from touching a run that a spill in the background may still be
// writing.
TEST_F(AggregatorTest, RunFailuresNameTheRun) {
  enum class Fault { kWrite, kRead, kCorrupt };
  for (Fault fault : {Fault::kWrite, Fault::kRead, Fault::kCorrupt})
    for (bool background : {false, true}) {
      NewFolder();
      Aggregator agg(work_.get(), 4 << 10, background);
      env_.fs.fail_write = fault == Fault::kWrite ? "1.run" : "";
      env_.fs.fail_read = fault == Fault::kRead ? "1.run" : "";
      env_.fs.cut_read = fault == Fault::kCorrupt ? "1.run" : "";
      env_.fs.fail_after = 100;  // inside a record
      Status st;
      for (int i = 0; i < 2000 && st.ok(); ++i) {
        st = agg.Add("key" + std::to_string(i), 1);
      }
      if (fault != Fault::kWrite || background) {
        // A spill in the background fails at the next spill or at the end.
        ASSERT_TRUE(st.ok() || fault == Fault::kWrite);
        Collect sink;
        if (st.ok()) st = agg.Drain(&sink);
      }
      EXPECT_EQ(st.code(), fault == Fault::kWrite ? Status::Code::kCannotWrite
                                                  : Status::Code::kCannotRead);
      EXPECT_EQ(st.path(), work_->dir() + "1.run");
    }
}

}  // namespace
}  // namespace tovex
