#include "acquisition/nmea_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "acquisition/channel_state.h"
#include "acquisition/nmea_recorder.h"
#include "acquisition/obd_channels.h"

using pwtest::Nmea;
using pwtest::TNmeaRecorder;

namespace {

constexpr int32_t KLat = 288703800;  // 48 deg 07.038 min N
constexpr int32_t KLon = 69100000;   // 11 deg 31.000 min E
constexpr int32_t KTime = 45319000;  // 12:35:19
constexpr int32_t KDate = 2024 * 372 + 3 * 31 + 23 - 32;

std::string Rmc(const std::string& aTime = "123519.000", const std::string& aSpeed = "022.4",
                const std::string& aCourse = "084.4", const std::string& aLat = "4807.038,N",
                const std::string& aLon = "01131.000,E") {
  return Nmea("GPRMC," + aTime + ",A," + aLat + "," + aLon + "," + aSpeed + "," + aCourse + ",230324,003.1,W");
}

std::string Gga(const std::string& aTime = "123519.000", const std::string& aQuality = "1",
                const std::string& aLat = "4807.038,N") {
  return Nmea("GPGGA," + aTime + "," + aLat + ",01131.000,E," + aQuality + ",08,0.9,545.4,M,46.9,M,,");
}

class NmeaParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iParser.reset(CNmeaParser::NewL(0));
    iState.reset(CChannelState::NewL());
    iObd.reset(CObdChannelList::NewL());
  }
  int32_t Feed(const std::string& aBytes) {
    return iParser->Parse(CPwByteArrayC(aBytes), &iRecorder, nullptr, iObd.get(), iState.get(), nullptr);
  }

  std::unique_ptr<CNmeaParser> iParser;
  std::unique_ptr<CChannelState> iState;
  std::unique_ptr<CObdChannelList> iObd;
  TNmeaRecorder iRecorder;
};

