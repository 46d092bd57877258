#include "resolve/name_cache.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/bytes.h"
#include "base/decimal.h"

namespace tovex {
namespace {

constexpr std::string_view kMagic = "tovex-names ";
constexpr std::string_view kTrailer = "end ";
// The longest line: an address, a time and a name with their separators.
constexpr size_t kMaxLineBytes =
    kMaxAddressTextBytes + 1 + kMaxDecimalBytes + 1 + kMaxHostNameBytes + 1;
// One block each way: large reads and writes, few system calls.
constexpr size_t kBlockBytes = 16 * 1024;
// Digits of a time or a count the reader takes: beyond any Unix time in
// seconds, and no overflow of int64_t.
constexpr size_t kMaxDigits = 18;

struct Mark {
  NameOutcome outcome;
  std::string_view text;
};
constexpr Mark kMarks[] = {
    {NameOutcome::kNoName, "!none"},
    {NameOutcome::kUnconfirmed, "!unconfirmed"},
    {NameOutcome::kBadName, "!bad"},
};

// Parses a run of 1..kMaxDigits digits that is all of `text`.
bool ParseCount(std::string_view text, int64_t* value) {
  if (text.empty() || text.size() > kMaxDigits) return false;
  int64_t v = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// Splits `*line` at the first blank: `*field` takes what is before it.
bool NextField(std::string_view* line, std::string_view* field) {
  const size_t blank = line->find(' ');
  if (blank == std::string_view::npos) return false;
  *field = line->substr(0, blank);
  line->remove_prefix(blank + 1);
  return true;
}

}  // namespace

bool IsFresh(const NameEntry& entry, int64_t now) {
  const int64_t lifetime = entry.outcome == NameOutcome::kConfirmed
                               ? kNameLifetimeSeconds
                               : kFailureLifetimeSeconds;
  return entry.outcome != NameOutcome::kUnanswered && entry.time <= now &&
         now - entry.time < lifetime;
}

// --- reader ------------------------------------------------------------------

NameCacheReader::NameCacheReader(std::unique_ptr<ReadableFile> file,
                                 std::string name)
    : file_(std::move(file)),
      name_(std::move(name)),
      buf_(new char[kBlockBytes]) {}

NameCacheReader::~NameCacheReader() = default;

Status NameCacheReader::Open(std::unique_ptr<ReadableFile> file,
                             std::string name,
                             std::unique_ptr<NameCacheReader>* reader) {
  std::unique_ptr<NameCacheReader> r(
      new NameCacheReader(std::move(file), std::move(name)));
  TOVEX_RETURN_IF_ERROR(r->ReadHeader());
  *reader = std::move(r);
  return Status::Ok();
}

Status NameCacheReader::ReadHeader() {
  std::string_view line;
  if (!NextLine(&line)) {
    return file_->error().empty()
               ? Status::CannotRead(name_, "not a name cache")
               : status_;
  }
  // A newer format may say more after its number.
  const std::string_view rest =
      line.substr(std::min(line.size(), kMagic.size()));
  const std::string_view number = rest.substr(0, rest.find(' '));
  int64_t format = 0;
  if (!line.starts_with(kMagic) || !ParseCount(number, &format)) {
    return Status::CannotRead(name_, "not a name cache");
  }
  if (format > kNameCacheFormat) {
    return Status::CannotRead(name_, "format " + DecimalText(format) +
                                         " is newer than " +
                                         DecimalText(kNameCacheFormat));
  }
  if (format != kNameCacheFormat || number.size() != rest.size()) {
    return Status::CannotRead(name_, "not a name cache");
  }
  return Status::Ok();
}

Status NameCacheReader::Rewind() {
  begin_ = end_ = 0;
  eof_ = done_ = false;
  line_number_ = entries_ = 0;
  last_size_ = 0;
  status_ = Status::Ok();
  status_ = file_->Rewind() ? ReadHeader()
                            : Status::CannotRead(name_, "cannot rewind");
  done_ = !status_.ok();
  return status_;
}

bool NameCacheReader::NextLine(std::string_view* line) {
  for (;;) {
    const char* lf = FindByte(buf_.get() + begin_, buf_.get() + end_, '\n');
    if (lf != nullptr) {
      *line = std::string_view(buf_.get() + begin_,
                               static_cast<size_t>(lf - buf_.get()) - begin_);
      begin_ = static_cast<size_t>(lf - buf_.get()) + 1;
      ++line_number_;
      return true;
    }
    if (eof_ || end_ - begin_ > kMaxLineBytes) {
      // A line too long, or without its LF.
      if (end_ > begin_ && status_.ok()) {
        ++line_number_;
        Damaged();
      }
      return false;
    }
    std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    const size_t got = file_->Read(buf_.get() + end_, kBlockBytes - end_);
    if (got == 0) {
      eof_ = true;
      if (!file_->error().empty()) {
        status_ = Status::CannotRead(name_, file_->error());
        return false;
      }
    }
    end_ += got;
  }
}

bool NameCacheReader::Damaged() {
  status_ = Status::CannotRead(
      name_,
      "damaged at line " + DecimalText(static_cast<int64_t>(line_number_)));
  done_ = true;
  return false;
}

bool NameCacheReader::Next(NameEntry* entry) {
  if (done_ || !status_.ok()) return false;
  std::string_view line;
  if (!NextLine(&line)) {
    done_ = true;
    if (status_.ok()) status_ = Status::CannotRead(name_, "cut short");
    return false;
  }
  if (line.starts_with(kTrailer)) {
    done_ = true;
    return AtTrailer(line) ? false : Damaged();
  }
  if (!ParseEntry(line, entry)) return Damaged();
  ++entries_;
  return true;
}

bool NameCacheReader::AtTrailer(std::string_view line) {
  int64_t count = 0;
  std::string_view rest;
  return ParseCount(line.substr(kTrailer.size()), &count) &&
         static_cast<uint64_t>(count) == entries_ && !NextLine(&rest) &&
         status_.ok();
}

bool NameCacheReader::ParseEntry(std::string_view line, NameEntry* entry) {
  std::string_view address, time;
  if (!NextField(&line, &address) || !NextField(&line, &time)) return false;
  const std::string_view previous(last_, last_size_);
  if (!IsNumericAddress(address) || address <= previous ||
      !ParseCount(time, &entry->time)) {
    return false;
  }
  std::memcpy(last_, address.data(), address.size());
  last_size_ = address.size();
  entry->address = address;
  entry->name = std::string_view();
  entry->looked_up = false;
  for (const Mark& mark : kMarks) {
    if (line == mark.text) {
      entry->outcome = mark.outcome;
      return true;
    }
  }
  entry->outcome = NameOutcome::kConfirmed;
  entry->name = line;
  return IsNormalHostName(line);
}

// --- writer ------------------------------------------------------------------

NameCacheWriter::NameCacheWriter(std::unique_ptr<WritableFile> file,
                                 std::string name)
    : file_(std::move(file)),
      name_(std::move(name)),
      buf_(new char[kBlockBytes]) {
  Append(kMagic);
  Append(DecimalText(kNameCacheFormat));
  Append("\n");
}

NameCacheWriter::~NameCacheWriter() {
  if (file_) Close();
}

bool NameCacheWriter::Acceptable(const NameEntry& entry) const {
  if (entry.time < 0 || entries_ >= kMaxCacheEntries) {
    return false;
  }
  if (entry.address <= std::string_view(last_, last_size_) ||
      !IsNumericAddress(entry.address)) {
    return false;
  }
  return entry.outcome != NameOutcome::kConfirmed ||
         IsNormalHostName(entry.name);
}

Status NameCacheWriter::Take(const NameEntry& entry) {
  if (failed_) return Status::CannotWrite(name_, error_);
  if (entry.outcome == NameOutcome::kUnanswered) return Status::Ok();
  if (!Acceptable(entry)) {
    ++left_out_;
    return Status::Ok();
  }
  std::memcpy(last_, entry.address.data(), entry.address.size());
  last_size_ = entry.address.size();
  ++entries_;
  if (kBlockBytes - used_ < kMaxLineBytes) Flush();
  char digits[kMaxDecimalBytes];
  Append(entry.address);
  Append(" ");
  Append(std::string_view(
      digits, static_cast<size_t>(AppendDecimal(digits, entry.time) - digits)));
  Append(" ");
  if (entry.outcome == NameOutcome::kConfirmed) {
    Append(entry.name);
  } else {
    for (const Mark& mark : kMarks) {
      if (mark.outcome == entry.outcome) Append(mark.text);
    }
  }
  Append("\n");
  return failed_ ? Status::CannotWrite(name_, error_) : Status::Ok();
}

void NameCacheWriter::Append(std::string_view bytes) {
  std::memcpy(buf_.get() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

void NameCacheWriter::Flush() {
  if (used_ > 0 && !failed_ && !file_->Write(buf_.get(), used_)) {
    failed_ = true;
    error_ = file_->error();
  }
  used_ = 0;
}

Status NameCacheWriter::Close() {
  if (file_) {
    Flush();
    Append(kTrailer);
    Append(DecimalText(static_cast<int64_t>(entries_)));
    Append("\n");
    Flush();
    if (!file_->Close() && !failed_) {
      failed_ = true;
      error_ = file_->error();
    }
    file_.reset();
  }
  return failed_ ? Status::CannotWrite(name_, error_) : Status::Ok();
}

}  // namespace tovex
