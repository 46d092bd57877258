#include "resolve/testing/dns_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace tovex {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// A UDP socket bound to 127.0.0.1:`port` (0: any free one), or -1.
int BoundSocket(uint16_t port, uint16_t* bound) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(port);
  socklen_t size = sizeof(a);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  if (bound != nullptr) *bound = ntohs(a.sin_port);
  return fd;
}

void Put16(std::string* out, unsigned v) {
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v & 0xff));
}

}  // namespace

std::unique_ptr<Dnsmasq> Dnsmasq::Start(const std::string& hosts,
                                        const std::vector<std::string>& extra,
                                        std::string* error) {
  // Tries on fresh ports while the one chosen was taken first.
  constexpr int kTries = 10;
  for (int i = 0; i < kTries; ++i) {
    bool port_taken = false;
    std::unique_ptr<Dnsmasq> d = TryStart(hosts, extra, &port_taken, error);
    if (d != nullptr || !port_taken) return d;
  }
  return nullptr;
}

std::unique_ptr<Dnsmasq> Dnsmasq::TryStart(
    const std::string& hosts, const std::vector<std::string>& extra,
    bool* port_taken, std::string* error) {
  std::unique_ptr<Dnsmasq> d(new Dnsmasq);
  char dir[] = "/tmp/tovex-dnsmasq-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    *error = "mkdtemp failed";
    return nullptr;
  }
  d->dir_ = dir;
  // dnsmasq reads the file as the user it drops to.
  chmod(dir, 0755);
  const std::string file = d->dir_ + "/hosts";
  std::ofstream(file) << hosts;
  chmod(file.c_str(), 0644);
  const int probe = BoundSocket(0, &d->port_);
  if (probe < 0) {
    *error = "no free port";
    return nullptr;
  }
  close(probe);
  std::vector<std::string> args = {"dnsmasq",
                                   "--no-daemon",
                                   "--no-resolv",
                                   "--no-hosts",
                                   "--addn-hosts=" + file,
                                   "--conf-file=/dev/null",
                                   "--listen-address=127.0.0.1",
                                   "--bind-interfaces",
                                   "--port=" + std::to_string(d->port_),
                                   "--pid-file=",
                                   "--local=/test/",
                                   "--local=/arpa/"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // It goes with the test binary, should that die before stopping it
  // (--no-daemon keeps its user: a change would clear the signal).
  d->pid_ = fork();
  if (d->pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    execv("/usr/sbin/dnsmasq", argv.data());
    _exit(127);
  }
  if (d->pid_ < 0) {
    *error = std::string("cannot fork: ") + strerror(errno);
    return nullptr;
  }
  // Serving once its port is taken.
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    if (waitpid(d->pid_, &status, WNOHANG) == d->pid_) {
      d->pid_ = -1;
      *error = "dnsmasq exited at start";
      *port_taken = true;
      return nullptr;
    }
    const int fd = BoundSocket(d->port_, nullptr);
    if (fd < 0) return d;
    close(fd);
    usleep(10000);
  }
  *error = "dnsmasq did not start serving";
  return nullptr;
}

Dnsmasq::~Dnsmasq() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (dir_.empty()) return;
  unlink((dir_ + "/hosts").c_str());
  rmdir(dir_.c_str());
}

uint16_t DeadPort() {
  uint16_t port = 0;
  close(BoundSocket(0, &port));
  return port;
}

CraftedDns::CraftedDns(Table table) : table_(std::move(table)) {
  fd_ = BoundSocket(0, &port_);
  thread_ = std::thread([this] { Serve(); });
}

CraftedDns::~CraftedDns() {
  stop_ = true;
  thread_.join();
  if (fd_ >= 0) close(fd_);
}

std::string CraftedDns::WireName(const std::vector<std::string>& labels) {
  std::string out;
  for (const std::string& label : labels) {
    out.push_back(static_cast<char>(label.size()));
    out += label;
  }
  out.push_back('\0');
  return out;
}

void CraftedDns::Serve() {
  unsigned char query[512];
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    sockaddr_in from{};
    socklen_t from_size = sizeof(from);
    const ssize_t n = recvfrom(fd_, query, sizeof(query), 0,
                               reinterpret_cast<sockaddr*>(&from), &from_size);
    // The question: labels from byte 12 on, then type and class.
    std::string name;
    size_t at = 12;
    while (n > 0 && at < static_cast<size_t>(n) && query[at] != 0) {
      if (!name.empty()) name.push_back('.');
      for (size_t i = 1; i <= query[at]; ++i) {
        name.push_back(static_cast<char>(tolower(query[at + i])));
      }
      at += 1u + query[at];
    }
    if (n <= 0 || at + 5 > static_cast<size_t>(n)) continue;
    const uint16_t type =
        static_cast<uint16_t>(query[at + 1] << 8 | query[at + 2]);
    const auto it = table_.find({name, type});
    if (it == table_.end()) continue;
    std::string reply(reinterpret_cast<char*>(query), at + 5);
    reply[2] = static_cast<char>(0x80 | (query[2] & 0x01));  // QR, RD
    reply[3] = static_cast<char>(0x80 | it->second.rcode);   // RA, RCODE
    reply[6] = 0;
    reply[7] = static_cast<char>(it->second.records.size());
    reply[8] = reply[9] = reply[10] = reply[11] = 0;
    for (const Record& r : it->second.records) {
      Put16(&reply, 0xc00c);  // the question's name
      Put16(&reply, r.type);
      Put16(&reply, 1);
      Put16(&reply, 0);
      Put16(&reply, 60);
      Put16(&reply, static_cast<unsigned>(r.data.size()));
      reply += r.data;
    }
    sendto(fd_, reply.data(), reply.size(), 0,
           reinterpret_cast<sockaddr*>(&from), from_size);
  }
}

}  // namespace tovex
