// The management views on the real model and storage, driven with keys: performance tests
// listed in the display units, created, edited, refused and deleted and saved on "Back"; track
// profiles created, refused, renamed (their stored sessions follow the new name, also after a
// restart) and deleted; tracks downloaded from and uploaded to the club track server on
// 127.0.0.1, and a server that is gone or never answers ending in its note while the window
// keeps running.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>

#include "app/dialogs/dialog_controls.h"
#include "app/gui/menu.h"
#include "app/views/download_track_view.h"
#include "app/views/session_editor_view.h"
#include "app/views/test_editor_view.h"
#include "app/views/test_list_view.h"
#include "app/views/track_editor_view.h"
#include "app/views/track_list_view.h"
#include "app/views/upload_track_editor_view.h"
#include "exchange/club_track_server.h"
#include "exchange/http_test_server.h"
#include "exchange/web_client_engine.h"
#include "gui_harness.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t KEnter = 0xF800, KUp = 0xF803, KDown = 0xF804, KLeft = 0xF805, KRight = 0xF806, KEsc = 0x1B;

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

// A version-2 track file with aTraps start/finish and split lines, unlocked.
std::string TrackFile(int aTraps, int aLatitude = 300000000) {
  std::string f("\x02\x00\x00\x00\x00\x00", 6);
  auto int32 = [&](int32_t v) {
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  };
  int32(aTraps);
  for (int i = 0; i < aTraps; ++i) {
    const std::string name = "Trap " + std::to_string(i + 1);
    f.push_back(static_cast<char>(name.size() * 4));
    f += name;
    int32(i == 0 ? 3 : 4);
    int32(aLatitude + i * 1000);
    int32(42000000);
    int32(100000000);
    int32(20000000);
    f += std::string("\x01\x00", 2);
  }
  return f;
}

// One answer to one modal dialog.
using TAnswer = std::function<void(CDialogControl&)>;

class Management : public ::testing::Test {
 protected:
  void SetUp() override {
    iSavedServer = std::getenv("PACEWRIGHT_TRACK_SERVER") ? std::getenv("PACEWRIGHT_TRACK_SERVER") : "";
    Start();
  }
  void TearDown() override {
    if (iSavedServer.empty()) unsetenv("PACEWRIGHT_TRACK_SERVER");
    else setenv("PACEWRIGHT_TRACK_SERVER", iSavedServer.c_str(), 1);
  }
  void Start() {
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    iEnv.iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
  }
  // The program ends and starts again on the same folders.
  void Restart() {
    iEnv.iModel.reset();
    iEnv.iGui = nullptr;
    Start();
  }

  CGui& Gui() { return *iEnv.iGui; }
  CModel& Model() { return *iEnv.iModel; }
  int32_t View() { return Gui().CurrentView() ? Gui().CurrentView()->ViewNumber() : 0; }
  template <class T>
  T* ViewAs(int32_t aNumber) {
    return dynamic_cast<T*>(Gui().ViewByNumber(aNumber));
  }
  CDialogControl* Modal() {
    CDialogControl* dialog = Gui().Dialogs().CurrentModal();
    return dialog && !dialog->IsClosed() ? dialog : nullptr;
  }
  void Press(int32_t aKey) { iEnv.iWindow.Press(aKey); }
  std::string Row(CItemListControl* aList, int32_t aIndex, bool aStatus = false) {
    return aList && aIndex < aList->Count() ? Utf8(aStatus ? aList->ItemAt(aIndex).iStatus : aList->ItemAt(aIndex).iTitle)
                                            : std::string("<none>");
  }

