// The running difference against a reference lap: accuracy against the closed-form truth of
// laps on one line at different paces, exactness at the lines, lines that cross or run beside
// themselves, a reference with a gap, the quality gate, and a real kart log.
#include "timing/lap_delta.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "delta_drive.h"
#include "support/test_support.h"

using namespace pwdelta;

namespace {

struct Collected : MDeltaSink {
  std::vector<std::pair<int32_t, TDeltaReading>> iSamples;
  std::vector<TDeltaReading> iCrossings;
  void DeltaSample(int32_t aIndex, const TDeltaReading& aReading) override { iSamples.push_back({aIndex, aReading}); }
  void DeltaCrossing(const TDeltaReading& aReading) override { iCrossings.push_back(aReading); }
};

// The errors against the truth of every matched sample of lap aLap against lap aReference.
struct Errors {
  std::vector<double> iValues;
  int32_t iStale = 0;
  double iLargestStepGap = 0;  // how far the match moved apart from the distance driven, metres
  double Percentile(double aP) const {
    std::vector<double> v = iValues;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<size_t>(aP * static_cast<double>(v.size())))];
  }
};

Errors Measure(const Drive& aDrive, const Timed& aTimed, int32_t aLap, int32_t aReference, Collected* aOut = nullptr) {
  CLapDelta delta;
  EXPECT_TRUE(delta.SetReference(*aTimed.iLaps->Lap(aReference)));
  Collected sink;
  delta.RunLap(*aTimed.iLaps->Lap(aLap), &sink);
  Errors errors;
  const TDeltaReading* previous = nullptr;
  for (const auto& [index, reading] : sink.iSamples) {
    if (reading.iStale) {
      ++errors.iStale;
      continue;
    }
    const double s = aDrive.LapDistanceAt(aTimed.iPlots.At(index).iTime);
    // Right after the line the true distance wraps to the end of the lap.
    if (s > aDrive.Path().Length() - 1.0) continue;
    // Both laps' elapsed times count from the crossings the lap list found, as the delta does:
    // what is measured is the alignment, not the crossings' own interpolation.
    const CLap& current = *aTimed.iLaps->Lap(aLap);
    const CLap& reference = *aTimed.iLaps->Lap(aReference);
    const double elapsed = aTimed.iPlots.At(index).iTime - current.Start()->iSample.iTime;
    const double referenceElapsed =
        aDrive.SessionMs(static_cast<size_t>(aReference), s) - reference.Start()->iSample.iTime;
    errors.iValues.push_back(std::fabs(reading.iDelta - (elapsed - referenceElapsed)));
    if (previous)
      errors.iLargestStepGap =
          std::max(errors.iLargestStepGap, std::fabs((reading.iReferenceDistance - previous->iReferenceDistance) -
                                                     (reading.iDistance - previous->iDistance)));
    previous = &reading;
  }
  if (aOut) *aOut = sink;
  return errors;
}

}  // namespace

