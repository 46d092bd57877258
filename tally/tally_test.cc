#include "tally/tally.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

using Rows = std::vector<std::pair<std::string, int64_t>>;

// Joins the pieces. (Chained operator+ on temporaries trips a false
// -Wrestrict in g++ 12.)
std::string Cat(std::initializer_list<std::string_view> pieces) {
  std::string s;
  for (std::string_view p : pieces) s += p;
  return s;
}

RankEntry Entry(std::string_view text, int64_t count) {
  RankEntry e;
  e.Assign(text, count);
  return e;
}

template <typename Entries>
Rows NonEmpty(const Entries& entries, size_t limit) {
  Rows rows;
  for (size_t i = 0; i < limit && entries[i].count != 0; ++i) {
    rows.emplace_back(std::string(entries[i].view().bytes), entries[i].count);
  }
  return rows;
}

TEST(InsertRankedTest, TieRules) {
  struct Case {
    int n;
    Rows offers;
    Rows expected;
  } cases[] = {
      // Equal counts keep the order in which they were offered.
      {10,
       {{"P", 5}, {"Q", 7}, {"R", 5}, {"S", 7}},
       {{"Q", 7}, {"S", 7}, {"P", 5}, {"R", 5}}},
      // A full table takes only a count that beats its last entry.
      {2, {{"P", 3}, {"Q", 3}, {"R", 3}}, {{"P", 3}, {"Q", 3}}},
      {2, {{"P", 1}, {"Q", 2}, {"R", 3}}, {{"R", 3}, {"Q", 2}}},
      // An empty run is never taken.
      {3, {{"", 0}, {"A", 1}}, {{"A", 1}}},
      {1, {{"A", 2}, {"B", 2}, {"C", 3}}, {{"C", 3}}},
      // Only the first n entries take part.
      {50, {{"A", 1}, {"B", 9}, {"C", 5}}, {{"B", 9}, {"C", 5}, {"A", 1}}},
  };
  for (const Case& c : cases) {
    RankTable table;
    for (const auto& [text, count] : c.offers) {
      InsertRanked(&table, Entry(text, count), c.n);
    }
    EXPECT_EQ(NonEmpty(table.entries, kMaxRankRows), c.expected) << "n=" << c.n;
  }
}

TEST(SortTopEntriesTest, ExchangeOrder) {
  struct Case {
    int k;
    Rows entries;
    Rows top;
  } cases[] = {
      // The exchanges put equal counts in the reverse of their order.
      {4,
       {{"first", 1}, {"second", 2}, {"third", 2}, {"fourth", 3}},
       {{"fourth", 3}, {"third", 2}, {"second", 2}, {"first", 1}}},
      // Only the first k places are ordered.
      {2,
       {{"a", 1}, {"b", 4}, {"c", 2}, {"d", 4}, {"e", 3}},
       {{"b", 4}, {"d", 4}}},
  };
  for (const Case& c : cases) {
    std::vector<RankEntry> e;
    for (const auto& [text, count] : c.entries) e.push_back(Entry(text, count));
    SortTopEntries(e.data(), c.k, static_cast<int>(e.size()));
    EXPECT_EQ(NonEmpty(e, static_cast<size_t>(c.k)), c.top);
  }
}

TEST(OrganisationTest, Table) {
  struct Case {
    const char* host;
    const char* organisation;
    bool accepted;
  } cases[] = {
      {"a.b.c.d", "c.d", true},  {"www.example.co.jp", "co.jp", true},
      {"a.b", "a.b", true},      {"localhost", "localhost", true},
      {"1.2.3.4", "3.4", false},  // tail of a numeric address
      {"12345", "12345", true},   // digits only
      {"0.1", "0.1", false},     {"1.2.3", "2.3", false},
      {"a.", "a.", true},        {"x.1.2.", "2.", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OrganisationOf(c.host), c.organisation) << c.host;
    EXPECT_EQ(IsOrganisationName(OrganisationOf(c.host)), c.accepted) << c.host;
  }
  // Texts that OrganisationOf never yields but the rule must still judge.
  EXPECT_TRUE(IsOrganisationName("1.2.3"));  // two dots between digits
  EXPECT_TRUE(IsOrganisationName(""));
  EXPECT_FALSE(IsOrganisationName("x"));
  EXPECT_FALSE(IsOrganisationName("12x"));
  EXPECT_TRUE(IsOrganisationName("\xe6\x97\xa5"));  // three non-digit bytes
}

