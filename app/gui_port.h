// The GUI as the application frame and the model use it. The GUI core (CGui with its double
// buffer) and the dialog service (CDialogs) sit behind this seam, so that the frame and the
// model can be built and tested without them, and the model never sees a control.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "foundation/pw_string.h"
#include "foundation/scheduler.h"
#include "foundation/worker.h"

class CPwDrives;
class MGuiObserver;

// The modal dialogs the model raises. Each runs in a nested loop and returns the answer.
class MModelDialogs : public MErrorNoteDisplay {
 public:
  virtual ~MModelDialogs() = default;
  // ShowErrorNote (from MErrorNoteDisplay): the error note (kind 5).
  // The warning note (kind 3).
  virtual void ShowWarningNote(CPwStringC aText) = 0;
  // "Warning!" with the warning not to operate the program while driving.
  virtual void ShowStartupWarning() = 0;
  // "Storage media": the chosen medium aMissingName is not available; lists the present media
  // of aDrives. The index in aDrives of the medium picked, or -1 when cancelled.
  virtual int32_t SelectStorage(CPwStringC aMissingName, const CPwDrives& aDrives) = 0;
  // "Track" / "Performance test" for a session whose track or test is missing: the index in
  // the track list or the performance test list of the one picked, or -1 when cancelled.
  virtual int32_t SelectReplacementTrack() = 0;
  virtual int32_t SelectReplacementTest() = 0;
  // Runs the keys-locked dialog until the keys are unlocked.
  virtual void ShowKeysLocked() = 0;
};

class MGuiPort {
 public:
  virtual ~MGuiPort() = default;

  // --- The application frame.
  virtual void SetGuiObserver(MGuiObserver* aObserver) = 0;
  virtual void ActivateFirstView() = 0;
  // The window's client area; the GUI lays itself out and sizes its double buffer to it.
  virtual void SetClientRect(const TPwRect& aRect) = 0;
  virtual void Key(int32_t aKeyCode, bool aShift) = 0;
  // 0 down, 1 move, 2 up.
  virtual void Pointer(int32_t aKind, int32_t aX, int32_t aY) = 0;
  // After every input and timer event: switches to a pending view.
  virtual void FinishEvent() = 0;
  virtual bool NeedsDrawing() const = 0;
  // The part of the surface that needs drawing (empty when nothing does).
  virtual TPwRect DirtyRect() const = 0;
  // Begin drawing, draw the control tree, end drawing. May leave.
  virtual void DrawL() = 0;
  // The double buffer's bitmap; null before the GUI has a size.
  virtual const CPwBitmap* Surface() const = 0;
  // The one-shot window timer fired: the due GUI timer runs.
  virtual void TimerDue() = 0;
  // Every 5 seconds: a numbered screenshot when capture is on.
  virtual void PeriodicScreenshot() = 0;

  // --- The model.
  virtual void UpdateViews(int32_t aCode) = 0;
  // Capture is on when root + "Pacewright/Screenshots/" exists.
  virtual void SetupScreenshots(CPwStringC aStorageRoot) = 0;
  virtual MModelDialogs& ModelDialogs() = 0;
  // The non-modal progress dialog the worker engine and the web client show.
  virtual MProgressDisplay* ProgressDisplay() = 0;
};
