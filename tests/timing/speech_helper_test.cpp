// The spoken lap time: the tokens of finished laps as the track session produces them, and the
// time-to-token rules at their edges (rounding into the next unit, hours, below a second).
#include "timing/speech_helper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "session_rig.h"

using namespace pwtest;

namespace {

std::string Spoken(int32_t aMs, int32_t aDecimals, bool aPlus = false) {
  CPwString text;
  PwTime(aMs).FormatSpoken(text, aDecimals, aPlus);
  return PwToUtf8(text);
}

TEST(SpeechTokens, RoundingAndUnitBoundaries) {
  EXPECT_EQ("1;minute;23;point;5;seconds", Spoken(83456, 1));
  // Rounded to exactly a minute: the whole seconds are spoken as 0.
  EXPECT_EQ("1;minute;0;point;0;seconds", Spoken(59960, 1));
  EXPECT_EQ("0;point;9;seconds", Spoken(949, 1));
  EXPECT_EQ("1;point;0;seconds", Spoken(999, 1));
  EXPECT_EQ("1;hour;0;point;0;seconds", Spoken(3600000, 1));
  EXPECT_EQ("2;hours;1;minute;5;point;0;seconds", Spoken(2 * 3600000 + 65000, 1));
  EXPECT_EQ("1;second", Spoken(1000, 0));
  EXPECT_EQ("2;seconds", Spoken(2000, 0));
  EXPECT_EQ("minus;1;point;5;seconds", Spoken(-1500, 1));
  EXPECT_EQ("plus;0;point;0;seconds", Spoken(0, 1, true));
}

class SpeechHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto line = CircleDrive::Trap(ETrapStartFinish, "Start/Finish", 0.0);
    iModel.AddTrack("Ring", {line.get()});
    iSession.reset(CTrackSession::NewL(iModel));
    iSession->NewSession(*Chosen(ESessionLapTiming, "Ring"), iModel.iRoot);
    ASSERT_EQ(1, iSession->StartTiming());
    ASSERT_EQ(1, iSession->StartRecording());
  }
  TestModel iModel;
  std::unique_ptr<CTrackSession> iSession;
};

TEST_F(SpeechHelperTest, AnnouncesTheNewestFinishedLapOnce) {
  CSpeechHelper& speech = iSession->Announcer();
  // Without a lap there is nothing to say.
  speech.AnnounceLapFinished();
  EXPECT_FALSE(speech.HasText());

  CircleDrive drive(-0.05);
  drive.To(-0.01, 2.52).To(0.0, 0.63).Sector(0.0, 1.0, 83.456).Sector(1.0, 2.0, 61.2).To(2.01, 0.63).To(2.1, 6.0);
  Feed(*iSession, iModel, drive.Nmea());
  ASSERT_EQ(2u, iModel.iAnnouncements.size());
  EXPECT_EQ("1;minute;23;point;5;seconds", iModel.iAnnouncements[0]);
  EXPECT_EQ("1;minute;1;point;2;seconds", iModel.iAnnouncements[1]);
  EXPECT_FALSE(speech.HasText());

  // The line that finished lap 2 started lap 3, which has no time yet: nothing to say.
  ASSERT_EQ(3, iSession->Laps().LapCount());
  speech.AnnounceLapFinished();
  EXPECT_FALSE(speech.HasText());
}

TEST_F(SpeechHelperTest, HourLongLapStartsWithTheHour) {
  CircleDrive drive(-0.001);
  drive.To(0.0, 3.6).To(1.0, 3725.0).To(1.001, 3.7);
  Feed(*iSession, iModel, drive.Nmea(0.0, -1.0, 1000));
  ASSERT_EQ(1u, iModel.iAnnouncements.size());
  EXPECT_EQ("1;hour;2;minutes;5;point;0;seconds", iModel.iAnnouncements[0]);
}

}  // namespace
