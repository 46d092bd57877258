// What each run level does after the log has been read.

#include <array>
#include <thread>

#include "job/job_run.h"
#include "report/pages.h"
#include "sort/external_sort.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// Each open day file's buffer: 31 of them stay open while a month is split.
constexpr size_t kDayFileBufferBytes = 16 * 1024;

// Sorts the pair of period number `number`.
Status SortPair(JobRun* run, int number) {
  const WorkPair pair = PeriodPair(number);
  TOVEX_RETURN_IF_ERROR(SortWorkFile(run->work, pair.hosts));
  return SortWorkFile(run->work, pair.contents);
}

// Copies every record of `from` to the `file` of its day's pair. Returns in
// `has_day` which days received records.
Status SplitByDay(JobRun* run, const std::string& from,
                  std::string WorkPair::*file,
                  std::array<bool, kLastDayFileNumber + 1>* has_day) {
  std::unique_ptr<RecordReader> reader;
  TOVEX_RETURN_IF_ERROR(RecordReader::Open(run->ctx, from, &reader));
  std::array<std::unique_ptr<RecordWriter>, kLastDayFileNumber + 1> days;
  std::string_view line;
  WorkRecord rec;
  while (reader->NextLine(&line)) {
    // The job writes only valid days; anything else is not a record of ours.
    if (!ParseRecord(line, &rec) || rec.day < 1 ||
        rec.day > kLastDayFileNumber) {
      continue;
    }
    auto& writer = days[static_cast<size_t>(rec.day)];
    if (!writer) {
      TOVEX_RETURN_IF_ERROR(
          RecordWriter::Open(run->ctx, run->work.PathOf(DayPair(rec.day).*file),
                             OpenMode::kWrite, &writer, kDayFileBufferBytes));
      (*has_day)[static_cast<size_t>(rec.day)] = true;
    }
    writer->AddLine(line);
  }
  for (auto& writer : days) {
    if (writer) TOVEX_RETURN_IF_ERROR(writer->Close());
  }
  return Status::Ok();
}

// Tallies `pair` with `rows` into the job's tally.
Status Tally(JobRun* run, const WorkPair& pair, const RowGroup& rows) {
  return TallyPeriod(run->work, pair, rows, run->tally());
}

// Run level 2, one month whose pair is sorted: a page for each of its days.
// Splitting the sorted pair by day gives every day file in record order
// already, so the days need no sort of their own. Day files of an earlier
// month that this one does not rewrite are never read.
Status MakeDaysOfPeriod(JobRun* run, int period) {
  const Period& p = run->periods.at(period);
  const WorkPair month = PeriodPair(period + 1);
  std::array<bool, kLastDayFileNumber + 1> has_day{};
  TOVEX_RETURN_IF_ERROR(SplitByDay(run, run->work.PathOf(month.hosts),
                                   &WorkPair::hosts, &has_day));
  TOVEX_RETURN_IF_ERROR(SplitByDay(run, run->work.PathOf(month.contents),
                                   &WorkPair::contents, &has_day));
  const RowGroup& rows = run->settings.day_rows;
  for (int day = 1; day <= kLastDayFileNumber; ++day) {
    if (!has_day[static_cast<size_t>(day)]) continue;
    run->Show(UserText::kMakingDayPage, p.year, p.month, day);
    TOVEX_RETURN_IF_ERROR(Tally(run, DayPair(day), rows));
    PageBuilder page(run->texts);
    WriteDayPage(*run->tally(), rows, p.year, p.month, day, &page);
    TOVEX_RETURN_IF_ERROR(
        run->WritePage(DayPageName(p.year, p.month, day), page));
  }
  return Status::Ok();
}

// The calendar of a month links the days whose pages exist; only the day
// level writes them.
DayLinked DayLinksOf(JobRun* run, const Period& p) {
  if (run->settings.run_level != RunLevel::kDay) return nullptr;
  return [run, p](int day) { return run->HasDayPage(p.year, p.month, day); };
}

