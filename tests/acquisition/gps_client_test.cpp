// The GPS client's start rules per device type, its statuses and flags, and the device core
// on top of it: routing of batches to one parser per kind, connection events, connecting all
// devices and the session view's status line.
#include "acquisition/gps_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/core.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "nmea_recorder.h"
#include "pty_device.h"

namespace {

using pwtest::Nmea;

std::string Utf8(CPwStringC aText) {
  CPwByteArray bytes;
  bytes.AppendUtf8(aText);
  return std::string(bytes.View());
}

std::string KindName(TDataKind aKind) { return std::to_string(static_cast<int>(aKind)); }

// Records every call as text; Status answers what the test sets.
class TFakeEngine : public MDataEngineBase {
 public:
  TFakeEngine(std::vector<std::string>& aLog, const char* aName) : iLog(aLog), iName(aName) {}

  void StartBluetooth(MDataObserver* aObserver, const TPwBtAddr& aAddress, int32_t aChannel, int32_t aBaudRate,
                      TDataKind aKind) override {
    iObserver = aObserver;
    CPwString address;
    aAddress.AppendText(address);
    Log("bluetooth " + Utf8(address) + " ch" + std::to_string(aChannel) + " " + std::to_string(aBaudRate) + " kind" +
        KindName(aKind));
  }
  void StartSerial(MDataObserver* aObserver, int32_t aPort, int32_t aBaudRate, TDataKind aKind) override {
    iObserver = aObserver;
    Log("serial COM" + std::to_string(aPort) + " " + std::to_string(aBaudRate) + " kind" + KindName(aKind));
  }
  void StartFile(MDataObserver* aObserver, CPwStringC aPath, TDataKind aKind) override {
    iObserver = aObserver;
    Log("file " + Utf8(aPath) + " kind" + KindName(aKind));
  }
  void StartPlatform(MDataObserver* aObserver, TDataKind aKind) override {
    iObserver = aObserver;
    Log("platform kind" + KindName(aKind));
  }
  void Stop() override { Log("stop"); }
  void ResetClock() override { Log("reset clock"); }
  int32_t Status() const override { return iStatus; }
  void ClearObdChannels() override { Log("clear"); }
  void AddObdChannel(int32_t aPid, int32_t aPriority) override {
    Log("add " + std::to_string(aPid) + "/" + std::to_string(aPriority));
  }

  void Log(const std::string& aText) { iLog.push_back(std::string(iName) + ": " + aText); }

  std::vector<std::string>& iLog;
  const char* iName;
  int32_t iStatus = 0;
  MDataObserver* iObserver = nullptr;
};

class TFakeModel : public MDeviceModel {
 public:
  MDataEngineBase* DeviceConnection(int32_t aIndex) override {
    return aIndex >= 1 && aIndex <= 3 ? iEngines[aIndex - 1] : nullptr;
  }
  const MDeviceSettings& DeviceSettings() const override { return iSettings; }
  void DeviceDataReceived(TDataKind aKind, CPwByteArrayC aBytes) override {
    iLog.push_back("data kind" + KindName(aKind) + " " + std::string(aBytes.View()));
  }
  void DeviceStatusChanged(TDataKind aKind) override { iLog.push_back("status kind" + KindName(aKind)); }

  std::vector<std::string> iLog;
  TFakeEngine iGps{iLog, "gps"}, iObd{iLog, "obd"}, iLogger{iLog, "logger"};
  MDataEngineBase* iEngines[3] = {&iGps, &iObd, &iLogger};
  TDeviceSettings iSettings;
};

class GpsClientTest : public ::testing::Test {
 protected:
  GpsClientTest() : iClient(CGpsClient::NewL(iModel)) {}
  ~GpsClientTest() override { delete iClient; }
  std::vector<std::string> TakeLog() {
    std::vector<std::string> log;
    log.swap(iModel.iLog);
    return log;
  }

