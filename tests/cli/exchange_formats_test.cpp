// Exchange with other tools from the command line, on the shipped example session and on
// logs converted by gpsbabel: logger channels in every exported row, GPX import, the overlay
// CSV export.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

std::vector<std::string> SplitLines(const std::string& aText) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < aText.size()) {
    size_t at = aText.find('\n', from);
    if (at == std::string::npos) at = aText.size();
    std::string line = aText.substr(from, at - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    from = at + 1;
  }
  return lines;
}

size_t FieldCount(const std::string& aRow, char aSeparator) {
  return static_cast<size_t>(std::count(aRow.begin(), aRow.end(), aSeparator)) + 1;
}

bool ExamplesBuilt() {
  return std::filesystem::exists(std::string(PW_SOURCE_DATA_DIR) +
                                 "/examples/Pacewright/Sessions/20070101-0000-example-plots.bin");
}

TEST(CliExchange, ExampleSessionExportsCarryTheLoggerInEveryRow) {
  if (!ExamplesBuilt()) GTEST_SKIP() << "the examples are not built";
  Cli cli;
  cli.UseSourceInstall();
  const std::string csvPath = cli.Ok({"export", "20070101-0000-example", "--format", "csv", "--scope", "route"}).Line();
  const std::vector<std::string> csv = SplitLines(pwtest::ReadFileBytes(csvPath));
  size_t header = 0;
  while (header < csv.size() && csv[header].rfind("Lap #", 0) != 0) ++header;
  ASSERT_LT(header, csv.size());
  const size_t columns = FieldCount(csv[header], ',');
  // 19 fixed columns, two OBD lists besides RPM and throttle, the 12 logger channels.
  EXPECT_EQ(columns, 33u);
  size_t rows = 0, full = 0;
  for (size_t i = header + 1; i < csv.size(); ++i) {
    if (csv[i].empty()) continue;
    ++rows;
    if (FieldCount(csv[i], ',') == columns) ++full;
  }
  EXPECT_GT(rows, 5000u);
  // The logger ran through the whole drive: at most its first moments miss it.
  EXPECT_GE(full, rows - 2) << full << " of " << rows;

  const std::string vboPath = cli.Ok({"export", "20070101-0000-example", "--format", "vbo", "--scope", "all"}).Line();
  const std::vector<std::string> vbo = SplitLines(pwtest::ReadFileBytes(vboPath));
  const auto data = std::find(vbo.begin(), vbo.end(), "[data]");
  ASSERT_NE(data, vbo.end());
  size_t vboRows = 0, vboFull = 0;
  for (auto it = data + 1; it != vbo.end(); ++it) {
    if (it->empty()) continue;
    ++vboRows;
    if (FieldCount(*it, ' ') >= 7 + 12) ++vboFull;
  }
  EXPECT_GT(vboRows, 1000u);
  EXPECT_GE(vboFull, vboRows - 2);
}

bool HaveGpsbabel() { return std::system("gpsbabel -V >/dev/null 2>&1") == 0; }

void AddTrap(Cli& aCli, const std::string& aTrack, const std::string& aType, double aPhase) {
  double lat, lon, bearing;
  CircleDrive::TrapAt(aPhase, lat, lon, bearing);
  aCli.Ok({"track", "add-trap", aTrack, "--type", aType, "--lat", std::to_string(lat), "--lon", std::to_string(lon),
           "--bearing", std::to_string(bearing), "--width", "20"});
}

std::vector<double> LapTimes(Cli& aCli, const std::string& aSession) {
  const Json laps = aCli.OkJson({"laps", aSession});
  std::vector<double> times;
  for (size_t i = 0; i < laps["laps"].Size(); ++i)
    if (laps["laps"][i]["finished"].Bool()) times.push_back(laps["laps"][i]["time_ms"].Number());
  return times;
}

TEST(CliExchange, ALapDriveConvertedToGpx11TimesItsLapsLikeItsNmea) {
  if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel is not installed";
  Cli cli;
  cli.Ok({"track", "create", "Ring"});
  AddTrap(cli, "Ring", "start-finish", 0.0);
  AddTrap(cli, "Ring", "split", 0.25);
  // Three laps at different speeds, so that a lap time off by a sample would show.
  const std::string nmea = cli.WriteWork("ring.nmea", CircleDrive({18.0, 23.0, 27.0, 21.0}, 3.3).Nmea());
  const std::string gpx = cli.Work("ring.gpx");
  const std::string command = "gpsbabel -i nmea -f '" + nmea + "' -o gpx,gpxver=1.1 -F '" + gpx + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  ASSERT_NE(pwtest::ReadFileBytes(gpx).find("version=\"1.1\""), std::string::npos);

  const std::string fromNmea = cli.Ok({"import", "--format", "nmea", "--track", "Ring", nmea}).Line();
  const std::string fromGpx = cli.Ok({"import", "--format", "gpx", "--track", "Ring", gpx}).Line();
  const std::vector<double> expected = LapTimes(cli, fromNmea);
  const std::vector<double> got = LapTimes(cli, fromGpx);
  ASSERT_EQ(expected.size(), 3u);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 2.0) << "lap " << i + 1;
  // The positions command reads the same file alike.
  const RunResult positions = cli.Ok({"positions", "--format", "gpx", gpx, "--json"});
  EXPECT_GT(std::count(positions.iOut.begin(), positions.iOut.end(), '\n'), 500);
}

