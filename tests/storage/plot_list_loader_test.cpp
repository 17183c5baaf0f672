// Loading samples files: every format version, the 64 KiB steps, torn and corrupt tails,
// hostile records, and continuing a loaded recording.
#include "storage/plot_list_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "foundation/pw_time.h"
#include "platform/file_io.h"
#include "storage/plot_list.h"
#include "support/test_support.h"

namespace {

constexpr int32_t KDay = PwTime::KDay;

std::string I32(int32_t aValue) {
  const uint32_t v = static_cast<uint32_t>(aValue);
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}
std::string U16(uint16_t aValue) { return std::string{static_cast<char>(aValue), static_cast<char>(aValue >> 8)}; }
std::string U8(uint8_t aValue) { return std::string(1, static_cast<char>(aValue)); }
std::string Record(uint8_t aType, const std::string& aPayload) {
  return U8(static_cast<uint8_t>(aPayload.size())) + U8(aType) + aPayload;
}
std::string Header(int32_t aVersion) { return I32(aVersion) + I32(0) + I32(0) + I32(0); }
std::string Position(int32_t aTime, int32_t aLat, int32_t aLon, uint8_t aSatellites = 8) {
  return Record(5, I32(aTime) + I32(aLat) + I32(aLon) + I32(1000) + I32(2000) + I32(aTime / 10) + U16(4500) +
                       U16(120) + U16(180) + U8(aSatellites));
}

class SessionFolder {
 public:
  SessionFolder() {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    EXPECT_TRUE(EnsureFolders(iRoot));
  }
  CPwStringC Root() const { return iRoot; }
  std::string PlotsPath(const char* aBase = "s") const {
    return iDir.Path() + "/Pacewright/Sessions/" + aBase + "-plots.bin";
  }
  void Write(const std::string& aBytes, const char* aBase = "s") const {
    ASSERT_TRUE(pwtest::WriteFileBytes(PlotsPath(aBase), aBytes));
  }

 private:
  pwtest::TempDir iDir;
  CPwString iRoot;
};

struct TLoadResult {
  int32_t iCode = 0;
  int32_t iState = -1;
  int32_t iSteps = 0;
  std::vector<int32_t> iProgress;
  int32_t iTotal = 0;
  bool iTorn = false;
};

TLoadResult Load(CPlotList& aList, const SessionFolder& aFolder, const PwTimeConverter* aConverter = nullptr,
                 const char16_t* aBase = u"s") {
  TLoadResult r;
  CPlotListLoader* loader = aList.StartLoading(aConverter, CPwStringC(aBase, std::char_traits<char16_t>::length(aBase)),
                                               aFolder.Root());
  r.iCode = Trap([&] {
    for (;;) {
      ++r.iSteps;
      const int32_t more = loader->Step();
      r.iProgress.push_back(loader->ProgressValue());
      if (!more) break;
    }
  });
  r.iState = loader->State();
  r.iTotal = loader->ProgressTotal();
  r.iTorn = loader->EndedTorn();
  if (r.iCode == 0) aList.FinishLoading();
  return r;
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iChannels.reset(CObdChannelList::NewL());
    iList.reset(CPlotList::NewL(iChannels.get()));
  }
  std::unique_ptr<CObdChannelList> iChannels;
  std::unique_ptr<CPlotList> iList;
  SessionFolder iFolder;
};

// A drive north-east at 10 Hz, with OBD values and logger records in between.
void RecordDrive(CPlotList& aList, int32_t aFrom, int32_t aCount, int32_t aDate) {
  for (int32_t i = aFrom; i < aFrom + aCount; ++i) {
    const int32_t t = 43200000 + i * 100;
    ASSERT_EQ(aList.AddPosition(TCoordinate(3000000 + i * 37), TCoordinate(600000 + i * 53), t,
                                TDistance::FromMetres(100 + i % 7), TSpeed::FromMetresPerSecond(20 + i % 11),
                                (i * 7) % 360, 0.8 + (i % 5) * 0.1, 1.5, 5 + i % 9, i % 2, i == 0, aDate, t, 0),
              1);
    ASSERT_EQ(aList.AddObdValue(t + 30, 0x0C, static_cast<uint32_t>(3000 + i), 0), 1);
    if (i % 3 == 0) {
      ASSERT_EQ(aList.AddObdValue(t + 60, 0x10, 70000u + i, 0), 1);
    }
    if (i % 2 == 0) {
      TDataLoggerRecord r;
      r.SetValue(KChannelLoggerDigital1, 4000 + i);
      if (i % 4 == 0) r.SetValue(KChannelLoggerLateralG, (i % 100) / 100.0);
      ASSERT_EQ(aList.AddLoggerRecord(t + 50, r, 0), 1);
    }
  }
}

