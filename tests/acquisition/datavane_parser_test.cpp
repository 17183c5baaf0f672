// The data logger's sentences: classification and checksums, the counter extension, the
// synchronisation of the counter with GPS time (constant, drifting and jittery loggers,
// midnight), the rewritten sentences, hostile input, and a logger on a pseudo-terminal while the
// GPS clock runs.
#include "acquisition/datavane_parser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/core.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_parser.h"
#include "foundation/scheduler.h"
#include "nmea_recorder.h"
#include "platform/loop_host.h"
#include "pty_device.h"
#include "support/run_until.h"

namespace {

using namespace std::chrono_literals;
using pwtest::Nmea;

std::atomic<uint32_t> gTick{0};
uint32_t FakeTick() { return gTick.load(); }

class Logger {
 public:
  Logger() : iClock(&FakeTick) {
    gTick = 0;
    iParser = CDatavaneParser::NewL(iClock);
  }
  ~Logger() { delete iParser; }

  // Feeds the bytes; returns the sentences that left.
  std::string Feed(const std::string& aBytes) {
    iParser->AddInput(CPwByteArrayC(aBytes));
    iParser->Process(iCommands, iReceived);
    EXPECT_TRUE(iCommands.IsEmpty());
    std::string out(iReceived.View());
    iReceived.SetLength(0);
    return out;
  }
  // One "$PW1" line with counter aCounter at GPS clock tick aTickMs.
  std::string Sample(int32_t aCounter, uint32_t aTickMs, const std::string& aValues = "1,2,3") {
    gTick = aTickMs;
    return Feed("$PW1,0," + std::to_string(aCounter) + "," + aValues + "\r\n");
  }

  TGpsClock iClock;
  CDatavaneParser* iParser = nullptr;
  CPwByteArray iCommands;
  CPwByteArray iReceived;
};

// The time field of a rewritten sentence in ms of the day, -1 when empty.
int32_t TimeOf(const std::string& aSentence) {
  const size_t comma = aSentence.find(',');
  const std::string field = aSentence.substr(comma + 1, aSentence.find(',', comma + 1) - comma - 1);
  if (field.empty()) return -1;
  PwTime t;
  if (!t.ParseTimeOfDay(CPwByteArrayC(field))) return -2;
  return t.Milliseconds();
}

TEST(DatavaneParser, ClassifiesByNameAndChecksum) {
  CPwByteArrayC rest;
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("$PW1,17,5000,1"), rest), CDatavaneParser::ETypePw1);
  EXPECT_EQ(rest, CPwByteArrayC("17,5000,1"));
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("$PW2,17,5000,1"), rest), CDatavaneParser::ETypePw2);
  const std::string good = Nmea("PW1,17,5000,1", "");
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC(good), rest), CDatavaneParser::ETypePw1);
  EXPECT_EQ(rest, CPwByteArrayC("17,5000,1"));
  std::string lower = good;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  lower.replace(0, 4, "$PW1");
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC(lower), rest), CDatavaneParser::ETypePw1);
  std::string bad = good;
  bad[bad.size() - 1] = bad[bad.size() - 1] == '0' ? '1' : '0';
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC(bad), rest), CDatavaneParser::ETypeNone);
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("$PW1,17,5000,1*G0"), rest), CDatavaneParser::ETypeNone);
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("$PW1"), rest), CDatavaneParser::ETypeNone);  // too short
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("PW1,17,5000"), rest), CDatavaneParser::ETypeNone);
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("$PW12,17,5000"), rest), CDatavaneParser::ETypeNone);
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC(Nmea("GPGGA,120000,4807.0,N", "")), rest),
            CDatavaneParser::ETypeNone);
  EXPECT_EQ(CDatavaneParser::Classify(CPwByteArrayC("$PWACC,1,2,3"), rest), CDatavaneParser::ETypeNone);
}

TEST(DatavaneParser, RewrittenSentenceCarriesTheSampleTimeAndTheLoggersCounter) {
  Logger l;
  l.iClock.Synchronise(PwTime::FromTimeOfDay(9, 59, 59, 750));
  EXPECT_EQ(l.Sample(4950, 0, "-45,12,98"), Nmea("PW1,,4950,-45,12,98"));
  // Fifty counts later the first rate is measured and the time line starts at the clock.
  const std::string out = l.Sample(5000, 500, "-45,12,98");
  EXPECT_EQ(out, Nmea("PW1,100000.250,5000,-45,12,98"));
  EXPECT_EQ(l.iParser->SampleTime(5000), PwTime::FromTimeOfDay(10, 0, 0, 250));
  EXPECT_EQ(l.iParser->SpanTime(), PwTime(500));
  EXPECT_EQ(l.iParser->SpanCount(), 50);
  // The logger's own field never survives; a checksum on the input is optional.
  EXPECT_EQ(TimeOf(l.Feed(Nmea("PW2,99,5001,7,8"))), PwTime::FromTimeOfDay(10, 0, 0, 260).Milliseconds());
  gTick = 520;
  EXPECT_EQ(l.Feed(Nmea("PW2,99,5002,7,8")), Nmea("PW2,100000.270,5002,7,8"));
}

