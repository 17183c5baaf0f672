// The ELM327 dialogue: the command sequence and its pauses, the sentences of each answer, the
// error count and the reader reset, the priority rotation, hostile input, the polling set-up on
// the application side, and the whole path against a reader simulated on a pseudo-terminal.
#include "acquisition/obd_parser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/core.h"
#include "acquisition/gps_client.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "foundation/scheduler.h"
#include "nmea_recorder.h"
#include "platform/loop_host.h"
#include "pty_device.h"
#include "support/run_until.h"

namespace {

using namespace std::chrono_literals;

std::atomic<uint32_t> gTick{1000};
uint32_t FakeTick() { return gTick.load(); }
// The GPS clock stands still, so every sentence carries the same time.
uint32_t FrozenTick() { return 5; }

constexpr PwTime KTime = PwTime::FromTimeOfDay(12, 34, 56, 789);

// One parser with its command and receive buffers, on a tick counter the test moves.
class Dialogue {
 public:
  explicit Dialogue(bool aSynchronised = true) : iClock(&FrozenTick) {
    gTick = 1000;
    if (aSynchronised) iClock.Synchronise(KTime);
    iParser = CObdParser::NewL(iClock);
    iParser->SetTickFunction(&FakeTick);
  }
  ~Dialogue() { delete iParser; }

  // Feeds what the reader sends; returns the commands that went out.
  std::string Feed(const std::string& aBytes) {
    iParser->AddInput(CPwByteArrayC(aBytes));
    return Process();
  }
  std::string Process() {
    iParser->Process(iCommands, iReceived);
    std::string out(iCommands.View());
    iCommands.SetLength(0);
    return out;
  }
  // Moves the tick counter on and lets the parser look at the time.
  std::string Advance(int32_t aMs) {
    gTick += static_cast<uint32_t>(aMs);
    return Process();
  }
  std::string TakeReceived() {
    std::string out(iReceived.View());
    iReceived.SetLength(0);
    return out;
  }
  // Start, echo off, bitmap: the parser then polls. Returns the first polling command.
  std::string ToPolling() {
    EXPECT_EQ(Process(), "");
    EXPECT_EQ(Advance(1000), "ATE0\r");
    EXPECT_EQ(Feed("OK\r\r>"), "01 00\r");
    return Feed("41 00 BE 3E B8 11\r\r>");
  }

  TGpsClock iClock;
  CObdParser* iParser = nullptr;
  CPwByteArray iCommands;
  CPwByteArray iReceived;
};

std::vector<std::string> Lines(const std::string& aText) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < aText.size()) {
    size_t end = aText.find("\r\n", pos);
    if (end == std::string::npos) {
      out.push_back(aText.substr(pos));
      break;
    }
    out.push_back(aText.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}

std::vector<std::string> ObdSentences(const std::string& aText) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(aText))
    if (line.rfind("$PWOBD,", 0) == 0) out.push_back(line);
  return out;
}

// --- The dialogue ---------------------------------------------------------------------------

TEST(ObdParser, FreshConnectionWaitsOneSecondForEchoOffThenAsksBitmapThenPolls) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0C, 2);
  EXPECT_EQ(d.Process(), "");  // the first call queues ATE0 behind its pause
  EXPECT_TRUE(d.iParser->CommandHeld());
  EXPECT_EQ(d.iParser->ProcessTimeoutMs(), 1000);
  EXPECT_EQ(d.Advance(999), "");
  EXPECT_EQ(d.iParser->ProcessTimeoutMs(), 1);
  EXPECT_EQ(d.Advance(1), "ATE0\r");
  EXPECT_EQ(d.iParser->State(), CObdParser::EEchoOff);
  EXPECT_EQ(d.Process(), "");  // nothing more until the prompt
  EXPECT_EQ(d.Feed("OK\r\r>"), "01 00\r");
  EXPECT_EQ(d.iParser->State(), CObdParser::ESupportedPids);
  EXPECT_EQ(d.Feed("41 00 BE 3E B8 11\r\r>"), "01 0C\r");
  EXPECT_EQ(d.iParser->State(), CObdParser::EPolling);
  EXPECT_EQ(d.Feed("41 0C 1A F8\r\r>"), "01 0C\r");
}