  TFakeModel iModel;
  CGpsClient* iClient;
  TPwBtAddr iAddress;
};

using Log = std::vector<std::string>;

TEST_F(GpsClientTest, SerialGpsStartsOnceAndReportsTheEngineState) {
  iModel.iSettings.iGpsType = MDeviceSettings::EGpsSerial;
  iModel.iSettings.iGpsPort = 4;
  iModel.iSettings.iGpsBaud = 96;
  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::ENotStarted);
  EXPECT_TRUE(iClient->GpsIdle());
  iClient->StartGps(iAddress, 0);
  EXPECT_EQ(TakeLog(), (Log{"gps: reset clock", "gps: serial COM4 9600 kind0"}));
  EXPECT_EQ(iModel.iGps.iObserver, iClient);
  EXPECT_FALSE(iClient->GpsIdle());
  iClient->StartGps(iAddress, 0);  // already started
  EXPECT_TRUE(TakeLog().empty());

  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::ENotConnected);  // starting, connecting, or the open failed
  iModel.iGps.iStatus = 1;
  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::EConnected);
  iModel.iGps.iStatus = 2;
  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::EFailed);

  iClient->StopAll();
  EXPECT_EQ(TakeLog(), (Log{"gps: stop", "obd: stop", "logger: stop"}));
  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::ENotStarted);
  EXPECT_TRUE(iClient->GpsIdle());
  iClient->StartGps(iAddress, 0);  // possible again after StopAll
  EXPECT_EQ(TakeLog().size(), 2u);
}

TEST_F(GpsClientTest, GpsTypesInternalAndBluetooth) {
  iModel.iSettings.iGpsType = MDeviceSettings::EGpsInternal;
  iClient->StartGps(iAddress, 0);
  EXPECT_EQ(TakeLog(), (Log{"gps: reset clock", "gps: platform kind0"}));
  EXPECT_FALSE(iClient->GpsIdle());
  iClient->StopAll();
  TakeLog();

  // Bluetooth GPS: nothing starts and no flag changes, the status stays 0.
  iModel.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
  iAddress[0] = 0xAB;
  iClient->StartGps(iAddress, 3);
  EXPECT_EQ(TakeLog(), (Log{"gps: reset clock"}));
  EXPECT_TRUE(iClient->GpsIdle());
  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::ENotStarted);
  iModel.iSettings.iGpsType = 17;  // unknown
  iClient->StartGps(iAddress, 3);
  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::ENotStarted);
}

TEST_F(GpsClientTest, InputFileReplayCarriesTheObdAndLoggerStatusAndBlocksTheirStart) {
  iModel.iSettings.iGpsType = MDeviceSettings::EGpsInputFile;
  iModel.iSettings.iInputFile = PwStringFromUtf8("/tmp/drive-nmea.txt");
  iModel.iSettings.iObdType = MDeviceSettings::EObdSerial;
  iModel.iSettings.iLoggerType = MDeviceSettings::ELoggerDatavaneSerial;
  EXPECT_FALSE(iClient->CanStartObd());
  EXPECT_FALSE(iClient->CanStartLogger());
  iClient->StartGps(iAddress, 0);
  EXPECT_EQ(TakeLog(), (Log{"gps: reset clock", "gps: file /tmp/drive-nmea.txt kind0"}));
  EXPECT_TRUE(iClient->GpsIdle());  // replaying is not "started"
  EXPECT_TRUE(iClient->Replaying());
  iClient->StartGps(iAddress, 0);
  iClient->StartObd(iAddress, 0);
  iClient->StartLogger(iAddress, 0);
  EXPECT_TRUE(TakeLog().empty());

  EXPECT_EQ(iClient->GpsStatus(), CGpsClient::ENotConnected);
  EXPECT_EQ(iClient->ObdStatus(), CGpsClient::ENotConnected);
  EXPECT_EQ(iClient->LoggerStatus(), CGpsClient::ENotConnected);
  iModel.iGps.iStatus = 1;
  EXPECT_EQ(iClient->ObdStatus(), CGpsClient::EConnected);
  EXPECT_EQ(iClient->LoggerStatus(), CGpsClient::EConnected);
  iClient->StopAll();
  EXPECT_FALSE(iClient->Replaying());
  EXPECT_EQ(iClient->ObdStatus(), CGpsClient::ENotStarted);
}

