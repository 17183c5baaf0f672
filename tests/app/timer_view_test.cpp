// The live timer on the real model and GUI: the shipped demo drive fed epoch by epoch into a
// recording session on "Example track", with the timer's lines and pictures checked while it
// waits, runs, shows a split and a finished lap; its display modes, keys and commands, the
// device status lines, the spoken lap times, odd window sizes, and the keys-locked screen.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/draw/pw_font.h"
#include "app/views/delta_bar_control.h"
#include "app/views/keys_locked_control.h"
#include "app/views/timer_controls.h"
#include "app/views/timer_view.h"
#include "gui_harness.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/lap_delta.h"
#include "timing/lap_list.h"
#include "timing/live_delta.h"
#include "timing/timer_helper.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"
#include "timing/track_session.h"

namespace {

const std::string KExamples = std::string(PW_SOURCE_DATA_DIR) + "/examples/";
const std::string KTrackFile = "Pacewright/Tracks/Example track-track.bin";

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

std::string Framed(const std::string& aBody) {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + aBody + tail;
}

class TimerViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string drive = pwtest::ReadFileBytes(KExamples + "demo-drive.nmea");
    const std::string track = pwtest::ReadFileBytes(KExamples + KTrackFile);
    if (drive.empty() || track.empty()) GTEST_SKIP() << "the examples are not built";
    // Only the example track is installed: no icons, so that pictures do not follow them.
    std::filesystem::create_directories(iEnv.iDir / "install/examples/Pacewright/Tracks");
    ASSERT_TRUE(pwtest::WriteFileBytes(iEnv.iDir / ("install/examples/" + KTrackFile), track));
    for (size_t at = drive.find("$GPRMC"); at != std::string::npos;) {
      const size_t next = drive.find("$GPRMC", at + 1);
      iEpochs.push_back(drive.substr(at, next == std::string::npos ? std::string::npos : next - at));
      at = next;
    }
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    CSettings& settings = iEnv.iModel->Settings();
    // A Bluetooth GPS without an address is never started: the test hands over the bytes.
    settings.Gps().iType = MDeviceSettings::EGpsBluetooth;
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
  }

  CModel& Model() { return *iEnv.iModel; }
  CTrackSession& Session() { return *Model().TrackSession(); }

  void StartSession(int32_t aType = ESessionLapTiming) {
    CSessionInfo description;
    description.SetTitle(u"Live");
    description.SetSessionType(aType);
    description.SetTrackName(u"Example track");
    ASSERT_EQ(Model().NewSession(description), 1);
    Model().ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    ASSERT_TRUE(Session().IsRecording());
  }

  void OpenTimer() {
    iEnv.iGui->OpenView(CTimerView::KViewNumber);
    iEnv.iWindow.Finish();
    ASSERT_EQ(iEnv.iGui->CurrentView()->ViewNumber(), CTimerView::KViewNumber);
  }
  CTimerControl& Timer() { return *static_cast<CTimerView*>(iEnv.iGui->CurrentView())->TimerControl(); }
  void SetMode(int32_t aMode) {
    for (int i = 0; i < 3 && Timer().DisplayMode() != aMode; ++i) Timer().Toggle();
    ASSERT_EQ(Timer().DisplayMode(), aMode);
    iEnv.iWindow.Paint();
  }

  // Feeds epochs until aDone holds after one; false when the drive ends first.
  bool FeedUntil(const std::function<bool(const CTimerHelper&)>& aDone) {
    while (iNext < iEpochs.size()) {
      const std::string& epoch = iEpochs[iNext++];
      Model().DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(epoch.data()),
                                                               static_cast<int32_t>(epoch.size())));
      CTimerHelper& timer = Session().Timer();
      timer.Update();
      if (aDone(timer)) {
        iEnv.iWindow.Paint();
        return true;
      }
    }
    return false;
  }
  PwTime Now() { return Session().Timer().RunningTime(); }

  pwtest::ModelGui iEnv;
  std::vector<std::string> iEpochs;
  size_t iNext = 0;
};

