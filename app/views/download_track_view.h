// "Download tracks": the track server's index, first its groups ("%N tracks" each), then the
// tracks of the chosen group with their details. Choosing a track downloads it, after asking,
// and installs it among the track profiles (replacing a track of its name only when the user
// agrees). Every request runs on the web client's thread behind its cancellable progress
// dialog, so the window keeps answering while a server is slow or gone.
#pragma once

#include <cstdint>
#include <memory>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"
#include "app/gui/toolbar.h"
#include "exchange/track_exchange.h"

class CModel;

namespace pwcmd {
constexpr int32_t KReloadIndex = 4179;
}  // namespace pwcmd

class CDownloadTrackView : public CCustomView, public MItemListObserver, public MTrackExchangeUi {
 public:
  explicit CDownloadTrackView(CModel& aModel);
  ~CDownloadTrackView() override;

  CItemListControl* List() const { return iList; }
  // The flow while the view is open (null otherwise); tests point it at their server.
  CTrackDownload* Flow() const { return iFlow.get(); }
  // Rebuilds the rows and the title from the index browser.
  void RefreshL();
  // The last event of the flow, and how many there have been since the view opened.
  TEvent LastEvent() const { return iLastEvent; }
  int32_t EventCount() const { return iEvents; }

  int32_t ViewNumber() override { return 13; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iList; }
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;
  void SelectionChanged(CItemListControl& aList, int32_t aIndex) override;

  // --- MTrackExchangeUi
  void ShowNote(TNoteKind aKind, CPwStringC aText) override;
  bool AskQuestion(CPwStringC aText) override;
  void ExchangeEvent(TEvent aEvent) override;

 private:
  // Closes the connection and forgets the flow's request; ReleaseFlow also deletes the flow.
  void CloseFlow();
  void ReleaseFlow();
  void ShowTitle();
  void Reload();
  void OpenOptionsMenu();

  CModel* iModel = nullptr;
  CItemListControl* iList = nullptr;  // owned while active
  std::unique_ptr<CTrackDownload> iFlow;
  std::unique_ptr<CToolbar> iToolbar;
  TEvent iLastEvent = EIndexFailed;
  int32_t iEvents = 0;
};

// Shows a flow's note as the dialog service's note of the same kind.
void ShowExchangeNote(CDialogs& aDialogs, MTrackExchangeUi::TNoteKind aKind, CPwStringC aText);
