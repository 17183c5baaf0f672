#include "exchange/dl1_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/channel_state.h"

namespace {

struct TFix {
  int32_t iLatitude, iLongitude, iTime;
  double iAltitude, iSpeed, iBearing;
  int32_t iSatellites, iDiscontinuity, iDate, iDateTime;
};

struct TChannels {
  int32_t iTime;
  std::vector<std::pair<int32_t, double>> iValues;
};

class TRecorder : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate aLat, TCoordinate aLon, PwTime aTime, TDistance aAlt, TSpeed aSpeed,
                         double aBearing, double aHdop, double aVdop, int32_t aSats, int32_t aDiff,
                         int32_t aDisc, PwTime aDate, PwTime aDateTime) override {
    EXPECT_TRUE(std::isnan(aHdop) && std::isnan(aVdop));
    EXPECT_EQ(aDiff, 0);
    iFixes.push_back({aLat.iValue, aLon.iValue, aTime.Milliseconds(), aAlt.Metres(), aSpeed.MetresPerSecond(),
                      aBearing, aSats, aDisc, aDate.Milliseconds(), aDateTime.Milliseconds()});
    return iResult;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override { ADD_FAILURE(); }
  void ObdSentenceDone() override { ADD_FAILURE(); }
  void ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) override {
    TChannels c{aTime.Milliseconds(), {}};
    for (int32_t i = 0; i < aValues.Count(); ++i) c.iValues.emplace_back(aValues.At(i).iChannel, aValues.At(i).iValue);
    iChannels.push_back(c);
  }
  void LineReceived(CPwByteArrayC, int32_t) override { ADD_FAILURE(); }

  std::vector<TFix> iFixes;
  std::vector<TChannels> iChannels;
  int32_t iResult = 0;
};

struct ParserDeleter {
  void operator()(CDL1Parser* p) const { delete p; }
};
using ParserPtr = std::unique_ptr<CDL1Parser, ParserDeleter>;

ParserPtr NewParser() { return ParserPtr(CDL1Parser::NewL()); }

int32_t Feed(CDL1Parser& aParser, const std::string& aBytes, TRecorder* aRecorder,
             CSlowBearing* aSlow = nullptr, CChannelState* aState = nullptr, TGpsClock* aClock = nullptr) {
  return aParser.Parse(CPwByteArrayC(aBytes), aRecorder, aSlow, nullptr, aState, aClock);
}

// --- Message builders ----------------------------------------------------------------------

void Be(std::string& aOut, int64_t aValue, int aBytes) {
  for (int i = aBytes - 1; i >= 0; --i) aOut.push_back(static_cast<char>((aValue >> (8 * i)) & 0xFF));
}

// Id, payload and the 8-bit sum of both.
std::string Msg(uint8_t aId, const std::string& aPayload) {
  std::string s(1, static_cast<char>(aId));
  s += aPayload;
  uint8_t sum = 0;
  for (char c : s) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  s.push_back(static_cast<char>(sum));
  if (CDL1Parser::MessageLength(aId) != CDL1Parser::KVariableLength) {
    EXPECT_EQ(static_cast<int32_t>(s.size()), CDL1Parser::MessageLength(aId)) << int(aId);
  }
  return s;
}
std::string Fields(std::initializer_list<std::pair<int64_t, int>> aFields) {
  std::string s;
  for (const auto& [value, bytes] : aFields) Be(s, value, bytes);
  return s;
}

std::string Time(int32_t aMs) { return Msg(9, Fields({{aMs / 10, 3}})); }
std::string Position(double aLatDeg, double aLonDeg) {
  return Msg(10, Fields({{std::llround(aLonDeg * 1e7), 4}, {std::llround(aLatDeg * 1e7), 4}, {0, 4}}));
}
std::string Speed(double aMps, double aAccuracy = 0.5) {
  return Msg(11, Fields({{std::llround(aMps * 100), 4}, {std::llround(aAccuracy * 100), 4}}));
}
std::string Heading(double aDeg) { return Msg(56, Fields({{std::llround(aDeg * 1e5), 4}, {0, 4}})); }
std::string Altitude(double aM) { return Msg(57, Fields({{std::llround(aM * 1000), 4}, {0, 4}})); }
std::string Date(int aDay, int aMonth, int aYear) {
  return Msg(55, Fields({{0, 2}, {aDay, 1}, {aMonth, 1}, {aYear, 2}, {0, 2}}));
}
std::string Accelerations(uint8_t aLat0, uint8_t aLat1, uint8_t aLong0, uint8_t aLong1) {
  return Msg(8, Fields({{aLat0, 1}, {aLat1, 1}, {aLong0, 1}, {aLong1, 1}}));
}
std::string Frequency(uint32_t aCount) { return Msg(18, Fields({{aCount, 3}})); }

