// Sessions through the command line: importing drives whose laps and runs are known exactly,
// listing them, exporting every format and scope, and reading positions straight from a log;
// then a real logger's file and the shipped demo drive.
#include <filesystem>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

// Lap k runs from phase k - 1 to k; speeds change at the south points only.
const std::vector<double> KSpeeds = {20.0, 22.0, 19.0, 20.0};
constexpr double KEndPhase = 3.3;

void AddTrap(Cli& aCli, const std::string& aTrack, const std::string& aType, double aPhase, const std::string& aName) {
  double lat, lon, bearing;
  CircleDrive::TrapAt(aPhase, lat, lon, bearing);
  char latText[32], lonText[32], bearingText[32];
  std::snprintf(latText, sizeof latText, "%.9f", lat);
  std::snprintf(lonText, sizeof lonText, "%.9f", lon);
  std::snprintf(bearingText, sizeof bearingText, "%.6f", bearing);
  aCli.Ok({"track", "add-trap", aTrack, "--type", aType, "--lat", latText, "--lon", lonText, "--bearing", bearingText,
           "--width", "20", "--trap-name", aName});
}

// "Circle": the start/finish line at the north point, a split at the east point.
void MakeCircleTrack(Cli& aCli) {
  aCli.Ok({"track", "create", "Circle"});
  AddTrap(aCli, "Circle", "start-finish", 0.0, "Line");
  AddTrap(aCli, "Circle", "split", 0.25, "East");
}

std::string ImportCircle(Cli& aCli, const std::string& aFile = "circle.nmea") {
  const CircleDrive drive(KSpeeds, KEndPhase);
  const std::string path = aCli.WriteWork(aFile, drive.Nmea());
  const RunResult imported = aCli.Ok({"import", "--format", "nmea", "--track", "circle", "--title", "Circle laps",
                                      "--driver", "Ann", path});
  return imported.Line();
}