void ExpectSameSamples(const CPlotList& aWritten, const CPlotList& aLoaded) {
  const CPositionPlotList& a = aWritten.PositionList();
  const CPositionPlotList& b = aLoaded.PositionList();
  ASSERT_EQ(a.Count(), b.Count());
  for (int32_t i = 0; i < a.Count(); ++i) {
    const TPositionPlot& x = a.At(i);
    const TPositionPlot& y = b.At(i);
    ASSERT_EQ(x.iTime, y.iTime) << i;
    ASSERT_EQ(x.iLatitude, y.iLatitude) << i;
    ASSERT_EQ(x.iLongitude, y.iLongitude) << i;
    ASSERT_EQ(x.iAltitude, y.iAltitude) << i;
    ASSERT_EQ(x.iSpeed, y.iSpeed) << i;
    ASSERT_EQ(x.iDistance, y.iDistance) << i;
    ASSERT_EQ(x.iBearing, y.iBearing) << i;
    ASSERT_EQ(x.iHdop, y.iHdop) << i;
    ASSERT_EQ(x.iVdop, y.iVdop) << i;
    // The differential bit is not stored; where trace segments begin is inferred on loading.
    ASSERT_EQ(x.Satellites(), y.iFlags & ~TPositionPlot::KDiscontinuityFlag) << i;
  }
  ASSERT_EQ(aWritten.ObdList().ListCount(), aLoaded.ObdList().ListCount());
  for (int32_t l = 0; l < aWritten.ObdList().ListCount(); ++l) {
    const CObdChannelPlotList& x = aWritten.ObdList().ListAt(l);
    const CObdChannelPlotList& y = aLoaded.ObdList().ListAt(l);
    ASSERT_EQ(x.Pid(), y.Pid());
    ASSERT_EQ(x.Count(), y.Count());
    for (int32_t i = 0; i < x.Count(); ++i) {
      ASSERT_EQ(x.At(i).iTime, y.At(i).iTime);
      ASSERT_EQ(x.At(i).iRawValue, y.At(i).iRawValue);
    }
  }
  ASSERT_EQ(aWritten.LoggerList().Count(), aLoaded.LoggerList().Count());
  for (int32_t i = 0; i < aWritten.LoggerList().Count(); ++i) {
    TDataLoggerRecord x, y;
    ASSERT_TRUE(aWritten.LoggerList().RecordAt(i, x));
    ASSERT_TRUE(aLoaded.LoggerList().RecordAt(i, y));
    ASSERT_EQ(aWritten.LoggerList().TimeAt(i), aLoaded.LoggerList().TimeAt(i));
    ASSERT_EQ(x.iMask, y.iMask);
    for (int32_t c = 0; c < KDataLoggerChannelCount; ++c) ASSERT_EQ(x.RawValue(c), y.RawValue(c));
  }
  ASSERT_EQ(aWritten.ResumeList().Count(), aLoaded.ResumeList().Count());
  for (int32_t i = 0; i < aWritten.ResumeList().Count(); ++i) {
    EXPECT_EQ(aWritten.ResumeList().At(i).iSessionTime, aLoaded.ResumeList().At(i).iSessionTime);
    EXPECT_EQ(aWritten.ResumeList().At(i).iDate, aLoaded.ResumeList().At(i).iDate);
    EXPECT_EQ(aWritten.ResumeList().At(i).iTime, aLoaded.ResumeList().At(i).iTime);
  }
}

}  // namespace