TEST(ObdParser, AnswerGivesOneChecksummedSentenceAndTheTraceOfTheDialogue) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0C, 2);
  d.ToPolling();
  d.TakeReceived();
  d.Feed("41 0C 1A F8\r");
  d.Feed("\r");
  EXPECT_EQ(d.TakeReceived(), "");  // nothing leaves before the prompt
  d.Feed(">");
  EXPECT_EQ(d.TakeReceived(),
            "$PWOBDD,123456.789,OUT,01 0C\r\n"
            "$PWOBDD,123456.789,IN,41 0C 1A F8\r\n"
            "$PWOBDD,123456.789,IN,>\r\n"
            "$PWOBD,123456.789,0C,41 0C 1A F8*56\r\n");
  // Empty lines between the answer and the prompt leave no trace.
  d.Feed("NO DATA\r\r>");
  const std::vector<std::string> lines = Lines(d.TakeReceived());
  EXPECT_EQ(lines, (std::vector<std::string>{"$PWOBDD,123456.789,OUT,01 0C", "$PWOBDD,123456.789,IN,NO DATA",
                                             "$PWOBDD,123456.789,IN,>", "$PWOBD,123456.789,0C,NO DATA*3F"}));
}

TEST(ObdParser, SentencesCarryNoTimeWhileTheGpsClockIsUnknown) {
  Dialogue d(false);
  d.iParser->AddObdChannel(0x0C, 2);
  d.ToPolling();
  d.TakeReceived();
  d.Feed("41 0C 1A F8\r\r>");
  EXPECT_EQ(ObdSentences(d.TakeReceived()), std::vector<std::string>{"$PWOBD,,0C,41 0C 1A F8*49"});
}

TEST(ObdParser, BitmapAnswerIsReportedAsPidZeroAndEchoOffAnswersAreNot) {
  Dialogue d;
  d.ToPolling();
  const std::vector<std::string> sentences = ObdSentences(d.TakeReceived());
  // "OK" of ATE0 is not a mode 01 answer; the bitmap is.
  EXPECT_EQ(sentences, std::vector<std::string>{"$PWOBD,123456.789,00,41 00 BE 3E B8 11*53"});
}

TEST(ObdParser, TwentyNoDataAnswersResetTheReaderThenFiveSecondsLaterEchoOffAndBitmap) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0D, 2);
  EXPECT_EQ(d.ToPolling(), "01 0D\r");
  for (int i = 1; i < 20; ++i) {
    EXPECT_EQ(d.Feed("NO DATA\r\r>"), "01 0D\r") << i;
    EXPECT_EQ(d.iParser->ErrorCount(), i);
  }
  EXPECT_EQ(d.Feed("NO DATA\r\r>"), "ATZ\r");
  EXPECT_EQ(d.iParser->State(), CObdParser::EResetting);
  EXPECT_EQ(d.iParser->ErrorCount(), 0);
  EXPECT_EQ(d.Feed("\r\rELM327 v1.5\r\r>"), "");
  EXPECT_EQ(d.iParser->State(), CObdParser::EEchoOffAgain);
  EXPECT_EQ(d.iParser->ProcessTimeoutMs(), 5000);
  EXPECT_EQ(d.Advance(4999), "");
  EXPECT_EQ(d.Advance(1), "ATE0\r");
  EXPECT_EQ(d.Feed("OK\r\r>"), "01 00\r");
  EXPECT_EQ(d.Feed("41 00 BE 3E B8 11\r\r>"), "01 0D\r");
}

