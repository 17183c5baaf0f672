#include "app/views/session_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/select_comparison.h"
#include "app/views/session_editor_view.h"
#include "app/views/trap_list_view.h"
#include "app/views/view_access.h"
#include "foundation/drives.h"
#include "foundation/string_provider.h"
#include "platform/file_io.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/performance_test.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

namespace {

// Times of the status lines: the duration format with the timer decimals, rounded.
void FormatTime(PwTime aTime, const CSettings& aSettings, CPwString& aText) {
  aTime.FormatDuration(aText, aSettings.TimerDecimals(), false, true);
}

bool IsExampleSession(const CSessionInfo& aInfo) {
  return aInfo.IsReadOnly() && aInfo.Identifier().Equals(CSessionList::KExampleIdentifier);
}

}  // namespace

CSessionView::CSessionView(CModel& aModel) : iModel(&aModel) {}

CSessionView::~CSessionView() {
  iComparison.reset();
  iConnection.reset();
  delete iList;
  iList = nullptr;
}

CDialogs& CSessionView::Dialogs() { return ViewObserver()->Dialogs(); }

bool CSessionView::Recording() const { return iModel->TrackSession() && !iModel->Paused(); }

// --- Ways in -------------------------------------------------------------------------------------

int32_t CSessionView::StartNewSession(const CSessionInfo& aDescription) {
  if (iModel->TrackSession() || iLoading) return 0;
  CPwString root;
  root.Copy(aDescription.StorageRoot().IsEmpty() ? iModel->Settings().CurrentStorageRoot() : aDescription.StorageRoot());
  if (!iModel->CheckStorageBeforeSession(root)) return 0;
  if (!iModel->NewSession(aDescription)) {
    iModel->StopWatchingFreeSpace();
    return 0;
  }
  iConnectOnEntry = true;
  return 1;
}

int32_t CSessionView::LoadSession(const CSessionInfo& aRecord) {
  if (iModel->TrackSession() || iLoading) return 0;
  iLoading = true;
  iInLoadCall = true;
  const int32_t opened = iModel->OpenSession(aRecord, this);
  iInLoadCall = false;
  if (!opened) {
    iLoading = false;
    CPwString text;
    CSessionInfo::LoadFailureMessage(KErrCorrupt, text);
    Dialogs().ShowNote(CDialogs::EConfirmedError, text);
    return 0;
  }
  return 1;
}

void CSessionView::WorkerDone(int32_t aCode) {
  iLoading = false;
  if (aCode != KErrNone) {
    // What was read of a damaged file must not replace the stored figures.
    iModel->DiscardSession();
    CPwString text;
    CSessionInfo::LoadFailureMessage(aCode, text);
    Dialogs().ShowNote(CDialogs::EConfirmedError, text);
    return;
  }
  if (!iModel->TrackSession()) return;
  ViewObserver()->OpenView(CGui::ESessionView);
  if (!iInLoadCall) FinishSwitch(*iModel);
}

void CSessionView::WorkerCancelled() {
  iLoading = false;
  iModel->DiscardSession();
}

// --- Activation and items ------------------------------------------------------------------------

void CSessionView::Activate() {
  if (!iList) iList = new CItemListControl(this, this);
  if (!iToolbar) {
    iToolbar.reset(new CToolbar);
    iToolbar->SetBackL(pwcmd::KPause, R_SK_PAUSE);
    iToolbar->iBack->iCommand2 = pwcmd::KBack;
    iToolbar->iBack->iLabel2 = R_SK_BACK;
    iToolbar->AddItemL(pwcmd::KLiveTimer, R_SV_MENU_LIVE_TIMER);
    iToolbar->AddItemL(pwcmd::KPause, R_SK_PAUSE, pwcmd::KResume, R_SV_MENU_RESUME);
    iToolbar->AddItemL(pwcmd::KExport, R_SV_MENU_EXPORT);
  }
  iSoftkeysFor = -1;
  RefreshL();
  if (!iComparison) iComparison.reset(new CSelectComparison(*iModel, Dialogs()));
  if (!iConnection) iConnection.reset(new CDeviceConnection(*iModel, Dialogs()));
  // The connection runs its questions once the screen is up, not inside the view switch.
  if (iConnectOnEntry) StartTimer(0);
}

