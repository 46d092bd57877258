#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace tovex {
namespace {

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
  std::string error() const override {
    return errno_ == 0 ? std::string() : std::strerror(errno_);
  }
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

// Writing mode empties the file, but lazily: an existing file is overwritten
// from its start and cut to the bytes written when it is closed. Work files
// and pages are rewritten many times a run, and overwriting keeps their
// blocks where truncating would free them first (slow on file systems that
// discard freed blocks).
class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, bool cut_at_close)
      : fd_(fd), cut_at_close_(cut_at_close) {}
  ~PosixWritableFile() override { Close(); }

  bool Write(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += w;
      n -= static_cast<size_t>(w);
      written_ += static_cast<uint64_t>(w);
    }
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return true;
    bool ok = true;
    if (cut_at_close_) {
      ok = ::ftruncate(fd_, static_cast<off_t>(written_)) == 0;
    }
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
  bool cut_at_close_;
  uint64_t written_ = 0;
};

std::unique_ptr<WritableFile> OpenForWriting(const std::string& path, int flags,
                                             bool cut_at_close) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixWritableFile>(fd, cut_at_close);
}

// Room for the bytes of one conversion step; Shift-JIS never needs more
// bytes than UTF-8 for the same text.
constexpr size_t kConvertChunkBytes = 256;

}  // namespace

std::unique_ptr<ReadableFile> PosixFileSystem::OpenRead(
    const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return ReadableFd(fd, /*owned=*/true);
}

std::unique_ptr<ReadableFile> PosixFileSystem::OpenStandardInput() {
  return ReadableFd(STDIN_FILENO, /*owned=*/false);
}

std::unique_ptr<WritableFile> PosixFileSystem::OpenWrite(
    const std::string& path) {
  return OpenForWriting(path, 0, /*cut_at_close=*/true);
}

std::unique_ptr<WritableFile> PosixFileSystem::OpenAppend(
    const std::string& path) {
  return OpenForWriting(path, O_APPEND, /*cut_at_close=*/false);
}

bool PosixFileSystem::Delete(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
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
    entry.is_directory = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  return entries;
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

bool PosixFileSystem::MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t PosixClock::NowSeconds() {
  return static_cast<int64_t>(::time(nullptr));
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

}  // namespace tovex
