#include "resolve/asn_names.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
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

// A database of our own making: networks as (IPv4 address, prefix, AS),
// the ASes named as given, laid out as libloc writes version 1.
class TinyDatabase {
 public:
  void AddNetwork(const uint8_t (&v4)[4], int prefix, uint32_t asn) {
    uint8_t bits[16] = {};
    bits[10] = bits[11] = 0xff;
    std::memcpy(bits + 12, v4, 4);
    uint32_t node = 0;
    for (int depth = 0; depth < 96 + prefix; ++depth) {
      const size_t bit = bits[depth / 8] >> (7 - depth % 8) & 1u;
      uint32_t& child = nodes_[node][bit];
      if (child == 0) {
        child = static_cast<uint32_t>(nodes_.size());
        nodes_.push_back({0, 0, kNone});
      }
      node = nodes_[node][bit];  // push_back moved the vector
    }
    nodes_[node][2] = static_cast<uint32_t>(networks_.size());
    networks_.push_back(asn);
  }
  void NameAs(uint32_t number, const std::string& name) {
    ases_.emplace_back(number, pool_.size());
    pool_ += name + '\0';
  }
  std::vector<std::array<uint32_t, 3>>& nodes() { return nodes_; }

  std::string Bytes(int version = 1) const {
    std::string tree, networks, ases;
    for (const auto& n : nodes_) Put(&tree, {n[0], n[1], n[2]});
    for (uint32_t asn : networks_) Put(&networks, {0, asn, 0});
    for (const auto& [number, name] : ases_) {
      Put(&ases, {number, static_cast<uint32_t>(name)});
    }
    std::string head(8 + 4192, '\0');
    std::memcpy(head.data(), "LOCDBXX", 7);
    head[7] = static_cast<char>(version);
    std::string file = head;
    const std::string* sections[] = {&ases, &networks, &tree, &pool_};
    const size_t at[] = {28, 36, 44, 60};
    for (size_t i = 0; i < 4; ++i) {
      std::string where;
      Put(&where, {static_cast<uint32_t>(file.size()),
                   static_cast<uint32_t>(sections[i]->size())});
      file.replace(at[i], 8, where);
      file += *sections[i];
    }
    return file;
  }

 private:
  static constexpr uint32_t kNone = 0xffffffff;
  static void Put(std::string* out, std::initializer_list<uint32_t> numbers) {
    for (uint32_t n : numbers) {
      for (int shift = 24; shift >= 0; shift -= 8) {
        out->push_back(static_cast<char>(n >> shift & 0xff));
      }
    }
  }

  std::vector<std::array<uint32_t, 3>> nodes_ = {{0, 0, kNone}};
  std::vector<uint32_t> networks_;
  std::vector<std::pair<uint32_t, size_t>> ases_;
  std::string pool_ = std::string(1, '\0');
};

TEST(AsnNamesTest, DeepestNetworkOfATinyDatabase) {
  TinyDatabase tiny;
  tiny.AddNetwork({10, 0, 0, 0}, 8, 64500);
  tiny.AddNetwork({10, 1, 0, 0}, 16, 64501);
  tiny.AddNetwork({10, 2, 0, 0}, 16, 0);  // a network without an AS
  tiny.NameAs(64500, "Ten");
  TempDir dir;
  WriteFileOrDie(dir.path() + "tiny.db", tiny.Bytes());
  std::unique_ptr<AsnNames> names;
  ASSERT_TRUE(AsnNames::Open(dir.path() + "tiny.db", &names).ok());
  const std::pair<const char*, const char*> cases[] = {
      {"10.9.9.9", "AS64500 Ten"},
      {"10.1.2.3", "AS64501"},
      {"10.2.0.1", ""},
      {"11.0.0.1", ""},
      {"::a00:1", ""},  // no IPv4-mapped address
  };
  for (const auto& [address, want] : cases) {
    std::string out;
    EXPECT_EQ(names->Lookup(address, &out), *want != '\0') << address;
    EXPECT_EQ(out, want) << address;
  }
}

// A file that is no database, or not the one the header describes, fails
// Open or a lookup, and never reads beyond the file or loops.
TEST(AsnNamesTest, HostileFilesFailCleanly) {
  TinyDatabase tiny;
  tiny.AddNetwork({10, 0, 0, 0}, 8, 64500);
  tiny.NameAs(64500, "Ten");
  const std::string good = tiny.Bytes();
  TinyDatabase looped = tiny;
  looped.nodes().back()[0] = looped.nodes().back()[1] = 1;  // back up
  TinyDatabase astray = tiny;
  astray.nodes().back()[0] = astray.nodes().back()[1] = 1 << 30;
  astray.nodes().back()[2] = 1 << 30;
  const struct {
    const char* name;
    std::string bytes;
    Status::Code open;
    const char* answer = "";  // for 10.1.1.1, when it opens
  } cases[] = {
      {"none", "", Status::Code::kCannotOpen},
      {"empty", std::string(), Status::Code::kCannotRead},
      {"junk", std::string(4096, 'x'), Status::Code::kCannotRead},
      {"head only", good.substr(0, 100), Status::Code::kCannotRead},
      {"cut short", good.substr(0, good.size() - 3), Status::Code::kCannotRead},
      {"version 2", tiny.Bytes(2), Status::Code::kCannotRead},
      // The walk ends after 128 bits, the network met on the way found.
      {"looped", looped.Bytes(), Status::Code::kOk, "AS64500 Ten"},
      {"astray", astray.Bytes(), Status::Code::kOk},
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