void CSessionView::Deactivate() {
  CancelTimer();
  delete iList;
  iList = nullptr;
}

void CSessionView::Invalidate() {
  if (!iList) return;
  RefreshL();
  CCustomView::Invalidate();
}

void CSessionView::ShowSoftkeys() {
  MCustomViewObserver* observer = ViewObserver();
  CTrackSession* session = iModel->TrackSession();
  if (!observer || !session) return;
  const int32_t recording = Recording() ? 1 : 0;
  if (recording == iSoftkeysFor) return;
  iSoftkeysFor = recording;
  observer->SetTitle(session->Info().Title());
  TSoftkey left, middle, right;
  left.iCommand = pwcmd::KOptions;
  middle.iCommand = pwcmd::KOpen;
  right.iCommand = recording ? pwcmd::KPause : pwcmd::KBack;
  observer->SetToolbar(iToolbar.get());
  observer->SetSoftkeys(left, middle, right);
}

void CSessionView::RefreshL() {
  if (!iList) return;
  CTrackSession* session = iModel->TrackSession();
  if (!session) return;
  const int32_t selected = iList->Selected();
  iList->Reset();
  CPwString title, status;
  if (Recording()) {
    title.LoadFromResource(R_SV_LIVE_TIMER);
    DeviceStatus(status);
    iList->AddItemL(title, status, pwcmd::KLiveTimer, "record");
  } else {
    title.LoadFromResource(R_SV_RESUME);
    PausedStatus(status);
    iList->AddItemL(title, status, pwcmd::KResume, "play");
  }
  if (session->IsLapTiming()) {
    title.LoadFromResource(R_SV_LAP_TIMES);
    LapStatus(status);
    iList->AddItemL(title, status, pwcmd::KLapTimes, "laps");
    title.LoadFromResource(R_SV_COMPARISON_LAP);
    ComparisonStatus(status);
    iList->AddItemL(title, status, pwcmd::KComparison, "comparison");
  } else if (session->IsPerformanceTesting()) {
    title.LoadFromResource(R_SV_RUN_TIMES);
    RunStatus(status);
    iList->AddItemL(title, status, pwcmd::KRunTimes, "tests");
    title.LoadFromResource(R_SV_COMPARISON_RUN);
    ComparisonStatus(status);
    iList->AddItemL(title, status, pwcmd::KComparison, "comparison");
  }
  title.LoadFromResource(R_SV_ROUTE);
  RouteStatus(status);
  iList->AddItemL(title, status, pwcmd::KTravelledRoute, "map");
  if (session->IsLapTiming()) {
    title.LoadFromResource(R_SV_TRAPS);
    TrapStatus(status);
    iList->AddItemL(title, status, pwcmd::KBrowseTraps, "traps");
  }
  title.LoadFromResource(R_SV_PROPERTIES);
  PropertiesStatus(status);
  iList->AddItemL(title, status, pwcmd::KSessionProperties, "settings");
  if (selected > 0) iList->SetSelected(selected < iList->Count() ? selected : iList->Count() - 1);
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
  ShowSoftkeys();
}

void CSessionView::DeviceStatus(CPwString& aText) const {
  CPwString free;
  const CTrackSession* session = iModel->TrackSession();
  CStringProvider::FormatStorageSize(iModel->FreeSpaceKb(session->Info().StorageRoot()), free);
  if (!iModel->DeviceStatusLine(aText, iModel->StorageLow(), free)) aText.Reset();
}

