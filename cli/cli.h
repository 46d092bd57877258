// tovex-cli: the headless front end. Does for a log what the window's Run
// does, with the current directory as the base directory (or the settings
// file's folder).

#ifndef TOVEX_CLI_CLI_H_
#define TOVEX_CLI_CLI_H_

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace tovex {

// Exit statuses of tovex-cli; a failed run exits with its Status's
// (1 for files, 3 for a refused log, 4 for a busy folder, 128 + the signal
// for a stop).
inline constexpr int kExitDone = 0;
inline constexpr int kExitCannotOpen = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotAccessLog = 3;

// Runs the command line `argv` against `platform`, with `base_dir` as the
// base directory; writes results to `out` and messages to `err`. `stop`,
// when given, stops the run once it holds a signal number. Returns the exit
// status.
int RunCli(int argc, const char* const* argv, const Platform& platform,
           const std::string& base_dir, std::FILE* out, std::FILE* err,
           const std::atomic<int>* stop = nullptr);

}  // namespace tovex

#endif  // TOVEX_CLI_CLI_H_
