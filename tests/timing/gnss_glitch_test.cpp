// A receiver that throws one sample far off the trace must not move a lap time, live or after
// reopening; a real change of place must not be thrown away; and the receiver's health is
// summed up the same way both times.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "session_rig.h"

using namespace pwtest;

namespace {

// Three laps of the ring at about 21 m/s.
CircleDrive ThreeLaps() {
  CircleDrive drive(-0.05);
  drive.To(-0.01, 2.52).To(0.0, 0.63);
  for (int lap = 0; lap < 3; ++lap) drive.Sector(lap, lap + 1.0, 60.0);
  drive.To(3.01, 0.63).To(3.1, 6.0);
  return drive;
}

// The drive at 10 Hz, with the sample at aGlitchMs (from the start) reported aOffMetres ahead
// along its course, and (optionally) its speed replaced; the sample at aNoFixMs carries the
// receivers' "no solution" HDOP.
std::string NmeaWithGlitch(const CircleDrive& aDrive, int64_t aGlitchMs, double aOffMetres,
                           double aGlitchSpeed = -1.0, int64_t aNoFixMs = -1) {
  std::string text;
  for (int64_t ms = 0; ms <= aDrive.End() * 1000.0; ms += 100) {
    double lat, lon, v, course;
    aDrive.At(ms / 1000.0, lat, lon, v, course);
    if (ms == aGlitchMs) {
      const double c = course * M_PI / 180.0;
      lat += aOffMetres * std::cos(c) / EarthRadius * 180.0 / M_PI;
      lon += aOffMetres * std::sin(c) / (EarthRadius * std::cos(lat * M_PI / 180.0)) * 180.0 / M_PI;
      if (aGlitchSpeed >= 0.0) v = aGlitchSpeed;
    }
    text += NmeaEpoch(KDriveStart + ms, lat, lon, v, course, ms == aNoFixMs ? "99.99" : "0.9");
  }
  return text;
}

struct TLaps {
  std::vector<int64_t> iTimes;      // finished laps, ms
  std::vector<double> iDistances;   // metres
  std::vector<int32_t> iHighLows;   // high/low points per lap
};

// Times exactly; distances to a few centimetres: stepping over a sample measures the chord.
void ExpectSameLaps(const TLaps& aExpected, const TLaps& aActual) {
  EXPECT_EQ(aExpected.iTimes, aActual.iTimes);
  EXPECT_EQ(aExpected.iHighLows, aActual.iHighLows);
  ASSERT_EQ(aExpected.iDistances.size(), aActual.iDistances.size());
  for (size_t i = 0; i < aExpected.iDistances.size(); ++i)
    EXPECT_NEAR(aExpected.iDistances[i], aActual.iDistances[i], 0.05) << "lap " << i + 1;
}

TLaps LapsOf(CTrackSession& aSession) {
  TLaps laps;
  for (int32_t i = 0; i < aSession.Laps().LapCount(); ++i) {
    const CLap* lap = aSession.Laps().Lap(i);
    if (!lap->IsFinished()) continue;
    laps.iTimes.push_back(lap->LapTime().Milliseconds());
    laps.iDistances.push_back(lap->LapDistance().Metres());
    laps.iHighLows.push_back(lap->HighLowCount());
  }
  return laps;
}

class GnssGlitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto finish = CircleDrive::Trap(ETrapStartFinish, "Start/Finish", 0.0);
    iModel.AddTrack("Ring", {finish.get()});
  }

  std::unique_ptr<CTrackSession> Recording(bool aRule = true) {
    std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
    session->NewSession(*Chosen(ESessionLapTiming, "Ring"), iModel.iRoot);
    EXPECT_EQ(1, session->StartTiming());
    session->PlotList().PositionList().Gnss().SetRuleEnabled(aRule);
    EXPECT_EQ(1, session->StartRecording());
    return session;
  }

  std::unique_ptr<CTrackSession> Reopened(CTrackSession& aSession) { return iModel.Reopened(aSession); }

  // Start of the drive to the last sample before the line at the end of lap aLap.
  int64_t LastSampleBeforeLine(int aLap) const {
    return static_cast<int64_t>(std::floor(iDrive.TimeAt(aLap) * 10.0)) * 100;
  }

  TestModel iModel;
  const CircleDrive iDrive = ThreeLaps();
};

}  // namespace

