#include "app/gui/gui.h"
#include "app/views/download_track_view.h"
#include "app/views/analyze_view.h"
#include "app/views/exporter_editor_view.h"
#include "app/views/graph_settings_editor_view.h"
#include "app/views/keys_locked_control.h"
#include "app/views/lap_view.h"
#include "app/views/main_view.h"
#include "app/views/session_editor_view.h"
#include "app/views/session_list_view.h"
#include "app/views/session_view.h"
#include "app/views/settings_editor_view.h"
#include "app/views/startup_view.h"
#include "app/views/test_editor_view.h"
#include "app/views/test_list_view.h"
#include "app/views/timer_view.h"
#include "app/views/track_editor_view.h"
#include "app/views/track_list_view.h"
#include "app/views/upload_track_editor_view.h"
#include "app/views/trap_editor_view.h"
#include "app/views/trap_list_view.h"
#include "app/views/trap_view.h"

void CreateViewsL(CGui& aGui, CModel& aModel) {
  aGui.RegisterViewL(new CStartupView(aModel));
  aGui.RegisterViewL(new CMainView(aModel));
  aGui.RegisterViewL(new CTestListView(aModel));
  aGui.RegisterViewL(new CTestEditorView(aModel));
  aGui.RegisterViewL(new CTrackListView(aModel));
  aGui.RegisterViewL(new CTrackEditorView(aModel));
  aGui.RegisterViewL(new CDownloadTrackView(aModel));
  aGui.RegisterViewL(new CUploadTrackEditorView(aModel));
  aGui.RegisterViewL(new CTimerView(aModel));
  aGui.Dialogs().SetKeysLockedFactory([] { return new CKeysLockedControl(); });
  aGui.RegisterViewL(new CSessionView(aModel));
  aGui.RegisterViewL(new CSessionEditorView(aModel));
  aGui.RegisterViewL(new CSessionListView(aModel));
  aGui.RegisterViewL(new CSettingsEditorView(aModel));
  aGui.RegisterViewL(new CExporterEditorView(aModel));
  aGui.RegisterViewL(new CLapView(aModel));
  aGui.RegisterViewL(new CTrapView(aModel));
  aGui.RegisterViewL(new CTrapListView(aModel));
  aGui.RegisterViewL(new CTrapEditorView(aModel));
  aGui.RegisterViewL(new CAnalyzeView(aModel));
  aGui.RegisterViewL(new CGraphSettingsEditorView(aModel));
}
