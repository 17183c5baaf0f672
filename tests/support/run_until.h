// Running an application loop in a test until a condition holds.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "foundation/scheduler.h"
#include "platform/event.h"
#include "platform/loop_host.h"

namespace pwtest {

// Runs aLoop until aDone holds (checked on the loop's thread, also inside the nested loops of
// modal dialogs), calling aTick there every aPeriod while it does not; at most aLimit. What is
// still posted when it ends runs before it returns. Returns whether aDone held.
inline bool RunLoopUntil(PwHeadlessLoopHost& aHost, CPwScheduler& aLoop, const std::function<bool()>& aDone,
                         std::chrono::milliseconds aLimit, const std::function<void()>& aTick = {},
                         std::chrono::milliseconds aPeriod = std::chrono::milliseconds(2)) {
  PwEvent stop;
  bool met = false;
  std::atomic<bool> finished{false};
  std::thread ticker([&] {
    const auto end = std::chrono::steady_clock::now() + aLimit;
    while (!finished && std::chrono::steady_clock::now() < end) {
      aHost.Post([&] {
        if (met) return;
        if (aDone()) {
          met = true;
          stop.Set();
          return;
        }
        if (aTick) aTick();
      });
      std::this_thread::sleep_for(aPeriod);
    }
    stop.Set();
  });
  aLoop.RunLoop(stop);
  finished = true;
  ticker.join();
  int32_t quit = 0;
  while (aHost.DispatchMessage(quit) == MLoopHost::EDispatched) {
  }
  return met || aDone();
}

}  // namespace pwtest
