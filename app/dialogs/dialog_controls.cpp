#include "app/dialogs/dialog_controls.h"

#include "app/draw/pw_font.h"
#include "app/draw/text_layout.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"

namespace {

constexpr int32_t KPadding = 10;
constexpr TPwColour KText = 0xFFFFFF;
constexpr TPwColour KTitleText = 0xFFE080;

// The width of a dialog in aArea: the area less a tenth (or aFraction), at most 18 lines.
int32_t DialogWidth(const TPwRect& aArea, int32_t aLineHeight, int32_t aDivisor) {
  int32_t width = aArea.Width() - aArea.Width() / aDivisor;
  if (width > 18 * aLineHeight) width = 18 * aLineHeight;
  return width < 2 * KPadding + 8 ? aArea.Width() : width;
}

TPwRect Centred(const TPwRect& aArea, int32_t aWidth, int32_t aHeight) {
  if (aHeight > aArea.Height()) aHeight = aArea.Height();
  const int32_t left = aArea.iLeft + (aArea.Width() - aWidth) / 2;
  const int32_t top = aArea.iTop + (aArea.Height() - aHeight) / 2;
  return TPwRect{left, top, left + aWidth, top + aHeight};
}

}  // namespace

// --- CNoteDialogControl ---------------------------------------------------------------------

CNoteDialogControl::CNoteDialogControl(bool aLargeFont, bool aConfirmByTap)
    : iLargeFont(aLargeFont), iConfirmByTap(aConfirmByTap) {}

CNoteDialogControl::~CNoteDialogControl() = default;

void CNoteDialogControl::SetTextsL(CPwStringC aTitle, CPwStringC aText) {
  iTitle.Copy(aTitle);
  iText.Copy(aText);
  if (!iRect.IsEmpty()) SetRect(iRect);
}

int32_t CNoteDialogControl::FontIndex() const {
  return iLargeFont ? CLayout::EFontLarge : CLayout::EFontNormal;
}

void CNoteDialogControl::LayoutBox(const TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!layout) {
    iBox = aArea;
    return;
  }
  CPwFont& font = layout->Font(FontIndex());
  const int32_t width = DialogWidth(aArea, font.Height(), 10);
  const TPwTextExtent extent = MeasureWrapped(font, iText, width - 2 * KPadding);
  const int32_t textHeight = extent.iLines * font.Height();
  int32_t titleHeight = 0;
  if (!iTitle.IsEmpty()) titleHeight = layout->Font(CLayout::EFontTitle).Height() * 3 / 2;
  const int32_t height = textHeight + titleHeight + SoftkeyStripHeight() + 2 * KPadding;
  iBox = Centred(aArea, width, height);
  iTextBox = TPwRect{iBox.iLeft + KPadding, iBox.iTop + KPadding + titleHeight, iBox.iRight - KPadding,
                     iBox.iTop + KPadding + titleHeight + textHeight};
}

void CNoteDialogControl::Shown() {
  if (ClosesItself()) StartTimer(KSelfCloseMs);
}

void CNoteDialogControl::TimerExpired() {
  if (ClosesItself()) Close(1);
}

int32_t CNoteDialogControl::HandleDialogCommand(int32_t aCommand) {
  switch (aCommand) {
    case pwcmd::KYes:
    case pwcmd::KOk:
      Close(1);
      return 0;
    case pwcmd::KNo:
    case pwcmd::KCancel:
      Close(0);
      return 0;
    default:
      return 1;
  }
}

int32_t CNoteDialogControl::HandleDialogKey(int32_t aKeyCode, int32_t) {
  if (aKeyCode == 0xF800 && iConfirmByTap) {
    Close(1);
    return 0;
  }
  // Escape answers like the right softkey when that one declines.
  if (aKeyCode == 0x1B) {
    const int32_t right = iSoftkeys[2];
    if (right == pwcmd::KNo || right == pwcmd::KCancel) Close(0);
    return 0;
  }
  return 1;
}

