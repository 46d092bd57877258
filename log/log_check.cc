#include "log/log_check.h"

#include "base/bytes.h"

namespace tovex {

bool LooksLikeLogLine(std::string_view line) {
  return SkipPatternInOrder(line.data(), line.data() + line.size(),
                            LogLinePattern) != nullptr;
}

}  // namespace tovex
