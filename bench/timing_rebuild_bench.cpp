// The track session at session scale: a 10-hour session at 10 Hz (360,000 samples) on a
// circuit with 20 traps. Recompute is what opening the session or changing its track or traps
// costs (crossings and laps rebuilt from every sample); the live figure is what one new sample
// costs while recording (stored, written to the samples file, tested against the traps, laps
// built), for short and long sessions alike.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "platform/file_io.h"
#include "storage/settings.h"
#include "timing/performance_test.h"
#include "timing/session_resources.h"
#include "timing/track_list.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

namespace {

constexpr double KLat0 = 50.4 * KPi / 180.0;
constexpr double KLon0 = 6.9 * KPi / 180.0;
constexpr int32_t KRateHz = 10;
constexpr int32_t KSessionSamples = 10 * 3600 * KRateHz;
constexpr int32_t KTrapCount = 20;
constexpr int32_t KStartTime = 1000;  // just after midnight: twenty hours stay within the day

// A headless model over a temporary documents folder.
class BenchModel : public CSessionResourcesModel {
 public:
  BenchModel() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pw-bench-XXXXXX").string();
    iFolder = mkdtemp(pattern.data());
    setenv("PACEWRIGHT_DOCUMENTS", iFolder.c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iFolder + "/appdata").c_str(), 1);
    iRoot = PwStringFromUtf8(iFolder + "/");
    EnsureFolders(iRoot);
    CreateResourcesL(iRoot);
  }
  ~BenchModel() {
    std::error_code ignored;
    std::filesystem::remove_all(iFolder, ignored);
  }

  void Announce(CPwStringC aTokens) override { iAnnounced += aTokens.Length() > 0 ? 1 : 0; }
  MActiveSchedulerObserver* RecordingScheduler() const override { return iScheduler; }
  MActiveSchedulerObserver* iScheduler = nullptr;

  std::string iFolder;
  CPwString iRoot;
  int64_t iAnnounced = 0;
};

// A closed, irregular circuit of about 4.3 km (metres east/north of its centre).
struct Circuit {
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
  // Direction of travel (radians from north) and metres of track per unit of u.
  static double Heading(double u) {
    const Point a = At(u - 1e-5), b = At(u + 1e-5);
    return std::atan2(b.e - a.e, b.n - a.n);
  }
  static double Stretch(double u) {
    const Point a = At(u - 1e-5), b = At(u + 1e-5);
    return std::hypot(b.e - a.e, b.n - a.n) / 2e-5;
  }
};

// One receiver epoch, as the NMEA parser hands it to the session.
struct TEpoch {
  TCoordinate iLatitude, iLongitude;
  int32_t iTime;
  TSpeed iSpeed;
  double iBearing;
};

// Speeds between 22 and 58 m/s around the lap.
std::vector<TEpoch> Drive(int32_t aSamples) {
  std::vector<TEpoch> epochs;
  epochs.reserve(aSamples);
  double u = 0.0;
  for (int32_t i = 0; i < aSamples; ++i) {
    const double v = 40.0 + 18.0 * std::sin(5.0 * u);
    const TGeoPoint p = Circuit::Position(u).ToGeoPoint();
    epochs.push_back({p.iLatitude, p.iLongitude, KStartTime + i * (1000 / KRateHz), TSpeed::FromMetresPerSecond(v),
                      TAngle(Circuit::Heading(u)).CompassDegrees()});
    u += v / KRateHz / Circuit::Stretch(u);
  }
  return epochs;
}

int32_t Deliver(CTrackSession& aSession, const TEpoch& aEpoch) {
  return aSession.PositionParsed(aEpoch.iLatitude, aEpoch.iLongitude, PwTime(aEpoch.iTime), TDistance::FromMetres(300.0),
                                 aEpoch.iSpeed, aEpoch.iBearing, 0.9, 1.2, 10, 0, 0, PwTime::FromDate(2024, 5, 8),
                                 PwTime(aEpoch.iTime));
}

struct Bench {
  BenchModel iModel;
  // The ten hours and as many again for the live samples that follow them.
  std::vector<TEpoch> iEpochs = Drive(KSessionSamples * 2);

  Bench() {
    CTrackProfile profile;
    profile.SetName(u"Bench circuit");
    profile.SetFolder(iModel.iRoot);
    profile.CreateEmptyTrapList();
    profile.SetLock(0);
    // Traps where the car is at evenly spread moments of the first lap.
    double u = 0.0;
    for (int32_t k = 0; k < KTrapCount; ++k) {
      const double target = KTwoPi * (k + 0.37) / KTrapCount;
      while (u < target) u += 0.001;
      const TGeoPoint c = Circuit::Position(u).ToGeoPoint();
      CTrapLine trap;
      trap.Set(k == 0 ? ETrapStartFinish : ETrapSplit, u"trap", c.iLatitude, c.iLongitude, TAngle(Circuit::Heading(u)),
               TDistance::FromMetres(30.0), 1);
      profile.AddTrap(trap);
    }
    iModel.iTracks->Add(profile);
  }

  // A recording session holding the first aSamples epochs.
  std::unique_ptr<CTrackSession> Session(int32_t aSamples) {
    std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
    CSessionInfo chosen;
    chosen.SetSessionType(ESessionLapTiming);
    chosen.SetTrackName(u"Bench circuit");
    session->NewSession(chosen, iModel.iRoot);
    session->StartTiming();
    session->StartRecording();
    for (int32_t i = 0; i < aSamples; ++i) Deliver(*session, iEpochs[i]);
    return session;
  }
};

Bench& TheBench() {
  static Bench* bench = new Bench;
  return *bench;
}