void CSessionView::PausedStatus(CPwString& aText) const {
  const CSessionInfo& info = iModel->TrackSession()->Info();
  if (IsExampleSession(info)) {
    aText.LoadFromResource(R_SV_EXAMPLE);
    return;
  }
  CPwString name, free;
  const CPwDriveInfo* drive = iModel->Drives().DriveOfPath(info.StorageRoot());
  name.Copy(drive ? drive->Name() : info.StorageRoot());
  CStringProvider::FormatStorageSize(iModel->FreeSpaceKb(info.StorageRoot()), free);
  aText.FormatUU(R_SV_STORAGE, name, free);
}

void CSessionView::LapStatus(CPwString& aText) const {
  CTrackSession* session = iModel->TrackSession();
  const CTrapLineList* traps = session->Track().Traps();
  if (!traps || !traps->HasStart()) {
    aText.LoadFromResource(R_TIMER_NO_START);
    return;
  }
  if (!traps->HasFinish()) {
    aText.LoadFromResource(R_TIMER_NO_FINISH);
    return;
  }
  const CLapList& laps = session->Laps();
  const CLap* best = laps.BestLap();
  if (!best) {
    aText.LoadFromResource(R_SV_NO_LAPS);
    return;
  }
  CPwString time;
  FormatTime(best->LapTime(), iModel->Settings(), time);
  aText.FormatUN(R_SV_BEST_LAPS, time, laps.LapCount());
}

void CSessionView::RunStatus(CPwString& aText) const {
  CTrackSession* session = iModel->TrackSession();
  const int32_t test = session->CurrentTest();
  const CRunList& runs = session->Runs();
  const CPerformanceRun* best = test >= 0 ? runs.BestRun(test) : nullptr;
  const CPerformance* result = best ? CRunList::Performance(best, test, true) : nullptr;
  if (!result) {
    aText.LoadFromResource(R_SV_NO_RUNS);
    return;
  }
  CPwString time;
  FormatTime(result->ResultTime(), iModel->Settings(), time);
  aText.FormatUN(R_SV_BEST_RUNS, time, runs.CompletedRunCount(test));
}

void CSessionView::ComparisonStatus(CPwString& aText) const {
  CTrackSession* session = iModel->TrackSession();
  CTrackSession* other = session->ComparisonSession();
  const bool laps = session->IsLapTiming();
  int32_t selection = 0;
  if (other) selection = laps ? other->Laps().ComparisonSelection() : other->Runs().ComparisonSelection();
  else selection = laps ? session->Laps().ComparisonSelection() : session->Runs().ComparisonSelection();
  if (other) {
    CPwStringC title = other->Info().Title();
    if (selection == -1) aText.FormatU(R_SV_BEST_OF, title);
    else if (selection == -2 && laps) aText.FormatU(R_SV_OPTIMAL_OF, title);
    else aText.FormatUN(laps ? R_SV_LAP_OF : R_SV_RUN_OF, title, selection + 1);
    return;
  }
  if (selection == -1) aText.LoadFromResource(R_SV_BEST_OF_THIS);
  else if (selection == -2 && laps) aText.LoadFromResource(R_SV_OPTIMAL_OF_THIS);
  else aText.FormatN(laps ? R_SV_LAP_OF_THIS : R_SV_RUN_OF_THIS, selection + 1);
}

void CSessionView::RouteStatus(CPwString& aText) const {
  CTrackSession* session = iModel->TrackSession();
  const PwTime span = session->PlotList().PositionList().Duration();
  CPwString duration, size;
  // Whole seconds, rounded.
  PwTime(span.IsSet() ? span.Milliseconds() : 0).FormatDuration(duration, 0, false, true);
  int64_t bytes = 0;
  const int64_t plots = pwplat::PathSize(PwToUtf8(session->PlotList().Path()).c_str());
  if (plots > 0) bytes += plots;
  if (!session->NmeaPath().IsEmpty()) {
    const int64_t nmea = pwplat::PathSize(PwToUtf8(session->NmeaPath()).c_str());
    if (nmea > 0) bytes += nmea;
  }
  CStringProvider::FormatStorageSize(bytes / 1024, size);
  aText.FormatUU(R_SV_DURATION, duration, size);
  // How the receiver did, once there are samples to tell.
  const TGnssHealth health = session->PlotList().PositionList().Gnss().Health();
  if (health.IsKnown() && health.iIntervalMs != TGnssHealth::KUnknown) {
    CPwString route, rate, hdop;
    route.Copy(aText);
    rate.AppendReal(health.RateHz(), 1);
    if (health.iHdopMedian != TGnssHealth::KUnknown)
      hdop.AppendReal(health.iHdopMedian / 100.0, 1);
    else
      hdop.Copy(u"-");
    aText.FormatUUU(R_SV_ROUTE_GNSS, route, rate, hdop);
    if (health.iGlitches > 0) {
      route.Copy(aText);
      aText.FormatUN(R_SV_ROUTE_GLITCHES, route, health.iGlitches);
    }
  }
}

