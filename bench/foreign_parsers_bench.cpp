// Import speed of the foreign log readers: 10 MB logs fed in the importer's 204800-byte blocks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "exchange/dl1_parser.h"
#include "exchange/pbox_parser.h"
#include "exchange/vbox_parser.h"

namespace {

constexpr size_t KLogSize = 10 * 1024 * 1024;
constexpr size_t KBlock = 204800;

class TCounter : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate, TCoordinate, PwTime, TDistance, TSpeed, double, double, double, int32_t,
                         int32_t, int32_t, PwTime, PwTime) override {
    ++iPositions;
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}
  int64_t iPositions = 0;
};

std::string VBoxLog() {
  std::string s =
      "File created on 08/06/2026 at 11:10:23\n\n[header]\nsatellites\ntime\nlatitude\nlongitude\n"
      "velocity kmh\nheading\nheight\nvertical velocity kmh\nrpm\nevent\n\n[data]\n";
  char line[160];
  for (int i = 0; s.size() < KLogSize; ++i) {
    const int t = 12 * 360000 + i * 4;  // 1/100 s, 25 Hz
    std::snprintf(line, sizeof line, "008 %02d%02d%02d.%03d 01815.%05d -07218.%05d 046.510 033.99 +0009.50 +00.000 00000 00000\n",
                  (t / 360000) % 24, (t / 6000) % 60, (t / 100) % 60, (t % 100) * 10, 80000 + i % 10000,
                  90000 + i % 10000);
    s += line;
  }
  return s;
}

void Be(std::string& aOut, uint32_t aValue, int aBytes) {
  for (int i = aBytes - 1; i >= 0; --i) aOut.push_back(static_cast<char>((aValue >> (8 * i)) & 0xFF));
}

std::string PBoxLog() {
  std::string s =
      "File created on 31/07/2006 at 14:46:22\r\n\r\n[HEADER]\r\nSATS(1)\r\nTIME(3)\r\nLATITUDE(4)\r\n"
      "LONGITUDE(4)\r\nVELOCITY(2)\r\nHEADING(2)\r\nHEIGHT(4)\r\nYAW(2)\r\nSLIP(2)\r\nCHKSUM(2)\r\n\r\n[DATA]\r\n";
  for (uint32_t i = 0; s.size() < KLogSize; ++i) {
    s += "$";
    Be(s, 8, 1);
    Be(s, 4320000 + i * 10, 3);
    Be(s, 308945027 + i, 4);
    Be(s, static_cast<uint32_t>(-3966772), 4);
    Be(s, 3600, 2);
    Be(s, 9050, 2);
    Be(s, 1723, 4);
    Be(s, 0, 6);
    s += "\r\n";
  }
  return s;
}

std::string Dl1Message(uint8_t aId, const std::string& aPayload) {
  std::string s(1, static_cast<char>(aId));
  s += aPayload;
  uint8_t sum = 0;
  for (char c : s) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  s.push_back(static_cast<char>(sum));
  return s;
}

std::string Dl1Log() {
  std::string s;
  for (uint32_t i = 0; s.size() < KLogSize; ++i) {
    std::string p;
    Be(p, 4320000 + i * 10, 3);
    s += Dl1Message(9, p);
    p.clear();
    Be(p, 1203000000 + i, 4);
    Be(p, 302636000 + i, 4);
    Be(p, 0, 4);
    s += Dl1Message(10, p);
    p.clear();
    Be(p, 1500, 4);
    Be(p, 50, 4);
    s += Dl1Message(11, p);
    p.clear();
    Be(p, 12345678, 4);
    Be(p, 0, 4);
    s += Dl1Message(56, p);
    p.clear();
    Be(p, 9500, 4);
    Be(p, 0, 4);
    s += Dl1Message(57, p);
    s += Dl1Message(8, std::string("\x81\x80\x00\x40", 4));
    if (i % 7 == 0) s += "\x55\x01garbage";  // noise to resynchronise over
  }
  return s;
}

template <class P>
void RunImport(benchmark::State& aState, const std::string& aLog) {
  int64_t positions = 0;
  for (auto _ : aState) {
    std::unique_ptr<P> parser(P::NewL());
    TCounter counter;
    for (size_t pos = 0; pos < aLog.size(); pos += KBlock) {
      const size_t n = aLog.size() - pos < KBlock ? aLog.size() - pos : KBlock;
      parser->Parse(CPwByteArrayC(aLog.data() + pos, static_cast<int32_t>(n)), &counter, nullptr, nullptr,
                    nullptr, nullptr);
    }
    positions = counter.iPositions;
    benchmark::DoNotOptimize(positions);
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations() * aLog.size()));
  aState.counters["positions"] = static_cast<double>(positions);
}

void BM_VBoxImport10MB(benchmark::State& aState) {
  static const std::string log = VBoxLog();
  RunImport<CVBoxParser>(aState, log);
}
void BM_PBoxImport10MB(benchmark::State& aState) {
  static const std::string log = PBoxLog();
  RunImport<CPBoxParser>(aState, log);
}
void BM_DL1Import10MB(benchmark::State& aState) {
  static const std::string log = Dl1Log();
  RunImport<CDL1Parser>(aState, log);
}

BENCHMARK(BM_VBoxImport10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PBoxImport10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DL1Import10MB)->Unit(benchmark::kMillisecond);

}  // namespace
