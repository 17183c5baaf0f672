// The worker engine stepping a worker through the scheduler loop, and the text progress bar.
#include "foundation/worker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "strings/pw_strings.h"

namespace {

using Lines = std::vector<std::string>;

// A worker of a fixed number of steps that logs what happens to it.
class CCountingWorker : public CWorker {
 public:
  CCountingWorker(Lines& aLog, int32_t aSteps) : iLog(aLog), iSteps(aSteps) {}

  int32_t Step() override {
    ++iStepCalls;
    iLog.push_back("step" + std::to_string(iStepCalls));
    if (iStepHook) iStepHook();
    if (iLeaveAt == iStepCalls) Leave(iLeaveCode);
    return iStepCalls < iSteps ? 1 : 0;
  }
  void Cancel() override {
    ++iCancelCalls;
    iLog.push_back("cancel");
  }
  int32_t ProgressTotal() override { return iSteps * 10; }
  int32_t ProgressValue() override { return iStepCalls * 10; }

  Lines& iLog;
  int32_t iSteps;
  int32_t iStepCalls = 0;
  int32_t iCancelCalls = 0;
  int32_t iLeaveAt = 0;
  int32_t iLeaveCode = 0;
  std::function<void()> iStepHook;
};

class CRecordingObserver : public MWorkerObserver {
 public:
  explicit CRecordingObserver(Lines& aLog) : iLog(aLog) {}
  void WorkerDone(int32_t aCode) override {
    iLog.push_back("done " + std::to_string(aCode));
    if (iOnDone) iOnDone(aCode);
  }
  void WorkerCancelled() override {
    iLog.push_back("cancelled");
    if (iOnCancelled) iOnCancelled();
  }
  Lines& iLog;
  std::function<void(int32_t)> iOnDone;
  std::function<void()> iOnCancelled;
};

class CRecordingDisplay : public MProgressDisplay {
 public:
  explicit CRecordingDisplay(Lines& aLog) : iLog(aLog) {}
  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t) override {
    if (iShowLeave) Leave(iShowLeave);
    std::string text;
    for (char16_t c : aText.View()) text += static_cast<char>(c);
    iLog.push_back("show " + text);
    iObserver = aObserver;
  }
  void UpdateProgress(int32_t aValue, int32_t aTotal) override {
    iLog.push_back("progress " + std::to_string(aValue) + "/" + std::to_string(aTotal));
  }
  int32_t CloseProgress() override {
    iLog.push_back("close");
    iObserver = nullptr;
    if (iCloseLeave) Leave(iCloseLeave);
    return 0;
  }
  Lines& iLog;
  MProgressDialogObserver* iObserver = nullptr;
  int32_t iShowLeave = 0;
  int32_t iCloseLeave = 0;
};

// Ends the loop when it runs.
class CStopper : public CActive {
 public:
  CStopper(MActiveSchedulerObserver* aScheduler, PwEvent& aStop) : CActive(aScheduler), iStop(aStop) {}
  void Run() override { iStop.Set(); }
  PwEvent& iStop;
};

class CNotes : public MErrorNoteDisplay {
 public:
  void ShowErrorNote(CPwStringC) override { ++iShown; }
  int iShown = 0;
};

class WorkerEngineTest : public ::testing::Test {
 protected:
  WorkerEngineTest() { iScheduler.SetErrorNoteDisplay(&iNotes); }

  // Runs the loop until the run ends (the observer stops it) or the queue says so.
  void RunUntilEnded() {
    iObserver.iOnDone = [this](int32_t) { iStop.Set(); };
    iObserver.iOnCancelled = [this] { iStop.Set(); };
    iScheduler.RunLoop(iStop);
  }

  Lines iLog;
  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  CNotes iNotes;
  PwEvent iStop;
  CRecordingDisplay iDisplay{iLog};
  CRecordingObserver iObserver{iLog};
  CWorkerEngine iEngine{&iScheduler, &iDisplay};
};

TEST_F(WorkerEngineTest, WorkerCompleteAfterOneStepOpensAndClosesTheDialogOnce) {
  CCountingWorker worker(iLog, 1);
  EXPECT_EQ(iEngine.State(), CWorkerEngine::EIdle);
  iEngine.Start(&worker, &iObserver, R_MEMORY_FULL);
  EXPECT_EQ(iEngine.State(), CWorkerEngine::ERunning);
  EXPECT_EQ(worker.iStepCalls, 0) << "the first step waits for the next turn";
  RunUntilEnded();
  EXPECT_EQ(iLog, (Lines{"show Memory full.", "step1", "close", "done 0"}));
  EXPECT_EQ(iEngine.State(), CWorkerEngine::EFinished);
  EXPECT_EQ(iEngine.Worker(), nullptr);
}

