// The floor: what one core needs for the work itself, with no bound on
// memory. Reads the log in large blocks, applies the page filter, parses
// host, date and path, and counts hours, weekdays and days and the distinct
// hosts and paths in hash maps. Timed by bench/run beside tovex-cli; not
// part of the product.
//
//   tovex-floor LOG

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/calendar.h"
#include "log/log_line.h"

namespace {

constexpr size_t kBlockBytes = 1 << 20;

struct Counts {
  std::array<int64_t, 24> hours{};
  std::array<int64_t, 7> weekdays{};
  std::array<int64_t, 32> days{};
  std::unordered_map<std::string, int64_t> hosts;
  std::unordered_map<std::string, int64_t> paths;
  int64_t pages = 0;
};

void Count(std::string_view line, Counts* c) {
  if (line.size() > tovex::kMaxLogLineBytes) {
    line = line.substr(0, tovex::kMaxLogLineBytes);
  }
  tovex::LogRecord r;
  if (!tovex::IsPageRequest(line) || !tovex::ParseLogLine(line, &r)) return;
  ++c->pages;
  ++c->hours[static_cast<size_t>(r.hour)];
  ++c->weekdays[static_cast<size_t>(tovex::WeekdayOf(r.year, r.month, r.day))];
  ++c->days[static_cast<size_t>(r.day)];
  ++c->hosts[std::string(r.host)];
  ++c->paths[std::string(r.path)];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tovex-floor LOG\n", stderr);
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  Counts counts;
  std::vector<char> buf(kBlockBytes);
  size_t held = 0;
  while (true) {
    const ssize_t got = ::read(fd, buf.data() + held, buf.size() - held);
    if (got < 0) {
      std::perror(argv[1]);
      return 1;
    }
    const size_t end = held + static_cast<size_t>(got);
    size_t start = 0;
    while (const void* nl =
               std::memchr(buf.data() + start, '\n', end - start)) {
      const size_t at =
          static_cast<size_t>(static_cast<const char*>(nl) - buf.data());
      Count(std::string_view(buf.data() + start, at + 1 - start), &counts);
      start = at + 1;
    }
    if (got == 0) {
      if (start < end) Count({buf.data() + start, end - start}, &counts);
      break;
    }
    held = end - start;
    std::memmove(buf.data(), buf.data() + start, held);
    if (held == buf.size()) held = 0;  // a line longer than a block
  }
  ::close(fd);
  std::printf("%lld pages, %zu hosts, %zu paths\n",
              static_cast<long long>(counts.pages), counts.hosts.size(),
              counts.paths.size());
  return 0;
}
