// The application frame on SDL's dummy video driver: the loop's wake from other threads, the
// key map, timers, softkeys after their message, painting of the dirty part, text input and
// the exit sequence. The GUI is a recording stand-in.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/application.h"
#include "fake_gui.h"
#include "foundation/active.h"
#include "foundation/paths.h"
#include "platform/sdl_host.h"
#include "storage/settings.h"
#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;

// Completes from outside; each Run counts and may end the loop.
class TestActive final : public CActive {
 public:
  explicit TestActive(MActiveSchedulerObserver* aScheduler) : CActive(aScheduler) {}
  void Run() override {
    ++iRuns;
    if (iStop) iStop->Set();
  }
  std::atomic<int32_t> iRuns{0};
  PwEvent* iStop = nullptr;
};

TEST(SdlKeyMapTest, MapsTheProgramsKeysAndNothingElse) {
  pwtest::UseHeadlessSdl();
  auto key = [](const char* aName) { return PwMapSdlKey(PwSdlKeycodeByName(aName)); };
  for (char d = '0'; d <= '9'; ++d) {
    const std::string keypad = std::string("Keypad ") + d;
    EXPECT_EQ(key(keypad.c_str()), d) << keypad;
    EXPECT_EQ(key(std::string(1, d).c_str()), d);
  }
  EXPECT_EQ(key("A"), 'A');
  EXPECT_EQ(key("Z"), 'Z');
  EXPECT_EQ(key("Return"), 0xF800);
  EXPECT_EQ(key("Keypad Enter"), 0xF800);
  EXPECT_EQ(key("Left"), 0xF801);
  EXPECT_EQ(key("Right"), 0xF802);
  EXPECT_EQ(key("Up"), 0xF803);
  EXPECT_EQ(key("Down"), 0xF804);
  EXPECT_EQ(key("Backspace"), 0x7F);
  EXPECT_EQ(key("Delete"), 0x7F);
  EXPECT_EQ(key("Escape"), 0x1B);
  EXPECT_EQ(key("F8"), '*');
  EXPECT_EQ(key("F9"), '#');
  EXPECT_EQ(key("F1"), 0xF805);
  EXPECT_EQ(key("F2"), 0xF806);
  for (const char* other : {"F3", "F5", "Tab", "Space", "Home", "Left Shift", "Keypad +"})
    EXPECT_EQ(key(other), 0) << other;
}

TEST(SdlHostTest, ASignalFromAnotherThreadEndsTheWaitAndWakesCollapse) {
  pwtest::UseHeadlessSdl();
  PwSdlHost host;
  ASSERT_TRUE(host.Init()) << PwSdlHost::LastError();
  CPwScheduler scheduler(host);
  PwEvent stop;
  TestActive active(&scheduler);
  active.iStop = &stop;

  const auto started = std::chrono::steady_clock::now();
  std::thread signaller([&] {
    std::this_thread::sleep_for(50ms);
    active.SetActive();
    active.SignalRequest();
  });
  scheduler.RunLoop(stop);
  signaller.join();
  EXPECT_EQ(active.iRuns, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 40ms);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

  // A burst of signals before the loop looks queues a single wake.
  const int32_t before = host.WakesPushed();
  std::thread burst([&] {
    for (int i = 0; i < 100; ++i) {
      active.SetActive();
      active.SignalRequest();
    }
  });
  burst.join();
  EXPECT_EQ(host.WakesPushed() - before, 1);
  scheduler.RunLoop(stop);
  EXPECT_EQ(active.iRuns, 2);
}

class WindowEvents final : public MWindowHandler {
 public:
  void WindowKeyDown(int32_t, bool) override {}
  void WindowPointer(int32_t, int32_t, int32_t) override {}
  void WindowResized(int32_t, int32_t) override {}
  void WindowPaint() override {}
  void WindowTextInput(const char*) override {}
  void WindowTimer(int32_t aId) override {
    iTimers.push_back(aId);
    if (iStop && iTimers.size() >= iStopAfter) iStop->Set();
  }
  std::vector<int32_t> iTimers;
  PwEvent* iStop = nullptr;
  size_t iStopAfter = 1;
};