TEST_F(GpsClientTest, ObdAndLoggerTypesStartTheirEnginesInTheirMode) {
  iAddress[0] = 0x00;
  iAddress[5] = 0x5A;
  struct TCase {
    int32_t iObdType;
    const char* iObdCall;
  };
  iModel.iSettings.iObdPort = 7;
  iModel.iSettings.iObdBaud = 384;
  for (const TCase& c : {TCase{MDeviceSettings::EObdDisabled, nullptr},
                         TCase{MDeviceSettings::EObdBluetooth, "obd: bluetooth 00:00:00:00:00:5A ch2 38400 kind1"},
                         TCase{MDeviceSettings::EObdSerial, "obd: serial COM7 38400 kind1"}, TCase{9, nullptr}}) {
    SCOPED_TRACE(c.iObdType);
    iModel.iSettings.iObdType = c.iObdType;
    EXPECT_TRUE(iClient->CanStartObd());
    iClient->StartObd(iAddress, 2);
    EXPECT_EQ(TakeLog(), c.iObdCall ? Log{c.iObdCall} : Log{});
    EXPECT_EQ(iClient->ObdStarted(), c.iObdCall != nullptr);
    EXPECT_EQ(iClient->CanStartObd(), c.iObdCall == nullptr);
    EXPECT_EQ(iClient->ObdStatus(), c.iObdCall ? CGpsClient::ENotConnected : CGpsClient::ENotStarted);
    iClient->StopAll();
    TakeLog();
  }

  struct TLoggerCase {
    int32_t iType;
    const char* iCall;
  };
  iModel.iSettings.iLoggerPort = 8;
  iModel.iSettings.iLoggerBaud = 1152;
  for (const TLoggerCase& c :
       {TLoggerCase{MDeviceSettings::ELoggerDisabled, nullptr},
        TLoggerCase{MDeviceSettings::ELoggerAccelerometer, "logger: platform kind3"},
        TLoggerCase{MDeviceSettings::ELoggerDatavaneBluetooth, "logger: bluetooth 00:00:00:00:00:5A ch1 115200 kind2"},
        TLoggerCase{MDeviceSettings::ELoggerDatavaneSerial, "logger: serial COM8 115200 kind2"}}) {
    SCOPED_TRACE(c.iType);
    iModel.iSettings.iLoggerType = c.iType;
    iClient->StartLogger(iAddress, 1);
    EXPECT_EQ(TakeLog(), c.iCall ? Log{c.iCall} : Log{});
    EXPECT_EQ(iClient->LoggerStarted(), c.iCall != nullptr);
    iModel.iLogger.iStatus = 1;
    EXPECT_EQ(iClient->LoggerStatus(), c.iCall ? CGpsClient::EConnected : CGpsClient::ENotStarted);
    iModel.iLogger.iStatus = 0;
    iClient->StartLogger(iAddress, 1);  // once only
    if (c.iCall) {
      EXPECT_TRUE(TakeLog().empty());
    }
    iClient->StopAll();
    TakeLog();
  }
}

TEST_F(GpsClientTest, MissingEnginesStartNothingAndReportNotStarted) {
  iModel.iEngines[0] = iModel.iEngines[1] = iModel.iEngines[2] = nullptr;
  iModel.iSettings.iObdType = MDeviceSettings::EObdSerial;
  iModel.iSettings.iLoggerType = MDeviceSettings::ELoggerDatavaneSerial;
  iClient->StartGps(iAddress, 0);
  iClient->StartObd(iAddress, 0);
  iClient->StartLogger(iAddress, 0);
  iClient->ClearObdChannels();
  iClient->AddObdChannel(12, 2);
  iClient->StopAll();
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_FALSE(iClient->CanStartObd());
  EXPECT_FALSE(iClient->CanStartLogger());
  EXPECT_EQ(iClient->GpsStatus(), 0);
  EXPECT_EQ(iClient->ObdStatus(), 0);
  EXPECT_EQ(iClient->LoggerStatus(), 0);
}