TEST(DatavaneParser, CounterWrapsAreExtendedAndEmittedModulo65536) {
  Logger l;  // the clock is unknown: no times, the counter is extended all the same
  std::string out;
  const int32_t counters[] = {65534, 65535, 0, 1};
  std::vector<int32_t> extended;
  for (int32_t c : counters) {
    out += l.Sample(c, 0, "5");
    extended.push_back(l.iParser->Counter());
  }
  EXPECT_EQ(extended, (std::vector<int32_t>{65534, 65535, 65536, 65537}));
  EXPECT_EQ(out, Nmea("PW1,,65534,5") + Nmea("PW1,,65535,5") + Nmea("PW1,,0,5") + Nmea("PW1,,1,5"));
  // A counter the logger sends beyond 16 bits is taken modulo 65536 (here 0: a wrap).
  l.Sample(65536, 0, "5");
  EXPECT_EQ(l.iParser->Counter(), 2 * 65536);
}

TEST(DatavaneParser, LinesThatAreNotLoggerSentencesProduceNothing) {
  Logger l;
  EXPECT_NE(l.Sample(100, 0), "");
  // Not even the previous sentence again.
  EXPECT_EQ(l.Feed(Nmea("GPGGA,120000.00,4807.0,N,01135.0,E,1,08,0.9,520.0,M,47.0,M,,")), "");
  EXPECT_EQ(l.Feed("$PW1,0,101,1,2,3*00\r\n"), "");  // bad checksum
  EXPECT_EQ(l.Feed("$PW1,0,abc,1,2,3\r\n"), "");  // no counter
  EXPECT_EQ(l.Feed("$PW1,0\r\n"), "");
  EXPECT_EQ(l.Feed("$PW1,0,101\r\n"), "");  // no values
  EXPECT_EQ(l.Feed("$PW1\r\n$\r\n\r\n"), "");
  EXPECT_EQ(l.Feed("$PW1,0,102,1\n$PW1,0,103,1\r\n"), "");  // a lone LF ends nothing
  // The line without values still counted; the broken ones did not.
  EXPECT_EQ(l.iParser->Counter(), 101);
  EXPECT_EQ(l.Feed("$PW1,0,+104,1\r\n"), Nmea("PW1,,104,1"));
}

TEST(DatavaneParser, ConstantRateGivesExactTimesAndTheIntervalGrowsToThreeHundred) {
  Logger l;
  l.iClock.Synchronise(PwTime::FromTimeOfDay(10, 0, 0, 0));
  std::vector<int32_t> syncPoints;
  int32_t lastReference = -1;
  for (int32_t i = 0; i <= 2000; ++i) {
    const std::string out = l.Sample(1000 + i, static_cast<uint32_t>(i * 10));
    if (l.iParser->ReferenceCounter() != lastReference) {
      lastReference = l.iParser->ReferenceCounter();
      syncPoints.push_back(lastReference);
    }
    if (i < 50) {
      EXPECT_EQ(TimeOf(out), -1) << i;
    } else {
      EXPECT_EQ(TimeOf(out), PwTime::FromTimeOfDay(10, 0, 0, 0).Milliseconds() + i * 10) << i;
    }
  }
  std::vector<int32_t> intervals;
  for (size_t i = 1; i < syncPoints.size(); ++i) intervals.push_back(syncPoints[i] - syncPoints[i - 1]);
  ASSERT_GE(intervals.size(), 8u);
  EXPECT_EQ(std::vector<int32_t>(intervals.begin(), intervals.begin() + 8),
            (std::vector<int32_t>{50, 100, 150, 200, 250, 300, 300, 300}));
  EXPECT_EQ(l.iParser->Interval(), 300);
}

