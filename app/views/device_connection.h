// The device connection procedure of the session screen: from the devices a session needs
// (GPS receiver, OBD-II reader, data logger) and the settings, it asks for the GPS type when
// the configured one cannot be used here, lets the Bluetooth selection sequence pick and reach
// any Bluetooth device (with the device search dialog), and starts every device through the
// model, which also opens the session's files. It reports back only whether devices were
// started or none was selected.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/bluetooth.h"
#include "app/dialogs/dialog_controls.h"
#include "foundation/pw_base.h"

class CModel;
class CDialogs;

class MDeviceConnectionObserver {
 public:
  // The devices were started (their connections report on their own from here on).
  virtual void DevicesConnected() = 0;
  // The user selected no device, or refused one: recording stays paused.
  virtual void NoDeviceSelected() = 0;

 protected:
  ~MDeviceConnectionObserver() = default;
};

// The device search: found devices by name (or address), then "Search again ...".
class CInquirySettingControl : public CSelectionDialogControl, public MInquireDevicesObserver {
 public:
  CInquirySettingControl(CInquireDevicesEngine& aEngine, CPwStringC aTitle);
  ~CInquirySettingControl() override;

  // (Re)starts the search: "Searching for Bluetooth devices...", no rows.
  void StartSearchL();
  const TPwBtAddr& ChosenAddress() const { return iChosenAddress; }
  CPwStringC ChosenName() const { return iChosenName; }
  CPwStringC Text() const { return iStateText; }
  int32_t DeviceCount() const { return iAddresses.Count(); }
  bool Finished() const { return iFinished; }

  // --- MInquireDevicesObserver
  void DeviceFound(CPwStringC aName, const TPwBtAddr& aAddress) override;
  void InquiryFinished(int32_t aCode) override;
  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;

 protected:
  int32_t HandleDialogCommand(int32_t aCommand) override;

 private:
  void ShowRowsL();

  CInquireDevicesEngine* iEngine = nullptr;
  CPwString iTitle;
  CPwString iStateText;
  CPwVector<TPwBtAddr> iAddresses{8};
  CPwStringList iNames;
  bool iFinished = false;
  TPwBtAddr iChosenAddress;
  CPwString iChosenName;
};

class CDeviceConnection : public CPwBase, private MBluetoothSelectionHost, private MSelectBluetoothDevicesObserver {
 public:
  CDeviceConnection(CModel& aModel, CDialogs& aDialogs);
  ~CDeviceConnection() override;

  // Starts the procedure for the devices that are needed; it ends with one report on
  // aObserver (not owned), possibly before Start returns.
  void Start(MDeviceConnectionObserver* aObserver, bool aNeedGps, bool aNeedObd, bool aNeedLogger);
  // The needs of a live session: every device that is not running yet.
  void StartForSession(MDeviceConnectionObserver* aObserver);
  bool Running() const { return iRunning; }
  CSelectBluetoothDevices& Sequence() { return *iSequence; }

 private:
  // --- MBluetoothSelectionHost
  const MDeviceSettings& DeviceSettings() const override;
  void StoredBluetoothDevice(int32_t aDevice, TPwBtAddr& aAddress, CPwString& aName) const override;
  void SetStoredBluetoothDevice(int32_t aDevice, const TPwBtAddr& aAddress, CPwStringC aName) override;
  int32_t EnsureBluetoothOn() override;
  CDiscoverServiceEngine& DiscoverServiceEngine() override;
  int32_t SelectBluetoothDevice(CPwStringC aTitle, TPwBtAddr& aAddress, CPwString& aName) override;
  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver) override;
  void HideProgress() override;
  int32_t AskQuestion(CPwStringC aText) override;
  void ShowErrorNote(CPwStringC aText) override;
  // --- MSelectBluetoothDevicesObserver
  void DevicesSelected(const TDeviceRecord& aGps, const TDeviceRecord& aObd, const TDeviceRecord& aLogger) override;
  void SelectionCancelled() override;

  CModel* iModel = nullptr;
  CDialogs* iDialogs = nullptr;
  std::unique_ptr<CSelectBluetoothDevices> iSequence;
  MDeviceConnectionObserver* iObserver = nullptr;
  bool iRunning = false;
};
