#include "timing/performance_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "acquisition/obd_channels.h"
#include "acquisition/position_plot.h"
#include "storage/plot_list.h"
#include "timing/performance_test.h"

namespace {

constexpr double kKph = 1.0 / 3.6;
// Indices of the built-in tests.
enum {
  k60Feet = 0, kEighthMile = 1, kQuarterMile = 2, k1000m = 3, kMile = 4, k0to60mph = 5,
  k0to100 = 6, k0to100mph = 7, k0to200 = 8, k80to120 = 9, k60to160 = 10, k100to200 = 11,
};
constexpr int32_t kObdSpeedPid = 0x0D;
// 10:00:00 in the morning: session times are times of day on the first day.
constexpr int32_t kBase = 36000000;

// Straight-line motion of a vehicle along its path: stationary (or cruising at the initial
// speed) until the first phase, then phases of constant acceleration.
class Motion {
 public:
  // aStart in ms of session time; aSpeed the speed before it.
  explicit Motion(double aStart, double aSpeed = 0.0) : iStart(aStart / 1000.0), iV0(aSpeed) {}
  // aDuration in seconds, aAccel in m/s^2.
  Motion& Then(double aDuration, double aAccel) {
    iPhases.push_back({aDuration, aAccel});
    return *this;
  }
  // Accelerates from the current end speed to aSpeed (m/s) at aAccel magnitude.
  Motion& To(double aSpeed, double aAccel) {
    const double v = EndSpeed();
    const double a = aSpeed >= v ? std::fabs(aAccel) : -std::fabs(aAccel);
    return Then((aSpeed - v) / a, a);
  }
  Motion& Hold(double aDuration) { return Then(aDuration, 0.0); }
  double EndSpeed() const {
    double v = iV0;
    for (const auto& p : iPhases) v += p.second * p.first;
    return v;
  }
  // End of the last phase in ms.
  double EndMs() const {
    double t = iStart;
    for (const auto& p : iPhases) t += p.first;
    return t * 1000.0;
  }
  // Path distance (m) and speed (m/s) at aMs.
  void At(double aMs, double& aDistance, double& aSpeed) const {
    double t = aMs / 1000.0 - iStart;
    double s = 0.0, v = iV0;
    if (t < 0) {
      aDistance = v * t;
      aSpeed = v;
      return;
    }
    for (const auto& p : iPhases) {
      const double dt = std::min(t, p.first);
      s += v * dt + 0.5 * p.second * dt * dt;
      v += p.second * dt;
      t -= dt;
      if (t <= 0) break;
    }
    s += v * t;  // beyond the last phase: cruise
    aDistance = s;
    aSpeed = v;
  }

 private:
  double iStart;
  double iV0;
  std::vector<std::pair<double, double>> iPhases;
};

// A path as north/east metres from an origin near the equator, where a metre of latitude
// and of longitude are the same arc.
using Path = std::function<void(double aS, double& aNorth, double& aEast)>;
const Path kStraightNorth = [](double s, double& n, double& e) {
  n = s;
  e = 0;
};
// A circle of radius aRadius, starting northwards and curving east.
Path Circle(double aRadius) {
  return [aRadius](double s, double& n, double& e) {
    n = aRadius * std::sin(s / aRadius);
    e = aRadius * (1 - std::cos(s / aRadius));
  };
}

constexpr double kOriginLat = 0.001;   // radians
constexpr double kOriginLon = 0.002;

TPositionPlot MakePlot(int32_t aTime, double aNorth, double aEast, double aSpeed) {
  TPositionPlot p;
  p.iTime = aTime;
  p.iLatitude = TCoordinate::FromRadians(kOriginLat + aNorth / EarthRadius).iValue;
  p.iLongitude =
      TCoordinate::FromRadians(kOriginLon + aEast / (EarthRadius * std::cos(kOriginLat))).iValue;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeed));
  p.iFlags = TPositionPlot::EncodeFlags(9, false, false);
  return p;
}

double StoredSpeed(int32_t aSpeed) {
  TPositionPlot p;
  p.iSpeed = aSpeed;
  return p.Speed().MetresPerSecond();
}

