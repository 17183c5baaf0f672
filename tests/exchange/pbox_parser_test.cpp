#include "exchange/pbox_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TFix {
  int32_t iLatitude, iLongitude, iTime;
  double iAltitude, iSpeed, iBearing;
  int32_t iSatellites, iDiscontinuity, iDate, iDateTime;
  bool iDopInvalid;
};

class TRecorder : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate aLat, TCoordinate aLon, PwTime aTime, TDistance aAlt, TSpeed aSpeed,
                         double aBearing, double aHdop, double aVdop, int32_t aSats, int32_t aDiff,
                         int32_t aDisc, PwTime aDate, PwTime aDateTime) override {
    EXPECT_EQ(aDiff, 0);
    iFixes.push_back({aLat.iValue, aLon.iValue, aTime.Milliseconds(), aAlt.Metres(), aSpeed.MetresPerSecond(),
                      aBearing, aSats, aDisc, aDate.Milliseconds(), aDateTime.Milliseconds(),
                      std::isnan(aHdop) && std::isnan(aVdop)});
    return iResult;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}

  std::vector<TFix> iFixes;
  int32_t iResult = 0;
};

struct ParserDeleter {
  void operator()(CPBoxParser* p) const { delete p; }
};
using ParserPtr = std::unique_ptr<CPBoxParser, ParserDeleter>;

int32_t Feed(CPBoxParser& aParser, const std::string& aBytes, TRecorder& aRecorder) {
  return aParser.Parse(CPwByteArrayC(aBytes), &aRecorder, nullptr, nullptr, nullptr, nullptr);
}

// The header of a logger file: the seven fields the reader uses and three it skips.
const std::string KHeader =
    "File created on 31/07/2006 at 14:46:22\r\n"
    "\r\n"
    "[HEADER]\r\n"
    "SATS(1)\r\n"
    "TIME(3)\r\n"
    "LATITUDE(4)\r\n"
    "LONGITUDE(4)\r\n"
    "VELOCITY(2)\r\n"
    "HEADING(2)\r\n"
    "HEIGHT(4)\r\n"
    "YAW(2)\r\n"
    "SLIP(2)\r\n"
    "CHKSUM(2)\r\n"
    "\r\n"
    "[DATA]\r\n";
constexpr size_t KRecordBytes = 1 + 1 + 3 + 4 + 4 + 2 + 2 + 4 + 2 + 2 + 2 + 2;

void PutBe(std::string& aOut, uint32_t aValue, int aBytes) {
  for (int i = aBytes - 1; i >= 0; --i) aOut.push_back(static_cast<char>((aValue >> (8 * i)) & 0xFF));
}

struct TRecord {
  uint8_t iSats = 7;
  uint32_t iHundredths = 0;  // time of day in 1/100 s
  int32_t iLatitude = 308945027;
  int32_t iLongitude = -3966772;
  uint16_t iVelocity = 3600;  // 1/100 km/h
  uint16_t iHeading = 9050;   // 1/100 degree
  int32_t iHeight = 1723;     // cm
};

// A record in the layout of KHeader.
std::string Record(const TRecord& r) {
  std::string s = "$";
  PutBe(s, r.iSats, 1);
  PutBe(s, r.iHundredths, 3);
  PutBe(s, static_cast<uint32_t>(r.iLatitude), 4);
  PutBe(s, static_cast<uint32_t>(r.iLongitude), 4);
  PutBe(s, r.iVelocity, 2);
  PutBe(s, r.iHeading, 2);
  PutBe(s, static_cast<uint32_t>(r.iHeight), 4);
  PutBe(s, 0x2424, 2);  // yaw, with '$' bytes to tempt the resynchronisation
  PutBe(s, 0x0D0A, 2);  // slip, with a CR LF inside a record
  PutBe(s, 0xBEEF, 2);  // checksum (not checked)
  s += "\r\n";
  EXPECT_EQ(s.size(), KRecordBytes);
  return s;
}

std::string Records(uint32_t aFirstHundredths, int aCount, int aStep = 10) {
  std::string s;
  for (int i = 0; i < aCount; ++i) {
    TRecord r;
    r.iHundredths = aFirstHundredths + static_cast<uint32_t>(i * aStep);
    s += Record(r);
  }
  return s;
}

constexpr int32_t KDate20060731 = 2006 * 372 + 7 * 31 + 31 - 32;
constexpr uint32_t KNoon = 12 * 3600 * 100;

