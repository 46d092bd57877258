#include "log/log_input.h"

#include <algorithm>
#include <cstring>

#include "base/texts.h"
#include "log/gzip_file.h"
#include "log/line_reader.h"
#include "log/log_check.h"
#include "log/log_line.h"

namespace tovex {
namespace {

// Read block while an input's head is judged; small, since a stream keeps
// what it read ahead until the job reads it.
constexpr size_t kHeadBufferBytes = 16 * 1024;
// Scratch block for passing over the head of a seekable input again.
constexpr size_t kSkipBufferBytes = 16 * 1024;

// Counts the bytes taken from a file; a rewind starts the count again
// without losing the highest position reached, which is what progress
// shows.
class CountingFile : public ReadableFile {
 public:
  explicit CountingFile(std::unique_ptr<ReadableFile> file)
      : file_(std::move(file)) {}
  size_t Read(char* buf, size_t n) override {
    const size_t got = file_->Read(buf, n);
    position_ += got;
    high_ = std::max(high_, position_);
    return got;
  }
  std::string error() const override { return file_->error(); }
  uint64_t Size() const override { return file_->Size(); }
  bool Rewind() override {
    if (!file_->Rewind()) return false;
    position_ = 0;
    return true;
  }
  uint64_t high() const { return high_; }

 private:
  std::unique_ptr<ReadableFile> file_;
  uint64_t position_ = 0;
  uint64_t high_ = 0;
};

// Hands out `head` first, then what `file` has left. While keeping, every
// byte it hands out from `file` is kept too, from the last mark on, so that
// a stream's head can be handed out again.
class HeadFile : public ReadableFile {
 public:
  HeadFile(std::string head, ReadableFile* file)
      : head_(std::move(head)), file_(file) {}
  size_t Read(char* buf, size_t n) override {
    if (at_ < head_.size()) {
      const size_t take = std::min(n, head_.size() - at_);
      std::memcpy(buf, head_.data() + at_, take);
      at_ += take;
      return take;
    }
    const size_t got = file_->Read(buf, n);
    if (keeping_) kept_.append(buf, got);
    return got;
  }
  std::string error() const override { return file_->error(); }
  uint64_t Size() const override { return file_->Size(); }

  // Starts keeping. REQUIRES: nothing read yet.
  void Keep() { keeping_ = true; }
  // Drops the kept bytes before `offset`, counted from the first byte.
  void Mark(uint64_t offset) {
    kept_.erase(0, static_cast<size_t>(offset - kept_start_));
    kept_start_ = offset;
  }
  // The kept bytes, from the last mark on.
  std::string TakeKept() {
    keeping_ = false;
    return std::move(kept_);
  }

 private:
  std::string head_;
  size_t at_ = 0;
  ReadableFile* file_;
  bool keeping_ = false;
  std::string kept_;
  uint64_t kept_start_ = 0;
};

Status ReadError(const std::string& name, const ReadableFile& file,
                 bool corrupt) {
  return corrupt ? Status::CorruptInput(name, file.error())
                 : Status::CannotRead(name, file.error());
}

}  // namespace

class LogInput {
 public:
  LogInput(std::string name, std::unique_ptr<ReadableFile> raw)
      : name_(std::move(name)),
        raw_(std::make_unique<CountingFile>(std::move(raw))) {}

  // Reads the head: the gzip magic, the five-line check, the first counted
  // line. Leaves the input waiting at that line.
  Status Check() {
    char magic[2];
    size_t have = 0;
    while (have < sizeof magic) {
      const size_t got = raw_->Read(magic + have, sizeof magic - have);
      if (got == 0) break;
      have += got;
    }
    if (!raw_->error().empty()) return ReadError(name_, *raw_, false);
    gzip_ = std::string_view(magic, have) == kGzipMagic;
    seekable_ = raw_->Rewind();
    // A stream cannot go back: what was read is handed out again first.
    std::string pushed = seekable_ ? std::string() : std::string(magic, have);
    Decode(std::move(pushed));
    TOVEX_RETURN_IF_ERROR(ReadHead());
    if (seekable_) {
      stream_.reset();
      decoded_.reset();
    }
    return Status::Ok();
  }

  // The input from its first counted line on.
  Status Resume(ReadableFile** stream) {
    if (seekable_) {
      if (!raw_->Rewind()) return Status::CannotRead(name_, raw_->error());
      Decode(std::string());
      TOVEX_RETURN_IF_ERROR(Skip(first_offset_));
    }
    *stream = stream_.get();
    return Status::Ok();
  }

  // Frees what the input holds once it has been read.
  void Close() {
    stream_.reset();
    decoded_.reset();
  }

  const std::string& name() const { return name_; }
  bool empty() const { return empty_; }
  bool is_log() const { return is_log_; }
  const std::optional<InputDate>& date() const { return date_; }
  int64_t lines_before() const { return lines_before_; }
  bool corrupt() const {
    return gzip_ && decoded_ &&
           static_cast<GzipFile*>(decoded_.get())->corrupt();
  }
  uint64_t bytes_read() const { return raw_->high(); }
  uint64_t size() const { return raw_->Size(); }