TEST_F(LoaderTest, LoadsWhatWasRecordedInPortionsAndResumesAfterIt) {
  const int32_t date = PwTime::FromDate(2024, 6, 1).Milliseconds();
  iList->CreateFile(u"s", iFolder.Root());
  iList->OpenForAppend();
  RecordDrive(*iList, 0, 5000, date);
  iList->CloseFile();
  const int64_t size = static_cast<int64_t>(pwtest::ReadFileBytes(iFolder.PlotsPath()).size());
  ASSERT_GT(size, 3 * 65536);

  std::unique_ptr<CPlotList> loaded(CPlotList::NewL(iChannels.get()));
  TLoadResult r = Load(*loaded, iFolder);
  ASSERT_EQ(r.iCode, 0);
  EXPECT_EQ(r.iState, CPlotListLoader::EComplete);
  EXPECT_TRUE(loaded->IsComplete());
  EXPECT_TRUE(loaded->IsCurrentVersion());
  EXPECT_EQ(r.iTotal, size);
  // One step opens; each further one reads at most 64 KiB.
  EXPECT_GE(r.iSteps, 2 + static_cast<int32_t>((size - 16) / 65536));
  EXPECT_LE(r.iSteps, 3 + static_cast<int32_t>((size - 16) / 65536));
  for (size_t i = 1; i < r.iProgress.size(); ++i) {
    EXPECT_GT(r.iProgress[i], r.iProgress[i - 1]);
    EXPECT_LE(r.iProgress[i] - r.iProgress[i - 1], 65536);
  }
  EXPECT_EQ(r.iProgress.back(), size);
  ExpectSameSamples(*iList, *loaded);
  EXPECT_EQ(loaded->PositionList().MinimumSpeed(), iList->PositionList().MinimumSpeed());

  // Resuming appends after the old samples on the same time line.
  loaded->OpenForAppend();
  ASSERT_TRUE(loaded->IsFileOpen());
  RecordDrive(*loaded, 5000, 300, date);
  RecordDrive(*iList, 5000, 300, date);
  loaded->CloseFile();
  EXPECT_NEAR(loaded->PositionList().At(5000).iDistance, iList->PositionList().At(5000).iDistance, 1)
      << "the running distance carries on from the last sample";
  std::unique_ptr<CPlotList> again(CPlotList::NewL(iChannels.get()));
  ASSERT_EQ(Load(*again, iFolder).iState, CPlotListLoader::EComplete);
  // The resumed part starts with a fresh calendar tie; otherwise the samples are the same.
  EXPECT_EQ(again->ResumeList().Count(), 2);
  EXPECT_EQ(again->PositionList().Count(), 5300);
  EXPECT_NEAR(again->PositionList().At(5299).iDistance, iList->PositionList().At(5299).iDistance, 1);
  EXPECT_EQ(again->LoggerList().Count(), iList->LoggerList().Count());
}

TEST_F(LoaderTest, RecordCutByAPortionEndIsReadWholeByTheNextStep) {
  std::string bytes = Header(3);
  for (int32_t i = 0; i < 2500; ++i) bytes += Position(1000 + i * 100, 3000000 + i, 600000);
  iFolder.Write(bytes);
  TLoadResult r = Load(*iList, iFolder);
  ASSERT_EQ(r.iState, CPlotListLoader::EComplete);
  // 65536 - 16 = 1985 whole records of 33 bytes and 15 bytes of the next one.
  ASSERT_GE(r.iProgress.size(), 3u);
  EXPECT_EQ(r.iProgress[0], 16);
  EXPECT_EQ(r.iProgress[1], 16 + 1985 * 33);
  EXPECT_EQ(iList->PositionList().Count(), 2500);
  EXPECT_EQ(iList->PositionList().At(1985).iLatitude, 3001985);
}

