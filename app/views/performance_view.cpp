#include "app/views/performance_view.h"

#include <algorithm>

#include "acquisition/channel_state.h"
#include "acquisition/position_plot.h"
#include "app/dialogs/dialogs.h"
#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "app/views/result_views.h"
#include "app/views/select_comparison.h"
#include "app/views/view_access.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_run.h"
#include "timing/performance_test.h"
#include "timing/track_session.h"

namespace {

constexpr int32_t KTableFont = CLayout::EFontScaledText;
constexpr int32_t KCellPadding = 3;

// Every channel of a colour times aNumerator / 255.
TPwColour Scaled(TPwColour aColour, int32_t aNumerator) {
  const uint32_t r = ((aColour >> 16) & 0xFF) * aNumerator / 255;
  const uint32_t g = ((aColour >> 8) & 0xFF) * aNumerator / 255;
  const uint32_t b = (aColour & 0xFF) * aNumerator / 255;
  return (r << 16) | (g << 8) | b;
}

// m/s of a finish speed as the run list stores it; invalid when there is none.
double FinishSpeed(const CPerformance* aResult) {
  if (!aResult || aResult->FinishSpeed() == KInvalidInt) return InvalidReal();
  TPositionPlot plot;
  plot.iSpeed = aResult->FinishSpeed();
  return plot.Speed().MetresPerSecond();
}

// The time template that sets a data column's width, by the timer decimals.
CPwStringC TimeTemplate(int32_t aDecimals) {
  if (aDecimals == 2) return u"00:00.00";
  if (aDecimals >= 3 || aDecimals < 0) return u"00:00.000";
  return u"00:00.0";
}

}  // namespace

// --- CPerformanceListControl ---------------------------------------------------------------------

CPerformanceListControl::CPerformanceListControl(CCustomControl* aParent, CModel& aModel)
    : CCustomControl(aParent), iModel(&aModel) {
  iHeaders[0] = R_PV_HEADER_TIME;
  iHeaders[1] = R_PV_HEADER_DIFF;
  iHeaders[2] = R_PV_HEADER_SPEED;
  iHeaders[3] = R_PV_HEADER_DIFF;
  iNoRuns.LoadFromResource(R_PV_NO_RUNS);
}

CPerformanceListControl::~CPerformanceListControl() = default;

void CPerformanceListControl::SetMode(int32_t aMode) {
  iMode = aMode == ETests ? ETests : ERuns;
  iTop = 0;
  Layout();
  Invalidate();
}

int32_t CPerformanceListControl::RowCount() const {
  const CTrackSession* session = iModel->TrackSession();
  if (!session) return 0;
  return iMode == ERuns ? session->Runs().Count() : iModel->Tests().Count();
}

int32_t CPerformanceListControl::Selected() const {
  const CTrackSession* session = iModel->TrackSession();
  if (!session || RowCount() == 0) return -1;
  return iMode == ERuns ? session->Runs().Cursor() : iModel->Tests().SelectedIndex();
}

void CPerformanceListControl::Select(int32_t aRow) {
  CTrackSession* session = iModel->TrackSession();
  const int32_t count = RowCount();
  if (!session || count == 0) return;
  const int32_t row = ((aRow % count) + count) % count;
  if (iMode == ERuns) session->Runs().SetCursor(row);
  else iModel->Tests().SetSelectedIndex(row);
  KeepSelectionVisible();
  Invalidate();
  RequestRedraw();
  if (iParent) iParent->ChildChanged(this);
}

bool CPerformanceListControl::HasCompletedRuns() const { return AnyRunCompleted(iModel->TrackSession()); }

bool CPerformanceListControl::AnyRunCompleted(const CTrackSession* aSession) {
  if (!aSession) return false;
  const CRunList& runs = aSession->Runs();
  for (int32_t r = 0; r < runs.Count(); ++r) {
    const CPerformanceRun* run = runs.Run(r);
    for (int32_t i = 0; i < run->Count(); ++i)
      if (run->At(i).IsFinished()) return true;
  }
  return false;
}

const CPerformanceRun* CPerformanceListControl::RowRun(int32_t aRow) const {
  const CTrackSession* session = iModel->TrackSession();
  if (!session) return nullptr;
  return iMode == ERuns ? session->Runs().Run(aRow) : session->Runs().CursorRun();
}

