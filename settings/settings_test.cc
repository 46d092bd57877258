#include "settings/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

const char kDefaultFile[] =
    "[SYSTEM]\nWORKDIR=workdir\\\nHTMLDIR=htmldir\\\nINDEXDOMN=10\n"
    "INDEXHTML=10\nINDEXCLAS=5\nMONTHDOMN=10\nMONTHHTML=10\nMONTHCLAS=5\n"
    "DAYSDOMN=10\nDAYSHTML=10\nDAYSCLAS=5\nRUNLEVEL=2\n";

// Nine different counts, so that a key wired to the wrong field shows; the
// file below holds them.
Settings Numbered() {
  return {RunLevel::kMonth,
          "w\\",
          "h\\",
          RowGroup{11, 13, 12},
          RowGroup{14, 16, 15},
          RowGroup{17, 19, 18}};
}
const char kNumberedFile[] =
    "[SYSTEM]\nWORKDIR=w\\\nHTMLDIR=h\\\nINDEXDOMN=11\nINDEXHTML=12\n"
    "INDEXCLAS=13\nMONTHDOMN=14\nMONTHHTML=15\nMONTHCLAS=16\nDAYSDOMN=17\n"
    "DAYSHTML=18\nDAYSCLAS=19\nRUNLEVEL=1\n";

bool IsDirectory(const std::string& path) {
  return std::filesystem::is_directory(path);
}

class SettingsTest : public ::testing::Test {
 protected:
  std::string FilePath() const { return env_.dir.path() + "quorvane.ini"; }

  // Loads from a settings file holding exactly `content`.
  Settings LoadFrom(std::string_view content) {
    WriteFileOrDie(FilePath(), content);
    Settings s;
    Status st = LoadSettings(env_.context(), &s);
    EXPECT_TRUE(st.ok()) << st.Message();
    return s;
  }

  FakeEnvironment env_;
};

TEST_F(SettingsTest, MissingFileIsCreatedWithDefaultsAndDirectories) {
  Settings s;
  ASSERT_TRUE(LoadSettings(env_.context(), &s).ok());
  EXPECT_EQ(s, DefaultSettings());
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), kDefaultFile);
  EXPECT_TRUE(IsDirectory(env_.dir.path() + "workdir"));
  EXPECT_TRUE(IsDirectory(env_.dir.path() + "htmldir"));
}

TEST_F(SettingsTest, ExistingFilesAreReadNotRewritten) {
  // Keys that are absent load as zeros, clamped; directories stay empty.
  const Settings absent{
      RunLevel::kYear,    "", "", RowGroup{10, 5, 10}, RowGroup{10, 5, 10},
      RowGroup{10, 5, 10}};
  EXPECT_EQ(LoadFrom(""), absent);
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), "");
  EXPECT_FALSE(IsDirectory(env_.dir.path() + "workdir"));
  const std::string content = "WORKDIR=nowhere\\\nRUNLEVEL=9\n";
  EXPECT_EQ(LoadFrom(content).run_level, RunLevel::kDay);
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), content);
  EXPECT_FALSE(IsDirectory(env_.dir.path() + "nowhere"));

  std::string crlf;
  for (char c : std::string(kNumberedFile)) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  EXPECT_EQ(LoadFrom(kNumberedFile), Numbered());
  EXPECT_EQ(LoadFrom(crlf), Numbered());
}

TEST_F(SettingsTest, Values) {
  struct Case {
    std::string content;
    int want;  // INDEXDOMN, or the run level for RUNLEVEL lines
  } cases[] = {
      // A key with nothing after it takes its empty-value default.
      {"INDEXDOMN=\n", 20},
      {"RUNLEVEL=\n", 2},
      // A blank or tab after the equals sign makes the value empty, not 30.
      {"INDEXDOMN= 30\n", 20},
      {"INDEXDOMN=\t30\n", 20},
      {"INDEXDOMN=7\n", 10},
      {"INDEXDOMN=99\n", 50},
      {"RUNLEVEL=5\n", 2},
      {"RUNLEVEL=-1\n", 0},
      {"INDEXDOMN=abc\n", 10},
      {"INDEXDOMN=30abc\n", 30},
      {"INDEXDOMN=4294967306\n", 50},
      // Keys count anywhere in a line, but only as written.
      {"; INDEXDOMN=30\n", 30},
      {"indexdomn=30\n", 10},
      {"INDEXDOMN =30\n", 10},
      // The last line wins; within a line the first occurrence.
      {"INDEXDOMN=40\nINDEXDOMN=5\n", 10},
      {"INDEXDOMN=40 INDEXDOMN=30\n", 40},
      // Text after a NUL byte is not part of the line.
      {std::string("x\0INDEXDOMN=40\n", 15), 10},
      // Long lines arrive in 255-byte pieces: a key opening the second
      // piece counts, one straddling the cut does not.
      {std::string(255, 'x') + "INDEXDOMN=33\n", 33},
      {std::string(250, 'x') + "INDEXDOMN=33\n", 10},
      {std::string(242, 'x') + "INDEXDOMN=33\n", 33},
  };
  for (const Case& c : cases) {
    const Settings s = LoadFrom(c.content);
    const int got = c.content.find("RUNLEVEL") != std::string::npos
                        ? static_cast<int>(s.run_level)
                        : s.index_rows.domains;
    EXPECT_EQ(got, c.want) << c.content;
  }
  EXPECT_EQ(LoadFrom("DAYSCLAS=").day_rows.organisations, 10);
  EXPECT_EQ(LoadFrom("WORKDIR=my dir\\\r\n").work_dir, "my");
  EXPECT_EQ(LoadFrom("HTMLDIR=h WORKDIR=w\n").work_dir, "w");
  EXPECT_EQ(LoadFrom("HTMLDIR=\n").html_dir, "");
}

