// Damaged input from outside and damaged stored files: impossible values are refused and
// counted, a log with nothing usable makes no session, and damaged stored data is shown as
// damaged instead of passing for healthy or vanishing.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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

void AddTrap(Cli& aCli, const std::string& aTrack, const std::string& aType, double aPhase) {
  double lat, lon, bearing;
  CircleDrive::TrapAt(aPhase, lat, lon, bearing);
  aCli.Ok({"track", "add-trap", aTrack, "--type", aType, "--lat", std::to_string(lat), "--lon", std::to_string(lon),
           "--bearing", std::to_string(bearing), "--width", "20"});
}

// A lap-timing session of two laps round "Ring" (start/finish at the north, a split east).
std::string RingSession(Cli& aCli) {
  aCli.Ok({"track", "create", "Ring"});
  AddTrap(aCli, "Ring", "start-finish", 0.0);
  AddTrap(aCli, "Ring", "split", 0.25);
  const std::string log = aCli.WriteWork("ring.nmea", CircleDrive({20.0, 20.0, 20.0}, 2.3).Nmea());
  return aCli.Ok({"import", "--format", "nmea", "--track", "Ring", "--title", "T", "--driver", "D", log}).Line();
}

void CutFile(const std::string& aPath, uintmax_t aKeep) {
  std::error_code error;
  fs::resize_file(aPath, aKeep, error);
  ASSERT_FALSE(error) << aPath;
}

