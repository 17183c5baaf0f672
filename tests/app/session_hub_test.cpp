// A whole session in the window, on the real model and storage: the session editor creates a
// lap-timing session on the example track with the demo drive as the input file, the session
// screen connects and records the replay to its end, backing out asks to pause, the laps are
// what the command line reports for the same drive; the session list reopens it, marks and
// deletes sessions and starts an import; the comparison choice and the export dialog work on a
// reopened session. Flows run once with keys and once with pointer taps only.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "app/dialogs/dialog_controls.h"
#include "app/gui/menu.h"
#include "app/views/exporter_editor_view.h"
#include "app/views/main_view.h"
#include "app/views/select_comparison.h"
#include "app/views/session_editor_view.h"
#include "app/views/session_list_view.h"
#include "app/views/session_view.h"
#include "cli_runner.h"
#include "foundation/paths.h"
#include "gui_harness.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/lap.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t KEnter = 0xF800, KUp = 0xF803, KDown = 0xF804, KLeft = 0xF805, KRight = 0xF806, KEsc = 0x1B;

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

std::string DemoDrive() { return std::string(PW_SOURCE_DATA_DIR) + "/examples/demo-drive.nmea"; }

using pwtest::CliLapTimes;
using pwtest::LapTimes;
using pwtest::Quoted;
using pwtest::RunCli;

// The program on the source tree's installation data (the example track, session and drive).
class SessionHub : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(DemoDrive())) GTEST_SKIP() << "the examples are not built";
    setenv("PACEWRIGHT_INSTALL", PW_SOURCE_DATA_DIR, 1);
  }
  void Start() {
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    iEnv.iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
    CSettings& settings = iEnv.iModel->Settings();
    settings.Gps().iType = MDeviceSettings::EGpsInputFile;
    settings.SetGpsInputFile(PwStringFromUtf8(DemoDrive()));
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    iEnv.iModel->SetFileReplayPacing(TFileReplayPacing{0, 0, 0});
  }

  CGui& Gui() { return *iEnv.iGui; }
  CModel& Model() { return *iEnv.iModel; }
  int32_t View() { return Gui().CurrentView() ? Gui().CurrentView()->ViewNumber() : 0; }
  CDialogControl* Modal() {
    CDialogControl* dialog = Gui().Dialogs().CurrentModal();
    return dialog && !dialog->IsClosed() ? dialog : nullptr;
  }
  template <class T>
  T* ViewAs(int32_t aNumber) {
    return dynamic_cast<T*>(Gui().ViewByNumber(aNumber));
  }
  void Press(int32_t aKey, bool aShift = false) { iEnv.iWindow.Press(aKey, aShift); }
  void TapAt(const TPwRect& aRect) { iEnv.iWindow.Tap((aRect.iLeft + aRect.iRight) / 2, (aRect.iTop + aRect.iBottom) / 2); }
  // The toolbar button showing that label.
  bool TapButton(const char* aLabel) {
    CToolbarControl& bar = Gui().ToolbarControl();
    for (int32_t i = 0; i < bar.ButtonCount(); ++i)
      if (Utf8(bar.ButtonAt(i)->Label()) == aLabel) {
        TapAt(bar.ButtonAt(i)->Rect());
        return true;
      }
    ADD_FAILURE() << "no button " << aLabel;
    return false;
  }
  void TapSoftkey(CDialogControl& aDialog, bool aLeft) {
    const TPwRect box = aDialog.Box();
    iEnv.iWindow.Tap(aLeft ? box.iLeft + 12 : box.iRight - 12, box.iBottom - 4);
  }

  // Runs the actions one after another, each once no dialog is up and the previous one has
  // returned; every modal dialog goes to aAnswer (which must close it). Due GUI timers fire
  // on the way. Ends when the actions are done and aDone holds.
  bool Script(std::vector<std::function<void()>> aActions, const std::function<void(CDialogControl&)>& aAnswer,
              const std::function<bool()>& aDone = [] { return true; }) {
    size_t next = 0;
    bool busy = false;
    return iEnv.RunUntil([&] { return next == aActions.size() && !busy && !Modal() && aDone(); },
                         [&] {
                           if (CDialogControl* dialog = Modal()) {
                             if (auto* note = dynamic_cast<CNoteDialogControl*>(dialog)) iTexts.push_back(Utf8(note->Text()));
                             aAnswer(*dialog);
                             return;
                           }
                           if (iEnv.iWindow.TimerArmed()) {
                             iEnv.iWindow.FireTimer();
                             return;
                           }
                           if (busy || next >= aActions.size()) return;
                           busy = true;
                           aActions[next++]();
                           busy = false;
                         },
                         // A replay through a sanitized build on a busy machine takes its time.
                         180);
  }
  bool SawText(const std::string& aText) const {
    return std::find(iTexts.begin(), iTexts.end(), aText) != iTexts.end();
  }

  // The replay of the input file has been handed over to its end.
  bool ReplayEnded() {
    const CDataEngine* gps = Model().Connection(MDeviceModel::EGpsConnection);
    if (gps->LastReportedState() == TEngineState::Connected) iReplayStarted = true;
    return iReplayStarted && gps->LastReportedState() == TEngineState::Stopped;
  }

  pwtest::ModelGui iEnv;
  std::vector<std::string> iTexts;
  bool iReplayStarted = false;
};

