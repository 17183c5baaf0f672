// Availability of the trap view's commands: "Properties" needs a session whose track has a
// trap; "Add new" needs traps that are not locked (a lap-timing session whose track exists and
// is unlocked; other sessions count as locked); "Move", "Rotate", "Delete" and "Lock traps"
// need unlocked traps and at least one of them; "Unlock traps" needs locked traps. All of them
// only while browsing; accept and cancel only while editing.
#include "app/views/trap_view.h"

#include <algorithm>

#include "app/dialogs/dialogs.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "app/views/session_list_view.h"
#include "app/views/trap_change.h"
#include "app/views/trap_editor_view.h"
#include "app/views/view_access.h"
#include "foundation/string_provider.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

namespace {

constexpr int32_t KEnter = 0xF800;
constexpr int32_t KLeft = 0xF801;
constexpr int32_t KRight = 0xF802;
constexpr int32_t KUp = 0xF803;
constexpr int32_t KDown = 0xF804;
constexpr int32_t KMinFontScale = 70;
constexpr int32_t KMaxFontScale = 160;

}  // namespace

// --- CTrapControl --------------------------------------------------------------------------------

CTrapControl::CTrapControl(CCustomControl* aParent, CModel& aModel) : CContainerControl(aParent) {
  iMap = CTrapMapControl::NewL(this, aModel);
  const int32_t code = Trap([&] { AddChildL(iMap); });
  if (code != KErrNone) {
    delete iMap;
    Leave(code);
  }
}

CTrapControl::~CTrapControl() { DeleteChild(iMap); }

void CTrapControl::SetRect(const TPwRect& aRect) {
  CCustomControl::SetRect(aRect);
  iMap->SetRect(aRect);
}

// --- CTrapView -----------------------------------------------------------------------------------

CTrapView::CTrapView(CModel& aModel) : iModel(&aModel) {}

CTrapView::~CTrapView() {
  delete iControl;
  iControl = nullptr;
}

void CTrapView::Activate() {
  delete iControl;
  iControl = nullptr;
  iControl = new CTrapControl(this, *iModel);
  if (!iBrowseToolbar) {
    iBrowseToolbar.reset(new CToolbar);
    iBrowseToolbar->SetBackL(pwcmd::KBack, R_SK_BACK, "back");
    iBrowseToolbar->AddItemL(pwcmd::KAddNewTrap, R_TV_MENU_ADD);
    iBrowseToolbar->AddItemL(pwcmd::KOpen, R_TV_MENU_PROPERTIES);
    iBrowseToolbar->AddItemL(pwcmd::KMoveTrap, R_TV_MENU_MOVE);
    iBrowseToolbar->AddItemL(pwcmd::KRotateTrap, R_TV_MENU_ROTATE);
    iBrowseToolbar->AddItemL(pwcmd::KDelete, R_TV_MENU_DELETE, 0, 0, KDeleteKey);
    iBrowseToolbar->AddItemL(pwcmd::KLockTraps, R_TV_MENU_LOCK, pwcmd::KUnlockTraps, R_TV_MENU_UNLOCK);
    iEditToolbar.reset(new CToolbar);
    iEditToolbar->SetBackL(pwcmd::KCancel, R_SK_CANCEL);
    iEditToolbar->AddItemL(pwcmd::KOk, R_SK_OK, 0, 0, 0, "ok");
  }
  ShowChromeOfMode();
  if (!iRect.IsEmpty()) iControl->SetRect(iRect);
}

void CTrapView::Deactivate() {
  delete iControl;
  iControl = nullptr;
}

void CTrapView::ShowChromeOfMode() {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iControl) return;
  static constexpr uint16_t KTitles[4] = {R_TV_TITLE, R_TV_TITLE_MOVING, R_TV_TITLE_ROTATING, R_TV_TITLE_ADDING};
  CPwString title;
  title.LoadFromResource(KTitles[iControl->Map().Mode()]);
  observer->SetTitle(title);
  TSoftkey left, middle, right;
  if (iControl->Map().Editing()) {
    left.iCommand = middle.iCommand = pwcmd::KOk;
    right.iCommand = pwcmd::KCancel;
    observer->SetToolbar(iEditToolbar.get());
  } else {
    left.iCommand = pwcmd::KOptions;
    middle.iCommand = pwcmd::KOpen;
    right.iCommand = pwcmd::KBack;
    observer->SetToolbar(iBrowseToolbar.get());
  }
  observer->SetSoftkeys(left, middle, right);
  observer->CommandStatesChanged();
}

// --- Commands ------------------------------------------------------------------------------------

