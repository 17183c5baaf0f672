// Drives the real GUI without a window: a stand-in for the application frame whose GUI timer
// runs on a clock the test moves, the headless scheduler loop for modal dialogs, and the
// comparison of what the GUI drew with the project's reference pictures.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/dialogs/dialogs.h"
#include "app/draw/pw_bitmap.h"
#include "app/gui/gui.h"
#include "app/gui_observer.h"
#include "app/model.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "support/run_until.h"
#include "support/test_support.h"

namespace pwtest {

// The application frame as the GUI sees it, with a clock of its own.
class FakeWindow final : public MGuiObserver {
 public:
  void RequestRedraw() override { ++iRedraws; }
  void PlatformNotify(int32_t) override {}
  void ExitApplication() override { ++iExits; }
  void StartGuiTimer(int32_t aIntervalMs) override {
    iTimerRequests.push_back(aIntervalMs);
    iTimerDue = iNow + aIntervalMs;
  }
  void BeginTextEntry(TTextEntry& aEntry) override { iEntry = &aEntry; }
  void SetTextEntryFont() override {}
  void PlatformNotifyNoArg() override {}
  void EndTextEntry() override { iEntry = nullptr; }
  void PlatformNotifyValue(int32_t) override {}

  bool TimerArmed() const { return iTimerDue >= 0; }
  // The armed window timer fires (the clock moves to its time if it is ahead).
  bool FireTimer() {
    if (iTimerDue < 0) return false;
    if (iTimerDue > iNow) iNow = iTimerDue;
    iTimerDue = -1;
    iGui->TimerDue();
    Finish();
    return true;
  }
  // Moves the clock, firing every window timer that falls due on the way.
  void Advance(int32_t aMs) {
    const int32_t target = iNow + aMs;
    while (iTimerDue >= 0 && iTimerDue <= target) FireTimer();
    iNow = target;
  }
  void Finish() {
    iGui->FinishEvent();
    Paint();
  }
  void Paint() {
    if (iGui->NeedsDrawing()) iGui->DrawL();
  }
  void Press(int32_t aKey, bool aShift = false) {
    iGui->Key(aKey, aShift);
    Finish();
  }
  void Tap(int32_t aX, int32_t aY) {
    iGui->Pointer(0, aX, aY);
    Finish();
    iGui->Pointer(2, aX, aY);
    Finish();
  }
  void Type(const char* aUtf8) {
    ASSERT_NE(iEntry, nullptr);
    CPwString text = PwStringFromUtf8(aUtf8);
    if (iEntry->iMultiLine == 0) text.FlattenLines();
    iEntry->iObserver->TextEntryInput(text);
    Finish();
  }

