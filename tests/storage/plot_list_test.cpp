// Sample lists and the samples file as written: record bytes, the session time line, searches,
// interpolation, the replay cursor and the per-list channels.
#include "storage/plot_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "storage/plot_list_loader.h"
#include "support/test_support.h"

namespace {

constexpr int32_t KDay = PwTime::KDay;

std::string Hex(const std::string& aBytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : aBytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A storage root in a temporary folder with the program's folders in place.
class SessionFolder {
 public:
  SessionFolder() {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    EXPECT_TRUE(EnsureFolders(iRoot));
  }
  CPwStringC Root() const { return iRoot; }
  std::string PlotsPath(const char* aBase) const {
    return iDir.Path() + "/Pacewright/Sessions/" + aBase + "-plots.bin";
  }

 private:
  pwtest::TempDir iDir;
  CPwString iRoot;
};

// A position with only what the time line tests care about.
int32_t AddAt(CPlotList& aList, int32_t aTimeOfDay, int32_t aDate = KInvalidInt) {
  return aList.AddPosition(TCoordinate(3000000), TCoordinate(600000), aTimeOfDay, TDistance::Invalid(),
                           TSpeed::Invalid(), InvalidReal(), InvalidReal(), InvalidReal(), 8, 0, 0, aDate,
                           aDate == KInvalidInt ? KInvalidInt : aTimeOfDay, 0);
}

class PlotListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iChannels.reset(CObdChannelList::NewL());
    iList.reset(CPlotList::NewL(iChannels.get()));
  }
  std::unique_ptr<CObdChannelList> iChannels;
  std::unique_ptr<CPlotList> iList;
};

}  // namespace

