#include "app/views/lap_list_controls.h"

#include <algorithm>

#include "acquisition/channel_state.h"
#include "acquisition/geodesy.h"
#include "app/draw/pw_font.h"
#include "app/gui/commands.h"
#include "app/model.h"
#include "app/views/lap_notes.h"
#include "foundation/string_provider.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

namespace {

constexpr int32_t KKeyLeft = 0xF801;
constexpr int32_t KKeyRight = 0xF802;
constexpr int32_t KKeyUp = 0xF803;
constexpr int32_t KKeyDown = 0xF804;
constexpr int32_t KCellPadding = 1;
// Quantity classes of speeds and distances (units, factor, decimals).
constexpr int32_t KSpeedClass = EQuantitySpeed;
constexpr int32_t KDistanceClass = EQuantityDistance;

TSpeed StoredSpeed(int32_t aStored) {
  return aStored == KInvalidInt ? TSpeed::Invalid() : TSpeed(aStored / KArcUnitsPerRadian / 1000.0);
}

// The keys that bound sector aSector (0-based) of a lap: the crossing before it and its own.
bool SectorKeys(const CLap* aLap, int32_t aSector, int32_t& aFrom, int32_t& aTo) {
  if (!aLap || aSector < 0 || aSector >= aLap->CrossingCount() || !aLap->Start()) return false;
  aTo = aLap->Crossing(aSector)->iKey;
  aFrom = aSector == 0 ? aLap->Start()->iKey : aLap->Crossing(aSector - 1)->iKey;
  return true;
}

}  // namespace

// --- CLapListControl ---------------------------------------------------------------------------------

TPwColour CLapListControl::Darkened(TPwColour aColour, int32_t aFactor) {
  const uint32_t r = ((aColour >> 16) & 0xFF) * static_cast<uint32_t>(aFactor) / 255;
  const uint32_t g = ((aColour >> 8) & 0xFF) * static_cast<uint32_t>(aFactor) / 255;
  const uint32_t b = (aColour & 0xFF) * static_cast<uint32_t>(aFactor) / 255;
  return (r << 16) | (g << 8) | b;
}

CLapListControl::CLapListControl(CCustomControl* aParent, CModel& aModel, int32_t aMode)
    : CCustomControl(aParent), iModel(&aModel), iMode(aMode) {}

CLapListControl::~CLapListControl() = default;

CTrackSession* CLapListControl::Session() const { return iModel->TrackSession(); }

CLapList* CLapListControl::Laps() const {
  CTrackSession* session = Session();
  return session ? &session->Laps() : nullptr;
}

const CSettings& CLapListControl::Settings() const { return iModel->Settings(); }

void CLapListControl::SetFont(CPwFont* aFont) {
  iFont = aFont;
  Layout();
  Invalidate();
}

const CLap* CLapListControl::ComparisonLap() const {
  CLapList* laps = Laps();
  if (!laps) return nullptr;
  // A lap of the compared session is the same for every row.
  if (laps->ComparisonList()) return laps->ComparisonLapFor(0);
  const int32_t selection = laps->ComparisonSelection();
  if (selection == CLapList::KCompareBest) return laps->BestLap();
  return laps->Lap(selection);
}

const CLap* CLapListControl::RowComparison(int32_t aRow) const {
  CLapList* laps = Laps();
  if (!laps || aRow < 0 || aRow >= iRows.Count()) return nullptr;
  return laps->ComparisonLapFor(iRows.At(aRow));
}

bool CLapListControl::IsComparisonRow(int32_t aRow) const {
  const CLapList* laps = Laps();
  if (!laps || aRow < 0 || aRow >= iRows.Count()) return false;
  const CLap* comparison = ComparisonLap();
  return comparison && laps->Lap(iRows.At(aRow)) == comparison;
}