// Laps on one circle at three paces and three sample rates: the difference follows the truth
// (the time the reference took to the same place) within the accuracy goals, and at both splits and the finish it is the lap list's split and
// lap time difference to the millisecond.
TEST(LapDelta, FollowsTheTruthAndIsExactAtTheLines) {
  // The paces vary by some 20% round the lap.
  const Drive drive(Line::Circle(150.0), {{30.0, 0.8}, {28.0, -0.6}, {31.0, 0.5}});
  for (const int32_t step : {1000, 100, 40}) {
    SCOPED_TRACE(step);
    const Timed timed(drive, step, {1.0 / 3, 2.0 / 3});
    ASSERT_GE(timed.iLaps->LapCount(), 3);
    Errors all;
    for (const int32_t lap : {1, 2}) {
      Collected sink;
      const Errors errors = Measure(drive, timed, lap, 0, &sink);
      EXPECT_EQ(errors.iStale, 0);
      all.iValues.insert(all.iValues.end(), errors.iValues.begin(), errors.iValues.end());
      const CLap& current = *timed.iLaps->Lap(lap);
      const CLap& reference = *timed.iLaps->Lap(0);
      ASSERT_EQ(sink.iCrossings.size(), 3u);
      for (int32_t s = 0; s < 2; ++s) {
        const int32_t key = current.Split(s)->iKey;
        EXPECT_EQ(sink.iCrossings[static_cast<size_t>(s)].iCrossingKey, key);
        EXPECT_EQ(sink.iCrossings[static_cast<size_t>(s)].iDelta,
                  current.SplitTime(key).Milliseconds() - reference.SplitTime(key).Milliseconds());
      }
      const TDeltaReading& final = sink.iCrossings.back();
      EXPECT_EQ(final.iDelta, current.LapTime().Milliseconds() - reference.LapTime().Milliseconds());
      EXPECT_EQ(final.iPredicted, current.LapTime().Milliseconds());
      EXPECT_EQ(final.iElapsed, current.LapTime().Milliseconds());
    }
    const double p99 = all.Percentile(0.99);
    std::printf("[ measure ] circle, %d Hz: p99 error %.1f ms, largest %.1f ms over %zu samples\n", 1000 / step, p99,
                all.Percentile(1.0), all.iValues.size());
    EXPECT_LT(p99, step == 1000 ? 30.0 : 10.0);
  }
}

// A figure of eight passes its middle twice in a lap, and a paperclip runs back 12 m beside
// itself, here with the lap driven 7 m to the side on its way to a hairpin so that the other
// leg, coming back from it, is nearer: the match never jumps to the wrong pass.
TEST(LapDelta, KeepsItsPlaceWhereTheLineCrossesOrRunsBesideItself) {
  const Drive eight(Line::FigureEight(150.0), {{25.0, 0.6}, {24.0, -0.5}});
  const Drive clip(Line::Paperclip(150.0, 12.0), {{15.0, 0.3}, {14.0, -0.2}});
  for (const int32_t step : {1000, 100}) {
    SCOPED_TRACE(step);
    const Timed crossing(eight, step, {0.4});
    const Errors e = Measure(eight, crossing, 1, 0);
    EXPECT_EQ(e.iStale, 0);
    EXPECT_LT(e.Percentile(0.99), step == 1000 ? 30.0 : 10.0);
    EXPECT_LT(e.iLargestStepGap, 5.0);

    // Only the second lap is driven beside the line, from 60 m to 148 m along the first straight.
    const double l = clip.Path().Length();
    const Timed beside(clip, step, {0.5}, nullptr, [&](int32_t ms) {
      const double s = clip.DistanceAt(ms / 1000.0);
      return s > l + 60 && s < l + 148 ? 7.0 : 0.0;
    });
    ASSERT_GE(beside.iLaps->LapCount(), 2);
    const Errors b = Measure(clip, beside, 1, 0);
    EXPECT_EQ(b.iStale, 0);
    EXPECT_LT(b.iLargestStepGap, 10.0) << "a jump to the other leg";
    std::printf("[ measure ] figure of eight, %d Hz: p99 error %.1f ms; beside a hairpin: p99 %.1f ms, largest %.1f ms\n",
                1000 / step, e.Percentile(0.99), b.Percentile(0.99), b.Percentile(1.0));
    EXPECT_LT(b.Percentile(0.99), step == 1000 ? 30.0 : 10.0);
    EXPECT_LT(b.Percentile(1.0), step == 1000 ? 60.0 : 20.0);
  }
}