// One complete fix: time, position, speed, heading, altitude (complete after the last).
std::string Fix(int32_t aMs, double aLat, double aLon, double aSpeed = 20.0) {
  return Time(aMs) + Position(aLat, aLon) + Speed(aSpeed) + Heading(123.45) + Altitude(42.5);
}

constexpr int32_t KNoon = 12 * 3600000;

TEST(DL1Parser, MessageLengthTable) {
  const std::pair<int, int> known[] = {{1, 9},   {2, 11},  {3, 255}, {5, 21},  {8, 6},   {9, 5},
                                       {10, 14}, {11, 10}, {18, 5},  {19, 255}, {20, 4}, {51, 4},
                                       {52, 67}, {55, 10}, {64, 5},  {65, 30},  {70, 42}, {76, 24},
                                       {95, 5},  {101, 19}, {102, 255}, {103, 18}, {104, 6},
                                       {208, 6}, {231, 6}, {240, 6}, {247, 6}};
  for (const auto& [id, length] : known) EXPECT_EQ(CDL1Parser::MessageLength(static_cast<uint8_t>(id)), length) << id;
  for (int id : {0, 96, 100, 105, 207, 232, 239, 248, 255})
    EXPECT_EQ(CDL1Parser::MessageLength(static_cast<uint8_t>(id)), 0) << id;
}

TEST(DL1Parser, CompletePositionIsOfferedAfterEveryFurtherMessage) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  EXPECT_EQ(Feed(*parser, Date(24, 12, 2007) + Time(KNoon + 120) + Position(51.5, -0.25) + Speed(25.0) +
                              Heading(123.45),
                 &rec),
            CDataParser::ENothing);
  EXPECT_TRUE(rec.iFixes.empty());
  // The altitude completes the position.
  EXPECT_EQ(Feed(*parser, Altitude(-12.5), &rec), CDataParser::EParsed);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  const TFix& f = rec.iFixes[0];
  EXPECT_EQ(f.iLatitude, 309000000);  // 51.5 degrees
  EXPECT_EQ(f.iLongitude, -1500000);
  EXPECT_EQ(f.iTime, KNoon + 120);
  EXPECT_NEAR(f.iSpeed, 25.0, 1e-9);
  EXPECT_NEAR(f.iBearing, 123.45, 1e-9);
  EXPECT_NEAR(f.iAltitude, -12.5, 1e-9);
  EXPECT_EQ(f.iSatellites, 10);
  EXPECT_EQ(f.iDiscontinuity, 1);
  EXPECT_EQ(f.iDate, 2007 * 372 + 12 * 31 + 24 - 32);
  EXPECT_EQ(f.iDateTime, KNoon + 120);

  // Nothing is cleared after the report: a new time offers the same position again, and only
  // a position message starts the next one.
  rec.iResult = 1;
  EXPECT_EQ(Feed(*parser, Time(KNoon + 220), &rec), CDataParser::ETimingEvent);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  EXPECT_EQ(rec.iFixes[1].iTime, KNoon + 120);
  EXPECT_EQ(rec.iFixes[1].iDiscontinuity, 0);
  Feed(*parser, Position(51.6, -0.3) + Speed(26.0) + Heading(1.0), &rec);
  EXPECT_EQ(rec.iFixes.size(), 2u);
  Feed(*parser, Altitude(0.0), &rec);
  ASSERT_EQ(rec.iFixes.size(), 3u);
  EXPECT_EQ(rec.iFixes[2].iTime, KNoon + 220);
  EXPECT_EQ(rec.iFixes[2].iLatitude, 309600000);

  // Reset: the position, its time and the date are forgotten; the discontinuity returns.
  parser->Reset();
  rec.iFixes.clear();
  Feed(*parser, Altitude(5.0), &rec);
  EXPECT_TRUE(rec.iFixes.empty());
  Feed(*parser, Fix(KNoon, 10.0, 20.0), &rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iDiscontinuity, 1);
  // Without a date message the date and time pair is unset.
  EXPECT_EQ(rec.iFixes[0].iDate, PwTime::KUnset);
  EXPECT_EQ(rec.iFixes[0].iDateTime, PwTime::KUnset);
  EXPECT_EQ(rec.iFixes[0].iTime, KNoon);
}

