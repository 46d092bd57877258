#include "work/run_file.h"

#include <cstring>

#include "base/bytes.h"

namespace tovex {
namespace {

// A record's largest encoding: length byte, key, two 10-byte LEB128s.
constexpr size_t kMaxRecordBytes = 1 + kMaxKeyBytes + 2 * 10;
// Write block: large writes, few system calls.
constexpr size_t kWriteBufferBytes = 64 * 1024;

}  // namespace

RunWriter::RunWriter(std::unique_ptr<WritableFile> file, std::string path)
    : file_(std::move(file)),
      path_(std::move(path)),
      buf_(new char[kWriteBufferBytes]) {}

RunWriter::~RunWriter() {
  if (file_) Close();
}

Status RunWriter::Create(const WorkFolder& work, const std::string& name,
                         std::unique_ptr<RunWriter>* writer) {
  std::unique_ptr<WritableFile> file;
  TOVEX_RETURN_IF_ERROR(CreateOrDie(work.folder(), name, &file));
  writer->reset(new RunWriter(std::move(file), work.dir() + name));
  return Status::Ok();
}

void RunWriter::Add(std::string_view key, uint64_t count, uint64_t first) {
  if (kWriteBufferBytes - used_ < kMaxRecordBytes) Flush();
  char* p = buf_.get() + used_;
  *p++ = static_cast<char>(key.size());
  std::memcpy(p, key.data(), key.size());
  p = PutVarint(p + key.size(), count);
  p = PutVarint(p, first);
  used_ = static_cast<size_t>(p - buf_.get());
}

void RunWriter::Flush() {
  if (used_ > 0 && !failed_ && !file_->Write(buf_.get(), used_)) {
    failed_ = true;
  }
  bytes_ += used_;
  used_ = 0;
}

Status RunWriter::Close() {
  if (file_) {
    Flush();
    if (!file_->Close()) failed_ = true;
    if (failed_) error_ = file_->error();
    file_.reset();
  }
  return failed_ ? Status::CannotWrite(path_, error_) : Status::Ok();
}

RunReader::RunReader(const Context& ctx, std::unique_ptr<ReadableFile> file,
                     std::string path, size_t buffer_bytes)
    : ctx_(ctx),
      file_(std::move(file)),
      path_(std::move(path)),
      buf_(new char[buffer_bytes]),
      capacity_(buffer_bytes) {}

Status RunReader::Open(const WorkFolder& work, const std::string& name,
                       size_t buffer_bytes,
                       std::unique_ptr<RunReader>* reader) {
  std::unique_ptr<ReadableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(work.folder(), name, &file));
  const size_t size =
      buffer_bytes < 2 * kMaxRecordBytes ? 2 * kMaxRecordBytes : buffer_bytes;
  reader->reset(
      new RunReader(work.context(), std::move(file), work.dir() + name, size));
  return Status::Ok();
}

void RunReader::Fill() {
  status_ = ctx_.Stopped();
  if (!status_.ok()) return;
  std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (!eof_ && end_ < kMaxRecordBytes) {
    const size_t got = file_->Read(buf_.get() + end_, capacity_ - end_);
    if (got == 0) {
      eof_ = true;
      if (!file_->error().empty()) {
        status_ = Status::CannotRead(path_, file_->error());
      }
    }
    end_ += got;
  }
}

bool RunReader::Next(RunRecord* record) {
  if (!status_.ok()) return false;
  if (end_ - begin_ < kMaxRecordBytes && !eof_) Fill();
  if (begin_ == end_ || !status_.ok()) return false;
  const char* p = buf_.get() + begin_;
  const char* const end = buf_.get() + end_;
  const size_t key_size = static_cast<unsigned char>(*p++);
  if (static_cast<size_t>(end - p) < key_size) {
    status_ = Status::CannotRead(path_);
    return false;
  }
  record->key = std::string_view(p, key_size);
  p += key_size;
  if (!GetVarint(&p, end, &record->count) ||
      !GetVarint(&p, end, &record->first)) {
    status_ = Status::CannotRead(path_);
    return false;
  }
  begin_ = static_cast<size_t>(p - buf_.get());
  return true;
}

}  // namespace tovex