TEST(ObdParser, ErrorWeightsAddUpAndAGoodAnswerClearsThem) {
  {
    Dialogue d;
    d.iParser->AddObdChannel(0x0D, 2);
    d.ToPolling();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.Feed("UNABLE TO CONNECT\r\r>"), "01 0D\r");
    EXPECT_EQ(d.iParser->ErrorCount(), 16);
    EXPECT_EQ(d.Feed("UNABLE TO CONNECT\r\r>"), "ATZ\r");
  }
  {
    Dialogue d;
    d.iParser->AddObdChannel(0x0D, 2);
    d.ToPolling();
    for (int i = 0; i < 16; ++i) d.Feed("NO DATA\r\r>");
    EXPECT_EQ(d.Feed("UNABLE TO CONNECT\r\r>"), "ATZ\r");
  }
  {
    Dialogue d;
    d.iParser->AddObdChannel(0x0D, 2);
    d.ToPolling();
    for (int i = 0; i < 19; ++i) d.Feed("NO DATA\r\r>");
    EXPECT_EQ(d.Feed("41 0D 64\r\r>"), "01 0D\r");
    EXPECT_EQ(d.iParser->ErrorCount(), 0);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(d.Feed("NO DATA\r\r>"), "01 0D\r");
    // Comparisons are exact: other spellings are ordinary lines.
    EXPECT_EQ(d.Feed("no data\r\r>"), "01 0D\r");
    EXPECT_EQ(d.iParser->ErrorCount(), 0);
  }
}

TEST(ObdParser, QuestionMarkRepeatsTheStatesCommand) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0C, 2);
  d.iParser->AddObdChannel(0x0D, 2);
  d.Process();
  EXPECT_EQ(d.Advance(1000), "ATE0\r");
  // In state 1 the repeat waits for its second again.
  EXPECT_EQ(d.Feed("?\r\r>"), "");
  EXPECT_EQ(d.iParser->State(), CObdParser::EEchoOff);
  EXPECT_EQ(d.Advance(1000), "ATE0\r");
  EXPECT_EQ(d.Feed("OK\r\r>"), "01 00\r");
  EXPECT_EQ(d.Feed("?\r\r>"), "01 00\r");
  EXPECT_EQ(d.Feed("41 00 BE 3E B8 11\r\r>"), "01 0C\r");
  // While polling the repeat asks the next PID of the rotation.
  EXPECT_EQ(d.Feed("?\r\r>"), "01 0D\r");
  EXPECT_EQ(d.iParser->State(), CObdParser::EPolling);
}

TEST(ObdParser, PromptsAndLinesSplitAnywhereGiveTheSameDialogue) {
  const std::string reader = "OK\r\r>41 00 BE 3E B8 11\r\r>41 0C 1A F8\n\r>NO DATA\r\n\r\n>41 0C 1A F9\r\r>";
  Dialogue whole;
  whole.iParser->AddObdChannel(0x0C, 2);
  whole.Process();
  std::string wholeCommands = whole.Advance(1000);
  // The reader only talks after a command; feed answer by answer.
  size_t pos = 0;
  while (pos < reader.size()) {
    size_t end = reader.find('>', pos) + 1;
    wholeCommands += whole.Feed(reader.substr(pos, end - pos));
    pos = end;
  }
  const std::string wholeReceived = whole.TakeReceived();

  Dialogue bytes;
  bytes.iParser->AddObdChannel(0x0C, 2);
  bytes.Process();
  std::string byteCommands = bytes.Advance(1000);
  for (char c : reader) byteCommands += bytes.Feed(std::string(1, c));
  EXPECT_EQ(byteCommands, wholeCommands);
  EXPECT_EQ(bytes.TakeReceived(), wholeReceived);
  EXPECT_EQ(ObdSentences(wholeReceived).size(), 4u);
  EXPECT_EQ(wholeCommands, "ATE0\r01 00\r01 0C\r01 0C\r01 0C\r01 0C\r");
}

TEST(ObdParser, PromptDuringAPauseDoesNotSkipTheHeldCommand) {
  Dialogue d;
  d.Process();
  EXPECT_EQ(d.Feed(">"), "");  // noise before ATE0 went out
  EXPECT_EQ(d.iParser->State(), CObdParser::EEchoOff);
  EXPECT_EQ(d.Advance(1000), "ATE0\r");
  EXPECT_EQ(d.Feed("OK\r\r>"), "01 00\r");
}