TEST_F(LoaderTest, ContinuesTheTimeLineOfEveryListAfterLoading) {
  iFolder.Write(Header(3) + Position(KDay - 2000, 3000000, 600000) + Position(KDay + 1000, 3000100, 600000) +
                Record(1, I32(500) + U16(40) + U8(0x0D)));
  ASSERT_EQ(Load(*iList, iFolder).iState, CPlotListLoader::EComplete);
  EXPECT_EQ(iList->SessionMax().Milliseconds(), KDay + 1000);
  EXPECT_EQ(iList->PositionList().DayOffset().Milliseconds(), KDay);
  EXPECT_EQ(iList->PositionList().RunningDistance().iValue, iList->PositionList().Last().Distance().iValue);

  auto add = [&](int32_t t) {
    return iList->AddPosition(TCoordinate(3000200), TCoordinate(600000), t, TDistance::Invalid(), TSpeed::Invalid(),
                              0, 1, 1, 6, 0, 0, KInvalidInt, KInvalidInt, 0);
  };
  EXPECT_EQ(add(1000), 0) << "the last loaded time repeats";
  EXPECT_EQ(add(2000), 1);
  EXPECT_EQ(iList->PositionList().Last().iTime, KDay + 2000);
  // Distance grows from the last loaded place: 100 coordinate units are about 1.85 m.
  const double step = (iList->PositionList().Last().Distance().iValue - iList->PositionList().At(1).Distance().iValue) *
                      EarthRadius;
  EXPECT_NEAR(step, 1.853, 0.01);
  // The OBD list joins the session's latest day although its own sample was before midnight.
  EXPECT_EQ(iList->AddObdValue(1500, 0x0D, 41, 0), 1);
  EXPECT_EQ(iList->ObdList().FindList(0x0D)->TimeAt(1).Milliseconds(), KDay + 1500);
}

TEST_F(LoaderTest, ReadsVersion0WithoutHeader) {
  const double scale = 536870912.0;  // radians x 2^29
  auto rad = [&](double r) { return I32(static_cast<int32_t>(r * scale)); };
  const double lat0 = 0.9, lon0 = 0.2, dlat = 1e-5;
  std::string bytes;
  for (int32_t i = 0; i < 3; ++i) bytes += I32(5000 + i * 1000) + rad(lat0 + i * dlat) + rad(lon0) + rad(100.0 / EarthRadius);
  iFolder.Write(bytes);
  TLoadResult r = Load(*iList, iFolder);
  ASSERT_EQ(r.iCode, 0);
  EXPECT_EQ(r.iState, CPlotListLoader::EComplete);
  EXPECT_EQ(iList->Header().iVersion, 0);
  EXPECT_FALSE(iList->IsCurrentVersion());
  EXPECT_EQ(r.iTotal, 3);
  const CPositionPlotList& p = iList->PositionList();
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(p.At(0).iTime, 5000);
  EXPECT_EQ(p.At(0).iLatitude, TCoordinate::FromRadians(static_cast<int32_t>(lat0 * scale) / scale).iValue);
  EXPECT_NEAR(p.At(0).Altitude().Metres(), 100.0, 0.02);
  EXPECT_EQ(p.At(1).Satellites(), 10);
  EXPECT_EQ(p.At(1).iSpeed, KInvalidInt);
  EXPECT_EQ(p.At(1).iHdop, TPositionPlot::KInvalidWord);
  EXPECT_EQ(p.At(0).iBearing, TPositionPlot::KInvalidWord) << "no previous position";
  EXPECT_EQ(p.At(1).iBearing, 0) << "due north";
  EXPECT_NEAR(p.At(2).Distance().Metres(), 2 * dlat * EarthRadius, 0.1) << "distance recomputed";
}

TEST_F(LoaderTest, PositionsOffTheGlobeEndAnOlderFileAsDamaged) {
  const double scale = 536870912.0;  // radians x 2^29
  auto rad = [&](double r) { return I32(static_cast<int32_t>(r * scale)); };
  // Overwritten whole with junk: it reads as a file without header, and no record is a place.
  iFolder.Write(std::string(1600, '\xA5'));
  TLoadResult junk = Load(*iList, iFolder);
  ASSERT_EQ(junk.iCode, 0);
  EXPECT_EQ(junk.iState, CPlotListLoader::EIncomplete);
  EXPECT_TRUE(junk.iTorn);
  EXPECT_EQ(iList->PositionList().Count(), 0);
  EXPECT_FALSE(iList->IsComplete());

  // Junk after two good records: the two stay.
  iList.reset(CPlotList::NewL(iChannels.get()));
  std::string bytes;
  for (int32_t i = 0; i < 2; ++i) bytes += I32(5000 + i * 1000) + rad(0.9) + rad(0.2) + rad(0.0);
  bytes += I32(7000) + rad(2.5) + rad(0.2) + rad(0.0);  // 143 degrees of latitude
  bytes += I32(8000) + rad(0.9) + rad(0.2) + rad(0.0);
  iFolder.Write(bytes);
  TLoadResult cut = Load(*iList, iFolder);
  ASSERT_EQ(cut.iCode, 0);
  EXPECT_EQ(cut.iState, CPlotListLoader::EIncomplete);
  EXPECT_EQ(iList->PositionList().Count(), 2);
}

