// Building a track profile on the recorded route, on the real model and storage: a real kart
// log imported as a lap-timing session on a new empty track, the trap view's route cursor
// stepped to the main straight, a start/finish line added there and the laps compared with
// what the command line times for a track with that line; the line moved, rotated, locked,
// opened in the trap editor and deleted; every change saved at once, and refused input and an
// unwritable track file leaving the stored track as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/controls/bitmap_button.h"
#include "app/dialogs/dialog_controls.h"
#include "app/gui/menu.h"
#include "app/views/session_list_view.h"
#include "app/views/session_view.h"
#include "app/views/trap_editor_view.h"
#include "app/views/trap_list_view.h"
#include "app/views/trap_view.h"
#include "cli_runner.h"
#include "gui_harness.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "storage/session_list.h"
#include "timing/track_session.h"

namespace {

namespace fs = std::filesystem;
using pwtest::CliLapTimes;
using pwtest::LapTimes;
using pwtest::Quoted;
using pwtest::RunCli;

constexpr int32_t KEnter = 0xF800, KRight = 0xF802, KLeftSoftkey = 0xF805, KRightSoftkey = 0xF806;

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

std::string KartLog() { return pwtest::TestDataDir() + "/vbo/karting-part.vbo"; }

// The kart log on a new empty track "Kart", opened in the window at its trap list.
class TrapViews : public ::testing::Test {
 protected:
  void SetUp() override {
    PW_REQUIRE_TESTDATA();
    RunCli("track create Kart");
    const std::string out = RunCli("import --format vbox --track Kart --title Kart " + Quoted(KartLog()));
    iId = out.substr(0, out.find('\n'));
    ASSERT_FALSE(iId.empty());
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    iEnv.iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
    // "Previous sessions", the session, then "Browse traps".
    Press(0xF804);
    Press(KEnter);
    ASSERT_EQ(View(), CGui::ESessionListView);
    ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { ADD_FAILURE(); },
                       [&] { return View() == CGui::ESessionView; }));
    auto* screen = dynamic_cast<CSessionView*>(Gui().CurrentView());
    ASSERT_EQ(Utf8(screen->List()->ItemAt(4).iStatus), "0 traps");
    screen->List()->SetSelected(4);
    Press(KEnter);
    ASSERT_EQ(View(), CGui::ETrapListView);
  }

  CGui& Gui() { return *iEnv.iGui; }
  CModel& Model() { return *iEnv.iModel; }
  CTrackSession& Session() { return *Model().TrackSession(); }
  CTrackProfile& Track() { return Session().Track(); }
  int32_t View() { return Gui().CurrentView() ? Gui().CurrentView()->ViewNumber() : 0; }
  CTrapMapControl& Map() { return *dynamic_cast<CTrapView*>(Gui().ViewByNumber(CGui::ETrapView))->Map(); }
  void Press(int32_t aKey, bool aShift = false) { iEnv.iWindow.Press(aKey, aShift); }
  CDialogControl* Modal() {
    CDialogControl* dialog = Gui().Dialogs().CurrentModal();
    return dialog && !dialog->IsClosed() ? dialog : nullptr;
  }
  std::string TrackFile() { return iEnv.iDocs + "/Pacewright/Tracks/Kart-track.bin"; }
  std::string Title() { return Utf8(Gui().Navi().Title()); }
  void Picture(const char* aName) {
    iEnv.iWindow.Finish();
    pwtest::ExpectMatchesReference(*Gui().Surface(), aName);
  }
  void TapButton(const char* aLabel) {
    CToolbarControl& bar = Gui().ToolbarControl();
    for (int32_t i = 0; i < bar.ButtonCount(); ++i)
      if (Utf8(bar.ButtonAt(i)->Label()) == aLabel) {
        const TPwRect r = bar.ButtonAt(i)->Rect();
        iEnv.iWindow.Tap((r.iLeft + r.iRight) / 2, (r.iTop + r.iBottom) / 2);
        return;
      }
    ADD_FAILURE() << "no button " << aLabel;
  }
  // Runs the actions one after another while every modal dialog goes to aAnswer; notes seen
  // on the way are kept in iTexts.
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
                         120);
  }
  // Confirms notes and answers questions "Yes".
  void Confirm(CDialogControl&) { Press(KLeftSoftkey); }

  // Adds a start/finish line at the cursor sample on the main straight, from the trap list.
  void AddStartFinishOnTheStraight();

  pwtest::ModelGui iEnv;
  std::string iId;
  std::vector<std::string> iTexts;
};

