// The names of every file the program keeps on disk: the settings file, the
// work files of a job and the report pages. Nothing else spells them.

#ifndef TOVEX_WORK_FILE_NAMES_H_
#define TOVEX_WORK_FILE_NAMES_H_

#include <array>
#include <string>
#include <string_view>

namespace tovex {

// The settings file, in the base directory.
inline constexpr std::string_view kSettingsFileName = "quorvane.ini";

// Work files are numbered in the order a job creates them, never
// zero-padded; the suffix tells the kind.
//
// A sorted run of the name counts spilled when memory filled up.
inline constexpr std::string_view kRunSuffix = "run";
// A merge of runs, when there were more than one merge takes at once.
inline constexpr std::string_view kMergeSuffix = "mrg";
// One month's counts of names, merged into the whole log's at the end.
inline constexpr std::string_view kMonthSuffix = "mon";
// Every suffix, for the removal of a job's files.
inline constexpr std::array<std::string_view, 3> kWorkFileSuffixes = {
    kRunSuffix, kMergeSuffix, kMonthSuffix};

// "<number>.<suffix>", e.g. "3.run".
std::string NumberedName(int number, std::string_view suffix);

// A run's own folder inside the work folder, made fresh for it: the prefix
// of its name.
inline constexpr std::string_view kRunFolderPrefix = "tovex-run-";
// Where a run stages its pages inside the output folder before they are
// put in place; hidden, and readable by its owner alone.
inline constexpr std::string_view kStagingFolderPrefix = ".tovex-new-";
// A staging folder renamed so once its report is committed: its pages go in
// place, by this run or, when it was killed, by the next.
inline constexpr std::string_view kPublishFolderPrefix = ".tovex-done-";
// The names of every page of a committed report, one a line, in its folder.
inline constexpr std::string_view kPageListName = ".pages";

// Report pages, in the output directory.
inline constexpr std::string_view kIndexPageName = "index.html";
// "year-month", no zero padding ("2001-3"): a month's label and page stem.
std::string PeriodLabel(int year, int month);
// "2001-3.html".
std::string MonthPageName(int year, int month);
// "2001-3-15.html".
std::string DayPageName(int year, int month, int day);
// Whether `name` is one a report page can have: kIndexPageName, or a month
// or day page of a year 1..9999 in the digits the job writes. Only such
// files are ever removed from an output folder.
bool IsReportPageName(std::string_view name);

}  // namespace tovex

#endif  // TOVEX_WORK_FILE_NAMES_H_
