// Recording paused and resumed in the same session, with the receiver's connection kept
// open, just before a split line: the resumed trace segment refuses the split that bridges
// the pause, live and in the laps rebuilt when the session is reopened.
#include "timing/track_session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "session_rig.h"

using namespace pwtest;

namespace {

constexpr int32_t KKeySplit1 = 1;
constexpr double KBrokenSplit = 1.0 + 1.0 / 3.0;  // the first split of the second lap

// Three laps of the ring at 20 s a sector.
CircleDrive ThreeLaps() {
  CircleDrive drive(-0.05);
  drive.To(-0.01, 2.52).To(0.0, 0.63);
  for (int lap = 0; lap < 3; ++lap)
    for (int s = 0; s < 3; ++s) drive.Sector(lap + s / 3.0, lap + (s + 1) / 3.0, 20.0);
  drive.To(3.01, 0.63).To(3.1, 6.0);
  return drive;
}

// Every lap's start, crossings and lap time, and the best and optimal laps.
std::vector<int64_t> LapFingerprint(CTrackSession& aSession) {
  std::vector<int64_t> f;
  CLapList& laps = aSession.Laps();
  for (int32_t i = 0; i < laps.LapCount(); ++i) {
    const CLap* lap = laps.Lap(i);
    f.push_back(lap->Start()->iSample.iTime);
    for (int32_t c = 0; c < lap->CrossingCount(); ++c) {
      f.push_back(lap->Crossing(c)->iKey);
      f.push_back(lap->Crossing(c)->iSample.iTime);
    }
    f.push_back(lap->IsFinished() ? lap->LapTime().Milliseconds() : -1);
  }
  f.push_back(laps.BestLapIndex());
  f.push_back(laps.OptimalLap() ? laps.OptimalLap()->LapTime().Milliseconds() : -1);
  return f;
}

// The crossing across the pause is detected, starts a new trace segment and is refused;
// every other split counts.
void ExpectBridgingSplitRefused(CTrackSession& aSession, double aLineMs) {
  const TIntersection* bridging = nullptr;
  for (int32_t i = 0; i < aSession.Crossings().Count(); ++i) {
    const TIntersection& x = aSession.Crossings().At(i);
    if (x.iTrapIndex == KKeySplit1 && std::fabs(x.iSample.iTime - aLineMs) < 3000.0) bridging = &x;
  }
  ASSERT_NE(nullptr, bridging);
  EXPECT_LE(bridging->iInterval, CLapList::KSplitIntervalLimit);
  EXPECT_TRUE(aSession.PlotList().PositionList().At(bridging->iSampleIndex).IsDiscontinuity());
  CLapList& laps = aSession.Laps();
  ASSERT_EQ(4, laps.LapCount());
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(laps.Lap(i)->IsFinished()) << i;
    EXPECT_EQ(i != 1, laps.Lap(i)->FindCrossing(KKeySplit1) != nullptr) << i;
  }
}

}  // namespace

TEST(ResumeMarks, PauseJustBeforeASplitGivesTheSameLapsLiveAndAfterReopening) {
  TestModel model;
  const auto finish = CircleDrive::Trap(ETrapStartFinish, "Start/Finish", 0.0);
  const auto split1 = CircleDrive::Trap(ETrapSplit, "Split 1", 1.0 / 3.0);
  const auto split2 = CircleDrive::Trap(ETrapSplit, "Split 2", 2.0 / 3.0);
  model.AddTrack("Ring", {finish.get(), split1.get(), split2.get()});
  const CircleDrive drive = ThreeLaps();
  const double line = drive.TimeAt(KBrokenSplit);

  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  session->NewSession(*Chosen(ESessionLapTiming, "Ring"), model.iRoot);
  ASSERT_EQ(1, session->StartTiming());
  ASSERT_EQ(1, session->StartRecording());
  // One connection throughout: the parser sees no break. Paused 0.3 s before the line and
  // resumed 0.2 s after it, the receiver talking all the while.
  Feeder feed(*session, model);
  feed(drive.Nmea(0.0, line - 0.3));
  session->StopRecording();
  feed(drive.Nmea(line - 0.25, line + 0.15));
  ASSERT_EQ(1, session->StartRecording());
  feed(drive.Nmea(line + 0.2));
  ExpectBridgingSplitRefused(*session, drive.SessionMs(KBrokenSplit));
  const std::vector<int64_t> live = LapFingerprint(*session);
  const int32_t samples = session->SampleCount();

  ASSERT_EQ(KErrNone, session->CloseSession());
  CSessionInfo record;
  record.SetIdentifier(session->Info().Identifier());
  record.SetStorageRoot(session->Info().StorageRoot());
  std::unique_ptr<CTrackSession> reopened(CTrackSession::NewL(model));
  ASSERT_EQ(1, reopened->OpenStoredSession(record));
  reopened->LoadSamplesL();
  ASSERT_EQ(samples, reopened->SampleCount());
  ExpectBridgingSplitRefused(*reopened, drive.SessionMs(KBrokenSplit));
  EXPECT_EQ(live, LapFingerprint(*reopened));
}
