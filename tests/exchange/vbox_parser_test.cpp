#include "exchange/vbox_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

struct TFix {
  int32_t iLatitude, iLongitude, iTime;
  double iAltitude, iSpeed, iBearing, iHdop, iVdop;
  int32_t iSatellites, iDifferential, iDiscontinuity, iDate, iDateTime;
};

class TRecorder : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate aLat, TCoordinate aLon, PwTime aTime, TDistance aAlt, TSpeed aSpeed,
                         double aBearing, double aHdop, double aVdop, int32_t aSats, int32_t aDiff,
                         int32_t aDisc, PwTime aDate, PwTime aDateTime) override {
    iFixes.push_back({aLat.iValue, aLon.iValue, aTime.Milliseconds(), aAlt.Metres(), aSpeed.MetresPerSecond(),
                      aBearing, aHdop, aVdop, aSats, aDiff, aDisc, aDate.Milliseconds(),
                      aDateTime.Milliseconds()});
    return iResult;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override { ++iOther; }
  void ObdSentenceDone() override { ++iOther; }
  void ChannelsParsed(PwTime, const TChannelValueList&) override { ++iOther; }
  void LineReceived(CPwByteArrayC, int32_t) override { ++iOther; }

  std::vector<TFix> iFixes;
  int32_t iResult = 0;
  int32_t iOther = 0;
};

struct ParserDeleter {
  void operator()(CVBoxParser* p) const { delete p; }
};
using ParserPtr = std::unique_ptr<CVBoxParser, ParserDeleter>;

ParserPtr NewParser() { return ParserPtr(CVBoxParser::NewL()); }

int32_t Feed(CVBoxParser& aParser, const std::string& aBytes, TRecorder& aRecorder) {
  return aParser.Parse(CPwByteArrayC(aBytes), &aRecorder, nullptr, nullptr, nullptr, nullptr);
}

// Lines joined with aEnd.
std::string Lines(const std::vector<std::string>& aLines, const std::string& aEnd = "\r\n") {
  std::string s;
  for (const std::string& line : aLines) s += line + aEnd;
  return s;
}

const std::vector<std::string> KSmallLog = {
    "File created on 24/12/2007 at 10:00:00",
    "",
    "[header]",
    "satellites",
    "time",
    "latitude",
    "longitude",
    "velocity kmh",
    "heading",
    "height",
    "",
    "[column names]",
    "sats time lat long velocity heading height",
    "[data]",
    "008 120000.00 +03089.45027 +00039.66772 036.000 090.50 +00017.23",
    "009 120000.10 +03089.45127 -00039.66872 072.000 091.00 -00002.50",
};

constexpr int32_t KDate20071224 = 2007 * 372 + 12 * 31 + 24 - 32;

TEST(VBoxParser, DecodesColumnsInFileUnitsWithOneAnchorForTheFile) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  EXPECT_EQ(Feed(*parser, Lines(KSmallLog), rec), CDataParser::EParsed);
  ASSERT_EQ(rec.iFixes.size(), 2u);

  const TFix& a = rec.iFixes[0];
  EXPECT_EQ(a.iLatitude, 308945027);    // minutes of arc x 100000
  EXPECT_EQ(a.iLongitude, -3966772);    // west counts positive in the file
  EXPECT_EQ(a.iTime, 12 * 3600000);
  EXPECT_NEAR(a.iSpeed, 10.0, 1e-9);    // 36 km/h
  EXPECT_DOUBLE_EQ(a.iBearing, 90.5);
  EXPECT_NEAR(a.iAltitude, 17.23, 1e-9);
  EXPECT_EQ(a.iSatellites, 8);
  EXPECT_TRUE(std::isnan(a.iHdop));
  EXPECT_TRUE(std::isnan(a.iVdop));
  EXPECT_EQ(a.iDifferential, 0);
  EXPECT_EQ(a.iDiscontinuity, 1);

  const TFix& b = rec.iFixes[1];
  EXPECT_EQ(b.iLongitude, 3966872);
  EXPECT_EQ(b.iTime, 12 * 3600000 + 100);
  EXPECT_NEAR(b.iAltitude, -2.5, 1e-9);
  EXPECT_EQ(b.iDiscontinuity, 0);

  // The header date plus the first fix time, the same for every position.
  for (const TFix& f : rec.iFixes) {
    EXPECT_EQ(f.iDate, KDate20071224);
    EXPECT_EQ(f.iDateTime, 12 * 3600000);
  }

  // A timing event reported by the observer is the strongest result.
  parser->Reset();
  rec.iFixes.clear();
  rec.iResult = 1;
  EXPECT_EQ(Feed(*parser, Lines(KSmallLog), rec), CDataParser::ETimingEvent);
  EXPECT_EQ(rec.iFixes.size(), 2u);
  EXPECT_EQ(rec.iOther, 0);
}

