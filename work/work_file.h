// Work files: the intermediate text files of one analysis, their paths, and
// the buffered writer and reader of their records.
//
// Every path is the base directory, then a directory setting (work or output
// directory, may be empty), then a file name (work/file_names.h). A record
// is one line "name day hour weekday\n": a name without white space (a
// client host or a content path) and three decimal numbers.

#ifndef TOVEX_WORK_WORK_FILE_H_
#define TOVEX_WORK_WORK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"
#include "log/line_reader.h"
#include "platform/platform.h"

namespace tovex {

// Longest record line, line end included: a 121-byte name and three numbers
// fit with room to spare; the sort keeps records in slots of this size + 1.
inline constexpr size_t kMaxRecordBytes = 159;
// Highest number of a day file (the days of the longest month).
inline constexpr int kLastDayFileNumber = 31;

// base + directory + name. The directory text is taken as the settings give
// it ("workdir\"); NativeDirectory turns it into the host's form.
std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name);

// The work directory of one run: a Context and the directory setting.
class WorkDir {
 public:
  WorkDir(const Context& ctx, std::string_view dir) : ctx_(ctx), dir_(dir) {}
  std::string PathOf(std::string_view name) const {
    return JoinPath(ctx_, dir_, name);
  }
  const Context& context() const { return ctx_; }

 private:
  Context ctx_;
  std::string dir_;
};

// Deletes the period pairs and chunk files from 1 upward, each kind stopping
// at its first missing number, then the whole log's pair. Failures ignored.
void RemoveWorkFiles(const WorkDir& work);
// Deletes the day pairs 1..kLastDayFileNumber. Failures ignored.
void RemoveDayFiles(const WorkDir& work);

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

// Splits a record line: the name up to the first white space, then three
// decimal numbers, each after white space. Returns false for a line that is
// not a record (no name, or a number missing).
bool ParseRecord(std::string_view line, WorkRecord* record);

}  // namespace tovex

#endif  // TOVEX_WORK_WORK_FILE_H_
