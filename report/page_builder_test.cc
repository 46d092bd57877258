#include "report/page_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/posix_platform.h"

namespace tovex {
namespace {

const PageText& Texts() {
  static IconvEncoder encoder;
  static const PageText texts(&encoder);
  return texts;
}

const std::string kBar = "\x84\xAA";
const std::string kBlank = "\x81\x40";

std::string Bars(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += kBar;
  return s;
}

TEST(AppendEscapedTest, Table) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"/index.html", "/index.html"},
      {"/a?b=1&c=2", "/a?b=1&amp;c=2"},
      {"/<script>x</script>/", "/&lt;script&gt;x&lt;/script&gt;/"},
      {"\"q\"", "&quot;q&quot;"},
      {"'", "'"},
      {"/\x83\x65\x83\x58\x83\x67", "/\x83\x65\x83\x58\x83\x67"},  // raw bytes
  };
  for (const Case& c : cases) {
    std::string out = "x";
    AppendEscaped(c.in, &out);
    EXPECT_EQ(out, "x" + c.out) << c.in;
  }
}

TEST(BarCellTest, Table) {
  struct Case {
    int64_t value;
    int64_t max;
    std::string bars;
  } cases[] = {
      {0, 0, kBlank},       // a table of zeros
      {7, 7, Bars(20)},     // the maximum
      {50, 100, Bars(10)},  // half
      {4, 100, kBlank},     // under a twentieth
      {5, 100, Bars(1)},    // exactly a twentieth
      {99, 100, Bars(19)},  // truncated, not rounded
  };
  const PageText& texts = Texts();
  ASSERT_TRUE(texts.ok());
  for (const Case& c : cases) {
    PageBuilder b(texts);
    b.BarCell(c.value, c.max);
    EXPECT_EQ(b.page(),
              "<TD><FONT COLOR=\"#0000FF\">" + c.bars + "</FONT></TD>\n")
        << c.value << "/" << c.max;
  }
}

// Counts wider than 32 bits, and log text escaped inside a row; the pages'
// other conversions are pinned by the golden pages.
TEST(PageBuilderTest, FillsConversions) {
  const PageText& texts = Texts();
  ASSERT_TRUE(texts.ok());
  struct Case {
    Text text;
    std::initializer_list<Arg> args;
    std::string out;
  } cases[] = {
      {Text::kValueCell,
       {int64_t{1234567890123}},
       "<TD ALIGN=RIGHT>1234567890123</TD>\n"},
      {Text::kRankRow,
       {1, LogText{"/a&b<"}, int64_t{2}, 2 * 100.0 / 3},
       "<TR>\n<TD ALIGN=CENTER>1</TD>\n<TD ALIGN=LEFT>/a&amp;b&lt;</TD>\n"
       "<TD ALIGN=RIGHT>2</TD>\n<TD ALIGN=CENTER>66.67</TD>\n</TR>\n"},
  };
  for (const Case& c : cases) {
    PageBuilder b(texts);
    b.Put(c.text, c.args);
    EXPECT_EQ(b.page(), c.out);
  }
}

TEST(PageBuilderTest, AverageIsSixWide) {
  const PageText& texts = Texts();
  ASSERT_TRUE(texts.ok());
  for (auto [average, cell] : {std::pair{0.0, "   0.0"},
                               std::pair{2.25, "   2.2"},  // binary 2.25: even
                               std::pair{1234567.0, "1234567.0"}}) {
    PageBuilder b(texts);
    b.Put(Text::kVisitorTable, {int64_t{1}, average});
    EXPECT_NE(b.page().find(std::string("<TD>") + cell + "</TD></TR>\n"),
              std::string::npos)
        << average;
  }
}

}  // namespace
}  // namespace tovex
