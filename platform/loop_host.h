// The one blocking wait of the scheduler loop and the message queue it drains between turns.
// The loop's ordering rules live in the scheduler; a host only supplies the queue and the wait:
// the headless host below (command-line program, tests) or a window host, where
//   Wake            pushes one SDL user event (SDL_PushEvent is safe from any thread),
//   Wait            is SDL_WaitEvent(nullptr), which leaves the event queued for the drain,
//   DispatchMessage polls one event, hands it to the window's handling, dispatches the wake
//                   events as nothing and answers EQuit for SDL_QUIT.
// The scheduler registers the host as the waker of every event it waits on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/event.h"

class MLoopHost : public MEventWaker {
 public:
  enum TDispatchResult {
    ENoMessage,   // the queue was empty
    EDispatched,  // one message was removed and dispatched
    EQuit,        // the quit message was removed (not dispatched); aQuitCode holds its code
  };

  // Removes the next queued message, if any, and dispatches it. Main thread only. A leave from
  // the dispatched handling passes through; the scheduler reports it like a failed Run.
  virtual TDispatchResult DispatchMessage(int32_t& aQuitCode) = 0;

  // Blocks until Wake has been called since the previous Wait returned, or until a message is
  // queued. Returns at once when either has already happened. Main thread only.
  virtual void Wait() = 0;

  // Makes the current or the next Wait return. Safe from any thread.
  void Wake() override = 0;

 protected:
  ~MLoopHost() = default;
};

// Host without a window: messages are functions posted from any thread, the wait is a
// condition variable.
class PwHeadlessLoopHost final : public MLoopHost {
 public:
  PwHeadlessLoopHost() = default;
  ~PwHeadlessLoopHost() = default;
  PwHeadlessLoopHost(const PwHeadlessLoopHost&) = delete;
  PwHeadlessLoopHost& operator=(const PwHeadlessLoopHost&) = delete;

  // Queues a message: aHandler runs on the loop's thread when the message is dispatched.
  void Post(std::function<void()> aHandler);
  // Queues the quit message with its exit code.
  void PostQuit(int32_t aCode);
  // Number of queued messages, the quit message included.
  size_t PendingMessages() const;

  TDispatchResult DispatchMessage(int32_t& aQuitCode) override;
  void Wait() override;
  void Wake() override;

 private:
  struct TMessage {
    std::function<void()> iHandler;
    bool iQuit = false;
    int32_t iCode = 0;
  };

  mutable std::mutex iMutex;
  std::condition_variable iCond;
  std::deque<TMessage> iQueue;
  bool iWoken = false;
};
