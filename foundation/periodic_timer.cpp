#include "foundation/periodic_timer.h"

CPwPeriodicTimer::CPwPeriodicTimer(MActiveSchedulerObserver* aScheduler, std::function<void()> aOnExpiry)
    : CActive(aScheduler), iOnExpiry(std::move(aOnExpiry)) {}

CPwPeriodicTimer::~CPwPeriodicTimer() { Stop(); }

void CPwPeriodicTimer::Start(int32_t aIntervalMs) {
  Stop();
  if (!iScheduler) return;
  const int32_t interval = aIntervalMs > 0 ? aIntervalMs : 1;
  iStop.Reset();
  if (!iThread.Start([this, interval] {
        while (!iStop.Wait(interval)) SignalRequest();
      }))
    Leave(KErrThread);
}

void CPwPeriodicTimer::Stop() {
  if (iThread.IsAttached()) {
    iStop.Set();
    iThread.Join();
  }
  CancelRequest();
}

void CPwPeriodicTimer::Run() {
  if (iOnExpiry) iOnExpiry();
}
