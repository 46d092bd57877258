#include "report/pages.h"

#include <algorithm>
#include <memory>
#include <string>

#include "job/work_file.h"
#include "log/decimal.h"
#include "report/blocks.h"
#include "report/page_builder.h"
#include "report/page_text.h"

namespace tovex {
namespace {

constexpr std::string_view kIndexPage = "index.html";

// Writes the finished page over any earlier file of that name.
Status WritePageFile(const Context& ctx, const std::string& path,
                     const PageBuilder& page) {
  std::unique_ptr<WritableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, OpenMode::kWrite, &file));
  const std::string& bytes = page.page();
  bool written = file->Write(bytes.data(), bytes.size());
  if (!file->Close() || !written) return Status::CannotWrite(path);
  return Status::Ok();
}

// The page texts, or nullptr when the machine cannot convert them to
// Shift-JIS; the page then cannot be written.
const PageText* Texts() {
  const PageText& texts = PageText::Get();
  return texts.ok() ? &texts : nullptr;
}

// The tables every page ends with, the last one without a break after it.
void Rankings(PageBuilder* b, const PeriodTally& t, const TallyRows& rows) {
  RankingTable(b, Ranking::kOrganisations, rows.organisations,
               t.organisations.entries.data(), t.total);
  b->Put(Text::kBreak);
  RankingTable(b, Ranking::kDomains, rows.domains, t.domains.entries.data(),
               t.total);
  b->Put(Text::kBreak);
  RankingTable(b, Ranking::kContents, rows.contents, t.contents.entries.data(),
               t.total);
  PageFoot(b);
}

// Title, count and visitor tables, each followed by a break.
void PageTop(PageBuilder* b, const PageTitle& title, Text count_heading,
             const PeriodTally& t) {
  PageHead(b, title);
  TitleTable(b, title);
  b->Put(Text::kBreak);
  CountTable(b, count_heading, t.total);
  b->Put(Text::kBreak);
  VisitorTable(b, t.visitors, t.total);
  b->Put(Text::kBreak);
}

// The index page's accesses per period, linked to the month pages when
// those exist (run levels above 0).
void MonthTable(PageBuilder* b, const PeriodTable& periods, bool links) {
  int64_t max = 0;
  for (int i = 0; i < periods.size(); ++i) {
    max = std::max(max, periods.at(i).count);
  }
  b->Put(Text::kMonthHead);
  for (int i = 0; i < periods.size(); ++i) {
    const Period& p = periods.at(i);
    b->Put(Text::kRowStart);
    if (links) {
      b->Put(Text::kMonthLinkCell, {Arg::Own(p.label()), Arg::Own(p.label())});
    } else {
      b->Put(Text::kCenteredTextCell, {Arg::Own(p.label())});
    }
    GraphRowTail(b, p.count, max);
  }
  b->Put(Text::kTableEnd);
}

void LabelDate(std::string_view label, int* year, int* month) {
  *year = DecimalValue(YearOfLabel(label));
  *month = DecimalValue(MonthOfLabel(label));
}

// The end that the index and month pages share after their per-period
// table: hours, weekdays and the three rankings; then the page is written.
Status FinishPeriodPage(const Context& ctx, const std::string& path,
                        const PeriodTally& tally, const TallyRows& rows,
                        PageBuilder* b) {
  b->Put(Text::kBreak);
  HourTable(b, tally.hour_count);
  b->Put(Text::kBreak);
  WeekdayTable(b, tally.weekday_count);
  b->Put(Text::kBreak);
  Rankings(b, tally, rows);
  return WritePageFile(ctx, path, *b);
}

}  // namespace

Status WriteIndexPage(const Context& ctx, const Settings& settings,
                      const PeriodTable& periods, PeriodTally* scratch) {
  const TallyRows rows{settings.index_domn, settings.index_clas,
                       settings.index_html};
  TOVEX_RETURN_IF_ERROR(TallyPeriod(WorkDir(ctx, settings.work_dir), "index.dk",
                                    "index.hk", rows, scratch));
  const std::string path = JoinPath(ctx, settings.html_dir, kIndexPage);
  const PageText* texts = Texts();
  if (texts == nullptr) return Status::CannotWrite(path);

  const bool single_month = periods.HasSingleMonthMarker();
  PageTitle title;
  if (single_month) {
    title.kind = PageTitle::Kind::kMonth;
    title.label = periods.at(0).label();
  }
  PageBuilder b(*texts);
  PageTop(&b, title, Text::kTotalHeading, *scratch);
  if (single_month) {
    int year, month;
    LabelDate(title.label, &year, &month);
    CalendarTable(&b, year, month, scratch->day_count,
                  DayLinks{true, &ctx, settings.html_dir});
  } else {
    MonthTable(&b, periods, settings.run_level != 0);
  }
  return FinishPeriodPage(ctx, path, *scratch, rows, &b);
}

Status WriteMonthPage(const Context& ctx, const Settings& settings,
                      const PeriodTable& periods, int index, int64_t* count,
                      PeriodTally* scratch) {
  const TallyRows rows{settings.month_domn, settings.month_clas,
                       settings.month_html};
  const WorkDir work(ctx, settings.work_dir);
  const int number = index + 1;
  TOVEX_RETURN_IF_ERROR(TallyPeriod(work, NumberedName(number, "dk"),
                                    NumberedName(number, "hk"), rows, scratch));
  *count = scratch->total;

  PageTitle title;
  title.kind = PageTitle::Kind::kMonth;
  title.label = periods.at(index).label();
  const std::string path =
      JoinPath(ctx, settings.html_dir, std::string(title.label) + ".html");
  const PageText* texts = Texts();
  if (texts == nullptr) return Status::CannotWrite(path);

  int year, month;
  LabelDate(title.label, &year, &month);
  PageBuilder b(*texts);
  PageTop(&b, title, Text::kCountHeading, *scratch);
  CalendarTable(&b, year, month, scratch->day_count,
                DayLinks{settings.run_level == 2, &ctx, settings.html_dir});
  return FinishPeriodPage(ctx, path, *scratch, rows, &b);
}

Status WriteDayPage(const Context& ctx, const Settings& settings, int year,
                    int month, int day, PeriodTally* scratch) {
  const TallyRows rows{settings.days_domn, settings.days_clas,
                       settings.days_html};
  const WorkDir work(ctx, settings.work_dir);
  TOVEX_RETURN_IF_ERROR(TallyPeriod(work, NumberedName(day, "ddy"),
                                    NumberedName(day, "hdy"), rows, scratch));
  const std::string path =
      JoinPathDated(ctx, settings.html_dir, year, month, day);
  const PageText* texts = Texts();
  if (texts == nullptr) return Status::CannotWrite(path);

  PageTitle title;
  title.kind = PageTitle::Kind::kDay;
  title.year = year;
  title.month = month;
  title.day = day;
  PageBuilder b(*texts);
  PageTop(&b, title, Text::kCountHeading, *scratch);
  HourTable(&b, scratch->hour_count);
  b.Put(Text::kBreak);
  Rankings(&b, *scratch, rows);
  return WritePageFile(ctx, path, b);
}

}  // namespace tovex
