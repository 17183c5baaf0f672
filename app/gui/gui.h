// The GUI: the root of the control tree with its five fixed children (the current view, the
// navigation pane, the status pane, the toolbar and the dialog manager), the registry of the
// screen views with the back stack, the GUI timers multiplexed onto the window's one-shot
// timer, the double buffer and the periodic screenshots. It is what the application frame and
// the model see as their GUI.
#pragma once

#include <cstdint>
#include <functional>

#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"
#include "app/gui/double_buffer.h"
#include "app/gui/panes.h"
#include "app/gui/toolbar.h"
#include "app/gui/dialog_manager.h"
#include "app/gui_port.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

class CDialogs;
class CModel;
class CPwScheduler;

// A pending GUI timer: when it is due (milliseconds on the GUI's clock) and whose it is.
struct TTimerRecord {
  int32_t iDue = 0;
  CCustomControl* iControl = nullptr;
};

class CGui : public CCustomControl,
             public MCustomViewObserver,
             public MCustomControlObserver,
             public MGuiPort {
 public:
  // The view numbers.
  enum TViewNumber : int32_t {
    EAnalyzeView = 1, ELapView = 2, EPerformanceView = 3, ETrapView = 4, ERouteView = 5, ETimerView = 6,
    ESessionView = 7, EMainView = 8, ESessionListView = 9, ETrackListView = 10, ESettingsEditorView = 11,
    ESessionEditorView = 12, EDownloadTrackView = 13, EStartupView = 14, ETrapEditorView = 15,
    ETrackEditorView = 16, ETrapListView = 17, EExporterEditorView = 18, EGraphSettingsEditorView = 19,
    EUploadTrackEditorView = 20, ETestListView = 21, ETestEditorView = 22
  };

  // aModel may be null (a GUI without views, for tests of the controls); otherwise every
  // screen view is created and registered.
  static CGui* NewL(CModel* aModel);
  ~CGui() override;

  // --- Views.
  // Registers (and owns) a view under its number. When the number is taken already, the
  // first registration stays and the new view is deleted. Leaves with KErrNoMemory (the view
  // is deleted then too).
  void RegisterViewL(CCustomView* aView);
  CCustomView* ViewByNumber(int32_t aNumber) const;
  CCustomView* CurrentView() const { return iCurrentView; }
  CCustomView* PendingView() const { return iNextView; }
  int32_t BackStackCount() const { return iBackStack.Count(); }
  CCustomView* BackStackAt(int32_t aIndex) const { return iBackStack.At(aIndex); }
  bool LastChangeWasBack() const { return iWentBack; }
  const TPwRect& ViewRect() const { return iViewRect; }

  // --- The fixed children and services.
  CNaviControl& Navi() const { return *iNavi; }
  CStatusPaneControl& StatusPane() const { return *iStatusPane; }
  CToolbarControl& ToolbarControl() const { return *iToolbarControl; }
  CDialogManagerControl& DialogManager() const { return *iDialogManager; }
  CDoubleBuffer* Buffer() const { return DoubleBuffer(); }
  MGuiObserver* GuiObserver() const { return iGuiObserver; }

  // --- Timers. The clock is the GUI's stopwatch unless a test gives its own.
  void SetClock(std::function<int32_t()> aClock) { iClock = std::move(aClock); }
  int32_t Now() const;
  int32_t PendingTimerCount() const { return iTimers.Count(); }

  // --- The loop that modal dialogs run again; by default the one the model's active objects
  // are registered with.
  void SetScheduler(CPwScheduler* aScheduler) { iScheduler = aScheduler; }
  CPwScheduler* Scheduler() const;

  // --- Screenshots.
  bool CapturingScreenshots() const { return iCapture; }
  int32_t ScreenshotCounter() const { return iScreenshotCounter; }
  // Writes the surface as a PNG file: KErrNone or the writer's code.
  int32_t WriteScreenshot(CPwStringC aPath) const;

  // --- CCustomControl
  void SetRect(const TPwRect& aRect) override;
  int32_t CommandState(int32_t aCommand) override;
  int32_t ChildCount() override { return 5; }
  CCustomControl* ChildAt(int32_t aIndex) override;
  int32_t HandleCommand(int32_t aCommand) override;
  void Draw() override;

  // --- MCustomControlObserver
  int32_t DispatchGuiCommand(int32_t aCommand) override { return DispatchCommand(aCommand); }
  void StartTimer(int32_t aMs, CCustomControl* aControl) override;
  void CancelTimers(CCustomControl* aControl) override;
  void ControlNotify(int32_t aValue) override;
  void RequestRedraw() override;
  void BeginTextEntry(TTextEntry& aEntry) override;
  void SetTextEntryFont() override;
  void ControlNotifyNoArg() override;
  void EndTextEntry() override;
  void ControlNotifyValue(int32_t aValue) override;

  // --- MCustomViewObserver
  void OpenView(int32_t aViewNumber) override;
  void Back() override;
  void SetSoftkeys(const TSoftkey& aLeft, const TSoftkey& aMiddle, const TSoftkey& aRight) override;
  void SetToolbar(const CToolbar* aToolbar) override;
  void SetTitle(CPwStringC aTitle) override;
  void SetNaviVisible(bool aVisible) override;
  void SetStatusPaneVisible(bool aVisible) override;
  void SetToolbarVisible(bool aVisible) override;
  CModel* Model() override { return iModel; }
  CDialogs& Dialogs() override;
  MValueEditors& ValueEditors() override;
  void CommandStatesChanged() override;

  // --- MGuiPort
  void SetGuiObserver(MGuiObserver* aObserver) override { iGuiObserver = aObserver; }
  void ActivateFirstView() override;
  void SetClientRect(const TPwRect& aRect) override { SetRect(aRect); }
  void Key(int32_t aKeyCode, bool aShift) override { (void)DispatchKey(aKeyCode, aShift ? 1 : 0); }
  void Pointer(int32_t aKind, int32_t aX, int32_t aY) override { (void)DispatchPointer(aKind, aX, aY); }
  void FinishEvent() override;
  bool NeedsDrawing() const override { return !iDirty.IsEmpty(); }
  TPwRect DirtyRect() const override { return iDirty; }
  void DrawL() override;
  const CPwBitmap* Surface() const override { return DoubleBuffer() ? DoubleBuffer()->Bitmap() : nullptr; }
  void TimerDue() override;
  void PeriodicScreenshot() override;
  void UpdateViews(int32_t aCode) override;
  void SetupScreenshots(CPwStringC aStorageRoot) override;
  MModelDialogs& ModelDialogs() override;
  MProgressDisplay* ProgressDisplay() override;

 private:
  CGui() = default;
  void ConstructL(CModel* aModel);
  void SurfaceCreated(CDoubleBuffer& aBuffer) override;
  void Rearm();
  void RestoreChrome();

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  MGuiObserver* iGuiObserver = nullptr;
  CPwScheduler* iScheduler = nullptr;

  CNaviControl* iNavi = nullptr;
  CStatusPaneControl* iStatusPane = nullptr;
  CToolbarControl* iToolbarControl = nullptr;
  CDialogManagerControl* iDialogManager = nullptr;
  CDialogs* iDialogs = nullptr;

  CPwVector<CCustomView*> iViews{8};  // owned
  CCustomView* iCurrentView = nullptr;
  CCustomView* iNextView = nullptr;
  CPwVector<CCustomView*> iBackStack{8};
  bool iWentBack = false;

  PwStopwatch iStopwatch;
  std::function<int32_t()> iClock;
  CPwVector<TTimerRecord> iTimers{8};

  TPwRect iViewRect;

  bool iCapture = false;
  CPwString iScreenshotPrefix;
  int32_t iScreenshotCounter = 0;
};

// Creates and registers every screen view of the program (one place, so that a new view is
// added here and nowhere else).
void CreateViewsL(CGui& aGui, CModel& aModel);
