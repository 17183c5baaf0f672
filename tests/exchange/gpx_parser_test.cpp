// The GPX reader: track points of GPX 1.0 and 1.1 as epochs, block boundaries anywhere, real
// receiver logs converted by gpsbabel read back with the positions our own NMEA parser finds,
// and hostile files refused early with bounded memory.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/nmea_parser.h"
#include "exchange/gpx_parser.h"
#include "support/test_support.h"

namespace {

struct TFix {
  double iLat, iLon;
  int32_t iTime, iDate, iDateTime;
  double iAltitude, iSpeed, iBearing, iHdop, iVdop;
  int32_t iSatellites, iDifferential, iDiscontinuity;
};

class Collector : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate aLat, TCoordinate aLon, PwTime aTime, TDistance aAltitude, TSpeed aSpeed,
                         double aBearing, double aHdop, double aVdop, int32_t aSatellites, int32_t aDifferential,
                         int32_t aDiscontinuity, PwTime aDate, PwTime aDateTime) override {
    iFixes.push_back({aLat.ToDegrees(), aLon.ToDegrees(), aTime.Milliseconds(), aDate.Milliseconds(),
                      aDateTime.Milliseconds(), aAltitude.IsValid() ? aAltitude.Metres() : NAN,
                      aSpeed.IsValid() ? aSpeed.MetresPerSecond() : NAN, aBearing, aHdop, aVdop, aSatellites,
                      aDifferential, aDiscontinuity});
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}
  std::vector<TFix> iFixes;
};

void Feed(CDataParser& aParser, const std::string& aText, Collector& aOut, size_t aBlock = 204800) {
  for (size_t at = 0; at < aText.size(); at += aBlock) {
    const size_t n = std::min(aBlock, aText.size() - at);
    aParser.Parse(CPwByteArrayC(aText.data() + at, static_cast<int32_t>(n)), &aOut, nullptr, nullptr, nullptr,
                  nullptr);
  }
}

std::vector<TFix> ReadGpx(const std::string& aText, size_t aBlock = 204800) {
  std::unique_ptr<CGpxParser> parser(CGpxParser::NewL());
  Collector out;
  Feed(*parser, aText, out, aBlock);
  return out.iFixes;
}

std::string Reason(const CGpxParser& aParser) {
  CPwString reason;
  return aParser.Refusal(reason) ? PwToUtf8(reason) : std::string();
}

const char* const KTwoSegments =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"watch\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
    "     xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\">\n"
    "  <metadata><time>2024-05-08T09:00:00Z</time></metadata>\n"
    "  <wpt lat=\"48.1\" lon=\"11.1\"><time>2024-05-08T09:59:00Z</time></wpt>\n"
    "  <rte><rtept lat=\"48.2\" lon=\"11.2\"/><rtept lat=\"48.3\" lon=\"11.3\"/></rte>\n"
    "  <trk><name>Morning</name><trkseg>\n"
    "    <trkpt lat=\"48.0000000\" lon=\"11.0000000\"><ele>512.5</ele><time>2024-05-08T10:00:00.125Z</time>\n"
    "      <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>12.5</gpxtpx:speed>"
    "<gpxtpx:course>90.0</gpxtpx:course></gpxtpx:TrackPointExtension></extensions></trkpt>\n"
    "    <trkpt lat=\"48.0\" lon=\"11.0001\"><time>2024-05-08T10:00:01.1255Z</time></trkpt>\n"
    "    <trkpt lon=\"11.0002\" lat=\"48.0\"><time>2024-05-08T12:00:02.125+02:00</time><sat>7</sat>"
    "<fix>dgps</fix><hdop>0.8</hdop><vdop>1.2</vdop></trkpt>\n"
    "    <trkpt lat=\"48.0\" lon=\"11.0003\"></trkpt>\n"
    "  </trkseg><trkseg>\n"
    "    <trkpt lat=\"-33.5\" lon=\"-70.25\"><time>2024-05-08T23:59:59.999Z</time><speed>3</speed></trkpt>\n"
    "    <trkpt lat=\"-33.5\" lon=\"-70.25\"><time>2024-05-09T00:00:00.5Z</time></trkpt>\n"
    "  </trkseg></trk>\n"
    "</gpx>\n";

}  // namespace

