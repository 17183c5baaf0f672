#include "storage/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "foundation/file_stream.h"
#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

CPwString W(const std::string& aUtf8) { return PwStringFromUtf8(aUtf8); }

struct Bytes {
  std::string s;
  Bytes& i16(int v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
    return *this;
  }
  Bytes& i32(int64_t v) {
    for (int k = 0; k < 4; ++k) s += char((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& utf8(const std::string& t) {
    i16(static_cast<int>(t.size()));
    s += t;
    return *this;
  }
  Bytes& text(const std::string& t) {
    s += char(t.size() * 4);
    s += t;
    return *this;
  }
  Bytes& addr(const std::string& t) {
    s += t;
    return *this;
  }
};

const std::string KZeroAddr(6, '\0');

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("PACEWRIGHT_APPDATA");
    iHadEnv = old != nullptr;
    if (old) iOldEnv = old;
    setenv("PACEWRIGHT_APPDATA", iDir.Path().c_str(), 1);
  }
  void TearDown() override {
    pwplat::SetWriteBudgetForTest(-1);
    if (iHadEnv)
      setenv("PACEWRIGHT_APPDATA", iOldEnv.c_str(), 1);
    else
      unsetenv("PACEWRIGHT_APPDATA");
  }
  std::string File() const { return iDir.Path() + "/settings.dat"; }

  pwtest::TempDir iDir;
  bool iHadEnv = false;
  std::string iOldEnv;
};

// The default settings as the file holds them.
Bytes DefaultFile(const std::string& aRoot) {
  Bytes b;
  b.i16(0).text("").i32(2).i32(1).i32(3).i16(-1);
  b.addr(KZeroAddr).addr(KZeroAddr).addr(KZeroAddr);
  b.i16(1).i32(5).i32(0).i32(0).i32(0).i16(0);
  b.i32(2).i32(23).i32(24);
  b.i32(2).i32(26).i32(29);
  b.i16(0).i32(0).i16(1);
  b.utf8("").utf8("").utf8("").i32(0);
  b.utf8("").utf8("").utf8("");
  b.i32(4).i32(2).i16(0).i32(4).i32(5);
  b.utf8(aRoot).i32(0).utf8("").i32(0).i32(0).i32(6);
  return b;
}

TEST_F(SettingsTest, DefaultsAndTheirFileByteForByte) {
  CSettings settings(W("/media/docs/"));
  EXPECT_EQ(W("/media/docs/"), settings.StorageRoot());
  EXPECT_EQ(W("/media/docs/"), settings.CurrentStorageRoot());
  EXPECT_EQ(2, settings.TimerBacklight());
  EXPECT_EQ(1, settings.TimerDecimals());
  EXPECT_EQ(3, settings.Gps().iType);
  EXPECT_EQ(4, settings.Gps().iSerialPort);
  EXPECT_EQ(5, settings.Obd().iSerialPort);
  EXPECT_EQ(6, settings.Logger().iSerialPort);
  EXPECT_EQ(-1, settings.ViewSelector());
  EXPECT_EQ(1, settings.SaveNmea());
  EXPECT_EQ(1, settings.StartupWarning());
  EXPECT_EQ(5, settings.HiLoThreshold());
  EXPECT_EQ(4, settings.BrakingLimit());
  EXPECT_EQ(2, settings.AccelerationLimit());
  ASSERT_EQ(2, settings.GraphChannels(CSettings::KGraphKindLap).Count());
  EXPECT_EQ(KChannelGpsSpeed, settings.GraphChannels(1).At(0));
  EXPECT_EQ(KChannelObdSpeed, settings.GraphChannels(1).At(1));
  ASSERT_EQ(3, settings.GraphChannels(CSettings::KGraphKindRun).Count());
  EXPECT_EQ(KChannelDistanceDirect, settings.GraphChannels(2).At(1));
  EXPECT_EQ(2, settings.GraphChannels(CSettings::KGraphKindSpan).Count());
  EXPECT_EQ(1.0, settings.GraphWindowFactor());
  EXPECT_EQ(1.0, settings.GraphMapFactor());

  ASSERT_EQ(0, settings.SaveSafely());
  EXPECT_EQ(DefaultFile("/media/docs/").s, pwtest::ReadFileBytes(File()));

  // A missing file keeps every default.
  ASSERT_EQ(0, std::remove(File().c_str()));
  CSettings missing(W("/r/"));
  missing.SetTimerDecimals(3);
  missing.Load();
  EXPECT_EQ(3, missing.TimerDecimals());
  EXPECT_EQ(W("/r/"), missing.StorageRoot());
}

// The live delta is on by default and stored only when switched off, as one Int16 0 after the
// gpsd place, so that a file of the defaults keeps its bytes.
TEST_F(SettingsTest, TheLiveDeltaIsStoredOnlyWhenSwitchedOff) {
  CSettings off(W("/media/docs/"));
  EXPECT_EQ(1, off.LiveDelta());
  off.SetLiveDelta(0);
  ASSERT_EQ(0, off.SaveSafely());
  EXPECT_EQ(DefaultFile("/media/docs/").utf8("localhost").i32(2947).i16(0).s,
            pwtest::ReadFileBytes(File()));
  CSettings loaded(W("/x/"));
  EXPECT_FALSE(loaded.Load());
  EXPECT_EQ(0, loaded.LiveDelta());
  EXPECT_EQ(W("/media/docs/"), loaded.StorageRoot());
  CSettings copy(W("/y/"));
  copy.CopyFrom(loaded);
  EXPECT_EQ(0, copy.LiveDelta());

  // A file of an earlier build, which ends at the last item, has it on again.
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), DefaultFile("/media/docs/").s));
  EXPECT_FALSE(loaded.Load());
  EXPECT_EQ(1, loaded.LiveDelta());
  // A stored 1 (written before tagged items) means on; half an item is damage, and reads as on.
  const Bytes gpsdPlace = DefaultFile("/media/docs/").utf8("localhost").i32(2947);
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), Bytes(gpsdPlace).i16(1).s));
  loaded.SetLiveDelta(0);
  EXPECT_FALSE(loaded.Load());
  EXPECT_EQ(1, loaded.LiveDelta());
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), gpsdPlace.s + '\0'));
  EXPECT_TRUE(loaded.Load());
  EXPECT_EQ(1, loaded.LiveDelta());
  // Saved on again, the file is the defaults' once more.
  loaded.SetLiveDelta(1);
  ASSERT_EQ(0, loaded.SaveSafely());
  EXPECT_EQ(DefaultFile("/media/docs/").s, pwtest::ReadFileBytes(File()));
}

