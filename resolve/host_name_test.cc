#include "resolve/host_name.h"

#include <gtest/gtest.h>

#include <string>

namespace tovex {
namespace {

TEST(HostNameTest, SyntaxAndNormalForm) {
  const std::string label63(63, 'a');
  const std::string name253 =
      label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
  struct Case {
    std::string in;
    bool ok;
    std::string normal;  // when ok
  } cases[] = {
      {"Host-1.Example.JP.", true, "host-1.example.jp"},
      {"localhost", true, "localhost"},
      {label63 + ".jp", true, label63 + ".jp"},
      {"a" + label63 + ".jp", false, ""},  // label of 64
      {name253, true, name253},
      {name253 + "b", false, ""},  // 254 bytes
      {name253 + ".", true, name253},
      {"a..b", false, ""},
      {".a", false, ""},
      {"a.b..", false, ""},  // only one trailing dot goes
      {"", false, ""},
      {".", false, ""},
      {"under_score.jp", false, ""},
      {"<b>x</b>.jp", false, ""},
      {"tab\t.jp", false, ""},
      {std::string("nul\0x.jp", 8), false, ""},
      {"caf\xc3\xa9.jp", false, ""},
      {"a\\.b.jp", false, ""},   // how c-ares writes a dot inside a label
      {"192.0.2.1", false, ""},  // reads as an address
      {"1.2.3.4.example", true, "1.2.3.4.example"},
      {"123", false, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(NormaliseHostName(c.in, &out), c.ok) << c.in;
    if (c.ok) {
      EXPECT_EQ(out, c.normal);
      EXPECT_TRUE(IsNormalHostName(out));
    }
  }
  EXPECT_FALSE(IsNormalHostName("Example.jp"));
}

TEST(HostNameTest, AddressesAndTheirReverseNames) {
  struct Case {
    const char* text;
    bool ok;
    const char* reverse;
  } cases[] = {
      {"192.0.2.1", true, "1.2.0.192.in-addr.arpa"},
      {"10.200.0.255", true, "255.0.200.10.in-addr.arpa"},
      {"::ffff:192.0.2.7", true, "7.2.0.192.in-addr.arpa"},
      {"2001:DB8::1", true,
       "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6."
       "arpa"},
      {"192.0.2", false, ""},
      {"192.0.2.1.", false, ""},
      {"256.0.0.1", false, ""},
      {" 192.0.2.1", false, ""},
      {"fe80::1%eth0", false, ""},
      {"[2001:db8::1]", false, ""},
      {"example.jp", false, ""},
      {"", false, ""},
      {"1111:2222:3333:4444:5555:6666:255.255.255.255x", false, ""},
  };
  for (const Case& c : cases) {
    IpAddress ip;
    ASSERT_EQ(ParseAddress(c.text, &ip), c.ok) << c.text;
    if (!c.ok) continue;
    char reverse[kReverseNameBytes];
    ReverseName(ip, reverse);
    EXPECT_STREQ(reverse, c.reverse);
  }
}

}  // namespace
}  // namespace tovex