TEST_F(TimerViewTest, ADemoDriveWaitsRunsShowsSplitsAndLapsAndSpeaksTheLapTimes) {
  StartSession();
  OpenTimer();
  EXPECT_EQ(Timer().DisplayMode(), 2);
  EXPECT_FALSE(iEnv.iGui->StatusPane().IsVisible());
  EXPECT_TRUE(Model().TimerViewActive());
  CSimpleTimerControl& simple = Timer().SimpleTimer();
  CNormalTimerControl& normal = Timer().NormalTimer();

  // Leaving the pits: nothing timed yet.
  ASSERT_TRUE(FeedUntil([&](const CTimerHelper&) { return iNext == 40; }));
  EXPECT_EQ(Session().Laps().LapCount(), 0);
  EXPECT_FALSE(simple.StatusLine().IsVisible());
  EXPECT_TRUE(simple.SatelliteLine().IsVisible());
  EXPECT_EQ(Utf8(simple.CurrentLine().Text(CBigTextControl::ECentre)), "Waiting...");
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_waiting.png");
  SetMode(0);
  EXPECT_EQ(Utf8(normal.MainLine().Text(CBigTextControl::ECentre)), "Waiting...");
  EXPECT_FALSE(normal.StatusLine().IsVisible());
  EXPECT_FALSE(normal.DifferenceLine().IsVisible());
  SetMode(2);

  // Lap 1 under way: whole seconds on the normal timer, tenths (truncated) on the simple one.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningTime().IsSet() && t.RunningTime() >= 15050; }));
  EXPECT_EQ(Utf8(simple.CurrentLine().Text(CBigTextControl::ERight)), "15.0");
  EXPECT_EQ(Utf8(simple.CurrentLine().Label(CBigTextControl::ETopRight)), "Lap 1");
  EXPECT_EQ(simple.CurrentLine().Background(), CSimpleTimerControl::KRunningColour);
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_running.png");
  SetMode(0);
  EXPECT_EQ(Utf8(normal.MainLine().Text(CBigTextControl::ERight)), "15");
  SetMode(2);

  // Lap 1 ends: its time is spoken at once.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningNumber() == 2; }));
  ASSERT_EQ(Session().Laps().LapCount(), 2);
  EXPECT_EQ(Model().AnnouncementCount(), 1);
  CPwString spoken;
  Session().Laps().Lap(0)->LapTime().FormatSpoken(spoken, 1);
  EXPECT_EQ(Utf8(Model().LastAnnouncement()), Utf8(spoken));

  // The first split of lap 2 against lap 1's: shown for 10 s with its difference and trap.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.ShowLast() && t.LastNumber() == 2 && t.RunningNumber() == 2; }));
  const PwTime split = Now();
  const CTimerHelper& readout = Session().Timer();
  ASSERT_TRUE(readout.Difference().IsSet());
  CPwString text;
  readout.LastTime().FormatDuration(text, 1, false, true);
  EXPECT_EQ(Utf8(simple.CurrentLine().Text(CBigTextControl::ERight)), Utf8(text));
  EXPECT_EQ(Utf8(simple.DifferenceLine().Label(CBigTextControl::ETopLeft)), Utf8(readout.Text()));
  EXPECT_EQ(simple.DifferenceLine().Background(), readout.Difference() < 0 ? CSimpleTimerControl::KBetterColour
                                                                         : CSimpleTimerControl::KWorseColour);
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_split.png");
  SetMode(0);
  EXPECT_TRUE(normal.DifferenceLine().IsVisible());
  EXPECT_TRUE(normal.TrapNameLine().IsVisible());
  EXPECT_EQ(Utf8(normal.TrapNameLine().Text(CBigTextControl::ECentre)), Utf8(readout.Text()));
  const char16_t sign = normal.DifferenceLine().Text(CBigTextControl::ERight).CharAt(0);
  EXPECT_TRUE(sign == u'+' || sign == u'-');
  EXPECT_EQ(normal.DifferenceLine().Background(),
            readout.Difference() < 0 ? CNormalTimerControl::KBetterColour : CNormalTimerControl::KWorseColour);
  SetMode(2);
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return !t.ShowLast(); }));
  EXPECT_GE(Now() - split, 10000);
  EXPECT_LE(Now() - split, 10200);
  EXPECT_EQ(simple.CurrentLine().Background(), CSimpleTimerControl::KRunningColour);

  // Lap 2 finished: its time, difference and the finish line for 20 s.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningNumber() == 3; }));
  ASSERT_TRUE(readout.ShowLast());
  EXPECT_EQ(readout.LastNumber(), 2);
  EXPECT_EQ(Model().AnnouncementCount(), 2);
  Session().Laps().Lap(1)->LapTime().FormatSpoken(spoken, 1);
  EXPECT_EQ(Utf8(Model().LastAnnouncement()), Utf8(spoken));
  EXPECT_EQ(Utf8(simple.PreviousLine().Label(CBigTextControl::ETopRight)), "Lap 1");
  EXPECT_EQ(Utf8(simple.CurrentLine().Label(CBigTextControl::ETopRight)), "Lap 2");
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_finish.png");
  SetMode(0);
  EXPECT_TRUE(normal.DifferenceLine().IsVisible());
  EXPECT_EQ(Utf8(normal.MainLine().Label(CBigTextControl::ETopLeft)), "Lap 2");
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_finish_map.png");
  SetMode(1);
  EXPECT_FALSE(Timer().Map().IsVisible());
  EXPECT_TRUE(normal.DifferenceLine().IsVisible());
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_finish_normal.png");
  const PwTime finish = Now();
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return !t.ShowLast(); }));
  EXPECT_GE(Now() - finish, 19000);
  EXPECT_LE(Now() - finish, 20200);

  // Leaving hands the backlight back and tells the model.
  EXPECT_TRUE(Model().BacklightHeld());
  iEnv.iWindow.Press(0xF806);
  EXPECT_NE(iEnv.iGui->CurrentView()->ViewNumber(), CTimerView::KViewNumber);
  EXPECT_FALSE(Model().TimerViewActive());
  EXPECT_FALSE(Model().BacklightHeld());
}