TEST_F(GpsClientTest, ForwardsBatchesStatesAndObdChannels) {
  iClient->DataReceived("$GPGGA", TDataKind::Gps);
  iClient->DataReceived("$PW1", TDataKind::Accelerometer);
  iClient->StatusChanged(TDataKind::Obd);
  iClient->ClearObdChannels();
  iClient->AddObdChannel(0x0C, 2);
  EXPECT_EQ(TakeLog(), (Log{"data kind0 $GPGGA", "data kind3 $PW1", "status kind1", "obd: clear", "obd: add 12/2"}));
}

// --- The device core ------------------------------------------------------------------------

class CTestCore : public CCore {
 public:
  static CTestCore* NewL() {
    CTestCore* self = new CTestCore();
    self->ConstructL(nullptr);
    return self;
  }
  MDataEngineBase* DeviceConnection(int32_t aIndex) override {
    return iUseFakes ? iFakes.DeviceConnection(aIndex) : CCore::DeviceConnection(aIndex);
  }
  void UpdateViews(int32_t aCode) override { iUpdates.push_back(aCode); }
  bool PrepareRecording() override {
    ++iPrepared;
    return iAllowRecording;
  }

  TFakeModel iFakes;
  bool iUseFakes = true;
  std::vector<int32_t> iUpdates;
  int iPrepared = 0;
  bool iAllowRecording = true;
};

class DeviceCoreTest : public ::testing::Test {
 protected:
  DeviceCoreTest() : iCore(CTestCore::NewL()) {
    iCore->SetDeviceSettings(&iCore->iFakes.iSettings);
    iCore->SetParsedDataObserver(&iRecorder);
  }
  ~DeviceCoreTest() override { delete iCore; }

  std::string StatusLine(bool aStorageLow = false) {
    CPwString text;
    iCore->DeviceStatusLine(text, aStorageLow, u"3.2 MB");
    return Utf8(text);
  }

  CTestCore* iCore;
  pwtest::TNmeaRecorder iRecorder;
};

TEST_F(DeviceCoreTest, EachKindHasItsOwnParserAndTheLoggerSharesOneWithTheAccelerometer) {
  EXPECT_EQ(&iCore->Parser(TDataKind::DataLogger), &iCore->Parser(TDataKind::Accelerometer));
  EXPECT_NE(&iCore->Parser(TDataKind::Gps), &iCore->Parser(TDataKind::Obd));
  EXPECT_NE(&iCore->Parser(TDataKind::Gps), &iCore->Parser(TDataKind::DataLogger));
  EXPECT_EQ(iCore->Parser(TDataKind::Gps).IsMonitorOnly(), 0);

  // Partial lines of one device never mix with another device's bytes.
  const std::string epoch = pwtest::Epoch(5) + pwtest::Epoch(6);
  const std::string logger = Nmea("PW1,120000.50,17,100,-200,981");
  iCore->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(std::string_view(epoch).substr(0, 40)));
  iCore->DeviceDataReceived(TDataKind::DataLogger, CPwByteArrayC(std::string_view(logger).substr(0, 12)));
  iCore->DeviceDataReceived(TDataKind::Obd, "$PWOBD,120000.50,");
  iCore->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(std::string_view(epoch).substr(40)));
  iCore->DeviceDataReceived(TDataKind::Accelerometer, CPwByteArrayC(std::string_view(logger).substr(12)));
  EXPECT_EQ(iRecorder.iEpochs.size(), 2u);
  EXPECT_EQ(iCore->Parser(TDataKind::Gps).LineCount(), 4);
  ASSERT_EQ(iCore->Parser(TDataKind::DataLogger).LineCount(), 1);
  EXPECT_EQ(iCore->Parser(TDataKind::DataLogger).LastLoggerSentence().iValues[0], 100);
  EXPECT_EQ(iCore->Parser(TDataKind::Obd).LineCount(), 0);
  iCore->DeviceDataReceived(static_cast<TDataKind>(9), "$GPGGA\r\n");  // unknown kinds are ignored
  ASSERT_FALSE(iCore->iUpdates.empty());
  EXPECT_EQ(iCore->iUpdates.size(), 5u);
}