TEST_F(GnssGlitchTest, OneSampleFarOffAtTheLineChangesNoLapTime) {
  std::unique_ptr<CTrackSession> clean = Recording();
  Feed(*clean, iModel, iDrive.Nmea());
  const TLaps reference = LapsOf(*clean);
  ASSERT_EQ(3u, reference.iTimes.size());
  EXPECT_EQ(0, clean->PlotList().PositionList().Gnss().GlitchCount());

  // The last fix before the line at the end of lap 2 lands 80 m down the road, past the line.
  const std::string glitched = NmeaWithGlitch(iDrive, LastSampleBeforeLine(2), 80.0);
  std::unique_ptr<CTrackSession> live = Recording();
  Feed(*live, iModel, glitched);
  const int32_t samples = live->SampleCount();
  EXPECT_EQ(clean->SampleCount(), samples) << "the glitch is stored as received";
  EXPECT_EQ(1, live->PlotList().PositionList().Gnss().GlitchCount());
  ExpectSameLaps(reference, LapsOf(*live));
  EXPECT_NEAR(clean->PlotList().PositionList().RunningDistance().Metres(),
            live->PlotList().PositionList().RunningDistance().Metres(), 0.01)
      << "the detour adds nothing to the distance";

  // Reopened, the laps are rebuilt from the samples file by the same rule.
  std::unique_ptr<CTrackSession> reopened = Reopened(*live);
  EXPECT_EQ(samples, reopened->SampleCount());
  ExpectSameLaps(reference, LapsOf(*reopened));
  EXPECT_EQ(1, reopened->Info().GnssHealth().iGlitches);
  EXPECT_EQ(1, reopened->PlotList().PositionList().Gnss().GlitchCount());

  // Without the rule the same sample crosses the line early and moves two lap times.
  std::unique_ptr<CTrackSession> unguarded = Recording(false);
  Feed(*unguarded, iModel, glitched);
  const TLaps moved = LapsOf(*unguarded);
  ASSERT_EQ(3u, moved.iTimes.size());
  EXPECT_EQ(reference.iTimes[0], moved.iTimes[0]);
  EXPECT_LT(moved.iTimes[1], reference.iTimes[1] - 20);
  EXPECT_GT(moved.iTimes[2], reference.iTimes[2] + 20);
  EXPECT_GT(moved.iDistances[2], reference.iDistances[2] + 100.0) << "the detour counts";
}

TEST_F(GnssGlitchTest, SpeedSpikeAndNoFixSampleAreLeftOutOfHighLowPoints) {
  std::unique_ptr<CTrackSession> clean = Recording();
  Feed(*clean, iModel, iDrive.Nmea());
  const TLaps reference = LapsOf(*clean);

  // Mid-lap the receiver reports 45 m/s for one epoch at the right place, and a little later
  // one epoch has no solution.
  const int64_t spikeAt = static_cast<int64_t>(iDrive.TimeAt(1.5) * 10.0) * 100;
  std::string text = NmeaWithGlitch(iDrive, spikeAt, 0.0, 45.0, spikeAt + 5000);
  std::unique_ptr<CTrackSession> live = Recording();
  Feed(*live, iModel, text);
  const CGnssMeter& meter = live->PlotList().PositionList().Gnss();
  EXPECT_EQ(2, meter.GlitchCount());
  const int32_t spike = static_cast<int32_t>(spikeAt / 100);  // one sample each 100 ms from 0
  EXPECT_TRUE(meter.IsGlitch(spike));
  EXPECT_TRUE(meter.IsGlitch(spike + 50));
  EXPECT_FALSE(meter.IsGlitch(spike + 1));
  ExpectSameLaps(reference, LapsOf(*live));
  // Its lap's scan never saw the spike.
  EXPECT_LT(live->Laps().Lap(1)->MaximumSpeed(), TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(30.0)));

  std::unique_ptr<CTrackSession> unguarded = Recording(false);
  Feed(*unguarded, iModel, text);
  EXPECT_GT(unguarded->Laps().Lap(1)->MaximumSpeed(), TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(40.0)));
}

