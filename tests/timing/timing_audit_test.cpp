// The timing rules checked against values worked out by hand: crossings on a rectangular
// circuit whose every crossing time is known to the millisecond, the line test against a
// plain spherical computation without the fast pre-checks, and the runs of a performance
// session at the moments their starts and finishes must fall on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "acquisition/obd_channels.h"
#include "storage/plot_list.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/performance_run.h"
#include "timing/performance_test.h"
#include "timing/trap_line.h"

namespace {

// 48 N, 11 E. Along the meridian one coordinate unit is one distance unit of arc.
constexpr int32_t KLat = 288000000;
constexpr int32_t KLon = 66000000;
// Trap positions north of the circuit's origin, in coordinate units (about 1.85 km apart).
constexpr int32_t KStartFinish = 0;
constexpr int32_t KSplit1 = 100000;
constexpr int32_t KSplit2 = 200000;
// Samples straddle a trap this far on either side, so the crossing lies halfway between them.
constexpr int32_t KStraddle = 100;

TPositionPlot Plot(int32_t aTime, int32_t aNorth, int32_t aEast, int32_t aDistance, double aSpeed = 20.0,
                   uint8_t aFlags = 9) {
  TPositionPlot p;
  p.iTime = aTime;
  p.iLatitude = KLat + aNorth;
  p.iLongitude = KLon + aEast;
  p.iDistance = aDistance;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeed));
  p.iFlags = aFlags;
  return p;
}

// A northbound line across the meridian at aNorth.
void AddTrap(CTrapLineList& aTraps, int32_t aType, int32_t aNorth) {
  CTrapLine trap;
  trap.Set(aType, u"trap", TCoordinate(KLat + aNorth), TCoordinate(KLon), TAngle(0.0), TDistance::FromMetres(40.0), 1);
  aTraps.Add(trap);
}

class TNoAnnouncer : public MLapAnnouncer {
 public:
  void AnnounceLapFinished() override { ++iCount; }
  int32_t iCount = 0;
};

// A rectangular circuit: northwards through the start/finish line and two split lines on one
// meridian, back south on a parallel road 120 m to the east, where no trap reaches. Each pass
// is two samples straddling the line, so its crossing time is the first sample's time plus
// half the interval, and its distance halfway between theirs.
class TCircuit {
 public:
  explicit TCircuit(bool aSplits = true) {
    AddTrap(iTraps, ETrapStartFinish, KStartFinish);
    if (aSplits) {
      AddTrap(iTraps, ETrapSplit, KSplit1);
      AddTrap(iTraps, ETrapSplit, KSplit2);
    }
    iLaps.reset(CLapList::NewL(&iPlots, nullptr, nullptr));
  }

  void Add(const TPositionPlot& aPlot) {
    iPlots.AppendStored(aPlot);
    iCrossings.TestNewest(iPlots, &iTraps);
    iLaps->ProcessCrossings(iTraps, iCrossings, &iAnnouncer);
  }
  void MoveTo(int32_t aTime, int32_t aNorth, int32_t aEast, double aSpeed = 20.0, uint8_t aFlags = 9) {
    iDistance += std::abs(aNorth - iNorth) + std::abs(aEast - iEast);
    iNorth = aNorth;
    iEast = aEast;
    Add(Plot(aTime, aNorth, aEast, iDistance, aSpeed, aFlags));
  }
  // Crosses the line at aTrapNorth northwards: a sample at aTime before it and one aInterval
  // later beyond it.
  void Pass(int32_t aTrapNorth, int32_t aTime, int32_t aInterval = 1000, uint8_t aFlags = 9) {
    MoveTo(aTime, aTrapNorth - KStraddle, 0);
    MoveTo(aTime + aInterval, aTrapNorth + KStraddle, 0, 20.0, aFlags);
  }
  // Back to the south of the start/finish line on the eastern road, starting at aTime (3 s).
  void Return(int32_t aTime) {
    MoveTo(aTime, KSplit2 + 50000, 0);
    MoveTo(aTime + 1000, KSplit2 + 50000, 10000);
    MoveTo(aTime + 2000, -50000, 10000);
    MoveTo(aTime + 3000, -50000, 0);
  }
  // One lap from the start/finish pass at aStart with the splits passed aSplit1 and aSplit2 ms
  // later (crossing times aStart + 500 + ...), ready for the next start/finish pass.
  void Lap(int32_t aStart, int32_t aSplit1, int32_t aSplit2) {
    Pass(KStartFinish, aStart);
    Pass(KSplit1, aStart + aSplit1);
    Pass(KSplit2, aStart + aSplit2);
    Return(aStart + aSplit2 + 2000);
  }
  // A fresh lap list rebuilt from all crossings, to compare with the live one.
  std::unique_ptr<CLapList> Rebuilt() const {
    std::unique_ptr<CLapList> laps(CLapList::NewL(&iPlots, nullptr, nullptr));
    CIntersectionList crossings;
    crossings.Rebuild(iPlots, iTraps);
    laps->Rebuild(iTraps, crossings);
    return laps;
  }

