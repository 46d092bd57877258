// A ReadableFile over a string, for tests of everything that reads lines.

#ifndef TOVEX_PLATFORM_TESTING_STRING_FILE_H_
#define TOVEX_PLATFORM_TESTING_STRING_FILE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace tovex {

// Hands out `data` in reads of at most `chunk` bytes, so that tests can make
// a reader refill its buffer at every possible point. It cannot rewind, like
// a pipe.
class StringFile : public ReadableFile {
 public:
  explicit StringFile(std::string data, size_t chunk = SIZE_MAX)
      : data_(std::move(data)), chunk_(chunk) {}

  size_t Read(char* buf, size_t n) override {
    size_t take = std::min({n, chunk_, data_.size() - pos_});
    std::memcpy(buf, data_.data() + pos_, take);
    pos_ += take;
    return take;
  }
  std::string error() const override { return std::string(); }
  uint64_t Size() const override { return data_.size(); }

 private:
  std::string data_;
  size_t chunk_;
  size_t pos_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_PLATFORM_TESTING_STRING_FILE_H_
