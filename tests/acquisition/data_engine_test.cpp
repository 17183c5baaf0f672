// The data engine against real pseudo-terminals and files: a simulated receiver at 10 Hz, the
// MTK dialogue, a pulled cable, hostile input, overflow while the application thread is busy,
// file replay pacing, the OBD handler seam, and stopping in every state.
#include "acquisition/data_engine.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/channel_state.h"
#include "acquisition/gpsd_stream.h"
#include "acquisition/nmea_parser.h"
#include "foundation/scheduler.h"
#include "nmea_recorder.h"
#include "platform/loop_host.h"
#include "gpsd_daemon.h"
#include "pty_device.h"
#include "support/run_until.h"
#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;
using pwtest::Nmea;
using pwtest::TPtyDevice;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

// Bytes the device has sent that no reader has taken from the port yet.
int UnreadOnTheLine(const TPtyDevice& aDevice) {
  int pending = 0;
  return ::ioctl(aDevice.Slave(), FIONREAD, &pending) == 0 ? pending : -1;
}

// Records what the engine hands over; optionally parses it like the model does.
class CRecordingObserver : public MDataObserver {
 public:
  explicit CRecordingObserver(CDataEngine*& aEngine) : iEngine(aEngine) {}

  void DataReceived(CPwByteArrayC aBytes, TDataKind aKind) override {
    iKinds.push_back(aKind);
    iBatches.push_back(static_cast<int32_t>(aBytes.Length()));
    iData.append(aBytes.View());
    iEvents.push_back("data");
    if (iParser) iParser->Parse(aBytes, &iRecorder, nullptr, nullptr, nullptr, nullptr);
    if (iOnData) iOnData();
  }
  void StatusChanged(TDataKind aKind) override {
    iKinds.push_back(aKind);
    iStates.push_back(iEngine->State());
    iEvents.push_back("state" + std::to_string(static_cast<int>(iEngine->State())));
    if (iParser) iParser->Reset();  // as the model does
  }

  CDataEngine*& iEngine;
  std::string iData;
  std::vector<int32_t> iBatches;
  std::vector<TEngineState> iStates;
  std::vector<TDataKind> iKinds;
  std::vector<std::string> iEvents;
  CNmeaParser* iParser = nullptr;
  pwtest::TNmeaRecorder iRecorder;
  std::function<void()> iOnData;
};

class DataEngineTest : public ::testing::Test {
 protected:
  DataEngineTest() { iEngine = CDataEngine::NewL(&iScheduler, iClock); }
  ~DataEngineTest() override {
    delete iEngine;
    delete iParser;
  }

  // Runs the application loop until aDone holds (checked on the loop's thread) or the time
  // limit passes. The limit is generous for a busy machine; a met condition ends it at once.
  bool RunUntil(const std::function<bool()>& aDone, int aTimeoutMs = 15000) {
    return pwtest::RunLoopUntil(iHost, iScheduler, aDone, std::chrono::milliseconds(aTimeoutMs));
  }
  // Runs the loop for a while regardless (lets pending completions run).
  void RunFor(int aMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(aMs);
    RunUntil([&] { return Clock::now() >= end; }, aMs + 1000);
  }
  // Until the engine is in aState, has announced it and has nothing left to deliver.
  bool RunUntilReported(TEngineState aState, int aTimeoutMs = 5000) {
    return RunUntil(
        [&] {
          return iEngine->State() == aState && iEngine->LastReportedState() == aState && !iEngine->IsActive();
        },
        aTimeoutMs);
  }

  void UseParser() {
    iParser = CNmeaParser::NewL(0);
    iObserver.iParser = iParser;
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  TGpsClock iClock;
  CDataEngine* iEngine = nullptr;
  CNmeaParser* iParser = nullptr;
  CRecordingObserver iObserver{iEngine};
};

// --- Serial ports ---------------------------------------------------------------------------

TEST_F(DataEngineTest, ReceiverAtTenHertzIsDeliveredCompleteInOrderAndConfiguredByMtkCommands) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(71);
  device.StartReading();
  UseParser();

  iEngine->StartSerial(&iObserver, 71, 9600, TDataKind::Gps);
  EXPECT_NE(iEngine->State(), TEngineState::Stopped);  // Starting, or the reader is already on
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  EXPECT_EQ(iEngine->Status(), 1);