// --- Keys --------------------------------------------------------------------------------------

TEST_F(SessionHub, AWholeSessionWithKeysRecordsTheDemoDriveLikeTheCommandLine) {
  Start();
  // "New session": the editor with the last-used values (the only track is the example's).
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ESessionEditorView);
  auto* editor = ViewAs<CSessionEditorView>(CGui::ESessionEditorView);
  EXPECT_EQ(editor->Mode(), CSessionEditorView::ENewSession);
  EXPECT_EQ(Utf8(editor->Item(CSessionEditorView::EItemTitle)->iText), "New session");
  EXPECT_EQ(Utf8(editor->Item(CSessionEditorView::EItemTrack)->iText), "Example track");
  EXPECT_FALSE(editor->Item(CSessionEditorView::EItemImportFiles)->iVisible);
  EXPECT_FALSE(editor->Item(CSessionEditorView::EItemTest)->iVisible);
  EXPECT_TRUE(editor->Item(CSessionEditorView::EItemSaveNmea)->iVisible);
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "session_editor.png");

  // "Start": the session screen connects the input file on entry and records it to its end.
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { ADD_FAILURE() << "no dialog expected"; },
                     [&] { return ReplayEnded(); }));
  ASSERT_EQ(View(), CGui::ESessionView);
  EXPECT_EQ(Gui().BackStackCount(), 2) << "the editor made way for the session screen";
  auto* screen = ViewAs<CSessionView>(CGui::ESessionView);
  CTrackSession* session = Model().TrackSession();
  ASSERT_NE(session, nullptr);
  EXPECT_TRUE(session->IsRecording());
  const std::string id = Utf8(session->Info().Identifier());
  CItemListControl* items = screen->List();
  ASSERT_EQ(items->Count(), 6);
  EXPECT_EQ(Utf8(items->ItemAt(0).iTitle), "Switch to Live Timer");
  EXPECT_EQ(Utf8(items->ItemAt(0).iStatus), "No connection to GPS") << "the file has ended";
  EXPECT_EQ(Utf8(items->ItemAt(1).iTitle), "Lap times");
  EXPECT_EQ(Utf8(items->ItemAt(1).iStatus).rfind("Best: ", 0), 0u) << Utf8(items->ItemAt(1).iStatus);
  EXPECT_EQ(Utf8(items->ItemAt(2).iStatus), "Best of this session");
  EXPECT_EQ(Utf8(items->ItemAt(3).iStatus).rfind("Duration: ", 0), 0u);
  EXPECT_EQ(Utf8(items->ItemAt(4).iStatus), "Locked; 3 traps");
  EXPECT_EQ(Utf8(items->ItemAt(5).iStatus), "Example track");
  EXPECT_EQ(Utf8(Gui().Navi().Title()), "New session");

  // The live timer and back (while it is not built, the item changes nothing).
  Press(KEnter);
  if (View() == CGui::ETimerView) Press(KRight);
  ASSERT_EQ(View(), CGui::ESessionView);

  // Back: "Pause this session?" answered "No" keeps recording; "Yes" pauses and closes.
  std::vector<bool> answers = {false, true};
  size_t asked = 0;
  auto answer = [&](CDialogControl& aDialog) {
    auto* note = dynamic_cast<CNoteDialogControl*>(&aDialog);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(Utf8(note->Text()), "Pause this session?");
    Press(asked < answers.size() && answers[asked] ? KLeft : KRight);
    ++asked;
  };
  ASSERT_TRUE(Script({[&] { Press(KEsc); }}, answer));
  EXPECT_EQ(View(), CGui::ESessionView);
  EXPECT_TRUE(Model().TrackSession()->IsRecording());
  ASSERT_TRUE(Script({[&] { Press(KEsc); }}, answer));
  EXPECT_EQ(asked, 2u);
  EXPECT_EQ(View(), CGui::EMainView);
  EXPECT_EQ(Model().TrackSession(), nullptr);

  // What was saved is what the command line times for the same drive.
  ASSERT_GE(Model().Sessions().Count(), 2);
  const CSessionInfo& saved = *Model().Sessions().At(0);
  EXPECT_EQ(Utf8(saved.Identifier()), id);
  const std::vector<std::string> recorded = CliLapTimes(id);
  const std::string imported =
      RunCli("import --format nmea --track 'Example track' --title Imported " + Quoted(DemoDrive()));
  const std::vector<std::string> expected = CliLapTimes(imported.substr(0, imported.find('\n')));
  ASSERT_GE(expected.size(), 5u);
  EXPECT_EQ(recorded, expected);
  EXPECT_EQ(saved.LapCount(), static_cast<int32_t>(std::count_if(expected.begin(), expected.end(),
                                                                  [](const std::string& t) { return t != "null"; })));
  const CPwString root(saved.StorageRoot());
  // The command line's import is listed too.
  Model().Sessions().Refresh();

  // Previous sessions: the recorded session is the focused row; it opens paused.
  Press(KDown);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ESessionListView);
  auto* list = ViewAs<CSessionListView>(CGui::ESessionListView);
  ASSERT_EQ(list->List()->Count(), 3);
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "session_list.png");
  const int32_t row = Model().Sessions().IndexOf(PwStringFromUtf8(id), root);
  while (list->List()->Selected() != row) Press(KDown);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                     [&] { return View() == CGui::ESessionView; }));
  session = Model().TrackSession();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(LapTimes(session->Laps()), expected);
  EXPECT_EQ(Utf8(screen->List()->ItemAt(0).iTitle), "Resume session");
  EXPECT_NE(Utf8(screen->List()->ItemAt(0).iStatus).find("(2.0 GB left)"), std::string::npos);
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "session_screen.png");

  // Resume: asked, then the devices connect again.
  ASSERT_TRUE(Script({[&] { Press(KEnter); }},
                     [&](CDialogControl& aDialog) {
                       auto* note = dynamic_cast<CNoteDialogControl*>(&aDialog);
                       ASSERT_NE(note, nullptr);
                       EXPECT_EQ(Utf8(note->Text()), "Resume this session?");
                       Press(KLeft);
                     },
                     [&] { return screen->Recording(); }));
  EXPECT_TRUE(Model().TrackSession()->IsRecording());
  EXPECT_EQ(Utf8(screen->List()->ItemAt(0).iTitle), "Switch to Live Timer");
  // Paused with the right softkey and left with it as "Back".
  ASSERT_TRUE(Script({[&] { Press(KRight); }, [&] { Press(KRight); }}, [&](CDialogControl&) { Press(KLeft); },
                     [&] { return View() == CGui::ESessionListView; }));

  // The shipped example cannot be resumed.
  while (list->List()->Selected() != list->List()->Count() - 1) Press(KDown);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                     [&] { return View() == CGui::ESessionView; }));
  EXPECT_EQ(Utf8(screen->List()->ItemAt(0).iStatus), "Example session");
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { Press(KEnter); }));
  EXPECT_TRUE(SawText("Cannot resume this session!"));
  EXPECT_FALSE(screen->Recording());
  Press(KRight);
  EXPECT_EQ(View(), CGui::ESessionListView);
  EXPECT_EQ(Model().TrackSession(), nullptr);
}