// What a run list holds, for comparing two lists.
using Result = std::tuple<int32_t, int32_t, int32_t, int32_t>;  // test, start, finish, speed
std::vector<std::vector<Result>> Snapshot(const CRunList& aRuns) {
  std::vector<std::vector<Result>> out;
  for (int32_t r = 0; r < aRuns.Count(); ++r) {
    std::vector<Result> run;
    const CPerformanceRun& pr = *aRuns.Run(r);
    for (int32_t i = 0; i < pr.Count(); ++i) {
      const CPerformance& p = pr.At(i);
      run.emplace_back(p.TestIndex(), p.StartTime().Milliseconds(), p.FinishTime().Milliseconds(),
                       p.FinishSpeed());
    }
    out.push_back(run);
  }
  return out;
}

class RunListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iChannels.reset(CObdChannelList::NewL());
    iPlots.reset(CPlotList::NewL(iChannels.get()));
    iTests.reset(CPerformanceTestList::NewL());
    iTests->AddDefaultTestsL();
    iRuns.reset(CRunList::NewL(*iPlots));
  }

  // Records the motion from aFrom to aTo (ms, inclusive) every aStep ms through the sample
  // list as the track session would, processing each sample live when aLive is set.
  void Drive(const Motion& aMotion, int32_t aFrom, int32_t aTo, int32_t aStep = 100,
             const Path& aPath = kStraightNorth, bool aLive = true) {
    for (int32_t t = aFrom; t <= aTo; t += aStep) {
      double s, v, n, e;
      aMotion.At(t, s, v);
      aPath(iOffset + s, n, e);
      const TPositionPlot p = MakePlot(t, n, e, v);
      ASSERT_EQ(1, iPlots->AddPosition(TCoordinate(p.iLatitude), TCoordinate(p.iLongitude), t,
                                       TDistance::Invalid(), TSpeed::FromMetresPerSecond(v),
                                       InvalidReal(), 1.0, 1.0, 9, 0, 0, PwTime::KUnset,
                                       PwTime::KUnset, 0));
      if (aLive) iFinishedCount += iRuns->Process(false, *iTests, nullptr, iSelected);
    }
  }

  // The result of a test in a run, -1 when it has none.
  int32_t ResultOf(int32_t aRun, int32_t aTest) const {
    const CPerformance* p = CRunList::Performance(iRuns->Run(aRun), aTest, true);
    return p ? p->ResultTime().Milliseconds() : -1;
  }

  // A rebuild over the same samples gives exactly the live runs.
  void ExpectRebuildMatches(bool aUseObd = false) {
    std::unique_ptr<CRunList> rebuilt(CRunList::NewL(*iPlots));
    rebuilt->Rebuild(aUseObd, *iTests, iSelected);
    EXPECT_EQ(Snapshot(*iRuns), Snapshot(*rebuilt));
    EXPECT_EQ(iRuns->ProcessedCount(), rebuilt->ProcessedCount());
  }

  std::unique_ptr<CObdChannelList> iChannels;
  std::unique_ptr<CPlotList> iPlots;
  std::unique_ptr<CPerformanceTestList> iTests;
  std::unique_ptr<CRunList> iRuns;
  int32_t iSelected = k0to100;
  int32_t iFinishedCount = 0;
  double iOffset = 0.0;  // path distance already covered by earlier drives
};

// The start is extrapolated back to the moment the wheels turned (40 ms after the last
// stationary sample), not taken at the first moving sample, and the finish is interpolated
// between the samples around 100 kph.
TEST_F(RunListTest, ZeroToHundredFromExtrapolatedStandingStart) {
  const int32_t t0 = kBase + 2000;  // last stationary sample
  Motion m(t0 + 40);
  m.Then(9.0, 100 * kKph / 6.0);  // 0-100 kph in exactly 6 s, on to 150
  Drive(m, kBase, t0 + 8000);

  ASSERT_EQ(1, iRuns->Count());
  const CPerformance* p = CRunList::Performance(iRuns->NewestRun(), k0to100, true);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(t0 + 40, p->StartTime().Milliseconds());
  EXPECT_EQ(t0 + 6040, p->FinishTime().Milliseconds());
  EXPECT_EQ(6000, p->ResultTime().Milliseconds());
  EXPECT_EQ(KInvalidInt, p->FinishSpeed());  // speed tests carry no finish speed
  // 0-60 mph (26.8224 m/s) on the way: 6 s * 26.8224 / 27.7778 = 5793.6 ms.
  EXPECT_EQ(5794, ResultOf(0, k0to60mph));
  // Never reached: started, not finished.
  const CPerformance* twoHundred = CRunList::Performance(iRuns->NewestRun(), k0to200);
  ASSERT_NE(nullptr, twoHundred);
  EXPECT_TRUE(twoHundred->IsStarted());
  EXPECT_FALSE(twoHundred->IsFinished());
  EXPECT_EQ(-1, twoHundred->ResultTime().Milliseconds());
  EXPECT_GT(iFinishedCount, 0);
  EXPECT_EQ(1, iRuns->CompletedRunCount(k0to100));
  EXPECT_EQ(0, iRuns->CompletedRunCount(k0to200));
  ExpectRebuildMatches();
}

