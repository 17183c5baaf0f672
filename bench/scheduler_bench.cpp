// Cost of a scheduler turn: a self-completing object (the worker pattern) with other objects
// registered before it, and the round trip of a completion signalled from another thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/active.h"
#include "foundation/scheduler.h"
#include "platform/event.h"
#include "platform/loop_host.h"

namespace {

class CIdle : public CActive {
 public:
  using CActive::CActive;
  void Run() override {}
};

class CSelfCompleting : public CActive {
 public:
  CSelfCompleting(MActiveSchedulerObserver* aScheduler, PwEvent& aStop) : CActive(aScheduler), iStop(aStop) {}
  void Run() override {
    if (--iLeft > 0) {
      SignalRequest();
    } else {
      iStop.Set();
    }
  }
  PwEvent& iStop;
  int64_t iLeft = 0;
};

void BM_SelfCompletionTurn(benchmark::State& aState) {
  PwHeadlessLoopHost host;
  CPwScheduler scheduler(host);
  std::vector<std::unique_ptr<CIdle>> others;
  for (int64_t i = 0; i < aState.range(0); ++i) others.push_back(std::make_unique<CIdle>(&scheduler));
  PwEvent stop;
  CSelfCompleting stepper(&scheduler, stop);
  constexpr int64_t kTurns = 1000;
  for (auto _ : aState) {
    stepper.iLeft = kTurns;
    stepper.SignalRequest();
    scheduler.RunLoop(stop);
  }
  aState.SetItemsProcessed(aState.iterations() * kTurns);
}
BENCHMARK(BM_SelfCompletionTurn)->Arg(0)->Arg(7)->Arg(30);

class CEcho : public CActive {
 public:
  CEcho(MActiveSchedulerObserver* aScheduler, PwEvent& aReply) : CActive(aScheduler), iReply(aReply) {}
  void Run() override { iReply.Set(); }
  PwEvent& iReply;
};

class CStopper : public CActive {
 public:
  CStopper(MActiveSchedulerObserver* aScheduler, PwEvent& aStop) : CActive(aScheduler), iStop(aStop) {}
  void Run() override { iStop.Set(); }
  PwEvent& iStop;
};

void BM_CrossThreadRoundTrip(benchmark::State& aState) {
  PwHeadlessLoopHost host;
  CPwScheduler scheduler(host);
  PwEvent reply;
  PwEvent stop;
  CEcho echo(&scheduler, reply);
  CStopper stopper(&scheduler, stop);
  std::atomic<int64_t> rounds{0};
  // The loop runs on its own thread; the benchmark thread plays the device reader.
  std::thread loop([&] { scheduler.RunLoop(stop); });
  for (auto _ : aState) {
    echo.SignalRequest();
    reply.Wait();
    rounds.fetch_add(1, std::memory_order_relaxed);
  }
  stopper.SignalRequest();
  loop.join();
  aState.SetItemsProcessed(rounds.load());
}
BENCHMARK(BM_CrossThreadRoundTrip)->UseRealTime();

}  // namespace
