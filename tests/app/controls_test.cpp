// The generic controls the views are made of: the two-line item list, the settings list with
// its editors, the table base and the text field's keys.
#include <gtest/gtest.h>

#include "app/controls/grid.h"
#include "app/controls/item_list.h"
#include "app/controls/settings_list.h"
#include "app/controls/text_editor.h"
#include "app/dialogs/dialog_controls.h"
#include "gui_harness.h"

namespace {

using pwtest::BareGui;

class Recorder final : public MItemListObserver, public MSettingsListObserver, public MGridObserver {
 public:
  void ItemActivated(CItemListControl&, int32_t aIndex) override { iActivated.push_back(aIndex); }
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override {
    iChanged.push_back(aItem.iId);
    // The second item is shown only while the first is on.
    aList.SetItemVisible(2, aList.ItemById(1)->iValue != 0);
  }
  void RowActivated(CGridControl&, int32_t aRow) override { iRows.push_back(aRow); }
  std::vector<int32_t> iActivated, iChanged, iRows;
};

// A view holding one control, so that the control is in the GUI's tree.
class HostView final : public CCustomView {
 public:
  int32_t ViewNumber() override { return 14; }
  void Activate() override {}
  void Deactivate() override {}
  CCustomControl* ContentControl() override { return iContent; }
  CCustomControl* iContent = nullptr;
};

struct Hosted : BareGui {
  Hosted() {
    iView = new HostView();
    iGui->RegisterViewL(iView);
    iGui->ActivateFirstView();
  }
  ~Hosted() {
    iView->iContent = nullptr;
    iGui.reset();
  }
  void Host(CCustomControl* aControl) {
    aControl->SetParent(iView);
    iView->iContent = aControl;
    iGui->SetRect(iGui->Rect());
    iWindow.Paint();
  }
  HostView* iView;
};

TEST(ItemListTest, KeysWrapTapsActivateAndTheSelectionStaysInSight) {
  Hosted h;
  Recorder recorder;
  CItemListControl list(nullptr, &recorder);
  h.Host(&list);
  for (int i = 0; i < 30; ++i) list.AddItemL(u"Session", u"12 laps", 5000 + i);
  h.iWindow.Paint();
  EXPECT_EQ(list.Selected(), 0);
  h.iWindow.Press(0xF803);
  EXPECT_EQ(list.Selected(), 29) << "up from the first wraps to the last";
  EXPECT_GE(29, list.TopIndex());
  EXPECT_LT(29, list.TopIndex() + list.VisibleCount());
  h.iWindow.Press(0xF804);
  EXPECT_EQ(list.Selected(), 0);
  EXPECT_EQ(list.TopIndex(), 0);
  const TPwRect second = list.ItemRect(1);
  h.iWindow.Tap(second.iLeft + 20, second.iTop + 5);
  EXPECT_EQ(list.Selected(), 1);
  EXPECT_EQ(recorder.iActivated, (std::vector<int32_t>{1}));
  // A tap below the last item activates nothing.
  list.Reset();
  list.AddItemL(u"Only", u"");
  h.iWindow.Tap(10, list.Rect().iBottom - 2);
  EXPECT_EQ(recorder.iActivated.size(), 1u);
}

TEST(SettingsListTest, EditorsChangeValuesAndVisibilityFollows) {
  Hosted h;
  Recorder recorder;
  CSettingsListControl list(nullptr, &recorder);
  h.Host(&list);
  CPwStringList bauds;
  bauds.AppendCopy(u"Default");
  bauds.AppendCopy(u"4800 baud");
  bauds.AppendCopy(u"115200 baud");
  CPwVector<int32_t> values(4);
  values.Append(0);
  values.Append(48);
  values.Append(1152);
  list.AddOnOffL(1, u"Save NMEA data", 0);
  list.AddSelectionL(2, u"Baudrate", bauds, 48, &values);
  list.AddTextL(3, u"Session title", u"Morning");
  list.SetItemVisible(2, false);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.ItemAt(0).iStatus, CPwStringC(u"Off"));

