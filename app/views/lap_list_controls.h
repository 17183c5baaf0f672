// The lap tables of the lap list view: one row per lap of the open session (and one for the
// optimal lap), one column per value of the display mode, each value set against the row's
// comparison lap. CLapListControl does the rows, the geometry, the cursor, the scrolling and
// the drawing; each display mode's table says which columns it has and what a cell holds.
//
// Geometry: rows are 1.5 font heights high; the lap-number column is as wide as "0000" and a
// value column as wide as a time of the "Timer decimals"; as many whole value columns and rows
// as fit are shown, the value columns widened to share the width and the left-over pixels
// given to the lap-number column and to the header row, so that the table fills its rectangle
// exactly. Cell colours are darkened by 116/255 (odd rows, header) or 128/255 (even rows),
// except the cursor's.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

class CLap;
class CLapList;
class CModel;
class CPwFont;
class CSettings;
class CTrackSession;
struct TSpeed;

// How a value compares with its comparison.
enum TLapCellOutcome : int32_t { ECellNeutral = 0, ECellBetter = 1, ECellWorse = 2 };

class CLapListControl : public CCustomControl {
 public:
  // Cell colours (0xRRGGBB) before darkening.
  static constexpr TPwColour KHeaderColour = 0x5A5A5A;
  static constexpr TPwColour KValueColour = 0x808080;
  static constexpr TPwColour KBetterColour = 0x00B000;
  static constexpr TPwColour KWorseColour = 0xC00000;
  static constexpr TPwColour KComparisonColour = 0x0000C0;
  static constexpr TPwColour KInvalidColour = 0x808080;
  static constexpr TPwColour KInvalidTextColour = 0xA0A0A0;
  static constexpr TPwColour KTextColour = 0xFFFFFF;
  static constexpr int32_t KOddRowFactor = 116;
  static constexpr int32_t KEvenRowFactor = 128;
  static constexpr int32_t KSeparatorFactor = 200;
  // Every channel multiplied by aFactor / 255.
  static TPwColour Darkened(TPwColour aColour, int32_t aFactor);

  // aMode is the display mode this table shows (0-4).
  CLapListControl(CCustomControl* aParent, CModel& aModel, int32_t aMode);
  ~CLapListControl() override;

  int32_t DisplayMode() const { return iMode; }
  // The table's font (not owned); the geometry follows it.
  void SetFont(CPwFont* aFont);
  CPwFont* Font() const { return iFont; }

  // Takes the rows, the reference lap and the columns from the lap list again and puts the
  // selection on the lap list's selected lap (or the first row when that is not listed).
  void Rebuild();

  // --- Rows: lap indices, -2 for the optimal lap.
  int32_t RowCount() const { return iRows.Count(); }
  int32_t RowLap(int32_t aRow) const { return iRows.At(aRow); }
  // -1 without rows.
  int32_t SelectedRow() const { return iRows.Count() > 0 ? iSelectedRow : -1; }
  // Moves the selection (clamped) and sets the lap list's selected lap.
  void SetSelectedRow(int32_t aRow);
  int32_t TopRow() const { return iTopRow; }

  // --- Value columns (after the lap-number column), numbered from 0 ("Full").
  int32_t ColumnCount() const { return iColumnCount; }
  // Whether the table has a column cursor (sectors, splits, trap speeds).
  virtual bool HasColumnCursor() const { return false; }
  int32_t SelectedColumn() const { return iSelectedColumn; }
  // Moves the column cursor (clamped) and selects the sector it stands for.
  void SetSelectedColumn(int32_t aColumn);
  // The first value column on screen.
  int32_t FirstColumn() const { return iFirstColumn; }
  // Moves the first visible value column by aStep, wrapping around at either end.
  void ScrollColumns(int32_t aStep);
  // The trap key a column stands for (the sector ending there, the split, the trap), -1 none.
  virtual int32_t ColumnKey(int32_t) const { return -1; }

  // --- Geometry of the current rectangle and font.
  int32_t RowHeight() const { return iRowHeight; }
  int32_t HeaderHeight() const { return iHeaderHeight; }
  int32_t LapColumnWidth() const { return iLapWidth; }
  int32_t ValueColumnWidth() const { return iValueWidth; }
  int32_t VisibleColumns() const { return iVisibleColumns; }
  int32_t VisibleRows() const { return iVisibleRows; }
  // The height that shows the header and one row.
  int32_t TwoRowHeight() const;

