// The folders a run holds while it runs: the work and output folders as the
// settings name them, opened once and locked so that no other run shares
// them, and its own work folder and page staging folder inside them. Not
// part of the job's interface (see job.h).

#ifndef TOVEX_JOB_RUN_FOLDERS_H_
#define TOVEX_JOB_RUN_FOLDERS_H_

#include <memory>
#include <vector>

#include "base/status.h"
#include "log/log_input.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "work/work_folder.h"

namespace tovex {

struct RunFolders {
  std::unique_ptr<Folder> work_dir;
  std::unique_ptr<Folder> html_dir;  // may be the work folder itself
  std::vector<std::unique_ptr<FolderLock>> locks;
  std::unique_ptr<WorkFolder> work;
  std::unique_ptr<PageFolder> pages;
};

// Makes the work and output folders where missing, opens and locks them.
// Fails with Busy when another run holds one, BadSetting for the root of
// the file system, CannotMakeFolder or CannotOpen.
Status LockFolders(const Context& ctx, const Settings& settings,
                   RunFolders* folders);

// Fails with InputInFolder when an input of `log` is a file the run would
// replace or delete: a report page, or a file in a leftover folder.
Status CheckInputs(const RunFolders& folders, const InputLog& log);

// Completes an interrupted publish, clears what killed runs left and makes
// the run's own work and staging folders. REQUIRES: LockFolders succeeded.
Status PrepareFolders(const Context& ctx, RunFolders* folders);

}  // namespace tovex

#endif  // TOVEX_JOB_RUN_FOLDERS_H_
