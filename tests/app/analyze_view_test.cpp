// The analysis view on the shipped example session (GPS, OBD-II and logger channels): a lap
// graph by distance against the comparison lap, the x-window zoom limits, the cursor wrapping
// at both ends, one y scale for two speeds, the map's cursor and time-aligned comparison
// positions, layout modes and menu states, the route graph and "Back", the settings editor,
// and bad input painted without a crash.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "acquisition/position_plot.h"
#include "analysis/graph_generator.h"
#include "app/controls/bitmap_button.h"
#include "app/dialogs/dialog_controls.h"
#include "app/gui/menu.h"
#include "app/draw/pw_font.h"
#include "app/graph/graph_control.h"
#include "app/graph/graph_drawer.h"
#include "app/graph/graph_info_control.h"
#include "app/graph/graph_map_control.h"
#include "app/gui/layout.h"
#include "app/views/analyze_view.h"
#include "app/views/graph_settings_editor_view.h"
#include "foundation/string_provider.h"
#include "gui_harness.h"
#include "storage/obd_plot_list.h"
#include "storage/plot_list.h"
#include "storage/settings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

using pwtest::ModelGui;

namespace {

constexpr int32_t KLeft = 0xF801, KRight = 0xF802, KUp = 0xF803, KDown = 0xF804;

// The program with the example session open and loaded.
struct Example : ModelGui {
  bool Open() {
    const std::string examples = std::string(PW_SOURCE_DATA_DIR) + "/examples";
    if (!std::filesystem::exists(examples + "/Pacewright/Sessions/20070101-0000-example-plots.bin")) return false;
    setenv("PACEWRIGHT_INSTALL", PW_SOURCE_DATA_DIR, 1);
    Create();
    if (!StartToMainMenu()) return false;
    iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
    const CSessionInfo* record = nullptr;
    for (int32_t i = 0; i < iModel->Sessions().Count(); ++i)
      if (iModel->Sessions().At(i)->IsReadOnly()) record = iModel->Sessions().At(i);
    if (!record || iModel->OpenSession(*record, nullptr) != 1) return false;
    return RunUntil([this] { return iModel->TrackSession() && !iModel->TrackSession()->SamplesLoader(); },
                    [this] { iWindow.FireTimer(); });
  }
  CTrackSession& Session() { return *iModel->TrackSession(); }
  CAnalyzeView& View() { return *dynamic_cast<CAnalyzeView*>(iGui->ViewByNumber(CGui::EAnalyzeView)); }
  CGraphGenerator& Generator() { return *View().Generator(); }
  int32_t Current() { return iGui->CurrentView() ? iGui->CurrentView()->ViewNumber() : 0; }
  void Press(int32_t aKey, bool aShift = false) { iWindow.Press(aKey, aShift); }
  // Runs an opening until the calculation is over and the analysis view is shown.
  bool Calculate(const std::function<void()>& aOpen) {
    aOpen();
    const bool shown = RunUntil([this] { return Current() == CGui::EAnalyzeView && !iModel->WorkerEngine().Worker(); },
                                [this] { iWindow.Paint(); });
    iWindow.Paint();
    return shown;
  }
  // A lap other than the best, so that the best lap is its comparison.
  void ViewLapBesideBest() {
    CLapList& laps = Session().Laps();
    for (int32_t i = 0; i < laps.LapCount(); ++i)
      if (i != laps.BestLapIndex() && laps.Lap(i)->IsFinished()) {
        laps.SetViewedIndex(i);
        return;
      }
  }
};

// The primary list of a sample list, or null.
const CGraphChannelList* ListWith(const CGraphGenerator& aGenerator, TChannelId aId, bool aComparison) {
  for (int32_t i = 0; i < aGenerator.ListCount(); ++i) {
    const CGraphChannelList& list = aGenerator.List(i);
    if (list.IsComparison() == aComparison && list.FindChannel(aId, 2) >= 2) return &list;
  }
  return nullptr;
}

}  // namespace

