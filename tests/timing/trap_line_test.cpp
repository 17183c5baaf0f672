// The crossing test against drives whose crossing moments are known: straight runs at
// constant speed through a line at a chosen fraction between samples, at 1, 10 and 25 Hz,
// checked against an independent vector computation; plus the awkward traces (touching the
// line, standing still, time running backwards, gaps) and the standing-start area.
#include "timing/trap_line.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>

#include "storage/position_plot_list.h"
#include "strings/pw_strings.h"

namespace {

constexpr double KDeg = KPi / 180.0;

TPositionPlot Plot(int32_t aTime, TGeoPoint aPoint, double aSpeedMs = 20.0, uint8_t aFlags = 8) {
  TPositionPlot p;
  p.iTime = aTime;
  p.iLatitude = aPoint.iLatitude.iValue;
  p.iLongitude = aPoint.iLongitude.iValue;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeedMs));
  p.iBearing = 0;
  p.iFlags = aFlags;
  return p;
}

TGeoPoint Geo(int32_t aLat, int32_t aLon) { return TGeoPoint(TCoordinate(aLat), TCoordinate(aLon)); }

// Traps are not copyable; tests build them in helpers and move them out this way.
struct TestTrap : CTrapLine {
  TestTrap() = default;
  TestTrap(TestTrap&& aOther) noexcept : CTrapLine() { CopyFrom(aOther); }
};

// Centre of the test traps: 48 N, 11 E.
constexpr int32_t KLat = 48 * 6000000;
constexpr int32_t KLon = 11 * 6000000;

TestTrap Line(int32_t aType, double aBearingDeg, double aWidthM, int32_t aUnidirectional,
               int32_t aLat = KLat, int32_t aLon = KLon) {
  TestTrap t;
  t.Set(aType, u"line", TCoordinate(aLat), TCoordinate(aLon), TAngle::FromDegrees(aBearingDeg),
        TDistance::FromMetres(aWidthM), aUnidirectional);
  return t;
}

// --- An independent reference: great circles as 3D unit vectors. ----------------------------
// Extended precision: the normal of a 30 m line is the cross product of two nearly equal
// vectors, and in plain doubles its rounding alone would tilt the plane by a tenth of a
// millimetre at the line.
using R = long double;
struct V3 {
  R x, y, z;
};
V3 Unit(TPosition p) {
  const R lat = p.iLatitude, lon = p.iLongitude;
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
R Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
R Norm(V3 a) { return std::sqrt(Dot(a, a)); }
R Angle(V3 a, V3 b) { return std::atan2(Norm(Cross(a, b)), Dot(a, b)); }

// Fraction along A-B at which the segment meets the great circle through the trap's ends:
// the direction of the intersection line of the two great-circle planes.
double ReferenceFraction(const CTrapLine& aTrap, TPosition aA, TPosition aB) {
  const V3 a = Unit(aA), b = Unit(aB);
  V3 x = Cross(Cross(Unit(aTrap.EndPoint1()), Unit(aTrap.EndPoint2())), Cross(a, b));
  if (Dot(x, a) < 0) x = {-x.x, -x.y, -x.z};
  return static_cast<double>(Angle(a, x) / Angle(a, b));
}

// A straight drive at constant speed whose crossing of the trap (at aOffsetM to the side of
// its centre) falls at aFraction between samples aIndex - 1 and aIndex.
struct TDrive {
  std::unique_ptr<CPositionPlotList> iList{new CPositionPlotList};
  double iCrossingTime = 0.0;  // ms, exact by construction
};
TDrive Drive(const CTrapLine& aTrap, double aHeadingDeg, double aSpeedMs, int32_t aHz, double aFraction,
             double aOffsetM, int32_t aSamples = 8, int32_t aIndex = 4) {
  TDrive d;
  const TPosition p = TPosition(aTrap.Centre())
                          .Destination(TAngle(aTrap.Bearing().iValue + KPi / 2), TDistance::FromMetres(aOffsetM));
  const double dt = 1000.0 / aHz;
  const int32_t t0 = 5000;
  d.iCrossingTime = t0 + (aIndex - 1 + aFraction) * dt;
  for (int32_t k = 0; k < aSamples; ++k) {
    const double t = t0 + k * dt;
    const double metres = aSpeedMs * (t - d.iCrossingTime) / 1000.0;
    const TPosition q = metres >= 0 ? p.Destination(TAngle::FromDegrees(aHeadingDeg), TDistance::FromMetres(metres))
                                    : p.Destination(TAngle::FromDegrees(aHeadingDeg + 180.0), TDistance::FromMetres(-metres));
    d.iList->AppendStored(Plot(static_cast<int32_t>(std::lround(t)), q.ToGeoPoint(), aSpeedMs));
  }
  return d;
}

// Every crossing index of the drive for one trap.
std::vector<int32_t> CrossingIndices(const CTrapLine& aTrap, const CPositionPlotList& aList) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < aList.Count(); ++i) {
    TPositionPlot s;
    int32_t interval = 0;
    if (aTrap.CrossingTest(i, aList, s, interval)) out.push_back(i);
  }
  return out;
}

}  // namespace

