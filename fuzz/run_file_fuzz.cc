// Work-file records: arbitrary bytes read as a run, and records written and
// read back.
//
// Checks: RunReader, through its small refilled block or a large one,
// hands out exactly the records a decoding of the whole bytes at once finds
// and ends cleanly only where the bytes end on a record boundary, else with
// CannotRead naming the file; those records, written by RunWriter, read
// back equal.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "fuzz/fuzz_util.h"
#include "work/run_file.h"

namespace tovex::fuzz {
namespace {

struct Record {
  std::string key;
  uint64_t count, first;
  bool operator==(const Record&) const = default;
};

// An unsigned LEB128 of at most ten bytes (the tenth adds bit 63 only).
bool Varint(std::string_view s, size_t* at, uint64_t* v) {
  *v = 0;
  for (int n = 0; n < 10 && *at < s.size(); ++n) {
    const auto byte = static_cast<unsigned char>(s[(*at)++]);
    *v |= static_cast<uint64_t>(byte & 0x7f) << (7 * n);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

// The records of `bytes` decoded all at once; `*clean` when they end
// exactly where the bytes do.
std::vector<Record> Decode(std::string_view bytes, bool* clean) {
  std::vector<Record> records;
  size_t at = 0;
  *clean = false;
  while (at < bytes.size()) {
    const size_t key = static_cast<unsigned char>(bytes[at++]);
    Record r{};
    if (bytes.size() - at < key) return records;
    r.key = bytes.substr(at, key);
    at += key;
    if (!Varint(bytes, &at, &r.count) || !Varint(bytes, &at, &r.first)) {
      return records;
    }
    records.push_back(r);
  }
  *clean = true;
  return records;
}

// RunWriter's write block (run_file.cc).
constexpr size_t kWriterBlockBytes = 64 * 1024;

// Bytes of a record as the writer encodes it.
size_t EncodedSize(const Record& r) {
  size_t n = 1 + r.key.size();
  for (uint64_t v : {r.count, r.first}) {
    do {
      ++n;
      v >>= 7;
    } while (v != 0);
  }
  return n;
}

// The work folder of the whole process, in the scratch directory.
WorkFolder& Work() {
  static std::unique_ptr<Folder> base =
      Env().fs.OpenFolder(Env().dir.path(), nullptr);
  static std::unique_ptr<WorkFolder> work = [] {
    std::unique_ptr<WorkFolder> w;
    FUZZ_CHECK(WorkFolder::Create(Env().context(), base.get(), &w).ok());
    return w;
  }();
  return *work;
}

// Reads the run `name` through a block of `buffer_bytes`.
std::vector<Record> ReadRun(const std::string& name, size_t buffer_bytes,
                            Status* status) {
  std::unique_ptr<RunReader> reader;
  FUZZ_CHECK(RunReader::Open(Work(), name, buffer_bytes, &reader).ok());
  std::vector<Record> records;
  RunRecord r;
  while (reader->Next(&r)) {
    FUZZ_CHECK(r.key.size() <= kMaxKeyBytes);
    records.push_back({std::string(r.key), r.count, r.first});
  }
  FUZZ_CHECK(!reader->Next(&r));  // stays at the end
  *status = reader->status();
  return records;
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  const std::string_view bytes = AsText(data, size);
  bool clean = false;
  const std::vector<Record> want = Decode(bytes, &clean);

  WriteFileOrDie(Work().dir() + "raw.run", bytes);
  for (size_t buffer_bytes : {size_t{1}, size_t{64 * 1024}}) {
    Status st;
    FUZZ_CHECK(ReadRun("raw.run", buffer_bytes, &st) == want);
    if (clean) {
      FUZZ_CHECK(st.ok());
    } else {
      FUZZ_CHECK(st.code() == Status::Code::kCannotRead &&
                 st.path() == Work().dir() + "raw.run");
    }
  }

  // Written and read back. For one input size in two, records with the
  // longest key come first and fill the writer's block to just short of
  // its end, so that the input's records cross it.
  Work().folder()->Delete("written.run");
  std::unique_ptr<RunWriter> writer;
  FUZZ_CHECK(RunWriter::Create(Work(), "written.run", &writer).ok());
  const Record filler{std::string(kMaxKeyBytes, 'f'), 1, 2};
  size_t encoded = 0, fillers = 0;
  while (size % 2 == 1 && encoded + size < kWriterBlockBytes) {
    writer->Add(filler.key, filler.count, filler.first);
    encoded += EncodedSize(filler);
    ++fillers;
  }
  for (const Record& w : want) {
    writer->Add(w.key, w.count, w.first);
    encoded += EncodedSize(w);
  }
  FUZZ_CHECK(writer->Close().ok());
  FUZZ_CHECK(writer->bytes() == encoded);
  std::unique_ptr<RunReader> reader;
  FUZZ_CHECK(RunReader::Open(Work(), "written.run", 1, &reader).ok());
  RunRecord r;
  for (size_t i = 0; i < fillers + want.size(); ++i) {
    FUZZ_CHECK(reader->Next(&r));
    const Record& w = i < fillers ? filler : want[i - fillers];
    FUZZ_CHECK(r.key == w.key && r.count == w.count && r.first == w.first);
  }
  FUZZ_CHECK(!reader->Next(&r) && reader->status().ok());
  return 0;
}