TEST(CliSessions, ImportedLapsCarryTheTimesSplitsSectorsAndSpeedsOfTheDrive) {
  Cli cli;
  MakeCircleTrack(cli);
  const std::string id = ImportCircle(cli);
  ASSERT_FALSE(id.empty());

  const CircleDrive drive(KSpeeds, KEndPhase);
  const Json laps = cli.OkJson({"laps", id});
  EXPECT_EQ(laps["session"].String(), id);
  EXPECT_EQ(laps["track"].String(), "Circle");  // as the track is named, not as typed
  ASSERT_EQ(laps["laps"].Size(), 4u);            // three finished, the fourth running
  double best = 1e18, optimal = 0;
  double bestFirst = 1e18, bestSecond = 1e18;
  int bestLap = 0;
  for (size_t i = 0; i < 3; ++i) {
    const Json& lap = laps["laps"][i];
    const double from = static_cast<double>(i), split = from + 0.25, to = from + 1.0;
    EXPECT_EQ(lap["number"].Number(), i + 1.0);
    EXPECT_TRUE(lap["finished"].Bool());
    EXPECT_FALSE(lap["invalid"].Bool());
    EXPECT_NEAR(lap["time_ms"].Number(), drive.Ms(from, to), 3.0) << "lap " << i + 1;
    ASSERT_EQ(lap["splits_ms"].Size(), 1u);
    EXPECT_NEAR(lap["splits_ms"][0].Number(), drive.Ms(from, split), 3.0);
    ASSERT_EQ(lap["sectors_ms"].Size(), 2u);
    EXPECT_NEAR(lap["sectors_ms"][0].Number(), drive.Ms(from, split), 3.0);
    EXPECT_NEAR(lap["sectors_ms"][1].Number(), drive.Ms(split, to), 3.0);
    ASSERT_EQ(lap["trap_speeds_mps"].Size(), 3u);  // start, split, finish
    EXPECT_NEAR(lap["trap_speeds_mps"][0].Number(), drive.SpeedAt(from), 0.05);
    EXPECT_NEAR(lap["trap_speeds_mps"][1].Number(), drive.SpeedAt(split), 0.05);
    EXPECT_NEAR(lap["trap_speeds_mps"][2].Number(), drive.SpeedAt(to), 0.05);
    // The chords of 10 Hz samples fall a little short of the circle.
    EXPECT_NEAR(lap["distance_m"].Number(), 2.0 * M_PI * CircleDrive::KRadius, 1.5);
    if (drive.Ms(from, to) < best) best = drive.Ms(from, to), bestLap = static_cast<int>(i) + 1;
    bestFirst = std::min(bestFirst, drive.Ms(from, split));
    bestSecond = std::min(bestSecond, drive.Ms(split, to));
  }
  optimal = bestFirst + bestSecond;
  const Json& running = laps["laps"][3];
  EXPECT_FALSE(running["finished"].Bool());
  EXPECT_TRUE(running["time_ms"].IsNull());
  EXPECT_TRUE(running["distance_m"].IsNull());
  EXPECT_EQ(running["splits_ms"].Size(), 1u);  // it passed the east point
  EXPECT_EQ(laps["best"].Number(), bestLap);
  EXPECT_NEAR(laps["optimal_ms"].Number(), optimal, 5.0);
  EXPECT_TRUE(laps["previous_best"].IsNull() || laps["previous_best"].Kind() == Json::ENumber);

  // The table shows the same laps and marks the best.
  const RunResult table = cli.Ok({"laps", id});
  EXPECT_NE(table.iOut.find("Session " + id + " on Circle"), std::string::npos) << table.iOut;
  EXPECT_NE(table.iOut.find("best"), std::string::npos);
  EXPECT_NE(table.iOut.find("running"), std::string::npos);
  EXPECT_NE(table.iOut.find("Optimal"), std::string::npos);

  // The catalogue lists the session with the summary the import saved.
  const Json sessions = cli.OkJson({"sessions"});
  ASSERT_EQ(sessions.Size(), 1u);
  const Json& entry = sessions[0];
  EXPECT_EQ(entry["session"].String(), id);
  EXPECT_EQ(entry["title"].String(), "Circle laps");
  EXPECT_EQ(entry["driver"].String(), "Ann");
  EXPECT_EQ(entry["type"].String(), "lap");
  EXPECT_EQ(entry["track"].String(), "Circle");
  EXPECT_FALSE(entry["recorded"].Bool());  // imported, not recorded live
  EXPECT_EQ(entry["laps"].Number(), 3);
  EXPECT_EQ(entry["best_lap"].Number(), bestLap);
  EXPECT_NEAR(entry["best_lap_ms"].Number(), best, 3.0);
  EXPECT_FALSE(entry["read_only"].Bool());
  EXPECT_EQ(entry["root"].String(), cli.Documents() + "/");
}

TEST(CliSessions, TheReceiversHealthIsKeptInTheSummaryAndShownWithTheLaps) {
  Cli cli;
  MakeCircleTrack(cli);
  const std::string id = ImportCircle(cli);
  const Json sessions = cli.OkJson({"sessions"});
  ASSERT_EQ(sessions.Size(), 1u);
  const Json& stored = sessions[0]["gnss"];
  EXPECT_GT(stored["samples"].Number(), 100);
  EXPECT_EQ(stored["glitches"].Number(), 0);
  EXPECT_EQ(stored["rate_hz"].Number(), 10.0);
  EXPECT_EQ(stored["interval_ms"].Number(), 100);
  EXPECT_EQ(stored["jitter_ms"].Number(), 0.0);
  EXPECT_TRUE(stored["fix_3d_share"].IsNull()) << "no GSA, no VDOP";
  EXPECT_EQ(stored["hdop_median"].Number(), 0.9);
  EXPECT_EQ(stored["hdop_max"].Number(), 0.9);
  EXPECT_EQ(stored["satellites_min"].Number(), 9);
  EXPECT_EQ(stored["satellites_median"].Number(), 9);
  // The laps rebuilt from the samples say the same as the stored summary.
  const Json laps = cli.OkJson({"laps", id});
  EXPECT_EQ(laps["gnss"]["samples"].Number(), stored["samples"].Number());
  EXPECT_EQ(laps["gnss"]["hdop_median"].Number(), 0.9);
  const RunResult table = cli.Ok({"laps", id});
  EXPECT_NE(table.iOut.find("GPS: 10.0 Hz (jitter 0.0 ms), 3D fix in - of the samples\n"), std::string::npos)
      << table.iOut;
  EXPECT_NE(table.iOut.find("HDOP 0.90 (max 0.90), satellites 9 (min 9)\n"), std::string::npos);
  EXPECT_EQ(table.iOut.find("glitches"), std::string::npos);
}

