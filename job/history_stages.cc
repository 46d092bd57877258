// What a job with a history does after reading: the new names, keyed day
// first, come out of run->names day by day; each day's are merged with the
// day's set in the history into a new set, and each name's new accesses go
// to the whole log's set too. Then the pages: of every month that got
// lines (or lacks a page in the output folder, or every month when the
// report is made anew), each day's page from its set, the month's from all
// its days' sets merged; the index from the whole log's set.

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "history/names_file.h"
#include "history/whole_set.h"
#include "job/job_run.h"
#include "report/page_model.h"
#include "sort/merge.h"
#include "platform/worker.h"
#include "sort/relay.h"
#include "base/decimal.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// Which days of each month of the history got lines in this run.
using ChangedDays = std::vector<std::array<bool, 32>>;

// Key bytes before the name set key (kind, name) in a day-first key: the
// period and the day.
constexpr size_t kDayKeyPrefix = 2;

// Merges records pushed in key order with the records of an old set (a
// source in key order, or none) into `out`: counts of equal keys added.
class SetMerger : public RunSink {
 public:
  SetMerger(RunSource* old, RunSink* out) : old_(old), out_(out) {
    Advance();
  }

  Status Take(const RunRecord& r) override {
    while (has_old_ && KeyLess(old_record_.key, r.key)) {
      TOVEX_RETURN_IF_ERROR(out_->Take(old_record_));
      Advance();
    }
    if (has_old_ && old_record_.key == r.key) {
      const RunRecord both{r.key, r.count + old_record_.count, 0};
      Advance();
      return out_->Take(both);
    }
    return out_->Take(r);
  }

  // Hands out what is left of the old set.
  Status Finish() {
    while (has_old_) {
      TOVEX_RETURN_IF_ERROR(out_->Take(old_record_));
      Advance();
    }
    return old_ != nullptr ? old_->status() : Status::Ok();
  }

 private:
  void Advance() { has_old_ = old_ != nullptr && old_->Next(&old_record_); }

  RunSource* old_;
  RunSink* out_;
  RunRecord old_record_;
  bool has_old_ = false;
};

// Hands every record to two sinks.
class Tee : public RunSink {
 public:
  Tee(RunSink* a, RunSink* b) : a_(a), b_(b) {}
  Status Take(const RunRecord& r) override {
    TOVEX_RETURN_IF_ERROR(a_->Take(r));
    return b_->Take(r);
  }

 private:
  RunSink* a_;
  RunSink* b_;
};

std::string DayLabel(const Period& p, int day) {
  return PeriodLabel(p.year, p.month) + "-" + DecimalText(day);
}

// The new names of a run, for the whole log's set: each day's, which come
// in key order, as a run of its own, merged at the end. Cheaper than
// counting them again in a table, which would sort and spill them.
class FreshNames {
 public:
  explicit FreshNames(WorkFolder* work) : work_(work) {}

  Status StartDay() {
    runs_.emplace_back(work_->NewFile(kRunSuffix));
    return RunWriter::Create(*work_, runs_.back().name, &day_);
  }
  void Add(const RunRecord& r) { day_->Add(r.key, r.count, 0); }
  Status EndDay() {
    if (!day_) return Status::Ok();  // a day whose start failed
    const Status closed = day_->Close();
    day_.reset();
    return closed;
  }

  // Hands every name once, its counts added, in key order; the runs go.
  Status Drain(RunSink* sink) {
    return MergeRuns(work_, std::exchange(runs_, {}), nullptr, sink);
  }

 private:
  WorkFolder* work_;
  std::vector<RunFile> runs_;
  std::unique_ptr<RunWriter> day_;
};

// Takes the new names, keyed period, day, kind, name, and makes each day's
// new set; the new accesses of each name go to `whole` as well.
class DaySets : public RunSink {
 public:
  DaySets(JobRun* run, History* history, FreshNames* whole,
          ChangedDays* changed)
      : run_(run), history_(history), whole_(whole), changed_(changed) {}

  Status Take(const RunRecord& r) override {
    if (r.key.size() <= kDayKeyPrefix) return Status::CannotRead("");
    const int period = static_cast<unsigned char>(r.key[0]);
    const int day = static_cast<unsigned char>(r.key[1]);
    if (period != period_ || day != day_) {
      TOVEX_RETURN_IF_ERROR(EndDay());
      TOVEX_RETURN_IF_ERROR(StartDay(period, day));
    }
    const RunRecord set_record{r.key.substr(kDayKeyPrefix), r.count, 0};
    whole_->Add(set_record);
    return merger_->Take(set_record);
  }

