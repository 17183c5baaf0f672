// Map drawing: the viewport's fitting, projection and scale label, the route colours, the lap
// maps of the example session's best lap, the route cache against direct drawing, the map
// control in both modes and the repeat timing of the map buttons.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/controls/bitmap_button.h"
#include "app/draw/pw_font.h"
#include "app/map/map_control.h"
#include "app/map/map_drawer.h"
#include "foundation/string_provider.h"
#include "gui_harness.h"
#include "storage/position_plot_list.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/track_session.h"

namespace {

using pwtest::BareGui;
using pwtest::ModelGui;

int32_t Bits64(int64_t aValue) {
  int32_t bits = 0;
  for (; aValue > 0; aValue >>= 1) ++bits;
  return bits;
}

TGeoPoint Degrees(double aLat, double aLon) {
  return TGeoPoint(TCoordinate::FromDegrees(aLat), TCoordinate::FromDegrees(aLon));
}

TPositionPlot Sample(double aLat, double aLon, int32_t aTime, double aSpeed, int32_t aSatellites = 9,
                     bool aDiscontinuity = false) {
  TPositionPlot p;
  p.iTime = aTime;
  p.iLatitude = TCoordinate::FromDegrees(aLat).iValue;
  p.iLongitude = TCoordinate::FromDegrees(aLon).iValue;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aSpeed));
  p.iBearing = 9000;
  p.iFlags = TPositionPlot::EncodeFlags(aSatellites, false, aDiscontinuity);
  return p;
}

TEST(MapViewportTest, FitsClampsProjectsBackAndLabelsTheScale) {
  CMapDrawer drawer;
  drawer.SetViewRect(TPwRect{0, 0, 360, 400});
  EXPECT_FALSE(drawer.HasView()) << "no data, nothing shown";

  // A single sample: a degenerate box widened by a unit, clamped to the 3 m view.
  drawer.AddPoint(Degrees(52.1, -0.96));
  ASSERT_TRUE(drawer.HasView());
  EXPECT_NEAR(drawer.ViewSizeMetres(), 3.0, 0.05);

  // Zooming out beyond 2000 km stops there; the scale texts follow the thresholds.
  drawer.SetCentre(Degrees(52.1, -0.96));
  drawer.SetViewSize(5000000.0);
  EXPECT_NEAR(drawer.ViewSizeMetres(), 2000000.0, 50.0);
  CPwString text;
  for (auto [metres, expected] : std::vector<std::pair<double, const char16_t*>>{
           {12000, u"12 km"}, {9500, u"10 km"}, {2000, u"2.0 km"}, {950, u"1.0 km"}, {250, u"250 m"}, {5, u"5.0 m"}}) {
    CMapDrawer::ScaleText(metres, text);
    EXPECT_EQ(PwToUtf8(text), PwToUtf8(CPwStringC(expected))) << metres;
  }

  // A 1 km view over a 400 m box: pixels go back to the coordinates they came from, ground
  // distances are equal both ways, and the view stays near the data.
  for (TPwRect rect : {TPwRect{0, 0, 360, 400}, TPwRect{10, 20, 210, 220}, TPwRect{0, 0, 1920, 1080}}) {
    CMapDrawer map;
    map.SetViewRect(rect);
    map.AddPoint(Degrees(52.118, -0.972));
    map.AddPoint(Degrees(52.1416, -0.9461));
    map.SetCentre(Degrees(52.13, -0.959));
    map.SetViewSize(1000.0);
    ASSERT_TRUE(map.HasView());
    EXPECT_NEAR(map.ViewSizeMetres(), 1000.0, 1.0);
    const TMapProjection& p = map.Projection();
    EXPECT_LE(Bits64(std::max(p.iClipMaxLatitude - p.iClipMinLatitude, p.iClipMaxLongitude - p.iClipMinLongitude)) - p.iShift, 13);
    for (int32_t y = rect.iTop; y < rect.iBottom; y += 37)
      for (int32_t x = rect.iLeft; x < rect.iRight; x += 41) {
        TPwPoint back;
        ASSERT_TRUE(map.ToPixel(map.FromPixel(x, y), back));
        EXPECT_EQ(back.iX, x) << rect.Width() << " " << y;
        EXPECT_EQ(back.iY, y) << rect.Width() << " " << x;
      }
    const TGeoPoint a = map.FromPixel(rect.iLeft, rect.iTop), b = map.FromPixel(rect.iRight - 1, rect.iBottom - 1);
    const double east = TPosition(TGeoPoint(a.iLatitude, a.iLongitude)).Distance(TPosition(TGeoPoint(a.iLatitude, b.iLongitude))).Metres();
    const double north = TPosition(TGeoPoint(a.iLatitude, a.iLongitude)).Distance(TPosition(TGeoPoint(b.iLatitude, a.iLongitude))).Metres();
    EXPECT_NEAR(east / north, static_cast<double>(rect.Width() - 1) / (rect.Height() - 1), 0.02);

    // Dragging right by 100 pixels shows what lay 100 pixels to the left.
    const TGeoPoint left = map.FromPixel(rect.iLeft + 50, rect.iTop + 50);
    map.Drag(100, 0);
    TPwPoint moved;
    ASSERT_TRUE(map.ToPixel(left, moved));
    EXPECT_NEAR(moved.iX, rect.iLeft + 150, 1);
  }

  // The live position is kept an eighth of the view inside the edges.
  CMapDrawer live;
  live.SetViewRect(TPwRect{0, 0, 360, 400});
  live.AddPoint(Degrees(52.10, -0.96));
  live.AddPoint(Degrees(52.12, -0.96));
  live.SetCentre(Degrees(52.10, -0.96));
  live.SetViewSize(1000.0);
  live.SetVisiblePoint(Degrees(52.12, -0.96));
  TPwPoint at;
  ASSERT_TRUE(live.ToPixel(Degrees(52.12, -0.96), at));
  EXPECT_GE(at.iY, 400 / 8 - 1);
  EXPECT_LT(at.iY, 400 - 400 / 8);
}