int32_t CNoteDialogControl::HandleDialogPointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (!iConfirmByTap) return 1;
  const TPwRect target = iTextBox.Union(TPwRect{iBox.iLeft, iBox.iTop, iBox.iRight, iTextBox.iBottom});
  if (aKind == 0) iTextPressed = target.Contains(aX, aY);
  else if (aKind == 2 && iTextPressed) {
    iTextPressed = false;
    if (target.Contains(aX, aY)) Close(1);
  }
  return 0;
}

void CNoteDialogControl::Draw() {
  CDialogControl::Draw();
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  if (!iTitle.IsEmpty()) {
    CPwFont& titleFont = layout->Font(CLayout::EFontTitle);
    bitmap->DrawText(iTitle, titleFont,
                     TPwRect{iBox.iLeft + KPadding, iBox.iTop + KPadding, iBox.iRight - KPadding,
                             iBox.iTop + KPadding + titleFont.Height()},
                     EAlignLeft, KTitleText);
  }
  (void)bitmap->DrawTextWrapped(iText, layout->Font(FontIndex()), iTextBox, EAlignLeft, KText);
}

// --- CSelectionDialogControl ---------------------------------------------------------------------

CSelectionDialogControl::CSelectionDialogControl(bool aMultiple) : iMultiple(aMultiple) {
  iList = new CItemListControl(this, this);
  iChildren.Append(iList);
  iList->SetSingleLine(true);
  if (aMultiple) SetSoftkeys(pwcmd::KOk, pwcmd::KToggle, pwcmd::KCancel);
  else SetSoftkeys(pwcmd::KSelect, pwcmd::KSelect, pwcmd::KCancel);
}

CSelectionDialogControl::~CSelectionDialogControl() { DeleteChild(iList); }

void CSelectionDialogControl::SetContentL(CPwStringC aTitle, CPwStringC aText, const CPwStringList& aChoices,
                                          int32_t aCurrent, const CPwVector<int32_t>* aMarks) {
  iTitle.Copy(aTitle);
  iText.Copy(aText);
  iList->Reset();
  for (int32_t i = 0; i < aChoices.Count(); ++i) {
    CListItem& item = iList->AddItemL(aChoices.At(i), CPwStringC());
    if (iMultiple && aMarks && i < aMarks->Count()) item.iMarked = aMarks->At(i) != 0;
    if (!iMultiple && i == aCurrent) item.iMarked = true;
  }
  iList->SetSelected(aCurrent < 0 ? 0 : aCurrent);
  if (!iRect.IsEmpty()) SetRect(iRect);
}

void CSelectionDialogControl::Marks(CPwVector<int32_t>& aMarks) const {
  aMarks.Reset();
  for (int32_t i = 0; i < iList->Count(); ++i) aMarks.Append(iList->ItemAt(i).iMarked ? 1 : 0);
}

void CSelectionDialogControl::LayoutBox(const TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!layout) {
    iBox = aArea;
    return;
  }
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  const int32_t width = DialogWidth(aArea, font.Height(), 10);
  const int32_t titleHeight = iTitle.IsEmpty() ? 0 : layout->Font(CLayout::EFontTitle).Height() * 3 / 2;
  iTextHeight = iText.IsEmpty() ? 0 : MeasureWrapped(font, iText, width - 2 * KPadding).iLines * font.Height() + KPadding;
  const int32_t fixed = titleHeight + iTextHeight + SoftkeyStripHeight() + 2 * KPadding;
  const int32_t row = iList->ItemHeight();
  int32_t rows = iList->Count() < 1 ? 1 : iList->Count();
  const int32_t room = (aArea.Height() * 9 / 10 - fixed) / (row > 0 ? row : 1);
  if (rows > room) rows = room < 1 ? 1 : room;
  iBox = Centred(aArea, width, fixed + rows * row);
  const int32_t listTop = iBox.iTop + KPadding + titleHeight + iTextHeight;
  iList->SetRect(TPwRect{iBox.iLeft + 4, listTop, iBox.iRight - 4, listTop + rows * row});
}

void CSelectionDialogControl::ItemActivated(CItemListControl& aList, int32_t aIndex) {
  if (iMultiple) {
    CListItem& item = aList.ItemAt(aIndex);
    item.iMarked = !item.iMarked;
    aList.Invalidate();
    return;
  }
  iChosen = aIndex;
  Close(1);
}

