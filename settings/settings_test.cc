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
  Settings s;
  s.run_level = 0;
  s.index_domn = s.index_html = s.month_domn = s.month_html = 10;
  s.days_domn = s.days_html = 10;
  s.index_clas = s.month_clas = s.days_clas = 5;
  return s;
}

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
  EXPECT_EQ(s.work_dir, "workdir\\");
  EXPECT_EQ(s.html_dir, "htmldir\\");
  EXPECT_EQ(s.index_domn, 10);
  EXPECT_EQ(s.days_clas, 5);
  EXPECT_EQ(s.run_level, 2);
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
  Settings want;
  want.work_dir = "w\\";
  want.html_dir = "h\\";
  want.index_domn = 11;
  want.index_html = 12;
  want.index_clas = 13;
  want.month_domn = 14;
  want.month_html = 15;
  want.month_clas = 16;
  want.days_domn = 17;
  want.days_html = 18;
  want.days_clas = 19;
  want.run_level = 1;
  const std::string lf =
      "[SYSTEM]\nWORKDIR=w\\\nHTMLDIR=h\\\nINDEXDOMN=11\nINDEXHTML=12\n"
      "INDEXCLAS=13\nMONTHDOMN=14\nMONTHHTML=15\nMONTHCLAS=16\nDAYSDOMN=17\n"
      "DAYSHTML=18\nDAYSCLAS=19\nRUNLEVEL=1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(LoadFrom(lf), want);
  EXPECT_EQ(LoadFrom(crlf), want);
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
      {"INDEXCLAS=\n", &Settings::index_clas, 10},
      {"DAYSCLAS=", &Settings::days_clas, 10},
      {"RUNLEVEL=\n", &Settings::run_level, 2},
      // A blank after the equals sign makes the value empty, not 30.
      {"INDEXDOMN= 30\n", &Settings::index_domn, 20},
      {"INDEXDOMN=\t30\n", &Settings::index_domn, 20},
      // Clamping at both ends.
      {"INDEXDOMN=7\n", &Settings::index_domn, 10},
      {"INDEXDOMN=10\n", &Settings::index_domn, 10},
      {"INDEXDOMN=50\n", &Settings::index_domn, 50},
      {"INDEXDOMN=99\n", &Settings::index_domn, 50},
      {"INDEXCLAS=3\n", &Settings::index_clas, 5},
      {"INDEXCLAS=5\n", &Settings::index_clas, 5},
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
      {"WORKDIR=a\\\nWORKDIR=\n", ""},
      {"workdir=a\\\n", ""},
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
      {std::string(600, 'x') + "DAYSDOMN=33\n", 33},
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
  Settings s = DefaultSettings();
  s.work_dir = "w dir\\";
  s.html_dir = "";
  s.index_domn = 11;
  s.index_html = 12;
  s.index_clas = 13;
  s.month_domn = 14;
  s.month_html = 15;
  s.month_clas = 16;
  s.days_domn = 17;
  s.days_html = 18;
  s.days_clas = 19;
  s.run_level = 0;
  WriteFileOrDie(FilePath(), "old content that must go away entirely\n");
  ASSERT_TRUE(WriteSettingsFile(env_.context(), s).ok());
  EXPECT_EQ(ReadFileOrEmpty(FilePath()),
            "[SYSTEM]\nWORKDIR=w dir\\\nHTMLDIR=\nINDEXDOMN=11\nINDEXHTML=12\n"
            "INDEXCLAS=13\nMONTHDOMN=14\nMONTHHTML=15\nMONTHCLAS=16\n"
            "DAYSDOMN=17\nDAYSHTML=18\nDAYSCLAS=19\nRUNLEVEL=0\n");
}

TEST_F(SettingsTest, WriteThenLoadRoundTrips) {
  Settings s;
  s.work_dir = "tmp\\work\\";
  s.html_dir = "public\\";
  s.index_domn = 50;
  s.index_html = 10;
  s.index_clas = 5;
  s.month_domn = 23;
  s.month_html = 34;
  s.month_clas = 45;
  s.days_domn = 49;
  s.days_html = 11;
  s.days_clas = 6;
  s.run_level = 1;
  ASSERT_TRUE(WriteSettingsFile(env_.context(), s).ok());
  Settings loaded;
  ASSERT_TRUE(LoadSettings(env_.context(), &loaded).ok());
  EXPECT_EQ(loaded, s);
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
  Settings low;
  low.run_level = INT_MIN;
  low.index_domn = low.index_html = low.index_clas = INT_MIN;
  low.month_domn = low.month_html = low.month_clas = 0;
  low.days_domn = low.days_html = low.days_clas = -5;
  ClampSettings(&low);
  EXPECT_EQ(low, AllKeysAbsent());

  Settings high;
  high.run_level = INT_MAX;
  high.index_domn = high.index_html = high.index_clas = INT_MAX;
  high.month_domn = high.month_html = high.month_clas = 51;
  high.days_domn = high.days_html = high.days_clas = 1000;
  high.work_dir = "kept\\";
  ClampSettings(&high);
  Settings want;
  want.run_level = 2;
  want.index_domn = want.index_html = want.index_clas = 50;
  want.month_domn = want.month_html = want.month_clas = 50;
  want.days_domn = want.days_html = want.days_clas = 50;
  want.work_dir = "kept\\";
  EXPECT_EQ(high, want);
}

TEST(FindPatternTest, Table) {
  const std::string p32(32, 'a');
  const std::string p33(33, 'a');
  struct Case {
    std::string text;
    std::string pattern;
    int want;
  } cases[] = {
      {"abc", "b", 1},      {"abc", "abc", 0},   {"abab", "ab", 0},
      {"xKEY=", "KEY=", 1}, {"abc", "d", -1},    {"ABC", "b", -1},
      {"", "a", -1},        {"abc", "", -1},     {"", "", -1},
      {"ab", "abc", -1},    {p32 + "x", p32, 0}, {p33 + "x", p33, -1},
      {"x" + p33, p32, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindPattern(c.text, c.pattern), c.want)
        << "'" << c.text << "' / '" << c.pattern << "'";
  }
}

TEST(ValueAfterKeyTest, Table) {
  struct Case {
    std::string line;
    std::string want;
  } cases[] = {
      {"K=abc", "abc"},
      {"K=abc def", "abc"},
      {"K=abc\tdef", "abc"},
      {"K=abc\r\n", "abc"},
      {"K=abc\n", "abc"},
      {"K=", ""},
      {"K= abc", ""},
      {"x K=1 K=2", "1"},
      {"k=abc", ""},
      {"", ""},
      {"K=" + std::string(300, 'v'), std::string(255, 'v')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueAfterKey("K=", c.line), c.want) << c.line;
  }
}

}  // namespace
}  // namespace tovex
