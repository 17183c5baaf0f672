// Recording from gpsd end to end: the real daemon serves a pseudo-terminal fed with a real
// receiver's log, the command line records from it over TCP, and every sample of the recording
// is the one an import of the same log reads.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/gpsd_daemon.h"
#include "acquisition/pty_device.h"
#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

// Whether a client is connected to the local TCP port aPort (an established connection in the
// kernel's table whose local end is that port).
bool HasClient(int aPort) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column names
  char port[8];
  std::snprintf(port, sizeof port, ":%04X", aPort);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "01" && local.size() > 5 && local.compare(local.size() - 5, 5, port) == 0) return true;
  }
  return false;
}

// The position columns of a route export (satellites, latitude, longitude, speed, altitude,
// bearing), one entry per sample row.
std::vector<std::string> RouteSamples(Cli& aCli, const std::string& aSession) {
  const std::string path = aCli.Ok({"export", aSession, "--format", "csv", "--scope", "route"}).Line();
  std::istringstream csv(pwtest::ReadFileBytes(path));
  std::vector<std::string> samples;
  char separator = 0;
  for (std::string line; std::getline(csv, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("Lap #", 0) == 0) {
      separator = line[5];
      continue;
    }
    if (!separator) continue;
    std::vector<std::string> fields;
    std::stringstream row(line);
    for (std::string field; std::getline(row, field, separator);) fields.push_back(field);
    if (fields.size() < 12) continue;
    samples.push_back(fields[4] + " " + fields[5] + " " + fields[6] + " " + fields[7] + " " + fields[10] + " " +
                      fields[11]);
  }
  return samples;
}

TEST(CliRecordGpsd, ARealDaemonServingAReceiverLogIsRecordedWithTheSamplesOfTheLog) {
  if (!pwtest::GpsdBinary()) GTEST_SKIP() << "gpsd is not installed";
  std::ifstream source(std::string(PW_TESTDATA_DIR) + "/nmea-receivers/bundg_zeus_9.log");
  if (!source) GTEST_SKIP() << "no receiver logs";
  std::string sentences;
  for (std::string line; std::getline(source, line);)
    if (!line.empty() && line[0] == '$') sentences += line + (line.back() == '\r' ? "\n" : "\r\n");
  ASSERT_FALSE(sentences.empty());

  Cli cli;
  const std::string log = cli.WriteWork("receiver.nmea", sentences);
  pwtest::TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  const int port = pwtest::FreeTcpPort();
  pwtest::TGpsdDaemon daemon(device.SlaveName(), port);
  ASSERT_TRUE(daemon.Running());

  std::unique_ptr<Process> recording =
      cli.Start({"record", "--input", "gpsd://127.0.0.1:" + std::to_string(port), "--log", "--json"});
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!HasClient(port) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(HasClient(port)) << "the recorder never connected";
  // The watch request follows the connection at once; give the daemon time to take it.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (size_t at = 0; at < sentences.size(); at += 1000) {
    ASSERT_TRUE(device.Send(sentences.substr(at, 1000)));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  recording->Signal(SIGINT);
  const RunResult result = recording->Wait();
  ASSERT_EQ(result.iCode, 0) << result;
  const Json out = result.JsonOut();
  const std::string recorded = out["session"].String();
  ASSERT_FALSE(recorded.empty()) << result;

  const std::string imported = cli.Ok({"import", "--format", "nmea", log}).Line();
  const std::vector<std::string> live = RouteSamples(cli, recorded);
  const std::vector<std::string> offline = RouteSamples(cli, imported);
  ASSERT_GT(offline.size(), 100u);
  // The samples are those of the log, in order, none changed and none lost between the first
  // and the last one recorded; at most the last epoch, which no next one has closed yet, is
  // still open when the recording stops.
  ASSERT_FALSE(live.empty());
  const auto first = std::find(offline.begin(), offline.end(), live.front());
  ASSERT_NE(first, offline.end()) << live.front();
  const size_t skipped = static_cast<size_t>(first - offline.begin());
  EXPECT_LE(skipped, 3u) << "fixes before the recorder was watching";
  ASSERT_LE(skipped + live.size(), offline.size());
  EXPECT_GE(skipped + live.size() + 1, offline.size());
  for (size_t i = 0; i < live.size(); ++i) ASSERT_EQ(live[i], offline[skipped + i]) << "sample " << i;
  EXPECT_EQ(out["positions"].Number(), static_cast<double>(live.size()));
}

}  // namespace
}  // namespace pwclitest