  std::string stream;
  constexpr int KEpochs = 30;
  for (int i = 0; i < KEpochs; ++i) stream += pwtest::Epoch(i, i % 5 == 0);
  std::thread receiver([&] {
    for (int i = 0; i < KEpochs; ++i) {
      device.Send(pwtest::Epoch(i, i % 5 == 0));
      std::this_thread::sleep_for(100ms);
    }
  });
  const bool complete = RunUntil([&] { return iObserver.iData.size() >= stream.size(); }, 15000);
  receiver.join();
  ASSERT_TRUE(complete);
  EXPECT_EQ(iObserver.iData, stream);  // unchanged, in order, nothing lost
  EXPECT_EQ(static_cast<int>(iObserver.iRecorder.iEpochs.size()), KEpochs);
  EXPECT_TRUE(iClock.IsSynchronised());  // the reader's monitor parser keeps the clock
  for (TDataKind kind : iObserver.iKinds) EXPECT_EQ(kind, TDataKind::Gps);

  // The fix-interval query goes out after the first bytes; a slow receiver's reply brings the
  // configuration and the 5 Hz commands.
  EXPECT_TRUE(device.WaitForReceived("$PMTK400*36\r\n", 3000));
  device.Send(Nmea("PMTK500,1000,0,0,0,0"));
  EXPECT_TRUE(device.WaitForReceived(Nmea("PMTK220,200"), 3000));
  const std::string commands = device.Received();
  const size_t config = commands.find(Nmea("PMTK314,0,0,1,1,5,5,0,0,0,0,0,0,0,0,0,0,0,5,0"));
  const size_t fix = commands.find(Nmea("PMTK300,200,0,0,0,0"));
  ASSERT_NE(config, std::string::npos);
  ASSERT_NE(fix, std::string::npos);
  EXPECT_LT(config, fix);
  EXPECT_EQ(commands.find("$PMTK400"), commands.rfind("$PMTK400"));  // asked once

  iEngine->Stop();
  ASSERT_TRUE(RunUntilReported(TEngineState::Stopped));
  EXPECT_NE(std::find(iObserver.iStates.begin(), iObserver.iStates.end(), TEngineState::Connected),
            iObserver.iStates.end());
  EXPECT_EQ(iObserver.iStates.back(), TEngineState::Stopped);
  EXPECT_EQ(iEngine->Status(), 0);
}

TEST_F(DataEngineTest, LineSettingsAreEightNoneOneWithTheRequestedOrTheOwnBaudRate) {
  struct TCase {
    int32_t iBaud;
    speed_t iExpected;
  };
  for (const TCase& c : {TCase{0, B4800}, TCase{19200, B19200}, TCase{115200, B115200}, TCase{12345, B4800}}) {
    SCOPED_TRACE(c.iBaud);
    TPtyDevice device;
    ASSERT_TRUE(device.IsOpen());
    termios t{};
    ASSERT_EQ(::tcgetattr(device.Slave(), &t), 0);
    t.c_cflag |= PARENB | CSTOPB;
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7;
    t.c_lflag |= ECHO | ICANON;
    ::cfsetispeed(&t, B4800);
    ::cfsetospeed(&t, B4800);
    ASSERT_EQ(::tcsetattr(device.Slave(), TCSANOW, &t), 0);
    device.MapPort(72);

    iEngine->StartSerial(&iObserver, 72, c.iBaud, TDataKind::Gps);
    ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
    ASSERT_EQ(::tcgetattr(device.Slave(), &t), 0);
    EXPECT_EQ(::cfgetispeed(&t), c.iExpected);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON), 0u);  // raw: nothing echoed back to the device
    iEngine->Stop();
    ASSERT_TRUE(RunUntilReported(TEngineState::Stopped));
  }
}

