// Files and folders on POSIX: folders held by descriptor, every name taken
// relative to one (openat and friends), links never followed.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/posix_platform.h"

namespace tovex {
namespace {

// How long a wait for input goes between looks at the stop flag.
constexpr int kInputPollMs = 100;
// The lock file every locked folder holds.
constexpr char kLockFileName[] = ".tovex-lock";
// Names tried for a private folder before giving up.
constexpr int kPrivateNameTries = 64;

std::string Reason(int errno_value) {
  return errno_value == 0 ? std::string() : std::strerror(errno_value);
}

// Sets `*error` to the reason of the failure in errno; returns `result`.
template <typename T>
T Failed(std::string* error, T result) {
  if (error != nullptr) *error = Reason(errno);
  return result;
}

FileId IdOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// A name inside a folder: one component, never "." or "..".
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

class PosixReadableFile : public ReadableFile {
 public:
  // `owned`: the descriptor is closed with the object. `stop`: for a
  // stream, every read waits in steps, looking at the flag in between.
  PosixReadableFile(int fd, const struct stat& st, bool owned,
                    const std::atomic<int>* stop)
      : fd_(fd),
        size_(S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0),
        seekable_(S_ISREG(st.st_mode)),
        owned_(owned),
        stop_(S_ISREG(st.st_mode) ? nullptr : stop),
        id_(IdOf(st)) {}
  ~PosixReadableFile() override {
    if (owned_) ::close(fd_);
  }

  size_t Read(char* buf, size_t n) override {
    if (errno_ != 0 || !AwaitInput()) return 0;
    while (true) {
      ssize_t r = ::read(fd_, buf, n);
      if (r >= 0) return static_cast<size_t>(r);
      if (errno != EINTR && errno != EAGAIN) {
        errno_ = errno;
        return 0;
      }
      if (errno == EAGAIN && !AwaitInput()) return 0;
    }
  }
  std::string error() const override { return Reason(errno_); }
  uint64_t Size() const override { return size_; }
  bool Rewind() override { return Seek(0); }
  bool Seek(uint64_t offset) override {
    return seekable_ && errno_ == 0 && offset <= INT64_MAX &&
           ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) ==
               static_cast<off_t>(offset);
  }
  FileId id() const override { return id_; }

 private:
  // Waits until a read will not block; false (the read fails) once a stop
  // is asked for meanwhile.
  bool AwaitInput() {
    if (stop_ == nullptr) return true;
    while (true) {
      if (stop_->load() != 0) {
        errno_ = ECANCELED;
        return false;
      }
      struct pollfd p = {fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, kInputPollMs);
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) {
        errno_ = errno;
        return false;
      }
    }
  }

  int fd_;
  uint64_t size_;
  bool seekable_;
  bool owned_;
  const std::atomic<int>* stop_;
  FileId id_;
  int errno_ = 0;
};

std::unique_ptr<ReadableFile> ReadableFd(int fd, bool owned,
                                         const std::atomic<int>* stop,
                                         std::string* error) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (error != nullptr) *error = Reason(S_ISDIR(st.st_mode) ? EISDIR : errno);
    if (owned) ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixReadableFile>(fd, st, owned, stop);
}

// Opens for reading without waiting for a FIFO's writer (the first read
// waits instead, where a stop can end it), then reads blocking.
int OpenForReading(int dir, const char* name, int flags) {
  const int fd = ::openat(dir, name, flags | O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
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

  void StartWriteback() override {
#if defined(__linux__)
    if (fd_ >= 0) ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  }

 private:
  int fd_;
  int errno_ = 0;
};

class PosixFolderLock : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { ::close(fd_); }

 private:
  int fd_;
};

class PosixFolder : public Folder {
 public:
  PosixFolder(int fd, std::string path, const struct stat& st)
      : fd_(fd), path_(std::move(path)), id_(IdOf(st)) {
    if (path_.empty() || path_.back() != '/') path_ += '/';
  }
  ~PosixFolder() override { ::close(fd_); }

  const std::string& path() const override { return path_; }
  FileId id() const override { return id_; }
  bool IsOwn() const override {
    struct stat st;
    return ::fstat(fd_, &st) == 0 && st.st_uid == ::geteuid();
  }

  std::unique_ptr<ReadableFile> OpenRead(std::string_view name,
                                         std::string* error) override {
    if (!IsPlainName(name)) return Refused(error, nullptr);
    const int fd = OpenForReading(fd_, std::string(name).c_str(), O_NOFOLLOW);
    if (fd < 0) return Failed(error, nullptr);
    return ReadableFd(fd, /*owned=*/true, nullptr, error);
  }

