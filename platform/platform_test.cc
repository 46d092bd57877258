#include "platform/platform.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
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

// A folder is held by descriptor: when its path is made to lead elsewhere
// (the folder renamed aside, a link to a victim put in its place), what is
// created, listed and deleted is still the folder's, and the victim is
// untouched. Links inside are never followed; names never leave the folder.
TEST(PosixFolderTest, NamesStayInTheFolderItWasOpenedAs) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string victim = dir.path() + "victim/";
  ASSERT_TRUE(fs.MakeDirectory(victim, nullptr));
  WriteFileOrDie(victim + "precious", "precious");
  ASSERT_TRUE(fs.MakeDirectory(dir.path() + "out", nullptr));
  std::unique_ptr<Folder> out = fs.OpenFolder(dir.path() + "out/", nullptr);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(::rename((dir.path() + "out").c_str(),
                     (dir.path() + "aside").c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), (dir.path() + "out").c_str()), 0);
  EXPECT_EQ(fs.OpenFolder(dir.path() + "out/", nullptr), nullptr);

  auto file = out->CreateNew("page", nullptr);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("x", 1) && file->Close());
  EXPECT_EQ(ReadFileOrEmpty(dir.path() + "aside/page"), "x");
  ASSERT_EQ(::symlink((victim + "precious").c_str(),
                      (dir.path() + "aside/link").c_str()), 0);
  std::string error;
  EXPECT_EQ(out->CreateNew("link", &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(out->CreateNew("page", nullptr), nullptr);
  EXPECT_EQ(out->OpenRead("link", nullptr), nullptr);
  EXPECT_EQ(out->OpenOwn("link", nullptr), nullptr);
  EXPECT_EQ(out->OpenRead("../victim/precious", nullptr), nullptr);
  EXPECT_FALSE(out->Delete("../victim/precious"));
  for (const DirEntry& e : out->List("*")) EXPECT_TRUE(out->Delete(e.name));
  EXPECT_EQ(ReadFileOrEmpty(victim + "precious"), "precious");

  std::string name;
  std::unique_ptr<Folder> own = out->MakePrivate("p-", &name, nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(name.substr(0, 2), "p-");
  struct stat st;
  ASSERT_EQ(::stat((dir.path() + "aside/" + name).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(out->KindOf(name, nullptr), PathKind::kDirectory);
}

// The lock is a file of the running user's that nobody else can open: a
// reader of the folder holding flock on it does not stop a run, a second
// lock is busy, and a lock file someone else planted is replaced.
TEST(PosixFolderTest, LocksOthersCannotHold) {
  TempDir dir;
  PosixFileSystem fs;
  std::unique_ptr<Folder> folder = fs.OpenFolder(dir.path(), nullptr);
  ASSERT_NE(folder, nullptr);
  const int reader = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(reader, LOCK_EX | LOCK_NB), 0);
  WriteFileOrDie(dir.path() + ".tovex-lock", "planted");
  ::chmod((dir.path() + ".tovex-lock").c_str(), 0644);
  bool busy = true;
  auto lock = folder->Lock(&busy, nullptr);
  ASSERT_NE(lock, nullptr);
  struct stat st;
  ASSERT_EQ(::stat((dir.path() + ".tovex-lock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(folder->Lock(&busy, nullptr), nullptr);
  EXPECT_TRUE(busy);
  lock.reset();
  EXPECT_NE(folder->Lock(&busy, nullptr), nullptr);
  ::close(reader);
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
