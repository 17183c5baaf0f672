// Finding the track, per sample: while candidates are open (four layouts of the circuit being
// driven, all still in the race, beside eight circuits of 20 traps each 1.5 km away and the
// loop rule watching the route), and once decided.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "storage/position_plot_list.h"
#include "timing/track_detector.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"

namespace {

constexpr double KLat0 = 48.0 * KPi / 180.0;
constexpr double KLon0 = 11.0 * KPi / 180.0;
constexpr double KRadius = 300.0;  // metres: a lap of 1.9 km
constexpr double KSpeed = 30.0;    // m/s
constexpr int32_t KRateHz = 10;

TGeoPoint PointAt(double aEast, double aNorth) {
  return TPosition(KLat0 + aNorth / EarthRadius, KLon0 + aEast / (EarthRadius * std::cos(KLat0))).ToGeoPoint();
}

// The circle driven clockwise from its north point, at phase aPhase (laps).
TGeoPoint CirclePoint(double aPhase, double aEast = 0.0, double aNorth = 0.0) {
  const double a = KTwoPi * aPhase;
  return PointAt(aEast + KRadius * std::sin(a), aNorth + KRadius * std::cos(a));
}

std::unique_ptr<CTrapLine> Trap(int32_t aType, double aPhase, double aEast = 0.0, double aNorth = 0.0) {
  const TGeoPoint p = CirclePoint(aPhase, aEast, aNorth);
  std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
  trap->Set(aType, u"Trap", p.iLatitude, p.iLongitude, TAngle(KTwoPi * aPhase + KPi / 2), TDistance::FromMetres(20.0),
           1);
  return trap;
}

// aSeconds of driving at 10 Hz from phase aStart (the line is at phase 0).
std::unique_ptr<CPositionPlotList> Drive(double aSeconds, double aStart) {
  std::unique_ptr<CPositionPlotList> list(new CPositionPlotList);
  const double lap = KTwoPi * KRadius;
  for (int32_t i = 0; i <= aSeconds * KRateHz; ++i) {
    const double phase = aStart + KSpeed * i / KRateHz / lap;
    const TGeoPoint p = CirclePoint(phase);
    TPositionPlot plot;
    plot.iTime = 36000000 + i * 1000 / KRateHz;
    plot.iLatitude = p.iLatitude.iValue;
    plot.iLongitude = p.iLongitude.iValue;
    plot.iDistance = TPositionPlot::EncodeDistance(list->AppendComputed(p));
    plot.iHdop = 90;
    list->AppendStored(plot);
  }
  return list;
}

void AddCandidates(CTrackDetector& aDetector) {
  // Four layouts sharing the start/finish line with their splits in the same places: none
  // is ruled out before a lap ends.
  for (int32_t layout = 0; layout < 4; ++layout) {
    CTrackProfile profile;
    profile.SetName(layout == 0 ? u"Layout A" : layout == 1 ? u"Layout B" : layout == 2 ? u"Layout C" : u"Layout D");
    profile.CreateEmptyTrapList();
    profile.SetLock(0);
    profile.AddTrap(*Trap(ETrapStartFinish, 0.0));
    for (int32_t s = 1; s <= 6; ++s) profile.AddTrap(*Trap(ETrapSplit, s / 7.0));
    aDetector.AddCandidate(profile);
  }
  for (int32_t c = 0; c < 8; ++c) {
    CTrackProfile profile;
    CPwString name(u"Neighbour ");
    name.AppendNum(c);
    profile.SetName(name);
    profile.CreateEmptyTrapList();
    profile.SetLock(0);
    const double east = 1500.0 * std::cos(c * KTwoPi / 8), north = 1500.0 * std::sin(c * KTwoPi / 8);
    profile.AddTrap(*Trap(ETrapStartFinish, 0.0, east, north));
    for (int32_t s = 1; s < 20; ++s) profile.AddTrap(*Trap(ETrapSplit, s / 20.0, east, north));
    aDetector.AddCandidate(profile);
  }
}

// Fresh detectors with every candidate watching the whole drive, per sample.
void DetectOver(benchmark::State& aState, const CPositionPlotList& aList) {
  int64_t samples = 0;
  for (auto _ : aState) {
    aState.PauseTiming();
    CTrackDetector detector;
    AddCandidates(detector);
    aState.ResumeTiming();
    for (int32_t i = 0; i < aList.Count(); ++i) detector.Add(aList, i);
    benchmark::DoNotOptimize(detector.IsDecided());
    samples += aList.Count();
  }
  aState.counters["s_per_sample"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Most of a lap from just past the line: every candidate open (the line is not crossed, so
// not even the neighbours are ruled out), the loop not yet closed.
void BM_DetectWhileOpen(benchmark::State& aState) {
  DetectOver(aState, *Drive(KTwoPi * KRadius / KSpeed * 0.9, 0.005));
}
BENCHMARK(BM_DetectWhileOpen)->Unit(benchmark::kMillisecond);

// A whole session of 30 minutes: decided at the end of the first lap, then each sample only
// asks whether detection is over.
void BM_DetectWholeSession(benchmark::State& aState) { DetectOver(aState, *Drive(1800.0, 0.995)); }
BENCHMARK(BM_DetectWholeSession)->Unit(benchmark::kMillisecond);

// Once decided: what every further sample costs.
void BM_DetectDecided(benchmark::State& aState) {
  const std::unique_ptr<CPositionPlotList> list = Drive(600.0, 0.995);
  CTrackDetector detector;
  AddCandidates(detector);
  int32_t next = 0;
  while (!detector.IsDecided() && next < list->Count()) detector.Add(*list, next++);
  if (!detector.IsDecided()) aState.SkipWithError("no decision");
  int32_t i = next;
  for (auto _ : aState) {
    benchmark::DoNotOptimize(detector.Add(*list, i));
    if (++i == list->Count()) i = next;
  }
  aState.counters["s_per_sample"] = benchmark::Counter(static_cast<double>(aState.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DetectDecided);

}  // namespace
