// The session screen: the hub of the open session. A list of two-line items (a title and a
// status line) rebuilt from the model on every refresh; the first item leads to the live timer
// while the session records and resumes it while paused. It also holds the two ways into a
// session (a new one from the editor, a stored one from the session list) and starts the
// device connection when a new session is first shown or a paused one is resumed.
#pragma once

#include <cstdint>
#include <memory>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"
#include "app/gui/toolbar.h"
#include "app/views/device_connection.h"
#include "foundation/worker.h"

class CModel;
class CSelectComparison;
class CSessionInfo;

namespace pwcmd {
constexpr int32_t KSessionProperties = 4164;
constexpr int32_t KResume = 4165;
constexpr int32_t KTravelledRoute = 4167;
constexpr int32_t KLapTimes = 4168;
constexpr int32_t KLiveTimer = 4169;
constexpr int32_t KBrowseTraps = 4170;
constexpr int32_t KRunTimes = 4171;
constexpr int32_t KComparison = 4173;
constexpr int32_t KAddTrapHere = 4175;
// The export dialog of the open session.
constexpr int32_t KExport = 4110;
}  // namespace pwcmd

class CSessionView : public CCustomView,
                     public MItemListObserver,
                     public MWorkerObserver,
                     public MDeviceConnectionObserver {
 public:
  explicit CSessionView(CModel& aModel);
  ~CSessionView() override;

  // --- Ways in.
  // A new recorded session: only when no session is open and the storage check passes. The
  // devices are connected when the screen is next shown. 0 when refused.
  int32_t StartNewSession(const CSessionInfo& aDescription);
  // A stored session: loaded as background work under "Loading session..."; the screen opens
  // once it is loaded, a failure shows its note. 0 when it could not start.
  int32_t LoadSession(const CSessionInfo& aRecord);
  bool Loading() const { return iLoading; }

  // Rebuilds the items from the model.
  void RefreshL();
  CItemListControl* List() const { return iList; }
  bool ConnectPending() const { return iConnectOnEntry; }
  CDeviceConnection* Connection() const { return iConnection.get(); }
  CSelectComparison* Comparison() const { return iComparison.get(); }
  bool Recording() const;

  int32_t ViewNumber() override { return 7; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iList; }
  void Invalidate() override;
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  void TimerExpired() override;

  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;
  // --- MWorkerObserver: the end of loading a stored session.
  void WorkerDone(int32_t aCode) override;
  void WorkerCancelled() override;
  // --- MDeviceConnectionObserver
  void DevicesConnected() override;
  void NoDeviceSelected() override;

 private:
  void ShowSoftkeys();
  void OpenOptionsMenu();
  void Pause();
  void Resume();
  void GoBack();
  void AddTrapHere();
  void StartConnection();
  void DeviceStatus(CPwString& aText) const;
  void PausedStatus(CPwString& aText) const;
  void LapStatus(CPwString& aText) const;
  void RunStatus(CPwString& aText) const;
  void ComparisonStatus(CPwString& aText) const;
  void RouteStatus(CPwString& aText) const;
  void TrapStatus(CPwString& aText) const;
  void PropertiesStatus(CPwString& aText) const;
  CDialogs& Dialogs();

  CModel* iModel = nullptr;
  CItemListControl* iList = nullptr;  // owned while active
  std::unique_ptr<CToolbar> iToolbar;
  std::unique_ptr<CDeviceConnection> iConnection;
  std::unique_ptr<CSelectComparison> iComparison;
  bool iConnectOnEntry = false;
  bool iLoading = false;
  bool iInLoadCall = false;  // inside LoadSession (the caller's handler is still running)
  // The recording state the softkeys were made for (-1: none yet).
  int32_t iSoftkeysFor = -1;
};
