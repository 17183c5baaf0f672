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
#include "exchange/session_importer.h"
#include "foundation/paths.h"
#include "storage/plot_list.h"

namespace {

std::string Sentence(const char* aBody) {
  unsigned sum = 0;
  for (const char* p = aBody; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  char out[256];
  std::snprintf(out, sizeof out, "$%s*%02X\r\n", aBody, sum);
  return out;
}

std::string HourLog() {
  std::string s;
  s.reserve(12 << 20);
  char body[200];
  for (int i = 0; i < 36000; ++i) {
    const int t = 10 * 3600 * 10 + i;  // tenths of a second from 10:00:00
    const int h = t / 36000, m = (t / 600) % 60, sec = (t / 10) % 60, f = t % 10;
    const double lat = 4807.0 + (i % 6000) * 0.0001;
    const double lon = 1131.0 + (i % 4000) * 0.00015;
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%d00,%09.4f,N,%010.4f,E,1,09,0.9,%.1f,M,46.9,M,,", h, m, sec,
                  f, lat, lon, 500.0 + (i % 100) * 0.1);
    s += Sentence(body);
    s += Sentence("GPGSA,A,3,04,05,09,12,14,17,22,24,31,,,,1.8,0.9,1.5");
    if (f == 0) {
      s += Sentence("GPGSV,3,1,11,04,40,083,46,05,17,308,41,09,07,344,39,12,22,228,45");
      s += Sentence("GPGSV,3,2,11,14,40,083,46,17,17,308,41,22,07,344,39,24,22,228,45");
      s += Sentence("GPGSV,3,3,11,31,40,083,46,32,17,308,41,33,07,344,");
    }
    std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%d00,A,%09.4f,N,%010.4f,E,%.2f,%.2f,230324,,,A", h, m, sec,
                  f, lat, lon, 40.0 + (i % 50) * 0.1, (i % 3600) * 0.1);
    s += Sentence(body);
    std::snprintf(body, sizeof body, "GPVTG,%.2f,T,,M,%.2f,N,%.2f,K,A", (i % 3600) * 0.1, 40.0 + (i % 50) * 0.1,
                  (40.0 + (i % 50) * 0.1) * 1.852);
    s += Sentence(body);
  }
  return s;
}

// The log on disk and a storage root for the sessions made from it.
class TImportSetup {
 public:
  TImportSetup() {
    char pattern[] = "/tmp/pw-import-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    iDir = pattern;
    SetFromNativePath(iRoot, (iDir + "/").c_str());
    if (!EnsureFolders(iRoot)) std::abort();
    const std::string log = HourLog();
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
