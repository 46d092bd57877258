#include "sort/relay.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace tovex {
namespace {

// Records go over in blocks of this size: one handover per several hundred
// records, and three relays of a split merge stay small.
constexpr size_t kBlockBytes = 32 << 10;
// One block being filled, one being taken, one ready in between.
constexpr int kBlocks = 3;
// A record in a block: key size, key, count, first.
constexpr size_t kRecordOverhead = 1 + 2 * sizeof(uint64_t);

}  // namespace

// Records packed one after another: key size, key, count, first.
struct RelaySource::Block {
  std::unique_ptr<char[]> data = std::make_unique<char[]>(kBlockBytes);
  size_t size = 0;
};

// The blocks between the two threads.
class RelaySource::Channel {
 public:
  Channel() : blocks_(kBlocks) {
    for (Block& b : blocks_) empty_.push_back(&b);
  }

  // The producer's side. Send hands over a filled block and returns an
  // empty one; nullptr once the taker has quit.
  Block* FirstEmpty() { return WaitForEmpty(); }
  Block* Send(Block* full) {
    Post(full);
    return WaitForEmpty();
  }
  // The last block, possibly part full, and how the producer ended.
  void Finish(Block* last, const Status& status) {
    std::lock_guard<std::mutex> lock(mu_);
    if (last != nullptr) full_.push_back(last);
    status_ = status;
    finished_ = true;
    cv_.notify_all();
  }

  // The taker's side: the next filled block, nullptr after the last.
  Block* Receive() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return !full_.empty() || finished_; });
    if (full_.empty()) return nullptr;
    Block* b = full_.front();
    full_.pop_front();
    return b;
  }
  void Return(Block* b) {
    b->size = 0;
    std::lock_guard<std::mutex> lock(mu_);
    empty_.push_back(b);
    cv_.notify_all();
  }
  void Quit() {
    std::lock_guard<std::mutex> lock(mu_);
    quit_ = true;
    cv_.notify_all();
  }
  // REQUIRES: the producer has finished.
  const Status& status() const { return status_; }

 private:
  void Post(Block* full) {
    std::lock_guard<std::mutex> lock(mu_);
    full_.push_back(full);
    cv_.notify_all();
  }
  Block* WaitForEmpty() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return !empty_.empty() || quit_; });
    if (quit_) return nullptr;
    Block* b = empty_.back();
    empty_.pop_back();
    return b;
  }

  std::vector<Block> blocks_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Block*> empty_;
  std::deque<Block*> full_;
  bool finished_ = false;
  bool quit_ = false;
  Status status_;

 public:
  std::thread producer;  // last: joined before the rest goes
};

// The producer's sink: packs records into blocks.
class RelaySource::Writer : public RunSink {
 public:
  explicit Writer(Channel* channel)
      : channel_(channel), block_(channel->FirstEmpty()) {}

  Status Take(const RunRecord& r) override {
    if (block_ == nullptr) return Status::Cancelled(0);
    const size_t size = kRecordOverhead + r.key.size();
    if (block_->size + size > kBlockBytes) {
      block_ = channel_->Send(block_);
      if (block_ == nullptr) return Status::Cancelled(0);
    }
    char* p = block_->data.get() + block_->size;
    *p++ = static_cast<char>(r.key.size());
    std::memcpy(p, r.key.data(), r.key.size());
    p += r.key.size();
    std::memcpy(p, &r.count, sizeof r.count);
    std::memcpy(p + sizeof r.count, &r.first, sizeof r.first);
    block_->size += size;
    return Status::Ok();
  }

  Block* block() const { return block_; }

 private:
  Channel* channel_;
  Block* block_;
};

RelaySource::RelaySource(std::function<Status(RunSink*)> produce)
    : channel_(std::make_unique<Channel>()), produce_(std::move(produce)) {
  channel_->producer = std::thread([this] {
    Writer writer(channel_.get());
    const Status status = produce_(&writer);
    channel_->Finish(writer.block(), status);
  });
}

RelaySource::~RelaySource() {
  // The producer stops at its next record, or ends by itself.
  channel_->Quit();
  channel_->producer.join();
}

bool RelaySource::Next(RunRecord* r) {
  while (block_ == nullptr || at_ == block_->size) {
    if (block_ != nullptr) channel_->Return(block_);
    block_ = channel_->Receive();
    at_ = 0;
    if (block_ == nullptr) {
      status_ = channel_->status();
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