TEST(GpxParser, TrackPointsBecomeEpochsInEverySegment) {
  std::unique_ptr<CGpxParser> parser(CGpxParser::NewL());
  Collector out;
  Feed(*parser, KTwoSegments, out);
  const std::vector<TFix>& f = out.iFixes;
  ASSERT_EQ(f.size(), 5u);
  // Milliseconds kept (a fourth decimal rounds), the zone applied, the date with each point.
  EXPECT_EQ(f[0].iTime, 10 * 3600000 + 125);
  EXPECT_EQ(f[1].iTime, 10 * 3600000 + 1126);
  EXPECT_EQ(f[2].iTime, 10 * 3600000 + 2125);
  EXPECT_EQ(f[0].iDate, PwTime::FromDate(2024, 5, 8).Milliseconds());
  EXPECT_EQ(f[0].iDateTime, f[0].iTime);
  EXPECT_EQ(f[3].iTime, 86399999);
  EXPECT_EQ(f[4].iTime, 500);
  EXPECT_EQ(f[4].iDate, PwTime::FromDate(2024, 5, 9).Milliseconds());
  EXPECT_NEAR(f[3].iLat, -33.5, 1e-6);
  EXPECT_NEAR(f[3].iLon, -70.25, 1e-6);
  // Speed and course from the extension; elevation only where given.
  EXPECT_NEAR(f[0].iSpeed, 12.5, 1e-6);
  EXPECT_NEAR(f[0].iBearing, 90.0, 1e-9);
  EXPECT_NEAR(f[0].iAltitude, 512.5, 1e-3);
  EXPECT_TRUE(std::isnan(f[1].iAltitude));
  // Derived over both neighbours: 14.9 m in 2 s, eastwards; the last of a segment over its
  // predecessor only.
  EXPECT_NEAR(f[1].iSpeed, 14.89 / 2.0, 0.05);
  EXPECT_NEAR(f[1].iBearing, 90.0, 0.01);
  EXPECT_NEAR(f[2].iSpeed, 7.44 / 1.0, 0.05);
  EXPECT_EQ(f[2].iSatellites, 7);
  EXPECT_EQ(f[2].iDifferential, 1);
  EXPECT_NEAR(f[2].iHdop, 0.8, 1e-9);
  EXPECT_NEAR(f[2].iVdop, 1.2, 1e-9);
  // A given speed stands; a point at rest has no course to derive.
  EXPECT_NEAR(f[3].iSpeed, 3.0, 1e-9);
  EXPECT_NEAR(f[4].iSpeed, 0.0, 1e-9);
  // Each segment starts a new trace.
  EXPECT_EQ(f[0].iDiscontinuity, 1);
  EXPECT_EQ(f[1].iDiscontinuity, 0);
  EXPECT_EQ(f[3].iDiscontinuity, 1);
  EXPECT_EQ(f[4].iDiscontinuity, 0);
  EXPECT_EQ(parser->UntimedPoints(), 1);
  EXPECT_EQ(parser->IgnoredRoutePoints(), 2);
  EXPECT_EQ(parser->IgnoredWaypoints(), 1);
  EXPECT_EQ(parser->RefusalKind(), CGpxParser::ENotRefused);

  // Any block boundary gives the same epochs, and Reset starts a new document.
  for (size_t block : {1u, 7u, 64u}) {
    const std::vector<TFix> again = ReadGpx(KTwoSegments, block);
    ASSERT_EQ(again.size(), f.size()) << block;
    for (size_t i = 0; i < f.size(); ++i) EXPECT_EQ(again[i].iTime, f[i].iTime) << block;
  }
  parser->Reset();
  Feed(*parser, KTwoSegments, out);
  EXPECT_EQ(out.iFixes.size(), 10u);
  EXPECT_EQ(parser->UntimedPoints(), 2);
}

