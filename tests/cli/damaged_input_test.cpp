// Damaged input from outside and damaged stored files: impossible values are refused and
// counted, a log with nothing usable makes no session, and damaged stored data is shown as
// damaged instead of passing for healthy or vanishing.
#include <sys/stat.h>

#include <filesystem>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

namespace fs = std::filesystem;

void ExpectUserError(const RunResult& aResult, const std::string& aMessage) {
  EXPECT_EQ(aResult.iCode, 1) << aResult;
  EXPECT_EQ(aResult.iErr, "pacewright-cli: " + aMessage + "\n");
  EXPECT_EQ(aResult.iOut, "");
}

bool NoSessionFiles(const Cli& aCli) {
  const fs::path sessions = aCli.Documents() + "/Pacewright/Sessions";
  return !fs::exists(sessions) || fs::is_empty(sessions);
}

TEST(CliDamagedInput, ImpossibleSamplesAreDroppedCountedAndReported) {
  Cli cli;
  // Ten good epochs with damaged ones among them: 52 degrees 99.99 minutes, a latitude past
  // the pole, a speed of 21 474 836 m/s, a time with a sign and one at hour 25.
  std::string log;
  for (int i = 0; i < 10; ++i) log += Epoch(KDriveStartMs + i * 1000, 48.0 + i * 1e-4, 11.0, 10.0, 0.0);
  log += Framed("GPRMC,100010.00,A,5299.99,N,01100.000,E,5.0,0.0,080524,,,A");
  log += Framed("GPRMC,100011.00,A,9100.00,N,01100.000,E,5.0,0.0,080524,,,A");
  log += Framed("GPRMC,100012.00,A,4800.100,N,01100.000,E,41742867.0,0.0,080524,,,A");
  log += Framed("GPRMC,-00006.00,A,4800.100,N,01100.000,E,5.0,0.0,080524,,,A");
  log += Framed("GPRMC,250000.00,A,4800.100,N,01100.000,E,5.0,0.0,080524,,,A");
  log += Framed("GPRMC,100020.00,A,4800.100,N,01100.000,E,5.0,0.0,080524,,,A");
  const std::string path = cli.WriteWork("damaged.nmea", log);

  const RunResult text = cli.Ok({"import", "--format", "nmea", path});
  EXPECT_EQ(text.iErr,
            "dropped 5 samples with impossible values (a position off the globe, a speed outside 0-150 m/s or no "
            "time of day)\n");
  const RunResult json = cli.Ok({"import", "--format", "nmea", path, "--json"});
  EXPECT_EQ(json.JsonOut()["dropped"].Number(), 5);
  EXPECT_EQ(json.JsonOut()["positions"].Number(), 10);

  // The route exported holds the good samples only: no distance of thousands of kilometres.
  const std::string id = json.JsonOut()["session"].String();
  const RunResult exported = cli.Ok({"export", id, "--format", "csv", "--scope", "route"});
  std::ifstream csv(exported.Line());
  std::string line, last;
  while (std::getline(csv, line))
    if (!line.empty()) last = line;
  EXPECT_EQ(last.find("35913923"), std::string::npos) << last;

  // A clean log says nothing on standard error and counts no drops.
  const std::string clean = cli.WriteWork("clean.nmea", CircleDrive({20.0}, 0.2).Nmea());
  const RunResult quiet = cli.Ok({"import", "--format", "nmea", clean, "--json"});
  EXPECT_EQ(quiet.iErr, "");
  EXPECT_EQ(quiet.JsonOut()["dropped"].Number(), 0);
}

TEST(CliDamagedInput, ALogWithoutPositionsMakesNoSession) {
  Cli cli;
  const std::string empty = cli.WriteWork("empty.nmea", "");
  const std::string nmea = cli.WriteWork("drive.nmea", CircleDrive({20.0}, 0.2).Nmea());
  const std::string vbo = cli.WriteWork("drive.vbo",
                                        "File created on 24/12/2007 at 10:00:00\r\n\r\n[header]\r\ntime\r\nlatitude\r\n"
                                        "longitude\r\n\r\n[data]\r\n120000.00 +03089.45027 +00039.66772\r\n");
  const std::string damaged = cli.WriteWork("damaged.nmea", Framed("GPRMC,100011.00,A,9100.00,N,01100.000,E,5.0,0.0,080524,,,A") +
                                                                Framed("GPRMC,100012.00,A,9100.00,N,01100.000,E,5.0,0.0,080524,,,A"));
  ExpectUserError(cli.Run({"import", "--format", "nmea", empty}), "no positions found in " + empty + " as NMEA");
  ExpectUserError(cli.Run({"import", "--format", "nmea", vbo}), "no positions found in " + vbo + " as NMEA");
  ExpectUserError(cli.Run({"import", "--format", "dl1", nmea}), "no positions found in " + nmea + " as DL-1");
  ExpectUserError(cli.Run({"import", "--format", "pbox", "--json", vbo, empty}),
                  "no positions found in " + vbo + ", " + empty + " as Perf.Box");
  const RunResult onlyDamage = cli.Run({"import", "--format", "nmea", damaged});
  EXPECT_EQ(onlyDamage.iCode, 1);
  EXPECT_NE(onlyDamage.iErr.find("dropped 1 samples"), std::string::npos) << onlyDamage;
  EXPECT_NE(onlyDamage.iErr.find("no positions found in " + damaged + " as NMEA"), std::string::npos);
  EXPECT_EQ(cli.OkJson({"sessions"}).Size(), 0u);
  EXPECT_TRUE(NoSessionFiles(cli));
  // The right format of the same file is imported.
  EXPECT_EQ(cli.Ok({"import", "--format", "vbox", vbo}).iCode, 0);
}

}  // namespace
}  // namespace pwclitest
