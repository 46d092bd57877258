// POSIX implementations of the platform services, for the command-line front
// end and the core tests. The desktop window replaces the messages, the beep
// and the shell with its own.

#ifndef TOVEX_PLATFORM_POSIX_PLATFORM_H_
#define TOVEX_PLATFORM_POSIX_PLATFORM_H_

#include <atomic>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace tovex {

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<ReadableFile> OpenRead(
      const std::string& path, std::string* error,
      const std::atomic<int>* stop = nullptr) override;
  std::unique_ptr<ReadableFile> OpenStandardInput(
      const std::atomic<int>* stop = nullptr) override;
  PathKind KindOf(const std::string& path) override;
  std::string RealPath(const std::string& path) override;
  bool MakeDirectory(const std::string& path, std::string* error,
                     bool private_mode = false) override;
  std::unique_ptr<Folder> OpenFolder(const std::string& path,
                                     std::string* error) override;
  std::string CurrentDirectory() override;
};

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the program opens later becomes its standard input, output or
// error by chance. Call first thing in main().
void OpenStandardDescriptors();

class PosixClock : public Clock {
 public:
  int64_t NowSeconds() override;
};

// Runs `xdg-open` (or another opener named at construction). The opener
// blocks while the browser runs when no desktop session is present, so the
// answer is taken from an exit within about two seconds: a non-zero exit or a
// failed start means failure, anything else success.
class PosixShell : public Shell {
 public:
  explicit PosixShell(std::string opener = "xdg-open", int wait_ms = 2000)
      : opener_(std::move(opener)), wait_ms_(wait_ms) {}
  // A desktop session names its display in the environment.
  bool HasDisplay() override;
  bool Open(const std::string& target) override;

 private:
  std::string opener_;
  int wait_ms_;
};

// No tone at all: the beep at the end of a run is the window's. A run from
// the command line (often cron's, its stderr mailed) has none, and a bell
// byte on a terminal would land amid the last line.
class SilentBeeper : public Beeper {
 public:
  void Beep(int /*hertz*/, int /*milliseconds*/) override {}
};

// Writes messages to standard error; answers every question with No, since a
// headless run has nobody to ask.
class StderrMessages : public Messages {
 public:
  void Warn(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
};

// Converts with iconv.
class IconvEncoder : public Encoder {
 public:
  bool ToShiftJis(std::string_view utf8, std::string* out) override;
};

// Turns SIGINT, SIGTERM and SIGHUP into a request to stop: they are blocked
// in every thread and a thread of its own sets `*stop` to the number of the
// first that arrives, so that the run can end cleanly. Writes to a closed
// pipe fail instead of ending the process. Construct before any other
// thread starts; `stop` must outlive the object.
class SignalStopper {
 public:
  explicit SignalStopper(std::atomic<int>* stop);
  // Ends the watching thread; the signals stay blocked.
  ~SignalStopper();
  SignalStopper(const SignalStopper&) = delete;
  SignalStopper& operator=(const SignalStopper&) = delete;

 private:
  std::atomic<int>* stop_;
  std::atomic<bool> ending_{false};
  std::thread watcher_;
};

}  // namespace tovex

#endif  // TOVEX_PLATFORM_POSIX_PLATFORM_H_