  CPositionPlotList iPlots;
  CTrapLineList iTraps;
  CIntersectionList iCrossings;
  std::unique_ptr<CLapList> iLaps;
  TNoAnnouncer iAnnouncer;
  int32_t iNorth = -50000;
  int32_t iEast = 0;
  int32_t iDistance = 0;
};

int32_t Ms(PwTime aTime) { return aTime.IsSet() ? aTime.Milliseconds() : -999999; }

double StoredToMps(int32_t aSpeed) {
  TPositionPlot p;
  p.iSpeed = aSpeed;
  return p.Speed().MetresPerSecond();
}

// --- Crossings ----------------------------------------------------------------------------

// The line test written out from its definition: bounding box, great-circle intersection,
// both segments, direction; nothing skipped early.
int32_t ReferenceLineTest(const CTrapLine& aTrap, const TPositionPlot& aA, const TPositionPlot& aB,
                          double& aFraction) {
  if (aTrap.Type() < ETrapStart || aTrap.Type() > ETrapSplit) return 0;
  if (aA.iLatitude == aB.iLatitude && aA.iLongitude == aB.iLongitude) return 0;
  const TGeoPoint e1 = aTrap.EndPoint1Geo(), e2 = aTrap.EndPoint2Geo();
  const auto beyond = [](int32_t a, int32_t b, int32_t p, int32_t q, bool greater) {
    return greater ? (a > p && a > q && b > p && b > q) : (a < p && a < q && b < p && b < q);
  };
  for (bool greater : {true, false}) {
    if (beyond(aA.iLatitude, aB.iLatitude, e1.iLatitude.iValue, e2.iLatitude.iValue, greater)) return 0;
    if (beyond(aA.iLongitude, aB.iLongitude, e1.iLongitude.iValue, e2.iLongitude.iValue, greater)) return 0;
  }
  const TPosition p1 = aTrap.EndPoint1(), p2 = aTrap.EndPoint2();
  const TPosition a = aA.Position(), b = aB.Position();
  const double theta13 = p1.Bearing(p2).iValue;
  const double theta23 = a.Bearing(b).iValue;
  const double delta12 = p1.Distance(a).iValue;
  const double theta12 = p1.Bearing(a).iValue;
  const double theta21 = a.Bearing(p1).iValue;
  const auto wrap = [](double x) { return std::fmod(std::fmod(x + KPi, 2 * KPi) + 2 * KPi, 2 * KPi) - KPi; };
  double alpha1 = wrap(theta13 - theta12);
  double alpha2 = wrap(theta21 - theta23);
  if (std::sin(alpha1) * std::sin(alpha2) <= 1e-11) return 0;
  alpha1 = std::fabs(alpha1);
  alpha2 = std::fabs(alpha2);
  const double alpha3 = std::acos(std::clamp(
      -std::cos(alpha1) * std::cos(alpha2) + std::sin(alpha1) * std::sin(alpha2) * std::cos(delta12), -1.0, 1.0));
  const double delta13 = std::atan2(std::sin(delta12) * std::sin(alpha1) * std::sin(alpha2),
                                    std::cos(alpha2) + std::cos(alpha1) * std::cos(alpha3));
  TPosition x = p1.Destination(TAngle(theta13), TDistance(delta13));
  x = TPosition(x.iLatitude, TAngle(x.iLongitude).Normalised().iValue);
  if (!(p1.Distance(x).iValue + x.Distance(p2).iValue <= p1.Distance(p2).iValue + 1e-9)) return 0;
  const double ax = a.Distance(x).iValue, xb = x.Distance(b).iValue;
  if (!(ax + xb <= a.Distance(b).iValue + 1e-9)) return 0;
  if (aTrap.Unidirectional()) {
    const double diff = TAngle(theta23 - aTrap.Bearing().iValue).Normalised().iValue;
    if (!(diff > -KPi / 2 && diff < KPi / 2)) return 0;
  }
  aFraction = ax + xb == 0.0 ? 0.0 : ax / (ax + xb);
  return 1;
}

