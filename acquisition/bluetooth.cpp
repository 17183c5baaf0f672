#include "acquisition/bluetooth.h"

#include "strings/pw_strings.h"

namespace {

constexpr int32_t KStopWaitMs = 15000;

// The worker marks its lookup before it looks at the stop request, and the stopper sets the
// request before it looks at the mark (both sequentially consistent): either the worker sees the
// request and skips the lookup, or the stopper sees the mark and cancels it.
bool BeginLookup(std::atomic<bool>& aInProgress, const std::atomic<bool>& aStopRequested) {
  aInProgress.store(true);
  if (!aStopRequested.load()) return true;
  aInProgress.store(false);
  return false;
}

void RequestStop(std::atomic<bool>& aStopRequested, const std::atomic<bool>& aInProgress, MBluetoothStack* aStack) {
  aStopRequested.store(true);
  if (aInProgress.load() && aStack) aStack->CancelLookups();
}

}  // namespace

// --- CInquireDevicesEngine ------------------------------------------------------------------

CInquireDevicesEngine::CInquireDevicesEngine(MActiveSchedulerObserver* aScheduler, MBluetoothStack* aStack)
    : CActive(aScheduler), iStack(aStack) {}

CInquireDevicesEngine::~CInquireDevicesEngine() { StopInquiry(); }

void CInquireDevicesEngine::StartInquiry(MInquireDevicesObserver* aObserver) {
  if (iRunning) return;
  // A worker that ended on its own (no stack) is still attached until joined.
  if (iThread.IsAttached()) iThread.Join(KStopWaitMs);
  iObserver = aObserver;
  {
    PwLockGuard guard(iLock);
    iAddresses.Reset();
    iNames.Reset();
    iResult = 0;
  }
  iStopRequested.store(false);
  if (!iThread.Start([this] { WorkerMain(); })) Leave(KErrThread);
  iRunning = true;
}

void CInquireDevicesEngine::StopInquiry() {
  iRunning = false;
  RequestStop(iStopRequested, iLookupInProgress, iStack);
  if (iThread.IsAttached()) iThread.Join(KStopWaitMs);
}

void CInquireDevicesEngine::WorkerMain() {
  // Without a stack there is nothing to search with; the search simply never reports.
  if (!iStack || !BeginLookup(iLookupInProgress, iStopRequested)) return;
  const int32_t code = iStack->InquireDevices(*this);
  iLookupInProgress.store(false);
  {
    PwLockGuard guard(iLock);
    // A stack must not report "still searching" as its end.
    iResult = code != 0 ? code : MBluetoothStack::KSearchEnded;
  }
  SignalRequest();
}

void CInquireDevicesEngine::DeviceFound(const TPwBtAddr& aAddress, CPwStringC aName) {
  {
    PwLockGuard guard(iLock);
    // Both lists grow together or not at all (out of memory drops the device).
    (void)Trap([&] {
      iAddresses.Append(aAddress);
      if (Trap([&] { iNames.AppendCopy(aName); }) != KErrNone) iAddresses.Remove(iAddresses.Count() - 1);
    });
  }
  SignalRequest();
}

void CInquireDevicesEngine::Run() {
  // Devices are taken one at a time and reported without the lock, so the observer may stop
  // the search from its callback without waiting on the worker.
  for (;;) {
    if (!iRunning) return;
    TPwBtAddr address;
    CPwString name;
    {
      PwLockGuard guard(iLock);
      if (iAddresses.Count() == 0) break;
      address = iAddresses.At(0);
      name.Copy(iNames.At(0));
      iAddresses.Remove(0);
      iNames.Remove(0);
    }
    if (iObserver) iObserver->DeviceFound(name, address);
  }
  int32_t result;
  {
    PwLockGuard guard(iLock);
    result = iResult;
  }
  if (result == 0) return;
  iRunning = false;
  if (iObserver) iObserver->InquiryFinished(result == MBluetoothStack::KSearchEnded ? 0 : result);
}

// --- CDiscoverServiceEngine -----------------------------------------------------------------

CDiscoverServiceEngine::CDiscoverServiceEngine(MActiveSchedulerObserver* aScheduler, MBluetoothStack* aStack)
    : CActive(aScheduler), iStack(aStack) {}

CDiscoverServiceEngine::~CDiscoverServiceEngine() { StopDiscovery(); }

