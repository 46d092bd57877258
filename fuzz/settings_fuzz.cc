// The settings reader on an arbitrary settings file, through the fake file
// system.
//
// Checks: loading succeeds and leaves every row count within its bounds
// and the run level within 0..2; loading never writes the file; the
// settings written by WriteSettingsFile load back the same.

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
  FUZZ_CHECK(LoadSettings(ctx, &loaded).ok());
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
  return 0;
}
