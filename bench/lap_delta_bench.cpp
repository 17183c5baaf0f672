// The running difference per position sample: a lap of a 1.2 km circuit against a reference
// lap at 1, 10 and 25 Hz, for a lap early in a session and for one ten hours into it (the cost
// must not grow with the session: only the reference lap and the newest sample are looked at).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "storage/position_plot_list.h"
#include "timing/intersection.h"
#include "timing/lap_delta.h"
#include "timing/lap_list.h"
#include "timing/trap_line.h"

namespace {

constexpr double KLat0 = 45.0 * KPi / 180.0;
constexpr double KLon0 = 9.0 * KPi / 180.0;
constexpr double KRadius = 190.0;

// Laps round a circle whose pace varies by a fifth round the lap, sampled at aHz.
void Drive(CPositionPlotList& aPlots, int32_t aHz, int32_t aLaps) {
  const double lap = 2 * KPi * KRadius;
  const int32_t step = 1000 / aHz;
  double s = -30.0;
  for (int64_t ms = 0; s < lap * aLaps + 30.0; ms += step) {
    const double phase = s / lap;
    const double v = 30.0 * (1.0 + 0.2 * std::sin(KTwoPi * phase * 3.0)) * (1.0 + 0.01 * (static_cast<int64_t>(phase) % 3));
    TPositionPlot p;
    p.iTime = static_cast<int32_t>(ms);
    p.iLatitude = TCoordinate::FromRadians(KLat0 + KRadius * std::cos(KTwoPi * phase) / EarthRadius).iValue;
    p.iLongitude =
        TCoordinate::FromRadians(KLon0 + KRadius * std::sin(KTwoPi * phase) / (EarthRadius * std::cos(KLat0))).iValue;
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(v));
    p.iHdop = TPositionPlot::EncodeHundredths(0.9);
    p.iDistance = TPositionPlot::EncodeDistance(aPlots.AppendComputed(p.GeoPoint()));
    aPlots.AppendStored(p);
    s += v * step / 1000.0;
  }
}

struct Session {
  CPositionPlotList iPlots;
  CTrapLineList iTraps;
  CIntersectionList iCrossings;
  std::unique_ptr<CLapList> iLaps;
  Session(int32_t aHz, int32_t aLaps) {
    Drive(iPlots, aHz, aLaps);
    std::unique_ptr<CTrapLine> line(CTrapLine::NewL());
    line->Set(ETrapStartFinish, u"Line", TCoordinate::FromRadians(KLat0 + KRadius / EarthRadius),
              TCoordinate::FromRadians(KLon0), TAngle(KPi / 2), TDistance::FromMetres(20.0), 1);
    iTraps.Add(*line);
    iCrossings.Rebuild(iPlots, iTraps);
    iLaps.reset(CLapList::NewL(&iPlots, nullptr, nullptr));
    iLaps->Rebuild(iTraps, iCrossings);
  }
};

// range(0): sample rate; range(1): laps in the session (the lap timed is the last finished).
void BM_DeltaPerSample(benchmark::State& aState) {
  const int32_t hz = static_cast<int32_t>(aState.range(0));
  const int32_t laps = static_cast<int32_t>(aState.range(1));
  Session session(hz, laps);
  const CLap& reference = *session.iLaps->Lap(0);
  const CLap& current = *session.iLaps->Lap(session.iLaps->LapCount() - 2);
  CLapDelta delta;
  if (!delta.SetReference(reference)) {
    aState.SkipWithError("no reference");
    return;
  }
  const int32_t first = current.Start()->iSampleIndex, end = current.Finish()->iSampleIndex;
  int64_t samples = 0;
  for (auto _ : aState) {
    delta.StartLap(current.Start()->iSample);
    for (int32_t i = first; i < end; ++i) benchmark::DoNotOptimize(delta.AddSample(session.iPlots.At(i)).iDelta);
    samples += end - first;
  }
  aState.SetItemsProcessed(samples);
  // Seconds per sample.
  aState.counters["per_sample"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// Ten hours of 40-second laps: 900 laps.
BENCHMARK(BM_DeltaPerSample)->Args({1, 3})->Args({10, 3})->Args({25, 3})->Args({10, 900})->Args({25, 900})
    ->Unit(benchmark::kMicrosecond);

// Taking a lap as the reference (each new lap start with "best").
void BM_SetReference(benchmark::State& aState) {
  Session session(static_cast<int32_t>(aState.range(0)), 3);
  CLapDelta delta;
  for (auto _ : aState) benchmark::DoNotOptimize(delta.SetReference(*session.iLaps->Lap(0)));
}
BENCHMARK(BM_SetReference)->Arg(10)->Arg(25)->Unit(benchmark::kMicrosecond);

}  // namespace