int32_t CTrapView::CommandState(int32_t aCommand) {
  if (!iControl) return ECommandNotOffered;
  CTrackSession* session = iModel->TrackSession();
  const bool editing = iControl->Map().Editing();
  const bool lapTiming = session && session->IsLapTiming();
  const bool unlocked = session && session->TrapsEditable();
  const bool locked = lapTiming && session->Track().HasTraps() && session->Track().IsLocked();
  const bool hasTrap = lapTiming && session->Track().HasTraps() && session->Track().TrapCount() > 0;
  auto offered = [](bool aCondition) { return aCondition ? ECommandOffered : ECommandNotOffered; };
  switch (aCommand) {
    case pwcmd::KOptions:
    case pwcmd::KBack:
      return offered(!editing);
    case pwcmd::KOpen:
      return offered(!editing && hasTrap);
    case pwcmd::KAddNewTrap:
      return offered(!editing && unlocked);
    case pwcmd::KMoveTrap:
    case pwcmd::KRotateTrap:
    case pwcmd::KDelete:
    case pwcmd::KLockTraps:
      return offered(!editing && unlocked && hasTrap);
    case pwcmd::KUnlockTraps:
      return offered(!editing && locked);
    case pwcmd::KOk:
    case pwcmd::KCancel:
    case pwcmd::KAcceptEdit:
    case pwcmd::KAcceptEditAlt:
    case pwcmd::KCancelEdit:
      return offered(editing);
    default:
      return CCustomView::CommandState(aCommand);
  }
}

int32_t CTrapView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iControl) return 1;
  switch (aCommand) {
    case pwcmd::KOptions:
    case pwcmd::KOpen:
    case pwcmd::KAddNewTrap:
    case pwcmd::KMoveTrap:
    case pwcmd::KRotateTrap:
    case pwcmd::KDelete:
    case pwcmd::KLockTraps:
    case pwcmd::KUnlockTraps:
    case pwcmd::KOk:
    case pwcmd::KCancel:
    case pwcmd::KAcceptEdit:
    case pwcmd::KAcceptEditAlt:
    case pwcmd::KCancelEdit:
    case pwcmd::KBack:
      break;
    default:
      return 1;
  }
  if (CommandState(aCommand) != ECommandOffered) return 0;
  CTrapMapControl& map = iControl->Map();
  switch (aCommand) {
    case pwcmd::KOptions:
      OpenOptionsMenu();
      break;
    case pwcmd::KOpen:
      if (auto* editor = ViewOf<CTrapEditorView>(*iModel, CGui::ETrapEditorView)) {
        editor->SetTrack(nullptr);
        observer->OpenView(CGui::ETrapEditorView);
      }
      break;
    case pwcmd::KAddNewTrap:
      if (map.StartAdding()) ShowChromeOfMode();
      break;
    case pwcmd::KMoveTrap:
      if (map.StartMoving()) ShowChromeOfMode();
      break;
    case pwcmd::KRotateTrap:
      if (map.StartRotating()) ShowChromeOfMode();
      break;
    case pwcmd::KDelete:
      DeleteSelected();
      break;
    case pwcmd::KLockTraps:
    case pwcmd::KUnlockTraps:
      SetLock(aCommand == pwcmd::KLockTraps);
      break;
    case pwcmd::KOk:
    case pwcmd::KAcceptEdit:
    case pwcmd::KAcceptEditAlt:
      Accept();
      break;
    case pwcmd::KCancel:
    case pwcmd::KCancelEdit:
      Cancel();
      break;
    default:  // KBack
      observer->Back();
      break;
  }
  return 0;
}

void CTrapView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(8);
  AppendOffered(entries, *this, pwcmd::KOpen, R_TV_MENU_PROPERTIES);
  AppendOffered(entries, *this, pwcmd::KAddNewTrap, R_TV_MENU_ADD);
  AppendOffered(entries, *this, pwcmd::KMoveTrap, R_TV_MENU_MOVE);
  AppendOffered(entries, *this, pwcmd::KRotateTrap, R_TV_MENU_ROTATE);
  AppendOffered(entries, *this, pwcmd::KDelete, R_TV_MENU_DELETE);
  AppendOffered(entries, *this, pwcmd::KLockTraps, R_TV_MENU_LOCK);
  AppendOffered(entries, *this, pwcmd::KUnlockTraps, R_TV_MENU_UNLOCK);
  if (entries.Count() > 0) ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CTrapView::Accept() {
  CTrapMapControl& map = iControl->Map();
  CTrackSession* session = iModel->TrackSession();
  if (map.Mode() == CTrapMapControl::EAdding) {
    AddAtCursor();
    return;
  }
  CTrapLine working;
  working.CopyFrom(map.Working());
  map.EndEditing();
  ShowChromeOfMode();
  if (!session) return;
  CTrapChange change(*iModel, session->Track());
  if (session->ReplaceCurrentTrap(working)) (void)change.Commit(ViewObserver()->Dialogs());
  map.Recentre();
}

