#include "platform/event.h"

#include <chrono>

void PwEvent::Set() {
  std::lock_guard<std::mutex> lock(iMutex);
  iSignalled = true;
  iCond.notify_one();
  // Told under the lock so that SetWaker(nullptr) is a barrier: a waker that has been detached
  // is never called afterwards, even by a Set racing with the detach.
  if (iWaker) iWaker->Wake();
}

void PwEvent::Reset() {
  std::lock_guard<std::mutex> lock(iMutex);
  iSignalled = false;
}

bool PwEvent::TryWait() {
  std::lock_guard<std::mutex> lock(iMutex);
  bool was = iSignalled;
  iSignalled = false;
  return was;
}

bool PwEvent::Wait(int32_t aTimeoutMs) {
  std::unique_lock<std::mutex> lock(iMutex);
  if (aTimeoutMs < 0) {
    iCond.wait(lock, [this] { return iSignalled; });
  } else if (!iCond.wait_for(lock, std::chrono::milliseconds(aTimeoutMs), [this] { return iSignalled; })) {
    return false;
  }
  iSignalled = false;
  return true;
}

bool PwEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(iMutex);
  return iSignalled;
}

MEventWaker* PwEvent::SetWaker(MEventWaker* aWaker) {
  std::lock_guard<std::mutex> lock(iMutex);
  MEventWaker* previous = iWaker;
  iWaker = aWaker;
  return previous;
}
