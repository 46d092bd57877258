#include "resolve/asn_names.h"

// libloc 0.9's headers, but libloc.h, declare no C linkage of their own.
extern "C" {
#include <libloc/as.h>
#include <libloc/database.h>
#include <libloc/libloc.h>
#include <libloc/network.h>
}

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/decimal.h"
#include "resolve/host_name.h"

namespace tovex {
namespace {

// libloc writes its complaints to stderr; a lookup's failure is an answer
// here, and Open reports its own.
void Quiet(loc_ctx*, int, const char*, int, const char*, const char*, va_list) {
}

}  // namespace

Status AsnNames::Open(const std::string& path,
                      std::unique_ptr<AsnNames>* names) {
  // libloc takes a FILE: it maps the file and keeps no use of the stream.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Status::CannotOpen(path, std::strerror(errno));
  loc_ctx* ctx = nullptr;
  loc_database* db = nullptr;
  int rc = loc_new(&ctx);
  if (rc == 0) {
    loc_set_log_fn(ctx, &Quiet);
    rc = loc_database_new(ctx, &db, f);
  }
  std::fclose(f);
  if (rc != 0 || db == nullptr) {
    if (ctx != nullptr) loc_unref(ctx);
    return Status::CannotRead(path, "not a libloc database");
  }
  names->reset(new AsnNames(ctx, db));
  return Status::Ok();
}

AsnNames::~AsnNames() {
  loc_database_unref(db_);
  loc_unref(ctx_);
}

bool AsnNames::Lookup(std::string_view address, std::string* out) const {
  IpAddress ip;
  if (!ParseAddress(address, &ip)) return false;
  // libloc keeps IPv4 networks as IPv4-mapped IPv6 ones.
  in6_addr key{};
  if (ip.v6) {
    std::memcpy(key.s6_addr, ip.bytes, 16);
  } else {
    key.s6_addr[10] = key.s6_addr[11] = 0xff;
    std::memcpy(key.s6_addr + 12, ip.bytes, 4);
  }
  loc_network* network = nullptr;
  if (loc_database_lookup(db_, &key, &network) != 0 || network == nullptr) {
    return false;
  }
  const uint32_t number = loc_network_get_asn(network);
  loc_network_unref(network);
  if (number == 0) return false;
  char digits[kMaxDecimalBytes];
  out->assign("AS");
  out->append(digits,
              static_cast<size_t>(AppendDecimal(digits, number) - digits));
  loc_as* as = nullptr;
  if (loc_database_get_as(db_, &as, number) == 0 && as != nullptr) {
    const char* name = loc_as_get_name(as);
    if (name != nullptr && *name != '\0') {
      out->push_back(' ');
      out->append(name);
    }
    loc_as_unref(as);
  }
  return true;
}

}  // namespace tovex
