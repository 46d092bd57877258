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

class MemberInflater;

// The two bytes every gzip member starts with.
inline constexpr std::string_view kGzipMagic = "\x1f\x8b";

// Reads compressed bytes from `source` and hands out what they decompress
// to. Zero bytes after the last member (the padding `dd` and tape copies
// leave) end the stream as its end does. A stream that does not decompress
// (corrupt, cut short, or followed by bytes that are neither a gzip member
// nor zero padding) ends the reading with error() telling why, as a read
// error of the source does. Memory is fixed: the input block and the
// decoder's state (about 150 KB together with ISA-L), allocated here.
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
  enum class Phase {
    kHeader,   // where a member may start
    kMember,   // inside a member
    kPadding,  // in zero bytes after a member
  };

  void StartMember();
  void InflateInto(char** out, size_t* room);
  void SkipPadding();
  bool Refill();
  void Fail(std::string why, bool corrupt);

  std::unique_ptr<ReadableFile> source_;
  std::unique_ptr<MemberInflater> inflater_;
  std::unique_ptr<char[]> in_;
  const char* next_in_;  // the compressed bytes not yet taken, in in_
  size_t avail_in_ = 0;
  Phase phase_ = Phase::kHeader;
  bool first_member_ = true;
  bool source_end_ = false;
  bool done_ = false;
  bool corrupt_ = false;
  std::string error_;
};

}  // namespace tovex

#endif  // TOVEX_LOG_GZIP_FILE_H_
