#include "report/pages.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <memory>
#include <set>
#include <string>

#include "platform/posix_platform.h"

#include "platform/testing/fake_platform.h"
#include "work/work_file.h"

namespace tovex {
namespace {

const PageText& Texts() {
  static IconvEncoder encoder;
  static const PageText texts(&encoder);
  return texts;
}

// The golden pages are UTF-8 text; the pages are Shift-JIS.
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

// Each page is rendered from the tally of a pair of sorted work files in
// testdata/ ("<name>.dk"/"<name>.hk", or .ddy/.hdy for a day) and compared
// with a golden page.
class PagesTest : public ::testing::Test {
 protected:
  PagesTest() : work_(env_.context(), "") {}

  const PeriodTally& Tally(const std::string& name, const RowGroup& rows,
                           bool day = false) {
    const WorkPair pair{name + (day ? ".ddy" : ".dk"),
                        name + (day ? ".hdy" : ".hk")};
    for (const std::string* file : {&pair.hosts, &pair.contents}) {
      WriteFileOrDie(work_.PathOf(*file), TestData(*file));
    }
    EXPECT_TRUE(TallyPeriod(work_, pair, rows, tally_.get()).ok());
    return *tally_;
  }

  void ExpectPage(const PageBuilder& page, const std::string& golden) {
    const std::string expected = TestData(golden);
    ASSERT_FALSE(expected.empty()) << golden;
    EXPECT_EQ(FromShiftJis(page.page()), expected) << golden;
  }

  static DayLinked Linked(std::set<int> days) {
    return [days](int day) { return days.count(day) > 0; };
  }

  FakeEnvironment env_;
  WorkDir work_;
  const RowGroup rows_{10, 5, 10};
  PeriodTable periods_;
  std::unique_ptr<PeriodTally> tally_ = std::make_unique<PeriodTally>();
};

TEST_F(PagesTest, IndexPageOfTwoMonths) {
  periods_.at(periods_.Add(2001, 3)).count = 5;
  periods_.at(periods_.Add(2001, 4)).count = 2;
  const PeriodTally& t = Tally("two_months", rows_);
  for (bool links : {false, true}) {
    PageBuilder page(Texts());
    WriteIndexPage(t, rows_, periods_, IndexLayout{nullptr, nullptr, links},
                   &page);
    ExpectPage(page,
               links ? "index_run_level_1.html" : "index_run_level_0.html");
  }
}

TEST_F(PagesTest, IndexPageOfSingleMonth) {
  const Period march{2001, 3, 0};
  const PeriodTally& t = Tally("march", rows_);
  PageBuilder plain(Texts());
  WriteIndexPage(t, rows_, periods_, IndexLayout{&march, nullptr, true},
                 &plain);
  ExpectPage(plain, "index_single_month.html");
  // Day 2 had accesses but has no page, so it gets no link.
  PageBuilder linked(Texts());
  WriteIndexPage(t, rows_, periods_, IndexLayout{&march, Linked({1, 15}), true},
                 &linked);
  ExpectPage(linked, "index_single_month_day_links.html");
}

TEST_F(PagesTest, IndexPageWithoutAccesses) {
  WriteFileOrDie(work_.PathOf("none.dk"), "");
  WriteFileOrDie(work_.PathOf("none.hk"), "");
  ASSERT_TRUE(
      TallyPeriod(work_, {"none.dk", "none.hk"}, rows_, tally_.get()).ok());
  PageBuilder page(Texts());
  WriteIndexPage(*tally_, rows_, periods_, IndexLayout{}, &page);
  ExpectPage(page, "index_no_access.html");
}

TEST_F(PagesTest, MonthAndDayPages) {
  PageBuilder month(Texts());
  WriteMonthPage(Tally("april", rows_), rows_, Period{2001, 4, 0}, Linked({3}),
                 &month);
  ExpectPage(month, "month_run_level_2.html");
  PageBuilder day(Texts());
  WriteDayPage(Tally("day", rows_, /*day=*/true), rows_, 2001, 3, 1, &day);
  ExpectPage(day, "day.html");
}

}  // namespace
}  // namespace tovex
