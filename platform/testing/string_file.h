// A ReadableFile over a string, for tests of everything that reads lines.

#ifndef TOVEX_PLATFORM_TESTING_STRING_FILE_H_
#define TOVEX_PLATFORM_TESTING_STRING_FILE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tovex {

// Hands out `data` in reads of at most `chunk` bytes, or of the sizes of
// `sizes` in turn, so that tests can make a reader refill its buffer at
// every possible point. It cannot rewind, like a pipe.
class StringFile : public ReadableFile {
 public:
  explicit StringFile(std::string data, size_t chunk = SIZE_MAX)
      : data_(std::move(data)), sizes_{chunk} {}
  StringFile(std::string data, std::vector<size_t> sizes)
      : data_(std::move(data)), sizes_(std::move(sizes)) {
    if (sizes_.empty()) sizes_.push_back(SIZE_MAX);
  }

  size_t Read(char* buf, size_t n) override {
    const size_t chunk = sizes_[next_++ % sizes_.size()];
    const size_t take = std::min({n, chunk, data_.size() - pos_});
    std::memcpy(buf, data_.data() + pos_, take);
    pos_ += take;
    return take;
  }
  std::string error() const override { return std::string(); }
  uint64_t Size() const override { return data_.size(); }

 private:
  std::string data_;
  std::vector<size_t> sizes_;
  size_t next_ = 0;
  size_t pos_ = 0;
};

}  // namespace tovex

#endif  // TOVEX_PLATFORM_TESTING_STRING_FILE_H_
