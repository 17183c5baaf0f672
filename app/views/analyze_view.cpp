#include "app/views/analyze_view.h"

#include <algorithm>
#include <cmath>

#include "analysis/graph_generator.h"
#include "app/dialogs/dialogs.h"
#include "app/graph/graph_control.h"
#include "app/graph/graph_info_control.h"
#include "app/graph/graph_map_control.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "app/views/view_access.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_session.h"

namespace {

// Font scale steps of the "5" and "6" keys, percent.
constexpr int32_t KFontStep = 10;
constexpr int32_t KFontMinimum = 70;
constexpr int32_t KFontMaximum = 160;

// The desktop build always has a pointer, so the map's on-screen buttons stand for its zoom
// entries in the menu.
constexpr bool KHasPointer = true;

}  // namespace

// --- CAnalyzeControl ----------------------------------------------------------------------------

CAnalyzeControl* CAnalyzeControl::NewL(CCustomControl* aParent, CModel& aModel) {
  return PwNewL<CAnalyzeControl>(aParent, aModel);
}

void CAnalyzeControl::ConstructL(CCustomControl* aParent, CModel& aModel) {
  SetParent(aParent);
  iModel = &aModel;
  iGraph = CGraphControl::NewL(this, aModel);
  AddChildL(iGraph);
  iInfo = new CGraphInfoControl(this, aModel);
  AddChildL(iInfo);
  iMap = CGraphMapControl::NewL(this, aModel);
  AddChildL(iMap);
}

CAnalyzeControl::~CAnalyzeControl() {
  for (CCustomControl* child : {static_cast<CCustomControl*>(iMap), static_cast<CCustomControl*>(iInfo),
                                static_cast<CCustomControl*>(iGraph)})
    DeleteChild(child);
  iGraph = nullptr;
  iInfo = nullptr;
  iMap = nullptr;
}

void CAnalyzeControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  const int32_t line = aRect.Height() > 0 ? std::min(aRect.Height(), iInfo->LineHeight()) : 0;
  iInfo->SetRect(TPwRect{aRect.iLeft, aRect.iBottom - line, aRect.iRight, aRect.iBottom});
  const TPwRect rest{aRect.iLeft, aRect.iTop, aRect.iRight, aRect.iBottom - line};
  const TGraphSetup setup = iGraph->Setup();
  if (setup.iMapHidden) {
    iMap->SetRect(TPwRect{rest.iLeft, rest.iTop, rest.iRight, rest.iTop});
    iGraph->SetRect(rest);
  } else {
    const int32_t half = rest.Height() / 2;
    iMap->SetRect(TPwRect{rest.iLeft, rest.iTop, rest.iRight, rest.iTop + half});
    iGraph->SetRect(TPwRect{rest.iLeft, rest.iTop + half, rest.iRight, rest.iBottom});
  }
  iMapStale = true;
  Invalidate();
}

void CAnalyzeControl::SyncMap() {
  iMap->UpdateCursorSamples();
  iMapStale = false;
}

void CAnalyzeControl::ChildChanged(CCustomControl* aControl) {
  if (aControl != iGraph) return;
  iMapStale = true;
  iMap->Invalidate();
  iInfo->Invalidate();
}

void CAnalyzeControl::Draw() {
  // The children cover the whole rectangle; only the map's cursor samples are due here, once
  // for all the cursor moves since the last painting.
  if (iMapStale) SyncMap();
}

// --- CAnalyzeView: openings ---------------------------------------------------------------------

CAnalyzeView::CAnalyzeView(CModel& aModel) : iModel(&aModel) {}

CAnalyzeView::~CAnalyzeView() {
  delete iContent;
  iContent = nullptr;
}

CGraphGenerator* CAnalyzeView::Generator() {
  CTrackSession* session = iModel->TrackSession();
  if (!session) return nullptr;
  if (!session->GraphGenerator()) session->SetGraphGenerator(CGraphGenerator::NewL(session));
  return dynamic_cast<CGraphGenerator*>(session->GraphGenerator());
}