TEST(VBoxParser, LineEndingsAndChunkBoundariesDoNotMatter) {
  TRecorder reference;
  Feed(*NewParser(), Lines(KSmallLog), reference);
  ASSERT_EQ(reference.iFixes.size(), 2u);

  for (const std::string& end : {std::string("\n"), std::string("\r\n")}) {
    const std::string bytes = Lines(KSmallLog, end);
    ParserPtr parser = NewParser();
    TRecorder rec;
    for (char c : bytes) Feed(*parser, std::string(1, c), rec);
    ASSERT_EQ(rec.iFixes.size(), 2u) << "line end size " << end.size();
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(rec.iFixes[i].iLatitude, reference.iFixes[i].iLatitude);
      EXPECT_EQ(rec.iFixes[i].iTime, reference.iFixes[i].iTime);
      EXPECT_EQ(rec.iFixes[i].iDate, reference.iFixes[i].iDate);
    }
  }

  // A partial last line waits for the rest; nothing is reported from it until then.
  ParserPtr parser = NewParser();
  TRecorder rec;
  std::string bytes = Lines(KSmallLog);
  bytes.resize(bytes.size() - 10);
  Feed(*parser, bytes, rec);
  EXPECT_EQ(rec.iFixes.size(), 1u);
  Feed(*parser, Lines(KSmallLog).substr(bytes.size()), rec);
  EXPECT_EQ(rec.iFixes.size(), 2u);
}

TEST(VBoxParser, PositionGateDropsLinesWithoutTimeOrPosition) {
  std::vector<std::string> log(KSmallLog.begin(), KSmallLog.end() - 2);
  log.push_back("008 120000.00 +00000.00000 +00039.66772 036.000 090.50 +00017.23");  // latitude 0
  log.push_back("008 120000.00 +03089.45027 -00000.00000 036.000 090.50 +00017.23");  // longitude 0
  log.push_back("008 000000.00 +03089.45027 +00039.66772 036.000 090.50 +00017.23");  // time 0
  log.push_back("008 250000.00 +03089.45027 +00039.66772 036.000 090.50 +00017.23");  // bad time
  log.push_back("008 120001.00 +03089.45027 +00039.66772 fast 090.50 +00017.23");     // bad speed
  log.push_back("008  120001.00 +03089.45027 +00039.66772 036.000 090.50 +00017.23"); // empty field
  log.push_back("008 120002.00 +03089.45027 +99999999999999999999 036.0 090.5 +17.2"); // out of range
  log.push_back("");
  ParserPtr parser = NewParser();
  TRecorder rec;
  // Lines that parse but fail the gate still count as read.
  EXPECT_EQ(Feed(*parser, Lines(log), rec), CDataParser::EParsed);
  EXPECT_TRUE(rec.iFixes.empty());

  // Only failing lines: nothing read at all.
  EXPECT_EQ(Feed(*parser, "008 250000.00 +1 +1 0 0 0\r\nxyz\r\n", rec), CDataParser::ENothing);

  // The discontinuity is still pending for the first reported position.
  Feed(*parser, KSmallLog.back() + "\r\n", rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iDiscontinuity, 1);
}