TEST(TimingAudit, LineTestAgreesWithThePlainSphericalComputation) {
  std::mt19937 random(20240511);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int32_t crossings = 0, mismatches = 0;
  for (int32_t trial = 0; trial < 20000; ++trial) {
    const int32_t type = 1 + static_cast<int32_t>(unit(random) * 4.0);
    const double width = 5.0 + unit(random) * 200.0;
    CTrapLine trap;
    trap.Set(type, u"t", TCoordinate(KLat), TCoordinate(KLon), TAngle::FromDegrees(unit(random) * 360.0),
             TDistance::FromMetres(width), unit(random) < 0.5);
    // Moves from a few centimetres (25 Hz at walking pace) up to a few hundred metres, around
    // the line and its ends.
    const double reach = width * 0.8;
    const double step = unit(random) < 0.3 ? unit(random) * 2.0 : unit(random) * 300.0;
    const double n = (unit(random) * 2.0 - 1.0) * reach, e = (unit(random) * 2.0 - 1.0) * reach;
    const double heading = unit(random) * KTwoPi;
    const TPosition centre{TGeoPoint(TCoordinate(KLat), TCoordinate(KLon))};
    const TPosition from = centre.Destination(TAngle(0.0), TDistance::FromMetres(n))
                               .Destination(TAngle(KPi / 2), TDistance::FromMetres(e));
    const TPosition to = from.Destination(TAngle(heading), TDistance::FromMetres(step));
    CPositionPlotList list;
    TPositionPlot a = Plot(10000, 0, 0, 0), b = Plot(10000 + 97, 0, 0, 0);
    a.iLatitude = from.ToGeoPoint().iLatitude.iValue;
    a.iLongitude = from.ToGeoPoint().iLongitude.iValue;
    b.iLatitude = to.ToGeoPoint().iLatitude.iValue;
    b.iLongitude = to.ToGeoPoint().iLongitude.iValue;
    list.AppendStored(a);
    list.AppendStored(b);
    double fraction = 0.0;
    const int32_t expected = ReferenceLineTest(trap, a, b, fraction);
    TPositionPlot crossing;
    int32_t interval = 0;
    const int32_t found = trap.CrossingTest(1, list, crossing, interval);
    crossings += expected;
    if (found != expected) {
      ++mismatches;
      continue;
    }
    if (!found) continue;
    EXPECT_EQ(interval, 97);
    EXPECT_EQ(crossing.iTime, 10000 + static_cast<int32_t>(std::trunc(97 * fraction + 0.5)));
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(crossings, 1000);  // the draw really exercised crossings
}

TEST(TimingAudit, CrossingIsReportedAtTheLaterSampleWithInterpolatedTimeAndDistance) {
  CPositionPlotList list;
  CTrapLineList traps;
  AddTrap(traps, ETrapSplit, 0);
  CIntersectionList crossings;
  // One second apart, the line a quarter of the way: 250 ms after the earlier sample.
  list.AppendStored(Plot(5000, -400, 0, 1000, 10.0));
  list.AppendStored(Plot(6000, -100, 0, 1300, 10.0));
  list.AppendStored(Plot(7000, 300, 0, 1700, 30.0));
  crossings.Rebuild(list, traps);
  ASSERT_EQ(crossings.Count(), 1);
  const TIntersection& x = crossings[0];
  EXPECT_EQ(x.iSampleIndex, 2);
  EXPECT_EQ(x.iInterval, 1000);
  EXPECT_EQ(x.iSample.iTime, 6250);
  EXPECT_EQ(x.iSample.iDistance, 1400);
  EXPECT_NEAR(x.iSample.Speed().MetresPerSecond(), 15.0, 1e-4);
  EXPECT_EQ(x.iSample.iLatitude, KLat);
}

// --- Laps ---------------------------------------------------------------------------------

TEST(TimingAudit, LapsStartAndEndAtTheCrossingSamples) {
  TCircuit c;
  c.Lap(10000, 20000, 40000);   // lap 0: 60 s
  c.Lap(70000, 19000, 41000);   // lap 1: 62 s
  c.Pass(KStartFinish, 132000);  // finishes lap 1, starts lap 2
  CLapList& laps = *c.iLaps;
  ASSERT_EQ(laps.LapCount(), 3);
  const CLap& lap0 = *laps.Lap(0);
  // The start crossing lies between samples 0 and 1 of the list and is reported at sample 1.
  EXPECT_EQ(lap0.Start()->iSampleIndex, 1);
  EXPECT_EQ(lap0.Start()->iSample.iTime, 10500);
  EXPECT_EQ(lap0.Split(0)->iSample.iTime, 30500);
  EXPECT_EQ(lap0.Split(1)->iSample.iTime, 50500);
  EXPECT_EQ(lap0.Finish()->iSample.iTime, 70500);
  EXPECT_EQ(lap0.Finish()->iSampleIndex, laps.Lap(1)->Start()->iSampleIndex);
  EXPECT_EQ(Ms(lap0.LapTime()), 60000);
  EXPECT_EQ(Ms(laps.Lap(1)->LapTime()), 62000);
  EXPECT_EQ(Ms(laps.Lap(1)->SplitTime(1)), 19000);
  EXPECT_EQ(Ms(laps.Lap(1)->SectorTime(1, 2)), 22000);
  EXPECT_EQ(Ms(laps.Lap(1)->SectorTime(2, 0)), 21000);
  // Lap distance: the crossings' interpolated distances, halfway between their samples.
  const int32_t startDistance = lap0.Start()->iSample.iDistance;
  const int32_t finishDistance = lap0.Finish()->iSample.iDistance;
  EXPECT_EQ(startDistance, (c.iPlots.At(0).iDistance + c.iPlots.At(1).iDistance) / 2);
  EXPECT_NEAR(lap0.LapDistance().iValue * KArcUnitsPerRadian, finishDistance - startDistance, 1e-6);
  EXPECT_NEAR(lap0.TrapSpeed(-1).MetresPerSecond(), 20.0, 1e-4);
  EXPECT_FALSE(laps.Lap(2)->IsFinished());
  EXPECT_EQ(laps.DisplayLapCount(), 2);
  EXPECT_EQ(c.iAnnouncer.iCount, 2);
}

TEST(TimingAudit, IntervalLimitsOfStartFinishAndSplits) {
  // Exactly 3000 ms starts and finishes; 3001 does neither.
  for (int32_t interval : {3000, 3001}) {
    TCircuit c(false);
    c.Pass(KStartFinish, 10000, interval);
    c.Return(20000);
    c.Pass(KStartFinish, 40000, interval);
    EXPECT_EQ(c.iLaps->LapCount(), interval == 3000 ? 2 : 0) << interval;
  }
  // Exactly 2000 ms counts as a split, 2001 does not; the lap still finishes.
  for (int32_t interval : {2000, 2001}) {
    TCircuit c;
    c.Pass(KStartFinish, 10000);
    c.Pass(KSplit1, 20000, interval);
    c.Pass(KSplit2, 40000);
    c.Return(50000);
    c.Pass(KStartFinish, 70000);
    ASSERT_EQ(c.iLaps->LapCount(), 2) << interval;
    EXPECT_TRUE(c.iLaps->Lap(0)->IsFinished());
    EXPECT_EQ(c.iLaps->Lap(0)->SplitCount(), interval == 2000 ? 2 : 1) << interval;
  }
  // A split detected at a sample that begins a new trace segment is a jump, not a pass.
  TCircuit c;
  c.Pass(KStartFinish, 10000);
  c.Pass(KSplit1, 20000, 1000, 9 | TPositionPlot::KDiscontinuityFlag);
  c.Pass(KSplit2, 40000);
  EXPECT_EQ(c.iLaps->Lap(0)->SplitCount(), 1);
  EXPECT_EQ(c.iLaps->Lap(0)->Split(0)->iKey, 2);
}

// Time running backwards between the two samples around a line (a damaged or foreign file)
// makes the crossing time an interpolation across the jump. Such a crossing cannot time a lap:
// it would finish a lap earlier than a sample known to come before the line.
TEST(TimingAudit, CrossingBetweenSamplesGoingBackInTimeNeitherStartsNorFinishes) {
  {
    TCircuit c(false);
    c.Pass(KStartFinish, 10000);
    c.Return(60000);
    // Before the line at 70 s, beyond it at "20 s": the crossing would be put at 45 s, and
    // the lap would take 34.5 s though the car was still short of the line at 70 s.
    c.MoveTo(70000, -KStraddle, 0);
    c.MoveTo(20000, KStraddle, 0);
    ASSERT_EQ(c.iCrossings.Count(), 2);
    EXPECT_LT(c.iCrossings[1].iInterval, 0);
    ASSERT_EQ(c.iLaps->LapCount(), 1);
    EXPECT_FALSE(c.iLaps->Lap(0)->IsFinished());
    EXPECT_EQ(c.iLaps->BestLapIndex(), -1);
    // The next proper pass finishes the lap.
    c.Return(30000);
    c.Pass(KStartFinish, 40000);
    ASSERT_EQ(c.iLaps->LapCount(), 2);
    EXPECT_EQ(Ms(c.iLaps->Lap(0)->LapTime()), 30000);
    EXPECT_EQ(Ms(c.Rebuilt()->Lap(0)->LapTime()), 30000);
  }
  {
    // Neither does it start a lap, and a split across such a step is ignored.
    TCircuit c;
    c.MoveTo(10000, -KStraddle, 0);
    c.MoveTo(9000, KStraddle, 0);
    EXPECT_EQ(c.iLaps->LapCount(), 0);
    c.Return(10000);
    c.Pass(KStartFinish, 20000);
    c.MoveTo(30000, KSplit1 - KStraddle, 0);
    c.MoveTo(29500, KSplit1 + KStraddle, 0);
    ASSERT_EQ(c.iLaps->LapCount(), 1);
    EXPECT_EQ(c.iLaps->Lap(0)->SplitCount(), 0);
  }
}

TEST(TimingAudit, RepeatedStartBeforeAnySplitMovesTheStart) {
  // A start line crossed twice before any split keeps one lap starting at the second pass.
  TCircuit c(false);
  c.iTraps.Reset();
  AddTrap(c.iTraps, ETrapStart, KStartFinish);
  AddTrap(c.iTraps, ETrapSplit, KSplit1);
  AddTrap(c.iTraps, ETrapFinish, KSplit2);
  c.Pass(KStartFinish, 10000);
  c.MoveTo(11500, KStraddle, 10000);  // back round on the east road
  c.MoveTo(12500, -KStraddle - 10000, 10000);
  c.MoveTo(13000, -KStraddle - 10000, 0);
  c.Pass(KStartFinish, 14000);
  ASSERT_EQ(c.iLaps->LapCount(), 1);
  EXPECT_EQ(c.iLaps->Lap(0)->Start()->iSample.iTime, 14500);
  c.Pass(KSplit1, 30000);
  c.Pass(KSplit2, 50000);
  ASSERT_EQ(c.iLaps->LapCount(), 1);
  EXPECT_EQ(Ms(c.iLaps->Lap(0)->LapTime()), 36000);
  EXPECT_EQ(Ms(c.iLaps->Lap(0)->SplitTime(1)), 16000);
}

TEST(TimingAudit, BestAndPreviousBestFollowTheOrderOfImprovement) {
  TCircuit c;
  c.Lap(10000, 20000, 40000);   // 62.0 s
  c.Lap(72000, 20000, 40000);   // 61.5 s
  c.Lap(133500, 20000, 40000);  // 61.8 s
  c.Lap(195300, 20000, 40000);  // 61.5 s again: the earlier one stays best
  c.Pass(KStartFinish, 256800);
  const auto check = [](CLapList& aLaps) {
    ASSERT_EQ(aLaps.LapCount(), 5);
    EXPECT_EQ(Ms(aLaps.Lap(0)->LapTime()), 62000);
    EXPECT_EQ(Ms(aLaps.Lap(3)->LapTime()), 61500);
    EXPECT_EQ(aLaps.BestLapIndex(), 1);
    EXPECT_EQ(aLaps.PreviousBestIndex(), 0);
    EXPECT_EQ(aLaps.CompareLapFor(1), aLaps.Lap(0));
    EXPECT_EQ(aLaps.CompareLapFor(2), aLaps.Lap(1));
  };
  check(*c.iLaps);
  check(*c.Rebuilt());
}

TEST(TimingAudit, OptimalLapTakesEachFastestSectorFromValidLaps) {
  TCircuit c;
  // Sector times (start/finish -> split 1 -> split 2 -> start/finish), crossings 500 ms in.
  c.Lap(10000, 20000, 41000);    // 20.0, 21.0, 22.0 = 63.0
  c.Lap(73000, 19000, 41000);    // 19.0, 22.0, 21.0 = 62.0
  c.Lap(135000, 21000, 41000);   // 21.0, 20.0, 23.0 = 64.0
  c.Lap(199000, 18000, 37000);   // 18.0, 19.0, 20.0 = 57.0, marked invalid below
  c.Pass(KStartFinish, 256000);
  CLapList& laps = *c.iLaps;
  ASSERT_EQ(laps.LapCount(), 5);
  ASSERT_EQ(Ms(laps.Lap(3)->LapTime()), 57000);
  laps.SetInvalidMarker(3, 1);
  EXPECT_EQ(laps.BestLapIndex(), 1);
  const CLap* optimal = laps.OptimalLap();
  ASSERT_NE(optimal, nullptr);
  EXPECT_EQ(Ms(optimal->LapTime()), 19000 + 20000 + 21000);
  EXPECT_EQ(Ms(optimal->SplitTime(1)), 19000);
  EXPECT_EQ(Ms(optimal->SplitTime(2)), 39000);
  // Each crossing still points at the crossing before it in the lap it was driven in.
  EXPECT_EQ(optimal->Start(), laps.Lap(1)->Start());
  EXPECT_EQ(optimal->Crossing(0)->iPrevious, laps.Lap(1)->Start());
  EXPECT_EQ(optimal->Crossing(1)->iPrevious, laps.Lap(2)->Split(0));
  EXPECT_EQ(optimal->Finish()->iPrevious, laps.Lap(1)->Split(1));
  // Lap distance sums the sectors' distances.
  const int64_t distance = (optimal->Finish()->iSample.iDistance - optimal->Finish()->iPrevious->iSample.iDistance) +
                           (optimal->Crossing(1)->iSample.iDistance - laps.Lap(2)->Split(0)->iSample.iDistance) +
                           (optimal->Crossing(0)->iSample.iDistance - laps.Lap(1)->Start()->iSample.iDistance);
  EXPECT_NEAR(optimal->LapDistance().iValue * KArcUnitsPerRadian, static_cast<double>(distance), 1e-6);
  // The trace drives the same time.
  const CLap* trace = laps.OptimalTrace();
  ASSERT_NE(trace, nullptr);
  EXPECT_EQ(Ms(trace->LapTime()), 60000);
  EXPECT_EQ(trace->Start()->iSampleIndex, 1);
  // With the invalid lap valid again it supplies every sector.
  laps.SetInvalidMarker(3, 0);
  EXPECT_EQ(laps.BestLapIndex(), 3);
  EXPECT_EQ(Ms(laps.OptimalLap()->LapTime()), 57000);
}

TEST(TimingAudit, OptimalLapNeedsEverySectorOfItsTemplate) {
  TCircuit c;
  // Lap 0 misses split 2 (too coarse a step there): its sector split 1 -> finish spans two.
  c.Pass(KStartFinish, 10000);
  c.Pass(KSplit1, 30000);
  c.Pass(KSplit2, 50000, 2500);
  c.Return(53000);
  c.Lap(70000, 20000, 40000);  // 60 s, all sectors
  c.Pass(KStartFinish, 130000);
  CLapList& laps = *c.iLaps;
  ASSERT_EQ(laps.LapCount(), 3);
  ASSERT_EQ(laps.Lap(0)->SplitCount(), 1);
  EXPECT_EQ(Ms(laps.Lap(0)->LapTime()), 60000);
  // Lap 0 is the best (equal times: the earlier). Viewing it under "compare to best" compares
  // with the previous best, of which there is none, so the optimal lap follows the viewed lap
  // 0: start -> split 1 -> finish, where lap 1's split 1 -> finish (across split 2) competes.
  EXPECT_EQ(laps.BestLapIndex(), 0);
  EXPECT_EQ(laps.PreviousBestIndex(), -1);
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_EQ(laps.OptimalLap()->CrossingCount(), 2);
  EXPECT_EQ(Ms(laps.OptimalLap()->LapTime()), 60000);
  // Both sectors are tied between the laps: the earlier lap supplies them.
  EXPECT_EQ(laps.OptimalLap()->Crossing(0)->iPrevious, laps.Lap(0)->Start());
  EXPECT_EQ(laps.OptimalLap()->Finish()->iPrevious, laps.Lap(0)->Split(0));
  EXPECT_EQ(Ms(c.Rebuilt()->OptimalLap()->LapTime()), 60000);
  // Lap 1 as template asks for split 1 -> split 2, which lap 0 never drove but lap 1 did.
  laps.SelectComparison(1);
  ASSERT_NE(laps.OptimalLap(), nullptr);
  EXPECT_EQ(laps.OptimalLap()->CrossingCount(), 3);
  // Lap 1 marked invalid: nobody drove split 1 -> split 2 validly, so there is no optimal lap.
  laps.SetInvalidMarker(1, 1);
  EXPECT_EQ(laps.OptimalLap(), nullptr);
}

TEST(TimingAudit, HighLowScanOfAnOrdinaryLapCoversTheSampleBeforeTheStart) {
  CPositionPlotList list;
  // Speeds in m/s at samples 0..9; the lap starts at sample 2 and finishes at sample 8.
  const double speeds[] = {40, 30, 12, 25, 31, 24, 20, 32, 26, 50};
  for (int32_t i = 0; i < 10; ++i) list.AppendStored(Plot(1000 * i, 1000 * i, 0, 1000 * i, speeds[i]));
  CLap lap(&list, 0);
  lap.SetStart(0, 2, list.At(2));
  lap.SetFinish(0, 8, list.At(8));
  lap.HighLowScan(TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(5)));
  // From sample 1 (30): rising to 30, falls to 12 (high at 1), rises to 31 (low at 2), falls to
  // 20 (high at 4), rises to 32 (low at 6), falls to 26 (high at 7). Sample 9 is outside.
  ASSERT_EQ(lap.HighLowCount(), 5);
  const int32_t indices[] = {1, 2, 4, 6, 7};
  const int32_t highs[] = {1, 0, 1, 0, 1};
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(lap.HighLowPoint(i).iSampleIndex, indices[i]) << i;
    EXPECT_EQ(lap.HighLowPoint(i).iHigh, highs[i]) << i;
  }
  EXPECT_NEAR(StoredToMps(lap.MinimumSpeed()), 12.0, 1e-4);
  EXPECT_NEAR(StoredToMps(lap.MaximumSpeed()), 32.0, 1e-4);
  // Variations below the threshold give nothing.
  lap.HighLowScan(TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(20)));
  EXPECT_EQ(lap.HighLowCount(), 0);
}

