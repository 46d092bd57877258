#include <array>

#include "job/job_run.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// Run level 0: every counted line goes to the whole-log pair.
class IndexSink : public RecordSink {
 public:
  explicit IndexSink(JobRun* run) : run_(run) {}

  Status Start() override {
    const WorkPair index = IndexPair();
    TOVEX_RETURN_IF_ERROR(RecordWriter::Open(
        run_->ctx, run_->work.PathOf(index.hosts), OpenMode::kWrite, &hosts_));
    return RecordWriter::Open(run_->ctx, run_->work.PathOf(index.contents),
                              OpenMode::kWrite, &contents_);
  }

  Status Add(int /*period*/, std::string_view host, std::string_view path,
             int day, int hour, int weekday) override {
    hosts_->Add(host, day, hour, weekday);
    contents_->Add(path, day, hour, weekday);
    return Status::Ok();
  }

  Status Finish() override {
    Status hosts = hosts_->Close();
    Status contents = contents_->Close();
    return hosts.ok() ? contents : hosts;
  }

 private:
  JobRun* run_;
  std::unique_ptr<RecordWriter> hosts_;
  std::unique_ptr<RecordWriter> contents_;
};

// Run levels 1 and 2: each line goes to its month's pair. Only
// the current month's pair is open; a month that comes back later in the log
// has its pair reopened for appending, so every line joins its own month.
class PeriodSink : public RecordSink {
 public:
  explicit PeriodSink(JobRun* run) : run_(run) {}

  Status Start() override { return Status::Ok(); }

  Status Add(int period, std::string_view host, std::string_view path, int day,
             int hour, int weekday) override {
    if (period != current_) TOVEX_RETURN_IF_ERROR(Switch(period));
    hosts_->Add(host, day, hour, weekday);
    contents_->Add(path, day, hour, weekday);
    return Status::Ok();
  }

  Status Finish() override { return CloseCurrent(); }

 private:
  Status Switch(int period) {
    TOVEX_RETURN_IF_ERROR(CloseCurrent());
    const size_t i = static_cast<size_t>(period);
    // The first opening empties a file left by an earlier run.
    const OpenMode mode = begun_[i] ? OpenMode::kAppend : OpenMode::kWrite;
    begun_[i] = true;
    const WorkPair pair = PeriodPair(period + 1);
    TOVEX_RETURN_IF_ERROR(RecordWriter::Open(
        run_->ctx, run_->work.PathOf(pair.hosts), mode, &hosts_));
    TOVEX_RETURN_IF_ERROR(RecordWriter::Open(
        run_->ctx, run_->work.PathOf(pair.contents), mode, &contents_));
    current_ = period;
    return Status::Ok();
  }

  Status CloseCurrent() {
    if (current_ < 0) return Status::Ok();
    current_ = -1;
    Status hosts = hosts_->Close();
    Status contents = contents_->Close();
    return hosts.ok() ? contents : hosts;
  }

  JobRun* run_;
  int current_ = -1;
  std::array<bool, kMaxPeriods> begun_{};
  std::unique_ptr<RecordWriter> hosts_;
  std::unique_ptr<RecordWriter> contents_;
};

}  // namespace

std::unique_ptr<RecordSink> NewIndexSink(JobRun* run) {
  return std::make_unique<IndexSink>(run);
}

std::unique_ptr<RecordSink> NewPeriodSink(JobRun* run) {
  return std::make_unique<PeriodSink>(run);
}

}  // namespace tovex
