#include "tally/organisation_rule.h"

#include <algorithm>

#include "resolve/host_name.h"
#include "tally/tally.h"

namespace tovex {

std::string ParseOrganisationsValue(std::string_view value,
                                    OrganisationOptions* options) {
  if (value.empty() || value == "labels") {
    options->domains = false;
  } else if (value == "domain") {
    options->domains = true;
  } else {
    return "takes labels or domain";
  }
  return std::string();
}

std::string ParseResolveValue(std::string_view value,
                              OrganisationOptions* options) {
  if (value.empty()) {
    options->asn = false;
  } else if (value == "asn") {
    options->asn = true;
  } else {
    return "takes asn";
  }
  return std::string();
}

std::string OrganisationOptionsText(const OrganisationOptions& options) {
  std::string text;
  if (options.domains) text = "organisations=domain";
  if (options.asn) text += text.empty() ? "resolve=asn" : ";resolve=asn";
  return text;
}

std::string_view OrganisationRule::Of(std::string_view host,
                                      std::string* scratch) const {
  if (asn_ != nullptr && IsNumericAddress(host)) {
    if (!asn_->Lookup(host, scratch)) return std::string_view();
    // A ranked text holds no more; a cut character would show as garbage.
    size_t size = std::min(scratch->size(), kRankTextBytes);
    if (size < scratch->size()) {
      while (size > 0 && ((*scratch)[size] & 0xc0) == 0x80) --size;
    }
    return std::string_view(*scratch).substr(0, size);
  }
  if (domains_ != nullptr) {
    const std::string_view domain = domains_->RegistrableDomain(host);
    if (!domain.empty()) return domain;
  }
  return LabelOrganisation(host);
}

}  // namespace tovex
