// The decoder behind GzipFile: one gzip member at a time, header to
// trailer, over buffers the caller owns. CMake compiles one of two
// implementations: gzip_isal.cc (ISA-L, about three times as fast) where the
// library is found, gzip_zlib.cc otherwise or with -DTOVEX_ISAL=OFF.
// GzipFile itself finds where members start and what lies between them.

#ifndef TOVEX_LOG_GZIP_INFLATER_H_
#define TOVEX_LOG_GZIP_INFLATER_H_

#include <cstddef>
#include <memory>
#include <string>

namespace tovex {

// The compressed bytes not yet taken and the room left for decompressed
// ones; Inflate() moves both fronts forward.
struct InflateBuffers {
  const char* in;
  size_t in_size;
  char* out;
  size_t out_size;
};

class MemberInflater {
 public:
  enum class Step {
    kGoOn,       // wants more input or more room
    kMemberEnd,  // trailer checked; the bytes after it stay in `in`
    kCorrupt,    // the member does not decode; `*error` tells why
  };

  // Allocates the decoder's whole state, once.
  MemberInflater();
  ~MemberInflater();
  MemberInflater(const MemberInflater&) = delete;
  MemberInflater& operator=(const MemberInflater&) = delete;

  // Gets ready for a member whose header starts at the next input byte.
  // False, with `*error` set, when the decoder cannot start at all.
  bool Start(std::string* error);
  // Decodes what the buffers allow; the header, and the CRC-32 and length of
  // the trailer, are checked. REQUIRES: Start() succeeded since the last
  // kMemberEnd or kCorrupt.
  Step Inflate(InflateBuffers* io, std::string* error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tovex

#endif  // TOVEX_LOG_GZIP_INFLATER_H_
