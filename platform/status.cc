#include "platform/status.h"

namespace tovex {

std::string Status::Message() const {
  switch (code_) {
    case Code::kOk:
      return std::string();
    case Code::kCannotOpen:
      return path_ + " ファイルを開けません!!\n";
    case Code::kCannotWrite:
      return path_ + " ファイルに書き込めません!!\n";
  }
  return std::string();
}

}  // namespace tovex