void CDiscoverServiceEngine::StartDiscovery(MDiscoverServiceObserver* aObserver, int32_t aParameter,
                                            const TPwBtAddr& aAddress) {
  if (iRunning) return;
  if (iThread.IsAttached()) iThread.Join(KStopWaitMs);
  iObserver = aObserver;
  iParameter = aParameter;
  iAddress = aAddress;
  iChannel = -1;
  iResult = 0;
  iStopRequested.store(false);
  if (!iThread.Start([this] { WorkerMain(); })) Leave(KErrThread);
  iRunning = true;
}

void CDiscoverServiceEngine::StopDiscovery() {
  iRunning = false;
  RequestStop(iStopRequested, iLookupInProgress, iStack);
  if (iThread.IsAttached()) iThread.Join(KStopWaitMs);
}

void CDiscoverServiceEngine::WorkerMain() {
  if (!iStack || !BeginLookup(iLookupInProgress, iStopRequested)) return;
  int32_t channel = -1;
  const int32_t code = iStack->DiscoverSerialPort(iAddress, iParameter, channel);
  iLookupInProgress.store(false);
  iChannel = channel;
  iResult = code;
  SignalRequest();  // orders the two writes before Run reads them
}

void CDiscoverServiceEngine::Run() {
  if (!iRunning) return;
  iRunning = false;
  // The worker has finished with the fields once it completed the request.
  if (iThread.IsAttached()) iThread.Join(KStopWaitMs);
  if (!iObserver) return;
  if (iResult != 0)
    iObserver->DiscoveryFailed(iResult);
  else
    iObserver->ServiceFound(iChannel);
}

// --- CSelectBluetoothDevices ----------------------------------------------------------------

namespace {

struct TDeviceTexts {
  uint16_t iTitle;
  uint16_t iConnectingNamed;
  uint16_t iConnecting;
  uint16_t iRetry;
  uint16_t iNotThisDevice;
};

const TDeviceTexts KDeviceTexts[3] = {
    {R_BT_SELECT_GPS, R_BT_CONNECTING_GPS_NAMED, R_BT_CONNECTING_GPS, R_BT_RETRY_GPS, R_BT_NOT_GPS},
    {R_BT_SELECT_OBD, R_BT_CONNECTING_OBD_NAMED, R_BT_CONNECTING_OBD, R_BT_RETRY_OBD, R_BT_NOT_OBD},
    {R_BT_SELECT_LOGGER, R_BT_CONNECTING_LOGGER_NAMED, R_BT_CONNECTING_LOGGER, R_BT_RETRY_LOGGER,
     R_BT_NOT_LOGGER},
};

}  // namespace

CSelectBluetoothDevices::CSelectBluetoothDevices(MBluetoothSelectionHost& aHost) : iHost(&aHost) {
  for (TDeviceRecord& record : iRecords) record.iChannel = -1;
}

CSelectBluetoothDevices::~CSelectBluetoothDevices() {
  if (iState == EWaitingForDiscovery) iHost->DiscoverServiceEngine().StopDiscovery();
}

const TDeviceRecord& CSelectBluetoothDevices::Record(int32_t aDevice) const {
  if (aDevice < EGps || aDevice > ELogger) PanicCore(EPanicVectorIndex);
  return iRecords[aDevice - 1];
}

void CSelectBluetoothDevices::Start(MSelectBluetoothDevicesObserver* aObserver, bool aNeedGps, bool aNeedObd,
                                    bool aNeedLogger) {
  iHost->DiscoverServiceEngine().StopDiscovery();
  iDeviceType = ENone;
  iAddress.Reset();
  iName.SetLength(0);
  iMustConnect = false;
  for (TDeviceRecord& record : iRecords) {
    record.iAddress.Reset();
    record.iChannel = -1;
  }
  iObserver = aObserver;
  iNeed[0] = aNeedGps;
  iNeed[1] = aNeedObd;
  iNeed[2] = aNeedLogger;
  iState = ENextDevice;
  RunMachine();
}

bool CSelectBluetoothDevices::Needed(int32_t aDevice) const { return iNeed[aDevice - 1]; }

bool CSelectBluetoothDevices::IsBluetoothType(int32_t aDevice) const {
  const MDeviceSettings& settings = iHost->DeviceSettings();
  switch (aDevice) {
    case EGps:
      return settings.GpsType() == MDeviceSettings::EGpsBluetooth;
    case EObd:
      return settings.ObdType() == MDeviceSettings::EObdBluetooth;
    default:
      return settings.LoggerType() == MDeviceSettings::ELoggerDatavaneBluetooth;
  }
}

