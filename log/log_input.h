// The log a run reads: one or more inputs (files, "-" for standard input,
// gzip streams by their magic bytes), judged and ordered, and read either
// as one log or, with a history, one by one from where it left each off.
//
// Every input is read once, front to back. Its head is read first: empty
// inputs are passed over; every other one must pass the five-line check on
// its own; its first counted line (a page request with a valid date) dates
// it. The inputs are then read oldest first. A seekable input is read again
// from its start for that, so that no input holds memory while it waits; a
// stream keeps the bytes it read ahead, of a long line only its head.
//
// As one log (InputMode::kOneLog), each input is read from its first
// counted line (no earlier line of it counts), each ending at its own end:
// a line never spans two inputs, and one is added after an input that lacks
// a final line end.
//
// With a history (InputMode::kHistory), the inputs are taken one at a time
// (NextInput): each from the offset its InputStart gives, once the bytes
// before it are the ones the history read there; inputs without a counted
// line are read too (after the others), so that where they end is known.

#ifndef TOVEX_LOG_LOG_INPUT_H_
#define TOVEX_LOG_LOG_INPUT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "log/line_judge.h"
#include "platform/platform.h"

namespace tovex {

// The name that means standard input.
inline constexpr std::string_view kStandardInputName = "-";
// The content bytes that identify a stream: its first ones.
inline constexpr size_t kIdentityBytes = 4096;
// The content bytes that check where a stream was left: the last ones
// before it.
inline constexpr size_t kCheckBytes = 256;

// The date of an input's first counted line, by which inputs are ordered.
struct InputDate {
  int year = 0, month = 0, day = 0, hour = 0;
  auto operator<=>(const InputDate&) const = default;
};

enum class InputMode { kOneLog, kHistory };

// What an input's head says, for a history to recognise the stream.
struct InputHead {
  std::string name;
  FileId file;
  bool gzip = false;
  bool seekable = false;
  // Its first kIdentityBytes bytes of content, all of a shorter input.
  std::string first_bytes;
  std::optional<InputDate> date;
  // A seekable gzip input's last eight bytes: the CRC-32 and the length
  // (modulo 2^32) of its last member's content.
  bool has_trailer = false;
  uint32_t trailer_crc = 0;
  uint32_t trailer_size = 0;
};

// Where a history goes on in an input.
struct InputStart {
  bool skip = false;    // nothing of it is new: it is not read at all
  uint64_t offset = 0;  // content bytes read before
  uint32_t crc = 0;     // their CRC-32
  std::string check;    // their last kCheckBytes (all, when fewer)
};

// How far an input was read.
struct InputEnd {
  bool read = false;       // false: skipped
  bool restarted = false;  // its check failed: read whole, as a new stream
  // Content bytes consumed: through its last line end, or all of them
  // where the last line counts.
  uint64_t offset = 0;
  uint32_t crc = 0;   // of those bytes; 0 for a stream
  std::string check;  // their last kCheckBytes; empty where unknown
};

// One opened input.
class LogInput;
class TrackingFile;

// The inputs read as one log. A ReadableFile over their bytes (kOneLog).
class InputLog : public ReadableFile {
 public:
  ~InputLog() override;

  size_t Read(char* buf, size_t n) override;
  std::string error() const override;
  // Compressed bytes of every input, as far as known.
  uint64_t Size() const override { return size_; }
  // Bytes taken from the inputs' files so far (compressed ones counted
  // compressed), for progress.
  uint64_t bytes_read() const;
  // Lines passed over in the inputs' heads, before their first counted
  // lines; they add nothing to any page (kOneLog).
  int64_t lines_passed_over() const { return lines_passed_over_; }
  // Every input opened, by name, with the file it is (a zero FileId where
  // the platform gives none).
  const std::vector<std::pair<std::string, FileId>>& input_ids() const {
    return input_ids_;
  }

  // kHistory. The inputs' heads, in the order they are read.
  std::vector<InputHead> heads() const;
  // The next input that `plan` (asked with its head, in turn, once the
  // input before has ended) does not skip, as a stream from where the plan
  // says on; false at the end or on a failure (ReadFailure tells). `*index`
  // is its place in heads().
  bool NextInput(const std::function<InputStart(const InputHead&)>& plan,
                 ReadableFile** stream, size_t* index);
  // Ends the input NextInput gave last: with `consume_unended`, a last line
  // without a line end counts as read, else it is left for later.
  void EndInput(bool consume_unended);
  // How far each input of heads() was read.
  const std::vector<InputEnd>& ends() const { return ends_; }

 private:
  friend Status OpenLog(const Context& ctx,
                        const std::vector<std::string>& names, InputMode mode,
                        std::unique_ptr<InputLog>* log, LineJudge* judge);
  friend Status ReadFailure(const InputLog& log);
  InputLog() = default;

  std::vector<std::unique_ptr<LogInput>> inputs_;
  size_t current_ = 0;
  ReadableFile* stream_ = nullptr;  // the current input's, once resumed
  char last_byte_ = '\n';
  bool line_end_owed_ = false;
  uint64_t size_ = 0;
  int64_t lines_passed_over_ = 0;
  std::vector<std::pair<std::string, FileId>> input_ids_;
  Status failure_;
  // kHistory.
  std::vector<InputEnd> ends_;
  std::unique_ptr<TrackingFile> tracking_;
};

// Opens every input of `names` in ctx's file system, reads each one's head
// and orders them. Empty inputs are noted through ctx's messages, naming
// each. Memory is fixed whatever the heads hold: of a long line only its
// first bytes are kept. A wait for input (a FIFO, a pipe) ends with ctx's
// stop. Fails with CannotOpen, CannotRead or CorruptInput naming the input;
// with NotAccessLog naming the first input that fails the check, or with an
// empty name when every input is empty; Cancelled when stopped.
// With `judge`, a head's line counts as it judges it (it sees each line
// until the input's first counted one).
// REQUIRES: !names.empty(), at most one of them kStandardInputName.
Status OpenLog(const Context& ctx, const std::vector<std::string>& names,
               InputMode mode, std::unique_ptr<InputLog>* log,
               LineJudge* judge = nullptr);
inline Status OpenLog(const Context& ctx,
                      const std::vector<std::string>& names,
                      std::unique_ptr<InputLog>* log) {
  return OpenLog(ctx, names, InputMode::kOneLog, log);
}

// Why reading `log` stopped short: Ok when it was read to its end.
Status ReadFailure(const InputLog& log);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_INPUT_H_
