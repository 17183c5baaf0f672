// The live delta on the simple timer, on the real model and GUI over temporary folders with the
// shipped "Example track": one GPS epoch of the demo drive handed to the model and the window
// repainted, lap after lap against the best lap.
//   BM_SampleToBar/D          what the timer repaints now (the lines that changed: the bar,
//                             the running time when its last digit moves), "Timer decimals" D;
//   BM_SampleToFullRepaint/D  the same sample followed by a repaint of the whole window, as a
//                             yardstick.
// Counters: repainted pixels per sample, the share of samples that showed the bar, and the
// share of samples whose repaint was the bar alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/views/delta_bar_control.h"
#include "app/views/timer_controls.h"
#include "app/views/timer_view.h"
#include "bench/gui_bench_rig.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

struct DeltaRig : pwbench::TGuiBenchRig {
  explicit DeltaRig(int32_t aDecimals)
      : TGuiBenchRig("pw-delta-bench", "install/examples/Pacewright/Tracks/Example track-track.bin") {
    pwtools::DemoDriveOptions options;
    options.iHours = 1.0;
    const std::string drive = pwtools::DemoDriveText(options);
    for (size_t at = drive.find("$GPRMC"); at != std::string::npos;) {
      const size_t next = drive.find("$GPRMC", at + 1);
      iEpochs.push_back(drive.substr(at, next == std::string::npos ? std::string::npos : next - at));
      at = next;
    }
    // Three minutes in: two laps done, the bar runs against the best of them.
    const size_t start = std::min<size_t>(1800, iEpochs.size());
    std::string head;
    for (size_t i = 0; i < start; ++i) head += iEpochs[i];
    iNext = start;
    iModel->Settings().SetTimerDecimals(aDecimals);
    iOk = iOk && RecordSession(u"Bench", u"Example track", head);
    if (!iOk) return;
    iGui->OpenView(CTimerView::KViewNumber);
    iGui->FinishEvent();
    iGui->DrawL();
  }
  CSimpleTimerControl& Simple() { return static_cast<CTimerView*>(iGui->CurrentView())->TimerControl()->SimpleTimer(); }
  bool FeedOne() {
    if (iNext >= iEpochs.size()) return false;
    const std::string& epoch = iEpochs[iNext++];
    iModel->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(epoch.data()),
                                                             static_cast<int32_t>(epoch.size())));
    return true;
  }

  std::vector<std::string> iEpochs;
  size_t iNext = 0;
};

void Run(benchmark::State& aState, bool aWhole) {
  DeltaRig rig(static_cast<int32_t>(aState.range(0)));
  if (!rig.iOk) {
    aState.SkipWithError("no example track (build the examples first)");
    return;
  }
  int64_t samples = 0, shown = 0, barOnly = 0;
  double pixels = 0;
  for (auto _ : aState) {
    if (!rig.FeedOne()) {
      aState.SkipWithError("the drive ran out");
      return;
    }
    if (aWhole) rig.iGui->Invalidate();
    const TPwRect dirty = rig.iGui->DirtyRect();
    CDeltaBarControl& bar = rig.Simple().DeltaBar();
    rig.iGui->DrawL();
    ++samples;
    pixels += static_cast<double>(dirty.Width()) * dirty.Height();
    if (bar.IsVisible()) ++shown;
    if (!dirty.IsEmpty() && dirty == bar.Rect()) ++barOnly;
    benchmark::DoNotOptimize(rig.iGui->Surface()->Pixels());
  }
  if (samples == 0) return;
  aState.counters["px_per_sample"] = pixels / static_cast<double>(samples);
  aState.counters["window_px"] = 360.0 * 640.0;
  aState.counters["bar_px"] = static_cast<double>(rig.Simple().DeltaBar().Rect().Width()) *
                              rig.Simple().DeltaBar().Rect().Height();
  aState.counters["bar_shown"] = static_cast<double>(shown) / static_cast<double>(samples);
  aState.counters["bar_only"] = static_cast<double>(barOnly) / static_cast<double>(samples);
}

void BM_SampleToBar(benchmark::State& aState) { Run(aState, false); }
void BM_SampleToFullRepaint(benchmark::State& aState) { Run(aState, true); }

BENCHMARK(BM_SampleToBar)->Arg(1)->Arg(0)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleToFullRepaint)->Arg(1)->Iterations(3000)->Unit(benchmark::kMicrosecond);

}  // namespace