void BM_RecomputeTenHourSession(benchmark::State& aState) {
  std::unique_ptr<CTrackSession> session = TheBench().Session(KSessionSamples);
  session->StopRecording();
  for (auto _ : aState) {
    session->Recompute();
    benchmark::DoNotOptimize(session->Laps().LapCount());
  }
  aState.counters["samples"] = session->SampleCount();
  aState.counters["crossings"] = session->Crossings().Count();
  aState.counters["laps"] = session->Laps().LapCount();
}
BENCHMARK(BM_RecomputeTenHourSession)->Unit(benchmark::kMillisecond);

// One new sample through the session with aState.range(0) samples already recorded.
void BM_LivePositionParsed(benchmark::State& aState) {
  Bench& bench = TheBench();
  const int32_t length = static_cast<int32_t>(aState.range(0));
  std::unique_ptr<CTrackSession> session = bench.Session(length);
  int32_t i = length;
  int64_t events = 0;
  for (auto _ : aState) {
    events += Deliver(*session, bench.iEpochs[i++]);
  }
  benchmark::DoNotOptimize(events);
  aState.counters["session_samples"] = length;
  aState.counters["laps"] = session->Laps().LapCount();
}
BENCHMARK(BM_LivePositionParsed)
    ->Arg(3600)
    ->Arg(36000)
    ->Arg(KSessionSamples)
    ->Iterations(200000)
    ->Unit(benchmark::kNanosecond);

// The same with what the recording timer adds at 10 Hz: the buffers handed to the system every
// fifth sample (half a second) and forced to the medium every fiftieth (five seconds).
void BM_LivePositionParsedSecured(benchmark::State& aState) {
  Bench& bench = TheBench();
  const int32_t length = static_cast<int32_t>(aState.range(0));
  std::unique_ptr<CTrackSession> session = bench.Session(length);
  int32_t i = length;
  int64_t events = 0;
  for (auto _ : aState) {
    events += Deliver(*session, bench.iEpochs[i++]);
    if (i % 5 == 0) session->SecureRecording(i % 50 == 0);
  }
  benchmark::DoNotOptimize(events);
  aState.counters["session_samples"] = length;
  aState.counters["laps"] = session->Laps().LapCount();
}
BENCHMARK(BM_LivePositionParsedSecured)->Arg(3600)->Iterations(20000)->Unit(benchmark::kNanosecond);

// What a killed program or a power cut would cost at the worst moment, with the real timer on
// a scheduler loop: 12 s of samples at 10 Hz, each noted with the moment it arrived and where
// it ends in the samples file; "kill_ms" is the longest a sample waited before the file on
// disk held it, "power_cut_ms" the longest it waited before a forced flush covered it.
std::mutex gSyncLock;
std::vector<std::pair<std::chrono::steady_clock::time_point, int64_t>> gSyncs;

void NoteSync(int aFd) {
  struct stat st {};
  char path[512] = {};
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(aFd)).c_str(), path, sizeof path - 1);
  if (n <= 0 || std::string(path, static_cast<size_t>(n)).find("-plots.bin") == std::string::npos) return;
  if (::fstat(aFd, &st) != 0) return;
  std::lock_guard<std::mutex> guard(gSyncLock);
  gSyncs.push_back({std::chrono::steady_clock::now(), st.st_size});
}

void BM_LossWindowsAtTenHz(benchmark::State& aState) {
  using Clock = std::chrono::steady_clock;
  Bench& bench = TheBench();
  for (auto _ : aState) {
    PwHeadlessLoopHost host;
    CPwScheduler scheduler(host);
    bench.iModel.iScheduler = &scheduler;
    gSyncs.clear();
    pwplat::SetSyncObserverForTest(&NoteSync);
    std::unique_ptr<CTrackSession> session = bench.Session(0);
    const std::string plots = PwToUtf8(session->PlotList().Path());
    struct TSample {
      Clock::time_point iAt;
      int64_t iEnd;
    };
    std::vector<TSample> samples;
    std::vector<std::pair<Clock::time_point, int64_t>> sizes;
    PwEvent stop;
    std::atomic<bool> feeding{true};
    std::thread watcher([&] {
      while (feeding) {
        struct stat st {};
        if (::stat(plots.c_str(), &st) == 0) sizes.push_back({Clock::now(), st.st_size});
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
    std::thread feeder([&] {
      const Clock::time_point start = Clock::now();
      for (int32_t i = 0; i < 120; ++i) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * i));
        host.Post([&, i] {
          Deliver(*session, bench.iEpochs[i]);
          int64_t synced = CPlotList::KHeaderBytes;
          {
            std::lock_guard<std::mutex> guard(gSyncLock);
            if (!gSyncs.empty()) synced = gSyncs.back().second;
          }
          samples.push_back({Clock::now(), synced + session->PlotList().UnsyncedBytes()});
        });
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5500));
      stop.Set();
    });
    scheduler.RunLoop(stop);
    feeder.join();
    feeding = false;
    watcher.join();
    session->StopRecording();
    pwplat::SetSyncObserverForTest(nullptr);
    bench.iModel.iScheduler = nullptr;
    double kill = 0, cut = 0;
    for (const TSample& sample : samples) {
      for (const auto& [at, size] : sizes)
        if (at >= sample.iAt && size >= sample.iEnd) {
          kill = std::max(kill, std::chrono::duration<double, std::milli>(at - sample.iAt).count());
          break;
        }
      for (const auto& [at, size] : gSyncs)
        if (at >= sample.iAt && size >= sample.iEnd) {
          cut = std::max(cut, std::chrono::duration<double, std::milli>(at - sample.iAt).count());
          break;
        }
    }
    aState.counters["kill_ms"] = kill;
    aState.counters["power_cut_ms"] = cut;
    aState.counters["samples"] = static_cast<double>(samples.size());
  }
}
BENCHMARK(BM_LossWindowsAtTenHz)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
