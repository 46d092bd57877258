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

Status WholeSetUpdate::Start(History* history,
                             std::unique_ptr<WholeSetUpdate>* out) {
  const HistoryState& state = history->state();
  std::vector<std::unique_ptr<NamesReader>> sets;
  uint64_t base_bytes = 0, delta_bytes = 0;
  if (!state.whole_file.empty()) {
    std::vector<std::string> names = {state.whole_file};
    names.insert(names.end(), state.delta_files.begin(),
                 state.delta_files.end());
    for (const std::string& name : names) {
      sets.emplace_back();
      TOVEX_RETURN_IF_ERROR(NamesReader::Open(
          history->folder(), name, history->context(), &sets.back()));
      (sets.size() == 1 ? base_bytes : delta_bytes) +=
          sets.back()->file_bytes();
    }
  }
  const bool fold =
      FoldWholeSet(base_bytes, state.delta_files.size(), delta_bytes);
  out->reset(new WholeSetUpdate(history, std::move(sets), fold));
  WholeSetUpdate& u = **out;
  u.name_ = history->NewFile(fold ? "whole" : "delta");
  return NamesWriter::Create(history->folder(), u.name_, &u.writer_);
}

Status WholeSetUpdate::Finish() {
  TOVEX_RETURN_IF_ERROR(writer_->Close());
  HistoryState& state = history_->state();
  if (fold_) {
    state.whole_file = name_;
    state.delta_files.clear();
  } else if (writer_->records() > 0) {
    state.delta_files.push_back(name_);
  }
  return Status::Ok();
}

}  // namespace tovex