TEST(DL1Parser, SpeedRules) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  // An accuracy of 2.5 leaves the speed invalid: no position until a valid speed arrives.
  Feed(*parser, Time(KNoon) + Position(1, 2) + Heading(3) + Altitude(4) + Speed(30.0, 2.5), &rec);
  EXPECT_TRUE(rec.iFixes.empty());
  Feed(*parser, Speed(30.0, 1.99), &rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_NEAR(rec.iFixes[0].iSpeed, 30.0, 1e-9);

  // A speed of 0 clears the speed too.
  Feed(*parser, Speed(0.0), &rec);
  Feed(*parser, Time(KNoon + 100), &rec);
  EXPECT_EQ(rec.iFixes.size(), 1u);

  // The coarse speed message: 24 bits in units of 0.001379060159 m/s.
  Feed(*parser, Msg(64, Fields({{10000, 3}})), &rec);
  ASSERT_EQ(rec.iFixes.size(), 2u);
  EXPECT_NEAR(rec.iFixes[1].iSpeed, 13.79060159, 1e-9);
}

TEST(DL1Parser, FramingChecksumsAndResynchronisation) {
  // A wrong checksum costs one byte: the byte after the id is tried as an id. Here it starts
  // a complete time message.
  const std::string time = Time(KNoon + 500);
  std::string stream = "\x09" + time;
  ASSERT_NE(static_cast<uint8_t>(0x09 + 0x09 + time[1] + time[2]), static_cast<uint8_t>(time[3]));
  stream += Position(1, 2) + Speed(3) + Heading(4) + Altitude(5);
  ParserPtr parser = NewParser();
  TRecorder rec;
  Feed(*parser, stream, &rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iTime, KNoon + 500);

  // Garbage and unknown ids between messages are skipped.
  parser->Reset();
  rec.iFixes.clear();
  std::string noisy = std::string("\x00\x60\xFF\xE8", 4) + Time(KNoon) + "\x0A\x01\x02" + Position(1, 2) +
                      std::string(7, '\x00') + Speed(3) + "\x37" + Heading(4) + Altitude(5);
  Feed(*parser, noisy, &rec);
  ASSERT_EQ(rec.iFixes.size(), 1u);
  EXPECT_EQ(rec.iFixes[0].iLatitude, 6000000);

  // Message 103 is checked with byte 1 = 0x13, byte 2 = 0x01 and a 16-bit big-endian sum, and
  // consumed whole; a time message hidden inside it is not decoded.
  const std::string hidden = Time(KNoon + 900);
  std::string m103 = "\x67\x13\x01" + hidden + std::string(8, '\x7F');
  ASSERT_EQ(m103.size(), 16u);
  uint32_t sum = 0;
  for (char c : m103) sum += static_cast<uint8_t>(c);
  std::string good103 = m103;
  Be(good103, sum & 0xFFFF, 2);
  std::string bad103 = m103;
  Be(bad103, (sum + 1) & 0xFFFF, 2);
  // An 8-bit sum in the last byte is not enough for message 103.
  std::string eightBit103 = m103 + std::string(1, '\0');
  eightBit103.push_back(static_cast<char>(sum & 0xFF));
  for (const auto& [bytes, decoded] :
       {std::pair{good103, false}, std::pair{bad103, true}, std::pair{eightBit103, true}}) {
    parser->Reset();
    rec.iFixes.clear();
    Feed(*parser, Time(KNoon) + bytes + Position(1, 2) + Speed(3) + Heading(4) + Altitude(5), &rec);
    ASSERT_EQ(rec.iFixes.size(), 1u);
    EXPECT_EQ(rec.iFixes[0].iTime, decoded ? KNoon + 900 : KNoon);
  }

  // Variable-length messages take their length from the second byte.
  for (uint8_t id : {3, 19, 102}) {
    std::string var = std::string(1, static_cast<char>(id)) + static_cast<char>(3 + hidden.size()) + hidden;
    uint8_t s = 0;
    for (char c : var) s = static_cast<uint8_t>(s + static_cast<uint8_t>(c));
    var.push_back(static_cast<char>(s));
    parser->Reset();
    rec.iFixes.clear();
    Feed(*parser, Time(KNoon) + var + Position(1, 2) + Speed(3) + Heading(4) + Altitude(5), &rec);
    ASSERT_EQ(rec.iFixes.size(), 1u) << int(id);
    EXPECT_EQ(rec.iFixes[0].iTime, KNoon) << int(id);
  }
  // The longest message (255 bytes) fits the buffer whatever the chunk size.
  std::string longest = "\x03\xFF" + hidden + std::string(247, '\x01');
  uint8_t s = 0;
  for (char c : longest) s = static_cast<uint8_t>(s + static_cast<uint8_t>(c));
  longest.push_back(static_cast<char>(s));
  ASSERT_EQ(longest.size(), 255u);
  for (size_t chunk : {1u, 100u, 254u, 4096u}) {
    parser->Reset();
    rec.iFixes.clear();
    const std::string all = Time(KNoon) + std::string(200, '\x00') + longest + longest + Position(1, 2) +
                            Speed(3) + Heading(4) + Altitude(5);
    for (size_t pos = 0; pos < all.size(); pos += chunk) Feed(*parser, all.substr(pos, chunk), &rec);
    ASSERT_EQ(rec.iFixes.size(), 1u) << chunk;
    EXPECT_EQ(rec.iFixes[0].iTime, KNoon) << chunk;
  }

  // A length byte below 3 cannot frame a message.
  parser->Reset();
  rec.iFixes.clear();
  Feed(*parser, std::string("\x03\x00\x03\x01\x04", 5) + Fix(KNoon, 1, 2), &rec);
  EXPECT_EQ(rec.iFixes.size(), 1u);
}

