// Session export on one hour of a 10 Hz receiver (36,000 positions) driven round a 628 m
// circuit with a start/finish line and a split: the route and all laps in every format, written
// through the exporter's steps to a file in a temporary folder. For comparison, the NMEA import
// of the same hour (RMC and GGA of every fix parsed into a sample list). Export times are wall
// times: they include forcing the finished file to the medium.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "bench/nmea_hour_log.h"
#include "exchange/session_exporter.h"
#include "foundation/pw_file.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"

namespace {

constexpr int32_t KSamples = 36000;
constexpr double KRadius = 100.0;
constexpr double KSpeed = 20.0;
constexpr int32_t KStart = 12 * 3600000;

TGeoPoint CirclePoint(double aAngle) {
  const TPosition centre{TGeoPoint(TCoordinate(288000000), TCoordinate(66000000))};
  return centre.Destination(TAngle(aAngle), TDistance::FromMetres(KRadius)).ToGeoPoint();
}

std::string MakeTempRoot() {
  char pattern[] = "/tmp/pw-export-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? std::string(dir) + "/" : std::string("/tmp/");
}

// The session, built once.
struct TSession {
  TSession() {
    iRoot = MakeTempRoot();
    iRootText = PwStringFromUtf8(iRoot);
    iObd.reset(CObdChannelList::NewL());
    iPlots.reset(CPlotList::NewL(iObd.get()));
    iInfo.SetIdentifier(u"bench");
    iInfo.SetStorageRoot(iRootText);
    iInfo.SetTitle(u"One hour");
    iInfo.SetTrackName(u"Ring");
    iInfo.SetCreated(PwDateTime(2024, 6, 1, 12, 0, 0, 0));
    for (int32_t i = 0; i < KSamples; ++i) {
      const double angle = KSpeed / KRadius * (i / 10.0) - 0.21;
      const TGeoPoint p = CirclePoint(angle);
      iPlots->AddPosition(p.iLatitude, p.iLongitude, KStart + i * 100, TDistance::FromMetres(500.0 + 10.0 * std::sin(angle)),
                          TSpeed::FromMetresPerSecond(KSpeed + 2.0 * std::sin(3.0 * angle)),
                          std::fmod(angle * 180.0 / KPi + 450.0, 360.0), 0.9, 1.4, 9, 0, 0,
                          PwTime::FromDate(2024, 6, 1).Milliseconds(), KStart + i * 100, 0);
    }
    iTrack.SetName(u"Ring");
    iTrack.CreateEmptyTrapList();
    iTrack.SetLock(0);
    CTrapLine trap;
    trap.Set(ETrapStartFinish, u"Start/Finish", CirclePoint(0).iLatitude, CirclePoint(0).iLongitude,
             TAngle::FromDegrees(90.0), TDistance::FromMetres(30.0), 1);
    iTrack.AddTrap(trap);
    trap.Set(ETrapSplit, u"Hairpin", CirclePoint(KPi).iLatitude, CirclePoint(KPi).iLongitude,
             TAngle::FromDegrees(270.0), TDistance::FromMetres(30.0), 1);
    iTrack.AddTrap(trap);
    iLaps.reset(CLapList::NewL(&iPlots->PositionList(), nullptr, nullptr));
    iCrossings.Rebuild(iPlots->PositionList(), *iTrack.Traps());
    iLaps->Rebuild(*iTrack.Traps(), iCrossings);
  }
  ~TSession() {
    std::error_code ignored;
    if (iRoot != "/tmp/") std::filesystem::remove_all(iRoot, ignored);
  }