  // Runs aAction on the loop; the modal dialogs it opens get aAnswers in order (a dialog
  // beyond them fails the test and is cancelled). Due GUI timers fire on the way. Ends once
  // the action has returned, no dialog is up and aDone holds. The texts of notes and
  // questions are kept in iTexts.
  bool Drive(const std::function<void()>& aAction, std::vector<TAnswer> aAnswers = {},
             const std::function<bool()>& aDone = [] { return true; }, int aSeconds = 60) {
    std::deque<TAnswer> answers(aAnswers.begin(), aAnswers.end());
    bool started = false, returned = false;
    const bool met = iEnv.RunUntil([&] { return returned && !Modal() && aDone(); },
                                   [&] {
                                     if (CDialogControl* dialog = Modal()) {
                                       if (auto* note = dynamic_cast<CNoteDialogControl*>(dialog))
                                         iTexts.push_back(Utf8(note->Text()));
                                       if (answers.empty()) {
                                         ADD_FAILURE() << "unexpected dialog " << (iTexts.empty() ? "" : iTexts.back());
                                         Press(KRight);
                                         return;
                                       }
                                       TAnswer answer = answers.front();
                                       answers.pop_front();
                                       answer(*dialog);
                                       return;
                                     }
                                     if (iEnv.iWindow.TimerArmed()) {
                                       iEnv.iWindow.FireTimer();
                                       return;
                                     }
                                     if (started) return;
                                     started = true;
                                     aAction();
                                     returned = true;
                                   },
                                   aSeconds);
    EXPECT_TRUE(answers.empty()) << answers.size() << " answers left";
    return met;
  }
  // Answers: a text typed and confirmed, "Yes", "No", a note confirmed, a row chosen.
  TAnswer Typed(const std::string& aText) {
    return [this, aText](CDialogControl& aDialog) {
      EXPECT_NE(dynamic_cast<CTextEntryDialogControl*>(&aDialog), nullptr) << "a text entry expected";
      // Typing replaces the selected text; an empty answer deletes it.
      if (aText.empty()) Press(0x7F);
      else iEnv.iWindow.Type(aText.c_str());
      Press(KLeft);  // "OK" (Enter is a line break in a note)
    };
  }
  TAnswer Yes() {
    return [this](CDialogControl&) { Press(KLeft); };
  }
  TAnswer No() {
    return [this](CDialogControl&) { Press(KRight); };
  }
  TAnswer Confirmed() {
    return [this](CDialogControl& aDialog) {
      EXPECT_NE(dynamic_cast<CNoteDialogControl*>(&aDialog), nullptr) << "a note expected";
      Press(KEnter);
    };
  }
  TAnswer Chosen(int32_t aRow) {
    return [this, aRow](CDialogControl& aDialog) {
      auto* choice = dynamic_cast<CSelectionDialogControl*>(&aDialog);
      ASSERT_NE(choice, nullptr) << "a choice expected";
      choice->List().SetSelected(aRow);
      Press(KEnter);
    };
  }
  bool Saw(const std::string& aText) const { return std::find(iTexts.begin(), iTexts.end(), aText) != iTexts.end(); }

  // "Options", then the menu entry at aIndex.
  void Menu(int32_t aIndex) {
    Press(KLeft);
    CMenuControl* menu = nullptr;
    for (int32_t i = Gui().DialogManager().ChildCount() - 1; i >= 0 && !menu; --i)
      menu = dynamic_cast<CMenuControl*>(Gui().DialogManager().ChildAt(i));
    ASSERT_NE(menu, nullptr);
    ASSERT_LT(aIndex, menu->Count());
    while (menu->Selected() < aIndex) Press(KDown);
    Press(KEnter);
  }
  // From the start menu to its item aRow.
  void OpenFromMainMenu(int32_t aRow) {
    ASSERT_EQ(View(), CGui::EMainView);
    for (int32_t i = 0; i < aRow; ++i) Press(KDown);
    Press(KEnter);
  }
  std::string TrackPath(const std::string& aName) { return iEnv.iDocs + "/Pacewright/Tracks/" + aName + "-track.bin"; }
  // A recorded lap-timing session on aTrack, closed again; its identifier.
  std::string RecordSessionOn(const std::string& aTrack, const std::string& aTitle) {
    CSessionInfo description;
    description.SetTitle(PwStringFromUtf8(aTitle));
    description.SetSessionType(ESessionLapTiming);
    description.SetTrackName(PwStringFromUtf8(aTrack));
    EXPECT_EQ(Model().NewSession(description), 1);
    const std::string id = Model().TrackSession() ? Utf8(Model().TrackSession()->Info().Identifier()) : "";
    Model().CloseSession();
    return id;
  }

  pwtest::ModelGui iEnv;
  std::vector<std::string> iTexts;
  std::string iSavedServer;
};

// --- Performance tests ---------------------------------------------------------------------------

