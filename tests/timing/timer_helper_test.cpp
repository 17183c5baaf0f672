// The live timer's readout at chosen moments of a drive whose crossings are known: which
// result is offered, for how long it counts as recent, what it is compared with, and which
// status wins when several things are wrong at once.
#include "timing/timer_helper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "session_rig.h"
#include "strings/pw_strings.h"

using namespace pwtest;

namespace {

constexpr double KTolerance = 5.0;
// Lead-in from phase -0.05 to the line.
constexpr double KLeadIn = 3.15;

double Ms(PwTime aTime) { return aTime.IsSet() ? aTime.Milliseconds() : NAN; }

class TimerHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto finish = CircleDrive::Trap(ETrapStartFinish, "Start/Finish", 0.0);
    const auto split1 = CircleDrive::Trap(ETrapSplit, "Split 1", 1.0 / 3.0);
    const auto split2 = CircleDrive::Trap(ETrapSplit, "Split 2", 2.0 / 3.0);
    const auto start = CircleDrive::Trap(ETrapStart, "Start", 0.0);
    iModel.AddTrack("Ring", {finish.get(), split1.get(), split2.get()});
    iModel.AddTrack("Empty", {});
    iModel.AddTrack("Splits only", {split1.get()});
    iModel.AddTrack("Start only", {start.get()});
    // Lap 1: 63 s with a split after 21 s; lap 2: 66 s with a split after 25 s; lap 3 begins.
    iDrive.To(-0.01, KLeadIn - 0.63).To(0.0, 0.63);
    iDrive.Sector(0.0, 1 / 3.0, 21).Sector(1 / 3.0, 2 / 3.0, 20).Sector(2 / 3.0, 1.0, 22);
    iDrive.Sector(1.0, 4 / 3.0, 25).Sector(4 / 3.0, 5 / 3.0, 20).Sector(5 / 3.0, 2.0, 21);
    iDrive.To(2.01, 0.63).To(2.3, 20.0);
  }

  std::unique_ptr<CTrackSession> Recording(int32_t aType, const std::string& aTrack, const std::string& aTest = "") {
    std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
    session->NewSession(*Chosen(aType, aTrack, aTest), iModel.iRoot);
    session->StartTiming();
    EXPECT_EQ(1, session->StartRecording());
    iFeeder.reset(new Feeder(*session, iModel));
    iFed = -1.0;
    return session;
  }
  // Feeds the drive up to aSeconds after the first line crossing and updates the readout.
  CTimerHelper& At(CTrackSession& aSession, double aSeconds) {
    const double to = KLeadIn + aSeconds;
    (*iFeeder)(iDrive.Nmea(iFed + 0.05, to));
    iFed = to;
    aSession.Timer().Update();
    return aSession.Timer();
  }

  TestModel iModel;
  CircleDrive iDrive{-0.05};
  std::unique_ptr<Feeder> iFeeder;
  double iFed = -1.0;
};

