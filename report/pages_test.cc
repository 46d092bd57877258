#include "report/pages.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "base/decimal.h"
#include "platform/posix_platform.h"
#include "platform/testing/fake_platform.h"

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

// Each page is rendered from the tally of a few records in testdata/
// ("<name>.dk" hosts and "<name>.hk" contents, or .ddy/.hdy for a day: lines
// "name day hour weekday") and compared with a golden page.
class PagesTest : public ::testing::Test {
 protected:
  PagesTest() {
    EXPECT_TRUE(
        WorkFolder::Create(env_.context(), env_.dir.path(), &work_).ok());
  }

  const PeriodTally& Tally(const std::string& name, bool day = false) {
    tally_ = PeriodTally();
    // Names in the order the job hands them over: a blank after each.
    std::map<std::string, int64_t> hosts, contents;
    for (bool host : {true, false}) {
      std::istringstream lines(TestData(
          name + (host ? (day ? ".ddy" : ".dk") : (day ? ".hdy" : ".hk"))));
      std::string text;
      int d, h, w;
      while (lines >> text >> d >> h >> w) {
        ++(host ? hosts : contents)[text + " "];
        if (!host) continue;
        ++tally_.day_count[static_cast<size_t>(d)];
        ++tally_.hour_count[static_cast<size_t>(h)];
        ++tally_.weekday_count[static_cast<size_t>(w)];
        ++tally_.total;
      }
    }
    NameTally names(work_.get(), 1 << 16);
    for (const auto& [text, n] : hosts) {
      EXPECT_TRUE(names.AddHost(text.substr(0, text.size() - 1), n).ok());
    }
    for (const auto& [text, n] : contents) {
      names.AddContent(text.substr(0, text.size() - 1), n);
    }
    EXPECT_TRUE(names.Finish(&tally_).ok());
    return tally_;
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
  std::unique_ptr<WorkFolder> work_;
  const RowGroup rows_{10, 5, 10};
  PeriodTable periods_;
  PeriodTally tally_;
};

TEST_F(PagesTest, IndexPageOfTwoMonths) {
  const int march = periods_.Add(2001, 3), april = periods_.Add(2001, 4);
  for (int i = 0; i < 5; ++i) periods_.Count(march, 1, 0);
  for (int i = 0; i < 2; ++i) periods_.Count(april, 1, 0);
  const PeriodTally& t = Tally("two_months");
  for (bool links : {false, true}) {
    PageBuilder page(Texts());
    WriteIndexPage(t, rows_, periods_, IndexLayout{nullptr, nullptr, links},
                   &page);
    ExpectPage(page,
               links ? "index_run_level_1.html" : "index_run_level_0.html");
  }
}

TEST_F(PagesTest, IndexPageOfSingleMonth) {
  const Period march{2001, 3, 0, nullptr};
  const PeriodTally& t = Tally("march");
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
  PageBuilder page(Texts());
  WriteIndexPage(PeriodTally(), rows_, periods_, IndexLayout{}, &page);
  ExpectPage(page, "index_no_access.html");
}

TEST_F(PagesTest, MonthAndDayPages) {
  PageBuilder month(Texts());
  const Period april{2001, 4, 0, nullptr};
  WriteMonthPage(Tally("april"), rows_, april, Linked({3}), &month);
  ExpectPage(month, "month_run_level_2.html");
  PageBuilder day(Texts());
  WriteDayPage(Tally("day", /*day=*/true), rows_, 2001, 3, 1, &day);
  ExpectPage(day, "day.html");
}

}  // namespace
}  // namespace tovex
