// The folders a run writes into: its own private folder inside the work
// folder, where its runs live, and the output folder, where its pages are
// staged and then put in place together.
//
// Both assume the folders may be hostile: files are only ever created new
// (a planted link is never followed), inside folders made fresh for the run
// and readable by its owner alone; pages reach the output folder by rename,
// which replaces a link rather than writing through it; only report-named
// files are ever removed there. Whatever is left of a run that was killed
// goes at the start of the next.

#ifndef TOVEX_WORK_WORK_FOLDER_H_
#define TOVEX_WORK_WORK_FOLDER_H_

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/platform.h"
#include "platform/worker.h"

namespace tovex {

// The directory a directory setting names, with its trailing separator: a
// value that begins with a separator is absolute, any other is taken from
// the base directory; the trailing separator may be missing ("stats"). A
// backslash is a separator too, so settings written on Windows load
// unchanged.
std::string DirectoryPath(const Context& ctx, std::string_view dir);

// DirectoryPath(dir) + name.
std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name);

// Makes the directory `path` (with its trailing separator) and every missing
// parent. Fails with CannotMakeFolder naming it.
Status MakeFolder(const Context& ctx, const std::string& path);

// Removes `dir` (with its trailing separator) and the files in it.
void RemoveFolder(const Context& ctx, const std::string& dir);

// A run's own folder inside the work folder; removed with everything in it
// when the object goes away.
class WorkFolder {
 public:
  // Removes the folders of earlier runs from `work_dir` (a folder this run
  // holds locked) and makes this run's. Fails with CannotMakeFolder.
  static Status Create(const Context& ctx, const std::string& work_dir,
                       std::unique_ptr<WorkFolder>* folder);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // The path of a new file that no earlier call named. Thread-safe.
  std::string NewFile(std::string_view suffix);

  const Context& context() const { return ctx_; }
  // The folder's path, with its trailing separator.
  const std::string& dir() const { return dir_; }

 private:
  WorkFolder(const Context& ctx, std::string dir)
      : ctx_(ctx), dir_(std::move(dir)) {}

  const Context ctx_;
  const std::string dir_;
  std::atomic<int> last_number_{0};
};

// The pages of a run: written into a staging folder inside the output
// folder, then put in place at once by Publish(). Until then the output
// folder is as it was; a run that fails or stops leaves it so.
class PageFolder {
 public:
  // Removes staging folders of earlier runs from `html_dir` (a folder this
  // run holds locked) and makes this run's.
  static Status Create(const Context& ctx, const std::string& html_dir,
                       std::unique_ptr<PageFolder>* folder);
  // Removes the staging folder and what is still in it.
  ~PageFolder();
  PageFolder(const PageFolder&) = delete;
  PageFolder& operator=(const PageFolder&) = delete;

  // Stages the page `name`, once per name. The file is written by the
  // folder's worker while the caller goes on: a failure (CannotOpen or
  // CannotWrite, naming the page) is returned by a later Write or by
  // Publish.
  Status Write(const std::string& name, std::string_view bytes);
  // Waits for the pages still being written, then puts every staged page in
  // place, the index page last, then removes the report pages of the output
  // folder that this run did not write.
  Status Publish();

  // The path a page has once published.
  std::string PublishedPath(std::string_view name) const {
    return html_dir_ + std::string(name);
  }

 private:
  PageFolder(const Context& ctx, std::string html_dir, std::string staging);
  // Creates and writes the staged file of page `name`; on the worker.
  Status WriteFile(const std::string& name, std::string_view bytes) const;

  const Context ctx_;
  const std::string html_dir_;
  const std::string staging_;
  // Names in the order written: at most one a month and one a day of the
  // months a run holds. The caller's thread's alone.
  std::vector<std::string> staged_;
  std::unique_ptr<Worker> writer_;  // last: ends before the rest goes
};

}  // namespace tovex

#endif  // TOVEX_WORK_WORK_FOLDER_H_
