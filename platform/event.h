// Auto-reset event: one Set releases exactly one wait, after which the event is non-signalled
// again. An optional waker is told of every Set so that a single blocking wait (the scheduler's)
// can cover many events without polling them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Told, on the signalling thread, each time an event it watches is set.
class MEventWaker {
 public:
  virtual void Wake() = 0;

 protected:
  ~MEventWaker() = default;
};

class PwEvent {
 public:
  // Waits without a time limit.
  static constexpr int32_t KInfinite = -1;

  PwEvent() = default;  // non-signalled
  ~PwEvent() = default;
  PwEvent(const PwEvent&) = delete;
  PwEvent& operator=(const PwEvent&) = delete;

  // Signals the event (safe from any thread) and tells the waker, if any.
  void Set();
  // Makes the event non-signalled.
  void Reset();
  // Consumes the signal if the event is signalled; never blocks.
  bool TryWait();
  // Blocks until the event is signalled (then consumes the signal and returns true) or until
  // aTimeoutMs milliseconds have passed (returns false). KInfinite waits for ever.
  bool Wait(int32_t aTimeoutMs = KInfinite);
  // Whether the event is signalled, without consuming it.
  bool IsSet() const;

  // Replaces the waker told of every Set and returns the previous one (null for none). Once
  // this returns, no Set calls the previous waker any more.
  MEventWaker* SetWaker(MEventWaker* aWaker);

 private:
  mutable std::mutex iMutex;
  std::condition_variable iCond;
  bool iSignalled = false;
  MEventWaker* iWaker = nullptr;
};
