// Crossings of whole sessions: a rebuild over a recorded circuit and the same session fed
// sample by sample must agree exactly; the repeat rule drops only the same trap at the very
// next sample.
#include "timing/intersection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "storage/position_plot_list.h"
#include "timing/trap_line.h"

namespace {

constexpr int32_t KLat = 45 * 6000000;
constexpr int32_t KLon = 9 * 6000000;

TPositionPlot Plot(int32_t aTime, TGeoPoint aPoint, double aSpeedMs = 30.0) {
  TPositionPlot p;
  p.iTime = aTime;
  p.iLatitude = aPoint.iLatitude.iValue;
  p.iLongitude = aPoint.iLongitude.iValue;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeedMs));
  p.iFlags = 9;
  return p;
}

TGeoPoint Geo(int32_t aLat, int32_t aLon) { return TGeoPoint(TCoordinate(aLat), TCoordinate(aLon)); }

// A round circuit of radius 300 m driven clockwise at 30 m/s, with traps at fixed angles
// around it, each laid across the direction of travel.
struct TCircuit {
  static constexpr double KRadius = 300.0;
  static constexpr double KSpeed = 30.0;
  TPosition iCentre{TPosition(Geo(KLat, KLon))};
  CTrapLineList iTraps;
  std::vector<double> iAngles;

  explicit TCircuit(std::initializer_list<double> aAnglesDeg) {
    int32_t type = ETrapStartFinish;
    for (double a : aAnglesDeg) {
      iAngles.push_back(a);
      const TGeoPoint c = iCentre.Destination(TAngle::FromDegrees(a), TDistance::FromMetres(KRadius)).ToGeoPoint();
      CTrapLine t;
      t.Set(type, u"t", c.iLatitude, c.iLongitude, TAngle::FromDegrees(a + 90.0), TDistance::FromMetres(30.0), 1);
      iTraps.Add(t);
      type = ETrapSplit;
    }
  }
  // Seconds per lap.
  static double LapTime() { return 2.0 * KPi * KRadius / KSpeed; }
  TPositionPlot At(double aSeconds) const {
    const double angle = 360.0 * aSeconds / LapTime() + 0.5;  // starts just past the line
    const TPosition p = iCentre.Destination(TAngle::FromDegrees(angle), TDistance::FromMetres(KRadius));
    return Plot(static_cast<int32_t>(std::lround(aSeconds * 1000.0)), p.ToGeoPoint());
  }
};

bool SamePlot(const TPositionPlot& a, const TPositionPlot& b) {
  return a.iTime == b.iTime && a.iLatitude == b.iLatitude && a.iLongitude == b.iLongitude &&
         a.iSpeed == b.iSpeed && a.iDistance == b.iDistance && a.iAltitude == b.iAltitude &&
         a.iBearing == b.iBearing && a.iFlags == b.iFlags;
}

}  // namespace

TEST(IntersectionList, RebuildOfACircuitFindsEveryTrapOnEveryLapInOrder) {
  const TCircuit circuit({0.0, 72.0, 144.0, 216.0, 288.0});
  CPositionPlotList plots;
  const int32_t laps = 5;
  const double duration = laps * TCircuit::LapTime();
  for (int32_t i = 0; i * 0.1 < duration; ++i) plots.AppendStored(circuit.At(i * 0.1));

  CIntersectionList crossings;
  crossings.Rebuild(plots, circuit.iTraps);
  // The trace starts just past the line, so the line closes each lap.
  ASSERT_EQ(crossings.Count(), laps * 5);
  for (int32_t i = 0; i < crossings.Count(); ++i) {
    const TIntersection& c = crossings.At(i);
    const int32_t trap = (i + 1) % 5;
    EXPECT_EQ(c.iTrapIndex, trap) << i;
    EXPECT_EQ(c.iInterval, 100);
    const int32_t lap = i / 5;
    double angle = circuit.iAngles[trap] - 0.5;
    if (angle < 0) angle += 360.0;
    const double expected = (lap + angle / 360.0) * TCircuit::LapTime() * 1000.0;
    // The chord between samples deviates from the circle by far less than a millisecond.
    EXPECT_NEAR(c.iSample.iTime, expected, 1.0) << i;
    EXPECT_EQ(plots.At(c.iSampleIndex - 1).iTime < c.iSample.iTime, true);
    EXPECT_LE(c.iSample.iTime, plots.At(c.iSampleIndex).iTime);
  }
}