TEST(MapColoursTest, FollowTheSatelliteSpeedAndAccelerationScales) {
  EXPECT_EQ(CMapDrawer::SatelliteColour(3), 0xFF0000u);
  EXPECT_EQ(CMapDrawer::SatelliteColour(5), 0xFF8000u) << "5 satellites: orange";
  EXPECT_EQ(CMapDrawer::SatelliteColour(7), 0xFFFF00u);
  EXPECT_EQ(CMapDrawer::SatelliteColour(8), 0x00FF00u);
  EXPECT_EQ(CMapDrawer::SegmentColour(Sample(52, 0, 0, 10, 9, true), nullptr, 0, EMapColourSatellites, {}), 0xFF0000u)
      << "a discontinuity counts as no satellites";

  EXPECT_EQ(CMapDrawer::SpeedColour(0.0), 0xFF0000u);
  EXPECT_EQ(CMapDrawer::SpeedColour(27.78), 0xFFFF00u);
  EXPECT_EQ(CMapDrawer::SpeedColour(2 * 27.78), 0x00FF00u);
  EXPECT_EQ(CMapDrawer::SpeedColour(1.5 * 27.78), 0x7FFF00u);
  EXPECT_EQ(CMapDrawer::SpeedColour(200.0), 0x00FFFFu);

  TMapColourLimits limits;
  limits.iBraking = TMapColourLimits::LimitOfChoice(4);
  limits.iAcceleration = TMapColourLimits::LimitOfChoice(2);
  EXPECT_EQ(limits.iBraking, 6.0);
  EXPECT_EQ(limits.iAcceleration, 2.0);
  EXPECT_EQ(CMapDrawer::AccelerationColour(-12.0, limits), 0xFF0000u) << "twice the braking limit: pure red";
  EXPECT_EQ(CMapDrawer::AccelerationColour(-3.0, limits), 0xB03030u);
  EXPECT_EQ(CMapDrawer::AccelerationColour(0.0, limits), 0x606060u);
  EXPECT_EQ(CMapDrawer::AccelerationColour(3.0, limits), 0x00FF00u);
  // Braking from 20 to 14 m/s in a second against the 6 m/s2 limit: exactly the limit.
  const TPositionPlot before = Sample(52, 0, 0, 20), after = Sample(52, 0, 1000, 14);
  EXPECT_EQ(CMapDrawer::SegmentColour(after, &before, 0, EMapColourAcceleration, limits), 0xFF0000u);
}

