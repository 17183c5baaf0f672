// Importing an hour of a 10 Hz receiver's NMEA log (RMC, GGA, GSA, VTG every fix and a GSV
// group every second: 36,000 epochs, about 10 MB) into a new session through the importer's
// worker steps, with every sample written to the session's samples file.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/obd_channels.h"
#include "bench/nmea_hour_log.h"
#include "exchange/session_importer.h"
#include "foundation/paths.h"
#include "storage/plot_list.h"

namespace {

// The log on disk and a storage root for the sessions made from it.
class TImportSetup {
 public:
  TImportSetup() {
    char pattern[] = "/tmp/pw-import-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    iDir = pattern;
    SetFromNativePath(iRoot, (iDir + "/").c_str());
    if (!EnsureFolders(iRoot)) std::abort();
    const std::string& log = pwbench::NmeaHourLog();
    iSize = static_cast<int64_t>(log.size());
    iLogPath = iDir + "/hour.nmea";
    FILE* f = std::fopen(iLogPath.c_str(), "wb");
    if (!f || std::fwrite(log.data(), 1, log.size(), f) != log.size()) std::abort();
    std::fclose(f);
    CPwString path;
    SetFromNativePath(path, iLogPath.c_str());
    iFiles.AppendCopy(path);
    iChannels.reset(CObdChannelList::NewL());
  }
  ~TImportSetup() {
    const std::string base = iDir + "/Pacewright/";
    unlink((base + "Sessions/bench-plots.bin").c_str());
    for (const char* sub : {"Sessions", "Tracks", "Exports"}) rmdir((base + sub).c_str());
    rmdir(base.c_str());
    unlink(iLogPath.c_str());
    rmdir(iDir.c_str());
  }

  CPwStringC Root() const { return iRoot; }
  int64_t Size() const { return iSize; }
  const CPwStringList& Files() const { return iFiles; }
  CObdChannelList* Channels() const { return iChannels.get(); }

 private:
  std::string iDir;
  std::string iLogPath;
  CPwString iRoot;
  CPwStringList iFiles;
  int64_t iSize = 0;
  std::unique_ptr<CObdChannelList> iChannels;
};

TImportSetup& Setup() {
  static TImportSetup setup;
  return setup;
}

void BM_ImportHourNmeaLog(benchmark::State& aState) {
  TImportSetup& setup = Setup();
  int64_t steps = 0;
  int32_t positions = 0;
  for (auto _ : aState) {
    std::unique_ptr<CPlotList> plots(CPlotList::NewL(setup.Channels()));
    plots->CreateFile(u"bench", setup.Root());
    std::unique_ptr<CSessionImporter> importer(
        CSessionImporter::NewL(*plots, setup.Channels(), setup.Files(), CSessionImporter::EFormatNmea));
    steps = 1;
    while (importer->Step()) ++steps;
    positions = importer->StoredPositions();
    if (positions != 36000) aState.SkipWithError("positions lost");
  }
  aState.SetBytesProcessed(aState.iterations() * setup.Size());
  aState.counters["log_MB"] = setup.Size() / 1e6;
  aState.counters["steps"] = static_cast<double>(steps);
  aState.counters["positions"] = positions;
}
BENCHMARK(BM_ImportHourNmeaLog)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
