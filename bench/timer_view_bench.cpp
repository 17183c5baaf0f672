// The live timer under load, on the real model and GUI over temporary folders with the shipped
// "Example track":
//   BM_TimerRepaint/N      a full repaint of the timer (mode 0: timer over the live map, and
//                          mode 2: the simple timer) after a drive of N samples at 10 Hz;
//   BM_LiveRecording25Hz/S the demo drive sent at 25 fixes a second through a pseudo-terminal
//                          for S seconds while the timer is shown: CPU time of the program
//                          (getrusage, the sending device's own thread left out) and the time
//                          from a fix's bytes being written to the timer's pixels changing.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/data_engine.h"
#include "app/gui/gui.h"
#include "app/model.h"
#include "app/views/timer_controls.h"
#include "app/views/timer_view.h"
#include "bench/gui_bench_rig.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "tests/acquisition/pty_device.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(int aWho) {
  rusage usage{};
  ::getrusage(aWho, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The application frame as far as painting goes: a repaint request becomes one paint message.
class PaintingWindow final : public pwbench::TNullWindow {
 public:
  explicit PaintingWindow(PwHeadlessLoopHost& aHost) : iHost(&aHost) {}
  void RequestRedraw() override {
    if (iPending || !iGui) return;
    iPending = true;
    iHost->Post([this] {
      iPending = false;
      if (!iGui->NeedsDrawing()) return;
      iGui->DrawL();
      if (iPainted) iPainted();
    });
  }

  PwHeadlessLoopHost* iHost;
  CGui* iGui = nullptr;
  bool iPending = false;
  std::function<void()> iPainted;
};

// The bench rig with a lap-timing session on "Example track" recording, the GPS device of type
// aGps (on serial port aPort), the live timer shown and every repaint request painted.
struct LiveRig {
  explicit LiveRig(MDeviceSettings::TGpsType aGps, int32_t aPort = 0)
      : iRig("pw-timer-bench", "install/examples/Pacewright/Tracks/Example track-track.bin"),
        iLoop(iRig.iLoop),
        iWindow(iRig.iHost),
        iModel(iRig.iModel),
        iGui(iRig.iGui) {
    iWindow.iGui = iGui;
    iGui->SetGuiObserver(&iWindow);
    iOk = iRig.iOk;
    CSettings& settings = iModel->Settings();
    settings.Gps().iType = aGps;
    settings.Gps().iSerialPort = aPort;
    settings.Gps().iBaudRate = 1152;
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    CSessionInfo description;
    description.SetTitle(u"Bench");
    description.SetTrackName(u"Example track");
    iOk = iOk && iModel->NewSession(description) == 1;
    if (!iOk) return;
    iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    iGui->OpenView(CTimerView::KViewNumber);
    iGui->FinishEvent();
  }
  // The model goes first: its GUI may still ask this window to repaint.
  ~LiveRig() { iModel.reset(); }
  CTimerControl& Timer() { return *static_cast<CTimerView*>(iGui->CurrentView())->TimerControl(); }
  void Feed(const std::string& aBytes) { iRig.Feed(aBytes); }

  pwbench::TGuiBenchRig iRig;
  CPwScheduler& iLoop;
  PaintingWindow iWindow;
  std::unique_ptr<CModel>& iModel;
  CGui* iGui;
  bool iOk = false;
};

void BM_TimerRepaint(benchmark::State& aState) {
  const int64_t samples = aState.range(0);
  const int32_t mode = static_cast<int32_t>(aState.range(1));
  LiveRig rig(MDeviceSettings::EGpsBluetooth);  // never started: the drive is handed over
  if (!rig.iOk) {
    aState.SkipWithError("no example track (build the examples first)");
    return;
  }
  pwtools::DemoDriveOptions options;
  options.iHours = static_cast<double>(samples) / 36000.0;
  rig.Feed(pwtools::DemoDriveText(options));
  while (rig.Timer().DisplayMode() != mode) rig.Timer().Toggle();
  rig.iGui->DrawL();
  for (auto _ : aState) {
    rig.iGui->Invalidate();
    rig.iGui->DrawL();
    benchmark::DoNotOptimize(rig.iGui->Surface()->Pixels());
  }
  aState.counters["samples"] = rig.iModel->TrackSession()->SampleCount();
}
BENCHMARK(BM_TimerRepaint)
    ->Args({36000, 0})
    ->Args({360000, 0})
    ->Args({36000, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

void BM_LiveRecording25Hz(benchmark::State& aState) {
  const int epochs = static_cast<int>(aState.range(0)) * 25;
  std::vector<double> latencies;
  double cpu = 0.0, wall = 0.0;
  for (auto _ : aState) {
    pwtest::TPtyDevice device;
    if (!device.IsOpen()) {
      aState.SkipWithError("no pseudo-terminal");
      return;
    }
    device.MapPort(91);
    LiveRig rig(MDeviceSettings::EGpsSerial, 91);
    if (!rig.iOk) {
      aState.SkipWithError("no example track (build the examples first)");
      return;
    }
    // The demo drive's 10 Hz epochs, sent one every 40 ms.
    std::vector<std::string> sentences;
    const std::string drive = pwtools::DemoDriveText(pwtools::DemoDriveOptions());
    for (size_t at = drive.find("$GPRMC"); at != std::string::npos && static_cast<int>(sentences.size()) < epochs;) {
      const size_t next = drive.find("$GPRMC", at + 1);
      sentences.push_back(drive.substr(at, next == std::string::npos ? std::string::npos : next - at));
      at = next;
    }
    std::vector<Clock::time_point> sent(sentences.size());
    // Watch the "Current" line: a new fix changes its tenths.
    uint64_t lastHash = 0;
    rig.iWindow.iPainted = [&] {
      const CBigTextControl& line = rig.Timer().SimpleTimer().CurrentLine();
      const CPwBitmap& surface = *rig.iGui->Surface();
      uint64_t hash = 1469598103934665603ull;
      for (int32_t y = line.Rect().iTop; y < line.Rect().iBottom; y += 2)
        for (int32_t x = line.Rect().iLeft; x < line.Rect().iRight; x += 2) hash = (hash ^ surface.Pixel(x, y)) * 1099511628211ull;
      if (hash == lastHash) return;
      lastHash = hash;
      const int32_t newest = rig.iModel->TrackSession()->SampleCount() - 1;
      if (newest >= 0 && newest < static_cast<int32_t>(sent.size()) && sent[static_cast<size_t>(newest)] != Clock::time_point())
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent[static_cast<size_t>(newest)]).count());
    };
    PwEvent stop;
    double senderCpu = 0.0;
    std::thread sender([&] {
      while (rig.iModel->Connection(1)->State() != TEngineState::Connected)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const double before = CpuSeconds(RUSAGE_THREAD);
      auto next = Clock::now();
      for (size_t i = 0; i < sentences.size(); ++i) {
        sent[i] = Clock::now();
        device.Send(sentences[i]);
        next += std::chrono::milliseconds(40);
        std::this_thread::sleep_until(next);
      }
      senderCpu = CpuSeconds(RUSAGE_THREAD) - before;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      stop.Set();
    });
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto wallBefore = Clock::now();
    rig.iLoop.RunLoop(stop);
    sender.join();
    cpu += CpuSeconds(RUSAGE_SELF) - cpuBefore - senderCpu;
    wall += std::chrono::duration<double>(Clock::now() - wallBefore).count();
    aState.counters["samples"] = rig.iModel->TrackSession()->SampleCount();
    aState.counters["laps"] = rig.iModel->TrackSession()->Laps().LapCount();
    rig.iModel->PauseSession();
  }
  aState.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, static_cast<size_t>(q * latencies.size()))]; };
  aState.counters["changes"] = static_cast<double>(latencies.size());
  aState.counters["median_ms"] = at(0.5);
  aState.counters["p99_ms"] = at(0.99);
  aState.counters["max_ms"] = latencies.back();
}
BENCHMARK(BM_LiveRecording25Hz)->Arg(60)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
