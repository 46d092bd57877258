#include "resolve/asn_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/decimal.h"
#include "resolve/host_name.h"

namespace tovex {
namespace {

// The file's layout (libloc's format.h, version 1): every number is big
// endian; 8 magic bytes, then the header, then the sections it points to.
constexpr char kMagic[] = "LOCDBXX";
constexpr size_t kMagicBytes = 7;
constexpr size_t kHeaderBytes = 8 + 4192;
// Offsets in the header of each section's offset and length (two 32-bit
// numbers each).
constexpr size_t kAsSectionAt = 28;
constexpr size_t kNetworksSectionAt = 36;
constexpr size_t kTreeSectionAt = 44;
constexpr size_t kPoolSectionAt = 60;
// A tree node: the children for bit 0 and 1 (0: none), and the network it
// holds (kNoNetwork: none).
constexpr size_t kNodeBytes = 12;
constexpr uint32_t kNoNetwork = 0xffffffff;
// A network: country (2), padding (2), AS number (4), flags, padding.
constexpr size_t kNetworkBytes = 12;
constexpr size_t kNetworkAsnAt = 4;
// An AS: its number and its name's offset in the string pool; sorted by
// number.
constexpr size_t kAsBytes = 8;
constexpr int kAddressBits = 128;
// IPv4 addresses are kept under ::ffff:0:0/96.
constexpr int kV4MappedBits = 96;

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

int BitOf(const uint8_t* bits, int i) { return bits[i / 8] >> (7 - i % 8) & 1; }

}  // namespace

// The file read by whole pages into a direct-mapped cache: a lookup walks
// up to 128 tree nodes of 12 bytes, and the top of the tree, shared by
// every lookup, stays cached.
class AsnNames::Pages {
 public:
  Pages(int fd, uint64_t size)
      : fd_(fd), size_(size), data_(new char[kAsnCachePages * kAsnPageBytes]) {}
  ~Pages() { ::close(fd_); }

  uint64_t size() const { return size_; }

  // Copies `n` bytes at `offset` to `dst`; false past the end or on a
  // read error.
  bool Read(uint64_t offset, size_t n, void* dst) {
    if (offset > size_ || n > size_ - offset) return false;
    auto* out = static_cast<char*>(dst);
    while (n > 0) {
      const uint64_t page = offset / kAsnPageBytes;
      const size_t at = static_cast<size_t>(offset % kAsnPageBytes);
      const char* p = Page(page);
      if (p == nullptr) return false;
      const size_t take = std::min(n, kAsnPageBytes - at);
      std::memcpy(out, p + at, take);
      out += take;
      offset += take;
      n -= take;
    }
    return true;
  }

 private:
  const char* Page(uint64_t page) {
    const size_t slot = static_cast<size_t>(page % kAsnCachePages);
    char* p = data_.get() + slot * kAsnPageBytes;
    if (tags_[slot] == page + 1) return p;
    const uint64_t at = page * kAsnPageBytes;
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(kAsnPageBytes, size_ - at));
    ssize_t got;
    do {
      got = ::pread(fd_, p, want, static_cast<off_t>(at));
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(want)) {
      tags_[slot] = 0;
      return nullptr;
    }
    tags_[slot] = page + 1;
    return p;
  }

  int fd_;
  uint64_t size_;
  std::unique_ptr<char[]> data_;
  uint64_t tags_[kAsnCachePages] = {};  // page number + 1; 0: empty
};

// Where the sections lie, from the header.
struct AsnNames::Layout {
  struct Section {
    uint64_t offset = 0;
    uint64_t length = 0;
  };
  Section as, networks, tree, pool;
  // Where every IPv4 lookup goes on: the node at depth 96 on the path of
  // ::ffff:0:0/96, kNoNetwork when the tree has none.
  uint32_t v4_node = kNoNetwork;
};

AsnNames::AsnNames(std::unique_ptr<Pages> pages, std::unique_ptr<Layout> layout)
    : pages_(std::move(pages)), layout_(std::move(layout)) {}

AsnNames::~AsnNames() = default;

Status AsnNames::Open(const std::string& path,
                      std::unique_ptr<AsnNames>* names) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::CannotOpen(path, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::CannotOpen(path, "not a regular file");
  }
  auto pages = std::make_unique<Pages>(fd, static_cast<uint64_t>(st.st_size));
  uint8_t head[kHeaderBytes];
  if (!pages->Read(0, sizeof head, head) ||
      std::memcmp(head, kMagic, kMagicBytes) != 0) {
    return Status::CannotRead(path, "not a libloc database");
  }
  if (head[kMagicBytes] != kAsnDatabaseVersion) {
    return Status::CannotRead(path, "libloc database version " +
                                        std::to_string(head[kMagicBytes]) +
                                        ", not 1");
  }
  auto layout = std::make_unique<Layout>();
  Layout::Section* sections[] = {&layout->as, &layout->networks, &layout->tree,
                                 &layout->pool};
  const size_t at[] = {kAsSectionAt, kNetworksSectionAt, kTreeSectionAt,
                       kPoolSectionAt};
  for (size_t i = 0; i < 4; ++i) {
    sections[i]->offset = Be32(head + at[i]);
    sections[i]->length = Be32(head + at[i] + 4);
    if (sections[i]->offset + sections[i]->length > pages->size()) {
      return Status::CannotRead(path, "cut short");
    }
  }
  if (layout->tree.length < kNodeBytes) {
    return Status::CannotRead(path, "no network tree");
  }
  std::unique_ptr<AsnNames> opened(
      new AsnNames(std::move(pages), std::move(layout)));
  if (!opened->FindV4Node()) return Status::CannotRead(path, "cut short");
  *names = std::move(opened);
  return Status::Ok();
}