TEST_F(DataEngineTest, PulledCableIsReopenedOnceAndReportsConnectedAgainWithNothingLost) {
  pwtest::TempDir dir;
  const std::string link = dir / "gps";
  TPtyDevice first;
  ASSERT_TRUE(first.IsOpen());
  ASSERT_EQ(::symlink(first.SlaveName().c_str(), link.c_str()), 0);
  TPtyDevice::MapPortTo(73, link);
  UseParser();

  iEngine->StartSerial(&iObserver, 73, 0, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  std::string before;
  for (int i = 0; i < 10; ++i) before += pwtest::Epoch(i);
  before += "$GPGGA,1200";  // the cable goes in the middle of a sentence
  ASSERT_TRUE(first.Send(before));
  ASSERT_TRUE(RunUntil([&] { return iObserver.iData.size() == before.size(); }));

  // The device comes back under the same name before the old line has hung up.
  const size_t reportsBefore = iObserver.iStates.size();
  TPtyDevice second;
  ASSERT_TRUE(second.IsOpen());
  const std::string moved = link + ".new";
  ASSERT_EQ(::symlink(second.SlaveName().c_str(), moved.c_str()), 0);
  ASSERT_EQ(::rename(moved.c_str(), link.c_str()), 0);
  first.CloseSlave();
  first.CloseMaster();

  // Connected reported again after a report of the pull, not the first connection's: only
  // then is the new line open and raw, so bytes the device sends cannot be cooked by the line
  // discipline of a port nobody has set up yet. (The observer reads the state when told, so
  // one reconnection may show as one or two Connected entries.)
  ASSERT_TRUE(RunUntil([&] {
    return iObserver.iStates.size() > reportsBefore && iEngine->State() == TEngineState::Connected &&
           iEngine->LastReportedState() == TEngineState::Connected && !iEngine->IsActive() &&
           iObserver.iStates.back() == TEngineState::Connected;
  }, 15000)) << "engine state " << static_cast<int>(iEngine->State()) << ", reports " << ::testing::PrintToString(iObserver.iEvents);
  std::string after;
  for (int i = 20; i < 30; ++i) after += pwtest::Epoch(i);
  ASSERT_TRUE(second.Send(after));
  ASSERT_TRUE(RunUntil([&] { return iObserver.iData.size() == before.size() + after.size(); }));
  EXPECT_EQ(iObserver.iData, before + after);
  // Every complete epoch of both connections was parsed; the torn sentence was not.
  EXPECT_GE(iObserver.iRecorder.iEpochs.size(), 9u + 9u);

  // Gone for longer: the engine keeps looking for it every second until it is stopped, and
  // stopping does not wait for the next attempt (the join limit is 15 s).
  second.CloseSlave();
  second.CloseMaster();
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connecting));
  RunFor(1500);
  EXPECT_EQ(iEngine->State(), TEngineState::Connecting);
  const auto start = Clock::now();
  iEngine->Stop();
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_EQ(iEngine->State(), TEngineState::Stopped);
}

TEST_F(DataEngineTest, PortThatCannotBeOpenedEndsStoppedWithoutData) {
  TPtyDevice::MapPortTo(74, "/dev/pacewright-no-such-port");
  iEngine->StartSerial(&iObserver, 74, 9600, TDataKind::Gps);
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Stopped; }));
  RunFor(50);
  EXPECT_TRUE(iObserver.iData.empty());
  EXPECT_LE(iObserver.iStates.size(), 2u);
  if (!iObserver.iStates.empty()) {
    EXPECT_EQ(iObserver.iStates.back(), TEngineState::Stopped);
  }
  EXPECT_EQ(iEngine->Status(), 0);

  // A regular file is no port; neither is a number without a device.
  pwtest::TempDir dir;
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "plain", "$GPGGA\r\n"));
  TPtyDevice::MapPortTo(74, dir / "plain");
  iEngine->StartSerial(&iObserver, 74, 9600, TDataKind::Gps);
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Stopped; }));
  TPtyDevice::UnmapPort(74);
  iEngine->StartSerial(&iObserver, 74, 9600, TDataKind::Gps);
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Stopped; }));
  RunFor(20);
  EXPECT_TRUE(iObserver.iData.empty());
}

TEST_F(DataEngineTest, GarbageAndBaudMismatchNoiseIsPassedOnAndParsingRecovers) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(75);
  UseParser();
  iEngine->StartSerial(&iObserver, 75, 4800, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));

  std::string noise;
  uint32_t seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    noise.push_back(static_cast<char>(seed >> 16));
  }
  noise += std::string(3000, '\0') + std::string(3000, '\xff') + "$GPRMC,,,,,*ZZ\r\n$$$$\n\r\r\n";
  std::string stream = noise;
  for (int i = 0; i < 5; ++i) stream += pwtest::Epoch(i);
  ASSERT_TRUE(device.Send(stream));
  ASSERT_TRUE(RunUntil([&] { return iObserver.iData.size() >= stream.size(); }));
  EXPECT_EQ(iObserver.iData, stream);  // the engine does not interpret, it only carries
  EXPECT_EQ(iObserver.iRecorder.iEpochs.size(), 5u);
  iEngine->Stop();
}