// The epoch with the fix's HDOP in its GGA sentence replaced (the checksum made anew).
std::string WithHdop(const std::string& aEpoch, const std::string& aHdop) {
  std::string out;
  for (size_t at = 0; at < aEpoch.size();) {
    size_t end = aEpoch.find('\n', at);
    end = end == std::string::npos ? aEpoch.size() : end + 1;
    std::string line = aEpoch.substr(at, end - at);
    at = end;
    if (line.rfind("$GPGGA,", 0) == 0) {
      std::string body = line.substr(1, line.find('*') - 1);
      size_t field = 0, pos = 0;
      for (; field < 8 && pos != std::string::npos; ++field) pos = body.find(',', pos + 1);
      const size_t next = body.find(',', pos + 1);
      body.replace(pos + 1, next - pos - 1, aHdop);
      line = Framed(body);
    }
    out += line;
  }
  return out;
}

TEST_F(TimerViewTest, TheLiveDeltaRunsInPlaceOfTheDifferenceWhileALapIsUnderWay) {
  StartSession();
  OpenTimer();
  CSimpleTimerControl& simple = Timer().SimpleTimer();
  CNormalTimerControl& normal = Timer().NormalTimer();
  CDeltaBarControl& bar = simple.DeltaBar();
  // Lap 1 has nothing to be measured against.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningTime().IsSet() && t.RunningTime() >= 20000; }));
  EXPECT_FALSE(bar.IsVisible());
  EXPECT_TRUE(simple.DifferenceLine().IsVisible());

  // Lap 2 between its splits: the bar against lap 1 at the same place, where the difference
  // line would be empty.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningNumber() == 2 && !t.ShowLast(); }));
  ASSERT_TRUE(FeedUntil([&](const CTimerHelper& t) {
    return t.RunningTime() >= 12000 && std::abs(Session().Delta().Current().iDelta) >= 50;
  }));
  const TDeltaReading reading = Session().Delta().Current();
  ASSERT_TRUE(reading.iValid);
  EXPECT_FALSE(reading.iStale);
  EXPECT_EQ(reading.iPredicted, Session().Laps().Lap(0)->LapTime().Milliseconds() + reading.iDelta);
  EXPECT_TRUE(bar.IsVisible());
  EXPECT_FALSE(simple.DifferenceLine().IsVisible());
  EXPECT_EQ(bar.Rect(), simple.DifferenceLine().Rect());
  CPwString text;
  PwTime(reading.iDelta).FormatDuration(text, 2, true, true);
  EXPECT_EQ(Utf8(bar.Text(CBigTextControl::ECentre)), Utf8(text));
  EXPECT_EQ(text.CharAt(0), reading.iDelta < 0 ? u'-' : u'+');
  FormatTimerResult(reading.iPredicted, 1, false, text);
  EXPECT_EQ(Utf8(bar.Label(CBigTextControl::ETopRight)), "Predicted " + Utf8(text));
  // Full scale is two seconds to either side of the middle, gains to the left.
  EXPECT_EQ(bar.BarLength() < 0, reading.iDelta < 0);
  const int32_t reach = (bar.Rect().Width() - 2 * std::max(2, bar.Rect().Height() / 12)) / 2;
  EXPECT_NEAR(std::abs(bar.BarLength()), std::min(2000, std::abs(reading.iDelta)) * reach / 2000, 1);
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_delta_simple.png");

  // A sample repaints the bar when what it shows changes, and the running time above it (and the
  // satellite count) when they change, never the comparison and previous lines; a change of
  // the bar alone repaints nothing else.
  iEnv.iWindow.Paint();
  int32_t barOnly = 0;
  for (int i = 0; i < 40; ++i) {
    // With whole seconds shown the running time changes only once a second.
    if (i == 20) Model().Settings().SetTimerDecimals(0);
    ASSERT_TRUE(FeedUntil([&](const CTimerHelper&) {
      EXPECT_TRUE(i == 20 || !simple.ComparisonLine().NeedsDrawing());
      EXPECT_TRUE(i == 20 || !simple.PreviousLine().NeedsDrawing());
      if (bar.NeedsDrawing() && !simple.CurrentLine().NeedsDrawing() && !simple.SatelliteLine().NeedsDrawing()) {
        EXPECT_EQ(iEnv.iGui->DirtyRect(), bar.Rect());
        ++barOnly;
      }
      return true;
    }));
  }
  EXPECT_GE(barOnly, 2);
  Model().Settings().SetTimerDecimals(1);

  // A sample that cannot be matched holds the difference, greyed.
  const int32_t held = Session().Delta().Current().iDelta;
  ASSERT_LT(iNext, iEpochs.size());
  iEpochs[iNext] = WithHdop(iEpochs[iNext], "6.5");
  ASSERT_TRUE(FeedUntil([](const CTimerHelper&) { return true; }));
  EXPECT_TRUE(Session().Delta().Current().iStale);
  EXPECT_EQ(Session().Delta().Current().iDelta, held);
  EXPECT_TRUE(bar.IsStale());
  EXPECT_EQ(bar.TextColour(), CDeltaBarControl::KStaleTextColour);
  ASSERT_TRUE(FeedUntil([](const CTimerHelper&) { return true; }));
  EXPECT_FALSE(bar.IsStale());
  EXPECT_EQ(bar.TextColour(), 0xFFFFFFu);

  // The normal timer carries it in its label line, over the instruments.
  SetMode(1);
  CDeltaBarControl& line = normal.DeltaBar();
  EXPECT_TRUE(line.IsVisible());
  EXPECT_EQ(line.Rect(), normal.TrapNameLine().Rect());
  EXPECT_FALSE(normal.DifferenceLine().IsVisible());
  ASSERT_LT(line.Rect().Height(), CDeltaBarControl::KCompactHeight);
  EXPECT_EQ(Utf8(line.Text(CBigTextControl::ELeft)), Utf8(bar.Text(CBigTextControl::ECentre)));
  EXPECT_EQ(Utf8(line.Text(CBigTextControl::ERight)), Utf8(bar.Label(CBigTextControl::ETopRight)).substr(10));
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_delta_normal.png");

  // Switched off, the timers show exactly what they did without it.
  Model().Settings().SetLiveDelta(0);
  Model().UpdateViews(1);
  iEnv.iWindow.Paint();
  EXPECT_FALSE(line.IsVisible());
  SetMode(2);
  EXPECT_FALSE(bar.IsVisible());
  EXPECT_TRUE(simple.DifferenceLine().IsVisible());
  EXPECT_TRUE(simple.DifferenceLine().Text(CBigTextControl::ERight).IsEmpty());
  Model().Settings().SetLiveDelta(1);

  // A result takes the line back: the split and its difference, not the bar.
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.ShowLast(); }));
  EXPECT_FALSE(bar.IsVisible());
  EXPECT_TRUE(simple.DifferenceLine().IsVisible());
  EXPECT_FALSE(simple.DifferenceLine().Text(CBigTextControl::ERight).IsEmpty());
  SetMode(0);
  EXPECT_FALSE(normal.DeltaBar().IsVisible());
  EXPECT_TRUE(normal.DifferenceLine().IsVisible());
}

