// The lap list driven the way the track session drives it: a synthetic car on a straight
// north-south road, whose position at every moment is known, passes real traps; the samples go
// through the trap tests into the lap list, live sample by sample or rebuilt at once. Lap,
// split and sector times are checked against the moments the car really passed each line.
#include "timing/lap_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/paths.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "storage/position_plot_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "support/test_support.h"
#include "timing/intersection.h"
#include "timing/trap_line.h"

namespace {

// The road runs north along this meridian from this latitude (48 N, 11 E).
constexpr int32_t KLat0 = 288000000;
constexpr int32_t KLon0 = 66000000;

double Lat0Radians() { return TCoordinate(KLat0).ToRadians(); }
TCoordinate LatitudeAt(double aNorth) { return TCoordinate::FromRadians(Lat0Radians() + aNorth / EarthRadius); }
// Where a latitude really lies on the road (trap centres are rounded to coordinate units).
double NorthOf(TCoordinate aLatitude) { return (aLatitude.ToRadians() - Lat0Radians()) * EarthRadius; }

// The car's motion: metres north of the road's origin, linear in time between waypoints.
class Path {
 public:
  Path& At(double aMs, double aNorth) {
    iPoints.push_back({aMs, aNorth});
    return *this;
  }
  double End() const { return iPoints.back().iMs; }
  double NorthAt(double aMs) const {
    if (aMs <= iPoints.front().iMs) return iPoints.front().iNorth;
    for (size_t i = 1; i < iPoints.size(); ++i) {
      const TPoint& a = iPoints[i - 1];
      const TPoint& b = iPoints[i];
      if (aMs <= b.iMs) return a.iNorth + (b.iNorth - a.iNorth) * (aMs - a.iMs) / (b.iMs - a.iMs);
    }
    return iPoints.back().iNorth;
  }
  // Signed speed (m/s, positive northwards) of the segment at aMs.
  double VelocityAt(double aMs) const {
    for (size_t i = 1; i < iPoints.size(); ++i) {
      const TPoint& a = iPoints[i - 1];
      const TPoint& b = iPoints[i];
      if (aMs < b.iMs && b.iMs > a.iMs) return (b.iNorth - a.iNorth) / (b.iMs - a.iMs) * 1000.0;
    }
    return 0.0;
  }
  // Every moment the car passes aNorth, optionally only in one direction (+1 north, -1 south).
  std::vector<double> Passes(double aNorth, int aDirection = 0) const {
    std::vector<double> times;
    for (size_t i = 1; i < iPoints.size(); ++i) {
      const TPoint& a = iPoints[i - 1];
      const TPoint& b = iPoints[i];
      if (a.iNorth == b.iNorth) continue;
      const int direction = b.iNorth > a.iNorth ? 1 : -1;
      if (aDirection && direction != aDirection) continue;
      const double lo = std::min(a.iNorth, b.iNorth), hi = std::max(a.iNorth, b.iNorth);
      if (aNorth < lo || aNorth >= hi) continue;
      times.push_back(a.iMs + (aNorth - a.iNorth) / (b.iNorth - a.iNorth) * (b.iMs - a.iMs));
    }
    return times;
  }

 private:
  struct TPoint {
    double iMs;
    double iNorth;
  };
  std::vector<TPoint> iPoints;
};

// The sample the receiver would report at aMs: rounded coordinates, speed and course.
TPositionPlot SampleAt(const Path& aPath, int32_t aMs) {
  TPositionPlot p;
  p.iTime = aMs;
  p.iLatitude = LatitudeAt(aPath.NorthAt(aMs)).iValue;
  p.iLongitude = KLon0;
  const double v = aPath.VelocityAt(aMs);
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(std::fabs(v)));
  p.iBearing = v < 0 ? 18000 : 0;
  p.iFlags = TPositionPlot::EncodeFlags(10, false, false);
  return p;
}

// Traps across the road; a unidirectional trap counts northbound (+1) or southbound (-1) passes.
struct TTrapDesc {
  int32_t iType;
  double iNorth;
  int iDirection;  // 0 = both directions
};

void AddTrap(CTrapLineList& aTraps, const TTrapDesc& aDesc, double aWidth = 30.0) {
  std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
  trap->Set(aDesc.iType, u"trap", LatitudeAt(aDesc.iNorth), TCoordinate(KLon0),
            TAngle::FromDegrees(aDesc.iDirection < 0 ? 180.0 : 0.0), TDistance::FromMetres(aWidth),
            aDesc.iDirection != 0 ? 1 : 0);
  aTraps.Add(*trap);
}

class CountingAnnouncer : public MLapAnnouncer {
 public:
  void AnnounceLapFinished() override { ++iCount; }
  int iCount = 0;
};

// A session: samples, traps, crossings and laps, fed either live or rebuilt.
class Rig {
 public:
  explicit Rig(std::vector<TTrapDesc> aTraps, double aWidth = 30.0) : iTrapDescs(std::move(aTraps)) {
    for (const TTrapDesc& desc : iTrapDescs) AddTrap(iTraps, desc, aWidth);
    iLaps.reset(CLapList::NewL(&iPlots, nullptr, nullptr));
  }

  // Sample times from aFirst every aStep ms up to the path's end, except inside the gaps.
  static std::vector<int32_t> Times(int32_t aFirst, int32_t aStep, double aEnd,
                                    std::vector<std::pair<int32_t, int32_t>> aGaps = {}) {
    std::vector<int32_t> times;
    for (int32_t t = aFirst; t <= aEnd; t += aStep) {
      bool skipped = false;
      for (auto [from, to] : aGaps) skipped = skipped || (t > from && t < to);
      if (!skipped) times.push_back(t);
    }
    return times;
  }

  void Record(const Path& aPath, const std::vector<int32_t>& aTimes) {
    for (int32_t t : aTimes) {
      TPositionPlot p = SampleAt(aPath, t);
      p.iDistance = TPositionPlot::EncodeDistance(iPlots.AppendComputed(p.GeoPoint()));
      if (std::find(iBreaks.begin(), iBreaks.end(), iPlots.Count()) != iBreaks.end())
        p.iFlags |= TPositionPlot::KDiscontinuityFlag;
      iPlots.AppendStored(p);
    }
  }
  // All samples at once, then the crossings and laps rebuilt.
  void RecordAndRebuild(const Path& aPath, const std::vector<int32_t>& aTimes) {
    Record(aPath, aTimes);
    iCrossings.Rebuild(iPlots, iTraps);
    iLaps->Rebuild(iTraps, iCrossings);
  }
  // Sample by sample as while recording.
  void RecordLive(const Path& aPath, const std::vector<int32_t>& aTimes) {
    for (int32_t t : aTimes) {
      Record(aPath, {t});
      if (iCrossings.TestNewest(iPlots, &iTraps)) iFinished += iLaps->ProcessCrossings(iTraps, iCrossings, &iAnnouncer);
    }
  }

  // The moment the car passes trap aKey for the aPass-th time (in its direction).
  double Pass(int32_t aKey, size_t aPass) const {
    const TTrapDesc& desc = iTrapDescs[static_cast<size_t>(aKey)];
    const double north = NorthOf(iTraps.At(aKey)->Centre().iLatitude);
    const std::vector<double> passes = iPath->Passes(north, desc.iDirection);
    return aPass < passes.size() ? passes[aPass] : -1.0;
  }

  std::vector<TTrapDesc> iTrapDescs;
  CTrapLineList iTraps;
  CPositionPlotList iPlots;
  CIntersectionList iCrossings;
  std::unique_ptr<CLapList> iLaps;
  CountingAnnouncer iAnnouncer;
  int32_t iFinished = 0;
  std::vector<int32_t> iBreaks;  // sample indices recorded with the discontinuity bit
  const Path* iPath = nullptr;
};

