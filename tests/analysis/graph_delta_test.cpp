// The "Delta" graph channel: the viewed lap's time difference to the comparison lap at every
// sample of its positions, on its own scale, made only where two laps are shown.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "acquisition/channel_state.h"
#include "analysis/graph_generator.h"
#include "timing/delta_drive.h"
#include "timing/lap_delta.h"

using namespace pwdelta;

namespace {

std::unique_ptr<CChannelList> Visible(std::initializer_list<TChannelId> aIds) {
  auto list = std::make_unique<CChannelList>();
  for (TChannelId id : aIds) list->Add(id);
  return list;
}

// The primary positions' list of a generator.
const CGraphChannelList* PrimaryGps(const CGraphGenerator& aGenerator, const CPositionPlotList& aPlots) {
  for (int32_t i = 0; i < aGenerator.ListCount(); ++i) {
    const CGraphChannelList& list = aGenerator.List(i);
    if (!list.IsComparison() && &list.Samples() == &aPlots) return &list;
  }
  return nullptr;
}

}  // namespace

TEST(GraphDelta, TheLapsTimeDifferenceAgainstDistanceOnItsOwnScale) {
  const Drive drive(Line::Circle(150.0), {{30.0, 0.8}, {28.0, -0.6}});
  const Timed timed(drive, 100);
  const CLap& lap = *timed.iLaps->Lap(1);
  const CLap& reference = *timed.iLaps->Lap(0);
  std::unique_ptr<CGraphGenerator> generator(CGraphGenerator::NewL(nullptr));
  ASSERT_TRUE(generator->SetLapStretch(CGraphGenerator::EPrimary, lap, nullptr, nullptr, nullptr));
  ASSERT_TRUE(generator->SetLapStretch(CGraphGenerator::EComparison, reference, nullptr, nullptr, nullptr));
  generator->BuildLists(*Visible({KChannelGpsSpeed, KChannelLapDelta}));
  while (generator->Step()) {
  }
  const CGraphChannelList* gps = PrimaryGps(*generator, timed.iPlots);
  ASSERT_NE(gps, nullptr);
  const int32_t index = gps->FindChannel(KChannelLapDelta, 2);
  ASSERT_GE(index, 2);
  const CGraphChannel& channel = gps->Channel(index);
  // Its own quantity: fitted apart from every other channel.
  EXPECT_NE(channel.QuantityClass(), ChannelQuantityClass(KChannelGpsSpeed));
  EXPECT_NE(channel.QuantityClass(), ChannelQuantityClass(KChannelGpsTime));
  EXPECT_EQ(QuantityDecimals(channel.QuantityClass()), 2);
  ASSERT_EQ(channel.Count(), gps->PointCount());

  // Inside the lap every point is the difference at that sample, against the distance axis;
  // the margins before and after the lap have none.
  const CGraphChannel& distance = gps->Channel(gps->FindChannel(KChannelDistance));
  CLapDelta delta;
  ASSERT_TRUE(delta.SetReference(reference));
  delta.StartLap(lap.Start()->iSample);
  int32_t inside = 0;
  for (int32_t k = 0; k < channel.Count(); ++k) {
    const int32_t sample = gps->First() + k;
    if (sample < lap.Start()->iSampleIndex || sample >= lap.Finish()->iSampleIndex) {
      EXPECT_TRUE(IsInvalidReal(channel.Value(k))) << k;
      continue;
    }
    ++inside;
    const TDeltaReading& r = delta.AddSample(timed.iPlots.At(sample));
    EXPECT_DOUBLE_EQ(channel.Value(k), r.iDelta / 1000.0) << k;
    EXPECT_NEAR(distance.Value(k), r.iDistance, 0.01) << k;
  }
  EXPECT_GT(inside, 300);
  // The last point of the lap is close to the lap time difference.
  const int32_t last = lap.Finish()->iSampleIndex - 1 - gps->First();
  EXPECT_NEAR(channel.Value(last), (lap.LapTime().Milliseconds() - reference.LapTime().Milliseconds()) / 1000.0, 0.15);

  // Not on the comparison side; gone when no longer visible; none without a comparison.
  for (int32_t i = 0; i < generator->ListCount(); ++i) {
    if (generator->List(i).IsComparison()) {
      EXPECT_LT(generator->List(i).FindChannel(KChannelLapDelta, 2), 0);
    }
  }
  generator->BuildLists(*Visible({KChannelGpsSpeed}));
  EXPECT_LT(PrimaryGps(*generator, timed.iPlots)->FindChannel(KChannelLapDelta, 2), 0);

  std::unique_ptr<CGraphGenerator> alone(CGraphGenerator::NewL(nullptr));
  ASSERT_TRUE(alone->SetLapStretch(CGraphGenerator::EPrimary, lap, nullptr, nullptr, nullptr));
  alone->BuildLists(*Visible({KChannelGpsSpeed, KChannelLapDelta}));
  EXPECT_LT(PrimaryGps(*alone, timed.iPlots)->FindChannel(KChannelLapDelta, 2), 0);
}