TEST(AnalyzeViewTest, LapGraphByDistanceWithTheComparisonLap) {
  Example example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  example.ViewLapBesideBest();
  ASSERT_TRUE(example.Calculate([&] { example.View().OpenLapGraph(1); }));
  CGraphGenerator& generator = example.Generator();
  EXPECT_EQ(generator.Kind(), CGraphGenerator::EKindLap);
  ASSERT_TRUE(generator.HasComparison());
  // GPS speed and OBD speed on both sides; one quantity, so one scale on the left.
  ASSERT_NE(ListWith(generator, KChannelGpsSpeed, false), nullptr);
  ASSERT_NE(ListWith(generator, KChannelObdSpeed, false), nullptr);
  ASSERT_NE(ListWith(generator, KChannelObdSpeed, true), nullptr);
  CAnalyzeControl& content = *example.View().Content();
  const TGraphSetup setup = content.Graph().Setup();
  EXPECT_EQ(setup.iAxis, 2);
  EXPECT_TRUE(setup.iShowComparison);
  EXPECT_TRUE(setup.iScaled);
  EXPECT_EQ(content.Graph().Drawer().LeftScaleChannel(), KChannelGpsSpeed);
  EXPECT_EQ(content.Graph().Drawer().RightScaleChannel(), 0);
  // A kilometre of window: x labels every 200 m.
  EXPECT_GE(content.Graph().Drawer().XGridLines(), 4);
  // Both speeds share one y range, as do primary and comparison.
  const CGraphChannelList& gps = *ListWith(generator, KChannelGpsSpeed, false);
  const CGraphChannelList& obd = *ListWith(generator, KChannelObdSpeed, true);
  const CGraphChannel& a = gps.Channel(gps.FindChannel(KChannelGpsSpeed, 2));
  const CGraphChannel& b = obd.Channel(obd.FindChannel(KChannelObdSpeed, 2));
  EXPECT_DOUBLE_EQ(a.WindowMinimum(), b.WindowMinimum());
  EXPECT_DOUBLE_EQ(a.WindowMaximum(), b.WindowMaximum());

  // Map above, graph below, value line at the bottom.
  const TPwRect map = content.Map().Rect(), graph = content.Graph().Rect(), info = content.Info().Rect();
  EXPECT_EQ(map.iTop, content.Rect().iTop);
  EXPECT_EQ(graph.iTop, map.iBottom);
  EXPECT_EQ(info.iTop, graph.iBottom);
  EXPECT_EQ(info.iBottom, content.Rect().iBottom);
  EXPECT_EQ(map.Height(), (content.Rect().Height() - info.Height()) / 2);
  // The cursor at the start, its speed values under it (primary and comparison).
  ASSERT_GE(content.Info().Segments().Count(), 5);
  EXPECT_EQ(PwToUtf8(content.Info().Segments().At(0)), "0.000 km");
  example.iWindow.Paint();
  pwtest::ExpectMatchesReference(*example.iGui->Surface(), "analysis_lap_graph.png");

  // "Back" discards the data and returns.
  example.Press(0xF806);
  EXPECT_NE(example.Current(), CGui::EAnalyzeView);
  EXPECT_EQ(generator.Kind(), CGraphGenerator::EKindNone);
}

