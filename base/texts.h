// Every text the program says to its user, outside the report pages: the
// status texts of a run and the messages, kept as UTF-8 in one table. The
// front ends and the job take them from here; the page texts have their own
// table (report/page_text.h), since they are converted to Shift-JIS.
//
// A text may hold printf conversions; UserText's comments name them.

#ifndef TOVEX_BASE_TEXTS_H_
#define TOVEX_BASE_TEXTS_H_

#include <cstdarg>
#include <string>
#include <string_view>

namespace tovex {

enum class UserText {
  // Status texts.
  kHello,            // the window's idle text
  kRunning,          // first text of every run
  kProcessing,       // %d-%d: year, month of a new month (run level 0)
  kMakingTempFile,   // %d-%d: year, month (run levels 1 and 2)
  kMakingDayPage,    // %d-%d-%d: year, month, day
  kMakingMonthPage,  // %s: period label
  kMakingIndexPage,  //
  kFinished,         // %6.0f: seconds taken
  kResolving,        // the client addresses are looked up
  // Messages.
  kCannotOpen,         // %s: path
  kCannotWrite,        // %s: path
  kCannotRead,         // %s: path
  kCannotMakeFolder,   // %s: path
  kCorruptInput,       // %s: the compressed input
  kNoConverter,        // the machine cannot make Shift-JIS pages
  kNotAccessLog,       //
  kInputNotAccessLog,  // %s: the refused input
  kEmptyInput,         // %s: an input without a byte, passed over
  kBusyFolder,         // %s: a folder another run holds
  kStopped,            // %d: the signal that stopped the run
  kNoDisplay,          // the index page cannot be opened without a desktop
  kNoWindow,           // the window cannot start without a desktop
  kSummary,            // %lld: lines read, page requests counted, the rest
  kBusy,               // a run is going on
  kNoBrowser,          // the index page could not be opened
  kMonthsLeftOut,      // %d: month limit, %lld: lines
  kExitQuestion,       // the window's question before closing
  kTooLong,            // %d: characters allowed in a settings box
  kBadSetting,         // %s: the setting and its value
  kInputInFolder,      // %s: the input
  kStreamCountedAgain,  // %s: an input read as new though its months were
  kHistoryFolderShared,  // the history folder is the work or output folder
  kHistoryOtherOptions,  // %s %s: the history's counting options, the run's
  kNoAgents,           // %lld: page requests without a user agent
  // Added to kSummary for each line option on.
  kOptionLeftOut,  // %s: the option, %lld: lines it left out
  kOptionRewrote,  // %s: the option, %lld: counted lines it changed
  kUnanswered,     // %lld: addresses DNS did not answer in time
  kDnsCacheIgnored,  // %s: why the name cache could not be used
};

// The UTF-8 text, conversions unfilled.
std::string_view TextOf(UserText t);

// The text with its conversions filled, printf-style.
// REQUIRES: the arguments match the conversions of `t`.
std::string FormatText(UserText t, ...);
std::string FormatTextV(UserText t, va_list args);

}  // namespace tovex

#endif  // TOVEX_BASE_TEXTS_H_