TEST_F(DeviceCoreTest, ConnectionEventsResetTheKindsParserAndObdForgetsTheVehicle) {
  CObdChannel* rpm = iCore->ObdChannels().ChannelByPid(0x0C);
  ASSERT_NE(rpm, nullptr);
  rpm->SetSupportState(CObdChannel::ESupported);
  iCore->DeviceDataReceived(TDataKind::Obd, "$PWOBD,1200");
  iCore->DeviceDataReceived(TDataKind::Gps, "$GPRMC,12");
  iCore->DeviceStatusChanged(TDataKind::Gps);
  EXPECT_EQ(rpm->SupportState(), CObdChannel::ESupported);
  iCore->DeviceStatusChanged(TDataKind::Obd);
  EXPECT_EQ(rpm->SupportState(), CObdChannel::ESupportUnknown);
  // After the reset the torn beginnings are gone: a whole sentence parses as the first line.
  iCore->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(std::string_view(pwtest::Epoch(1))));
  EXPECT_EQ(iCore->Parser(TDataKind::Gps).LineCount(), 2);
  EXPECT_EQ(iCore->iUpdates.back(), 1);
}

TEST_F(DeviceCoreTest, AnEpochAsksForThePositionViewsWhenItTimesSomething) {
  iRecorder.iTimingResult = 1;
  iCore->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(std::string_view(pwtest::Epoch(1) + pwtest::Epoch(2))));
  EXPECT_EQ(iCore->iUpdates.back(), CDataParser::ETimingEvent);
  iRecorder.iTimingResult = 0;
  iCore->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(std::string_view(pwtest::Epoch(3))));
  EXPECT_EQ(iCore->iUpdates.back(), CDataParser::EParsed);
  iCore->DeviceDataReceived(TDataKind::Gps, "$GPGSV,1");
  EXPECT_EQ(iCore->iUpdates.back(), CDataParser::ENothing);
}

TEST_F(DeviceCoreTest, ConnectDevicesSkipsBluetoothDevicesWithoutAnAddress) {
  TDeviceSettings& settings = iCore->iFakes.iSettings;
  settings.iGpsType = MDeviceSettings::EGpsBluetooth;
  settings.iObdType = MDeviceSettings::EObdBluetooth;
  settings.iLoggerType = MDeviceSettings::ELoggerDatavaneBluetooth;
  TDeviceRecord none, gps, obd, logger;
  gps.iAddress[0] = 1;
  obd.iAddress[1] = 2;
  obd.iChannel = 4;
  logger.iAddress[2] = 3;

  iCore->iAllowRecording = false;  // no session open
  iCore->ConnectDevices(gps, obd, logger);
  EXPECT_TRUE(iCore->iFakes.iLog.empty());
  EXPECT_TRUE(iCore->Paused());

  iCore->iAllowRecording = true;
  iCore->ConnectDevices(none, none, none);
  EXPECT_TRUE(iCore->iFakes.iLog.empty());
  EXPECT_FALSE(iCore->Paused());
  iCore->ConnectDevices(gps, obd, none);
  EXPECT_EQ(iCore->iFakes.iLog, (Log{"gps: reset clock", "obd: bluetooth 00:02:00:00:00:00 ch4 0 kind1"}));
  iCore->iFakes.iLog.clear();
  iCore->PauseDevices();
  EXPECT_TRUE(iCore->Paused());
  EXPECT_EQ(iCore->iFakes.iLog, (Log{"gps: stop", "obd: stop", "logger: stop"}));
  iCore->iFakes.iLog.clear();

  settings.iGpsType = MDeviceSettings::EGpsSerial;
  settings.iObdType = MDeviceSettings::EObdDisabled;
  settings.iLoggerType = MDeviceSettings::ELoggerDatavaneSerial;
  iCore->ChannelState().SetFixState(CChannelState::EFix);
  iCore->ConnectDevices(none, none, none);
  EXPECT_EQ(iCore->iFakes.iLog, (Log{"gps: reset clock", "gps: serial COM1 0 kind0", "logger: serial COM3 0 kind2"}));
  EXPECT_EQ(iCore->ChannelState().FixState(), CChannelState::ENoFix);  // cleared for the new recording
}

