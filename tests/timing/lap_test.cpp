// A single lap: how crossings are accepted, what times, distances and speeds come out of
// them (ordinary and composite), key cycling, and the high/low speed scan.
#include "timing/lap.h"

#include <gtest/gtest.h>

#include <memory>

#include "storage/position_plot_list.h"

namespace {

// A crossing sample with a time (ms), a distance (m) and a speed (m/s).
TPositionPlot Sample(int32_t aTime, double aMetres = 0.0, double aSpeed = 0.0) {
  TPositionPlot p;
  p.iTime = aTime;
  p.iLatitude = 3000000;
  p.iLongitude = 600000;
  p.iDistance = TPositionPlot::EncodeDistance(TDistance::FromMetres(aMetres));
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeed));
  return p;
}

int32_t Speed(double aMetresPerSecond) {
  return TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aMetresPerSecond));
}

// A sample list whose sample i has the given speed, 100 ms apart, 1 m apart.
std::unique_ptr<CPositionPlotList> SpeedTrace(std::initializer_list<double> aSpeeds) {
  auto list = std::make_unique<CPositionPlotList>();
  // The speeds change by up to 30 m/s in 0.1 s, which no car does: the glitch rule would
  // rightly keep such samples out of the scan, so it stays off for these algorithm checks.
  list->Gnss().SetRuleEnabled(false);
  int32_t i = 0;
  for (double v : aSpeeds) {
    TPositionPlot p = Sample(i * 100, i, v);
    p.iLatitude += i;
    list->AppendStored(p);
    ++i;
  }
  return list;
}

}  // namespace

TEST(Lap, AcceptsCrossingsInOrderAndRefusesRepeats) {
  CLap lap(nullptr, 0);
  EXPECT_FALSE(lap.IsFinished());
  EXPECT_EQ(lap.SetFinish(0, 5, Sample(1000)), 0) << "no finish before a start";
  EXPECT_EQ(lap.AddSplit(1, 5, Sample(1000)), 0) << "no split before a start";

  lap.SetStart(0, 10, Sample(1000));
  lap.SetStart(0, 12, Sample(1200));  // a second start overwrites the first
  ASSERT_NE(lap.Start(), nullptr);
  EXPECT_EQ(lap.Start()->iSampleIndex, 12);
  EXPECT_EQ(lap.Start()->iPrevious, nullptr);

  EXPECT_EQ(lap.AddSplit(1, 20, Sample(2000)), 1);
  EXPECT_EQ(lap.AddSplit(1, 25, Sample(2500)), 0) << "the same split twice keeps the first";
  EXPECT_EQ(lap.AddSplit(2, 30, Sample(3000)), 1);
  EXPECT_EQ(lap.SplitCount(), 2);
  EXPECT_EQ(lap.CrossingCount(), 2);
  EXPECT_EQ(lap.LastCrossing(), lap.Split(1));

  EXPECT_EQ(lap.SetFinish(0, 40, Sample(4000)), 1);
  EXPECT_EQ(lap.SetFinish(0, 41, Sample(4100)), 0);
  EXPECT_EQ(lap.AddSplit(3, 45, Sample(4500)), 0) << "no split after the finish";
  EXPECT_TRUE(lap.IsFinished());

  // Chain: finish -> split 2 -> split 1 -> start.
  ASSERT_EQ(lap.CrossingCount(), 3);
  EXPECT_EQ(lap.LastCrossingIndex(), 2);
  EXPECT_EQ(lap.Crossing(2), lap.Finish());
  EXPECT_EQ(lap.Finish()->iPrevious, lap.Split(1));
  EXPECT_EQ(lap.Split(1)->iPrevious, lap.Split(0));
  EXPECT_EQ(lap.Split(0)->iPrevious, lap.Start());
  EXPECT_EQ(lap.Crossing(3), nullptr);
  EXPECT_EQ(lap.Crossing(-1), nullptr);

  // On a start/finish line the key of the start is the finish's: the finish is found first.
  EXPECT_EQ(lap.FindCrossing(0), lap.Finish());
  EXPECT_EQ(lap.FindCrossing(2), lap.Split(1));
  EXPECT_EQ(lap.FindCrossing(7), nullptr);
  EXPECT_EQ(lap.CrossingIndexOf(0), 2);
  EXPECT_EQ(lap.CrossingIndexOf(1), 0);
  EXPECT_EQ(lap.CrossingIndexOf(-1), -1);
}