TEST(DatavaneParser, TimesFollowALoggerThatRunsFastThroughTheJitterOfTheLink) {
  Logger l;
  const int32_t start = PwTime::FromTimeOfDay(14, 0, 0, 0).Milliseconds();
  l.iClock.Synchronise(PwTime(start));
  std::mt19937 random(11);
  std::uniform_int_distribution<int> jitter(0, 30);
  // 100 Hz by the logger's crystal, which runs 0.5 % fast; lines reach us up to 30 ms late.
  double worst = 0;
  for (int32_t i = 0; i <= 30000; ++i) {
    const double trueMs = i * 10.0 / 1.005;
    const std::string out = l.Sample(i & 0xFFFF, static_cast<uint32_t>(trueMs + jitter(random)));
    // Lines arrive 15 ms late on average, so that is where the time line settles.
    if (i > 3000) worst = std::max(worst, std::fabs(TimeOf(out) - (start + trueMs + 15.0)));
  }
  EXPECT_LT(worst, 25.0);
  // The measured rate is the logger's, within the jitter over the span.
  const double msPerCount = l.iParser->SpanTime().Milliseconds() / static_cast<double>(l.iParser->SpanCount());
  EXPECT_NEAR(msPerCount, 10.0 / 1.005, 0.15);
}

TEST(DatavaneParser, RateStaysWhenTheClockOrTheCounterDoesNotAdvance) {
  Logger l;
  l.iClock.Synchronise(PwTime::FromTimeOfDay(8, 0, 0, 0));
  for (int32_t i = 0; i <= 50; ++i) l.Sample(i, static_cast<uint32_t>(i * 20));
  ASSERT_EQ(l.iParser->SpanTime(), PwTime(1000));
  ASSERT_EQ(l.iParser->SpanCount(), 50);
  // The clock stands still for the next interval: dt is 0.
  for (int32_t i = 51; i <= 150; ++i) l.Sample(i, 1000);
  EXPECT_EQ(l.iParser->ReferenceCounter(), 150);
  EXPECT_EQ(l.iParser->SpanTime(), PwTime(1000));
  EXPECT_EQ(l.iParser->SpanCount(), 50);
  EXPECT_EQ(l.iParser->SampleTime(150), PwTime::FromTimeOfDay(8, 0, 3, 0));
  // Repeated counters never reach the next synchronisation point.
  for (int32_t i = 0; i < 500; ++i) l.Sample(150, static_cast<uint32_t>(2000 + i));
  EXPECT_EQ(l.iParser->ReferenceCounter(), 150);
}

TEST(DatavaneParser, TimeLineRunsOnThroughMidnight) {
  Logger l;
  const int32_t start = PwTime::KDay - 10000;  // 23:59:50
  l.iClock.Synchronise(PwTime(start));
  int32_t previous = -1;
  for (int32_t i = 0; i <= 4000; ++i) {
    const std::string out = l.Sample(i, static_cast<uint32_t>(i * 10));
    if (i < 50) continue;
    const int32_t expected = (start + i * 10) % PwTime::KDay;
    ASSERT_EQ(TimeOf(out), expected) << i;
    previous = expected;
  }
  EXPECT_EQ(previous, 30000);  // 00:00:30
  EXPECT_EQ(l.iParser->SpanTime().Milliseconds(), 3000);  // still the true rate after midnight
}

TEST(DatavaneParser, NoiseIsBoundedAndResetForgetsEverything) {
  Logger l;
  l.iClock.Synchronise(PwTime::FromTimeOfDay(8, 0, 0, 0));
  for (int32_t i = 0; i <= 100; ++i) l.Sample(i, static_cast<uint32_t>(i * 10));
  std::mt19937 random(5);
  std::string noise(2048, '\0');
  for (int n = 0; n < 200; ++n) {
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    l.Feed(noise);
    ASSERT_LT(l.iParser->BufferedInput(), CDatavaneParser::KInputLimit);
  }
  for (int n = 0; n < 60; ++n) l.Feed(std::string(2048, 'x'));
  EXPECT_LT(l.iParser->BufferedInput(), CDatavaneParser::KInputLimit);
  l.iParser->Reset();
  EXPECT_EQ(l.iParser->BufferedInput(), 0);
  EXPECT_EQ(l.iParser->Counter(), 0);
  EXPECT_FALSE(l.iParser->BaseTime().IsSet());
  EXPECT_FALSE(l.iParser->ReferenceTime().IsSet());
  EXPECT_EQ(l.iParser->Interval(), 50);
  EXPECT_EQ(TimeOf(l.Sample(7, 2000)), -1);
}

