// The travelled route and the performance results on the real model and GUI: sessions are
// imported from NMEA logs exactly as the session editor imports them (the shipped demo drive on
// "Example track", a synthetic drag strip with two runs of constant acceleration, a log of one
// fix), then the session screen opens the views. The route cursor is stepped by keys and by a
// held button, the export and trap commands work on the cursor sample; the results table is
// checked cell by cell against the closed-form times in both of its modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/controls/bitmap_button.h"
#include "app/dialogs/dialog_controls.h"
#include "app/map/map_control.h"
#include "app/views/exporter_editor_view.h"
#include "app/views/performance_view.h"
#include "app/views/plot_info_control.h"
#include "app/views/result_views.h"
#include "app/views/route_view.h"
#include "app/views/session_view.h"
#include "exchange/export_formats.h"
#include "exchange/session_importer.h"
#include "gui_harness.h"
#include "storage/position_plot_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/performance_run.h"
#include "timing/performance_test.h"
#include "timing/track_profile.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

namespace {

constexpr int32_t KEnter = 0xF800, KLeft = 0xF801, KRight = 0xF802, KUp = 0xF803, KDown = 0xF804, KEsc = 0x1B;
const std::string KExamples = std::string(PW_SOURCE_DATA_DIR) + "/examples/";
const std::string KTrackFile = "Pacewright/Tracks/Example track-track.bin";
constexpr double KHundredKph = 100.0 / 3.6;
// Run 1 reaches 100 kph in 6 s, run 2 in 8 s.
const double KFirstAcceleration = KHundredKph / 6.0;
const double KSecondAcceleration = KHundredKph / 8.0;

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

std::string Sentence(const std::string& aBody) {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + aBody + tail;
}

// One 10 Hz fix heading north at aNorth metres from 48 N 11.5 E, moving at aSpeed m/s.
std::string Fix(int32_t aTenths, double aNorth, double aSpeed) {
  const int32_t h = aTenths / 36000, m = (aTenths / 600) % 60, s = (aTenths / 10) % 60, f = aTenths % 10;
  const double minutes = 48.0 * 60.0 + aNorth / 6371000.0 * (180.0 / M_PI) * 60.0;
  const int32_t degrees = static_cast<int32_t>(minutes / 60.0);
  char lat[32], body[160];
  std::snprintf(lat, sizeof lat, "%02d%09.6f", degrees, minutes - degrees * 60.0);
  std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%d0,%s,N,01130.000000,E,1,09,0.9,500.0,M,46.9,M,,", h, m, s, f,
                lat);
  std::string out = Sentence(body);
  std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%d0,A,%s,N,01130.000000,E,%.4f,0.00,081226,,,A", h, m, s, f, lat,
                aSpeed / 0.514444444);
  return out + Sentence(body);
}

// Two standing starts down a straight strip: still for 3 s, aAccel for aSeconds, braking at
// 8 m/s^2 to a stop, still again.
std::string DragStrip() {
  std::string log;
  int32_t tenths = 36000 * 10;
  double north = 0.0;
  auto still = [&](int32_t aTenths) {
    for (int32_t i = 0; i < aTenths; ++i) log += Fix(tenths++, north, 0.0);
  };
  auto run = [&](double aAccel, double aSeconds) {
    // Moving off exactly at a fix.
    const double top = aAccel * aSeconds;
    const double braking = top / 8.0;
    const int32_t steps = static_cast<int32_t>(std::lround((aSeconds + braking) * 10));
    const double start = north;
    for (int32_t i = 0; i <= steps; ++i) {
      const double t = i / 10.0;
      double v, s;
      if (t <= aSeconds) {
        v = aAccel * t;
        s = 0.5 * aAccel * t * t;
      } else {
        const double b = std::min(t - aSeconds, braking);
        v = std::max(0.0, top - 8.0 * b);
        s = 0.5 * aAccel * aSeconds * aSeconds + top * b - 4.0 * b * b;
      }
      log += Fix(tenths++, start + s, v);
      north = start + s;
    }
  };
  still(30);
  run(KFirstAcceleration, 7.0);
  still(30);
  run(KSecondAcceleration, 9.0);
  still(30);
  return log;
}

