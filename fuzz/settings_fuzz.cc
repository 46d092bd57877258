// The settings reader on an arbitrary settings file, through the fake file
// system.
//
// Checks: loading succeeds (or refuses a folder name too long for its
// line) and leaves every row count within its bounds and the run level
// within 0..2; loading never writes the file; the settings written by
// WriteSettingsFile load back the same, both as loaded and changed (every
// count moved, the folders and a line key given values of the input's).

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_util.h"
#include "settings/settings.h"
#include "work/file_names.h"

namespace tovex::fuzz {
namespace {

void CheckBounds(const RowGroup& rows) {
  for (int n : {rows.domains, rows.contents}) {
    FUZZ_CHECK(n >= kMinRows && n <= kMaxRows);
  }
  FUZZ_CHECK(rows.organisations >= kMinOrganisationRows &&
             rows.organisations <= kMaxRows);
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  const std::string_view content = AsText(data, size);
  const std::string path = PutFile(std::string(kSettingsFileName), content);
  const Context ctx = Env().context();

  Settings loaded;
  const Status st = LoadSettings(ctx, &loaded);
  if (st.code() == Status::Code::kBadSetting) return 0;
  FUZZ_CHECK(st.ok());
  for (const RowGroup* rows :
       {&loaded.index_rows, &loaded.month_rows, &loaded.day_rows}) {
    CheckBounds(*rows);
  }
  const int level = static_cast<int>(loaded.run_level);
  FUZZ_CHECK(level >= 0 && level <= 2);
  FUZZ_CHECK(ReadFileOrEmpty(path) == content);

  FUZZ_CHECK(WriteSettingsFile(ctx, loaded).ok());
  Settings again;
  FUZZ_CHECK(LoadSettings(ctx, &again).ok());
  FUZZ_CHECK(again == loaded);

  Settings changed = loaded;
  for (RowGroup* rows :
       {&changed.index_rows, &changed.month_rows, &changed.day_rows}) {
    rows->domains = kMinRows + (rows->domains + 7) % (kMaxRows - kMinRows);
    rows->organisations = kMaxRows - rows->organisations % 3;
  }
  changed.run_level = RunLevelOf((static_cast<int>(loaded.run_level) + 1) % 3);
  // Names of the kind the window takes: no line end, no blank before a key.
  const std::string name(content.substr(
      0, content.find_first_of(std::string_view("\r\n =\t\0", 6))));
  changed.work_dir = name.empty() ? "w\\" : name.substr(0, 100);
  changed.json_file = changed.work_dir + ".json";
  FUZZ_CHECK(WriteSettingsFile(ctx, changed).ok());
  FUZZ_CHECK(LoadSettings(ctx, &again).ok());
  FUZZ_CHECK(again == changed);
  return 0;
}
