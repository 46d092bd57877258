#include "work/work_folder.h"

#include <algorithm>
#include <unordered_set>

#include "log/line_reader.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// Pages made but not yet written: enough to even out page sizes.
constexpr size_t kPagesInFlight = 4;
// A line of the page list: a page name with room to spare.
constexpr size_t kPageListLineBytes = 64;

// Deletes the files in `folder`; its folders, if any, stay.
void DeleteFiles(Folder* folder) {
  for (const DirEntry& e : folder->List("*")) {
    if (!e.is_directory) folder->Delete(e.name);
  }
}

// Removes every folder of `parent` whose name starts with `prefix` and that
// is the running user's, with its files: what runs killed before their end
// left behind. Another user's is never opened, so nothing in it goes.
void RemoveLeftovers(Folder* parent, std::string_view prefix) {
  for (const DirEntry& e : parent->List(std::string(prefix) + "*")) {
    if (!e.is_directory) continue;
    if (auto left = parent->OpenOwn(e.name, nullptr)) {
      DeleteFiles(left.get());
      parent->RemoveFolder(e.name);
    }
  }
}

Status MakePrivateFolder(Folder* parent, std::string_view prefix,
                         std::string* name, std::unique_ptr<Folder>* folder) {
  std::string error;
  *folder = parent->MakePrivate(prefix, name, &error);
  if (!*folder) return Status::CannotMakeFolder(parent->path(), error);
  return Status::Ok();
}

// The names of the report a committed folder holds, from its page list.
std::unordered_set<std::string> PageList(Folder* from) {
  std::unordered_set<std::string> pages;
  std::unique_ptr<ReadableFile> file = from->OpenRead(kPageListName, nullptr);
  if (!file) return pages;
  LineReader lines(file.get(), kPageListLineBytes);
  std::string_view line;
  while (lines.Next(&line)) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (IsReportPageName(line)) pages.emplace(line);
  }
  return pages;
}

// Puts the files of the committed folder `from` (named `from_name` in
// `html`) in place, the index page last, removes the report pages its list
// does not name, then the folder. Stops at the first file that cannot be
// put in place, leaving the rest for the next run.
Status Install(Folder* html, Folder* from, const std::string& from_name) {
  const std::unordered_set<std::string> report = PageList(from);
  std::vector<DirEntry> pages = from->List("*");
  std::erase_if(pages, [](const DirEntry& e) {
    return e.is_directory || e.name == kPageListName;
  });
  // Until the index page is in place, it links only pages that exist.
  std::stable_partition(pages.begin(), pages.end(), [](const DirEntry& e) {
    return e.name != kIndexPageName;
  });
  for (const DirEntry& page : pages) {
    std::string error;
    if (!from->Rename(page.name, html, page.name, &error)) {
      return Status::CannotWrite(html->path() + page.name, error);
    }
  }
  if (!report.empty()) {
    for (const DirEntry& e : html->List("*.html")) {
      if (!e.is_directory && IsReportPageName(e.name) &&
          !report.count(e.name)) {
        html->Delete(e.name);
      }
    }
  }
  DeleteFiles(from);
  html->RemoveFolder(from_name);
  return Status::Ok();
}

}  // namespace

Status CompletePublishes(Folder* html) {
  for (const DirEntry& e :
       html->List(std::string(kPublishFolderPrefix) + "*")) {
    if (!e.is_directory) continue;
    if (auto committed = html->OpenOwn(e.name, nullptr)) {
      TOVEX_RETURN_IF_ERROR(Install(html, committed.get(), e.name));
    }
  }
  return Status::Ok();
}

std::vector<FileId> FilesARunReplaces(Folder* folder) {
  std::vector<FileId> ids;
  auto add = [&ids](Folder* f, const std::string& name) {
    FileId id;
    if (f->KindOf(name, &id) == PathKind::kRegular) ids.push_back(id);
  };
  for (const DirEntry& e : folder->List("*")) {
    if (!e.is_directory) {
      if (IsReportPageName(e.name)) add(folder, e.name);
      continue;
    }
    const bool leftover = e.name.starts_with(kStagingFolderPrefix) ||
                          e.name.starts_with(kPublishFolderPrefix) ||
                          e.name.starts_with(kRunFolderPrefix);
    if (!leftover) continue;
    if (auto left = folder->OpenOwn(e.name, nullptr)) {
      for (const DirEntry& f : left->List("*")) add(left.get(), f.name);
    }
  }
  return ids;
}

std::string DirectoryPath(const Context& ctx, std::string_view dir) {
  const std::string native = NativeDirectory(dir);
  std::string path = !native.empty() && native[0] == kPathSeparator
                         ? native
                         : ctx.base_dir + native;
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  return path;
}