int32_t CSelectionDialogControl::HandleDialogCommand(int32_t aCommand) {
  switch (aCommand) {
    case pwcmd::KSelect:
      if (iList->Selected() >= 0) ItemActivated(*iList, iList->Selected());
      return 0;
    case pwcmd::KToggle:
      if (iMultiple && iList->Selected() >= 0) ItemActivated(*iList, iList->Selected());
      return 0;
    case pwcmd::KOk:
      Close(1);
      return 0;
    case pwcmd::KCancel:
      iChosen = -1;
      Close(0);
      return 0;
    default:
      return 1;
  }
}

void CSelectionDialogControl::Draw() {
  CDialogControl::Draw();
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  int32_t y = iBox.iTop + KPadding;
  if (!iTitle.IsEmpty()) {
    CPwFont& titleFont = layout->Font(CLayout::EFontTitle);
    bitmap->DrawText(iTitle, titleFont, TPwRect{iBox.iLeft + KPadding, y, iBox.iRight - KPadding, y + titleFont.Height()},
                     EAlignLeft, KTitleText);
    y += titleFont.Height() * 3 / 2;
  }
  if (!iText.IsEmpty())
    (void)bitmap->DrawTextWrapped(iText, layout->Font(CLayout::EFontNormal),
                                  TPwRect{iBox.iLeft + KPadding, y, iBox.iRight - KPadding, y + iTextHeight},
                                  EAlignLeft, KText);
}

// --- CTextEntryDialogControl ---------------------------------------------------------------------

CTextEntryDialogControl::CTextEntryDialogControl(bool aMultiLine, bool aNumeric) {
  iEditor = new CTextEditorControl(this, aMultiLine, aNumeric);
  iChildren.Append(iEditor);
  // Return confirms a single line and breaks the line of a note.
  SetSoftkeys(pwcmd::KOk, aMultiLine ? pwcmd::KNone : pwcmd::KOk, pwcmd::KCancel);
}

CTextEntryDialogControl::~CTextEntryDialogControl() {
  iEditor->EndEntry();
  DeleteChild(iEditor);
}

void CTextEntryDialogControl::SetContentL(CPwStringC aTitle, CPwStringC aText, CPwStringC aHelp) {
  iTitle.Copy(aTitle);
  iHelp.Copy(aHelp);
  iEditor->SetTextL(aText);
}

void CTextEntryDialogControl::Shown() { iEditor->BeginEntry(); }

void CTextEntryDialogControl::LayoutBox(const TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!layout) {
    iBox = aArea;
    return;
  }
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  const int32_t width = DialogWidth(aArea, font.Height(), 20);
  const int32_t titleHeight = layout->Font(CLayout::EFontTitle).Height() * 3 / 2;
  const int32_t fieldHeight = iEditor->HeightForLines(iEditor->IsMultiLine() ? 6 : 1);
  CPwFont& helpFont = layout->Font(CLayout::EFontSmall);
  iHelpHeight = iHelp.IsEmpty() ? 0 : MeasureWrapped(helpFont, iHelp, width - 2 * KPadding).iLines * helpFont.Height() + KPadding;
  const int32_t height = titleHeight + iHelpHeight + fieldHeight + SoftkeyStripHeight() + 3 * KPadding;
  // Above the middle, where an on-screen keyboard would leave room.
  TPwRect box = Centred(aArea, width, height);
  const int32_t lift = (box.iTop - aArea.iTop) / 2;
  iBox = box.Moved(0, -lift);
  const int32_t top = iBox.iTop + KPadding + titleHeight + iHelpHeight;
  iEditor->SetRect(TPwRect{iBox.iLeft + KPadding, top, iBox.iRight - KPadding, top + fieldHeight});
}

int32_t CTextEntryDialogControl::HandleDialogCommand(int32_t aCommand) {
  if (aCommand == pwcmd::KOk) {
    iEditor->EndEntry();
    Close(1);
    return 0;
  }
  if (aCommand == pwcmd::KCancel) {
    iEditor->EndEntry();
    Close(0);
    return 0;
  }
  return 1;
}