TEST_F(SettingsTest, EveryPersistentSettingSurvivesSaveAndLoad) {
  CSettings out(W("/old/"));
  out.SetFlagA(1);
  out.SetTextA(W("A\xC3\xA9"));
  out.SetTimerBacklight(1);
  out.SetTimerDecimals(3);
  out.Gps().iType = 2;
  out.SetViewSelector(7);
  for (int i = 0; i < 6; ++i) {
    out.Gps().iBtAddr[i] = uint8_t(0x10 + i);
    out.Obd().iBtAddr[i] = uint8_t(0x20 + i);
    out.Logger().iBtAddr[i] = uint8_t(0xF0 + i);
  }
  out.SetSaveNmea(0);
  out.SetHiLoThreshold(20);
  out.Obd().iType = 2;
  out.Gps().iBaudRate = 1152;
  out.Obd().iBaudRate = 384;
  out.HighPriorityChannels().Reset();
  out.HighPriorityChannels().Add(KChannelObdThrottle);
  out.LowPriorityChannels().Reset();  // an empty list is a single Int32 0
  out.SetUnits(1);
  out.SetTimerOrientation(2);
  out.SetStartupWarning(0);
  out.SetLastDriver(W("Kai"));
  out.SetLastTrack(W("Ring"));
  out.SetLastTest(W("0-100 kph"));
  out.SetLastSessionType(1);
  out.SetGpsDeviceName(W("Receiver"));
  out.SetObdDeviceName(W("OBDKey"));
  out.SetLoggerDeviceName(W("Vane"));
  out.SetBrakingLimit(7);
  out.SetAccelerationLimit(0);
  out.SetLapListOption(1);
  out.Gps().iSerialPort = 99;
  out.Obd().iSerialPort = 12;
  out.SetStorageRoot(W("/media/card/"));
  out.SetGpsInputFile(W("/logs/drive.nmea"));
  out.Logger().iType = 3;
  out.Logger().iBaudRate = 96;
  out.Logger().iSerialPort = 33;
  ASSERT_EQ(0, out.SaveSafely());

  CSettings in(W("/default/"));
  in.Load();
  EXPECT_EQ(0, in.FlagA());  // written, but never read back
  EXPECT_EQ(W("A\xC3\xA9"), in.TextA());
  EXPECT_EQ(1, in.TimerBacklight());
  EXPECT_EQ(3, in.TimerDecimals());
  EXPECT_EQ(2, in.Gps().iType);
  EXPECT_EQ(7, in.ViewSelector());
  EXPECT_TRUE(out.Gps().iBtAddr == in.Gps().iBtAddr);
  EXPECT_TRUE(out.Obd().iBtAddr == in.Obd().iBtAddr);
  EXPECT_TRUE(out.Logger().iBtAddr == in.Logger().iBtAddr);
  EXPECT_EQ(0, in.SaveNmea());
  EXPECT_EQ(20, in.HiLoThreshold());
  EXPECT_EQ(2, in.Obd().iType);
  EXPECT_EQ(1152, in.Gps().iBaudRate);
  EXPECT_EQ(384, in.Obd().iBaudRate);
  ASSERT_EQ(1, in.HighPriorityChannels().Count());
  EXPECT_EQ(KChannelObdThrottle, in.HighPriorityChannels().At(0));
  EXPECT_EQ(0, in.LowPriorityChannels().Count());
  EXPECT_EQ(1, in.Units());
  EXPECT_EQ(2, in.TimerOrientation());
  EXPECT_EQ(0, in.StartupWarning());
  EXPECT_EQ(W("Kai"), in.LastDriver());
  EXPECT_EQ(W("Ring"), in.LastTrack());
  EXPECT_EQ(W("0-100 kph"), in.LastTest());
  EXPECT_EQ(1, in.LastSessionType());
  EXPECT_EQ(W("Receiver"), in.GpsDeviceName());
  EXPECT_EQ(W("OBDKey"), in.ObdDeviceName());
  EXPECT_EQ(W("Vane"), in.LoggerDeviceName());
  EXPECT_EQ(7, in.BrakingLimit());
  EXPECT_EQ(0, in.AccelerationLimit());
  EXPECT_EQ(1, in.LapListOption());
  EXPECT_EQ(99, in.Gps().iSerialPort);
  EXPECT_EQ(12, in.Obd().iSerialPort);
  EXPECT_EQ(W("/media/card/"), in.StorageRoot());
  EXPECT_EQ(W("/media/card/"), in.CurrentStorageRoot());
  EXPECT_EQ(W("/logs/drive.nmea"), in.GpsInputFile());
  EXPECT_EQ(3, in.Logger().iType);
  EXPECT_EQ(96, in.Logger().iBaudRate);
  EXPECT_EQ(33, in.Logger().iSerialPort);

  // Item 16 with one channel and item 17 empty, as stored.
  const std::string bytes = pwtest::ReadFileBytes(File());
  const std::string lists = Bytes().i16(0).i32(1).i32(25).i32(0).i16(1).s;
  EXPECT_NE(std::string::npos, bytes.find(lists));
}

