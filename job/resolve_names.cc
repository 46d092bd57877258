// --resolve dns, after reading: the run's numeric clients are looked up
// once and then counted under their confirmed names, as if the server had
// logged the names. Two addresses with one name must become one host, so
// the hosts are sorted again, within the same fixed memory:
//
//   1. run->names drains in key order: the numeric hosts go to a table keyed
//      by address first (`by_address`), the other hosts and the contents to
//      a run as they are;
//   2. the table drains to a run in address order: its distinct addresses,
//      joined with the old cache, make the new cache (ResolveAddresses);
//   3. the address-ordered run is read back into a table, each numeric host
//      under its confirmed name, found by walking the new cache once in
//      step with it; drained to a run, it is in key order again, and the
//      sink takes the merge of the two runs.
//
// Where the names have no periods, every host comes before every content:
// steps 2 and 3 then run as the first content comes by, and the contents
// go to the sink straight from the drain, never to a run (they are most of
// the names there).

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "job/job_run.h"
#include "log/log_line.h"
#include "resolve/host_name.h"
#include "resolve/resolve_pass.h"
#include "sort/merge.h"
#include "work/file_names.h"
#include "work/run_file.h"

namespace tovex {
namespace {

// Each run read back, a block at a time.
constexpr size_t kReadBackBytes = 64 << 10;
// A stop is looked for after this many records.
constexpr int64_t kStopCheckRecords = 4096;
// Parts an address-ordered key is made of: the address, this, the name's
// own key without the name (the address again). No address holds a blank.
constexpr char kAddressEnd = ' ';

// Step 1: each record of the names to one of the two, until `at_contents`
// (when given) has run at the first content: from then on, to `sink`.
class SplitNames : public RunSink {
 public:
  SplitNames(KeyLayout layout, RunWriter* others, Aggregator* by_address,
             RunSink* sink, std::function<Status()> at_contents)
      : layout_(layout),
        others_(others),
        by_address_(by_address),
        sink_(sink),
        at_contents_(std::move(at_contents)) {}

  Status Take(const RunRecord& r) override {
    if (passing_) return sink_->Take(r);
    NameKey key;
    if (!ParseKey(layout_, r.key, &key)) return Status::CannotRead("");
    if (key.kind == NameKind::kContent && at_contents_) {
      passing_ = true;
      TOVEX_RETURN_IF_ERROR(at_contents_());
      return sink_->Take(r);
    }
    if (key.kind != NameKind::kHost || !IsNumericAddress(key.name)) {
      others_->Add(r.key, r.count, r.first);
      return Status::Ok();
    }
    char buf[kMaxKeyBytes];
    char* p = std::copy(key.name.begin(), key.name.end(), buf);
    *p++ = kAddressEnd;
    const std::string_view address = key.name;
    key.name = address.substr(0, 0);  // empty, and not null for memcpy
    const std::string_view rest = MakeKey(layout_, key, p);
    return by_address_->Add(
        std::string_view(buf, address.size() + 1 + rest.size()), r.count,
        r.first);
  }

  // Whether the contents went to the sink.
  bool passed() const { return passing_; }

 private:
  const KeyLayout layout_;
  RunWriter* others_;
  Aggregator* by_address_;
  RunSink* sink_;
  std::function<Status()> at_contents_;
  bool passing_ = false;
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

// Step 3: the address-ordered run read back into `hosts`, each under the
// name `lookup` gives it.
Status ReadBack(JobRun* run, const std::string& name,
                SortedNameLookup* lookup, Aggregator* hosts) {
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
    std::string_view address, key;
    NameKey parsed;
    if (!SplitAddressKey(r.key, &address, &key) ||
        !ParseKey(layout, key, &parsed)) {
      return Status::CannotRead(name);
    }
    const std::string_view confirmed = lookup->Find(address);
    // Cut as the log's own host texts are.
    parsed.name = confirmed.empty()
                      ? address
                      : confirmed.substr(
                            0, std::min(confirmed.size(), kMaxFieldBytes));
    TOVEX_RETURN_IF_ERROR(
        hosts->Add(MakeKey(layout, parsed, buf), r.count, r.first));
  }
  TOVEX_RETURN_IF_ERROR(reader->status());
  TOVEX_RETURN_IF_ERROR(lookup->status());
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

// Steps 2 and 3, once step 1 has written `others` (closed here) and filled
// `by_address`.
Status ResolveAndMerge(JobRun* run, NameResolver* resolver,
                       const DnsCache& cache, ResolveCounts* counts,
                       RunWriter* others, const std::string& others_name,
                       Aggregator* by_address, RunSink* sink) {
  TOVEX_RETURN_IF_ERROR(others->Close());
  const std::string addresses = run->work.NewFile(kRunSuffix);
  std::unique_ptr<RunWriter> writer;
  TOVEX_RETURN_IF_ERROR(RunWriter::Create(run->work, addresses, &writer));
  TOVEX_RETURN_IF_ERROR(by_address->Drain(writer.get()));
  TOVEX_RETURN_IF_ERROR(writer->Close());
  run->Show(UserText::kResolving);
  TOVEX_RETURN_IF_ERROR(RenewCache(run, addresses, cache, resolver, counts));
  std::unique_ptr<SortedNameLookup> lookup;
  TOVEX_RETURN_IF_ERROR(OpenNewCache(cache, &lookup));
  const std::string hosts = run->work.NewFile(kRunSuffix);
  {
    Aggregator renamed(&run->work, kNameTableBytes);
    TOVEX_RETURN_IF_ERROR(ReadBack(run, addresses, lookup.get(), &renamed));
    TOVEX_RETURN_IF_ERROR(RunWriter::Create(run->work, hosts, &writer));
    TOVEX_RETURN_IF_ERROR(renamed.Drain(writer.get()));
    TOVEX_RETURN_IF_ERROR(writer->Close());
  }
  return MergeRuns(&run->work, {RunFile(others_name), RunFile(hosts)},
                   nullptr, sink);
}

}  // namespace

Status DrainResolvedNames(JobRun* run, NameResolver* resolver,
                          const DnsCache& cache, ResolveCounts* counts,
                          RunSink* sink) {
  const std::string others_name = run->work.NewFile(kRunSuffix);
  std::unique_ptr<RunWriter> others;
  TOVEX_RETURN_IF_ERROR(RunWriter::Create(run->work, others_name, &others));
  // The names' table is given back before their merge: its memory.
  Aggregator by_address(&run->work, kNameTableBytes);
  auto resolve = [&] {
    return ResolveAndMerge(run, resolver, cache, counts, others.get(),
                           others_name, &by_address, sink);
  };
  SplitNames split(run->plan.layout, others.get(), &by_address, sink,
                   run->plan.layout.period ? std::function<Status()>()
                                           : std::function<Status()>(resolve));
  TOVEX_RETURN_IF_ERROR(run->names.Drain(&split));
  return split.passed() ? Status::Ok() : resolve();
}

}  // namespace tovex
