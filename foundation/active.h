// Active objects: work that completes later (a reader thread with new bytes, a worker step that
// wants to run again, a web request) is an object with an auto-reset event. The scheduler waits
// on all of them together with the message queue and runs the completed object's Run on the
// application thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/pw_base.h"
#include "platform/event.h"

class CActive;

// Where active objects register themselves. Application thread only.
class MActiveSchedulerObserver {
 public:
  virtual void AddActive(CActive* aActive) = 0;
  virtual void RemoveActive(CActive* aActive) = 0;

 protected:
  ~MActiveSchedulerObserver() = default;
};

class CActive : public CPwBase {
 public:
  // Registers the object with aScheduler (which may be null: never registered).
  explicit CActive(MActiveSchedulerObserver* aScheduler);
  // Unregisters the object.
  ~CActive() override;

  // Called by the scheduler, with the same object, when Run left with aCode (nonzero). A nonzero
  // result is reported by the scheduler; the default passes the code on unchanged.
  virtual int32_t HandleRunFailure(int32_t aCode);
  // The completion. Runs on the application thread; may leave.
  virtual void Run() = 0;

  // Marks a request as outstanding.
  void SetActive() { iActive.store(1, std::memory_order_relaxed); }
  // Nonzero while a request is outstanding.
  int32_t IsActive() const { return iActive.load(std::memory_order_acquire); }
  // Withdraws the request: a completion already signalled or still to come is consumed
  // without running.
  void CancelRequest() { iActive.store(0, std::memory_order_relaxed); }
  // Completes the request: marks it outstanding and signals the event. Safe from any thread;
  // a thread writes its status fields first, and the event orders those writes before the
  // application thread reads them in Run. From the object itself, it runs again on the next
  // turn of the loop.
  void SignalRequest();

  // The event the scheduler waits on.
  PwEvent& Event() { return iEvent; }
  MActiveSchedulerObserver* Scheduler() const { return iScheduler; }

 protected:
  MActiveSchedulerObserver* iScheduler = nullptr;

 private:
  friend class CPwScheduler;  // clears the flag before Run, forgets itself on destruction

  std::atomic<int32_t> iActive{0};
  PwEvent iEvent;
};
