#include "settings/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "platform/fake_platform.h"

namespace tovex {
namespace {

const char kDefaultFile[] =
    "[SYSTEM]\n"
    "WORKDIR=workdir\\\n"
    "HTMLDIR=htmldir\\\n"
    "INDEXDOMN=10\n"
    "INDEXHTML=10\n"
    "INDEXCLAS=5\n"
    "MONTHDOMN=10\n"
    "MONTHHTML=10\n"
    "MONTHCLAS=5\n"
    "DAYSDOMN=10\n"
    "DAYSHTML=10\n"
    "DAYSCLAS=5\n"
    "RUNLEVEL=2\n";

// What an existing file without any key loads as.
Settings AllKeysAbsent() {
  return {0, "", "", 10, 10, 5, 10, 10, 5, 10, 10, 5};
}

// Nine different counts, so that a key wired to the wrong field shows; the
// file below holds them.
Settings Numbered() {
  return {1, "w\\", "h\\", 11, 12, 13, 14, 15, 16, 17, 18, 19};
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

TEST_F(SettingsTest, EmptyFileGivesClampedZerosAndStaysEmpty) {
  EXPECT_EQ(LoadFrom(""), AllKeysAbsent());
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), "");
  EXPECT_FALSE(IsDirectory(env_.dir.path() + "workdir"));
  EXPECT_FALSE(IsDirectory(env_.dir.path() + "htmldir"));
}

TEST_F(SettingsTest, ExistingFileNamingMissingDirectoryIsLeftAlone) {
  const std::string content = "WORKDIR=nowhere\\\nRUNLEVEL=9\n";
  Settings s = LoadFrom(content);
  EXPECT_EQ(s.work_dir, "nowhere\\");
  EXPECT_EQ(s.run_level, 2);
  EXPECT_FALSE(IsDirectory(env_.dir.path() + "nowhere"));
  // Clamped values reach the file only when the dialog saves.
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), content);
}

TEST_F(SettingsTest, EveryKeyReachesItsOwnField) {
  const std::string lf = kNumberedFile;
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(LoadFrom(lf), Numbered());
  EXPECT_EQ(LoadFrom(crlf), Numbered());
}

TEST_F(SettingsTest, SingleKeyValues) {
  struct Case {
    std::string content;
    int Settings::*field;
    int want;
  } cases[] = {
      // A key with nothing after it takes its empty-value default.
      {"INDEXDOMN=\n", &Settings::index_domn, 20},
      {"MONTHHTML=\r\n", &Settings::month_html, 20},
      {"DAYSCLAS=", &Settings::days_clas, 10},
      {"RUNLEVEL=\n", &Settings::run_level, 2},
      // A blank or tab after the equals sign makes the value empty, not 30.
      {"INDEXDOMN= 30\n", &Settings::index_domn, 20},
      {"INDEXDOMN=\t30\n", &Settings::index_domn, 20},
      // Clamping at both ends.
      {"INDEXDOMN=7\n", &Settings::index_domn, 10},
      {"INDEXDOMN=10\n", &Settings::index_domn, 10},
      {"INDEXDOMN=50\n", &Settings::index_domn, 50},
      {"INDEXDOMN=99\n", &Settings::index_domn, 50},
      {"INDEXCLAS=3\n", &Settings::index_clas, 5},
      {"MONTHCLAS=51\n", &Settings::month_clas, 50},
      {"RUNLEVEL=5\n", &Settings::run_level, 2},
      {"RUNLEVEL=-1\n", &Settings::run_level, 0},
      {"RUNLEVEL=1", &Settings::run_level, 1},
      // Letters convert to 0, digits before letters keep their value.
      {"INDEXHTML=abc\n", &Settings::index_html, 10},
      {"INDEXHTML=30abc\n", &Settings::index_html, 30},
      // Over-long numbers saturate and are then clamped.
      {"MONTHDOMN=99999999999999999999\n", &Settings::month_domn, 50},
      {"MONTHDOMN=4294967306\n", &Settings::month_domn, 50},
      {"MONTHDOMN=-99999999999999999999\n", &Settings::month_domn, 10},
      // Keys count anywhere in a line, but only as written.
      {"; INDEXDOMN=30\n", &Settings::index_domn, 30},
      {"xINDEXDOMN=30\n", &Settings::index_domn, 30},
      {"indexdomn=30\n", &Settings::index_domn, 10},
      {"INDEXDOMN =30\n", &Settings::index_domn, 10},
      // The last occurrence wins, in either direction.
      {"DAYSHTML=5\nDAYSHTML=40\n", &Settings::days_html, 40},
      {"DAYSHTML=40\nDAYSHTML=5\n", &Settings::days_html, 10},
      // Within one line the first occurrence is the one read.
      {"DAYSHTML=40 DAYSHTML=30\n", &Settings::days_html, 40},
      // Text after a NUL byte is not part of the line.
      {std::string("x\0DAYSHTML=40\n", 14), &Settings::days_html, 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadFrom(c.content).*c.field, c.want) << c.content;
  }
}