TEST(DL1Parser, ChunkBoundariesDoNotMatter) {
  std::string stream = Date(1, 2, 2010);
  for (int i = 0; i < 40; ++i) stream += Fix(KNoon + 100 * i, 45.0 + i * 1e-5, 7.0) + Accelerations(0x80, 0, 0, 0);
  ParserPtr whole = NewParser();
  TRecorder a;
  Feed(*whole, stream, &a);
  for (size_t chunk : {1u, 2u, 7u, 255u, 509u, 511u}) {
    ParserPtr parser = NewParser();
    TRecorder b;
    for (size_t pos = 0; pos < stream.size(); pos += chunk) Feed(*parser, stream.substr(pos, chunk), &b);
    ASSERT_EQ(b.iFixes.size(), a.iFixes.size()) << chunk;
    ASSERT_EQ(b.iChannels.size(), a.iChannels.size()) << chunk;
    for (size_t i = 0; i < a.iFixes.size(); ++i) {
      EXPECT_EQ(b.iFixes[i].iTime, a.iFixes[i].iTime);
      EXPECT_EQ(b.iFixes[i].iLatitude, a.iFixes[i].iLatitude);
    }
  }
  // Each fix is offered after its altitude, after the accelerations and after the next time.
  EXPECT_EQ(a.iFixes.size(), 40u * 3 - 1);
}

TEST(DL1Parser, LoggerChannelsFollowTheirTime) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  // Before any time, and without accelerations or frequency: no channel report.
  Feed(*parser, Time(KNoon) + Speed(1), &rec);
  EXPECT_TRUE(rec.iChannels.empty());

  // +1.5 g lateral (bit 7 set), -0.25 g longitudinal.
  Feed(*parser, Accelerations(0x81, 0x80, 0x00, 0x40), &rec);
  ASSERT_EQ(rec.iChannels.size(), 1u);
  EXPECT_EQ(rec.iChannels[0].iTime, KNoon);
  ASSERT_EQ(rec.iChannels[0].iValues.size(), 3u);
  EXPECT_EQ(rec.iChannels[0].iValues[0], (std::pair<int32_t, double>(20009, 1.5)));
  EXPECT_EQ(rec.iChannels[0].iValues[1], (std::pair<int32_t, double>(20008, -0.25)));
  EXPECT_EQ(rec.iChannels[0].iValues[2], (std::pair<int32_t, double>(20002, 0.0)));

  // A frequency count of 60000 at 6 MHz is 100; the report repeats after every message.
  Feed(*parser, Frequency(60000) + Heading(1), &rec);
  ASSERT_EQ(rec.iChannels.size(), 3u);
  EXPECT_DOUBLE_EQ(rec.iChannels[1].iValues[2].second, 100.0);
  EXPECT_DOUBLE_EQ(rec.iChannels[2].iValues[2].second, 100.0);
  EXPECT_DOUBLE_EQ(rec.iChannels[2].iValues[0].second, 1.5);

  // A new time stops the reports until the next logger value; a zero count gives 0.
  Feed(*parser, Time(KNoon + 100) + Heading(2), &rec);
  EXPECT_EQ(rec.iChannels.size(), 3u);
  Feed(*parser, Frequency(0), &rec);
  ASSERT_EQ(rec.iChannels.size(), 4u);
  EXPECT_EQ(rec.iChannels[3].iTime, KNoon + 100);
  EXPECT_EQ(rec.iChannels[3].iValues[2].second, 0.0);
}

uint32_t FixedTick() { return 5000; }

