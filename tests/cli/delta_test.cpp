// The running difference of a lap through the command line: against the best, a chosen lap,
// the optimal lap, a lap of another session and the fastest lap on the track; and the
// mistakes a caller can make.
#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

// Lap k runs from phase k - 1 to k; speeds change at the south points only.
const std::vector<double> KSpeeds = {20.0, 22.0, 19.0, 20.0};
constexpr double KCircumference = 2.0 * M_PI * CircleDrive::KRadius;

std::string Import(Cli& aCli, const std::vector<double>& aSpeeds, const std::string& aFile) {
  const std::string path = aCli.WriteWork(aFile, CircleDrive(aSpeeds, 3.3).Nmea());
  return aCli.Ok({"import", "--format", "nmea", "--track", "Circle", path}).Line();
}

void MakeTrack(Cli& aCli) {
  aCli.Ok({"track", "create", "Circle"});
  double lat, lon, bearing;
  CircleDrive::TrapAt(0.0, lat, lon, bearing);
  aCli.Ok({"track", "add-trap", "Circle", "--type", "start-finish", "--lat", std::to_string(lat), "--lon",
           std::to_string(lon), "--bearing", std::to_string(bearing), "--width", "20"});
}

}  // namespace

TEST(CliDelta, EveryPointOfALapAgainstTheReferenceItIsGiven) {
  Cli cli;
  MakeTrack(cli);
  const std::string id = Import(cli, KSpeeds, "circle.nmea");
  const Json laps = cli.OkJson({"laps", id});
  auto lapMs = [&](size_t aNumber) { return laps["laps"][aNumber - 1]["time_ms"].Number(); };

  // Lap 2 against lap 1: the first half at 22 against 20 m/s, the second at 19 against 22.
  const Json two = cli.OkJson({"delta", id, "--lap", "2", "--against", "1"});
  EXPECT_EQ(two["session"].String(), id);
  EXPECT_EQ(two["lap"].Number(), 2);
  EXPECT_EQ(two["against"]["session"].String(), id);
  EXPECT_EQ(two["against"]["lap"].Number(), 1);
  EXPECT_EQ(two["against"]["time_ms"].Number(), lapMs(1));
  const Json& points = two["points"];
  ASSERT_GT(points.Size(), 300u);
  double lastT = -1, lastD = -1;
  for (size_t i = 0; i < points.Size(); ++i) {
    const Json& p = points[i];
    ASSERT_FALSE(p["stale"].Bool()) << i;
    EXPECT_GT(p["t_ms"].Number(), lastT);
    EXPECT_GE(p["distance_m"].Number(), lastD);
    lastT = p["t_ms"].Number();
    lastD = p["distance_m"].Number();
    const double s = p["distance_m"].Number(), half = KCircumference / 2;
    const double truth = s <= half ? s * (1 / 22.0 - 1 / 20.0) * 1000
                                   : half * (1 / 22.0 - 1 / 20.0) * 1000 + (s - half) * (1 / 19.0 - 1 / 22.0) * 1000;
    EXPECT_NEAR(p["delta_ms"].Number(), truth, 8.0) << i;
  }
  EXPECT_EQ(two["final_delta_ms"].Number(), lapMs(2) - lapMs(1));

  // By default the best lap (lap 1); the optimal lap has no number; the running lap no final.
  EXPECT_EQ(cli.OkJson({"delta", id, "--lap", "3"})["against"]["lap"].Number(), 1);
  const Json optimal = cli.OkJson({"delta", id, "--lap", "3", "--against", "optimal"});
  EXPECT_TRUE(optimal["against"]["lap"].IsNull());
  EXPECT_EQ(optimal["against"]["time_ms"].Number(), laps["optimal_ms"].Number());
  EXPECT_EQ(optimal["final_delta_ms"].Number(), lapMs(3) - laps["optimal_ms"].Number());
  const Json running = cli.OkJson({"delta", id, "--lap", "4"});
  EXPECT_TRUE(running["final_delta_ms"].IsNull());
  EXPECT_GT(running["points"].Size(), 10u);

  // The readable form: a heading, a row per sample and the lap time difference.
  const std::string text = cli.Ok({"delta", id, "--lap", "2", "--against", "1"}).iOut;
  EXPECT_EQ(text.rfind("Lap 2 of " + id + " against lap 1 of " + id, 0), 0u) << text.substr(0, 200);
  char final[64];
  const long long diff = static_cast<long long>(lapMs(2) - lapMs(1));
  std::snprintf(final, sizeof final, "Lap time difference: %c%lld.%03lld\n", diff < 0 ? '-' : '+', std::llabs(diff) / 1000,
                std::llabs(diff) % 1000);
  EXPECT_NE(text.find(final), std::string::npos) << text.substr(text.size() - 200);

  // Mistakes: no such lap, a reference without a finish, a word it does not know, no --lap.
  EXPECT_EQ(cli.Run({"delta", id, "--lap", "9"}).iCode, 1);
  EXPECT_EQ(cli.Run({"delta", id, "--lap", "2", "--against", "4"}).iCode, 1);
  EXPECT_EQ(cli.Run({"delta", id, "--lap", "2", "--against", "fastest"}).iCode, 2);
  EXPECT_EQ(cli.Run({"delta", id, "--lap", "2", "--against", ":2"}).iCode, 2);
  EXPECT_EQ(cli.Run({"delta", id}).iCode, 2);
  EXPECT_EQ(cli.Run({"delta", id, "--lap", "1", "--against", "nosuch:1"}).iCode, 1);
}

TEST(CliDelta, ALapOfAnotherSessionAndTheFastestLapOnTheTrack) {
  Cli cli;
  MakeTrack(cli);
  const std::string slow = Import(cli, KSpeeds, "slow.nmea");
  // Only the own session's laps: the fastest on the track is its own best.
  EXPECT_EQ(cli.OkJson({"delta", slow, "--lap", "2", "--against", "track"})["against"]["session"].String(), slow);

  const std::string fast = Import(cli, {25.0, 25.0, 25.0, 25.0}, "fast.nmea");
  ASSERT_NE(fast, slow);
  const Json fastLaps = cli.OkJson({"laps", fast});
  const Json other = cli.OkJson({"delta", slow, "--lap", "2", "--against", fast + ":3"});
  EXPECT_EQ(other["against"]["session"].String(), fast);
  EXPECT_EQ(other["against"]["lap"].Number(), 3);
  const Json slowLaps = cli.OkJson({"laps", slow});
  EXPECT_EQ(other["final_delta_ms"].Number(),
            slowLaps["laps"][1]["time_ms"].Number() - fastLaps["laps"][2]["time_ms"].Number());

  const Json track = cli.OkJson({"delta", slow, "--lap", "2", "--against", "track"});
  EXPECT_EQ(track["against"]["session"].String(), fast);
  EXPECT_EQ(track["against"]["lap"].Number(), fastLaps["best"].Number());
  EXPECT_EQ(track["against"]["time_ms"].Number(), fastLaps["laps"][static_cast<size_t>(fastLaps["best"].Number()) - 1]["time_ms"].Number());
}

}  // namespace pwclitest
