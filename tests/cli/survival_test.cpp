// What a recording survives: the recorder killed at any moment keeps every fix but the last
// moment's and the laps it finished; a receiver that hangs up and comes back is picked up
// again; every way of ending the recorder closes the session.
#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "acquisition/pty_device.h"
#include "cli/cli_rig.h"
#include "foundation/paths.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"

namespace pwclitest {
namespace {

using Clock = std::chrono::steady_clock;

// A car lapping a ring of 10 m radius every 2 s, clockwise; the start-finish line lies at the
// north point, which the car first passes 470 ms after the start (between two fixes at 10 and
// at 25 Hz), then every 2 s.
constexpr double KRingRadius = 10.0;
constexpr int64_t KRingPeriodMs = 2000;
constexpr int64_t KFirstCrossingMs = 470;

std::string RingEpoch(int64_t aMs) {
  const double alpha = 2.0 * M_PI * static_cast<double>(aMs - KFirstCrossingMs) / KRingPeriodMs;
  const double speed = 2.0 * M_PI * KRingRadius * 1000.0 / KRingPeriodMs;
  return Epoch(KDriveStartMs + aMs, KCentreLat + NorthDegrees(KRingRadius * std::cos(alpha)),
               KCentreLon + EastDegrees(KRingRadius * std::sin(alpha)), speed,
               std::fmod(alpha * 180.0 / M_PI + 90.0 + 720.0, 360.0));
}

// Start-finish crossings up to drive time aMs.
int Crossings(int64_t aMs) { return aMs < KFirstCrossingMs ? 0 : static_cast<int>((aMs - KFirstCrossingMs) / KRingPeriodMs) + 1; }

void MakeRingTrack(Cli& aCli) {
  aCli.Ok({"track", "create", "Ring"});
  char lat[32], lon[32];
  std::snprintf(lat, sizeof lat, "%.8f", KCentreLat + NorthDegrees(KRingRadius));
  std::snprintf(lon, sizeof lon, "%.8f", KCentreLon);
  aCli.Ok({"track", "add-trap", "Ring", "--type", "start-finish", "--lat", lat, "--lon", lon, "--bearing", "90",
           "--width", "8"});
}

// Whether process aPid holds aPath open (the recorder has opened its port).
bool HoldsOpen(pid_t aPid, const std::string& aPath) {
  const std::string folder = "/proc/" + std::to_string(aPid) + "/fd";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::error_code linkError;
    if (std::filesystem::read_symlink(entry.path(), linkError).string() == aPath) return true;
  }
  return false;
}

bool WaitUntil(const std::function<bool()>& aCondition, double aSeconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(aSeconds * 1000));
  while (Clock::now() < end) {
    if (aCondition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return aCondition();
}

// The one session below a documents folder, or "".
std::string OnlySession(const Cli& aCli) {
  std::string id;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(aCli.Documents() + "/Pacewright/Sessions", error)) {
    const std::string name = entry.path().filename().string();
    const size_t at = name.find("-plots.bin");
    if (at != std::string::npos) id = name.substr(0, at);
  }
  return id;
}

// Session times of the positions stored for aId, read as the program reads them, and the
// number of calendar items (one where each recording or reconnection begins).
std::vector<int32_t> StoredTimes(const Cli& aCli, const std::string& aId, int32_t* aResumes = nullptr) {
  std::unique_ptr<CPlotList> plots(CPlotList::NewL(nullptr));
  CPwString root;
  SetFromNativePath(root, (aCli.Documents() + "/").c_str());
  CPlotListLoader* loader = plots->StartLoading(nullptr, PwStringFromUtf8(aId), root);
  std::vector<int32_t> times;
  if (Trap([&] {
        while (loader->Step()) {
        }
      }) != KErrNone)
    return times;
  plots->FinishLoading();
  if (aResumes) *aResumes = plots->ResumeList().Count();
  for (int32_t i = 0; i < plots->PositionList().Count(); ++i)
    times.push_back(plots->PositionList().TimeAt(i).Milliseconds());
  return times;
}

// One recorder fed by a receiver at aHz until it is killed after aRunS seconds.
struct TKillRun {
  TKillRun(int aHz, double aRunS) : iHz(aHz), iRunS(aRunS) {}