TEST_F(SessionHub, TheAutomaticTrackComesFirstAndTheScreenShowsItOnceFound) {
  Start();
  Press(KEnter);
  auto* editor = ViewAs<CSessionEditorView>(CGui::ESessionEditorView);
  ASSERT_NE(editor, nullptr);
  editor->Form()->SetSelected(2);
  std::vector<std::string> rows;
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl& aDialog) {
    auto* choice = dynamic_cast<CSelectionDialogControl*>(&aDialog);
    ASSERT_NE(choice, nullptr);
    for (int32_t i = 0; i < choice->List().Count(); ++i) rows.push_back(Utf8(choice->List().ItemAt(i).iTitle));
    choice->List().SetSelected(0);
    Press(KEnter);
  }));
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], "Automatic");
  EXPECT_EQ(rows[1], "Example track");
  EXPECT_EQ(Utf8(editor->Item(CSessionEditorView::EItemTrack)->iText), "Automatic");

  // The session screen: "Detecting track..." while the route has not decided.
  auto noDialog = [&](CDialogControl&) { ADD_FAILURE() << "no dialog expected"; };
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, noDialog,
                     [&] { return View() == CGui::ESessionView && Model().TrackSession(); }));
  auto* screen = ViewAs<CSessionView>(CGui::ESessionView);
  CTrackSession* session = Model().TrackSession();
  screen->RefreshL();
  if (session->DetectsTrack()) {
    EXPECT_EQ(Utf8(screen->List()->ItemAt(screen->List()->Count() - 1).iStatus), "Detecting track...");
  }

  // The demo drive runs on the example track: found on the way, every lap timed.
  ASSERT_TRUE(Script({}, noDialog, [&] { return ReplayEnded(); }));
  ASSERT_EQ(View(), CGui::ESessionView);
  session = Model().TrackSession();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(Utf8(session->Info().TrackName()), "Example track");
  EXPECT_NE(Utf8(session->Info().Notes()).find("Track found automatically: Example track"), std::string::npos);
  EXPECT_GE(session->Laps().LapCount(), 5);
  screen->RefreshL();
  EXPECT_EQ(Utf8(screen->List()->ItemAt(screen->List()->Count() - 1).iStatus), "Example track");
  EXPECT_TRUE(Model().Settings().LastTrack().Equals(CTrackSession::KAutomaticTrack));
}