int32_t CPerformanceListControl::RowTest(int32_t aRow) const {
  const CTrackSession* session = iModel->TrackSession();
  if (!session) return -1;
  return iMode == ERuns ? session->CurrentTest() : aRow;
}

const CPerformance* CPerformanceListControl::RowResult(int32_t aRow) const {
  const int32_t test = RowTest(aRow);
  return test >= 0 ? CRunList::Performance(RowRun(aRow), test, true) : nullptr;
}

const CPerformance* CPerformanceListControl::ComparisonResult(int32_t aRow) const {
  const CTrackSession* session = iModel->TrackSession();
  const int32_t test = RowTest(aRow);
  if (!session || test < 0) return nullptr;
  return CRunList::Performance(session->Runs().ComparisonRun(test), test, true);
}

bool CPerformanceListControl::IsComparisonRow(int32_t aRow) const {
  const CTrackSession* session = iModel->TrackSession();
  const int32_t test = RowTest(aRow);
  const CPerformanceRun* run = RowRun(aRow);
  return session && test >= 0 && run && session->Runs().ComparisonRun(test) == run;
}

int32_t CPerformanceListControl::Verdict(int32_t aRow, bool aSpeed) const {
  const CPerformance* result = RowResult(aRow);
  const CPerformance* comparison = ComparisonResult(aRow);
  if (!result || !comparison) return 0;
  if (aSpeed) {
    const double own = FinishSpeed(result), other = FinishSpeed(comparison);
    if (!IsValidReal(own) || !IsValidReal(other) || own == other) return 0;
    return own > other ? -1 : 1;
  }
  const int32_t difference = result->ResultTime().Milliseconds() - comparison->ResultTime().Milliseconds();
  return difference == 0 ? 0 : (difference < 0 ? -1 : 1);
}

void CPerformanceListControl::CellText(int32_t aRow, int32_t aColumn, CPwString& aText) const {
  aText.Reset();
  if (aRow < 0) {
    if (aColumn < 0) aText.LoadFromResource(iMode == ERuns ? R_PV_HEADER_RUN : R_PV_HEADER_TEST);
    else if (aColumn < KDataColumns) aText.LoadFromResource(iHeaders[aColumn]);
    return;
  }
  if (aColumn < 0) {
    if (iMode == ERuns) {
      aText.AppendNum(aRow + 1);
    } else if (const CPerformanceTest* test = iModel->Tests().At(aRow)) {
      aText.Copy(test->Name());
    }
    return;
  }
  const CPerformance* result = RowResult(aRow);
  const CPerformance* comparison = ComparisonResult(aRow);
  const CSettings& settings = iModel->Settings();
  const bool english = settings.Units() == CStringProvider::KUnitsEnglish;
  const int32_t speedClass = ChannelQuantityClass(KChannelGpsSpeed);
  switch (aColumn) {
    case 0:
      if (result) result->ResultTime().FormatDuration(aText, settings.TimerDecimals(), false, true);
      break;
    case 1:
      if (result && comparison)
        (result->ResultTime() - comparison->ResultTime()).FormatDuration(aText, settings.TimerDecimals(), true, true);
      break;
    case 2: {
      const double speed = FinishSpeed(result);
      if (IsValidReal(speed))
        aText.AppendReal(speed * QuantityFactor(speedClass, english), QuantityDecimals(speedClass));
      break;
    }
    default: {
      const double own = FinishSpeed(result), other = FinishSpeed(comparison);
      if (IsValidReal(own) && IsValidReal(other))
        aText.AppendReal((own - other) * QuantityFactor(speedClass, english), QuantityDecimals(speedClass), u'.', 0,
                         true);
      break;
    }
  }
  if (aText.IsEmpty()) aText.Copy(u"*");
}

TPwColour CPerformanceListControl::CellColour(int32_t aRow, int32_t aColumn) const {
  if (aRow < 0 || aColumn < 0) return aRow >= 0 && IsComparisonRow(aRow) ? KComparisonColour : KHeaderColour;
  if (aRow >= RowCount()) return KNeutralColour;
  if (IsComparisonRow(aRow)) return KComparisonColour;
  switch (Verdict(aRow, aColumn >= 2)) {
    case -1: return KBetterColour;
    case 1: return KWorseColour;
    default: return KNeutralColour;
  }
}