bool AsnNames::FindV4Node() {
  // A node beyond the tree leaves no IPv4 address an AS, as in libloc.
  uint8_t mapped[16] = {};
  mapped[10] = mapped[11] = 0xff;
  Layout& l = *layout_;
  uint32_t node = 0;
  for (int depth = 0; depth < kV4MappedBits && node != kNoNetwork; ++depth) {
    uint8_t n[kNodeBytes];
    if (node >= l.tree.length / kNodeBytes) {
      node = kNoNetwork;
    } else if (!pages_->Read(l.tree.offset + uint64_t{node} * kNodeBytes,
                             kNodeBytes, n)) {
      return false;
    } else {
      const uint32_t child = Be32(n + (BitOf(mapped, depth) ? 4 : 0));
      node = child == 0 ? kNoNetwork : child;
    }
  }
  l.v4_node = node;
  return true;
}

bool AsnNames::DeepestNetwork(const uint8_t* bits, bool v4,
                              uint32_t* network) const {
  const Layout& l = *layout_;
  const uint64_t nodes = l.tree.length / kNodeBytes;
  // libloc takes the deepest network on the path; one at depth 0 and, for
  // an IPv4 address, one above ::ffff:0:0/96 are no networks to it.
  int depth = v4 ? kV4MappedBits : 0;
  uint32_t node = v4 ? l.v4_node : 0;
  *network = kNoNetwork;
  if (node == kNoNetwork) return true;  // no IPv4 address has a network
  for (;;) {
    if (node >= nodes) return false;
    uint8_t n[kNodeBytes];
    if (!pages_->Read(l.tree.offset + uint64_t{node} * kNodeBytes, kNodeBytes,
                      n)) {
      return false;
    }
    if (depth > (v4 ? kV4MappedBits : 0) && Be32(n + 8) != kNoNetwork) {
      *network = Be32(n + 8);
    }
    if (depth == kAddressBits) break;
    const uint32_t child = Be32(n + (BitOf(bits, depth) ? 4 : 0));
    if (child == 0) break;
    node = child;
    ++depth;
  }
  return true;
}

bool AsnNames::NetworkAsn(const uint8_t* bits, bool v4, uint32_t* asn) const {
  const Layout& l = *layout_;
  uint32_t network;
  if (!DeepestNetwork(bits, v4, &network)) return false;
  *asn = 0;
  if (network == kNoNetwork) return true;
  if (network >= l.networks.length / kNetworkBytes) return false;
  uint8_t record[4];
  if (!pages_->Read(
          l.networks.offset + uint64_t{network} * kNetworkBytes + kNetworkAsnAt,
          sizeof record, record)) {
    return false;
  }
  *asn = Be32(record);
  return true;
}

bool AsnNames::AppendName(uint32_t number, char* text, size_t* size) const {
  const Layout& l = *layout_;
  uint64_t lo = 0, hi = l.as.length / kAsBytes;
  uint8_t as[kAsBytes];
  while (lo < hi) {
    const uint64_t mid = lo + (hi - lo) / 2;
    if (!pages_->Read(l.as.offset + mid * kAsBytes, kAsBytes, as)) return false;
    const uint32_t n = Be32(as);
    if (n == number) break;
    if (n < number) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo >= hi) return true;  // an AS the database does not name
  const uint64_t name = Be32(as + 4);
  if (name >= l.pool.length) return true;
  char* at = text + *size + 1;
  const size_t n = static_cast<size_t>(
      std::min<uint64_t>(kMaxAsNameBytes, l.pool.length - name));
  if (!pages_->Read(l.pool.offset + name, n, at)) return false;
  const size_t length = strnlen(at, n);
  if (length == 0) return true;
  text[*size] = ' ';
  *size += 1 + length;
  return true;
}

bool AsnNames::Lookup(std::string_view address, std::string* out) const {
  IpAddress ip;
  if (!ParseAddress(address, &ip)) return false;
  uint8_t bits[16] = {};
  if (ip.v6) {
    std::memcpy(bits, ip.bytes, 16);
  } else {
    bits[10] = bits[11] = 0xff;
    std::memcpy(bits + 12, ip.bytes, 4);
  }
  const bool v4 =
      bits[10] == 0xff && bits[11] == 0xff &&
      std::all_of(bits, bits + 10, [](uint8_t b) { return b == 0; });
  uint32_t number;
  if (!NetworkAsn(bits, v4, &number) || number == 0) return false;
  char text[2 + kMaxDecimalBytes + 1 + kMaxAsNameBytes] = "AS";
  size_t size = static_cast<size_t>(AppendDecimal(text + 2, number) - text);
  if (!AppendName(number, text, &size)) return false;
  out->assign(text, size);
  return true;
}

}  // namespace tovex
