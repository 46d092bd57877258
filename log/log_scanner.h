// Finds the counted lines of an access log on two threads: the caller's
// thread reads the file in blocks, a second thread splits each block into
// lines, filters and parses them. The counted lines come back in log order.
// A caller that would wait for a block scans a waiting block itself, so
// that both threads scan when taking the lines is the lighter work.
//
// Lines are the ones a LineReader with kMaxLogLineBytes hands out: a
// physical line over that length counts by its head, a NUL ends a line's
// content. Memory is fixed: kScanSlots blocks and their parsed records.

#ifndef TOVEX_LOG_LOG_SCANNER_H_
#define TOVEX_LOG_LOG_SCANNER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "log/log_line.h"
#include "platform/mutex.h"
#include "platform/platform.h"

namespace tovex {

// Bytes read from the log at a time.
inline constexpr size_t kScanBlockBytes = 256 * 1024;
// Blocks in flight: one being consumed, one being scanned by each thread,
// one read ahead.
inline constexpr int kScanSlots = 4;

class LogScanner {
 public:
  // Does not take ownership of `file`, which must outlive the scanner.
  explicit LogScanner(ReadableFile* file);
  ~LogScanner();  // Stops and joins the scanning thread.

  LogScanner(const LogScanner&) = delete;
  LogScanner& operator=(const LogScanner&) = delete;

  // The next counted line (IsPageRequest and ParseLogLine both true), or
  // false at the end of the log. `*record` stays valid until the next call.
  bool Next(LogRecord* record);

  // Bytes read from the file so far.
  uint64_t bytes_read() const { return bytes_read_; }
  // Lines handed over so far, counted or not (all of them once Next has
  // returned false).
  int64_t lines() const { return lines_; }

 private:
  enum class SlotState { kFree, kFilled, kScanning, kScanned };

  // A block and what its scan found. A slot belongs to the reading thread
  // while kFree, to the thread that claimed it while kScanning, and to the
  // caller again once kScanned; only its state is shared.
  struct Slot {
    // Complete lines only (the last line of the file may lack its end).
    std::unique_ptr<char[]> data;
    size_t size = 0;
    bool last = false;  // nothing follows this block
    std::vector<LogRecord> records;
    int64_t lines = 0;  // in the block, counted or not
  };

  // Reads the next block into `slot`, carrying a partial last line over to
  // the next block.
  void Fill(Slot* slot);
  // Fills every free slot ahead of the one being consumed.
  void FillAhead();
  // The scanning thread.
  void ScanLoop();
  static void Scan(Slot* slot);
  // Claims filled slot `i`, scans it with mu_ let go, and hands it over.
  void ScanClaimed(int i) REQUIRES(mu_);
  // The first filled slot from `from` on in ring order, or -1.
  int FirstFilled(int from) const REQUIRES(mu_);
  SlotState StateOf(int i) const REQUIRES(mu_) {
    return states_[static_cast<size_t>(i)];
  }
  void SetState(int i, SlotState state) REQUIRES(mu_) {
    states_[static_cast<size_t>(i)] = state;
  }

  // The fields below mu_ are the reading thread's alone.
  ReadableFile* file_;
  std::array<Slot, kScanSlots> slots_;
  int consuming_ = -1;   // slot whose records Next hands out
  size_t position_ = 0;  // next record of that slot
  int next_fill_ = 0;
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

  Mutex mu_;
  CondVar changed_;
  std::array<SlotState, kScanSlots> states_ GUARDED_BY(mu_){};
  bool stop_ GUARDED_BY(mu_) = false;
  std::thread scanner_;
};

}  // namespace tovex

#endif  // TOVEX_LOG_LOG_SCANNER_H_
