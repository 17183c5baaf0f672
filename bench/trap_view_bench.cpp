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
#include "app/views/trap_view.h"
#include "bench/gui_bench_rig.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

struct TrapRig : pwbench::TGuiBenchRig {
  explicit TrapRig(double aHours) : TGuiBenchRig("pw-trap-bench", "docs/Pacewright/Tracks/Bench-track.bin") {
    pwtools::DemoDriveOptions options;
    options.iHours = aHours;
    iOk = iOk && RecordSession(u"Bench", u"Bench", pwtools::DemoDriveText(options));
    if (!iOk) return;
    CTrackProfile& track = iModel->TrackSession()->Track();
    track.SetLock(0);
    iOk = track.SaveSafely() == KErrNone && track.TrapCount() > 0;
    track.Traps()->SetCurrent(0);
    iGui->OpenView(CGui::ETrapView);
    iGui->FinishEvent();
    iGui->DrawL();
  }
  CTrapMapControl& Map() { return *static_cast<CTrapView*>(iGui->CurrentView())->Map(); }
  void Key(int32_t aKey) {
    iGui->Key(aKey, false);
    iGui->FinishEvent();
    if (iGui->NeedsDrawing()) iGui->DrawL();
  }
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
