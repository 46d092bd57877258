// A 64-bit hash of bytes (the XXH64 function), for recognising what a run
// read before: an input's first bytes, the bytes before where it stopped.

#ifndef TOVEX_BASE_HASH_H_
#define TOVEX_BASE_HASH_H_

#include <cstdint>
#include <string_view>

namespace tovex {

uint64_t Hash64(std::string_view bytes, uint64_t seed = 0);

}  // namespace tovex

#endif  // TOVEX_BASE_HASH_H_