// Three seconds of the reference lap were lost: the difference runs on through the gap on the
// straight line between the samples either side, without going stale.
TEST(LapDelta, BridgesAGapInTheReference) {
  const Drive drive(Line::Circle(150.0), {{30.0, 1.0}, {29.0, -1.0}});
  const double gap = drive.Seconds(drive.Path().Length() * 0.45) * 1000;
  const Timed timed(drive, 100, {}, [gap](int32_t ms) { return ms > gap && ms < gap + 3000; });
  Collected sink;
  const Errors e = Measure(drive, timed, 1, 0, &sink);
  EXPECT_EQ(e.iStale, 0);
  std::printf("[ measure ] reference gap 3 s, 10 Hz: p99 error %.1f ms, largest %.1f ms\n", e.Percentile(0.99),
              e.Percentile(1.0));
  EXPECT_LT(e.Percentile(1.0), 40.0);
  EXPECT_EQ(sink.iCrossings.back().iDelta,
            timed.iLaps->Lap(1)->LapTime().Milliseconds() - timed.iLaps->Lap(0)->LapTime().Milliseconds());
}

// Samples without a fix, with a poor HDOP, starting a trace segment or far off the line hold
// the last difference and are marked stale; the next good sample is matched again. Without a
// reference nothing is known.
TEST(LapDelta, HoldsTheLastDifferenceThroughBadSamples) {
  const Drive drive(Line::Circle(150.0), {{30.0, 1.0}, {29.0, -1.0}});
  const Timed timed(drive, 100);
  const CLap& current = *timed.iLaps->Lap(1);
  CLapDelta delta;
  delta.StartLap(current.Start()->iSample);
  EXPECT_TRUE(delta.AddSample(timed.iPlots.At(current.Start()->iSampleIndex)).iStale);
  EXPECT_FALSE(delta.Current().iValid);

  ASSERT_TRUE(delta.SetReference(*timed.iLaps->Lap(0)));
  delta.StartLap(current.Start()->iSample);
  const int32_t first = current.Start()->iSampleIndex;
  for (int32_t i = first; i < first + 100; ++i) delta.AddSample(timed.iPlots.At(i));
  const TDeltaReading held = delta.Current();
  ASSERT_TRUE(held.iValid);
  ASSERT_FALSE(held.iStale);
  std::vector<TPositionPlot> bad(5, timed.iPlots.At(first + 100));
  bad[0].iLatitude = KInvalidInt;
  bad[1].iHdop = TPositionPlot::EncodeHundredths(3.5);
  bad[2].iFlags |= TPositionPlot::KDiscontinuityFlag;
  // Off the circle outwards, by 40 m and by just over 25 m.
  auto outwards = [&](int32_t aIndex, double aMetres) {
    TPositionPlot p = timed.iPlots.At(aIndex);
    double x, y;
    drive.Path().At(drive.LapDistanceAt(p.iTime), x, y);
    const double k = aMetres / 150.0;
    p.iLatitude = Lat(y * (1 + k)).iValue;
    p.iLongitude = Lon(x * (1 + k)).iValue;
    return p;
  };
  bad[3] = outwards(first + 100, 40.0);
  bad[4] = outwards(first + 150, 25.5);
  for (const TPositionPlot& sample : bad) {
    const TDeltaReading& r = delta.AddSample(sample);
    EXPECT_TRUE(r.iStale);
    EXPECT_EQ(r.iDelta, held.iDelta);
    EXPECT_EQ(r.iElapsed, sample.iTime - current.Start()->iSample.iTime);
  }
  // HDOP exactly 3 is still good; the match picks up where the car now is.
  TPositionPlot good = timed.iPlots.At(first + 160);
  good.iHdop = TPositionPlot::EncodeHundredths(3.0);
  const TDeltaReading& resumed = delta.AddSample(good);
  EXPECT_FALSE(resumed.iStale);
  const double s = drive.LapDistanceAt(good.iTime);
  EXPECT_NEAR(resumed.iDelta, drive.TrueDelta(1, 0, s), 10.0);
}

