#include <zlib.h>

#include "log/crc32.h"

namespace tovex {

uint32_t Crc32(uint32_t crc, const char* data, size_t n) {
  if (n == 0) return crc;
  // crc32_z takes the whole length, past 4 GB too.
  return static_cast<uint32_t>(
      crc32_z(crc, reinterpret_cast<const Bytef*>(data), n));
}

}  // namespace tovex
