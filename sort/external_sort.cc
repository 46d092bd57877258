#include "sort/external_sort.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "work/file_names.h"

namespace tovex {
namespace {

// Records of a chunk are packed one after another; kMaxRecordBytes each at
// most, so a chunk never outgrows the 160-byte slots it is budgeted for.
constexpr size_t kArenaBytes = kChunkRecords * (kMaxRecordBytes + 1);
// Bytes of a record compared at once as one integer.
constexpr size_t kKeyBytes = sizeof(uint64_t);
// Chunk files are written in a few large writes: a full chunk of typical
// records fits.
constexpr size_t kChunkWriteBufferBytes = 256 * 1024;
// Threads that share a merge pass, and chunk buffers in use at once (one
// filling while the other is sorted and written): the machines this runs on
// have two cores or more, and memory stays a few megabytes.
constexpr int kMergeThreads = 2;

// The first min(n, kKeyBytes) bytes at p, zero-padded, as a big-endian
// number: comparing two keys compares the bytes as unsigned values, the way
// memcmp does.
uint64_t KeyOf(const char* p, size_t n) {
  uint64_t v = 0;
  if (n >= kKeyBytes) {
    std::memcpy(&v, p, kKeyBytes);
  } else if (n > 0) {
    std::memcpy(&v, p, n);
  }
  if constexpr (std::endian::native == std::endian::little) {
    v = __builtin_bswap64(v);
  }
  return v;
}

// Record order: bytes as unsigned values, a proper prefix first. Compared
// kKeyBytes at a time inline: records are short and often share long heads
// or are duplicates, where a library call per comparison dominates.
inline bool RecordLess(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  if (n >= kKeyBytes) {
    size_t i = 0;
    for (; i + kKeyBytes <= n; i += kKeyBytes) {
      uint64_t x = KeyOf(a.data() + i, kKeyBytes);
      uint64_t y = KeyOf(b.data() + i, kKeyBytes);
      if (x != y) return x < y;
    }
    // The last window overlaps bytes already found equal, so its first
    // difference is the first difference of the tail.
    uint64_t x = KeyOf(a.data() + n - kKeyBytes, kKeyBytes);
    uint64_t y = KeyOf(b.data() + n - kKeyBytes, kKeyBytes);
    if (x != y) return x < y;
  } else {
    int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0;
  }
  return a.size() < b.size();
}

// Record bytes one chunk-sort key holds; its low byte is kept for a count.
constexpr uint32_t kSortStep = kKeyBytes - 1;

// The chunk-sort key of the `rest` record bytes at p: kSortStep bytes and
// then min(rest, kKeyBytes). One integer comparison orders by those bytes
// and puts a record that ends first (a prefix) first, NUL bytes or not.
// Equal keys with a count of kKeyBytes need the bytes after them; equal keys
// with a smaller count belong to identical records.
uint64_t ChunkKey(const char* p, uint32_t rest) {
  if (rest >= kKeyBytes) {
    return (KeyOf(p, kKeyBytes) & ~uint64_t{0xff}) | kKeyBytes;
  }
  return KeyOf(p, rest) | rest;
}

// One record of the chunk being sorted. `key` is the ChunkKey of the record
// at the depth currently being sorted.
struct ChunkEntry {
  uint64_t key;
  uint32_t offset;
  uint32_t size;
};

// Collects up to kChunkRecords records in one arena allocated once, sorts
// them and writes them to a chunk file. Sorting goes kSortStep bytes at a
// time: by the key, then each run of equal keys again from the next bytes,
// so every comparison is one integer compare even when records share long
// heads (hosts of one network, paths of one directory).
class ChunkSorter {
 public:
  ChunkSorter()
      : arena_(new char[kArenaBytes]),
        entries_(new ChunkEntry[kChunkRecords]) {}

  bool full() const { return count_ == size_t{kChunkRecords}; }

  // REQUIRES: !full(), line.size() <= kMaxRecordBytes.
  void Add(std::string_view line) {
    std::memcpy(arena_.get() + used_, line.data(), line.size());
    entries_[count_] = {
        ChunkKey(line.data(), static_cast<uint32_t>(line.size())),
        static_cast<uint32_t>(used_), static_cast<uint32_t>(line.size())};
    used_ += line.size();
    ++count_;
  }

