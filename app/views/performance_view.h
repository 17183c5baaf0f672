// The results of a performance-testing session as a table, against the comparison run: every
// run with its result in the session's test ("Runs"), or every test with the results of one run
// ("Tests for run %N"). From here the comparison is chosen and a run's graph opened.
#pragma once

#include <cstdint>
#include <memory>

#include "app/draw/pw_bitmap.h"
#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"
#include "foundation/pw_string.h"

class CModel;
class CPerformance;
class CPerformanceRun;
class CSelectComparison;
class CTrackSession;

namespace pwcmd {
constexpr int32_t KViewResult = 4105;
constexpr int32_t KComparisonMenu = 4143;
constexpr int32_t KCompareSelected = 4144;
constexpr int32_t KCompareBest = 4145;
constexpr int32_t KCompareOptimal = 4146;
constexpr int32_t KCompareOther = 4147;
}  // namespace pwcmd

class CPerformanceListControl : public CCustomControl {
 public:
  enum TMode : int32_t { ERuns = 0, ETests = 1 };
  static constexpr int32_t KDataColumns = 4;
  // Colours of the lap table (0xRRGGBB).
  static constexpr TPwColour KHeaderColour = 0x5A5A5A;
  static constexpr TPwColour KNeutralColour = 0x808080;
  static constexpr TPwColour KBetterColour = 0x00B000;
  static constexpr TPwColour KWorseColour = 0xC00000;
  static constexpr TPwColour KComparisonColour = 0x0000C0;
  static constexpr TPwColour KTextColour = 0xFFFFFF;

  CPerformanceListControl(CCustomControl* aParent, CModel& aModel);
  ~CPerformanceListControl() override;

  int32_t Mode() const { return iMode; }
  void SetMode(int32_t aMode);

  // --- Rows: runs (mode 0) or tests (mode 1).
  int32_t RowCount() const;
  // The run list's selected run, or the test list's selected test.
  int32_t Selected() const;
  // Selects a row, wrapping past either end; the table repaints.
  void Select(int32_t aRow);
  // Whether any run has a finished result: otherwise the table shows only its note.
  bool HasCompletedRuns() const;
  static bool AnyRunCompleted(const CTrackSession* aSession);
  // The run and test of a row.
  const CPerformanceRun* RowRun(int32_t aRow) const;
  int32_t RowTest(int32_t aRow) const;

  // --- Cells. aColumn -1 is the row header, 0 to 3 the data columns; aRow -1 the header row.
  void CellText(int32_t aRow, int32_t aColumn, CPwString& aText) const;
  // The cell's colour before darkening.
  TPwColour CellColour(int32_t aRow, int32_t aColumn) const;

  // --- Geometry of the last layout.
  int32_t RowHeight() const { return iRowHeight; }
  int32_t HeaderHeight() const { return iHeaderHeight; }
  int32_t FirstColumnWidth() const { return iFirstWidth; }
  int32_t DataColumnWidth() const { return iDataWidth; }
  int32_t FittingColumns() const { return iFitting; }
  int32_t VisibleRows() const;
  int32_t TopRow() const { return iTop; }
  // The first data column shown, kept between 0 and 4 minus the columns that fit; moving it
  // past either end wraps.
  int32_t FirstVisibleColumn() const { return iFirstColumn[iMode]; }
  void ScrollColumns(int32_t aDelta);
  // The row under a point: -1 for the header row, -2 for none.
  int32_t RowAt(int32_t aX, int32_t aY) const;

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  void Layout();
  void KeepSelectionVisible();
  // The finished result of the row's run in the row's test, and the comparison's.
  const CPerformance* RowResult(int32_t aRow) const;
  const CPerformance* ComparisonResult(int32_t aRow) const;
  bool IsComparisonRow(int32_t aRow) const;
  // -1 better, 1 worse, 0 neither (none, or equal), for the time or the speed columns.
  int32_t Verdict(int32_t aRow, bool aSpeed) const;
  void DrawCell(CPwBitmap& aBitmap, const TPwRect& aCell, TPwColour aColour, bool aDarken, int32_t aRow,
                CPwStringC aText, TPwAlign aAlign);

  CModel* iModel;
  int32_t iMode = ERuns;
  int32_t iFirstColumn[2] = {0, 0};
  int32_t iTop = 0;
  int32_t iRowHeight = 1;
  int32_t iHeaderHeight = 1;
  int32_t iFirstWidth = 0;
  int32_t iDataWidth = 0;
  int32_t iFitting = 0;
  uint16_t iHeaders[KDataColumns] = {};
  CPwString iNoRuns;
};

class CPerformanceView : public CCustomView {
 public:
  static constexpr int32_t KViewNumber = 3;

  explicit CPerformanceView(CModel& aModel);
  ~CPerformanceView() override;

  CPerformanceListControl* Table() const { return iTable; }
  int32_t Mode() const { return iMode; }
  CSelectComparison* Comparison() const { return iComparison.get(); }

  int32_t ViewNumber() override { return KViewNumber; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iTable; }
  // "View graph" is disabled while the selected run has no result in the selected test.
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  // The title follows the selected run.
  void ChildChanged(CCustomControl* aControl) override;

 private:
  void SetMode(int32_t aMode);
  void ShowTitle();
  void OpenOptionsMenu();
  void OpenComparisonMenu();
  void StepRun(int32_t aDelta);
  void Compared();

  CModel* iModel;
  CPerformanceListControl* iTable = nullptr;  // owned while active
  std::unique_ptr<CSelectComparison> iComparison;
  int32_t iMode = CPerformanceListControl::ERuns;
};
