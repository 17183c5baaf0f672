// The shipped data: the demo drive reads back through the NMEA parser as the receiver,
// OBD-II reader and logger it imitates; the example track and session load through the
// program's own catalogues from the installation folder with the laps the car really drove;
// the icons are transparent pictograms the drawing layer reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "acquisition/channel_id.h"
#include "acquisition/channel_state.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "app/draw/pw_bitmap.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "support/test_support.h"
#include "timing/track_list.h"
#include "timing/track_profile.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"
#include "tools/demo_drive.h"
#include "tools/make_examples.h"
#include "tools/make_icons.h"

using namespace pwtools;

namespace {

constexpr double KPi = 3.14159265358979323846;

// Environment variable set for one scope.
class ScopedEnv {
 public:
  // A null value unsets the variable.
  ScopedEnv(const char* aName, const char* aValue) : iName(aName) {
    if (const char* old = getenv(aName)) iOld = old, iHad = true;
    if (aValue)
      setenv(aName, aValue, 1);
    else
      unsetenv(aName);
  }
  ScopedEnv(const char* aName, const std::string& aValue) : ScopedEnv(aName, aValue.c_str()) {}
  ~ScopedEnv() {
    if (iHad)
      setenv(iName, iOld.c_str(), 1);
    else
      unsetenv(iName);
  }

 private:
  const char* iName;
  std::string iOld;
  bool iHad = false;
};

// Counts what the parser hands on.
class Counter : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate, TCoordinate, PwTime aTime, TDistance, TSpeed aSpeed, double, double, double,
                         int32_t aSatellites, int32_t, int32_t, PwTime aDate, PwTime) override {
    ++iPositions;
    if (aTime.Milliseconds() != iPositions * 100 - 100) ++iOffBeat;
    if (!aDate.IsSet() || aSatellites < 4) ++iIncomplete;
    iTopSpeed = std::max(iTopSpeed, aSpeed.iValue * EarthRadius);
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t aPid, uint32_t) override { ++iObd[aPid & 0xFF]; }
  void ObdSentenceDone() override { ++iObdSentences; }
  void ChannelsParsed(PwTime, const TChannelValueList& aValues) override {
    ++iLogger;
    if (aValues.Count() != 12) ++iShortLogger;
  }
  void LineReceived(CPwByteArrayC, int32_t) override { ++iLines; }

  int32_t iPositions = 0, iOffBeat = 0, iIncomplete = 0, iObdSentences = 0, iLogger = 0, iShortLogger = 0,
          iLines = 0;
  int32_t iObd[256] = {};
  double iTopSpeed = 0;
};

void Parse(const std::string& aText, Counter& aCounter) {
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
  std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
  std::unique_ptr<CChannelState> state(CChannelState::NewL());
  for (size_t at = 0; at < aText.size(); at += 1000) {
    const size_t n = std::min<size_t>(1000, aText.size() - at);
    parser->Parse(CPwByteArrayC(reinterpret_cast<const uint8_t*>(aText.data() + at), static_cast<int32_t>(n)),
                  &aCounter, nullptr, obd.get(), state.get(), nullptr);
  }
}