TEST(AnalyzeViewTest, WindowZoomStopsAtItsLimitsAndTheCursorWraps) {
  Example example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  example.ViewLapBesideBest();
  ASSERT_TRUE(example.Calculate([&] { example.View().OpenLapGraph(1); }));
  CSettings& settings = example.iModel->Settings();
  CGraphControl& graph = example.View().Content()->Graph();
  EXPECT_EQ(settings.GraphWindowFactor(), 1.0);
  for (int i = 0; i < 11; ++i) example.Press(KUp);
  EXPECT_EQ(settings.GraphWindowFactor(), 0.00048828125);
  example.Press(KUp);
  example.Press(KUp);
  EXPECT_EQ(settings.GraphWindowFactor(), 0.00048828125);
  EXPECT_EQ(graph.PaintedFactor(), 0.00048828125);
  settings.SetGraphWindowFactor(8.0);
  example.iWindow.Paint();
  example.View().Content()->Invalidate();
  example.iWindow.Paint();
  example.Press(KDown);
  EXPECT_EQ(settings.GraphWindowFactor(), 16.0);
  example.Press(KDown);
  EXPECT_EQ(settings.GraphWindowFactor(), 16.0);
  // The on-screen buttons do the same.
  TPwRect in = graph.Button(CGraphControl::EZoomIn).Rect();
  example.iWindow.Tap((in.iLeft + in.iRight) / 2, (in.iTop + in.iBottom) / 2);
  EXPECT_EQ(settings.GraphWindowFactor(), 8.0);

  // Time axis, a minute of window: a cursor step of 1.2 s at factor 1.
  settings.SetGraphWindowFactor(1.0);
  settings.SetGraphFlags(1, settings.GraphFlags(1) & ~CSettings::KGraphDistanceAxis);
  example.View().Content()->Invalidate();
  example.iWindow.Paint();
  CGraphGenerator& generator = example.Generator();
  ASSERT_EQ(generator.CursorMs(), 0);
  // Back from 0 wraps to the end: the primary's length, the comparison being scaled to it.
  example.Press(KLeft);
  const double limit = generator.PrimaryLength(1);
  EXPECT_EQ(generator.CursorMs(), static_cast<int32_t>(std::trunc(limit * 1000.0 + 0.5)));
  // Forward from within a step of the end wraps to 0.
  example.Press(KRight);
  EXPECT_EQ(generator.CursorMs(), 0);
  example.Press(KRight);
  EXPECT_EQ(generator.CursorMs(), 1200);
  example.Press(KRight, true);
  EXPECT_EQ(generator.CursorMs(), 1200 + 15 * 1200);
  example.Press('2');
  EXPECT_EQ(generator.CursorMs(), 1200);

  // Dragging to the left moves the cursor forward by the window's share.
  const TPwRect r = graph.Rect();
  const int32_t y = (r.iTop + r.iBottom) / 2, x0 = r.iLeft + r.Width() / 2;
  CGraphMapControl& map = example.View().Content()->Map();
  TPositionPlot before, after;
  ASSERT_TRUE(map.PrimarySample(before));
  example.iGui->Pointer(0, x0, y);
  example.iGui->Pointer(1, x0 - r.Width() / 4, y);
  example.iGui->Pointer(1, x0 - r.Width() / 2, y);
  // The moves only set the cursor; the map follows once, at the painting after them.
  ASSERT_TRUE(map.PrimarySample(after));
  EXPECT_EQ(after.iTime, before.iTime);
  example.iWindow.Finish();
  ASSERT_TRUE(map.PrimarySample(after));
  EXPECT_GT(after.iTime, before.iTime);
  example.iGui->Pointer(2, x0 - r.Width() / 2, y);
  EXPECT_FALSE(graph.Dragging());
  EXPECT_EQ(generator.CursorMs(), 1200 + 30000);
}

TEST(AnalyzeViewTest, MapFollowsTheCursorWithTheTimeAlignedComparison) {
  Example example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  example.ViewLapBesideBest();
  ASSERT_TRUE(example.Calculate([&] { example.View().OpenLapGraph(1); }));
  CGraphGenerator& generator = example.Generator();
  CAnalyzeControl& content = *example.View().Content();
  generator.SetCursor(500.0, 2);
  content.SyncMap();
  const TGraphStretch& primary = generator.Stretch(CGraphGenerator::EPrimary);
  const TGraphStretch& comparison = generator.Stretch(CGraphGenerator::EComparison);
  TPositionPlot sample, other, aligned;
  ASSERT_TRUE(content.Map().PrimarySample(sample));
  EXPECT_NEAR(sample.Distance().Metres() - primary.iStartDistance, 500.0, 0.5);
  // Scaled to the primary's length, the comparison is at the same share of its lap.
  ASSERT_TRUE(content.Map().ComparisonSample(other));
  const double share = 500.0 / (primary.iEndDistance - primary.iStartDistance);
  EXPECT_NEAR((other.Distance().Metres() - comparison.iStartDistance) /
                  (comparison.iEndDistance - comparison.iStartDistance),
              share, 0.001);
  // As long after its start as the primary sample is after the primary's.
  ASSERT_TRUE(content.Map().AlignedComparison(aligned));
  EXPECT_NEAR(aligned.iTime - comparison.iStartTime.Milliseconds(), sample.iTime - primary.iStartTime.Milliseconds(),
              1);
  // The markers are on the map.
  example.iWindow.Paint();
  TPwPoint pixel;
  ASSERT_TRUE(content.Map().Drawer().ToPixel(sample.GeoPoint(), pixel));
  EXPECT_EQ(example.iGui->Surface()->Pixel(pixel.iX, pixel.iY) & 0xFFFFFF, CMapDrawer::KMarkerSelected);

  // Hidden comparison: no comparison positions, and the menu offers to show it.
  example.Press('0');
  EXPECT_FALSE(content.Map().ComparisonSample(other));
  EXPECT_FALSE(content.Map().AlignedComparison(aligned));
  EXPECT_EQ(example.View().CommandState(pwcmd::KShowComparison), ECommandOffered);
  EXPECT_EQ(example.View().CommandState(pwcmd::KHideComparison), ECommandNotOffered);

  // Map hidden: the graph fills the space above the value line; no map zoom offered.
  example.Press('#');
  EXPECT_EQ(content.Map().Rect().Height(), 0);
  EXPECT_EQ(content.Graph().Rect().iTop, content.Rect().iTop);
  EXPECT_EQ(content.Graph().Rect().iBottom, content.Info().Rect().iTop);
  EXPECT_EQ(example.View().CommandState(pwcmd::KZoomMapIn), ECommandNotOffered);
  EXPECT_EQ(example.View().CommandState(pwcmd::KShowMap), ECommandOffered);
  EXPECT_EQ(example.View().CommandState(pwcmd::KHideMap), ECommandNotOffered);
  // The menu: settings, show map, zoomed y, show comparison.
  example.Press(0xF805);
  auto* menu = dynamic_cast<CMenuControl*>(example.iGui->DialogManager().Top());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->Count(), 4);
  example.Press(0x1B);
  example.Press('*');
  EXPECT_EQ(example.iModel->Settings().GraphZoomedY(), 1);
  EXPECT_EQ(example.View().CommandState(pwcmd::KNormalY), ECommandOffered);
  EXPECT_EQ(example.View().CommandState(pwcmd::KZoomedY), ECommandNotOffered);
}