TEST_F(SettingsTest, ShortAndDamagedFilesKeepDefaultsAfterTheDamage) {
  // An earlier build wrote only the first five items.
  Bytes early;
  early.i16(1).text("x").i32(0).i32(2).i32(2);
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), early.s));
  CSettings settings(W("/docs/"));
  settings.Load();
  EXPECT_EQ(0, settings.TimerBacklight());
  EXPECT_EQ(2, settings.TimerDecimals());
  EXPECT_EQ(2, settings.Gps().iType);
  EXPECT_EQ(-1, settings.ViewSelector());
  EXPECT_EQ(4, settings.Gps().iSerialPort);
  EXPECT_EQ(W("/docs/"), settings.StorageRoot());
  EXPECT_EQ(2, settings.HighPriorityChannels().Count());

  // Every cut of a full file reads up to the cut and never crashes.
  const std::string whole = DefaultFile("/card/").s;
  for (size_t n = 0; n <= whole.size(); ++n) {
    ASSERT_TRUE(pwtest::WriteFileBytes(File(), whole.substr(0, n)));
    CSettings cut(W("/docs/"));
    cut.HighPriorityChannels().Add(KChannelObdStandards);
    cut.Load();
    // The storage root is the 33rd item: only a file that reaches past it changes it.
    const bool rootRead = n >= whole.size() - (4 + 2 + 4 + 4 + 4);
    EXPECT_EQ(rootRead ? W("/card/") : W("/docs/"), cut.StorageRoot()) << n;
    // A channel list cut off halfway keeps what was there before.
    const int32_t high = cut.HighPriorityChannels().Count();
    EXPECT_TRUE(high == 2 || high == 3) << n;
  }

  // A huge channel count is damage, not a reason to read forever.
  std::string huge = whole.substr(0, 2 + 1 + 12 + 2 + 18 + 2 + 16 + 2);
  huge += Bytes().i32(0x7FFFFFFF).i32(23).s;
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), huge));
  CSettings big(W("/docs/"));
  big.Load();
  EXPECT_EQ(2, big.HighPriorityChannels().Count());
  EXPECT_EQ(0, big.Units());

  // Random damage never crashes.
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string junk = whole;
    for (int k = 0; k < 5; ++k) junk[random() % junk.size()] = char(random());
    ASSERT_TRUE(pwtest::WriteFileBytes(File(), junk));
    CSettings any(W("/docs/"));
    any.Load();
  }
}