  // --- What a cell shows: aRow a row, aColumn -1 for the lap-number column.
  void HeaderText(int32_t aColumn, CPwString& aText) const;
  void CellText(int32_t aRow, int32_t aColumn, CPwString& aText) const;
  // Background before darkening and the text colour.
  TPwColour CellColour(int32_t aRow, int32_t aColumn) const;
  TPwColour CellTextColour(int32_t aRow) const;
  // The lap whose sectors, splits and traps number the columns (null without laps).
  const CLap* ReferenceLap() const { return iReference; }
  // The session's comparison lap as the rows see it: the best lap, the optimal lap, a chosen
  // lap, or a lap of the compared session (null when there is none).
  const CLap* ComparisonLap() const;
  // The lap a row is set against (the best lap's row against the previous best).
  const CLap* RowComparison(int32_t aRow) const;
  bool IsComparisonRow(int32_t aRow) const;

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 protected:
  // The number of value columns for the current reference lap.
  virtual int32_t CountColumns() const = 0;
  virtual void ColumnHeader(int32_t aColumn, CPwString& aText) const = 0;
  // A value cell of a real lap row: its text and outcome against aComparison (may be null).
  // aDifference: the row shows differences in the columns that can show them.
  virtual void ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool aDifference,
                         int32_t aColumn, CPwString& aText, int32_t& aOutcome) const = 0;
  virtual TPwAlign ColumnAlign(int32_t) const { return EAlignCentre; }

  // Shared cells. A time or its difference ("*" when missing), better when shorter.
  void TimeCell(PwTime aValue, PwTime aComparison, bool aHasComparison, bool aDifference, CPwString& aText,
                int32_t& aOutcome) const;
  // A speed in the unit system or its difference, better when higher.
  void SpeedCell(TSpeed aValue, TSpeed aComparison, bool aHasComparison, bool aDifference, CPwString& aText,
                 int32_t& aOutcome) const;
  // The "Full" cell (always absolute) and the "Diff." cell (always the difference).
  void FullCell(const CLap& aLap, const CLap* aComparison, bool aDiff, CPwString& aText, int32_t& aOutcome) const;

  CLapList* Laps() const;
  const CSettings& Settings() const;
  CTrackSession* Session() const;

  CModel* iModel = nullptr;
  int32_t iMode = 0;
  const CLap* iReference = nullptr;

 private:
  void Cell(int32_t aRow, int32_t aColumn, CPwString& aText, int32_t& aOutcome) const;
  TPwColour ColourOf(int32_t aRow, int32_t aColumn, int32_t aOutcome) const;
  void Layout();
  void KeepCursorVisible();
  // The row and column at a point: -1 for the header row / the lap-number column, -2 outside.
  void CellAt(int32_t aX, int32_t aY, int32_t& aRow, int32_t& aColumn) const;
  void DrawCell(CPwBitmap& aBitmap, const TPwRect& aRect, TPwColour aColour, int32_t aFactor, CPwStringC aText,
                TPwColour aTextColour, TPwAlign aAlign);
  void Activate();

  CPwFont* iFont = nullptr;
  CPwVector<int32_t> iRows{16};
  int32_t iSelectedRow = 0;
  int32_t iTopRow = 0;
  int32_t iColumnCount = 0;
  int32_t iSelectedColumn = 0;
  int32_t iFirstColumn = 0;
  int32_t iRowHeight = 1;
  int32_t iHeaderHeight = 1;
  int32_t iLapWidth = 1;
  int32_t iValueWidth = 1;
  int32_t iVisibleColumns = 1;
  int32_t iVisibleRows = 0;
};

// Sectors: "Full", "Diff.", then "Sector 1" ... one per sector of the reference lap.
class CLapListSectorControl : public CLapListControl {
 public:
  CLapListSectorControl(CCustomControl* aParent, CModel& aModel) : CLapListControl(aParent, aModel, 0) {}
  bool HasColumnCursor() const override { return true; }
  int32_t ColumnKey(int32_t aColumn) const override;

 protected:
  int32_t CountColumns() const override;
  void ColumnHeader(int32_t aColumn, CPwString& aText) const override;
  void ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool aDifference, int32_t aColumn,
                 CPwString& aText, int32_t& aOutcome) const override;
};

// Splits: "Full", "Diff.", then "Split 1" ... one per split line of the reference lap.
class CLapListSplitControl : public CLapListControl {
 public:
  CLapListSplitControl(CCustomControl* aParent, CModel& aModel) : CLapListControl(aParent, aModel, 1) {}
  bool HasColumnCursor() const override { return true; }
  int32_t ColumnKey(int32_t aColumn) const override;

 protected:
  int32_t CountColumns() const override;
  void ColumnHeader(int32_t aColumn, CPwString& aText) const override;
  void ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool aDifference, int32_t aColumn,
                 CPwString& aText, int32_t& aOutcome) const override;
};

// Trap speeds: "Full", then "Speed 0" (the start line) ... "Speed n" (the n-th trap crossed).
class CLapListTrapSpeedControl : public CLapListControl {
 public:
  CLapListTrapSpeedControl(CCustomControl* aParent, CModel& aModel) : CLapListControl(aParent, aModel, 2) {}
  bool HasColumnCursor() const override { return true; }
  int32_t ColumnKey(int32_t aColumn) const override;

 protected:
  int32_t CountColumns() const override;
  void ColumnHeader(int32_t aColumn, CPwString& aText) const override;
  void ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool aDifference, int32_t aColumn,
                 CPwString& aText, int32_t& aOutcome) const override;
};

// High and low speeds: "Full", "VMax", "VMin", "VAvg".
class CLapListHiLoSpeedControl : public CLapListControl {
 public:
  CLapListHiLoSpeedControl(CCustomControl* aParent, CModel& aModel) : CLapListControl(aParent, aModel, 3) {}

 protected:
  int32_t CountColumns() const override { return 4; }
  void ColumnHeader(int32_t aColumn, CPwString& aText) const override;
  void ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool aDifference, int32_t aColumn,
                 CPwString& aText, int32_t& aOutcome) const override;
};

// Information: "Full", "Time", "Date" (local, of the lap's first sample), "Dist.", "Note".
class CLapListNoteControl : public CLapListControl {
 public:
  CLapListNoteControl(CCustomControl* aParent, CModel& aModel) : CLapListControl(aParent, aModel, 4) {}

 protected:
  int32_t CountColumns() const override { return 5; }
  void ColumnHeader(int32_t aColumn, CPwString& aText) const override;
  void ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool aDifference, int32_t aColumn,
                 CPwString& aText, int32_t& aOutcome) const override;
  TPwAlign ColumnAlign(int32_t aColumn) const override { return aColumn == 4 ? EAlignLeft : EAlignCentre; }
};