TEST_F(PlotListTest, WritesEveryRecordTypeByteForByte) {
  SessionFolder folder;
  iList->CreateFile(u"20240517-1000", folder.Root());
  EXPECT_EQ(Hex(pwtest::ReadFileBytes(folder.PlotsPath("20240517-1000"))),
            "03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_TRUE(iList->IsCurrentVersion());

  iList->OpenForAppend();
  ASSERT_TRUE(iList->IsFileOpen());
  const int32_t date = PwTime::FromDate(2024, 5, 17).Milliseconds();
  ASSERT_EQ(iList->AddPosition(TCoordinate(3000000), TCoordinate(-6000000), 36000000, TDistance::FromMetres(100),
                               TSpeed::FromMetresPerSecond(10), 90.0, 1.25, 2.5, 9, 1, 1, date, 36000000, 0),
            1);
  ASSERT_EQ(iList->AddObdValue(36000100, 0x0C, 65535, 0), 1);
  ASSERT_EQ(iList->AddObdValue(36000200, 0x0C, 65536, 0), 1);
  TDataLoggerRecord record;
  ASSERT_TRUE(record.SetValue(KChannelLoggerDigital1, 5000));
  ASSERT_TRUE(record.SetValue(KChannelLoggerLongitudinalG, -0.456));
  ASSERT_EQ(iList->AddLoggerRecord(36000300, record, 0), 1);
  iList->CloseFile();

  const std::string bytes = pwtest::ReadFileBytes(folder.PlotsPath("20240517-1000"));
  ASSERT_EQ(bytes.size(), 16u + 14 + 33 + 9 + 11 + 12);
  // The first dated sample ties session time to calendar time (type 4) before it is written.
  EXPECT_EQ(Hex(bytes.substr(16, 14)), "0C 04 00 51 25 02 AC 7D 0B 00 00 51 25 02");
  // Position: time, latitude, longitude, speed, altitude, distance, bearing, HDOP, VDOP and
  // the satellites without the differential and discontinuity bits.
  EXPECT_EQ(Hex(bytes.substr(30, 33)),
            "1F 05 00 51 25 02 C0 C6 2D 00 80 72 A4 FF C9 3B 08 00 14 15 00 00 00 00 00 00 28 23 7D 00 FA 00 09");
  EXPECT_EQ(Hex(bytes.substr(63, 9)), "07 01 64 51 25 02 FF FF 0C");
  EXPECT_EQ(Hex(bytes.substr(72, 11)), "09 02 C8 51 25 02 00 00 01 00 0C");
  // Logger record: time, mask of channels 0 and 6, 5000 RPM and -0.456 G stored as -45.
  EXPECT_EQ(Hex(bytes.substr(83, 12)), "0A 08 2C 52 25 02 41 00 88 13 D3 FF");

  // Memory keeps the flags the file leaves out.
  const TPositionPlot& p = iList->PositionList().At(0);
  EXPECT_TRUE(p.IsDifferential());
  EXPECT_TRUE(p.IsDiscontinuity());
  EXPECT_EQ(p.Satellites(), 9);
}

TEST_F(PlotListTest, EncodesOutOfRangeAndMissingPositionFields) {
  SessionFolder folder;
  iList->CreateFile(u"s", folder.Root());
  iList->OpenForAppend();
  // Missing altitude, speed and precision; a negative course; more satellites than 6 bits hold.
  ASSERT_EQ(iList->AddPosition(TCoordinate(1), TCoordinate(2), 1000, TDistance::Invalid(), TSpeed::Invalid(), -90.0,
                               InvalidReal(), 700.0, 99, 0, 0, KInvalidInt, KInvalidInt, 0),
            1);
  // A course that rounds up to 360 degrees is north.
  ASSERT_EQ(iList->AddPosition(TCoordinate(1), TCoordinate(2), 2000, TDistance::Invalid(), TSpeed::Invalid(),
                               359.999, 0.0, 0.0, 0, 0, 0, KInvalidInt, KInvalidInt, 0),
            1);
  iList->CloseFile();
  const std::string bytes = pwtest::ReadFileBytes(folder.PlotsPath("s"));
  ASSERT_EQ(bytes.size(), 16u + 2 * 33);
  EXPECT_EQ(Hex(bytes.substr(16 + 14, 19)), "FF FF FF 7F FF FF FF 7F 00 00 00 00 78 69 FF FF FF FF 3F");
  EXPECT_EQ(Hex(bytes.substr(16 + 33 + 26, 7)), "00 00 00 00 00 00 00");
}

TEST_F(PlotListTest, TimeLineContinuesAcrossMidnightAndRejectsRepeats) {
  CPositionPlotList& positions = iList->PositionList();
  EXPECT_EQ(AddAt(*iList, 0), 1) << "a first sample at 00:00:00.000 is not a repeat";
  EXPECT_EQ(AddAt(*iList, 86399000), 1);
  EXPECT_EQ(AddAt(*iList, 200), 1);
  EXPECT_EQ(positions.Last().iTime, 86400200);
  EXPECT_EQ(positions.DayOffset().Milliseconds(), KDay);

  // Repeated and slightly earlier times (up to a minute) are dropped without a trace.
  EXPECT_EQ(AddAt(*iList, 200), 0);
  EXPECT_EQ(AddAt(*iList, 150), 0);
  EXPECT_EQ(AddAt(*iList, 1000), 1);
  EXPECT_EQ(AddAt(*iList, 100000), 1);
  EXPECT_EQ(AddAt(*iList, 100000 - 59999), 0) << "59.999 s back is a repeat";
  EXPECT_EQ(positions.Count(), 5);

  // A minute or more back but within the hour: placed on the next day.
  EXPECT_EQ(AddAt(*iList, 100000 - 60000), 1);
  EXPECT_EQ(positions.Last().iTime, 40000 + 2 * KDay);
  EXPECT_EQ(AddAt(*iList, 3600000), 1);
  EXPECT_EQ(AddAt(*iList, 3600000 - 120000), 1);
  EXPECT_EQ(positions.Last().iTime, 3600000 - 120000 + 3 * KDay);
  EXPECT_EQ(iList->SessionMax().Milliseconds(), positions.Last().iTime);

  // A time of day that is unset cannot be placed.
  EXPECT_EQ(AddAt(*iList, KInvalidInt), 0);
}

TEST_F(PlotListTest, ListsShareTheSessionMaximumAcrossMidnight) {
  EXPECT_EQ(AddAt(*iList, 86399000), 1);
  EXPECT_EQ(iList->AddObdValue(86399500, 0x0D, 50, 0), 1);
  EXPECT_EQ(AddAt(*iList, 500), 1);
  // The OBD list has not seen midnight yet; the session maximum tells it.
  EXPECT_EQ(iList->AddObdValue(700, 0x0D, 51, 0), 1);
  const CObdChannelPlotList* speed = iList->ObdList().FindList(0x0D);
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->TimeAt(1).Milliseconds(), KDay + 700);
  TDataLoggerRecord record;
  EXPECT_EQ(iList->AddLoggerRecord(900, record, 0), 1);
  EXPECT_EQ(iList->LoggerList().TimeAt(0).Milliseconds(), KDay + 900);
}

