// The operating-system services the analyser needs, each behind a small
// interface so that the core never touches the OS directly. posix_platform.h
// implements them for Linux and other POSIX systems; testing/fake_platform.h
// has recording fakes for tests; the desktop window brings its own messages
// and beep.
//
// A FileSystem must be safe to use from several threads at once (the sort
// merges on two); the other services are used from one job thread at a
// time.

#ifndef TOVEX_PLATFORM_PLATFORM_H_
#define TOVEX_PLATFORM_PLATFORM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tovex {

// Which file or folder a name stands for: its device and inode.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// A file or stream open for sequential reading. Closed by its destructor.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to `n` bytes into `buf` and returns how many were read; 0 at the
  // end of the file, and 0 for good after a read error, which error() then
  // tells. A caller that meets 0 must look at error() before taking it for
  // the end.
  virtual size_t Read(char* buf, size_t n) = 0;
  // Empty while no read failed; else the reason (the system's, or a
  // decoder's).
  virtual std::string error() const = 0;
  // Size in bytes at the time of opening; 0 when unknown. Progress only.
  virtual uint64_t Size() const = 0;
  // Goes back to the first byte; false for a stream that cannot (a pipe,
  // a terminal).
  virtual bool Rewind() { return false; }
  // Goes to byte `offset`; false for a stream, or where it cannot.
  virtual bool Seek(uint64_t /*offset*/) { return false; }
  // The file read; a zero FileId where there is none (a test's string).
  virtual FileId id() const { return {}; }
};

// A file open for writing. The destructor closes it without reporting;
// call Close() to learn whether every byte reached the file.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Returns false when not every byte could be written.
  virtual bool Write(const char* data, size_t n) = 0;
  // Returns false when the file could not be completed.
  virtual bool Close() = 0;
  // Asks for the bytes written so far to go to the disk in the background,
  // so that a later sync has less to wait for. A hint: it cannot fail, and
  // makes nothing durable.
  virtual void StartWriteback() {}
  // Empty while nothing failed; else the reason.
  virtual std::string error() const = 0;
};

struct DirEntry {
  std::string name;
  bool is_directory = false;  // a link to a directory is not one
};

// What a name stands for, without following a last link.
enum class PathKind { kMissing, kRegular, kDirectory, kOther };

// Held while a run uses a folder; released when it goes away.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// A folder held open. Every name is taken relative to it, so a folder that
// is renamed meanwhile, or whose path is made to lead elsewhere (a link put
// in its place), still gets what is written to it and nothing else does:
// folders others can write into are never resolved by path again. Links
// are never followed. Safe to use from several threads at once.
//
// Every function that can fail and takes `error` sets `*error` (when given)
// to the reason on failure.
class Folder {
 public:
  virtual ~Folder() = default;
  // The path it was opened by, with a trailing separator; for messages.
  virtual const std::string& path() const = 0;
  virtual FileId id() const = 0;
  // Whether it belongs to the running user.
  virtual bool IsOwn() const = 0;

  // nullptr for a missing file, a link, a folder or anything unreadable.
  virtual std::unique_ptr<ReadableFile> OpenRead(std::string_view name,
                                                 std::string* error) = 0;
  // Creates a new file (mode 0644); nullptr when anything stands under
  // that name already.
  virtual std::unique_ptr<WritableFile> CreateNew(std::string_view name,
                                                  std::string* error) = 0;
  // Moves `name` to `to_name` in `to` (one file system), replacing a file
  // or link there, never a folder.
  virtual bool Rename(std::string_view name, Folder* to,
                      std::string_view to_name, std::string* error) = 0;
  // Removes a file or link; false when nothing was deleted.
  virtual bool Delete(std::string_view name) = 0;
  // What `name` stands for and, when given, its identity.
  virtual PathKind KindOf(std::string_view name, FileId* id = nullptr) = 0;
  // Entries whose names match `pattern` ("*" any run of bytes, "?" one).
  virtual std::vector<DirEntry> List(std::string_view pattern) = 0;
  // Makes and opens a new folder inside, named `prefix` and six more
  // characters, readable by its owner alone; its name goes to `*name`.
  virtual std::unique_ptr<Folder> MakePrivate(std::string_view prefix,
                                              std::string* name,
                                              std::string* error) = 0;
  // Opens the folder `name` inside, never through a link, and only when it
  // belongs to the running user: one that another user planted, or swapped
  // in, is never opened, so nothing inside it is ever deleted.
  virtual std::unique_ptr<Folder> OpenOwn(std::string_view name,
                                          std::string* error) = 0;
  // Removes the empty folder `name` inside.
  virtual bool RemoveFolder(std::string_view name) = 0;
  // Takes the folder for this process alone, by a lock file inside it that
  // only the running user can open (a reader of the folder cannot hold it
  // up); nullptr with `*busy` set when another run holds it, nullptr with
  // `*busy` clear when it cannot be taken.
  virtual std::unique_ptr<FolderLock> Lock(bool* busy, std::string* error) = 0;
  // Puts what was written into the folder's files and entries on the disk.
  virtual bool Sync(std::string* error) = 0;
};

