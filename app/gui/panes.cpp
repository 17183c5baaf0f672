#include "app/gui/panes.h"

#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "strings/pw_strings.h"

CNaviControl::~CNaviControl() = default;

void CNaviControl::SetTitle(CPwStringC aTitle) {
  if (aTitle == iTitle) return;
  iTitle.Copy(aTitle);
  Invalidate();
}

void CNaviControl::ResetContent() {
  iTitle.Reset();
  Invalidate();
}

void CNaviControl::LayoutIn(TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!iVisible || !layout) {
    iRect = TPwRect();
    return;
  }
  const int32_t height = layout->Font(CLayout::EFontHeading).Height() + 10;
  iRect = TPwRect{aArea.iLeft, aArea.iTop, aArea.iRight, aArea.iTop + height};
  aArea.iTop = iRect.iBottom;
  Invalidate();
}

void CNaviControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillGradient(iRect, 0x2A4A7A, 0x142540);
  bitmap->DrawText(iTitle, layout->Font(CLayout::EFontHeading),
                   TPwRect{iRect.iLeft + 8, iRect.iTop, iRect.iRight - 8, iRect.iBottom}, EAlignLeft, 0xFFFFFF);
}

CStatusPaneControl::~CStatusPaneControl() = default;

void CStatusPaneControl::LayoutIn(TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!iVisible || !layout) {
    iRect = TPwRect();
    return;
  }
  const int32_t height = layout->Font(CLayout::EFontSmall).Height() + 6;
  iRect = TPwRect{aArea.iLeft, aArea.iTop, aArea.iRight, aArea.iTop + height};
  aArea.iTop = iRect.iBottom;
  Invalidate();
}

void CStatusPaneControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, 0x101010);
  CPwFont& font = layout->Font(CLayout::EFontSmall);
  // GPS: grey not started, red no connection or failed, yellow no fix, green fix, cyan
  // differential fix.
  const int32_t status = iModel ? iModel->GpsStatus() : 0;
  static constexpr TPwColour KGpsColours[6] = {0x606060, 0xFF3030, 0xFFD000, 0x30E030, 0x30E0E0, 0xFF3030};
  const int32_t radius = font.Height() / 4 + 1;
  const int32_t cy = (iRect.iTop + iRect.iBottom) / 2;
  bitmap->DrawMarker(EMarkerCircle, iRect.iLeft + 6 + radius, cy, 2 * radius + 1,
                     KGpsColours[status >= 0 && status < 6 ? status : 0]);
  CPwString text;
  text.LoadFromResource(R_GUI_STATUS_GPS);
  const int32_t x = iRect.iLeft + 12 + 2 * radius;
  bitmap->DrawText(text, font, TPwRect{x, iRect.iTop, iRect.iRight - 4, iRect.iBottom}, EAlignLeft, 0xC0C0C0);
  if (iModel && iModel->StorageLow()) {
    text.LoadFromResource(R_STORAGE_LOW_STATUS);
    bitmap->DrawText(text, font, TPwRect{x, iRect.iTop, iRect.iRight - 6, iRect.iBottom}, EAlignRight, 0xFF6040);
  }
}