TEST(ObdParser, MissingPromptTimesOutAndCountsTowardsTheReset) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0D, 2);
  d.ToPolling();
  EXPECT_EQ(d.iParser->ProcessTimeoutMs(), CObdParser::KAnswerTimeoutMs);
  std::string sent;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(d.Advance(CObdParser::KAnswerTimeoutMs - 1), "");
    sent += d.Advance(1);
  }
  EXPECT_EQ(sent, "01 0D\r01 0D\r01 0D\r01 0D\rATZ\r");
  // A reader that never answers at all still cycles through the reset.
  EXPECT_EQ(d.Advance(CObdParser::KAnswerTimeoutMs), "");
  EXPECT_EQ(d.iParser->State(), CObdParser::EEchoOffAgain);
  EXPECT_EQ(d.Advance(CObdParser::KResetPauseMs), "ATE0\r");
}

TEST(ObdParser, ResetStartsAgainWithEmptyListsAndBuffers) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0C, 2);
  d.iParser->AddObdChannel(0x05, 1);
  d.ToPolling();
  d.Feed("41 0C");  // half a line
  d.iParser->Reset();
  EXPECT_EQ(d.iParser->State(), CObdParser::ENotStarted);
  EXPECT_FALSE(d.iParser->Started());
  EXPECT_EQ(d.iParser->HighPriorityCount(), 0);
  EXPECT_EQ(d.iParser->LowPriorityCount(), 0);
  EXPECT_EQ(d.iParser->BufferedInput(), 0);
  EXPECT_EQ(d.iParser->ProcessTimeoutMs(), -1);
  d.TakeReceived();
  EXPECT_EQ(d.ToPolling(), "01 00\r");  // empty lists poll the bitmap
  EXPECT_EQ(d.Feed("41 00 BE 3E B8 11\r\r>"), "01 00\r");
}

// --- The rotation ---------------------------------------------------------------------------

std::string Rotation(CObdParser& aParser, int aCount) {
  std::string out;
  for (int i = 0; i < aCount; ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", aParser.NextPid());
    out += std::string(buf) + (i + 1 < aCount ? " " : "");
  }
  return out;
}

TEST(ObdParser, OneLowPriorityPidAfterEveryFivePassesOverTheHighPriorityList) {
  Dialogue d;
  CObdParser& p = *d.iParser;
  EXPECT_EQ(Rotation(p, 3), "00 00 00");
  p.AddObdChannel(0x05, 1);
  p.AddObdChannel(0x0F, 0);  // any priority but 2 is low
  EXPECT_EQ(Rotation(p, 5), "05 0F 05 0F 05");
  p.ClearObdChannels();
  p.AddObdChannel(0x0C, 2);
  p.AddObdChannel(0x0D, 2);
  p.AddObdChannel(0x11, 2);
  p.AddObdChannel(0x05, 1);
  p.AddObdChannel(0x0F, 1);
  const std::string five = "0C 0D 11 0C 0D 11 0C 0D 11 0C 0D 11 0C 0D 11";
  EXPECT_EQ(Rotation(p, 16 * 3), five + " 05 " + five + " 0F " + five + " 05");
  // Without low-priority PIDs the fifth pass just goes on.
  p.ClearObdChannels();
  p.AddObdChannel(0x0C, 2);
  EXPECT_EQ(Rotation(p, 7), "0C 0C 0C 0C 0C 0C 0C");
}

TEST(ObdParser, FullListsIgnoreFurtherPids) {
  Dialogue d;
  CObdParser& p = *d.iParser;
  for (int i = 0; i < 256; ++i) p.AddObdChannel(i, 2);
  p.AddObdChannel(0x0C, 2);
  p.AddObdChannel(300, 1);  // not a PID
  p.AddObdChannel(-1, 1);
  EXPECT_EQ(p.HighPriorityCount(), 256);
  EXPECT_EQ(p.HighPriorityPid(255), 0xFF);
  EXPECT_EQ(p.LowPriorityCount(), 0);
  p.AddObdChannel(0x0C, 1);
  p.AddObdChannel(0x0C, 1);  // duplicates are kept
  EXPECT_EQ(p.LowPriorityCount(), 2);
}

// --- Hostile input --------------------------------------------------------------------------