TEST(DatavaneParser, RewrittenSentencesDecodeIntoLoggerChannels) {
  Logger l;
  l.iClock.Synchronise(PwTime::FromTimeOfDay(10, 0, 0, 0));
  std::string out;
  for (int32_t i = 0; i <= 60; ++i) {
    gTick = static_cast<uint32_t>(i * 10);
    out += l.Feed("$PW2,0," + std::to_string(i) + ",-46,12,98,1,0,10,20,30,40,50,60,70,80\r\n");
  }
  CNmeaParser* parser = CNmeaParser::NewL(0);
  pwtest::TNmeaRecorder recorder;
  parser->Parse(CPwByteArrayC(out), &recorder, nullptr, nullptr, nullptr, nullptr);
  // Sentences without a time are ignored by the parser.
  ASSERT_EQ(recorder.iChannels.size(), 11u);
  EXPECT_EQ(recorder.iChannels[0].iTime, PwTime::FromTimeOfDay(10, 0, 0, 500).Milliseconds());
  bool sawLateral = false;
  for (const auto& [channel, value] : recorder.iChannels[0].iValues) {
    if (channel == KChannelLoggerLateralG) {
      sawLateral = true;
      EXPECT_DOUBLE_EQ(value, -0.46);
    }
  }
  EXPECT_TRUE(sawLateral);
  delete parser;
}

// --- A logger on a pseudo-terminal ----------------------------------------------------------

class LoggerReaderTest : public ::testing::Test {
 protected:
  LoggerReaderTest() {
    iCore = CCore::NewL(&iScheduler);
    iCore->SetProtocolHandlerFactory(&NewDeviceProtocolHandlerL);
    iCore->SetParsedDataObserver(&iRecorder);
    iCore->DefaultDeviceSettings().iLoggerType = MDeviceSettings::ELoggerDatavaneSerial;
    iCore->DefaultDeviceSettings().iLoggerPort = 84;
    iDevice.MapPort(84);
  }
  ~LoggerReaderTest() override {
    delete iCore;
    pwtest::TPtyDevice::UnmapPort(84);
  }

  bool RunUntil(const std::function<bool()>& aDone, int aTimeoutMs) {
    return pwtest::RunLoopUntil(iHost, iScheduler, aDone, std::chrono::milliseconds(aTimeoutMs), {},
                                std::chrono::milliseconds(5));
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  pwtest::TPtyDevice iDevice;
  pwtest::TNmeaRecorder iRecorder;
  CCore* iCore = nullptr;
};

TEST_F(LoggerReaderTest, SentencesCarryGpsTimesThatFollowTheLoggersRate) {
  ASSERT_TRUE(iDevice.IsOpen());
  iCore->GpsClock().Synchronise(PwTime::FromTimeOfDay(11, 0, 0, 0));
  iCore->GpsClient().StartLogger(TPwBtAddr(), -1);
  ASSERT_TRUE(RunUntil([&] { return iCore->GpsClient().LoggerStatus() == CGpsClient::EConnected; }, 5000));

  // The logger writes at 50 Hz on a thread of its own, its counter wrapping on the way, with
  // some noise on the line.
  std::atomic<bool> writing{true};
  std::thread logger([&] {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; writing && i < 300; ++i) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(20 * i));
      std::string line = Nmea("PW1,0," + std::to_string((65400 + i) % 65536) + ",10,-20,100,1,0,0,512,1023,0,0,7");
      if (i % 50 == 25) line = "\x83\xff" + line.substr(3);  // a damaged line
      if (!iDevice.Send(line)) break;
    }
  });
  const bool enough = RunUntil([&] { return iRecorder.iChannels.size() >= 200; }, 15000);
  writing = false;
  logger.join();
  ASSERT_TRUE(enough);
  // Times advance by the logger's 20 ms per count, whatever the delays of the link.
  for (size_t i = 1; i < iRecorder.iChannels.size(); ++i) {
    const int32_t step = iRecorder.iChannels[i].iTime - iRecorder.iChannels[i - 1].iTime;
    EXPECT_GT(step, 0) << i;
    EXPECT_LT(step, 100) << i;
  }
  const int32_t span = iRecorder.iChannels.back().iTime - iRecorder.iChannels.front().iTime;
  const double perSample = span / static_cast<double>(iRecorder.iChannels.size() - 1);
  EXPECT_NEAR(perSample, 20.0 * 50 / 49, 3.0);  // one damaged line in fifty leaves a gap
  // And they stay near the GPS clock.
  const int32_t now = iCore->GpsClock().CurrentTime().Milliseconds();
  EXPECT_NEAR(iRecorder.iChannels.back().iTime, now, 500);
  iCore->GpsClient().StopAll();
}

}  // namespace