int32_t CPerformanceListControl::VisibleRows() const {
  const int32_t rows = (iRect.Height() - iHeaderHeight) / std::max(1, iRowHeight);
  return rows < 1 ? 1 : rows;
}

void CPerformanceListControl::ScrollColumns(int32_t aDelta) {
  const int32_t positions = KDataColumns - std::min(iFitting, KDataColumns) + 1;
  int32_t& first = iFirstColumn[iMode];
  first = ((first + aDelta) % positions + positions) % positions;
  Invalidate();
  RequestRedraw();
}

void CPerformanceListControl::Layout() {
  CLayout* layout = CCustomControl::Layout();
  if (!layout) return;
  CPwFont& font = layout->Font(KTableFont);
  // The desktop always has a pointer: rows are tall enough to tap.
  iRowHeight = std::max(1, font.Height() * 3 / 2);
  iHeaderHeight = iRowHeight + 2;
  iFirstWidth = font.TextWidth(u"100-200 k") + 2 * KCellPadding;
  iDataWidth = font.TextWidth(TimeTemplate(iModel->Settings().TimerDecimals())) + 2 * KCellPadding;
  const int32_t width = iRect.Width();
  iFitting = iDataWidth > 0 && width > iFirstWidth ? (width - iFirstWidth) / iDataWidth : 0;
  iFitting = std::min(iFitting, static_cast<int32_t>(KDataColumns));
  if (iFitting > 0) {
    iDataWidth = (width - iFirstWidth) / iFitting;
    iFirstWidth = width - iFitting * iDataWidth;
  }
  // Whole rows; the header row takes what is left over.
  const int32_t rows = std::max(0, (iRect.Height() - iHeaderHeight) / iRowHeight);
  iHeaderHeight = std::max(iHeaderHeight, iRect.Height() - rows * iRowHeight);
  for (int32_t& first : iFirstColumn) first = std::clamp(first, 0, KDataColumns - iFitting);
  KeepSelectionVisible();
}

void CPerformanceListControl::KeepSelectionVisible() {
  const int32_t selected = Selected();
  const int32_t visible = VisibleRows();
  if (selected >= 0) {
    if (selected < iTop) iTop = selected;
    if (selected >= iTop + visible) iTop = selected - visible + 1;
  }
  iTop = std::clamp(iTop, 0, std::max(0, RowCount() - visible));
}

void CPerformanceListControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  Layout();
  Invalidate();
}

int32_t CPerformanceListControl::RowAt(int32_t aX, int32_t aY) const {
  if (!iRect.Contains(aX, aY)) return -2;
  if (aY < iRect.iTop + iHeaderHeight) return -1;
  const int32_t row = iTop + (aY - iRect.iTop - iHeaderHeight) / std::max(1, iRowHeight);
  return row < RowCount() ? row : -2;
}

int32_t CPerformanceListControl::HandleKey(int32_t aKeyCode, int32_t) {
  if (RowCount() == 0) return 1;
  switch (aKeyCode) {
    case 0xF803:
      Select(Selected() - 1);
      return 0;
    case 0xF804:
      Select(Selected() + 1);
      return 0;
    default:
      return 1;
  }
}

int32_t CPerformanceListControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (aKind != 0) return 1;
  const int32_t row = RowAt(aX, aY);
  if (row == -2) return 1;
  if (row == -1) {
    // The header row moves the columns that do not fit into view.
    if (aX >= iRect.iLeft + iFirstWidth) ScrollColumns(1);
    return 0;
  }
  if (row == Selected()) {
    if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(pwcmd::KViewResult);
  } else {
    Select(row);
  }
  return 0;
}

void CPerformanceListControl::DrawCell(CPwBitmap& aBitmap, const TPwRect& aCell, TPwColour aColour, bool aDarken,
                                       int32_t aRow, CPwStringC aText, TPwAlign aAlign) {
  // The header row and odd rows are darker than even rows.
  const TPwColour colour = aDarken ? Scaled(aColour, aRow < 0 || aRow % 2 == 1 ? 116 : 128) : aColour;
  aBitmap.FillRect(aCell, colour);
  aBitmap.SetPen(Scaled(colour, 200), 1, EPenSolid);
  aBitmap.DrawLine(aCell.iRight - 1, aCell.iTop, aCell.iRight - 1, aCell.iBottom - 1);
  CLayout* layout = CCustomControl::Layout();
  if (!aText.IsEmpty() && layout)
    aBitmap.DrawText(aText, layout->Font(KTableFont),
                     TPwRect{aCell.iLeft + KCellPadding, aCell.iTop, aCell.iRight - KCellPadding, aCell.iBottom},
                     aAlign, KTextColour);
}

void CPerformanceListControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = CCustomControl::Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, 0x000000);
  if (!iModel->TrackSession()) return;
  if (!HasCompletedRuns()) {
    bitmap->DrawTextWrapped(iNoRuns, layout->Font(KTableFont),
                            TPwRect{iRect.iLeft + 8, iRect.iTop + 8, iRect.iRight - 8, iRect.iBottom}, EAlignCentre,
                            KTextColour);
    return;
  }
  CPwString text;
  const int32_t selected = Selected();
  const int32_t first = FirstVisibleColumn();
  const int32_t rows = VisibleRows();
  for (int32_t line = -1; line < rows; ++line) {
    const int32_t row = line < 0 ? -1 : iTop + line;
    const int32_t top = line < 0 ? iRect.iTop : iRect.iTop + iHeaderHeight + line * iRowHeight;
    const int32_t bottom = line < 0 ? top + iHeaderHeight : top + iRowHeight;
    if (top >= iRect.iBottom) break;
    const bool data = row < RowCount();
    // Positions beyond the data are empty cells.
    TPwRect cell{iRect.iLeft, top, iRect.iLeft + iFirstWidth, bottom};
    if (data) CellText(row, -1, text);
    else text.Reset();
    // Test names longer than the column keep their beginning in view.
    const TPwAlign align = iMode == ETests && row >= 0 ? EAlignLeft : EAlignCentre;
    DrawCell(*bitmap, cell, data ? CellColour(row, -1) : KHeaderColour, row != selected || row < 0, row, text, align);
    for (int32_t c = 0; c < iFitting; ++c) {
      const int32_t column = first + c;
      cell = TPwRect{cell.iRight, top, c + 1 == iFitting ? iRect.iRight : cell.iRight + iDataWidth, bottom};
      if (data && column < KDataColumns) CellText(row, column, text);
      else text.Reset();
      const TPwColour colour = row < 0 ? KHeaderColour : (data ? CellColour(row, column) : KNeutralColour);
      DrawCell(*bitmap, cell, colour, true, row, text, EAlignCentre);
    }
  }
}

// --- CPerformanceView ----------------------------------------------------------------------------

CPerformanceView::CPerformanceView(CModel& aModel) : iModel(&aModel) {}

CPerformanceView::~CPerformanceView() {
  iComparison.reset();
  delete iTable;
  iTable = nullptr;
}

void CPerformanceView::Activate() {
  delete iTable;
  iTable = nullptr;
  iTable = new CPerformanceListControl(this, *iModel);
  if (!iComparison) iComparison.reset(new CSelectComparison(*iModel, ViewObserver()->Dialogs()));
  iMode = CPerformanceListControl::ERuns;
  ShowChrome(CPwStringC(), pwcmd::KOptions, pwcmd::KViewResult, pwcmd::KBack);
  SetMode(CPerformanceListControl::ERuns);
  if (!iRect.IsEmpty()) iTable->SetRect(iRect);
}

void CPerformanceView::Deactivate() {
  delete iTable;
  iTable = nullptr;
}

void CPerformanceView::SetMode(int32_t aMode) {
  iMode = aMode;
  if (iTable) iTable->SetMode(aMode);
  ShowTitle();
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}

void CPerformanceView::ShowTitle() {
  MCustomViewObserver* observer = ViewObserver();
  const CTrackSession* session = iModel->TrackSession();
  if (!observer) return;
  CPwString title;
  if (iMode == CPerformanceListControl::ERuns || !session) title.LoadFromResource(R_PV_TITLE_RUNS);
  else title.FormatN(R_PV_TITLE_TESTS, session->Runs().Cursor() + 1);
  observer->SetTitle(title);
}

void CPerformanceView::ChildChanged(CCustomControl* aControl) {
  ShowTitle();
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
  CCustomView::ChildChanged(aControl);
}