TEST(SdlHostTest, TimersFireAsMessagesAndAReplacedGuiTimerFiresOnce) {
  pwtest::UseHeadlessSdl();
  PwSdlHost host;
  ASSERT_TRUE(host.Init());
  CPwScheduler scheduler(host);
  WindowEvents events;
  host.SetHandler(&events);
  PwEvent stop;
  events.iStop = &stop;

  // A long timer replaced by a short one: only the short one arrives.
  host.StartGuiTimer(10000);
  host.StartGuiTimer(20);
  const auto started = std::chrono::steady_clock::now();
  scheduler.RunLoop(stop);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  ASSERT_EQ(events.iTimers.size(), 1u);
  EXPECT_EQ(events.iTimers[0], PwSdlHost::KGuiTimerId);

  // A killed timer never arrives, even when its expiry raced into the queue.
  host.StartGuiTimer(1);
  std::this_thread::sleep_for(30ms);
  host.KillGuiTimer();
  events.iStopAfter = 3;
  host.StartHousekeepingTimer(15);
  scheduler.RunLoop(stop);
  host.StopHousekeepingTimer();
  ASSERT_EQ(events.iTimers.size(), 3u);
  EXPECT_EQ(events.iTimers[1], PwSdlHost::KHousekeepingTimerId);
  EXPECT_EQ(events.iTimers[2], PwSdlHost::KHousekeepingTimerId);
}

// --- The application with a stand-in GUI -----------------------------------------------------

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pwtest::UseHeadlessSdl();
    setenv("PACEWRIGHT_DOCUMENTS", (iDir / "docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir / "appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir / "install").c_str(), 1);
    ASSERT_TRUE(iHost.Init());
    iApp.reset(new CApplication(iHost));
    ASSERT_EQ(iApp->Initialise([this](CModel&) {
                iGui = new pwtest::FakeGui();
                return iGui;
              }),
              1);
    iStopper.reset(new TestActive(iApp.get()));
    iStopper->iStop = &iStop;
  }
  void TearDown() override {
    iStopper.reset();
    iApp.reset();
  }

  // Handles everything queued so far (and what that queues in turn, such as paints).
  void Pump() {
    iStopper->SetActive();
    iStopper->SignalRequest();
    iApp->RunLoop(iStop);
    // The stopper ran after one drain; a paint queued during it needs one more turn.
    iStopper->SetActive();
    iStopper->SignalRequest();
    iApp->RunLoop(iStop);
  }

  pwtest::TempDir iDir;
  PwSdlHost iHost;
  std::unique_ptr<CApplication> iApp;
  pwtest::FakeGui* iGui = nullptr;  // owned by the model
  std::unique_ptr<TestActive> iStopper;
  PwEvent iStop;
};

TEST_F(ApplicationTest, InitialisationGivesTheGuiTheWindowAndItsFirstView) {
  EXPECT_EQ(iGui->iObserver, iApp.get());
  EXPECT_EQ(iGui->iActivations, 1);
  EXPECT_EQ(iGui->iClientRect.Width(), 360);
  EXPECT_EQ(iGui->iClientRect.Height(), 640);
  EXPECT_NE(iApp->WindowThread(), 0u);
  ASSERT_NE(iApp->Model(), nullptr);
  EXPECT_EQ(iApp->Model()->Gui(), iGui);
}

TEST_F(ApplicationTest, KeysReachTheGuiMappedWithShiftAndEveryKeyFinishesTheEvent) {
  iHost.SimulateKey(PwSdlKeycodeByName("Keypad 5"), true);
  iHost.SimulateKey(PwSdlKeycodeByName("F8"), false);
  iHost.SimulateKey(PwSdlKeycodeByName("F9"), false);
  iHost.SimulateKey(PwSdlKeycodeByName("F5"), false);  // not a key of the program
  Pump();
  ASSERT_EQ(iGui->iKeys.size(), 3u);
  EXPECT_EQ(iGui->iKeys[0].iCode, '5');
  EXPECT_TRUE(iGui->iKeys[0].iShift);
  EXPECT_EQ(iGui->iKeys[1].iCode, '*');
  EXPECT_FALSE(iGui->iKeys[1].iShift);
  EXPECT_EQ(iGui->iKeys[2].iCode, '#');
  EXPECT_EQ(iGui->iFinished, 4);
}