TEST(VBoxParser, ColumnsAreFoundByNameWithDefaultsForMissingOnes) {
  // Only an mph speed, unknown columns in between, no satellites, height or heading.
  const std::string mph = Lines({"[header]", "time", "rpm", "longitude", "latitude", "velocity mph", "",
                                 "[data]", "101010.5 6500 00010.00000 00020.00000 060.0 extra fields"});
  ParserPtr parser = NewParser();
  TRecorder rec;
  Feed(*parser, mph, rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  const TFix& f = rec.iFixes[0];
  EXPECT_EQ(f.iTime, 10 * 3600000 + 10 * 60000 + 10500);
  EXPECT_EQ(f.iLatitude, 2000000);
  EXPECT_EQ(f.iLongitude, -1000000);
  EXPECT_NEAR(f.iSpeed, 60.0 * 1609.344 / 3600.0, 1e-9);
  EXPECT_EQ(f.iSatellites, 0);
  EXPECT_EQ(f.iAltitude, 0.0);
  EXPECT_EQ(f.iBearing, 0.0);

  // With several speed columns the last one in column order wins.
  const std::string several = Lines({"[header]", "time", "latitude", "longitude", "velocity knots",
                                     "velocity kmh", "[data]", "101010.5 1 1 10 36"});
  parser->Reset();
  rec.iFixes.clear();
  Feed(*parser, several, rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_NEAR(rec.iFixes[0].iSpeed, 10.0, 1e-9);

  // A header closed by another section keeps its columns; a new header forgets the old ones.
  const std::string reopened = Lines({"[header]", "time", "latitude", "longitude", "[channel units]",
                                      "latitude", "[header]", "time", "longitude", "latitude", "[data]",
                                      "101010.5 1 2"});
  parser->Reset();
  rec.iFixes.clear();
  Feed(*parser, reopened, rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iLatitude, 200000);
  EXPECT_EQ(rec.iFixes[0].iLongitude, -100000);
}

TEST(VBoxParser, AnchorComesFromTheClockWithoutAUsableHeaderDate) {
  for (const char* created : {"", "File created on yesterday at noon", "File created on 31/04/2007"}) {
    ParserPtr parser = NewParser();
    TRecorder rec;
    const PwDateTime before = PwDateTime::NowUtc();
    std::vector<std::string> log(KSmallLog.begin() + 1, KSmallLog.end());
    log.insert(log.begin(), created);
    Feed(*parser, Lines(log), rec);
    ASSERT_EQ(rec.iFixes.size(), 2u) << created;
    const PwDateTime after = PwDateTime::NowUtc();
    EXPECT_GE(rec.iFixes[0].iDate, before.iDate.Milliseconds()) << created;
    EXPECT_LE(rec.iFixes[0].iDate, after.iDate.Milliseconds()) << created;
    EXPECT_EQ(rec.iFixes[1].iDate, rec.iFixes[0].iDate);
    EXPECT_EQ(rec.iFixes[1].iDateTime, rec.iFixes[0].iDateTime);
  }

  // The header date carries past midnight when the first fix time is added.
  ParserPtr parser = NewParser();
  TRecorder rec;
  Feed(*parser,
       Lines({"File created on 31/12/2007 at 23:00:00", "[header]", "time", "latitude", "longitude",
              "[data]", "120000.00 1 1"}),
       rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iDate, 2007 * 372 + 12 * 31 + 31 - 32);
  EXPECT_EQ(rec.iFixes[0].iDateTime, 12 * 3600000);
}

TEST(VBoxParser, ResetForgetsSectionsColumnsAndAnchor) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  Feed(*parser, Lines(KSmallLog), rec);
  std::string partial = "009 120000.10 +03089";
  Feed(*parser, partial, rec);
  parser->Reset();
  rec.iFixes.clear();
  // Without a header, data lines are not data.
  EXPECT_EQ(Feed(*parser, Lines({KSmallLog.back()}), rec), CDataParser::ENothing);
  Feed(*parser, Lines(KSmallLog), rec);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  EXPECT_EQ(rec.iFixes[0].iDiscontinuity, 1);
}

TEST(VBoxParser, HostileInputIsDroppedInBoundedMemory) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  std::vector<std::string> head(KSmallLog.begin(), KSmallLog.end() - 2);
  Feed(*parser, Lines(head), rec);

  // An enormous line, even one that looks like data at its end, is dropped whole.
  std::string huge(2 * CVBoxParser::KLineBufferSize, 'x');
  huge += "008 120000.00 +03089.45027 +00039.66772 036.000 090.50 +00017.23\r\n";
  Feed(*parser, huge, rec);
  EXPECT_TRUE(rec.iFixes.empty());
  // The next line is read normally.
  Feed(*parser, KSmallLog.back() + "\r\n", rec);
  EXPECT_EQ(rec.iFixes.size(), 1u);

  // Binary noise and a wrong-format file: no positions, no crash.
  std::string noise;
  uint32_t x = 12345;
  for (int i = 0; i < 300000; ++i) {
    x = x * 1103515245u + 12345u;
    noise.push_back(static_cast<char>(x >> 24));
  }
  ParserPtr other = NewParser();
  TRecorder none;
  Feed(*other, noise, none);
  Feed(*other, "$GPRMC,120000.00,A,5130.0,N,00030.0,W,1.0,90.0,241207,,*00\r\n", none);
  EXPECT_TRUE(none.iFixes.empty());

  // The same noise inside the data section cannot make a position either: its lines fail to
  // parse or lack a time and position.
  Feed(*parser, noise, rec);
  EXPECT_EQ(rec.iFixes.size(), 1u);
}

