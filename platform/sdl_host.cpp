#include "platform/sdl_host.h"

#include <SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

enum TUserEvent : uint32_t { EWakeEvent = 0, ETimerEvent = 1, EPaintEvent = 2, EUserEventCount = 3 };

// The timer event's type for the GUI timer's callback (SDL registers event types per process).
std::atomic<uint32_t> sTimerEventType{0};

bool IsTypingKey(int32_t aSdlKeycode) {
  // Keys whose press also produces text while text input is on.
  if (aSdlKeycode >= SDLK_SPACE && aSdlKeycode < SDLK_DELETE) return true;
  switch (aSdlKeycode) {
    case SDLK_KP_0: case SDLK_KP_1: case SDLK_KP_2: case SDLK_KP_3: case SDLK_KP_4:
    case SDLK_KP_5: case SDLK_KP_6: case SDLK_KP_7: case SDLK_KP_8: case SDLK_KP_9:
    case SDLK_KP_PERIOD: case SDLK_KP_DIVIDE: case SDLK_KP_MULTIPLY: case SDLK_KP_MINUS:
    case SDLK_KP_PLUS:
      return true;
    default:
      return false;
  }
}

// The quit signals and where their handler writes.
constexpr int KQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t sSignalFd = -1;
constexpr char KSignalled = 's';
constexpr char KStopWatching = 'q';

extern "C" void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = KSignalled;
  if (sSignalFd >= 0) (void)!::write(sSignalFd, &byte, 1);
  errno = saved;
}

// The display-lost handler, called from the X library's handler of a broken connection.
std::atomic<PwSdlHost::TDisplayLostHandler> sDisplayLost{nullptr};
std::atomic<void*> sDisplayLostContext{nullptr};

std::atomic<bool> sDisplayGone{false};

extern "C" int OnDisplayIoError(void*) {
  // Wakes from other threads reach the display too (SDL sends them as X events): none after this.
  sDisplayGone.store(true);
  if (PwSdlHost::TDisplayLostHandler handler = sDisplayLost.load()) handler(sDisplayLostContext.load());
  std::_Exit(1);
}

// SDL reaches the X library through dlopen; the handler is set on the same library, and
// only when SDL uses it.
void WatchDisplayConnection() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return;
  void* x11 = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (!x11) return;
  using TIoErrorHandler = int (*)(void*);
  using TSetIoErrorHandler = TIoErrorHandler (*)(TIoErrorHandler);
  if (auto set = reinterpret_cast<TSetIoErrorHandler>(::dlsym(x11, "XSetIOErrorHandler"))) set(&OnDisplayIoError);
  ::dlclose(x11);
}

}  // namespace

void PwSdlHost::SetDisplayLostHandler(TDisplayLostHandler aHandler, void* aContext) {
  sDisplayLostContext.store(aContext);
  sDisplayLost.store(aHandler);
}

void PwSdlHost::WatchQuitSignals() {
  if (::pipe(iSignalPipe) != 0) {
    iSignalPipe[0] = iSignalPipe[1] = -1;
    return;  // the signals keep their default action
  }
  sSignalFd = iSignalPipe[1];
  iSignalWatcher = std::thread([this] {
    for (;;) {
      char byte = 0;
      const ssize_t n = ::read(iSignalPipe[0], &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == KStopWatching) return;
      PostQuit();
    }
  });
  for (const int signal : KQuitSignals) std::signal(signal, OnQuitSignal);
}

void PwSdlHost::StopWatchingQuitSignals() {
  if (iSignalPipe[1] < 0) return;
  for (const int signal : KQuitSignals) std::signal(signal, SIG_DFL);
  const char byte = KStopWatching;
  (void)!::write(iSignalPipe[1], &byte, 1);
  iSignalWatcher.join();
  sSignalFd = -1;
  ::close(iSignalPipe[0]);
  ::close(iSignalPipe[1]);
  iSignalPipe[0] = iSignalPipe[1] = -1;
}