TEST_F(SettingsTest, WriterProducesTheFixedLayout) {
  WriteFileOrDie(FilePath(), "old content that must go away entirely\n");
  ASSERT_TRUE(WriteSettingsFile(env_.context(), Numbered()).ok());
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), kNumberedFile);
}

// A directory holding text that reads like a key loads back as written.
TEST_F(SettingsTest, DirectoriesThatReadLikeKeysLoadBack) {
  Settings s = Numbered();
  s.work_dir = "w/HTMLDIR=x";
  s.html_dir = "h/WORKDIR=y";
  ASSERT_TRUE(WriteSettingsFile(env_.context(), s).ok());
  EXPECT_EQ(LoadFrom(ReadFileOrEmpty(FilePath())), s);
}

TEST_F(SettingsTest, FailuresNameTheFile) {
  Context ctx = env_.context();
  ctx.base_dir = env_.dir.path() + "missing/";
  Settings s;
  Status st = LoadSettings(ctx, &s);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), ctx.base_dir + "quorvane.ini");

  // A full disk leaves the file as it was.
  WriteFileOrDie(FilePath(), "RUNLEVEL=1\n");
  env_.fs.fail_write = "quorvane.ini.new";
  env_.fs.fail_after = 20;
  st = WriteSettingsFile(env_.context(), DefaultSettings());
  EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
  EXPECT_EQ(st.path(), FilePath());
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), "RUNLEVEL=1\n");
}

// A file that exists is never replaced with the defaults: one that cannot
// be opened or read, or is no regular file, fails the load.
TEST_F(SettingsTest, UnreadableFileIsNeverOverwritten) {
  WriteFileOrDie(FilePath(), "RUNLEVEL=1\n");
  struct Case {
    const char* fail_open;
    const char* fail_read;
    Status::Code code;
  } cases[] = {{"quorvane.ini", "", Status::Code::kCannotOpen},
               {"", "quorvane.ini", Status::Code::kCannotRead}};
  for (const Case& c : cases) {
    env_.fs.fail_open = c.fail_open;
    env_.fs.fail_read = c.fail_read;
    env_.fs.fail_after = 3;
    Settings s;
    Status st = LoadSettings(env_.context(), &s);
    EXPECT_EQ(st.code(), c.code);
    EXPECT_EQ(st.path(), FilePath());
    EXPECT_FALSE(st.detail().empty());
    EXPECT_EQ(ReadFileOrEmpty(FilePath()), "RUNLEVEL=1\n");
  }
  env_.fs.fail_open = env_.fs.fail_read = "";
  ASSERT_TRUE(env_.fs.Delete(FilePath()));
  ASSERT_TRUE(env_.fs.MakeDirectory(FilePath(), nullptr));
  Settings s;
  EXPECT_EQ(LoadSettings(env_.context(), &s).code(), Status::Code::kCannotOpen);
}

TEST(ClampSettingsTest, EveryCountHasItsBounds) {
  Settings s;
  s.index_rows = {-5, -5, 9};
  s.month_rows = {51, 51, 50};
  s.day_rows = {1000, 4, 10};
  ClampSettings(&s);
  EXPECT_EQ(s.index_rows, (RowGroup{10, 5, 10}));
  EXPECT_EQ(s.month_rows, (RowGroup{50, 50, 50}));
  EXPECT_EQ(s.day_rows, (RowGroup{50, 5, 10}));
}

TEST(FindPatternTest, Table) {
  const std::string p32(32, 'a');
  const std::string p33(33, 'a');
  struct Case {
    std::string text;
    std::string pattern;
    int want;
  } cases[] = {
      {"abab", "ab", 0},   {"xKEY=", "KEY=", 1}, {"ABC", "b", -1},
      {"", "a", -1},       {"abc", "", -1},      {"ab", "abc", -1},
      {p32 + "x", p32, 0}, {p33 + "x", p33, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindPattern(c.text, c.pattern), c.want)
        << "'" << c.text << "' / '" << c.pattern << "'";
  }
}

}  // namespace
}  // namespace tovex