void CSessionView::TrapStatus(CPwString& aText) const {
  const CTrackProfile& track = iModel->TrackSession()->Track();
  aText.FormatN(track.IsLocked() ? R_SV_TRAPS_LOCKED : R_SV_TRAP_COUNT, track.TrapCount());
}

void CSessionView::PropertiesStatus(CPwString& aText) const {
  const CTrackSession* session = iModel->TrackSession();
  const CSessionInfo& info = session->Info();
  if (session->IsLapTiming()) {
    if (info.TrackName().IsEmpty()) aText.LoadFromResource(R_SV_NO_TRACK);
    else if (session->DetectsTrack()) aText.LoadFromResource(R_DETECT_DETECTING);
    else aText.Copy(info.TrackName());
  } else if (session->IsPerformanceTesting()) {
    if (info.TestName().IsEmpty()) aText.LoadFromResource(R_SV_NO_TEST);
    else aText.Copy(info.TestName());
  } else {
    aText.LoadFromResource(R_SV_DATA_LOGGING);
  }
}

// --- Commands ------------------------------------------------------------------------------------

int32_t CSessionView::CommandState(int32_t aCommand) {
  CTrackSession* session = iModel->TrackSession();
  if (!session) return ECommandNotOffered;
  const bool recording = Recording();
  switch (aCommand) {
    case pwcmd::KResume:
      return recording ? ECommandNotOffered : ECommandOffered;
    case pwcmd::KPause:
    case pwcmd::KLiveTimer:
      return recording ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KLapTimes:
    case pwcmd::KBrowseTraps:
      return session->IsLapTiming() ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KRunTimes:
      return session->IsPerformanceTesting() ? ECommandOffered : ECommandNotOffered;
    case pwcmd::KComparison:
      return session->IsDataLogging() ? ECommandNotOffered : ECommandOffered;
    case pwcmd::KAddTrapHere:
      return recording && session->IsLapTiming() && session->TrapsEditable() ? ECommandOffered : ECommandDisabled;
    default:
      return CCustomView::CommandState(aCommand);
  }
}

int32_t CSessionView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iModel->TrackSession()) return 1;
  const int32_t state = CommandState(aCommand);
  if (state == ECommandDisabled || (state == ECommandNotOffered && aCommand != pwcmd::KOpen)) return 0;
  switch (aCommand) {
    case pwcmd::KOpen:
      if (iList && iList->Selected() >= 0) return HandleCommand(iList->ItemAt(iList->Selected()).iCommand);
      return 0;
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KLiveTimer:
      observer->OpenView(CGui::ETimerView);
      return 0;
    case pwcmd::KLapTimes:
      observer->OpenView(CGui::ELapView);
      return 0;
    case pwcmd::KRunTimes:
      observer->OpenView(CGui::EPerformanceView);
      return 0;
    case pwcmd::KComparison:
      iComparison->Start();
      return 0;
    case pwcmd::KTravelledRoute:
      observer->OpenView(CGui::ERouteView);
      return 0;
    case pwcmd::KBrowseTraps:
      if (auto* traps = ViewOf<CTrapListView>(*iModel, CGui::ETrapListView)) traps->SetTrack(nullptr);
      observer->OpenView(CGui::ETrapListView);
      return 0;
    case pwcmd::KSessionProperties:
      if (auto* editor = ViewOf<CSessionEditorView>(*iModel, CGui::ESessionEditorView)) {
        editor->SetNextMode(CSessionEditorView::EProperties);
        observer->OpenView(CGui::ESessionEditorView);
      }
      return 0;
    case pwcmd::KExport:
      observer->OpenView(CGui::EExporterEditorView);
      return 0;
    case pwcmd::KAddTrapHere:
      AddTrapHere();
      return 0;
    case pwcmd::KLockKeys:
      iModel->ShowKeysLocked();
      return 0;
    case pwcmd::KResume:
      Resume();
      return 0;
    case pwcmd::KPause:
      Pause();
      return 0;
    case pwcmd::KBack:
      GoBack();
      return 0;
    default:
      return 1;
  }
}