class TallyPeriodTest : public ::testing::Test {
 protected:
  TallyPeriodTest() : work_(env_.context(), "work\\") {
    EXPECT_TRUE(env_.fs.MakeDirectory(env_.dir.path() + "work"));
  }

  void Write(std::string_view name, std::string_view content) {
    WriteFileOrDie(work_.PathOf(name), content);
  }

  // Tallies "t.dk" and "t.hk" with rows 10/5/10.
  PeriodTally& Tally(std::string_view hosts, std::string_view contents = "") {
    Write("t.dk", hosts);
    Write("t.hk", contents);
    Status st = TallyPeriod(work_, {"t.dk", "t.hk"}, RowGroup{}, tally_.get());
    EXPECT_TRUE(st.ok()) << st.path();
    return *tally_;
  }

  FakeEnvironment env_;
  WorkDir work_;
  std::unique_ptr<PeriodTally> tally_ = std::make_unique<PeriodTally>();
};

TEST_F(TallyPeriodTest, CountsHostsOrganisationsAndContents) {
  PeriodTally& t = Tally(
      "1.2.3.4 1 0 2\n"
      "1.2.3.4 1 0 2\n"
      "a.x.com 2 5 3\n"
      "a.x.com 2 5 3\n"
      "a.x.com 3 23 4\n"
      "b.x.com 3 23 4\n"
      "y.org 31 12 6\n",
      "/a.html 1 0 2\n"
      "/b.html 1 0 2\n"
      "/b.html 2 5 3\n"
      "/c/ 2 5 3\n");
  EXPECT_EQ(t.total, 7);
  EXPECT_EQ(t.visitors, 4);
  EXPECT_EQ(t.day_count[1], 2);
  EXPECT_EQ(t.day_count[31], 1);
  EXPECT_EQ(t.hour_count[23], 2);
  EXPECT_EQ(t.weekday_count[6], 1);
  EXPECT_EQ(
      NonEmpty(t.domains.entries, 10),
      (Rows{{"a.x.com", 3}, {"1.2.3.4", 2}, {"b.x.com", 1}, {"y.org", 1}}));
  // x.com sums its two hosts; the numeric address has no organisation.
  EXPECT_EQ(NonEmpty(t.organisations.entries, 5),
            (Rows{{"x.com", 4}, {"y.org", 1}}));
  EXPECT_EQ(NonEmpty(t.contents.entries, 10),
            (Rows{{"/b.html", 2}, {"/a.html", 1}, {"/c/", 1}}));
}

TEST_F(TallyPeriodTest, ClearsEarlierTally) {
  Tally("a.com 1 1 1\nb.com 1 1 1\n", "/ 1 1 1\n/ 1 1 1\n");
  PeriodTally& t = Tally("c.com 2 2 2\n", "/x 2 2 2\n");
  EXPECT_EQ(t.total, 1);
  EXPECT_EQ(t.day_count[1], 0);
  EXPECT_EQ(NonEmpty(t.domains.entries, 10), (Rows{{"c.com", 1}}));
  EXPECT_EQ(NonEmpty(t.organisations.entries, 1000), (Rows{{"c.com", 1}}));
  EXPECT_EQ(NonEmpty(t.contents.entries, 10), (Rows{{"/x", 1}}));

  Tally("", "");  // an empty period clears everything too
  EXPECT_EQ(t.total, 0);
  EXPECT_EQ(t.visitors, 0);
  EXPECT_EQ(NonEmpty(t.domains.entries, 10), Rows{});
  EXPECT_EQ(NonEmpty(t.organisations.entries, 1000), Rows{});
  EXPECT_EQ(NonEmpty(t.contents.entries, 10), Rows{});
}

TEST_F(TallyPeriodTest, FieldsOutsideCountersCountOnlyInTotalsAndRankings) {
  PeriodTally& t = Tally(
      "a.com 32 24 7\n"
      "a.com -1 -1 -1\n"
      "b.com 0 0 0\n");
  EXPECT_EQ(t.total, 3);
  EXPECT_EQ(t.visitors, 2);
  EXPECT_EQ(t.day_count[0], 1);
  EXPECT_EQ(t.hour_count[0], 1);
  EXPECT_EQ(t.weekday_count[0], 1);
  EXPECT_EQ(NonEmpty(t.domains.entries, 10),
            (Rows{{"a.com", 2}, {"b.com", 1}}));
}