TEST_F(DataEngineTest, MoreThanTheLimitBeforeTheApplicationRunsKeepsOnlyTheNewestBytes) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(76);
  iEngine->StartSerial(&iObserver, 76, 0, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));

  // The application thread is busy (the loop does not run) while 300 kB arrive.
  std::string stream;
  for (int i = 0; stream.size() < 300000; ++i) stream += pwtest::Epoch(i, true);
  ASSERT_TRUE(device.Send(stream));
  // Until the reader has taken everything: nothing waits on the line and the count of dropped
  // bytes has settled. A reader that is only slow (a busy machine) leaves bytes on the line.
  int64_t last = -1;
  for (int stable = 0; stable < 20;) {
    std::this_thread::sleep_for(20ms);
    const int64_t dropped = iEngine->DroppedBytes();
    stable = (dropped == last && dropped > 0 && UnreadOnTheLine(device) == 0) ? stable + 1 : 0;
    last = dropped;
  }
  RunFor(100);
  ASSERT_FALSE(iObserver.iData.empty());
  EXPECT_LE(iObserver.iData.size(), static_cast<size_t>(CDataEngine::KReceiveLimit));
  EXPECT_EQ(iObserver.iBatches.size(), 1u);
  // What survived is the tail of the stream.
  ASSERT_LE(iObserver.iData.size(), stream.size());
  EXPECT_EQ(stream.substr(stream.size() - iObserver.iData.size()), iObserver.iData);
  EXPECT_EQ(iEngine->DroppedBytes() + static_cast<int64_t>(iObserver.iData.size()),
            static_cast<int64_t>(stream.size()));
  iEngine->Stop();
}

TEST_F(DataEngineTest, StartWhileConnectedIsIgnored) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(77);
  iEngine->StartSerial(&iObserver, 77, 9600, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  CRecordingObserver other(iEngine);
  iEngine->StartSerial(&other, 78, 4800, TDataKind::Obd);
  iEngine->StartFile(&other, u"/nowhere", TDataKind::DataLogger);
  EXPECT_EQ(iEngine->PortNumber(), 77);
  EXPECT_EQ(iEngine->BaudRate(), 9600);
  EXPECT_EQ(iEngine->DataKind(), TDataKind::Gps);
  EXPECT_EQ(iEngine->Mode(), TConnectionMode::SerialPort);
  ASSERT_TRUE(device.Send(pwtest::Epoch(1)));
  ASSERT_TRUE(RunUntil([&] { return !iObserver.iData.empty(); }));
  EXPECT_TRUE(other.iEvents.empty());
  iEngine->Stop();
}

// --- The protocol-handler seam --------------------------------------------------------------

// A toy dialogue: sends "ATZ\r" first, turns every CR-terminated answer into "$ANS,<line>".
class CEchoHandler : public CProtocolHandler {
 public:
  static std::atomic<int> iCreated, iResets, iDeleted, iClears, iAdds;
  ~CEchoHandler() override { ++iDeleted; }
  void AddInput(CPwByteArrayC aBytes) override { iInput.append(aBytes.View()); }
  void Process(CPwByteArray& aCommands, CPwByteArray& aReceived) override {
    if (!iStarted) {
      iStarted = true;
      aCommands.Append("ATZ\r");
    }
    for (size_t end; (end = iInput.find('\r')) != std::string::npos;) {
      const std::string line = "$ANS," + iInput.substr(0, end) + "\r\n";
      iInput.erase(0, end + 1);
      aReceived.Append(CPwByteArrayC(std::string_view(line)));
      aCommands.Append("0100\r");
    }
  }
  void Reset() override {
    ++iResets;
    iStarted = false;
    iInput.clear();
  }
  void ClearObdChannels() override { ++iClears; }
  void AddObdChannel(int32_t aPid, int32_t aPriority) override {
    (void)aPid;
    iAdds += aPriority;
  }
  static CProtocolHandler* Create(TDataKind aKind, TGpsClock& aClock) {
    (void)aClock;
    if (aKind != TDataKind::Obd) return nullptr;
    ++iCreated;
    return new CEchoHandler();
  }