TEST(Lap, TimesDistancesAndSpeeds) {
  CLap lap(nullptr, 0);
  lap.SetStart(0, 10, Sample(10000, 100.0, 20.0));
  // Unfinished: no lap time, but the splits so far are known.
  EXPECT_FALSE(lap.LapTime().IsSet());
  EXPECT_FALSE(lap.LapDistance().IsValid());
  EXPECT_FALSE(lap.AverageSpeed().IsValid());
  lap.AddSplit(1, 20, Sample(31500, 600.0, 30.0));
  EXPECT_EQ(lap.SplitTime(1), PwTime(21500));
  lap.AddSplit(2, 30, Sample(52250, 1200.0, 25.0));
  lap.SetFinish(0, 40, Sample(71800, 1900.0, 22.0));

  EXPECT_EQ(lap.LapTime(), PwTime(61800));
  EXPECT_NEAR(lap.LapDistance().Metres(), 1800.0, 0.01);
  EXPECT_NEAR(lap.AverageSpeed().MetresPerSecond(), 1800.0 / 61.8, 1e-4);
  EXPECT_EQ(lap.SplitTime(2), PwTime(42250));
  EXPECT_EQ(lap.SplitTime(0), PwTime(61800));  // the finish's key
  EXPECT_FALSE(lap.SplitTime(9).IsSet());
  EXPECT_FALSE(lap.SplitTime(-1).IsSet());
  EXPECT_NEAR(lap.SplitDistance(2).Metres(), 1100.0, 0.01);
  EXPECT_EQ(lap.SplitDistance(-1).iValue, 0.0);
  EXPECT_FALSE(lap.SplitDistance(9).IsValid());
  EXPECT_NEAR(lap.TrapSpeed(-1).MetresPerSecond(), 20.0, 1e-4);
  EXPECT_NEAR(lap.TrapSpeed(1).MetresPerSecond(), 30.0, 1e-4);
  EXPECT_FALSE(lap.TrapSpeed(9).IsValid());

  // Sectors: from any earlier crossing to a later one, walking back from the later one.
  EXPECT_EQ(lap.SectorTime(0, 1), PwTime(21500));
  EXPECT_EQ(lap.SectorTime(1, 2), PwTime(20750));
  EXPECT_EQ(lap.SectorTime(2, 0), PwTime(19550));
  EXPECT_EQ(lap.SectorTime(1, 0), PwTime(40300));
  EXPECT_EQ(lap.SectorTime(0, 0), PwTime(61800));  // start to finish of a start/finish line
  EXPECT_FALSE(lap.SectorTime(2, 1).IsSet()) << "backwards";
  EXPECT_FALSE(lap.SectorTime(9, 1).IsSet());
  EXPECT_FALSE(lap.SectorTime(1, 9).IsSet());

  EXPECT_EQ(lap.RelativeTime(PwTime(15000)), PwTime(5000));
  EXPECT_FALSE(lap.RelativeTime(PwTime::Unset()).IsSet());
  EXPECT_NEAR(lap.RelativeDistance(TPositionPlot::EncodeDistance(TDistance::FromMetres(350.0))).Metres(),
              250.0, 0.01);
}