TEST_F(Management, PerformanceTestsShowTheirValuesInTheDisplayUnitsAndBuiltInOnesOnlyForViewing) {
  OpenFromMainMenu(3);
  ASSERT_EQ(View(), CGui::ETestListView);
  auto* view = ViewAs<CTestListView>(CGui::ETestListView);
  CItemListControl* rows = view->List();
  ASSERT_EQ(rows->Count(), 12);
  EXPECT_EQ(rows->Selected(), 6) << "the selected test, 0-100 kph";
  EXPECT_EQ(Row(rows, 0), "60 feet");
  EXPECT_EQ(Row(rows, 0, true), "Distance, 18 m");
  EXPECT_EQ(Row(rows, 2, true), "Distance, 402 m");
  EXPECT_EQ(Row(rows, 4, true), "Distance, 1609 m");
  EXPECT_EQ(Row(rows, 5, true), "Speed, 0-97 kph");
  EXPECT_EQ(Row(rows, 6, true), "Speed, 0-100 kph");
  EXPECT_EQ(Row(rows, 9, true), "Speed, 80-120 kph");
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "test_list.png");

  // English units: feet and mph.
  Model().Settings().SetUnits(CStringProvider::KUnitsEnglish);
  view->RefreshL();
  EXPECT_EQ(Row(rows, 0, true), "Distance, 60 ft");
  EXPECT_EQ(Row(rows, 2, true), "Distance, 1320 ft");
  EXPECT_EQ(Row(rows, 5, true), "Speed, 0-60 mph");
  EXPECT_EQ(Row(rows, 6, true), "Speed, 0-62 mph");
  Model().Settings().SetUnits(0);
  view->RefreshL();

  // "1/4 mile": the focus is the list's selection; it cannot be deleted, only looked at.
  for (int i = 0; i < 4; ++i) Press(KUp);
  EXPECT_EQ(Model().Tests().SelectedIndex(), 2);
  EXPECT_EQ(view->CommandState(pwcmd::KDelete), ECommandDisabled);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ETestEditorView);
  auto* editor = ViewAs<CTestEditorView>(CGui::ETestEditorView);
  EXPECT_TRUE(editor->ReadOnly());
  EXPECT_EQ(Utf8(editor->Item(CTestEditorView::EItemName)->iText), "1/4 mile");
  EXPECT_EQ(editor->Item(CTestEditorView::EItemType)->iValue, CPerformanceTest::EDistanceTest);
  EXPECT_EQ(Utf8(editor->Item(CTestEditorView::EItemDistance)->iText), "402.336");
  EXPECT_FALSE(editor->Item(CTestEditorView::EItemStartSpeed)->iVisible);
  EXPECT_FALSE(editor->Item(CTestEditorView::EItemFinishSpeed)->iVisible);
  // Neither "Open" nor "OK" does anything: no dialog, no change.
  ASSERT_TRUE(Drive([&] {
    Press(KEnter);
    Press(KLeft);
  }));
  EXPECT_EQ(View(), CGui::ETestEditorView);
  Press(KRight);  // "Back"
  ASSERT_EQ(View(), CGui::ETestListView);
  EXPECT_EQ(Model().Tests().Count(), 12);
  EXPECT_DOUBLE_EQ(Model().Tests().At(2)->Distance(), 402.336);
  // Deleting is refused too, also by the delete key.
  ASSERT_TRUE(Drive([&] { Press(0x7F); }));
  EXPECT_EQ(Model().Tests().Count(), 12);
}

