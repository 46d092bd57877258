#include "base/status.h"

#include "base/texts.h"

namespace tovex {

std::string Status::Message() const {
  switch (code_) {
    case Code::kOk:
      return std::string();
    case Code::kCannotOpen:
      return FormatText(UserText::kCannotOpen, path_.c_str());
    case Code::kCannotWrite:
      return FormatText(UserText::kCannotWrite, path_.c_str());
    case Code::kCannotRead:
      return FormatText(UserText::kCannotRead, path_.c_str());
    case Code::kNoConverter:
      return std::string(TextOf(UserText::kNoConverter));
    case Code::kNotAccessLog:
      return std::string(TextOf(UserText::kNotAccessLog)) + "\n";
  }
  return std::string();
}

int Status::ExitCode() const {
  switch (code_) {
    case Code::kOk:
      return 0;
    case Code::kNotAccessLog:
      return 3;
    default:
      return 1;
  }
}

}  // namespace tovex