void CLapListControl::Rebuild() {
  iRows.Reset();
  iReference = nullptr;
  CLapList* laps = Laps();
  if (laps) {
    const int32_t flags = CLapList::EListUnfinished | (Settings().HideInvalid() ? 0 : CLapList::EListInvalid);
    int32_t selected = laps->ListLapIndices(iRows, flags);
    // The optimal lap comes after the laps it is made of.
    if (laps->OptimalLap() && !laps->OptimalLap()->IsInvalid()) {
      iRows.Append(CLapList::KOptimalLap);
      if (laps->ViewedIndex() == CLapList::KOptimalLap) selected = iRows.Count() - 1;
    }
    if (selected < 0 && iRows.Count() > 0) {
      selected = std::clamp(iSelectedRow, 0, iRows.Count() - 1);
      laps->SetViewedIndex(iRows.At(selected));
    }
    iSelectedRow = selected < 0 ? 0 : selected;
    const CLap* comparison = ComparisonLap();
    iReference = comparison ? comparison : laps->ViewedLap();
  }
  iColumnCount = CountColumns();
  iSelectedColumn = std::clamp(iSelectedColumn, 0, std::max(0, iColumnCount - 1));
  if (laps && HasColumnCursor()) laps->SetSelectedKey(ColumnKey(iSelectedColumn));
  Layout();
  Invalidate();
}

void CLapListControl::SetSelectedRow(int32_t aRow) {
  if (iRows.Count() == 0) return;
  aRow = std::clamp(aRow, 0, iRows.Count() - 1);
  if (aRow == iSelectedRow) return;
  iSelectedRow = aRow;
  if (CLapList* laps = Laps()) laps->SetViewedIndex(iRows.At(aRow));
  // Without a comparison lap the selected lap numbers the columns.
  if (!ComparisonLap()) {
    Rebuild();
  } else {
    KeepCursorVisible();
    Invalidate();
  }
  ChildChanged(this);
}

void CLapListControl::SetSelectedColumn(int32_t aColumn) {
  if (!HasColumnCursor() || iColumnCount == 0) return;
  aColumn = std::clamp(aColumn, 0, iColumnCount - 1);
  if (aColumn == iSelectedColumn) return;
  iSelectedColumn = aColumn;
  if (CLapList* laps = Laps()) laps->SetSelectedKey(ColumnKey(aColumn));
  KeepCursorVisible();
  Invalidate();
  ChildChanged(this);
}

void CLapListControl::ScrollColumns(int32_t aStep) {
  const int32_t last = std::max(0, iColumnCount - iVisibleColumns);
  if (last == 0) return;
  int32_t first = iFirstColumn + aStep;
  if (first > last) first = 0;
  if (first < 0) first = last;
  iFirstColumn = first;
  Invalidate();
}

int32_t CLapListControl::TwoRowHeight() const { return 2 * iRowHeight + 2; }

void CLapListControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  Layout();
  Invalidate();
}

void CLapListControl::Layout() {
  if (!iFont) return;
  const int32_t width = std::max(0, iRect.Width());
  const int32_t height = std::max(0, iRect.Height());
  iRowHeight = std::max(1, iFont->Height() * 3 / 2);
  const int32_t decimals = Settings().TimerDecimals();
  CPwStringC sample = decimals == 0 || decimals == 1 ? CPwStringC(u"00/00/00")
                      : decimals == 2                ? CPwStringC(u"0:00:00.00")
                                                     : CPwStringC(u"0:00:00.000");
  const int32_t lapWidth = iFont->TextWidth(u"0000");
  const int32_t valueWidth = std::max(1, iFont->TextWidth(sample));
  iVisibleColumns = std::max(1, (width - lapWidth) / valueWidth);
  iValueWidth = std::max(0, width - lapWidth) / iVisibleColumns;
  iLapWidth = width - iVisibleColumns * iValueWidth;
  const int32_t rows = height / iRowHeight;
  iVisibleRows = std::max(0, rows - 1);
  iHeaderHeight = height - iVisibleRows * iRowHeight;
  KeepCursorVisible();
}