// --- Performance runs ---------------------------------------------------------------------

// Indices of built-in tests.
constexpr int32_t K60Feet = 0, KEighthMile = 1, KQuarterMile = 2, K0To100 = 6, K80To120 = 9;

class TRunRig {
 public:
  TRunRig() {
    iChannels.reset(CObdChannelList::NewL());
    iPlots.reset(CPlotList::NewL(iChannels.get()));
    iTests.reset(CPerformanceTestList::NewL());
    iTests->AddDefaultTestsL();
    iRuns.reset(CRunList::NewL(*iPlots));
  }
  // A sample aNorth/aEast metres from the origin (near the equator, where both are the same arc).
  void Add(int32_t aTime, double aNorth, double aEast, double aSpeed) {
    TPositionPlot p;
    p.iTime = aTime;
    p.iLatitude = TCoordinate::FromRadians(0.001 + aNorth / EarthRadius).iValue;
    p.iLongitude = TCoordinate::FromRadians(0.002 + aEast / EarthRadius).iValue;
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeed));
    p.iFlags = 9;
    iPlots->PositionList().AppendStored(p);
    iRuns->Process(false, *iTests, nullptr, K0To100);
  }
  const CPerformance* Result(int32_t aTest) const { return CRunList::Performance(iRuns->NewestRun(), aTest, true); }

  std::unique_ptr<CObdChannelList> iChannels;
  std::unique_ptr<CPlotList> iPlots;
  std::unique_ptr<CPerformanceTestList> iTests;
  std::unique_ptr<CRunList> iRuns;
};

