// The decoding behind GzipFile, on the calling thread: where members start,
// what may lie between and after them, and the member decoder's steps.

#ifndef TOVEX_LOG_GZIP_DECODER_H_
#define TOVEX_LOG_GZIP_DECODER_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace tovex {

class MemberInflater;

// Decodes the gzip stream `source` holds, under GzipFile's rules (members
// one after the other, zero padding after the last, nothing else). Does not
// take ownership of `source`, which must outlive the decoder. Memory is
// fixed: the input block and the member decoder's state, allocated here.
class GzipDecoder {
 public:
  explicit GzipDecoder(ReadableFile* source);
  ~GzipDecoder();
  GzipDecoder(const GzipDecoder&) = delete;
  GzipDecoder& operator=(const GzipDecoder&) = delete;

  // Fills `buf` with up to `n` decompressed bytes; fewer only once done().
  size_t Read(char* buf, size_t n);
  // At the end of the stream, or stopped by an error.
  bool done() const { return done_; }
  // Empty unless the stream is corrupt or the source failed.
  const std::string& error() const { return error_; }
  // Whether error() is the stream's fault rather than the source's.
  bool corrupt() const { return corrupt_; }
  // Starts over, for a source that was just rewound.
  void Reset();

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

  ReadableFile* source_;
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

#endif  // TOVEX_LOG_GZIP_DECODER_H_
