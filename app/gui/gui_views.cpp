#include "app/gui/gui.h"
#include "app/views/exporter_editor_view.h"
#include "app/views/keys_locked_control.h"
#include "app/views/main_view.h"
#include "app/views/performance_view.h"
#include "app/views/route_view.h"
#include "app/views/session_editor_view.h"
#include "app/views/session_list_view.h"
#include "app/views/session_view.h"
#include "app/views/startup_view.h"
#include "app/views/timer_view.h"

void CreateViewsL(CGui& aGui, CModel& aModel) {
  aGui.RegisterViewL(new CStartupView(aModel));
  aGui.RegisterViewL(new CMainView(aModel));
  aGui.RegisterViewL(new CTimerView(aModel));
  aGui.Dialogs().SetKeysLockedFactory([] { return new CKeysLockedControl(); });
  aGui.RegisterViewL(new CSessionView(aModel));
  aGui.RegisterViewL(new CSessionEditorView(aModel));
  aGui.RegisterViewL(new CSessionListView(aModel));
  aGui.RegisterViewL(new CExporterEditorView(aModel));
  aGui.RegisterViewL(new CRouteView(aModel));
  aGui.RegisterViewL(new CPerformanceView(aModel));
}
