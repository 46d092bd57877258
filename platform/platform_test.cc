#include "platform/platform.h"

#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

TEST(WildcardMatchTest, Table) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.html", "index.html", true},
      {"*.html", "index.htm", false},
      {"*.html", ".html", true},
      {"*.html", "a.html.bak", false},
      {"?.s", "1.s", true},
      {"?.s", "12.s", false},
      {"*", "", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
      {"*.html", "x.HTML", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match)
        << c.pattern << " vs " << c.name;
  }
}

TEST(PosixFileSystemTest, WritingReplacesLongerContent) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string path = dir.path() + "f";
  WriteFileOrDie(path, std::string(100000, 'x'));
  struct Case {
    std::string content;
    bool close;
  } cases[] = {{"short\n", true}, {"", true}, {"dropped unclosed\n", false}};
  for (const Case& c : cases) {
    {
      auto file = fs.OpenWrite(path);
      ASSERT_NE(file, nullptr);
      ASSERT_TRUE(file->Write(c.content.data(), c.content.size()));
      if (c.close) {
        ASSERT_TRUE(file->Close());
      }
    }
    EXPECT_EQ(ReadFileOrEmpty(path), c.content);
    WriteFileOrDie(path, std::string(5000, 'y'));
  }
  auto append = fs.OpenAppend(path);
  ASSERT_TRUE(append->Write("z", 1));
  ASSERT_TRUE(append->Close());
  EXPECT_EQ(ReadFileOrEmpty(path), std::string(5000, 'y') + "z");
}

}  // namespace
}  // namespace tovex
