// The track session fed the way the program feeds it: NMEA text of a drive whose every moment
// is known goes through the NMEA parser into the session, which stores, times and announces.
// Lap, split and run times are checked against the moments the car really passed each line,
// and what live timing produced against what the stored files give back.
#include "timing/track_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "session_rig.h"
#include "storage/plot_list_loader.h"
#include "timing/performance_test.h"

using namespace pwtest;

namespace {

// Traps of the ring: index 0 the start/finish line, 1 and 2 the split lines.
constexpr int32_t KKeyFinish = 0;
constexpr int32_t KKeySplit1 = 1;
constexpr int32_t KKeySplit2 = 2;
// Crossing moments are interpolated from rounded coordinates: a few ms either way.
constexpr double KTolerance = 5.0;

// Sector durations (s) of the five laps; lap 4 is the best, lap 2 the best before it, and the
// optimal lap takes sector 1 from lap 4, sector 2 from lap 3 and sector 3 from lap 2.
const double KSectors[5][3] = {
    {21.0, 20.0, 22.0}, {20.5, 21.0, 21.0}, {25.0, 19.5, 21.0}, {20.2, 20.4, 21.2}, {20.4, 20.0, 21.6}};

// Starts just before the line, drives the five laps and a fifth of a sixth.
CircleDrive FiveLaps() {
  CircleDrive drive(-0.05);
  drive.To(-0.01, 2.52).To(0.0, 0.63);
  for (int lap = 0; lap < 5; ++lap)
    for (int s = 0; s < 3; ++s) drive.Sector(lap + s / 3.0, lap + (s + 1) / 3.0, KSectors[lap][s]);
  drive.To(5.01, 0.63).To(5.2, 0.19 * 3 * 21.0);
  return drive;
}

// The same drive going on to finish a sixth lap and start a seventh.
CircleDrive SixLaps() {
  CircleDrive drive = FiveLaps();
  drive.To(5.99, 0.79 * 3 * 21.0).To(6.0, 0.63).To(6.2, 0.2 * 3 * 21.0);
  return drive;
}

class TrackSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto finish = CircleDrive::Trap(ETrapStartFinish, "Start/Finish", 0.0);
    const auto split1 = CircleDrive::Trap(ETrapSplit, "Split 1", 1.0 / 3.0);
    const auto split2 = CircleDrive::Trap(ETrapSplit, "Split 2", 2.0 / 3.0);
    iModel.AddTrack("Ring", {finish.get(), split1.get(), split2.get()});
    iModel.AddTrack("Ring line", {finish.get()});
    iModel.AddTrack("Locked ring", {finish.get()}, true);
    const auto start = CircleDrive::Trap(ETrapStart, "Start", 0.0);
    const auto middle = CircleDrive::Trap(ETrapSplit, "Middle", 0.25);
    const auto end = CircleDrive::Trap(ETrapFinish, "Finish", 0.5);
    iModel.AddTrack("Stage", {start.get(), middle.get(), end.get()});
  }

  // A new recording session of that type, track and test.
  std::unique_ptr<CTrackSession> Recording(int32_t aType, const std::string& aTrack, const std::string& aTest = "",
                                           int32_t aSaveNmea = 0) {
    std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
    session->NewSession(*Chosen(aType, aTrack, aTest, aSaveNmea), iModel.iRoot);
    EXPECT_EQ(1, session->StartTiming());
    EXPECT_EQ(1, session->StartRecording());
    return session;
  }

  std::unique_ptr<CTrackSession> Reopened(CTrackSession& aSession) { return iModel.Reopened(aSession); }

  TestModel iModel;
};

double Ms(PwTime aTime) { return aTime.IsSet() ? aTime.Milliseconds() : NAN; }

// Every lap's crossings as (key, time) pairs, the best laps and the optimal lap: what two
// sessions must agree on when they hold the same samples.
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
  f.push_back(laps.PreviousBestIndex());
  f.push_back(laps.OptimalLap() ? laps.OptimalLap()->LapTime().Milliseconds() : -1);
  return f;
}