TEST_F(DeviceCoreTest, StatusLineFollowsItsOrderOfPrecedence) {
  TFakeModel& fakes = iCore->iFakes;
  CChannelState& state = iCore->ChannelState();
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsNotStarted);
  EXPECT_EQ(StatusLine(false), "");  // nothing started, nothing wrong
  EXPECT_EQ(StatusLine(true), "Storage low (3.2 MB left)");

  fakes.iSettings.iGpsType = MDeviceSettings::EGpsSerial;
  fakes.iSettings.iObdType = MDeviceSettings::EObdSerial;
  fakes.iSettings.iLoggerType = MDeviceSettings::ELoggerDatavaneSerial;
  iCore->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsNoConnection);
  EXPECT_EQ(StatusLine(true), "No connection to GPS");
  fakes.iGps.iStatus = 1;
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsNoFix);
  EXPECT_EQ(StatusLine(true), "No connection to OBD");
  fakes.iObd.iStatus = 1;
  EXPECT_EQ(StatusLine(true), "No connection to data logger");
  fakes.iLogger.iStatus = 1;
  TSatelliteInView view[7];
  state.SetSatellitesInView(view, 7);
  EXPECT_EQ(StatusLine(true), "No fix to satellites (7)");
  state.SetFixState(CChannelState::EFix);
  state.SetSatellitesUsed(8);
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsFixed);
  EXPECT_EQ(StatusLine(true), "Storage low (3.2 MB left)");
  EXPECT_EQ(StatusLine(false), "Fixed to 8 satellites");
  state.SetFixState(CChannelState::EDifferentialFix);
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsFixedDgps);
  EXPECT_EQ(StatusLine(false), "Fixed (DGPS) to 8 satellites");
  state.SetFixState(6);  // any other quality counts as a fix
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsFixed);
  fakes.iObd.iStatus = 2;  // a failed OBD engine is not "no connection"
  EXPECT_EQ(StatusLine(false), "Fixed to 8 satellites");
  fakes.iGps.iStatus = 2;
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsFailed);
  EXPECT_EQ(StatusLine(true), "Memory full");

  // A disabled OBD reader never shows as missing.
  iCore->StopAllDevices();
  fakes.iSettings.iObdType = MDeviceSettings::EObdDisabled;
  fakes.iGps.iStatus = 1;
  fakes.iLogger.iStatus = 1;
  iCore->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  fakes.iObd.iStatus = 0;
  state.SetSatellitesInView(view, 7);  // the new recording started from an empty state
  EXPECT_EQ(iCore->GpsClient().ObdStatus(), CGpsClient::ENotStarted);
  EXPECT_EQ(StatusLine(false), "No fix to satellites (7)");
}

TEST_F(DeviceCoreTest, RealConnectionsServeTheGpsObdAndLoggerInThatOrder) {
  iCore->iUseFakes = false;
  for (int32_t i = 1; i <= 3; ++i) ASSERT_NE(iCore->Connection(i), nullptr);
  EXPECT_EQ(iCore->Connection(0), nullptr);
  EXPECT_EQ(iCore->Connection(4), nullptr);
  iCore->iFakes.iSettings.iGpsType = MDeviceSettings::EGpsInternal;
  iCore->iFakes.iSettings.iLoggerType = MDeviceSettings::ELoggerAccelerometer;
  iCore->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  EXPECT_EQ(iCore->Connection(1)->Mode(), TConnectionMode::Platform);
  EXPECT_EQ(iCore->Connection(1)->DataKind(), TDataKind::Gps);
  EXPECT_EQ(iCore->Connection(3)->DataKind(), TDataKind::Accelerometer);
  iCore->StopAllDevices();
  EXPECT_EQ(iCore->Connection(1)->State(), TEngineState::Stopped);
  EXPECT_EQ(iCore->GpsState(), CCore::EGpsNotStarted);
}

