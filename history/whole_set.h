// The whole log's name set of a history as an update reads and writes it:
// a base set and the delta sets of the updates since, read as one set. An
// update adds its new names as one more delta, a small file, instead of
// rewriting the base; now and then it folds the deltas into a new base.

#ifndef TOVEX_HISTORY_WHOLE_SET_H_
#define TOVEX_HISTORY_WHOLE_SET_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "history/history.h"
#include "history/names_file.h"
#include "platform/worker.h"
#include "sort/merge.h"

namespace tovex {

// Deltas a base keeps at most: each is one more input of every later
// update's merge (base and deltas stay well within kMergeFanIn), and a
// long history, whose base is large, folds once in so many updates.
inline constexpr size_t kMaxDeltaSets = 8;
// The deltas' bytes may grow to this share of the base's (a quarter): a
// delta's byte costs every later update about twice what a byte of a new
// base costs the one update that writes it (bench/README.md), which puts
// the least cost per update near a share of a third, and the fold a day
// earlier.
inline constexpr uint64_t kDeltaBytesPerBase = 4;

// Whether an update writes a new base: none yet, or a base of `base_bytes`
// with `deltas` deltas of `delta_bytes` in all that are too many or too
// large to keep another one beside.
bool FoldWholeSet(uint64_t base_bytes, size_t deltas, uint64_t delta_bytes);

// The old sets folded into a new base on a thread of low priority while
// the run reads its logs, so that the update that would fold them need not
// spend its own time on it. Made and used on one thread; its fields are
// the worker's task's until Take or the destructor has waited for it.
class EarlyFold {
 public:
  // Starts folding `history`'s base and deltas when FoldWholeSet says so
  // and there is a base; else leaves *out empty. `history` must outlive
  // the fold. CannotOpen for a set or the new file that cannot be opened.
  static Status Start(History* history, std::unique_ptr<EarlyFold>* out);
  // Stops a fold under way; a file not taken is removed by the history.
  ~EarlyFold();

  // The new base's name when the fold has ended well, else empty, the
  // fold stopped and waited for (the update then folds as it would have: a
  // damaged set fails it there). Waits for the fold's end only with
  // `wait`.
  std::string Take(bool wait = false);

 private:
  explicit EarlyFold(History* history) : history_(history) {}
  Status Fold();

  History* history_;
  std::vector<std::unique_ptr<NamesReader>> sets_;  // base first
  std::string name_;
  std::unique_ptr<NamesWriter> writer_;
  std::atomic<bool> stop_{false};   // set by the owner's thread
  std::atomic<bool> ended_{false};  // set by the worker when all went well
  std::unique_ptr<Worker> worker_;  // last: ends before the rest goes
};

// One update of the whole log's set. Not thread-safe: made on one thread,
// its records read and its new file written on others, then finished on
// the first once those have ended; each part is one thread's at a time.
class WholeSetUpdate {
 public:
  // Opens the base and deltas `history`'s state names and creates the file
  // the update writes: a new base when FoldWholeSet says so, else a new
  // delta. `history` must outlive the update. CannotOpen for a set that
  // cannot be opened and for the new file; a damaged set fails
  // old_records() with CannotRead.
  static Status Start(History* history, std::unique_ptr<WholeSetUpdate>* out);
  // The same where an EarlyFold has made `early_base` (empty: none) of the
  // old sets: the update reads that alone and adds its delta to it.
  static Status Start(History* history, const std::string& early_base,
                      std::unique_ptr<WholeSetUpdate>* out);

  // Whether out() takes every name of the whole log (a new base) rather
  // than the new names only (a delta).
  bool fold() const { return fold_; }
  // The old sets' records merged, each key once with its counts added.
  // Read once.
  RunSource* old_records() { return old_; }
  // The new file: the records merged with the new names when fold(), else
  // the new names only, in key order.
  RunSink* out() { return writer_.get(); }

  // Closes the new file and names it in the history's state: as the base
  // in place of the old base and deltas, or as one more delta (a delta of
  // no names is left out, and removed by the commit). CannotWrite when any
  // byte was lost.
  Status Finish();

 private:
  WholeSetUpdate(History* history,
                 std::vector<std::unique_ptr<NamesReader>> sets, bool fold);

  History* history_;
  std::vector<std::unique_ptr<NamesReader>> sets_;  // base first
  // Several sets go through a merge; one is read as it is.
  std::unique_ptr<MergedSource> merged_;
  RunSource* old_ = &none_;
  MergedSource none_{std::vector<RunSource*>()};  // no set yet
  const bool fold_;
  std::string early_base_;  // an early fold's new base, to replace the old
  std::string name_;
  std::unique_ptr<NamesWriter> writer_;
};

}  // namespace tovex

#endif  // TOVEX_HISTORY_WHOLE_SET_H_