TEST_F(TrackSessionTest, SamplesWhileNotRecordingAreNeitherStoredNorTimed) {
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
  session->NewSession(*Chosen(ESessionLapTiming, "Ring", "", 1), iModel.iRoot);
  ASSERT_EQ(1, session->StartTiming());
  const std::string text = FiveLaps().Nmea();
  Feed(*session, iModel, text.substr(0, text.size() / 2));
  EXPECT_EQ(0, session->SampleCount());
  EXPECT_EQ(0, session->Laps().LapCount());
  EXPECT_EQ(0, session->Crossings().Count());
  EXPECT_TRUE(iModel.iAnnouncements.empty());
  // Nothing reached the files either, and a paused session stays paused after a resume/pause.
  ASSERT_EQ(1, session->StartRecording());
  session->StopRecording();
  Feed(*session, iModel, text.substr(text.size() / 2));
  EXPECT_EQ(0, session->SampleCount());
  EXPECT_EQ(16, ReadFileBytes(PwToUtf8(session->PlotList().Path())).size());
  EXPECT_EQ("", ReadFileBytes(PwToUtf8(session->NmeaPath())));
}

TEST_F(TrackSessionTest, ReplayedDriveGivesLapsSplitsSectorsBestAndOptimal) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  const CircleDrive drive = FiveLaps();
  Feed(*session, iModel, drive.Nmea());

  CLapList& laps = session->Laps();
  ASSERT_EQ(6, laps.LapCount());
  EXPECT_EQ(5, laps.DisplayLapCount());
  EXPECT_FALSE(laps.Lap(5)->IsFinished());
  EXPECT_EQ(0, laps.Lap(5)->SplitCount());
  for (int32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const CLap* lap = laps.Lap(i);
    ASSERT_TRUE(lap->IsFinished());
    const double start = drive.SessionMs(i), split1 = drive.SessionMs(i + 1.0 / 3.0),
                 split2 = drive.SessionMs(i + 2.0 / 3.0), finish = drive.SessionMs(i + 1.0);
    EXPECT_NEAR(start, lap->Start()->iSample.iTime, KTolerance);
    ASSERT_EQ(2, lap->SplitCount());
    EXPECT_EQ(KKeySplit1, lap->Split(0)->iKey);
    EXPECT_EQ(KKeySplit2, lap->Split(1)->iKey);
    EXPECT_NEAR(finish - start, Ms(lap->LapTime()), KTolerance);
    EXPECT_NEAR(split1 - start, Ms(lap->SplitTime(KKeySplit1)), KTolerance);
    EXPECT_NEAR(split2 - start, Ms(lap->SplitTime(KKeySplit2)), KTolerance);
    EXPECT_NEAR(split2 - split1, Ms(lap->SectorTime(KKeySplit1, KKeySplit2)), KTolerance);
    EXPECT_NEAR(finish - split2, Ms(lap->SectorTime(KKeySplit2, KKeyFinish)), KTolerance);
  }
  EXPECT_EQ(3, laps.BestLapIndex());
  EXPECT_EQ(1, laps.PreviousBestIndex());
  ASSERT_NE(nullptr, laps.OptimalLap());
  EXPECT_NEAR(20200 + 19500 + 21000, Ms(laps.OptimalLap()->LapTime()), 3 * KTolerance);

  // One announcement per finished lap, handed over and then cleared.
  ASSERT_EQ(5u, iModel.iAnnouncements.size());
  EXPECT_EQ("1;minute;3;point;0;seconds", iModel.iAnnouncements[0]);
  EXPECT_EQ("1;minute;1;point;8;seconds", iModel.iAnnouncements[3]);
  EXPECT_FALSE(session->Announcer().HasText());
  EXPECT_TRUE(session->HasResults());
}

TEST_F(TrackSessionTest, ThreeLineCrossingsGiveTwoFinishedLapsAndOneRunning) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring line");
  CircleDrive drive(-0.05);
  drive.To(0.0, 3.0).To(1.0, 60.0).To(2.0, 58.0).To(2.3, 18.0);
  Feed(*session, iModel, drive.Nmea());
  ASSERT_EQ(3, session->Laps().LapCount());
  EXPECT_TRUE(session->Laps().Lap(0)->IsFinished());
  EXPECT_TRUE(session->Laps().Lap(1)->IsFinished());
  EXPECT_FALSE(session->Laps().Lap(2)->IsFinished());
  EXPECT_NEAR(58000, Ms(session->Laps().Lap(1)->LapTime()), KTolerance);
  EXPECT_EQ(3, session->Crossings().Count());
}

