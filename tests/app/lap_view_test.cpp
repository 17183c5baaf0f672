// The lap list view on the real model and GUI: the shipped demo drive recorded as a lap-timing
// session on "Example track" (five timed laps and the in lap), opened from the session screen's
// "Lap times". Each table is checked once against its picture; then the comparison row and
// difference mode, "*" where a lap lacks a split, marking laps invalid and hiding them, the
// geometry and the keys, and lap and session notes that survive closing and reopening the
// session.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/dialogs/dialog_controls.h"
#include "app/draw/pw_font.h"
#include "app/views/lap_list_controls.h"
#include "app/views/lap_notes.h"
#include "app/views/lap_view.h"
#include "app/views/session_view.h"
#include "gui_harness.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

namespace {

constexpr int32_t KEnter = 0xF800, KLeft = 0xF801, KRight = 0xF802, KUp = 0xF803, KDown = 0xF804;
constexpr int32_t KLeftSoftkey = 0xF805, KRightSoftkey = 0xF806;

const std::string KExamples = std::string(PW_SOURCE_DATA_DIR) + "/examples/";
const std::string KTrackFile = "Pacewright/Tracks/Example track-track.bin";

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

// The lap that misses its second split.
constexpr int32_t KGapLap = 1;

class LapViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string drive = pwtest::ReadFileBytes(KExamples + "demo-drive.nmea");
    const std::string track = pwtest::ReadFileBytes(KExamples + KTrackFile);
    if (drive.empty() || track.empty()) GTEST_SKIP() << "the examples are not built";
    // The information table shows local times: the same everywhere.
    setenv("TZ", "UTC", 1);
    tzset();
    std::filesystem::create_directories(iEnv.iDir / "install/examples/Pacewright/Tracks");
    ASSERT_TRUE(pwtest::WriteFileBytes(iEnv.iDir / ("install/examples/" + KTrackFile), track));
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    CSettings& settings = Model().Settings();
    // A Bluetooth GPS without an address is never started: the test hands over the bytes.
    settings.Gps().iType = MDeviceSettings::EGpsBluetooth;
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    CSessionInfo description;
    description.SetTitle(u"Laps");
    description.SetTrackName(u"Example track");
    ASSERT_EQ(Model().NewSession(description), 1);
    Model().ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    // The receiver loses its fix after the first split of one lap and comes back before the
    // finish: that lap's second split does not count.
    for (size_t at = drive.find("$GPRMC"); at != std::string::npos;) {
      const size_t next = drive.find("$GPRMC", at + 1);
      const std::string epoch = drive.substr(at, next == std::string::npos ? std::string::npos : next - at);
      if (Laps().LapCount() == KGapLap + 1 && Laps().Lap(KGapLap)->SplitCount() == 1) Session().BeginTraceSegment();
      Model().DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(epoch.data()),
                                                               static_cast<int32_t>(epoch.size())));
      at = next;
    }
    Model().PauseSession();
    ASSERT_GE(Laps().LapCount(), 6);
  }

  CModel& Model() { return *iEnv.iModel; }
  CGui& Gui() { return *iEnv.iGui; }
  CTrackSession& Session() { return *Model().TrackSession(); }
  CLapList& Laps() { return Session().Laps(); }
  int32_t View() { return Gui().CurrentView() ? Gui().CurrentView()->ViewNumber() : 0; }
  CLapControl& Control() { return *static_cast<CLapView*>(Gui().ViewByNumber(CLapView::KViewNumber))->LapControl(); }
  CLapListControl& Table() { return Control().Table(); }
  void Press(int32_t aKey) { iEnv.iWindow.Press(aKey); }
  std::string Cell(int32_t aRow, int32_t aColumn) {
    CPwString text;
    Table().CellText(aRow, aColumn, text);
    return Utf8(text);
  }
  std::string Header(int32_t aColumn) {
    CPwString text;
    Table().HeaderText(aColumn, text);
    return Utf8(text);
  }
  int32_t RowOf(int32_t aLap) {
    for (int32_t r = 0; r < Table().RowCount(); ++r)
      if (Table().RowLap(r) == aLap) return r;
    return -1;
  }
  void SelectLap(int32_t aLap) {
    const int32_t row = RowOf(aLap);
    ASSERT_GE(row, 0);
    while (Table().SelectedRow() < row) Press(KDown);
    while (Table().SelectedRow() > row) Press(KUp);
  }

  // From the session screen's "Lap times" to the lap list.
  void OpenFromSessionScreen() {
    Gui().OpenView(CGui::ESessionView);
    iEnv.iWindow.Finish();
    auto* screen = dynamic_cast<CSessionView*>(Gui().CurrentView());
    ASSERT_NE(screen, nullptr);
    while (screen->List()->ItemAt(screen->List()->Selected()).iCommand != pwcmd::KLapTimes) Press(KDown);
    Press(KEnter);
    ASSERT_EQ(View(), CLapView::KViewNumber);
  }

  // Runs aAction (which may open modal dialogs) with every dialog going to aAnswer; notes'
  // texts are collected.
  bool Run(const std::function<void()>& aAction, const std::function<void(CDialogControl&)>& aAnswer) {
    bool started = false, busy = false;
    return iEnv.RunUntil([&] { return started && !busy && !Modal(); },
                         [&] {
                           if (CDialogControl* dialog = Modal()) {
                             if (auto* note = dynamic_cast<CNoteDialogControl*>(dialog)) iNotes.push_back(Utf8(note->Text()));
                             aAnswer(*dialog);
                             return;
                           }
                           if (started) return;
                           started = busy = true;
                           aAction();
                           busy = false;
                         });
  }
  CDialogControl* Modal() {
    CDialogControl* dialog = Gui().Dialogs().CurrentModal();
    return dialog && !dialog->IsClosed() ? dialog : nullptr;
  }

  pwtest::ModelGui iEnv;
  std::vector<std::string> iNotes;
};

