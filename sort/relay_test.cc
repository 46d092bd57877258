#include "sort/relay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovex {
namespace {

// Keeps what it takes; fails at record `fail_at` when given.
class Keep : public RunSink {
 public:
  Status Take(const RunRecord& r) override {
    if (static_cast<int>(got.size()) == fail_at) return Status::CannotRead("x");
    got.push_back(std::string(r.key) + "/" + std::to_string(r.count) + "/" +
                  std::to_string(r.first));
    return Status::Ok();
  }
  int fail_at = -1;
  std::vector<std::string> got;
};

// Every record arrives once, in order, across many blocks, with keys of
// every size; either side's failure ends the relay with that failure, and
// a failing taker stops the producer.
TEST(RelayTest, RecordsArriveInOrderAndFailuresEndIt) {
  struct Case {
    int records;
    int producer_fails_after;  // -1: never
    int sink_fails_at;         // -1: never
  };
  for (const Case& c : {Case{0, -1, -1}, Case{100000, -1, -1},
                        Case{50000, 30000, -1}, Case{100000, -1, 40000}}) {
    std::vector<std::string> want;
    int produced = 0;
    auto produce = [&](RunSink* s) -> Status {
      for (int i = 0; i < c.records; ++i) {
        if (i == c.producer_fails_after) return Status::CannotWrite("p");
        const auto n = static_cast<uint64_t>(i);
        const std::string key(n % 256, static_cast<char>('a' + i % 26));
        want.push_back(key + "/" + std::to_string(n) + "/" +
                       std::to_string(n * 7 << 33));
        TOVEX_RETURN_IF_ERROR(s->Take({key, n, n * 7 << 33}));
        ++produced;
      }
      return Status::Ok();
    };
    Keep sink;
    sink.fail_at = c.sink_fails_at;
    const Status st = Relay(produce, &sink);
    if (c.sink_fails_at >= 0) {
      EXPECT_EQ(st.code(), Status::Code::kCannotRead);
      EXPECT_LT(produced, c.records) << "the producer went on";
      want.resize(static_cast<size_t>(c.sink_fails_at));
    } else if (c.producer_fails_after >= 0) {
      EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
    } else {
      EXPECT_TRUE(st.ok());
    }
    EXPECT_EQ(sink.got, want) << c.records;
  }
}

}  // namespace
}  // namespace tovex