TEST_F(TimerHelperTest, LapPartFollowsSplitsFinishesAndTheirFreshness) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");

  // Before the line: no lap, nothing to show.
  CTimerHelper& timer = At(*session, -1.0);
  EXPECT_TRUE(timer.Idle());
  EXPECT_FALSE(timer.RunningTime().IsSet());
  EXPECT_EQ(0, timer.LastNumber());

  // Running in lap 1 before its split.
  At(*session, 5.0);
  EXPECT_FALSE(timer.Idle());
  EXPECT_FALSE(timer.ShowLast());
  EXPECT_EQ(1, timer.RunningNumber());
  EXPECT_NEAR(5000, Ms(timer.RunningTime()), 100);
  EXPECT_TRUE(timer.Recent());
  EXPECT_EQ(0, timer.LastNumber());

  // 9 s after the split: its time is shown; nothing to compare with yet.
  At(*session, 30.0);
  EXPECT_TRUE(timer.ShowLast());
  EXPECT_TRUE(timer.Recent());
  EXPECT_EQ(1, timer.LastNumber());
  EXPECT_NEAR(21000, Ms(timer.LastTime()), KTolerance);
  EXPECT_EQ(u"Split 1", timer.Text().View());
  EXPECT_FALSE(timer.Difference().IsSet());
  EXPECT_EQ(1, timer.RunningNumber());
  // 12 s after it the running time is back.
  At(*session, 33.0);
  EXPECT_FALSE(timer.ShowLast());
  EXPECT_FALSE(timer.Recent());

  // Lap 1 finished 5 s ago.
  At(*session, 68.0);
  EXPECT_TRUE(timer.ShowLast());
  EXPECT_TRUE(timer.Recent());
  EXPECT_EQ(1, timer.LastNumber());
  EXPECT_NEAR(63000, Ms(timer.LastTime()), KTolerance);
  EXPECT_EQ(u"Start/Finish", timer.Text().View());
  EXPECT_EQ(1, timer.ShownNumber());
  EXPECT_EQ(0, timer.PreviousNumber());
  EXPECT_FALSE(timer.Difference().IsSet());  // the best lap has no lap before it to beat
  EXPECT_EQ(2, timer.RunningNumber());
  EXPECT_NEAR(5000, Ms(timer.RunningTime()), 100);
  EXPECT_EQ(1, timer.ComparisonNumber());
  EXPECT_NEAR(63000, Ms(timer.ComparisonTime()), KTolerance);
  // 19 s after the finish it is still recent, 21 s after it is not.
  At(*session, 63.0 + 19.0);
  EXPECT_TRUE(timer.Recent());
  EXPECT_TRUE(timer.ShowLast());
  At(*session, 63.0 + 21.0);
  EXPECT_FALSE(timer.Recent());
  EXPECT_FALSE(timer.ShowLast());
  EXPECT_EQ(1, timer.LastNumber());

  // The split of lap 2, 4 s slower than lap 1 there.
  At(*session, 63.0 + 28.0);
  EXPECT_TRUE(timer.ShowLast());
  EXPECT_EQ(2, timer.LastNumber());
  EXPECT_NEAR(25000, Ms(timer.LastTime()), KTolerance);
  EXPECT_NEAR(4000, Ms(timer.Difference()), 2 * KTolerance);
  EXPECT_EQ(1, timer.PreviousNumber());
  EXPECT_NEAR(63000, Ms(timer.PreviousTime()), KTolerance);

  // Lap 2 finished, 3 s slower than the best.
  At(*session, 129.0 + 2.0);
  EXPECT_EQ(2, timer.LastNumber());
  EXPECT_NEAR(66000, Ms(timer.LastTime()), KTolerance);
  EXPECT_NEAR(3000, Ms(timer.Difference()), 2 * KTolerance);
  EXPECT_EQ(1, timer.PreviousNumber());
  EXPECT_EQ(3, timer.RunningNumber());
  EXPECT_EQ(1, timer.ComparisonNumber());

  // Compared with the optimal lap: the comparison line has no lap number.
  session->CompareToOptimal();
  session->Timer().Update();
  EXPECT_EQ(0, timer.ComparisonNumber());
  EXPECT_NEAR(62000, Ms(timer.ComparisonTime()), 3 * KTolerance);
  EXPECT_NEAR(66000 - 62000, Ms(timer.Difference()), 4 * KTolerance);
}

TEST_F(TimerHelperTest, EmphasisFollowsTheBacklightSetting) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  CTimerHelper& timer = At(*session, 5.0);
  ASSERT_TRUE(timer.Recent());
  for (int32_t mode : {0, 1, 2}) {
    iModel.iSettings->SetTimerBacklight(mode);
    timer.Update();
    EXPECT_EQ(mode != 0, timer.Emphasis()) << mode;
  }
  At(*session, 15.0);
  ASSERT_FALSE(timer.Recent());
  iModel.iSettings->SetTimerBacklight(1);
  timer.Update();
  EXPECT_FALSE(timer.Emphasis());
  iModel.iSettings->SetTimerBacklight(2);
  timer.Update();
  EXPECT_TRUE(timer.Emphasis());
}

