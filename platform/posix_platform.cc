#include "platform/posix_platform.h"

#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace tovex {
namespace {

// Room for the bytes of one conversion step; Shift-JIS never needs more
// bytes than UTF-8 for the same text.
constexpr size_t kConvertChunkBytes = 256;

// The nice value of a thread that takes only idle time: the lowest
// priority, which still gets a little of a busy core and so never starves.
constexpr int kIdleNice = 19;

}  // namespace

void LowerThreadPriority() {
#if defined(__linux__)
  // Linux gives each thread a nice value of its own.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kIdleNice);
#endif
}

int64_t PosixClock::NowSeconds() {
  return static_cast<int64_t>(::time(nullptr));
}

bool PosixShell::HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

bool PosixShell::Open(const std::string& target) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The opener's own chatter would interleave with the front end's output.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null",
                                   O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null",
                                   O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(opener_.c_str()),
                  const_cast<char*>(target.c_str()), nullptr};
  pid_t pid = 0;
  int rc =
      ::posix_spawnp(&pid, opener_.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;

  using Steady = std::chrono::steady_clock;
  const auto deadline = Steady::now() + std::chrono::milliseconds(wait_ms_);
  while (Steady::now() < deadline) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    if (done < 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Still running: a browser in the foreground. Reap it whenever it ends.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return true;
}

void StderrMessages::Warn(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

bool StderrMessages::AskYesNo(const std::string& text,
                              const std::string& /*caption*/) {
  Warn(text);
  return false;
}

bool IconvEncoder::ToShiftJis(std::string_view utf8, std::string* out) {
  out->clear();
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  bool ok = true;
  while (ok && in_left > 0) {
    char chunk[kConvertChunkBytes];
    char* dst = chunk;
    size_t dst_left = sizeof(chunk);
    size_t r = iconv(cd, &in, &in_left, &dst, &dst_left);
    // A full chunk (E2BIG) is normal; anything else is a text without a
    // Shift-JIS form.
    if (r == static_cast<size_t>(-1) && dst == chunk) ok = false;
    out->append(chunk, static_cast<size_t>(dst - chunk));
    if (r != static_cast<size_t>(-1) && r != 0) ok = false;  // lossy
  }
  iconv_close(cd);
  return ok;
}

namespace {

// The signals that stop a run, and the one that ends the watcher.
sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, signal);
  return set;
}

}  // namespace

SignalStopper::SignalStopper(std::atomic<int>* stop) : stop_(stop) {
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t set = WatchedSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([this, set] {
    while (true) {
      int signal = 0;
      if (::sigwait(&set, &signal) != 0) continue;
      if (ending_.load()) return;
      if (signal == SIGUSR1) continue;
      int none = 0;
      stop_->compare_exchange_strong(none, signal);
    }
  });
}

SignalStopper::~SignalStopper() {
  ending_.store(true);
  ::pthread_kill(watcher_.native_handle(), SIGUSR1);
  watcher_.join();
}

}  // namespace tovex
