// Whether a chosen file is an access log at all, judged by its first lines.

#ifndef TOVEX_LOG_LOG_CHECK_H_
#define TOVEX_LOG_LOG_CHECK_H_

#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/platform.h"

namespace tovex {

// How many leading lines are judged.
inline constexpr int kLinesChecked = 5;

// Punctuation of a common-log line, matched in order: blank, ident dash,
// blank, user dash, blank, the bracketed time stamp and the blank after it.
inline constexpr std::string_view LogLinePattern = " - - [//:::] ";

// True when `line` contains LogLinePattern in order (other bytes between).
bool LooksLikeLogLine(std::string_view line);

// Sets `*is_log` to true when each of the first lines of the file (at least
// one, at most kLinesChecked; read as the job reads them) looks like a log
// line. Fails with CannotOpen when the file cannot be opened.
Status IsAccessLog(const Context& ctx, const std::string& path, bool* is_log);

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_CHECK_H_