TEST_F(PlotListTest, DatesAreTiedToSessionTimeOnFirstFixDateChangeAndWrap) {
  const int32_t d1 = PwTime::FromDate(2024, 12, 31).Milliseconds();
  const int32_t d2 = PwTime::FromDate(2025, 1, 1).Milliseconds();
  EXPECT_EQ(AddAt(*iList, 86398000), 1);            // no date yet: nothing to tie
  EXPECT_EQ(AddAt(*iList, 86398500, d1), 1);        // first date
  EXPECT_EQ(AddAt(*iList, 86399000, d1), 1);        // same date
  EXPECT_EQ(AddAt(*iList, 200, d2), 1);             // new date and a wrap
  const CResumeList& resume = iList->ResumeList();
  ASSERT_EQ(resume.Count(), 2);
  EXPECT_EQ(resume.At(0).iSessionTime.Milliseconds(), 86398500);
  EXPECT_EQ(resume.At(1).iSessionTime.Milliseconds(), KDay + 200);

  PwDateTime at = resume.DateTimeAt(PwTime(86399999));
  EXPECT_EQ(at, PwDateTime(2024, 12, 31, 23, 59, 59, 999));
  at = resume.DateTimeAt(PwTime(KDay + 1200));
  EXPECT_EQ(at, PwDateTime(2025, 1, 1, 0, 0, 1, 200));
  EXPECT_FALSE(resume.DateTimeAt(PwTime(1000)).IsSet()) << "before the first item";

  // Unset parts are not recorded.
  iList->AddResumeItem(PwTime(5), PwTime::Unset(), PwTime(5));
  EXPECT_EQ(resume.Count(), 2);
}

TEST_F(PlotListTest, RejectsSamplesWithoutPlaceOrKnownParameter) {
  EXPECT_EQ(iList->AddPosition(TCoordinate(), TCoordinate(1), 1000, TDistance::Invalid(), TSpeed::Invalid(), 0, 0,
                               0, 5, 0, 0, KInvalidInt, KInvalidInt, 0),
            0);
  EXPECT_EQ(iList->AddObdValue(1000, 0x01, 1, 0), 0) << "PID 1 has no channel";
  EXPECT_EQ(iList->AddObdValue(1000, 300, 1, 0), 0);
  EXPECT_EQ(iList->AddObdValue(1000, -1, 1, 0), 0);
  EXPECT_EQ(iList->PositionList().Count(), 0);
  EXPECT_EQ(iList->ObdList().ListCount(), 0);

  // Without channel definitions no OBD value can be kept.
  std::unique_ptr<CPlotList> bare(CPlotList::NewL(nullptr));
  EXPECT_EQ(bare->AddObdValue(1000, 0x0C, 1, 0), 0);
}

