// The cache of reverse lookups that the runs of one site share: a text file
// of entries sorted by address, so that a run joins it with its own sorted
// addresses in one pass and keeps none of it in memory.
//
//   tovex-names 1                      header: the format number
//   192.0.2.1 1718000000 host.example.jp
//   192.0.2.7 1718000000 !none         failure marks: !none (no name),
//   2001:db8::5 1718000000 !bad        !unconfirmed, !bad (bad name)
//   end 3                              trailer: the number of entries
//
// Each entry line is the address text, the Unix time of the answer and the
// confirmed name or a failure mark, separated by one blank, addresses in
// strictly increasing byte order. Unanswered lookups are never stored. A
// mark starts with "!", which no host name holds. The trailer tells a file
// cut short at a line end from a whole one.
//
// The caller decides where the file lives: the writer writes any
// WritableFile (a new file beside the old one, published by rename once
// Close succeeds), the reader reads any ReadableFile.

#ifndef TOVEX_RESOLVE_NAME_CACHE_H_
#define TOVEX_RESOLVE_NAME_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "platform/platform.h"
#include "resolve/host_name.h"
#include "resolve/name_entry.h"

namespace tovex {

inline constexpr int kNameCacheFormat = 1;
// A name is reused for a week: hosts keep their names far longer, and a
// site's regular visitors come back within the week.
inline constexpr int64_t kNameLifetimeSeconds = 7 * 24 * 3600;
// A failure is retried after a day: a missing or broken PTR record is often
// fixed, and a day's runs need not ask again.
inline constexpr int64_t kFailureLifetimeSeconds = 24 * 3600;
// Entries a cache file holds at most (about 40 MB). Far more than the
// lookups a run's time budget allows in a week, so only a damaged or
// hostile history reaches it; entries beyond it, the highest addresses, are
// left out and looked up again when seen.
inline constexpr uint64_t kMaxCacheEntries = 1000000;

// True when `entry` (not unanswered) may be reused at `now`: younger than
// its lifetime, and not from the future (a clock set back would otherwise
// keep it for good).
bool IsFresh(const NameEntry& entry, int64_t now);

class NameCacheReader : public NameSource {
 public:
  // Reads the header of `file`; `name` (its path) is for messages. Fails
  // with CannotRead(name, reason) for a read error, a file that is no name
  // cache ("not a name cache") or one of a newer format ("format N is newer
  // than 1"): the caller then has no entries and carries on as without a
  // cache.
  static Status Open(std::unique_ptr<ReadableFile> file, std::string name,
                     std::unique_ptr<NameCacheReader>* reader);
  ~NameCacheReader() override;

  // The next entry, each checked as if the file were hostile: a numeric
  // address above the one before, a time, a normalised host name or a mark.
  // False at the trailer, or at the first line that fails, when status()
  // becomes CannotRead(name, "damaged at line N") or (no trailer) "cut
  // short": the entries handed out before stay good.
  bool Next(NameEntry* entry) override;
  Status status() const override { return status_; }

  // Back before the first entry; CannotRead when the file cannot rewind
  // (a pipe).
  Status Rewind();

 private:
  NameCacheReader(std::unique_ptr<ReadableFile> file, std::string name);
  Status ReadHeader();
  // The next line without its LF, or false at the end of the file.
  bool NextLine(std::string_view* line);
  bool Damaged();
  bool ParseEntry(std::string_view line, NameEntry* entry);
  bool AtTrailer(std::string_view line);

  std::unique_ptr<ReadableFile> file_;
  std::string name_;
  std::unique_ptr<char[]> buf_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool done_ = false;
  uint64_t line_number_ = 0;
  uint64_t entries_ = 0;
  char last_[kMaxAddressTextBytes];
  size_t last_size_ = 0;
  Status status_;
};

class NameCacheWriter : public NameSink {
 public:
  // Writes the header into `file`; `name` (its path) is for messages.
  NameCacheWriter(std::unique_ptr<WritableFile> file, std::string name);
  ~NameCacheWriter() override;  // Closes without reporting.

  // Writes `entry` unless it is unanswered; leaves it out (left_out()
  // counts it) when it is beyond kMaxCacheEntries or would make a file the
  // reader refuses: an address that is not numeric or not above the last
  // one, a negative time, a confirmed name that is not a normalised host
  // name.
  // CannotWrite once a write failed.
  Status Take(const NameEntry& entry) override;
  // Writes the trailer and closes; CannotWrite when any byte was lost.
  Status Close();

  uint64_t entries() const { return entries_; }
  uint64_t left_out() const { return left_out_; }

 private:
  bool Acceptable(const NameEntry& entry) const;
  void Append(std::string_view bytes);
  void Flush();

  std::unique_ptr<WritableFile> file_;
  std::string name_;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  uint64_t entries_ = 0;
  uint64_t left_out_ = 0;
  char last_[kMaxAddressTextBytes];
  size_t last_size_ = 0;
  bool failed_ = false;
  std::string error_;
};

}  // namespace tovex

#endif  // TOVEX_RESOLVE_NAME_CACHE_H_
