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

// Every conversion in the table must be one that PageBuilder fills in.
TEST(PageTextTest, AllTextsConvertAndUseKnownConversions) {
  const PageText& texts = PageText::Get();
  ASSERT_TRUE(texts.ok());
  for (size_t i = 0; i < kTextCount; ++i) {
    Text t = static_cast<Text>(i);
    std::string_view s = texts[t];
    EXPECT_FALSE(s.empty()) << i;
    for (size_t pct = s.find('%'); pct != std::string_view::npos;
         pct = s.find('%', pct + 1)) {
      std::string_view rest = s.substr(pct);
      bool known = false;
      for (std::string_view c : {"%d", "%ld", "%s", "%6.1f", "%4.2f"}) {
        known = known || rest.substr(0, c.size()) == c;
      }
      EXPECT_TRUE(known) << PageText::Utf8(t);
    }
  }
  EXPECT_EQ(texts[Text::kBar], "\x84\xAA");
  EXPECT_EQ(texts[Text::kSaturday], "Sat");
}

}  // namespace
}  // namespace tovex
