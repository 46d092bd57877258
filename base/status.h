// Failures that travel up from the core to a front end as values.
//
// The core never ends the process. A front end that receives a failed
// Status shows Message() (stderr or a message box) and, where the failure
// ends the run, exits with ExitCode().

#ifndef TOVEX_BASE_STATUS_H_
#define TOVEX_BASE_STATUS_H_

#include <string>
#include <utility>

namespace tovex {

class Status {
 public:
  enum class Code {
    kOk,
    kCannotOpen,        // a file that cannot be opened or created
    kCannotWrite,       // a file opened but not written completely (full disk)
    kCannotRead,        // a read error, or a work file that does not decode
    kCannotMakeFolder,  // a work or output folder that cannot be made
    kCorruptInput,      // a compressed input that does not decompress
    kNoConverter,       // no Shift-JIS converter: no page can be written
    kNotAccessLog,      // the log was refused by the format check
    kBusy,              // another run holds the work or output folder
    kCancelled,         // stopped by a signal (or the window closing)
    kBadSetting,        // a setting or option whose value cannot be used
    kInputInFolder,     // an input that a run would delete or replace
  };

  Status() = default;

  static Status Ok() { return Status(); }
  // `detail`, when given, is the reason (the system's, a decoder's); the
  // message adds it in parentheses.
  static Status CannotOpen(std::string path, std::string detail = {}) {
    return Status(Code::kCannotOpen, std::move(path), std::move(detail));
  }
  static Status CannotWrite(std::string path, std::string detail = {}) {
    return Status(Code::kCannotWrite, std::move(path), std::move(detail));
  }
  static Status CannotRead(std::string path, std::string detail = {}) {
    return Status(Code::kCannotRead, std::move(path), std::move(detail));
  }
  static Status CannotMakeFolder(std::string path, std::string detail = {}) {
    return Status(Code::kCannotMakeFolder, std::move(path), std::move(detail));
  }
  static Status CorruptInput(std::string path, std::string detail) {
    return Status(Code::kCorruptInput, std::move(path), std::move(detail));
  }
  static Status NoConverter() { return Status(Code::kNoConverter, "", ""); }
  // `path` names the refused input; empty when every input was empty.
  static Status NotAccessLog(std::string path) {
    return Status(Code::kNotAccessLog, std::move(path), "");
  }

  static Status Busy(std::string folder) {
    return Status(Code::kBusy, std::move(folder), "");
  }
  // `setting` names the setting or option and its value.
  static Status BadSetting(std::string setting, std::string detail) {
    return Status(Code::kBadSetting, std::move(setting), std::move(detail));
  }
  // `path` names the input; `detail` the folder or page it lies in.
  static Status InputInFolder(std::string path, std::string detail) {
    return Status(Code::kInputInFolder, std::move(path), std::move(detail));
  }
  // `signal`: the number of the signal that stopped the run, 0 for none.
  static Status Cancelled(int signal) {
    Status s(Code::kCancelled, "", "");
    s.signal_ = signal;
    return s;
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // The file the failure is about; empty when none.
  const std::string& path() const { return path_; }
  const std::string& detail() const { return detail_; }

  // The user message (UTF-8), ending in a line end; empty for Ok.
  std::string Message() const;

  // The process exit status for this failure: 0 for Ok, 2 for a setting or
  // input that cannot be used as given, 3 for a refused log, 4 for a busy
  // folder, 128 + the signal for a stop, 1 for every other failure.
  int ExitCode() const;

 private:
  Status(Code code, std::string path, std::string detail)
      : code_(code), path_(std::move(path)), detail_(std::move(detail)) {}

  Code code_ = Code::kOk;
  std::string path_;
  std::string detail_;
  int signal_ = 0;
};

// Evaluates `expr` (a Status) and returns it from the enclosing function when
// it failed.
#define TOVEX_RETURN_IF_ERROR(expr)                    \
  do {                                                 \
    ::tovex::Status tovex_returned_ = (expr);          \
    if (!tovex_returned_.ok()) return tovex_returned_; \
  } while (0)

}  // namespace tovex

#endif  // TOVEX_BASE_STATUS_H_
