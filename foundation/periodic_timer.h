// A repeating timer on the scheduler. A thread of its own sleeps (on an event, never polling)
// until the next expiry and completes the timer's request, so the expiry runs on the
// application thread like every other completion. Expiries the application thread has not
// yet run collapse into one.
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/active.h"
#include "platform/event.h"
#include "platform/thread.h"

class CPwPeriodicTimer final : public CActive {
 public:
  // aOnExpiry runs on the application thread at every expiry; it may leave (the scheduler
  // reports the code). Without a scheduler the timer never runs.
  CPwPeriodicTimer(MActiveSchedulerObserver* aScheduler, std::function<void()> aOnExpiry);
  ~CPwPeriodicTimer() override;

  // (Re)starts with a period of aIntervalMs (at least 1). Leaves KErrThread when the timer's
  // thread cannot be started. Does nothing without a scheduler.
  void Start(int32_t aIntervalMs);
  // Ends the timer's thread; an expiry still waiting does not run.
  void Stop();
  bool IsRunning() const { return iThread.IsAttached(); }

  void Run() override;

 private:
  std::function<void()> iOnExpiry;
  PwEvent iStop;
  PwThread iThread;
};