TEST(DemoDrive, IsWellFormedNmeaAndTheParserTakesEveryEpochAndSentence) {
  DemoDriveResult result;
  const std::string text = DemoDriveText(DemoDriveOptions(), &result);
  ASSERT_EQ(static_cast<int64_t>(text.size()), result.iBytes);

  // Every line ends CR LF, starts with '$' and carries the right checksum.
  int32_t lines = 0, rmc = 0, gga = 0, gsa = 0, gsv1 = 0, obd = 0, logger = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "unterminated line at byte " << at;
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    ++lines;
    ASSERT_EQ('$', line[0]) << line;
    ASSERT_EQ(std::string::npos, line.find('\n')) << line;
    const size_t star = line.size() - 3;
    ASSERT_EQ('*', line[star]) << line;
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    ASSERT_EQ(sum, std::stoul(line.substr(star + 1), nullptr, 16)) << line;
    const std::string id = line.substr(0, line.find(','));
    rmc += id == "$GPRMC";
    gga += id == "$GPGGA";
    gsa += id == "$GPGSA";
    gsv1 += line.rfind("$GPGSV,3,1,", 0) == 0;
    obd += id == "$PWOBD";
    logger += id == "$PW2";
  }
  EXPECT_EQ(result.iEpochs, rmc);
  EXPECT_EQ(result.iEpochs, gga);
  EXPECT_EQ((result.iEpochs + 9) / 10, gsa);  // once a second
  EXPECT_EQ(gsa, gsv1);
  EXPECT_EQ(result.iObdSentences, obd);
  EXPECT_EQ(result.iLoggerSentences, logger);

  // Five timed laps of roughly 80 to 90 s, between an out lap and an in lap.
  ASSERT_EQ(6u, result.iLineCrossings.size());
  for (size_t i = 1; i < result.iLineCrossings.size(); ++i) {
    const double lap = result.iLineCrossings[i] - result.iLineCrossings[i - 1];
    EXPECT_GT(lap, 75.0);
    EXPECT_LT(lap, 95.0);
  }
  EXPECT_NEAR(result.iDuration, (result.iEpochs - 1) / 10.0, 1e-9);

  Counter counter;
  Parse(text, counter);
  EXPECT_EQ(lines, counter.iLines);
  EXPECT_EQ(result.iEpochs, counter.iPositions);  // every epoch valid, none merged or lost
  EXPECT_EQ(0, counter.iOffBeat);
  EXPECT_EQ(0, counter.iIncomplete);
  EXPECT_GT(counter.iTopSpeed, 45.0);  // the main straight
  EXPECT_LT(counter.iTopSpeed, 75.0);
  EXPECT_EQ(obd, counter.iObdSentences);
  EXPECT_EQ(result.iEpochs, counter.iObd[0x0C]);  // engine speed every epoch
  EXPECT_GT(counter.iObd[0x11], 0);
  EXPECT_GT(counter.iObd[0x0D], 0);
  EXPECT_EQ(result.iEpochs / 10, counter.iObd[0x05]);  // coolant once a second
  EXPECT_EQ(logger, counter.iLogger);
  EXPECT_EQ(0, counter.iShortLogger);
}

TEST(DemoDrive, IsTheSameForTheSameSeedAndRunsExactlyAsLongAsAsked) {
  DemoDriveOptions options;
  options.iLaps = 1;
  EXPECT_EQ(DemoDriveText(options), DemoDriveText(options));
  DemoDriveOptions other = options;
  other.iSeed = 2;
  EXPECT_NE(DemoDriveText(options), DemoDriveText(other));

  DemoDriveOptions timed;
  timed.iHours = 0.05;  // three minutes
  DemoDriveResult result;
  const std::string text = DemoDriveText(timed, &result);
  EXPECT_EQ(1800, result.iEpochs);
  Counter counter;
  Parse(text, counter);
  EXPECT_EQ(1800, counter.iPositions);
  EXPECT_GE(result.iLineCrossings.size(), 2u);  // laps on through the line
}

