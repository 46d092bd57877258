#include "log/log_check.h"

#include <memory>

#include "base/bytes.h"
#include "log/line_reader.h"
#include "log/log_line.h"

namespace tovex {

bool LooksLikeLogLine(std::string_view line) {
  return SkipPatternInOrder(line.data(), line.data() + line.size(),
                            LogLinePattern) != nullptr;
}

Status IsAccessLog(const Context& ctx, const std::string& path, bool* is_log) {
  std::unique_ptr<ReadableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, &file));
  // The lines are cut exactly as the job will read them, so a long first
  // line is judged by the same head the job later parses.
  LineReader reader(file.get(), kMaxLogLineBytes);
  std::string_view line;
  int lines = 0;
  while (lines < kLinesChecked && reader.Next(&line)) {
    if (!LooksLikeLogLine(line)) {
      *is_log = false;
      return Status::Ok();
    }
    ++lines;
  }
  *is_log = lines > 0;
  return Status::Ok();
}

}  // namespace tovex