  std::string iInput;
  bool iStarted = false;
};
std::atomic<int> CEchoHandler::iCreated{0}, CEchoHandler::iResets{0}, CEchoHandler::iDeleted{0},
    CEchoHandler::iClears{0}, CEchoHandler::iAdds{0};

TEST_F(DataEngineTest, ObdHandlerSendsFirstAndItsSentencesAloneReachTheObserver) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(79);
  device.StartReading();
  iEngine->SetProtocolHandlerFactory(&CEchoHandler::Create);
  CEchoHandler::iCreated = CEchoHandler::iResets = CEchoHandler::iDeleted = 0;
  CEchoHandler::iClears = CEchoHandler::iAdds = 0;

  iEngine->ClearObdChannels();  // no reader: nothing to forward to
  EXPECT_EQ(CEchoHandler::iClears, 0);
  iEngine->StartSerial(&iObserver, 79, 38400, TDataKind::Obd);
  ASSERT_TRUE(device.WaitForReceived("ATZ\r", 3000));  // without waiting for input
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  EXPECT_EQ(CEchoHandler::iCreated, 1);

  iEngine->ClearObdChannels();
  iEngine->AddObdChannel(0x0C, 2);
  iEngine->AddObdChannel(0x0D, 1);
  iEngine->AddObdChannel(0x0E, 0);  // ignored
  EXPECT_EQ(CEchoHandler::iClears, 1);
  EXPECT_EQ(CEchoHandler::iAdds, 3);

  ASSERT_TRUE(device.Send("ELM327 v1.5\r\r>"));
  ASSERT_TRUE(RunUntil([&] { return iObserver.iData.size() >= 19; }));
  EXPECT_EQ(iObserver.iData, "$ANS,ELM327 v1.5\r\n$ANS,\r\n");
  EXPECT_TRUE(device.WaitForReceived("0100\r", 3000));
  iEngine->Stop();
  ASSERT_TRUE(RunUntilReported(TEngineState::Stopped));
  EXPECT_EQ(CEchoHandler::iDeleted, 1);
  for (TDataKind kind : iObserver.iKinds) EXPECT_EQ(kind, TDataKind::Obd);

  // Without a factory the OBD bytes pass unchanged; other engines ignore OBD channel calls.
  iEngine->SetProtocolHandlerFactory(nullptr);
  iObserver.iData.clear();
  iEngine->StartSerial(&iObserver, 79, 0, TDataKind::DataLogger);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  iEngine->AddObdChannel(0x0C, 2);
  EXPECT_EQ(CEchoHandler::iAdds, 3);
  ASSERT_TRUE(device.Send("$PW1,1,2,3\r\n"));
  ASSERT_TRUE(RunUntil([&] { return iObserver.iData == "$PW1,1,2,3\r\n"; }));
  iEngine->Stop();
}

// --- Input files ----------------------------------------------------------------------------

TEST_F(DataEngineTest, ReplayReadsTwoHundredFiftySixBytesAtATimeAndEndsAtEndOfFile) {
  pwtest::TempDir dir;
  std::string content;
  for (int i = 0; content.size() < 1000; ++i) content += pwtest::Epoch(i);
  content.resize(1000);
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "drive.nmea", content));
  iEngine->SetFileReplayPacing(TFileReplayPacing{0, 0, 30});
  CPwString path = PwStringFromUtf8(dir / "drive.nmea");

  iEngine->StartFile(&iObserver, path, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Stopped));
  EXPECT_EQ(iObserver.iData, content);
  // Batches always end on a read boundary: 256, 256, 256, 232.
  int32_t offset = 0;
  for (int32_t length : iObserver.iBatches) {
    offset += length;
    EXPECT_TRUE(offset % 256 == 0 || offset == 1000) << offset;
  }
  // The connection is announced before the first data.
  const auto firstData = std::find(iObserver.iEvents.begin(), iObserver.iEvents.end(), "data");
  EXPECT_NE(std::find(iObserver.iEvents.begin(), firstData, "state2"), firstData);
  EXPECT_EQ(iObserver.iEvents.back(), "state0");
}

