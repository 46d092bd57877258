#include "filter/request_filter.h"

#include <gtest/gtest.h>

#include <string>

namespace tovex {
namespace {

TEST(StatusFilterTest, ClassesAndCodes) {
  StatusFilter f;
  ASSERT_EQ(f.Add("2xx, 3XX"), "");
  ASSERT_EQ(f.Add("404"), "");
  for (int s : {200, 250, 299, 300, 399, 404}) EXPECT_TRUE(f.Allows(s)) << s;
  for (int s : {-1, 0, 199, 400, 403, 405, 500, 599, 600, 999}) {
    EXPECT_FALSE(f.Allows(s)) << s;
  }
  struct Case {
    std::string list, error;
  } cases[] = {
      {"2xx,", "empty item in \"2xx,\""},
      {"", "empty item in \"\""},
      {"2x", "\"2x\": not a status (404) or class (4xx)"},
      {"20x", "\"20x\": not a status (404) or class (4xx)"},
      {"x04", "\"x04\": not a status (404) or class (4xx)"},
      {"2000", "\"2000\": not a status (404) or class (4xx)"},
      {"099", "\"099\": status out of range 100..599"},
      {"6xx", "\"6xx\": status out of range 100..599"},
  };
  for (const Case& c : cases) {
    StatusFilter bad;
    EXPECT_EQ(bad.Add(c.list), c.error) << c.list;
  }
}

TEST(MethodFilterTest, ExactTokens) {
  MethodFilter f;
  ASSERT_EQ(f.Add("GET, HEAD"), "");
  EXPECT_TRUE(f.Allows("GET"));
  EXPECT_TRUE(f.Allows("HEAD"));
  for (std::string_view m : {"get", "POST", "GETX", "", "-"}) {
    EXPECT_FALSE(f.Allows(m)) << m;
  }
  MethodFilter bad;
  EXPECT_EQ(bad.Add("GET,,HEAD"), "empty item in \"GET,,HEAD\"");
  EXPECT_EQ(bad.Add("GE T"), "\"GE T\": not an HTTP method");
  EXPECT_EQ(bad.Add("GET\"x"), "\"GET\"x\": not an HTTP method");
}

}  // namespace
}  // namespace tovex
