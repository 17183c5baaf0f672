// Start-up on a full medium: 200 stored sessions and 50 track profiles. Measures what the
// program does from launch to the start menu on screen: the model with its GUI is built, the
// start-up step loads settings, checks the storage, creates the folders and reads both
// catalogues, and (with the GUI linked in) the first view is laid out and drawn.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/application.h"
#include "app/model.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
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

void BM_StartUpToStartMenu(benchmark::State& aState) {
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
  aState.counters["gui"] = gui ? 1 : 0;
}
BENCHMARK(BM_StartUpToStartMenu)->Unit(benchmark::kMillisecond);

}  // namespace
