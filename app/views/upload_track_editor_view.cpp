#include "app/views/upload_track_editor_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/download_track_view.h"
#include "app/views/view_access.h"
#include "exchange/web_client_engine.h"
#include "strings/pw_strings.h"

CUploadTrackEditorView::~CUploadTrackEditorView() {
  CloseFlow();
  iFlow.reset();
  delete iForm;
  iForm = nullptr;
}

void CUploadTrackEditorView::Activate() {
  iEvents = 0;
  CloseFlow();
  iFlow.reset(new CTrackUpload(iModel->WebClient(), iModel->Tracks(), *this));
  delete iForm;
  iForm = new CSettingsListControl(this, this);
  CPwString label;
  label.LoadFromResource(R_EXCHANGE_EMAIL_LABEL);
  iForm->AddTextL(EItemEmail, label, iEmail);
  label.LoadFromResource(R_EXCHANGE_DESCRIPTION_LABEL);
  iForm->AddTextL(EItemDescription, label, CPwStringC(), true);
  iForm->SetSelected(0);
  CPwString title;
  title.LoadFromResource(R_EXCHANGE_UPLOAD_TITLE);
  ShowChrome(title, pwcmd::KOk, pwcmd::KOpen, pwcmd::KCancel);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CUploadTrackEditorView::Deactivate() {
  // The flow stays until the next opening: this may run inside its own report.
  CloseFlow();
  delete iForm;
  iForm = nullptr;
}

void CUploadTrackEditorView::CloseFlow() {
  if (!iFlow) return;
  // At the end of the program the engine goes before the views.
  if (CWebClientEngine* engine = iModel->WebClientIfAny()) engine->CloseConnection();
  iFlow->Forget();
}

void CUploadTrackEditorView::SettingChanged(CSettingsListControl&, CSettingsItem& aItem) {
  if (aItem.iId == EItemEmail) iEmail.Copy(aItem.iText);
}

int32_t CUploadTrackEditorView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iForm || !iFlow) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      if (!iFlow->IsRequestPending()) (void)iForm->EditFocused();
      return 0;
    case pwcmd::KOk:
      if (iFlow->IsRequestPending()) return 0;
      // A request that cannot even start (no thread for it) is a failed upload.
      if (Trap([&] { (void)iFlow->Upload(Item(EItemEmail)->iText, Item(EItemDescription)->iText); }) != KErrNone) {
        iFlow->Forget();
        iFlow->RequestFailed();
      }
      return 0;
    case pwcmd::KCancel:
    case pwcmd::KBack:
      CloseFlow();
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

int32_t CUploadTrackEditorView::HandleKey(int32_t aKeyCode, int32_t) {
  return aKeyCode == KEscapeKey ? HandleCommand(pwcmd::KCancel) : 1;
}

void CUploadTrackEditorView::ShowNote(TNoteKind aKind, CPwStringC aText) {
  if (MCustomViewObserver* observer = ViewObserver()) ShowExchangeNote(observer->Dialogs(), aKind, aText);
}

bool CUploadTrackEditorView::AskQuestion(CPwStringC aText) {
  MCustomViewObserver* observer = ViewObserver();
  return observer && observer->Dialogs().Ask(aText) != 0;
}

void CUploadTrackEditorView::ExchangeEvent(TEvent aEvent) {
  iLastEvent = aEvent;
  ++iEvents;
  if (aEvent != EUploadDone || !ViewObserver()) return;
  // The answer arrives on the loop, outside any input event.
  ViewObserver()->Back();
  FinishSwitch(*iModel);
}