TEST_F(SettingsTest, SeveralKeysOnOneLine) {
  Settings s = LoadFrom("INDEXDOMN=30\tINDEXHTML=40 RUNLEVEL=1\n");
  EXPECT_EQ(s.index_domn, 30);
  EXPECT_EQ(s.index_html, 40);
  EXPECT_EQ(s.run_level, 1);
}

TEST_F(SettingsTest, DirectoryValues) {
  struct Case {
    std::string content;
    std::string work_dir;
  } cases[] = {
      {"WORKDIR=work\\\n", "work\\"},
      {"WORKDIR=work\\\r\n", "work\\"},
      {"WORKDIR=my dir\\\n", "my"},
      {"WORKDIR=\n", ""},
      // Longer than the dialog allows; the store keeps it whole.
      {"WORKDIR=" + std::string(200, 'd') + "\n", std::string(200, 'd')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadFrom(c.content).work_dir, c.work_dir) << c.content;
  }
  EXPECT_EQ(LoadFrom("HTMLDIR=out\\\n").html_dir, "out\\");
}

TEST_F(SettingsTest, LongLinesArriveIn255BytePieces) {
  struct Case {
    std::string content;
    int want_days_domn;
  } cases[] = {
      // The key opens the second piece.
      {std::string(255, 'x') + "DAYSDOMN=33\n", 33},
      // The key straddles the cut, so neither piece holds it.
      {std::string(250, 'x') + "DAYSDOMN=33\n", 10},
      // The cut falls inside the value: the first piece reads "3".
      {std::string(245, 'x') + "DAYSDOMN=33\n", 10},
      // A key in the first piece of a long line still counts.
      {"DAYSDOMN=33 " + std::string(400, 'x') + "\n", 33},
      // Exactly 255 bytes, line end included, is still one piece.
      {std::string(243, 'x') + "DAYSDOMN=33\n", 33},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadFrom(c.content).days_domn, c.want_days_domn)
        << c.content.size() << " bytes";
  }
}

TEST_F(SettingsTest, KeysBeyondTheFirstReadBlock) {
  std::string content;
  for (int i = 0; i < 300; ++i) {
    content += "; padding line " + std::to_string(i) + " INDEXDOMN=11\n";
  }
  content += std::string(1000, 'y') + "MONTHHTML=22\n";
  content += "INDEXDOMN=44\nRUNLEVEL=1";  // no final line end
  Settings s = LoadFrom(content);
  EXPECT_EQ(s.index_domn, 44);
  EXPECT_EQ(s.month_html, 22);
  EXPECT_EQ(s.run_level, 1);
}

TEST_F(SettingsTest, WriterProducesTheFixedLayout) {
  WriteFileOrDie(FilePath(), "old content that must go away entirely\n");
  ASSERT_TRUE(WriteSettingsFile(env_.context(), Numbered()).ok());
  EXPECT_EQ(ReadFileOrEmpty(FilePath()), kNumberedFile);
}

TEST_F(SettingsTest, FileThatCannotBeCreated) {
  Context ctx = env_.context();
  ctx.base_dir = env_.dir.path() + "missing/";
  Settings s;
  Status st = LoadSettings(ctx, &s);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), ctx.base_dir + "quorvane.ini");

  env_.fs.fail_open_containing = "quorvane";
  st = LoadSettings(env_.context(), &s);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), FilePath());
  EXPECT_FALSE(IsDirectory(env_.dir.path() + "workdir"));
}

TEST_F(SettingsTest, LostWriteIsReported) {
  env_.fs.fail_write_containing = "quorvane";
  env_.fs.fail_write_after = 20;
  Status st = WriteSettingsFile(env_.context(), DefaultSettings());
  EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
  EXPECT_EQ(st.path(), FilePath());
}

TEST(ClampSettingsTest, EveryCountHasItsBounds) {
  const int kMin = INT_MIN, kMax = INT_MAX;
  Settings low = {kMin, "", "", kMin, kMin, kMin, 0, 0, 0, -5, -5, -5};
  ClampSettings(&low);
  EXPECT_EQ(low, AllKeysAbsent());

  Settings high = {kMax, "kept\\", "", kMax, kMax, kMax,
                   51,   51,       51, 1000, 1000, 1000};
  ClampSettings(&high);
  EXPECT_EQ(high,
            (Settings{2, "kept\\", "", 50, 50, 50, 50, 50, 50, 50, 50, 50}));
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
      {p32 + "x", p32, 0}, {p33 + "x", p33, -1}, {"x" + p33, p32, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindPattern(c.text, c.pattern), c.want)
        << "'" << c.text << "' / '" << c.pattern << "'";
  }
}

}  // namespace
}  // namespace tovex
