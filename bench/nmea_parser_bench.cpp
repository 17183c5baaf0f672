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

namespace {

std::string Sentence(const char* aBody) {
  unsigned sum = 0;
  for (const char* p = aBody; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  char out[256];
  std::snprintf(out, sizeof out, "$%s*%02X\r\n", aBody, sum);
  return out;
}

const std::string& HourLog() {
  static const std::string log = [] {
    std::string s;
    s.reserve(20 << 20);
    char body[200];
    for (int i = 0; i < 36000; ++i) {
      const int t = 10 * 3600 * 10 + i;  // tenths of a second from 10:00:00
      const int h = t / 36000, m = (t / 600) % 60, sec = (t / 10) % 60, f = t % 10;
      const double lat = 4807.0 + (i % 6000) * 0.0001;
      const double lon = 1131.0 + (i % 4000) * 0.00015;
      std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%d00,%09.4f,N,%010.4f,E,1,09,0.9,%.1f,M,46.9,M,,", h, m, sec, f,
                    lat, lon, 500.0 + (i % 100) * 0.1);
      s += Sentence(body);
      s += Sentence("GPGSA,A,3,04,05,09,12,14,17,22,24,31,,,,1.8,0.9,1.5");
      if (f == 0) {
        s += Sentence("GPGSV,3,1,11,04,40,083,46,05,17,308,41,09,07,344,39,12,22,228,45");
        s += Sentence("GPGSV,3,2,11,14,40,083,46,17,17,308,41,22,07,344,39,24,22,228,45");
        s += Sentence("GPGSV,3,3,11,31,40,083,46,32,17,308,41,33,07,344,");
      }
      std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%d00,A,%09.4f,N,%010.4f,E,%.2f,%.2f,230324,,,A", h, m, sec, f,
                    lat, lon, 40.0 + (i % 50) * 0.1, (i % 3600) * 0.1);
      s += Sentence(body);
      std::snprintf(body, sizeof body, "GPVTG,%.2f,T,,M,%.2f,N,%.2f,K,A", (i % 3600) * 0.1, 40.0 + (i % 50) * 0.1,
                    (40.0 + (i % 50) * 0.1) * 1.852);
      s += Sentence(body);
    }
    return s;
  }();
  return log;
}

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
  const std::string& log = HourLog();
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
