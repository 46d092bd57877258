// The work folder of one job: where its runs are created, each under a new
// number, and removed again at the end.

#ifndef TOVEX_WORK_WORK_FOLDER_H_
#define TOVEX_WORK_WORK_FOLDER_H_

#include <atomic>
#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/platform.h"

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

class WorkFolder {
 public:
  // `dir` is the folder's path with its trailing separator.
  WorkFolder(const Context& ctx, std::string dir)
      : ctx_(ctx), dir_(std::move(dir)) {}
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // The path of a file that no earlier call named. Thread-safe.
  std::string NewFile(std::string_view suffix);
  // Deletes every file NewFile named. Failures ignored.
  void RemoveFiles();

  const Context& context() const { return ctx_; }
  const std::string& dir() const { return dir_; }

 private:
  const Context ctx_;
  const std::string dir_;
  std::atomic<int> last_number_{0};
};

}  // namespace tovex

#endif  // TOVEX_WORK_WORK_FOLDER_H_
