#include "acquisition/gps_client.h"

CGpsClient* CGpsClient::NewL(MDeviceModel& aModel) { return new CGpsClient(aModel); }

void CGpsClient::StartGps(const TPwBtAddr& aAddress, int32_t aChannel) {
  (void)aAddress;  // no GPS type uses them
  (void)aChannel;
  MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::EGpsConnection);
  if (iGpsStarted || iReplaying || !engine) return;
  engine->ResetClock();
  const MDeviceSettings& settings = iModel->DeviceSettings();
  switch (settings.GpsType()) {
    case MDeviceSettings::EGpsInternal:
      engine->StartPlatform(this, TDataKind::Gps);
      iGpsStarted = true;
      break;
    case MDeviceSettings::EGpsInputFile:
      engine->StartFile(this, settings.InputFile(), TDataKind::Gps);
      iReplaying = true;
      break;
    case MDeviceSettings::EGpsSerial:
      engine->SetGpsReceiverSetup(settings.GpsReceiverRate(), settings.GpsFoundBaudRate() * 100);
      iToldBaud = settings.GpsFoundBaudRate() * 100;
      engine->StartSerial(this, settings.GpsPort(), settings.GpsBaudRate() * 100, TDataKind::Gps);
      iGpsStarted = true;
      break;
    case MDeviceSettings::EGpsGpsd:
      engine->StartGpsd(this, settings.GpsdHost(), settings.GpsdPort(), TDataKind::Gps);
      iGpsStarted = true;
      break;
    default:
      break;  // Bluetooth GPS receivers are reached as serial ports (rfcomm)
  }
}

void CGpsClient::StartObd(const TPwBtAddr& aAddress, int32_t aChannel) {
  MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::EObdConnection);
  if (iObdStarted || iReplaying || !engine) return;
  const MDeviceSettings& settings = iModel->DeviceSettings();
  switch (settings.ObdType()) {
    case MDeviceSettings::EObdBluetooth:
      engine->StartBluetooth(this, aAddress, aChannel, settings.ObdBaudRate() * 100, TDataKind::Obd);
      break;
    case MDeviceSettings::EObdSerial:
      engine->StartSerial(this, settings.ObdPort(), settings.ObdBaudRate() * 100, TDataKind::Obd);
      break;
    default:
      return;
  }
  iObdStarted = true;
}

void CGpsClient::StartLogger(const TPwBtAddr& aAddress, int32_t aChannel) {
  MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::ELoggerConnection);
  if (iLoggerStarted || iReplaying || !engine) return;
  const MDeviceSettings& settings = iModel->DeviceSettings();
  switch (settings.LoggerType()) {
    case MDeviceSettings::ELoggerAccelerometer:
      engine->StartPlatform(this, TDataKind::Accelerometer);
      break;
    case MDeviceSettings::ELoggerDatavaneBluetooth:
      engine->StartBluetooth(this, aAddress, aChannel, settings.LoggerBaudRate() * 100, TDataKind::DataLogger);
      break;
    case MDeviceSettings::ELoggerDatavaneSerial:
      engine->StartSerial(this, settings.LoggerPort(), settings.LoggerBaudRate() * 100, TDataKind::DataLogger);
      break;
    default:
      return;
  }
  iLoggerStarted = true;
}

void CGpsClient::StopAll() {
  for (int32_t index = MDeviceModel::EGpsConnection; index <= MDeviceModel::ELoggerConnection; ++index)
    if (MDataEngineBase* engine = iModel->DeviceConnection(index)) engine->Stop();
  iGpsStarted = false;
  iObdStarted = false;
  iLoggerStarted = false;
  iReplaying = false;
}

bool CGpsClient::CanStartObd() const {
  return iModel->DeviceConnection(MDeviceModel::EObdConnection) &&
         iModel->DeviceSettings().GpsType() != MDeviceSettings::EGpsInputFile && !iObdStarted;
}

bool CGpsClient::CanStartLogger() const {
  return iModel->DeviceConnection(MDeviceModel::ELoggerConnection) &&
         iModel->DeviceSettings().GpsType() != MDeviceSettings::EGpsInputFile && !iLoggerStarted;
}

int32_t CGpsClient::StatusOf(const MDataEngineBase& aEngine) {
  switch (aEngine.Status()) {
    case 2:
      return EFailed;
    case 1:
      return EConnected;
    default:
      return ENotConnected;  // starting, connecting, or stopped after a failed open
  }
}

int32_t CGpsClient::GpsStatus() const {
  const MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::EGpsConnection);
  if (!engine || (!iGpsStarted && !iReplaying)) return ENotStarted;
  return StatusOf(*engine);
}

int32_t CGpsClient::ObdStatus() const {
  if (const MDataEngineBase* obd = iModel->DeviceConnection(MDeviceModel::EObdConnection); obd && iObdStarted)
    return StatusOf(*obd);
  // During a replay the recorded OBD data share the GPS connection.
  if (const MDataEngineBase* gps = iModel->DeviceConnection(MDeviceModel::EGpsConnection); gps && iReplaying)
    return StatusOf(*gps);
  return ENotStarted;
}

int32_t CGpsClient::LoggerStatus() const {
  if (const MDataEngineBase* logger = iModel->DeviceConnection(MDeviceModel::ELoggerConnection);
      logger && iLoggerStarted)
    return StatusOf(*logger);
  if (const MDataEngineBase* gps = iModel->DeviceConnection(MDeviceModel::EGpsConnection); gps && iReplaying)
    return StatusOf(*gps);
  return ENotStarted;
}

void CGpsClient::ClearObdChannels() {
  if (MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::EObdConnection)) engine->ClearObdChannels();
}

void CGpsClient::AddObdChannel(int32_t aPid, int32_t aPriority) {
  if (MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::EObdConnection))
    engine->AddObdChannel(aPid, aPriority);
}

void CGpsClient::DataReceived(CPwByteArrayC aBytes, TDataKind aKind) {
  if (aKind == TDataKind::Gps && iGpsStarted) {
    // A receiver found (or raised) to another rate than the one remembered: it is looked for
    // there first next time. Only the search's own rate is kept, not one the user fixed.
    const MDataEngineBase* engine = iModel->DeviceConnection(MDeviceModel::EGpsConnection);
    const int32_t baud = engine ? engine->GpsReceiverReport().iRememberBaud : 0;
    if (baud > 0 && baud != iToldBaud && iModel->DeviceSettings().GpsBaudRate() == 0 &&
        iModel->DeviceSettings().GpsType() == MDeviceSettings::EGpsSerial) {
      iToldBaud = baud;
      iModel->GpsBaudRateFound(baud);
    }
  }
  iModel->DeviceDataReceived(aKind, aBytes);
}

void CGpsClient::StatusChanged(TDataKind aKind) { iModel->DeviceStatusChanged(aKind); }
