#include "sort/aggregator.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>
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

// The table's entries as they stand (in key order once sorted) as a source.
class Aggregator::TableEntries : public RunSource {
 public:
  explicit TableEntries(const Table* t) : t_(t) {}
  bool Next(RunRecord* r) override {
    if (next_ == t_->entries.size()) return false;
    const Entry& e = t_->entries[next_++];
    *r = {KeyOf(*t_, e), e.count, e.first};
    return true;
  }
  Status status() const override { return Status::Ok(); }

 private:
  const Table* t_;
  size_t next_ = 0;
};

// The thread that sorts and writes full tables, one at a time. The table
// in hand belongs to the thread from Start until Wait returns.
class Aggregator::Spiller {
 public:
  explicit Spiller(const Context& ctx)
      : ctx_(ctx), thread_([this] { Loop(); }) {}

  ~Spiller() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  // Whether a table is being written.
  bool Busy() {
    std::lock_guard<std::mutex> lock(mu_);
    return busy_;
  }

  // Waits until the table in hand is written; adds its run's size to
  // `*bytes` and returns the spill's status.
  Status Wait(uint64_t* bytes) {
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [this] { return !busy_; });
    *bytes += bytes_;
    bytes_ = 0;
    Status status = status_;
    status_ = Status::Ok();
    return status;
  }

  // Takes `*full` to write to `*run` and leaves in its place the emptied
  // table of the previous spill, its memory kept for reuse. `*run` is the
  // thread's until Wait returns.
  // REQUIRES: Wait returned since the last Start.
  void Start(Table* full, RunFile* run) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      std::swap(table_, *full);
      run_ = run;
      busy_ = true;
    }
    wake_.notify_one();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mu_);
    while (true) {
      wake_.wait(lock, [this] { return busy_ || quit_; });
      if (!busy_) return;
      lock.unlock();
      uint64_t bytes = 0;
      Status status = WriteRun(ctx_, &table_, run_, &bytes);
      table_.entries.clear();
      table_.arena.clear();
      lock.lock();
      status_ = status;
      bytes_ = bytes;
      busy_ = false;
      done_.notify_all();
    }
  }

  const Context& ctx_;
  std::mutex mu_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool busy_ = false;
  bool quit_ = false;
  Table table_;
  RunFile* run_ = nullptr;
  uint64_t bytes_ = 0;
  Status status_;
  std::thread thread_;  // last: starts once the rest is set up
};

Aggregator::Aggregator(WorkFolder* work, size_t max_bytes, bool background)
    : work_(work),
      max_arena_(max_bytes / kArenaShare),
      max_entries_((max_bytes - max_bytes / kArenaShare) /
                   (sizeof(Entry) + kSlotsPerEntry * sizeof(uint32_t))),
      background_(background) {
  slots_.assign(kInitialSlots, 0);
}

Aggregator::~Aggregator() {
  spiller_.reset();  // its run is written or failed before it is deleted
  DeleteRuns();
}

void Aggregator::DeleteRuns() {
  for (const RunFile& run : runs_) {
    work_->context().platform.fs->Delete(run.path);
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

Status Aggregator::WriteRun(const Context& ctx, Table* t, RunFile* run,
                            uint64_t* bytes) {
  SortEntries(t);
  if (!t->entries.empty()) {
    run->ranged = true;
    run->first_key = KeyOf(*t, t->entries.front());
    run->last_key = KeyOf(*t, t->entries.back());
  }
  std::unique_ptr<RunWriter> writer;
  TOVEX_RETURN_IF_ERROR(RunWriter::Create(ctx, run->path, &writer));
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
  if (!background_) {
    runs_.emplace_back(work_->NewFile(kRunSuffix));
    TOVEX_RETURN_IF_ERROR(
        WriteRun(work_->context(), &table_, &runs_.back(), &spilled_bytes_));
  } else {
    if (spiller_ == nullptr) {
      spiller_ = std::make_unique<Spiller>(work_->context());
    }
    runs_.emplace_back(work_->NewFile(kRunSuffix));
    if (spiller_->Busy()) {
      // Rather than wait, this thread writes its table too: keys that
      // repeat seldom fill tables faster than one thread sorts them.
      TOVEX_RETURN_IF_ERROR(
          WriteRun(work_->context(), &table_, &runs_.back(), &spilled_bytes_));
    } else {
      TOVEX_RETURN_IF_ERROR(spiller_->Wait(&spilled_bytes_));
      spiller_->Start(&table_, &runs_.back());
    }
  }
  Clear();
  return Status::Ok();
}

Status Aggregator::WaitForSpiller() {
  if (spiller_ == nullptr) return Status::Ok();
  const Status status = spiller_->Wait(&spilled_bytes_);
  spiller_.reset();  // and the memory of its table with it
  return status;
}

Status Aggregator::Drain(RunSink* sink) {
  Status status = WaitForSpiller();
  if (status.ok() && runs_.empty()) {
    SortEntries(&table_);
    TableEntries table(&table_);
    status = MergeSources({&table}, sink);
  } else if (status.ok()) {
    // The table goes to a run too, so that its memory is free for the
    // merge's read buffers and for what the sink does.
    runs_.emplace_back(work_->NewFile(kRunSuffix));
    status =
        WriteRun(work_->context(), &table_, &runs_.back(), &spilled_bytes_);
    Release();
    // The merge deletes the runs as it goes.
    if (status.ok()) status = MergeRuns(work_, TakeRuns(), nullptr, sink);
  }
  DeleteRuns();
  Release();
  return status;
}

std::vector<RunFile> Aggregator::TakeRuns() {
  std::vector<RunFile> runs(std::make_move_iterator(runs_.begin()),
                            std::make_move_iterator(runs_.end()));
  runs_.clear();
  return runs;
}

Status Aggregator::DrainInAddedOrder(RunSink* sink) {
  // Entries are appended as keys are first met and only a spill reorders.
  TableEntries table(&table_);
  const Status status = MergeSources({&table}, sink);
  Release();
  return status;
}

void Aggregator::Release() {
  std::vector<char>().swap(table_.arena);
  std::vector<Entry>().swap(table_.entries);
  slots_.assign(kInitialSlots, 0);
  slots_.shrink_to_fit();
}

}  // namespace tovex
