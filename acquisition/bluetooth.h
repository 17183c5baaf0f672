// Bluetooth device discovery and the device selection sequence that runs before a session
// records. For every device configured as a Bluetooth device the sequence makes sure Bluetooth
// is on, lets the user pick a device when none is stored, looks up the device's serial port
// service to learn its channel, stores the device and finally hands all three devices to its
// observer. Serial-port and input-file devices pass through without a question.
//
// The two engines run the platform lookups on worker threads. This build has no Bluetooth stack
// of its own (paired Bluetooth serial devices are reached as /dev/rfcommN through the serial
// path): without an MBluetoothStack the workers end at once without reporting.
#pragma once

#include <atomic>
#include <cstdint>

#include "acquisition/core.h"
#include "acquisition/gps_client.h"
#include "foundation/active.h"
#include "foundation/pw_base.h"
#include "foundation/pw_bt_addr.h"
#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"
#include "foundation/pw_vector.h"
#include "foundation/worker.h"
#include "platform/thread.h"

// --- The platform's Bluetooth operations ----------------------------------------------------

// Told of each device an inquiry finds (on the worker thread).
class MBluetoothInquirySink {
 public:
  virtual void DeviceFound(const TPwBtAddr& aAddress, CPwStringC aName) = 0;

 protected:
  ~MBluetoothInquirySink() = default;
};

// A Bluetooth stack. The lookups run on the engines' worker threads; CancelLookups comes from
// the application thread and must make a running lookup return soon.
class MBluetoothStack {
 public:
  // The platform's code for the normal end of a device search.
  static constexpr int32_t KSearchEnded = -5;

  // Searches for nearby devices, reporting each to aSink; returns KSearchEnded at the normal
  // end or the platform's failure code. A cancel may arrive just before a lookup begins; the
  // lookup must then return at once.
  virtual int32_t InquireDevices(MBluetoothInquirySink& aSink) = 0;
  // Looks up the serial port (RFCOMM) service of aAddress: 0 with aChannel the service's
  // channel (-1 when the device has none), or a nonzero failure code.
  virtual int32_t DiscoverSerialPort(const TPwBtAddr& aAddress, int32_t aParameter, int32_t& aChannel) = 0;
  virtual void CancelLookups() = 0;

 protected:
  ~MBluetoothStack() = default;
};

// --- Observers ------------------------------------------------------------------------------

class MInquireDevicesObserver {
 public:
  virtual void DeviceFound(CPwStringC aName, const TPwBtAddr& aAddress) = 0;
  // 0 for the normal end of the search, otherwise the platform's failure code.
  virtual void InquiryFinished(int32_t aCode) = 0;

 protected:
  ~MInquireDevicesObserver() = default;
};

class MDiscoverServiceObserver {
 public:
  virtual void DiscoveryFailed(int32_t aCode) = 0;
  // aChannel -1: the device offers no serial port service.
  virtual void ServiceFound(int32_t aChannel) = 0;

 protected:
  ~MDiscoverServiceObserver() = default;
};

class MSelectBluetoothDevicesObserver {
 public:
  // Channels are -1 for devices not connected through Bluetooth.
  virtual void DevicesSelected(const TDeviceRecord& aGps, const TDeviceRecord& aObd, const TDeviceRecord& aLogger) = 0;
  virtual void SelectionCancelled() = 0;

 protected:
  ~MSelectBluetoothDevicesObserver() = default;
};

// --- The engines ----------------------------------------------------------------------------

// Searches for nearby devices. Application thread, except the worker.
class CInquireDevicesEngine : public CActive, private MBluetoothInquirySink {
 public:
  // aStack may be null (no Bluetooth: the search never reports). Neither is owned.
  CInquireDevicesEngine(MActiveSchedulerObserver* aScheduler, MBluetoothStack* aStack);
  // Stops a running search.
  ~CInquireDevicesEngine() override;

  // Ignored while running. Leaves -9 when the worker cannot be started.
  void StartInquiry(MInquireDevicesObserver* aObserver);
  // Ends a running search (waiting up to 15 s for the worker); nothing more is reported.
  void StopInquiry();
  bool IsRunning() const { return iRunning; }

  void Run() override;

 private:
  void WorkerMain();
  void DeviceFound(const TPwBtAddr& aAddress, CPwStringC aName) override;

  MBluetoothStack* iStack = nullptr;
  MInquireDevicesObserver* iObserver = nullptr;
  bool iRunning = false;
  PwThread iThread;
  std::atomic<bool> iStopRequested{false};
  std::atomic<bool> iLookupInProgress{false};
  PwLock iLock;
  // Under iLock.
  int32_t iResult = 0;
  CPwVector<TPwBtAddr> iAddresses{8};
  CPwStringList iNames;
};

// Looks up the serial port service of one device. Application thread, except the worker.
class CDiscoverServiceEngine : public CActive {
 public:
  // aStack may be null (no Bluetooth: the discovery never reports). Neither is owned.
  CDiscoverServiceEngine(MActiveSchedulerObserver* aScheduler, MBluetoothStack* aStack);
  ~CDiscoverServiceEngine() override;

