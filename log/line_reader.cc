#include "log/line_reader.h"

#include <cassert>
#include <cstring>

namespace tovex {
namespace {

std::string_view CutAtNul(const char* p, size_t n) {
  const void* nul = std::memchr(p, '\0', n);
  if (nul != nullptr) n = static_cast<size_t>(static_cast<const char*>(nul) - p);
  return std::string_view(p, n);
}

}  // namespace

LineReader::LineReader(ReadableFile* file, size_t max_line, size_t buffer_bytes)
    : file_(file),
      max_line_(max_line),
      capacity_(buffer_bytes),
      buf_(new char[buffer_bytes]) {
  assert(max_line > 0 && max_line <= buffer_bytes);
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  size_t got = file_->Read(buf_.get() + end_, capacity_ - end_);
  if (got == 0) {
    eof_ = true;
    return false;
  }
  end_ += got;
  bytes_read_ += got;
  return true;
}

void LineReader::SkipRestOfLine() {
  while (true) {
    const char* start = buf_.get() + begin_;
    const void* nl = std::memchr(start, '\n', end_ - begin_);
    if (nl != nullptr) {
      begin_ += static_cast<size_t>(static_cast<const char*>(nl) - start) + 1;
      return;
    }
    begin_ = end_;
    if (!Fill()) return;
  }
}

bool LineReader::Next(std::string_view* line) {
  if (skip_rest_) {
    skip_rest_ = false;
    SkipRestOfLine();
  }
  while (true) {
    const char* start = buf_.get() + begin_;
    const size_t avail = end_ - begin_;
    const size_t window = avail < max_line_ ? avail : max_line_;
    const void* nl = std::memchr(start, '\n', window);
    if (nl != nullptr) {
      size_t len = static_cast<size_t>(static_cast<const char*>(nl) - start) + 1;
      begin_ += len;
      *line = CutAtNul(start, len);
      return true;
    }
    if (window == max_line_) {
      // Over-long physical line: its head counts, its tail is dropped.
      begin_ += max_line_;
      skip_rest_ = true;
      *line = CutAtNul(start, max_line_);
      return true;
    }
    if (!Fill()) {
      // Fill may have moved the unread bytes to the front of the buffer.
      if (begin_ == end_) return false;
      *line = CutAtNul(buf_.get() + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
  }
}

}  // namespace tovex
