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
#include "app/views/lap_list_controls.h"
#include "app/views/lap_view.h"
#include "bench/gui_bench_rig.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

constexpr int32_t KLaps = 500;
constexpr int32_t KDown = 0xF804, KUp = 0xF803;

// The program with the long session recorded and paused, made once for the run.
struct LapRig : pwbench::TGuiBenchRig {
  LapRig() : TGuiBenchRig("pw-lap-bench", "install/examples/Pacewright/Tracks/Example track-track.bin") {
    pwtools::DemoDriveOptions options;
    options.iLaps = KLaps;
    iOk = iOk && RecordSession(u"Endurance", u"Example track", pwtools::DemoDriveText(options));
    if (!iOk) return;
    iModel->PauseSession();
    iGui->OpenView(CGui::ESessionView);
    iGui->FinishEvent();
    iGui->OpenView(CLapView::KViewNumber);
    iGui->FinishEvent();
    iGui->DrawL();
    iView = dynamic_cast<CLapView*>(iGui->CurrentView());
    iOk = iView && iView->LapControl();
  }
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
