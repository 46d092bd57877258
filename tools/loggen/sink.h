// Buffered output for the generator: lines are formatted straight into one
// large buffer that goes out with a single fwrite when nearly full, which is
// what lets a gigabyte of log be written in seconds.

#ifndef TOVEX_TOOLS_LOGGEN_SINK_H_
#define TOVEX_TOOLS_LOGGEN_SINK_H_

#include <cstdio>
#include <memory>

namespace tovex::loggen {

class Sink {
 public:
  // Longest line a caller may write between Reserve and Commit.
  static constexpr size_t kMaxLine = 8192;
  // Big enough that the write system call cost vanishes.
  static constexpr size_t kCapacity = size_t{4} << 20;

  // Does not take ownership of `file`.
  explicit Sink(std::FILE* file)
      : file_(file), buf_(new char[kCapacity]), used_(0), failed_(false) {}

  // Room for one line of at most kMaxLine bytes.
  char* Reserve() {
    if (kCapacity - used_ < kMaxLine) Flush();
    return buf_.get() + used_;
  }
  // Ends the line written at the last Reserve; `end` is one past its end.
  void Commit(const char* end) {
    used_ = static_cast<size_t>(end - buf_.get());
  }

  // Writes out what is buffered; false once any write failed.
  bool Flush() {
    if (used_ > 0 && std::fwrite(buf_.get(), 1, used_, file_) != used_) {
      failed_ = true;
    }
    used_ = 0;
    return !failed_;
  }

 private:
  std::FILE* file_;
  std::unique_ptr<char[]> buf_;
  size_t used_;
  bool failed_;
};

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_SINK_H_
