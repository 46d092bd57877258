// What the log scanner and the input heads run on a line in place of
// ParseCountedLine when the user chose options that rewrite lines or leave
// them out. The options live above log/ (filter/); log/ knows only this.

#ifndef TOVEX_LOG_LINE_JUDGE_H_
#define TOVEX_LOG_LINE_JUDGE_H_

#include <cstddef>

#include "log/log_line.h"

namespace tovex {

class LineJudge {
 public:
  virtual ~LineJudge() = default;

  // Rewrites the line [line, line + *size) in place (it never grows; *size
  // may shrink) and judges it: whether it counts, into `*record`, whose
  // views point into the rewritten line. An implementation keeps state of
  // its own, so one object serves one thread at a time.
  // REQUIRES: the line is a LineReader's view (at most kMaxLogLineBytes),
  // writable.
  virtual bool Judge(char* line, size_t* size, LogRecord* record) = 0;
};

// The judges of a scan, one per thread that scans (each is used by its
// thread alone). Both null: lines are judged by ParseCountedLine.
struct ScanJudges {
  LineJudge* scanning = nullptr;  // the scanner's own thread
  LineJudge* reading = nullptr;   // the reading thread, when it scans
};

}  // namespace tovex

#endif  // TOVEX_LOG_LINE_JUDGE_H_