TEST_F(SessionHub, TheEditorRefusesWhatCannotStartAndImportsTheChosenFiles) {
  Start();
  // An empty title is the first complaint, also in import mode.
  Press(KEnter);
  auto* editor = ViewAs<CSessionEditorView>(CGui::ESessionEditorView);
  editor->Item(CSessionEditorView::EItemTitle)->iText.Reset();
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { Press(KEnter); }));
  EXPECT_TRUE(SawText("Please enter a title for the new session."));
  EXPECT_EQ(View(), CGui::ESessionEditorView);
  // Performance testing hides the track and shows the test.
  editor->Form()->SetSelected(1);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }},
                     [&](CDialogControl& aDialog) {
                       auto* choice = dynamic_cast<CSelectionDialogControl*>(&aDialog);
                       ASSERT_NE(choice, nullptr);
                       choice->List().SetSelected(1);
                       Press(KEnter);
                     }));
  EXPECT_FALSE(editor->Item(CSessionEditorView::EItemTrack)->iVisible);
  EXPECT_TRUE(editor->Item(CSessionEditorView::EItemTest)->iVisible);
  Press(KRight);
  EXPECT_EQ(View(), CGui::EMainView);

  // Import from the session list: a file of the demo drive on the documents medium.
  const std::string copy = iEnv.iDocs + "/drive.nmea";
  fs::copy_file(DemoDrive(), copy);
  Press(KDown);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ESessionListView);
  Press(KLeft);  // "Options": "Display mode", "Delete", "Import new"
  Press(KDown);
  Press(KDown);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ESessionEditorView);
  EXPECT_EQ(editor->Mode(), CSessionEditorView::EImport);
  EXPECT_TRUE(editor->Item(CSessionEditorView::EItemTitle)->iText.IsEmpty());
  EXPECT_FALSE(editor->Item(CSessionEditorView::EItemSaveNmea)->iVisible);
  editor->Item(CSessionEditorView::EItemTitle)->iText.Copy(u"Imported drive");

  // The files: the documents medium, then the drive marked in it.
  auto chooseDrive = [&](CDialogControl& aDialog) {
    auto* choice = dynamic_cast<CSelectionDialogControl*>(&aDialog);
    ASSERT_NE(choice, nullptr);
    CItemListControl& rows = choice->List();
    for (int32_t i = 0; i < rows.Count(); ++i) {
      const std::string text = Utf8(rows.ItemAt(i).iTitle);
      if (text.find("drive.nmea") != std::string::npos) {
        rows.SetSelected(i);
        Press(KEnter);  // "Toggle"
        Press(KLeft);   // "OK"
        return;
      }
    }
    rows.SetSelected(0);  // the documents medium comes first
    Press(KEnter);
  };
  editor->Form()->SetSelected(1);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, chooseDrive));
  ASSERT_EQ(editor->ImportFiles().Count(), 1);
  EXPECT_EQ(Utf8(editor->Item(CSessionEditorView::EItemImportFiles)->iText), "1 files");
  // Another format forgets the files.
  editor->Form()->SetSelected(0);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }},
                     [&](CDialogControl& aDialog) {
                       dynamic_cast<CSelectionDialogControl&>(aDialog).List().SetSelected(1);
                       Press(KEnter);
                     }));
  EXPECT_EQ(editor->ImportFiles().Count(), 0);
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { Press(KEnter); }));
  EXPECT_TRUE(SawText("No files selected!"));

  // Back to NMEA, the file again, and the import runs to "Import successful.".
  editor->Form()->SetSelected(0);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }},
                     [&](CDialogControl& aDialog) {
                       dynamic_cast<CSelectionDialogControl&>(aDialog).List().SetSelected(0);
                       Press(KEnter);
                     }));
  editor->Form()->SetSelected(1);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, chooseDrive));
  const int32_t before = Model().Sessions().Count();
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { Press(KEnter); },
                     [&] { return View() == CGui::ESessionListView; }));
  EXPECT_TRUE(SawText("Import successful."));
  ASSERT_EQ(Model().Sessions().Count(), before + 1);
  EXPECT_EQ(Utf8(Model().Sessions().At(0)->Title()), "Imported drive");
  EXPECT_GE(Model().Sessions().At(0)->LapCount(), 5);
  EXPECT_EQ(Model().TrackSession(), nullptr);
}

TEST(SessionHubNoTracks, ALapTimingSessionWithoutATrackIsRefused) {
  pwtest::ModelGui env;  // an installation without the example track
  env.Create();
  ASSERT_TRUE(env.StartToMainMenu());
  ASSERT_EQ(env.iModel->Tracks().Count(), 0);
  env.iWindow.Press(KEnter);
  auto* editor = dynamic_cast<CSessionEditorView*>(env.iGui->CurrentView());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(Utf8(editor->Item(CSessionEditorView::EItemTrack)->iText), "Not selected");
  std::string text;
  ASSERT_TRUE(env.RunUntil([&] { return !text.empty(); },
                           [&] {
                             auto* note = dynamic_cast<CNoteDialogControl*>(env.iGui->Dialogs().CurrentModal());
                             if (note && !note->IsClosed()) {
                               text = Utf8(note->Text());
                               env.iWindow.Press(KEnter);
                             } else if (text.empty()) {
                               env.iWindow.Press(KLeft);
                             }
                           }));
  EXPECT_EQ(text, "Please select a track first.");
  EXPECT_EQ(env.iGui->CurrentView(), editor);
  EXPECT_EQ(env.iModel->TrackSession(), nullptr);
}