TEST(DemoCircuit, ClosesSmoothlyAndEachTimingLineCrossesTheTrackOnce) {
  const DemoCircuit circuit;
  EXPECT_GT(circuit.Length(), 2000.0);
  EXPECT_LT(circuit.Length(), 3000.0);
  EXPECT_EQ(12, circuit.CornerCount());
  const CircuitPoint a = circuit.At(0.0), b = circuit.At(circuit.Length());
  EXPECT_NEAR(a.iEast, b.iEast, 1e-6);
  EXPECT_NEAR(a.iNorth, b.iNorth, 1e-6);
  // No jumps in position or heading anywhere round the lap.
  CircuitPoint previous = circuit.At(0.0);
  for (double s = 0.5; s <= circuit.Length(); s += 0.5) {
    const CircuitPoint p = circuit.At(s);
    EXPECT_NEAR(0.5, std::hypot(p.iEast - previous.iEast, p.iNorth - previous.iNorth), 1e-3) << s;
    double turn = std::fabs(p.iHeading - previous.iHeading);
    turn = std::min(turn, 2 * KPi - turn);
    EXPECT_LT(turn, 0.5 / 25.0) << s;  // no bend tighter than 25 m
    previous = p;
  }
  // A trap is 50 m wide: nothing of the track but its own stretch may come within reach of
  // its centre, or a lap would be timed twice.
  for (double line : {0.0, circuit.SplitDistance(0), circuit.SplitDistance(1)}) {
    const CircuitPoint c = circuit.At(line);
    EXPECT_EQ(0.0, c.iCurvature) << "timing lines lie on straights";
    for (double s = 0; s < circuit.Length(); s += 1.0) {
      double along = std::fabs(s - line);
      along = std::min(along, circuit.Length() - along);
      if (along < 60.0) continue;
      const CircuitPoint p = circuit.At(s);
      EXPECT_GT(std::hypot(p.iEast - c.iEast, p.iNorth - c.iNorth), KExampleTrapWidth / 2 + 10.0) << line << " " << s;
    }
  }
  EXPECT_GT(circuit.SplitDistance(0), circuit.Length() * 0.2);
  EXPECT_LT(circuit.SplitDistance(0), circuit.SplitDistance(1));
  EXPECT_LT(circuit.SplitDistance(1), circuit.Length() * 0.85);
}

class ExamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iSummary = MakeExamplesL(iInstall / "examples");
  }

  pwtest::TempDir iInstall;  // stands in for <prefix>/share/pacewright
  pwtest::TempDir iHome;
  ScopedEnv iInstallEnv{"PACEWRIGHT_INSTALL", iInstall.Path()};
  ScopedEnv iDocumentsEnv{"PACEWRIGHT_DOCUMENTS", iHome / "Documents"};
  ScopedEnv iAppDataEnv{"PACEWRIGHT_APPDATA", iHome / "appdata"};
  ExampleSummary iSummary;
};

