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

// The exchange procedure over every organisation, in the order their first
// host is met: for i < k, for j > i, swap when count[i] < count[j].
Rows ExchangeSorted(const Rows& hosts) {
  Rows orgs;
  std::map<std::string, size_t> at;
  for (const auto& [host, n] : hosts) {
    if (host.find(':') != std::string::npos) continue;
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
// all of them and with so little that they spill. Visitors, domains,
// contents and the day, hour and weekday counts are the reference check's:
// it compares every page with an independent model.
TEST(NameTallyTest, OrganisationsRankLikeTheExchangeProcedure) {
  FakeEnvironment env;
  std::unique_ptr<Folder> base = env.fs.OpenFolder(env.dir.path(), nullptr);
  std::unique_ptr<WorkFolder> work;
  ASSERT_TRUE(WorkFolder::Create(env.context(), base.get(), &work).ok());
  std::mt19937 random(7);
  std::map<std::string, int64_t> counts;
  for (int i = 0; i < 9000; ++i) {
    const auto r = static_cast<unsigned>(random());
    // (Built piece by piece: chained + trips a false -Wrestrict in g++ 12.)
    std::string host = "h";
    host.append(std::to_string(r % 5)).append(".o");
    host.append(std::to_string(r / 5 % 3000)).append(".jp");
    if (r % 11 == 0) host = "10.0." + std::to_string(r % 7);
    if (r % 13 == 0) host = "2001:db8::" + std::to_string(r % 7);
    counts[host] += r % 3 + 1;
  }
  // Hosts arrive in name order, a blank after each name deciding prefixes.
  const Rows hosts(counts.begin(), counts.end());
  const Rows want = ExchangeSorted(hosts);
  for (size_t memory : {size_t{1} << 20, size_t{4} << 10}) {
    NameTally names(work.get(), memory);
    for (const auto& [host, n] : hosts) {
      ASSERT_TRUE(names.AddHost(host, n).ok());
    }
    PeriodTally tally;
    ASSERT_TRUE(names.Finish(&tally).ok());
    Rows got;
    for (const RankEntry& e : tally.organisations.entries) {
      if (e.count == 0) break;
      got.emplace_back(std::string(e.view().bytes), e.count);
    }
    EXPECT_EQ(got, want) << memory;
  }
}

TEST(LabelOrganisationTest, NumericAddressesCountForNone) {
  const std::pair<const char*, const char*> cases[] = {
      {"p1.tokyo.ocn.ne.jp", "ne.jp"},
      {"example.jp", "example.jp"},
      {"localhost", "localhost"},
      {"1.2.3.4", ""},
      {"host-1.2", "host-1.2"},  // a name whose tail has letters
      {"2001:db8::1", ""},
      {"::ffff:192.0.2.1", ""},
      {"fe80::1%eth0", ""},
      {"a.b:8080", ""},  // no IPv6 address, but no name either
  };
  for (const auto& [host, want] : cases) {
    EXPECT_EQ(LabelOrganisation(host), want) << host;
  }
}

}  // namespace
}  // namespace tovex
