// Which organisation a client host counts for, as a run's options choose:
// the last two labels of its name (the default), the registrable domain of
// its name (--organisations domain), and for a numeric client the
// autonomous system its address belongs to (--resolve asn).

#ifndef TOVEX_TALLY_ORGANISATION_RULE_H_
#define TOVEX_TALLY_ORGANISATION_RULE_H_

#include <string>
#include <string_view>

#include "resolve/asn_names.h"
#include "resolve/public_suffix.h"

namespace tovex {

// The organisation options of a run, as its settings and command line give
// them.
struct OrganisationOptions {
  bool domains = false;  // ORGANISATIONS=domain, --organisations domain
  bool asn = false;      // RESOLVE=asn, --resolve asn
  bool dns = false;      // RESOLVE=dns, --resolve dns (job/resolve_names.cc)

  bool operator==(const OrganisationOptions&) const = default;
};

// Take the value of ORGANISATIONS= (--organisations): "labels" or empty
// for the last two labels, "domain"; and of RESOLVE= (--resolve): empty
// for none, "asn", "dns" or both ("dns,asn": names where DNS confirms one,
// the rest by their autonomous system). Each returns an error text saying what the key takes,
// `*options` untouched, or empty.
std::string ParseOrganisationsValue(std::string_view value,
                                    OrganisationOptions* options);
std::string ParseResolveValue(std::string_view value,
                              OrganisationOptions* options);

// The options that change what is counted, as one canonical text:
// "organisations=domain", "resolve=dns", "resolve=asn" or
// "resolve=dns,asn", the two joined by ";" in that order, and empty for
// the default. Two runs whose texts differ count different
// organisations for the same log.
std::string OrganisationOptionsText(const OrganisationOptions& options);

// The rule, chosen once per run; a NameTally asks it for every host of a
// period. It owns neither list: both outlive it.
class OrganisationRule {
 public:
  // `domains`, when given, names a host name by its registrable domain;
  // `asn`, when given, names a numeric client (IPv4 or IPv6) by its AS.
  OrganisationRule(const PublicSuffixes* domains, const AsnNames* asn)
      : domains_(domains), asn_(asn) {}

  // The organisation `host` counts for; empty when it counts for none: a
  // numeric client without `asn` (LabelOrganisation), or one the database
  // puts in no AS. A name the public suffix list cannot read (a label with
  // "_") keeps its last two labels. An AS name is cut to kRankTextBytes,
  // between UTF-8 characters. Points into `host` or into `*scratch`, whose
  // capacity is reused. One thread at a time: it remembers the last
  // address it looked up.
  std::string_view Of(std::string_view host, std::string* scratch) const;

 private:
  // The AS of `address`, cut, into `*out`; false for none.
  bool AsnOf(std::string_view address, std::string* out) const;

  const PublicSuffixes* domains_;
  const AsnNames* asn_;
  // A host's days, then its month, then (much later) the whole log ask in
  // turn: the last answer is the next one's at least once in two.
  mutable std::string last_address_;
  mutable std::string last_asn_;
  mutable bool last_found_ = false;
};

}  // namespace tovex

#endif  // TOVEX_TALLY_ORGANISATION_RULE_H_
