#include "base/decimal.h"

#include <gtest/gtest.h>

#include <climits>

namespace tovex {
namespace {

TEST(DecimalTest, Value) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"  \t42", 42},
      {"+7", 7},
      {"-7", -7},
      {"12abc", 12},
      {"0009", 9},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-99999999999999999999", INT_MIN},
      // A year that would wrap into range under plain 32-bit arithmetic.
      {"4294969297", INT_MAX},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecimalValue(c.text), c.value) << "'" << c.text << "'";
  }
}

}  // namespace
}  // namespace tovex
