// --resolve dns, after reading: the run's numeric clients are looked up
// once and then counted under their confirmed names, as if the server had
// logged the names. Two addresses with one name must become one host, so
// the names are sorted again, within the same fixed memory:
//
//   1. run->names drains in key order: the numeric hosts go to a table keyed
//      by address first (`by_address`), everything else to a run as it is;
//   2. the table drains to a run in address order: its distinct addresses,
//      joined with the old cache, make the new cache (ResolveAddresses);
//   3. both runs are read back into run->names, each numeric host under its
//      confirmed name, found by walking the new cache once in step with the
//      address-ordered run.

#include <algorithm>
#include <memory>
#include <string>

#include "job/job_run.h"
#include "log/log_line.h"
#include "resolve/host_name.h"
#include "resolve/resolve_pass.h"
#include "work/file_names.h"
#include "work/run_file.h"

namespace tovex {
namespace {

// Memory for the numeric hosts before they spill, keyed by address: they
// are a share of the names, which take kNameTableBytes.
constexpr size_t kAddressTableBytes = 256 << 10;
// Each run read back, a block at a time.
constexpr size_t kReadBackBytes = 64 << 10;
// A stop is looked for after this many records.
constexpr int64_t kStopCheckRecords = 4096;
// Parts an address-ordered key is made of: the address, this, the name's
// own key. No address holds a blank.
constexpr char kAddressEnd = ' ';

// Step 1: each record of the names to one of the two.
class SplitNames : public RunSink {
 public:
  SplitNames(KeyLayout layout, RunWriter* others, Aggregator* by_address)
      : layout_(layout), others_(others), by_address_(by_address) {}

  Status Take(const RunRecord& r) override {
    NameKey key;
    if (!ParseKey(layout_, r.key, &key)) return Status::CannotRead("");
    if (key.kind != NameKind::kHost || !IsNumericAddress(key.name)) {
      others_->Add(r.key, r.count, r.first);
      return Status::Ok();
    }
    char buf[kMaxKeyBytes];
    char* p = std::copy(key.name.begin(), key.name.end(), buf);
    *p++ = kAddressEnd;
    p = std::copy(r.key.begin(), r.key.end(), p);
    return by_address_->Add(std::string_view(buf, static_cast<size_t>(p - buf)),
                            r.count, r.first);
  }

 private:
  const KeyLayout layout_;
  RunWriter* others_;
  Aggregator* by_address_;
};

// Splits an address-ordered key into its address and the name's own key.
bool SplitAddressKey(std::string_view key, std::string_view* address,
                     std::string_view* name_key) {
  const size_t end = key.find(kAddressEnd);
  if (end == std::string_view::npos) return false;
  *address = key.substr(0, end);
  *name_key = key.substr(end + 1);
  return true;
}

// Step 2's input: the distinct addresses of the address-ordered run.
class DistinctAddresses : public AddressSource {
 public:
  explicit DistinctAddresses(RunReader* reader) : reader_(reader) {}

  bool Next(std::string_view* address) override {
    RunRecord r;
    std::string_view a, unused;
    while (reader_->Next(&r)) {
      if (!SplitAddressKey(r.key, &a, &unused)) {
        bad_ = true;
        return false;
      }
      if (a == last_) continue;
      last_.assign(a);
      *address = last_;
      return true;
    }
    return false;
  }
  Status status() const override {
    return bad_ ? Status::CannotRead("") : reader_->status();
  }

