// Track profiles through the command line: creating, adding traps, showing, locking and deleting,
// with names that JSON must escape, and the refusals that keep tracks intact.
#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

TEST(CliTracks, ATrackIsCreatedGivenTrapsAndShownAsTheyWereGiven) {
  Cli cli;
  cli.Ok({"track", "create", "Ring"});
  cli.Ok({"track", "add-trap", "Ring", "--type", "start-finish", "--lat", "48.0017966", "--lon", "11.25",
          "--bearing", "90"});
  cli.Ok({"track", "add-trap", "Ring", "--type", "split", "--lat=-33.5", "--lon", "-70.25", "--bearing", "-90",
          "--width", "12.5", "--bidirectional", "--trap-name", "Hairpin"});

  const Json track = cli.OkJson({"track", "show", "Ring"});
  EXPECT_EQ(track["name"].String(), "Ring");
  EXPECT_FALSE(track["locked"].Bool());
  EXPECT_EQ(track["folder"].String(), cli.Documents() + "/");
  ASSERT_EQ(track["traps"].Size(), 2u);
  const Json& line = track["traps"][0];
  EXPECT_EQ(line["type"].String(), "start-finish");
  EXPECT_EQ(line["name"].String(), "Start/Finish line");  // the type's name when none is given
  // Coordinates are kept to 1/100000 minute of arc.
  EXPECT_NEAR(line["lat"].Number(), 48.0017966, 2e-7);
  EXPECT_NEAR(line["lon"].Number(), 11.25, 2e-7);
  EXPECT_NEAR(line["bearing_deg"].Number(), 90.0, 1e-6);
  EXPECT_NEAR(line["width_m"].Number(), 50.0, 0.01);  // stored as whole arc units
  EXPECT_FALSE(line["bidirectional"].Bool());
  const Json& split = track["traps"][1];
  EXPECT_EQ(split["type"].String(), "split");
  EXPECT_EQ(split["name"].String(), "Hairpin");
  EXPECT_NEAR(split["lat"].Number(), -33.5, 2e-7);
  EXPECT_NEAR(split["lon"].Number(), -70.25, 2e-7);
  EXPECT_NEAR(split["bearing_deg"].Number(), 270.0, 1e-6);  // -90 is the same direction
  EXPECT_NEAR(split["width_m"].Number(), 12.5, 0.01);
  EXPECT_TRUE(split["bidirectional"].Bool());

  const Json tracks = cli.OkJson({"tracks"});
  ASSERT_EQ(tracks.Size(), 1u);
  EXPECT_EQ(tracks[0]["name"].String(), "Ring");
  EXPECT_EQ(tracks[0]["traps"].Number(), 2);
  EXPECT_FALSE(tracks[0]["example"].Bool());

  // The readable forms carry the same facts, aligned.
  const RunResult table = cli.Ok({"tracks"});
  EXPECT_NE(table.iOut.find("Ring      2  no"), std::string::npos) << table.iOut;
  const RunResult shown = cli.Ok({"track", "show", "ring"});  // names match with case ignored
  EXPECT_NE(shown.iOut.find("Hairpin"), std::string::npos) << shown.iOut;
  EXPECT_NE(shown.iOut.find("-33.500000"), std::string::npos) << shown.iOut;
}

TEST(CliTracks, NamesWithQuotesBackslashesControlsAndAccentsSurviveTheJson) {
  Cli cli;
  // A track's name is a file name; a trap's name may hold anything.
  const std::string name = "Bob's \xC3\xA9t\xC3\xA9 \xF0\x9F\x8F\x81 ring";
  cli.Ok({"track", "create", name});
  const std::string trapName = "\"fast\" tab\there\x01 back\\slash \xE2\x80\xA8 end";
  cli.Ok({"track", "add-trap", name, "--type", "finish", "--lat", "1", "--lon", "2", "--bearing", "3", "--trap-name",
          trapName});
  const RunResult raw = cli.Ok({"track", "show", name, "--json"});
  // Control characters never reach the output raw.
  for (const char c : raw.Line()) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << raw.iOut;
  const Json track = raw.JsonOut();
  EXPECT_EQ(track["name"].String(), name);
  EXPECT_EQ(track["traps"][0]["name"].String(), trapName);
  EXPECT_EQ(cli.OkJson({"tracks"})[0]["name"].String(), name);
}

