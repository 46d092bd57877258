// The names of every file the program keeps on disk: the settings file, the
// work files of a run and the report pages. Nothing else spells them.
//
// Work files are numbered by a period (a month in first-met order, from 1)
// or a day of the month, never zero-padded; the suffix tells the kind.

#ifndef TOVEX_WORK_FILE_NAMES_H_
#define TOVEX_WORK_FILE_NAMES_H_

#include <string>
#include <string_view>

namespace tovex {

// The settings file, in the base directory.
inline constexpr std::string_view kSettingsFileName = "quorvane.ini";

// Host records: each counted line's client host (visitors, domains,
// organisations).
inline constexpr std::string_view kHostSuffix = "dk";
// Content records: each counted line's page path (the content ranking).
inline constexpr std::string_view kContentSuffix = "hk";
// Host records of one day of the month being split into day pages.
inline constexpr std::string_view kDayHostSuffix = "ddy";
// Content records of one day.
inline constexpr std::string_view kDayContentSuffix = "hdy";
// Sorted chunks of the file being sorted, and their merge intermediates.
inline constexpr std::string_view kChunkSuffix = "s";
// The whole log's pair is named by this stem instead of a number.
inline constexpr std::string_view kIndexStem = "index";

// "<number>.<suffix>", e.g. "3.dk"; merge intermediates continue a kind's
// numbering after its inputs.
std::string NumberedName(int number, std::string_view suffix);

// The host and content work files of one scope.
struct WorkPair {
  std::string hosts;
  std::string contents;
};
// "index.dk", "index.hk": the whole log.
WorkPair IndexPair();
// "N.dk", "N.hk": period N (1 = the first month met).
WorkPair PeriodPair(int number);
// "D.ddy", "D.hdy": day D of the month being split.
WorkPair DayPair(int day);

// Report pages, in the output directory.
inline constexpr std::string_view kIndexPageName = "index.html";
// "year-month", no zero padding ("2001-3"): a month's label and page stem.
std::string PeriodLabel(int year, int month);
// "2001-3.html".
std::string MonthPageName(int year, int month);
// "2001-3-15.html".
std::string DayPageName(int year, int month, int day);

}  // namespace tovex

#endif  // TOVEX_WORK_FILE_NAMES_H_
