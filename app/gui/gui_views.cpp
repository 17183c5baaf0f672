#include "app/gui/gui.h"
#include "app/views/keys_locked_control.h"
#include "app/views/main_view.h"
#include "app/views/startup_view.h"
#include "app/views/timer_view.h"

void CreateViewsL(CGui& aGui, CModel& aModel) {
  aGui.RegisterViewL(new CStartupView(aModel));
  aGui.RegisterViewL(new CMainView(aModel));
  aGui.RegisterViewL(new CTimerView(aModel));
  aGui.Dialogs().SetKeysLockedFactory([] { return new CKeysLockedControl(); });
}
