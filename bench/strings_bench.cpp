// Throughput of the text operations under the NMEA parser, the file loaders and the exporters.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

namespace {

// A typical fix sentence; the parser splits it at commas and parses each field.
const char KSentence[] =
    "$GPRMC,123519.00,A,4807.0381,N,01131.0002,E,022.4,084.4,230394,003.1,W*6A\r\n";

std::string ManySentences(int aCount) {
  std::string s;
  for (int i = 0; i < aCount; ++i) s += KSentence;
  return s;
}

void BM_SplitAndParseFields(benchmark::State& state) {
  const std::string text = ManySentences(1000);
  for (auto _ : state) {
    CPwByteArrayC rest(text);
    double sum = 0;
    int32_t term;
    for (int32_t end; (end = rest.FindLineEnd(term)) >= 0; rest = rest.Mid(end + term)) {
      CPwByteArrayC line = rest.Left(end);
      for (int32_t from = 0; from <= line.Length();) {
        int32_t comma = line.Find(',', from);
        if (comma < 0) comma = line.Length();
        double v;
        if (line.Mid(from, comma - from).ParseReal(v)) sum += v;
        from = comma + 1;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SplitAndParseFields);

void BM_ParseInt(benchmark::State& state) {
  CPwByteArrayC field("230394");
  for (auto _ : state) {
    int32_t v;
    benchmark::DoNotOptimize(field.ParseInt(v));
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_ParseInt);

void BM_AppendBytes(benchmark::State& state) {
  const std::string text = ManySentences(1000);
  for (auto _ : state) {
    CPwByteArray b;
    for (int32_t i = 0; i < static_cast<int32_t>(text.size()); ++i)
      b.AppendByte(static_cast<uint8_t>(text[static_cast<size_t>(i)]));
    benchmark::DoNotOptimize(b.Ptr());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_AppendBytes);

void BM_AppendSmallRuns(benchmark::State& state) {
  CPwByteArrayC run("4807.0381,");
  for (auto _ : state) {
    CPwByteArray b;
    for (int i = 0; i < 10000; ++i) b.Append(run);
    benchmark::DoNotOptimize(b.Ptr());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 10000 * run.Length());
}
BENCHMARK(BM_AppendSmallRuns);

void BM_AppendReal(benchmark::State& state) {
  CPwByteArray b;
  double v = 48.1173;
  for (auto _ : state) {
    b.Delete(0, b.Length());
    b.AppendReal(v, 7);
    v += 1e-7;
    benchmark::DoNotOptimize(b.Ptr());
  }
}
BENCHMARK(BM_AppendReal);

void BM_WideFind(benchmark::State& state) {
  std::u16string text(4000, u'a');
  text += u"%1U";
  CPwStringC view(text);
  for (auto _ : state) benchmark::DoNotOptimize(view.Find(CPwStringC(u"%1U")));
}
BENCHMARK(BM_WideFind);

}  // namespace
