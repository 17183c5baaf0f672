// Loading a long recording: a 10-hour session at 10 Hz (360 000 positions) with two OBD
// parameters at 5 Hz each, read through the loader's 64 KiB steps as the worker runs it.
// Reports the load rate and what the position list costs in memory per sample.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"

namespace {

constexpr int32_t KPositions = 360000;
constexpr int32_t KStart = 8 * 3600000;

class TSessionFile {
 public:
  TSessionFile() {
    char pattern[] = "/tmp/pw-samples-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    iDir = pattern;
    SetFromNativePath(iRoot, (iDir + "/").c_str());
    if (!EnsureFolders(iRoot)) std::abort();
    iChannels.reset(CObdChannelList::NewL());
    std::unique_ptr<CPlotList> list(CPlotList::NewL(iChannels.get()));
    list->CreateFile(u"bench", iRoot);
    list->OpenForAppend();
    const int32_t date = PwTime::FromDate(2024, 6, 1).Milliseconds();
    for (int32_t i = 0; i < KPositions; ++i) {
      const int32_t t = KStart + i * 100;
      const double a = i * 0.002;
      list->AddPosition(TCoordinate(3000000 + static_cast<int32_t>(20000 * std::sin(a))),
                        TCoordinate(600000 + static_cast<int32_t>(20000 * std::cos(a))), t,
                        TDistance::FromMetres(120), TSpeed::FromMetresPerSecond(25 + (i % 40) * 0.5),
                        (i / 10) % 360, 0.9, 1.3, 10, 0, 0, date, t, 0);
      if (i % 2 == 0) {
        list->AddObdValue(t + 20, 0x0C, static_cast<uint32_t>(12000 + (i % 800) * 20), 0);
        list->AddObdValue(t + 60, 0x11, static_cast<uint32_t>(i % 256), 0);
      }
    }
    list->CloseFile();
    MakeFilePath(EFilePlots, iRoot, u"bench", iPath);
    CPwFile file;
    file.SetPath(iPath);
    iSize = file.Size();
  }
  ~TSessionFile() {
    std::string base = iDir + "/Pacewright/";
    unlink((base + "Sessions/bench-plots.bin").c_str());
    for (const char* sub : {"Sessions", "Tracks", "Exports"}) rmdir((base + sub).c_str());
    rmdir(base.c_str());
    rmdir(iDir.c_str());
  }

  CPwStringC Root() const { return iRoot; }
  int64_t Size() const { return iSize; }
  const CObdChannelList* Channels() const { return iChannels.get(); }

 private:
  std::string iDir;
  CPwString iRoot;
  CPwString iPath;
  int64_t iSize = 0;
  std::unique_ptr<CObdChannelList> iChannels;
};

TSessionFile& SessionFile() {
  static TSessionFile file;
  return file;
}

void BM_LoadTenHourSession(benchmark::State& aState) {
  TSessionFile& file = SessionFile();
  int64_t steps = 0;
  int64_t positionBytes = 0;
  int64_t heapBytes = 0;
  int32_t positions = 0;
  for (auto _ : aState) {
    const size_t heapBefore = mallinfo2().uordblks;
    std::unique_ptr<CPlotList> list(CPlotList::NewL(file.Channels()));
    CPlotListLoader* loader = list->StartLoading(nullptr, u"bench", file.Root());
    steps = 1;
    while (loader->Step()) ++steps;
    if (loader->State() != CPlotListLoader::EComplete) aState.SkipWithError("load incomplete");
    list->FinishLoading();
    heapBytes = static_cast<int64_t>(mallinfo2().uordblks - heapBefore);
    positions = list->PositionList().Count();
    positionBytes = list->PositionList().MemoryBytes();
    benchmark::DoNotOptimize(positions);
  }
  aState.SetBytesProcessed(aState.iterations() * file.Size());
  aState.counters["file_MB"] = file.Size() / 1e6;
  aState.counters["steps"] = static_cast<double>(steps);
  aState.counters["positions"] = positions;
  aState.counters["position_bytes_per_sample"] = static_cast<double>(positionBytes) / positions;
  // Against the 31 bytes a sample takes on disk; the fixed overhead is the segment index.
  aState.counters["position_memory_vs_31B"] = static_cast<double>(positionBytes) / (31.0 * positions);
  aState.counters["heap_MB_all_lists"] = heapBytes / 1e6;
}
BENCHMARK(BM_LoadTenHourSession)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