Status MakeFolder(const Context& ctx, const std::string& path,
                  std::unique_ptr<Folder>* folder, bool private_mode) {
  for (size_t at = path.find(kPathSeparator, 1); at != std::string::npos;
       at = path.find(kPathSeparator, at + 1)) {
    const std::string prefix = path.substr(0, at);
    const bool last = path.find(kPathSeparator, at + 1) == std::string::npos;
    std::string error;
    if (!ctx.platform.fs->MakeDirectory(prefix, &error,
                                        private_mode && last)) {
      return Status::CannotMakeFolder(prefix, error);
    }
  }
  std::string error;
  *folder = ctx.platform.fs->OpenFolder(path, &error);
  return *folder ? Status::Ok() : Status::CannotOpen(path, error);
}

Status WorkFolder::Create(const Context& ctx, Folder* work,
                          std::unique_ptr<WorkFolder>* folder) {
  RemoveLeftovers(work, kRunFolderPrefix);
  std::string name;
  std::unique_ptr<Folder> run;
  TOVEX_RETURN_IF_ERROR(MakePrivateFolder(work, kRunFolderPrefix, &name, &run));
  folder->reset(new WorkFolder(ctx, work, std::move(name), std::move(run)));
  return Status::Ok();
}

WorkFolder::~WorkFolder() {
  DeleteFiles(run_.get());
  work_->RemoveFolder(name_);
}

std::string WorkFolder::NewFile(std::string_view suffix) {
  return NumberedName(++last_number_, suffix);
}

Status PageFolder::Create(const Context&, Folder* html,
                          std::unique_ptr<PageFolder>* folder) {
  RemoveLeftovers(html, kStagingFolderPrefix);
  std::string name;
  std::unique_ptr<Folder> staging;
  TOVEX_RETURN_IF_ERROR(
      MakePrivateFolder(html, kStagingFolderPrefix, &name, &staging));
  folder->reset(new PageFolder(html, std::move(name), std::move(staging)));
  return Status::Ok();
}

PageFolder::PageFolder(Folder* html, std::string name,
                       std::unique_ptr<Folder> staging)
    : html_(html),
      name_(std::move(name)),
      staging_(std::move(staging)),
      writer_(std::make_unique<Worker>(kPagesInFlight)) {}

PageFolder::~PageFolder() {
  writer_.reset();  // no page is written into the folder being removed
  if (published_) return;  // in place, or left for the next run to complete
  DeleteFiles(staging_.get());
  html_->RemoveFolder(name_);
}

Status PageFolder::Write(const std::string& name, std::string_view bytes) {
  staged_.push_back(name);
  return writer_->Put([this, name, page = std::string(bytes)] {
    return WriteFile(name, page);
  });
}

Status PageFolder::CreateFile(const std::string& name,
                              std::unique_ptr<WritableFile>* file) {
  staged_.push_back(name);
  std::string error;
  *file = staging_->CreateNew(name, &error);
  return *file ? Status::Ok() : Status::CannotOpen(PublishedPath(name), error);
}

Status PageFolder::WriteFile(const std::string& name,
                             std::string_view bytes) const {
  // Failures name the page where it is to stand.
  std::string error;
  std::unique_ptr<WritableFile> file = staging_->CreateNew(name, &error);
  if (!file) return Status::CannotOpen(PublishedPath(name), error);
  const bool written = file->Write(bytes.data(), bytes.size());
  if (!file->Close() || !written) {
    return Status::CannotWrite(PublishedPath(name), file->error());
  }
  return Status::Ok();
}

Status PageFolder::Commit() {
  TOVEX_RETURN_IF_ERROR(writer_->Finish());
  // What would stop the publish half-way stops it before the commit.
  for (const std::string& name : staged_) {
    if (html_->KindOf(name) == PathKind::kDirectory) {
      return Status::CannotWrite(PublishedPath(name),
                                 "a folder stands in the page's place");
    }
  }
  std::string list;
  for (const std::string& name : staged_) list += name + "\n";
  for (const std::string& name : kept_) list += name + "\n";
  TOVEX_RETURN_IF_ERROR(WriteFile(std::string(kPageListName), list));
  // The commit: from here the report is the new one, put in place by this
  // run or, killed, by the next.
  const std::string committed = std::string(kPublishFolderPrefix) +
                                name_.substr(kStagingFolderPrefix.size());
  std::string error;
  FileId id;
  if (!html_->Rename(name_, html_, committed, &error)) {
    return Status::CannotWrite(html_->path() + committed, error);
  }
  if (html_->KindOf(committed, &id) != PathKind::kDirectory ||
      !(id == staging_->id())) {
    return Status::CannotWrite(html_->path() + committed,
                               "the folder was changed by someone else");
  }
  published_ = true;
  committed_ = committed;
  return Status::Ok();
}

void PageFolder::Withdraw() {
  if (!published_ || committed_.empty()) return;
  FileId id;
  if (html_->Rename(committed_, html_, name_, nullptr) &&
      html_->KindOf(name_, &id) == PathKind::kDirectory &&
      id == staging_->id()) {
    published_ = false;
    committed_.clear();
  }
}

Status PageFolder::Install() {
  return tovex::Install(html_, staging_.get(), committed_);
}

}  // namespace tovex
