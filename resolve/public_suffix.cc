#include "resolve/public_suffix.h"

#include <libpsl.h>

#include <string>

#include "platform/shared_library.h"
#include "resolve/host_name.h"

namespace tovex {

// libpsl's functions, from the library loaded with the list.
struct PublicSuffixes::Psl {
  bool Load(std::string* error) {
    library = SharedLibrary::Open(kPslLibrary, error);
    if (library == nullptr) return false;
    if (library->Find("psl_latest", &latest) &&
        library->Find("psl_builtin", &builtin) &&
        library->Find("psl_free", &free) &&
        library->Find("psl_registrable_domain", &registrable_domain)) {
      return true;
    }
    *error = "not the libpsl it was built for";
    return false;
  }

  std::unique_ptr<SharedLibrary> library;
  decltype(&psl_latest) latest;
  decltype(&psl_builtin) builtin;
  decltype(&psl_free) free;
  decltype(&psl_registrable_domain) registrable_domain;
};

PublicSuffixes::PublicSuffixes(std::unique_ptr<Psl> psl, psl_ctx_st* latest)
    : psl_(std::move(psl)), latest_(latest) {
  list_ = latest_ != nullptr ? latest_ : psl_->builtin();
}

Status PublicSuffixes::Open(std::unique_ptr<PublicSuffixes>* list) {
  auto psl = std::make_unique<Psl>();
  std::string error;
  if (!psl->Load(&error)) return Status::CannotOpen(kPslLibrary, error);
  psl_ctx_st* latest = psl->latest(nullptr);
  list->reset(new PublicSuffixes(std::move(psl), latest));
  return Status::Ok();
}

PublicSuffixes::~PublicSuffixes() {
  // psl_free knows the built-in list, which psl_latest may hand out.
  psl_->free(latest_);
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
      list_ != nullptr ? psl_->registrable_domain(list_, lower) : nullptr;
  if (domain == nullptr) return name;
  return name.substr(static_cast<size_t>(domain - lower));
}

}  // namespace tovex
