// The stop event of a modal dialog's nested loop: the dialog runs
// scheduler.RunLoop(wait.Event()) and its close operation calls Release.
#pragma once

#include "foundation/pw_base.h"
#include "platform/event.h"

class CPwModalWait : public CPwBase {
 public:
  CPwModalWait() = default;
  ~CPwModalWait() override;

  // Ends the nested loop waiting on this object (application thread).
  void Release();
  PwEvent& Event() { return iEvent; }

 private:
  PwEvent iEvent;
};
