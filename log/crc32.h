// The CRC-32 of gzip (ISO 3309, reflected, as zip and PNG use it too), so
// that a plain file's checksum can be compared with the trailer of a gzip
// member holding the same bytes.

#ifndef TOVEX_LOG_CRC32_H_
#define TOVEX_LOG_CRC32_H_

#include <cstddef>
#include <cstdint>

namespace tovex {

// The CRC-32 of `data` (n bytes) continued from `crc`, the CRC-32 of the
// bytes before it (0 for none): Crc32(Crc32(0, a), b) is the CRC-32 of a
// followed by b. ISA-L's where it is found, zlib's otherwise (the build's
// gzip decoder). REQUIRES: `data` points at n bytes, or n == 0.
uint32_t Crc32(uint32_t crc, const char* data, size_t n);

}  // namespace tovex

#endif  // TOVEX_LOG_CRC32_H_