// Month and day levels: a page per month when there are two or more.
Status MakeMonthPages(JobRun* run) {
  const PeriodTable& periods = run->periods;
  if (periods.size() <= 1) return Status::Ok();
  const RowGroup& rows = run->settings.month_rows;
  for (int i = 0; i < periods.size(); ++i) {
    const Period& p = periods.at(i);
    run->Show(UserText::kMakingMonthPage, PeriodLabel(p.year, p.month).c_str());
    TOVEX_RETURN_IF_ERROR(Tally(run, PeriodPair(i + 1), rows));
    PageBuilder page(run->texts);
    WriteMonthPage(*run->tally(), rows, p, DayLinksOf(run, p), &page);
    TOVEX_RETURN_IF_ERROR(run->WritePage(MonthPageName(p.year, p.month), page));
  }
  return Status::Ok();
}

// The index page from the sorted whole-log pair. At the month and day
// levels a log of a single month shows that month's calendar.
Status MakeIndexPage(JobRun* run) {
  const RowGroup& rows = run->settings.index_rows;
  TOVEX_RETURN_IF_ERROR(Tally(run, IndexPair(), rows));
  IndexLayout layout;
  layout.month_links = run->settings.run_level != RunLevel::kYear;
  if (layout.month_links && run->periods.size() == 1) {
    layout.single_month = &run->periods.at(0);
    layout.day_linked = DayLinksOf(run, *layout.single_month);
  }
  PageBuilder page(run->texts);
  WriteIndexPage(*run->tally(), rows, run->periods, layout, &page);
  return run->WritePage(std::string(kIndexPageName), page);
}

// Month and day levels, after the months' pairs are sorted: the month pages
// and the whole-log pair merged from the months' pairs, then the index page.
// The merges only read the month files that the month pages read too, so
// they run beside the month pages, the host and the content merge on their
// own threads (their intermediates have different suffixes).
Status MakeMonthAndIndexPages(JobRun* run) {
  const int n = run->periods.size();
  const WorkPair index = IndexPair();
  Status hosts, contents;
  std::thread host_merge([&] {
    hosts = MergeNumberedFiles(run->work, 1, n, index.hosts, kHostSuffix);
  });
  std::thread content_merge([&] {
    contents =
        MergeNumberedFiles(run->work, 1, n, index.contents, kContentSuffix);
  });
  Status months = MakeMonthPages(run);
  host_merge.join();
  content_merge.join();
  TOVEX_RETURN_IF_ERROR(months);
  TOVEX_RETURN_IF_ERROR(hosts);
  TOVEX_RETURN_IF_ERROR(contents);
  run->Show(UserText::kMakingIndexPage);
  return MakeIndexPage(run);
}

}  // namespace

Status FinishYearJob(JobRun* run) {
  run->Show(UserText::kMakingIndexPage);
  const WorkPair index = IndexPair();
  TOVEX_RETURN_IF_ERROR(SortWorkFile(run->work, index.hosts));
  TOVEX_RETURN_IF_ERROR(SortWorkFile(run->work, index.contents));
  return MakeIndexPage(run);
}

Status FinishMonthJob(JobRun* run) {
  if (run->periods.size() > 0) {
    run->Show(UserText::kMakingTempFile, run->last_year, run->last_month);
  }
  for (int i = 0; i < run->periods.size(); ++i) {
    TOVEX_RETURN_IF_ERROR(SortPair(run, i + 1));
  }
  return MakeMonthAndIndexPages(run);
}

Status FinishDayJob(JobRun* run) {
  // Month i+1 is sorted (on the chunk files) while month i is split into day
  // files and its day pages are written: the two touch different files.
  const int n = run->periods.size();
  Status sorted = n > 0 ? SortPair(run, 1) : Status::Ok();
  for (int i = 0; i < n; ++i) {
    TOVEX_RETURN_IF_ERROR(sorted);
    const Period& p = run->periods.at(i);
    run->Show(UserText::kMakingTempFile, p.year, p.month);
    std::thread next;
    if (i + 1 < n) {
      next = std::thread(
          [run, &sorted, number = i + 2] { sorted = SortPair(run, number); });
    }
    Status days = MakeDaysOfPeriod(run, i);
    if (next.joinable()) next.join();
    TOVEX_RETURN_IF_ERROR(days);
  }
  RemoveDayFiles(run->work);
  return MakeMonthAndIndexPages(run);
}

}  // namespace tovex
