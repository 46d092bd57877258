// tovex-resolve-bench: what the resolve/ library costs in memory and time.
//
//   tovex-resolve-bench asn [N]   N (default 100,000) AS lookups over
//                                 addresses spread over IPv4 and IPv6
//   tovex-resolve-bench dns [N]   the cache pass over N (default 5,000)
//                                 addresses served by a local dnsmasq, then
//                                 again from the cache it wrote (dnsmasq
//                                 scans its hosts for each PTR query, so the
//                                 wall time is its own; the CPU time is the
//                                 resolver's)
//
// Prints the resident memory (VmRSS, split into anonymous and file pages)
// after each stage and the peak (VmHWM), from /proc/self/status, and the
// wall time.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix_platform.h"
#include "resolve/asn_names.h"
#include "resolve/resolve_pass.h"
#include "resolve/testing/dns_servers.h"

namespace tovex {
namespace {

// kB of a /proc/self/status line ("VmRSS", "VmHWM").
long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0)
      return std::atol(line.c_str() + std::strlen(key) + 1);
  }
  return -1;
}

// CPU seconds of this process alone (dnsmasq is a child, not counted).
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

// The mapped database's pages count as RssFile, the heap as RssAnon.
void Memory(const char* stage) {
  std::printf("%-22s VmRSS %6ld kB (anon %6ld, file %6ld)  VmHWM %6ld kB\n",
              stage, StatusKb("VmRSS:"), StatusKb("RssAnon:"),
              StatusKb("RssFile:"), StatusKb("VmHWM:"));
}

int Asn(long n) {
  Memory("start");
  std::unique_ptr<AsnNames> names;
  const Status s = AsnNames::Open(kAsnDatabasePath, &names);
  if (!s.ok()) {
    std::fputs(s.Message().c_str(), stderr);
    return 1;
  }
  Memory("database open");
  // A multiplicative walk over the IPv4 space, every fourth address an IPv6
  // one in the ranges the registries hand out (2001::/16, 2400::/8).
  uint32_t x = 12345;
  long found = 0;
  std::string out;
  char text[64];
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) {
    x = x * 2654435761u + 97;
    if (i % 4 == 3) {
      std::snprintf(text, sizeof(text), "%s:%x:%x::1",
                    i % 8 == 3 ? "2001" : "2400", x >> 16, x & 0xffff);
    } else {
      std::snprintf(text, sizeof(text), "%u.%u.%u.%u", x >> 24, x >> 16 & 255,
                    x >> 8 & 255, x & 255);
    }
    found += names->Lookup(text, &out) ? 1 : 0;
  }
  const double seconds = Seconds(start);
  Memory("after the lookups");
  std::printf("%ld lookups, %ld in an AS, %.2f s (%.1f us a lookup)\n", n,
              found, seconds, seconds * 1e6 / static_cast<double>(n));
  return 0;
}

class Counting : public AddressSource {
 public:
  explicit Counting(const std::vector<std::string>* list) : list_(list) {}
  bool Next(std::string_view* address) override {
    if (next_ == list_->size()) return false;
    *address = (*list_)[next_++];
    return true;
  }

 private:
  const std::vector<std::string>* list_;
  size_t next_ = 0;
};

// One pass over `addresses` with `old` (may be missing) into `path`.
bool Pass(const std::vector<std::string>& addresses, uint16_t port,
          const std::string& old, const std::string& path, const char* stage) {
  PosixFileSystem fs;
  std::unique_ptr<NameCacheReader> reader;
  if (auto file = fs.OpenRead(old, nullptr)) {
    if (!NameCacheReader::Open(std::move(file), old, &reader).ok())
      return false;
  }
  const size_t cut = path.rfind('/') + 1;
  NameCacheWriter writer(fs.OpenFolder(path.substr(0, cut), nullptr)
                             ->CreateNew(path.substr(cut), nullptr),
                         path);
  DnsOptions options;
  options.server = DnsServer{};
  ParseDnsServer("127.0.0.1:" + std::to_string(port), &*options.server);
  std::unique_ptr<DnsResolver> resolver;
  if (!DnsResolver::Create(options, &resolver).ok()) return false;
  Counting source(&addresses);
  ResolveCounts c;
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  const Status s =
      ResolveAddresses(&source, reader.get(), &writer, resolver.get(),
                       static_cast<int64_t>(std::time(nullptr)), &c);
  const double seconds = Seconds(start);
  const double cpu_used = CpuSeconds() - cpu;
  if (!s.ok() || !writer.Close().ok()) return false;
  Memory(stage);
  std::printf(
      "  %llu addresses: %llu reused, %llu looked up (%llu confirmed, %llu "
      "unanswered) in %.2f s, %.0f a second; %.0f us of CPU here each\n",
      static_cast<unsigned long long>(c.addresses),
      static_cast<unsigned long long>(c.reused),
      static_cast<unsigned long long>(c.resolved),
      static_cast<unsigned long long>(c.confirmed),
      static_cast<unsigned long long>(c.unanswered), seconds,
      static_cast<double>(c.addresses) / seconds,
      cpu_used * 1e6 / static_cast<double>(c.addresses));
  return true;
}

int Dns(long n) {
  // Addresses of the benchmarking range 198.18.0.0/15, every tenth without
  // a name; in the byte order of their texts, as the job hands them over.
  std::string hosts;
  std::vector<std::string> addresses;
  for (long i = 0; i < n; ++i) {
    const std::string a = "198." + std::to_string(18 + i / 65536 % 2) + "." +
                          std::to_string(i / 256 % 256) + "." +
                          std::to_string(i % 256);
    addresses.push_back(a);
    if (i % 10 != 0) hosts += a + " h" + std::to_string(i) + ".bench.test\n";
  }
  std::sort(addresses.begin(), addresses.end());
  std::string error;
  auto dnsmasq = Dnsmasq::Start(hosts, {}, &error);
  if (dnsmasq == nullptr) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  Memory("dnsmasq started");
  char dir[] = "/tmp/tovex-resolve-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const std::string first = std::string(dir) + "/names.1";
  const std::string second = std::string(dir) + "/names.2";
  const bool ok =
      Pass(addresses, dnsmasq->port(), "", first, "after looking up") &&
      Pass(addresses, dnsmasq->port(), first, second, "after the cache pass");
  std::remove(first.c_str());
  std::remove(second.c_str());
  rmdir(dir);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace tovex

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const long n = argc > 2 ? std::atol(argv[2]) : 0;
  if (mode == "asn") return tovex::Asn(n > 0 ? n : 100000);
  if (mode == "dns") return tovex::Dns(n > 0 ? n : 5000);
  std::fputs("usage: tovex-resolve-bench asn|dns [N]\n", stderr);
  return 2;
}