void CSelectBluetoothDevices::RunMachine() {
  while (iState != EIdle && iState != EWaitingForDiscovery) {
    switch (iState) {
      case ENextDevice:
        PrepareNextDevice();
        break;
      case EConnect:
      case EConnectAgain:
        Connect();
        break;
      case ECancelled:
        iState = EIdle;
        HideProgress();
        if (iObserver) iObserver->SelectionCancelled();
        break;
      case EChooseDevice:
      case EChooseDeviceAgain:
        ChooseDevice();
        break;
      default:
        iState = EIdle;
        break;
    }
  }
}

void CSelectBluetoothDevices::PrepareNextDevice() {
  if (iDeviceType >= ELogger) {
    Finish();
    return;
  }
  ++iDeviceType;
  if (!Needed(iDeviceType) || !IsBluetoothType(iDeviceType)) return;  // next device
  iHost->StoredBluetoothDevice(iDeviceType, iAddress, iName);
  iParameter = 0;
  iMustConnect = true;
  if (iAddress.IsSet())
    iState = iHost->EnsureBluetoothOn() ? EConnect : ECancelled;
  else
    ChooseDevice();
}

void CSelectBluetoothDevices::ChooseDevice() {
  if (!iHost->EnsureBluetoothOn()) {
    iState = ECancelled;
    return;
  }
  CPwString title;
  title.LoadFromResource(KDeviceTexts[iDeviceType - 1].iTitle);
  TPwBtAddr address = iAddress;
  CPwString name;
  name.Copy(iName);
  if (iHost->SelectBluetoothDevice(title, address, name)) {
    iAddress = address;
    iName.Copy(name);
    iState = EConnect;
  } else {
    iState = ECancelled;
  }
}

void CSelectBluetoothDevices::Connect() {
  iState = EWaitingForDiscovery;
  const int32_t code =
      Trap([&] { iHost->DiscoverServiceEngine().StartDiscovery(this, iParameter, iAddress); });
  if (code != KErrNone) {
    // No worker for the lookup: handled like an unreachable device, so the user can retry or
    // choose another instead of waiting for a result that never comes.
    DiscoveryFailed(code);
    return;
  }
  const TDeviceTexts& texts = KDeviceTexts[iDeviceType - 1];
  CPwString text;
  if (iName.IsEmpty())
    text.LoadFromResource(texts.iConnecting);
  else
    text.FormatU(texts.iConnectingNamed, iName);
  iHost->ShowProgress(text, this);
  iProgressShown = true;
}

void CSelectBluetoothDevices::Finish() {
  iState = EIdle;
  HideProgress();
  if (iObserver) iObserver->DevicesSelected(iRecords[0], iRecords[1], iRecords[2]);
}

void CSelectBluetoothDevices::HideProgress() {
  if (!iProgressShown) return;
  iProgressShown = false;
  iHost->HideProgress();
}

void CSelectBluetoothDevices::DiscoveryFailed(int32_t aCode) {
  (void)aCode;
  if (iState != EWaitingForDiscovery || iDeviceType < EGps || iDeviceType > ELogger) return;
  iState = EChooseDevice;
  HideProgress();
  CPwString text;
  text.LoadFromResource(KDeviceTexts[iDeviceType - 1].iRetry);
  iState = iHost->AskQuestion(text) ? EConnectAgain : EChooseDevice;
  RunMachine();
}

void CSelectBluetoothDevices::ServiceFound(int32_t aChannel) {
  if (iState != EWaitingForDiscovery || iDeviceType < EGps || iDeviceType > ELogger) return;
  if (aChannel == -1) {
    HideProgress();
    CPwString text;
    text.LoadFromResource(KDeviceTexts[iDeviceType - 1].iNotThisDevice);
    iHost->ShowErrorNote(text);
    iState = EChooseDevice;
  } else {
    TDeviceRecord& record = iRecords[iDeviceType - 1];
    record.iAddress = iAddress;
    record.iChannel = aChannel;
    iHost->SetStoredBluetoothDevice(iDeviceType, iAddress, iName);
    iState = ENextDevice;
  }
  RunMachine();
}

void CSelectBluetoothDevices::Cancel() {
  if (iState != EWaitingForDiscovery) return;
  iHost->DiscoverServiceEngine().StopDiscovery();
  iState = EIdle;
  HideProgress();
  if (iObserver) iObserver->SelectionCancelled();
}
