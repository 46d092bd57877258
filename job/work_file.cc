#include "job/work_file.h"

#include <cassert>
#include <cstring>

namespace tovex {
namespace {

// Writes the decimal text of `v` at `out`; returns the end. 11 bytes at most.
char* AppendInt(char* out, int v) {
  char tmp[12];
  unsigned int u =
      v < 0 ? 0u - static_cast<unsigned int>(v) : static_cast<unsigned int>(v);
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *out++ = '-';
  while (n > 0) *out++ = tmp[--n];
  return out;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

// Reads one "%d" field at `*pos`: white space, an optional sign, digits.
bool ReadInt(std::string_view s, size_t* pos, int* value) {
  size_t i = *pos;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
  long long v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (v < 10000000000LL) v = v * 10 + (s[i] - '0');
    ++i;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) v = 2147483647LL;
  if (v < -2147483648LL) v = -2147483648LL;
  *value = static_cast<int>(v);
  *pos = i;
  return true;
}

}  // namespace

std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name) {
  std::string path = ctx.base_dir;
  path += NativeDirectory(dir);
  path += name;
  return path;
}

std::string NumberText(int n) {
  char buf[16];
  return std::string(buf, AppendInt(buf, n));
}

std::string NumberedName(int number, std::string_view suffix) {
  std::string name = NumberText(number);
  name += '.';
  name += suffix;
  return name;
}

std::string JoinPathNumbered(const Context& ctx, std::string_view dir,
                             int number, std::string_view suffix) {
  return JoinPath(ctx, dir, NumberedName(number, suffix));
}

std::string JoinPathDated(const Context& ctx, std::string_view dir, int year,
                          int month, int day) {
  char buf[48];
  char* p = AppendInt(buf, year);
  *p++ = '-';
  p = AppendInt(p, month);
  *p++ = '-';
  p = AppendInt(p, day);
  std::string name(buf, p);
  name += ".html";
  return JoinPath(ctx, dir, name);
}

Status OpenOrDie(const Context& ctx, const std::string& path,
                 std::unique_ptr<ReadableFile>* file) {
  *file = ctx.platform.fs->OpenRead(path);
  return *file ? Status::Ok() : Status::CannotOpen(path);
}

Status OpenOrDie(const Context& ctx, const std::string& path, OpenMode mode,
                 std::unique_ptr<WritableFile>* file) {
  *file = mode == OpenMode::kWrite ? ctx.platform.fs->OpenWrite(path)
                                   : ctx.platform.fs->OpenAppend(path);
  return *file ? Status::Ok() : Status::CannotOpen(path);
}

bool FileExists(const Context& ctx, const std::string& path) {
  return ctx.platform.fs->OpenRead(path) != nullptr;
}

void RemoveWorkFiles(const Context& ctx, std::string_view work_dir) {
  FileSystem* fs = ctx.platform.fs;
  for (std::string_view suffix : {"dk", "hk", "s"}) {
    for (int n = 1; fs->Delete(JoinPathNumbered(ctx, work_dir, n, suffix));
         ++n) {
    }
  }
  fs->Delete(JoinPath(ctx, work_dir, "index.dk"));
  fs->Delete(JoinPath(ctx, work_dir, "index.hk"));
}

void RemoveDayFiles(const Context& ctx, std::string_view work_dir, int last) {
  FileSystem* fs = ctx.platform.fs;
  for (int n = 1; n <= last; ++n) {
    fs->Delete(JoinPathNumbered(ctx, work_dir, n, "ddy"));
    fs->Delete(JoinPathNumbered(ctx, work_dir, n, "hdy"));
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
  // Three numbers of at most 11 bytes each and their separators.
  char tail[40];
  char* p = tail;
  *p++ = ' ';
  p = AppendInt(p, day);
  *p++ = ' ';
  p = AppendInt(p, hour);
  *p++ = ' ';
  p = AppendInt(p, weekday);
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
      lines_(file_.get(), kMaxRecordBytes, buffer_bytes) {}

Status RecordReader::Open(const Context& ctx, const std::string& path,
                          std::unique_ptr<RecordReader>* reader,
                          size_t buffer_bytes) {
  std::unique_ptr<ReadableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, &file));
  *reader = std::make_unique<RecordReader>(std::move(file), buffer_bytes);
  return Status::Ok();
}

namespace {

// The shape every record of the job has: "name d h w\n" with single blanks
// and unsigned numbers. Returns false for anything else, which the general
// parse then handles.
bool ParseOwnRecord(std::string_view line, WorkRecord* record) {
  const char* p = line.data();
  const char* end = p + line.size();
  const char* blank =
      static_cast<const char*>(std::memchr(p, ' ', line.size()));
  if (blank == nullptr || blank == p) return false;
  int fields[3];
  const char* q = blank + 1;
  for (int i = 0; i < 3; ++i) {
    const char* digits = q;
    int v = 0;
    while (q < end && *q >= '0' && *q <= '9' && q - digits < 9) {
      v = v * 10 + (*q++ - '0');
    }
    if (q == digits) return false;
    const char want = i < 2 ? ' ' : '\n';
    if (q < end && *q != want) return false;
    if (q == end && i < 2) return false;
    fields[i] = v;
    ++q;
  }
  record->name = std::string_view(p, static_cast<size_t>(blank - p));
  record->day = fields[0];
  record->hour = fields[1];
  record->weekday = fields[2];
  return true;
}

}  // namespace

bool ParseRecord(std::string_view line, WorkRecord* record) {
  if (ParseOwnRecord(line, record)) return true;
  size_t i = 0;
  while (i < line.size() && IsSpace(line[i])) ++i;
  size_t start = i;
  while (i < line.size() && !IsSpace(line[i])) ++i;
  if (i == start) return false;
  record->name = line.substr(start, i - start);
  return ReadInt(line, &i, &record->day) && ReadInt(line, &i, &record->hour) &&
         ReadInt(line, &i, &record->weekday);
}

}  // namespace tovex
