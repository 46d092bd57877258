// libloc's database, as AsnNames reads it: any bytes as a file. The file is
// a system file, but `location update` replaces it while runs go on, and a
// damaged copy must fail, not mislead or crash.
//
// Checks: Open refuses with CannotRead only; an opened file answers every
// lookup (IPv4 and IPv6, fixed and from the input's last bytes) exactly as
// a plain reading of the whole buffer by the same rules does: the deepest
// network on the address's path (none at depth 0, none above
// ::ffff:0:0/96 for IPv4), its AS, the AS's name from the pool; no answer
// where the path leaves the tree.

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_util.h"
#include "resolve/asn_names.h"

namespace tovex::fuzz {
namespace {

// The whole file in memory, read by offsets that are checked each time.
struct Plain {
  std::string_view file;

  std::optional<uint32_t> Be32(uint64_t at) const {
    if (at + 4 > file.size()) return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(file.data() + at);
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 |
           p[3];
  }

  // AsnNames's answer for the 16 bytes `bits`; empty for none. Open has
  // checked the header and that every section lies in the file.
  std::string Answer(const uint8_t* bits, bool v4) const {
    const uint32_t tree = *Be32(44), nodes = *Be32(48) / 12;
    uint32_t node = 0, network = 0xffffffff;
    for (int depth = 0; depth <= 128; ++depth) {
      if (node >= nodes) return "";
      const auto leaf = Be32(tree + node * 12ull + 8);
      if (!leaf) return "";
      if (depth > (v4 ? 96 : 0) && *leaf != 0xffffffff) network = *leaf;
      if (depth == 128) break;
      const int bit = bits[depth / 8] >> (7 - depth % 8) & 1;
      const auto child = Be32(tree + node * 12ull + (bit ? 4 : 0));
      if (!child) return "";
      if (*child == 0) break;
      node = *child;
    }
    if (network == 0xffffffff) return "";
    if (network >= *Be32(40) / 12) return "";
    const auto asn = Be32(*Be32(36) + network * 12ull + 4);
    if (!asn || *asn == 0) return "";
    return "AS" + std::to_string(*asn) + Name(*asn);
  }

  std::string Name(uint32_t asn) const {
    const uint32_t at = *Be32(28), count = *Be32(32) / 8;
    for (uint32_t lo = 0, hi = count; lo < hi;) {
      const uint32_t mid = lo + (hi - lo) / 2, n = *Be32(at + mid * 8ull);
      if (n < asn) {
        lo = mid + 1;
      } else if (n > asn) {
        hi = mid;
      } else {
        const uint32_t name = *Be32(at + mid * 8ull + 4);
        if (name >= *Be32(64)) return "";
        std::string_view text = file.substr(*Be32(60) + uint64_t{name});
        text =
            text.substr(0, std::min<size_t>(*Be32(64) - name, kMaxAsNameBytes));
        text = text.substr(0, text.find('\0'));
        return text.empty() ? "" : " " + std::string(text);
      }
    }
    return "";
  }
};

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  const std::string_view file = AsText(data, size);
  const std::string path = PutFile("location.db", file);
  std::unique_ptr<AsnNames> names;
  const Status status = AsnNames::Open(path, &names);
  FUZZ_CHECK(status.ok() == (names != nullptr));
  if (!status.ok()) {
    FUZZ_CHECK(status.code() == Status::Code::kCannotRead);
    return 0;
  }
  const Plain plain{file};
  uint8_t tail[4] = {};
  std::memcpy(tail, data + size - std::min<size_t>(size, 4),
              std::min<size_t>(size, 4));
  char mine[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, tail, mine, sizeof mine);
  const char* fixed = "10.1.1.1";
  for (const char* address :
       {fixed, "192.0.2.1", "2001:db8::1", "::ffff:10.1.1.1",
        "ffff::", static_cast<const char*>(mine)}) {
    uint8_t bits[16] = {};
    const bool v4 = inet_pton(AF_INET, address, bits + 12) == 1;
    if (v4) {
      bits[10] = bits[11] = 0xff;
    } else {
      inet_pton(AF_INET6, address, bits);
    }
    const bool mapped = !v4 && bits[10] == 0xff && bits[11] == 0xff &&
                        std::memcmp(bits, "\0\0\0\0\0\0\0\0\0\0", 10) == 0;
    const std::string want = plain.Answer(bits, v4 || mapped);
    std::string got;
    FUZZ_CHECK(names->Lookup(address, &got) == !want.empty());
    FUZZ_CHECK(got == want);
  }
  return 0;
}
