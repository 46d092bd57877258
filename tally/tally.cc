#include "tally/tally.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace tovex {
namespace {

// Slots of the organisation index: a power of two above twice the table, so
// an open-addressing probe stays short even when the table is full.
constexpr size_t kOrganisationSlots = 2048;
static_assert(kOrganisationSlots >= 2 * kMaxOrganisations);
static_assert((kOrganisationSlots & (kOrganisationSlots - 1)) == 0);
constexpr int16_t kNoSlot = -1;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <size_t N>
void ClearEntries(std::array<RankEntry, N>* entries) {
  for (RankEntry& e : *entries) {
    e.size = 0;
    e.count = 0;
  }
}

void ClearTally(PeriodTally* tally) {
  tally->day_count.fill(0);
  tally->hour_count.fill(0);
  tally->weekday_count.fill(0);
  tally->total = 0;
  tally->visitors = 0;
  ClearEntries(&tally->domains.entries);
  ClearEntries(&tally->organisations.entries);
  ClearEntries(&tally->contents.entries);
}

// Row settings outside 1..kMaxRankRows are caller errors; clamping keeps a
// wrong setting from indexing outside the tables.
int ClampRows(int n) { return std::clamp(n, 1, kMaxRankRows); }

// The run of equal texts being counted. The previous text is kept whole (up
// to a record's length), so two long texts that differ only behind the
// ranked-text limit still form two runs.
class RunCounter {
 public:
  // Returns true when `text` starts a new run (the finished one, if any, has
  // been offered to `table`).
  bool Add(std::string_view text, RankTable* table, int n) {
    if (count_ > 0 && text == std::string_view(prev_, size_)) {
      ++count_;
      return false;
    }
    Offer(table, n);
    size_ = std::min(text.size(), sizeof(prev_));
    std::memcpy(prev_, text.data(), size_);
    count_ = 1;
    return true;
  }

  void Offer(RankTable* table, int n) {
    // Most runs lose against a full table; only build an entry to insert.
    if (count_ <= table->entries[static_cast<size_t>(n - 1)].count) return;
    RankEntry entry;
    entry.Assign(std::string_view(prev_, size_), count_);
    InsertRanked(table, entry, n);
  }

 private:
  char prev_[kMaxRecordBytes];
  size_t size_ = 0;
  int64_t count_ = 0;
};

// Organisations in first-met order, found through a hash index instead of a
// walk over the table. Gives the same table as walking it from the front.
class OrganisationCounter {
 public:
  explicit OrganisationCounter(OrganisationTable* table) : table_(table) {
    slots_.fill(kNoSlot);
  }

  // Counts one access of `org`; nothing when the table is full and `org` is
  // not in it. Returns the entry counted, or -1.
  int Count(std::string_view org) {
    org = org.substr(0, kRankTextBytes);  // the text an entry can hold
    size_t slot = Hash(org) & (kOrganisationSlots - 1);
    while (slots_[slot] != kNoSlot) {
      RankEntry& e = table_->entries[static_cast<size_t>(slots_[slot])];
      if (e.view().bytes == org) {
        ++e.count;
        return slots_[slot];
      }
      slot = (slot + 1) & (kOrganisationSlots - 1);
    }
    if (used_ == kMaxOrganisations) return -1;
    table_->entries[static_cast<size_t>(used_)].Assign(org, 1);
    slots_[slot] = static_cast<int16_t>(used_);
    return used_++;
  }

  // Counts one more access of the entry that Count returned.
  void CountAgain(int entry) {
    ++table_->entries[static_cast<size_t>(entry)].count;
  }

 private:
  static size_t Hash(std::string_view s) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (char c : s) {
      h ^= static_cast<unsigned char>(c);
      h *= 16777619u;
    }
    return h;
  }

  OrganisationTable* table_;
  std::array<int16_t, kOrganisationSlots> slots_;
  int used_ = 0;
};

// Adds 1 to counter[index] when index lies inside the counter array.
template <size_t N>
void CountAt(std::array<int64_t, N>* counter, int index) {
  if (index >= 0 && static_cast<size_t>(index) < N) {
    ++(*counter)[static_cast<size_t>(index)];
  }
}