TEST_F(PlotListTest, FileOnlySamplesReachTheFileButNotMemory) {
  SessionFolder folder;
  iList->CreateFile(u"import", folder.Root());
  iList->OpenForAppend();
  for (int32_t i = 0; i < 10; ++i)
    ASSERT_EQ(iList->AddPosition(TCoordinate(3000000 + i * 100), TCoordinate(600000), 1000 + i * 100,
                                 TDistance::Invalid(), TSpeed::FromMetresPerSecond(5), 0, 1, 1, 7, 0, 0, KInvalidInt,
                                 KInvalidInt, 1),
              1);
  EXPECT_EQ(iList->AddObdValue(1500, 0x0C, 4000, 1), 1);
  EXPECT_EQ(iList->AddPosition(TCoordinate(1), TCoordinate(1), 1500, TDistance::Invalid(), TSpeed::Invalid(), 0, 1,
                               1, 7, 0, 0, KInvalidInt, KInvalidInt, 1),
            0)
      << "file-only samples still follow the time line";
  iList->CloseFile();
  EXPECT_EQ(iList->PositionList().Count(), 0);
  EXPECT_EQ(iList->ObdList().ListAt(0).Count(), 0);

  std::unique_ptr<CPlotList> loaded(CPlotList::NewL(iChannels.get()));
  CPlotListLoader* loader = loaded->StartLoading(nullptr, u"import", folder.Root());
  while (loader->Step()) {
  }
  loaded->FinishLoading();
  ASSERT_EQ(loaded->PositionList().Count(), 10);
  EXPECT_GT(loaded->PositionList().Last().iDistance, 0) << "distance is measured for the file too";
  EXPECT_EQ(loaded->ObdList().ListAt(0).Count(), 1);
}

TEST(PlotListSearch, FindByTimeBracketsTheTime) {
  CPositionPlotList list;
  int32_t lo, hi;
  list.FindByTime(PwTime(0), lo, hi);
  EXPECT_EQ(lo, -1);
  EXPECT_EQ(hi, -1);
  TPositionPlot p;
  p.iLatitude = p.iLongitude = 0;
  p.iTime = 1000;
  list.AppendStored(p);
  list.FindByTime(PwTime(1000), lo, hi);
  EXPECT_EQ(lo, -1) << "a single sample brackets nothing";
  p.iTime = 2000;
  list.AppendStored(p);
  p.iTime = 3000;
  list.AppendStored(p);

  struct Case {
    int32_t time, lower, upper;
  } cases[] = {{2500, 1, 2}, {2000, 1, 1}, {500, -1, 0}, {3500, 2, -1}, {1000, 0, 0}, {3000, 1, 2}};
  for (const Case& c : cases) {
    list.FindByTime(PwTime(c.time), lo, hi);
    EXPECT_EQ(lo, c.lower) << c.time;
    EXPECT_EQ(hi, c.upper) << c.time;
  }

  // A long list goes through the halving probes as well as the short linear ones.
  CPositionPlotList longList;
  for (int32_t i = 0; i < 10000; ++i) {
    p.iTime = i * 100;
    p.iDistance = i * 7;
    longList.AppendStored(p);
  }
  for (int32_t t : {1, 99, 100, 555550, 999899}) {
    longList.FindByTime(PwTime(t), lo, hi);
    if (t % 100 == 0) {
      EXPECT_EQ(lo, t / 100);
      EXPECT_EQ(hi, t / 100);
    } else {
      EXPECT_EQ(lo, t / 100) << t;
      EXPECT_EQ(hi, t / 100 + 1) << t;
    }
  }
  longList.FindByDistance(TDistance(7 * 1234.5 / KArcUnitsPerRadian), lo, hi);
  EXPECT_EQ(lo, 1234);
  EXPECT_EQ(hi, 1235);
  longList.FindByDistance(TDistance::Invalid(), lo, hi);
  EXPECT_EQ(lo, -1);

  // Lists without positions have no distances; the search still ends.
  std::unique_ptr<CDataLoggerPlotList> logger(CDataLoggerPlotList::NewL());
  TDataLoggerRecord r;
  for (int32_t i = 0; i < 5; ++i) logger->Append(PwTime(i), r);
  logger->FindByDistance(TDistance(1.0), lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 1);
}

