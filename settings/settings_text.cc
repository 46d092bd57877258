#include "settings/settings_text.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

#include "base/decimal.h"
#include "log/line_reader.h"

namespace tovex {
namespace {

// What a count or the run level becomes when its key stands with no value.
// These differ from the defaults of a fresh file on purpose: existing
// settings files rely on both sets.
constexpr int kEmptyRows = 20;
constexpr int kEmptyOrganisationRows = 10;
constexpr int kEmptyRunLevel = 2;
// The run level while loading, before its key is met: out of range on
// purpose, so that a file without the key ends up at run level 0.
constexpr int kNoRunLevel = -1;

// The defaults of a missing or empty directory.
constexpr std::string_view kDefaultWorkDir = "workdir\\";
constexpr std::string_view kDefaultHtmlDir = "htmldir\\";

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

// Every key by number: the directories, the counts, the run level, then
// the line keys.
constexpr size_t kDirs = std::size(kDirKeys);
constexpr size_t kCounts = std::size(kCountKeys);
constexpr size_t kRunLevel = kDirs + kCounts;
constexpr size_t kFirstLineKey = kRunLevel + 1;
constexpr size_t kKeys = kFirstLineKey + std::size(kLineKeys);

std::string_view KeyName(size_t k) {
  if (k < kDirs) return kDirKeys[k].key;
  if (k < kRunLevel) return kCountKeys[k - kDirs].key;
  if (k == kRunLevel) return kRunLevelKey;
  return kLineKeys[k - kFirstLineKey].key;
}

int& CountOf(Settings* s, const CountKey& k) { return (s->*k.group).*k.rows; }
int CountOf(const Settings& s, const CountKey& k) {
  return (s.*k.group).*k.rows;
}

// The text a key's value is written as.
std::string ValueText(const Settings& s, size_t k) {
  if (k < kDirs) return s.*kDirKeys[k].field;
  if (k < kRunLevel) return DecimalText(CountOf(s, kCountKeys[k - kDirs]));
  if (k == kRunLevel) return DecimalText(static_cast<int>(s.run_level));
  return s.*kLineKeys[k - kFirstLineKey].field;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool EndsValue(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }

bool StartsWithOldKey(std::string_view text) {
  for (size_t k = 0; k < kFirstLineKey; ++k) {
    if (text.starts_with(KeyName(k))) return true;
  }
  return false;
}

// The line key a line starts with (after blanks), or kKeys; `*value` is
// the rest of the line, without its line end and trailing blanks.
size_t LineKeyOf(std::string_view line, size_t* value_at,
                 std::string_view* value) {
  size_t at = 0;
  while (at < line.size() && IsBlank(line[at])) ++at;
  for (size_t k = kFirstLineKey; k < kKeys; ++k) {
    if (!line.substr(at).starts_with(KeyName(k))) continue;
    *value_at = at + KeyName(k).size();
    std::string_view rest = line.substr(*value_at);
    rest = rest.substr(0, rest.find_first_of(std::string_view("\r\n\0", 3)));
    while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
    *value = rest;
    return k;
  }
  return kKeys;
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
      if (StartsWithOldKey(rest.substr(next))) break;
    }
    ++n;
  }
  while (n > 0 && IsBlank(rest[n - 1])) --n;
  return rest.substr(0, n);
}

// Where the value a key took last stands in the text.
struct Found {
  bool found = false;
  size_t at = 0;
  size_t size = 0;
};

// Reads the text as the file is read, keeping where each key's value was
// taken from.
class Reader {
 public:
  explicit Reader(Settings* settings) : s_(settings) {}

  Status Read(std::string_view text) {
    // Keys the file does not name stay at 0 and empty, then clamp.
    for (const CountKey& k : kCountKeys) CountOf(s_, k) = 0;
    std::vector<std::pair<size_t, size_t>> line_key_lines;
    for (size_t start = 0; start < text.size();) {
      const size_t nl = text.find('\n', start);
      const size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
      size_t value_at = 0;
      std::string_view value;
      const size_t k =
          LineKeyOf(text.substr(start, end - start), &value_at, &value);
      if (k < kKeys) {
        s_->*kLineKeys[k - kFirstLineKey].field = std::string(value);
        found_[k] = {true, start + value_at, value.size()};
        line_key_lines.emplace_back(start, end);
      }
      start = end;
    }
    LineReader pieces(text, kSettingsLinePieceBytes, LongLines::kSplit);
    std::string_view piece;
    while (pieces.Next(&piece)) {
      const uint64_t at = pieces.line_start();
      const bool own_line = std::any_of(
          line_key_lines.begin(), line_key_lines.end(),
          [at](const auto& line) { return at >= line.first && at < line.second; });
      if (own_line) continue;
      TOVEX_RETURN_IF_ERROR(ApplyPiece(piece, static_cast<size_t>(at)));
    }
    s_->run_level = RunLevelOf(run_level_);
    // A missing or empty directory is the default one, never the base
    // directory itself (where a user's own pages may stand).
    if (s_->work_dir.empty()) s_->work_dir = kDefaultWorkDir;
    if (s_->html_dir.empty()) s_->html_dir = kDefaultHtmlDir;
    ClampSettings(s_);
    return Status::Ok();
  }

  const std::array<Found, kKeys>& found() const { return found_; }

