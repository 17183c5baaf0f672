// Graph data on synthetic drives with known speed profiles: stretches and their lists, point
// budgets, the derived channels, comparison alignment and scaling, window and cursor searches,
// and the ranges the drawing fits its scales to.
#include "analysis/graph_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "acquisition/obd_channels.h"
#include "acquisition/position_plot.h"
#include "storage/plot_list.h"
#include "timing/lap.h"

namespace {

constexpr double KMetresPerDegree = 6371000.0 * M_PI / 180.0;
constexpr int32_t KStart = 10 * 3600000;

// A session's samples, filled by a drive: every aStepMs from aStartMs, speed v(t) and bearing
// b(t) (degrees) for t in seconds since the start; positions follow by integration.
class TDrive {
 public:
  TDrive() : iObd(CObdChannelList::NewL()), iPlots(CPlotList::NewL(iObd.get())) {}

  void Drive(int32_t aCount, int32_t aStepMs, const std::function<double(double)>& aSpeed,
             const std::function<double(double)>& aBearing = [](double) { return 0.0; }, int32_t aStartMs = KStart) {
    for (int32_t i = 0; i < aCount; ++i) {
      const double t = i * aStepMs / 1000.0;
      const double v = aSpeed(t), b = aBearing(t) * M_PI / 180.0;
      if (i > 0) {
        const double dt = aStepMs / 1000.0;
        iNorth += v * dt * std::cos(b);
        iEast += v * dt * std::sin(b);
      }
      const double lat = 48.0 + iNorth / KMetresPerDegree;
      const double lon = 11.0 + iEast / (KMetresPerDegree * std::cos(48.0 * M_PI / 180.0));
      double bearing = aBearing(t);
      bearing = std::fmod(std::fmod(bearing, 360.0) + 360.0, 360.0);
      iPlots->AddPosition(TCoordinate::FromDegrees(lat), TCoordinate::FromDegrees(lon), aStartMs + i * aStepMs,
                          TDistance::FromMetres(500), TSpeed::FromMetresPerSecond(v), bearing, 0.9, 1.2, 9, 0, 0,
                          PwTime::KUnset, PwTime::KUnset, 0);
    }
  }
  // OBD vehicle speed (PID 0x0D, km/h) every aStepMs from aStartMs.
  void ObdSpeed(int32_t aCount, int32_t aStepMs, int32_t aStartMs, uint32_t aKmh) {
    for (int32_t i = 0; i < aCount; ++i) iPlots->AddObdValue(aStartMs + i * aStepMs, 0x0D, aKmh, 0);
  }

  const CPositionPlotList& Positions() const { return iPlots->PositionList(); }
  CPlotList& Plots() { return *iPlots; }

