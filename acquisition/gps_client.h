// The one place that knows which device is connected how: reads the device settings, starts
// the GPS, OBD-II and data-logger engines in the right mode, stops them, reports their
// connection status, and passes every batch and state change of the engines to the model.
#pragma once

#include <cstdint>

#include "acquisition/data_engine.h"
#include "foundation/pw_base.h"
#include "foundation/pw_bt_addr.h"
#include "foundation/pw_string.h"

// The device settings the client reads at every start (kept by the settings store). Baud rates
// are in hundreds of baud, 0 meaning the port's own rate.
class MDeviceSettings {
 public:
  // EGpsGpsd: the receiver a gpsd daemon serves, reached over TCP.
  enum TGpsType : int32_t { EGpsBluetooth = 0, EGpsInternal = 1, EGpsInputFile = 2, EGpsSerial = 3, EGpsGpsd = 4 };
  enum TObdType : int32_t { EObdDisabled = 0, EObdBluetooth = 1, EObdSerial = 2 };
  enum TLoggerType : int32_t {
    ELoggerDisabled = 0,
    ELoggerAccelerometer = 1,
    ELoggerDatavaneBluetooth = 2,
    ELoggerDatavaneSerial = 3,
  };

  virtual int32_t GpsType() const = 0;
  virtual int32_t GpsPort() const = 0;
  virtual int32_t GpsBaudRate() const = 0;
  virtual CPwStringC InputFile() const = 0;
  // Where the gpsd daemon listens (EGpsGpsd only).
  virtual CPwStringC GpsdHost() const { return u"localhost"; }
  virtual int32_t GpsdPort() const { return 2947; }
  // The fix rate a u-blox receiver is set to (Hz, 0: its own) and the baud rate / 100 the
  // baud-rate search found last (0: none).
  virtual int32_t GpsReceiverRate() const { return 0; }
  virtual int32_t GpsFoundBaudRate() const { return 0; }
  virtual int32_t ObdType() const = 0;
  virtual int32_t ObdPort() const = 0;
  virtual int32_t ObdBaudRate() const = 0;
  virtual int32_t LoggerType() const = 0;
  virtual int32_t LoggerPort() const = 0;
  virtual int32_t LoggerBaudRate() const = 0;

 protected:
  ~MDeviceSettings() = default;
};

// Device settings held as plain values (command line, tests).
class TDeviceSettings final : public MDeviceSettings {
 public:
  int32_t GpsType() const override { return iGpsType; }
  int32_t GpsPort() const override { return iGpsPort; }
  int32_t GpsBaudRate() const override { return iGpsBaud; }
  CPwStringC InputFile() const override { return iInputFile; }
  CPwStringC GpsdHost() const override {
    return iGpsdHost.IsEmpty() ? MDeviceSettings::GpsdHost() : CPwStringC(iGpsdHost);
  }
  int32_t GpsdPort() const override { return iGpsdPort; }
  int32_t GpsReceiverRate() const override { return iGpsReceiverRate; }
  int32_t GpsFoundBaudRate() const override { return iGpsFoundBaud; }
  int32_t ObdType() const override { return iObdType; }
  int32_t ObdPort() const override { return iObdPort; }
  int32_t ObdBaudRate() const override { return iObdBaud; }
  int32_t LoggerType() const override { return iLoggerType; }
  int32_t LoggerPort() const override { return iLoggerPort; }
  int32_t LoggerBaudRate() const override { return iLoggerBaud; }

  int32_t iGpsType = EGpsSerial;
  int32_t iGpsPort = 1;
  int32_t iGpsBaud = 0;
  CPwString iInputFile;
  CPwString iGpsdHost;  // empty: localhost
  int32_t iGpsdPort = 2947;
  int32_t iGpsReceiverRate = 0;
  int32_t iGpsFoundBaud = 0;
  int32_t iObdType = EObdDisabled;
  int32_t iObdPort = 2;
  int32_t iObdBaud = 0;
  int32_t iLoggerType = ELoggerDisabled;
  int32_t iLoggerPort = 3;
  int32_t iLoggerBaud = 0;
};

// What the client needs of the model: the settings, the three engines and the model's data and
// status entries.
class MDeviceModel {
 public:
  enum : int32_t { EGpsConnection = 1, EObdConnection = 2, ELoggerConnection = 3 };

  // Connection 1 serves the GPS receiver, 2 the OBD-II reader, 3 the data logger; null when
  // the model has none.
  virtual MDataEngineBase* DeviceConnection(int32_t aIndex) = 0;
  virtual const MDeviceSettings& DeviceSettings() const = 0;
  // A batch of bytes of one connection kind.
  virtual void DeviceDataReceived(TDataKind aKind, CPwByteArrayC aBytes) = 0;
  // A connection of one kind changed state.
  virtual void DeviceStatusChanged(TDataKind aKind) = 0;
  // The baud-rate search of a GPS receiver left at "Default" found it at aBaud: the model
  // remembers it for the next connection.
  virtual void GpsBaudRateFound(int32_t aBaud) { (void)aBaud; }

 protected:
  ~MDeviceModel() = default;
};

class CGpsClient : public CPwBase, public MDataObserver {
 public:
  // Connection status of a device.
  enum TStatus : int32_t { ENotStarted = 0, ENotConnected = 1, EConnected = 2, EFailed = 3 };

  // aModel is not owned and outlives the client.
  static CGpsClient* NewL(MDeviceModel& aModel);
  ~CGpsClient() override = default;

  // The Bluetooth address and channel are used by the Bluetooth device types only.
  void StartGps(const TPwBtAddr& aAddress, int32_t aChannel);
  void StartObd(const TPwBtAddr& aAddress, int32_t aChannel);
  void StartLogger(const TPwBtAddr& aAddress, int32_t aChannel);
  // Stops every engine (GPS, OBD, logger) and forgets what was started.
  void StopAll();

  // Whether a device may be offered for connection (it is not running).
  bool GpsIdle() const { return !iGpsStarted; }
  bool CanStartObd() const;
  bool CanStartLogger() const;

  int32_t GpsStatus() const;
  int32_t ObdStatus() const;
  int32_t LoggerStatus() const;

  void ClearObdChannels();
  void AddObdChannel(int32_t aPid, int32_t aPriority);

  // --- MDataObserver
  void DataReceived(CPwByteArrayC aBytes, TDataKind aKind) override;
  void StatusChanged(TDataKind aKind) override;

  bool GpsStarted() const { return iGpsStarted; }
  bool ObdStarted() const { return iObdStarted; }
  bool LoggerStarted() const { return iLoggerStarted; }
  bool Replaying() const { return iReplaying; }

 private:
  explicit CGpsClient(MDeviceModel& aModel) : iModel(&aModel) {}
  static int32_t StatusOf(const MDataEngineBase& aEngine);

  MDeviceModel* iModel = nullptr;
  int32_t iToldBaud = 0;  // the found baud rate last passed on
  bool iGpsStarted = false;
  bool iObdStarted = false;
  bool iLoggerStarted = false;
  bool iReplaying = false;
};