// A sample of the main straight the log's notes name, from aFirst on: near 30.26381 N
// 120.31566 E, driving north-east.
int32_t StraightSample(const CPositionPlotList& aList, int32_t aFirst) {
  const TPosition target(TGeoPoint(TCoordinate::FromDegrees(30.26381), TCoordinate::FromDegrees(120.31566)));
  int32_t best = -1;
  double bestDistance = 1e9;
  for (int32_t i = std::max(1, aFirst); i < aList.Count(); ++i) {
    const double bearing = aList.At(i).BearingDegrees();
    if (!IsValidReal(bearing) || std::fabs(bearing - 34.0) > 15.0) continue;
    const double metres = target.Distance(aList.At(i).Position()).Metres();
    if (metres < bestDistance) {
      bestDistance = metres;
      best = i;
    }
    // The first pass that comes that close.
    if (bestDistance < 3.0 && metres > 20.0) break;
  }
  return bestDistance < 10.0 ? best : -1;
}

void TrapViews::AddStartFinishOnTheStraight() {
  TapButton("Show on map");
  ASSERT_EQ(View(), CGui::ETrapView);
  EXPECT_EQ(Title(), "Traps");
  // Without traps only "Add new" is offered.
  CTrapView& view = *dynamic_cast<CTrapView*>(Gui().CurrentView());
  EXPECT_EQ(view.CommandState(pwcmd::KAddNewTrap), ECommandOffered);
  for (int32_t command : {pwcmd::KOpen, pwcmd::KMoveTrap, pwcmd::KRotateTrap, pwcmd::KDelete, pwcmd::KLockTraps,
                          pwcmd::KUnlockTraps})
    EXPECT_EQ(view.CommandState(command), ECommandNotOffered) << command;
  Press(KLeftSoftkey);
  auto* menu = dynamic_cast<CMenuControl*>(Gui().DialogManager().ChildAt(Gui().DialogManager().ChildCount() - 1));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->Count(), 1);
  Press(KEnter);
  ASSERT_EQ(Map().Mode(), CTrapMapControl::EAdding);
  EXPECT_EQ(Title(), "Adding a trap");
  // Zoomed in on the circuit ("1" zooms while adding): 1000 m halved three times.
  for (int i = 0; i < 3; ++i) Press('1');
  EXPECT_DOUBLE_EQ(Model().Settings().MapScale(), 0.125);

  // The large step ("3") while it does not pass the straight, then the small one (right).
  const CPositionPlotList& list = Session().PlotList().PositionList();
  const int32_t target = StraightSample(list, 1000);
  ASSERT_GT(target, 1000);
  EXPECT_EQ(list.Cursor(), 0);
  while (list.Cursor() + CTrapMapControl::KLargeStep <= target) Press('3');
  while (list.Cursor() + CTrapMapControl::KSmallStep <= target) Press(KRight);
  EXPECT_LE(target - list.Cursor(), 1);
  const TPositionPlot& sample = list.At(list.Cursor());
  EXPECT_EQ(Map().Working().Centre().iLatitude.iValue, sample.iLatitude);
  EXPECT_EQ(Map().Working().Centre().iLongitude.iValue, sample.iLongitude);
  EXPECT_NEAR(Map().Working().Bearing().Degrees(), sample.BearingDegrees(), 1e-9);
  Picture("trap_adding.png");

  // OK asks for the type: with no traps all five are offered.
  int32_t offered = 0;
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl& aDialog) {
    auto* choice = dynamic_cast<CSelectionDialogControl*>(&aDialog);
    ASSERT_NE(choice, nullptr);
    offered = choice->List().Count();
    EXPECT_EQ(Utf8(choice->List().ItemAt(0).iTitle), "Start/Finish line");
    choice->List().SetSelected(0);
    Press(KEnter);
  }));
  EXPECT_EQ(offered, 5);
  EXPECT_EQ(Map().Mode(), CTrapMapControl::EBrowsing);
  EXPECT_EQ(Title(), "Traps");
}