TEST_F(WorkerEngineTest, StepsAlternateWithMessagesAndReportProgress) {
  CCountingWorker worker(iLog, 3);
  worker.iStepHook = [&] {
    const std::string n = std::to_string(worker.iStepCalls);
    iHost.Post([this, n] { iLog.push_back("msg" + n); });
  };
  iEngine.Start(&worker, &iObserver, R_MEMORY_FULL);
  RunUntilEnded();
  EXPECT_EQ(iLog, (Lines{"show Memory full.", "step1", "progress 10/30", "msg1", "step2", "progress 20/30",
                         "msg2", "step3", "close", "done 0", "msg3"}));
}

TEST_F(WorkerEngineTest, CancelBetweenStepsStopsTheWorkerOnce) {
  CCountingWorker worker(iLog, 100);
  worker.iStepHook = [&] {
    if (worker.iStepCalls == 2) {
      // The user presses the dialog's cancel while the next step is already pending.
      iHost.Post([this] {
        ASSERT_NE(iDisplay.iObserver, nullptr);
        iDisplay.iObserver->Cancel();
        iDisplay.iObserver = &iEngine;
        iEngine.Cancel();  // a second cancel does nothing
      });
    }
  };
  iEngine.Start(&worker, &iObserver, R_MEMORY_FULL);
  RunUntilEnded();
  // Let the stale completion come through (the engine was registered before the stopper, so
  // it is served first): it must not step again.
  CStopper stopper(&iScheduler, iStop);
  CActive* stale = &iEngine;
  EXPECT_TRUE(stale->IsActive());
  stopper.SignalRequest();
  iScheduler.RunLoop(iStop);
  EXPECT_FALSE(stale->IsActive());

  EXPECT_EQ(iLog, (Lines{"show Memory full.", "step1", "progress 10/1000", "step2", "progress 20/1000",
                         "close", "cancel", "cancelled"}));
  EXPECT_EQ(worker.iStepCalls, 2);
  EXPECT_EQ(worker.iCancelCalls, 1);
  EXPECT_EQ(iEngine.State(), CWorkerEngine::EFinished);
}

TEST_F(WorkerEngineTest, CancelInsideAStepEndsTheRunWithoutTouchingTheWorkerAgain) {
  // A step that asks a modal question runs a nested loop, where the user may cancel the run.
  for (int32_t steps : {1, 5}) {
    iLog.clear();
    CCountingWorker worker(iLog, steps);
    worker.iStepHook = [&] { iEngine.Cancel(); };
    iEngine.Start(&worker, &iObserver, R_MEMORY_FULL);
    RunUntilEnded();
    EXPECT_EQ(iLog, (Lines{"show Memory full.", "step1", "close", "cancel", "cancelled"})) << steps;
    EXPECT_EQ(worker.iStepCalls, 1);
    EXPECT_EQ(iEngine.State(), CWorkerEngine::EFinished);
    EXPECT_FALSE(iEngine.IsActive());
  }
}

TEST_F(WorkerEngineTest, LeavingStepEndsTheRunWithItsCodeAndNoMessageFromTheLoop) {
  for (int32_t code : {KErrCorrupt, KErrNoMemory}) {
    iLog.clear();
    CCountingWorker worker(iLog, 5);
    worker.iLeaveAt = 2;
    worker.iLeaveCode = code;
    iEngine.Start(&worker, &iObserver, R_MEMORY_FULL);
    RunUntilEnded();
    EXPECT_EQ(iLog, (Lines{"show Memory full.", "step1", "progress 10/50", "step2", "close",
                           "done " + std::to_string(code)}));
    EXPECT_EQ(worker.iStepCalls, 2);
  }
  // The observer reports failures; the loop's own "Memory full." note is not raised.
  EXPECT_EQ(iNotes.iShown, 0);
}