TEST(CliSessions, ASecondImportInTheSameMinuteGetsItsOwnIdentifier) {
  Cli cli;
  MakeCircleTrack(cli);
  const std::string first = ImportCircle(cli, "a.nmea");
  const std::string second = ImportCircle(cli, "b.nmea");
  EXPECT_NE(first, second);
  EXPECT_EQ(cli.OkJson({"sessions"}).Size(), 2u);
  EXPECT_EQ(cli.OkJson({"laps", first})["laps"].Size(), cli.OkJson({"laps", second})["laps"].Size());
}

TEST(CliSessions, FilesAreImportedOneAfterAnotherIntoOneSession) {
  Cli cli;
  MakeCircleTrack(cli);
  const std::string whole = CircleDrive(KSpeeds, KEndPhase).Nmea();
  // Cut between two epochs (each epoch is two sentences).
  size_t cut = whole.size() / 2;
  cut = whole.find("$GPRMC", cut);
  const std::string a = cli.WriteWork("part1.nmea", whole.substr(0, cut));
  const std::string b = cli.WriteWork("part2.nmea", whole.substr(cut));
  const std::string id = cli.Ok({"import", "--format", "nmea", "--track", "Circle", a, b}).Line();
  const Json laps = cli.OkJson({"laps", id});
  ASSERT_EQ(laps["laps"].Size(), 4u);
  EXPECT_NEAR(laps["laps"][1]["time_ms"].Number(), CircleDrive(KSpeeds, KEndPhase).Ms(1.0, 2.0), 3.0);
  EXPECT_EQ(cli.OkJson({"sessions"})[0]["title"].String(), "part1.nmea");  // the first file names it
}

TEST(CliSessions, RunsOfAnAccelerationShowEveryTestTheySatisfy) {
  Cli cli;
  // Standing, 5 m/s2 to 30 m/s, cruising, braking to a stop, standing.
  const std::string path =
      cli.WriteWork("run.nmea", StraightDrive().Phase(3, 0).Phase(6, 5).Phase(6, 0).Phase(5, -6).Phase(3, 0).Nmea());
  const std::string id = cli.Ok({"import", "--format", "nmea", "--test", "0-100 KPH", path}).Line();

  const Json runs = cli.OkJson({"runs", id});
  EXPECT_EQ(runs["session"].String(), id);
  EXPECT_EQ(runs["test"].String(), "0-100 kph");
  ASSERT_GE(runs["runs"].Size(), 1u);
  EXPECT_EQ(runs["best"].Number(), 1);
  const Json& run = runs["runs"][0];
  EXPECT_EQ(run["number"].Number(), 1);
  EXPECT_NEAR(run["time_ms"].Number(), 100 / 3.6 / 5.0 * 1000.0, 60.0);
  EXPECT_TRUE(run["finish_speed_mps"].IsNull());  // speed tests end at a speed

  // A distance test of the same run: 90 m accelerating, the rest of the eighth mile at 30 m/s.
  const Json eighth = cli.OkJson({"runs", id, "--test", "1/8 mile"});
  EXPECT_EQ(eighth["test"].String(), "1/8 mile");
  EXPECT_NEAR(eighth["runs"][0]["time_ms"].Number(), (6.0 + (201.168 - 90.0) / 30.0) * 1000.0, 60.0);
  EXPECT_NEAR(eighth["runs"][0]["finish_speed_mps"].Number(), 30.0, 0.2);

  const RunResult unknown = cli.Run({"runs", id, "--test", "0-300 kph"});
  EXPECT_EQ(unknown.iCode, 1);
  EXPECT_EQ(unknown.iErr, "pacewright-cli: no performance test named '0-300 kph'\n");
  const RunResult notLaps = cli.Run({"laps", id});
  EXPECT_EQ(notLaps.iCode, 1);
  EXPECT_EQ(notLaps.iErr, "pacewright-cli: '" + id + "' is not a lap-timing session (Performance testing)\n");

  const Json tests = cli.OkJson({"tests"});
  ASSERT_EQ(tests.Size(), 12u);
  EXPECT_EQ(tests[6]["name"].String(), "0-100 kph");
  EXPECT_EQ(tests[6]["kind"].String(), "speed");
  EXPECT_NEAR(tests[6]["finish_speed_mps"].Number(), 100 / 3.6, 1e-3);
  EXPECT_TRUE(tests[6]["distance_m"].IsNull());
  EXPECT_EQ(tests[0]["kind"].String(), "distance");
  EXPECT_TRUE(tests[0]["built_in"].Bool());
}