TEST(TrapLine, DerivedEndPointsLieAcrossTheDirectionOfTravel) {
  const TestTrap t = Line(ETrapStartFinish, 30.0, 40.0, 1);
  const TPosition c(t.Centre());
  EXPECT_NEAR(c.Distance(t.EndPoint1()).Metres(), 20.0, 1e-6);
  EXPECT_NEAR(c.Distance(t.EndPoint2()).Metres(), 20.0, 1e-6);
  EXPECT_NEAR(c.Bearing(t.EndPoint1()).Degrees(), 120.0, 1e-6);  // bearing + 90
  EXPECT_NEAR(c.Bearing(t.EndPoint2()).Degrees(), -60.0, 1e-6);  // bearing - 90
  EXPECT_EQ(t.EndPoint1Geo(), t.EndPoint1().ToGeoPoint());

  // Standing start: a square of side width, north-west and south-east corners.
  const TestTrap s = Line(ETrapStandingStart, 0.0, 20.0, 0);
  EXPECT_GT(s.EndPoint1().iLatitude, c.iLatitude);
  EXPECT_LT(s.EndPoint1().iLongitude, c.iLongitude);
  EXPECT_LT(s.EndPoint2().iLatitude, c.iLatitude);
  EXPECT_GT(s.EndPoint2().iLongitude, c.iLongitude);
  EXPECT_NEAR(TPosition(s.EndPoint1().iLatitude, c.iLongitude).Distance(c).Metres(), 10.0, 1e-3);
  EXPECT_NEAR(TPosition(c.iLatitude, s.EndPoint2().iLongitude).Distance(c).Metres(), 10.0, 1e-3);

  CTrapLine copy;
  copy.CopyFrom(t);
  EXPECT_TRUE(copy.Equals(t));
  EXPECT_EQ(copy.EndPoint2(), t.EndPoint2());
  copy.Reset();
  EXPECT_FALSE(copy.Centre().IsValid());
  EXPECT_TRUE(copy.Name().IsEmpty());
  EXPECT_FALSE(copy.Bearing().IsValid());
}

// A drive along the meridian through the centre crosses an east-west line exactly at the
// centre, so the crossing moment is the latitude fraction between the samples.
TEST(TrapLine, MeridianDriveCrossingTimesAreExact) {
  for (int32_t hz : {1, 10, 25}) {
    const int32_t dt = 1000 / hz;
    const int32_t step = 1600 / hz * 1 + 64;  // units per sample (about 30 m per second at 1 Hz)
    for (int32_t k : {1, step / 10, step / 4, step / 2, step - 1, step}) {
      for (int dir : {1, -1}) {
        CPositionPlotList list;
        const int32_t a = KLat - dir * k;
        list.AppendStored(Plot(10000, Geo(a - dir * step, KLon)));
        list.AppendStored(Plot(10000 + dt, Geo(a, KLon)));
        list.AppendStored(Plot(10000 + 2 * dt, Geo(a + dir * step, KLon)));
        list.AppendStored(Plot(10000 + 3 * dt, Geo(a + 2 * dir * step, KLon)));
        const TestTrap trap = Line(ETrapStart, 0.0, 30.0, 0);
        TPositionPlot s;
        int32_t interval = 0;
        ASSERT_TRUE(trap.CrossingTest(2, list, s, interval)) << hz << " Hz, k " << k << ", dir " << dir;
        const double expected = 10000 + dt + static_cast<double>(dt) * k / step;
        EXPECT_LE(std::fabs(s.iTime - expected), 0.5 + 1e-9) << hz << " Hz, k " << k;
        EXPECT_EQ(interval, dt);
        EXPECT_NEAR(s.iLatitude, KLat, 1);
        EXPECT_EQ(s.iLongitude, KLon);
      }
    }
  }
}

