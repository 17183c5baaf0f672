// Repaints of the live timer's map over long recordings: an hour (36 000 samples) and ten
// hours (360 000 samples) of 10 Hz laps round a 2.8 km circuit. Each steady repaint follows a
// newly appended sample, as the live timer does; the full render is the first paint after a
// zoom change, when the whole route is drawn again. The route view's repaint follows a step of
// its cursor sample: the map re-centres on it and is drawn with the info line over it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/gui/gui.h"
#include "app/map/map_control.h"
#include "app/views/route_view.h"
#include "app/model.h"
#include "bench/null_window.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/position_plot_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/track_session.h"

namespace {

// A lap of a 450 m circle at 40 m/s; every lap a little off the last, as a driver is.
TPositionPlot DriveSample(int64_t aIndex) {
  const double t = aIndex / 10.0;
  const double radius = 450.0 + 3.0 * std::sin(aIndex / 28.0 / 10.0 * 0.37);
  const double angle = 40.0 * t / 450.0;
  TPositionPlot p;
  p.iTime = static_cast<int32_t>(aIndex * 100);
  p.iLatitude = TCoordinate::FromDegrees(52.1287 + radius * std::cos(angle) / 111195.0).iValue;
  p.iLongitude = TCoordinate::FromDegrees(-0.9614 + radius * std::sin(angle) / (111195.0 * 0.614)).iValue;
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(40.0));
  p.iBearing = 9000;
  p.iFlags = TPositionPlot::EncodeFlags(9, false, false);
  return p;
}

struct MapRig {
  explicit MapRig(int64_t aSamples, int32_t aMode = CMapControl::ELiveMode) {
    const std::string dir = std::filesystem::temp_directory_path() / ("pw-map-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    setenv("PACEWRIGHT_DOCUMENTS", (dir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (dir + "/appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (dir + "/install").c_str(), 1);
    iDir = dir;
    iModel.reset(CModel::NewL(&iLoop, TGuiFactory()));
    iModel->SetFreeSpaceQuery([](CPwStringC) { return 1024 * 1024; });
    (void)iModel->StartUp();
    CSessionInfo description;
    description.SetTitle(u"Long drive");
    description.SetSessionType(ESessionDataLogging);
    (void)iModel->NewSession(description);
    iList = &iModel->TrackSession()->PlotList().PositionList();
    for (; iNext < aSamples; ++iNext) iList->AppendStored(DriveSample(iNext));
    iGui.reset(CGui::NewL(nullptr));
    iGui->SetGuiObserver(&iWindow);
    iGui->SetClientRect(TPwRect{0, 0, 360, 640});
    if (aMode == CMapControl::ERouteMode) {
      // The route view's content between the title and the softkeys.
      iRoute.reset(new CRouteControl(iGui.get(), *iModel));
      iRoute->SetRect(TPwRect{0, 60, 360, 590});
      iRoute->DrawTree();
      return;
    }
    iMap.reset(CMapControl::NewL(iGui.get(), *iModel, CMapControl::ELiveMode));
    // The live timer's map area below the main line.
    iMap->SetRect(TPwRect{0, 64, 360, 560});
    iMap->Draw();
  }
  ~MapRig() {
    iRoute.reset();
    iMap.reset();
    iGui.reset();
    iModel.reset();
    std::error_code ignored;
    std::filesystem::remove_all(iDir, ignored);
  }
  void Append() { iList->AppendStored(DriveSample(iNext++)); }

  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  pwbench::TNullWindow iWindow;
  std::string iDir;
  std::unique_ptr<CModel> iModel;
  std::unique_ptr<CGui> iGui;
  std::unique_ptr<CMapControl> iMap;
  std::unique_ptr<CRouteControl> iRoute;
  CPositionPlotList* iList = nullptr;
  int64_t iNext = 0;
};

void BM_LiveMapRepaint(benchmark::State& aState) {
  MapRig rig(aState.range(0));
  for (auto _ : aState) {
    rig.Append();
    rig.iMap->Draw();
    benchmark::DoNotOptimize(rig.iGui->Surface()->Pixels());
  }
  aState.counters["samples"] = static_cast<double>(rig.iList->Count());
}
BENCHMARK(BM_LiveMapRepaint)->Arg(36000)->Arg(360000)->Unit(benchmark::kMillisecond);

void BM_LiveMapFullRender(benchmark::State& aState) {
  MapRig rig(aState.range(0));
  CSettings& settings = rig.iModel->Settings();
  int32_t k = 0;
  for (auto _ : aState) {
    // A zoom step: the route is drawn again from its first sample.
    settings.SetMapScale(++k % 2 ? 1.0 : 0.5);
    rig.iMap->Draw();
    benchmark::DoNotOptimize(rig.iGui->Surface()->Pixels());
  }
}
BENCHMARK(BM_LiveMapFullRender)->Arg(36000)->Arg(360000)->Unit(benchmark::kMillisecond);

void BM_RouteViewStep(benchmark::State& aState) {
  MapRig rig(aState.range(0), CMapControl::ERouteMode);
  for (auto _ : aState) {
    (void)rig.iRoute->Map().HandleCommand(aState.range(1) ? pwcmd::KMapNextLarge : pwcmd::KMapNext);
    rig.iRoute->DrawTree();
    benchmark::DoNotOptimize(rig.iGui->Surface()->Pixels());
  }
  aState.counters["samples"] = static_cast<double>(rig.iList->Count());
}
// One sample and 30 samples a step.
BENCHMARK(BM_RouteViewStep)->Args({36000, 0})->Args({36000, 1})->Args({360000, 0})->Unit(benchmark::kMillisecond);

}  // namespace