TEST_F(TrackSessionTest, StageWithSeparateStartAndFinishLines) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Stage");
  CircleDrive drive(-0.05);
  drive.To(0.0, 3.0).To(0.5, 30.0).To(1.0, 40.0).To(1.5, 27.0).To(1.6, 5.0);
  Feed(*session, iModel, drive.Nmea());
  CLapList& laps = session->Laps();
  ASSERT_EQ(2, laps.LapCount());
  for (int32_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(laps.Lap(i)->IsFinished());
    EXPECT_EQ(2, laps.Lap(i)->Finish()->iKey);
    ASSERT_EQ(1, laps.Lap(i)->SplitCount());
    EXPECT_NEAR(drive.SessionMs(i + 0.25) - drive.SessionMs(i), Ms(laps.Lap(i)->SplitTime(1)), KTolerance);
  }
  EXPECT_NEAR(30000, Ms(laps.Lap(0)->LapTime()), KTolerance);
  EXPECT_NEAR(27000, Ms(laps.Lap(1)->LapTime()), KTolerance);
  EXPECT_EQ(1, laps.BestLapIndex());
}

// Two standing starts: 0-100 kph at 4 and then 5 m/s^2.
StraightDrive TwoRuns() {
  StraightDrive drive;
  drive.Phase(3, 0).Phase(8, 4.0).Phase(4, -8.0).Phase(5, 0).Phase(7, 5.0).Phase(5, -7.0).Phase(3, 0);
  return drive;
}

TEST_F(TrackSessionTest, PerformanceRunsThroughTheSession) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionPerformance, "", "0-100 kph");
  const int32_t test = iModel.iTests->IndexOfName(u"0-100 kph");
  EXPECT_EQ(test, session->CurrentTest());
  Feed(*session, iModel, TwoRuns().Nmea());
  const CRunList& runs = session->Runs();
  ASSERT_GE(runs.Count(), 2);
  const CPerformance* first = CRunList::Performance(runs.Run(0), test, true);
  const CPerformance* second = CRunList::Performance(runs.Run(1), test, true);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  EXPECT_NEAR(100 / 3.6 / 4.0 * 1000, Ms(first->ResultTime()), 30);
  EXPECT_NEAR(100 / 3.6 / 5.0 * 1000, Ms(second->ResultTime()), 30);
  EXPECT_EQ(1, runs.BestRunIndex(test));
  EXPECT_TRUE(session->HasResults());
  EXPECT_EQ(0, session->Laps().LapCount());
  EXPECT_TRUE(iModel.iAnnouncements.empty());

  // The same runs come back from the files, and the summary says so.
  std::unique_ptr<CTrackSession> reopened = Reopened(*session);
  EXPECT_EQ(test, reopened->CurrentTest());
  ASSERT_EQ(runs.Count(), reopened->Runs().Count());
  for (int32_t r = 0; r < runs.Count(); ++r) {
    const CPerformance* a = CRunList::Performance(runs.Run(r), test, true);
    const CPerformance* b = CRunList::Performance(reopened->Runs().Run(r), test, true);
    ASSERT_EQ(a == nullptr, b == nullptr) << r;
    if (a) {
      EXPECT_EQ(a->ResultTime(), b->ResultTime()) << r;
    }
  }
  EXPECT_EQ(second->ResultTime(), reopened->Info().BestRunTime());
  EXPECT_EQ(1, reopened->Info().BestRunIndex());
}

TEST_F(TrackSessionTest, StoredSessionReopensWithTheLapsLiveTimingGave) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  Feed(*session, iModel, FiveLaps().Nmea());
  const std::vector<int64_t> live = LapFingerprint(*session);
  const int32_t samples = session->SampleCount();
  const PwTime best = session->Laps().BestLap()->LapTime();

  std::unique_ptr<CTrackSession> reopened = Reopened(*session);
  EXPECT_EQ(samples, reopened->SampleCount());
  EXPECT_EQ(live, LapFingerprint(*reopened));
  // The summary was written when the live session closed.
  EXPECT_EQ(5, reopened->Info().LapCount());
  EXPECT_EQ(best, reopened->Info().BestLapTime());
  EXPECT_EQ(3, reopened->Info().BestLapIndex());
  EXPECT_EQ(session->Laps().OptimalLap()->LapTime(), reopened->Info().OptimalLapTime());
  EXPECT_EQ(ESessionLapTiming, reopened->SessionType());
  EXPECT_TRUE(reopened->HasTraps());

  // Resuming appends to the same files: the laps go on where they stopped, and a second
  // reopening gives those too.
  EXPECT_EQ(EResumeAllowed, reopened->CheckResume(true));
  ASSERT_EQ(1, reopened->StartRecording());
  Feed(*reopened, iModel, SixLaps().Nmea(FiveLaps().End() + 0.05));
  EXPECT_EQ(6, reopened->Laps().DisplayLapCount());
  const std::vector<int64_t> resumed = LapFingerprint(*reopened);
  std::unique_ptr<CTrackSession> again = Reopened(*reopened);
  EXPECT_EQ(resumed, LapFingerprint(*again));
  EXPECT_EQ(6, again->Info().LapCount());
}

