#include "tally/tally.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

using Rows = std::vector<std::pair<std::string, int64_t>>;

Rows NonEmpty(const RankTable& table) {
  Rows rows;
  for (const RankEntry& e : table.entries) {
    if (e.count == 0) break;
    rows.emplace_back(std::string(e.view().bytes), e.count);
  }
  return rows;
}

class NameTallyTest : public ::testing::Test {
 protected:
  NameTallyTest() {
    EXPECT_TRUE(
        WorkFolder::Create(env_.context(), env_.dir.path(), &work_).ok());
  }

  FakeEnvironment env_;
  std::unique_ptr<WorkFolder> work_;
  PeriodTally tally_;
};

TEST_F(NameTallyTest, VisitorsAndRankings) {
  NameTally names(work_.get(), 1 << 16);
  for (int round = 0; round < 2; ++round) {  // the second starts afresh
    for (auto [host, n] :
         Rows{{"1.2.3.4", 2}, {"a.x.com", 3}, {"b.x.com", 1}, {"y.org", 1}}) {
      ASSERT_TRUE(names.AddHost(host, n).ok());
    }
    names.AddContent("/a.html", 1);
    names.AddContent("/b.html", 2);
    ASSERT_TRUE(names.Finish(&tally_).ok());
    EXPECT_EQ(tally_.visitors, 4);
    EXPECT_EQ(
        NonEmpty(tally_.domains),
        (Rows{{"a.x.com", 3}, {"1.2.3.4", 2}, {"b.x.com", 1}, {"y.org", 1}}));
    // x.com sums its two hosts; the numeric address has no organisation.
    EXPECT_EQ(NonEmpty(tally_.organisations),
              (Rows{{"x.com", 4}, {"y.org", 1}}));
    EXPECT_EQ(NonEmpty(tally_.contents),
              (Rows{{"/b.html", 2}, {"/a.html", 1}}));
  }
}

// The exchange procedure over every organisation, in the order their first
// host is met: for i < k, for j > i, swap when count[i] < count[j].
Rows ExchangeSorted(const std::vector<std::pair<std::string, int64_t>>& hosts) {
  Rows orgs;
  std::map<std::string, size_t> at;
  for (const auto& [host, n] : hosts) {
    const std::string org(OrganisationOf(host));
    if (!IsOrganisationName(org)) continue;
    auto [it, fresh] = at.try_emplace(org, orgs.size());
    if (fresh) orgs.emplace_back(org, 0);
    orgs[it->second].second += n;
  }
  for (size_t i = 0; i < std::min<size_t>(kMaxRankRows, orgs.size()); ++i) {
    for (size_t j = i + 1; j < orgs.size(); ++j) {
      if (orgs[i].second < orgs[j].second) std::swap(orgs[i], orgs[j]);
    }
  }
  orgs.resize(std::min<size_t>(kMaxRankRows, orgs.size()));
  return orgs;
}

// Few counts and many ties over about 3,000 organisations, with room for
// all of them and with so little that they spill.
TEST_F(NameTallyTest, OrganisationsRankLikeTheExchangeProcedure) {
  std::mt19937 random(7);
  std::map<std::string, int64_t> counts;
  for (int i = 0; i < 9000; ++i) {
    const auto r = static_cast<unsigned>(random());
    // (Built piece by piece: chained + trips a false -Wrestrict in g++ 12.)
    std::string host = "h";
    host.append(std::to_string(r % 5)).append(".o");
    host.append(std::to_string(r / 5 % 3000)).append(".jp");
    if (r % 11 == 0) host = "10.0." + std::to_string(r % 7);
    counts[host] += r % 3 + 1;
  }
  // Hosts arrive in name order, a blank after each name deciding prefixes.
  std::vector<std::pair<std::string, int64_t>> hosts(counts.begin(),
                                                     counts.end());
  const Rows want = ExchangeSorted(hosts);
  for (size_t memory : {size_t{1} << 20, size_t{4} << 10}) {
    NameTally names(work_.get(), memory);
    for (const auto& [host, n] : hosts)
      ASSERT_TRUE(names.AddHost(host, n).ok());
    ASSERT_TRUE(names.Finish(&tally_).ok());
    EXPECT_EQ(NonEmpty(tally_.organisations), want) << memory;
  }
}

TEST(CountCellsTest, DaysHoursAndWeekdays) {
  PeriodTable periods;
  const int i = periods.Add(2001, 3);  // 2001-3-1 is a Thursday
  periods.Count(i, 1, 0);
  periods.Count(i, 1, 23);
  periods.Count(i, 31, 23);
  PeriodTally month, day;
  CountCells(periods.at(i), 0, &month);
  CountCells(periods.at(i), 31, &day);
  EXPECT_EQ(month.total, 3);
  EXPECT_EQ(month.day_count[1], 2);
  EXPECT_EQ(month.hour_count[23], 2);
  EXPECT_EQ(month.weekday_count[4], 2);
  EXPECT_EQ(month.weekday_count[6], 1);
  EXPECT_EQ(day.total, 1);
  EXPECT_EQ(day.day_count[1], 0);
  EXPECT_EQ(periods.at(i).count, 3);
}

}  // namespace
}  // namespace tovex