TEST(AnalyzeViewTest, RouteGraphOfTheNextFifteenMinutesAndBackToTheRouteCursor) {
  Example example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  CPositionPlotList& route = example.Session().PlotList().PositionList();
  route.SetCursor(100);
  ASSERT_TRUE(example.Calculate([&] { example.View().OpenRouteGraph(); }));
  CGraphGenerator& generator = example.Generator();
  EXPECT_EQ(generator.Kind(), CGraphGenerator::EKindSpan);
  EXPECT_FALSE(generator.HasComparison());
  const TGraphStretch& stretch = generator.Stretch(CGraphGenerator::EPrimary);
  EXPECT_EQ(stretch.iStartTime.Milliseconds(), route.At(100).iTime);
  // Kind 3: time axis, map shown, no comparison.
  const TGraphSetup setup = example.View().Content()->Graph().Setup();
  EXPECT_EQ(setup.iAxis, 1);
  EXPECT_FALSE(setup.iMapHidden);
  for (int i = 0; i < 3; ++i) example.Press('3');
  const int64_t target = stretch.iStartTime.Milliseconds() + generator.CursorMs();
  ASSERT_EQ(generator.CursorMs(), 3 * 15 * 1200);
  example.Press(0xF806);
  EXPECT_NE(example.Current(), CGui::EAnalyzeView);
  const int32_t at = route.Cursor();
  EXPECT_GE(route.At(at).iTime, target);
  EXPECT_LT(route.At(at - 1).iTime, target);
  EXPECT_EQ(generator.Kind(), CGraphGenerator::EKindNone);
}