  // On/off toggles without a dialog; the observer shows the second item then.
  h.iWindow.Press(0xF800);
  EXPECT_EQ(list.ItemById(1)->iValue, 1);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.ItemAt(0).iStatus, CPwStringC(u"On"));
  EXPECT_EQ(list.ItemAt(1).iStatus, CPwStringC(u"4800 baud"));

  // A selection through its dialog: "115200 baud" stores 1152.
  list.SetSelected(1);
  bool started = false, returned = false;
  ASSERT_TRUE(h.RunUntil([&] { return returned; },
                         [&] {
                           if (!started) {
                             started = true;
                             (void)list.EditFocused();
                             returned = true;
                             return;
                           }
                           CDialogControl* dialog = h.iGui->Dialogs().CurrentModal();
                           if (!dialog || dialog->IsClosed()) return;
                           EXPECT_EQ(dynamic_cast<CSelectionDialogControl&>(*dialog).List().Selected(), 1)
                               << "the current value is focused";
                           h.iWindow.Press(0xF804);
                           h.iWindow.Press(0xF800);
                         }));
  EXPECT_EQ(list.ItemById(2)->iValue, 1152);
  EXPECT_EQ(list.ItemAt(1).iStatus, CPwStringC(u"115200 baud"));
  EXPECT_EQ(list.Focused(), list.ItemById(2)) << "the focus stays on the edited item";
  EXPECT_EQ(recorder.iChanged, (std::vector<int32_t>{1, 2}));

  // A stored value that none of the choices has.
  list.ItemById(2)->iValue = 7;
  list.RebuildL();
  EXPECT_EQ(list.ItemAt(1).iStatus, CPwStringC(u"Not selected"));
}

class LapTable final : public CGridControl {
 public:
  LapTable(MGridObserver* aObserver) : CGridControl(nullptr, aObserver) {}
  int32_t RowCount() const override { return iRows; }
  void CellText(int32_t aRow, int32_t aColumn, CPwString& aText) const override {
    aText.Reset();
    aText.AppendNum(aRow);
    aText.Append(u":");
    aText.AppendNum(aColumn);
  }
  int32_t iRows = 40;
};

TEST(GridTest, ColumnsShareTheWidthAndTheSelectionScrolls) {
  Hosted h;
  Recorder recorder;
  LapTable table(&recorder);
  table.AddColumnL(u"Lap", 1, EAlignLeft);
  table.AddColumnL(u"Time", 2, EAlignRight);
  table.AddColumnL(u"Diff", 1, EAlignRight);
  h.Host(&table);
  int32_t left = 0, right = 0;
  table.ColumnEdges(0, left, right);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 90);
  table.ColumnEdges(1, left, right);
  EXPECT_EQ(right - left, 180);
  table.ColumnEdges(2, left, right);
  EXPECT_EQ(right, 360);

  for (int i = 0; i < 39; ++i) h.iWindow.Press(0xF804);
  EXPECT_EQ(table.Selected(), 39);
  EXPECT_EQ(table.TopRow(), 40 - table.VisibleRows());
  h.iWindow.Press(0xF804);
  EXPECT_EQ(table.Selected(), 39) << "the last row stays selected";
  h.iWindow.Press(0xF800);
  EXPECT_EQ(recorder.iRows, (std::vector<int32_t>{39}));
  // Fewer rows: the selection moves inside; a tap on the header selects nothing.
  table.iRows = 3;
  table.RowsChanged();
  EXPECT_EQ(table.Selected(), 2);
  EXPECT_EQ(table.TopRow(), 0);
  h.iWindow.Tap(10, table.Rect().iTop + 2);
  EXPECT_EQ(table.Selected(), 2);
  h.iWindow.Paint();
  table.iRows = 0;
  table.RowsChanged();
  EXPECT_EQ(table.Selected(), -1);
  h.iWindow.Paint();
}

TEST(TextEditorTest, CaretKeysBackspaceAndKeypadDigits) {
  Hosted h;
  CTextEditorControl field(nullptr, false, true);
  h.Host(&field);
  field.SetTextL(u"12.5");
  field.BeginEntry();
  EXPECT_TRUE(field.AllSelected());
  ASSERT_NE(h.iWindow.iEntry, nullptr);
  EXPECT_EQ(h.iWindow.iEntry->iText, CPwStringC(u"12.5"));
  // A keypad digit replaces the selection; letters are refused in a number.
  h.iWindow.Press('7');
  h.iWindow.Press('A');
  EXPECT_EQ(field.Text(), CPwStringC(u"7"));
  h.iWindow.Type("3.25");
  h.iWindow.Press(0xF801);
  h.iWindow.Press(0xF801);
  h.iWindow.Press(0x7F);
  EXPECT_EQ(field.Text(), CPwStringC(u"7325"));
  EXPECT_EQ(field.Caret(), 2);
  for (int i = 0; i < 10; ++i) h.iWindow.Press(0xF801);
  h.iWindow.Press(0x7F);  // nothing before the caret
  EXPECT_EQ(field.Text(), CPwStringC(u"7325"));
  field.EndEntry();
  EXPECT_EQ(h.iWindow.iEntry, nullptr);

  CTextEditorControl note(nullptr, true, false);
  h.Host(&note);
  note.SetTextL(u"line one\nline two");
  note.BeginEntry();
  h.iWindow.Press(0xF802);  // ends the selection at the end of the text
  h.iWindow.Press(0xF803);
  EXPECT_EQ(note.Caret(), 8) << "up keeps the column in the line above";
  h.iWindow.Type("!");
  EXPECT_EQ(note.Text(), CPwStringC(u"line one!\nline two"));
  note.EndEntry();
}

}  // namespace