// A shuttle: north through the traps to 1000 m, back south to 0, and again, with the given
// duration (ms) of each of the legs in turn. Starts at aStart ms at 0 m.
Path Shuttle(double aStart, const std::vector<double>& aLegs) {
  Path path;
  double t = aStart;
  path.At(t, 0.0);
  bool north = true;
  for (double leg : aLegs) {
    t += leg;
    path.At(t, north ? 1000.0 : 0.0);
    north = !north;
  }
  return path;
}

}  // namespace

// --- Crossing moments -------------------------------------------------------------------------

// Straight passes at constant speed through lines that lie at assorted fractions between two
// samples: every crossing time is within 1 ms of the real moment, at 1, 10 and 25 Hz, and so
// are the lap and split times made from them.
TEST(LapListTiming, CrossingTimesMatchTheRealMomentWithinOneMillisecond) {
  for (int32_t step : {1000, 100, 40}) {
    SCOPED_TRACE("sample interval " + std::to_string(step) + " ms");
    // Legs of 25 to 31 s over 1000 m (32 to 40 m/s), each different, so the line falls at
    // a different fraction between the samples on every pass.
    std::vector<double> legs;
    for (int i = 0; i < 16; ++i) legs.push_back(25000.0 + 397.3 * i + (i % 3) * 1111.1);
    const Path path = Shuttle(10000.0, legs);
    Rig rig({{ETrapStartFinish, 123.4, 1}, {ETrapSplit, 611.1, 1}, {ETrapSplit, 377.7, -1}});
    rig.iPath = &path;
    rig.RecordAndRebuild(path, Rig::Times(10007, step, path.End()));

    ASSERT_EQ(rig.iCrossings.Count(), 8 + 8 + 8);
    double worst = 0.0;
    for (int32_t i = 0; i < rig.iCrossings.Count(); ++i) {
      const TIntersection& x = rig.iCrossings.At(i);
      EXPECT_EQ(x.iInterval, step);
      // Which pass of its trap this crossing is.
      int32_t pass = 0;
      for (int32_t j = 0; j < i; ++j) pass += rig.iCrossings.At(j).iTrapIndex == x.iTrapIndex;
      const double error = std::fabs(x.iSample.iTime - rig.Pass(x.iTrapIndex, static_cast<size_t>(pass)));
      worst = std::max(worst, error);
    }
    EXPECT_LE(worst, 1.0);

    CLapList& laps = *rig.iLaps;
    ASSERT_EQ(laps.LapCount(), 8);  // 8 passes of the line: 7 finished laps and one running
    EXPECT_EQ(laps.DisplayLapCount(), 7);
    for (int32_t k = 0; k < 7; ++k) {
      const CLap& lap = *laps.Lap(k);
      ASSERT_TRUE(lap.IsFinished());
      const double start = rig.Pass(0, static_cast<size_t>(k));
      EXPECT_LE(std::fabs(lap.LapTime().Milliseconds() - (rig.Pass(0, k + 1) - start)), 1.0) << "lap " << k;
      EXPECT_LE(std::fabs(lap.SplitTime(1).Milliseconds() - (rig.Pass(1, k) - start)), 1.0) << "lap " << k;
      EXPECT_LE(std::fabs(lap.SplitTime(2).Milliseconds() - (rig.Pass(2, k) - start)), 1.0) << "lap " << k;
      EXPECT_LE(std::fabs(lap.SectorTime(1, 2).Milliseconds() - (rig.Pass(2, k) - rig.Pass(1, k))), 1.0);
      // Trap speed: the leg's constant speed.
      EXPECT_NEAR(lap.TrapSpeed(1).MetresPerSecond(), 1000.0 / legs[2 * k] * 1000.0, 0.01);
    }
  }
}

// --- Laps, splits, sectors, best and optimal on a circuit ---------------------------------------

TEST(LapListCircuit, SeveralLapsWithStartFinishAndTwoSplits) {
  // The car does 5 shuttle cycles. Start/finish at 200 m northbound, split 1 at 700 m
  // northbound, split 2 at 400 m southbound. Cycle k: north leg N[k], south leg S[k].
  const std::vector<double> legs = {30000, 32000,   // lap 0 (from the first pass of the line)
                                    29000, 33000,   // lap 1
                                    31000, 30500,   // lap 2
                                    30200, 31800,   // lap 3
                                    29500, 34000,   // lap 4
                                    30000};
  const Path path = Shuttle(5000.0, legs);
  Rig rig({{ETrapStartFinish, 200.0, 1}, {ETrapSplit, 700.0, 1}, {ETrapSplit, 400.0, -1}});
  rig.iPath = &path;
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;

  ASSERT_EQ(laps.LapCount(), 6);
  EXPECT_FALSE(laps.Lap(5)->IsFinished());
  EXPECT_EQ(laps.DisplayLapCount(), 5);

  // Expected figures from the real moments.
  double lapTime[5], sector[5][3];
  for (int k = 0; k < 5; ++k) {
    const double sf = rig.Pass(0, k), s1 = rig.Pass(1, k), s2 = rig.Pass(2, k), next = rig.Pass(0, k + 1);
    lapTime[k] = next - sf;
    sector[k][0] = s1 - sf;
    sector[k][1] = s2 - s1;
    sector[k][2] = next - s2;
    const CLap& lap = *laps.Lap(k);
    ASSERT_EQ(lap.CrossingCount(), 3);
    EXPECT_EQ(lap.Crossing(0)->iKey, 1);
    EXPECT_EQ(lap.Crossing(1)->iKey, 2);
    EXPECT_EQ(lap.Finish()->iKey, 0);
    EXPECT_NEAR(lap.LapTime().Milliseconds(), lapTime[k], 1.0);
    EXPECT_NEAR(lap.SplitTime(1).Milliseconds(), sector[k][0], 1.0);
    EXPECT_NEAR(lap.SplitTime(2).Milliseconds(), sector[k][0] + sector[k][1], 1.0);
    EXPECT_NEAR(lap.SectorTime(0, 1).Milliseconds(), sector[k][0], 1.0);
    EXPECT_NEAR(lap.SectorTime(1, 2).Milliseconds(), sector[k][1], 1.0);
    EXPECT_NEAR(lap.SectorTime(2, 0).Milliseconds(), sector[k][2], 1.0);
    // The car runs 200 -> 1000 -> 0 -> 200 m: 2000 m a lap, less what the samples cut off
    // at the two turns (up to a sample's 4 m each).
    EXPECT_NEAR(lap.LapDistance().Metres(), 2000.0 - 2.0, 2.0);
    EXPECT_NEAR(lap.SplitDistance(2).Metres(), 800.0 + 600.0 - 1.0, 1.0);
    // The next lap starts where this one finished.
    EXPECT_EQ(laps.Lap(k + 1)->Start()->iSample.iTime, lap.Finish()->iSample.iTime);
  }

  // Best: the smallest lap time; previous best: the best before it was found.
  int best = 0, previous = -1;
  for (int k = 1; k < 5; ++k)
    if (lapTime[k] < lapTime[best]) {
      previous = best;
      best = k;
    }
  EXPECT_EQ(laps.BestLapIndex(), best);
  EXPECT_EQ(laps.PreviousBestIndex(), previous);

  // Optimal: the fastest of each sector, wherever it was driven.
  const CLap* optimal = laps.OptimalLap();
  ASSERT_NE(optimal, nullptr);
  EXPECT_TRUE(optimal->IsComposite());
  ASSERT_EQ(optimal->CrossingCount(), 3);
  double expected = 0.0;
  int sourceOf[3];
  for (int s = 0; s < 3; ++s) {
    sourceOf[s] = 0;
    for (int k = 1; k < 5; ++k)
      if (sector[k][s] < sector[sourceOf[s]][s]) sourceOf[s] = k;
    expected += sector[sourceOf[s]][s];
  }
  EXPECT_NEAR(optimal->LapTime().Milliseconds(), expected, 3.0);
  EXPECT_LT(optimal->LapTime(), laps.BestLap()->LapTime());
  // Each crossing of the optimal lap is a copy of the fastest lap's crossing, whose
  // predecessor is still that lap's own crossing.
  for (int s = 0; s < 3; ++s) {
    const TLapSector* c = optimal->Crossing(s);
    const CLap& source = *laps.Lap(sourceOf[s]);
    EXPECT_EQ(c->iSample.iTime, source.Crossing(s)->iSample.iTime) << "sector " << s;
    EXPECT_EQ(c->iPrevious, source.Crossing(s)->iPrevious);
  }
  EXPECT_EQ(optimal->Finish()->iKey, 0);

  // Compare to best: laps compare to the best lap, the best lap to the previous best.
  EXPECT_EQ(laps.CompareLapFor(3 == best ? 2 : 3), laps.BestLap());
  laps.SetViewedIndex(best);
  EXPECT_EQ(laps.ComparisonLap(), laps.PreviousBestLap());
  EXPECT_EQ(laps.ComparisonLapFor(best == 0 ? 1 : 0), laps.BestLap()) << "a row other than the best";
  laps.SelectComparison(CLapList::KCompareOptimal);
  EXPECT_EQ(laps.ComparisonLap(), laps.OptimalLap());
  laps.SelectComparison(1);
  EXPECT_EQ(laps.ComparisonLap(), laps.Lap(1));
}