  CGui* iGui = nullptr;
  int32_t iNow = 0;
  int32_t iTimerDue = -1;
  std::vector<int32_t> iTimerRequests;
  int32_t iRedraws = 0;
  int32_t iExits = 0;
  TTextEntry* iEntry = nullptr;
};

// Runs aLoop until aDone holds, calling aTick on the loop's thread every 2 ms (also inside
// the nested loops of modal dialogs); at most aSeconds (20 s unless told).
inline bool RunUntil(PwHeadlessLoopHost& aHost, CPwScheduler& aLoop, const std::function<bool()>& aDone,
                     const std::function<void()>& aTick = {}, int aSeconds = 20) {
  return RunLoopUntil(aHost, aLoop, aDone, std::chrono::seconds(aSeconds), aTick);
}

// A GUI without a model over the headless loop: controls, dialogs and timers.
struct BareGui {
  BareGui(int32_t aWidth = 360, int32_t aHeight = 640) {
    iGui.reset(CGui::NewL(nullptr));
    iWindow.iGui = iGui.get();
    iGui->SetGuiObserver(&iWindow);
    iGui->SetClock([this] { return iWindow.iNow; });
    iGui->SetScheduler(&iLoop);
    iGui->SetClientRect(TPwRect{0, 0, aWidth, aHeight});
  }
  bool RunUntil(const std::function<bool()>& aDone, const std::function<void()>& aTick = {}) {
    return pwtest::RunUntil(iHost, iLoop, aDone, aTick);
  }
  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  FakeWindow iWindow;
  std::unique_ptr<CGui> iGui;
};

// The program's model and GUI over temporary folders.
struct ModelGui {
  ModelGui() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    iDocs = iDir / "docs";
    setenv("PACEWRIGHT_DOCUMENTS", iDocs.c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir / "appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir / "install").c_str(), 1);
    setenv("PACEWRIGHT_DEVICES", (iDir / "no-devices").c_str(), 1);  // the machine's receivers do not count
    ::mkdir((iDir / "install").c_str(), 0755);
  }
  ~ModelGui() { iModel.reset(); }
  void Create() {
    iModel.reset(CModel::NewL(&iLoop, [this](CModel& aModel) {
      iGui = CGui::NewL(&aModel);
      return iGui;
    }));
    // Free space differs from machine to machine; pictures must not.
    iModel->SetFreeSpaceQuery([](CPwStringC) { return 2 * 1024 * 1024; });
    iWindow.iGui = iGui;
    iGui->SetGuiObserver(&iWindow);
    iGui->SetClock([this] { return iWindow.iNow; });
    iGui->ActivateFirstView();
    iGui->SetClientRect(TPwRect{0, 0, 360, 640});
  }
  // From launch to the start menu, confirming the start-up warning on the way.
  bool StartToMainMenu() {
    return RunUntil(
        [this] { return iGui->CurrentView() && iGui->CurrentView()->ViewNumber() == 8 && !iWindow.TimerArmed(); },
        [this] {
          if (iGui->Dialogs().CurrentModal() && !iGui->Dialogs().CurrentModal()->IsClosed()) {
            ++iDialogsConfirmed;
            iWindow.Press(0xF805);
          } else {
            iWindow.FireTimer();
          }
        });
  }
  bool RunUntil(const std::function<bool()>& aDone, const std::function<void()>& aTick = {}, int aSeconds = 20) {
    return pwtest::RunUntil(iHost, iLoop, aDone, aTick, aSeconds);
  }
  pwtest::TempDir iDir;
  std::string iDocs;
  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  FakeWindow iWindow;
  std::unique_ptr<CModel> iModel;
  CGui* iGui = nullptr;  // owned by the model
  int32_t iDialogsConfirmed = 0;
};

// Compares the surface with tests/app/reference/<aName>; PW_UPDATE_REFERENCE=1 rewrites the
// reference instead. A channel may differ by a little everywhere (font hinting, blending) and
// by more on a few pixels (glyph edges).
inline void ExpectMatchesReference(const CPwBitmap& aSurface, const std::string& aName) {
  const std::string path = std::string(PW_SOURCE_DATA_DIR) + "/../tests/app/reference/" + aName;
  const char* update = std::getenv("PW_UPDATE_REFERENCE");
  if (update && std::string(update) == "1") {
    ASSERT_EQ(aSurface.WritePng(PwStringFromUtf8(path)), KErrNone) << path;
    return;
  }
  std::unique_ptr<CPwBitmap> reference(CPwBitmap::LoadPngL(PwStringFromUtf8(path)));
  ASSERT_NE(reference, nullptr) << "missing reference " << path << " (PW_UPDATE_REFERENCE=1 makes it)";
  ASSERT_EQ(reference->Width(), aSurface.Width());
  ASSERT_EQ(reference->Height(), aSurface.Height());
  int64_t far = 0;
  int64_t total = 0;
  for (int32_t y = 0; y < aSurface.Height(); ++y)
    for (int32_t x = 0; x < aSurface.Width(); ++x) {
      const uint32_t a = aSurface.Pixel(x, y), b = reference->Pixel(x, y);
      int32_t worst = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t d = std::abs(static_cast<int32_t>((a >> shift) & 0xFF) - static_cast<int32_t>((b >> shift) & 0xFF));
        if (d > worst) worst = d;
        total += d;
      }
      if (worst > 48) ++far;
    }
  const int64_t pixels = static_cast<int64_t>(aSurface.Width()) * aSurface.Height();
  EXPECT_LE(far, pixels / 200) << aName << ": " << far << " pixels differ clearly";
  EXPECT_LE(total / pixels, 3) << aName << ": mean difference too large";
}

}  // namespace pwtest
