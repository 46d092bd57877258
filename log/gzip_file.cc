#include "log/gzip_file.h"

#include <zlib.h>

#include <climits>

namespace tovex {
namespace {

// Compressed bytes read from the source at a time.
constexpr size_t kInputBytes = 64 * 1024;
// zlib's window bits for a gzip wrapper only.
constexpr int kGzipWindowBits = 15 + 16;

}  // namespace

struct GzipFile::Inflater {
  z_stream stream{};
};

GzipFile::GzipFile(std::unique_ptr<ReadableFile> source)
    : source_(std::move(source)),
      z_(std::make_unique<Inflater>()),
      in_(new char[kInputBytes]) {
  if (inflateInit2(&z_->stream, kGzipWindowBits) != Z_OK) {
    error_ = "zlib cannot start";
    done_ = true;
  }
}

GzipFile::~GzipFile() { inflateEnd(&z_->stream); }

bool GzipFile::Rewind() {
  if (!source_->Rewind()) return false;
  inflateReset(&z_->stream);
  z_->stream.avail_in = 0;
  source_end_ = member_ended_ = done_ = corrupt_ = false;
  error_.clear();
  return true;
}

bool GzipFile::Refill() {
  const size_t got = source_->Read(in_.get(), kInputBytes);
  if (got == 0) {
    error_ = source_->error();
    source_end_ = true;
    return false;
  }
  z_->stream.next_in = reinterpret_cast<Bytef*>(in_.get());
  z_->stream.avail_in = static_cast<uInt>(got);
  return true;
}

size_t GzipFile::Read(char* buf, size_t n) {
  z_stream& z = z_->stream;
  z.next_out = reinterpret_cast<Bytef*>(buf);
  z.avail_out = static_cast<uInt>(n < UINT_MAX ? n : UINT_MAX);
  while (!done_ && z.avail_out > 0) {
    if (z.avail_in == 0 && !source_end_ && !Refill() && !error_.empty()) {
      done_ = true;
      break;
    }
    if (member_ended_) {
      // After a member: the stream ends here, or another member follows.
      if (z.avail_in == 0) {
        done_ = source_end_;
        continue;
      }
      inflateReset(&z);
      member_ended_ = false;
    }
    if (z.avail_in == 0 && source_end_) {
      error_ = "unexpected end of the compressed data";
      corrupt_ = done_ = true;
      break;
    }
    const int r = inflate(&z, Z_NO_FLUSH);
    if (r == Z_STREAM_END) {
      member_ended_ = true;
    } else if (r != Z_OK && r != Z_BUF_ERROR) {
      error_ = z.msg != nullptr ? z.msg : "corrupt compressed data";
      corrupt_ = done_ = true;
    }
  }
  return n - z.avail_out;
}

}  // namespace tovex
