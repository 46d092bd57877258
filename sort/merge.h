// Merging sorted sources of records into one stream in key order.

#ifndef TOVEX_SORT_MERGE_H_
#define TOVEX_SORT_MERGE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "work/run_file.h"
#include "work/work_folder.h"

namespace tovex {

// Sources merged at once; more runs are first merged in groups into new
// runs. Sixteen read buffers fit the memory the job allows itself.
inline constexpr size_t kMergeFanIn = 16;
// Inputs from which a merge is split: two threads merge half of them each
// and the caller merges their two streams, so that two cores share it.
// Fewer are merged on one thread: the extra handovers would cost more than
// the shared merge saves.
inline constexpr size_t kSplitInputs = 8;
// Read buffer of each run in a merge: sixteen of them stay small (half of
// that in each half of a split merge).
inline constexpr size_t kMergeBufferBytes = 16 * 1024;

// Byte order of keys, a shorter key first when it is a prefix of the other.
inline bool KeyLess(std::string_view a, std::string_view b) { return a < b; }

class SourceTree;

// The records of `sources` (each in key order, each key at most once) as
// one source in key order, the records of equal keys combined: counts
// added, the smaller first kept. The sources must outlive it; it fails
// with the first failing source's status.
// REQUIRES: sources.size() <= kMergeFanIn.
class MergedSource final : public RunSource {
 public:
  explicit MergedSource(const std::vector<RunSource*>& sources);
  ~MergedSource() override;
  MergedSource(const MergedSource&) = delete;
  MergedSource& operator=(const MergedSource&) = delete;

  bool Next(RunRecord* record) override;
  Status status() const override { return status_; }

 private:
  std::unique_ptr<SourceTree> tree_;
  char key_[kMaxKeyBytes];  // of the record last given
  Status status_;
};

// Merges `sources` (each in key order, each key at most once) into `sink`,
// combining the records of equal keys: counts added, the smaller first
// kept. Fails with the first failing source's or the sink's status.
// REQUIRES: sources.size() <= kMergeFanIn.
Status MergeSources(const std::vector<RunSource*>& sources, RunSink* sink);

// Merges `runs` and, when given, `extra` into `sink`. Ranged runs that
// follow one another without overlap are read in turn as one input (a log
// in time order spills runs of a few months each, so most of them chain);
// with kSplitInputs inputs or more, two threads of its own merge half of
// them each. With more than kMergeFanIn inputs to a merge, groups of them
// are first merged into new runs of `work`, no more of them than it takes
// to leave kMergeFanIn. Every run of `runs` and of the passes is deleted
// once merged. `sink` is called on the caller's thread.
Status MergeRuns(WorkFolder* work, std::vector<RunFile> runs, RunSource* extra,
                 RunSink* sink);

}  // namespace tovex

#endif  // TOVEX_SORT_MERGE_H_
