#include "sort/aggregator.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "sort/merge.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// A fresh table's slots; it doubles from there.
constexpr size_t kInitialSlots = 256;
// Slots per entry at the fullest: probes stay short.
constexpr size_t kSlotsPerEntry = 2;
// Of the memory allowed, the share of the key bytes; the rest goes to the
// entries and slots.
constexpr size_t kArenaShare = 3;  // a third

uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A fast 64-bit hash of short keys, eight bytes at a time.
uint64_t HashOf(std::string_view key) {
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  uint64_t h = key.size() * kMul;
  size_t i = 0;
  for (; i + 8 <= key.size(); i += 8) {
    h = (h ^ Load64(key.data() + i)) * kMul;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, key.data() + i, key.size() - i);
  h = (h ^ tail) * kMul;
  return h ^ (h >> 32);
}

uint64_t PrefixOf(std::string_view key) {
  uint64_t v = 0;
  std::memcpy(&v, key.data(), std::min(key.size(), sizeof v));
  if constexpr (std::endian::native == std::endian::little) {
    v = __builtin_bswap64(v);
  }
  return v;
}

}  // namespace

// A full table on its way to a run in the background: the spiller's from
// the TryPut that takes it until the adding thread next finds the spiller
// idle (a TryPut taken, or Finish).
struct Aggregator::SpillJob {
  Table table;
  RunFile run;
  uint64_t bytes = 0;
};

Aggregator::Aggregator(WorkFolder* work, size_t max_bytes, bool background)
    : work_(work),
      max_arena_(std::max(max_bytes, kMinBytes) / kArenaShare),
      max_entries_((std::max(max_bytes, kMinBytes) - max_arena_) /
                   (sizeof(Entry) + kSlotsPerEntry * sizeof(uint32_t))),
      background_(background) {
  slots_.assign(kInitialSlots, 0);
}

Aggregator::~Aggregator() {
  WaitForSpiller();  // its run is written or failed before it is deleted
  DeleteRuns();
}

void Aggregator::DeleteRuns() {
  for (const RunFile& run : runs_) {
    work_->folder()->Delete(run.name);
  }
  runs_.clear();
}

bool Aggregator::GrowSlots() {
  if (slots_.size() >= kSlotsPerEntry * max_entries_) return false;
  slots_.assign(slots_.size() * 2, 0);
  const size_t mask = slots_.size() - 1;
  for (size_t i = 0; i < table_.entries.size(); ++i) {
    size_t s = table_.entries[i].hash & mask;
    while (slots_[s] != 0) s = (s + 1) & mask;
    slots_[s] = static_cast<uint32_t>(i + 1);
  }
  return true;
}

Aggregator::Entry* Aggregator::Find(std::string_view key, uint32_t hash) {
  std::vector<Entry>& entries = table_.entries;
  std::vector<char>& arena = table_.arena;
  const size_t mask = slots_.size() - 1;
  size_t s = hash & mask;
  for (; slots_[s] != 0; s = (s + 1) & mask) {
    Entry& e = entries[slots_[s] - 1];
    if (e.hash == hash && KeyOf(table_, e) == key) return &e;
  }
  if (entries.size() >= max_entries_ ||
      arena.size() + key.size() > max_arena_) {
    return nullptr;
  }
  if ((entries.size() + 1) * kSlotsPerEntry > slots_.size()) {
    if (!GrowSlots()) return nullptr;
    return Find(key, hash);
  }
  slots_[s] = static_cast<uint32_t>(entries.size() + 1);
  // Grown by hand: a vector's own doubling would overshoot the limits.
  if (entries.size() == entries.capacity()) {
    entries.reserve(std::min(2 * entries.size() + 16, max_entries_));
  }
  if (arena.size() + key.size() > arena.capacity()) {
    arena.reserve(std::min(2 * arena.capacity() + 1024, max_arena_));
  }
  entries.push_back({PrefixOf(key), 0, UINT64_MAX,
                     static_cast<uint32_t>(arena.size()), hash,
                     static_cast<uint8_t>(key.size())});
  arena.insert(arena.end(), key.begin(), key.end());
  return &entries.back();
}

Status Aggregator::Add(std::string_view key, uint64_t count, uint64_t first) {
  const auto hash = static_cast<uint32_t>(HashOf(key));
  Entry* e = Find(key, hash);
  if (e == nullptr) {
    TOVEX_RETURN_IF_ERROR(Spill());
    e = Find(key, hash);
  }
  e->count += count;
  e->first = std::min(e->first, first);
  return Status::Ok();
}