namespace {

// A straight trace north with a sample every 10 m of distance.
void FillTrace(CPositionPlotList& aList, int32_t aCount) {
  for (int32_t i = 0; i < aCount; ++i) {
    TPositionPlot p;
    p.iTime = i * 1000;
    p.iLatitude = 3000000 + i * 100;
    p.iLongitude = 600000;
    p.iDistance = RadiansToArcUnits(TDistance::FromMetres(10.0 * i).iValue);
    aList.AppendStored(p);
  }
}

}  // namespace

TEST(PlotListCursor, MovesByDistanceAndStepsWithWrapAround) {
  CPositionPlotList list;
  list.CursorForward(100);
  EXPECT_EQ(list.Cursor(), 0) << "an empty list keeps the cursor at 0";
  list.CursorBack(100);
  EXPECT_EQ(list.Cursor(), 0);
  FillTrace(list, 10);  // 0, 10, ... 90 m

  list.CursorForward(35);
  EXPECT_EQ(list.Cursor(), 3) << "last sample within 35 m";
  list.CursorForward(1);
  EXPECT_EQ(list.Cursor(), 4) << "at least one sample";
  list.CursorForward(1000);
  EXPECT_EQ(list.Cursor(), 9) << "stops at the last sample";
  list.CursorForward(10);
  EXPECT_EQ(list.Cursor(), 0) << "wraps from the last sample";

  list.CursorBack(10);
  EXPECT_EQ(list.Cursor(), 9) << "wraps from 0 to the last";
  list.CursorBack(25);
  EXPECT_EQ(list.Cursor(), 7) << "first sample after the one 25 m back (60 m < 65 m)";
  list.CursorBack(1);
  EXPECT_EQ(list.Cursor(), 6) << "at least one sample back";
  list.CursorBack(1000);
  EXPECT_EQ(list.Cursor(), 0);

  list.CursorStep(30, true);
  EXPECT_EQ(list.Cursor(), 0) << "beyond the last wraps to 0";
  list.CursorStep(4, true);
  EXPECT_EQ(list.Cursor(), 4);
  list.CursorStep(5, false);
  EXPECT_EQ(list.Cursor(), 9) << "before 0 wraps to the last";
  list.CursorStep(1, true);
  EXPECT_EQ(list.Cursor(), 0);
}

TEST(PlotListInterpolation, BlendsNeighboursAndTakesTheShortWayAcrossNorth) {
  CPositionPlotList list;
  TPositionPlot a, b;
  a.iTime = 1000;
  a.iLatitude = 1000;
  a.iLongitude = -2000;
  a.iSpeed = 100;
  a.iDistance = 0;
  a.iAltitude = 50;
  a.iBearing = 35000;
  b = a;
  b.iTime = 2000;
  b.iLatitude = 2001;
  b.iLongitude = -3001;
  b.iSpeed = 300;
  b.iDistance = 1000;
  b.iAltitude = 70;
  b.iBearing = 1000;
  b.iFlags = TPositionPlot::EncodeFlags(7, false, true);
  list.AppendStored(a);
  list.AppendStored(b);

  EXPECT_DOUBLE_EQ(list.InterpolateSpeed(1, 0.25), 150.0);
  EXPECT_DOUBLE_EQ(list.InterpolateDistance(1, 0.5), 500.0);
  EXPECT_EQ(list.InterpolatePosition(1, 0.5), TGeoPoint(TCoordinate(1501), TCoordinate(-2500)));
  EXPECT_EQ(list.InterpolatePosition(1, 1.0), b.GeoPoint());
  EXPECT_NEAR(list.InterpolateBearing(1, 0.5), 0.0, 1e-9) << "350 and 10 meet at north";
  EXPECT_NEAR(list.InterpolateBearing(1, 0.25), 355.0, 1e-9);
  EXPECT_EQ(list.InterpolateSpeed(0, 0.5), 0.0);
  EXPECT_EQ(list.InterpolateSpeed(2, 0.5), 0.0);
  EXPECT_FALSE(list.InterpolatePosition(2, 0.5).IsValid());

  TPositionPlot s;
  ASSERT_TRUE(list.InterpolateSample(1, 0.5, s));
  EXPECT_EQ(s.iTime, 1500);
  EXPECT_EQ(s.iSpeed, 200);
  EXPECT_EQ(s.iAltitude, 60);
  EXPECT_EQ(s.iBearing, 0);
  EXPECT_EQ(s.Satellites(), 7);
  EXPECT_FALSE(s.IsDiscontinuity()) << "a crossing never starts a trace segment";
  EXPECT_FALSE(list.InterpolateSample(0, 0.5, s));

  b.iTime = 3000;
  b.iSpeed = KInvalidInt;
  list.AppendStored(b);
  EXPECT_TRUE(std::isnan(list.InterpolateSpeed(2, 0.5)));
  EXPECT_EQ(list.Duration().Milliseconds(), 2000);
}

