// From launch to the start menu: the real program on SDL's dummy driver with an empty
// documents folder, and the model with its GUI on the headless loop for the start menu's
// items, softkeys, the about note and its picture.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/application.h"
#include "app/dialogs/dialog_controls.h"
#include "app/views/main_view.h"
#include "app/views/startup_view.h"
#include "foundation/active.h"
#include "foundation/paths.h"
#include "gui_harness.h"
#include "platform/sdl_host.h"
#include "storage/settings.h"

namespace {

using namespace std::chrono_literals;

// Runs a check on the loop's thread every few milliseconds (also inside modal dialogs).
class Ticker final : public CActive {
 public:
  Ticker(MActiveSchedulerObserver* aScheduler, std::function<bool()> aTick) : CActive(aScheduler), iTick(std::move(aTick)) {}
  void Run() override {
    if (!iDone && iTick()) {
      iDone = true;
      iStop.Set();
    }
  }
  std::function<bool()> iTick;
  PwEvent iStop;
  bool iDone = false;
};

TEST(ProgramStartTest, TheWindowProgramStartsToTheStartMenuWithAnEmptyDocumentsFolder) {
  pwtest::TempDir dir;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("PACEWRIGHT_DOCUMENTS", (dir / "docs").c_str(), 1);
  setenv("PACEWRIGHT_APPDATA", (dir / "appdata").c_str(), 1);
  setenv("PACEWRIGHT_INSTALL", (dir / "install").c_str(), 1);
  ::mkdir((dir / "install").c_str(), 0755);

  PwSdlHost host;
  ASSERT_TRUE(host.Init()) << PwSdlHost::LastError();
  CApplication app(host);
  ASSERT_EQ(app.Initialise(DefaultGuiFactory()), 1);
  auto* gui = dynamic_cast<CGui*>(app.Gui());
  ASSERT_NE(gui, nullptr);
  EXPECT_EQ(gui->CurrentView()->ViewNumber(), CGui::EStartupView);

  int32_t warnings = 0;
  Ticker ticker(&app, [&] {
    CDialogControl* dialog = gui->Dialogs().CurrentModal();
    if (dialog && !dialog->IsClosed()) {
      // The start-up warning: confirmed with the left softkey, as a user would.
      if (auto* note = dynamic_cast<CNoteDialogControl*>(dialog); note && note->Title() == CPwStringC(u"Warning!")) ++warnings;
      host.SimulateKey(PwSdlKeycodeByName("F1"), false);
      return false;
    }
    return gui->CurrentView()->ViewNumber() == CGui::EMainView && !gui->NeedsDrawing();
  });
  std::atomic<bool> finished{false};
  std::thread signaller([&] {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!finished && std::chrono::steady_clock::now() < end) {
      ticker.SetActive();
      ticker.SignalRequest();
      std::this_thread::sleep_for(5ms);
    }
    ticker.iStop.Set();
  });
  app.RunLoop(ticker.iStop);
  finished = true;
  signaller.join();
  ASSERT_TRUE(ticker.iDone) << "the start menu did not come up";
  EXPECT_GE(warnings, 1);
  EXPECT_EQ(gui->BackStackCount(), 1);
  EXPECT_EQ(gui->Navi().Title(), CPwStringC(u"Start menu - Pacewright"));
  // The folders of the documents medium exist now.
  EXPECT_TRUE(FolderExists(PwStringFromUtf8(dir / "docs/Pacewright/Sessions/")));
  // What the window shows is the GUI's picture (the start menu's title bar is not black).
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  if (host.ReadWindowPixels(pixels, width, height) && width == 360) {
    const TPwRect title = gui->Navi().Rect();
    EXPECT_NE(pixels[static_cast<size_t>(title.iTop + 2) * width + 5] & 0xFFFFFF, 0u);
  }
}

class StartMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    iMenu = dynamic_cast<CMainView*>(iEnv.iGui->CurrentView());
    ASSERT_NE(iMenu, nullptr);
  }
  pwtest::ModelGui iEnv;
  CMainView* iMenu = nullptr;
};

TEST_F(StartMenuTest, ItemsCountTheCataloguesAndNameTheStorage) {
  EXPECT_EQ(iEnv.iDialogsConfirmed, 1) << "the start-up warning, once";
  CItemListControl* list = iMenu->List();
  ASSERT_EQ(list->Count(), 5);
  EXPECT_EQ(list->ItemAt(0).iTitle, CPwStringC(u"New session"));
  EXPECT_EQ(PwToUtf8(list->ItemAt(0).iStatus).find("(2.0 GB left)") != std::string::npos, true)
      << PwToUtf8(list->ItemAt(0).iStatus);
  EXPECT_EQ(list->ItemAt(1).iStatus, CPwStringC(u"0 sessions"));
  EXPECT_EQ(list->ItemAt(2).iStatus, CPwStringC(u"0 tracks"));
  EXPECT_EQ(list->ItemAt(3).iStatus, CPwStringC(u"12 tests"));
  EXPECT_EQ(list->ItemAt(4).iTitle, CPwStringC(u"Settings"));
  EXPECT_TRUE(list->ItemAt(4).iStatus.IsEmpty());

  // A medium that is not present is still shown by its stored name.
  iEnv.iModel->Settings().SetStorageRoot(u"/media/missing-card/");
  iMenu->RefreshL();
  EXPECT_EQ(PwToUtf8(iMenu->List()->ItemAt(0).iStatus).rfind("/media/missing-card/ (", 0), 0u)
      << PwToUtf8(iMenu->List()->ItemAt(0).iStatus);
}