void CLapListControl::KeepCursorVisible() {
  const int32_t count = iRows.Count();
  if (iSelectedRow < iTopRow) iTopRow = iSelectedRow;
  if (iVisibleRows > 0 && iSelectedRow >= iTopRow + iVisibleRows) iTopRow = iSelectedRow - iVisibleRows + 1;
  iTopRow = std::clamp(iTopRow, 0, std::max(0, count - std::max(1, iVisibleRows)));
  if (HasColumnCursor()) {
    if (iSelectedColumn < iFirstColumn) iFirstColumn = iSelectedColumn;
    if (iSelectedColumn >= iFirstColumn + iVisibleColumns) iFirstColumn = iSelectedColumn - iVisibleColumns + 1;
  }
  iFirstColumn = std::clamp(iFirstColumn, 0, std::max(0, iColumnCount - iVisibleColumns));
}

// --- Cells ---------------------------------------------------------------------------------------------

void CLapListControl::HeaderText(int32_t aColumn, CPwString& aText) const {
  aText.Reset();
  if (aColumn < 0) aText.LoadFromResource(R_LV_COL_LAP);
  else if (aColumn < iColumnCount) ColumnHeader(aColumn, aText);
}

void CLapListControl::TimeCell(PwTime aValue, PwTime aComparison, bool aHasComparison, bool aDifference,
                               CPwString& aText, int32_t& aOutcome) const {
  const bool both = aHasComparison && aValue.IsSet() && aComparison.IsSet();
  const int64_t difference = both ? static_cast<int64_t>(aValue.Milliseconds()) - aComparison.Milliseconds() : 0;
  aOutcome = difference < 0 ? ECellBetter : (difference > 0 ? ECellWorse : ECellNeutral);
  const int32_t decimals = Settings().TimerDecimals();
  if (aDifference) {
    if (both) TimeFromWide(difference).FormatDuration(aText, decimals, true, true);
    else aText.Copy(u"*");
  } else if (aValue.IsSet()) {
    aValue.FormatDuration(aText, decimals, false, true);
  } else {
    aText.Copy(u"*");
  }
}

void CLapListControl::SpeedCell(TSpeed aValue, TSpeed aComparison, bool aHasComparison, bool aDifference,
                                CPwString& aText, int32_t& aOutcome) const {
  const bool english = Settings().Units() == CStringProvider::KUnitsEnglish;
  const double factor = QuantityFactor(KSpeedClass, english);
  const int32_t decimals = QuantityDecimals(KSpeedClass);
  const bool both = aHasComparison && aValue.IsValid() && aComparison.IsValid();
  const double difference = both ? (aValue.MetresPerSecond() - aComparison.MetresPerSecond()) * factor : 0.0;
  aOutcome = difference > 0.0 ? ECellBetter : (difference < 0.0 ? ECellWorse : ECellNeutral);
  aText.Reset();
  if (aDifference) {
    if (both) aText.AppendReal(difference, decimals, u'.', 0, true);
    else aText.Copy(u"*");
  } else if (aValue.IsValid()) {
    aText.AppendReal(aValue.MetresPerSecond() * factor, decimals);
  } else {
    aText.Copy(u"*");
  }
}

void CLapListControl::FullCell(const CLap& aLap, const CLap* aComparison, bool aDiff, CPwString& aText,
                               int32_t& aOutcome) const {
  TimeCell(aLap.LapTime(), aComparison ? aComparison->LapTime() : PwTime::Unset(), aComparison != nullptr, aDiff,
           aText, aOutcome);
}

void CLapListControl::Cell(int32_t aRow, int32_t aColumn, CPwString& aText, int32_t& aOutcome) const {
  aText.Reset();
  aOutcome = ECellNeutral;
  const CLapList* laps = Laps();
  if (!laps || aRow < 0 || aRow >= iRows.Count()) return;
  const int32_t index = iRows.At(aRow);
  if (aColumn < 0) {
    if (index == CLapList::KOptimalLap) aText.LoadFromResource(R_LV_ROW_OPTIMAL);
    else aText.AppendNum(index + 1);
    return;
  }
  const CLap* lap = laps->Lap(index);
  if (!lap || aColumn >= iColumnCount) return;
  // The comparison lap's own row always shows its values.
  const bool difference = Settings().DifferenceMode() == 1 && !IsComparisonRow(aRow);
  ValueCell(*lap, index, RowComparison(aRow), difference, aColumn, aText, aOutcome);
}