  // Ignored while running. Leaves -9 when the worker cannot be started.
  void StartDiscovery(MDiscoverServiceObserver* aObserver, int32_t aParameter, const TPwBtAddr& aAddress);
  void StopDiscovery();
  bool IsRunning() const { return iRunning; }
  const TPwBtAddr& Address() const { return iAddress; }

  void Run() override;

 private:
  void WorkerMain();

  MBluetoothStack* iStack = nullptr;
  MDiscoverServiceObserver* iObserver = nullptr;
  bool iRunning = false;
  PwThread iThread;
  std::atomic<bool> iStopRequested{false};
  std::atomic<bool> iLookupInProgress{false};
  TPwBtAddr iAddress;
  int32_t iParameter = 0;
  // Written by the worker before it completes the request.
  int32_t iChannel = -1;
  int32_t iResult = 0;
};

// --- The selection sequence -----------------------------------------------------------------

// What the sequence needs of the model and the dialog service. Application thread.
class MBluetoothSelectionHost {
 public:
  // Device types of the settings (Bluetooth: GPS type 0, OBD-II type 1, data logger type 2).
  virtual const MDeviceSettings& DeviceSettings() const = 0;
  // The stored Bluetooth device of a device (1 GPS, 2 OBD-II reader, 3 data logger).
  virtual void StoredBluetoothDevice(int32_t aDevice, TPwBtAddr& aAddress, CPwString& aName) const = 0;
  virtual void SetStoredBluetoothDevice(int32_t aDevice, const TPwBtAddr& aAddress, CPwStringC aName) = 0;
  // 1 when Bluetooth is on (asking the user to switch it on if needed), 0 otherwise.
  virtual int32_t EnsureBluetoothOn() = 0;
  virtual CDiscoverServiceEngine& DiscoverServiceEngine() = 0;
  // Runs the device search dialog modally: 1 with the chosen device's address and name, 0 when
  // the user cancelled.
  virtual int32_t SelectBluetoothDevice(CPwStringC aTitle, TPwBtAddr& aAddress, CPwString& aName) = 0;
  // The progress dialog, whose cancel goes to aObserver.
  virtual void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver) = 0;
  virtual void HideProgress() = 0;
  // A yes/no question: 1 for "Yes".
  virtual int32_t AskQuestion(CPwStringC aText) = 0;
  virtual void ShowErrorNote(CPwStringC aText) = 0;

 protected:
  ~MBluetoothSelectionHost() = default;
};

class CSelectBluetoothDevices : public CPwBase, public MDiscoverServiceObserver, public MProgressDialogObserver {
 public:
  enum TDevice : int32_t { ENone = 0, EGps = 1, EObd = 2, ELogger = 3 };
  enum TState : int32_t {
    EIdle = 0,
    ENextDevice = 1,
    EConnect = 2,
    ECancelled = 3,
    EWaitingForDiscovery = 4,
    EChooseDevice = 5,
    EConnectAgain = 6,
    EChooseDeviceAgain = 7,
  };

  // aHost is not owned and outlives the sequence.
  explicit CSelectBluetoothDevices(MBluetoothSelectionHost& aHost);
  // Stops a running discovery.
  ~CSelectBluetoothDevices() override;

  // Starts the sequence for the devices that are needed; it ends with DevicesSelected or
  // SelectionCancelled on aObserver (not owned), possibly before Start returns.
  void Start(MSelectBluetoothDevicesObserver* aObserver, bool aNeedGps, bool aNeedObd, bool aNeedLogger);

  // --- MDiscoverServiceObserver
  void DiscoveryFailed(int32_t aCode) override;
  void ServiceFound(int32_t aChannel) override;
  // --- MProgressDialogObserver: cancelling while connecting ends the sequence.
  void Cancel() override;

  int32_t State() const { return iState; }
  int32_t CurrentDeviceType() const { return iDeviceType; }
  const TPwBtAddr& CurrentAddress() const { return iAddress; }
  CPwStringC CurrentName() const { return iName; }
  const TDeviceRecord& Record(int32_t aDevice) const;

 private:
  // Runs until the sequence waits for a discovery result or has finished.
  void RunMachine();
  void PrepareNextDevice();
  void ChooseDevice();
  void Connect();
  void Finish();
  void HideProgress();
  bool Needed(int32_t aDevice) const;
  bool IsBluetoothType(int32_t aDevice) const;

  MBluetoothSelectionHost* iHost = nullptr;
  MSelectBluetoothDevicesObserver* iObserver = nullptr;
  bool iNeed[3] = {false, false, false};
  int32_t iDeviceType = ENone;
  TPwBtAddr iAddress;
  CPwString iName;
  bool iMustConnect = false;
  int32_t iParameter = 0;
  TDeviceRecord iRecords[3];
  int32_t iState = EIdle;
  bool iProgressShown = false;
};
