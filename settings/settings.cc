#include "settings/settings.h"

#include <cstring>
#include <memory>
#include <string>

#include "job/work_file.h"
#include "log/decimal.h"

namespace tovex {
namespace {

// Longer patterns are refused rather than searched; the keys are far shorter.
constexpr size_t kMaxPatternChars = 32;
// Read block of the settings file; the file is a few hundred bytes.
constexpr size_t kSettingsReadBytes = 4096;
static_assert(kSettingsReadBytes >= kSettingsLinePieceBytes);

// The defaults of a freshly created file.
constexpr std::string_view kDefaultWorkDir = "workdir\\";
constexpr std::string_view kDefaultHtmlDir = "htmldir\\";
constexpr int kDefaultRunLevel = 2;

// What a count or the run level becomes when its key stands with no value.
// These differ from the defaults of a fresh file on purpose: existing
// settings files rely on both sets.
constexpr int kEmptyRows = 20;
constexpr int kEmptyOrganisationRows = 10;
constexpr int kEmptyRunLevel = 2;

struct DirKey {
  std::string_view key;
  std::string Settings::*field;
};

struct IntKey {
  std::string_view key;
  int Settings::*field;
  int empty_value;  // taken when the key has no value
  int lower;
  int upper;
};

// The directory keys are tested before the numeric ones; both tables keep
// the order in which keys are looked up in each line.
constexpr DirKey kDirKeys[] = {
    {"WORKDIR=", &Settings::work_dir},
    {"HTMLDIR=", &Settings::html_dir},
};

constexpr IntKey kIntKeys[] = {
    {"INDEXDOMN=", &Settings::index_domn, kEmptyRows, kMinRows, kMaxRows},
    {"INDEXHTML=", &Settings::index_html, kEmptyRows, kMinRows, kMaxRows},
    {"INDEXCLAS=", &Settings::index_clas, kEmptyOrganisationRows,
     kMinOrganisationRows, kMaxRows},
    {"MONTHDOMN=", &Settings::month_domn, kEmptyRows, kMinRows, kMaxRows},
    {"MONTHHTML=", &Settings::month_html, kEmptyRows, kMinRows, kMaxRows},
    {"MONTHCLAS=", &Settings::month_clas, kEmptyOrganisationRows,
     kMinOrganisationRows, kMaxRows},
    {"DAYSDOMN=", &Settings::days_domn, kEmptyRows, kMinRows, kMaxRows},
    {"DAYSHTML=", &Settings::days_html, kEmptyRows, kMinRows, kMaxRows},
    {"DAYSCLAS=", &Settings::days_clas, kEmptyOrganisationRows,
     kMinOrganisationRows, kMaxRows},
    {"RUNLEVEL=", &Settings::run_level, kEmptyRunLevel, kMinRunLevel,
     kMaxRunLevel},
};

// Hands out a file as pieces of at most kSettingsLinePieceBytes bytes: a
// line that fits is one piece (line end included); a longer one is cut into
// several, each a line of its own. Unlike the log's LineReader nothing is
// dropped, so a key in the tail of a long line still counts.
class PieceReader {
 public:
  explicit PieceReader(ReadableFile* file) : file_(file) {}

  // The next piece, cut at a NUL byte like a C string would be; false at the
  // end of the file. Valid until the next call.
  bool Next(std::string_view* piece) {
    size_t len = 0;
    while (true) {
      const size_t avail = end_ - begin_;
      const size_t window =
          avail < kSettingsLinePieceBytes ? avail : kSettingsLinePieceBytes;
      const char* start = buf_ + begin_;
      const void* nl = std::memchr(start, '\n', window);
      if (nl != nullptr) {
        len = static_cast<size_t>(static_cast<const char*>(nl) - start) + 1;
        break;
      }
      if (window == kSettingsLinePieceBytes) {
        len = window;
        break;
      }
      if (Fill()) continue;
      if (avail == 0) return false;
      len = avail;  // the last line has no line end
      break;
    }
    // Fill() may have moved the unread bytes to the front.
    const char* start = buf_ + begin_;
    begin_ += len;
    const void* nul = std::memchr(start, '\0', len);
    if (nul != nullptr) {
      len = static_cast<size_t>(static_cast<const char*>(nul) - start);
    }
    *piece = std::string_view(start, len);
    return true;
  }

