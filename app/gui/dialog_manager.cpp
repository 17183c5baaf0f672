#include "app/gui/dialog_manager.h"

#include "app/draw/pw_font.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"
#include "foundation/modal_wait.h"

namespace {

constexpr TPwColour KBackdrop = 0x7F000000;
constexpr TPwColour KBoxFill = 0x1C2430;
constexpr TPwColour KBoxBorder = 0x7088A0;
constexpr TPwColour KSoftkeyText = 0xFFFFFF;
constexpr TPwColour KSoftkeyPressed = 0x405070;

}  // namespace

// --- CDialogControl ------------------------------------------------------------------------------

CDialogControl::CDialogControl() = default;

CDialogControl::~CDialogControl() = default;

void CDialogControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  LayoutBox(aRect);
  Invalidate();
}

void CDialogControl::LayoutBox(const TPwRect& aArea) {
  iBox = TPwRect{aArea.iLeft + aArea.Width() / 8, aArea.iTop + aArea.Height() / 4,
                 aArea.iRight - aArea.Width() / 8, aArea.iBottom - aArea.Height() / 4};
}

void CDialogControl::SetSoftkeys(int32_t aLeft, int32_t aMiddle, int32_t aRight) {
  iSoftkeys[0] = aLeft;
  iSoftkeys[1] = aMiddle;
  iSoftkeys[2] = aRight;
  Invalidate();
}

bool CDialogControl::ShowsSoftkeyLabels() const {
  return !IsBlankCommand(iSoftkeys[0]) || !IsBlankCommand(iSoftkeys[2]);
}

int32_t CDialogControl::SoftkeyStripHeight() {
  CLayout* layout = Layout();
  if (!ShowsSoftkeyLabels() || !layout) return 0;
  return layout->Font(CLayout::EFontNormal).Height() + 8;
}

TPwRect CDialogControl::SoftkeyStrip() const {
  if (!ShowsSoftkeyLabels()) return TPwRect();
  CLayout* layout = Layout();
  const int32_t height = layout ? layout->Font(CLayout::EFontNormal).Height() + 8 : 0;
  return TPwRect{iBox.iLeft, iBox.iBottom - height, iBox.iRight, iBox.iBottom};
}

void CDialogControl::Close(int32_t aResult) {
  if (iClosed) return;
  iResult = aResult;
  iClosed = true;
  CancelTimer();
  if (iWait) iWait->Release();
  if (iPopup && iManager) iManager->ClosePopup(this);
}

int32_t CDialogControl::HandleCommand(int32_t aCommand) {
  (void)HandleDialogCommand(aCommand);
  return 0;
}

int32_t CDialogControl::HandleKey(int32_t aKeyCode, int32_t aShift) {
  if (iClosed) return 0;
  if (HandleDialogKey(aKeyCode, aShift) == 0) return 0;
  int32_t command = 0;
  if (aKeyCode == 0xF805) command = iSoftkeys[0];
  else if (aKeyCode == 0xF800) command = iSoftkeys[1];
  else if (aKeyCode == 0xF806) command = iSoftkeys[2];
  if (!IsBlankCommand(command)) SoftkeyCommandIssued(command);
  return 0;
}

int32_t CDialogControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (iClosed) return 0;
  const TPwRect strip = SoftkeyStrip();
  auto sideAt = [&](int32_t x, int32_t y) {
    if (!strip.Contains(x, y)) return -1;
    return x < strip.iLeft + strip.Width() / 2 ? 0 : 2;
  };
  if (aKind == 0) {
    const int32_t side = sideAt(aX, aY);
    if (side >= 0 && !IsBlankCommand(iSoftkeys[side])) {
      iPressedSoftkey = side;
      InvalidateRect(strip);
      return 0;
    }
  } else if (iPressedSoftkey >= 0) {
    if (aKind == 2) {
      const int32_t side = iPressedSoftkey;
      iPressedSoftkey = -1;
      InvalidateRect(strip);
      if (sideAt(aX, aY) == side) SoftkeyCommandIssued(iSoftkeys[side]);
    }
    return 0;
  }
  (void)HandleDialogPointer(aKind, aX, aY);
  return 0;
}

void CDialogControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  if (!bitmap) return;
  bitmap->FillRect(iRect, KBackdrop);
  bitmap->SetFillColour(KBoxFill);
  bitmap->SetPen(KBoxBorder, 2, EPenSolid);
  bitmap->DrawRect(iBox);
  DrawSoftkeyStrip();
}