  // Sorts the records, writes them to `path` (created or emptied) and starts
  // an empty chunk.
  Status WriteSorted(const Context& ctx, const std::string& path) {
    SortRange(entries_.get(), entries_.get() + count_, 0);
    std::unique_ptr<RecordWriter> out;
    TOVEX_RETURN_IF_ERROR(RecordWriter::Open(ctx, path, OpenMode::kWrite, &out,
                                             kChunkWriteBufferBytes));
    for (size_t i = 0; i < count_; ++i) {
      const ChunkEntry& e = entries_[i];
      out->AddLine(std::string_view(arena_.get() + e.offset, e.size));
    }
    count_ = 0;
    used_ = 0;
    return out->Close();
  }

 private:
  // Sorts [begin, end), whose records agree in their first `depth` bytes and
  // whose keys are taken at `depth`.
  void SortRange(ChunkEntry* begin, ChunkEntry* end, uint32_t depth) {
    // Common heads (a directory, a network) are stepped over without
    // sorting keys that are all equal.
    while (end - begin > 1 && AllKeysEqual(begin, end)) {
      if ((begin->key & 0xff) != kKeyBytes) return;  // identical records
      depth += kSortStep;
      TakeKeys(begin, end, depth);
    }
    std::sort(begin, end, [](const ChunkEntry& a, const ChunkEntry& b) {
      return a.key < b.key;
    });
    for (ChunkEntry* run = begin; run != end;) {
      ChunkEntry* run_end = run + 1;
      while (run_end != end && run_end->key == run->key) ++run_end;
      if (run_end - run > 1 && (run->key & 0xff) == kKeyBytes) {
        TakeKeys(run, run_end, depth + kSortStep);
        SortRange(run, run_end, depth + kSortStep);
      }
      run = run_end;
    }
  }

  static bool AllKeysEqual(const ChunkEntry* begin, const ChunkEntry* end) {
    for (const ChunkEntry* e = begin + 1; e != end; ++e) {
      if (e->key != begin->key) return false;
    }
    return true;
  }

  // REQUIRES: every record has at least `depth` bytes.
  void TakeKeys(ChunkEntry* begin, ChunkEntry* end, uint32_t depth) {
    for (ChunkEntry* e = begin; e != end; ++e) {
      e->key = ChunkKey(arena_.get() + e->offset + depth, e->size - depth);
    }
  }

  std::unique_ptr<char[]> arena_;
  std::unique_ptr<ChunkEntry[]> entries_;
  size_t used_ = 0;
  size_t count_ = 0;
};

// One input of a merge and its current record.
struct MergeInput {
  std::unique_ptr<RecordReader> reader;
  std::string_view line;
  uint64_t key = 0;

