// A history folder, held for one run: made where missing (mode 0700),
// locked like the work and output folders, its state read; what the run
// adds is committed in one step, by renaming a new state over the old one
// once every file it names is on the disk. A run that fails, is stopped or
// killed at any moment leaves the history as it was.
//
// The folder holds "state" (history/state.h) and the name set files it
// names (history/names_file.h). Files that could be a history's and that
// no state on the disk names (what a killed run left, what older states
// named) are removed by a commit; a run that fails removes only its own.

#ifndef TOVEX_HISTORY_HISTORY_H_
#define TOVEX_HISTORY_HISTORY_H_

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/status.h"
#include "history/state.h"
#include "platform/platform.h"
#include "work/period_table.h"

namespace tovex {

class History {
 public:
  // Opens the history folder `path` and reads its state, the months with
  // their cells into `*periods` (empty before). With `rebuild` the state is
  // taken as empty; the old files go once a new state is committed. Fails
  // with Busy when another run holds it; CannotMakeFolder or CannotOpen for
  // the folder (a link, another user's folder); CannotRead for a damaged
  // state or one of a newer format.
  static Status Open(const Context& ctx, const std::string& path,
                     bool rebuild, PeriodTable* periods,
                     std::unique_ptr<History>* history);
  // Removes the files made for a commit that did not come.
  ~History();

  HistoryState& state() { return state_; }
  Folder* folder() const { return folder_.get(); }
  const Context& context() const { return ctx_; }
  // Whether the state holds anything yet.
  bool empty() const {
    return state_.streams.empty() && state_.periods.empty();
  }

  // The name of a new name set file for `what` ("whole", "2024-11-5");
  // removed again when the object goes away before a Commit.
  std::string NewFile(std::string_view what);

  // Makes state() (with the cells of `periods`) the history's; the files
  // it no longer names are removed when the history is opened next.
  // CannotWrite when it cannot be written; the history is then as it was.
  Status Commit(const PeriodTable& periods);

 private:
  History(const Context& ctx, std::unique_ptr<Folder> folder,
          std::unique_ptr<FolderLock> lock)
      : ctx_(ctx), folder_(std::move(folder)), lock_(std::move(lock)) {}
  // The name set files the state names.
  std::unordered_set<std::string> Named() const;
  // Removes the name set files neither the state nor kept_ names.
  void RemoveUnnamed();

  const Context ctx_;
  std::unique_ptr<Folder> folder_;
  std::unique_ptr<FolderLock> lock_;
  HistoryState state_;
  std::vector<std::string> uncommitted_;  // names NewFile gave
  // The files of the state on the disk, kept until a newer one surely is.
  std::unordered_set<std::string> kept_;
};

}  // namespace tovex

#endif  // TOVEX_HISTORY_HISTORY_H_