TEST(MapRouteTest, MergesShortHopsDashesTraceStartsAndTheCacheDrawsTheSame) {
  CPositionPlotList list;
  // An east-west line sampled every 0.5 m (merged hops at 1 km view), then a gap to a new
  // trace segment further north.
  for (int32_t i = 0; i < 400; ++i) list.AppendStored(Sample(52.0, -0.96 + i * 0.5 / 68000.0, i * 100, 5.0));
  list.AppendStored(Sample(52.002, -0.96, 41000, 5.0, 9, true));
  for (int32_t i = 1; i < 200; ++i) list.AppendStored(Sample(52.002, -0.96 + i * 1.0 / 68000.0, 41000 + i * 100, 5.0));

  CMapDrawer drawer;
  drawer.SetViewRect(TPwRect{0, 0, 300, 300});
  drawer.AddRoute(list);
  drawer.SetCentre(list.At(200).GeoPoint());
  drawer.SetViewSize(600.0);
  std::unique_ptr<CPwBitmap> direct(CPwBitmap::NewL(300, 300));
  drawer.DrawRoute(*direct, list, 0, KInvalidInt, 0xFFFF00, EMapColourPlain);
  TPwPoint a, b, c;
  ASSERT_TRUE(drawer.ToPixel(list.At(0).GeoPoint(), a));
  ASSERT_TRUE(drawer.ToPixel(list.At(399).GeoPoint(), b));
  ASSERT_TRUE(drawer.ToPixel(list.At(400).GeoPoint(), c));
  int32_t lit = 0;
  for (int32_t x = a.iX; x <= b.iX; ++x) lit += direct->Pixel(x, a.iY) == 0xFFFFFF00u;
  EXPECT_GE(lit, (b.iX - a.iX) * 9 / 10) << "merged hops still draw a continuous line";
  // The jump to the new trace segment is dashed: along it some pixels are lit, some not.
  int32_t on = 0, off = 0;
  for (int32_t k = 2; k < 20; ++k) {
    const int32_t x = b.iX + (c.iX - b.iX) * k / 22, y = b.iY + (c.iY - b.iY) * k / 22;
    bool any = false;
    for (int32_t dx = -1; dx <= 1; ++dx) any = any || direct->Pixel(x + dx, y) == 0xFFFFFF00u;
    (any ? on : off) += 1;
  }
  EXPECT_GT(on, 2);
  EXPECT_GT(off, 2);

  // The cache draws what direct drawing draws, also after the view moved.
  CMapRouteCache cache;
  std::unique_ptr<CPwBitmap> cached(CPwBitmap::NewL(300, 300));
  for (int32_t step = 0; step < 3; ++step) {
    if (step > 0) drawer.Drag(37, -23);
    direct->Clear(0);
    drawer.DrawRoute(*direct, list, 0, KInvalidInt, 0xFFFF00, EMapColourSatellites);
    cache.Draw(*cached, drawer, list, 0, 0xFFFF00, EMapColourSatellites, 1, {}, 0x000000);
    int32_t differ = 0, lines = 0;
    for (int32_t y = 0; y < 300; ++y)
      for (int32_t x = 0; x < 300; ++x) {
        lines += (direct->Pixel(x, y) & 0xFFFFFF) != 0;
        differ += (direct->Pixel(x, y) & 0xFFFFFF) != (cached->Pixel(x, y) & 0xFFFFFF);
      }
    EXPECT_GT(lines, 200) << step;
    EXPECT_LE(differ, lines / 3 + 4) << step;
  }
  EXPECT_EQ(cache.FullRenders(), 1) << "moving within the margin only copies";
  drawer.SetViewSize(300.0);
  cache.Draw(*cached, drawer, list, 0, 0xFFFF00, EMapColourSatellites, 1, {}, 0x000000);
  EXPECT_EQ(cache.FullRenders(), 2) << "a new zoom draws again";

  // No samples, and odd view sizes: nothing to draw, nothing divides by zero.
  CPositionPlotList empty;
  CMapDrawer none;
  for (TPwRect rect : {TPwRect{0, 0, 1, 1}, TPwRect{0, 0, 200, 200}, TPwRect{0, 0, 1920, 1080}, TPwRect()}) {
    none.SetViewRect(rect);
    none.AddRoute(empty);
    EXPECT_FALSE(none.HasView());
    cache.Draw(*cached, none, empty, 0, 0xFFFF00, EMapColourPlain, 1, {}, 0x000000);
    none.DrawRoute(*cached, empty, 0, KInvalidInt, 0xFFFF00, EMapColourPlain);
  }
}

// --- The example session ---------------------------------------------------------------------