TEST(TrapLine, QuarterOfASecondIntoAOneSecondStep) {
  CPositionPlotList list;
  list.AppendStored(Plot(20000, Geo(KLat - 400, KLon)));
  list.AppendStored(Plot(21000, Geo(KLat + 1200, KLon)));
  const TestTrap trap = Line(ETrapStartFinish, 0.0, 30.0, 1);
  TPositionPlot s;
  int32_t interval = 0;
  ASSERT_TRUE(trap.CrossingTest(1, list, s, interval));
  EXPECT_EQ(s.iTime, 20250);
  EXPECT_EQ(interval, 1000);
}

// Oblique drives at random headings, speeds and offsets along the line: the crossing time is
// within 1 ms of the reference computed from the stored samples, and of the designed moment
// up to what the 1.85 cm storage grid allows at that speed.
TEST(TrapLine, ObliqueDrivesAtOneTenAndTwentyFiveHertz) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> heading(-60.0, 60.0), trapBearing(0.0, 360.0), speed(8.0, 85.0),
      fraction(0.0, 1.0), offset(-14.0, 14.0);
  double worstReference = 0.0, worstDesign = 0.0;
  int tested = 0;
  for (int32_t hz : {1, 10, 25}) {
    for (int i = 0; i < 400; ++i) {
      const double bearing = trapBearing(rng);
      const TestTrap trap = Line(ETrapSplit, bearing, 30.0, 1);
      const double v = speed(rng);
      const TDrive d = Drive(trap, bearing + heading(rng), v, hz, fraction(rng), offset(rng));
      const std::vector<int32_t> hits = CrossingIndices(trap, *d.iList);
      ASSERT_EQ(hits.size(), 1u) << hz << " Hz, case " << i;
      const int32_t at = hits[0];
      TPositionPlot s;
      int32_t interval = 0;
      ASSERT_TRUE(trap.CrossingTest(at, *d.iList, s, interval));
      const TPositionPlot& a = d.iList->At(at - 1);
      const TPositionPlot& b = d.iList->At(at);
      EXPECT_EQ(interval, b.iTime - a.iTime);
      const double reference = a.iTime + (b.iTime - a.iTime) * ReferenceFraction(trap, a.Position(), b.Position());
      const double errReference = std::fabs(s.iTime - reference);
      const double errDesign = std::fabs(s.iTime - d.iCrossingTime);
      // Half a storage unit on each axis moves the sample at most this far along the track.
      const double grid = 1.5 * TDistance(1.0 / KArcUnitsPerRadian).Metres() / v * 1000.0;
      EXPECT_LE(errReference, 1.0) << hz << " Hz, case " << i;
      EXPECT_LE(errDesign, 1.0 + grid) << hz << " Hz, case " << i;
      worstReference = std::max(worstReference, errReference);
      worstDesign = std::max(worstDesign, errDesign - grid);
      ++tested;
    }
  }
  EXPECT_EQ(tested, 1200);
  EXPECT_LE(worstReference, 0.5 + 1e-6);  // only the rounding to whole milliseconds remains
}

TEST(TrapLine, TouchingAtASampleAndStandingStillOnTheWay) {
  const TestTrap trap = Line(ETrapStart, 0.0, 30.0, 0);
  {
    // The middle sample lies exactly on the line: the segment ending there reports it.
    CPositionPlotList list;
    list.AppendStored(Plot(0, Geo(KLat - 300, KLon)));
    list.AppendStored(Plot(100, Geo(KLat, KLon)));
    list.AppendStored(Plot(200, Geo(KLat + 300, KLon)));
    const std::vector<int32_t> hits = CrossingIndices(trap, list);
    ASSERT_FALSE(hits.empty());
    EXPECT_EQ(hits[0], 1);
    TPositionPlot s;
    int32_t interval = 0;
    ASSERT_TRUE(trap.CrossingTest(1, list, s, interval));
    EXPECT_EQ(s.iTime, 100);
  }
  {
    // Stopped short of the line (equal coordinates twice), then through it.
    CPositionPlotList list;
    list.AppendStored(Plot(0, Geo(KLat - 300, KLon)));
    list.AppendStored(Plot(100, Geo(KLat - 40, KLon)));
    list.AppendStored(Plot(200, Geo(KLat - 40, KLon)));
    list.AppendStored(Plot(300, Geo(KLat - 40, KLon)));
    list.AppendStored(Plot(400, Geo(KLat + 120, KLon)));
    EXPECT_EQ(CrossingIndices(trap, list), std::vector<int32_t>{4});
    TPositionPlot s;
    int32_t interval = 0;
    ASSERT_TRUE(trap.CrossingTest(4, list, s, interval));
    EXPECT_EQ(s.iTime, 325);
    EXPECT_EQ(interval, 100);
    // Unmoving samples on top of the line never report anything.
    CPositionPlotList still;
    still.AppendStored(Plot(0, Geo(KLat, KLon)));
    still.AppendStored(Plot(100, Geo(KLat, KLon)));
    EXPECT_TRUE(CrossingIndices(trap, still).empty());
  }
}