int32_t PwMapSdlKey(int32_t aSdlKeycode) {
  if (aSdlKeycode >= SDLK_0 && aSdlKeycode <= SDLK_9) return aSdlKeycode;
  if (aSdlKeycode >= SDLK_a && aSdlKeycode <= SDLK_z) return aSdlKeycode - SDLK_a + 'A';
  switch (aSdlKeycode) {
    case SDLK_KP_0: return '0';
    case SDLK_KP_1: return '1';
    case SDLK_KP_2: return '2';
    case SDLK_KP_3: return '3';
    case SDLK_KP_4: return '4';
    case SDLK_KP_5: return '5';
    case SDLK_KP_6: return '6';
    case SDLK_KP_7: return '7';
    case SDLK_KP_8: return '8';
    case SDLK_KP_9: return '9';
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return pwkeys::KEnter;
    case SDLK_LEFT: return pwkeys::KLeft;
    case SDLK_RIGHT: return pwkeys::KRight;
    case SDLK_UP: return pwkeys::KUp;
    case SDLK_DOWN: return pwkeys::KDown;
    case SDLK_BACKSPACE:
    case SDLK_DELETE: return pwkeys::KDelete;
    case SDLK_ESCAPE: return pwkeys::KEscape;
    case SDLK_F8: return '*';
    case SDLK_F9: return '#';
    case SDLK_F1: return pwkeys::KLeftSoftkey;
    case SDLK_F2: return pwkeys::KRightSoftkey;
    default: return 0;
  }
}

int32_t PwSdlKeycodeByName(const char* aName) {
  const SDL_Keycode code = SDL_GetKeyFromName(aName);
  return code == SDLK_UNKNOWN ? 0 : static_cast<int32_t>(code);
}

PwSdlHost::~PwSdlHost() {
  if (!iInitialised) return;
  StopWatchingQuitSignals();
  KillGuiTimer();
  StopHousekeepingTimer();
  if (iTexture) SDL_DestroyTexture(iTexture);
  if (iRenderer) SDL_DestroyRenderer(iRenderer);
  if (iWindow) SDL_DestroyWindow(iWindow);
  SDL_Quit();
}

bool PwSdlHost::Init() {
  if (iInitialised) return true;
  // The host handles the quit signals itself (SIGHUP too), through the loop's exit sequence.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) return false;
  iEventBase = SDL_RegisterEvents(EUserEventCount);
  if (iEventBase == static_cast<uint32_t>(-1)) {
    SDL_Quit();
    return false;
  }
  sTimerEventType.store(iEventBase + ETimerEvent);
  // Desktop builds start with text input on; here it is on only while an entry takes typing.
  SDL_StopTextInput();
  WatchDisplayConnection();
  WatchQuitSignals();
  iInitialised = true;
  return true;
}

const char* PwSdlHost::LastError() { return SDL_GetError(); }

bool PwSdlHost::CreateWindow(const char* aTitle, int32_t aWidth, int32_t aHeight) {
  if (!iInitialised || iWindow) return false;
  iWindow = SDL_CreateWindow(aTitle, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, aWidth, aHeight,
                             SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!iWindow) return false;
  iRenderer = SDL_CreateRenderer(iWindow, -1, 0);
  // Headless drivers and bare framebuffers may offer no accelerated renderer.
  if (!iRenderer) iRenderer = SDL_CreateRenderer(iWindow, -1, SDL_RENDERER_SOFTWARE);
  if (!iRenderer) {
    SDL_DestroyWindow(iWindow);
    iWindow = nullptr;
    return false;
  }
  SDL_StopTextInput();
  return true;
}

void PwSdlHost::ShowWindow() {
  if (!iWindow) return;
  SDL_ShowWindow(iWindow);
  InvalidateAll();
}

void PwSdlHost::ClientSize(int32_t& aWidth, int32_t& aHeight) const {
  aWidth = aHeight = 0;
  if (iWindow) SDL_GetWindowSize(iWindow, &aWidth, &aHeight);
}

// --- Painting -------------------------------------------------------------------------------

void PwSdlHost::Invalidate(int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom) {
  if (!iWindow || aRight <= aLeft || aBottom <= aTop) return;
  if (iInvalid[2] <= iInvalid[0] || iInvalid[3] <= iInvalid[1]) {
    iInvalid[0] = aLeft;
    iInvalid[1] = aTop;
    iInvalid[2] = aRight;
    iInvalid[3] = aBottom;
  } else {
    iInvalid[0] = std::min(iInvalid[0], aLeft);
    iInvalid[1] = std::min(iInvalid[1], aTop);
    iInvalid[2] = std::max(iInvalid[2], aRight);
    iInvalid[3] = std::max(iInvalid[3], aBottom);
  }
  // Like a window system's paint message: one, behind the input already queued.
  if (!iPaintQueued) {
    iPaintQueued = true;
    PushUserEvent(iEventBase + EPaintEvent, 0, 0);
  }
}

