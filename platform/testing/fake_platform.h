// Test doubles for the platform services: they record every call and give
// scripted answers. Files stay real (tests run in a temporary directory);
// FaultyFileSystem wraps the real one to make chosen opens or writes fail.

#ifndef TOVEX_PLATFORM_TESTING_FAKE_PLATFORM_H_
#define TOVEX_PLATFORM_TESTING_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <mutex>
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
  int64_t NowSeconds() override;

 private:
  std::deque<int64_t> times_;
};

class FakeShell : public Shell {
 public:
  explicit FakeShell(bool answer = true) : answer_(answer) {}
  bool Open(const std::string& target) override {
    opened.push_back(target);
    return answer_;
  }
  std::vector<std::string> opened;

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
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(caption + ": " + text);
    return answer_yes;
  }
  std::vector<std::string> warnings;
  std::vector<std::string> questions;
  bool answer_yes = false;
};

// The real file system, except that opening a file named `fail_open` (the
// last component of its path, exactly) fails, and writes to a file named
// `fail_write` fail once `fail_write_after` bytes have gone to it. Thread-
// safe, like the file system it wraps.
class FaultyFileSystem : public FileSystem {
 public:
  std::unique_ptr<ReadableFile> OpenRead(const std::string& path) override;
  // The text of `standard_input`, read once.
  std::unique_ptr<ReadableFile> OpenStandardInput() override;
  std::string standard_input;
  std::unique_ptr<WritableFile> OpenWrite(const std::string& path) override;
  std::unique_ptr<WritableFile> OpenAppend(const std::string& path) override;
  bool Delete(const std::string& path) override { return real_.Delete(path); }
  std::vector<DirEntry> List(const std::string& dir,
                             std::string_view pattern) override {
    return real_.List(dir, pattern);
  }
  std::string CurrentDirectory() override { return real_.CurrentDirectory(); }
  bool MakeDirectory(const std::string& path) override {
    return real_.MakeDirectory(path);
  }

  std::string fail_open;
  std::string fail_write;
  int64_t fail_write_after = 0;
  // Every path opened for writing or appending, in order.
  std::vector<std::string> opened_for_writing;

 private:
  bool FailsOpen(const std::string& path) const;
  std::unique_ptr<WritableFile> Wrap(const std::string& path,
                                     std::unique_ptr<WritableFile> file);

  PosixFileSystem real_;
  std::mutex mu_;  // guards opened_for_writing
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
  FakeEnvironment();
  Context context() const;

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
void WriteFileOrDie(const std::string& path, std::string_view content);

}  // namespace tovex

#endif  // TOVEX_PLATFORM_TESTING_FAKE_PLATFORM_H_