void CLapListControl::CellText(int32_t aRow, int32_t aColumn, CPwString& aText) const {
  int32_t outcome = ECellNeutral;
  Cell(aRow, aColumn, aText, outcome);
}

TPwColour CLapListControl::CellColour(int32_t aRow, int32_t aColumn) const {
  CPwString text;
  int32_t outcome = ECellNeutral;
  if (aColumn >= 0) Cell(aRow, aColumn, text, outcome);
  return ColourOf(aRow, aColumn, outcome);
}

TPwColour CLapListControl::ColourOf(int32_t aRow, int32_t aColumn, int32_t aOutcome) const {
  const CLapList* laps = Laps();
  if (!laps || aRow < 0 || aRow >= iRows.Count()) return aColumn < 0 ? KHeaderColour : KValueColour;
  if (IsComparisonRow(aRow)) return KComparisonColour;
  const CLap* lap = laps->Lap(iRows.At(aRow));
  if (lap && lap->IsInvalid()) return KInvalidColour;
  if (aColumn < 0) return KHeaderColour;
  return aOutcome == ECellBetter ? KBetterColour : (aOutcome == ECellWorse ? KWorseColour : KValueColour);
}

TPwColour CLapListControl::CellTextColour(int32_t aRow) const {
  const CLapList* laps = Laps();
  if (!laps || aRow < 0 || aRow >= iRows.Count() || IsComparisonRow(aRow)) return KTextColour;
  const CLap* lap = laps->Lap(iRows.At(aRow));
  return lap && lap->IsInvalid() ? KInvalidTextColour : KTextColour;
}

// --- Input ---------------------------------------------------------------------------------------------

int32_t CLapListControl::HandleKey(int32_t aKeyCode, int32_t) {
  switch (aKeyCode) {
    case KKeyUp:
      SetSelectedRow(iSelectedRow - 1);
      break;
    case KKeyDown:
      SetSelectedRow(iSelectedRow + 1);
      break;
    case KKeyLeft:
      if (HasColumnCursor()) SetSelectedColumn(iSelectedColumn - 1);
      else ScrollColumns(-1);
      break;
    case KKeyRight:
      if (HasColumnCursor()) SetSelectedColumn(iSelectedColumn + 1);
      else ScrollColumns(1);
      break;
    default:
      return 1;
  }
  RequestRedraw();
  return 0;
}

void CLapListControl::CellAt(int32_t aX, int32_t aY, int32_t& aRow, int32_t& aColumn) const {
  aRow = aColumn = -2;
  if (!iRect.Contains(aX, aY)) return;
  const int32_t y = aY - iRect.iTop - iHeaderHeight;
  aRow = y < 0 ? -1 : iTopRow + y / iRowHeight;
  const int32_t x = aX - iRect.iLeft - iLapWidth;
  aColumn = x < 0 ? -1 : iFirstColumn + (iValueWidth > 0 ? x / iValueWidth : 0);
}

void CLapListControl::Activate() {
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(pwcmd::KOpen);
}

int32_t CLapListControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (aKind != 0) return iRect.Contains(aX, aY) ? 0 : 1;
  int32_t row = 0, column = 0;
  CellAt(aX, aY, row, column);
  if (row == -2) return 1;
  if (row < 0 || row >= iRows.Count()) return 0;
  const bool sameColumn = !HasColumnCursor() || column < 0 || column == iSelectedColumn || column >= iColumnCount;
  if (row == iSelectedRow && sameColumn) {
    Activate();
    return 0;
  }
  SetSelectedRow(row);
  if (HasColumnCursor() && column >= 0 && column < iColumnCount) SetSelectedColumn(column);
  RequestRedraw();
  return 0;
}