// A view at the analysis view's number that records what it is asked to open (only where the
// analysis view itself is not registered).
class CGraphProbe : public CCustomView, public MGraphOpener {
 public:
  int32_t ViewNumber() override { return CGui::EAnalyzeView; }
  void Activate() override {}
  void Deactivate() override {}
  CCustomControl* ContentControl() override { return nullptr; }
  void OpenRouteGraph() override { ++iRoutes; }
  void OpenRunGraph() override { ++iRuns; }
  int32_t iRoutes = 0;
  int32_t iRuns = 0;
};

class ResultViews : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string track = pwtest::ReadFileBytes(KExamples + KTrackFile);
    if (track.empty() || !std::filesystem::exists(KExamples + "demo-drive.nmea"))
      GTEST_SKIP() << "the examples are not built";
    std::filesystem::create_directories(iEnv.iDir / "install/examples/Pacewright/Tracks");
    ASSERT_TRUE(pwtest::WriteFileBytes(iEnv.iDir / ("install/examples/" + KTrackFile), track));
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    CSettings& settings = Model().Settings();
    settings.Gps().iType = MDeviceSettings::EGpsBluetooth;
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    if (!Gui().ViewByNumber(CGui::EAnalyzeView)) {
      iProbe = new CGraphProbe;
      Gui().RegisterViewL(iProbe);
    }
  }

  CModel& Model() { return *iEnv.iModel; }
  CGui& Gui() { return *iEnv.iGui; }
  CTrackSession& Session() { return *Model().TrackSession(); }
  int32_t View() { return Gui().CurrentView() ? Gui().CurrentView()->ViewNumber() : 0; }
  void Press(int32_t aKey, bool aShift = false) { iEnv.iWindow.Press(aKey, aShift); }
  void Command(int32_t aCommand) {
    (void)Gui().DispatchCommand(aCommand);
    iEnv.iWindow.Finish();
  }
  CDialogControl* Modal() {
    CDialogControl* dialog = Gui().Dialogs().CurrentModal();
    return dialog && !dialog->IsClosed() ? dialog : nullptr;
  }

  // A session of aType imported from the NMEA text, as the session editor imports it, left open.
  void Import(int32_t aType, const std::string& aNmea) {
    const std::string path = iEnv.iDir / "import.nmea";
    ASSERT_TRUE(pwtest::WriteFileBytes(path, aNmea));
    CSessionInfo description;
    description.SetTitle(u"Imported");
    description.SetSessionType(aType);
    if (aType == ESessionLapTiming) description.SetTrackName(u"Example track");
    if (aType == ESessionPerformance) description.SetTestName(u"0-100 kph");
    ASSERT_EQ(Model().NewSession(description), 1);
    Session().Info().SetRecorded(0);
    CPwStringList files;
    files.AppendCopy(PwStringFromUtf8(path));
    CSessionImporter* importer = CSessionImporter::NewL(Session(), &Model().ObdChannels(), files,
                                                        CSessionImporter::EFormatNmea);
    Session().StartImport(importer);
    while (importer->Step() != 0) {
    }
    Session().EndImport();
  }
  // The session screen, then its item with aCommand.
  void OpenFromSessionScreen(int32_t aCommand, int32_t aView) {
    Gui().OpenView(CGui::ESessionView);
    iEnv.iWindow.Finish();
    ASSERT_EQ(View(), CGui::ESessionView);
    Command(aCommand);
    ASSERT_EQ(View(), aView);
  }

  CPositionPlotList& Route() { return Session().PlotList().PositionList(); }
  CRouteControl& RouteControl() { return *static_cast<CRouteView*>(Gui().CurrentView())->RouteControl(); }
  std::vector<std::string> InfoSegments() {
    CPwStringList segments;
    RouteControl().Info().Segments(segments);
    std::vector<std::string> out;
    for (int32_t i = 0; i < segments.Count(); ++i) out.push_back(Utf8(segments.At(i)));
    return out;
  }
  CPerformanceView& Results() { return *static_cast<CPerformanceView*>(Gui().ViewByNumber(CGui::EPerformanceView)); }
  std::string Cell(int32_t aRow, int32_t aColumn) {
    CPwString text;
    Results().Table()->CellText(aRow, aColumn, text);
    return Utf8(text);
  }
  std::string Title() { return Utf8(Gui().Navi().Title()); }

  pwtest::ModelGui iEnv;
  CGraphProbe* iProbe = nullptr;  // owned by the GUI
};

