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
  bool asn = false, dns = false;
  if (value == "asn") {
    asn = true;
  } else if (value == "dns") {
    dns = true;
  } else if (value == "dns,asn" || value == "asn,dns") {
    asn = dns = true;
  } else if (!value.empty()) {
    return "takes dns, asn or dns,asn";
  }
  options->asn = asn;
  options->dns = dns;
  return std::string();
}

std::string OrganisationOptionsText(const OrganisationOptions& options) {
  std::string text;
  if (options.domains) text = "organisations=domain";
  const char* resolve = options.dns && options.asn ? "resolve=dns,asn"
                        : options.dns               ? "resolve=dns"
                        : options.asn               ? "resolve=asn"
                                                    : nullptr;
  if (resolve != nullptr) {
    if (!text.empty()) text += ';';
    text += resolve;
  }
  return text;
}

bool OrganisationRule::AsnOf(std::string_view address, std::string* out) const {
  if (address != last_address_) {
    last_address_.assign(address);
    last_found_ = asn_->Lookup(address, &last_asn_);
    // A ranked text holds no more; a cut character would show as garbage.
    if (last_found_ && last_asn_.size() > kRankTextBytes) {
      size_t size = kRankTextBytes;
      while (size > 0 && (last_asn_[size] & 0xc0) == 0x80) --size;
      last_asn_.resize(size);
    }
  }
  if (last_found_) out->assign(last_asn_);
  return last_found_;
}

std::string_view OrganisationRule::Of(std::string_view host,
                                      std::string* scratch) const {
  if (asn_ != nullptr && IsNumericAddress(host)) {
    if (!AsnOf(host, scratch)) return std::string_view();
    return *scratch;
  }
  if (domains_ != nullptr) {
    const std::string_view domain = domains_->RegistrableDomain(host);
    if (!domain.empty()) return domain;
  }
  return LabelOrganisation(host);
}

}  // namespace tovex