TEST(GpxParser, HostileFilesAreRefusedEarly) {
  struct TCase {
    const char* iName;
    std::string iText;
    CGpxParser::TRefusal iKind;
    const char* iReason;
  };
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [\n <!ENTITY lol \"lol\">\n";
  for (int i = 1; i < 10; ++i) {
    laughs += " <!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
    laughs += "\">\n";
  }
  laughs += "]>\n<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><time>2024-01-01T00:00:00Z</time>"
            "<name>&lol9;</name></trkpt></trkseg></trk></gpx>\n";
  std::string deep = "<gpx>";
  for (int i = 0; i < 100; ++i) deep += "<extensions>";
  const std::vector<TCase> cases = {
      {"billion laughs", laughs, CGpxParser::EEntities, "the file declares XML entities, which are never expanded (line 3)"},
      {"Latin-1 without a declaration",
       "<gpx>\n<trk><name>K\xF6ln</name></trk></gpx>", CGpxParser::ENotWellFormed,
       "the file is not well-formed XML: not well-formed (invalid token) (line 2)"},
      {"undeclared entity", "<gpx>&nope;</gpx>", CGpxParser::ENotWellFormed,
       "the file is not well-formed XML: undefined entity (line 1)"},
      {"not GPX", "<?xml version=\"1.0\"?><kml><Placemark/></kml>", CGpxParser::ENotGpx,
       "the file is XML but not GPX (its root element is not <gpx>)"},
      {"nested deep", deep, CGpxParser::ETooDeep, "the elements near line 1 are nested deeper than 64 levels"},
      {"endless comment", "<gpx>\n<!--" + std::string(3 * 1024 * 1024, 'x') + "\n", CGpxParser::ETokenTooLong,
       "a tag, text or comment near line 2 is longer than 1 MiB"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.iName);
    std::unique_ptr<CGpxParser> parser(CGpxParser::NewL());
    Collector out;
    Feed(*parser, c.iText, out, 65536);
    EXPECT_EQ(parser->RefusalKind(), c.iKind);
    EXPECT_EQ(Reason(*parser), c.iReason);
    EXPECT_TRUE(out.iFixes.empty());
    // Refused for good: more input changes nothing.
    Feed(*parser, KTwoSegments, out);
    EXPECT_TRUE(out.iFixes.empty());
  }

  // A document that is fine but gives no point a time yields nothing, and says so.
  std::unique_ptr<CGpxParser> untimed(CGpxParser::NewL());
  Collector out;
  Feed(*untimed, "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"1\" lon=\"2\"><time>yesterday</time>"
                 "</trkpt></trkseg></trk></gpx>", out);
  EXPECT_TRUE(out.iFixes.empty());
  EXPECT_EQ(untimed->UntimedPoints(), 2);
  EXPECT_EQ(untimed->RefusalKind(), CGpxParser::ENotRefused);
}

TEST(GpxParser, AGigabyteLineIsRefusedWithinBoundedMemory) {
  // A track point and then blanks without a line break, made block by block and never
  // stored: the line limit stops the reading long before the gigabyte.
  std::string block = "<gpx><trk><trkseg><trkpt lat=\"48.0\" lon=\"11.0\"><time>2024-05-08T10:00:00Z</time></trkpt>";
  block.resize(200000, ' ');
  std::unique_ptr<CGpxParser> parser(CGpxParser::NewL());
  Collector out;
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  int64_t fed = 0;
  while (fed < (int64_t(1) << 30) && parser->RefusalKind() == CGpxParser::ENotRefused) {
    parser->Parse(CPwByteArrayC(block.data(), static_cast<int32_t>(block.size())), &out, nullptr, nullptr,
                  nullptr, nullptr);
    if (fed == 0) block.assign(block.size(), ' ');
    fed += static_cast<int64_t>(block.size());
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(parser->RefusalKind(), CGpxParser::ELineTooLong);
  EXPECT_EQ(Reason(*parser), "line 1 is longer than 32 MiB");
  EXPECT_LE(fed, CGpxParser::KMaxLineBytes + 400000);
  // ru_maxrss is in KiB: the reading kept far less than the line.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);
}

TEST(GpxParser, GpsbabelConversionsOfRealLogsReadLikeTheirNmea) {
  PW_REQUIRE_TESTDATA();
  if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is not installed";
  pwtest::TempDir dir;
  int compared = 0;
  for (const char* name : {"bu353s4", "mt3339", "skytraq-dgps", "haicom-305N", "ait250"}) {
    SCOPED_TRACE(name);
    const std::string log = pwtest::TestDataDir() + "/nmea-receivers/" + name + ".log";
    if (!std::filesystem::exists(log)) continue;
    for (const char* version : {"1.0", "1.1"}) {
      const std::string gpx = dir / (std::string(name) + version + ".gpx");
      const std::string command = "gpsbabel -i nmea -f '" + log + "' -o gpx,gpxver=" + version + " -F '" + gpx + "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
      const std::vector<TFix> fromGpx = ReadGpx(pwtest::ReadFileBytes(gpx));

      std::unique_ptr<CNmeaParser> nmea(CNmeaParser::NewL(0));
      Collector direct;
      Feed(*nmea, pwtest::ReadFileBytes(log), direct);
      std::map<int32_t, const TFix*> byTime;
      for (const TFix& f : direct.iFixes) byTime[f.iTime] = &f;

      // gpsbabel keeps whole fixes only; each of them is one of ours, at the same place
      // within the 9 decimals it writes (and our 1/6000000-degree units).
      ASSERT_FALSE(fromGpx.empty());
      size_t matched = 0;
      for (const TFix& f : fromGpx) {
        const auto it = byTime.find(f.iTime);
        if (it == byTime.end()) continue;
        ++matched;
        EXPECT_NEAR(f.iLat, it->second->iLat, 2e-7) << f.iTime;
        EXPECT_NEAR(f.iLon, it->second->iLon, 2e-7) << f.iTime;
        EXPECT_EQ(f.iDate, it->second->iDate) << f.iTime;
      }
      // Our parser waits for a complete epoch where gpsbabel takes a lone RMC: a few fixes at
      // the ends of a log are gpsbabel's alone.
      EXPECT_GE(matched * 10, fromGpx.size() * 8) << matched << " of " << fromGpx.size();
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}