TEST_F(TrapViews, AStartFinishLineOnTheStraightTimesTheLapsTheCommandLineTimes) {
  ASSERT_NO_FATAL_FAILURE(AddStartFinishOnTheStraight());
  ASSERT_EQ(Track().TrapCount(), 1);
  const CTrapLine& line = *Track().CurrentTrap();
  EXPECT_EQ(line.Type(), ETrapStartFinish);
  EXPECT_EQ(Utf8(line.Name()), "Start/Finish");
  EXPECT_EQ(line.Unidirectional(), 1);
  EXPECT_NEAR(line.Width().Metres(), 50.0, 1e-9);
  const std::vector<std::string> laps = LapTimes(Session().Laps());
  ASSERT_GE(laps.size(), 4u) << "six minutes of a 150 m circuit";

  // The saved track times the stored session alike, and so does a track made with the
  // command line carrying the same line.
  EXPECT_TRUE(fs::exists(TrackFile()));
  EXPECT_EQ(CliLapTimes(iId), laps);
  char args[256];
  std::snprintf(args, sizeof args, "--lat %.10f --lon %.10f --bearing %.10f", line.Centre().iLatitude.ToDegrees(),
                line.Centre().iLongitude.ToDegrees(), line.Bearing().CompassDegrees());
  RunCli("track create Reference");
  RunCli(std::string("track add-trap Reference --type start-finish ") + args);
  const std::string other = RunCli("import --format vbox --track Reference --title Reference " + Quoted(KartLog()));
  EXPECT_EQ(CliLapTimes(other.substr(0, other.find('\n'))), laps);
  Picture("trap_view.png");

  // Moved 500 units north with "1": accepted, saved and timed again.
  const int32_t latitude = line.Centre().iLatitude.iValue;
  Press(KLeftSoftkey);
  Press(0xF804);  // "Properties", then "Move"
  Press(0xF804);
  Press(KEnter);
  ASSERT_EQ(Map().Mode(), CTrapMapControl::EMoving);
  EXPECT_EQ(Title(), "Moving a trap");
  EXPECT_FALSE(Map().Button(CTrapMapControl::EPrevious).IsVisible());
  EXPECT_FALSE(Map().Button(CTrapMapControl::EStepForward).IsVisible());
  Press('1');
  EXPECT_EQ(Map().Working().Centre().iLatitude.iValue, latitude + 500);
  EXPECT_EQ(Track().CurrentTrap()->Centre().iLatitude.iValue, latitude) << "only the copy moves before OK";
  Press(KEnter);
  EXPECT_EQ(Map().Mode(), CTrapMapControl::EBrowsing);
  EXPECT_EQ(Track().CurrentTrap()->Centre().iLatitude.iValue, latitude + 500);
  EXPECT_FALSE(Track().IsModified()) << "saved at once";
  EXPECT_EQ(CliLapTimes(iId), LapTimes(Session().Laps()));

  // Ten small steps of the bearing land where one large step does.
  const double bearing = Track().CurrentTrap()->Bearing().Degrees();
  Gui().DispatchCommand(pwcmd::KRotateTrap);
  EXPECT_EQ(Title(), "Rotating a trap");
  for (int i = 0; i < 10; ++i) Press(KRight);
  const double small = Map().Working().Bearing().Degrees();
  Picture("trap_rotating.png");
  Press(KRightSoftkey);  // "Cancel"
  EXPECT_NEAR(Track().CurrentTrap()->Bearing().Degrees(), bearing, 1e-12);
  Gui().DispatchCommand(pwcmd::KRotateTrap);
  Press('3');
  EXPECT_NEAR(Map().Working().Bearing().Degrees(), small, 1e-9);
  EXPECT_NEAR(std::fmod(small - bearing + 360.0, 360.0), 10.0, 1e-9);
  Press(KEnter);
  EXPECT_NEAR(Track().CurrentTrap()->Bearing().Degrees(), small, 1e-9);
  EXPECT_EQ(CliLapTimes(iId), LapTimes(Session().Laps()));
}

