// A day at the track in the built window program on a real X server: first start, a session
// recorded from a replayed drive, the live timer, the keys lock, the review of the laps and
// their export, exit and restart, checked against what the command line reads from the same
// folders. Only X input events drive it. Each step waits for its screen with a time limit.
// With PW_GUIDE_IMAGES set to a folder, the named screens are saved there as PNG pictures;
// PW_E2E_PROGRAM runs another build of the program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli_runner.h"
#include "foundation/paths.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "support/test_support.h"
#include "x_session.h"

namespace {

using namespace pwtest;

constexpr int KStepLimitMs = 30000;

std::string ReadText(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first aSeconds of the demo drive, positions only: a replay that lasts a few seconds.
void WriteShortDrive(const std::string& aPath, int aSeconds) {
  std::ifstream in(PW_DEMO_DRIVE);
  std::ofstream out(aPath);
  std::string line;
  int epochs = 0;
  while (std::getline(in, line)) {
    if (line.rfind("$GPRMC", 0) == 0 && ++epochs > aSeconds * 10) break;
    if (line.rfind("$GPRMC", 0) == 0 || line.rfind("$GPGGA", 0) == 0) out << line << "\r\n";
  }
}

// How many pixels have the colour.
int Pixels(const XShot& aShot, uint32_t aColour) {
  return static_cast<int>(std::count(aShot.iPixels.begin(), aShot.iPixels.end(), aColour));
}

// A step that did not reach its screen ends the day.
#define STEP(aStep) ASSERT_GE((aStep), 0)

class TrackDayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServer::Available()) GTEST_SKIP() << "no Xvfb";
    if (!Executable("/usr/bin/xdotool")) GTEST_SKIP() << "no xdotool";
    if (!Executable("/usr/bin/xwd")) GTEST_SKIP() << "no xwd";
    if (::access(PW_DEMO_DRIVE, R_OK) != 0) GTEST_SKIP() << "no demo drive";
    iDocuments = iDir / "docs";
    iAppData = iDir / "appdata";
    setenv("PACEWRIGHT_DOCUMENTS", iDocuments.c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", iAppData.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // The X and D-Bus libraries keep what they hold for the life of the process.
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
    if (const char* images = getenv("PW_GUIDE_IMAGES")) iImages = images;
    if (const char* shots = getenv("PW_E2E_SHOTS")) iShots = shots;
    // Another build of the program (a Release build, for the timings).
    if (const char* program = getenv("PW_E2E_PROGRAM")) iBinary = program;
  }

