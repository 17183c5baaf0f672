#include "app/views/track_list_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/view_access.h"
#include "foundation/paths.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"

void CTrackListView::Activate() {
  CItemListView::Activate();
  CPwString title;
  title.LoadFromResource(R_MAIN_TRACK_PROFILES);
  ShowChrome(title, pwcmd::KOptions, pwcmd::KOpen, pwcmd::KBack);
}

bool CTrackListView::Empty() const { return iModel->Tracks().Count() == 0; }

void CTrackListView::RefreshL() {
  if (!iList) return;
  const CTrackList& tracks = iModel->Tracks();
  const CSessionList& sessions = iModel->Sessions();
  iList->Reset();
  CPwString line;
  for (int32_t i = 0; i < tracks.Count(); ++i) {
    const CTrackProfile& track = tracks.At(i);
    line.FormatNN(R_TRL_ROW, sessions.CountTrackUses(track.Name()), track.TrapCount());
    iList->AddItemL(track.Name(), line);
  }
  if (tracks.Count() == 0) {
    line.LoadFromResource(R_TRL_EMPTY);
    iList->AddItemL(line, CPwStringC());
  } else {
    iList->SetSelected(tracks.CurrentIndex());
  }
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
}

int32_t CTrackListView::CommandState(int32_t aCommand) {
  if (aCommand == pwcmd::KOpen || aCommand == pwcmd::KDelete || aCommand == pwcmd::KUploadTrack)
    return iModel->Tracks().Current() ? ECommandOffered : ECommandDisabled;
  return CCustomView::CommandState(aCommand);
}

int32_t CTrackListView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iList) return 1;
  switch (aCommand) {
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KOpen:
      if (CommandState(pwcmd::KOpen) == ECommandOffered) observer->OpenView(CGui::ETrackEditorView);
      return 0;
    case pwcmd::KCreateTrack:
      Create();
      return 0;
    case pwcmd::KDelete:
      if (CommandState(pwcmd::KDelete) == ECommandOffered) Delete();
      return 0;
    case pwcmd::KDownloadTrack:
      observer->OpenView(CGui::EDownloadTrackView);
      return 0;
    case pwcmd::KUploadTrack:
      if (CommandState(pwcmd::KUploadTrack) == ECommandOffered) observer->OpenView(CGui::EUploadTrackEditorView);
      return 0;
    case pwcmd::KBack:
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

void CTrackListView::SelectionChanged(CItemListControl&, int32_t aIndex) {
  if (Empty()) return;
  iModel->Tracks().SetCurrentIndex(aIndex);
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}

void CTrackListView::Create() {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CTrackList& tracks = iModel->Tracks();
  CPwString name, title;
  title.LoadFromResource(R_SE_NEW_TRACK_NAME);
  if (!dialogs.EditText(name, title, false, false)) return;
  if (const uint16_t problem = tracks.CheckName(name, nullptr)) {
    dialogs.ShowNote(CDialogs::EConfirmedError, problem);
    return;
  }
  CPwString root;
  root.Copy(iModel->Settings().CurrentStorageRoot());
  if (!EnsureFolders(root) || !tracks.Create(name, root)) {
    dialogs.ShowNote(CDialogs::EConfirmedError, R_TRE_SAVE_FAILED);
    return;
  }
  RefreshL();
  ViewObserver()->CommandStatesChanged();
}

void CTrackListView::Delete() {
  CTrackList& tracks = iModel->Tracks();
  const CTrackProfile* track = tracks.Current();
  if (!track || !ViewObserver()->Dialogs().AskU(R_TRACK_DELETE_QUESTION, track->Name())) return;
  (void)tracks.DeleteCurrent();
  RefreshL();
  ViewObserver()->CommandStatesChanged();
}

void CTrackListView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(4);
  AppendOffered(entries, *this, pwcmd::KCreateTrack, R_TRL_CREATE_NEW);
  AppendOffered(entries, *this, pwcmd::KDownloadTrack, R_TRL_DOWNLOAD_NEW);
  AppendOffered(entries, *this, pwcmd::KDelete, R_SL_DELETE);
  AppendOffered(entries, *this, pwcmd::KUploadTrack, R_TRL_UPLOAD);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}
