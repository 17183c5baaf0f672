// Device connections. A data engine owns one reader thread that opens a serial port (or replays
// an NMEA file), runs the device's protocol handler next to the port and collects the bytes the
// application must see in a receive buffer. The first bytes of a batch complete the engine's
// request; the scheduler then runs Run on the application thread, which hands the batch and any
// change of connection state to the observer.
//
// The engine does not interpret GPS data: NMEA text reaches the observer unchanged; only
// u-blox binary frames between the sentences are taken out, and with the baud rate left at
// "Default" text is held back until a sentence shows the rate is right (see
// gps_receiver_control.h). For the
// OBD-II reader and the data logger the protocol handler on the reader thread turns the device's
// answers into NMEA-style sentences, and only those reach the observer.
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/active.h"
#include "foundation/pw_base.h"
#include "foundation/pw_bt_addr.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "platform/event.h"
#include "platform/socket.h"
#include "platform/thread.h"

class CNmeaParser;
class PwSerialPort;
class TGpsClock;
class TGpsReceiverControl;

// The kind of a device connection and of every batch of its bytes.
enum class TDataKind : int32_t { Gps = 0, Obd = 1, DataLogger = 2, Accelerometer = 3 };

// Connection state of an engine, written by the reader thread (and the start and failure paths)
// and read on the application thread.
enum class TEngineState : int32_t {
  Stopped = 0,     // no reader, or the reader has ended
  Connecting = 1,  // the reader is opening (or reopening) the port or file
  Connected = 2,   // the port or file is open and being read
  Starting = 3,    // a start has launched the reader, which has not reported yet
  Failed = 4,      // stopped because the application side ran out of memory
};

// Gpsd: the NMEA a gpsd daemon relays from its receiver, over TCP.
enum class TConnectionMode : int32_t { Bluetooth = 0, Platform = 1, SerialPort = 2, InputFile = 3, Gpsd = 4 };

// Receives every batch and every state change of the engines; one observer may serve all of
// them, told apart by the kind. Application thread only.
class MDataObserver {
 public:
  // The bytes are valid during the call only.
  virtual void DataReceived(CPwByteArrayC aBytes, TDataKind aKind) = 0;
  // The engine's state changed; its Status says to what.
  virtual void StatusChanged(TDataKind aKind) = 0;

 protected:
  ~MDataObserver() = default;
};

// What a GPS reader found out about its receiver: the last note (see TGpsReceiverControl's
// notes) with its value, a count that grows with every note, the baud rate sentences came at
// (0: not known) and the one to look at first next time (0: nothing to remember).
struct TGpsReceiverReport {
  int32_t iNote = 0;
  int32_t iNoteValue = 0;
  uint32_t iNoteCount = 0;
  int32_t iWorkingBaud = 0;
  int32_t iRememberBaud = 0;
};

// How the GPS client drives an engine. Application thread only.
class MDataEngineBase {
 public:
  virtual void StartBluetooth(MDataObserver* aObserver, const TPwBtAddr& aAddress, int32_t aChannel,
                              int32_t aBaudRate, TDataKind aKind) = 0;
  // aPort 1 to 99 (see acquisition/port_map.h for the device it means); aBaudRate in baud, 0
  // keeps the port's current rate.
  virtual void StartSerial(MDataObserver* aObserver, int32_t aPort, int32_t aBaudRate, TDataKind aKind) = 0;
  virtual void StartFile(MDataObserver* aObserver, CPwStringC aPath, TDataKind aKind) = 0;
  virtual void StartPlatform(MDataObserver* aObserver, TDataKind aKind) = 0;
  // aHost a name or dotted IPv4 address, aPort the daemon's TCP port. An engine that cannot
  // reach a network ignores it.
  virtual void StartGpsd(MDataObserver* aObserver, CPwStringC aHost, int32_t aPort, TDataKind aKind) {
    (void)aObserver;
    (void)aHost;
    (void)aPort;
    (void)aKind;
  }
  // For the next StartSerial of a GPS engine: the fix rate a u-blox receiver is set to (0:
  // the receiver's own) and the baud rate that worked last time (0: none).
  virtual void SetGpsReceiverSetup(int32_t aRateHz, int32_t aKnownBaud) {
    (void)aRateHz;
    (void)aKnownBaud;
  }
  virtual TGpsReceiverReport GpsReceiverReport() const { return {}; }
  // Ends the reader; waits up to 15 s for it.
  virtual void Stop() = 0;
  // Resets the shared GPS clock (before every GPS start).
  virtual void ResetClock() = 0;
  // 2 failed, 1 connected, 0 otherwise.
  virtual int32_t Status() const = 0;
  // Forwarded to the OBD handler (OBD engines only, while a reader runs).
  virtual void ClearObdChannels() = 0;
  // aPriority 2: high-priority list, 1: low-priority list, 0: ignored.
  virtual void AddObdChannel(int32_t aPid, int32_t aPriority) = 0;

 protected:
  ~MDataEngineBase() = default;
};