TEST_F(NmeaParserTest, ChecksumIsOptionalButMustMatchWhenPresent) {
  // Without "*hh" the sentence is accepted as it stands.
  Feed(Rmc("123519.000").substr(0, Rmc().size() - 5) + "\r\n");
  // A wrong checksum, a non-hex one and a '*' with too short a body are dropped.
  std::string bad = Rmc("123520.000");
  bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
  Feed(bad);
  std::string nonhex = Rmc("123521.000");
  nonhex[nonhex.size() - 3] = 'G';
  Feed(nonhex);
  Feed("$*00\r\n$G*47\r\n");
  // Lower-case hex digits are as good as upper-case ones.
  std::string lower = Rmc("123522.000");
  for (size_t i = lower.size() - 4; i < lower.size() - 2; ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
  Feed(lower);
  Feed(Rmc("123523.000"));

  // RMC alone flushes each epoch when the next RMC arrives: 19 and 22 are delivered.
  ASSERT_EQ(iRecorder.iEpochs.size(), 2u);
  EXPECT_EQ(iRecorder.iEpochs[0].iTime, KTime);
  EXPECT_EQ(iRecorder.iEpochs[1].iTime, KTime + 3000);
  EXPECT_TRUE(iParser->SentenceSeen(CNmeaParser::ESentenceRmc));
  EXPECT_FALSE(iParser->SentenceSeen(CNmeaParser::ESentenceGga));
}

TEST_F(NmeaParserTest, LinesAreJoinedAcrossCallsAndEndAtCrLfOrLoneLf) {
  const std::string a = Rmc("123519.000");
  const std::string b = Rmc("123520.000", "022.4", "084.4", "4807.038,N", "01131.000,E");
  std::string lf = b.substr(0, b.size() - 2) + "\n";  // a lone LF ends a line too
  const std::string stream = a + lf + Rmc("123521.000");
  for (size_t i = 0; i < stream.size(); ++i) Feed(stream.substr(i, 1));
  ASSERT_EQ(iRecorder.iEpochs.size(), 2u);
  EXPECT_EQ(iRecorder.iEpochs[1].iTime, KTime + 1000);
  // Every line reaches the raw log with CR LF, exactly once, with flag 0.
  ASSERT_EQ(iRecorder.iLines.size(), 3u);
  EXPECT_EQ(iRecorder.iLines[0], a);
  EXPECT_EQ(iRecorder.iLines[1], b);
  EXPECT_EQ(iRecorder.iLineFlags, 0);
  EXPECT_EQ(iParser->LineCount(), 3);
  // A lone CR is no line end: the bytes stay pending.
  Feed("$GPXXX,1\r");
  EXPECT_EQ(iRecorder.iLines.size(), 3u);
  Feed("\n\n");
  ASSERT_EQ(iRecorder.iLines.size(), 5u);
  EXPECT_EQ(iRecorder.iLines[3], "$GPXXX,1\r\n");
  EXPECT_EQ(iRecorder.iLines[4], "\r\n");  // an empty line is still a line
}

TEST_F(NmeaParserTest, LineBufferOverflowDiscardsOnlyTheOverlongLine) {
  // 2047 bytes and LF still fit the buffer: the line is delivered.
  std::string fits(2047, 'x');
  Feed(fits + "\n");
  ASSERT_EQ(iRecorder.iLines.size(), 1u);
  EXPECT_EQ(iRecorder.iLines[0].size(), 2049u);
  // 2048 bytes without a line end are dropped; the LF that follows ends an empty line and
  // the next sentence is intact.
  std::string junk(5000, 'y');
  Feed(junk.substr(0, 1000));
  Feed(junk.substr(1000) + "\n" + Rmc("123519.000") + Rmc("123520.000"));
  ASSERT_EQ(iRecorder.iLines.size(), 4u);
  EXPECT_EQ(iRecorder.iLines[1], std::string(5000 - 2 * 2048, 'y') + "\r\n");
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_EQ(iRecorder.iEpochs[0].iTime, KTime);
  // A line of exactly 2048 bytes before its CR LF is lost; the CR LF then ends an empty line.
  iRecorder.iLines.clear();
  Feed(std::string(2048, 'z') + "\r\n");
  ASSERT_EQ(iRecorder.iLines.size(), 1u);
  EXPECT_EQ(iRecorder.iLines[0], "\r\n");
}

TEST_F(NmeaParserTest, OnlyExactIdentifiersAreRecognised) {
  for (const char* talker : {"GNRMC", "gprmc", "GPRMCX", "GPRM"}) {
    std::string body = Rmc();
    body = Nmea(std::string(talker) + body.substr(6, body.size() - 6 - 5));
    Feed(body);
  }
  Feed(Nmea("GNGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
  EXPECT_FALSE(iParser->SentenceSeen(CNmeaParser::ESentenceRmc));
  EXPECT_FALSE(iParser->SentenceSeen(CNmeaParser::ESentenceGga));
  EXPECT_EQ(iParser->LineCount(), 5);
  Feed(Rmc("123520.000") + Rmc("123521.000"));
  EXPECT_EQ(iRecorder.iEpochs.size(), 1u);
}

TEST_F(NmeaParserTest, GgaAndRmcOfOneTimeMakeOneEpoch) {
  EXPECT_EQ(Feed(Gga()), CDataParser::ENothing);
  EXPECT_EQ(Feed(Rmc()), CDataParser::EParsed);
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  const pwtest::TRecordedEpoch& e = iRecorder.iEpochs[0];
  EXPECT_EQ(e.iLatitude, KLat);
  EXPECT_EQ(e.iLongitude, KLon);
  EXPECT_EQ(e.iTime, KTime);
  EXPECT_NEAR(e.iAltitude, 545.4, 1e-9);
  EXPECT_NEAR(e.iSpeed, 22.4 * 1.852 / 3.6, 1e-9);
  EXPECT_DOUBLE_EQ(e.iBearing, 84.4);
  EXPECT_DOUBLE_EQ(e.iHdop, 0.9);
  EXPECT_TRUE(std::isnan(e.iVdop));
  EXPECT_EQ(e.iSatellites, 8);
  EXPECT_EQ(e.iDifferential, 0);
  EXPECT_EQ(e.iDiscontinuity, 1);  // first epoch after construction
  EXPECT_EQ(e.iDate, KDate);
  EXPECT_EQ(e.iDateTime, KTime);

  // The live state follows every epoch.
  EXPECT_EQ(iState->Time(KChannelGpsTime).Milliseconds(), KTime);
  EXPECT_EQ(iState->Value(KChannelSatellites), 8);
  EXPECT_EQ(iState->SatellitesUsed(), 8);
  EXPECT_EQ(iState->FixState(), CChannelState::EFix);
  EXPECT_NEAR(iState->Value(KChannelGpsSpeed), 22.4 * 1.852 / 3.6, 1e-9);
  EXPECT_NEAR(iState->Value(KChannelAltitude), 545.4, 1e-9);
  EXPECT_NEAR(iState->Value(KChannelBearing), 84.4, 1e-9);
  EXPECT_DOUBLE_EQ(iState->Value(KChannelCoordinatePrecision), 0.9);
}

TEST_F(NmeaParserTest, GgaOfAnotherTimeIsFlushedAloneByTheRmc) {
  Feed(Gga("123518.000"));
  EXPECT_EQ(Feed(Rmc("123519.000")), CDataParser::EParsed);  // the GGA epoch, invalid: no speed
  EXPECT_TRUE(iRecorder.iEpochs.empty());
  EXPECT_EQ(iState->Time(KChannelGpsTime).Milliseconds(), KTime - 1000);
  // The next RMC forces the lone RMC out; it keeps the quality and satellites of the GGA.
  Feed(Rmc("123520.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_EQ(iRecorder.iEpochs[0].iTime, KTime);
  EXPECT_EQ(iRecorder.iEpochs[0].iSatellites, 8);
}

TEST_F(NmeaParserTest, FixQualityDecidesValidity) {
  // GGA with quality 0 makes an invalid epoch: counted, not delivered, no fix in the state.
  Feed(Gga("123519.000", "0"));
  EXPECT_EQ(Feed(Rmc("123519.000")), CDataParser::EParsed);
  EXPECT_TRUE(iRecorder.iEpochs.empty());
  EXPECT_EQ(iState->FixState(), CChannelState::ENoFix);
  // Differential fix.
  Feed(Gga("123520.000", "2") + Rmc("123520.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_EQ(iRecorder.iEpochs[0].iDifferential, 1);
  EXPECT_EQ(iRecorder.iEpochs[0].iDiscontinuity, 1);  // the previous epoch had no fix
  EXPECT_EQ(iState->FixState(), CChannelState::EDifferentialFix);
}

TEST_F(NmeaParserTest, RmcOnlyEpochsAreValidExceptAtTheNoFixPole) {
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
  TNmeaRecorder recorder;
  auto feed = [&](const std::string& s) {
    parser->Parse(CPwByteArrayC(s), &recorder, nullptr, nullptr, nullptr, nullptr);
  };
  feed(Rmc("123519.000", "0.0", "0.0", "9000.000,N", "00000.000,E"));
  feed(Rmc("123520.000", "0.0", "0.0", "9000.000,S", "00000.000,W"));
  feed(Rmc("123521.000"));
  EXPECT_TRUE(recorder.iEpochs.empty());
  feed(Rmc("123522.000"));
  ASSERT_EQ(recorder.iEpochs.size(), 1u);
  EXPECT_EQ(recorder.iEpochs[0].iTime, KTime + 2000);
  EXPECT_EQ(recorder.iEpochs[0].iSatellites, 0);
  // A void RMC (status V, the receiver's own warning) is no fix either, even with a position.
  feed(Nmea("GPRMC,123523.000,V,4807.038,N,01131.000,E,022.4,084.4,230324,003.1,W") + Rmc("123524.000") +
       Rmc("123525.000"));
  ASSERT_EQ(recorder.iEpochs.size(), 3u);
  EXPECT_EQ(recorder.iEpochs[1].iTime, KTime + 3000);  // the one before the void RMC
  EXPECT_EQ(recorder.iEpochs[2].iTime, KTime + 5000);
  EXPECT_EQ(recorder.iEpochs[2].iDiscontinuity, 1);  // after an epoch without a fix
}

TEST_F(NmeaParserTest, ImplausibleSpeedIsDerivedOnlyAfterASlowOne) {
  // 0.01 minute of latitude per second is 18.52 m/s: too fast to be derived.
  Feed(Rmc("123519.000", "5.0") + Rmc("123520.000", "1500", "084.4", "4807.048,N") + Rmc("123521.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);  // the 1500-knot epoch has no speed
  // 0.004 minute per second (7.41 m/s) after a slow parsed speed is derived.
  Feed(Rmc("123522.000", "5.0", "084.4", "4807.000,N") + Rmc("123523.000", "-1", "084.4", "4807.004,N") +
       Rmc("123524.000", "1.0", "084.4", "4807.004,N"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 4u);
  EXPECT_NEAR(iRecorder.iEpochs[3].iSpeed, 0.004 / 60 * 3.14159265358979 / 180 * 6371000, 0.01);
  // Below 0.5 m/s the derived speed is 0.
  Feed(Rmc("123525.000", "", "084.4", "4807.004,N") + Rmc("123526.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 6u);
  // After a fast parsed speed nothing is derived.
  Feed(Rmc("123527.000", "", "084.4", "4807.004,N") + Rmc("123528.000", "25") + Rmc("123529.000", "") +
       Rmc("123530.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 8u);
  EXPECT_EQ(iRecorder.iEpochs[5].iSpeed, 0.0);
  EXPECT_EQ(iRecorder.iEpochs[5].iTime, KTime + 6000);
  EXPECT_EQ(iRecorder.iEpochs[7].iTime, KTime + 9000);
}

TEST_F(NmeaParserTest, BearingFallsBackToTheLastKnownCourse) {
  Feed(Rmc("123519.000", "1.0", "") + Rmc("123520.000", "1.0", "45.5"));
  EXPECT_TRUE(iRecorder.iEpochs.empty());  // no course yet: invalid
  Feed(Rmc("123521.000", "1.0", "") + Rmc("123522.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 2u);
  EXPECT_DOUBLE_EQ(iRecorder.iEpochs[0].iBearing, 45.5);
  EXPECT_DOUBLE_EQ(iRecorder.iEpochs[1].iBearing, 45.5);
}

TEST_F(NmeaParserTest, GapsAndResetStartNewSegments) {
  Feed(Rmc("123519.000") + Rmc("123522.000") + Rmc("123525.001") + Rmc("123526.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 3u);
  EXPECT_EQ(iRecorder.iEpochs[0].iDiscontinuity, 1);  // first epoch
  EXPECT_EQ(iRecorder.iEpochs[1].iDiscontinuity, 0);  // exactly 3 s
  EXPECT_EQ(iRecorder.iEpochs[2].iDiscontinuity, 1);  // more than 3 s
  iParser->Reset();
  Feed(Rmc("123527.000") + Rmc("123528.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 4u);
  EXPECT_EQ(iRecorder.iEpochs[3].iDiscontinuity, 1);
  EXPECT_EQ(iParser->LineCount(), 2);
}

TEST_F(NmeaParserTest, TimeFractionsByFieldLength) {
  const struct {
    const char* iField;
    int32_t iMs;
  } cases[] = {{"123456", 45296000},      {"123456.7", 45296700},   {"123456.78", 45296780},
               {"123456.789", 45296789},  {"123456.7891", 45296000}, {"235959.999", 86399999},
               {"000000", 0}};
  for (const auto& c : cases) {
    std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
    TNmeaRecorder recorder;
    const std::string s = Gga(c.iField) + Rmc(c.iField);
    parser->Parse(CPwByteArrayC(s), &recorder, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(recorder.iEpochs.size(), 1u) << c.iField;
    EXPECT_EQ(recorder.iEpochs[0].iTime, c.iMs) << c.iField;
  }
  // Out-of-range or short times are unknown: an RMC without a time never forms a valid epoch.
  for (const char* bad : {"240000", "126000", "123460", "12345", "ab3456", ""}) {
    std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
    TNmeaRecorder recorder;
    const std::string s = Rmc(bad) + Rmc(bad);
    parser->Parse(CPwByteArrayC(s), &recorder, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(recorder.iEpochs.empty()) << bad;
  }
}

TEST_F(NmeaParserTest, EpochsFromGgaAndVtg) {
  // GGA + VTG completes an epoch; a VTG left over after a flush does not join the next GGA.
  Feed(Gga("123519.000") + Nmea("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_DOUBLE_EQ(iRecorder.iEpochs[0].iBearing, 54.7);
  EXPECT_NEAR(iRecorder.iEpochs[0].iSpeed, 5.5 * 1.852 / 3.6, 1e-12);
  EXPECT_EQ(iRecorder.iEpochs[0].iDate, KInvalidInt);  // no RMC: no date
  EXPECT_EQ(iRecorder.iEpochs[0].iDateTime, KInvalidInt);
  Feed(Nmea("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K") + Gga("123520.000"));
  EXPECT_EQ(iRecorder.iEpochs.size(), 1u);
  // The usual MTK order: GGA, GSA, RMC, VTG.
  Feed(Rmc("123520.000") + Nmea("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 2u);
  EXPECT_EQ(iRecorder.iEpochs[1].iTime, KTime + 1000);
  EXPECT_EQ(iRecorder.iEpochs[1].iDate, KDate);
}

TEST_F(NmeaParserTest, ZdaSuppliesTheDate) {
  Feed(Gga("123519.000") + Nmea("GPZDA,123519.000,24,12,2031,,") + Nmea("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_EQ(iRecorder.iEpochs[0].iDate, 2031 * 372 + 12 * 31 + 24 - 32);
  EXPECT_EQ(iRecorder.iEpochs[0].iDateTime, KTime);
  EXPECT_TRUE(iParser->SentenceSeen(CNmeaParser::ESentenceZda));
}

TEST_F(NmeaParserTest, SatelliteTablesReachTheChannelState) {
  Feed(Nmea("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
  ASSERT_EQ(iState->UsedSatelliteCount(), 5);
  EXPECT_EQ(iState->UsedSatellite(0), 4);
  EXPECT_EQ(iState->UsedSatellite(4), 24);
  // GSV: messages must follow in order; an out-of-order one is ignored, the group completes
  // at the last message.
  Feed(Nmea("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00"));
  Feed(Nmea("GPGSV,3,3,11,29,09,301,24,16,09,020,,36,,,"));  // skips message 2
  EXPECT_EQ(iState->SatellitesInViewCount(), 0);
  Feed(Nmea("GPGSV,3,2,11,14,25,170,00,16,57,208,39,18,67,296,40,19,40,246,00"));
  Feed(Nmea("GPGSV,3,3,11,29,09,301,24,16,09,020,,36,,,"));
  ASSERT_EQ(iState->SatellitesInViewCount(), 10);  // the block without elevation ends the message
  EXPECT_EQ(iState->SatelliteInView(0).iNumber, 3);
  EXPECT_EQ(iState->SatelliteInView(8).iSnr, 24);
  EXPECT_EQ(iState->SatelliteInView(9).iNumber, 16);
  EXPECT_EQ(iState->SatelliteInView(9).iSnr, -1);
  // Entries beyond twelve are dropped.
  std::string many;
  for (int m = 1; m <= 4; ++m)
    many += Nmea("GPGSV,4," + std::to_string(m) + ",16,01,10,100,30,02,10,100,30,03,10,100,30,04,10,100,30");
  Feed(many);
  EXPECT_EQ(iState->SatellitesInViewCount(), 12);
  EXPECT_EQ(iParser->SatellitesInViewCount(), 12);
}

TEST_F(NmeaParserTest, DopValuesFromGsa) {
  Feed(Gga() + Nmea("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") + Rmc());
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_DOUBLE_EQ(iRecorder.iEpochs[0].iHdop, 1.3);
  EXPECT_DOUBLE_EQ(iRecorder.iEpochs[0].iVdop, 2.1);
  EXPECT_DOUBLE_EQ(iState->Value(KChannelAltitudePrecision), 2.1);
}

TEST_F(NmeaParserTest, ObdSentences) {
  // RPM answer: four bytes, decoded, scaled for the live state.
  EXPECT_EQ(Feed(Nmea("PWOBD,123456.789,0C,41 0C 1A F8")), CDataParser::EParsed);
  ASSERT_EQ(iRecorder.iObd.size(), 1u);
  EXPECT_EQ(iRecorder.iObd[0].iTime, 45296789);
  EXPECT_EQ(iRecorder.iObd[0].iPid, 0x0C);
  EXPECT_EQ(iRecorder.iObd[0].iRaw, 0x1AF8u);
  EXPECT_EQ(iRecorder.iObdDone, 1);
  EXPECT_EQ(iParser->LastObdSentence().iByteCount, 4);
  EXPECT_DOUBLE_EQ(iState->Value(KChannelObdRpm), 1726.0);
  EXPECT_EQ(iState->Time(KChannelObdTime).Milliseconds(), 45296789);
  // "NO DATA" clears the channel, in any case of letters.
  Feed(Nmea("PWOBD,123457.000,0C,no data"));
  EXPECT_TRUE(std::isnan(iState->Value(KChannelObdRpm)));
  EXPECT_EQ(iState->Time(KChannelObdTime).Milliseconds(), 45297000);
  EXPECT_EQ(iRecorder.iObd.size(), 1u);
  EXPECT_EQ(iRecorder.iObdDone, 2);
  // A bad byte empties the answer; a PID beyond one byte is not a PID; without a time the
  // value reaches the live state but not the recording.
  Feed(Nmea("PWOBD,123458.000,0C,41 0C XY F8"));
  EXPECT_EQ(iParser->LastObdSentence().iByteCount, 0);
  Feed(Nmea("PWOBD,123458.000,10C,41 0C 1A F8"));
  EXPECT_FALSE(iParser->LastObdSentence().iPidValid);
  EXPECT_EQ(iRecorder.iObdDone, 3);
  Feed(Nmea("PWOBD,,0D,41 0D 64"));
  EXPECT_EQ(iRecorder.iObd.size(), 1u);
  EXPECT_NEAR(iState->Value(KChannelObdSpeed), 100 / 3.6, 1e-12);
  // Sixteen bytes at most are kept.
  Feed(Nmea("PWOBD,123459.000,0C,41 0C 1A F8 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(iParser->LastObdSentence().iByteCount, 16);
  // Without an OBD channel list nothing is delivered.
  std::string s = Nmea("PWOBD,123456.789,0C,41 0C 1A F8");
  EXPECT_EQ(iParser->Parse(CPwByteArrayC(s), &iRecorder, nullptr, nullptr, iState.get(), nullptr),
            CDataParser::ENothing);
}

TEST_F(NmeaParserTest, AccelerometerAndLoggerSentences) {
  Feed(Nmea("PWACC,100000.250,-45,120,981"));
  ASSERT_EQ(iRecorder.iChannels.size(), 1u);
  EXPECT_EQ(iRecorder.iChannels[0].iTime, 36000250);
  ASSERT_EQ(iRecorder.iChannels[0].iValues.size(), 2u);
  EXPECT_EQ(iRecorder.iChannels[0].iValues[0].first, 20009);
  EXPECT_DOUBLE_EQ(iRecorder.iChannels[0].iValues[0].second, 0.45);
  EXPECT_EQ(iRecorder.iChannels[0].iValues[1].first, 20008);
  EXPECT_DOUBLE_EQ(iRecorder.iChannels[0].iValues[1].second, 1.2);
  Feed(Nmea("PWACC,100000.250,-45,x,981"));  // incomplete: nothing
  EXPECT_EQ(iRecorder.iChannels.size(), 1u);

  // $PW1: time, counter, x, y, z, three unused, digital 1, analog 1-5.
  Feed(Nmea("PW1,100000.300,5000,12,-34,99,7,7,7,3000,1,2,3,4,5"));
  ASSERT_EQ(iRecorder.iChannels.size(), 2u);
  const std::vector<std::pair<int32_t, double>> pw1 = {{20002, 3000}, {20003, 1}, {20004, 2}, {20005, 3},
                                                       {20006, 4},    {20007, 5}, {20009, 0.12}, {20008, -0.34}};
  EXPECT_EQ(iRecorder.iChannels[1].iValues, pw1);
  EXPECT_EQ(iState->Time(KChannelLoggerTime).Milliseconds(), 36000300);
  EXPECT_DOUBLE_EQ(iState->Value(KChannelLoggerDigital1), 3000);
  EXPECT_TRUE(std::isnan(iState->Value(KChannelLoggerDigital2)));

  // $PW2: time, counter, x, y, z, digital 1 and 2, analog 1-8; a missing analog is left out.
  Feed(Nmea("PW2,100000.400,5001,1,2,3,10,11,21,22,23,24,25,,27,28"));
  ASSERT_EQ(iRecorder.iChannels.size(), 3u);
  const std::vector<std::pair<int32_t, double>> pw2 = {
      {20002, 10}, {20010, 11}, {20003, 21}, {20004, 22}, {20005, 23}, {20006, 24},
      {20007, 25}, {20012, 27}, {20013, 28}, {20009, 0.01}, {20008, 0.02}};
  EXPECT_EQ(iRecorder.iChannels[2].iValues, pw2);
  EXPECT_TRUE(std::isnan(iState->Value(KChannelLoggerAnalog6)));
  EXPECT_DOUBLE_EQ(iState->Value(KChannelLoggerDigital2), 11);

  // Without a time (the logger before the GPS clock was known) the sentence is ignored.
  Feed(Nmea("PW1,,5002,12,-34,99,7,7,7,3000,1,2,3,4,5"));
  EXPECT_EQ(iRecorder.iChannels.size(), 3u);
}

TEST_F(NmeaParserTest, TimingEventsAreReported) {
  iRecorder.iTimingResult = 1;
  EXPECT_EQ(Feed(Gga() + Rmc()), CDataParser::ETimingEvent);
  EXPECT_EQ(Feed(Nmea("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")), CDataParser::ENothing);
}

TEST_F(NmeaParserTest, SlowBearingGetsEveryValidEpoch) {
  std::unique_ptr<CSlowBearing> slow(CSlowBearing::NewL());
  const std::string s = Rmc("123519.000", "20") + Rmc("123520.000", "20", "90.0") + Rmc("123521.000");
  iParser->Parse(CPwByteArrayC(s), nullptr, slow.get(), nullptr, nullptr, nullptr);
  TAngle bearing;
  ASSERT_EQ(slow->Bearing(bearing), 1);
  EXPECT_NEAR(bearing.Degrees(), 90.0, 1e-9);
}

TEST(NmeaMonitorTest, MonitorOnlyKeepsTheClockAndTheMtkReply) {
  static uint32_t tick = 5000;
  TGpsClock clock([] { return tick; });
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(1));
  TNmeaRecorder recorder;
  std::string s = Rmc() + Gga("123519.000", "0");
  parser->Parse(CPwByteArrayC(s), &recorder, nullptr, nullptr, nullptr, &clock);
  EXPECT_FALSE(clock.CurrentTime().IsSet());  // no fix yet
  s = Gga("123520.000", "1") + Nmea("PMTK500,1000,0,0,0,0") + Nmea("PWOBD,123456.789,0C,41 0C 1A F8");
  parser->Parse(CPwByteArrayC(s), &recorder, nullptr, nullptr, nullptr, &clock);
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), KTime + 1000);
  tick += 250;
  EXPECT_EQ(clock.CurrentTime().Milliseconds(), KTime + 1250);
  EXPECT_TRUE(parser->MtkReplyReceived());
  EXPECT_EQ(parser->MtkFixInterval(), 1000);
  EXPECT_EQ(parser->LastObdSentence().iByteCount, 0);  // not decoded in monitor mode
  EXPECT_TRUE(recorder.iObd.empty());

  // Commands: the query first, then the configuration once the reply is in, never again.
  CPwByteArray out;
  parser->WriteCommands(out);
  EXPECT_EQ(out.View(),
            "$PMTK400*36\r\n"
            "$PMTK314,0,0,1,1,5,5,0,0,0,0,0,0,0,0,0,0,0,5,0*2D\r\n"
            "$PMTK300,200,0,0,0,0*2F\r\n"
            "$PMTK220,200*2C\r\n");
  out.Reset();
  parser->WriteCommands(out);
  EXPECT_EQ(out.Length(), 0);
  parser->Reset();
  parser->WriteCommands(out);
  EXPECT_EQ(out.View(), "$PMTK400*36\r\n");
}

TEST(NmeaMonitorTest, FastReceiversAreNotSlowedDown) {
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(1));
  CPwByteArray out;
  parser->WriteCommands(out);
  const std::string reply = Nmea("PMTK500,200,0,0,0,0");
  parser->Parse(CPwByteArrayC(reply), nullptr, nullptr, nullptr, nullptr, nullptr);
  out.Reset();
  parser->WriteCommands(out);
  EXPECT_EQ(out.View(), "$PMTK314,0,0,1,1,5,5,0,0,0,0,0,0,0,0,0,0,0,5,0*2D\r\n");
  // Without a reply only the query goes out.
  std::unique_ptr<CNmeaParser> silent(CNmeaParser::NewL(1));
  out.Reset();
  silent->WriteCommands(out);
  silent->WriteCommands(out);
  EXPECT_EQ(out.View(), "$PMTK400*36\r\n");
}

TEST_F(NmeaParserTest, HostileFieldsAreHarmless) {
  const std::string digits(1500, '9');
  Feed(Nmea("GPRMC,123519.000,A," + digits + ",N," + digits + "." + digits + ",E," + digits + ",1e999,230324"));
  Feed(Nmea("GPGGA,123519.000,-" + digits + ",S,1.5,W," + digits + ",-" + digits + "," + digits + "," + digits));
  Feed(Nmea("GPGSV,99999999999,1," + digits + ",1,2,3,4"));
  Feed(Nmea("GPZDA,123519.000,1,1," + digits + ",,"));
  Feed(Nmea("PWOBD," + digits + "," + digits + "," + digits));
  Feed(Nmea("PMTK500,-" + digits));
  Feed(Nmea("PW2," + digits + ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,"));
  Feed(std::string("$GPRMC,\0\0\0,A\r\n", 15) + "$\r\n$*\r\n$GPGGA*\r\n,,,,,\r\n*\r\n$$$$$*00\r\n");
  Feed(Rmc("123520.000") + Rmc("123521.000"));
  ASSERT_FALSE(iRecorder.iEpochs.empty());
  EXPECT_EQ(iRecorder.iEpochs.back().iTime, KTime + 1000);
  EXPECT_EQ(iRecorder.iEpochs.back().iLatitude, KLat);
}

}  // namespace

TEST_F(NmeaParserTest, ImpossibleValuesAreRefusedAndCounted) {
  // Past a pole, past the date line, 60 minutes or more, a sign in a coordinate: no position.
  Feed(Rmc("123519.000", "022.4", "084.4", "9000.001,N") + Rmc("123520.000", "022.4", "084.4", "4807.038,N", "18000.5,E") +
       Rmc("123521.000", "022.4", "084.4", "5299.990,N") + Rmc("123522.000", "022.4", "084.4", "-4807.038,N") +
       Rmc("123523.000"));
  EXPECT_TRUE(iRecorder.iEpochs.empty());
  EXPECT_EQ(iParser->DroppedCount(), 4);
  // The extremes themselves are positions; a speed within 0..150 m/s (291.58 knots) is taken.
  Feed(Rmc("123524.000", "291.5", "084.4", "8959.999,S", "17959.999,W") + Rmc("123525.000"));
  ASSERT_EQ(iRecorder.iEpochs.size(), 2u);
  EXPECT_EQ(iRecorder.iEpochs[1].iLatitude, -(89 * 6000000 + 5999900));
  EXPECT_NEAR(iRecorder.iEpochs[1].iSpeed, 291.5 * 1.852 / 3.6, 1e-6);
  // A speed of 21 474 836 m/s or -500 km/h is refused; far from a slow epoch it cannot be
  // derived either, so the epoch is dropped (and counted) rather than stored with nonsense.
  Feed(Rmc("123526.000", "41742867.0", "084.4", "4817.038,N") + Rmc("123527.000", "-270", "084.4", "4827.038,N") +
       Rmc("123528.000"));
  EXPECT_EQ(iRecorder.iEpochs.size(), 3u);
  EXPECT_EQ(iParser->DroppedCount(), 6);
  // Reset keeps the count (an import adds up all its files); a void RMC is no damage.
  iParser->Reset();
  Feed(Nmea("GPRMC,123529.000,V,,,,,,,230324,,") + Rmc("123530.000"));
  EXPECT_EQ(iParser->DroppedCount(), 6);
}

TEST_F(NmeaParserTest, TimesOfDayAreDigitsWithinTheDayAndNeverStale) {
  // A sign, a time past the day or a second point is no time: the epoch is not delivered with
  // the time of the one before it.
  for (const char* bad : {"-00006.00", "+12351.00", "250000.000", "235961.000", "123560.000", "123520.0.0", "123520.00x"}) {
    std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
    TNmeaRecorder recorder;
    const std::string s = Gga("123519.000") + Rmc("123519.000") + Gga(bad) + Rmc(bad) + Rmc(bad) + Rmc("123530.000") +
                          Rmc("123531.000");
    parser->Parse(CPwByteArrayC(s), &recorder, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(recorder.iEpochs.size(), 2u) << bad;
    EXPECT_EQ(recorder.iEpochs[0].iTime, KTime) << bad;
    EXPECT_EQ(recorder.iEpochs[1].iTime, KTime + 11000) << bad;
    EXPECT_EQ(parser->DroppedCount(), 2) << bad;
  }
  // The leap second closes the UTC day; an RMC without any time is unknown, not damaged.
  Feed(Gga("235960.500") + Rmc("235960.500") + Rmc("") + Rmc(""));
  ASSERT_EQ(iRecorder.iEpochs.size(), 1u);
  EXPECT_EQ(iRecorder.iEpochs[0].iTime, 86400500);
  EXPECT_EQ(iParser->DroppedCount(), 0);
}
