#include <isa-l/crc.h>

#include "log/crc32.h"

namespace tovex {

uint32_t Crc32(uint32_t crc, const char* data, size_t n) {
  if (n == 0) return crc;
  return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(data), n);
}

}  // namespace tovex