TEST(Lap, KeysCycleThroughNoSelection) {
  CLap lap(nullptr, 0);
  EXPECT_EQ(lap.NextKey(-1), -1);
  int32_t from = 5, to = 5;
  lap.KeyPair(-1, from, to);
  EXPECT_EQ(from, -1);
  EXPECT_EQ(to, -1);

  lap.SetStart(4, 1, Sample(0));
  lap.KeyPair(-1, from, to);
  EXPECT_EQ(from, 4);
  EXPECT_EQ(to, -1) << "a lap with only a start has no crossing to end at";
  EXPECT_EQ(lap.NextKey(-1), -1);

  lap.AddSplit(7, 2, Sample(100));
  lap.AddSplit(3, 3, Sample(200));
  EXPECT_EQ(lap.NextKey(-1), 7);
  EXPECT_EQ(lap.NextKey(7), 3);
  EXPECT_EQ(lap.NextKey(3), -1);
  EXPECT_EQ(lap.PreviousKey(-1), 3);
  EXPECT_EQ(lap.PreviousKey(3), 7);
  EXPECT_EQ(lap.PreviousKey(7), -1);
  EXPECT_EQ(lap.NextKey(99), -1);

  lap.SetFinish(4, 4, Sample(300));
  EXPECT_EQ(lap.NextKey(3), 4);
  EXPECT_EQ(lap.PreviousKey(-1), 4);
  lap.KeyPair(-1, from, to);
  EXPECT_EQ(from, 4);
  EXPECT_EQ(to, 4);
  lap.KeyPair(7, from, to);
  EXPECT_EQ(from, 4);
  EXPECT_EQ(to, 7);
  lap.KeyPair(4, from, to);
  EXPECT_EQ(from, 3);
  EXPECT_EQ(to, 4);
  lap.KeyPair(99, from, to);
  EXPECT_EQ(from, -1);
  EXPECT_EQ(to, -1);
}

// The optimal lap is glued from crossings of different laps; each keeps its own predecessor.
TEST(Lap, CompositeSumsTheSectorsOfItsSourceLaps) {
  CLap a(nullptr, 0), b(nullptr, 0);
  a.SetStart(0, 10, Sample(10000, 0.0));
  a.AddSplit(1, 20, Sample(30000, 500.0));   // sector 1: 20.0 s
  a.SetFinish(0, 30, Sample(72000, 1500.0)); // sector 2: 42.0 s
  b.SetStart(0, 30, Sample(72000, 1500.0));
  b.AddSplit(1, 40, Sample(93000, 2000.0));  // sector 1: 21.0 s
  b.SetFinish(0, 50, Sample(133000, 3000.0)); // sector 2: 40.0 s

  CLap optimal(nullptr, 1);
  EXPECT_EQ(optimal.SetFinish(0, 1, Sample(0)), 0) << "composite laps take copies only";
  optimal.AddCopiedCrossing(*a.Split(0));
  EXPECT_EQ(optimal.Start(), a.Start()) << "the first copy's predecessor becomes the start";
  EXPECT_EQ(optimal.SetCopiedFinish(*b.Finish()), 1);
  EXPECT_EQ(optimal.SetCopiedFinish(*b.Finish()), 0);
  EXPECT_TRUE(optimal.IsComposite());
  EXPECT_NE(optimal.Finish(), b.Finish()) << "a copy, owned by the composite lap";

  EXPECT_EQ(optimal.LapTime(), PwTime(60000));
  EXPECT_NEAR(optimal.LapDistance().Metres(), 1500.0, 0.01);
  EXPECT_EQ(optimal.SplitTime(1), PwTime(20000));
  EXPECT_EQ(optimal.SplitTime(0), PwTime(60000));
  EXPECT_FALSE(optimal.SplitTime(5).IsSet());
  EXPECT_NEAR(optimal.SplitDistance(1).Metres(), 500.0, 0.01);
  EXPECT_EQ(optimal.SectorTime(1, 0), PwTime(40000));

  // Relative time: inside sector 1 (lap a's clock), inside sector 2 (lap b's clock), between
  // them (in no sector: the total).
  EXPECT_EQ(optimal.RelativeTime(PwTime(15000)), PwTime(5000));
  EXPECT_EQ(optimal.RelativeTime(PwTime(100000)), PwTime(20000 + 7000));
  EXPECT_EQ(optimal.RelativeTime(PwTime(50000)), PwTime(60000));
  EXPECT_NEAR(optimal.RelativeDistance(TPositionPlot::EncodeDistance(TDistance::FromMetres(2500.0))).Metres(),
              1000.0, 0.01);

  // A copy without a predecessor makes every sum invalid.
  CLap broken(nullptr, 1);
  TLapSector orphan = *a.Split(0);
  orphan.iPrevious = nullptr;
  broken.AddCopiedCrossing(orphan);
  broken.SetCopiedFinish(*b.Finish());
  EXPECT_FALSE(broken.LapTime().IsSet());
  EXPECT_FALSE(broken.LapDistance().IsValid());
}

