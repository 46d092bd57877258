#include "tally/organisation_rule.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "resolve/host_name.h"
#include "tally/tally.h"

namespace tovex {
namespace {

TEST(OrganisationOptionsTest, ValuesAndTheirCanonicalText) {
  const struct {
    const char* organisations;
    const char* resolve;
    bool ok;
    const char* text;
  } cases[] = {
      {"", "", true, ""},
      {"labels", "", true, ""},
      {"domain", "", true, "organisations=domain"},
      {"", "asn", true, "resolve=asn"},
      {"domain", "asn", true, "organisations=domain;resolve=asn"},
      {"labels", "asn", true, "resolve=asn"},
      {"Domain", "", false, ""},
      {"domains", "", false, ""},
      {"", "dns", false, ""},  // not yet
      {"", "ASN", false, ""},
  };
  for (const auto& c : cases) {
    OrganisationOptions options;
    const bool ok = ParseOrganisationsValue(c.organisations, &options).empty() &&
                    ParseResolveValue(c.resolve, &options).empty();
    EXPECT_EQ(ok, c.ok) << c.organisations << " " << c.resolve;
    if (ok) {
      EXPECT_EQ(OrganisationOptionsText(options), c.text);
    }
  }
}

// Against the installed public suffix list and libloc database.
TEST(OrganisationRuleTest, EachRuleOverNamesAndAddresses) {
  std::unique_ptr<PublicSuffixes> domains;
  std::unique_ptr<AsnNames> asn;
  ASSERT_TRUE(PublicSuffixes::Open(&domains).ok());
  const Status s = AsnNames::Open(kAsnDatabasePath, &asn);
  if (s.code() == Status::Code::kCannotOpen) GTEST_SKIP() << s.Message();
  ASSERT_TRUE(s.ok()) << s.Message();
  const OrganisationRule by_domain(domains.get(), nullptr);
  const OrganisationRule by_asn(nullptr, asn.get());
  const OrganisationRule by_both(domains.get(), asn.get());
  const struct {
    const char* host;
    const char* labels;
    const char* domain;
    const char* asn;  // with and without domains
  } cases[] = {
      {"p1234-ipbf.tokyo.ocn.ne.jp", "ne.jp", "ocn.ne.jp", "ne.jp"},
      {"www.u-tokyo.ac.jp", "ac.jp", "u-tokyo.ac.jp", "ac.jp"},
      {"a_b.example.co.uk", "co.uk", "co.uk", "co.uk"},  // no host name
      {"localhost", "localhost", "localhost", "localhost"},
      {"210.130.1.1", "", "", "AS2497 Internet Initiative Japan Inc."},
      {"2001:240::1", "", "", "AS2497 Internet Initiative Japan Inc."},
      {"10.1.1.1", "", "", ""},
      {"::1", "", "", ""},
  };
  for (const auto& c : cases) {
    std::string scratch;
    EXPECT_EQ(LabelOrganisation(c.host), c.labels) << c.host;
    EXPECT_EQ(by_domain.Of(c.host, &scratch), c.domain) << c.host;
    const bool named = !IsNumericAddress(c.host);
    EXPECT_EQ(by_asn.Of(c.host, &scratch), named ? c.labels : c.asn) << c.host;
    EXPECT_EQ(by_both.Of(c.host, &scratch), named ? c.domain : c.asn)
        << c.host;
  }
}

}  // namespace
}  // namespace tovex
