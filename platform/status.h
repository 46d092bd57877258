// Failures that travel up from the core to a front end as values.
//
// The core never ends the process. A front end that receives a failed
// Status shows Message() (stderr or a message box) and ends the process with
// ExitCode().

#ifndef TOVEX_PLATFORM_STATUS_H_
#define TOVEX_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace tovex {

class Status {
 public:
  enum class Code { kOk, kCannotOpen, kCannotWrite };

  Status() = default;

  static Status Ok() { return Status(); }
  // A file that cannot be opened (or created) under `path`.
  static Status CannotOpen(std::string path) {
    return Status(Code::kCannotOpen, std::move(path));
  }
  // A file that was opened but could not be written completely (a full disk,
  // for example). Reported instead of leaving a cut page behind silently.
  static Status CannotWrite(std::string path) {
    return Status(Code::kCannotWrite, std::move(path));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& path() const { return path_; }

  // The user message, UTF-8, ending in "\n" like the original format.
  std::string Message() const;

  // Process exit status a front end uses for this failure: 1 for every
  // failure, never 0.
  int ExitCode() const { return ok() ? 0 : 1; }

 private:
  Status(Code code, std::string path) : code_(code), path_(std::move(path)) {}

  Code code_ = Code::kOk;
  std::string path_;
};

// Evaluates `expr` (a Status) and returns it from the enclosing function when
// it failed.
#define TOVEX_RETURN_IF_ERROR(expr) \
  do {                              \
    ::tovex::Status _st = (expr);   \
    if (!_st.ok()) return _st;      \
  } while (0)

}  // namespace tovex

#endif  // TOVEX_PLATFORM_STATUS_H_