TEST_F(ExamplesTest, TrackAndSessionLoadFromTheInstallationFolderWithTheLapsDriven) {
  namespace fs = std::filesystem;
  EXPECT_TRUE(fs::exists(iInstall / "examples/Pacewright/Tracks/Example track-track.bin"));
  EXPECT_TRUE(fs::exists(iInstall / "examples/Pacewright/Sessions/20070101-0000-example-session.bin"));
  EXPECT_TRUE(fs::exists(iInstall / "examples/Pacewright/Sessions/20070101-0000-example-plots.bin"));
  EXPECT_TRUE(fs::exists(iInstall / (std::string("examples/") + KDemoDriveFileName)));
  for (const auto& entry : fs::directory_iterator(iInstall / "examples"))
    EXPECT_NE('.', entry.path().filename().string()[0]) << "scratch left behind: " << entry.path();

  // The catalogues find both where the program looks for the shipped examples.
  std::unique_ptr<CPwDrives> drives(CPwDrives::NewL("/nonexistent-mount-table"));
  CSettings settings(*drives);
  CTrackList tracks(settings, *drives);
  tracks.Refresh();
  ASSERT_EQ(1, tracks.Count());
  EXPECT_TRUE(tracks.At(0).Name().Equals(CTrackList::KExampleTrackName));
  CTrackProfile track;
  ASSERT_EQ(1, tracks.LoadByName(CTrackList::KExampleTrackName, track));
  EXPECT_TRUE(track.IsLocked());
  ASSERT_EQ(3, track.TrapCount());
  const CTrapLineList& traps = *track.Traps();
  EXPECT_EQ(ETrapStartFinish, traps.At(0)->Type());
  EXPECT_EQ(ETrapSplit, traps.At(1)->Type());
  EXPECT_EQ(ETrapSplit, traps.At(2)->Type());
  // The start/finish line faces along the main straight (nearly due east, clockwise lap).
  EXPECT_NEAR(88.0, traps.At(0)->Bearing().CompassDegrees(), 3.0);
  EXPECT_NEAR(KCircuitLatitude, traps.At(0)->Centre().iLatitude.ToDegrees(), 0.01);

  CSessionList sessions(*drives);
  sessions.Refresh();
  ASSERT_EQ(1, sessions.Count());
  const CSessionInfo& entry = *sessions.At(0);
  EXPECT_TRUE(entry.Identifier().Equals(CSessionList::KExampleIdentifier));
  EXPECT_TRUE(entry.IsReadOnly());
  EXPECT_TRUE(entry.TrackName().Equals(CTrackList::KExampleTrackName));
  EXPECT_EQ(ESessionLapTiming, entry.SessionType());
  EXPECT_EQ(5, entry.LapCount());
  EXPECT_EQ(1, entry.ObdFlag());
  EXPECT_EQ(PwDateTime(2007, 1, 1, 0, 0, 0, 0), entry.Created());

  // Opened like any stored session: the laps are the ones the car drove.
  ExampleModel model(PwStringFromUtf8(iInstall / "examples/"));
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  ASSERT_EQ(1, session->OpenStoredSession(entry));
  session->LoadSamplesL();
  EXPECT_EQ(iSummary.iDrive.iEpochs, session->SampleCount());
  EXPECT_EQ(iSummary.iPositions, session->SampleCount());
  const CLapList& laps = session->Laps();
  ASSERT_EQ(6, laps.LapCount());  // five timed laps and the unfinished in lap
  const std::vector<double>& truth = iSummary.iDrive.iLineCrossings;
  for (int32_t i = 0; i < 5; ++i) {
    const CLap* lap = laps.Lap(i);
    ASSERT_TRUE(lap->IsFinished()) << i;
    EXPECT_NEAR(truth[i] * 1000.0, lap->Start()->iSample.iTime, 40.0) << i;
    EXPECT_NEAR((truth[i + 1] - truth[i]) * 1000.0, lap->LapTime().Milliseconds(), 40.0) << i;
    EXPECT_EQ(3, lap->CrossingCount()) << "both splits and the finish in lap " << i;
  }
  EXPECT_FALSE(laps.Lap(5)->IsFinished());
  EXPECT_EQ(laps.BestLapIndex(), entry.BestLapIndex());
  ASSERT_NE(nullptr, laps.OptimalLap());
  EXPECT_LE(laps.OptimalLap()->LapTime().Milliseconds(), laps.BestLap()->LapTime().Milliseconds());
  EXPECT_NE(2, laps.BestLapIndex()) << "the lap with the moment in the hairpin is not the best";

  // OBD-II engine speed, throttle, road speed and coolant; all twelve logger channels.
  const CObdPlotList& obd = session->PlotList().ObdList();
  for (int pid : {0x0C, 0x11, 0x0D, 0x05}) {
    const CObdChannelPlotList* list = obd.FindList(pid);
    ASSERT_NE(nullptr, list) << pid;
    EXPECT_GT(list->Count(), 0) << pid;
  }
  EXPECT_EQ(session->SampleCount(), obd.FindList(0x0C)->Count());
  const CDataLoggerPlotList& logger = session->PlotList().LoggerList();
  ASSERT_EQ(session->SampleCount(), logger.Count());
  TDataLoggerRecord record;
  ASSERT_TRUE(logger.RecordAt(logger.Count() / 2, record));
  EXPECT_EQ(TDataLoggerRecord::KMaskAll, record.iMask);
  EXPECT_EQ(iSummary.iLoggerSamples, logger.Count());

  // Read-only: recording cannot continue into it.
  EXPECT_EQ(EResumeNotPossible, session->CheckResume(true));
}

TEST_F(ExamplesTest, AreRemadeByteForByteAndReplaceWhatIsThere) {
  namespace fs = std::filesystem;
  const fs::path plots = iInstall / "examples/Pacewright/Sessions/20070101-0000-example-plots.bin";
  const std::string first = pwtest::ReadFileBytes(plots.string());
  const std::string firstTrack = pwtest::ReadFileBytes(iInstall / "examples/Pacewright/Tracks/Example track-track.bin");
  ASSERT_FALSE(first.empty());
  ASSERT_TRUE(pwtest::WriteFileBytes(plots.string(), "damaged"));
  MakeExamplesL(iInstall / "examples");
  EXPECT_EQ(first, pwtest::ReadFileBytes(plots.string()));
  EXPECT_EQ(firstTrack, pwtest::ReadFileBytes(iInstall / "examples/Pacewright/Tracks/Example track-track.bin"));
  EXPECT_EQ(DemoDriveText(DemoDriveOptions()),
            pwtest::ReadFileBytes(iInstall / (std::string("examples/") + KDemoDriveFileName)));
}

