// The scheduler loop against the headless host: ordering of messages and completions,
// cancellation, nested loops, failure reporting and completions from other threads.
#include "foundation/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/modal_wait.h"
#include "platform/loop_host.h"

namespace {

// An active object whose Run is a test-supplied function.
class CTestActive : public CActive {
 public:
  CTestActive(MActiveSchedulerObserver* aScheduler, std::function<void()> aRun)
      : CActive(aScheduler), iRunFunc(std::move(aRun)) {}

  void Run() override {
    ++iRuns;
    if (iRunFunc) iRunFunc();
  }
  int32_t HandleRunFailure(int32_t aCode) override {
    iFailures.push_back(aCode);
    return iFailureFunc ? iFailureFunc(aCode) : CActive::HandleRunFailure(aCode);
  }

  std::function<void()> iRunFunc;
  std::function<int32_t(int32_t)> iFailureFunc;
  int iRuns = 0;
  std::vector<int32_t> iFailures;
};

class CNotes : public MErrorNoteDisplay {
 public:
  void ShowErrorNote(CPwStringC aText) override {
    iTexts.emplace_back(aText.View());
  }
  std::vector<std::u16string> iTexts;
};

// Scheduler whose softkey delivery is observable.
class CTestScheduler : public CPwScheduler {
 public:
  using CPwScheduler::CPwScheduler;
  std::function<void(int32_t)> iSoftkeyFunc;

 protected:
  void DeliverSoftkeyL(int32_t aCommand) override {
    if (iSoftkeyFunc) iSoftkeyFunc(aCommand);
  }
};

class SchedulerTest : public ::testing::Test {
 protected:
  SchedulerTest() { iScheduler.SetErrorNoteDisplay(&iNotes); }

  // Runs the main loop; the test stops it through iStop.
  int32_t RunMain() { return iScheduler.RunLoop(iStop); }
  void Log(const std::string& aEntry) { iLog.push_back(aEntry); }