// --- Sessions made by the command line -----------------------------------------------------------

class StoredSessions : public SessionHub {
 protected:
  void SetUp() override {
    SessionHub::SetUp();
    if (IsSkipped()) return;
    for (const char* title : {"Morning", "Noon", "Evening"})
      iIds.push_back(RunCli(std::string("import --format nmea --track 'Example track' --title ") + title + " " +
                            Quoted(DemoDrive())));
    for (std::string& id : iIds) id = id.substr(0, id.find('\n'));
    for (const char* title : {"Log A", "Log B"})
      iIds.push_back(RunCli(std::string("import --format nmea --title '") + title + "' " + Quoted(DemoDrive())));
    for (std::string& id : iIds) id = id.substr(0, id.find('\n'));
    Start();
  }
  // Opens the stored session of that title from the session list with keys.
  void OpenByTitle(const char* aTitle) {
    if (View() != CGui::ESessionListView) {
      Press(KDown);
      Press(KEnter);
    }
    auto* list = ViewAs<CSessionListView>(CGui::ESessionListView);
    for (int32_t i = 0; i < list->List()->Count(); ++i)
      if (Utf8(list->List()->ItemAt(i).iTitle) == aTitle) list->List()->SetSelected(i);
    ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                       [&] { return View() == CGui::ESessionView; }));
  }
  std::vector<std::string> iIds;
};

TEST_F(StoredSessions, ComparingWithALapOfAnotherSessionAndExportingAllLaps) {
  OpenByTitle("Noon");
  auto* screen = ViewAs<CSessionView>(CGui::ESessionView);
  CTrackSession* session = Model().TrackSession();
  ASSERT_NE(session, nullptr);
  // "Comparison lap": the session choice offers this session, the two others of the track and
  // the shipped example recorded on it.
  screen->List()->SetSelected(2);
  std::vector<std::string> titles;
  auto answer = [&](CDialogControl& aDialog) {
    auto* choice = dynamic_cast<CSelectionDialogControl*>(&aDialog);
    ASSERT_NE(choice, nullptr);
    CItemListControl& rows = choice->List();
    titles.push_back(Utf8(rows.ItemAt(0).iTitle));
    if (titles.size() == 1) {
      EXPECT_EQ(rows.Count(), 5);
      EXPECT_EQ(Utf8(rows.ItemAt(0).iTitle), "This session");
      EXPECT_EQ(Utf8(rows.ItemAt(4).iTitle), "Best lap on this track");
      for (int32_t i = 0; i < rows.Count(); ++i)
        if (Utf8(rows.ItemAt(i).iTitle) == "Morning") rows.SetSelected(i);
    } else {
      EXPECT_EQ(Utf8(rows.ItemAt(1).iTitle), "The optimal lap");
      EXPECT_EQ(Utf8(rows.ItemAt(3).iTitle).rfind("2. ", 0), 0u) << Utf8(rows.ItemAt(3).iTitle);
      rows.SetSelected(3);  // lap 2
    }
    Press(KEnter);
  };
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, answer, [&] { return !screen->Comparison()->Running(); }));
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_EQ(titles[1], "The best lap");
  ASSERT_NE(session->ComparisonSession(), nullptr);
  EXPECT_EQ(Utf8(session->ComparisonSession()->Info().Title()), "Morning");
  EXPECT_EQ(Utf8(screen->List()->ItemAt(2).iStatus), "Lap 2 of Morning");
  const CLap* compared = session->Laps().ComparisonLapFor(0);
  ASSERT_NE(compared, nullptr);
  EXPECT_EQ(compared, session->ComparisonSession()->Laps().Lap(1));

  // "This session" and "The optimal lap" drop the other session again.
  titles.clear();
  auto own = [&](CDialogControl& aDialog) {
    CItemListControl& rows = dynamic_cast<CSelectionDialogControl&>(aDialog).List();
    titles.push_back(Utf8(rows.ItemAt(0).iTitle));
    rows.SetSelected(titles.size() == 1 ? 0 : 1);
    Press(KEnter);
  };
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, own, [&] { return !screen->Comparison()->Running(); }));
  EXPECT_EQ(session->ComparisonSession(), nullptr);
  EXPECT_EQ(Utf8(screen->List()->ItemAt(2).iStatus), "Optimal of this session");

  // Export: "Options", "Export"; CSV of all laps.
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { ADD_FAILURE(); }));
  CDialogControl* menu = nullptr;
  for (int32_t i = Gui().DialogManager().ChildCount() - 1; i >= 0 && !menu; --i)
    menu = dynamic_cast<CMenuControl*>(Gui().DialogManager().ChildAt(i));
  ASSERT_NE(menu, nullptr);
  while (dynamic_cast<CMenuControl*>(menu)->Selected() + 1 < dynamic_cast<CMenuControl*>(menu)->Count()) Press(KDown);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::EExporterEditorView);
  auto* exporter = ViewAs<CExporterEditorView>(CGui::EExporterEditorView);
  EXPECT_EQ(exporter->Item(CExporterEditorView::EItemScope)->iValue, 3);
  EXPECT_FALSE(exporter->Item(CExporterEditorView::EItemSeparators)->iEnabled);
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "export_dialog.png");
  auto pick = [&](int32_t aRow) {
    return [&, aRow](CDialogControl& aDialog) {
      dynamic_cast<CSelectionDialogControl&>(aDialog).List().SetSelected(aRow);
      Press(KEnter);
    };
  };
  exporter->Form()->SetSelected(0);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, pick(1)));
  EXPECT_TRUE(exporter->Item(CExporterEditorView::EItemSeparators)->iEnabled);
  exporter->Form()->SetSelected(1);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, pick(2)));
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { Press(KEnter); },
                     [&] { return View() == CGui::ESessionView; }));
  EXPECT_TRUE(SawText("Export successful."));
  const std::string path = Utf8(exporter->LastFile());
  EXPECT_EQ(path.rfind(iEnv.iDocs + "/Pacewright/Exports/", 0), 0u) << path;
  std::ifstream file(path);
  std::string line;
  int32_t rows = 0;
  std::set<std::string> laps;
  bool header = false;
  while (std::getline(file, line)) {
    if (line.rfind("Lap #,", 0) == 0) header = true;
    else if (header && !line.empty()) {
      ++rows;
      laps.insert(line.substr(0, line.find(',')));
    }
  }
  EXPECT_TRUE(header);
  EXPECT_GT(rows, 1000);
  int32_t finished = 0;
  for (int32_t i = 0; i < session->Laps().LapCount(); ++i) finished += session->Laps().Lap(i)->IsFinished() ? 1 : 0;
  EXPECT_EQ(static_cast<int32_t>(laps.size()), finished);
}