TEST_F(TrackSessionTest, ChangingTheTrackNameReloadsAndRebuilds) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  Feed(*session, iModel, FiveLaps().Nmea());
  ASSERT_EQ(6, session->Laps().LapCount());
  const CLap* firstLap = session->Laps().Lap(0);

  // Only the title: nothing is rebuilt.
  std::unique_ptr<CSessionInfo> edited = Chosen(ESessionLapTiming, "Ring");
  edited->SetTitle(u"Renamed");
  session->ApplySessionSettings(*edited);
  EXPECT_EQ(firstLap, session->Laps().Lap(0));
  EXPECT_EQ(u"Renamed", session->Info().Title().View());
  EXPECT_EQ(16, session->Crossings().Count());

  // Another track: its traps time the same samples.
  edited->SetTrackName(u"Ring line");
  session->ApplySessionSettings(*edited);
  EXPECT_EQ(u"Ring line", session->Track().Name().View());
  EXPECT_EQ(1, session->Track().TrapCount());
  EXPECT_EQ(6, session->Crossings().Count());
  ASSERT_EQ(6, session->Laps().LapCount());
  EXPECT_EQ(0, session->Laps().Lap(0)->SplitCount());
  EXPECT_EQ(3, session->Laps().BestLapIndex());

  // A track that does not exist leaves the session without one.
  edited->SetTrackName(u"Nowhere");
  session->ApplySessionSettings(*edited);
  EXPECT_FALSE(session->Track().HasTraps());
  EXPECT_EQ(0, session->Laps().LapCount());
  EXPECT_EQ(0, session->Crossings().Count());
}

TEST_F(TrackSessionTest, SwitchingToDataLoggingClearsLapsAndCrossings) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  Feed(*session, iModel, FiveLaps().Nmea());
  ASSERT_GT(session->Crossings().Count(), 0);
  session->ApplySessionSettings(*Chosen(ESessionDataLogging, "Ring"));
  EXPECT_TRUE(session->IsDataLogging());
  EXPECT_EQ(0, session->Laps().LapCount());
  EXPECT_EQ(0, session->Crossings().Count());
  EXPECT_FALSE(session->HasTraps());
  EXPECT_FALSE(session->HasResults());
  // Samples keep arriving and are kept, but time nothing; trap edits do not apply.
  const int32_t before = session->SampleCount();
  Feed(*session, iModel, SixLaps().Nmea(FiveLaps().End() + 0.05));
  EXPECT_GT(session->SampleCount(), before);
  EXPECT_EQ(0, session->Laps().LapCount());
  EXPECT_EQ(0, session->AddTrap(*CircleDrive::Trap(ETrapSplit, "x", 0.5)));
  EXPECT_EQ(0, session->CompareToOptimal());
  EXPECT_TRUE(iModel.iAnnouncements.size() == 5u);

  // And back to lap timing: the track is loaded again and every stored sample is timed.
  session->ApplySessionSettings(*Chosen(ESessionLapTiming, "Ring"));
  EXPECT_EQ(6, session->Laps().DisplayLapCount());
}