TEST_F(GnssGlitchTest, ARealChangeOfPlaceIsKept) {
  // The first 30 s come from a place 500 m away (a receiver still settling), then the car
  // drives its laps: the trace after the jump agrees with itself, so only the jump moved.
  std::string text;
  for (int64_t ms = -30000; ms < 0; ms += 100) {
    double lat, lon, v, course;
    iDrive.At(0.0, lat, lon, v, course);
    text += NmeaEpoch(KDriveStart + ms, lat + 500.0 / EarthRadius * 180.0 / M_PI, lon, 0.0, course);
  }
  std::unique_ptr<CTrackSession> session = Recording();
  Feed(*session, iModel, text + iDrive.Nmea());
  EXPECT_EQ(0, session->PlotList().PositionList().Gnss().GlitchCount());
  EXPECT_EQ(3u, LapsOf(*session).iTimes.size());
}

TEST_F(GnssGlitchTest, HealthSummaryIsStoredAndOldSessionFilesStillLoad) {
  std::unique_ptr<CTrackSession> live = Recording();
  Feed(*live, iModel, NmeaWithGlitch(iDrive, LastSampleBeforeLine(1), 80.0));
  const TGnssHealth health = live->PlotList().PositionList().Gnss().Health();
  EXPECT_EQ(live->SampleCount(), health.iSamples);
  EXPECT_EQ(1, health.iGlitches);
  EXPECT_EQ(100, health.iIntervalMs);
  EXPECT_EQ(0, health.iJitterUs);
  EXPECT_DOUBLE_EQ(10.0, health.RateHz());
  EXPECT_EQ(TGnssHealth::KUnknown, health.i3dPermille) << "the receiver sends no GSA";
  EXPECT_EQ(90, health.iHdopMedian);
  EXPECT_EQ(90, health.iHdopMax);
  EXPECT_EQ(10, health.iSatellitesMin);
  EXPECT_EQ(10, health.iSatellitesMedian);

  std::unique_ptr<CTrackSession> reopened = Reopened(*live);
  EXPECT_EQ(health, reopened->Info().GnssHealth());
  EXPECT_EQ(health, reopened->PlotList().PositionList().Gnss().Health()) << "rebuilt the same";

  // The summary rides behind the notes: the file without it reads as before, with no health.
  CPwString path;
  reopened->Info().FilePath(path);
  std::string bytes = ReadFileBytes(PwToUtf8(path));
  ASSERT_GT(bytes.size(), 48u);
  WriteFileBytes(PwToUtf8(path), bytes.substr(0, bytes.size() - 48));
  CSessionInfo older;
  older.SetIdentifier(reopened->Info().Identifier());
  older.SetStorageRoot(reopened->Info().StorageRoot());
  PwTimeConverter converter;
  ASSERT_EQ(1, older.Load(true, converter));
  EXPECT_FALSE(older.GnssHealth().IsKnown());
  EXPECT_EQ(reopened->Info().BestLapTime(), older.BestLapTime());
  // A damaged summary costs only the summary.
  WriteFileBytes(PwToUtf8(path), bytes.substr(0, bytes.size() - 8));
  ASSERT_EQ(1, older.Load(false, converter));
  EXPECT_FALSE(older.GnssHealth().IsKnown());
}
