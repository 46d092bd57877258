// gzip members for the tests, made by zlib whichever decoder reads them.

#ifndef TOVEX_LOG_GZIP_TESTUTIL_H_
#define TOVEX_LOG_GZIP_TESTUTIL_H_

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <string_view>

namespace tovex {

// One gzip member holding `data`.
inline std::string Gzip(std::string_view data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace tovex

#endif  // TOVEX_LOG_GZIP_TESTUTIL_H_