TEST_F(ResultViews, TheRouteCursorStepsByKeysAndAHeldButtonAndItsCommandsWorkOnTheCursorSample) {
  Import(ESessionLapTiming, pwtest::ReadFileBytes(KExamples + "demo-drive.nmea"));
  const int32_t count = Route().Count();
  ASSERT_GT(count, 200);
  OpenFromSessionScreen(pwcmd::KTravelledRoute, CGui::ERouteView);
  EXPECT_EQ(Title(), "Traveled route");
  EXPECT_EQ(RouteControl().Map().Mode(), CMapControl::ERouteMode);
  EXPECT_TRUE(RouteControl().Map().Button(CMapControl::ENext).IsVisible());
  // The info line lies over the bottom of the map.
  EXPECT_EQ(RouteControl().Info().Rect().iBottom, RouteControl().Map().Rect().iBottom);
  EXPECT_EQ(RouteControl().Info().Rect().Height(), RouteControl().Info().LineHeight());

  // Single steps wrap at both ends; shift and the digit keys step 30 samples.
  EXPECT_EQ(Route().Cursor(), 0);
  EXPECT_EQ(InfoSegments().at(0), "#1");
  Press(KLeft);
  EXPECT_EQ(Route().Cursor(), count - 1);
  Press(KRight);
  EXPECT_EQ(Route().Cursor(), 0);
  Press(KRight, true);
  EXPECT_EQ(Route().Cursor(), 30);
  Press('3');
  EXPECT_EQ(Route().Cursor(), 60);
  Press('2');
  Press(KLeft);
  EXPECT_EQ(Route().Cursor(), 29);
  Press(KLeft, true);
  EXPECT_EQ(Route().Cursor(), count - 1);
  Press(KRight);

  // Held, the next-sample button steps one sample at a time, after 30 repeats 30 at a time.
  CBitmapButtonControl& next = RouteControl().Map().Button(CMapControl::ENext);
  const TPwRect button = next.Rect();
  Gui().Pointer(0, (button.iLeft + button.iRight) / 2, (button.iTop + button.iBottom) / 2);
  iEnv.iWindow.Finish();
  EXPECT_EQ(Route().Cursor(), 1);
  while (next.RepeatCount() < CBitmapButtonControl::KRepeatsBeforeSecond) ASSERT_TRUE(iEnv.iWindow.FireTimer());
  EXPECT_EQ(Route().Cursor(), 31);
  ASSERT_TRUE(iEnv.iWindow.FireTimer());
  ASSERT_TRUE(iEnv.iWindow.FireTimer());
  EXPECT_EQ(Route().Cursor(), 91);
  Gui().Pointer(2, (button.iLeft + button.iRight) / 2, (button.iTop + button.iBottom) / 2);
  iEnv.iWindow.Finish();
  EXPECT_FALSE(iEnv.iWindow.FireTimer() && Route().Cursor() != 91);
  EXPECT_EQ(Route().Cursor(), 91);

  // The info line of that sample: number, time, speed and altitude in the settings' units.
  const TPositionPlot& plot = Route().At(91);
  CPwString time;
  PwTime(plot.iTime).FormatDuration(time, 1, false, true);
  char speed[32];
  std::snprintf(speed, sizeof speed, "%.0f kph", plot.Speed().MetresPerSecond() * 3.6);
  const std::vector<std::string> segments = InfoSegments();
  ASSERT_EQ(segments.size(), 4u);
  EXPECT_EQ(segments[0], "#92");
  EXPECT_EQ(segments[1], Utf8(time));
  EXPECT_EQ(segments[2], speed);
  EXPECT_NE(segments[3].find(" m"), std::string::npos);
  iEnv.iWindow.Paint();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "route_view.png");

  // Zoom keys step the map scale of the settings.
  const double scale = Model().Settings().MapScale();
  Press(KUp);
  EXPECT_LT(Model().Settings().MapScale(), scale);
  Press(KDown);
  Press('4');
  EXPECT_GT(Model().Settings().MapScale(), scale);
  // The font keys stay within 70 to 160 per cent.
  for (int i = 0; i < 20; ++i) Press('6');
  EXPECT_EQ(Model().Settings().FontScale(), 160);
  for (int i = 0; i < 20; ++i) Press('5');
  EXPECT_EQ(Model().Settings().FontScale(), 70);
  Model().Settings().SetFontScale(100);

  // "View next 15 min." asks the graphs for the route from the cursor.
  Press(KEnter);
  if (iProbe) {
    EXPECT_EQ(iProbe->iRoutes, 1);
    EXPECT_EQ(Route().Cursor(), 91);
  }

  // "Export route" opens the export dialog on the route.
  Command(pwcmd::KExportRoute);
  ASSERT_EQ(View(), CGui::EExporterEditorView);
  auto* exporter = static_cast<CExporterEditorView*>(Gui().CurrentView());
  EXPECT_EQ(exporter->Item(CExporterEditorView::EItemScope)->iValue, EExportRoute);
  Press(KEsc);
  ASSERT_EQ(View(), CGui::ERouteView);

  // A trap at the cursor sample: only on a track that accepts trap edits.
  EXPECT_EQ(Gui().CurrentView()->CommandState(pwcmd::KAddTrapAtCursor), ECommandNotOffered);
  Session().Track().SetLock(0);
  ASSERT_EQ(Gui().CurrentView()->CommandState(pwcmd::KAddTrapAtCursor), ECommandOffered);
  const int32_t traps = Session().Track().TrapCount();
  std::string question;
  ASSERT_TRUE(iEnv.RunUntil([&] { return !question.empty() && !Modal(); },
                            [&] {
                              if (question.empty()) {
                                question = "asked";
                                Command(pwcmd::KAddTrapAtCursor);
                              } else if (Modal()) {
                                Press(0xF805);  // the focused trap type
                              }
                            }));
  ASSERT_EQ(Session().Track().TrapCount(), traps + 1);
  const CTrapLine* added = Session().TrapAt(traps);
  ASSERT_NE(added, nullptr);
  const TGeoPoint at = Route().At(91).GeoPoint();
  EXPECT_NEAR(added->Centre().iLatitude.iValue, at.iLatitude.iValue, 2);
  EXPECT_NEAR(added->Centre().iLongitude.iValue, at.iLongitude.iValue, 2);

  Press(KEsc);
  EXPECT_EQ(View(), CGui::ESessionView);
}