// --- Live recording through the core ---------------------------------------------------------

class CLiveCore : public CCore {
 public:
  static CLiveCore* NewL(MActiveSchedulerObserver* aScheduler) {
    CLiveCore* self = new CLiveCore();
    self->ConstructL(aScheduler);
    return self;
  }
  void UpdateViews(int32_t aCode) override {
    iUpdates.push_back(aCode);
    if (iOnUpdate) iOnUpdate();
  }
  std::vector<int32_t> iUpdates;
  std::function<void()> iOnUpdate;
};

TEST(LiveCoreTest, RecordsAReceiverOnAPortAndShowsTheConnectionInTheStatusLine) {
  pwtest::TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(85);
  PwHeadlessLoopHost host;
  CPwScheduler scheduler(host);
  CLiveCore* core = CLiveCore::NewL(&scheduler);
  pwtest::TNmeaRecorder recorder;
  core->SetParsedDataObserver(&recorder);
  core->DefaultDeviceSettings().iGpsType = MDeviceSettings::EGpsSerial;
  core->DefaultDeviceSettings().iGpsPort = 85;
  core->DefaultDeviceSettings().iGpsBaud = 96;

  // Runs the loop until aDone holds on the loop's thread.
  auto runUntil = [&](const std::function<bool()>& aDone) {
    PwEvent stop;
    bool met = false;
    std::atomic<bool> finished{false};
    std::thread ticker([&] {
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!finished && std::chrono::steady_clock::now() < end) {
        host.Post([&] {
          if (!met && aDone()) {
            met = true;
            stop.Set();
          }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      stop.Set();
    });
    scheduler.RunLoop(stop);
    finished = true;
    ticker.join();
    int32_t quit = 0;
    while (host.DispatchMessage(quit) == MLoopHost::EDispatched) {
    }
    return met;
  };
  auto statusLine = [&] {
    CPwString text;
    core->DeviceStatusLine(text, false, CPwStringC());
    return Utf8(text);
  };

  core->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  // The line shows the reader's own state, and the reader may already have opened the port
  // (it only moves on towards Connected): still short of it afterwards means short of it
  // while the line was made.
  const std::string early = statusLine();
  if (core->Connection(1)->State() != TEngineState::Connected) {
    EXPECT_EQ(early, "No connection to GPS");
  } else {
    EXPECT_TRUE(early == "No connection to GPS" || early == "No fix to satellites (0)") << early;
  }
  ASSERT_TRUE(runUntil([&] { return core->GpsState() == CCore::EGpsNoFix; }));
  EXPECT_EQ(core->Connection(1)->BaudRate(), 9600);
  ASSERT_TRUE(device.Send(pwtest::Epoch(1) + pwtest::Epoch(2)));
  ASSERT_TRUE(runUntil([&] { return recorder.iEpochs.size() == 2; }));
  EXPECT_EQ(core->GpsState(), CCore::EGpsFixed);
  EXPECT_EQ(statusLine(), "Fixed to 8 satellites");
  EXPECT_EQ(core->iUpdates.back(), CDataParser::EParsed);
  EXPECT_TRUE(core->GpsClock().IsSynchronised());

  // The cable is pulled: the engine looks for the device again and the status line says so.
  device.CloseSlave();
  device.CloseMaster();
  // Until the application thread has been told, not merely until the reader has noticed.
  ASSERT_TRUE(runUntil([&] {
    return core->Connection(1)->State() == TEngineState::Connecting &&
           core->Connection(1)->LastReportedState() == TEngineState::Connecting && !core->Connection(1)->IsActive();
  }));
  EXPECT_EQ(core->GpsClient().GpsStatus(), CGpsClient::ENotConnected);
  EXPECT_EQ(statusLine(), "No connection to GPS");
  core->PauseDevices();
  EXPECT_EQ(core->GpsState(), CCore::EGpsNotStarted);
  delete core;
}

}  // namespace