  void StartServer(int aWidth = 360, int aHeight = 640) {
    iServer = std::make_unique<XServer>(aWidth, aHeight);
    ASSERT_TRUE(iServer->Running()) << "Xvfb did not start";
    setenv("DISPLAY", iServer->Display().c_str(), 1);
    // Clients are accepted once a request gets its answer.
    const auto start = XClock::now();
    while (RunTool({"xdotool", "getdisplaygeometry"}) != 0 && MsSince(start) < 10000)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  // Starts the program and waits for its window.
  void Launch() {
    // A program that could not reach the server at all ends at once; it gets a second try.
    for (int attempt = 0; attempt < 3; ++attempt) {
      iProgram = std::make_unique<XProgram>(iBinary, iDir / "program.log");
      if (!iProgram->Window().empty() || iProgram->Running()) break;
      std::printf("the program ended (status %d) before its window showed; started again\n", iProgram->Status());
    }
    ASSERT_FALSE(iProgram->Window().empty()) << "no window; log:\n" << ReadText(iDir / "program.log");
    ASSERT_TRUE(iProgram->Focus());
  }

  // Waits until the screen is what aWanted says (aWhat names it); fails on a crash or when the
  // step takes too long. Returns the time it took in ms (-1 on failure). aName saves the
  // picture for the guide.
  int64_t ExpectScreen(const std::string& aWhat, const std::function<bool(const XShot&)>& aWanted,
                       const std::string& aName = "", XClock::time_point aFrom = XClock::now(),
                       int aLimitMs = KStepLimitMs) {
    XShot shot;
    for (;;) {
      if (!iProgram->Running()) {
        ADD_FAILURE() << "the program ended (status " << iProgram->Status() << ") waiting for " << aWhat << "; log:\n"
                      << ReadText(iDir / "program.log");
        return -1;
      }
      shot = iProgram->Shot();
      const int64_t elapsed = MsSince(aFrom);
      if (!shot.Empty() && aWanted(shot)) {
        iLast = shot;
        ++iStep;
        if (!iShots.empty()) SavePng(shot, iShots + "/" + std::to_string(iStep) + "-" + aWhat + ".png");
        if (!aName.empty() && !iImages.empty()) SavePng(shot, iImages + "/" + aName + ".png");
        return elapsed;
      }
      if (elapsed > aLimitMs) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string failed = ::testing::TempDir() + "track-day-failed.png";
    SavePng(shot, failed);
    ADD_FAILURE() << aWhat << " not shown within " << aLimitMs << " ms; the screen is in " << failed;
    return -1;
  }
  // Waits until every text shows.
  int64_t Expect(const std::vector<std::string>& aTexts, const std::string& aName = "",
                 XClock::time_point aFrom = XClock::now(), int aLimitMs = KStepLimitMs) {
    std::string what = "\"" + aTexts.at(0) + "\"";
    for (size_t i = 1; i < aTexts.size(); ++i) what += ", \"" + aTexts[i] + "\"";
    return ExpectScreen(
        what,
        [&](const XShot& aShot) {
          for (const std::string& text : aTexts)
            if (!iFinder.Find(aShot, text)) return false;
          return true;
        },
        aName, aFrom, aLimitMs);
  }

  // A key press and the screen it leads to; the time from the press to that screen drawn.
  int64_t Press(const std::string& aKeys, const std::vector<std::string>& aTexts, const std::string& aName = "") {
    const auto from = XClock::now();
    EXPECT_TRUE(iProgram->Key(aKeys)) << aKeys;
    const int64_t ms = Expect(aTexts, aName, from);
    iKeyTimes.push_back(ms);
    return ms;
  }
  int64_t Tap(int aX, int aY, const std::vector<std::string>& aTexts, const std::string& aName = "") {
    const auto from = XClock::now();
    EXPECT_TRUE(iProgram->Tap(aX, aY)) << aX << "," << aY;
    return Expect(aTexts, aName, from);
  }
  // Taps a text shown now; fails when it is not shown. aBar looks for it in the toolbar only
  // (along the bottom, or the right side of a landscape window).
  int64_t TapText(const std::string& aText, const std::vector<std::string>& aTexts, const std::string& aName = "",
                  bool aBar = false) {
    int x = 0, y = 0;
    const bool landscape = iLast.iWidth > iLast.iHeight;
    const int left = aBar && landscape ? iLast.iWidth * 9 / 10 : 0;
    const int top = aBar && !landscape ? iLast.iHeight * 9 / 10 : 0;
    if (!iFinder.Find(iLast, aText, &x, &y, left, top)) {
      ADD_FAILURE() << "\"" << aText << "\" is not on the screen to tap";
      return -1;
    }
    return Tap(x + 4, y + 4, aTexts, aName);
  }

  void ExitAndReap() {
    EXPECT_EQ(iProgram->WaitForExit(KStepLimitMs), 0) << ReadText(iDir / "program.log");
  }

  // Drags the keys-locked screen's knob from the right end of its slider to the left end.
  void UnlockByDrag() {
    const int w = iLast.iWidth, h = iLast.iHeight;
    const int textBottom = h / 10 + h / 5;
    const int knob = (h - textBottom) * 2 / 5;
    const int y = textBottom + (h - textBottom) / 2;
    EXPECT_TRUE(iProgram->Drag(w - 10 - knob / 2, y, 12 + knob / 2, y));
  }

  // From a key press to the next screen drawn (screenshot polling included).
  void ReportKeyTimes() {
    std::vector<int64_t> times = iKeyTimes;
    std::sort(times.begin(), times.end());
    if (times.empty()) return;
    std::printf("key press to the next screen drawn over %zu steps: median %lld ms, max %lld ms\n", times.size(),
                static_cast<long long>(times[times.size() / 2]), static_cast<long long>(times.back()));
  }

  // The exported CSV holds every lap the command line lists for the session.
  void CheckExportAgainstCli(const std::string& aSession) {
    std::vector<std::string> csvs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(iDocuments))
      if (entry.path().extension() == ".csv") csvs.push_back(entry.path().string());
    ASSERT_EQ(csvs.size(), 1u);
    const std::vector<std::string> times = CliLapTimes(aSession);
    ASSERT_GE(times.size(), 3u);
    const std::string csv = ReadText(csvs[0]);
    // Per lap of the file: the times of its first and last sample.
    std::map<int, std::pair<double, double>> spans;
    std::istringstream lines(csv);
    std::string line;
    bool rows = false;
    while (std::getline(lines, line)) {
      if (line.rfind("Lap #,", 0) == 0) {
        rows = true;
        continue;
      }
      if (!rows || line.empty()) continue;
      const int lap = std::atoi(line.c_str());
      const double t = std::atof(line.c_str() + line.find(',') + 1);
      auto [it, fresh] = spans.try_emplace(lap, t, t);
      if (!fresh) it->second.second = t;
    }
    ASSERT_FALSE(spans.empty());
    for (const auto& [lap, span] : spans) {
      ASSERT_GE(lap, 1);
      ASSERT_LE(static_cast<size_t>(lap), times.size());
      const std::string& time = times[static_cast<size_t>(lap) - 1];
      if (time == "null") continue;
      // A lap's samples span its time, give or take the sample on either side of the line.
      EXPECT_NEAR((span.second - span.first) * 1000.0, std::atof(time.c_str()), 250.0) << "lap " << lap;
    }
    for (size_t i = 0; i < times.size(); ++i) {
      if (times[i] != "null") {
        EXPECT_EQ(spans.count(static_cast<int>(i) + 1), 1u) << "lap " << i + 1 << " not exported";
      }
    }
  }

  std::string Cli(const std::string& aArgs) { return RunCli(aArgs); }

  // From the session screen to the traps of the session's track:
  // the locked traps unlocked, the start/finish line moved a few samples along the route and
  // accepted; the laps are timed again, on the screen and for the command line alike.
  void MoveTheStartLine() {
    const std::vector<std::string> sessions = Sessions();
    ASSERT_EQ(sessions.size(), 1u);
    const std::vector<std::string> before = CliLapTimes(sessions[0]);
    ASSERT_GE(before.size(), 3u);
    const std::string example =
        (std::filesystem::path(PW_DEMO_DRIVE).parent_path() / "Pacewright/Tracks/Example track-track.bin").string();
    const std::string shipped = ReadText(example);
    STEP(Press("Down Down Down Down Return", {"Traps", "Start/Finish", "Split 1", "Show"}, "trap_list"));
    // The start/finish line focused, and the map.
    STEP(Press("Up Up F1", {"Traps", "Properties", "Unlock"}, "trap_map"));
    // Its menu unlocks the traps, then moves the focused one.
    STEP(Press("F1", {"Properties", "Unlock traps"}));
    STEP(Press("Down Return", {"Traps", "Add", "More"}));
    STEP(Press("F1", {"Properties", "Move", "Rotate", "Lock traps"}));
    STEP(Press("Down Down Return", {"Moving a trap"}, "trap_moving"));
    STEP(Press("Right Right Right Right Right Right Right Right Return", {"Traps", "Add", "More"}, "trap_moved"));
    const std::vector<std::string> after = CliLapTimes(sessions[0]);
    std::printf("lap times before the start/finish line moved:");
    for (const std::string& time : before) std::printf(" %s", time.c_str());
    std::printf("\nand after:");
    for (const std::string& time : after) std::printf(" %s", time.c_str());
    std::printf("\n");
    // The same drive over a line moved a little: about as many laps, other times.
    EXPECT_LE(before.size(), after.size() + 1);
    EXPECT_LE(after.size(), before.size() + 1);
    EXPECT_NE(before, after);
    int64_t total = 0;
    for (const std::string& time : after)
      if (time != "null") {
        EXPECT_GT(std::atoll(time.c_str()), 0);
        total += std::atoll(time.c_str());
      }
    EXPECT_GT(total, 0);
    // The shipped example track stays as installed; the changed copy is the user's.
    EXPECT_EQ(ReadText(example), shipped);
    // Back to the session and its laps, timed again.
    STEP(Press("F2", {"Traps", "Start/Finish", "Show"}));
    STEP(Press("F2", {"Lap times", "Resume session"}));
    STEP(Press("Down Return", {"Splits", "Opt."}, "lap_list_retimed"));
    STEP(Press("F2", {"Lap times", "Resume session"}));
  }

  // The input file is a short replay of the demo drive; no warning at start.
  std::string SetUpReceiver(int aSeconds) {
    const std::string drive = iDir / "drive.nmea";
    WriteShortDrive(drive, aSeconds);
    EXPECT_NE(Cli("settings set gps-type 2").find("Input file"), std::string::npos);
    EXPECT_NE(Cli("settings set gps-input-file " + Quoted(drive)).find("drive.nmea"), std::string::npos);
    EXPECT_NE(Cli("settings set startup-warning off").find("off"), std::string::npos);
    return drive;
  }

  // The positions stored so far in the session's samples file (also while it is written).
  int32_t StoredPositions(const std::string& aSession) {
    std::unique_ptr<CPlotList> plots(CPlotList::NewL(nullptr));
    CPwString root;
    SetFromNativePath(root, (iDocuments + "/").c_str());
    CPlotListLoader* loader = plots->StartLoading(nullptr, PwStringFromUtf8(aSession), root);
    if (!loader) return -1;
    while (loader->Step()) {
    }
    plots->FinishLoading();
    return plots->PositionList().Count();
  }

  // Sends aCount random keys of those a driver's fingers might hit, at 100 a second.
  void HammerKeys(unsigned& aSeed, int aCount) {
    static const char* const KKeys[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "Up", "Down",
                                        "Left", "Right", "Return", "F8", "F9", "a", "z", "space", "BackSpace"};
    for (int sent = 0; sent < aCount; sent += 100) {
      std::vector<std::string> argv{"xdotool", "key", "--delay", "10"};
      for (int i = 0; i < 100; ++i) argv.push_back(KKeys[rand_r(&aSeed) % (sizeof KKeys / sizeof KKeys[0])]);
      ASSERT_EQ(RunTool(argv), 0);
      ASSERT_TRUE(iProgram->Running()) << "the program ended (status " << iProgram->Status() << ")";
    }
  }

  // The identifiers of the stored sessions, oldest first.
  std::vector<std::string> Sessions() {
    std::vector<std::string> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(iDocuments + "/Pacewright/Sessions", error)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 12 && name.compare(name.size() - 12, 12, "-session.bin") == 0)
        ids.push_back(name.substr(0, name.size() - 12));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  TempDir iDir;
  std::string iDocuments, iAppData, iImages, iShots;
  std::string iBinary = PW_APP_BINARY;
  std::unique_ptr<XServer> iServer;
  std::unique_ptr<XProgram> iProgram;
  XTextFinder iFinder;
  XShot iLast;
  int iStep = 0;
  std::vector<int64_t> iKeyTimes;
};

TEST_F(TrackDayTest, ADayDrivenByKeysOnly) {
  StartServer();
  // First start: the warning, then the start menu; Exit ends the program.
  Launch();
  STEP(Expect({"Warning!"}, "warning"));
  STEP(Press("Return", {"Start menu - Pacewright", "New session"}, "start_menu"));
  ASSERT_TRUE(iProgram->Key("F2"));
  ExitAndReap();

  // The receiver is set up over the command line: the replayed drive as the input file.
  const std::string drive = iDir / "drive.nmea";
  WriteShortDrive(drive, 260);
  ASSERT_NE(Cli("settings set gps-type 2").find("Input file"), std::string::npos);
  ASSERT_NE(Cli("settings set gps-input-file " + Quoted(drive)).find("drive.nmea"), std::string::npos);

  Launch();
  STEP(Expect({"Warning!"}));
  STEP(Press("Return", {"Start menu - Pacewright"}));
  STEP(Press("Return", {"Create new session", "Example track"}, "session_editor"));
  STEP(Press("F1", {"Switch to Live Timer"}));
  STEP(Expect({"Fixed to"}, "session_screen"));
  STEP(Press("Return", {"Live Timer"}));
  // A finished lap with its difference: the current and difference lines turn green or red.
  STEP(ExpectScreen("a lap result", [](const XShot& aShot) {
    return Pixels(aShot, 0x00C000) > 10000 || Pixels(aShot, 0xC00000) > 10000; }, "live_timer"));

  // The keys locked from the toolbar; keys do nothing there, the knob dragged left unlocks.
  STEP(TapText("Lock", {"Drag the circle to left to unlock"}, "keys_locked", true));
  ASSERT_TRUE(iProgram->Key("Return F2 Escape 5"));
  STEP(Expect({"Drag the circle to left to unlock"}));
  UnlockByDrag();
  STEP(Expect({"Live Timer"}));
  STEP(Press("F2", {"Switch to Live Timer"}));
  // The whole drive, then pause and end.
  STEP(Expect({"No connection to GPS", "Lap times"}));
  STEP(Press("F2", {"Pause this session?"}));
  STEP(Press("F1", {"Back"}));
  STEP(Press("F2", {"Start menu - Pacewright"}));

  // The laps reviewed from the session list.
  STEP(Press("Down Return", {"Previous sessions", "Import"}, "session_list"));
  STEP(Press("Return", {"Lap times", "Best:"}));
  STEP(Press("Down Return", {"Sectors", "Opt."}, "lap_list"));
  STEP(Press("F9", {"Splits", "Split 1"}, "lap_list_splits"));
  // The selected lap's graph against the best lap.
  STEP(Press("Return", {"Splits"}));
  STEP(Press("Return", {"Logged data"}, "lap_graph"));
  STEP(Press("F2", {"Splits"}));
  STEP(Press("F2", {"Lap times"}));
  MoveTheStartLine();
  if (HasFatalFailure()) return;
  STEP(Press("F1", {"Export"}));
  STEP(Press("Down Return", {"Type", "Scope"}));
  STEP(Press("Return", {"Speadsheet (.csv)"}));
  STEP(Press("Down Return", {"Speadsheet (.csv)", "Scope"}));
  STEP(Press("Down Return", {"All laps"}));
  STEP(Press("Up Return", {"Speadsheet (.csv)", "All laps"}, "export"));
  STEP(Press("F1", {"Export successful."}));
  STEP(Press("Return", {"Lap times", "Resume session"}));
  STEP(Press("F2", {"Previous sessions", "Import"}));
  STEP(Press("F2", {"Start menu - Pacewright", "2 sessions"}));
  ASSERT_TRUE(iProgram->Key("F2"));
  ExitAndReap();

  // Everything is still there after a restart, and the command line reads the same laps.
  const std::vector<std::string> sessions = Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  const std::string session = sessions.back();
  Launch();
  STEP(Expect({"Warning!"}));
  STEP(Press("Return", {"Start menu - Pacewright", "2 sessions"}));
  STEP(Press("Down Return", {"Previous sessions", "Import", "New session"}));
  STEP(Press("Return", {"Lap times", "Best:"}));
  STEP(Press("Down Return", {"Sectors", "Opt."}));
  ASSERT_TRUE(iProgram->Key("F2 F2 F2 F2"));
  ExitAndReap();
  CheckExportAgainstCli(session);
  ReportKeyTimes();
}

}  // namespace

