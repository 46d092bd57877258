#include "report/page_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/posix_platform.h"

namespace tovex {
namespace {

// Conversions the logs of the reference check cannot be relied on to reach
// (counts wider than 32 bits, averages wider than six characters or on a
// binary tie), and the escaping that keeps markup of a request line out of
// the pages. Bars and every other conversion are pinned by the reference
// check, byte for byte.
TEST(PageBuilderTest, FillsConversions) {
  IconvEncoder encoder;
  const PageText texts(&encoder);
  ASSERT_TRUE(texts.ok());
  struct Case {
    Text text;
    std::initializer_list<Arg> args;
    std::string out;
  } cases[] = {
      {Text::kValueCell,
       {int64_t{1234567890123}},
       "<TD ALIGN=RIGHT>1234567890123</TD>\n"},
      // Only & < > " are escaped; Shift-JIS bytes pass unchanged.
      {Text::kRankRow,
       {1, LogText{"/a&b<\">'\x83\x65"}, int64_t{2}, 2 * 100.0 / 3},
       "<TR>\n<TD ALIGN=CENTER>1</TD>\n"
       "<TD ALIGN=LEFT>/a&amp;b&lt;&quot;&gt;'\x83\x65</TD>\n"
       "<TD ALIGN=RIGHT>2</TD>\n<TD ALIGN=CENTER>66.67</TD>\n</TR>\n"},
      // Averages are six wide, and binary 2.25 rounds to even.
      {Text::kVisitorTable, {int64_t{7}, 0.0}, "<TD>7</TD>\n<TD>   0.0</TD>"},
      {Text::kVisitorTable, {int64_t{7}, 2.25}, "<TD>7</TD>\n<TD>   2.2</TD>"},
      {Text::kVisitorTable,
       {int64_t{7}, 1234567.0},
       "<TD>7</TD>\n<TD>1234567.0</TD>"},
  };
  for (const Case& c : cases) {
    PageBuilder b(texts);
    b.Put(c.text, c.args);
    EXPECT_NE(b.page().find(c.out), std::string::npos) << b.page();
  }
}

}  // namespace
}  // namespace tovex