TEST_F(ResultViews, ADragStripShowsItsRunsAndEachRunsTestsAgainstTheComparisonRun) {
  Import(ESessionPerformance, DragStrip());
  // The third run waits for the next start.
  ASSERT_EQ(Session().Runs().Count(), 3);
  const int32_t test = Session().CurrentTest();
  ASSERT_EQ(Utf8(Model().Tests().At(test)->Name()), "0-100 kph");
  // Closed form: v / a, the start at the last still fix, the finish interpolated.
  const int32_t first = static_cast<int32_t>(std::lround(KHundredKph / KFirstAcceleration * 1000));
  const int32_t second = static_cast<int32_t>(std::lround(KHundredKph / KSecondAcceleration * 1000));
  ASSERT_EQ(CRunList::Performance(Session().Runs().Run(0), test, true)->ResultTime().Milliseconds(), first);
  ASSERT_EQ(CRunList::Performance(Session().Runs().Run(1), test, true)->ResultTime().Milliseconds(), second);

  Model().Settings().SetTimerDecimals(2);
  Session().Runs().SetCursor(1);
  OpenFromSessionScreen(pwcmd::KRunTimes, CGui::EPerformanceView);
  CPerformanceListControl& table = *Results().Table();
  EXPECT_EQ(Title(), "Runs");
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(Cell(2, 0), "*");
  EXPECT_EQ(Cell(2, 1), "*");
  EXPECT_EQ(Cell(-1, -1), "Run");
  EXPECT_EQ(Cell(-1, 0), "Time");
  EXPECT_EQ(Cell(-1, 1), "Diff.");
  // Compared to the best run other than the viewed one: run 1 is the comparison of run 2.
  EXPECT_EQ(Cell(0, -1), "1");
  EXPECT_EQ(Cell(0, 0), "6.00");
  EXPECT_EQ(Cell(0, 1), "+0.00");
  EXPECT_EQ(Cell(1, 0), "8.00");
  EXPECT_EQ(Cell(1, 1), "+2.00");
  // A speed test has no finish speed.
  EXPECT_EQ(Cell(1, 2), "*");
  EXPECT_EQ(Cell(1, 3), "*");
  EXPECT_EQ(table.CellColour(0, 0), CPerformanceListControl::KComparisonColour);
  EXPECT_EQ(table.CellColour(1, 1), CPerformanceListControl::KWorseColour);
  // Timer decimals 2: "00:00.00" columns.
  EXPECT_GT(table.FittingColumns(), 0);
  EXPECT_EQ(table.FirstColumnWidth() + table.FittingColumns() * table.DataColumnWidth(), table.Rect().Width());
  pwtest::ExpectMatchesReference(*Gui().Surface(), "performance_runs.png");

  // The previous and next run wrap; "Compare to selected" makes run 2 the comparison.
  Press('3');
  Press('3');
  EXPECT_EQ(table.Selected(), 0);
  Press(KRight, true);
  EXPECT_EQ(table.Selected(), 1);
  Press(KRight);
  EXPECT_EQ(table.Selected(), 1);
  Command(pwcmd::KCompareSelected);
  EXPECT_EQ(Cell(0, 1), "-2.00");
  EXPECT_EQ(table.CellColour(0, 1), CPerformanceListControl::KBetterColour);
  EXPECT_EQ(Cell(1, 1), "+0.00");
  EXPECT_EQ(table.CellColour(1, 3), CPerformanceListControl::KComparisonColour);
  Command(pwcmd::KCompareBest);

  // Enter: the tests of run 2; the selected test's row is the session's test.
  Press(KEnter);
  EXPECT_EQ(Results().Mode(), CPerformanceListControl::ETests);
  EXPECT_EQ(Title(), "Tests for run 2");
  EXPECT_EQ(Cell(-1, -1), "Test");
  EXPECT_EQ(table.RowCount(), Model().Tests().Count());
  EXPECT_EQ(Cell(test, -1), "0-100 kph");
  EXPECT_EQ(Cell(test, 0), "8.00");
  EXPECT_EQ(Cell(test, 1), "+2.00");
  // The quarter mile is never reached: no result, no difference.
  EXPECT_EQ(Cell(2, 0), "*");
  EXPECT_EQ(Cell(2, 1), "*");
  // 0-60 mph on the way, 26.8224 m/s at the same acceleration.
  const int32_t sixty = static_cast<int32_t>(std::lround(26.8224 / KSecondAcceleration * 1000));
  ASSERT_EQ(CRunList::Performance(Session().Runs().Run(1), 5, true)->ResultTime().Milliseconds(), sixty);
  Model().Tests().SetSelectedIndex(test);
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "performance_tests.png");
  Press('2');
  EXPECT_EQ(Title(), "Tests for run 1");
  EXPECT_EQ(Cell(test, 0), "6.00");
  // "View graph" on a test the run finished asks the graphs for the run.
  EXPECT_EQ(Gui().CurrentView()->CommandState(pwcmd::KViewResult), ECommandOffered);
  Press(KEnter);
  if (iProbe) {
    EXPECT_EQ(iProbe->iRuns, 1);
  }
  Press(KDown);
  EXPECT_EQ(Model().Tests().SelectedIndex(), test + 1);
  EXPECT_EQ(Utf8(Model().Tests().SelectedTest()->Name()), "0-100 mph");
  EXPECT_EQ(Gui().CurrentView()->CommandState(pwcmd::KViewResult), ECommandDisabled);
  Model().Tests().SetSelectedIndex(test);

  // Timer decimals 3 widen the columns, so fewer fit.
  const int32_t fitting = table.FittingColumns();
  Model().Settings().SetTimerDecimals(3);
  table.SetRect(table.Rect());
  EXPECT_LE(table.FittingColumns(), fitting);
  EXPECT_GE(table.DataColumnWidth() * table.FittingColumns(), 0);
  for (int32_t i = 0; i <= CPerformanceListControl::KDataColumns; ++i) table.ScrollColumns(1);
  EXPECT_GE(table.FirstVisibleColumn(), 0);
  EXPECT_LE(table.FirstVisibleColumn(), CPerformanceListControl::KDataColumns - table.FittingColumns());

  // Back: to the runs, then to the session screen.
  Press(KEsc);
  EXPECT_EQ(Results().Mode(), CPerformanceListControl::ERuns);
  EXPECT_EQ(Title(), "Runs");
  Press(KEsc);
  EXPECT_EQ(View(), CGui::ESessionView);
}

