#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
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

std::string Reason(int errno_value) {
  return errno_value == 0 ? std::string() : std::strerror(errno_value);
}

// Sets `*error` to the reason of the failure in errno; returns `result`.
template <typename T>
T Failed(std::string* error, T result) {
  if (error != nullptr) *error = Reason(errno);
  return result;
}

class PosixReadableFile : public ReadableFile {
 public:
  // `owned`: the descriptor is closed with the object.
  PosixReadableFile(int fd, uint64_t size, bool seekable, bool owned)
      : fd_(fd), size_(size), seekable_(seekable), owned_(owned) {}
  ~PosixReadableFile() override {
    if (owned_) ::close(fd_);
  }

  size_t Read(char* buf, size_t n) override {
    if (errno_ != 0) return 0;
    while (true) {
      ssize_t r = ::read(fd_, buf, n);
      if (r >= 0) return static_cast<size_t>(r);
      if (errno != EINTR) {
        errno_ = errno;
        return 0;
      }
    }
  }
  std::string error() const override { return Reason(errno_); }
  uint64_t Size() const override { return size_; }
  bool Rewind() override {
    return seekable_ && errno_ == 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
  }

 private:
  int fd_;
  uint64_t size_;
  bool seekable_;
  bool owned_;
  int errno_ = 0;
};

// A regular file can be read again from its start; a pipe cannot.
std::unique_ptr<ReadableFile> ReadableFd(int fd, bool owned) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (owned) ::close(fd);
    return nullptr;
  }
  const bool regular = S_ISREG(st.st_mode);
  return std::make_unique<PosixReadableFile>(
      fd, regular ? static_cast<uint64_t>(st.st_size) : 0, regular, owned);
}

class PosixWritableFile : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override { Close(); }

  bool Write(const char* data, size_t n) override {
    while (n > 0 && errno_ == 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno != EINTR) errno_ = errno;
        continue;
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
    return errno_ == 0;
  }

  bool Close() override {
    if (fd_ < 0) return errno_ == 0;
    if (::close(fd_) != 0 && errno_ == 0) errno_ = errno;
    fd_ = -1;
    return errno_ == 0;
  }

  std::string error() const override { return Reason(errno_); }

 private:
  int fd_;
  int errno_ = 0;
};

// Room for the bytes of one conversion step; Shift-JIS never needs more
// bytes than UTF-8 for the same text.
constexpr size_t kConvertChunkBytes = 256;

}  // namespace

std::unique_ptr<ReadableFile> PosixFileSystem::OpenRead(const std::string& path,
                                                        std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(error, nullptr);
  auto file = ReadableFd(fd, /*owned=*/true);
  if (!file && error != nullptr) *error = Reason(EISDIR);
  return file;
}

std::unique_ptr<ReadableFile> PosixFileSystem::OpenStandardInput() {
  return ReadableFd(STDIN_FILENO, /*owned=*/false);
}

std::unique_ptr<WritableFile> PosixFileSystem::CreateNew(
    const std::string& path, std::string* error) {
  const int fd = ::open(
      path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return Failed(error, nullptr);
  return std::make_unique<PosixWritableFile>(fd);
}

bool PosixFileSystem::Rename(const std::string& from, const std::string& to,
                             std::string* error) {
  return ::rename(from.c_str(), to.c_str()) == 0 || Failed(error, false);
}

bool PosixFileSystem::Delete(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

PathKind PosixFileSystem::KindOf(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
  }
  return S_ISREG(st.st_mode)   ? PathKind::kRegular
         : S_ISDIR(st.st_mode) ? PathKind::kDirectory
                               : PathKind::kOther;
}

bool PosixFileSystem::SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::vector<DirEntry> PosixFileSystem::List(const std::string& dir,
                                            std::string_view pattern) {
  std::vector<DirEntry> entries;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return entries;
  while (struct dirent* e = ::readdir(d)) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (!WildcardMatch(pattern, name)) continue;
    DirEntry entry;
    entry.name = std::string(name);
    std::string full = dir;
    if (!full.empty() && full.back() != kPathSeparator) full += kPathSeparator;
    full += entry.name;
    struct stat st;
    entry.is_directory = ::lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  return entries;
}

bool PosixFileSystem::MakeDirectory(const std::string& path,
                                    std::string* error) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  const int made_errno = errno;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = made_errno;
  return Failed(error, false);
}

std::string PosixFileSystem::MakePrivateDirectory(const std::string& parent,
                                                  std::string_view prefix,
                                                  std::string* error) {
  std::string path = parent;
  path.append(prefix).append("XXXXXX");
  if (::mkdtemp(path.data()) == nullptr) return Failed(error, std::string());
  return path + kPathSeparator;
}

bool PosixFileSystem::RemoveDirectory(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

namespace {

class PosixFolderLock : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { ::close(fd_); }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FolderLock> PosixFileSystem::LockFolder(const std::string& path,
                                                        bool* busy,
                                                        std::string* error) {
  *busy = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Failed(error, nullptr);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *busy = errno == EWOULDBLOCK;
    const int lock_errno = errno;
    ::close(fd);
    errno = lock_errno;
    return Failed(error, nullptr);
  }
  return std::make_unique<PosixFolderLock>(fd);
}

std::string PosixFileSystem::CurrentDirectory() {
  std::string buf(256, '\0');
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
  buf.resize(std::char_traits<char>::length(buf.data()));
  return buf;
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

void TerminalBeeper::Beep(int /*hertz*/, int /*milliseconds*/) {
  if (::isatty(STDERR_FILENO)) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  }
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