// Moving off exactly at a sample: the acceleration before the first moving sample equals
// the one after it, so the start stays on the stationary sample.
TEST_F(RunListTest, StartOnStationarySampleWhenAccelerationIsSteady) {
  const int32_t t0 = kBase + 1000;
  Motion m(t0);
  m.Then(10.0, 5.0);
  Drive(m, kBase, t0 + 7000);
  const CPerformance* p = CRunList::Performance(iRuns->NewestRun(), k0to100, true);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(t0, p->StartTime().Milliseconds());
  EXPECT_EQ(5556, p->ResultTime().Milliseconds());  // 27.7778 / 5 s
}

// 80-120 starts where the speed passes 80 kph upwards, restarts when it passes it again
// before reaching 120, and finishes at the interpolated moment of 120 kph.
TEST_F(RunListTest, EightyToHundredTwentyFlyingStartAndRestart) {
  iSelected = k80to120;
  const double accel = 8 * kKph;  // 8 kph per second
  const int32_t p0 = kBase + 1030;
  Motion m(p0, 70 * kKph);
  m.To(85 * kKph, accel).To(78 * kKph, 4 * kKph).To(130 * kKph, accel).Hold(2.0);
  // Phase ends: 85 kph at +1875, 78 kph at +3625, 80 again at +3875, 120 at +8875.
  Drive(m, kBase, static_cast<int32_t>(m.EndMs()));

  ASSERT_EQ(1, iRuns->Count());  // a 7 kph dip does not split the run
  const CPerformanceRun& run = *iRuns->NewestRun();
  const CPerformance* p = run.Performance(k80to120, true);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(p0 + 3875, p->StartTime().Milliseconds());
  EXPECT_EQ(p0 + 8875, p->FinishTime().Milliseconds());
  EXPECT_EQ(5000, p->ResultTime().Milliseconds());
  // One result for the test: the restart reused it.
  int32_t n = 0;
  for (int32_t i = 0; i < run.Count(); ++i) n += run.At(i).TestIndex() == k80to120;
  EXPECT_EQ(1, n);
  // 100-200 started on the way at 100 kph (+3875 + 2500), never finished.
  const CPerformance* hundred = run.Performance(k100to200);
  ASSERT_NE(nullptr, hundred);
  EXPECT_EQ(p0 + 6375, hundred->StartTime().Milliseconds());
  EXPECT_FALSE(hundred->IsFinished());
  // No standing start ever happened, so no 0-x or distance test runs.
  EXPECT_EQ(nullptr, run.Performance(k0to100));
  EXPECT_EQ(nullptr, run.Performance(kQuarterMile));
  ExpectRebuildMatches();
}

