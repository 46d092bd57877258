#include "log/log_input.h"

#include <algorithm>
#include <cstring>

#include "base/texts.h"
#include "log/crc32.h"
#include "log/log_input_file.h"

namespace tovex {

// The stream of one input read with a history, as it passes: how far it
// has gone, the CRC-32 of its content so far, and the last bytes before
// its last line end, so that its end can be recorded either with its
// unended last line or without it.
class TrackingFile : public ReadableFile {
 public:
  // `at`: the content offset of the first byte `file` hands out; `crc`:
  // the CRC-32 of the content before it. Without `crc_wanted` (a stream,
  // whose head is not all kept) no CRC-32 is made.
  TrackingFile(ReadableFile* file, uint64_t at, uint32_t crc,
               std::string check, bool crc_wanted)
      : file_(file),
        crc_wanted_(crc_wanted),
        position_(at),
        crc_(crc),
        last_(std::move(check)),
        committed_{at, crc, last_} {}

  size_t Read(char* buf, size_t n) override {
    const size_t got = file_->Read(buf, n);
    Take(buf, got);
    return got;
  }
  std::string error() const override { return file_->error(); }
  uint64_t Size() const override { return file_->Size(); }

  // Where the input ends: with its unended last line, or before it.
  InputEnd End(bool with_unended) const {
    const Point& p = with_unended ? Point{position_, crc_, last_} : committed_;
    return {true, false, p.offset, crc_wanted_ ? p.crc : 0, p.check};
  }

 private:
  struct Point {
    uint64_t offset;
    uint32_t crc;
    std::string check;
  };

  void Take(const char* p, size_t n) {
    if (n == 0) return;
    const char* nl = static_cast<const char*>(memrchr(p, '\n', n));
    const size_t upto = nl != nullptr ? static_cast<size_t>(nl - p) + 1 : 0;
    if (upto > 0) {
      committed_.offset = position_ + upto;
      committed_.crc = Crc(crc_, p, upto);
      committed_.check = Last(p, upto);
    }
    crc_ = upto > 0 ? Crc(committed_.crc, p + upto, n - upto) : Crc(crc_, p, n);
    last_ = Last(p, n);
    position_ += n;
  }

  uint32_t Crc(uint32_t crc, const char* p, size_t n) const {
    return crc_wanted_ ? Crc32(crc, p, n) : 0;
  }

  // The last kCheckBytes of what came before and `p[0, n)`.
  std::string Last(const char* p, size_t n) const {
    if (n >= kCheckBytes) return std::string(p + n - kCheckBytes, kCheckBytes);
    std::string s = last_.substr(last_.size() - std::min(last_.size(),
                                                         kCheckBytes - n));
    return s.append(p, n);
  }

  ReadableFile* file_;
  const bool crc_wanted_;
  uint64_t position_;
  uint32_t crc_;
  std::string last_;  // the last kCheckBytes handed out
  Point committed_;   // after the last line end
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

std::vector<InputHead> InputLog::heads() const {
  std::vector<InputHead> heads;
  for (const auto& input : inputs_) heads.push_back(input->head());
  return heads;
}

bool InputLog::NextInput(
    const std::function<InputStart(const InputHead&)>& plan,
    ReadableFile** stream, size_t* index) {
  ends_.resize(inputs_.size());
  for (; current_ < inputs_.size(); ++current_) {
    LogInput& input = *inputs_[current_];
    const InputStart start = plan(input.head());
    if (start.skip) continue;
    ReadableFile* from = nullptr;
    bool restarted = false;
    uint64_t at = 0;
    failure_ = input.ResumeAt(start, &from, &restarted, &at);
    if (!failure_.ok()) return false;
    // What a stream passed over before its first counted line was read.
    if (!input.head().seekable && start.offset == 0) {
      lines_passed_over_ += input.lines_before();
    }
    const bool fresh = restarted || start.offset == 0;
    tracking_ = std::make_unique<TrackingFile>(
        from, at, fresh ? 0 : start.crc, fresh ? "" : start.check,
        input.head().seekable);
    ends_[current_].restarted = restarted;
    *stream = tracking_.get();
    *index = current_;
    return true;
  }
  return false;
}

void InputLog::EndInput(bool consume_unended) {
  LogInput& input = *inputs_[current_];
  if (!tracking_->error().empty()) {
    failure_ = ReadError(input.name(), *tracking_, input.corrupt());
  }
  const bool restarted = ends_[current_].restarted;
  ends_[current_] = tracking_->End(consume_unended);
  ends_[current_].restarted = restarted;
  tracking_.reset();
  input.Close();
  ++current_;
}

Status OpenLog(const Context& ctx, const std::vector<std::string>& names,
               InputMode mode, std::unique_ptr<InputLog>* log,
               LineJudge* judge) {
  std::unique_ptr<InputLog> result(new InputLog());
  std::vector<std::unique_ptr<LogInput>> dated, undated;
  const bool history = mode == InputMode::kHistory;
  for (const std::string& name : names) {
    std::string error;
    std::unique_ptr<ReadableFile> raw =
        name == kStandardInputName
            ? ctx.platform.fs->OpenStandardInput(ctx.stop)
            : ctx.platform.fs->OpenRead(name, &error, ctx.stop);
    if (!raw) return Status::CannotOpen(name, error);
    result->input_ids_.emplace_back(name, raw->id());
    auto input = std::make_unique<LogInput>(name, std::move(raw));
    const Status checked = input->Check(history, judge);
    // A read cut short by a stop is the stop.
    TOVEX_RETURN_IF_ERROR(checked.ok() ? checked : ctx.Stopped());
    TOVEX_RETURN_IF_ERROR(checked);
    result->size_ += input->size();
    if (!history) result->lines_passed_over_ += input->lines_before();
    if (input->empty()) {
      ctx.platform.messages->Note(
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
  // As one log, inputs without a counted line were read whole already:
  // nothing of them remains for the job. A history reads them too, last,
  // to know where they end; a stream of them has nothing kept to go on
  // with, and nothing of it counts.
  for (auto& input : undated) {
    if (history && input->head().seekable) dated.push_back(std::move(input));
  }
  result->inputs_ = std::move(dated);
  *log = std::move(result);
  return Status::Ok();
}

Status ReadFailure(const InputLog& log) { return log.failure_; }

}  // namespace tovex
