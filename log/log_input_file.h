// One input of a run: its file, its head as judged, and its bytes from
// where the reading goes on. Not part of log/'s interface (log_input.h).

#ifndef TOVEX_LOG_LOG_INPUT_FILE_H_
#define TOVEX_LOG_LOG_INPUT_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/status.h"
#include "log/line_judge.h"
#include "log/log_input.h"
#include "platform/platform.h"

namespace tovex {

class CountingFile;
class HeadFile;

class LogInput {
 public:
  LogInput(std::string name, std::unique_ptr<ReadableFile> raw);
  ~LogInput();

  // Reads the head: the gzip magic, the five-line check, the first counted
  // line, the first kIdentityBytes of content (and with `trailer`, a
  // seekable gzip input's last eight bytes). Leaves a stream waiting at its
  // first counted line. With `judge`, a line counts as it judges it.
  Status Check(bool trailer, LineJudge* judge = nullptr);

  // The input from its first counted line on.
  Status Resume(ReadableFile** stream);
  // The input from content byte `start.offset` on, when the bytes before it
  // end in `start.check`; from its first byte, with `*restarted` set, when
  // they do not (it is not the stream the history read). `*at` gets where
  // the stream handed out starts, counted in content bytes.
  Status ResumeAt(const InputStart& start, ReadableFile** stream,
                  bool* restarted, uint64_t* at);

  // Frees what the input holds once it has been read.
  void Close();

  const std::string& name() const { return name_; }
  bool empty() const { return empty_; }
  bool is_log() const { return is_log_; }
  const InputHead& head() const { return head_; }
  const std::optional<InputDate>& date() const { return head_.date; }
  int64_t lines_before() const { return lines_before_; }
  bool corrupt() const;
  uint64_t bytes_read() const;
  uint64_t size() const;

 private:
  // The bytes the input holds, decompressed when it is gzip, after
  // `pushed` (bytes a stream gave already).
  void Decode(std::string pushed);
  Status ReadHead(LineJudge* judge);
  Status ReadTrailer();
  // Reads `bytes` bytes of content, into `*into` when given (sized so),
  // else dropping them.
  Status Skip(uint64_t bytes, std::string* into = nullptr);

  std::string name_;
  std::unique_ptr<CountingFile> raw_;
  std::unique_ptr<ReadableFile> decoded_;
  std::unique_ptr<HeadFile> stream_;
  bool empty_ = false;
  bool is_log_ = false;
  InputHead head_;
  uint64_t first_offset_ = 0;
  int64_t lines_before_ = 0;
  // A stream's head keeps of long lines only their first bytes: the
  // content bytes left out of what it hands out again.
  uint64_t elided_ = 0;
};

Status ReadError(const std::string& name, const ReadableFile& file,
                 bool corrupt);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_INPUT_FILE_H_