TEST(CliExchange, HostileGpxIsRefusedWithTheReason) {
  Cli cli;
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [\n<!ENTITY a \"aaaaaaaaaa\">\n";
  for (char c = 'b'; c <= 'j'; ++c)
    laughs += std::string("<!ENTITY ") + c + " \"" + [&] {
      std::string ten;
      for (int i = 0; i < 10; ++i) ten += std::string("&") + static_cast<char>(c - 1) + ";";
      return ten;
    }() + "\">\n";
  laughs += "]>\n<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><time>2024-01-01T00:00:00Z</time><desc>&j;</desc>"
            "</trkpt></trkseg></trk></gpx>\n";
  const std::string bomb = cli.WriteWork("laughs.gpx", laughs);
  RunResult r = cli.Run({"import", "--format", "gpx", bomb});
  EXPECT_NE(r.iCode, 0);
  EXPECT_NE(r.iErr.find(bomb + " is refused: the file declares XML entities, which are never expanded (line 3)"),
            std::string::npos)
      << r;
  const std::string latin1 = cli.WriteWork("latin1.gpx", "<gpx>\n<trk><name>Z\xFCrich</name></trk>\n</gpx>\n");
  r = cli.Run({"positions", "--format", "gpx", latin1});
  EXPECT_NE(r.iCode, 0);
  EXPECT_NE(r.iErr.find("is refused: the file is not well-formed XML: not well-formed (invalid token) (line 2)"),
            std::string::npos)
      << r;
  const std::string untimed =
      cli.WriteWork("untimed.gpx", "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"1\" lon=\"2\"/>"
                                   "</trkseg></trk><wpt lat=\"3\" lon=\"4\"/></gpx>");
  r = cli.Run({"import", "--format", "gpx", untimed});
  EXPECT_NE(r.iCode, 0);
  EXPECT_NE(r.iErr.find("skipped 2 track points without a time"), std::string::npos) << r;
  EXPECT_NE(r.iErr.find("ignored 1 route and waypoint points"), std::string::npos) << r;
  EXPECT_NE(r.iErr.find("no positions found in " + untimed + " as GPX"), std::string::npos) << r;
  // Nothing of the refused imports is left behind.
  EXPECT_EQ(cli.OkJson({"sessions"}).Size(), 0u);
}

TEST(CliExchange, AGigabyteLineFromAPipeIsRefusedWithoutReadingItAll) {
  ::signal(SIGPIPE, SIG_IGN);
  Cli cli;
  const std::string fifo = cli.Work("endless.gpx");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done{false};
  std::atomic<int64_t> written{0};
  // The writer serves every reader that opens the pipe, a gigabyte on one line at most; it
  // is made as it goes, never stored.
  std::thread writer([&] {
    std::string block(1 << 16, ' ');
    const std::string head = "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-01-01T00:00:00Z</time></trkpt>";
    while (!done) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      ::fcntl(fd, F_SETFL, 0);
      bool first = true;
      while (written < (int64_t(1) << 30)) {
        const std::string& bytes = first ? head : block;
        first = false;
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n <= 0) break;
        written += n;
      }
      ::close(fd);
    }
  });
  const RunResult r = cli.Run({"positions", "--format", "gpx", fifo});
  done = true;
  writer.join();
  EXPECT_NE(r.iCode, 0);
  EXPECT_NE(r.iErr.find("is refused: line 1 is longer than 32 MiB"), std::string::npos) << r;
  EXPECT_LT(written.load(), int64_t(256) << 20);
}

TEST(CliExchange, OverlayCsvAndVboWithLapGatesOfTheExampleSession) {
  if (!ExamplesBuilt()) GTEST_SKIP() << "the examples are not built";
  Cli cli;
  cli.UseSourceInstall();
  const std::string overlay =
      cli.Ok({"export", "20070101-0000-example", "--format", "overlay-csv", "--scope", "route"}).Line();
  EXPECT_EQ(overlay.substr(overlay.size() - 18), "-route-overlay.csv");
  const std::vector<std::string> rows = SplitLines(pwtest::ReadFileBytes(overlay));
  ASSERT_GT(rows.size(), 5000u);
  EXPECT_EQ(rows[0].rfind("Time,Lap,Latitude,Longitude,Altitude,GPS_Update,Speed (m/s),Heading,X,Y,RPM,Throttle,", 0),
            0u)
      << rows[0];
  const size_t columns = FieldCount(rows[0], ',');
  // Two OBD lists besides RPM and throttle and the 12 logger channels.
  EXPECT_EQ(columns, 12u + 2u + 12u);
  int maxLap = 0;
  for (size_t i = 1; i < rows.size(); ++i) {
    if (rows[i].empty()) continue;
    ASSERT_EQ(FieldCount(rows[i], ','), columns) << rows[i];
    maxLap = std::max(maxLap, std::atoi(rows[i].substr(rows[i].find(',') + 1).c_str()));
  }
  EXPECT_EQ(maxLap, 6);

  const std::string vbo =
      cli.Ok({"export", "20070101-0000-example", "--format", "vbo-laptiming", "--scope", "all"}).Line();
  const std::string bytes = pwtest::ReadFileBytes(vbo);
  const size_t section = bytes.find("[laptiming]\r\n");
  ASSERT_NE(section, std::string::npos);
  const std::vector<std::string> gates = SplitLines(bytes.substr(section, bytes.find("[data]") - section));
  ASSERT_GE(gates.size(), 4u);
  // The example track: a start/finish line and two splits.
  EXPECT_EQ(gates[1].rfind("Start ", 0), 0u) << gates[1];
  EXPECT_EQ(gates[2].rfind("Split ", 0), 0u) << gates[2];
  EXPECT_EQ(gates[3].rfind("Split ", 0), 0u) << gates[3];
}

}  // namespace
}  // namespace pwclitest