TEST_F(StoredSessions, TheBestLapOnThisTrackIsTheFastestOfAllItsSessions) {
  OpenByTitle("Noon");
  auto* screen = ViewAs<CSessionView>(CGui::ESessionView);
  CTrackSession* session = Model().TrackSession();
  ASSERT_NE(session, nullptr);
  const CSessionInfo* holder = session->FindTrackBest();
  const std::string holderTitle = holder ? Utf8(holder->Title()) : std::string();
  screen->List()->SetSelected(2);
  int32_t asked = 0;
  auto answer = [&](CDialogControl& aDialog) {
    CItemListControl& rows = dynamic_cast<CSelectionDialogControl&>(aDialog).List();
    ++asked;
    rows.SetSelected(rows.Count() - 1);
    Press(KEnter);
  };
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, answer, [&] { return !screen->Comparison()->Running(); }));
  // One choice only: the lap is the track's best, not picked from a list.
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(session->ComparesToTrackBest());
  const CLap* compared = session->Laps().ComparisonLapFor(0);
  ASSERT_NE(compared, nullptr);
  if (holder) {
    ASSERT_NE(session->ComparisonSession(), nullptr);
    EXPECT_EQ(Utf8(session->ComparisonSession()->Info().Title()), holderTitle);
    EXPECT_EQ(compared, session->ComparisonSession()->Laps().BestLap());
    EXPECT_LT(compared->LapTime(), session->Laps().BestLap()->LapTime());
  } else {
    // The sessions of the drive are all as fast as this one: its own best stands.
    EXPECT_EQ(session->ComparisonSession(), nullptr);
    EXPECT_EQ(compared, session->Laps().BestLap());
  }
  // Any other lap of the track is slower than the reference.
  for (const CSessionInfo* entry : {Model().Sessions().At(0), Model().Sessions().At(1)})
    if (entry->BestLapTime().IsSet() && Utf8(entry->TrackName()) == "Example track") {
      EXPECT_LE(compared->LapTime(), entry->BestLapTime());
    }
}

TEST_F(StoredSessions, MarkingThreeSessionsDeletesThemWithTheirFiles) {
  Press(KDown);
  Press(KEnter);
  auto* list = ViewAs<CSessionListView>(CGui::ESessionListView);
  ASSERT_EQ(list->List()->Count(), 6);
  // Shift with Down marks the rows passed; shift with Enter marks the focused one.
  list->List()->SetSelected(0);
  Press(KDown, true);
  Press(KDown, true);
  Press(KEnter, true);
  EXPECT_EQ(list->List()->MarkedCount(), 3);
  std::vector<std::string> doomed;
  for (int32_t i = 0; i < 3; ++i) doomed.push_back(Utf8(Model().Sessions().At(i)->Identifier()));
  // Display modes cycle with left and right and keep the marks.
  Press(0xF802);
  EXPECT_EQ(Model().Settings().SessionListMode(), 1);
  EXPECT_EQ(list->List()->MarkedCount(), 3);
  Press(0xF801);
  std::string question;
  ASSERT_TRUE(Script({[&] { Press(0x7F); }}, [&](CDialogControl& aDialog) {
    question = Utf8(dynamic_cast<CNoteDialogControl&>(aDialog).Text());
    Press(KLeft);
  }));
  EXPECT_EQ(question, "Do you really want to delete 3 sessions?");
  EXPECT_EQ(list->List()->Count(), 3);
  EXPECT_EQ(list->List()->MarkedCount(), 0);
  for (const std::string& id : doomed) {
    EXPECT_FALSE(fs::exists(iEnv.iDocs + "/Pacewright/Sessions/" + id + "-session.bin")) << id;
    EXPECT_FALSE(fs::exists(iEnv.iDocs + "/Pacewright/Sessions/" + id + "-plots.bin")) << id;
  }
  for (const std::string& id : iIds)
    if (std::find(doomed.begin(), doomed.end(), id) == doomed.end()) {
      EXPECT_TRUE(fs::exists(iEnv.iDocs + "/Pacewright/Sessions/" + id + "-session.bin")) << id;
    }
  // The focus is kept for the next opening.
  list->List()->SetSelected(1);
  Press(KRight);
  Press(KDown);
  Press(KEnter);
  EXPECT_EQ(ViewAs<CSessionListView>(CGui::ESessionListView)->List()->Selected(), 1);
}

