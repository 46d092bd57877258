#include "base/status.h"

#include "base/texts.h"

namespace tovex {
namespace {

UserText TextOf(Status::Code code, bool named) {
  switch (code) {
    case Status::Code::kCannotOpen:
      return UserText::kCannotOpen;
    case Status::Code::kCannotWrite:
      return UserText::kCannotWrite;
    case Status::Code::kCannotRead:
      return UserText::kCannotRead;
    case Status::Code::kCannotMakeFolder:
      return UserText::kCannotMakeFolder;
    case Status::Code::kCorruptInput:
      return UserText::kCorruptInput;
    case Status::Code::kNoConverter:
      return UserText::kNoConverter;
    case Status::Code::kBusy:
      return UserText::kBusyFolder;
    case Status::Code::kCancelled:
      return UserText::kStopped;
    case Status::Code::kBadSetting:
      return UserText::kBadSetting;
    case Status::Code::kInputInFolder:
      return UserText::kInputInFolder;
    case Status::Code::kOk:
    case Status::Code::kNotAccessLog:
      break;
  }
  return named ? UserText::kInputNotAccessLog : UserText::kNotAccessLog;
}

}  // namespace

std::string Status::Message() const {
  if (ok()) return std::string();
  std::string text =
      code_ == Code::kCancelled
          ? FormatText(UserText::kStopped, signal_)
          : FormatText(TextOf(code_, !path_.empty()), path_.c_str());
  if (!detail_.empty()) text += " (" + detail_ + ")";
  return text + "\n";
}

int Status::ExitCode() const {
  switch (code_) {
    case Code::kOk:
      return 0;
    case Code::kBadSetting:
    case Code::kInputInFolder:
      return 2;
    case Code::kNotAccessLog:
      return 3;
    case Code::kBusy:
      return 4;
    case Code::kCancelled:
      return 128 + signal_;
    default:
      return 1;
  }
}

}  // namespace tovex