// The quarter mile on a straight road, with its speed at the line.
TEST_F(RunListTest, QuarterMileOnStraightRoad) {
  const int32_t t0 = kBase + 3000;
  Motion m(t0 + 40);
  m.To(32.0, 4.0).Hold(30.0);  // 128 m in 8 s, then 32 m/s: 16573 ms for 402.336 m
  Drive(m, kBase, t0 + 40000);
  ASSERT_EQ(1, iRuns->Count());
  const CPerformance* q = iRuns->NewestRun()->Performance(kQuarterMile, true);
  ASSERT_NE(nullptr, q);
  EXPECT_EQ(t0 + 40, q->StartTime().Milliseconds());
  EXPECT_EQ(16573, q->ResultTime().Milliseconds());
  EXPECT_NEAR(32.0, StoredSpeed(q->FinishSpeed()), 1e-4);
  // 60 feet during the acceleration: sqrt(2 * 18.288 / 4) = 3024 ms (interpolated linearly
  // in distance between samples, so within a millisecond).
  EXPECT_NEAR(3024, ResultOf(0, k60Feet), 1);
  // 1000 m: 8 s + 872 m / 32 m/s = 35250 ms.
  EXPECT_EQ(35250, ResultOf(0, k1000m));
  // The mile was not reached, so the measurement goes on.
  EXPECT_EQ(-1, ResultOf(0, kMile));
  ExpectRebuildMatches();
}

// Distance is the straight line from the start point: on a curve the line is reached only
// after a longer path, later than on a straight road.
TEST_F(RunListTest, QuarterMileIsStraightLineDistance) {
  const int32_t t0 = kBase + 3000;
  Motion m(t0 + 40);
  m.To(32.0, 4.0).Hold(20.0);
  Drive(m, kBase, t0 + 25000, 100, Circle(340.0));
  const CPerformance* q = iRuns->NewestRun()->Performance(kQuarterMile, true);
  ASSERT_NE(nullptr, q);
  // Chord 402.336 m on a 340 m circle is 430.528 m of path: 8 s + 302.528 / 32 = 17454.0 ms.
  EXPECT_EQ(17454, q->ResultTime().Milliseconds());
  // The recorded path distance at the finish is well beyond a quarter mile.
  int32_t lower, upper;
  iPlots->PositionList().FindByTime(q->FinishTime(), lower, upper);
  ASSERT_GE(lower, 0);
  EXPECT_GT(iPlots->PositionList().DistanceAt(lower).Metres(), 425.0);
}

// A braking that ends the run before the selected test finished leaves the run to be used
// again: the next attempt fills the same run.
TEST_F(RunListTest, FailedAttemptRunIsReused) {
  // Attempt 1 gives up at 90 kph, brakes to a stop; attempt 2 makes it in 7 s.
  Motion m(kBase + 2040);
  m.To(90 * kKph, 5.0).To(0, 8.0).Hold(3.0);
  const double stop1 = m.EndMs();
  Drive(m, kBase, static_cast<int32_t>(stop1) / 100 * 100);
  ASSERT_EQ(kBase + 13165, stop1);
  double s, v;
  m.At(stop1, s, v);
  iOffset = s;
  const int32_t restart = kBase + 16140;  // wheels turn 40 ms after a sample
  Motion m2(restart);
  m2.To(110 * kKph, 100 * kKph / 7.0).Hold(1.0);
  Drive(m2, kBase + 13200, static_cast<int32_t>(m2.EndMs()));

  ASSERT_EQ(1, iRuns->Count());
  EXPECT_EQ(7000, ResultOf(0, k0to100));
  EXPECT_EQ(restart, iRuns->Run(0)->Performance(k0to100, true)->StartTime().Milliseconds());
  ExpectRebuildMatches();
}

