#include "sort/relay.h"

#include <cstring>

namespace tovex {
namespace {

// Records go over in blocks of this size: one handover per several hundred
// records, and three relays of a split merge stay small.
constexpr size_t kBlockBytes = 32 << 10;
// One block being filled, one being taken, one ready in between.
constexpr size_t kBlocks = 3;
// A record in a block: key size, key, count, first.
constexpr size_t kRecordOverhead = 1 + 2 * sizeof(uint64_t);

}  // namespace

// Records packed one after another: key size, key, count, first.
struct RelaySource::Block {
  std::unique_ptr<char[]> data = std::make_unique<char[]>(kBlockBytes);
  size_t size = 0;
};

// The producer's sink: packs records into the blocks in ring order. A
// block is the producer's until it is put, the taker's from Take to Done;
// the taker finishes blocks in order, so room in the handover means the
// next block of the ring is free again.
class RelaySource::Packer : public RunSink {
 public:
  Packer(Block* ring, Handover<Block*>* handover)
      : blocks_(ring), full_(handover) {}

  Status Take(const RunRecord& r) override {
    const size_t size = kRecordOverhead + r.key.size();
    Block* b = &blocks_[next_];
    if (b->size + size > kBlockBytes) {
      TOVEX_RETURN_IF_ERROR(Send());
      b = &blocks_[next_];
    }
    char* p = b->data.get() + b->size;
    *p++ = static_cast<char>(r.key.size());
    std::memcpy(p, r.key.data(), r.key.size());
    p += r.key.size();
    std::memcpy(p, &r.count, sizeof r.count);
    std::memcpy(p + sizeof r.count, &r.first, sizeof r.first);
    b->size += size;
    return Status::Ok();
  }

  // Hands over the block being filled, if it holds anything.
  Status Send() {
    Block* b = &blocks_[next_];
    if (b->size == 0) return Status::Ok();
    if (!full_->Put(b)) return Status::Cancelled(0);  // the taker quit
    next_ = (next_ + 1) % kBlocks;
    blocks_[next_].size = 0;
    return Status::Ok();
  }

 private:
  Block* blocks_;
  Handover<Block*>* full_;
  size_t next_ = 0;
};

RelaySource::RelaySource(std::function<Status(RunSink*)> produce)
    : blocks_(std::make_unique<Block[]>(kBlocks)),
      full_(kBlocks - 1),
      producer_(1) {
  // A fresh worker takes its first task.
  producer_.Put([this, produce = std::move(produce)] {
    Packer packer(blocks_.get(), &full_);
    // What was made before a failure still reaches the taker.
    Status status = produce(&packer);
    const Status sent = packer.Send();
    if (status.ok()) status = sent;
    full_.Close();
    return status;
  });
}

RelaySource::~RelaySource() {
  // The producer stops at its next block, or ends by itself.
  full_.Fail(Status::Cancelled(0));
  producer_.Finish();
}

bool RelaySource::Next(RunRecord* r) {
  while (block_ == nullptr || at_ == block_->size) {
    if (block_ != nullptr) full_.Done();
    block_ = nullptr;
    at_ = 0;
    if (!full_.Take(&block_)) {
      status_ = producer_.Finish();
      return false;
    }
  }
  const char* p = block_->data.get() + at_;
  const auto size = static_cast<unsigned char>(*p++);
  r->key = std::string_view(p, size);
  p += size;
  std::memcpy(&r->count, p, sizeof r->count);
  std::memcpy(&r->first, p + sizeof r->count, sizeof r->first);
  at_ += kRecordOverhead + size;
  return true;
}

Status Relay(const std::function<Status(RunSink*)>& produce, RunSink* sink) {
  RelaySource source(produce);
  RunRecord r;
  while (source.Next(&r)) TOVEX_RETURN_IF_ERROR(sink->Take(r));
  return source.status();
}

}  // namespace tovex
