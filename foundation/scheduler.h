// The scheduler loop: drains the message queue, waits on the stop event and the events of the
// registered active objects together, and runs one completed object per wait. The same loop
// serves the window (GUI host) and headless use (command-line program, tests); the host
// supplies the queue and the blocking wait, this class keeps the ordering rules:
// - every queued message is dispatched before each wait, so at most one Run happens between
//   two drains of the queue;
// - exactly one object runs per wait: the stop event wins, then the object registered first;
// - an object whose request was cancelled does not run for a completion already signalled;
// - an object that signals itself from Run runs again only after the next drain.
// Modal dialogs enter the loop again with their own stop event (CPwModalWait).
#pragma once

#include <cstdint>

#include "foundation/active.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"
#include "platform/event.h"
#include "platform/loop_host.h"

// Shows the error note that the loop raises for a failure reaching it ("Memory full.").
class MErrorNoteDisplay {
 public:
  virtual void ShowErrorNote(CPwStringC aText) = 0;

 protected:
  ~MErrorNoteDisplay() = default;
};

class CPwScheduler : public CPwBase, public MActiveSchedulerObserver {
 public:
  // aHost is not owned and must outlive the scheduler.
  explicit CPwScheduler(MLoopHost& aHost);
  // Objects still registered forget the scheduler (they are not deleted).
  ~CPwScheduler() override;

  // Appends to the list in registration order. When the list cannot grow the object stays
  // unregistered, silently.
  void AddActive(CActive* aActive) override;
  // Removes the first entry equal to aActive; nothing when it is not registered.
  void RemoveActive(CActive* aActive) override;

  // Runs turns until aStopEvent is signalled; returns 0. The quit message ends the process
  // through ExitSequence, also from a nested loop.
  int32_t RunLoop(PwEvent& aStopEvent);

  // The report of a failure that reached the loop: -2 shows "Memory full." through the error
  // note display; other codes are dropped here (the operations that care report their own).
  virtual void HandleLoopError(int32_t aCode);

  // Softkey command noticed while a message was handled (0 none, 1 left, 2 right); it is
  // delivered after that message's dispatch.
  void SetPendingSoftkey(int32_t aCommand) { iPendingSoftkey = aCommand; }
  int32_t PendingSoftkey() const { return iPendingSoftkey; }

  void SetErrorNoteDisplay(MErrorNoteDisplay* aDisplay) { iErrorNotes = aDisplay; }

  int32_t ActiveCount() const { return iActives.Count(); }
  CActive* ActiveAt(int32_t aIndex) const { return iActives.At(aIndex); }
  // Number of RunLoop calls in progress (1 in the main loop, more inside modal dialogs).
  int32_t LoopDepth() const { return iLoopDepth; }
  MLoopHost& Host() const { return *iHost; }

 protected:
  // Gives a pending softkey command to the GUI; may leave. Nothing by default.
  virtual void DeliverSoftkeyL(int32_t aCommand);
  // The quit message's exit sequence (save, destroy, end the process with aCode). The default
  // ends the process. Should an override return, the loop it was noticed in ends.
  virtual void ExitSequence(int32_t aCode);

 private:
  // One Run in progress; chained so that a nested loop can run further objects and an object
  // destroyed during its own Run is noticed.
  struct TRunFrame {
    CActive* iObject;
    TRunFrame* iOuter;
  };

  // Dispatches every queued message. False when the quit message's exit sequence returned.
  bool DrainMessages();
  // Consumes and returns the first signalled element: -1 none, 0 the stop event, i > 0 the
  // object at list index i - 1.
  int32_t TakeSignalled(PwEvent& aStopEvent);
  void RunActive(CActive* aActive);
  // HandleLoopError under a trap whose failure is ignored.
  void ReportLoopError(int32_t aCode);

  MLoopHost* iHost = nullptr;
  CPwVector<CActive*> iActives{8};
  int32_t iPendingSoftkey = 0;
  MErrorNoteDisplay* iErrorNotes = nullptr;
  int32_t iLoopDepth = 0;
  TRunFrame* iRunning = nullptr;
};