TEST_F(TrapViews, LockingDeletingAndTheTrapListKeepTheTrackFileCurrent) {
  ASSERT_NO_FATAL_FAILURE(AddStartFinishOnTheStraight());
  CTrapView& view = *dynamic_cast<CTrapView*>(Gui().CurrentView());
  // Locked, only "Properties" and "Unlock traps" remain.
  Gui().DispatchCommand(pwcmd::KLockTraps);
  EXPECT_TRUE(Track().IsLocked());
  CTrackProfile stored;
  stored.SetName(u"Kart");
  stored.SetFolder(Track().Folder());
  ASSERT_EQ(stored.Load(false), 1);
  EXPECT_TRUE(stored.IsLocked());
  for (int32_t command : {pwcmd::KAddNewTrap, pwcmd::KMoveTrap, pwcmd::KRotateTrap, pwcmd::KDelete, pwcmd::KLockTraps})
    EXPECT_EQ(view.CommandState(command), ECommandNotOffered) << command;
  EXPECT_EQ(view.CommandState(pwcmd::KOpen), ECommandOffered);
  EXPECT_EQ(view.CommandState(pwcmd::KUnlockTraps), ECommandOffered);
  Press(0x7F);  // Delete is not offered
  EXPECT_EQ(Track().TrapCount(), 1);

  // The editor of a locked track shows the trap without "Open" and stores nothing.
  Press(KEnter);
  ASSERT_EQ(View(), CGui::ETrapEditorView);
  EXPECT_EQ(Title(), "Trap properties");
  auto* editor = dynamic_cast<CTrapEditorView*>(Gui().CurrentView());
  EXPECT_FALSE(editor->Editable());
  EXPECT_EQ(Gui().ToolbarControl().Softkey(1).iCommand, pwcmd::KNone);
  CSettingsItem* type = editor->Item(CTrapEditorView::EItemType);
  EXPECT_EQ(type->iValue, ETrapStartFinish);
  const std::string before = pwtest::ReadFileBytes(TrackFile());
  Press(KRightSoftkey);
  EXPECT_EQ(View(), CGui::ETrapView);
  EXPECT_EQ(pwtest::ReadFileBytes(TrackFile()), before);

  // Unlocked again; "Delete" asks with the trap's name, "Yes" leaves no traps and no laps.
  Gui().DispatchCommand(pwcmd::KUnlockTraps);
  EXPECT_FALSE(Track().IsLocked());
  std::string question;
  ASSERT_TRUE(Script({[&] { Press(0x7F); }}, [&](CDialogControl& aDialog) {
    question = Utf8(dynamic_cast<CNoteDialogControl&>(aDialog).Text());
    Press(KLeftSoftkey);
  }));
  EXPECT_EQ(question, "Delete trap 'Start/Finish'?");
  EXPECT_EQ(Track().TrapCount(), 0);
  EXPECT_EQ(Session().Laps().LapCount(), 0);
  for (int32_t command : {pwcmd::KMoveTrap, pwcmd::KRotateTrap, pwcmd::KDelete, pwcmd::KLockTraps})
    EXPECT_EQ(view.CommandState(command), ECommandNotOffered) << command;
  ASSERT_EQ(stored.Load(true), 1);
  EXPECT_EQ(stored.TrapCount(), 0);

  // A split on the route, then the trap list names both traps by type; Delete there too.
  Gui().DispatchCommand(pwcmd::KAddNewTrap);
  for (int i = 0; i < 20; ++i) Press('3');
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl& aDialog) {
    auto& choice = dynamic_cast<CSelectionDialogControl&>(aDialog);
    EXPECT_EQ(choice.List().Count(), 5);
    choice.List().SetSelected(4);  // "Split line"
    Press(KEnter);
  }));
  Gui().DispatchCommand(pwcmd::KAddNewTrap);
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl& aDialog) {
    auto& choice = dynamic_cast<CSelectionDialogControl&>(aDialog);
    choice.List().SetSelected(0);  // "Start/Finish line" is still offered
    Press(KEnter);
  }));
  Gui().DispatchCommand(pwcmd::KAddNewTrap);
  int32_t offered = 0;
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl& aDialog) {
    auto& choice = dynamic_cast<CSelectionDialogControl&>(aDialog);
    offered = choice.List().Count();
    Press(KRightSoftkey);  // cancelled: nothing is added
  }));
  EXPECT_EQ(offered, 1) << "with a start and a finish only a split is offered";
  EXPECT_EQ(Track().TrapCount(), 2);
  Press(KRightSoftkey);
  ASSERT_EQ(View(), CGui::ETrapListView);
  auto* list = dynamic_cast<CTrapListView*>(Gui().CurrentView());
  ASSERT_EQ(list->List()->Count(), 2);
  EXPECT_EQ(Utf8(list->List()->ItemAt(0).iTitle), "Split");
  EXPECT_EQ(Utf8(list->List()->ItemAt(0).iStatus), "Split line");
  EXPECT_EQ(Utf8(list->List()->ItemAt(1).iStatus), "Start/Finish line");
  EXPECT_EQ(list->List()->Selected(), 1) << "the current trap is focused";
  Picture("trap_list.png");
  list->List()->SetSelected(0);
  ASSERT_TRUE(Script({[&] { Press(0x7F); }}, [&](CDialogControl& aDialog) { Confirm(aDialog); }));
  ASSERT_EQ(list->List()->Count(), 1);
  EXPECT_EQ(Utf8(list->List()->ItemAt(0).iTitle), "Start/Finish");
  ASSERT_EQ(stored.Load(true), 1);
  EXPECT_EQ(stored.TrapCount(), 1);
  EXPECT_EQ(CliLapTimes(iId), LapTimes(Session().Laps()));
  ASSERT_TRUE(Script({[&] { Press(0x7F); }}, [&](CDialogControl& aDialog) { Confirm(aDialog); }));
  EXPECT_EQ(Utf8(list->List()->ItemAt(0).iTitle), "No traps defined.");
  EXPECT_EQ(list->CommandState(pwcmd::KDelete), ECommandDisabled);
}