// A finished attempt keeps its run: braking opens a new one for the next attempt.
TEST_F(RunListTest, SuccessfulAttemptsGetOwnRunsAndBestRun) {
  double startMs = kBase + 2040;
  int32_t from = kBase;
  const double seconds[] = {7.0, 6.5, 6.5, 8.0};
  for (double secs : seconds) {
    Motion m(startMs);
    m.To(105 * kKph, 100 * kKph / secs).To(0, 9.0).Hold(2.0);
    const int32_t to = static_cast<int32_t>(m.EndMs()) / 100 * 100;
    Drive(m, from, to);
    double s, v;
    m.At(to, s, v);
    iOffset += s;
    from = to + 100;
    startMs = to + 1040;  // 40 ms after the sample that ends the stop
    Drive(Motion(1e12), from, to + 1000);  // a second of standing still
    from = to + 1100;
  }
  ASSERT_EQ(5, iRuns->Count());  // the four attempts and the one opened by the last braking
  EXPECT_EQ(7000, ResultOf(0, k0to100));
  EXPECT_EQ(6500, ResultOf(1, k0to100));
  EXPECT_EQ(6500, ResultOf(2, k0to100));
  EXPECT_EQ(8000, ResultOf(3, k0to100));
  EXPECT_EQ(-1, ResultOf(4, k0to100));
  EXPECT_EQ(4, iRuns->CompletedRunCount(k0to100));
  // Ties keep the earlier run; the excluded run is skipped.
  EXPECT_EQ(1, iRuns->BestRunIndex(k0to100));
  EXPECT_EQ(2, iRuns->BestRunIndex(k0to100, 1));
  EXPECT_EQ(-1, iRuns->BestRunIndex(k0to200));
  // Comparison: best other than the viewed run, or the selected run, or the linked list's.
  iRuns->SetCursor(1);
  EXPECT_EQ(iRuns->Run(2), iRuns->ComparisonRun(k0to100));
  iRuns->SetCursor(0);
  EXPECT_EQ(iRuns->Run(1), iRuns->ComparisonRun(k0to100));
  iRuns->SelectComparison(3);
  EXPECT_EQ(iRuns->Run(3), iRuns->ComparisonRun(k0to100));
  iRuns->SelectComparison(99);  // not a run: ignored
  EXPECT_EQ(3, iRuns->ComparisonSelection());
  std::unique_ptr<CRunList> other(CRunList::NewL(*iPlots));
  other->Rebuild(false, *iTests, iSelected);
  iRuns->SetComparisonList(other.get());
  EXPECT_EQ(other->Run(1), iRuns->ComparisonRun(k0to100));
  other->SelectComparison(3);
  EXPECT_EQ(other->Run(3), iRuns->ComparisonRun(k0to100));
  iRuns->SetComparisonList(nullptr);
  ExpectRebuildMatches();
}

// Two hundred runs are kept: the oldest goes when a result starts in run 201, and the
// indices that point into the list follow.
TEST_F(RunListTest, OldestRunDiscardedBeyondTwoHundred) {
  double startMs = kBase + 2040;
  int32_t from = kBase;
  const int32_t kAttempts = 205;
  for (int32_t k = 0; k < kAttempts; ++k) {
    // Attempt k takes 5000 + 10 k ms, so each run is recognisable.
    const double secs = (5000.0 + 10.0 * k) / 1000.0;
    Motion m(startMs);
    m.To(102 * kKph, 100 * kKph / secs).To(0, 10.0).Hold(1.0);
    const int32_t to = static_cast<int32_t>(m.EndMs()) / 100 * 100;
    Drive(m, from, to);
    if (k == 150) {
      iRuns->SetCursor(100);
      iRuns->SelectComparison(2);
    }
    double s, v;
    m.At(to, s, v);
    iOffset += s;
    from = to + 100;
    startMs = to + 1040;
    Drive(Motion(1e12), from, to + 1000);
    from = to + 1100;
  }
  // Runs 0-204 for the attempts, plus the one the last braking opened; five went.
  ASSERT_EQ(CRunList::KMaxRuns + 1, iRuns->Count());
  EXPECT_EQ(5000 + 10 * 5, ResultOf(0, k0to100));
  EXPECT_EQ(5000 + 10 * 204, ResultOf(199, k0to100));
  EXPECT_EQ(-1, ResultOf(200, k0to100));
  // Attempt 150 opened run 151 (at k == 150 the list held runs 0..150 and the braking one);
  // the cursor and the comparison moved down with their runs, and the compared run, once
  // gone, gives way to the best run.
  EXPECT_EQ(100 - 5, iRuns->Cursor());
  EXPECT_EQ(-1, iRuns->ComparisonSelection());
  ExpectRebuildMatches();
}