  std::unique_ptr<WritableFile> CreateNew(std::string_view name,
                                          std::string* error) override {
    if (!IsPlainName(name)) return Refused(error, nullptr);
    const int fd =
        ::openat(fd_, std::string(name).c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return Failed(error, nullptr);
    return std::make_unique<PosixWritableFile>(fd);
  }

  bool Rename(std::string_view name, Folder* to, std::string_view to_name,
              std::string* error) override {
    auto* target = dynamic_cast<PosixFolder*>(to);
    if (target == nullptr || !IsPlainName(name) || !IsPlainName(to_name)) {
      return Refused(error, false);
    }
    if (target->KindOf(to_name, nullptr) == PathKind::kDirectory) {
      errno = EISDIR;
      return Failed(error, false);
    }
    return ::renameat(fd_, std::string(name).c_str(), target->fd_,
                      std::string(to_name).c_str()) == 0 ||
           Failed(error, false);
  }

  bool Delete(std::string_view name) override {
    return IsPlainName(name) &&
           ::unlinkat(fd_, std::string(name).c_str(), 0) == 0;
  }

  PathKind KindOf(std::string_view name, FileId* id) override {
    struct stat st;
    if (!IsPlainName(name) || ::fstatat(fd_, std::string(name).c_str(), &st,
                                        AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
    }
    if (id != nullptr) *id = IdOf(st);
    return S_ISREG(st.st_mode)   ? PathKind::kRegular
           : S_ISDIR(st.st_mode) ? PathKind::kDirectory
                                 : PathKind::kOther;
  }

  std::vector<DirEntry> List(std::string_view pattern) override {
    std::vector<DirEntry> entries;
    // A description of its own: a listing never moves another's offset.
    const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : ::fdopendir(fd);
    if (d == nullptr) {
      if (fd >= 0) ::close(fd);
      return entries;
    }
    while (struct dirent* e = ::readdir(d)) {
      std::string_view name(e->d_name);
      if (name == "." || name == ".." || !WildcardMatch(pattern, name)) {
        continue;
      }
      const bool dir = e->d_type == DT_UNKNOWN
                           ? KindOf(name, nullptr) == PathKind::kDirectory
                           : e->d_type == DT_DIR;
      entries.push_back({std::string(name), dir});
    }
    ::closedir(d);
    return entries;
  }

  std::unique_ptr<Folder> MakePrivate(std::string_view prefix,
                                      std::string* name,
                                      std::string* error) override {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int t = 0; t < kPrivateNameTries; ++t) {
      std::string candidate(prefix);
      for (int i = 0; i < 6; ++i) candidate += kLetters[random() % 62];
      if (::mkdirat(fd_, candidate.c_str(), 0700) == 0) {
        *name = candidate;
        return OpenOwn(candidate, error);
      }
      if (errno != EEXIST) return Failed(error, nullptr);
    }
    return Failed(error, nullptr);
  }

  std::unique_ptr<Folder> OpenOwn(std::string_view name,
                                  std::string* error) override {
    if (!IsPlainName(name)) return Refused(error, nullptr);
    const int fd =
        ::openat(fd_, std::string(name).c_str(),
                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Failed(error, nullptr);
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
      ::close(fd);
      if (error != nullptr) *error = "belongs to another user";
      return nullptr;
    }
    return std::make_unique<PosixFolder>(fd, path_ + std::string(name), st);
  }

  bool RemoveFolder(std::string_view name) override {
    return IsPlainName(name) &&
           ::unlinkat(fd_, std::string(name).c_str(), AT_REMOVEDIR) == 0;
  }

  std::unique_ptr<FolderLock> Lock(bool* busy, std::string* error) override {
    *busy = false;
    // A lock file that is not the running user's own, readable by it
    // alone, could be held by whoever made it: it is replaced.
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int fd = ::openat(fd_, kLockFileName,
                              O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EACCES && errno != ELOOP) {
        return Failed(error, nullptr);
      }
      struct stat st;
      if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
          st.st_uid == ::geteuid() && (st.st_mode & 077) == 0) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
          return std::make_unique<PosixFolderLock>(fd);
        }
        *busy = errno == EWOULDBLOCK;
        const int lock_errno = errno;
        ::close(fd);
        errno = lock_errno;
        return Failed(error, nullptr);
      }
      if (fd >= 0) ::close(fd);
      if (::unlinkat(fd_, kLockFileName, 0) != 0) break;
    }
    if (error != nullptr) {
      *error = std::string(kLockFileName) + " belongs to another user";
    }
    return nullptr;
  }

  bool Sync(std::string* error) override {
#if defined(__linux__)
    if (::syncfs(fd_) == 0) return true;
#else
    ::sync();
    if (::fsync(fd_) == 0) return true;
#endif
    return Failed(error, false);
  }

 private:
  template <typename T>
  static T Refused(std::string* error, T result) {
    errno = EINVAL;
    return Failed(error, std::move(result));
  }

  int fd_;
  std::string path_;
  FileId id_;
};

}  // namespace

std::unique_ptr<ReadableFile> PosixFileSystem::OpenRead(
    const std::string& path, std::string* error,
    const std::atomic<int>* stop) {
  const int fd = OpenForReading(AT_FDCWD, path.c_str(), 0);
  if (fd < 0) return Failed(error, nullptr);
  return ReadableFd(fd, /*owned=*/true, stop, error);
}

std::unique_ptr<ReadableFile> PosixFileSystem::OpenStandardInput(
    const std::atomic<int>* stop) {
  return ReadableFd(STDIN_FILENO, /*owned=*/false, stop, nullptr);
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

std::string PosixFileSystem::RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string out(resolved);
  std::free(resolved);
  return out;
}

bool PosixFileSystem::MakeDirectory(const std::string& path,
                                    std::string* error, bool private_mode) {
  if (::mkdir(path.c_str(), private_mode ? 0700 : 0755) == 0) return true;
  const int made_errno = errno;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = made_errno;
  return Failed(error, false);
}

std::unique_ptr<Folder> PosixFileSystem::OpenFolder(const std::string& path,
                                                    std::string* error) {
  // A trailing separator would make the last link count as followed.
  std::string bare = path;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  const int fd =
      ::open(bare.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Failed(error, nullptr);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return Failed(error, nullptr);
  }
  return std::make_unique<PosixFolder>(fd, path, st);
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

void OpenStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // The lowest free descriptor: this one.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
}

}  // namespace tovex
