#include "log/gzip_file.h"

#include <cstring>

#include "log/gzip_inflater.h"

namespace tovex {
namespace {

// Compressed bytes read from the source at a time.
constexpr size_t kInputBytes = 64 * 1024;
// A member's bytes judged before its decoder starts: the magic, the
// compression method and the flags.
constexpr size_t kHeaderBytes = 4;
// The only compression method gzip defines: deflate.
constexpr unsigned char kDeflateMethod = 8;
// Flag bits gzip reserves; gzip and zlib refuse a member that sets one,
// which ISA-L would read on.
constexpr unsigned char kReservedFlags = 0xe0;

const char kCutShort[] = "unexpected end of the compressed data";
const char kNoMember[] = "bytes after the compressed data are no gzip member";

}  // namespace

GzipFile::GzipFile(std::unique_ptr<ReadableFile> source)
    : source_(std::move(source)),
      inflater_(std::make_unique<MemberInflater>()),
      in_(new char[kInputBytes]),
      next_in_(in_.get()) {}

GzipFile::~GzipFile() = default;

bool GzipFile::Rewind() {
  if (!source_->Rewind()) return false;
  next_in_ = in_.get();
  avail_in_ = 0;
  phase_ = Phase::kHeader;
  first_member_ = true;
  source_end_ = done_ = corrupt_ = false;
  error_.clear();
  return true;
}

size_t GzipFile::Read(char* buf, size_t n) {
  char* out = buf;
  size_t room = n;
  while (!done_ && room > 0) {
    switch (phase_) {
      case Phase::kHeader:
        StartMember();
        break;
      case Phase::kMember:
        InflateInto(&out, &room);
        break;
      case Phase::kPadding:
        SkipPadding();
        break;
    }
  }
  return n - room;
}

// Judges the first bytes where a member may start: the end, zero padding
// after a member, or a member this decoder reads.
void GzipFile::StartMember() {
  if (avail_in_ == 0 && !Refill()) {
    if (done_) return;
    if (first_member_) {
      Fail(kCutShort, true);
    } else {
      done_ = true;
    }
    return;
  }
  if (!first_member_ && next_in_[0] == '\0') {
    phase_ = Phase::kPadding;
    return;
  }
  if (avail_in_ < kHeaderBytes) {
    if (!Refill() && !done_) Fail(kCutShort, true);
    return;
  }
  const auto* head = reinterpret_cast<const unsigned char*>(next_in_);
  if (std::memcmp(head, kGzipMagic.data(), kGzipMagic.size()) != 0) {
    Fail(first_member_ ? "not in gzip format" : kNoMember, true);
  } else if (head[2] != kDeflateMethod) {
    Fail("unknown compression method", true);
  } else if ((head[3] & kReservedFlags) != 0) {
    Fail("unknown header flags set", true);
  } else if (std::string why; !inflater_->Start(&why)) {
    Fail(why, false);
  } else {
    phase_ = Phase::kMember;
    first_member_ = false;
  }
}

void GzipFile::InflateInto(char** out, size_t* room) {
  InflateBuffers io{next_in_, avail_in_, *out, *room};
  std::string why;
  const MemberInflater::Step step = inflater_->Inflate(&io, &why);
  const bool moved = io.in_size != avail_in_ || io.out_size != *room;
  next_in_ = io.in;
  avail_in_ = io.in_size;
  *out = io.out;
  *room = io.out_size;
  if (step == MemberInflater::Step::kMemberEnd) {
    phase_ = Phase::kHeader;
  } else if (step == MemberInflater::Step::kCorrupt) {
    Fail(why, true);
  } else if (!moved) {
    // Nothing taken, nothing given: the decoder wants more input. One stuck
    // before a whole block is taken for broken rather than looped on.
    if (avail_in_ == kInputBytes) {
      Fail("corrupt compressed data", true);
    } else if (!Refill() && !done_) {
      Fail(kCutShort, true);
    }
  }
}

// Zero bytes are taken up to the source's end; anything else among them is
// garbage.
void GzipFile::SkipPadding() {
  if (avail_in_ == 0 && !Refill()) {
    done_ = true;
    return;
  }
  const char* end = next_in_ + avail_in_;
  while (next_in_ < end && *next_in_ == '\0') ++next_in_;
  avail_in_ = static_cast<size_t>(end - next_in_);
  if (avail_in_ > 0) {
    Fail(kNoMember, true);
  }
}

// Reads on behind the compressed bytes not yet taken (moved to the front of
// the block). False when the source has no more: at its end, or after a read
// error, which ends the reading.
bool GzipFile::Refill() {
  if (source_end_) return false;
  std::memmove(in_.get(), next_in_, avail_in_);
  next_in_ = in_.get();
  const size_t got =
      source_->Read(in_.get() + avail_in_, kInputBytes - avail_in_);
  if (got == 0) {
    source_end_ = true;
    if (!source_->error().empty()) Fail(source_->error(), false);
    return false;
  }
  avail_in_ += got;
  return true;
}

void GzipFile::Fail(std::string why, bool corrupt) {
  error_ = std::move(why);
  corrupt_ = corrupt;
  done_ = true;
}

}  // namespace tovex
