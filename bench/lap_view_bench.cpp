// The lap list view of a long session, on the real model and GUI over temporary folders with
// the shipped "Example track": a 500-lap demo drive at 10 Hz (about 12 hours) recorded as a
// lap-timing session, then
//   BM_LapListScrollOneRow/M  one row down (or up, at the ends) in display mode M: the key, the
//                             table's update and the repaint of what changed.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "app/gui/gui.h"
#include "app/gui_observer.h"
#include "app/model.h"
#include "app/views/lap_list_controls.h"
#include "app/views/lap_view.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t KLaps = 500;
constexpr int32_t KDown = 0xF804, KUp = 0xF803;

class NullWindow final : public MGuiObserver {
 public:
  void RequestRedraw() override {}
  void PlatformNotify(int32_t) override {}
  void ExitApplication() override {}
  void StartGuiTimer(int32_t) override {}
  void BeginTextEntry(TTextEntry&) override {}
  void SetTextEntryFont() override {}
  void PlatformNotifyNoArg() override {}
  void EndTextEntry() override {}
  void PlatformNotifyValue(int32_t) override {}
};

// The program with the long session recorded and paused, made once for the run.
struct LapRig {
  LapRig() {
    char pattern[] = "/tmp/pw-lap-bench-XXXXXX";
    iDir = ::mkdtemp(pattern) ? pattern : "/tmp";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("PACEWRIGHT_DOCUMENTS", (iDir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir + "/appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir + "/install").c_str(), 1);
    const fs::path tracks = fs::path(iDir) / "install/examples/Pacewright/Tracks";
    fs::create_directories(tracks);
    std::error_code error;
    fs::copy_file(std::string(PW_SOURCE_DATA_DIR) + "/examples/Pacewright/Tracks/Example track-track.bin",
                  tracks / "Example track-track.bin", error);
    iOk = !error;
    iModel.reset(CModel::NewL(&iLoop, [this](CModel& aModel) {
      iGui = CGui::NewL(&aModel);
      return iGui;
    }));
    iModel->Settings().SetStartupWarning(0);
    iModel->Settings().Save();
    iModel->SetFreeSpaceQuery([](CPwStringC) { return 2 * 1024 * 1024; });
    iGui->SetGuiObserver(&iWindow);
    iGui->ActivateFirstView();
    iGui->SetClientRect(TPwRect{0, 0, 360, 640});
    iOk = iOk && iModel->StartUp() == 1;
    CSettings& settings = iModel->Settings();
    settings.Gps().iType = MDeviceSettings::EGpsBluetooth;  // never started: the drive is handed over
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    CSessionInfo description;
    description.SetTitle(u"Endurance");
    description.SetTrackName(u"Example track");
    iOk = iOk && iModel->NewSession(description) == 1;
    if (!iOk) return;
    iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    pwtools::DemoDriveOptions options;
    options.iLaps = KLaps;
    const std::string drive = pwtools::DemoDriveText(options);
    for (size_t at = 0; at < drive.size(); at += 65536) {
      const size_t n = std::min<size_t>(65536, drive.size() - at);
      iModel->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(drive.data() + at),
                                                               static_cast<int32_t>(n)));
    }
    iModel->PauseSession();
    iGui->OpenView(CGui::ESessionView);
    iGui->FinishEvent();
    iGui->OpenView(CLapView::KViewNumber);
    iGui->FinishEvent();
    iGui->DrawL();
    iView = dynamic_cast<CLapView*>(iGui->CurrentView());
    iOk = iView && iView->LapControl();
  }
  ~LapRig() {
    iModel.reset();
    std::error_code error;
    fs::remove_all(iDir, error);
  }

  std::string iDir;
  bool iOk = false;
  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  NullWindow iWindow;
  std::unique_ptr<CModel> iModel;
  CGui* iGui = nullptr;  // owned by the model
  CLapView* iView = nullptr;
};

LapRig& Rig() {
  static LapRig rig;
  return rig;
}

void BM_LapListScrollOneRow(benchmark::State& aState) {
  LapRig& rig = Rig();
  if (!rig.iOk) {
    aState.SkipWithError("no example track (build the examples first)");
    return;
  }
  CLapControl& control = *rig.iView->LapControl();
  control.SetDisplayMode(static_cast<int32_t>(aState.range(0)));
  rig.iGui->FinishEvent();
  rig.iGui->DrawL();
  int32_t step = KDown;
  for (auto _ : aState) {
    const CLapListControl& table = control.Table();
    if (table.SelectedRow() >= table.RowCount() - 1) step = KUp;
    if (table.SelectedRow() <= 0) step = KDown;
    rig.iGui->Key(step, false);
    rig.iGui->FinishEvent();
    rig.iGui->DrawL();
    benchmark::DoNotOptimize(rig.iGui->Surface()->Pixels());
  }
  aState.counters["laps"] = rig.iModel->TrackSession()->Laps().LapCount();
  aState.counters["rows"] = control.Table().RowCount();
}
BENCHMARK(BM_LapListScrollOneRow)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(1000);

}  // namespace
