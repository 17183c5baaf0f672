// Threads for device readers, web requests and device discovery, and the lock they share with
// the application thread.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// A plain mutual-exclusion lock. Meets BasicLockable, so std::lock_guard works as well as
// PwLockGuard.
class PwLock {
 public:
  PwLock() = default;
  PwLock(const PwLock&) = delete;
  PwLock& operator=(const PwLock&) = delete;

  void Lock() { iMutex.lock(); }
  void Unlock() { iMutex.unlock(); }
  bool TryLock() { return iMutex.try_lock(); }

  void lock() { iMutex.lock(); }
  void unlock() { iMutex.unlock(); }

 private:
  std::mutex iMutex;
};

// Holds a PwLock for the lifetime of the guard.
class PwLockGuard {
 public:
  explicit PwLockGuard(PwLock& aLock) : iLock(aLock) { iLock.Lock(); }
  ~PwLockGuard() { iLock.Unlock(); }
  PwLockGuard(const PwLockGuard&) = delete;
  PwLockGuard& operator=(const PwLockGuard&) = delete;

 private:
  PwLock& iLock;
};

// One thread running one body. Stopping a thread means asking its body to end (through the
// owner's own flag or event) and then joining with a time limit: a body stuck in a device call
// must not hang the application, so after the limit the thread is abandoned and runs to its end
// on its own.
class PwThread {
 public:
  // Smallest stack a thread gets; the reader bodies and the sanitizers need more than the
  // default of small embedded systems.
  static constexpr size_t KMinStackBytes = 256 * 1024;
  // How long stopping waits for a thread before abandoning it.
  static constexpr int32_t KStopWaitMs = 15000;

  PwThread() = default;
  // Joins a thread still attached, as Join() does.
  ~PwThread();
  PwThread(const PwThread&) = delete;
  PwThread& operator=(const PwThread&) = delete;

  // Starts aBody on a new thread with a stack of at least KMinStackBytes. Returns false when
  // the thread could not be created or a thread is already attached to this object. An
  // exception escaping the body ends the thread quietly.
  bool Start(std::function<void()> aBody, size_t aStackBytes = KMinStackBytes);

  // Waits up to aTimeoutMs (negative: no limit) for the thread to end. Returns true when it
  // has ended or no thread was attached; false when it was still running at the limit, in which
  // case it is abandoned (detached). Either way the object is free for another Start.
  bool Join(int32_t aTimeoutMs = KStopWaitMs);

  // Whether a thread is attached (started and neither joined nor abandoned).
  bool IsAttached() const { return iState != nullptr; }
  // Whether the attached thread's body has returned.
  bool HasEnded() const;

  // Whether the calling thread is the attached thread.
  bool IsCurrent() const;

 private:
  struct TShared;
  static void* Trampoline(void* aShared);

  std::shared_ptr<TShared> iState;
  pthread_t iThread{};
};
