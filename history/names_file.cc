#include "history/names_file.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"

#include "log/crc32.h"

namespace tovex {
namespace {

constexpr std::string_view kMagic = "TVXN";
constexpr char kFormat = 1;
// Read block: a month's 31 day sets are merged at once.
constexpr size_t kBlockBytes = 8 * 1024;
// Write block: few sets are written at once, and the whole log's takes
// megabytes: in as few calls as will do.
constexpr size_t kWriteBlockBytes = 64 * 1024;
// Writeback of a set is started each time this much more is written: a
// whole-log set is then mostly on the disk when the commit syncs it.
constexpr uint64_t kWritebackStepBytes = 512 * 1024;
// The most a record takes: a shared length, a rest length, a key's bytes
// and a count; the trailer is smaller.
constexpr size_t kMaxRecordBytes = 2 * 2 + kMaxKeyBytes + 10;

void PutLittle32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

uint32_t GetLittle32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    v |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  }
  return v;
}

}  // namespace

NamesWriter::NamesWriter(std::unique_ptr<WritableFile> file, std::string path)
    : file_(std::move(file)),
      path_(std::move(path)),
      buf_(new char[kWriteBlockBytes]) {
  Put(kMagic.data(), kMagic.size());
  Put(&kFormat, 1);
}

NamesWriter::~NamesWriter() {
  if (file_) file_->Close();
}

Status NamesWriter::Create(Folder* folder, const std::string& name,
                           std::unique_ptr<NamesWriter>* writer) {
  std::unique_ptr<WritableFile> file;
  TOVEX_RETURN_IF_ERROR(CreateOrDie(folder, name, &file));
  writer->reset(new NamesWriter(std::move(file), folder->path() + name));
  return Status::Ok();
}

void NamesWriter::Put(const char* p, size_t n) {
  if (kWriteBlockBytes - used_ < n) Flush();
  std::memcpy(buf_.get() + used_, p, n);
  used_ += n;
}

void NamesWriter::Checksum() {
  crc_ = Crc32(crc_, buf_.get() + checked_, used_ - checked_);
  checked_ = used_;
}

void NamesWriter::Flush() {
  Checksum();
  checked_ = 0;
  if (used_ > 0 && !failed_ && !file_->Write(buf_.get(), used_)) {
    failed_ = true;
  }
  bytes_ += used_;
  used_ = 0;
  if (bytes_ - written_back_ >= kWritebackStepBytes) {
    file_->StartWriteback();
    written_back_ = bytes_;
  }
}

Status NamesWriter::Take(const RunRecord& r) {
  if (r.key.size() > kMaxKeyBytes) return Status::CannotWrite(path_, "key");
  size_t shared = 0;
  const size_t limit = std::min(last_.size(), r.key.size());
  while (shared < limit && last_[shared] == r.key[shared]) ++shared;
  char record[kMaxRecordBytes];
  // 0 opens the trailer, so a record's shared length is written plus one.
  char* p = PutVarint(record, shared + 1);
  p = PutVarint(p, r.key.size() - shared);
  std::memcpy(p, r.key.data() + shared, r.key.size() - shared);
  p = PutVarint(p + (r.key.size() - shared), r.count);
  Put(record, static_cast<size_t>(p - record));
  last_.assign(r.key);
  ++records_;
  return Status::Ok();
}

Status NamesWriter::Close() {
  if (!file_) return failed_ ? Status::CannotWrite(path_) : Status::Ok();
  char trailer[1 + 10 + 4];
  char* p = PutVarint(trailer + 1, records_);
  trailer[0] = 0;
  Put(trailer, static_cast<size_t>(p - trailer));
  Checksum();
  char crc[4];
  PutLittle32(crc, crc_);
  Put(crc, sizeof crc);
  checked_ = used_;  // the CRC-32 is not of itself
  Flush();
  // The commit's sync finds the file on the disk already, or under way.
  file_->StartWriteback();
  if (!file_->Close()) failed_ = true;
  const std::string error = file_->error();
  file_.reset();
  return failed_ ? Status::CannotWrite(path_, error) : Status::Ok();
}

NamesReader::NamesReader(std::unique_ptr<ReadableFile> file, std::string path,
                         const Context& ctx)
    : file_(std::move(file)),
      path_(std::move(path)),
      ctx_(ctx),
      buf_(new char[kBlockBytes]) {}

Status NamesReader::Open(Folder* folder, const std::string& name,
                         const Context& ctx,
                         std::unique_ptr<NamesReader>* reader) {
  std::unique_ptr<ReadableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(folder, name, &file));
  reader->reset(new NamesReader(std::move(file), folder->path() + name, ctx));
  return Status::Ok();
}

bool NamesReader::Damaged(const char* why) {
  if (status_.ok()) status_ = Status::CannotRead(path_, why);
  return false;
}

bool NamesReader::Fill() {
  status_ = ctx_.Stopped();
  if (!status_.ok()) return false;
  crc_ = Crc32(crc_, buf_.get(), begin_);
  std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (!eof_ && end_ < kMaxRecordBytes) {
    const size_t got = file_->Read(buf_.get() + end_, kBlockBytes - end_);
    if (got == 0) {
      eof_ = true;
      if (!file_->error().empty()) {
        status_ = Status::CannotRead(path_, file_->error());
        return false;
      }
    }
    end_ += got;
  }
  return true;
}

bool NamesReader::Next(RunRecord* record) {
  if (!status_.ok()) return false;
  if (end_ - begin_ < kMaxRecordBytes && !eof_ && !Fill()) return false;
  const char* p = buf_.get() + begin_;
  const char* const end = buf_.get() + end_;
  if (!started_) {
    if (end - p < 5 || std::string_view(p, 4) != kMagic) {
      return Damaged("not a names file of the history");
    }
    if (p[4] != kFormat) return Damaged("a names file of another format");
    p += 5;
    started_ = true;
  }
  uint64_t shared = 0, rest = 0, count = 0;
  if (!GetVarint(&p, end, &shared)) return Damaged("cut short");
  if (shared == 0) {
    // The trailer: the record count and the CRC-32 of all before it.
    uint64_t records = 0;
    if (!GetVarint(&p, end, &records) || end - p != 4) {
      return Damaged("cut short");
    }
    const uint32_t crc =
        Crc32(crc_, buf_.get(), static_cast<size_t>(p - buf_.get()));
    if (records != records_ || GetLittle32(p) != crc) {
      return Damaged("damaged");
    }
    begin_ = end_;
    return false;
  }
  const size_t s = static_cast<size_t>(shared - 1);
  if (s > key_.size() || !GetVarint(&p, end, &rest) ||
      s + rest > kMaxKeyBytes || static_cast<uint64_t>(end - p) < rest) {
    return Damaged("damaged");
  }
  // Keys go strictly up: a merge relies on it.
  const bool up = records_ == 0 ||
                  (rest > 0 && (s == key_.size() ||
                                static_cast<unsigned char>(p[0]) >
                                    static_cast<unsigned char>(key_[s])));
  if (!up) return Damaged("damaged");
  key_.resize(s);
  key_.append(p, static_cast<size_t>(rest));
  p += rest;
  if (!GetVarint(&p, end, &count)) return Damaged("cut short");
  ++records_;
  begin_ = static_cast<size_t>(p - buf_.get());
  *record = {key_, count, 0};
  return true;
}

}  // namespace tovex