TEST(ShippedExamples, BuiltIntoTheDataFolderAreFoundByAProgramRunFromTheBuildFolder) {
  // The build writes them into the source tree's data folder, which is the installation
  // folder of a program that does not sit in an installed prefix.
  const std::string folder = std::string(PW_SOURCE_DATA_DIR) + "/examples";
  if (!std::filesystem::exists(folder + "/" + KDemoDriveFileName)) GTEST_SKIP() << "examples not built yet";
  pwtest::TempDir home;
  ScopedEnv install("PACEWRIGHT_INSTALL", nullptr);
  ScopedEnv documents("PACEWRIGHT_DOCUMENTS", home / "Documents");
  ScopedEnv appData("PACEWRIGHT_APPDATA", home / "appdata");
  CPwString root;
  InstallFolder(root);
  EXPECT_EQ(std::string(PW_SOURCE_DATA_DIR) + "/", PwToUtf8(root));

  std::unique_ptr<CPwDrives> drives(CPwDrives::NewL("/nonexistent-mount-table"));
  CSessionList sessions(*drives);
  sessions.Refresh();
  ASSERT_EQ(1, sessions.Count());
  ExampleModel model(PwStringFromUtf8(folder + "/"));
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  ASSERT_EQ(1, session->OpenStoredSession(*sessions.At(0)));
  session->LoadSamplesL();
  ASSERT_EQ(6, session->Laps().LapCount());
  for (int32_t i = 0; i < 5; ++i) EXPECT_TRUE(session->Laps().Lap(i)->IsFinished()) << i;
  EXPECT_EQ(DemoDriveText(DemoDriveOptions()), pwtest::ReadFileBytes(folder + "/" + KDemoDriveFileName));
}

TEST(Icons, AreTransparentPictogramsTheDrawingLayerReadsBack) {
  const std::vector<std::string> names = IconNames();
  EXPECT_GE(names.size(), 30u);
  for (const char* needed : {"map_zoom_in", "map_zoom_out", "new_session", "sessions", "tracks", "tests", "settings",
                             "record", "pause", "stop", "laps", "map", "graphs", "traps", "gps", "obd", "logger"})
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), needed)) << needed;
  EXPECT_EQ(nullptr, DrawIconL("no_such_icon"));

  pwtest::TempDir dir;
  ASSERT_EQ(static_cast<int32_t>(names.size()), MakeIconsL(dir / "icons"));
  for (const std::string& name : names) {
    std::unique_ptr<CPwBitmap> icon(CPwBitmap::LoadPngL(PwStringFromUtf8(dir / ("icons/" + name + ".png"))));
    ASSERT_NE(nullptr, icon) << name;
    EXPECT_EQ(KIconSize, icon->Width());
    EXPECT_EQ(KIconSize, icon->Height());
    int32_t opaque = 0, clear = 0;
    for (int32_t y = 0; y < KIconSize; ++y)
      for (int32_t x = 0; x < KIconSize; ++x) {
        const uint32_t a = icon->Pixel(x, y) >> 24;
        opaque += a == 255;
        clear += a == 0;
      }
    EXPECT_EQ(0u, icon->Pixel(0, 0) >> 24) << name << ": corners show the background";
    EXPECT_GT(opaque, KIconSize * KIconSize / 20) << name;
    EXPECT_GT(clear, KIconSize * KIconSize / 5) << name;
    // What a small screen's layout loads.
    std::unique_ptr<CPwBitmap> small(
        CPwBitmap::LoadPngL(PwStringFromUtf8(dir / ("icons/" + name + ".png")), 16, 16));
    ASSERT_NE(nullptr, small) << name;
    EXPECT_EQ(16, small->Width());
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir / "icons"))
    EXPECT_EQ(".png", entry.path().extension()) << entry.path();
}

}  // namespace
