// The GPS engine against a simulated u-blox receiver on a pseudo-terminal: set from its
// power-on 1 Hz at 9600 baud to a fast rate (older chips and M10), receivers that refuse or do
// not answer kept as they were, and the baud-rate search for a receiver at another rate.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/channel_state.h"
#include "acquisition/core.h"
#include "acquisition/data_engine.h"
#include "acquisition/gps_receiver_control.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "support/run_until.h"
#include "ublox_simulator.h"

namespace {

using pwtest::TUbloxSimulator;
using Clock = std::chrono::steady_clock;

class CCollector : public MDataObserver {
 public:
  void DataReceived(CPwByteArrayC aBytes, TDataKind) override { iData.append(aBytes.View()); }
  void StatusChanged(TDataKind) override {}
  std::string iData;
};

// Every complete line of the text, and whether each is a sentence with a good checksum.
int CountBadLines(const std::string& aText, int& aGood) {
  int bad = 0;
  aGood = 0;
  size_t at = 0;
  for (size_t end; (end = aText.find("\r\n", at)) != std::string::npos; at = end + 2) {
    const std::string line = aText.substr(at, end - at);
    bool ok = line.size() > 4 && line[0] == '$' && line[line.size() - 3] == '*';
    if (ok) {
      unsigned sum = 0, given = 0;
      for (size_t i = 1; i + 3 < line.size(); ++i) sum ^= static_cast<uint8_t>(line[i]);
      ok = std::sscanf(line.c_str() + line.size() - 2, "%2X", &given) == 1 && given == sum;
    }
    (ok ? aGood : bad)++;
  }
  return bad;
}

int Count(const std::string& aText, const std::string& aWhat) {
  int n = 0;
  for (size_t at = 0; (at = aText.find(aWhat, at)) != std::string::npos; at += aWhat.size()) ++n;
  return n;
}

int PortBaud(TUbloxSimulator& aSimulator) {
  termios t{};
  ::tcgetattr(aSimulator.Device().Slave(), &t);
  switch (::cfgetispeed(&t)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

class UbloxReceiverTest : public ::testing::Test {
 protected:
  UbloxReceiverTest() { iEngine = CDataEngine::NewL(&iScheduler, iClock); }
  ~UbloxReceiverTest() override { delete iEngine; }

  bool RunUntil(const std::function<bool()>& aDone, int aTimeoutMs) {
    return pwtest::RunLoopUntil(iHost, iScheduler, aDone, std::chrono::milliseconds(aTimeoutMs));
  }
  void RunFor(int aMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(aMs);
    RunUntil([&] { return Clock::now() >= end; }, aMs + 1000);
  }
  // Starts the GPS engine on the simulator's port.
  void Connect(TUbloxSimulator& aSimulator, int aPort, int aRateHz, int aBaud, int aKnownBaud = 0) {
    aSimulator.Device().MapPort(aPort);
    iEngine->SetGpsReceiverSetup(aRateHz, aKnownBaud);
    iStart = Clock::now();
    iNotesBefore = iEngine->GpsReceiverReport().iNoteCount;
    iEngine->StartSerial(&iCollector, aPort, aBaud, TDataKind::Gps);
  }
  // A note given since the last Connect.
  bool NoteIs(int32_t aNote) { return NewNote() && iEngine->GpsReceiverReport().iNote == aNote; }
  bool NewNote() { return iEngine->GpsReceiverReport().iNoteCount != iNotesBefore; }
  // What arrived over the last aMs.
  std::string Next(int aMs) {
    const size_t from = iCollector.iData.size();
    RunFor(aMs);
    return iCollector.iData.substr(from);
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  TGpsClock iClock;
  CDataEngine* iEngine = nullptr;
  CCollector iCollector;
  Clock::time_point iStart;
  uint32_t iNotesBefore = 0;
};

TEST_F(UbloxReceiverTest, ReceiversAreSetFromOneHertzAt9600To25HertzAt115200AndOnlyNmeaReachesTheApplication) {
  // The port starts at 9600 (a USB serial adapter), or at 38400 (a pseudo-terminal's own
  // rate), where the reader first has to find the receiver.
  struct TCase {
    TUbloxSimulator::TChip iChip;
    int iPortBaud;
    const char* iName;
  };
  for (const TCase& c : {TCase{TUbloxSimulator::ELegacy, 9600, "older chip"}, TCase{TUbloxSimulator::EM10, 9600, "M10"},
                         TCase{TUbloxSimulator::ELegacy, 38400, "older chip, port at 38400"}}) {
    const auto chip = c.iChip;
    SCOPED_TRACE(c.iName);
    TUbloxSimulator receiver(chip, TUbloxSimulator::ENormal, 9600);
    ASSERT_TRUE(receiver.Device().IsOpen());
    receiver.Start(c.iPortBaud);
    iCollector.iData.clear();
    Connect(receiver, 91, 25, 0);
    ASSERT_TRUE(RunUntil([&] { return NoteIs(TGpsReceiverControl::ENoteRateSet); }, 10000))
        << "note " << iEngine->GpsReceiverReport().iNote;
    const int64_t ms = receiver.MsUntil(40, 115200);
    ASSERT_GE(ms, 0);
    std::printf("[ measured ] %s set to 25 Hz at 115200 baud %lld ms after the start\n", c.iName,
                static_cast<long long>(ms));
    EXPECT_EQ(iEngine->GpsReceiverReport().iNoteValue, 25);
    EXPECT_EQ(iEngine->GpsReceiverReport().iWorkingBaud, 115200);
    EXPECT_EQ(receiver.Baud(), 115200);
    EXPECT_EQ(PortBaud(receiver), 115200);
    EXPECT_EQ(receiver.MeasMs(), 40);
    EXPECT_EQ(receiver.MessageRate(pwubx::ENmeaGll), 0);
    EXPECT_EQ(receiver.MessageRate(pwubx::ENmeaVtg), 0);
    EXPECT_EQ(receiver.MessageRate(pwubx::ENmeaGsv), 25);  // once a second
    EXPECT_EQ(receiver.Talker(), "GP");                     // the parser reads "GP" sentences
    EXPECT_EQ(receiver.Refused(), 0);

    // A second of output: 25 epochs of RMC, GGA and GSA (less what a busy machine costs the
    // simulator's timing), the satellites once, and nothing the parser does not read. No
    // byte of the binary answers reaches the application.
    const std::string second = Next(1000);
    EXPECT_GE(Count(second, "$GPRMC"), 18);
    EXPECT_GE(Count(second, "$GPGGA"), 18);
    EXPECT_LE(Count(second, "$GPGSV,3,1"), 2);
    EXPECT_EQ(Count(second, "VTG,"), 0);
    EXPECT_EQ(Count(second, "GLL,"), 0);
    EXPECT_EQ(iCollector.iData.find('\xB5'), std::string::npos);
    int good = 0;
    // Only the line cut by the rate change may be broken.
    EXPECT_LE(CountBadLines(iCollector.iData, good), 2);
    EXPECT_GT(good, 50);
    iEngine->Stop();
    receiver.Stop();
  }
}

TEST_F(UbloxReceiverTest, ReceiversThatRefuseOrDoNotAnswerAreKeptAsTheyWereWithANote) {
  struct TCase {
    TUbloxSimulator::TChip iChip;
    TUbloxSimulator::TBehaviour iBehaviour;
    int iBaud;  // the user's baud-rate setting
    int32_t iNote;
  };
  const TCase cases[] = {
      {TUbloxSimulator::ELegacy, TUbloxSimulator::ERefusing, 0, TGpsReceiverControl::ENoteRateRefused},
      {TUbloxSimulator::EM10, TUbloxSimulator::ERefusing, 0, TGpsReceiverControl::ENoteRateRefused},
      {TUbloxSimulator::ELegacy, TUbloxSimulator::ESilent, 0, TGpsReceiverControl::ENoteNoAnswer},
      // The last change refused: the baud rate, talker and sentences it had taken are put back.
      {TUbloxSimulator::ELegacy, TUbloxSimulator::ERefusingRate, 0, TGpsReceiverControl::ENoteRateRefused},
      // A baud rate the user fixed is not changed; 25 Hz does not fit into 9600 baud.
      {TUbloxSimulator::ELegacy, TUbloxSimulator::ENormal, 9600, TGpsReceiverControl::ENoteNeedsBaud},
  };
  int index = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(index++);
    TUbloxSimulator receiver(c.iChip, c.iBehaviour, 9600);
    ASSERT_TRUE(receiver.Device().IsOpen());
    receiver.Start(9600);
    iCollector.iData.clear();
    Connect(receiver, 92, 25, c.iBaud);
    ASSERT_TRUE(RunUntil([&] { return NewNote(); }, 10000));
    EXPECT_EQ(iEngine->GpsReceiverReport().iNote, c.iNote);
    if (c.iNote == TGpsReceiverControl::ENoteNeedsBaud) {
      EXPECT_EQ(iEngine->GpsReceiverReport().iNoteValue, 115200);
    }
    // Everything as it was: rate, baud, messages; and the sentences keep coming.
    RunFor(300);
    EXPECT_EQ(receiver.Baud(), 9600);
    EXPECT_EQ(PortBaud(receiver), 9600);
    EXPECT_EQ(receiver.MeasMs(), 1000);
    EXPECT_EQ(receiver.MessageRate(pwubx::ENmeaVtg), 1);
    EXPECT_EQ(receiver.MessageRate(pwubx::ENmeaGll), 1);
    EXPECT_EQ(receiver.MessageRate(pwubx::ENmeaGsv), 1);
    EXPECT_EQ(iEngine->GpsReceiverReport().iWorkingBaud, 9600);
    EXPECT_EQ(receiver.Talker(), "GN");
    const std::string later = Next(1500);
    EXPECT_GE(Count(later, "RMC,"), 1);
    iEngine->Stop();
    receiver.Stop();
  }
}

TEST_F(UbloxReceiverTest, BaudRateOfAReceiverSendingNoiseIsFoundWithinFiveSecondsAndRemembered) {
  // A receiver at 57600 on a port that starts at 9600, left at "Default" and its own fix rate.
  TUbloxSimulator receiver(TUbloxSimulator::ELegacy, TUbloxSimulator::ENormal, 57600);
  ASSERT_TRUE(receiver.Device().IsOpen());
  receiver.Start(9600, false);
  Connect(receiver, 93, 0, 0);
  ASSERT_TRUE(RunUntil([&] { return NoteIs(TGpsReceiverControl::ENoteBaudFound); }, 10000));
  const int64_t ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - iStart).count();
  std::printf("[ measured ] 57600 baud found %lld ms after the start\n", static_cast<long long>(ms));
  EXPECT_EQ(iEngine->GpsReceiverReport().iNoteValue, 57600);
  EXPECT_EQ(iEngine->GpsReceiverReport().iWorkingBaud, 57600);
  EXPECT_EQ(iEngine->GpsReceiverReport().iRememberBaud, 57600);
  EXPECT_EQ(PortBaud(receiver), 57600);
  RunFor(1200);
  // The noise heard at the wrong rates never reached the application.
  int good = 0;
  EXPECT_EQ(CountBadLines(iCollector.iData, good), 0);
  EXPECT_GE(good, 5);
  EXPECT_EQ(iCollector.iData.find('\x80'), std::string::npos);
  iEngine->Stop();

  // The next start goes straight to the rate that worked: no search, no note.
  Connect(receiver, 93, 0, 0, 57600);
  RunFor(1500);
  EXPECT_FALSE(NewNote());
  EXPECT_EQ(iEngine->GpsReceiverReport().iWorkingBaud, 57600);
  iEngine->Stop();

  receiver.Stop();

  // A receiver at a rate outside the search sends only noise at every rate tried: after the
  // search the port is back where it began, the note says so, and the bytes are passed on as
  // before.
  TUbloxSimulator noisy(TUbloxSimulator::ELegacy, TUbloxSimulator::ENormal, 230400);
  ASSERT_TRUE(noisy.Device().IsOpen());
  noisy.Start(9600, false);
  Connect(noisy, 95, 0, 0);
  ASSERT_TRUE(RunUntil([&] { return NoteIs(TGpsReceiverControl::ENoteNoSentences); }, 15000));
  std::printf("[ measured ] search given up %lld ms after the start\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - iStart).count()));
  EXPECT_EQ(PortBaud(noisy), 9600);
  const size_t before = iCollector.iData.size();
  RunFor(2200);
  EXPECT_GT(iCollector.iData.size(), before);
  iEngine->Stop();
  noisy.Stop();
}

}  // namespace

namespace {

// The device side of the model, with what it is told to remember recorded.
class CRememberingCore : public CCore {
 public:
  static CRememberingCore* NewL(MActiveSchedulerObserver* aScheduler) {
    return PwConstructL(new CRememberingCore, [&](CRememberingCore* aSelf) { aSelf->ConstructL(aScheduler); });
  }
  void GpsBaudRateFound(int32_t aBaud) override { iFound.push_back(aBaud); }
  std::vector<int32_t> iFound;
};

TEST_F(UbloxReceiverTest, TheStatusLineTellsWhatWasSetAndTheRateThatWorkedIsRemembered) {
  TUbloxSimulator receiver(TUbloxSimulator::EM10, TUbloxSimulator::ENormal, 9600);
  ASSERT_TRUE(receiver.Device().IsOpen());
  receiver.Start(9600);
  receiver.Device().MapPort(94);
  std::unique_ptr<CRememberingCore> core(CRememberingCore::NewL(&iScheduler));
  TDeviceSettings& settings = core->DefaultDeviceSettings();
  settings.iGpsType = MDeviceSettings::EGpsSerial;
  settings.iGpsPort = 94;
  settings.iGpsReceiverRate = 10;
  core->ConnectDevices({}, {}, {});
  CPwString line;
  ASSERT_TRUE(RunUntil(
      [&] { return core->DeviceStatusLine(line, false, u"") && line == CPwStringC(u"GPS receiver set to 10 Hz"); },
      10000))
      << PwToUtf8(line);
  EXPECT_EQ(receiver.Baud(), 38400);
  EXPECT_EQ(receiver.MeasMs(), 100);
  // The receiver runs at 38400 now: the next connection looks for it there first.
  RunFor(300);
  ASSERT_FALSE(core->iFound.empty());
  EXPECT_EQ(core->iFound.back(), 38400);
  core->StopAllDevices();
}

}  // namespace
