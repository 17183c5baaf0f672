// "Upload track": sends the track list's current track to the track server with the user's
// e-mail address and a description. The request runs on the web client's thread behind its
// cancellable progress dialog; the view closes once the server has taken the track.
#pragma once

#include <cstdint>
#include <memory>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "exchange/track_exchange.h"

class CModel;

class CUploadTrackEditorView : public CCustomView, public MSettingsListObserver, public MTrackExchangeUi {
 public:
  enum TItem : int32_t { EItemEmail = 0, EItemDescription = 1 };

  explicit CUploadTrackEditorView(CModel& aModel) : iModel(&aModel) {}
  ~CUploadTrackEditorView() override;

  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }
  // The flow while the view is open (null otherwise); tests point it at their server.
  CTrackUpload* Flow() const { return iFlow.get(); }
  TEvent LastEvent() const { return iLastEvent; }
  int32_t EventCount() const { return iEvents; }

  int32_t ViewNumber() override { return 20; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;

  // --- MTrackExchangeUi
  void ShowNote(TNoteKind aKind, CPwStringC aText) override;
  bool AskQuestion(CPwStringC aText) override;
  void ExchangeEvent(TEvent aEvent) override;

 private:
  // Closes the connection and forgets the flow's request.
  void CloseFlow();

  CModel* iModel = nullptr;
  CSettingsListControl* iForm = nullptr;  // owned while active
  std::unique_ptr<CTrackUpload> iFlow;
  // Kept for the next upload of the program's run.
  CPwString iEmail;
  TEvent iLastEvent = EUploadFailed;
  int32_t iEvents = 0;
};
