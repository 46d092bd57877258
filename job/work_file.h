// Work files: the intermediate text files of one analysis, their paths, and
// the buffered writer and reader of their records.
//
// Every path is the base directory, then a directory setting (work or output
// directory, may be empty), then a file name. A record is one line
// "name day hour weekday\n": a name without blanks (a client host or a
// content path) and three decimal numbers.
//
// Work-file names: "index.dk"/"index.hk" (whole log), "N.dk"/"N.hk" (period
// N), "N.ddy"/"N.hdy" (day N of a month), "N.s" (sort chunks), merge
// intermediates numbered after their inputs.

#ifndef TOVEX_JOB_WORK_FILE_H_
#define TOVEX_JOB_WORK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "log/line_reader.h"
#include "platform/platform.h"
#include "platform/status.h"

namespace tovex {

// Longest record line, line end included: a 121-byte name and three numbers
// fit with room to spare; the sort keeps records in slots of this size + 1.
inline constexpr size_t kMaxRecordBytes = 159;
// Highest number of a day file or of its merge intermediates (31 days merged
// four at a time use 32 to 41).
inline constexpr int kLastDayFileNumber = 41;

// base + directory + name. The directory text is taken as the settings give
// it ("workdir\"); NativeDirectory turns it into the host's form.
std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name);
// Decimal text of a number, no sign for 0 and up, no leading zeros.
std::string NumberText(int n);
// A numbered file's name: NumberText(number) + "." + suffix, e.g. "3.dk".
std::string NumberedName(int number, std::string_view suffix);
// base + directory + NumberedName(number, suffix).
std::string JoinPathNumbered(const Context& ctx, std::string_view dir,
                             int number, std::string_view suffix);
// base + directory + "<year>-<month>-<day>.html", e.g. "2001-3-15.html".
std::string JoinPathDated(const Context& ctx, std::string_view dir, int year,
                          int month, int day);

// Opening files. A file that cannot be opened gives Status::CannotOpen with
// its path; the front end shows the message and ends the process. (The name
// is kept from the original design; here nothing dies inside the core.)
enum class OpenMode { kWrite, kAppend };
Status OpenOrDie(const Context& ctx, const std::string& path,
                 std::unique_ptr<ReadableFile>* file);
Status OpenOrDie(const Context& ctx, const std::string& path, OpenMode mode,
                 std::unique_ptr<WritableFile>* file);

// True when the file can be opened for reading.
bool FileExists(const Context& ctx, const std::string& path);

// Deletes "N.dk", "N.hk" and "N.s" from 1 upward, each kind stopping at its
// first missing number, then "index.dk" and "index.hk". Failures ignored.
void RemoveWorkFiles(const Context& ctx, std::string_view work_dir);
// Deletes "N.ddy" and "N.hdy" for N = 1..last. Failures ignored.
void RemoveDayFiles(const Context& ctx, std::string_view work_dir, int last);

// The work directory of one run: a Context and the directory setting.
class WorkDir {
 public:
  WorkDir(const Context& ctx, std::string_view dir) : ctx_(ctx), dir_(dir) {}
  std::string PathOf(std::string_view name) const {
    return JoinPath(ctx_, dir_, name);
  }
  std::string PathOf(int number, std::string_view suffix) const {
    return JoinPathNumbered(ctx_, dir_, number, suffix);
  }
  const Context& context() const { return ctx_; }
  const std::string& dir() const { return dir_; }

 private:
  Context ctx_;
  std::string dir_;
};

// Writes records or whole lines through one buffer. Write failures are kept
// and reported by Close().
class RecordWriter {
 public:
  static constexpr size_t kDefaultBufferBytes = 64 * 1024;

  // Takes ownership of `file`; `path` names it in failure messages.
  // REQUIRES: buffer_bytes > kMaxRecordBytes.
  RecordWriter(std::unique_ptr<WritableFile> file, std::string path,
               size_t buffer_bytes = kDefaultBufferBytes);
  ~RecordWriter();  // Closes without reporting; call Close() to learn.

  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Opens `path` (writing or appending) and wraps it.
  static Status Open(const Context& ctx, const std::string& path, OpenMode mode,
                     std::unique_ptr<RecordWriter>* writer,
                     size_t buffer_bytes = kDefaultBufferBytes);

  // Appends "name day hour weekday\n".
  void Add(std::string_view name, int day, int hour, int weekday);
  // Appends a line exactly as given (it carries its own line end).
  void AddLine(std::string_view line) { Append(line.data(), line.size()); }

  // Flushes and closes; Status::CannotWrite when any byte was lost.
  Status Close();

  const std::string& path() const { return path_; }

 private:
  void Append(const char* data, size_t n);
  void Flush();

  std::unique_ptr<WritableFile> file_;
  std::string path_;
  std::unique_ptr<char[]> buf_;
  size_t capacity_;
  size_t used_ = 0;
  bool failed_ = false;
};

// Reads record lines (at most kMaxRecordBytes each, line end included).
class RecordReader {
 public:
  // Takes ownership of `file`.
  explicit RecordReader(std::unique_ptr<ReadableFile> file,
                        size_t buffer_bytes = LineReader::kDefaultBufferBytes);

  // Opens `path` for reading.
  static Status Open(const Context& ctx, const std::string& path,
                     std::unique_ptr<RecordReader>* reader,
                     size_t buffer_bytes = LineReader::kDefaultBufferBytes);

  // The next line, line end included; valid until the next call.
  bool NextLine(std::string_view* line) { return lines_.Next(line); }

 private:
  std::unique_ptr<ReadableFile> file_;
  LineReader lines_;
};

// One record split into its fields. `name` points into the line.
struct WorkRecord {
  std::string_view name;
  int day = 0;
  int hour = 0;
  int weekday = 0;
};

// Splits a record line: the name up to the first blank, then three decimal
// numbers separated by white space. Returns false for a line that is not a
// record (no name, or a number missing).
bool ParseRecord(std::string_view line, WorkRecord* record);

}  // namespace tovex

#endif  // TOVEX_JOB_WORK_FILE_H_
