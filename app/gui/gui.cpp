#include "app/gui/gui.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "storage/settings.h"

CGui* CGui::NewL(CModel* aModel) { return PwNewL<CGui>(aModel); }

void CGui::ConstructL(CModel* aModel) {
  iModel = aModel;
  SetRootObservers(this, this);
  iStopwatch.Start();
  iNavi = new CNaviControl(this);
  iStatusPane = new CStatusPaneControl(this, aModel);
  iToolbarControl = new CToolbarControl(this);
  iDialogManager = new CDialogManagerControl(this);
  iDialogs = CDialogs::NewL(*this, aModel);
  if (aModel) CreateViewsL(*this, *aModel);
}

CGui::~CGui() {
  // Dialogs and views go before the panes they talk to; every control cancels its timers
  // with this object while it still is one.
  delete iDialogs;
  iDialogs = nullptr;
  if (iCurrentView) iCurrentView->Deactivate();
  iCurrentView = nullptr;
  iNextView = nullptr;
  for (CCustomView* view : iViews) delete view;
  iViews.Reset();
  delete iDialogManager;
  iDialogManager = nullptr;
  delete iToolbarControl;
  iToolbarControl = nullptr;
  delete iStatusPane;
  iStatusPane = nullptr;
  delete iNavi;
  iNavi = nullptr;
  // The root's own destruction must not call back into the GUI it was.
  SetRootObservers(nullptr, nullptr);
}

// --- Views -------------------------------------------------------------------------------------

void CGui::RegisterViewL(CCustomView* aView) {
  if (!aView) return;
  if (ViewByNumber(aView->ViewNumber())) {
    delete aView;
    return;
  }
  aView->SetParent(this);
  if (Trap([&] { iViews.Append(aView); }) != KErrNone) {
    delete aView;
    Leave(KErrNoMemory);
  }
}

CCustomView* CGui::ViewByNumber(int32_t aNumber) const {
  for (CCustomView* view : iViews)
    if (view->ViewNumber() == aNumber) return view;
  return nullptr;
}

void CGui::ActivateFirstView() {
  CCustomView* first = ViewByNumber(EStartupView);
  if (!first || iCurrentView) return;
  iCurrentView = first;
  RestoreChrome();
  iCurrentView->Activate();
  if (!iRect.IsEmpty()) SetRect(iRect);
}

void CGui::OpenView(int32_t aViewNumber) {
  CCustomView* view = ViewByNumber(aViewNumber);
  if (!view) return;
  iBackStack.Append(view);
  iNextView = view;
  iWentBack = false;
}

void CGui::Back() {
  if (iBackStack.Count() < 2) return;
  iBackStack.Remove(iBackStack.Count() - 1);
  iNextView = iBackStack.At(iBackStack.Count() - 1);
  iWentBack = true;
}

void CGui::RestoreChrome() {
  iNavi->SetVisible(true);
  iNavi->SetState(0);
  iNavi->ResetContent();
  iStatusPane->SetVisible(true);
  iToolbarControl->SetVisible(true);
}

void CGui::FinishEvent() {
  iDialogManager->Sweep();
  if (iNextView) {
    if (iCurrentView) iCurrentView->Deactivate();
    RestoreChrome();
    iCurrentView = iNextView;
    iNextView = nullptr;
    iCurrentView->Activate();
    if (iCurrentView) {
      SetRect(iRect);
      RequestRedraw();
    }
  }
  iToolbarControl->Refresh();
}

void CGui::SetSoftkeys(const TSoftkey& aLeft, const TSoftkey& aMiddle, const TSoftkey& aRight) {
  iToolbarControl->SetSoftkeys(aLeft, aMiddle, aRight);
}

void CGui::SetToolbar(const CToolbar* aToolbar) { iToolbarControl->SetToolbar(aToolbar); }

void CGui::SetTitle(CPwStringC aTitle) { iNavi->SetTitle(aTitle); }

void CGui::SetNaviVisible(bool aVisible) { iNavi->SetVisible(aVisible); }

void CGui::SetStatusPaneVisible(bool aVisible) { iStatusPane->SetVisible(aVisible); }

void CGui::SetToolbarVisible(bool aVisible) { iToolbarControl->SetVisible(aVisible); }

void CGui::CommandStatesChanged() { iToolbarControl->Refresh(); }

void CGui::UpdateViews(int32_t aCode) {
  if (aCode == 0) return;
  static constexpr int32_t KStatusViews[] = {ERouteView, ETimerView, ESessionView};
  for (int32_t number : KStatusViews)
    if (CCustomView* view = ViewByNumber(number)) view->Invalidate();
  if (aCode == 2) {
    if (CCustomView* view = ViewByNumber(ELapView)) view->Invalidate();
    if (CCustomView* view = ViewByNumber(ETrapView)) view->Invalidate();
    if (CCustomView* view = ViewByNumber(EPerformanceView)) view->Invalidate();
  }
  // The status pane shows the GPS and storage state that such an update is about.
  if (iStatusPane->IsVisible()) iStatusPane->Invalidate();
  RequestRedraw();
}

// --- Layout and drawing ------------------------------------------------------------------------

void CGui::SetRect(const TPwRect& aRect) {
  CCustomControl::SetRect(aRect);
  iDialogManager->SetArea(aRect);
  TPwRect area = aRect;
  iToolbarControl->LayoutIn(area);
  iStatusPane->LayoutIn(area);
  iNavi->LayoutIn(area);
  iViewRect = area;
  if (iCurrentView) iCurrentView->SetRect(area);
  Invalidate();
}