TEST(ObdParser, NoiseNeverGrowsTheBuffersWithoutBoundOrBreaksTheDialogue) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0C, 2);
  d.ToPolling();
  std::mt19937 random(7);
  std::string noise(300000, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0x7F);
  for (size_t pos = 0; pos < noise.size(); pos += 2048) {
    d.Feed(noise.substr(pos, 2048));
    ASSERT_LT(d.iParser->BufferedInput(), CObdParser::KInputLimit);
    d.TakeReceived();
  }
  // Noise without any line end is dropped once it reaches the limit.
  std::string letters(2048, 'A');
  for (int i = 0; i < 60; ++i) d.Feed(letters);
  EXPECT_LT(d.iParser->BufferedInput(), CObdParser::KInputLimit);
  // A chunk of the limit or more replaces what was buffered.
  d.Feed(std::string(CObdParser::KInputLimit, 'B'));
  EXPECT_LE(d.iParser->BufferedInput(), CObdParser::KInputLimit);
  // Lines without a prompt leave as trace before they pile up.
  d.TakeReceived();
  for (int i = 0; i < 20000; ++i) d.Feed("41 0C 00 00\r");
  EXPECT_FALSE(d.TakeReceived().empty());
  // The dialogue goes on as soon as the reader talks sense again.
  d.Feed("\r\r>");
  d.TakeReceived();
  d.Feed("41 0C 1A F8\r\r>");
  EXPECT_EQ(ObdSentences(d.TakeReceived()), std::vector<std::string>{"$PWOBD,123456.789,0C,41 0C 1A F8*56"});
}

// --- Application side -----------------------------------------------------------------------

// Records what the GPS client forwards to the OBD engine.
class CPollingEngine : public MDataEngineBase {
 public:
  void StartBluetooth(MDataObserver*, const TPwBtAddr&, int32_t, int32_t, TDataKind) override {}
  void StartSerial(MDataObserver*, int32_t, int32_t, TDataKind) override {}
  void StartFile(MDataObserver*, CPwStringC, TDataKind) override {}
  void StartPlatform(MDataObserver*, TDataKind) override {}
  void Stop() override {}
  void ResetClock() override {}
  int32_t Status() const override { return 1; }
  void ClearObdChannels() override { iCalls.push_back("clear"); }
  void AddObdChannel(int32_t aPid, int32_t aPriority) override {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02X/%d", aPid, aPriority);
    iCalls.push_back(buf);
  }
  std::vector<std::string> iCalls;
};

class CPollingModel : public MDeviceModel {
 public:
  MDataEngineBase* DeviceConnection(int32_t aIndex) override { return aIndex == EObdConnection ? &iEngine : nullptr; }
  const MDeviceSettings& DeviceSettings() const override { return iSettings; }
  void DeviceDataReceived(TDataKind, CPwByteArrayC) override {}
  void DeviceStatusChanged(TDataKind) override {}
  CPollingEngine iEngine;
  TDeviceSettings iSettings;
};

TEST(ObdPolling, SupportedChannelsOfTheSettingsSetsArePolledByPriorityAfterTheRangeQuery) {
  CObdChannelList* channels = CObdChannelList::NewL();
  CPollingModel model;
  CGpsClient* client = CGpsClient::NewL(model);
  const uint8_t bitmap[] = {0x41, 0x00, 0xBE, 0x3E, 0xB8, 0x11};
  uint32_t raw = 0;
  EXPECT_FALSE(channels->Decode(bitmap, 6, 0x00, raw));
  ASSERT_TRUE(channels->RebuildFlag());

  const TChannelId high[] = {23, 24};
  const TChannelId low[] = {26, 29, 30};  // airflow (0x10) is not supported by this vehicle
  TObdPollingChoice choice;
  choice.iHighPriority = high;
  choice.iHighPriorityCount = 2;
  choice.iLowPriority = low;
  choice.iLowPriorityCount = 3;
  SetUpObdPolling(*channels, *client, choice);
  EXPECT_EQ(model.iEngine.iCalls, (std::vector<std::string>{"clear", "20/2", "05/1", "0C/2", "0D/2", "0F/1"}));
  EXPECT_FALSE(channels->RebuildFlag());

  // Performance testing on OBD speed polls the speed alone (after the range query).
  model.iEngine.iCalls.clear();
  choice.iSpeedOnly = true;
  SetUpObdPolling(*channels, *client, choice);
  EXPECT_EQ(model.iEngine.iCalls, (std::vector<std::string>{"clear", "20/2", "0D/2"}));

  // Nothing known about the vehicle: the bitmap is polled by the empty lists.
  model.iEngine.iCalls.clear();
  channels->Forget();
  choice.iSpeedOnly = false;
  SetUpObdPolling(*channels, *client, choice);
  EXPECT_EQ(model.iEngine.iCalls, std::vector<std::string>{"clear"});
  delete client;
  delete channels;
}

