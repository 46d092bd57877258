#include "resolve/asn_names.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/fake_platform.h"
#include "resolve/public_suffix.h"

namespace tovex {
namespace {

// Against Debian's libloc-database (0~20221029) as installed.
TEST(AsnNamesTest, NamesFromTheInstalledDatabase) {
  std::unique_ptr<AsnNames> names;
  const Status s = AsnNames::Open(kAsnDatabasePath, &names);
  if (s.code() == Status::Code::kCannotOpen) GTEST_SKIP() << s.Message();
  ASSERT_TRUE(s.ok()) << s.Message();
  const std::pair<const char*, const char*> cases[] = {
      {"210.130.1.1", "AS2497 Internet Initiative Japan Inc."},
      {"::ffff:210.130.1.1", "AS2497 Internet Initiative Japan Inc."},
      {"2001:240::1", "AS2497 Internet Initiative Japan Inc."},
      {"8.8.8.8", "AS15169 GOOGLE"},
      {"133.11.0.1", "AS2501"},  // an AS the database does not name
      {"127.0.0.1", ""},
      {"10.1.1.1", ""},
      {"192.0.2.1", ""},
      {"::1", ""},
      {"www.example.jp", ""},
  };
  for (const auto& [address, want] : cases) {
    std::string out = "";
    EXPECT_EQ(names->Lookup(address, &out), *want != '\0') << address;
    EXPECT_EQ(out, want) << address;
  }
}

TEST(AsnNamesTest, OpenTellsAMissingFileFromAForeignOne) {
  TempDir dir;
  WriteFileOrDie(dir.path() + "junk.db", std::string(4096, 'x'));
  std::unique_ptr<AsnNames> names;
  EXPECT_EQ(AsnNames::Open(dir.path() + "none.db", &names).code(),
            Status::Code::kCannotOpen);
  EXPECT_EQ(AsnNames::Open(dir.path() + "junk.db", &names).code(),
            Status::Code::kCannotRead);
  EXPECT_EQ(names, nullptr);
}

TEST(PublicSuffixTest, RegistrableDomainOrTheWholeName) {
  std::unique_ptr<PublicSuffixes> list;
  ASSERT_TRUE(PublicSuffixes::Open(&list).ok());
  const std::pair<const char*, const char*> cases[] = {
      {"p1234-ipbf.tokyo.ocn.ne.jp", "ocn.ne.jp"},
      {"www.u-tokyo.ac.jp", "u-tokyo.ac.jp"},
      {"foo.bar.tokyo.jp", "bar.tokyo.jp"},
      {"a.b.kawasaki.jp", "a.b.kawasaki.jp"},        // *.kawasaki.jp
      {"www.city.kawasaki.jp", "city.kawasaki.jp"},  // !city.kawasaki.jp
      {"a.b.xn--1lqs71d.jp", "b.xn--1lqs71d.jp"},    // 東京.jp
      {"foo.blogspot.com", "foo.blogspot.com"},      // a private suffix
      {"WWW.Example.COM.", "Example.COM"},
      {"ne.jp", "ne.jp"},
      {"jp", "jp"},
      {"localhost", "localhost"},
      {"host.unknown-tld", "host.unknown-tld"},
      {"192.0.2.1", ""},
      {"2001:db8::1", ""},
      {"a_b.example.jp", ""},
      {"", ""},
  };
  for (const auto& [name, want] : cases) {
    EXPECT_EQ(list->RegistrableDomain(name), want) << name;
  }
}

}  // namespace
}  // namespace tovex