 private:
  // Moves the unread bytes to the front and reads behind them; false when
  // the file has nothing more.
  bool Fill() {
    if (eof_) return false;
    std::memmove(buf_, buf_ + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    size_t got = file_->Read(buf_ + end_, sizeof(buf_) - end_);
    if (got == 0) eof_ = true;
    end_ += got;
    return got > 0;
  }

  ReadableFile* file_;
  char buf_[kSettingsReadBytes];
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

bool EndsValue(char c) {
  return c == '\t' || c == ' ' || c == '\r' || c == '\n';
}

// Applies every key that occurs in one piece of the file.
void ApplyLine(std::string_view line, Settings* settings) {
  for (const DirKey& k : kDirKeys) {
    if (FindPattern(line, k.key) >= 0) {
      settings->*k.field = ValueAfterKey(k.key, line);
    }
  }
  for (const IntKey& k : kIntKeys) {
    if (FindPattern(line, k.key) >= 0) {
      std::string value = ValueAfterKey(k.key, line);
      settings->*k.field = value.empty() ? k.empty_value : DecimalValue(value);
    }
  }
}

void ResetSettings(Settings* settings) {
  *settings = Settings();
  // Out of range on purpose: a file without the key ends up at run level 0.
  settings->run_level = -1;
}

// Makes the default work and output directories so that a first run finds
// them. A failure shows later, when the job cannot open its files there.
void MakeDefaultDirectories(const Context& ctx, const Settings& settings) {
  for (const std::string* dir : {&settings.work_dir, &settings.html_dir}) {
    if (dir->empty()) continue;
    ctx.platform.fs->MakeDirectory(ctx.base_dir + NativeDirectory(*dir));
  }
}

}  // namespace

Settings DefaultSettings() {
  Settings s;
  s.run_level = kDefaultRunLevel;
  s.work_dir = kDefaultWorkDir;
  s.html_dir = kDefaultHtmlDir;
  s.index_domn = s.index_html = kMinRows;
  s.month_domn = s.month_html = kMinRows;
  s.days_domn = s.days_html = kMinRows;
  s.index_clas = s.month_clas = s.days_clas = kMinOrganisationRows;
  return s;
}

Status LoadSettings(const Context& ctx, Settings* settings) {
  ResetSettings(settings);
  const std::string path = JoinPath(ctx, "", kSettingsFileName);
  Status status;
  std::unique_ptr<ReadableFile> file = ctx.platform.fs->OpenRead(path);
  if (file) {
    PieceReader pieces(file.get());
    std::string_view piece;
    while (pieces.Next(&piece)) ApplyLine(piece, settings);
  } else {
    *settings = DefaultSettings();
    status = WriteSettingsFile(ctx, *settings);
    if (status.ok()) MakeDefaultDirectories(ctx, *settings);
  }
  ClampSettings(settings);
  return status;
}

void ClampSettings(Settings* settings) {
  for (const IntKey& k : kIntKeys) {
    int& v = settings->*k.field;
    if (v < k.lower) v = k.lower;
    if (v > k.upper) v = k.upper;
  }
}

Status WriteSettingsFile(const Context& ctx, const Settings& settings) {
  const std::string path = JoinPath(ctx, "", kSettingsFileName);
  std::unique_ptr<WritableFile> file;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(ctx, path, OpenMode::kWrite, &file));
  std::string text = "[SYSTEM]\n";
  for (const DirKey& k : kDirKeys) {
    text += k.key;
    text += settings.*k.field;
    text += '\n';
  }
  for (const IntKey& k : kIntKeys) {
    text += k.key;
    text += std::to_string(settings.*k.field);
    text += '\n';
  }
  const bool written = file->Write(text.data(), text.size());
  const bool closed = file->Close();
  return written && closed ? Status::Ok() : Status::CannotWrite(path);
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
