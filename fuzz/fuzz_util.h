// What the fuzz targets share: a check that stops the run loudly, a file
// that hands out its bytes in reads of chosen sizes, the cutting of one
// input into several, and one scratch environment per process.

#ifndef TOVEX_FUZZ_FUZZ_UTIL_H_
#define TOVEX_FUZZ_FUZZ_UTIL_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/testing/fake_platform.h"
#include "platform/testing/string_file.h"

// A broken invariant is a crash: libFuzzer keeps the input that caused it.
#define FUZZ_CHECK(cond)                                              \
  do {                                                                \
    if (!(cond)) {                                                    \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, \
                   __LINE__, #cond);                                  \
      std::abort();                                                   \
    }                                                                 \
  } while (0)

namespace tovex::fuzz {

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Read sizes from control bytes: 0 means "as much as asked", any other
// byte b reads b bytes, or b * 64 when its top bit is set, so that reads
// around the 511-byte line limit and across blocks both occur.
inline std::vector<size_t> ReadSizes(std::string_view control) {
  std::vector<size_t> sizes;
  for (char c : control) {
    const auto b = static_cast<unsigned char>(c);
    sizes.push_back(b == 0 ? SIZE_MAX : (b & 0x80) ? (b & 0x7f) * 64 + 1 : b);
  }
  return sizes;
}

// Cuts `data` at each `separator` into at most `max_pieces` pieces (the last
// piece keeps any further separators).
inline std::vector<std::string_view> Split(std::string_view data,
                                           std::string_view separator,
                                           size_t max_pieces) {
  std::vector<std::string_view> pieces;
  while (pieces.size() + 1 < max_pieces) {
    const size_t at = data.find(separator);
    if (at == data.npos) break;
    pieces.push_back(data.substr(0, at));
    data.remove_prefix(at + separator.size());
  }
  pieces.push_back(data);
  return pieces;
}

// One temporary base directory with the fakes, for the whole process
// (removed when it ends normally); targets overwrite their files in it on
// every input.
inline FakeEnvironment& Env() {
  static FakeEnvironment env;
  return env;
}

// Writes `bytes` as the file `name` in the scratch directory; returns the
// path.
inline std::string PutFile(const std::string& name, std::string_view bytes) {
  const std::string path = Env().dir.path() + name;
  WriteFileOrDie(path, bytes);
  return path;
}

}  // namespace tovex::fuzz

#endif  // TOVEX_FUZZ_FUZZ_UTIL_H_