TEST(ObdPolling, SentencesDecodeOnTheApplicationSideIntoRawValues) {
  Dialogue d;
  d.iParser->AddObdChannel(0x0C, 2);
  d.iParser->AddObdChannel(0x0D, 2);
  d.ToPolling();
  d.Feed("41 0C 1A F8\r\r>");
  d.Feed("41 0D 64\r\r>");
  d.Feed("NO DATA\r\r>");
  CNmeaParser* parser = CNmeaParser::NewL(0);
  CObdChannelList* channels = CObdChannelList::NewL();
  CChannelState* state = CChannelState::NewL();
  pwtest::TNmeaRecorder recorder;
  const std::string received = d.TakeReceived();
  parser->Parse(CPwByteArrayC(received), &recorder, nullptr, channels, state, nullptr);
  ASSERT_EQ(recorder.iObd.size(), 2u);
  EXPECT_EQ(recorder.iObd[0].iPid, 0x0C);
  EXPECT_EQ(recorder.iObd[0].iRaw, 0x1AF8u);
  EXPECT_EQ(recorder.iObd[0].iTime, KTime.Milliseconds());
  EXPECT_EQ(recorder.iObd[1].iPid, 0x0D);
  EXPECT_DOUBLE_EQ(channels->ScaledValue(0x0C, recorder.iObd[0].iRaw), 1726.0);
  EXPECT_EQ(recorder.iObdDone, 4);  // bitmap, RPM, speed, NO DATA
  // The bitmap taught the channel list what the vehicle supports.
  EXPECT_EQ(channels->ChannelByPid(0x0C)->SupportState(), CObdChannel::ESupported);
  EXPECT_EQ(channels->PendingRangeQuery(), 0x20);
  delete state;
  delete channels;
  delete parser;
}

// --- A reader on a pseudo-terminal ----------------------------------------------------------

// An ELM327 played on the master side of a pseudo-terminal: echo until ATE0, "?" for what it
// does not know, the bitmap, RPM and speed answers or "NO DATA", prompts split from their
// answers, and a silent mode that never prompts.
class TElmSimulator {
 public:
  explicit TElmSimulator(pwtest::TPtyDevice& aDevice) : iDevice(aDevice) {
    iThread = std::thread([this] { Main(); });
  }
  ~TElmSimulator() {
    iRunning = false;
    iThread.join();
  }
  std::vector<std::string> Commands() {
    std::lock_guard<std::mutex> guard(iLock);
    return iCommands;
  }
  size_t CommandCount() {
    std::lock_guard<std::mutex> guard(iLock);
    return iCommands.size();
  }
  std::atomic<bool> iNoData{false};
  std::atomic<bool> iSilent{false};

