#include "platform/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

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

// Nothing is written through a planted link: new files are created only
// where nothing stands (that a rename replaces the link itself, and that
// folder locks hold, the job's runs check). The private folder is its
// owner's alone.
TEST(PosixFileSystemTest, LinksAndPrivateFolders) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string target = dir.path() + "target", link = dir.path() + "link";
  WriteFileOrDie(target, "precious");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  std::string error;
  EXPECT_EQ(fs.CreateNew(link, &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(fs.CreateNew(target, nullptr), nullptr);
  EXPECT_EQ(ReadFileOrEmpty(target), "precious");
  EXPECT_EQ(fs.OpenRead(dir.path(), nullptr), nullptr);

  const std::string own = fs.MakePrivateDirectory(dir.path(), "p-", nullptr);
  ASSERT_EQ(own.substr(0, dir.path().size() + 2), dir.path() + "p-");
  struct stat st;
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(fs.SameFile(own, own + "."));
}

// Conversions that succeed are pinned byte for byte by the pages of the
// reference check; here a text across the conversion chunks, and failures.
TEST(IconvEncoderTest, LongTextsAndFailures) {
  IconvEncoder encoder;
  std::string text, sjis, out;
  for (int i = 0; i < 500; ++i) {
    text += "解析";
    sjis += "\x89\xF0\x90\xCD";
  }
  ASSERT_TRUE(encoder.ToShiftJis(text, &out));
  EXPECT_EQ(out, sjis);
  EXPECT_FALSE(encoder.ToShiftJis("\xF0\x9F\x98\x80", &out));  // no SJIS form
  EXPECT_FALSE(encoder.ToShiftJis("\xFF", &out));              // not UTF-8
}

// The opener's answer: its exit status when it ends within the wait, a
// success when it is still running then (a browser in the foreground), a
// failure when it cannot be started.
TEST(PosixShellTest, Openers) {
  TempDir dir;
  auto script = [&dir](const char* name, const char* body) {
    const std::string path = dir.path() + name;
    WriteFileOrDie(path, std::string("#!/bin/sh\n") + body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
  };
  struct Case {
    std::string opener;
    bool opened;
  } cases[] = {
      {script("ok", "exit 0"), true},
      {script("fails", "exit 3"), false},
      {script("slow", "sleep 5"), true},
      {dir.path() + "missing", false},
  };
  for (const Case& c : cases) {
    PosixShell shell(c.opener, /*wait_ms=*/300);
    EXPECT_EQ(shell.Open(dir.path() + "index.html"), c.opened) << c.opener;
  }
}

}  // namespace
}  // namespace tovex