// Files and folders named by path: the inputs, the settings file, and the
// work and output folders as the settings name them (opened once each).
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // nullptr when the file cannot be opened or is a directory. A wait for
  // input (a FIFO without a writer, a pipe without data) ends within a
  // second once `*stop` is nonzero: the read then fails.
  virtual std::unique_ptr<ReadableFile> OpenRead(
      const std::string& path, std::string* error,
      const std::atomic<int>* stop = nullptr) = 0;
  // The process's standard input, left open when the result goes away;
  // waits end as OpenRead's.
  virtual std::unique_ptr<ReadableFile> OpenStandardInput(
      const std::atomic<int>* stop = nullptr) = 0;
  virtual PathKind KindOf(const std::string& path) = 0;
  // The path with every link resolved, or empty.
  virtual std::string RealPath(const std::string& path) = 0;
  // Creates one directory level (readable by its owner alone with
  // `private_mode`); true when it exists afterwards.
  virtual bool MakeDirectory(const std::string& path, std::string* error,
                             bool private_mode = false) = 0;
  // Opens the folder `path` (with or without a trailing separator), never
  // through a link in its last component.
  virtual std::unique_ptr<Folder> OpenFolder(const std::string& path,
                                             std::string* error) = 0;
  // The process's current directory, without a trailing separator (except
  // for the root); empty when it cannot be read.
  virtual std::string CurrentDirectory() = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Calendar time in whole seconds.
  virtual int64_t NowSeconds() = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Whether there is a desktop to open anything on.
  virtual bool HasDisplay() = 0;
  // Asks the desktop to open a document or an address with its default
  // program. False when no program could be started for it.
  virtual bool Open(const std::string& target) = 0;
};

class Beeper {
 public:
  virtual ~Beeper() = default;
  // Sounds a tone; returns after at most about `milliseconds`.
  virtual void Beep(int hertz, int milliseconds) = 0;
};

class Messages {
 public:
  virtual ~Messages() = default;
  // Shows `text` with an OK button and a warning icon under the application's
  // name; returns when the user has closed it.
  virtual void Warn(const std::string& text) = 0;
  // A remark that needs no answer and changes nothing of the report (an
  // empty input passed over): as Warn, unless a front end asked for quiet.
  virtual void Note(const std::string& text) { Warn(text); }
  // Shows `text` under `caption` with Yes and No, a question icon and No as
  // the default; true for Yes.
  virtual bool AskYesNo(const std::string& text,
                        const std::string& caption) = 0;
};

// The one seam where text becomes the report pages' encoding.
class Encoder {
 public:
  virtual ~Encoder() = default;
  // Converts UTF-8 to Shift-JIS (code page 932). False when the machine has
  // no converter or a character has no Shift-JIS form; `*out` is
  // unspecified then.
  virtual bool ToShiftJis(std::string_view utf8, std::string* out) = 0;
};

// The services one run uses. Not owned; they outlive every Context.
struct Platform {
  FileSystem* fs = nullptr;
  Clock* clock = nullptr;
  Shell* shell = nullptr;
  Beeper* beeper = nullptr;
  Messages* messages = nullptr;
  Encoder* encoder = nullptr;
};

// What every core operation is handed: where files live, how to reach the
// OS, and whether the run is to stop. Copied freely.
struct Context {
  // The current directory at start-up with one separator appended; the
  // prefix of every path the program builds.
  std::string base_dir;
  Platform platform;
  // When given, read all along: a nonzero value (the number of the signal
  // that asked for it) stops the run. Not owned.
  const std::atomic<int>* stop = nullptr;

  // Cancelled with the signal once a stop was asked for; else Ok.
  Status Stopped() const {
    const int signal = stop != nullptr ? stop->load() : 0;
    return signal == 0 ? Status::Ok() : Status::Cancelled(signal);
  }
};

// Opening files of a folder. A file that cannot be opened gives
// Status::CannotOpen with its path and the reason; the front end shows the
// message and ends the run. (Nothing dies inside the core, whatever the
// name says.)
Status OpenOrDie(Folder* folder, std::string_view name,
                 std::unique_ptr<ReadableFile>* file);
// Creates a new file (never through a link); CannotOpen as above.
Status CreateOrDie(Folder* folder, std::string_view name,
                   std::unique_ptr<WritableFile>* file);

// Makes the calling thread run only on what the other threads and
// processes leave of the cores (on Linux, the lowest priority for this
// thread alone; elsewhere nothing). It cannot be undone: for a thread that
// ends with its one task.
void LowerThreadPriority();

// The host's directory separator.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A directory text from the settings file in the host's form. Settings files
// use a backslash as the separator ("workdir\"); on POSIX each backslash
// becomes "/", so such files load unchanged.
std::string NativeDirectory(std::string_view dir);

// The base directory for a process whose current directory is `current`:
// `current` with one separator appended (the root keeps its single one).
std::string BaseDirectoryFrom(std::string_view current);

// True when `name` matches the wildcard `pattern` ("*" any run, "?" one
// byte).
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace tovex

#endif  // TOVEX_PLATFORM_PLATFORM_H_