TEST_F(LapViewTest, EveryTableShowsItsColumnsRowsAndTitleAsPictured) {
  OpenFromSessionScreen();
  const int32_t laps = Laps().LapCount();
  ASSERT_NE(Laps().OptimalLap(), nullptr);
  EXPECT_EQ(Control().DisplayMode(), 0);
  EXPECT_FALSE(Control().DetailsOpen());
  // Every lap, the unfinished in lap too, then the optimal lap.
  ASSERT_EQ(Table().RowCount(), laps + 1);
  EXPECT_EQ(Cell(0, -1), "1");
  EXPECT_EQ(Cell(laps - 1, -1), std::to_string(laps));
  EXPECT_EQ(Cell(laps, -1), "Opt.");

  const char* titles[5] = {"Sectors", "Splits", "Trap speeds", "High/Low speeds", "Information"};
  const std::vector<std::vector<std::string>> headers = {
      {"Lap", "Full", "Diff.", "Sector 1", "Sector 2", "Sector 3"},
      {"Lap", "Full", "Diff.", "Split 1", "Split 2"},
      {"Lap", "Full", "Speed 0", "Speed 1", "Speed 2", "Speed 3"},
      {"Lap", "Full", "VMax", "VMin", "VAvg"},
      {"Lap", "Full", "Time", "Date", "Dist.", "Note"}};
  for (int32_t mode = 0; mode < 5; ++mode) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(Control().DisplayMode(), mode);
    EXPECT_EQ(Utf8(Gui().Navi().Title()), titles[mode]);
    std::vector<std::string> shown;
    for (int32_t c = -1; c < Table().ColumnCount(); ++c) shown.push_back(Header(c));
    EXPECT_EQ(shown, headers[static_cast<size_t>(mode)]);
    iEnv.iWindow.Finish();
    pwtest::ExpectMatchesReference(*Gui().Surface(), "lap_list_" + std::to_string(mode) + ".png");
    Press('#');
  }
  EXPECT_EQ(Control().DisplayMode(), 0) << "'#' cycles back to the sectors";
  EXPECT_EQ(Model().Settings().LapListMode(), 0);

  // The values: the best lap's full time as the command line writes it, the information
  // table's first sample in local time, the optimal row's note.
  const int32_t best = RowOf(Laps().BestLapIndex());
  CPwString time;
  Laps().BestLap()->LapTime().FormatDuration(time, Model().Settings().TimerDecimals(), false, true);
  EXPECT_EQ(Cell(best, 0), Utf8(time));
  Control().SetDisplayMode(4);
  EXPECT_EQ(Cell(laps, 4), "Optimal lap");
  EXPECT_EQ(Cell(laps, 1), "*") << "the optimal lap was driven at no one time";
  EXPECT_NE(Cell(0, 1), "*");
  EXPECT_EQ(Cell(0, 2).size(), 8u) << Cell(0, 2);
}

