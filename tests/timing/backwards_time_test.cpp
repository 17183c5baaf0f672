// Time jumping backwards between two crossings of one lap (a damaged or foreign file): the
// crossings after the jump that are not later than the lap's last one must not time the lap or
// any sector, so nothing with a time of zero or less ranks best or enters the optimal lap; the
// live lap list and one rebuilt from the stored samples agree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "storage/position_plot_list.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/trap_line.h"

namespace {

constexpr int32_t KLat = 288000000;  // 48 N
constexpr int32_t KLon = 66000000;   // 11 E
constexpr int32_t KStartFinish = 0;
constexpr int32_t KSplit1 = 100000;
constexpr int32_t KSplit2 = 200000;
constexpr int32_t KStraddle = 100;

class TCountingAnnouncer : public MLapAnnouncer {
 public:
  void AnnounceLapFinished() override { ++iCount; }
  int32_t iCount = 0;
};

// Northwards through the start/finish line and two splits on one meridian, back south on a
// road to the east that no trap reaches. A pass at aTime puts the crossing at aTime + 500.
class TCircuit {
 public:
  TCircuit() {
    AddTrap(ETrapStartFinish, KStartFinish);
    AddTrap(ETrapSplit, KSplit1);
    AddTrap(ETrapSplit, KSplit2);
    iLaps.reset(CLapList::NewL(&iPlots, nullptr, nullptr));
  }
  void MoveTo(int32_t aTime, int32_t aNorth, int32_t aEast) {
    iDistance += std::abs(aNorth - iNorth) + std::abs(aEast - iEast);
    iNorth = aNorth;
    iEast = aEast;
    TPositionPlot p;
    p.iTime = aTime;
    p.iLatitude = KLat + aNorth;
    p.iLongitude = KLon + aEast;
    p.iDistance = iDistance;
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(20.0));
    p.iFlags = 9;
    iPlots.AppendStored(p);
    iCrossings.TestNewest(iPlots, &iTraps);
    iLaps->ProcessCrossings(iTraps, iCrossings, &iAnnouncer);
  }
  void Pass(int32_t aTrapNorth, int32_t aTime) {
    MoveTo(aTime, aTrapNorth - KStraddle, 0);
    MoveTo(aTime + 1000, aTrapNorth + KStraddle, 0);
  }
  void Return(int32_t aTime) {
    MoveTo(aTime, KSplit2 + 50000, 0);
    MoveTo(aTime + 1000, KSplit2 + 50000, 10000);
    MoveTo(aTime + 2000, -50000, 10000);
    MoveTo(aTime + 3000, -50000, 0);
  }
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
  TCountingAnnouncer iAnnouncer;

 private:
  void AddTrap(int32_t aType, int32_t aNorth) {
    CTrapLine trap;
    trap.Set(aType, u"trap", TCoordinate(KLat + aNorth), TCoordinate(KLon), TAngle(0.0), TDistance::FromMetres(40.0), 1);
    iTraps.Add(trap);
  }
  int32_t iNorth = -50000;
  int32_t iEast = 0;
  int32_t iDistance = 0;
};

int32_t Ms(PwTime aTime) { return aTime.IsSet() ? aTime.Milliseconds() : -999999; }

// Every crossing of every lap (and of the optimal lap) comes after the one before it.
void ExpectTimesRise(CLapList& aLaps) {
  for (int32_t i = 0; i < aLaps.LapCount(); ++i) {
    const CLap* lap = aLaps.Lap(i);
    if (lap->IsFinished()) {
      EXPECT_GT(Ms(lap->LapTime()), 0) << "lap " << i;
    }
    for (int32_t c = 0; c < lap->CrossingCount(); ++c) {
      const TLapSector* x = lap->Crossing(c);
      ASSERT_NE(x->iPrevious, nullptr);
      EXPECT_GT(x->iSample.iTime, x->iPrevious->iSample.iTime) << "lap " << i << " crossing " << c;
      EXPECT_GT(Ms(lap->SplitTime(x->iKey)), 0) << "lap " << i << " key " << x->iKey;
    }
  }
  if (const CLap* optimal = aLaps.OptimalLap()) {
    EXPECT_GT(Ms(optimal->LapTime()), 0);
  }
}