namespace {

// Epochs of an NMEA text (one RMC sentence each).
int Epochs(const std::string& aText) {
  int count = 0;
  for (size_t at = aText.find("$GPRMC"); at != std::string::npos; at = aText.find("$GPRMC", at + 1)) ++count;
  return count;
}

TEST_F(TrackDayTest, TallAndWideWindowsLayOutTheScreensUpToTheLiveTimer) {
  StartServer(800, 800);
  SetUpReceiver(60);
  Launch();
  for (const auto& [w, h] : {std::pair{480, 800}, std::pair{800, 480}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    ASSERT_TRUE(iProgram->Resize(w, h));
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    STEP(ExpectScreen("the start menu at " + size, [&](const XShot& aShot) {
      return aShot.iWidth == w && aShot.iHeight == h && iFinder.Find(aShot, "Start menu - Pacewright") &&
             iFinder.Find(aShot, "Performance tests") && iFinder.Find(aShot, "Settings");
    }, "start_menu_" + size));
    STEP(Press("Return", {"Create new session", "Session title", "Save NMEA data"}));
    STEP(Press("F1", {"Switch to Live Timer", "Lap times", "Properties"}, "session_screen_" + size));
    STEP(Press("Return", {"Live Timer"}, "live_timer_" + size));
    // The toolbar's labels whole, along the bottom or down the right side.
    EXPECT_TRUE(iFinder.Find(iLast, "Toggle", nullptr, nullptr, w > h ? w * 3 / 4 : 0, w > h ? 0 : h * 3 / 4));
    EXPECT_TRUE(iFinder.Find(iLast, "Back", nullptr, nullptr, w > h ? w * 3 / 4 : 0, w > h ? 0 : h * 3 / 4));
    STEP(Press("F2", {"Switch to Live Timer"}));
    STEP(Press("F2", {"Pause this session?"}));
    STEP(Press("F1", {"Back"}));
    STEP(Press("F2", {"Start menu - Pacewright"}));
  }
  ASSERT_TRUE(iProgram->Key("F2"));
  ExitAndReap();
}

TEST_F(TrackDayTest, TheDisplayGoingAwayMidSessionKeepsTheRecording) {
  StartServer();
  const std::string drive = SetUpReceiver(600);
  Launch();
  STEP(Expect({"Start menu - Pacewright"}));
  STEP(Press("Return", {"Create new session"}));
  STEP(Press("F1", {"Switch to Live Timer"}));
  STEP(Expect({"Fixed to"}));
  std::this_thread::sleep_for(std::chrono::seconds(6));
  ASSERT_EQ(Sessions().size(), 1u);
  const std::string session = Sessions()[0];
  // What is stored a second before the display goes must still be there after.
  const int32_t before = StoredPositions(session);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  iServer->Kill();
  EXPECT_EQ(iProgram->WaitForExit(KStepLimitMs), 0) << ReadText(iDir / "program.log");
  const int32_t after = StoredPositions(session);
  std::printf("%d positions stored a second before the display went, %d after the exit\n", before, after);
  EXPECT_GT(before, 0);
  EXPECT_GE(after, before);
  // The raw text is the start of the drive, with every stored position in it.
  const std::string nmea = ReadText(iDocuments + "/Pacewright/Sessions/" + session + "-nmea.txt");
  EXPECT_EQ(ReadText(drive).compare(0, nmea.size(), nmea), 0);
  EXPECT_GE(Epochs(nmea), after);
  EXPECT_NE(Cli("laps " + Quoted(session) + " --json").find("\"session\""), std::string::npos);
}

TEST_F(TrackDayTest, KeysHammeredOnTheLiveTimerAndTheLapListLoseNoSample) {
  StartServer();
  const std::string drive = SetUpReceiver(200);
  Launch();
  STEP(Expect({"Start menu - Pacewright"}));
  STEP(Press("Return", {"Create new session"}));
  STEP(Press("F1", {"Switch to Live Timer"}));
  STEP(Press("Return", {"Live Timer"}));
  unsigned seed = 21;
  HammerKeys(seed, 1000);
  if (HasFatalFailure()) return;
  ASSERT_TRUE(iProgram->Key("F2"));
  STEP(Expect({"No connection to GPS", "Lap times"}, "", XClock::now(), 60000));
  STEP(Press("Down Return", {"Sectors"}));
  HammerKeys(seed, 1000);
  if (HasFatalFailure()) return;
  // Back out of wherever the keys led, then end the session.
  for (int i = 0; i < 10 && !iFinder.Find(iProgram->Shot(), "Switch to Live Timer"); ++i) {
    ASSERT_TRUE(iProgram->Key("Escape F2"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  STEP(Expect({"Switch to Live Timer"}));
  STEP(Press("F2", {"Pause this session?"}));
  STEP(Press("F1", {"Back"}));
  ASSERT_TRUE(iProgram->Key("F2"));
  STEP(Expect({"Start menu - Pacewright"}));
  ASSERT_TRUE(iProgram->Key("F2"));
  ExitAndReap();
  ASSERT_EQ(Sessions().size(), 1u);
  EXPECT_EQ(StoredPositions(Sessions()[0]), Epochs(ReadText(drive)));
}

// From the start to the start menu drawn, with a documents folder of 200 sessions.
TEST_F(TrackDayTest, TheStartMenuComesUpQuicklyWithManySessions) {
  StartServer();
  SetUpReceiver(10);
  const std::filesystem::path from = std::filesystem::path(PW_DEMO_DRIVE).parent_path() / "Pacewright/Sessions";
  const std::filesystem::path to = iDocuments + "/Pacewright/Sessions";
  std::filesystem::create_directories(to);
  for (int i = 0; i < 200; ++i) {
    char id[32];
    std::snprintf(id, sizeof id, "20070101-%04d", i);
    for (const char* kind : {"-session.bin", "-plots.bin"})
      std::filesystem::copy_file(from / (std::string("20070101-0000-example") + kind), to / (id + std::string(kind)));
  }
  int64_t best = -1;
  for (int round = 0; round < 3; ++round) {
    Launch();
    const int64_t ms = Expect({"Start menu - Pacewright", "201 sessions"}, "", iProgram->Started());
    STEP(ms);
    if (best < 0 || ms < best) best = ms;
    ASSERT_TRUE(iProgram->Key("F2"));
    ExitAndReap();
  }
  std::printf("launch to the start menu drawn with 200 stored sessions: %lld ms (best of 3)\n",
              static_cast<long long>(best));
}

}  // namespace

namespace {

TEST_F(TrackDayTest, ADayDrivenByThePointerOnly) {
  StartServer();
  SetUpReceiver(260);
  Launch();
  STEP(Expect({"Start menu - Pacewright", "New session"}));
  STEP(TapText("New session", {"Create new session", "Example track"}));
  STEP(TapText("Start", {"Switch to Live Timer"}, "", true));
  STEP(Expect({"Fixed to"}));
  STEP(TapText("Switch to Live Timer", {"Live Timer"}));
  STEP(ExpectScreen("a lap result", [](const XShot& aShot) {
    return Pixels(aShot, 0x00C000) > 10000 || Pixels(aShot, 0xC00000) > 10000; }));
  STEP(TapText("Lock", {"Drag the circle to left to unlock"}, "", true));
  UnlockByDrag();
  STEP(Expect({"Live Timer"}));
  STEP(TapText("Toggle", {"Live Timer"}, "", true));
  STEP(TapText("Back", {"Switch to Live Timer"}, "", true));
  STEP(Expect({"No connection to GPS", "Lap times"}));
  STEP(TapText("Pause", {"Pause this session?"}, "", true));
  STEP(TapText("Yes", {"Resume"}));
  STEP(TapText("Back", {"Start menu - Pacewright"}, "", true));
  STEP(TapText("Previous sessions", {"Previous sessions", "Import"}));
  STEP(TapText("New session", {"Lap times", "Best:"}));
  STEP(TapText("Lap times", {"Sectors", "Opt."}));
  STEP(TapText("Back", {"Lap times", "Resume session"}, "", true));
  STEP(TapText("Export", {"Type", "Scope"}, "", true));
  STEP(TapText("Cancel", {"Lap times", "Resume session"}, "", true));
  STEP(TapText("Back", {"Previous sessions", "Import"}, "", true));
  STEP(TapText("Back", {"Start menu - Pacewright", "2 sessions"}, "", true));
  int x = 0, y = 0;
  ASSERT_TRUE(iFinder.Find(iLast, "Exit", &x, &y, 0, iLast.iHeight * 7 / 8));
  ASSERT_TRUE(iProgram->Tap(x + 4, y + 4));
  ExitAndReap();
  ASSERT_EQ(Sessions().size(), 1u);
  EXPECT_GE(CliLapTimes(Sessions()[0]).size(), 3u);
}

}  // namespace