TEST_F(StartMenuTest, SoftkeysOpenTheAboutNoteAndExit) {
  CToolbarControl& bar = iEnv.iGui->ToolbarControl();
  ASSERT_EQ(bar.ButtonCount(), 2);
  EXPECT_EQ(bar.ButtonAt(0)->Label(), CPwStringC(u"About"));
  EXPECT_EQ(bar.ButtonAt(1)->Label(), CPwStringC(u"Exit"));

  std::string title, text;
  bool started = false, returned = false;
  ASSERT_TRUE(iEnv.RunUntil([&] { return returned; },
                            [&] {
                              if (!started) {
                                started = true;
                                iEnv.iWindow.Press(0xF805);  // "About"
                                returned = true;
                                return;
                              }
                              auto* note = dynamic_cast<CNoteDialogControl*>(iEnv.iGui->Dialogs().CurrentModal());
                              if (!note || note->IsClosed()) return;
                              title = PwToUtf8(note->Title());
                              text = PwToUtf8(note->Text());
                              iEnv.iWindow.Press(0xF800);
                            }));
  EXPECT_EQ(title, "About Pacewright");
  EXPECT_NE(text.find("1.45"), std::string::npos) << text;

  // Down twice and "Open": the track list, and "Back" to the menu.
  iEnv.iWindow.Press(0xF804);
  iEnv.iWindow.Press(0xF804);
  EXPECT_EQ(iMenu->List()->Selected(), 2);
  iEnv.iWindow.Press(0xF800);
  ASSERT_NE(iEnv.iGui->CurrentView(), nullptr);
  EXPECT_EQ(iEnv.iGui->CurrentView()->ViewNumber(), CGui::ETrackListView);
  iEnv.iWindow.Press(0xF806);
  EXPECT_EQ(iEnv.iGui->CurrentView(), iMenu);

  EXPECT_EQ(iEnv.iWindow.iExits, 0);
  iEnv.iWindow.Press(0xF806);
  EXPECT_EQ(iEnv.iWindow.iExits, 1);
}

TEST_F(StartMenuTest, TheStartMenuLooksLikeTheReference) {
  // Without icons, so that the picture stays the same when the icons are redrawn.
  iEnv.iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
  iEnv.iGui->Invalidate();
  iEnv.iWindow.Paint();
  pwtest::ExpectMatchesReference(*iEnv.iGui->Surface(), "start_menu.png");

  // With the installed icons the items and buttons get pictures, drawn beside the texts.
  CPwString icons = PwStringFromUtf8(PW_SOURCE_DATA_DIR "/icons/");
  iEnv.iGui->Buffer()->Layout().SetIconFolder(icons);
  if (iEnv.iGui->Buffer()->Layout().Icon("sessions") == nullptr) GTEST_SKIP() << "icons not drawn in this tree";
  iEnv.iGui->Invalidate();
  iEnv.iWindow.Paint();
  const TPwRect item = iMenu->List()->ItemRect(1);
  int32_t lit = 0;
  for (int32_t y = item.iTop; y < item.iBottom; ++y)
    for (int32_t x = item.iLeft; x < item.iLeft + item.Height(); ++x)
      if ((iEnv.iGui->Surface()->Pixel(x, y) & 0xFFFFFF) > 0x202020) ++lit;
  EXPECT_GT(lit, 20);
}

TEST(StartupFailureTest, AStartUpThatCannotCreateTheFoldersEndsTheProgram) {
  pwtest::ModelGui env;
  // The documents folder is a file: nothing can be created below it.
  ASSERT_TRUE(pwtest::WriteFileBytes(env.iDocs, "not a folder"));
  env.Create();
  ASSERT_TRUE(env.RunUntil([&] { return env.iWindow.iExits > 0; },
                           [&] {
                             CDialogControl* dialog = env.iGui->Dialogs().CurrentModal();
                             if (dialog && !dialog->IsClosed()) env.iWindow.Press(0xF800);
                             else env.iWindow.FireTimer();
                           }));
  EXPECT_EQ(env.iGui->CurrentView()->ViewNumber(), CGui::EStartupView);
}

}  // namespace