TEST(Lap, HighLowScanFindsConfirmedExtremesOnly) {
  // 0:10 1:20 2:30 3:22 4:15 5:25 6:32 7:31 8:33 9:20 10:26
  auto plots = SpeedTrace({10, 20, 30, 22, 15, 25, 32, 31, 33, 20, 26});
  CLap lap(plots.get(), 0);
  lap.SetStart(0, 1, Sample(100));
  lap.SetFinish(0, 10, Sample(1000));
  EXPECT_EQ(lap.MinimumSpeed(), KInvalidInt);

  lap.HighLowScan(Speed(5.0));
  // The scan runs from sample 0 (one before the start) to 10: rising to 30, confirmed by 22
  // (more than 5 below); falling to 15, confirmed by 25; rising to 33 (31 after 32 is too
  // small a dip), confirmed by 20; the low of 20 is confirmed by the final 26.
  ASSERT_EQ(lap.HighLowCount(), 4);
  EXPECT_EQ(lap.HighLowPoint(0).iSampleIndex, 2);
  EXPECT_EQ(lap.HighLowPoint(0).iHigh, 1);
  EXPECT_EQ(lap.HighLowPoint(1).iSampleIndex, 4);
  EXPECT_EQ(lap.HighLowPoint(1).iHigh, 0);
  EXPECT_EQ(lap.HighLowPoint(2).iSampleIndex, 8);
  EXPECT_EQ(lap.HighLowPoint(3).iSampleIndex, 9);
  EXPECT_EQ(lap.HighLowPoint(3).iHigh, 0);
  EXPECT_NEAR(lap.HighLowSpeed(2).MetresPerSecond(), 33.0, 1e-4);
  EXPECT_EQ(lap.HighLowTime(2), PwTime(700));  // sample 8 at 800 ms, start at 100 ms
  EXPECT_NEAR(lap.HighLowDistance(2).Metres(), 8.0, 0.01);
  EXPECT_EQ(lap.HighLowPosition(2).iLatitude.iValue, 3000008);
  EXPECT_EQ(lap.MinimumSpeed(), Speed(10.0));
  EXPECT_EQ(lap.MaximumSpeed(), Speed(33.0));

  // Variations below the threshold (31 after 32 at 1 m/s, all of them at 20 m/s) give nothing.
  lap.HighLowScan(Speed(20.0));
  EXPECT_EQ(lap.HighLowCount(), 0);

  // A scan again discards the old points. At 12 m/s the first sample (10) does not start the
  // scan, and the final 26 does not confirm the low of 20.
  lap.HighLowScan(Speed(12.0));
  ASSERT_EQ(lap.HighLowCount(), 3);
  EXPECT_EQ(lap.HighLowPoint(0).iSampleIndex, 2);
  EXPECT_EQ(lap.HighLowPoint(1).iSampleIndex, 4);
  EXPECT_EQ(lap.HighLowPoint(2).iSampleIndex, 8);
}