TEST(CliSessions, EveryFormatAndScopeExportsBelowTheExportsFolder) {
  Cli cli;
  MakeCircleTrack(cli);
  const std::string id = ImportCircle(cli);
  const std::string exports = cli.Documents() + "/Pacewright/Exports/";
  for (const std::string format : {"kml", "csv", "vbo", "dat", "gpx"}) {
    for (const std::string scope : {"best", "selected", "all", "route"}) {
      const RunResult r = cli.Ok({"export", id, "--format", format, "--scope", scope});
      const std::string path = r.Line();
      EXPECT_EQ(path.rfind(exports + id, 0), 0u) << path;
      EXPECT_EQ(path.substr(path.size() - format.size() - 1), "." + format) << path;
      EXPECT_GT(std::filesystem::file_size(path), 100u) << path;
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(exports), std::filesystem::directory_iterator()), 20);

  // The route holds every sample; a lap's file far fewer.
  const std::string route = cli.Ok({"export", id, "--format", "gpx", "--scope", "route"}).Line();
  const std::string lap = cli.Ok({"export", id, "--format", "gpx", "--scope", "selected", "--lap", "2"}).Line();
  EXPECT_NE(lap.find("-lap-2-"), std::string::npos) << lap;
  EXPECT_GT(std::filesystem::file_size(route), 2 * std::filesystem::file_size(lap));
  const std::string semicolons =
      cli.Ok({"export", id, "--format", "csv", "--scope", "route", "--separators", "semicolon-comma"}).Line();
  EXPECT_NE(pwtest::ReadFileBytes(semicolons).find(';'), std::string::npos);
  const Json json = cli.OkJson({"export", id, "--format", "kml", "--scope", "selected", "--lap", "optimal"});
  EXPECT_NE(json["path"].String().find("-optimal-lap-"), std::string::npos) << json["path"].String();

  // Laps that a format cannot hold are refused, and no empty file is left behind.
  const size_t before =
      std::distance(std::filesystem::directory_iterator(exports), std::filesystem::directory_iterator());
  for (const std::vector<std::string>& refused :
       {std::vector<std::string>{"export", id, "--format", "gpx", "--scope", "selected", "--lap", "optimal"},
        {"export", id, "--format", "gpx", "--scope", "selected", "--lap", "4"}}) {
    const RunResult r = cli.Run(refused);
    EXPECT_EQ(r.iCode, 1) << r;
    EXPECT_EQ(r.iErr.rfind("pacewright-cli: nothing to export", 0), 0u) << r;
  }
  const RunResult noLap = cli.Run({"export", id, "--format", "gpx", "--scope", "selected", "--lap", "9"});
  EXPECT_EQ(noLap.iCode, 1);
  EXPECT_EQ(noLap.iErr, "pacewright-cli: the session has no lap 9\n");
  EXPECT_EQ(before, static_cast<size_t>(std::distance(std::filesystem::directory_iterator(exports),
                                                      std::filesystem::directory_iterator())));
  EXPECT_EQ(cli.Run({"export", id, "--format", "xls", "--scope", "route"}).iCode, 2);
  EXPECT_EQ(cli.Run({"export", id, "--format", "gpx"}).iCode, 2);
  EXPECT_EQ(cli.Run({"export", id, "--format", "gpx", "--scope", "selected", "--lap", "0"}).iCode, 2);
}