TEST(PlotListChannels, PositionChannelsReportPhysicalValues) {
  CPositionPlotList list;
  const TChannelId ids[] = {1, 3, 2, 4, 5, 7, 6, 9, 10, 11, 12, 13};
  for (int32_t c = 0; c < 12; ++c) EXPECT_EQ(list.ChannelId(c), ids[c]);
  EXPECT_EQ(list.ChannelId(12), 0);

  // Two samples 1 s apart: 10 -> 20 m/s while turning from 0 to 90 degrees.
  TPositionPlot p;
  p.iTime = 10000;
  p.iLatitude = 0;
  p.iLongitude = 0;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(10));
  p.iAltitude = TPositionPlot::EncodeDistance(TDistance::FromMetres(250));
  p.iBearing = 0;
  p.iHdop = 300;
  p.iVdop = 400;
  p.iFlags = 9;
  list.AppendStored(p);
  p.iTime = 11000;
  p.iLatitude = TCoordinate::FromDegrees(0.001).iValue;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(20));
  p.iDistance = TPositionPlot::EncodeDistance(TDistance::FromMetres(111.19));
  p.iBearing = 9000;
  list.AppendStored(p);

  double v = 0;
  ASSERT_EQ(list.ChannelValue(0, 1, PwTime(10500), v), 1);
  EXPECT_DOUBLE_EQ(v, 0.5);
  list.ChannelValue(1, 1, PwTime(0), v);
  EXPECT_NEAR(v, 111.19, 0.01);
  list.ChannelValue(2, 1, PwTime(10000), v);
  EXPECT_NEAR(v, 111.19, 0.01) << "direct distance from the sample at the base time";
  list.ChannelValue(2, 1, PwTime(11000), v);
  EXPECT_EQ(v, 0.0);
  list.ChannelValue(3, 0, PwTime(0), v);
  EXPECT_NEAR(v, 10.0, 1e-4);
  list.ChannelValue(4, 0, PwTime(0), v);
  EXPECT_NEAR(v, 250.0, 0.01);
  list.ChannelValue(5, 0, PwTime(0), v);
  EXPECT_EQ(v, 9.0);
  list.ChannelValue(6, 1, PwTime(0), v);
  EXPECT_EQ(v, 90.0);
  list.ChannelValue(9, 0, PwTime(0), v);
  EXPECT_DOUBLE_EQ(v, 5.0);
  list.ChannelValue(11, 1, PwTime(0), v);
  EXPECT_NEAR(v, 10.0 / 9.80665, 1e-4);
  list.ChannelValue(10, 1, PwTime(0), v);
  EXPECT_NEAR(v, 15.0 * (KPi / 2) / 9.80665, 1e-3) << "right turn is positive";
  EXPECT_EQ(list.ChannelValue(12, 0, PwTime(0), v), 0);
  EXPECT_EQ(list.ChannelValue(0, 2, PwTime(0), v), 0);
  EXPECT_NEAR(list.SpeedAt(1), 20.0, 1e-4);
  EXPECT_EQ(list.TimeAt(5).Milliseconds(), 0);
  EXPECT_EQ(list.DistanceAt(-1).iValue, 0.0);
  EXPECT_EQ(list.MinimumSpeed(), TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(10)));
}