// OBD speed: whole km/h at 5 Hz, positions at 5 Hz between them, a second late. Nothing happens before five positions;
// a start waits for the positions around it, so live processing with positions lagging
// behind the OBD values gives the runs of the rebuild.
TEST_F(RunListTest, ObdSpeedSourceWithLaggingPositions) {
  const int32_t t0 = kBase + 4000;  // last stationary OBD sample
  Motion m(t0 + 100);
  m.Then(25.0, 10 * kKph);  // 10 kph per second
  const int32_t end = t0 + 30000;
  int32_t nextPosition = kBase + 100;
  for (int32_t t = kBase; t <= end; t += 200) {
    double s, v;
    m.At(t, s, v);
    ASSERT_EQ(1, iPlots->AddObdValue(t, kObdSpeedPid,
                                     static_cast<uint32_t>(std::lround(v * 3.6)), 0));
    // The position of a second ago arrives now.
    while (nextPosition <= t - 1000) {
      double ps, pv, n, e;
      m.At(nextPosition, ps, pv);
      kStraightNorth(ps, n, e);
      const TPositionPlot p = MakePlot(nextPosition, n, e, pv);
      ASSERT_EQ(1, iPlots->AddPosition(TCoordinate(p.iLatitude), TCoordinate(p.iLongitude),
                                       nextPosition, TDistance::Invalid(),
                                       TSpeed::FromMetresPerSecond(pv), InvalidReal(), 1.0, 1.0, 9,
                                       0, 0, PwTime::KUnset, PwTime::KUnset, 0));
      nextPosition += 200;
    }
    iRuns->Process(true, *iTests, nullptr, iSelected);
    if (iPlots->PositionList().Count() < CRunList::KObdMinPositions) {
      EXPECT_EQ(0, iRuns->ProcessedCount());
    }
  }
  ASSERT_EQ(1, iRuns->Count());
  const CPerformance* p = iRuns->NewestRun()->Performance(k0to100, true);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(t0 + 100, p->StartTime().Milliseconds());
  EXPECT_EQ(10000, p->ResultTime().Milliseconds());
  EXPECT_EQ(20000, ResultOf(0, k0to200));
  EXPECT_EQ(4000, ResultOf(0, k80to120));
  // Distances from positions completed by time: 60 feet at sqrt(2 * 18.288 / 2.7778) s,
  // within the straight-line interpolation between positions 200 ms apart.
  EXPECT_NEAR(3628.6, ResultOf(0, k60Feet), 3);
  ExpectRebuildMatches(true);
  // The GPS source gives its own runs from the same session.
  std::unique_ptr<CRunList> gps(CRunList::NewL(*iPlots));
  gps->Rebuild(false, *iTests, iSelected);
  EXPECT_EQ(1, gps->Count());
}

// OBD values from before the first position can never be placed: the start there measures
// no distance but does not stall the scan.
TEST_F(RunListTest, ObdStartBeforeFirstPositionDoesNotStall) {
  Motion m(kBase + 500);
  m.Then(12.0, 10 * kKph);
  for (int32_t t = kBase; t <= kBase + 12000; t += 200) {
    double s, v;
    m.At(t, s, v);
    ASSERT_EQ(1, iPlots->AddObdValue(t, kObdSpeedPid, static_cast<uint32_t>(std::lround(v * 3.6)), 0));
  }
  for (int32_t t = kBase + 5000; t <= kBase + 11000; t += 1000) {
    double s, v;
    m.At(t, s, v);
    const TPositionPlot p = MakePlot(t, s, 0, v);
    iPlots->AddPosition(TCoordinate(p.iLatitude), TCoordinate(p.iLongitude), t,
                        TDistance::Invalid(), TSpeed::FromMetresPerSecond(v), InvalidReal(), 1, 1,
                        9, 0, 0, PwTime::KUnset, PwTime::KUnset, 0);
  }
  iRuns->Rebuild(true, *iTests, iSelected);
  EXPECT_EQ(iPlots->ObdList().FindListById(KChannelObdSpeed)->Count(), iRuns->ProcessedCount());
  EXPECT_EQ(10000, ResultOf(0, k0to100));
  EXPECT_EQ(-1, ResultOf(0, k60Feet));
}

// A gap in the samples during a steady acceleration costs nothing: the crossing is
// interpolated across it.
TEST_F(RunListTest, GapInSamplesIsInterpolated) {
  const int32_t t0 = kBase + 2000;
  Motion m(t0 + 40);
  m.Then(12.0, 100 * kKph / 6.0);
  Drive(m, kBase, t0 + 3000);
  Drive(m, t0 + 9000, t0 + 9500);  // six seconds without a fix, 100 kph inside the gap
  EXPECT_EQ(6000, ResultOf(0, k0to100));
  ExpectRebuildMatches();
}