 private:
  std::unique_ptr<CObdChannelList> iObd;
  std::unique_ptr<CPlotList> iPlots;
  double iNorth = 0.0, iEast = 0.0;
};

std::unique_ptr<CChannelList> Visible(std::initializer_list<TChannelId> aIds) {
  auto list = std::make_unique<CChannelList>();
  for (TChannelId id : aIds) list->Add(id);
  return list;
}

std::unique_ptr<CGraphGenerator> NewGenerator() { return std::unique_ptr<CGraphGenerator>(CGraphGenerator::NewL(nullptr)); }

// Runs the worker to its end; the number of steps.
int32_t Compute(CGraphGenerator& aGenerator) {
  int32_t steps = 1;
  while (aGenerator.Step()) ++steps;
  return steps;
}

// The whole position list as a lap from its first to its last sample.
std::unique_ptr<CLap> WholeLap(const CPositionPlotList& aPositions) {
  std::unique_ptr<CLap> lap(CLap::NewL(&aPositions, 0));
  lap->SetStart(0, 0, aPositions.At(0));
  lap->SetFinish(0, aPositions.Count() - 1, aPositions.Last());
  return lap;
}

TGraphStretch WholeStretch(const CPositionPlotList& aPositions) {
  TGraphStretch s;
  s.iUsed = true;
  s.iPositions = &aPositions;
  s.iStartTime = PwTime(aPositions.At(0).iTime);
  s.iEndTime = PwTime(aPositions.Last().iTime);
  s.iStartDistance = aPositions.At(0).Distance().Metres();
  return s;
}

TEST(GraphChannelTest, BudgetsFollowThePointCountOfEachKind) {
  TDrive drive;
  drive.Drive(10000, 100, [](double) { return 20.0; });
  drive.ObdSpeed(10000, 100, KStart + 50, 72);
  const TGraphStretch stretch = WholeStretch(drive.Positions());
  CGraphChannelList gps(drive.Positions(), 0);
  gps.SetStretch(stretch, nullptr);
  ASSERT_EQ(gps.PointCount(), 10000);
  ASSERT_TRUE(gps.AddChannel(KChannelGpsTime));
  ASSERT_TRUE(gps.AddChannel(KChannelDistance));
  ASSERT_TRUE(gps.AddChannel(KChannelGpsSpeed));
  EXPECT_FALSE(gps.AddChannel(KChannelGpsSpeed));   // once per list
  EXPECT_FALSE(gps.AddChannel(KChannelObdSpeed));   // not a channel of positions
  EXPECT_TRUE(gps.AddChannel(KChannelDistance));    // as a value channel beside the axis
  EXPECT_TRUE(gps.Step());
  for (int32_t i = 0; i < gps.ChannelCount(); ++i) {
    EXPECT_EQ(gps.Channel(i).Budget(), 625);
    EXPECT_EQ(gps.Channel(i).Done(), 624);
  }

  const CObdChannelPlotList& obdSamples = *drive.Plots().ObdList().FindList(0x0D);
  CGraphChannelList obd(obdSamples, 0);
  obd.SetStretch(stretch, &gps);
  ASSERT_TRUE(obd.AddChannel(KChannelObdTime));
  ASSERT_TRUE(obd.AddChannel(KChannelObdDistance, true));
  ASSERT_TRUE(obd.AddChannel(KChannelObdSpeed));
  EXPECT_TRUE(obd.Step());
  EXPECT_EQ(obd.Channel(0).Done(), 624);
  EXPECT_EQ(obd.Channel(1).Budget(), 2000);
  EXPECT_EQ(obd.Channel(1).Done(), 1999);
  EXPECT_EQ(obd.ProgressValue(), 624);

  // Small lists: both budgets are 50.
  TDrive small;
  small.Drive(100, 100, [](double) { return 20.0; });
  CGraphChannelList list(small.Positions(), 0);
  list.SetStretch(WholeStretch(small.Positions()), nullptr);
  list.AddChannel(KChannelGpsTime);
  list.AddChannel(KChannelObdDistance, true);
  EXPECT_TRUE(list.Step());
  EXPECT_EQ(list.Channel(0).Done(), 49);
  EXPECT_EQ(list.Channel(1).Done(), 49);
  EXPECT_TRUE(list.Step());
  EXPECT_FALSE(list.Step());
  EXPECT_EQ(list.ProgressValue(), 100);
}

TEST(GraphChannelTest, WindowRangesWidenFlatLinesAndIgnoreMissingValues) {
  CGraphChannel channel(KChannelGpsSpeed, 3, 4);
  channel.StartComputing(4);
  for (double v : {20.0, 20.0, std::nan(""), 20.0}) channel.AppendValue(v);
  EXPECT_TRUE(channel.IsComplete());
  EXPECT_DOUBLE_EQ(channel.Minimum(), 20.0);
  EXPECT_DOUBLE_EQ(channel.Range(), 0.0);
  channel.TakeFullRange();
  EXPECT_DOUBLE_EQ(channel.WindowRange(), 0.001);
  EXPECT_DOUBLE_EQ(channel.WindowMinimum(), 20.0 - 0.0005);
  EXPECT_DOUBLE_EQ(channel.WindowMaximum(), 20.0 + 0.0005);
  // A window holding only the missing value has no range at all.
  channel.SetWindowFromValues(2, 3);
  EXPECT_TRUE(std::isnan(channel.WindowMinimum()));
  EXPECT_TRUE(std::isnan(channel.WindowRange()));
  channel.SetWindowRange(5.0, 1.0);
  EXPECT_TRUE(std::isnan(channel.WindowMaximum()));
}

// x values 0.0, 0.1, ... 4.9 (a 10 Hz list of 50 samples on the time axis).
class GraphWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iDrive.Drive(50, 100, [](double t) { return 10.0 + t; });
    iList = std::make_unique<CGraphChannelList>(iDrive.Positions(), 0);
    iList->SetStretch(WholeStretch(iDrive.Positions()), nullptr);
    iList->AddChannel(KChannelGpsTime);
    iList->AddChannel(KChannelDistance);
    iList->AddChannel(KChannelGpsSpeed);
    while (iList->Step()) {
    }
    iList->SetXChannel(CGraphGenerator::EAxisTime);
  }
  TDrive iDrive;
  std::unique_ptr<CGraphChannelList> iList;
};

