#include "report/pages.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <memory>
#include <string>

#include "job/work_file.h"
#include "log/log_line.h"
#include "platform/fake_platform.h"

namespace tovex {
namespace {

// The expected pages are UTF-8 text; the pages are Shift-JIS.
std::string FromShiftJis(const std::string& sjis) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(sjis.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(sjis.data());
  size_t in_left = sjis.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  EXPECT_NE(iconv(cd, &in, &in_left, &dst, &dst_left), static_cast<size_t>(-1))
      << "page is not Shift-JIS";
  iconv_close(cd);
  out.resize(out.size() - dst_left);
  return out;
}

std::string TestData(const std::string& name) {
  return ReadFileOrEmpty(std::string(TOVEX_SOURCE_DIR) + "/report/testdata/" +
                         name);
}

class PagesTest : public ::testing::Test {
 protected:
  PagesTest() {
    ctx_ = env_.context();
    settings_.work_dir = "work\\";
    settings_.html_dir = "html\\";
    settings_.index_domn = settings_.month_domn = settings_.days_domn = 10;
    settings_.index_clas = settings_.month_clas = settings_.days_clas = 5;
    settings_.index_html = settings_.month_html = settings_.days_html = 10;
    EXPECT_TRUE(env_.fs.MakeDirectory(env_.dir.path() + "work"));
    EXPECT_TRUE(env_.fs.MakeDirectory(env_.dir.path() + "html"));
  }

  // Copies the test work files `data`.dk and `data`.hk (or .ddy and .hdy
  // for a day) into the work directory as `name` with the same suffixes.
  void Work(const std::string& data, const std::string& name,
            bool day = false) {
    for (const char* suffix : {day ? ".ddy" : ".dk", day ? ".hdy" : ".hk"}) {
      std::string records = TestData(data + suffix);
      ASSERT_FALSE(records.empty()) << data << suffix;
      WriteFileOrDie(JoinPath(ctx_, settings_.work_dir, name + suffix),
                     records);
    }
  }

  void EmptyWork(const std::string& name) {
    WriteFileOrDie(JoinPath(ctx_, settings_.work_dir, name), "");
  }

  void DayPageExists(int year, int month, int day) {
    WriteFileOrDie(JoinPathDated(ctx_, settings_.html_dir, year, month, day),
                   "");
  }

  void AddPeriod(int year, int month, int64_t count) {
    periods_.at(periods_.Add(year, month)).count = count;
  }

  std::string Page(const std::string& name) {
    return ReadFileOrEmpty(JoinPath(ctx_, settings_.html_dir, name));
  }

  void ExpectPage(const std::string& name, const std::string& golden) {
    std::string expected = TestData(golden);
    ASSERT_FALSE(expected.empty()) << golden;
    EXPECT_EQ(FromShiftJis(Page(name)), expected) << golden;
  }

  FakeEnvironment env_;
  Context ctx_;
  Settings settings_;
  PeriodTable periods_;
  std::unique_ptr<PeriodTally> scratch_ = std::make_unique<PeriodTally>();
};

TEST_F(PagesTest, IndexPageOfTwoMonths) {
  Work("two_months", "index");
  AddPeriod(2001, 3, 5);
  AddPeriod(2001, 4, 2);
  struct Case {
    int run_level;
    const char* golden;
  } cases[] = {
      {0, "index_run_level_0.html"},  // month rows without links
      {1, "index_run_level_1.html"},
      {2, "index_run_level_1.html"},
  };
  for (const Case& c : cases) {
    settings_.run_level = c.run_level;
    ASSERT_TRUE(WriteIndexPage(ctx_, settings_, periods_, scratch_.get()).ok());
    ExpectPage("index.html", c.golden);
  }
}

TEST_F(PagesTest, IndexPageOfSingleMonth) {
  Work("march", "index");
  AddPeriod(2001, 3, 0);
  periods_.SetSingleMonthMarker();
  settings_.run_level = 1;
  ASSERT_TRUE(WriteIndexPage(ctx_, settings_, periods_, scratch_.get()).ok());
  ExpectPage("index.html", "index_single_month.html");

  // Day 2 had accesses but has no page, so it gets no link.
  DayPageExists(2001, 3, 1);
  DayPageExists(2001, 3, 15);
  DayPageExists(2001, 4, 2);
  settings_.run_level = 2;
  ASSERT_TRUE(WriteIndexPage(ctx_, settings_, periods_, scratch_.get()).ok());
  ExpectPage("index.html", "index_single_month_day_links.html");
}

TEST_F(PagesTest, IndexPageWithoutAccesses) {
  EmptyWork("index.dk");
  EmptyWork("index.hk");
  ASSERT_TRUE(WriteIndexPage(ctx_, settings_, periods_, scratch_.get()).ok());
  ExpectPage("index.html", "index_no_access.html");
}

TEST_F(PagesTest, MonthPageReadsEntryNumberAndStoresTotal) {
  Work("april", "2");
  AddPeriod(2001, 3, 0);
  AddPeriod(2001, 4, 0);
  DayPageExists(2001, 4, 3);
  DayPageExists(2001, 3, 2);  // another month's day: no link
  settings_.run_level = 2;
  int64_t count = -7;
  ASSERT_TRUE(
      WriteMonthPage(ctx_, settings_, periods_, 1, &count, scratch_.get())
          .ok());
  EXPECT_EQ(count, 2);
  ExpectPage("2001-4.html", "month_run_level_2.html");
}

TEST_F(PagesTest, DayPage) {
  Work("day", "1", /*day=*/true);
  ASSERT_TRUE(WriteDayPage(ctx_, settings_, 2001, 3, 1, scratch_.get()).ok());
  ExpectPage("2001-3-1.html", "day.html");
}

TEST_F(PagesTest, MissingWorkFileCannotOpen) {
  Status st = WriteDayPage(ctx_, settings_, 2001, 3, 9, scratch_.get());
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), JoinPath(ctx_, settings_.work_dir, "9.ddy"));
  EXPECT_FALSE(
      FileExists(ctx_, JoinPath(ctx_, settings_.html_dir, "2001-3-9.html")));
}

TEST_F(PagesTest, PageThatCannotBeCreated) {
  Work("day", "1", /*day=*/true);
  settings_.html_dir = "missing\\";
  Status st = WriteDayPage(ctx_, settings_, 2001, 3, 1, scratch_.get());
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), JoinPathDated(ctx_, settings_.html_dir, 2001, 3, 1));
}

TEST_F(PagesTest, LostWriteIsReported) {
  Work("two_months", "index");
  env_.fs.fail_write_containing = "index.html";
  env_.fs.fail_write_after = 100;
  Status st = WriteIndexPage(ctx_, settings_, periods_, scratch_.get());
  EXPECT_EQ(st.code(), Status::Code::kCannotWrite);
  EXPECT_EQ(st.path(), JoinPath(ctx_, settings_.html_dir, "index.html"));
}

}  // namespace

}  // namespace tovex
