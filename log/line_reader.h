// Reads a file line by line through one fixed buffer, handing out each line
// as a view into that buffer. Used for access logs and for work files alike.
//
// A line is the bytes up to and including its line end ("\n"), at most
// `max_line` bytes. What happens to a physical line longer than that is the
// reader's LongLines policy. A NUL byte ends a line's content: the view stops
// before it. The last line of a file needs no line end.
//
// No allocation happens per line; the buffer is allocated once.

#ifndef TOVEX_LOG_LINE_READER_H_
#define TOVEX_LOG_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace tovex {

// What becomes of a physical line longer than the reader's limit.
enum class LongLines {
  // It is still one line: its first bytes are handed out and the rest of
  // it, up to and including its line end, is dropped (log lines).
  kDropRest,
  // It is handed out in pieces of the limit, each a line of its own
  // (settings lines, where a key in a long line's tail still counts).
  kSplit,
};

class LineReader {
 public:
  // Block size of the reads; large enough for any line limit in use.
  static constexpr size_t kDefaultBufferBytes = 64 * 1024;

  // Does not take ownership of `file`, which must outlive the reader.
  // REQUIRES: 0 < max_line <= buffer_bytes.
  LineReader(ReadableFile* file, size_t max_line,
             LongLines long_lines = LongLines::kDropRest,
             size_t buffer_bytes = kDefaultBufferBytes);

  // Splits `data`, which must outlive the reader, without copying it.
  // REQUIRES: max_line > 0.
  LineReader(std::string_view data, size_t max_line,
             LongLines long_lines = LongLines::kDropRest);

  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Stores the next line in `*line` and returns true, or returns false at the
  // end of the file. The view stays valid until the next call.
  bool Next(std::string_view* line);

  // Bytes taken from the file so far (for progress reports).
  uint64_t bytes_read() const { return bytes_read_; }
  // Where the line last handed out starts, counted in bytes of the file.
  uint64_t line_start() const { return line_start_; }
  // The bytes of the file from the start of the line last handed out to the
  // last byte read: the line as read (a long line's rest as far as it came
  // in) and what was read ahead of it. Valid until the next call.
  std::string_view Buffered() const {
    const size_t at = static_cast<size_t>(line_start_ - buffer_start_);
    return std::string_view(buf_ + at, end_ - at);
  }

 private:
  // Moves the unread bytes to the front and reads more behind them. Returns
  // false when the file had nothing more.
  bool Fill();
  // Drops bytes up to and including the next line end.
  void SkipRestOfLine();
  // Hands out `len` bytes from begin_ as the next line, cut at a NUL.
  std::string_view Take(size_t len);
  // Finds the first NUL at or after begin_ once begin_ has passed nul_.
  void UpdateNul();

  ReadableFile* file_;  // null when splitting borrowed data
  const size_t max_line_;
  const LongLines long_lines_;
  const size_t capacity_;
  std::unique_ptr<char[]> owned_;
  const char* buf_;  // owned_ or the borrowed data
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool skip_rest_ = false;
  // Index of the first NUL byte in [begin_, end_), or kNoNul. Kept per block
  // so that lines need no NUL search of their own.
  static constexpr size_t kNoNul = static_cast<size_t>(-1);
  size_t nul_ = kNoNul;
  uint64_t bytes_read_ = 0;
  uint64_t buffer_start_ = 0;  // file offset of buf_[0]
  uint64_t line_start_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_LOG_LINE_READER_H_