TEST(DL1Parser, FeedsChannelStateGpsClockAndSlowBearingWhenGiven) {
  ParserPtr parser = NewParser();
  std::unique_ptr<CChannelState> state(CChannelState::NewL());
  std::unique_ptr<CSlowBearing> slow(CSlowBearing::NewL());
  TGpsClock clock(&FixedTick);
  TRecorder rec;

  Feed(*parser, Time(KNoon + 40), &rec, slow.get(), state.get(), &clock);
  EXPECT_EQ(clock.CurrentTime(), PwTime(KNoon + 40));

  Feed(*parser, Position(1, 2) + Speed(12.5) + Heading(270.0) + Altitude(99.0) + Heading(270.0), &rec,
       slow.get(), state.get(), &clock);
  EXPECT_EQ(rec.iFixes.size(), 2u);
  EXPECT_DOUBLE_EQ(state->Value(KChannelGpsSpeed), 12.5);
  EXPECT_DOUBLE_EQ(state->Value(KChannelAltitude), 99.0);
  EXPECT_NEAR(state->Value(KChannelBearing), 270.0, 1e-9);
  // Above 5 m/s the estimator takes the GPS course.
  EXPECT_EQ(slow->State(), CSlowBearing::EFromGps);
  TAngle bearing;
  ASSERT_EQ(slow->Bearing(bearing), 1);
  EXPECT_NEAR(bearing.Degrees(), 270.0, 1e-9);

  // A new position clears what belonged to the previous one.
  Feed(*parser, Position(1, 2), &rec, slow.get(), state.get(), &clock);
  EXPECT_TRUE(std::isnan(state->Value(KChannelGpsSpeed)));
  EXPECT_TRUE(std::isnan(state->Value(KChannelAltitude)));
  EXPECT_TRUE(std::isnan(state->Value(KChannelBearing)));

  // Without an observer the position is still offered.
  EXPECT_EQ(Feed(*parser, Speed(1) + Heading(2) + Altitude(3), nullptr, slow.get(), state.get(), &clock),
            CDataParser::EParsed);
}

TEST(DL1Parser, HostileInputIsDroppedInBoundedMemory) {
  std::string noise;
  uint32_t x = 7;
  for (int i = 0; i < 1000000; ++i) {
    x = x * 1103515245u + 12345u;
    noise.push_back(static_cast<char>(x >> 24));
  }
  ParserPtr parser = NewParser();
  TRecorder rec;
  Feed(*parser, noise, &rec);
  // Whatever noise happened to decode, good messages after it are read again at once: the
  // first complete message after the noise re-synchronises the stream within one message.
  rec.iFixes.clear();
  Feed(*parser, std::string(300, '\x00') + Fix(KNoon, 3, 4), &rec);
  ASSERT_FALSE(rec.iFixes.empty());
  EXPECT_EQ(rec.iFixes.back().iTime, KNoon);
  EXPECT_EQ(rec.iFixes.back().iLatitude, 18000000);

  // A message cut off at the end of the file is never decoded.
  parser->Reset();
  rec.iFixes.clear();
  const std::string fix = Fix(KNoon, 3, 4);
  Feed(*parser, fix.substr(0, fix.size() - 1), &rec);
  EXPECT_TRUE(rec.iFixes.empty());

  // A text file is no run file.
  parser->Reset();
  Feed(*parser, "File created on 01/01/2010\r\n[header]\r\ntime\r\nlatitude\r\n[data]\r\n", &rec);
  EXPECT_TRUE(rec.iFixes.empty());
}

}  // namespace

TEST(DL1Parser, PositionsWithImpossibleValuesAreDroppedAndCounted) {
  ParserPtr parser = NewParser();
  TRecorder rec;
  // 21 474 836 m/s, past the north pole, past the date line, a coarse speed of 23 000 m/s.
  Feed(*parser,
       Fix(KNoon, 51.5, -0.25, 21474836.0) + Fix(KNoon + 100, 90.0001, -0.25) + Fix(KNoon + 200, 51.5, 180.0001) +
           Time(KNoon + 300) + Position(51.5, -0.25) + Msg(64, Fields({{0xFFFFFF, 3}})) + Heading(1.0) + Altitude(1.0) +
           Fix(KNoon + 400, -90.0, -180.0, 150.0),
       &rec);
  ASSERT_FALSE(rec.iFixes.empty());
  for (const TFix& f : rec.iFixes) EXPECT_EQ(f.iTime, KNoon + 400);
  EXPECT_NEAR(rec.iFixes[0].iSpeed, 150.0, 1e-9);
  EXPECT_EQ(parser->DroppedCount(), 4);
}
