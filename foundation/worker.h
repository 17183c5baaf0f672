// Background workers: long operations (loading samples, import, export, graph data) cut into
// short steps that the worker engine runs one per turn of the scheduler loop, so that the
// message queue is drained between steps and the user interface stays responsive. There is no
// extra thread.
#pragma once

#include <cstdint>
#include <cstdio>

#include "foundation/active.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

class CWorker : public CPwBase {
 public:
  ~CWorker() override;
  // Does one short portion of the work: nonzero while work remains, 0 when complete. May leave.
  virtual int32_t Step() = 0;
  // Stops early and releases what the worker holds open; afterwards the worker is finished.
  virtual void Cancel() = 0;
  // The amount of work and the amount done, in the worker's own unit.
  virtual int32_t ProgressTotal() = 0;
  virtual int32_t ProgressValue() = 0;
};

class MWorkerObserver {
 public:
  // The worker ended: 0 when it completed, otherwise the leave code of the failed step.
  virtual void WorkerDone(int32_t aCode) = 0;
  // The user cancelled the worker.
  virtual void WorkerCancelled() = 0;

 protected:
  ~MWorkerObserver() = default;
};

// Told by the progress dialog that the user asked to cancel.
class MProgressDialogObserver {
 public:
  virtual void Cancel() = 0;

 protected:
  ~MProgressDialogObserver() = default;
};

// The progress dialog as the worker engine sees it: the GUI's dialog service, or a text
// progress bar without a window.
class MProgressDisplay {
 public:
  // Opens the dialog (or only replaces its text when one is up). May leave.
  virtual void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t aFlag) = 0;
  // Shows how far the work has come. May leave.
  virtual void UpdateProgress(int32_t aValue, int32_t aTotal) = 0;
  // Closes the dialog if one is up; returns its result. May leave.
  virtual int32_t CloseProgress() = 0;

 protected:
  ~MProgressDisplay() = default;
};

// Runs one worker at a time, a step per completion, while the progress dialog is up.
class CWorkerEngine : public CActive, public MProgressDialogObserver {
 public:
  enum TState : int32_t { EIdle = 0, ERunning = 1, EFinished = 2 };

  // Neither the scheduler nor the display is owned.
  CWorkerEngine(MActiveSchedulerObserver* aScheduler, MProgressDisplay* aProgress);
  ~CWorkerEngine() override;

  // Starts aWorker (not owned) with aObserver (not owned), showing string aTextId in the
  // progress dialog; the first step runs on the next turn of the loop. A run still in progress
  // is cancelled first, so its observer always hears how it ended. Leaves when the dialog
  // cannot be opened; the engine then stays as it was.
  void Start(CWorker* aWorker, MWorkerObserver* aObserver, uint16_t aTextId);

  int32_t State() const { return iState; }
  // The worker and observer of the run in progress, null otherwise.
  CWorker* Worker() const { return iWorker; }
  MWorkerObserver* Observer() const { return iObserver; }

  // The progress dialog's cancel: only while running.
  void Cancel() override;

 private:
  void Run() override;
  int32_t HandleRunFailure(int32_t aCode) override;
  // Marks the run finished and forgets worker and observer; returns the observer.
  MWorkerObserver* Finish();

  MProgressDisplay* iProgress = nullptr;
  int32_t iState = EIdle;
  CWorker* iWorker = nullptr;
  MWorkerObserver* iObserver = nullptr;
};

// A progress display for the command line: "<text> [#####-----]  50%". On a terminal the line
// is redrawn in place; otherwise a line is written at the start, at every tenth and at the end,
// so logs stay short.
class CTextProgressBar : public CPwBase, public MProgressDisplay {
 public:
  static constexpr int32_t KBarWidth = 30;

  // aOut is not owned.
  CTextProgressBar(FILE* aOut, bool aInteractive);
  ~CTextProgressBar() override;

  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t aFlag) override;
  void UpdateProgress(int32_t aValue, int32_t aTotal) override;
  int32_t CloseProgress() override;

  // Passes a cancel request (for example Ctrl+C noticed by the program) to the observer; it
  // must be called on the loop's thread. Nothing when no progress is shown.
  void RequestCancel();

  bool IsShown() const { return iShown; }
  // Percentage last drawn, -1 before the first update.
  int32_t LastPercent() const { return iLastPercent; }

 private:
  void Draw(int32_t aPercent, int32_t aValue);

  FILE* iOut = nullptr;
  bool iInteractive = false;
  bool iShown = false;
  MProgressDialogObserver* iObserver = nullptr;
  CPwString iText;
  int32_t iLastPercent = -1;
  int32_t iLastValue = -1;
};