Status HostPass(const WorkDir& work, const std::string& host_file,
                const RowGroup& rows, PeriodTally* tally) {
  std::unique_ptr<RecordReader> reader;
  TOVEX_RETURN_IF_ERROR(
      RecordReader::Open(work.context(), work.PathOf(host_file), &reader));
  const int domain_rows = ClampRows(rows.domains);
  RunCounter run;
  OrganisationCounter organisations(&tally->organisations);
  // A host run shares one organisation, so it is looked up once per run.
  int run_organisation = -1;
  std::string_view line;
  WorkRecord record;
  while (reader->NextLine(&line)) {
    if (!ParseRecord(line, &record)) continue;  // not a record: skipped
    // Every record counts in total, even one whose fields fall outside the
    // counters, so total, visitors and rankings stay consistent.
    ++tally->total;
    CountAt(&tally->day_count, record.day);
    CountAt(&tally->hour_count, record.hour);
    CountAt(&tally->weekday_count, record.weekday);
    if (run.Add(record.name, &tally->domains, domain_rows)) {
      ++tally->visitors;
      std::string_view org = OrganisationOf(record.name);
      run_organisation =
          IsOrganisationName(org) ? organisations.Count(org) : -1;
    } else if (run_organisation >= 0) {
      organisations.CountAgain(run_organisation);
    }
  }
  run.Offer(&tally->domains, domain_rows);
  SortTopEntries(tally->organisations.entries.data(),
                 ClampRows(rows.organisations), kMaxOrganisations);
  return Status::Ok();
}

Status ContentPass(const WorkDir& work, const std::string& content_file,
                   const RowGroup& rows, PeriodTally* tally) {
  std::unique_ptr<RecordReader> reader;
  TOVEX_RETURN_IF_ERROR(
      RecordReader::Open(work.context(), work.PathOf(content_file), &reader));
  const int content_rows = ClampRows(rows.contents);
  RunCounter run;
  std::string_view line;
  WorkRecord record;
  while (reader->NextLine(&line)) {
    if (ParseRecord(line, &record)) {
      run.Add(record.name, &tally->contents, content_rows);
    }
  }
  run.Offer(&tally->contents, content_rows);
  return Status::Ok();
}

}  // namespace

void RankEntry::Assign(std::string_view s, int64_t n) {
  size = static_cast<uint8_t>(std::min(s.size(), kRankTextBytes));
  std::memcpy(text.data(), s.data(), size);
  count = n;
}

Status TallyPeriod(const WorkDir& work, const WorkPair& pair,
                   const RowGroup& rows, PeriodTally* tally) {
  ClearTally(tally);
  TOVEX_RETURN_IF_ERROR(HostPass(work, pair.hosts, rows, tally));
  return ContentPass(work, pair.contents, rows, tally);
}

bool InsertRanked(RankTable* table, const RankEntry& entry, int n) {
  auto& e = table->entries;
  size_t last = static_cast<size_t>(n - 1);
  if (entry.count <= e[last].count) return false;
  e[last] = entry;
  for (size_t p = last; p > 0 && e[p].count > e[p - 1].count; --p) {
    std::swap(e[p], e[p - 1]);
  }
  return true;
}

void SortTopEntries(RankEntry* entries, int k, int size) {
  for (int i = 0; i < k; ++i) {
    for (int j = i + 1; j < size; ++j) {
      if (entries[i].count < entries[j].count) {
        std::swap(entries[i], entries[j]);
      }
    }
  }
}

std::string_view OrganisationOf(std::string_view host) {
  int dots = 0;
  for (size_t i = host.size(); i > 0; --i) {
    if (host[i - 1] == '.' && ++dots == 2) return host.substr(i);
  }
  return host;
}

bool IsOrganisationName(std::string_view text) {
  size_t others = 0;
  for (char c : text) {
    if (!IsDigit(c)) ++others;
  }
  return others != 1;
}

}  // namespace tovex