TEST_F(SettingsTest, TheGpsdPlaceFollowsTheEarlierItemsOnlyWhenItIsNotTheDefault) {
  CSettings settings(W("/docs/"));
  EXPECT_EQ(W("localhost"), settings.GpsdHost());
  EXPECT_EQ(2947, settings.GpsdPort());
  settings.Gps().iType = 4;
  ASSERT_EQ(0, settings.SaveSafely());
  Bytes gpsd = DefaultFile("/docs/");
  gpsd.s[2 + 1 + 4 + 4] = 4;  // item 5, the GPS type
  EXPECT_EQ(gpsd.s, pwtest::ReadFileBytes(File()));

  // Only the host changed: item 39 alone. The port: both, the host at its default.
  settings.SetGpsdHost(W("pi-car.local"));
  ASSERT_EQ(0, settings.SaveSafely());
  EXPECT_EQ(Bytes(gpsd).utf8("pi-car.local").s, pwtest::ReadFileBytes(File()));
  CSettings host(W("/docs/"));
  EXPECT_FALSE(host.Load());
  EXPECT_EQ(W("pi-car.local"), host.GpsdHost());
  EXPECT_EQ(2947, host.GpsdPort());
  settings.SetGpsdHost(W("localhost"));
  settings.SetGpsdPort(12947);
  ASSERT_EQ(0, settings.SaveSafely());
  const std::string both = Bytes(gpsd).utf8("localhost").i32(12947).s;
  EXPECT_EQ(both, pwtest::ReadFileBytes(File()));
  CSettings port(W("/docs/"));
  EXPECT_FALSE(port.Load());
  EXPECT_EQ(W("localhost"), port.GpsdHost());
  EXPECT_EQ(12947, port.GpsdPort());
  CSettings copy(W("/other/"));
  copy.CopyFrom(port);
  EXPECT_EQ(12947, copy.GpsdPort());

  // A file of an earlier build keeps the defaults and is no damage; a port cut in half is.
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), gpsd.s));
  CSettings early(W("/docs/"));
  EXPECT_FALSE(early.Load());
  EXPECT_EQ(4, early.Gps().iType);
  EXPECT_EQ(W("localhost"), early.GpsdHost());
  EXPECT_EQ(2947, early.GpsdPort());
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), both.substr(0, both.size() - 2)));
  CSettings cut(W("/docs/"));
  EXPECT_TRUE(cut.Load());
  EXPECT_EQ(2947, cut.GpsdPort());
}