TEST_F(LoaderTest, ReadsVersions1And2WithTheirSatelliteRules) {
  auto rec = [](int32_t t, int32_t lat, int32_t lon, uint8_t sats) {
    return I32(t) + I32(lat) + I32(lon) + I32(5396) + I32(539594) + U8(sats) + U8(0) + U8(0) + U8(0);
  };
  iFolder.Write(Header(1) + rec(1000, 3000000, 600000, 4) + rec(2000, 3000000, 600600, 0) + "torn");
  TLoadResult r = Load(*iList, iFolder);
  EXPECT_EQ(r.iState, CPlotListLoader::EIncomplete) << "a cut last record";
  EXPECT_EQ(r.iTotal, 2);
  const CPositionPlotList& p = iList->PositionList();
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(p.At(0).iAltitude, 5396);
  EXPECT_EQ(p.At(0).iSpeed, 539594);
  EXPECT_EQ(p.At(1).Satellites(), 10) << "version 1 does not store satellites";
  EXPECT_FALSE(p.At(1).IsDiscontinuity());
  EXPECT_EQ(p.At(1).iBearing, 9000) << "due east";
  EXPECT_GT(p.At(1).iDistance, 0);

  iFolder.Write(Header(2) + rec(1000, 3000000, 600000, 7) + rec(2000, 3000000, 600600, 0) +
                rec(3000, 3000000, 601200, 6));
  r = Load(*iList, iFolder);
  EXPECT_EQ(r.iState, CPlotListLoader::EComplete);
  ASSERT_EQ(p.Count(), 3) << "a new load replaces the old samples";
  EXPECT_EQ(p.At(0).Satellites(), 7);
  EXPECT_TRUE(p.At(1).IsDiscontinuity()) << "no satellites marks a gap";
  EXPECT_EQ(p.At(1).Satellites(), 0);
  EXPECT_FALSE(p.At(2).IsDiscontinuity());
  // An older file is never extended with records of the current format.
  iList->OpenForAppend();
  EXPECT_FALSE(iList->IsFileOpen());
}

TEST_F(LoaderTest, ReadsPositionsOfEarlierBuildsInsideVersion3) {
  auto old = [](int32_t t, int32_t lat, int32_t lon, int32_t dist, uint8_t sats) {
    return Record(0, I32(t) + I32(lat) + I32(lon) + I32(1000) + I32(2000) + I32(dist) + U8(sats));
  };
  iFolder.Write(Header(3) + old(1000, 3000000, 600000, 0, 9) + Record(0, std::string(20, '\x01')) +
                old(2000, 2999000, 600000, 185, 0));
  ASSERT_EQ(Load(*iList, iFolder).iState, CPlotListLoader::EComplete);
  const CPositionPlotList& p = iList->PositionList();
  ASSERT_EQ(p.Count(), 2) << "a type-0 record shorter than 25 bytes is skipped";
  EXPECT_EQ(p.At(0).iSpeed, 1000);
  EXPECT_EQ(p.At(0).iAltitude, 2000);
  EXPECT_EQ(p.At(1).iDistance, 185) << "stored distance kept";
  EXPECT_EQ(p.At(1).iBearing, 18000) << "due south";
  EXPECT_TRUE(p.At(1).IsDiscontinuity());
  EXPECT_EQ(p.At(1).iVdop, TPositionPlot::KInvalidWord);
}

TEST_F(LoaderTest, RefusesMissingShortAndUnknownFiles) {
  EXPECT_EQ(Load(*iList, iFolder).iCode, 1) << "no file";
  iFolder.Write("");
  EXPECT_EQ(Load(*iList, iFolder).iCode, 2);
  iFolder.Write(std::string("\x03\x00\x00\x00", 4) + std::string(8, '\0'));
  EXPECT_EQ(Load(*iList, iFolder).iCode, 2);
  iFolder.Write(Header(4));
  EXPECT_EQ(Load(*iList, iFolder).iCode, 6);
  iFolder.Write(Header(100) + Position(1, 2, 3));
  EXPECT_EQ(Load(*iList, iFolder).iCode, 6);
  EXPECT_EQ(iList->PositionList().Count(), 0);

  // A first value of 101 or more is a time: a version-0 file without header.
  iFolder.Write(I32(101) + I32(0) + I32(0) + I32(0));
  TLoadResult r = Load(*iList, iFolder);
  ASSERT_EQ(r.iCode, 0);
  EXPECT_EQ(iList->Header().iVersion, 0);
  ASSERT_EQ(iList->PositionList().Count(), 1);
  EXPECT_EQ(iList->PositionList().At(0).iTime, 101);
}

