#include "app/controls/grid.h"

#include "app/draw/pw_font.h"
#include "app/gui/layout.h"

namespace {

constexpr TPwColour KHeaderFrom = 0x303840;
constexpr TPwColour KHeaderTo = 0x181C20;
constexpr TPwColour KHeaderText = 0xC0D0E0;
constexpr TPwColour KEvenRow = 0x000000;
constexpr TPwColour KOddRow = 0x101418;
constexpr TPwColour KSelectedFrom = 0x2A4F8A;
constexpr TPwColour KSelectedTo = 0x15284A;
constexpr int32_t KCellPadding = 4;

}  // namespace

CGridControl::CGridControl(CCustomControl* aParent, MGridObserver* aObserver)
    : CCustomControl(aParent), iObserver(aObserver) {}

CGridControl::~CGridControl() {
  for (TColumn& column : iColumns) delete column.iHeader;
  iColumns.Reset();
}

void CGridControl::AddColumnL(CPwStringC aHeader, int32_t aWeight, TPwAlign aAlign) {
  CPwString* header = CPwString::NewL(aHeader);
  if (Trap([&] { iColumns.Append(TColumn{header, aWeight < 1 ? 1 : aWeight, aAlign}); }) != KErrNone) {
    delete header;
    Leave(KErrNoMemory);
  }
  Invalidate();
}

void CGridControl::SetHeaderL(int32_t aColumn, CPwStringC aHeader) {
  iColumns.At(aColumn).iHeader->Copy(aHeader);
  Invalidate();
}

void CGridControl::ColumnEdges(int32_t aColumn, int32_t& aLeft, int32_t& aRight) const {
  int64_t total = 0, before = 0;
  for (int32_t i = 0; i < iColumns.Count(); ++i) {
    if (i < aColumn) before += iColumns.At(i).iWeight;
    total += iColumns.At(i).iWeight;
  }
  if (total == 0) total = 1;
  const int64_t width = iRect.Width();
  aLeft = iRect.iLeft + static_cast<int32_t>(width * before / total);
  aRight = iRect.iLeft + static_cast<int32_t>(width * (before + iColumns.At(aColumn).iWeight) / total);
}

int32_t CGridControl::RowHeight() {
  CLayout* layout = Layout();
  return layout ? layout->Font(CLayout::EFontNormal).Height() + 6 : 1;
}

int32_t CGridControl::HeaderHeight() {
  CLayout* layout = Layout();
  return layout ? layout->Font(CLayout::EFontTiny).Height() + 6 : 1;
}

int32_t CGridControl::VisibleRows() {
  const int32_t rows = (iRect.Height() - HeaderHeight()) / RowHeight();
  return rows < 1 ? 1 : rows;
}

void CGridControl::EnsureVisible() {
  const int32_t count = RowCount();
  if (iSelected >= count) iSelected = count > 0 ? count - 1 : 0;
  const int32_t visible = VisibleRows();
  if (iSelected < iTop) iTop = iSelected;
  if (iSelected >= iTop + visible) iTop = iSelected - visible + 1;
  if (iTop > count - visible) iTop = count - visible;
  if (iTop < 0) iTop = 0;
}

void CGridControl::SetSelected(int32_t aRow) {
  const int32_t count = RowCount();
  if (count == 0) return;
  if (aRow < 0) aRow = 0;
  if (aRow >= count) aRow = count - 1;
  if (aRow == iSelected) return;
  iSelected = aRow;
  EnsureVisible();
  Invalidate();
  if (iObserver) iObserver->RowSelected(*this, iSelected);
}

void CGridControl::RowsChanged() {
  EnsureVisible();
  Invalidate();
}

void CGridControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  EnsureVisible();
  Invalidate();
}

int32_t CGridControl::RowAt(int32_t aX, int32_t aY) {
  const int32_t top = iRect.iTop + HeaderHeight();
  if (!iRect.Contains(aX, aY) || aY < top) return -1;
  const int32_t row = iTop + (aY - top) / RowHeight();
  return row < RowCount() && row < iTop + VisibleRows() ? row : -1;
}

int32_t CGridControl::HandleKey(int32_t aKeyCode, int32_t) {
  if (RowCount() == 0) return 1;
  switch (aKeyCode) {
    case 0xF803:
      SetSelected(iSelected - 1);
      return 0;
    case 0xF804:
      SetSelected(iSelected + 1);
      return 0;
    case 0xF800:
      if (!iObserver) return 1;
      iObserver->RowActivated(*this, iSelected);
      return 0;
    default:
      return 1;
  }
}

int32_t CGridControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (aKind != 0) return 1;
  const int32_t row = RowAt(aX, aY);
  if (row < 0) return 1;
  if (row == iSelected && iObserver) iObserver->RowActivated(*this, row);
  else SetSelected(row);
  return 0;
}

void CGridControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, KEvenRow);
  CPwFont& headerFont = layout->Font(CLayout::EFontTiny);
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  const int32_t headerBottom = iRect.iTop + HeaderHeight();
  bitmap->FillGradient(TPwRect{iRect.iLeft, iRect.iTop, iRect.iRight, headerBottom}, KHeaderFrom, KHeaderTo);
  int32_t left = 0, right = 0;
  for (int32_t c = 0; c < iColumns.Count(); ++c) {
    ColumnEdges(c, left, right);
    bitmap->DrawText(*iColumns.At(c).iHeader, headerFont,
                     TPwRect{left + KCellPadding, iRect.iTop, right - KCellPadding, headerBottom}, iColumns.At(c).iAlign,
                     KHeaderText);
  }
  const int32_t height = RowHeight();
  const int32_t count = RowCount();
  CPwString text;
  for (int32_t r = iTop; r < count && r < iTop + VisibleRows(); ++r) {
    const int32_t top = headerBottom + (r - iTop) * height;
    const TPwRect row{iRect.iLeft, top, iRect.iRight, top + height};
    if (!row.Intersects(bitmap->ClipRect())) continue;
    if (r == iSelected) bitmap->FillGradient(row, KSelectedFrom, KSelectedTo);
    else if (r % 2 == 1) bitmap->FillRect(row, KOddRow);
    for (int32_t c = 0; c < iColumns.Count(); ++c) {
      ColumnEdges(c, left, right);
      CellText(r, c, text);
      bitmap->DrawText(text, font, TPwRect{left + KCellPadding, top, right - KCellPadding, top + height},
                       iColumns.At(c).iAlign, CellColour(r, c));
    }
  }
}
