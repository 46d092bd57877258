#include "work/work_folder.h"

#include "work/file_names.h"

namespace tovex {

std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name) {
  std::string path = ctx.base_dir;
  path += NativeDirectory(dir);
  path += name;
  return path;
}

std::string WorkFolder::NewFile(std::string_view suffix) {
  return dir_ + NumberedName(++last_number_, suffix);
}

void WorkFolder::RemoveFiles() {
  const int last = last_number_.load();
  for (int n = 1; n <= last; ++n) {
    for (std::string_view suffix : kWorkFileSuffixes) {
      ctx_.platform.fs->Delete(dir_ + NumberedName(n, suffix));
    }
  }
}

}  // namespace tovex
