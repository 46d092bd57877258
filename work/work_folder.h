// The folders a run writes into: its own private folder inside the work
// folder, where its runs live, and the output folder, where its pages are
// staged and then put in place together.
//
// Both assume the folders may be hostile: they are held by descriptor
// (platform.h Folder), so a folder renamed or swapped for a link while the
// run goes never redirects anything; files are only ever created new; the
// run's own folders are readable by it alone; pages reach the output folder
// by rename, which replaces a link rather than writing through it; only
// report-named files are ever removed there; and a leftover folder is
// emptied only when it is the running user's. Whatever is left of a run
// that was killed goes, or is completed, at the start of the next.

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

// Makes the directory `path` (with its trailing separator) and every
// missing parent (the last readable by its owner alone with
// `private_mode`), then opens it. Fails with CannotMakeFolder naming it, or
// CannotOpen when it cannot be opened (a link in its place among them).
Status MakeFolder(const Context& ctx, const std::string& path,
                  std::unique_ptr<Folder>* folder, bool private_mode = false);

// Completes every publish of `html` (a folder this run holds locked) that
// an earlier run committed but did not end: its pages go in place, then the
// report pages it does not list go. Fails with CannotWrite naming a page
// that cannot be put in place.
Status CompletePublishes(Folder* html);

// The names in `folder` that a run deletes or replaces: report pages, and
// the files in its leftover staging, committed and run folders.
std::vector<FileId> FilesARunReplaces(Folder* folder);

// A run's own folder inside the work folder; removed with everything in it
// when the object goes away.
class WorkFolder {
 public:
  // Removes the folders earlier runs left in `work` (a folder this run
  // holds locked, which must outlive the object) and makes this run's.
  // Fails with CannotMakeFolder.
  static Status Create(const Context& ctx, Folder* work,
                       std::unique_ptr<WorkFolder>* folder);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // The name of a new file that no earlier call gave. Thread-safe.
  std::string NewFile(std::string_view suffix);

  const Context& context() const { return ctx_; }
  // Where the run's files are created, opened and deleted, by name.
  Folder* folder() const { return run_.get(); }
  // The folder's path, with its trailing separator; for messages.
  const std::string& dir() const { return run_->path(); }

 private:
  WorkFolder(const Context& ctx, Folder* work, std::string name,
             std::unique_ptr<Folder> run)
      : ctx_(ctx), work_(work), name_(std::move(name)), run_(std::move(run)) {}

  const Context ctx_;
  Folder* const work_;
  const std::string name_;
  const std::unique_ptr<Folder> run_;
  std::atomic<int> last_number_{0};
};

// The pages of a run: written into a staging folder inside the output
// folder, then put in place by Publish(). Until then the output folder is
// as it was; a run that fails or stops leaves it so. Publishing first
// commits the staged report (the staging folder is renamed, with the list
// of the report's pages in it), then moves the pages in: a run killed in
// between leaves the committed folder, and the next run completes it before
// anything else, so no mixed report outlives the next start.
class PageFolder {
 public:
  // Removes staging folders earlier runs left in `html` (a folder this run
  // holds locked, which must outlive the object; committed publishes
  // completed first) and makes this run's.
  static Status Create(const Context& ctx, Folder* html,
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
  // Creates a file of the report that is no page (the JSON document), to
  // be put in place with the pages; CannotOpen naming it.
  Status CreateFile(const std::string& name,
                    std::unique_ptr<WritableFile>* file);
  // Waits for the pages still being written, then commits and puts every
  // staged page in place, the index page last, then removes the report
  // pages of the output folder that this run did not write. A page that
  // cannot be put in place fails with CannotWrite; the next run completes
  // the publish.
  Status Publish() {
    TOVEX_RETURN_IF_ERROR(Commit());
    return Install();
  }
  // Publish in its two steps: the commit (after it, the new report is the
  // one that goes in place, by this run or the next), then the moves.
  Status Commit();
  Status Install();
  // Takes a commit back before Install, when what it depends on failed:
  // the old report stays. Where that cannot be done, the commit stands
  // and the next run puts it in place.
  void Withdraw();
  // Lists a page of the report that this run leaves as it stands (a
  // history's unchanged page), so that it is not removed.
  void Keep(const std::string& name) { kept_.push_back(name); }
  // Whether the output folder holds the page `name`.
  bool Has(std::string_view name) const {
    return html_->KindOf(name) == PathKind::kRegular;
  }

  // The path a page has once published.
  std::string PublishedPath(std::string_view name) const {
    return html_->path() + std::string(name);
  }

 private:
  PageFolder(Folder* html, std::string name, std::unique_ptr<Folder> staging);
  // Creates and writes the staged file of page `name`; on the worker.
  Status WriteFile(const std::string& name, std::string_view bytes) const;

  Folder* const html_;
  const std::string name_;  // of the staging folder in html_
  const std::unique_ptr<Folder> staging_;
  // Names in the order written: at most one a month and one a day of the
  // months a run holds, and the report's other files. The caller's
  // thread's alone.
  std::vector<std::string> staged_;
  std::vector<std::string> kept_;
  std::string committed_;  // the committed folder's name, once committed
  bool published_ = false;
  std::unique_ptr<Worker> writer_;  // last: ends before the rest goes
};

}  // namespace tovex

#endif  // TOVEX_WORK_WORK_FOLDER_H_
