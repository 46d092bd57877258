// tovex-cli: the headless front end. Does for one log what the window's Run
// does, with the current directory as the base directory.

#ifndef TOVEX_CLI_CLI_H_
#define TOVEX_CLI_CLI_H_

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace tovex {

// Exit statuses of tovex-cli.
inline constexpr int kExitDone = 0;
inline constexpr int kExitCannotOpen = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotAccessLog = 3;

// Runs the command line `argv` against `platform`, with `base_dir` as the
// base directory; writes results to `out` and messages to `err`. Returns the
// exit status.
int RunCli(int argc, const char* const* argv, const Platform& platform,
           const std::string& base_dir, std::FILE* out, std::FILE* err);

}  // namespace tovex

#endif  // TOVEX_CLI_CLI_H_
