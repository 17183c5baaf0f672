#include "app/views/download_track_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/view_access.h"
#include "exchange/download_track_list.h"
#include "exchange/web_client_engine.h"
#include "strings/pw_strings.h"

void ShowExchangeNote(CDialogs& aDialogs, MTrackExchangeUi::TNoteKind aKind, CPwStringC aText) {
  switch (aKind) {
    case MTrackExchangeUi::EInformationNote:
      aDialogs.ShowNote(CDialogs::EInformation, aText);
      break;
    case MTrackExchangeUi::EWarningNote:
      aDialogs.ShowNote(CDialogs::EConfirmedWarning, aText);
      break;
    default:
      aDialogs.ShowNote(CDialogs::EConfirmedError, aText);
      break;
  }
}

CDownloadTrackView::CDownloadTrackView(CModel& aModel) : iModel(&aModel) {}

CDownloadTrackView::~CDownloadTrackView() {
  ReleaseFlow();
  delete iList;
  iList = nullptr;
}

void CDownloadTrackView::Activate() {
  if (!iList) iList = new CItemListControl(this, this);
  if (!iToolbar) {
    iToolbar.reset(new CToolbar);
    iToolbar->SetBackL(pwcmd::KBack, R_SK_BACK);
    iToolbar->AddItemL(pwcmd::KReloadIndex, R_EXCHANGE_RELOAD_INDEX);
  }
  iEvents = 0;
  ReleaseFlow();
  iFlow.reset(new CTrackDownload(iModel->WebClient(), iModel->DownloadTracks(), iModel->Tracks(),
                                 iModel->Settings(), *this));
  iModel->DownloadTracks().Clear();
  iModel->DownloadTracks().Filter(CPwStringC());
  RefreshL();
  if (MCustomViewObserver* observer = ViewObserver()) {
    TSoftkey left, middle, right;
    left.iCommand = pwcmd::KOptions;
    middle.iCommand = pwcmd::KOpen;
    right.iCommand = pwcmd::KBack;
    observer->SetToolbar(iToolbar.get());
    observer->SetSoftkeys(left, middle, right);
  }
  // The index is asked for once the view is up; its answer arrives on the loop.
  Reload();
}

void CDownloadTrackView::Deactivate() {
  // Leaving by any way closes the connection: a request still running is withdrawn. The flow
  // itself stays until the next opening (this may run inside one of its own reports).
  CloseFlow();
  iModel->DownloadTracks().Clear();
  delete iList;
  iList = nullptr;
}

void CDownloadTrackView::CloseFlow() {
  if (!iFlow) return;
  // At the end of the program the engine goes before the views.
  if (CWebClientEngine* engine = iModel->WebClientIfAny()) engine->CloseConnection();
  iFlow->Forget();
}

void CDownloadTrackView::ReleaseFlow() {
  CloseFlow();
  iFlow.reset();
}

void CDownloadTrackView::ShowTitle() {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  const CDownloadTrackList& index = iModel->DownloadTracks();
  CPwString title;
  if (index.IsTopLevel()) title.LoadFromResource(R_EXCHANGE_DOWNLOAD_TITLE);
  else title.FormatU(R_EXCHANGE_GROUP_TITLE, index.CurrentGroup());
  observer->SetTitle(title);
}

void CDownloadTrackView::RefreshL() {
  if (!iList) return;
  const CDownloadTrackList& index = iModel->DownloadTracks();
  iList->Reset();
  CPwString line;
  for (int32_t i = 0; i < index.ShownCount(); ++i) {
    const CDownloadTrack& entry = index.ShownAt(i);
    if (index.IsTopLevel()) {
      line.FormatN(R_EXCHANGE_GROUP_COUNT, index.CountInGroup(entry.Group()));
      iList->AddItemL(entry.Group(), line);
    } else {
      iList->AddItemL(entry.Name(), entry.Detail());
    }
  }
  const int32_t current = index.CurrentIndex();
  iList->SetSelected(current);
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
  iList->Invalidate();
  ShowTitle();
}

int32_t CDownloadTrackView::CommandState(int32_t aCommand) {
  if (aCommand == pwcmd::KOpen) return iModel->DownloadTracks().Current() ? ECommandOffered : ECommandDisabled;
  return CCustomView::CommandState(aCommand);
}

int32_t CDownloadTrackView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iFlow) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      if (iFlow->IsRequestPending()) return 0;
      // A request that cannot even start (no thread for it) is a failed download.
      if (Trap([&] { iFlow->SelectCurrent(); }) != KErrNone) {
        iFlow->Forget();
        iModel->WebClient().CloseConnection();
        CPwString text;
        if (const CDownloadTrack* current = iModel->DownloadTracks().Current())
          text.FormatU(R_EXCHANGE_TRACK_FAILED, current->Name());
        ShowNote(EWarningNote, text);
      }
      RefreshL();
      observer->CommandStatesChanged();
      return 0;
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KReloadIndex:
      Reload();
      return 0;
    case pwcmd::KBack:
      if (iFlow->Back()) {
        RefreshL();
        observer->CommandStatesChanged();
      } else {
        observer->Back();
      }
      return 0;
    default:
      return 1;
  }
}

int32_t CDownloadTrackView::HandleKey(int32_t aKeyCode, int32_t) {
  return aKeyCode == KEscapeKey ? HandleCommand(pwcmd::KBack) : 1;
}

void CDownloadTrackView::ItemActivated(CItemListControl&, int32_t) { (void)HandleCommand(pwcmd::KOpen); }

void CDownloadTrackView::SelectionChanged(CItemListControl&, int32_t aIndex) {
  iModel->DownloadTracks().SetCurrentIndex(aIndex);
}

void CDownloadTrackView::Reload() {
  if (iFlow->IsRequestPending()) return;
  // After a failure the connection is closed: reloading opens it again.
  const int32_t code = Trap([&] {
    if (!iModel->WebClient().IsConnectionOpen()) (void)iFlow->Open();
    else iFlow->RequestIndex();
  });
  // A request that cannot even start (no thread for it) is a failed index.
  if (code != KErrNone) {
    iFlow->Forget();
    iModel->WebClient().CloseConnection();
    CPwString text;
    text.LoadFromResource(R_EXCHANGE_INDEX_FAILED);
    ShowNote(EWarningNote, text);
    ExchangeEvent(EIndexFailed);
  }
}

void CDownloadTrackView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(1);
  AppendOffered(entries, *this, pwcmd::KReloadIndex, R_EXCHANGE_RELOAD_INDEX);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CDownloadTrackView::ShowNote(TNoteKind aKind, CPwStringC aText) {
  if (MCustomViewObserver* observer = ViewObserver()) ShowExchangeNote(observer->Dialogs(), aKind, aText);
}

bool CDownloadTrackView::AskQuestion(CPwStringC aText) {
  MCustomViewObserver* observer = ViewObserver();
  return observer && observer->Dialogs().Ask(aText) != 0;
}

void CDownloadTrackView::ExchangeEvent(TEvent aEvent) {
  iLastEvent = aEvent;
  ++iEvents;
  RefreshL();
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}
