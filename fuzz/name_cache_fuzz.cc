// The name cache file: arbitrary bytes read as a cache, in reads of chosen
// sizes, and the entries it gives written and read back. A cache file is
// shared between runs and may be edited, cut or planted.
//
// Checks: every entry handed out has a numeric address above the one
// before, a time of zero or more, and a normalised host name exactly when
// it is confirmed; the reader ends cleanly only at a trailer that counts
// the entries, with nothing after it; those entries, written by
// NameCacheWriter, read back equal and end cleanly.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "resolve/name_cache.h"

namespace tovex::fuzz {
namespace {

struct Entry {
  std::string address;
  int64_t time;
  NameOutcome outcome;
  std::string name;
  bool operator==(const Entry&) const = default;
};

// The entries `file` gives; `*status` the reader's status at the end.
std::vector<Entry> ReadAll(std::unique_ptr<ReadableFile> file,
                           Status* status) {
  std::vector<Entry> out;
  std::unique_ptr<NameCacheReader> reader;
  *status = NameCacheReader::Open(std::move(file), "names", &reader);
  if (!status->ok()) return out;
  NameEntry e;
  while (reader->Next(&e)) {
    FUZZ_CHECK(IsNumericAddress(e.address));
    FUZZ_CHECK(out.empty() || out.back().address < e.address);
    FUZZ_CHECK(e.time >= 0 && e.outcome != NameOutcome::kUnanswered);
    FUZZ_CHECK((e.outcome == NameOutcome::kConfirmed) == !e.name.empty());
    FUZZ_CHECK(e.name.empty() || IsNormalHostName(e.name));
    out.push_back({std::string(e.address), e.time, e.outcome,
                   std::string(e.name)});
  }
  *status = reader->status();
  return out;
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  if (size == 0) return 0;
  const std::string_view text = AsText(data + 1, size - 1);
  Status status;
  const std::vector<Entry> entries = ReadAll(
      std::make_unique<StringFile>(std::string(text),
                                   ReadSizes(AsText(data, 1))),
      &status);
  if (status.ok()) {
    const std::string trailer = "end " + std::to_string(entries.size()) + "\n";
    FUZZ_CHECK(text.ends_with(trailer));
  }

  const std::string path = Env().dir.path() + "names";
  const std::unique_ptr<Folder> dir =
      Env().fs.OpenFolder(Env().dir.path(), nullptr);
  FUZZ_CHECK(dir != nullptr);
  dir->Delete("names");
  NameCacheWriter writer(dir->CreateNew("names", nullptr), path);
  for (const Entry& e : entries) {
    FUZZ_CHECK(writer
                   .Take({e.address, e.time, e.outcome, e.name})
                   .ok());
  }
  FUZZ_CHECK(writer.Close().ok() && writer.left_out() == 0);
  Status again;
  FUZZ_CHECK(ReadAll(Env().fs.OpenRead(path, nullptr), &again) == entries);
  FUZZ_CHECK(again.ok());
  return 0;
}