TEST_F(TimerHelperTest, StatusCodesInTheirOrder) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  CTimerHelper& timer = session->Timer();
  iModel.iMemoryFull = iModel.iNoGps = iModel.iNoObd = iModel.iNoLogger = iModel.iNoFix = iModel.iLowStorage = true;
  const int32_t expected[] = {CTimerHelper::EStatusMemoryFull, CTimerHelper::EStatusNoGps, CTimerHelper::EStatusNoObd,
                              CTimerHelper::EStatusNoLogger,   CTimerHelper::EStatusNoFix, CTimerHelper::EStatusLowStorage};
  bool* order[] = {&iModel.iMemoryFull, &iModel.iNoGps, &iModel.iNoObd, &iModel.iNoLogger, &iModel.iNoFix,
                   &iModel.iLowStorage};
  for (int i = 0; i < 6; ++i) {
    timer.Update();
    EXPECT_EQ(expected[i], timer.Status()) << i;
    *order[i] = false;
  }
  timer.Update();
  EXPECT_EQ(CTimerHelper::EStatusNone, timer.Status());

  // A paused session says so whatever else is wrong.
  iModel.iMemoryFull = true;
  session->StopRecording();
  timer.Update();
  EXPECT_EQ(CTimerHelper::EStatusPaused, timer.Status());
  iModel.iMemoryFull = false;

  // The track's lines: missing start, then missing finish; a track without traps never
  // complains about either.
  ASSERT_EQ(1, session->StartRecording());
  const struct {
    const char* iTrack;
    int32_t iStatus;
  } tracks[] = {{"Splits only", CTimerHelper::EStatusNoStart},
                {"Start only", CTimerHelper::EStatusNoFinish},
                {"Empty", CTimerHelper::EStatusNone},
                {"Nowhere", CTimerHelper::EStatusNone},
                {"Ring", CTimerHelper::EStatusNone}};
  for (const auto& t : tracks) {
    session->ApplySessionSettings(*Chosen(ESessionLapTiming, t.iTrack));
    timer.Update();
    EXPECT_EQ(t.iStatus, timer.Status()) << t.iTrack;
  }
  iModel.iLowStorage = true;
  session->ApplySessionSettings(*Chosen(ESessionLapTiming, "Splits only"));
  timer.Update();
  EXPECT_EQ(CTimerHelper::EStatusLowStorage, timer.Status());

  // Every code has its message; 0 has none.
  CPwString text;
  text.LoadFromResource(CTimerHelper::StatusMessage(CTimerHelper::EStatusNoStart));
  EXPECT_EQ(u"Start line not defined", text.View());
  text.LoadFromResource(CTimerHelper::StatusMessage(CTimerHelper::EStatusPaused));
  EXPECT_EQ(u"Paused", text.View());
  EXPECT_EQ(0, CTimerHelper::StatusMessage(CTimerHelper::EStatusNone));
  for (int32_t code = 1; code <= 9; ++code) EXPECT_NE(0, CTimerHelper::StatusMessage(code)) << code;
}