TEST_F(Management, PerformanceTestsAreCreatedEditedRefusedAndDeletedAndSavedOnBack) {
  OpenFromMainMenu(3);
  ASSERT_EQ(View(), CGui::ETestListView);
  auto* list = ViewAs<CTestListView>(CGui::ETestListView);
  auto* editor = ViewAs<CTestEditorView>(CGui::ETestEditorView);

  // A new speed test: 50 to 50 kph is refused, 50 to 150 kph is taken.
  Menu(0);
  ASSERT_EQ(View(), CGui::ETestEditorView);
  EXPECT_EQ(editor->Mode(), CTestEditorView::ENew);
  EXPECT_EQ(editor->Item(CTestEditorView::EItemType)->iValue, CPerformanceTest::ESpeedTest);
  EXPECT_TRUE(editor->Item(CTestEditorView::EItemStartSpeed)->iVisible);
  EXPECT_FALSE(editor->Item(CTestEditorView::EItemDistance)->iVisible);
  EXPECT_EQ(Utf8(editor->Item(CTestEditorView::EItemStartSpeed)->iLabel), "Start speed (kph)");
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("Rolling 50-150")}));
  Press(KDown);
  Press(KDown);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("50")}));
  EXPECT_NEAR(editor->Test().StartSpeed(), 50 / 3.6, 1e-9) << "kept in m/s once the item is left";
  Press(KDown);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("50")}));
  ASSERT_TRUE(Drive([&] { Press(KLeft); }, {Confirmed()}));
  EXPECT_TRUE(Saw("Invalid values! Please verify that the test has a name, non-zero distance and lower start speed "
                  "from finish speed!"));
  EXPECT_EQ(View(), CGui::ETestEditorView) << "the editor stays open";
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("150")}));
  ASSERT_TRUE(Drive([&] { Press(KLeft); }));
  ASSERT_EQ(View(), CGui::ETestListView);
  ASSERT_EQ(Model().Tests().Count(), 13);
  EXPECT_EQ(list->List()->Selected(), 12) << "the new test is focused";
  EXPECT_EQ(Row(list->List(), 12), "Rolling 50-150");
  EXPECT_EQ(Row(list->List(), 12, true), "Speed, 50-150 kph");

  // A distance test: switching the type hides both speeds; a zero distance is refused. A
  // speed typed before the switch does not stay in the test (it would never start).
  Menu(0);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("Half mile")}));
  editor->Form()->SetSelected(2);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("30")}));
  editor->Form()->SetSelected(1);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Chosen(1)}));
  EXPECT_FALSE(editor->Item(CTestEditorView::EItemStartSpeed)->iVisible);
  EXPECT_FALSE(editor->Item(CTestEditorView::EItemFinishSpeed)->iVisible);
  EXPECT_TRUE(editor->Item(CTestEditorView::EItemDistance)->iVisible);
  ASSERT_TRUE(Drive([&] { Press(KLeft); }, {Confirmed()}));
  EXPECT_EQ(View(), CGui::ETestEditorView);
  Press(KDown);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("804.7")}));
  ASSERT_TRUE(Drive([&] { Press(KLeft); }));
  ASSERT_EQ(Model().Tests().Count(), 14);
  EXPECT_EQ(Row(list->List(), 13, true), "Distance, 805 m");
  EXPECT_DOUBLE_EQ(Model().Tests().At(13)->Distance(), 804.7);
  EXPECT_EQ(Model().Tests().At(13)->StartSpeed(), 0.0);

  // Editing a user test works on a copy: "Cancel" keeps it, "OK" replaces it.
  Press(KUp);
  ASSERT_EQ(Model().Tests().SelectedIndex(), 12);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ETestEditorView);
  EXPECT_EQ(editor->Mode(), CTestEditorView::EProperties);
  EXPECT_FALSE(editor->ReadOnly());
  EXPECT_EQ(Utf8(editor->Item(CTestEditorView::EItemFinishSpeed)->iText), "150");
  editor->Form()->SetSelected(2);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("60")}));
  Press(KRight);  // "Cancel"
  EXPECT_EQ(Row(list->List(), 12, true), "Speed, 50-150 kph");
  Press(KEnter);
  editor->Form()->SetSelected(2);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("60,6")}));
  ASSERT_TRUE(Drive([&] { Press(KLeft); }));
  EXPECT_NEAR(Model().Tests().At(12)->StartSpeed(), 60.6 / 3.6, 1e-9);
  EXPECT_EQ(Row(list->List(), 12, true), "Speed, 61-150 kph");

  // Deleting asks first; "No" keeps the test.
  ASSERT_EQ(list->CommandState(pwcmd::KDelete), ECommandOffered);
  ASSERT_TRUE(Drive([&] { Menu(1); }, {No()}));
  EXPECT_TRUE(Saw("Delete test 'Rolling 50-150'?"));
  EXPECT_EQ(Model().Tests().Count(), 14);
  ASSERT_TRUE(Drive([&] { Menu(1); }, {Yes()}));
  ASSERT_EQ(Model().Tests().Count(), 13);
  EXPECT_EQ(Model().Tests().IndexOfName(u"Rolling 50-150"), -1);

  // "Back" saves the user's tests: the program started again has them.
  Press(KRight);
  ASSERT_EQ(View(), CGui::EMainView);
  Restart();
  ASSERT_EQ(Model().Tests().Count(), 13);
  const CPerformanceTest* kept = Model().Tests().At(12);
  EXPECT_EQ(Utf8(kept->Name()), "Half mile");
  EXPECT_TRUE(kept->IsDistanceTest());
  EXPECT_FALSE(kept->IsBuiltIn());
  EXPECT_NEAR(kept->Distance(), 804.7, 1e-4);
}

// --- Track profiles ------------------------------------------------------------------------------

