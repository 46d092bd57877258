#include "resolve/asn_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// A database of a header, a tree (three numbers a node) and networks (one
// AS each), laid out as libloc writes version 1.
std::string Database(const std::vector<uint32_t>& tree,
                     const std::vector<uint32_t>& asns, char version = 1) {
  std::string file(8 + 4192, '\0');
  std::memcpy(file.data(), "LOCDBXX", 7);
  file[7] = version;
  const auto put = [&file](size_t at, size_t n) {
    for (size_t i = 0; i < 4; ++i)
      file[at + i] = static_cast<char>(n >> (24 - 8 * i));
  };
  put(44, file.size());  // the tree
  put(48, tree.size() * 4);
  file.resize(file.size() + tree.size() * 4);
  for (size_t i = 0; i < tree.size(); ++i)
    put(file.size() - tree.size() * 4 + i * 4, tree[i]);
  put(36, file.size());  // the networks: country, AS, flags
  put(40, asns.size() * 12);
  for (uint32_t asn : asns) {
    file.resize(file.size() + 12);
    put(file.size() - 8, asn);
  }
  return file;
}

// A file that is no database, or not the one its header describes, fails
// Open or a lookup, and is never read beyond its end or walked in a loop.
TEST(AsnNamesTest, HostileFilesFailCleanly) {
  constexpr uint32_t kNone = 0xffffffff;
  const std::string looped = Database({1, 1, kNone, 1, 1, 0}, {64500});
  // Past ::ffff:0:0/96, then to a node beyond the tree.
  std::vector<uint32_t> astray;
  for (uint32_t i = 1; i <= 98; ++i) astray.insert(astray.end(), {i, i, kNone});
  const struct {
    const char* name;
    std::string bytes;
    Status::Code open;
    const char* answer = "";  // for 10.1.1.1, when it opens
  } cases[] = {
      {"none", "", Status::Code::kCannotOpen},
      {"empty", std::string(), Status::Code::kCannotRead},
      {"junk", std::string(4096, 'x'), Status::Code::kCannotRead},
      {"head only", looped.substr(0, 100), Status::Code::kCannotRead},
      {"cut short", looped.substr(0, looped.size() - 3),
       Status::Code::kCannotRead},
      {"version 2", Database({0, 0, kNone}, {}, 2), Status::Code::kCannotRead},
      {"no tree", Database({}, {}), Status::Code::kCannotRead},
      // The walk ends after 128 bits, the network met on the way found.
      {"looped", looped, Status::Code::kOk, "AS64500"},
      {"astray", Database(astray, {}), Status::Code::kOk},
      {"astray network", Database({1, 1, kNone, 1, 1, 7}, {1}),
       Status::Code::kOk},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.path() + c.name;
    if (c.open != Status::Code::kCannotOpen) WriteFileOrDie(path, c.bytes);
    std::unique_ptr<AsnNames> names;
    EXPECT_EQ(AsnNames::Open(path, &names).code(), c.open) << c.name;
    EXPECT_EQ(names != nullptr, c.open == Status::Code::kOk) << c.name;
    if (names == nullptr) continue;
    std::string out;
    EXPECT_EQ(names->Lookup("10.1.1.1", &out), *c.answer != '\0') << c.name;
    EXPECT_EQ(out, c.answer) << c.name;
  }
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
