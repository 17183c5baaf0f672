#include "app/application.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "storage/settings.h"
#include "strings/pw_strings.h"

namespace {

constexpr int32_t KMaxTitleLength = 100;

}  // namespace

CApplication::CApplication(PwSdlHost& aHost) : CPwScheduler(aHost), iHost(&aHost) {}

CApplication::~CApplication() {
  PwSdlHost::SetDisplayLostHandler(nullptr, nullptr);
  DestroyModel();
}

int32_t CApplication::Initialise(const TGuiFactory& aGuiFactory) {
  CPwString title;
  title.LoadFromResource(R_APP_TITLE);
  if (title.Length() > KMaxTitleLength) title.SetLength(KMaxTitleLength);
  if (!iHost->CreateWindow(PwToUtf8(title).c_str(), KWindowWidth, KWindowHeight)) return 0;
  iHost->SetHandler(this);

  const int32_t code = Trap([&] {
    iModel = CModel::NewL(this, aGuiFactory);
    if (MGuiPort* gui = iModel->Gui()) {
      gui->SetGuiObserver(this);
      SetErrorNoteDisplay(&gui->ModelDialogs());
      gui->ActivateFirstView();
      GiveClientRect();
    }
  });
  if (code != KErrNone) {
    DestroyModel();
    return 0;
  }

  iHost->ShowWindow();
  PwSdlHost::SetDisplayLostHandler(&CApplication::DisplayLost, this);
  iHost->StartHousekeepingTimer(KHousekeepingIntervalMs);
  iWindowThread = static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
  return 1;
}

void CApplication::DestroyModel() {
  SetErrorNoteDisplay(nullptr);
  iTextEntry = nullptr;
  delete iModel;
  iModel = nullptr;
}

void CApplication::GiveClientRect() {
  MGuiPort* gui = Gui();
  if (!gui) return;
  int32_t width = 0, height = 0;
  iHost->ClientSize(width, height);
  gui->SetClientRect(TPwRect{0, 0, width, height});
}

// --- Input -----------------------------------------------------------------------------------

template <class F>
void CApplication::HandleInput(F&& aHandling) {
  if (!iModel) return;
  const int32_t code = Trap(aHandling);
  if (code != KErrNone) (void)Trap([&] { HandleLoopError(code); });
}

void CApplication::FinishInput() {
  MGuiPort* gui = Gui();
  if (!gui) return;
  gui->FinishEvent();
  RequestRedraw();
}

void CApplication::WindowKeyDown(int32_t aKeyCode, bool aShift) {
  // The softkeys are commands of the window: they reach the GUI after this message.
  if (aKeyCode == pwkeys::KLeftSoftkey || aKeyCode == pwkeys::KRightSoftkey) {
    if (iModel) SetPendingSoftkey(aKeyCode == pwkeys::KLeftSoftkey ? 1 : 2);
    return;
  }
  HandleInput([&] {
    MGuiPort* gui = Gui();
    if (!gui) return;
    if (aKeyCode != 0) gui->Key(aKeyCode, aShift);
    FinishInput();
  });
}

void CApplication::WindowPointer(int32_t aKind, int32_t aX, int32_t aY) {
  HandleInput([&] {
    MGuiPort* gui = Gui();
    if (!gui) return;
    // Coordinates travel as 16-bit values, as the window system gives them.
    gui->Pointer(aKind, static_cast<int16_t>(aX), static_cast<int16_t>(aY));
    FinishInput();
  });
}

void CApplication::WindowResized(int32_t, int32_t) {
  HandleInput([&] {
    GiveClientRect();
    if (iTextEntry)
      iHost->StartTextInput(iTextEntry->iLeft, iTextEntry->iTop, iTextEntry->iRight, iTextEntry->iBottom);
    RequestRedraw();
  });
}

void CApplication::WindowTextInput(const char* aUtf8) {
  HandleInput([&] {
    if (!iTextEntry) return;
    CPwString text = PwStringFromUtf8(aUtf8);
    if (iTextEntry->iMultiLine == 0) text.FlattenLines();
    if (iTextEntry->iObserver) iTextEntry->iObserver->TextEntryInput(text);
    FinishInput();
  });
}

