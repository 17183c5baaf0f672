// Lap timing at the scale of a long session: 10 hours at 10 Hz (360,000 samples) round a
// circuit with 20 traps (start/finish and 19 splits). Measures the rebuild after loading
// (crossings and laps from all samples) and the live cost of one sample (trap test of the
// newest sample and lap processing), early and late in the session.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "storage/position_plot_list.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/trap_line.h"

namespace {

constexpr int32_t KSamples = 360000;  // 10 h at 10 Hz
constexpr int32_t KStepMs = 100;
constexpr int32_t KTraps = 20;
constexpr double KRadius = 300.0;     // m: a lap of about 1885 m

const TPosition& Centre() {
  static const TPosition centre(TGeoPoint(TCoordinate::FromDegrees(48.0), TCoordinate::FromDegrees(11.0)));
  return centre;
}

// The car runs clockwise round the circle; its speed varies a little from lap to lap and
// within the lap, so best laps and sectors keep changing.
struct TDrive {
  std::vector<TPositionPlot> iSamples;
  CTrapLineList iTraps;
};

const TDrive& Drive() {
  static TDrive* drive = [] {
    TDrive* d = new TDrive;
    for (int32_t i = 0; i < KTraps; ++i) {
      const double angle = KTwoPi * i / KTraps;
      const TPosition at = Centre().Destination(TAngle(angle), TDistance::FromMetres(KRadius));
      std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
      trap->Set(i == 0 ? ETrapStartFinish : ETrapSplit, u"trap", at.ToGeoPoint().iLatitude,
                at.ToGeoPoint().iLongitude, TAngle(angle + KPi / 2), TDistance::FromMetres(30.0), 1);
      d->iTraps.Add(*trap);
    }
    CPositionPlotList distance;
    double angle = 0.01;
    for (int32_t i = 0; i < KSamples; ++i) {
      const int32_t lap = static_cast<int32_t>(angle / KTwoPi);
      const double speed = 30.0 + 2.0 * std::sin(lap * 1.7) + 3.0 * std::sin(angle * 3.0);
      const TPosition at = Centre().Destination(TAngle(angle), TDistance::FromMetres(KRadius));
      TPositionPlot p;
      p.iTime = 36000000 + i * KStepMs;
      p.iLatitude = at.ToGeoPoint().iLatitude.iValue;
      p.iLongitude = at.ToGeoPoint().iLongitude.iValue;
      p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(speed));
      p.iDistance = TPositionPlot::EncodeDistance(distance.AppendComputed(p.GeoPoint()));
      p.iBearing = static_cast<uint16_t>(std::fmod(angle + KPi / 2, KTwoPi) * 18000.0 / KPi);
      p.iFlags = TPositionPlot::EncodeFlags(10, false, false);
      d->iSamples.push_back(p);
      angle += speed * KStepMs / 1000.0 / KRadius;
    }
    return d;
  }();
  return *drive;
}

class NullAnnouncer : public MLapAnnouncer {
 public:
  void AnnounceLapFinished() override { ++iCount; }
  int32_t iCount = 0;
};

void BM_RebuildSession(benchmark::State& state) {
  const TDrive& drive = Drive();
  CPositionPlotList plots;
  for (const TPositionPlot& p : drive.iSamples) plots.AppendStored(p);
  CIntersectionList crossings;
  std::unique_ptr<CLapList> laps(CLapList::NewL(&plots, nullptr, nullptr));
  for (auto _ : state) {
    crossings.Rebuild(plots, drive.iTraps);
    laps->Rebuild(drive.iTraps, crossings);
    benchmark::DoNotOptimize(laps->OptimalLap());
  }
  state.counters["laps"] = laps->LapCount();
  state.counters["crossings"] = crossings.Count();
  state.counters["optimal_ms"] = laps->OptimalLap() ? laps->OptimalLap()->LapTime().Milliseconds() : -1;
}
BENCHMARK(BM_RebuildSession)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LapsOnlyRebuild(benchmark::State& state) {
  const TDrive& drive = Drive();
  CPositionPlotList plots;
  for (const TPositionPlot& p : drive.iSamples) plots.AppendStored(p);
  CIntersectionList crossings;
  crossings.Rebuild(plots, drive.iTraps);
  std::unique_ptr<CLapList> laps(CLapList::NewL(&plots, nullptr, nullptr));
  for (auto _ : state) {
    laps->Rebuild(drive.iTraps, crossings);
    benchmark::DoNotOptimize(laps->OptimalLap());
  }
}
BENCHMARK(BM_LapsOnlyRebuild)->Unit(benchmark::kMillisecond)->Iterations(10);

// One live sample: append, test the newest sample against the traps, process new crossings.
// The argument is the hour of the session the measured hour starts at (the hours before it
// are recorded beforehand), so that the cost early and late in a long session can be compared.
void BM_LiveSample(benchmark::State& state) {
  const TDrive& drive = Drive();
  const int32_t first = static_cast<int32_t>(state.range(0)) * 36000;
  const int32_t last = first + 36000;
  CPositionPlotList plots;
  CIntersectionList crossings;
  std::unique_ptr<CLapList> laps(CLapList::NewL(&plots, nullptr, nullptr));
  NullAnnouncer announcer;
  auto prefill = [&] {
    plots.Reset();
    crossings.Clear();
    laps->Clear();
    for (int32_t i = 0; i < first; ++i) {
      plots.AppendStored(drive.iSamples[static_cast<size_t>(i)]);
      if (crossings.TestNewest(plots, &drive.iTraps)) laps->ProcessCrossings(drive.iTraps, crossings, &announcer);
    }
  };
  prefill();
  int32_t next = first;
  for (auto _ : state) {
    if (next == last) {
      state.PauseTiming();
      prefill();
      next = first;
      state.ResumeTiming();
    }
    plots.AppendStored(drive.iSamples[static_cast<size_t>(next++)]);
    if (crossings.TestNewest(plots, &drive.iTraps)) laps->ProcessCrossings(drive.iTraps, crossings, &announcer);
  }
  state.counters["laps"] = laps->LapCount();
}
BENCHMARK(BM_LiveSample)->Arg(0)->Arg(9)->Iterations(36000)->Unit(benchmark::kNanosecond);

}  // namespace
