// The windowed host of the scheduler loop: one SDL window whose event queue is the loop's
// message queue. Wait blocks in SDL_WaitEvent; Wake (any thread) pushes a user event, so a
// reader thread's SignalRequest ends the wait at once. The host also owns the window's texture
// (the copy of the GUI's double buffer), the one-shot GUI timer and the housekeeping timer
// (SDL timer threads that push events), the key map and the system text input.
//
// Everything here except Wake runs on the thread that called Init.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/loop_host.h"

// Key codes of the program, as the GUI receives them.
namespace pwkeys {
constexpr int32_t KEnter = 0xF800;
constexpr int32_t KLeft = 0xF801;
constexpr int32_t KRight = 0xF802;
constexpr int32_t KUp = 0xF803;
constexpr int32_t KDown = 0xF804;
constexpr int32_t KLeftSoftkey = 0xF805;
constexpr int32_t KRightSoftkey = 0xF806;
constexpr int32_t KDelete = 0x7F;
constexpr int32_t KEscape = 0x1B;
}  // namespace pwkeys

// The program's key code of an SDL key code, 0 for a key the program does not use: keypad and
// main digits "0"-"9", letters "A"-"Z", return, arrows, backspace and delete (0x7F), escape,
// F8 "*", F9 "#", F1 and F2 the left and right softkeys.
int32_t PwMapSdlKey(int32_t aSdlKeycode);
// The SDL key code of a key name as SDL spells it ("Keypad 5", "F8", "Left"); 0 if unknown.
int32_t PwSdlKeycodeByName(const char* aName);

// What the window hands to the application; called from DispatchMessage.
class MWindowHandler {
 public:
  // A key went down. aKeyCode is the mapped code, 0 for a key the program does not use (and
  // for a typing key while text input is on: its text arrives through WindowTextInput).
  virtual void WindowKeyDown(int32_t aKeyCode, bool aShift) = 0;
  // 0 left button down, 1 move, 2 left button up; window coordinates.
  virtual void WindowPointer(int32_t aKind, int32_t aX, int32_t aY) = 0;
  virtual void WindowResized(int32_t aWidth, int32_t aHeight) = 0;
  // Part of the window needs painting (see PwSdlHost::PaintRect).
  virtual void WindowPaint() = 0;
  // Typed or pasted text (UTF-8) while text input is on.
  virtual void WindowTextInput(const char* aUtf8) = 0;
  virtual void WindowTimer(int32_t aTimerId) = 0;

 protected:
  ~MWindowHandler() = default;
};

class PwSdlHost final : public MLoopHost {
 public:
  static constexpr int32_t KGuiTimerId = 0x100000;
  static constexpr int32_t KHousekeepingTimerId = 0x100001;

  PwSdlHost() = default;
  // Removes the timers, destroys the window and shuts SDL down (when Init succeeded).
  ~PwSdlHost();
  PwSdlHost(const PwSdlHost&) = delete;
  PwSdlHost& operator=(const PwSdlHost&) = delete;

  // Starts SDL's video, timer and event parts; false with LastError on failure.
  bool Init();
  static const char* LastError();

  // Creates the hidden, resizable window and its renderer; false on failure.
  bool CreateWindow(const char* aTitle, int32_t aWidth, int32_t aHeight);
  void ShowWindow();
  bool HasWindow() const { return iWindow != nullptr; }
  void SetHandler(MWindowHandler* aHandler) { iHandler = aHandler; }
  void ClientSize(int32_t& aWidth, int32_t& aHeight) const;

  // --- Painting. Invalidate adds to the window's invalid rectangle and queues one paint
  // message; Present copies that rectangle of the pixels to the window and validates it.
  void Invalidate(int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom);
  void InvalidateAll();
  // The invalid rectangle; false when the window is valid.
  bool PaintRect(int32_t& aLeft, int32_t& aTop, int32_t& aRight, int32_t& aBottom) const;
  // aPixels are 0xAARRGGBB, aPitchBytes apart; alpha is ignored. The window outside the
  // pixels' size is black.
  void Present(const uint32_t* aPixels, int32_t aWidth, int32_t aHeight, int32_t aPitchBytes);
  // What the window shows now (tests); false when it cannot be read.
  bool ReadWindowPixels(std::vector<uint32_t>& aPixels, int32_t& aWidth, int32_t& aHeight);
  // Number of Present calls and the area last copied into the texture (tests).
  int32_t PresentCount() const { return iPresentCount; }
  void LastCopiedRect(int32_t& aLeft, int32_t& aTop, int32_t& aRight, int32_t& aBottom) const;