TEST(Lap, HighLowScanBelowThresholdStartAndGaps) {
  // Speeds never above the threshold never start a scan; an invalid speed is passed over.
  auto plots = SpeedTrace({1, 2, 3, 2, 1});
  CLap lap(plots.get(), 0);
  lap.SetStart(0, 1, Sample(100));
  lap.SetFinish(0, 4, Sample(400));
  lap.HighLowScan(Speed(5.0));
  EXPECT_EQ(lap.HighLowCount(), 0);
  EXPECT_EQ(lap.MaximumSpeed(), Speed(3.0));

  CPositionPlotList gaps;
  const double speeds[] = {30, 10, -1, 25};
  for (int i = 0; i < 4; ++i) {
    TPositionPlot p = Sample(i * 100, i, speeds[i] < 0 ? 0 : speeds[i]);
    if (speeds[i] < 0) p.iSpeed = KInvalidInt;
    gaps.AppendStored(p);
  }
  CLap gapped(&gaps, 0);
  gapped.SetStart(0, 1, Sample(100));
  gapped.SetFinish(0, 3, Sample(300));
  gapped.HighLowScan(Speed(5.0));
  ASSERT_EQ(gapped.HighLowCount(), 2);
  EXPECT_EQ(gapped.HighLowPoint(0).iSampleIndex, 0);
  EXPECT_EQ(gapped.HighLowPoint(1).iSampleIndex, 1);
}

TEST(Lap, CompositeHighLowScanRestartsForEachCrossing) {
  // Lap a covers samples 0-5, lap b samples 5-10. The composite takes a's first sector
  // (samples 1..2) and b's second (samples 7..9).
  auto plots = SpeedTrace({10, 30, 10, 40, 10, 30, 10, 30, 10, 30, 10});
  CLap a(plots.get(), 0), b(plots.get(), 0);
  a.SetStart(0, 1, Sample(100));
  a.AddSplit(1, 3, Sample(300));
  a.SetFinish(0, 5, Sample(500));
  b.SetStart(0, 5, Sample(500));
  b.AddSplit(1, 7, Sample(700));
  b.SetFinish(0, 10, Sample(1000));
  CLap optimal(plots.get(), 1);
  optimal.AddCopiedCrossing(*a.Split(0));
  optimal.SetCopiedFinish(*b.Finish());
  optimal.HighLowScan(Speed(5.0));
  // Sector 1 scans samples 1-2: 30 then 10 confirms a high at 1. Sector 2 scans 7-9 afresh:
  // 30, 10 (high at 7), 30 (low at 8).
  ASSERT_EQ(optimal.HighLowCount(), 3);
  EXPECT_EQ(optimal.HighLowPoint(0).iSampleIndex, 1);
  EXPECT_EQ(optimal.HighLowPoint(1).iSampleIndex, 7);
  EXPECT_EQ(optimal.HighLowPoint(2).iSampleIndex, 8);
  EXPECT_EQ(optimal.HighLowPoint(2).iHigh, 0);
  EXPECT_EQ(optimal.MaximumSpeed(), Speed(30.0)) << "the 40 of sample 3 lies in no scanned range";
  // Sample 7 (700 ms) lies in b's second sector, after a's 200 ms first sector.
  EXPECT_EQ(optimal.HighLowTime(1), PwTime(200 + 0));
}

// Times from a damaged samples file can lie almost 2^32 ms apart: no figure may wrap round.
TEST(Lap, TimesBeyondThirtyTwoBitsAreNoTimes) {
  CLap lap(nullptr, 0);
  lap.SetStart(0, 1, Sample(-2000000000, 0.0));
  lap.AddSplit(1, 2, Sample(0, 10.0));
  lap.SetFinish(0, 3, Sample(2000000000, 20.0));
  EXPECT_FALSE(lap.LapTime().IsSet());
  EXPECT_EQ(lap.SplitTime(1), PwTime(2000000000));
  EXPECT_FALSE(lap.SectorTime(0, 0).IsSet());
  EXPECT_FALSE(lap.RelativeTime(PwTime(2100000000)).IsSet());
  EXPECT_FALSE(lap.AverageSpeed().IsValid());

  CLap optimal(nullptr, 1);
  optimal.AddCopiedCrossing(*lap.Split(0));
  optimal.SetCopiedFinish(*lap.Finish());
  EXPECT_FALSE(optimal.LapTime().IsSet());
  EXPECT_FALSE(optimal.SplitTime(0).IsSet());
}