  // Everything on a thread of its own, so that runs overlap.
  void Start() {
    iThread = std::thread([this] {
      MakeRingTrack(iCli);
      iRecorder = iCli.Start({"record", "--input", iDevice.SlaveName(), "--track", "Ring", "--json"});
      Feed();
      Check();
    });
  }
  void Join() { iThread.join(); }

  void Feed() {
    if (!WaitUntil([this] { return HoldsOpen(iRecorder->Pid(), iDevice.SlaveName()); }, 30.0)) return;
    // The port is set up right after it opens; what is sent from here on is read.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int stepMs = 1000 / iHz;
    const Clock::time_point start = Clock::now();
    const Clock::time_point kill = start + std::chrono::milliseconds(static_cast<int>(iRunS * 1000));
    for (int64_t n = 0;; ++n) {
      const Clock::time_point due = start + std::chrono::milliseconds(n * stepMs);
      if (due >= kill) break;
      std::this_thread::sleep_until(due);
      iSent.push_back({Clock::now(), static_cast<int32_t>(KDriveStartMs + n * stepMs)});
      iDevice.Send(RingEpoch(n * stepMs));
    }
    std::this_thread::sleep_until(kill);
    iKilledAt = Clock::now();
    iRecorder->Signal(SIGKILL);
    iFed = true;
  }

  void Check() {
    ASSERT_TRUE(iFed) << "the recorder never opened its port";
    const RunResult result = iRecorder->Wait();
    ASSERT_EQ(result.iCode, 128 + SIGKILL) << result;
    const std::string id = OnlySession(iCli);
    ASSERT_FALSE(id.empty());
    const std::vector<int32_t> stored = StoredTimes(iCli, id);
    // What was stored is what was sent, in order, and holds every fix sent more than 1.5 s
    // before the kill.
    size_t old = 0;
    while (old < iSent.size() && iSent[old].iAt < iKilledAt - std::chrono::milliseconds(1500)) ++old;
    ASSERT_GE(stored.size(), old) << iHz << " Hz, killed after " << iRunS << " s";
    for (size_t i = 0; i < stored.size() && i < iSent.size(); ++i) ASSERT_EQ(stored[i], iSent[i].iTime) << i;
    iLost = static_cast<int>(iSent.size() - std::min(stored.size(), iSent.size()));

    // The catalogue knows every lap the stored samples finish (the summary is saved as a lap
    // finishes, before its samples reach the file), and the laps rebuild from the samples.
    const int crossings = stored.empty() ? 0 : Crossings(stored.back() - KDriveStartMs);
    const int finished = std::max(crossings - 1, 0);
    const Json sessions = iCli.OkJson({"sessions"});
    ASSERT_EQ(sessions.Size(), 1u);
    const double laps = sessions[0]["laps"].IsNull() ? 0 : sessions[0]["laps"].Number();
    EXPECT_GE(laps, finished) << iHz << " Hz, killed after " << iRunS << " s";
    EXPECT_LE(laps, finished + 1) << iHz << " Hz, killed after " << iRunS << " s";
    EXPECT_EQ(iCli.OkJson({"laps", id})["laps"].Size(), static_cast<size_t>(crossings));
  }

  struct TSent {
    Clock::time_point iAt;
    int32_t iTime;
  };
  const int iHz;
  const double iRunS;
  Cli iCli;
  pwtest::TPtyDevice iDevice;
  std::unique_ptr<Process> iRecorder;
  std::thread iThread;
  std::vector<TSent> iSent;
  Clock::time_point iKilledAt;
  bool iFed = false;
  int iLost = 0;
};

TEST(CliSurvival, AKilledRecorderKeepsEveryFixButTheLastMomentsAndItsLaps) {
  std::mt19937 random(std::random_device{}());
  std::uniform_real_distribution<double> runFor(1.8, 4.2);
  // Five recorders at a time, ten kills at each rate.
  int lost = 0, kills = 0;
  for (const int hz : {10, 10, 25, 25}) {
    std::vector<std::unique_ptr<TKillRun>> runs;
    for (int i = 0; i < 5; ++i) runs.push_back(std::make_unique<TKillRun>(hz, runFor(random)));
    for (auto& run : runs) run->Start();
    for (auto& run : runs) {
      run->Join();
      lost = std::max(lost, run->iLost * 1000 / hz);
      ++kills;
    }
  }
  std::printf("%d kills, at most %d ms of fixes lost\n", kills, lost);
}

// A receiver on a pseudo-terminal reached through a link, as udev makes them: the link is
// pointed at a new pseudo-terminal when the device comes back.
class TLinkedDevice {
 public:
  TLinkedDevice(const std::string& aLink) : iLink(aLink) { Replug(); }
  void Replug() {
    iDevice = std::make_unique<pwtest::TPtyDevice>();
    Point(iLink, iDevice->SlaveName());
  }
  void Unplug() {
    iDevice->CloseSlave();
    iDevice->CloseMaster();
  }
  static void Point(const std::string& aLink, const std::string& aTarget) {
    const std::string fresh = aLink + ".new";
    ASSERT_EQ(::symlink(aTarget.c_str(), fresh.c_str()), 0);
    ASSERT_EQ(::rename(fresh.c_str(), aLink.c_str()), 0);
  }
  pwtest::TPtyDevice& Device() { return *iDevice; }
  std::string iLink;