// The model over temporary folders with the shipped examples installed, and the example session
// opened and loaded.
struct ExampleSession : ModelGui {
  bool Open() {
    const std::string examples = std::string(PW_SOURCE_DATA_DIR) + "/examples";
    if (!std::filesystem::exists(examples + "/Pacewright/Sessions/20070101-0000-example-plots.bin")) return false;
    setenv("PACEWRIGHT_INSTALL", PW_SOURCE_DATA_DIR, 1);
    Create();
    if (!StartToMainMenu()) return false;
    const CSessionInfo* record = nullptr;
    for (int32_t i = 0; i < iModel->Sessions().Count(); ++i)
      if (iModel->Sessions().At(i)->IsReadOnly()) record = iModel->Sessions().At(i);
    if (!record || iModel->OpenSession(*record, nullptr) != 1) return false;
    return RunUntil([this] { return iModel->TrackSession() && !iModel->TrackSession()->SamplesLoader(); },
                    [this] { iWindow.FireTimer(); });
  }
  CTrackSession& Session() { return *iModel->TrackSession(); }
};

TEST(LapMapTest, TheBestLapOfTheExampleSessionInEveryColouringMode) {
  ExampleSession example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  CTrackSession& session = example.Session();
  CLapList& laps = session.Laps();
  ASSERT_NE(laps.BestLap(), nullptr);
  const int32_t best = laps.BestLapIndex();

  // Four maps of 180 x 180 in one picture: sectors with the middle sector selected, splits,
  // trap speeds and high/low speeds.
  std::unique_ptr<CPwBitmap> picture(CPwBitmap::NewL(360, 360));
  std::unique_ptr<CPwFont> labels(CPwFont::NewL(EPwFontSans, 10));
  std::unique_ptr<CPwFont> name(CPwFont::NewL(EPwFontBold, 14));
  CStringProvider strings;
  CMapDrawer drawer;
  const TLapMapMode modes[4] = {ELapMapSectors, ELapMapSplits, ELapMapTrapSpeeds, ELapMapHighLow};
  std::vector<double> sizes;
  for (int32_t k = 0; k < 4; ++k) {
    const TPwRect rect{(k % 2) * 180, (k / 2) * 180, (k % 2) * 180 + 180, (k / 2) * 180 + 180};
    picture->SetClipRect(rect);
    picture->FillRect(rect, 0x000000);
    TLapMapInput input;
    input.iLap = laps.BestLap();
    input.iComparison = laps.ComparisonLapFor(best);
    input.iTraps = session.Track().Traps();
    input.iTrackName = session.Track().Name();
    input.iTrackCentre = session.Track().Centre();
    input.iMode = modes[k];
    input.iSelected = k == 0 ? laps.BestLap()->Crossing(1)->iKey : -1;
    input.iSpeedUnit = strings.UnitText(4);
    drawer.SetViewRect(rect);
    drawer.DrawLapMap(*picture, *labels, *name, input);
    sizes.push_back(drawer.ViewSizeMetres());
    picture->ResetClipRect();
  }
  // The lap fills its map: the circuit is under a kilometre across.
  for (double size : sizes) {
    EXPECT_GT(size, 300.0);
    EXPECT_LT(size, 1500.0);
  }
  pwtest::ExpectMatchesReference(*picture, "lap_maps.png");

  // A lap with nothing around it: no comparison, no traps, a tiny and a huge view.
  for (TPwRect rect : {TPwRect{0, 0, 1, 1}, TPwRect{0, 0, 200, 200}, TPwRect{0, 0, 1920, 1080}}) {
    std::unique_ptr<CPwBitmap> bitmap(CPwBitmap::NewL(rect.Width(), rect.Height()));
    TLapMapInput input;
    input.iLap = laps.Lap(laps.LapCount() - 1);  // the unfinished in lap
    drawer.SetViewRect(rect);
    drawer.DrawLapMap(*bitmap, *labels, *name, input);
  }
}

