// tovex-loggen: writes a made-up access log for tests, the sample and the
// benchmarks. The same options give the same bytes on every build.
//
// The repository's sample is made with
//
//   tovex-loggen --lines 5500 --layout mixed --months 4 --start 2024-11
//       --seed 20241101 --out samples/sample.log
//
// (one command line)
//
// and tests/sample_check.py keeps it so.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "generator.h"
#include "options.h"
#include "sink.h"

int main(int argc, char** argv) {
  using tovex::loggen::Options;
  Options options;
  if (!tovex::loggen::ParseOptions(argc, argv, &options, stderr)) return 2;
  if (options.help) {
    tovex::loggen::PrintUsage(stdout);
    return 0;
  }
  std::FILE* file = stdout;
  if (!options.out.empty()) {
    file = std::fopen(options.out.c_str(), "wb");
    if (file == nullptr) {
      std::fprintf(stderr, "tovex-loggen: cannot open %s: %s\n",
                   options.out.c_str(), std::strerror(errno));
      return 1;
    }
  }
  tovex::loggen::Sink sink(file);
  tovex::loggen::Generator generator(options);
  generator.Run(&sink);
  bool ok = sink.Flush();
  ok = std::fflush(file) == 0 && ok;
  if (file != stdout) ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "tovex-loggen: write failed: %s\n",
                 std::strerror(errno));
    return 1;
  }
  return 0;
}