// Hostile samples (as a damaged or foreign file may hold): equal coordinates with speed,
// time standing still or going backwards, speeds that are not numbers. None of it crashes or
// times anything backwards; a sample that does not move forward in time is ignored.
TEST_F(RunListTest, HostileSamplesAreIgnored) {
  const int32_t t0 = kBase + 2000;
  Motion m(t0 + 40);
  m.Then(9.0, 100 * kKph / 6.0);
  CPositionPlotList& list = iPlots->PositionList();
  std::unique_ptr<CPlotList> cleanPlots(CPlotList::NewL(nullptr));
  int32_t step = 0;
  for (int32_t t = kBase; t <= t0 + 8000; t += 100, ++step) {
    double s, v;
    m.At(t, s, v);
    const TPositionPlot p = MakePlot(t, s, 0, v);
    list.AppendStored(p);
    cleanPlots->PositionList().AppendStored(p);
    if (step % 7 == 3) list.AppendStored(p);                           // repeated
    if (step % 11 == 5) list.AppendStored(MakePlot(t - 5000, 0, 0, 40));  // from the past
    if (step % 13 == 2) {
      TPositionPlot noSpeed = MakePlot(t + 50, s, 0, v);
      noSpeed.iSpeed = KInvalidInt;
      list.AppendStored(noSpeed);
    }
  }
  iRuns->Rebuild(false, *iTests, iSelected);
  std::unique_ptr<CRunList> clean(CRunList::NewL(*cleanPlots));
  clean->Rebuild(false, *iTests, iSelected);
  EXPECT_EQ(Snapshot(*clean), Snapshot(*iRuns));
  EXPECT_EQ(6000, ResultOf(0, k0to100));
  EXPECT_EQ(list.Count(), iRuns->ProcessedCount());

  // A vehicle whose fix is frozen while the speed says it moves: speed tests time, distance
  // tests never finish (and divide nothing by zero).
  std::unique_ptr<CPlotList> frozen(CPlotList::NewL(nullptr));
  for (int32_t t = kBase; t <= t0 + 8000; t += 100) {
    double s, v;
    m.At(t, s, v);
    frozen->PositionList().AppendStored(MakePlot(t, 0, 0, v));
  }
  std::unique_ptr<CRunList> frozenRuns(CRunList::NewL(*frozen));
  frozenRuns->Rebuild(false, *iTests, iSelected);
  ASSERT_EQ(1, frozenRuns->Count());
  EXPECT_EQ(6000, frozenRuns->Run(0)->Performance(k0to100, true)->ResultTime().Milliseconds());
  EXPECT_EQ(nullptr, frozenRuns->Run(0)->Performance(k60Feet, true));
}

// Changing the speed source, or samples that were replaced under the list, start the scan
// over instead of mixing old state with new samples; an empty session gives nothing.
TEST_F(RunListTest, SourceChangeAndEmptySessions) {
  EXPECT_EQ(0, iRuns->Process(false, *iTests, nullptr, iSelected));
  EXPECT_EQ(0, iRuns->Process(true, *iTests, nullptr, iSelected));
  EXPECT_EQ(0, iRuns->Count());
  EXPECT_EQ(nullptr, iRuns->NewestRun());
  EXPECT_EQ(nullptr, iRuns->CursorRun());
  EXPECT_EQ(nullptr, iRuns->ComparisonRun(k0to100));
  EXPECT_EQ(0, iRuns->CompletedRunCount(k0to100));

  Motion m(kBase + 2040);
  m.Then(9.0, 100 * kKph / 6.0);
  Drive(m, kBase, kBase + 9000, 100, kStraightNorth, false);
  iRuns->Process(false, *iTests, nullptr, iSelected);
  EXPECT_EQ(6000, ResultOf(0, k0to100));
  // No OBD samples: the OBD scan finds nothing and forgets the GPS runs.
  iRuns->Process(true, *iTests, nullptr, iSelected);
  EXPECT_EQ(0, iRuns->Count());
  iRuns->Process(false, *iTests, nullptr, iSelected);
  EXPECT_EQ(6000, ResultOf(0, k0to100));
  iPlots->ResetSamples();
  iRuns->Process(false, *iTests, nullptr, iSelected);
  EXPECT_EQ(0, iRuns->Count());
  EXPECT_EQ(0, iRuns->ProcessedCount());
}

}  // namespace
