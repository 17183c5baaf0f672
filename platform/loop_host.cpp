#include "platform/loop_host.h"

#include <utility>

void PwHeadlessLoopHost::Post(std::function<void()> aHandler) {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQueue.push_back(TMessage{std::move(aHandler), false, 0});
  }
  iCond.notify_one();
}

void PwHeadlessLoopHost::PostQuit(int32_t aCode) {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQueue.push_back(TMessage{nullptr, true, aCode});
  }
  iCond.notify_one();
}

size_t PwHeadlessLoopHost::PendingMessages() const {
  std::lock_guard<std::mutex> lock(iMutex);
  return iQueue.size();
}

MLoopHost::TDispatchResult PwHeadlessLoopHost::DispatchMessage(int32_t& aQuitCode) {
  TMessage message;
  {
    std::lock_guard<std::mutex> lock(iMutex);
    if (iQueue.empty()) return ENoMessage;
    message = std::move(iQueue.front());
    iQueue.pop_front();
  }
  if (message.iQuit) {
    aQuitCode = message.iCode;
    return EQuit;
  }
  // Run outside the lock: a handler may post further messages or signal active objects.
  if (message.iHandler) message.iHandler();
  return EDispatched;
}

void PwHeadlessLoopHost::Wait() {
  std::unique_lock<std::mutex> lock(iMutex);
  iCond.wait(lock, [this] { return iWoken || !iQueue.empty(); });
  iWoken = false;
}

void PwHeadlessLoopHost::Wake() {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iWoken = true;
  }
  iCond.notify_one();
}
