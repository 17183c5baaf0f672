#include "app/views/device_connection.h"

#include "app/dialogs/dialogs.h"
#include "app/gui/commands.h"
#include "app/model.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"

// --- The device search ---------------------------------------------------------------------------

CInquirySettingControl::CInquirySettingControl(CInquireDevicesEngine& aEngine, CPwStringC aTitle)
    : CSelectionDialogControl(false), iEngine(&aEngine), iTitle(aTitle) {}

CInquirySettingControl::~CInquirySettingControl() { iEngine->StopInquiry(); }

void CInquirySettingControl::StartSearchL() {
  iEngine->StopInquiry();
  iAddresses.Reset();
  iNames.Reset();
  iFinished = false;
  iStateText.LoadFromResource(R_BT_SEARCHING);
  ShowRowsL();
  iEngine->StartInquiry(this);
}

void CInquirySettingControl::ShowRowsL() {
  CPwStringList rows;
  rows.CopyFrom(iNames);
  if (iFinished) {
    CPwString again;
    again.LoadFromResource(R_BT_SEARCH_AGAIN);
    rows.AppendCopy(again);
  }
  SetContentL(iTitle, iStateText, rows, -1);
  Invalidate();
}

void CInquirySettingControl::DeviceFound(CPwStringC aName, const TPwBtAddr& aAddress) {
  iAddresses.Append(aAddress);
  CPwString name{aName};
  if (name.IsEmpty()) aAddress.AppendText(name);
  iNames.AppendCopy(name);
  ShowRowsL();
}

void CInquirySettingControl::InquiryFinished(int32_t aCode) {
  iFinished = true;
  if (aCode != 0) iStateText.FormatN(R_BT_SEARCH_ERROR, aCode);
  else iStateText.LoadFromResource(iAddresses.Count() > 0 ? R_BT_SELECT_FROM_LIST : R_BT_NONE_FOUND);
  ShowRowsL();
}

void CInquirySettingControl::ItemActivated(CItemListControl&, int32_t aIndex) {
  if (aIndex >= 0 && aIndex < iAddresses.Count()) {
    iChosenAddress = iAddresses.At(aIndex);
    iChosenName.Copy(iNames.At(aIndex));
    iEngine->StopInquiry();
    Close(1);
    return;
  }
  if (iFinished && aIndex == iAddresses.Count()) StartSearchL();
}

int32_t CInquirySettingControl::HandleDialogCommand(int32_t aCommand) {
  if (aCommand == pwcmd::KCancel) {
    iEngine->StopInquiry();
    Close(0);
    return 0;
  }
  return CSelectionDialogControl::HandleDialogCommand(aCommand);
}

// --- The procedure -------------------------------------------------------------------------------

CDeviceConnection::CDeviceConnection(CModel& aModel, CDialogs& aDialogs)
    : iModel(&aModel), iDialogs(&aDialogs), iSequence(new CSelectBluetoothDevices(*this)) {}

CDeviceConnection::~CDeviceConnection() = default;

void CDeviceConnection::StartForSession(MDeviceConnectionObserver* aObserver) {
  const CGpsClient& client = iModel->GpsClient();
  Start(aObserver, client.GpsIdle(), client.CanStartObd(), client.CanStartLogger());
}

void CDeviceConnection::Start(MDeviceConnectionObserver* aObserver, bool aNeedGps, bool aNeedObd, bool aNeedLogger) {
  iObserver = aObserver;
  iRunning = true;
  // A receiver type this machine has no driver for (the handheld's own receiver, or a value
  // from elsewhere) is asked for once; the answer is kept in the settings.
  if (aNeedGps) {
    const int32_t type = iModel->Settings().Gps().iType;
    const bool usable = type == MDeviceSettings::EGpsBluetooth || type == MDeviceSettings::EGpsInputFile ||
                        type == MDeviceSettings::EGpsSerial || type == MDeviceSettings::EGpsGpsd;
    if (!usable && !iDialogs->SelectGpsType()) {
      SelectionCancelled();
      return;
    }
  }
  iSequence->Start(this, aNeedGps, aNeedObd, aNeedLogger);
}

const MDeviceSettings& CDeviceConnection::DeviceSettings() const { return iModel->DeviceSettings(); }

void CDeviceConnection::StoredBluetoothDevice(int32_t aDevice, TPwBtAddr& aAddress, CPwString& aName) const {
  const CSettings& settings = iModel->Settings();
  switch (aDevice) {
    case CSelectBluetoothDevices::EGps:
      aAddress = settings.Gps().iBtAddr;
      aName.Copy(settings.GpsDeviceName());
      break;
    case CSelectBluetoothDevices::EObd:
      aAddress = settings.Obd().iBtAddr;
      aName.Copy(settings.ObdDeviceName());
      break;
    default:
      aAddress = settings.Logger().iBtAddr;
      aName.Copy(settings.LoggerDeviceName());
      break;
  }
}

void CDeviceConnection::SetStoredBluetoothDevice(int32_t aDevice, const TPwBtAddr& aAddress, CPwStringC aName) {
  CSettings& settings = iModel->Settings();
  switch (aDevice) {
    case CSelectBluetoothDevices::EGps:
      settings.Gps().iBtAddr = aAddress;
      settings.SetGpsDeviceName(aName);
      break;
    case CSelectBluetoothDevices::EObd:
      settings.Obd().iBtAddr = aAddress;
      settings.SetObdDeviceName(aName);
      break;
    default:
      settings.Logger().iBtAddr = aAddress;
      settings.SetLoggerDeviceName(aName);
      break;
  }
}

int32_t CDeviceConnection::EnsureBluetoothOn() { return iModel->EnsureBluetoothOn(); }

CDiscoverServiceEngine& CDeviceConnection::DiscoverServiceEngine() { return iModel->DiscoveryEngine(); }

int32_t CDeviceConnection::SelectBluetoothDevice(CPwStringC aTitle, TPwBtAddr& aAddress, CPwString& aName) {
  CInquirySettingControl* dialog = new CInquirySettingControl(iModel->InquiryEngine(), aTitle);
  int32_t result = 0;
  const int32_t code = Trap([&] {
    dialog->StartSearchL();
    result = iDialogs->RunModal(*dialog);
    if (result) {
      aAddress = dialog->ChosenAddress();
      aName.Copy(dialog->ChosenName());
    }
  });
  delete dialog;
  LeaveIfError(code);
  return result;
}

void CDeviceConnection::ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver) {
  iDialogs->ShowProgress(aText, aObserver, 0);
}

void CDeviceConnection::HideProgress() { (void)iDialogs->CloseProgress(); }

int32_t CDeviceConnection::AskQuestion(CPwStringC aText) { return iDialogs->Ask(aText); }

void CDeviceConnection::ShowErrorNote(CPwStringC aText) { iDialogs->ShowNote(CDialogs::EConfirmedError, aText); }

void CDeviceConnection::DevicesSelected(const TDeviceRecord& aGps, const TDeviceRecord& aObd,
                                        const TDeviceRecord& aLogger) {
  iRunning = false;
  // Starting the devices also opens the session's files (and the raw NMEA file).
  iModel->ConnectDevices(aGps, aObd, aLogger);
  iModel->UpdateViews(1);
  if (MDeviceConnectionObserver* observer = iObserver) observer->DevicesConnected();
}

void CDeviceConnection::SelectionCancelled() {
  iRunning = false;
  iModel->StopWatchingFreeSpace();
  iModel->UpdateViews(1);
  if (MDeviceConnectionObserver* observer = iObserver) observer->NoDeviceSelected();
}
