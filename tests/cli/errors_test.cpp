// How the command line fails: one clear line on standard error and exit status 1 for a request
// that cannot be carried out, a short usage and status 2 for wrong usage, and nothing written
// when a request is refused.
#include <sys/stat.h>

#include <filesystem>

#include "acquisition/pty_device.h"
#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

size_t Lines(const std::string& aText) { return static_cast<size_t>(std::count(aText.begin(), aText.end(), '\n')); }

void ExpectUserError(const RunResult& aResult, const std::string& aMessage) {
  EXPECT_EQ(aResult.iCode, 1) << aResult;
  EXPECT_EQ(aResult.iErr, "pacewright-cli: " + aMessage + "\n");
  EXPECT_EQ(aResult.iOut, "");
}

TEST(CliErrors, RequestsThatCannotBeCarriedOutSayWhyInOneLine) {
  Cli cli;
  ExpectUserError(cli.Run({"laps", "20261208-1200"}), "no session '20261208-1200'");
  ExpectUserError(cli.Run({"runs", "20261208-1200", "--json"}), "no session '20261208-1200'");
  ExpectUserError(cli.Run({"export", "nope", "--format", "kml", "--scope", "route"}), "no session 'nope'");
  ExpectUserError(cli.Run({"track", "show", "X"}), "no track named 'X'");

  const std::string log = cli.WriteWork("drive.nmea", CircleDrive({20.0, 20.0}, 1.2).Nmea());
  ExpectUserError(cli.Run({"import", "--format", "nmea", "--track", "X", log}), "no track named 'X'");
  ExpectUserError(cli.Run({"import", "--format", "nmea", "--test", "0-1000 kph", log}),
                  "no performance test named '0-1000 kph'");
  const std::string missing = cli.Work("missing.nmea");
  ExpectUserError(cli.Run({"import", "--format", "nmea", log, missing}),
                  "cannot read '" + missing + "': No such file or directory");
  ExpectUserError(cli.Run({"positions", "--format", "nmea", missing}),
                  "cannot read '" + missing + "': No such file or directory");
  const std::string folder = cli.Work("folder.nmea");
  std::filesystem::create_directory(folder);
  ExpectUserError(cli.Run({"import", "--format", "nmea", folder}), "cannot read '" + folder + "': Is a directory");
  if (::geteuid() != 0) {  // root reads everything
    const std::string locked = cli.WriteWork("locked.nmea", "$GPRMC\r\n");
    ::chmod(locked.c_str(), 0);
    ExpectUserError(cli.Run({"import", "--format", "nmea", locked}), "cannot read '" + locked + "': Permission denied");
  }
  // None of the refused imports left a session behind.
  EXPECT_EQ(cli.OkJson({"sessions"}).Size(), 0u);
  EXPECT_FALSE(std::filesystem::exists(cli.Documents() + "/Pacewright/Sessions") &&
               !std::filesystem::is_empty(cli.Documents() + "/Pacewright/Sessions"));
}

TEST(CliErrors, WrongUsageShowsTheUsageAndExitsWithTwo) {
  Cli cli;
  const std::string log = cli.WriteWork("drive.nmea", CircleDrive({20.0, 20.0}, 1.2).Nmea());
  struct TCase {
    std::vector<std::string> iArgs;
    std::string iFirstLine;
  };
  const std::vector<TCase> cases = {
      {{}, "pacewright-cli: no command given"},
      {{"frobnicate"}, "pacewright-cli: unknown command 'frobnicate'"},
      {{"track"}, "pacewright-cli: missing argument"},
      {{"track", "paint", "X"}, "pacewright-cli: unknown command 'track paint'"},
      {{"laps"}, "pacewright-cli: missing argument"},
      {{"laps", "a", "b"}, "pacewright-cli: unexpected argument 'b'"},
      {{"laps", "a", "--jsn"}, "pacewright-cli: unknown option '--jsn'"},
      {{"laps", "a", "-j"}, "pacewright-cli: unknown option '-j'"},
      {{"import", log}, "pacewright-cli: option '--format' is required"},
      {{"import", "--format", "nmea"}, "pacewright-cli: missing argument"},
      {{"import", "--format", "fit", log}, "pacewright-cli: option '--format' must be nmea|pbox|vbox|dl1|gpx, not 'fit'"},
      {{"import", "--format", "nmea", "--type", "lap", log}, "pacewright-cli: a lap-timing session needs --track NAME"},
      {{"import", "--format", "nmea", "--type", "perf", log},
       "pacewright-cli: a performance-testing session needs --test NAME"},
      {{"import", "--format"}, "pacewright-cli: option '--format' needs a value"},
      {{"tracks", "--json=yes"}, "pacewright-cli: option '--json' takes no value"},
      {{"record", "--input", log}, "pacewright-cli: record needs --track NAME, --test NAME or --log"},
      {{"record", "--input", log, "--log", "--test", "0-100 kph"},
       "pacewright-cli: only one of --track, --test, --log may be given"},
      {{"record", "--input", log, "--log", "--replay-delay", "-1"},
       "pacewright-cli: option '--replay-delay' needs a whole number from 0-10000, not '-1'"},
      {{"--documents"}, "pacewright-cli: option '--documents' needs a value"},
  };
  for (const TCase& c : cases) {
    const RunResult r = cli.Run(c.iArgs);
    EXPECT_EQ(r.iCode, 2) << Cli::Describe(c.iArgs) << "\n" << r;
    EXPECT_EQ(r.iErr.substr(0, r.iErr.find('\n')), c.iFirstLine) << Cli::Describe(c.iArgs);
    EXPECT_NE(r.iErr.find("usage"), std::string::npos) << r;  // a usage follows
    EXPECT_LT(Lines(r.iErr), 30u) << r;                       // and a short one
    EXPECT_EQ(r.iOut, "");
  }
  // A command's usage error shows that command's usage.
  const RunResult r = cli.Run({"laps"});
  EXPECT_NE(r.iErr.find("laps SESSION [--json]"), std::string::npos) << r;
  EXPECT_EQ(r.iErr.find("import --format"), std::string::npos) << r;
}

