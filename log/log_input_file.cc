#include "log/log_input_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "log/gzip_file.h"
#include "log/line_reader.h"
#include "log/log_check.h"
#include "log/log_line.h"

namespace tovex {
namespace {

// Read block while an input's head is judged; small, since a stream keeps
// what it read ahead until the job reads it.
constexpr size_t kHeadBufferBytes = 16 * 1024;
// Scratch block for passing over bytes of an input.
constexpr size_t kSkipBufferBytes = 16 * 1024;
// A gzip member ends in eight bytes: its content's CRC-32 and length.
constexpr size_t kGzipTrailerBytes = 8;

uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

// Counts the bytes taken from a file; a rewind starts the count again
// without losing the highest position reached, which is what progress
// shows. The count may be read on another thread than the one reading
// (a scanner that reads on its worker).
class CountingFile : public ReadableFile {
 public:
  explicit CountingFile(std::unique_ptr<ReadableFile> file)
      : file_(std::move(file)) {}
  size_t Read(char* buf, size_t n) override {
    const size_t got = file_->Read(buf, n);
    position_ += got;
    if (position_ > high_.load(std::memory_order_relaxed)) {
      high_.store(position_, std::memory_order_relaxed);
    }
    return got;
  }
  std::string error() const override { return file_->error(); }
  uint64_t Size() const override { return file_->Size(); }
  bool Rewind() override { return Seek(0); }
  bool Seek(uint64_t offset) override {
    if (!file_->Seek(offset)) return false;
    position_ = offset;
    return true;
  }
  FileId id() const override { return file_->id(); }
  uint64_t high() const { return high_.load(std::memory_order_relaxed); }

 private:
  std::unique_ptr<ReadableFile> file_;
  uint64_t position_ = 0;
  std::atomic<uint64_t> high_{0};
};

// Hands out `head` first, then what `file` has left. It keeps a copy of
// the first kIdentityBytes it hands out, which identify the stream. Once
// keeping, it also keeps what it hands out from `file`, so that a stream's
// head can be handed out again. Of a line longer than a log line is judged
// on, only its first kKeptLineBytes and its line end are kept: read again,
// it is still too long and counts by the same head, and memory stays fixed
// whatever the lines hold.
class HeadFile : public ReadableFile {
 public:
  // One byte more than a log line is judged on: read back, still too long.
  static constexpr size_t kKeptLineBytes = kMaxLogLineBytes + 1;

  HeadFile(std::string head, ReadableFile* file)
      : head_(std::move(head)), file_(file) {}
  size_t Read(char* buf, size_t n) override {
    size_t got;
    if (at_ < head_.size()) {
      got = std::min(n, head_.size() - at_);
      std::memcpy(buf, head_.data() + at_, got);
      at_ += got;
    } else {
      got = file_->Read(buf, n);
      if (keeping_) Keep(buf, got);
    }
    if (first_.size() < kIdentityBytes) {
      first_.append(buf, std::min(got, kIdentityBytes - first_.size()));
    }
    return got;
  }
  std::string error() const override { return file_->error(); }
  uint64_t Size() const override { return file_->Size(); }

  // Starts keeping, with `read` (the bytes from a line's start that were
  // read from here already).
  void StartKeeping(std::string_view read) {
    keeping_ = true;
    Keep(read.data(), read.size());
  }
  // The kept bytes.
  std::string TakeKept() {
    keeping_ = false;
    return std::move(kept_);
  }
  // Content bytes left out of the kept ones.
  uint64_t elided() const { return elided_; }
  // The first bytes handed out.
  const std::string& first_bytes() const { return first_; }

 private:
  void Keep(const char* p, size_t n) {
    while (n > 0) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', n));
      const size_t content = nl != nullptr ? static_cast<size_t>(nl - p) : n;
      const size_t room = line_ < kKeptLineBytes ? kKeptLineBytes - line_ : 0;
      kept_.append(p, std::min(content, room));
      elided_ += content - std::min(content, room);
      line_ += content;
      if (nl != nullptr) {
        kept_ += '\n';
        line_ = 0;
      }
      const size_t used = nl != nullptr ? content + 1 : n;
      p += used;
      n -= used;
    }
  }