// --- Drawing -------------------------------------------------------------------------------------------

void CLapListControl::DrawCell(CPwBitmap& aBitmap, const TPwRect& aRect, TPwColour aColour, int32_t aFactor,
                               CPwStringC aText, TPwColour aTextColour, TPwAlign aAlign) {
  if (aRect.IsEmpty() || !aRect.Intersects(aBitmap.ClipRect())) return;
  const TPwColour colour = aFactor >= 255 ? aColour : Darkened(aColour, aFactor);
  aBitmap.FillRect(aRect, colour);
  aBitmap.FillRect(TPwRect{aRect.iRight - 1, aRect.iTop, aRect.iRight, aRect.iBottom},
                   Darkened(colour, KSeparatorFactor));
  if (!aText.IsEmpty())
    aBitmap.DrawText(aText, *iFont,
                     TPwRect{aRect.iLeft + KCellPadding, aRect.iTop, aRect.iRight - 1 - KCellPadding, aRect.iBottom},
                     aAlign, aTextColour);
}

void CLapListControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  if (!bitmap || !iFont || iRect.IsEmpty()) return;
  const int32_t left = iRect.iLeft, top = iRect.iTop;
  CPwString text;
  // The header row.
  HeaderText(-1, text);
  DrawCell(*bitmap, TPwRect{left, top, left + iLapWidth, top + iHeaderHeight}, KHeaderColour, KOddRowFactor, text,
           KTextColour, EAlignCentre);
  for (int32_t v = 0; v < iVisibleColumns; ++v) {
    const int32_t column = iFirstColumn + v;
    const int32_t x = left + iLapWidth + v * iValueWidth;
    HeaderText(column, text);
    DrawCell(*bitmap, TPwRect{x, top, x + iValueWidth, top + iHeaderHeight}, KHeaderColour, KOddRowFactor, text,
             KTextColour, EAlignCentre);
  }
  // The rows, and empty cells below the last one.
  for (int32_t r = 0; r < iVisibleRows; ++r) {
    const int32_t row = iTopRow + r;
    const int32_t y = top + iHeaderHeight + r * iRowHeight;
    const TPwRect line{left, y, iRect.iRight, y + iRowHeight};
    if (!line.Intersects(bitmap->ClipRect())) continue;
    const int32_t factor = row % 2 == 1 ? KOddRowFactor : KEvenRowFactor;
    const bool real = row < iRows.Count();
    const bool selected = real && row == iSelectedRow;
    const TPwColour textColour = CellTextColour(row);
    if (real) CellText(row, -1, text);
    else text.Reset();
    DrawCell(*bitmap, TPwRect{left, y, left + iLapWidth, y + iRowHeight}, real ? CellColour(row, -1) : KHeaderColour,
             selected ? 255 : factor, text, textColour, EAlignCentre);
    for (int32_t v = 0; v < iVisibleColumns; ++v) {
      const int32_t column = iFirstColumn + v;
      const int32_t x = left + iLapWidth + v * iValueWidth;
      TPwColour colour = KValueColour;
      text.Reset();
      if (real && column < iColumnCount) {
        int32_t outcome = ECellNeutral;
        Cell(row, column, text, outcome);
        colour = ColourOf(row, column, outcome);
      }
      const bool cursor = selected && HasColumnCursor() && column == iSelectedColumn;
      DrawCell(*bitmap, TPwRect{x, y, x + iValueWidth, y + iRowHeight}, colour, cursor ? 255 : factor, text,
               textColour, ColumnAlign(column));
    }
  }
}

// --- Sectors -------------------------------------------------------------------------------------------

int32_t CLapListSectorControl::CountColumns() const { return 2 + (iReference ? iReference->CrossingCount() : 0); }

