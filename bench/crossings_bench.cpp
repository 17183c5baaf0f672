// Trap crossings at session scale: a 10-hour session at 10 Hz (360,000 samples) on a 4.3 km
// circuit with 20 traps. Rebuild is what loading a session or editing a trap costs; the live
// test is what every new sample costs while recording, for short and long sessions alike.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "storage/position_plot_list.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/trap_line.h"

namespace {

constexpr double KLat0 = 50.4 * KPi / 180.0;
constexpr double KLon0 = 6.9 * KPi / 180.0;
constexpr int32_t KRateHz = 10;
constexpr int32_t KSessionSamples = 10 * 3600 * KRateHz;
constexpr int32_t KTrapCount = 20;

// A closed, irregular circuit in metres east/north of its centre, with the distance along it
// tabulated so that a car can be driven along it at any speed.
class Circuit {
 public:
  Circuit() {
    constexpr int32_t n = 200000;
    double length = 0.0;
    Point prev = At(0.0);
    iU.reserve(n + 1);
    iS.reserve(n + 1);
    iU.push_back(0.0);
    iS.push_back(0.0);
    for (int32_t i = 1; i <= n; ++i) {
      const double u = KTwoPi * i / n;
      const Point p = At(u);
      length += std::hypot(p.e - prev.e, p.n - prev.n);
      iU.push_back(u);
      iS.push_back(length);
      prev = p;
    }
  }
  double Length() const { return iS.back(); }
  // The curve parameter at a distance along the lap.
  double ParamAt(double aDistance) const {
    const double s = std::fmod(aDistance, Length());
    size_t lo = 0, hi = iS.size() - 1;
    while (hi - lo > 1) {
      const size_t mid = (lo + hi) / 2;
      (iS[mid] <= s ? lo : hi) = mid;
    }
    const double f = (s - iS[lo]) / (iS[hi] - iS[lo]);
    return iU[lo] + f * (iU[hi] - iU[lo]);
  }
  struct Point {
    double e, n;
  };
  static Point At(double u) {
    return {700.0 * std::cos(u) + 120.0 * std::cos(3.0 * u), 420.0 * std::sin(u) + 90.0 * std::sin(2.0 * u)};
  }
  static TPosition Position(double u) {
    const Point p = At(u);
    return TPosition(KLat0 + p.n / EarthRadius, KLon0 + p.e / (EarthRadius * std::cos(KLat0)));
  }
  // Direction of travel (radians from north) at u.
  static double Heading(double u) {
    const Point a = At(u - 1e-5), b = At(u + 1e-5);
    return std::atan2(b.e - a.e, b.n - a.n);
  }

 private:
  std::vector<double> iU, iS;
};

struct Session {
  std::unique_ptr<CPositionPlotList> iPlots{new CPositionPlotList};
  std::unique_ptr<CTrapLineList> iTraps{new CTrapLineList};
};

// Speeds between 22 and 58 m/s around the lap, a few centimetres of GPS wander.
const Session& TheSession() {
  static Session* session = [] {
    auto* s = new Session;
    const Circuit circuit;
    for (int32_t k = 0; k < KTrapCount; ++k) {
      const double u = circuit.ParamAt(circuit.Length() * (k + 0.37) / KTrapCount);
      const TGeoPoint c = Circuit::Position(u).ToGeoPoint();
      CTrapLine trap;
      trap.Set(k == 0 ? ETrapStartFinish : ETrapSplit, u"trap", c.iLatitude, c.iLongitude,
               TAngle(Circuit::Heading(u)), TDistance::FromMetres(30.0), 1);
      s->iTraps->Add(trap);
    }
    double distance = 0.0;
    for (int32_t i = 0; i < KSessionSamples; ++i) {
      const double u = circuit.ParamAt(distance);
      const double v = 40.0 + 18.0 * std::sin(5.0 * u);
      const double wander = 0.05 * std::sin(i * 0.7);
      const TPosition p = Circuit::Position(u).Destination(TAngle(Circuit::Heading(u) + KPi / 2),
                                                            TDistance::FromMetres(wander));
      TPositionPlot plot;
      plot.iTime = 1000 + i * (1000 / KRateHz);
      plot.iLatitude = TCoordinate::FromRadians(p.iLatitude).iValue;
      plot.iLongitude = TCoordinate::FromRadians(p.iLongitude).iValue;
      plot.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(v));
      plot.iDistance = TPositionPlot::EncodeDistance(TDistance::FromMetres(distance));
      plot.iBearing = TPositionPlot::EncodeHundredths(TAngle(Circuit::Heading(u)).CompassDegrees());
      plot.iFlags = 10;
      s->iPlots->AppendStored(plot);
      distance += v / KRateHz;
    }
    return s;
  }();
  return *session;
}

