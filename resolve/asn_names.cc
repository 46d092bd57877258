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
#include "platform/shared_library.h"
#include "resolve/host_name.h"

namespace tovex {
namespace {

// libloc writes its complaints to stderr; a lookup's failure is an answer
// here, and Open reports its own.
void Quiet(loc_ctx*, int, const char*, int, const char*, const char*, va_list) {
}

}  // namespace

// libloc's functions, from the library loaded when the database is opened.
struct AsnNames::Loc {
  bool Load(std::string* error) {
    library = SharedLibrary::Open(kLocLibrary, error);
    if (library == nullptr) return false;
    const SharedLibrary& l = *library;
    if (l.Find("loc_new", &new_context) && l.Find("loc_unref", &unref) &&
        l.Find("loc_set_log_fn", &set_log_fn) &&
        l.Find("loc_database_new", &database_new) &&
        l.Find("loc_database_unref", &database_unref) &&
        l.Find("loc_database_lookup", &lookup) &&
        l.Find("loc_database_get_as", &get_as) &&
        l.Find("loc_network_get_asn", &network_asn) &&
        l.Find("loc_network_unref", &network_unref) &&
        l.Find("loc_as_get_name", &as_name) &&
        l.Find("loc_as_unref", &as_unref)) {
      return true;
    }
    *error = "not the libloc it was built for";
    return false;
  }

  std::unique_ptr<SharedLibrary> library;
  decltype(&loc_new) new_context;
  decltype(&loc_unref) unref;
  decltype(&loc_set_log_fn) set_log_fn;
  decltype(&loc_database_new) database_new;
  decltype(&loc_database_unref) database_unref;
  decltype(&loc_database_lookup) lookup;
  decltype(&loc_database_get_as) get_as;
  decltype(&loc_network_get_asn) network_asn;
  decltype(&loc_network_unref) network_unref;
  decltype(&loc_as_get_name) as_name;
  decltype(&loc_as_unref) as_unref;
};

AsnNames::AsnNames(std::unique_ptr<Loc> loc, loc_ctx* ctx, loc_database* db)
    : loc_(std::move(loc)), ctx_(ctx), db_(db) {}

Status AsnNames::Open(const std::string& path,
                      std::unique_ptr<AsnNames>* names) {
  // libloc takes a FILE: it maps the file and keeps no use of the stream.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Status::CannotOpen(path, std::strerror(errno));
  auto loc = std::make_unique<Loc>();
  std::string error;
  if (!loc->Load(&error)) {
    std::fclose(f);
    return Status::CannotOpen(kLocLibrary, error);
  }
  loc_ctx* ctx = nullptr;
  loc_database* db = nullptr;
  int rc = loc->new_context(&ctx);
  if (rc == 0) {
    loc->set_log_fn(ctx, &Quiet);
    rc = loc->database_new(ctx, &db, f);
  }
  std::fclose(f);
  if (rc != 0 || db == nullptr) {
    if (ctx != nullptr) loc->unref(ctx);
    return Status::CannotRead(path, "not a libloc database");
  }
  names->reset(new AsnNames(std::move(loc), ctx, db));
  return Status::Ok();
}

AsnNames::~AsnNames() {
  loc_->database_unref(db_);
  loc_->unref(ctx_);
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
  if (loc_->lookup(db_, &key, &network) != 0 || network == nullptr) {
    return false;
  }
  const uint32_t number = loc_->network_asn(network);
  loc_->network_unref(network);
  if (number == 0) return false;
  char digits[kMaxDecimalBytes];
  out->assign("AS");
  out->append(digits,
              static_cast<size_t>(AppendDecimal(digits, number) - digits));
  loc_as* as = nullptr;
  if (loc_->get_as(db_, &as, number) == 0 && as != nullptr) {
    const char* name = loc_->as_name(as);
    if (name != nullptr && *name != '\0') {
      out->push_back(' ');
      out->append(name);
    }
    loc_->as_unref(as);
  }
  return true;
}

}  // namespace tovex
