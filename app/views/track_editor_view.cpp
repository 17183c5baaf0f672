#include "app/views/track_editor_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/trap_list_view.h"
#include "app/views/view_access.h"
#include "storage/session_list.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"

CTrackEditorView::~CTrackEditorView() {
  delete iForm;
  iForm = nullptr;
}

void CTrackEditorView::Activate() {
  CGui* gui = GuiOf(*iModel);
  // Back from the traps: the copy is as it was left.
  const bool returning = gui && gui->LastChangeWasBack() && iEditing;
  if (!returning) {
    iEditing = true;
    iTrack.Reset();
    if (const CTrackProfile* current = iModel->Tracks().Current()) {
      // Loaded with its traps, so that a changed lock can be written; a file that cannot be
      // read is edited as the catalogue lists it.
      CTrackProfile loaded;
      loaded.SetName(current->Name());
      loaded.SetFolder(current->Folder());
      if (loaded.Load(true)) iTrack.CopyFrom(loaded);
      else iTrack.CopyFrom(*current);
    }
  }
  BuildFormL();
  CPwString title;
  title.LoadFromResource(R_TRE_TITLE);
  ShowChrome(title, pwcmd::KNone, pwcmd::KOpen, pwcmd::KBack);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CTrackEditorView::Deactivate() {
  delete iForm;
  iForm = nullptr;
}

void CTrackEditorView::BuildFormL() {
  delete iForm;
  iForm = new CSettingsListControl(this, this);
  CPwString label, value;
  label.LoadFromResource(R_TRE_NAME);
  iForm->AddTextL(EItemName, label, iTrack.Name());
  label.LoadFromResource(R_TRE_LOCK);
  iForm->AddOnOffL(EItemLock, label, iTrack.Locked()).iHelp.LoadFromResource(R_TRE_LOCK_HELP);
  label.LoadFromResource(R_TRE_TRAPS);
  value.FormatN(R_SV_TRAP_COUNT, iTrack.TrapCount());
  iForm->AddCustomL(EItemTraps, label, value);
  iForm->SetSelected(0);
}

void CTrackEditorView::SettingChanged(CSettingsListControl&, CSettingsItem& aItem) {
  if (aItem.iId == EItemName) iTrack.SetName(aItem.iText);
  else if (aItem.iId == EItemLock) iTrack.SetLock(aItem.iValue);
}

int32_t CTrackEditorView::EditCustom(CSettingsListControl&, CSettingsItem& aItem) {
  if (aItem.iId != EItemTraps || !ViewObserver()) return 0;
  // The trap list works on this editor's copy, which Back here stores.
  if (CTrapListView* traps = ViewOf<CTrapListView>(*iModel, CGui::ETrapListView)) traps->SetTrack(&iTrack);
  ViewObserver()->OpenView(CGui::ETrapListView);
  return 0;
}

int32_t CTrackEditorView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iForm) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      (void)iForm->EditFocused();
      return 0;
    case pwcmd::KBack:
      if (Accept()) {
        iEditing = false;
        iTrack.Reset();
        observer->Back();
      }
      return 0;
    default:
      return 1;
  }
}

int32_t CTrackEditorView::HandleKey(int32_t aKeyCode, int32_t) {
  return aKeyCode == KEscapeKey ? HandleCommand(pwcmd::KBack) : 1;
}

bool CTrackEditorView::Accept() {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CTrackList& tracks = iModel->Tracks();
  const CTrackProfile* current = tracks.Current();
  if (!current) return true;
  if (const uint16_t problem = tracks.CheckName(iTrack.Name(), current)) {
    dialogs.ShowNote(CDialogs::EConfirmedError, problem);
    return false;
  }
  // Nothing changed: nothing is written (the shipped example stays untouched too).
  if (iTrack.Name().Equals(current->Name()) && iTrack.Locked() == current->Locked()) return true;
  if (!tracks.RenameOrUpdateCurrent(iTrack, &iModel->Sessions())) {
    dialogs.ShowNote(CDialogs::EConfirmedError, R_TRE_SAVE_FAILED);
    return false;
  }
  return true;
}