void CAnalyzeView::OpenRouteGraph() {
  CGraphGenerator* generator = Generator();
  if (!generator) return;
  generator->Discard();
  if (!generator->PrepareSpan()) {
    generator->Discard();
    return;
  }
  Calculate();
}

void CAnalyzeView::OpenLapGraph(int32_t aWholeLap) {
  CGraphGenerator* generator = Generator();
  if (!generator) return;
  generator->Discard();
  if (!iModel->TrackSession()->IsLapTiming() ||
      !generator->PrepareLap(iModel->Settings().LapListMode(), aWholeLap ? 1 : 0)) {
    generator->Discard();
    return;
  }
  Calculate();
}

void CAnalyzeView::OpenRunGraph(int32_t aTest) {
  CGraphGenerator* generator = Generator();
  if (!generator) return;
  generator->Discard();
  const int32_t test = aTest >= 0 ? aTest : iModel->Tests().SelectedIndex();
  if (!iModel->TrackSession()->IsPerformanceTesting() || !generator->PrepareRun(test)) {
    generator->Discard();
    return;
  }
  Calculate();
}

void CAnalyzeView::Reopen(std::function<void()> aDone) {
  CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  if (!generator) {
    // Nothing to calculate again: the editor closes all the same.
    if (aDone) aDone();
    return;
  }
  iReopenPending = true;
  iReopenDone = std::move(aDone);
  Calculate();
}

void CAnalyzeView::Calculate() {
  CGraphGenerator* generator = Generator();
  if (!generator) return;
  int32_t code = Trap([&] { generator->BuildLists(iModel->Settings()); });
  if (code == KErrNone) code = Trap([&] { iModel->RunWorker(generator, this, R_CALCULATING_DATA); });
  if (code != KErrNone) WorkerDone(code);
}

void CAnalyzeView::WorkerDone(int32_t aCode) {
  const bool reopening = iReopenPending;
  iReopenPending = false;
  std::function<void()> done = std::move(iReopenDone);
  iReopenDone = nullptr;
  CGui* gui = GuiOf(*iModel);
  if (aCode != KErrNone) {
    if (CGraphGenerator* generator = Generator()) generator->Discard();
    if (gui) {
      if (aCode == KErrNoMemory) gui->Dialogs().ShowNote(CDialogs::EConfirmedError, R_MEMORY_FULL);
      else gui->Dialogs().ShowNoteN(CDialogs::EConfirmedError, R_GRAPH_DATA_FAILED, aCode);
    }
    return;
  }
  if (reopening) {
    if (done) done();
    return;
  }
  if (gui && gui->CurrentView() != this) {
    gui->OpenView(ViewNumber());
    FinishSwitch(*iModel);
  } else {
    Repaint();
  }
}

void CAnalyzeView::WorkerCancelled() {
  iReopenPending = false;
  iReopenDone = nullptr;
  if (CGraphGenerator* generator = Generator()) generator->Discard();
}

// --- CAnalyzeView: the screen ----------------------------------------------------------------------

void CAnalyzeView::Activate() {
  delete iContent;
  iContent = nullptr;
  iContent = CAnalyzeControl::NewL(this, *iModel);
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  observer->SetStatusPaneVisible(false);
  CPwString title;
  title.LoadFromResource(R_ANALYZE_TITLE);
  ShowChrome(title, pwcmd::KOptions, pwcmd::KToggle, pwcmd::KBack);
  if (!iRect.IsEmpty()) iContent->SetRect(iRect);
}

void CAnalyzeView::Deactivate() {
  delete iContent;
  iContent = nullptr;
}

int32_t CAnalyzeView::CurrentKind() const {
  const CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  return generator ? generator->Kind() : 0;
}

bool CAnalyzeView::Flag(int32_t aFlag) const {
  const int32_t kind = CurrentKind();
  return kind != 0 && (iModel->Settings().GraphFlags(kind) & aFlag) != 0;
}

