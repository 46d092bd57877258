#include "tally/organisation_rule.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tally/tally.h"

namespace tovex {
namespace {

TEST(OrganisationOptionsTest, ValuesAndTheirCanonicalText) {
  const struct {
    const char* organisations;
    const char* resolve;
    const char* text;  // null: refused
  } cases[] = {
      {"", "", ""},
      {"labels", "", ""},
      {"domain", "", "organisations=domain"},
      {"labels", "asn", "resolve=asn"},
      {"domain", "asn", "organisations=domain;resolve=asn"},
      {"Domain", "", nullptr},
      {"", "dns", "resolve=dns"},
      {"domain", "asn,dns", "organisations=domain;resolve=dns,asn"},
      {"", "dns,dns", nullptr},
      {"", "DNS", nullptr},
  };
  for (const auto& c : cases) {
    OrganisationOptions options;
    const bool ok =
        ParseOrganisationsValue(c.organisations, &options).empty() &&
        ParseResolveValue(c.resolve, &options).empty();
    EXPECT_EQ(ok, c.text != nullptr) << c.organisations << " " << c.resolve;
    if (ok) {
      EXPECT_EQ(OrganisationOptionsText(options), c.text);
    }
  }
}

// Against the installed public suffix list and libloc database.
TEST(OrganisationRuleTest, NamesByDomainAddressesByAs) {
  std::unique_ptr<PublicSuffixes> domains;
  std::unique_ptr<AsnNames> asn;
  ASSERT_TRUE(PublicSuffixes::Open(&domains).ok());
  const Status s = AsnNames::Open(kAsnDatabasePath, &asn);
  if (s.code() == Status::Code::kCannotOpen) GTEST_SKIP() << s.Message();
  const OrganisationRule by_domain(domains.get(), nullptr);
  const OrganisationRule by_both(domains.get(), asn.get());
  const struct {
    const char* host;
    const char* domain;
    const char* both;
  } cases[] = {
      {"p1234-ipbf.tokyo.ocn.ne.jp", "ocn.ne.jp", "ocn.ne.jp"},
      {"a_b.example.co.uk", "co.uk", "co.uk"},  // the last two labels
      {"localhost", "localhost", "localhost"},
      {"210.130.1.1", "", "AS2497 Internet Initiative Japan Inc."},
      {"210.130.1.1", "", "AS2497 Internet Initiative Japan Inc."},  // again
      {"2001:240::1", "", "AS2497 Internet Initiative Japan Inc."},
      {"10.1.1.1", "", ""},
      {"::1", "", ""},
  };
  for (const auto& c : cases) {
    std::string scratch;
    EXPECT_EQ(by_domain.Of(c.host, &scratch), c.domain) << c.host;
    EXPECT_EQ(by_both.Of(c.host, &scratch), c.both) << c.host;
  }
}

}  // namespace
}  // namespace tovex