TEST_F(SettingsTest, FailedSaveKeepsThePreviousFile) {
  CSettings settings(W("/docs/"));
  ASSERT_EQ(0, settings.SaveSafely());
  const std::string good = pwtest::ReadFileBytes(File());
  settings.SetLastDriver(W("Somebody with a rather long name"));
  pwplat::SetWriteBudgetForTest(30);
  EXPECT_EQ(KErrCannotOpen, settings.SaveSafely());
  pwplat::SetWriteBudgetForTest(-1);
  EXPECT_EQ(good, pwtest::ReadFileBytes(File()));
  EXPECT_EQ(W("Somebody with a rather long name"), settings.LastDriver());
  EXPECT_EQ(0, settings.SaveSafely());
  CSettings back(W("/docs/"));
  back.Load();
  EXPECT_EQ(W("Somebody with a rather long name"), back.LastDriver());
}

TEST(Settings, CopyFromTakesEveryFieldIncludingTheViewState) {
  CSettings a(W("/a/"));
  CSettings b(W("/b/"));
  b.SetCurrentStorageRoot(W("/elsewhere/"));
  b.SetSessionListMode(3);
  b.SetLapListMode(4);
  b.SetDifferenceMode(1);
  b.SetHideInvalid(1);
  b.SetFontScale(130);
  b.SetMapScale(2.5);
  b.SetGraphScaled(1);
  b.SetGraphFlags(2, 5);
  b.GraphChannels(3).Add(KChannelObdRpm);
  b.WidenGraphWindow(3);
  b.SetFlagA(1);
  b.Logger().iBtAddr[5] = 9;
  b.LowPriorityChannels().Remove(26);
  a.CopyFrom(b);
  EXPECT_EQ(W("/b/"), a.StorageRoot());
  EXPECT_EQ(W("/elsewhere/"), a.CurrentStorageRoot());
  EXPECT_EQ(3, a.SessionListMode());
  EXPECT_EQ(4, a.LapListMode());
  EXPECT_EQ(1, a.DifferenceMode());
  EXPECT_EQ(1, a.HideInvalid());
  EXPECT_EQ(130, a.FontScale());
  EXPECT_EQ(2.5, a.MapScale());
  EXPECT_EQ(1, a.GraphScaled());
  EXPECT_EQ(5, a.GraphFlags(2));
  EXPECT_TRUE(a.GraphChannels(3).Equals(b.GraphChannels(3)));
  EXPECT_EQ(4.0, a.GraphWindowFactor());
  EXPECT_EQ(1, a.FlagA());
  EXPECT_EQ(9, a.Logger().iBtAddr[5]);
  ASSERT_EQ(1, a.LowPriorityChannels().Count());
  EXPECT_EQ(KChannelObdIntakeTemperature, a.LowPriorityChannels().At(0));
}