TEST(TimingAudit, StandingStartFlyingStartAndInterpolatedFinishes) {
  TRunRig rig;
  // Standing until 1200 ms; 1.0 m/s at 1300, then 2 m/s more every 100 ms. The start is
  // extrapolated back from 1300 with the acceleration after it (20 m/s^2 against 10 before):
  // g = 0.5, start = 1200 + trunc(100 * 0.5 + 0.5) = 1250.
  std::vector<std::pair<int32_t, double>> speeds = {{1000, 0.0}, {1100, 0.0}, {1200, 0.0}, {1300, 1.0}};
  for (int32_t t = 1400; t <= 3400; t += 100) speeds.push_back({t, 3.0 + 2.0 * (t - 1400) / 100});
  double north = 0.0;
  std::vector<double> norths;
  for (size_t i = 0; i < speeds.size(); ++i) {
    if (i > 0) north += (speeds[i - 1].second + speeds[i].second) / 2.0 * 0.1;
    norths.push_back(north);
    rig.Add(speeds[i].first, north, 0.0, speeds[i].second);
  }
  ASSERT_EQ(rig.iRuns->Count(), 1);
  // 0-100 kph: 27.78 m/s between 27 (2600) and 29 (2700): 2600 + trunc(100 * 0.3889 + 0.5).
  const CPerformance* p = rig.Result(K0To100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->StartTime().Milliseconds(), 1250);
  EXPECT_EQ(p->FinishTime().Milliseconds(), 2639);
  // 80-120 kph starts flying between 21 (2300) and 23 (2400), finishes between 33 (2900) and
  // 35 (3000).
  p = rig.Result(K80To120);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->StartTime().Milliseconds(), 2361);
  EXPECT_EQ(p->FinishTime().Milliseconds(), 2917);
  EXPECT_EQ(p->ResultTime().Milliseconds(), 556);
  // 60 feet, from the start point halfway between the samples at 1200 and 1300, measured in a
  // straight line; the step that passes it is interpolated by distance.
  const TPositionPlot& s0 = rig.iPlots->PositionList().At(2);
  const TPositionPlot& s1 = rig.iPlots->PositionList().At(3);
  const TPosition start((s0.Position().iLatitude + s1.Position().iLatitude) / 2.0,
                        (s0.Position().iLongitude + s1.Position().iLongitude) / 2.0);
  double previous = 0.0;
  int32_t expectedTime = -1;
  double expectedSpeed = 0.0;
  for (int32_t i = 4; i < rig.iPlots->PositionList().Count() && expectedTime < 0; ++i) {
    const TPositionPlot& a = rig.iPlots->PositionList().At(i - 1);
    const TPositionPlot& b = rig.iPlots->PositionList().At(i);
    const double d = start.Distance(b.Position()).Metres();
    if (previous < 18.288 && 18.288 <= d) {
      const double f = (18.288 - previous) / (d - previous);
      expectedTime = a.iTime + static_cast<int32_t>(std::trunc((b.iTime - a.iTime) * f + 0.5));
      expectedSpeed = (1 - f) * a.Speed().MetresPerSecond() + f * b.Speed().MetresPerSecond();
    }
    previous = d;
  }
  p = rig.Result(K60Feet);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->StartTime().Milliseconds(), 1250);
  EXPECT_EQ(p->FinishTime().Milliseconds(), expectedTime);
  EXPECT_NEAR(StoredToMps(p->FinishSpeed()), expectedSpeed, 1e-4);
}