void CTextEntryDialogControl::Draw() {
  CDialogControl::Draw();
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  CPwFont& titleFont = layout->Font(CLayout::EFontTitle);
  bitmap->DrawText(iTitle, titleFont,
                   TPwRect{iBox.iLeft + KPadding, iBox.iTop + KPadding, iBox.iRight - KPadding,
                           iBox.iTop + KPadding + titleFont.Height()},
                   EAlignLeft, KTitleText);
  if (iHelp.IsEmpty()) return;
  const int32_t top = iBox.iTop + KPadding + titleFont.Height() * 3 / 2;
  (void)bitmap->DrawTextWrapped(iHelp, layout->Font(CLayout::EFontSmall),
                                TPwRect{iBox.iLeft + KPadding, top, iBox.iRight - KPadding, top + iHelpHeight},
                                EAlignLeft, KText);
}

// --- CProgressDialogControl ----------------------------------------------------------------------

CProgressDialogControl::CProgressDialogControl(MProgressDialogObserver* aObserver, int32_t aFlag)
    : iObserver(aObserver), iFlag(aFlag) {
  iVisible = false;
  SetSoftkeys(pwcmd::KNone, pwcmd::KNone, pwcmd::KNone);
}

CProgressDialogControl::~CProgressDialogControl() = default;

void CProgressDialogControl::SetTextL(CPwStringC aText) {
  iText.Copy(aText);
  if (!iRect.IsEmpty()) SetRect(iRect);
}

void CProgressDialogControl::SetProgress(int32_t aValue, int32_t aTotal) {
  iValue = aValue;
  iTotal = aTotal;
  if (iVisible) Invalidate();
}

void CProgressDialogControl::Shown() { StartTimer(KShowDelayMs); }

void CProgressDialogControl::TimerExpired() {
  SetSoftkeys(pwcmd::KNone, pwcmd::KNone, pwcmd::KCancel);
  SetRect(iRect);  // the softkey strip makes the box taller
  SetVisible(true);
  if (iParent) iParent->ChildChanged(this);
  Invalidate();
}

void CProgressDialogControl::LayoutBox(const TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!layout) {
    iBox = aArea;
    return;
  }
  CPwFont& font = layout->Font(CLayout::EFontScaledText);
  const int32_t width = DialogWidth(aArea, font.Height(), 5);
  const int32_t textHeight = MeasureWrapped(font, iText, width - 2 * KPadding).iLines * font.Height();
  // The text, one line for the bar, and the softkey strip once "Cancel" is offered.
  const int32_t height = textHeight + font.Height() + SoftkeyStripHeight() + 2 * KPadding;
  iBox = Centred(aArea, width, height);
  iTextBox = TPwRect{iBox.iLeft + KPadding, iBox.iTop + KPadding, iBox.iRight - KPadding,
                     iBox.iTop + KPadding + textHeight};
}

int32_t CProgressDialogControl::HandleDialogCommand(int32_t aCommand) {
  if (aCommand != pwcmd::KCancel) return 1;
  // The dialog stays until the one who opened it closes it.
  if (iObserver) iObserver->Cancel();
  return 0;
}

void CProgressDialogControl::Draw() {
  CDialogControl::Draw();
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  CPwFont& font = layout->Font(CLayout::EFontScaledText);
  (void)bitmap->DrawTextWrapped(iText, font, iTextBox, EAlignCentre, KText);
  const int32_t barTop = iTextBox.iBottom + font.Height() / 4;
  const TPwRect bar{iTextBox.iLeft, barTop, iTextBox.iRight, barTop + font.Height() / 2};
  bitmap->SetFillColour(0x101418);
  bitmap->SetPen(0x7088A0, 1, EPenSolid);
  bitmap->DrawRect(bar);
  if (iTotal > 0) {
    int64_t value = iValue < 0 ? 0 : (iValue > iTotal ? iTotal : iValue);
    const int32_t filled = static_cast<int32_t>((bar.Width() - 2) * value / iTotal);
    bitmap->FillGradient(TPwRect{bar.iLeft + 1, bar.iTop + 1, bar.iLeft + 1 + filled, bar.iBottom - 1}, 0x50A0FF,
                         0x2060C0);
  }
}