void BM_RebuildCrossings(benchmark::State& aState) {
  const Session& s = TheSession();
  CIntersectionList crossings;
  for (auto _ : aState) {
    crossings.Rebuild(*s.iPlots, *s.iTraps);
    benchmark::DoNotOptimize(crossings.Count());
  }
  // Every trap is crossed once a lap: the fewest and most crossings of any one trap must
  // differ by at most the lap in progress.
  std::vector<int32_t> perTrap(KTrapCount, 0);
  for (int32_t i = 0; i < crossings.Count(); ++i) ++perTrap[crossings[i].iTrapIndex];
  int32_t fewest = perTrap[0], most = perTrap[0];
  for (int32_t n : perTrap) {
    fewest = std::min(fewest, n);
    most = std::max(most, n);
  }
  aState.counters["samples"] = s.iPlots->Count();
  aState.counters["crossings"] = crossings.Count();
  aState.counters["per_trap_min"] = fewest;
  aState.counters["per_trap_max"] = most;
}
BENCHMARK(BM_RebuildCrossings)->Unit(benchmark::kMillisecond);

// What a track change costs in full: the crossings, then the laps made from them.
void BM_RebuildCrossingsAndLaps(benchmark::State& aState) {
  const Session& s = TheSession();
  CIntersectionList crossings;
  std::unique_ptr<CLapList> laps(CLapList::NewL(s.iPlots.get(), nullptr, nullptr));
  for (auto _ : aState) {
    crossings.Rebuild(*s.iPlots, *s.iTraps);
    laps->Rebuild(*s.iTraps, crossings);
    benchmark::DoNotOptimize(laps->LapCount());
  }
  aState.counters["crossings"] = crossings.Count();
  aState.counters["laps"] = laps->LapCount();
}
BENCHMARK(BM_RebuildCrossingsAndLaps)->Unit(benchmark::kMillisecond);

// The live test of one new sample against all 20 traps, with a session of aState.range(0)
// samples behind it: each iteration tests the next sample of the last lap-length stretch of
// that session, so the traps are passed at their real rate.
void BM_TestNewestSample(benchmark::State& aState) {
  const Session& s = TheSession();
  const int32_t length = static_cast<int32_t>(aState.range(0));
  CIntersectionList crossings;
  crossings.Rebuild(*s.iPlots, *s.iTraps);  // a full list of earlier crossings
  const int32_t window = 1000;
  int32_t i = length - window;
  int64_t found = 0;
  for (auto _ : aState) {
    found += crossings.TestSample(i, *s.iPlots, *s.iTraps);
    if (++i == length) i = length - window;
  }
  benchmark::DoNotOptimize(found);
  aState.counters["session_samples"] = length;
}
BENCHMARK(BM_TestNewestSample)->Arg(3600)->Arg(36000)->Arg(KSessionSamples)->Unit(benchmark::kNanosecond);

// Recording as it happens: append the sample, then test the newest.
void BM_AppendAndTestNewest(benchmark::State& aState) {
  const Session& s = TheSession();
  std::unique_ptr<CPositionPlotList> live(new CPositionPlotList);
  std::unique_ptr<CIntersectionList> crossings(new CIntersectionList);
  int32_t i = 0;
  for (auto _ : aState) {
    if (i == KSessionSamples) {
      aState.PauseTiming();
      live.reset(new CPositionPlotList);
      crossings.reset(new CIntersectionList);
      i = 0;
      aState.ResumeTiming();
    }
    live->AppendStored(s.iPlots->At(i++));
    benchmark::DoNotOptimize(crossings->TestNewest(*live, s.iTraps.get()));
  }
}
BENCHMARK(BM_AppendAndTestNewest)->Unit(benchmark::kNanosecond);

}  // namespace
