#include "sort/merge.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "work/file_names.h"

namespace tovex {
namespace {

// The sources' current records in a tournament tree of losers: advancing
// the smallest replays one match per level, half the comparisons of a heap.
// Each record's first eight bytes, kept as a number, settle most matches
// without a byte comparison.
class SourceTree {
 public:
  explicit SourceTree(const std::vector<RunSource*>& sources)
      : size_(sources.size()),
        inputs_(size_),
        tree_(std::max<size_t>(size_, 1)) {
    for (size_t i = 0; i < size_; ++i) {
      inputs_[i].source = sources[i];
      Load(&inputs_[i]);
    }
    if (size_ > 0) tree_[0] = Build(1);
  }

  bool empty() const { return size_ == 0 || inputs_[tree_[0]].done; }
  const RunRecord& top() const { return inputs_[tree_[0]].record; }

  // Advances the source of the top record. False when that source failed.
  bool Advance() {
    const size_t s = tree_[0];
    Input& in = inputs_[s];
    Load(&in);
    if (in.done && !in.source->status().ok()) {
      status_ = in.source->status();
      return false;
    }
    size_t winner = s;
    for (size_t node = (s + size_) / 2; node >= 1; node /= 2) {
      if (Less(tree_[node], winner)) std::swap(tree_[node], winner);
    }
    tree_[0] = winner;
    return true;
  }

  const Status& status() const { return status_; }

 private:
  struct Input {
    RunSource* source = nullptr;
    RunRecord record;
    uint64_t prefix = 0;  // the key's first bytes, big-endian
    bool done = false;
  };

  static void Load(Input* in) {
    in->done = !in->source->Next(&in->record);
    if (in->done) return;
    const std::string_view key = in->record.key;
    uint64_t v = 0;
    std::memcpy(&v, key.data(), std::min(key.size(), sizeof v));
    if constexpr (std::endian::native == std::endian::little) {
      v = __builtin_bswap64(v);
    }
    in->prefix = v;
  }

  // An exhausted source comes after every record.
  bool Less(size_t a, size_t b) const {
    const Input& x = inputs_[a];
    const Input& y = inputs_[b];
    if (x.done || y.done) return !x.done;
    if (x.prefix != y.prefix) return x.prefix < y.prefix;
    return KeyLess(x.record.key, y.record.key);
  }

  // Plays the matches below `node`: leaves are nodes size_ to 2 size_ - 1,
  // each inner node keeps its match's loser. Returns the winner.
  size_t Build(size_t node) {
    if (node >= size_) return node - size_;
    const size_t a = Build(2 * node);
    const size_t b = Build(2 * node + 1);
    const bool b_wins = Less(b, a);
    tree_[node] = b_wins ? a : b;
    return b_wins ? b : a;
  }

  size_t size_;
  std::vector<Input> inputs_;
  std::vector<size_t> tree_;  // [0]: the winner; [1, size_): losers
  Status status_;
};

// The runs of `paths` opened as sources.
Status OpenRuns(const WorkFolder& work, const std::vector<std::string>& paths,
                std::vector<std::unique_ptr<RunReader>>* readers) {
  for (const std::string& path : paths) {
    std::unique_ptr<RunReader> reader;
    TOVEX_RETURN_IF_ERROR(
        RunReader::Open(work.context(), path, kMergeBufferBytes, &reader));
    readers->push_back(std::move(reader));
  }
  return Status::Ok();
}

// Merges `paths` (and `extra`) into `sink`, then deletes the runs.
Status MergeGroup(WorkFolder* work, const std::vector<std::string>& paths,
                  RunSource* extra, RunSink* sink) {
  std::vector<std::unique_ptr<RunReader>> readers;
  TOVEX_RETURN_IF_ERROR(OpenRuns(*work, paths, &readers));
  std::vector<RunSource*> sources;
  for (auto& reader : readers) sources.push_back(reader.get());
  if (extra != nullptr) sources.push_back(extra);
  TOVEX_RETURN_IF_ERROR(MergeSources(sources, sink));
  readers.clear();
  for (const std::string& path : paths) {
    work->context().platform.fs->Delete(path);
  }
  return Status::Ok();
}

// How many of `inputs` runs the next group merges, so that the passes end
// with exactly kMergeFanIn inputs for the last merge: a full group while
// that is still far off, else just enough to reach it. Every run merged
// early is written and read once more, so no more are merged than needed.
size_t NextGroupSize(size_t inputs) {
  const size_t excess = inputs - kMergeFanIn;  // inputs > kMergeFanIn
  return std::min(kMergeFanIn, excess + 1);
}

}  // namespace

Status MergeSources(const std::vector<RunSource*>& sources, RunSink* sink) {
  if (sources.size() == 1) {
    // Nothing to combine: one source holds each key once.
    RunRecord r;
    while (sources[0]->Next(&r)) TOVEX_RETURN_IF_ERROR(sink->Take(r));
    return sources[0]->status();
  }
  SourceTree tree(sources);
  for (RunSource* source : sources) {
    TOVEX_RETURN_IF_ERROR(source->status());
  }
  // The record being combined; its key is copied, since the source that
  // gave it moves on.
  char key[kMaxKeyBytes];
  RunRecord pending;
  bool have_pending = false;
  while (!tree.empty()) {
    const RunRecord& top = tree.top();
    if (have_pending && top.key == pending.key) {
      pending.count += top.count;
      pending.first = std::min(pending.first, top.first);
    } else {
      if (have_pending) TOVEX_RETURN_IF_ERROR(sink->Take(pending));
      std::memcpy(key, top.key.data(), top.key.size());
      pending = {std::string_view(key, top.key.size()), top.count, top.first};
      have_pending = true;
    }
    if (!tree.Advance()) return tree.status();
  }
  if (have_pending) TOVEX_RETURN_IF_ERROR(sink->Take(pending));
  return Status::Ok();
}

Status MergeRuns(WorkFolder* work, std::vector<std::string> runs,
                 RunSource* extra, RunSink* sink) {
  const size_t extra_inputs = extra != nullptr ? 1 : 0;
  // Merged groups go to the back, so a pass takes the oldest runs first and
  // no run is merged again before every spilled run was merged once.
  size_t next = 0;
  while (runs.size() - next + extra_inputs > kMergeFanIn) {
    const size_t size = NextGroupSize(runs.size() - next + extra_inputs);
    std::vector<std::string> group(
        runs.begin() + static_cast<long>(next),
        runs.begin() + static_cast<long>(next + size));
    next += size;
    runs.push_back(work->NewFile(kMergeSuffix));
    std::unique_ptr<RunWriter> out;
    TOVEX_RETURN_IF_ERROR(
        RunWriter::Create(work->context(), runs.back(), &out));
    TOVEX_RETURN_IF_ERROR(MergeGroup(work, group, nullptr, out.get()));
    TOVEX_RETURN_IF_ERROR(out->Close());
  }
  runs.erase(runs.begin(), runs.begin() + static_cast<long>(next));
  return MergeGroup(work, runs, extra, sink);
}

}  // namespace tovex
