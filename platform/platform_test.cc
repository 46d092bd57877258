#include "platform/platform.h"

#include <gtest/gtest.h>

namespace tovex {
namespace {

TEST(WildcardMatchTest, Table) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.html", "index.html", true},   {"*.html", "index.htm", false},
      {"*.html", ".html", true},        {"*.html", "a.html.bak", false},
      {"?.s", "1.s", true},             {"?.s", "12.s", false},
      {"*", "", true},                  {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},         {"*.html", "x.HTML", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match)
        << c.pattern << " vs " << c.name;
  }
}

TEST(NativeDirectoryTest, BackslashIsTheSeparator) {
  EXPECT_EQ(NativeDirectory("workdir\\"), "workdir/");
  EXPECT_EQ(NativeDirectory("a\\b\\"), "a/b/");
  EXPECT_EQ(NativeDirectory(""), "");
  EXPECT_EQ(BaseDirectoryFrom("/home/u"), "/home/u/");
  EXPECT_EQ(BaseDirectoryFrom("/"), "/");
}

}  // namespace
}  // namespace tovex
