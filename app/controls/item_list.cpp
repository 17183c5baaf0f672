#include "app/controls/item_list.h"

#include "app/draw/pw_font.h"
#include "app/draw/text_layout.h"
#include "app/gui/layout.h"

namespace {

constexpr TPwColour KBackground = 0x000000;
constexpr TPwColour KSelectedFrom = 0x2A4F8A;
constexpr TPwColour KSelectedTo = 0x15284A;
constexpr TPwColour KPressed = 0x3F000000;
constexpr TPwColour KTitle = 0xFFFFFF;
constexpr TPwColour KStatus = 0xA8B4C0;
constexpr TPwColour KSeparator = 0x202830;

}  // namespace

CItemListControl::CItemListControl(CCustomControl* aParent, MItemListObserver* aObserver)
    : CCustomControl(aParent), iObserver(aObserver) {}

CItemListControl::~CItemListControl() { Reset(); }

CListItem& CItemListControl::AddItemL(CPwStringC aTitle, CPwStringC aStatus, int32_t aCommand, const char* aIcon) {
  CListItem* item = new CListItem();
  const int32_t code = Trap([&] {
    item->iTitle.Copy(aTitle);
    item->iStatus.Copy(aStatus);
    iItems.Append(item);
  });
  if (code != KErrNone) {
    delete item;
    Leave(code);
  }
  item->iCommand = aCommand;
  item->iIcon = aIcon;
  Invalidate();
  return *item;
}

void CItemListControl::Reset() {
  for (CListItem* item : iItems) delete item;
  iItems.Reset();
  iSelected = 0;
  iTop = 0;
  iPressed = -1;
  Invalidate();
}

int32_t CItemListControl::ItemHeight() {
  CLayout* layout = Layout();
  if (!layout) return 1;
  int32_t height = layout->Font(CLayout::EFontTitle).Height() + 12;
  if (!iSingleLine) height += layout->Font(CLayout::EFontText).Height();
  return height;
}

int32_t CItemListControl::VisibleCount() {
  const int32_t count = iRect.Height() / ItemHeight();
  return count < 1 ? 1 : count;
}

void CItemListControl::SetSelected(int32_t aIndex) {
  if (iItems.Count() == 0) return;
  if (aIndex < 0) aIndex = 0;
  if (aIndex >= iItems.Count()) aIndex = iItems.Count() - 1;
  if (aIndex == iSelected) return;
  iSelected = aIndex;
  EnsureVisible();
  Invalidate();
  if (iObserver) iObserver->SelectionChanged(*this, iSelected);
}

void CItemListControl::EnsureVisible() {
  // Before the list has a size nothing fits yet; it scrolls once it gets one.
  if (iRect.IsEmpty()) return;
  const int32_t visible = VisibleCount();
  if (iSelected < iTop) iTop = iSelected;
  if (iSelected >= iTop + visible) iTop = iSelected - visible + 1;
  if (iTop < 0) iTop = 0;
}

void CItemListControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  EnsureVisible();
  Invalidate();
}

TPwRect CItemListControl::ItemRect(int32_t aIndex) {
  if (aIndex < iTop || aIndex >= iTop + VisibleCount() || aIndex >= iItems.Count()) return TPwRect();
  const int32_t height = ItemHeight();
  const int32_t top = iRect.iTop + (aIndex - iTop) * height;
  return TPwRect{iRect.iLeft, top, iRect.iRight, top + height};
}

int32_t CItemListControl::ItemAt(int32_t aX, int32_t aY) {
  if (!iRect.Contains(aX, aY)) return -1;
  const int32_t index = iTop + (aY - iRect.iTop) / ItemHeight();
  return index < iItems.Count() && !ItemRect(index).IsEmpty() ? index : -1;
}

int32_t CItemListControl::ActivateSelected() {
  if (iItems.Count() == 0 || !iObserver) return 1;
  iObserver->ItemActivated(*this, iSelected);
  return 0;
}

int32_t CItemListControl::HandleKey(int32_t aKeyCode, int32_t) {
  if (iItems.Count() == 0) return 1;
  switch (aKeyCode) {
    case 0xF803:
      SetSelected(iSelected > 0 ? iSelected - 1 : iItems.Count() - 1);
      return 0;
    case 0xF804:
      SetSelected(iSelected + 1 < iItems.Count() ? iSelected + 1 : 0);
      return 0;
    case 0xF800:
      return ActivateSelected();
    default:
      return 1;
  }
}

int32_t CItemListControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  const int32_t at = ItemAt(aX, aY);
  if (aKind == 0) {
    if (at < 0) return 1;
    iPressed = at;
    SetSelected(at);
    Invalidate();
    return 0;
  }
  if (iPressed < 0) return 1;
  if (aKind == 2) {
    const int32_t pressed = iPressed;
    iPressed = -1;
    Invalidate();
    if (at == pressed) (void)ActivateSelected();
  }
  return 0;
}

void CItemListControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, KBackground);
  CPwFont& titleFont = layout->Font(CLayout::EFontTitle);
  CPwFont& statusFont = layout->Font(CLayout::EFontText);
  const int32_t height = ItemHeight();
  const int32_t iconSize = height - 12;
  const int32_t last = iTop + VisibleCount();
  for (int32_t i = iTop; i < last && i < iItems.Count(); ++i) {
    const TPwRect row = ItemRect(i);
    if (!row.Intersects(bitmap->ClipRect())) continue;
    const CListItem& item = *iItems.At(i);
    if (i == iSelected) bitmap->FillGradient(row, KSelectedFrom, KSelectedTo);
    if (i == iPressed) bitmap->FillRect(row, KPressed);
    bitmap->FillRect(TPwRect{row.iLeft, row.iBottom - 1, row.iRight, row.iBottom}, KSeparator);
    int32_t x = row.iLeft + 8;
    if (item.iIcon) {
      const TPwRect iconRect{x, row.iTop + 6, x + iconSize, row.iTop + 6 + iconSize};
      bitmap->DrawIcon(layout->Icon(item.iIcon, iconSize), iconRect, i == iPressed);
      x = iconRect.iRight + 8;
    }
    int32_t right = row.iRight - 8;
    if (item.iMarked) {
      const int32_t cy = (row.iTop + row.iBottom) / 2;
      bitmap->DrawMarker(EMarkerCircle, right - 8, cy, 12, 0xFFFFFF);
      right -= 24;
    }
    const int32_t titleBottom = row.iTop + 6 + titleFont.Height();
    if (iSingleLine) {
      bitmap->DrawText(item.iTitle, titleFont, TPwRect{x, row.iTop, right, row.iBottom}, EAlignLeft, KTitle);
      continue;
    }
    bitmap->DrawText(item.iTitle, titleFont, TPwRect{x, row.iTop + 6, right, titleBottom}, EAlignLeft, KTitle);
    bitmap->DrawText(item.iStatus, statusFont, TPwRect{x, titleBottom, right, titleBottom + statusFont.Height()},
                     EAlignLeft, KStatus);
  }
  // A bar at the right edge tells that more items are out of sight.
  const int32_t visible = VisibleCount();
  if (iItems.Count() > visible && iRect.Height() > 0) {
    const int32_t h = iRect.Height();
    const int32_t top = iRect.iTop + h * iTop / iItems.Count();
    const int32_t bottom = iRect.iTop + h * (iTop + visible) / iItems.Count();
    bitmap->FillRect(TPwRect{iRect.iRight - 4, top, iRect.iRight - 1, bottom}, 0x7F808080);
  }
}