int32_t CLapListSectorControl::ColumnKey(int32_t aColumn) const {
  int32_t from = -1, to = -1;
  return SectorKeys(iReference, aColumn - 2, from, to) ? to : -1;
}

void CLapListSectorControl::ColumnHeader(int32_t aColumn, CPwString& aText) const {
  if (aColumn == 0) aText.LoadFromResource(R_LV_COL_FULL);
  else if (aColumn == 1) aText.LoadFromResource(R_LV_COL_DIFF);
  else aText.FormatN(R_LV_COL_SECTOR, aColumn - 1);
}

void CLapListSectorControl::ValueCell(const CLap& aLap, int32_t, const CLap* aComparison, bool aDifference,
                                      int32_t aColumn, CPwString& aText, int32_t& aOutcome) const {
  if (aColumn < 2) {
    FullCell(aLap, aComparison, aColumn == 1, aText, aOutcome);
    return;
  }
  int32_t from = -1, to = -1;
  const bool keys = SectorKeys(iReference, aColumn - 2, from, to);
  const PwTime value = keys ? aLap.SectorTime(from, to) : PwTime::Unset();
  const PwTime theirs = keys && aComparison ? aComparison->SectorTime(from, to) : PwTime::Unset();
  TimeCell(value, theirs, aComparison != nullptr, aDifference, aText, aOutcome);
}

// --- Splits --------------------------------------------------------------------------------------------

int32_t CLapListSplitControl::CountColumns() const { return 2 + (iReference ? iReference->SplitCount() : 0); }

int32_t CLapListSplitControl::ColumnKey(int32_t aColumn) const {
  if (!iReference || aColumn < 2 || aColumn - 2 >= iReference->SplitCount()) return -1;
  return iReference->Split(aColumn - 2)->iKey;
}

void CLapListSplitControl::ColumnHeader(int32_t aColumn, CPwString& aText) const {
  if (aColumn == 0) aText.LoadFromResource(R_LV_COL_FULL);
  else if (aColumn == 1) aText.LoadFromResource(R_LV_COL_DIFF);
  else aText.FormatN(R_LV_COL_SPLIT, aColumn - 1);
}

void CLapListSplitControl::ValueCell(const CLap& aLap, int32_t, const CLap* aComparison, bool aDifference,
                                     int32_t aColumn, CPwString& aText, int32_t& aOutcome) const {
  if (aColumn < 2) {
    FullCell(aLap, aComparison, aColumn == 1, aText, aOutcome);
    return;
  }
  const int32_t key = ColumnKey(aColumn);
  const PwTime value = key >= 0 ? aLap.SplitTime(key) : PwTime::Unset();
  const PwTime theirs = key >= 0 && aComparison ? aComparison->SplitTime(key) : PwTime::Unset();
  TimeCell(value, theirs, aComparison != nullptr, aDifference, aText, aOutcome);
}

// --- Trap speeds ---------------------------------------------------------------------------------------

int32_t CLapListTrapSpeedControl::CountColumns() const {
  return 2 + (iReference ? iReference->CrossingCount() : 0);
}

int32_t CLapListTrapSpeedControl::ColumnKey(int32_t aColumn) const {
  if (!iReference || aColumn < 2 || aColumn - 2 >= iReference->CrossingCount()) return -1;
  return iReference->Crossing(aColumn - 2)->iKey;
}

void CLapListTrapSpeedControl::ColumnHeader(int32_t aColumn, CPwString& aText) const {
  if (aColumn == 0) aText.LoadFromResource(R_LV_COL_FULL);
  else aText.FormatN(R_LV_COL_SPEED, aColumn - 1);
}

