// The live timer under load, on the real model and GUI over temporary folders with the shipped
// "Example track":
//   BM_TimerRepaint/N      a full repaint of the timer (mode 0: timer over the live map, and
//                          mode 2: the simple timer) after a drive of N samples at 10 Hz;
//   BM_LiveRecording25Hz/S the demo drive sent at 25 fixes a second through a pseudo-terminal
//                          for S seconds while the timer is shown: CPU time of the program
//                          (getrusage, the sending device's own thread left out) and the time
//                          from a fix's bytes being written to the timer's pixels changing.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/data_engine.h"
#include "app/gui/gui.h"
#include "app/model.h"
#include "app/views/timer_controls.h"
#include "app/views/timer_view.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "tests/acquisition/pty_device.h"
#include "timing/track_session.h"
#include "tools/demo_drive.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double CpuSeconds(int aWho) {
  rusage usage{};
  ::getrusage(aWho, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The application frame as far as painting goes: a repaint request becomes one paint message.
class PaintingWindow final : public MGuiObserver {
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
  void PlatformNotify(int32_t) override {}
  void ExitApplication() override {}
  void StartGuiTimer(int32_t) override {}
  void BeginTextEntry(TTextEntry&) override {}
  void SetTextEntryFont() override {}
  void PlatformNotifyNoArg() override {}
  void EndTextEntry() override {}
  void PlatformNotifyValue(int32_t) override {}

  PwHeadlessLoopHost* iHost;
  CGui* iGui = nullptr;
  bool iPending = false;
  std::function<void()> iPainted;
};

// The model with its GUI on the headless loop, a lap-timing session on "Example track" recording
// and the live timer shown.
struct LiveRig {
  explicit LiveRig(MDeviceSettings::TGpsType aGps, int32_t aPort = 0) {
    char pattern[] = "/tmp/pw-timer-bench-XXXXXX";
    iDir = ::mkdtemp(pattern) ? pattern : "/tmp";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("PACEWRIGHT_DOCUMENTS", (iDir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir + "/appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir + "/install").c_str(), 1);
    const fs::path tracks = fs::path(iDir) / "install/examples/Pacewright/Tracks";
    fs::create_directories(tracks);
    std::error_code error;
    fs::copy_file(std::string(PW_SOURCE_DATA_DIR) + "/examples/Pacewright/Tracks/Example track-track.bin",
                  tracks / "Example track-track.bin", error);
    iOk = !error;
    iModel.reset(CModel::NewL(&iLoop, [this](CModel& aModel) {
      iGui = CGui::NewL(&aModel);
      return iGui;
    }));
    iModel->Settings().SetStartupWarning(0);
    iModel->Settings().Save();
    iModel->SetFreeSpaceQuery([](CPwStringC) { return 2 * 1024 * 1024; });
    iWindow.iGui = iGui;
    iGui->SetGuiObserver(&iWindow);
    iGui->ActivateFirstView();
    iGui->SetClientRect(TPwRect{0, 0, 360, 640});
    iOk = iOk && iModel->StartUp() == 1;
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
  ~LiveRig() {
    iModel.reset();
    std::error_code error;
    fs::remove_all(iDir, error);
  }
  CTimerControl& Timer() { return *static_cast<CTimerView*>(iGui->CurrentView())->TimerControl(); }
  void Feed(const std::string& aBytes) {
    for (size_t at = 0; at < aBytes.size(); at += 65536) {
      const size_t n = std::min<size_t>(65536, aBytes.size() - at);
      iModel->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(aBytes.data() + at),
                                                               static_cast<int32_t>(n)));
    }
  }

  std::string iDir;
  bool iOk = false;
  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  PaintingWindow iWindow{iHost};
  std::unique_ptr<CModel> iModel;
  CGui* iGui = nullptr;
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