TEST(TimingAudit, DistanceTestsMeasureTheStraightLineFromTheStart) {
  TRunRig rig;
  // From standstill at 1200 ms with 4 m/s^2 along a half circle of radius 150 m: the path
  // is 471 m long but never more than 300 m from the start.
  const double radius = 150.0, accel = 4.0;
  for (int32_t t = 1000; t <= 16600; t += 100) {
    const double dt = t > 1200 ? (t - 1200) / 1000.0 : 0.0;
    const double s = 0.5 * accel * dt * dt;
    if (s > KPi * radius) break;
    rig.Add(t, radius * std::sin(s / radius), radius * (1 - std::cos(s / radius)), accel * dt);
  }
  // The 1/8 mile is reached in a straight line after 220.3 m of path, at 1200 + 10495 ms
  // (201.168 m of path would be at 10029 ms); the 1/4 mile never is.
  const CPerformance* eighth = rig.Result(KEighthMile);
  ASSERT_NE(eighth, nullptr);
  EXPECT_EQ(eighth->StartTime().Milliseconds(), 1200);
  const double pathAtFinish = 2 * radius * std::asin(201.168 / (2 * radius));
  EXPECT_NEAR(eighth->ResultTime().Milliseconds(), 1000.0 * std::sqrt(2 * pathAtFinish / accel), 30.0);
  EXPECT_EQ(rig.Result(KQuarterMile), nullptr);
}

}  // namespace
