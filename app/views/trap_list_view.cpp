#include "app/views/trap_list_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/session_list_view.h"
#include "app/views/trap_change.h"
#include "app/views/trap_editor_view.h"
#include "app/views/trap_view.h"
#include "app/views/view_access.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

CTrackProfile* CTrapListView::Track() const {
  if (iTrack) return iTrack;
  CTrackSession* session = iModel->TrackSession();
  return session ? &session->Track() : nullptr;
}

bool CTrapListView::IsSessionTrack() const {
  CTrackSession* session = iModel->TrackSession();
  return session && Track() == &session->Track();
}

bool CTrapListView::Editable() const {
  if (IsSessionTrack()) return iModel->TrackSession()->TrapsEditable();
  const CTrackProfile* track = Track();
  return track && track->HasTraps() && !track->IsLocked();
}

void CTrapListView::Activate() {
  if (!iToolbar) {
    iToolbar.reset(new CToolbar);
    iToolbar->SetBackL(pwcmd::KBack, R_SK_BACK, "back");
    iToolbar->AddItemL(pwcmd::KDelete, R_TV_MENU_DELETE, 0, 0, KDeleteKey, "delete");
    iToolbar->AddItemL(pwcmd::KShowTrapMap, R_TV_MENU_SHOW_MAP, 0, 0, 0, "map");
  }
  CItemListView::Activate();
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  CPwString title;
  title.LoadFromResource(R_TV_TITLE);
  observer->SetTitle(title);
  TSoftkey left, middle, right;
  // The map of the session's route, for those without a pointer too.
  left.iCommand = pwcmd::KShowTrapMap;
  middle.iCommand = pwcmd::KOpen;
  right.iCommand = pwcmd::KBack;
  observer->SetToolbar(iToolbar.get());
  observer->SetSoftkeys(left, middle, right);
}

void CTrapListView::RefreshL() {
  if (!iList) return;
  iList->Reset();
  const CTrackProfile* track = Track();
  const CTrapLineList* traps = track ? track->Traps() : nullptr;
  iEmpty = !traps || traps->Count() == 0;
  CPwString type;
  if (iEmpty) {
    type.LoadFromResource(R_TL_EMPTY);
    iList->AddItemL(type, CPwStringC());
  } else {
    for (int32_t i = 0; i < traps->Count(); ++i) {
      const CTrapLine& trap = *traps->At(i);
      CTrapLine::TypeName(trap.Type(), type);
      iList->AddItemL(trap.Name(), type);
    }
  }
  // Laid out first, so that focusing scrolls only as far as the rows that fit ask for.
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
  if (!iEmpty) iList->SetSelected(traps->Current() ? traps->CurrentIndex() : 0);
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}

int32_t CTrapListView::CommandState(int32_t aCommand) {
  const bool row = iList && !iEmpty && iList->Selected() >= 0;
  switch (aCommand) {
    case pwcmd::KDelete:
      return row && Editable() ? ECommandOffered : ECommandDisabled;
    case pwcmd::KOpen:
      return row ? ECommandOffered : ECommandDisabled;
    case pwcmd::KShowTrapMap: {
      CTrackSession* session = iModel->TrackSession();
      return IsSessionTrack() && session->IsLapTiming() ? ECommandOffered : ECommandNotOffered;
    }
    default:
      return CCustomView::CommandState(aCommand);
  }
}

int32_t CTrapListView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iList) return 1;
  // Every command works on the focused row's trap.
  CTrackProfile* track = Track();
  if (track && track->Traps() && !iEmpty && iList->Selected() >= 0) track->Traps()->SetCurrent(iList->Selected());
  switch (aCommand) {
    case pwcmd::KOpen:
      if (CommandState(aCommand) != ECommandOffered) return 0;
      if (auto* editor = ViewOf<CTrapEditorView>(*iModel, CGui::ETrapEditorView)) {
        editor->SetTrack(IsSessionTrack() ? nullptr : track);
        observer->OpenView(CGui::ETrapEditorView);
      }
      return 0;
    case pwcmd::KDelete:
      if (CommandState(aCommand) == ECommandOffered) Delete();
      return 0;
    case pwcmd::KShowTrapMap:
      if (CommandState(aCommand) == ECommandOffered) observer->OpenView(CGui::ETrapView);
      return 0;
    case pwcmd::KBack:
      iTrack = nullptr;
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

void CTrapListView::SelectionChanged(CItemListControl&, int32_t aIndex) {
  CTrackProfile* track = Track();
  if (!iEmpty && track && track->Traps()) track->Traps()->SetCurrent(aIndex);
}

void CTrapListView::Delete() {
  CTrackProfile* track = Track();
  const CTrapLine* trap = track ? track->CurrentTrap() : nullptr;
  if (!trap) return;
  CDialogs& dialogs = ViewObserver()->Dialogs();
  if (!dialogs.AskU(R_TV_DELETE_QUESTION, trap->Name())) return;
  // The session (and its track) may have gone while the question was up.
  track = Track();
  if (!track || !iList) return;
  CTrapChange change(*iModel, *track);
  CTrackSession* session = change.Session();
  const int32_t removed = session ? session->RemoveCurrentTrap() : track->RemoveCurrentTrap();
  if (removed) (void)change.Commit(dialogs);
  RefreshL();
}