TEST_F(DataEngineTest, ReplayFasterThanABusyApplicationWaitsInsteadOfDropping) {
  pwtest::TempDir dir;
  std::string content;
  for (int i = 0; content.size() < 3 * CDataEngine::KReceiveLimit; ++i) content += pwtest::Epoch(i, true);
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "drive.nmea", content));
  iEngine->SetFileReplayPacing(TFileReplayPacing{0, 0, 0});
  iEngine->StartFile(&iObserver, PwStringFromUtf8(dir / "drive.nmea"), TDataKind::Gps);
  // The application thread is busy while the reader could have read the whole file twice over.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(RunUntilReported(TEngineState::Stopped, 60000));
  EXPECT_EQ(iEngine->DroppedBytes(), 0);
  EXPECT_EQ(iObserver.iData.size(), content.size());
  EXPECT_TRUE(iObserver.iData == content);
  for (int32_t length : iObserver.iBatches) EXPECT_LE(length, CDataEngine::KReceiveLimit);

  // Stop while the reader waits for room ends it promptly.
  iObserver.iData.clear();
  iEngine->StartFile(&iObserver, PwStringFromUtf8(dir / "drive.nmea"), TDataKind::Gps);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto stopAt = Clock::now();
  iEngine->Stop();
  EXPECT_LT(MsSince(stopAt), 2000);
  RunFor(50);
  EXPECT_EQ(iEngine->State(), TEngineState::Stopped);
}

TEST_F(DataEngineTest, ReplayStartsAfterThreePlusOneSecondsAndStopEndsItEarly) {
  pwtest::TempDir dir;
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "drive.nmea", pwtest::Epoch(1)));
  CPwString path = PwStringFromUtf8(dir / "drive.nmea");

  const auto start = Clock::now();
  iEngine->StartFile(&iObserver, path, TDataKind::Gps);
  ASSERT_TRUE(RunUntil([&] { return !iObserver.iData.empty(); }, 10000));
  EXPECT_GE(MsSince(start), 3900);
  ASSERT_TRUE(RunUntilReported(TEngineState::Stopped));

  // Stopped during the first three seconds: nothing delivered, Stop does not wait them out.
  iObserver.iData.clear();
  iEngine->StartFile(&iObserver, path, TDataKind::Gps);
  RunFor(200);
  const auto stopAt = Clock::now();
  iEngine->Stop();
  EXPECT_LT(MsSince(stopAt), 2000);  // well inside the 2.8 s still to wait
  RunFor(50);
  EXPECT_TRUE(iObserver.iData.empty());
  EXPECT_EQ(iEngine->State(), TEngineState::Stopped);

  // A missing file: Connecting, then Stopped.
  iEngine->SetFileReplayPacing(TFileReplayPacing{0, 0, 0});
  iEngine->StartFile(&iObserver, u"/nonexistent/drive.nmea", TDataKind::Gps);
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Stopped; }));
}

TEST_F(DataEngineTest, ReplayOfRealReceiverLogsParsesLikeTheFileItself) {
  PW_REQUIRE_TESTDATA();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(pwtest::TestDataDir() + "/nmea-receivers"))
    if (entry.path().extension() == ".log") files.push_back(entry.path().string());
  ASSERT_FALSE(files.empty());
  iEngine->SetFileReplayPacing(TFileReplayPacing{0, 0, 0});
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string bytes = pwtest::ReadFileBytes(file);
    CNmeaParser* direct = CNmeaParser::NewL(0);
    pwtest::TNmeaRecorder expected;
    direct->Parse(CPwByteArrayC(std::string_view(bytes)), &expected, nullptr, nullptr, nullptr, nullptr);
    delete direct;

    delete iParser;
    UseParser();
    iObserver.iRecorder.iEpochs.clear();
    iObserver.iData.clear();
    iEngine->StartFile(&iObserver, PwStringFromUtf8(file), TDataKind::Gps);
    ASSERT_TRUE(RunUntilReported(TEngineState::Stopped, 60000));
    EXPECT_EQ(iObserver.iData, bytes);
    EXPECT_EQ(iObserver.iRecorder.iEpochs, expected.iEpochs);
  }
}

// --- Platform devices, failures and stopping ------------------------------------------------

TEST_F(DataEngineTest, PlatformAndBluetoothDevicesEndAtOnceWithoutObserverCalls) {
  iEngine->StartPlatform(&iObserver, TDataKind::Accelerometer);
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Stopped; }));
  RunFor(30);
  TPwBtAddr address;
  address[0] = 0x11;
  iEngine->StartBluetooth(&iObserver, address, 1, 9600, TDataKind::Obd);
  EXPECT_EQ(iEngine->BtAddress(), address);
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Stopped; }));
  RunFor(30);
  EXPECT_TRUE(iObserver.iEvents.empty());
  EXPECT_EQ(iEngine->Status(), 0);
}