TEST_F(TimerViewTest, AComparisonLapWithoutSplitsGivesNoSplitDifference) {
  StartSession();
  OpenTimer();
  // Lap 1 is driven with the split lines taken away, lap 2 with them back: the comparison
  // lap (lap 1, the best) has no splits to compare lap 2's with.
  CTrackProfile& track = Session().Track();
  track.SetLock(0);
  CTrapLineList& traps = *track.Traps();
  std::vector<std::unique_ptr<CTrapLine>> splits;
  for (int32_t i = traps.Count() - 1; i >= 0; --i)
    if (traps.At(i)->Type() == ETrapSplit) {
      splits.emplace_back(new CTrapLine);
      splits.back()->CopyFrom(*traps.At(i));
      traps.SetCurrent(i);
      ASSERT_EQ(track.RemoveCurrentTrap(), 1);
    }
  ASSERT_FALSE(splits.empty());
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningNumber() == 2; }));
  ASSERT_EQ(Session().Laps().Lap(0)->SplitCount(), 0);
  for (const auto& split : splits) ASSERT_EQ(track.AddTrap(*split), 1);

  // Lap 2 passes its splits: each shows its time, never a difference to a split lap 1 lacks.
  CSimpleTimerControl& simple = Timer().SimpleTimer();
  int32_t shown = 0;
  while (FeedUntil([](const CTimerHelper& t) { return t.ShowLast() || t.RunningNumber() == 3; }) &&
         Session().Timer().RunningNumber() == 2) {
    ++shown;
    EXPECT_FALSE(Session().Timer().Difference().IsSet());
    EXPECT_FALSE(simple.CurrentLine().Text(CBigTextControl::ERight).IsEmpty());
    for (int32_t mode : {0, 1, 2}) SetMode(mode);
    ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return !t.ShowLast(); }));
  }
  EXPECT_GT(shown, 0);
  ASSERT_GT(Session().Laps().LapCount(), 1);
  EXPECT_GT(Session().Laps().Lap(1)->SplitCount(), 0);
  // The finish still compares the whole laps.
  EXPECT_EQ(Session().Timer().RunningNumber(), 3);
  EXPECT_TRUE(Session().Timer().Difference().IsSet());
}