void CApplication::WindowTimer(int32_t aTimerId) {
  HandleInput([&] {
    MGuiPort* gui = Gui();
    if (aTimerId == GuiTimerId) {
      iHost->KillGuiTimer();
      if (!gui) return;
      gui->TimerDue();
      FinishInput();
    } else if (aTimerId == HousekeepingTimerId) {
      iModel->Housekeeping();
      if (gui) gui->PeriodicScreenshot();
    }
  });
}

void CApplication::DeliverSoftkeyL(int32_t aCommand) {
  MGuiPort* gui = Gui();
  if (!gui) return;
  gui->Key(aCommand == 1 ? pwkeys::KLeftSoftkey : pwkeys::KRightSoftkey, false);
  FinishInput();
}

// --- Painting --------------------------------------------------------------------------------

void CApplication::RequestRedraw() {
  MGuiPort* gui = Gui();
  if (!gui || !gui->NeedsDrawing()) return;
  const TPwRect dirty = gui->DirtyRect();
  iHost->Invalidate(dirty.iLeft, dirty.iTop, dirty.iRight, dirty.iBottom);
}

void CApplication::WindowPaint() {
  MGuiPort* gui = Gui();
  const CPwBitmap* surface = nullptr;
  if (gui) {
    // A failure while drawing leaves part of the old picture; the copy still happens.
    if (gui->NeedsDrawing()) (void)Trap([&] { gui->DrawL(); });
    surface = gui->Surface();
  }
  if (surface)
    iHost->Present(surface->Pixels(), surface->Width(), surface->Height(), surface->PitchBytes());
  else
    iHost->Present(nullptr, 0, 0, 0);
}

// --- MGuiObserver ------------------------------------------------------------------------------

void CApplication::ExitApplication() { iHost->PostQuit(); }

void CApplication::StartGuiTimer(int32_t aIntervalMs) { iHost->StartGuiTimer(aIntervalMs); }

void CApplication::BeginTextEntry(TTextEntry& aEntry) {
  iTextEntry = &aEntry;
  iHost->StartTextInput(aEntry.iLeft, aEntry.iTop, aEntry.iRight, aEntry.iBottom);
}

void CApplication::EndTextEntry() {
  if (!iTextEntry) return;
  iHost->StopTextInput();
  iTextEntry = nullptr;
}

// --- Exit ------------------------------------------------------------------------------------

void CApplication::ExitSequence(int32_t aCode) {
  iHost->StopHousekeepingTimer();
  iHost->KillGuiTimer();
  // Inside a modal dialog the stack above holds references into the model: end here.
  if (LoopDepth() > 1) CloseAndExit(aCode);
  if (iModel) (void)iModel->Settings().SaveSafely();
  DestroyModel();
  iExited = true;
}

void CApplication::CloseAndExit(int32_t aCode) {
  if (iModel) {
    (void)iModel->Settings().SaveSafely();
    (void)Trap([&] { iModel->CloseSession(); });
  }
  std::exit(aCode);
}

void CApplication::DisplayLost(void* aApplication) {
  // Nothing can be drawn any more and the window system cannot be returned into; what is
  // recorded must still be saved.
  // Any thread that touches the window system after the loss gets here; the first one ends
  // the process, the others wait for that.
  static std::atomic<bool> ending{false};
  if (ending.exchange(true))
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  CApplication* application = static_cast<CApplication*>(aApplication);
  application->iHost->StopHousekeepingTimer();
  application->iHost->KillGuiTimer();
  application->CloseAndExit(0);
}

// --- Entry point -----------------------------------------------------------------------------

int32_t RunApplication(const TGuiFactory& aGuiFactory) {
  // The main loop's stop event: nothing signals it; the quit message ends the loop.
  PwEvent stop;
  PwSdlHost host;
  if (!host.Init()) return 0;
  std::unique_ptr<CApplication> application;
  if (Trap([&] { application.reset(new CApplication(host)); }) != KErrNone) return 0;
  if (!application->Initialise(aGuiFactory)) return 0;
  application->RunLoop(stop);
  return 0;
}
