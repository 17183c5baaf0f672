// Where loaded trace segments begin: the samples file keeps only the satellite count of a
// position's flags, so the loader infers the discontinuity bit from the first sample, gaps
// in time and resumed recordings, and must not invent one at midnight.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "foundation/pw_time.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "support/test_support.h"

namespace {

std::string I32(int32_t aValue) {
  const uint32_t v = static_cast<uint32_t>(aValue);
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}
std::string Record(uint8_t aType, const std::string& aPayload) {
  return std::string{static_cast<char>(aPayload.size()), static_cast<char>(aType)} + aPayload;
}
std::string Header(int32_t aVersion) { return I32(aVersion) + I32(0) + I32(0) + I32(0); }
// A type-5 position; the satellites byte is written with the upper bits set as well, which a
// loader must not take for flags.
std::string Position(int32_t aTime, int32_t aLat, uint8_t aSatellites = 0xC7) {
  return Record(5, I32(aTime) + I32(aLat) + I32(600000) + I32(1000) + I32(2000) + I32(0) +
                       std::string("\x10\x27\x78\x00\xB4\x00", 6) + std::string(1, static_cast<char>(aSatellites)));
}
std::string Resume(int32_t aSessionTime, int32_t aDate, int32_t aUtc) {
  return Record(4, I32(aSessionTime) + I32(aDate) + I32(aUtc));
}

class DiscontinuityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    ASSERT_TRUE(EnsureFolders(iRoot));
    iChannels.reset(CObdChannelList::NewL());
    iList.reset(CPlotList::NewL(iChannels.get()));
  }
  void Write(const std::string& aBytes) {
    ASSERT_TRUE(pwtest::WriteFileBytes(iDir.Path() + "/Pacewright/Sessions/s-plots.bin", aBytes));
  }
  // Loads the samples file into aList and returns the indexes of the samples that begin a
  // trace segment.
  std::vector<int32_t> Load(CPlotList& aList) {
    CPlotListLoader* loader = aList.StartLoading(nullptr, u"s", iRoot);
    EXPECT_EQ(KErrNone, Trap([&] {
                while (loader->Step()) {
                }
              }));
    EXPECT_EQ(CPlotListLoader::EComplete, loader->State());
    aList.FinishLoading();
    std::vector<int32_t> marks;
    for (int32_t i = 0; i < aList.PositionList().Count(); ++i)
      if (aList.PositionList().At(i).IsDiscontinuity()) marks.push_back(i);
    return marks;
  }
  std::vector<int32_t> Load() { return Load(*iList); }
  // A recorded 10 Hz stretch of aCount samples from the time of day aFrom on the given date.
  static void Record10Hz(CPlotList& aList, int32_t aFrom, int32_t aCount, int32_t aDate, bool aDateFollows = true) {
    for (int32_t i = 0; i < aCount; ++i) {
      const int32_t t = (aFrom + i * 100) % PwTime::KDay;
      const int32_t date = aDateFollows && t < aFrom % PwTime::KDay ? aDate + 1 : aDate;
      ASSERT_EQ(1, aList.AddPosition(TCoordinate(3000000 + i * 40), TCoordinate(600000), t, TDistance::FromMetres(100),
                                     TSpeed::FromMetresPerSecond(20), 0.0, 0.9, 1.4, 9, 0, i == 0, date, t, 0));
    }
  }

  pwtest::TempDir iDir;
  CPwString iRoot;
  std::unique_ptr<CObdChannelList> iChannels;
  std::unique_ptr<CPlotList> iList;
};

const int32_t KDate = PwTime::FromDate(2024, 5, 8).Milliseconds();

}  // namespace

TEST_F(DiscontinuityTest, Version3FileMarksTheFirstSampleAndTheSampleAfterAGap) {
  std::string bytes = Header(3);
  for (int32_t i = 0; i < 20; ++i) bytes += Position(36000000 + i * 100, 3000000 + i * 40);
  for (int32_t i = 0; i < 10; ++i) bytes += Position(36006900 + i * 100, 3001000 + i * 40);  // after 5 s
  Write(bytes);
  EXPECT_EQ((std::vector<int32_t>{0, 20}), Load());
  const CPositionPlotList& p = iList->PositionList();
  ASSERT_EQ(30, p.Count());
  for (int32_t i = 0; i < p.Count(); ++i) {
    EXPECT_EQ(7, p.At(i).Satellites()) << i;
    EXPECT_FALSE(p.At(i).IsDifferential()) << i;
  }

  // The gap rule is the parser's: exactly 3 s continues the segment, a millisecond more does
  // not; what counts is the previous sample loaded, not a record skipped for lack of a place.
  Write(Header(3) + Position(1000, 3000000) + Position(4000, 3000040) + Position(5000, KInvalidInt) +
        Position(7001, 3000080) + Position(7100, 3000120));
  EXPECT_EQ((std::vector<int32_t>{0, 2}), Load());

  // Session times already run on across midnight in the file; backwards or extreme times
  // (a damaged or foreign file) neither overflow nor mark anything but a forward gap.
  Write(Header(3) + Position(86399900, 3000000) + Position(86400000, 3000040) + Position(86400100, 3000080) +
        Position(INT_MIN, 3000120) + Position(INT_MAX, 3000160) + Position(INT_MAX - 1000, 3000200));
  EXPECT_EQ((std::vector<int32_t>{0, 4}), Load());
}

