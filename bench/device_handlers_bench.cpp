// The protocol handlers of the OBD-II reader and the data logger on the reader thread: how much
// device text one call handles, in the 2048-byte chunks the serial reader hands over.
#include <benchmark/benchmark.h>

#include <string>

#include "acquisition/channel_state.h"
#include "acquisition/datavane_parser.h"
#include "acquisition/obd_parser.h"

namespace {

std::string Checksummed(const std::string& aBody) {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char hex[8];
  std::snprintf(hex, sizeof hex, "*%02X\r\n", sum);
  return "$" + aBody + hex;
}

// Ten minutes of a logger at 100 Hz.
std::string LoggerStream() {
  std::string out;
  for (int i = 0; i < 60000; ++i)
    out += Checksummed("PW2,0," + std::to_string(i & 0xFFFF) + ",-45,12,98,1,0,512,1023,7,0,300,301,302,303");
  return out;
}

void BM_DatavaneParser(benchmark::State& aState) {
  const std::string stream = LoggerStream();
  TGpsClock clock;
  clock.Synchronise(PwTime::FromTimeOfDay(10, 0, 0, 0));
  CDatavaneParser* parser = CDatavaneParser::NewL(clock);
  CPwByteArray commands, received;
  for (auto _ : aState) {
    parser->Reset();
    for (size_t pos = 0; pos < stream.size(); pos += 2048) {
      parser->AddInput(CPwByteArrayC(stream.substr(pos, 2048)));
      parser->Process(commands, received);
      received.SetLength(0);
    }
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations() * stream.size()));
  aState.SetItemsProcessed(aState.iterations() * 60000);
  delete parser;
}
BENCHMARK(BM_DatavaneParser)->Unit(benchmark::kMillisecond);

// Polling answers with their prompts, one read each (the reader talks only after a command).
void BM_ObdParser(benchmark::State& aState) {
  const std::string rpm = "41 0C 1A F8\r\r>";
  const std::string speed = "41 0D 64\r\r>";
  TGpsClock clock;
  clock.Synchronise(PwTime::FromTimeOfDay(10, 0, 0, 0));
  CObdParser* parser = CObdParser::NewL(clock);
  parser->SetPauses(0, 0);
  CPwByteArray commands, received;
  int64_t sentences = 0;
  for (auto _ : aState) {
    parser->Reset();
    parser->AddObdChannel(0x0C, 2);
    parser->AddObdChannel(0x0D, 2);
    parser->Process(commands, received);
    parser->AddInput(CPwByteArrayC("OK\r\r>41 00 BE 3E B8 11\r\r>"));
    for (int i = 0; i < 20000; ++i) {
      parser->AddInput(CPwByteArrayC(i % 3 == 0 ? speed : rpm));
      parser->Process(commands, received);
      for (int32_t i = 0; i < received.Length(); ++i) sentences += received.Ptr()[i] == '\n';
      commands.SetLength(0);
      received.SetLength(0);
    }
  }
  aState.SetItemsProcessed(aState.iterations() * 20000);
  aState.counters["sentences_per_answer"] =
      static_cast<double>(sentences) / static_cast<double>(aState.iterations() * 20000);
  delete parser;
}
BENCHMARK(BM_ObdParser)->Unit(benchmark::kMillisecond);

}  // namespace