TEST_F(Management, TracksAreCreatedRefusedRenamedLockedAndDeleted) {
  OpenFromMainMenu(2);
  ASSERT_EQ(View(), CGui::ETrackListView);
  auto* list = ViewAs<CTrackListView>(CGui::ETrackListView);
  // The rows are made again on every opening.
  auto rows = [&] { return list->List(); };
  ASSERT_EQ(rows()->Count(), 1);
  EXPECT_EQ(Row(rows(), 0), "See 'Options' menu to download or create.");
  EXPECT_EQ(list->CommandState(pwcmd::KOpen), ECommandDisabled);
  EXPECT_EQ(list->CommandState(pwcmd::KDelete), ECommandDisabled);
  EXPECT_EQ(list->CommandState(pwcmd::KUploadTrack), ECommandDisabled);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }));
  EXPECT_EQ(View(), CGui::ETrackListView) << "nothing to open";

  // Names: a slash is refused, a name that differs only in case too.
  ASSERT_TRUE(Drive([&] { Menu(0); }, {Typed("Club/Ring"), Confirmed()}));
  EXPECT_TRUE(Saw("Name contains invalid characters."));
  EXPECT_EQ(Model().Tracks().Count(), 0);
  EXPECT_FALSE(fs::exists(iEnv.iDocs + "/Pacewright/Tracks/Club"));
  ASSERT_TRUE(Drive([&] { Menu(0); }, {Typed("Club Ring")}));
  ASSERT_EQ(Model().Tracks().Count(), 1);
  EXPECT_TRUE(fs::exists(TrackPath("Club Ring")));
  ASSERT_TRUE(Drive([&] { Menu(0); }, {Typed("club ring"), Confirmed()}));
  EXPECT_TRUE(Saw("Similarly named track already exists."));
  ASSERT_TRUE(Drive([&] { Menu(0); }, {Typed("Harbour")}));
  ASSERT_EQ(rows()->Count(), 2);
  EXPECT_EQ(rows()->Selected(), 1) << "the new track is focused";
  EXPECT_EQ(Row(rows(), 0), "Club Ring");
  EXPECT_EQ(Row(rows(), 1), "Harbour");
  EXPECT_EQ(Row(rows(), 1, true), "0 sessions, 0 traps");
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "track_list.png");

  // The editor: onto another track's name, with a slash, or empty is refused and it stays.
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ETrackEditorView);
  auto* editor = ViewAs<CTrackEditorView>(CGui::ETrackEditorView);
  EXPECT_EQ(Utf8(editor->Item(CTrackEditorView::EItemName)->iText), "Harbour");
  EXPECT_EQ(editor->Item(CTrackEditorView::EItemLock)->iValue, 0) << "new tracks start unlocked";
  EXPECT_EQ(Utf8(editor->Item(CTrackEditorView::EItemLock)->iHelp),
            "To avoid unintentional modifications, lock the traps when all of them are ready.");
  EXPECT_EQ(Utf8(editor->Item(CTrackEditorView::EItemTraps)->iText), "0 traps");
  const struct {
    const char* iName;
    const char* iNote;
  } refused[] = {{"CLUB RING", "Similarly named track already exists."},
                 {"Harbour/2", "Name contains invalid characters."},
                 {"", "Please insert a name for the track."}};
  for (const auto& bad : refused) {
    iTexts.clear();
    ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed(bad.iName)}));
    ASSERT_TRUE(Drive([&] { Press(KRight); }, {Confirmed()}));
    EXPECT_TRUE(Saw(bad.iNote)) << bad.iName;
    EXPECT_EQ(View(), CGui::ETrackEditorView) << bad.iName;
  }
  EXPECT_TRUE(fs::exists(TrackPath("Club Ring")));
  EXPECT_TRUE(fs::exists(TrackPath("Harbour")));

  // A new name and the lock: the file moves and keeps the lock.
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("Harbour Loop")}));
  Press(KDown);
  Press(KEnter);  // "Lock traps" switches
  EXPECT_EQ(editor->Item(CTrackEditorView::EItemLock)->iValue, 1);
  ASSERT_TRUE(Drive([&] { Press(KRight); }));
  ASSERT_EQ(View(), CGui::ETrackListView);
  EXPECT_FALSE(fs::exists(TrackPath("Harbour")));
  ASSERT_TRUE(fs::exists(TrackPath("Harbour Loop")));
  EXPECT_EQ(Row(rows(), 1), "Harbour Loop");
  {
    CTrackProfile stored;
    stored.SetName(u"Harbour Loop");
    stored.SetFolder(Model().Tracks().At(1).Folder());
    ASSERT_EQ(stored.Load(false), 1);
    EXPECT_TRUE(stored.IsLocked());
  }

  // Deleting asks first; "Yes" takes the track and its file.
  Press(KUp);
  ASSERT_EQ(Utf8(Model().Tracks().Current()->Name()), "Club Ring");
  ASSERT_TRUE(Drive([&] { Menu(2); }, {No()}));
  EXPECT_TRUE(Saw("Delete track 'Club Ring'?"));
  EXPECT_EQ(Model().Tracks().Count(), 2);
  ASSERT_TRUE(Drive([&] { Menu(2); }, {Yes()}));
  ASSERT_EQ(Model().Tracks().Count(), 1);
  EXPECT_FALSE(fs::exists(TrackPath("Club Ring")));
  EXPECT_TRUE(fs::exists(TrackPath("Harbour Loop")));
  EXPECT_EQ(Row(rows(), 0), "Harbour Loop");
  Press(KRight);
  EXPECT_EQ(View(), CGui::EMainView);
}

