// Every way the window program ends while it records closes the session the normal way: the
// quit signals, closing the window, Exit inside a modal dialog and the display going away all
// leave the session saved with its summary and every sample; a panic still ends at once.
// Each case runs the program in a child process fed by a pseudo-terminal receiver.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "acquisition/pty_device.h"
#include "app/application.h"
#include "fake_gui.h"
#include "foundation/paths.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "support/test_support.h"

// A child on the X server ends with what the X and D-Bus libraries keep for the life of the
// process; that is not the program's to free, so the leak check is off there.
bool gOnXServer = false;
extern "C" int __lsan_is_turned_off() { return gOnXServer ? 1 : 0; }

namespace {

using Clock = std::chrono::steady_clock;

enum TWayOut { ESigTerm, ESigInt, ESigHup, EWindowClose, EExitInModal, EDisplayLost, EPanic };

const char* Name(TWayOut aWay) {
  switch (aWay) {
    case ESigTerm: return "SIGTERM";
    case ESigInt: return "SIGINT";
    case ESigHup: return "SIGHUP";
    case EWindowClose: return "closing the window";
    case EExitInModal: return "Exit inside a modal dialog";
    case EDisplayLost: return "the display going away";
    default: return "a panic";
  }
}

constexpr int32_t KPort = 58;

// What the child does on the main thread when told: enter a modal loop, or panic.
class CChildAction final : public CActive {
 public:
  CChildAction(CApplication& aApp, TWayOut aWay) : CActive(&aApp), iApp(aApp), iWay(aWay) {}
  void Run() override {
    if (iWay == EPanic) PanicCore(EPanicVectorIndex);
    PwEvent never;
    iApp.RunLoop(never);  // a modal dialog's loop
  }

 private:
  CApplication& iApp;
  TWayOut iWay;
};

// The window program recording from port KPort until the way out; never returns.
[[noreturn]] void Child(TWayOut aWay, int aControl) {
  gOnXServer = aWay == EDisplayLost;
  PwSdlHost host;
  if (!host.Init()) _exit(10);
  CApplication* app = new CApplication(host);
  if (!app->Initialise(TGuiFactory())) _exit(11);
  CModel& model = *app->Model();
  if (!model.StartUp()) _exit(12);
  model.Settings().Gps().iType = MDeviceSettings::EGpsSerial;
  model.Settings().Gps().iSerialPort = KPort;
  CSessionInfo description;
  description.SetTitle(u"Way out");
  description.SetSessionType(ESessionDataLogging);
  description.SetSaveNmea(1);
  if (!model.NewSession(description)) _exit(13);
  model.ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  CChildAction action(*app, aWay);
  std::thread control([&] {
    char byte = 0;
    if (::read(aControl, &byte, 1) != 1) return;
    if (aWay == EWindowClose) host.SimulateClose();
    if (aWay == EPanic) action.SignalRequest();
    if (aWay == EExitInModal) {
      action.SignalRequest();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      app->ExitApplication();
    }
  });
  control.detach();
  PwEvent never;
  app->RunLoop(never);
  _exit(app->Exited() ? 0 : 14);
}

bool HoldsOpen(pid_t aPid, const std::string& aPath) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(aPid) + "/fd", error)) {
    std::error_code linkError;
    if (std::filesystem::read_symlink(entry.path(), linkError).string() == aPath) return true;
  }
  return false;
}

