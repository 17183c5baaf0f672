// The automatic track from the command line: detect reports what a session would choose,
// import and record with --track auto time the laps of the track found, and a road drive
// finds nothing.
#include <fstream>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

std::vector<double> LapTimes(const Json& aLaps) {
  std::vector<double> times;
  for (size_t i = 0; i < aLaps["laps"].Size(); ++i)
    if (aLaps["laps"][i]["finished"].Bool()) times.push_back(aLaps["laps"][i]["time_ms"].Number());
  return times;
}

const Json* SessionNamed(const Json& aSessions, const std::string& aId) {
  for (size_t i = 0; i < aSessions.Size(); ++i)
    if (aSessions[i]["session"].String() == aId) return &aSessions[i];
  return nullptr;
}

TEST(CliDetect, ALapOfAnUnmappedCircuitMakesItsTrackAndTimesEveryLap) {
  Cli cli;
  const CircleDrive drive({20.0, 22.0, 21.0, 23.0, 20.0}, 4.2);
  const std::string log = cli.WriteWork("circle.nmea", drive.Nmea());

  // Nothing stored: the first loop decides, nothing is stored by detect.
  const Json loop = cli.OkJson({"detect", "--format", "nmea", log});
  EXPECT_EQ(loop["method"].String(), "loop");
  EXPECT_EQ(loop["track"].String().rfind("Auto ", 0), 0u) << loop["track"].String();
  EXPECT_EQ(loop["candidates"].Size(), 0u);
  EXPECT_GT(loop["decided_at_ms"].Number(), 20000);
  EXPECT_LT(loop["decided_at_ms"].Number(), drive.TimeAt(0.5) * 1000.0 + 2000);
  EXPECT_EQ(cli.OkJson({"tracks"}).Size(), 0u);
  EXPECT_NE(cli.Ok({"detect", "--format", "nmea", log}).iOut.find("(loop)"), std::string::npos);

  // Imported and recorded live with the automatic track: the same laps, all of them.
  const RunResult imported = cli.Ok({"import", "--format", "nmea", "--track", "auto", log});
  EXPECT_NE(imported.iErr.find("Track found automatically: Auto "), std::string::npos) << imported.iErr;
  const Json offline = cli.OkJson({"laps", imported.Line()});
  EXPECT_EQ(offline["track"].String().rfind("Auto ", 0), 0u);
  const std::vector<double> times = LapTimes(offline);
  ASSERT_EQ(times.size(), 4u);
  const Json tracks = cli.OkJson({"tracks"});
  ASSERT_EQ(tracks.Size(), 1u);

  // With that track stored, the next drive finds it: the only candidate, so the nearest.
  const Json stored = cli.OkJson({"detect", "--format", "nmea", log});
  EXPECT_EQ(stored["method"].String(), "nearest");
  EXPECT_EQ(stored["track"].String(), offline["track"].String());
  EXPECT_LT(stored["decided_at_ms"].Number(), 2000);
  EXPECT_LT(stored["distance_m"].Number(), 30.0);
  const Json recorded =
      cli.OkJson({"record", "--input", log, "--track", "auto", "--replay-delay", "0", "--title", "Live"});
  const Json live = cli.OkJson({"laps", recorded["session"].String()});
  EXPECT_EQ(live["track"].String(), offline["track"].String());
  EXPECT_EQ(LapTimes(live), times);
  EXPECT_EQ(cli.OkJson({"tracks"}).Size(), 1u);
}

TEST(CliDetect, ARoadDriveFindsNoTrack) {
  Cli cli;
  StraightDrive road;
  road.Phase(5, 4.0).Phase(150, 0.0);
  const std::string log = cli.WriteWork("road.nmea", road.Nmea());
  const RunResult none = cli.Run({"detect", "--format", "nmea", log, "--json"});
  EXPECT_EQ(none.iCode, 1) << none;
  EXPECT_NE(none.iErr.find("no track found"), std::string::npos) << none;
  EXPECT_EQ(none.iOut, "");

  const RunResult imported = cli.Ok({"import", "--format", "nmea", "--track", "auto", log});
  EXPECT_NE(imported.iErr.find("No track found"), std::string::npos) << imported.iErr;
  const Json sessions = cli.OkJson({"sessions"});
  const Json* session = SessionNamed(sessions, imported.Line());
  ASSERT_NE(session, nullptr);
  EXPECT_EQ((*session)["type"].String(), "log");
  EXPECT_EQ((*session)["track"].String(), "");
  EXPECT_EQ(cli.OkJson({"tracks"}).Size(), 0u);
}

TEST(CliDetect, TheKartLogClosesItsLoopWithinTheFirstLap) {
  const std::string path = std::string(PW_TESTDATA_DIR) + "/vbo/karting-part.vbo";
  if (!std::ifstream(path)) GTEST_SKIP() << "no " << path;
  Cli cli;
  const Json loop = cli.OkJson({"detect", "--format", "vbox", path});
  EXPECT_EQ(loop["method"].String(), "loop");
  EXPECT_LT(loop["decided_at_ms"].Number(), 90000);
  const std::string id = cli.Ok({"import", "--format", "vbox", "--track", "auto", path}).Line();
  const std::vector<double> laps = LapTimes(cli.OkJson({"laps", id}));
  EXPECT_GE(laps.size(), 5u);
  for (const double t : laps) {
    EXPECT_GT(t, 30000);
    EXPECT_LT(t, 90000);
  }
}

}  // namespace
}  // namespace pwclitest