 private:
  // Applies every old key that occurs in one piece, which starts at
  // `offset` in the text.
  Status ApplyPiece(std::string_view piece, size_t offset) {
    TOVEX_RETURN_IF_ERROR(ApplyDirectories(piece, offset));
    for (size_t i = 0; i < kCounts; ++i) {
      const CountKey& k = kCountKeys[i];
      const int pos = FindPattern(piece, k.key);
      if (pos < 0) continue;
      const std::string value = ValueAfterKey(k.key, piece);
      CountOf(s_, k) = value.empty() ? k.empty_value : DecimalValue(value);
      Take(kDirs + i, offset + static_cast<size_t>(pos) + k.key.size(),
           value.size());
    }
    const int pos = FindPattern(piece, kRunLevelKey);
    if (pos >= 0) {
      const std::string value = ValueAfterKey(kRunLevelKey, piece);
      run_level_ = value.empty() ? kEmptyRunLevel : DecimalValue(value);
      Take(kRunLevel, offset + static_cast<size_t>(pos) + kRunLevelKey.size(),
           value.size());
    }
    return Status::Ok();
  }

  // The directory keys of one piece, each at its first occurrence. A
  // directory may hold text that reads like a key ("h/WORKDIR=x" names one
  // folder): inside the value of a key met earlier in the piece it is no
  // key, so that every directory written loads back as it was. A value
  // that runs on past a full piece does not fit: refused, never cut.
  Status ApplyDirectories(std::string_view piece, size_t offset) {
    bool applied[kDirs] = {};
    for (size_t pos = 0;;) {
      size_t at = std::string_view::npos, which = 0;
      for (size_t i = 0; i < kDirs; ++i) {
        const size_t found = piece.find(kDirKeys[i].key, pos);
        if (found < at) {
          at = found;
          which = i;
        }
      }
      if (at == std::string_view::npos) return Status::Ok();
      const DirKey& k = kDirKeys[which];
      const std::string_view value =
          DirectoryValue(piece.substr(at + k.key.size()));
      pos = at + k.key.size() + value.size();
      if (pos == piece.size() && piece.size() == kSettingsLinePieceBytes) {
        return Status::BadSetting(std::string(k.key) + std::string(value),
                                  "longer than a line of the file holds");
      }
      if (!applied[which]) {
        s_->*k.field = std::string(value);
        Take(which, offset + at + k.key.size(), value.size());
      }
      applied[which] = true;
    }
  }

  void Take(size_t key, size_t at, size_t size) { found_[key] = {true, at, size}; }

  Settings* s_;
  int run_level_ = kNoRunLevel;
  std::array<Found, kKeys> found_{};
};

// The text of `old` with each key whose value reads differently set to its
// value in `want`, where it stands or in a line added at the end.
std::string Edit(std::string_view old, const Settings& want,
                 bool append_all_old_keys) {
  Settings had;
  Reader reader(&had);
  const Status read = reader.Read(old);
  struct Change {
    size_t at, size;
    std::string value;
  };
  std::vector<Change> changes;
  std::string added;
  for (size_t k = 0; k < kKeys; ++k) {
    const std::string value = ValueText(want, k);
    const Found& f = reader.found()[k];
    const bool line_key = k >= kFirstLineKey;
    const bool same = read.ok() && ValueText(had, k) == value;
    if (append_all_old_keys && !line_key) {
      added.append(KeyName(k)).append(value).append("\n");
    } else if (same) {
      continue;
    } else if (f.found && read.ok()) {
      changes.push_back({f.at, f.size, value});
    } else if (!line_key || !value.empty()) {
      added.append(KeyName(k)).append(value).append("\n");
    }
  }
  std::string text(old);
  std::sort(changes.begin(), changes.end(),
            [](const Change& a, const Change& b) { return a.at > b.at; });
  for (const Change& c : changes) text.replace(c.at, c.size, c.value);
  if (!added.empty() && !text.empty() && text.back() != '\n') text += '\n';
  return text + added;
}

}  // namespace

void ClampSettings(Settings* settings) {
  for (const CountKey& k : kCountKeys) {
    int& v = CountOf(settings, k);
    v = std::clamp(v, k.lower, kMaxRows);
  }
}

Status ParseSettingsText(std::string_view text, Settings* settings) {
  Reader reader(settings);
  return reader.Read(text);
}

Status EditSettingsText(std::string_view old, const Settings& settings,
                        std::string* text) {
  if (old.empty()) {
    *text = "[SYSTEM]\n";
    for (size_t k = 0; k < kFirstLineKey; ++k) {
      text->append(KeyName(k)).append(ValueText(settings, k)).append("\n");
    }
    for (size_t k = kFirstLineKey; k < kKeys; ++k) {
      const std::string value = ValueText(settings, k);
      if (!value.empty()) text->append(KeyName(k)).append(value).append("\n");
    }
    return Status::Ok();
  }
  // Changed in place where that reads back; else every old key is written
  // again at the end, where it is the last occurrence.
  for (bool append_all : {false, true}) {
    *text = Edit(old, settings, append_all);
    Settings back;
    if (ParseSettingsText(*text, &back).ok() && back == settings) {
      return Status::Ok();
    }
  }
  return Status::BadSetting(std::string(kDirKeys[0].key) + settings.work_dir,
                            "cannot be written so that it reads back");
}

int FindPattern(std::string_view text, std::string_view pattern) {
  // Longer patterns are refused rather than searched; keys are far shorter.
  constexpr size_t kMaxPatternChars = 32;
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