int32_t CSessionView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  (void)aShift;
  if (aKeyCode != KEscapeKey) return 1;
  return HandleCommand(pwcmd::KBack);
}

void CSessionView::ItemActivated(CItemListControl& aList, int32_t aIndex) {
  (void)HandleCommand(aList.ItemAt(aIndex).iCommand);
}

void CSessionView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(4);
  AppendOffered(entries, *this, pwcmd::KPause, R_SK_PAUSE);
  AppendOffered(entries, *this, pwcmd::KResume, R_SV_MENU_RESUME);
  AppendOffered(entries, *this, pwcmd::KLiveTimer, R_SV_MENU_LIVE_TIMER);
  AppendOffered(entries, *this, pwcmd::KExport, R_SV_MENU_EXPORT);
  if (entries.Count() > 0) Dialogs().OpenMenuL(entries);
}

void CSessionView::Pause() {
  if (!Recording()) return;
  if (!Dialogs().Ask(R_SV_PAUSE_QUESTION)) return;
  iModel->PauseSession();
  iModel->UpdateViews(1);
  RefreshL();
}

void CSessionView::GoBack() {
  if (Recording()) {
    if (!Dialogs().Ask(R_SV_PAUSE_QUESTION)) return;
    iModel->PauseSession();
  }
  iConnectOnEntry = false;
  CancelTimer();
  if (iComparison) iComparison->Abandon();
  iModel->CloseSession();
  ViewObserver()->Back();
}

void CSessionView::Resume() {
  CTrackSession* session = iModel->TrackSession();
  if (!session || Recording()) return;
  const TResumeCheck check = IsExampleSession(session->Info()) ? EResumeNotPossible : session->CheckResume(true);
  if (check != EResumeAllowed) {
    if (const uint16_t message = CSessionInfo::ResumeMessage(check))
      Dialogs().ShowNote(CDialogs::EConfirmedError, message);
    return;
  }
  CPwString root;
  root.Copy(session->Info().StorageRoot());
  if (!iModel->CheckStorageBeforeSession(root)) return;
  if (!Dialogs().Ask(R_SESSION_RESUME_QUESTION)) {
    iModel->StopWatchingFreeSpace();
    return;
  }
  StartConnection();
}

void CSessionView::AddTrapHere() {
  // The model asks for the type, adds the trap and saves the track.
  (void)iModel->AddTrapAtLivePosition();
}

// --- Connecting ----------------------------------------------------------------------------------

void CSessionView::TimerExpired() {
  if (!iConnectOnEntry) return;
  iConnectOnEntry = false;
  if (iModel->TrackSession() && !Recording()) StartConnection();
}

void CSessionView::StartConnection() {
  if (!iConnection || iConnection->Running()) return;
  iConnection->StartForSession(this);
}

void CSessionView::DevicesConnected() {
  iSoftkeysFor = -1;
  RefreshL();
}

void CSessionView::NoDeviceSelected() {
  iSoftkeysFor = -1;
  RefreshL();
  Dialogs().ShowNote(CDialogs::EConfirmedError, R_SV_NO_DEVICE);
}
