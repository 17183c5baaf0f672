// End-to-end latency of a live GPS fix: from the moment the receiver writes the sentence that
// completes an epoch on the serial line (a pseudo-terminal) to PositionParsed on the
// application thread, through the reader thread, the scheduler loop, the GPS client and the
// model's parser. The receiver runs at 25 Hz and sends three GSV sentences of chatter before
// each fix. Reports the median, 99th percentile and maximum in microseconds. The same receiver
// served by a real gpsd daemon (BM_GpsdFixLatency) shows what the daemon and the TCP hop add.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "acquisition/core.h"
#include "acquisition/data_parser.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "tests/acquisition/gpsd_daemon.h"
#include "tests/acquisition/pty_device.h"

namespace {

using Clock = std::chrono::steady_clock;

// Notes when each fix reaches the application side.
class TLatencyObserver : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate, TCoordinate, PwTime, TDistance, TSpeed, double, double, double, int32_t,
                         int32_t, int32_t, PwTime, PwTime) override {
    iArrivals.push_back(Clock::now());
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}

  std::vector<Clock::time_point> iArrivals;
};

void MeasureFixLatency(benchmark::State& aState, bool aThroughGpsd) {
  const int epochs = static_cast<int>(aState.range(0));
  std::vector<double> latencies;
  for (auto _ : aState) {
    pwtest::TPtyDevice device;
    if (!device.IsOpen()) {
      aState.SkipWithError("no pseudo-terminal");
      return;
    }
    device.MapPort(90);
    std::unique_ptr<pwtest::TGpsdDaemon> daemon;
    if (aThroughGpsd) {
      if (!pwtest::GpsdBinary()) {
        aState.SkipWithError("gpsd is not installed");
        return;
      }
      daemon.reset(new pwtest::TGpsdDaemon(device.SlaveName(), pwtest::FreeTcpPort()));
      if (!daemon->Running()) {
        aState.SkipWithError("gpsd did not start");
        return;
      }
    }
    PwHeadlessLoopHost host;
    CPwScheduler scheduler(host);
    CCore* core = CCore::NewL(&scheduler);
    TLatencyObserver observer;
    observer.iArrivals.reserve(static_cast<size_t>(epochs) + 1);
    core->SetParsedDataObserver(&observer);
    core->DefaultDeviceSettings().iGpsType = MDeviceSettings::EGpsSerial;
    core->DefaultDeviceSettings().iGpsPort = 90;
    core->DefaultDeviceSettings().iGpsBaud = 1152;
    if (daemon) {
      core->DefaultDeviceSettings().iGpsType = MDeviceSettings::EGpsGpsd;
      core->DefaultDeviceSettings().iGpsdHost.Copy(u"127.0.0.1");
      core->DefaultDeviceSettings().iGpsdPort = daemon->Port();
    }
    core->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());

    // The loop runs on this thread; the receiver on its own.
    std::vector<Clock::time_point> sent(static_cast<size_t>(epochs));
    PwEvent stop;
    std::thread receiver([&] {
      // Give the reader time to open and configure the port.
      while (core->Connection(1)->State() != TEngineState::Connected)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const std::string chatter = pwtest::Nmea("GPGSV,3,1,12,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45") +
                                  pwtest::Nmea("GPGSV,3,2,12,15,40,083,46,17,17,308,41,19,07,344,39,22,22,228,45") +
                                  pwtest::Nmea("GPGSV,3,3,12,24,40,083,46,25,17,308,41,28,07,344,39,31,22,228,45");
      auto next = Clock::now();
      for (int i = 0; i < epochs; ++i) {
        device.Send(chatter);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::string fix = pwtest::EpochAt(i * 4);
        sent[static_cast<size_t>(i)] = Clock::now();
        device.Send(fix);
        next += std::chrono::milliseconds(40);
        std::this_thread::sleep_until(next);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      stop.Set();
    });
    scheduler.RunLoop(stop);
    receiver.join();
    core->StopAllDevices();
    const size_t n = std::min(observer.iArrivals.size(), sent.size());
    for (size_t i = 0; i < n; ++i)
      latencies.push_back(std::chrono::duration<double, std::micro>(observer.iArrivals[i] - sent[i]).count());
    aState.counters["fixes"] = static_cast<double>(observer.iArrivals.size());
    delete core;
  }
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, static_cast<size_t>(q * latencies.size()))]; };
  aState.counters["median_us"] = at(0.5);
  aState.counters["p99_us"] = at(0.99);
  aState.counters["max_us"] = latencies.back();
}

void BM_GpsFixLatency(benchmark::State& aState) { MeasureFixLatency(aState, false); }
void BM_GpsdFixLatency(benchmark::State& aState) { MeasureFixLatency(aState, true); }

// 500 fixes: 20 s of a 25 Hz receiver.
BENCHMARK(BM_GpsFixLatency)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GpsdFixLatency)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