// The exit status of aPid (128 + n for signal n), or -1 when it has not ended in 30 s.
int WaitForExit(pid_t aPid) {
  const auto end = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < end) {
    int status = 0;
    if (::waitpid(aPid, &status, WNOHANG) == aPid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(aPid, SIGKILL);
  ::waitpid(aPid, nullptr, 0);
  return -1;
}

// An X server of our own for the display to go away, or none when Xvfb is not installed.
class TXServer {
 public:
  TXServer() {
    if (::access("/usr/bin/Xvfb", X_OK) != 0) return;
    int number[2];
    if (::pipe(number) != 0) return;
    iPid = ::fork();
    if (iPid == 0) {
      // The server picks a free display and tells its number.
      ::close(number[0]);
      const std::string fd = std::to_string(number[1]);
      ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x800x24",
              static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(number[1]);
    std::string text;
    char c = 0;
    pollfd p{number[0], POLLIN, 0};
    while (::poll(&p, 1, 20000) == 1 && ::read(number[0], &c, 1) == 1 && c != '\n') text += c;
    ::close(number[0]);
    if (text.empty()) {
      Kill();
      return;
    }
    iDisplay = std::atoi(text.c_str());
  }
  ~TXServer() { Kill(); }
  bool Running() const { return iPid > 0; }
  std::string Display() const { return ":" + std::to_string(iDisplay); }
  void Kill() {
    if (iPid <= 0) return;
    ::kill(iPid, SIGKILL);
    ::waitpid(iPid, nullptr, 0);
    iPid = -1;
  }

 private:
  int iDisplay = 0;
  pid_t iPid = -1;
};

TEST(ExitPathsTest, EveryWayOutOfTheWindowProgramClosesTheRecording) {
  for (const TWayOut way : {ESigTerm, ESigInt, ESigHup, EWindowClose, EExitInModal, EDisplayLost, EPanic}) {
    SCOPED_TRACE(Name(way));
    pwtest::UseHeadlessSdl();
    std::unique_ptr<TXServer> x;
    if (way == EDisplayLost) {
      x = std::make_unique<TXServer>();
      if (!x->Running()) {
        std::printf("no Xvfb: the display going away is not tried\n");
        continue;
      }
      setenv("SDL_VIDEODRIVER", "x11", 1);
      setenv("DISPLAY", x->Display().c_str(), 1);
    }
    pwtest::TempDir dir;
    setenv("PACEWRIGHT_DOCUMENTS", (dir / "docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (dir / "appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (dir / "install").c_str(), 1);
    pwtest::TPtyDevice device;
    ASSERT_TRUE(device.IsOpen());
    device.MapPort(KPort);
    // Raw from the start: what is sent before the program has set the line up stays unchanged.
    termios raw{};
    ASSERT_EQ(::tcgetattr(device.Slave(), &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(device.Slave(), TCSANOW, &raw), 0);
    int control[2];
    ASSERT_EQ(::pipe(control), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(control[1]);
      // Only the program's own opening of the port may hold the line.
      ::close(device.Master());
      ::close(device.Slave());
      Child(way, control[0]);
    }
    ::close(control[0]);
    ASSERT_GT(child, 0);
    // A failed step must not leave the program running: it would hold the test's output open.
    struct TReaper {
      pid_t iPid;
      ~TReaper() {
        if (iPid <= 0) return;
        ::kill(iPid, SIGKILL);
        ::waitpid(iPid, nullptr, 0);
      }
    } reaper{child};
    const auto end = Clock::now() + std::chrono::seconds(30);
    bool held = false;
    while (!(held = HoldsOpen(child, device.SlaveName())) && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(held);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string sent;
    for (int i = 0; i < 15; ++i) {
      sent += pwtest::Epoch(i);
      ASSERT_TRUE(device.Send(pwtest::Epoch(i)));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    switch (way) {
      case ESigTerm: ::kill(child, SIGTERM); break;
      case ESigInt: ::kill(child, SIGINT); break;
      case ESigHup: ::kill(child, SIGHUP); break;
      case EDisplayLost: x->Kill(); break;
      default: ASSERT_EQ(::write(control[1], "x", 1), 1); break;
    }
    const int status = WaitForExit(child);
    reaper.iPid = -1;
    ::close(control[1]);
    unsetenv("DISPLAY");

    std::string id;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "docs/Pacewright/Sessions", error)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 12 && name.compare(name.size() - 12, 12, "-session.bin") == 0) id = name.substr(0, name.size() - 12);
    }
    ASSERT_FALSE(id.empty()) << "exit status " << status;
    CSessionInfo stored;
    stored.SetIdentifier(PwStringFromUtf8(id));
    CPwString root;
    SetFromNativePath(root, (dir / "docs/").c_str());
    stored.SetStorageRoot(root);
    PwTimeConverter converter;
    ASSERT_EQ(stored.Load(false, converter), 1);
    if (way == EPanic) {
      // At once: no summary is written, whatever reached the files stays.
      EXPECT_EQ(status, 70);
      EXPECT_EQ(stored.Distance(), PwTime::KUnset);
      continue;
    }
    EXPECT_EQ(status, 0);
    // The summary written on closing, every sample and the whole raw NMEA text.
    EXPECT_NE(stored.Distance(), PwTime::KUnset);
    std::unique_ptr<CPlotList> plots(CPlotList::NewL(nullptr));
    CPlotListLoader* loader = plots->StartLoading(nullptr, stored.Identifier(), root);
    while (loader->Step()) {
    }
    plots->FinishLoading();
    EXPECT_EQ(plots->PositionList().Count(), 15);
    EXPECT_TRUE(plots->IsComplete());
    EXPECT_EQ(pwtest::ReadFileBytes(dir / ("docs/Pacewright/Sessions/" + id + "-nmea.txt")), sent);
  }
}

}  // namespace
