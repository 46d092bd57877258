#include "resolve/resolve_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix_platform.h"
#include "platform/testing/fake_platform.h"
#include "resolve/testing/dns_servers.h"

namespace tovex {
namespace {

constexpr int64_t kT = 1700000000;

class ListAddresses : public AddressSource {
 public:
  explicit ListAddresses(std::vector<std::string> list)
      : list_(std::move(list)) {}
  bool Next(std::string_view* address) override {
    if (next_ == list_.size()) return false;
    *address = list_[next_++];
    return true;
  }

 private:
  std::vector<std::string> list_;
  size_t next_ = 0;
};

// One run of the pass with the cache file `dir`names, which it replaces.
class PassTest : public ::testing::Test {
 protected:
  ResolveCounts Pass(uint16_t port, std::vector<std::string> addresses,
                     int64_t now) {
    const std::string path = dir_.path() + "names";
    std::unique_ptr<NameCacheReader> old;
    if (auto file = fs_.OpenRead(path, nullptr)) {
      EXPECT_TRUE(NameCacheReader::Open(std::move(file), path, &old).ok());
    }
    auto folder = fs_.OpenFolder(dir_.path(), nullptr);
    NameCacheWriter writer(folder->CreateNew("names.new", nullptr), path);
    DnsOptions options;
    options.server = DnsServer{};
    ParseDnsServer("127.0.0.1:" + std::to_string(port), &*options.server);
    options.budget = std::chrono::milliseconds(3000);
    std::unique_ptr<DnsResolver> resolver;
    EXPECT_TRUE(DnsResolver::Create(options, &resolver).ok());
    ListAddresses source(std::move(addresses));
    ResolveCounts counts;
    EXPECT_TRUE(ResolveAddresses(&source, old.get(), &writer, resolver.get(),
                                 now, &counts)
                    .ok());
    EXPECT_TRUE(writer.Close().ok());
    EXPECT_TRUE(folder->Rename("names.new", folder.get(), "names", nullptr));
    return counts;
  }

  std::string Cache() { return ReadFileOrEmpty(dir_.path() + "names"); }

  TempDir dir_;
  PosixFileSystem fs_;
};

TEST_F(PassTest, ReusesFreshEntriesAndLooksUpTheRest) {
  std::string error;
  auto dnsmasq = Dnsmasq::Start(
      "192.0.2.1 one.test\n192.0.2.99 liar.test\n2001:db8::1 six.test\n",
      {"--ptr-record=2.2.0.192.in-addr.arpa,liar.test"}, &error);
  ASSERT_NE(dnsmasq, nullptr) << error;
  const uint16_t up = dnsmasq->port();
  const uint16_t down = DeadPort();
  const std::string t = std::to_string(kT);
  const std::string t8 = std::to_string(kT + 8 * 86400);
  struct Step {
    uint16_t port;
    int64_t now;
    std::vector<std::string> addresses;
    std::string cache;  // without header and trailer
    uint64_t reused, resolved, confirmed, unanswered, kept;
  } steps[] = {
      // Names and failures are stored; no address, a repeat: passed over.
      {up,
       kT,
       {"192.0.2.1", "192.0.2.1", "192.0.2.2", "192.0.2.200", "2001:db8::1",
        "one.test"},
       "192.0.2.1 " + t + " one.test\n192.0.2.2 " + t +
           " !unconfirmed\n192.0.2.200 " + t + " !none\n2001:db8::1 " + t +
           " six.test\n",
       0,
       4,
       2,
       0,
       0},
      // An hour on, the server stopped: all from the cache.
      {down, kT + 3600, {"192.0.2.1", "192.0.2.200"}, "", 2, 0, 0, 0, 2},
      // Two days on: expired failures are asked again, unanswered, dropped.
      {down,
       kT + 2 * 86400,
       {"192.0.2.1", "192.0.2.2", "192.0.2.3"},
       "192.0.2.1 " + t + " one.test\n2001:db8::1 " + t + " six.test\n",
       1,
       2,
       0,
       2,
       1},
      // Eight days on: the names expired, one is looked up again.
      {up,
       kT + 8 * 86400,
       {"192.0.2.1"},
       "192.0.2.1 " + t8 + " one.test\n",
       0,
       1,
       1,
       0,
       0},
  };
  std::string cache;
  for (const Step& s : steps) {
    const ResolveCounts c = Pass(s.port, s.addresses, s.now);
    if (!s.cache.empty()) cache = s.cache;
    EXPECT_EQ(Cache(),
              "tovex-names 1\n" + cache + "end " +
                  std::to_string(std::count(cache.begin(), cache.end(), '\n')) +
                  "\n");
    EXPECT_EQ(c.reused, s.reused);
    EXPECT_EQ(c.resolved, s.resolved);
    EXPECT_EQ(c.confirmed, s.confirmed);
    EXPECT_EQ(c.unanswered, s.unanswered);
    EXPECT_EQ(c.kept, s.kept);
    EXPECT_TRUE(c.old_cache.ok());
  }
}

TEST_F(PassTest, ADamagedCacheCountsUpToTheDamage) {
  const std::string t = std::to_string(kT);
  WriteFileOrDie(dir_.path() + "names",
                 "tovex-names 1\n192.0.2.1 " + t + " one.test\n192.0.2.5 " + t +
                     " <b>\n192.0.2.6 " + t + " six.test\nend 3\n");
  const ResolveCounts c = Pass(DeadPort(), {"192.0.2.1", "192.0.2.6"}, kT);
  EXPECT_EQ(c.reused, 1u);
  EXPECT_EQ(c.unanswered, 1u);
  EXPECT_EQ(c.old_cache.detail(), "damaged at line 3");
  EXPECT_EQ(Cache(), "tovex-names 1\n192.0.2.1 " + t + " one.test\nend 1\n");
}

TEST_F(PassTest, LookupsInOrderStartOverAtTheTop) {
  const std::string path = dir_.path() + "names";
  WriteFileOrDie(path,
                 "tovex-names 1\n192.0.2.1 1 one.test\n192.0.2.2 1 !none\n"
                 "2001:db8::1 1 six.test\nend 3\n");
  std::unique_ptr<NameCacheReader> reader;
  ASSERT_TRUE(
      NameCacheReader::Open(fs_.OpenRead(path, nullptr), path, &reader).ok());
  SortedNameLookup lookup(std::move(reader));
  const std::pair<const char*, const char*> steps[] = {
      {"192.0.2.1", "one.test"},
      {"192.0.2.1", "one.test"},
      {"192.0.2.15", ""},
      {"192.0.2.2", ""},
      {"2001:db8::1", "six.test"},
      {"zzz", ""},
      {"", "restart"},
      {"192.0.2.1", "one.test"},
      {"2001:db8::1", "six.test"},
      {"192.0.2.1", "one.test"},  // goes back
  };
  for (const auto& [address, name] : steps) {
    if (std::string_view(name) == "restart") {
      EXPECT_TRUE(lookup.Restart().ok());
    } else {
      EXPECT_EQ(lookup.Find(address), name) << address;
    }
  }
  EXPECT_TRUE(lookup.status().ok());
}

}  // namespace
}  // namespace tovex
