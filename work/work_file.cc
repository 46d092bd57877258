#include "work/work_file.h"

#include <cassert>
#include <cstring>

#include "base/bytes.h"
#include "base/decimal.h"
#include "work/file_names.h"

namespace tovex {

std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name) {
  std::string path = ctx.base_dir;
  path += NativeDirectory(dir);
  path += name;
  return path;
}

void RemoveWorkFiles(const WorkDir& work) {
  FileSystem* fs = work.context().platform.fs;
  for (std::string_view suffix : {kHostSuffix, kContentSuffix, kChunkSuffix}) {
    for (int n = 1; fs->Delete(work.PathOf(NumberedName(n, suffix))); ++n) {
    }
  }
  const WorkPair index = IndexPair();
  fs->Delete(work.PathOf(index.hosts));
  fs->Delete(work.PathOf(index.contents));
}

void RemoveDayFiles(const WorkDir& work) {
  FileSystem* fs = work.context().platform.fs;
  for (int day = 1; day <= kLastDayFileNumber; ++day) {
    const WorkPair pair = DayPair(day);
    fs->Delete(work.PathOf(pair.hosts));
    fs->Delete(work.PathOf(pair.contents));
  }
}

RecordWriter::RecordWriter(std::unique_ptr<WritableFile> file, std::string path,
                           size_t buffer_bytes)
    : file_(std::move(file)),
      path_(std::move(path)),
      buf_(new char[buffer_bytes]),
      capacity_(buffer_bytes) {
  assert(buffer_bytes > kMaxRecordBytes);
}

RecordWriter::~RecordWriter() {
  if (file_) Close();
}

Status RecordWriter::Open(const Context& ctx, const std::string& path,
                          OpenMode mode, std::unique_ptr<RecordWriter>* writer,
                          size_t buffer_bytes) {
  std::unique_ptr<WritableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, mode, &file));
  *writer = std::make_unique<RecordWriter>(std::move(file), path, buffer_bytes);
  return Status::Ok();
}

void RecordWriter::Add(std::string_view name, int day, int hour, int weekday) {
  char tail[3 * (kMaxDecimalBytes + 1) + 1];
  char* p = tail;
  for (int v : {day, hour, weekday}) {
    *p++ = ' ';
    p = AppendDecimal(p, v);
  }
  *p++ = '\n';
  Append(name.data(), name.size());
  Append(tail, static_cast<size_t>(p - tail));
}

void RecordWriter::Append(const char* data, size_t n) {
  if (capacity_ - used_ < n) {
    Flush();
    if (n > capacity_) {
      if (!failed_ && !file_->Write(data, n)) failed_ = true;
      return;
    }
  }
  std::memcpy(buf_.get() + used_, data, n);
  used_ += n;
}

void RecordWriter::Flush() {
  if (used_ > 0 && !failed_ && !file_->Write(buf_.get(), used_)) failed_ = true;
  used_ = 0;
}

Status RecordWriter::Close() {
  if (!file_) return failed_ ? Status::CannotWrite(path_) : Status::Ok();
  Flush();
  if (!file_->Close()) failed_ = true;
  file_.reset();
  return failed_ ? Status::CannotWrite(path_) : Status::Ok();
}

RecordReader::RecordReader(std::unique_ptr<ReadableFile> file,
                           size_t buffer_bytes)
    : file_(std::move(file)),
      lines_(file_.get(), kMaxRecordBytes, LongLines::kDropRest, buffer_bytes) {
}

Status RecordReader::Open(const Context& ctx, const std::string& path,
                          std::unique_ptr<RecordReader>* reader,
                          size_t buffer_bytes) {
  std::unique_ptr<ReadableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, &file));
  *reader = std::make_unique<RecordReader>(std::move(file), buffer_bytes);
  return Status::Ok();
}

bool ParseRecord(std::string_view line, WorkRecord* record) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end && IsSpace(*p)) ++p;
  const char* name = p;
  while (p < end && !IsSpace(*p)) ++p;
  if (p == name) return false;
  record->name = std::string_view(name, static_cast<size_t>(p - name));
  for (int* field : {&record->day, &record->hour, &record->weekday}) {
    while (p < end && IsSpace(*p)) ++p;
    p = ParseDecimal(p, end, field);
    if (p == nullptr) return false;
  }
  return true;
}

}  // namespace tovex
