// A gzip stream read as the bytes it holds. Concatenated members (as
// `cat a.gz b.gz` makes them) are read whole, one after the other.

#ifndef TOVEX_LOG_GZIP_FILE_H_
#define TOVEX_LOG_GZIP_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tovex {

// The two bytes every gzip member starts with.
inline constexpr std::string_view kGzipMagic = "\x1f\x8b";

// Reads compressed bytes from `source` and hands out what they decompress
// to. A stream that does not decompress (corrupt, cut short, or followed by
// bytes that are no gzip member) ends the reading with error() telling why,
// as a read error of the source does.
class GzipFile : public ReadableFile {
 public:
  // Takes ownership of `source`.
  explicit GzipFile(std::unique_ptr<ReadableFile> source);
  ~GzipFile() override;
  GzipFile(const GzipFile&) = delete;
  GzipFile& operator=(const GzipFile&) = delete;

  size_t Read(char* buf, size_t n) override;
  std::string error() const override { return error_; }
  // The compressed size.
  uint64_t Size() const override { return source_->Size(); }
  bool Rewind() override;

  // Whether the decoder met a corrupt stream (rather than a read error).
  bool corrupt() const { return corrupt_; }

 private:
  struct Inflater;

  bool Refill();

  std::unique_ptr<ReadableFile> source_;
  std::unique_ptr<Inflater> z_;
  std::unique_ptr<char[]> in_;
  bool source_end_ = false;
  bool member_ended_ = false;  // between members, or at the end
  bool done_ = false;
  bool corrupt_ = false;
  std::string error_;
};

}  // namespace tovex

#endif  // TOVEX_LOG_GZIP_FILE_H_
