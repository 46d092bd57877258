#include "settings/settings.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "base/decimal.h"
#include "log/line_reader.h"
#include "work/file_names.h"
#include "work/work_folder.h"

namespace tovex {
namespace {

// A new settings file is written under the name with this added, then
// renamed.
constexpr std::string_view kNewFileSuffix = ".new";
// Longer patterns are refused rather than searched; the keys are far shorter.
constexpr size_t kMaxPatternChars = 32;
// Read block of the settings file; the file is a few hundred bytes.
constexpr size_t kSettingsReadBytes = 4096;

// The defaults of a freshly created file.
constexpr std::string_view kDefaultWorkDir = "workdir\\";
constexpr std::string_view kDefaultHtmlDir = "htmldir\\";
constexpr RunLevel kDefaultRunLevel = RunLevel::kDay;

// What a count or the run level becomes when its key stands with no value.
// These differ from the defaults of a fresh file on purpose: existing
// settings files rely on both sets.
constexpr int kEmptyRows = 20;
constexpr int kEmptyOrganisationRows = 10;
constexpr int kEmptyRunLevel = 2;
// The run level while loading, before its key is met: out of range on
// purpose, so that a file without the key ends up at run level 0.
constexpr int kNoRunLevel = -1;

struct DirKey {
  std::string_view key;
  std::string Settings::*field;
};

struct CountKey {
  std::string_view key;
  RowGroup Settings::*group;
  int RowGroup::*rows;
  int empty_value;  // taken when the key has no value
  int lower;
};

constexpr std::string_view kRunLevelKey = "RUNLEVEL=";

// In the order the file lists them.
constexpr DirKey kDirKeys[] = {
    {"WORKDIR=", &Settings::work_dir},
    {"HTMLDIR=", &Settings::html_dir},
};

constexpr CountKey kCountKeys[] = {
    {"INDEXDOMN=", &Settings::index_rows, &RowGroup::domains, kEmptyRows,
     kMinRows},
    {"INDEXHTML=", &Settings::index_rows, &RowGroup::contents, kEmptyRows,
     kMinRows},
    {"INDEXCLAS=", &Settings::index_rows, &RowGroup::organisations,
     kEmptyOrganisationRows, kMinOrganisationRows},
    {"MONTHDOMN=", &Settings::month_rows, &RowGroup::domains, kEmptyRows,
     kMinRows},
    {"MONTHHTML=", &Settings::month_rows, &RowGroup::contents, kEmptyRows,
     kMinRows},
    {"MONTHCLAS=", &Settings::month_rows, &RowGroup::organisations,
     kEmptyOrganisationRows, kMinOrganisationRows},
    {"DAYSDOMN=", &Settings::day_rows, &RowGroup::domains, kEmptyRows,
     kMinRows},
    {"DAYSHTML=", &Settings::day_rows, &RowGroup::contents, kEmptyRows,
     kMinRows},
    {"DAYSCLAS=", &Settings::day_rows, &RowGroup::organisations,
     kEmptyOrganisationRows, kMinOrganisationRows},
};

int& CountOf(Settings* s, const CountKey& k) { return (s->*k.group).*k.rows; }
int CountOf(const Settings& s, const CountKey& k) {
  return (s.*k.group).*k.rows;
}

bool EndsValue(char c) {
  return c == '\t' || c == ' ' || c == '\r' || c == '\n';
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether `text` starts with one of the file's keys.
bool StartsWithKey(std::string_view text) {
  for (const DirKey& k : kDirKeys) {
    if (text.starts_with(k.key)) return true;
  }
  for (const CountKey& k : kCountKeys) {
    if (text.starts_with(k.key)) return true;
  }
  return text.starts_with(kRunLevelKey);
}

// A directory's value: the rest of the line, so that a folder name may
// hold blanks ("my html\"), up to the line end or the blanks before
// another key; trailing blanks go.
std::string_view DirectoryValue(std::string_view rest) {
  size_t n = 0;
  while (n < rest.size() && rest[n] != '\r' && rest[n] != '\n') {
    if (IsBlank(rest[n])) {
      size_t next = n;
      while (next < rest.size() && IsBlank(rest[next])) ++next;
      if (StartsWithKey(rest.substr(next))) break;
    }
    ++n;
  }
  while (n > 0 && IsBlank(rest[n - 1])) --n;
  return rest.substr(0, n);
}

// Applies the directory keys of one piece, each at its first occurrence.
// A directory may hold text that reads like a key ("h/WORKDIR=x" names one
// folder): inside the value of a key met earlier in the line it is no key,
// so that every directory the writer writes loads back as it was. A value
// that runs on past a full piece does not fit: it is refused, never cut.
Status ApplyDirectories(std::string_view line, Settings* settings) {
  bool applied[std::size(kDirKeys)] = {};
  for (size_t pos = 0;;) {
    size_t at = std::string_view::npos, which = 0;
    for (size_t i = 0; i < std::size(kDirKeys); ++i) {
      const size_t found = line.find(kDirKeys[i].key, pos);
      if (found < at) {
        at = found;
        which = i;
      }
    }
    if (at == std::string_view::npos) return Status::Ok();
    const DirKey& k = kDirKeys[which];
    const std::string_view value =
        DirectoryValue(line.substr(at + k.key.size()));
    pos = at + k.key.size() + value.size();
    if (pos == line.size() && line.size() == kSettingsLinePieceBytes) {
      return Status::BadSetting(std::string(k.key) + std::string(value),
                                "longer than a line of the file holds");
    }
    if (!applied[which]) settings->*k.field = std::string(value);
    applied[which] = true;
  }
}

// Applies every key that occurs in one piece of the file.
Status ApplyLine(std::string_view line, Settings* settings, int* run_level) {
  TOVEX_RETURN_IF_ERROR(ApplyDirectories(line, settings));
  for (const CountKey& k : kCountKeys) {
    if (FindPattern(line, k.key) >= 0) {
      std::string value = ValueAfterKey(k.key, line);
      CountOf(settings, k) =
          value.empty() ? k.empty_value : DecimalValue(value);
    }
  }
  if (FindPattern(line, kRunLevelKey) >= 0) {
    std::string value = ValueAfterKey(kRunLevelKey, line);
    *run_level = value.empty() ? kEmptyRunLevel : DecimalValue(value);
  }
  return Status::Ok();
}

// Makes the default work and output directories so that a first run finds
// them. A failure shows later, when the job cannot open its files there.
void MakeDefaultDirectories(const Context& ctx, const Settings& settings) {
  for (const std::string* dir : {&settings.work_dir, &settings.html_dir}) {
    if (dir->empty()) continue;
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

Status LoadSettings(const Context& ctx, Settings* settings,
                    std::string_view name) {
  const std::string path = ctx.base_dir + std::string(name);
  switch (SettingsFileKind(ctx, path)) {
    case PathKind::kMissing:
      *settings = DefaultSettings();
      TOVEX_RETURN_IF_ERROR(WriteSettingsFile(ctx, *settings, name));
      MakeDefaultDirectories(ctx, *settings);
      return Status::Ok();
    case PathKind::kRegular:
      break;
    default:
      // A settings file that exists is never replaced; one that is no
      // regular file cannot be read.
      return Status::CannotOpen(path, "not a regular file");
  }
  std::string error;
  std::unique_ptr<ReadableFile> file = ctx.platform.fs->OpenRead(path, &error);
  if (!file) return Status::CannotOpen(path, error);
  // Keys the file does not name stay at 0 and empty, then clamp.
  *settings = Settings();
  for (const CountKey& k : kCountKeys) CountOf(settings, k) = 0;
  int run_level = kNoRunLevel;
  LineReader pieces(file.get(), kSettingsLinePieceBytes, LongLines::kSplit,
                    kSettingsReadBytes);
  std::string_view piece;
  while (pieces.Next(&piece)) {
    TOVEX_RETURN_IF_ERROR(ApplyLine(piece, settings, &run_level));
  }
  if (!file->error().empty()) return Status::CannotRead(path, file->error());
  settings->run_level = RunLevelOf(run_level);
  // A missing or empty directory is the default one, never the base
  // directory itself (where a user's own pages may stand).
  if (settings->work_dir.empty()) settings->work_dir = kDefaultWorkDir;
  if (settings->html_dir.empty()) settings->html_dir = kDefaultHtmlDir;
  ClampSettings(settings);
  return Status::Ok();
}

void ClampSettings(Settings* settings) {
  for (const CountKey& k : kCountKeys) {
    int& v = CountOf(settings, k);
    v = std::clamp(v, k.lower, kMaxRows);
  }
}

Status WriteSettingsFile(const Context& ctx, const Settings& settings,
                         std::string_view name) {
  const std::string path = SettingsTarget(ctx, ctx.base_dir + std::string(name));
  std::string text = "[SYSTEM]\n";
  for (const DirKey& k : kDirKeys) {
    text.append(k.key).append(settings.*k.field).append("\n");
  }
  for (const CountKey& k : kCountKeys) {
    text.append(k.key).append(DecimalText(CountOf(settings, k))).append("\n");
  }
  text.append(kRunLevelKey)
      .append(DecimalText(static_cast<int>(settings.run_level)))
      .append("\n");
  // Written beside and renamed over, so that the file is never cut short.
  const size_t cut = path.rfind(kPathSeparator) + 1;
  const std::string file_name = path.substr(cut);
  const std::string fresh = file_name + std::string(kNewFileSuffix);
  std::string error;
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

int FindPattern(std::string_view text, std::string_view pattern) {
  if (text.empty() || pattern.empty() || pattern.size() > kMaxPatternChars ||
      text.size() < pattern.size()) {
    return -1;
  }
  size_t pos = text.find(pattern);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

std::string ValueAfterKey(std::string_view key, std::string_view line) {
  int pos = FindPattern(line, key);
  if (pos < 0) return std::string();
  std::string_view rest = line.substr(static_cast<size_t>(pos) + key.size());
  size_t n = 0;
  while (n < rest.size() && n < kSettingsLinePieceBytes &&
         !EndsValue(rest[n])) {
    ++n;
  }
  return std::string(rest.substr(0, n));
}

}  // namespace tovex
