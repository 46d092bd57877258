// Runs: the binary work files of a job. A run is a sequence of records, each
// a key (bytes that sort in the order the job needs) and two numbers: a
// count and the first position at which the key was met. The writer and
// reader buffer through one block each and never allocate per record.
//
// A record is: key length (1 byte), key bytes, count and first as unsigned
// LEB128. Runs are written and read by the same build; a record that does
// not decode is a corrupt file.

#ifndef TOVEX_WORK_RUN_FILE_H_
#define TOVEX_WORK_RUN_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/status.h"
#include "platform/platform.h"
#include "work/work_folder.h"

namespace tovex {

// Longest key: a period, a kind, a 121-byte name, its end mark and a day
// fit with room to spare.
inline constexpr size_t kMaxKeyBytes = 255;

struct RunRecord {
  std::string_view key;
  uint64_t count = 0;
  uint64_t first = 0;
};

// A run in the work folder and, when known, the smallest and largest key it
// holds. Runs whose ranges do not overlap can be read one after the other
// instead of merged.
struct RunFile {
  RunFile() = default;
  explicit RunFile(std::string n) : name(std::move(n)) {}

  std::string name;
  bool ranged = false;
  std::string first_key;  // with `ranged` only
  std::string last_key;
};

// Where records go: a run being written, a merge, a tally.
class RunSink {
 public:
  virtual ~RunSink() = default;
  // Takes one record; the key is valid only during the call.
  virtual Status Take(const RunRecord& record) = 0;
};

// Where records come from, in key order: a run on disk, a sorted table.
class RunSource {
 public:
  virtual ~RunSource() = default;
  // The next record, valid until the next call; false at the end or on a
  // failure, which status() then tells.
  virtual bool Next(RunRecord* record) = 0;
  virtual Status status() const = 0;
};

class RunWriter : public RunSink {
 public:
  // Creates the run `name` of `work`, which must not exist yet (nothing is
  // written through a link). CannotOpen when it cannot be created.
  static Status Create(const WorkFolder& work, const std::string& name,
                       std::unique_ptr<RunWriter>* writer);
  ~RunWriter();  // Closes without reporting; call Close() to learn.

  // REQUIRES: key.size() <= kMaxKeyBytes.
  void Add(std::string_view key, uint64_t count, uint64_t first);
  Status Take(const RunRecord& r) override {
    Add(r.key, r.count, r.first);
    return Status::Ok();
  }
  // Flushes and closes; CannotWrite when any byte was lost.
  Status Close();

  uint64_t bytes() const { return bytes_; }

 private:
  RunWriter(std::unique_ptr<WritableFile> file, std::string path);
  void Flush();

  std::unique_ptr<WritableFile> file_;
  std::string path_;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  uint64_t bytes_ = 0;
  bool failed_ = false;
  std::string error_;
};

class RunReader : public RunSource {
 public:
  // Opens the run `name` of `work`; `buffer_bytes` sizes its one block. A
  // stop asked through work's context ends the reading, with Cancelled, at
  // the next block: every merge reads through here, so every merge stops
  // soon.
  static Status Open(const WorkFolder& work, const std::string& name,
                     size_t buffer_bytes, std::unique_ptr<RunReader>* reader);

  // CannotRead for a read error or a record that does not decode;
  // Cancelled for a stop.
  bool Next(RunRecord* record) override;
  Status status() const override { return status_; }

 private:
  RunReader(const Context& ctx, std::unique_ptr<ReadableFile> file,
            std::string path, size_t buffer_bytes);
  // Moves the unread bytes to the front and reads behind them until at
  // least one whole record is there or the file ends.
  void Fill();

  const Context ctx_;
  std::unique_ptr<ReadableFile> file_;
  std::string path_;
  std::unique_ptr<char[]> buf_;
  size_t capacity_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  Status status_;
};

}  // namespace tovex

#endif  // TOVEX_WORK_RUN_FILE_H_