TEST_F(Management, ARenamedTrackTakesItsStoredSessionsAlongAcrossARestart) {
  fs::create_directories(iEnv.iDocs + "/Pacewright/Tracks");
  ASSERT_TRUE(pwtest::WriteFileBytes(TrackPath("Oval"), TrackFile(3)));
  ASSERT_TRUE(pwtest::WriteFileBytes(TrackPath("Hill"), TrackFile(1)));
  Model().Tracks().Refresh();
  ASSERT_EQ(Model().Tracks().Count(), 2);
  const std::string first = RecordSessionOn("Oval", "Morning");
  const std::string second = RecordSessionOn("Oval", "Evening");
  RecordSessionOn("Hill", "Climb");
  ASSERT_EQ(Model().Sessions().CountTrackUses(u"Oval"), 2);

  OpenFromMainMenu(2);
  ASSERT_EQ(View(), CGui::ETrackListView);
  auto rows = [&] { return ViewAs<CTrackListView>(CGui::ETrackListView)->List(); };
  ASSERT_EQ(Row(rows(), 1), "Oval");
  EXPECT_EQ(Row(rows(), 1, true), "2 sessions, 3 traps");
  EXPECT_EQ(Row(rows(), 0, true), "1 sessions, 1 traps");
  Press(KDown);
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ETrackEditorView);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("Oval Nord")}));
  ASSERT_TRUE(Drive([&] { Press(KRight); }));
  ASSERT_EQ(View(), CGui::ETrackListView);
  EXPECT_EQ(Row(rows(), 1), "Oval Nord");
  EXPECT_EQ(Row(rows(), 1, true), "2 sessions, 3 traps");
  EXPECT_FALSE(fs::exists(TrackPath("Oval")));
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval Nord")), TrackFile(3)) << "moved, not rewritten";

  Restart();
  const CSessionList& sessions = Model().Sessions();
  ASSERT_EQ(sessions.Count(), 3);
  int32_t renamed = 0;
  for (int32_t i = 0; i < sessions.Count(); ++i) {
    const std::string id = Utf8(sessions.At(i)->Identifier());
    const std::string track = Utf8(sessions.At(i)->TrackName());
    if (id == first || id == second) {
      EXPECT_EQ(track, "Oval Nord") << id;
      ++renamed;
    } else {
      EXPECT_EQ(track, "Hill") << id;
    }
  }
  EXPECT_EQ(renamed, 2);
  EXPECT_EQ(sessions.CountTrackUses(u"Oval Nord"), 2);
  ASSERT_GE(Model().Tracks().Find(u"Oval Nord"), 0);
  EXPECT_EQ(Model().Tracks().At(Model().Tracks().Find(u"Oval Nord")).TrapCount(), 3);
}

// --- The track server ----------------------------------------------------------------------------