TEST(TrapLine, DirectionOfUnidirectionalAndBidirectionalTraps) {
  const TestTrap one = Line(ETrapFinish, 0.0, 30.0, 1);
  const TestTrap both = Line(ETrapFinish, 0.0, 30.0, 0);
  for (double heading : {0.0, 80.0, -80.0, 100.0, -100.0, 180.0}) {
    const TDrive d = Drive(one, heading, 30.0, 10, 0.5, 0.0);
    const bool forward = std::fabs(heading) < 90.0;
    EXPECT_EQ(CrossingIndices(one, *d.iList).size(), forward ? 1u : 0u) << heading;
    EXPECT_EQ(CrossingIndices(both, *d.iList).size(), 1u) << heading;
  }
  // Exactly across the wrong way at 90 degrees counts as wrong: the difference must be
  // strictly inside a quarter turn. A line laid at 90 degrees to a northbound trace.
  const TestTrap side = Line(ETrapFinish, 90.0, 30.0, 1);
  CPositionPlotList list;
  list.AppendStored(Plot(0, Geo(KLat - 100, KLon)));
  list.AppendStored(Plot(100, Geo(KLat + 100, KLon)));
  EXPECT_TRUE(CrossingIndices(side, list).empty());
}

TEST(TrapLine, PassesAroundTheEndsOfTheLine) {
  const TestTrap trap = Line(ETrapSplit, 0.0, 20.0, 1);
  for (double heading : {0.0, 35.0}) {
    EXPECT_EQ(CrossingIndices(trap, *Drive(trap, heading, 40.0, 10, 0.3, 9.95).iList).size(), 1u);
    EXPECT_EQ(CrossingIndices(trap, *Drive(trap, heading, 40.0, 10, 0.3, -9.95).iList).size(), 1u);
    EXPECT_TRUE(CrossingIndices(trap, *Drive(trap, heading, 40.0, 10, 0.3, 10.05).iList).empty());
    EXPECT_TRUE(CrossingIndices(trap, *Drive(trap, heading, 40.0, 10, 0.3, -10.05).iList).empty());
  }
  // A very long line (the cheap side test must allow for its curvature), near its ends.
  const TestTrap wide = Line(ETrapSplit, 20.0, 3000.0, 1);
  EXPECT_EQ(CrossingIndices(wide, *Drive(wide, 5.0, 40.0, 1, 0.6, 1490.0).iList).size(), 1u);
  EXPECT_EQ(CrossingIndices(wide, *Drive(wide, 5.0, 40.0, 1, 0.6, -1490.0).iList).size(), 1u);
  EXPECT_TRUE(CrossingIndices(wide, *Drive(wide, 5.0, 40.0, 1, 0.6, 1510.0).iList).empty());
  // Parallel to the line, right on it, never crosses.
  CPositionPlotList along;
  along.AppendStored(Plot(0, Geo(KLat, KLon - 200)));
  along.AppendStored(Plot(100, Geo(KLat, KLon + 200)));
  EXPECT_TRUE(CrossingIndices(Line(ETrapStart, 0.0, 20.0, 0), along).empty());
}

