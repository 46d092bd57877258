// What the job does after reading: the names come out of run->names in key
// order, period by period; each period's days and the month are tallied as
// they pass and their pages written; the whole log's names, collected from
// the months, make the index page last.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/job_run.h"
#include "report/page_model.h"
#include "sort/merge.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// A stop is looked for after this many names.
constexpr int64_t kStopCheckRecords = 4096;

// The counters of the whole log: every period's cells.
void CountAllCells(const PeriodTable& periods, PeriodTally* tally) {
  for (int i = 0; i < periods.size(); ++i) CountCells(periods.at(i), 0, tally);
}

// The month and day levels: takes the names period by period (the key
// layout puts each period's names together, in name order, each name's
// days together), tallies each day and the month, writes their pages, and
// keeps each month's names in a run for the whole log.
class PeriodNames : public RunSink {
 public:
  explicit PeriodNames(JobRun* run)
      : run_(run),
        layout_(run->plan.layout),
        month_(&run->work, kPeriodOrganisationBytes, run->organisations) {}

  Status Take(const RunRecord& r) override {
    if (++taken_ % kStopCheckRecords == 0)
      TOVEX_RETURN_IF_ERROR(run_->ctx.Stopped());
    NameKey key;
    if (!ParseKey(layout_, r.key, &key)) return Status::CannotRead("");
    if (key.period != period_) {
      TOVEX_RETURN_IF_ERROR(FinishPeriod());
      TOVEX_RETURN_IF_ERROR(StartPeriod(key.period));
    }
    const auto count = static_cast<int64_t>(r.count);
    if (!layout_.day) return AddToMonth(key.kind, key.name, count);
    TOVEX_RETURN_IF_ERROR(
        IndexNames::Add(Day(key.day), key.kind, key.name, count));
    // A name's days follow one another: its month count is their sum.
    if (pending_ && pending_kind_ == key.kind && pending_name_ == key.name) {
      pending_count_ += count;
      return Status::Ok();
    }
    TOVEX_RETURN_IF_ERROR(FlushPending());
    pending_ = true;
    pending_kind_ = key.kind;
    pending_name_.assign(key.name);
    pending_count_ = count;
    return Status::Ok();
  }

  // Ends the last period; then the index page.
  Status Finish() {
    TOVEX_RETURN_IF_ERROR(FinishPeriod());
    // With one period the whole log is that month, tallied already.
    if (run_->periods.size() <= 1) return WriteIndex(run_, tally_);
    return TallyAndWriteIndex(run_, [this](RunSink* names) {
      return MergeRuns(&run_->work, month_runs_, nullptr, names);
    });
  }

 private:
  NameTally* Day(int day) {
    auto& tally = days_[static_cast<size_t>(day)];
    if (!tally) {
      tally = std::make_unique<NameTally>(&run_->work, kDayOrganisationBytes,
                                          run_->organisations);
    }
    return tally.get();
  }

  Status StartPeriod(int period) {
    period_ = period;
    const Period& p = run_->periods.at(period);
    if (run_->plan.month_text_when_tallied) {
      run_->Show(UserText::kMakingTempFile, p.year, p.month);
    }
    if (run_->periods.size() == 1) return Status::Ok();
    month_runs_.emplace_back(run_->work.NewFile(kMonthSuffix));
    return RunWriter::Create(run_->work, month_runs_.back().name, &month_run_);
  }

  Status AddToMonth(NameKind kind, std::string_view name, int64_t count) {
    if (month_run_) {
      char key[kNameKeyBytes];
      month_run_->Add(MakeKey(KeyLayout{}, {0, kind, name, 0}, key),
                      static_cast<uint64_t>(count), 0);
    }
    return IndexNames::Add(&month_, kind, name, count);
  }

  Status FlushPending() {
    if (!pending_) return Status::Ok();
    pending_ = false;
    return AddToMonth(pending_kind_, pending_name_, pending_count_);
  }

