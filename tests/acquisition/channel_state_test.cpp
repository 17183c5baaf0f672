#include "acquisition/channel_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

TEST(ChannelStateTest, ValuesAndUpdateRates) {
  std::unique_ptr<CChannelState> cs(CChannelState::NewL());
  EXPECT_FALSE(cs->Has(KChannelGpsSpeed));
  EXPECT_TRUE(std::isnan(cs->Value(KChannelGpsSpeed)));
  EXPECT_FALSE(cs->Time(KChannelGpsSpeed).IsSet());
  cs->ClearValue(KChannelGpsSpeed);  // no item: nothing happens
  EXPECT_FALSE(cs->Has(KChannelGpsSpeed));
  cs->SetValue(KChannelGpsSpeed, 12.5);
  EXPECT_EQ(cs->Value(KChannelGpsSpeed), 12.5);
  EXPECT_FALSE(cs->Time(KChannelGpsSpeed).IsSet());
  cs->ClearValue(KChannelGpsSpeed);
  EXPECT_TRUE(std::isnan(cs->Value(KChannelGpsSpeed)));

  cs->SetTime(KChannelGpsTime, PwTime(1000));
  EXPECT_TRUE(std::isnan(cs->UpdateRate(KChannelGpsTime)));
  cs->SetTime(KChannelGpsTime, PwTime(1200));
  EXPECT_DOUBLE_EQ(cs->UpdateRate(KChannelGpsTime), 5.0);
  cs->SetTime(KChannelGpsTime, PwTime(1200));  // the same time again changes nothing
  EXPECT_DOUBLE_EQ(cs->UpdateRate(KChannelGpsTime), 5.0);
  cs->SetTime(KChannelGpsTime, PwTime(900));  // backwards: no rate until the next update
  EXPECT_TRUE(std::isnan(cs->UpdateRate(KChannelGpsTime)));
  cs->SetTime(KChannelGpsTime, PwTime(1000));
  EXPECT_DOUBLE_EQ(cs->UpdateRate(KChannelGpsTime), 10.0);
  cs->SetTime(KChannelGpsTime, PwTime::Unset());
  EXPECT_TRUE(std::isnan(cs->UpdateRate(KChannelGpsTime)));

  cs->Reset();
  EXPECT_EQ(cs->ItemCount(), 0);
  EXPECT_EQ(cs->FixState(), CChannelState::ENoFix);
}

TEST(ChannelStateTest, SatelliteListsAreCutToTwelve) {
  std::unique_ptr<CChannelState> cs(CChannelState::NewL());
  TSatelliteInView table[14];
  int32_t used[14];
  for (int i = 0; i < 14; ++i) {
    table[i].iNumber = i + 1;
    used[i] = i + 1;
  }
  cs->SetSatellitesInView(table, 14);
  cs->SetUsedSatellites(used, 14);
  EXPECT_EQ(cs->SatellitesInViewCount(), 12);
  EXPECT_EQ(cs->SatelliteInView(11).iNumber, 12);
  EXPECT_EQ(cs->UsedSatelliteCount(), 12);
  cs->SetUsedSatellites(used, -3);
  EXPECT_EQ(cs->UsedSatelliteCount(), 0);
}

TEST(ChannelStateTest, QuantityClasses) {
  EXPECT_EQ(ChannelQuantityClass(KChannelGpsSpeed), EQuantitySpeed);
  EXPECT_EQ(ChannelQuantityClass(KChannelObdSpeed), EQuantitySpeed);
  EXPECT_EQ(ChannelQuantityClass(KChannelLoggerLateralG), EQuantityAcceleration);
  EXPECT_EQ(ChannelQuantityClass(KChannelObdOxygen1Bank1), EQuantityVoltage);
  EXPECT_EQ(ChannelQuantityClass(8), EQuantityNone);  // no channel has the number 8
  EXPECT_EQ(QuantityDecimals(EQuantityVoltage), 2);
  EXPECT_EQ(QuantityDecimals(EQuantitySpeed), 0);
  EXPECT_DOUBLE_EQ(QuantityFactor(EQuantitySpeed, false), 3.6);
  EXPECT_DOUBLE_EQ(QuantityFactor(EQuantitySpeed, true), 2.23693629);
  EXPECT_DOUBLE_EQ(QuantityFactor(EQuantityShortDistance, true), 3.2808399);
  EXPECT_DOUBLE_EQ(QuantityFactor(EQuantityDistance, false), 0.001);
}

