#include "acquisition/data_engine.h"

#include <algorithm>
#include <chrono>

#include "acquisition/channel_state.h"
#include "acquisition/gps_receiver_control.h"
#include "acquisition/gpsd_stream.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/port_map.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/serial_port.h"

namespace {

// Consecutive failed reads on a port that keeps reporting input before it counts as lost;
// without this a device stuck in an error state would spin the reader.
constexpr int32_t KMaxReadErrors = 64;
// How often a line that carries DSR is looked at while the device is silent.
constexpr int32_t KDsrCheckMs = 1000;
// Longest stable device name (see PwSerialPort::StableName).
constexpr size_t KMaxDeviceName = 512;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

CDataEngine* CDataEngine::NewL(MActiveSchedulerObserver* aScheduler, TGpsClock& aClock) {
  return PwConstructL(new CDataEngine(aScheduler, aClock), [](CDataEngine* aSelf) { aSelf->ConstructL(); });
}

CDataEngine::CDataEngine(MActiveSchedulerObserver* aScheduler, TGpsClock& aClock)
    : CActive(aScheduler), iClock(&aClock) {}

void CDataEngine::ConstructL() {
  iSerial = new (AllocL(sizeof(PwSerialPort))) PwSerialPort();
  iCommands = CPwByteArray::NewL();
  iReceived = CPwByteArray::NewL();
  iDelivery = CPwByteArray::NewL();
  iReadBuffer = static_cast<uint8_t*>(AllocL(KSerialReadBytes));
  iGpsControl = new (AllocL(sizeof(TGpsReceiverControl))) TGpsReceiverControl();
  iGpsText = CPwByteArray::NewL();
}

CDataEngine::~CDataEngine() {
  Stop();
  delete iCommands;
  delete iReceived;
  delete iDelivery;
  delete iNmea;
  delete iHandler;
  if (iSerial) {
    iSerial->~PwSerialPort();
    FreeMem(iSerial);
  }
  FreeMem(iReadBuffer);
  if (iGpsControl) {
    iGpsControl->~TGpsReceiverControl();
    FreeMem(iGpsControl);
  }
  delete iGpsText;
}

// --- Starting and stopping -----------------------------------------------------------------

bool CDataEngine::PrepareStart(MDataObserver* aObserver, TDataKind aKind) {
  if (State() == TEngineState::Connected) return false;
  // One reader at a time: a reader that ended on its own (a port that could not be opened) is
  // joined here, and one still running is ended first.
  if (iThread.IsAttached()) Stop();
  iObserver = aObserver;
  iStopEvent.Reset();
  (void)iSocketCancel.TryConsume();
  iSerial->ClearInterrupt();
  iKind = aKind;
  {
    // Bytes of an earlier connection that were never delivered do not belong to this one.
    PwLockGuard guard(iLock);
    iReceived->SetLength(0);
    iCommands->SetLength(0);
  }
  return true;
}

void CDataEngine::LaunchL() {
  iState.store(static_cast<int32_t>(TEngineState::Starting), std::memory_order_release);
  iStopFlag.store(0, std::memory_order_release);
  iReaderPacing = iPacing;
  if (!iThread.Start([this] { ReaderMain(); })) {
    iState.store(static_cast<int32_t>(TEngineState::Stopped), std::memory_order_release);
    Leave(KErrThread);
  }
}

void CDataEngine::StartBluetooth(MDataObserver* aObserver, const TPwBtAddr& aAddress, int32_t aChannel,
                                 int32_t aBaudRate, TDataKind aKind) {
  if (!PrepareStart(aObserver, aKind)) return;
  iBtAddress = aAddress;
  iBtChannel = aChannel;
  iBaudRate = aBaudRate;
  iMode = TConnectionMode::Bluetooth;
  LaunchL();
}

void CDataEngine::StartSerial(MDataObserver* aObserver, int32_t aPort, int32_t aBaudRate, TDataKind aKind) {
  if (!PrepareStart(aObserver, aKind)) return;
  iPort = aPort;
  iBaudRate = aBaudRate;
  iMode = TConnectionMode::SerialPort;
  iGpsControl->SetUp(iKind == TDataKind::Gps ? iGpsRateHz : 0, iGpsKnownBaud);
  LaunchL();
}

void CDataEngine::SetGpsReceiverSetup(int32_t aRateHz, int32_t aKnownBaud) {
  iGpsRateHz = aRateHz;
  iGpsKnownBaud = aKnownBaud;
}

TGpsReceiverReport CDataEngine::GpsReceiverReport() const {
  TGpsReceiverReport report;
  report.iNoteCount = iReportCount.load(std::memory_order_acquire);
  report.iNote = iReportNote.load(std::memory_order_relaxed);
  report.iNoteValue = iReportValue.load(std::memory_order_relaxed);
  report.iWorkingBaud = iReportBaud.load(std::memory_order_relaxed);
  report.iRememberBaud = iReportRemember.load(std::memory_order_relaxed);
  return report;
}

void CDataEngine::PublishGpsReport() {
  iReportNote.store(iGpsControl->Note(), std::memory_order_relaxed);
  iReportValue.store(iGpsControl->NoteValue(), std::memory_order_relaxed);
  iReportBaud.store(iGpsControl->WorkingBaud(), std::memory_order_relaxed);
  iReportRemember.store(iGpsControl->RememberBaud(), std::memory_order_relaxed);
  iReportCount.store(iGpsControl->NoteCount(), std::memory_order_release);
}

void CDataEngine::StartFile(MDataObserver* aObserver, CPwStringC aPath, TDataKind aKind) {
  if (!PrepareStart(aObserver, aKind)) return;
  iPathLength = std::min(aPath.Length(), KMaxPathLength - 1);
  std::copy_n(aPath.Ptr(), iPathLength, iPath);
  iPath[iPathLength] = 0;
  iMode = TConnectionMode::InputFile;
  LaunchL();
}

void CDataEngine::StartPlatform(MDataObserver* aObserver, TDataKind aKind) {
  if (!PrepareStart(aObserver, aKind)) return;
  iMode = TConnectionMode::Platform;
  LaunchL();
}

void CDataEngine::StartGpsd(MDataObserver* aObserver, CPwStringC aHost, int32_t aPort, TDataKind aKind) {
  if (!PrepareStart(aObserver, aKind)) return;
  CPwByteArray host;
  host.AppendUtf8(aHost);
  const int32_t length = std::min(host.Length(), KMaxHostLength - 1);
  std::copy_n(host.Ptr(), length, reinterpret_cast<uint8_t*>(iHost));
  iHost[length] = 0;
  iGpsdPort = aPort;
  iMode = TConnectionMode::Gpsd;
  LaunchL();
}

void CDataEngine::Stop() {
  if (!iThread.IsAttached()) return;
  iStopFlag.store(1, std::memory_order_release);
  iStopEvent.Set();
  iSocketCancel.Set();
  // The reader closes the port itself once its wait returns: closing a descriptor another
  // thread is polling would let a new descriptor reuse the number under it.
  iSerial->Interrupt();
  iThread.Join(KStopWaitMs);
}

void CDataEngine::ResetClock() {
  PwLockGuard guard(iLock);
  iClock->Reset();
}

int32_t CDataEngine::Status() const {
  switch (State()) {
    case TEngineState::Failed:
      return 2;
    case TEngineState::Connected:
      return 1;
    default:
      return 0;
  }
}

void CDataEngine::ClearObdChannels() {
  if (iKind != TDataKind::Obd) return;
  PwLockGuard guard(iLock);
  if (iHandler) iHandler->ClearObdChannels();
}

void CDataEngine::AddObdChannel(int32_t aPid, int32_t aPriority) {
  if (iKind != TDataKind::Obd || aPriority == 0) return;
  PwLockGuard guard(iLock);
  if (iHandler) iHandler->AddObdChannel(aPid, aPriority);
}

// --- Application thread --------------------------------------------------------------------

void CDataEngine::Run() {
  if (State() == TEngineState::Failed) return;
  {
    PwLockGuard guard(iLock);
    iDelivery->Copy(*iReceived);
    iReceived->SetLength(0);
  }
  // Read after taking the batch, so the state announced is never older than the bytes.
  const TEngineState state = State();
  const uint32_t connectCount = iConnectCount.load(std::memory_order_acquire);
  const bool reconnected = connectCount != iReportedConnectCount;
  iReportedConnectCount = connectCount;
  if ((state != iLastReported || reconnected) && state == TEngineState::Connected) {
    iLastReported = TEngineState::Connected;
    if (iObserver) {
      iObserver->StatusChanged(iKind);
      if (!iDelivery->IsEmpty()) iObserver->DataReceived(*iDelivery, iKind);
    }
    return;
  }
  if (iObserver) {
    if (!iDelivery->IsEmpty()) iObserver->DataReceived(*iDelivery, iKind);
    if (state != iLastReported) {
      iLastReported = state;
      iObserver->StatusChanged(iKind);
    }
  }
  iLastReported = state;
}

int32_t CDataEngine::HandleRunFailure(int32_t aCode) {
  if (aCode != KErrNoMemory) return aCode;
  Stop();
  iState.store(static_cast<int32_t>(TEngineState::Failed), std::memory_order_release);
  if (iObserver) (void)Trap([this] { iObserver->StatusChanged(iKind); });
  return KErrNone;
}

// --- Reader thread -------------------------------------------------------------------------

void CDataEngine::Report(TEngineState aState) {
  if (aState == TEngineState::Connected) iConnectCount.fetch_add(1, std::memory_order_release);
  iState.store(static_cast<int32_t>(aState), std::memory_order_release);
  SignalRequest();
}

void CDataEngine::ReaderMain() {
  const int32_t code = Trap([this] {
    switch (iMode) {
      case TConnectionMode::SerialPort:
        SerialReader();
        break;
      case TConnectionMode::InputFile:
        FileReader();
        break;
      case TConnectionMode::Gpsd:
        GpsdReader();
        break;
      case TConnectionMode::Platform:
      case TConnectionMode::Bluetooth:
        // Neither the platform's own devices nor Bluetooth sockets are available here (paired
        // Bluetooth serial devices are reached as serial ports); the engine must not stay in
        // Starting with no reader behind it.
        Report(TEngineState::Stopped);
        break;
    }
  });
  if (code != KErrNone) {
    // Out of memory on the reader side: end cleanly so the engine shows as not connected.
    iSerial->Close();
    {
      PwLockGuard guard(iLock);
      DeleteHandlerLocked();
    }
    Report(TEngineState::Stopped);
  }
}

bool CDataEngine::CreateHandlerLocked() {
  DeleteHandlerLocked();
  switch (iKind) {
    case TDataKind::Gps:
      iNmea = CNmeaParser::NewL(1);
      return true;
    case TDataKind::Obd:
    case TDataKind::DataLogger:
      if (iHandlerFactory) iHandler = iHandlerFactory(iKind, *iClock);
      return true;
    default:
      return true;
  }
}

void CDataEngine::ResetHandlerLocked() {
  if (iNmea) iNmea->Reset();
  if (iHandler) iHandler->Reset();
}

void CDataEngine::DeleteHandlerLocked() {
  delete iNmea;
  iNmea = nullptr;
  delete iHandler;
  iHandler = nullptr;
}

void CDataEngine::HandleChunkLocked(CPwByteArrayC aBytes) {
  if (iReceived->Length() + aBytes.Length() > KReceiveLimit) {
    // The application thread has fallen behind: the oldest undelivered bytes go.
    iDropped.fetch_add(iReceived->Length(), std::memory_order_relaxed);
    iReceived->SetLength(0);
  }
  if (iReceived->IsEmpty()) SignalRequest();
  switch (iKind) {
    case TDataKind::Gps:
      // u-blox binary answers are taken out here: the application sees the text only.
      iGpsText->SetLength(0);
      iGpsControl->Input(aBytes.Ptr(), aBytes.Length(), NowMs(), *iGpsText, *iCommands);
      PublishGpsReport();
      iNmea->Parse(*iGpsText, nullptr, nullptr, nullptr, nullptr, iClock);
      iReceived->Append(*iGpsText);
      iNmea->WriteCommands(*iCommands);
      break;
    case TDataKind::Obd:
    case TDataKind::DataLogger:
      if (iHandler) {
        iHandler->AddInput(aBytes);
        iHandler->Process(*iCommands, *iReceived);
      } else {
        iReceived->Append(aBytes);
      }
      break;
    default:
      iReceived->Append(aBytes);
      break;
  }
}

void CDataEngine::SerialReader() {
  {
    PwLockGuard guard(iLock);
    CreateHandlerLocked();
  }
  CPwByteArray path;
  const bool mapped = pwports::DevicePath(iPort, path);
  path.AppendByte(0);
  const char* device = reinterpret_cast<const char*>(path.Ptr());

  Report(TEngineState::Connecting);
  bool open = mapped && iSerial->Open(device);
  // The name under which the device is looked for again when it goes away.
  char stable[KMaxDeviceName] = {};
  if (open) (void)PwSerialPort::StableName(device, stable, sizeof stable);
  while (open && iStopFlag.load(std::memory_order_acquire) == 0) {
    (void)iSerial->Configure(iBaudRate);  // a port that refuses settings is read as it is
    bool linkLost = false;
    if (iStopFlag.load(std::memory_order_acquire) != 0) break;
    {
      PwLockGuard guard(iLock);
      iReceived->Reserve(KReceiveLimit);
      // Undelivered bytes of the connection before a reopen stay: they were read and belong
      // to the recording. Commands of the old dialogue do not.
      iCommands->SetLength(0);
      if (iKind == TDataKind::Gps) {
        iGpsControl->Connected(iSerial, iBaudRate, NowMs(), *iCommands);
        PublishGpsReport();
      }
      if (iKind == TDataKind::Obd && iHandler) {
        const bool wasEmpty = iReceived->IsEmpty();
        iHandler->Process(*iCommands, *iReceived);
        if (wasEmpty && !iReceived->IsEmpty()) SignalRequest();
      }
    }
    Report(TEngineState::Connected);
    // Only a line that shows DSR on at connection is watched for DSR going off; pseudo-
    // terminals and most USB devices have no modem lines and end with a hang-up instead.
    const bool watchDsr = iSerial->DsrState() == PwSerialPort::EDsrOn;
    int32_t readErrors = 0;

    while (!linkLost && iStopFlag.load(std::memory_order_acquire) == 0) {
      bool pendingOutput;
      int32_t waitMs = watchDsr ? KDsrCheckMs : -1;
      {
        PwLockGuard guard(iLock);
        if (!iCommands->IsEmpty()) {
          const int32_t written = iSerial->Write(iCommands->Ptr(), iCommands->Length());
          if (written > 0) iCommands->Delete(0, written);  // the rest goes on the next turn
          if (written == -2) linkLost = true;
        }
        pendingOutput = !iCommands->IsEmpty();
        if (iHandler) {
          const int32_t handlerMs = iHandler->ProcessTimeoutMs();
          if (handlerMs >= 0 && (waitMs < 0 || handlerMs < waitMs)) waitMs = handlerMs;
        }
      }
      if (linkLost) break;
      if (iKind == TDataKind::Gps) {
        // A baud-rate change of the receiver's set-up, once its command is out.
        if (!pendingOutput) {
          iGpsControl->AfterWrite(NowMs());
          PublishGpsReport();
        }
        const int32_t controlMs = iGpsControl->TimeoutMs(NowMs());
        if (controlMs >= 0 && (waitMs < 0 || controlMs < waitMs)) waitMs = controlMs;
      }

      const uint32_t events = iSerial->Wait(pendingOutput, waitMs);
      if (events == 0) continue;  // the wait failed: try again
      if (events & PwSerialPort::EWoken) {
        iSerial->ClearInterrupt();
        continue;  // the loop condition sees the stop flag
      }
      if ((events & PwSerialPort::ETimeout) && iKind == TDataKind::Gps) {
        PwLockGuard guard(iLock);
        if (Trap([&] { iGpsControl->Tick(NowMs(), *iCommands); }) != KErrNone) {
          // Out of memory for a command: the set-up waits for its answer in vain and ends.
        }
        PublishGpsReport();
      }
      if ((events & PwSerialPort::ETimeout) && iHandler) {
        // The handler's pause or answer time-out has passed.
        PwLockGuard guard(iLock);
        const bool wasEmpty = iReceived->IsEmpty();
        if (Trap([&] { iHandler->Process(*iCommands, *iReceived); }) != KErrNone) {
          // Out of memory in the handler: it tries again on the next turn.
        }
        if (wasEmpty && !iReceived->IsEmpty()) SignalRequest();
      }
      if (events & (PwSerialPort::EReceived | PwSerialPort::EHangUp)) {
        PwLockGuard guard(iLock);
        const int32_t count = iSerial->Read(iReadBuffer, KSerialReadBytes);
        if (count > 0) {
          readErrors = 0;
          if (Trap([&] { HandleChunkLocked(CPwByteArrayC(iReadBuffer, count)); }) != KErrNone) {
            // Out of memory in the handler: this chunk is lost, the connection goes on.
          }
        } else if (count == -2 || (events & PwSerialPort::EHangUp)) {
          linkLost = true;
        } else if (count == -1 && ++readErrors >= KMaxReadErrors) {
          linkLost = true;
        }
      }
      if (watchDsr && iSerial->DsrState() == PwSerialPort::EDsrOff) linkLost = true;
    }

    iGpsControl->Disconnected();
    iSerial->Close();
    open = false;
    if (iStopFlag.load(std::memory_order_acquire) == 0) {
      // The device went away: a cable pulled, a Bluetooth link lost, a receiver reset. While
      // the engine runs (the session records) it is looked for every second, under its stable
      // name first, as a USB receiver may come back under another /dev/ttyUSB number.
      Report(TEngineState::Connecting);
      open = Reconnect(device, stable);
      PwLockGuard guard(iLock);
      ResetHandlerLocked();
    }
  }
  iSerial->Close();
  {
    PwLockGuard guard(iLock);
    DeleteHandlerLocked();
    iCommands->SetLength(0);
    // After Stop nothing more is wanted; a reader that ended because the device went away
    // still delivers what it had read.
    if (iStopFlag.load(std::memory_order_acquire) != 0) iReceived->SetLength(0);
  }
  Report(TEngineState::Stopped);
}

bool CDataEngine::Reconnect(const char* aDevice, const char* aStableName) {
  for (;;) {
    if (aStableName[0] != 0 && iSerial->Open(aStableName)) return true;
    if (iSerial->Open(aDevice)) return true;
    if (iStopEvent.Wait(KReconnectIntervalMs) || iStopFlag.load(std::memory_order_acquire) != 0) return false;
  }
}

void CDataEngine::FileReader() {
  Report(TEngineState::Connecting);
  if (iStopEvent.Wait(iReaderPacing.iOpenWaitMs)) iStopFlag.store(1, std::memory_order_release);
  if (iStopFlag.load(std::memory_order_acquire) != 0) {
    // Stopped before the replay began: nothing is opened or announced.
    Report(TEngineState::Stopped);
    return;
  }
  CPwByteArray path;
  path.AppendUtf8(InputPath());
  path.AppendByte(0);
  const int fd = pwplat::FileOpen(reinterpret_cast<const char*>(path.Ptr()), pwplat::EOpenRead);
  if (fd < 0) {
    Report(TEngineState::Stopped);
    return;
  }
  Report(TEngineState::Connected);
  uint8_t chunk[KFileReadBytes];
  bool first = true;
  for (;;) {
    if (iStopEvent.Wait(first ? iReaderPacing.iFirstReadWaitMs : iReaderPacing.iReadWaitMs))
      iStopFlag.store(1, std::memory_order_release);
    first = false;
    if (iStopFlag.load(std::memory_order_acquire) != 0) break;
    const int64_t count = pwplat::FileRead(fd, chunk, sizeof chunk);
    if (count <= 0) break;  // end of file ends the connection
    // A file waits for the application to catch up instead of dropping what it has read: a
    // replay that runs faster than a busy application takes in must still record every byte.
    bool stored = false;
    while (!stored) {
      {
        PwLockGuard guard(iLock);
        if (iReceived->Length() + count < KReceiveLimit) {
          if (iReceived->IsEmpty()) SignalRequest();
          if (Trap([&] { iReceived->Append(chunk, static_cast<int32_t>(count)); }) != KErrNone) {
            // No memory for the chunk: it is dropped like an overflowing serial read.
            iDropped.fetch_add(count, std::memory_order_relaxed);
          }
          stored = true;
        }
      }
      if (!stored && (iStopEvent.Wait(KFileBackoffMs) || iStopFlag.load(std::memory_order_acquire) != 0)) {
        iStopFlag.store(1, std::memory_order_release);
        break;
      }
    }
    if (!stored) break;
  }
  pwplat::FileClose(fd);
  Report(TEngineState::Stopped);
}

// --- gpsd ----------------------------------------------------------------------------------

bool CDataEngine::OpenGpsd(PwSocket& aSocket, int32_t& aGreeting) {
  aGreeting = 0;
  TPwInetAddress address;
  if (iGpsdPort <= 0 || iGpsdPort > 65535) return false;
  // A name server that never answers must not hold the reader (or Stop) longer than a connect.
  if (PwResolveHost(iHost, static_cast<uint16_t>(iGpsdPort), address, iSocketCancel, KGpsdConnectMs) !=
      TPwResolveResult::EResolved)
    return false;
  if (!aSocket.Open()) return false;
  if (aSocket.Connect(address, iSocketCancel, KGpsdConnectMs) != PwSocket::EConnected) {
    aSocket.Close();
    return false;
  }
  const uint8_t* request = reinterpret_cast<const uint8_t*>(KGpsdWatchRequest);
  int32_t left = static_cast<int32_t>(sizeof KGpsdWatchRequest) - 1;
  while (left > 0) {
    const int32_t sent = aSocket.Send(request, left);
    if (sent < 0) break;
    request += sent;
    left -= sent;
    if (left > 0 && !(aSocket.Wait(iSocketCancel, true, KGpsdConnectMs) & PwSocket::EWritable)) break;
  }
  if (left == 0) aGreeting = ReceiveGreeting(aSocket);
  if (aGreeting <= 0) aSocket.Close();
  return aGreeting > 0;
}

int32_t CDataEngine::ReceiveGreeting(PwSocket& aSocket) {
  // A daemon greets every client at once with its version report. A connect alone proves
  // little: one made while the daemon is exiting lands in its listen queue and is reset a
  // moment later, and must not count as a connection.
  const uint32_t start = pwplat::ClockTickMs();
  for (;;) {
    const int32_t waited = static_cast<int32_t>(pwplat::ClockTickMs() - start);
    if (waited >= KGpsdConnectMs) return 0;
    const uint32_t events = aSocket.Wait(iSocketCancel, false, KGpsdConnectMs - waited);
    if (events & PwSocket::ECancelled) return 0;  // the caller sees the stop flag
    if (!(events & (PwSocket::EReadable | PwSocket::EHangUp))) continue;
    const int32_t count = aSocket.Receive(iReadBuffer, KSerialReadBytes);
    if (count != PwSocket::KWouldBlock) return std::max(count, 0);
  }
}

bool CDataEngine::ReconnectGpsd(PwSocket& aSocket, int32_t& aGreeting) {
  for (;;) {
    if (iStopFlag.load(std::memory_order_acquire) != 0) return false;
    if (OpenGpsd(aSocket, aGreeting)) return true;
    if (iStopEvent.Wait(KReconnectIntervalMs) || iStopFlag.load(std::memory_order_acquire) != 0) return false;
  }
}

void CDataEngine::GpsdReader() {
  {
    PwLockGuard guard(iLock);
    CreateHandlerLocked();
    iReceived->Reserve(KReceiveLimit);
    iGpsControl->Disconnected();  // the daemon owns the receiver: frames are only taken out
  }
  Report(TEngineState::Connecting);
  PwSocket socket;
  TGpsdNmeaFilter filter;
  uint8_t kept[KSerialReadBytes];
  // Bytes already in iReadBuffer when the connection is made (the daemon's greeting).
  int32_t greeting = 0;
  bool open = OpenGpsd(socket, greeting);
  while (open && iStopFlag.load(std::memory_order_acquire) == 0) {
    Report(TEngineState::Connected);
    bool linkLost = false;
    int32_t waitErrors = 0;
    while (!linkLost && iStopFlag.load(std::memory_order_acquire) == 0) {
      int32_t count = greeting;
      greeting = 0;
      if (count == 0) {
        const uint32_t events = socket.Wait(iSocketCancel, false, -1);
        if (events & PwSocket::ECancelled) continue;  // the loop condition sees the stop flag
        if (events == 0) {
          linkLost = ++waitErrors >= KMaxReadErrors;
          continue;
        }
        waitErrors = 0;
        if (!(events & (PwSocket::EReadable | PwSocket::EHangUp))) continue;
        count = socket.Receive(iReadBuffer, KSerialReadBytes);
        if (count == PwSocket::KWouldBlock) continue;
      }
      if (count <= 0) {
        linkLost = true;  // the daemon ended or the connection broke
        continue;
      }
      const int32_t nmea = filter.Filter(iReadBuffer, count, kept);
      if (nmea == 0) continue;
      PwLockGuard guard(iLock);
      if (Trap([&] { HandleChunkLocked(CPwByteArrayC(kept, nmea)); }) != KErrNone) {
        // Out of memory in the parser: this chunk is lost, the connection goes on.
      }
      // The daemon owns the receiver: configuration commands of the parser are not relayed.
      iCommands->SetLength(0);
    }
    socket.Close();
    open = false;
    if (iStopFlag.load(std::memory_order_acquire) == 0) {
      // The daemon restarted or the network went away: looked for again every second while
      // the engine runs, like a serial device that was unplugged.
      Report(TEngineState::Connecting);
      open = ReconnectGpsd(socket, greeting);
      filter.Reset();
      PwLockGuard guard(iLock);
      ResetHandlerLocked();
    }
  }
  socket.Close();
  {
    PwLockGuard guard(iLock);
    DeleteHandlerLocked();
    iCommands->SetLength(0);
    if (iStopFlag.load(std::memory_order_acquire) != 0) iReceived->SetLength(0);
  }
  Report(TEngineState::Stopped);
}
