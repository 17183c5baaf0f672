#include "acquisition/core.h"

#include "acquisition/gps_receiver_control.h"
#include "platform/clock.h"

#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "acquisition/obd_parser.h"
#include "strings/pw_strings.h"

CCore* CCore::NewL(MActiveSchedulerObserver* aScheduler) { return PwNewL<CCore>(aScheduler); }

void CCore::ConstructL(MActiveSchedulerObserver* aScheduler) {
  ConstructMembersL();
  CreateConnectionsL(aScheduler);
}

void CCore::ConstructMembersL() {
  iObdChannels = CObdChannelList::NewL();
  for (CNmeaParser*& parser : iParsers) parser = CNmeaParser::NewL(0);
  iChannelState = CChannelState::NewL();
  iSlowBearing = CSlowBearing::NewL();
  iGpsClient = CGpsClient::NewL(*this);
}

void CCore::CreateConnectionsL(MActiveSchedulerObserver* aScheduler) {
  for (CDataEngine*& connection : iConnections) {
    connection = CDataEngine::NewL(aScheduler, iGpsClock);
    connection->SetProtocolHandlerFactory(&NewDeviceProtocolHandlerL);
  }
}

CCore::~CCore() {
  // The readers go first: they use the clock and deliver into the parsers.
  for (CDataEngine* connection : iConnections)
    if (connection) connection->Stop();
  for (CDataEngine*& connection : iConnections) {
    delete connection;
    connection = nullptr;
  }
  for (CNmeaParser*& parser : iParsers) {
    delete parser;
    parser = nullptr;
  }
  delete iChannelState;
  delete iSlowBearing;
  delete iObdChannels;
  delete iGpsClient;
}

// --- MDeviceModel --------------------------------------------------------------------------

MDataEngineBase* CCore::DeviceConnection(int32_t aIndex) { return Connection(aIndex); }

CDataEngine* CCore::Connection(int32_t aIndex) const {
  if (aIndex < EGpsConnection || aIndex > ELoggerConnection) return nullptr;
  return iConnections[aIndex - 1];
}

const MDeviceSettings& CCore::DeviceSettings() const { return iSettings ? *iSettings : iDefaultSettings; }

int32_t CCore::ParserIndex(TDataKind aKind) {
  switch (aKind) {
    case TDataKind::Gps:
      return 0;
    case TDataKind::Obd:
      return 1;
    case TDataKind::DataLogger:
    case TDataKind::Accelerometer:
      return 2;
  }
  return -1;
}

CNmeaParser& CCore::Parser(TDataKind aKind) const {
  const int32_t index = ParserIndex(aKind);
  if (index < 0) PanicCore(EPanicVectorIndex);
  return *iParsers[index];
}

void CCore::DeviceDataReceived(TDataKind aKind, CPwByteArrayC aBytes) {
  // Each kind has its own parser, so a partial line of one device never meets another's bytes.
  const int32_t index = ParserIndex(aKind);
  if (index < 0) return;
  const int32_t result = iParsers[index]->Parse(aBytes, ParsedDataObserver(), iSlowBearing, iObdChannels,
                                                iChannelState, nullptr);
  UpdateViews(result);
}

void CCore::DeviceStatusChanged(TDataKind aKind) {
  // A new OBD connection may be another vehicle: what was learned about the old one goes.
  if (aKind == TDataKind::Obd) iObdChannels->Forget();
  const int32_t index = ParserIndex(aKind);
  if (index >= 0) iParsers[index]->Reset();
  WatchLink(aKind);
  UpdateViews(1);
}

void CCore::WatchLink(TDataKind aKind) {
  const int32_t index = ParserIndex(aKind);
  if (index < 0) return;
  const CDataEngine* engine = iConnections[index];
  const bool started = index == 0 ? iGpsClient->GpsStarted() : index == 1 ? iGpsClient->ObdStarted()
                                                                          : iGpsClient->LoggerStarted();
  TLinkWatch& link = iLinks[index];
  if (!engine || !started || engine->Mode() != TConnectionMode::SerialPort) {
    link = TLinkWatch();
    if (engine) link.iConnects = engine->ReportedConnectCount();
    return;
  }
  const uint32_t connects = engine->ReportedConnectCount();
  const bool newConnection = connects != link.iConnects;
  link.iConnects = connects;
  if (engine->LastReportedState() == TEngineState::Connected) {
    // Connected again without the loss having been seen: it happened between two runs.
    if (newConnection && link.iConnected && !link.iAway) {
      link.iAway = true;
      DeviceLost(aKind);
    }
    link.iConnected = true;
    if (link.iAway) {
      link.iAway = false;
      DeviceBack(aKind);
    }
  } else if (link.iConnected && !link.iAway) {
    link.iAway = true;
    DeviceLost(aKind);
  }
}

bool CCore::DeviceAway(TDataKind aKind) const {
  const int32_t index = ParserIndex(aKind);
  return index >= 0 && iLinks[index].iAway;
}

// --- Starting and stopping -----------------------------------------------------------------