uint32_t gTick = 0;
uint32_t TestTick() { return gTick; }

TEST(GpsClockTest, FollowsGpsTimeForwardsOnly) {
  gTick = 0xFFFFF000u;  // the tick counter wraps while the clock runs
  TGpsClock clock(&TestTick);
  EXPECT_FALSE(clock.CurrentTime().IsSet());
  clock.Synchronise(PwTime::Unset());
  EXPECT_FALSE(clock.IsSynchronised());
  clock.Synchronise(PwTime(36000000));
  gTick += 0x2000;
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 36000000 + 0x2000);
  // Five minutes behind the clock: kept. Fifteen minutes behind: followed.
  clock.Synchronise(PwTime(36000000 + 0x2000 - 300000));
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 36000000 + 0x2000);
  clock.Synchronise(PwTime(36000000 + 0x2000 - 900000));
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 36000000 + 0x2000 - 900000);
  // Ahead of the clock: followed at once.
  clock.Synchronise(PwTime(40000000));
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 40000000);
  clock.Reset();
  EXPECT_FALSE(clock.CurrentTime().IsSet());
}

TEST(GpsClockTest, RunsAcrossMidnight) {
  gTick = 1000;
  TGpsClock clock(&TestTick);
  clock.Synchronise(PwTime(86399000));
  gTick += 2500;
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 1500);
  // A fix just after midnight is a little behind the clock: no jump.
  clock.Synchronise(PwTime(1200));
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 1500);
  clock.Synchronise(PwTime(1600));
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), 1600);
}

TEST(GpsClockTest, IsSafeAcrossThreads) {
  TGpsClock clock;
  std::atomic<bool> stop{false};
  std::atomic<int32_t> reads{0};
  // The writer keeps going until the reader has really read alongside it: on a busy machine
  // the reader may only get the processor after a fixed number of writes are long done.
  std::thread writer([&] {
    for (int i = 0; i < 20000 || reads.load() < 1000; ++i) clock.Synchronise(PwTime((i % 20000) * 10));
    stop = true;
  });
  while (!stop) {
    const PwTime t = clock.CurrentTime();
    if (t.IsSet()) {
      EXPECT_LT(t.Milliseconds(), 86400000);
    }
    ++reads;
  }
  writer.join();
  EXPECT_GE(reads.load(), 1000);
}

TEST(SlowBearingTest, TurnsOnlyAfterThreeSecondsOfSlowMovement) {
  std::unique_ptr<CSlowBearing> slow(CSlowBearing::NewL());
  TAngle bearing;
  EXPECT_EQ(slow->Bearing(bearing), 0);
  const TPosition start(TGeoPoint(TCoordinate::FromDegrees(48), TCoordinate::FromDegrees(11)));
  const TSpeed walking = TSpeed::FromMetresPerSecond(3);
  // Moving east at 3 m/s, while the GPS course says north.
  auto at = [&](int seconds) { return start.Destination(TAngle::FromDegrees(90), TDistance::FromMetres(3.0 * seconds)); };
  slow->Update(at(0), walking, PwTime(0), TAngle(0));
  EXPECT_EQ(slow->Bearing(bearing), 0);
  slow->Update(at(1), walking, PwTime(1000), TAngle(0));
  slow->Update(at(2), walking, PwTime(2000), TAngle(0));
  EXPECT_EQ(slow->Bearing(bearing), 0);
  slow->Update(at(3), walking, PwTime(3000), TAngle(0));
  ASSERT_EQ(slow->Bearing(bearing), 1);
  EXPECT_EQ(slow->State(), CSlowBearing::EComputed);
  EXPECT_NEAR(bearing.Degrees(), 90, 0.01);
  // Fast: the GPS course. Standing: the last bearing is kept.
  slow->Update(at(10), TSpeed::FromMetresPerSecond(10), PwTime(4000), TAngle::FromDegrees(45));
  slow->Bearing(bearing);
  EXPECT_NEAR(bearing.Degrees(), 45, 1e-9);
  slow->Update(at(10), TSpeed::FromMetresPerSecond(0.2), PwTime(5000), TAngle::FromDegrees(200));
  slow->Bearing(bearing);
  EXPECT_EQ(slow->State(), CSlowBearing::ESlow);
  EXPECT_NEAR(bearing.Degrees(), 45, 1e-9);
  slow->Reset();
  EXPECT_EQ(slow->Bearing(bearing), 0);
}

}  // namespace