// --- Real logs ---------------------------------------------------------------------------

std::vector<TFix> ImportFile(const std::string& aPath) {
  const std::string bytes = pwtest::ReadFileBytes(aPath);
  EXPECT_FALSE(bytes.empty()) << aPath;
  ParserPtr parser = NewParser();
  TRecorder rec;
  // In the importer's block size.
  for (size_t pos = 0; pos < bytes.size(); pos += 204800)
    Feed(*parser, bytes.substr(pos, 204800), rec);
  return rec.iFixes;
}

TEST(VBoxParser, SportsLoggerFileInMinutesWithWestPositive) {
  PW_REQUIRE_TESTDATA();
  const std::vector<TFix> fixes = ImportFile(pwtest::TestDataDir() + "/vbo/sports-logger-20hz.vbo");
  ASSERT_EQ(fixes.size(), 10u);
  // 010 075141.65 +03089.45027 +00039.66772 003.580 125.29 +00017.23 ...
  const TFix& first = fixes.front();
  EXPECT_EQ(first.iSatellites, 10);
  EXPECT_EQ(first.iTime, 7 * 3600000 + 51 * 60000 + 41650);
  EXPECT_EQ(first.iLatitude, 308945027);
  EXPECT_EQ(first.iLongitude, -3966772);
  EXPECT_NEAR(first.iSpeed * 3.6, 3.58, 1e-9);
  EXPECT_DOUBLE_EQ(first.iBearing, 125.29);
  EXPECT_NEAR(first.iAltitude, 17.23, 1e-9);
  // About 51.49 N, 0.66 W.
  EXPECT_NEAR(first.iLatitude / 6e6, 51.4908, 1e-3);
  EXPECT_NEAR(first.iLongitude / 6e6, -0.6611, 1e-3);
  // 010 075142.10 +03089.45012 +00039.66739 003.690 124.70 +00017.21 ...
  const TFix& last = fixes.back();
  EXPECT_EQ(last.iTime, 7 * 3600000 + 51 * 60000 + 42100);
  EXPECT_EQ(last.iLatitude, 308945012);
  EXPECT_EQ(last.iLongitude, -3966739);
  for (size_t i = 1; i < fixes.size(); ++i) EXPECT_EQ(fixes[i].iTime - fixes[i - 1].iTime, 50);
  // "File created on 23/04/2018 at 09:20:26" plus the first fix time.
  for (const TFix& f : fixes) {
    EXPECT_EQ(f.iDate, 2018 * 372 + 4 * 31 + 23 - 32);
    EXPECT_EQ(f.iDateTime, first.iTime);
  }
}