TEST_F(LapViewTest, TheComparisonRowIsBlueAndKeepsItsValuesInDifferenceMode) {
  OpenFromSessionScreen();
  CLapListControl& table = Table();
  const int32_t bestRow = RowOf(Laps().BestLapIndex());
  ASSERT_GE(bestRow, 0);
  // "Compare to best": the best lap is the comparison, itself compared to the previous best.
  EXPECT_TRUE(table.IsComparisonRow(bestRow));
  EXPECT_EQ(table.RowComparison(bestRow), Laps().PreviousBestLap());
  ASSERT_NE(Laps().PreviousBestLap(), nullptr);
  for (int32_t c = -1; c < table.ColumnCount(); ++c) EXPECT_EQ(table.CellColour(bestRow, c), 0x0000C0u) << c;
  const int32_t other = bestRow == 0 ? 1 : 0;
  EXPECT_FALSE(table.IsComparisonRow(other));
  EXPECT_EQ(table.CellColour(other, -1), CLapListControl::KHeaderColour);
  // Slower than the best lap: worse on the full time.
  EXPECT_EQ(table.CellColour(other, 0), CLapListControl::KWorseColour);
  EXPECT_EQ(Cell(other, 1).front(), '+');

  // What the screen shows: the comparison row's cells darkened, the cursor's not.
  SelectLap(Laps().BestLapIndex() == 0 ? 1 : 0);
  iEnv.iWindow.Finish();
  const TPwRect rect = table.Rect();
  const int32_t y = rect.iTop + table.HeaderHeight() + (bestRow - table.TopRow()) * table.RowHeight() + 2;
  const int32_t factor = bestRow % 2 ? CLapListControl::KOddRowFactor : CLapListControl::KEvenRowFactor;
  EXPECT_EQ(Gui().Surface()->Pixel(rect.iLeft + 1, y) & 0xFFFFFF, CLapListControl::Darkened(0x0000C0, factor));
  const int32_t selectedY = rect.iTop + table.HeaderHeight() + (table.SelectedRow() - table.TopRow()) * table.RowHeight() + 2;
  EXPECT_EQ(Gui().Surface()->Pixel(rect.iLeft + 1, selectedY) & 0xFFFFFF, CLapListControl::KHeaderColour)
      << "the cursor is not darkened";

  // Difference mode: sector columns of other rows become signed differences, the comparison
  // row keeps its times; "Full" stays absolute and "Diff." a difference.
  std::vector<std::string> absolute;
  for (int32_t c = 0; c < table.ColumnCount(); ++c) absolute.push_back(Cell(bestRow, c));
  const std::string otherSector = Cell(other, 2);
  const std::string otherFull = Cell(other, 0);
  Press('*');
  EXPECT_EQ(Model().Settings().DifferenceMode(), 1);
  for (int32_t c = 0; c < table.ColumnCount(); ++c) EXPECT_EQ(Cell(bestRow, c), absolute[static_cast<size_t>(c)]) << c;
  EXPECT_EQ(Cell(other, 0), otherFull);
  EXPECT_NE(Cell(other, 2), otherSector);
  EXPECT_TRUE(Cell(other, 2).front() == '+' || Cell(other, 2).front() == '-') << Cell(other, 2);
  Press('*');
  EXPECT_EQ(Model().Settings().DifferenceMode(), 0);

  // "Compare to selected" moves the blue row to the selected lap.
  SelectLap(other);
  EXPECT_EQ(Gui().DispatchCommand(pwcmd::KLapCompareSelected), 0);
  EXPECT_TRUE(Table().IsComparisonRow(RowOf(other)));
  EXPECT_FALSE(Table().IsComparisonRow(bestRow));
  EXPECT_EQ(Cell(RowOf(other), 1), "+0.0");
  EXPECT_EQ(Gui().DispatchCommand(pwcmd::KLapCompareOptimal), 0);
  EXPECT_TRUE(Table().IsComparisonRow(Table().RowCount() - 1));
  EXPECT_EQ(Gui().DispatchCommand(pwcmd::KLapCompareBest), 0);
  EXPECT_TRUE(Table().IsComparisonRow(bestRow));
}

