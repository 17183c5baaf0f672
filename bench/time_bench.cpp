// Formatting and parsing of times, as done per lap on screen and per sample in exports.
#include <benchmark/benchmark.h>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"

static void BM_FormatDuration(benchmark::State& state) {
  CPwString s;
  int32_t t = 83456;
  for (auto _ : state) {
    PwTime(t).FormatDuration(s, 3, false, true);
    benchmark::DoNotOptimize(s.Ptr());
    t += 17;
  }
}
BENCHMARK(BM_FormatDuration);

static void BM_FormatTimeOfDay(benchmark::State& state) {
  CPwString s;
  int32_t t = 45296789;
  for (auto _ : state) {
    PwTime(t).FormatTimeOfDay(s, 2);
    benchmark::DoNotOptimize(s.Ptr());
    t += 100;
  }
}
BENCHMARK(BM_FormatTimeOfDay);

static void BM_AppendNmeaTime(benchmark::State& state) {
  CPwByteArray b;
  int32_t t = 45296789;
  for (auto _ : state) {
    b.SetLength(0);
    PwTime(t).AppendNmeaTime(b, 3);
    benchmark::DoNotOptimize(b.Ptr());
    t += 100;
  }
}
BENCHMARK(BM_AppendNmeaTime);

static void BM_FormatSpoken(benchmark::State& state) {
  CPwString s;
  int32_t t = 83456;
  for (auto _ : state) {
    PwTime(t).FormatSpoken(s, 1);
    benchmark::DoNotOptimize(s.Ptr());
    t += 17;
  }
}
BENCHMARK(BM_FormatSpoken);

static void BM_ParseTimeOfDay(benchmark::State& state) {
  const CPwByteArrayC text(std::string_view("123456.789"));
  PwTime t;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.ParseTimeOfDay(text));
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_ParseTimeOfDay);

static void BM_UtcToLocal(benchmark::State& state) {
  PwTimeConverter converter;
  PwDateTime t(2007, 7, 15, 12, 0, 0, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(converter.UtcToLocal(t));
    t.AddMilliseconds(1000);
  }
}
BENCHMARK(BM_UtcToLocal);
