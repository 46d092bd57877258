// The JSON document of a run: the figures of every page of its run level,
// the pages in page order (the index first, then each month followed by
// its days), although the job makes them in another order (each month's
// days before the month, the index last). The pages wait in work files of
// the run, so memory stays fixed however many pages there are. Not part of
// the job's interface (see job.h).
//
// The document: {"format":"tovex-report","version":1, the program, the
// run level, the lines read, counted and not counted, the row settings,
// "pages":[...]}; doc/report.schema.json describes it.

#ifndef TOVEX_JOB_JSON_REPORT_H_
#define TOVEX_JOB_JSON_REPORT_H_

#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/platform.h"
#include "report/page_model.h"
#include "work/work_folder.h"

namespace tovex {

class JsonReport {
 public:
  // `work` keeps the waiting pages and must outlive the report.
  explicit JsonReport(WorkFolder* work) : work_(work) {}

  // Takes the next page the job made. Fails with the status of a work
  // file that cannot be written.
  Status Add(const PageModel& model);

  // Writes the document to `out`: `head` (its fields before "pages"), then
  // the pages. CannotWrite naming `path` when `out` takes not every byte.
  Status WriteTo(std::string_view head, WritableFile* out,
                 const std::string& path);

 private:
  // Appends `text` to the work file `*file`, made as `*name` on first use.
  Status Append(std::unique_ptr<WritableFile>* file, std::string* name,
                std::string_view text);
  // Moves what the days file holds to the end of the body.
  Status FlushDays();
  // Copies the closed work file `name` into `out`, then deletes it.
  Status CopyAndDelete(const std::string& name, WritableFile* out,
                       const std::string& out_path);

  WorkFolder* const work_;
  std::string index_;  // the index page's object, kept for the front
  std::unique_ptr<WritableFile> body_;
  std::string body_name_;
  std::unique_ptr<WritableFile> days_;
  std::string days_name_;
  bool any_ = false;  // a page went to the body
};

// Where the document goes, and how it goes in place with the pages: in the
// output folder it is staged with them and committed with them; elsewhere
// it is written beside its place and renamed there once the pages are in
// place; "-" is standard output, written once they are.
class JsonTarget {
 public:
  // `setting` is JSONFILE's value (a path from the base directory) or
  // kStandardOutputName; `standard_output` must be given for the latter.
  // The folders must outlive the target. Fails with BadSetting for a name
  // a report page or a run's folder could have, CannotMakeFolder or
  // CannotOpen for its folder.
  static Status Open(const Context& ctx, const std::string& setting,
                     WritableFile* standard_output, Folder* html,
                     PageFolder* pages, std::unique_ptr<JsonTarget>* target);

  // Before the pages are published: writes the document where it waits.
  Status Stage(JsonReport* report, std::string_view head);
  // Once the pages are in place: puts the document in place too.
  Status Finish(JsonReport* report, std::string_view head);

 private:
  JsonTarget() = default;

  // The name the document waits under beside its place.
  std::string WaitingName() const { return "." + name_ + ".tovex-new"; }

  WritableFile* standard_output_ = nullptr;
  PageFolder* pages_ = nullptr;     // in the output folder
  std::unique_ptr<Folder> folder_;  // elsewhere
  std::string name_;
  std::string path_;
};

// The name that means standard output.
inline constexpr std::string_view kStandardOutputName = "-";

// The document's head: its format, the program, the run's figures and
// settings, as the fields before "pages".
std::string JsonReportHead(std::string_view program, int run_level,
                           int64_t lines_read, int64_t lines_counted,
                           const RowGroup& index, const RowGroup& month,
                           const RowGroup& day);

}  // namespace tovex

#endif  // TOVEX_JOB_JSON_REPORT_H_
