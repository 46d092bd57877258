#include "sort/merge.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "work/file_names.h"

namespace tovex {
namespace {

// The sources' current records in a binary min-heap by key.
class SourceHeap {
 public:
  explicit SourceHeap(const std::vector<RunSource*>& sources) {
    for (RunSource* source : sources) {
      Input in{source, {}};
      if (source->Next(&in.record)) Push(in);
    }
  }

  bool empty() const { return size_ == 0; }
  const RunRecord& top() const { return heap_[0].record; }

  // Advances the source of the top record. False when that source failed.
  bool Advance() {
    Input in = heap_[0];
    heap_[0] = heap_[--size_];
    SiftDown(0);
    if (in.source->Next(&in.record)) {
      Push(in);
      return true;
    }
    failed_ = failed_ || !in.source->status().ok();
    if (failed_) status_ = in.source->status();
    return !failed_;
  }

  const Status& status() const { return status_; }

 private:
  struct Input {
    RunSource* source;
    RunRecord record;
  };

  static bool Less(const Input& a, const Input& b) {
    return KeyLess(a.record.key, b.record.key);
  }
  void Push(const Input& in) {
    size_t i = size_++;
    heap_[i] = in;
    while (i > 0 && Less(heap_[i], heap_[(i - 1) / 2])) {
      std::swap(heap_[i], heap_[(i - 1) / 2]);
      i = (i - 1) / 2;
    }
  }
  void SiftDown(size_t i) {
    while (true) {
      size_t least = i;
      for (size_t c = 2 * i + 1; c <= 2 * i + 2 && c < size_; ++c) {
        if (Less(heap_[c], heap_[least])) least = c;
      }
      if (least == i) return;
      std::swap(heap_[i], heap_[least]);
      i = least;
    }
  }

  Input heap_[kMergeFanIn];
  size_t size_ = 0;
  bool failed_ = false;
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
  SourceHeap heap(sources);
  for (RunSource* source : sources) {
    TOVEX_RETURN_IF_ERROR(source->status());
  }
  // The record being combined; its key is copied, since the source that
  // gave it moves on.
  char key[kMaxKeyBytes];
  RunRecord pending;
  bool have_pending = false;
  while (!heap.empty()) {
    const RunRecord& top = heap.top();
    if (have_pending && top.key == pending.key) {
      pending.count += top.count;
      pending.first = std::min(pending.first, top.first);
    } else {
      if (have_pending) TOVEX_RETURN_IF_ERROR(sink->Take(pending));
      std::memcpy(key, top.key.data(), top.key.size());
      pending = {std::string_view(key, top.key.size()), top.count, top.first};
      have_pending = true;
    }
    if (!heap.Advance()) return heap.status();
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