void PwSdlHost::InvalidateAll() {
  int32_t w = 0, h = 0;
  ClientSize(w, h);
  Invalidate(0, 0, w, h);
}

bool PwSdlHost::PaintRect(int32_t& aLeft, int32_t& aTop, int32_t& aRight, int32_t& aBottom) const {
  aLeft = iInvalid[0];
  aTop = iInvalid[1];
  aRight = iInvalid[2];
  aBottom = iInvalid[3];
  return aRight > aLeft && aBottom > aTop;
}

bool PwSdlHost::EnsureTexture(int32_t aWidth, int32_t aHeight) {
  if (iTexture && iTextureWidth == aWidth && iTextureHeight == aHeight) return true;
  if (iTexture) SDL_DestroyTexture(iTexture);
  iTexture = SDL_CreateTexture(iRenderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, aWidth, aHeight);
  iTextureWidth = iTexture ? aWidth : 0;
  iTextureHeight = iTexture ? aHeight : 0;
  if (!iTexture) return false;
  // The bitmap's top byte is not coverage: the copy must be opaque.
  SDL_SetTextureBlendMode(iTexture, SDL_BLENDMODE_NONE);
  return true;
}

void PwSdlHost::Present(const uint32_t* aPixels, int32_t aWidth, int32_t aHeight, int32_t aPitchBytes) {
  int32_t rect[4];
  const bool invalid = PaintRect(rect[0], rect[1], rect[2], rect[3]);
  iInvalid[0] = iInvalid[1] = iInvalid[2] = iInvalid[3] = 0;
  if (!iRenderer || !aPixels || aWidth <= 0 || aHeight <= 0) return;
  const bool fresh = !iTexture || iTextureWidth != aWidth || iTextureHeight != aHeight;
  if (!EnsureTexture(aWidth, aHeight)) return;
  // A new texture has no content yet: it takes the whole bitmap once.
  if (fresh) {
    rect[0] = rect[1] = 0;
    rect[2] = aWidth;
    rect[3] = aHeight;
  } else if (invalid) {
    rect[0] = std::max(rect[0], 0);
    rect[1] = std::max(rect[1], 0);
    rect[2] = std::min(rect[2], aWidth);
    rect[3] = std::min(rect[3], aHeight);
  }
  if ((fresh || invalid) && rect[2] > rect[0] && rect[3] > rect[1]) {
    const SDL_Rect area{rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]};
    const uint8_t* first = reinterpret_cast<const uint8_t*>(aPixels) + static_cast<size_t>(rect[1]) * aPitchBytes +
                           static_cast<size_t>(rect[0]) * 4;
    SDL_UpdateTexture(iTexture, &area, first, aPitchBytes);
    std::memcpy(iLastCopied, rect, sizeof rect);
  }
  // The back buffer's content is undefined after a present, so the whole frame goes again; on
  // the graphics card that is one cheap copy of the texture.
  SDL_SetRenderDrawColor(iRenderer, 0, 0, 0, 255);
  SDL_RenderClear(iRenderer);
  const SDL_Rect whole{0, 0, aWidth, aHeight};
  SDL_RenderCopy(iRenderer, iTexture, nullptr, &whole);
  SDL_RenderPresent(iRenderer);
  ++iPresentCount;
}

bool PwSdlHost::ReadWindowPixels(std::vector<uint32_t>& aPixels, int32_t& aWidth, int32_t& aHeight) {
  aWidth = aHeight = 0;
  if (!iRenderer || !iTexture) return false;
  // Drawn again first: reading the presented buffer back is not defined by every driver.
  SDL_SetRenderDrawColor(iRenderer, 0, 0, 0, 255);
  SDL_RenderClear(iRenderer);
  const SDL_Rect whole{0, 0, iTextureWidth, iTextureHeight};
  SDL_RenderCopy(iRenderer, iTexture, nullptr, &whole);
  int w = 0, h = 0;
  if (SDL_GetRendererOutputSize(iRenderer, &w, &h) != 0 || w <= 0 || h <= 0) return false;
  aPixels.assign(static_cast<size_t>(w) * h, 0);
  if (SDL_RenderReadPixels(iRenderer, nullptr, SDL_PIXELFORMAT_ARGB8888, aPixels.data(), w * 4) != 0) return false;
  aWidth = w;
  aHeight = h;
  return true;
}

