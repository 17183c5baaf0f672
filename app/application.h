// The application frame: the main window on the SDL host, the scheduler loop that runs on its
// event queue, and the translation of window events into the GUI's keys, pointer events,
// timers, paints and text input. It owns the model.
#pragma once

#include <cstdint>

#include "app/gui_observer.h"
#include "app/model.h"
#include "foundation/pw_base.h"
#include "foundation/scheduler.h"
#include "platform/sdl_host.h"

class CApplication : public MGuiObserver, public CPwScheduler, private MWindowHandler {
 public:
  static constexpr int32_t GuiTimerId = PwSdlHost::KGuiTimerId;
  static constexpr int32_t HousekeepingTimerId = PwSdlHost::KHousekeepingTimerId;
  static constexpr int32_t KHousekeepingIntervalMs = 5000;
  static constexpr int32_t KWindowWidth = 360;
  static constexpr int32_t KWindowHeight = 640;

  // aHost (initialised, not owned) outlives the application.
  explicit CApplication(PwSdlHost& aHost);
  // Destroys the model if it still exists.
  ~CApplication() override;

  // Creates the window, the model and its GUI (through aGuiFactory), activates the first view
  // and starts the housekeeping timer. 1 on success, 0 when the window or the model could not
  // be made.
  int32_t Initialise(const TGuiFactory& aGuiFactory);

  // Null until initialisation succeeded and after the exit sequence.
  CModel* Model() const { return iModel; }
  MGuiPort* Gui() const { return iModel ? iModel->Gui() : nullptr; }
  PwSdlHost& Host() const { return *iHost; }
  uint32_t WindowThread() const { return iWindowThread; }
  // The text entry taking typing, or null.
  TTextEntry* CurrentTextEntry() const { return iTextEntry; }
  // Whether the exit sequence has run (the model is gone then).
  bool Exited() const { return iExited; }

  // --- MGuiObserver
  void RequestRedraw() override;
  void PlatformNotify(int32_t) override {}
  void ExitApplication() override;
  void StartGuiTimer(int32_t aIntervalMs) override;
  void BeginTextEntry(TTextEntry& aEntry) override;
  void SetTextEntryFont() override {}
  void PlatformNotifyNoArg() override {}
  void EndTextEntry() override;
  void PlatformNotifyValue(int32_t) override {}

 protected:
  // The left or right softkey as key 0xF805 / 0xF806, then the event is finished.
  void DeliverSoftkeyL(int32_t aCommand) override;
  // Saves the settings and destroys the model. From the main loop it returns, so the loop
  // ends and the entry point returns; inside a modal dialog the process ends here, after the
  // open session was saved and catalogued and the devices closed.
  void ExitSequence(int32_t aCode) override;

 private:
  // --- MWindowHandler
  void WindowKeyDown(int32_t aKeyCode, bool aShift) override;
  void WindowPointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void WindowResized(int32_t aWidth, int32_t aHeight) override;
  void WindowPaint() override;
  void WindowTextInput(const char* aUtf8) override;
  void WindowTimer(int32_t aTimerId) override;

  // Runs input handling under a trap; a failure goes to HandleLoopError.
  template <class F>
  void HandleInput(F&& aHandling);
  // FinishEvent, then the GUI's dirty part is invalidated in the window.
  void FinishInput();
  void GiveClientRect();
  void DestroyModel();
  // Ends the process without returning into the frames above (a modal dialog's, the window
  // system's): the settings and the open session are saved and the devices closed first.
  [[noreturn]] void CloseAndExit(int32_t aCode);
  static void DisplayLost(void* aApplication);

  PwSdlHost* iHost = nullptr;
  CModel* iModel = nullptr;
  TTextEntry* iTextEntry = nullptr;
  uint32_t iWindowThread = 0;
  bool iExited = false;
};

// The entry point's logic: host, application, initialisation, the loop. Returns the exit code
// (0 in every case, as the program always ends quietly).
int32_t RunApplication(const TGuiFactory& aGuiFactory);

// The GUI of the program (the GUI core with its views and the dialog service).
TGuiFactory DefaultGuiFactory();
