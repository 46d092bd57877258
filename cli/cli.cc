#include "cli/cli.h"

namespace tovex {

int RunCli(int, const char* const*, const Platform&, const std::string&,
           std::FILE*, std::FILE* err) {
  std::fputs("tovex-cli: not built yet\n", err);
  return kExitUsage;
}

}  // namespace tovex