TEST_F(TimerViewTest, ModesKeysAndCommandsFollowTheSession) {
  StartSession(ESessionDataLogging);
  OpenTimer();
  // Data logging: no main line, and Toggle alternates between the two map modes.
  EXPECT_EQ(Timer().DisplayMode(), 0);
  EXPECT_EQ(Timer().NormalTimer().MainLineHeight(), 0);
  iEnv.iWindow.Press(0xF800);
  EXPECT_EQ(Timer().DisplayMode(), 1);
  EXPECT_TRUE(Timer().Gauge().IsVisible());
  EXPECT_FALSE(Timer().Map().IsVisible());
  EXPECT_EQ(Timer().Gauge().Rect(), (TPwRect{0, Timer().Rect().iTop, 360, Timer().Rect().iBottom}));
  iEnv.iWindow.Press(13);
  EXPECT_EQ(Timer().DisplayMode(), 0);
  // The gauge sits as a square in the map's lower-left corner.
  const TPwRect map = Timer().Map().Rect(), gauge = Timer().Gauge().Rect();
  EXPECT_EQ(gauge.Width(), gauge.Height());
  EXPECT_EQ(gauge.Width(), std::min(map.Width() / 2, map.Height() / 2));
  EXPECT_EQ(gauge.iLeft, map.iLeft);
  EXPECT_EQ(gauge.iBottom, map.iBottom);
  // "Add trap" is offered only in lap timing.
  EXPECT_EQ(iEnv.iGui->CurrentView()->CommandState(pwcmd::KAddTrap), ECommandDisabled);
  // Map and gauge keys are taken without changing the mode.
  for (int32_t key : {0x31, 0x32, 0x33, 0x34, 0xF801, 0xF802, 0xF803, 0xF804}) iEnv.iWindow.Press(key);
  EXPECT_EQ(Timer().DisplayMode(), 0);

  // Lap timing on the shipped (locked) track, then unlocked.
  StartSession(ESessionLapTiming);
  iEnv.iWindow.Press(0xF806);
  OpenTimer();
  EXPECT_EQ(Timer().DisplayMode(), 2);
  EXPECT_EQ(iEnv.iGui->CurrentView()->CommandState(pwcmd::KAddTrap), ECommandDisabled);
  Session().Track().SetLock(0);
  EXPECT_EQ(iEnv.iGui->CurrentView()->CommandState(pwcmd::KAddTrap), ECommandOffered);
  Model().PauseSession();
  EXPECT_EQ(iEnv.iGui->CurrentView()->CommandState(pwcmd::KAddTrap), ECommandDisabled);
  Model().UpdateViews(1);
  iEnv.iWindow.Paint();
  EXPECT_EQ(Utf8(Timer().SimpleTimer().StatusLine().Text(CBigTextControl::ECentre)), "Paused");
  EXPECT_TRUE(Timer().SimpleTimer().StatusLine().IsVisible());
  Timer().Toggle();
  Timer().Toggle();
  EXPECT_EQ(Timer().DisplayMode(), 1);
  Timer().Toggle();
  EXPECT_EQ(Timer().DisplayMode(), 2);

  // Swapping the top line works in landscape only, by key or by a tap on it.
  CSimpleTimerControl& simple = Timer().SimpleTimer();
  iEnv.iWindow.Press('3');
  EXPECT_FALSE(simple.ShowsPreviousOnTop());
  iEnv.iGui->SetClientRect(TPwRect{0, 0, 640, 360});
  iEnv.iWindow.Paint();
  ASSERT_TRUE(simple.IsLandscape());
  iEnv.iWindow.Press('3');
  EXPECT_TRUE(simple.ShowsPreviousOnTop());
  EXPECT_FALSE(simple.ComparisonLine().IsVisible());
  const TPwRect top = simple.PreviousLine().Rect();
  iEnv.iWindow.Tap((top.iLeft + top.iRight) / 2, (top.iTop + top.iBottom) / 2);
  EXPECT_FALSE(simple.ShowsPreviousOnTop());
  EXPECT_EQ(Utf8(simple.ComparisonLine().Label(CBigTextControl::ETopLeft)), "Best");
  // The setting forces portrait on a wide window.
  Model().Settings().SetTimerOrientation(CSimpleTimerControl::EPortrait);
  iEnv.iWindow.Press(0xF806);
  OpenTimer();
  EXPECT_FALSE(Timer().SimpleTimer().IsLandscape());
}