TEST_F(TrackSessionTest, TrapAtTheLivePositionNeedsRecordingSamplesUnlockedTrackAndBearing) {
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
  session->NewSession(*Chosen(ESessionLapTiming, "Ring line"), iModel.iRoot);
  ASSERT_EQ(1, session->StartTiming());
  const CircleDrive drive = FiveLaps();
  Feeder feed(*session, iModel);

  // Not recording.
  feed(drive.Nmea(0.0, 1.0));
  ASSERT_EQ(CSlowBearing::EFromGps, iModel.iBearing->State());
  EXPECT_EQ(0, session->AddTrapAtLivePosition(ETrapSplit, u"Split"));
  // Recording, but a single sample.
  ASSERT_EQ(1, session->StartRecording());
  feed(drive.Nmea(1.05, 1.1));
  ASSERT_EQ(1, session->SampleCount());
  EXPECT_EQ(0, session->AddTrapAtLivePosition(ETrapSplit, u"Split"));
  // Two samples, but no bearing estimate.
  feed(drive.Nmea(1.15, 1.2));
  ASSERT_EQ(2, session->SampleCount());
  iModel.iBearing->Reset();
  EXPECT_EQ(0, session->AddTrapAtLivePosition(ETrapSplit, u"Split"));
  // With a bearing it is placed across the newest sample.
  feed(drive.Nmea(1.25, 2.0));
  ASSERT_EQ(1, session->AddTrapAtLivePosition(ETrapSplit, u"Split"));
  ASSERT_EQ(2, session->Track().TrapCount());
  const CTrapLine* trap = session->TrapAt(1);
  ASSERT_NE(nullptr, trap);
  const TPositionPlot& last = session->PlotList().PositionList().Last();
  EXPECT_EQ(last.iLatitude, trap->Centre().iLatitude.iValue);
  EXPECT_EQ(last.iLongitude, trap->Centre().iLongitude.iValue);
  EXPECT_NEAR(50.0, trap->Width().Metres(), 1e-9);
  EXPECT_EQ(1, trap->Unidirectional());
  EXPECT_EQ(ETrapSplit, trap->Type());
  TAngle bearing;
  ASSERT_EQ(1, iModel.iBearing->Bearing(bearing));
  EXPECT_DOUBLE_EQ(bearing.iValue, trap->Bearing().iValue);
  // The new trap times the rest of the drive.
  feed(drive.Nmea(2.05, drive.TimeAt(1.1)));
  ASSERT_GE(session->Laps().LapCount(), 1);
  EXPECT_EQ(1, session->Laps().Lap(0)->SplitCount());

  // A locked track takes no trap.
  session->ApplySessionSettings(*Chosen(ESessionLapTiming, "Locked ring"));
  ASSERT_TRUE(session->Track().IsLocked());
  EXPECT_EQ(0, session->AddTrapAtLivePosition(ETrapSplit, u"Split"));
  EXPECT_EQ(1, session->Track().TrapCount());
}

TEST_F(TrackSessionTest, TrapEditsAtASelectedSampleRecompute) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring line");
  const CircleDrive drive = FiveLaps();
  Feed(*session, iModel, drive.Nmea());
  session->StopRecording();
  ASSERT_EQ(0, session->Laps().Lap(0)->SplitCount());
  // The sample nearest the middle of lap 2: a split there shows up in every lap.
  const int32_t index = static_cast<int32_t>((drive.TimeAt(1.5)) * 10);
  ASSERT_EQ(1, session->AddTrapAtSample(index, ETrapSplit, u"Half"));
  EXPECT_EQ(1, session->Laps().Lap(0)->SplitCount());
  EXPECT_NEAR(drive.SessionMs(0.5) - drive.SessionMs(0.0), Ms(session->Laps().Lap(0)->SplitTime(1)), 110);
  EXPECT_EQ(0, session->AddTrapAtSample(session->SampleCount(), ETrapSplit, u"Out"));
  // Removing the current trap (the new one) takes the splits away again.
  ASSERT_EQ(1, session->RemoveCurrentTrap());
  EXPECT_EQ(0, session->Laps().Lap(0)->SplitCount());
  // Replacing the line by a finish-only line leaves no lap start.
  const auto finishOnly = CircleDrive::Trap(ETrapFinish, "Finish", 0.0);
  session->Track().Traps()->SetCurrent(0);
  ASSERT_EQ(1, session->ReplaceCurrentTrap(*finishOnly));
  EXPECT_EQ(0, session->Laps().LapCount());
  EXPECT_EQ(0, session->ReplaceCurrentTrap(*finishOnly));
}

TEST_F(TrackSessionTest, RawNmeaFileHoldsTheLinesUnchanged) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring", "", 1);
  CircleDrive drive(0.0);
  drive.To(0.2, 15.0);
  // Odd lines the parser does not decode belong in the log as well.
  const std::string text = drive.Nmea(0.0, 5.0) + "$PWOBDD,ATZ\r\n" + Framed("GPGSV,1,1,00") + drive.Nmea(5.05, 10.0);
  Feed(*session, iModel, text);
  session->StopRecording();
  EXPECT_EQ(text, ReadFileBytes(PwToUtf8(session->NmeaPath())));
  // Resuming appends.
  ASSERT_EQ(1, session->StartRecording());
  const std::string more = drive.Nmea(10.05, 12.0);
  Feed(*session, iModel, more);
  session->StopRecording();
  EXPECT_EQ(text + more, ReadFileBytes(PwToUtf8(session->NmeaPath())));
}

