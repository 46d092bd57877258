#include "log/log_scanner.h"

#include <cstring>

#include "log/line_reader.h"

namespace tovex {
namespace {

// A partial line longer than this is cut to this many bytes and closed with
// a line end; the rest of it is dropped. The cut line is still longer than
// kMaxLogLineBytes, so the line splitter takes the same head as from the
// whole line.
constexpr size_t kMaxCarryBytes = kMaxLogLineBytes + 1;
// Room for a carried line (with its added line end) ahead of a block.
constexpr size_t kCarryRoomBytes = kMaxCarryBytes + 1;

// The last line end in p[0, n), or null. Lines are short, so a backward
// walk finds it after a few hundred bytes at most.
const char* LastLineEnd(const char* p, size_t n) {
  while (n > 0) {
    if (p[--n] == '\n') return p + n;
  }
  return nullptr;
}

}  // namespace

LogScanner::LogScanner(ReadableFile* file, ScanJudges judges,
                       size_t block_bytes, bool drop_unended,
                       bool read_on_worker)
    : file_(file),
      drop_unended_(drop_unended),
      read_on_worker_(read_on_worker),
      reading_judge_(judges.reading),
      block_bytes_(block_bytes),
      carry_(new char[kMaxCarryBytes + 1]) {
  for (int i = 0; i < kScanSlots; ++i) {
    slots_[static_cast<size_t>(i)].data.reset(
        new char[block_bytes + kCarryRoomBytes]);
    if (read_on_worker) free_.Put(i);
  }
  // A fresh worker takes its first task.
  scanner_.Put([this, judge = judges.scanning] {
    return read_on_worker_ ? ReadAndScanBlocks(judge) : ScanBlocks(judge);
  });
}

LogScanner::~LogScanner() {
  free_.Fail(Status::Cancelled(0));
  unscanned_.Fail(Status::Cancelled(0));
  scanned_.Fail(Status::Cancelled(0));
}

Status LogScanner::ScanBlocks(LineJudge* judge) {
  // In the order filled, unless the reading thread took one first.
  int i;
  while (unscanned_.Take(&i)) {
    Scan(&slots_[static_cast<size_t>(i)], judge);
    unscanned_.Done();
    scanned_.Put(i);
  }
  return Status::Ok();
}

bool LogScanner::ScanWaiting(LineJudge* judge) {
  int i;
  if (!unscanned_.TryTake(&i)) return false;
  Scan(&slots_[static_cast<size_t>(i)], judge);
  unscanned_.Done();
  scanned_.Put(i);
  return true;
}

Status LogScanner::ReadAndScanBlocks(LineJudge* judge) {
  // Every block filled is scanned by someone: here right after it (or an
  // older one the caller has not taken), or by the caller, who looks for
  // one before it waits. The caller hands slots back in the order filled.
  int i;
  while (free_.Take(&i)) {
    Slot* slot = &slots_[static_cast<size_t>(i)];
    Fill(slot);
    free_.Done();
    const bool last = slot->last;
    unscanned_.Put(i);
    ScanWaiting(judge);
    if (last) break;
  }
  while (ScanWaiting(judge)) {
  }
  return Status::Ok();
}

void LogScanner::Fill(Slot* slot) {
  char* buf = slot->data.get();
  size_t size = carry_size_;
  std::memcpy(buf, carry_.get(), carry_size_);
  carry_size_ = 0;
  slot->last = false;
  while (true) {
    if (eof_) {
      // The final line of the file may lack its line end; left for later,
      // nothing of it goes (a long one's head included).
      slot->size = drop_unended_ ? 0 : size;
      slot->last = true;
      return;
    }
    const size_t start = size;
    const size_t got = file_->Read(buf + start, block_bytes_);
    if (got == 0) {
      eof_ = true;
      continue;
    }
    bytes_read_ += got;
    size_t end = start + got;
    if (skipping_) {
      // The tail of an over-long line: dropped up to its line end.
      const void* nl = std::memchr(buf + start, '\n', got);
      if (nl == nullptr) continue;
      skipping_ = false;
      const size_t drop =
          static_cast<size_t>(static_cast<const char*>(nl) - (buf + start)) + 1;
      std::memmove(buf + start, buf + start + drop, end - start - drop);
      end -= drop;
    }
    const char* last_end = LastLineEnd(buf, end);
    if (last_end == nullptr) {
      if (end <= kMaxCarryBytes) {
        size = end;  // too short to judge yet: read on
        continue;
      }
      // One line longer than a block reaches: its head is a line of its
      // own, once its line end is seen where an unended one is left.
      buf[kMaxCarryBytes] = '\n';
      skipping_ = true;
      if (drop_unended_) {
        size = kMaxCarryBytes + 1;
        continue;
      }
      slot->size = kMaxCarryBytes + 1;
      return;
    }
    slot->size = static_cast<size_t>(last_end - buf) + 1;
    size_t rest = end - slot->size;
    if (rest > kMaxCarryBytes) {
      rest = kMaxCarryBytes;
      skipping_ = true;
    }
    std::memcpy(carry_.get(), buf + slot->size, rest);
    carry_size_ = rest;
    if (skipping_) carry_[carry_size_++] = '\n';
    return;
  }
}

void LogScanner::Scan(Slot* slot, LineJudge* judge) {
  slot->records.clear();
  slot->lines = 0;
  char* const data = slot->data.get();
  LineReader lines(std::string_view(data, slot->size), kMaxLogLineBytes);
  std::string_view line;
  LogRecord record;
  if (judge == nullptr) {
    while (lines.Next(&line)) {
      ++slot->lines;
      if (ParseCountedLine(line, &record)) {
        slot->records.push_back(record);
      }
    }
    return;
  }
  while (lines.Next(&line)) {
    ++slot->lines;
    // The reader's views lie in the block; the line's bytes are ours to
    // rewrite, and the reader never looks back at them.
    size_t size = line.size();
    if (judge->Judge(data + (line.data() - data), &size, &record)) {
      slot->records.push_back(record);
    }
  }
}

void LogScanner::FillAhead() {
  while (!filled_last_ && in_flight_ < kScanSlots) {
    Slot* slot = &slots_[static_cast<size_t>(next_fill_)];
    Fill(slot);
    filled_last_ = slot->last;
    unscanned_.Put(next_fill_);  // there is room for every slot
    ++in_flight_;
    next_fill_ = (next_fill_ + 1) % kScanSlots;
  }
}

void LogScanner::AwaitScanned(int i) {
  while (!slots_[static_cast<size_t>(i)].scanned) {
    // Rather than wait, scan the oldest block nobody has taken yet.
    int j;
    if (unscanned_.TryTake(&j)) {
      Scan(&slots_[static_cast<size_t>(j)], reading_judge_);
      unscanned_.Done();
    } else if (scanned_.Take(&j)) {
      scanned_.Done();
    } else {
      return;  // never: the scanner ends only with the scanner object
    }
    slots_[static_cast<size_t>(j)].scanned = true;
  }
}

bool LogScanner::Next(LogRecord* record) {
  while (!done_) {
    if (consuming_ >= 0) {
      Slot& slot = slots_[static_cast<size_t>(consuming_)];
      if (position_ < slot.records.size()) {
        *record = slot.records[position_++];
        return true;
      }
      done_ = slot.last;
      lines_ += slot.lines;
      --in_flight_;
      if (done_) break;
      slot.scanned = false;
      if (read_on_worker_) free_.Put(consuming_);  // room for every slot
    }
    consuming_ = (consuming_ + 1) % kScanSlots;
    position_ = 0;
    if (!read_on_worker_) FillAhead();
    AwaitScanned(consuming_);
  }
  return false;
}

}  // namespace tovex
