// Registrable domains by the public suffix list (libpsl): the organisation
// of a host name is the name a registrant holds within it, so that
// "p1234-ipbf.tokyo.ocn.ne.jp" counts for "ocn.ne.jp" and
// "www.u-tokyo.ac.jp" for "u-tokyo.ac.jp", where the last two labels would
// give "ne.jp" and "ac.jp".

#ifndef TOVEX_RESOLVE_PUBLIC_SUFFIX_H_
#define TOVEX_RESOLVE_PUBLIC_SUFFIX_H_

#include <memory>
#include <string_view>

#include "base/status.h"

struct psl_ctx_st;  // libpsl's, kept out of this header

namespace tovex {

// libpsl, loaded when the list is: a run without registrable domains maps
// none of it (nor the libidn2 and libunistring it brings).
inline constexpr char kPslLibrary[] = "libpsl.so.5";

class PublicSuffixes {
 public:
  // The newest list the machine has: Debian's publicsuffix package when it
  // is newer than the copy built into libpsl, else that copy.
  // CannotOpen(kPslLibrary, the loader's reason) without libpsl.
  static Status Open(std::unique_ptr<PublicSuffixes>* list);
  ~PublicSuffixes();
  PublicSuffixes(const PublicSuffixes&) = delete;
  PublicSuffixes& operator=(const PublicSuffixes&) = delete;

  // The registrable domain of host name `name`, a suffix of it (one
  // trailing dot left out, letters compared without case): the public
  // suffix and one label before it. A name without one is its own
  // organisation, whole: a public suffix itself ("ne.jp", "jp"), a single
  // label ("localhost"). Empty for a text that fails IsHostNameSyntax,
  // numeric addresses among them: the caller leaves those out, as it leaves
  // out the address's tail.
  std::string_view RegistrableDomain(std::string_view name) const;

 private:
  struct Psl;

  PublicSuffixes(std::unique_ptr<Psl> psl, psl_ctx_st* latest);

  std::unique_ptr<Psl> psl_;
  psl_ctx_st* latest_;  // owned; null when libpsl found no file
  const psl_ctx_st* list_;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_PUBLIC_SUFFIX_H_