void CAnalyzeView::SetFlag(int32_t aFlag, bool aOn) {
  const int32_t kind = CurrentKind();
  if (kind == 0) return;
  CSettings& settings = iModel->Settings();
  const int32_t flags = settings.GraphFlags(kind);
  settings.SetGraphFlags(kind, aOn ? flags | aFlag : flags & ~aFlag);
}

void CAnalyzeView::Relayout() {
  if (iContent && !iRect.IsEmpty()) iContent->SetRect(iRect);
  Repaint();
}

void CAnalyzeView::Repaint() {
  if (!iContent) return;
  iContent->Invalidate();
  iContent->RequestRedraw();
}

int32_t CAnalyzeView::CommandState(int32_t aCommand) {
  const CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  const bool mapShown = !Flag(CSettings::KGraphMapHidden);
  const bool zoomed = iModel->Settings().GraphZoomedY() != 0;
  const bool comparison = generator && generator->HasComparison();
  const bool comparisonShown = Flag(CSettings::KGraphShowComparison);
  switch (aCommand) {
    case pwcmd::KShowMap:
      return mapShown ? ECommandNotOffered : ECommandOffered;
    case pwcmd::KHideMap:
      return mapShown ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KZoomMapIn:
    case pwcmd::KZoomMapOut:
      return mapShown ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KZoomedY:
      return zoomed ? ECommandNotOffered : ECommandOffered;
    case pwcmd::KNormalY:
      return zoomed ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KShowComparison:
      return comparison && !comparisonShown ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KHideComparison:
      return comparison && comparisonShown ? ECommandOffered : ECommandNotOffered;
    default:
      return CCustomView::CommandState(aCommand);
  }
}

void CAnalyzeView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(8);
  AppendOffered(entries, *this, pwcmd::KGraphSettings, R_GRAPH_SETTINGS);
  AppendOffered(entries, *this, pwcmd::KShowMap, R_GRAPH_SHOW_MAP);
  AppendOffered(entries, *this, pwcmd::KHideMap, R_GRAPH_HIDE_MAP);
  if (!KHasPointer) {
    AppendOffered(entries, *this, pwcmd::KZoomMapIn, R_GRAPH_ZOOM_MAP_IN);
    AppendOffered(entries, *this, pwcmd::KZoomMapOut, R_GRAPH_ZOOM_MAP_OUT);
  }
  AppendOffered(entries, *this, pwcmd::KZoomedY, R_GRAPH_ZOOMED_Y);
  AppendOffered(entries, *this, pwcmd::KNormalY, R_GRAPH_NORMAL_Y);
  AppendOffered(entries, *this, pwcmd::KShowComparison, R_GRAPH_SHOW_COMPARISON);
  AppendOffered(entries, *this, pwcmd::KHideComparison, R_GRAPH_HIDE_COMPARISON);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CAnalyzeView::MoveRouteCursor() {
  CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  if (!generator || generator->Kind() != CGraphGenerator::EKindSpan) return;
  const TGraphStretch& stretch = generator->Stretch(CGraphGenerator::EPrimary);
  if (!stretch.iPositions) return;
  CPositionPlotList& positions = iModel->TrackSession()->PlotList().PositionList();
  if (stretch.iPositions != &positions) return;
  const TGraphSetup setup = TGraphSetup::FromSettings(iModel->Settings(), generator->Kind());
  const double cursor = generator->CursorValue(setup.iAxis);
  const double length = generator->PrimaryLength(setup.iAxis);
  if (!std::isfinite(cursor)) return;
  int32_t index = -1;
  if (std::isfinite(length) && cursor > length) {
    index = stretch.iLast;
  } else {
    int32_t lo = -1, hi = -1;
    if (setup.IsTimeAxis()) {
      const int64_t t = stretch.iStartTime.Milliseconds() + static_cast<int64_t>(std::trunc(cursor * 1000.0 + 0.5));
      if (t >= INT32_MIN && t < PwTime::KUnset) positions.FindByTime(PwTime(static_cast<int32_t>(t)), lo, hi);
    } else {
      positions.FindByDistance(TDistance::FromMetres(stretch.iStartDistance + cursor), lo, hi);
    }
    // The first sample at or after the place; past the last one the stretch's end.
    if (hi >= 0) index = hi;
    else if (lo >= 0) index = stretch.iLast;
  }
  if (index <= 0 || index >= positions.Count()) return;
  positions.SetCursor(index);
}

