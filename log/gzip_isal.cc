// MemberInflater over ISA-L's streaming inflate.

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdint>

#include "log/gzip_inflater.h"

namespace tovex {
namespace {

// isal_inflate counts bytes in 32 bits.
constexpr size_t kMaxStep = UINT32_MAX;

const char* ErrorText(int code) {
  switch (code) {
    case ISAL_INVALID_BLOCK:
      return "invalid deflate block";
    case ISAL_INVALID_SYMBOL:
      return "invalid deflate code";
    case ISAL_INVALID_LOOKBACK:
      return "invalid distance too far back";
    case ISAL_INVALID_WRAPPER:
      return "invalid gzip header";
    case ISAL_UNSUPPORTED_METHOD:
      return "unknown compression method";
    case ISAL_INCORRECT_CHECKSUM:
      return "incorrect check value or length";
    default:
      return "corrupt compressed data";
  }
}

}  // namespace

// 87,368 bytes in ISA-L 2.30: the Huffman lookup tables and an output
// buffer of twice the 32 KB window.
struct MemberInflater::State {
  inflate_state isal;
};

MemberInflater::MemberInflater() : state_(std::make_unique<State>()) {}

MemberInflater::~MemberInflater() = default;

bool MemberInflater::Start(std::string* /*error*/) {
  inflate_state& s = state_->isal;
  isal_inflate_init(&s);
  // Parses the header and checks CRC-32 and length against the trailer.
  s.crc_flag = ISAL_GZIP;
  return true;
}

MemberInflater::Step MemberInflater::Inflate(InflateBuffers* io,
                                             std::string* error) {
  inflate_state& s = state_->isal;
  const auto in_size = static_cast<uint32_t>(std::min(io->in_size, kMaxStep));
  const auto out_size = static_cast<uint32_t>(std::min(io->out_size, kMaxStep));
  // ISA-L reads its input through a non-const pointer but never writes it.
  s.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(io->in));
  s.avail_in = in_size;
  s.next_out = reinterpret_cast<uint8_t*>(io->out);
  s.avail_out = out_size;
  const int r = isal_inflate(&s);
  io->in += in_size - s.avail_in;
  io->in_size -= in_size - s.avail_in;
  io->out += out_size - s.avail_out;
  io->out_size -= out_size - s.avail_out;
  if (r != ISAL_DECOMP_OK) {
    *error = ErrorText(r);
    return Step::kCorrupt;
  }
  // Finished only once every byte of the member is handed out.
  return s.block_state == ISAL_BLOCK_FINISH ? Step::kMemberEnd : Step::kGoOn;
}

}  // namespace tovex