TEST_F(DataEngineTest, MemoryFullWhileDeliveringStopsTheEngineAsFailed) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(80);
  iEngine->StartSerial(&iObserver, 80, 9600, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  iObserver.iOnData = [] { Leave(KErrNoMemory); };
  ASSERT_TRUE(device.Send(pwtest::Epoch(1)));
  ASSERT_TRUE(RunUntil([&] { return iEngine->State() == TEngineState::Failed; }));
  EXPECT_EQ(iEngine->Status(), 2);
  EXPECT_EQ(iObserver.iStates.back(), TEngineState::Failed);
  // The reader is gone; nothing is delivered in Failed.
  iObserver.iOnData = nullptr;
  const size_t delivered = iObserver.iData.size();
  device.Send(pwtest::Epoch(2));
  RunFor(100);
  EXPECT_EQ(iObserver.iData.size(), delivered);
  EXPECT_EQ(iEngine->State(), TEngineState::Failed);

  // A new start leaves Failed.
  iEngine->StartSerial(&iObserver, 80, 9600, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  iEngine->Stop();
}

TEST_F(DataEngineTest, StopReturnsPromptlyInEveryState) {
  // The bounds leave room for a busy machine and still lie far below the reader's 15 s join
  // limit, which a Stop that waited would run into.
  auto timedStop = [&] {
    const auto start = Clock::now();
    iEngine->Stop();
    return MsSince(start);
  };
  EXPECT_LT(timedStop(), 1000);  // no reader at all

  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(81);
  iEngine->StartSerial(&iObserver, 81, 0, TDataKind::Gps);
  EXPECT_LT(timedStop(), 5000);  // Starting
  EXPECT_EQ(iEngine->State(), TEngineState::Stopped);

  iEngine->StartSerial(&iObserver, 81, 0, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  EXPECT_LT(timedStop(), 5000);  // Connected, blocked in the wait
  EXPECT_EQ(iEngine->State(), TEngineState::Stopped);
  EXPECT_LT(timedStop(), 1000);   // twice

  // Connected with a device that keeps talking hard.
  iEngine->StartSerial(&iObserver, 81, 0, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  std::atomic<bool> talking{true};
  std::thread chatter([&] {
    const std::string burst = pwtest::Epoch(3, true);
    while (talking) device.Send(burst);
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_LT(timedStop(), 5000);
  talking = false;
  chatter.join();
  RunFor(20);
}

TEST_F(DataEngineTest, EnginesAreReusedForManySessions) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(82);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    iObserver.iData.clear();
    iEngine->StartSerial(&iObserver, 82, 9600, TDataKind::Gps);
    ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
    const std::string e = pwtest::Epoch(round);
    ASSERT_TRUE(device.Send(e));
    ASSERT_TRUE(RunUntil([&] { return iObserver.iData == e; }));
    iEngine->Stop();
    ASSERT_TRUE(RunUntilReported(TEngineState::Stopped));
  }
}

}  // namespace

// --- gpsd ----------------------------------------------------------------------------------

TEST(GpsdNmeaFilter, KeepsRelayedSentencesAndDropsTheDaemonsReportsAcrossEverySplit) {
  const std::string nmea = Nmea("GPRMC,120000.00,A,4807.0000,N,01135.0000,E,20.5,12.0,010624,,") +
                           Nmea("GPGGA,120000.00,4807.0000,N,01135.0000,E,1,08,0.9,520.0,M,47.0,M,,");
  const std::string stream = "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n" + nmea.substr(0, 70) +
                             nmea.substr(70) + "{\"class\":\"WATCH\",\"nmea\":true}\n{}\n" + nmea;
  for (size_t split = 0; split <= stream.size(); ++split) {
    TGpsdNmeaFilter filter;
    std::string out(stream.size(), '\0');
    const auto* in = reinterpret_cast<const uint8_t*>(stream.data());
    auto* to = reinterpret_cast<uint8_t*>(out.data());
    int32_t kept = filter.Filter(in, static_cast<int32_t>(split), to);
    kept += filter.Filter(in + split, static_cast<int32_t>(stream.size() - split), to + kept);
    EXPECT_EQ(out.substr(0, static_cast<size_t>(kept)), nmea + nmea) << "split at " << split;
  }
}

TEST_F(DataEngineTest, GpsdRelaysARealReceiverLogReconnectsAfterARestartAndStopsCleanly) {
  if (!pwtest::GpsdBinary()) GTEST_SKIP() << "gpsd is not installed";
  std::ifstream log(std::string(PW_TESTDATA_DIR) + "/nmea-receivers/mt3339.log");
  if (!log) GTEST_SKIP() << "no receiver logs";
  std::string sentences;
  for (std::string line; std::getline(log, line);)
    if (!line.empty() && line[0] == '$') sentences += line + (line.back() == '\r' ? "\n" : "\r\n");
  ASSERT_FALSE(sentences.empty());

  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  const int port = pwtest::FreeTcpPort();
  pwtest::TGpsdDaemon daemon(device.SlaveName(), port);
  ASSERT_TRUE(daemon.Running());
  std::atomic<bool> feeding{true};
  std::thread receiver([&] {
    while (feeding) {
      for (size_t at = 0; feeding && at < sentences.size(); at += 200) {
        device.Send(sentences.substr(at, 200));
        std::this_thread::sleep_for(20ms);
      }
    }
  });
  struct TJoin {
    std::atomic<bool>& iFlag;
    std::thread& iThread;
    ~TJoin() {
      iFlag = false;
      iThread.join();
    }
  } join{feeding, receiver};

  UseParser();
  iEngine->StartGpsd(&iObserver, u"127.0.0.1", port, TDataKind::Gps);
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  EXPECT_EQ(iEngine->Mode(), TConnectionMode::Gpsd);
  ASSERT_TRUE(RunUntil([&] { return iObserver.iRecorder.iEpochs.size() >= 3; }, 15000));
  EXPECT_EQ(iObserver.iData.find('{'), std::string::npos);  // none of the daemon's own reports
  // Every relayed line is one of the receiver's sentences, unchanged.
  size_t checked = 0;
  for (size_t start = iObserver.iData.find('$'); start != std::string::npos && checked < 20;
       start = iObserver.iData.find('$', start + 1), ++checked) {
    const std::string line = iObserver.iData.substr(start, iObserver.iData.find('\n', start) - start);
    EXPECT_NE(sentences.find(line.substr(0, line.find('\r'))), std::string::npos) << line;
  }

  // The daemon goes away: the engine looks for it again and is back once it is.
  daemon.Kill();
  ASSERT_TRUE(RunUntilReported(TEngineState::Connecting));
  ASSERT_TRUE(daemon.Start(device.SlaveName()));
  ASSERT_TRUE(RunUntilReported(TEngineState::Connected));
  // Once for the first daemon and once for the second: a connect that reached the first one
  // while it was exiting was reset before any greeting and is no connection.
  EXPECT_EQ(iEngine->ReportedConnectCount(), 2u);

  const auto stopAt = Clock::now();
  iEngine->Stop();
  EXPECT_LT(MsSince(stopAt), 2000);
  EXPECT_EQ(iEngine->State(), TEngineState::Stopped);
}

TEST_F(DataEngineTest, GpsdThatIsNotThereEndsTheConnectionLikeAMissingPort) {
  iEngine->StartGpsd(&iObserver, u"127.0.0.1", pwtest::FreeTcpPort(), TDataKind::Gps);
  EXPECT_TRUE(RunUntilReported(TEngineState::Stopped));
  iEngine->StartGpsd(&iObserver, u"no-such-host.invalid", 2947, TDataKind::Gps);
  EXPECT_TRUE(RunUntilReported(TEngineState::Stopped));

  // A daemon that goes before it greets: the connect lands in its listen queue, then the
  // queue is reset. That is no connection, so nothing is announced and the start fails.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  iEngine->StartGpsd(&iObserver, u"127.0.0.1", ntohs(address.sin_port), TDataKind::Gps);
  pollfd queued{listener, POLLIN, 0};
  EXPECT_EQ(::poll(&queued, 1, 5000), 1);  // the engine's connect is waiting to be accepted
  ::close(listener);
  EXPECT_TRUE(RunUntilReported(TEngineState::Stopped));
  EXPECT_EQ(iEngine->ReportedConnectCount(), 0u);
  EXPECT_EQ(std::count(iObserver.iStates.begin(), iObserver.iStates.end(), TEngineState::Connected), 0);
}
