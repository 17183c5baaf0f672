// Exported files read back by other programs: gpsbabel reads our GPX and KML files and must
// find every track point where we put it; our own VBox reader reads our VBO files back to the
// same positions; a CSV with ';' and ',' parses back with those separators alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "exchange/export_rig.h"
#include "exchange/session_exporter.h"
#include "exchange/vbox_parser.h"

using namespace exportrig;

namespace {

constexpr const char* KGpsBabel = "/usr/bin/gpsbabel";

bool HaveGpsBabel() {
  FILE* f = std::fopen(KGpsBabel, "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

#define PW_REQUIRE_GPSBABEL()                                  \
  do {                                                         \
    if (!HaveGpsBabel()) GTEST_SKIP() << "gpsbabel is missing"; \
  } while (0)

std::string RunCommand(const std::string& aCommand) {
  std::string out;
  FILE* pipe = popen(aCommand.c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

struct TPoint {
  double iLat;
  double iLon;
};

// Track points as gpsbabel understood them, written back by it as GPX (9 decimals).
std::vector<TPoint> GpsBabelTrackPoints(const std::string& aFormat, const std::string& aPath,
                                        int* aTracks = nullptr) {
  const std::string gpx =
      RunCommand(std::string(KGpsBabel) + " -t -i " + aFormat + " -f '" + aPath + "' -o gpx -F - 2>/dev/null");
  std::vector<TPoint> points;
  static const std::regex KTrkpt("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\"");
  for (auto it = std::sregex_iterator(gpx.begin(), gpx.end(), KTrkpt); it != std::sregex_iterator(); ++it)
    points.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
  if (aTracks) *aTracks = static_cast<int>(Count(gpx, "<trk>"));
  return points;
}

// The points we wrote: GPX trkpt attributes, or the coordinate lines of KML.
std::vector<TPoint> OurPoints(const std::string& aBytes, bool aKml) {
  std::vector<TPoint> points;
  if (aKml) {
    for (const std::string& line : Lines(aBytes, "\n")) {
      if (line.empty() || line[0] == '\t' || line[0] == '<') continue;
      const size_t comma = line.find(',');
      points.push_back({std::stod(line.substr(comma + 1)), std::stod(line.substr(0, comma))});
    }
    return points;
  }
  static const std::regex KTrkpt("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\"");
  for (auto it = std::sregex_iterator(aBytes.begin(), aBytes.end(), KTrkpt); it != std::sregex_iterator(); ++it)
    points.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
  return points;
}

void ExpectSamePoints(const std::vector<TPoint>& aOurs, const std::vector<TPoint>& aTheirs) {
  ASSERT_EQ(aOurs.size(), aTheirs.size());
  for (size_t i = 0; i < aOurs.size(); ++i) {
    EXPECT_NEAR(aOurs[i].iLat, aTheirs[i].iLat, 1e-9) << i;
    EXPECT_NEAR(aOurs[i].iLon, aTheirs[i].iLon, 1e-9) << i;
  }
}

class ExportInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    iSession.DriveCircuit(1700);
    iSession.AddTrackAndLaps();
    ASSERT_EQ(iSession.iLaps->LapCount(), 6);
  }
  Session iSession;
};

// Collects what a parser delivers.
class PositionSink : public MParsedDataObserver {
 public:
  struct TFix {
    TCoordinate iLat, iLon;
    PwTime iTime;
    TDistance iAltitude;
    TSpeed iSpeed;
    double iBearing;
    int32_t iSatellites;
    PwTime iDate;
  };
  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime, TDistance aAltitude,
                         TSpeed aSpeed, double aBearingDegrees, double, double, int32_t aSatellites, int32_t,
                         int32_t, PwTime aDate, PwTime) override {
    iFixes.push_back({aLatitude, aLongitude, aTime, aAltitude, aSpeed, aBearingDegrees, aSatellites, aDate});
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}
  std::vector<TFix> iFixes;
};

}  // namespace

TEST_F(ExportInterop, GpsBabelReadsOurGpxRouteAndLaps) {
  PW_REQUIRE_GPSBABEL();
  const Session::TResult route = iSession.Export(EExportGpx, EExportRoute);
  ASSERT_EQ(route.iCode, 0);
  const std::vector<TPoint> ours = OurPoints(route.iBytes, false);
  ASSERT_EQ(ours.size(), 1700u);
  // Our points are the stored samples to the 7 decimals written.
  for (size_t i = 0; i < ours.size(); ++i) {
    const TPositionPlot& p = iSession.iPlots->PositionList().At(static_cast<int32_t>(i));
    ASSERT_NEAR(ours[i].iLat, TCoordinate(p.iLatitude).ToDegrees(), 0.6e-7);
    ASSERT_NEAR(ours[i].iLon, TCoordinate(p.iLongitude).ToDegrees(), 0.6e-7);
  }
  ExpectSamePoints(ours, GpsBabelTrackPoints("gpx", route.iPath));

  const Session::TResult laps = iSession.Export(EExportGpx, EExportAllLaps);
  ASSERT_EQ(laps.iCode, 0);
  int tracks = 0;
  const std::vector<TPoint> theirs = GpsBabelTrackPoints("gpx", laps.iPath, &tracks);
  EXPECT_EQ(tracks, 5);
  ExpectSamePoints(OurPoints(laps.iBytes, false), theirs);
}

TEST_F(ExportInterop, GpsBabelReadsOurKmlRouteAndLaps) {
  PW_REQUIRE_GPSBABEL();
  const Session::TResult route = iSession.Export(EExportKml, EExportRoute);
  ASSERT_EQ(route.iCode, 0);
  const std::vector<TPoint> ours = OurPoints(route.iBytes, true);
  ASSERT_EQ(ours.size(), 1700u);
  ExpectSamePoints(ours, GpsBabelTrackPoints("kml", route.iPath));

  // The lap scope adds the trap placemarks and the optimal lap; the tracks still come through.
  const Session::TResult laps = iSession.Export(EExportKml, EExportAllLaps);
  ASSERT_EQ(laps.iCode, 0);
  int tracks = 0;
  const std::vector<TPoint> theirs = GpsBabelTrackPoints("kml", laps.iPath, &tracks);
  // The two trap lines of the track folder come first as two-point tracks, then the optimal
  // lap and the five laps.
  EXPECT_EQ(tracks, 2 + 6);
  std::vector<TPoint> lapPoints = OurPoints(laps.iBytes, true);
  ASSERT_GT(lapPoints.size(), 5u * 300u);
  ASSERT_EQ(theirs.size(), lapPoints.size() + 4);
  const CTrapLineList& traps = *iSession.iTrack.Traps();
  for (int32_t key = 0; key < 2; ++key) {
    const TGeoPoint ends[2] = {traps.At(key)->EndPoint1Geo(), traps.At(key)->EndPoint2Geo()};
    for (int32_t e = 0; e < 2; ++e) {
      EXPECT_NEAR(theirs[2 * key + e].iLat, ends[e].iLatitude.ToDegrees(), 0.6e-7);
      EXPECT_NEAR(theirs[2 * key + e].iLon, ends[e].iLongitude.ToDegrees(), 0.6e-7);
    }
  }
  const std::vector<TPoint> theirLaps(theirs.begin() + 4, theirs.end());
  ExpectSamePoints(lapPoints, theirLaps);
}

TEST_F(ExportInterop, OurVBoxReaderReadsOurVboBack) {
  for (int32_t scope : {EExportRoute, EExportAllLaps}) {
    const Session::TResult r = iSession.Export(EExportVbo, scope);
    ASSERT_EQ(r.iCode, 0);
    std::unique_ptr<CVBoxParser> parser(CVBoxParser::NewL());
    PositionSink sink;
    // In pieces, as a file reader hands them over.
    const std::string& bytes = r.iBytes;
    for (size_t at = 0; at < bytes.size(); at += 4000) {
      const size_t n = std::min<size_t>(4000, bytes.size() - at);
      parser->Parse(CPwByteArrayC(bytes.data() + at, static_cast<int32_t>(n)), &sink, nullptr, nullptr, nullptr,
                    nullptr);
    }
    const CPositionPlotList& plots = iSession.iPlots->PositionList();
    int32_t first = 0;
    if (scope == EExportAllLaps) {
      first = iSession.iLaps->Lap(0)->Start()->iSampleIndex - 1 - CSessionExporter::KLapMargin;
      if (first < 0) first = 0;
    }
    ASSERT_FALSE(sink.iFixes.empty());
    ASSERT_LE(first + static_cast<int32_t>(sink.iFixes.size()), plots.Count());
    for (size_t i = 0; i < sink.iFixes.size(); ++i) {
      const PositionSink::TFix& fix = sink.iFixes[i];
      const TPositionPlot& p = plots.At(first + static_cast<int32_t>(i));
      // Minutes of arc with 5 decimals are exactly the coordinate unit.
      ASSERT_EQ(fix.iLat.iValue, p.iLatitude) << i;
      ASSERT_EQ(fix.iLon.iValue, p.iLongitude) << i;
      ASSERT_EQ(fix.iTime.Milliseconds(), p.iTime % PwTime::KDay) << i;
      EXPECT_NEAR(fix.iSpeed.Kmh(), p.Speed().Kmh(), 0.0051) << i;
      EXPECT_NEAR(fix.iAltitude.Metres(), p.Altitude().Metres(), 0.0051) << i;
      EXPECT_NEAR(fix.iBearing, p.BearingDegrees(), 0.0051) << i;
      EXPECT_EQ(fix.iSatellites, p.Satellites());
      EXPECT_EQ(fix.iDate, PwTime::FromDate(2024, 6, 1));
    }
  }
}

TEST_F(ExportInterop, CsvWithSemicolonAndCommaParsesBackWithThoseAlone) {
  TExportRequest request = iSession.Request(EExportCsv, EExportRoute);
  request.iCsvSeparators = ECsvSemicolonComma;
  const Session::TResult r = iSession.Export(request);
  ASSERT_EQ(r.iCode, 0);
  const std::vector<std::string> lines = Lines(r.iBytes);
  ASSERT_EQ(lines.size(), 11u + 1700u);
  EXPECT_EQ(lines[7], "Created;01/06/2024;12:05");
  auto split = [](const std::string& aLine) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
      const size_t at = aLine.find(';', from);
      fields.push_back(aLine.substr(from, at == std::string::npos ? std::string::npos : at - from));
      if (at == std::string::npos) return fields;
      from = at + 1;
    }
  };
  const size_t columns = split(lines[10]).size();
  EXPECT_EQ(columns, 19u);
  static const std::regex KNumber("-?[0-9]+(,[0-9]+)?");
  for (size_t i = 11; i < lines.size(); ++i) {
    const std::vector<std::string> fields = split(lines[i]);
    ASSERT_EQ(fields.size(), columns) << lines[i];
    EXPECT_EQ(fields[0], "N/A");
    for (size_t f = 1; f + 1 < fields.size(); ++f)
      ASSERT_TRUE(std::regex_match(fields[f], KNumber)) << lines[i] << " field " << f;
    // The position parses back with ',' as the decimal separator.
    double lat = 0, lon = 0;
    ASSERT_TRUE(CPwByteArrayC(fields[5]).ParseReal(lat, ','));
    ASSERT_TRUE(CPwByteArrayC(fields[6]).ParseReal(lon, ','));
    const TPositionPlot& p = iSession.iPlots->PositionList().At(static_cast<int32_t>(i - 11));
    ASSERT_NEAR(lat, TCoordinate(p.iLatitude).ToDegrees(), 0.6e-7);
    ASSERT_NEAR(lon, TCoordinate(p.iLongitude).ToDegrees(), 0.6e-7);
  }
}
