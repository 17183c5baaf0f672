// Stored formats read back from bytes written by hand, byte for byte as the files are laid
// out: compact texts that the end of the data cuts short, and logger records of every length
// the samples file allows.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "acquisition/obd_channels.h"
#include "foundation/file_stream.h"
#include "foundation/paths.h"
#include "storage/data_logger_plot_list.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "storage/session_info.h"
#include "support/test_support.h"

namespace {

std::string I16(int32_t aValue) { return std::string{static_cast<char>(aValue), static_cast<char>(aValue >> 8)}; }
std::string I32(int32_t aValue) {
  const uint32_t v = static_cast<uint32_t>(aValue);
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}
std::string Bytes(std::initializer_list<int> aBytes) {
  std::string s;
  for (int b : aBytes) s += static_cast<char>(b);
  return s;
}

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

class StoredFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    ASSERT_TRUE(EnsureFolders(iRoot));
  }
  std::string SessionsPath(const std::string& aName) const { return iDir.Path() + "/Pacewright/Sessions/" + aName; }
  // A stream opened on a file holding aBytes.
  void OpenOn(PwFileStream& aStream, const std::string& aBytes) {
    const std::string path = iDir / "in.bin";
    ASSERT_TRUE(pwtest::WriteFileBytes(path, aBytes));
    aStream.SetPath(PwStringFromUtf8(path));
    ASSERT_EQ(aStream.OpenRead(), 1);
  }

  pwtest::TempDir iDir;
  CPwString iRoot;
};

}  // namespace

// A text whose header promises more characters than the data holds ends with the data; only
// a three-byte character torn apart is malformed.
TEST_F(StoredFormatTest, CompactTextStopsAtTheEndOfTheData) {
  struct TCase {
    const char* iWhy;
    std::string iBytes;
    std::string iText;
  } cases[] = {
      {"one-byte header, 3 announced, 2 there", Bytes({0x0C, 'a', 'b'}), "ab"},
      {"two-byte header, 100 announced, 63 there", Bytes({0x21, 0x03}) + std::string(63, 'x'), std::string(63, 'x')},
      {"header alone", Bytes({0x10}), ""},
      {"wide characters before the end", Bytes({0x14, 0x0E, 0x00, 0xE9, 'z'}), "\xC3\xA9z"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.iWhy);
    PwFileStream s;
    OpenOn(s, c.iBytes);
    CPwString text(u"old");
    ASSERT_EQ(Trap([&] { s.ReadText(text); }), KErrNone);
    EXPECT_EQ(Utf8(text), c.iText);
    EXPECT_EQ(s.Remaining(), 0);
  }

  // The mark or the code unit of a wide character cut off stays a damaged item.
  for (const std::string& torn : {Bytes({0x08, 'a', 0x0E}), Bytes({0x08, 'a', 0x0E, 0x00})}) {
    PwFileStream s;
    OpenOn(s, torn);
    CPwString text(u"old");
    EXPECT_EQ(Trap([&] { s.ReadText(text); }), KErrCorrupt);
    EXPECT_EQ(Utf8(text), "old");
    EXPECT_EQ(s.ReadPosition(), 0);
  }
}

// A version-1 session file ends with its title; a title cut short by the end of the file is
// still a readable session.
TEST_F(StoredFormatTest, OldSessionFileEndingInsideItsTitleLoads) {
  const std::string bytes = I32(1) + I16(1) + Bytes({0x10}) + "Ring" + Bytes({0x28}) + "Club";  // 10 announced
  ASSERT_TRUE(pwtest::WriteFileBytes(SessionsPath("old-session.bin"), bytes));
  CSessionInfo info;
  info.SetIdentifier(u"old");
  info.SetStorageRoot(iRoot);
  PwTimeConverter converter;
  ASSERT_EQ(info.Load(true, converter), 1);
  EXPECT_EQ(Utf8(info.TrackName()), "Ring");
  EXPECT_EQ(Utf8(info.Title()), "Club");
  EXPECT_EQ(info.SaveNmea(), 1);
}

// Type-8 records carry their values when the part after the time is 2 to 34 bytes long, also
// beyond the 26 bytes that twelve channels fill; shorter or longer parts give the time alone.
TEST_F(StoredFormatTest, LoggerRecordsOfEveryAllowedLength) {
  auto record = [](int32_t aTime, const std::string& aRest) {
    const std::string payload = I32(aTime) + aRest;
    return Bytes({static_cast<int>(payload.size()), 8}) + payload;
  };
  std::string all;
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i) all += I16(100 + i);
  const std::string file = I32(3) + I32(0) + I32(0) + I32(0) +
                           record(1000, I16(0x0FFF) + all) +                        // 26 bytes
                           record(2000, I16(0x0FFF) + all + std::string(8, '\x7F')) +  // 34 bytes
                           record(3000, I16(0x0003) + I16(-5) + I16(7) + std::string(4, '\0')) +  // 10 bytes
                           record(4000, I16(0x0001) + I16(9) + std::string(29, '\0'));  // 33 bytes
  ASSERT_TRUE(pwtest::WriteFileBytes(SessionsPath("log-plots.bin"), file));

  std::unique_ptr<CObdChannelList> channels(CObdChannelList::NewL());
  std::unique_ptr<CPlotList> list(CPlotList::NewL(channels.get()));
  CPlotListLoader* loader = list->StartLoading(nullptr, u"log", iRoot);
  ASSERT_EQ(Trap([&] {
              while (loader->Step()) {
              }
            }),
            KErrNone);
  EXPECT_EQ(loader->State(), CPlotListLoader::EComplete);
  list->FinishLoading();

  const CDataLoggerPlotList& logger = list->LoggerList();
  ASSERT_EQ(logger.Count(), 4);
  for (int32_t r = 0; r < 2; ++r) {
    SCOPED_TRACE(r);
    TDataLoggerRecord values;
    ASSERT_TRUE(logger.RecordAt(r, values));
    EXPECT_EQ(values.iMask, 0x0FFF);
    for (int32_t c = 0; c < KDataLoggerChannelCount; ++c) EXPECT_EQ(values.RawValue(c), 100 + c);
  }
  TDataLoggerRecord values;
  ASSERT_TRUE(logger.RecordAt(2, values));
  EXPECT_EQ(values.RawValue(0), -5);
  EXPECT_EQ(values.RawValue(1), 7);
  ASSERT_TRUE(logger.RecordAt(3, values));
  EXPECT_EQ(values.iMask, 0x0001);
  EXPECT_EQ(values.RawValue(0), 9);
}
