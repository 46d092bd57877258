#include "filter/host_filter.h"

#include <gtest/gtest.h>

#include <string>

namespace tovex {
namespace {

TEST(IpAddressTest, Parse) {
  struct Case {
    std::string text;
    bool ok, v4;
    std::string hex;  // the 16 bytes
  } cases[] = {
      {"192.0.2.1", true, true, "00000000000000000000ffffc0000201"},
      {"::ffff:192.0.2.1", true, true, "00000000000000000000ffffc0000201"},
      {"::FFFF:c000:0201", true, true, "00000000000000000000ffffc0000201"},
      {"2001:db8::1", true, false, "20010db8000000000000000000000001"},
      {"2001:DB8:0:0:0:0:0:1", true, false, "20010db8000000000000000000000001"},
      {"::", true, false, "00000000000000000000000000000000"},
      {"::1", true, false, "00000000000000000000000000000001"},
      {"1::", true, false, "00010000000000000000000000000000"},
      {"64:ff9b::192.0.2.1", true, false, "0064ff9b0000000000000000c0000201"},
      {"1:2:3:4:5:6:7:8", true, false, "00010002000300040005000600070008"},
      {"1:2:3:4:5:6:7::", true, false, "00010002000300040005000600070000"},
  };
  for (const Case& c : cases) {
    HostAddress a;
    ASSERT_EQ(ParseHostAddress(c.text, &a), c.ok) << c.text;
    std::string hex;
    for (uint8_t b : a.bytes) {
      hex += "0123456789abcdef"[b >> 4];
      hex += "0123456789abcdef"[b & 15];
    }
    EXPECT_EQ(hex, c.hex) << c.text;
    EXPECT_EQ(a.v4, c.v4) << c.text;
  }
  for (std::string_view bad : {"",
                               "1.2.3",
                               "1.2.3.4.5",
                               "256.1.1.1",
                               "01.2.3.4",
                               "1.2.3.4 ",
                               "1..2.3",
                               ":",
                               ":::",
                               "1:2",
                               "1::2::3",
                               "12345::",
                               "1:2:3:4:5:6:7:8:9",
                               "1:2:3:4:5:6:7:8::",
                               "::1.2.3",
                               "::1.2.3.4:5",
                               "fe80::1%eth0",
                               "[::1]",
                               "g::1",
                               "1:2:3:4:5:6:7:1.2.3.4"}) {
    HostAddress a;
    EXPECT_FALSE(ParseHostAddress(bad, &a)) << bad;
  }
}

TEST(HostFilterTest, Matches) {
  HostFilter f;
  ASSERT_EQ(f.Add("10.0.0.0/8, 192.0.2.7,2001:db8::/32"), "");
  ASSERT_EQ(f.Add("*.Example.co.jp,crawler.test,::ffff:198.51.100.0/120"), "");
  struct Case {
    std::string host;
    bool match;
  } cases[] = {
      {"10.1.2.3", true},
      {"11.0.0.1", false},
      {"::ffff:10.9.9.9", true},  // mapped: an IPv4 client
      {"192.0.2.7", true},
      {"192.0.2.8", false},
      {"2001:DB8:ffff::1", true},
      {"2001:db9::1", false},
      {"198.51.100.200", true},
      {"198.51.101.1", false},
      {"a.example.co.jp", true},
      {"X.Y.EXAMPLE.CO.JP", true},
      {"example.co.jp", false},
      {"badexample.co.jp", false},
      {"crawler.test", true},
      {"CRAWLER.TEST", true},
      {"www.crawler.test", false},
      {"10.0.0.1.example.co.jp", true},
      {"-", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(f.Matches(c.host), c.match) << c.host;
  // An IPv6 range does not take IPv4 clients, nor an IPv4 one IPv6 ones.
  HostFilter all;
  ASSERT_EQ(all.Add("::/0"), "");
  EXPECT_TRUE(all.Matches("2001:db8::1"));
  EXPECT_FALSE(all.Matches("192.0.2.1"));
  ASSERT_EQ(all.Add("0.0.0.0/0"), "");
  EXPECT_TRUE(all.Matches("::ffff:192.0.2.1"));
}

TEST(HostFilterTest, UsageErrors) {
  struct Case {
    std::string list, error;
  } cases[] = {
      {"10.0.0.0/8,,1.2.3.4", "empty item in \"10.0.0.0/8,,1.2.3.4\""},
      {"1.2.3.4,", "empty item in \"1.2.3.4,\""},
      {"10.0.0.0/33", "\"10.0.0.0/33\": prefix length 33 out of range 0..32"},
      {"::/129", "\"::/129\": prefix length 129 out of range 0..128"},
      {"10.0.0.0/", "\"10.0.0.0/\": malformed CIDR range"},
      {"10.0.0.0/a", "\"10.0.0.0/a\": malformed CIDR range"},
      {"10.0.0.0/0008", "\"10.0.0.0/0008\": malformed CIDR range"},
      {"example.jp/8", "\"example.jp/8\": malformed CIDR range"},
      {"192.168.1.0/2", "\"192.168.1.0/2\": bits set past the prefix length"},
      {"2001:db8::1/32", "\"2001:db8::1/32\": bits set past the prefix length"},
      {"1.2.3", "\"1.2.3\": malformed address"},
      {"300.1.1.1", "\"300.1.1.1\": malformed address"},
      {"2001:db8:::1", "\"2001:db8:::1\": malformed address"},
  };
  for (const Case& c : cases) {
    HostFilter f;
    EXPECT_EQ(f.Add(c.list), c.error) << c.list;
  }
  for (std::string_view bad :
       {"*", "*.", "a.*.jp", "*example.jp", "ex ample.jp", "a..jp", ".jp",
        "jp.", "<b>.jp", "\xe4\xbe\x8b.jp"}) {
    HostFilter f;
    const std::string error = f.Add(bad);
    EXPECT_TRUE(
        error.ends_with(": bad name pattern (a host name, or \"*.\" "
                        "before one)"))
        << bad << ": " << error;
  }
}

}  // namespace
}  // namespace tovex