// The optimal lap's continuous trace: samples re-based from 1 s and 1 km, strictly increasing,
// with the trace lap timing exactly like the optimal lap.
TEST(LapListCircuit, OptimalTraceIsContinuous) {
  const Path path = Shuttle(5000.0, {30000, 32000, 29000, 33500, 31000, 30500, 30000});
  Rig rig({{ETrapStartFinish, 200.0, 1}, {ETrapSplit, 700.0, 1}, {ETrapSplit, 400.0, -1}});
  rig.iPath = &path;
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  const CLap* optimal = laps.OptimalLap();
  ASSERT_NE(optimal, nullptr);
  EXPECT_EQ(laps.OptimalTracePlots(), nullptr) << "built only on demand";
  CLap* trace = laps.Lap(CLapList::KOptimalLap, true);
  ASSERT_NE(trace, nullptr);
  EXPECT_EQ(trace, laps.OptimalTrace());
  EXPECT_FALSE(trace->IsComposite());
  const CPositionPlotList& plots = *laps.OptimalTracePlots();
  ASSERT_GT(plots.Count(), 100);
  EXPECT_EQ(trace->Plots(), &plots);
  EXPECT_EQ(plots.At(0).iTime, 1000);
  EXPECT_EQ(plots.At(0).iDistance, TPositionPlot::EncodeDistance(TDistance::FromMetres(1000.0)));
  EXPECT_EQ(trace->Start()->iSampleIndex, 1);
  for (int32_t i = 1; i < plots.Count(); ++i) {
    ASSERT_GE(plots.At(i).iTime, plots.At(i - 1).iTime) << "sample " << i;
    ASSERT_LE(plots.At(i).iTime - plots.At(i - 1).iTime, 100) << "no jump at sample " << i;
  }
  EXPECT_EQ(trace->LapTime(), optimal->LapTime());
  for (int32_t key : {1, 2, 0}) EXPECT_EQ(trace->SplitTime(key), optimal->SplitTime(key)) << key;
  EXPECT_NEAR(trace->LapDistance().Metres(), optimal->LapDistance().Metres(), 0.01);
  // The crossing samples sit 1 ms before the next sector's first sample.
  const TLapSector* split = trace->Crossing(0);
  EXPECT_EQ(plots.At(split->iSampleIndex).iTime + 1, plots.At(split->iSampleIndex + 1).iTime);
  EXPECT_EQ(laps.IndexOf(trace), CLapList::KOptimalLap);
}

// --- Which crossings make laps ------------------------------------------------------------------