TEST(TrapLine, TimeGoingBackwardsGapsAndHostileSamples) {
  const TestTrap trap = Line(ETrapStart, 0.0, 30.0, 0);
  TPositionPlot s;
  int32_t interval = 0;
  {
    // Time running backwards: the crossing stays between the two sample times and the
    // interval tells the step.
    CPositionPlotList list;
    list.AppendStored(Plot(9000, Geo(KLat - 100, KLon)));
    list.AppendStored(Plot(8000, Geo(KLat + 300, KLon)));
    ASSERT_TRUE(trap.CrossingTest(1, list, s, interval));
    EXPECT_EQ(interval, -1000);
    EXPECT_EQ(s.iTime, 8751);  // 9000 + trunc(-1000 * 0.25 + 0.5)
  }
  {
    // A long gap in the recording: the crossing is still interpolated, its interval tells
    // how little it can be trusted, and it keeps the mark of the new trace segment.
    CPositionPlotList list;
    list.AppendStored(Plot(0, Geo(KLat - 100, KLon)));
    list.AppendStored(Plot(60000, Geo(KLat + 300, KLon), 20.0, 8 | TPositionPlot::KDiscontinuityFlag));
    ASSERT_TRUE(trap.CrossingTest(1, list, s, interval));
    EXPECT_EQ(interval, 60000);
    EXPECT_EQ(s.iTime, 15000);
    EXPECT_TRUE(s.IsDiscontinuity());
  }
  {
    // A step too long for 32 bits of milliseconds is no crossing.
    CPositionPlotList list;
    list.AppendStored(Plot(-2000000000, Geo(KLat - 100, KLon)));
    list.AppendStored(Plot(2000000000, Geo(KLat + 300, KLon)));
    EXPECT_FALSE(trap.CrossingTest(1, list, s, interval));
  }
  {
    // Missing coordinates, indices out of range, a list too short.
    CPositionPlotList list;
    TPositionPlot bad = Plot(100, Geo(KLat + 300, KLon));
    bad.iLatitude = KInvalidInt;
    list.AppendStored(Plot(0, Geo(KLat - 100, KLon)));
    list.AppendStored(bad);
    list.AppendStored(Plot(200, Geo(KLat + 300, KLon)));
    for (int32_t i : {-5, 0, 1, 2, 3, 1000000}) EXPECT_FALSE(trap.CrossingTest(i, list, s, interval)) << i;
  }
}

TEST(TrapLine, DisabledAndIncompleteTrapsNeverTrigger) {
  const TestTrap active = Line(ETrapStart, 0.0, 30.0, 0);
  const TDrive d = Drive(active, 0.0, 30.0, 10, 0.5, 0.0);
  ASSERT_EQ(CrossingIndices(active, *d.iList).size(), 1u);
  EXPECT_TRUE(CrossingIndices(Line(ETrapDisabled, 0.0, 30.0, 0), *d.iList).empty());
  EXPECT_TRUE(CrossingIndices(Line(9, 0.0, 30.0, 0), *d.iList).empty());
  EXPECT_TRUE(CrossingIndices(Line(ETrapStart, 0.0, 0.0, 0), *d.iList).empty());
  CTrapLine noBearing;
  noBearing.Set(ETrapStart, u"x", TCoordinate(KLat), TCoordinate(KLon), TAngle::Invalid(), TDistance::FromMetres(30), 0);
  EXPECT_TRUE(CrossingIndices(noBearing, *d.iList).empty());
  CTrapLine fresh;
  EXPECT_TRUE(CrossingIndices(fresh, *d.iList).empty());
}

