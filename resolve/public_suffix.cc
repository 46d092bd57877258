#include "resolve/public_suffix.h"

#include <libpsl.h>

#include <cstring>

#include "resolve/host_name.h"

namespace tovex {

PublicSuffixes::PublicSuffixes() : latest_(psl_latest(nullptr)) {
  list_ = latest_ != nullptr ? latest_ : psl_builtin();
}

PublicSuffixes::~PublicSuffixes() {
  // psl_free knows the built-in list, which psl_latest may hand out.
  psl_free(latest_);
}

std::string_view PublicSuffixes::RegistrableDomain(
    std::string_view name) const {
  if (name.ends_with('.')) name.remove_suffix(1);
  if (!IsHostNameSyntax(name)) return std::string_view();
  // libpsl wants a C string in lower case; the copy keeps every offset.
  char lower[kMaxHostNameBytes + 1];
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  lower[name.size()] = '\0';
  const char* domain =
      list_ != nullptr ? psl_registrable_domain(list_, lower) : nullptr;
  if (domain == nullptr) return name;
  return name.substr(static_cast<size_t>(domain - lower));
}

}  // namespace tovex