  std::string head_;
  size_t at_ = 0;
  ReadableFile* file_;
  std::string first_;
  bool keeping_ = false;
  std::string kept_;
  size_t line_ = 0;  // bytes of the kept line so far
  uint64_t elided_ = 0;
};

Status ReadError(const std::string& name, const ReadableFile& file,
                 bool corrupt) {
  return corrupt ? Status::CorruptInput(name, file.error())
                 : Status::CannotRead(name, file.error());
}

namespace {

// Whether a head line counts. A judge may rewrite what it judges, so it
// judges a copy: the line is handed out again as read, and judged anew.
bool HeadLineCounts(std::string_view line, LineJudge* judge,
                    LogRecord* record) {
  if (judge == nullptr) return ParseCountedLine(line, record);
  char copy[kMaxLogLineBytes];
  std::memcpy(copy, line.data(), line.size());
  size_t size = line.size();
  return judge->Judge(copy, &size, record);
}

}  // namespace

LogInput::LogInput(std::string name, std::unique_ptr<ReadableFile> raw)
    : name_(std::move(name)),
      raw_(std::make_unique<CountingFile>(std::move(raw))) {
  head_.name = name_;
  head_.file = raw_->id();
}

LogInput::~LogInput() = default;

Status LogInput::Check(bool trailer, LineJudge* judge) {
  char magic[2];
  size_t have = 0;
  while (have < sizeof magic) {
    const size_t got = raw_->Read(magic + have, sizeof magic - have);
    if (got == 0) break;
    have += got;
  }
  if (!raw_->error().empty()) return ReadError(name_, *raw_, false);
  head_.gzip = std::string_view(magic, have) == kGzipMagic;
  head_.seekable = raw_->Rewind();
  if (trailer && head_.gzip && head_.seekable) {
    TOVEX_RETURN_IF_ERROR(ReadTrailer());
  }
  // A stream cannot go back: what was read is handed out again first.
  std::string pushed =
      head_.seekable ? std::string() : std::string(magic, have);
  Decode(std::move(pushed));
  TOVEX_RETURN_IF_ERROR(ReadHead(judge));
  if (head_.seekable) Close();
  return Status::Ok();
}

Status LogInput::ReadTrailer() {
  const uint64_t size = raw_->Size();
  unsigned char t[kGzipTrailerBytes];
  size_t have = 0;
  if (size >= kGzipTrailerBytes && raw_->Seek(size - kGzipTrailerBytes)) {
    while (have < sizeof t) {
      const size_t got =
          raw_->Read(reinterpret_cast<char*>(t) + have, sizeof t - have);
      if (got == 0) break;
      have += got;
    }
  }
  if (!raw_->error().empty()) return ReadError(name_, *raw_, false);
  head_.has_trailer = have == sizeof t;
  head_.trailer_crc = LittleEndian32(t);
  head_.trailer_size = LittleEndian32(t + 4);
  if (!raw_->Rewind()) return Status::CannotRead(name_, raw_->error());
  return Status::Ok();
}

Status LogInput::Resume(ReadableFile** stream) {
  if (head_.seekable) {
    if (!raw_->Rewind()) return Status::CannotRead(name_, raw_->error());
    Decode(std::string());
    TOVEX_RETURN_IF_ERROR(Skip(first_offset_));
  }
  *stream = stream_.get();
  return Status::Ok();
}

Status LogInput::ResumeAt(const InputStart& start, ReadableFile** stream,
                          bool* restarted, uint64_t* at) {
  *restarted = false;
  const uint64_t c = start.check.size();
  if (!head_.seekable) {
    // A stream goes on from its first counted line, what was before it
    // passed over; one read before goes on from where it was left.
    *at = first_offset_;
    *stream = stream_.get();
    if (start.offset <= first_offset_) return Status::Ok();
    // Where its kept head left bytes out, the check cannot be made.
    const uint64_t checked = elided_ > 0 ? 0 : c;
    TOVEX_RETURN_IF_ERROR(Skip(start.offset - checked - first_offset_ -
                               (elided_ > 0 ? elided_ : 0)));
    std::string before(checked, '\0');
    if (checked > 0) TOVEX_RETURN_IF_ERROR(Skip(checked, &before));
    if (before != start.check.substr(c - checked)) {
      return Status::CannotRead(name_, "not the stream read before");
    }
    *at = start.offset;
    return Status::Ok();
  }
  if (start.offset > 0) {
    // Plain bytes are sought; compressed ones decoded from the start.
    const bool sought =
        !head_.gzip && start.offset >= c && raw_->Seek(start.offset - c);
    if (!sought && !raw_->Rewind()) {
      return Status::CannotRead(name_, raw_->error());
    }
    Decode(std::string());
    std::string before(c, '\0');
    const Status skipped = Skip(sought ? 0 : start.offset - c);
    if (skipped.ok() && Skip(c, &before).ok() && before == start.check) {
      *at = start.offset;
      *stream = stream_.get();
      return Status::Ok();
    }
    if (!decoded_->error().empty()) {
      return ReadError(name_, *decoded_, corrupt());
    }
  }
  // Read whole: new, or not what the history read before.
  *restarted = start.offset > 0;
  if (!raw_->Rewind()) return Status::CannotRead(name_, raw_->error());
  Decode(std::string());
  *at = 0;
  *stream = stream_.get();
  return Status::Ok();
}

void LogInput::Close() {
  stream_.reset();
  decoded_.reset();
}

bool LogInput::corrupt() const {
  return head_.gzip && decoded_ &&
         static_cast<GzipFile*>(decoded_.get())->corrupt();
}

uint64_t LogInput::bytes_read() const { return raw_->high(); }
uint64_t LogInput::size() const { return raw_->Size(); }

void LogInput::Decode(std::string pushed) {
  auto head = std::make_unique<HeadFile>(std::move(pushed), raw_.get());
  if (head_.gzip) {
    decoded_ = std::make_unique<GzipFile>(std::move(head));
  } else {
    decoded_ = std::move(head);
  }
  stream_ = std::make_unique<HeadFile>(std::string(), decoded_.get());
}

Status LogInput::ReadHead(LineJudge* judge) {
  LineReader lines(stream_.get(), kMaxLogLineBytes, LongLines::kDropRest,
                   kHeadBufferBytes);
  std::string_view line;
  int checked = 0;
  LogRecord record;
  // The check reads on for the identity's bytes too.
  while ((checked < kLinesChecked || !head_.date) && lines.Next(&line)) {
    if (checked < kLinesChecked && !LooksLikeLogLine(line)) {
      // A line cut short by a broken stream says nothing of the log.
      if (!decoded_->error().empty()) {
        return ReadError(name_, *decoded_, corrupt());
      }
      is_log_ = false;
      return Status::Ok();
    }
    ++checked;
    if (head_.date) continue;
    if (HeadLineCounts(line, judge, &record)) {
      head_.date = InputDate{record.year, record.month, record.day,
                             record.hour};
      first_offset_ = lines.line_start();
      // A stream goes on from here: this line and what follows it are
      // kept until the job reads them.
      if (!head_.seekable) stream_->StartKeeping(lines.Buffered());
    } else {
      ++lines_before_;
    }
  }
  if (!decoded_->error().empty()) {
    return ReadError(name_, *decoded_, corrupt());
  }
  empty_ = lines.bytes_read() == 0;
  is_log_ = checked > 0;
  // A stream goes on from its first counted line, with what was read
  // past it.
  head_.first_bytes = stream_->first_bytes();
  if (head_.date && !head_.seekable) {
    elided_ = stream_->elided();
    stream_ = std::make_unique<HeadFile>(stream_->TakeKept(), decoded_.get());
  }
  return Status::Ok();
}

Status LogInput::Skip(uint64_t bytes, std::string* into) {
  std::unique_ptr<char[]> scratch(new char[kSkipBufferBytes]);
  size_t filled = 0;
  while (bytes > 0) {
    const size_t got = stream_->Read(
        scratch.get(),
        static_cast<size_t>(std::min<uint64_t>(bytes, kSkipBufferBytes)));
    if (got == 0) {
      return decoded_->error().empty()
                 ? Status::CannotRead(name_, "changed while being read")
                 : ReadError(name_, *decoded_, corrupt());
    }
    if (into != nullptr) {
      std::memcpy(into->data() + filled, scratch.get(), got);
      filled += got;
    }
    bytes -= got;
  }
  return Status::Ok();
}

}  // namespace tovex