  Status EndDay() {
    if (period_ < 0) return Status::Ok();
    TOVEX_RETURN_IF_ERROR(merger_->Finish());
    TOVEX_RETURN_IF_ERROR(out_->Close());
    TOVEX_RETURN_IF_ERROR(whole_->EndDay());
    merger_.reset();
    old_.reset();
    out_.reset();
    PeriodRecord& p = history_->state().periods[static_cast<size_t>(period_)];
    p.day_files[static_cast<size_t>(day_)] = name_;
    period_ = -1;
    return Status::Ok();
  }

 private:
  Status StartDay(int period, int day) {
    if (period >= run_->periods.size() || day < 1 || day > 31) {
      return Status::CannotRead("");
    }
    period_ = period;
    day_ = day;
    (*changed_)[static_cast<size_t>(period)][static_cast<size_t>(day)] = true;
    const Period& p = run_->periods.at(period);
    const std::string& old_name =
        history_->state().periods[static_cast<size_t>(period)]
            .day_files[static_cast<size_t>(day)];
    if (!old_name.empty()) {
      TOVEX_RETURN_IF_ERROR(NamesReader::Open(
          history_->folder(), old_name, run_->ctx, &old_));
    }
    name_ = history_->NewFile(DayLabel(p, day));
    TOVEX_RETURN_IF_ERROR(
        NamesWriter::Create(history_->folder(), name_, &out_));
    merger_ = std::make_unique<SetMerger>(old_.get(), out_.get());
    return whole_->StartDay();
  }

  JobRun* run_;
  History* history_;
  FreshNames* whole_;
  ChangedDays* changed_;
  int period_ = -1;
  int day_ = 0;
  std::string name_;
  std::unique_ptr<NamesReader> old_;
  std::unique_ptr<NamesWriter> out_;
  std::unique_ptr<SetMerger> merger_;
};

// The pages of the history's months and their days.
class HistoryPages {
 public:
  HistoryPages(JobRun* run, History* history, bool all_pages)
      : run_(run), history_(history), all_(all_pages) {}

  // The pages that are due: of each day that got lines or lacks its
  // page, of each month one of whose days did; the others are kept as
  // they are (a day page shows its day alone).
  Status Months(const ChangedDays& changed) {
    const bool month_pages = run_->plan.month_pages && run_->periods.size() > 1;
    for (int i = 0; i < run_->periods.size(); ++i) {
      const Period& p = run_->periods.at(i);
      const std::array<bool, 32>& days = changed[static_cast<size_t>(i)];
      bool month_due = all_;
      for (int d = 1; d <= 31; ++d) {
        if (p.DayCount(d) == 0) continue;
        const std::string page = DayPageName(p.year, p.month, d);
        const bool due = all_ || days[static_cast<size_t>(d)] ||
                         (run_->plan.day_pages && !run_->pages.Has(page));
        month_due |= due;
        if (!run_->plan.day_pages) continue;
        if (due) {
          TOVEX_RETURN_IF_ERROR(Day(i, d));
        } else {
          run_->pages.Keep(page);
        }
      }
      if (!month_pages) continue;
      const std::string month_page = MonthPageName(p.year, p.month);
      if (month_due || !run_->pages.Has(month_page)) {
        TOVEX_RETURN_IF_ERROR(Month(i));
      } else {
        run_->pages.Keep(month_page);
      }
    }
    return Status::Ok();
  }

 private:
  const PeriodRecord& RecordOf(int i) const {
    return history_->state().periods[static_cast<size_t>(i)];
  }

  Status Day(int i, int d) {
    const Period& p = run_->periods.at(i);
    const std::string& file = RecordOf(i).day_files[static_cast<size_t>(d)];
    if (file.empty()) return Status::CannotRead(history_->folder()->path());
    run_->Show(UserText::kMakingDayPage, p.year, p.month, d);
    std::unique_ptr<NamesReader> set;
    TOVEX_RETURN_IF_ERROR(
        NamesReader::Open(history_->folder(), file, run_->ctx, &set));
    NameTally names(&run_->work, kDayOrganisationBytes, run_->organisations);
    IndexNames feed(&names, run_);
    TOVEX_RETURN_IF_ERROR(MergeSources({set.get()}, &feed));
    tally_ = PeriodTally();
    CountCells(p, d, &tally_);
    TOVEX_RETURN_IF_ERROR(names.Finish(&tally_));
    return run_->WritePage(
        DayModel(tally_, run_->settings.day_rows, p.year, p.month, d));
  }

