#include "app/views/main_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "foundation/drives.h"
#include "foundation/string_provider.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"

CMainView::~CMainView() {
  delete iList;
  iList = nullptr;
}

void CMainView::Activate() {
  if (!iList) iList = new CItemListControl(this, this);
  RefreshL();
  CPwString title;
  title.LoadFromResource(R_MAIN_TITLE);
  ShowChrome(title, pwcmd::KAbout, pwcmd::KOpen, pwcmd::KExit);
}

void CMainView::Deactivate() {
  delete iList;
  iList = nullptr;
}

void CMainView::RefreshL() {
  if (!iList) return;
  const int32_t selected = iList->Selected();
  iList->Reset();
  CPwString title, status;

  // The selected medium by its display name, or by the stored name while it is not present.
  const CSettings& settings = iModel->Settings();
  CPwString name, free;
  const CPwDriveInfo* drive = iModel->Drives().DriveOfPath(settings.StorageRoot());
  if (drive && drive->IsPresent()) name.Copy(drive->Name());
  else name.Copy(settings.StorageRoot());
  CStringProvider::FormatStorageSize(iModel->FreeSpaceKb(settings.CurrentStorageRoot()), free);
  title.LoadFromResource(R_MAIN_NEW_SESSION);
  status.FormatUU(R_MAIN_NEW_SESSION_STATUS, name, free);
  iList->AddItemL(title, status, pwcmd::KNewSession, "new_session");

  title.LoadFromResource(R_MAIN_PREVIOUS_SESSIONS);
  status.FormatN(R_MAIN_SESSIONS_STATUS, iModel->Sessions().Count());
  iList->AddItemL(title, status, pwcmd::KPreviousSessions, "sessions");

  title.LoadFromResource(R_MAIN_TRACK_PROFILES);
  status.FormatN(R_MAIN_TRACKS_STATUS, iModel->Tracks().Count());
  iList->AddItemL(title, status, pwcmd::KTrackProfiles, "tracks");

  title.LoadFromResource(R_MAIN_PERFORMANCE_TESTS);
  status.FormatN(R_MAIN_TESTS_STATUS, iModel->Tests().Count());
  iList->AddItemL(title, status, pwcmd::KPerformanceTests, "tests");

  title.LoadFromResource(R_MAIN_SETTINGS);
  iList->AddItemL(title, CPwStringC(), pwcmd::KSettings, "settings");

  if (selected > 0) iList->SetSelected(selected);
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
}

void CMainView::ItemActivated(CItemListControl& aList, int32_t aIndex) {
  (void)HandleCommand(aList.ItemAt(aIndex).iCommand);
}

int32_t CMainView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      if (iList && iList->Selected() >= 0) return HandleCommand(iList->ItemAt(iList->Selected()).iCommand);
      return 0;
    case pwcmd::KNewSession:
      observer->OpenView(12);
      return 0;
    case pwcmd::KPreviousSessions:
      observer->OpenView(9);
      return 0;
    case pwcmd::KTrackProfiles:
      observer->OpenView(10);
      return 0;
    case pwcmd::KPerformanceTests:
      observer->OpenView(21);
      return 0;
    case pwcmd::KSettings:
      observer->OpenView(11);
      return 0;
    case pwcmd::KAbout:
      observer->Dialogs().ShowAbout();
      return 0;
    default:
      // "Exit" is the GUI's own command.
      return 1;
  }
}