TEST(TrapLine, StandingStartArea) {
  const TestTrap area = Line(ETrapStandingStart, 0.0, 20.0, 0);
  auto run = [&](std::array<double, 4> aSpeeds, std::array<int32_t, 4> aLatOffsets, TPositionPlot& aOut,
                 int32_t& aInterval) {
    CPositionPlotList list;
    for (int i = 0; i < 4; ++i) list.AppendStored(Plot(1000 * i, Geo(KLat + aLatOffsets[i], KLon), aSpeeds[i]));
    std::vector<int32_t> hits;
    for (int32_t i = 0; i < list.Count(); ++i)
      if (area.CrossingTest(i, list, aOut, aInterval)) hits.push_back(i);
    return hits;
  };
  TPositionPlot s;
  int32_t interval = 0;
  // Standing at S0, moving at S1 with 2 m/s, 5 m/s at S2: the start is put a third of the way
  // from S0 to S1 (the acceleration after S1 is 3 m/s^2 against 2 before it).
  EXPECT_EQ(run({0.0, 2.0, 5.0, 9.0}, {0, 60, 330, 800}, s, interval), std::vector<int32_t>{2});
  EXPECT_EQ(s.iTime, 333);
  EXPECT_EQ(interval, 1000);
  EXPECT_EQ(s.iLatitude, KLat + 20);
  EXPECT_EQ(s.iLongitude, KLon);

  // Still standing: nothing. Creeping (0.1 m/s), slower, then rolling away: the other rule.
  EXPECT_TRUE(run({0.0, 0.0, 0.0, 0.0}, {0, 0, 0, 0}, s, interval).empty());
  EXPECT_EQ(run({0.1, 0.2, 3.0, 6.0}, {0, 5, 20, 200}, s, interval), std::vector<int32_t>{2});
  // Invalid speeds never start anything.
  EXPECT_TRUE(run({NAN, NAN, NAN, NAN}, {0, 60, 330, 800}, s, interval).empty());

  // The width is the radius around the centre that the start point must lie in. Samples on
  // both sides of the square pass the box; without acceleration after S1 the start is put at
  // S0, 15 m (inside) or 25 m (outside) north of the centre.
  const auto units = [](double m) { return static_cast<int32_t>(TDistance::FromMetres(m).iValue * KArcUnitsPerRadian); };
  EXPECT_EQ(run({0.0, 2.0, 2.5, 3.0}, {units(15), -units(15), -units(17), -units(19)}, s, interval),
            std::vector<int32_t>{2});
  EXPECT_EQ(s.iTime, 0);
  EXPECT_EQ(s.iLatitude, KLat + units(15));
  EXPECT_TRUE(run({0.0, 2.0, 2.5, 3.0}, {units(25), -units(25), -units(27), -units(29)}, s, interval).empty());
  // Both S0 and S1 north of the square: rejected by the box.
  EXPECT_TRUE(run({0.0, 2.0, 5.0, 9.0}, {units(11), units(11) + 60, units(11) + 330, units(11) + 800}, s, interval)
                  .empty());
}

TEST(TrapLineList, CursorEditingAndTypeChecks) {
  CTrapLineList list;
  int32_t index = -1;
  EXPECT_EQ(list.Current(index), nullptr);
  EXPECT_EQ(list.RemoveCurrent(), 0);
  EXPECT_EQ(list.HasStart(), 0);
  list.Add(Line(ETrapSplit, 0, 30, 0));
  list.Add(Line(ETrapFinish, 0, 30, 0));
  list.Add(Line(ETrapSplit, 10, 30, 0));
  ASSERT_NE(list.Current(index), nullptr);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.HasStart(), 0);
  EXPECT_EQ(list.HasFinish(), 1);

  EXPECT_EQ(list.ReplaceCurrent(Line(ETrapSplit, 10, 30, 0)), 0);  // the same trap
  EXPECT_EQ(list.ReplaceCurrent(Line(ETrapStandingStart, 10, 30, 0)), 1);
  EXPECT_EQ(list.HasStart(), 1);
  EXPECT_EQ(list.At(2)->Type(), ETrapStandingStart);
  EXPECT_EQ(list.At(3), nullptr);
  EXPECT_EQ(list.At(-1), nullptr);

  list.Next();
  EXPECT_EQ(list.CurrentIndex(), 0);  // wraps
  list.Previous();
  EXPECT_EQ(list.CurrentIndex(), 2);
  EXPECT_EQ(list.RemoveCurrent(), 1);  // the last: the cursor follows to the new last
  EXPECT_EQ(list.CurrentIndex(), 1);
  list.SetCurrent(0);
  EXPECT_EQ(list.RemoveCurrent(), 1);
  EXPECT_EQ(list.CurrentIndex(), 0);
  EXPECT_EQ(list.At(0)->Type(), ETrapFinish);
  EXPECT_EQ(list.RemoveCurrent(), 1);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.RemoveCurrent(), 0);

  // The list holds copies.
  TestTrap original = Line(ETrapStart, 0, 30, 1);
  list.Add(original);
  original.Reset();
  EXPECT_EQ(list.At(0)->Type(), ETrapStart);
}

TEST(TrapLine, TypeNamesFromTheStringTable) {
  const char16_t* names[] = {u"Disabled", u"Start line", u"Finish line", u"Start/Finish line", u"Split line",
                             u"Standing start area"};
  CPwString text;
  for (int32_t t = 0; t <= 5; ++t) {
    CTrapLine::TypeName(t, text);
    EXPECT_EQ(text, CPwStringC(std::u16string_view(names[t]))) << t;
  }
  CTrapLine::TypeName(42, text);
  EXPECT_EQ(text, CPwStringC(u"Disabled"));
}
