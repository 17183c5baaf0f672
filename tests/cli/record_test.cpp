// Live recording through the device path: a replayed NMEA file gives the same laps as its
// import, Ctrl-C stops and saves whatever was recorded, and a serial device (a pseudo-terminal)
// is reached by its path or by a port number.
#include <filesystem>

#include "acquisition/pty_device.h"
#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

void MakeCircleTrack(Cli& aCli) {
  aCli.Ok({"track", "create", "Circle"});
  double lat, lon, bearing;
  CircleDrive::TrapAt(0.0, lat, lon, bearing);
  aCli.Ok({"track", "add-trap", "Circle", "--type", "start-finish", "--lat", std::to_string(lat), "--lon",
           std::to_string(lon), "--bearing", std::to_string(bearing), "--width", "20"});
}

std::vector<double> LapTimes(const Json& aLaps) {
  std::vector<double> times;
  for (size_t i = 0; i < aLaps["laps"].Size(); ++i)
    times.push_back(aLaps["laps"][i]["time_ms"].IsNull() ? -1.0 : aLaps["laps"][i]["time_ms"].Number());
  return times;
}

// Waits up to aSeconds for a session file to appear below the documents folder.
bool WaitForSession(const Cli& aCli, double aSeconds) {
  const std::string folder = aCli.Documents() + "/Pacewright/Sessions";
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(aSeconds * 1000));
  while (std::chrono::steady_clock::now() < end) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
      if (entry.path().string().find("-plots.bin") != std::string::npos && entry.file_size() > 1000) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(CliRecord, AReplayedFileRecordsTheLapsItsImportFinds) {
  Cli cli;
  MakeCircleTrack(cli);
  const std::string log = cli.WriteWork("drive.nmea", CircleDrive({20.0, 24.0, 18.0}, 2.2).Nmea());
  const std::string imported = cli.Ok({"import", "--format", "nmea", "--track", "Circle", log}).Line();
  const Json recorded = cli.OkJson({"record", "--input", log, "--track", "Circle", "--replay-delay", "0",
                                    "--title", "Live"});
  const std::string id = recorded["session"].String();
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(recorded["positions"].Number(), std::floor(CircleDrive({20.0, 24.0, 18.0}, 2.2).TimeAt(2.2) * 10) + 1);

  const Json live = cli.OkJson({"laps", id});
  const Json offline = cli.OkJson({"laps", imported});
  EXPECT_EQ(LapTimes(live), LapTimes(offline));
  EXPECT_EQ(live["laps"].Size(), 3u);
  EXPECT_EQ(live["best"].Number(), offline["best"].Number());

  const Json sessions = cli.OkJson({"sessions"});
  ASSERT_EQ(sessions.Size(), 2u);
  for (size_t i = 0; i < sessions.Size(); ++i) {
    if (sessions[i]["session"].String() != id) continue;
    EXPECT_TRUE(sessions[i]["recorded"].Bool());
    EXPECT_EQ(sessions[i]["title"].String(), "Live");
    EXPECT_EQ(sessions[i]["laps"].Number(), 2);  // the summary was saved on closing
  }
}

TEST(CliRecord, CtrlCStopsTheRecordingAndKeepsWhatWasRecorded) {
  Cli cli;
  MakeCircleTrack(cli);
  // About 1.8 MB: half a minute at 256 bytes every 5 ms.
  std::vector<double> speeds(20, 20.0);
  const std::string log = cli.WriteWork("long.nmea", CircleDrive(speeds, 19.0).Nmea());
  std::unique_ptr<Process> recording =
      cli.Start({"record", "--input", log, "--track", "Circle", "--replay-delay", "5", "--json"});
  ASSERT_TRUE(WaitForSession(cli, 20.0));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  recording->Signal(SIGINT);
  const RunResult result = recording->Wait();
  ASSERT_EQ(result.iCode, 0) << result;
  const Json out = result.JsonOut();
  const std::string id = out["session"].String();
  const double positions = out["positions"].Number();
  EXPECT_GT(positions, 100);
  EXPECT_LT(positions, CircleDrive(speeds, 19.0).TimeAt(19.0) * 10);

  // The stored session holds exactly what was recorded, and its summary is saved.
  const Json laps = cli.OkJson({"laps", id});
  EXPECT_EQ(laps["session"].String(), id);
  const Json sessions = cli.OkJson({"sessions"});
  ASSERT_EQ(sessions.Size(), 1u);
  EXPECT_FALSE(sessions[0]["laps"].IsNull());
  const std::string route = cli.Ok({"export", id, "--format", "csv", "--scope", "route"}).Line();
  const std::string csv = pwtest::ReadFileBytes(route);
  EXPECT_GE(static_cast<double>(std::count(csv.begin(), csv.end(), '\n')), positions);
}

TEST(CliRecord, ASerialDeviceIsRecordedByItsPathOrItsPortNumber) {
  for (const bool byNumber : {false, true}) {
    SCOPED_TRACE(byNumber ? "port number" : "device path");
    pwtest::TPtyDevice device;
    ASSERT_TRUE(device.IsOpen());
    Cli cli;
    std::string input = device.SlaveName();
    if (byNumber) {
      cli.SetEnv("PACEWRIGHT_PORT_57", device.SlaveName());
      input = "COM57:";
      const Json ports = cli.OkJson({"ports"});
      bool listed = false;
      for (size_t i = 0; i < ports.Size(); ++i)
        if (ports[i]["port"].Number() == 57) listed = ports[i]["device"].String() == device.SlaveName() &&
                                                       ports[i]["present"].Bool();
      EXPECT_TRUE(listed);
    }
    std::unique_ptr<Process> recording = cli.Start({"record", "--input", input, "--log", "--json"});
    // The receiver sends 10 epochs a second whether anybody listens or not.
    const std::string drive = StraightDrive().Phase(4, 2).Nmea();
    size_t at = 0;
    for (int i = 0; i < 40 && at < drive.size(); ++i) {
      const size_t next = drive.find("$GPRMC", at + 1);
      device.Send(drive.substr(at, next == std::string::npos ? std::string::npos : next - at));
      at = next == std::string::npos ? drive.size() : next;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    recording->Signal(SIGINT);
    const RunResult result = recording->Wait();
    ASSERT_EQ(result.iCode, 0) << result;
    EXPECT_GT(result.JsonOut()["positions"].Number(), 5) << result;
    EXPECT_EQ(cli.OkJson({"sessions"})[0]["type"].String(), "log");
  }
}

TEST(CliRecord, InputsThatAreNeitherFilesNorDevicesAreRefused) {
  Cli cli;
  RunResult r = cli.Run({"record", "--input", "/dev/pacewright-no-such-device", "--log"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: no device '/dev/pacewright-no-such-device'\n");
  const std::string missing = cli.Work("missing.nmea");
  r = cli.Run({"record", "--input", missing, "--log"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: cannot read '" + missing + "': No such file or directory\n");
  const std::string log = cli.WriteWork("drive.nmea", CircleDrive({20.0}, 0.2).Nmea());
  r = cli.Run({"record", "--input", log, "--track", "Nowhere"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: no track named 'Nowhere'\n");
  EXPECT_EQ(cli.OkJson({"sessions"}).Size(), 0u);
}

}  // namespace
}  // namespace pwclitest