TEST(PBoxParser, DecodesBigEndianRecordsWithTheHeaderDate) {
  ParserPtr parser(CPBoxParser::NewL());
  TRecorder rec;
  TRecord r;
  r.iHundredths = KNoon + 1234;
  r.iSats = 9;
  r.iHeight = -250;
  EXPECT_EQ(Feed(*parser, KHeader + Record(r) + Records(KNoon + 1244, 1), rec), CDataParser::EParsed);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  const TFix& f = rec.iFixes[0];
  EXPECT_EQ(f.iLatitude, 308945027);  // taken as it is, no change of sign
  EXPECT_EQ(f.iLongitude, -3966772);
  EXPECT_EQ(f.iTime, 12 * 3600000 + 12340);
  EXPECT_NEAR(f.iSpeed, 10.0, 1e-9);  // 36.00 km/h
  EXPECT_DOUBLE_EQ(f.iBearing, 90.5);
  EXPECT_NEAR(f.iAltitude, -2.5, 1e-9);
  EXPECT_EQ(f.iSatellites, 9);
  EXPECT_TRUE(f.iDopInvalid);
  EXPECT_EQ(f.iDiscontinuity, 1);
  EXPECT_EQ(rec.iFixes[1].iDiscontinuity, 0);
  EXPECT_EQ(rec.iFixes[1].iTime, f.iTime + 100);
  for (const TFix& x : rec.iFixes) {
    EXPECT_EQ(x.iDate, KDate20060731);
    EXPECT_EQ(x.iDateTime, f.iTime);
  }

  // The same bytes one at a time give the same result.
  ParserPtr bytewise(CPBoxParser::NewL());
  TRecorder rec2;
  const std::string all = KHeader + Record(r) + Records(KNoon + 1244, 1);
  for (char c : all) Feed(*bytewise, std::string(1, c), rec2);
  ASSERT_EQ(rec2.iFixes.size(), 2u);
  EXPECT_EQ(rec2.iFixes[0].iTime, f.iTime);
  EXPECT_EQ(rec2.iFixes[1].iLatitude, f.iLatitude);

  // A timing event reported by the observer is the strongest result.
  rec.iResult = 1;
  EXPECT_EQ(Feed(*parser, Records(KNoon + 2000, 1), rec), CDataParser::ETimingEvent);
}

TEST(PBoxParser, RecordTimesKeepMovingForwards) {
  ParserPtr parser(CPBoxParser::NewL());
  TRecorder rec;
  // 12:00:00.00, then 50 ms back, then on in 100 ms steps from there.
  std::string data = Records(KNoon, 1) + Records(KNoon - 5, 3);
  // A jump back of 20 minutes starts again without an offset.
  data += Records(KNoon - 20 * 60 * 100, 2);
  Feed(*parser, KHeader + data, rec);
  ASSERT_EQ(rec.iFixes.size(), 6u);
  const int32_t noon = 12 * 3600000;
  EXPECT_EQ(rec.iFixes[0].iTime, noon);
  EXPECT_EQ(rec.iFixes[1].iTime, noon + 100);   // placed 100 ms after the previous one
  EXPECT_EQ(rec.iFixes[2].iTime, noon + 200);   // the offset stays
  EXPECT_EQ(rec.iFixes[3].iTime, noon + 300);
  EXPECT_EQ(rec.iFixes[4].iTime, noon - 1200000);
  EXPECT_EQ(rec.iFixes[5].iTime, noon - 1200000 + 100);

  // A small step back within a running offset lands 100 ms after the previous record again.
  parser->Reset();
  rec.iFixes.clear();
  Feed(*parser, KHeader + Records(KNoon, 1) + Records(KNoon - 5, 1) + Records(KNoon - 8, 1), rec);
  ASSERT_EQ(rec.iFixes.size(), 3u);
  EXPECT_EQ(rec.iFixes[2].iTime, noon + 200);

  // The time line continues across records without a position.
  parser->Reset();
  rec.iFixes.clear();
  TRecord noFix;
  noFix.iHundredths = KNoon + 10;
  noFix.iLatitude = 0;
  Feed(*parser, KHeader + Records(KNoon, 1) + Record(noFix) + Records(KNoon + 5, 1), rec);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  EXPECT_EQ(rec.iFixes[1].iTime, noon + 200);
}

TEST(PBoxParser, HeaderDecidesTheLayout) {
  // Fields in another order and with unknown ones between them.
  const std::string header =
      "[HEADER]\r\nTIME(3)\r\nFOO(5)\r\nHEADING(2)\r\nLONGITUDE(4)\r\nSATS(1)\r\nLATITUDE(4)\r\n"
      "HEIGHT(4)\r\nVELOCITY(2)\r\n[DATA]\r\n";
  std::string record = "$";
  PutBe(record, KNoon, 3);
  record += "abcde";
  PutBe(record, 18000, 2);
  PutBe(record, 100, 4);
  PutBe(record, 4, 1);
  PutBe(record, 200, 4);
  PutBe(record, 0, 4);
  PutBe(record, 0, 2);
  record += "\r\n";
  ParserPtr parser(CPBoxParser::NewL());
  TRecorder rec;
  const PwDateTime before = PwDateTime::NowUtc();
  Feed(*parser, header + record, rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iLatitude, 200);
  EXPECT_EQ(rec.iFixes[0].iLongitude, 100);
  EXPECT_EQ(rec.iFixes[0].iSatellites, 4);
  EXPECT_DOUBLE_EQ(rec.iFixes[0].iBearing, 180.0);
  EXPECT_EQ(rec.iFixes[0].iSpeed, 0.0);
  // No creation line: the date is the clock's.
  EXPECT_GE(rec.iFixes[0].iDate, before.iDate.Milliseconds());

  // A required field missing, or present with another size, yields no positions at all.
  for (const char* bad : {"SPEED(2)", "VELOCITY(3)", "VELOCITY2)", "VELOCITY(x)"}) {
    std::string h = KHeader;
    h.replace(h.find("VELOCITY(2)"), 11, bad);
    ParserPtr p(CPBoxParser::NewL());
    TRecorder r;
    EXPECT_EQ(Feed(*p, h + Records(KNoon, 3), r), CDataParser::ENothing) << bad;
    EXPECT_TRUE(r.iFixes.empty()) << bad;
  }
}