TEST_F(Management, TracksComeFromAndGoToTheClubTrackServer) {
  if (!pwhttptest::HavePython()) GTEST_SKIP() << "python3 is not installed";
  const std::string tracks = iEnv.iDir / "server-tracks";
  const std::string inbox = iEnv.iDir / "server-inbox";
  fs::create_directories(tracks + "/Germany");
  const std::string oval = TrackFile(2);
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Germany/Oval Nord-track.bin", oval));
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Germany/Oval Nord-track.txt", "3.2 km; fast\n"));
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Germany/Ring-track.bin", TrackFile(4)));
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Hill-track.bin", TrackFile(1)));
  pwhttptest::ClubTrackServer server(tracks, inbox);
  ASSERT_EQ(server.Base().rfind("http://127.0.0.1:", 0), 0u) << server.Base();
  setenv("PACEWRIGHT_TRACK_SERVER", server.Base().c_str(), 1);

  // A local "Oval Nord" that the download may replace only after asking.
  fs::create_directories(iEnv.iDocs + "/Pacewright/Tracks");
  const std::string local = TrackFile(5, 310000000);
  ASSERT_TRUE(pwtest::WriteFileBytes(TrackPath("Oval Nord"), local));
  Model().Tracks().Refresh();

  OpenFromMainMenu(2);
  ASSERT_EQ(View(), CGui::ETrackListView);
  auto* download = ViewAs<CDownloadTrackView>(CGui::EDownloadTrackView);
  ASSERT_TRUE(Drive([&] { Menu(1); }, {}, [&] { return download->EventCount() > 0; }));
  ASSERT_EQ(View(), CGui::EDownloadTrackView);
  ASSERT_EQ(download->LastEvent(), MTrackExchangeUi::EIndexLoaded);
  CItemListControl* rows = download->List();
  ASSERT_EQ(rows->Count(), 2);
  EXPECT_EQ(Row(rows, 0), "Germany");
  EXPECT_EQ(Row(rows, 0, true), "2 tracks");
  EXPECT_EQ(Row(rows, 1), "Other");
  EXPECT_EQ(Row(rows, 1, true), "1 tracks");
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "download_list.png");

  // Into "Germany", then "Oval Nord": asked twice, declined at the overwrite question.
  Press(KEnter);
  EXPECT_EQ(Utf8(Gui().Navi().Title()), "Germany");
  ASSERT_EQ(rows->Count(), 2);
  EXPECT_EQ(Row(rows, 0), "Oval Nord");
  EXPECT_EQ(Row(rows, 0, true), "3.2 km, fast");
  int32_t events = download->EventCount();
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Yes(), No()}, [&] { return download->EventCount() > events; }));
  EXPECT_TRUE(Saw("Do you want to download 'Oval Nord'?"));
  EXPECT_TRUE(Saw("Do you want to overwrite existing 'Oval Nord'?"));
  EXPECT_EQ(download->LastEvent(), MTrackExchangeUi::ETrackNotInstalled);
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval Nord")), local);
  // "Yes" replaces it with the server's file.
  events = download->EventCount();
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Yes(), Yes(), Confirmed()},
                    [&] { return download->EventCount() > events; }));
  EXPECT_TRUE(Saw("Succesfully added 'Oval Nord' to your track profiles."));
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval Nord")), oval);
  // A track not there yet is installed without the overwrite question.
  Press(KDown);
  events = download->EventCount();
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Yes(), Confirmed()}, [&] { return download->EventCount() > events; }));
  EXPECT_EQ(download->LastEvent(), MTrackExchangeUi::ETrackInstalled);
  EXPECT_TRUE(fs::exists(TrackPath("Ring")));

  // "Back" returns to the groups, then to the track list, which lists what came.
  Press(KRight);
  EXPECT_EQ(Utf8(Gui().Navi().Title()), "Download tracks");
  EXPECT_EQ(rows->Count(), 2);
  Press(KRight);
  ASSERT_EQ(View(), CGui::ETrackListView);
  EXPECT_FALSE(Model().WebClient().IsConnectionOpen());
  CItemListControl* tracksRows = ViewAs<CTrackListView>(CGui::ETrackListView)->List();
  ASSERT_EQ(tracksRows->Count(), 2);
  EXPECT_EQ(Row(tracksRows, 0), "Oval Nord");
  EXPECT_EQ(Row(tracksRows, 0, true), "0 sessions, 2 traps");
  EXPECT_EQ(Row(tracksRows, 1), "Ring");

  // Upload "Oval Nord": the address and the description are needed first.
  tracksRows->SetSelected(0);
  Menu(3);
  ASSERT_EQ(View(), CGui::EUploadTrackEditorView);
  EXPECT_EQ(Utf8(Gui().Navi().Title()), "Upload track");
  auto* upload = ViewAs<CUploadTrackEditorView>(CGui::EUploadTrackEditorView);
  ASSERT_TRUE(Drive([&] { Press(KLeft); }, {Confirmed()}));
  EXPECT_TRUE(Saw("Please enter your email address!"));
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("me@example.org")}));
  ASSERT_TRUE(Drive([&] { Press(KLeft); }, {Confirmed()}));
  EXPECT_TRUE(Saw("Please enter description!"));
  Press(KDown);
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Typed("Oval, fast")}));
  ASSERT_TRUE(Drive([&] { Press(KLeft); }, {Confirmed()}, [&] { return View() == CGui::ETrackListView; }));
  EXPECT_TRUE(Saw("Thank you for the track!"));
  EXPECT_EQ(upload->LastEvent(), MTrackExchangeUi::EUploadDone);
  std::vector<std::string> received;
  for (const auto& entry : fs::directory_iterator(inbox)) received.push_back(entry.path().string());
  std::sort(received.begin(), received.end());
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(received[0].find("Oval Nord-track.bin"), std::string::npos);
  EXPECT_EQ(pwtest::ReadFileBytes(received[0]), oval);
  EXPECT_EQ(pwtest::ReadFileBytes(received[1]), "me@example.org\nOval, fast\n");

  // The session editor's "Download new ..." leads to the same view and back to the form.
  Press(KRight);
  OpenFromMainMenu(0);
  ASSERT_EQ(View(), CGui::ESessionEditorView);
  auto* sessionEditor = ViewAs<CSessionEditorView>(CGui::ESessionEditorView);
  sessionEditor->Item(CSessionEditorView::EItemTitle)->iText.Copy(u"Kept title");
  sessionEditor->Form()->SetSelected(2);  // title, type, track
  ASSERT_EQ(sessionEditor->Form()->Focused()->iId, CSessionEditorView::EItemTrack);
  // "Download new ..." follows "Automatic" and the three tracks.
  ASSERT_TRUE(Drive([&] { Press(KEnter); }, {Chosen(4)}, [&] { return download->EventCount() > 0; }));
  ASSERT_EQ(View(), CGui::EDownloadTrackView);
  EXPECT_EQ(download->LastEvent(), MTrackExchangeUi::EIndexLoaded);
  Press(KRight);
  ASSERT_EQ(View(), CGui::ESessionEditorView);
  EXPECT_EQ(Utf8(sessionEditor->Item(CSessionEditorView::EItemTitle)->iText), "Kept title");
}

