#include "app/views/trap_change.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "foundation/paths.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

CTrapChange::CTrapChange(CModel& aModel, CTrackProfile& aTrack) : iModel(&aModel), iTrack(&aTrack) {
  iBefore.CopyFrom(aTrack);
}

CTrackSession* CTrapChange::Session() const {
  CTrackSession* session = iModel->TrackSession();
  return session && &session->Track() == iTrack ? session : nullptr;
}

bool CTrapChange::Commit(CDialogs& aDialogs) {
  CTrackSession* session = Session();
  if (!session) return true;
  // The shipped example stays as installed: a changed copy goes to the user's storage, where
  // it wins over the example from the next listing on.
  CPwString example;
  CTrackList::ExampleRoot(example);
  const CPwStringC storage = iModel->Settings().CurrentStorageRoot();
  if (!example.IsEmpty() && iTrack->Folder().Equals(example) && !storage.IsEmpty()) iTrack->SetFolder(storage);
  const int32_t code = iTrack->SaveSafely();
  if (code == KErrNone) {
    (void)iModel->Tracks().UpdateEntry(*iTrack);
  } else {
    iTrack->CopyFrom(iBefore);
    session->Recompute();
  }
  iModel->UpdateViews(2);
  if (code == KErrNone) return true;
  CPwString text;
  SaveFailureText(*iTrack, code, text);
  aDialogs.ShowNote(CDialogs::EConfirmedError, text);
  return false;
}

void CTrapChange::SaveFailureText(const CTrackProfile& aTrack, int32_t aCode, CPwString& aText) {
  CPwString path;
  aTrack.FilePath(path);
  switch (MediumProblem(path)) {
    case EMediumReadOnly:
      aText.FormatU(R_TV_SAVE_READ_ONLY, aTrack.Name());
      break;
    case EMediumFull:
      aText.FormatU(R_TV_SAVE_FULL, aTrack.Name());
      break;
    default:
      aText.FormatUN(R_TV_SAVE_FAILED, aTrack.Name(), aCode);
      break;
  }
}
