#include "app/views/timer_view.h"

#include <algorithm>

#include "app/gui/commands.h"
#include "app/model.h"
#include "app/views/timer_controls.h"
#include "app/views/timer_instruments.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

// --- CTimerControl -----------------------------------------------------------------------------------

CTimerControl::CTimerControl(CCustomControl* aParent, CModel& aModel, int32_t aOrientation)
    : CContainerControl(aParent), iModel(&aModel) {
  const CTrackSession* session = aModel.TrackSession();
  iDataLogging = session && session->IsDataLogging();
  iMode = iDataLogging ? 0 : 2;
  iMap = NewLiveMapL(this, aModel);
  AddChildL(iMap);
  iGauge = NewLiveGaugeL(this, aModel);
  AddChildL(iGauge);
  iNormal = new CNormalTimerControl(this, aModel);
  AddChildL(iNormal);
  iSimple = new CSimpleTimerControl(this, aModel, std::clamp(aOrientation, 0, 2));
  AddChildL(iSimple);
}

CTimerControl::~CTimerControl() {
  DeleteChild(iSimple);
  DeleteChild(iNormal);
  DeleteChild(iGauge);
  DeleteChild(iMap);
}

void CTimerControl::Toggle() {
  switch (iMode) {
    case 0: iMode = 1; break;
    case 1: iMode = iDataLogging ? 0 : 2; break;
    default: iMode = 0; break;
  }
  Layout();
  RequestRedraw();
}

void CTimerControl::SetRect(const TPwRect& aRect) {
  CCustomControl::SetRect(aRect);
  Layout();
}

void CTimerControl::Layout() {
  const TPwRect& r = iRect;
  if (iMode == 2) {
    iMap->SetVisible(false);
    iGauge->SetVisible(false);
    iNormal->SetVisible(false);
    iSimple->SetVisible(true);
    iSimple->SetRect(r);
    Invalidate();
    return;
  }
  iSimple->SetVisible(false);
  iNormal->SetVisible(true);
  iNormal->SetRect(r);
  const TPwRect below{r.iLeft, std::min(r.iBottom, r.iTop + iNormal->MainLineHeight()), r.iRight, r.iBottom};
  if (iMode == 0) {
    iMap->SetVisible(true);
    iMap->SetRect(below);
    const int32_t side = std::max(0, std::min(below.Width() / 2, below.Height() / 2));
    iGauge->SetRect(TPwRect{below.iLeft, below.iBottom - side, below.iLeft + side, below.iBottom});
    SetGaugeDrawsOver(*iGauge, true);
  } else {
    iMap->SetVisible(false);
    iGauge->SetRect(below);
    SetGaugeDrawsOver(*iGauge, false);
  }
  iGauge->SetVisible(true);
  Invalidate();
}

void CTimerControl::Refresh() {
  if (iMode == 2) {
    iSimple->Refresh();
    return;
  }
  if (iMode == 0) iMap->Invalidate();
  iGauge->Invalidate();
  iNormal->Refresh();
}

int32_t CTimerControl::HandleCommand(int32_t aCommand) {
  if (aCommand != pwcmd::KToggle) return 1;
  Toggle();
  return 0;
}

int32_t CTimerControl::HandleKey(int32_t aKeyCode, int32_t aShift) {
  int32_t command = 0;
  const bool simple = iMode == 2;
  switch (aKeyCode) {
    case 13:
      command = pwcmd::KToggle;
      break;
    case '1':
    case 0xF803:
      command = simple ? -1 : pwcmd::KZoomMapIn;
      break;
    case '2':
    case 0xF801:
      command = simple ? pwcmd::KSwapTopLineBack : pwcmd::KPreviousChannel;
      break;
    case '3':
    case 0xF802:
      command = simple ? pwcmd::KSwapTopLine : pwcmd::KNextChannel;
      break;
    case '4':
    case 0xF804:
      command = simple ? -1 : pwcmd::KZoomMapOut;
      break;
    default:
      return CContainerControl::HandleKey(aKeyCode, aShift);
  }
  if (command > 0) {
    if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(command);
    else (void)DispatchCommand(command);
  }
  return 0;
}

void CTimerControl::Draw() {
  if (CPwBitmap* bitmap = Bitmap()) bitmap->FillRect(iRect, 0x000000);
}

// --- CTimerView --------------------------------------------------------------------------------------

CTimerView::~CTimerView() { delete iControl; }

void CTimerView::Activate() {
  delete iControl;
  iControl = nullptr;
  iControl = new CTimerControl(this, *iModel, iModel->Settings().TimerOrientation());
  iAddTrapState = -1;
  iModel->TimerViewShown();
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  observer->SetStatusPaneVisible(false);
  CPwString title;
  title.LoadFromResource(R_TIMER_TITLE);
  observer->SetTitle(title);
  if (!iToolbar) {
    iToolbar.reset(new CToolbar());
    iToolbar->SetBackL(pwcmd::KBack, R_SK_BACK, "back");
    iToolbar->AddItemL(pwcmd::KAddTrap, R_SK_ADD_TRAP, 0, 0, 0, "traps");
    iToolbar->AddItemL(pwcmd::KToggle, R_SK_TOGGLE, 0, 0, 13);
    iToolbar->AddItemL(pwcmd::KLockKeys, R_TIMER_LOCK_KEYS);
  }
  TSoftkey left, middle, right;
  left.iCommand = pwcmd::KAddTrap;
  middle.iCommand = pwcmd::KToggle;
  right.iCommand = pwcmd::KBack;
  observer->SetSoftkeys(left, middle, right);
  observer->SetToolbar(iToolbar.get());
}

void CTimerView::Invalidate() {
  if (iControl) iControl->Refresh();
}

void CTimerView::Deactivate() {
  iModel->TimerViewLeft();
  delete iControl;
  iControl = nullptr;
}

int32_t CTimerView::CommandState(int32_t aCommand) {
  if (aCommand != pwcmd::KAddTrap) return CCustomView::CommandState(aCommand);
  const CTrackSession* session = iModel->TrackSession();
  return session && session->IsRecording() && session->TrapsEditable() ? ECommandOffered : ECommandDisabled;
}

int32_t CTimerView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  switch (aCommand) {
    case pwcmd::KBack:
      if (observer) observer->Back();
      return 0;
    case pwcmd::KAddTrap:
      if (CommandState(aCommand) == ECommandOffered) (void)iModel->AddTrapAtLivePosition();
      return 0;
    case pwcmd::KLockKeys:
      iModel->ShowKeysLocked();
      return 0;
    default:
      return 1;
  }
}

void CTimerView::Draw() {
  // Recording starting or stopping changes what "Add trap" offers without an input event.
  const int32_t state = CommandState(pwcmd::KAddTrap);
  if (state != iAddTrapState) {
    iAddTrapState = state;
    if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
  }
}