TEST(CliSessions, PositionsArePrintedAsTheParserDeliversThem) {
  Cli cli;
  const CircleDrive drive(KSpeeds, 0.2);
  std::string log = drive.Nmea();
  // A receiver without a fix yet, and a sentence cut by a checksum error: neither is a position.
  log = Framed("GPRMC,095959.90,V,,,,,,,080524,,,N") + log;
  const std::string path = cli.WriteWork("drive.nmea", log);
  const RunResult r = cli.Ok({"positions", "--format", "nmea", path, "--json"});
  std::istringstream lines(r.iOut);
  std::string line;
  size_t count = 0;
  Json first, summary;
  while (std::getline(lines, line)) {
    Json value;
    ASSERT_TRUE(Json::Parse(line, value)) << line;
    if (count++ == 0) first = value;
    summary = value;
  }
  // Every position, then the summary line.
  const size_t expected = static_cast<size_t>(drive.TimeAt(0.2) * 10) + 1;
  EXPECT_EQ(count, expected + 1);
  EXPECT_EQ(summary["positions"].Number(), static_cast<double>(expected));
  EXPECT_EQ(summary["dropped"].Number(), 0);
  EXPECT_EQ(r.iErr, "");
  EXPECT_EQ(first["tod_ms"].Number(), static_cast<double>(KDriveStartMs));
  EXPECT_NEAR(first["lat"].Number(), KCentreLat - NorthDegrees(CircleDrive::KRadius), 1e-6);
  EXPECT_NEAR(first["lon"].Number(), KCentreLon, 1e-6);
  EXPECT_NEAR(first["speed_mps"].Number(), 20.0, 0.01);
  EXPECT_NEAR(first["bearing_deg"].Number(), 270.0, 0.01);
  EXPECT_NEAR(first["alt_m"].Number(), 250.0, 0.01);
  EXPECT_EQ(first["sats"].Number(), 9);
  EXPECT_EQ(first["date"].String(), "2024-05-08");

  const RunResult table = cli.Ok({"positions", "--format", "nmea", path});
  EXPECT_NE(table.iOut.find("10:00:00.000"), std::string::npos) << table.iOut.substr(0, 400);
  EXPECT_NE(table.iOut.find("2024-05-08"), std::string::npos);

  // A foreign format read as NMEA yields nothing, quietly.
  const std::string garbage = cli.WriteWork("garbage.vbo", std::string(5000, '\xFF'));
  EXPECT_EQ(cli.Ok({"positions", "--format", "vbox", garbage, "--json"}).iOut, "{\"positions\":0,\"dropped\":0}\n");
}

