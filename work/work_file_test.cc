#include "work/work_file.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"
#include "work/file_names.h"

namespace tovex {
namespace {

class WorkFileTest : public ::testing::Test {
 protected:
  Context ctx() const { return env_.context(); }
  std::string Base() const { return env_.dir.path(); }

  FakeEnvironment env_;
};

TEST_F(WorkFileTest, Names) {
  Context c = ctx();
  c.base_dir = "/b/";
  struct Case {
    std::string got;
    std::string want;
  } cases[] = {
      {JoinPath(c, "workdir\\", IndexPair().hosts), "/b/workdir/index.dk"},
      {JoinPath(c, "", "quorvane.ini"), "/b/quorvane.ini"},
      {JoinPath(c, "a\\b/", PeriodPair(3).contents), "/b/a/b/3.hk"},
      {DayPair(31).hosts + DayPair(1).contents, "31.ddy1.hdy"},
      {MonthPageName(2001, 3), "2001-3.html"},
      {DayPageName(2001, 12, 5), "2001-12-5.html"},
  };
  for (const Case& k : cases) EXPECT_EQ(k.got, k.want);
}

// Appends behind what the file holds, through a buffer barely larger than
// one record, so that almost every record flushes.
TEST_F(WorkFileTest, RecordWriterFormatsAndAppends) {
  const std::string path = Base() + "r";
  WriteFileOrDie(path, "first 1 1 1\n");
  std::unique_ptr<RecordWriter> w;
  ASSERT_TRUE(RecordWriter::Open(ctx(), path, OpenMode::kAppend, &w,
                                 kMaxRecordBytes + 1)
                  .ok());
  std::string want = "first 1 1 1\n";
  for (int i = 0; i < 40; ++i) {
    const std::string longest(121, static_cast<char>('a' + i % 26));
    w->Add("client7", 15, 9, 4);
    w->Add(longest, 31, 23, 6);
    w->Add("neg", -1, 2147483647, -2147483647 - 1);
    want += "client7 15 9 4\n" + longest +
            " 31 23 6\nneg -1 2147483647 -2147483648\n";
  }
  ASSERT_TRUE(w->Close().ok());
  EXPECT_EQ(ReadFileOrEmpty(path), want);
}

TEST_F(WorkFileTest, LostWriteIsReported) {
  env_.fs.fail_write = "full";
  env_.fs.fail_write_after = 10;
  std::unique_ptr<RecordWriter> w;
  ASSERT_TRUE(
      RecordWriter::Open(ctx(), Base() + "full", OpenMode::kWrite, &w).ok());
  w->Add("somehost.example.com", 1, 2, 3);
  Status st = w->Close();
  EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
  EXPECT_EQ(st.path(), Base() + "full");
}

TEST_F(WorkFileTest, OpenFailuresNameThePath) {
  const std::string missing = Base() + "nodir/index.dk";
  std::unique_ptr<WritableFile> w;
  Status st = OpenOrDie(ctx(), missing, OpenMode::kWrite, &w);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.Message(), missing + " ファイルを開けません!!\n");
  EXPECT_EQ(st.ExitCode(), 1);

  std::unique_ptr<ReadableFile> r;
  EXPECT_FALSE(OpenOrDie(ctx(), Base() + "absent", &r).ok());
  EXPECT_FALSE(FileExists(ctx(), Base() + "absent"));
  EXPECT_FALSE(FileExists(ctx(), Base()));  // a directory is not a file
  WriteFileOrDie(Base() + "present", "");
  EXPECT_TRUE(FileExists(ctx(), Base() + "present"));
}

TEST_F(WorkFileTest, ParseRecord) {
  struct Case {
    const char* line;
    bool ok;
    const char* name;
    int day, hour, weekday;
  } cases[] = {
      {"client7 15 9 4\n", true, "client7", 15, 9, 4},
      {"x 31 23 6", true, "x", 31, 23, 6},
      {"x -1 2 3\n", true, "x", -1, 2, 3},
      {"x 1 2\n", false, "", 0, 0, 0},
      {"\n", false, "", 0, 0, 0},
      {"x a 2 3\n", false, "", 0, 0, 0},
  };
  for (const Case& c : cases) {
    WorkRecord rec;
    ASSERT_EQ(ParseRecord(c.line, &rec), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(rec.name, c.name);
    EXPECT_EQ(rec.day, c.day);
    EXPECT_EQ(rec.hour, c.hour);
    EXPECT_EQ(rec.weekday, c.weekday);
  }
}

TEST_F(WorkFileTest, RemoveWorkFilesStopsAtTheFirstGap) {
  const std::string w = Base() + "w/";
  ASSERT_TRUE(env_.fs.MakeDirectory(w));
  for (const char* name : {"1.dk", "2.dk", "4.dk", "1.hk", "1.s", "2.s", "3.s",
                           "index.dk", "index.hk", "1.ddy", "keep"}) {
    WriteFileOrDie(w + name, "x");
  }
  RemoveWorkFiles(WorkDir(ctx(), "w\\"));
  struct Case {
    const char* name;
    bool remains;
  } cases[] = {
      {"1.dk", false},     {"2.dk", false}, {"4.dk", true}, {"1.hk", false},
      {"1.s", false},      {"2.s", false},  {"3.s", false}, {"index.dk", false},
      {"index.hk", false}, {"1.ddy", true}, {"keep", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileExists(ctx(), w + c.name), c.remains) << c.name;
  }
}

}  // namespace
}  // namespace tovex