  // --- Timers. Each expiry arrives as WindowTimer with the timer's identifier.
  // Replaces a pending GUI timer with one that fires once after aIntervalMs.
  void StartGuiTimer(int32_t aIntervalMs);
  void KillGuiTimer();
  // Fires every aIntervalMs until stopped; at most one expiry waits in the queue.
  void StartHousekeepingTimer(int32_t aIntervalMs);
  void StopHousekeepingTimer();

  // --- Text input: between Start and Stop typing keys arrive as text, and Ctrl+V pastes.
  void StartTextInput(int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom);
  void StopTextInput();
  bool TextInputOn() const { return iTextInput; }

  // Queues the quit message (the window's close), which ends the loop's turn with EQuit.
  // SIGINT, SIGTERM and SIGHUP queue it too, from Init until the host is destroyed.
  void PostQuit();

  // Called when the connection to the display is lost (the X server went away). The program
  // cannot go on drawing or return into the window system: the handler must end the process.
  // Should it return, the process ends with status 1.
  using TDisplayLostHandler = void (*)(void* aContext);
  static void SetDisplayLostHandler(TDisplayLostHandler aHandler, void* aContext);

  // --- Synthetic input through the real event queue (tests, demo scripts).
  void SimulateKey(int32_t aSdlKeycode, bool aShift);
  void SimulatePointer(int32_t aKind, int32_t aX, int32_t aY);
  void SimulateTextInput(const char* aUtf8);
  void SimulateResize(int32_t aWidth, int32_t aHeight);
  // The window manager's close button.
  void SimulateClose();

  // --- MLoopHost
  TDispatchResult DispatchMessage(int32_t& aQuitCode) override;
  void Wait() override;
  // Any thread. Several wakes before the loop takes one collapse into one queued event.
  void Wake() override;

  // Wake events pushed so far (tests).
  int32_t WakesPushed() const { return iWakesPushed.load(); }

 private:
  static uint32_t GuiTimerCallback(uint32_t aInterval, void* aParam);
  static uint32_t HousekeepingCallback(uint32_t aInterval, void* aParam);
  void PushUserEvent(uint32_t aType, int32_t aCode, intptr_t aData);
  void HandleEvent(const void* aEvent);
  void KeyDown(int32_t aSdlKeycode, uint16_t aModifiers);
  bool EnsureTexture(int32_t aWidth, int32_t aHeight);

  bool iInitialised = false;
  struct SDL_Window* iWindow = nullptr;
  struct SDL_Renderer* iRenderer = nullptr;
  struct SDL_Texture* iTexture = nullptr;
  int32_t iTextureWidth = 0;
  int32_t iTextureHeight = 0;
  MWindowHandler* iHandler = nullptr;
  uint32_t iEventBase = 0;  // wake, timer, paint, in this order

  // Invalid rectangle of the window (empty when right <= left).
  int32_t iInvalid[4] = {0, 0, 0, 0};
  bool iPaintQueued = false;
  int32_t iPresentCount = 0;
  int32_t iLastCopied[4] = {0, 0, 0, 0};

  int iGuiTimer = 0;
  // Expiries of a killed or replaced GUI timer may still be queued; only the current
  // generation's expiry is delivered.
  std::atomic<int32_t> iGuiTimerGeneration{0};
  int iHousekeepingTimer = 0;
  std::atomic<bool> iHousekeepingQueued{false};

  // The quit signals' watcher: the handlers write to the pipe, the thread queues the quit.
  void WatchQuitSignals();
  void StopWatchingQuitSignals();
  int iSignalPipe[2] = {-1, -1};
  std::thread iSignalWatcher;

  std::atomic<bool> iWakeQueued{false};
  std::atomic<int32_t> iWakesPushed{0};
  bool iTextInput = false;
};