void PwSdlHost::LastCopiedRect(int32_t& aLeft, int32_t& aTop, int32_t& aRight, int32_t& aBottom) const {
  aLeft = iLastCopied[0];
  aTop = iLastCopied[1];
  aRight = iLastCopied[2];
  aBottom = iLastCopied[3];
}

// --- Timers ---------------------------------------------------------------------------------

uint32_t PwSdlHost::GuiTimerCallback(uint32_t, void* aParam) {
  // aParam carries the generation, so that an expiry racing with a kill is recognised.
  SDL_Event event;
  SDL_zero(event);
  event.type = sTimerEventType.load();
  event.user.code = PwSdlHost::KGuiTimerId;
  event.user.data1 = aParam;
  SDL_PushEvent(&event);
  return 0;  // one-shot
}

uint32_t PwSdlHost::HousekeepingCallback(uint32_t aInterval, void* aParam) {
  auto* host = static_cast<PwSdlHost*>(aParam);
  if (!host->iHousekeepingQueued.exchange(true)) {
    SDL_Event event;
    SDL_zero(event);
    event.type = host->iEventBase + ETimerEvent;
    event.user.code = KHousekeepingTimerId;
    SDL_PushEvent(&event);
  }
  return aInterval;
}

void PwSdlHost::StartGuiTimer(int32_t aIntervalMs) {
  KillGuiTimer();
  if (!iInitialised) return;
  const uintptr_t generation = static_cast<uint32_t>(iGuiTimerGeneration.load());
  // SDL does not take 0 as an interval; 1 ms is the soonest it fires.
  iGuiTimer = SDL_AddTimer(static_cast<uint32_t>(std::max(aIntervalMs, 1)), &GuiTimerCallback,
                           reinterpret_cast<void*>(generation));
}

void PwSdlHost::KillGuiTimer() {
  if (iGuiTimer) SDL_RemoveTimer(iGuiTimer);
  iGuiTimer = 0;
  iGuiTimerGeneration.fetch_add(1);
}

void PwSdlHost::StartHousekeepingTimer(int32_t aIntervalMs) {
  StopHousekeepingTimer();
  if (!iInitialised) return;
  iHousekeepingTimer = SDL_AddTimer(static_cast<uint32_t>(std::max(aIntervalMs, 1)), &HousekeepingCallback, this);
}

void PwSdlHost::StopHousekeepingTimer() {
  if (iHousekeepingTimer) SDL_RemoveTimer(iHousekeepingTimer);
  iHousekeepingTimer = 0;
}

// --- Text input -----------------------------------------------------------------------------

void PwSdlHost::StartTextInput(int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom) {
  SDL_Rect area{aLeft, aTop, std::max(aRight - aLeft, 1), std::max(aBottom - aTop, 1)};
  SDL_SetTextInputRect(&area);
  SDL_StartTextInput();
  iTextInput = true;
}

void PwSdlHost::StopTextInput() {
  SDL_StopTextInput();
  iTextInput = false;
}

// --- Messages -------------------------------------------------------------------------------

void PwSdlHost::PushUserEvent(uint32_t aType, int32_t aCode, intptr_t aData) {
  SDL_Event event;
  SDL_zero(event);
  event.type = aType;
  event.user.code = aCode;
  event.user.data1 = reinterpret_cast<void*>(aData);
  SDL_PushEvent(&event);
}

void PwSdlHost::SimulateClose() {
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_CLOSE;
  event.window.windowID = iWindow ? SDL_GetWindowID(iWindow) : 0;
  SDL_PushEvent(&event);
}

void PwSdlHost::PostQuit() {
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
}

void PwSdlHost::Wake() {
  if (!iInitialised || sDisplayGone.load()) return;
  // One queued wake is enough: the loop looks at every event after taking it.
  if (iWakeQueued.exchange(true)) return;
  iWakesPushed.fetch_add(1);
  PushUserEvent(iEventBase + EWakeEvent, 0, 0);
}

void PwSdlHost::Wait() {
  if (!iInitialised) return;
  // With a null event SDL only waits; the event stays queued for the next drain.
  SDL_WaitEvent(nullptr);
}

MLoopHost::TDispatchResult PwSdlHost::DispatchMessage(int32_t& aQuitCode) {
  if (!iInitialised) return ENoMessage;
  SDL_Event event;
  if (SDL_PollEvent(&event) == 0) return ENoMessage;
  if (event.type == SDL_QUIT) {
    aQuitCode = 0;
    return EQuit;
  }
  HandleEvent(&event);
  return EDispatched;
}

