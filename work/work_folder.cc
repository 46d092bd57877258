#include "work/work_folder.h"

#include <algorithm>
#include <unordered_set>

#include "work/file_names.h"

namespace tovex {
namespace {

// Pages made but not yet written: enough to even out page sizes.
constexpr size_t kPagesInFlight = 4;

// Removes every folder of `dir` whose name starts with `prefix`: what runs
// killed before their end left behind.
void RemoveLeftovers(const Context& ctx, const std::string& dir,
                     std::string_view prefix) {
  const std::string pattern = std::string(prefix) + "*";
  for (const DirEntry& e : ctx.platform.fs->List(dir, pattern)) {
    if (e.is_directory) RemoveFolder(ctx, dir + e.name + kPathSeparator);
  }
}

Status MakePrivateFolder(const Context& ctx, const std::string& parent,
                         std::string_view prefix, std::string* path) {
  std::string error;
  *path = ctx.platform.fs->MakePrivateDirectory(parent, prefix, &error);
  if (path->empty()) return Status::CannotMakeFolder(parent, error);
  return Status::Ok();
}

}  // namespace

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
    std::string error;
    if (!ctx.platform.fs->MakeDirectory(prefix, &error)) {
      return Status::CannotMakeFolder(prefix, error);
    }
  }
  return Status::Ok();
}

void RemoveFolder(const Context& ctx, const std::string& dir) {
  for (const DirEntry& e : ctx.platform.fs->List(dir, "*")) {
    ctx.platform.fs->Delete(dir + e.name);
  }
  ctx.platform.fs->RemoveDirectory(dir);
}

Status WorkFolder::Create(const Context& ctx, const std::string& work_dir,
                          std::unique_ptr<WorkFolder>* folder) {
  RemoveLeftovers(ctx, work_dir, kRunFolderPrefix);
  std::string path;
  TOVEX_RETURN_IF_ERROR(
      MakePrivateFolder(ctx, work_dir, kRunFolderPrefix, &path));
  folder->reset(new WorkFolder(ctx, std::move(path)));
  return Status::Ok();
}

WorkFolder::~WorkFolder() { RemoveFolder(ctx_, dir_); }

std::string WorkFolder::NewFile(std::string_view suffix) {
  return dir_ + NumberedName(++last_number_, suffix);
}

Status PageFolder::Create(const Context& ctx, const std::string& html_dir,
                          std::unique_ptr<PageFolder>* folder) {
  RemoveLeftovers(ctx, html_dir, kStagingFolderPrefix);
  std::string staging;
  TOVEX_RETURN_IF_ERROR(
      MakePrivateFolder(ctx, html_dir, kStagingFolderPrefix, &staging));
  folder->reset(new PageFolder(ctx, html_dir, std::move(staging)));
  return Status::Ok();
}

PageFolder::PageFolder(const Context& ctx, std::string html_dir,
                       std::string staging)
    : ctx_(ctx),
      html_dir_(std::move(html_dir)),
      staging_(std::move(staging)),
      writer_(std::make_unique<Worker>(kPagesInFlight)) {}

PageFolder::~PageFolder() {
  writer_.reset();  // no page is written into the folder being removed
  RemoveFolder(ctx_, staging_);
}

Status PageFolder::Write(const std::string& name, std::string_view bytes) {
  staged_.push_back(name);
  return writer_->Put([this, name, page = std::string(bytes)] {
    return WriteFile(name, page);
  });
}

Status PageFolder::WriteFile(const std::string& name,
                             std::string_view bytes) const {
  // Failures name the page where it is to stand.
  std::string error;
  std::unique_ptr<WritableFile> file =
      ctx_.platform.fs->CreateNew(staging_ + name, &error);
  if (!file) return Status::CannotOpen(PublishedPath(name), error);
  const bool written = file->Write(bytes.data(), bytes.size());
  if (!file->Close() || !written) {
    return Status::CannotWrite(PublishedPath(name), file->error());
  }
  return Status::Ok();
}

Status PageFolder::Publish() {
  TOVEX_RETURN_IF_ERROR(writer_->Finish());
  // The index page last: until it is in place, the report's entry page
  // links only pages that exist.
  std::stable_partition(staged_.begin(), staged_.end(),
                        [](const auto& n) { return n != kIndexPageName; });
  for (const std::string& name : staged_) {
    std::string error;
    if (!ctx_.platform.fs->Rename(staging_ + name, PublishedPath(name),
                                  &error)) {
      return Status::CannotWrite(PublishedPath(name), error);
    }
  }
  const std::unordered_set<std::string> written(staged_.begin(), staged_.end());
  for (const DirEntry& e : ctx_.platform.fs->List(html_dir_, "*.html")) {
    if (!e.is_directory && IsReportPageName(e.name) && !written.count(e.name)) {
      ctx_.platform.fs->Delete(PublishedPath(e.name));
    }
  }
  return Status::Ok();
}

}  // namespace tovex