void ExpectSameLaps(CLapList& aLive, CLapList& aRebuilt) {
  ASSERT_EQ(aLive.LapCount(), aRebuilt.LapCount());
  for (int32_t i = 0; i < aLive.LapCount(); ++i) {
    const CLap* a = aLive.Lap(i);
    const CLap* b = aRebuilt.Lap(i);
    EXPECT_EQ(a->IsFinished(), b->IsFinished()) << i;
    EXPECT_EQ(Ms(a->LapTime()), Ms(b->LapTime())) << i;
    ASSERT_EQ(a->CrossingCount(), b->CrossingCount()) << i;
    for (int32_t c = 0; c < a->CrossingCount(); ++c) {
      EXPECT_EQ(a->Crossing(c)->iKey, b->Crossing(c)->iKey) << i << "/" << c;
      EXPECT_EQ(a->Crossing(c)->iSample.iTime, b->Crossing(c)->iSample.iTime) << i << "/" << c;
    }
  }
  EXPECT_EQ(aLive.BestLapIndex(), aRebuilt.BestLapIndex());
  ASSERT_EQ(aLive.OptimalLap() != nullptr, aRebuilt.OptimalLap() != nullptr);
  if (aLive.OptimalLap()) {
    EXPECT_EQ(Ms(aLive.OptimalLap()->LapTime()), Ms(aRebuilt.OptimalLap()->LapTime()));
  }
}

TEST(BackwardsTime, CrossingsNotLaterThanTheLapsLastOneDoNotTimeIt) {
  TCircuit c;
  // Lap 0: 61 s, splits at 20 s and 40 s.
  c.Pass(KStartFinish, 10000);
  c.Pass(KSplit1, 30000);
  c.Pass(KSplit2, 50000);
  c.Return(52000);
  c.Pass(KStartFinish, 71000);
  ASSERT_EQ(c.iLaps->LapCount(), 2);
  ASSERT_EQ(Ms(c.iLaps->Lap(0)->LapTime()), 61000);
  const int32_t sector1 = Ms(c.iLaps->OptimalLap()->SplitTime(1));

  // Lap 1 starts at 71.5 s; then the clock falls back 30 s. The splits at "49.5 s" and
  // "57.5 s" and the finish at "67.5 s" all lie before the start: none of them applies. The
  // finish line also starts laps, so the lap is started again there.
  c.Pass(KSplit1, 71000 + 8000 - 30000);
  c.Pass(KSplit2, 71000 + 16000 - 30000);
  c.Return(71000 + 18000 - 30000);
  c.Pass(KStartFinish, 71000 + 26000 - 30000);
  ASSERT_EQ(c.iLaps->LapCount(), 2);
  EXPECT_FALSE(c.iLaps->Lap(1)->IsFinished());
  EXPECT_EQ(c.iLaps->Lap(1)->SplitCount(), 0);
  EXPECT_EQ(c.iLaps->Lap(1)->Start()->iSample.iTime, 67500);
  EXPECT_EQ(c.iAnnouncer.iCount, 1);

  // Time runs on from there: lap 1 is a proper 62 s lap and lap 0 stays best.
  c.Pass(KSplit1, 88000);
  c.Pass(KSplit2, 108000);
  c.Return(110000);
  c.Pass(KStartFinish, 129000);
  ASSERT_EQ(c.iLaps->LapCount(), 3);
  EXPECT_EQ(Ms(c.iLaps->Lap(1)->LapTime()), 62000);
  EXPECT_EQ(c.iLaps->Lap(1)->SplitCount(), 2);
  EXPECT_EQ(c.iLaps->BestLapIndex(), 0);
  ASSERT_NE(c.iLaps->OptimalLap(), nullptr);
  EXPECT_EQ(Ms(c.iLaps->OptimalLap()->SplitTime(1)), sector1);
  EXPECT_GE(Ms(c.iLaps->OptimalLap()->LapTime()), 60000);
  ExpectTimesRise(*c.iLaps);

  std::unique_ptr<CLapList> rebuilt = c.Rebuilt();
  ExpectTimesRise(*rebuilt);
  ExpectSameLaps(*c.iLaps, *rebuilt);
}

TEST(BackwardsTime, AFinishAtTheSameMomentAsTheStartIsNoLap) {
  // Two crossings of the start/finish line at the same time (a repeated stretch of a file):
  // the second one starts the lap again instead of finishing it in 0 ms.
  TCircuit c;
  const auto backSouth = [&c](int32_t aTime) {  // short of the splits
    c.MoveTo(aTime, KStraddle, 10000);
    c.MoveTo(aTime + 1000, -50000, 10000);
    c.MoveTo(aTime + 2000, -50000, 0);
  };
  c.Pass(KStartFinish, 10000);
  backSouth(12000);
  c.Pass(KStartFinish, 10000);
  ASSERT_EQ(c.iLaps->LapCount(), 1);
  EXPECT_FALSE(c.iLaps->Lap(0)->IsFinished());
  EXPECT_EQ(c.iLaps->BestLapIndex(), -1);
  backSouth(12000);
  c.Pass(KStartFinish, 40000);
  ASSERT_EQ(c.iLaps->LapCount(), 2);
  EXPECT_EQ(Ms(c.iLaps->Lap(0)->LapTime()), 30000);
  std::unique_ptr<CLapList> rebuilt = c.Rebuilt();
  ExpectSameLaps(*c.iLaps, *rebuilt);
}

}  // namespace