TEST(IntersectionList, RecordingSampleBySampleMatchesTheRebuild) {
  const TCircuit circuit({0.0, 50.0, 190.0});
  CPositionPlotList all;
  for (int32_t i = 0; i < 1500; ++i) all.AppendStored(circuit.At(i * 0.04));
  CIntersectionList rebuilt;
  rebuilt.Rebuild(all, circuit.iTraps);

  CPositionPlotList live;
  CIntersectionList incremental;
  int32_t newCount = 0;
  for (int32_t i = 0; i < all.Count(); ++i) {
    live.AppendStored(all.At(i));
    const int32_t before = incremental.Count();
    const int32_t found = incremental.TestNewest(live, &circuit.iTraps);
    EXPECT_EQ(found, incremental.Count() > before ? 1 : 0);
    newCount += found;
  }
  ASSERT_GT(rebuilt.Count(), 0);
  ASSERT_EQ(incremental.Count(), rebuilt.Count());
  EXPECT_EQ(newCount, rebuilt.Count());
  for (int32_t i = 0; i < rebuilt.Count(); ++i) {
    EXPECT_EQ(incremental[i].iTrapIndex, rebuilt[i].iTrapIndex);
    EXPECT_EQ(incremental[i].iSampleIndex, rebuilt[i].iSampleIndex);
    EXPECT_EQ(incremental[i].iInterval, rebuilt[i].iInterval);
    EXPECT_TRUE(SamePlot(incremental[i].iSample, rebuilt[i].iSample)) << i;
  }
  // Rebuilding again starts from scratch.
  rebuilt.Rebuild(all, circuit.iTraps);
  EXPECT_EQ(rebuilt.Count(), incremental.Count());
}

TEST(IntersectionList, RepeatRuleAndEmptyInput) {
  CTrapLineList traps;
  CTrapLine line;
  line.Set(ETrapStart, u"s", TCoordinate(KLat), TCoordinate(KLon), TAngle(0.0), TDistance::FromMetres(30.0), 0);
  traps.Add(line);
  CIntersectionList crossings;

  // No traps, no samples, one sample: nothing, and no trap list at all gives 0.
  CPositionPlotList plots;
  EXPECT_EQ(crossings.TestNewest(plots, &traps), 0);
  EXPECT_EQ(crossings.TestNewest(plots, nullptr), 0);
  plots.AppendStored(Plot(0, Geo(KLat - 100, KLon)));
  EXPECT_EQ(crossings.TestNewest(plots, &traps), 0);
  plots.AppendStored(Plot(100, Geo(KLat + 100, KLon)));
  EXPECT_EQ(crossings.TestNewest(plots, nullptr), 0);
  CTrapLineList none;
  crossings.Rebuild(plots, none);
  EXPECT_EQ(crossings.Count(), 0);

  // Touching the line exactly at a sample is one crossing.
  CPositionPlotList touch;
  touch.AppendStored(Plot(0, Geo(KLat - 100, KLon)));
  touch.AppendStored(Plot(100, Geo(KLat, KLon)));
  touch.AppendStored(Plot(200, Geo(KLat + 100, KLon)));
  crossings.Rebuild(touch, traps);
  ASSERT_EQ(crossings.Count(), 1);
  EXPECT_EQ(crossings[0].iSampleIndex, 1);
  EXPECT_EQ(crossings[0].iSample.iTime, 100);

  // Over and straight back: the same trap at the very next sample is taken as a repeat; one
  // sample later it counts again.
  CPositionPlotList zigzag;
  zigzag.AppendStored(Plot(0, Geo(KLat - 100, KLon)));
  zigzag.AppendStored(Plot(100, Geo(KLat + 100, KLon)));
  zigzag.AppendStored(Plot(200, Geo(KLat - 100, KLon)));
  zigzag.AppendStored(Plot(300, Geo(KLat - 200, KLon)));
  zigzag.AppendStored(Plot(400, Geo(KLat + 100, KLon)));
  crossings.Rebuild(zigzag, traps);
  ASSERT_EQ(crossings.Count(), 2);
  EXPECT_EQ(crossings[0].iSampleIndex, 1);
  EXPECT_EQ(crossings[1].iSampleIndex, 4);
  crossings.Clear();
  EXPECT_EQ(crossings.Count(), 0);

  // Two traps at the same place both report at the same sample.
  traps.Add(line);
  crossings.Rebuild(plots, traps);
  ASSERT_EQ(crossings.Count(), 2);
  EXPECT_EQ(crossings[0].iTrapIndex, 0);
  EXPECT_EQ(crossings[1].iTrapIndex, 1);
}