TEST_F(TimerViewTest, TheStatusLineTellsWhatIsWrongWithTheGps) {
  // A serial receiver on a port that is not there: started but not connected.
  CSettings& settings = Model().Settings();
  settings.Gps().iType = MDeviceSettings::EGpsSerial;
  settings.Gps().iSerialPort = 250;
  Model().SetFreeSpaceQuery([](CPwStringC) { return 3000; });
  ASSERT_EQ(Model().WatchFreeSpace(700, 5120, PwStringFromUtf8(iEnv.iDocs)), 1);
  StartSession();
  OpenTimer();
  ASSERT_TRUE(Model().GpsConnectionMissing());
  iEnv.iWindow.Paint();
  // Storage is low as well; the connection comes first.
  EXPECT_EQ(Utf8(Timer().SimpleTimer().StatusLine().Text(CBigTextControl::ECentre)), "No connection to GPS");
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "timer_no_gps.png");
  Model().PauseSession();
  Model().StopWatchingFreeSpace();

  // A receiver without a fix.
  std::string nofix;
  for (int i = 0; i < 3; ++i) {
    const std::string time = "12000" + std::to_string(i) + ".00";
    nofix += Framed("GPRMC," + time + ",V,,,,,,,080524,,,N");
    nofix += Framed("GPGGA," + time + ",,,,,0,00,,,M,,M,,");
  }
  ASSERT_TRUE(pwtest::WriteFileBytes(iEnv.iDir / "nofix.nmea", nofix));
  settings.Gps().iType = MDeviceSettings::EGpsInputFile;
  settings.SetGpsInputFile(PwStringFromUtf8(iEnv.iDir / "nofix.nmea"));
  Model().SetFileReplayPacing(TFileReplayPacing{0, 0, 60000});
  Model().ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  ASSERT_TRUE(iEnv.RunUntil([&] { return Model().FixMissing(); }));
  Timer().Toggle();
  iEnv.iWindow.Paint();
  EXPECT_EQ(Utf8(Timer().NormalTimer().StatusLine().Text(CBigTextControl::ECentre)), "No fix to satellites");
  EXPECT_TRUE(Timer().NormalTimer().StatusLine().IsVisible());
  EXPECT_FALSE(Timer().NormalTimer().TrapNameLine().IsVisible());
  Model().PauseSession();
}

