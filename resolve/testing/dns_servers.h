// DNS servers for tests, on 127.0.0.1 at free ports, so that no test
// reaches beyond the machine: dnsmasq serving a hosts file, and a responder
// of crafted answers for what dnsmasq will not serve.

#ifndef TOVEX_RESOLVE_TESTING_DNS_SERVERS_H_
#define TOVEX_RESOLVE_TESTING_DNS_SERVERS_H_

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tovex {

// Debian's dnsmasq, configured by its command line alone: the hosts file
// `hosts` (both directions), `extra` options (--ptr-record=...), and only
// local answers for "test" and "arpa" (NXDOMAIN for the rest).
class Dnsmasq {
 public:
  // Null, with `*error` set, when it does not start serving.
  static std::unique_ptr<Dnsmasq> Start(const std::string& hosts,
                                        const std::vector<std::string>& extra,
                                        std::string* error);
  ~Dnsmasq();  // Stops it.

  uint16_t port() const { return port_; }

 private:
  // One try on a port that was free a moment before: another process (a
  // second copy of the tests) may take it first, and dnsmasq then exits.
  static std::unique_ptr<Dnsmasq> TryStart(
      const std::string& hosts, const std::vector<std::string>& extra,
      bool* port_taken, std::string* error);
  Dnsmasq() = default;

  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string dir_;
};

// A port on 127.0.0.1 that nothing listens on: a stopped server.
uint16_t DeadPort();

// A UDP responder on a thread of its own. It answers a query whose name (in
// lower case) and type are in its table with the table's answer, and
// nothing else at all: with an empty table it is a server that never
// answers.
class CraftedDns {
 public:
  struct Record {
    uint16_t type;
    std::string data;  // in wire form
  };
  struct Answer {
    int rcode = 0;
    std::vector<Record> records;
  };
  using Table = std::map<std::pair<std::string, uint16_t>, Answer>;

  explicit CraftedDns(Table table);
  ~CraftedDns();
  uint16_t port() const { return port_; }

  // A name in wire form from raw labels, which may hold any byte.
  static std::string WireName(const std::vector<std::string>& labels);

 private:
  void Serve();

  Table table_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_TESTING_DNS_SERVERS_H_
