// A mutex and condition variable that Clang's thread-safety analysis can
// see (libstdc++'s carry no attributes), in the manner of leveldb's port/.
// Every field two threads share is GUARDED_BY one of these, or says in a
// comment which single thread owns it when.

#ifndef TOVEX_PLATFORM_MUTEX_H_
#define TOVEX_PLATFORM_MUTEX_H_

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define TOVEX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TOVEX_THREAD_ANNOTATION(x)
#endif
#define CAPABILITY(x) TOVEX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY TOVEX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) TOVEX_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) TOVEX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) TOVEX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) TOVEX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TOVEX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace tovex {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mu_.lock(); }
  void Unlock() RELEASE() { mu_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mu_;
};

// Holds `mu` for the enclosing scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mu) ACQUIRE(mu) : mu_(mu) { mu_->Lock(); }
  ~MutexLock() RELEASE() { mu_->Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* const mu_;
};

// Callers loop on their condition, `while (!ready) cv.Wait(&mu);`, so the
// analysis sees every read of it under the lock. Every waiter of one
// CondVar waits with the same mutex.
class CondVar {
 public:
  // Lets go of `mu` while waiting, holds it again on return.
  void Wait(Mutex* mu) REQUIRES(mu) {
    std::unique_lock<std::mutex> lock(mu->mu_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();
  }
  void SignalAll() { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};

}  // namespace tovex

#endif  // TOVEX_PLATFORM_MUTEX_H_
