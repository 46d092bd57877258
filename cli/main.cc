#include <atomic>
#include <cstdio>

#include "cli/cli.h"
#include "platform/posix_platform.h"

int main(int argc, char** argv) {
  // Closed standard descriptors would be taken by the first files opened.
  tovex::OpenStandardDescriptors();
  // Before any other thread: Ctrl-C, kill and a closed terminal stop the
  // run cleanly.
  std::atomic<int> stop{0};
  tovex::SignalStopper stopper(&stop);
  tovex::PosixFileSystem fs;
  tovex::PosixClock clock;
  tovex::PosixShell shell;
  tovex::SilentBeeper beeper;
  tovex::StderrMessages messages;
  tovex::IconvEncoder encoder;
  tovex::Platform platform{&fs, &clock, &shell, &beeper, &messages, &encoder};
  const std::string current = fs.CurrentDirectory();
  if (current.empty()) {
    std::fputs("tovex-cli: cannot read the current directory\n", stderr);
    return tovex::kExitCannotOpen;
  }
  return tovex::RunCli(argc, argv, platform, tovex::BaseDirectoryFrom(current),
                       stdout, stderr, &stop);
}
