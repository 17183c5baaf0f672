// The running difference of a recording session: fed sample by sample through the track
// session, with the reference following the comparison choice.
#include "timing/live_delta.h"

#include <gtest/gtest.h>

#include <memory>

#include "session_rig.h"
#include "timing/lap_delta.h"

using namespace pwtest;

namespace {

// Four laps round the ring (40 s, 37 s, 39 s, 38 s) with the start/finish line at the north
// point.
CircleDrive FourLaps() {
  CircleDrive drive(-0.03);
  drive.To(0.0, 1.2).Sector(0, 1, 40).Sector(1, 2, 37).Sector(2, 3, 39).Sector(3, 4, 38).To(4.03, 1.2);
  return drive;
}

struct LiveSession {
  TestModel iModel;
  std::unique_ptr<CTrackSession> iSession;
  LiveSession() {
    const std::unique_ptr<CTrapLine> line = CircleDrive::Trap(ETrapStartFinish, "Line", 0.0);
    const std::unique_ptr<CTrapLine> split = CircleDrive::Trap(ETrapSplit, "Half", 0.5);
    iModel.AddTrack("Ring", {line.get(), split.get()});
    iSession.reset(CTrackSession::NewL(iModel));
    iSession->NewSession(*Chosen(ESessionLapTiming, "Ring"), iModel.iRoot);
    EXPECT_EQ(1, iSession->StartTiming());
    EXPECT_EQ(1, iSession->StartRecording());
  }
};

}  // namespace

// While recording, the running lap is compared with the best lap so far; a new best takes
// over when the next lap starts; each finished lap's final difference is its lap time
// difference; and the live values are those a replay of the stored lap gives.
TEST(LiveDelta, FollowsTheBestLapWhileRecording) {
  LiveSession live;
  CTrackSession& session = *live.iSession;
  const CircleDrive drive = FourLaps();
  Feeder feed(session, live.iModel);

  feed(drive.Nmea(0.0, drive.TimeAt(0.75)));
  EXPECT_FALSE(session.Delta().HasReference()) << "no lap finished yet";
  EXPECT_FALSE(session.Delta().Current().iValid);
  feed(drive.Nmea(drive.TimeAt(0.75) + 0.05, drive.TimeAt(1.25)));

  // Lap 2 against lap 1, a quarter in and three quarters in: the pace is 3/40 faster.
  feed(drive.Nmea(drive.TimeAt(1.25) + 0.05, drive.TimeAt(1.75)));
  const CLapList& laps = session.Laps();
  ASSERT_EQ(session.Delta().LapIndex(), 1);
  EXPECT_EQ(session.Delta().ReferenceTime(), laps.Lap(0)->LapTime().Milliseconds());
  const TDeltaReading& running = session.Delta().Current();
  EXPECT_TRUE(running.iValid);
  EXPECT_FALSE(running.iStale);
  EXPECT_NEAR(running.iDelta, -0.75 * 3000, 60);
  EXPECT_EQ(running.iPredicted, laps.Lap(0)->LapTime().Milliseconds() + running.iDelta);

  // Lap 2 is the new best: lap 3 is compared with it, and lap 2's final difference is exact.
  feed(drive.Nmea(drive.TimeAt(1.75) + 0.05, drive.TimeAt(2.5)));
  ASSERT_EQ(session.Delta().LapIndex(), 2);
  EXPECT_EQ(session.Delta().ReferenceTime(), laps.Lap(1)->LapTime().Milliseconds());
  EXPECT_EQ(session.Delta().LastFinished().iDelta,
            laps.Lap(1)->LapTime().Milliseconds() - laps.Lap(0)->LapTime().Milliseconds());
  EXPECT_NEAR(session.Delta().Current().iDelta, 1000, 60) << "half a lap at 2/37 slower, exact at the split";

  // Choosing lap 1 mid-lap replays lap 3 against it.
  session.Laps().SetViewedIndex(0);
  session.CompareToThisLap();
  feed(drive.Nmea(drive.TimeAt(2.5) + 0.05, drive.TimeAt(2.75)));
  EXPECT_EQ(session.Delta().ReferenceTime(), laps.Lap(0)->LapTime().Milliseconds());
  EXPECT_NEAR(session.Delta().Current().iDelta, -0.75 * 1000, 60);

  feed(drive.Nmea(drive.TimeAt(2.75) + 0.05));
  ASSERT_EQ(laps.DisplayLapCount(), 4);
  EXPECT_EQ(session.Delta().LastFinished().iDelta,
            laps.Lap(3)->LapTime().Milliseconds() - laps.Lap(0)->LapTime().Milliseconds());

  // The stored lap 3 replayed against lap 1 ends where the live value did at its split.
  CLapDelta replay;
  ASSERT_TRUE(replay.SetReference(*laps.Lap(0)));
  replay.RunLap(*laps.Lap(2), nullptr);
  EXPECT_EQ(replay.Current().iDelta, laps.Lap(2)->LapTime().Milliseconds() - laps.Lap(0)->LapTime().Milliseconds());

  // Rebuilding the laps (a trap edit, a reload) leaves nothing dangling: the next sample
  // starts over from the newest lap's start.
  session.Recompute();
  EXPECT_EQ(session.Delta().LapIndex(), -1);
}
