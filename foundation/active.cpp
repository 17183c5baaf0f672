#include "foundation/active.h"

CActive::CActive(MActiveSchedulerObserver* aScheduler) : iScheduler(aScheduler) {
  iActive.store(0, std::memory_order_relaxed);
  if (iScheduler) iScheduler->AddActive(this);
}

CActive::~CActive() {
  if (iScheduler) iScheduler->RemoveActive(this);
}

int32_t CActive::HandleRunFailure(int32_t aCode) { return aCode; }

void CActive::SignalRequest() {
  iActive.store(1, std::memory_order_release);
  iEvent.Set();
}
