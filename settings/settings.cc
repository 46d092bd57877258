#include "settings/settings.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "settings/settings_text.h"
#include "work/file_names.h"
#include "work/work_folder.h"

namespace tovex {
namespace {

// A new settings file is written under the name with this added, then
// renamed.
constexpr std::string_view kNewFileSuffix = ".new";
// A settings file is a few hundred bytes; a larger one is no settings file.
constexpr size_t kMaxSettingsFileBytes = 1 << 20;
// Read block of the settings file.
constexpr size_t kSettingsReadBytes = 4096;

// The defaults of a freshly created file.
constexpr std::string_view kDefaultWorkDir = "workdir\\";
constexpr std::string_view kDefaultHtmlDir = "htmldir\\";
constexpr RunLevel kDefaultRunLevel = RunLevel::kDay;

// Makes the default work and output directories so that a first run finds
// them, but for an output directory the run overrides. A failure shows
// later, when the job cannot open its files there.
void MakeDefaultDirectories(const Context& ctx, const Settings& settings,
                            bool html_dir_given) {
  for (const std::string* dir : {&settings.work_dir, &settings.html_dir}) {
    if (dir->empty() || (html_dir_given && dir == &settings.html_dir)) {
      continue;
    }
    ctx.platform.fs->MakeDirectory(ctx.base_dir + NativeDirectory(*dir),
                                   nullptr);
  }
}

// What the settings file is, a link taken for the file it leads to (an
// admin's layout: /etc/tovex.ini -> /srv/conf/tovex.ini).
PathKind SettingsFileKind(const Context& ctx, const std::string& path) {
  const PathKind kind = ctx.platform.fs->KindOf(path);
  if (kind != PathKind::kOther) return kind;
  const std::string target = ctx.platform.fs->RealPath(path);
  return target.empty() ? kind : ctx.platform.fs->KindOf(target);
}

// Where the settings file is written: the file a link leads to, so that
// the link stays.
std::string SettingsTarget(const Context& ctx, const std::string& path) {
  if (ctx.platform.fs->KindOf(path) != PathKind::kOther) return path;
  const std::string target = ctx.platform.fs->RealPath(path);
  return target.empty() ? path : target;
}

}  // namespace

Settings DefaultSettings() {
  Settings s;
  s.run_level = kDefaultRunLevel;
  s.work_dir = kDefaultWorkDir;
  s.html_dir = kDefaultHtmlDir;
  for (RowGroup* rows : {&s.index_rows, &s.month_rows, &s.day_rows}) {
    *rows = RowGroup{kMinRows, kMinOrganisationRows, kMinRows};
  }
  return s;
}

RunLevel RunLevelOf(int level) {
  return static_cast<RunLevel>(std::clamp(level, 0, 2));
}

namespace {

// Reads the whole of a small file; CannotRead for a read error or a file
// larger than kMaxSettingsFileBytes.
Status ReadSmallFile(ReadableFile* file, const std::string& path,
                     std::string* text) {
  text->clear();
  char buf[kSettingsReadBytes];
  while (size_t got = file->Read(buf, sizeof buf)) {
    text->append(buf, got);
    if (text->size() > kMaxSettingsFileBytes) {
      return Status::CannotRead(path, "too large for a settings file");
    }
  }
  if (!file->error().empty()) return Status::CannotRead(path, file->error());
  return Status::Ok();
}

}  // namespace

Status LoadSettings(const Context& ctx, Settings* settings,
                    std::string_view name, bool html_dir_given) {
  const std::string path = ctx.base_dir + std::string(name);
  switch (SettingsFileKind(ctx, path)) {
    case PathKind::kMissing:
      *settings = DefaultSettings();
      TOVEX_RETURN_IF_ERROR(WriteSettingsFile(ctx, *settings, name));
      MakeDefaultDirectories(ctx, *settings, html_dir_given);
      return Status::Ok();
    case PathKind::kRegular:
      break;
    default:
      // A settings file that exists is never replaced; one that is no
      // regular file cannot be read.
      return Status::CannotOpen(path, "not a regular file");
  }
  std::string error, text;
  std::unique_ptr<ReadableFile> file = ctx.platform.fs->OpenRead(path, &error);
  if (!file) return Status::CannotOpen(path, error);
  TOVEX_RETURN_IF_ERROR(ReadSmallFile(file.get(), path, &text));
  *settings = Settings();
  return ParseSettingsText(text, settings);
}

Status WriteSettingsFile(const Context& ctx, const Settings& settings,
                         std::string_view name) {
  const std::string path =
      SettingsTarget(ctx, ctx.base_dir + std::string(name));
  // What stands there is kept but for the values that change.
  std::string old, error, text;
  if (ctx.platform.fs->KindOf(path) != PathKind::kMissing) {
    auto file = ctx.platform.fs->OpenRead(path, &error);
    if (!file) return Status::CannotOpen(path, error);
    TOVEX_RETURN_IF_ERROR(ReadSmallFile(file.get(), path, &old));
  }
  TOVEX_RETURN_IF_ERROR(EditSettingsText(old, settings, &text));
  // Written beside and renamed over, so that the file is never cut short.
  const size_t cut = path.rfind(kPathSeparator) + 1;
  const std::string file_name = path.substr(cut);
  const std::string fresh = file_name + std::string(kNewFileSuffix);
  std::unique_ptr<Folder> folder =
      ctx.platform.fs->OpenFolder(path.substr(0, cut), &error);
  if (!folder) return Status::CannotOpen(path, error);
  folder->Delete(fresh);
  std::unique_ptr<WritableFile> file = folder->CreateNew(fresh, &error);
  if (!file) return Status::CannotOpen(path, error);
  const bool written = file->Write(text.data(), text.size());
  if (!file->Close() || !written) {
    error = file->error();
  } else if (folder->Rename(fresh, folder.get(), file_name, &error)) {
    return Status::Ok();
  }
  folder->Delete(fresh);
  return Status::CannotWrite(path, error);
}

}  // namespace tovex
