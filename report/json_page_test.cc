#include "report/json_page.h"

#include <gtest/gtest.h>

#include <string>

namespace tovex {
namespace {

// Bytes of every kind from a log become a valid JSON string of valid
// UTF-8: well-formed UTF-8 kept, each ill-formed part one U+FFFD (as
// Python's and a browser's decoders count them), quotes, backslashes and
// control bytes escaped.
TEST(JsonStringTest, AnyBytesBecomeValidUtf8Json) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string bytes;
    std::string json;
  } cases[] = {
      {"/index.html", "\"/index.html\""},
      {"a\"b\\c</x>", "\"a\\\"b\\\\c</x>\""},
      {"\x01\x1F\x7F\t", "\"\\u0001\\u001f\\u007f\\u0009\""},
      {"\xE3\x81\x82/\xF0\x9F\x98\x80", "\"\xE3\x81\x82/\xF0\x9F\x98\x80\""},
      {"\xFF", "\"" + r + "\""},
      {"\xE3\x81", "\"" + r + "\""},              // cut short: one
      {"\xE3\x81x", "\"" + r + "x\""},            // cut short by a letter
      {"\xED\xA0\x80", "\"" + r + r + r + "\""},  // a surrogate
      {"\xC0\xAF", "\"" + r + r + "\""},          // an overlong form
      {"\xF4\x90\x80\x80", "\"" + r + r + r + r + "\""},  // beyond U+10FFFF
      {"\xF0\x9F\x98", "\"" + r + "\""},
      {"\x83\x65", "\"" + r + "e\""},  // Shift-JIS
  };
  for (const Case& c : cases) {
    std::string out;
    AppendJsonString(c.bytes, &out);
    EXPECT_EQ(out, c.json) << c.bytes;
  }
}

}  // namespace
}  // namespace tovex