 private:
  RunReader* reader_;
  std::string last_;
  bool bad_ = false;
};

// The old cache, when there is one that can be read; trouble with it is
// shown as a warning, and the run goes on as without it.
std::unique_ptr<NameCacheReader> OpenOldCache(const JobRun& run,
                                              const DnsCache& cache) {
  if (cache.folder->KindOf(cache.name) == PathKind::kMissing) return nullptr;
  std::string error;
  std::unique_ptr<ReadableFile> file = cache.folder->OpenRead(cache.name,
                                                              &error);
  std::unique_ptr<NameCacheReader> reader;
  Status status = file ? NameCacheReader::Open(std::move(file), cache.path,
                                               &reader)
                       : Status::CannotOpen(cache.path, error);
  if (status.ok()) return reader;
  run.ctx.platform.messages->Warn(
      FormatText(UserText::kDnsCacheIgnored, status.Message().c_str()));
  return nullptr;
}

// Step 2: the new cache, written beside the old one and put in its place.
Status RenewCache(JobRun* run, const std::string& addresses,
                  const DnsCache& cache, NameResolver* resolver,
                  ResolveCounts* counts) {
  std::unique_ptr<RunReader> reader;
  TOVEX_RETURN_IF_ERROR(
      RunReader::Open(run->work, addresses, kReadBackBytes, &reader));
  DistinctAddresses source(reader.get());
  std::unique_ptr<NameCacheReader> old = OpenOldCache(*run, cache);
  // The folder is locked by this run, or the user's own choice: a file
  // that a killed run left is in the way of O_EXCL.
  const std::string fresh = cache.name + ".new";
  cache.folder->Delete(fresh);
  std::string error;
  std::unique_ptr<WritableFile> file = cache.folder->CreateNew(fresh, &error);
  if (!file) return Status::CannotOpen(cache.path + ".new", error);
  NameCacheWriter writer(std::move(file), cache.path + ".new");
  TOVEX_RETURN_IF_ERROR(ResolveAddresses(&source, old.get(), &writer,
                                         resolver,
                                         run->ctx.platform.clock->NowSeconds(),
                                         counts));
  TOVEX_RETURN_IF_ERROR(writer.Close());
  if (!counts->old_cache.ok()) {
    run->ctx.platform.messages->Warn(FormatText(
        UserText::kDnsCacheIgnored, counts->old_cache.Message().c_str()));
  }
  if (!cache.folder->Rename(fresh, cache.folder, cache.name, &error)) {
    return Status::CannotWrite(cache.path, error);
  }
  return Status::Ok();
}

// Step 3: a run read back into run->names; `lookup`, when given, names the
// hosts of an address-ordered run.
Status ReadBack(JobRun* run, const std::string& name,
                SortedNameLookup* lookup) {
  std::unique_ptr<RunReader> reader;
  TOVEX_RETURN_IF_ERROR(
      RunReader::Open(run->work, name, kReadBackBytes, &reader));
  const KeyLayout layout = run->plan.layout;
  RunRecord r;
  int64_t taken = 0;
  char buf[kNameKeyBytes];
  while (reader->Next(&r)) {
    if (++taken % kStopCheckRecords == 0) {
      TOVEX_RETURN_IF_ERROR(run->ctx.Stopped());
    }
    std::string_view key = r.key;
    if (lookup != nullptr) {
      std::string_view address;
      NameKey parsed;
      if (!SplitAddressKey(r.key, &address, &key) ||
          !ParseKey(layout, key, &parsed)) {
        return Status::CannotRead(name);
      }
      const std::string_view confirmed = lookup->Find(address);
      if (!confirmed.empty()) {
        // Cut as the log's own host texts are.
        parsed.name = confirmed.substr(
            0, std::min(confirmed.size(), kMaxFieldBytes));
        key = MakeKey(layout, parsed, buf);
      }
    }
    TOVEX_RETURN_IF_ERROR(run->names.Add(key, r.count, r.first));
  }
  TOVEX_RETURN_IF_ERROR(reader->status());
  if (lookup != nullptr) TOVEX_RETURN_IF_ERROR(lookup->status());
  run->work.folder()->Delete(name);
  return Status::Ok();
}

// The new cache, for step 3. Its trouble fails the run: it was just
// written.
Status OpenNewCache(const DnsCache& cache,
                    std::unique_ptr<SortedNameLookup>* lookup) {
  std::string error;
  std::unique_ptr<ReadableFile> file = cache.folder->OpenRead(cache.name,
                                                              &error);
  if (!file) return Status::CannotOpen(cache.path, error);
  std::unique_ptr<NameCacheReader> reader;
  TOVEX_RETURN_IF_ERROR(
      NameCacheReader::Open(std::move(file), cache.path, &reader));
  *lookup = std::make_unique<SortedNameLookup>(std::move(reader));
  return Status::Ok();
}

// Hands every record to a run, counting them.
class CountingWriter : public RunSink {
 public:
  explicit CountingWriter(RunWriter* writer) : writer_(writer) {}
  Status Take(const RunRecord& r) override {
    ++records_;
    return writer_->Take(r);
  }
  uint64_t records() const { return records_; }

 private:
  RunWriter* writer_;
  uint64_t records_ = 0;
};

}  // namespace

Status ResolveNames(JobRun* run, NameResolver* resolver, const DnsCache& cache,
                    ResolveCounts* counts) {
  const std::string others = run->work.NewFile(kRunSuffix);
  const std::string by_address = run->work.NewFile(kRunSuffix);
  {
    Aggregator addresses(&run->work, kAddressTableBytes);
    std::unique_ptr<RunWriter> writer;
    TOVEX_RETURN_IF_ERROR(RunWriter::Create(run->work, others, &writer));
    SplitNames split(run->plan.layout, writer.get(), &addresses);
    TOVEX_RETURN_IF_ERROR(run->names.Drain(&split));
    TOVEX_RETURN_IF_ERROR(writer->Close());
    TOVEX_RETURN_IF_ERROR(RunWriter::Create(run->work, by_address, &writer));
    CountingWriter counted(writer.get());
    TOVEX_RETURN_IF_ERROR(addresses.Drain(&counted));
    TOVEX_RETURN_IF_ERROR(writer->Close());
    run->Show(UserText::kResolving, static_cast<long long>(counted.records()));
  }
  TOVEX_RETURN_IF_ERROR(RenewCache(run, by_address, cache, resolver, counts));
  std::unique_ptr<SortedNameLookup> lookup;
  TOVEX_RETURN_IF_ERROR(OpenNewCache(cache, &lookup));
  TOVEX_RETURN_IF_ERROR(ReadBack(run, others, nullptr));
  return ReadBack(run, by_address, lookup.get());
}

}  // namespace tovex