TEST_F(TimerViewTest, TimesAreRoundedAsResultsAndTruncatedWhileRunning) {
  CPwString text;
  FormatTimerResult(83600, 0, false, text);
  EXPECT_EQ(Utf8(text), "1:24");
  FormatTimerRunning(83600, 0, text);
  EXPECT_EQ(Utf8(text), "1:23");
  FormatTimerResult(-1250, 1, true, text);
  EXPECT_EQ(Utf8(text), "-1.3");
  FormatTimerResult(1250, 1, true, text);
  EXPECT_EQ(Utf8(text), "+1.3");
  FormatTimerResult(PwTime::Unset(), 1, true, text);
  EXPECT_TRUE(text.IsEmpty());

  // On screen with "No decimals": a running time of 83.6 s reads 1:23 on both timers.
  Model().Settings().SetTimerDecimals(0);
  StartSession();
  OpenTimer();
  ASSERT_TRUE(FeedUntil([](const CTimerHelper& t) { return t.RunningTime().IsSet() && t.RunningTime() >= 83600; }));
  EXPECT_EQ(Utf8(Timer().SimpleTimer().CurrentLine().Text(CBigTextControl::ERight)), "1:23");
  Timer().Toggle();
  iEnv.iWindow.Paint();
  EXPECT_EQ(Utf8(Timer().NormalTimer().MainLine().Text(CBigTextControl::ERight)), "1:23");
}

TEST_F(TimerViewTest, OddWindowsAndMissingDataStillDrawSensibly) {
  // No session at all, then a session without samples.
  OpenTimer();
  EXPECT_EQ(Utf8(Timer().SimpleTimer().StatusLine().Text(CBigTextControl::ECentre)), "Paused");
  iEnv.iWindow.Press(0xF806);
  StartSession();
  OpenTimer();
  for (const TPwRect& window : {TPwRect{0, 0, 200, 200}, TPwRect{0, 0, 1920, 1080}, TPwRect{0, 0, 1, 1}}) {
    iEnv.iGui->SetClientRect(window);
    for (int32_t mode = 0; mode < 3; ++mode) {
      SetMode(mode);
      CNormalTimerControl& normal = Timer().NormalTimer();
      CSimpleTimerControl& simple = Timer().SimpleTimer();
      for (CBigTextControl* line : {&normal.MainLine(), &simple.CurrentLine(), &simple.ComparisonLine()}) {
        if (line->Rect().IsEmpty()) continue;
        EXPECT_LE(line->Rect().iBottom, Timer().Rect().iBottom);
        EXPECT_GE(line->Rect().iTop, Timer().Rect().iTop);
        CPwFont* font = line->LargeFont();
        if (font && line->IsVisible()) {
          EXPECT_LE(font->Height(), std::max(4, line->Rect().Height())) << window.iRight;
        }
      }
    }
  }
  // The empty session waits without a status line.
  iEnv.iGui->SetClientRect(TPwRect{0, 0, 360, 640});
  SetMode(2);
  EXPECT_FALSE(Timer().SimpleTimer().StatusLine().IsVisible());
  EXPECT_EQ(Utf8(Timer().SimpleTimer().CurrentLine().Text(CBigTextControl::ECentre)), "Waiting...");
}

