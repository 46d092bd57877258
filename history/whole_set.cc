#include "history/whole_set.h"

#include <utility>

namespace tovex {
namespace {

std::vector<RunSource*> SourcesOf(
    const std::vector<std::unique_ptr<NamesReader>>& sets) {
  std::vector<RunSource*> sources;
  for (const auto& set : sets) sources.push_back(set.get());
  return sources;
}

// Opens `names` (base first) and adds up the bytes of the base and of the
// rest.
Status OpenSets(History* history, const std::vector<std::string>& names,
                std::vector<std::unique_ptr<NamesReader>>* sets,
                uint64_t* base_bytes, uint64_t* delta_bytes) {
  for (const std::string& name : names) {
    sets->emplace_back();
    TOVEX_RETURN_IF_ERROR(NamesReader::Open(history->folder(), name,
                                            history->context(), &sets->back()));
    (sets->size() == 1 ? *base_bytes : *delta_bytes) +=
        sets->back()->file_bytes();
  }
  return Status::Ok();
}

// The state's base and deltas, base first; none without a base.
std::vector<std::string> SetNames(const HistoryState& state) {
  if (state.whole_file.empty()) return {};
  std::vector<std::string> names = {state.whole_file};
  names.insert(names.end(), state.delta_files.begin(), state.delta_files.end());
  return names;
}

// Records between two looks for a stop.
constexpr uint64_t kFoldStopCheckRecords = 1024;

}  // namespace

bool FoldWholeSet(uint64_t base_bytes, size_t deltas, uint64_t delta_bytes) {
  return base_bytes == 0 || deltas >= kMaxDeltaSets ||
         delta_bytes > base_bytes / kDeltaBytesPerBase;
}

WholeSetUpdate::WholeSetUpdate(History* history,
                               std::vector<std::unique_ptr<NamesReader>> sets,
                               bool fold)
    : history_(history), sets_(std::move(sets)), fold_(fold) {
  if (sets_.size() == 1) {
    old_ = sets_[0].get();
  } else if (sets_.size() > 1) {
    merged_ = std::make_unique<MergedSource>(SourcesOf(sets_));
    old_ = merged_.get();
  }
}

Status EarlyFold::Start(History* history, std::unique_ptr<EarlyFold>* out) {
  const HistoryState& state = history->state();
  out->reset();
  if (state.whole_file.empty() || state.delta_files.empty()) {
    return Status::Ok();
  }
  std::unique_ptr<EarlyFold> f(new EarlyFold(history));
  uint64_t base_bytes = 0, delta_bytes = 0;
  TOVEX_RETURN_IF_ERROR(
      OpenSets(history, SetNames(state), &f->sets_, &base_bytes, &delta_bytes));
  if (!FoldWholeSet(base_bytes, state.delta_files.size(), delta_bytes)) {
    return Status::Ok();
  }
  f->name_ = history->NewFile("folded");
  TOVEX_RETURN_IF_ERROR(
      NamesWriter::Create(history->folder(), f->name_, &f->writer_));
  f->worker_ = std::make_unique<Worker>(1);
  EarlyFold* fold = f.get();
  TOVEX_RETURN_IF_ERROR(f->worker_->Put([fold] {
    LowerThreadPriority();
    return fold->Fold();
  }));
  *out = std::move(f);
  return Status::Ok();
}

Status EarlyFold::Fold() {
  MergedSource merged(SourcesOf(sets_));
  RunRecord r;
  uint64_t n = 0;
  while (merged.Next(&r)) {
    if (++n % kFoldStopCheckRecords == 0 && stop_.load()) {
      return Status::Cancelled(0);
    }
    TOVEX_RETURN_IF_ERROR(writer_->Take(r));
  }
  TOVEX_RETURN_IF_ERROR(merged.status());
  TOVEX_RETURN_IF_ERROR(writer_->Close());
  ended_.store(true);
  return Status::Ok();
}

EarlyFold::~EarlyFold() {
  stop_.store(true);
  if (worker_) worker_->Finish();
}

std::string EarlyFold::Take(bool wait) {
  if (!wait && !ended_.load()) stop_.store(true);
  const Status status = worker_->Finish();
  return ended_.load() && status.ok() ? name_ : std::string();
}

Status WholeSetUpdate::Start(History* history,
                             std::unique_ptr<WholeSetUpdate>* out) {
  return Start(history, std::string(), out);
}

Status WholeSetUpdate::Start(History* history, const std::string& early_base,
                             std::unique_ptr<WholeSetUpdate>* out) {
  const HistoryState& state = history->state();
  std::vector<std::unique_ptr<NamesReader>> sets;
  uint64_t base_bytes = 0, delta_bytes = 0;
  TOVEX_RETURN_IF_ERROR(OpenSets(
      history, early_base.empty() ? SetNames(state) : std::vector{early_base},
      &sets, &base_bytes, &delta_bytes));
  const size_t deltas = early_base.empty() ? state.delta_files.size() : 0;
  const bool fold = FoldWholeSet(base_bytes, deltas, delta_bytes);
  out->reset(new WholeSetUpdate(history, std::move(sets), fold));
  WholeSetUpdate& u = **out;
  u.early_base_ = early_base;
  u.name_ = history->NewFile(fold ? "whole" : "delta");
  return NamesWriter::Create(history->folder(), u.name_, &u.writer_);
}

Status WholeSetUpdate::Finish() {
  TOVEX_RETURN_IF_ERROR(writer_->Close());
  HistoryState& state = history_->state();
  if (!early_base_.empty()) {
    state.whole_file = early_base_;
    state.delta_files.clear();
  }
  if (fold_) {
    state.whole_file = name_;
    state.delta_files.clear();
  } else if (writer_->records() > 0) {
    state.delta_files.push_back(name_);
  }
  return Status::Ok();
}

}  // namespace tovex