TEST_F(LapViewTest, ALapThatLacksASplitOfTheReferenceShowsAStar) {
  OpenFromSessionScreen();
  Control().SetDisplayMode(1);
  const CLap* reference = Table().ReferenceLap();
  ASSERT_NE(reference, nullptr);
  EXPECT_EQ(reference, Laps().BestLap());
  ASSERT_EQ(reference->SplitCount(), 2);
  ASSERT_NE(Laps().BestLapIndex(), KGapLap);
  const CLap* lap = Laps().Lap(KGapLap);
  ASSERT_TRUE(lap->IsFinished());
  ASSERT_EQ(lap->SplitCount(), 1);
  const int32_t row = RowOf(KGapLap);
  EXPECT_NE(Cell(row, 0), "*");
  EXPECT_NE(Cell(row, 2), "*");
  EXPECT_EQ(Cell(row, 3), "*");
  EXPECT_EQ(Table().CellColour(row, 3), CLapListControl::KValueColour) << "no difference is neutral";
  Press('*');
  EXPECT_EQ(Cell(row, 3), "*") << "nor can a difference be made";
  // In the sector table both sectors around the missing split are missing.
  Control().SetDisplayMode(0);
  EXPECT_EQ(Cell(row, 3), "*");
  EXPECT_NE(Cell(row, 2), "*");
  // The unfinished in lap has no lap time and no difference.
  const int32_t inLap = RowOf(Laps().LapCount() - 1);
  EXPECT_EQ(Cell(inLap, 0), "*");
  EXPECT_EQ(Cell(inLap, 1), "*");
}

