#include "tally/tally.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "base/bytes.h"
#include "base/calendar.h"

namespace tovex {
namespace {

template <size_t N>
void ClearEntries(std::array<RankEntry, N>* entries) {
  for (RankEntry& e : *entries) {
    e.size = 0;
    e.count = 0;
  }
}

// Offers a run to `table` unless it cannot beat the last row: most runs
// lose against a full table, and only a winner needs an entry built.
void Offer(RankTable* table, std::string_view text, int64_t count) {
  if (count <= table->entries.back().count) return;
  RankEntry entry;
  entry.Assign(text, count);
  InsertRanked(table, entry, kMaxRankRows);
}

// The number a host is met at, in front of its organisation's name, so
// that byte order is the order of first meeting.
std::string_view FirstKey(uint64_t first, std::string_view org, char* buf) {
  uint64_t be = first;
  if constexpr (std::endian::native == std::endian::little) {
    be = __builtin_bswap64(be);
  }
  std::memcpy(buf, &be, sizeof be);
  std::memcpy(buf + sizeof be, org.data(), org.size());
  return std::string_view(buf, sizeof be + org.size());
}

}  // namespace

// The organisations in first-met order, ranked by the exchange procedure in
// one pass: carrier i holds the best of what reaches it and hands on what it
// displaces or does not take, which is what pass i of the exchange sort
// leaves behind position i. Only the first kMaxRankRows carriers matter.
class NameTally::Carriers : public RunSink {
 public:
  // `key_skip`: bytes in front of the name in the keys taken.
  Carriers(RankTable* table, size_t key_skip)
      : table_(table), key_skip_(key_skip) {}

  Status Take(const RunRecord& r) override {
    // The carriers hold non-increasing counts; one that beats none of them
    // passes through all, as most do.
    const auto count = static_cast<int64_t>(r.count);
    if (filled_ == kMaxRankRows && count <= table_->entries.back().count) {
      return Status::Ok();
    }
    RankEntry moving;
    moving.Assign(r.key.substr(key_skip_), count);
    for (int i = 0; i < kMaxRankRows; ++i) {
      RankEntry& held = table_->entries[static_cast<size_t>(i)];
      if (i >= filled_) {
        held = moving;
        ++filled_;
        break;
      }
      if (moving.count > held.count) std::swap(moving, held);
    }
    return Status::Ok();
  }

 private:
  RankTable* table_;
  size_t key_skip_;
  int filled_ = 0;
};

void RankEntry::Assign(std::string_view s, int64_t n) {
  size = static_cast<uint8_t>(std::min(s.size(), kRankTextBytes));
  std::memcpy(text.data(), s.data(), size);
  count = n;
}

void CountCells(const Period& period, int day, PeriodTally* tally) {
  if (!period.cells) return;
  for (int d = day == 0 ? 1 : day; d <= (day == 0 ? 31 : day); ++d) {
    const auto& hours = (*period.cells)[static_cast<size_t>(d)];
    const int weekday = WeekdayOf(period.year, period.month, d);
    for (size_t h = 0; h < hours.size(); ++h) {
      const int64_t n = hours[h];
      if (n == 0) continue;
      tally->day_count[static_cast<size_t>(d)] += n;
      tally->hour_count[h] += n;
      tally->weekday_count[static_cast<size_t>(weekday)] += n;
      tally->total += n;
    }
  }
}

NameTally::NameTally(WorkFolder* work, size_t org_bytes)
    : organisations_(work, org_bytes), by_first_(work, org_bytes) {}

Status NameTally::AddHost(std::string_view host, int64_t count) {
  Offer(&domains_, host, count);
  const std::string_view org = OrganisationOf(host);
  const auto first = static_cast<uint64_t>(visitors_++);
  if (!IsOrganisationName(org)) return Status::Ok();
  return organisations_.Add(org, static_cast<uint64_t>(count), first);
}

void NameTally::AddContent(std::string_view path, int64_t count) {
  Offer(&contents_, path, count);
}

Status NameTally::Finish(PeriodTally* tally) {
  ClearEntries(&tally->organisations.entries);
  TOVEX_RETURN_IF_ERROR(RankOrganisations(&tally->organisations));
  tally->visitors = visitors_;
  tally->domains = domains_;
  tally->contents = contents_;
  visitors_ = 0;
  ClearEntries(&domains_.entries);
  ClearEntries(&contents_.entries);
  return Status::Ok();
}

Status NameTally::RankOrganisations(RankTable* table) {
  // Kept in memory, the organisations stand in first-met order already.
  if (!organisations_.spilled()) {
    Carriers carriers(table, 0);
    return organisations_.DrainInAddedOrder(&carriers);
  }
  // Spilled, they come out by name; sorted again by their first host, they
  // reach the carriers in first-met order.
  class ByFirst : public RunSink {
   public:
    explicit ByFirst(Aggregator* out) : out_(out) {}
    Status Take(const RunRecord& r) override {
      char key[kMaxKeyBytes + sizeof(uint64_t)];
      return out_->Add(FirstKey(r.first, r.key, key), r.count);
    }

   private:
    Aggregator* out_;
  } by_first(&by_first_);
  TOVEX_RETURN_IF_ERROR(organisations_.Drain(&by_first));
  Carriers carriers(table, sizeof(uint64_t));
  return by_first_.Drain(&carriers);
}

bool InsertRanked(RankTable* table, const RankEntry& entry, int n) {
  auto& e = table->entries;
  size_t last = static_cast<size_t>(n - 1);
  if (entry.count <= e[last].count) return false;
  // Entries are large: each one passed moves once, not by swaps.
  size_t p = last;
  while (p > 0 && entry.count > e[p - 1].count) --p;
  std::move_backward(e.begin() + static_cast<long>(p),
                     e.begin() + static_cast<long>(last),
                     e.begin() + static_cast<long>(last) + 1);
  e[p] = entry;
  return true;
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
