#include "app/views/keys_locked_control.h"

#include <algorithm>

#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "strings/pw_strings.h"

CKeysLockedControl::CKeysLockedControl() = default;

CKeysLockedControl::~CKeysLockedControl() = default;

void CKeysLockedControl::LayoutBox(const TPwRect& aArea) {
  iBox = aArea;
  const int32_t h = aArea.Height();
  iTextRect = TPwRect{aArea.iLeft, aArea.iTop + h / 10, aArea.iRight, aArea.iTop + h / 10 + h / 5};
  const int32_t below = aArea.iBottom - iTextRect.iBottom;
  const int32_t side = std::max(0, below * 4 / 10);
  const int32_t top = iTextRect.iBottom + (below - side) / 2;
  iSlider = TPwRect{aArea.iLeft + KMargin, top, std::max(aArea.iLeft + KMargin, aArea.iRight - KMargin), top + side};
  iDragging = false;
  iPointerDown = false;
  iKnob = std::max(0, KnobMaximum());
  StartTimer(KTimerMs);
}

TPwRect CKeysLockedControl::Knob() const {
  const int32_t left = iSlider.iLeft + iKnob;
  return TPwRect{left, iSlider.iTop, left + KnobSize(), iSlider.iBottom};
}

void CKeysLockedControl::SetKnob(int32_t aPosition) {
  const int32_t position = std::clamp(aPosition, 0, std::max(0, KnobMaximum()));
  if (position == iKnob) return;
  iKnob = position;
  Invalidate();
}

void CKeysLockedControl::TimerExpired() {
  // The screen stays until it is unlocked; only a drag under way keeps the timer going.
  if (iDragging) StartTimer(KTimerMs);
}

int32_t CKeysLockedControl::HandleDialogCommand(int32_t) { return 0; }

int32_t CKeysLockedControl::HandleDialogKey(int32_t, int32_t) {
  StartTimer(KTimerMs);
  return 0;
}

int32_t CKeysLockedControl::HandleDialogPointer(int32_t aKind, int32_t aX, int32_t aY) {
  StartTimer(KTimerMs);
  switch (aKind) {
    case 0: {
      iPointerDown = true;
      const TPwRect knob = Knob();
      if (knob.Contains(aX, aY)) {
        iDragging = true;
        iDragStartX = aX;
        iDragStartKnob = iKnob;
        Invalidate();
      }
      return 0;
    }
    case 1:
      if (iDragging) SetKnob(iDragStartKnob + (aX - iDragStartX));
      return 0;
    default: {
      const bool dragged = iDragging;
      iDragging = false;
      iPointerDown = false;
      // Exactly half way is not far enough.
      if (dragged && 2 * iKnob < KnobMaximum()) {
        Close(0);
        return 0;
      }
      SetKnob(KnobMaximum());
      Invalidate();
      return 0;
    }
  }
}

void CKeysLockedControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, KBackground);
  CPwString text;
  text.LoadFromResource(R_KEYS_LOCKED_TEXT);
  bitmap->DrawText(text, layout->Font(CLayout::EFontNormal), iTextRect, EAlignCentre, 0xFFFFFF);
  if (iSlider.IsEmpty()) return;

  // The slider: a bar with round ends and a dark inside.
  auto bar = [&](const TPwRect& aRect, TPwColour aColour) {
    if (aRect.IsEmpty()) return;
    const int32_t d = aRect.Height();
    bitmap->SetPen(aColour, 1, EPenNone);
    bitmap->SetFillColour(aColour);
    bitmap->DrawEllipse(TPwRect{aRect.iLeft, aRect.iTop, aRect.iLeft + d, aRect.iBottom});
    bitmap->DrawEllipse(TPwRect{aRect.iRight - d, aRect.iTop, aRect.iRight, aRect.iBottom});
    if (aRect.Width() > d) bitmap->FillRect(TPwRect{aRect.iLeft + d / 2, aRect.iTop, aRect.iRight - d / 2, aRect.iBottom}, aColour);
  };
  bar(iSlider, KSlider);
  bar(iSlider.Shrunk(4), KBackground);

  const TPwRect knob = Knob();
  bitmap->SetPen(iDragging ? KKnobDragged : KKnob, 1, EPenNone);
  bitmap->SetFillColour(iDragging ? KKnobDragged : KKnob);
  bitmap->DrawEllipse(knob);
  bitmap->SetFillColour(KPwNoColour);
  bitmap->SetPen(KBackground, 2, EPenSolid);
  bitmap->DrawEllipse(knob.Shrunk(4));
  bitmap->SetFillColour(KPwNoColour);
}