// --- Bad input ---------------------------------------------------------------------------------

TEST(TrapEditorNumbers, DegreesAndMinutesGoBothWaysAndRefuseWhatIsNoPosition) {
  CPwString text;
  CTrapEditorView::FormatDegreesMinutes(TCoordinate(30 * 6000000 + 1582860), text);
  EXPECT_EQ(Utf8(text), "3015.82860");
  CTrapEditorView::FormatDegreesMinutes(TCoordinate(-(120 * 6000000 + 3)), text);
  EXPECT_EQ(Utf8(text), "-12000.00003");
  TCoordinate value;
  ASSERT_TRUE(CTrapEditorView::ParseDegreesMinutes(u"3015.8286", 90, value));
  EXPECT_EQ(value.iValue, 30 * 6000000 + 1582860);
  ASSERT_TRUE(CTrapEditorView::ParseDegreesMinutes(u" -12018,939604 ", 180, value));
  EXPECT_EQ(value.iValue, -(120 * 6000000 + 1893960));
  ASSERT_TRUE(CTrapEditorView::ParseDegreesMinutes(u"9000", 90, value));
  EXPECT_EQ(value.iValue, 90 * 6000000);
  ASSERT_TRUE(CTrapEditorView::ParseDegreesMinutes(u"-18000.00000", 180, value));
  for (std::u16string_view bad : {u"9000.00001", u"-9000.1", u"3060.0", u"3059.999995", u"", u"-", u"12a", u"1e3",
                                  u"1.2.3", u"99999999999"}) {
    TCoordinate untouched(7);
    EXPECT_FALSE(CTrapEditorView::ParseDegreesMinutes(CPwStringC(bad), 90, untouched)) << Utf8(CPwStringC(bad));
    EXPECT_EQ(untouched.iValue, 7);
  }
  EXPECT_FALSE(CTrapEditorView::ParseDegreesMinutes(u"18000.00001", 180, value));
}