TEST_F(StoredSessions, ADamagedSessionFileIsListedAsDamagedAndNeverOpened) {
  // A session file overwritten with rubbish, newer than every other.
  const std::string damaged = iEnv.iDocs + "/Pacewright/Sessions/20991231-2359-broken-session.bin";
  ASSERT_TRUE(pwtest::WriteFileBytes(damaged, std::string(40, '\xff')));
  Model().Sessions().Refresh();
  ASSERT_EQ(Model().Sessions().DamagedCount(), 1);
  Press(KDown);
  Press(KEnter);
  auto* list = ViewAs<CSessionListView>(CGui::ESessionListView);
  ASSERT_EQ(list->List()->Count(), 7);
  // Below the readable sessions, with where its file is.
  const CListItem& row = list->List()->ItemAt(6);
  EXPECT_EQ(Utf8(row.iTitle), "Damaged session 20991231-2359-broken");
  EXPECT_EQ(Utf8(row.iStatus), damaged);
  // It cannot be marked, so no delete takes it along with the others.
  list->List()->SetSelected(5);
  Press(KDown, true);
  Press(KEnter, true);
  EXPECT_EQ(list->List()->MarkedCount(), 1);
  EXPECT_FALSE(list->List()->ItemAt(6).iMarked);
  Press(KEnter, true);
  Press(KEnter, true);
  EXPECT_EQ(list->List()->MarkedCount(), 1);
  // Opening it says why it does not open, and the list stays.
  list->List()->SetSelected(6);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { Press(KEnter); }));
  EXPECT_TRUE(SawText("This session's file is damaged and cannot be opened: " + damaged));
  EXPECT_EQ(View(), CGui::ESessionListView);
  EXPECT_EQ(Model().TrackSession(), nullptr);
  EXPECT_TRUE(fs::exists(damaged));
}

TEST_F(StoredSessions, ADamagedSamplesFileGivesTheLoadFailureNoteAndKeepsTheList) {
  // "Noon"'s samples cut short inside their header.
  std::string noon;
  for (int32_t i = 0; i < Model().Sessions().Count(); ++i)
    if (Utf8(Model().Sessions().At(i)->Title()) == "Noon") noon = Utf8(Model().Sessions().At(i)->Identifier());
  ASSERT_FALSE(noon.empty());
  const std::string samples = iEnv.iDocs + "/Pacewright/Sessions/" + noon + "-plots.bin";
  ASSERT_TRUE(fs::exists(samples));
  ASSERT_TRUE(pwtest::WriteFileBytes(samples, std::string(5, '\x03')));
  Press(KDown);
  Press(KEnter);
  auto* list = ViewAs<CSessionListView>(CGui::ESessionListView);
  const int32_t rows = list->List()->Count();
  for (int32_t i = 0; i < rows; ++i)
    if (Utf8(list->List()->ItemAt(i).iTitle) == "Noon") list->List()->SetSelected(i);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { Press(KEnter); },
                     [&] { return !iTexts.empty() || View() == CGui::ESessionView; }));
  ASSERT_EQ(iTexts.size(), 1u);
  EXPECT_EQ(iTexts[0].rfind("Could not load the session. Error #", 0), 0u) << iTexts[0];
  EXPECT_EQ(View(), CGui::ESessionListView);
  EXPECT_EQ(Model().TrackSession(), nullptr);
  EXPECT_EQ(ViewAs<CSessionListView>(CGui::ESessionListView)->List()->Count(), rows);
  EXPECT_EQ(pwtest::ReadFileBytes(samples), std::string(5, '\x03'));
}

// --- Pointer taps only ---------------------------------------------------------------------------