  // Moves to the next record; false at the end of the input.
  bool Advance() {
    if (!reader->NextLine(&line)) return false;
    key = KeyOf(line.data(), line.size());
    return true;
  }
};

// True when a's current record comes strictly before b's.
inline bool Before(const MergeInput& a, const MergeInput& b) {
  if (a.key != b.key) return a.key < b.key;
  return RecordLess(a.line, b.line);
}

// Writes the records of the inputs `order[0..n)` in record order.
// `order` is kept sorted by current record, so after the smallest is written
// its input usually stays in front after a single comparison. Equal records
// are byte-identical, so which of them goes first cannot be seen.
void MergeInto(MergeInput** order, int n, RecordWriter* out) {
  while (n > 1) {
    MergeInput* head = order[0];
    out->AddLine(head->line);
    if (!head->Advance()) {
      std::move(order + 1, order + n, order);
      --n;
      continue;
    }
    int i = 0;
    while (i + 1 < n && Before(*order[i + 1], *head)) {
      order[i] = order[i + 1];
      ++i;
    }
    order[i] = head;
  }
  if (n == 1) {
    // The last input left: the rest of it is copied as it stands.
    MergeInput* last = order[0];
    do {
      out->AddLine(last->line);
    } while (last->reader->NextLine(&last->line));
  }
}

// The slots of the group that starts at number `first`: the numbered names
// up to `last`, "NULL" after it.
std::array<std::string, kMergeWays> GroupSlots(int64_t first, int last,
                                               std::string_view suffix) {
  std::array<std::string, kMergeWays> slots;
  for (size_t j = 0; j < slots.size(); ++j) {
    const int64_t number = first + static_cast<int64_t>(j);
    slots[j] = number <= last ? NumberedName(static_cast<int>(number), suffix)
                              : std::string(kNullSlot);
  }
  return slots;
}

// One pass of MergeNumberedFiles: the groups of four of first..last into
// the numbers last+1, last+2, ... The groups are independent files, so two
// threads take turns at them; the first failing group's status is returned.
Status MergePass(const WorkDir& work, int first, int last,
                 std::string_view suffix) {
  const int64_t groups = (static_cast<int64_t>(last) - first) / kMergeWays + 1;
  auto merge_every_other = [&](int64_t start, Status* failed, int64_t* at) {
    for (int64_t g = start; g < groups; g += kMergeThreads) {
      Status st =
          MergeFour(work, GroupSlots(first + g * kMergeWays, last, suffix),
                    NumberedName(static_cast<int>(last + 1 + g), suffix));
      if (!st.ok()) {
        *failed = st;
        *at = g;
        return;
      }
    }
  };
  Status failed[kMergeThreads];
  int64_t at[kMergeThreads] = {groups, groups};
  std::thread helper(merge_every_other, 1, &failed[1], &at[1]);
  merge_every_other(0, &failed[0], &at[0]);
  helper.join();
  return at[0] <= at[1] ? failed[0] : failed[1];
}

}  // namespace

Status MergeFour(const WorkDir& work,
                 const std::array<std::string, kMergeWays>& slots,
                 std::string_view out_name) {
  const Context& ctx = work.context();
  std::unique_ptr<RecordWriter> out;
  TOVEX_RETURN_IF_ERROR(
      RecordWriter::Open(ctx, work.PathOf(out_name), OpenMode::kWrite, &out));
  MergeInput inputs[kMergeWays];
  MergeInput* order[kMergeWays];
  int n = 0;
  for (const std::string& slot : slots) {
    if (slot == kNullSlot) continue;
    // A plain open: a missing input is an empty one, not a failure.
    std::unique_ptr<ReadableFile> file =
        ctx.platform.fs->OpenRead(work.PathOf(slot));
    if (!file) continue;
    MergeInput& in = inputs[n];
    in.reader = std::make_unique<RecordReader>(std::move(file));
    if (!in.Advance()) {
      in.reader.reset();
      continue;
    }
    // Insertion by record order; an equal record goes behind.
    int i = n;
    while (i > 0 && Before(in, *order[i - 1])) {
      order[i] = order[i - 1];
      --i;
    }
    order[i] = &in;
    ++n;
  }
  MergeInto(order, n, out.get());
  return out->Close();
}

Status MergeNumberedFiles(const WorkDir& work, int first, int last,
                          std::string_view out_name, std::string_view suffix) {
  // Each pass merges groups of four into the numbers after `last`, until at
  // most four files are left for the final merge. Differences are taken in
  // 64 bits so that no pair of ints overflows them.
  while (static_cast<int64_t>(last) - first >= kMergeWays) {
    TOVEX_RETURN_IF_ERROR(MergePass(work, first, last, suffix));
    const int64_t groups =
        (static_cast<int64_t>(last) - first) / kMergeWays + 1;
    first = last + 1;
    last = static_cast<int>(last + groups);
  }
  return MergeFour(work, GroupSlots(first, last, suffix), out_name);
}

Status SortWorkFile(const WorkDir& work, std::string_view name) {
  const Context& ctx = work.context();
  int chunk = 1;
  {
    std::unique_ptr<RecordReader> in;
    TOVEX_RETURN_IF_ERROR(RecordReader::Open(ctx, work.PathOf(name), &in));
    // One chunk fills while the previous one is sorted and written on a
    // second thread.
    ChunkSorter sorters[2];
    int filling = 0;
    std::thread writer;
    Status written;
    auto wait_for_writer = [&]() -> Status {
      if (writer.joinable()) writer.join();
      return written;
    };
    std::string_view line;
    while (in->NextLine(&line)) {
      sorters[filling].Add(line);
      if (!sorters[filling].full()) continue;
      TOVEX_RETURN_IF_ERROR(wait_for_writer());
      writer =
          std::thread([&, sorter = &sorters[filling],
                       path = work.PathOf(NumberedName(chunk, kChunkSuffix))] {
            written = sorter->WriteSorted(ctx, path);
          });
      filling ^= 1;
      ++chunk;
    }
    // The input is closed before the merge replaces it. The last chunk is
    // written even when empty, so the merge always has chunks 1..chunk.
    in.reset();
    TOVEX_RETURN_IF_ERROR(wait_for_writer());
    TOVEX_RETURN_IF_ERROR(sorters[filling].WriteSorted(
        ctx, work.PathOf(NumberedName(chunk, kChunkSuffix))));
  }
  return MergeNumberedFiles(work, 1, chunk, name, kChunkSuffix);
}

}  // namespace tovex