TEST_F(TrackSessionTest, ObdPollingPlanFollowsTheChannelSupport) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  CObdChannelList& channels = *iModel.iObd;
  iModel.iSettings->HighPriorityChannels().Reset();
  iModel.iSettings->LowPriorityChannels().Reset();
  iModel.iSettings->HighPriorityChannels().Add(KChannelObdRpm);
  iModel.iSettings->LowPriorityChannels().Add(KChannelObdCoolantTemperature);
  iModel.iPlan = {{99, 9}};
  session->ObdSentenceDone();  // nothing changed yet
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{99, 9}}), iModel.iPlan);

  // PIDs 0x04-0x07, 0x0B-0x0F, 0x11, 0x13-0x15, 0x1C supported; 0x20 still to ask.
  const uint8_t bitmap[] = {0x41, 0x00, 0xBE, 0x3E, 0xB8, 0x11};
  uint32_t raw = 0;
  channels.Decode(bitmap, sizeof bitmap, 0x00, raw);
  ASSERT_TRUE(channels.RebuildFlag());
  session->ObdSentenceDone();
  const uint8_t rpm = channels.ChannelById(24)->Pid();
  const uint8_t coolant = channels.ChannelById(26)->Pid();
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{0x20, 2}, {coolant, 1}, {rpm, 2}}), iModel.iPlan);
  EXPECT_FALSE(channels.RebuildFlag());

  // A performance session measuring OBD speed polls the speed alone.
  session->ApplySessionSettings(*Chosen(ESessionPerformance, "", "0-100 kph"));
  std::unique_ptr<CSessionInfo> obd = Chosen(ESessionPerformance, "", "0-100 kph");
  obd->SetUseObdSpeed(1);
  session->ApplySessionSettings(*obd);
  channels.Decode(bitmap, sizeof bitmap, 0x00, raw);
  channels.Decode(bitmap, sizeof bitmap, 0x00, raw);  // unchanged: no rebuild asked
  EXPECT_FALSE(channels.RebuildFlag());
  const uint8_t none[] = {0x41, 0x00, 0x00, 0x00, 0x00, 0x00};
  channels.Decode(none, sizeof none, 0x00, raw);
  ASSERT_TRUE(channels.RebuildFlag());
  session->ObdSentenceDone();
  EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{channels.ChannelById(23)->Pid(), 2}}), iModel.iPlan);
}

TEST_F(TrackSessionTest, ObdAndLoggerValuesAreStoredOnlyWhileRecording) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionDataLogging, "");
  CircleDrive drive(0.0);
  drive.To(0.1, 10.0);
  Feed(*session, iModel, drive.Nmea(0.0, 1.0));
  TChannelValueList values;
  values.Append(20003, 512.0);
  session->ChannelsParsed(PwTime(KDriveStart + 1500), values);
  session->ObdValueParsed(PwTime(KDriveStart + 1600), 0x0C, 0x1AF8);
  EXPECT_TRUE(session->PlotList().ObdList().HasData());
  EXPECT_EQ(1, session->PlotList().LoggerList().Count());
  session->StopRecording();
  session->ChannelsParsed(PwTime(KDriveStart + 2500), values);
  EXPECT_EQ(1, session->PlotList().LoggerList().Count());
  EXPECT_EQ(KErrNone, session->UpdateSummary());
  EXPECT_EQ(1, session->Info().ObdFlag());
}

