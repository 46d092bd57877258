#include "log/line_reader.h"

#include <cassert>
#include <cstring>

namespace tovex {

LineReader::LineReader(ReadableFile* file, size_t max_line,
                       LongLines long_lines, size_t buffer_bytes)
    : file_(file),
      max_line_(max_line),
      long_lines_(long_lines),
      capacity_(buffer_bytes),
      owned_(new char[buffer_bytes]),
      buf_(owned_.get()) {
  assert(max_line > 0 && max_line <= buffer_bytes);
}

LineReader::LineReader(std::string_view data, size_t max_line,
                       LongLines long_lines)
    : file_(nullptr),
      max_line_(max_line),
      long_lines_(long_lines),
      capacity_(data.size()),
      buf_(data.data()),
      end_(data.size()),
      eof_(true),
      bytes_read_(data.size()) {
  assert(max_line > 0);
  const void* nul = std::memchr(buf_, '\0', end_);
  if (nul != nullptr) {
    nul_ = static_cast<size_t>(static_cast<const char*>(nul) - buf_);
  }
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(owned_.get(), buf_ + begin_, end_ - begin_);
    end_ -= begin_;
    if (nul_ != kNoNul) nul_ -= begin_;
    buffer_start_ += begin_;
    begin_ = 0;
  }
  size_t got = file_->Read(owned_.get() + end_, capacity_ - end_);
  if (got == 0) {
    eof_ = true;
    return false;
  }
  if (nul_ == kNoNul) {
    const void* nul = std::memchr(buf_ + end_, '\0', got);
    if (nul != nullptr) {
      nul_ = static_cast<size_t>(static_cast<const char*>(nul) - buf_);
    }
  }
  end_ += got;
  bytes_read_ += got;
  return true;
}

void LineReader::UpdateNul() {
  if (nul_ == kNoNul || nul_ >= begin_) return;
  const void* nul = std::memchr(buf_ + begin_, '\0', end_ - begin_);
  nul_ = nul == nullptr
             ? kNoNul
             : static_cast<size_t>(static_cast<const char*>(nul) - buf_);
}

std::string_view LineReader::Take(size_t len) {
  const char* start = buf_ + begin_;
  line_start_ = buffer_start_ + begin_;
  size_t content = len;
  if (nul_ != kNoNul && nul_ < begin_ + len) content = nul_ - begin_;
  begin_ += len;
  UpdateNul();
  return std::string_view(start, content);
}

void LineReader::SkipRestOfLine() {
  while (true) {
    const char* start = buf_ + begin_;
    const void* nl = std::memchr(start, '\n', end_ - begin_);
    if (nl != nullptr) {
      begin_ += static_cast<size_t>(static_cast<const char*>(nl) - start) + 1;
      UpdateNul();
      return;
    }
    begin_ = end_;
    nul_ = kNoNul;
    if (!Fill()) return;
  }
}

bool LineReader::Next(std::string_view* line) {
  if (skip_rest_) {
    skip_rest_ = false;
    SkipRestOfLine();
  }
  while (true) {
    const char* start = buf_ + begin_;
    const size_t avail = end_ - begin_;
    const size_t window = avail < max_line_ ? avail : max_line_;
    const void* nl = std::memchr(start, '\n', window);
    if (nl != nullptr) {
      *line =
          Take(static_cast<size_t>(static_cast<const char*>(nl) - start) + 1);
      return true;
    }
    if (window == max_line_) {
      // Over-long physical line: its head is a line; its tail is dropped
      // or follows as lines of its own.
      skip_rest_ = long_lines_ == LongLines::kDropRest;
      *line = Take(max_line_);
      return true;
    }
    if (!Fill()) {
      // Fill may have moved the unread bytes to the front of the buffer.
      if (begin_ == end_) return false;
      *line = Take(end_ - begin_);
      return true;
    }
  }
}

}  // namespace tovex
