// A history's sets of names: the names of one day, or of the whole log,
// each with its accesses, in key order. Keys are bytes the job makes (a
// kind and a name); each file holds every key once.
//
// The file: "TVXN", a format byte, then each record as the length it
// shares with the key before, the length of the rest, the rest and the
// count (unsigned LEB128s), then a trailer: the record count and the
// CRC-32 of all bytes before it. A file that does not decode, is cut short
// or fails its CRC-32 is damaged: the reader fails, and nothing read from
// it may be kept.

#ifndef TOVEX_HISTORY_NAMES_FILE_H_
#define TOVEX_HISTORY_NAMES_FILE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "platform/platform.h"
#include "work/run_file.h"

namespace tovex {

class NamesWriter : public RunSink {
 public:
  // Creates the file `name` in `folder` (which must outlive the writer).
  // CannotOpen when it cannot be created.
  static Status Create(Folder* folder, const std::string& name,
                       std::unique_ptr<NamesWriter>* writer);
  ~NamesWriter() override;

  // REQUIRES: keys in strictly increasing order, each at most kMaxKeyBytes.
  Status Take(const RunRecord& r) override;
  // Writes the trailer and closes; CannotWrite when any byte was lost.
  Status Close();

  uint64_t records() const { return records_; }
  uint64_t bytes() const { return bytes_; }

 private:
  NamesWriter(std::unique_ptr<WritableFile> file, std::string path);
  void Put(const char* p, size_t n);
  // Adds the buffer's bytes not yet in crc_.
  void Checksum();
  void Flush();

  std::unique_ptr<WritableFile> file_;
  std::string path_;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  size_t checked_ = 0;  // of used_, the bytes in crc_
  std::string last_;
  uint64_t records_ = 0;
  uint64_t bytes_ = 0;
  uint64_t written_back_ = 0;  // bytes_ when writeback was last asked for
  uint32_t crc_ = 0;
  bool failed_ = false;
};

class NamesReader : public RunSource {
 public:
  // Opens the file `name` in `folder` (never through a link).
  static Status Open(Folder* folder, const std::string& name,
                     const Context& ctx, std::unique_ptr<NamesReader>* reader);

  // CannotRead, naming the file, for a read error or a damaged file, once
  // met; Cancelled for a stop.
  bool Next(RunRecord* record) override;
  Status status() const override { return status_; }

  // The file's size in bytes.
  uint64_t file_bytes() const { return file_->Size(); }

 private:
  NamesReader(std::unique_ptr<ReadableFile> file, std::string path,
              const Context& ctx);
  bool Fill();
  bool Damaged(const char* why);

  std::unique_ptr<ReadableFile> file_;
  std::string path_;
  const Context ctx_;
  std::unique_ptr<char[]> buf_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool started_ = false;
  std::string key_;
  uint64_t records_ = 0;
  uint32_t crc_ = 0;
  Status status_;
};

}  // namespace tovex

#endif  // TOVEX_HISTORY_NAMES_FILE_H_
