// Test doubles for the platform services: they record every call and give
// scripted answers. Files stay real (tests run in a temporary directory);
// FaultyFileSystem wraps the real one to make chosen opens or writes fail.

#ifndef TOVEX_PLATFORM_TESTING_FAKE_PLATFORM_H_
#define TOVEX_PLATFORM_TESTING_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_platform.h"

namespace tovex {

// Returns the scripted times in order, then keeps returning the last one.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::deque<int64_t> times = {0})
      : times_(std::move(times)) {}
  int64_t NowSeconds() override {
    const int64_t t = times_.front();
    if (times_.size() > 1) times_.pop_front();
    return t;
  }

 private:
  std::deque<int64_t> times_;
};

class FakeShell : public Shell {
 public:
  explicit FakeShell(bool answer = true) : answer_(answer) {}
  bool HasDisplay() override { return display; }
  bool Open(const std::string& target) override {
    opened.push_back(target);
    return answer_;
  }
  std::vector<std::string> opened;
  bool display = true;

 private:
  bool answer_;
};

class FakeBeeper : public Beeper {
 public:
  void Beep(int hertz, int milliseconds) override {
    beeps.emplace_back(hertz, milliseconds);
  }
  std::vector<std::pair<int, int>> beeps;
};

class FakeMessages : public Messages {
 public:
  void Warn(const std::string& text) override { warnings.push_back(text); }
  // The core never asks; the window's questions go through its own Prompts.
  bool AskYesNo(const std::string&, const std::string&) override {
    return false;
  }
  std::vector<std::string> warnings;
};

// The real file system, with failures on chosen files: opening or creating
// a file named `fail_open` (the last component of its path, exactly) fails;
// writes to a file named `fail_write` fail once `fail_after` bytes have
// gone to it (a full disk), and reads of a file named `fail_read` fail once
// `fail_after` bytes came from it (an I/O error); reads of a file named
// `cut_read` end there as if the file were cut short; moving a file named
// `fail_rename` into place fails (a full disk). The folders it opens carry
// the same failures. Thread-safe, like the file system it wraps, while the
// fields are not changed during a run.
class FaultyFileSystem : public PosixFileSystem {
 public:
  std::unique_ptr<ReadableFile> OpenRead(
      const std::string& path, std::string* error,
      const std::atomic<int>* stop = nullptr) override;
  // The text of `standard_input`, read once.
  std::unique_ptr<ReadableFile> OpenStandardInput(
      const std::atomic<int>* stop = nullptr) override;
  std::unique_ptr<Folder> OpenFolder(const std::string& path,
                                     std::string* error) override;

  std::string standard_input;
  std::string fail_open;
  std::string fail_write;
  std::string fail_read;
  std::string cut_read;
  std::string fail_rename;
  int64_t fail_after = 0;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with a trailing separator, ready to serve as a base
  // directory.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A Context over a temporary base directory with the fakes wired in.
struct FakeEnvironment {
  Context context() {
    return {dir.path(), {&fs, &clock, &shell, &beeper, &messages, &encoder}};
  }

  TempDir dir;
  FaultyFileSystem fs;
  FakeClock clock;
  FakeShell shell;
  FakeBeeper beeper;
  FakeMessages messages;
  IconvEncoder encoder;
};

// Whole-file helpers for tests.
std::string ReadFileOrEmpty(const std::string& path);
// The entries of folder `path` (hidden ones too), sorted by name; empty
// for a missing folder.
std::vector<DirEntry> ListFolder(const std::string& path);
void WriteFileOrDie(const std::string& path, std::string_view content);

}  // namespace tovex

#endif  // TOVEX_PLATFORM_TESTING_FAKE_PLATFORM_H_