TEST_F(TimerHelperTest, RunPartOffersTheLastRunAgainstTheBest) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionPerformance, "", "0-100 kph");
  StraightDrive drive;
  drive.Phase(3, 0).Phase(8, 4.0).Phase(4, -8.0).Phase(5, 0).Phase(7, 5.0).Phase(5, -7.0).Phase(3, 0);
  Feeder feed(*session, iModel);
  CTimerHelper& timer = session->Timer();
  // Three seconds into the first run (the same samples as the start of the whole drive).
  StraightDrive first;
  first.Phase(3, 0).Phase(3, 4.0);
  feed(first.Nmea());
  timer.Update();
  EXPECT_EQ(1, timer.RunningNumber());
  EXPECT_NEAR(3000, Ms(timer.RunningTime()), 150);
  EXPECT_TRUE(timer.Recent());
  EXPECT_FALSE(timer.ShowLast());
  EXPECT_EQ(0, timer.LastNumber());
  EXPECT_EQ(u"", timer.Text().View());

  // The rest of the drive: the second run was the faster.
  feed(drive.Nmea().substr(first.Nmea().size()));
  timer.Update();
  EXPECT_TRUE(timer.ShowLast());
  EXPECT_EQ(2, timer.LastNumber());
  EXPECT_NEAR(100 / 3.6 / 5.0 * 1000, Ms(timer.LastTime()), 30);
  EXPECT_EQ(1, timer.PreviousNumber());
  EXPECT_NEAR(100 / 3.6 / 4.0 * 1000, Ms(timer.PreviousTime()), 30);
  EXPECT_NEAR((100 / 3.6 / 5.0 - 100 / 3.6 / 4.0) * 1000, Ms(timer.Difference()), 60);
  EXPECT_EQ(u"0-100 kph", timer.Text().View());
  EXPECT_EQ(2, timer.ComparisonNumber());
  EXPECT_EQ(timer.LastTime(), timer.ComparisonTime());
  EXPECT_FALSE(timer.RunningTime().IsSet());
}

}  // namespace

TEST_F(TimerHelperTest, ReceiverHealthWarnsAfterEverythingElse) {
  std::unique_ptr<CTrackSession> session = Recording(ESessionLapTiming, "Ring");
  CTimerHelper& timer = session->Timer();
  auto epochs = [&](double aFrom, double aTo, int32_t aStepMs, const char* aHdop) {
    std::string text;
    for (int64_t ms = static_cast<int64_t>(aFrom * 1000); ms < aTo * 1000; ms += aStepMs) {
      double lat, lon, v, course;
      iDrive.At(ms / 1000.0, lat, lon, v, course);
      text += NmeaEpoch(KDriveStart + ms, lat, lon, v, course, aHdop);
    }
    (*iFeeder)(text);
    timer.Update();
  };
  CPwString text;
  // 10 Hz for 20 s, then 4 Hz: not below half the usual rate until it has lasted 5 s.
  epochs(0.0, 20.0, 100, "0.9");
  EXPECT_EQ(CTimerHelper::EStatusNone, timer.Status());
  epochs(20.0, 24.0, 250, "0.9");
  EXPECT_EQ(CTimerHelper::EStatusNone, timer.Status());
  epochs(24.0, 26.5, 250, "0.9");
  EXPECT_EQ(CTimerHelper::EStatusLowRate, timer.Status());
  timer.StatusText(text);
  EXPECT_EQ(u"GPS at 4 Hz", text.View());
  // Every other status comes first.
  iModel.iLowStorage = true;
  timer.Update();
  EXPECT_EQ(CTimerHelper::EStatusLowStorage, timer.Status());
  iModel.iLowStorage = false;
  // Back to 10 Hz the warning goes at once; an HDOP above 3 needs 5 s of it.
  epochs(26.5, 30.0, 100, "3.4");
  EXPECT_EQ(CTimerHelper::EStatusNone, timer.Status());
  epochs(30.0, 31.6, 100, "3.4");
  EXPECT_EQ(CTimerHelper::EStatusWeakGps, timer.Status());
  timer.StatusText(text);
  EXPECT_EQ(u"Weak GPS (HDOP 3.4)", text.View());
  epochs(31.6, 32.0, 100, "2.9");
  EXPECT_EQ(CTimerHelper::EStatusNone, timer.Status());
  // Paused, the health says nothing.
  epochs(32.0, 40.0, 100, "5.0");
  session->StopRecording();
  timer.Update();
  EXPECT_EQ(CTimerHelper::EStatusPaused, timer.Status());
}
