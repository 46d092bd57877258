#include "log/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace tovex {
namespace {

// Bytes in no pattern, long enough for the wide paths (ISA-L folds 64
// bytes and more at a time) with short heads and tails around them.
std::string Scrambled(size_t n) {
  std::string data(n, '\0');
  uint32_t x = 12345;
  for (char& c : data) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 24);
  }
  return data;
}

TEST(Crc32Test, KnownValues) {
  const std::string long_data = Scrambled(1000);
  struct Case {
    std::string data;
    uint32_t crc;
  } cases[] = {
      {"", 0},
      {"a", 0xe8b7be43},
      {"123456789", 0xcbf43926},
      {"The quick brown fox jumps over the lazy dog", 0x414fa339},
      {std::string(32, '\0'), 0x190a55ad},
      // What zlib writes into a gzip trailer.
      {long_data,
       static_cast<uint32_t>(
           crc32(0, reinterpret_cast<const Bytef*>(long_data.data()), 1000))},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Crc32(0, c.data.data(), c.data.size()), c.crc)
        << c.data.substr(0, 20);
  }
}

TEST(Crc32Test, ChainedCallsEqualOneCall) {
  const std::string data = Scrambled(1000);
  const uint32_t whole = Crc32(0, data.data(), data.size());
  for (size_t cut = 0; cut <= data.size(); cut += 7) {
    const uint32_t head = Crc32(0, data.data(), cut);
    EXPECT_EQ(Crc32(head, data.data() + cut, data.size() - cut), whole) << cut;
  }
  EXPECT_EQ(Crc32(whole, nullptr, 0), whole);
}

}  // namespace
}  // namespace tovex
