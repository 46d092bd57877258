// Byte tests and searches shared by the log-line filter, parser and check,
// the work-file records and the settings reader. They run on every line of a
// log, so they work on raw ranges and never allocate.

#ifndef TOVEX_BASE_BYTES_H_
#define TOVEX_BASE_BYTES_H_

#include <cstdint>
#include <cstring>
#include <string_view>

namespace tovex {

// Blank, tab, LF, VT, FF or CR: the bytes a name in a work-file record never
// holds, so that a record never gains a field.
inline bool IsSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The first `c` in [p, end), or nullptr. An empty range may have no storage
// at all (a default string_view), which memchr must not see.
inline const char* FindByte(const char* p, const char* end, char c) {
  if (p == end) return nullptr;
  return static_cast<const char*>(
      std::memchr(p, c, static_cast<size_t>(end - p)));
}

// Matches the bytes of `pattern` one after the other in [p, end), passing
// over bytes in between. Returns the position after the byte that completed
// the pattern, or nullptr when the pattern stays incomplete. Taking the first
// occurrence of each next byte gives the same result as walking byte by byte
// with a match count.
//
// In a log line the first byte (the blank after the host) may be far away,
// so memchr finds it; the others follow within a few bytes, where a plain
// loop is faster than a call per byte.
inline const char* SkipPatternInOrder(const char* p, const char* end,
                                      std::string_view pattern) {
  if (pattern.empty()) return p;
  p = FindByte(p, end, pattern[0]);
  if (p == nullptr) return nullptr;
  ++p;
  for (char c : pattern.substr(1)) {
    while (p < end && *p != c) ++p;
    if (p == end) return nullptr;
    ++p;
  }
  return p;
}

// Writes `v` as an unsigned LEB128 at `p` (at most 10 bytes); returns the
// position after it. Work files and history files count with it.
inline char* PutVarint(char* p, uint64_t v) {
  while (v >= 0x80) {
    *p++ = static_cast<char>(v | 0x80);
    v >>= 7;
  }
  *p++ = static_cast<char>(v);
  return p;
}

// Decodes a LEB128 at `*p` below `end`, moving `*p` past it; false when it
// is cut or too long.
inline bool GetVarint(const char** p, const char* end, uint64_t* v) {
  uint64_t result = 0;
  for (unsigned shift = 0; shift < 64 && *p < end; shift += 7) {
    const auto byte = static_cast<unsigned char>(*(*p)++);
    result |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) {
      *v = result;
      return true;
    }
  }
  return false;
}

}  // namespace tovex

#endif  // TOVEX_BASE_BYTES_H_