  std::string iRoot;
  CPwString iRootText;
  std::unique_ptr<CObdChannelList> iObd;
  std::unique_ptr<CPlotList> iPlots;
  CSessionInfo iInfo;
  CTrackProfile iTrack;
  CIntersectionList iCrossings;
  std::unique_ptr<CLapList> iLaps;
};

TSession& Session() {
  static TSession session;
  return session;
}

void Export(benchmark::State& aState, int32_t aFormat, int32_t aScope) {
  TSession& s = Session();
  TExportRequest r;
  r.iFormat = aFormat;
  r.iScope = aScope;
  r.iInfo = &s.iInfo;
  r.iPlots = s.iPlots.get();
  r.iLaps = s.iLaps.get();
  r.iTrack = &s.iTrack;
  int64_t bytes = 0;
  for (auto _ : aState) {
    std::unique_ptr<CSessionExporter> exporter(CSessionExporter::NewL(r));
    const int32_t code = Trap([&] {
      while (exporter->Step()) {
      }
    });
    if (code != 0) {
      aState.SkipWithError("export failed");
      return;
    }
    CPwFile file;
    file.SetPath(exporter->FilePath());
    bytes = file.Size();
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * bytes);
  aState.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  aState.counters["laps"] = s.iLaps->LapCount();
}

void BM_ExportRoute(benchmark::State& aState) { Export(aState, static_cast<int32_t>(aState.range(0)), EExportRoute); }
void BM_ExportAllLaps(benchmark::State& aState) { Export(aState, static_cast<int32_t>(aState.range(0)), EExportAllLaps); }

// Formats by number: 0 KML, 1 CSV, 3 VBO, 4 DAT, 5 GPX.
BENCHMARK(BM_ExportRoute)->Arg(0)->Arg(1)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportAllLaps)->Arg(0)->Arg(1)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- The NMEA import of the same hour, for comparison ----------------------------------------

const std::string& HourLog() {
  static const std::string log = [] {
    const CPositionPlotList& plots = Session().iPlots->PositionList();
    std::string s;
    char body[200];
    for (int32_t i = 0; i < plots.Count(); ++i) {
      const TPositionPlot& p = plots.At(i);
      const int32_t t = p.iTime % PwTime::KDay;
      const int h = t / 3600000, m = t / 60000 % 60, sec = t / 1000 % 60, ms = t % 1000;
      const double lat = TCoordinate(p.iLatitude).ToNmea(), lon = TCoordinate(p.iLongitude).ToNmea();
      std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%03d,%09.4f,N,%010.4f,E,1,09,0.9,%.1f,M,46.9,M,,", h, m,
                    sec, ms, lat, lon, p.Altitude().Metres());
      s += pwbench::NmeaSentence(body);
      std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%03d,A,%09.4f,N,%010.4f,E,%.2f,%.2f,010624,,,A", h, m, sec,
                    ms, lat, lon, p.Speed().Knots(), p.BearingDegrees());
      s += pwbench::NmeaSentence(body);
    }
    return s;
  }();
  return log;
}

// Stores every epoch in a sample list, as the session importer does.
class TImportObserver : public MParsedDataObserver {
 public:
  explicit TImportObserver(CPlotList& aPlots) : iPlots(aPlots) {}
  int32_t PositionParsed(TCoordinate aLat, TCoordinate aLon, PwTime aTime, TDistance aAlt, TSpeed aSpeed,
                         double aBearing, double aHdop, double aVdop, int32_t aSats, int32_t aDiff, int32_t aDisc,
                         PwTime aDate, PwTime aDateTime) override {
    iPlots.AddPosition(aLat, aLon, aTime.Milliseconds(), aAlt, aSpeed, aBearing, aHdop, aVdop, aSats, aDiff, aDisc,
                       aDate.Milliseconds(), aDateTime.Milliseconds(), 0);
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}

 private:
  CPlotList& iPlots;
};

void BM_NmeaImportSameHour(benchmark::State& aState) {
  const std::string& log = HourLog();
  int32_t count = 0;
  for (auto _ : aState) {
    std::unique_ptr<CPlotList> plots(CPlotList::NewL(nullptr));
    std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
    TImportObserver observer(*plots);
    for (size_t pos = 0; pos < log.size(); pos += 65536) {
      const size_t n = log.size() - pos < 65536 ? log.size() - pos : 65536;
      parser->Parse(CPwByteArrayC(log.data() + pos, static_cast<int32_t>(n)), &observer, nullptr, nullptr, nullptr,
                    nullptr);
    }
    count = plots->PositionList().Count();
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * static_cast<int64_t>(log.size()));
  aState.counters["samples"] = count;
  aState.counters["log_MB"] = static_cast<double>(log.size()) / 1e6;
}
BENCHMARK(BM_NmeaImportSameHour)->Unit(benchmark::kMillisecond);

}  // namespace