TEST_F(LapViewTest, MarkingLapsInvalidAndHidingThem) {
  OpenFromSessionScreen();
  const int32_t laps = Laps().LapCount();
  const int32_t best = Laps().BestLapIndex();
  SelectLap(best);
  // "0" marks the selected lap invalid: grey with grey text, no longer the best, stored.
  Press('0');
  EXPECT_TRUE(Laps().Lap(best)->IsInvalid());
  EXPECT_NE(Laps().BestLapIndex(), best);
  const int32_t row = RowOf(best);
  EXPECT_EQ(Table().CellColour(row, 2), CLapListControl::KInvalidColour);
  EXPECT_EQ(Table().CellTextColour(row), CLapListControl::KInvalidTextColour);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapMarkValid), ECommandOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapMarkInvalid), ECommandNotOffered);
  CSessionInfo stored;
  stored.SetIdentifier(Session().Info().Identifier());
  stored.SetStorageRoot(Session().Info().StorageRoot());
  ASSERT_EQ(stored.Load(true, PwTimeConverter()), 1);
  EXPECT_EQ(stored.NoteCount(), 1);
  EXPECT_EQ(stored.NoteAt(0).Marker(), 1);

  // "Hide invalid" leaves it out; "Show invalid" brings it back.
  EXPECT_EQ(Gui().DispatchCommand(pwcmd::KLapHideInvalid), 0);
  EXPECT_EQ(Model().Settings().HideInvalid(), 1);
  EXPECT_EQ(Table().RowCount(), laps);
  EXPECT_EQ(RowOf(best), -1);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapHideInvalid), ECommandNotOffered);
  EXPECT_EQ(Gui().DispatchCommand(pwcmd::KLapShowInvalid), 0);
  EXPECT_EQ(Table().RowCount(), laps + 1);
  // Delete marks it valid again.
  SelectLap(best);
  Press(0x7F);
  EXPECT_FALSE(Laps().Lap(best)->IsInvalid());
  EXPECT_EQ(Laps().BestLapIndex(), best);

  // Every lap invalid and hidden: an empty table whose details do not open.
  for (int32_t i = 0; i < laps; ++i) (void)SetLapInvalid(nullptr, Session(), i, true);
  EXPECT_EQ(Gui().DispatchCommand(pwcmd::KLapHideInvalid), 0);
  EXPECT_EQ(Table().RowCount(), 0);
  EXPECT_EQ(Laps().OptimalLap(), nullptr);
  Press(KEnter);
  EXPECT_FALSE(Control().DetailsOpen());
  iEnv.iWindow.Finish();
  Press(KRightSoftkey);
  EXPECT_EQ(View(), CGui::ESessionView);
}