TEST_F(StoredSessions, TapsAloneRecordPauseReopenMarkAndDelete) {
  // "New session", then "Start" on the toolbar.
  TapAt(ViewAs<CMainView>(CGui::EMainView)->List()->ItemRect(0));
  ASSERT_EQ(View(), CGui::ESessionEditorView);
  ASSERT_TRUE(Script({[&] { TapButton("Start"); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                     [&] { return ReplayEnded(); }));
  ASSERT_EQ(View(), CGui::ESessionView);
  const std::string id = Utf8(Model().TrackSession()->Info().Identifier());
  // "Pause": "No" keeps recording, "Yes" pauses; then "Back".
  int32_t asked = 0;
  auto answer = [&](CDialogControl& aDialog) {
    EXPECT_EQ(Utf8(dynamic_cast<CNoteDialogControl&>(aDialog).Text()), "Pause this session?");
    TapSoftkey(aDialog, asked++ == 1);
  };
  ASSERT_TRUE(Script({[&] { TapButton("Pause"); }}, answer));
  EXPECT_TRUE(ViewAs<CSessionView>(CGui::ESessionView)->Recording());
  ASSERT_TRUE(Script({[&] { TapButton("Pause"); }}, answer));
  EXPECT_FALSE(ViewAs<CSessionView>(CGui::ESessionView)->Recording());
  TapButton("Back");
  ASSERT_EQ(View(), CGui::EMainView);
  EXPECT_EQ(CliLapTimes(id), CliLapTimes(iIds[0]));

  // Previous sessions: tap the recorded session open, and back.
  TapAt(ViewAs<CMainView>(CGui::EMainView)->List()->ItemRect(1));
  ASSERT_EQ(View(), CGui::ESessionListView);
  auto* list = ViewAs<CSessionListView>(CGui::ESessionListView);
  ASSERT_EQ(list->List()->Count(), 7);
  ASSERT_TRUE(Script({[&] { TapAt(list->List()->ItemRect(0)); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                     [&] { return View() == CGui::ESessionView; }));
  EXPECT_EQ(Utf8(Model().TrackSession()->Info().Identifier()), id);
  TapButton("Back");
  ASSERT_EQ(View(), CGui::ESessionListView);

  // Three mark boxes, "Delete", "Yes".
  list = ViewAs<CSessionListView>(CGui::ESessionListView);
  for (int32_t row = 1; row <= 3; ++row) TapAt(list->List()->MarkBox(row));
  EXPECT_EQ(list->List()->MarkedCount(), 3);
  std::vector<std::string> doomed;
  for (int32_t i = 1; i <= 3; ++i) doomed.push_back(Utf8(Model().Sessions().At(i)->Identifier()));
  auto tapDelete = [&] {
    CToolbarControl& bar = Gui().ToolbarControl();
    for (int32_t i = 0; i < bar.ButtonCount(); ++i)
      if (Utf8(bar.ButtonAt(i)->Label()) == "Delete") return TapAt(bar.ButtonAt(i)->Rect());
    // Behind "More".
    TapButton("More");
    auto* menu = dynamic_cast<CMenuControl*>(Gui().DialogManager().ChildAt(Gui().DialogManager().ChildCount() - 1));
    ASSERT_NE(menu, nullptr);
    TapAt(menu->EntryRect(1));
  };
  ASSERT_TRUE(Script({tapDelete}, [&](CDialogControl& aDialog) { TapSoftkey(aDialog, true); }));
  EXPECT_EQ(list->List()->Count(), 4);
  for (const std::string& gone : doomed)
    EXPECT_FALSE(fs::exists(iEnv.iDocs + "/Pacewright/Sessions/" + gone + "-session.bin")) << gone;
  EXPECT_TRUE(fs::exists(iEnv.iDocs + "/Pacewright/Sessions/" + id + "-session.bin"));
}

// --- Bad input ---------------------------------------------------------------------------------

TEST_F(SessionHub, AGpsPortWithoutADeviceShowsNoConnectionAndNeverHangs) {
  setenv("PACEWRIGHT_PORT_57", "/nonexistent/ttyPW57", 1);
  Start();
  CSettings& settings = Model().Settings();
  settings.Gps().iType = MDeviceSettings::EGpsSerial;
  settings.Gps().iSerialPort = 57;
  Press(KEnter);
  auto* screen = ViewAs<CSessionView>(CGui::ESessionView);
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                     [&] {
                       return View() == CGui::ESessionView && screen->List() && screen->List()->Count() > 0 &&
                              Utf8(screen->List()->ItemAt(0).iStatus) == "No connection to GPS";
                     }));
  EXPECT_EQ(Utf8(screen->List()->ItemAt(0).iTitle), "Switch to Live Timer");
  ASSERT_TRUE(Script({[&] { Press(KEsc); }}, [&](CDialogControl&) { Press(KLeft); }));
  EXPECT_EQ(View(), CGui::EMainView);
  unsetenv("PACEWRIGHT_PORT_57");
}

TEST_F(SessionHub, AMissingInputFileSaysSoAndNeverHangs) {
  Start();
  Model().Settings().SetGpsInputFile(u"/nonexistent/drive.nmea");
  Press(KEnter);
  auto* screen = ViewAs<CSessionView>(CGui::ESessionView);
  ASSERT_TRUE(Script({[&] { Press(KLeft); }}, [&](CDialogControl&) { Press(KEnter); },
                     [&] {
                       return View() == CGui::ESessionView && screen->List() && screen->List()->Count() > 0 &&
                              Utf8(screen->List()->ItemAt(0).iStatus) == "No connection to GPS";
                     }));
  for (const std::string& text : iTexts) ADD_FAILURE() << text;
}

}  // namespace