int32_t CPerformanceView::CommandState(int32_t aCommand) {
  const CTrackSession* session = iModel->TrackSession();
  switch (aCommand) {
    case pwcmd::KViewResult: {
      // The run list keeps a run open for the next start: runs without results open nothing.
      if (!CPerformanceListControl::AnyRunCompleted(session)) return ECommandDisabled;
      if (iMode == CPerformanceListControl::ERuns) return ECommandOffered;
      const int32_t test = iModel->Tests().SelectedIndex();
      return CRunList::Performance(session->Runs().CursorRun(), test, true) ? ECommandOffered : ECommandDisabled;
    }
    case pwcmd::KCompareOptimal:
      return ECommandNotOffered;
    case pwcmd::KComparisonMenu:
    case pwcmd::KCompareSelected:
    case pwcmd::KCompareBest:
    case pwcmd::KCompareOther:
      return session && session->IsPerformanceTesting() ? ECommandOffered : ECommandDisabled;
    default:
      return CCustomView::CommandState(aCommand);
  }
}

int32_t CPerformanceView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  CTrackSession* session = iModel->TrackSession();
  if (!observer) return 1;
  const bool offered = CommandState(aCommand) == ECommandOffered;
  switch (aCommand) {
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KViewResult:
      if (!offered) return 0;
      if (iMode == CPerformanceListControl::ERuns) SetMode(CPerformanceListControl::ETests);
      // Nothing opens while no view answers for graphs.
      else (void)OpenGraph(*iModel, EOpenRunGraph);
      return 0;
    case pwcmd::KBack:
      if (iMode == CPerformanceListControl::ETests) SetMode(CPerformanceListControl::ERuns);
      else observer->Back();
      return 0;
    case pwcmd::KComparisonMenu:
      if (offered) OpenComparisonMenu();
      return 0;
    case pwcmd::KCompareSelected:
      if (offered && session->CompareToThisLap()) Compared();
      return 0;
    case pwcmd::KCompareBest:
      if (offered && session->CompareToBest()) Compared();
      return 0;
    case pwcmd::KCompareOptimal:
      // Runs have no optimal: the choice is left as it is.
      if (session && session->CompareToOptimal()) Compared();
      return 0;
    case pwcmd::KCompareOther:
      if (offered) iComparison->Start();
      return 0;
    default:
      return 1;
  }
}

void CPerformanceView::Compared() {
  iModel->UpdateViews(2);
  if (iTable) {
    iTable->Invalidate();
    iTable->RequestRedraw();
  }
}

void CPerformanceView::StepRun(int32_t aDelta) {
  CTrackSession* session = iModel->TrackSession();
  if (!session || !iTable) return;
  const int32_t count = session->Runs().Count();
  if (count == 0) return;
  session->Runs().SetCursor(((session->Runs().Cursor() + aDelta) % count + count) % count);
  iTable->Select(iTable->Selected());
  ShowTitle();
  iTable->Invalidate();
  iTable->RequestRedraw();
}

int32_t CPerformanceView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  switch (aKeyCode) {
    case 0xF800:
      return HandleCommand(pwcmd::KViewResult);
    case '2':
      StepRun(-1);
      return 0;
    case '3':
      StepRun(1);
      return 0;
    case 0xF801:
    case 0xF802:
      if (aShift) StepRun(aKeyCode == 0xF801 ? -1 : 1);
      return 0;
    case '5':
    case '6':
      if (StepFontScale(*iModel, aKeyCode == '5' ? -10 : 10) && iTable && !iRect.IsEmpty()) {
        iTable->SetRect(iRect);
        iTable->RequestRedraw();
      }
      return 0;
    case KEscapeKey:
      return HandleCommand(pwcmd::KBack);
    default:
      return 1;
  }
}

void CPerformanceView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(4);
  AppendOffered(entries, *this, pwcmd::KViewResult,
                iMode == CPerformanceListControl::ERuns ? R_PV_VIEW_TESTS : R_PV_VIEW_GRAPH);
  AppendOffered(entries, *this, pwcmd::KComparisonMenu, R_PV_COMPARISON);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CPerformanceView::OpenComparisonMenu() {
  CPwVector<TMenuEntry> entries(4);
  AppendOffered(entries, *this, pwcmd::KCompareSelected, R_PV_COMPARE_SELECTED);
  AppendOffered(entries, *this, pwcmd::KCompareBest, R_PV_COMPARE_BEST);
  AppendOffered(entries, *this, pwcmd::KCompareOther, R_PV_COMPARE_OTHER);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}
