// MemberInflater over zlib, where ISA-L is not available.

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "log/gzip_inflater.h"

namespace tovex {
namespace {

// zlib's window bits for a gzip wrapper only.
constexpr int kGzipWindowBits = 15 + 16;
// zlib counts bytes in its uInt.
constexpr size_t kMaxStep = UINT_MAX;

}  // namespace

struct MemberInflater::State {
  z_stream z{};
  bool ready = false;
};

MemberInflater::MemberInflater() : state_(std::make_unique<State>()) {
  state_->ready = inflateInit2(&state_->z, kGzipWindowBits) == Z_OK;
}

MemberInflater::~MemberInflater() {
  if (state_->ready) inflateEnd(&state_->z);
}

bool MemberInflater::Start(std::string* error) {
  if (!state_->ready || inflateReset(&state_->z) != Z_OK) {
    *error = "zlib cannot start";
    return false;
  }
  return true;
}

MemberInflater::Step MemberInflater::Inflate(InflateBuffers* io,
                                             std::string* error) {
  z_stream& z = state_->z;
  const auto in_size = static_cast<uInt>(std::min(io->in_size, kMaxStep));
  const auto out_size = static_cast<uInt>(std::min(io->out_size, kMaxStep));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(io->in));
  z.avail_in = in_size;
  z.next_out = reinterpret_cast<Bytef*>(io->out);
  z.avail_out = out_size;
  const int r = inflate(&z, Z_NO_FLUSH);
  io->in += in_size - z.avail_in;
  io->in_size -= in_size - z.avail_in;
  io->out += out_size - z.avail_out;
  io->out_size -= out_size - z.avail_out;
  if (r == Z_STREAM_END) return Step::kMemberEnd;
  // Z_BUF_ERROR: no progress was possible, for want of input or room.
  if (r == Z_OK || r == Z_BUF_ERROR) return Step::kGoOn;
  *error = z.msg != nullptr ? z.msg : "corrupt compressed data";
  return Step::kCorrupt;
}

}  // namespace tovex