void CTrapView::AddAtCursor() {
  CTrapMapControl& map = iControl->Map();
  // Adding ends as the question is asked: a cancelled choice adds nothing.
  map.EndEditing();
  ShowChromeOfMode();
  CTrackSession* session = iModel->TrackSession();
  const CTrapLineList* traps = session ? session->Track().Traps() : nullptr;
  if (!traps) return;
  CDialogs& dialogs = ViewObserver()->Dialogs();
  const int32_t type = dialogs.SelectTrapType(traps->HasStart() != 0, traps->HasFinish() != 0);
  // The session may have gone while the question was up.
  if (type == 0 || session != iModel->TrackSession() || !iControl) return;
  CPwString name;
  CStringProvider::TrapTypeName(type, name);
  CTrapChange change(*iModel, session->Track());
  if (session->AddTrapAtSample(session->PlotList().PositionList().Cursor(), type, name)) (void)change.Commit(dialogs);
  if (iControl) iControl->Map().Recentre();
}

void CTrapView::Cancel() {
  iControl->Map().EndEditing();
  ShowChromeOfMode();
}

void CTrapView::DeleteSelected() {
  CTrackSession* session = iModel->TrackSession();
  const CTrapLine* selected = session ? session->CurrentTrap() : nullptr;
  if (!selected) return;
  CDialogs& dialogs = ViewObserver()->Dialogs();
  if (!dialogs.AskU(R_TV_DELETE_QUESTION, selected->Name())) return;
  if (session != iModel->TrackSession() || !iControl) return;
  CTrapChange change(*iModel, session->Track());
  if (session->RemoveCurrentTrap()) (void)change.Commit(dialogs);
  iControl->Map().Recentre();
  ShowChromeOfMode();
}

void CTrapView::SetLock(bool aLocked) {
  CTrackSession* session = iModel->TrackSession();
  if (!session) return;
  CTrapChange change(*iModel, session->Track());
  session->Track().SetLock(aLocked ? 1 : 0);
  (void)change.Commit(ViewObserver()->Dialogs());
  ShowChromeOfMode();
}

// --- Keys ----------------------------------------------------------------------------------------

int32_t CTrapView::KeyCommand(int32_t aKeyCode, bool aShift) const {
  const CTrapMapControl::TMode mode = iControl->Map().Mode();
  if (mode == CTrapMapControl::EBrowsing) {
    switch (aKeyCode) {
      case '1':
      case KUp: return pwcmd::KZoomMapIn;
      case '4':
      case KDown: return pwcmd::KZoomMapOut;
      case '2':
      case KLeft: return pwcmd::KMapPrevious;
      case '3':
      case KRight: return pwcmd::KMapNext;
      case KEnter: return pwcmd::KOpen;
      case KDeleteKey: return pwcmd::KDelete;
      case KEscapeKey: return pwcmd::KBack;
      default: return 0;
    }
  }
  const bool moving = mode == CTrapMapControl::EMoving;
  switch (aKeyCode) {
    case '1': return moving ? pwcmd::KLatitudeUpLarge : pwcmd::KZoomMapIn;
    case KUp: return moving ? (aShift ? pwcmd::KLatitudeUpLarge : pwcmd::KLatitudeUp) : pwcmd::KZoomMapIn;
    case '4': return moving ? pwcmd::KLatitudeDownLarge : pwcmd::KZoomMapOut;
    case KDown: return moving ? (aShift ? pwcmd::KLatitudeDownLarge : pwcmd::KLatitudeDown) : pwcmd::KZoomMapOut;
    case '2': return pwcmd::KStepBackLarge;
    case KLeft: return aShift ? pwcmd::KStepBackLarge : pwcmd::KStepBack;
    case '3': return pwcmd::KStepForwardLarge;
    case KRight: return aShift ? pwcmd::KStepForwardLarge : pwcmd::KStepForward;
    case KEnter: return pwcmd::KAcceptEdit;
    case KEscapeKey: return pwcmd::KCancelEdit;
    default: return 0;
  }
}

int32_t CTrapView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  if (!iControl) return 1;
  if (aKeyCode == '5' || aKeyCode == '6') {
    StepFontScale(aKeyCode == '5' ? -10 : 10);
    return 0;
  }
  const int32_t command = KeyCommand(aKeyCode, aShift != 0);
  if (command == 0) return 1;
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(command);
  else (void)DispatchCommand(command);
  return 0;
}

void CTrapView::StepFontScale(int32_t aPercent) {
  CSettings& settings = iModel->Settings();
  const int32_t percent = std::clamp(settings.FontScale() + aPercent, KMinFontScale, KMaxFontScale);
  settings.SetFontScale(percent);
  if (CLayout* layout = Layout()) layout->ChangeFontPercent(percent);
  if (CGui* gui = GuiOf(*iModel)) gui->SetRect(gui->Rect());
}