TEST(VBoxParser, KartingFileWithLfEndingsGapsAndRepeatedTimes) {
  PW_REQUIRE_TESTDATA();
  const std::vector<TFix> fixes = ImportFile(pwtest::TestDataDir() + "/vbo/karting-part.vbo");
  ASSERT_EQ(fixes.size(), 8566u);
  // 008 125716.000 01815.81864 -07218.93083 046.510 033.99 +0009.50 +00.000 00000 00000
  const TFix& first = fixes.front();
  EXPECT_EQ(first.iTime, 12 * 3600000 + 57 * 60000 + 16000);
  EXPECT_EQ(first.iLatitude, 181581864);
  EXPECT_EQ(first.iLongitude, 721893083);
  EXPECT_NEAR(first.iSpeed * 3.6, 46.51, 1e-9);
  EXPECT_DOUBLE_EQ(first.iBearing, 33.99);
  EXPECT_NEAR(first.iAltitude, 9.5, 1e-9);
  EXPECT_EQ(first.iSatellites, 8);
  // 008 125716.440 01815.82129 -07218.93284 048.430 033.18 +0009.30 -01.500 00000 00000
  EXPECT_EQ(fixes[1].iTime - first.iTime, 440);
  EXPECT_EQ(fixes[1].iLatitude, 181582129);
  EXPECT_EQ(fixes[1].iLongitude, 721893284);
  // 008 130309.680 01815.79211 -07218.93195 055.206 273.15 +0007.89 -00.135 00000 00000
  const TFix& last = fixes.back();
  EXPECT_EQ(last.iTime, 13 * 3600000 + 3 * 60000 + 9680);
  EXPECT_EQ(last.iLatitude, 181579211);
  EXPECT_EQ(last.iLongitude, 721893195);
  EXPECT_DOUBLE_EQ(last.iBearing, 273.15);

  // Every position lies on the kart circuit (about 150 x 170 m near 30.2638 N, 120.3157 E);
  // time never goes back, repeats are kept for the sample store to judge.
  int32_t repeats = 0;
  for (size_t i = 0; i < fixes.size(); ++i) {
    EXPECT_NEAR(fixes[i].iLatitude / 6e6, 30.2638, 0.002) << i;
    EXPECT_NEAR(fixes[i].iLongitude / 6e6, 120.3157, 0.002) << i;
    EXPECT_EQ(fixes[i].iDate, 2026 * 372 + 6 * 31 + 8 - 32);
    if (i > 0) {
      EXPECT_GE(fixes[i].iTime, fixes[i - 1].iTime) << i;
      if (fixes[i].iTime == fixes[i - 1].iTime) ++repeats;
    }
    EXPECT_EQ(fixes[i].iDiscontinuity, i == 0 ? 1 : 0);
  }
  EXPECT_GT(repeats, 0);
}

}  // namespace

TEST(VBoxParser, RowsWithImpossibleValuesAreDroppedAndCounted) {
  std::vector<std::string> log(KSmallLog.begin(), KSmallLog.end() - 2);
  // Beyond a pole (5400 minutes), beyond the date line (10800), -500 km/h, 600 km/h, then a
  // good row and the extremes themselves.
  for (const char* row : {"008 120000.00 +05400.00001 +00039.66772 036.000 090.50 +00017.23",
                          "008 120000.10 +03089.45027 -10800.00100 036.000 090.50 +00017.23",
                          "008 120000.20 +03089.45027 +00039.66772 -500.000 090.50 +00017.23",
                          "008 120000.30 +03089.45027 +00039.66772 600.000 090.50 +00017.23",
                          "008 120000.40 +99999999999999 +00039.66772 036.000 090.50 +00017.23",
                          "008 120000.50 +03089.45027 +00039.66772 036.000 090.50 +00017.23",
                          "008 120000.60 -05400.00000 +10800.00000 540.000 090.50 +00017.23"})
    log.push_back(row);
  ParserPtr parser = NewParser();
  TRecorder rec;
  Feed(*parser, Lines(log), rec);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  EXPECT_EQ(rec.iFixes[0].iTime, 12 * 3600000 + 500);
  EXPECT_EQ(rec.iFixes[1].iLatitude, -KMaxLatitudeUnits);
  EXPECT_EQ(rec.iFixes[1].iLongitude, -KMaxLongitudeUnits);
  EXPECT_EQ(parser->DroppedCount(), 5);
  // The first good fix fixed the anchor: a dropped row does not take the session's time.
  EXPECT_EQ(rec.iFixes[0].iDateTime, 12 * 3600000 + 500);
}