TEST(CliSessions, ARealKartLogGivesLapsOnceALineIsLaidAcrossItsCircuit) {
  PW_REQUIRE_TESTDATA();
  Cli cli;
  const std::string log = pwtest::TestDataDir() + "/vbo/karting-part.vbo";
  // The positions of the real file: many, all near the circuit.
  const RunResult positions = cli.Ok({"positions", "--format", "vbox", log, "--json"});
  const size_t count = static_cast<size_t>(std::count(positions.iOut.begin(), positions.iOut.end(), '\n'));
  EXPECT_GT(count, 8000u);
  Json first;
  ASSERT_TRUE(Json::Parse(positions.iOut.substr(0, positions.iOut.find('\n')), first));
  EXPECT_NEAR(first["lat"].Number(), 30.2638, 0.01);
  EXPECT_NEAR(first["lon"].Number(), 120.3157, 0.01);

  cli.Ok({"track", "create", "Kart"});
  cli.Ok({"track", "add-trap", "Kart", "--type", "start-finish", "--lat", "30.26381", "--lon", "120.31566",
          "--bearing", "34", "--width", "30", "--bidirectional"});
  const std::string id = cli.Ok({"import", "--format", "vbox", "--track", "Kart", log}).Line();
  const Json laps = cli.OkJson({"laps", id});
  int finished = 0;
  for (size_t i = 0; i < laps["laps"].Size(); ++i) {
    const Json& lap = laps["laps"][i];
    if (!lap["finished"].Bool()) continue;
    ++finished;
    // A kart circuit of some 150 by 170 m.
    EXPECT_GT(lap["time_ms"].Number(), 15000) << i;
    EXPECT_LT(lap["time_ms"].Number(), 120000) << i;
    EXPECT_GT(lap["distance_m"].Number(), 200) << i;
    EXPECT_LT(lap["distance_m"].Number(), 1500) << i;
  }
  EXPECT_GE(finished, 3);
  // A real 25 Hz logger with dropped samples but no glitch: its laps are timed from every sample.
  const Json& gnss = laps["gnss"];
  EXPECT_EQ(gnss["glitches"].Number(), 0);
  EXPECT_EQ(gnss["interval_ms"].Number(), 40);
  EXPECT_GT(gnss["jitter_ms"].Number(), 0.0);
  EXPECT_EQ(gnss["satellites_min"].Number(), 8);
  EXPECT_TRUE(gnss["hdop_median"].IsNull()) << "the file has no HDOP";
  cli.Ok({"export", id, "--format", "vbo", "--scope", "all"});
}

TEST(CliSessions, TheDemoDriveOnTheExampleTrackTimesItsLaps) {
  Cli cli;
  cli.UseSourceInstall();
  const std::string demo = std::string(PW_SOURCE_DATA_DIR) + "/examples/demo-drive.nmea";
  if (!std::filesystem::exists(demo)) GTEST_SKIP() << "the examples are not built";
  const std::string id = cli.Ok({"import", "--format", "nmea", "--track", "Example track", demo}).Line();
  const Json laps = cli.OkJson({"laps", id});
  int finished = 0;
  for (size_t i = 0; i < laps["laps"].Size(); ++i) {
    const Json& lap = laps["laps"][i];
    if (!lap["finished"].Bool()) continue;
    ++finished;
    EXPECT_EQ(lap["splits_ms"].Size(), 2u);
    EXPECT_EQ(lap["sectors_ms"].Size(), 3u);
  }
  EXPECT_GE(finished, 5);
  EXPECT_FALSE(laps["best"].IsNull());
  EXPECT_FALSE(laps["optimal_ms"].IsNull());
  EXPECT_LE(laps["optimal_ms"].Number(), laps["laps"][laps["best"].Number() - 1]["time_ms"].Number());

  // The shipped example session is listed, read only, and its exports go to the documents.
  const Json sessions = cli.OkJson({"sessions"});
  bool example = false;
  for (size_t i = 0; i < sessions.Size(); ++i)
    if (sessions[i]["session"].String() == "20070101-0000-example") example = sessions[i]["read_only"].Bool();
  EXPECT_TRUE(example);
  const std::string path = cli.Ok({"export", "20070101-0000-example", "--format", "gpx", "--scope", "best"}).Line();
  EXPECT_EQ(path.rfind(cli.Documents() + "/Pacewright/Exports/", 0), 0u) << path;
}

}  // namespace
}  // namespace pwclitest
