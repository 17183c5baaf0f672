#include "app/gui/menu.h"

#include "app/draw/pw_font.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"

CMenuControl* CMenuControl::NewL(const CPwVector<TMenuEntry>& aEntries) {
  return PwConstructL(new CMenuControl(), [&](CMenuControl* aSelf) {
    for (const TMenuEntry& entry : aEntries) aSelf->iEntries.Append(entry);
  });
}

CMenuControl::~CMenuControl() = default;

void CMenuControl::LayoutBox(const TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!layout) {
    iBox = aArea;
    return;
  }
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  iRowHeight = font.Height() + 14;
  int32_t width = 0;
  for (const TMenuEntry& entry : iEntries) {
    CPwString label;
    label.LoadFromResource(entry.iLabel);
    const int32_t w = font.TextWidth(label);
    if (w > width) width = w;
  }
  width += 40;
  if (width > aArea.Width() - 8) width = aArea.Width() - 8;
  // Above the toolbar, at the right: where the "More" button is.
  int32_t bottom = aArea.iBottom - 4;
  if (layout->ToolbarSide() == EBarBottom) bottom -= layout->ToolbarThickness();
  int32_t height = iRowHeight * iEntries.Count() + 8;
  if (height > bottom - aArea.iTop) height = bottom - aArea.iTop;
  iBox = TPwRect{aArea.iRight - 4 - width, bottom - height, aArea.iRight - 4, bottom};
}

TPwRect CMenuControl::EntryRect(int32_t aIndex) const {
  const int32_t top = iBox.iTop + 4 + aIndex * iRowHeight;
  return TPwRect{iBox.iLeft + 4, top, iBox.iRight - 4, top + iRowHeight};
}

int32_t CMenuControl::EntryAt(int32_t aX, int32_t aY) const {
  for (int32_t i = 0; i < iEntries.Count(); ++i)
    if (EntryRect(i).Contains(aX, aY)) return i;
  return -1;
}

void CMenuControl::Choose(int32_t aIndex) {
  if (aIndex < 0 || aIndex >= iEntries.Count()) return;
  const TMenuEntry entry = iEntries.At(aIndex);
  if (entry.iState == ECommandDisabled) return;
  // The observer is looked up while the menu is still in the tree.
  MCustomControlObserver* observer = ControlObserver();
  Close(1);
  if (observer) (void)observer->DispatchGuiCommand(entry.iCommand);
}

int32_t CMenuControl::HandleDialogKey(int32_t aKeyCode, int32_t) {
  switch (aKeyCode) {
    case 0xF803:
      if (iSelected > 0) --iSelected;
      Invalidate();
      return 0;
    case 0xF804:
      if (iSelected + 1 < iEntries.Count()) ++iSelected;
      Invalidate();
      return 0;
    case 0xF800:
    case 0xF805:
      Choose(iSelected);
      return 0;
    case 0x1B:
    case 0xF806:
      Close(0);
      return 0;
    default:
      return 0;
  }
}

int32_t CMenuControl::HandleDialogPointer(int32_t aKind, int32_t aX, int32_t aY) {
  const int32_t at = EntryAt(aX, aY);
  if (aKind == 0) {
    if (!iBox.Contains(aX, aY)) {
      Close(0);
      return 0;
    }
    iPressed = at;
    if (at >= 0) iSelected = at;
    Invalidate();
  } else if (aKind == 2 && iPressed >= 0) {
    const int32_t pressed = iPressed;
    iPressed = -1;
    Invalidate();
    if (at == pressed) Choose(at);
  }
  return 0;
}

void CMenuControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  // A menu does not dim the screen: it is a part of the toolbar.
  bitmap->SetFillColour(0x202020);
  bitmap->SetPen(0x808080, 1, EPenSolid);
  bitmap->DrawRect(iBox);
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  for (int32_t i = 0; i < iEntries.Count(); ++i) {
    const TPwRect row = EntryRect(i);
    if (i == iSelected) bitmap->FillGradient(row, 0x3060A0, 0x183050);
    CPwString label;
    label.LoadFromResource(iEntries.At(i).iLabel);
    const TPwColour colour = iEntries.At(i).iState == ECommandDisabled ? 0x606060 : 0xFFFFFF;
    bitmap->DrawText(label, font, TPwRect{row.iLeft + 12, row.iTop, row.iRight - 8, row.iBottom}, EAlignLeft, colour);
    if (iEntries.At(i).iState == ECommandChecked)
      bitmap->DrawMarker(EMarkerCircle, row.iRight - 12, (row.iTop + row.iBottom) / 2, 8, 0xFFFFFF);
  }
}