void CCore::ConnectDevices(const TDeviceRecord& aGps, const TDeviceRecord& aObd, const TDeviceRecord& aLogger) {
  if (!PrepareRecording()) return;
  for (int32_t i = 0; i < 3; ++i) {
    iLinks[i] = TLinkWatch();
    iLinks[i].iConnects = iConnections[i]->ReportedConnectCount();
  }
  iChannelState->Reset();
  iSlowBearing->Reset();
  const MDeviceSettings& settings = DeviceSettings();
  if (settings.GpsType() != MDeviceSettings::EGpsBluetooth || aGps.iAddress.IsSet())
    iGpsClient->StartGps(aGps.iAddress, aGps.iChannel);
  if (settings.ObdType() != MDeviceSettings::EObdBluetooth || aObd.iAddress.IsSet())
    iGpsClient->StartObd(aObd.iAddress, aObd.iChannel);
  if (settings.LoggerType() != MDeviceSettings::ELoggerDatavaneBluetooth || aLogger.iAddress.IsSet())
    iGpsClient->StartLogger(aLogger.iAddress, aLogger.iChannel);
  iPaused = false;
}

void CCore::PauseDevices() {
  iGpsClient->StopAll();
  for (TLinkWatch& link : iLinks) link.iAway = false;
  iPaused = true;
}

void CCore::StopAllDevices() { iGpsClient->StopAll(); }

void CCore::SetProtocolHandlerFactory(TProtocolHandlerFactory aFactory) {
  for (CDataEngine* connection : iConnections) connection->SetProtocolHandlerFactory(aFactory);
}

void CCore::SetFileReplayPacing(const TFileReplayPacing& aPacing) {
  for (CDataEngine* connection : iConnections) connection->SetFileReplayPacing(aPacing);
}

// --- Status --------------------------------------------------------------------------------

CCore::TGpsState CCore::GpsState() const {
  switch (iGpsClient->GpsStatus()) {
    case CGpsClient::ENotConnected:
      return EGpsNoConnection;
    case CGpsClient::EConnected:
      switch (iChannelState->FixState()) {
        case CChannelState::ENoFix:
          return EGpsNoFix;
        case CChannelState::EDifferentialFix:
          return EGpsFixedDgps;
        default:
          return EGpsFixed;
      }
    case CGpsClient::EFailed:
      return EGpsFailed;
    default:
      return EGpsNotStarted;
  }
}

bool CCore::DeviceStatusLine(CPwString& aText, bool aStorageLow, CPwStringC aFreeSpace) const {
  aText.SetLength(0);
  const TGpsState gps = GpsState();
  if (gps == EGpsFailed) {
    aText.LoadFromResource(R_STATUS_MEMORY_FULL);
  } else if (gps == EGpsNoConnection) {
    aText.LoadFromResource(R_STATUS_NO_GPS_CONNECTION);
  } else if (iGpsClient->ObdStatus() == CGpsClient::ENotConnected) {
    aText.LoadFromResource(R_STATUS_NO_OBD_CONNECTION);
  } else if (iGpsClient->LoggerStatus() == CGpsClient::ENotConnected) {
    aText.LoadFromResource(R_STATUS_NO_LOGGER_CONNECTION);
  } else if (GpsReceiverNote(aText)) {
    // shown for a while after the receiver was set up
  } else if (gps == EGpsNoFix) {
    aText.FormatN(R_STATUS_NO_FIX, iChannelState->SatellitesInViewCount());
  } else if (aStorageLow) {
    aText.FormatU(R_STATUS_STORAGE_LOW, aFreeSpace);
  } else if (gps == EGpsFixed) {
    aText.FormatN(R_STATUS_FIXED, iChannelState->SatellitesUsed());
  } else if (gps == EGpsFixedDgps) {
    aText.FormatN(R_STATUS_FIXED_DGPS, iChannelState->SatellitesUsed());
  }
  return !aText.IsEmpty();
}

bool CCore::GpsReceiverNote(CPwString& aText) const {
  aText.SetLength(0);
  const CDataEngine* engine = iConnections[0];
  if (!engine || iGpsClient->GpsStatus() != CGpsClient::EConnected) return false;
  const TGpsReceiverReport report = engine->GpsReceiverReport();
  if (report.iNoteCount == 0) return false;
  const uint32_t now = pwplat::ClockTickMs();
  if (report.iNoteCount != iNoteCount) {
    iNoteCount = report.iNoteCount;
    iNoteSince = now;
  }
  if (now - iNoteSince > KReceiverNoteMs) return false;
  switch (report.iNote) {
    case TGpsReceiverControl::ENoteRateSet: aText.FormatN(R_STATUS_RECEIVER_RATE_SET, report.iNoteValue); break;
    case TGpsReceiverControl::ENoteRateRefused: aText.LoadFromResource(R_STATUS_RECEIVER_REFUSED); break;
    case TGpsReceiverControl::ENoteNoAnswer: aText.LoadFromResource(R_STATUS_RECEIVER_NO_ANSWER); break;
    case TGpsReceiverControl::ENoteNeedsBaud: aText.FormatN(R_STATUS_RECEIVER_NEEDS_BAUD, report.iNoteValue); break;
    case TGpsReceiverControl::ENoteBaudFound: aText.FormatN(R_STATUS_BAUD_FOUND, report.iNoteValue); break;
    case TGpsReceiverControl::ENoteNoSentences: aText.LoadFromResource(R_STATUS_NO_SENTENCES); break;
    default: break;
  }
  return !aText.IsEmpty();
}