TEST_F(LoaderTest, TornOrCorruptTailKeepsEverythingBeforeIt) {
  const std::string good = Header(3) + Position(1000, 3000000, 600000) + Record(4, I32(1000) + I32(753068) + I32(7));
  struct Case {
    const char* name;
    std::string tail;
    bool torn;
  } cases[] = {
      {"cut position", Position(2000, 1, 2).substr(0, 20), true},
      {"lone head byte", std::string(1, '\x1F'), true},
      {"zero length", std::string("\x00\x05", 2) + Position(2000, 1, 2), false},
      {"length 128", std::string("\x80\x05", 2) + Position(2000, 1, 2), false},
      {"type 32", std::string("\x04\x20", 2) + "abcd" + Position(2000, 1, 2), false},
      {"zeroed blocks", std::string(512, '\0'), false},
  };
  for (const Case& c : cases) {
    iFolder.Write(good + c.tail);
    TLoadResult r = Load(*iList, iFolder);
    ASSERT_EQ(r.iCode, 0) << c.name;
    EXPECT_EQ(r.iState, CPlotListLoader::EIncomplete) << c.name;
    EXPECT_EQ(r.iTorn, c.torn) << c.name;
    EXPECT_FALSE(iList->IsComplete()) << c.name;
    EXPECT_EQ(iList->PositionList().Count(), 1) << c.name;
    EXPECT_EQ(iList->ResumeList().Count(), 1) << c.name;
    // Such a session can be viewed, but appending behind the broken record is refused.
    iList->OpenForAppend();
    EXPECT_FALSE(iList->IsFileOpen()) << c.name;
  }
  iFolder.Write(Header(3));
  TLoadResult r = Load(*iList, iFolder);
  EXPECT_EQ(r.iState, CPlotListLoader::EComplete);
  EXPECT_EQ(iList->PositionList().Count(), 0);
}

TEST_F(LoaderTest, SkipsShortAndUnknownRecordsByTheirLength) {
  const std::string position31 = Position(3000, 3000000, 600000).substr(2);
  iFolder.Write(Header(3) +
                Record(1, I32(100) + U16(4) ) +                      // OBD short by one byte
                Record(5, position31.substr(0, 30)) +                 // position short by one byte
                Record(4, I32(1) + I32(2)) +                          // resume item short
                Record(9, "xyz") +                                    // a later build's type
                Record(31, std::string(127, '\x7F')) +                // longest record, unknown
                Record(5, position31 + "future") +                    // longer than known: fields read
                Record(8, I32(4000) + U16(1)) +                       // logger: 2 bytes after the time...
                Record(8, I32(5000) + std::string(1, '\x01')) +       // ...1 byte: time only
                Record(8, I32(6000) + U16(1) + std::string(34, '\x02')) +  // 36 bytes: time only
                Record(8, "abc") +                                    // no whole time: skipped
                Position(7000, 3000100, 600000));
  TLoadResult r = Load(*iList, iFolder);
  ASSERT_EQ(r.iState, CPlotListLoader::EComplete);
  EXPECT_EQ(iList->ObdList().ListCount(), 0);
  EXPECT_EQ(iList->ResumeList().Count(), 0);
  const CPositionPlotList& p = iList->PositionList();
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(p.At(0).iTime, 3000);
  EXPECT_EQ(p.At(1).iTime, 7000);
  const CDataLoggerPlotList& logger = iList->LoggerList();
  ASSERT_EQ(logger.Count(), 3);
  TDataLoggerRecord rec;
  ASSERT_TRUE(logger.RecordAt(0, rec));
  EXPECT_EQ(rec.iMask, 0) << "mask promises a value the record does not hold";
  EXPECT_EQ(logger.TimeAt(1).Milliseconds(), 5000);
  ASSERT_TRUE(logger.RecordAt(2, rec));
  EXPECT_EQ(rec.iMask, 0);
}