TEST(CliErrors, HelpDescribesEveryCommandOrOne) {
  Cli cli;
  const RunResult all = cli.Ok({"--help"});
  for (const std::string command : {"tracks", "track create", "track add-trap", "track show", "track lock",
                                    "track unlock", "track delete", "import", "sessions", "laps", "runs", "export",
                                    "positions", "tests", "download-tracks", "download-track", "upload-track", "record",
                                    "ports"})
    EXPECT_NE(all.iOut.find(" " + command + " "), std::string::npos) << command;
  EXPECT_EQ(all.iErr, "");
  EXPECT_EQ(cli.Ok({"help"}).iOut, all.iOut);

  const RunResult laps = cli.Ok({"help", "laps"});
  EXPECT_EQ(laps.iOut.rfind("usage: pacewright-cli laps SESSION [--json]\n", 0), 0u) << laps.iOut;
  EXPECT_EQ(cli.Ok({"laps", "--help"}).iOut, laps.iOut);
  const RunResult unlock = cli.Ok({"help", "track", "unlock"});
  EXPECT_NE(unlock.iOut.find("track unlock NAME"), std::string::npos) << unlock.iOut;
  const RunResult family = cli.Ok({"help", "track"});
  EXPECT_NE(family.iOut.find("track add-trap"), std::string::npos);
  EXPECT_NE(family.iOut.find("track delete"), std::string::npos);
  EXPECT_EQ(cli.Run({"help", "frobnicate"}).iCode, 2);
}

TEST(CliErrors, FoldersGivenOnTheCommandLineReplaceTheEnvironment) {
  Cli cli;
  cli.SetEnv("PACEWRIGHT_DOCUMENTS", "");
  cli.SetEnv("PACEWRIGHT_APPDATA", "");
  cli.SetEnv("XDG_DOCUMENTS_DIR", "");
  cli.SetEnv("XDG_DATA_HOME", "");
  pwtest::TempDir home;
  cli.SetEnv("HOME", home.Path());
  pwtest::TempDir documents, appdata;
  cli.Ok({"--documents", documents.Path(), "track", "create", "Ring", "--appdata=" + appdata.Path() + "/new"});
  EXPECT_TRUE(std::filesystem::exists(documents.Path() + "/Pacewright/Tracks/Ring-track.bin"));
  EXPECT_TRUE(std::filesystem::is_directory(appdata.Path() + "/new"));
  // Without them the home folder's documents are used, and the track is not there.
  EXPECT_EQ(cli.OkJson({"tracks"}).Size(), 0u);
  EXPECT_EQ(cli.OkJson({"tracks", "--documents", documents.Path()}).Size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(home.Path() + "/Documents"));
}

TEST(CliErrors, ProgressGoesToATerminalOnlyAndNeverToTheOutput) {
  Cli cli;
  const std::string log = cli.WriteWork("drive.nmea", CircleDrive(std::vector<double>(12, 20.0), 11.0).Nmea());
  // On a pipe: the identifier alone, and nothing on standard error.
  const RunResult quiet = cli.Ok({"import", "--format", "nmea", log});
  EXPECT_EQ(quiet.iErr, "");
  EXPECT_EQ(Lines(quiet.iOut), 1u);

  pwtest::TPtyDevice terminal;
  ASSERT_TRUE(terminal.IsOpen());
  terminal.StartReading();  // what the program writes to the terminal
  const RunResult shown = cli.Run({"import", "--format", "nmea", log}, terminal.Slave());
  EXPECT_EQ(shown.iCode, 0);
  EXPECT_EQ(Lines(shown.iOut), 1u);
  EXPECT_NE(shown.iOut.find('-'), std::string::npos);
  EXPECT_TRUE(terminal.WaitForReceived("100%", 5000)) << terminal.Received();
  EXPECT_NE(terminal.Received().find("Importing... ["), std::string::npos) << terminal.Received();
  const RunResult laps = cli.Run({"laps", shown.Line()}, terminal.Slave());
  EXPECT_EQ(laps.iCode, 1);  // a data-logging session has no laps; the message went to the terminal
  EXPECT_TRUE(terminal.WaitForReceived("is not a lap-timing session", 5000)) << terminal.Received();
}

}  // namespace
}  // namespace pwclitest
