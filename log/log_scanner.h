// Finds the counted lines of an access log on two threads: the caller's
// thread reads the file in blocks, a second thread splits each block into
// lines, filters and parses them. The counted lines come back in log order.
// A caller that would wait for a block scans a waiting block itself, so
// that both threads scan when taking the lines is the lighter work. Where
// reading costs work of its own (inflating), the second thread reads too,
// ahead of its scans, and leaves the caller its lines and the scans it
// would otherwise wait for.
//
// Lines are the ones a LineReader with kMaxLogLineBytes hands out: a
// physical line over that length counts by its head, a NUL ends a line's
// content. Memory is fixed: kScanSlots blocks and their parsed records.
//
// With judges (log/line_judge.h), each line is judged by the judge of the
// thread that scans its block, in the block itself, which is the slot's own
// and writable.

#ifndef TOVEX_LOG_LOG_SCANNER_H_
#define TOVEX_LOG_LOG_SCANNER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "log/line_judge.h"
#include "log/log_line.h"
#include "platform/platform.h"
#include "platform/worker.h"

namespace tovex {

// Bytes read from the log at a time.
inline constexpr size_t kScanBlockBytes = 256 * 1024;
// Blocks in flight: one being consumed, one being scanned by each thread,
// one read ahead.
inline constexpr int kScanSlots = 4;

class LogScanner {
 public:
  // Does not take ownership of `file` or the judges, which must outlive the
  // scanner. Reads `block_bytes` at a time. With `drop_unended`, a last
  // line without its line end is not read (it may still be being written).
  // With `read_on_worker`, `file` is read on the scanner's thread: it must
  // never wait for input without end (a pipe), since a scanner that is
  // destroyed waits for the read under way.
  // REQUIRES: both judges or neither; block_bytes > kMaxLogLineBytes.
  explicit LogScanner(ReadableFile* file, ScanJudges judges = {},
                      size_t block_bytes = kScanBlockBytes,
                      bool drop_unended = false, bool read_on_worker = false);
  ~LogScanner();  // Stops and joins the scanning thread.

  LogScanner(const LogScanner&) = delete;
  LogScanner& operator=(const LogScanner&) = delete;

  // The next counted line (IsPageRequest and ParseLogLine both true), or
  // false at the end of the log. `*record` stays valid until the next call.
  bool Next(LogRecord* record);

  // Bytes read from the file so far; once Next has returned false with
  // `read_on_worker`.
  uint64_t bytes_read() const { return bytes_read_; }
  // Lines handed over so far, counted or not (all of them once Next has
  // returned false).
  int64_t lines() const { return lines_; }

 private:
  // A block and what its scan found. A slot is the reading thread's until
  // it goes into unscanned_, the scanning thread's or the reading thread's
  // (whichever takes it) until scanned, and the reading thread's again.
  struct Slot {
    // Complete lines only (the last line of the file may lack its end).
    std::unique_ptr<char[]> data;
    size_t size = 0;
    bool last = false;  // nothing follows this block
    std::vector<LogRecord> records;
    int64_t lines = 0;  // in the block, counted or not
    bool scanned = false;
  };

  // Reads the next block into `slot`, carrying a partial last line over to
  // the next block.
  void Fill(Slot* slot);
  // Fills every free slot ahead of the one being consumed.
  void FillAhead();
  // Judges the block's lines with `judge`, or ParseCountedLine without.
  static void Scan(Slot* slot, LineJudge* judge);
  // Waits until slot `i` is scanned, scanning waiting slots meanwhile.
  void AwaitScanned(int i);
  // The scanner's thread: scans blocks in the order filled; with
  // `read_on_worker`, fills each slot handed back first.
  Status ScanBlocks(LineJudge* judge);
  Status ReadAndScanBlocks(LineJudge* judge);
  // Scans the oldest filled block nobody has taken, if any.
  bool ScanWaiting(LineJudge* judge);

  // The fields below are the reading thread's alone: the caller's, or with
  // read_on_worker_ the scanner's from Fill to end (file_, eof_, carry_,
  // skipping_ and bytes_read_, the reading state) and the caller's for the
  // rest.
  ReadableFile* file_;
  const bool drop_unended_;
  const bool read_on_worker_;
  LineJudge* const reading_judge_;
  const size_t block_bytes_;
  std::array<Slot, kScanSlots> slots_;
  int consuming_ = -1;   // slot whose records Next hands out
  size_t position_ = 0;  // next record of that slot
  int next_fill_ = 0;
  int in_flight_ = 0;  // slots filled and not yet consumed
  bool eof_ = false;
  bool filled_last_ = false;  // the block with `last` has been handed over
  bool done_ = false;         // Next has handed out the last record
  // The partial line at the end of the last block read, and whether the
  // rest of an over-long line is being dropped.
  std::unique_ptr<char[]> carry_;
  size_t carry_size_ = 0;
  bool skipping_ = false;
  uint64_t bytes_read_ = 0;
  int64_t lines_ = 0;

  // Filled slots in the order filled, and the ones the scanning thread
  // scanned, in the same order; with read_on_worker_, the slots consumed,
  // in order, for the scanning thread to fill again.
  Handover<int> unscanned_{kScanSlots};
  Handover<int> scanned_{kScanSlots};
  Handover<int> free_{kScanSlots};
  Worker scanner_{1};  // last: ends before the rest goes
};

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_SCANNER_H_