TEST(CliTracks, LockingGuardsTheTrapsAndDeletingRemovesTheTrack) {
  Cli cli;
  cli.Ok({"track", "create", "Ring"});
  cli.Ok({"track", "lock", "Ring"});
  EXPECT_TRUE(cli.OkJson({"track", "show", "Ring"})["locked"].Bool());
  const RunResult refused =
      cli.Run({"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "2", "--bearing", "3"});
  EXPECT_EQ(refused.iCode, 1) << refused;
  EXPECT_EQ(refused.iErr, "pacewright-cli: track 'Ring' is locked\n");
  EXPECT_EQ(cli.OkJson({"track", "show", "Ring"})["traps"].Size(), 0u);

  cli.Ok({"track", "unlock", "Ring"});
  cli.Ok({"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "2", "--bearing", "3"});
  EXPECT_EQ(cli.OkJson({"track", "show", "Ring"})["traps"].Size(), 1u);

  cli.Ok({"track", "delete", "RING"});
  EXPECT_EQ(cli.OkJson({"tracks"}).Size(), 0u);
  EXPECT_FALSE(std::ifstream(cli.Documents() + "/Pacewright/Tracks/Ring-track.bin").good());
  const RunResult gone = cli.Run({"track", "delete", "Ring"});
  EXPECT_EQ(gone.iCode, 1);
  EXPECT_EQ(gone.iErr, "pacewright-cli: no track named 'Ring'\n");
}

TEST(CliTracks, NamesAndTrapValuesAreCheckedBeforeAnythingIsWritten) {
  Cli cli;
  RunResult r = cli.Run({"track", "create", "bad/name"});
  EXPECT_EQ(r.iCode, 1);
  EXPECT_EQ(r.iErr, "pacewright-cli: Name contains invalid characters.\n");
  cli.Ok({"track", "create", "Ring"});
  r = cli.Run({"track", "create", "RING"});
  EXPECT_EQ(r.iCode, 1);
  EXPECT_EQ(r.iErr, "pacewright-cli: Similarly named track already exists.\n");
  r = cli.Run({"track", "create", ""});
  EXPECT_EQ(r.iCode, 1);
  EXPECT_EQ(r.iErr, "pacewright-cli: Please insert a name for the track.\n");

  // Usage errors (exit 2) name the option and show the command's usage.
  const std::vector<std::vector<std::string>> wrong = {
      {"track", "add-trap", "Ring", "--type", "chicane", "--lat", "1", "--lon", "2", "--bearing", "3"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "91", "--lon", "2", "--bearing", "3"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "180.5", "--bearing", "3"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "2", "--bearing", "east"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "nan", "--lon", "2", "--bearing", "3"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "2", "--bearing", "3", "--width", "0"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "2"},
      {"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lat", "1", "--lon", "2", "--bearing", "3"},
      {"track", "add-trap", "Ring", "Other", "--type", "split", "--lat", "1", "--lon", "2", "--bearing", "3"},
      {"track", "show"},
      {"track", "show", "Ring", "--colour"},
  };
  for (const auto& args : wrong) {
    r = cli.Run(args);
    EXPECT_EQ(r.iCode, 2) << Cli::Describe(args) << "\n" << r;
    EXPECT_EQ(r.iErr.rfind("pacewright-cli: ", 0), 0u) << r;
    EXPECT_NE(r.iErr.find("usage") == std::string::npos ? r.iErr.find("track ") : 0, std::string::npos) << r;
  }
  r = cli.Run({"track", "add-trap", "Ring", "--type", "chicane", "--lat", "1", "--lon", "2", "--bearing", "3"});
  EXPECT_EQ(r.iErr.substr(0, r.iErr.find('\n')),
            "pacewright-cli: option '--type' must be start-finish|start|finish|split|standing-start|disabled, not "
            "'chicane'");
  EXPECT_EQ(cli.OkJson({"track", "show", "Ring"})["traps"].Size(), 0u);
}

TEST(CliTracks, TheShippedExampleTrackIsListedButNeverChanged) {
  Cli cli;
  cli.UseSourceInstall();
  const Json tracks = cli.OkJson({"tracks"});
  if (tracks.Size() == 0) GTEST_SKIP() << "the examples are not built";
  ASSERT_EQ(tracks[0]["name"].String(), "Example track");
  EXPECT_TRUE(tracks[0]["example"].Bool());
  EXPECT_EQ(cli.OkJson({"track", "show", "Example track"})["traps"].Size(), 3u);
  for (const std::vector<std::string>& change :
       {std::vector<std::string>{"track", "unlock", "Example track"}, {"track", "delete", "Example track"},
        {"track", "add-trap", "Example track", "--type", "split", "--lat", "1", "--lon", "2", "--bearing", "3"}}) {
    const RunResult r = cli.Run(change);
    EXPECT_EQ(r.iCode, 1) << r;
    EXPECT_EQ(r.iErr, "pacewright-cli: the shipped example track cannot be changed\n");
  }
  EXPECT_EQ(cli.OkJson({"track", "show", "Example track"})["traps"].Size(), 3u);
}

}  // namespace
}  // namespace pwclitest