namespace {

// Regular samples every 100 ms from aFirst, with the step after aJumpAfter made aJump ms long.
std::vector<int32_t> TimesWithJump(int32_t aFirst, double aEnd, int32_t aJumpAfter, int32_t aJump) {
  std::vector<int32_t> times;
  int32_t t = aFirst;
  while (t <= aEnd) {
    times.push_back(t);
    t += (t <= aJumpAfter && t + 100 > aJumpAfter) ? aJump : 100;
  }
  return times;
}

// Index of the first sample after aMs.
int32_t SampleAfter(const std::vector<int32_t>& aTimes, double aMs) {
  for (size_t i = 0; i < aTimes.size(); ++i)
    if (aTimes[i] > aMs) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace

TEST(LapListRules, LapsNeedCrossingsAtMostThreeSecondsApartAndSplitsTwo) {
  const Path path = Shuttle(5000.0, {30000, 30000, 30000, 30000, 30000});
  const std::vector<TTrapDesc> traps = {{ETrapStartFinish, 200.0, 1}, {ETrapSplit, 700.0, 1}};
  const double firstPass = 5000.0 + 30000.0 * 0.2;   // 11000: start/finish, cycle 0
  const double splitPass = 5000.0 + 30000.0 * 0.7;   // 26000: split, cycle 0
  for (int32_t jump : {3000, 3001}) {
    SCOPED_TRACE("start gap " + std::to_string(jump));
    Rig rig(traps);
    rig.iPath = &path;
    rig.RecordAndRebuild(path, TimesWithJump(5013, path.End(), static_cast<int32_t>(firstPass) - 1000, jump));
    CLapList& laps = *rig.iLaps;
    if (jump == 3000) {
      ASSERT_EQ(laps.LapCount(), 3);
      EXPECT_NEAR(laps.Lap(0)->Start()->iSample.iTime, firstPass, 1.0);
    } else {
      // The first pass is too imprecise to start a lap; the split after it has no lap to go
      // into; the second pass starts the first lap.
      ASSERT_EQ(laps.LapCount(), 2);
      EXPECT_NEAR(laps.Lap(0)->Start()->iSample.iTime, firstPass + 60000.0, 1.0);
    }
  }
  for (int32_t jump : {2000, 2001}) {
    SCOPED_TRACE("split gap " + std::to_string(jump));
    Rig rig(traps);
    rig.RecordAndRebuild(path, TimesWithJump(5013, path.End(), static_cast<int32_t>(splitPass) - 1000, jump));
    CLapList& laps = *rig.iLaps;
    ASSERT_EQ(laps.LapCount(), 3);
    EXPECT_EQ(laps.Lap(0)->SplitCount(), jump == 2000 ? 1 : 0);
    EXPECT_TRUE(laps.Lap(0)->IsFinished());
    EXPECT_EQ(laps.Lap(1)->SplitCount(), 1);
  }
  {
    SCOPED_TRACE("a split jumped across after a lost fix");
    Rig rig(traps);
    const std::vector<int32_t> times = Rig::Times(5013, 100, path.End());
    rig.iBreaks = {SampleAfter(times, splitPass)};
    rig.RecordAndRebuild(path, times);
    EXPECT_EQ(rig.iLaps->Lap(0)->SplitCount(), 0);
    EXPECT_EQ(rig.iLaps->Lap(1)->SplitCount(), 1);
  }
}

TEST(LapListRules, StartCrossedTwiceBeforeAnySplitMovesTheStart) {
  // Start line 100 m, split 500 m, finish 900 m, all northbound only. The car passes the start,
  // turns back before the split, and then drives the whole stage.
  Path path;
  path.At(5000, 0).At(12500, 300).At(20000, 0).At(45000, 1000);
  Rig rig({{ETrapStart, 100.0, 1}, {ETrapSplit, 500.0, 1}, {ETrapFinish, 900.0, 1}});
  rig.iPath = &path;
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  ASSERT_EQ(laps.LapCount(), 1);
  const CLap& lap = *laps.Lap(0);
  EXPECT_NEAR(lap.Start()->iSample.iTime, rig.Pass(0, 1), 1.0);
  EXPECT_TRUE(lap.IsFinished());
  EXPECT_NEAR(lap.LapTime().Milliseconds(), rig.Pass(2, 0) - rig.Pass(0, 1), 1.0);
  EXPECT_NEAR(lap.SplitTime(1).Milliseconds(), rig.Pass(1, 0) - rig.Pass(0, 1), 1.0);
}

TEST(LapListRules, StageTrackWithSeparateStartAndFinish) {
  // Run 1 stops after the split (the car turns back), run 2 and run 3 are complete; between
  // runs the car drives back south, which the northbound traps ignore. A finish crossed with
  // no lap running (the car enters the road past the start) does nothing.
  Path path;
  path.At(5000, 850).At(7000, 950)                    // past the finish: no lap yet
      .At(30000, 0)                                    // back to the start of the stage
      .At(47500, 700).At(65000, 0)                     // run 1: start, split, turn back
      .At(90000, 1000).At(115000, 0)                   // run 2
      .At(139000, 1000);                               // run 3, a little faster
  Rig rig({{ETrapStart, 100.0, 1}, {ETrapSplit, 500.0, 1}, {ETrapFinish, 900.0, 1}});
  rig.iPath = &path;
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  ASSERT_EQ(laps.LapCount(), 3);
  EXPECT_FALSE(laps.Lap(0)->IsFinished()) << "left unfinished for ever";
  EXPECT_EQ(laps.Lap(0)->SplitCount(), 1);
  EXPECT_FALSE(laps.Lap(0)->LapTime().IsSet());
  for (int k = 1; k <= 2; ++k) {
    const CLap& lap = *laps.Lap(k);
    ASSERT_TRUE(lap.IsFinished());
    EXPECT_EQ(lap.Start()->iKey, 0);
    EXPECT_EQ(lap.Finish()->iKey, 2);
    EXPECT_NEAR(lap.LapTime().Milliseconds(), rig.Pass(2, k) - rig.Pass(0, k), 1.0);
    EXPECT_NEAR(lap.SectorTime(1, 2).Milliseconds(), rig.Pass(2, k) - rig.Pass(1, k), 1.0);
  }
  EXPECT_EQ(laps.DisplayLapCount(), 3) << "the newest lap is finished";
  EXPECT_EQ(laps.BestLapIndex(), 2);
  EXPECT_EQ(laps.PreviousBestIndex(), 1);
  // The optimal lap follows the best lap's crossings; run 3 is the fastest in both sectors.
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_EQ(laps.OptimalLap()->LapTime(), laps.Lap(2)->LapTime());
}

TEST(LapListRules, SameSplitTwiceInOneLapKeepsTheFirst) {
  // A bidirectional split at 500 m passed north, south and north again.
  Path path;
  path.At(5000, 0).At(20000, 600).At(25000, 400).At(40000, 1000);
  Rig rig({{ETrapStart, 100.0, 1}, {ETrapSplit, 500.0, 0}, {ETrapFinish, 900.0, 1}});
  rig.iPath = &path;
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  ASSERT_EQ(rig.iCrossings.Count(), 5);
  ASSERT_EQ(rig.iLaps->LapCount(), 1);
  const CLap& lap = *rig.iLaps->Lap(0);
  ASSERT_EQ(lap.SplitCount(), 1);
  EXPECT_NEAR(lap.Split(0)->iSample.iTime, rig.Pass(1, 0), 1.0);
  EXPECT_TRUE(lap.IsFinished());
}

TEST(LapListRules, StandingStartAreaTimesFromTheMomentOfStarting) {
  // The car waits in the area at 0 m and pulls away at 4 m/s^2 at t0, between two samples,
  // up to 40 m/s; the finish line is at 402 m.
  const double t0 = 10037.0, a = 4.0;
  auto north = [&](double ms) {
    const double t = (ms - t0) / 1000.0;
    if (t <= 0) return 0.0;
    if (t <= 10.0) return a * t * t / 2.0;
    return 200.0 + 40.0 * (t - 10.0);
  };
  auto speed = [&](double ms) {
    const double t = (ms - t0) / 1000.0;
    return t <= 0 ? 0.0 : (t <= 10.0 ? a * t : 40.0);
  };
  const double finishNorth = 402.0;
  Rig rig({{ETrapStandingStart, 0.0, 0}, {ETrapFinish, finishNorth, 1}}, 20.0);
  for (int32_t ms = 5000; ms <= 30000; ms += 100) {
    TPositionPlot p;
    p.iTime = ms;
    p.iLatitude = LatitudeAt(north(ms)).iValue;
    p.iLongitude = KLon0;
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(speed(ms)));
    p.iBearing = 0;
    p.iFlags = TPositionPlot::EncodeFlags(10, false, false);
    p.iDistance = TPositionPlot::EncodeDistance(rig.iPlots.AppendComputed(p.GeoPoint()));
    rig.iPlots.AppendStored(p);
  }
  rig.iCrossings.Rebuild(rig.iPlots, rig.iTraps);
  rig.iLaps->Rebuild(rig.iTraps, rig.iCrossings);
  ASSERT_EQ(rig.iLaps->LapCount(), 1);
  const CLap& lap = *rig.iLaps->Lap(0);
  EXPECT_EQ(lap.Start()->iKey, 0);
  EXPECT_NEAR(lap.Start()->iSample.iTime, t0, 1.0);
  ASSERT_TRUE(lap.IsFinished());
  const double finishNorthReal = NorthOf(rig.iTraps.At(1)->Centre().iLatitude);
  const double finishMs = t0 + (10.0 + (finishNorthReal - 200.0) / 40.0) * 1000.0;
  EXPECT_NEAR(lap.LapTime().Milliseconds(), finishMs - t0, 2.0);
}

TEST(LapListRules, CrossingsOfTrapsBeyondTheTrapListAreSkipped) {
  const Path path = Shuttle(5000.0, {30000, 30000, 30000});
  Rig rig({{ETrapStartFinish, 200.0, 1}, {ETrapSplit, 700.0, 1}});
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  ASSERT_EQ(rig.iLaps->Lap(0)->SplitCount(), 1);
  // The same crossings against a track that has only the first trap.
  CTrapLineList shorter;
  shorter.Add(*rig.iTraps.At(0));
  rig.iLaps->Rebuild(shorter, rig.iCrossings);
  ASSERT_EQ(rig.iLaps->LapCount(), 2);
  EXPECT_EQ(rig.iLaps->Lap(0)->SplitCount(), 0);
  EXPECT_TRUE(rig.iLaps->Lap(0)->IsFinished());
  EXPECT_EQ(rig.iLaps->ProcessedCount(), rig.iCrossings.Count());
}

// --- Best, previous best, invalid laps and notes -------------------------------------------------

namespace {

// A circuit on the road: start/finish at 200 m and a split at 700 m northbound, a split at
// 400 m southbound. The car passes the line at the given moments, always at 40 m/s on the
// way north, and finishes with a lap that runs past the first split and stops.
Path Circuit(const std::vector<double>& aLinePasses) {
  Path path;
  for (size_t i = 0; i < aLinePasses.size(); ++i) {
    path.At(aLinePasses[i] - 5000.0, 0.0).At(aLinePasses[i] + 20000.0, 1000.0);
  }
  return path;
}

const std::vector<TTrapDesc> KCircuitTraps = {
    {ETrapStartFinish, 200.0, 1}, {ETrapSplit, 700.0, 1}, {ETrapSplit, 400.0, -1}};

// Passes of the line giving laps of the given times, the first at 10 s.
std::vector<double> LinePasses(const std::vector<double>& aLapTimes) {
  std::vector<double> passes = {10000.0};
  for (double lap : aLapTimes) passes.push_back(passes.back() + lap);
  return passes;
}

}  // namespace

TEST(LapListBest, BestIsTheFastestAndPreviousBestTheOneItReplaced) {
  {
    const Path path = Circuit(LinePasses({62000, 61500, 61800}));
    Rig rig(KCircuitTraps);
    rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
    CLapList& laps = *rig.iLaps;
    ASSERT_EQ(laps.LapCount(), 4);
    EXPECT_NEAR(laps.Lap(0)->LapTime().Milliseconds(), 62000, 1);
    // Every pass of the line lies at the same point between samples: differences are exact.
    EXPECT_EQ(laps.Lap(1)->LapTime().Milliseconds() - laps.Lap(0)->LapTime().Milliseconds(), -500);
    EXPECT_EQ(laps.Lap(2)->LapTime().Milliseconds() - laps.Lap(0)->LapTime().Milliseconds(), -200);
    EXPECT_EQ(laps.BestLapIndex(), 1);
    EXPECT_EQ(laps.PreviousBestIndex(), 0) << "the lap best before, not the second fastest";
    EXPECT_EQ(laps.CompareLapFor(2), laps.Lap(1));
    EXPECT_EQ(laps.CompareLapFor(1), laps.Lap(0));
    EXPECT_EQ(laps.CompareLapFor(CLapList::KOptimalLap), laps.Lap(1));
    // The first sector is equally fast in every lap: the earliest lap supplies it.
    const CLap* optimal = laps.OptimalLap();
    ASSERT_NE(optimal, nullptr);
    EXPECT_EQ(optimal->Crossing(0)->iPrevious, laps.Lap(0)->Start());
    EXPECT_EQ(optimal->Crossing(1)->iPrevious, laps.Lap(1)->Split(0));
    EXPECT_EQ(optimal->LapTime(), laps.Lap(1)->LapTime());
  }
  {
    const Path path = Circuit(LinePasses({62000, 61500, 61500}));
    Rig rig(KCircuitTraps);
    rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
    ASSERT_EQ(rig.iLaps->Lap(1)->LapTime(), rig.iLaps->Lap(2)->LapTime());
    EXPECT_EQ(rig.iLaps->BestLapIndex(), 1) << "the earlier of two equal laps";
    EXPECT_EQ(rig.iLaps->PreviousBestIndex(), 0);
  }
}

TEST(LapListBest, InvalidLapsTakePartInNeitherBestNorOptimal) {
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig rig(KCircuitTraps);
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  laps.SetInvalidMarker(1, 1);
  EXPECT_TRUE(laps.Lap(1)->IsInvalid());
  EXPECT_EQ(laps.BestLapIndex(), 2);
  EXPECT_EQ(laps.PreviousBestIndex(), 0);
  const CLap* optimal = laps.OptimalLap();
  ASSERT_NE(optimal, nullptr);
  EXPECT_EQ(optimal->LapTime(), laps.Lap(2)->LapTime());
  for (int32_t i = 0; i < optimal->CrossingCount(); ++i) {
    const TLapSector* from = optimal->Crossing(i)->iPrevious;
    EXPECT_NE(from, laps.Lap(1)->Start());
    for (int32_t j = 0; j < laps.Lap(1)->CrossingCount(); ++j) EXPECT_NE(from, laps.Lap(1)->Crossing(j));
  }
  // With every finished lap invalid there is no best lap, and the sectors of the unfinished
  // lap alone cannot make a whole optimal lap.
  laps.SetInvalidMarker(0, 1);
  laps.SetInvalidMarker(2, 1);
  EXPECT_EQ(laps.BestLap(), nullptr);
  EXPECT_EQ(laps.BestLapIndex(), -1);
  EXPECT_EQ(laps.CompareLapFor(0), nullptr);
  // The template falls back to the viewed lap 0; its second and third sectors exist in no
  // valid lap, so the optimal lap is discarded.
  EXPECT_EQ(laps.OptimalLap(), nullptr);
  laps.SetInvalidMarker(1, 0);
  EXPECT_EQ(laps.BestLapIndex(), 1);
  EXPECT_EQ(laps.PreviousBestIndex(), -1);
  EXPECT_NE(laps.OptimalLap(), nullptr);
}

TEST(LapListBest, RebuildAppliesTheSessionNotesAsInvalidMarkers) {
  const std::vector<double> passes = LinePasses({62000, 61500, 61800});
  const Path path = Circuit(passes);
  CSessionInfo info;
  CSessionNote note;
  note.SetMarker(1);
  note.SetSessionTime(PwTime(static_cast<int32_t>(passes[1] + 30000)));  // inside lap 1
  info.StoreNote(note);
  CSessionNote text;  // a note with text only marks nothing
  text.SetText(u"wet");
  text.SetSessionTime(PwTime(static_cast<int32_t>(passes[2] + 30000)));
  info.StoreNote(text);

  Rig rig(KCircuitTraps);
  rig.iLaps.reset(CLapList::NewL(&rig.iPlots, nullptr, &info));
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  EXPECT_EQ(laps.Lap(0)->InvalidMarker(), 0);
  EXPECT_EQ(laps.Lap(1)->InvalidMarker(), 1);
  EXPECT_EQ(laps.Lap(2)->InvalidMarker(), 0);
  EXPECT_EQ(laps.BestLapIndex(), 2);
  // The lap's note range is what the note editor uses: a note placed in its middle is found.
  PwTime start, end;
  ASSERT_TRUE(laps.Lap(1)->NoteRange(start, end));
  EXPECT_EQ(info.NoteForLap(start, end)->Marker(), 1);
  EXPECT_LE(start.Milliseconds(), laps.Lap(1)->Start()->iSample.iTime);
  EXPECT_GE(end.Milliseconds(), laps.Lap(1)->Finish()->iSample.iTime);

  // The note removed: applying again clears the marker and the best lap follows.
  CSessionNote cleared;
  cleared.SetSessionTime(note.SessionTime());
  info.StoreNote(cleared);
  laps.ApplyNotes();
  laps.RecomputeBestAndOptimal();
  EXPECT_EQ(laps.Lap(1)->InvalidMarker(), 0);
  EXPECT_EQ(laps.BestLapIndex(), 1);
}

// --- Views: rows, viewed lap, selected key and high/low cursor -----------------------------------

TEST(LapListViews, RowsFollowTheFlags) {
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig rig(KCircuitTraps);
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  laps.SetInvalidMarker(2, 1);
  CPwVector<int32_t> rows(8);
  auto list = [&](int32_t aFlags) {
    const int32_t viewedRow = laps.ListLapIndices(rows, aFlags);
    std::vector<int32_t> out(rows.begin(), rows.end());
    out.push_back(viewedRow);  // the viewed lap's row last
    return out;
  };
  laps.SetViewedIndex(1);
  EXPECT_EQ(list(1 | 2 | 4), (std::vector<int32_t>{-2, 0, 1, 2, 3, 2}));
  EXPECT_EQ(list(2 | 4), (std::vector<int32_t>{-2, 0, 1, 3, 2}));
  EXPECT_EQ(list(4), (std::vector<int32_t>{-2, 0, 1, 2}));
  EXPECT_EQ(list(0), (std::vector<int32_t>{0, 1, 1}));
  EXPECT_EQ(list(1), (std::vector<int32_t>{0, 1, 2, 1}));
  EXPECT_EQ(list(16 | 4), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(list(32), (std::vector<int32_t>{1, 0}));
  laps.SetViewedIndex(3);
  EXPECT_EQ(list(16), (std::vector<int32_t>{-1})) << "the unfinished lap needs flag 2";
  EXPECT_EQ(list(16 | 2), (std::vector<int32_t>{3, 0}));
  laps.SetViewedIndex(CLapList::KOptimalLap);
  EXPECT_EQ(list(16), (std::vector<int32_t>{-1})) << "the optimal lap needs flag 4";
  EXPECT_EQ(laps.OptimalTracePlots(), nullptr);
  EXPECT_EQ(list(16 | 4 | 8), (std::vector<int32_t>{-2, 0}));
  EXPECT_NE(laps.OptimalTracePlots(), nullptr) << "flag 8 builds the trace";
}

TEST(LapListViews, ViewedLapSkipsHiddenInvalidLapsAndVisitsTheOptimalLap) {
  CSettings settings(CPwStringC(u"/tmp"));
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig rig(KCircuitTraps);
  rig.iLaps.reset(CLapList::NewL(&rig.iPlots, &settings, nullptr));
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  laps.SetInvalidMarker(1, 1);
  auto walk = [&](bool aForward) {
    std::vector<int32_t> seen;
    for (int i = 0; i < 5; ++i) {
      aForward ? laps.ViewedNext() : laps.ViewedPrevious();
      seen.push_back(laps.ViewedIndex());
    }
    return seen;
  };
  laps.SetViewedIndex(0);
  EXPECT_EQ(walk(true), (std::vector<int32_t>{1, 2, 3, -2, 0}));
  EXPECT_EQ(walk(false), (std::vector<int32_t>{-2, 3, 2, 1, 0}));
  settings.SetHideInvalid(1);
  EXPECT_EQ(walk(true), (std::vector<int32_t>{2, 3, -2, 0, 2}));
  laps.SetViewedIndex(0);
  EXPECT_EQ(walk(false), (std::vector<int32_t>{-2, 3, 2, 0, -2}));

  laps.SetViewedIndex(1);
  laps.ValidateViewed();
  EXPECT_EQ(laps.ViewedIndex(), 0) << "the nearest earlier lap that is shown";
  laps.SetViewedIndex(17);
  laps.ValidateViewed();
  EXPECT_EQ(laps.ViewedIndex(), 3);
  laps.SetViewedIndex(CLapList::KOptimalLap);
  laps.ValidateViewed();
  EXPECT_EQ(laps.ViewedIndex(), CLapList::KOptimalLap);
  EXPECT_EQ(laps.ViewedLap(), laps.OptimalLap());
}

TEST(LapListViews, SelectedKeyAndHighLowCursorFollowTheViewedLap) {
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig rig(KCircuitTraps);
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  laps.SetViewedIndex(0);
  EXPECT_EQ(laps.SelectedKey(), -1);
  std::vector<int32_t> keys;
  for (int i = 0; i < 4; ++i) {
    laps.SelectedKeyNext();
    keys.push_back(laps.SelectedKey());
  }
  EXPECT_EQ(keys, (std::vector<int32_t>{1, 2, 0, -1}));
  laps.SelectedKeyPrevious();
  EXPECT_EQ(laps.SelectedKey(), 0);
  EXPECT_EQ(laps.SelectedKeyIndex(), 2);
  laps.SetSelectedKey(1);
  EXPECT_EQ(laps.SelectedKeyIndex(), 0);

  // 40 m/s north, about 27 m/s south. A steady speed does not move an extreme, so the high
  // is the first 40 m/s sample (the one before the line, at the start of the scan), confirmed
  // by the slow run south; the low is the first slow sample, at the 1000 m turn, confirmed by
  // the 40 m/s after the turn at 0 m.
  const CLap& lap = *laps.Lap(0);
  ASSERT_EQ(lap.HighLowCount(), 2);
  EXPECT_EQ(lap.HighLowPoint(0).iHigh, 1);
  EXPECT_EQ(lap.HighLowPoint(1).iHigh, 0);
  EXPECT_EQ(lap.HighLowPoint(0).iSampleIndex, lap.Start()->iSampleIndex - 1);
  EXPECT_NEAR(lap.HighLowPosition(0).iLatitude.iValue, LatitudeAt(200.0).iValue, 300);
  EXPECT_NEAR(lap.HighLowPosition(1).iLatitude.iValue, LatitudeAt(1000.0).iValue, 300);
  EXPECT_NEAR(lap.HighLowSpeed(0).MetresPerSecond(), 40.0, 1e-3);
  EXPECT_NEAR(lap.HighLowSpeed(1).MetresPerSecond(), 1000.0 / 37.0, 1e-3);
  EXPECT_NEAR(lap.MaximumSpeed(), TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(40.0)), 2);
  laps.SetHighLowCursor(0);
  laps.HighLowNext();
  EXPECT_EQ(laps.HighLowCursor(), 1);
  laps.HighLowNext();
  EXPECT_EQ(laps.HighLowCursor(), 0);
  laps.HighLowPrevious();
  EXPECT_EQ(laps.HighLowCursor(), 1);
  laps.HighLowNearest(TGeoPoint(LatitudeAt(650.0), TCoordinate(KLon0 + 3000)));
  EXPECT_EQ(laps.HighLowCursor(), 1);
  laps.HighLowNearest(TGeoPoint(LatitudeAt(550.0), TCoordinate(KLon0 - 3000)));
  EXPECT_EQ(laps.HighLowCursor(), 0);
  laps.HighLowNearest(lap.HighLowPosition(1));
  EXPECT_EQ(laps.HighLowCursor(), 1);
  laps.SetHighLowCursor(9);
  laps.HighLowClamp();
  EXPECT_EQ(laps.HighLowCursor(), 1);
}

// A comparison lap from another session: that list's own selection decides.
TEST(LapListViews, LinkedComparisonListChoosesByItsOwnSelection) {
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig mine(KCircuitTraps), other(KCircuitTraps);
  mine.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  const Path faster = Circuit(LinePasses({61000, 60000}));
  other.RecordAndRebuild(faster, Rig::Times(5013, 100, faster.End()));
  CLapList& laps = *mine.iLaps;
  laps.SetComparisonList(other.iLaps.get());
  EXPECT_EQ(laps.ComparisonLap(), other.iLaps->BestLap());
  other.iLaps->SelectComparison(0);
  EXPECT_EQ(laps.ComparisonLap(), other.iLaps->Lap(0));
  other.iLaps->SelectComparison(CLapList::KCompareOptimal);
  EXPECT_EQ(laps.ComparisonLap(), other.iLaps->OptimalLap());
  CLap* trace = laps.ComparisonLap(true);
  ASSERT_NE(trace, nullptr);
  EXPECT_EQ(trace, other.iLaps->OptimalTrace()) << "the chained list builds its own trace";
  // The optimal lap of this session now follows the other session's best lap's crossings.
  laps.RecomputeBestAndOptimal();
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_EQ(laps.OptimalLap()->CrossingCount(), 3);
}

// --- Live against rebuilt ---------------------------------------------------------------------

namespace {

void ExpectSameLaps(CLapList& aLive, CLapList& aRebuilt) {
  ASSERT_EQ(aLive.LapCount(), aRebuilt.LapCount());
  auto same = [](const TLapSector* a, const TLapSector* b) {
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (!a) return;
    EXPECT_EQ(a->iKey, b->iKey);
    EXPECT_EQ(a->iSampleIndex, b->iSampleIndex);
    EXPECT_EQ(a->iSample.iTime, b->iSample.iTime);
    EXPECT_EQ(a->iSample.iLatitude, b->iSample.iLatitude);
    EXPECT_EQ(a->iSample.iDistance, b->iSample.iDistance);
    EXPECT_EQ(a->iSample.iSpeed, b->iSample.iSpeed);
  };
  for (int32_t i = 0; i < aLive.LapCount(); ++i) {
    SCOPED_TRACE("lap " + std::to_string(i));
    const CLap& a = *aLive.Lap(i);
    const CLap& b = *aRebuilt.Lap(i);
    same(a.Start(), b.Start());
    ASSERT_EQ(a.CrossingCount(), b.CrossingCount());
    for (int32_t c = 0; c < a.CrossingCount(); ++c) same(a.Crossing(c), b.Crossing(c));
    EXPECT_EQ(a.LapTime(), b.LapTime());
    ASSERT_EQ(a.HighLowCount(), b.HighLowCount());
    for (int32_t h = 0; h < a.HighLowCount(); ++h)
      EXPECT_EQ(a.HighLowPoint(h).iSampleIndex, b.HighLowPoint(h).iSampleIndex);
  }
  EXPECT_EQ(aLive.BestLapIndex(), aRebuilt.BestLapIndex());
  EXPECT_EQ(aLive.PreviousBestIndex(), aRebuilt.PreviousBestIndex());
  ASSERT_EQ(aLive.OptimalLap() == nullptr, aRebuilt.OptimalLap() == nullptr);
  if (aLive.OptimalLap()) {
    EXPECT_EQ(aLive.OptimalLap()->LapTime(), aRebuilt.OptimalLap()->LapTime());
    for (int32_t c = 0; c < aLive.OptimalLap()->CrossingCount(); ++c)
      same(aLive.OptimalLap()->Crossing(c), aRebuilt.OptimalLap()->Crossing(c));
  }
}

}  // namespace

// Recording writes the samples file while the laps are made sample by sample; loading that
// file and rebuilding gives exactly the same laps.
TEST(LapListLive, RebuildFromTheSamplesFileGivesTheLiveLaps) {
  pwtest::TempDir dir;
  CPwString root;
  SetFromNativePath(root, (dir.Path() + "/").c_str());
  ASSERT_TRUE(EnsureFolders(root));

  const std::vector<double> lapTimes = {62000, 61500, 61800, 60900, 63300, 61200};
  const Path path = Circuit(LinePasses(lapTimes));
  CTrapLineList traps;
  for (const TTrapDesc& desc : KCircuitTraps) AddTrap(traps, desc);

  std::unique_ptr<CPlotList> recorded(CPlotList::NewL(nullptr));
  recorded->CreateFile(u"live", root);
  recorded->OpenForAppend();
  CIntersectionList liveCrossings;
  std::unique_ptr<CLapList> live(CLapList::NewL(&recorded->PositionList(), nullptr, nullptr));
  CountingAnnouncer announcer;
  int32_t finished = 0;
  const int32_t dayStart = 10 * PwTime::KHour;
  for (int32_t t : Rig::Times(5013, 100, path.End())) {
    const TPositionPlot p = SampleAt(path, t);
    ASSERT_EQ(recorded->AddPosition(TCoordinate(p.iLatitude), TCoordinate(p.iLongitude), dayStart + t,
                                    TDistance::Invalid(), p.Speed(), p.BearingDegrees(), 1.0, 1.5, 10, 0, 0,
                                    KInvalidInt, KInvalidInt, 0),
              1);
    if (liveCrossings.TestNewest(recorded->PositionList(), &traps))
      finished += live->ProcessCrossings(traps, liveCrossings, &announcer);
  }
  recorded->CloseFile();
  EXPECT_EQ(finished, 6);
  EXPECT_EQ(announcer.iCount, 6);
  ASSERT_EQ(live->LapCount(), 7);
  EXPECT_EQ(live->BestLapIndex(), 3);
  EXPECT_EQ(live->PreviousBestIndex(), 1);

  std::unique_ptr<CPlotList> loaded(CPlotList::NewL(nullptr));
  CPlotListLoader* loader = loaded->StartLoading(nullptr, u"live", root);
  while (loader->Step()) {
  }
  loaded->FinishLoading();
  ASSERT_EQ(loaded->PositionList().Count(), recorded->PositionList().Count());
  CIntersectionList crossings;
  crossings.Rebuild(loaded->PositionList(), traps);
  ASSERT_EQ(crossings.Count(), liveCrossings.Count());
  std::unique_ptr<CLapList> rebuilt(CLapList::NewL(&loaded->PositionList(), nullptr, nullptr));
  EXPECT_EQ(rebuilt->Rebuild(traps, crossings), 1);
  ExpectSameLaps(*live, *rebuilt);

  // Rebuilding the live list in place changes nothing either.
  live->Rebuild(traps, liveCrossings);
  ExpectSameLaps(*live, *rebuilt);
}

// --- Optimal lap corner cases ---------------------------------------------------------------------

TEST(LapListOptimal, ViewedOptimalLapAsItsOwnTemplate) {
  // With the optimal lap viewed and a comparison that names no lap, the optimal lap is made
  // after the viewed lap: the old optimal lap itself, which goes while the new one is built.
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig rig(KCircuitTraps);
  rig.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  CLapList& laps = *rig.iLaps;
  const PwTime time = laps.OptimalLap()->LapTime();
  laps.SetViewedIndex(CLapList::KOptimalLap);
  laps.SelectComparison(99);
  EXPECT_EQ(laps.ComparisonLap(), nullptr);
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_EQ(laps.OptimalLap()->LapTime(), time);
  EXPECT_EQ(laps.OptimalLap()->CrossingCount(), 3);
  // An unfinished template gives an optimal lap of its splits only.
  laps.SelectComparison(3);
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_FALSE(laps.OptimalLap()->IsFinished());
  EXPECT_EQ(laps.OptimalLap()->CrossingCount(), 1);
  EXPECT_FALSE(laps.OptimalLap()->LapTime().IsSet());
  CPwVector<int32_t> rows(8);
  laps.ListLapIndices(rows, CLapList::EListOptimalFirst);
  EXPECT_NE(rows.At(0), CLapList::KOptimalLap) << "an unfinished optimal lap is no finished row";
}

TEST(LapListOptimal, TrackWithManyTrapsTimesTheSame) {
  // 150 disabled traps ahead of the real ones: the sector bookkeeping for large key numbers
  // must give the same laps as the three-trap track.
  const Path path = Circuit(LinePasses({62000, 61500, 61800}));
  Rig small(KCircuitTraps);
  small.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  std::vector<TTrapDesc> many(150, TTrapDesc{ETrapDisabled, 500.0, 0});
  many.insert(many.end(), KCircuitTraps.begin(), KCircuitTraps.end());
  Rig large(many);
  large.RecordAndRebuild(path, Rig::Times(5013, 100, path.End()));
  ASSERT_EQ(large.iLaps->LapCount(), small.iLaps->LapCount());
  for (int32_t k = 0; k < small.iLaps->LapCount(); ++k)
    EXPECT_EQ(large.iLaps->Lap(k)->LapTime(), small.iLaps->Lap(k)->LapTime());
  EXPECT_EQ(large.iLaps->BestLapIndex(), small.iLaps->BestLapIndex());
  ASSERT_NE(large.iLaps->OptimalLap(), nullptr);
  EXPECT_EQ(large.iLaps->OptimalLap()->LapTime(), small.iLaps->OptimalLap()->LapTime());
  EXPECT_EQ(large.iLaps->OptimalLap()->Finish()->iKey, 150);
}

// --- A real kart session ------------------------------------------------------------------------

namespace {

// Positions of a VBO log (minutes of arc, longitude positive west); rows that repeat the
// previous time are dropped, as the recorder drops them.
bool ReadVbo(const std::string& aPath, CPositionPlotList& aPlots) {
  const std::string text = pwtest::ReadFileBytes(aPath);
  size_t at = text.find("[data]");
  if (at == std::string::npos) return false;
  at = text.find('\n', at);
  int32_t last = -1;
  while (at != std::string::npos && at + 1 < text.size()) {
    const size_t end = text.find('\n', at + 1);
    const std::string line = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    at = end;
    int sats = 0;
    double hhmmss = 0, latMin = 0, lonMin = 0, kmh = 0, heading = 0;
    if (std::sscanf(line.c_str(), "%d %lf %lf %lf %lf %lf", &sats, &hhmmss, &latMin, &lonMin, &kmh, &heading) != 6)
      continue;
    const int hours = static_cast<int>(hhmmss / 10000);
    const int minutes = static_cast<int>(hhmmss / 100) % 100;
    const double seconds = hhmmss - hours * 10000 - minutes * 100;
    const int32_t ms = hours * PwTime::KHour + minutes * PwTime::KMinute + static_cast<int32_t>(std::lround(seconds * 1000));
    if (ms <= last) continue;
    last = ms;
    TPositionPlot p;
    p.iTime = ms;
    p.iLatitude = TCoordinate::FromDegrees(latMin / 60.0).iValue;
    p.iLongitude = TCoordinate::FromDegrees(-lonMin / 60.0).iValue;
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromKmh(kmh));
    p.iBearing = TPositionPlot::EncodeHundredths(heading);
    p.iFlags = TPositionPlot::EncodeFlags(sats, false, false);
    p.iDistance = TPositionPlot::EncodeDistance(aPlots.AppendComputed(p.GeoPoint()));
    aPlots.AppendStored(p);
  }
  return aPlots.Count() > 0;
}

}  // namespace

