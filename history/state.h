// What a history knows, as one text file: the options its figures were
// counted with, the months in the order the log first showed them with
// their accesses by day and hour, the name sets of each day and of the
// whole log, every input stream with where it was read up to, and what was
// last published from it.
//
// The file ("state" in the history folder) is lines of blank-separated
// fields, the first a word saying what the line is; texts are escaped so
// that they hold no blank (%XX). It begins with "tovex-history" and its
// format number and ends with "end". Anything else is damaged: the history
// is refused, never half read.

#ifndef TOVEX_HISTORY_STATE_H_
#define TOVEX_HISTORY_STATE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "log/log_input.h"
#include "platform/platform.h"
#include "tally/tally.h"
#include "work/period_table.h"

namespace tovex {

// The format this program writes and reads.
inline constexpr int kHistoryFormat = 1;

// An input stream read before.
struct StreamRecord {
  // Its first content bytes: how many (up to kIdentityBytes), and their
  // hash.
  uint32_t head_size = 0;
  uint64_t head_hash = 0;
  // Content bytes read, their CRC-32 and their last kCheckBytes.
  uint64_t offset = 0;
  uint32_t crc = 0;
  std::string check;
  std::optional<InputDate> date;  // of its first counted line
  // The months (year × 12 + month - 1) its counted lines fell in, first to
  // last; -1 when none.
  int first_month = -1;
  int last_month = -1;
  std::string name;  // the input it was last read as
};

// A month of the history.
struct PeriodRecord {
  int year = 0;
  int month = 0;
  // The name set file of each day (1..31); empty: no accesses.
  std::array<std::string, 32> day_files;
};

// What was last published from the history.
struct PublishedRecord {
  bool any = false;
  int run_level = 0;
  RowGroup index_rows, month_rows, day_rows;
  FileId output;
  bool json = false;
  bool operator==(const PublishedRecord&) const = default;
};

struct HistoryState {
  std::string options;  // what changes what is counted, as text
  int64_t lines_read = 0;
  int64_t lines_counted = 0;
  int64_t lines_left_out = 0;
  uint64_t generation = 0;  // of the name set files last written
  PublishedRecord published;
  std::string whole_file;  // the whole log's base set; empty: none
  // The delta sets over whole_file, oldest first; none without a base.
  std::vector<std::string> delta_files;
  std::vector<PeriodRecord> periods;
  std::vector<StreamRecord> streams;
};

// Reads the state text from `file` (named `path` in messages) into
// `*state` and the months with their cells into `*periods` (empty before).
// Fails with CannotRead: a read error, a newer format, a damaged file.
Status ReadState(ReadableFile* file, const std::string& path,
                 HistoryState* state, PeriodTable* periods);

// The state text of `state` and the cells of `periods` (the same months),
// written to `file`. CannotWrite naming `path` when not every byte went.
Status WriteState(const HistoryState& state, const PeriodTable& periods,
                  WritableFile* file, const std::string& path);

// Whether `name` is one a name set file of the history can have; only
// such files are ever deleted from a history folder.
bool IsNamesFileName(std::string_view name);

}  // namespace tovex

#endif  // TOVEX_HISTORY_STATE_H_
