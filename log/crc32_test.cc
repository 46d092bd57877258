#include "log/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace tovex {
namespace {

// Known values, and what zlib writes into a gzip trailer for a text long
// enough for ISA-L's wide paths, whole or cut anywhere into two calls.
TEST(Crc32Test, KnownValuesAndChainedCalls) {
  std::string text;
  for (int i = 0; text.size() < 1000; ++i) text += std::to_string(i * 7919);
  text.resize(1000);
  const auto trailer = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(text.data()), 1000));
  const std::pair<std::string, uint32_t> cases[] = {
      {"", 0},
      {"123456789", 0xcbf43926},
      {std::string(32, '\0'), 0x190a55ad},
      {text, trailer},
  };
  for (const auto& [data, crc] : cases) {
    EXPECT_EQ(Crc32(0, data.data(), data.size()), crc) << data.size();
    for (size_t cut = 0; cut <= data.size(); cut += 7) {
      EXPECT_EQ(Crc32(Crc32(0, data.data(), cut), data.data() + cut,
                      data.size() - cut),
                crc);
    }
  }
}

}  // namespace
}  // namespace tovex