void CLapListTrapSpeedControl::ValueCell(const CLap& aLap, int32_t, const CLap* aComparison, bool aDifference,
                                         int32_t aColumn, CPwString& aText, int32_t& aOutcome) const {
  if (aColumn == 0) {
    FullCell(aLap, aComparison, false, aText, aOutcome);
    return;
  }
  // Column 1 is the start line (key -1); a trap the reference lap lacks has no speed.
  const int32_t key = aColumn == 1 ? -1 : ColumnKey(aColumn);
  const bool known = aColumn == 1 || key >= 0;
  const bool crossed = known && (key < 0 || aLap.FindCrossing(key));
  const bool theyCrossed = known && aComparison && (key < 0 || aComparison->FindCrossing(key));
  const TSpeed value = crossed ? aLap.TrapSpeed(key) : TSpeed::Invalid();
  const TSpeed theirs = theyCrossed ? aComparison->TrapSpeed(key) : TSpeed::Invalid();
  SpeedCell(value, theirs, aComparison != nullptr, aDifference, aText, aOutcome);
}

// --- High and low speeds -------------------------------------------------------------------------------

void CLapListHiLoSpeedControl::ColumnHeader(int32_t aColumn, CPwString& aText) const {
  static constexpr uint16_t KHeaders[4] = {R_LV_COL_FULL, R_LV_COL_VMAX, R_LV_COL_VMIN, R_LV_COL_VAVG};
  aText.LoadFromResource(KHeaders[std::clamp(aColumn, 0, 3)]);
}

void CLapListHiLoSpeedControl::ValueCell(const CLap& aLap, int32_t, const CLap* aComparison, bool aDifference,
                                         int32_t aColumn, CPwString& aText, int32_t& aOutcome) const {
  auto speedOf = [aColumn](const CLap* aOf) {
    if (!aOf) return TSpeed::Invalid();
    if (aColumn == 1) return StoredSpeed(aOf->MaximumSpeed());
    if (aColumn == 2) return StoredSpeed(aOf->MinimumSpeed());
    return aOf->AverageSpeed();
  };
  if (aColumn == 0) FullCell(aLap, aComparison, false, aText, aOutcome);
  else SpeedCell(speedOf(&aLap), speedOf(aComparison), aComparison != nullptr, aDifference, aText, aOutcome);
}

// --- Information ---------------------------------------------------------------------------------------

void CLapListNoteControl::ColumnHeader(int32_t aColumn, CPwString& aText) const {
  static constexpr uint16_t KHeaders[5] = {R_LV_COL_FULL, R_LV_COL_TIME, R_LV_COL_DATE, R_LV_COL_DIST, R_LV_COL_NOTE};
  aText.LoadFromResource(KHeaders[std::clamp(aColumn, 0, 4)]);
}

void CLapListNoteControl::ValueCell(const CLap& aLap, int32_t aLapIndex, const CLap* aComparison, bool,
                                    int32_t aColumn, CPwString& aText, int32_t& aOutcome) const {
  aOutcome = ECellNeutral;
  const bool optimal = aLapIndex == CLapList::KOptimalLap;
  switch (aColumn) {
    case 0:
      FullCell(aLap, aComparison, false, aText, aOutcome);
      return;
    case 1:
    case 2: {
      // The optimal lap was driven at no one time.
      const PwDateTime local = optimal ? PwDateTime() : LapLocalStart(*Session(), aLap);
      if (!local.iDate.IsSet() || !local.iTime.IsSet()) aText.Copy(u"*");
      else if (aColumn == 1) local.iTime.FormatTimeOfDay(aText, 0);
      else local.iDate.FormatDateShort(aText);
      return;
    }
    case 3: {
      const TDistance distance = aLap.LapDistance();
      aText.Reset();
      if (!distance.IsValid()) {
        aText.Copy(u"*");
        return;
      }
      const bool english = Settings().Units() == CStringProvider::KUnitsEnglish;
      aText.AppendReal(distance.Metres() * QuantityFactor(KDistanceClass, english), QuantityDecimals(KDistanceClass));
      return;
    }
    default:
      if (optimal) {
        aText.LoadFromResource(R_LV_OPTIMAL_LAP);
      } else if (const CSessionNote* note = LapNote(*Session(), aLap)) {
        aText.Copy(note->Text());
        aText.FlattenLines();
      } else {
        aText.Reset();
      }
      return;
  }
}