TEST(AnalyzeViewTest, SettingsEditorRecalculatesForTheChosenChannelsAndAxis) {
  Example example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  example.ViewLapBesideBest();
  ASSERT_TRUE(example.Calculate([&] { example.View().OpenLapGraph(1); }));
  example.Press(0xF805);
  auto* menu = dynamic_cast<CMenuControl*>(example.iGui->DialogManager().Top());
  ASSERT_NE(menu, nullptr);
  menu->Choose(0);
  example.iWindow.Finish();
  ASSERT_EQ(example.Current(), CGui::EGraphSettingsEditorView);
  auto* editor = dynamic_cast<CGraphSettingsEditorView*>(example.iGui->CurrentView());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->Form()->ItemCount(), 5);
  // The session's OBD channels and its logger channels with data are offered.
  EXPECT_GT(editor->Offered(CGraphSettingsEditorView::EItemObd).Count(), 0);
  EXPECT_EQ(editor->Offered(CGraphSettingsEditorView::EItemGps).At(0), KChannelGpsSpeed);
  // RPM on, OBD speed off, time axis.
  editor->SetChannel(KChannelObdSpeed, false);
  editor->SetChannel(KChannelObdRpm, true);
  editor->Item(CGraphSettingsEditorView::EItemXAxis)->iValue = 1;
  ASSERT_TRUE(example.RunUntil(
      [&] { return example.Current() == CGui::EAnalyzeView && !example.View().ReopenPending(); },
      [&, pressed = false]() mutable {
        if (!pressed) example.Press(0xF806);
        pressed = true;
        example.iWindow.Paint();
      }));
  CGraphGenerator& generator = example.Generator();
  EXPECT_EQ(ListWith(generator, KChannelObdSpeed, false), nullptr);
  EXPECT_NE(ListWith(generator, KChannelObdRpm, false), nullptr);
  EXPECT_EQ(example.View().Content()->Graph().Setup().iAxis, 1);
  // Speed and RPM: two scales, speed on the left.
  example.iWindow.Paint();
  EXPECT_EQ(example.View().Content()->Graph().Drawer().LeftScaleChannel(), KChannelGpsSpeed);
  EXPECT_EQ(example.View().Content()->Graph().Drawer().RightScaleChannel(), KChannelObdRpm);

  // No visible channel at all: the axes alone, painted without a fault.
  example.iModel->Settings().GraphChannels(1).Reset();
  ASSERT_TRUE(example.Calculate([&] { example.View().OpenLapGraph(1); }));
  example.iWindow.Paint();
  EXPECT_EQ(example.View().Content()->Graph().Drawer().LeftScaleChannel(), 0);
  EXPECT_EQ(example.View().Content()->Info().Segments().Count(), 1);
}

TEST(AnalyzeViewTest, OpeningsRefusedForTheWrongSessionShowNothing) {
  Example example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  const int32_t before = example.Current();
  example.View().OpenRunGraph();
  EXPECT_EQ(example.iModel->WorkerEngine().Worker(), nullptr);
  example.iWindow.Finish();
  EXPECT_EQ(example.Current(), before);
  EXPECT_EQ(example.Generator().Kind(), CGraphGenerator::EKindNone);
  // Past the end of the route there is nothing to show either.
  CPositionPlotList& route = example.Session().PlotList().PositionList();
  route.SetCursor(route.Count());
  example.View().OpenRouteGraph();
  EXPECT_EQ(example.iModel->WorkerEngine().Worker(), nullptr);
  EXPECT_EQ(example.Generator().Kind(), CGraphGenerator::EKindNone);

  // A calculation that fails releases the data, tells why and opens nothing.
  std::vector<std::string> notes;
  for (int32_t code : {-2, -5}) {
    route.SetCursor(0);
    ASSERT_EQ(example.Generator().PrepareSpan(), 1);
    bool reported = false;
    ASSERT_TRUE(example.RunUntil([&] { return reported && !example.iGui->Dialogs().CurrentModal(); },
                                 [&] {
                                   if (auto* note = dynamic_cast<CNoteDialogControl*>(example.iGui->Dialogs().CurrentModal())) {
                                     if (!note->IsClosed()) {
                                       notes.push_back(PwToUtf8(note->Text()));
                                       example.Press(0xF805);
                                     }
                                     return;
                                   }
                                   if (!reported) {
                                     reported = true;
                                     example.View().WorkerDone(code);
                                   }
                                 }));
    EXPECT_EQ(example.Generator().Kind(), CGraphGenerator::EKindNone);
    EXPECT_EQ(example.Current(), before);
  }
  EXPECT_EQ(notes, (std::vector<std::string>{"Memory full.", "Could not calculate logged data. Error #-5."}));
}

// --- Grid steps and bad input ----------------------------------------------------------------

TEST(GraphDrawerTest, GridStepsFollowTheOneTwoFiveRule) {
  TGridStep step;
  ASSERT_TRUE(CGraphDrawer::GridStep(23.7, 1.0, step));
  EXPECT_DOUBLE_EQ(step.iStep, 5.0);
  EXPECT_EQ(step.iDecimals, 0);
  ASSERT_TRUE(CGraphDrawer::GridStep(0.3, 1.0, step));
  EXPECT_DOUBLE_EQ(step.iStep, 0.1);
  EXPECT_EQ(step.iDecimals, 1);
  // A kilometre in km: 0.2 km = 200 m with one decimal.
  ASSERT_TRUE(CGraphDrawer::GridStep(1000.0, 0.001, step));
  EXPECT_DOUBLE_EQ(step.iStep, 200.0);
  EXPECT_EQ(step.iDecimals, 1);
  // Speeds in m/s shown as km/h: 100 km/h range gives 20 km/h = 5.5556 m/s.
  ASSERT_TRUE(CGraphDrawer::GridStep(100.0 / 3.6, 3.6, step));
  EXPECT_NEAR(step.iStep * 3.6, 20.0, 0.001);
  // Nothing for ranges that cannot be divided.
  EXPECT_FALSE(CGraphDrawer::GridStep(0.0, 1.0, step));
  EXPECT_FALSE(CGraphDrawer::GridStep(-1.0, 1.0, step));
  EXPECT_FALSE(CGraphDrawer::GridStep(std::nan(""), 1.0, step));
  EXPECT_FALSE(CGraphDrawer::GridStep(1e12, 1.0, step));
  EXPECT_FALSE(CGraphDrawer::GridStep(1.0, 0.0, step));
}

