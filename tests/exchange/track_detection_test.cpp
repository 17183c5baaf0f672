// Finding the track on a real kart log: with nothing stored the first closed loop makes the
// track and every complete lap is timed; with the kart circuit stored beside decoys and its
// reverse layout, the stored circuit is chosen within the first lap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "exchange/session_importer.h"
#include "timing/session_rig.h"
#include "timing/track_detector.h"

namespace pwtest {
namespace {

std::string KartLog() {
  const std::string path = std::string(PW_TESTDATA_DIR) + "/vbo/karting-part.vbo";
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class KartDetectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iLog = KartLog();
    if (iLog.empty()) GTEST_SKIP() << "no karting-part.vbo under " << PW_TESTDATA_DIR;
  }

  // A live recording of the whole log with the automatic track.
  std::unique_ptr<CTrackSession> Recorded() {
    std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
    session->NewSession(*Chosen(ESessionLapTiming, "<Automatic>"), iModel.iRoot);
    session->StartTiming();
    EXPECT_EQ(1, session->StartRecording());
    std::unique_ptr<CDataParser> parser(CSessionImporter::NewParserL(CSessionImporter::EFormatVBox));
    for (size_t at = 0; at < iLog.size(); at += 4096) {
      const size_t n = std::min<size_t>(4096, iLog.size() - at);
      parser->Parse(CPwByteArrayC(reinterpret_cast<const uint8_t*>(iLog.data() + at), static_cast<int32_t>(n)),
                    session.get(), iModel.iBearing.get(), nullptr, nullptr, nullptr);
    }
    return session;
  }

  std::unique_ptr<CTrackSession> Reopened(CTrackSession& aSession) { return iModel.Reopened(aSession); }

  // Start and end times of every finished lap.
  static std::vector<std::pair<int32_t, int32_t>> Laps(const CTrackSession& aSession) {
    std::vector<std::pair<int32_t, int32_t>> laps;
    for (int32_t i = 0; i < aSession.Laps().LapCount(); ++i) {
      const CLap* lap = aSession.Laps().Lap(i);
      if (lap->IsFinished()) laps.push_back({lap->Start()->iSample.iTime, lap->Finish()->iSample.iTime});
    }
    return laps;
  }

