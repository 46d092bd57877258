#include "tally/tally.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "base/bytes.h"
#include "base/calendar.h"
#include "tally/organisation_rule.h"

namespace tovex {
namespace {

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
  Carriers(RankRows* rows, size_t key_skip)
      : rows_(rows), key_skip_(key_skip) {}

  Status Take(const RunRecord& r) override {
    rows_->Carry(r.key.substr(key_skip_), static_cast<int64_t>(r.count));
    return Status::Ok();
  }

 private:
  RankRows* rows_;
  size_t key_skip_;
};

RankRows::RankRows() {
  for (size_t i = 0; i < slots_.size(); ++i)
    slots_[i] = static_cast<uint8_t>(i);
}

void RankRows::Offer(std::string_view text, int64_t count) {
  // Most runs lose against a full table, and only a winner is copied.
  constexpr size_t kLast = kMaxRankRows - 1;
  if (count <= counts_[kLast]) return;
  size_t p = kLast;
  while (p > 0 && count > counts_[p - 1]) --p;
  const uint8_t slot = slots_[kLast];  // the last row drops out
  std::move_backward(counts_.begin() + static_cast<long>(p),
                     counts_.begin() + static_cast<long>(kLast), counts_.end());
  std::move_backward(slots_.begin() + static_cast<long>(p),
                     slots_.begin() + static_cast<long>(kLast), slots_.end());
  counts_[p] = count;
  slots_[p] = slot;
  texts_[slot].Assign(text, 0);
}

void RankRows::Carry(std::string_view text, int64_t count) {
  // The rows hold non-increasing counts, empty ones 0; one that beats none
  // of them passes through all, as most do.
  if (count <= counts_.back()) return;
  uint8_t moving_slot = spare_;
  texts_[moving_slot].Assign(text, 0);
  int64_t moving = count;
  for (size_t i = 0; i < kMaxRankRows && moving > 0; ++i) {
    if (moving > counts_[i]) {
      std::swap(moving, counts_[i]);
      std::swap(moving_slot, slots_[i]);
    }
  }
  spare_ = moving_slot;  // what fell out, or an empty row's slot
}

void RankRows::TakeInto(RankTable* table) {
  for (size_t i = 0; i < kMaxRankRows; ++i) {
    RankEntry& e = table->entries[i];
    if (counts_[i] == 0) {
      e.size = 0;
      e.count = 0;
      continue;
    }
    e.Assign(texts_[slots_[i]].view().bytes, counts_[i]);
    counts_[i] = 0;
  }
}

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

NameTally::NameTally(WorkFolder* work, size_t org_bytes,
                     const OrganisationRule* rule)
    : rule_(rule),
      organisations_(work, org_bytes),
      by_first_(work, org_bytes) {}

Status NameTally::AddHost(std::string_view host, int64_t count) {
  domains_.Offer(host, count);
  const std::string_view org =
      rule_ == nullptr ? LabelOrganisation(host) : rule_->Of(host, &rule_text_);
  const auto first = static_cast<uint64_t>(visitors_++);
  if (org.empty()) return Status::Ok();
  return organisations_.Add(org, static_cast<uint64_t>(count), first);
}

void NameTally::AddContent(std::string_view path, int64_t count) {
  contents_.Offer(path, count);
}

Status NameTally::Finish(PeriodTally* tally) {
  TOVEX_RETURN_IF_ERROR(RankOrganisations());
  organisation_rows_.TakeInto(&tally->organisations);
  domains_.TakeInto(&tally->domains);
  contents_.TakeInto(&tally->contents);
  tally->visitors = visitors_;
  visitors_ = 0;
  return Status::Ok();
}

Status NameTally::RankOrganisations() {
  // Kept in memory, the organisations stand in first-met order already.
  if (!organisations_.spilled()) {
    Carriers carriers(&organisation_rows_, 0);
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
  Carriers carriers(&organisation_rows_, sizeof(uint64_t));
  return by_first_.Drain(&carriers);
}

std::string_view OrganisationOf(std::string_view host) {
  int dots = 0;
  for (size_t i = host.size(); i > 0; --i) {
    if (host[i - 1] == '.' && ++dots == 2) return host.substr(i);
  }
  return host;
}

std::string_view LabelOrganisation(std::string_view host) {
  // An IPv6 address's last labels are no more a name than an IPv4
  // address's tail.
  if (host.find(':') != std::string_view::npos) return std::string_view();
  const std::string_view org = OrganisationOf(host);
  return IsOrganisationName(org) ? org : std::string_view();
}

bool IsOrganisationName(std::string_view text) {
  size_t others = 0;
  for (char c : text) {
    if (!IsDigit(c)) ++others;
  }
  return others != 1;
}

}  // namespace tovex