TEST_F(TrapViews, RefusedEntriesAndAnUnwritableTrackLeaveTheStoredTrackAsItWas) {
  ASSERT_NO_FATAL_FAILURE(AddStartFinishOnTheStraight());
  const std::string saved = pwtest::ReadFileBytes(TrackFile());
  const int32_t latitude = Track().CurrentTrap()->Centre().iLatitude.iValue;
  Press(KEnter);  // "Properties"
  ASSERT_EQ(View(), CGui::ETrapEditorView);
  auto* editor = dynamic_cast<CTrapEditorView*>(Gui().CurrentView());
  EXPECT_EQ(Gui().ToolbarControl().Softkey(1).iCommand, pwcmd::KOpen);
  Picture("trap_editor.png");
  // Each entry typed into the focused item; notes are confirmed and collected.
  auto enter = [&](int32_t aItem, const char* aText) {
    iTexts.clear();
    editor->Form()->SetSelected(aItem);
    std::string help;
    EXPECT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl& aDialog) {
      if (auto* entry = dynamic_cast<CTextEntryDialogControl*>(&aDialog)) {
        help = Utf8(entry->Help());
        iEnv.iWindow.Type(aText);
        Press(KLeftSoftkey);
      } else {
        Press(KLeftSoftkey);
      }
    }));
    return help;
  };
  EXPECT_EQ(enter(CTrapEditorView::EItemLatitude, "9000.00001"),
            "Latitude of center of the trap in degrees and minutes (DDMM.mmmmm).");
  ASSERT_EQ(iTexts.size(), 1u);
  EXPECT_EQ(iTexts[0], "Please enter the latitude as DDMM.mmmmm between -9000 and 9000, with fewer than 60 minutes.");
  EXPECT_EQ(enter(CTrapEditorView::EItemLongitude, "-18000.5"),
            "Longitude of center of the trap in degrees and minutes (DDMM.mmmmm).");
  ASSERT_EQ(iTexts.size(), 1u);
  EXPECT_EQ(iTexts[0].rfind("Please enter the longitude", 0), 0u);
  EXPECT_EQ(enter(CTrapEditorView::EItemBearing, "360"), "Bearing (direction) of the trap in degrees.");
  ASSERT_EQ(iTexts.size(), 1u);
  EXPECT_EQ(iTexts[0], "Please enter a bearing of at least 0 and less than 360 degrees.");
  EXPECT_EQ(enter(CTrapEditorView::EItemWidth, "0"), "Trap line width in meters.");
  ASSERT_EQ(iTexts.size(), 1u);
  EXPECT_EQ(iTexts[0], "Please enter a line width of 1 to 10000 meters.");
  EXPECT_EQ(editor->Copy().Centre().iLatitude.iValue, latitude);
  EXPECT_NEAR(editor->Copy().Width().Metres(), 50.0, 1e-9);
  Press(KRightSoftkey);  // "Back" stores an unchanged copy: nothing is written
  ASSERT_EQ(View(), CGui::ETrapView);
  EXPECT_EQ(pwtest::ReadFileBytes(TrackFile()), saved);

  // An accepted entry is stored on "Back", with the end points of the new centre.
  Press(KEnter);
  editor = dynamic_cast<CTrapEditorView*>(Gui().CurrentView());
  enter(CTrapEditorView::EItemLatitude, "3015.82860");
  EXPECT_TRUE(iTexts.empty());
  EXPECT_EQ(Utf8(editor->Item(CTrapEditorView::EItemLatitude)->iText), "3015.82860");
  enter(CTrapEditorView::EItemWidth, "12");
  Press(KRightSoftkey);
  EXPECT_EQ(Track().CurrentTrap()->Centre().iLatitude.iValue, 30 * 6000000 + 1582860);
  EXPECT_NEAR(Track().CurrentTrap()->Width().Metres(), 12.0, 1e-9);
  EXPECT_NE(pwtest::ReadFileBytes(TrackFile()), saved);
  EXPECT_EQ(CliLapTimes(iId), LapTimes(Session().Laps()));

  // The tracks folder made read-only: a move is undone with a note naming the cause.
  const std::string stored = pwtest::ReadFileBytes(TrackFile());
  const std::vector<std::string> laps = LapTimes(Session().Laps());
  const int32_t now = Track().CurrentTrap()->Centre().iLatitude.iValue;
  pwtest::ReadOnlyMount readOnly(iEnv.iDocs + "/Pacewright/Tracks");
  if (!readOnly.Mounted()) GTEST_SKIP() << "cannot mount read-only here";
  Gui().DispatchCommand(pwcmd::KMoveTrap);
  Press('4');
  iTexts.clear();
  ASSERT_TRUE(Script({[&] { Press(KEnter); }}, [&](CDialogControl&) { Press(KEnter); }));
  ASSERT_EQ(iTexts.size(), 1u);
  EXPECT_EQ(iTexts[0], "The track 'Kart' cannot be saved: its storage medium is read-only. The traps are left as they were.");
  EXPECT_EQ(Track().CurrentTrap()->Centre().iLatitude.iValue, now);
  EXPECT_EQ(LapTimes(Session().Laps()), laps);
  EXPECT_EQ(pwtest::ReadFileBytes(TrackFile()), stored);
}

}  // namespace
