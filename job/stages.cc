// What each run level does after the log has been read.

#include <array>
#include <thread>

#include "job/job_run.h"
#include "report/pages.h"
#include "sort/external_sort.h"

namespace tovex {
namespace {

// Days a month's lines can fall on; day files are numbered by day.
constexpr int kDaysInLongestMonth = 31;
// Each open day file's buffer: 31 of them stay open while a month is split.
constexpr size_t kDayFileBufferBytes = 16 * 1024;

// Sorts the pair "N.dk"/"N.hk" of period number N.
Status SortPair(JobRun* run, int number) {
  TOVEX_RETURN_IF_ERROR(SortWorkFile(run->work, NumberedName(number, "dk")));
  return SortWorkFile(run->work, NumberedName(number, "hk"));
}

// Copies every record of `from` to the day file "<day>.<suffix>" of its day.
// Returns in `has_day` which days received records.
Status SplitByDay(JobRun* run, const std::string& from, std::string_view suffix,
                  std::array<bool, kDaysInLongestMonth + 1>* has_day) {
  std::unique_ptr<RecordReader> reader;
  TOVEX_RETURN_IF_ERROR(RecordReader::Open(run->ctx, from, &reader));
  std::array<std::unique_ptr<RecordWriter>, kDaysInLongestMonth + 1> days;
  std::string_view line;
  WorkRecord rec;
  while (reader->NextLine(&line)) {
    // The job writes only valid days; anything else is not a record of ours.
    if (!ParseRecord(line, &rec) || rec.day < 1 ||
        rec.day > kDaysInLongestMonth) {
      continue;
    }
    auto& writer = days[static_cast<size_t>(rec.day)];
    if (!writer) {
      TOVEX_RETURN_IF_ERROR(
          RecordWriter::Open(run->ctx, run->work.PathOf(rec.day, suffix),
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

// Run level 2, one month whose pair "N.dk"/"N.hk" is sorted: a page for
// each of its days. Splitting the sorted pair by day gives every day file in
// record order already, so the days need no sort of their own. Day files of
// an earlier month that this one does not rewrite are never read.
Status MakeDaysOfPeriod(JobRun* run, int period) {
  const Period& p = run->periods.at(period);
  const int number = period + 1;
  std::array<bool, kDaysInLongestMonth + 1> has_day{};
  TOVEX_RETURN_IF_ERROR(
      SplitByDay(run, run->work.PathOf(number, "dk"), "ddy", &has_day));
  TOVEX_RETURN_IF_ERROR(
      SplitByDay(run, run->work.PathOf(number, "hk"), "hdy", &has_day));
  for (int day = 1; day <= kDaysInLongestMonth; ++day) {
    if (!has_day[static_cast<size_t>(day)]) continue;
    run->Show("Making!! - %d-%d-%d.html file", p.year, p.month, day);
    TOVEX_RETURN_IF_ERROR(WriteDayPage(run->ctx, run->settings, p.year, p.month,
                                       day, run->tally()));
  }
  return Status::Ok();
}

// Month and day levels: a page per month when there are two or more, else
// the single-month marker for the index page's calendar.
Status MakeMonthPages(JobRun* run) {
  PeriodTable& periods = run->periods;
  periods.ClearCounts();
  if (periods.size() == 1) periods.SetSingleMonthMarker();
  if (periods.size() <= 1) return Status::Ok();
  for (int i = 0; i < periods.size(); ++i) {
    run->Show("Making!! - %.*s.html file",
              static_cast<int>(periods.at(i).label().size()),
              periods.at(i).label().data());
    TOVEX_RETURN_IF_ERROR(WriteMonthPage(run->ctx, run->settings, periods, i,
                                         &periods.at(i).count, run->tally()));
  }
  return Status::Ok();
}

// Month and day levels, after the months' pairs are sorted: the month pages
// and the whole-log pair merged from the months' pairs, then the index page.
// The merges only read the month files that the month pages read too, so
// they run beside the month pages, the host and the content merge on their
// own threads (their intermediates have different suffixes).
Status MakeMonthAndIndexPages(JobRun* run) {
  const int n = run->periods.size();
  Status hosts, contents;
  std::thread host_merge(
      [&] { hosts = MergeNumberedFiles(run->work, 1, n, "index.dk", "dk"); });
  std::thread content_merge([&] {
    contents = MergeNumberedFiles(run->work, 1, n, "index.hk", "hk");
  });
  Status months = MakeMonthPages(run);
  host_merge.join();
  content_merge.join();
  TOVEX_RETURN_IF_ERROR(months);
  TOVEX_RETURN_IF_ERROR(hosts);
  TOVEX_RETURN_IF_ERROR(contents);
  run->Show("Making!! - Index.html file");
  return WriteIndexPage(run->ctx, run->settings, run->periods, run->tally());
}

}  // namespace

Status FinishYearJob(JobRun* run) {
  run->Show("Making!! - Index.html file");
  TOVEX_RETURN_IF_ERROR(SortWorkFile(run->work, "index.dk"));
  TOVEX_RETURN_IF_ERROR(SortWorkFile(run->work, "index.hk"));
  return WriteIndexPage(run->ctx, run->settings, run->periods, run->tally());
}

Status FinishMonthJob(JobRun* run) {
  if (run->periods.size() > 0) {
    run->Show("Making!! - %d-%d temp file", run->last_year, run->last_month);
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
    run->Show("Making!! - %d-%d temp file", p.year, p.month);
    std::thread next;
    if (i + 1 < n) {
      next = std::thread(
          [run, &sorted, number = i + 2] { sorted = SortPair(run, number); });
    }
    Status days = MakeDaysOfPeriod(run, i);
    if (next.joinable()) next.join();
    TOVEX_RETURN_IF_ERROR(days);
  }
  RemoveDayFiles(run->ctx, run->settings.work_dir, kLastDayFileNumber);
  return MakeMonthAndIndexPages(run);
}

}  // namespace tovex