TEST_F(LoaderTest, LocalCalendarTiesOfOlderFilesBecomeUtc) {
  const char* oldTz = std::getenv("TZ");
  const std::string savedTz = oldTz ? oldTz : "";
  setenv("TZ", "XYZ-2", 1);  // two hours east of UTC, no daylight saving
  tzset();
  const int32_t date = PwTime::FromDate(2024, 6, 1).Milliseconds();
  iFolder.Write(Header(3) + Record(3, I32(1000) + I32(date) + I32(1 * 3600000)) +
                Record(4, I32(2000) + I32(date) + I32(12 * 3600000)));
  std::unique_ptr<PwTimeConverter> converter(new PwTimeConverter());
  ASSERT_EQ(Load(*iList, iFolder, converter.get()).iState, CPlotListLoader::EComplete);
  const CResumeList& resume = iList->ResumeList();
  ASSERT_EQ(resume.Count(), 2);
  EXPECT_EQ(resume.At(0).iDate, PwTime::FromDate(2024, 5, 31)) << "01:00 local is 23:00 UTC the day before";
  EXPECT_EQ(resume.At(0).iTime.Milliseconds(), 23 * 3600000);
  EXPECT_EQ(resume.At(1).iTime.Milliseconds(), 12 * 3600000) << "UTC items stay";

  ASSERT_EQ(Load(*iList, iFolder, nullptr).iState, CPlotListLoader::EComplete);
  EXPECT_EQ(iList->ResumeList().At(0).iTime.Milliseconds(), 1 * 3600000) << "no converter: kept as stored";
  if (oldTz)
    setenv("TZ", savedTz.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(LoaderTest, CancelEndsTheLoadAsIncomplete) {
  std::string bytes = Header(3);
  for (int32_t i = 0; i < 4000; ++i) bytes += Position(1000 + i * 100, 3000000 + i, 600000);
  iFolder.Write(bytes);
  CPlotListLoader* loader = iList->StartLoading(nullptr, u"s", iFolder.Root());
  EXPECT_EQ(loader->State(), CPlotListLoader::ENotStarted);
  ASSERT_EQ(loader->Step(), 1);
  EXPECT_EQ(loader->State(), CPlotListLoader::EReading);
  ASSERT_EQ(loader->Step(), 1);
  loader->Cancel();
  EXPECT_EQ(loader->State(), CPlotListLoader::EIncomplete);
  EXPECT_EQ(loader->Step(), 0);
  iList->FinishLoading();
  EXPECT_FALSE(iList->IsComplete());
  EXPECT_EQ(iList->PositionList().Count(), 1985);
  EXPECT_EQ(iList->Loader(), nullptr);
}

TEST_F(LoaderTest, ReadErrorPartWayFailsTheLoadInsteadOfEndingIt) {
  std::string bytes = Header(3);
  for (int32_t i = 0; i < 4000; ++i) bytes += Position(1000 + i * 100, 3000000 + i, 600000);
  iFolder.Write(bytes);
  CPlotListLoader* loader = iList->StartLoading(nullptr, u"s", iFolder.Root());
  ASSERT_EQ(loader->Step(), 1);  // opens and reads the header
  ASSERT_EQ(loader->Step(), 1);  // the first portion
  pwplat::SetReadBudgetForTest(100);
  EXPECT_EQ(Trap([&] { loader->Step(); }), CPlotListLoader::KErrRead);
  pwplat::SetReadBudgetForTest(-1);
  EXPECT_EQ(loader->State(), CPlotListLoader::EFailed);
  loader->Cancel();
  EXPECT_EQ(loader->State(), CPlotListLoader::EFailed);
  EXPECT_EQ(loader->Step(), 0);
  iList->FinishLoading();
  EXPECT_FALSE(iList->IsComplete());
  EXPECT_EQ(iList->PositionList().Count(), 1985);

  // Failing at the header is a read error too, not a short file.
  std::unique_ptr<CPlotList> other(CPlotList::NewL(iChannels.get()));
  CPlotListLoader* second = other->StartLoading(nullptr, u"s", iFolder.Root());
  pwplat::SetReadBudgetForTest(0);
  EXPECT_EQ(Trap([&] { second->Step(); }), CPlotListLoader::KErrRead);
  pwplat::SetReadBudgetForTest(-1);
  other->FinishLoading();
  EXPECT_FALSE(other->IsComplete());
}

namespace {

// One row of a VBO log: time of day, position in minutes of arc (longitude positive west),
// speed in km/h, heading, height in metres.
struct TVboRow {
  int32_t iTime;
  TCoordinate iLat, iLon;
  double iKmh, iHeading, iHeight;
  int32_t iSats;
};

std::vector<TVboRow> ReadVbo(const std::string& aPath) {
  std::vector<TVboRow> rows;
  std::ifstream in(aPath);
  std::string line;
  bool data = false;
  while (std::getline(in, line)) {
    if (!data) {
      data = line.rfind("[data]", 0) == 0;
      continue;
    }
    std::istringstream f(line);
    std::string sats, time, lat, lon, kmh, heading, height;
    if (!(f >> sats >> time >> lat >> lon >> kmh >> heading >> height)) continue;
    const double hhmmss = std::stod(time);
    const int32_t whole = static_cast<int32_t>(hhmmss);
    const int32_t ms = static_cast<int32_t>(std::lround((hhmmss - whole) * 1000));
    TVboRow r;
    r.iTime = (whole / 10000) * 3600000 + (whole / 100 % 100) * 60000 + (whole % 100) * 1000 + ms;
    r.iLat = TCoordinate(static_cast<int32_t>(std::lround(std::stod(lat) * 100000)));
    r.iLon = TCoordinate(static_cast<int32_t>(std::lround(-std::stod(lon) * 100000)));
    r.iKmh = std::stod(kmh);
    r.iHeading = std::stod(heading);
    r.iHeight = std::stod(height);
    r.iSats = std::stoi(sats);
    rows.push_back(r);
  }
  return rows;
}

}  // namespace

TEST_F(LoaderTest, RealKartingSessionSurvivesTheRoundTrip) {
  PW_REQUIRE_TESTDATA();
  const std::vector<TVboRow> rows = ReadVbo(pwtest::TestDataDir() + "/vbo/karting-part.vbo");
  ASSERT_GT(rows.size(), 8000u);
  iList->CreateFile(u"s", iFolder.Root());
  iList->OpenForAppend();
  const int32_t date = PwTime::FromDate(2026, 6, 6).Milliseconds();
  int32_t repeats = 0, stored = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TVboRow& r = rows[i];
    if (i > 0 && r.iTime <= rows[i - 1].iTime && r.iTime > rows[i - 1].iTime - 60000) ++repeats;
    stored += iList->AddPosition(r.iLat, r.iLon, r.iTime, TDistance::FromMetres(r.iHeight), TSpeed::FromKmh(r.iKmh),
                                 r.iHeading, InvalidReal(), InvalidReal(), r.iSats, 0, 0, date, r.iTime, 0);
  }
  iList->CloseFile();
  EXPECT_GT(repeats, 0) << "the log repeats some time stamps";
  EXPECT_EQ(stored + repeats, static_cast<int32_t>(rows.size()));
  EXPECT_EQ(iList->ResumeList().Count(), 1);

  const CPositionPlotList& p = iList->PositionList();
  EXPECT_NEAR(p.Duration().SecondsReal(), 360.0, 30.0);
  // Several laps of a roughly 150 x 170 m circuit at kart speeds.
  const double metres = p.Last().Distance().Metres();
  EXPECT_GT(metres, 2000.0);
  EXPECT_LT(metres, 8000.0);
  for (int32_t i = 1; i < p.Count(); ++i) ASSERT_GT(p.At(i).iTime, p.At(i - 1).iTime);

  std::unique_ptr<CPlotList> loaded(CPlotList::NewL(iChannels.get()));
  ASSERT_EQ(Load(*loaded, iFolder).iState, CPlotListLoader::EComplete);
  ExpectSameSamples(*iList, *loaded);
  const PwDateTime start = loaded->ResumeList().DateTimeAt(PwTime(p.At(0).iTime));
  EXPECT_EQ(start, PwDateTime(2026, 6, 6, 12, 57, 16, 0));
}
