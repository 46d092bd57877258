// A gzip stream read as the bytes it holds. Concatenated members (as
// `cat a.gz b.gz` makes them) are read whole, one after the other.

#ifndef TOVEX_LOG_GZIP_FILE_H_
#define TOVEX_LOG_GZIP_FILE_H_

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/platform.h"

namespace tovex {

class GzipDecoder;

// The two bytes every gzip member starts with.
inline constexpr std::string_view kGzipMagic = "\x1f\x8b";
// Decompressed bytes handed over from the inflating thread at a time.
inline constexpr size_t kGzipBlockBytes = 128 * 1024;
// Blocks in flight: one being read out, one being inflated.
inline constexpr int kGzipBlocks = 2;
// Bytes inflated on the reader's thread before the inflating thread starts,
// so that a log's head check and a small stream start none.
inline constexpr uint64_t kGzipInlineBytes = kGzipBlockBytes;

// Reads compressed bytes from `source` and hands out what they decompress
// to. Zero bytes after the last member (the padding `dd` and tape copies
// leave) end the stream as its end does. A stream that does not decompress
// (corrupt, cut short, or followed by bytes that are neither a gzip member
// nor zero padding) ends the reading with error() telling why, as a read
// error of the source does.
//
// Past its first kGzipInlineBytes, a thread of its own reads `source` and
// inflates ahead into kGzipBlocks blocks, so that the reader's thread only
// copies them out: `source` must stand being read on another thread than
// the one that made it. Memory is fixed: the blocks, the compressed input
// block and the decoder's state (about 0.4 MB with ISA-L).
class GzipFile : public ReadableFile {
 public:
  // Takes ownership of `source`.
  explicit GzipFile(std::unique_ptr<ReadableFile> source);
  // Stops and joins the inflating thread.
  ~GzipFile() override;
  GzipFile(const GzipFile&) = delete;
  GzipFile& operator=(const GzipFile&) = delete;

  size_t Read(char* buf, size_t n) override;
  // Set as soon as the reading reaches the block the failure ended.
  std::string error() const override { return error_; }
  // The compressed size.
  uint64_t Size() const override { return source_->Size(); }
  bool Rewind() override;

  // Whether the decoder met a corrupt stream (rather than a read error).
  bool corrupt() const { return corrupt_; }

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    bool last = false;  // the decoder is done: nothing follows
    std::string error;  // the decoder's, in the last block
    bool corrupt = false;
  };

  size_t ReadInline(char* buf, size_t n);
  void InflateLoop(uint64_t first);
  Block* TakeBlock();
  void GiveBack();
  void Stop();

  std::unique_ptr<ReadableFile> source_;
  // The inflating thread's alone while it runs.
  std::unique_ptr<GzipDecoder> decoder_;
  std::array<Block, kGzipBlocks> blocks_;
  std::thread inflater_;

  std::mutex mu_;
  std::condition_variable changed_;
  // Blocks filled and blocks given back, since the start: block k is
  // blocks_[k % kGzipBlocks]. Guarded by mu_.
  uint64_t filled_ = 0;
  uint64_t given_back_ = 0;
  bool stop_ = false;         // guarded by mu_
  bool last_filled_ = false;  // guarded by mu_

  // The reader's side.
  uint64_t inline_bytes_ = 0;  // inflated on this thread
  Block* current_ = nullptr;   // being read out
  size_t taken_ = 0;           // of current_
  bool finished_ = false;
  std::string error_;
  bool corrupt_ = false;
};

}  // namespace tovex

#endif  // TOVEX_LOG_GZIP_FILE_H_
