// Our reader of libloc's database against libloc's own answers, where
// libloc is installed (CMake adds this test only then).

// libloc 0.9's headers, but libloc.h, declare no C linkage of their own.
extern "C" {
#include <libloc/as.h>
#include <libloc/database.h>
#include <libloc/libloc.h>
#include <libloc/network.h>
}

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "resolve/asn_names.h"

namespace tovex {
namespace {

// libloc's answer in AsnNames's form; empty for none.
std::string LibLocAnswer(loc_database* db, const in6_addr& key) {
  loc_network* network = nullptr;
  if (loc_database_lookup(db, &key, &network) != 0 || !network) return "";
  const uint32_t number = loc_network_get_asn(network);
  loc_network_unref(network);
  if (number == 0) return "";
  std::string out = "AS" + std::to_string(number);
  loc_as* as = nullptr;
  if (loc_database_get_as(db, &as, number) == 0 && as != nullptr) {
    const char* name = loc_as_get_name(as);
    if (name != nullptr && *name != '\0') out.append(" ").append(name);
    loc_as_unref(as);
  }
  return out;
}

// Random addresses over all of IPv4 and over 2000::/3, half of these in
// the first /32s, where IPv6 networks are dense.
TEST(AsnNamesLibLocTest, SameAnswersAsLibLoc) {
  std::FILE* f = std::fopen(kAsnDatabasePath, "rb");
  if (f == nullptr) GTEST_SKIP() << "no database at " << kAsnDatabasePath;
  loc_ctx* ctx = nullptr;
  loc_database* db = nullptr;
  ASSERT_EQ(loc_new(&ctx), 0);
  ASSERT_EQ(loc_database_new(ctx, &db, f), 0);
  std::fclose(f);
  std::unique_ptr<AsnNames> names;
  ASSERT_TRUE(AsnNames::Open(kAsnDatabasePath, &names).ok());
  std::mt19937 random(2497);
  int named = 0;
  for (int i = 0; i < 20000; ++i) {
    in6_addr key{};
    for (auto& b : key.s6_addr) b = static_cast<uint8_t>(random());
    char text[INET6_ADDRSTRLEN];
    if (i % 2 == 0) {
      std::fill(key.s6_addr, key.s6_addr + 10, 0);
      key.s6_addr[10] = key.s6_addr[11] = 0xff;
      inet_ntop(AF_INET, key.s6_addr + 12, text, sizeof text);
    } else {
      key.s6_addr[0] = static_cast<uint8_t>(0x20 | (key.s6_addr[0] & 0x1f));
      if (i % 4 == 1) std::fill(key.s6_addr + 4, key.s6_addr + 8, 0);
      inet_ntop(AF_INET6, key.s6_addr, text, sizeof text);
    }
    const std::string want = LibLocAnswer(db, key);
    std::string got;
    EXPECT_EQ(names->Lookup(text, &got), !want.empty()) << text;
    EXPECT_EQ(got, want) << text;
    named += !want.empty();
  }
  EXPECT_GT(named, 5000);  // else the comparison shows little
  loc_database_unref(db);
  loc_unref(ctx);
}

}  // namespace
}  // namespace tovex
