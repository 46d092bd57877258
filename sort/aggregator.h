// Counting keys in bounded memory: a hash table collects each distinct key
// with its count (and the smallest "first" position given for it); when it
// is full, its keys are sorted and spilled to a run of the work folder. At
// the end every key comes out once, in key order, its numbers combined over
// the table and all runs.

#ifndef TOVEX_SORT_AGGREGATOR_H_
#define TOVEX_SORT_AGGREGATOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/worker.h"
#include "work/run_file.h"
#include "work/work_folder.h"

namespace tovex {

class Aggregator {
 public:
  // Less memory is taken as this much: an empty table must hold a key of
  // any length, or a spill would not make room for it.
  static constexpr size_t kMinBytes = 4 << 10;

  // Memory for keys and table stays within about `max_bytes` (at least
  // kMinBytes); it is taken
  // as needed, so a small aggregator costs little. `work` receives the
  // spilled runs and must outlive the aggregator. With `background`, a
  // thread of the aggregator's own sorts and writes a full table while Add
  // goes on filling a second one: twice the memory, and a failed spill is
  // reported by a later Add or by Drain.
  Aggregator(WorkFolder* work, size_t max_bytes, bool background = false);
  ~Aggregator();
  Aggregator(const Aggregator&) = delete;
  Aggregator& operator=(const Aggregator&) = delete;

  // Adds `count` to the key's count; keeps the smaller of `first` and the
  // key's first. Fails only when a spill fails.
  // REQUIRES: key.size() <= kMaxKeyBytes.
  Status Add(std::string_view key, uint64_t count, uint64_t first = 0);

  // Hands every key in order with its combined numbers to `sink` and
  // leaves the aggregator empty, its memory given back, ready for reuse.
  // The runs are deleted.
  Status Drain(RunSink* sink);

  // As Drain, but the keys come in the order they were first added, with
  // no sorting. REQUIRES: nothing spilled since the last drain (!spilled()).
  Status DrainInAddedOrder(RunSink* sink);

  // Whether the keys went to runs since the last drain.
  bool spilled() const { return !runs_.empty() || spilled_ != nullptr; }

  // Bytes written to runs so far.
  uint64_t spilled_bytes() const { return spilled_bytes_; }

 private:
  struct Entry {
    uint64_t prefix;  // the key's first 8 bytes, big-endian: sorts fast
    uint64_t count;
    uint64_t first;
    uint32_t offset;  // of the key in arena_
    uint32_t hash;
    uint8_t size;
  };
  struct SpillJob;
  // A table's keys and entries, as a spill takes them.
  struct Table {
    std::vector<char> arena;
    std::vector<Entry> entries;
  };

  // Finds the key's entry or makes one; nullptr when the table is full.
  Entry* Find(std::string_view key, uint32_t hash);
  // Doubles the slots, up to the limit; false when at the limit.
  bool GrowSlots();
  static void SortEntries(Table* t);
  // Sorts `t`, writes it to the run `run->path` and sets the run's range;
  // adds its size to `*bytes`.
  static Status WriteRun(const WorkFolder& work, Table* t, RunFile* run,
                         uint64_t* bytes);
  Status Spill();
  // Takes the run of the spill that has ended into runs_.
  void CollectSpill();
  // Waits for the spiller, if any, and takes its status and run.
  Status WaitForSpiller();
  void Clear();
  void Release();
  void DeleteRuns();
  // Hands the table's entries as they stand to `sink`.
  Status Emit(RunSink* sink) const;
  static std::string_view KeyOf(const Table& t, const Entry& e) {
    return std::string_view(t.arena.data() + e.offset, e.size);
  }

  WorkFolder* work_;
  size_t max_arena_;
  size_t max_entries_;
  const bool background_;
  Table table_;
  std::vector<uint32_t> slots_;  // entry index + 1; 0 is free
  // The runs written, with their ranges. The adding thread's alone: the run
  // a spill in the background writes stays in its job until collected.
  std::vector<RunFile> runs_;
  uint64_t spilled_bytes_ = 0;
  // With `background` only: the spiller, and the job it took last.
  std::unique_ptr<Worker> spiller_;
  std::shared_ptr<SpillJob> spilled_;
};

}  // namespace tovex

#endif  // TOVEX_SORT_AGGREGATOR_H_