TEST_F(ResultViews, ASessionOfOneFixAndASessionWithoutRunsDrawWhatTheyHave) {
  // One fix: the route view steps on the spot and draws the map and the line of that fix.
  Import(ESessionDataLogging, Fix(36000 * 10, 0.0, 5.0));
  ASSERT_EQ(Route().Count(), 1);
  OpenFromSessionScreen(pwcmd::KTravelledRoute, CGui::ERouteView);
  for (int32_t key : {KRight, KLeft, static_cast<int32_t>('3'), static_cast<int32_t>('2'), KUp, KDown}) {
    Press(key);
    EXPECT_EQ(Route().Cursor(), 0);
  }
  EXPECT_EQ(InfoSegments().at(0), "#1");
  EXPECT_EQ(Gui().CurrentView()->CommandState(pwcmd::KAddTrapAtCursor), ECommandNotOffered);
  // A cursor outside the list leaves the line empty.
  Route().SetCursor(5);
  EXPECT_TRUE(InfoSegments().empty());
  Model().UpdateViews(2);
  iEnv.iWindow.Paint();
  Route().SetCursor(0);
  Press(KEsc);
  Press(KEsc);
  ASSERT_EQ(Model().TrackSession(), nullptr);

  // A performance session that never left the line: the note, nothing to open.
  std::string still;
  for (int32_t i = 0; i < 50; ++i) still += Fix(36000 * 10 + i, 0.0, 0.0);
  Import(ESessionPerformance, still);
  ASSERT_LE(Session().Runs().Count(), 1);
  OpenFromSessionScreen(pwcmd::KRunTimes, CGui::EPerformanceView);
  CPerformanceListControl& table = *Results().Table();
  EXPECT_FALSE(table.HasCompletedRuns());
  EXPECT_EQ(Gui().CurrentView()->CommandState(pwcmd::KViewResult), ECommandDisabled);
  for (int32_t key : {KEnter, static_cast<int32_t>('2'), static_cast<int32_t>('3'), KUp, KDown}) Press(key);
  EXPECT_EQ(Results().Mode(), CPerformanceListControl::ERuns);
  EXPECT_EQ(Title(), "Runs");
  EXPECT_EQ(Cell(0, 0), "*");
  if (iProbe) {
    EXPECT_EQ(iProbe->iRuns, 0);
  }
  Press(KEsc);
  EXPECT_EQ(View(), CGui::ESessionView);
}

}  // namespace
