// Whether an input is an access log at all, judged by its first lines
// (log_input.h reads them).

#ifndef TOVEX_LOG_LOG_CHECK_H_
#define TOVEX_LOG_LOG_CHECK_H_

#include <string_view>

namespace tovex {

// How many leading lines are judged.
inline constexpr int kLinesChecked = 5;

// Punctuation of a common-log line, matched in order: blank, ident dash,
// blank, user dash, blank, the bracketed time stamp and the blank after it.
inline constexpr std::string_view LogLinePattern = " - - [//:::] ";

// True when `line` contains LogLinePattern in order (other bytes between).
bool LooksLikeLogLine(std::string_view line);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_CHECK_H_