TEST_F(ApplicationTest, ASoftkeyReachesTheGuiOnceAfterItsMessage) {
  // The key the softkey's message reached first must already be handled when the softkey
  // arrives, and the softkey must not be delivered again by a nested loop.
  int32_t finishedAtSoftkey = -1;
  iGui->iOnKey = [&](int32_t aCode) {
    if (aCode == 0xF805) finishedAtSoftkey = iGui->iFinished;
  };
  iHost.SimulateKey(PwSdlKeycodeByName("F1"), true);
  iHost.SimulateKey(PwSdlKeycodeByName("F2"), false);
  Pump();
  ASSERT_EQ(iGui->iKeys.size(), 2u);
  EXPECT_EQ(iGui->iKeys[0].iCode, 0xF805);
  EXPECT_FALSE(iGui->iKeys[0].iShift);  // softkeys never carry shift
  EXPECT_EQ(iGui->iKeys[1].iCode, 0xF806);
  EXPECT_EQ(finishedAtSoftkey, 0);
  EXPECT_EQ(iGui->iFinished, 2);
  EXPECT_EQ(iApp->PendingSoftkey(), 0);
}

TEST_F(ApplicationTest, PointerEventsCarryTheirKindAndPosition) {
  iHost.SimulatePointer(0, 10, 20);
  iHost.SimulatePointer(1, 11, 21);
  iHost.SimulatePointer(2, 12, 22);
  Pump();
  ASSERT_EQ(iGui->iPointers.size(), 3u);
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(iGui->iPointers[i].iKind, i);
    EXPECT_EQ(iGui->iPointers[i].iX, 10 + i);
    EXPECT_EQ(iGui->iPointers[i].iY, 20 + i);
  }
  EXPECT_EQ(iGui->iFinished, 3);
}

TEST_F(ApplicationTest, TheGuiTimerRunsTheDueTimerAndFinishesTheEvent) {
  iGui->iOnTimer = [&] { iStop.Set(); };
  iApp->StartGuiTimer(20);
  iApp->RunLoop(iStop);
  EXPECT_EQ(iGui->iTimersDue, 1);
  EXPECT_EQ(iGui->iFinished, 1);
}

TEST_F(ApplicationTest, HousekeepingTakesThePeriodicScreenshotStep) {
  iHost.StartHousekeepingTimer(10);
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (iGui->iScreenshots < 2 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(15ms);
    Pump();
  }
  EXPECT_GE(iGui->iScreenshots, 2);
}

TEST_F(ApplicationTest, PaintingDrawsTheDirtyPartAndCopiesOnlyThatPart) {
  // The first paint shows the whole surface.
  iGui->Invalidate(TPwRect{0, 0, 360, 640}, 0x102030);
  iApp->RequestRedraw();
  Pump();
  EXPECT_EQ(iGui->iDraws, 1);
  std::vector<uint32_t> pixels;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(iHost.ReadWindowPixels(pixels, w, h));
  ASSERT_EQ(w, 360);
  ASSERT_EQ(h, 640);
  EXPECT_EQ(pixels[320 * 360 + 180] & 0xFFFFFF, 0x102030u);

  // A small change copies only its rectangle.
  iGui->Invalidate(TPwRect{10, 20, 30, 40}, 0xFF8000);
  iApp->RequestRedraw();
  Pump();
  EXPECT_EQ(iGui->iDraws, 2);
  int32_t l, t, r, b;
  iHost.LastCopiedRect(l, t, r, b);
  EXPECT_EQ(l, 10);
  EXPECT_EQ(t, 20);
  EXPECT_EQ(r, 30);
  EXPECT_EQ(b, 40);
  ASSERT_TRUE(iHost.ReadWindowPixels(pixels, w, h));
  EXPECT_EQ(pixels[25 * 360 + 15] & 0xFFFFFF, 0xFF8000u);
  EXPECT_EQ(pixels[45 * 360 + 15] & 0xFFFFFF, 0x102030u);

  // Nothing dirty: no drawing, no paint.
  const int32_t presents = iHost.PresentCount();
  iApp->RequestRedraw();
  Pump();
  EXPECT_EQ(iHost.PresentCount(), presents);

  // A failing draw still copies the surface.
  iGui->iDrawLeaves = true;
  iGui->Invalidate(TPwRect{0, 0, 5, 5}, 0);
  iApp->RequestRedraw();
  Pump();
  EXPECT_EQ(iHost.PresentCount(), presents + 1);
}