 private:
  // The bytes the input holds, decompressed when it is gzip, after
  // `pushed` (bytes a stream gave already).
  void Decode(std::string pushed) {
    auto head = std::make_unique<HeadFile>(std::move(pushed), raw_.get());
    if (gzip_) {
      decoded_ = std::make_unique<GzipFile>(std::move(head));
    } else {
      decoded_ = std::move(head);
    }
    stream_ = std::make_unique<HeadFile>(std::string(), decoded_.get());
  }

  Status ReadHead() {
    stream_->Keep();
    LineReader lines(stream_.get(), kMaxLogLineBytes, LongLines::kDropRest,
                     kHeadBufferBytes);
    std::string_view line;
    int checked = 0;
    LogRecord record;
    while ((checked < kLinesChecked || !date_) && lines.Next(&line)) {
      // Until the first counted line, nothing before the current line is
      // kept: a stream holds at most a block read ahead.
      if (!date_) stream_->Mark(lines.line_start());
      if (checked < kLinesChecked && !LooksLikeLogLine(line)) {
        // A line cut short by a broken stream says nothing of the log.
        if (!decoded_->error().empty()) {
          return ReadError(name_, *decoded_, corrupt());
        }
        is_log_ = false;
        return Status::Ok();
      }
      ++checked;
      if (date_) continue;
      if (ParseCountedLine(line, &record)) {
        date_ = InputDate{record.year, record.month, record.day, record.hour};
        first_offset_ = lines.line_start();
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
    if (date_ && !seekable_) {
      stream_ = std::make_unique<HeadFile>(stream_->TakeKept(), decoded_.get());
    }
    return Status::Ok();
  }

  Status Skip(uint64_t bytes) {
    std::unique_ptr<char[]> scratch(new char[kSkipBufferBytes]);
    while (bytes > 0) {
      const size_t got = decoded_->Read(
          scratch.get(),
          static_cast<size_t>(std::min<uint64_t>(bytes, kSkipBufferBytes)));
      if (got == 0) {
        return decoded_->error().empty()
                   ? Status::CannotRead(name_, "changed while being read")
                   : ReadError(name_, *decoded_, corrupt());
      }
      bytes -= got;
    }
    return Status::Ok();
  }

  std::string name_;
  std::unique_ptr<CountingFile> raw_;
  std::unique_ptr<ReadableFile> decoded_;
  std::unique_ptr<HeadFile> stream_;
  bool gzip_ = false;
  bool seekable_ = false;
  bool empty_ = false;
  bool is_log_ = false;
  std::optional<InputDate> date_;
  uint64_t first_offset_ = 0;
  int64_t lines_before_ = 0;
};

InputLog::~InputLog() = default;

size_t InputLog::Read(char* buf, size_t n) {
  while (true) {
    if (line_end_owed_) {
      line_end_owed_ = false;
      buf[0] = '\n';
      return 1;
    }
    if (current_ == inputs_.size()) return 0;
    LogInput& input = *inputs_[current_];
    if (stream_ == nullptr) {
      const Status st = input.Resume(&stream_);
      if (!st.ok()) {
        failure_ = st;
        return 0;
      }
      last_byte_ = '\n';
    }
    const size_t got = stream_->Read(buf, n);
    if (got > 0) {
      last_byte_ = buf[got - 1];
      return got;
    }
    if (!stream_->error().empty()) {
      failure_ = ReadError(input.name(), *stream_, input.corrupt());
      return 0;
    }
    // The input's last line ends with the input.
    line_end_owed_ = last_byte_ != '\n';
    input.Close();
    stream_ = nullptr;
    ++current_;
  }
}

std::string InputLog::error() const {
  return failure_.ok() ? std::string() : failure_.Message();
}

uint64_t InputLog::bytes_read() const {
  uint64_t n = 0;
  for (const auto& input : inputs_) n += input->bytes_read();
  return n;
}

Status OpenLog(const Context& ctx, const std::vector<std::string>& names,
               std::unique_ptr<InputLog>* log) {
  std::unique_ptr<InputLog> result(new InputLog());
  std::vector<std::unique_ptr<LogInput>> dated, undated;
  for (const std::string& name : names) {
    std::string error;
    std::unique_ptr<ReadableFile> raw =
        name == kStandardInputName ? ctx.platform.fs->OpenStandardInput()
                                   : ctx.platform.fs->OpenRead(name, &error);
    if (!raw) return Status::CannotOpen(name, error);
    auto input = std::make_unique<LogInput>(name, std::move(raw));
    TOVEX_RETURN_IF_ERROR(input->Check());
    result->size_ += input->size();
    result->lines_passed_over_ += input->lines_before();
    if (input->empty()) {
      ctx.platform.messages->Warn(
          FormatText(UserText::kEmptyInput, name.c_str()));
      continue;
    }
    if (!input->is_log()) return Status::NotAccessLog(name);
    (input->date() ? dated : undated).push_back(std::move(input));
  }
  if (dated.empty() && undated.empty()) return Status::NotAccessLog("");
  // Oldest first; ties keep the order given.
  std::stable_sort(
      dated.begin(), dated.end(),
      [](const auto& a, const auto& b) { return *a->date() < *b->date(); });
  // Inputs without a counted line were read whole already; nothing of them
  // remains for the job.
  result->inputs_ = std::move(dated);
  *log = std::move(result);
  return Status::Ok();
}

Status ReadFailure(const InputLog& log) { return log.failure_; }

}  // namespace tovex
