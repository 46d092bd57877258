// The cost of each line-filter option on top of the plain per-line parse,
// and the resident memory the filter adds. Not part of the product.
//
//   tovex-filter-bench [--repeat N] [--only OPTION] LOG...
//
// Each log is read into memory once; a pass then copies it block by block
// (as the scanner holds it) into a scratch block, splits the block into
// lines and runs either ParseCountedLine or LineFilter::Judge on each line.
// Both sides copy and split alike, so the difference is the option's own
// work. Passes of the two alternate and the fastest of each is kept, since
// a shared machine slows any one of them; the times are the thread's
// processor time. Prints nanoseconds per line, the
// option's overhead over the plain parse, and the resident memory each
// filter adds while it is built and used (4 KB pages).

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "filter/line_filter.h"
#include "log/line_reader.h"
#include "log/log_line.h"
#include "log/log_scanner.h"
#include "platform/posix_platform.h"

namespace tovex {
namespace {

struct Option {
  const char* name;
  void (*set)(FilterOptions*);
};

const Option kOptions[] = {
    {"exclude-host",
     [](FilterOptions* o) {
       o->exclude_hosts = {
           "10.0.0.0/8,2001:db8::/32,*.googlebot.com,"
           "crawler.example.jp"};
     }},
    {"exclude-bots", [](FilterOptions* o) { o->exclude_bots = true; }},
    {"status", [](FilterOptions* o) { o->statuses = {"2xx,3xx"}; }},
    {"methods", [](FilterOptions* o) { o->methods = {"GET,HEAD"}; }},
    {"vhost", [](FilterOptions* o) { o->vhost = "www.example.jp"; }},
    {"tz", [](FilterOptions* o) { o->time_zone = "America/New_York"; }},
    {"query-pages", [](FilterOptions* o) { o->query_pages = true; }},
    {"decode-paths", [](FilterOptions* o) { o->decode_paths = true; }},
    {"all",
     [](FilterOptions* o) {
       for (const Option* p = kOptions; p->set != nullptr; ++p) {
         if (std::strcmp(p->name, "vhost") != 0 &&
             std::strcmp(p->name, "all") != 0) {
           p->set(o);
         }
       }
     }},
    {nullptr, nullptr},
};

// Resident memory now (Linux's /proc), so that what the filter keeps shows
// beside the log held in memory.
long ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

using Judgement = std::function<bool(char*, size_t*, LogRecord*)>;

// The thread's processor time: on a machine shared with other work, wall
// time mostly measures the others.
double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds of one pass over `log`; adds the lines counted to `*counted`.
double Pass(const std::string& log, char* block, const Judgement& judge,
            int64_t* counted) {
  const double start = ThreadSeconds();
  for (size_t at = 0; at < log.size();) {
    // Whole lines only, as the scanner hands them over.
    size_t n = std::min(kScanBlockBytes, log.size() - at);
    const size_t end = log.rfind('\n', at + n - 1);
    if (at + n < log.size() && end != log.npos && end >= at) {
      n = end + 1 - at;
    }
    std::memcpy(block, log.data() + at, n);
    at += n;
    LineReader lines(std::string_view(block, n), kMaxLogLineBytes);
    std::string_view line;
    LogRecord record;
    while (lines.Next(&line)) {
      size_t size = line.size();
      // The block is this pass's own copy.
      *counted += judge(const_cast<char*>(line.data()), &size, &record);
    }
  }
  return ThreadSeconds() - start;
}

int Run(int argc, char** argv) {
  int repeat = 5;
  std::string only;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr,
                 "usage: tovex-filter-bench [--repeat N] [--only OPTION] "
                 "LOG...\n");
    return 2;
  }
  PosixFileSystem fs;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), {});
    const auto lines =
        static_cast<int64_t>(std::count(log.begin(), log.end(), '\n'));
    std::printf("%s: %lld lines\n", path.c_str(),
                static_cast<long long>(lines));
    const Judgement plain = [](char* l, size_t* n, LogRecord* r) {
      return ParseCountedLine({l, *n}, r);
    };
    std::unique_ptr<char[]> block(new char[kScanBlockBytes]);
    for (const Option* o = kOptions; o->set != nullptr; ++o) {
      if (!only.empty() && only != o->name) continue;
      FilterOptions options;
      o->set(&options);
      const long before = ResidentKb();
      std::unique_ptr<LineFilter> filter;
      const FilterError error = LineFilter::Create(options, &fs, &filter);
      if (!error.ok()) {
        std::fprintf(stderr, "%s: %s\n", o->name, error.text.c_str());
        return 1;
      }
      FilterState state(*filter);
      const Judgement judge = [&](char* l, size_t* n, LogRecord* r) {
        return filter->Judge(l, n, r, &state);
      };
      double fastest_plain = 1e30, fastest = 1e30;
      int64_t plain_counted = 0, counted = 0;
      for (int r = 0; r < repeat; ++r) {
        plain_counted = counted = 0;
        fastest_plain = std::min(fastest_plain,
                                 Pass(log, block.get(), plain, &plain_counted));
        fastest = std::min(fastest, Pass(log, block.get(), judge, &counted));
      }
      const double per_line = 1e9 / static_cast<double>(lines);
      std::printf(
          "  %-13s %6.1f ns/line (plain %6.1f) %+6.1f %%  %9lld counted "
          "(plain %lld)  resident %+ld KB\n",
          o->name, fastest * per_line, fastest_plain * per_line,
          (fastest / fastest_plain - 1) * 100, static_cast<long long>(counted),
          static_cast<long long>(plain_counted), ResidentKb() - before);
    }
  }
  return 0;
}

}  // namespace
}  // namespace tovex

int main(int argc, char** argv) { return tovex::Run(argc, argv); }