TEST_F(LapViewTest, GeometryKeysDetailsAndCommands) {
  OpenFromSessionScreen();
  CLapListControl& table = Table();
  CPwFont& font = *table.Font();
  // The table fills the view exactly.
  const TPwRect rect = table.Rect();
  EXPECT_EQ(rect, Gui().ViewRect());
  EXPECT_EQ(table.RowHeight(), font.Height() * 3 / 2);
  EXPECT_EQ(table.LapColumnWidth() + table.VisibleColumns() * table.ValueColumnWidth(), rect.Width());
  EXPECT_EQ(table.HeaderHeight() + table.VisibleRows() * table.RowHeight(), rect.Height());
  EXPECT_GE(table.LapColumnWidth(), font.TextWidth(u"0000"));
  EXPECT_GE(table.ValueColumnWidth(), font.TextWidth(u"00/00/00"));
  EXPECT_LT(table.HeaderHeight(), 2 * table.RowHeight());
  // A tap selects a lap and a sector; a second tap on it opens the details.
  const int32_t tapX = rect.iLeft + table.LapColumnWidth() + 2 * table.ValueColumnWidth() + 5;
  const int32_t tapY = rect.iTop + table.HeaderHeight() + 2 * table.RowHeight() + table.RowHeight() / 2;
  iEnv.iWindow.Tap(tapX, tapY);
  EXPECT_EQ(table.SelectedRow(), 2);
  EXPECT_EQ(table.SelectedColumn(), 2);
  EXPECT_EQ(Laps().ViewedIndex(), table.RowLap(2));
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapSectorGraph), ECommandNotOffered) << "details closed";
  iEnv.iWindow.Tap(tapX, tapY);
  EXPECT_TRUE(Control().DetailsOpen());
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapSectorGraph), ECommandOffered);
  Press(KRightSoftkey);
  EXPECT_FALSE(Control().DetailsOpen());
  // More decimals need wider columns.
  Model().Settings().SetTimerDecimals(3);
  Control().Rebuild();
  EXPECT_GE(table.ValueColumnWidth(), font.TextWidth(u"0:00:00.000"));
  Model().Settings().SetTimerDecimals(1);
  Control().Rebuild();

  // The column cursor scrolls the sectors into sight and selects the sector.
  ASSERT_LT(table.VisibleColumns(), table.ColumnCount());
  for (int32_t i = 0; i < table.ColumnCount() + 2; ++i) Press(KRight);
  EXPECT_EQ(table.SelectedColumn(), table.ColumnCount() - 1);
  EXPECT_EQ(table.FirstColumn(), table.ColumnCount() - table.VisibleColumns());
  EXPECT_EQ(Laps().SelectedKey(), table.ColumnKey(table.SelectedColumn()));
  EXPECT_GE(Laps().SelectedKey(), 0);

  // The information table scrolls its first column and wraps at both ends.
  Control().SetDisplayMode(4);
  CLapListControl& info = Table();
  const int32_t last = info.ColumnCount() - info.VisibleColumns();
  ASSERT_GT(last, 0);
  Press(KLeft);
  EXPECT_EQ(info.FirstColumn(), last);
  Press(KRight);
  EXPECT_EQ(info.FirstColumn(), 0);

  // "5" and "6": the font scale within 70-160, the table laid out again.
  const int32_t height = info.RowHeight();
  for (int i = 0; i < 12; ++i) Press('6');
  EXPECT_EQ(Model().Settings().FontScale(), 160);
  EXPECT_GT(info.RowHeight(), height);
  for (int i = 0; i < 12; ++i) Press('5');
  EXPECT_EQ(Model().Settings().FontScale(), 70);
  EXPECT_LT(info.RowHeight(), height);
  EXPECT_EQ(info.HeaderHeight() + info.VisibleRows() * info.RowHeight(), rect.Height());
  for (int i = 0; i < 3; ++i) Press('6');

  // Details: closed, the menu offers what a closed table does.
  Control().SetDisplayMode(0);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapOpenDetails), ECommandOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapOpenGraph), ECommandNotOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapExport), ECommandOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapModeSectors), ECommandChecked);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapDifferenceMode), ECommandOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapAbsoluteMode), ECommandNotOffered);
  // Enter opens them: the map above a two-row table at the bottom.
  Press(KEnter);
  ASSERT_TRUE(Control().DetailsOpen());
  CLapListControl& small = Table();
  EXPECT_EQ(small.Rect().Height(), small.TwoRowHeight());
  EXPECT_EQ(small.Rect().iBottom, rect.iBottom);
  EXPECT_EQ(small.VisibleRows(), 1);
  EXPECT_TRUE(Control().Map().IsVisible());
  EXPECT_EQ(Control().Map().Rect().iBottom, small.Rect().iTop);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapOpenGraph), ECommandOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapSectorGraph), ECommandOffered);
  for (int32_t i = 0; i < small.ColumnCount(); ++i) Press(KLeft);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapSectorGraph), ECommandDisabled) << "no sector column selected";
  Press(KRight);
  Press(KRight);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapMarkInvalid), ECommandNotOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapExport), ECommandNotOffered);
  Press(KUp);
  EXPECT_EQ(small.TopRow(), small.SelectedRow()) << "the selected lap stays in the one row";
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "lap_details_map.png");
  // Hi/lo speeds offer the settings; the information table shows the notes instead.
  Control().SetDisplayMode(3);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapSettings), ECommandOffered);
  Control().SetDisplayMode(4);
  EXPECT_FALSE(Control().Map().IsVisible());
  EXPECT_TRUE(Control().Notes().IsVisible());
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapEditNotes), ECommandOffered);
  EXPECT_EQ(Gui().CommandState(pwcmd::KLapEditSessionNotes), ECommandOffered);
  // "Back" closes the details first, then the view.
  Press(KRightSoftkey);
  EXPECT_FALSE(Control().DetailsOpen());
  EXPECT_EQ(View(), CLapView::KViewNumber);
  Press(KRightSoftkey);
  EXPECT_EQ(View(), CGui::ESessionView);
}