  Status Month(int i) {
    const Period& p = run_->periods.at(i);
    run_->Show(UserText::kMakingMonthPage,
               PeriodLabel(p.year, p.month).c_str());
    std::vector<std::unique_ptr<NamesReader>> sets;
    std::vector<RunSource*> sources;
    for (const std::string& file : RecordOf(i).day_files) {
      if (file.empty()) continue;
      sets.emplace_back();
      TOVEX_RETURN_IF_ERROR(NamesReader::Open(history_->folder(), file,
                                              run_->ctx, &sets.back()));
      sources.push_back(sets.back().get());
    }
    NameTally names(&run_->work, kPeriodOrganisationBytes,
                    run_->organisations);
    IndexNames feed(&names, run_);
    if (!sources.empty()) {
      TOVEX_RETURN_IF_ERROR(MergeSources(sources, &feed));
    }
    tally_ = PeriodTally();
    CountCells(p, 0, &tally_);
    TOVEX_RETURN_IF_ERROR(names.Finish(&tally_));
    return run_->WritePage(MonthModel(tally_, run_->settings.month_rows, p,
                                      DayLinksOf(*run_, p)));
  }

  JobRun* run_;
  History* history_;
  const bool all_;
  PeriodTally tally_;  // one page's figures at a time
};

}  // namespace

Status WriteHistoryPages(JobRun* run, History* history, bool all_pages,
                         EarlyFold* early) {
  HistoryState& state = history->state();
  for (int i = static_cast<int>(state.periods.size());
       i < run->periods.size(); ++i) {
    state.periods.push_back({run->periods.at(i).year,
                             run->periods.at(i).month, {}});
  }
  ChangedDays changed(state.periods.size());
  FreshNames whole(&run->work);
  {
    DaySets days(run, history, &whole, &changed);
    TOVEX_RETURN_IF_ERROR(
        run->DrainNames(&days));
    TOVEX_RETURN_IF_ERROR(days.EndDay());
  }
  // The whole log's set: the old sets and the new accesses, merged on a
  // thread of their own, while the index is tallied from them. The new
  // accesses alone go to a new delta set there; a new base, all of them,
  // is written on the index's side (the two halves take about as long).
  std::unique_ptr<WholeSetUpdate> update;
  TOVEX_RETURN_IF_ERROR(WholeSetUpdate::Start(
      history, early != nullptr ? early->Take() : std::string(), &update));
  auto produce = [&](RunSink* sink) -> Status {
    SetMerger merger(update->old_records(), sink);
    Tee delta(update->out(), &merger);
    RunSink* fresh = update->fold() ? static_cast<RunSink*>(&merger) : &delta;
    TOVEX_RETURN_IF_ERROR(whole.Drain(fresh));
    return merger.Finish();
  };
  auto feed = [&](RunSink* index) -> Status {
    if (!update->fold()) return Relay(produce, index);
    Tee both(update->out(), index);
    return Relay(produce, &both);
  };
  auto tally = std::make_unique<PeriodTally>();
  HistoryPages pages(run, history, all_pages);
  // The index shares nothing with the month and day pages but the
  // organisation rule (one thread at a time) and the JSON document (pages
  // in order): without those, its names are tallied on a thread of its
  // own while the other pages are made here.
  if (run->json == nullptr && run->organisations == nullptr) {
    Worker index(1);
    TOVEX_RETURN_IF_ERROR(
        index.Put([&] { return TallyIndex(run, feed, tally.get()); }));
    const Status made = pages.Months(changed);
    const Status tallied = index.Finish();
    TOVEX_RETURN_IF_ERROR(made);
    TOVEX_RETURN_IF_ERROR(tallied);
  } else {
    TOVEX_RETURN_IF_ERROR(pages.Months(changed));
    TOVEX_RETURN_IF_ERROR(TallyIndex(run, feed, tally.get()));
  }
  TOVEX_RETURN_IF_ERROR(update->Finish());
  return WriteIndex(run, *tally);
}

}  // namespace tovex
