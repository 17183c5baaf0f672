// Start-up on a full medium: 200 stored sessions and 50 track profiles. Measures the program
// from launch to the start menu drawn in its window, and the start-up step on its own.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/application.h"
#include "app/gui/gui.h"
#include "app/views/startup_view.h"
#include "foundation/active.h"
#include "app/model.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "platform/sdl_host.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/track_list.h"

namespace {

constexpr int kSessions = 200;
constexpr int kTracks = 50;

class TFullMedium {
 public:
  TFullMedium() {
    char pattern[] = "/tmp/pw-startup-XXXXXX";
    iDir = mkdtemp(pattern);
    setenv("PACEWRIGHT_DOCUMENTS", (iDir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir + "/appdata").c_str(), 1);
    // No shipped example: the catalogues hold exactly what this medium holds.
    setenv("PACEWRIGHT_INSTALL", (iDir + "/install").c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const CPwString root = PwStringFromUtf8(iDir + "/docs/");
    EnsureFolders(root);
    CSessionInfo chosen;
    chosen.SetTitle(u"Track day");
    chosen.SetDriver(u"Driver");
    chosen.SetTrackName(u"Track 1");
    for (int i = 0; i < kSessions; ++i) {
      CSessionInfo session;
      const PwDateTime when(2024, 1 + i / 28 % 12, 1 + i % 28, 8 + i % 10, i % 60, 0, 0);
      session.StartNew(chosen, root, when, when);
    }
    PwHeadlessLoopHost host;
    CPwScheduler scheduler(host);
    std::unique_ptr<CModel> model(CModel::NewL(&scheduler, TGuiFactory()));
    // The driving warning is a modal dialog: a benchmark has nobody to confirm it.
    model->Settings().SetStartupWarning(0);
    model->Settings().Save();
    for (int i = 0; i < kTracks; ++i) {
      CPwString name(u"Track ");
      name.AppendNum(i + 1);
      model->Tracks().Create(name, root);
    }
  }
  ~TFullMedium() { std::system(("rm -rf '" + iDir + "'").c_str()); }

 private:
  std::string iDir;
};

// Runs a check on the loop's thread every millisecond until it holds.
class TWatch final : public CActive {
 public:
  TWatch(MActiveSchedulerObserver* aScheduler, std::function<bool()> aDone)
      : CActive(aScheduler), iDone(std::move(aDone)) {}
  void Run() override {
    if (!iMet && iDone()) {
      iMet = true;
      iStop.Set();
    }
  }
  std::function<bool()> iDone;
  PwEvent iStop;
  bool iMet = false;
};

// The real program on SDL's dummy video driver: the window, the application frame, the model
// with its GUI, the start-up step, the hand-over to the start menu (its fixed pause of
// CStartupView::KHandOverDelayMs included) and the start menu drawn.
void BM_StartUpToStartMenu(benchmark::State& aState) {
  static TFullMedium medium;
  for (auto _ : aState) {
    // A window goes with its host: every launch starts SDL afresh, as the program does.
    auto host = std::make_unique<PwSdlHost>();
    if (!host->Init()) {
      aState.SkipWithError("no SDL");
      break;
    }
    auto app = std::make_unique<CApplication>(*host);
    if (app->Initialise(DefaultGuiFactory()) != 1) {
      aState.SkipWithError(("the window program did not initialise: " + std::string(PwSdlHost::LastError())).c_str());
      break;
    }
    auto* gui = dynamic_cast<CGui*>(app->Gui());
    TWatch watch(app.get(), [&] {
      return gui->CurrentView() && gui->CurrentView()->ViewNumber() == CGui::EMainView && !gui->NeedsDrawing();
    });
    std::atomic<bool> finished{false};
    std::thread signaller([&] {
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!finished && std::chrono::steady_clock::now() < end) {
        watch.SetActive();
        watch.SignalRequest();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      watch.iStop.Set();
    });
    app->RunLoop(watch.iStop);
    finished = true;
    signaller.join();
    if (!watch.iMet) aState.SkipWithError("the start menu did not come up");
    if (app->Model()->Sessions().Count() != kSessions || app->Model()->Tracks().Count() != kTracks)
      aState.SkipWithError("catalogues incomplete");
    aState.PauseTiming();
    app.reset();
    host.reset();
    aState.ResumeTiming();
  }
  aState.counters["hand_over_ms"] = CStartupView::KHandOverDelayMs;
}
BENCHMARK(BM_StartUpToStartMenu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The start-up step alone, without the window: the model with its GUI is built, settings
// loaded, the storage checked, the folders made, both catalogues read and the first view drawn.
void BM_StartUpStepWithoutWindow(benchmark::State& aState) {
  static TFullMedium medium;
  PwHeadlessLoopHost host;
  CPwScheduler scheduler(host);
  const TGuiFactory gui = DefaultGuiFactory();
  for (auto _ : aState) {
    std::unique_ptr<CModel> model(CModel::NewL(&scheduler, gui));
    if (MGuiPort* port = model->Gui()) {
      port->ActivateFirstView();
      port->SetClientRect(TPwRect{0, 0, 360, 640});
    }
    if (model->StartUp() != 1) aState.SkipWithError("start-up failed");
    if (model->Sessions().Count() != kSessions || model->Tracks().Count() != kTracks)
      aState.SkipWithError("catalogues incomplete");
    if (MGuiPort* port = model->Gui()) {
      port->FinishEvent();
      port->DrawL();
    }
    benchmark::DoNotOptimize(model.get());
    aState.PauseTiming();
    model.reset();
    aState.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpStepWithoutWindow)->Unit(benchmark::kMillisecond);

}  // namespace
