#include "platform/thread.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>

// Shared between the object and its thread, so that an abandoned thread still has its body and
// its end flag after the object has gone.
struct PwThread::TShared {
  std::function<void()> iBody;
  std::mutex iMutex;
  std::condition_variable iCond;
  bool iEnded = false;
};

namespace {
// The shared state of the thread running this code, so that a body can ask whether it is the
// thread of a given PwThread without reading fields the starter may still be writing.
thread_local const void* tCurrentShared = nullptr;
}  // namespace

void* PwThread::Trampoline(void* aShared) {
  // Take over the reference that Start handed in.
  std::unique_ptr<std::shared_ptr<TShared>> handed(static_cast<std::shared_ptr<TShared>*>(aShared));
  std::shared_ptr<TShared> state = *handed;
  handed.reset();
  tCurrentShared = state.get();
  try {
    state->iBody();
  } catch (...) {
    // Nothing on this thread can report it; ending the thread beats ending the process.
  }
  // The body's captures may refer to the owner; release them before the owner is told.
  state->iBody = nullptr;
  {
    std::lock_guard<std::mutex> lock(state->iMutex);
    state->iEnded = true;
  }
  state->iCond.notify_all();
  return nullptr;
}

PwThread::~PwThread() { Join(); }

bool PwThread::Start(std::function<void()> aBody, size_t aStackBytes) {
  if (iState || !aBody) return false;
  auto state = std::make_shared<TShared>();
  state->iBody = std::move(aBody);

  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  size_t stack = std::max<size_t>({aStackBytes, KMinStackBytes, static_cast<size_t>(PTHREAD_STACK_MIN)});
  bool ok = pthread_attr_setstacksize(&attr, stack) == 0;
  // Attached before the thread exists, so that the body may already use this object.
  iState = state;
  auto* handed = new std::shared_ptr<TShared>(std::move(state));
  if (ok) ok = pthread_create(&iThread, &attr, &PwThread::Trampoline, handed) == 0;
  pthread_attr_destroy(&attr);
  if (!ok) {
    delete handed;
    iState.reset();
    return false;
  }
  return true;
}

bool PwThread::Join(int32_t aTimeoutMs) {
  if (!iState) return true;
  if (IsCurrent()) {
    // A thread cannot wait for itself; let it run to its end on its own.
    pthread_detach(pthread_self());
    iState.reset();
    return false;
  }
  bool ended;
  {
    std::unique_lock<std::mutex> lock(iState->iMutex);
    if (aTimeoutMs < 0) {
      iState->iCond.wait(lock, [this] { return iState->iEnded; });
      ended = true;
    } else {
      ended = iState->iCond.wait_for(lock, std::chrono::milliseconds(aTimeoutMs),
                                     [this] { return iState->iEnded; });
    }
  }
  if (ended) {
    pthread_join(iThread, nullptr);  // returns at once: the body has finished
  } else {
    pthread_detach(iThread);
  }
  iState.reset();
  return ended;
}

bool PwThread::HasEnded() const {
  if (!iState) return false;
  std::lock_guard<std::mutex> lock(iState->iMutex);
  return iState->iEnded;
}

bool PwThread::IsCurrent() const { return iState && tCurrentShared == iState.get(); }
