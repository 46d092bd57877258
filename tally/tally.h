// The figures of one report page, counted from a period's two sorted work
// files: a host file and a content file.

#ifndef TOVEX_TALLY_TALLY_H_
#define TOVEX_TALLY_TALLY_H_

#include <array>
#include <cstdint>
#include <string_view>

#include "base/status.h"
#include "log/log_line.h"
#include "work/file_names.h"
#include "work/work_file.h"

namespace tovex {

// Rows a ranking table can show.
inline constexpr int kMaxRankRows = 50;
// Distinct organisations counted per page; later ones are left out.
inline constexpr int kMaxOrganisations = 1000;
// Room for a ranked text; work-file names are at most 121 bytes.
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

struct OrganisationTable {
  std::array<RankEntry, kMaxOrganisations> entries;
};

struct PeriodTally {
  std::array<int64_t, 32> day_count{};  // index 1..31 shown
  std::array<int64_t, 24> hour_count{};
  std::array<int64_t, 7> weekday_count{};  // 0 = Sunday
  int64_t total = 0;                       // sum of hour_count
  int64_t visitors = 0;                    // distinct hosts
  RankTable domains;
  OrganisationTable organisations;
  RankTable contents;
};

// The rows one kind of page shows in each of its ranking tables.
struct RowGroup {
  int domains = 10;
  int organisations = 5;
  int contents = 10;

  bool operator==(const RowGroup&) const = default;
};

// Counts the two sorted work files of `pair` into `*tally` (cleared first).
// A record whose day, hour or weekday lies outside its counter's range is
// counted in the totals and rankings but not in that counter. Fails with
// CannotOpen when a file cannot be opened.
// REQUIRES: every row count of `rows` in 1..kMaxRankRows.
Status TallyPeriod(const WorkDir& work, const WorkPair& pair,
                   const RowGroup& rows, PeriodTally* tally);

// Offers one finished run to the first `n` entries of `table`: taken only
// when it beats entry n-1 strictly, lifted only past strictly smaller counts.
// Returns true when taken. REQUIRES: 1 <= n <= kMaxRankRows.
bool InsertRanked(RankTable* table, const RankEntry& entry, int n);

// Puts the k largest counts of entries[0..size) into positions 0..k-1 by the
// exchange procedure (for i < k, for j > i: swap when count[i] < count[j]).
// REQUIRES: k <= size.
void SortTopEntries(RankEntry* entries, int k, int size);

// The last two dot-separated labels of a host ("a.b.c" gives "b.c"); the
// whole name when it has fewer than two dots. Points into `host`.
std::string_view OrganisationOf(std::string_view host);

// False exactly when one byte of `text` is not a digit (the tail "y.z" of a
// numeric address).
bool IsOrganisationName(std::string_view text);

}  // namespace tovex

#endif  // TOVEX_TALLY_TALLY_H_
