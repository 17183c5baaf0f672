// A stand-in for the GUI and the dialog service that records what the application frame and
// the model ask of it, and answers dialogs as the test tells it.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/draw/pw_bitmap.h"
#include "app/gui_observer.h"
#include "app/gui_port.h"
#include "foundation/pw_string.h"

namespace pwtest {

// SDL without a display or a sound card, for every test of this folder.
inline void UseHeadlessSdl() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

struct TGuiKey {
  int32_t iCode;
  bool iShift;
};

class FakeGui final : public MGuiPort, public MModelDialogs {
 public:
  // --- MGuiPort
  void SetGuiObserver(MGuiObserver* aObserver) override { iObserver = aObserver; }
  void ActivateFirstView() override { ++iActivations; }
  void SetClientRect(const TPwRect& aRect) override {
    iClientRect = aRect;
    if (!iSurface) iSurface.reset(CPwBitmap::NewL(aRect.Width(), aRect.Height()));
    else iSurface->ResizeL(aRect.Width(), aRect.Height());
    iDirty = aRect;
  }
  void Key(int32_t aKeyCode, bool aShift) override {
    iKeys.push_back({aKeyCode, aShift});
    if (iOnKey) iOnKey(aKeyCode);
  }
  void Pointer(int32_t aKind, int32_t aX, int32_t aY) override { iPointers.push_back({aKind, aX, aY}); }
  void FinishEvent() override { ++iFinished; }
  bool NeedsDrawing() const override { return !iDirty.IsEmpty(); }
  TPwRect DirtyRect() const override { return iDirty; }
  void DrawL() override {
    ++iDraws;
    if (iDrawLeaves) Leave(KErrNoMemory);
    iSurface->FillRect(iDirty, iColour);
    iDirty = TPwRect();
  }
  const CPwBitmap* Surface() const override { return iSurface.get(); }
  void TimerDue() override {
    ++iTimersDue;
    if (iOnTimer) iOnTimer();
  }
  void PeriodicScreenshot() override { ++iScreenshots; }
  void UpdateViews(int32_t aCode) override { iUpdates.push_back(aCode); }
  void SetupScreenshots(CPwStringC aRoot) override { iScreenshotRoot = PwToUtf8(aRoot); }
  MModelDialogs& ModelDialogs() override { return *this; }
  MProgressDisplay* ProgressDisplay() override { return nullptr; }

  // --- MModelDialogs
  void ShowErrorNote(CPwStringC aText) override { iErrors.push_back(PwToUtf8(aText)); }
  void ShowWarningNote(CPwStringC aText) override { iWarnings.push_back(PwToUtf8(aText)); }
  void ShowStartupWarning() override { ++iStartupWarnings; }
  int32_t SelectStorage(CPwStringC aMissingName, const CPwDrives&) override {
    iStorageAsked.push_back(PwToUtf8(aMissingName));
    return iStorageAnswer;
  }
  int32_t SelectReplacementTrack() override {
    ++iTrackAsked;
    return iTrackAnswer;
  }
  int32_t SelectReplacementTest() override {
    ++iTestAsked;
    return iTestAnswer;
  }
  void ShowKeysLocked() override {}

  // Marks part of the surface for drawing in aColour, as a control's invalidate would.
  void Invalidate(const TPwRect& aRect, TPwColour aColour) {
    iDirty = iDirty.Union(aRect);
    iColour = aColour;
  }

  struct TPointer {
    int32_t iKind, iX, iY;
  };

  MGuiObserver* iObserver = nullptr;
  int32_t iActivations = 0;
  TPwRect iClientRect;
  std::unique_ptr<CPwBitmap> iSurface;
  TPwRect iDirty;
  TPwColour iColour = 0x000000;
  bool iDrawLeaves = false;
  int32_t iDraws = 0;
  std::vector<TGuiKey> iKeys;
  std::function<void(int32_t)> iOnKey;
  std::vector<TPointer> iPointers;
  int32_t iFinished = 0;
  int32_t iTimersDue = 0;
  std::function<void()> iOnTimer;
  int32_t iScreenshots = 0;
  std::vector<int32_t> iUpdates;
  std::string iScreenshotRoot;
  std::vector<std::string> iErrors;
  std::vector<std::string> iWarnings;
  int32_t iStartupWarnings = 0;
  std::vector<std::string> iStorageAsked;
  int32_t iStorageAnswer = -1;
  int32_t iTrackAsked = 0;
  int32_t iTrackAnswer = -1;
  int32_t iTestAsked = 0;
  int32_t iTestAnswer = -1;
};

}  // namespace pwtest
