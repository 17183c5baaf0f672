#include "foundation/scheduler.h"

#include <cstdlib>

#include "strings/pw_strings.h"

CPwScheduler::CPwScheduler(MLoopHost& aHost) : iHost(&aHost) {}

CPwScheduler::~CPwScheduler() {
  // An object outliving the scheduler must not call back into it from its destructor.
  for (CActive* a : iActives) {
    a->Event().SetWaker(nullptr);
    a->iScheduler = nullptr;
  }
  iActives.Reset();
}

void CPwScheduler::AddActive(CActive* aActive) {
  if (!aActive) return;
  if (Trap([&] { iActives.Append(aActive); }) != KErrNone) return;
  aActive->Event().SetWaker(iHost);
}

void CPwScheduler::RemoveActive(CActive* aActive) {
  for (int32_t i = 0; i < iActives.Count(); ++i) {
    if (iActives.At(i) != aActive) continue;
    iActives.Remove(i);
    aActive->Event().SetWaker(nullptr);
    for (TRunFrame* f = iRunning; f; f = f->iOuter)
      if (f->iObject == aActive) f->iObject = nullptr;
    return;
  }
}

int32_t CPwScheduler::RunLoop(PwEvent& aStopEvent) {
  // The wait set follows the list, so objects registered after entry are served by this loop
  // too, and an object destroyed while the loop runs simply drops out of it.
  MEventWaker* outerWaker = aStopEvent.SetWaker(iHost);
  ++iLoopDepth;
  bool done = false;
  while (!done) {
    if (!DrainMessages()) break;
    int32_t element = TakeSignalled(aStopEvent);
    if (element < 0) {
      // Nothing signalled: block until an event is set or a message arrives. A Set racing with
      // this call is not lost, since the host remembers the wake.
      iHost->Wait();
      element = TakeSignalled(aStopEvent);
    }
    if (element == 0) {
      done = true;
    } else if (element > 0) {
      RunActive(iActives.At(element - 1));
    }
    // No element: input arrived (or a wake whose signal was taken already); next turn.
  }
  --iLoopDepth;
  aStopEvent.SetWaker(outerWaker);
  return 0;
}

bool CPwScheduler::DrainMessages() {
  for (;;) {
    MLoopHost::TDispatchResult result = MLoopHost::ENoMessage;
    int32_t quitCode = 0;
    int32_t code = Trap([&] { result = iHost->DispatchMessage(quitCode); });
    if (code != KErrNone) {
      // Only a dispatched message can leave.
      result = MLoopHost::EDispatched;
      ReportLoopError(code);
    }
    if (result == MLoopHost::ENoMessage) return true;
    if (result == MLoopHost::EQuit) {
      ExitSequence(quitCode);
      return false;
    }
    if (iPendingSoftkey != 0) {
      // Cleared before delivery: a softkey that opens a modal dialog must not be delivered
      // again by the nested loop's first drain.
      const int32_t command = iPendingSoftkey;
      iPendingSoftkey = 0;
      int32_t failure = Trap([&] { DeliverSoftkeyL(command); });
      if (failure != KErrNone) ReportLoopError(failure);
    }
  }
}

int32_t CPwScheduler::TakeSignalled(PwEvent& aStopEvent) {
  if (aStopEvent.TryWait()) return 0;
  for (int32_t i = 0; i < iActives.Count(); ++i)
    if (iActives.At(i)->Event().TryWait()) return i + 1;
  return -1;
}

void CPwScheduler::RunActive(CActive* aActive) {
  // A cancelled request: the signal is consumed and nothing runs.
  if (!aActive->IsActive()) return;
  aActive->iActive.store(0, std::memory_order_relaxed);

  TRunFrame frame{aActive, iRunning};
  iRunning = &frame;
  const int32_t code = Trap([&] { aActive->Run(); });
  iRunning = frame.iOuter;
  if (code == KErrNone) return;

  int32_t report = code;
  if (frame.iObject) {
    // A leave from the failure handler is reported in place of its result.
    int32_t failure = Trap([&] { report = aActive->HandleRunFailure(code); });
    if (failure != KErrNone) report = failure;
  }
  // else: the object was destroyed inside its own Run; report the code as the default
  // handler would.
  if (report != KErrNone) ReportLoopError(report);
}

void CPwScheduler::ReportLoopError(int32_t aCode) {
  (void)Trap([&] { HandleLoopError(aCode); });
}

void CPwScheduler::HandleLoopError(int32_t aCode) {
  if (aCode != KErrNoMemory || !iErrorNotes) return;
  CPwString text;
  text.LoadFromResource(R_MEMORY_FULL);
  iErrorNotes->ShowErrorNote(text);
}

void CPwScheduler::DeliverSoftkeyL(int32_t) {}

void CPwScheduler::ExitSequence(int32_t aCode) { std::exit(aCode); }