TEST_F(WorkerEngineTest, ObserverMayStartTheNextWorkerAndItsLeavesAreIgnored) {
  CCountingWorker first(iLog, 1);
  CCountingWorker second(iLog, 1);
  iDisplay.iCloseLeave = KErrNoMemory;  // a failing close does not stop the report
  int doneCalls = 0;
  iObserver.iOnDone = [&](int32_t) {
    if (++doneCalls == 1) {
      iEngine.Start(&second, &iObserver, R_MEMORY_FULL);
      Leave(KErrCorrupt);
    }
    iStop.Set();
  };
  iEngine.Start(&first, &iObserver, R_MEMORY_FULL);
  iScheduler.RunLoop(iStop);
  EXPECT_EQ(iLog, (Lines{"show Memory full.", "step1", "close", "done 0", "show Memory full.", "step1",
                         "close", "done 0"}));
  EXPECT_EQ(iNotes.iShown, 0);
}

TEST_F(WorkerEngineTest, StartWhileRunningCancelsTheRunningWorkerFirst) {
  CCountingWorker first(iLog, 10);
  CCountingWorker second(iLog, 1);
  iEngine.Start(&first, &iObserver, R_MEMORY_FULL);
  iEngine.Start(&second, &iObserver, R_MEMORY_FULL);
  EXPECT_EQ(iEngine.Worker(), &second);
  RunUntilEnded();
  EXPECT_EQ(iLog, (Lines{"show Memory full.", "close", "cancel", "cancelled", "show Memory full.", "step1",
                         "close", "done 0"}));
  EXPECT_EQ(first.iStepCalls, 0);
}

TEST_F(WorkerEngineTest, StartLeavesWhenTheDialogCannotOpen) {
  CCountingWorker worker(iLog, 1);
  iDisplay.iShowLeave = KErrNoMemory;
  EXPECT_EQ(Trap([&] { iEngine.Start(&worker, &iObserver, R_MEMORY_FULL); }), KErrNoMemory);
  EXPECT_EQ(iEngine.State(), CWorkerEngine::EIdle);
  EXPECT_EQ(iEngine.Worker(), nullptr);
  EXPECT_FALSE(iEngine.IsActive());
}

// --- text progress bar ---

std::string Captured(FILE* aFile) {
  std::fflush(aFile);
  std::rewind(aFile);
  std::string out;
  int c;
  while ((c = std::fgetc(aFile)) != EOF) out += static_cast<char>(c);
  return out;
}

class CNullCancel : public MProgressDialogObserver {
 public:
  void Cancel() override { ++iCalls; }
  int iCalls = 0;
};

TEST(TextProgressBarTest, TerminalRedrawsInPlaceOnlyWhenThePercentageChanges) {
  FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  CNullCancel cancel;
  {
    CTextProgressBar bar(out, true);
    bar.ShowProgress(u"Loading session...", &cancel, 0);
    bar.UpdateProgress(1, 1000);  // still 0 %
    bar.UpdateProgress(500, 1000);
    bar.UpdateProgress(501, 1000);  // still 50 %
    bar.ShowProgress(u"Saving", &cancel, 0);  // only the text changes
    bar.UpdateProgress(2000, 1000);  // clamped
    bar.RequestCancel();
    EXPECT_EQ(bar.CloseProgress(), 0);
    bar.RequestCancel();  // nothing shown any more
  }
  const std::string bars0 = "[" + std::string(30, '-') + "]   0%";
  const std::string bars50 = "[" + std::string(15, '#') + std::string(15, '-') + "]  50%";
  const std::string bars100 = "[" + std::string(30, '#') + "] 100%";
  EXPECT_EQ(Captured(out), "\rLoading session... " + bars0 + "\x1b[K" + "\rLoading session... " + bars50 +
                               "\x1b[K" + "\rSaving " + bars100 + "\x1b[K\n");
  EXPECT_EQ(cancel.iCalls, 1);
  std::fclose(out);
}

TEST(TextProgressBarTest, LogOutputWritesALinePerTenthAndCountsWithoutTotal) {
  FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  CTextProgressBar bar(out, false);
  bar.UpdateProgress(5, 10);  // not shown yet: ignored
  bar.ShowProgress(u"Import", nullptr, 0);
  for (int v = 1; v <= 100; ++v) bar.UpdateProgress(v, 100);
  bar.UpdateProgress(7, 0);  // unknown total: not worth a log line
  bar.CloseProgress();
  const std::string text = Captured(out);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 11);  // 0 %, 10 % ... 100 %
  EXPECT_NE(text.find("Import [" + std::string(30, '#') + "] 100%\n"), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  std::fclose(out);
}

}  // namespace