// A device dialogue run on the reader thread, always under the engine lock: the OBD-II reader
// (CObdParser) and the data logger (CDatavaneParser) derive from it. The engine creates the
// handler when its reader starts, resets it after the port was reopened and deletes it when the
// reader ends.
class CProtocolHandler : public CPwBase {
 public:
  ~CProtocolHandler() override = default;
  // Takes the next bytes read from the port.
  virtual void AddInput(CPwByteArrayC aBytes) = 0;
  // Handles what AddInput collected: finished sentences are appended to aReceived (what the
  // application thread will see), commands for the device to aCommands. Also called once right
  // after the port was opened (OBD only), so that the first command goes out at once.
  virtual void Process(CPwByteArray& aCommands, CPwByteArray& aReceived) = 0;
  // Back to the initial state, as after creation (the port was reopened).
  virtual void Reset() = 0;
  // OBD polling lists; the default ignores them.
  virtual void ClearObdChannels() {}
  virtual void AddObdChannel(int32_t aPid, int32_t aPriority) {
    (void)aPid;
    (void)aPriority;
  }
  // How long the reader may wait for input before calling Process again without any, in ms
  // (-1: no limit). A handler that holds a command back for a pause, or gives up waiting for an
  // answer, asks here to be called when that time has come, so that it never has to sleep with
  // the engine lock held.
  virtual int32_t ProcessTimeoutMs() const { return -1; }
};

// Creates the handler for a kind (called for Obd and DataLogger on the reader thread, under the
// engine lock). aClock is the shared GPS clock the handler stamps its sentences with; it outlives
// the handler. Returns null when the kind has no handler; may leave.
using TProtocolHandlerFactory = CProtocolHandler* (*)(TDataKind aKind, TGpsClock& aClock);

// Waits of the input-file reader, in ms: before opening, before the first read, before every
// later read. Replays run at the default; tests shorten them.
struct TFileReplayPacing {
  int32_t iOpenWaitMs = 3000;
  int32_t iFirstReadWaitMs = 1000;
  int32_t iReadWaitMs = 15;
};

class CDataEngine : public CActive, public MDataEngineBase {
 public:
  // The receive buffer holds at most this many undelivered bytes.
  static constexpr int32_t KReceiveLimit = 102400;
  static constexpr int32_t KSerialReadBytes = 2048;
  static constexpr int32_t KFileReadBytes = 256;
  // How long the file reader waits for room when the receive buffer is full.
  static constexpr int32_t KFileBackoffMs = 5;
  static constexpr int32_t KMaxPathLength = 260;
  static constexpr int32_t KStopWaitMs = 15000;
  // How often a serial device (or a gpsd daemon) that went away is looked for again.
  static constexpr int32_t KReconnectIntervalMs = 1000;
  static constexpr int32_t KMaxHostLength = 256;
  // How long one connection attempt to a gpsd daemon may take, and how long the daemon may take
  // to greet a new client.
  static constexpr int32_t KGpsdConnectMs = 3000;

  // aClock is the program's shared GPS clock (not owned, outlives the engine). Leaves -2.
  static CDataEngine* NewL(MActiveSchedulerObserver* aScheduler, TGpsClock& aClock);
  ~CDataEngine() override;

  // --- CActive
  int32_t HandleRunFailure(int32_t aCode) override;
  void Run() override;

  // --- MDataEngineBase
  void StartBluetooth(MDataObserver* aObserver, const TPwBtAddr& aAddress, int32_t aChannel, int32_t aBaudRate,
                      TDataKind aKind) override;
  void StartSerial(MDataObserver* aObserver, int32_t aPort, int32_t aBaudRate, TDataKind aKind) override;
  void StartFile(MDataObserver* aObserver, CPwStringC aPath, TDataKind aKind) override;
  void StartPlatform(MDataObserver* aObserver, TDataKind aKind) override;
  void StartGpsd(MDataObserver* aObserver, CPwStringC aHost, int32_t aPort, TDataKind aKind) override;
  void SetGpsReceiverSetup(int32_t aRateHz, int32_t aKnownBaud) override;
  TGpsReceiverReport GpsReceiverReport() const override;
  void Stop() override;
  void ResetClock() override;
  int32_t Status() const override;
  void ClearObdChannels() override;
  void AddObdChannel(int32_t aPid, int32_t aPriority) override;

  // Creates the OBD and logger handlers; null (the default) gives those kinds no handler, so
  // their bytes pass unchanged.
  void SetProtocolHandlerFactory(TProtocolHandlerFactory aFactory) { iHandlerFactory = aFactory; }
  // Takes effect at the next StartFile.
  void SetFileReplayPacing(const TFileReplayPacing& aPacing) { iPacing = aPacing; }