  Status FinishPeriod() {
    if (period_ < 0) return Status::Ok();
    TOVEX_RETURN_IF_ERROR(FlushPending());
    const Period& p = run_->periods.at(period_);
    if (layout_.day) TOVEX_RETURN_IF_ERROR(WriteDays(p));
    tally_ = PeriodTally();
    CountCells(p, 0, &tally_);
    TOVEX_RETURN_IF_ERROR(month_.Finish(&tally_));
    if (month_run_) {
      TOVEX_RETURN_IF_ERROR(month_run_->Close());
      month_run_.reset();
    }
    if (run_->periods.size() == 1) return Status::Ok();
    run_->Show(UserText::kMakingMonthPage,
               PeriodLabel(p.year, p.month).c_str());
    return run_->WritePage(
        MonthModel(tally_, run_->settings.month_rows, p, DayLinksOf(*run_, p)));
  }

  Status WriteDays(const Period& p) {
    for (int day = 1; day <= 31; ++day) {
      if (p.DayCount(day) == 0) continue;
      run_->Show(UserText::kMakingDayPage, p.year, p.month, day);
      tally_ = PeriodTally();
      CountCells(p, day, &tally_);
      TOVEX_RETURN_IF_ERROR(Day(day)->Finish(&tally_));
      TOVEX_RETURN_IF_ERROR(run_->WritePage(
          DayModel(tally_, run_->settings.day_rows, p.year, p.month, day)));
    }
    return Status::Ok();
  }

  JobRun* run_;
  const KeyLayout layout_;
  int64_t taken_ = 0;
  PeriodTally tally_;  // one page's figures at a time
  int period_ = -1;
  NameTally month_;
  std::array<std::unique_ptr<NameTally>, 32> days_;
  std::unique_ptr<RunWriter> month_run_;
  std::vector<RunFile> month_runs_;
  bool pending_ = false;
  NameKind pending_kind_ = NameKind::kHost;
  std::string pending_name_;
  int64_t pending_count_ = 0;
};

}  // namespace

Status IndexNames::Take(const RunRecord& r) {
  if (++taken_ % kStopCheckRecords == 0) {
    TOVEX_RETURN_IF_ERROR(run_->ctx.Stopped());
  }
  NameKey key;
  if (!ParseKey(KeyLayout{}, r.key, &key)) return Status::CannotRead("");
  return Add(tally_, key.kind, key.name, static_cast<int64_t>(r.count));
}

Status IndexNames::Add(NameTally* tally, NameKind kind, std::string_view name,
                       int64_t count) {
  if (kind == NameKind::kHost) return tally->AddHost(name, count);
  tally->AddContent(name, count);
  return Status::Ok();
}

DayLinked DayLinksOf(const JobRun& run, const Period& p) {
  if (!run.plan.day_pages) return nullptr;
  return [&p](int day) { return p.DayCount(day) > 0; };
}

Status WriteIndex(JobRun* run, const PeriodTally& tally) {
  run->Show(UserText::kMakingIndexPage);
  IndexLayout layout;
  layout.month_links = run->plan.month_pages;
  if (layout.month_links && run->periods.size() == 1) {
    layout.single_month = &run->periods.at(0);
    layout.day_linked = DayLinksOf(*run, *layout.single_month);
  }
  return run->WritePage(
      IndexModel(tally, run->settings.index_rows, run->periods, layout));
}

Status TallyIndex(JobRun* run, const std::function<Status(RunSink*)>& feed,
                  PeriodTally* tally) {
  NameTally index(&run->work, kPeriodOrganisationBytes, run->organisations);
  IndexNames names(&index, run);
  TOVEX_RETURN_IF_ERROR(feed(&names));
  CountAllCells(run->periods, tally);
  return index.Finish(tally);
}

Status TallyAndWriteIndex(JobRun* run,
                          const std::function<Status(RunSink*)>& feed) {
  auto tally = std::make_unique<PeriodTally>();
  TOVEX_RETURN_IF_ERROR(TallyIndex(run, feed, tally.get()));
  return WriteIndex(run, *tally);
}

Status WritePages(JobRun* run) {
  if (!run->plan.month_pages) {
    return TallyAndWriteIndex(
        run, [run](RunSink* names) { return run->DrainNames(names); });
  }
  PeriodNames periods(run);
  TOVEX_RETURN_IF_ERROR(run->DrainNames(&periods));
  return periods.Finish();
}

}  // namespace tovex
