// The user's settings and their file "quorvane.ini" in the base directory.
//
// The file is a text of KEY=value lines after "[SYSTEM]"; settings_text.h
// says how it is read, and how it is written so that every line the
// program does not change stays as it was.

#ifndef TOVEX_SETTINGS_SETTINGS_H_
#define TOVEX_SETTINGS_SETTINGS_H_

#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/platform.h"
#include "tally/tally.h"
#include "work/file_names.h"

namespace tovex {

// Which pages a run writes.
enum class RunLevel {
  kYear = 0,   // the index page only
  kMonth = 1,  // and a page per month
  kDay = 2,    // and a page per day
};

// Directory texts longer than this are refused by the settings dialog.
inline constexpr size_t kMaxDirectoryChars = 127;
// Size texts in the settings dialog hold at most this many characters.
inline constexpr size_t kMaxSizeChars = 2;
// The file is read in pieces of at most this many bytes, each piece a line,
// so that a key in the tail of a long line still counts.
inline constexpr size_t kSettingsLinePieceBytes = 255;

// Row bounds of the ranking tables.
inline constexpr int kMinRows = 10;  // domains and contents
inline constexpr int kMinOrganisationRows = 5;
inline constexpr int kMaxRows = 50;  // every ranking table

struct Settings {
  RunLevel run_level = RunLevel::kYear;  // RUNLEVEL
  std::string work_dir;  // WORKDIR, relative to the base directory
  std::string html_dir;  // HTMLDIR, relative to the base directory
  RowGroup index_rows;   // INDEXDOMN, INDEXCLAS, INDEXHTML
  RowGroup month_rows;   // MONTHDOMN, MONTHCLAS, MONTHHTML
  RowGroup day_rows;     // DAYSDOMN, DAYSCLAS, DAYSHTML
  // Keys the window does not show, each on a line of its own, as the file
  // writes them; they are checked where they are used. Empty: not set.
  std::string json_file;    // JSONFILE, relative to the base directory
  std::string history_dir;  // HISTORYDIR, relative to the base directory
  // The line options (filter/line_filter.h), as the file spells them; a
  // switch is on with "1", off with "0" or nothing.
  std::string exclude_hosts;  // EXCLUDEHOSTS
  std::string exclude_bots;   // EXCLUDEBOTS
  std::string statuses;       // STATUS
  std::string methods;        // METHODS
  std::string vhost;          // VHOST
  std::string time_zone;      // TIMEZONE
  std::string query_pages;    // QUERYPAGES
  std::string decode_paths;   // DECODEPATHS
  std::string organisations;  // ORGANISATIONS: "labels", "domain"
  std::string resolve;        // RESOLVE: "asn", "dns", "dns,asn"
  // With RESOLVE=dns: the cache file (relative to the base directory;
  // empty: in the history folder, else the work folder), the server
  // (ADDR[:PORT]; empty: the system's), the seconds lookups may take.
  std::string dns_cache;        // DNSCACHE
  std::string dns_server;       // DNSSERVER
  std::string resolve_timeout;  // RESOLVETIMEOUT

  bool operator==(const Settings&) const = default;
};

// The keys that stand at the start of a line of their own.
struct LineKey {
  std::string_view key;
  std::string Settings::*field;
};
inline constexpr LineKey kLineKeys[] = {
    {"JSONFILE=", &Settings::json_file},
    {"HISTORYDIR=", &Settings::history_dir},
    {"EXCLUDEHOSTS=", &Settings::exclude_hosts},
    {"EXCLUDEBOTS=", &Settings::exclude_bots},
    {"STATUS=", &Settings::statuses},
    {"METHODS=", &Settings::methods},
    {"VHOST=", &Settings::vhost},
    {"TIMEZONE=", &Settings::time_zone},
    {"QUERYPAGES=", &Settings::query_pages},
    {"DECODEPATHS=", &Settings::decode_paths},
    {"ORGANISATIONS=", &Settings::organisations},
    {"RESOLVE=", &Settings::resolve},
    {"DNSCACHE=", &Settings::dns_cache},
    {"DNSSERVER=", &Settings::dns_server},
    {"RESOLVETIMEOUT=", &Settings::resolve_timeout},
};

// The values a missing settings file is created with.
Settings DefaultSettings();

// The run level for a number, clamped into 0..2.
RunLevel RunLevelOf(int level);

// Fills `*settings` from the file `name` (kSettingsFileName unless the
// user names another) in ctx.base_dir, clamped. Only a missing file is
// created, with DefaultSettings(), and so are the default work and output
// directories where missing (the output one only unless `html_dir_given`:
// a run that names its own makes no folder it will not use); an existing
// file is never written. Fails with
// CannotOpen when the file exists but cannot be opened or is no regular
// file, CannotRead on a read error or a file too large to be settings,
// CannotWrite when it cannot be created, BadSetting for a value that
// cannot be taken.
Status LoadSettings(const Context& ctx, Settings* settings,
                    std::string_view name = kSettingsFileName,
                    bool html_dir_given = false);

// Forces every row count into its bounds.
void ClampSettings(Settings* settings);

// Writes `settings` to the file `name` in ctx.base_dir, replacing it by
// rename: an existing file keeps every line and byte whose value does not
// change (settings_text.h), a missing one is made with the fresh layout.
Status WriteSettingsFile(const Context& ctx, const Settings& settings,
                         std::string_view name = kSettingsFileName);

// Position of the first occurrence of `pattern` in `text`, or -1 when it does
// not occur, when either is empty, or when `pattern` is longer than 32 bytes.
int FindPattern(std::string_view text, std::string_view pattern);

// The text after the first occurrence of `key` in `line` up to the first
// tab, blank, CR or LF; empty when `key` does not occur.
std::string ValueAfterKey(std::string_view key, std::string_view line);

}  // namespace tovex

#endif  // TOVEX_SETTINGS_SETTINGS_H_