 private:
  void Main() {
    std::string pending;
    bool echo = true;
    char buf[256];
    while (iRunning) {
      pollfd p{iDevice.Master(), POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      const ssize_t n = ::read(iDevice.Master(), buf, sizeof buf);
      if (n <= 0) continue;
      pending.append(buf, static_cast<size_t>(n));
      size_t cr;
      while ((cr = pending.find('\r')) != std::string::npos) {
        const std::string command = pending.substr(0, cr);
        pending.erase(0, cr + 1);
        {
          std::lock_guard<std::mutex> guard(iLock);
          iCommands.push_back(command);
        }
        if (iSilent) continue;
        std::string answer;
        if (echo) answer += command + "\r";
        if (command == "ATE0") {
          echo = false;
          answer += "OK";
        } else if (command == "ATZ") {
          echo = true;
          answer += "\rELM327 v1.5";
        } else if (command == "01 00") {
          answer += "41 00 BE 3E B8 11";
        } else if (iNoData && command.rfind("01 ", 0) == 0) {
          answer += "NO DATA";
        } else if (command == "01 0C") {
          answer += "41 0C 1A F8";
        } else if (command == "01 0D") {
          answer += "41 0D 64";
        } else if (command.rfind("01 ", 0) == 0) {
          answer += "NO DATA";
        } else {
          answer += "?";
        }
        iDevice.Send(answer + "\r");
        std::this_thread::sleep_for(2ms);  // the prompt in a read of its own
        iDevice.Send("\r>");
      }
    }
  }

  pwtest::TPtyDevice& iDevice;
  std::atomic<bool> iRunning{true};
  std::thread iThread;
  std::mutex iLock;
  std::vector<std::string> iCommands;
};

// The OBD handler with short pauses, so the reset cycle runs in a second.
CProtocolHandler* ShortPauseHandlers(TDataKind aKind, TGpsClock& aClock) {
  CProtocolHandler* handler = NewDeviceProtocolHandlerL(aKind, aClock);
  if (aKind == TDataKind::Obd) static_cast<CObdParser*>(handler)->SetPauses(200, 300);
  return handler;
}

// The track session's part: polling rebuilt after each sentence whose bitmap changed things.
class CPollingSession : public pwtest::TNmeaRecorder {
 public:
  void ObdSentenceDone() override {
    pwtest::TNmeaRecorder::ObdSentenceDone();
    if (!iCore || !iCore->ObdChannels().RebuildFlag()) return;
    static const TChannelId high[] = {23, 24};
    TObdPollingChoice choice;
    choice.iHighPriority = high;
    choice.iHighPriorityCount = 2;
    SetUpObdPolling(iCore->ObdChannels(), iCore->GpsClient(), choice);
    ++iRebuilds;
  }
  CCore* iCore = nullptr;
  int iRebuilds = 0;
};

class ObdReaderTest : public ::testing::Test {
 protected:
  ObdReaderTest() {
    iCore = CCore::NewL(&iScheduler);
    iCore->SetProtocolHandlerFactory(&ShortPauseHandlers);
    iCore->SetParsedDataObserver(&iSession);
    iSession.iCore = iCore;
    iCore->DefaultDeviceSettings().iObdType = MDeviceSettings::EObdSerial;
    iCore->DefaultDeviceSettings().iObdPort = 83;
    iCore->DefaultDeviceSettings().iObdBaud = 384;
    iCore->GpsClock().Synchronise(KTime);
    iDevice.MapPort(83);
  }
  ~ObdReaderTest() override {
    delete iCore;
    pwtest::TPtyDevice::UnmapPort(83);
  }