TEST(PlotListChannels, ObdListsScaleRawValuesAndInterpolateByTime) {
  std::unique_ptr<CObdChannelList> channels(CObdChannelList::NewL());
  CObdPlotList obd(channels.get());
  CObdChannelPlotList* rpm = obd.ChannelList(0x0C);
  ASSERT_NE(rpm, nullptr);
  EXPECT_EQ(obd.ChannelList(0x0C), rpm);
  EXPECT_EQ(obd.ChannelList(0x01), nullptr);
  CObdChannelPlotList* speed = obd.ChannelList(0x0D);
  ASSERT_EQ(obd.ListCount(), 2);
  EXPECT_EQ(&obd.ListAt(1), speed) << "in order of first appearance";
  EXPECT_EQ(obd.FindListById(23), speed);

  rpm->Append(PwTime(1000), 4000);  // 1000 rpm
  rpm->Append(PwTime(2000), 8000);  // 2000 rpm
  EXPECT_DOUBLE_EQ(rpm->ValueAtTime(PwTime(1250)), 1250.0);
  EXPECT_DOUBLE_EQ(rpm->ValueAtTime(PwTime(2000)), 2000.0);
  EXPECT_TRUE(std::isnan(rpm->ValueAtTime(PwTime(2500))));
  EXPECT_TRUE(std::isnan(rpm->ValueAtTime(PwTime(500))));
  EXPECT_EQ(rpm->ChannelId(0), 21);
  EXPECT_EQ(rpm->ChannelId(1), 24);
  EXPECT_EQ(rpm->ChannelId(2), 0);
  double v;
  ASSERT_EQ(rpm->ChannelValue(1, 1, PwTime(0), v), 1);
  EXPECT_DOUBLE_EQ(v, 2000.0);
  EXPECT_TRUE(std::isnan(rpm->SpeedAt(0))) << "only the vehicle speed has a speed";
  speed->Append(PwTime(1000), 36);
  EXPECT_DOUBLE_EQ(speed->SpeedAt(0), 10.0);
  EXPECT_TRUE(obd.HasData());
}

