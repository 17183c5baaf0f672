// The parser against captures of real receivers, against gpsd's decoding of the same captures,
// and against itself under arbitrary chunking of damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "acquisition/channel_state.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/nmea_recorder.h"
#include "acquisition/obd_channels.h"
#include "support/test_support.h"

using pwtest::TNmeaRecorder;
using pwtest::TRecordedEpoch;

namespace {

std::string ReceiversDir() { return pwtest::TestDataDir() + "/nmea-receivers"; }

std::vector<std::string> ReceiverLogs() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(ReceiversDir().c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0) names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct TRun {
  TNmeaRecorder iRecorder;
  int32_t iResults = 0;  // OR of the Parse results
};

// Feeds aBytes in chunks whose sizes come from aChunkSeed (0: all at once).
void FeedParser(const std::string& aBytes, uint32_t aChunkSeed, TRun& aRun, CChannelState* aState = nullptr,
         CObdChannelList* aObd = nullptr) {
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
  std::mt19937 random(aChunkSeed);
  size_t pos = 0;
  while (pos < aBytes.size()) {
    size_t n = aBytes.size() - pos;
    if (aChunkSeed != 0) n = std::min(n, static_cast<size_t>(random() % 700 + 1));
    aRun.iResults |= parser->Parse(CPwByteArrayC(aBytes.data() + pos, static_cast<int32_t>(n)), &aRun.iRecorder,
                                   nullptr, aObd, aState, nullptr);
    pos += n;
  }
}

// ddmm.mmmm and a hemisphere to 1/100,000 minute, in integer arithmetic only.
bool ExpectedCoordinate(const std::string& aValue, const std::string& aHemisphere, int32_t& aOut) {
  const size_t point = aValue.find('.');
  if (aValue.empty() || point == std::string::npos || point < 2) return false;
  const int64_t degrees = std::atoll(aValue.substr(0, point - 2).c_str());
  const int64_t minutes = std::atoll(aValue.substr(point - 2, 2).c_str());
  std::string fraction = aValue.substr(point + 1);
  while (fraction.size() < 6) fraction += '0';
  int64_t hundredThousandths = std::atoll(fraction.substr(0, 5).c_str());
  if (fraction[5] >= '5') ++hundredThousandths;  // round half up, as the parser does
  int64_t units = degrees * 6000000 + minutes * 100000 + hundredThousandths;
  if (aHemisphere == "S" || aHemisphere == "W") units = -units;
  aOut = static_cast<int32_t>(units);
  return true;
}

std::vector<std::string> Split(const std::string& aText, char aSeparator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = aText.find(aSeparator, start);
    parts.push_back(aText.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

struct TRmcFix {
  int32_t iTime;
  int32_t iLatitude;
  int32_t iLongitude;
};

// The fixes of the log, decoded independently: one per "$GPRMC" with a good checksum and
// status A, in order, each with the coordinates of the last RMC or fixed GGA of its time (the
// sentence that completes the epoch).
std::vector<TRmcFix> RmcFixes(const std::string& aLog) {
  std::vector<TRmcFix> fixes;
  std::map<int32_t, std::pair<int32_t, int32_t>> positions;
  for (std::string line : Split(aLog, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool rmc = line.rfind("$GPRMC,", 0) == 0;
    if (!rmc && line.rfind("$GPGGA,", 0) != 0) continue;
    const size_t star = line.size() >= 3 ? line.size() - 3 : std::string::npos;
    if (star != std::string::npos && line[star] == '*') {
      unsigned sum = 0;
      for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
      if (sum != std::strtoul(line.substr(star + 1).c_str(), nullptr, 16)) continue;
      line.resize(star);
    }
    const std::vector<std::string> f = Split(line, ',');
    if (f.size() < 10 || f[1].size() < 6) continue;
    if (rmc ? f[2] != "A" : (f[6].empty() || f[6] == "0")) continue;
    int32_t time = std::atoi(f[1].substr(0, 2).c_str()) * 3600000 + std::atoi(f[1].substr(2, 2).c_str()) * 60000 +
                   std::atoi(f[1].substr(4, 2).c_str()) * 1000;
    if (f[1].size() == 10) time += std::atoi(f[1].substr(7).c_str());
    if (f[1].size() == 9) time += 10 * std::atoi(f[1].substr(7).c_str());
    if (f[1].size() == 8) time += 100 * std::atoi(f[1].substr(7).c_str());
    const size_t at = rmc ? 3 : 2;
    int32_t lat, lon;
    if (!ExpectedCoordinate(f[at], f[at + 1], lat) || !ExpectedCoordinate(f[at + 2], f[at + 3], lon)) continue;
    positions[time] = {lat, lon};
    if (rmc && (fixes.empty() || fixes.back().iTime != time)) fixes.push_back(TRmcFix{time, 0, 0});
  }
  for (TRmcFix& fix : fixes) {
    fix.iLatitude = positions[fix.iTime].first;
    fix.iLongitude = positions[fix.iTime].second;
  }
  return fixes;
}

struct TGpsdFix {
  double iLatitude;
  double iLongitude;
  double iSpeed;  // NaN when not reported
};

double JsonNumber(const std::string& aLine, const char* aKey) {
  const std::string key = std::string("\"") + aKey + "\":";
  const size_t at = aLine.find(key);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(aLine.c_str() + at + key.size(), nullptr);
}

// gpsd's TPV reports by time of day (the last report of a time wins: it is the most complete).
std::map<int32_t, TGpsdFix> GpsdFixes(const std::string& aChk) {
  std::map<int32_t, TGpsdFix> fixes;
  for (const std::string& line : Split(aChk, '\n')) {
    if (line.find("\"class\":\"TPV\"") == std::string::npos) continue;
    const size_t t = line.find("\"time\":\"");
    if (t == std::string::npos) continue;
    const std::string stamp = line.substr(t + 8, 24);  // 2034-11-27T20:26:40.000Z
    if (stamp.size() < 23 || stamp[10] != 'T') continue;
    const int32_t ms = std::atoi(stamp.substr(11, 2).c_str()) * 3600000 + std::atoi(stamp.substr(14, 2).c_str()) * 60000 +
                       std::atoi(stamp.substr(17, 2).c_str()) * 1000 + std::atoi(stamp.substr(20, 3).c_str());
    const double lat = JsonNumber(line, "lat");
    const double lon = JsonNumber(line, "lon");
    if (std::isnan(lat) || std::isnan(lon)) continue;
    fixes[ms] = TGpsdFix{lat, lon, JsonNumber(line, "speed")};
  }
  return fixes;
}

TEST(NmeaReceiversTest, EveryCaptureParsesWithSaneResults) {
  PW_REQUIRE_TESTDATA();
  const std::vector<std::string> logs = ReceiverLogs();
  ASSERT_GE(logs.size(), 10u);
  for (const std::string& name : logs) {
    SCOPED_TRACE(name);
    const std::string bytes = pwtest::ReadFileBytes(ReceiversDir() + "/" + name);
    ASSERT_FALSE(bytes.empty());
    std::unique_ptr<CChannelState> state(CChannelState::NewL());
    std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
    TRun run;
    FeedParser(bytes, 0, run, state.get(), obd.get());
    // Every LF ends one line, and each reaches the raw log with CR LF.
    EXPECT_EQ(run.iRecorder.iLines.size(), static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
    for (const std::string& line : run.iRecorder.iLines) {
      ASSERT_GE(line.size(), 2u);
      EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
      EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
    for (const TRecordedEpoch& e : run.iRecorder.iEpochs) {
      EXPECT_GE(e.iTime, 0);
      EXPECT_LT(e.iTime, 86400000);
      EXPECT_LE(std::abs(e.iLatitude), 90 * 6000000);
      EXPECT_LE(std::abs(e.iLongitude), 180 * 6000000);
      EXPECT_GE(e.iSpeed, 0.0);
      EXPECT_TRUE(e.iDate == KInvalidInt ? e.iDateTime == KInvalidInt : e.iDateTime == e.iTime);
    }
  }
}

TEST(NmeaReceiversTest, EpochsCarryTheRmcTimesAndCoordinates) {
  PW_REQUIRE_TESTDATA();
  // One epoch per RMC fix; where the RMC comes first in its second, or stands alone, the last
  // epoch is still pending at the end of the log (and the last GGA of firefly-II has no fix
  // quality, which makes its epoch invalid).
  const struct {
    const char* iName;
    size_t iPendingAtEnd;
  } logs[] = {{"mt3339.log", 0},    {"bu353s4.log", 0},   {"motorola-t805.log", 0}, {"haicom-305N.log", 0},
              {"telit-he910.log", 0}, {"ch-4701.log", 1}, {"firefly-II.log", 1},     {"magellan-ec10.log", 0},
              {"pharos-360.log", 0}};
  for (const auto& log : logs) {
    SCOPED_TRACE(log.iName);
    const std::string bytes = pwtest::ReadFileBytes(ReceiversDir() + "/" + log.iName);
    ASSERT_FALSE(bytes.empty());
    TRun run;
    FeedParser(bytes, 0, run);
    const std::vector<TRmcFix> fixes = RmcFixes(bytes);
    ASSERT_FALSE(fixes.empty());
    std::string times;
    for (const TRecordedEpoch& e : run.iRecorder.iEpochs) times += std::to_string(e.iTime) + " ";
    times += "/ ";
    for (const TRmcFix& f : fixes) times += std::to_string(f.iTime) + " ";
    ASSERT_EQ(run.iRecorder.iEpochs.size() + log.iPendingAtEnd, fixes.size()) << times;
    for (size_t i = 0; i < run.iRecorder.iEpochs.size(); ++i) {
      const TRecordedEpoch& e = run.iRecorder.iEpochs[i];
      EXPECT_EQ(e.iTime, fixes[i].iTime) << i;
      EXPECT_EQ(e.iLatitude, fixes[i].iLatitude) << i;
      EXPECT_EQ(e.iLongitude, fixes[i].iLongitude) << i;
    }
  }
}

TEST(NmeaReceiversTest, EpochsAgreeWithGpsd) {
  PW_REQUIRE_TESTDATA();
  size_t compared = 0;
  for (const std::string& name : ReceiverLogs()) {
    SCOPED_TRACE(name);
    // That capture multiplexes several devices; its RMCs repeat the previous second's GGA
    // position under the next second's time, so the two decoders pair them differently.
    if (name == "bundg_zeus_9.log") continue;
    const std::string chk = pwtest::ReadFileBytes(ReceiversDir() + "/" + name + ".chk");
    if (chk.empty()) continue;
    const std::map<int32_t, TGpsdFix> gpsd = GpsdFixes(chk);
    TRun run;
    FeedParser(pwtest::ReadFileBytes(ReceiversDir() + "/" + name), 0, run);
    size_t missing = 0;
    for (const TRecordedEpoch& e : run.iRecorder.iEpochs) {
      const auto it = gpsd.find(e.iTime);
      if (it == gpsd.end()) {
        ++missing;  // gpsd holds back a first fix without satellites
        continue;
      }
      EXPECT_NEAR(e.iLatitude / 6000000.0, it->second.iLatitude, 2e-7) << e.iTime;
      EXPECT_NEAR(e.iLongitude / 6000000.0, it->second.iLongitude, 2e-7) << e.iTime;
      if (!std::isnan(it->second.iSpeed)) {
        EXPECT_NEAR(e.iSpeed, it->second.iSpeed, 0.0015) << e.iTime;
      }
      ++compared;
    }
    if (name != "tomtom-mkII.log") {  // gpsd reports only the first fixes of that one
      EXPECT_LE(missing, 1u);
    }
  }
  EXPECT_GT(compared, 300u);
}

// Damages a log: flipped and inserted bytes, removed runs, NULs, stray line ends, and lines cut
// short.
std::string Mutate(const std::string& aBytes, std::mt19937& aRandom) {
  std::string out;
  out.reserve(aBytes.size() + aBytes.size() / 8);
  for (size_t i = 0; i < aBytes.size(); ++i) {
    const uint32_t r = aRandom() % 1000;
    if (r < 4) {
      out += static_cast<char>(aRandom());  // a random byte
    } else if (r < 6) {
      out += '\0';
    } else if (r < 8) {
      out += (r & 1) ? '\n' : '\r';
    } else if (r < 10) {
      i += aRandom() % 40;  // a lost run
      continue;
    } else if (r < 11) {
      out += std::string(aRandom() % 3000, static_cast<char>('0' + aRandom() % 10));  // an absurd field
    } else if (r < 13) {
      out += ',';
    }
    if (i < aBytes.size()) out += aBytes[i];
  }
  return out;
}

void ExpectSameRuns(const TRun& aWhole, const TRun& aChunked) {
  ASSERT_EQ(aWhole.iRecorder.iEpochs.size(), aChunked.iRecorder.iEpochs.size());
  for (size_t i = 0; i < aWhole.iRecorder.iEpochs.size(); ++i)
    ASSERT_EQ(aWhole.iRecorder.iEpochs[i], aChunked.iRecorder.iEpochs[i]) << i;
  EXPECT_EQ(aWhole.iRecorder.iLines, aChunked.iRecorder.iLines);
  EXPECT_EQ(aWhole.iRecorder.iObd.size(), aChunked.iRecorder.iObd.size());
  EXPECT_EQ(aWhole.iRecorder.iObdDone, aChunked.iRecorder.iObdDone);
  ASSERT_EQ(aWhole.iRecorder.iChannels.size(), aChunked.iRecorder.iChannels.size());
  for (size_t i = 0; i < aWhole.iRecorder.iChannels.size(); ++i)
    EXPECT_EQ(aWhole.iRecorder.iChannels[i].iValues.size(), aChunked.iRecorder.iChannels[i].iValues.size());
}

// Synthetic input with every kind of sentence the parser knows, so the damage reaches them all.
std::string SyntheticLog() {
  std::string s;
  for (int i = 0; i < 400; ++i) {
    char t[16];
    std::snprintf(t, sizeof t, "%02d%02d%02d.%d", 10 + i / 3600, (i / 60) % 60, i % 60, i % 10);
    const std::string time = t;
    s += pwtest::Nmea("GPGGA," + time + ",4807.0" + std::to_string(i % 90 + 10) + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    s += pwtest::Nmea("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
    s += pwtest::Nmea("GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
    s += pwtest::Nmea("GPGSV,2,2,08,15,40,083,46,16,17,308,41,17,07,344,39,18,22,228,");
    s += pwtest::Nmea("GPRMC," + time + ",A,4807.0" + std::to_string(i % 90 + 10) + ",N,01131.000,E,0" +
                      std::to_string(i % 30) + ".4,084.4,230324,003.1,W", (i % 2) ? "\n" : "\r\n");
    s += pwtest::Nmea("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    s += pwtest::Nmea("GPZDA," + time + ",23,03,2024,00,00");
    s += pwtest::Nmea("PWOBD," + time + ",0C,41 0C 1A " + std::to_string(10 + i % 80));
    s += pwtest::Nmea("PWOBD," + time + ",00,41 00 BE 3E B8 11");
    s += pwtest::Nmea("PW2," + time + ",500,1,2,3,10,11,21,22,23,24,25,26,27,28");
    s += pwtest::Nmea("PWACC," + time + ",-45,120,981");
  }
  return s;
}

TEST(NmeaFuzzTest, ChunkingNeverChangesTheResult) {
  std::vector<std::string> sources = {SyntheticLog()};
  if (!pwtest::TestDataDir().empty())
    for (const char* name : {"mt3339.log", "haicom-305N.log", "tomtom-mkII.log", "bundg_zeus_9.log"})
      sources.push_back(pwtest::ReadFileBytes(ReceiversDir() + "/" + name));
  std::mt19937 random(20240323);
  for (size_t s = 0; s < sources.size(); ++s) {
    for (int round = 0; round < 6; ++round) {
      SCOPED_TRACE("source " + std::to_string(s) + " round " + std::to_string(round));
      const std::string input = round == 0 ? sources[s] : Mutate(sources[s], random);
      std::unique_ptr<CChannelState> wholeState(CChannelState::NewL());
      std::unique_ptr<CObdChannelList> wholeObd(CObdChannelList::NewL());
      TRun whole;
      FeedParser(input, 0, whole, wholeState.get(), wholeObd.get());
      for (uint32_t seed : {1u, 2u, 3u}) {
        std::unique_ptr<CChannelState> state(CChannelState::NewL());
        std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
        TRun chunked;
        FeedParser(input, seed + static_cast<uint32_t>(round) * 10, chunked, state.get(), obd.get());
        ExpectSameRuns(whole, chunked);
        EXPECT_EQ(whole.iResults != 0, chunked.iResults != 0);
        EXPECT_EQ(wholeState->ItemCount(), state->ItemCount());
      }
      if (round == 0 && s == 0) {
        EXPECT_EQ(whole.iRecorder.iEpochs.size(), 400u);
        EXPECT_EQ(whole.iRecorder.iObd.size(), 400u);
        EXPECT_EQ(whole.iRecorder.iChannels.size(), 800u);
      }
    }
  }
}

TEST(NmeaFuzzTest, RandomBytesAreHarmless) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string input(200000, '\0');
    // Mostly NMEA-ish characters, so that some lines get past the first checks.
    static const char KAlphabet[] = "$GPRMCGAVTZDSWOB*,.,,0123456789ABCDEF\r\n\n NSEW-+";
    for (char& c : input)
      c = (random() % 8 == 0) ? static_cast<char>(random()) : KAlphabet[random() % (sizeof KAlphabet - 1)];
    TRun whole, chunked;
    FeedParser(input, 0, whole);
    FeedParser(input, 100 + round, chunked);
    ExpectSameRuns(whole, chunked);
  }
}

}  // namespace
