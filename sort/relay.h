// Records made on one thread and taken on another: a merge and what takes
// its records run side by side, each on a core of its own.

#ifndef TOVEX_SORT_RELAY_H_
#define TOVEX_SORT_RELAY_H_

#include <functional>
#include <memory>

#include "base/status.h"
#include "platform/worker.h"
#include "work/run_file.h"

namespace tovex {

// The records `produce` gives, taken as a source on the caller's thread
// while `produce` runs on a worker of its own; they go over in blocks. A
// source dropped before the producer has ended makes the producer's next
// block fail, and waits for it.
class RelaySource : public RunSource {
 public:
  explicit RelaySource(std::function<Status(RunSink*)> produce);
  ~RelaySource() override;

  RelaySource(const RelaySource&) = delete;
  RelaySource& operator=(const RelaySource&) = delete;

  bool Next(RunRecord* record) override;
  // Once Next has returned false: the producer's status.
  Status status() const override { return status_; }

 private:
  struct Block;
  class Packer;

  std::unique_ptr<Block[]> blocks_;  // see Packer for who holds which
  Handover<Block*> full_;
  Block* block_ = nullptr;  // being taken
  size_t at_ = 0;
  Status status_;
  Worker producer_;  // last: ends before the rest goes
};

// Runs `produce` on a thread of its own, giving it a sink whose records
// reach `sink` on the calling thread, in the order given. Returns once the
// thread has ended: with the sink's failure (the producer's next record
// then fails and it stops), else with the producer's status.
Status Relay(const std::function<Status(RunSink*)>& produce, RunSink* sink);

}  // namespace tovex

#endif  // TOVEX_SORT_RELAY_H_