TEST_F(Management, AServerThatIsGoneOrNeverAnswersEndsInItsNoteWhileTheWindowRuns) {
  using Clock = std::chrono::steady_clock;
  // Nothing listens: the note comes at once.
  setenv("PACEWRIGHT_TRACK_SERVER",
         ("http://127.0.0.1:" + std::to_string(pwhttptest::ClosedPort()) + "/automatic/tracks/").c_str(), 1);
  OpenFromMainMenu(2);
  auto* download = ViewAs<CDownloadTrackView>(CGui::EDownloadTrackView);
  ASSERT_TRUE(Drive([&] { Menu(1); }, {Confirmed()}, [&] { return download->EventCount() > 0; }));
  EXPECT_TRUE(Saw("Could not download tracks index."));
  EXPECT_EQ(download->LastEvent(), MTrackExchangeUi::EIndexFailed);
  EXPECT_EQ(download->List()->Count(), 0);
  // "Reload index" tries again (and fails again) without leaving the view.
  iTexts.clear();
  ASSERT_TRUE(Drive([&] { (void)Gui().DispatchGuiCommand(pwcmd::KReloadIndex); }, {Confirmed()},
                    [&] { return download->EventCount() > 1; }));
  EXPECT_TRUE(Saw("Could not download tracks index."));
  Press(KRight);
  ASSERT_EQ(View(), CGui::ETrackListView);

  // A server that takes the request and never answers: the request ends in its time-out,
  // and the loop keeps turning all the while.
  pwhttptest::TestServer silent([](pwhttptest::TestServer& aServer, int aFd, const std::string&) {
    aServer.WaitForClientOrStop(aFd);
  });
  setenv("PACEWRIGHT_TRACK_SERVER", silent.Base().c_str(), 1);
  CWebClientEngine::TLimits limits;
  limits.iConnectMs = 1000;
  limits.iIdleMs = 1500;
  limits.iTotalMs = 3000;
  Model().WebClient().SetLimits(limits);
  int32_t turns = 0;
  bool progressShown = false;
  iTexts.clear();
  const auto start = Clock::now();
  ASSERT_TRUE(Drive([&] { Menu(1); }, {Confirmed()}, [&] {
    ++turns;
    if (CProgressDialogControl* progress = Gui().Dialogs().Progress()) progressShown |= progress->IsVisible();
    return download->EventCount() > 0;
  }));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_TRUE(Saw("Could not download tracks index."));
  EXPECT_GE(took, 1400);
  EXPECT_LT(took, 10000);
  EXPECT_GT(turns, 100) << "the loop kept turning while the request waited";
  EXPECT_TRUE(progressShown) << "the progress dialog shows after its delay";
  EXPECT_EQ(Gui().Dialogs().Progress(), nullptr);

  // Cancelling the progress dialog ends the request at once, without a note.
  limits.iIdleMs = 60000;
  limits.iTotalMs = 60000;
  Model().WebClient().SetLimits(limits);
  iTexts.clear();
  ASSERT_TRUE(Drive([&] { (void)Gui().DispatchGuiCommand(pwcmd::KReloadIndex); }, {}, [&] {
    CProgressDialogControl* progress = Gui().Dialogs().Progress();
    if (progress && progress->IsVisible()) Press(KRight);  // "Cancel"
    return download->EventCount() > 1;
  }));
  EXPECT_EQ(download->LastEvent(), MTrackExchangeUi::EIndexCancelled);
  EXPECT_TRUE(iTexts.empty());
  EXPECT_EQ(Gui().Dialogs().Progress(), nullptr);
  EXPECT_EQ(View(), CGui::EDownloadTrackView);
  Press(KRight);

  // An upload to a server that is gone: its note, and the view stays for another try.
  fs::create_directories(iEnv.iDocs + "/Pacewright/Tracks");
  ASSERT_TRUE(pwtest::WriteFileBytes(TrackPath("Oval"), TrackFile(2)));
  Model().Tracks().Refresh();
  setenv("PACEWRIGHT_TRACK_SERVER",
         ("http://127.0.0.1:" + std::to_string(pwhttptest::ClosedPort()) + "/automatic/tracks/").c_str(), 1);
  Press(KRight);
  OpenFromMainMenu(2);
  Menu(3);
  ASSERT_EQ(View(), CGui::EUploadTrackEditorView);
  auto* upload = ViewAs<CUploadTrackEditorView>(CGui::EUploadTrackEditorView);
  upload->Item(CUploadTrackEditorView::EItemEmail)->iText.Copy(u"me@example.org");
  upload->Item(CUploadTrackEditorView::EItemDescription)->iText.Copy(u"Oval");
  iTexts.clear();
  ASSERT_TRUE(Drive([&] { Press(KLeft); }, {Confirmed()}, [&] { return upload->EventCount() > 0; }));
  EXPECT_TRUE(Saw("Could not upload the track!"));
  EXPECT_EQ(View(), CGui::EUploadTrackEditorView);
  Press(KRight);  // "Cancel"
  EXPECT_EQ(View(), CGui::ETrackListView);
}

TEST_F(Management, EndingTheProgramDuringADownloadLeavesNothingBehind) {
  pwhttptest::TestServer silent([](pwhttptest::TestServer& aServer, int aFd, const std::string&) {
    aServer.WaitForClientOrStop(aFd);
  });
  setenv("PACEWRIGHT_TRACK_SERVER", silent.Base().c_str(), 1);
  OpenFromMainMenu(2);
  ASSERT_TRUE(Drive([&] { Menu(1); }, {}, [&] { return Model().WebClient().IsBusy() && silent.WaitForRequests(1, 0); }));
  ASSERT_EQ(View(), CGui::EDownloadTrackView);
  // The engines go before the views: the view must not reach the engine on its way out.
  iEnv.iModel.reset();
  iEnv.iGui = nullptr;
}

}  // namespace
