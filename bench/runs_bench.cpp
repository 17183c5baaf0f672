// Rebuilding the runs of a long performance-testing session, done when it is opened and
// whenever its test or speed source changes. Live recording runs the same scan one sample at
// a time, so items per second also bounds the per-sample cost while recording.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "acquisition/position_plot.h"
#include "storage/plot_list.h"
#include "timing/performance_run.h"
#include "timing/performance_test.h"

namespace {

// Ten hours at 10 Hz: acceleration runs of 12 s from standstill to about 150 kph, braking
// at 8 m/s^2 and a few seconds of standing, repeated, on a straight road.
void FillSession(CPlotList& aPlots, int32_t aSamples) {
  const int32_t base = 8 * 3600000;
  double distance = 0.0;
  double speed = 0.0;
  int32_t phase = 0;  // 0 accelerating, 1 braking, 2 standing
  int32_t phaseTicks = 0;
  for (int32_t i = 0; i < aSamples; ++i) {
    const int32_t t = base + i * 100;
    switch (phase) {
      case 0:
        speed += 0.35;
        if (++phaseTicks == 120) phase = 1, phaseTicks = 0;
        break;
      case 1:
        speed = std::max(0.0, speed - 0.8);
        if (speed == 0.0) phase = 2, phaseTicks = 0;
        break;
      default:
        if (++phaseTicks == 40) phase = 0, phaseTicks = 0;
        break;
    }
    distance += speed * 0.1;
    const double lat = 0.8 + distance / EarthRadius;
    aPlots.AddPosition(TCoordinate::FromRadians(lat), TCoordinate::FromRadians(0.2), t,
                       TDistance::Invalid(), TSpeed::FromMetresPerSecond(speed), InvalidReal(),
                       1.0, 1.0, 9, 0, 0, PwTime::KUnset, PwTime::KUnset, 0);
  }
}

struct TSession {
  explicit TSession(int32_t aSamples) {
    iPlots.reset(CPlotList::NewL(nullptr));
    iTests.reset(CPerformanceTestList::NewL());
    iTests->AddDefaultTestsL();
    FillSession(*iPlots, aSamples);
  }
  std::unique_ptr<CPlotList> iPlots;
  std::unique_ptr<CPerformanceTestList> iTests;
};

}  // namespace

static void BM_RebuildTenHours(benchmark::State& state) {
  TSession session(10 * 3600 * 10);
  std::unique_ptr<CRunList> runs(CRunList::NewL(*session.iPlots));
  for (auto _ : state) {
    runs->Rebuild(false, *session.iTests, CPerformanceTestList::KDefaultSelection);
    benchmark::DoNotOptimize(runs->Count());
  }
  state.counters["runs"] = runs->Count();
  state.SetItemsProcessed(state.iterations() * session.iPlots->PositionList().Count());
}
BENCHMARK(BM_RebuildTenHours)->Unit(benchmark::kMillisecond);
