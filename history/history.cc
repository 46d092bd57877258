#include "history/history.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "work/work_folder.h"

namespace tovex {
namespace {

constexpr std::string_view kStateName = "state";
constexpr std::string_view kNewStateName = "state.new";

}  // namespace

Status History::Open(const Context& ctx, const std::string& path,
                     bool rebuild, PeriodTable* periods,
                     std::unique_ptr<History>* history) {
  std::unique_ptr<Folder> folder;
  TOVEX_RETURN_IF_ERROR(MakeFolder(ctx, path, &folder, /*private_mode=*/true));
  if (!folder->IsOwn()) {
    return Status::CannotOpen(folder->path(), "belongs to another user");
  }
  bool busy = false;
  std::string error;
  std::unique_ptr<FolderLock> lock = folder->Lock(&busy, &error);
  if (!lock) {
    return busy ? Status::Busy(folder->path())
                : Status::CannotOpen(folder->path(), error);
  }
  history->reset(new History(ctx, std::move(folder), std::move(lock)));
  History& h = **history;
  // New files are numbered past every one there, a killed run's too.
  uint64_t last = 0;
  for (const DirEntry& e : h.folder_->List("*.tvx")) {
    if (!IsNamesFileName(e.name)) continue;
    uint64_t g = 0;
    std::from_chars(e.name.data(), e.name.data() + e.name.find('.'), g);
    last = std::max(last, g);
    // With `rebuild` the old state stays in place until the new one is:
    // its files with it.
    if (rebuild) h.kept_.insert(e.name);
  }
  if (!rebuild && h.folder_->KindOf(kStateName) != PathKind::kMissing) {
    const std::string state_path = h.folder_->path() + std::string(kStateName);
    std::unique_ptr<ReadableFile> file;
    TOVEX_RETURN_IF_ERROR(OpenOrDie(h.folder_.get(), kStateName, &file));
    TOVEX_RETURN_IF_ERROR(
        ReadState(file.get(), state_path, &h.state_, periods));
    h.kept_ = h.Named();
  }
  h.state_.generation = std::max(h.state_.generation, last);
  return Status::Ok();
}

History::~History() {
  for (const std::string& name : uncommitted_) folder_->Delete(name);
}

std::string History::NewFile(std::string_view what) {
  uncommitted_.push_back(std::to_string(state_.generation + 1) + "." +
                         std::string(what) + ".tvx");
  return uncommitted_.back();
}

std::unordered_set<std::string> History::Named() const {
  std::unordered_set<std::string> named;
  if (!state_.whole_file.empty()) named.insert(state_.whole_file);
  named.insert(state_.delta_files.begin(), state_.delta_files.end());
  for (const PeriodRecord& p : state_.periods) {
    for (const std::string& f : p.day_files) {
      if (!f.empty()) named.insert(f);
    }
  }
  return named;
}

void History::RemoveUnnamed() {
  const std::unordered_set<std::string> named = Named();
  for (const DirEntry& e : folder_->List("*")) {
    if (!e.is_directory && IsNamesFileName(e.name) && !named.count(e.name) &&
        !kept_.count(e.name)) {
      folder_->Delete(e.name);
    }
  }
}

Status History::Commit(const PeriodTable& periods) {
  state_.generation += 1;
  const std::string state_path = folder_->path() + std::string(kStateName);
  folder_->Delete(kNewStateName);  // a killed run's
  std::unique_ptr<WritableFile> file;
  Status st = CreateOrDie(folder_.get(), kNewStateName, &file);
  if (st.ok()) st = WriteState(state_, periods, file.get(), state_path);
  std::string error;
  // Every file the new state names, and the state, are on the disk before
  // it is put in place, and it is on the disk before the old files go.
  if (st.ok() && !folder_->Sync(&error)) {
    st = Status::CannotWrite(state_path, error);
  }
  if (st.ok() &&
      !folder_->Rename(kNewStateName, folder_.get(), kStateName, &error)) {
    st = Status::CannotWrite(state_path, error);
  }
  if (!st.ok()) {
    state_.generation -= 1;
    folder_->Delete(kNewStateName);
    return st;
  }
  // What neither state names goes (a killed run's files, those the state
  // before the last one named). The old state's own files stay until the
  // next commit, after whose first sync this rename is surely on the disk:
  // a sync here would cost as much as the first one.
  uncommitted_.clear();
  RemoveUnnamed();
  kept_ = Named();
  return Status::Ok();
}

}  // namespace tovex