  PwHeadlessLoopHost iHost;
  CTestScheduler iScheduler{iHost};
  CNotes iNotes;
  PwEvent iStop;
  std::vector<std::string> iLog;
};

using Lines = std::vector<std::string>;

TEST_F(SchedulerTest, WithoutActiveObjectsOnlyMessagesAreDispatchedUntilTheStopEvent) {
  iHost.Post([&] { Log("m1"); });
  iHost.Post([&] {
    Log("m2");
    iStop.Set();
  });
  // Queued before the wait, so dispatched in the same drain as the one that stops the loop.
  iHost.Post([&] { Log("m3"); });
  EXPECT_EQ(RunMain(), 0);
  EXPECT_EQ(iLog, (Lines{"m1", "m2", "m3"}));
  EXPECT_EQ(iScheduler.LoopDepth(), 0);
}

TEST_F(SchedulerTest, RegistrationKeepsOrderAndRemovalTakesTheFirstEqualEntry) {
  auto a = std::make_unique<CTestActive>(&iScheduler, nullptr);
  auto b = std::make_unique<CTestActive>(&iScheduler, nullptr);
  auto c = std::make_unique<CTestActive>(&iScheduler, nullptr);
  ASSERT_EQ(iScheduler.ActiveCount(), 3);
  EXPECT_EQ(iScheduler.ActiveAt(0), a.get());
  EXPECT_EQ(iScheduler.ActiveAt(2), c.get());

  CTestActive unregistered(nullptr, nullptr);
  iScheduler.RemoveActive(&unregistered);
  EXPECT_EQ(iScheduler.ActiveCount(), 3);

  b.reset();
  ASSERT_EQ(iScheduler.ActiveCount(), 2);
  EXPECT_EQ(iScheduler.ActiveAt(0), a.get());
  EXPECT_EQ(iScheduler.ActiveAt(1), c.get());
}

TEST_F(SchedulerTest, ObjectsSignalledTogetherRunOnePerTurnInRegistrationOrder) {
  CTestActive first(&iScheduler, nullptr);
  CTestActive second(&iScheduler, nullptr);
  first.iRunFunc = [&] {
    Log("first");
    // Input that arrives during a Run is served before the next object runs.
    iHost.Post([&] { Log("message"); });
  };
  second.iRunFunc = [&] {
    Log("second");
    iStop.Set();
  };
  // Signal order does not matter; registration order does.
  second.SignalRequest();
  first.SignalRequest();
  iHost.Post([&] { Log("queued"); });

  RunMain();
  EXPECT_EQ(iLog, (Lines{"queued", "first", "message", "second"}));
  EXPECT_EQ(first.iRuns, 1);
  EXPECT_EQ(second.iRuns, 1);
  EXPECT_FALSE(first.IsActive());
}

TEST_F(SchedulerTest, StopEventWinsOverSignalledObjects) {
  CTestActive object(&iScheduler, [&] { Log("object"); });
  object.SignalRequest();
  iStop.Set();
  RunMain();
  EXPECT_TRUE(iLog.empty());
  // The completion is still pending and is served by the next loop.
  EXPECT_TRUE(object.IsActive());
  object.iRunFunc = [&] {
    Log("object");
    iStop.Set();
  };
  RunMain();
  EXPECT_EQ(iLog, (Lines{"object"}));
}

TEST_F(SchedulerTest, CancelledCompletionIsConsumedWithoutRunAndTheObjectCanBeReused) {
  CTestActive cancelled(&iScheduler, [&] { Log("cancelled"); });
  CTestActive stopper(&iScheduler, [&] {
    Log("stopper");
    iStop.Set();
  });

  // A reader thread completes the request, then the application withdraws it.
  std::thread reader([&] { cancelled.SignalRequest(); });
  reader.join();
  cancelled.CancelRequest();
  stopper.SignalRequest();
  RunMain();
  EXPECT_EQ(cancelled.iRuns, 0);
  EXPECT_FALSE(cancelled.Event().IsSet()) << "the signal must have been consumed";
  EXPECT_EQ(iLog, (Lines{"stopper"}));

  // Made active again, it runs for its next completion.
  iLog.clear();
  cancelled.SetActive();
  cancelled.SignalRequest();
  stopper.SignalRequest();
  RunMain();
  EXPECT_EQ(iLog, (Lines{"cancelled", "stopper"}));
}

TEST_F(SchedulerTest, SelfCompletingObjectRunsAgainOnlyAfterTheQueueIsDrained) {
  CTestActive stepper(&iScheduler, nullptr);
  CTestActive other(&iScheduler, [&] { Log("other"); });
  stepper.iRunFunc = [&] {
    const std::string n = std::to_string(stepper.iRuns);
    Log("step" + n);
    iHost.Post([&, n] { Log("msg" + n); });
    if (stepper.iRuns < 3) {
      stepper.SignalRequest();
    } else {
      iStop.Set();
    }
  };
  stepper.SignalRequest();
  RunMain();
  EXPECT_EQ(iLog, (Lines{"step1", "msg1", "step2", "msg2", "step3", "msg3"}));
  EXPECT_EQ(other.iRuns, 0);
}

TEST_F(SchedulerTest, ObjectRegisteredWhileTheLoopRunsIsServedByIt) {
  std::unique_ptr<CTestActive> late;
  iHost.Post([&] {
    late = std::make_unique<CTestActive>(&iScheduler, [&] { iStop.Set(); });
    late->SignalRequest();
  });
  RunMain();
  ASSERT_TRUE(late);
  EXPECT_EQ(late->iRuns, 1);
}

TEST_F(SchedulerTest, ObjectDestroyedWhileSignalledDropsOutOfTheWait) {
  // Destroyed out of registration order, with its completion pending: the loop must neither
  // touch it nor confuse it with its neighbours.
  auto victim = std::make_unique<CTestActive>(&iScheduler, [&] { Log("victim"); });
  CTestActive killer(&iScheduler, nullptr);
  CTestActive last(&iScheduler, [&] {
    Log("last");
    iStop.Set();
  });
  killer.iRunFunc = [&] {
    Log("killer");
    victim->SignalRequest();
    last.SignalRequest();
    victim.reset();
  };
  killer.SignalRequest();
  RunMain();
  EXPECT_EQ(iLog, (Lines{"killer", "last"}));
  EXPECT_EQ(iScheduler.ActiveCount(), 2);
}

TEST_F(SchedulerTest, NestedLoopReturnsOnReleaseEvenWithObjectsSignalled) {
  CTestActive dialog(&iScheduler, nullptr);
  CTestActive busy(&iScheduler, [&] { Log("busy"); });
  CTestActive stopper(&iScheduler, [&] {
    Log("stopper");
    iStop.Set();
  });
  dialog.iRunFunc = [&] {
    CPwModalWait wait;
    busy.SignalRequest();
    stopper.SignalRequest();
    iHost.Post([&] {
      Log("close");
      wait.Release();
    });
    Log("modal");
    iScheduler.RunLoop(wait.Event());
    Log("back");
  };
  dialog.SignalRequest();
  RunMain();
  EXPECT_EQ(iLog, (Lines{"modal", "close", "back", "busy", "stopper"}));
}

TEST_F(SchedulerTest, NestedLoopServesObjectsUntilReleased) {
  CPwModalWait wait;
  int depthInside = 0;
  CTestActive dialog(&iScheduler, nullptr);
  CTestActive closer(&iScheduler, [&] {
    depthInside = iScheduler.LoopDepth();
    Log("closer");
    wait.Release();
  });
  dialog.iRunFunc = [&] {
    closer.SignalRequest();
    iScheduler.RunLoop(wait.Event());
    Log("back");
    iStop.Set();
  };
  dialog.SignalRequest();
  RunMain();
  EXPECT_EQ(iLog, (Lines{"closer", "back"}));
  EXPECT_EQ(depthInside, 2);
  EXPECT_EQ(iScheduler.LoopDepth(), 0);
}

TEST_F(SchedulerTest, ReleaseBeforeTheNestedLoopStartsEndsItAfterOneDrain) {
  CPwModalWait wait;
  wait.Release();
  iHost.Post([&] { Log("drained"); });
  EXPECT_EQ(iScheduler.RunLoop(wait.Event()), 0);
  EXPECT_EQ(iLog, (Lines{"drained"}));
}

TEST_F(SchedulerTest, RunFailureWithTheDefaultHandlerShowsMemoryFullAndTheLoopContinues) {
  CTestActive failing(&iScheduler, [] { Leave(KErrNoMemory); });
  CTestActive next(&iScheduler, [&] { iStop.Set(); });
  failing.SignalRequest();
  next.SignalRequest();
  RunMain();
  EXPECT_EQ(failing.iFailures, (std::vector<int32_t>{KErrNoMemory}));
  EXPECT_EQ(iNotes.iTexts, (std::vector<std::u16string>{u"Memory full."}));
  EXPECT_EQ(next.iRuns, 1);
}

TEST_F(SchedulerTest, RunFailureHandledByTheObjectOrWithOtherCodesShowsNothing) {
  CTestActive handled(&iScheduler, [] { Leave(KErrNoMemory); });
  handled.iFailureFunc = [](int32_t) { return 0; };
  CTestActive corrupt(&iScheduler, [] { Leave(KErrCorrupt); });
  CTestActive foreign(&iScheduler, [] { throw std::runtime_error("not a leave"); });
  CTestActive next(&iScheduler, [&] { iStop.Set(); });
  handled.SignalRequest();
  corrupt.SignalRequest();
  foreign.SignalRequest();
  next.SignalRequest();
  RunMain();
  EXPECT_EQ(handled.iFailures, (std::vector<int32_t>{KErrNoMemory}));
  EXPECT_EQ(corrupt.iFailures, (std::vector<int32_t>{KErrCorrupt}));
  // A foreign exception is a failure of its own kind, handled like any other.
  EXPECT_EQ(foreign.iRuns, 1);
  EXPECT_EQ(foreign.iFailures, (std::vector<int32_t>{KErrUnknown}));
  EXPECT_TRUE(iNotes.iTexts.empty());
  EXPECT_EQ(next.iRuns, 1);
}

TEST_F(SchedulerTest, FailuresOutsideRunAreReportedLikeRunFailures) {
  // A failure handler that itself leaves, an object that deletes itself and then leaves, and a
  // message whose handling leaves: each -2 is shown, the loop goes on.
  CTestActive leavingHandler(&iScheduler, [] { Leave(KErrCorrupt); });
  leavingHandler.iFailureFunc = [](int32_t) -> int32_t { Leave(KErrNoMemory); };
  CTestActive* suicidal = new CTestActive(&iScheduler, nullptr);
  suicidal->iRunFunc = [suicidal] {
    delete suicidal;
    Leave(KErrNoMemory);
  };
  CTestActive next(&iScheduler, [&] { iStop.Set(); });
  leavingHandler.SignalRequest();
  suicidal->SignalRequest();
  next.SignalRequest();
  iHost.Post([] { Leave(KErrNoMemory); });
  RunMain();
  EXPECT_EQ(iNotes.iTexts.size(), 3u);
  EXPECT_EQ(iScheduler.ActiveCount(), 2);
  EXPECT_EQ(next.iRuns, 1);
}

TEST_F(SchedulerTest, PendingSoftkeyIsDeliveredOnceAfterItsMessage) {
  std::vector<int32_t> delivered;
  CPwModalWait wait;
  iScheduler.iSoftkeyFunc = [&](int32_t aCommand) {
    delivered.push_back(aCommand);
    Log("softkey");
    if (delivered.size() == 1) {
      // The softkey opens a modal dialog: its nested loop must not deliver the command again.
      iHost.Post([&] { Log("in dialog"); });
      iHost.Post([&] { wait.Release(); });
      iScheduler.RunLoop(wait.Event());
    } else {
      Leave(KErrNoMemory);
    }
  };
  iHost.Post([&] {
    Log("key");
    iScheduler.SetPendingSoftkey(1);
  });
  iHost.Post([&] { Log("after"); });
  iHost.Post([&] { iScheduler.SetPendingSoftkey(2); });
  iHost.Post([&] { iStop.Set(); });
  RunMain();
  EXPECT_EQ(delivered, (std::vector<int32_t>{1, 2}));
  // The dialog's nested loop drains what was queued behind the key, the second softkey too.
  EXPECT_EQ(iLog, (Lines{"key", "softkey", "after", "softkey", "in dialog"}));
  EXPECT_EQ(iNotes.iTexts.size(), 1u);
  EXPECT_EQ(iScheduler.PendingSoftkey(), 0);
}

TEST_F(SchedulerTest, CompletionFromAnotherThreadWakesTheBlockedLoop) {
  int32_t status = 0;  // written by the thread before it signals, read in Run
  CTestActive engine(&iScheduler, nullptr);
  engine.iRunFunc = [&] {
    Log("status " + std::to_string(status));
    iStop.Set();
  };
  engine.SetActive();
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    status = 42;
    engine.SignalRequest();
  });
  RunMain();
  reader.join();
  EXPECT_EQ(iLog, (Lines{"status 42"}));
}