TEST(MapControlTest, StepsZoomsAndDragsInRouteModeAndFollowsTheCarInLiveMode) {
  ExampleSession example;
  if (!example.Open()) GTEST_SKIP() << "the examples are not built";
  CPositionPlotList& list = example.Session().PlotList().PositionList();
  CGui& gui = *example.iGui;
  std::unique_ptr<CMapControl> route(CMapControl::NewL(&gui, *example.iModel, CMapControl::ERouteMode));
  std::unique_ptr<CMapControl> live(CMapControl::NewL(&gui, *example.iModel, CMapControl::ELiveMode));
  route->SetRect(TPwRect{0, 0, 360, 500});
  live->SetRect(TPwRect{0, 0, 360, 500});
  EXPECT_TRUE(route->Button(CMapControl::ENext).IsVisible());
  EXPECT_FALSE(live->Button(CMapControl::ENext).IsVisible());
  const TPwRect zoomIn = route->Button(CMapControl::EZoomIn).Rect();
  EXPECT_EQ(zoomIn.iRight, 360);
  EXPECT_EQ((zoomIn.iTop + zoomIn.iBottom) / 2, 100);
  EXPECT_EQ(route->Button(CMapControl::EPrevious).Rect().iLeft, 0);

  // Stepping wraps at both ends and centres on the cursor.
  list.SetCursor(list.Count() - 1);
  EXPECT_EQ(route->HandleCommand(pwcmd::KMapNext), 0);
  EXPECT_EQ(list.Cursor(), 0);
  EXPECT_EQ(route->HandleCommand(pwcmd::KMapPrevious), 0);
  EXPECT_EQ(list.Cursor(), list.Count() - 1);
  list.SetCursor(100);
  EXPECT_EQ(route->HandleCommand(pwcmd::KMapNextLarge), 0);
  EXPECT_EQ(list.Cursor(), 130);
  EXPECT_EQ(live->HandleCommand(pwcmd::KMapPreviousLarge), 0);
  EXPECT_EQ(list.Cursor(), 130) << "live mode does not move the cursor";

  CPwBitmap& surface = *gui.Buffer()->Bitmap();
  route->Draw();
  EXPECT_NEAR(route->ActualViewSize(), 1000.0, 1.0);
  TPwPoint cursor;
  ASSERT_TRUE(route->Drawer().ToPixel(list.At(130).GeoPoint(), cursor));
  EXPECT_NEAR(cursor.iX, 180, 2);
  EXPECT_NEAR(cursor.iY, 250, 2);

  // Zoom steps halve and double the settings' map scale.
  CSettings& settings = example.iModel->Settings();
  settings.SetMapScale(1.0);
  EXPECT_EQ(route->HandleCommand(pwcmd::KZoomMapIn), 0);
  EXPECT_DOUBLE_EQ(settings.MapScale(), 0.5);
  route->Draw();
  EXPECT_NEAR(route->ActualViewSize(), 500.0, 1.0);
  EXPECT_EQ(route->HandleCommand(pwcmd::KZoomMapOut), 0);
  EXPECT_DOUBLE_EQ(settings.MapScale(), 1.0);
  EXPECT_DOUBLE_EQ(CMapControl::ZoomedIn(0.004, 4.0), 0.002);
  EXPECT_DOUBLE_EQ(CMapControl::ZoomedIn(0.002, 3.0), 0.002) << "at the 3 m limit zooming in stops";
  EXPECT_DOUBLE_EQ(CMapControl::ZoomedOut(4096.0, 2000000.0), 4096.0) << "beyond 2000 km zooming out stops";

  // Dragging in route mode moves the map; live mode leaves the pointer alone.
  route->Draw();
  const TGeoPoint before = route->Drawer().Centre();
  EXPECT_EQ(route->DispatchPointer(0, 150, 250), 0);
  EXPECT_EQ(route->DispatchPointer(1, 190, 250), 0);
  EXPECT_EQ(route->DispatchPointer(2, 190, 250), 0);
  EXPECT_LT(route->Drawer().Centre().iLongitude.iValue, before.iLongitude.iValue);
  EXPECT_NE(live->DispatchPointer(0, 150, 250), 0);

  // Live mode keeps the newest sample in view; the route is drawn in yellow.
  live->Draw();
  TPwPoint last;
  ASSERT_TRUE(live->Drawer().ToPixel(list.Last().GeoPoint(), last));
  EXPECT_TRUE(TPwRect({45, 62, 315, 438}).Contains(last.iX, last.iY)) << last.iX << "," << last.iY;
  int32_t yellow = 0;
  for (int32_t y = 0; y < 500; ++y)
    for (int32_t x = 0; x < 360; ++x) yellow += (surface.Pixel(x, y) & 0xFFFFFF) == 0xFFFF00;
  EXPECT_GT(yellow, 500);

  // Any size, and no session at all.
  for (TPwRect rect : {TPwRect{0, 0, 200, 200}, TPwRect{0, 0, 1920, 1080}, TPwRect{0, 0, 1, 1}}) {
    gui.SetRect(rect);
    route->SetRect(rect);
    route->Draw();
    live->SetRect(rect);
    live->Draw();
  }
  example.iModel->CloseSession();
  route->Draw();
  live->HandleCommand(pwcmd::KMapNext);
  live->Draw();
}