namespace {

// Samples of a drive along a meridian: aCount every 100 ms at aSpeed m/s (NaN: no speed), with
// OBD speed beside them when asked.
std::unique_ptr<CPlotList> Drive(int32_t aCount, double aSpeed, bool aObd, CObdChannelList* aObdChannels) {
  std::unique_ptr<CPlotList> plots(CPlotList::NewL(aObdChannels));
  constexpr double KMetresPerDegree = 6371000.0 * M_PI / 180.0;
  double north = 0.0;
  for (int32_t i = 0; i < aCount; ++i) {
    const int32_t t = 36000000 + i * 100;
    if (i > 0 && std::isfinite(aSpeed)) north += aSpeed * 0.1;
    plots->AddPosition(TCoordinate::FromDegrees(48.0 + north / KMetresPerDegree), TCoordinate::FromDegrees(11.0), t,
                       TDistance::FromMetres(500), std::isfinite(aSpeed) ? TSpeed::FromMetresPerSecond(aSpeed) : TSpeed::Invalid(),
                       0.0, 0.9, 1.2, 9, 0, 0, PwTime::KUnset, PwTime::KUnset, 0);
    if (aObd) plots->AddObdValue(t, 0x0D, static_cast<uint32_t>(std::isfinite(aSpeed) ? aSpeed * 3.6 : 0), 0);
  }
  return plots;
}

// Paints a generator's data into a bitmap with every setup that matters; true when it got
// through.
void PaintEverySetup(CGraphGenerator& aGenerator, CPwFont& aFont, const CStringProvider& aStrings) {
  std::unique_ptr<CPwBitmap> bitmap(CPwBitmap::NewL(360, 300));
  CGraphDrawer drawer(aStrings);
  for (const TPwRect rect : {TPwRect{0, 0, 360, 300}, TPwRect{0, 0, 1, 1}, TPwRect{10, 10, 10, 10}}) {
    drawer.SetPlotRect(rect);
    for (int32_t axis : {1, 2})
      for (bool scaled : {false, true})
        for (bool zoomed : {false, true})
          for (double factor : {1.0, 0.00048828125, 16.0}) {
            TGraphSetup setup;
            setup.iKind = 1;
            setup.iAxis = axis;
            setup.iScaled = scaled;
            setup.iZoomedY = zoomed;
            setup.iShowComparison = true;
            setup.iFactor = factor;
            (void)CGraphDrawer::Prepare(aGenerator, setup);
            drawer.Draw(*bitmap, aFont, aGenerator, setup);
            aGenerator.MoveCursor(true, true, setup.Base() * factor, scaled, axis);
            aGenerator.MoveCursor(false, false, setup.Base() * factor, scaled, axis);
          }
  }
}

}  // namespace

