#include "resolve/resolve_pass.h"

#include <cstring>
#include <utility>

namespace tovex {
namespace {

// The merge of the run's addresses with the old cache: fresh entries pass
// along, the rest of the run's addresses go to be looked up. Each side moves
// on only at the next call, so that the views handed out stay valid.
class JoinSource : public NameSource {
 public:
  JoinSource(AddressSource* addresses, NameCacheReader* old_cache, int64_t now,
             ResolveCounts* counts)
      : addresses_(addresses), old_(old_cache), now_(now), counts_(counts) {}

  bool Next(NameEntry* out) override {
    for (;;) {
      if (next_address_) NextAddress();
      if (next_old_) NextOld();
      if (!have_address_ && !have_old_) return false;
      if (have_old_ && (!have_address_ || old_entry_.address < address_)) {
        next_old_ = true;
        if (!IsFresh(old_entry_, now_)) continue;
        ++counts_->kept;
        *out = old_entry_;
        return true;
      }
      next_address_ = true;
      ++counts_->addresses;
      if (have_old_ && old_entry_.address == address_) {
        next_old_ = true;
        if (IsFresh(old_entry_, now_)) {
          ++counts_->reused;
          *out = old_entry_;
          return true;
        }
      }
      *out = NameEntry{address_, now_, NameOutcome::kUnanswered, {}, false};
      return true;
    }
  }

  Status status() const override { return addresses_->status(); }

 private:
  // Takes the next numeric address above the one before.
  void NextAddress() {
    next_address_ = false;
    while ((have_address_ = addresses_->Next(&address_))) {
      if (address_ > std::string_view(last_, last_size_) &&
          IsNumericAddress(address_)) {
        std::memcpy(last_, address_.data(), address_.size());
        last_size_ = address_.size();
        return;
      }
    }
  }

  void NextOld() {
    next_old_ = false;
    have_old_ = old_ != nullptr && old_->Next(&old_entry_);
    if (!have_old_ && old_ != nullptr) {
      counts_->old_cache = old_->status();
      old_ = nullptr;
    }
  }

  AddressSource* addresses_;
  NameCacheReader* old_;
  const int64_t now_;
  ResolveCounts* counts_;
  std::string_view address_;
  NameEntry old_entry_;
  bool have_address_ = false;
  bool have_old_ = false;
  bool next_address_ = true;
  bool next_old_ = true;
  char last_[kMaxAddressTextBytes];
  size_t last_size_ = 0;
};

class CacheSink : public NameSink {
 public:
  CacheSink(NameCacheWriter* writer, ResolveCounts* counts)
      : writer_(writer), counts_(counts) {}

  Status Take(const NameEntry& entry) override {
    if (entry.looked_up) {
      ++counts_->resolved;
      if (entry.outcome == NameOutcome::kConfirmed) ++counts_->confirmed;
      if (entry.outcome == NameOutcome::kUnanswered) ++counts_->unanswered;
    }
    return writer_->Take(entry);
  }

 private:
  NameCacheWriter* writer_;
  ResolveCounts* counts_;
};

}  // namespace

Status ResolveAddresses(AddressSource* addresses, NameCacheReader* old_cache,
                        NameCacheWriter* new_cache, NameResolver* resolver,
                        int64_t now, ResolveCounts* counts) {
  *counts = ResolveCounts();
  JoinSource source(addresses, old_cache, now, counts);
  CacheSink sink(new_cache, counts);
  const Status status = resolver->Resolve(&source, &sink);
  counts->left_out = new_cache->left_out();
  return status;
}

SortedNameLookup::SortedNameLookup(std::unique_ptr<NameCacheReader> reader)
    : reader_(std::move(reader)) {}

std::string_view SortedNameLookup::Find(std::string_view address) {
  if (address < last_) Restart();
  last_.assign(address);
  while (!at_end_ && (!have_current_ || current_.address < address)) {
    have_current_ = reader_->Next(&current_);
    at_end_ = !have_current_;
  }
  if (have_current_ && current_.address == address &&
      current_.outcome == NameOutcome::kConfirmed) {
    return current_.name;
  }
  return std::string_view();
}

Status SortedNameLookup::Restart() {
  have_current_ = false;
  at_end_ = false;
  last_.clear();
  const Status status = reader_->Rewind();
  at_end_ = !status.ok();
  return status;
}

}  // namespace tovex
