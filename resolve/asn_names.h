// The autonomous system of an address, offline, from libloc's database
// (Debian's libloc-database): the organisation of a client the log names by
// its address only.
//
// The database is read here, not through libloc: libloc maps the whole
// 55 MB file, and lookups over varied addresses leave most of it resident
// (43 MB after 100,000), far beyond what a run may hold. This reader takes
// what a lookup touches with pread into a fixed cache of file pages.

#ifndef TOVEX_RESOLVE_ASN_NAMES_H_
#define TOVEX_RESOLVE_ASN_NAMES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"

namespace tovex {

// Where Debian's libloc-database puts the database (`location update`
// refreshes the copy /var/lib/location/database.db links to).
inline constexpr char kAsnDatabasePath[] = "/var/lib/location/database.db";
// The one version of the file's layout this reader knows.
inline constexpr int kAsnDatabaseVersion = 1;
// File pages the reader keeps: 1 MB, the top of the network tree and the
// pages of recent lookups.
inline constexpr size_t kAsnCachePages = 256;
inline constexpr size_t kAsnPageBytes = 4096;
// An AS name is cut here: no name in the database comes near, and an
// organisation is a ranked text of at most 127 bytes anyway.
inline constexpr size_t kMaxAsNameBytes = 255;

class AsnNames {
 public:
  // Opens the database at `path` for every lookup, and checks its header:
  // the magic bytes, the version, sections that lie within the file.
  // CannotOpen(path, reason) when it cannot be opened, CannotRead(path,
  // reason) when it is no libloc database, has another version, or is cut
  // short.
  static Status Open(const std::string& path, std::unique_ptr<AsnNames>* names);
  ~AsnNames();
  AsnNames(const AsnNames&) = delete;
  AsnNames& operator=(const AsnNames&) = delete;

  // "AS2497 Internet Initiative Japan Inc." for 210.130.1.1: "AS", the
  // number, a blank and the name as the database has it (UTF-8; a few hold
  // letters beyond ASCII; at most kMaxAsNameBytes), or "AS<number>" alone
  // when the database names no such AS. False, `*out` untouched, for an
  // address the database puts in no AS (private, reserved, unannounced),
  // for a text that is no address, and when the file cannot be read where
  // the lookup leads (a file changed or damaged since Open). `*out`'s
  // capacity is reused. Const for its callers, but it fills the page cache:
  // one thread at a time.
  bool Lookup(std::string_view address, std::string* out) const;

 private:
  class Pages;
  struct Layout;

  AsnNames(std::unique_ptr<Pages> pages, std::unique_ptr<Layout> layout);

  // Walks the tree down ::ffff:0:0/96 once, for every IPv4 lookup to start
  // there; false when the file cannot be read on the way.
  bool FindV4Node();
  // The deepest network on the path of `bits` into `*network`, 0xffffffff
  // for none; false when the tree cannot be read.
  bool DeepestNetwork(const uint8_t* bits, bool v4, uint32_t* network) const;
  // The AS number of the deepest network on the path of `bits` (16 bytes,
  // IPv4 mapped), 0 for none; false when the tree cannot be read.
  bool NetworkAsn(const uint8_t* bits, bool v4, uint32_t* asn) const;
  // Appends " name" of AS `number` to the `*size` bytes of `text` when the
  // database names it; `text` has room for kMaxAsNameBytes + 1 more.
  bool AppendName(uint32_t number, char* text, size_t* size) const;

  std::unique_ptr<Pages> pages_;
  std::unique_ptr<Layout> layout_;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_ASN_NAMES_H_
