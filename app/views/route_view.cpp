#include "app/views/route_view.h"

#include <algorithm>

#include "app/dialogs/dialogs.h"
#include "app/map/map_control.h"
#include "app/model.h"
#include "app/views/exporter_editor_view.h"
#include "app/views/plot_info_control.h"
#include "app/views/result_views.h"
#include "app/views/view_access.h"
#include "exchange/export_formats.h"
#include "foundation/string_provider.h"
#include "storage/position_plot_list.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

// --- CRouteControl -------------------------------------------------------------------------------

CRouteControl::CRouteControl(CCustomControl* aParent, CModel& aModel) : CContainerControl(aParent) {
  iMap = CMapControl::NewL(this, aModel, CMapControl::ERouteMode);
  AddChildL(iMap);
  iInfo = new CPlotInfoControl(this, aModel);
  AddChildL(iInfo);
}

CRouteControl::~CRouteControl() {
  DeleteChild(iInfo);
  DeleteChild(iMap);
}

void CRouteControl::SetRect(const TPwRect& aRect) {
  CCustomControl::SetRect(aRect);
  iMap->SetRect(aRect);
  const int32_t line = std::min(iInfo->LineHeight(), aRect.Height());
  iInfo->SetRect(TPwRect{aRect.iLeft, aRect.iBottom - line, aRect.iRight, aRect.iBottom});
}

// --- CRouteView ----------------------------------------------------------------------------------

CRouteView::~CRouteView() { delete iControl; }

void CRouteView::Activate() {
  delete iControl;
  iControl = nullptr;
  iControl = new CRouteControl(this, *iModel);
  CPwString title;
  title.LoadFromResource(R_SV_ROUTE);
  ShowChrome(title, pwcmd::KOptions, pwcmd::KViewNextMinutes, pwcmd::KBack);
  if (!iRect.IsEmpty()) iControl->SetRect(iRect);
}

void CRouteView::Deactivate() {
  delete iControl;
  iControl = nullptr;
}

int32_t CRouteView::CommandState(int32_t aCommand) {
  const CTrackSession* session = iModel->TrackSession();
  switch (aCommand) {
    case pwcmd::KAddTrapAtCursor:
      return session && session->IsLapTiming() && session->TrapsEditable() ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KViewNextMinutes:
    case pwcmd::KExportRoute:
      return session ? ECommandOffered : ECommandDisabled;
    default:
      return CCustomView::CommandState(aCommand);
  }
}

int32_t CRouteView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return 1;
  switch (aCommand) {
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KViewNextMinutes:
      // Nothing opens while no view answers for graphs.
      if (CommandState(aCommand) == ECommandOffered) (void)OpenGraph(*iModel, EOpenRouteGraph);
      return 0;
    case pwcmd::KExportRoute:
      if (CommandState(aCommand) == ECommandOffered) ExportRoute();
      return 0;
    case pwcmd::KAddTrapAtCursor:
      if (CommandState(aCommand) == ECommandOffered) AddTrapAtCursor();
      return 0;
    case pwcmd::KBack:
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

void CRouteView::SendCommand(int32_t aCommand) {
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(aCommand);
  else (void)DispatchCommand(aCommand);
}

int32_t CRouteView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  int32_t command = 0;
  switch (aKeyCode) {
    case 0xF800: command = pwcmd::KViewNextMinutes; break;
    case 0xF802: command = aShift ? pwcmd::KMapNextLarge : pwcmd::KMapNext; break;
    case 0xF801: command = aShift ? pwcmd::KMapPreviousLarge : pwcmd::KMapPrevious; break;
    case '3': command = pwcmd::KMapNextLarge; break;
    case '2': command = pwcmd::KMapPreviousLarge; break;
    case 0xF803:
    case '1': command = pwcmd::KZoomMapIn; break;
    case 0xF804:
    case '4': command = pwcmd::KZoomMapOut; break;
    case '5':
    case '6':
      if (StepFontScale(*iModel, aKeyCode == '5' ? -10 : 10) && iControl && !iRect.IsEmpty()) {
        iControl->SetRect(iRect);
        iControl->RequestRedraw();
      }
      return 0;
    case KEscapeKey: command = pwcmd::KBack; break;
    default: return 1;
  }
  SendCommand(command);
  return 0;
}

void CRouteView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(4);
  AppendOffered(entries, *this, pwcmd::KViewNextMinutes, R_RV_VIEW_NEXT);
  AppendOffered(entries, *this, pwcmd::KExportRoute, R_RV_EXPORT_ROUTE);
  AppendOffered(entries, *this, pwcmd::KAddTrapAtCursor, R_RV_ADD_TRAP);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CRouteView::ExportRoute() {
  CExporterEditorView* exporter = ViewOf<CExporterEditorView>(*iModel, CGui::EExporterEditorView);
  if (!exporter) return;
  exporter->SetInitialScope(EExportRoute);
  ViewObserver()->OpenView(CGui::EExporterEditorView);
}

void CRouteView::AddTrapAtCursor() {
  CTrackSession* session = iModel->TrackSession();
  const CTrapLineList* traps = session->Track().Traps();
  const int32_t type = ViewObserver()->Dialogs().SelectTrapType(traps && traps->HasStart(), traps && traps->HasFinish());
  // The session may have gone while the question was up.
  if (type == 0 || iModel->TrackSession() != session) return;
  CPwString name;
  CStringProvider::TrapTypeName(type, name);
  if (!session->AddTrapAtSample(session->PlotList().PositionList().Cursor(), type, name)) return;
  (void)session->Track().SaveSafely();
  iModel->UpdateViews(2);
}