 private:
  std::unique_ptr<pwtest::TPtyDevice> iDevice;
};

// Sends the fixes of drive times [aFromMs, aToMs) at 10 Hz in real time; returns their times.
std::vector<int32_t> SendFixes(pwtest::TPtyDevice& aDevice, int64_t aFromMs, int64_t aToMs) {
  std::vector<int32_t> times;
  const Clock::time_point start = Clock::now();
  for (int64_t ms = aFromMs; ms < aToMs; ms += 100) {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(ms - aFromMs));
    EXPECT_TRUE(aDevice.Send(RingEpoch(ms)));
    times.push_back(static_cast<int32_t>(KDriveStartMs + ms));
  }
  return times;
}

TEST(CliSurvival, AReceiverThatHangsUpIsFoundAgainUnderItsPathOrItsStableName) {
  for (const bool renumbered : {false, true}) {
    SCOPED_TRACE(renumbered ? "back as another ttyUSB number" : "back on the same path");
    Cli cli;
    const std::string byId = cli.Work("by-id");
    ASSERT_TRUE(std::filesystem::create_directory(byId));
    cli.SetEnv("PACEWRIGHT_SERIAL_BY_ID", byId);
    TLinkedDevice device(cli.Work("ttyUSB0"));
    const std::string stable = byId + "/usb-Pacewright_Test_GPS-if00-port0";
    TLinkedDevice::Point(stable, "../ttyUSB0");
    std::unique_ptr<Process> recorder = cli.Start({"record", "--input", device.iLink, "--log", "--json"});
    ASSERT_TRUE(WaitUntil([&] { return HoldsOpen(recorder->Pid(), device.Device().SlaveName()); }, 30.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<int32_t> sent = SendFixes(device.Device(), 0, 2000);

    // Away for 3 s: what the receiver sends meanwhile is lost.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    device.Unplug();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    if (renumbered) {
      ASSERT_EQ(::unlink(device.iLink.c_str()), 0);
      device.iLink = cli.Work("ttyUSB1");
      TLinkedDevice::Point(stable, "../ttyUSB1");
    }
    device.Replug();
    ASSERT_TRUE(WaitUntil([&] { return HoldsOpen(recorder->Pid(), device.Device().SlaveName()); }, 10.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int32_t> after = SendFixes(device.Device(), 5500, 7500);
    sent.insert(sent.end(), after.begin(), after.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Lost again, and stopped before it is back: the session is kept, the exit says so.
    device.Unplug();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    recorder->Signal(SIGINT);
    const RunResult result = recorder->Wait();
    EXPECT_EQ(result.iCode, 1) << result;
    const std::string label = cli.Work("ttyUSB0");
    EXPECT_NE(result.iErr.find("Lost the connection to " + label + "; looking for it every second.\n"),
              std::string::npos) << result;
    EXPECT_NE(result.iErr.find(label + " is back; the recording goes on.\n"), std::string::npos) << result;
    EXPECT_NE(result.iErr.find("pacewright-cli: stopped while " + label + " was away"), std::string::npos) << result;
    const std::string id = result.JsonOut()["session"].String();
    ASSERT_FALSE(id.empty()) << result;

    // Every fix sent while the device was there is stored, in one session, the second
    // connection's in a trace segment of its own.
    int32_t resumes = 0;
    EXPECT_EQ(StoredTimes(cli, id, &resumes), sent);
    EXPECT_EQ(resumes, 2);
  }
}

}  // namespace
}  // namespace pwclitest
