// The session hub in the window program, on the real model and GUI over a documents folder:
// opening "Previous sessions" with 1 000 stored sessions up to its first paint, and loading a
// 10-hour session at 10 Hz (360 000 positions) from the session list to the session screen,
// with its loader stepped by the worker engine through the scheduler loop.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/gui/gui.h"
#include "app/model.h"
#include "app/views/session_view.h"
#include "bench/null_window.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/track_session.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t KSessions = 1000;
constexpr int32_t KLongPositions = 360000;

// A documents folder with the stored sessions, made once for the program's run.
class TStorage {
 public:
  TStorage() {
    char pattern[] = "/tmp/pw-hub-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    iDir = pattern;
    setenv("PACEWRIGHT_DOCUMENTS", (iDir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir + "/appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir + "/install").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    fs::create_directories(iDir + "/appdata");
    fs::create_directories(iDir + "/install");
    SetFromNativePath(iRoot, (iDir + "/docs/").c_str());
    if (!EnsureFolders(iRoot)) std::abort();
    CSettings settings{CPwStringC(iRoot)};
    settings.SetStartupWarning(0);
    (void)settings.SaveSafely();
    for (int32_t i = 0; i < KSessions; ++i) {
      CSessionInfo info;
      info.SetTitle(u"Track day");
      info.SetTrackName(u"Nowhere Ring");
      info.SetDriver(u"Driver");
      info.SetLapFigures(PwTime(61000 + i), PwTime(62000 + i), 3, 12);
      info.SetCreated(PwDateTime(2024, 1 + i % 12, 1 + i % 28, 10, i % 60, 0, 0));
      info.SetStorageRoot(iRoot);
      CPwString id;
      id.Copy(u"20240101-");
      id.AppendNum(1000 + i, 4);
      info.SetIdentifier(id);
      info.MarkModified();
      info.Save();
    }
    MakeLongSession();
  }
  ~TStorage() {
    std::error_code error;
    fs::remove_all(iDir, error);
  }
  CPwStringC Root() const { return iRoot; }

 private:
  void MakeLongSession() {
    CSessionInfo info;
    info.SetTitle(u"Ten hours");
    info.SetSessionType(ESessionDataLogging);
    info.SetCreated(PwDateTime(2025, 6, 1, 8, 0, 0, 0));
    info.SetStorageRoot(iRoot);
    info.SetIdentifier(u"20250601-0800");
    info.MarkModified();
    info.Save();
    std::unique_ptr<CPlotList> list(CPlotList::NewL(nullptr));
    list->CreateFile(u"20250601-0800", iRoot);
    list->OpenForAppend();
    const int32_t date = PwTime::FromDate(2025, 6, 1).Milliseconds();
    for (int32_t i = 0; i < KLongPositions; ++i) {
      const int32_t t = 8 * 3600000 + i * 100;
      const double a = i * 0.002;
      list->AddPosition(TCoordinate(3000000 + static_cast<int32_t>(20000 * std::sin(a))),
                        TCoordinate(600000 + static_cast<int32_t>(20000 * std::cos(a))), t,
                        TDistance::FromMetres(120), TSpeed::FromMetresPerSecond(25 + (i % 40) * 0.5),
                        (i / 10) % 360, 0.9, 1.3, 10, 0, 0, date, t, 0);
    }
    list->CloseFile();
  }

  std::string iDir;
  CPwString iRoot;
};

// The program started to its start menu.
struct TProgram {
  TProgram() {
    static TStorage storage;
    iModel.reset(CModel::NewL(&iLoop, [this](CModel& aModel) {
      iGui = CGui::NewL(&aModel);
      return iGui;
    }));
    iGui->SetGuiObserver(&iWindow);
    iGui->ActivateFirstView();
    iGui->SetClientRect(TPwRect{0, 0, 360, 640});
    if (!iModel->StartUp()) std::abort();
    iGui->OpenView(CGui::EMainView);
    iGui->FinishEvent();
    iGui->DrawL();
  }
  // Runs the loop until aDone holds (checked on the loop's thread every millisecond).
  void RunUntil(const std::function<bool()>& aDone) {
    PwEvent stop;
    std::atomic<bool> finished{false};
    bool met = false;
    std::thread ticker([&] {
      while (!finished) {
        iHost.Post([&] {
          if (!met && aDone()) {
            met = true;
            stop.Set();
          }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    iLoop.RunLoop(stop);
    finished = true;
    ticker.join();
    int32_t quit = 0;
    while (iHost.DispatchMessage(quit) == MLoopHost::EDispatched) {
    }
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  pwbench::TNullWindow iWindow;
  std::unique_ptr<CModel> iModel;
  CGui* iGui = nullptr;  // owned by the model
};

void BM_PreviousSessionsFirstPaint(benchmark::State& aState) {
  TProgram program;
  CGui& gui = *program.iGui;
  for (auto _ : aState) {
    gui.OpenView(CGui::ESessionListView);
    gui.FinishEvent();
    gui.DrawL();
    aState.PauseTiming();
    gui.Back();
    gui.FinishEvent();
    gui.DrawL();
    aState.ResumeTiming();
  }
  aState.counters["sessions"] = program.iModel->Sessions().Count();
}
BENCHMARK(BM_PreviousSessionsFirstPaint)->Unit(benchmark::kMillisecond);

void BM_LoadTenHourSessionToTheSessionScreen(benchmark::State& aState) {
  TProgram program;
  CGui& gui = *program.iGui;
  CModel& model = *program.iModel;
  gui.OpenView(CGui::ESessionListView);
  gui.FinishEvent();
  auto* screen = dynamic_cast<CSessionView*>(gui.ViewByNumber(CGui::ESessionView));
  const int32_t index = model.Sessions().IndexOf(u"20250601-0800", model.Settings().CurrentStorageRoot());
  if (!screen || index < 0) {
    aState.SkipWithError("no long session");
    return;
  }
  for (auto _ : aState) {
    if (!screen->LoadSession(*model.Sessions().At(index))) {
      aState.SkipWithError("load refused");
      return;
    }
    program.RunUntil([&] { return gui.CurrentView() == screen; });
    gui.DrawL();
    aState.PauseTiming();
    if (model.TrackSession()->SampleCount() != KLongPositions) aState.SkipWithError("positions missing");
    model.DiscardSession();
    gui.Back();
    gui.FinishEvent();
    aState.ResumeTiming();
  }
}
BENCHMARK(BM_LoadTenHourSessionToTheSessionScreen)->Unit(benchmark::kMillisecond);

}  // namespace
