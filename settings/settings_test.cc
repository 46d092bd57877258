#include "settings/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
          RowGroup{17, 19, 18},
          "",
          "",
          "",
          ""};
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
  // Keys that are absent load as zeros, clamped; directories as the
  // default ones, which are not made.
  const Settings absent{RunLevel::kYear,     "workdir\\",
                        "htmldir\\",       RowGroup{10, 5, 10},
                        RowGroup{10, 5, 10}, RowGroup{10, 5, 10},
                        "",                  "",
                        "",                  ""};
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
  EXPECT_EQ(LoadFrom("DAYSCLAS=51").day_rows.organisations, 50);
  // A folder's name runs to the line end (or to another key) and may hold
  // blanks; a missing or empty one is the default, never the base folder.
  EXPECT_EQ(LoadFrom("WORKDIR=my dir\\ \t\r\n").work_dir, "my dir\\");
  EXPECT_EQ(LoadFrom("HTMLDIR=h WORKDIR=w\n").work_dir, "w");
  EXPECT_EQ(LoadFrom("HTMLDIR=h WORKDIR=w\n").html_dir, "h");
  EXPECT_EQ(LoadFrom("HTMLDIR=\n").html_dir, "htmldir\\");
  EXPECT_EQ(LoadFrom("").work_dir, "workdir\\");
}

// A folder name too long for a line of the file is refused, never cut.
TEST_F(SettingsTest, FolderThatDoesNotFitIsRefused) {
  WriteFileOrDie(FilePath(), "HTMLDIR=" + std::string(300, 'd') + "\n");
  Settings s;
  const Status st = LoadSettings(env_.context(), &s);
  EXPECT_EQ(st.code(), Status::Code::kBadSetting);
  EXPECT_EQ(st.ExitCode(), 2);
  EXPECT_EQ(st.path().substr(0, 9), "HTMLDIR=d");
}

// A settings file reached through a link is read, and written to the file
// the link leads to, which keeps the link.
TEST_F(SettingsTest, LinkedFileIsReadAndWrittenThrough) {
  TempDir elsewhere;
  const std::string target = elsewhere.path() + "tovex.ini";
  WriteFileOrDie(target, kNumberedFile);
  ASSERT_EQ(::symlink(target.c_str(), FilePath().c_str()), 0);
  Settings s;
  ASSERT_TRUE(LoadSettings(env_.context(), &s).ok());
  EXPECT_EQ(s, Numbered());
  ASSERT_TRUE(WriteSettingsFile(env_.context(), DefaultSettings()).ok());
  EXPECT_EQ(ReadFileOrEmpty(target), kDefaultFile);
  EXPECT_TRUE(std::filesystem::is_symlink(FilePath()));
}

// The writer changes a value where it stands, adds what is missing at the
// end and keeps every other byte: keys it does not know, comments, the
// keys that stand on lines of their own, CR LF.
TEST_F(SettingsTest, WriterKeepsWhatItDoesNotChange) {
  struct Case {
    std::string old;
    std::string written;
  } cases[] = {
      {"", kNumberedFile},
      {std::string(kNumberedFile), kNumberedFile},
      {"; mine\r\nFOO=bar\r\nJSONFILE=out/r.json\r\nHISTORYDIR=h/\r\n"
       "x INDEXDOMN=010 y\r\nRUNLEVEL=1\r\n",
       "; mine\r\nFOO=bar\r\nJSONFILE=out/r.json\r\nHISTORYDIR=h/\r\n"
       "x INDEXDOMN=11 y\r\nRUNLEVEL=1\r\nWORKDIR=w\\\nHTMLDIR=h\\\n"
       "INDEXHTML=12\nINDEXCLAS=13\nMONTHDOMN=14\nMONTHHTML=15\n"
       "MONTHCLAS=16\nDAYSDOMN=17\nDAYSHTML=18\nDAYSCLAS=19\n"},
      {"JSONFILE=a/RUNLEVEL=2.json", ""},  // no key inside another's line
  };
  for (const Case& c : cases) {
    Settings want = Numbered();
    if (!c.old.empty()) {
      WriteFileOrDie(FilePath(), c.old);
      Settings had;
      ASSERT_TRUE(LoadSettings(env_.context(), &had).ok());
      want.json_file = had.json_file;
      want.history_dir = had.history_dir;
    } else {
      ::unlink(FilePath().c_str());
    }
    ASSERT_TRUE(WriteSettingsFile(env_.context(), want).ok()) << c.old;
    if (!c.written.empty()) {
      EXPECT_EQ(ReadFileOrEmpty(FilePath()), c.written);
    }
    EXPECT_EQ(LoadFrom(ReadFileOrEmpty(FilePath())), want) << c.old;
  }
}

// The file is written whole or not at all.
TEST_F(SettingsTest, WriterReplacesTheFileWhole) {
  WriteFileOrDie(FilePath(), kNumberedFile);

  env_.fs.fail_write = "quorvane.ini.new";
  env_.fs.fail_after = 20;
  const Status st = WriteSettingsFile(env_.context(), DefaultSettings());
  EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
  EXPECT_EQ(st.path(), FilePath());
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
  ASSERT_EQ(::unlink(FilePath().c_str()), 0);
  ASSERT_TRUE(env_.fs.MakeDirectory(FilePath(), nullptr));
  Settings s;
  EXPECT_EQ(LoadSettings(env_.context(), &s).code(), Status::Code::kCannotOpen);
  // A missing file that cannot be created fails with its path too.
  Context ctx = env_.context();
  ctx.base_dir += "missing/";
  const Status st = LoadSettings(ctx, &s);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), ctx.base_dir + "quorvane.ini");
}

}  // namespace
}  // namespace tovex