TEST_F(TimerViewTest, TheKeysLockedScreenUnlocksOnlyWhenDraggedPastHalfWay) {
  StartSession();
  OpenTimer();
  CKeysLockedControl* locked = nullptr;
  int32_t step = 0;
  int32_t steps = 0;
  bool done = false;
  auto knobCentre = [&] {
    const TPwRect k = locked->Knob();
    return TPwPoint{(k.iLeft + k.iRight) / 2, (k.iTop + k.iBottom) / 2};
  };
  ASSERT_TRUE(iEnv.RunUntil([&] { return done; }, [&] {
    ++steps;
    CDialogControl* modal = iEnv.iGui->Dialogs().CurrentModal();
    if (step == 0) {
      step = 1;
      (void)iEnv.iGui->DispatchCommand(pwcmd::KLockKeys);  // runs the screen modally
      done = true;
      return;
    }
    locked = dynamic_cast<CKeysLockedControl*>(modal);
    if (!locked) return;
    CGui& gui = *iEnv.iGui;
    const int32_t max = locked->KnobMaximum();
    switch (step) {
      case 1: {
        EXPECT_EQ(locked->KnobPosition(), max);
        EXPECT_EQ(locked->Rect(), gui.Rect());
        iEnv.iWindow.Paint();
        pwtest::ExpectMatchesReference(*gui.Surface(), "keys_locked.png");
        // Keys change nothing, not even the softkeys underneath.
        for (int32_t key : {0xF805, 0xF806, 0xF800, 0x35}) iEnv.iWindow.Press(key);
        EXPECT_EQ(gui.CurrentView()->ViewNumber(), CTimerView::KViewNumber);
        // A press beside the knob moves nothing.
        gui.Pointer(0, locked->Slider().iLeft + 2, knobCentre().iY);
        gui.Pointer(1, locked->Slider().iLeft, knobCentre().iY);
        gui.Pointer(2, locked->Slider().iLeft, knobCentre().iY);
        EXPECT_EQ(locked->KnobPosition(), max);
        // Half way (or just right of it when the maximum is odd), then back to the right end.
        const TPwPoint c = knobCentre();
        const int32_t half = (max + 1) / 2;
        gui.Pointer(0, c.iX, c.iY);
        EXPECT_TRUE(locked->IsDragging());
        gui.Pointer(1, c.iX - (max - half), c.iY);
        EXPECT_EQ(locked->KnobPosition(), half);
        gui.Pointer(2, c.iX - (max - half), c.iY);
        iEnv.iWindow.Finish();
        EXPECT_EQ(locked->KnobPosition(), max);
        EXPECT_FALSE(locked->IsClosed());
        // The dragged knob keeps the timer alive.
        gui.Pointer(0, c.iX, c.iY);
        iEnv.iWindow.Advance(CKeysLockedControl::KTimerMs);
        EXPECT_TRUE(locked->IsDragging());
        EXPECT_EQ(gui.PendingTimerCount() > 0, true);
        // Past half way, well beyond the left end: unlocked.
        gui.Pointer(1, c.iX - 5 * max, c.iY);
        EXPECT_EQ(locked->KnobPosition(), 0);
        gui.Pointer(2, c.iX - 5 * max, c.iY);
        iEnv.iWindow.Finish();
        EXPECT_TRUE(locked->IsClosed());
        EXPECT_EQ(locked->Result(), 0);
        step = 2;
        break;
      }
      default:
        break;
    }
  }));
  EXPECT_EQ(step, 2);
  EXPECT_EQ(iEnv.iGui->Dialogs().CurrentModal(), nullptr);
  EXPECT_EQ(iEnv.iGui->CurrentView()->ViewNumber(), CTimerView::KViewNumber);
  (void)steps;
}

}  // namespace
