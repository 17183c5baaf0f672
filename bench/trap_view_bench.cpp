// Moving a trap in the trap view of a long session, on the real model and GUI over temporary
// folders: a lap-timing session on an unlocked copy of "Example track" with a 10-hour 10 Hz
// drive (360 000 samples), the trap view moving the track's first trap.
//   BM_TrapMoveStep    one move step ("1" or "4", 500 units) from the key to the repainted map;
//   BM_TrapMoveAccept  accepting a moved trap (Enter): the trap replaced, the crossings and laps
//                      of the whole drive timed again, the track saved, the map repainted.
// A move as the user makes it is one of each.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/gui/gui.h"
#include "app/model.h"
#include "app/views/trap_view.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

namespace fs = std::filesystem;

// The application frame as far as the GUI asks: nothing, the benchmark paints itself.
class QuietWindow final : public MGuiObserver {
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

struct TrapRig {
  explicit TrapRig(double aHours) {
    char pattern[] = "/tmp/pw-trap-bench-XXXXXX";
    iDir = ::mkdtemp(pattern) ? pattern : "/tmp";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("PACEWRIGHT_DOCUMENTS", (iDir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir + "/appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir + "/install").c_str(), 1);
    const fs::path tracks = fs::path(iDir) / "docs/Pacewright/Tracks";
    fs::create_directories(tracks);
    std::error_code error;
    fs::copy_file(std::string(PW_SOURCE_DATA_DIR) + "/examples/Pacewright/Tracks/Example track-track.bin",
                  tracks / "Bench-track.bin", error);
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
    description.SetTitle(u"Bench");
    description.SetTrackName(u"Bench");
    iOk = iOk && iModel->NewSession(description) == 1;
    if (!iOk) return;
    iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    pwtools::DemoDriveOptions options;
    options.iHours = aHours;
    const std::string drive = pwtools::DemoDriveText(options);
    for (size_t at = 0; at < drive.size(); at += 65536) {
      const size_t n = std::min<size_t>(65536, drive.size() - at);
      iModel->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(drive.data() + at),
                                                               static_cast<int32_t>(n)));
    }
    CTrackProfile& track = iModel->TrackSession()->Track();
    track.SetLock(0);
    iOk = track.SaveSafely() == KErrNone && track.TrapCount() > 0;
    track.Traps()->SetCurrent(0);
    iGui->OpenView(CGui::ETrapView);
    iGui->FinishEvent();
    iGui->DrawL();
  }
  ~TrapRig() {
    iModel.reset();
    std::error_code error;
    fs::remove_all(iDir, error);
  }
  CTrapMapControl& Map() { return *static_cast<CTrapView*>(iGui->CurrentView())->Map(); }
  void Key(int32_t aKey) {
    iGui->Key(aKey, false);
    iGui->FinishEvent();
    if (iGui->NeedsDrawing()) iGui->DrawL();
  }

  std::string iDir;
  bool iOk = false;
  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  QuietWindow iWindow;
  std::unique_ptr<CModel> iModel;
  CGui* iGui = nullptr;
};

TrapRig& Rig() {
  static TrapRig rig(10.0);
  return rig;
}

void BM_TrapMoveStep(benchmark::State& aState) {
  TrapRig& rig = Rig();
  if (!rig.iOk) {
    aState.SkipWithError("no example track (build the examples first)");
    return;
  }
  (void)rig.iGui->DispatchCommand(pwcmd::KMoveTrap);
  rig.iGui->DrawL();
  bool north = true;
  for (auto _ : aState) {
    rig.Key(north ? '1' : '4');
    north = !north;
  }
  rig.Key(0x1B);  // cancelled
  aState.counters["samples"] = rig.iModel->TrackSession()->SampleCount();
}
BENCHMARK(BM_TrapMoveStep)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_TrapMoveAccept(benchmark::State& aState) {
  TrapRig& rig = Rig();
  if (!rig.iOk) {
    aState.SkipWithError("no example track (build the examples first)");
    return;
  }
  bool north = true;
  for (auto _ : aState) {
    aState.PauseTiming();
    (void)rig.iGui->DispatchCommand(pwcmd::KMoveTrap);
    // To and fro, so the trap stays across the drive and the laps are there to be timed.
    rig.Key(north ? '1' : '4');
    north = !north;
    aState.ResumeTiming();
    rig.Key(0xF800);
  }
  aState.counters["samples"] = rig.iModel->TrackSession()->SampleCount();
  aState.counters["laps"] = rig.iModel->TrackSession()->Laps().LapCount();
}
BENCHMARK(BM_TrapMoveAccept)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