namespace {

// The kart log's samples as the importer stores them.
bool ReadKartLog(CPositionPlotList& aPlots) {
  std::ifstream in(pwtest::TestDataDir() + "/vbo/karting-part.vbo");
  if (!in) return false;
  std::string line;
  while (std::getline(in, line) && line.rfind("[data]", 0) != 0) {
  }
  int32_t last = -1;
  while (std::getline(in, line)) {
    int sats = 0;
    double hhmmss = 0, latMin = 0, lonMin = 0, kmh = 0;
    if (std::sscanf(line.c_str(), "%d %lf %lf %lf %lf", &sats, &hhmmss, &latMin, &lonMin, &kmh) != 5) continue;
    const int hours = static_cast<int>(hhmmss / 10000), minutes = static_cast<int>(hhmmss / 100) % 100;
    const int32_t ms = static_cast<int32_t>(std::lround((hhmmss - hours * 10000 - minutes * 100) * 1000)) +
                       (hours * 60 + minutes) * 60000;
    if (ms <= last) continue;
    last = ms;
    TPositionPlot p;
    p.iTime = ms;
    p.iLatitude = TCoordinate::FromDegrees(latMin / 60.0).iValue;
    p.iLongitude = TCoordinate::FromDegrees(-lonMin / 60.0).iValue;
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromKmh(kmh));
    p.iFlags = TPositionPlot::EncodeFlags(sats, false, false);
    p.iDistance = TPositionPlot::EncodeDistance(aPlots.AppendComputed(p.GeoPoint()));
    aPlots.AppendStored(p);
  }
  return aPlots.Count() > 0;
}

}  // namespace

// Every lap of a real kart log against the best: the final difference is the lap time
// difference to the millisecond, and it never jumps by more than 150 ms from one sample to the
// next.
TEST(LapDelta, RealKartLogAgainstItsBestLap) {
  PW_REQUIRE_TESTDATA();
  CPositionPlotList plots;
  ASSERT_TRUE(ReadKartLog(plots));
  CTrapLineList traps;
  std::unique_ptr<CTrapLine> line(CTrapLine::NewL());
  line->Set(ETrapStartFinish, u"Start/Finish", TCoordinate::FromDegrees(30.26381), TCoordinate::FromDegrees(120.31566),
            TAngle::FromDegrees(34.0), TDistance::FromMetres(16.0), 1);
  traps.Add(*line);
  CIntersectionList crossings;
  crossings.Rebuild(plots, traps);
  std::unique_ptr<CLapList> laps(CLapList::NewL(&plots, nullptr, nullptr));
  laps->Rebuild(traps, crossings);
  const CLap* best = laps->BestLap();
  ASSERT_NE(best, nullptr);
  CLapDelta delta;
  ASSERT_TRUE(delta.SetReference(*best));
  int32_t largest = 0, finished = 0, stale = 0;
  for (int32_t i = 0; i < laps->LapCount(); ++i) {
    const CLap& lap = *laps->Lap(i);
    if (!lap.IsFinished() || &lap == best) continue;
    ++finished;
    Collected sink;
    delta.RunLap(lap, &sink);
    for (size_t k = 1; k < sink.iSamples.size(); ++k) {
      const TDeltaReading& a = sink.iSamples[k - 1].second;
      const TDeltaReading& b = sink.iSamples[k].second;
      if (b.iStale) ++stale;
      if (a.iValid && b.iValid) largest = std::max(largest, std::abs(b.iDelta - a.iDelta));
    }
    ASSERT_FALSE(sink.iCrossings.empty());
    EXPECT_EQ(sink.iCrossings.back().iDelta, lap.LapTime().Milliseconds() - best->LapTime().Milliseconds()) << i;
    // The last sample before the line is within a sample's worth of the final difference.
    EXPECT_NEAR(sink.iSamples.back().second.iDelta, sink.iCrossings.back().iDelta, 150) << i;
  }
  std::printf("[ measure ] kart log: %d laps against the best, largest step %d ms, %d stale samples\n", finished,
              largest, stale);
  EXPECT_GE(finished, 3);
  EXPECT_LE(largest, 150);
  EXPECT_EQ(stale, 0);
}
