#include "job/run_folders.h"

#include <algorithm>

namespace tovex {
namespace {

// Makes and opens the folder of the directory setting `key` (value
// `value`); the root of the file system is never one.
Status OpenSettingFolder(const Context& ctx, std::string_view key,
                         const std::string& value,
                         std::unique_ptr<Folder>* folder) {
  TOVEX_RETURN_IF_ERROR(MakeFolder(ctx, DirectoryPath(ctx, value), folder));
  std::unique_ptr<Folder> root =
      ctx.platform.fs->OpenFolder(std::string(1, kPathSeparator), nullptr);
  if (root && root->id() == (*folder)->id()) {
    return Status::BadSetting(std::string(key) + "=" + value,
                              "the root of the file system");
  }
  return Status::Ok();
}

Status Lock(Folder* folder, RunFolders* folders) {
  bool busy = false;
  std::string error;
  auto lock = folder->Lock(&busy, &error);
  if (!lock) {
    return busy ? Status::Busy(folder->path())
                : Status::CannotOpen(folder->path(), error);
  }
  folders->locks.push_back(std::move(lock));
  return Status::Ok();
}

}  // namespace

Status LockFolders(const Context& ctx, const Settings& settings,
                   RunFolders* folders) {
  TOVEX_RETURN_IF_ERROR(OpenSettingFolder(ctx, "WORKDIR", settings.work_dir,
                                          &folders->work_dir));
  TOVEX_RETURN_IF_ERROR(OpenSettingFolder(ctx, "HTMLDIR", settings.html_dir,
                                          &folders->html_dir));
  TOVEX_RETURN_IF_ERROR(Lock(folders->work_dir.get(), folders));
  // One folder may serve as both; it is locked once.
  if (folders->html_dir->id() == folders->work_dir->id()) return Status::Ok();
  return Lock(folders->html_dir.get(), folders);
}

Status CheckInputs(const RunFolders& folders, const InputLog& log) {
  std::vector<FileId> replaced = FilesARunReplaces(folders.html_dir.get());
  if (!(folders.html_dir->id() == folders.work_dir->id())) {
    for (const FileId& id : FilesARunReplaces(folders.work_dir.get())) {
      replaced.push_back(id);
    }
  }
  for (const auto& [name, id] : log.input_ids()) {
    if (std::find(replaced.begin(), replaced.end(), id) != replaced.end()) {
      return Status::InputInFolder(name, folders.html_dir->path());
    }
  }
  return Status::Ok();
}

Status PrepareFolders(const Context& ctx, RunFolders* folders) {
  TOVEX_RETURN_IF_ERROR(CompletePublishes(folders->html_dir.get()));
  TOVEX_RETURN_IF_ERROR(
      WorkFolder::Create(ctx, folders->work_dir.get(), &folders->work));
  return PageFolder::Create(ctx, folders->html_dir.get(), &folders->pages);
}

}  // namespace tovex