TEST(Settings, GraphZoomStepsStopWhereTheyShould) {
  CSettings s(W("/"));
  EXPECT_EQ(4.0, s.WidenGraphWindow(3));
  s.SetGraphWindowFactor(1.0);
  EXPECT_EQ(16.0, s.WidenGraphWindow(20));  // stops once the factor reaches 10
  EXPECT_EQ(16.0, s.WidenGraphWindow(100));
  s.SetGraphWindowFactor(1.0);
  EXPECT_EQ(0.25, s.NarrowGraphWindow(0.3));
  s.SetGraphWindowFactor(1.0);
  EXPECT_LE(s.NarrowGraphWindow(0), 0.0005);
  EXPECT_GT(s.GraphWindowFactor(), 0.0002);

  EXPECT_EQ(4.0, s.GraphMapZoomOut(3));
  EXPECT_EQ(4.0, s.GraphMapZoomOut(1.5));   // 1.5 * 1.01 is below 4 already
  s.SetGraphMapFactor(1.0);
  EXPECT_EQ(2.0, s.GraphMapZoomOut(0.995)); // within one percent counts as reached
  s.SetGraphMapFactor(8.0);
  EXPECT_EQ(2.0, s.GraphMapZoomIn(3));
  EXPECT_EQ(0.5, s.GraphMapZoomIn(1.01));

  // Hostile values end at once instead of looping forever.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  s.SetGraphMapFactor(1.0);
  EXPECT_EQ(1.0, s.GraphMapZoomOut(inf));
  EXPECT_EQ(1.0, s.GraphMapZoomOut(0));
  EXPECT_EQ(1.0, s.GraphMapZoomIn(nan));
  EXPECT_TRUE(std::isfinite(s.GraphMapZoomOut(1e308)));
  s.SetGraphMapFactor(0);
  EXPECT_EQ(2.0, s.GraphMapZoomOut(1));
  s.SetGraphWindowFactor(nan);
  EXPECT_EQ(2.0, s.WidenGraphWindow(1.5));
}

TEST(ChannelList, KeepsOneOfEachInInsertionOrder) {
  CChannelList list;
  list.Add(KChannelObdRpm);
  list.Add(KChannelGpsSpeed);
  list.Add(KChannelObdRpm);
  ASSERT_EQ(2, list.Count());
  EXPECT_EQ(KChannelObdRpm, list.At(0));
  EXPECT_EQ(1, list.IndexOf(KChannelGpsSpeed));
  EXPECT_EQ(-1, list.IndexOf(KChannelAltitude));
  list.Set(KChannelAltitude, true);
  list.Set(KChannelObdRpm, false);
  list.Set(99, false);  // not in the list
  ASSERT_EQ(2, list.Count());
  EXPECT_EQ(KChannelGpsSpeed, list.At(0));
  EXPECT_EQ(KChannelAltitude, list.At(1));
  EXPECT_FALSE(list.Contains(KChannelObdRpm));
  CChannelList copy;
  copy.Add(KChannelGpsTime);
  copy.CopyFrom(list);
  EXPECT_TRUE(copy.Equals(list));
  copy.CopyFrom(copy);
  EXPECT_EQ(2, copy.Count());
  list.Remove(KChannelGpsSpeed);
  EXPECT_FALSE(copy.Equals(list));
}

}  // namespace

TEST_F(SettingsTest, ADamagedFileIsKeptAsACopyBeforeItIsWrittenOver) {
  const std::string copy = File() + ".damaged";
  // A file of an earlier build ends between two items: nothing to keep.
  Bytes early;
  early.i16(1).text("x").i32(0).i32(2).i32(2);
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), early.s));
  CSettings settings(W("/docs/"));
  EXPECT_FALSE(settings.Load());
  EXPECT_FALSE(std::ifstream(copy).good());

  // One cut inside an item, or with a count that cannot be, is damage: the copy holds the
  // file as it was, whatever is saved over it afterwards.
  const std::string whole = DefaultFile("/card/").s;
  for (const std::string& damaged : {whole.substr(0, 2 + 1 + 12 + 2 + 18 + 2 + 16 + 2) + Bytes().i32(0x7FFFFFFF).s,
                                     whole.substr(0, whole.size() - 2)}) {
    ASSERT_TRUE(pwtest::WriteFileBytes(File(), damaged));
    CSettings loaded(W("/docs/"));
    EXPECT_TRUE(loaded.Load());
    ASSERT_EQ(0, loaded.SaveSafely());
    EXPECT_EQ(damaged, pwtest::ReadFileBytes(copy));
    EXPECT_NE(damaged, pwtest::ReadFileBytes(File()));
  }
  // A whole file is no damage and leaves the last copy alone.
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), whole));
  CSettings healthy(W("/docs/"));
  EXPECT_FALSE(healthy.Load());
  EXPECT_EQ(whole.size() - 2, pwtest::ReadFileBytes(copy).size());
}