  std::string iLog;
  TestModel iModel;
};

TEST_F(KartDetectionTest, WithNothingStoredTheFirstLoopTimesEveryLap) {
  std::unique_ptr<CTrackSession> session = Recorded();
  ASSERT_NE(nullptr, session->Detector());
  ASSERT_EQ(CTrackDetector::ELoop, session->Detector()->Method());
  const auto laps = Laps(*session);
  ASSERT_GE(laps.size(), 5u);
  // One lap after another with no gap, all of a kart lap's length: none lost, none split.
  const CPositionPlotList& positions = session->PlotList().PositionList();
  for (size_t i = 0; i < laps.size(); ++i) {
    if (i > 0) {
      EXPECT_EQ(laps[i - 1].second, laps[i].first) << "lap " << i;
    }
    EXPECT_GT(laps[i].second - laps[i].first, 20000) << "lap " << i;
    EXPECT_LT(laps[i].second - laps[i].first, 90000) << "lap " << i;
  }
  // The first lap starts on the first pass of the line, within a lap of the log's start, and
  // what is left after the last lap is less than one lap.
  const int32_t firstLap = laps[0].second - laps[0].first;
  EXPECT_LT(laps[0].first - positions.At(0).iTime, firstLap);
  EXPECT_LT(positions.Last().iTime - laps.back().second, firstLap * 1.3);
  std::printf("kart log, loop rule: %zu laps, decided at %.1f s, first lap %.2f s\n", laps.size(),
              (session->Detector()->DecidedTime() - positions.At(0).iTime) / 1000.0, firstLap / 1000.0);
  std::unique_ptr<CTrackSession> reopened = Reopened(*session);
  EXPECT_EQ(laps, Laps(*reopened));
}

TEST_F(KartDetectionTest, TheStoredCircuitIsChosenBeforeTheFirstLapEnds) {
  // The kart circuit: a start/finish line where the kart runs north-east, and two splits
  // placed on the route a third and two thirds of a lap on (from a session without a track).
  std::unique_ptr<CTrackSession> plain = Recorded();
  const CPositionPlotList& positions = plain->PlotList().PositionList();
  const auto loopLaps = Laps(*plain);
  ASSERT_GE(loopLaps.size(), 2u);
  std::vector<std::unique_ptr<CTrapLine>> kart;
  kart.emplace_back(CTrapLine::NewL());
  kart.back()->Set(ETrapStartFinish, u"Start/finish", TCoordinate::FromDegrees(30.26381),
                   TCoordinate::FromDegrees(120.31566), TAngle::FromDegrees(34.0), TDistance::FromMetres(20.0), 1);
  const int32_t lapMs = loopLaps[1].second - loopLaps[1].first;
  for (int32_t k = 1; k <= 2; ++k) {
    const int32_t at = loopLaps[1].first + lapMs * k / 3;
    int32_t index = 0;
    while (index + 1 < positions.Count() && positions.At(index).iTime < at) ++index;
    kart.emplace_back(CTrapLine::NewL());
    kart.back()->Set(ETrapSplit, k == 1 ? u"Split 1" : u"Split 2", TCoordinate(positions.At(index).iLatitude),
                     TCoordinate(positions.At(index).iLongitude), CTrackSession::BearingAtSample(positions, index),
                     TDistance::FromMetres(20.0), 1);
  }
  ASSERT_EQ(KErrNone, plain->CloseSession());
  ASSERT_EQ(1, iModel.iTracks->DeleteByName(plain->Info().TrackName()));

  // Two decoys 2 km north and 2 km east, and the circuit's reverse layout.
  auto shifted = [&](double aNorth, double aEast) {
    std::vector<std::unique_ptr<CTrapLine>> traps;
    for (const auto& trap : kart) {
      const TPosition moved =
          TPosition(trap->Centre())
              .Destination(TAngle(0.0), TDistance::FromMetres(aNorth))
              .Destination(TAngle::FromDegrees(90.0), TDistance::FromMetres(aEast));
      const TGeoPoint point = moved.ToGeoPoint();
      traps.emplace_back(CTrapLine::NewL());
      traps.back()->Set(trap->Type(), trap->Name(), point.iLatitude, point.iLongitude, trap->Bearing(), trap->Width(), 1);
    }
    return traps;
  };
  auto raw = [](const std::vector<std::unique_ptr<CTrapLine>>& aTraps) {
    std::vector<const CTrapLine*> list;
    for (const auto& t : aTraps) list.push_back(t.get());
    return list;
  };
  const auto north = shifted(2000.0, 0.0);
  const auto east = shifted(0.0, 2000.0);
  std::vector<std::unique_ptr<CTrapLine>> reverse;
  for (auto it = kart.rbegin(); it != kart.rend(); ++it) {
    reverse.emplace_back(CTrapLine::NewL());
    reverse.back()->Set((*it)->Type(), (*it)->Name(), (*it)->Centre().iLatitude, (*it)->Centre().iLongitude,
                        TAngle((*it)->Bearing().iValue + M_PI).Normalised(), (*it)->Width(), 1);
  }
  iModel.AddTrack("Kart circuit", raw(kart));
  iModel.AddTrack("Decoy north", raw(north));
  iModel.AddTrack("Decoy east", raw(east));
  iModel.AddTrack("Kart circuit (reverse)", raw(reverse));

  std::unique_ptr<CTrackSession> session = Recorded();
  EXPECT_EQ(u"Kart circuit", session->Info().TrackName());
  const CTrackDetector& detector = *session->Detector();
  EXPECT_EQ(CTrackDetector::ENearest, detector.Method());
  // The four stored, and each decoy turned round (the circuit's reverse is stored).
  EXPECT_EQ(6, detector.CandidateCount());
  const auto laps = Laps(*session);
  ASSERT_GE(laps.size(), 2u);
  EXPECT_LT(detector.DecidedTime(), laps[0].second);
  std::printf("kart log, stored circuit among decoys: decided at %.1f s, first lap ends at %.1f s\n",
              (detector.DecidedTime() - session->PlotList().PositionList().At(0).iTime) / 1000.0,
              (laps[0].second - session->PlotList().PositionList().At(0).iTime) / 1000.0);
  // Every lap the loop rule found is timed on the stored circuit as well.
  EXPECT_GE(laps.size() + 1, loopLaps.size());
  std::unique_ptr<CTrackSession> reopened = Reopened(*session);
  EXPECT_EQ(laps, Laps(*reopened));
}

}  // namespace
}  // namespace pwtest
