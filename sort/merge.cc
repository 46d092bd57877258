#include "sort/merge.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <memory>

#include "sort/relay.h"
#include "work/file_names.h"

namespace tovex {

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

namespace {

// Runs whose key ranges follow one another, read in turn as one source:
// each key is still met at most once. Only one run is open at a time.
using Chain = std::vector<RunFile>;

class ChainReader : public RunSource {
 public:
  ChainReader(const WorkFolder& work, const Chain& chain, size_t buffer_bytes)
      : work_(work), chain_(chain), buffer_bytes_(buffer_bytes) {}

  Status Open() { return OpenRun(0); }

  bool Next(RunRecord* record) override {
    while (status_.ok()) {
      if (reader_->Next(record)) return true;
      status_ = reader_->status();
      if (!status_.ok() || next_ == chain_.size()) return false;
      status_ = OpenRun(next_);
    }
    return false;
  }
  Status status() const override { return status_; }

 private:
  Status OpenRun(size_t i) {
    next_ = i + 1;
    return RunReader::Open(work_, chain_[i].name, buffer_bytes_, &reader_);
  }

  const WorkFolder& work_;
  const Chain& chain_;
  const size_t buffer_bytes_;
  size_t next_ = 0;
  std::unique_ptr<RunReader> reader_;
  Status status_;
};

// Puts each ranged run, in the order of first keys, behind the first chain
// whose last key it starts after; that takes the fewest chains the ranges
// allow. A run without a range is a chain of its own.
std::vector<Chain> ChainRuns(std::vector<RunFile> runs) {
  std::vector<Chain> chains;
  std::vector<RunFile> ranged;
  for (RunFile& run : runs) {
    if (run.ranged) {
      ranged.push_back(std::move(run));
    } else {
      chains.push_back({std::move(run)});
    }
  }
  std::sort(ranged.begin(), ranged.end(),
            [](const RunFile& a, const RunFile& b) {
              return KeyLess(a.first_key, b.first_key);
            });
  const size_t first_ranged = chains.size();
  for (RunFile& run : ranged) {
    auto it = std::find_if(chains.begin() + static_cast<long>(first_ranged),
                           chains.end(), [&run](const Chain& c) {
                             return KeyLess(c.back().last_key, run.first_key);
                           });
    if (it == chains.end()) {
      chains.emplace_back();
      it = chains.end() - 1;
    }
    it->push_back(std::move(run));
  }
  return chains;
}

// The range of a merge of `chains`, when every run of them has one.
void CoverRanges(const std::vector<Chain>& chains, RunFile* merged) {
  bool any = false;
  for (const Chain& chain : chains) {
    for (const RunFile& run : chain) {
      if (!run.ranged) return;
      if (!any || KeyLess(run.first_key, merged->first_key)) {
        merged->first_key = run.first_key;
      }
      if (!any || KeyLess(merged->last_key, run.last_key)) {
        merged->last_key = run.last_key;
      }
      any = true;
    }
  }
  merged->ranged = any;
}

// Merges `chains` (and `extra`) into `sink`, then deletes their runs.
Status MergeGroup(WorkFolder* work, const std::vector<Chain>& chains,
                  RunSource* extra, size_t buffer_bytes, RunSink* sink) {
  std::vector<std::unique_ptr<ChainReader>> readers;
  std::vector<RunSource*> sources;
  for (const Chain& chain : chains) {
    readers.push_back(
        std::make_unique<ChainReader>(*work, chain, buffer_bytes));
    TOVEX_RETURN_IF_ERROR(readers.back()->Open());
    sources.push_back(readers.back().get());
  }
  if (extra != nullptr) sources.push_back(extra);
  TOVEX_RETURN_IF_ERROR(MergeSources(sources, sink));
  readers.clear();
  for (const Chain& chain : chains) {
    for (const RunFile& run : chain) {
      work->folder()->Delete(run.name);
    }
  }
  return Status::Ok();
}

// How many of `inputs` runs the next group merges, so that the passes end
// with exactly `fan_in` inputs for the last merge: a full group while that
// is still far off, else just enough to reach it. Every run merged early is
// written and read once more, so no more are merged than needed.
size_t NextGroupSize(size_t inputs, size_t fan_in) {
  const size_t excess = inputs - fan_in;  // inputs > fan_in
  return std::min(fan_in, excess + 1);
}

// How many inputs a merge takes at once, and the read buffer of each.
struct MergeShape {
  size_t fan_in;
  size_t buffer_bytes;
};

// Merges `chains` and `extra`, after the passes it takes to leave
// shape.fan_in inputs.
Status MergeChains(WorkFolder* work, std::vector<Chain> chains,
                   RunSource* extra, MergeShape shape, RunSink* sink) {
  const size_t fan_in = shape.fan_in;
  const size_t extra_inputs = extra != nullptr ? 1 : 0;
  // Merged groups go to the back, so a pass takes the oldest inputs first
  // and none is merged again before every spilled run was merged once.
  size_t next = 0;
  while (chains.size() - next + extra_inputs > fan_in) {
    const size_t size =
        NextGroupSize(chains.size() - next + extra_inputs, fan_in);
    const std::vector<Chain> group(
        chains.begin() + static_cast<long>(next),
        chains.begin() + static_cast<long>(next + size));
    next += size;
    RunFile merged(work->NewFile(kMergeSuffix));
    CoverRanges(group, &merged);
    chains.push_back({merged});
    std::unique_ptr<RunWriter> out;
    TOVEX_RETURN_IF_ERROR(RunWriter::Create(*work, merged.name, &out));
    TOVEX_RETURN_IF_ERROR(
        MergeGroup(work, group, nullptr, shape.buffer_bytes, out.get()));
    TOVEX_RETURN_IF_ERROR(out->Close());
  }
  chains.erase(chains.begin(), chains.begin() + static_cast<long>(next));
  return MergeGroup(work, chains, extra, shape.buffer_bytes, sink);
}

}  // namespace

MergedSource::MergedSource(const std::vector<RunSource*>& sources)
    : tree_(std::make_unique<SourceTree>(sources)) {
  // A source that failed at its first record fails the merge at once.
  for (RunSource* source : sources) {
    if (status_.ok()) status_ = source->status();
  }
}

MergedSource::~MergedSource() = default;

bool MergedSource::Next(RunRecord* record) {
  if (!status_.ok() || tree_->empty()) return false;
  // The key is copied, since the source that gave it moves on.
  const RunRecord& top = tree_->top();
  std::memcpy(key_, top.key.data(), top.key.size());
  *record = {std::string_view(key_, top.key.size()), top.count, top.first};
  while (true) {
    if (!tree_->Advance()) {
      status_ = tree_->status();
      return false;
    }
    if (tree_->empty() || tree_->top().key != record->key) return true;
    record->count += tree_->top().count;
    record->first = std::min(record->first, tree_->top().first);
  }
}

Status MergeSources(const std::vector<RunSource*>& sources, RunSink* sink) {
  if (sources.size() == 1) {
    // Nothing to combine: one source holds each key once.
    RunRecord r;
    while (sources[0]->Next(&r)) TOVEX_RETURN_IF_ERROR(sink->Take(r));
    return sources[0]->status();
  }
  MergedSource merged(sources);
  RunRecord r;
  while (merged.Next(&r)) TOVEX_RETURN_IF_ERROR(sink->Take(r));
  return merged.status();
}

Status MergeRuns(WorkFolder* work, std::vector<RunFile> runs, RunSource* extra,
                 RunSink* sink) {
  std::vector<Chain> chains = ChainRuns(std::move(runs));
  if (chains.size() < kSplitInputs) {
    return MergeChains(work, std::move(chains), extra,
                       {kMergeFanIn, kMergeBufferBytes}, sink);
  }
  // Two threads merge half the inputs each, with read buffers of half the
  // size; this one merges their two streams, a match a record.
  const MergeShape half = {kMergeFanIn, kMergeBufferBytes / 2};
  const auto middle = chains.begin() + static_cast<long>(chains.size() / 2);
  std::vector<Chain> low(std::make_move_iterator(chains.begin()),
                         std::make_move_iterator(middle));
  std::vector<Chain> high(std::make_move_iterator(middle),
                          std::make_move_iterator(chains.end()));
  RelaySource low_merge([work, &low, half](RunSink* s) {
    return MergeChains(work, std::move(low), nullptr, half, s);
  });
  RelaySource high_merge([work, &high, half](RunSink* s) {
    return MergeChains(work, std::move(high), nullptr, half, s);
  });
  std::vector<RunSource*> sources = {&low_merge, &high_merge};
  if (extra != nullptr) sources.push_back(extra);
  return MergeSources(sources, sink);
}

}  // namespace tovex
