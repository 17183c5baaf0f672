// A day at the track in the built window program on a real X server: first start, a session
// recorded from a replayed drive, the live timer, the keys lock, the review of the laps and
// their export, exit and restart, checked against what the command line reads from the same
// folders. Only X input events drive it. Each step waits for its screen with a time limit.
// With PW_GUIDE_IMAGES set to a folder, the named screens are saved there as PNG pictures.
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
  }

  void StartServer(int aWidth = 360, int aHeight = 640) {
    iServer = std::make_unique<XServer>(aWidth, aHeight);
    ASSERT_TRUE(iServer->Running()) << "Xvfb did not start";
    setenv("DISPLAY", iServer->Display().c_str(), 1);
  }

  // Starts the program and waits for its window.
  void Launch() {
    iProgram = std::make_unique<XProgram>(PW_APP_BINARY, iDir / "program.log");
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
    const int left = aBar && landscape ? iLast.iWidth * 7 / 8 : 0;
    const int top = aBar && !landscape ? iLast.iHeight * 7 / 8 : 0;
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
}

}  // namespace
