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
constexpr size_t kSlotBytes = kScanBlockBytes + kMaxCarryBytes + 1;

// The last line end in p[0, n), or null. Lines are short, so a backward
// walk finds it after a few hundred bytes at most.
const char* LastLineEnd(const char* p, size_t n) {
  while (n > 0) {
    if (p[--n] == '\n') return p + n;
  }
  return nullptr;
}

}  // namespace

LogScanner::LogScanner(ReadableFile* file)
    : file_(file), carry_(new char[kMaxCarryBytes + 1]) {
  for (Slot& slot : slots_) slot.data.reset(new char[kSlotBytes]);
  scanner_ = std::thread(&LogScanner::ScanLoop, this);
}

LogScanner::~LogScanner() {
  {
    MutexLock lock(&mu_);
    stop_ = true;
  }
  changed_.SignalAll();
  scanner_.join();
}

void LogScanner::Fill(Slot* slot) {
  char* buf = slot->data.get();
  size_t size = carry_size_;
  std::memcpy(buf, carry_.get(), carry_size_);
  carry_size_ = 0;
  slot->last = false;
  while (true) {
    if (eof_) {
      // The final line of the file may lack its line end.
      slot->size = size;
      slot->last = true;
      return;
    }
    const size_t start = size;
    const size_t got = file_->Read(buf + start, kScanBlockBytes);
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
      // One line longer than a block reaches: its head is a line of its own.
      buf[kMaxCarryBytes] = '\n';
      slot->size = kMaxCarryBytes + 1;
      skipping_ = true;
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

void LogScanner::Scan(Slot* slot) {
  slot->records.clear();
  slot->lines = 0;
  LineReader lines(std::string_view(slot->data.get(), slot->size),
                   kMaxLogLineBytes);
  std::string_view line;
  LogRecord record;
  while (lines.Next(&line)) {
    ++slot->lines;
    if (ParseCountedLine(line, &record)) {
      slot->records.push_back(record);
    }
  }
}

int LogScanner::FirstFilled(int from) const {
  for (int k = 0; k < kScanSlots; ++k) {
    const int i = (from + k) % kScanSlots;
    if (StateOf(i) == SlotState::kFilled) return i;
  }
  return -1;
}

void LogScanner::ScanClaimed(int i) {
  SetState(i, SlotState::kScanning);
  mu_.Unlock();
  Scan(&slots_[static_cast<size_t>(i)]);
  mu_.Lock();
  SetState(i, SlotState::kScanned);
  changed_.SignalAll();
}

void LogScanner::ScanLoop() {
  // Blocks are filled in ring order; the earliest filled one is scanned
  // first, unless the caller took it.
  int from = 0;
  MutexLock lock(&mu_);
  while (true) {
    int i = -1;
    while (!stop_ && (i = FirstFilled(from)) < 0) changed_.Wait(&mu_);
    if (stop_) return;
    from = (i + 1) % kScanSlots;
    ScanClaimed(i);
  }
}

void LogScanner::FillAhead() {
  while (!filled_last_) {
    {
      MutexLock lock(&mu_);
      if (StateOf(next_fill_) != SlotState::kFree) return;
    }
    // A free slot is the reader's alone until it is handed over.
    Slot* slot = &slots_[static_cast<size_t>(next_fill_)];
    Fill(slot);
    filled_last_ = slot->last;
    {
      MutexLock lock(&mu_);
      SetState(next_fill_, SlotState::kFilled);
    }
    changed_.SignalAll();
    next_fill_ = (next_fill_ + 1) % kScanSlots;
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
      {
        MutexLock lock(&mu_);
        SetState(consuming_, SlotState::kFree);
      }
      if (done_) break;
    }
    consuming_ = (consuming_ + 1) % kScanSlots;
    position_ = 0;
    FillAhead();
    MutexLock lock(&mu_);
    while (StateOf(consuming_) != SlotState::kScanned) {
      // Rather than wait, scan the block needed next or one after it.
      const int i = FirstFilled(consuming_);
      if (i < 0) {
        changed_.Wait(&mu_);
      } else {
        ScanClaimed(i);
      }
    }
  }
  return false;
}

}  // namespace tovex