TEST_F(LapViewTest, LapAndSessionNotesAreStoredAndSurviveReopening) {
  OpenFromSessionScreen();
  Control().SetDisplayMode(4);
  SelectLap(1);
  Press(KEnter);
  ASSERT_TRUE(Control().DetailsOpen());
  // Enter edits the lap's note in the multi-line editor.
  ASSERT_TRUE(Run([&] { Press(KEnter); },
                  [&](CDialogControl& aDialog) {
                    auto* editor = dynamic_cast<CTextEntryDialogControl*>(&aDialog);
                    ASSERT_NE(editor, nullptr);
                    EXPECT_TRUE(editor->Editor().IsMultiLine());
                    iEnv.iWindow.Type("Traffic in");
                    Press(KEnter);
                    iEnv.iWindow.Type("the hairpin");
                    Press(KLeftSoftkey);
                  }));
  EXPECT_EQ(Cell(RowOf(1), 4), "Traffic in the hairpin");
  // The session notes ("Session notes").
  ASSERT_TRUE(Run([&] { (void)Gui().DispatchCommand(pwcmd::KLapEditSessionNotes); },
                  [&](CDialogControl& aDialog) {
                    auto* editor = dynamic_cast<CTextEntryDialogControl*>(&aDialog);
                    ASSERT_NE(editor, nullptr);
                    iEnv.iWindow.Type("Dry, 14 C");
                    Press(KLeftSoftkey);
                  }));
  EXPECT_EQ(Utf8(Session().Info().Notes()), "Dry, 14 C");
  iEnv.iWindow.Finish();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "lap_details_notes.png");

  // A note longer than the editor keeps is refused with a note and offered again; cancelling
  // then keeps the stored note.
  const std::string tooLong(KMaxNoteLength + 1, 'x');
  int32_t editors = 0;
  ASSERT_TRUE(Run([&] { Press(KEnter); },
                  [&](CDialogControl& aDialog) {
                    if (dynamic_cast<CTextEntryDialogControl*>(&aDialog)) {
                      if (++editors == 1) {
                        iEnv.iWindow.Type(tooLong.c_str());
                        Press(KLeftSoftkey);
                      } else {
                        EXPECT_EQ(Utf8(dynamic_cast<CTextEntryDialogControl*>(&aDialog)->Editor().Text()), tooLong)
                            << "nothing typed is lost";
                        Press(KRightSoftkey);
                      }
                      return;
                    }
                    Press(KLeftSoftkey);
                  }));
  EXPECT_EQ(editors, 2);
  ASSERT_EQ(iNotes.size(), 1u);
  EXPECT_EQ(iNotes[0], "The note is 2001 characters long; at most 2000 fit. Please shorten it.");
  EXPECT_EQ(Cell(RowOf(1), 4), "Traffic in the hairpin");

  // Closed and opened again from the catalogue: the notes are still there.
  const CPwString id(Session().Info().Identifier());
  Press(KRightSoftkey);
  Press(KRightSoftkey);
  ASSERT_EQ(View(), CGui::ESessionView);
  Model().CloseSession();
  ASSERT_EQ(Model().TrackSession(), nullptr);
  const CSessionInfo* record = nullptr;
  for (int32_t i = 0; i < Model().Sessions().Count(); ++i)
    if (Model().Sessions().At(i)->Identifier() == id) record = Model().Sessions().At(i);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(Utf8(record->Notes()), "Dry, 14 C");
  ASSERT_EQ(Model().OpenSession(*record, nullptr), 1);
  ASSERT_TRUE(iEnv.RunUntil([&] { return Model().TrackSession() && !Session().SamplesLoader(); },
                            [&] { iEnv.iWindow.FireTimer(); }));
  OpenFromSessionScreen();
  Control().SetDisplayMode(4);
  EXPECT_EQ(Cell(RowOf(1), 4), "Traffic in the hairpin");
  const CSessionNote* note = LapNote(Session(), *Laps().Lap(1));
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(Utf8(note->Text()), "Traffic in\nthe hairpin");
  EXPECT_EQ(Utf8(Session().Info().Notes()), "Dry, 14 C");
}

}  // namespace