void PwSdlHost::KeyDown(int32_t aSdlKeycode, uint16_t aModifiers) {
  const bool control = (aModifiers & KMOD_CTRL) != 0;
  if (iTextInput && control && aSdlKeycode == SDLK_v) {
    if (char* clip = SDL_GetClipboardText()) {
      if (*clip && iHandler) iHandler->WindowTextInput(clip);
      SDL_free(clip);
    }
    return;
  }
  int32_t code = PwMapSdlKey(aSdlKeycode);
  if (iTextInput && !control && (aModifiers & KMOD_ALT) == 0 && IsTypingKey(aSdlKeycode)) code = 0;
  if (iHandler) iHandler->WindowKeyDown(code, (aModifiers & KMOD_SHIFT) != 0);
}

void PwSdlHost::HandleEvent(const void* aEvent) {
  const SDL_Event& event = *static_cast<const SDL_Event*>(aEvent);
  const uint32_t type = event.type;
  if (type == iEventBase + EWakeEvent) {
    iWakeQueued.store(false);
    return;
  }
  if (type == iEventBase + EPaintEvent) {
    iPaintQueued = false;
    if (iHandler && (iInvalid[2] > iInvalid[0] && iInvalid[3] > iInvalid[1])) iHandler->WindowPaint();
    return;
  }
  if (type == iEventBase + ETimerEvent) {
    if (event.user.code == KHousekeepingTimerId) {
      iHousekeepingQueued.store(false);
    } else {
      const uintptr_t generation = reinterpret_cast<uintptr_t>(event.user.data1);
      if (generation != static_cast<uint32_t>(iGuiTimerGeneration.load())) return;  // killed or replaced since
      iGuiTimer = 0;
    }
    if (iHandler) iHandler->WindowTimer(event.user.code);
    return;
  }
  switch (type) {
    case SDL_KEYDOWN:
      KeyDown(event.key.keysym.sym, event.key.keysym.mod);
      break;
    case SDL_TEXTINPUT:
      if (iTextInput && iHandler) iHandler->WindowTextInput(event.text.text);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT && iHandler) iHandler->WindowPointer(0, event.button.x, event.button.y);
      break;
    case SDL_MOUSEMOTION:
      if (iHandler) iHandler->WindowPointer(1, event.motion.x, event.motion.y);
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT && iHandler) iHandler->WindowPointer(2, event.button.x, event.button.y);
      break;
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          if (iHandler) iHandler->WindowResized(event.window.data1, event.window.data2);
          InvalidateAll();
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          InvalidateAll();
          break;
        case SDL_WINDOWEVENT_CLOSE:
          // Closing the window ends the program through the loop's exit sequence, also where
          // the window system does not make that the quit message itself.
          PostQuit();
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
}

// --- Synthetic input ------------------------------------------------------------------------

void PwSdlHost::SimulateKey(int32_t aSdlKeycode, bool aShift) {
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_KEYDOWN;
  event.key.state = SDL_PRESSED;
  event.key.keysym.sym = aSdlKeycode;
  event.key.keysym.scancode = SDL_GetScancodeFromKey(aSdlKeycode);
  event.key.keysym.mod = aShift ? KMOD_LSHIFT : KMOD_NONE;
  if (iWindow) event.key.windowID = SDL_GetWindowID(iWindow);
  SDL_PushEvent(&event);
}

void PwSdlHost::SimulatePointer(int32_t aKind, int32_t aX, int32_t aY) {
  SDL_Event event;
  SDL_zero(event);
  if (aKind == 1) {
    event.type = SDL_MOUSEMOTION;
    event.motion.x = aX;
    event.motion.y = aY;
  } else {
    event.type = aKind == 0 ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.state = aKind == 0 ? SDL_PRESSED : SDL_RELEASED;
    event.button.x = aX;
    event.button.y = aY;
  }
  SDL_PushEvent(&event);
}

void PwSdlHost::SimulateTextInput(const char* aUtf8) {
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_TEXTINPUT;
  std::strncpy(event.text.text, aUtf8, sizeof event.text.text - 1);
  SDL_PushEvent(&event);
}

void PwSdlHost::SimulateResize(int32_t aWidth, int32_t aHeight) {
  if (iWindow) SDL_SetWindowSize(iWindow, aWidth, aHeight);
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  event.window.data1 = aWidth;
  event.window.data2 = aHeight;
  SDL_PushEvent(&event);
}