  TEngineState State() const { return static_cast<TEngineState>(iState.load(std::memory_order_acquire)); }
  TEngineState LastReportedState() const { return iLastReported; }
  TConnectionMode Mode() const { return iMode; }
  TDataKind DataKind() const { return iKind; }
  int32_t PortNumber() const { return iPort; }
  int32_t BaudRate() const { return iBaudRate; }
  CPwStringC InputPath() const { return CPwStringC(iPath, iPathLength); }
  const char* GpsdHost() const { return iHost; }
  int32_t GpsdPort() const { return iGpsdPort; }
  const TPwBtAddr& BtAddress() const { return iBtAddress; }
  int32_t BtChannel() const { return iBtChannel; }
  // Connections the observer has been told of since the start (a reconnection that happened
  // wholly between two runs still counts).
  uint32_t ReportedConnectCount() const { return iReportedConnectCount; }
  // Bytes of the last batch (valid during the observer call).
  CPwByteArrayC DeliveryBuffer() const { return *iDelivery; }
  // Bytes the serial reader dropped because the application thread fell more than
  // KReceiveLimit bytes behind (cumulative, for diagnostics).
  int64_t DroppedBytes() const { return iDropped.load(std::memory_order_relaxed); }

 private:
  CDataEngine(MActiveSchedulerObserver* aScheduler, TGpsClock& aClock);
  void ConstructL();

  // The common part of the four starts: store the observer and kind, reset the stop signals,
  // state Starting, launch the reader thread (leaves -9).
  bool PrepareStart(MDataObserver* aObserver, TDataKind aKind);
  void LaunchL();

  void ReaderMain();
  void SerialReader();
  // Opens the device that went away as soon as it is back, trying every second; false when
  // the engine was stopped first.
  bool Reconnect(const char* aDevice, const char* aStableName);
  void FileReader();
  void GpsdReader();
  // Connects aSocket to the daemon, asks it to relay its NMEA and waits for its greeting, whose
  // aGreeting bytes are left in iReadBuffer; false when any of that failed.
  bool OpenGpsd(PwSocket& aSocket, int32_t& aGreeting);
  // The first bytes the daemon sends (in iReadBuffer): their count, or 0 when the connection
  // ended or stayed silent for KGpsdConnectMs.
  int32_t ReceiveGreeting(PwSocket& aSocket);
  // Connects again every second until it works; false when the engine was stopped first.
  bool ReconnectGpsd(PwSocket& aSocket, int32_t& aGreeting);
  // Sets the state and completes the request.
  void Report(TEngineState aState);
  // Creates, resets and deletes the handler of the kind; under the lock.
  bool CreateHandlerLocked();
  void ResetHandlerLocked();
  void DeleteHandlerLocked();
  // Hands a chunk read from the port to the handler of the kind; under the lock.
  void HandleChunkLocked(CPwByteArrayC aBytes);
  // Makes what the GPS control found out readable on the application thread.
  void PublishGpsReport();

  TGpsClock* iClock = nullptr;
  PwLock iLock;
  CPwByteArray* iCommands = nullptr;
  CPwByteArray* iReceived = nullptr;
  CPwByteArray* iDelivery = nullptr;
  MDataObserver* iObserver = nullptr;

  TPwBtAddr iBtAddress;
  int32_t iBtChannel = 0;
  int32_t iPort = 0;
  int32_t iBaudRate = 0;
  char16_t iPath[KMaxPathLength] = {};
  int32_t iPathLength = 0;
  char iHost[KMaxHostLength] = {};  // UTF-8, zero-terminated
  int32_t iGpsdPort = 0;

  std::atomic<int32_t> iState{static_cast<int32_t>(TEngineState::Stopped)};
  TEngineState iLastReported = TEngineState::Stopped;
  // Counts the reader's Connected reports, so that a reconnect that happened wholly between two
  // runs is still announced (the observer resets its parser on it).
  std::atomic<uint32_t> iConnectCount{0};
  uint32_t iReportedConnectCount = 0;
  TConnectionMode iMode = TConnectionMode::SerialPort;
  TDataKind iKind = TDataKind::Gps;
  std::atomic<int32_t> iStopFlag{0};
  PwEvent iStopEvent;
  PwCancelEvent iSocketCancel;  // ends the gpsd reader's socket waits on Stop
  PwThread iThread;
  PwSerialPort* iSerial = nullptr;  // owned; opened and closed by the reader

  CNmeaParser* iNmea = nullptr;          // Gps handler
  CProtocolHandler* iHandler = nullptr;  // Obd and DataLogger handler
  TProtocolHandlerFactory iHandlerFactory = nullptr;
  TFileReplayPacing iPacing;
  TFileReplayPacing iReaderPacing;  // the reader's copy, taken at start
  std::atomic<int64_t> iDropped{0};
  uint8_t* iReadBuffer = nullptr;  // KSerialReadBytes, reader thread only

  // The GPS receiver's line: UBX frames, baud-rate search, u-blox set-up (reader thread).
  TGpsReceiverControl* iGpsControl = nullptr;  // owned
  CPwByteArray* iGpsText = nullptr;            // the text of one chunk
  int32_t iGpsRateHz = 0;
  int32_t iGpsKnownBaud = 0;
  std::atomic<int32_t> iReportNote{0};
  std::atomic<int32_t> iReportValue{0};
  std::atomic<int32_t> iReportBaud{0};
  std::atomic<int32_t> iReportRemember{0};
  std::atomic<uint32_t> iReportCount{0};
};
