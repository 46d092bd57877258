#include "report/page_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tovex {
namespace {

TEST(ToShiftJisTest, Characters) {
  struct Case {
    const char* utf8;
    std::string sjis;
  } cases[] = {
      {"━", "\x84\xAA"},
      {"　", "\x81\x40"},
      {"ｱｸｾｽ", "\xB1\xB8\xBE\xBD"},  // half-width kana: one byte each
      {"％", "\x81\x93"},
      {"<TD>%ld</TD>\n", "<TD>%ld</TD>\n"},  // ASCII unchanged
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_TRUE(ToShiftJis(c.utf8, &out)) << c.utf8;
    EXPECT_EQ(out, c.sjis) << c.utf8;
  }
}

TEST(ToShiftJisTest, LongTextCrossesChunks) {
  std::string utf8;
  for (int i = 0; i < 500; ++i) utf8 += "解析";
  std::string out;
  ASSERT_TRUE(ToShiftJis(utf8, &out));
  EXPECT_EQ(out.size(), 2000u);
  EXPECT_EQ(out.substr(0, 4), "\x89\xF0\x90\xCD");
}

TEST(ToShiftJisTest, RefusesWhatShiftJisCannotHold) {
  std::string out;
  EXPECT_FALSE(ToShiftJis("\xF0\x9F\x98\x80", &out));  // an emoji
  EXPECT_FALSE(ToShiftJis("\xFF", &out));              // not UTF-8
}

}  // namespace
}  // namespace tovex
