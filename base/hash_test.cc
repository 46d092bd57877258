#include "base/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace tovex {
namespace {

// XXH64's published values: inputs of every path through the function
// (under 4, 8 and 32 bytes, and stripes), so that a history written on one
// machine is recognised on another.
TEST(HashTest, KnownValues) {
  EXPECT_EQ(Hash64(""), 0xEF46DB3751D8E999ull);
  EXPECT_EQ(Hash64("abc"), 0x44BC2CF5AD770999ull);
  EXPECT_EQ(Hash64("Nobody inspects the spammish repetition"),
            0xFBCEA83C8A378BF1ull);
  EXPECT_NE(Hash64(std::string(4096, 'a')), Hash64(std::string(4095, 'a')));
}

}  // namespace
}  // namespace tovex