TEST_F(TrackSessionTest, ComparisonSessionLinksItsLaps) {
  std::unique_ptr<CTrackSession> first = Recording(ESessionLapTiming, "Ring");
  Feed(*first, iModel, FiveLaps().Nmea());
  ASSERT_EQ(KErrNone, first->CloseSession());

  std::unique_ptr<CTrackSession> second = Recording(ESessionLapTiming, "Ring");
  CircleDrive drive(-0.05);
  drive.To(0.0, 3.0).To(1.0, 70.0).To(2.0, 66.0).To(2.1, 6.0);
  Feed(*second, iModel, drive.Nmea());
  ASSERT_EQ(1, second->LoadComparisonSession(first->Info()));
  // The worker engine runs the loader; then the session takes the result.
  CPlotListLoader* loader = second->ComparisonSession()->SamplesLoader();
  ASSERT_NE(nullptr, loader);
  while (loader->Step()) {
  }
  second->FinishComparisonLoading();
  ASSERT_NE(nullptr, second->ComparisonSession());
  EXPECT_EQ(&second->ComparisonSession()->Laps(), second->Laps().ComparisonList());
  EXPECT_EQ(6, second->ComparisonSession()->Laps().LapCount());
  // The comparison is the other session's best lap.
  const CLap* compared = second->Laps().ComparisonLap();
  ASSERT_NE(nullptr, compared);
  EXPECT_EQ(second->ComparisonSession()->Laps().BestLap(), compared);

  // Any comparison choice of this session first drops the other one.
  EXPECT_EQ(1, second->CompareToOptimal());
  EXPECT_EQ(nullptr, second->ComparisonSession());
  EXPECT_EQ(nullptr, second->Laps().ComparisonList());
  EXPECT_EQ(CLapList::KCompareOptimal, second->Laps().ComparisonSelection());
  second->Laps().SetViewedIndex(1);
  EXPECT_EQ(1, second->CompareToThisLap());
  EXPECT_EQ(1, second->Laps().ComparisonSelection());
  EXPECT_EQ(1, second->CompareToBest());
  EXPECT_EQ(CLapList::KCompareBest, second->Laps().ComparisonSelection());

  // A record whose file does not exist gives no comparison.
  CSessionInfo missing;
  missing.SetIdentifier(u"19990101-0000");
  missing.SetStorageRoot(iModel.iRoot);
  EXPECT_EQ(0, second->LoadComparisonSession(missing));
  EXPECT_EQ(nullptr, second->ComparisonSession());
}

// Stands in for the session importer: stores what a parser reports in the session's sample
// file only, as an import does.
class FileOnlyImporter : public CPwBase, public MParsedDataObserver {
 public:
  explicit FileOnlyImporter(CTrackSession& aSession) : iSession(aSession) {}
  ~FileOnlyImporter() override { ++iDestroyed; }
  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime, TDistance aAltitude,
                         TSpeed aSpeed, double aBearingDegrees, double aHdop, double aVdop, int32_t aSatellites,
                         int32_t aDifferential, int32_t aDiscontinuity, PwTime aDate, PwTime aDateTime) override {
    return iSession.PlotList().AddPosition(aLatitude, aLongitude, aTime.Milliseconds(), aAltitude, aSpeed,
                                           aBearingDegrees, aHdop, aVdop, aSatellites, aDifferential, aDiscontinuity,
                                           aDate.Milliseconds(), aDateTime.Milliseconds(), 1);
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}

  static int iDestroyed;

 private:
  CTrackSession& iSession;
};
int FileOnlyImporter::iDestroyed = 0;

TEST_F(TrackSessionTest, EndingAnImportTimesWhatWasWrittenToTheFile) {
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
  session->NewSession(*Chosen(ESessionLapTiming, "Ring"), iModel.iRoot);
  ASSERT_EQ(1, session->StartTiming());
  FileOnlyImporter* importer = new FileOnlyImporter(*session);
  session->StartImport(importer);
  EXPECT_EQ(importer, session->Importer());
  session->PlotList().OpenForAppend();
  const std::string text = FiveLaps().Nmea();
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
  parser->Parse(CPwByteArrayC(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size())),
                importer, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(0, session->SampleCount());  // written, not kept

  const int destroyed = FileOnlyImporter::iDestroyed;
  session->EndImport();
  EXPECT_EQ(destroyed + 1, FileOnlyImporter::iDestroyed);
  EXPECT_EQ(nullptr, session->Importer());
  EXPECT_GT(session->SampleCount(), 0);
  EXPECT_EQ(5, session->Laps().DisplayLapCount());
  EXPECT_EQ(3, session->Laps().BestLapIndex());
  EXPECT_EQ(KErrNone, session->CloseSession());
  EXPECT_EQ(5, session->Info().LapCount());

  // A session destroyed during an import takes the importer with it.
  std::unique_ptr<CTrackSession> other(CTrackSession::NewL(iModel));
  other->StartImport(new FileOnlyImporter(*other));
  other.reset();
  EXPECT_EQ(destroyed + 2, FileOnlyImporter::iDestroyed);
}

}  // namespace