  bool RunUntil(const std::function<bool()>& aDone, int aTimeoutMs) {
    return pwtest::RunLoopUntil(iHost, iScheduler, aDone, std::chrono::milliseconds(aTimeoutMs), {},
                                std::chrono::milliseconds(5));
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  pwtest::TPtyDevice iDevice;
  CPollingSession iSession;
  CCore* iCore = nullptr;
};

TEST_F(ObdReaderTest, DialogueAndSentencesReachTheApplicationAndPollingFollowsTheBitmap) {
  ASSERT_TRUE(iDevice.IsOpen());
  TElmSimulator elm(iDevice);
  const auto start = std::chrono::steady_clock::now();
  iCore->GpsClient().StartObd(TPwBtAddr(), -1);
  ASSERT_TRUE(RunUntil([&] { return elm.CommandCount() >= 1; }, 5000));
  // The echo-off pause happens on the reader thread without holding up this one.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
  ASSERT_TRUE(RunUntil([&] { return iSession.iObd.size() >= 6; }, 10000));
  const std::vector<std::string> commands = elm.Commands();
  ASSERT_GE(commands.size(), 5u);
  EXPECT_EQ(commands[0], "ATE0");
  EXPECT_EQ(commands[1], "01 00");
  // The bitmap is polled until the session has rebuilt the lists from its answer: then the
  // range query, RPM and speed.
  size_t i = 2;
  while (i < commands.size() && commands[i] == "01 00") ++i;
  ASSERT_LT(i + 3, commands.size());
  EXPECT_EQ(commands[i], "01 20");
  EXPECT_EQ(commands[i + 1], "01 0C");
  EXPECT_EQ(commands[i + 2], "01 0D");
  EXPECT_EQ(commands[i + 3], "01 20");
  EXPECT_GE(iSession.iRebuilds, 1);
  for (const auto& obd : iSession.iObd) {
    EXPECT_TRUE(obd.iPid == 0x0C || obd.iPid == 0x0D) << obd.iPid;
    EXPECT_EQ(obd.iRaw, obd.iPid == 0x0C ? 0x1AF8u : 0x64u);
    EXPECT_GE(obd.iTime, KTime.Milliseconds());
  }
  EXPECT_NEAR(iCore->ChannelState().Value(KChannelObdRpm), 1726.0, 1e-9);
  EXPECT_EQ(iCore->GpsClient().ObdStatus(), CGpsClient::EConnected);
}

TEST_F(ObdReaderTest, TwentyNoDataAnswersResetTheReaderOnTheLine) {
  ASSERT_TRUE(iDevice.IsOpen());
  TElmSimulator elm(iDevice);
  elm.iNoData = true;
  iCore->GpsClient().StartObd(TPwBtAddr(), -1);
  auto count = [&](const std::string& aCommand) {
    int n = 0;
    for (const std::string& c : elm.Commands()) n += c == aCommand;
    return n;
  };
  ASSERT_TRUE(RunUntil([&] { return count("ATZ") >= 1 && count("ATE0") >= 2 && elm.Commands().back() != "ATE0"; },
                       15000));
  std::vector<std::string> commands = elm.Commands();
  size_t atz = 0;
  while (atz < commands.size() && commands[atz] != "ATZ") ++atz;
  ASSERT_LT(atz + 2, commands.size());
  // The polls answered NO DATA twenty times in a row before the reset; the bitmap answers
  // before the lists were set were good ones.
  int polls = 0;
  for (size_t i = atz; i-- > 0 && commands[i] != "01 00";) ++polls;
  EXPECT_EQ(polls, 20);
  EXPECT_EQ(commands[atz + 1], "ATE0");
  EXPECT_EQ(commands[atz + 2], "01 00");
}

TEST_F(ObdReaderTest, ReaderThatNeverPromptsStallsOnlyTheDialogueAndStopsPromptly) {
  ASSERT_TRUE(iDevice.IsOpen());
  TElmSimulator elm(iDevice);
  elm.iSilent = true;
  iCore->GpsClient().StartObd(TPwBtAddr(), -1);
  ASSERT_TRUE(RunUntil([&] { return elm.CommandCount() >= 1; }, 5000));
  // Noise at the wrong baud rate meanwhile: dropped or traced, never a hang.
  std::mt19937 random(3);
  std::string noise(20000, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  for (char& c : noise)
    if (c == '>') c = '<';
  iDevice.Send(noise);
  // The application thread keeps running (counted in its own turns, at least a second's worth
  // of ticks, however slowly a busy machine gives them) and no second command goes out, well
  // inside the answer time-out.
  int turns = 0;
  bool second = false;
  const auto waitStart = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunUntil(
      [&] {
        second = second || elm.CommandCount() > 1;
        return ++turns >= 200;
      },
      CObdParser::KAnswerTimeoutMs / 2));
  ASSERT_LT(std::chrono::steady_clock::now() - waitStart, std::chrono::milliseconds(CObdParser::KAnswerTimeoutMs));
  EXPECT_FALSE(second);
  EXPECT_EQ(elm.CommandCount(), 1u);
  // Stopping does not wait out the answer time-out or the reader's join limit.
  const auto before = std::chrono::steady_clock::now();
  iCore->GpsClient().StopAll();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

}  // namespace