// A start/finish line across the kart circuit: the laps found live and by a rebuild agree,
// and every crossing agrees with a plain flat-earth interpolation done here.
TEST(LapListRealLog, KartCircuitLaps) {
  PW_REQUIRE_TESTDATA();
  CPositionPlotList source;
  ASSERT_TRUE(ReadVbo(pwtest::TestDataDir() + "/vbo/karting-part.vbo", source));
  ASSERT_GT(source.Count(), 8000);

  const double latDeg = 30.26381, lonDeg = 120.31566, bearingDeg = 34.0, width = 16.0;
  CTrapLineList traps;
  std::unique_ptr<CTrapLine> line(CTrapLine::NewL());
  line->Set(ETrapStartFinish, u"Start/Finish", TCoordinate::FromDegrees(latDeg), TCoordinate::FromDegrees(lonDeg),
            TAngle::FromDegrees(bearingDeg), TDistance::FromMetres(width), 1);
  traps.Add(*line);

  // Live: sample by sample.
  CPositionPlotList plots;
  CIntersectionList liveCrossings;
  std::unique_ptr<CLapList> live(CLapList::NewL(&plots, nullptr, nullptr));
  CountingAnnouncer announcer;
  for (int32_t i = 0; i < source.Count(); ++i) {
    plots.AppendStored(source.At(i));
    if (liveCrossings.TestNewest(plots, &traps)) live->ProcessCrossings(traps, liveCrossings, &announcer);
  }
  // Rebuilt.
  CIntersectionList crossings;
  crossings.Rebuild(source, traps);
  std::unique_ptr<CLapList> rebuilt(CLapList::NewL(&source, nullptr, nullptr));
  rebuilt->Rebuild(traps, crossings);
  ExpectSameLaps(*live, *rebuilt);

  // The independent estimate: signed distance along the direction of travel, linear in time
  // between samples.
  const TCoordinate centreLat = traps.At(0)->Centre().iLatitude, centreLon = traps.At(0)->Centre().iLongitude;
  const double cosLat = std::cos(centreLat.ToRadians());
  const double dx = std::sin(bearingDeg * KPi / 180), dy = std::cos(bearingDeg * KPi / 180);
  auto along = [&](const TPositionPlot& p, double& aAcross) {
    const double x = (TCoordinate(p.iLongitude).ToRadians() - centreLon.ToRadians()) * cosLat * EarthRadius;
    const double y = (TCoordinate(p.iLatitude).ToRadians() - centreLat.ToRadians()) * EarthRadius;
    aAcross = x * dy - y * dx;
    return x * dx + y * dy;
  };
  std::vector<double> expected;
  for (int32_t i = 1; i < source.Count(); ++i) {
    double across0, across1;
    const double s0 = along(source.At(i - 1), across0), s1 = along(source.At(i), across1);
    if (!(s0 < 0 && s1 >= 0)) continue;
    const double f = -s0 / (s1 - s0);
    if (std::fabs(across0 + (across1 - across0) * f) > width / 2) continue;
    expected.push_back(source.At(i - 1).iTime + (source.At(i).iTime - source.At(i - 1).iTime) * f);
  }
  ASSERT_GE(expected.size(), 6u) << "several laps in six minutes";
  ASSERT_EQ(static_cast<size_t>(crossings.Count()), expected.size());
  CLapList& laps = *rebuilt;
  ASSERT_EQ(static_cast<size_t>(laps.LapCount()), expected.size());
  EXPECT_EQ(announcer.iCount, laps.LapCount() - 1);
  for (int32_t k = 0; k + 1 < laps.LapCount(); ++k) {
    const CLap& lap = *laps.Lap(k);
    EXPECT_NEAR(lap.Start()->iSample.iTime, expected[static_cast<size_t>(k)], 1.5) << "lap " << k;
    EXPECT_NEAR(lap.LapTime().Milliseconds(), expected[static_cast<size_t>(k) + 1] - expected[static_cast<size_t>(k)],
                2.0)
        << "lap " << k;
    // A kart lap of this circuit takes half a minute or so.
    EXPECT_GT(lap.LapTime().Milliseconds(), 20000);
    EXPECT_LT(lap.LapTime().Milliseconds(), 60000);
  }
  const CLap* best = laps.BestLap();
  ASSERT_NE(best, nullptr);
  for (int32_t k = 0; k + 1 < laps.LapCount(); ++k) EXPECT_LE(best->LapTime(), laps.Lap(k)->LapTime());
  // With one line the optimal lap is the best lap.
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_EQ(laps.OptimalLap()->LapTime(), best->LapTime());
  EXPECT_GT(best->HighLowCount(), 2) << "a kart circuit has corners";
}