TEST_F(ApplicationTest, AResizeLaysTheGuiOutAgain) {
  iHost.SimulateResize(480, 800);
  Pump();
  EXPECT_EQ(iGui->iClientRect.Width(), 480);
  EXPECT_EQ(iGui->iClientRect.Height(), 800);
}

class EntryObserver final : public MTextEntryObserver {
 public:
  void TextEntryInput(CPwStringC aText) override { iTyped.push_back(PwToUtf8(aText)); }
  std::vector<std::string> iTyped;
};

TEST_F(ApplicationTest, TextEntryTakesTypedTextFlattenedForASingleLine) {
  EntryObserver observer;
  TTextEntry entry;
  entry.iLeft = 10;
  entry.iTop = 10;
  entry.iRight = 200;
  entry.iBottom = 40;
  entry.iObserver = &observer;
  iApp->BeginTextEntry(entry);
  EXPECT_TRUE(iHost.TextInputOn());
  EXPECT_EQ(iApp->CurrentTextEntry(), &entry);

  // A typing key comes as text only; an editing key still reaches the GUI.
  iHost.SimulateKey(PwSdlKeycodeByName("A"), false);
  iHost.SimulateTextInput("a");
  iHost.SimulateTextInput("b\nc\r\nd");
  iHost.SimulateKey(PwSdlKeycodeByName("Backspace"), false);
  Pump();
  ASSERT_EQ(observer.iTyped.size(), 2u);
  EXPECT_EQ(observer.iTyped[0], "a");
  EXPECT_EQ(observer.iTyped[1].find('\n'), std::string::npos);
  EXPECT_EQ(observer.iTyped[1].find('\r'), std::string::npos);
  EXPECT_EQ(observer.iTyped[1].substr(0, 3), "b c");
  ASSERT_EQ(iGui->iKeys.size(), 1u);
  EXPECT_EQ(iGui->iKeys[0].iCode, 0x7F);

  // A multi-line entry keeps its line breaks.
  entry.iMultiLine = 1;
  iHost.SimulateTextInput("x\ny");
  Pump();
  EXPECT_EQ(observer.iTyped.back(), "x\ny");

  iApp->EndTextEntry();
  EXPECT_FALSE(iHost.TextInputOn());
  EXPECT_EQ(iApp->CurrentTextEntry(), nullptr);
  iHost.SimulateTextInput("z");
  iHost.SimulateKey(PwSdlKeycodeByName("A"), false);
  Pump();
  EXPECT_EQ(observer.iTyped.size(), 3u);
  EXPECT_EQ(iGui->iKeys.back().iCode, 'A');
}

TEST_F(ApplicationTest, AnOutOfMemoryLeaveInInputHandlingShowsMemoryFull) {
  iGui->iOnKey = [](int32_t) { Leave(KErrNoMemory); };
  iHost.SimulateKey(PwSdlKeycodeByName("Up"), false);
  Pump();
  ASSERT_EQ(iGui->iErrors.size(), 1u);
  EXPECT_EQ(iGui->iErrors[0], "Memory full.");
  // Other codes are reported by the operations themselves.
  iGui->iOnKey = [](int32_t) { Leave(KErrCorrupt); };
  iHost.SimulateKey(PwSdlKeycodeByName("Up"), false);
  Pump();
  EXPECT_EQ(iGui->iErrors.size(), 1u);
}

TEST_F(ApplicationTest, ExitSavesTheSettingsAndDestroysTheModel) {
  iApp->Model()->Settings().SetLastDriver(u"Ayrton");
  iApp->ExitApplication();
  PwEvent neverSet;
  iApp->RunLoop(neverSet);  // the quit message ends it
  EXPECT_TRUE(iApp->Exited());
  EXPECT_EQ(iApp->Model(), nullptr);
  CSettings reread(u"/tmp/");
  reread.Load();
  EXPECT_EQ(PwToUtf8(reread.LastDriver()), "Ayrton");
}

}  // namespace