void Aggregator::SortEntries(Table* t) {
  std::sort(t->entries.begin(), t->entries.end(),
            [t](const Entry& a, const Entry& b) {
              if (a.prefix != b.prefix) return a.prefix < b.prefix;
              // Equal prefixes of keys that fill them: the rest decides.
              constexpr size_t kSkip = sizeof a.prefix;
              if (a.size >= kSkip && b.size >= kSkip) {
                return KeyLess(KeyOf(*t, a).substr(kSkip),
                               KeyOf(*t, b).substr(kSkip));
              }
              return KeyLess(KeyOf(*t, a), KeyOf(*t, b));
            });
}

Status Aggregator::WriteRun(const WorkFolder& work, Table* t, RunFile* run,
                            uint64_t* bytes) {
  SortEntries(t);
  if (!t->entries.empty()) {
    run->ranged = true;
    run->first_key = KeyOf(*t, t->entries.front());
    run->last_key = KeyOf(*t, t->entries.back());
  }
  std::unique_ptr<RunWriter> writer;
  TOVEX_RETURN_IF_ERROR(RunWriter::Create(work, run->name, &writer));
  for (const Entry& e : t->entries) writer->Add(KeyOf(*t, e), e.count, e.first);
  TOVEX_RETURN_IF_ERROR(writer->Close());
  *bytes += writer->bytes();
  return Status::Ok();
}

void Aggregator::Clear() {
  table_.entries.clear();
  table_.arena.clear();
  std::fill(slots_.begin(), slots_.end(), 0);
}

Status Aggregator::Spill() {
  RunFile run(work_->NewFile(kRunSuffix));
  if (background_) {
    if (spiller_ == nullptr) spiller_ = std::make_unique<Worker>(1);
    TOVEX_RETURN_IF_ERROR(spiller_->status());
    auto job = std::make_shared<SpillJob>();
    job->table = std::move(table_);
    job->run = std::move(run);
    const WorkFolder* work = work_;
    Worker::Task task = [job, work] {
      const Status status = WriteRun(*work, &job->table, &job->run, &job->bytes);
      job->table.entries.clear();
      job->table.arena.clear();
      return status;
    };
    if (spiller_->TryPut(&task)) {
      // Taken: the spiller is through with the previous table, which
      // this one fills next, its memory kept.
      if (spilled_) CollectSpill();
      std::swap(spilled_, job);
      if (job != nullptr) table_ = std::move(job->table);
      Clear();
      return Status::Ok();
    }
    // Busy: rather than wait, this thread writes its table too, since keys
    // that repeat seldom fill tables faster than one thread sorts them.
    table_ = std::move(job->table);
    run = std::move(job->run);
  }
  runs_.push_back(std::move(run));
  TOVEX_RETURN_IF_ERROR(
      WriteRun(*work_, &table_, &runs_.back(), &spilled_bytes_));
  Clear();
  return Status::Ok();
}

void Aggregator::CollectSpill() {
  spilled_bytes_ += spilled_->bytes;
  runs_.push_back(std::move(spilled_->run));
}

Status Aggregator::WaitForSpiller() {
  if (spiller_ == nullptr) return Status::Ok();
  const Status status = spiller_->Finish();
  spiller_.reset();
  if (spilled_ != nullptr) CollectSpill();
  spilled_.reset();  // and the memory of its table with it
  return status;
}

Status Aggregator::Drain(RunSink* sink) {
  Status status = WaitForSpiller();
  if (status.ok() && runs_.empty()) {
    SortEntries(&table_);
    status = Emit(sink);
  } else if (status.ok()) {
    // The table goes to a run too, so that its memory is free for the
    // merge's read buffers and for what the sink does.
    runs_.emplace_back(work_->NewFile(kRunSuffix));
    status =
        WriteRun(*work_, &table_, &runs_.back(), &spilled_bytes_);
    Release();
    // The merge deletes the runs as it goes.
    if (status.ok()) {
      status = MergeRuns(work_, std::exchange(runs_, {}), nullptr, sink);
    }
  }
  DeleteRuns();
  Release();
  return status;
}

Status Aggregator::DrainInAddedOrder(RunSink* sink) {
  // Entries are appended as keys are first met and only a spill reorders.
  const Status status = Emit(sink);
  Release();
  return status;
}

Status Aggregator::Emit(RunSink* sink) const {
  for (const Entry& e : table_.entries) {
    TOVEX_RETURN_IF_ERROR(sink->Take({KeyOf(table_, e), e.count, e.first}));
  }
  return Status::Ok();
}

void Aggregator::Release() {
  std::vector<char>().swap(table_.arena);
  std::vector<Entry>().swap(table_.entries);
  slots_.assign(kInitialSlots, 0);
  slots_.shrink_to_fit();
}

}  // namespace tovex