TEST_F(DiscontinuityTest, OlderFormatsKeepTheirSatelliteRuleAndGainTheGapRule) {
  auto old = [](int32_t t, int32_t lat, uint8_t sats) {
    return I32(t) + I32(lat) + I32(600000) + I32(5396) + I32(539594) + std::string(1, static_cast<char>(sats)) +
           std::string(3, '\0');
  };
  // Version 2: no satellites marks a gap, and so does a time gap.
  Write(Header(2) + old(1000, 3000000, 7) + old(2000, 3000600, 0) + old(3000, 3001200, 6) +
        old(9000, 3001800, 6) + old(10000, 3002400, 6));
  EXPECT_EQ((std::vector<int32_t>{0, 1, 3}), Load());
  // Version 1 stores no satellites: only the gaps tell.
  Write(Header(1) + old(1000, 3000000, 0) + old(2000, 3000600, 0) + old(8000, 3001200, 0));
  EXPECT_EQ((std::vector<int32_t>{0, 2}), Load());
  // Positions of earlier builds inside a version-3 file, with both rules.
  auto type0 = [](int32_t t, int32_t lat, uint8_t sats) {
    return Record(0, I32(t) + I32(lat) + I32(600000) + I32(1000) + I32(2000) + I32(0) +
                         std::string(1, static_cast<char>(sats)));
  };
  Write(Header(3) + type0(1000, 3000000, 9) + type0(1100, 3000040, 0) + type0(1200, 3000080, 9) +
        Position(5000, 3000120) + type0(5100, 3000160, 9));
  EXPECT_EQ((std::vector<int32_t>{0, 1, 3}), Load());
}

TEST_F(DiscontinuityTest, RecordingResumedAfterReopeningStartsANewSegment) {
  iList->CreateFile(u"s", iRoot);
  iList->OpenForAppend();
  Record10Hz(*iList, 36000000, 50, KDate);
  iList->CloseFile();
  EXPECT_EQ((std::vector<int32_t>{0}), Load());

  // Reopened and resumed 0.2 s later: too short for the gap rule, but the resumed recording
  // ties its first sample to the calendar again with what the list already knew.
  std::unique_ptr<CPlotList> resumed(CPlotList::NewL(iChannels.get()));
  Load(*resumed);
  resumed->OpenForAppend();
  ASSERT_TRUE(resumed->IsFileOpen());
  Record10Hz(*resumed, 36005100, 30, KDate);
  resumed->CloseFile();
  EXPECT_EQ((std::vector<int32_t>{0, 50}), Load());
  EXPECT_EQ(2, iList->ResumeList().Count());

  // A hand-made file: a repeated calendar item marks only a sample at its own time.
  Write(Header(3) + Resume(1000, KDate, 1000) + Position(1000, 3000000) + Position(1100, 3000040) +
        Resume(1200, KDate, 1200) + Position(1300, 3000080) + Position(1400, 3000120) +
        Resume(1500, KDate, 1500) + Position(1500, 3000160));
  EXPECT_EQ((std::vector<int32_t>{0, 4}), Load());
}

TEST_F(DiscontinuityTest, MidnightKeepsTheTraceWhetherOrNotTheDateFollows) {
  // Across midnight the recorder writes a calendar item with the next date.
  iList->CreateFile(u"s", iRoot);
  iList->OpenForAppend();
  Record10Hz(*iList, PwTime::KDay - 2000, 40, KDate);
  iList->CloseFile();
  EXPECT_EQ((std::vector<int32_t>{0}), Load());
  ASSERT_EQ(2, iList->ResumeList().Count());
  EXPECT_EQ(PwTime(PwTime::KDay), iList->ResumeList().At(1).iSessionTime);

  // A receiver that keeps the old date past midnight makes a wrapped item with that date:
  // not a repeat of what the list knew (that would be the next day), so no new segment.
  iList->CreateFile(u"s", iRoot);
  iList->OpenForAppend();
  Record10Hz(*iList, PwTime::KDay - 2000, 40, KDate, false);
  iList->CloseFile();
  EXPECT_EQ((std::vector<int32_t>{0}), Load());
  ASSERT_EQ(2, iList->ResumeList().Count());
  EXPECT_EQ(PwTime(KDate), iList->ResumeList().At(1).iDate);
}
