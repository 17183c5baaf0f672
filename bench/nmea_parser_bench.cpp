// NMEA parser throughput on one hour of a 10 Hz receiver (RMC, GGA, GSA, VTG every fix and a
// GSV group every second: 36,000 epochs), delivered in 256-byte chunks as a serial link or a
// file reader would.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/channel_state.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "bench/nmea_hour_log.h"

namespace {

// Counts what a track session would receive, without storing it.
class TCountingObserver : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate, TCoordinate, PwTime, TDistance, TSpeed, double, double, double, int32_t, int32_t,
                         int32_t, PwTime, PwTime) override {
    ++iEpochs;
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC aLine, int32_t) override { iBytes += aLine.Length(); }

  int64_t iEpochs = 0;
  int64_t iBytes = 0;
};

void Run(benchmark::State& aState, bool aFull) {
  const std::string& log = pwbench::NmeaHourLog();
  std::unique_ptr<CChannelState> channels(CChannelState::NewL());
  std::unique_ptr<CSlowBearing> slow(CSlowBearing::NewL());
  std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
  int64_t epochs = 0;
  for (auto _ : aState) {
    std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
    TCountingObserver observer;
    for (size_t pos = 0; pos < log.size(); pos += 256) {
      const size_t n = log.size() - pos < 256 ? log.size() - pos : 256;
      parser->Parse(CPwByteArrayC(log.data() + pos, static_cast<int32_t>(n)), &observer,
                    aFull ? slow.get() : nullptr, aFull ? obd.get() : nullptr, aFull ? channels.get() : nullptr,
                    nullptr);
    }
    epochs += observer.iEpochs;
    benchmark::DoNotOptimize(observer.iBytes);
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * static_cast<int64_t>(log.size()));
  aState.counters["epochs"] = benchmark::Counter(static_cast<double>(epochs), benchmark::Counter::kIsRate);
  aState.counters["log_MB"] = static_cast<double>(log.size()) / 1e6;
}

// The observer alone, as the session importer parses a log.
void BM_NmeaParserHourLog(benchmark::State& aState) { Run(aState, false); }
// The live path: observer, channel state, slow-bearing estimator and OBD list.
void BM_NmeaParserHourLogLive(benchmark::State& aState) { Run(aState, true); }

BENCHMARK(BM_NmeaParserHourLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NmeaParserHourLogLive)->Unit(benchmark::kMillisecond);

}  // namespace