void CAnalyzeView::Dispatch(int32_t aCommand) {
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(aCommand);
  else (void)DispatchCommand(aCommand);
}

int32_t CAnalyzeView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return 1;
  CSettings& settings = iModel->Settings();
  switch (aCommand) {
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KBack:
      MoveRouteCursor();
      if (CGraphGenerator* generator = Generator()) generator->Discard();
      observer->Back();
      return 0;
    case pwcmd::KGraphSettings:
      observer->OpenView(CGui::EGraphSettingsEditorView);
      return 0;
    case pwcmd::KToggle:
    case pwcmd::KToggleZoomedY:
      settings.SetGraphZoomedY(settings.GraphZoomedY() ? 0 : 1);
      Repaint();
      return 0;
    case pwcmd::KZoomedY:
    case pwcmd::KNormalY:
      settings.SetGraphZoomedY(aCommand == pwcmd::KZoomedY ? 1 : 0);
      Repaint();
      return 0;
    case pwcmd::KToggleMap:
      SetFlag(CSettings::KGraphMapHidden, !Flag(CSettings::KGraphMapHidden));
      Relayout();
      return 0;
    case pwcmd::KShowMap:
    case pwcmd::KHideMap:
      SetFlag(CSettings::KGraphMapHidden, aCommand == pwcmd::KHideMap);
      Relayout();
      return 0;
    case pwcmd::KToggleComparison:
      SetFlag(CSettings::KGraphShowComparison, !Flag(CSettings::KGraphShowComparison));
      Relayout();
      return 0;
    case pwcmd::KShowComparison:
    case pwcmd::KHideComparison:
      SetFlag(CSettings::KGraphShowComparison, aCommand == pwcmd::KShowComparison);
      Relayout();
      return 0;
    case pwcmd::KZoomMapIn:
    case pwcmd::KZoomMapOut:
      // Only the map handles them, and only while it is shown.
      return 0;
    default:
      return 1;
  }
}

int32_t CAnalyzeView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  int32_t command = 0;
  switch (aKeyCode) {
    case 0xF800:
    case 13:
    case '*':
      command = pwcmd::KToggleZoomedY;
      break;
    case '#':
      command = pwcmd::KToggleMap;
      break;
    case '0':
      command = pwcmd::KToggleComparison;
      break;
    case 0xF801:
      command = aShift ? pwcmd::KCursorBackLarge : pwcmd::KCursorBack;
      break;
    case '2':
      command = pwcmd::KCursorBackLarge;
      break;
    case 0xF802:
      command = aShift ? pwcmd::KCursorForwardLarge : pwcmd::KCursorForward;
      break;
    case '3':
      command = pwcmd::KCursorForwardLarge;
      break;
    case 0xF803:
      command = aShift ? pwcmd::KZoomMapIn : pwcmd::KGraphZoomIn;
      break;
    case '1':
      command = pwcmd::KZoomMapIn;
      break;
    case 0xF804:
      command = aShift ? pwcmd::KZoomMapOut : pwcmd::KGraphZoomOut;
      break;
    case '4':
      command = pwcmd::KZoomMapOut;
      break;
    case '5':
    case '6': {
      CSettings& settings = iModel->Settings();
      const int32_t step = aKeyCode == '5' ? -KFontStep : KFontStep;
      settings.SetFontScale(std::clamp(settings.FontScale() + step, KFontMinimum, KFontMaximum));
      if (CLayout* layout = Layout()) layout->SetFontPercent(settings.FontScale());
      Relayout();
      return 0;
    }
    case KEscapeKey:
      command = pwcmd::KBack;
      break;
    default:
      return 1;
  }
  Dispatch(command);
  return 0;
}