TEST_F(GraphWindowTest, BinarySearchPinsBothEndsAndExactHits) {
  int32_t lo = 0, hi = 0;
  iList->FindX(-1.0, lo, hi);
  EXPECT_EQ(lo, -1);
  EXPECT_EQ(hi, 0);
  iList->FindX(0.0, lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  iList->FindX(4.9, lo, hi);  // equal to the last: that index twice
  EXPECT_EQ(lo, 49);
  EXPECT_EQ(hi, 49);
  iList->FindX(5.0, lo, hi);
  EXPECT_EQ(lo, 49);
  EXPECT_EQ(hi, -1);
  iList->FindX(2.0, lo, hi);
  EXPECT_EQ(lo, 20);
  EXPECT_EQ(hi, 20);
  iList->FindX(2.04, lo, hi);
  EXPECT_EQ(lo, 20);
  EXPECT_EQ(hi, 21);
  // The cursor value is interpolated between them; outside the data it is missing.
  iList->SetCursorValues(2.05);
  EXPECT_NEAR(iList->Channel(2).CursorValue(), 12.05, 1e-4);
  iList->SetCursorValues(7.0);
  EXPECT_TRUE(std::isnan(iList->Channel(2).CursorValue()));
}

TEST_F(GraphWindowTest, WindowIndexRangeCoversThePointsJustOutsideIt) {
  iList->SetWindow(1.05, 2.05);
  EXPECT_EQ(iList->WindowFirst(), 10);  // x 1.0, the last not beyond the start
  EXPECT_EQ(iList->WindowEnd(), 22);    // one past x 2.1, the first beyond the end
  EXPECT_DOUBLE_EQ(iList->XStart(false), 1.05);
  EXPECT_DOUBLE_EQ(iList->XRange(false), 1.0);
  iList->SetZoomedY(true);
  // Speeds are stored to about 1e-5 m/s.
  EXPECT_NEAR(iList->Channel(2).WindowMinimum(), 11.0, 1e-4);
  EXPECT_NEAR(iList->Channel(2).WindowMaximum(), 12.1, 1e-4);
  iList->SetZoomedY(false);
  EXPECT_NEAR(iList->Channel(2).WindowMaximum(), 14.9, 1e-4);
  iList->SetWindow(-3.0, 1.0);  // starting before the data
  EXPECT_EQ(iList->WindowFirst(), 0);
  EXPECT_EQ(iList->WindowEnd(), 12);
  iList->SetWindow(4.0, 30.0);  // past the end: up to the count
  EXPECT_EQ(iList->WindowFirst(), 40);
  EXPECT_EQ(iList->WindowEnd(), 50);
  iList->SetWindow(6.0, 7.0);  // nothing beyond the start
  EXPECT_EQ(iList->WindowFirst(), 0);
  EXPECT_EQ(iList->WindowEnd(), 0);
}

TEST(GraphGeneratorTest, LapStretchesAndComparisonAlignByDistance) {
  // The same kilometre at 20 m/s and, in the comparison session, at 10 m/s.
  TDrive fast, slow;
  fast.Drive(501, 100, [](double) { return 20.0; });
  slow.Drive(1001, 100, [](double) { return 10.0; });
  std::unique_ptr<CLap> fastLap = WholeLap(fast.Positions());
  std::unique_ptr<CLap> slowLap = WholeLap(slow.Positions());
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  ASSERT_TRUE(generator->SetLapStretch(CGraphGenerator::EPrimary, *fastLap, nullptr, nullptr, &fast.Plots()));
  ASSERT_TRUE(generator->SetLapStretch(CGraphGenerator::EComparison, *slowLap, nullptr, nullptr, &slow.Plots()));
  generator->BuildLists(*Visible({KChannelGpsSpeed, KChannelGpsTime}));
  ASSERT_EQ(generator->ListCount(), 2);
  EXPECT_FALSE(generator->List(0).IsComparison());
  EXPECT_TRUE(generator->List(1).IsComparison());
  EXPECT_EQ(generator->ProgressTotal(), 501 + 1001);
  Compute(*generator);
  EXPECT_EQ(generator->ProgressValue(), generator->ProgressTotal());

  EXPECT_NEAR(generator->PrimaryLength(CGraphGenerator::EAxisTime), 50.0, 1e-9);
  EXPECT_NEAR(generator->ComparisonLength(false, CGraphGenerator::EAxisTime), 100.0, 1e-9);
  EXPECT_NEAR(generator->PrimaryLength(CGraphGenerator::EAxisDistance), 1000.0, 1.0);

  // On the distance axis the two meet at the same place: at 500 m the fast lap is 25 s in,
  // the slow one 50 s.
  generator->SetAxis(false, CGraphGenerator::EAxisDistance);
  EXPECT_TRUE(std::isnan(generator->ScaleFactor()));
  generator->SetCursor(500.0, CGraphGenerator::EAxisDistance);
  generator->SetCursorValues(CGraphGenerator::EAxisDistance);
  const CGraphChannelList& primary = generator->List(0);
  const CGraphChannelList& comparison = generator->List(1);
  ASSERT_EQ(primary.ChannelCount(), 4);
  EXPECT_EQ(primary.Channel(2).Id(), KChannelGpsSpeed);
  EXPECT_EQ(primary.Channel(3).Id(), KChannelGpsTime);
  EXPECT_NEAR(primary.Channel(2).CursorValue(), 20.0, 1e-4);
  EXPECT_NEAR(primary.Channel(3).CursorValue(), 25.0, 0.05);
  EXPECT_NEAR(comparison.Channel(2).CursorValue(), 10.0, 1e-4);
  EXPECT_NEAR(comparison.Channel(3).CursorValue(), 50.0, 0.1);
  // The map's positions at the cursor: the same place in both sessions.
  TPositionPlot a, b;
  ASSERT_TRUE(generator->SampleAtCursor(CGraphGenerator::EAxisDistance, CGraphGenerator::EPrimary, a));
  ASSERT_TRUE(generator->SampleAtCursor(CGraphGenerator::EAxisDistance, CGraphGenerator::EComparison, b));
  EXPECT_NEAR(a.Position().Distance(b.Position()).Metres(), 0.0, 0.5);
  EXPECT_NEAR(a.iTime - KStart, 25000, 50);

  // A scaled time axis stretches the comparison onto the primary's 50 s: both ends fall on
  // the same pixel of a 300-pixel plot.
  generator->SetAxis(true, CGraphGenerator::EAxisTime);
  EXPECT_DOUBLE_EQ(generator->ScaleFactor(), 0.5);
  EXPECT_NEAR(generator->ComparisonLength(true, CGraphGenerator::EAxisTime), 50.0, 1e-9);
  EXPECT_DOUBLE_EQ(generator->SetWindow(25.0, CGraphGenerator::KTimeBase, 1.0), 1.0);
  auto pixel = [](const CGraphChannelList& aList, double aX) {
    return static_cast<int32_t>(std::trunc((aX - aList.XStart(true)) / aList.XRange(true) * 300.0));
  };
  EXPECT_DOUBLE_EQ(primary.XStart(true), -5.0);
  EXPECT_NEAR(comparison.XStart(true), -5.0, 1e-9);
  EXPECT_EQ(pixel(primary, primary.DataEnd(true)), pixel(comparison, comparison.DataEnd(true)));
  EXPECT_EQ(pixel(primary, primary.DataEnd(true)), 275);
  // The comparison is searched in its own time: 25 s on the scaled axis is its 50 s.
  generator->SetCursor(25.0, CGraphGenerator::EAxisTime);
  generator->SetCursorValues(CGraphGenerator::EAxisTime);
  EXPECT_NEAR(comparison.Channel(3).CursorValue(), 50.0, 1e-6);
}

TEST(GraphGeneratorTest, SectorStretchRunsBetweenItsCrossings) {
  TDrive drive;
  drive.Drive(601, 100, [](double) { return 20.0; });
  const CPositionPlotList& p = drive.Positions();
  std::unique_ptr<CLap> lap(CLap::NewL(&p, 0));
  lap->SetStart(0, 0, p.At(0));
  ASSERT_EQ(lap->AddSplit(1, 200, p.At(200)), 1);
  ASSERT_EQ(lap->SetFinish(0, 600, p.Last()), 1);
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  const TLapSector* split = lap->FindCrossing(1);
  ASSERT_TRUE(generator->SetLapStretch(CGraphGenerator::EPrimary, *lap, split, nullptr, &drive.Plots()));
  const TGraphStretch& s = generator->Stretch(CGraphGenerator::EPrimary);
  EXPECT_EQ(s.iStartTime.Milliseconds(), KStart + 20000);
  EXPECT_EQ(s.iEndTime.Milliseconds(), KStart + 60000);
  // Two seconds of margin on either side where there are samples.
  EXPECT_EQ(s.iFirst, 180);
  EXPECT_EQ(s.iLast, 600);
  EXPECT_NEAR(s.iEndDistance - s.iStartDistance, 800.0, 1.0);
  generator->BuildLists(*Visible({KChannelGpsSpeed}));
  Compute(*generator);
  generator->SetAxis(false, CGraphGenerator::EAxisDistance);
  EXPECT_NEAR(generator->List(0).DataStart(false), -40.0, 0.1);
  EXPECT_NEAR(generator->List(0).DataEnd(false), 800.0, 0.5);
  // A finish before the start is no stretch.
  EXPECT_FALSE(generator->SetLapStretch(CGraphGenerator::EPrimary, *lap, lap->Finish(), split, &drive.Plots()));
}

TEST(GraphGeneratorTest, AccelerationChannelsComeFromSpeedAndBearing) {
  // Ten seconds at 2 m/s^2 straight on, then a circle of 100 m radius at 20 m/s.
  TDrive drive;
  const double turnRate = 20.0 / 100.0 * 180.0 / M_PI;  // degrees per second
  drive.Drive(
      301, 100, [](double t) { return t < 10.0 ? 5.0 + 2.0 * t : 25.0; },
      [turnRate](double t) { return t < 20.0 ? 0.0 : (t - 20.0) * turnRate; });
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  ASSERT_TRUE(generator->SetTimeStretch(CGraphGenerator::EPrimary, drive.Plots(), PwTime(KStart), PwTime(KStart + 30000)));
  generator->BuildLists(*Visible({KChannelGpsLongitudinalG, KChannelGpsLateralG}));
  Compute(*generator);
  const CGraphChannelList& list = generator->List(0);
  ASSERT_EQ(list.ChannelCount(), 4);
  EXPECT_NEAR(list.Channel(2).Value(50), 2.0 / 9.80665, 1e-3);
  EXPECT_NEAR(list.Channel(2).Value(150), 0.0, 1e-6);
  EXPECT_NEAR(list.Channel(3).Value(150), 0.0, 1e-6);
  EXPECT_NEAR(std::fabs(list.Channel(3).Value(250)), 25.0 * 0.2 / 9.80665, 0.01);
}

TEST(GraphGeneratorTest, ObdListsHaveDerivedDistanceAndFollowTheSettings) {
  TDrive drive;
  drive.Drive(301, 100, [](double) { return 20.0; });  // 30 s, 600 m
  // OBD speed from 3 s before the GPS to 3 s after it.
  drive.ObdSpeed(181, 200, KStart - 3000, 72);
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  ASSERT_TRUE(generator->SetTimeStretch(CGraphGenerator::EPrimary, drive.Plots(), PwTime(KStart), PwTime(KStart + 30000)));
  generator->BuildLists(*Visible({KChannelGpsSpeed, KChannelObdSpeed}));
  ASSERT_EQ(generator->ListCount(), 2);
  Compute(*generator);
  const CGraphChannelList& obd = generator->List(1);
  ASSERT_EQ(obd.ChannelCount(), 3);
  EXPECT_EQ(obd.Channel(0).Id(), KChannelObdTime);
  EXPECT_EQ(obd.Channel(1).Id(), KChannelObdDistance);
  EXPECT_EQ(obd.Channel(2).Id(), KChannelObdSpeed);
  // The OBD list spans start - 2 s to end + 2 s: samples at -2.0, -1.8, ... 32.0 s.
  ASSERT_EQ(obd.PointCount(), 171);
  EXPECT_DOUBLE_EQ(obd.Channel(0).Value(0), -2.0);
  EXPECT_DOUBLE_EQ(obd.Channel(1).Value(0), 0.0);             // before the first GPS sample
  EXPECT_NEAR(obd.Channel(1).Value(61), 20.0 * 10.2, 0.3);     // 10.2 s in
  EXPECT_NEAR(obd.Channel(1).Value(160), 20.0 * 30.0, 0.3);    // the last GPS sample
  EXPECT_TRUE(std::isnan(obd.Channel(1).Value(161)));          // beyond the GPS data
  EXPECT_NEAR(obd.Channel(2).Value(80), 20.0, 1e-9);

  // OBD and GPS speed share a quantity: one scale for both.
  generator->SetAxis(false, CGraphGenerator::EAxisTime);
  generator->SetWindow(15.0, CGraphGenerator::KTimeBase, 1.0);
  generator->SetZoomedY(false);
  generator->FitClass(4);
  EXPECT_DOUBLE_EQ(generator->List(0).Channel(2).WindowMinimum(), obd.Channel(2).WindowMinimum());
  generator->CollectVisible();
  EXPECT_EQ(generator->ColourIndex(KChannelGpsSpeed), 0);
  EXPECT_EQ(generator->ColourIndex(KChannelObdSpeed), 1);
  EXPECT_EQ(generator->ColourIndex(KChannelAltitude), -1);

  // Switched off, the OBD list goes on the next build; switched on, it comes back new.
  generator->BuildLists(*Visible({KChannelGpsSpeed}));
  EXPECT_EQ(generator->ListCount(), 1);
  generator->BuildLists(*Visible({KChannelGpsSpeed, KChannelObdSpeed}));
  ASSERT_EQ(generator->ListCount(), 2);
  EXPECT_EQ(generator->List(1).Channel(2).Done(), 0);
  Compute(*generator);
  EXPECT_NEAR(generator->List(1).Channel(1).Value(61), 20.0 * 10.2, 0.3);
}

TEST(GraphGeneratorTest, ComparisonRangesCoverBothAndFlatPrimaryStillScales) {
  TDrive fast, slow;
  fast.Drive(101, 100, [](double) { return 20.0; });
  slow.Drive(101, 100, [](double) { return 10.0; });
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  generator->SetTimeStretch(CGraphGenerator::EPrimary, fast.Plots(), PwTime(KStart), PwTime(KStart + 10000));
  generator->SetTimeStretch(CGraphGenerator::EComparison, slow.Plots(), PwTime(KStart), PwTime(KStart + 10000));
  generator->BuildLists(*Visible({KChannelGpsSpeed}));
  Compute(*generator);
  generator->SetAxis(false, CGraphGenerator::EAxisTime);
  generator->SetWindow(5.0, CGraphGenerator::KTimeBase, 1.0);
  generator->SetZoomedY(true);
  const CGraphChannel& primary = generator->List(0).Channel(2);
  const CGraphChannel& comparison = generator->List(1).Channel(2);
  EXPECT_DOUBLE_EQ(primary.WindowRange(), 0.001);
  EXPECT_DOUBLE_EQ(primary.WindowMinimum(), primary.Minimum() - 0.0005);
  const double low = comparison.WindowMinimum(), high = primary.WindowMaximum();
  generator->FitComparison();
  for (const CGraphChannel* c : {&primary, &comparison}) {
    EXPECT_DOUBLE_EQ(c->WindowMinimum(), low);
    EXPECT_DOUBLE_EQ(c->WindowMaximum(), high);
    EXPECT_NEAR(c->WindowRange(), 10.001, 1e-4);
  }
}

TEST(GraphGeneratorTest, CursorMovesWrapAndSetCursorClamps) {
  TDrive drive;
  drive.Drive(101, 100, [](double) { return 20.0; });  // 10 s, 200 m
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  generator->SetTimeStretch(CGraphGenerator::EPrimary, drive.Plots(), PwTime(KStart), PwTime(KStart + 10000));
  const int32_t time = CGraphGenerator::EAxisTime;
  // A step is a fiftieth of a 60 s window: 1.2 s; a large move fifteen of them.
  generator->MoveCursor(true, false, 60.0, false, time);
  EXPECT_EQ(generator->CursorMs(), 1200);
  generator->MoveCursor(true, true, 60.0, false, time);
  EXPECT_EQ(generator->CursorMs(), 0);  // 19.2 s is beyond the 10 s lap
  generator->MoveCursor(false, false, 60.0, false, time);
  EXPECT_EQ(generator->CursorMs(), 10000);
  generator->SetCursor(9.0, time);
  generator->MoveCursor(true, false, 60.0, false, time);
  EXPECT_EQ(generator->CursorMs(), 0);
  generator->SetCursor(-4.0, time);
  EXPECT_EQ(generator->CursorMs(), 0);
  generator->SetCursor(2.5554, time);
  EXPECT_EQ(generator->CursorMs(), 2555);
  EXPECT_DOUBLE_EQ(generator->CursorValue(time), 2.555);
  generator->SetCursor(1e9, CGraphGenerator::EAxisDistance);
  EXPECT_NEAR(generator->CursorMetres(), 200.0, 0.5);
  generator->MoveCursor(true, false, 1000.0, false, CGraphGenerator::EAxisDistance);
  EXPECT_DOUBLE_EQ(generator->CursorMetres(), 0.0);

  TPositionPlot sample;
  ASSERT_TRUE(generator->SampleAtCursor(time, CGraphGenerator::EPrimary, sample));
  EXPECT_EQ(sample.iTime, KStart + 2555);
  EXPECT_NEAR(sample.Distance().Metres() - drive.Positions().At(0).Distance().Metres(), 51.1, 0.05);
  EXPECT_FALSE(generator->SampleAtCursor(time, CGraphGenerator::EComparison, sample));
}

TEST(GraphGeneratorTest, SpansListsOfOneSampleAndDiscard) {
  TDrive drive;
  drive.Drive(20000, 100, [](double) { return 20.0; });  // 2000 s
  std::unique_ptr<CGraphGenerator> generator = NewGenerator();
  drive.Plots().PositionList().SetCursor(1000);
  ASSERT_EQ(generator->PrepareSpan(drive.Plots()), 1);
  EXPECT_EQ(generator->Kind(), CGraphGenerator::EKindSpan);
  EXPECT_EQ(generator->Stretch(0).iStartTime.Milliseconds(), KStart + 100000);
  EXPECT_EQ(generator->Stretch(0).iEndTime.Milliseconds(), KStart + 1000000);
  EXPECT_FALSE(generator->HasComparison());
  generator->BuildLists(*Visible({KChannelGpsSpeed}));
  EXPECT_EQ(generator->List(0).PointCount(), 9041);  // 900 s and 2 s either side
  EXPECT_GT(Compute(*generator), 16);
  generator->Discard();
  EXPECT_EQ(generator->Kind(), CGraphGenerator::EKindNone);
  EXPECT_EQ(generator->ListCount(), 0);
  EXPECT_TRUE(std::isnan(generator->CursorValue(CGraphGenerator::EAxisTime)));

  // A single sample makes a stretch but no list: a channel needs two samples.
  TDrive single;
  single.Drive(1, 100, [](double) { return 20.0; });
  ASSERT_TRUE(generator->SetTimeStretch(CGraphGenerator::EPrimary, single.Plots(), PwTime(KStart), PwTime(KStart)));
  generator->BuildLists(*Visible({KChannelGpsSpeed}));
  EXPECT_EQ(generator->ListCount(), 0);
  EXPECT_EQ(Compute(*generator), 1);
  // No samples at all: no stretch.
  TDrive none;
  EXPECT_EQ(generator->PrepareSpan(none.Plots()), 0);
  EXPECT_FALSE(generator->SetTimeStretch(CGraphGenerator::EPrimary, drive.Plots(), PwTime(0), PwTime(1000)));
}

}  // namespace
