// The figures of one report page: counters by day, hour and weekday from the
// period table's cells, and the visitors and rankings of the period's
// distinct names, which arrive aggregated and in name order.

#ifndef TOVEX_TALLY_TALLY_H_
#define TOVEX_TALLY_TALLY_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "log/log_line.h"
#include "sort/aggregator.h"
#include "work/period_table.h"
#include "work/run_file.h"
#include "work/work_folder.h"

namespace tovex {

// Rows a ranking table can hold; a page shows the first rows it asks for.
inline constexpr int kMaxRankRows = 50;
// Room for a ranked text; names are at most 121 bytes.
inline constexpr size_t kRankTextBytes = 127;

// One ranked row. count 0 marks an empty entry (with an empty text).
struct RankEntry {
  std::array<char, kRankTextBytes> text{};
  uint8_t size = 0;
  int64_t count = 0;

  LogText view() const { return LogText{std::string_view(text.data(), size)}; }
  // Sets the text, cut to kRankTextBytes.
  void Assign(std::string_view s, int64_t n);
};

struct RankTable {
  std::array<RankEntry, kMaxRankRows> entries;
};

struct PeriodTally {
  std::array<int64_t, 32> day_count{};  // index 1..31 shown
  std::array<int64_t, 24> hour_count{};
  std::array<int64_t, 7> weekday_count{};  // 0 = Sunday
  int64_t total = 0;                       // sum of hour_count
  int64_t visitors = 0;                    // distinct hosts
  RankTable domains;
  RankTable organisations;
  RankTable contents;
};

// The rows one kind of page shows in each of its ranking tables.
struct RowGroup {
  int domains = 10;
  int organisations = 5;
  int contents = 10;

  bool operator==(const RowGroup&) const = default;
};

// Ranks texts by count in kMaxRankRows rows. A row names the slot its
// text is kept in, so that lifting a row moves a count and a slot number,
// and a text is copied once, when it is taken.
class RankRows {
 public:
  RankRows();

  // Offers one finished run: taken only when it beats the last row
  // strictly, lifted only past strictly smaller counts.
  void Offer(std::string_view text, int64_t count);
  // Hands one organisation down the rows as carriers: each row keeps the
  // better of what it holds and what reaches it (the larger count; the
  // held one on a tie) and passes the other on. REQUIRES: count >= 1.
  void Carry(std::string_view text, int64_t count);
  // Writes the rows to `*table`, empty rows with count 0 and no text, and
  // starts over.
  void TakeInto(RankTable* table);

 private:
  std::array<int64_t, kMaxRankRows> counts_{};  // by row; 0: empty
  std::array<uint8_t, kMaxRankRows> slots_;     // by row
  // One slot more than rows: Carry's text on its way down.
  std::array<RankEntry, kMaxRankRows + 1> texts_;  // their counts unused
  uint8_t spare_ = kMaxRankRows;
};

// Adds the cells of `period` (day `day` only, when it is not 0) to the
// counters and total of `*tally`.
void CountCells(const Period& period, int day, PeriodTally* tally);

// The visitors and rankings of one period, from its names: every host once
// with its accesses, in name order, then every content path likewise.
//
// Domains and contents are ranked as offered (RankRows::Offer). Organisations
// are counted in the order their first host is met, without limit, and ranked
// by an exchange sort over all of them: pass i swaps into position i each
// later organisation whose count is larger than the one held there. Only
// the first kMaxRankRows positions are shown, so those passes are computed
// at once, with kMaxRankRows carriers (RankRows::Carry). Memory stays bounded:
// the organisations spill to `work` beyond `org_bytes`.
class OrganisationRule;
class NameTally {
 public:
  // A host's organisation is its LabelOrganisation, or what `rule` says
  // when given (not owned; it outlives the tally).
  NameTally(WorkFolder* work, size_t org_bytes,
            const OrganisationRule* rule = nullptr);

  Status AddHost(std::string_view host, int64_t count);
  void AddContent(std::string_view path, int64_t count);
  // Fills the visitors and the three rankings of `*tally` and starts over.
  Status Finish(PeriodTally* tally);

 private:
  class Carriers;

  Status RankOrganisations();

  RankRows domains_;
  RankRows contents_;
  RankRows organisation_rows_;
  int64_t visitors_ = 0;
  const OrganisationRule* rule_;
  std::string rule_text_;     // where the rule puts a name it makes
  Aggregator organisations_;  // name -> accesses, first host's number
  Aggregator by_first_;       // first host's number + name -> accesses
};

// The last two dot-separated labels of a host ("a.b.c" gives "b.c"); the
// whole name when it has fewer than two dots. Points into `host`.
std::string_view OrganisationOf(std::string_view host);

// The organisation `host` counts for by its last two labels; empty when it
// counts for none: a numeric IPv4 address (its tail fails
// IsOrganisationName) or an IPv6 one (any host with a colon). Points into
// `host`.
std::string_view LabelOrganisation(std::string_view host);

// False exactly when one byte of `text` is not a digit (the tail "y.z" of a
// numeric address).
bool IsOrganisationName(std::string_view text);

}  // namespace tovex

#endif  // TOVEX_TALLY_TALLY_H_
