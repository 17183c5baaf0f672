// Recording paused and resumed within one opening of a session: the file keeps no
// discontinuity bit, so the resumed recording's first sample must be tied to the calendar
// again (a resume item) for the loader to begin a trace segment there, as live timing does.
#include <gtest/gtest.h>

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

const int32_t KDate = PwTime::FromDate(2024, 5, 8).Milliseconds();
constexpr int32_t KRecordStart = 36000000;  // 10:00:00 UTC
constexpr int32_t KPositionRecord = 2 + CPlotList::KPositionPayload;
constexpr int32_t KResumeRecord = 2 + CPlotList::KResumePayload;

int32_t ReadI32(const std::string& aBytes, size_t aAt) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(aBytes[aAt + i]);
  return static_cast<int32_t>(v);
}

class ResumeMarksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    ASSERT_TRUE(EnsureFolders(iRoot));
    iChannels.reset(CObdChannelList::NewL());
    iList.reset(CPlotList::NewL(iChannels.get()));
    iList->CreateFile(u"s", iRoot);
  }
  // aCount samples at 10 Hz from the time of day aFrom, as a receiver that never lost its
  // fix reports them (no discontinuity of its own but on its first fix, when aFirstFix);
  // aDated false leaves out the date.
  void Record(int32_t aFrom, int32_t aCount, bool aFirstFix = false, bool aDated = true) {
    for (int32_t i = 0; i < aCount; ++i) {
      const int32_t t = aFrom + i * 100;
      ASSERT_EQ(1, iList->AddPosition(TCoordinate(3000000 + iNorth), TCoordinate(600000), t,
                                      TDistance::FromMetres(100), TSpeed::FromMetresPerSecond(20), 0.0, 0.9, 1.4, 9, 0,
                                      aFirstFix && i == 0, aDated ? KDate : PwTime::KUnset, aDated ? t : PwTime::KUnset, 0));
      iNorth += 40;
    }
  }
  static std::vector<int32_t> Marks(const CPlotList& aList) {
    std::vector<int32_t> marks;
    for (int32_t i = 0; i < aList.PositionList().Count(); ++i)
      if (aList.PositionList().At(i).IsDiscontinuity()) marks.push_back(i);
    return marks;
  }
  std::unique_ptr<CPlotList> Reloaded() {
    std::unique_ptr<CPlotList> list(CPlotList::NewL(iChannels.get()));
    CPlotListLoader* loader = list->StartLoading(nullptr, u"s", iRoot);
    EXPECT_EQ(KErrNone, Trap([&] {
                while (loader->Step()) {
                }
              }));
    EXPECT_EQ(CPlotListLoader::EComplete, loader->State());
    list->FinishLoading();
    return list;
  }

  pwtest::TempDir iDir;
  CPwString iRoot;
  std::unique_ptr<CObdChannelList> iChannels;
  std::unique_ptr<CPlotList> iList;
  int32_t iNorth = 0;
};

}  // namespace

TEST_F(ResumeMarksTest, AShortPauseWithoutReopeningBeginsASegmentLiveAndAfterLoading) {
  iList->OpenForAppend();
  Record(KRecordStart, 50, true);
  iList->CloseFile();  // paused at 10:00:04.9
  iList->OpenForAppend();
  iList->CloseFile();  // resumed and paused again with nothing recorded
  iList->OpenForAppend();
  ASSERT_TRUE(iList->IsFileOpen());
  Record(KRecordStart + 5200, 30);  // resumed 0.3 s after the last sample: no gap to see
  iList->CloseFile();

  // Live, the first sample after the resume begins a segment.
  EXPECT_EQ((std::vector<int32_t>{0, 50}), Marks(*iList));
  ASSERT_EQ(2, iList->ResumeList().Count());
  EXPECT_EQ(PwTime(KRecordStart + 5200), iList->ResumeList().At(1).iSessionTime);

  // The file: one type-4 item just before the resumed sample, in the existing format.
  const std::string bytes = pwtest::ReadFileBytes(PwToUtf8(iList->Path()));
  const size_t at = CPlotList::KHeaderBytes + KResumeRecord + 50 * KPositionRecord;
  ASSERT_EQ(at + KResumeRecord + 30 * KPositionRecord, bytes.size());
  EXPECT_EQ(CPlotList::KResumePayload, bytes[at]);
  EXPECT_EQ(EPlotRecordResume, bytes[at + 1]);
  EXPECT_EQ(KRecordStart + 5200, ReadI32(bytes, at + 2));
  EXPECT_EQ(KDate, ReadI32(bytes, at + 6));
  EXPECT_EQ(KRecordStart + 5200, ReadI32(bytes, at + 10));
  EXPECT_EQ(EPlotRecordPosition, bytes[at + KResumeRecord + 1]);

  // Reloaded, the loader marks the same sample.
  std::unique_ptr<CPlotList> loaded = Reloaded();
  ASSERT_EQ(80, loaded->PositionList().Count());
  EXPECT_EQ((std::vector<int32_t>{0, 50}), Marks(*loaded));
  EXPECT_TRUE(loaded->PositionList().At(50).IsDiscontinuity());
}

TEST_F(ResumeMarksTest, ResumingWithoutADateMarksNothingTheLoaderCannotSee) {
  // No calendar item can be written without a date: neither side marks the resume, and the
  // next dated sample is tied to the calendar as the first one after a resume.
  iList->OpenForAppend();
  Record(KRecordStart, 20, true);
  iList->CloseFile();
  iList->OpenForAppend();
  Record(KRecordStart + 2200, 10, false, false);
  Record(KRecordStart + 3200, 10);
  iList->CloseFile();
  std::unique_ptr<CPlotList> loaded = Reloaded();
  EXPECT_EQ(Marks(*iList), Marks(*loaded));
  EXPECT_EQ((std::vector<int32_t>{0, 30}), Marks(*loaded));
}
