// What judging every GPS sample costs: the receiver's health meter with the glitch rule on
// and off, fed a 25 Hz drive round a 1.2 km oval (one glitch per lap, so the waiting path is
// exercised too), and the whole append of a received sample to the position list, which is
// what recording pays per fix.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "storage/gnss_health.h"
#include "storage/position_plot_list.h"

namespace {

constexpr double KLat0 = 48.0 * KPi / 180.0;
constexpr double KLon0 = 11.0 * KPi / 180.0;
constexpr int32_t KStepMs = 40;
constexpr int32_t KSamples = 25 * 600;  // ten minutes at 25 Hz
constexpr double KRadius = 190.0;
constexpr double KSpeed = 30.0;

std::vector<TPositionPlot> Drive() {
  std::vector<TPositionPlot> plots;
  plots.reserve(KSamples);
  const double lapSamples = 2.0 * KPi * KRadius / KSpeed * 1000.0 / KStepMs;
  for (int32_t i = 0; i < KSamples; ++i) {
    const double a = 2.0 * KPi * i / lapSamples;
    double north = KRadius * std::cos(a), east = KRadius * std::sin(a);
    if (i % static_cast<int32_t>(lapSamples) == 100) north += 80.0;  // one glitch a lap
    TPositionPlot p;
    p.iTime = 36000000 + i * KStepMs;
    p.iLatitude = TCoordinate::FromRadians(KLat0 + north / EarthRadius).iValue;
    p.iLongitude = TCoordinate::FromRadians(KLon0 + east / (EarthRadius * std::cos(KLat0))).iValue;
    p.iAltitude = TPositionPlot::EncodeDistance(TDistance::FromMetres(250.0));
    p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(KSpeed + std::sin(i * 0.01)));
    p.iHdop = 90;
    p.iVdop = 140;
    p.iFlags = TPositionPlot::EncodeFlags(11, false, false);
    plots.push_back(p);
  }
  return plots;
}

void BM_GnssMeterTake(benchmark::State& aState) {
  const std::vector<TPositionPlot> plots = Drive();
  const bool rule = aState.range(0) != 0;
  for (auto _ : aState) {
    CGnssMeter meter;
    meter.SetRuleEnabled(rule);
    double sum = 0.0;
    for (const TPositionPlot& p : plots) sum += meter.Take(p, true);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(meter.GlitchCount());
  }
  aState.SetItemsProcessed(aState.iterations() * KSamples);
  aState.SetLabel(rule ? "rule on" : "rule off");
}
BENCHMARK(BM_GnssMeterTake)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The received sample's whole way into the list: judged with its distance, then stored.
void BM_PositionAppend(benchmark::State& aState) {
  const std::vector<TPositionPlot> plots = Drive();
  const bool rule = aState.range(0) != 0;
  for (auto _ : aState) {
    CPositionPlotList list;
    list.Gnss().SetRuleEnabled(rule);
    for (TPositionPlot p : plots) {
      p.iDistance = TPositionPlot::EncodeDistance(list.AppendJudged(p));
      list.AppendStored(p);
    }
    benchmark::DoNotOptimize(list.Count());
  }
  aState.SetItemsProcessed(aState.iterations() * KSamples);
  aState.SetLabel(rule ? "rule on" : "rule off");
}
BENCHMARK(BM_PositionAppend)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The summary as the session screen asks for it on every refresh.
void BM_GnssHealthSummary(benchmark::State& aState) {
  const std::vector<TPositionPlot> plots = Drive();
  CGnssMeter meter;
  for (const TPositionPlot& p : plots) meter.Take(p, true);
  for (auto _ : aState) benchmark::DoNotOptimize(meter.Health());
}
BENCHMARK(BM_GnssHealthSummary)->Unit(benchmark::kMicrosecond);

}  // namespace