void CDialogControl::DrawSoftkeyStrip() {
  const TPwRect strip = SoftkeyStrip();
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (strip.IsEmpty() || !bitmap || !layout) return;
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  const int32_t half = strip.Width() / 2;
  const TPwRect sides[2] = {TPwRect{strip.iLeft, strip.iTop, strip.iLeft + half, strip.iBottom},
                            TPwRect{strip.iLeft + half, strip.iTop, strip.iRight, strip.iBottom}};
  for (int32_t i = 0; i < 2; ++i) {
    const int32_t command = iSoftkeys[i == 0 ? 0 : 2];
    if (IsBlankCommand(command)) continue;
    if (iPressedSoftkey == (i == 0 ? 0 : 2)) bitmap->FillRect(sides[i].Shrunk(2), KSoftkeyPressed);
    CPwString label;
    label.LoadFromResource(SoftkeyLabelId(command));
    bitmap->DrawText(label, font, TPwRect{sides[i].iLeft + 8, sides[i].iTop, sides[i].iRight - 8, sides[i].iBottom},
                     i == 0 ? EAlignLeft : EAlignRight, KSoftkeyText);
  }
}

// --- CDialogManagerControl --------------------------------------------------------------------

CDialogManagerControl::CDialogManagerControl(CCustomControl* aParent) : CContainerControl(aParent) {}

CDialogManagerControl::~CDialogManagerControl() {
  Sweep();
  for (CDialogControl* popup : iPopups) DeleteChild(popup);
  iPopups.Reset();
  // Dialogs of callers still running are theirs to delete; they only leave the stack here.
  while (iChildren.Count() > 0) RemoveChild(iChildren.At(iChildren.Count() - 1));
}

void CDialogManagerControl::SetArea(const TPwRect& aArea) {
  iArea = aArea;
  for (CCustomControl* child : iChildren) child->SetRect(aArea);
  UpdateRect();
}

void CDialogManagerControl::UpdateRect() {
  bool anyVisible = false;
  for (CCustomControl* child : iChildren) anyVisible |= child->IsVisible();
  const TPwRect wanted = anyVisible ? iArea : TPwRect();
  if (wanted == iRect) return;
  // What the manager covered (or will cover) is repainted.
  const TPwRect old = iRect;
  iRect = wanted;
  InvalidateRect(old.Union(wanted));
}

void CDialogManagerControl::PushL(CDialogControl* aDialog) {
  AddChildL(aDialog);
  aDialog->SetManager(this);
  aDialog->SetRect(iArea);
  UpdateRect();
  aDialog->Invalidate();
}

void CDialogManagerControl::Remove(CDialogControl* aDialog) {
  if (!aDialog) return;
  const TPwRect covered = aDialog->Rect();
  aDialog->CancelTimer();
  RemoveChild(aDialog);
  aDialog->SetManager(nullptr);
  InvalidateRect(covered);
  UpdateRect();
}

void CDialogManagerControl::PushPopupL(CDialogControl* aPopup) {
  iPopups.Append(aPopup);
  aPopup->SetPopup(true);
  const int32_t code = Trap([&] { PushL(aPopup); });
  if (code != KErrNone) {
    iPopups.Remove(iPopups.Count() - 1);
    delete aPopup;
    Leave(code);
  }
}

void CDialogManagerControl::ClosePopup(CDialogControl* aPopup) {
  for (int32_t i = iPopups.Count() - 1; i >= 0; --i) {
    if (iPopups.At(i) != aPopup) continue;
    iPopups.Remove(i);
    Remove(aPopup);
    // Destroyed after the event: the popup may be inside its own handler now.
    aPopup->iNextDead = iGraveyard;
    iGraveyard = aPopup;
    return;
  }
}

void CDialogManagerControl::DeleteLater(CDialogControl* aDialog) {
  if (!aDialog) return;
  Remove(aDialog);
  aDialog->iNextDead = iGraveyard;
  iGraveyard = aDialog;
}

void CDialogManagerControl::Sweep() {
  while (iGraveyard) {
    CDialogControl* dead = iGraveyard;
    iGraveyard = dead->iNextDead;
    delete dead;
  }
}

CDialogControl* CDialogManagerControl::Top() const {
  return iChildren.Count() > 0 ? static_cast<CDialogControl*>(iChildren.At(iChildren.Count() - 1)) : nullptr;
}

void CDialogManagerControl::ChildChanged(CCustomControl*) { UpdateRect(); }