// --- Buttons ----------------------------------------------------------------------------------

class ButtonView final : public CCustomView {
 public:
  ButtonView() {
    iContent = new CContainerControl(this);
    iStepper = new CBitmapButtonControl(iContent, 4116, 4118, "step_forward");
    iZoom = new CBitmapButtonControl(iContent, 4120, 0, "map_zoom_in");
    iContent->AddChildL(iStepper);
    iContent->AddChildL(iZoom);
  }
  ~ButtonView() override {
    iContent->DeleteChild(iStepper);
    iContent->DeleteChild(iZoom);
    delete iContent;
  }
  int32_t ViewNumber() override { return CGui::EStartupView; }
  void Activate() override {}
  void Deactivate() override {}
  CCustomControl* ContentControl() override { return iContent; }
  void SetRect(const TPwRect& aRect) override {
    CCustomView::SetRect(aRect);
    iStepper->SetRect(TPwRect{aRect.iLeft, aRect.iTop, aRect.iLeft + 40, aRect.iTop + 40});
    iZoom->SetRect(TPwRect{aRect.iLeft + 100, aRect.iTop, aRect.iLeft + 140, aRect.iTop + 40});
  }
  int32_t HandleCommand(int32_t aCommand) override {
    iSent.push_back({iClock ? *iClock : 0, aCommand});
    return 0;
  }
  CContainerControl* iContent;
  CBitmapButtonControl* iStepper;
  CBitmapButtonControl* iZoom;
  std::vector<std::pair<int32_t, int32_t>> iSent;  // (time, command)
  const int32_t* iClock = nullptr;
};

TEST(BitmapButtonTest, RepeatsAfter500Then150Then50MsAndSwitchesToTheSecondCommandAfter30) {
  BareGui bare;
  auto* view = new ButtonView();
  view->iClock = &bare.iWindow.iNow;
  bare.iGui->RegisterViewL(view);
  bare.iGui->ActivateFirstView();
  bare.iGui->FinishEvent();

  const int32_t sx = view->iStepper->Rect().iLeft + 20, sy = view->iStepper->Rect().iTop + 20;
  const int32_t zx = view->iZoom->Rect().iLeft + 20;
  bare.iGui->Pointer(0, sx, sy);
  EXPECT_TRUE(view->iStepper->IsPressed());
  bare.iWindow.Advance(3000);
  bare.iGui->Pointer(2, sx, sy);
  EXPECT_FALSE(view->iStepper->IsPressed());
  bare.iWindow.Advance(1000);

  std::vector<std::pair<int32_t, int32_t>> expected{{0, 4116}};
  int32_t t = 500;
  for (int32_t count = 0; count < 30; ++count) {
    expected.push_back({t, 4116});
    t += count < 5 ? 150 : (count < 29 ? 50 : 250);
  }
  for (; t <= 3000; t += 250) expected.push_back({t, 4118});
  EXPECT_EQ(view->iSent, expected);

  // Without a second command it keeps its own every 50 ms; moving out only changes the look.
  view->iSent.clear();
  const int32_t start = bare.iWindow.iNow;
  bare.iGui->Pointer(0, zx, sy);
  bare.iGui->Pointer(1, 300, 300);
  EXPECT_FALSE(view->iZoom->IsPressed());
  bare.iGui->Pointer(1, zx, sy);
  EXPECT_TRUE(view->iZoom->IsPressed());
  bare.iWindow.Advance(2900);
  bare.iGui->Pointer(2, zx, sy);
  ASSERT_GE(view->iSent.size(), 40u);
  EXPECT_EQ(view->iSent.back().first - start, 2900);
  EXPECT_EQ(view->iSent.back().second, 4120);
  EXPECT_EQ(view->iSent[view->iSent.size() - 1].first - view->iSent[view->iSent.size() - 2].first, 50);
  EXPECT_EQ(bare.iGui->PendingTimerCount(), 0) << "release stops the repeat";
}

}  // namespace