TEST_F(TallyPeriodTest, SkipsLinesThatAreNotRecords) {
  PeriodTally& t = Tally("a.com 1 1\n\nb.com 1 1 1\n", "x\n/ 1 1 1\n");
  EXPECT_EQ(t.total, 1);
  EXPECT_EQ(NonEmpty(t.domains.entries, 10), (Rows{{"b.com", 1}}));
  EXPECT_EQ(NonEmpty(t.contents.entries, 10), (Rows{{"/", 1}}));
}

// More organisations than the table holds: the late ones are left out
// though they have the most accesses. Each ranking keeps its own row count.
TEST_F(TallyPeriodTest, OrganisationLimitAndRowSettings) {
  std::string hosts, contents;
  for (int i = 0; i < kMaxOrganisations + 5; ++i) {
    std::string n = std::to_string(10000 + i);  // sorted names
    int accesses = i >= kMaxOrganisations ? 9 : 1;
    for (int k = 0; k < accesses; ++k) hosts += Cat({"h.o", n, ".net 1 1 1\n"});
    contents += Cat({"/", n, " 1 1 1\n"});
  }
  Write("t.dk", hosts);
  Write("t.hk", contents);
  RowGroup rows;
  rows.domains = 3;
  rows.contents = 4;
  ASSERT_TRUE(TallyPeriod(work_, {"t.dk", "t.hk"}, rows, tally_.get()).ok());
  const PeriodTally& t = *tally_;
  EXPECT_EQ(t.total, kMaxOrganisations + 5 * 9);
  EXPECT_EQ(t.visitors, kMaxOrganisations + 5);
  int64_t counted = 0;
  for (const RankEntry& e : t.organisations.entries) counted += e.count;
  EXPECT_EQ(counted, kMaxOrganisations);
  EXPECT_EQ(t.organisations.entries[0].count, 1);
  EXPECT_EQ(NonEmpty(t.domains.entries, kMaxRankRows).size(), 3u);
  EXPECT_EQ(NonEmpty(t.contents.entries, kMaxRankRows).size(), 4u);
}

TEST_F(TallyPeriodTest, MissingFileCannotOpen) {
  Write("t.dk", "a 1 1 1\n");
  Status st = TallyPeriod(work_, {"t.dk", "none.hk"}, RowGroup{}, tally_.get());
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), work_.PathOf("none.hk"));
  st = TallyPeriod(work_, {"none.dk", "t.dk"}, RowGroup{}, tally_.get());
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), work_.PathOf("none.dk"));
}

// The organisation table as a walk from the front of the table builds it,
// ranked the same way: the indexed lookup must give exactly this.
OrganisationTable WalkedOrganisations(const std::vector<std::string>& hosts,
                                      int k) {
  OrganisationTable table;
  for (const std::string& host : hosts) {
    std::string_view org = OrganisationOf(host);
    if (!IsOrganisationName(org)) continue;
    for (RankEntry& e : table.entries) {
      if (e.count == 0) {
        e.Assign(org, 1);
        break;
      }
      if (e.view().bytes == org) {
        ++e.count;
        break;
      }
    }
  }
  SortTopEntries(table.entries.data(), k, kMaxOrganisations);
  return table;
}

TEST_F(TallyPeriodTest, IndexedOrganisationsMatchTableWalk) {
  std::mt19937 random(7);
  std::vector<std::string> hosts;
  for (int i = 0; i < 6000; ++i) {
    const auto r = static_cast<unsigned>(random());
    // Few counts, many ties; about 1,300 organisations so the table fills.
    hosts.push_back(Cat({"h", std::to_string(r % 5), ".o",
                         std::to_string(r / 5 % 1300), ".jp"}));
    if (r % 11 == 0) hosts.back() = Cat({"10.0.", std::to_string(r % 7), ".1"});
  }
  std::sort(hosts.begin(), hosts.end());
  std::string file;
  for (const std::string& h : hosts) file += Cat({h, " 1 1 1\n"});
  Write("t.dk", file);
  Write("t.hk", "");
  RowGroup rows;
  rows.organisations = 50;
  ASSERT_TRUE(TallyPeriod(work_, {"t.dk", "t.hk"}, rows, tally_.get()).ok());
  OrganisationTable expected = WalkedOrganisations(hosts, 50);
  EXPECT_EQ(NonEmpty(tally_->organisations.entries, 50),
            NonEmpty(expected.entries, 50));
}

}  // namespace
}  // namespace tovex