TEST(PlotListChannels, LoggerChannelsStartLateFillGapsAndKeepRealValues) {
  std::unique_ptr<CDataLoggerPlotList> list(CDataLoggerPlotList::NewL());
  TDataLoggerRecord r;
  list->Append(PwTime(100), r);  // record 0: no values
  r.SetRawValue(1, 255);         // an analog reading of 255 is data
  list->Append(PwTime(200), r);  // record 1
  TDataLoggerRecord only6;
  only6.SetRawValue(6, -45);
  list->Append(PwTime(300), only6);  // record 2: channel 1 has a gap here
  list->Append(PwTime(400), r);      // record 3

  const CDataLoggerChannel& analog1 = list->Channel(1);
  EXPECT_EQ(analog1.StartIndex(), 1);
  EXPECT_EQ(analog1.ValueCount(), 3);
  EXPECT_EQ(analog1.RawValueAt(0), CDataLoggerChannel::KNoData);
  EXPECT_EQ(analog1.RawValueAt(2), CDataLoggerChannel::KNoData);
  int16_t raw = 0;
  EXPECT_TRUE(analog1.ValueAt(1, raw));
  EXPECT_EQ(raw, 255);
  EXPECT_FALSE(analog1.ValueAt(2, raw));

  double v = 0;
  ASSERT_EQ(list->ChannelValue(2, 1, PwTime(0), v), 1);
  EXPECT_EQ(v, 255.0);
  list->ChannelValue(2, 2, PwTime(0), v);
  EXPECT_TRUE(std::isnan(v));
  list->ChannelValue(7, 2, PwTime(0), v);
  EXPECT_DOUBLE_EQ(v, -0.45);
  list->ChannelValue(0, 3, PwTime(100), v);
  EXPECT_DOUBLE_EQ(v, 0.3);
  EXPECT_FALSE(list->Channel(0).HasData());

  // A value for a record the channel already covers is ignored.
  CDataLoggerChannel channel(3);
  channel.Append(5, 10);
  channel.Append(5, 11);
  channel.Append(4, 12);
  EXPECT_EQ(channel.ValueCount(), 1);
  EXPECT_EQ(channel.RawValueAt(5), 10);

  const TChannelId ids[] = {20000, 20002, 20003, 20004, 20005, 20006, 20007,
                            20008, 20009, 20011, 20012, 20013, 20010};
  for (int32_t c = 0; c < 13; ++c) EXPECT_EQ(list->ChannelId(c), ids[c]);
  CPwString name;
  list->ChannelName(0, name);
  EXPECT_EQ(name.View(), u"Data Logger Time");
  list->ChannelName(8, name);
  EXPECT_EQ(name.View(), u"Longidutinal G");

  // Nearest sample: the closer one, the later on a tie.
  EXPECT_EQ(list->NearestIndex(PwTime(240)), 1);
  EXPECT_EQ(list->NearestIndex(PwTime(250)), 2);
  EXPECT_EQ(list->NearestIndex(PwTime(50)), 0);
  EXPECT_EQ(list->NearestIndex(PwTime(900)), 3);
  std::unique_ptr<CDataLoggerPlotList> single(CDataLoggerPlotList::NewL());
  EXPECT_EQ(single->NearestIndex(PwTime(0)), -1);
  single->Append(PwTime(10), r);
  EXPECT_EQ(single->NearestIndex(PwTime(0)), 0);
}

TEST(PlotListChannels, LoggerRecordsEncodeAndSerialise) {
  TDataLoggerRecord r;
  EXPECT_TRUE(r.SetValue(KChannelLoggerLongitudinalG, -0.456));
  EXPECT_EQ(r.RawValue(6), -45);
  EXPECT_DOUBLE_EQ(TDataLoggerRecord::Decode(6, r.RawValue(6)), -0.45);
  EXPECT_TRUE(r.SetValue(KChannelLoggerAnalog1, 12.5));
  EXPECT_EQ(r.RawValue(1), 13);
  EXPECT_TRUE(r.SetValue(KChannelLoggerDigital2, 1e9));
  EXPECT_EQ(r.RawValue(11), 32767) << "out-of-range values saturate";
  EXPECT_FALSE(r.SetValue(KChannelLoggerAnalog1, std::nan("")));
  EXPECT_FALSE(r.SetValue(KChannelGpsSpeed, 1.0));

  uint8_t buf[TDataLoggerRecord::KMaxSerialisedBytes];
  EXPECT_EQ(r.Serialise(buf, 10), 0) << "the writer needs room for every channel";
  const int32_t n = r.Serialise(buf, sizeof buf);
  ASSERT_EQ(n, 8);
  TDataLoggerRecord back;
  ASSERT_TRUE(back.Deserialise(buf, n));
  EXPECT_EQ(back.iMask, r.iMask);
  EXPECT_EQ(back.RawValue(11), 32767);
  // A mask promising more values than the bytes hold keeps what is there.
  ASSERT_TRUE(back.Deserialise(buf, 4));
  EXPECT_EQ(back.iMask, 1u << 1);
  EXPECT_FALSE(back.Deserialise(buf, 1));
  EXPECT_EQ(back.iMask, 0);
}