TEST_F(SchedulerTest, ManyThreadsSignallingLoseNoCompletion) {
  constexpr int kObjects = 6;
  constexpr int kThreads = 6;
  constexpr int kSignalsPerThread = 3000;

  struct TCounter {
    std::atomic<int> iSent{0};
    int iSeenAtLastRun = -1;
  };
  std::vector<TCounter> counters(kObjects);
  std::vector<std::unique_ptr<CTestActive>> objects;
  for (int i = 0; i < kObjects; ++i) {
    objects.push_back(std::make_unique<CTestActive>(&iScheduler, nullptr));
    objects.back()->iRunFunc = [&counters, i] { counters[i].iSeenAtLastRun = counters[i].iSent.load(); };
  }
  // Registered last, so that on its second turn every earlier completion has been served.
  CTestActive finisher(&iScheduler, nullptr);
  finisher.iRunFunc = [&] {
    if (finisher.iRuns == 1) {
      finisher.SignalRequest();
    } else {
      iStop.Set();
    }
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kSignalsPerThread; ++k) {
        const int i = (t + k) % kObjects;
        counters[i].iSent.fetch_add(1);
        objects[i]->SignalRequest();
      }
    });
  }
  std::thread watcher([&] {
    for (auto& th : threads) th.join();
    finisher.SignalRequest();
  });
  RunMain();
  watcher.join();

  int totalRuns = 0;
  for (int i = 0; i < kObjects; ++i) {
    EXPECT_EQ(counters[i].iSeenAtLastRun, counters[i].iSent.load()) << "object " << i;
    EXPECT_GE(objects[i]->iRuns, 1);
    totalRuns += objects[i]->iRuns;
  }
  // Signals that arrive while a completion is pending merge into one Run.
  EXPECT_LE(totalRuns, kThreads * kSignalsPerThread);
}

using SchedulerDeathTest = SchedulerTest;

TEST_F(SchedulerDeathTest, QuitMessageEndsTheProcessFromMainAndNestedLoops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        iHost.PostQuit(3);
        iHost.Post([] { std::_Exit(9); });  // never reached
        RunMain();
        std::_Exit(8);
      },
      ::testing::ExitedWithCode(3), "");

  EXPECT_EXIT(
      {
        CTestActive dialog(&iScheduler, [&] {
          CPwModalWait wait;
          iHost.PostQuit(4);
          iScheduler.RunLoop(wait.Event());
          std::_Exit(8);
        });
        dialog.SignalRequest();
        RunMain();
        std::_Exit(8);
      },
      ::testing::ExitedWithCode(4), "");
}

}  // namespace
