// The live channel gauge: its channel cycle with and without OBD-II data, stepping by commands
// and taps, the geometry of the sky plot and the needle, and the four kinds of face it draws.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "app/controls/azimuth_control.h"
#include "app/gui/commands.h"
#include "gui_harness.h"
#include "storage/session_info.h"
#include "storage/settings.h"

namespace {

using pwtest::ModelGui;

// The model with a data-logging session open (nothing recorded) and a gauge on its GUI.
struct GaugeRig : ModelGui {
  GaugeRig() {
    Create();
    EXPECT_TRUE(StartToMainMenu());
    iGauge.reset(CAzimuthControl::NewL(iGui, *iModel));
  }
  ~GaugeRig() { iGauge.reset(); }
  void OpenSession() {
    CSessionInfo description;
    description.SetTitle(u"Gauge");
    description.SetSessionType(ESessionDataLogging);
    ASSERT_EQ(iModel->NewSession(description), 1);
  }
  std::vector<TChannelId> Visits(int32_t aCommand, int32_t aSteps) {
    std::vector<TChannelId> seen;
    for (int32_t i = 0; i < aSteps; ++i) {
      if (iGauge->HandleCommand(aCommand) != 0) break;
      seen.push_back(iGauge->CurrentChannel());
    }
    return seen;
  }
  std::unique_ptr<CAzimuthControl> iGauge;
};

TEST(GaugeCycleTest, StepsThroughTheChannelsThatHaveDataWithAndWithoutObd) {
  GaugeRig rig;
  CAzimuthControl& gauge = *rig.iGauge;
  const CObdChannelList& obd = rig.iModel->ObdChannels();

  // 7, 1, 9, 6, 4, 5, 21, the OBD-II channels in table order, the logger channels, then 0.
  std::vector<TChannelId> expected{7, 1, 9, 6, 4, 5, 21};
  for (int32_t i = 0; i < obd.Count(); ++i) expected.push_back(obd.At(i).Id());
  for (TChannelId id : {20000, 20001, 20002, 20010, 20003, 20004, 20005, 20006, 20007, 20011, 20012, 20013, 0})
    expected.push_back(id);
  std::vector<TChannelId> cycle;
  for (int32_t i = 0; i < gauge.CycleCount(); ++i) cycle.push_back(gauge.CycleAt(i));
  EXPECT_EQ(cycle, expected);
  EXPECT_EQ(gauge.CurrentChannel(), 7);

  // No data yet: only the satellites and "none" can be shown; a tap moves on and back.
  EXPECT_EQ(rig.Visits(pwcmd::KNextChannel, 3), (std::vector<TChannelId>{0, 7, 0}));
  EXPECT_EQ(rig.Visits(pwcmd::KPreviousChannel, 2), (std::vector<TChannelId>{7, 0}));

  // GPS data only: the GPS channels in cycle order, no OBD-II or logger channel.
  CChannelState& state = rig.iModel->ChannelState();
  for (TChannelId id : {1, 4, 5, 6, 9}) state.SetValue(id, 10.0);
  rig.Visits(pwcmd::KNextChannel, 1);
  ASSERT_EQ(gauge.CurrentChannel(), 7);
  EXPECT_EQ(rig.Visits(pwcmd::KNextChannel, 7), (std::vector<TChannelId>{1, 9, 6, 4, 5, 0, 7}));
  EXPECT_EQ(rig.Visits(pwcmd::KPreviousChannel, 3), (std::vector<TChannelId>{0, 5, 4}));

  // With OBD-II engine speed and coolant temperature they come after the GPS channels, in
  // table order, before the logger.
  state.SetValue(KChannelObdRpm, 3000.0);
  state.SetValue(KChannelObdCoolantTemperature, 90.0);
  state.SetValue(KChannelLoggerDigital1, 1.0);
  std::vector<TChannelId> obdOrder;
  for (int32_t i = 0; i < obd.Count(); ++i)
    if (obd.At(i).Id() == 24 || obd.At(i).Id() == 26) obdOrder.push_back(obd.At(i).Id());
  const std::vector<TChannelId> after = rig.Visits(pwcmd::KNextChannel, 4);
  EXPECT_EQ(after, (std::vector<TChannelId>{5, obdOrder[0], obdOrder[1], 20002}));

  // A tap issues the next channel; a move does not.
  const TChannelId before = gauge.CurrentChannel();
  gauge.SetRect(TPwRect{0, 0, 120, 120});
  EXPECT_EQ(gauge.HandlePointer(0, 60, 60), 0);
  EXPECT_EQ(gauge.HandlePointer(1, 70, 60), 0);
  EXPECT_EQ(gauge.CurrentChannel(), before);
  EXPECT_EQ(gauge.HandlePointer(2, 70, 60), 0);
  EXPECT_EQ(gauge.CurrentChannel(), 0);
  EXPECT_NE(gauge.HandlePointer(0, 500, 500), 0) << "a tap outside is not the gauge's";
}

TEST(GaugeGeometryTest, SkyPlotNeedleAndSignalColours) {
  // Elevation 90 at the centre, 0 on the outer ring; azimuth clockwise from up.
  TPwPoint p = CAzimuthDrawer::SkyPosition(100, 100, 200, 90, 123);
  EXPECT_EQ(p.iX, 100);
  EXPECT_EQ(p.iY, 100);
  p = CAzimuthDrawer::SkyPosition(100, 100, 200, 0, 90);
  EXPECT_EQ(p.iX, 200);
  EXPECT_EQ(p.iY, 100);
  p = CAzimuthDrawer::SkyPosition(100, 100, 200, 45, 180);
  EXPECT_EQ(p.iX, 100);
  EXPECT_EQ(p.iY, 150);

  // A speed of 0 points down and to the left, 150 km/h up and to the right.
  EXPECT_NEAR(CAzimuthDrawer::NeedleAngle(4, 0.0), -3 * KPi / 4, 1e-9);
  EXPECT_NEAR(CAzimuthDrawer::NeedleAngle(4, 41.6667), KPi / 4, 1e-4);
  EXPECT_NEAR(CAzimuthDrawer::NeedleAngle(8, 6000.0), KPi / 4, 1e-9);

  EXPECT_EQ(CAzimuthDrawer::SnrColour(-1), 0x3F808080u);
  EXPECT_EQ(CAzimuthDrawer::SnrColour(10), 0x3FC00000u);
  EXPECT_EQ(CAzimuthDrawer::SnrColour(31), 0x3FC06000u);
  EXPECT_EQ(CAzimuthDrawer::SnrColour(42), 0x3FC8C000u);
  EXPECT_EQ(CAzimuthDrawer::SnrColour(65), 0x3F00C000u);
  EXPECT_EQ(CAzimuthDrawer::SnrColour(70), 0x3F00C000u);
}

TEST(GaugeDrawingTest, SkyPlotCompassDialAndPanelWithNoDataAndOddSizes) {
  GaugeRig rig;
  CAzimuthControl& gauge = *rig.iGauge;
  CPwBitmap& surface = *rig.iGui->Buffer()->Bitmap();
  CLayout& layout = rig.iGui->Buffer()->Layout();
  CAzimuthDrawer& drawer = gauge.Drawer();

  // Without a session nothing is painted.
  surface.Clear(0x123456);
  gauge.SetRect(TPwRect{0, 0, 160, 160});
  gauge.Draw();
  EXPECT_EQ(surface.Pixel(80, 80) & 0xFFFFFF, 0x123456u);

  rig.OpenSession();
  CChannelState& state = rig.iModel->ChannelState();
  const TSatelliteInView sats[3] = {{5, 60, 40, 45}, {12, 20, 200, 15}, {17, 80, 300, -1}};
  state.SetSatellitesInView(sats, 3);
  const int32_t used[1] = {5};
  state.SetUsedSatellites(used, 1);
  state.SetValue(KChannelGpsSpeed, 41.6667);
  state.SetValue(KChannelBearing, 60.0);
  state.SetValue(KChannelObdRpm, InvalidReal());  // known channel, no value: "No data"
  state.SetTime(KChannelGpsTime, PwTime(12 * 3600000 + 34 * 60000 + 56000));
  for (int32_t t : {1000, 1100})
    static_cast<CCore&>(*rig.iModel).SlowBearing().Update(TPosition(0.9, -0.01), TSpeed::FromMetresPerSecond(20.0),
                                                          PwTime(t), TAngle::FromDegrees(60.0));

  // Four faces in one picture: sky plot, compass, speed dial, and a panel without data.
  surface.Clear(0x204020);
  const struct {
    TChannelId iChannel;
    TPwRect iRect;
  } faces[4] = {{7, {0, 0, 160, 160}}, {6, {160, 0, 320, 160}}, {4, {0, 160, 160, 320}}, {24, {160, 160, 320, 320}}};
  for (const auto& face : faces) {
    drawer.SetRect(face.iRect);
    drawer.Draw(surface, layout, face.iChannel, false);
  }
  std::unique_ptr<CPwBitmap> picture(CPwBitmap::NewL(320, 320));
  picture->CopyRect(surface, TPwRect{0, 0, 320, 320}, 0, 0);
  pwtest::ExpectMatchesReference(*picture, "gauge_faces.png");

  // Drawn over a map the background stays; the needle of 150 km/h points up-right.
  surface.Clear(0x204020);
  drawer.SetRect(TPwRect{0, 0, 160, 160});
  drawer.Draw(surface, layout, 4, true);
  EXPECT_EQ(surface.Pixel(1, 1) & 0xFFFFFF, 0x204020u);
  const TPwPoint tip{80 + static_cast<int32_t>(60 * std::sin(KPi / 4)), 80 - static_cast<int32_t>(60 * std::cos(KPi / 4))};
  EXPECT_GT((surface.Pixel(tip.iX, tip.iY) >> 16) & 0xFF, 0x80u) << "the red needle";

  // Any channel at any size, even a zero one.
  for (TPwRect rect : {TPwRect{0, 0, 0, 0}, TPwRect{0, 0, 3, 200}, TPwRect{0, 0, 200, 200}, TPwRect{0, 0, 1080, 1080}}) {
    gauge.SetRect(rect);
    for (int32_t i = 0; i < gauge.CycleCount(); ++i) drawer.Draw(surface, layout, gauge.CycleAt(i), i % 2 == 0);
  }
}

}  // namespace