TEST(PBoxParser, BadRecordsAreDroppedAndTheReaderFallsBackIntoStep) {
  ParserPtr parser(CPBoxParser::NewL());
  TRecorder rec;
  std::string data = Records(KNoon, 2);
  data += "\x07";                    // one stray byte
  data += Records(KNoon + 20, 2);
  std::string broken = Records(KNoon + 40, 1);
  broken[broken.size() - 2] = 'X';   // CR missing
  data += broken;
  data += Records(KNoon + 50, 1);
  data.append("$$$$garbage$\r\n", 14);  // noise with record starts in it
  data += Records(KNoon + 60, 1);
  Feed(*parser, KHeader + data, rec);
  ASSERT_EQ(rec.iFixes.size(), 6u);
  const int32_t noon = 12 * 3600000;
  const int32_t expected[] = {0, 100, 200, 300, 500, 600};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(rec.iFixes[i].iTime, noon + expected[i]) << i;

  // A record cut off at the end of the file is never reported.
  parser->Reset();
  rec.iFixes.clear();
  const std::string cut = KHeader + Records(KNoon, 2);
  Feed(*parser, cut.substr(0, cut.size() - 5), rec);
  EXPECT_EQ(rec.iFixes.size(), 1u);
}

TEST(PBoxParser, HostileInputIsDroppedInBoundedMemory) {
  std::string noise;
  uint32_t x = 99;
  for (int i = 0; i < 400000; ++i) {
    x = x * 1103515245u + 12345u;
    noise.push_back(static_cast<char>(x >> 24));
  }
  // Noise alone, noise as records, a VBox file: nothing comes out, nothing breaks.
  for (const std::string& input :
       {noise, KHeader + noise, std::string("File created on 01/01/2010\r\n[header]\r\ntime\r\n[data]\r\n")}) {
    ParserPtr parser(CPBoxParser::NewL());
    TRecorder rec;
    Feed(*parser, input, rec);
    EXPECT_TRUE(rec.iFixes.empty());
  }

  // A record size beyond the buffer can never complete; sizes that overflow stay bounded.
  for (const char* size : {"SLIP(5000)", "SLIP(99999999999999999999)"}) {
    std::string h = KHeader;
    h.replace(h.find("SLIP(2)"), 7, size);
    ParserPtr parser(CPBoxParser::NewL());
    TRecorder rec;
    Feed(*parser, h + Records(KNoon, 500), rec);
    EXPECT_TRUE(rec.iFixes.empty()) << size;
  }

  // An enormous header line is dropped whole, including a "[DATA]" at its end.
  ParserPtr parser(CPBoxParser::NewL());
  TRecorder rec;
  std::string header = KHeader.substr(0, KHeader.size() - 8);
  header += std::string(2 * CPBoxParser::KBufferSize, 'y') + "[DATA]\r\n";
  Feed(*parser, header + Records(KNoon, 2), rec);
  EXPECT_TRUE(rec.iFixes.empty());
  Feed(*parser, "[DATA]\r\n" + Records(KNoon, 2), rec);
  EXPECT_EQ(rec.iFixes.size(), 2u);
}

}  // namespace

TEST(PBoxParser, RecordsWithImpossibleValuesAreDroppedAndCounted) {
  std::string bytes = KHeader;
  const auto add = [&bytes](uint32_t aHundredths, int32_t aLat, int32_t aLon, uint16_t aVelocity) {
    TRecord r;
    r.iHundredths = aHundredths;
    r.iLatitude = aLat;
    r.iLongitude = aLon;
    r.iVelocity = aVelocity;
    bytes += Record(r);
  };
  add(KNoon, 540000001, -3966772, 3600);         // past the north pole
  add(KNoon + 10, 308945027, -1080000001, 3600); // past the date line
  add(KNoon + 20, 308945027, -3966772, 54001);   // 150.003 m/s
  add(KNoon + 30, 308945027, -3966772, 54000);   // 150 m/s
  add(KNoon + 40, -540000000, 1080000000, 0);    // the south pole on the date line, standing
  ParserPtr parser(CPBoxParser::NewL());
  TRecorder rec;
  Feed(*parser, bytes, rec);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  EXPECT_EQ(rec.iFixes[0].iTime, 12 * 3600000 + 300);
  EXPECT_NEAR(rec.iFixes[0].iSpeed, 150.0, 1e-9);
  EXPECT_EQ(rec.iFixes[1].iLatitude, -540000000);
  EXPECT_EQ(parser->DroppedCount(), 3);
}
