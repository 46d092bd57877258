#include "platform/worker.h"

namespace tovex {

Worker::Worker(size_t capacity)
    : tasks_(capacity), thread_([this] { Loop(); }) {}

Worker::~Worker() {
  tasks_.Fail(Status::Cancelled(0));
  thread_.join();
}

void Worker::Loop() {
  Task task;
  while (tasks_.Take(&task)) {
    const Status status = task();
    task = nullptr;  // what it holds goes before the room is given back
    if (!status.ok()) tasks_.Fail(status);
    tasks_.Done();
  }
}

}  // namespace tovex
