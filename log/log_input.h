// The log a run reads: one or more inputs (files, "-" for standard input,
// gzip streams by their magic bytes), judged and ordered, read as one.
//
// Every input is read once, front to back. Its head is read first: empty
// inputs are passed over; every other one must pass the five-line check on
// its own; its first counted line (a page request with a valid date) dates
// it. The inputs are then read oldest first, each from its first counted
// line (no earlier line of it counts), each ending at its own end: a line
// never spans two inputs. A seekable input is read again from its start for
// that, so that no input holds memory while it waits; a stream keeps the
// bytes it read ahead.

#ifndef TOVEX_LOG_LOG_INPUT_H_
#define TOVEX_LOG_LOG_INPUT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "platform/platform.h"

namespace tovex {

// The name that means standard input.
inline constexpr std::string_view kStandardInputName = "-";

// The date of an input's first counted line, by which inputs are ordered.
struct InputDate {
  int year = 0, month = 0, day = 0, hour = 0;
  auto operator<=>(const InputDate&) const = default;
};

// One opened input.
class LogInput;

// The inputs read as one log. A ReadableFile over their bytes, each input's
// from its first counted line, a line end added after an input that lacks a
// final one.
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
  // lines; they add nothing to any page.
  int64_t lines_passed_over() const { return lines_passed_over_; }
  // Every input opened, by name, with the file it is (a zero FileId where
  // the platform gives none).
  const std::vector<std::pair<std::string, FileId>>& input_ids() const {
    return input_ids_;
  }

 private:
  friend Status OpenLog(const Context& ctx,
                        const std::vector<std::string>& names,
                        std::unique_ptr<InputLog>* log);
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
};

// Opens every input of `names` in ctx's file system, reads each one's head
// and orders them. Empty inputs are noted through ctx's messages, naming
// each. Memory is fixed whatever the heads hold: of a long line only its
// first bytes are kept. A wait for input (a FIFO, a pipe) ends with ctx's
// stop. Fails with CannotOpen, CannotRead or CorruptInput naming the input;
// with NotAccessLog naming the first input that fails the check, or with an
// empty name when every input is empty; Cancelled when stopped.
// REQUIRES: !names.empty(), at most one of them kStandardInputName.
Status OpenLog(const Context& ctx, const std::vector<std::string>& names,
               std::unique_ptr<InputLog>* log);

// Why reading `log` stopped short: Ok when it was read to its end.
Status ReadFailure(const InputLog& log);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_INPUT_H_