const Json* Named(const Json& aList, const std::string& aKey, const std::string& aValue, bool aDamaged) {
  for (size_t i = 0; i < aList.Size(); ++i)
    if (aList[i][aKey].String() == aValue && aList[i]["damaged"].Bool() == aDamaged) return &aList[i];
  return nullptr;
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

  // Reading the positions straight from the log drops and counts the same.
  const RunResult listed = cli.Ok({"positions", "--format", "nmea", path, "--json"});
  EXPECT_EQ(listed.iErr, text.iErr);
  const std::string summary = listed.iOut.substr(listed.iOut.rfind('\n', listed.iOut.size() - 2) + 1);
  EXPECT_EQ(summary, "{\"positions\":10,\"dropped\":5}\n");
  EXPECT_EQ(cli.Ok({"positions", "--format", "nmea", path}).iErr, text.iErr);

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

TEST(CliDamagedInput, ADamagedTrackIsListedAsSuchAndTimesNothing) {
  Cli cli;
  cli.UseSourceInstall();
  const std::string id = RingSession(cli);
  const std::string ring = cli.Documents() + "/Pacewright/Tracks/Ring-track.bin";
  CutFile(ring, fs::file_size(ring) - 7);

  const Json tracks = cli.OkJson({"tracks"});
  const Json* damaged = Named(tracks, "name", "Ring", true);
  ASSERT_NE(damaged, nullptr) << cli.Ok({"tracks", "--json"}).iOut;
  EXPECT_TRUE((*damaged)["traps"].IsNull());
  EXPECT_EQ(Named(tracks, "name", "Ring", false), nullptr);
  EXPECT_NE(cli.Ok({"tracks"}).iOut.find("damaged"), std::string::npos);

  // Laps and lap exports refuse, naming the file; the route needs no track.
  const std::string message = "the file of track 'Ring' is damaged and cannot be read: " + ring;
  ExpectUserError(cli.Run({"laps", id}), message);
  ExpectUserError(cli.Run({"laps", id, "--json"}), message);
  ExpectUserError(cli.Run({"export", id, "--format", "csv", "--scope", "best"}), message);
  cli.Ok({"export", id, "--format", "csv", "--scope", "route"});
  // Nothing is made over it.
  const std::string cut = pwtest::ReadFileBytes(ring);
  ExpectUserError(cli.Run({"track", "create", "ring"}), "Similarly named track already exists.");
  EXPECT_EQ(pwtest::ReadFileBytes(ring), cut);
  // A trap type no build writes is damage too.
  cli.Ok({"track", "create", "Oval"});
  AddTrap(cli, "Oval", "split", 0.5);
  const std::string oval = cli.Documents() + "/Pacewright/Tracks/Oval-track.bin";
  std::string bytes = pwtest::ReadFileBytes(oval);
  const size_t type = bytes.size() - (4 * 5 + 2);
  ASSERT_EQ(bytes[type], 4);  // split
  bytes[type] = 9;
  ASSERT_TRUE(pwtest::WriteFileBytes(oval, bytes));
  EXPECT_NE(Named(cli.OkJson({"tracks"}), "name", "Oval", true), nullptr);

  // A damaged file of the example's name does not hide the installed example.
  const Json before = cli.OkJson({"tracks"});
  if (!Named(before, "name", "Example track", false)) GTEST_SKIP() << "the examples are not built";
  ASSERT_TRUE(pwtest::WriteFileBytes(cli.Documents() + "/Pacewright/Tracks/Example track-track.bin", "\x02\0"));
  const Json after = cli.OkJson({"tracks"});
  EXPECT_NE(Named(after, "name", "Example track", false), nullptr);
  EXPECT_NE(Named(after, "name", "Example track", true), nullptr);
}

TEST(CliDamagedInput, DamagedSessionFilesStayInViewAsDamaged) {
  Cli cli;
  const std::string id = RingSession(cli);
  const std::string folder = cli.Documents() + "/Pacewright/Sessions/";
  const std::string file = folder + id + "-session.bin";
  const std::string good = pwtest::ReadFileBytes(file);
  const Json healthy = cli.OkJson({"sessions"});
  ASSERT_EQ(healthy.Size(), 1u);
  EXPECT_FALSE(healthy[0]["damaged"].Bool());
  EXPECT_FALSE(healthy[0]["incomplete"].Bool());

  // A type of 7: once shown as lap timing and then refused as "not a lap-timing session".
  const size_t typeAt = 4 + 2 + (2 + 4) + (2 + 1) + (2 + 1);
  std::string typed = good;
  ASSERT_EQ(typed[typeAt], 0);
  typed[typeAt] = 7;
  // Cut short, and overwritten with text.
  for (const std::string& bytes : {typed, good.substr(0, 20), std::string("not a session at all")}) {
    ASSERT_TRUE(pwtest::WriteFileBytes(file, bytes));
    const Json listed = cli.OkJson({"sessions"});
    ASSERT_EQ(listed.Size(), 1u);
    EXPECT_EQ(listed[0]["session"].String(), id);
    EXPECT_TRUE(listed[0]["damaged"].Bool());
    const RunResult text = cli.Ok({"sessions"});
    EXPECT_NE(text.iOut.find(file), std::string::npos) << text.iOut;
    EXPECT_NE(text.iOut.find("damaged"), std::string::npos);
    ExpectUserError(cli.Run({"laps", id}), "cannot read the session file of '" + id + "'");
  }

  // A samples file cut inside a record loads up to the cut and says so.
  ASSERT_TRUE(pwtest::WriteFileBytes(file, good));
  const std::string samples = folder + id + "-plots.bin";
  CutFile(samples, fs::file_size(samples) * 2 / 3 + 1);
  EXPECT_TRUE(cli.OkJson({"sessions"})[0]["incomplete"].Bool());
  const RunResult laps = cli.Ok({"laps", id});
  EXPECT_NE(laps.iOut.find("The samples file is damaged: only the samples before the damage were loaded."),
            std::string::npos)
      << laps.iOut;
  EXPECT_TRUE(cli.OkJson({"laps", id})["incomplete"].Bool());
}

// A folder of its own file system, small or read-only, while the test runs: only where this
// process may mount (root in CI).
class TScratchMount {
 public:
  TScratchMount(const std::string& aPath, const char* aOptions) : iPath(aPath) {
    fs::create_directories(aPath);
    iMounted = ::mount("tmpfs", aPath.c_str(), "tmpfs", 0, aOptions) == 0;
  }
  ~TScratchMount() {
    if (iMounted) ::umount2(iPath.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return iMounted; }
  bool MakeReadOnly() {
    return iMounted && ::mount("tmpfs", iPath.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string iPath;
  bool iMounted = false;
};

TEST(CliDamagedInput, AFullOrReadOnlyDocumentsFolderIsNamedAsSuch) {
  pwtest::TempDir base;
  const std::string docs = base.Path() + "/docs";
  const std::string log = base.Path() + "/drive.nmea";
  ASSERT_TRUE(pwtest::WriteFileBytes(log, CircleDrive({20.0, 20.0}, 1.5).Nmea()));

  const auto readOnlyChecks = [&log](Cli& aCli) {
    ExpectUserError(aCli.Run({"import", "--format", "nmea", log}), "the documents folder is read-only");
    ExpectUserError(aCli.Run({"record", "--input", log, "--log", "--replay-delay", "0"}),
                    "the documents folder is read-only");
    ExpectUserError(aCli.Run({"track", "create", "Oval"}), "the documents folder is read-only");
    ExpectUserError(aCli.Run({"track", "add-trap", "Ring", "--type", "split", "--lat", "1", "--lon", "2", "--bearing",
                              "3"}),
                    "the documents folder is read-only");
  };
  TScratchMount probe(base.Path() + "/probe", "size=64k");
  if (!probe.Mounted()) {
    if (::geteuid() == 0) GTEST_SKIP() << "cannot mount a small or read-only file system here";
    // Without mounting only the read-only folder can be had: by its permissions.
    Cli cli;
    cli.SetEnv("PACEWRIGHT_DOCUMENTS", docs);
    cli.Ok({"track", "create", "Ring"});
    for (const char* sub : {"/Pacewright/Sessions", "/Pacewright/Tracks", "/Pacewright/Exports", "/Pacewright", ""})
      ::chmod((docs + sub).c_str(), 0555);
    readOnlyChecks(cli);
    for (const char* sub : {"", "/Pacewright", "/Pacewright/Sessions", "/Pacewright/Tracks", "/Pacewright/Exports"})
      ::chmod((docs + sub).c_str(), 0755);
    return;
  }
  {
    TScratchMount small(docs, "size=96k");
    ASSERT_TRUE(small.Mounted());
    Cli cli;
    cli.SetEnv("PACEWRIGHT_DOCUMENTS", docs);
    ASSERT_TRUE(pwtest::WriteFileBytes(docs + "/filler", std::string(80 * 1024, 'x')));
    ExpectUserError(cli.Run({"import", "--format", "nmea", log}), "no space left on the documents medium");
    EXPECT_TRUE(NoSessionFiles(cli));
  }
  {
    // The program's folders exist, but the medium is read-only.
    TScratchMount locked(docs, "size=1m");
    ASSERT_TRUE(locked.Mounted());
    Cli cli;
    cli.SetEnv("PACEWRIGHT_DOCUMENTS", docs);
    cli.Ok({"track", "create", "Ring"});
    ASSERT_TRUE(locked.MakeReadOnly());
    readOnlyChecks(cli);
  }
}

}  // namespace
}  // namespace pwclitest
