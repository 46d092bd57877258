// The autonomous system of an address, offline, from libloc's database
// (Debian's libloc-database): the organisation of a client the log names by
// its address only.

#ifndef TOVEX_RESOLVE_ASN_NAMES_H_
#define TOVEX_RESOLVE_ASN_NAMES_H_

#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"

struct loc_ctx;  // libloc's, kept out of this header
struct loc_database;

namespace tovex {

// Where Debian's libloc-database puts the database.
inline constexpr char kAsnDatabasePath[] =
    "/usr/share/libloc-location/location.db";
// libloc, loaded when the database is opened: it brings libcrypto, whose
// start-up alone costs 1.6 MB of resident memory, which a run without AS
// names should not pay.
inline constexpr char kLocLibrary[] = "libloc.so.1";

class AsnNames {
 public:
  // Opens the database at `path` once for every lookup. libloc maps the
  // file, so its pages count in the resident memory as lookups touch them:
  // some 24 MB after 1,000 lookups over varied addresses, 43 MB after
  // 100,000, of the 55 MB file (bench/README.md). CannotOpen(path, reason)
  // when it cannot be opened, CannotRead(path, reason) when it is no libloc
  // database; CannotOpen(kLocLibrary, the loader's reason) without libloc.
  static Status Open(const std::string& path, std::unique_ptr<AsnNames>* names);
  ~AsnNames();
  AsnNames(const AsnNames&) = delete;
  AsnNames& operator=(const AsnNames&) = delete;

  // "AS2497 Internet Initiative Japan Inc." for 210.130.1.1: "AS", the
  // number, a blank and the name as the database has it (UTF-8; a few hold
  // letters beyond ASCII), or "AS<number>" alone when the database names no
  // such AS. False, `*out` untouched, for an address the database puts in
  // no AS (private, reserved, unannounced) and for a text that is no
  // address. `*out`'s capacity is reused.
  bool Lookup(std::string_view address, std::string* out) const;

 private:
  struct Loc;

  AsnNames(std::unique_ptr<Loc> loc, loc_ctx* ctx, loc_database* db);

  std::unique_ptr<Loc> loc_;
  loc_ctx* ctx_;
  loc_database* db_;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_ASN_NAMES_H_