void CGui::SurfaceCreated(CDoubleBuffer& aBuffer) {
  // The scaled fonts follow the font-size setting; fonts are made with the first size.
  const int32_t percent = iModel ? iModel->Settings().FontScale() : 100;
  if (percent >= 50 && percent <= 300) aBuffer.Layout().SetFontPercent(percent);
}

CCustomControl* CGui::ChildAt(int32_t aIndex) {
  switch (aIndex) {
    case 0: return iCurrentView;
    case 1: return iNavi;
    case 2: return iStatusPane;
    case 3: return iToolbarControl;
    case 4: return iDialogManager;
    default: return nullptr;
  }
}

int32_t CGui::CommandState(int32_t aCommand) {
  if (aCommand == pwcmd::KExit) return ECommandOffered;
  return iCurrentView ? iCurrentView->CommandState(aCommand) : ECommandNotOffered;
}

int32_t CGui::HandleCommand(int32_t aCommand) {
  if (aCommand == pwcmd::KExit) {
    if (iGuiObserver) iGuiObserver->ExitApplication();
    return 0;
  }
  return 1;
}

void CGui::Draw() {
  if (CPwBitmap* bitmap = Bitmap()) bitmap->FillRect(iRect, 0x000000);
}

void CGui::DrawL() {
  CDoubleBuffer* buffer = DoubleBuffer();
  if (!buffer || !buffer->Bitmap()) return;
  buffer->BeginDraw(iDirty);
  const int32_t code = Trap([&] { DrawTree(); });
  buffer->EndDraw();
  LeaveIfError(code);
}

void CGui::RequestRedraw() {
  if (NeedsDrawing() && iGuiObserver) iGuiObserver->RequestRedraw();
}

// --- The dialog service, as the views, the controls and the model see it.

CDialogs& CGui::Dialogs() { return *iDialogs; }

MValueEditors& CGui::ValueEditors() { return *iDialogs; }

MModelDialogs& CGui::ModelDialogs() { return *iDialogs; }

MProgressDisplay* CGui::ProgressDisplay() { return iDialogs; }

// --- Timers ------------------------------------------------------------------------------------

int32_t CGui::Now() const { return iClock ? iClock() : iStopwatch.Elapsed().Milliseconds(); }

void CGui::StartTimer(int32_t aMs, CCustomControl* aControl) {
  CancelTimers(aControl);
  iTimers.Append(TTimerRecord{Now() + (aMs < 0 ? 0 : aMs), aControl});
  Rearm();
}

void CGui::CancelTimers(CCustomControl* aControl) {
  for (int32_t i = iTimers.Count() - 1; i >= 0; --i)
    if (iTimers.At(i).iControl == aControl) iTimers.Remove(i);
}

void CGui::Rearm() {
  if (iTimers.Count() == 0) return;
  int32_t due = iTimers.At(0).iDue;
  for (const TTimerRecord& record : iTimers)
    if (record.iDue < due) due = record.iDue;
  int32_t delay = due - Now();
  if (delay < 0) delay = 0;
  if (iGuiObserver) iGuiObserver->StartGuiTimer(delay);
}

void CGui::TimerDue() {
  const int32_t now = Now();
  for (int32_t i = 0; i < iTimers.Count(); ++i) {
    if (iTimers.At(i).iDue > now) continue;
    CCustomControl* control = iTimers.At(i).iControl;
    iTimers.Remove(i);
    Rearm();
    control->TimerExpired();
    return;
  }
  // Woken early (or for a cancelled timer): wait for the next one.
  Rearm();
}

// --- Platform notifications and text entry --------------------------------------------------------

void CGui::ControlNotify(int32_t aValue) {
  if (iGuiObserver) iGuiObserver->PlatformNotify(aValue);
}

void CGui::ControlNotifyNoArg() {
  if (iGuiObserver) iGuiObserver->PlatformNotifyNoArg();
}

void CGui::ControlNotifyValue(int32_t aValue) {
  if (iGuiObserver) iGuiObserver->PlatformNotifyValue(aValue);
}

void CGui::BeginTextEntry(TTextEntry& aEntry) {
  if (iGuiObserver) iGuiObserver->BeginTextEntry(aEntry);
}

void CGui::SetTextEntryFont() {
  if (iGuiObserver) iGuiObserver->SetTextEntryFont();
}

void CGui::EndTextEntry() {
  if (iGuiObserver) iGuiObserver->EndTextEntry();
}

// --- Modal loop and screenshots ----------------------------------------------------------------------

CPwScheduler* CGui::Scheduler() const {
  if (iScheduler) return iScheduler;
  // Modal dialogs run the loop that every active object of the model is registered with.
  if (iModel) return dynamic_cast<CPwScheduler*>(iModel->WorkerEngine().Scheduler());
  return nullptr;
}

void CGui::SetupScreenshots(CPwStringC aStorageRoot) {
  iCapture = ScreenshotsFolderExists(aStorageRoot);
  iScreenshotPrefix.Copy(aStorageRoot);
  iScreenshotPrefix.Append(u"Pacewright/Screenshots/");
}

int32_t CGui::WriteScreenshot(CPwStringC aPath) const {
  const CPwBitmap* surface = Surface();
  return surface ? surface->WritePng(aPath) : KErrCannotOpen;
}

void CGui::PeriodicScreenshot() {
  if (!iCapture || !Surface()) return;
  CPwString path;
  path.Copy(iScreenshotPrefix);
  path.Append(u"screenshot");
  path.AppendNum(iScreenshotCounter, 4);
  path.Append(u".png");
  ++iScreenshotCounter;
  // A full medium only loses the picture.
  (void)WriteScreenshot(path);
}
