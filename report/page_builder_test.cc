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

// Decoded paths: each well-formed UTF-8 character in Shift-JIS where it has
// a form there; every other byte as written; escaped all the same.
TEST(PageBuilderTest, ShiftJisPaths) {
  IconvEncoder encoder;
  struct Case {
    std::string path, want;
  } cases[] = {
      {"/\u65e5\u672c.html", "/\x93\xfa\x96\x7b.html"},
      {"/<\u65e5>&\"", "/&lt;\x93\xfa&gt;&amp;&quot;"},
      // The head of a character cut at the field's end.
      {"/\u65e5\xe6\x9c", "/\x93\xfa\xe6\x9c"},
      // No Shift-JIS form (an emoji), an overlong "/", a surrogate, a code
      // point past U+10FFFF, bytes of no character, Shift-JIS as written.
      {"/\U0001F600\u65e5", "/\xf0\x9f\x98\x80\x93\xfa"},
      {"/\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xff",
       "/\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xff"},
      {"/\x83\x65\u00e9\u30a2", "/\x83\x65\xc3\xa9\x83\x41"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendShiftJisPath(c.path, &encoder, &out);
    EXPECT_EQ(out, c.want) << c.path;
  }
  // Only a builder given the encoder converts, and only paths.
  const PageText texts(&encoder);
  const std::string path = "/\u65e5";
  Encoder* const encoders[] = {nullptr, &encoder};
  for (Encoder* e : encoders) {
    PageBuilder b(texts, e);
    b.Put(Text::kRankRow, {1, Arg::Path(LogText{path}), int64_t{1}, 1.0});
    b.Put(Text::kRankRow, {1, LogText{path}, int64_t{1}, 1.0});
    EXPECT_EQ(b.page().find("\x93\xfa") == std::string::npos, e == nullptr);
    EXPECT_NE(b.page().find(path), std::string::npos);
  }
}

}  // namespace
}  // namespace tovex
