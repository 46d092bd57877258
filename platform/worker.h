// Work handed from one thread to another, after zstd's POOL: a bounded
// queue, a non-blocking offer whose refusal tells the caller to do the work
// itself, and the first failure kept. Every thread of a run other than the
// caller's is a Worker, and what goes from one thread to another goes
// through a Handover.

#ifndef TOVEX_PLATFORM_WORKER_H_
#define TOVEX_PLATFORM_WORKER_H_

#include <cstddef>
#include <deque>
#include <functional>
#include <thread>
#include <utility>

#include "base/status.h"
#include "platform/mutex.h"

namespace tovex {

// A bounded queue between threads. An item holds its room from Put until
// the taker calls Done for it, so a full handover means that many items
// are waiting or being worked on; a taker that finishes items in the order
// taken frees the oldest first.
template <typename T>
class Handover {
 public:
  // REQUIRES: capacity >= 1.
  explicit Handover(size_t capacity) : capacity_(capacity) {}
  Handover(const Handover&) = delete;
  Handover& operator=(const Handover&) = delete;

  // Waits for room and queues `item`; false, dropping it, once closed or
  // failed.
  bool Put(T item) { return Offer(&item, /*wait=*/true); }
  // Queues `*item` only if there is room now; false leaves it as it was.
  bool TryPut(T* item) { return Offer(item, /*wait=*/false); }

  // The oldest item, waiting for one; false once closed or failed with
  // nothing left to take.
  bool Take(T* item) { return Receive(item, /*wait=*/true); }
  // The oldest item if one is queued now.
  bool TryTake(T* item) { return Receive(item, /*wait=*/false); }
  // The taker is through with one item it took: its room is free.
  void Done() EXCLUDES(mu_) {
    Change([this]() REQUIRES(mu_) { --in_hand_; });
  }
  // Nothing more will be put; what is queued can still be taken.
  void Close() EXCLUDES(mu_) {
    Change([this]() REQUIRES(mu_) { closed_ = true; });
  }
  // Keeps the first failure and drops what is queued: Put and TryPut
  // refuse from now on, Take finds nothing.
  void Fail(const Status& status) EXCLUDES(mu_) {
    Change([&]() REQUIRES(mu_) {
      if (status_.ok()) status_ = status;
      queue_.clear();
    });
  }

  // Waits until every item put (and not dropped) is done; the first
  // failure.
  Status Wait() EXCLUDES(mu_) {
    MutexLock lock(&mu_);
    while (!queue_.empty() || in_hand_ > 0) changed_.Wait(&mu_);
    return status_;
  }
  Status status() EXCLUDES(mu_) {
    MutexLock lock(&mu_);
    return status_;
  }

 private:
  bool Open() const REQUIRES(mu_) { return !closed_ && status_.ok(); }

  bool Offer(T* item, bool wait) EXCLUDES(mu_) {
    MutexLock lock(&mu_);
    auto full = [this]() REQUIRES(mu_) {
      return queue_.size() + in_hand_ >= capacity_;
    };
    while (wait && full() && Open()) changed_.Wait(&mu_);
    if (full() || !Open()) return false;
    queue_.push_back(std::move(*item));
    changed_.SignalAll();
    return true;
  }

  bool Receive(T* item, bool wait) EXCLUDES(mu_) {
    MutexLock lock(&mu_);
    while (wait && queue_.empty() && Open()) changed_.Wait(&mu_);
    if (queue_.empty()) return false;
    *item = std::move(queue_.front());
    queue_.pop_front();
    ++in_hand_;
    return true;
  }

  template <typename F>
  void Change(F change) EXCLUDES(mu_) {
    MutexLock lock(&mu_);
    change();
    changed_.SignalAll();
  }

  const size_t capacity_;
  Mutex mu_;
  CondVar changed_;
  std::deque<T> queue_ GUARDED_BY(mu_);
  size_t in_hand_ GUARDED_BY(mu_) = 0;  // taken, not yet done
  bool closed_ GUARDED_BY(mu_) = false;
  Status status_ GUARDED_BY(mu_);
};

// A thread of its own that runs the tasks handed to it, in order. What a
// task touches is the task's from the moment it is queued until Finish
// returns or, with a capacity of one, until the next TryPut is taken.
class Worker {
 public:
  using Task = std::function<Status()>;

  // `capacity`: tasks waiting or running at once. REQUIRES: capacity >= 1.
  explicit Worker(size_t capacity)
      : tasks_(capacity), thread_([this] { Loop(); }) {}
  // Drops the tasks not started and waits for the running one.
  ~Worker() {
    tasks_.Fail(Status::Cancelled(0));
    thread_.join();
  }

  // Waits for room and queues `task`; once a task has failed, that failure
  // instead, and `task` never runs.
  Status Put(Task task) {
    return tasks_.Put(std::move(task)) ? Status::Ok() : tasks_.status();
  }
  // Queues `*task` only if there is room now and nothing failed; false
  // leaves it to the caller.
  bool TryPut(Task* task) { return tasks_.TryPut(task); }
  // Waits until every task queued has run; the first failure of any, which
  // stays.
  Status Finish() { return tasks_.Wait(); }
  // The first failure so far, without waiting.
  Status status() { return tasks_.status(); }

 private:
  void Loop() {
    Task task;
    while (tasks_.Take(&task)) {
      const Status status = task();
      task = nullptr;  // what it holds goes before its room is given back
      if (!status.ok()) tasks_.Fail(status);
      tasks_.Done();
    }
  }

  Handover<Task> tasks_;
  std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace tovex

#endif  // TOVEX_PLATFORM_WORKER_H_