TEST(GraphDrawerTest, BadInputIsDrawnAsFarAsItGoesWithoutAFault) {
  std::unique_ptr<CLayout> layout(CLayout::NewL());
  layout->SurfaceChanged(360, 640);
  CPwFont& font = layout->Font(CLayout::EFontSmall);
  CStringProvider strings;
  std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
  std::unique_ptr<CChannelList> visible(new CChannelList());
  visible->Add(KChannelGpsSpeed);
  visible->Add(KChannelObdSpeed);
  visible->Add(KChannelAltitude);

  auto build = [&](const CPlotList& aPrimary, const CPlotList* aComparison, const CChannelList& aVisible) {
    std::unique_ptr<CGraphGenerator> generator(CGraphGenerator::NewL(nullptr));
    const CPositionPlotList& p = aPrimary.PositionList();
    if (p.Count() == 0 ||
        !generator->SetTimeStretch(CGraphGenerator::EPrimary, aPrimary, PwTime(p.At(0).iTime), PwTime(p.Last().iTime)))
      return generator;
    if (aComparison) {
      const CPositionPlotList& c = aComparison->PositionList();
      generator->SetTimeStretch(CGraphGenerator::EComparison, *aComparison, PwTime(c.At(0).iTime),
                                PwTime(c.Last().iTime));
    }
    generator->BuildLists(aVisible);
    while (generator->Step()) {
    }
    return generator;
  };

  // One sample: no channel has two points.
  auto one = Drive(1, 20.0, true, obd.get());
  auto generator = build(*one, nullptr, *visible);
  EXPECT_EQ(generator->ListCount(), 0);
  PaintEverySetup(*generator, font, strings);
  // A lap shorter than one x step (0.3 s against a cursor step of 1.2 s).
  auto short_ = Drive(4, 20.0, true, obd.get());
  generator = build(*short_, nullptr, *visible);
  PaintEverySetup(*generator, font, strings);
  generator->MoveCursor(true, false, 60.0, false, 1);
  EXPECT_EQ(generator->CursorMs(), 0);
  // Every value invalid (no speed, and standing still: no distance either).
  auto invalid = Drive(200, std::nan(""), false, obd.get());
  generator = build(*invalid, nullptr, *visible);
  PaintEverySetup(*generator, font, strings);
  // A comparison longer than the primary, scaled and not.
  auto longer = Drive(3000, 25.0, true, obd.get());
  auto primary = Drive(600, 30.0, true, obd.get());
  generator = build(*primary, longer.get(), *visible);
  ASSERT_TRUE(generator->HasComparison());
  PaintEverySetup(*generator, font, strings);
  generator->SetAxis(false, 1);
  generator->SetCursor(1e9, 1);
  EXPECT_EQ(generator->CursorMs(), 299900);  // the longer comparison's end
  // No visible channel: the axes alone.
  CChannelList none;
  generator = build(*primary, longer.get(), none);
  PaintEverySetup(*generator, font, strings);
  // Nothing at all.
  std::unique_ptr<CGraphGenerator> empty(CGraphGenerator::NewL(nullptr));
  EXPECT_FALSE(CGraphDrawer::Prepare(*empty, TGraphSetup()));
  PaintEverySetup(*empty, font, strings);
}

TEST(GraphDrawerTest, EachGraphKindStartsWithItsOwnDefaults) {
  CSettings settings(u"/tmp/");
  const TGraphSetup lap = TGraphSetup::FromSettings(settings, CSettings::KGraphKindLap);
  EXPECT_TRUE(lap.iShowComparison);
  EXPECT_TRUE(lap.iScaled);
  EXPECT_EQ(lap.iAxis, 2);
  EXPECT_FALSE(lap.iMapHidden);
  const TGraphSetup run = TGraphSetup::FromSettings(settings, CSettings::KGraphKindRun);
  EXPECT_TRUE(run.iShowComparison);
  EXPECT_FALSE(run.iScaled);
  EXPECT_EQ(run.iAxis, 1);
  EXPECT_TRUE(run.iMapHidden);
  const TGraphSetup route = TGraphSetup::FromSettings(settings, CSettings::KGraphKindSpan);
  EXPECT_FALSE(route.iShowComparison);
  EXPECT_FALSE(route.iScaled);
  EXPECT_EQ(route.iAxis, 1);
  EXPECT_FALSE(route.iMapHidden);
  EXPECT_FALSE(route.iZoomedY);
  EXPECT_EQ(route.iFactor, 1.0);
  EXPECT_EQ(route.Base(), 60.0);
  EXPECT_EQ(lap.Base(), 1000.0);
  // A factor that is no factor counts as 1; the kind's flags stay apart.
  settings.SetGraphWindowFactor(0.0);
  settings.SetGraphFlags(CSettings::KGraphKindRun, 0);
  EXPECT_EQ(TGraphSetup::FromSettings(settings, CSettings::KGraphKindRun).iFactor, 1.0);
  EXPECT_TRUE(TGraphSetup::FromSettings(settings, CSettings::KGraphKindLap).iShowComparison);
  // No kind: the setup still paints (time axis, nothing else).
  EXPECT_EQ(TGraphSetup::FromSettings(settings, 0).iAxis, 1);
}
