#include "work/work_folder.h"

#include "work/file_names.h"

namespace tovex {

std::string DirectoryPath(const Context& ctx, std::string_view dir) {
  const std::string native = NativeDirectory(dir);
  std::string path = !native.empty() && native[0] == kPathSeparator
                         ? native
                         : ctx.base_dir + native;
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  return path;
}

std::string JoinPath(const Context& ctx, std::string_view dir,
                     std::string_view name) {
  return DirectoryPath(ctx, dir) + std::string(name);
}

Status MakeFolder(const Context& ctx, const std::string& path) {
  for (size_t at = path.find(kPathSeparator, 1); at != std::string::npos;
       at = path.find(kPathSeparator, at + 1)) {
    const std::string prefix = path.substr(0, at);
    if (!ctx.platform.fs->MakeDirectory(prefix)) {
      return Status::CannotMakeFolder(prefix);
    }
  }
  return Status::Ok();
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
