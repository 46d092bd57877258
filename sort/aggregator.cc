#include "sort/aggregator.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

// The table's entries in key order as a source for a merge.
class Aggregator::SortedEntries : public RunSource {
 public:
  explicit SortedEntries(const Aggregator* a) : a_(a) {}
  bool Next(RunRecord* r) override {
    if (next_ == a_->entries_.size()) return false;
    const Entry& e = a_->entries_[next_++];
    *r = {a_->KeyOf(e), e.count, e.first};
    return true;
  }
  Status status() const override { return Status::Ok(); }

 private:
  const Aggregator* a_;
  size_t next_ = 0;
};

Aggregator::Aggregator(WorkFolder* work, size_t max_bytes)
    : work_(work),
      max_arena_(max_bytes / kArenaShare),
      max_entries_((max_bytes - max_bytes / kArenaShare) /
                   (sizeof(Entry) + kSlotsPerEntry * sizeof(uint32_t))) {
  slots_.assign(kInitialSlots, 0);
}

Aggregator::~Aggregator() {
  for (const std::string& run : runs_) {
    work_->context().platform.fs->Delete(run);
  }
}

bool Aggregator::GrowSlots() {
  if (slots_.size() >= kSlotsPerEntry * max_entries_) return false;
  slots_.assign(slots_.size() * 2, 0);
  const size_t mask = slots_.size() - 1;
  for (size_t i = 0; i < entries_.size(); ++i) {
    size_t s = entries_[i].hash & mask;
    while (slots_[s] != 0) s = (s + 1) & mask;
    slots_[s] = static_cast<uint32_t>(i + 1);
  }
  return true;
}

Aggregator::Entry* Aggregator::Find(std::string_view key, uint32_t hash) {
  const size_t mask = slots_.size() - 1;
  size_t s = hash & mask;
  for (; slots_[s] != 0; s = (s + 1) & mask) {
    Entry& e = entries_[slots_[s] - 1];
    if (e.hash == hash && KeyOf(e) == key) return &e;
  }
  if (entries_.size() >= max_entries_ ||
      arena_.size() + key.size() > max_arena_) {
    return nullptr;
  }
  if ((entries_.size() + 1) * kSlotsPerEntry > slots_.size()) {
    if (!GrowSlots()) return nullptr;
    return Find(key, hash);
  }
  slots_[s] = static_cast<uint32_t>(entries_.size() + 1);
  // Grown by hand: a vector's own doubling would overshoot the limits.
  if (entries_.size() == entries_.capacity()) {
    entries_.reserve(std::min(2 * entries_.size() + 16, max_entries_));
  }
  if (arena_.size() + key.size() > arena_.capacity()) {
    arena_.reserve(std::min(2 * arena_.capacity() + 1024, max_arena_));
  }
  entries_.push_back({PrefixOf(key), 0, UINT64_MAX,
                      static_cast<uint32_t>(arena_.size()), hash,
                      static_cast<uint8_t>(key.size())});
  arena_.insert(arena_.end(), key.begin(), key.end());
  return &entries_.back();
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

void Aggregator::SortEntries() {
  std::sort(entries_.begin(), entries_.end(),
            [this](const Entry& a, const Entry& b) {
              if (a.prefix != b.prefix) return a.prefix < b.prefix;
              return KeyLess(KeyOf(a), KeyOf(b));
            });
}

void Aggregator::Clear() {
  entries_.clear();
  arena_.clear();
  std::fill(slots_.begin(), slots_.end(), 0);
}

Status Aggregator::Spill() {
  SortEntries();
  runs_.push_back(work_->NewFile(kRunSuffix));
  std::unique_ptr<RunWriter> run;
  TOVEX_RETURN_IF_ERROR(
      RunWriter::Create(work_->context(), runs_.back(), &run));
  for (const Entry& e : entries_) run->Add(KeyOf(e), e.count, e.first);
  TOVEX_RETURN_IF_ERROR(run->Close());
  spilled_bytes_ += run->bytes();
  Clear();
  return Status::Ok();
}

Status Aggregator::Drain(RunSink* sink) {
  Status status;
  if (runs_.empty()) {
    SortEntries();
    SortedEntries table(this);
    status = MergeSources({&table}, sink);
  } else if (status = Spill(); status.ok()) {
    // The table goes to a run too, so that its memory is free for the
    // merge's read buffers and for what the sink does.
    Release();
    status = MergeRuns(work_, std::move(runs_), nullptr, sink);
  }
  runs_.clear();
  Release();
  return status;
}

void Aggregator::Release() {
  std::vector<char>().swap(arena_);
  std::vector<Entry>().swap(entries_);
  slots_.assign(kInitialSlots, 0);
  slots_.shrink_to_fit();
}

}  // namespace tovex
